// A signature taken from a photo: paper level, thresholds, the ink box and its crop.
#include "document/HandwritingPhoto.h"
#include "support/TestUtil.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage paper(int w, int h, QColor color = Qt::white) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

void fill(QImage& image, QRect area, QColor color) {
    QPainter painter(&image);
    painter.fillRect(area, color);
}

}  // namespace

TEST(HandwritingPhoto, PicturesWithoutASignatureGiveNothing) {
    EXPECT_FALSE(HandwritingPhoto::ink(QImage()));
    EXPECT_FALSE(HandwritingPhoto::ink(paper(600, 400)));  // a blank page
    // A quarter of the picture dark: not a signature.
    QImage quarter = paper(400, 400);
    fill(quarter, QRect(0, 0, 200, 200), Qt::black);
    EXPECT_FALSE(HandwritingPhoto::ink(quarter));
    QImage less = paper(400, 400);
    fill(less, QRect(0, 0, 200, 199), Qt::black);
    EXPECT_TRUE(HandwritingPhoto::ink(less));
    // Paper at 0.3 is too dark to be paper.
    QImage dim = paper(300, 200, QColor(77, 77, 77));  // 77 / 255 = 0.302
    fill(dim, QRect(100, 80, 60, 20), Qt::black);
    EXPECT_TRUE(HandwritingPhoto::ink(dim));
    QImage dark = paper(300, 200, QColor(76, 76, 76));  // 0.298
    fill(dark, QRect(100, 80, 60, 20), Qt::black);
    EXPECT_FALSE(HandwritingPhoto::ink(dark));
}

TEST(HandwritingPhoto, WorkingSizeOnlyReduces) {
    EXPECT_EQ(HandwritingPhoto::workingSize({1000, 400}), QSize(1000, 400));
    EXPECT_EQ(HandwritingPhoto::workingSize({3200, 2400}), QSize(1600, 1200));
    EXPECT_EQ(HandwritingPhoto::workingSize({100000, 10}), QSize(1600, 1));

    QImage small = paper(1000, 400);
    fill(small, QRect(100, 100, 800, 200), QColor(0, 0, 0));
    fill(small, QRect(110, 110, 780, 180), Qt::white);  // an outline: little dark area
    auto ink = HandwritingPhoto::ink(small);
    ASSERT_TRUE(ink);
    EXPECT_EQ(ink->size(), QSize(812, 212));  // full size, 6 px each side

    QImage large = paper(3200, 2400);
    fill(large, QRect(800, 800, 1600, 800), Qt::black);
    fill(large, QRect(820, 820, 1560, 760), Qt::white);
    ink = HandwritingPhoto::ink(large);
    ASSERT_TRUE(ink);
    EXPECT_NEAR(ink->width(), 800 + 12, 2);  // worked at 1600 × 1200
    EXPECT_NEAR(ink->height(), 400 + 12, 2);
}

TEST(HandwritingPhoto, TheInkBoxMustSpanNineColumnsAndFiveRows) {
    QImage narrow = paper(200, 100);
    fill(narrow, QRect(50, 40, 8, 5), Qt::black);  // max − min = 7 columns
    EXPECT_FALSE(HandwritingPhoto::ink(narrow));
    QImage enough = paper(200, 100);
    fill(enough, QRect(50, 40, 9, 5), Qt::black);
    auto ink = HandwritingPhoto::ink(enough);
    ASSERT_TRUE(ink);
    EXPECT_EQ(ink->size(), QSize(9 + 12, 5 + 12));
    QImage flat = paper(200, 100);
    fill(flat, QRect(50, 40, 30, 4), Qt::black);  // max − min = 3 rows
    EXPECT_FALSE(HandwritingPhoto::ink(flat));
}

TEST(HandwritingPhoto, InkAtTheEdgeIsCroppedThere) {
    QImage image = paper(200, 100);
    fill(image, QRect(0, 30, 40, 10), Qt::black);
    fill(image, QRect(180, 90, 20, 10), Qt::black);
    auto ink = HandwritingPhoto::ink(image);
    ASSERT_TRUE(ink);
    // From column 0 (no margin) to the right edge, from row 24 down to the bottom edge.
    EXPECT_EQ(ink->size(), QSize(200, 100 - 24));
    EXPECT_EQ(qAlpha(ink->pixel(0, 6)), 255);
}

