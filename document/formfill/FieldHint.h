#pragma once
// The line under the field editor's caption that says where a value comes from, or why there is
// none: the group of the field's label («Tu domicilio») and the value's source («De Mis datos»),
// or a word on who should write it. No Qt.

#include <optional>
#include <string>
#include <string_view>

#include "forms/plan/FillItem.h"

namespace FieldHint {

// The label's who-part: its first piece between full stops that is not empty; nothing without a
// label.
std::optional<std::string> whoPart(const FillItem& item);

// The group a who-part names ("domicilio" → "Tu domicilio"); nothing for other who-parts.
std::optional<std::string> group(std::string_view who);

// The hint for the item.
std::string hint(const FillItem& item);

}  // namespace FieldHint
