#include "document/preview/PreviewPainter.h"

#include <cairo.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/Palette.h"
#include "signing/PangoText.h"
#include "signing/Rendering.h"

namespace {

using FieldMark = PreviewGeometry::FieldMark;
using State = FillItem::State;

// Sheet shadow: blur radius, offset downwards, opacity.
constexpr double shadowBlur = 14;
constexpr double shadowDrop = 3;
constexpr double shadowAlpha = 0.22;

// Look bitmaps: at most this many pixels each (a larger copy is drawn from a coarser bitmap) and
// this many bytes in all.
constexpr double maxLookPixels = 16.0 * 1024 * 1024;
constexpr std::int64_t maxLookBytes = 96LL * 1024 * 1024;
constexpr std::size_t maxLooks = 48;

// At most this many tiles are drawn or asked for per page and paint.
constexpr int maxTilesPerPage = 400;

// The two fixed text colours of field marks.
const QColor suggestedText = QColor::fromRgbF(0.42f, 0.30f, 0.00f);
const QColor filledText = QColor::fromRgbF(0.03f, 0.24f, 0.09f);

QRectF qrect(const Rect& r) {
    return QRectF(r.x, r.y, r.width, r.height);
}

Rect grown(const Rect& r, double d) {
    return {r.x - d, r.y - d, r.width + 2 * d, r.height + 2 * d};
}

// A pen of `width` with an optional dash given in points (Qt counts dashes in pen widths).
QPen pen(const QColor& color, double width, std::initializer_list<double> dash = {}) {
    QPen p(color, width);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    if (dash.size() > 0) {
        QList<qreal> pattern;
        for (double d : dash) pattern.append(d / width);
        p.setDashPattern(pattern);
        p.setDashOffset(0);
    }
    return p;
}

void roundedRect(QPainter& painter, const Rect& r, double radius, const QPen& stroke,
                 std::optional<QColor> fill = std::nullopt) {
    QPainterPath path;
    path.addRoundedRect(qrect(r), radius, radius);
    if (fill) painter.fillPath(path, *fill);
    painter.strokePath(path, stroke);
}

// Text whose line box has its bottom-left corner at `at` (y-up), drawn upright.
void drawText(QPainter& painter, Point at, const QString& text, const QFont& font,
              const QColor& color) {
    QFontMetricsF metrics(font, painter.device());
    painter.save();
    painter.translate(at.x, at.y + metrics.descent());
    painter.scale(1, -1);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QPointF(0, 0), text);
    painter.restore();
}

// An image filling `target` (y-up), upright.
void drawImage(QPainter& painter, const Rect& target, const QImage& image) {
    painter.save();
    painter.translate(target.x, target.maxY());
    painter.scale(1, -1);
    painter.drawImage(QRectF(0, 0, target.width, target.height), image);
    painter.restore();
}

// A three-pass box blur of an alpha-only picture (premultiplied black), about a Gaussian of
// standard deviation `sigma` pixels.
void blur(QImage& image, double sigma) {
    int radius = std::max(1, static_cast<int>(std::lround(std::sqrt(4 * sigma * sigma + 1) / 2)));
    int w = image.width(), h = image.height();
    std::vector<float> a(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) a[static_cast<std::size_t>(y) * w + x] = qAlpha(line[x]);
    }
    std::vector<float> tmp(a.size());
    auto pass = [&](bool horizontal) {
        int outer = horizontal ? h : w, inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto at = [&](int i) -> float& {
                return horizontal ? a[static_cast<std::size_t>(o) * w + i]
                                  : a[static_cast<std::size_t>(i) * w + o];
            };
            auto out = [&](int i) -> float& {
                return horizontal ? tmp[static_cast<std::size_t>(o) * w + i]
                                  : tmp[static_cast<std::size_t>(i) * w + o];
            };
            double sum = 0;
            for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < inner) ? at(i) : 0;
            for (int i = 0; i < inner; ++i) {
                out(i) = static_cast<float>(sum / (2 * radius + 1));
                int add = i + radius + 1, drop = i - radius;
                if (add < inner) sum += at(add);
                if (drop >= 0) sum -= at(drop);
            }
        }
        std::swap(a, tmp);
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            int alpha = std::clamp(
                static_cast<int>(std::lround(a[static_cast<std::size_t>(y) * w + x])), 0, 255);
            line[x] = qRgba(0, 0, 0, alpha);
        }
    }
}

}  // namespace

