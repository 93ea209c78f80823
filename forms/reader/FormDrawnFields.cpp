// Fields of flat forms: writing cells right of short labels, fill-in lines and tick columns, found
// from the page's text and its ink.
#include <unicode/uchar.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <type_traits>
#include <cmath>
#include <utility>

#include "forms/reader/FormPageText.h"
#include "forms/reader/FormReader.h"
#include "forms/reader/FormReading.h"
#include "pages/content/PageDrawing.h"
#include "pages/content/PageGlyphs.h"
#include "pages/PageLimits.h"
#include "forms/reader/TextSpace.h"
#include "pdf/PDFFile.h"
#include "platform/Regex.h"
#include "pages/InkMap.h"
#include "pages/content/PageAnnotation.h"
#include "signing/UnicodeText.h"

namespace FormReader {
namespace {

// Glyphs of one run: centres closer than half the taller height, the next glyph no more than
// this far left of the run's end, and a gap below max(6 pt, 0.6 x glyph height).
constexpr double sameLineShare = 0.5;
constexpr double backwardTolerance = 2;
constexpr double minWordGap = 6;
constexpr double wordGapShare = 0.6;
// Cells below a tick caption: at most this wide and high.
constexpr double maxTickCell = 80;
// Tick cells kept per page: more can only come from a hostile page, and each new one is tested
// against those kept.
constexpr std::size_t maxTickCells = 500;
// A label that may own a writing cell: characters and words at most.
constexpr std::size_t maxLabelCharacters = 40;
constexpr std::size_t maxLabelWords = 6;
// A writing cell at least this wide and high.
constexpr double minCellWidth = 18;
constexpr double minCellHeight = 8;
// Two labels whose cells agree within this lead to one cell.
constexpr double sameCell = 2;
// Narrow cells stacked in a column (a grid or tick column): narrower than this, edges closer than
// `sameCell`, at least this many.
constexpr double narrowCell = 60;
constexpr std::size_t narrowColumn = 3;
// A cell is inset this much before it becomes a field.
constexpr double fieldInset = 1;
// Characters of a label kept as the field's left text.
constexpr std::size_t labelKept = 80;

struct Run {
    std::u16string text;  // cleaned
    Rect rect;            // display space
};

struct Cell {
    Rect rect;  // display space
    std::string text;
};

bool isBlank(char16_t c) {
    return c == u'\t' || c == u' ' || c == u'\u00A0';
}
bool isBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

Rect unite(const Rect& a, const Rect& b) {
    double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

bool containsRect(const Rect& outer, const Rect& inner) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() &&
           inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
}

Point centre(const Rect& r) {
    return {r.midX(), r.midY()};
}

// Horizontally continuous stretches of glyphs on one line, at most maxRunsPerPage of them.
std::vector<Run> textRuns(const FormPageText& page) {
    std::vector<Run> runs;
    const std::u16string& text = page.text();
    std::size_t start = 0, end = 0;
    std::optional<Rect> rect;
    auto close = [&] {
        if (rect && runs.size() < maxRunsPerPage)
            runs.push_back({clean(std::u16string_view(text).substr(start, end - start)), *rect});
        rect.reset();
    };
    for (std::size_t i = 0; i < text.size() && runs.size() < maxRunsPerPage; ++i) {
        char16_t c = text[i];
        if (isBlank(c)) continue;
        if (isBreak(c)) {
            close();
            continue;
        }
        std::optional<Rect> glyph = page.displayBox(i);
        if (!glyph || glyph->isEmpty()) continue;
        bool extends = false;
        if (rect) {
            bool sameLine = std::abs(glyph->midY() - rect->midY()) <
                            sameLineShare * std::max(glyph->height, rect->height);
            bool notBehind = glyph->minX() >= rect->maxX() - backwardTolerance;
            bool near =
                glyph->minX() - rect->maxX() < std::max(minWordGap, wordGapShare * glyph->height);
            extends = sameLine && notBehind && near;
        }
        if (extends) {
            rect = unite(*rect, *glyph);
            end = i + 1;
        } else {
            close();
            start = i;
            end = i + 1;
            rect = glyph;
        }
    }
    close();
    return runs;
}

bool hasLetter(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        if (u_isalpha(c)) return true;
    }
    return false;
}

// Whether a page that draws nothing but its text may hold a drawn field, from its words: a
// fill-in line needs a run of fill characters (an underscore or an ellipsis, or five dots, blanks
// between them counted as nothing since the quick words may space them otherwise), and a cell
// needs glyphs that draw borders: letters do not close a box.
bool mayDrawFields(std::u16string_view words) {
    std::size_t dots = 0;
    for (char16_t c : words) {
        if (c == u'_' || c == u'\u2026' || PageDrawing::drawsBorders(c)) return true;
        if (c == u'.') {
            if (++dots >= 5) return true;
        } else if (!isBlank(c) && !isBreak(c) && !TextSpace::isSpace(c)) {
            dots = 0;
        }
    }
    return false;
}

// What is left of the document's work budget (maxDrawnGlyphs and the others).
class Budget {
public:
    explicit Budget(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}

