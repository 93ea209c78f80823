#include "signing/InkMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Pixel index of a position in pixels: rounded half away from zero, clamped to 0 ... n; a
// position that is not finite gives 0.
int pixel(double v, int n) {
    if (!std::isfinite(v)) return 0;
    double r = std::round(v);
    if (r <= 0) return 0;
    if (r >= n) return n;
    return static_cast<int>(r);
}

// Whole pixels of the bitmap of a page box.
double roundedPixels(const Rect& box) {
    return std::ceil(InkMap::scale * box.width) * std::ceil(InkMap::scale * box.height);
}

bool sizeAllowed(const Rect& box) {
    if (!(box.width > 0) || !(box.height > 0)) return false;
    double pixels = (InkMap::scale * box.width) * (InkMap::scale * box.height);
    if (!(pixels < InkMap::maxPixels)) return false;
    // The bitmap has whole rows and columns, up to one more of each than the exact size: a
    // square page just under the cap needs that much more. A page thousands of times wider than
    // high would pass the test above and still need an enormous buffer, so the rounding may add
    // no more than it adds to that square.
    return roundedPixels(box) < InkMap::maxPixels + InkMap::maxRoundingPixels;
}

// Pixel bounds [x0, x1) x [y0, y1) of a display-space rectangle, rows from the top.
struct PixelRect {
    int x0, x1, y0, y1;
    bool isEmpty() const { return x0 >= x1 || y0 >= y1; }
};

// A bitmap under construction: width x height grey bytes, rows from the top of the page.
struct Canvas {
    Rect box;
    double ppp;  // pixels per point
    int width;
    int height;
    std::vector<std::uint8_t> pixels;

    // The pixels a display-space rectangle covers (edges rounded to the nearest pixel boundary).
    PixelRect covered(const Rect& r) const {
        return {pixel((r.minX() - box.minX()) * ppp, width),
                pixel((r.maxX() - box.minX()) * ppp, width),
                pixel((box.maxY() - r.maxY()) * ppp, height),
                pixel((box.maxY() - r.minY()) * ppp, height)};
    }

    // Paints every rectangle solid `grey`. Painted one by one while their pixels add up to a few
    // pages; beyond that (a hostile page with thousands of page-sized annotations) through a
    // coverage count, so that the cost is the number of rectangles plus one pass over the page.
    // `scratch` holds (width + 1) x (height + 1) entries, all zero; it is left zero unless the
    // result is true.
    bool fill(const std::vector<PixelRect>& rects, std::uint8_t grey,
              std::vector<std::int32_t>& scratch) {
        const double pagePixels = static_cast<double>(width) * height;
        double area = 0;
        for (const PixelRect& r : rects)
            if (!r.isEmpty()) area += static_cast<double>(r.x1 - r.x0) * (r.y1 - r.y0);
        if (area <= 4 * pagePixels) {
            for (const PixelRect& r : rects) {
                if (r.isEmpty()) continue;
                for (int row = r.y0; row < r.y1; ++row)
                    std::memset(pixels.data() + static_cast<std::size_t>(row) * width + r.x0,
                                grey, static_cast<std::size_t>(r.x1 - r.x0));
            }
            return false;
        }
        // Corner marks whose running sums over rows and columns count the rectangles over each
        // pixel (fewer than 2^31: each rectangle is an object in memory).
        const std::size_t stride = static_cast<std::size_t>(width) + 1;
        for (const PixelRect& r : rects) {
            if (r.isEmpty()) continue;
            scratch[static_cast<std::size_t>(r.y0) * stride + r.x0] += 1;
            scratch[static_cast<std::size_t>(r.y0) * stride + r.x1] -= 1;
            scratch[static_cast<std::size_t>(r.y1) * stride + r.x0] -= 1;
            scratch[static_cast<std::size_t>(r.y1) * stride + r.x1] += 1;
        }
        for (int row = 0; row < height; ++row) {
            std::int32_t* marks = scratch.data() + static_cast<std::size_t>(row) * stride;
            const std::int32_t* above = row ? marks - stride : nullptr;
            std::int32_t running = 0;
            for (int c = 0; c < width; ++c) {
                running += marks[c];
                marks[c] = running + (above ? above[c] : 0);
                if (marks[c] != 0) pixels[static_cast<std::size_t>(row) * width + c] = grey;
            }
        }
        return true;
    }
};

}  // namespace