// --- Names and measures --------------------------------------------------------------------------

QString PreviewPainter::pageLabel(int pageIndex, int copies) {
    QString page = QStringLiteral("Página %1").arg(pageIndex + 1);
    if (copies == 0) return page;
    if (copies == 1) return page + QStringLiteral(" · firma");
    return page + QStringLiteral(" · %1 firmas").arg(copies);
}

double PreviewPainter::fieldFontSize(const FieldMark& mark, const Rect& r) {
    if (mark.tick) return r.height * 10 / std::max(1.0, mark.rect.height);
    return std::max(6.0, r.height * 0.6);
}

bool PreviewPainter::fieldTextCentred(const FieldMark& mark, const Rect& r, double size) {
    return mark.tick || size * 1.6 > r.width;
}

bool PreviewPainter::fieldMarkVisible(const FieldMark& mark) {
    return mark.state != State::other || (mark.drawn && mark.text.empty());
}

QFont PreviewPainter::systemFont(double size, QFont::Weight weight, double logicalDpi) {
    QFont font;
    // A point of the drawing is a logical pixel; a fractional size goes in as points.
    size = std::max(size, 0.1);
    if (std::abs(size - std::round(size)) < 1e-6)
        font.setPixelSize(static_cast<int>(std::lround(size)));
    else
        font.setPointSizeF(size * 72.0 / (logicalDpi > 0 ? logicalDpi : 96.0));
    font.setWeight(weight);
    return font;
}

// --- Painting ------------------------------------------------------------------------------------

