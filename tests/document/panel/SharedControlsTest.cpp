// The shared controls the signing window brings: segmented control, switch, popover placement.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "ui/Popover.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"

namespace {

TEST(SegmentedControl, ClicksAndArrowsSelectEnabledSegmentsAndReportOnlyTheUsersChoice) {
    SegmentedControl control;
    control.addSegment("Con certificado", {}, {}, 118);
    control.addSegment("A mano", {}, "Tu firma", 90);
    control.addSegment("Sin firma", {}, {}, 90);
    EXPECT_EQ(control.sizeHint(), QSize(298, 26));
    EXPECT_EQ(control.segmentRect(1), QRect(118, 0, 90, 26));
    QSignalSpy spy(&control, &SegmentedControl::activated);
    control.setSelected(0);
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(130, 10));
    EXPECT_EQ(control.selected(), 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), 1);
    control.setSegmentEnabled(2, false);
    QTest::keyClick(&control, Qt::Key_Right);
    EXPECT_EQ(control.selected(), 1);  // the only segment to the right is disabled
    QTest::keyClick(&control, Qt::Key_Left);
    EXPECT_EQ(control.selected(), 0);
    EXPECT_EQ(control.toolTip(1), "Tu firma");
}

TEST(Switch, TogglesOnClick) {
    Switch on;
    QSignalSpy spy(&on, &QAbstractButton::toggled);
    QTest::mouseClick(&on, Qt::LeftButton);
    EXPECT_TRUE(on.isChecked());
    EXPECT_EQ(spy.count(), 1);
    QTest::keyClick(&on, Qt::Key_Space);
    EXPECT_FALSE(on.isChecked());
}

TEST(Popover, OpensOnThePreferredSideOrTheOppositeOneWhenItDoesNotFit) {
    const QRect screen(0, 0, 1440, 900);
    const QSize size(300, 200);
    auto [above, edge] = Popover::place(QRect(600, 500, 100, 20), size, screen, Popover::Edge::top);
    EXPECT_EQ(edge, Popover::Edge::top);
    EXPECT_EQ(above, QPoint(500, 500 - Popover::gap - 200));
    auto [below, turned] = Popover::place(QRect(600, 50, 100, 20), size, screen, Popover::Edge::top);
    EXPECT_EQ(turned, Popover::Edge::bottom);
    EXPECT_EQ(below.y(), 70 + Popover::gap);
    auto [left, side] = Popover::place(QRect(1300, 400, 100, 20), size, screen, Popover::Edge::right);
    EXPECT_EQ(side, Popover::Edge::left);
    EXPECT_EQ(left.x(), 1300 - Popover::gap - 300);
    // Slid along the other axis to stay on screen.
    auto [slid, kept] = Popover::place(QRect(10, 400, 20, 20), size, screen, Popover::Edge::bottom);
    EXPECT_EQ(kept, Popover::Edge::bottom);
    EXPECT_EQ(slid.x(), 0);
}

TEST(Popover, ReportsItsClose) {
    auto* label = new QLabel("Usar");
    Popover popover(label);
    int closes = 0;
    popover.onClose = [&closes] { ++closes; };
    popover.show(nullptr, QRect(100, 100, 50, 20), Popover::Edge::bottom);
    EXPECT_TRUE(popover.isVisible());
    popover.close();
    EXPECT_EQ(closes, 1);
}

}  // namespace
