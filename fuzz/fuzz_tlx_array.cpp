// A packed record array from a peer: unpack, read every value, sort, pack again.
#include "tlx/tlx.h"

#include <cstddef>
#include <cstdint>
#include <limits>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > size_t(std::numeric_limits<int>::max()))
        return 0;
    TLArray *array = nullptr;
    if (TLACreate(&array, 0) != 0)
        return 0;
    if (TLXArrayUnPackBuf(array, data, int(size)) == 0) {
        const int fields = TLAFldCount(array);
        for (int r = 0; r < TLARecCount(array); ++r) {
            TLRecord *record = TLARec(array, 0, r);
            TLRGetFlags(record);
            for (int f = 0; f < fields; ++f) {
                TLField *field = TLAFld(array, f);
                TLVal value;
                TLRGetVal(field, record, &value);
                const char *text = nullptr;
                TLRGetTextPtr(field, record, &text);
                int32_t i = 0;
                TLRGetAsInt32(field, record, &i);
                double d = 0;
                TLRGetAsDouble(field, record, &d);
                TLRGetUser(field, record);
            }
        }
        TLARecSort(array);
        void *packed = nullptr;
        int length = 0;
        if (TLAPack(array, &packed, &length) == 0) {
            TLArray *copy = nullptr;
            TLACreate(&copy, 0);
            TLXArrayUnPack(copy, packed, 1);
            TLADestroy(copy);
            TLMemFree(packed);
        }
    }
    TLADestroy(array);
    return 0;
}