PreviewPainter::Output PreviewPainter::paint(QPainter& painter, const PreviewGeometry& model,
                                             PreviewTiles* tiles, const Input& input) {
    Output output;
    const QPalette& pal = input.palette;
    const QColor accent = Palette::accent(pal);
    Size size = model.size();
    const double dpi = painter.device() ? painter.device()->logicalDpiY() : 96.0;

    // 1. The background over the whole view.
    painter.fillRect(QRectF(0, 0, size.width, size.height), input.background);

    const std::vector<PreviewGeometry::Layout> layouts = model.layouts();
    if (layouts.empty()) return output;
    const std::vector<PreviewGeometry::Frame> frames = model.signatureFrames();
    const std::optional<PreviewGeometry::Look>& look = model.look();
    const std::optional<PreviewGeometry::Editor>& editor = model.editor();
    const std::optional<int> current = model.current();

    // The text mark hidden under an open inline editor.
    std::optional<int> editedText;
    if (editor && !editor->ids.empty()) {
        int first = editor->ids.front();
        for (const auto& t : model.texts())
            if (t.id == first) editedText = first;
    }

    for (const PreviewGeometry::Layout& layout : layouts) {
        const Rect& F = layout.frame;
        const int i = layout.index;
        auto view = [&](const Rect& pageRect) { return layout.transform.apply(pageRect); };

        // 4. Sheet with its shadow.
        drawShadow(painter, F, input.devicePixelRatio);
        painter.fillRect(qrect(F), Qt::white);

        // 5. This page's copies.
        std::vector<const PreviewGeometry::Frame*> pageFrames;
        for (const auto& f : frames)
            if (f.layout.index == i) pageFrames.push_back(&f);

        // 6. Clipped to the page.
        painter.save();
        painter.setClipRect(qrect(F), Qt::IntersectClip);

        // 7. Page content.
        drawPageContent(painter, layout, tiles, input, output);

        // 8. Hover highlight.
        if (model.hovered() && !editor) {
            for (const FieldMark& m : model.fieldMarks()) {
                if (m.id != *model.hovered() || m.pageIndex != i || !m.editable) continue;
                QColor fill = accent;
                fill.setAlphaF(0.08f);
                roundedRect(painter, grown(view(m.rect), 1.5), 3, pen(accent, 1.5), fill);
                break;
            }
        }

        // 9. `other` marks: only drawn boxes without text, as a faint dashed outline.
        for (const FieldMark& m : model.fieldMarks()) {
            if (m.pageIndex != i || m.state != State::other || !fieldMarkVisible(m)) continue;
            Rect r = view(m.rect).insetBy(0.5, 0.5);
            roundedRect(painter, r, 2.5,
                        pen(Palette::withAlpha(Palette::tertiaryLabel(pal), 0.45), 1, {2, 2}));
        }

        // 10, 11. The other marks with their colours and text.
        for (const FieldMark& m : model.fieldMarks()) {
            if (m.pageIndex != i || m.state == State::other) continue;
            Rect r = view(m.rect).insetBy(0.5, 0.5);
            switch (m.state) {
                case State::filled:
                    roundedRect(painter, r, 2.5,
                                pen(Palette::withAlpha(Palette::green(pal), 0.8), 1.2),
                                Palette::withAlpha(Palette::green(pal), 0.13));
                    break;
                case State::suggested:
                    roundedRect(painter, r, 2.5,
                                pen(Palette::withAlpha(Palette::orange(pal), 0.8), 1.2, {3, 2}),
                                Palette::withAlpha(Palette::yellow(pal), 0.2));
                    break;
                default:
                    roundedRect(painter, r, 2.5, pen(Palette::tertiaryLabel(pal), 1.2, {3, 2}),
                                Palette::withAlpha(Qt::white, 0.35));
                    break;
            }
            if (m.text.empty()) continue;
            double s = fieldFontSize(m, r);
            QFont font = systemFont(s, QFont::Medium, dpi);
            QFontMetricsF metrics(font, painter.device());
            QString text = QString::fromStdString(m.text);
            double width = metrics.horizontalAdvance(text);
            double x = fieldTextCentred(m, r, s) ? r.midX() - width / 2 : r.minX() + 3;
            double y = r.midY() - metrics.height() / 2;
            painter.save();
            painter.setClipRect(qrect(r), Qt::IntersectClip);
            drawText(painter, {x, y}, text, font,
                     m.state == State::suggested ? suggestedText : filledText);
            painter.restore();
        }

        // 13, 14. Copies and the ghost, in the page's own turn.
        if (look) {
            for (const auto* f : pageFrames)
                drawLook(painter, *look, model.lookGeneration(), f->box, layout.rotation,
                         input.devicePixelRatio, 1);
            if (const auto& ghost = model.ghost(); ghost && ghost->pageIndex == i)
                drawLook(painter, *look, model.lookGeneration(), view(ghost->rect), layout.rotation,
                         input.devicePixelRatio, 0.4);
        }

        // 15. Text of the text boxes, in page space.
        for (const auto& t : model.texts()) {
            if (t.pageIndex != i || (editedText && *editedText == t.id)) continue;
            QFont font(QString::fromLatin1(PangoText::fontFamily));
            font.setPointSizeF(std::max(0.1, t.size) * 72.0 / dpi);
            QFontMetricsF metrics(font, painter.device());
            const AffineTransform& T = layout.transform;
            painter.save();
            painter.setTransform(QTransform(T.a, T.b, T.c, T.d, T.tx, T.ty), true);
            // The baseline sits where the cap height is centred in the box.
            double baseline = t.rect.minY() + (t.rect.height - metrics.capHeight()) / 2;
            painter.translate(t.rect.minX() + 2, baseline);
            painter.scale(1, -1);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QPointF(0, 0), QString::fromStdString(t.text));
            painter.restore();
        }
        painter.restore();  // back from step 6

        // 16. Text box outlines.
        for (const auto& t : model.texts()) {
            if (t.pageIndex != i || (editedText && *editedText == t.id)) continue;
            Rect v = view(t.rect);
            if (model.selectedText() && *model.selectedText() == t.id)
                drawHandles(painter, v, accent);
            else
                roundedRect(painter, v, 2, pen(Palette::withAlpha(accent, 0.6), 1, {3, 2}));
        }

        // 17. Ghost outline.
        if (const auto& ghost = model.ghost(); look && ghost && ghost->pageIndex == i)
            roundedRect(painter, grown(view(ghost->rect), 3), 4,
                        pen(Palette::withAlpha(accent, 0.7), 1, {4, 3}));

        // 18. Copy outlines and the current copy's handles.
        for (const auto* f : pageFrames) {
            if (current && *current == f->index)
                drawHandles(painter, f->box, accent);
            else
                roundedRect(painter, grown(f->box, 3), 4,
                            pen(Palette::withAlpha(accent, 0.7), 1, {4, 3}));
        }

        // 19, 20. Page label under the page.
        int k = static_cast<int>(pageFrames.size());
        QString label = pageLabel(i, k);
        QFont font = systemFont(12, k == 0 ? QFont::Normal : QFont::DemiBold, dpi);
        double width = QFontMetricsF(font, painter.device()).horizontalAdvance(label);
        drawText(painter, {F.midX() - width / 2, F.minY() - 20}, label, font,
                 k == 0 ? Palette::secondaryLabel(pal) : accent);
    }
    return output;
}

