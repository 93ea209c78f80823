// Page headings and the two shared expressions of the form reader.
#include <unicode/uchar.h>

#include "forms/reader/FormPageText.h"
#include "forms/reader/FormReader.h"
#include "platform/Regex.h"
#include "signing/UnicodeText.h"

namespace FormReader {
namespace {

// A heading has more than this many letters.
constexpr std::size_t minHeadingLetters = 3;
// Share of upper-case letters above which a line is a heading by itself.
constexpr double upperShare = 0.8;
// A short line (a label over a group of fields): words and characters at most.
constexpr std::size_t shortLineWords = 5;
constexpr std::size_t shortLineCharacters = 40;

bool isUpper(UChar32 c) {
    if (u_isUUppercase(c)) return true;
    return u_toupper(c) == c && u_hasBinaryProperty(c, UCHAR_CASED);
}

const std::vector<Regex>& numberings() {
    static const std::vector<Regex> patterns = {
        Regex(R"(^[0-9]{1,2}\s*[.)\-–]+\s*\S)"),
        Regex(R"(^([IVX]{1,4}|[A-H])(\.\s+|\.?[\-–]+\s+|\s+[\-–]+\s*|\.[\-–]+\s*|\)\s*)\S)"),
        Regex(R"(\(\d{1,2}\)$)"),
    };
    return patterns;
}

}  // namespace

const Regex& tickHeader() {
    static const Regex regex(R"(^(s[ií]|no|n\.? ?a\.?|n/a|no aplica|x)$)", Regex::caseInsensitive);
    return regex;
}

const Regex& signatureCue() {
    static const Regex regex(R"(\b(firma|signatura|sinatura|sinadura|signature|sello)\b)",
                             Regex::caseInsensitive);
    return regex;
}

std::optional<FormTitle> title(std::u16string_view line, double y) {
    std::u16string text = clean(line);
    if (UnicodeText::characterCount(text) > maxHeadingCharacters) return std::nullopt;

    std::size_t letters = 0, upper = 0;
    for (std::size_t i = 0; i < text.size();) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        if (!u_isalpha(c)) continue;
        ++letters;
        if (isUpper(c)) ++upper;
    }
    if (letters <= minHeadingLetters) return std::nullopt;

    double share = static_cast<double>(upper) / static_cast<double>(letters);
    bool numbered = false;
    for (const Regex& pattern : numberings()) {
        if (pattern.search(std::u16string_view(text))) {
            numbered = true;
            break;
        }
    }
    bool isShort = FormPageText::wordCount(text) <= shortLineWords &&
                   UnicodeText::characterCount(text) <= shortLineCharacters &&
                   text.find(u':') == std::u16string::npos;
    if (!(share > upperShare) && !numbered && !isShort) return std::nullopt;
    return FormTitle{y, UnicodeText::utf8(text), numbered};
}

std::vector<FormTitle> headings(const FormPageText& page) {
    std::vector<FormTitle> out;
    const std::u16string& text = page.text();
    for (const FormPageText::Line& line : page.lines()) {
        if (!line.bounds) continue;
        std::u16string_view s(text.data() + line.start, line.end - line.start);
        if (std::optional<FormTitle> t = title(s, line.bounds->minY()))
            out.push_back(std::move(*t));
    }
    return out;
}

}  // namespace FormReader
