#pragma once
// Time for the welcome window's animations: a manual animation driver whose clock the test sets,
// and the reduced-motion setting under the test's control.

#include <QAbstractAnimation>
#include <QAnimationDriver>
#include <QCoreApplication>
#include <QVariantAnimation>

#include <cmath>

#include "platform/ReducedMotion.h"

namespace welcometest {

class ManualDriver : public QAnimationDriver {
public:
    qint64 now = 0;
    qint64 elapsed() const override { return now; }
};

// Qt's animation timer driven by hand. A looping animation keeps the driver running, so every
// tick advances the animations by exactly the time the test moved the clock.
class AnimationClock {
public:
    AnimationClock() {
        static ManualDriver* driver = [] {
            auto* d = new ManualDriver;
            d->install();
            return d;
        }();
        driver_ = driver;
        keepAlive_.setDuration(1000);
        keepAlive_.setStartValue(0.0);
        keepAlive_.setEndValue(1.0);
        keepAlive_.setLoopCount(-1);
        keepAlive_.start();
        sync();
    }
    ~AnimationClock() { keepAlive_.stop(); }

    // Delivers posted events (animations started since are registered) and ticks without moving
    // the clock. Call it right before and right after starting the animations under test: their
    // time 0 is then origin().
    void sync() {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        driver_->advance();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        origin_ = driver_->now;
    }

    // Moves the clock to `seconds` after the origin in steps of at most a frame.
    void at(double seconds) {
        const qint64 target = origin_ + qint64(std::llround(seconds * 1000));
        while (driver_->now < target) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            driver_->now = std::min(target, driver_->now + 16);
            driver_->advance();
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

private:
    ManualDriver* driver_ = nullptr;
    QVariantAnimation keepAlive_;
    qint64 origin_ = 0;
};

// Sets the reduced-motion answer for the scope.
class Reduced {
public:
    explicit Reduced(bool on) { ReducedMotion::setSource([on] { return on; }); }
    ~Reduced() { ReducedMotion::setSource([] { return false; }); }
};

}  // namespace welcometest
