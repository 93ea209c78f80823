// Pages too heavy to draw: judged from what they declare, never given to a renderer; the
// placement search ends at its deadline whatever its pages cost.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <mutex>
#include <set>

#include "pdf/PDFFile.h"
#include "pages/PageProcess.h"
#include "pages/content/BoundedDecode.h"
#include "pages/content/PageWeight.h"
#include "signing/SignatureLocator.h"
#include "support/HeavyPages.h"
#include "support/TestUtil.h"

using heavypages::Kind;
using heavypages::StoredContent;

namespace {

// The decoded data of a stream object, as qpdf reads them.
std::string qpdfDecoded(const std::string& pdf, int object) {
    testutil::TempDir dir;
    const std::string path = (dir / "in.pdf").string();
    testutil::writeFile(path, pdf);
    testutil::RunResult run = testutil::run({"qpdf", "--show-object=" + std::to_string(object),
                                             "--filtered-stream-data", "--decode-level=all", path});
    EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 3) << run.err;
    return run.out;
}

// Content stored through the filters that old and distilled files use.
struct Chain {
    const char* name;
    StoredContent (*store)(const std::string& content);
};

const std::vector<Chain> chains{
    {"ASCII85 Flate",
     [](const std::string& c) {
         return StoredContent{"/Filter [/ASCII85Decode /FlateDecode]",
                              heavypages::ascii85(fixtures::deflate(c))};
     }},
    {"LZW", [](const std::string& c) {
         return StoredContent{"/Filter /LZWDecode", heavypages::lzw(c)};
     }},
    {"LZW without early change", [](const std::string& c) {
         return StoredContent{"/Filter /LZWDecode /DecodeParms <</EarlyChange 0>>",
                              heavypages::lzw(c, false)};
     }},
    {"ASCIIHex", [](const std::string& c) {
         return StoredContent{"/Filter /ASCIIHexDecode", heavypages::asciiHex(c)};
     }},
    {"ASCIIHex Flate", [](const std::string& c) {
         return StoredContent{"/Filter [/ASCIIHexDecode /FlateDecode]",
                              heavypages::asciiHex(fixtures::deflate(c))};
     }},
    {"RunLength", [](const std::string& c) {
         return StoredContent{"/Filter /RunLengthDecode", heavypages::runLength(c)};
     }},
    {"Flate PNG predictor", [](const std::string& c) {
         return StoredContent{
             "/Filter /FlateDecode /DecodeParms <</Predictor 12 /Columns 37>>",
             fixtures::deflate(heavypages::pngRows(c, 37))};
     }},
};

bool hasInk(const GreyImage& image) {
    return std::any_of(image.pixels.begin(), image.pixels.end(),
                       [](std::uint8_t p) { return p < 128; });
}

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

// The form reader, as pdfform runs it, ends on a flat form whose writing box holds a huge image:
// only the page's ink could tell whether the box is empty, and the page is not drawn for it.
TEST(PageWeight, PdfformEndsOnAFormWhoseBoxHoldsAHugeImage) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [10 0 R] /Count 1 >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    w.stream(12, heavypages::hugeImageKeys(), heavypages::tinyImageData());
    w.stream(11, "", "BT /F1 10 Tf 72 700 Td (Nombre:) Tj ET\n0.8 w 200 694 250 20 re S\n"
                     "q 240 0 0 12 205 698 cm /Im0 Do Q\n");
    w.object(10, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 11 0 R "
                 "/Resources <</Font <</F1 3 0 R >> /XObject <</Im0 12 0 R >> >> >>");
    testutil::TempDir dir;
    const std::string path = (dir / "formulario.pdf").string();
    testutil::writeFile(path, w.finishClassic("/Root 1 0 R"));
    const std::string tool = (testutil::toolsDir() / "pdfform").string();
    testutil::RunResult run = testutil::run({"timeout", "20", tool, path});
    ASSERT_NE(run.exitCode, 124) << "pdfform did not end within 20 s on the form.";
    EXPECT_EQ(run.exitCode, 0) << run.err;
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

