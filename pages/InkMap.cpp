#include "pages/InkMap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// Pixel index of a position in pixels: rounded half away from zero, clamped to 0 ... n; a
// position that is not finite gives 0.
int pixel(double v, int n) {
    if (!std::isfinite(v)) return 0;
    // As std::round, without its library call: v rounds to 0 or less below 0.5 and to n or more
    // from n - 0.5; in between the part after the whole pixels is exact.
    if (!(v >= 0.5)) return 0;
    if (v >= n - 0.5) return n;
    const int whole = static_cast<int>(v);
    return v - whole >= 0.5 ? whole + 1 : whole;
}

// How far from each side of an empty cell w x h its borders are not checked: a rounded corner
// turns there. Corners are rounded by up to a quarter of the box's smaller side; the margin takes
// the border's width and its pixels. Never more than leaves a point to check.
double cornerOf(double w, double h) {
    const double side = std::min(w, h);
    const double corner = std::max(std::min(InkMap::cornerReach, w / 8), side / 4 + 1.5);
    return std::max(0.0, std::min(corner, (side - 1) / 2));
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
    std::optional<Rendering> rendering = render(pages, pageIndex, space);
    if (!rendering) return std::nullopt;
    return make(*rendering, text, space, annotations, faint);
}

std::optional<InkMap::Rendering> InkMap::render(const PageSource& pages, int pageIndex,
                                                const DisplaySpace& space) {
    if (!sizeAllowed(space.bounds)) return std::nullopt;
    const double pixels = roundedPixels(space.bounds);
    // A page larger than A1 (a photo or a poster) is drawn and mapped at 1 pixel per point.
    const double ppp = pixels <= coarsePixels ? scale : scale / 2;
    const double drawn = pixels <= coarsePixels ? pixels
                                                : std::ceil(ppp * space.bounds.width) *
                                                      std::ceil(ppp * space.bounds.height);
    std::optional<GreyImage> image =
        pages.render(pageIndex, ppp, static_cast<std::int64_t>(drawn) + 1);
    if (!image) return std::nullopt;
    return Rendering{std::move(*image), ppp};
}

