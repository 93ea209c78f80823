// Fill-in lines: runs of underscores, dots or ellipses printed for the reader to write on, each
// with the caption written before it on its line (or on the line above).
#include <unicode/uchar.h>

#include "forms/reader/FormPageText.h"
#include "forms/reader/FormReader.h"
#include "forms/reader/TextSpace.h"
#include "platform/Regex.h"
#include "signing/UnicodeText.h"

namespace FormReader {
namespace {

constexpr char16_t ellipsis = u'\u2026';
// A run is a line when it holds an underscore and counts 3, or else counts 5 (an ellipsis
// counts 3, any other fill character 1).
constexpr std::size_t underscoreRun = 3;
constexpr std::size_t dotRun = 5;
// Digits after a run that make it a leader to a page number.
constexpr std::size_t pageNumberDigits = 4;
// A caption this short takes the line above in front of it.
constexpr std::size_t shortCaption = 3;
// Narrower runs are no line to write on.
constexpr double minLineWidth = 10;
// Characters kept of a label.
constexpr std::size_t labelKept = 40;

bool isFill(char16_t c) {
    return c == u'.' || c == u'_' || c == ellipsis;
}
bool isBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}
using TextSpace::isSpace;

// Whether the rest of the line after a run is a page number of 1 to 4 digits alone. Reads no
// further than the first character that is neither white space nor a digit.
bool leadsToPageNumber(std::u16string_view text, std::size_t from) {
    std::size_t digits = 0;
    bool after = false;  // white space after the digits
    for (std::size_t i = from; i < text.size() && !isBreak(text[i]); ++i) {
        char16_t c = text[i];
        if (c < 0xD800 || c > 0xDFFF) {
            if (u_isdigit(c)) {
                if (after || ++digits > pageNumberDigits) return false;
                continue;
            }
            if (isSpace(c)) {
                if (digits > 0) after = true;
                continue;
            }
        }
        return false;
    }
    return digits >= 1;
}

bool trimmedFromLabel(char16_t c) {
    return c == u' ' || c == u':' || c == u';' || c == u'-' || c == u'\u2013' || c == u'(' ||
           isSpace(c);
}

std::u16string labelOf(const std::u16string& caption) {
    std::size_t comma = caption.rfind(u',');
    std::u16string last =
        clean(comma == std::u16string::npos ? std::u16string_view(caption)
                                            : std::u16string_view(caption).substr(comma + 1));
    std::size_t a = 0, b = last.size();
    while (a < b && trimmedFromLabel(last[a])) ++a;
    while (b > a && trimmedFromLabel(last[b - 1])) --b;
    return last.substr(a, b - a);
}

}  // namespace

std::vector<FillLine> fillLines(const FormPageText& page) {
    std::vector<FillLine> out;
    std::u16string_view text = page.text();
    std::size_t i = 0, lineStart = 0;
    std::u16string previous;
    while (i < text.size()) {
        char16_t c = text[i];
        if (isBreak(c)) {
            std::u16string line = clean(text.substr(lineStart, i - lineStart));
            if (!line.empty()) previous = std::move(line);
            ++i;
            lineStart = i;
            continue;
        }
        if (!isFill(c)) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        std::size_t count = 0;
        bool underscore = false;
        while (i < text.size() && isFill(text[i])) {
            count += text[i] == ellipsis ? 3 : 1;
            underscore = underscore || text[i] == u'_';
            ++i;
        }
        const std::size_t end = i;
        if (underscore ? count < underscoreRun : count < dotRun) continue;
        if (leadsToPageNumber(text, end)) continue;

        std::u16string caption = clean(text.substr(lineStart, start - lineStart));
        if (UnicodeText::characterCount(caption) <= shortCaption && !previous.empty())
            caption = clean(previous + u" " + caption);
        std::u16string label = labelOf(caption);
        // The cue is sought in the words next to the line only.
        std::u16string_view near = UnicodeText::suffix(label, maxCaptionCharacters);
        if (!signatureCue().search(near)) {
            std::optional<Rect> bounds = page.bounds(start, end);
            if (bounds && bounds->width >= minLineWidth)
                out.push_back({*bounds, UnicodeText::utf8(UnicodeText::suffix(label, labelKept))});
        }
        previous.clear();
        lineStart = end;
    }
    return out;
}

}  // namespace FormReader