std::optional<InkMap> InkMap::make(const PageSource& pages, int pageIndex, const PageText& text,
                                   const DisplaySpace& space,
                                   const std::vector<PageAnnotation>& annotations, bool faint) {
    if (!sizeAllowed(space.bounds)) return std::nullopt;
    const double pixels = roundedPixels(space.bounds);
    if (pixels <= coarsePixels) {
        std::optional<GreyImage> rendered =
            pages.render(pageIndex, scale, static_cast<std::int64_t>(pixels) + 1);
        if (!rendered) return std::nullopt;
        return make(*rendered, text, space, annotations, faint);
    }

    // A page larger than A1 (a photo or a poster): drawn and mapped at 1 pixel per point.
    const double coarse = scale / 2;
    std::optional<GreyImage> rendered = pages.render(
        pageIndex, coarse,
        static_cast<std::int64_t>(std::ceil(coarse * space.bounds.width) *
                                  std::ceil(coarse * space.bounds.height)) + 1);
    if (!rendered) return std::nullopt;
    return build(*rendered, coarse, text, space, annotations, faint);
}

std::optional<InkMap> InkMap::make(const GreyImage& rendered, const PageText& text,
                                   const DisplaySpace& space,
                                   const std::vector<PageAnnotation>& annotations, bool faint) {
    return build(rendered, scale, text, space, annotations, faint);
}

std::optional<InkMap> InkMap::build(const GreyImage& rendered, double ppp, const PageText& text,
                                    const DisplaySpace& space,
                                    const std::vector<PageAnnotation>& annotations, bool faint) {
    const Rect box = space.bounds;
    if (!sizeAllowed(box)) return std::nullopt;

    Canvas canvas{box,
                  ppp,
                  static_cast<int>(std::ceil(ppp * box.width)),
                  static_cast<int>(std::ceil(ppp * box.height)),
                  {}};
    const int width = canvas.width;
    const int height = canvas.height;
    canvas.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 255);

    // The rendered page, top-left aligned.
    if (rendered.width > 0 && rendered.height > 0 &&
        rendered.pixels.size() >=
            static_cast<std::size_t>(rendered.width) * static_cast<std::size_t>(rendered.height)) {
        int columns = std::min(width, rendered.width);
        int rows = std::min(height, rendered.height);
        for (int row = 0; row < rows; ++row)
            std::memcpy(canvas.pixels.data() + static_cast<std::size_t>(row) * width,
                        rendered.pixels.data() + static_cast<std::size_t>(row) * rendered.width,
                        static_cast<std::size_t>(columns));
    }

    InkMap map;
    map.box_ = box;
    map.ppp_ = ppp;
    map.width_ = width;
    map.height_ = height;
    const std::size_t stride = static_cast<std::size_t>(width) + 1;
    map.sums_.assign(stride * (static_cast<std::size_t>(height) + 1), 0);

    // Annotations other than links are ink over their whole rectangle: fields, earlier
    // signatures, stamps and notes are no free room even when their appearance is blank.
    std::vector<PixelRect> rects;
    for (const PageAnnotation& annotation : annotations)
        if (annotation.subtype != "Link")
            rects.push_back(canvas.covered(space.display(annotation.rect)));
    bool dirty = canvas.fill(rects, 0, map.sums_);

    // Underscores typed as text (fill-in lines) are free room; drawn rules stay.
    rects.clear();
    std::size_t count = std::min(text.text.size(), text.boxes.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (text.text[i] != u'_' || text.boxes[i].isEmpty()) continue;
        Rect page = space.page(space.textBox(text.boxes[i]));
        Rect grown{page.x - 0.5, page.y - 1.0, page.width + 1.0, page.height + 2.0};
        rects.push_back(canvas.covered(space.display(grown)));
    }
    if (dirty) std::fill(map.sums_.begin(), map.sums_.end(), 0);
    dirty = canvas.fill(rects, 255, map.sums_);
    if (dirty) std::fill(map.sums_.begin(), map.sums_.end(), 0);

    const int threshold = faint ? faintInkThreshold : inkThreshold;
    for (int r = 0; r < height; ++r) {
        const std::uint8_t* row = canvas.pixels.data() + static_cast<std::size_t>(r) * width;
        const std::int32_t* above = map.sums_.data() + static_cast<std::size_t>(r) * stride;
        std::int32_t* out = map.sums_.data() + (static_cast<std::size_t>(r) + 1) * stride;
        std::int32_t running = 0;
        for (int c = 0; c < width; ++c) {
            running += row[c] < threshold ? 1 : 0;
            out[c + 1] = above[c + 1] + running;
        }
    }
    return map;
}

