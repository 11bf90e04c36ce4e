// Record arrays: layout, records, sort keys, and their packed form.
#include "tlx/tlx_internal.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kPackMagic = 0x31414c54; // "TLA1"

bool EqualsNoCase(const std::string &a, const char *b) {
    size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

TLField *FindField(const TLArray *array, const std::string &name) {
    for (const auto &f : array->fields)
        if (f->name == name)
            return f.get();
    // Column names from SQL are case-insensitive; an exact match still wins above.
    for (const auto &f : array->fields)
        if (EqualsNoCase(f->name, name.c_str()))
            return f.get();
    return nullptr;
}

struct ResolvedKey {
    int index;
    bool descending;
};

std::vector<ResolvedKey> ResolveKeys(const TLArray *array) {
    std::vector<ResolvedKey> keys;
    for (const auto &k : array->keys) {
        if (TLField *f = FindField(array, k.field))
            keys.push_back({f->index, k.descending});
    }
    return keys;
}

int CompareRecords(const TLRecord *a, const TLRecord *b, const std::vector<ResolvedKey> &keys) {
    static const tlx::Value unset;
    for (const ResolvedKey &k : keys) {
        size_t i = size_t(k.index);
        const tlx::Value &x = i < a->values.size() ? a->values[i] : unset;
        const tlx::Value &y = i < b->values.size() ? b->values[i] : unset;
        int c = tlx::CompareValues(x, y);
        if (c != 0)
            return k.descending ? -c : c;
    }
    return 0;
}

void SortRecords(TLArray *array) {
    std::vector<ResolvedKey> keys = ResolveKeys(array);
    if (keys.empty())
        return;
    std::stable_sort(array->records.begin(), array->records.end(),
                     [&keys](const TLRecord *a, const TLRecord *b) { return CompareRecords(a, b, keys) < 0; });
}

TLRecord *CopyRecord(const TLRecord *src, TLArray *owner) {
    auto *r = new TLRecord;
    r->values.reserve(src->values.size());
    for (const tlx::Value &v : src->values) {
        tlx::Value c;
        c.type = v.type;
        c.n = v.n;
        c.bytes = v.bytes;
        r->values.push_back(std::move(c));
    }
    r->user = src->user;
    r->flags = src->flags;
    r->owner = owner;
    return r;
}

} // namespace

TLArray::~TLArray() {
    ClearAll();
}

void TLArray::DeleteRecord(TLRecord *record) {
    if (record && record->pooled)
        record->~TLRecord();
    else
        delete record;
}

void TLArray::ClearRecords() {
    for (TLRecord *r : records)
        DeleteRecord(r);
    records.clear();
    for (TLRecord *r : detached)
        DeleteRecord(r);
    detached.clear();
    texts.Clear();
    pool.reset();
}

void TLArray::ClearAll() {
    ClearRecords();
    fields.clear();
    keys.clear();
}

