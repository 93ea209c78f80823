#pragma once
// One page's text as the form reader reads it, made once per page and shared by the captions, the
// headings, the text runs and fill lines of drawn fields: every UTF-16 unit of the page text with
// its box in page space and in display space. Units whose box is empty or whose centre lies
// outside the page's crop box have no box (they cannot be seen). The centres are indexed by row so
// that the text inside a rectangle costs a search plus its hits.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "pages/Geometry.h"

class PDFFile;
class PDFObject;

class FormPageText {
public:
    // Page text read per page; a longer text is cut there (a real page holds a few thousand
    // units; the rest of a hostile one is ignored).
    static constexpr std::size_t maxUnits = 200'000;
    // Characters read from one rectangle; a caption is at most 160 characters, so more can only
    // be glyphs piled on one spot.
    static constexpr std::size_t maxCharactersPerRect = 4'000;

    // A line of the text between line feeds or carriage returns, with the union of its boxes.
    struct Line {
        std::size_t start = 0;  // UTF-16 range of the text
        std::size_t end = 0;
        std::optional<Rect> bounds;  // page space; nothing when no unit of the line has a box
    };

    FormPageText() = default;
    // `covered` are page-space rectangles of annotations whose appearances the text engine read
    // with the page (widgets, free text): text centred in them, and the letters that run on from
    // it past a rectangle's right edge on its line, is not printed on the page, has no box here
    // and is a blank in text(), so that no reading (lines, headings, runs, fill lines, captions)
    // takes it in.
    FormPageText(const PageText& text, const DisplaySpace& space,
                 const std::vector<Rect>& covered = {});

    // The page-space rectangles, for `covered`, of the annotations of a page's resolved /Annots
    // that show text of their own: free text, and widgets with an appearance or a value (the text
    // engine draws a widget without appearance from its value). At most `limit` entries are read.
    static std::vector<Rect> coveredBy(PDFFile& file, const PDFObject* annots, std::size_t limit);

    // Words of a text: runs of units other than the blank.
    static std::size_t wordCount(std::u16string_view text);

    const std::u16string& text() const { return text_; }
    const DisplaySpace& space() const { return space_; }
    bool empty() const { return text_.empty(); }

    // The box of unit i in page space / display space; nothing when it has none.
    std::optional<Rect> pageBox(std::size_t i) const;
    std::optional<Rect> displayBox(std::size_t i) const;

    // The characters whose box centre lies in the page-space rectangle (edges included), in text
    // order, a blank between kept characters that were not neighbours in the text, then
    // FormReader::clean. Only whole words: a word the rectangle's edge cuts is left out, unless
    // the rectangle holds no whole word and the cut word holds more than half of its extent
    // (along its line) inside and spans the rectangle's middle; such a word is read whole. At
    // most maxCharactersPerRect characters, the first in text order.
    std::string textIn(const Rect& rect) const;

    // The lines of the text in order (split at LF and CR; CR LF gives an empty line between).
    const std::vector<Line>& lines() const { return lines_; }

    // The union of the page-space boxes of units [from, to); nothing when none has a box.
    std::optional<Rect> bounds(std::size_t from, std::size_t to) const;

private:
    // The positions in centres_ of the centres inside the rectangle (edges included).
    template <typename Visit>
    void centresIn(const Rect& rect, Visit visit) const;
    void dropCovered(const std::vector<Rect>& covered);

    struct Centre {
        double row;  // floor of the centre's y
        double x;
        double y;
        std::size_t index;
    };

    std::u16string text_;
    DisplaySpace space_;
    std::vector<Rect> pageBoxes_;     // per unit; empty rect when it has none
    std::vector<Rect> displayBoxes_;  // per unit
    std::vector<bool> hasBox_;
    std::vector<Centre> centres_;  // sorted by (row, x)
    // Words (runs of units with boxes and without white space): the extent of their centres, the
    // union of their boxes and their units [first, last].
    struct Word {
        double minX, maxX, minY, maxY;
        Rect box;
        std::size_t first, last;
    };
    static constexpr std::uint32_t noWord = UINT32_MAX;
    std::vector<std::uint32_t> wordOf_;  // per unit; noWord for units outside any word
    std::vector<Word> words_;
    std::vector<Line> lines_;
};