    bool late() const { return std::chrono::steady_clock::now() >= deadline_; }
    std::size_t paths() const { return paths_; }

    // Takes the scan of a page's content (its paths and bytes); false, taking nothing, when it
    // does not fit.
    bool take(const PageGlyphs::Work& work) {
        if (work.paths > paths_ || work.bytes > bytes_) return false;
        paths_ -= work.paths;
        bytes_ -= work.bytes;
        return true;
    }

    // Takes the reading of a page's text (its glyphs laid out by the text engine); false, taking
    // nothing, when it does not fit.
    bool takeText(const PageGlyphs::Work& work) {
        if (work.glyphs > glyphs_) return false;
        glyphs_ -= work.glyphs;
        return true;
    }

    // Takes the rendering of a page of this size for its ink (as InkMap renders it: 2 pixels per
    // point, 1 above its coarse size); false when it does not fit or the time is up.
    bool render(const Rect& bounds) { return renderPixels(pagePixels(bounds)); }
    static double pagePixels(const Rect& bounds) {
        double pixels = bounds.width * bounds.height * InkMap::scale * InkMap::scale;
        if (pixels > InkMap::coarsePixels) pixels = bounds.width * bounds.height;
        return pixels;
    }
    // Takes the rendering of a slice of that many pixels.
    bool renderPixels(double pixels) {
        if (!(pixels >= 0) || pixels > pixels_ || late()) return false;
        pixels_ -= pixels;
        return true;
    }

private:
    std::chrono::steady_clock::time_point deadline_;
    std::size_t glyphs_ = maxDrawnGlyphs;
    std::size_t paths_ = maxDrawnPaths;
    std::size_t bytes_ = maxDrawnContentBytes;
    double pixels_ = drawnPixelBudget();
};

// Slices drawn for one answer, at most: each takes in squares of the page where doubt decided
// the answer before, so that an answer needs more only on a hostile page; it is then taken from
// a rendering of the whole page.
constexpr int maxSlicesPerAnswer = 8;
// A page is drawn whole rather than in slices once its slices would come to this share of it, or
// from the start when strict ink (pictures, shadings) reaches this share of it: a scan or a
// picture under the page leaves doubt wherever an answer looks, and each slice costs the
// renderer the page's whole content.
constexpr double maxSlicedShare = 0.5;
// Slices drawn on one page before it is drawn whole: each costs the renderer the page's content.
constexpr int maxSlicesPerPage = 16;

// The page's ink, made on first need and at most once: first from what its content draws
// (PageDrawing), then, for an answer that drawing cannot give, from renderings of the slices of
// the page where doubt decided it, which the drawn map keeps for later answers. A page that
// cannot be rendered is not rendered again for each of its labels; a page the budget cannot
// render has no rendered map.
class LazyInk {
public:
    LazyInk(PDFFile& file, PDFRef ref, const PageSource& pages, int index, const PageText& text,
            const DisplaySpace& space, const std::vector<PageAnnotation>& annotations,
            Budget& budget, bool faint = true)
        : file_(file), ref_(ref), pages_(pages), index_(index), text_(text), space_(space),
          annotations_(annotations), budget_(budget), faint_(faint) {}

    // Whether the budget left the page without the rendering an answer needed: the page was
    // searched in part.
    bool refused() const { return refused_ || (plain_ && plain_->refused_); }

    // The same page's ink at the plain threshold, where light tints (the shaded inside of a tick
    // box, a grey band) are no ink: made on first need, from the same shapes.
    LazyInk& plain() {
        if (!faint_) return *this;
        if (!plain_) {
            plain_ = std::make_unique<LazyInk>(file_, ref_, pages_, index_, text_, space_,
                                               annotations_, budget_, false);
            plain_->light_ = this;
        }
        return *plain_;
    }

