#include "forms/plan/PlanText.h"

#include "profile/UnicodeText.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace PlanText {

namespace {

bool isLetterOrDigit(UChar32 c) {
    return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_N_MASK)) != 0;
}

// Digits kept after leading zeros: enough for any month or postcode prefix, and far from overflow.
constexpr std::size_t maxSignificantDigits = 9;

}  // namespace

std::vector<std::string> lettersAndDigits(std::string_view text) {
    return UnicodeText::graphemes(UnicodeText::filtered(text, isLetterOrDigit));
}

std::vector<std::string> characters(std::string_view text) { return UnicodeText::graphemes(text); }

std::string join(const std::vector<std::string>& characters, std::size_t from, std::size_t to) {
    std::string out;
    to = std::min(to, characters.size());
    for (std::size_t i = from; i < to; ++i) out += characters[i];
    return out;
}

std::string upper(std::string_view text) {
    icu::UnicodeString s = UnicodeText::fromUtf8(text);
    s.toUpper(icu::Locale::getRoot());
    return UnicodeText::toUtf8(s);
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool wholeNumber(std::string_view text, long& value) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    long n = 0;
    std::size_t significant = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (n == 0 && c == '0') continue;
        if (++significant > maxSignificantDigits) return false;
        n = n * 10 + (c - '0');
    }
    value = negative ? -n : n;
    return true;
}

}  // namespace PlanText