std::optional<InkMap> InkMap::make(const Rendering& rendering, const PageText& text,
                                   const DisplaySpace& space,
                                   const std::vector<PageAnnotation>& annotations, bool faint) {
    return build(rendering.image, rendering.ppp, text, space, annotations, faint);
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

// Shapes as pixel rectangles, listed in square buckets of the map so that a small rectangle is
// tested against the few shapes near it.
struct InkMap::Shapes {
    static constexpr int bucket = 64;  // pixels
    struct Box {
        PixelRect pixels;
        Shape::Kind kind;
    };
    // A bucket's pixels as summed-area tables of certain, doubtful and strict ink, made when a
    // question first reaches the bucket.
    struct Tile {
        static constexpr int side = bucket + 1;
        std::uint16_t certain[side * side];
        std::uint16_t doubtful[side * side];
        std::uint16_t strict[side * side];
    };
    // A box's part within one bucket, in the bucket's own pixels [0, bucket].
    struct Entry {
        std::uint8_t x0, x1, y0, y1;
        std::uint8_t kind;  // a Shape::Kind
    };
    std::vector<Box> boxes;  // while the map is made
    // Whether any box is doubtful or strict, and whether any is strict.
    bool anyDoubt = false;
    bool anyStrict = false;
    int columns = 0;
    int rows = 0;
    // The entries of bucket k (rows x columns, row-major) are entries[first[k] ..< first[k + 1]],
    // stored together so that a question reads a bucket's boxes in one run of memory, from the
    // top down (by y0), so that it stops at the first below it.
    std::vector<std::uint32_t> first;
    std::vector<Entry> entries;
    mutable std::vector<std::unique_ptr<Tile>> tiles;  // per bucket, once asked
    // Per bucket, whether its tile holds a rendering of its pixels (InkMap::settle) rather than
    // its boxes.
    mutable std::vector<std::uint8_t> settled;
    int threshold = InkMap::inkThreshold;
    std::size_t strictBuckets = 0;  // buckets that hold strict ink
    // Boxes of each bucket tested one by one so far. A bucket's few boxes answer a question
    // sooner than its tables can be made; once the questions have cost about as much as making
    // them, the bucket gets its tile.
    static constexpr std::size_t tileCost = 8 * 1024;
    mutable std::vector<std::uint32_t> tested;

    const Tile& tile(int row, int column) const {
        const std::size_t at = static_cast<std::size_t>(row) * columns + column;
        std::unique_ptr<Tile>& t = tiles[at];
        if (t) return *t;
        t = std::make_unique<Tile>();
        std::uint8_t marks[3][bucket * bucket] = {};
        for (std::uint32_t k = first[at]; k < first[at + 1]; ++k) {
            const Entry& e = entries[k];
            std::uint8_t* layer = marks[e.kind];
            for (int y = e.y0; y < e.y1; ++y)
                std::memset(layer + y * bucket + e.x0, 1, static_cast<std::size_t>(e.x1 - e.x0));
        }
        std::uint16_t* tables[3] = {t->certain, t->doubtful, t->strict};
        for (int layer = 0; layer < 3; ++layer) {
            std::uint16_t* sums = tables[layer];
            std::fill(sums, sums + Tile::side, 0);
            for (int y = 0; y < bucket; ++y) {
                std::uint16_t* out = sums + (y + 1) * Tile::side;
                const std::uint16_t* above = out - Tile::side;
                out[0] = 0;
                std::uint16_t running = 0;
                for (int x = 0; x < bucket; ++x) {
                    running = static_cast<std::uint16_t>(running + marks[layer][y * bucket + x]);
                    out[x + 1] = static_cast<std::uint16_t>(above[x + 1] + running);
                }
            }
        }
        return *t;
    }
};

namespace {

// Buckets entries of one map: a page-sized shape is listed in every bucket of its page (about
// 2,000 for A4), so this allows a few hundred of them.
constexpr std::size_t maxBucketEntries = 1'000'000;
// Boxes tested against light paint over them, summed over the paints of one map.
constexpr std::size_t maxClearing = 10'000'000;

// The pixels [first, last) along one axis that a doubtful shape over [a, b] (in pixels) may
// darken: those it covers by more than half; a shape thinner than a pixel is one pixel wide.
std::pair<int, int> doubtfulPixels(double a, double b, int n) {
    if (!std::isfinite(a) || !std::isfinite(b) || b < a) return {0, 0};
    if (b - a < 1) {
        const double mid = (a + b) / 2;
        a = mid - 0.5;
        b = mid + 0.5;
    }
    double first = std::floor(a);
    if (std::min(b, first + 1) - a <= 0.5) first += 1;
    double last = std::ceil(b);  // exclusive
    if (b - std::max(a, last - 1) <= 0.5) last -= 1;
    first = std::clamp(first, 0.0, static_cast<double>(n));
    last = std::clamp(last, 0.0, static_cast<double>(n));
    return {static_cast<int>(first), static_cast<int>(last)};
}

// The renderer's anti-aliasing takes 4 x 4 samples a pixel, and a pixel with k of its 16 samples
// covered takes round(255 x (k / 16)^1.5) / 255 of the paint.
constexpr int samplesPerPixel = 4;
const std::array<double, 17>& sampleAlpha() {
    static const std::array<double, 17> alpha = [] {
        std::array<double, 17> a{};
        for (int k = 0; k <= 16; ++k) a[k] = std::round(255 * std::pow(k / 16.0, 1.5));
        return a;
    }();
    return alpha;
}

// Pixels along one axis that a shape over [a, b] (in pixels) covers, in runs, each pixel of a run
// with the same count of samples taken along this axis, 1 ... samplesPerPixel.
struct Span {
    int first, last;  // pixels [first, last)
    int samples;
};

int spansOf(double a, double b, int n, InkMap::Shape::Edges edges, std::array<Span, 3>& out) {
    int count = 0;
    auto push = [&](double first, double last, double samples) {
        first = std::clamp(first, 0.0, static_cast<double>(n));
        last = std::clamp(last, 0.0, static_cast<double>(n));
        if (first < last)
            out[count++] = {static_cast<int>(first), static_cast<int>(last),
                            static_cast<int>(samples)};
    };
    switch (edges) {
        case InkMap::Shape::Edges::adjusted: {
            // Edges rounded half up to whole pixels; a shape that rounds to nothing keeps one.
            const double first = std::floor(a + 0.5);
            double last = std::floor(b + 0.5);
            if (last == first) last += 1;
            push(first, last, samplesPerPixel);
            break;
        }
        case InkMap::Shape::Edges::hairline:
            push(std::floor(a), std::floor(b) + 1, samplesPerPixel);
            break;
        case InkMap::Shape::Edges::antialiased: {
            // The samples from the one that holds a to the one that holds b, both taken.
            const double s0 = std::floor(samplesPerPixel * a), s1 = std::floor(samplesPerPixel * b);
            const double p0 = std::floor(s0 / samplesPerPixel),
                         p1 = std::floor(s1 / samplesPerPixel);
            if (p0 == p1) {
                push(p0, p0 + 1, s1 - s0 + 1);
            } else {
                push(p0, p0 + 1, samplesPerPixel * (p0 + 1) - s0);
                push(p0 + 1, p1, samplesPerPixel);
                push(p1, p1 + 1, s1 - samplesPerPixel * p1 + 1);
            }
            break;
        }
    }
    return count;
}

// An edge this close to a pixel or sample boundary, and not on it, may fall on either side of it
// in the renderer, whose arithmetic is not this one's (a coordinate written 0.45 is no exact
// binary number, and the two round it on different paths).
constexpr double roundingNoise = 1e-6;  // pixels

// The pixels along one axis that a shape over [a, b] (in pixels) covers: runs of pixels with the
// fewest and the most samples of each that it may take along this axis, fewest < most where an
// edge lies within rounding noise of a boundary.
struct AxisRun {
    int first, last;  // pixels [first, last)
    int fewest, most;
};
struct AxisRuns {
    std::array<AxisRun, 15> run{};
    int count = 0;

    // The pixels [first, last) that every sample along this axis certainly covers (`certainly`)
    // or may cover.
    std::pair<int, int> whole(bool certainly) const {
        int first = 0, last = 0;
        for (int k = 0; k < count; ++k) {
            if ((certainly ? run[k].fewest : run[k].most) != samplesPerPixel) continue;
            if (first == last) first = run[k].first;
            last = run[k].last;
        }
        return {first, last};
    }
};

AxisRuns axisRuns(double a, double b, int n, InkMap::Shape::Edges edges) {
    AxisRuns out;
    if (!std::isfinite(a) || !std::isfinite(b) || b < a) return out;
    // Far off the map only where a run starts or ends matters, and only that it is off.
    a = std::clamp(a, -2.0, n + 2.0);
    b = std::clamp(b, -2.0, n + 2.0);
    // Boundaries the rule takes an edge to: whole pixels, half pixels when it rounds, or samples.
    const double unit = edges == InkMap::Shape::Edges::antialiased ? samplesPerPixel : 1;
    const double offset = edges == InkMap::Shape::Edges::adjusted ? 0.5 : 0;
    auto sides = [&](double v) -> std::pair<double, double> {
        const double at = v * unit + offset, boundary = std::round(at);
        if (at != boundary && std::abs(at - boundary) < roundingNoise * unit)
            return {v - roundingNoise, v + roundingNoise};
        return {v, v};
    };
    const auto [a0, a1] = sides(a);
    const auto [b0, b1] = sides(b);
    // Each way the edges may fall, and the pixels between the cuts of all of them.
    std::array<std::array<Span, 3>, 4> spans{};
    std::array<int, 4> counts{};
    std::array<int, 24> cuts{};
    int cutCount = 0, ways = 0;
    for (double from : {a0, a1})
        for (double to : {b0, b1}) {
            counts[ways] = spansOf(std::min(from, to), std::max(from, to), n, edges, spans[ways]);
            for (int k = 0; k < counts[ways]; ++k) {
                cuts[cutCount++] = spans[ways][k].first;
                cuts[cutCount++] = spans[ways][k].last;
            }
            ++ways;
        }
    std::sort(cuts.begin(), cuts.begin() + cutCount);
    cutCount = static_cast<int>(std::unique(cuts.begin(), cuts.begin() + cutCount) - cuts.begin());
    for (int c = 0; c + 1 < cutCount; ++c) {
        int fewest = samplesPerPixel, most = 0;
        for (int k = 0; k < ways; ++k) {
            int samples = 0;
            for (int r = 0; r < counts[k]; ++r)
                if (spans[k][r].first <= cuts[c] && cuts[c] < spans[k][r].last)
                    samples = spans[k][r].samples;
            fewest = std::min(fewest, samples);
            most = std::max(most, samples);
        }
        if (most == 0) continue;
        AxisRun* last = out.count > 0 ? &out.run[out.count - 1] : nullptr;
        if (last && last->last == cuts[c] && last->fewest == fewest && last->most == most)
            last->last = cuts[c + 1];
        else
            out.run[out.count++] = {cuts[c], cuts[c + 1], fewest, most};
    }
    return out;
}

bool overlaps(const PixelRect& a, const PixelRect& b) {
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

}  // namespace

std::optional<InkMap> InkMap::make(const std::vector<Shape>& shapes, const PageText& text,
                                   const DisplaySpace& space,
                                   const std::vector<PageAnnotation>& annotations, bool faint) {
    const Rect box = space.bounds;
    if (!sizeAllowed(box) || shapes.size() > maxShapes) return std::nullopt;
    const double ppp = roundedPixels(box) <= coarsePixels ? scale : scale / 2;
    InkMap map;
    map.box_ = box;
    map.ppp_ = ppp;
    map.width_ = static_cast<int>(std::ceil(ppp * box.width));
    map.height_ = static_cast<int>(std::ceil(ppp * box.height));
    auto all = std::make_shared<Shapes>();
    const int threshold = faint ? faintInkThreshold : inkThreshold;
    // The share of a pixel a shape of full darkness covers for the pixel to be ink.
    const double share = (255.0 - threshold) / 255.0;
    Canvas canvas{box, ppp, map.width_, map.height_, {}};
    // Light paint over ink clears the pixels it covers whole; the ink around stays. Ink it may
    // or may not clear (its edge within rounding noise of a pixel's) is doubtful.
    std::size_t clearing = 0;
    auto paintOver = [&](const PixelRect& c, bool clears) {
        if (c.isEmpty()) return true;
        const std::size_t before = all->boxes.size();
        clearing += before;
        if (clearing > maxClearing) return false;
        for (std::size_t k = 0; k < before; ++k) {
            Shapes::Box& b = all->boxes[k];
            if (b.kind == Shape::Kind::doubtful || !overlaps(b.pixels, c)) continue;
            if (!clears && b.kind == Shape::Kind::strict) continue;
            const PixelRect p = b.pixels;
            const PixelRect inside{std::max(p.x0, c.x0), std::min(p.x1, c.x1), std::max(p.y0, c.y0),
                                   std::min(p.y1, c.y1)};
            // What is left of the box: the bands above and below, the parts left and right.
            const PixelRect parts[] = {{p.x0, p.x1, p.y0, inside.y0},
                                       {p.x0, p.x1, inside.y1, p.y1},
                                       {p.x0, inside.x0, inside.y0, inside.y1},
                                       {inside.x1, p.x1, inside.y0, inside.y1}};
            const Shape::Kind kind = b.kind;
            b.pixels = {0, 0, 0, 0};
            for (const PixelRect& part : parts)
                if (!part.isEmpty()) all->boxes.push_back({part, kind});
            if (!clears) all->boxes.push_back({inside, Shape::Kind::doubtful});
        }
        return all->boxes.size() <= maxShapes;
    };
    auto clear = [&](const AxisRuns& xs, const AxisRuns& ys) {
        const auto [x0, x1] = xs.whole(true);
        const auto [y0, y1] = ys.whole(true);
        const auto [mx0, mx1] = xs.whole(false);
        const auto [my0, my1] = ys.whole(false);
        return paintOver({x0, x1, y0, y1}, true) && paintOver({mx0, mx1, my0, my1}, false);
    };
    const std::array<double, 17>& alpha = sampleAlpha();
    auto add = [&](const Shape& shape) {
        const Rect& r = shape.rect;
        const double x0 = (r.minX() - box.minX()) * ppp, x1 = (r.maxX() - box.minX()) * ppp;
        const double y0 = (box.maxY() - r.maxY()) * ppp, y1 = (box.maxY() - r.minY()) * ppp;
        if (shape.kind == Shape::Kind::doubtful) {
            // Doubtful ink only bounds where ink may be: its pixels are those it covers by half.
            if (!(shape.darkness > share)) return true;
            auto [px0, px1] = doubtfulPixels(x0, x1, map.width_);
            auto [py0, py1] = doubtfulPixels(y0, y1, map.height_);
            const PixelRect p{px0, px1, py0, py1};
            if (!p.isEmpty()) all->boxes.push_back({p, shape.kind});
            return true;
        }
        const AxisRuns xs = axisRuns(x0, x1, map.width_, shape.edges);
        const AxisRuns ys = axisRuns(y0, y1, map.height_, shape.edges);
        if (!(shape.darkness > share)) return shape.kind != Shape::Kind::certain || clear(xs, ys);
        // Ink where the paint the pixel takes darkens it past the threshold; doubtful where it
        // may or may not.
        auto dark = [&](int samples) {
            return alpha[static_cast<std::size_t>(samples)] * shape.darkness > 255.0 - threshold;
        };
        for (int i = 0; i < xs.count; ++i)
            for (int k = 0; k < ys.count; ++k) {
                const AxisRun &x = xs.run[i], &y = ys.run[k];
                const PixelRect p{x.first, x.last, y.first, y.last};
                if (dark(x.fewest * y.fewest))
                    all->boxes.push_back({p, shape.kind});
                else if (dark(x.most * y.most))
                    all->boxes.push_back({p, shape.kind == Shape::Kind::certain
                                                 ? Shape::Kind::doubtful
                                                 : shape.kind});
            }
        return true;
    };
    for (const Shape& shape : shapes)
        if (!add(shape)) return std::nullopt;
    // Annotations as a rendered map paints them: their edges rounded to whole pixels.
    for (const PageAnnotation& annotation : annotations)
        if (annotation.subtype != "Link")
            all->boxes.push_back(
                {canvas.covered(space.display(annotation.rect)), Shape::Kind::certain});
    std::erase_if(all->boxes, [](const Shapes::Box& b) { return b.pixels.isEmpty(); });

    // Typed underscores are cleared in a rendered map; here they may only lie over doubt.
    const std::size_t count = std::min(text.text.size(), text.boxes.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (text.text[i] != u'_' || text.boxes[i].isEmpty()) continue;
        Rect page = space.page(space.textBox(text.boxes[i]));
        Rect grown{page.x - 0.5, page.y - 1.0, page.width + 1.0, page.height + 2.0};
        PixelRect cleared = canvas.covered(space.display(grown));
        for (const Shapes::Box& b : all->boxes)
            if (b.kind != Shape::Kind::doubtful && overlaps(b.pixels, cleared))
                return std::nullopt;
    }

    all->columns = (map.width_ + Shapes::bucket - 1) / Shapes::bucket;
    all->rows = (map.height_ + Shapes::bucket - 1) / Shapes::bucket;
    const std::size_t bucketCount =
        static_cast<std::size_t>(all->columns) * static_cast<std::size_t>(all->rows);
    all->tiles.resize(bucketCount);
    all->settled.resize(bucketCount);
    all->threshold = threshold;
    all->tested.resize(bucketCount);
    // Counted per bucket first, then placed: each bucket's entries in one run.
    constexpr int B = Shapes::bucket;
    std::vector<std::uint32_t>& first = all->first;
    first.assign(bucketCount + 1, 0);
    std::size_t entries = 0;
    for (const Shapes::Box& b : all->boxes) {
        const PixelRect& p = b.pixels;
        const int c0 = p.x0 / B, c1 = (p.x1 - 1) / B;
        const int r0 = p.y0 / B, r1 = (p.y1 - 1) / B;
        entries += static_cast<std::size_t>(c1 - c0 + 1) * static_cast<std::size_t>(r1 - r0 + 1);
        if (entries > maxBucketEntries) return std::nullopt;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                ++first[static_cast<std::size_t>(r) * all->columns + c + 1];
    }
    for (std::size_t k = 0; k < bucketCount; ++k) first[k + 1] += first[k];
    all->entries.resize(entries);
    std::vector<std::uint32_t> next(first.begin(), first.end() - 1);
    for (const Shapes::Box& b : all->boxes) {
        const PixelRect& p = b.pixels;
        const int c0 = p.x0 / B, c1 = (p.x1 - 1) / B;
        const int r0 = p.y0 / B, r1 = (p.y1 - 1) / B;
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) {
                const int ox = c * B, oy = r * B;
                all->entries[next[static_cast<std::size_t>(r) * all->columns + c]++] = {
                    static_cast<std::uint8_t>(std::max(p.x0 - ox, 0)),
                    static_cast<std::uint8_t>(std::min(p.x1 - ox, B)),
                    static_cast<std::uint8_t>(std::max(p.y0 - oy, 0)),
                    static_cast<std::uint8_t>(std::min(p.y1 - oy, B)),
                    static_cast<std::uint8_t>(b.kind)};
            }
    }
    for (std::size_t k = 0; k < bucketCount; ++k) {
        std::sort(all->entries.begin() + first[k], all->entries.begin() + first[k + 1],
                  [](const Shapes::Entry& a, const Shapes::Entry& b) { return a.y0 < b.y0; });
        if (std::any_of(all->entries.begin() + first[k], all->entries.begin() + first[k + 1],
                        [](const Shapes::Entry& e) {
                            return e.kind == static_cast<std::uint8_t>(Shape::Kind::strict);
                        }))
            ++all->strictBuckets;
    }
    for (const Shapes::Box& b : all->boxes) {
        all->anyDoubt = all->anyDoubt || b.kind != Shape::Kind::certain;
        all->anyStrict = all->anyStrict || b.kind == Shape::Kind::strict;
    }
    std::vector<Shapes::Box>().swap(all->boxes);
    map.shapes_ = std::move(all);
    return map;
}

bool InkMap::shapesEmpty(int x0, int x1, int y0, int y1) const {
    const Shapes& s = *shapes_;
    constexpr int B = Shapes::bucket;
    bool doubtful = false, strict = false;
    const int c0 = x0 / B, c1 = (x1 - 1) / B;
    const int r0 = y0 / B, r1 = (y1 - 1) / B;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            const std::size_t at = static_cast<std::size_t>(r) * s.columns + c;
            const std::uint32_t begin = s.first[at], end = s.first[at + 1];
            if (begin == end && !s.settled[at]) continue;
            // The rectangle's part within this bucket, in the bucket's pixels.
            const int ax = std::max(x0 - c * B, 0), bx = std::min(x1 - c * B, B);
            const int ay = std::max(y0 - r * B, 0), by = std::min(y1 - r * B, B);
            const std::size_t size = end - begin;
            if (!s.tiles[at] && size <= Shapes::tileCost - s.tested[at]) {
                // The bucket's parts of boxes themselves: one that meets the rectangle's part is
                // ink there.
                const Shapes::Entry* e = s.entries.data() + begin;
                std::size_t k = 0;
                for (; k < size && e[k].y0 < by; ++k) {
                    if (e[k].x0 >= bx || ax >= e[k].x1 || ay >= e[k].y1) continue;
                    const auto kind = static_cast<Shape::Kind>(e[k].kind);
                    if (kind == Shape::Kind::certain) {
                        s.tested[at] += static_cast<std::uint32_t>(k + 1);
                        return false;
                    }
                    doubtful = true;
                    if (kind == Shape::Kind::strict) strict = true;
                }
                s.tested[at] += static_cast<std::uint32_t>(k);
                continue;
            }
            const Shapes::Tile& t = s.tile(r, c);
            constexpr int side = Shapes::Tile::side;
            auto sum = [&](const std::uint16_t* table) {
                return table[by * side + bx] - table[ay * side + bx] - table[by * side + ax] +
                       table[ay * side + ax];
            };
            if (sum(t.certain) != 0) return false;
            if (sum(t.strict) != 0) strict = doubtful = true;
            else if (!doubtful && sum(t.doubtful) != 0) doubtful = true;
        }
    if (!doubtful) return true;
    // The buckets the rectangle reaches hold the doubt that decided the answer.
    if (doubtC0_ > doubtC1_) {
        doubtC0_ = c0;
        doubtC1_ = c1;
        doubtR0_ = r0;
        doubtR1_ = r1;
    } else {
        doubtC0_ = std::min(doubtC0_, c0);
        doubtC1_ = std::max(doubtC1_, c1);
        doubtR0_ = std::min(doubtR0_, r0);
        doubtR1_ = std::max(doubtR1_, r1);
    }
    doubted_ = true;
    strictlyDoubted_ = strictlyDoubted_ || strict;
    return !doubtAsInk_;
}

