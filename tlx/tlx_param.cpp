// Parameter records: a command, a kind, positional named fields and attached packed arrays.
#include "tlx/tlx_internal.h"

#include <cstring>

namespace tlx {

TLField *ParamFieldAt(TLXCliParam *param, int pos) {
    if (!param || pos < 0 || pos >= kMaxFields)
        return nullptr;
    while (param->fields.size() <= size_t(pos)) {
        auto f = std::make_unique<TLField>();
        f->index = int(param->fields.size());
        f->loose = true;
        param->fields.push_back(std::move(f));
    }
    if (param->record.values.size() < param->fields.size())
        param->record.values.resize(param->fields.size());
    return param->fields[size_t(pos)].get();
}

TLXCliParam *CloneParam(const TLXCliParam *param) {
    auto *c = new TLXCliParam;
    c->command = param->command;
    c->kind = param->kind;
    for (const auto &f : param->fields) {
        auto n = std::make_unique<TLField>(*f);
        c->fields.push_back(std::move(n));
    }
    for (const Value &v : param->record.values) {
        Value n;
        n.type = v.type;
        n.n = v.n;
        n.bytes = v.bytes;
        c->record.values.push_back(std::move(n));
    }
    c->record.user = param->record.user;
    c->record.flags = param->record.flags;
    c->arrays = param->arrays;
    return c;
}

} // namespace tlx

using namespace tlx;

namespace {

int SetNumber(TLXCliParam *param, int pos, Value v) {
    TLField *f = ParamFieldAt(param, pos);
    if (!f)
        return TLX_ERR_ARG;
    return SetValue(f, &param->record, std::move(v));
}

int SetBlock(TLXCliParam *param, int pos, int type, int length, const void *bytes) {
    if (length < 0 || (length > 0 && !bytes))
        return TLX_ERR_ARG;
    Value v;
    v.type = type;
    v.bytes = Bytes(bytes, size_t(length));
    if (!v.bytes.valid())
        return TLX_ERR_ARG;
    return SetNumber(param, pos, std::move(v));
}

} // namespace

extern "C" {

TLXCliParam *TLXPrmCreate(const char *command, int kind) {
    auto *p = new TLXCliParam;
    p->command = command ? command : "";
    p->kind = kind;
    return p;
}

void TLXPrmDestroy(TLXCliParam *param) {
    delete param;
}

const char *TLXPrmCommand(const TLXCliParam *param) {
    return param ? param->command.c_str() : nullptr;
}

int TLXPrmKind(const TLXCliParam *param) {
    return param ? param->kind : 0;
}

void TLXPrmSetKind(TLXCliParam *param, int kind) {
    if (param)
        param->kind = kind;
}

int TLXPrmFieldCount(const TLXCliParam *param) {
    return param ? int(param->fields.size()) : 0;
}

const char *TLXPrmFieldName(const TLXCliParam *param, int pos) {
    if (!param || pos < 0 || size_t(pos) >= param->fields.size())
        return nullptr;
    return param->fields[size_t(pos)]->name.c_str();
}

int TLXPrmFieldIndex(const TLXCliParam *param, const char *name) {
    if (!param || !name)
        return -1;
    for (size_t i = 0; i < param->fields.size(); ++i)
        if (param->fields[i]->name == name)
            return int(i);
    return -1;
}

int TLXPrmFieldType(const TLXCliParam *param, int pos) {
    if (!param || pos < 0 || size_t(pos) >= param->fields.size())
        return TL_NONE;
    const Value *v = GetValue(param->fields[size_t(pos)].get(), &param->record);
    return v ? v->type : TL_NONE;
}

int TLXPrmSetName(TLXCliParam *param, int pos, const char *name) {
    TLField *f = ParamFieldAt(param, pos);
    if (!f || !name)
        return TLX_ERR_ARG;
    f->name = name;
    return 0;
}

int TLXPrmSetInt32(TLXCliParam *param, int pos, int32_t value) {
    Value v;
    v.type = TL_INT32;
    v.n.i32 = value;
    return SetNumber(param, pos, std::move(v));
}

int TLXPrmSetDouble(TLXCliParam *param, int pos, double value) {
    Value v;
    v.type = TL_DOUBLE;
    v.n.d = value;
    return SetNumber(param, pos, std::move(v));
}

int TLXPrmSetBool(TLXCliParam *param, int pos, int value) {
    Value v;
    v.type = TL_BOOL;
    v.n.i32 = value ? 1 : 0;
    return SetNumber(param, pos, std::move(v));
}

int TLXPrmSetByte(TLXCliParam *param, int pos, uint8_t value) {
    Value v;
    v.type = TL_BYTE;
    v.n.b = value;
    return SetNumber(param, pos, std::move(v));
}

int TLXPrmSetText(TLXCliParam *param, int pos, int length, const char *bytes) {
    if (length < 0 && bytes)
        length = int(std::strlen(bytes));
    return SetBlock(param, pos, TL_TEXT, length, bytes);
}

int TLXPrmSetBytes(TLXCliParam *param, int pos, int length, const void *bytes) {
    return SetBlock(param, pos, TL_BLOB, length, bytes);
}

TLField *TLXPrmField(TLXCliParam *param, int pos) {
    if (!param || pos < 0 || size_t(pos) >= param->fields.size())
        return nullptr;
    return param->fields[size_t(pos)].get();
}

TLRecord *TLXPrmRecord(TLXCliParam *param) {
    return param ? &param->record : nullptr;
}

int TLXCliSetArr(TLXCliParam *param, const char *name, TLArray *array, int mode) {
    (void)mode; // the copy is always packed
    if (!param || !name || !array)
        return TLX_ERR_ARG;
    std::vector<uint8_t> packed;
    if (!PackArray(array, &packed))
        return TLX_ERR_ARG;
    Bytes block(packed.data(), packed.size());
    if (!block.valid())
        return TLX_ERR_ARG;
    for (auto &a : param->arrays) {
        if (a.first == name) {
            a.second = std::move(block);
            return 0;
        }
    }
    param->arrays.emplace_back(name, std::move(block));
    return 0;
}

int TLXCliGetArr(const TLXCliParam *param, const char *name, TLArray *array) {
    if (!param || !name || !array)
        return TLX_ERR_ARG;
    for (const auto &a : param->arrays)
        if (a.first == name)
            return UnpackArray(array, a.second.data(), a.second.size());
    return TLX_ERR_NOTFOUND;
}

int TLXPrmArrCount(const TLXCliParam *param) {
    return param ? int(param->arrays.size()) : 0;
}

const char *TLXPrmArrName(const TLXCliParam *param, int index) {
    if (!param || index < 0 || size_t(index) >= param->arrays.size())
        return nullptr;
    return param->arrays[size_t(index)].first.c_str();
}

} // extern "C"
