// Entrance animations: springs, slots, delays and reduced motion, on a hand-driven clock.
#include <QLabel>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "settings/welcome/Motion.h"
#include "settings/welcome/MotionAnimation.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/Spring.h"
#include "support/TestUtil.h"
#include "WelcomeTestSupport.h"

using namespace welcometest;

TEST(Spring, SettlesAtTheThousandthOfItsEnvelope) {
    EXPECT_NEAR(Spring::bouncy().settlingDuration(), 0.788, 0.0005);
    EXPECT_NEAR(Spring::smooth().settlingDuration(), 0.708, 0.0005);
    EXPECT_NEAR(Spring::pop().settlingDuration(), 0.935, 0.0005);
    // Released from rest: the whole offset at the start, nearly nothing at the end.
    const Spring s = Spring::smooth();
    EXPECT_DOUBLE_EQ(s.offset(0), 1);
    EXPECT_LT(std::abs(s.offset(s.settlingDuration())), 0.0011);
    // The bouncy spring overshoots.
    double lowest = 1;
    for (double t = 0; t < 0.8; t += 0.005) lowest = std::min(lowest, Spring::bouncy().offset(t));
    EXPECT_LT(lowest, 0);
}

TEST(Motion, AppearFillsOneSlotPerMovedAxis) {
    Reduced still(false);
    AnimationClock clock;
    MotionTarget plain, slid;
    Motion::appear(&plain, 0, 0, 0, false);
    EXPECT_EQ(plain.keys(), QStringList{"appear.opacity"});
    Motion::appear(&slid, 0, -18, 0, false);
    EXPECT_EQ(slid.keys(), (QStringList{"appear.opacity", "appear.transform.translation.x"}));
    // A new appearance replaces the slot's animation.
    MotionAnimation* first = slid.animation("appear.opacity");
    Motion::appear(&slid, 0, -18, 0, false);
    EXPECT_EQ(slid.keys().size(), 2);
    EXPECT_NE(slid.animation("appear.opacity"), first);

    clock.sync();
    EXPECT_DOUBLE_EQ(slid.opacity(), 0);
    EXPECT_DOUBLE_EQ(slid.translationX(), -18);
    clock.at(0.2);
    EXPECT_GT(slid.opacity(), 0.5);
    EXPECT_GT(slid.translationX(), -18);
    // The smooth spring ends at rest at its duration, and frees its slots.
    clock.at(0.709);
    EXPECT_FALSE(slid.animating());
    EXPECT_DOUBLE_EQ(slid.translationX(), 0);
    EXPECT_DOUBLE_EQ(slid.opacity(), 1);
}

TEST(Motion, SpringsEndAtRestAtTheirDurations) {
    Reduced still(false);
    AnimationClock clock;
    MotionTarget bouncy, popped;
    Motion::appear(&bouncy, 0, 0, 30, true);
    Motion::pop(&popped, 0);
    clock.sync();
    EXPECT_DOUBLE_EQ(popped.scale(), 0.6);
    clock.at(0.78);
    EXPECT_NE(bouncy.translationY(), 0);
    EXPECT_TRUE(bouncy.animation("appear.transform.translation.y"));
    clock.at(0.789);
    EXPECT_FALSE(bouncy.animation("appear.transform.translation.y"));
    EXPECT_DOUBLE_EQ(bouncy.translationY(), 0);
    clock.at(0.93);
    EXPECT_TRUE(popped.animation("pop"));
    EXPECT_NEAR(popped.scale(), 1, 0.001);
    clock.at(0.936);
    EXPECT_FALSE(popped.animating());
    EXPECT_DOUBLE_EQ(popped.scale(), 1);
}

TEST(Motion, StaggerBeginsEachViewAStepLater) {
    Reduced still(false);
    AnimationClock clock;
    QWidget parent;
    std::vector<QWidget*> views = {new QLabel("a", &parent), new QLabel("b", &parent),
                                   new QLabel("c", &parent)};
    Motion::stagger(views);
    clock.sync();
    const double begins[] = {0.05, 0.13, 0.21};
    for (std::size_t i = 0; i < views.size(); ++i) {
        MotionTarget* target = Motion::target(views[i]);
        EXPECT_DOUBLE_EQ(target->translationY(), 14) << i;  // from below
    }
    for (std::size_t i = 0; i < views.size(); ++i) {
        clock.at(begins[i]);
        EXPECT_DOUBLE_EQ(Motion::target(views[i])->opacity(), 0) << i;
        if (i + 1 < views.size()) {
            EXPECT_DOUBLE_EQ(Motion::target(views[i + 1])->opacity(), 0);
        }
        clock.at(begins[i] + 0.032);
        EXPECT_GT(Motion::target(views[i])->opacity(), 0) << i;
    }
}

TEST(Motion, ReducedMotionOnlyFades) {
    Reduced reduced(true);
    AnimationClock clock;
    MotionTarget slid, popped, stroke;
    Motion::appear(&slid, 0, -18, 22, true);
    Motion::pop(&popped, 0);
    Motion::draw(&stroke, 0.95, 0.42);
    EXPECT_EQ(slid.keys(), QStringList{"appear.opacity"});
    EXPECT_EQ(popped.keys(), QStringList{"appear.opacity"});
    EXPECT_EQ(stroke.keys(), (QStringList{"draw", "appear.opacity"}));
    clock.sync();
    EXPECT_DOUBLE_EQ(slid.translationX(), 0);
    clock.at(0.01);
    // The stroke is complete almost at once and fades in from 0.1 s.
    EXPECT_DOUBLE_EQ(stroke.strokeEnd(), 1);
    EXPECT_DOUBLE_EQ(stroke.opacity(), 0);
    clock.at(0.1);
    EXPECT_DOUBLE_EQ(stroke.opacity(), 0);
    clock.at(0.112);
    EXPECT_GT(stroke.opacity(), 0);
    clock.at(0.2);
    // Fades last 0.25 s.
    EXPECT_NEAR(slid.opacity(), 0.8, 0.001);
    clock.at(0.25);
    EXPECT_FALSE(slid.animating());
    EXPECT_DOUBLE_EQ(popped.scale(), 1);
}

TEST(ReducedMotion, ReadsKdeAnimationSpeed) {
    ReducedMotion::setSource({});
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    testutil::TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    const bool desktop = ReducedMotion::system();
    {
        std::ofstream file(dir / "kdeglobals");
        file << "[General]\nAnimationDurationFactor=0\n[KDE]\nAnimationDurationFactor=0\n";
    }
    EXPECT_TRUE(ReducedMotion::system());
    EXPECT_TRUE(ReducedMotion::enabled());
    {
        std::ofstream file(dir / "kdeglobals");
        file << "[KDE]\nAnimationDurationFactor=0.5\n";
    }
    EXPECT_EQ(ReducedMotion::system(), desktop);
    // A test's answer stands in for the desktop's.
    ReducedMotion::setSource([] { return true; });
    EXPECT_TRUE(Motion::reduced());
    ReducedMotion::setSource([] { return false; });
    EXPECT_FALSE(Motion::reduced());
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else unsetenv("XDG_CONFIG_HOME");
}
