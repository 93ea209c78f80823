#pragma once
// Checks and display forms of Spanish identifiers and telephone numbers.

#include <string>
#include <string_view>

namespace Identity {

// A CIF: a letter of "ABCDEFGHJNPQRSUVW", seven digits and the control digit or letter.
bool isCIF(std::string_view candidate);
// A DNI (eight digits and the letter) or an NIE (X, Y or Z, seven digits and the letter).
bool isDNI(std::string_view candidate);
// The ISO 13616 mod-97 check; 15 to 34 characters, blanks already removed.
bool isIBAN(std::string_view candidate);
// The text in blocks of four characters joined by single blanks.
std::string grouped(std::string_view text);
// The last nine characters as three groups of three: "912 345 678".
std::string phone(std::string_view digits);

}  // namespace Identity