bool InkMap::isEmpty(const Rect& r) const {
    int x0 = pixel((r.minX() - box_.minX()) * ppp_, width_);
    int x1 = pixel((r.maxX() - box_.minX()) * ppp_, width_);
    int y0 = pixel((box_.maxY() - r.maxY()) * ppp_, height_);
    int y1 = pixel((box_.maxY() - r.minY()) * ppp_, height_);
    if (x0 >= x1 || y0 >= y1) return true;
    const std::size_t stride = static_cast<std::size_t>(width_) + 1;
    auto S = [&](int row, int column) {
        return static_cast<std::int64_t>(sums_[static_cast<std::size_t>(row) * stride + column]);
    };
    return S(y1, x1) - S(y0, x1) - S(y1, x0) + S(y0, x0) == 0;
}

std::optional<double> InkMap::rule(double x, const Rect& line, double lo, double hi) const {
    // The first free column within 3 pt: thicker ink is no rule.
    std::optional<double> clear;
    for (int k = 1; k <= 6; ++k) {
        double candidate = x + 0.5 * k;
        if (columnEmpty(candidate, line)) {
            clear = candidate;
            break;
        }
    }
    if (!clear) return std::nullopt;
    // A rule runs without a gap over the whole range.
    for (double y = lo; y <= hi - 1; y += 1)
        if (isEmpty({x, y, *clear - x, 1})) return std::nullopt;
    return clear;
}

std::optional<Rect> InkMap::cell(const Rect& label, double limit) const {
    const Rect& L = label;
    double inset = std::min(L.height * 0.25, 3.0);
    Rect band{L.x, L.y + inset, L.width, L.height - 2 * inset};
    // Past the map's right edge every column is free, so no border can follow there.
    const double edge = box_.maxX() + 1;

    double x = L.maxX() + 1;
    double xs;
    if (!std::isfinite(x) || limit <= x) return std::nullopt;
    if (columnEmpty(x, band)) {
        // Columns left of the map are free: go straight to its first whole step inside (a label
        // far off the page would otherwise take as many steps, or none at all once x + 1 == x).
        if (x < box_.minX()) x += std::ceil(box_.minX() - x);
        if (x >= limit) return std::nullopt;
        while (columnEmpty(x, band)) {
            x += 1;
            if (x >= limit || x > edge) return std::nullopt;
        }
        std::optional<double> clear = rule(x, band, L.minY(), L.maxY());
        if (!clear) return std::nullopt;
        xs = *clear;
    } else {
        // The label's own ink, or a border touching it.
        while (!columnEmpty(x, band)) {
            x += 1;
            if (x >= limit) return std::nullopt;
        }
        xs = x;
    }

    // A second border right after the first (a double rule).
    double start = xs + 1;
    double left = start;
    for (int k = 0; k <= 8; ++k) {
        double probe = start + 0.5 * k;
        if (!columnEmpty(probe, band)) {
            std::optional<double> clear = rule(probe, band, L.minY(), L.maxY());
            left = clear ? *clear + 1 : start;
            break;
        }
    }

    if (limit <= left) return std::nullopt;
    double x2 = left;
    while (columnEmpty(x2, band)) {
        x2 += 1;
        if (x2 >= limit || x2 > edge) return std::nullopt;
    }
    double w = x2 - left;
    if (w < 20) return std::nullopt;

    // The right border is a rule over the label's height.
    for (double y = L.minY(); y <= L.maxY() - 1; y += 1)
        if (isEmpty({x2, y, 1.5, 1})) return std::nullopt;

    double bottom = band.minY();
    while (bottom > box_.minY() && L.minY() - bottom < 200 && isEmpty({left, bottom - 1, w, 1}))
        bottom -= 1;
    double top = band.maxY();
    while (box_.maxY() > top && top - L.maxY() < 200 && isEmpty({left, top, w, 1})) top += 1;

    // Closed at the bottom and at the top.
    for (double cx = left; cx < x2 - 1; cx += 1)
        if (isEmpty({cx, bottom - 1, 1, 1.5})) return std::nullopt;
    for (double cx = left; cx < x2 - 1; cx += 1)
        if (isEmpty({cx, top, 1, 1.5})) return std::nullopt;

    return Rect{left, bottom, w, top - bottom};
}

