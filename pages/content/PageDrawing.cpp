#include "pages/content/PageDrawing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_set>

#include "pages/content/PageGlyphs.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pages/content/ContentSyntax.h"

namespace PageDrawing {
namespace {

using ContentSyntax::afterInlineImage;
using ContentSyntax::isDelimiter;
using ContentSyntax::isWhite;
using Kind = InkMap::Shape::Kind;
using Edges = InkMap::Shape::Edges;

// Form XObjects drawn inside one another, and graphics states saved at once; a page that goes
// deeper is left to the rendering.
constexpr int maxFormDepth = 8;
constexpr std::size_t maxSavedStates = 256;
// Numbers kept as one operator's operands: no operator takes more than a few.
constexpr std::size_t maxOperands = 64;
// A glyph's ink may reach this far left or right of its box (the box spans the font's height).
constexpr double glyphOverhang = 0.5;

// A small whole-number operand (a line cap, a text rendering mode): values out of the operator's
// range read as the nearest end of it.
int smallWhole(double v, int lo, int hi) {
    return std::isfinite(v) ? static_cast<int>(std::clamp(v, double(lo), double(hi))) : lo;
}

Kind worse(Kind a, Kind b) {
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}


struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This matrix applied before `m` (the operator cm: CTM' = this x CTM).
    Matrix then(const Matrix& m) const {
        return {a * m.a + b * m.c,         a * m.b + b * m.d,         c * m.a + d * m.c,
                c * m.b + d * m.d,         e * m.a + f * m.c + m.e,   e * m.b + f * m.d + m.f};
    }
};

struct Paint {
    double darkness = 1;  // black
    int components = 1;   // of the colour space; 0 when it is not known
    bool known = true;
};

struct State {
    Matrix ctm;
    double lineWidth = 1;
    int cap = 0;
    bool dashed = false;
    Paint stroke, fill;
    double strokeAlpha = 1, fillAlpha = 1;
    bool blended = false;  // soft mask or blend mode: darkness not known
    std::optional<Rect> clip;  // page space
    bool clipDoubt = false;    // a clip that is no rectangle (inside `clip` when set)
};

struct Segment {
    Point to;
    bool curve = false;
    Point c1, c2;  // control points of a curve
};

Segment straight(Point to) {
    Segment s;
    s.to = to;
    return s;
}

struct Subpath {
    Point start;
    std::vector<Segment> segments;
    bool closed = false;
    bool rectangle = false;
};

Rect bounding(std::initializer_list<Point> points) {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (Point p : points) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

// The rectangle from (x0, y0) to (x1, y1). A stroke's edges are taken as the renderer takes them,
// each its line plus or minus half its width: a width added back to one edge may miss the other
// by a rounding, and an edge on a pixel's boundary then seems off it.
Rect spanning(double x0, double y0, double x1, double y1) {
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect unite(const Rect& a, const Rect& b) {
    double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

std::optional<Rect> intersect(const Rect& a, const Rect& b) {
    double x0 = std::max(a.minX(), b.minX()), y0 = std::max(a.minY(), b.minY());
    double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
    if (!(x1 >= x0) || !(y1 >= y0)) return std::nullopt;
    return Rect{x0, y0, x1 - x0, y1 - y0};
}

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

// A curve is cut into pieces no longer than this (by its hull) when its doubtful ink is bounded,
// at most `maxCurvePieces` of them: the hulls of the pieces hug the curve, where the hull of the
// whole curve would take in the corner of a rounded box or the room beside a logo.
constexpr double curvePiece = 3;
constexpr int maxCurvePieces = 8;

// The hulls of the pieces of the curve from `from` through `seg`, each holding its piece.
template <typename Take>
void curvePieces(Point from, const Segment& seg, Take take) {
    const Rect whole = bounding({from, seg.c1, seg.c2, seg.to});
    const double extent = std::max(whole.width, whole.height);
    const int n = std::isfinite(extent)
                      ? std::clamp(static_cast<int>(std::ceil(extent / curvePiece)), 1,
                                   maxCurvePieces)
                      : 1;
    if (n == 1) {
        take(whole);
        return;
    }
    // The control points of the piece over [t0, t1], from the curve's polynomial form.
    auto at = [&](double t) {
        const double u = 1 - t;
        return Point{u * u * u * from.x + 3 * u * u * t * seg.c1.x + 3 * u * t * t * seg.c2.x +
                         t * t * t * seg.to.x,
                     u * u * u * from.y + 3 * u * u * t * seg.c1.y + 3 * u * t * t * seg.c2.y +
                         t * t * t * seg.to.y};
    };
    auto slope = [&](double t) {
        const double u = 1 - t;
        return Point{3 * (u * u * (seg.c1.x - from.x) + 2 * u * t * (seg.c2.x - seg.c1.x) +
                          t * t * (seg.to.x - seg.c2.x)),
                     3 * (u * u * (seg.c1.y - from.y) + 2 * u * t * (seg.c2.y - seg.c1.y) +
                          t * t * (seg.to.y - seg.c2.y))};
    };
    for (int k = 0; k < n; ++k) {
        const double t0 = static_cast<double>(k) / n, t1 = static_cast<double>(k + 1) / n;
        const double h = (t1 - t0) / 3;
        const Point p0 = at(t0), p3 = at(t1), d0 = slope(t0), d1 = slope(t1);
        take(bounding({p0, {p0.x + h * d0.x, p0.y + h * d0.y}, {p3.x - h * d1.x, p3.y - h * d1.y},
                       p3}));
    }
}

// The axis-aligned rectangle a closed path of straight segments outlines, if it is one.
std::optional<Rect> asRectangle(const Subpath& s) {
    if (s.rectangle && s.segments.size() == 3) {
        return bounding({s.start, s.segments[0].to, s.segments[1].to, s.segments[2].to});
    }
    std::vector<Point> points{s.start};
    for (const Segment& seg : s.segments) {
        if (seg.curve) return std::nullopt;
        points.push_back(seg.to);
    }
    if (points.size() == 5 && points[4] == points[0]) points.pop_back();
    if (points.size() != 4) return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i) {
        Point p = points[i], q = points[(i + 1) % 4];
        if (p.x != q.x && p.y != q.y) return std::nullopt;
    }
    Rect r = bounding({points[0], points[1], points[2], points[3]});
    // Four axis-aligned sides that are not a rectangle's (a zigzag) cover less.
    for (Point p : points)
        if ((p.x != r.minX() && p.x != r.maxX()) || (p.y != r.minY() && p.y != r.maxY()))
            return std::nullopt;
    return r;
}

class Interpreter {
public:
    Interpreter(PDFFile& file, const DisplaySpace& space) : file_(file), space_(space) {}

    bool failed() const { return failed_; }
    bool strictGlyphs() const { return strictGlyphs_; }
    std::vector<InkMap::Shape>& shapes() { return shapes_; }

    void contents(const PDFObject* contents, const PDFDictionary* resources) {
        const PDFObject* resolved = file_.resolve(contents);
        if (!resolved) return;
        if (const std::vector<PDFObject>* parts = resolved->array()) {
            // The parts of /Contents are one stream cut in pieces: an operator may start in one
            // and end in the next.
            std::string joined;
            for (const PDFObject& part : *parts) {
                std::optional<std::string> data = decoded(&part);
                if (!data) return;
                joined += *data;
                joined += '\n';
            }
            run(joined, resources, 0);
        } else if (std::optional<std::string> data = decoded(resolved)) {
            run(*data, resources, 0);
        }
    }

private:
    std::optional<std::string> decoded(const PDFObject* object) {
        const PDFObject* resolved = file_.resolve(object);
        const PDFStream* s = resolved ? resolved->stream() : nullptr;
        if (!s) return std::string();
        try {
            return PDFFilters::decode(s->data, s->dictionary);
        } catch (const std::exception&) {  // PDFError, or no memory for a huge stream
            failed_ = true;
            return std::nullopt;
        }
    }

    void add(Rect page, double darkness, Kind kind, Edges edges = Edges::antialiased) {
        if (!finite(page)) return;
        if (state_.clip) {
            std::optional<Rect> inside = intersect(page, *state_.clip);
            if (!inside) return;
            page = *inside;
        }
        if (state_.clipDoubt) kind = worse(kind, Kind::doubtful);
        if (state_.blended) kind = worse(kind, Kind::strict);
        if (shapes_.size() >= InkMap::maxShapes) {
            failed_ = true;
            return;
        }
        shapes_.push_back({space_.display(page), darkness, kind, edges});
    }

    // The whole of what the current clip lets through, for a shading or a picture of no known
    // place.
    Rect clipOrPage() const {
        return state_.clip ? *state_.clip : space_.page(space_.bounds);
    }

    // Half the pen's extent across a horizontal and a vertical stroke, in page space.
    double halfAcrossHorizontal() const {
        const Matrix& m = state_.ctm;
        return state_.lineWidth * std::hypot(m.b, m.d) / 2;
    }
    double halfAcrossVertical() const {
        const Matrix& m = state_.ctm;
        return state_.lineWidth * std::hypot(m.a, m.c) / 2;
    }

    // Whether every segment of the path runs along an axis.
    bool alongAxes() const {
        for (const Subpath& s : path_) {
            Point from = s.start;
            for (const Segment& seg : s.segments) {
                if (seg.curve || (from.x != seg.to.x && from.y != seg.to.y)) return false;
                from = seg.to;
            }
            if (s.closed && from.x != s.start.x && from.y != s.start.y) return false;
        }
        return true;
    }

    void strokePath() {
        Kind kind = state_.dashed ? Kind::doubtful : Kind::certain;
        if (!state_.stroke.known) kind = Kind::strict;
        const double darkness = state_.stroke.darkness * state_.strokeAlpha;
        const double ty = halfAcrossHorizontal(), tx = halfAcrossVertical();
        const double t = std::max(tx, ty);
        // A stroke of width 0 is one pixel wide wherever it passes. The renderer puts the edges
        // of a wider one on whole pixels when every segment of its path runs along an axis; one
        // that does not (a slant, a curve) leaves the whole path to its anti-aliasing.
        const Edges edges = state_.lineWidth == 0 ? Edges::hairline
                            : alongAxes()         ? Edges::adjusted
                                                  : Edges::antialiased;
        // A round cap is a half disc past the end: doubtful ink within its square.
        const bool roundCap = state_.cap == 1;
        for (const Subpath& s : path_) {
            const std::size_t n = s.segments.size() + (s.closed ? 1 : 0);
            Point from = s.start;
            for (std::size_t k = 0; k < n; ++k) {
                const bool closing = k == s.segments.size();
                Segment seg = closing ? straight(s.start) : s.segments[k];
                // A joint or a projecting cap carries the stroke past the segment's end.
                const bool capBefore = !s.closed && k == 0, capAfter = !s.closed && k + 1 == n;
                const bool reachBefore = !capBefore || state_.cap == 2;
                const bool reachAfter = !capAfter || state_.cap == 2;
                const Point to = seg.to;
                if (seg.curve) {
                    curvePieces(from, seg, [&](const Rect& piece) {
                        add(piece.insetBy(-t, -t), darkness, worse(kind, Kind::doubtful));
                    });
                } else if (from.y == to.y && from.x != to.x) {
                    double x0 = std::min(from.x, to.x), x1 = std::max(from.x, to.x);
                    const bool leftReach = from.x < to.x ? reachBefore : reachAfter;
                    const bool rightReach = from.x < to.x ? reachAfter : reachBefore;
                    if (leftReach) x0 -= tx;
                    if (rightReach) x1 += tx;
                    add(spanning(x0, to.y - ty, x1, to.y + ty), darkness, kind, edges);
                } else if (from.x == to.x && from.y != to.y) {
                    double y0 = std::min(from.y, to.y), y1 = std::max(from.y, to.y);
                    const bool lowReach = from.y < to.y ? reachBefore : reachAfter;
                    const bool highReach = from.y < to.y ? reachAfter : reachBefore;
                    if (lowReach) y0 -= ty;
                    if (highReach) y1 += ty;
                    add(spanning(to.x - tx, y0, to.x + tx, y1), darkness, kind, edges);
                } else if (!(from == to)) {
                    add(bounding({from, to}).insetBy(-t, -t), darkness,
                        worse(kind, Kind::doubtful));
                } else if (state_.cap != 0) {
                    add(bounding({from}).insetBy(-t, -t), darkness, worse(kind, Kind::doubtful));
                }
                if (roundCap && !(from == to) && !seg.curve) {
                    if (capBefore)
                        add(bounding({from}).insetBy(-t, -t), darkness,
                            worse(kind, Kind::doubtful));
                    if (capAfter)
                        add(bounding({to}).insetBy(-t, -t), darkness, worse(kind, Kind::doubtful));
                }
                from = to;
            }
        }
    }

    void fillPath(bool evenOdd) {
        Kind kind = state_.fill.known ? Kind::certain : Kind::strict;
        const double darkness = state_.fill.darkness * state_.fillAlpha;
        std::vector<Rect> rects;
        std::optional<Rect> hull;
        bool allRectangles = true;
        std::size_t parts = 0;
        const Subpath* only = nullptr;
        for (const Subpath& s : path_) {
            if (s.segments.empty()) continue;
            ++parts;
            only = &s;
            if (s.segments.size() < 2) continue;  // encloses nothing
            Rect b = bounding({s.start});
            for (const Segment& seg : s.segments) {
                b = unite(b, bounding({seg.to}));
                if (seg.curve) b = unite(b, bounding({seg.c1, seg.c2}));
            }
            hull = hull ? unite(*hull, b) : b;
            std::optional<Rect> r = asRectangle(s);
            if (r && r->width > 0 && r->height > 0)
                rects.push_back(*r);
            else
                allRectangles = false;
        }
        if (!hull) return;
        const bool single =
            parts == 1 && rects.size() == 1 &&
            (only->segments.size() == 3 ||
             (only->segments.size() == 4 && only->closed && only->segments[3].to == only->start));
        if (evenOdd && allRectangles)
            for (std::size_t i = 0; i < rects.size() && allRectangles; ++i)
                for (std::size_t k = i + 1; k < rects.size(); ++k)
                    if (intersect(rects[i], rects[k]).has_value()) {
                        allRectangles = false;
                        break;
                    }
        if (!allRectangles) {
            filledOutline(*hull, darkness, worse(kind, Kind::doubtful));
            return;
        }
        // A path of one rectangle alone, of four corners (the fourth maybe the first again when
        // the path is closed), is filled with its edges on whole pixels; the renderer adjusts no
        // other fill.
        const Edges edges = single ? Edges::adjusted : Edges::antialiased;
        for (const Rect& r : rects) add(r, darkness, kind, edges);
    }

    // The doubtful ink of a fill that is no set of rectangles, within its hull: in each band of
    // the hull, from the leftmost to the rightmost point of the path's outline in that band (a
    // point inside the outline lies between two of the outline's on its own line). The outline's
    // pieces are bounded by their hulls, curves cut as for a stroke; each band is grown by half a
    // point, the anti-aliasing around an edge.
    void filledOutline(const Rect& hull, double darkness, Kind kind) {
        constexpr double bandHeight = 2;
        constexpr int maxBands = 32;
        constexpr double edge = 0.5;
        std::vector<Rect> pieces;
        for (const Subpath& s : path_) {
            if (s.segments.size() < 2) continue;
            Point from = s.start;
            for (const Segment& seg : s.segments) {
                if (seg.curve)
                    curvePieces(from, seg, [&](const Rect& piece) { pieces.push_back(piece); });
                else
                    pieces.push_back(bounding({from, seg.to}));
                from = seg.to;
            }
            pieces.push_back(bounding({from, s.start}));  // a fill closes every subpath
        }
        const int bands =
            std::isfinite(hull.height)
                ? std::clamp(static_cast<int>(std::ceil(hull.height / bandHeight)), 1, maxBands)
                : 1;
        // Hulls of too many pieces cost more than they tell.
        if (bands == 1 || pieces.size() > 4096) {
            add(hull, darkness, kind);
            return;
        }
        const double step = hull.height / bands;
        for (int b = 0; b < bands; ++b) {
            const double y0 = hull.minY() + step * b, y1 = b + 1 == bands ? hull.maxY() : y0 + step;
            double x0 = INFINITY, x1 = -INFINITY;
            for (const Rect& p : pieces)
                if (p.maxY() >= y0 && p.minY() <= y1) {
                    x0 = std::min(x0, p.minX());
                    x1 = std::max(x1, p.maxX());
                }
            if (!(x1 >= x0)) continue;
            add(spanning(x0, y0, x1, y1).insetBy(-edge, -edge), darkness, kind);
        }
    }

    void clipPath() {
        std::optional<Rect> hull;
        std::optional<Rect> rectangle;
        std::size_t parts = 0;
        for (const Subpath& s : path_) {
            Rect b = bounding({s.start});
            for (const Segment& seg : s.segments) {
                b = unite(b, bounding({seg.to}));
                if (seg.curve) b = unite(b, bounding({seg.c1, seg.c2}));
            }
            hull = hull ? unite(*hull, b) : b;
            rectangle = asRectangle(s);
            ++parts;
        }
        if (!hull) return;
        if (parts != 1 || !rectangle) state_.clipDoubt = true;
        Rect bound = parts == 1 && rectangle ? *rectangle : *hull;
        if (state_.clip) {
            std::optional<Rect> both = intersect(*state_.clip, bound);
            state_.clip = both ? *both : Rect{bound.x, bound.y, 0, 0};
        } else {
            state_.clip = bound;
        }
    }

    // A picture (or a shape of no known ink) over the unit square of the current matrix.
    void picture() {
        const Matrix& m = state_.ctm;
        add(bounding({m.apply({0, 0}), m.apply({1, 0}), m.apply({0, 1}), m.apply({1, 1})}), 1,
            Kind::strict);
    }

    static double darknessOf(const std::vector<double>& v) {
        auto unit = [](double x) { return std::clamp(std::isfinite(x) ? x : 0.0, 0.0, 1.0); };
        if (v.size() == 1) return 1 - unit(v[0]);
        if (v.size() == 3) return 1 - (0.299 * unit(v[0]) + 0.587 * unit(v[1]) + 0.114 * unit(v[2]));
        if (v.size() == 4) {
            const double k = unit(v[3]);
            const double r = 1 - std::min(1.0, unit(v[0]) + k);
            const double g = 1 - std::min(1.0, unit(v[1]) + k);
            const double b = 1 - std::min(1.0, unit(v[2]) + k);
            return 1 - (0.299 * r + 0.587 * g + 0.114 * b);
        }
        return 1;
    }

    static void setColour(Paint& paint, const std::vector<double>& v, int components) {
        paint.components = components;
        paint.known = components > 0 && static_cast<int>(v.size()) == components;
        paint.darkness = paint.known ? darknessOf(v) : 1;
    }

    // The number of components of a colour space named in a content stream; 0 when the colour
    // it gives cannot be told from its components (patterns, separations, indexed, Lab).
    int components(std::string_view name, const PDFDictionary* resources) {
        if (name == "DeviceGray" || name == "G" || name == "CalGray") return 1;
        if (name == "DeviceRGB" || name == "RGB" || name == "CalRGB") return 3;
        if (name == "DeviceCMYK" || name == "CMYK") return 4;
        const PDFDictionary* spaces =
            resources ? file_.dictionary(resources->get("ColorSpace")) : nullptr;
        const PDFObject* space = spaces ? file_.resolve(spaces->get(name)) : nullptr;
        if (!space) return 0;
        if (const std::string* direct = space->name())
            return *direct == name ? 0 : components(*direct, nullptr);
        const std::vector<PDFObject>* array = space->array();
        if (!array || array->empty()) return 0;
        const PDFObject* family = file_.resolve(&(*array)[0]);
        if (!family || !family->name()) return 0;
        if (*family->name() == "ICCBased" && array->size() >= 2) {
            const PDFObject* profile = file_.resolve(&(*array)[1]);
            const PDFStream* s = profile ? profile->stream() : nullptr;
            const PDFObject* n = s ? file_.resolve(s->dictionary.get("N")) : nullptr;
            std::optional<std::int64_t> count = n ? n->integer() : std::nullopt;
            return count && (*count == 1 || *count == 3 || *count == 4) ? static_cast<int>(*count)
                                                                        : 0;
        }
        if (*family->name() == "CalGray") return 1;
        if (*family->name() == "CalRGB") return 3;
        return 0;
    }

    void graphicsState(std::string_view name, const PDFDictionary* resources) {
        const PDFDictionary* states =
            resources ? file_.dictionary(resources->get("ExtGState")) : nullptr;
        const PDFDictionary* gs = states ? file_.dictionary(states->get(name)) : nullptr;
        if (!gs) return;
        auto number = [&](std::string_view key) -> std::optional<double> {
            const PDFObject* v = file_.resolve(gs->get(key));
            return v ? v->number() : std::nullopt;
        };
        if (std::optional<double> lw = number("LW")) state_.lineWidth = std::abs(*lw);
        if (std::optional<double> ca = number("CA")) state_.strokeAlpha = std::clamp(*ca, 0.0, 1.0);
        if (std::optional<double> ca = number("ca")) state_.fillAlpha = std::clamp(*ca, 0.0, 1.0);
        if (const PDFObject* dash = file_.resolve(gs->get("D")))
            if (const std::vector<PDFObject>* parts = dash->array(); parts && !parts->empty())
                if (const PDFObject* pattern = file_.resolve(&(*parts)[0]))
                    if (const std::vector<PDFObject>* a = pattern->array())
                        state_.dashed = !a->empty();
        if (const PDFObject* mask = file_.resolve(gs->get("SMask")))
            if (!mask->name() || *mask->name() != "None") state_.blended = true;
        if (const PDFObject* blend = file_.resolve(gs->get("BM"))) {
            const std::string* mode = blend->name();
            if (!mode || (*mode != "Normal" && *mode != "Compatible")) state_.blended = true;
        }
    }

    void font(std::string_view name, const PDFDictionary* resources) {
        const PDFDictionary* fonts =
            resources && !name.empty() ? file_.dictionary(resources->get("Font")) : nullptr;
        const PDFDictionary* font = fonts ? file_.dictionary(fonts->get(name)) : nullptr;
        if (!font) {
            strictGlyphs_ = true;
            return;
        }
        const PDFObject* subtype = file_.resolve(font->get("Subtype"));
        if (!subtype || !subtype->name() || *subtype->name() == "Type3") strictGlyphs_ = true;
        const PDFObject* base = file_.resolve(font->get("BaseFont"));
        if (base && base->name() && PageGlyphs::isSymbolFont(*base->name())) strictGlyphs_ = true;
    }

    void form(std::string_view name, const PDFDictionary* resources, int depth) {
        const PDFDictionary* xobjects =
            resources && !name.empty() ? file_.dictionary(resources->get("XObject")) : nullptr;
        const PDFObject* object = xobjects ? file_.resolve(xobjects->get(name)) : nullptr;
        const PDFStream* s = object ? object->stream() : nullptr;
        if (!s) return;
        const PDFObject* subtype = file_.resolve(s->dictionary.get("Subtype"));
        if (!subtype || !subtype->name() || *subtype->name() != "Form") {
            picture();
            return;
        }
        if (depth >= maxFormDepth || !inProgress_.insert(object).second) {
            failed_ = true;
            return;
        }
        const State saved = state_;
        if (const PDFObject* m = file_.resolve(s->dictionary.get("Matrix")))
            if (const std::vector<PDFObject>* a = m->array(); a && a->size() == 6) {
                double v[6];
                bool ok = true;
                for (std::size_t k = 0; k < 6; ++k) {
                    const PDFObject* item = file_.resolve(&(*a)[k]);
                    std::optional<double> x = item ? item->number() : std::nullopt;
                    ok = ok && x && std::isfinite(*x);
                    v[k] = ok ? *x : 0;
                }
                if (ok) state_.ctm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}.then(state_.ctm);
            }
        if (const PDFObject* b = file_.resolve(s->dictionary.get("BBox")))
            if (const std::vector<PDFObject>* a = b->array(); a && a->size() == 4) {
                double v[4];
                bool ok = true;
                for (std::size_t k = 0; k < 4; ++k) {
                    const PDFObject* item = file_.resolve(&(*a)[k]);
                    std::optional<double> x = item ? item->number() : std::nullopt;
                    ok = ok && x && std::isfinite(*x);
                    v[k] = ok ? *x : 0;
                }
                if (ok) {
                    const Matrix& m = state_.ctm;
                    path_.clear();
                    Subpath box;
                    box.start = m.apply({v[0], v[1]});
                    box.segments = {straight(m.apply({v[2], v[1]})),
                                    straight(m.apply({v[2], v[3]})),
                                    straight(m.apply({v[0], v[3]}))};
                    box.closed = true;
                    path_.push_back(box);
                    clipPath();
                    path_.clear();
                }
            }
        const PDFDictionary* own = file_.dictionary(s->dictionary.get("Resources"));
        if (std::optional<std::string> data = decoded(object)) run(*data, own ? own : resources, depth + 1);
        state_ = saved;
        inProgress_.erase(object);
    }

    // Skips a string, a hex string, a dictionary or an array from d[i]; counts an array's items.
    static std::size_t skipValue(std::string_view d, std::size_t i, std::size_t* items = nullptr) {
        const std::size_t n = d.size();
        if (d[i] == '(') {
            int nesting = 1;
            for (++i; i < n; ++i) {
                if (d[i] == '\\') {
                    ++i;
                } else if (d[i] == '(') {
                    ++nesting;
                } else if (d[i] == ')' && --nesting == 0) {
                    return i + 1;
                }
            }
            return n;
        }
        if (d[i] == '<' && i + 1 < n && d[i + 1] == '<') {
            int nesting = 1;
            for (i += 2; i < n;) {
                if (d[i] == '(') {
                    i = skipValue(d, i);
                } else if (d[i] == '<' && i + 1 < n && d[i + 1] == '<') {
                    ++nesting;
                    i += 2;
                } else if (d[i] == '>' && i + 1 < n && d[i + 1] == '>') {
                    i += 2;
                    if (--nesting == 0) return i;
                } else {
                    ++i;
                }
            }
            return n;
        }
        if (d[i] == '<') {
            while (i < n && d[i] != '>') ++i;
            return std::min(n, i + 1);
        }
        if (d[i] == '[') {
            std::size_t count = 0;
            for (++i; i < n;) {
                char c = d[i];
                if (isWhite(c)) {
                    ++i;
                } else if (c == ']') {
                    if (items) *items = count;
                    return i + 1;
                } else if (c == '(' || c == '<' || c == '[') {
                    i = skipValue(d, i);
                    ++count;
                } else if (c == '%') {
                    while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
                } else {
                    std::size_t start = i++;
                    while (i < n && !isWhite(d[i]) && !isDelimiter(d[i])) ++i;
                    if (i == start + 1 && isDelimiter(d[start]) && d[start] != '/') continue;
                    ++count;
                }
            }
            if (items) *items = count;
            return n;
        }
        return i + 1;
    }

    void run(std::string_view d, const PDFDictionary* resources, int depth) {
        std::vector<double> numbers;
        std::string_view name;
        std::size_t arrayItems = 0;
        std::size_t i = 0;
        const std::size_t n = d.size();
        bool clipPending = false;
        bool textClip = false;
        int renderMode = 0;
        while (i < n && !failed_) {
            const char c = d[i];
            if (isWhite(c)) {
                ++i;
                continue;
            }
            if (c == '%') {
                while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
                continue;
            }
            if (c == '/') {
                std::size_t start = ++i;
                while (i < n && !isWhite(d[i]) && !isDelimiter(d[i])) ++i;
                name = d.substr(start, i - start);
                continue;
            }
            if (c == '[') {
                i = skipValue(d, i, &arrayItems);
                continue;
            }
            if (c == '(' || c == '<') {
                i = skipValue(d, i);
                continue;
            }
            if (isDelimiter(c)) {
                ++i;
                continue;
            }
            std::size_t start = i;
            while (i < n && !isWhite(d[i]) && !isDelimiter(d[i])) ++i;
            const std::string_view token = d.substr(start, i - start);
            const char first = token[0];
            if ((first >= '0' && first <= '9') || first == '-' || first == '+' || first == '.') {
                if (numbers.size() < maxOperands) {
                    // No copy of the token: the numbers of a page are read one by one.
                    std::string_view digits = token[0] == '+' ? token.substr(1) : token;
                    double v = 0;
                    const auto [end, error] =
                        std::from_chars(digits.data(), digits.data() + digits.size(), v);
                    numbers.push_back(error == std::errc() && std::isfinite(v) ? v : 0);
                }
                continue;
            }
            if (++operators_ > maxOperators) {
                failed_ = true;
                return;
            }
            operate(token, numbers, name, arrayItems, resources, depth, d, i, clipPending,
                    textClip, renderMode);
            numbers.clear();
            name = {};
            arrayItems = 0;
        }
    }

    void operate(std::string_view op, const std::vector<double>& v, std::string_view name,
                 std::size_t arrayItems, const PDFDictionary* resources, int depth,
                 std::string_view d, std::size_t& i, bool& clipPending, bool& textClip,
                 int& renderMode) {
        const Matrix& m = state_.ctm;
        auto at = [&](std::size_t k) { return m.apply({v[k], v[k + 1]}); };
        if (op == "q") {
            if (saved_.size() >= maxSavedStates) {
                failed_ = true;
                return;
            }
            saved_.push_back(state_);
        } else if (op == "Q") {
            if (!saved_.empty()) {
                state_ = saved_.back();
                saved_.pop_back();
            }
        } else if (op == "cm") {
            if (v.size() == 6) state_.ctm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}.then(m);
        } else if (op == "w") {
            if (v.size() == 1) state_.lineWidth = std::abs(v[0]);
        } else if (op == "J") {
            if (v.size() == 1) state_.cap = smallWhole(v[0], 0, 2);
        } else if (op == "d") {
            state_.dashed = arrayItems > 0;
        } else if (op == "gs") {
            graphicsState(name, resources);
        } else if (op == "m") {
            if (v.size() == 2) {
                path_.push_back({});
                path_.back().start = at(0);
            }
        } else if (op == "l") {
            if (v.size() == 2 && !path_.empty()) path_.back().segments.push_back(straight(at(0)));
        } else if (op == "c" || op == "v" || op == "y") {
            const std::size_t need = op == "c" ? 6 : 4;
            if (v.size() == need && !path_.empty()) {
                Subpath& s = path_.back();
                const Point current = s.segments.empty() ? s.start : s.segments.back().to;
                Segment seg;
                seg.curve = true;
                if (op == "c") {
                    seg.c1 = at(0);
                    seg.c2 = at(2);
                    seg.to = at(4);
                } else if (op == "v") {
                    seg.c1 = current;
                    seg.c2 = at(0);
                    seg.to = at(2);
                } else {
                    seg.c1 = at(0);
                    seg.c2 = at(2);
                    seg.to = at(2);
                }
                s.segments.push_back(seg);
            }
        } else if (op == "h") {
            if (!path_.empty()) {
                path_.back().closed = true;
                // A new segment starts from the closed subpath's start.
                Point start = path_.back().start;
                path_.push_back({});
                path_.back().start = start;
            }
        } else if (op == "re") {
            if (v.size() == 4) {
                Subpath s;
                s.start = at(0);
                s.segments = {straight(m.apply({v[0] + v[2], v[1]})),
                              straight(m.apply({v[0] + v[2], v[1] + v[3]})),
                              straight(m.apply({v[0], v[1] + v[3]}))};
                s.closed = true;
                s.rectangle = true;
                path_.push_back(s);
            }
        } else if (op == "S" || op == "s") {
            if (op == "s" && !path_.empty()) path_.back().closed = true;
            strokePath();
            endPath(clipPending);
        } else if (op == "f" || op == "F" || op == "f*") {
            fillPath(op == "f*");
            endPath(clipPending);
        } else if (op == "B" || op == "B*" || op == "b" || op == "b*") {
            if ((op == "b" || op == "b*") && !path_.empty()) path_.back().closed = true;
            fillPath(op == "B*" || op == "b*");
            strokePath();
            endPath(clipPending);
        } else if (op == "n") {
            endPath(clipPending);
        } else if (op == "W" || op == "W*") {
            clipPending = true;
        } else if (op == "g" || op == "rg" || op == "k") {
            setColour(state_.fill, v, op == "g" ? 1 : op == "rg" ? 3 : 4);
        } else if (op == "G" || op == "RG" || op == "K") {
            setColour(state_.stroke, v, op == "G" ? 1 : op == "RG" ? 3 : 4);
        } else if (op == "cs" || op == "CS") {
            Paint& paint = op == "cs" ? state_.fill : state_.stroke;
            const int count = components(name, resources);
            // The initial colour of every such space is black.
            setColour(paint, count == 4 ? std::vector<double>{0, 0, 0, 1}
                                        : std::vector<double>(static_cast<std::size_t>(count), 0),
                      count);
        } else if (op == "sc" || op == "scn") {
            setColour(state_.fill, name.empty() ? v : std::vector<double>{}, state_.fill.components);
        } else if (op == "SC" || op == "SCN") {
            setColour(state_.stroke, name.empty() ? v : std::vector<double>{},
                      state_.stroke.components);
        } else if (op == "Do") {
            form(name, resources, depth);
        } else if (op == "BI") {
            std::size_t id = d.find("ID", i);
            i = afterInlineImage(d, id == std::string_view::npos ? d.size() : id + 2);
            picture();
        } else if (op == "sh") {
            add(clipOrPage(), 1, Kind::strict);
        } else if (op == "Tf") {
            font(name, resources);
        } else if (op == "Tr") {
            if (v.size() == 1) renderMode = smallWhole(v[0], 0, 7);
        } else if (op == "BT") {
            textClip = false;
        } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
            if (renderMode >= 4) textClip = true;
        } else if (op == "ET") {
            if (textClip) state_.clipDoubt = true;
            textClip = false;
        }
    }

