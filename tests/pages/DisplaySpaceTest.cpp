// DisplaySpace arithmetic, and its agreement with what Poppler reads and draws on rotated pages and
// offset crop boxes.

#include <gtest/gtest.h>

#include <regex>

#include "pdf/PDFFile.h"
#include "pages/PageProcess.h"
#include "pages/DisplaySpace.h"
#include "pages/InkMap.h"
#include "signing/PlacementTestSupport.h"
#include "support/CairoPages.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using namespace placementtest;

TEST(DisplaySpace, QuarterTurnsOfAnOffsetCropBox) {
    const Rect crop{50, 100, 500, 600};
    const Rect corner{50, 100, 10, 20};  // at the crop box's lower-left corner, in page space
    struct Case {
        int rotation;
        Rect bounds;
        Rect corner;
    };
    for (const Case& c :
         {Case{0, {0, 0, 500, 600}, {0, 0, 10, 20}}, Case{90, {0, 0, 600, 500}, {0, 490, 20, 10}},
          Case{180, {0, 0, 500, 600}, {490, 580, 10, 20}},
          Case{270, {0, 0, 600, 500}, {580, 0, 20, 10}},
          Case{-90, {0, 0, 600, 500}, {580, 0, 20, 10}},
          Case{450, {0, 0, 600, 500}, {0, 490, 20, 10}},
          Case{45, {0, 0, 500, 600}, {0, 0, 10, 20}}}) {
        DisplaySpace space(crop, c.rotation);
        EXPECT_EQ(space.bounds, c.bounds) << c.rotation;
        EXPECT_TRUE(near(space.display(corner), c.corner, 1e-9)) << c.rotation;
        Rect some{123.5, 321.25, 40, 7};
        EXPECT_TRUE(near(space.page(space.display(some)), some, 1e-9)) << c.rotation;
        // The crop box fills the display bounds exactly.
        EXPECT_TRUE(near(space.display(crop), c.bounds, 1e-9)) << c.rotation;
    }
}

namespace {

// A page with a crop box inside its media box, a black block and a word at known page places.
const Rect block{100, 200, 50, 30};
const std::string content = "0 g 100 200 50 30 re f BT /F1 20 Tf 300 400 Td (Firma) Tj ET";

std::string croppedPage(int rotation) {
    return handPDF(
        {{"/MediaBox [0 0 600 800] /CropBox [50 100 550 700] /Rotate " + std::to_string(rotation),
          content}});
}

}  // namespace

TEST(DisplaySpace, AgreesWithPopplerOnRotatedCroppedPages) {
    for (int rotation : {0, 90, 180, 270}) {
        SCOPED_TRACE(rotation);
        std::string pdf = croppedPage(rotation);
        PDFFile file(pdf);
        std::optional<DisplaySpace> space = DisplaySpace::of(file, file.pageRefs().at(0));
        ASSERT_TRUE(space);
        DisplaySpace expected({50, 100, 500, 600}, rotation);
        EXPECT_EQ(space->bounds, expected.bounds);
        EXPECT_EQ(space->toDisplay, expected.toDisplay);

        std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
        ASSERT_TRUE(pages);
        std::optional<PageText> text = pages->text(0);
        ASSERT_TRUE(text);
        ASSERT_EQ(UnicodeText::utf8(text->text), "Firma");

        // The word's boxes, brought back to page space, sit where the content stream drew it.
        Rect word = *std::optional<Rect>([&] {
            double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
            for (const PageTextBox& b : text->boxes) {
                Rect page = space->page(space->textBox(b));
                x0 = std::min(x0, page.minX());
                y0 = std::min(y0, page.minY());
                x1 = std::max(x1, page.maxX());
                y1 = std::max(y1, page.maxY());
            }
            return Rect{x0, y0, x1 - x0, y1 - y0};
        }());
        EXPECT_NEAR(word.minX(), 300, 1.0);
        EXPECT_LT(word.minY(), 400);
        EXPECT_GT(word.maxY(), 412);
        EXPECT_NEAR(word.width, 52.2, 3.0);  // "Firma" in Helvetica 20

        // The rendering lands on the same frame: ink on the block, none around it.
        std::optional<InkMap> ink = InkMap::make(*pages, 0, *text, *space, {});
        ASSERT_TRUE(ink);
        Rect shown = space->display(block);
        EXPECT_FALSE(ink->isEmpty(shown.insetBy(2, 2)));
        EXPECT_TRUE(ink->isEmpty({shown.minX() - 6, shown.minY(), 4, shown.height}));
        EXPECT_TRUE(ink->isEmpty({shown.maxX() + 2, shown.minY(), 4, shown.height}));
        EXPECT_TRUE(ink->isEmpty({shown.minX(), shown.maxY() + 2, shown.width, 4}));
        EXPECT_TRUE(ink->isEmpty({shown.minX(), shown.minY() - 6, shown.width, 4}));
    }
}