std::optional<Rect> InkMap::emptyCell(Point P) const {
    if (!std::isfinite(P.x) || !std::isfinite(P.y)) return std::nullopt;
    // Off the map no border can be inked on every side.
    if (P.x < box_.minX() || P.x > box_.maxX() || P.y < box_.minY() || P.y > box_.maxY())
        return std::nullopt;
    Rect r{P.x - 0.5, P.y - 0.5, 1, 1};
    if (!isEmpty(r)) return std::nullopt;

    for (int pass = 0; pass < 2; ++pass) {
        while (r.minX() - 1 > box_.minX() && P.x - r.minX() < 300 &&
               isEmpty({r.minX() - 1, r.minY(), 1, r.height})) {
            r.x -= 1;
            r.width += 1;
        }
        while (r.maxX() + 1 < box_.maxX() && r.maxX() - P.x < 300 &&
               isEmpty({r.maxX(), r.minY(), 1, r.height}))
            r.width += 1;
        while (r.minY() - 1 > box_.minY() && P.y - r.minY() < 300 &&
               isEmpty({r.minX(), r.minY() - 1, r.width, 1})) {
            r.y -= 1;
            r.height += 1;
        }
        while (r.maxY() + 1 < box_.maxY() && r.maxY() - P.y < 300 &&
               isEmpty({r.minX(), r.maxY(), r.width, 1}))
            r.height += 1;
    }
    if (r.width >= 300 || r.height >= 300) return std::nullopt;

    for (double x = r.minX(); x < r.maxX() - 1; x += 1)
        if (isEmpty({x, r.minY() - 1, 1, 1.5})) return std::nullopt;
    for (double x = r.minX(); x < r.maxX() - 1; x += 1)
        if (isEmpty({x, r.maxY(), 1, 1.5})) return std::nullopt;
    for (double y = r.minY(); y < r.maxY() - 1; y += 1)
        if (isEmpty({r.minX() - 1.5, y, 1.5, 1})) return std::nullopt;
    for (double y = r.minY(); y < r.maxY() - 1; y += 1)
        if (isEmpty({r.maxX(), y, 1.5, 1})) return std::nullopt;
    return r;
}

std::vector<Rect> InkMap::cells(const Rect& header, int limit) const {
    std::vector<Rect> list;
    const double mid = header.midX();
    if (!std::isfinite(mid) || !std::isfinite(header.minY())) return list;
    auto free = [&](double y) { return isEmpty({mid - 0.5, y, 1, 1}); };

    // Down through the gap under the header.
    double y = header.minY();
    for (int step = 1; step <= 40 && y > box_.minY() && free(y - 1); ++step)
        y = header.minY() - step;
    if (y <= box_.minY()) return list;

    while (y > box_.minY()) {
        if (static_cast<int>(list.size()) >= limit) return list;
        // Across the rule.
        double yr = y;
        while (yr > box_.minY() && !free(yr - 1)) yr -= 0.5;
        if (y - yr <= 3) {
            if (std::optional<Rect> c = emptyCell({mid, yr - 1.5})) {
                list.push_back(*c);
                y = c->minY();
                continue;
            }
        }
        // A thick rule, or no cell right under it: look a little further down for a cell lined
        // up with the previous one.
        if (list.empty()) return list;
        const Rect prev = list.back();
        bool found = false;
        for (double yy = y - 1; yy > box_.minY() && y - yy < 40; yy -= 1) {
            std::optional<Rect> c = emptyCell({mid, yy});
            if (c && std::abs(c->minX() - prev.minX()) < 2 &&
                std::abs(c->maxX() - prev.maxX()) < 2) {
                list.push_back(*c);
                y = c->minY();
                found = true;
                break;
            }
        }
        if (!found) return list;
    }
    return list;
}