namespace tlx {

void PutValue(std::vector<uint8_t> *out, const Value &v) {
    PutU8(out, uint8_t(v.type));
    switch (v.type) {
    case TL_BOOL:
        PutU8(out, v.n.i32 ? 1 : 0);
        break;
    case TL_BYTE:
        PutU8(out, v.n.b);
        break;
    case TL_INT32:
        PutU32(out, uint32_t(v.n.i32));
        break;
    case TL_INT64:
        PutU64(out, uint64_t(v.n.i64));
        break;
    case TL_FLOAT: {
        uint32_t bits;
        std::memcpy(&bits, &v.n.f, 4);
        PutU32(out, bits);
        break;
    }
    case TL_DOUBLE: {
        uint64_t bits;
        std::memcpy(&bits, &v.n.d, 8);
        PutU64(out, bits);
        break;
    }
    case TL_TEXT:
    case TL_NAME:
    case TL_BLOB:
        PutU32(out, uint32_t(v.bytes.size()));
        PutBytes(out, v.bytes.data(), v.bytes.size());
        break;
    default:
        break;
    }
}

bool GetValueAt(const uint8_t *data, size_t size, size_t *pos, Value *out, TextArena *arena) {
    if (*pos > size)
        return false;
    Reader r(data + *pos, size - *pos);
    Value v;
    v.type = r.U8();
    switch (v.type) {
    case TL_NONE:
        break;
    case TL_BOOL:
        v.n.i32 = r.U8() ? 1 : 0;
        break;
    case TL_BYTE:
        v.n.b = r.U8();
        break;
    case TL_INT32:
        v.n.i32 = int32_t(r.U32());
        break;
    case TL_INT64:
        v.n.i64 = int64_t(r.U64());
        break;
    case TL_FLOAT: {
        uint32_t bits = r.U32();
        std::memcpy(&v.n.f, &bits, 4);
        break;
    }
    case TL_DOUBLE: {
        uint64_t bits = r.U64();
        std::memcpy(&v.n.d, &bits, 8);
        break;
    }
    case TL_TEXT:
    case TL_NAME:
    case TL_BLOB: {
        uint32_t n = r.U32();
        const uint8_t *p = r.Take(n);
        if (!p)
            return false;
        v.bytes = arena ? Bytes::InArena(arena->Copy(p, n)) : Bytes(p, n);
        if (!v.bytes.valid())
            return false;
        break;
    }
    default:
        return false;
    }
    if (!r.ok())
        return false;
    *pos += r.pos();
    *out = std::move(v);
    return true;
}

bool PackArray(const TLArray *array, std::vector<uint8_t> *out) {
    size_t nf = array->fields.size();
    size_t maskBytes = (nf + 7) / 8;
    PutU32(out, kPackMagic);
    PutU32(out, uint32_t(nf));
    for (const auto &f : array->fields) {
        PutString16(out, f->name);
        PutU8(out, uint8_t(f->type));
    }
    PutU32(out, uint32_t(array->keys.size()));
    for (const auto &k : array->keys) {
        PutString16(out, k.field);
        PutU8(out, k.descending ? 1 : 0);
    }
    PutU32(out, uint32_t(array->records.size()));
    std::vector<uint8_t> set(maskBytes), user(maskBytes);
    for (const TLRecord *r : array->records) {
        PutU32(out, uint32_t(r->flags));
        std::fill(set.begin(), set.end(), 0);
        std::fill(user.begin(), user.end(), 0);
        for (size_t i = 0; i < nf; ++i) {
            if (i < r->values.size() && r->values[i].type != TL_NONE)
                set[i / 8] |= uint8_t(1u << (i % 8));
            if (i < r->user.size() && r->user[i])
                user[i / 8] |= uint8_t(1u << (i % 8));
        }
        PutBytes(out, set.data(), maskBytes);
        PutBytes(out, user.data(), maskBytes);
        for (size_t i = 0; i < nf; ++i)
            if (set[i / 8] & (1u << (i % 8)))
                PutValue(out, r->values[i]);
    }
    return out->size() <= kMaxBlock;
}

int UnpackArray(TLArray *array, const uint8_t *bytes, size_t length) {
    if (!array || (!bytes && length))
        return TLX_ERR_ARG;
    Reader r(bytes, length);
    if (r.U32() != kPackMagic)
        return TLX_ERR_PROTO;
    uint32_t nf = r.U32();
    // Every field takes at least three bytes: a count larger than the rest of the block is a lie.
    if (!r.ok() || nf > uint32_t(kMaxFields) || nf > r.left() / 3)
        return TLX_ERR_PROTO;
    TLArray tmp;
    for (uint32_t i = 0; i < nf; ++i) {
        auto f = std::make_unique<TLField>();
        r.String16(&f->name);
        f->type = r.U8();
        f->index = int(i);
        if (!r.ok() || !IsValidType(f->type))
            return TLX_ERR_PROTO;
        tmp.fields.push_back(std::move(f));
    }
    uint32_t nk = r.U32();
    if (!r.ok() || nk > r.left() / 3)
        return TLX_ERR_PROTO;
    for (uint32_t i = 0; i < nk; ++i) {
        TLArray::Key k;
        r.String16(&k.field);
        uint8_t desc = r.U8();
        if (!r.ok() || desc > 1)
            return TLX_ERR_PROTO;
        k.descending = desc != 0;
        tmp.keys.push_back(std::move(k));
    }
    size_t maskBytes = (nf + 7) / 8;
    uint32_t nr = r.U32();
    if (!r.ok() || nr > r.left() / (4 + 2 * maskBytes))
        return TLX_ERR_PROTO;
    tmp.records.reserve(nr);
    // Sized for the whole reply up front (a hostile count only gets the cap); a record is pushed at once
    // so that a failure frees it too.
    const size_t poolSize = std::min<size_t>(size_t(nr) * (sizeof(TLRecord) + nf * sizeof(Value)), size_t(64) << 20);
    tmp.pool = std::make_unique<std::pmr::monotonic_buffer_resource>(std::max<size_t>(poolSize, 1024));
    for (uint32_t n = 0; n < nr; ++n) {
        TLRecord *rec = new (tmp.pool->allocate(sizeof(TLRecord), alignof(TLRecord))) TLRecord(tmp.pool.get());
        rec->owner = array;
        tmp.records.push_back(rec);
        rec->flags = int32_t(r.U32());
        const uint8_t *set = r.Take(maskBytes);
        const uint8_t *user = r.Take(maskBytes);
        if (!r.ok())
            return TLX_ERR_PROTO;
        // Bits past the last field must be clear, or the mask does not belong to this layout.
        if (nf % 8 && maskBytes && ((set[maskBytes - 1] | user[maskBytes - 1]) >> (nf % 8)))
            return TLX_ERR_PROTO;
        rec->values.resize(nf);
        // Marks are rare: a record without any keeps no mark vector (a short one reads as unmarked).
        if (std::any_of(user, user + maskBytes, [](uint8_t b) { return b != 0; })) {
            rec->user.assign(nf, 0);
            for (size_t i = 0; i < nf; ++i)
                rec->user[i] = (user[i / 8] >> (i % 8)) & 1u;
        }
        size_t pos = r.pos();
        for (size_t i = 0; i < nf; ++i) {
            if (!(set[i / 8] & (1u << (i % 8))))
                continue;
            if (!GetValueAt(bytes, length, &pos, &rec->values[i], &tmp.texts) || rec->values[i].type == TL_NONE)
                return TLX_ERR_PROTO;
        }
        r.Take(pos - r.pos());
    }
    if (r.left() != 0)
        return TLX_ERR_PROTO;
    array->ClearAll();
    array->fields = std::move(tmp.fields);
    array->keys = std::move(tmp.keys);
    array->records = std::move(tmp.records);
    tmp.records.clear();
    std::swap(array->texts, tmp.texts);
    std::swap(array->pool, tmp.pool);
    return 0;
}

} // namespace tlx

