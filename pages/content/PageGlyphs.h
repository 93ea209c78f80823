#pragma once
// How many glyphs a page shows, counted from its content streams before the page's text is asked
// of the text engine. Poppler's text layout takes time that grows with the square of the glyphs
// piled on one spot (50,000 such glyphs take half a minute, a million would take hours), so a
// page showing more glyphs than any real form is read without its text.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdf/PDFRef.h"

class PDFFile;

namespace PageGlyphs {

// Glyphs a page may show and still have its text read. A dense page of small print shows about
// 15,000; piled on one spot, 30,000 glyphs still take the text engine only seconds.
constexpr std::size_t maxGlyphs = 30'000;

// What reading a page costs: the glyphs it shows, the path segments it draws and the content
// bytes decoded to count them; and what else it draws: images, shadings, glyphs of Type 3
// fonts, and streams or fonts that cannot be read (each counts one). A page without paths and
// pictures shows nothing but the glyphs of its text. `symbols` counts the selections of fonts of
// pictograms (dingbats), whose letters may be drawn as boxes or ticks.
struct Work {
    std::size_t glyphs = 0;
    std::size_t paths = 0;
    std::size_t bytes = 0;
    std::size_t pictures = 0;
    std::size_t symbols = 0;
};

// The bytes of the strings the page's content streams show, with the Form XObjects they draw
// (each time they are drawn) and the appearance streams of its annotations, and their path
// construction operators (m, l, c, v, y, h, re); counting stops past `glyphLimit` glyphs or
// `pathLimit` paths. Streams that cannot be decoded count nothing but their encoded bytes.
Work measure(PDFFile& file, PDFRef page, std::size_t glyphLimit = maxGlyphs,
             std::size_t pathLimit = SIZE_MAX);

// The glyphs of measure, counting stopped past `limit`.
std::size_t count(PDFFile& file, PDFRef page, std::size_t limit = maxGlyphs);

// Whether a font's /BaseFont names a font of pictograms (dingbats), whose letters may be drawn as
// boxes or ticks.
bool isSymbolFont(std::string_view name);

// The page's text may be asked of the text engine.
bool readable(PDFFile& file, PDFRef page);

}  // namespace PageGlyphs
