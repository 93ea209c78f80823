// Pattern matching, the main owner of a text and its lines.
#include "profile/Identity.h"
#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"
#include "platform/Regex.h"

#include <unicode/uchar.h>

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace ProfileParser {

namespace {

// Work limit of one search, in ICU's match-engine time units (about a millisecond each). Pasted
// text is a few kilobytes; the limit only stops pathological backtracking on hostile input, which
// then gives the matches found so far.
constexpr int32_t kSearchTimeLimit = 2000;
// Compiled patterns kept for reuse. The recognisers run a few dozen fixed patterns on every line,
// and compiling them anew would cost far more than the searches; patterns beyond this many are
// compiled for one call only.
constexpr std::size_t kCachedPatterns = 256;

// The compiled pattern (one that does not compile matches nothing). A compiled pattern is
// immutable and may search on several threads at once.
std::shared_ptr<const Regex> compiled(std::string_view pattern, uint32_t options) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, uint32_t>, std::shared_ptr<const Regex>, std::less<>> cache;
    std::pair<std::string, uint32_t> key(pattern, options);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (auto it = cache.find(key); it != cache.end()) return it->second;
    }
    auto made = std::make_shared<const Regex>(pattern, options);
    std::lock_guard<std::mutex> lock(mutex);
    if (cache.size() < kCachedPatterns) cache.emplace(std::move(key), made);
    return made;
}

}  // namespace

std::vector<Match> matches(std::string_view pattern, std::string_view text, uint32_t options) {
    std::vector<Match> result;
    const std::shared_ptr<const Regex> regex = compiled(pattern, options);
    if (!regex->isValid()) return result;

    const icu::UnicodeString subject = UnicodeText::fromUtf8(text);
    const std::u16string_view units(subject.getBuffer(), static_cast<std::size_t>(subject.length()));
    UnicodeText::GraphemeBounds bounds(subject);
    auto piece = [&](const Regex::Range& r) {
        return UnicodeText::toUtf8(icu::UnicodeString(subject, static_cast<int32_t>(r.start),
                                                      static_cast<int32_t>(r.end - r.start)));
    };
    for (const Regex::Match& found : regex->matches(units, SIZE_MAX, kSearchTimeLimit)) {
        const int32_t start = static_cast<int32_t>(found.range.start);
        const int32_t end = static_cast<int32_t>(found.range.end);
        if (!bounds.isBoundary(start) || !bounds.isBoundary(end)) continue;
        Match match;
        match.range = {found.range.start, found.range.end};
        match.whole = piece(found.range);
        match.groups.reserve(found.groups.size());
        for (const std::optional<Regex::Range>& group : found.groups)
            match.groups.push_back(group ? piece(*group) : std::string());
        result.push_back(std::move(match));
    }
    return result;
}

ProfileFact::Owner mainOwner(std::string_view text) {
    for (const Match& m : matches(R"re(\b[A-HJNP-SUVW][-\s]?\d{7}[-\s]?[0-9A-J]\b)re", text)) {
        std::string kept = UnicodeText::filtered(m.whole, [](UChar32 c) { return u_isalnum(c) != 0; });
        if (Identity::isCIF(kept)) return ProfileFact::Owner::company;
    }
    return ProfileFact::Owner::person;
}

std::vector<Line> lines(std::string_view text) {
    std::vector<Line> result;
    const icu::UnicodeString s = UnicodeText::fromUtf8(text);
    const int32_t length = s.length();
    int32_t start = 0;
    int32_t i = 0;
    while (i < length) {
        UChar c = s.charAt(i);
        if (!UnicodeText::isLineEnd(c)) {
            ++i;
            continue;
        }
        result.push_back({UnicodeText::toUtf8(icu::UnicodeString(s, start, i - start)),
                          {static_cast<std::size_t>(start), static_cast<std::size_t>(i)}});
        i += (c == 0x0D && i + 1 < length && s.charAt(i + 1) == 0x0A) ? 2 : 1;
        start = i;
    }
    if (start < length) {
        result.push_back({UnicodeText::toUtf8(icu::UnicodeString(s, start, length - start)),
                          {static_cast<std::size_t>(start), static_cast<std::size_t>(length)}});
    }
    return result;
}

}  // namespace ProfileParser
