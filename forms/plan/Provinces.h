#pragma once
// The Spanish province of a postcode, from its first two digits (01 Álava … 52 Melilla).

#include <optional>
#include <string>
#include <string_view>

namespace Provinces {

// Number of provinces: postcode prefixes 01 to 52.
inline constexpr int count = 52;

// The province whose postcodes begin with the postcode's first two characters. The postcode must
// be exactly five characters long (as the user sees them, nothing trimmed); the first two are read
// as a decimal number (ASCII digits, an optional leading sign) from 1 to 52; the last three are
// not examined. Nothing for anything else.
std::optional<std::string> name(const std::optional<std::string>& forPostcode);

}  // namespace Provinces
