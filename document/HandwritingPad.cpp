#include "document/HandwritingPad.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTabletEvent>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "document/HandwritingPhoto.h"

namespace {

// The baseline's height in the pad, from the bottom.
constexpr double baselineRatio = 0.3;
constexpr double baselineLeft = 40;
constexpr double baselineRightInset = 24;
constexpr double markLeft = 22;
constexpr double markDrop = 4;
// Where an imported image is drawn: the pad inset by these.
constexpr double importedInsetX = 24;
constexpr double importedInsetY = 18;
constexpr double cardRadius = 10;

QPointF qt(Point p) { return {p.x, p.y}; }

// The stroke's path: a dot for a single point, otherwise quadratic-looking cubic curves through
// the midpoints, ending on the last point.
QPainterPath strokePath(const std::vector<Point>& points) {
    QPainterPath path;
    if (points.empty()) return path;
    path.moveTo(qt(points.front()));
    for (size_t i = 1; i < points.size(); ++i) {
        const QPointF previous = qt(points[i - 1]);
        const QPointF mid = (previous + qt(points[i])) / 2;
        path.cubicTo(previous, previous, mid);
    }
    path.lineTo(qt(points.back()));
    return path;
}

QPen inkPen() {
    QPen pen(HandwritingPadView::inkColor(), HandwritingPadView::lineWidth);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void drawStroke(QPainter& painter, const std::vector<Point>& points) {
    if (points.size() == 1) {
        painter.drawPoint(qt(points.front()));  // a round dot with the round-capped pen
    } else {
        painter.drawPath(strokePath(points));
    }
}

// Draws `text` with the bottom-left corner of its line box at `origin` (y-up pad points) of a pad
// `height` high.
void drawText(QPainter& painter, const QString& text, const QFont& font, const QColor& color, Point origin,
              double height) {
    painter.setFont(font);
    painter.setPen(color);
    const QFontMetricsF metrics(font);
    const double bottom = height - origin.y;
    painter.drawText(QPointF(origin.x, bottom - metrics.descent()), text);
}

std::optional<QByteArray> encode(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) return std::nullopt;
    return bytes;
}

}  // namespace

HandwritingPadView::HandwritingPadView(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::CrossCursor);
    setAttribute(Qt::WA_TabletTracking, false);
    setFocusPolicy(Qt::ClickFocus);
}

QColor HandwritingPadView::inkColor() { return QColor::fromRgbF(0.07f, 0.12f, 0.33f, 1.0f); }

std::optional<QImage> HandwritingPadView::ink(const QImage& photo) { return HandwritingPhoto::ink(photo); }

void HandwritingPadView::setImported(std::optional<QImage> image) {
    imported_ = std::move(image);
    if (imported_) strokes_.clear();
    update();
    if (onChange) onChange();
}

void HandwritingPadView::clear() {
    strokes_.clear();
    setImported(std::nullopt);
}

// Also keeps the strokes' clamping bounds at the pad's current size.
Point HandwritingPadView::toPad(QPointF position) {
    strokes_.setBounds({static_cast<double>(width()), static_cast<double>(height())});
    return {position.x(), height() - position.y()};
}

void HandwritingPadView::begin(QPointF position) {
    if (imported_) setImported(std::nullopt);
    strokes_.press(toPad(position));
    update();
}

void HandwritingPadView::extend(QPointF position) {
    if (strokes_.drag(toPad(position))) update();
}

void HandwritingPadView::end() {
    if (onChange) onChange();
}

void HandwritingPadView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    begin(event->position());
    event->accept();
}

void HandwritingPadView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
    extend(event->position());
    event->accept();
}

void HandwritingPadView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    end();
    event->accept();
}

// A pen draws as the mouse does; accepting its events keeps Qt from also sending mouse events.
void HandwritingPadView::tabletEvent(QTabletEvent* event) {
    switch (event->type()) {
        case QEvent::TabletPress:
            penDown_ = true;
            begin(event->position());
            break;
        case QEvent::TabletMove:
            if (penDown_) extend(event->position());
            break;
        case QEvent::TabletRelease:
            if (penDown_) {
                penDown_ = false;
                end();
            }
            break;
        default: return QWidget::tabletEvent(event);
    }
    event->accept();
}

void HandwritingPadView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width();
    const double h = height();

    // The card.
    painter.setPen(QPen(Palette::separator(palette()), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), cardRadius, cardRadius);
    painter.setBrush(Qt::NoBrush);

    // The baseline and its mark.
    const double baseline = baselineRatio * h;  // y up
    painter.setPen(QPen(QColor::fromRgbF(0.82f, 0.82f, 0.82f), 1));
    painter.drawLine(QPointF(baselineLeft, h - baseline), QPointF(w - baselineRightInset, h - baseline));
    drawText(painter, QStringLiteral("×"), Brand::systemFont(16), QColor::fromRgbF(0.6f, 0.6f, 0.6f),
             {markLeft, baseline - markDrop}, h);

    if (imported_) {
        const QRectF area(importedInsetX, importedInsetY, std::max(w - 2 * importedInsetX, 0.0),
                          std::max(h - 2 * importedInsetY, 0.0));
        const QSizeF fitted = QSizeF(imported_->size()).scaled(area.size(), Qt::KeepAspectRatio);
        const QRectF target(area.center().x() - fitted.width() / 2, area.center().y() - fitted.height() / 2,
                            fitted.width(), fitted.height());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *imported_);
        return;
    }

    if (!strokes_.hasStrokes()) {
        const QFont font = Brand::systemFont(13);
        const QString text = QStringLiteral("Firma aquí");
        const double textWidth = QFontMetricsF(font).horizontalAdvance(text);
        drawText(painter, text, font, QColor::fromRgbF(0.65f, 0.65f, 0.65f), {w / 2 - textWidth / 2, h / 2}, h);
    }

    // The strokes, in y-up pad points.
    painter.translate(0, h);
    painter.scale(1, -1);
    painter.setPen(inkPen());
    for (const auto& stroke : strokes_.strokes()) drawStroke(painter, stroke);
}

std::optional<QByteArray> HandwritingPadView::png() const {
    if (imported_) return encode(*imported_);
    const std::optional<Rect> rect = strokes_.inkRect();
    if (!rect) return std::nullopt;
    const auto [pixelsWide, pixelsHigh] = HandwritingStrokes::pixelSize(*rect);
    QImage image(pixelsWide, pixelsHigh, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.setColorSpace(QColorSpace::SRgb);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // y up from the picture's bottom row, three pixels per point, the ink box at the origin.
        painter.translate(0, pixelsHigh);
        painter.scale(HandwritingStrokes::pictureScale, -HandwritingStrokes::pictureScale);
        painter.translate(-rect->minX(), -rect->minY());
        painter.setPen(inkPen());
        for (const auto& stroke : strokes_.strokes()) {
            if (stroke.size() >= 2) painter.drawPath(strokePath(stroke));
        }
    }
    return encode(image);
}