// Content stored through ASCII85, LZW, ASCIIHex, RunLength, Flate with a PNG predictor and chains
// of them is weighed at its decoded size (qpdf's reading) and the guarded preview draws it; the
// same chains around an inline image of 200,000 x 200,000 samples are too heavy, found in the
// decoded content. Image codecs hold no content: such a page stays unknown.
TEST(PageWeight, ContentThroughTheContentFiltersIsWeighedDecoded) {
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "BT /F1 12 Tf 72 " + std::to_string(770 - 20 * i) +
                " Td (Firma del interesado) Tj ET\n0 0 0 rg 72 300 200 50 re f\n";
    const std::string huge =
        text + "q 400 0 0 400 100 200 cm BI /W 200000 /H 200000 /BPC 8 /CS /G /F /Fl ID " +
        heavypages::tinyImageData() + " EI Q\n";
    std::vector<StoredContent> pages;
    for (const Chain& chain : chains) pages.push_back(chain.store(text));
    for (const Chain& chain : chains) pages.push_back(chain.store(huge));
    pages.push_back({"/Filter /DCTDecode", "\xFF\xD8\xFF\xD9"});
    pages.push_back({"/Filter [/ASCIIHexDecode /DCTDecode]", "FFD8FFD9>"});
    const std::string pdf = heavypages::pdfWithContents(pages);
    PDFFile file(pdf);
    std::vector<PageWeight> weights = PageWeights::of(file);
    ASSERT_EQ(weights.size(), pages.size());
    std::unique_ptr<PageProcess> poppler = PageProcess::open(pdf);
    ASSERT_TRUE(poppler);
    GuardedPages preview(*poppler, file);

    const std::size_t n = chains.size();
    for (std::size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(chains[i].name);
        const std::string decoded = qpdfDecoded(pdf, static_cast<int>(10 * (i + 1) + 1));
        ASSERT_EQ(decoded.substr(0, text.size()), text);
        EXPECT_FALSE(weights[i].unknown);
        EXPECT_EQ(weights[i].contentBytes, static_cast<std::int64_t>(decoded.size()));
        EXPECT_TRUE(PageWeights::renderable(weights[i], 2));
        std::optional<GreyImage> drawn = preview.render(static_cast<int>(i), 1.0, 1 << 24);
        EXPECT_TRUE(drawn && hasInk(*drawn)) << "the preview shows the page blank";

        const PageWeight& heavy = weights[n + i];
        EXPECT_FALSE(heavy.unknown);
        EXPECT_EQ(heavy.inlineSamples, std::int64_t(200000) * 200000);
        EXPECT_FALSE(PageWeights::renderable(heavy, 2));
        EXPECT_FALSE(preview.render(static_cast<int>(n + i), 1.0, 1 << 24));
    }
    EXPECT_TRUE(weights[2 * n].unknown);
    EXPECT_TRUE(weights[2 * n + 1].unknown);
}

// LZW codes and runs that expand to hundreds of megabytes are decoded no further than the bound:
// the page is too heavy, its content counted one byte past the bound, and weighing it takes about
// as long as weighing LZW content a little under the bound.
TEST(PageWeight, ExpandingStreamsStopAtTheBound) {
    using Clock = std::chrono::steady_clock;
    auto weigh = [](const StoredContent& content, double& seconds) {
        PDFFile file(heavypages::pdfWithContents({content}));
        const Clock::time_point start = Clock::now();
        PageWeight weight = PageWeights::of(file).at(0);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return weight;
    };
    // Four blocks: 29,483,520 zero bytes, under the bound.
    double baseline = 0;
    PageWeight under = weigh({"/Filter /LZWDecode", heavypages::lzwBomb(4)}, baseline);
    EXPECT_FALSE(under.unknown);
    EXPECT_EQ(under.contentBytes, 4 * heavypages::lzwBombBlock);
    EXPECT_TRUE(PageWeights::renderable(under, 2));

    std::string runs;
    for (int i = 0; i < 4'000'000; ++i) runs += "\x81 ";  // 128 spaces each: 512,000,000 bytes
    const std::vector<std::pair<const char*, StoredContent>> hostile{
        {"LZW", {"/Filter /LZWDecode", heavypages::lzwBomb(64)}},
        {"Flate RunLength",
         {"/Filter [/FlateDecode /RunLengthDecode]", fixtures::deflate(runs)}},
    };
    for (const auto& [name, content] : hostile) {
        SCOPED_TRACE(name);
        double seconds = 0;
        PageWeight weight = weigh(content, seconds);
        EXPECT_FALSE(weight.unknown);
        EXPECT_EQ(weight.contentBytes, PageWeights::maxContentBytes + 1);
        EXPECT_FALSE(PageWeights::drawable(weight));
        EXPECT_LT(seconds, 4 * baseline + 0.5) << "the baseline took " << baseline << " s";
    }
}

