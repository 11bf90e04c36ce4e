// Any bytes through every decoder a peer's bytes reach: frame, handshake (both directions) and
// parameter records, and what a handler then reads from a decoded record.
#include "tlx/tlx.h"
#include "tlx/tlx_wire.h"

#include <cstddef>
#include <cstdint>

using namespace tlx::wire;

static void Walk(TLXCliParam *param) {
    TLRecord *record = TLXPrmRecord(param);
    const int count = TLXPrmFieldCount(param);
    for (int pos = 0; pos < count; ++pos) {
        TLField *field = TLXPrmField(param, pos);
        TLVal value;
        TLRGetVal(field, record, &value);
        int length = 0;
        const char *bytes = nullptr;
        if (TLRGetTextRef(field, record, &length, &bytes) == 0 && bytes && length > 0)
            (void)bytes[length - 1];
        (void)TLXPrmFieldName(param, pos);
    }
    for (int i = 0; i < TLXPrmArrCount(param); ++i) {
        TLArray *array = nullptr;
        if (TLACreate(&array, 0) == 0) {
            TLXCliGetArr(param, TLXPrmArrName(param, i), array);
            TLADestroy(array);
        }
    }
    std::vector<uint8_t> again;
    EncodeParam(param, &again);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Frame frame;
    if (DecodeFrame(data, size, &frame, 1u << 20)) {
        if (TLXCliParam *param = DecodeParam(frame.payload.data(), frame.payload.size())) {
            Walk(param);
            TLXPrmDestroy(param);
        }
    }
    FrameHeader header;
    if (DecodeFrameHeader(data, size, 1u << 20, &header) && size >= kHeaderSize)
        DecodeFramePayload(header, data + kHeaderSize, size - kHeaderSize, 1u << 20, &frame);
    Hello hello;
    DecodeHello(data, size, &hello);
    HelloReply reply;
    DecodeHelloReply(data, size, &reply);
    if (TLXCliParam *param = DecodeParam(data, size)) {
        Walk(param);
        TLXPrmDestroy(param);
    }
    return 0;
}
