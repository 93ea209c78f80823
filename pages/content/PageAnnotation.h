#pragma once
// An annotation of a page as the ink map and the placement search see it, read from the PDF.

#include <optional>
#include <string>
#include <vector>

#include "pdf/PDFRef.h"
#include "pages/Geometry.h"

class PDFDictionary;
class PDFObject;
class PDFFile;

struct PageAnnotation {
    std::string subtype;    // /Subtype without the slash; empty when there is none
    std::string fieldType;  // a widget's /FT, inherited from its parent fields; empty otherwise
    Rect rect;              // page space, the normalised /Rect

    bool isSignatureWidget() const { return subtype == "Widget" && fieldType == "Sig"; }

    // The annotations of the page's /Annots in order; those without a /Rect of four numbers are
    // left out.
    static std::vector<PageAnnotation> of(PDFFile& file, PDFRef page);
    // The same from the page's /Annots array, resolved (see annotsOf).
    static std::vector<PageAnnotation> of(PDFFile& file, const PDFObject* annots);
    // The page's resolved /Annots value; nothing when the page has none. Pages may share one.
    static const PDFObject* annotsOf(PDFFile& file, PDFRef page);

    // The normalised rectangle of an array of exactly four numbers (references resolved).
    static std::optional<Rect> rectangle(PDFFile& file, const PDFObject* array);

    // The dictionary and its ancestors along /Parent, nearest first. The walk ends at a dictionary
    // met before (a cycle) and after `maxParentDepth` dictionaries.
    static constexpr int maxParentDepth = 64;
    static std::vector<const PDFDictionary*> parentChain(PDFFile& file,
                                                         const PDFDictionary* dictionary);
};
