#include "stand/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace stand {
namespace {

std::string Convert(const char *to, const char *from, const std::string &in, char replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return in;
    std::string out;
    out.reserve(in.size() * 2 + 4);
    std::vector<char> buffer(4096);
    char *src = const_cast<char *>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char *dst = buffer.data();
        size_t dstLeft = buffer.size();
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), buffer.size() - dstLeft);
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // Unconvertible or broken input: substitute one character and skip it.
        out.push_back(replacement);
        size_t skip = 1;
        if (std::string(from) == "UTF-8") {
            const unsigned char lead = static_cast<unsigned char>(*src);
            if (lead >= 0xF0)
                skip = 4;
            else if (lead >= 0xE0)
                skip = 3;
            else if (lead >= 0xC0)
                skip = 2;
            if (errno == EINVAL || skip > srcLeft)
                skip = srcLeft;
        }
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string Utf8ToCp1251(const std::string &utf8) {
    return Convert("WINDOWS-1251", "UTF-8", utf8, '?');
}

std::string Cp1251ToUtf8(const std::string &cp1251) {
    return Convert("UTF-8", "WINDOWS-1251", cp1251, '?');
}

bool IsValidUtf8(const std::string &text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms and surrogates are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += extra + 1;
    }
    return true;
}

std::string ClientTextToUtf8(const std::string &text) {
    return IsValidUtf8(text) ? text : Cp1251ToUtf8(text);
}

} // namespace stand
