#pragma once
// Text services the profile recognisers share: UTF-8/UTF-16 conversion, user-perceived character
// (grapheme) counts, trimming by character class, Spanish case mapping and diacritic folding, and
// comparison up to canonical equivalence.

#include <unicode/brkiter.h>
#include <unicode/unistr.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace UnicodeText {

icu::UnicodeString fromUtf8(std::string_view text);
std::string toUtf8(const icu::UnicodeString& text);

// Number of extended grapheme clusters.
std::size_t graphemeCount(const icu::UnicodeString& text);
std::size_t graphemeCount(std::string_view text);
// The text cut into its user-perceived characters, each as UTF-8.
std::vector<std::string> graphemes(std::string_view text);
// True when `offset` (UTF-16) lies between two user-perceived characters of the text, or at an end.
class GraphemeBounds {
public:
    explicit GraphemeBounds(const icu::UnicodeString& text);
    ~GraphemeBounds();
    GraphemeBounds(const GraphemeBounds&) = delete;
    GraphemeBounds& operator=(const GraphemeBounds&) = delete;
    bool isBoundary(int32_t offset);

private:
    const icu::UnicodeString& text_;
    icu::BreakIterator* iterator_ = nullptr;
};

// Horizontal white space: tab and the Unicode space separators (no line ends).
bool isBlank(UChar32 c);
// Line ends: LF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isLineEnd(UChar32 c);
// White space of any kind, line ends included.
bool isWhitespaceOrNewline(UChar32 c);

// Removes from both ends every code point for which `drop` is true.
template <typename Predicate>
icu::UnicodeString trimmedU(const icu::UnicodeString& text, Predicate drop) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end) {
        UChar32 c = text.char32At(start);
        if (!drop(c)) break;
        start += U16_LENGTH(c);
    }
    while (end > start) {
        int32_t last = text.moveIndex32(end, -1);
        if (!drop(text.char32At(last))) break;
        end = last;
    }
    return icu::UnicodeString(text, start, end - start);
}

template <typename Predicate>
std::string trimmed(std::string_view text, Predicate drop) {
    return toUtf8(trimmedU(fromUtf8(text), drop));
}

// The code points of the text for which `keep` is true.
template <typename Predicate>
std::string filtered(std::string_view text, Predicate keep) {
    const icu::UnicodeString s = fromUtf8(text);
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length();) {
        UChar32 c = s.char32At(i);
        i += U16_LENGTH(c);
        if (keep(c)) out.append(c);
    }
    return toUtf8(out);
}

// Trims horizontal white space from both ends.
std::string trimBlanks(std::string_view text);

// Lower-cases under es_ES and removes diacritics: "Razón Social" gives "razon social".
std::string fold(std::string_view text);

// Every word with its first letter upper-cased and the rest lower-cased.
std::string capitalized(std::string_view text);

// The first character upper-cased; the rest lower-cased when `lowerRest`, else unchanged.
std::string upperFirst(std::string_view text, bool lowerRest);

// Upper-cases every character (root locale).
std::string upper(std::string_view text);

// NFC form; texts that are canonically equivalent have equal forms.
std::string canonical(std::string_view text);
bool sameText(std::string_view a, std::string_view b);

// True when the text holds a decimal digit of any script.
bool hasDecimalDigit(std::string_view text);

}  // namespace UnicodeText
