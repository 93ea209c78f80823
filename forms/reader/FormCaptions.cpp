// Text normalisation and the captions of a field: the printed texts left of, above and right of
// it, a wider band above, and the page headings that stand over it.
#include <algorithm>

#include "forms/reader/FormReader.h"
#include "forms/reader/TextSpace.h"
#include "signing/UnicodeText.h"

namespace FormReader {
namespace {

using TextSpace::isSpace;

std::string firstCharacters(const std::string& text, std::size_t count) {
    std::u16string s = UnicodeText::utf16(text);
    if (s.size() <= count) return text;  // never more characters than units
    return UnicodeText::utf8(UnicodeText::prefix(s, count));
}

std::string lastCharacters(const std::string& text, std::size_t count) {
    std::u16string s = UnicodeText::utf16(text);
    if (s.size() <= count) return text;
    return UnicodeText::utf8(UnicodeText::suffix(s, count));
}

std::size_t wordCount(std::string_view text) {
    std::size_t words = 0;
    bool inWord = false;
    for (char c : text) {
        if (c == ' ') {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++words;
        }
    }
    return words;
}

// The caption rectangles of a field (see describe).
constexpr double leftReach = 200, leftGap = 2;
constexpr double aboveHeight = 14, aboveOverhang = 20;
constexpr double rightGap = 2, rightWidth = 120;
constexpr double contextHeight = 42, contextOverhang = 80;
// Characters kept of each side text.
constexpr std::size_t leftKept = 80, aboveKept = 80, rightKept = 60, contextKept = 160;
// Headings: those whose line is at most this much below the field's top still stand above it;
// how far a header and a caption may stand above the field; words of a caption; characters kept.
constexpr double headingTolerance = 2;
constexpr double headerReach = 120, captionReach = 150;
constexpr std::size_t captionWords = 5, maxCaptions = 3, headingKept = 90;

}  // namespace

std::u16string clean(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (char16_t c : text) {
        if (isSpace(c)) {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.empty()) out.push_back(u' ');
        pendingSpace = false;
        out.push_back(c);
    }
    return out;
}

std::string clean(std::string_view utf8) {
    // Plain ASCII without white space other than single inner blanks needs no work.
    bool simple = !utf8.empty() && utf8.front() != ' ' && utf8.back() != ' ';
    for (std::size_t i = 0; simple && i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80 || c < 0x20 || (c == ' ' && i > 0 && utf8[i - 1] == ' ')) simple = false;
    }
    if (simple) return std::string(utf8);
    return UnicodeText::utf8(clean(UnicodeText::utf16(utf8)));
}

void describe(FormField& field, const TextSource& around, const std::vector<FormTitle>& titles) {
    const Rect& r = field.rect;
    field.left = lastCharacters(
        around({r.minX() - leftReach, r.minY(), leftReach - leftGap, r.height}), leftKept);
    field.above = firstCharacters(
        around({r.minX() - aboveOverhang, r.maxY(), r.width + 2 * aboveOverhang, aboveHeight}),
        aboveKept);
    field.right =
        firstCharacters(around({r.maxX() + rightGap, r.minY(), rightWidth, r.height}), rightKept);
    field.context = lastCharacters(around({r.minX() - contextOverhang, r.maxY(),
                                           r.width + 2 * contextOverhang, contextHeight}),
                                   contextKept);

    std::vector<const FormTitle*> candidates;
    for (const FormTitle& t : titles)
        if (t.y >= r.maxY() - headingTolerance) candidates.push_back(&t);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const FormTitle* a, const FormTitle* b) { return a->y < b->y; });

    field.section.reset();
    field.header.reset();
    field.captions.clear();
    for (const FormTitle* t : candidates) {
        if (t->numbered) {
            field.section = firstCharacters(t->text, headingKept);
            break;
        }
    }
    for (const FormTitle* t : candidates) {
        if (!t->numbered && t->y - r.maxY() < headerReach) {
            field.header = firstCharacters(t->text, headingKept);
            break;
        }
    }
    for (const FormTitle* t : candidates) {
        if (field.captions.size() >= maxCaptions) break;
        if (t->y - r.maxY() < captionReach && wordCount(t->text) <= captionWords)
            field.captions.push_back(t->text);
    }
}

}  // namespace FormReader
