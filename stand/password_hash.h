// Salted, slow password hashes (PBKDF2-HMAC-SHA256).
#pragma once

#include <string>

namespace stand {

struct PasswordHash {
    std::string salt; // raw bytes
    std::string hash; // raw bytes
    int iterations = 0;
};

constexpr int kPasswordIterations = 60000;

PasswordHash MakePasswordHash(const std::string &password, int iterations = kPasswordIterations);
// Computes the hash of password with the stored salt and iterations and compares in constant time.
bool CheckPassword(const PasswordHash &stored, const std::string &password);

} // namespace stand
