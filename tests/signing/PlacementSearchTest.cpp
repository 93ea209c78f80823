// How the placement search reads a document: each page's text once, an ink map only for the pages
// that need one, the last page's map shared by its cues and its place, the same list whether the
// pages are read on one thread or several, the last pages first; huge pages mapped at 1 pixel per
// point.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>

#include "pdf/PDFFile.h"
#include "pages/PageProcess.h"
#include "pages/InkMap.h"
#include "pages/SharedPageText.h"
#include "signing/PlacementTestSupport.h"
#include "signing/SignatureCues.h"
#include "signing/SignatureLocator.h"
#include "support/CairoPages.h"
#include "support/FormFixtures.h"

using namespace placementtest;

namespace {

// Poppler's pages, counting what is asked of each page; never cloned, so one thread reads all.
class CountingPages final : public PageSource {
public:
    explicit CountingPages(std::string_view bytes) : pages_(PageProcess::open(bytes)) {}
    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int i) const override {
        ++texts[i];
        return pages_->text(i);
    }
    std::optional<std::u16string> words(int i) const override {
        ++words_[i];
        return pages_->words(i);
    }
    std::optional<GreyImage> render(int i, double scale, std::int64_t maxPixels) const override {
        ++renders[i];
        return pages_->render(i, scale, maxPixels);
    }
    std::optional<GreyImage> renderRegion(int i, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override {
        ++slices[i];
        return pages_->renderRegion(i, scale, x, y, width, height, maxPixels);
    }
    mutable std::map<int, int> texts, words_, renders, slices;

private:
    std::unique_ptr<PageProcess> pages_;
};

// Twelve pages of text; a name cue with room above it on pages 3, 8 and 12 (the last).
std::string cuedDocument() {
    cairopages::Document doc;
    for (int p = 1; p <= 12; ++p) {
        auto& page = doc.page(595, 842);
        page.lines(72, 770, {"Expone que reúne los requisitos de la convocatoria",
                             "y solicita ser admitido en el procedimiento, página " +
                                 std::to_string(p)});
        if (p == 3 || p == 8 || p == 12) page.text(72, 200, "Fdo.: El interesado");
    }
    return doc.pdf();
}

// A letter whose every page ends as its last one does: the place and date, room to sign,
// «Fdo.: El interesado» and a footer low enough to leave no room for a place after the content.
std::string letter(int pages) {
    cairopages::Document doc;
    for (int p = 1; p <= pages; ++p) {
        auto& page = doc.page(595, 842);
        page.lines(72, 770, {"Expone que reúne los requisitos de la convocatoria",
                             "y solicita ser admitido en el procedimiento."});
        page.text(72, 230, "En Madrid, a 9 de diciembre de 2026");
        page.text(72, 130, "Fdo.: El interesado");
        page.text(72, 50, "Calle Mayor 1, 28013 Madrid · página " + std::to_string(p) + " de " +
                              std::to_string(pages));
    }
    return doc.pdf();
}

// Pages drawn, whole or in slices, by a source and by all its clones.
struct PagesDrawn {
    std::mutex mutex;
    std::set<int> pages;
    void add(int page) {
        std::lock_guard lock(mutex);
        pages.insert(page);
    }
    int count() {
        std::lock_guard lock(mutex);
        return static_cast<int>(pages.size());
    }
};

class Tally final : public PageSource {
public:
    Tally(std::unique_ptr<PageSource> pages, std::shared_ptr<PagesDrawn> drawn,
          std::shared_ptr<std::atomic<int>> read = std::make_shared<std::atomic<int>>(0))
        : pages_(std::move(pages)), drawn_(std::move(drawn)), read_(std::move(read)) {}
    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int i) const override {
        ++*read_;
        return pages_->text(i);
    }
    std::optional<std::u16string> words(int i) const override { return pages_->words(i); }
    std::optional<GreyImage> render(int i, double scale, std::int64_t maxPixels) const override {
        drawn_->add(i);
        return pages_->render(i, scale, maxPixels);
    }
    std::optional<GreyImage> renderRegion(int i, double scale, int x, int y, int width,
                                          int height, std::int64_t maxPixels) const override {
        drawn_->add(i);
        return pages_->renderRegion(i, scale, x, y, width, height, maxPixels);
    }
    std::unique_ptr<PageSource> clone() const override {
        std::unique_ptr<PageSource> pages = pages_->clone();
        return pages ? std::make_unique<Tally>(std::move(pages), drawn_, read_) : nullptr;
    }
    void setCutoff(std::function<bool()> cut) override { pages_->setCutoff(std::move(cut)); }

private:
    std::unique_ptr<PageSource> pages_;
    std::shared_ptr<PagesDrawn> drawn_;
    std::shared_ptr<std::atomic<int>> read_;  // page texts
};

