#include "forms/labels/LabelPattern.h"

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "profile/UnicodeText.h"

namespace {

std::atomic<std::size_t> nextSlot{0};

// One matcher per pattern and thread: a matcher holds search state and cannot be shared.
thread_local std::vector<std::unique_ptr<icu::RegexMatcher>> matchers;

}  // namespace

LabelPattern::LabelPattern(std::string_view source) : slot_(nextSlot++) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    pattern_.reset(
        icu::RegexPattern::compile(UnicodeText::fromUtf8(source), 0, parseError, status));
    // The patterns are constants of the code: one that does not compile is a programming error.
    if (U_FAILURE(status) || !pattern_) {
        throw std::logic_error("Expresión regular no válida: " + std::string(source));
    }
}

LabelPattern::~LabelPattern() = default;

bool LabelPattern::search(const icu::UnicodeString& text) const {
    if (!pattern_) return false;
    if (matchers.size() <= slot_) matchers.resize(slot_ + 1);
    std::unique_ptr<icu::RegexMatcher>& matcher = matchers[slot_];
    UErrorCode status = U_ZERO_ERROR;
    if (!matcher) {
        matcher.reset(pattern_->matcher(status));
        if (U_FAILURE(status)) {
            matcher.reset();
            return false;
        }
    }
    matcher->reset(text);
    const bool found = matcher->find(0, status);
    // The matcher keeps a reference to its input: leave it on text that outlives the call.
    static const icu::UnicodeString nothing;
    matcher->reset(nothing);
    return U_SUCCESS(status) && found;
}

bool LabelPattern::search(std::string_view utf8) const {
    return search(UnicodeText::fromUtf8(utf8));
}
