#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Formats numeric buffers into text lines for debug output. The sinks are switched off: the program keeps no log.
class CDevScr {
public:
    CDevScr();
    virtual ~CDevScr() = default;

    void AddToScr(const char *text, bool flag);
    void AddToFile(const char *text, bool flag);

    uint16_t DataToScr(uint16_t *values, uint16_t count);
    uint16_t DataToScr(uint8_t *values, uint16_t count);
    uint16_t DataToScr(int16_t *values, uint16_t count);
    uint16_t DataToFile(uint16_t *values, uint16_t count, bool flag);
    uint16_t DataToFile(uint8_t *values, uint16_t count, bool flag);
    uint16_t DataToFile(int16_t *values, uint16_t count, bool flag);

    // The lines the Data* functions hand to their sink, in order.
    static std::vector<std::string> FormatLines(const uint16_t *values, uint16_t count);
    static std::vector<std::string> FormatLines(const uint8_t *values, uint16_t count);
    static std::vector<std::string> FormatLines(const int16_t *values, uint16_t count);

private:
    int32_t limit;
    char fileName[64];
};
