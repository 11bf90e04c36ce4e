// Private structures of the tlx library. Not for code outside tlx/ (tests may look).
#pragma once

#include "tlx/tlx.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tlx {

// Every block the library hands out is laid out as [u32 length][u32 tag][bytes][NUL] and known by
// the pointer to its bytes, so that a bare pointer can tell its own length (TLXArrayUnPack).
constexpr uint32_t kBlockTag = 0x4b4c4254;
constexpr uint32_t kFreedTag = 0x44454546;
// A block laid out the same way inside an array's text arena: readable as a block, freed with the arena.
constexpr uint32_t kArenaTag = 0x4e524154;
constexpr size_t kBlockPrefix = 8;
constexpr size_t kMaxBlock = 0x7fffffffu - 64;
constexpr int kMaxFields = 1 << 16;

uint8_t *BlockAlloc(size_t length); // null when too large or out of memory
uint8_t *BlockCopy(const void *bytes, size_t length);
void BlockFree(void *bytes);
bool BlockLength(const void *bytes, size_t *length); // false when the pointer is not a live block

// Owns one block (or none).
class Bytes {
public:
    Bytes() = default;
    Bytes(const void *bytes, size_t length) : p_(BlockCopy(bytes, length)) {}
    Bytes(const Bytes &other) : p_(other.p_ ? BlockCopy(other.p_, other.size()) : nullptr) {}
    Bytes(Bytes &&other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    // Holds a block of an arena: freeing it is the arena's business (BlockFree leaves it alone).
    static Bytes InArena(uint8_t *p) {
        Bytes b;
        b.p_ = p;
        return b;
    }
    Bytes &operator=(const Bytes &other) {
        if (this != &other) {
            Bytes copy(other);
            std::swap(p_, copy.p_);
        }
        return *this;
    }
    Bytes &operator=(Bytes &&other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Bytes() {
        if (p_)
            BlockFree(p_);
    }

    bool valid() const { return p_ != nullptr; }
    const uint8_t *data() const { return p_; }
    size_t size() const {
        size_t n = 0;
        return p_ && BlockLength(p_, &n) ? n : 0;
    }
    uint8_t *release() {
        uint8_t *p = p_;
        p_ = nullptr;
        return p;
    }

private:
    uint8_t *p_ = nullptr;
};

// Texts of an unpacked array, laid out as blocks one after another in a few large chunks: one
// allocation per chunk instead of one per text, and nothing to free text by text.
class TextArena {
public:
    uint8_t *Copy(const void *bytes, size_t length); // null when out of memory
    void Clear() { chunks_.clear(), used_ = size_ = 0; }

private:
    std::vector<std::unique_ptr<uint8_t[]>> chunks_;
    size_t used_ = 0, size_ = 0;
};

bool IsTextType(int type);    // text, name, blob
bool IsNumericType(int type); // bool, byte, int32, int64, float, double
bool IsValidType(int type);   // any code a value may carry, TL_NONE included

struct Value {
    int32_t type = TL_NONE; // TL_NONE = unset
    union {
        int32_t i32;
        int64_t i64;
        double d;
        float f;
        uint8_t b;
    } n{};
    Bytes bytes;             // text, name and blob values
    mutable Bytes textCache; // a number written out for the text getters

    void Clear() {
        type = TL_NONE;
        n.i64 = 0;
        bytes = Bytes();
        textCache = Bytes();
    }
};

// Orders two values for sorting: unset first, numbers before texts, texts bytewise.
int CompareValues(const Value &a, const Value &b);

} // namespace tlx

struct TLField {
    std::string name;
    int32_t type = TL_NONE;
    int index = 0;
    bool loose = false; // a parameter record's field: takes whatever type is set into it
};

struct TLRecord {
    TLRecord() = default;
    // A record of an unpacked array: it and its values live in the array's record pool.
    explicit TLRecord(std::pmr::memory_resource *pool) : values(pool), pooled(true) {}

    std::pmr::vector<tlx::Value> values;
    std::vector<uint8_t> user;
    int32_t flags = 0;
    TLArray *owner = nullptr;
    bool pooled = false; // destroyed in place: the pool's memory goes with the array's records
};

struct TLArray {
    struct Key {
        std::string field;
        bool descending = false;
    };
    std::vector<std::unique_ptr<TLField>> fields;
    std::vector<Key> keys;
    std::vector<TLRecord *> records;
    std::unordered_set<TLRecord *> detached; // made by TLARecNew, not posted yet
    tlx::TextArena texts;                    // texts of unpacked records; lives as long as the records
    // Unpacked records and their values: one allocation for a whole reply instead of two per record.
    std::unique_ptr<std::pmr::monotonic_buffer_resource> pool;
    int mode = 0;

