// Archive reply blocks as a server might send them, through the client's record walk.
#include "server/archive_measures_14.h"

#include <cstddef>
#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > size_t(std::numeric_limits<int>::max()) || size == 0)
        return 0;
    const bool zeroAsNaN = data[0] & 1;
    const char *block = reinterpret_cast<const char *>(data);
    Archive_Measures::DecodePeriodBlock(block, int(size), zeroAsNaN);
    MeasurePoint point;
    Archive_Measures::DecodeLastBlock(block, int(size), &point, zeroAsNaN);
    return 0;
}
