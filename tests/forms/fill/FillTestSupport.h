#pragma once
// Reading a filled document back with the engine.

#include <optional>
#include <string>

#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFSerializer.h"

namespace filltest {

// The object as the engine reads it from the newest revision, serialised ("" when missing).
inline std::string objectText(const std::string& pdf, std::int64_t number) {
    PDFFile file(pdf);
    const PDFObject* object = file.object(PDFRef{number, 0});
    return object ? PDFSerializer::data(*object) : std::string();
}

struct Appearance {
    PDFDictionary dictionary;  // of the form XObject
    std::string content;       // decoded
};

// The widget's normal appearance stream.
inline std::optional<Appearance> appearanceOf(const std::string& pdf, std::int64_t widget) {
    PDFFile file(pdf);
    const PDFDictionary* annotation = file.dictionary(file.object(PDFRef{widget, 0}));
    const PDFDictionary* ap = annotation ? file.dictionary(annotation->get("AP")) : nullptr;
    const PDFObject* normal = ap ? file.resolve(ap->get("N")) : nullptr;
    if (!normal || !normal->stream()) return std::nullopt;
    return Appearance{normal->stream()->dictionary,
                      PDFFilters::decode(normal->stream()->data, normal->stream()->dictionary)};
}

}  // namespace filltest