TEST(PageProcess, TextLinesBlanksAndBoxes) {
    cairopages::Document doc;
    auto& page = doc.page(595, 842);
    Rect first = page.text(72, 700, "Fdo.: El interesado");
    page.text(72, 686, "Segunda línea");
    page.text(72, 600, "Nombre");
    Rect far = page.text(300, 600, "Firma:");
    page.rule({72, 400, 200, 2});
    std::unique_ptr<PageProcess> pages = PageProcess::open(doc.pdf());
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->pageCount(), 1);

    std::optional<PageText> text = pages->text(0);
    ASSERT_TRUE(text);
    EXPECT_EQ(UnicodeText::utf8(text->text), "Fdo.: El interesado\nSegunda línea\nNombre  Firma:");
    ASSERT_EQ(text->boxes.size(), text->text.size());
    for (std::size_t i = 0; i < text->text.size(); ++i) {
        bool separator =
            text->text[i] == u'\n' || (text->text[i] == u' ' && text->boxes[i].isEmpty());
        EXPECT_EQ(text->boxes[i].isEmpty(), separator) << i;
    }
    // Boxes are top-down on the upright page.
    const PageTextBox& f = text->boxes[0];
    EXPECT_NEAR(f.x, first.minX(), 1.5);
    EXPECT_LT(f.y, 842 - first.maxY() + 0.5);
    EXPECT_GT(f.y + f.height, 842 - 700);
    std::size_t firma = text->text.find(u"Firma:");
    EXPECT_NEAR(text->boxes[firma].x, far.minX(), 1.5);

    // Turned pages read in the direction of their writing: the same lines (the order of blocks is
    // the renderer's).
    for (int rotation : {90, 180, 270}) {
        std::unique_ptr<PageProcess> turned = PageProcess::open(
            fixtures::qpdf(doc.pdf(), {"--rotate=+" + std::to_string(rotation)}));
        ASSERT_TRUE(turned);
        std::optional<PageText> turnedText = turned->text(0);
        ASSERT_TRUE(turnedText);
        std::string lines = "\n" + UnicodeText::utf8(turnedText->text) + "\n";
        EXPECT_NE(lines.find("\nFdo.: El interesado\n"), std::string::npos) << rotation;
        EXPECT_NE(lines.find("\nSegunda línea\n"), std::string::npos) << rotation;
    }

    std::optional<GreyImage> image = pages->render(0, 2.0, 40'000'000);
    ASSERT_TRUE(image);
    EXPECT_NEAR(image->width, 1190, 1);
    EXPECT_NEAR(image->height, 1684, 1);
    auto grey = [&](double x, double y) {
        return image->pixels[static_cast<std::size_t>((842 - y) * 2) * image->width +
                             static_cast<std::size_t>(x * 2)];
    };
    EXPECT_LT(grey(150, 401), 100);
    EXPECT_EQ(grey(150, 420), 255);
    EXPECT_FALSE(pages->render(0, 2.0, 1000));  // over the pixel cap
    EXPECT_FALSE(pages->text(1));
    EXPECT_FALSE(pages->render(-1, 2.0, 40'000'000));
}

