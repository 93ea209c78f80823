#pragma once
// How the inline editor's text and a tick land in form fields: one trimmed value for a single
// field, one character per box for a row of boxes, and the other ticks of a yes/no row that a
// tick takes out. No Qt.

#include <string>
#include <string_view>
#include <vector>

#include "forms/reader/FormField.h"
#include "pages/Geometry.h"

namespace FieldWriting {

// Two tick boxes of one page whose vertical centres are closer than this are one row.
constexpr double tickRowTolerance = 3.0;

// The text without blanks and tabs at its ends (line breaks stay).
std::string trimBlanks(std::string_view text);

// The values for `boxes` fields: for fewer than two, the trimmed text alone; for a row of boxes,
// one user-perceived character per box after every white space is removed (line breaks too),
// the empty value for boxes left over, characters beyond the last box dropped.
std::vector<std::string> spread(std::string_view text, std::size_t boxes);

// The other tick fields, in field order, of the page of `field` whose vertical centres differ
// from its centre by less than tickRowTolerance.
std::vector<int> rowTicks(const std::vector<FormField>& fields, const FormField& field);

// The smallest rectangle holding both.
Rect united(const Rect& a, const Rect& b);

}  // namespace FieldWriting
