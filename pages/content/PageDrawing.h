#pragma once
// What a page draws, read from its content streams without rendering it: the rules, frames and
// filled rectangles of its paths as ink shapes for InkMap::make, so that the cells of a flat form
// are found without drawing the page. What the content cannot tell exactly is doubtful (curves,
// slanted lines, dashed strokes, shapes under a clip that is no rectangle) or strict (pictures,
// shadings, colours of patterns or separations), and the glyphs of the page's text are doubtful
// within their boxes (strict where the glyph may draw a rule or a box, or the page's fonts draw
// pictograms or glyphs of their own).

#include <optional>
#include <vector>

#include "pdf/PDFRef.h"
#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "pages/InkMap.h"

class PDFFile;

namespace PageDrawing {

// Operators interpreted on one page, Form XObjects included; a page with more is left to the
// rendering.
constexpr std::size_t maxOperators = 1'000'000;

// The ink shapes of the page in display space, its glyphs taken from `text`; nothing when its
// content cannot be followed (too many operators or shapes, streams that cannot be decoded).
std::optional<std::vector<InkMap::Shape>> shapes(PDFFile& file, PDFRef page,
                                                 const DisplaySpace& space, const PageText& text);

// Whether a character's glyph may draw a rule or the border of a box: rules, box drawing,
// blocks, geometric shapes, ballot boxes, dingbat boxes, and the private use area where fonts of
// pictograms put theirs.
bool drawsBorders(char16_t c);

}  // namespace PageDrawing
