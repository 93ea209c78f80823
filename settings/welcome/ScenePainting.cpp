#include "settings/welcome/ScenePainting.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "settings/welcome/MotionTarget.h"

namespace {

// Rings of the painted shadow: enough for a smooth edge at these sizes.
constexpr int shadowRings = 10;

}  // namespace

namespace ScenePainting {

void applyMotion(QPainter& painter, const MotionTarget& target, QPointF centre, bool yUp) {
    const double dy = target.translationY();
    painter.translate(target.translationX(), yUp ? -dy : dy);
    const double scale = target.scale();
    if (scale != 1) {
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
    }
    painter.setOpacity(painter.opacity() * std::clamp(target.opacity(), 0.0, 1.0));
}

void shadow(QPainter& painter, const QRectF& rect, double cornerRadius, double opacity,
            double radius, QPointF offset) {
    painter.save();
    painter.setPen(Qt::NoPen);
    const QRectF base = rect.translated(offset);
    // Concentric rounded rectangles, fainter outwards: a cheap blur.
    const double ringAlpha = opacity / shadowRings;
    for (int i = shadowRings; i >= 1; --i) {
        const double grow = radius * double(i) / shadowRings - radius / 2;
        painter.setBrush(QColor::fromRgbF(0, 0, 0, float(ringAlpha)));
        const double corner = std::max(0.0, cornerRadius + grow);
        painter.drawRoundedRect(base.adjusted(-grow, -grow, grow, grow), corner, corner);
    }
    painter.restore();
}

QRectF rect(const SceneRect& r) { return {r.x, r.y, r.width, r.height}; }

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

void stroke(QPainter& painter, const ScenePath& path, double strokeEnd, const QColor& color,
            double width) {
    const std::vector<ScenePoint> points = path.prefix(strokeEnd);
    if (points.size() < 2) return;
    QPainterPath line(QPointF(points.front().x, points.front().y));
    for (std::size_t i = 1; i < points.size(); ++i) line.lineTo(points[i].x, points[i].y);
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.save();
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(line);
    painter.restore();
}

}  // namespace ScenePainting