    // What `answer` (a search of an ink map) gives on this page. From the drawn map when no
    // doubtful ink decides it, or when it is the same whether doubtful ink counts or not and no
    // strict ink is met; else from the rendered map; nothing (the empty answer) when neither is
    // there.
    template <typename Answer>
    auto ask(Answer answer) -> decltype(answer(std::declval<const InkMap&>())) {
        using Result = decltype(answer(std::declval<const InkMap&>()));
        if (InkMap* map = drawn()) {
            std::optional<InkMap::Slice> slice;
            if (std::optional<Result> known = fromDrawing(*map, answer, slice)) return *known;
            // The slices where doubt decided it, drawn, until an answer meets none.
            for (int round = 0; slice && round < maxSlicesPerAnswer; ++round) {
                if (!settle(*map, *slice)) {
                    if (refused_ || undrawable_) return Result{};
                    break;
                }
                map->doubt(true);
                Result settled = answer(*map);
                if (!map->doubted()) return settled;
                slice = map->doubtfulSlice();
                if (!map->strictlyDoubted()) {
                    map->doubt(false);
                    Result withoutDoubt = answer(*map);
                    if (!map->strictlyDoubted() && withoutDoubt == settled) return settled;
                    slice = unite(slice, map->doubtfulSlice());
                }
            }
        }
        const InkMap* map = rendered();
        if (!map) return Result{};
        return answer(*map);
    }

    // What `answer` gives from the drawn map alone, where doubtful ink does not decide it.
    template <typename Answer>
    auto askDrawing(Answer answer)
        -> std::optional<decltype(answer(std::declval<const InkMap&>()))> {
        std::optional<InkMap::Slice> slice;
        if (InkMap* map = drawn()) return fromDrawing(*map, answer, slice);
        return std::nullopt;
    }

private:
    // The answer of the drawn map when doubtful ink does not decide it; else nothing, `slice`
    // the squares where it did.
    template <typename Answer>
    auto fromDrawing(InkMap& map, Answer answer, std::optional<InkMap::Slice>& slice)
        -> std::optional<decltype(answer(std::declval<const InkMap&>()))> {
        using Result = decltype(answer(std::declval<const InkMap&>()));
        map.doubt(true);
        Result withDoubt = answer(map);
        if (!map.doubted()) return withDoubt;
        slice = map.doubtfulSlice();
        if (!map.strictlyDoubted()) {
            map.doubt(false);
            Result withoutDoubt = answer(map);
            if (!map.strictlyDoubted() && withoutDoubt == withDoubt) return withDoubt;
            // A cell found only by taking no glyph for ink, which holds a glyph of the page's
            // text whole, is no empty cell: the glyph inks its box somewhere (a header «No» in
            // the cell right of «Sí»). The answer is the one that takes the glyphs for ink.
            if constexpr (std::is_same_v<Result, std::optional<Rect>>)
                if (!map.strictlyDoubted() && withoutDoubt && holdsGlyph(*withoutDoubt))
                    return withDoubt;
            slice = unite(slice, map.doubtfulSlice());
        }
        return std::nullopt;
    }

    // Whether the box of a glyph that the drawn map takes as doubtful ink lies wholly inside
    // `cell` (display space).
    bool holdsGlyph(const Rect& cell) {
        if (!glyphsSorted_) {
            glyphsSorted_ = true;
            const std::size_t n = std::min(text_.text.size(), text_.boxes.size());
            for (std::size_t i = 0; i < n; ++i) {
                const char16_t c = text_.text[i];
                if (isBlank(c) || isBreak(c) || c == u'_' || text_.boxes[i].isEmpty()) continue;
                glyphs_.push_back(space_.textBox(text_.boxes[i]));
            }
            std::sort(glyphs_.begin(), glyphs_.end(),
                      [](const Rect& a, const Rect& b) { return a.minX() < b.minX(); });
        }
        auto it = std::lower_bound(glyphs_.begin(), glyphs_.end(), cell.minX(),
                                   [](const Rect& g, double x) { return g.minX() < x; });
        for (; it != glyphs_.end() && it->minX() <= cell.maxX(); ++it)
            if (containsRect(cell, *it)) return true;
        return false;
    }