using namespace tlx;

extern "C" {

int TLACreate(TLArray **array, int mode) {
    if (!array)
        return TLX_ERR_ARG;
    *array = new TLArray;
    (*array)->mode = mode;
    return 0;
}

int TLADestroy(TLArray *array) {
    delete array;
    return 0;
}

int TLACopy(TLArray *dst, const TLArray *src, int mode) {
    if (!dst || !src)
        return TLX_ERR_ARG;
    if (dst == src)
        return mode == 0 ? (dst->ClearRecords(), 0) : 0;
    dst->ClearAll();
    for (const auto &f : src->fields) {
        auto c = std::make_unique<TLField>();
        c->name = f->name;
        c->type = f->type;
        c->index = f->index;
        dst->fields.push_back(std::move(c));
    }
    dst->keys = src->keys;
    if (mode == 1) {
        dst->records.reserve(src->records.size());
        for (const TLRecord *r : src->records)
            dst->records.push_back(CopyRecord(r, dst));
    }
    return 0;
}

int TLARecCount(const TLArray *array) {
    return array ? int(array->records.size()) : 0;
}

TLRecord *TLARec(TLArray *array, int mode, int index) {
    (void)mode;
    if (!array || index < 0 || size_t(index) >= array->records.size())
        return nullptr;
    return array->records[size_t(index)];
}

TLRecord *TLARecNew(TLArray *array) {
    if (!array)
        return nullptr;
    auto *r = new TLRecord;
    r->values.resize(array->fields.size());
    r->user.assign(array->fields.size(), 0);
    r->owner = array;
    array->detached.insert(r);
    return r;
}

// A keyed array keeps its order: the record goes after every record that sorts equal or before it.
int TLARecPost(TLArray *array, TLRecord *record) {
    if (!array || !record)
        return TLX_ERR_ARG;
    auto it = array->detached.find(record);
    if (it == array->detached.end())
        return record->owner == array ? 0 : TLX_ERR_ARG;
    array->detached.erase(it);
    std::vector<ResolvedKey> keys = ResolveKeys(array);
    if (keys.empty()) {
        array->records.push_back(record);
    } else {
        auto pos =
            std::upper_bound(array->records.begin(), array->records.end(), record,
                             [&keys](const TLRecord *a, const TLRecord *b) { return CompareRecords(a, b, keys) < 0; });
        array->records.insert(pos, record);
    }
    return 0;
}

int TLARecDel(TLArray *array, TLRecord *record) {
    if (!array || !record)
        return TLX_ERR_ARG;
    auto it = std::find(array->records.begin(), array->records.end(), record);
    if (it != array->records.end()) {
        array->records.erase(it);
        TLArray::DeleteRecord(record);
        return 0;
    }
    if (array->detached.erase(record)) {
        TLArray::DeleteRecord(record);
        return 0;
    }
    return TLX_ERR_NOTFOUND;
}

int TLARecSort(TLArray *array) {
    if (!array)
        return TLX_ERR_ARG;
    SortRecords(array);
    return 0;
}

int TLAKeyAdd(TLArray *array, int count, const TLAKey *keys) {
    if (!array || count < 0 || (count > 0 && !keys))
        return TLX_ERR_ARG;
    for (int i = 0; i < count; ++i)
        if (!keys[i].Field)
            return TLX_ERR_ARG;
    for (int i = 0; i < count; ++i)
        array->keys.push_back({keys[i].Field, keys[i].Descending != 0});
    SortRecords(array);
    return 0;
}

int TLAKeyCount(const TLArray *array) {
    return array ? int(array->keys.size()) : 0;
}

int TLAKeySet(TLArray *array, int index, const TLAKey *key) {
    if (!array || !key || !key->Field || index < 0 || size_t(index) >= array->keys.size())
        return TLX_ERR_ARG;
    array->keys[size_t(index)] = {key->Field, key->Descending != 0};
    return 0;
}

int TLAFldAdd(TLArray *array, const char *name, int type) {
    if (!array || !name || !IsValidType(type) || array->fields.size() >= size_t(kMaxFields))
        return TLX_ERR_ARG;
    auto f = std::make_unique<TLField>();
    f->name = name;
    f->type = type;
    f->index = int(array->fields.size());
    array->fields.push_back(std::move(f));
    return 0;
}

int TLAFldCount(const TLArray *array) {
    return array ? int(array->fields.size()) : 0;
}

TLField *TLAFld(TLArray *array, int index) {
    if (!array || index < 0 || size_t(index) >= array->fields.size())
        return nullptr;
    return array->fields[size_t(index)].get();
}

const char *TLFldName(const TLField *field) {
    return field ? field->name.c_str() : nullptr;
}

int TLFldType(const TLField *field) {
    return field ? field->type : TL_NONE;
}

TLField *TLRFldByName(TLArray *array, const char *name) {
    if (!array || !name)
        return nullptr;
    return FindField(array, name);
}

int TLAPack(const TLArray *array, void **bytes, int *length) {
    if (!array || !bytes || !length)
        return TLX_ERR_ARG;
    *bytes = nullptr;
    *length = 0;
    std::vector<uint8_t> out;
    if (!PackArray(array, &out))
        return TLX_ERR_ARG;
    uint8_t *block = BlockCopy(out.data(), out.size());
    if (!block)
        return TLX_ERR_ARG;
    *bytes = block;
    *length = int(out.size());
    return 0;
}

int TLXArrayUnPack(TLArray *array, const void *bytes, int mode) {
    (void)mode;
    size_t length = 0;
    if (!array || !BlockLength(bytes, &length))
        return TLX_ERR_ARG;
    return UnpackArray(array, static_cast<const uint8_t *>(bytes), length);
}

int TLXArrayUnPackBuf(TLArray *array, const void *bytes, int length) {
    if (length < 0)
        return TLX_ERR_ARG;
    return UnpackArray(array, static_cast<const uint8_t *>(bytes), size_t(length));
}

} // extern "C"
