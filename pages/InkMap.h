#pragma once
// Where a page holds ink: the page rendered once at 2 pixels per point (1 beyond the size of an
// A1 sheet) into a grey bitmap and kept
// as a summed-area table of ink pixels, so that any rectangle is tested in constant time. The
// searches for free writing room (table cells, enclosed boxes, vertical rules) are built on that
// test. Everything is in display space (see DisplaySpace).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "pages/Geometry.h"
#include "pages/content/PageAnnotation.h"

class InkMap {
public:
    static constexpr double scale = 2.0;             // pixels per point
    static constexpr double maxPixels = 40'000'000;  // exclusive cap of one map's bitmap
    // Whole rows and columns a bitmap may add to the exact size: those of a square at the cap.
    static constexpr double maxRoundingPixels = 2 * 6325 + 1;
    // Pixels at 2 per point above which a page is rendered and mapped at 1 pixel per point: a
    // little over an A1 sheet (16.06 million). Only photos and posters are larger; drawing them
    // at full scale would cost most of a search, and free room is sought in whole points anyway.
    static constexpr double coarsePixels = 17'000'000;
    static constexpr int inkThreshold = 200;         // grey below this is ink
    static constexpr int faintInkThreshold = 235;    // also light grey lines and tints
    // Cells may have rounded corners, of a radius up to a quarter of the box's smaller side:
    // cell() and emptyCell() find their borders through the middle of each side and check them
    // between the corners, at least `cornerReach` points (or an eighth of the width) from each
    // end, and the side rules of cell() are not asked for in the rows where a corner turns, nor
    // `cornerBorder` points beyond (the border's own width there).
    static constexpr double cornerReach = 3;
    static constexpr double cornerBorder = 2;
    // A tick column's header may sit on a band of its own (a grey header row): cells() crosses
    // one this deep below the header's text.
    static constexpr double maxHeaderBand = 30;

    // Renders page `pageIndex` of `pages` and builds its map: every annotation but links filled as
    // ink over its rectangle, typed underscores of `text` cleared. `text` is the page's own text
    // from the same source. Nothing for an empty page, at 40 million pixels or more, or when the
    // page cannot be rendered.
    static std::optional<InkMap> make(const PageSource& pages, int pageIndex, const PageText& text,
                                      const DisplaySpace& space,
                                      const std::vector<PageAnnotation>& annotations,
                                      bool faint = false);

    // The rendering the first make() maps: the page at `scale` pixels per point, or at 1 for a
    // page rendered coarsely. Nothing when make() would give nothing for its size, or when the
    // page cannot be rendered.
    struct Rendering {
        GreyImage image;
        double ppp = scale;
    };
    static std::optional<Rendering> render(const PageSource& pages, int pageIndex,
                                           const DisplaySpace& space);
    // The map of such a rendering, as the first make() builds it.
    static std::optional<InkMap> make(const Rendering& rendering, const PageText& text,
                                      const DisplaySpace& space,
                                      const std::vector<PageAnnotation>& annotations,
                                      bool faint = false);

    // The same from a bitmap already rendered at 2 pixels per point, its top-left pixel at the
    // top-left corner of the upright page (rows and columns beyond the page are dropped, missing
    // ones count as white).
    static std::optional<InkMap> make(const GreyImage& rendered, const PageText& text,
                                      const DisplaySpace& space,
                                      const std::vector<PageAnnotation>& annotations,
                                      bool faint = false);

    // Ink known from what the page draws rather than from a rendering: each shape a display-space
    // rectangle of one darkness (0 white ... 1 black). A certain shape is ink where its pixels are
    // dark enough, as a rendering would show it. A doubtful shape only bounds ink that may be
    // there (a glyph within its box, a curve within its hull); a strict one is doubtful too, and
    // no guess about it may stand (a picture, a glyph that may draw a rule).
    //
    // Which pixels a shape that is not doubtful darkens follows the renderer's rules, by `edges`:
    // antialiased, the pixels its anti-aliasing (4 x 4 samples a pixel) covers enough for the
    // shape's darkness; adjusted, the pixels between its edges rounded to whole pixels, one at
    // least across (the renderer's stroke adjustment of strokes along the axes and of a filled
    // rectangle); hairline, every pixel one of its points falls in (a stroke of width 0).
    struct Shape {
        enum class Kind { certain, doubtful, strict };
        enum class Edges { antialiased, adjusted, hairline };
        Rect rect;
        double darkness = 1;
        Kind kind = Kind::certain;
        Edges edges = Edges::antialiased;
    };
    // Shapes kept in one map: more come only from pages whose rendering tells better.
    static constexpr std::size_t maxShapes = 100'000;

