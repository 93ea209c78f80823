// The illustrations' numbers and timing, and the window's geometry.
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "settings/welcome/FormScene.h"
#include "settings/welcome/FormSceneModel.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/PageDots.h"
#include "settings/welcome/WelcomeColors.h"
#include "settings/welcome/SignScene.h"
#include "settings/welcome/SignSceneModel.h"
#include "settings/welcome/WelcomeGeometry.h"
#include "WelcomeTestSupport.h"

using namespace welcometest;

TEST(WelcomeGeometry, FollowsTheVisibleArea) {
    const auto laptop = WelcomeGeometry::make(WelcomeGeometry::Size{1280, 800});
    EXPECT_EQ(laptop.width, 1180);
    EXPECT_EQ(laptop.height, 750);
    EXPECT_EQ(laptop.column, 720);
    EXPECT_EQ(laptop.margin, 230);
    const auto none = WelcomeGeometry::make(std::nullopt);
    EXPECT_EQ(none.width, 1240);
    EXPECT_EQ(none.height, 850);
    EXPECT_EQ(none.margin, 260);
    const auto small = WelcomeGeometry::make(WelcomeGeometry::Size{900, 700});
    EXPECT_EQ(small.width, 800);
    EXPECT_EQ(small.height, 650);
    EXPECT_EQ(small.column, 640);
    EXPECT_EQ(small.margin, 80);
    const auto big = WelcomeGeometry::make(WelcomeGeometry::Size{2560, 1400});
    EXPECT_EQ(big.width, 1240);
    EXPECT_EQ(big.height, 900);
}

TEST(FormSceneModel, ColumnsFollowTheWidth) {
    const auto narrow = FormSceneModel::make(520);
    EXPECT_EQ(narrow.leftWidth, 281);
    EXPECT_EQ(narrow.rightX, 323);
    EXPECT_EQ(narrow.rightWidth, 173);
    const auto wide = FormSceneModel::make(720);
    EXPECT_EQ(wide.leftWidth, 405);
    EXPECT_EQ(wide.rightX, 447);
    EXPECT_EQ(wide.rightWidth, 249);
    ASSERT_EQ(wide.fields.size(), 5u);
    EXPECT_FALSE(wide.fields[4].confirmed);
    EXPECT_EQ(wide.fields[1].rect.x, 447);
    EXPECT_EQ(FormSceneModel::top(wide.card), 2);  // 232 - 6 - 224
}

TEST(SignSceneModel, StrokesMakeOneSignatureInTheBox) {
    const auto m = SignSceneModel::make("Tindra");
    EXPECT_NEAR(m.strokes[0].start().x, 36, 1e-9);
    EXPECT_NEAR(m.strokes[0].start().y, 222.74, 0.005);
    EXPECT_NEAR(m.strokes[2].end().x, 184, 1e-9);
    EXPECT_NEAR(m.strokes[2].end().y, 201.68, 0.005);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(m.strokes[i].end().x, m.strokes[i + 1].start().x, 1e-9);
        EXPECT_NEAR(m.strokes[i].end().y, m.strokes[i + 1].start().y, 1e-9);
    }
    EXPECT_EQ(m.items[3].text, "Firmar con Tindra");
    EXPECT_EQ(m.highlight.y, 99);  // 12 + 90 - 3
    EXPECT_EQ(SignSceneModel::top(m.menu), 54);
    // A prefix covers the share of the length asked for.
    const auto half = m.strokes[0].prefix(0.5);
    double length = 0;
    for (std::size_t i = 1; i < half.size(); ++i) {
        length += std::hypot(half[i].x - half[i - 1].x, half[i].y - half[i - 1].y);
    }
    EXPECT_NEAR(length, m.strokes[0].length() / 2, 0.01);
    EXPECT_TRUE(m.strokes[0].prefix(0).empty());
}

