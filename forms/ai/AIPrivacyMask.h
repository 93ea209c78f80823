#pragma once
// What goes to the AI service is the form's structure, not the user's data: every text of a
// request passes through this mask first. Tokens shaped like personal data become short
// placeholders that keep the sentence readable:
//   a NIF, NIE or CIF (check character valid or not; blanks, dots or dashes inside) -> "[NIF]"
//   an IBAN of any country, grouped or not                                           -> "[IBAN]"
//   a Spanish phone number (9 digits from 6 to 9, with or without +34 or 0034)       -> "[teléfono]"
//   an e-mail address                                                                 -> "[correo]"
//   a payment card number (grouped by four, or 13 to 19 digits passing the Luhn test) -> "[tarjeta]"
// and, when the mask is made with the user's saved facts, the values of those facts (names and
// surnames, addresses, company names, identity numbers and contacts) become "[dato]" wherever they
// appear, compared without case, accents, blanks or punctuation, as whole words.
//
// The words that describe a form stay: "NIF", "IBAN", "Teléfono", dates, amounts ("1.234,56 €"),
// form codes ("Modelo 030"), article numbers, postcodes. A text with nothing to mask comes back
// byte for byte as it was.

#include <string>
#include <string_view>
#include <vector>

#include "profile/SavedFact.h"

class AIPrivacyMask {
public:
    static constexpr std::string_view nif = "[NIF]";
    static constexpr std::string_view iban = "[IBAN]";
    static constexpr std::string_view phone = "[teléfono]";
    static constexpr std::string_view email = "[correo]";
    static constexpr std::string_view card = "[tarjeta]";
    static constexpr std::string_view datum = "[dato]";

    // The shapes alone.
    AIPrivacyMask() = default;
    // The shapes and the values of these facts.
    explicit AIPrivacyMask(const std::vector<SavedFact>& facts);

    // The text with its personal data masked.
    std::string operator()(std::string_view text) const;

    // The text with the shaped tokens masked (no saved values).
    static std::string shapes(std::string_view text);

    // How many values of saved facts this mask looks for.
    std::size_t valueCount() const { return values_.size(); }

private:
    void add(std::string_view value);
    std::string maskValues(std::string_view text) const;

    // Folded values (lower case, no accents, letters and digits only), longest first.
    std::vector<std::u32string> values_;
};
