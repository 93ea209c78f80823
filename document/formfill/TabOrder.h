#pragma once
// The order in which Tab moves the inline editor between the form's fields: page by page, rows
// from the top of the page down (bands 8 pt high), left to right inside a row. Only units edited
// in place take part (no check boxes, nothing read-only), each by its first field. No wrap at
// either end. No Qt.

#include <optional>
#include <vector>

#include "forms/reader/FormUnit.h"

namespace TabOrder {

// Height of a row band in points: two fields whose vertical centres fall into one band are one
// row.
constexpr double bandHeight = 8;

// The band of a vertical centre (page space, y up): centre ÷ 8 rounded, halves away from zero.
long band(double centreY);

// The ids of the candidates (first fields of the editable units), sorted.
std::vector<int> order(const std::vector<FormUnit>& units);

// The candidate after (forward) or before the unit holding `id`; nothing at either end, for an
// unknown id and for a unit that is not edited in place.
std::optional<int> next(const std::vector<FormUnit>& units, int id, bool forward);

}  // namespace TabOrder