void PreviewPainter::drawHandles(QPainter& painter, const Rect& rect, const QColor& accent) {
    Rect r = grown(rect, 3);
    roundedRect(painter, r, 4, pen(accent, 2));
    const Point corners[4] = {
        {r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.minX(), r.maxY()}, {r.maxX(), r.maxY()}};
    for (const Point& c : corners) {
        QPainterPath oval;
        oval.addEllipse(QRectF(c.x - 5, c.y - 5, 10, 10));
        painter.fillPath(oval, Qt::white);
        painter.strokePath(oval, pen(accent, 2));
    }
}

void PreviewPainter::drawShadow(QPainter& painter, const Rect& frame, double dpr) {
    // A blurred square of 4P with the shadow's rectangle at [P, 3P]: its quadrants are the corners,
    // its middle row and column the edges; the inside is under the sheet.
    const double P = 2 * shadowBlur;
    if (shadow_.isNull() || shadowRatio_ != dpr) {
        int side = static_cast<int>(std::ceil(4 * P * dpr));
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.fillRect(QRectF(P * dpr, P * dpr, 2 * P * dpr, 2 * P * dpr),
                       QColor::fromRgbF(0, 0, 0, static_cast<float>(shadowAlpha)));
        }
        blur(image, shadowBlur / 2 * dpr);
        shadow_ = image;
        shadowRatio_ = dpr;
    }
    // On whole points, so that the nine parts meet without seams.
    double x0 = std::round(frame.minX()), x1 = std::round(frame.maxX());
    double y0 = std::round(frame.minY() - shadowDrop), y1 = std::round(frame.maxY() - shadowDrop);
    Rect s{x0, y0, x1 - x0, y1 - y0};
    if (s.width < 2 * P || s.height < 2 * P) {
        // Too small for the nine parts: the whole blurred square, stretched.
        drawImage(painter, grown(s, P), shadow_);
        return;
    }
    const double half = 2 * P * dpr;  // a quadrant in source pixels
    const double src = 4 * P * dpr;
    auto part = [&](const Rect& target, QRectF source) {
        painter.save();
        painter.translate(target.x, target.maxY());
        painter.scale(1, -1);
        painter.drawImage(QRectF(0, 0, target.width, target.height), shadow_, source);
        painter.restore();
    };
    const double L = s.minX() - P, R = s.maxX() - P, B = s.minY() - P, T = s.maxY() - P;
    // Corners (source rows run top-down).
    part({L, T, 2 * P, 2 * P}, QRectF(0, 0, half, half));
    part({R, T, 2 * P, 2 * P}, QRectF(src - half, 0, half, half));
    part({L, B, 2 * P, 2 * P}, QRectF(0, src - half, half, half));
    part({R, B, 2 * P, 2 * P}, QRectF(src - half, src - half, half, half));
    // Edges: one source column or row stretched between the corners.
    double innerW = s.width - 2 * P, innerH = s.height - 2 * P;
    part({L + 2 * P, T, innerW, 2 * P}, QRectF(half - 1, 0, 1, half));
    part({L + 2 * P, B, innerW, 2 * P}, QRectF(half - 1, src - half, 1, half));
    part({L, B + 2 * P, 2 * P, innerH}, QRectF(0, half - 1, half, 1));
    part({R, B + 2 * P, 2 * P, innerH}, QRectF(src - half, half - 1, half, 1));
}

QString PreviewPainter::heavyPageNote() {
    return QStringLiteral("Página demasiado pesada para mostrarla.");
}