    static std::optional<InkMap::Slice> unite(const std::optional<InkMap::Slice>& a,
                                              const std::optional<InkMap::Slice>& b) {
        if (!a) return b;
        if (!b) return a;
        return a->united(*b);
    }

    // Draws `slice` of the page into the drawn map; false when the page is to be drawn whole
    // instead, or when the budget or the page refuses (refused_ or undrawable_ then say so).
    bool settle(InkMap& map, const InkMap::Slice& slice) {
        if (undrawable_ || wholeOnly_ || renderTried_) return false;
        const double pixels = std::ceil(map.pixelsPerPoint() * space_.bounds.width) *
                              std::ceil(map.pixelsPerPoint() * space_.bounds.height);
        if (slices_ >= maxSlicesPerPage || map.strictShare() >= maxSlicedShare ||
            sliced_ + slice.pixels() > maxSlicedShare * pixels) {
            wholeOnly_ = true;
            return false;
        }
        // The first slice costs what drawing the page costs: the renderer goes through all of
        // its content for it. Later ones add their pixels.
        if (!budget_.renderPixels(slices_ == 0 ? budget_.pagePixels(space_.bounds)
                                               : slice.pixels())) {
            refused_ = true;
            return false;
        }
        ++slices_;
        sliced_ += slice.pixels();
        std::optional<GreyImage> image =
            pages_.renderRegion(index_, map.pixelsPerPoint(), slice.x, slice.y, slice.width,
                                slice.height, static_cast<std::int64_t>(pixels) + 1);
        if (!image) {
            // A page that cannot be drawn in part is not drawn whole either.
            undrawable_ = renderTried_ = true;
            return false;
        }
        map.settle(slice, *image, text_, space_, annotations_);
        return true;
    }

    // What the page draws, read once for both thresholds.
    const std::optional<std::vector<InkMap::Shape>>& shapes() {
        if (light_) return light_->shapes();
        if (!shapesTried_) {
            shapesTried_ = true;
            shapes_ = PageDrawing::shapes(file_, ref_, space_, text_);
        }
        return shapes_;
    }

    InkMap* drawn() {
        if (!drawnTried_) {
            drawnTried_ = true;
            if (const auto& shapes = this->shapes())
                drawn_ = InkMap::make(*shapes, text_, space_, annotations_, faint_);
        }
        return drawn_ ? &*drawn_ : nullptr;
    }

    // The page drawn whole, once for both thresholds.
    const InkMap::Rendering* rendering() {
        if (light_) return light_->rendering();
        if (!renderingTried_) {
            renderingTried_ = true;
            if (budget_.render(space_.bounds))
                rendering_ = InkMap::render(pages_, index_, space_);
            else
                refused_ = true;
        }
        return rendering_ ? &*rendering_ : nullptr;
    }

    const InkMap* rendered() {
        if (!renderTried_) {
            renderTried_ = true;
            if (const InkMap::Rendering* r = rendering())
                rendered_ = InkMap::make(*r, text_, space_, annotations_, faint_);
        }
        return rendered_ ? &*rendered_ : nullptr;
    }

    PDFFile& file_;
    PDFRef ref_;
    const PageSource& pages_;
    int index_;
    const PageText& text_;
    const DisplaySpace& space_;
    const std::vector<PageAnnotation>& annotations_;
    Budget& budget_;
    bool faint_;
    LazyInk* light_ = nullptr;  // for plain(): the page's ink at the light threshold
    std::unique_ptr<LazyInk> plain_;
    bool shapesTried_ = false;
    std::optional<std::vector<InkMap::Shape>> shapes_;
    bool renderingTried_ = false;
    std::optional<InkMap::Rendering> rendering_;
    bool drawnTried_ = false;
    bool renderTried_ = false;
    bool refused_ = false;
    bool glyphsSorted_ = false;
    std::vector<Rect> glyphs_;  // display space, by their left edges
    bool wholeOnly_ = false;  // slices would cost more than drawing the page whole
    bool undrawable_ = false;  // a slice of it could not be drawn
    int slices_ = 0;
    double sliced_ = 0;  // pixels drawn in slices
    std::optional<InkMap> drawn_;
    std::optional<InkMap> rendered_;
};

// Where a page that draws nothing but the glyphs of its text may hold ink: inside the boxes of
// its glyphs, give or take `glyphOverhang`. A label cell's right border is a rule as high as its
// label; on such a page it can only be made of glyphs right of the label that meet every point
// of the label's height, and when none do, the page need not be rendered for that label.
class GlyphInk {
public:
    explicit GlyphInk(const FormPageText& page) {
        const std::u16string& text = page.text();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (isBlank(text[i]) || isBreak(text[i])) continue;
            std::optional<Rect> glyph = page.displayBox(i);
            if (glyph && !glyph->isEmpty()) boxes_.push_back(*glyph);
        }
    }

