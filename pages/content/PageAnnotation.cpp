#include "pages/content/PageAnnotation.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "pdf/PDFFile.h"

std::optional<Rect> PageAnnotation::rectangle(PDFFile& file, const PDFObject* value) {
    const PDFObject* resolved = file.resolve(value);
    const std::vector<PDFObject>* array = resolved ? resolved->array() : nullptr;
    if (!array || array->size() != 4) return std::nullopt;
    double v[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const PDFObject* element = file.resolve(&(*array)[i]);
        std::optional<double> number = element ? element->number() : std::nullopt;
        if (!number || !std::isfinite(*number)) return std::nullopt;
        v[i] = *number;
    }
    return Rect{std::min(v[0], v[2]), std::min(v[1], v[3]), std::abs(v[2] - v[0]),
                std::abs(v[3] - v[1])};
}

std::vector<const PDFDictionary*> PageAnnotation::parentChain(PDFFile& file,
                                                              const PDFDictionary* dictionary) {
    std::vector<const PDFDictionary*> chain;
    std::unordered_set<const PDFDictionary*> seen;
    while (dictionary && static_cast<int>(chain.size()) < maxParentDepth &&
           seen.insert(dictionary).second) {
        chain.push_back(dictionary);
        dictionary = file.dictionary(dictionary->get("Parent"));
    }
    return chain;
}

const PDFObject* PageAnnotation::annotsOf(PDFFile& file, PDFRef page) {
    const PDFDictionary* pageDictionary = file.dictionary(file.object(page));
    return pageDictionary ? file.resolve(pageDictionary->get("Annots")) : nullptr;
}

std::vector<PageAnnotation> PageAnnotation::of(PDFFile& file, PDFRef page) {
    return of(file, annotsOf(file, page));
}

std::vector<PageAnnotation> PageAnnotation::of(PDFFile& file, const PDFObject* annots) {
    std::vector<PageAnnotation> out;
    const std::vector<PDFObject>* list = annots ? annots->array() : nullptr;
    if (!list) return out;
    for (const PDFObject& element : *list) {
        const PDFDictionary* annotation = file.dictionary(&element);
        if (!annotation) continue;
        std::optional<Rect> rect = rectangle(file, annotation->get("Rect"));
        if (!rect) continue;
        PageAnnotation a;
        a.rect = *rect;
        const PDFObject* subtype = file.resolve(annotation->get("Subtype"));
        if (subtype && subtype->name()) a.subtype = *subtype->name();
        if (a.subtype == "Widget") {
            for (const PDFDictionary* d : parentChain(file, annotation)) {
                const PDFObject* type = file.resolve(d->get("FT"));
                if (type && type->name()) {
                    a.fieldType = *type->name();
                    break;
                }
            }
        }
        out.push_back(std::move(a));
    }
    return out;
}