InkMap::Slice InkMap::Slice::united(const Slice& other) const {
    if (width <= 0 || height <= 0) return other;
    if (other.width <= 0 || other.height <= 0) return *this;
    const int left = std::min(x, other.x), top = std::min(y, other.y);
    const int right = std::max(x + width, other.x + other.width);
    const int bottom = std::max(y + height, other.y + other.height);
    return {left, top, right - left, bottom - top};
}

double InkMap::strictShare() const {
    if (!shapes_ || shapes_->tiles.empty()) return 0;
    return static_cast<double>(shapes_->strictBuckets) /
           static_cast<double>(shapes_->tiles.size());
}

std::optional<InkMap::Slice> InkMap::doubtfulSlice() const {
    if (!shapes_ || doubtC0_ > doubtC1_ || doubtR0_ > doubtR1_) return std::nullopt;
    constexpr int B = Shapes::bucket;
    const int x = doubtC0_ * B, y = doubtR0_ * B;
    return Slice{x, y, std::min((doubtC1_ + 1) * B, width_) - x,
                 std::min((doubtR1_ + 1) * B, height_) - y};
}

void InkMap::settle(const Slice& slice, const GreyImage& rendered, const PageText& text,
                    const DisplaySpace& space, const std::vector<PageAnnotation>& annotations) {
    if (!shapes_) return;
    const Shapes& s = *shapes_;
    constexpr int B = Shapes::bucket;
    // The buckets wholly within the slice (a bucket at the map's edge ends there).
    const int x0 = std::max(slice.x, 0), y0 = std::max(slice.y, 0);
    const int x1 = std::min(slice.x + std::max(slice.width, 0), width_);
    const int y1 = std::min(slice.y + std::max(slice.height, 0), height_);
    const int c0 = (x0 + B - 1) / B, r0 = (y0 + B - 1) / B;
    const int c1 = x1 == width_ ? s.columns : x1 / B, r1 = y1 == height_ ? s.rows : y1 / B;
    if (c0 >= c1 || r0 >= r1) return;
    // Their pixels, as a rendered map has them: the rendering, annotations but links inked over
    // their rectangles, then typed underscores cleared.
    Canvas canvas{box_, ppp_, width_, height_, {}};
    const int px0 = c0 * B, py0 = r0 * B;
    const int px1 = std::min(c1 * B, width_), py1 = std::min(r1 * B, height_);
    const int w = px1 - px0, h = py1 - py0;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h),
                                     255);
    const bool whole = rendered.width > 0 && rendered.height > 0 &&
                       rendered.pixels.size() >= static_cast<std::size_t>(rendered.width) *
                                                     static_cast<std::size_t>(rendered.height);
    if (whole)
        for (int row = py0; row < py1; ++row) {
            const int from = row - slice.y;
            if (from < 0 || from >= rendered.height) continue;
            const int first = std::max(px0, slice.x), last = std::min(px1, slice.x + rendered.width);
            if (first >= last) continue;
            std::memcpy(pixels.data() + static_cast<std::size_t>(row - py0) * w + (first - px0),
                        rendered.pixels.data() + static_cast<std::size_t>(from) * rendered.width +
                            (first - slice.x),
                        static_cast<std::size_t>(last - first));
        }
    auto paint = [&](const PixelRect& p, std::uint8_t grey) {
        const int a0 = std::max(p.x0, px0), a1 = std::min(p.x1, px1);
        const int b0 = std::max(p.y0, py0), b1 = std::min(p.y1, py1);
        for (int row = b0; row < b1; ++row)
            if (a0 < a1)
                std::memset(pixels.data() + static_cast<std::size_t>(row - py0) * w + (a0 - px0),
                            grey, static_cast<std::size_t>(a1 - a0));
    };
    for (const PageAnnotation& annotation : annotations)
        if (annotation.subtype != "Link") paint(canvas.covered(space.display(annotation.rect)), 0);
    const std::size_t count = std::min(text.text.size(), text.boxes.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (text.text[i] != u'_' || text.boxes[i].isEmpty()) continue;
        Rect page = space.page(space.textBox(text.boxes[i]));
        Rect grown{page.x - 0.5, page.y - 1.0, page.width + 1.0, page.height + 2.0};
        paint(canvas.covered(space.display(grown)), 255);
    }
    // Each bucket's tile from its pixels: certain ink only.
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c) {
            auto tile = std::make_unique<Shapes::Tile>();
            std::fill(std::begin(tile->doubtful), std::end(tile->doubtful), 0);
            std::fill(std::begin(tile->strict), std::end(tile->strict), 0);
            std::uint16_t* sums = tile->certain;
            constexpr int side = Shapes::Tile::side;
            std::fill(sums, sums + side, 0);
            for (int y = 0; y < B; ++y) {
                std::uint16_t* out = sums + (y + 1) * side;
                const std::uint16_t* above = out - side;
                out[0] = 0;
                std::uint16_t running = 0;
                const int row = r * B + y;
                for (int x = 0; x < B; ++x) {
                    const int column = c * B + x;
                    if (row < py1 && column < px1 &&
                        pixels[static_cast<std::size_t>(row - py0) * w + (column - px0)] <
                            s.threshold)
                        ++running;
                    out[x + 1] = static_cast<std::uint16_t>(above[x + 1] + running);
                }
            }
            const std::size_t at = static_cast<std::size_t>(r) * s.columns + c;
            s.tiles[at] = std::move(tile);
            s.settled[at] = 1;
        }
}