    bool ruleMayFollow(const Rect& label) const {
        // Rows as the rule test takes them: 1 pt from the label's bottom, each met by some
        // glyph; a label too low or too high for that is left to the rendering.
        if (!(label.height >= 2) || !(label.height <= maxRuleRows)) return true;
        std::vector<const Rect*> right;
        for (const Rect& g : boxes_)
            if (g.maxX() + glyphOverhang > label.maxX() + 1 &&
                g.maxY() + glyphOverhang > label.minY() - 1 &&
                g.minY() - glyphOverhang < label.maxY() + 1)
                right.push_back(&g);
        for (double y = label.minY(); y <= label.maxY() - 1; y += 1) {
            const double lo = y - 0.5 - glyphOverhang, hi = y + 1.5 + glyphOverhang;
            if (std::none_of(right.begin(), right.end(),
                             [&](const Rect* g) { return g->maxY() > lo && g->minY() < hi; }))
                return false;
        }
        return true;
    }

private:
    static constexpr double glyphOverhang = 0.5;
    static constexpr double maxRuleRows = 500;
    std::vector<Rect> boxes_;
};

std::vector<Cell> tickCells(const std::vector<Run>& runs, LazyInk& ink) {
    std::vector<Cell> cells;
    for (const Run& run : runs) {
        if (cells.size() >= maxTickCells) break;
        if (run.text.size() > maxCaptionCharacters ||
            !tickHeader().search(std::u16string_view(run.text)))
            continue;
        if (run.rect.isEmpty()) continue;
        // Tick boxes shaded inside are ink through at the light threshold, which takes grey
        // bands for ink; at the plain one their insides are free. The plain threshold is asked
        // where the light one finds no cell, or only after drawing.
        auto column = [&](const InkMap& map) { return map.cells(run.rect); };
        std::optional<std::vector<Rect>> found = ink.askDrawing(column);
        if (!found || found->empty()) {
            std::vector<Rect> plain = ink.plain().ask(column);
            if (!plain.empty()) found = std::move(plain);
            else if (!found) found = ink.ask(column);
        }
        for (const Rect& cell : *found) {
            if (!(cell.width <= maxTickCell) || !(cell.height <= maxTickCell)) continue;
            Point c = centre(cell);
            bool taken = std::any_of(cells.begin(), cells.end(),
                                     [&](const Cell& k) { return k.rect.contains(c); });
            if (taken || cells.size() >= maxTickCells) continue;
            cells.push_back({cell, UnicodeText::utf8(run.text)});
        }
    }
    return cells;
}

// `glyphs`: the page's ink when it shows nothing but text, else none.
std::vector<Cell> labelCells(const std::vector<Run>& runs, LazyInk& ink, double upTo,
                             const GlyphInk* glyphs) {
    std::vector<Cell> cells;
    for (const Run& run : runs) {
        if (UnicodeText::characterCount(run.text) > maxLabelCharacters) continue;
        if (FormPageText::wordCount(run.text) > maxLabelWords) continue;
        if (!hasLetter(run.text)) continue;
        if (signatureCue().search(std::u16string_view(run.text))) continue;
        if (run.rect.isEmpty()) continue;
        if (glyphs && !glyphs->ruleMayFollow(run.rect)) continue;
        std::optional<Rect> cell =
            ink.ask([&](const InkMap& map) { return map.cell(run.rect, upTo); });
        if (!cell || cell->width < minCellWidth || cell->height < minCellHeight) continue;
        auto same = [&](const Cell& k) {
            return containsRect(k.rect.insetBy(-sameCell, -sameCell), *cell) &&
                   containsRect(cell->insetBy(-sameCell, -sameCell), k.rect);
        };
        auto it = std::find_if(cells.begin(), cells.end(), same);
        if (it != cells.end()) {
            it->text += ' ';
            it->text += UnicodeText::utf8(run.text);
        } else if (cells.size() < maxLabelCells) {
            cells.push_back({*cell, UnicodeText::utf8(run.text)});
        }
    }
    return cells;
}