// The text against pdftotext's words on a page of several lines and two columns, upright and
// turned a quarter: the same words in the same order, each in the same box, a blank between the
// words of one of its lines and a line feed between lines.
TEST(PageProcess, TextAgreesWithPdftotextWordBoxes) {
    cairopages::Document doc;
    for (int i = 0; i < 2; ++i) {
        auto& page = doc.page(595, 842);
        page.lines(72, 760, {"Solicitud de ayuda económica", "Datos del interesado"}, 14);
        page.lines(72, 600, {"Primera columna del texto", "sigue en esta línea"});
        page.lines(340, 600, {"Segunda columna aparte", "con otra línea más"});
    }
    const std::string pdf = fixtures::qpdf(doc.pdf(), {"--rotate=+90:2"});
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    const testutil::RunResult r =
        testutil::run({"pdftotext", "-bbox-layout", (dir / "in.pdf").string(), "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
    ASSERT_TRUE(pages);

    struct Word {
        std::string text, before;  // `before`: the separator ahead of it
        double x0, y0, x1, y1;
        std::u16string units = {};
    };
    const std::regex token(R"re(<page |<line |<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" )re"
                           R"re(xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    std::vector<std::vector<Word>> expected;  // pdftotext's, page by page
    std::string separator;
    for (auto t = std::sregex_iterator(r.out.begin(), r.out.end(), token);
         t != std::sregex_iterator(); ++t) {
        const std::smatch& m = *t;
        if (m.str() == "<page ") {
            expected.emplace_back();
        } else if (m.str() == "<line ") {
            separator = expected.back().empty() ? "" : "\n";
        } else {
            expected.back().push_back({m[5], separator, std::stod(m[1]), std::stod(m[2]),
                                       std::stod(m[3]), std::stod(m[4])});
            separator = " ";
        }
    }
    ASSERT_EQ(expected.size(), 2u);

    for (int index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        std::optional<PageText> text = pages->text(index);
        ASSERT_TRUE(text);
        ASSERT_EQ(text->boxes.size(), text->text.size());
        std::vector<Word> words;
        std::u16string between;
        for (std::size_t i = 0; i < text->text.size(); ++i) {
            const PageTextBox& b = text->boxes[i];
            if (b.isEmpty() && (text->text[i] == u' ' || text->text[i] == u'\n')) {
                between += text->text[i];
                continue;
            }
            if (words.empty() || !between.empty()) {
                words.push_back({"", UnicodeText::utf8(between), b.x, b.y, b.x, b.y});
                between.clear();
            }
            Word& w = words.back();
            w.units += text->text[i];
            w.x0 = std::min(w.x0, b.x), w.y0 = std::min(w.y0, b.y);
            w.x1 = std::max(w.x1, b.x + b.width), w.y1 = std::max(w.y1, b.y + b.height);
        }
        const std::vector<Word>& theirs = expected[static_cast<std::size_t>(index)];
        ASSERT_EQ(words.size(), theirs.size());
        ASSERT_EQ(words.size(), 22u);
        for (std::size_t k = 0; k < words.size(); ++k) {
            SCOPED_TRACE(theirs[k].text);
            EXPECT_EQ(UnicodeText::utf8(words[k].units), theirs[k].text);
            EXPECT_EQ(words[k].before, theirs[k].before);
            EXPECT_NEAR(words[k].x0, theirs[k].x0, 1e-3);
            EXPECT_NEAR(words[k].y0, theirs[k].y0, 1e-3);
            EXPECT_NEAR(words[k].x1, theirs[k].x1, 1e-3);
            EXPECT_NEAR(words[k].y1, theirs[k].y1, 1e-3);
        }
    }
}

TEST(PageProcess, RefusesWhatItCannotOpen) {
    EXPECT_FALSE(PageProcess::open(""));
    EXPECT_FALSE(PageProcess::open("%PDF-1.7\nnothing here"));
    std::string locked = fixtures::encrypt(fixtures::textPDF(1), fixtures::Cipher::aes128,
                                           {.userPassword = "secreto"});
    EXPECT_FALSE(PageProcess::open(locked));
    EXPECT_TRUE(
        PageProcess::open(fixtures::encrypt(fixtures::textPDF(1), fixtures::Cipher::aes128)));
}