    // The map of a page from its shapes, annotations other than links certain ink over their
    // rectangle, as make gives it after a rendering, at the same pixel size. Nothing where make
    // gives nothing, beyond maxShapes, or when a typed underscore of `text` (whose pixels make
    // clears) lies over certain or strict ink. Doubtful pixels count as ink until doubt() says
    // otherwise.
    static std::optional<InkMap> make(const std::vector<Shape>& shapes, const PageText& text,
                                      const DisplaySpace& space,
                                      const std::vector<PageAnnotation>& annotations,
                                      bool faint = false);

    // For a map made from shapes: whether doubtful pixels count as ink in the answers that
    // follow, and whether an answer since the last call depended on them (strictly: on a strict
    // shape). A map from a rendering has no doubt.
    void doubt(bool asInk) const {
        doubtAsInk_ = asInk;
        doubted_ = strictlyDoubted_ = false;
        doubtC0_ = doubtR0_ = 1;
        doubtC1_ = doubtR1_ = 0;
    }
    bool doubted() const { return doubted_; }
    bool strictlyDoubted() const { return strictlyDoubted_; }
    bool fromShapes() const { return static_cast<bool>(shapes_); }

    // Pixels of the map, [x, x + width) x [y, y + height), rows from the top: a slice of the page
    // as PageSource::renderRegion draws it at pixelsPerPoint().
    struct Slice {
        int x = 0, y = 0, width = 0, height = 0;
        // The smallest slice holding both.
        Slice united(const Slice& other) const;
        double pixels() const { return static_cast<double>(width) * height; }
    };
    // For a map made from shapes: the pixels where answers since the last doubt() met doubt that
    // decided them, in whole squares of the map's buckets (a few dozen points), as one slice;
    // nothing when none did.
    std::optional<Slice> doubtfulSlice() const;
    // For a map made from shapes: the share of its buckets that strict shapes reach (a picture
    // under the whole page reaches all); 0 for a map from a rendering.
    double strictShare() const;
    // Takes the rendering of `slice` (its top-left pixel at the slice's; rows and columns it
    // lacks count as white), with the map's own `text`, `space` and `annotations`, for the
    // squares of the map within the slice: there the map holds the ink a map made from a
    // rendering of the page holds, without doubt, from now on. Copies of the map share what it
    // takes.
    void settle(const Slice& slice, const GreyImage& rendered, const PageText& text,
                const DisplaySpace& space, const std::vector<PageAnnotation>& annotations);

    const Rect& box() const { return box_; }
    // Pixels per point: `scale`, or 1 for a page rendered coarsely.
    double pixelsPerPoint() const { return ppp_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // (width + 1) x (height + 1) entries, row-major; entry (r, c) counts the ink pixels of rows
    // 0 ..< r (from the top) and columns 0 ..< c.
    const std::vector<std::int32_t>& sums() const { return sums_; }

    // True when the pixels the rectangle covers hold no ink (clamped to the map; a rectangle that
    // covers no pixel is empty).
    bool isEmpty(const Rect& r) const;

    // The closed empty table cell right of a label box, its right border sought no further than x
    // = upTo.
    std::optional<Rect> cell(const Rect& rightOf, double upTo) const;

    // The empty cells of the ruled column under a header box, top to bottom, at most `limit`.
    std::vector<Rect> cells(const Rect& below, int limit = 60) const;

    // The empty rectangle enclosed by inked borders around a point.
    std::optional<Rect> emptyCell(Point at) const;

private:
    InkMap() = default;
    static std::optional<InkMap> build(const GreyImage& rendered, double ppp, const PageText& text,
                                       const DisplaySpace& space,
                                       const std::vector<PageAnnotation>& annotations, bool faint);

    std::optional<double> rule(double x, const Rect& line, double lo, double hi) const;
    // isEmpty of the rectangle with these edges.
    bool spanEmpty(double minX, double maxX, double minY, double maxY) const;
    // As `while (columnEmpty(x, band)) { x += 1; if (stop(x)) return false; } return true;`,
    // with the same answers and doubt, in fewer tests.
    template <typename Stop>
    bool skipEmptyColumns(double& x, const Rect& band, Stop stop) const;
    bool columnEmpty(double x, const Rect& band) const {
        return isEmpty({x, band.y, 1, band.height});
    }

    struct Shapes;
    bool shapesEmpty(int x0, int x1, int y0, int y1) const;
    // Whether no answer from now on can change doubted() or strictlyDoubted(): they are set
    // already, or the map holds no ink that would set them.
    bool doubtSettled() const;

    Rect box_;
    double ppp_ = scale;
    std::shared_ptr<const Shapes> shapes_;
    mutable bool doubtAsInk_ = true;
    mutable bool doubted_ = false;
    mutable bool strictlyDoubted_ = false;
    // The buckets where doubt decided an answer since doubt(): columns [c0, c1], rows [r0, r1].
    mutable int doubtC0_ = 1, doubtC1_ = 0, doubtR0_ = 1, doubtR1_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::int32_t> sums_;
};
