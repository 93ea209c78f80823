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
// appear, compared without case, accents, blanks or punctuation, as whole words or as the words of
// a joined name ("nombreAnaMaria"); a value of several words also inside any word. A saved street
// is also found with its type abbreviated ("C/ Mayor 12" for "Calle Mayor 12", "Avda.", "Pza.",
// "P.º"…), and a saved identity number as its digits alone ("DNI 87654321"), masked "[NIF]";
// other numbers of eight digits stay.
//
// Texts are compared in one normal form: compatibility forms composed (NFKC: full-width letters and
// digits), the decimal digits of every script as ASCII digits, format characters (zero-width
// spaces) and no-break spaces as blanks, every dash and minus sign as "-", and a letter of another
// script drawn like a Latin one (Cyrillic "А", "Х") as that Latin letter. Shapes are also found at
// the joints of a joined name ("nif87654321XTitular"). An account without its country code is
// masked with its 20 digits and right control digits, or as four groups of four digits or more
// opening a text (what a caption cut short at its left leaves of one); digits grouped in an unusual
// way ("8765 4321X") make a NIF only with its right letter. An IBAN's country code may stand apart
// from its check digits ("ES 91 2100 …"); an e-mail address may spell out its at sign and dots
// ("ana (arroba) correo.es", "ana[at]correo[dot]es").
//
// The words that describe a form stay: "NIF", "IBAN", "Teléfono", dates, amounts ("1.234,56 €"),
// form codes ("Modelo 030"), article numbers, postcodes, rows of box numbers ("Casillas 612 613
// 614"). A saved word that is also a word of the language ("Blanco", "Campos", "Mayor") is masked
// only where it is written as a name: with a capital not at the start of a sentence, or beside
// another part of the same person's name. A text with nothing to mask comes back byte for byte as
// it was.

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
    struct Value {
        std::u32string letters;  // folded: lower case, no accents, letters and digits only
        bool joined = false;     // of several words: found inside a word too
        bool common = false;     // one word that is also a word of the language
        std::vector<std::size_t> owners;  // whose value it is (one person's name parts share one)
        // Found only where the text starts with this, folded, punctuation included (the
        // abbreviation of a street type: "c/", "avda.").
        std::u32string lead;
        // An identity number without its check letter: found only as a number of its own, and
        // masked as one.
        bool number = false;
    };

    // A value of `words` words, folded to `letters`.
    void add(std::u32string letters, std::size_t words, std::size_t owner, std::u32string lead = {},
             bool number = false);
    // The value, and the same with every usual writing of the street type it starts with.
    void addStreet(const std::string& value, std::size_t owner);
    // The digits of an identity number (with the letter of a NIE), without its check letter.
    void addIdentity(const std::string& value, std::size_t owner);
    std::string maskValues(std::string_view text) const;

    // Longest first.
    std::vector<Value> values_;
};