std::string describe(const std::vector<SignaturePlacement>& list) {
    std::string out;
    for (const SignaturePlacement& p : list)
        out += p.label + " " + std::to_string(p.pageIndex) + " " + std::to_string(p.rect.x) + "," +
               std::to_string(p.rect.y) + "," + std::to_string(p.rect.width) + "," +
               std::to_string(p.rect.height) + " [" + p.context + "]\n";
    return out;
}

}  // namespace

TEST(PlacementSearch, ReadsEachPageOnceAndDrawsOnlyThePagesThatNeedIt) {
    const std::string pdf = cuedDocument();
    PDFFile file(pdf);
    CountingPages pages(file.bytes());
    std::vector<SignaturePlacement> one = SignatureLocator::placements(file, pages);

    // Boxes only for the pages with a cue (and the last page); the last page drawn once for its
    // cue and its place together, the others at most in part, where their drawing leaves the
    // room round the cue in doubt.
    EXPECT_EQ(pages.renders, (std::map<int, int>{{11, 1}}));
    for (const auto& [page, count] : pages.slices) EXPECT_TRUE(page == 2 || page == 7) << page;
    EXPECT_EQ(pages.texts, (std::map<int, int>{{2, 1}, {7, 1}, {11, 1}}));
    for (int i = 0; i < 11; ++i) EXPECT_EQ(pages.words_[i], 1) << i;

    ASSERT_EQ(one.size(), 4u);
    EXPECT_EQ(one[0].label, "Sobre «Fdo.: El interesado» · pág. 3");
    EXPECT_EQ(one[2].label, "Sobre «Fdo.: El interesado» · pág. 12");
    EXPECT_EQ(one[3].label, "Al final del contenido · pág. 12");

    // Poppler's own source reads with several threads: the same list.
    EXPECT_EQ(describe(SignatureLocator::placements(file)), describe(one));
}

// However long the letter and however soon the search runs out of time, the card goes beside the
// last page's «Fdo.», where it goes on a three-page cut of the letter; the pages searched besides
// the last are the ones before it. The pages are read as the signing window reads them, through
// the text it shares with the form reader.
TEST(PlacementSearch, ALongLetterIsSignedBesideItsLastFdo) {
    const std::optional<SignaturePlacement> cut = [pdf = letter(3)] {
        PDFFile file(pdf);
        return SignatureLocator::best(SignatureLocator::placements(file), nullptr);
    }();
    ASSERT_TRUE(cut);
    ASSERT_EQ(cut->label, "Sobre «Fdo.: El interesado» · pág. 3");

    // Out of time once eight pages have been drawn (the last one included) or sixty read (most
    // pages need no drawing), or at once.
    for (const auto& [length, draws] : {std::pair{400, 8}, std::pair{2400, 0}}) {
        SCOPED_TRACE(length);
        const std::string pdf = letter(length);
        PDFFile file(pdf);
        auto drawn = std::make_shared<PagesDrawn>();
        auto read = std::make_shared<std::atomic<int>>(0);
        SharedPageText pages(std::make_shared<PageTextCache>(),
                             std::make_unique<Tally>(PageProcess::open(file.bytes()), drawn, read));
        SignatureLocator::Deadline deadline(
            [&, draws = draws] { return drawn->count() >= draws || (draws > 0 && *read >= 60); });
        const std::vector<SignaturePlacement> list =
            SignatureLocator::placements(file, pages, {}, deadline);

        const std::optional<SignaturePlacement> chosen = SignatureLocator::best(list, nullptr);
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->label, "Sobre «Fdo.: El interesado» · pág. " + std::to_string(length));
        EXPECT_EQ(chosen->pageIndex, length - 1);
        EXPECT_TRUE(near(chosen->rect, cut->rect, 0.01));
        std::set<int> searched;
        for (const SignaturePlacement& p : list)
            if (p.detected) searched.insert(p.pageIndex);
        ASSERT_FALSE(searched.empty());
        EXPECT_GE(*searched.begin(), length - 100);
        // Out of time at once: the last page only. Otherwise how many of the pages read before
        // the time ran out were searched depends on how far the search's readers got ahead of
        // it, which a loaded machine changes; none is earlier than the bound above.
        if (draws == 0) {
            EXPECT_EQ(searched.size(), 1u);
        }
    }
}