    TLArray() = default;
    TLArray(const TLArray &) = delete;
    TLArray &operator=(const TLArray &) = delete;
    ~TLArray();
    void ClearRecords();
    void ClearAll();
    static void DeleteRecord(TLRecord *record);
};

struct TLXCliParam {
    std::string command;
    int32_t kind = 0;
    std::vector<std::unique_ptr<TLField>> fields;
    TLRecord record;
    std::vector<std::pair<std::string, tlx::Bytes>> arrays; // packed copies
    uint64_t requestId = 0;                                 // set by TLXCliRequest

    TLXCliParam() = default;
    TLXCliParam(const TLXCliParam &) = delete;
    TLXCliParam &operator=(const TLXCliParam &) = delete;
};

namespace tlx {

// Value access shared by arrays and parameter records.
int SetValue(TLField *field, TLRecord *record, Value value);
const Value *GetValue(const TLField *field, const TLRecord *record); // null when unset
TLField *ParamFieldAt(TLXCliParam *param, int pos);                  // grows the record up to pos
TLXCliParam *CloneParam(const TLXCliParam *param);
int UnpackArray(TLArray *array, const uint8_t *bytes, size_t length);
bool PackArray(const TLArray *array, std::vector<uint8_t> *out);
// A value encoded as [u8 type][payload]; used by the array and parameter codecs.
void PutValue(std::vector<uint8_t> *out, const Value &value);
// Texts go into `arena` when one is given.
bool GetValueAt(const uint8_t *data, size_t size, size_t *pos, Value *out, TextArena *arena = nullptr);

// Little-endian helpers.
inline void PutU8(std::vector<uint8_t> *o, uint8_t v) {
    o->push_back(v);
}
inline void PutU16(std::vector<uint8_t> *o, uint16_t v) {
    o->push_back(uint8_t(v));
    o->push_back(uint8_t(v >> 8));
}
inline void PutU32(std::vector<uint8_t> *o, uint32_t v) {
    PutU16(o, uint16_t(v));
    PutU16(o, uint16_t(v >> 16));
}
inline void PutU64(std::vector<uint8_t> *o, uint64_t v) {
    PutU32(o, uint32_t(v));
    PutU32(o, uint32_t(v >> 32));
}
inline void PutBytes(std::vector<uint8_t> *o, const void *p, size_t n) {
    if (n)
        o->insert(o->end(), static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + n);
}
inline uint16_t LoadU16(const uint8_t *p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t *p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t *p) {
    return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32);
}

// Bounded reader over a buffer: every read checks what is left and latches failure.
class Reader {
public:
    Reader(const uint8_t *data, size_t size) : d_(data), n_(size) {}
    bool ok() const { return ok_; }
    size_t left() const { return ok_ ? n_ - p_ : 0; }
    size_t pos() const { return p_; }
    bool Need(size_t k) {
        if (!ok_ || n_ - p_ < k)
            ok_ = false;
        return ok_;
    }
    uint8_t U8() { return Need(1) ? d_[p_++] : 0; }
    uint16_t U16() { return Need(2) ? (p_ += 2, LoadU16(d_ + p_ - 2)) : 0; }
    uint32_t U32() { return Need(4) ? (p_ += 4, LoadU32(d_ + p_ - 4)) : 0; }
    uint64_t U64() { return Need(8) ? (p_ += 8, LoadU64(d_ + p_ - 8)) : 0; }
    const uint8_t *Take(size_t k) {
        if (!Need(k))
            return nullptr;
        p_ += k;
        return d_ + p_ - k;
    }
    bool String16(std::string *s) {
        size_t k = U16();
        const uint8_t *p = Take(k);
        if (p)
            s->assign(reinterpret_cast<const char *>(p), k);
        return ok_;
    }
    bool String32(std::string *s) {
        size_t k = U32();
        const uint8_t *p = Take(k);
        if (p)
            s->assign(reinterpret_cast<const char *>(p), k);
        return ok_;
    }
    void Fail() { ok_ = false; }
    const uint8_t *data() const { return d_; }

private:
    const uint8_t *d_;
    size_t n_;
    size_t p_ = 0;
    bool ok_ = true;
};

inline void PutString16(std::vector<uint8_t> *o, const std::string &s) {
    size_t n = s.size() > 0xffff ? 0xffff : s.size();
    PutU16(o, uint16_t(n));
    PutBytes(o, s.data(), n);
}
inline void PutString32(std::vector<uint8_t> *o, const std::string &s) {
    PutU32(o, uint32_t(s.size()));
    PutBytes(o, s.data(), s.size());
}

// Deflate cannot shrink data by more than about 1:1032, so a larger claimed length is a lie, refused
// before anything that size is allocated.
inline bool PlausibleInflate(size_t compressed, size_t raw) {
    return raw <= compressed * 1032 + 64;
}

// zlib helpers: false on failure; Inflate produces exactly rawLength bytes or fails.
bool Deflate(const uint8_t *data, size_t size, std::vector<uint8_t> *out);
bool Inflate(const uint8_t *data, size_t size, size_t rawLength, uint8_t *out);

} // namespace tlx
