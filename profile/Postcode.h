#pragma once
// A line that starts with a Spanish postcode: "28013 Madrid".

#include <optional>
#include <string>
#include <string_view>

struct Postcode {
    std::string code;  // five digits, province 01 to 52
    std::string town;  // may be empty

    static std::optional<Postcode> from(std::string_view line);

    // The town written after a postcode, on its own line or at the end of an address: edges of
    // blanks, commas and hyphens trimmed, a bracketed province dropped, a bracketed article kept.
    static std::string townOf(std::string_view text);
};