// Drops label cells inside tick cells and label cells of columns of narrow cells.
std::vector<Cell> pruned(const std::vector<Cell>& labels, const std::vector<Cell>& ticks) {
    std::vector<Cell> out;
    for (const Cell& cell : labels) {
        Point c = centre(cell.rect);
        if (std::any_of(ticks.begin(), ticks.end(),
                        [&](const Cell& t) { return t.rect.contains(c); }))
            continue;
        if (cell.rect.width < narrowCell) {
            std::size_t column = 0;
            for (const Cell& other : labels)
                if (other.rect.width < narrowCell &&
                    std::abs(other.rect.minX() - cell.rect.minX()) < sameCell &&
                    std::abs(other.rect.maxX() - cell.rect.maxX()) < sameCell)
                    ++column;
            if (column >= narrowColumn) continue;
        }
        out.push_back(cell);
    }
    return out;
}

// The last `count` characters of a UTF-8 text.
std::string lastCharacters(const std::string& text, std::size_t count) {
    std::u16string s = UnicodeText::utf16(text);
    if (s.size() <= count) return text;
    return UnicodeText::utf8(UnicodeText::suffix(s, count));
}

}  // namespace

std::string readingLine(const ReadReport& report, std::size_t fields) {
    const std::string found = std::to_string(fields) + (fields == 1 ? " campo" : " campos");
    const std::string pages = std::to_string(report.pageCount);
    if (report.partial()) {
        if (report.pagesWhole <= 0)
            return "Formulario leído en parte: " + found + ", ninguna página entera de " + pages +
                   ".";
        return "Formulario leído en parte: " + found + " hasta la página " +
               std::to_string(report.pagesWhole) + " de " + pages + ".";
    }
    if (fields == 0) return {};
    return "Formulario leído: " + found + " en " + pages + " páginas.";
}

double& drawnPixelBudget() {
    static double budget = maxDrawnPixels;
    return budget;
}

std::chrono::milliseconds& pageTimeLimit() {
    static std::chrono::milliseconds limit = PageLimits::textTime + PageLimits::inkTime;
    return limit;
}

std::chrono::milliseconds readingTimeLimit(std::size_t pageCount) {
    // A day at most: far beyond any real document, and within what a timer takes.
    constexpr std::chrono::milliseconds most = std::chrono::hours(24);
    const std::chrono::milliseconds each = std::max(pageTimeLimit(), std::chrono::milliseconds(0));
    if (each.count() > 0 && pageCount >= static_cast<std::size_t>(most / each)) return most;
    return std::min(most, each * static_cast<std::int64_t>(pageCount + 1));
}

std::vector<FormField> drawnFields(PDFFile& file, const PageSource& pages, std::stop_token stop,
                                   ReadReport* report) {
    ReadReport local;
    const std::vector<PDFRef> refs = file.pageRefs(stop);
    std::vector<FormField> result = detail::drawnFields(
        file, refs, pages, stop, detail::Clock::now() + readingTimeLimit(refs.size()), local);
    if (report) *report = local;
    return result;
}

