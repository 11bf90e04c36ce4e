// Typed values: conversion between the type codes, and the TLR getters and setters.
#include "tlx/tlx_internal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tlx {

bool IsTextType(int type) {
    return type == TL_TEXT || type == TL_NAME || type == TL_BLOB;
}

bool IsNumericType(int type) {
    switch (type) {
    case TL_BOOL:
    case TL_BYTE:
    case TL_INT32:
    case TL_INT64:
    case TL_FLOAT:
    case TL_DOUBLE:
        return true;
    default:
        return false;
    }
}

bool IsValidType(int type) {
    return type == TL_NONE || IsTextType(type) || IsNumericType(type);
}

namespace {

bool IsIntegral(int type) {
    return type == TL_BOOL || type == TL_BYTE || type == TL_INT32 || type == TL_INT64;
}

int64_t AsInt64Raw(const Value &v) {
    switch (v.type) {
    case TL_BOOL:
    case TL_INT32:
        return v.n.i32;
    case TL_BYTE:
        return v.n.b;
    case TL_INT64:
        return v.n.i64;
    default:
        return 0;
    }
}

double AsDoubleRaw(const Value &v) {
    if (v.type == TL_DOUBLE)
        return v.n.d;
    if (v.type == TL_FLOAT)
        return double(v.n.f);
    return double(AsInt64Raw(v));
}

// Whole text as a number; false for anything else (trailing garbage, empty, out of range).
bool ParseNumber(const Value &v, bool *integral, int64_t *i, double *d) {
    std::string s(reinterpret_cast<const char *>(v.bytes.data()), v.bytes.size());
    size_t a = s.find_first_not_of(" \t\r\n");
    size_t b = s.find_last_not_of(" \t\r\n");
    if (a == std::string::npos)
        return false;
    s = s.substr(a, b - a + 1);
    if (s == "true" || s == "TRUE" || s == "True") {
        *integral = true;
        *i = 1;
        return true;
    }
    if (s == "false" || s == "FALSE" || s == "False") {
        *integral = true;
        *i = 0;
        return true;
    }
    errno = 0;
    char *end = nullptr;
    long long ll = std::strtoll(s.c_str(), &end, 10);
    if (errno == 0 && end && *end == 0) {
        *integral = true;
        *i = ll;
        return true;
    }
    errno = 0;
    double dd = std::strtod(s.c_str(), &end);
    if (errno == 0 && end && *end == 0) {
        *integral = false;
        *d = dd;
        return true;
    }
    return false;
}

// The value as int64 / double, from any type; false when it cannot be read as a number.
bool ToInt64(const Value &v, int64_t *out) {
    if (IsIntegral(v.type)) {
        *out = AsInt64Raw(v);
        return true;
    }
    double d;
    if (v.type == TL_FLOAT || v.type == TL_DOUBLE) {
        d = AsDoubleRaw(v);
    } else if (IsTextType(v.type)) {
        bool integral;
        int64_t i;
        if (!ParseNumber(v, &integral, &i, &d))
            return false;
        if (integral) {
            *out = i;
            return true;
        }
    } else {
        return false;
    }
    if (!std::isfinite(d) || d >= 9223372036854775807.0 || d < -9223372036854775808.0)
        return false;
    *out = int64_t(d);
    return true;
}

bool ToDouble(const Value &v, double *out) {
    if (IsNumericType(v.type)) {
        *out = AsDoubleRaw(v);
        return true;
    }
    if (IsTextType(v.type)) {
        bool integral;
        int64_t i;
        double d;
        if (!ParseNumber(v, &integral, &i, &d))
            return false;
        *out = integral ? double(i) : d;
        return true;
    }
    return false;
}

std::string FormatNumber(const Value &v) {
    char buf[64];
    if (IsIntegral(v.type)) {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(AsInt64Raw(v)));
        return buf;
    }
    double d = AsDoubleRaw(v);
    // Shortest form that reads back to the same double.
    for (int prec = (v.type == TL_FLOAT ? 6 : 15); prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (v.type == TL_FLOAT ? std::strtof(buf, nullptr) == v.n.f : std::strtod(buf, nullptr) == d)
            break;
    }
    return buf;
}