TEST(SignScene, PlaysInItsOrder) {
    Reduced still(false);
    AnimationClock clock;
    SignScene scene;
    scene.resize(720, 270);
    scene.play();
    clock.sync();
    clock.at(0.09);
    EXPECT_DOUBLE_EQ(scene.pellon()->opacity(), 0);
    EXPECT_DOUBLE_EQ(scene.pellon()->translationX(), -18);
    clock.at(1.16);
    EXPECT_NEAR(scene.stroke(0)->strokeEnd(), 0.5, 0.01);
    EXPECT_DOUBLE_EQ(scene.stroke(1)->strokeEnd(), 0);
    clock.at(1.33);
    EXPECT_DOUBLE_EQ(scene.stroke(1)->strokeEnd(), 0);
    clock.at(1.35);
    EXPECT_GT(scene.stroke(1)->strokeEnd(), 0);
    clock.at(2.15);
    EXPECT_DOUBLE_EQ(scene.stamp()->opacity(), 0);
    EXPECT_DOUBLE_EQ(scene.stamp()->scale(), 0.6);
    clock.at(2.2);
    EXPECT_GT(scene.stamp()->opacity(), 0);
    EXPECT_GT(scene.stamp()->scale(), 0.6);
    // Playing again starts everything from its first value.
    scene.play();
    clock.sync();
    EXPECT_DOUBLE_EQ(scene.stroke(0)->strokeEnd(), 0);
    EXPECT_DOUBLE_EQ(scene.stamp()->opacity(), 0);
    EXPECT_DOUBLE_EQ(scene.paper()->translationY(), 22);
    clock.at(3.2);
    EXPECT_FALSE(scene.stamp()->animating());
}

TEST(FormScene, ChipPopsAfterTheFields) {
    Reduced still(false);
    AnimationClock clock;
    FormScene scene(720);
    scene.play();
    clock.sync();
    EXPECT_DOUBLE_EQ(scene.card()->translationY(), 18);
    EXPECT_DOUBLE_EQ(scene.rows()[4].value->translationX(), -8);
    clock.at(1.95);
    EXPECT_DOUBLE_EQ(scene.chip()->opacity(), 0);
    EXPECT_GT(scene.rows()[4].field->opacity(), 0);
    clock.at(2.0);
    EXPECT_GT(scene.chip()->opacity(), 0);
}

TEST(FormScene, PaintsConfirmedAndPendingFields) {
    FormScene scene(720);
    QImage image(720, 232, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(11, 35, 61));
    scene.render(&image);
    const auto& m = scene.model();
    // Inside the IBAN field (yellow tint) and the NIF field (green tint), on the white card.
    const QColor iban = image.pixelColor(int(m.fields[4].rect.x + 4), int(2 + m.fields[4].rect.y + 16));
    const QColor nif = image.pixelColor(int(m.fields[1].rect.maxX() - 4), int(2 + m.fields[1].rect.y + 16));
    EXPECT_GT(iban.red(), iban.blue() + 20);
    EXPECT_GT(nif.green(), nif.red());
    // The chip is yellow.
    const QColor chip = image.pixelColor(int(m.chip.x + 6), int(2 + m.chip.y + 11));
    EXPECT_NEAR(chip.red(), 248, 3);
    EXPECT_NEAR(chip.green(), 178, 3);
}

TEST(PageDots, DrawsAPillAtTheCurrentPage) {
    PageDots dots;
    dots.setCount(4);
    dots.setCurrent(2);
    EXPECT_EQ(dots.sizeHint(), QSize(68, 8));
    dots.resize(dots.sizeHint());
    QImage image(68, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    dots.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor accent = WelcomeColors::accent();
    // Dots at 0, 14, then the 22-point pill at 28 … 50, then a dot at 56.
    for (int x : {30, 39, 48}) {
        EXPECT_NEAR(image.pixelColor(x, 4).green(), accent.green(), 3) << x;
    }
    EXPECT_EQ(image.pixelColor(52, 4), QColor(Qt::black));
    const QColor dot = image.pixelColor(18, 4);
    EXPECT_NEAR(dot.red(), 64, 4);  // white at 0.25 over black
    EXPECT_NEAR(dot.blue(), 64, 4);
}
