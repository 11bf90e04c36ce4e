#include "support/DevScr.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kLineBufferSize = 128;

template <typename T>
std::vector<std::string> Format(const T *values, uint16_t count, const char *format, size_t maxLine) {
    std::vector<std::string> lines;
    if (!values || count == 0)
        return lines;
    char line[kLineBufferSize] = {};
    size_t length = 0;
    for (uint16_t i = 0; i < count; ++i) {
        char item[16];
        const int n = std::snprintf(item, sizeof item, format, static_cast<int>(values[i]));
        if (n <= 0)
            continue;
        // A full line is flushed before it could overflow the buffer.
        if (length + static_cast<size_t>(n) >= kLineBufferSize) {
            lines.emplace_back(line, length);
            length = 0;
        }
        std::memcpy(line + length, item, static_cast<size_t>(n));
        length += static_cast<size_t>(n);
        if (length > maxLine) {
            lines.emplace_back(line, length);
            length = 0;
        }
    }
    if (length > 0)
        lines.emplace_back(line, length);
    return lines;
}

} // namespace

CDevScr::CDevScr() : limit(100000) {
    std::snprintf(fileName, sizeof fileName, "%s", "DedurCnsl.log");
}

void CDevScr::AddToScr(const char *, bool) {}

void CDevScr::AddToFile(const char *, bool) {}

std::vector<std::string> CDevScr::FormatLines(const uint16_t *values, uint16_t count) {
    return Format(values, count, "%04X ", 74);
}

std::vector<std::string> CDevScr::FormatLines(const uint8_t *values, uint16_t count) {
    return Format(values, count, "%02X ", 76);
}

std::vector<std::string> CDevScr::FormatLines(const int16_t *values, uint16_t count) {
    return Format(values, count, "%-5d ", 74);
}

uint16_t CDevScr::DataToScr(uint16_t *values, uint16_t count) {
    for (const std::string &line : FormatLines(values, count))
        AddToScr(line.c_str(), false);
    return values ? count : 0;
}

uint16_t CDevScr::DataToScr(uint8_t *values, uint16_t count) {
    for (const std::string &line : FormatLines(values, count))
        AddToScr(line.c_str(), false);
    return values ? count : 0;
}

uint16_t CDevScr::DataToScr(int16_t *values, uint16_t count) {
    for (const std::string &line : FormatLines(values, count))
        AddToScr(line.c_str(), false);
    return values ? count : 0;
}

uint16_t CDevScr::DataToFile(uint16_t *values, uint16_t count, bool flag) {
    for (const std::string &line : FormatLines(values, count))
        AddToFile(line.c_str(), flag);
    return values ? count : 0;
}

uint16_t CDevScr::DataToFile(uint8_t *values, uint16_t count, bool flag) {
    for (const std::string &line : FormatLines(values, count))
        AddToFile(line.c_str(), flag);
    return values ? count : 0;
}

uint16_t CDevScr::DataToFile(int16_t *values, uint16_t count, bool flag) {
    for (const std::string &line : FormatLines(values, count))
        AddToFile(line.c_str(), flag);
    return values ? count : 0;
}