TEST(HandwritingPhoto, AlphaRampsBetweenTheThresholds) {
    // Paper 1.0, so light = 0.85 and dark = 0.55: this colour's luminance is 178.4974 / 255, just
    // above 0.70, the halfway point.
    QImage image = paper(200, 100);
    fill(image, QRect(20, 20, 100, 30), Qt::black);
    fill(image, QRect(150, 70, 10, 10), QColor(180, 178, 179));
    auto ink = HandwritingPhoto::ink(image);
    ASSERT_TRUE(ink);
    const QImage out = ink->convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const uchar* p = out.constScanLine(70 - 14) + 4 * (150 - 14);
    EXPECT_NEAR(p[3], 127, 1);
    EXPECT_NEAR(p[0], 180 * 0.35, 1);
    EXPECT_NEAR(p[1], 178 * 0.35, 1);
    EXPECT_NEAR(p[2], 179 * 0.35, 1);
    // Black ink: fully opaque, stays black; paper: fully transparent.
    const uchar* black = out.constScanLine(30 - 14) + 4 * (40 - 14);
    EXPECT_EQ(black[3], 255);
    EXPECT_EQ(black[0], 0);
    EXPECT_EQ(out.constScanLine(0)[3], 0);
}

// A JPEG whose pixels lie turned a quarter to the left, with the EXIF orientation 6 ("turn right
// to show") that phone cameras write. The EXIF segment is written here byte by byte.
TEST(HandwritingPhoto, ReadsThePhotoUpright) {
    testutil::TempDir dir;
    QImage wide = paper(400, 120);
    fill(wide, QRect(40, 50, 320, 20), Qt::black);
    const QImage stored = wide.transformed(QTransform().rotate(-90));
    ASSERT_EQ(stored.size(), QSize(120, 400));
    const auto plain = dir.path() / "plain.jpg";
    ASSERT_TRUE(stored.save(QString::fromStdString(plain.string()), "JPEG", 95));
    std::string jpeg = testutil::readFile(plain);
    ASSERT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    const std::string exif("\xFF\xE1\x00\x22"
                           "Exif\0\0"
                           "MM\x00\x2A\x00\x00\x00\x08"
                           "\x00\x01"
                           "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                           "\x00\x00\x00\x00",
                           36);
    jpeg.insert(2, exif);
    testutil::writeFile(dir.path() / "sig.jpg", jpeg);

    auto photo = HandwritingPhoto::read(dir.path() / "sig.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->size(), QSize(400, 120));
    auto ink = HandwritingPhoto::ink(*photo);
    ASSERT_TRUE(ink);
    EXPECT_GT(ink->width(), ink->height() * 3);

    EXPECT_FALSE(HandwritingPhoto::read(dir.path() / "missing.jpg"));
    testutil::writeFile(dir.path() / "broken.png", "\x89PNG\r\n\x1a\nnot really");
    EXPECT_FALSE(HandwritingPhoto::read(dir.path() / "broken.png"));
}

// The test-only driver reads and extracts as the sheet does.
TEST(HandwritingPhoto, InkphotoDriver) {
    const std::string tool = std::string(TINDRA_TOOLS_DIR) + "/inkphoto";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "inkphoto is not built";
    testutil::TempDir dir;
    QImage image = paper(1000, 400);
    fill(image, QRect(100, 150, 700, 30), Qt::black);
    const auto in = dir.path() / "firma.jpg";
    ASSERT_TRUE(image.save(QString::fromStdString(in.string()), "JPEG", 95));
    const auto out = dir.path() / "tinta.png";
    auto r = testutil::run({tool, in.string(), out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const QImage written(QString::fromStdString(out.string()));
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(r.out, "{\"width\": " + std::to_string(written.width()) + ", \"height\": " +
                         std::to_string(written.height()) + "}\n");
    EXPECT_NEAR(written.width(), 712, 2);

    const auto blank = dir.path() / "blanco.png";
    ASSERT_TRUE(paper(300, 200).save(QString::fromStdString(blank.string())));
    r = testutil::run({tool, blank.string(), (dir.path() / "nada.png").string()});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"rejected\": true}\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "nada.png"));

    r = testutil::run({tool, (dir.path() / "no-existe.jpg").string(), out.string()});
    EXPECT_EQ(r.exitCode, 1);
}
