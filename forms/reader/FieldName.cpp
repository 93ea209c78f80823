#include "forms/reader/FieldName.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "pdf/PDFFile.h"

namespace FieldName {

std::optional<std::string> fullName(PDFFile& file, const PDFDictionary* widget) {
    if (!widget) return std::nullopt;
    std::vector<std::string> pieces;  // nearest first
    std::unordered_set<const PDFDictionary*> seen;
    std::size_t bytes = 0;
    int depth = 0;
    for (const PDFDictionary* node = widget; node && seen.insert(node).second;
         node = file.dictionary(node->get("Parent"))) {
        if (++depth > maxDepth) return std::nullopt;
        const PDFObject* t = file.resolve(node->get("T"));
        std::optional<std::string> text = t ? t->text() : std::nullopt;
        if (!text) continue;
        bytes += text->size() + (pieces.empty() ? 0 : 1);
        if (bytes > maxBytes) return std::nullopt;
        pieces.push_back(std::move(*text));
    }
    std::string name;
    name.reserve(bytes);
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it != pieces.rbegin()) name += '.';
        name += *it;
    }
    return name;
}

std::optional<std::string> fullName(PDFFile& file, PDFRef widget) {
    return fullName(file, file.dictionary(file.object(widget)));
}

}  // namespace FieldName
