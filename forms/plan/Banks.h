#pragma once
// The name of a Spanish bank from the bank code inside an IBAN (its characters 5 to 8).

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Banks {

// Four-digit bank code to the bank's name (24 codes; one name may serve several). Built once, on
// first use, and read-only afterwards.
const std::map<std::string, std::string>& names();

// The bank of an IBAN as typed or saved: its letters and digits, upper-cased, must begin with "ES"
// and be 24 characters long; the check digits are not tested. Nothing when the code is unknown.
std::optional<std::string> name(std::string_view forIBAN);

}  // namespace Banks