bool InkMap::doubtSettled() const {
    return !shapes_ || ((doubted_ || !shapes_->anyDoubt) &&
                        (strictlyDoubted_ || !shapes_->anyStrict));
}

bool InkMap::isEmpty(const Rect& r) const {
    return spanEmpty(r.minX(), r.maxX(), r.minY(), r.maxY());
}

bool InkMap::spanEmpty(double minX, double maxX, double minY, double maxY) const {
    int x0 = pixel((minX - box_.minX()) * ppp_, width_);
    int x1 = pixel((maxX - box_.minX()) * ppp_, width_);
    int y0 = pixel((box_.maxY() - maxY) * ppp_, height_);
    int y1 = pixel((box_.maxY() - minY) * ppp_, height_);
    if (x0 >= x1 || y0 >= y1) return true;
    if (shapes_) return shapesEmpty(x0, x1, y0, y1);
    const std::size_t stride = static_cast<std::size_t>(width_) + 1;
    auto S = [&](int row, int column) {
        return static_cast<std::int64_t>(sums_[static_cast<std::size_t>(row) * stride + column]);
    };
    return S(y1, x1) - S(y0, x1) - S(y1, x0) + S(y0, x0) == 0;
}

template <typename Stop>
bool InkMap::skipEmptyColumns(double& x, const Rect& band, Stop stop) const {
    // Column k + 1 starts where column k ends (both x_k + 1), so the pixels of consecutive
    // columns are contiguous and their union is empty exactly when each column is. Up to `block`
    // columns the loop would test are tried at once; an answer that is not empty is taken back,
    // doubt included, and its columns tested one by one (one of them is not empty).
    constexpr int block = 16;
    for (;;) {
        double last = x;
        int n = 1;
        while (n < block && !stop(last + 1)) {
            last += 1;
            ++n;
        }
        if (n > 1) {
            const bool doubted = doubted_, strictly = strictlyDoubted_;
            if (spanEmpty(x, last + 1, band.minY(), band.maxY())) {
                x = last + 1;
                if (stop(x)) return false;
                continue;
            }
            doubted_ = doubted;
            strictlyDoubted_ = strictly;
        }
        for (int k = 0; k < n; ++k) {
            if (!columnEmpty(x, band)) return true;
            x += 1;
            if (stop(x)) return false;
        }
    }
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
    // The left border's columns [first, second), when it is a rule of its own.
    std::optional<std::pair<double, double>> leftRule;
    if (!std::isfinite(x) || limit <= x) return std::nullopt;
    if (columnEmpty(x, band)) {
        // Columns left of the map are free: go straight to its first whole step inside (a label
        // far off the page would otherwise take as many steps, or none at all once x + 1 == x).
        if (x < box_.minX()) x += std::ceil(box_.minX() - x);
        if (x >= limit) return std::nullopt;
        if (!skipEmptyColumns(x, band, [&](double at) { return at >= limit || at > edge; }))
            return std::nullopt;
        // A rule across the band; over the rest of the label's height it is checked once the
        // cell's corners are known.
        std::optional<double> clear = rule(x, band, band.minY(), band.maxY());
        if (!clear) return std::nullopt;
        leftRule = {x, *clear};
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
    if (!skipEmptyColumns(x2, band, [&](double at) { return at >= limit || at > edge; }))
        return std::nullopt;
    double w = x2 - left;
    if (w < 20) return std::nullopt;

    // The right border is inked in the middle of the label's height (and, once the corners are
    // known, over all of it).
    if (isEmpty({x2, L.midY() - 0.5, 1.5, 1})) return std::nullopt;

    // The top and bottom borders, sought through the middle third of the cell, where no rounded
    // corner reaches, and checked between the cell's corners: a box with rounded corners is the
    // same cell as a square one, whatever the renderer makes of its curves.
    const double probe = left + w / 3, probeWidth = w / 3;
    double bottom = band.minY();
    while (bottom > box_.minY() && L.minY() - bottom < 200 &&
           isEmpty({probe, bottom - 1, probeWidth, 1}))
        bottom -= 1;
    double top = band.maxY();
    while (box_.maxY() > top && top - L.maxY() < 200 && isEmpty({probe, top, probeWidth, 1}))
        top += 1;
    const double corner = cornerOf(w, top - bottom);
    const double from = left + corner, span = w - 2 * corner;
    // Empty between the corners, across and along.
    if (!isEmpty({from, bottom, span, top - bottom}) ||
        !isEmpty({left, bottom + corner, w, top - bottom - 2 * corner}))
        return std::nullopt;

    // Closed at the bottom and at the top.
    for (double cx = from; cx < from + span - 1; cx += 1)
        if (isEmpty({cx, bottom - 1, 1, 1.5})) return std::nullopt;
    for (double cx = from; cx < from + span - 1; cx += 1)
        if (isEmpty({cx, top, 1, 1.5})) return std::nullopt;

    // The side borders are rules over the label's height, but where a rounded corner turns.
    auto inCorner = [&](double y) {
        return (y + 1 > bottom - cornerBorder && y < bottom + corner) ||
               (y + 1 > top - corner && y < top + cornerBorder);
    };
    for (double y = L.minY(); y <= L.maxY() - 1; y += 1) {
        if (inCorner(y)) continue;
        if (isEmpty({x2, y, 1.5, 1})) return std::nullopt;
        if (leftRule && isEmpty({leftRule->first, y, leftRule->second - leftRule->first, 1}))
            return std::nullopt;
    }

    return Rect{left, bottom, w, top - bottom};
}

std::optional<Rect> InkMap::emptyCell(Point P) const {
    if (!std::isfinite(P.x) || !std::isfinite(P.y)) return std::nullopt;
    // Off the map no border can be inked on every side.
    if (P.x < box_.minX() || P.x > box_.maxX() || P.y < box_.minY() || P.y > box_.maxY())
        return std::nullopt;
    Rect r{P.x - 0.5, P.y - 0.5, 1, 1};
    if (!isEmpty(r)) return std::nullopt;

    // Each side moves out one point at a time while the strip it would take in is empty. Up to
    // `block` strips are tried at once first: their union is empty exactly when each is (their
    // pixels are contiguous), and an answer that is not empty is taken back, doubt included.
    constexpr int block = 16;
    auto blockEmpty = [&](const Rect& strips) {
        const bool doubted = doubted_, strictly = strictlyDoubted_;
        if (isEmpty(strips)) return true;
        doubted_ = doubted;
        strictlyDoubted_ = strictly;
        return false;
    };
    // grow(can, strips, take): `can(t)` whether the side of t may move once more, `strips(n)` the
    // union of the next n strips from r, `take(t)` t moved once.
    auto grow = [&](auto can, auto strips, auto take) {
        for (;;) {
            Rect t = r;
            int allowed = 0;
            while (allowed < block && can(t)) {
                take(t);
                ++allowed;
            }
            if (allowed == 0) return;
            if (allowed > 1 && blockEmpty(strips(allowed))) {
                r = t;
                continue;
            }
            // A strip of the block is not empty: the strips are tested one by one up to it (a
            // block tried from any of them would hold it and be taken back as well).
            for (int k = 0; k < allowed; ++k) {
                if (k > 0 && !can(r)) return;
                if (!isEmpty(strips(1))) return;
                take(r);
            }
        }
    };
    // A rectangle too large for a cell only grows on. Its answer is already nothing; what the
    // rest of its growth would test can only tell whether doubt was met, so once that is settled
    // it is not tested.
    auto tooLarge = [&] { return (r.width >= 300 || r.height >= 300) && doubtSettled(); };
    auto growLeft = [&] {
        grow([&](const Rect& t) { return t.minX() - 1 > box_.minX() && P.x - t.minX() < 300; },
             [&](int n) { return Rect{r.minX() - n, r.minY(), static_cast<double>(n), r.height}; },
             [](Rect& t) {
                 t.x -= 1;
                 t.width += 1;
             });
    };
    auto growRight = [&] {
        grow([&](const Rect& t) { return t.maxX() + 1 < box_.maxX() && t.maxX() - P.x < 300; },
             [&](int n) { return Rect{r.maxX(), r.minY(), static_cast<double>(n), r.height}; },
             [](Rect& t) { t.width += 1; });
    };
    auto growDown = [&] {
        grow([&](const Rect& t) { return t.minY() - 1 > box_.minY() && P.y - t.minY() < 300; },
             [&](int n) { return Rect{r.minX(), r.minY() - n, r.width, static_cast<double>(n)}; },
             [](Rect& t) {
                 t.y -= 1;
                 t.height += 1;
             });
    };
    auto growUp = [&] {
        grow([&](const Rect& t) { return t.maxY() + 1 < box_.maxY() && t.maxY() - P.y < 300; },
             [&](int n) { return Rect{r.minX(), r.maxY(), r.width, static_cast<double>(n)}; },
             [](Rect& t) { t.height += 1; });
    };
    // Up and down from the point, then left and right through the middle third of that height,
    // then up and down again through the middle third of the width: a rounded corner (of a
    // radius up to a quarter of the box's smaller side) reaches into neither third, so the box
    // is found whatever the renderer makes of its curves.
    growDown();
    if (tooLarge()) return std::nullopt;
    growUp();
    if (tooLarge()) return std::nullopt;
    const double bottom0 = r.minY(), height0 = r.height;
    if (height0 >= 3) r = {r.x, bottom0 + std::floor(height0 / 3), r.width, r.height - 2 * std::floor(height0 / 3)};
    growLeft();
    if (tooLarge()) return std::nullopt;
    growRight();
    if (tooLarge()) return std::nullopt;
    const double left = r.minX(), width = r.width;
    if (width >= 3) r = {left + std::floor(width / 3), r.y, width - 2 * std::floor(width / 3), r.height};
    growDown();
    if (tooLarge()) return std::nullopt;
    growUp();
    if (tooLarge()) return std::nullopt;
    r = {left, r.minY(), width, r.height};
    if (r.width >= 300 || r.height >= 300) return std::nullopt;

    // Empty between the corners, across and along, and closed on every side between them.
    const double corner = cornerOf(r.width, r.height);
    if (!isEmpty(r.insetBy(corner, 0)) || !isEmpty(r.insetBy(0, corner))) return std::nullopt;
    for (double x = r.minX() + corner; x < r.maxX() - corner - 1; x += 1)
        if (isEmpty({x, r.minY() - 1, 1, 1.5})) return std::nullopt;
    for (double x = r.minX() + corner; x < r.maxX() - corner - 1; x += 1)
        if (isEmpty({x, r.maxY(), 1, 1.5})) return std::nullopt;
    for (double y = r.minY() + corner; y < r.maxY() - corner - 1; y += 1)
        if (isEmpty({r.minX() - 1.5, y, 1.5, 1})) return std::nullopt;
    for (double y = r.minY() + corner; y < r.maxY() - corner - 1; y += 1)
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

    // A header on a band of its own (a grey header row or bar, which is ink as a light rule
    // is): the band is crossed to its lower edge, a rule along it included, and the cells are
    // sought under it, right under it or past a gap as under a header without a band.
    if (y == header.minY()) {
        double yb = y;
        while (yb > box_.minY() && y - yb <= maxHeaderBand && !free(yb - 1)) yb -= 0.5;
        if (y - yb > 3 && y - yb <= maxHeaderBand && yb > box_.minY()) {
            if (std::optional<Rect> c = emptyCell({mid, yb - 1.5})) {
                list.push_back(*c);
                y = c->minY();
            } else {
                y = yb;
                for (int step = 1; step <= 40 && y > box_.minY() && free(y - 1); ++step)
                    y = yb - step;
                if (y <= box_.minY() || y == yb) return list;
            }
        }
    }

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
