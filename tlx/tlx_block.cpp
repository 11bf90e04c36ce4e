// Library-owned byte blocks, zlib compression, time and the CVar variant.
#include "tlx/tlx_internal.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace tlx {

namespace {
constexpr uint32_t kCompressMagic = 0x315a4c54; // "TLZ1"
constexpr size_t kCompressHeader = 8;
} // namespace

uint8_t *BlockAlloc(size_t length) {
    if (length > kMaxBlock)
        return nullptr;
    auto *raw = static_cast<uint8_t *>(std::malloc(kBlockPrefix + length + 1));
    if (!raw)
        return nullptr;
    uint32_t len = uint32_t(length);
    std::memcpy(raw, &len, 4);
    std::memcpy(raw + 4, &kBlockTag, 4);
    raw[kBlockPrefix + length] = 0;
    return raw + kBlockPrefix;
}

uint8_t *BlockCopy(const void *bytes, size_t length) {
    uint8_t *p = BlockAlloc(length);
    if (p && length)
        std::memcpy(p, bytes, length);
    return p;
}

void BlockFree(void *bytes) {
    if (!bytes)
        return;
    uint8_t *raw = static_cast<uint8_t *>(bytes) - kBlockPrefix;
    uint32_t tag;
    std::memcpy(&tag, raw + 4, 4);
    if (tag != kBlockTag)
        return; // not ours or freed twice: leaking beats corrupting the heap
    std::memcpy(raw + 4, &kFreedTag, 4);
    std::free(raw);
}

uint8_t *TextArena::Copy(const void *bytes, size_t length) {
    constexpr size_t kChunk = size_t(64) << 10;
    // Room for the prefix, the bytes and the NUL, kept 8-aligned like a block from malloc.
    const size_t need = (kBlockPrefix + length + 1 + 7) & ~size_t(7);
    if (length > kMaxBlock)
        return nullptr;
    if (used_ + need > size_) {
        const size_t size = std::max(kChunk, need);
        std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[size]);
        if (!chunk)
            return nullptr;
        chunks_.push_back(std::move(chunk));
        used_ = 0;
        size_ = size;
    }
    uint8_t *raw = chunks_.back().get() + used_;
    used_ += need;
    const uint32_t len = uint32_t(length);
    std::memcpy(raw, &len, 4);
    std::memcpy(raw + 4, &kArenaTag, 4);
    if (length)
        std::memcpy(raw + kBlockPrefix, bytes, length);
    raw[kBlockPrefix + length] = 0;
    return raw + kBlockPrefix;
}

bool BlockLength(const void *bytes, size_t *length) {
    if (!bytes)
        return false;
    const uint8_t *raw = static_cast<const uint8_t *>(bytes) - kBlockPrefix;
    uint32_t tag, len;
    std::memcpy(&tag, raw + 4, 4);
    if (tag != kBlockTag && tag != kArenaTag)
        return false;
    std::memcpy(&len, raw, 4);
    *length = len;
    return true;
}

bool Deflate(const uint8_t *data, size_t size, std::vector<uint8_t> *out) {
    uLongf bound = compressBound(uLong(size));
    out->resize(bound);
    if (compress2(out->data(), &bound, data, uLong(size), Z_BEST_SPEED) != Z_OK)
        return false;
    out->resize(bound);
    return true;
}

bool Inflate(const uint8_t *data, size_t size, size_t rawLength, uint8_t *out) {
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        return false;
    s.next_in = const_cast<Bytef *>(data);
    s.avail_in = uInt(size);
    s.next_out = out;
    s.avail_out = uInt(rawLength);
    int rc = inflate(&s, Z_FINISH);
    bool ok = rc == Z_STREAM_END && s.total_out == rawLength;
    inflateEnd(&s);
    return ok;
}

} // namespace tlx

using namespace tlx;