    void endPath(bool& clipPending) {
        if (clipPending) clipPath();
        clipPending = false;
        path_.clear();
    }

    PDFFile& file_;
    const DisplaySpace& space_;
    State state_;
    std::vector<State> saved_;
    std::vector<Subpath> path_;
    std::vector<InkMap::Shape> shapes_;
    std::unordered_set<const PDFObject*> inProgress_;
    std::size_t operators_ = 0;
    bool failed_ = false;
    bool strictGlyphs_ = false;
};

}  // namespace

bool drawsBorders(char16_t c) {
    return c == u'|' || c == u'\u00A6' || c == u'\u2016' || c == u'\u2223' ||
           (c >= u'\u2500' && c <= u'\u25FF') || (c >= u'\u2610' && c <= u'\u2612') ||
           (c >= u'\u274F' && c <= u'\u2752') || (c >= u'\uE000' && c <= u'\uF8FF');
}

std::optional<std::vector<InkMap::Shape>> shapes(PDFFile& file, PDFRef page,
                                                 const DisplaySpace& space, const PageText& text) {
    const PDFDictionary* dictionary = file.dictionary(file.object(page));
    if (!dictionary) return std::nullopt;
    Interpreter interpreter(file, space);
    const PDFDictionary* resources = file.dictionary(file.inherited("Resources", page));
    interpreter.contents(dictionary->get("Contents"), resources);
    if (interpreter.failed()) return std::nullopt;

    std::vector<InkMap::Shape>& out = interpreter.shapes();
    const std::size_t count = std::min(text.text.size(), text.boxes.size());
    for (std::size_t i = 0; i < count; ++i) {
        const char16_t c = text.text[i];
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\u00A0' || c == u'_')
            continue;
        if (text.boxes[i].isEmpty()) continue;
        if (out.size() >= InkMap::maxShapes) return std::nullopt;
        const Kind kind =
            interpreter.strictGlyphs() || drawsBorders(c) ? Kind::strict : Kind::doubtful;
        out.push_back(
            {space.textBox(text.boxes[i]).insetBy(-glyphOverhang, 0), 1, kind});
    }
    return std::move(out);
}

}  // namespace PageDrawing
