// One page text for the whole document: the form reader and the placement search, each on its
// own thread and through its own page source, read every page's text once between them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "pages/PageProcess.h"
#include "pages/SharedPageText.h"
#include "signing/SignatureLocator.h"
#include "support/FormFixtures.h"

namespace {

// Counts, per page, the texts and drawings asked of the page process by it and all its clones.
class CountingPages final : public PageSource {
public:
    struct Counts {
        std::mutex mutex;
        std::vector<int> texts;
        std::vector<int> renders;
        int slices = 0;  // parts of pages drawn
    };

    CountingPages(std::unique_ptr<PageSource> pages, std::shared_ptr<Counts> counts)
        : pages_(std::move(pages)), counts_(std::move(counts)) {}

    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int index) const override {
        {
            std::lock_guard lock(counts_->mutex);
            if (index >= 0 && static_cast<std::size_t>(index) < counts_->texts.size())
                ++counts_->texts[static_cast<std::size_t>(index)];
        }
        return pages_->text(index);
    }
    std::optional<std::u16string> words(int index) const override { return pages_->words(index); }
    std::optional<GreyImage> render(int index, double scale,
                                    std::int64_t maxPixels) const override {
        {
            std::lock_guard lock(counts_->mutex);
            if (index >= 0 && static_cast<std::size_t>(index) < counts_->renders.size())
                ++counts_->renders[static_cast<std::size_t>(index)];
        }
        return pages_->render(index, scale, maxPixels);
    }
    std::optional<GreyImage> renderRegion(int index, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override {
        {
            std::lock_guard lock(counts_->mutex);
            ++counts_->slices;
        }
        return pages_->renderRegion(index, scale, x, y, width, height, maxPixels);
    }
    std::unique_ptr<PageSource> clone() const override {
        std::unique_ptr<PageSource> pages = pages_->clone();
        if (!pages) return nullptr;
        return std::make_unique<CountingPages>(std::move(pages), counts_);
    }

private:
    std::unique_ptr<PageSource> pages_;
    std::shared_ptr<Counts> counts_;
};

}  // namespace

TEST(SharedPageText, EachPageIsReadAndDrawnOnceByTheFormReaderAndThePlacementSearch) {
    // A flat form whose every page also asks for a signature, so that the search wants the
    // boxes of every page's text, as the form reader does.
    formfixtures::FormSpec spec;
    spec.pages.resize(12);
    for (std::size_t i = 0; i < spec.pages.size(); ++i) {
        spec.pages[i].texts = {{72, 760, "Anexo " + std::to_string(i + 1), 12},
                               {72, 700, "Nombre y apellidos", 10},
                               {72, 300, "Firma del solicitante", 10}};
        // A logo the form reader's own reading of the drawing leaves to the page process.
        spec.pages[i].graphics =
            "q 40 0 0 40 480 760 cm BI /W 2 /H 2 /BPC 8 /CS /G ID \x10\x80\x80\x10 EI Q\n"
            "0.8 w 200 694 250 20 re S\n"
            "0.5 w 210 360 m 400 360 l 410 360 410 370 410 370 c 410 400 l 410 410 400 410 400 "
            "410 c 210 410 l 200 410 200 400 200 400 c 200 370 l 200 360 210 360 210 360 c S\n";
    }
    const std::string pdf = formfixtures::formPDF(spec);
    auto counts = std::make_shared<CountingPages::Counts>();
    counts->texts.assign(spec.pages.size(), 0);
    counts->renders.assign(spec.pages.size(), 0);
    auto cache = std::make_shared<PageTextCache>();

    // The search on a thread of its own, over its own file and source, as the signing window
    // runs it; the form reader meanwhile on this thread.
    std::vector<SignaturePlacement> placements;
    std::thread search([&] {
        PDFFile file(pdf);
        SharedPageText pages(cache, std::make_unique<CountingPages>(
                                        PageProcess::open(file.bytes()), counts));
        // Given all the time it needs: what is tested is the sharing, and a loaded machine
        // stretches the reading past the search's own four seconds.
        const SignatureLocator::Deadline unhurried(std::chrono::minutes(2));
        placements = SignatureLocator::placements(file, pages, std::stop_token(), unhurried);
    });
    PDFFile file(pdf);
    SharedPageText pages(cache, std::make_unique<CountingPages>(
                                    PageProcess::open(file.bytes()), counts));
    FormReader::ReadReport report;
    const std::vector<FormField> fields =
        FormReader::fields(file, pages, std::stop_token(), &report);
    search.join();

    EXPECT_EQ(report.pagesRead, 12);
    EXPECT_EQ(fields.size(), 12u);
    std::size_t cues = 0;
    for (const SignaturePlacement& p : placements) cues += p.detected ? 1 : 0;
    EXPECT_GE(cues, 12u) << "the search read every page's text";
    int drawn = 0;
    for (std::size_t i = 0; i < counts->texts.size(); ++i) {
        EXPECT_EQ(counts->texts[i], 1) << "page " << i;
        EXPECT_LE(counts->renders[i], 1) << "page " << i;
        drawn += counts->renders[i];
    }
    EXPECT_GT(drawn + counts->slices, 0) << "no page was drawn: the test shows nothing";
}

// A cache smaller than one page keeps the last page only: the others are read again, and what
// is read again is the same text.
TEST(SharedPageText, PagesDroppedOverTheBoundAreReadAgain) {
    formfixtures::FormSpec spec;
    spec.pages.resize(3);
    for (std::size_t i = 0; i < spec.pages.size(); ++i)
        spec.pages[i].texts = {{72, 700, "Pagina " + std::to_string(i + 1), 10}};
    const std::string pdf = formfixtures::formPDF(spec);
    auto counts = std::make_shared<CountingPages::Counts>();
    counts->texts.assign(3, 0);
    auto cache = std::make_shared<PageTextCache>(1);
    SharedPageText pages(cache, std::make_unique<CountingPages>(PageProcess::open(pdf), counts));

    const std::optional<PageText> first = pages.text(0);
    ASSERT_TRUE(first);
    EXPECT_TRUE(pages.text(1));
    EXPECT_TRUE(pages.text(1));
    const std::optional<PageText> again = pages.text(0);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->text, first->text);
    EXPECT_EQ(counts->texts, (std::vector<int>{2, 1, 0}));
    ASSERT_TRUE(cache->kept(0));
    EXPECT_FALSE(cache->kept(1));
    EXPECT_EQ(cache->bytes(), PageTextCache::bytesOf(*cache->kept(0)));
}

// A reader held up inside a page does not hold the others: past their wait they read the page
// themselves.
TEST(SharedPageText, AReaderHeldUpInAPageDoesNotHoldTheOthers) {
    auto cache = std::make_shared<PageTextCache>(PageTextCache::defaultMaxBytes,
                                                 std::chrono::milliseconds(50));
    std::promise<void> entered;
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::thread held([&] {
        cache->text(0, [&] {
            entered.set_value();
            opened.wait_for(std::chrono::seconds(30));  // never for ever
            return std::optional<PageText>(PageText{u"tarde", {}});
        });
    });
    entered.get_future().wait();
    const auto text = cache->text(0, [] { return std::optional<PageText>(PageText{u"ya", {}}); });
    const bool whileHeld = opened.wait_for(std::chrono::seconds(0)) != std::future_status::ready;
    gate.set_value();
    held.join();
    EXPECT_TRUE(whileHeld) << "the second reader waited for the held one";
    ASSERT_TRUE(text && *text);
    EXPECT_EQ((*text)->text, u"ya");
}
