#include "settings/welcome/MotionAnimation.h"

#include <algorithm>
#include <cmath>

namespace {

// Qt animations count whole milliseconds; an animation lasts at least one.
int milliseconds(double seconds) { return std::max(1, int(std::lround(seconds * 1000))); }

}  // namespace

MotionAnimation::MotionAnimation(MotionTarget::Property property, double delay, double length,
                                 Curve curve, bool additive, bool loops)
    : property_(property),
      delay_(std::max(0.0, delay)),
      length_(std::max(0.0, length)),
      curve_(std::move(curve)),
      additive_(additive) {
    setDuration(milliseconds(delay_ + length_));
    if (loops) setLoopCount(-1);
    // The value is computed from the elapsed time alone (see interpolated()).
    setStartValue(0.0);
    setEndValue(1.0);
    setEasingCurve(QEasingCurve::Linear);
}

QVariant MotionAnimation::interpolated(const QVariant&, const QVariant&, qreal progress) const {
    const double seconds = progress * duration() / 1000.0;
    const double active = std::clamp(seconds - delay_, 0.0, length_);
    return curve_ ? curve_(active) : 0.0;
}
