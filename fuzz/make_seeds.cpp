// Writes the small seed inputs of the fuzz targets (run from the source root after a change of the
// wire format): fuzz/corpus/<target>/.
#include "tlx/tlx.h"
#include "tlx/tlx_wire.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace tlx::wire;

static void Write(const std::string &path, const void *data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char *>(data), std::streamsize(size));
}
static void Write(const std::string &path, const std::vector<uint8_t> &bytes) {
    Write(path, bytes.data(), bytes.size());
}

static TLArray *SampleArray() {
    TLArray *a = nullptr;
    TLACreate(&a, 0);
    TLAFldAdd(a, "KeyLink", TL_TEXT);
    TLAFldAdd(a, "DEDUR_OBJ_ID", TL_INT32);
    TLAFldAdd(a, "DEDUR_OBJ_IN_REGULATION", TL_BOOL);
    TLAFldAdd(a, "VALUE", TL_DOUBLE);
    TLAKey key{"KeyLink", 0};
    TLAKeyAdd(a, 1, &key);
    const char *names[] = {"{b}", "{a}", "\xc3\xd0\xc0"};
    for (int i = 0; i < 3; ++i) {
        TLRecord *r = TLARecNew(a);
        TLRSetAsText(TLAFld(a, 0), r, int(strlen(names[i])), names[i]);
        TLRSetAsInt32(TLAFld(a, 1), r, i + 1);
        TLRSetAsBool(TLAFld(a, 2), r, i & 1);
        TLRSetAsDouble(TLAFld(a, 3), r, 50.0 + i);
        TLRSetUser(TLAFld(a, 1), r, 1);
        TLRSetFlags(r, i == 0 ? TLR_NEW : TLR_CHANGED);
        TLARecPost(a, r);
    }
    return a;
}

static std::vector<uint8_t> ParamBytes(TLXCliParam *p) {
    std::vector<uint8_t> out;
    EncodeParam(p, &out);
    return out;
}

static void Put(std::vector<uint8_t> &b, const void *v, size_t n) {
    const auto *p = static_cast<const uint8_t *>(v);
    b.insert(b.end(), p, p + n);
}
static void Record(std::vector<uint8_t> &b, uint8_t type, int32_t state, double time, double value) {
    b.push_back(type);
    int32_t id = 201;
    Put(b, &id, 4);
    int32_t zero = 0;
    Put(b, &zero, 4);
    Put(b, &state, 4);
    Put(b, &time, 8);
    Put(b, &value, 8);
}

int main() {
    const std::string root = "fuzz/corpus/";
    // Frames and handshakes.
    TLXCliParam *request = TLXPrmCreate("SQL_REQUEST", kParamRequest);
    const char sql[] = "select * from T_DEDUR_OBJ";
    TLXPrmSetText(request, 0, int(strlen(sql)), sql);
    TLArray *array = SampleArray();
    TLXCliSetArr(request, "_ARR", array, 1);
    auto payload = ParamBytes(request);
    Write(root + "tlx_frame/request", EncodeFrame(kRequest, 7, payload.data(), payload.size()));
    Write(root + "tlx_frame/request_compressed", EncodeFrame(kRequest, 8, payload.data(), payload.size(), 1));
    Write(root + "tlx_frame/heartbeat", EncodeFrame(kHeartbeat, 0, nullptr, 0));
    Hello hello;
    hello.user = "operator";
    hello.password = "operator";
    auto helloBytes = EncodeHello(hello);
    Write(root + "tlx_frame/hello", EncodeFrame(kHello, 0, helloBytes.data(), helloBytes.size()));
    Write(root + "tlx_frame/hello_payload", helloBytes);
    HelloReply reply;
    reply.text = "ok";
    Write(root + "tlx_frame/hello_reply_payload", EncodeHelloReply(reply));
    Write(root + "tlx_frame/param", payload);
    TLXPrmDestroy(request);

    // Packed arrays.
    void *packed = nullptr;
    int length = 0;
    TLAPack(array, &packed, &length);
    Write(root + "tlx_array/three_rows", packed, size_t(length));
    TLMemFree(packed);
    TLArray *empty = nullptr;
    TLACreate(&empty, 0);
    TLAPack(empty, &packed, &length);
    Write(root + "tlx_array/empty", packed, size_t(length));
    TLMemFree(packed);
    TLADestroy(empty);
    TLADestroy(array);

    // Archive blocks: a period block and a last-value block.
    std::vector<uint8_t> period(21, 0);
    period[0] = 2;
    Record(period, 1, 0, 1700000000.0, 50.01);
    Record(period, 1, 0x10000000, 1700000001.5, 0.0);
    period.push_back(4);
    {
        int32_t id = 201, zero = 0, state = 0, len = 10;
        double time = 1700000002.0;
        Put(period, &id, 4);
        Put(period, &zero, 4);
        Put(period, &state, 4);
        Put(period, &time, 8);
        Put(period, &len, 4);
        Put(period, &zero, 4);
        period.insert(period.end(), 10, 0xAB);
    }
    Record(period, 1, 0, 1700000003.0, 49.98);
    Write(root + "archive_block/period", period);
    std::vector<uint8_t> last(13, 0);
    last[0] = 1;
    Record(last, 1, 0, 1700000000.75, 50.0);
    Write(root + "archive_block/last", last);

    // CSV files.
    const char csv[] = "05.03.2024 14:07:09;50,012;123.5\n05.03.2024 14:07:10;50.013;124\r\n"
                       "bad line\n05.03.2024 14:07:11;50,010\n";
    Write(root + "csv_file/sample", csv, sizeof csv - 1);

    // An event message.
    TLXCliParam *event = TLXPrmCreate("EVENT", TLX_MSG_EVENT);
    const char *names[] = {"_ID", "_CODE", "_DTCP", "_CAPTION", "_COMMENT", "_DATA", "_KWIT"};
    for (int i = 0; i < 7; ++i)
        TLXPrmSetName(event, i, names[i]);
    TLXPrmSetText(event, 0, 6, "{ev-1}");
    TLXPrmSetInt32(event, 1, 8301);
    TLXPrmSetDouble(event, 2, 1700000000.0);
    TLXPrmSetText(event, 3, 6, "\xc3\xc0\xd1-1 ");
    TLXPrmSetText(event, 4, 0, "");
    const char data[] = "05.03.2024 14:07:09;50,012;123.5\n";
    TLXPrmSetText(event, 5, int(sizeof data - 1), data);
    TLXPrmSetBool(event, 6, 1);
    Write(root + "event_message/event", ParamBytes(event));
    TLXPrmSetKind(event, TLX_MSG_KWIT);
    Write(root + "event_message/kwit", ParamBytes(event));
    TLXPrmDestroy(event);
    return 0;
}
