#pragma once
// The lexical rules every reader of a page's content streams shares: white space, delimiters, and
// where an inline image's data ends, so that the weighing, the glyph count and the drawing of a
// page agree on which bytes are operators.

#include <cstddef>
#include <string_view>

namespace ContentSyntax {

inline bool isWhite(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

inline bool isDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}

// The position after the "EI" that ends an inline image whose "ID" ends at `afterID`: the data
// starts one blank later and ends at the first "EI" with white space before it and white space, a
// delimiter or the end of the content after it. The content's end when there is none.
inline std::size_t afterInlineImage(std::string_view d, std::size_t afterID) {
    for (std::size_t k = afterID + 1; k + 1 < d.size(); ++k) {
        k = d.find("EI", k);
        if (k == std::string_view::npos) break;
        if (isWhite(d[k - 1]) && (k + 2 == d.size() || isWhite(d[k + 2]) || isDelimiter(d[k + 2])))
            return k + 2;
    }
    return d.size();
}

}  // namespace ContentSyntax
