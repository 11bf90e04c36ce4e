// Pack / unpack of a day of 1 Hz rows, and a day-sized archive block over loopback, beside memcpy.
#include "bench/figure.h"
#include "tlx/tlx.h"
#include "tlx/tlx_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kRows = 86400;
constexpr int kRepeats = 5;

double NowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

template <typename F> double BestOf(F f) {
    double best = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        double t0 = NowMs();
        f();
        best = std::min(best, NowMs() - t0);
    }
    return best;
}

// Answers any request with a block of kRows archive-sized records.
class BlockHandler : public tlx::ServerHandler {
public:
    explicit BlockHandler(std::vector<uint8_t> block) : block_(std::move(block)) {}
    bool Authenticate(tlx::ConnId, const std::string &, const std::string &) override { return true; }
    void OnRequest(tlx::ConnId, TLXCliParam *, TLXCliParam *reply) override {
        TLXPrmSetBytes(reply, 0, int(block_.size()), block_.data());
    }
    void OnMessage(tlx::ConnId, TLXCliParam *) override {}

private:
    std::vector<uint8_t> block_;
};

} // namespace

int main() {
    TLArray *a = nullptr;
    TLACreate(&a, 0);
    TLAFldAdd(a, "KeyLink", TL_TEXT);
    TLAFldAdd(a, "TIME", TL_DOUBLE);
    TLAFldAdd(a, "VALUE", TL_DOUBLE);
    TLAFldAdd(a, "STATE", TL_INT32);
    char key[64];
    for (int i = 0; i < kRows; ++i) {
        TLRecord *r = TLARecNew(a);
        int n = std::snprintf(key, sizeof key, "{%08x-0000-4000-8000-%012x}", i * 2654435761u, i);
        TLRSetAsText(TLAFld(a, 0), r, n, key);
        TLRSetAsDouble(TLAFld(a, 1), r, 1700000000.0 + i);
        TLRSetAsDouble(TLAFld(a, 2), r, 50.0 + (i % 100) * 0.0001);
        TLRSetAsInt32(TLAFld(a, 3), r, i % 7 == 0 ? 0x10000000 : 0);
        TLARecPost(a, r);
    }
    void *packed = nullptr;
    int packedLength = 0;
    double pack = BestOf([&] {
        TLMemFree(packed);
        TLAPack(a, &packed, &packedLength);
    });
    double unpack = BestOf([&] {
        TLArray *b = nullptr;
        TLACreate(&b, 0);
        TLXArrayUnPack(b, packed, 1);
        TLADestroy(b);
    });
    double sortMs = BestOf([&] {
        TLAKey k{"KeyLink", 0};
        if (TLAKeyCount(a) == 0)
            TLAKeyAdd(a, 1, &k);
        else {
            TLAKeySet(a, 0, &k);
            TLARecSort(a);
        }
    });
    std::vector<uint8_t> copy(static_cast<size_t>(packedLength));
    double memcpyMs = BestOf([&] { std::memcpy(copy.data(), packed, copy.size()); });
    std::printf("array of %d rows, 4 fields: packed %d bytes\n", kRows, packedLength);
    std::printf("  TLAPack            %8.2f ms  (%.0f rows/s)\n", pack, kRows / pack * 1000);
    std::printf("  TLXArrayUnPack     %8.2f ms  (%.0f rows/s)\n", unpack, kRows / unpack * 1000);
    std::printf("  sort by KeyLink    %8.2f ms\n", sortMs);
    std::printf("  memcpy of block    %8.3f ms\n", memcpyMs);
    char limit[64];
    std::snprintf(limit, sizeof limit, "memcpy %.3f ms", memcpyMs);
    Figure("TLAPack of 86,400 rows", pack, "ms", "", limit);
    FigureVs("TLXArrayUnPack of 86,400 rows (and freeing them)", unpack, "ms", "<= 1 x TLAPack", "TLAPack", pack);
    TLMemFree(packed);
    TLADestroy(a);

    // A day of 29-byte archive records as one reply over loopback.
    std::vector<uint8_t> block(21 + size_t(kRows) * 29, 0);
    for (size_t i = 0; i < size_t(kRows); ++i) {
        uint8_t *rec = block.data() + 21 + i * 29;
        rec[0] = 1;
        double t = 1700000000.0 + double(i), v = 50.0 + double(i % 100) * 0.0001;
        std::memcpy(rec + 13, &t, 8);
        std::memcpy(rec + 21, &v, 8);
    }
    BlockHandler handler(block);
    for (size_t compressAbove : {size_t(64) << 10, size_t(1) << 30}) {
        tlx::ServerOptions o;
        o.port = 0;
        o.compressAbove = compressAbove;
        tlx::Server server(o, &handler);
        std::string error;
        if (!server.Start(&error)) {
            std::fprintf(stderr, "server: %s\n", error.c_str());
            return 1;
        }
        TLSockInit(50);
        TLXInit();
        TLXCliSes *h = nullptr;
        TLXCliCreate(&h);
        if (TLXCliOpen(h, "127.0.0.1", server.Port(), "bench", "bench", 1, 0) != 0) {
            std::fprintf(stderr, "cannot connect\n");
            return 1;
        }
        int length = 0;
        double roundTrip = BestOf([&] {
            TLXCliParam *p = nullptr, *reply = nullptr;
            TLXCliRequest(h, "MEAS_READ2", &p, &reply);
            TLXPrmSetInt32(p, 0, 1);
            TLXCliPost(h, p);
            if (TLXCliWaitResult(h, &reply, -1) == 0) {
                const char *bytes = nullptr;
                TLRGetTextRef(TLXPrmField(reply, 0), TLXPrmRecord(reply), &length, &bytes);
                TLXCliPrmFree(reply, h);
            }
        });
        std::vector<uint8_t> sink(block.size());
        double memcpyBlock = BestOf([&] { std::memcpy(sink.data(), block.data(), block.size()); });
        std::printf("archive block of %d records (%d bytes) over loopback, %s:\n", kRows, length,
                    compressAbove < block.size() ? "zlib-compressed" : "uncompressed");
        std::printf("  request to reply   %8.2f ms  (%.0f records/s)\n", roundTrip, kRows / roundTrip * 1000);
        char blockLimit[64];
        std::snprintf(blockLimit, sizeof blockLimit, "memcpy %.3f ms", memcpyBlock);
        Figure(compressAbove < block.size() ? "day archive block round trip, compressed"
                                            : "day archive block round trip",
               roundTrip, "ms", "", blockLimit);
        std::printf("  memcpy of block    %8.3f ms\n", memcpyBlock);
        TLXCliClose(h, 0);
        TLXCliFree(h);
        server.Stop();
    }
    return 0;
}
