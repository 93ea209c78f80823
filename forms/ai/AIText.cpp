#include "forms/ai/AIText.h"

#include <algorithm>
#include <cstdint>

#include "signing/UnicodeText.h"

namespace {

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

namespace AIText {

bool fitsHeader(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

bool isUTF8(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
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
        if (extra >= n - i) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if (!isContinuation(d)) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
            (extra == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string trimmed(std::string_view text) {
    static constexpr std::string_view wide[] = {"\xC2\xA0", "\xC2\x85", "\xE2\x80\xA8",
                                                "\xE2\x80\xA9"};
    for (bool changed = true; changed;) {
        changed = false;
        while (!text.empty() && isBlank(static_cast<unsigned char>(text.front()))) {
            text.remove_prefix(1);
            changed = true;
        }
        while (!text.empty() && isBlank(static_cast<unsigned char>(text.back()))) {
            text.remove_suffix(1);
            changed = true;
        }
        for (auto w : wide) {
            if (text.starts_with(w)) {
                text.remove_prefix(w.size());
                changed = true;
            }
            if (text.ends_with(w)) {
                text.remove_suffix(w.size());
                changed = true;
            }
        }
    }
    return std::string(text);
}

std::string lastCharacters(std::string_view text, std::size_t count) {
    const std::u16string units = UnicodeText::utf16(text);
    if (units.size() <= count) return std::string(text);  // never more characters than units
    return UnicodeText::utf8(UnicodeText::suffix(units, count));
}

bool nestsDeeperThan(std::string_view json, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : json) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > limit) return true;
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;
                break;
            default:
                break;
        }
    }
    return false;
}

}  // namespace AIText