std::vector<FormField> detail::drawnFields(PDFFile& file, const std::vector<PDFRef>& refs,
                                           const PageSource& pages, std::stop_token stop,
                                           Clock::time_point deadline, ReadReport& report,
                                           const Progress& found) {
    std::vector<FormField> result;
    const int count = std::min(static_cast<int>(refs.size()), pages.pageCount());
    report = {};
    if (stop.stop_requested()) {
        report.stopped = true;
        return result;
    }
    report.pageCount = static_cast<int>(refs.size());
    // The annotations of an /Annots array shared by several pages, read once.
    const PDFObject* sharedAnnots = nullptr;
    std::vector<PageAnnotation> shared;
    Budget budget(deadline);
    // The first page not read whole: a bound cut its search.
    std::optional<int> partial;
    auto cutAt = [&](int page) {
        report.cut = true;
        if (!partial) partial = page;
    };
    for (int i = 0; i < count && result.size() < maxFields; ++i) {
        if (budget.late() || stop.stop_requested()) {
            report.stopped = true;
            break;
        }
        report.pagesRead = i + 1;
        // The page's cost is known before its text is asked of the text engine.
        const PageGlyphs::Work work =
            PageGlyphs::measure(file, refs[i], PageGlyphs::maxGlyphs, budget.paths());
        if (!budget.take(work)) {
            report.pagesRead = i;
            report.stopped = true;
            cutAt(i);
            break;
        }
        if (work.glyphs > PageGlyphs::maxGlyphs) {
            cutAt(i);
            continue;
        }
        const PDFObject* annots = PageAnnotation::annotsOf(file, refs[i]);
        if (annots && annots != sharedAnnots) {
            sharedAnnots = annots;
            shared = PageAnnotation::of(file, annots);
        }
        static const std::vector<PageAnnotation> none;
        const std::vector<PageAnnotation>& annotations = annots ? shared : none;
        // A page that draws nothing but text, and has no annotation that reads as ink.
        const bool onlyText =
            work.paths == 0 && work.pictures == 0 &&
            std::all_of(annotations.begin(), annotations.end(),
                        [](const PageAnnotation& a) { return a.subtype == "Link"; });
        if (onlyText && work.symbols == 0) {
            // Its quick words tell whether its text is worth laying out.
            std::optional<std::u16string> words = pages.words(i);
            if (!words || !mayDrawFields(*words)) continue;
        }
        if (!budget.takeText(work)) {
            report.pagesRead = i;
            report.stopped = true;
            cutAt(i);
            break;
        }
        std::optional<PageText> text = pages.text(i);
        if (!text || text->text.empty()) continue;
        std::optional<DisplaySpace> space = DisplaySpace::of(file, refs[i]);
        if (!space) continue;
        const FormPageText page(*text, *space,
                                FormPageText::coveredBy(file, annots, maxAnnotsPerPage));
        LazyInk ink(file, refs[i], pages, i, *text, *space, annotations, budget);

        const std::vector<Run> runs = textRuns(page);
        const std::vector<Cell> ticks = tickCells(runs, ink);
        std::optional<GlyphInk> glyphs;
        if (onlyText) glyphs.emplace(page);
        const std::vector<Cell> labels = pruned(
            labelCells(runs, ink, space->bounds.maxX(), glyphs ? &*glyphs : nullptr), ticks);
        std::vector<FillLine> lines;
        for (FillLine& line : fillLines(page)) {
            Point c = centre(line.rect);
            bool inCell = std::any_of(labels.begin(), labels.end(), [&](const Cell& cell) {
                return space->page(cell.rect).contains(c);
            });
            if (!inCell) lines.push_back(std::move(line));
        }
        if (ink.refused()) cutAt(i);
        if (labels.empty() && lines.empty() && ticks.empty()) continue;

        const std::vector<FormTitle> titles = headings(page);
        const TextSource source = [&](const Rect& r) { return page.textIn(r); };
        auto add = [&](Rect rect, FormField::Kind kind) -> FormField* {
            if (result.size() >= maxFields) {
                cutAt(i);
                return nullptr;
            }
            FormField field;
            field.id = static_cast<int>(result.size()) + 1;
            field.pageIndex = i;
            field.kind = kind;
            field.rect = rect;
            field.drawn = true;
            if (kind == FormField::Kind::check) field.exportValue = "X";
            describe(field, source, titles);
            result.push_back(std::move(field));
            return &result.back();
        };
        for (const Cell& cell : labels)
            if (FormField* f = add(space->page(cell.rect.insetBy(fieldInset, fieldInset)),
                                   FormField::Kind::text)) {
                f->left = lastCharacters(cell.text, labelKept);
                f->above.clear();
                f->right.clear();
            }
        for (const FillLine& line : lines)
            if (FormField* f = add(line.rect, FormField::Kind::text)) {
                f->left = line.label;
                f->above.clear();
                f->right.clear();
            }
        for (const Cell& cell : ticks)
            if (FormField* f = add(space->page(cell.rect.insetBy(fieldInset, fieldInset)),
                                   FormField::Kind::check))
                f->above = cell.text;
        if (found) found(result.size());
    }
    // The field cap reached with pages left.
    if (result.size() >= maxFields && report.pagesRead < count) cutAt(report.pagesRead);
    report.pagesWhole = std::min(partial.value_or(report.pagesRead), report.pagesRead);
    return result;
}

}  // namespace FormReader
