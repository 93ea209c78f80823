#pragma once
// The short caption that names a form field in the suggestions review and the field editor: the
// nearest printed text to its left, the text above it, its headings or tool tip, or a name the
// label gives, with the page for fields after the first page; at most 48 characters (grapheme
// clusters), cut at the beginning so that the page stays. No Qt.

#include <optional>
#include <string>
#include <string_view>

#include "forms/plan/FillItem.h"

namespace FieldCaption {

// Longest caption, in user-perceived characters.
constexpr std::size_t maxCharacters = 48;
// A text of this many characters or fewer is too short to name a field.
constexpr std::size_t shortText = 3;

// Fill lines ("____", "....", "……") and runs of white space become one blank; blanks, colons,
// hyphens and tabs are trimmed from both ends.
std::string tidy(std::string_view text);

// The caption a label names ("firma.dia" → "Día de la firma"); nothing for other labels.
std::optional<std::string> named(std::string_view label);

// The caption of the item's field.
std::string caption(const FillItem& item);

// The last `count` user-perceived characters of the text.
std::string lastCharacters(std::string_view text, std::size_t count);

}  // namespace FieldCaption