// Converts value to type; false when it cannot be represented.
bool Convert(Value *value, int type) {
    if (value->type == type || type == TL_NONE || value->type == TL_NONE)
        return true;
    Value &v = *value;
    if (IsTextType(type)) {
        if (!IsTextType(v.type)) {
            std::string s = FormatNumber(v);
            v.bytes = Bytes(s.data(), s.size());
        }
        v.type = type;
        return true;
    }
    Value out;
    out.type = type;
    int64_t i = 0;
    double d = 0;
    switch (type) {
    case TL_BOOL:
        if (!ToDouble(v, &d))
            return false;
        out.n.i32 = d != 0 ? 1 : 0;
        break;
    case TL_BYTE:
        if (!ToInt64(v, &i) || i < 0 || i > 255)
            return false;
        out.n.b = uint8_t(i);
        break;
    case TL_INT32:
        if (!ToInt64(v, &i) || i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max())
            return false;
        out.n.i32 = int32_t(i);
        break;
    case TL_INT64:
        if (!ToInt64(v, &i))
            return false;
        out.n.i64 = i;
        break;
    case TL_FLOAT:
        if (!ToDouble(v, &d))
            return false;
        out.n.f = float(d);
        break;
    case TL_DOUBLE:
        if (!ToDouble(v, &d))
            return false;
        out.n.d = d;
        break;
    default:
        return false;
    }
    *value = std::move(out);
    return true;
}

} // namespace

int CompareValues(const Value &a, const Value &b) {
    bool an = a.type == TL_NONE, bn = b.type == TL_NONE;
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    bool at = IsTextType(a.type), bt = IsTextType(b.type);
    if (at != bt)
        return at ? 1 : -1;
    if (at) {
        size_t la = a.bytes.size(), lb = b.bytes.size();
        int c = std::memcmp(a.bytes.data(), b.bytes.data(), la < lb ? la : lb);
        if (c != 0)
            return c < 0 ? -1 : 1;
        return la == lb ? 0 : (la < lb ? -1 : 1);
    }
    if (IsIntegral(a.type) && IsIntegral(b.type)) {
        int64_t x = AsInt64Raw(a), y = AsInt64Raw(b);
        return x == y ? 0 : (x < y ? -1 : 1);
    }
    double x = AsDoubleRaw(a), y = AsDoubleRaw(b);
    bool xn = std::isnan(x), yn = std::isnan(y); // NaN sorts first so the order stays strict
    if (xn || yn)
        return xn == yn ? 0 : (xn ? -1 : 1);
    return x == y ? 0 : (x < y ? -1 : 1);
}

int SetValue(TLField *field, TLRecord *record, Value value) {
    if (!field || !record || field->index < 0 || field->index >= kMaxFields || !IsValidType(value.type))
        return TLX_ERR_ARG;
    if (field->loose) {
        if (value.type != TL_NONE)
            field->type = value.type;
    } else if (!Convert(&value, field->type)) {
        return TLX_ERR_TYPE;
    }
    size_t idx = size_t(field->index);
    if (record->values.size() <= idx)
        record->values.resize(idx + 1);
    value.textCache = Bytes();
    record->values[idx] = std::move(value);
    return 0;
}

const Value *GetValue(const TLField *field, const TLRecord *record) {
    if (!field || !record || field->index < 0 || size_t(field->index) >= record->values.size())
        return nullptr;
    const Value &v = record->values[size_t(field->index)];
    return v.type == TL_NONE ? nullptr : &v;
}

} // namespace tlx

using namespace tlx;

