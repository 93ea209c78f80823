#include "document/formfill/FieldWriting.h"

#include <algorithm>
#include <cmath>

#include "profile/UnicodeText.h"

namespace FieldWriting {

std::string trimBlanks(std::string_view text) { return UnicodeText::trimBlanks(text); }

std::vector<std::string> spread(std::string_view text, std::size_t boxes) {
    const std::string trimmed = trimBlanks(text);
    if (boxes < 2) return {trimmed};
    const std::string solid =
        UnicodeText::filtered(trimmed, [](UChar32 c) { return !UnicodeText::isWhitespaceOrNewline(c); });
    std::vector<std::string> characters = UnicodeText::graphemes(solid);
    characters.resize(boxes);
    return characters;
}

std::vector<int> rowTicks(const std::vector<FormField>& fields, const FormField& field) {
    std::vector<int> ids;
    for (const FormField& other : fields) {
        if (other.id == field.id || !other.isTick() || other.pageIndex != field.pageIndex) continue;
        if (std::abs(other.rect.midY() - field.rect.midY()) < tickRowTolerance) ids.push_back(other.id);
    }
    return ids;
}

Rect united(const Rect& a, const Rect& b) {
    const double x = std::min(a.minX(), b.minX());
    const double y = std::min(a.minY(), b.minY());
    return {x, y, std::max(a.maxX(), b.maxX()) - x, std::max(a.maxY(), b.maxY()) - y};
}

}  // namespace FieldWriting
