#include "tlx/tlx_wire.h"

#include "tlx/tlx_internal.h"

namespace tlx {
namespace wire {

namespace {

bool KnownKind(uint8_t kind) {
    return kind >= kHello && kind <= kHeartbeat;
}

} // namespace

bool DecodeFrameHeader(const uint8_t *data, size_t size, size_t maxFrame, FrameHeader *out) {
    if (!data || !out || size < kHeaderSize)
        return false;
    FrameHeader h;
    h.length = LoadU32(data);
    h.kind = data[4];
    h.flags = data[5];
    uint16_t reserved = LoadU16(data + 6);
    h.id = LoadU64(data + 8);
    if (!KnownKind(h.kind) || (h.flags & ~kCompressed) || reserved != 0 || h.length > maxFrame)
        return false;
    *out = h;
    return true;
}

bool DecodeFramePayload(const FrameHeader &header, const uint8_t *payload, size_t size, size_t maxFrame, Frame *out) {
    if (!out || size != header.length || (size && !payload))
        return false;
    out->kind = header.kind;
    out->id = header.id;
    if (!(header.flags & kCompressed)) {
        out->payload.assign(payload, payload + size);
        return true;
    }
    if (size < 4)
        return false;
    uint32_t raw = LoadU32(payload);
    if (raw > maxFrame || !PlausibleInflate(size - 4, raw))
        return false;
    std::vector<uint8_t> inflated(raw);
    if (!Inflate(payload + 4, size - 4, raw, inflated.data()))
        return false;
    out->payload = std::move(inflated);
    return true;
}

bool DecodeFrame(const uint8_t *data, size_t size, Frame *out, size_t maxFrame) {
    FrameHeader h;
    if (!DecodeFrameHeader(data, size, maxFrame, &h))
        return false;
    if (size - kHeaderSize != h.length)
        return false;
    return DecodeFramePayload(h, data + kHeaderSize, h.length, maxFrame, out);
}

std::vector<uint8_t> EncodeFrame(uint8_t kind, uint64_t id, const uint8_t *payload, size_t size, size_t compressAbove) {
    std::vector<uint8_t> z;
    uint8_t flags = 0;
    if (compressAbove && size > compressAbove && Deflate(payload, size, &z) && z.size() + 4 < size)
        flags = kCompressed;
    std::vector<uint8_t> out;
    size_t body = flags ? z.size() + 4 : size;
    out.reserve(kHeaderSize + body);
    PutU32(&out, uint32_t(body));
    PutU8(&out, kind);
    PutU8(&out, flags);
    PutU16(&out, 0);
    PutU64(&out, id);
    if (flags) {
        PutU32(&out, uint32_t(size));
        PutBytes(&out, z.data(), z.size());
    } else {
        PutBytes(&out, payload, size);
    }
    return out;
}

std::vector<uint8_t> EncodeHello(const Hello &hello) {
    std::vector<uint8_t> out;
    PutU32(&out, hello.magic);
    PutU16(&out, hello.version);
    PutString16(&out, hello.user);
    PutString16(&out, hello.password);
    return out;
}

bool DecodeHello(const uint8_t *data, size_t size, Hello *out) {
    if (!out)
        return false;
    Reader r(data, size);
    Hello h;
    h.magic = r.U32();
    h.version = r.U16();
    r.String16(&h.user);
    r.String16(&h.password);
    if (!r.ok() || r.left() != 0 || h.magic != kMagic)
        return false;
    *out = std::move(h);
    return true;
}

std::vector<uint8_t> EncodeHelloReply(const HelloReply &reply) {
    std::vector<uint8_t> out;
    PutU32(&out, kMagic);
    PutU16(&out, reply.version);
    PutU32(&out, uint32_t(reply.status));
    PutString16(&out, reply.text);
    return out;
}

bool DecodeHelloReply(const uint8_t *data, size_t size, HelloReply *out) {
    if (!out)
        return false;
    Reader r(data, size);
    HelloReply h;
    uint32_t magic = r.U32();
    h.version = r.U16();
    h.status = int32_t(r.U32());
    r.String16(&h.text);
    if (!r.ok() || r.left() != 0 || magic != kMagic)
        return false;
    *out = std::move(h);
    return true;
}

void EncodeParam(const TLXCliParam *param, std::vector<uint8_t> *out) {
    PutString16(out, param->command);
    PutU32(out, uint32_t(param->kind));
    PutU32(out, uint32_t(param->fields.size()));
    static const Value unset;
    for (size_t i = 0; i < param->fields.size(); ++i) {
        PutString16(out, param->fields[i]->name);
        PutValue(out, i < param->record.values.size() ? param->record.values[i] : unset);
    }
    PutU32(out, uint32_t(param->arrays.size()));
    for (const auto &a : param->arrays) {
        PutString16(out, a.first);
        PutU32(out, uint32_t(a.second.size()));
        PutBytes(out, a.second.data(), a.second.size());
    }
}

TLXCliParam *DecodeParam(const uint8_t *data, size_t size) {
    if (!data && size)
        return nullptr;
    Reader r(data, size);
    auto p = std::make_unique<TLXCliParam>();
    r.String16(&p->command);
    p->kind = int32_t(r.U32());
    uint32_t nf = r.U32();
    // A field takes at least three bytes (name length and type): larger counts are lies.
    if (!r.ok() || nf > uint32_t(kMaxFields) || nf > r.left() / 3)
        return nullptr;
    p->fields.reserve(nf);
    p->record.values.resize(nf);
    for (uint32_t i = 0; i < nf; ++i) {
        auto f = std::make_unique<TLField>();
        f->index = int(i);
        f->loose = true;
        r.String16(&f->name);
        if (!r.ok())
            return nullptr;
        size_t pos = r.pos();
        if (!GetValueAt(data, size, &pos, &p->record.values[i]))
            return nullptr;
        r.Take(pos - r.pos());
        f->type = p->record.values[i].type;
        p->fields.push_back(std::move(f));
    }
    uint32_t na = r.U32();
    if (!r.ok() || na > r.left() / 6)
        return nullptr;
    for (uint32_t i = 0; i < na; ++i) {
        std::string name;
        r.String16(&name);
        uint32_t n = r.U32();
        const uint8_t *bytes = r.Take(n);
        if (!bytes)
            return nullptr;
        Bytes block(bytes, n);
        if (!block.valid())
            return nullptr;
        p->arrays.emplace_back(std::move(name), std::move(block));
    }
    if (!r.ok() || r.left() != 0)
        return nullptr;
    return p.release();
}

} // namespace wire
} // namespace tlx
