#include "pdf/UTF8.h"

namespace UTF8 {

void append(std::string& out, char32_t c) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

char32_t next(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int length;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        ++pos;
        return 0xFFFD;
    }
    std::size_t p = pos + 1;
    for (int i = 1; i < length; ++i, ++p) {
        if (p >= s.size()) {
            pos = p;
            return 0xFFFD;
        }
        const auto b = static_cast<unsigned char>(s[p]);
        const unsigned char min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xBF;
        if (b < min || b > max) {
            pos = p;
            return 0xFFFD;
        }
        c = (c << 6) | (b & 0x3F);
    }
    pos = p;
    return c;
}

std::string sanitize(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    if (i == s.size()) return std::string(s);
    std::string out(s.substr(0, i));
    out.reserve(s.size() + 8);
    while (i < s.size()) {
        const std::size_t start = i;
        const char32_t c = next(s, i);
        if (c == 0xFFFD && !(i - start == 3 && s.substr(start, 3) == "\xEF\xBF\xBD"))
            append(out, 0xFFFD);
        else
            out.append(s.substr(start, i - start));
    }
    return out;
}

}  // namespace UTF8
