#pragma once
// ICU regular expressions for the engines: a pattern compiled once and then only read, so that
// one Regex may search on several threads at once. search() reuses a matcher that each thread keeps
// for the pattern (hot loops search many short texts); matches() makes its own.
//
//   static const Regex cue(R"(\b(firma|sello)\b)", Regex::caseInsensitive);
//   if (cue.search(u"Firma del solicitante")) ...
//
// ICU's syntax (look-behind, \p{L}, Unicode \b, case-insensitive accents); positions are UTF-16
// offsets. A pattern that does not compile gives a Regex that matches nothing (isValid() false).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Regex {
public:
    // Flags, with ICU's values (URegexpFlag).
    static constexpr std::uint32_t caseInsensitive = 2;
    static constexpr std::uint32_t comments = 4;
    static constexpr std::uint32_t dotAll = 32;
    static constexpr std::uint32_t multiline = 8;

    // A range of UTF-16 offsets, end exclusive.
    struct Range {
        std::size_t start = 0;
        std::size_t end = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };
    struct Match {
        Range range;
        std::vector<std::optional<Range>> groups;  // groups 1…n; nothing when a group took no part
    };

    Regex() = default;  // matches nothing
    explicit Regex(std::string_view pattern, std::uint32_t flags = 0);

    // For patterns that are constants of the code: one that does not compile is a programming
    // error, so this throws std::logic_error instead of giving a Regex that matches nothing.
    static Regex constant(std::string_view pattern, std::uint32_t flags = 0);

    bool isValid() const { return pattern_ != nullptr; }

    // Whether the pattern matches somewhere in the text.
    bool search(std::u16string_view text) const;
    bool search(std::string_view utf8) const;

    // The matches over the whole text, in order, at most `limit` of them. `timeLimit` bounds one
    // search in ICU's match-engine steps (about a millisecond each; 0: none): a pathological
    // backtrack then ends the search with the matches found so far.
    std::vector<Match> matches(std::u16string_view text, std::size_t limit = SIZE_MAX,
                               std::int32_t timeLimit = 0) const;

private:
    struct Pattern;
    std::shared_ptr<const Pattern> pattern_;
};
