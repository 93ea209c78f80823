#pragma once
// A regular expression of the labellers (ICU syntax: look-behind, Unicode word boundaries),
// compiled once and searched with a matcher that each thread keeps and reuses.

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <string_view>

class LabelPattern {
public:
    // `source` is UTF-8. Searches are case-sensitive: the texts are folded beforehand. Throws
    // std::logic_error when the pattern does not compile.
    explicit LabelPattern(std::string_view source);
    ~LabelPattern();
    LabelPattern(const LabelPattern&) = delete;
    LabelPattern& operator=(const LabelPattern&) = delete;

    // A match anywhere in the text (unless the pattern is anchored).
    bool search(const icu::UnicodeString& text) const;
    bool search(std::string_view utf8) const;

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
    std::size_t slot_;  // this pattern's matcher in each thread's cache
};