// A signing that only wants the best place reads no page but the last when the last page holds
// a cue of the strongest rank: the card goes where the whole search puts it.
TEST(PlacementSearch, ASigningReadsOnlyTheLastPageWhenItSettlesThePlace) {
    const std::string pdf = cuedDocument();
    PDFFile file(pdf);
    CountingPages whole(file.bytes()), settled(file.bytes());
    const auto all = SignatureLocator::placements(file, whole);
    const auto few = SignatureLocator::placements(file, settled, {}, SignatureLocator::Deadline(),
                                                  SignatureLocator::Extent::untilSettled);
    const std::optional<SignaturePlacement> best = SignatureLocator::best(all, nullptr);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->pageIndex, 11);
    EXPECT_EQ(describe({*SignatureLocator::best(few, nullptr)}), describe({*best}));
    EXPECT_EQ(settled.texts.size() + settled.words_.size(), 1u);
    EXPECT_GT(whole.texts.size() + whole.words_.size(), 1u);
}

TEST(PlacementSearch, ReaderWithoutItsCloneLeavesThePagesToTheOthers) {
    // Poppler's pages whose second document cannot be opened (memory exhausted): the readers
    // that get no clone stop, and the calling thread reads every page.
    struct Unclonable final : PageSource {
        explicit Unclonable(std::string_view bytes) : pages(PageProcess::open(bytes)) {}
        int pageCount() const override { return pages->pageCount(); }
        std::optional<PageText> text(int i) const override { return pages->text(i); }
        std::optional<std::u16string> words(int i) const override { return pages->words(i); }
        std::optional<GreyImage> render(int i, double scale, std::int64_t max) const override {
            return pages->render(i, scale, max);
        }
        std::unique_ptr<PageSource> clone() const override { throw std::bad_alloc(); }
        std::unique_ptr<PageProcess> pages;
    };
    const std::string pdf = cuedDocument();
    PDFFile file(pdf);
    CountingPages counted(file.bytes());
    Unclonable pages(file.bytes());
    EXPECT_EQ(describe(SignatureLocator::placements(file, pages)),
              describe(SignatureLocator::placements(file, counted)));
}

TEST(PlacementSearch, PageLargerThanA1IsMappedAtOnePixelPerPoint) {
    struct Pages final : PageSource {
        mutable std::vector<double> scales;
        int pageCount() const override { return 1; }
        std::optional<PageText> text(int) const override { return PageText{}; }
        std::optional<GreyImage> render(int, double scale, std::int64_t max) const override {
            scales.push_back(scale);
            GreyImage image;
            image.width = static_cast<int>(std::ceil(2268 * scale));
            image.height = static_cast<int>(std::ceil(4032 * scale));
            if (static_cast<std::int64_t>(image.width) * image.height >= max) return std::nullopt;
            image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
            // Ink over display (100 ... 300, 3832 ... 3932): rows from the top of the page.
            for (int y = static_cast<int>(100 * scale); y < static_cast<int>(200 * scale); ++y)
                for (int x = static_cast<int>(100 * scale); x < static_cast<int>(300 * scale); ++x)
                    image.pixels[static_cast<std::size_t>(y) * image.width + x] = 0;
            return image;
        }
    } pages;
    std::optional<InkMap> scan =
        InkMap::make(pages, 0, {}, DisplaySpace({0, 0, 2268, 4032}, 0), {});
    ASSERT_TRUE(scan);
    EXPECT_EQ(pages.scales, std::vector<double>{1.0});
    EXPECT_EQ(scan->pixelsPerPoint(), 1.0);
    EXPECT_EQ(scan->width(), 2268);
    EXPECT_FALSE(scan->isEmpty({150, 3850, 10, 10}));
    EXPECT_TRUE(scan->isEmpty({301, 3832, 100, 100}));
    EXPECT_TRUE(scan->isEmpty({100, 3700, 200, 131}));

    // An A1 sheet is still drawn at 2 pixels per point.
    pages.scales.clear();
    InkMap::make(pages, 0, {}, DisplaySpace({0, 0, 1684, 2384}, 0), {});
    EXPECT_EQ(pages.scales, std::vector<double>{2.0});
}

