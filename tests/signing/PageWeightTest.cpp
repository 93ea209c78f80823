// Pages too heavy to draw: judged from what they declare, never given to a renderer; the
// placement search ends at its deadline whatever its pages cost.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

#include "pdf/PDFFile.h"
#include "signing/PageWeight.h"
#include "signing/SignatureLocator.h"
#include "support/HeavyPages.h"
#include "support/TestUtil.h"

using heavypages::Kind;

namespace {

// Pages that say "Firma del interesado" and draw white; records which pages were drawn and
// counts the pages whose text was read.
class RecordingPages final : public PageSource {
public:
    explicit RecordingPages(int count) : count_(count) {}

    int pageCount() const override { return count_; }
    std::optional<PageText> text(int) const override {
        ++read;
        PageText t;
        t.text = u"Firma del interesado";
        for (std::size_t i = 0; i < t.text.size(); ++i)
            t.boxes.push_back({72 + 6.0 * static_cast<double>(i), 60, 6, 12});
        return t;
    }
    std::optional<GreyImage> render(int pageIndex, double scale, std::int64_t) const override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            drawn.insert(pageIndex);
        }
        GreyImage image;
        image.width = static_cast<int>(595 * scale) + 1;
        image.height = static_cast<int>(842 * scale) + 1;
        image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
        return image;
    }

    mutable std::atomic<int> read{0};
    mutable std::set<int> drawn;

private:
    int count_;
    mutable std::mutex mutex_;
};

}  // namespace

// Every way of declaring the huge image makes the page too heavy to draw; an ordinary scanned page
// and a text page stay drawable at the ink map's scale.
TEST(PageWeight, AHugeDeclaredImageIsTooHeavyAnOrdinaryScanIsNot) {
    const std::vector<Kind> kinds{Kind::xobject,   Kind::inlineImage, Kind::inForm,
                                  Kind::inPattern, Kind::hugePage,    Kind::scan};
    PDFFile file(heavypages::pdf(kinds));
    std::vector<PageWeight> weights = PageWeights::of(file);
    ASSERT_EQ(weights.size(), kinds.size());
    for (std::size_t i = 0; i + 1 < kinds.size(); ++i)
        EXPECT_FALSE(PageWeights::renderable(weights[i], 2)) << "page " << i;
    EXPECT_TRUE(PageWeights::renderable(weights.back(), 2));
    EXPECT_EQ(weights.back().largestImage, 2000 * 3000 * 3);
    // A page of text only.
    PDFFile text(fixtures::textPDF(1, true));
    EXPECT_TRUE(PageWeights::renderable(PageWeights::of(text).at(0), 2));
}

// The placement search over a document whose last page draws the huge image never asks for that
// page to be drawn, and still gives its corner place; the ordinary page before it is drawn.
TEST(PageWeight, ThePlacementSearchNeverDrawsAHeavyPage) {
    PDFFile file(heavypages::pdf({Kind::scan, Kind::xobject}));
    RecordingPages pages(2);
    GuardedPages guarded(pages, file);
    std::vector<SignaturePlacement> list = SignatureLocator::placements(file, guarded);
    EXPECT_EQ(pages.drawn, std::set<int>{0});
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back().label, "Esquina inferior izquierda de la última página");
    EXPECT_EQ(list.back().pageIndex, 1);
}

// The search over Poppler, as a signing run and pdfplace use it, ends on every kind of heavy page
// (a child process, so that a render that never ends fails the test instead of hanging it).
TEST(PageWeight, PdfplaceEndsOnHeavyPages) {
    testutil::TempDir dir;
    const std::string tool = (testutil::toolsDir() / "pdfplace").string();
    for (Kind kind : {Kind::xobject, Kind::inlineImage, Kind::inForm, Kind::inPattern}) {
        const std::string path = (dir / "heavy.pdf").string();
        testutil::writeFile(path, heavypages::pdf({kind}));
        testutil::RunResult run = testutil::run({"timeout", "20", tool, path});
        ASSERT_NE(run.exitCode, 124) << "pdfplace did not end within 20 s on a heavy page of kind "
                                     << static_cast<int>(kind) << ".";
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find("Esquina inferior izquierda"), std::string::npos) << run.out;
    }
}

// Pages that take long: the search stops reading at its deadline (a clock of the test's own: the
// time is up once three pages have been read) and gives the last page's place.
TEST(PageWeight, TheSearchEndsAtItsDeadlineWithTheLastPagePlace) {
    constexpr int count = 60;
    PDFFile file(fixtures::textPDF(count));
    RecordingPages pages(count);
    SignatureLocator::Deadline deadline([&] { return pages.read.load() >= 3; });
    std::vector<SignaturePlacement> list =
        SignatureLocator::placements(file, pages, {}, deadline);
    // The page being read when the time came is finished, the rest are left.
    EXPECT_LE(pages.read.load(), 4);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back().pageIndex, count - 1);
    EXPECT_FALSE(list.back().detected);
    EXPECT_TRUE(SignatureLocator::best(list, nullptr));
}
