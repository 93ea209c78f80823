#pragma once
// How many glyphs a page shows, counted from its content streams before the page's text is asked
// of the text engine. Poppler's text layout takes time that grows with the square of the glyphs
// piled on one spot (50,000 such glyphs take half a minute, a million would take hours), so a
// page showing more glyphs than any real form is read without its text.

#include <cstddef>

#include "pdf/PDFRef.h"

class PDFFile;

namespace PageGlyphs {

// Glyphs a page may show and still have its text read. A dense page of small print shows about
// 15,000; piled on one spot, 30,000 glyphs still take the text engine only seconds.
constexpr std::size_t maxGlyphs = 30'000;

// The bytes of the strings the page's content streams show, with the Form XObjects they draw
// (each time they are drawn) and the appearance streams of its annotations; counting stops past
// `limit`. Streams that cannot be decoded count nothing.
std::size_t count(PDFFile& file, PDFRef page, std::size_t limit = maxGlyphs);

// The page's text may be asked of the text engine.
bool readable(PDFFile& file, PDFRef page);

}  // namespace PageGlyphs