namespace {

int GetConverted(const TLField *field, const TLRecord *record, int type, Value *out) {
    if (!field || !record)
        return TLX_ERR_ARG;
    const Value *v = GetValue(field, record);
    if (!v)
        return TLX_ERR_NOTFOUND;
    if (v->type == type || (IsTextType(type) && IsTextType(v->type))) {
        out->type = v->type;
        out->n = v->n;
        return 0;
    }
    Value copy;
    copy.type = v->type;
    copy.n = v->n;
    if (IsTextType(v->type))
        copy.bytes = v->bytes;
    if (!Convert(&copy, type))
        return TLX_ERR_TYPE;
    *out = std::move(copy);
    return 0;
}

// Text of a value, kept in the value so the pointer outlives the call.
const Bytes *TextOf(const Value *v) {
    if (IsTextType(v->type))
        return &v->bytes;
    if (!v->textCache.valid()) {
        Value copy;
        copy.type = v->type;
        copy.n = v->n;
        if (!Convert(&copy, TL_TEXT))
            return nullptr;
        v->textCache = std::move(copy.bytes);
    }
    return &v->textCache;
}

Value Number(int type) {
    Value v;
    v.type = type;
    return v;
}

} // namespace

extern "C" {

int TLRGetAsInt32(const TLField *field, const TLRecord *record, int32_t *out) {
    Value v;
    if (!out)
        return TLX_ERR_ARG;
    int rc = GetConverted(field, record, TL_INT32, &v);
    if (rc == 0)
        *out = v.n.i32;
    return rc;
}

int TLRGetAsInt64(const TLField *field, const TLRecord *record, int64_t *out) {
    Value v;
    if (!out)
        return TLX_ERR_ARG;
    int rc = GetConverted(field, record, TL_INT64, &v);
    if (rc == 0)
        *out = v.n.i64;
    return rc;
}

int TLRGetAsDouble(const TLField *field, const TLRecord *record, double *out) {
    Value v;
    if (!out)
        return TLX_ERR_ARG;
    int rc = GetConverted(field, record, TL_DOUBLE, &v);
    if (rc == 0)
        *out = v.n.d;
    return rc;
}

int TLRGetAsFloat(const TLField *field, const TLRecord *record, float *out) {
    Value v;
    if (!out)
        return TLX_ERR_ARG;
    int rc = GetConverted(field, record, TL_FLOAT, &v);
    if (rc == 0)
        *out = v.n.f;
    return rc;
}

int TLRGetAsBool(const TLField *field, const TLRecord *record, int *out) {
    Value v;
    if (!out)
        return TLX_ERR_ARG;
    int rc = GetConverted(field, record, TL_BOOL, &v);
    if (rc == 0)
        *out = v.n.i32 ? 1 : 0;
    return rc;
}

int TLRGetTextPtr(const TLField *field, const TLRecord *record, const char **out) {
    int length = 0;
    return TLRGetTextRef(field, record, &length, out);
}

int TLRGetTextRef(const TLField *field, const TLRecord *record, int *length, const char **out) {
    if (!field || !record || !length || !out)
        return TLX_ERR_ARG;
    const Value *v = GetValue(field, record);
    if (!v)
        return TLX_ERR_NOTFOUND;
    const Bytes *text = TextOf(v);
    if (!text)
        return TLX_ERR_TYPE;
    *out = reinterpret_cast<const char *>(text->data());
    *length = int(text->size());
    return 0;
}

int TLRGetVal(const TLField *field, const TLRecord *record, TLVal *out) {
    if (!field || !record || !out)
        return TLX_ERR_ARG;
    std::memset(out, 0, sizeof *out);
    const Value *v = GetValue(field, record);
    if (!v)
        return 0; // an unset value reads as TL_NONE, which TLRSetVal takes back as "unset"
    out->Type = v->type;
    switch (v->type) {
    case TL_BOOL:
        out->V.Bool = v->n.i32;
        break;
    case TL_BYTE:
        out->V.Byte = v->n.b;
        break;
    case TL_INT32:
        out->V.Int32 = v->n.i32;
        break;
    case TL_INT64:
        out->V.Int64 = v->n.i64;
        break;
    case TL_FLOAT:
        out->V.Float = v->n.f;
        break;
    case TL_DOUBLE:
        out->V.Double = v->n.d;
        break;
    default:
        out->V.Text.Length = int32_t(v->bytes.size());
        out->V.Text.Ptr = reinterpret_cast<const char *>(v->bytes.data());
        break;
    }
    return 0;
}

int TLRSetVal(TLField *field, TLRecord *record, const TLVal *value) {
    if (!value)
        return TLX_ERR_ARG;
    Value v;
    v.type = value->Type;
    switch (value->Type) {
    case TL_NONE:
        break;
    case TL_BOOL:
        v.n.i32 = value->V.Bool ? 1 : 0;
        break;
    case TL_BYTE:
        v.n.b = value->V.Byte;
        break;
    case TL_INT32:
        v.n.i32 = value->V.Int32;
        break;
    case TL_INT64:
        v.n.i64 = value->V.Int64;
        break;
    case TL_FLOAT:
        v.n.f = value->V.Float;
        break;
    case TL_DOUBLE:
        v.n.d = value->V.Double;
        break;
    case TL_TEXT:
    case TL_NAME:
    case TL_BLOB:
        if (value->V.Text.Length < 0 || (value->V.Text.Length > 0 && !value->V.Text.Ptr))
            return TLX_ERR_ARG;
        v.bytes = Bytes(value->V.Text.Ptr, size_t(value->V.Text.Length));
        break;
    default:
        return TLX_ERR_ARG;
    }
    return SetValue(field, record, std::move(v));
}

int TLRSetUser(TLField *field, TLRecord *record, int user) {
    if (!field || !record || field->index < 0 || field->index >= kMaxFields)
        return TLX_ERR_ARG;
    size_t idx = size_t(field->index);
    if (record->user.size() <= idx)
        record->user.resize(idx + 1, 0);
    record->user[idx] = user ? 1 : 0;
    return 0;
}

int TLRGetUser(const TLField *field, const TLRecord *record) {
    if (!field || !record || field->index < 0 || size_t(field->index) >= record->user.size())
        return 0;
    return record->user[size_t(field->index)];
}

int TLRSetFlags(TLRecord *record, int flags) {
    if (!record)
        return TLX_ERR_ARG;
    record->flags = flags;
    return 0;
}

int TLRGetFlags(const TLRecord *record) {
    return record ? record->flags : 0;
}

int TLRSetAsText(TLField *field, TLRecord *record, int length, const char *bytes) {
    if (length < 0 && bytes)
        length = int(std::strlen(bytes));
    if (length < 0 || (length > 0 && !bytes))
        return TLX_ERR_ARG;
    Value v;
    v.type = TL_TEXT;
    v.bytes = Bytes(bytes, size_t(length));
    if (!v.bytes.valid())
        return TLX_ERR_ARG;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsInt32(TLField *field, TLRecord *record, int32_t value) {
    Value v = Number(TL_INT32);
    v.n.i32 = value;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsInt64(TLField *field, TLRecord *record, int64_t value) {
    Value v = Number(TL_INT64);
    v.n.i64 = value;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsDouble(TLField *field, TLRecord *record, double value) {
    Value v = Number(TL_DOUBLE);
    v.n.d = value;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsFloat(TLField *field, TLRecord *record, float value) {
    Value v = Number(TL_FLOAT);
    v.n.f = value;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsBool(TLField *field, TLRecord *record, int value) {
    Value v = Number(TL_BOOL);
    v.n.i32 = value ? 1 : 0;
    return SetValue(field, record, std::move(v));
}

int TLRSetAsByte(TLField *field, TLRecord *record, uint8_t value) {
    Value v = Number(TL_BYTE);
    v.n.b = value;
    return SetValue(field, record, std::move(v));
}

int TLRIsNull(const TLField *field, const TLRecord *record) {
    return GetValue(field, record) ? 0 : 1;
}

} // extern "C"
