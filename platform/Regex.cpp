#include "platform/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <stdexcept>
#include <string>

static_assert(Regex::caseInsensitive == UREGEX_CASE_INSENSITIVE);
static_assert(Regex::comments == UREGEX_COMMENTS);
static_assert(Regex::dotAll == UREGEX_DOTALL);
static_assert(Regex::multiline == UREGEX_MULTILINE);

namespace {

// Slots of each thread's matcher cache, one per live pattern. A destroyed pattern's slot goes back
// to the pool, so the caches grow with the patterns alive at once, not with every pattern ever
// made. Never destroyed: static patterns give their slot back during static destruction.
struct SlotPool {
    std::mutex mutex;
    std::vector<std::size_t> free;
    std::size_t next = 0;
    std::uint64_t serial = 0;
};

SlotPool& slotPool() {
    static SlotPool* const pool = new SlotPool;
    return *pool;
}

// A thread's matcher for one pattern: a matcher holds search state and cannot be shared. `serial`
// tells which pattern made it, as a slot passes from a destroyed pattern to a new one. The matcher
// reads `input`, a read-only alias of the text searched: between searches both are stale, and the
// next search resets the matcher before it reads anything.
struct CachedMatcher {
    std::uint64_t serial = 0;
    std::unique_ptr<icu::RegexMatcher> matcher;
    icu::UnicodeString input;
};
thread_local std::vector<CachedMatcher> matchers;

}  // namespace

struct Regex::Pattern {
    std::unique_ptr<icu::RegexPattern> compiled;
    std::size_t slot = 0;
    std::uint64_t serial = 0;

    Pattern() {
        SlotPool& pool = slotPool();
        std::lock_guard lock(pool.mutex);
        serial = ++pool.serial;
        if (pool.free.empty()) {
            slot = pool.next++;
        } else {
            slot = pool.free.back();
            pool.free.pop_back();
        }
    }
    ~Pattern() {
        SlotPool& pool = slotPool();
        std::lock_guard lock(pool.mutex);
        pool.free.push_back(slot);
    }
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;
};

Regex Regex::constant(std::string_view pattern, std::uint32_t flags) {
    Regex regex(pattern, flags);
    if (!regex.isValid()) {
        throw std::logic_error("Expresión regular no válida: " + std::string(pattern));
    }
    return regex;
}

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
    if (matchers.size() <= pattern_->slot) matchers.resize(pattern_->slot + 1);
    CachedMatcher& cached = matchers[pattern_->slot];
    UErrorCode status = U_ZERO_ERROR;
    if (!cached.matcher || cached.serial != pattern_->serial) {
        cached.matcher.reset(pattern_->compiled->matcher(status));
        cached.serial = pattern_->serial;
        if (U_FAILURE(status) || !cached.matcher) {
            cached.matcher.reset();
            return false;
        }
    }
    const std::size_t length = std::min<std::size_t>(text.size(), INT32_MAX);
    cached.input.setTo(false, text.data(), static_cast<int32_t>(length));
    cached.matcher->reset(cached.input);
    const bool found = cached.matcher->find(0, status);
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
