// Conversions between the UTF-8 kept in the database and the Windows-1251 spoken on the wire.
#pragma once

#include <string>

namespace stand {

// Characters that Windows-1251 lacks become '?'.
std::string Utf8ToCp1251(const std::string &utf8);
std::string Cp1251ToUtf8(const std::string &cp1251);
bool IsValidUtf8(const std::string &text);
// SQL and other client texts: UTF-8 when valid, else taken as Windows-1251.
std::string ClientTextToUtf8(const std::string &text);

} // namespace stand
