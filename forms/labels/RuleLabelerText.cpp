// The text operations of the rule labeller: folding, the caption segment nearest a field and the
// Spanish half of a bilingual caption.

#include <unicode/uchar.h>

#include <array>

#include "forms/labels/RuleLabeler.h"
#include "profile/UnicodeText.h"

namespace {

bool isSpace(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
}

// Every run of white space one blank, none at the ends.
std::string collapsed(std::string_view text) {
    const icu::UnicodeString s = UnicodeText::fromUtf8(text);
    icu::UnicodeString out;
    bool pending = false;
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        i += U16_LENGTH(c);
        if (isSpace(c)) {
            pending = !out.isEmpty();
            continue;
        }
        if (pending) out.append(u' ');
        pending = false;
        out.append(c);
    }
    return UnicodeText::toUtf8(out);
}

std::string trimmed(std::string_view text) {
    return UnicodeText::trimmed(text, isSpace);
}

// Words that mark the Spanish half of a bilingual caption.
constexpr std::array<std::string_view, 15> kSpanishWords = {
    "de",   "del", "la",     "el",     "los",     "las",          "y",        "o",
    "tipo", "via", "nombre", "numero", "entidad", "denominacion", "apellidos"};

bool hasSpanishWord(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view word = text.substr(start, end - start);
        for (std::string_view spanish : kSpanishWords) {
            if (word == spanish) return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace

namespace RuleLabeler {

std::string norm(std::string_view text) {
    return collapsed(UnicodeText::fold(text));
}

std::string nearest(std::string_view caption) {
    const std::string folded = norm(caption);
    std::string last;
    std::size_t start = 0;
    while (start <= folded.size()) {
        std::size_t end = folded.find_first_of(".:", start);
        if (end == std::string::npos) end = folded.size();
        std::string piece = trimmed(std::string_view(folded).substr(start, end - start));
        if (!piece.empty()) last = std::move(piece);
        start = end + 1;
    }
    return last;
}

std::vector<std::string> languages(std::string_view text) {
    constexpr std::string_view kSeparator = " / ";
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kSeparator, start);
        pieces.push_back(
            trimmed(text.substr(start, end == std::string_view::npos ? end : end - start)));
        if (end == std::string_view::npos || pieces.size() > 2) break;
        start = end + kSeparator.size();
    }
    std::vector<std::string> result{std::string(text)};
    if (pieces.size() != 2) return result;
    if (!hasSpanishWord(pieces[1])) result.push_back(pieces[0]);
    if (!hasSpanishWord(pieces[0])) result.push_back(pieces[1]);
    return result;
}

}  // namespace RuleLabeler
