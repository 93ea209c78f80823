#pragma once
// The text-cue search of SignatureLocator: signature words ("Fdo.:", "Firma del solicitante")
// and role lines ("EL INTERESADO") in a page's text, a blank box beside each one found in the
// page's ink map, and the placement made from it. Used by SignatureLocator::placements; its parts
// are declared here so that they can be exercised on synthetic pages.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "pages/InkMap.h"
#include "signing/SignaturePlacement.h"

namespace SignatureCues {

// A range of UTF-16 code units of the page text.
struct TextRange {
    std::size_t location = 0;
    std::size_t length = 0;
    std::size_t end() const { return location + length; }
};

enum class Pattern { cue, role, otherParty };

// The starts and ends of every match of one of the three patterns over the whole text.
std::vector<TextRange> matches(Pattern pattern, std::u16string_view text);

// Whether the text holds a cue or a role word at all (a page without one gives no placement and
// needs no ink map).
bool hasAnchorWords(std::u16string_view text);
// A quicker and looser test, blind to what separates words: false only when no cue or role word
// can be in the text.
bool mayHaveAnchorWords(std::u16string_view text);

// The line holding position q, without leading and trailing blanks (an empty range at the line's
// end when it holds only blanks).
TextRange fullLine(std::u16string_view text, std::size_t q);

// Whether a lowercased cue word introduces the signer's name ("fdo.", "asdo", "firmado",
// "signed"), as opposed to naming the signature ("firma", "signature").
bool isNameCue(std::u16string_view keyword);

// Whether the match starting at q begins its line or follows two or more blanks.
bool standsAlone(std::u16string_view text, std::size_t q);

// Quote of an anchor's text in a label: up to 40 characters as they are, else 39 characters and an
// ellipsis, cut at the end or, when the keyword lies in the second half, at the start.
std::u16string quote(std::u16string_view text, std::u16string_view keyword);

// One page as the cue search sees it.
struct CuePage {
    int pageIndex = 0;
    DisplaySpace space;
    const PageText* text = nullptr;
    std::vector<Rect> signatureWidgets;  // display space
    // Builds the page's ink map (faint false); called only when the page has an anchor.
    std::function<std::optional<InkMap>()> inkMap;
    // When set, used instead of inkMap: the page's ink map kept by the caller (who may then ask
    // it whether doubt decided an answer), or nothing.
    std::function<const InkMap*()> keptInk;
};

// The cue placements of one page, in entry order, merged where their boxes overlap by more than
// half.
std::vector<SignaturePlacement> placements(const CuePage& page);

}  // namespace SignatureCues
