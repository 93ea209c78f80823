#include "platform/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <climits>

static_assert(Regex::caseInsensitive == UREGEX_CASE_INSENSITIVE);
static_assert(Regex::comments == UREGEX_COMMENTS);
static_assert(Regex::dotAll == UREGEX_DOTALL);
static_assert(Regex::multiline == UREGEX_MULTILINE);

struct Regex::Pattern {
    std::unique_ptr<icu::RegexPattern> compiled;
};

Regex::Regex(std::string_view pattern, std::uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(source, flags, parseError, status));
    if (U_SUCCESS(status) && compiled) {
        auto made = std::make_shared<Pattern>();
        made->compiled = std::move(compiled);
        pattern_ = std::move(made);
    }
}

namespace {

// A read-only alias of the text (no copy); ICU texts are at most INT32_MAX units, longer ones are
// searched over their first INT32_MAX units.
icu::UnicodeString alias(std::u16string_view text) {
    std::size_t length = std::min<std::size_t>(text.size(), INT32_MAX);
    return icu::UnicodeString(false, text.data(), static_cast<int32_t>(length));
}

}  // namespace

bool Regex::search(std::u16string_view text) const {
    if (!pattern_) return false;
    icu::UnicodeString s = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->compiled->matcher(s, status));
    if (U_FAILURE(status) || !matcher) return false;
    bool found = matcher->find(status);
    return found && U_SUCCESS(status);
}

bool Regex::search(std::string_view utf8) const {
    if (!pattern_) return false;
    const icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(
        utf8.data(), static_cast<int32_t>(std::min<std::size_t>(utf8.size(), INT32_MAX))));
    return search(std::u16string_view(s.getBuffer(), static_cast<std::size_t>(s.length())));
}

std::vector<Regex::Match> Regex::matches(std::u16string_view text, std::size_t limit,
                                         std::int32_t timeLimit) const {
    std::vector<Match> out;
    if (!pattern_ || limit == 0) return out;
    icu::UnicodeString s = alias(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->compiled->matcher(s, status));
    if (U_FAILURE(status) || !matcher) return out;
    if (timeLimit > 0) {
        matcher->setTimeLimit(timeLimit, status);
        status = U_ZERO_ERROR;
    }
    const int32_t groupCount = matcher->groupCount();
    while (out.size() < limit && matcher->find(status) && U_SUCCESS(status)) {
        int32_t start = matcher->start(status);
        int32_t end = matcher->end(status);
        if (U_FAILURE(status) || start < 0 || end < start) break;
        Match match;
        match.range = {static_cast<std::size_t>(start), static_cast<std::size_t>(end)};
        match.groups.reserve(static_cast<std::size_t>(groupCount));
        for (int32_t g = 1; g <= groupCount; ++g) {
            int32_t gs = matcher->start(g, status);
            int32_t ge = matcher->end(g, status);
            if (U_FAILURE(status) || gs < 0 || ge < gs) {
                status = U_ZERO_ERROR;
                match.groups.emplace_back();
            } else {
                match.groups.push_back(
                    Range{static_cast<std::size_t>(gs), static_cast<std::size_t>(ge)});
            }
        }
        out.push_back(std::move(match));
    }
    return out;
}
