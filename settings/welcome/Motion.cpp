#include "settings/welcome/Motion.h"

#include <QEasingCurve>
#include <QWidget>

#include "platform/ReducedMotion.h"
#include "settings/welcome/MotionAnimation.h"
#include "settings/welcome/MotionEffect.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/Spring.h"

namespace {

constexpr double fadeLength = 0.35;
constexpr double reducedFadeLength = 0.25;
constexpr double reducedDrawLength = 0.01;
constexpr double reducedDrawFadeDelay = 0.1;
constexpr double staggerRise = 14;
constexpr double popFrom = 0.6;

using Property = MotionTarget::Property;

void spring(MotionTarget* target, const QString& key, Property property, double delay,
            const Spring& s, double from, double to, bool additive) {
    const double length = s.settlingDuration();
    auto curve = [s, from, to](double t) { return to + (from - to) * s.offset(t); };
    target->add(key, new MotionAnimation(property, delay, length, curve, additive));
}

}  // namespace

namespace Motion {

bool reduced() { return ReducedMotion::enabled(); }

MotionTarget* target(QWidget* widget) {
    if (!widget) return nullptr;
    if (auto* effect = qobject_cast<MotionEffect*>(widget->graphicsEffect())) {
        return effect->target();
    }
    auto* effect = new MotionEffect(widget);
    widget->setGraphicsEffect(effect);
    return effect->target();
}

void appear(MotionTarget* target, double delay, double dx, double dy, bool bounce) {
    if (!target) return;
    const bool reduce = reduced();
    const double to = target->modelOpacity();
    const double length = reduce ? reducedFadeLength : fadeLength;
    target->add(QStringLiteral("appear.opacity"),
                new MotionAnimation(Property::opacity, delay, length,
                                    [to, length](double t) { return to * t / length; }));
    if (reduce) return;
    const Spring s = bounce ? Spring::bouncy() : Spring::smooth();
    if (dx != 0) {
        spring(target, QStringLiteral("appear.transform.translation.x"), Property::translationX,
               delay, s, dx, 0, true);
    }
    if (dy != 0) {
        spring(target, QStringLiteral("appear.transform.translation.y"), Property::translationY,
               delay, s, dy, 0, true);
    }
}

void draw(MotionTarget* target, double delay, double duration) {
    if (!target) return;
    const bool reduce = reduced();
    const double length = reduce ? reducedDrawLength : duration;
    QEasingCurve ease(QEasingCurve::BezierSpline);  // ease in, ease out
    ease.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    target->add(QStringLiteral("draw"),
                new MotionAnimation(Property::strokeEnd, reduce ? 0 : delay, length,
                                    [ease, length](double t) {
                                        return length > 0 ? ease.valueForProgress(t / length) : 1;
                                    }));
    if (reduce) appear(target, reducedDrawFadeDelay, 0, staggerRise, false);
}

void pop(MotionTarget* target, double delay) {
    if (!target) return;
    appear(target, delay, 0, 0, false);
    if (reduced()) return;
    spring(target, QStringLiteral("pop"), Property::scale, delay, Spring::pop(), popFrom, 1, false);
}

void stagger(const std::vector<QWidget*>& views, double delay, double step) {
    for (std::size_t i = 0; i < views.size(); ++i) {
        appear(target(views[i]), delay + step * double(i), 0, staggerRise, false);
    }
}

}  // namespace Motion
