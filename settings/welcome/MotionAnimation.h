#pragma once
// One animation of one value of a MotionTarget: a delay, then `length` seconds along `curve`. It
// runs as a single Qt animation of delay + length driven by Qt's animation timer (so a test's
// animation driver controls it), holds the curve's first value during the delay, and ends, freeing
// its slot, when the time is over. With `loops` it repeats without end (the background's drift).

#include <QVariantAnimation>

#include <functional>

#include "settings/welcome/MotionTarget.h"

class MotionAnimation : public QVariantAnimation {
    Q_OBJECT
public:
    // The value at `seconds` after the delay (0 … length).
    using Curve = std::function<double(double seconds)>;

    MotionAnimation(MotionTarget::Property property, double delay, double length, Curve curve,
                    bool additive = false, bool loops = false);

    MotionTarget::Property property() const { return property_; }
    bool additive() const { return additive_; }
    double delay() const { return delay_; }
    double length() const { return length_; }
    // The current value.
    double value() const { return currentValue().toDouble(); }

protected:
    QVariant interpolated(const QVariant& from, const QVariant& to, qreal progress) const override;

private:
    MotionTarget::Property property_;
    double delay_;
    double length_;
    Curve curve_;
    bool additive_;
};