TEST(PlacementSearch, QuickWordTestNeverHidesACue) {
    EXPECT_FALSE(SignatureCues::mayHaveAnchorWords(u"The macro expands the token list"));
    EXPECT_FALSE(SignatureCues::hasAnchorWords(u"The macro expands the token list"));
    // Stems in any case, and characters whose folding gives letters, go on to the full test.
    EXPECT_TRUE(SignatureCues::hasAnchorWords(u"FDO.: EL INTERESADO"));
    EXPECT_TRUE(SignatureCues::hasAnchorWords(u"La Sol\u00b7licitant"));
    EXPECT_TRUE(SignatureCues::mayHaveAnchorWords(u"\ufb01rma"));
    // "signatures" in running text passes the quick test but is no cue word.
    EXPECT_TRUE(SignatureCues::mayHaveAnchorWords(u"the signatures of nodes"));
    EXPECT_FALSE(SignatureCues::hasAnchorWords(u"the signatures of nodes"));
}

// A long flat form that asks for no signature in words, but names its party in every page's
// heading («1. DATOS DEL SOLICITANTE»): the room around each heading is told from the page's
// drawing, and only the last page is drawn whole (for the place after its content), whatever the
// length; the places found on a short copy are those a drawing of every page gives (the same
// pages under a blank picture, which only a drawing tells is blank).
TEST(PlacementSearch, ALongFormWithoutASignatureLineIsNotDrawnPageByPage) {
    for (formfixtures::FlatDesign design :
         {formfixtures::FlatDesign::printed, formfixtures::FlatDesign::rounded,
          formfixtures::FlatDesign::tables}) {
        formfixtures::FormSpec spec = formfixtures::flatForm(design, 300);
        SCOPED_TRACE(static_cast<int>(design));
        const std::string pdf = formfixtures::formPDF(spec);
        PDFFile file(pdf);
        CountingPages pages(file.bytes());
        const std::vector<SignaturePlacement> found = SignatureLocator::placements(file, pages);
        int drawn = 0, slices = 0;
        for (const auto& [page, count] : pages.renders) drawn += count;
        for (const auto& [page, count] : pages.slices) slices += count;
        EXPECT_EQ(drawn, 1) << describe(found);
        EXPECT_EQ(pages.renders.count(299), 1u);
        // Where the drawing leaves the room round a heading in doubt, only part of the page is
        // drawn, on a few pages whatever the length.
        EXPECT_LE(pages.slices.size(), 32u);
        EXPECT_LE(slices, 4 * 32);
        for (const auto& [page, count] : pages.slices) EXPECT_GE(page, 299 - 32);

        spec.pages.resize(12);
        const std::string shorter = formfixtures::formPDF(spec);
        PDFFile shorterFile(shorter);
        CountingPages shorterPages(shorterFile.bytes());
        const std::vector<SignaturePlacement> fromDrawing =
            SignatureLocator::placements(shorterFile, shorterPages);
        for (auto& page : spec.pages)
            page.graphics = "q " + std::to_string(page.width) + " 0 0 " +
                            std::to_string(page.height) +
                            " 0 0 cm BI /W 1 /H 1 /IM true /BPC 1 ID \xFF EI Q\n" + page.graphics;
        const std::string covered = formfixtures::formPDF(spec);
        PDFFile coveredFile(covered);
        CountingPages coveredPages(coveredFile.bytes());
        EXPECT_EQ(describe(SignatureLocator::placements(coveredFile, coveredPages)),
                  describe(fromDrawing));
    }
}
