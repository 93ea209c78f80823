// The signing window over a document whose first page would hold a renderer for minutes: the
// window shows at once, its placement search and form reading end within their bounds, and the
// application's memory stays small, whatever shape the page takes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <chrono>

#include "PanelFixtures.h"
#include "document/SigningPanel.h"
#include "pages/PageLimits.h"
#include "support/HostilePages.h"

namespace {

using Clock = std::chrono::steady_clock;

class HostilePanel : public ::testing::TestWithParam<hostilepages::Shape> {};

TEST_P(HostilePanel, SearchesAndReadsWithinTheirBounds) {
    panelfixtures::Context ctx;
    const auto file = ctx.write("hostil.pdf", hostilepages::pdf(GetParam()));
    const auto start = Clock::now();
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context);
    panel.begin([](std::optional<SigningOptions>) {});
    QApplication::processEvents();
    EXPECT_TRUE(panel.window()->isVisible());
    bool searched = false;
    while (Clock::now() - start < std::chrono::seconds(60)) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!searched && !panel.searchingPlacements()) {
            searched = true;
            EXPECT_LE(Clock::now() - start, std::chrono::milliseconds(5500 * PageLimits::slowdown))
                << "placement search";
        }
        if (searched && !panel.readingForm()) break;
    }
    EXPECT_FALSE(panel.searchingPlacements());
    EXPECT_FALSE(panel.readingForm());
    // Two pages, each given no more than its text and ink deadlines.
    EXPECT_LE(Clock::now() - start,
              2 * (PageLimits::textTime + PageLimits::inkTime) + std::chrono::seconds(3))
        << "form reading";
    EXPECT_FALSE(panel.signatures().empty()) << "the card has a place (the fallback one at least)";
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1536L * 1024);
    panel.cancel();
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostilePanel, ::testing::ValuesIn(hostilepages::allShapes()),
                         [](const auto& info) { return hostilepages::nameOf(info.param); });

}  // namespace