void PreviewPainter::drawHeavyPageNote(QPainter& painter, const Rect& frame, const QColor& color,
                                       double dpi) {
    // 13 points, smaller on a page too narrow for the line, never below 5.
    QString text = heavyPageNote();
    double size = 13;
    QFont font = systemFont(size, QFont::Normal, dpi);
    double width = QFontMetricsF(font, painter.device()).horizontalAdvance(text);
    if (width > 0 && width > frame.width * 0.9) {
        size = std::max(5.0, size * frame.width * 0.9 / width);
        font = systemFont(size, QFont::Normal, dpi);
        width = QFontMetricsF(font, painter.device()).horizontalAdvance(text);
    }
    QFontMetricsF metrics(font, painter.device());
    drawText(painter, {frame.midX() - width / 2, frame.midY() - metrics.height() / 2}, text, font,
             color);
}

void PreviewPainter::drawPageContent(QPainter& painter, const PreviewGeometry::Layout& layout,
                                     PreviewTiles* tiles, const Input& input, Output& output) {
    if (!tiles || !(layout.displaySize.width > 0) || !(layout.displaySize.height > 0)) return;
    const Rect& F = layout.frame;
    // A page too heavy to draw stays blank, with a note; none of its tiles is asked for again.
    if (tiles->isHeavy(layout.index)) {
        // The sheet is white in light and dark appearance alike: a fixed grey reads on it.
        drawHeavyPageNote(painter, F, QColor(96, 96, 96),
                          painter.device() ? painter.device()->logicalDpiY() : 96.0);
        return;
    }
    double pixelScale = F.width / layout.displaySize.width * input.devicePixelRatio;
    std::int64_t key = PreviewTiles::scaleKey(pixelScale);
    if (key <= 0) return;

    // The visible part of the page.
    double vx0 = std::max(F.minX(), input.visible.minX()),
           vx1 = std::min(F.maxX(), input.visible.maxX());
    double vy0 = std::max(F.minY(), input.visible.minY()),
           vy1 = std::min(F.maxY(), input.visible.maxY());
    if (!(vx0 < vx1) || !(vy0 < vy1)) return;
    Point centre{(vx0 + vx1) / 2, (vy0 + vy1) / 2};

    struct Span {
        int c0, c1, r0, r1;
        double k;  // view points per raster pixel
    };
    auto span = [&](std::int64_t scale) -> std::optional<Span> {
        double s = PreviewTiles::scaleOf(scale);
        double k = F.width / (layout.displaySize.width * s);
        if (!(k > 0) || !std::isfinite(k)) return std::nullopt;
        double rasterW = std::ceil(layout.displaySize.width * s);
        double rasterH = std::ceil(layout.displaySize.height * s);
        double t = PreviewTiles::tileSize;
        int columns = static_cast<int>(std::min(1e6, std::ceil(rasterW / t)));
        int rows = static_cast<int>(std::min(1e6, std::ceil(rasterH / t)));
        double u0 = (vx0 - F.minX()) / k, u1 = (vx1 - F.minX()) / k;
        double v0 = (F.maxY() - vy1) / k, v1 = (F.maxY() - vy0) / k;
        Span sp;
        sp.k = k;
        sp.c0 = std::clamp(static_cast<int>(std::floor(u0 / t)), 0, std::max(0, columns - 1));
        sp.c1 = std::clamp(static_cast<int>(std::ceil(u1 / t)) - 1, 0, std::max(0, columns - 1));
        sp.r0 = std::clamp(static_cast<int>(std::floor(v0 / t)), 0, std::max(0, rows - 1));
        sp.r1 = std::clamp(static_cast<int>(std::ceil(v1 / t)) - 1, 0, std::max(0, rows - 1));
        if (static_cast<long long>(sp.c1 - sp.c0 + 1) * (sp.r1 - sp.r0 + 1) > maxTilesPerPage)
            return std::nullopt;
        return sp;
    };
    auto target = [&](const Span& sp, int c, int r, const QImage& image) {
        double t = PreviewTiles::tileSize * sp.k;
        double w = image.width() * sp.k, h = image.height() * sp.k;
        return Rect{F.minX() + c * t, F.maxY() - r * t - h, w, h};
    };

    std::optional<Span> exact = span(key);
    if (!exact) return;
    std::vector<std::pair<double, TileKey>> missing;
    for (int r = exact->r0; r <= exact->r1; ++r)
        for (int c = exact->c0; c <= exact->c1; ++c) {
            TileKey k{layout.index, key, c, r};
            if (tiles->contains(k)) continue;
            double t = PreviewTiles::tileSize * exact->k;
            double dx = F.minX() + (c + 0.5) * t - centre.x,
                   dy = F.maxY() - (r + 0.5) * t - centre.y;
            missing.push_back({dx * dx + dy * dy, k});
        }

    // What is missing is drawn meanwhile from the nearest scale cached.
    if (!missing.empty()) {
        std::optional<std::int64_t> near = tiles->nearestScale(layout.index, key);
        if (near) {
            if (std::optional<Span> sp = span(*near)) {
                painter.save();
                painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
                for (int r = sp->r0; r <= sp->r1; ++r)
                    for (int c = sp->c0; c <= sp->c1; ++c)
                        if (const QImage* image = tiles->tile({layout.index, *near, c, r});
                            image && !image->isNull())
                            drawImage(painter, target(*sp, c, r, *image), *image);
                painter.restore();
            }
        }
        std::sort(missing.begin(), missing.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& m : missing) {
            output.wanted.push_back(m.second);
            if (!near) output.urgent.push_back(m.second);
        }
    }
    for (int r = exact->r0; r <= exact->r1; ++r)
        for (int c = exact->c0; c <= exact->c1; ++c)
            if (const QImage* image = tiles->tile({layout.index, key, c, r});
                image && !image->isNull())
                drawImage(painter, target(*exact, c, r, *image), *image);
}

