#pragma once
// White space as the form reader's normalisation sees it (the regular-expression class \s): tab,
// line feed, form feed, carriage return and every Unicode separator. All of them are in the BMP,
// so one UTF-16 unit decides.

#include <unicode/uchar.h>

namespace TextSpace {

inline bool isSpace(char16_t c) {
    if (c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r' || c == u' ') return true;
    if (c < 0x80) return false;
    int8_t type = u_charType(c);
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

}  // namespace TextSpace
