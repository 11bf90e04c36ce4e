// The archive blocks of MEAS_READ1 and MEAS_READ2 replies: what the stand writes and the client decodes.
// Constants only, so either side includes it without linking anything. All numbers little-endian, unaligned.
#pragma once

#include <cstdint>

namespace archive_layout {

// A record's fixed part; a type-4 record is followed by a variable part.
constexpr int RecordSize = 29;
constexpr int OffsetType = 0;   // uint8
constexpr int OffsetMeasId = 1; // int32, then 4 zero bytes; the client does not read them
constexpr int OffsetFlags = 9;  // int32 state word
constexpr int OffsetTime = 13;  // double, seconds since the epoch
constexpr int OffsetValue =
    21; // double; in a type-4 record its first 4 bytes are the int32 length of the variable part
constexpr uint8_t TypeSample = 1;
constexpr uint8_t TypeWithVariablePart = 4;

// MEAS_READ1: uint8 kind, int32 measurement id, int32 record count (0 or 1), int32 0; then the record.
constexpr int LastHeaderSize = 13;
constexpr uint8_t LastBlockKind = 1;
// MEAS_READ2: uint8 kind, int32 measurement id, int32 record count, double 0, int32 0; then the records.
constexpr int PeriodHeaderSize = 21;
constexpr uint8_t PeriodBlockKind = 2;
constexpr int OffsetHeaderMeasId = 1; // int32, in both headers
constexpr int OffsetHeaderCount = 5;  // int32, in both headers

static_assert(OffsetMeasId + 8 == OffsetFlags && OffsetFlags + 4 == OffsetTime && OffsetTime + 8 == OffsetValue &&
                  OffsetValue + 8 == RecordSize,
              "the fields of a record lie back to back");
static_assert(LastHeaderSize == 1 + 4 + 4 + 4 && PeriodHeaderSize == 1 + 4 + 4 + 8 + 4,
              "the headers hold the fields above");

} // namespace archive_layout