void PreviewPainter::drawLook(QPainter& painter, const PreviewGeometry::Look& look,
                              std::uint64_t generation, const Rect& box, int rotation, double dpr,
                              double opacity) {
    if (!(box.width > 0) || !(box.height > 0) || !std::isfinite(box.width * box.height)) return;
    double w = box.width * dpr, h = box.height * dpr;
    if (w * h > maxLookPixels) {
        double f = std::sqrt(maxLookPixels / (w * h));
        w *= f;
        h *= f;
    }
    LookKey key{generation, std::max(1, static_cast<int>(std::lround(w))),
                std::max(1, static_cast<int>(std::lround(h))), rotation};
    // The page-space size of the copy: the box turned back by the page's rotation.
    Rect pageRect = (rotation == 90 || rotation == 270) ? Rect{0, 0, box.height, box.width}
                                                        : Rect{0, 0, box.width, box.height};
    const QImage& image = lookImage(look, key, pageRect);
    if (image.isNull()) return;
    painter.save();
    painter.setOpacity(opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    drawImage(painter, box, image);
    painter.restore();
}

const QImage& PreviewPainter::lookImage(const PreviewGeometry::Look& look, const LookKey& key,
                                        const Rect& pageRect) {
    for (auto it = looks_.begin(); it != looks_.end(); ++it)
        if (it->first == key) {
            looks_.splice(looks_.begin(), looks_, it);
            return looks_.front().second;
        }
    QImage image(key.width, key.height, QImage::Format_ARGB32_Premultiplied);
    if (!image.isNull()) {
        image.fill(Qt::transparent);
        cairo_surface_t* surface = cairo_image_surface_create_for_data(
            image.bits(), CAIRO_FORMAT_ARGB32, image.width(), image.height(),
            static_cast<int>(image.bytesPerLine()));
        cairo_t* cr = cairo_create(surface);
        Rendering::useUpwardY(cr, key.height);
        // The copy drawn at the origin of its own page space, turned as the page is shown and
        // scaled onto the bitmap.
        DisplaySpace space(pageRect, key.rotation);
        cairo_scale(cr, key.width / space.bounds.width, key.height / space.bounds.height);
        const AffineTransform& d = space.toDisplay;
        cairo_matrix_t m;
        cairo_matrix_init(&m, d.a, d.b, d.c, d.d, d.tx, d.ty);
        cairo_transform(cr, &m);
        look.draw(cr, pageRect, key.rotation);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        cairo_surface_destroy(surface);
    }
    looks_.emplace_front(key, std::move(image));
    lookBytes_ += looks_.front().second.sizeInBytes();
    while (looks_.size() > 1 && (looks_.size() > maxLooks || lookBytes_ > maxLookBytes)) {
        lookBytes_ -= looks_.back().second.sizeInBytes();
        looks_.pop_back();
    }
    return looks_.front().second;
}
