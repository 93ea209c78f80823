#pragma once
// Writes a list of FormFill values into a PDF as ONE incremental update appended to the input
// bytes, so the existing revision stays intact and can still be signed afterwards:
//
//   std::string filled = FormFiller::fill(std::move(pdf), fills);
//
// Text and choice fields get their /V and a new normal appearance (PDFSignerText); check boxes and
// radio buttons get /V and /AS set to their on-state (or /Off), and a button that names no
// on-state gets one with an appearance of it; fills marked `drawn` become new text widgets named
// Tindra1, Tindra2, ... Works on the engine's object model only.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/fill/FormFill.h"
#include "pdf/PDFRef.h"
#include "pages/Geometry.h"

class PDFFile;

struct FormFiller {
    // One widget annotation of a text, choice, check-box or radio field, as collect() finds it.
    struct Widget {
        PDFRef fieldRef;   // the terminal field (holds /V)
        PDFRef widgetRef;  // the annotation (gets /AP); equal to fieldRef for a merged dictionary
        std::string name;  // full field name: the /T texts from the root down, joined by "."
        std::optional<std::int64_t> pageIndex;  // counted from 0; absent when it cannot be told
        Rect rect;                              // the normalised /Rect
        std::int64_t flags = 0;                 // /Ff, own or inherited
        std::int64_t maxLength = 0;             // /MaxLen, own or inherited
        double fontSize = 0;                    // size in /DA; 0 when none or unreadable
        std::int64_t alignment = 0;             // /Q
        // Check boxes and radio buttons: `button` is true and `onState` the first /AP /N key other
        // than Off (absent when the widget has none). A fill gives such a widget a state of its
        // own (`madeState`) with an appearance, so that every button the reader offers can be set.
        bool button = false;
        std::optional<std::string> onState;
        bool madeState = false;
    };

    // The filler's own refusal; what() is the Spanish sentence shown to the user.
    class Failure : public std::runtime_error {
    public:
        enum class Kind { fieldNotFound };
        // "No se encuentra el campo «name» para rellenarlo."
        static Failure fieldNotFound(const std::string& name);
        Kind kind() const { return kind_; }
        const std::string& field() const { return field_; }

    private:
        Failure(Kind kind, const std::string& message, std::string field)
            : std::runtime_error(message), kind_(kind), field_(std::move(field)) {}
        Kind kind_;
        std::string field_;
    };

    // Bounds of the collector against hostile field trees.
    static constexpr int maxDepth = 32;                      // levels below /Fields walked
    static constexpr std::int64_t maxFieldEntries = 100000;  // field entries visited in all
    // An appearance draws at most this many characters of the text (/V keeps all of it).
    static constexpr std::size_t maxDrawnCharacters = 4000;

    // The filled PDF. An empty list returns `pdf` unchanged without opening it. Throws Failure,
    // PDFSigner::Failure (restricted), PDFError and PDFSecurity::Failure; nothing is returned then.
    static std::string fill(std::string pdf, const std::vector<FormFill>& fills);

    // The widgets of the document's interactive form in walk order (the fields in /Fields order,
    // each field's child fields before its own widgets).
    static std::vector<Widget> collect(PDFFile& file);
};