// A stage between others that produces far more than the room without output (a megabyte of
// blanks inflated into hex digits) ends the decoding as past the bound; a long chain is not read.
TEST(PageWeight, AChainThatWorksPastItsShareEndsAsPastTheBound) {
    using namespace BoundedDecode;
    std::string out;
    const std::string blanks = fixtures::deflate(std::string(4 << 20, ' '));
    EXPECT_EQ(decode(blanks, {{Filter::flate}, {Filter::asciiHex}}, 1000, out), End::overrun);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(decode("41>", std::vector<Stage>(maxStages + 1, {Filter::asciiHex}), 1000, out),
              End::unreadable);
}

namespace {

double threadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

// The judge of a long document's first page reads the start of its page tree, not every page
// object: the window's first page is drawn without waiting for a walk to the last. Later pages
// are judged as the whole document's weighing judges them. (Processor time of this thread: the
// machine's load does not count.)
TEST(PageWeight, TheFirstPageIsJudgedWithoutWalkingToTheLast) {
    const std::string pdf = fixtures::textPDF(5000);
    std::vector<PageWeight> all;
    {
        PDFFile file(pdf);  // the bytes warmed up, as the judge finds them
        all = PageWeights::of(file);
    }
    const double opened = threadSeconds();
    {
        PDFFile file(pdf);
        EXPECT_EQ(file.pageRefs().size(), 5000u);
    }
    const double walk = threadSeconds() - opened;
    PageJudge judge(pdf);
    const double started = threadSeconds();
    const std::optional<PageWeight> first = judge.weight(0);
    const double judged = threadSeconds() - started;
    ASSERT_TRUE(first);
    EXPECT_LT(judged, walk / 4) << "judging page 1 took " << judged << " s; opening and walking "
                                << walk << " s";
    for (int page : {0, 1, 2500, 4999}) {
        const std::optional<PageWeight> w = judge.weight(page);
        ASSERT_TRUE(w) << page;
        EXPECT_EQ(w->contentBytes, all[static_cast<std::size_t>(page)].contentBytes) << page;
        EXPECT_EQ(w->width, all[static_cast<std::size_t>(page)].width) << page;
    }
    EXPECT_FALSE(judge.weight(5000));
    EXPECT_FALSE(judge.weight(-1));
}

// A judge opened from another engine's opening, with the first pages it found, judges every page
// as a judge of its own does: those it was given, and those past them that it walks on to.
TEST(PageWeight, AJudgeGivenTheFirstPagesJudgesAsOneThatWalksToThem) {
    std::vector<fixtures::PageSpec> specs(80);
    for (std::size_t i = 0; i < specs.size(); ++i) specs[i].width = 300 + static_cast<double>(i);
    const std::string pdf = fixtures::pagesPDF(specs);
    PDFFile file(pdf);
    const std::vector<PDFRef> pages = file.pageRefs();
    PageJudge own(pdf);
    PageJudge given(pdf, file.opening(), std::vector<PDFRef>(pages.begin(), pages.begin() + 65));
    for (int page : {0, 64, 65, 66, 79}) {
        const std::optional<PageWeight> a = own.weight(page);
        const std::optional<PageWeight> b = given.weight(page);
        ASSERT_TRUE(a && b) << page;
        EXPECT_EQ(b->width, 300 + page);
        EXPECT_EQ(b->width, a->width) << page;
        EXPECT_EQ(b->contentBytes, a->contentBytes) << page;
    }
    EXPECT_FALSE(given.weight(80));
}
