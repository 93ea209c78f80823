#include "settings/welcome/HeroBand.h"

#include <QPainter>
#include <QRadialGradient>
#include <QLinearGradient>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "ui/Brand.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/MotionAnimation.h"
#include "settings/welcome/MotionTarget.h"

namespace {

using Property = MotionTarget::Property;

// Points of the drift's arc-length table: the pace error stays far below a point.
constexpr int arcSamples = 512;
constexpr double breatheFrom = 0.85;
constexpr double breatheTo = 1.2;
constexpr double blobAspect = 0.8;

struct Glow {
    Brand::DynamicColor color;
    double alpha, cx, cy, radius;
};

// An ellipse walked at an even pace, from its rightmost point, anticlockwise in a y-up frame
// (clockwise when `reversed`): the offset from the centre at a fraction of the round.
class PacedEllipse {
public:
    PacedEllipse(double rx, double ry, bool reversed) : rx_(rx), ry_(ry), reversed_(reversed) {
        lengths_.resize(arcSamples + 1);
        lengths_[0] = 0;
        for (int i = 1; i <= arcSamples; ++i) {
            const QPointF a = at(angle(i - 1)), b = at(angle(i));
            lengths_[std::size_t(i)] = lengths_[std::size_t(i - 1)] + std::hypot(b.x() - a.x(), b.y() - a.y());
        }
    }

    // Offset (y upwards) at `fraction` of the round's length.
    QPointF offset(double fraction) const {
        fraction -= std::floor(fraction);
        const double target = fraction * lengths_.back();
        const auto after = std::upper_bound(lengths_.begin(), lengths_.end(), target);
        const std::size_t i = std::clamp<std::size_t>(std::size_t(after - lengths_.begin()), 1, arcSamples);
        const double span = lengths_[i] - lengths_[i - 1];
        const double t = span > 0 ? (target - lengths_[i - 1]) / span : 0;
        const double theta = angle(double(i - 1) + t);
        return at(theta);
    }

private:
    static double angle(double sample) { return 2 * std::numbers::pi * sample / arcSamples; }
    QPointF at(double theta) const {
        return {rx_ * std::cos(theta), (reversed_ ? -1 : 1) * ry_ * std::sin(theta)};
    }

    double rx_, ry_;
    bool reversed_;
    std::vector<double> lengths_;
};

QImage blobImage(const HeroBand::Blob& blob) {
    const QSize size(int(std::ceil(blob.diameter)), int(std::ceil(blob.diameter * blobAspect)));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(size.width() / 2.0, size.height() / 2.0);
    p.scale(size.width() / 2.0, size.height() / 2.0);
    QRadialGradient gradient(QPointF(0, 0), 1);
    QColor inner = blob.color, outer = blob.color;
    inner.setAlphaF(float(blob.alpha));
    outer.setAlphaF(0);
    gradient.setColorAt(0, inner);
    gradient.setColorAt(1, outer);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawEllipse(QPointF(0, 0), 1, 1);
    return image;
}

}  // namespace

HeroBand::HeroBand(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

HeroBand::~HeroBand() = default;

const std::vector<HeroBand::Blob>& HeroBand::blobTable() {
    static const std::vector<Blob> table = {
        {QColor(26, 112, 140), 0.7, 820, 0.2, 0.28, 0.22, 0.18, 26},
        {QColor(44, 82, 160), 0.6, 760, 0.8, 0.7, 0.2, 0.2, 32},
        {QColor(22, 128, 140), 0.5, 640, 0.55, 0.1, 0.26, 0.12, 24},
    };
    return table;
}

void HeroBand::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (shapes_.empty() && width() > 0) makeShapes();
}

void HeroBand::makeShapes() {
    const double w = width(), h = height();
    const bool still = Motion::reduced();
    const auto& table = blobTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        Shape shape;
        shape.blob = table[i];
        shape.centre = QPointF(w * shape.blob.cx, h - h * shape.blob.cy);
        shape.motion = new MotionTarget(this);
        shape.image = blobImage(shape.blob);
        connect(shape.motion, &MotionTarget::changed, this, [this] { update(); });
        shapes_.push_back(shape);
        if (still) continue;
        const double period = shape.blob.period;
        // The second blob goes round the other way.
        auto ellipse = std::make_shared<PacedEllipse>(w * shape.blob.ax, h * shape.blob.ay, i == 1);
        // Round an ellipse centred on the blob's place, from its rightmost point.
        auto x = [ellipse, period](double t) { return ellipse->offset(t / period).x(); };
        auto y = [ellipse, period](double t) { return ellipse->offset(t / period).y(); };
        shape.motion->add(QStringLiteral("drift.x"),
                          new MotionAnimation(Property::translationX, 0, period, x, false, true));
        shape.motion->add(QStringLiteral("drift.y"),
                          new MotionAnimation(Property::translationY, 0, period, y, false, true));
        QEasingCurve ease(QEasingCurve::BezierSpline);  // ease in, ease out
        ease.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
        auto breathe = [ease, period](double t) {
            const double half = period / 2;
            double phase = t / half;
            if (phase > 1) phase = 2 - phase;  // back again
            return breatheFrom + (breatheTo - breatheFrom) * ease.valueForProgress(std::clamp(phase, 0.0, 1.0));
        };
        shape.motion->add(QStringLiteral("breathe"),
                          new MotionAnimation(Property::scale, 0, period, breathe, false, true));
    }
}

QPointF HeroBand::shapeCentre(std::size_t index) const {
    if (index >= shapes_.size()) return {};
    const Shape& s = shapes_[index];
    // The motion's y grows upwards, like the table's.
    return s.centre + QPointF(s.motion->translationX(), -s.motion->translationY());
}

double HeroBand::shapeScale(std::size_t index) const {
    return index < shapes_.size() ? shapes_[index].motion->scale() : 1;
}

const QPixmap& HeroBand::background() {
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (background_.size() == pixels && !background_.isNull()) return background_;
    background_ = QPixmap(pixels);
    background_.setDevicePixelRatio(ratio);
    const double w = width(), h = height();
    QPainter p(&background_);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient vertical(0, 0, 0, h);
    vertical.setColorAt(0, QColor::fromRgbF(0.055f, 0.17f, 0.29f));
    vertical.setColorAt(1, Brand::navyDeep.dark);
    p.fillRect(QRectF(0, 0, w, h), vertical);
    const Glow glows[] = {
        {Brand::teal, 0.6, 0.1, 0.95, 460},
        {Brand::pink, 0.24, 0.95, 0.75, 380},
        {Brand::yellow, 0.12, 0.55, 0, 420},
    };
    for (const Glow& glow : glows) {
        const QPointF centre(w * glow.cx, h - h * glow.cy);  // the table's y grows upwards
        QColor inner = glow.color(this), outer = inner;
        inner.setAlphaF(float(glow.alpha));
        outer.setAlphaF(0);
        QRadialGradient gradient(centre, glow.radius);
        gradient.setColorAt(0, inner);
        gradient.setColorAt(1, outer);
        p.fillRect(QRectF(0, 0, w, h), gradient);
    }
    return background_;
}

void HeroBand::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, background());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (std::size_t i = 0; i < shapes_.size(); ++i) {
        const Shape& shape = shapes_[i];
        const QPointF centre = shapeCentre(i);
        const double scale = shapeScale(i);
        p.save();
        p.translate(centre);
        p.scale(scale, scale);
        p.drawImage(QPointF(-shape.image.width() / 2.0, -shape.image.height() / 2.0), shape.image);
        p.restore();
    }
}