extern "C" {

int TLXDataIsCompress(int length, const void *data) {
    if (!data || length < int(kCompressHeader + 2))
        return 0;
    const auto *p = static_cast<const uint8_t *>(data);
    if (LoadU32(p) != kCompressMagic)
        return 0;
    uint8_t cmf = p[kCompressHeader], flg = p[kCompressHeader + 1];
    return (cmf & 0x0f) == Z_DEFLATED && ((cmf << 8) | flg) % 31 == 0 ? 1 : 0;
}

int TLXDataCompress(int length, const void *data, int *outLength, void **out) {
    if (!outLength || !out || length < 0 || (length > 0 && !data))
        return TLX_ERR_ARG;
    *out = nullptr;
    *outLength = 0;
    std::vector<uint8_t> z;
    if (!Deflate(static_cast<const uint8_t *>(data), size_t(length), &z))
        return TLX_ERR_PROTO;
    uint8_t *block = BlockAlloc(kCompressHeader + z.size());
    if (!block)
        return TLX_ERR_ARG;
    std::vector<uint8_t> head;
    PutU32(&head, kCompressMagic);
    PutU32(&head, uint32_t(length));
    std::memcpy(block, head.data(), kCompressHeader);
    std::memcpy(block + kCompressHeader, z.data(), z.size());
    *out = block;
    *outLength = int(kCompressHeader + z.size());
    return 0;
}

// Data that is not a compressed block comes back as a plain copy, so callers may decompress
// whatever the server sent without asking first.
int TLXDataDeCompress(int length, const void *data, int *outLength, void **out) {
    if (!outLength || !out || length < 0 || (length > 0 && !data))
        return TLX_ERR_ARG;
    *out = nullptr;
    *outLength = 0;
    const auto *p = static_cast<const uint8_t *>(data);
    if (!TLXDataIsCompress(length, data)) {
        uint8_t *copy = BlockCopy(p, size_t(length));
        if (!copy)
            return TLX_ERR_ARG;
        *out = copy;
        *outLength = length;
        return 0;
    }
    uint32_t raw = LoadU32(p + 4);
    if (raw > kMaxBlock || !PlausibleInflate(size_t(length) - kCompressHeader, raw))
        return TLX_ERR_PROTO;
    uint8_t *block = BlockAlloc(raw);
    if (!block)
        return TLX_ERR_PROTO;
    if (!Inflate(p + kCompressHeader, size_t(length) - kCompressHeader, raw, block)) {
        BlockFree(block);
        return TLX_ERR_PROTO;
    }
    *out = block;
    *outLength = int(raw);
    return 0;
}

void TLMemFree(void *block) {
    BlockFree(block);
}

double CTimeNow(void) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // extern "C"

struct CVar {
    enum Kind : uint8_t { kEmpty = 0, kArray = 1 };
    Kind kind = kEmpty;
    std::vector<CVar> items;

    void Write(std::vector<uint8_t> *out) const {
        PutU8(out, kind);
        if (kind == kArray) {
            PutU32(out, uint32_t(items.size()));
            for (const CVar &item : items)
                item.Write(out);
        }
    }
};

extern "C" {

int CVarInit(CVar **var) {
    if (!var)
        return TLX_ERR_ARG;
    *var = new CVar;
    return 0;
}

int CVarClear(CVar *var) {
    delete var;
    return 0;
}

int CVarSetArr(CVar *var, int count) {
    if (!var || count < 0 || count > (1 << 24))
        return TLX_ERR_ARG;
    var->kind = CVar::kArray;
    var->items.assign(size_t(count), CVar());
    return 0;
}

int CVarToBuff(const CVar *var, void **bytes, int *length) {
    if (!var || !bytes || !length)
        return TLX_ERR_ARG;
    std::vector<uint8_t> out;
    var->Write(&out);
    uint8_t *block = BlockCopy(out.data(), out.size());
    if (!block)
        return TLX_ERR_ARG;
    *bytes = block;
    *length = int(out.size());
    return 0;
}

} // extern "C"
