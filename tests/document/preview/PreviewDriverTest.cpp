// The test-only driver renders a document and reports its layout.
#include <gtest/gtest.h>

#include <QImage>
#include <nlohmann/json.hpp>

#include "PreviewTestSupport.h"
#include "support/TestUtil.h"

TEST(PreviewDriver, RendersAPageAndReportsItsFrame) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "seis.pdf", previewtest::textPages(6));
    std::string tool = (testutil::toolsDir() / "pdfpreview").string();
    auto run = testutil::run({tool, (dir / "seis.pdf").string(), "--page", "2", "--zoom", "1",
                              "--size", "600x500", (dir / "out.png").string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["pages"], 6);
    EXPECT_EQ(json["visiblePages"], nlohmann::json::array({2}));
    // One A4 page fitted to the height of the area: 500 - 40 - 24 - 24 = 412 points.
    EXPECT_NEAR(json["scale"].get<double>(), 412.0 / 842, 1e-9);
    ASSERT_EQ(json["frames"].size(), 1u);
    EXPECT_NEAR(json["frames"][0][3].get<double>(), 412, 1e-9);
    QImage image(QString::fromStdString((dir / "out.png").string()));
    ASSERT_EQ(image.size(), QSize(600, 500));
    // The heading of page 3 is on the sheet: dark pixels in its upper part.
    double x = json["frames"][0][0], y = json["frames"][0][1], w = json["frames"][0][2],
           h = json["frames"][0][3];
    QRectF top(x, 500 - (y + h), w, h * 0.2);
    EXPECT_GT(previewtest::ink(image, top), 30);

    auto refused = testutil::run({tool, (dir / "nada.pdf").string(), (dir / "x.png").string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("No se ha podido abrir"), std::string::npos);
}
