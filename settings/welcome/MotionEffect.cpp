#include "settings/welcome/MotionEffect.h"

#include <QPainter>

#include <cmath>

#include "settings/welcome/MotionTarget.h"

namespace {

// The widest slide of the welcome pages (22 points) with its spring's overshoot, rounded up: the
// area repainted round a moving widget.
constexpr double slideRoom = 40;
constexpr double restTolerance = 1e-4;

}  // namespace

MotionEffect::MotionEffect(QObject* parent)
    : QGraphicsEffect(parent), target_(new MotionTarget(this)) {
    connect(target_, &MotionTarget::changed, this, [this] { update(); });
}

QRectF MotionEffect::boundingRectFor(const QRectF& rect) const {
    return rect.adjusted(-slideRoom, -slideRoom, slideRoom, slideRoom);
}

void MotionEffect::draw(QPainter* painter) {
    const double opacity = target_->opacity();
    const double dx = target_->translationX(), dy = target_->translationY();
    const double scale = target_->scale();
    if (opacity <= 0) return;
    const bool moved = std::abs(dx) > restTolerance || std::abs(dy) > restTolerance ||
                       std::abs(scale - 1) > restTolerance;
    if (!moved && opacity >= 1) {
        drawSource(painter);
        return;
    }
    QPoint offset;
    const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
    if (pixmap.isNull()) return;
    painter->save();
    painter->setOpacity(painter->opacity() * std::min(opacity, 1.0));
    painter->translate(dx, dy);
    if (std::abs(scale - 1) > restTolerance) {
        const QPointF centre = sourceBoundingRect(Qt::LogicalCoordinates).center();
        painter->translate(centre);
        painter->scale(scale, scale);
        painter->translate(-centre);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
    }
    painter->drawPixmap(offset, pixmap);
    painter->restore();
}
