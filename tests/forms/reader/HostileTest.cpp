// Hostile documents: every bound holds and the reading finishes.
#include <gtest/gtest.h>

#include <chrono>

#include "forms/reader/FieldName.h"
#include "forms/reader/FormPageText.h"
#include "forms/reader/FormReader.h"
#include "pages/content/PageGlyphs.h"
#include "pdf/PDFFile.h"
#include "pages/NoPages.h"
#include "pages/PageProcess.h"
#include "support/FormFixtures.h"
#include "support/PDFFixtures.h"

using formfixtures::FormSpec;
using formfixtures::WidgetSpec;

namespace {

std::vector<FormField> read(const std::string& pdf) {
    PDFFile file(pdf);
    return FormReader::fields(file);
}

WidgetSpec textWidget(std::string name, Rect rect, int parent = -1) {
    WidgetSpec w;
    w.name = std::move(name);
    w.rect = rect;
    w.parent = parent;
    return w;
}

// Glyphs of equal width (667 units in Helvetica) with a character spacing that takes their
// advance back: all of them on one spot.
std::string overlaidGlyphs(std::size_t count) {
    static const std::string letters = "ABEKPSVXY";
    std::string s;
    s.reserve(count);
    for (std::size_t i = 0; i < count; ++i) s += letters[i % letters.size()];
    return "BT /F1 10 Tf -6.67 Tc 100 700 Td (" + s + ") Tj ET\n";
}

// Page text from Poppler, rendering refused and counted.
class NoRendering final : public PageSource {
public:
    explicit NoRendering(const std::string& bytes) : pages_(PageProcess::open(bytes)) {}
    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int i) const override { return pages_->text(i); }
    std::optional<GreyImage> render(int, double, std::int64_t) const override {
        ++renders;
        return std::nullopt;
    }
    mutable int renders = 0;

private:
    std::unique_ptr<PageProcess> pages_;
};

}  // namespace

TEST(Hostile, TenThousandWidgetsOnAPage) {
    FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{72, 800, "Nombre", 10}};
    for (int i = 0; i < 10'050; ++i)
        page.widgets.push_back(textWidget("c" + std::to_string(i),
                                          {72.0 + (i % 40) * 12, 700.0 - (i / 40) * 2, 10, 2}));
    const std::string pdf = formfixtures::formPDF(spec);
    std::vector<FormField> fields = read(pdf);
    ASSERT_EQ(fields.size(), FormReader::maxAnnotsPerPage);
    EXPECT_EQ(fields.back().name, "c9999");
    // The widgets left unread cut the reading of that page, and the report says so.
    PDFFile file(pdf);
    FormReader::ReadReport report;
    FormReader::fields(file, NoPages(), {}, &report);
    EXPECT_TRUE(report.cut);
    EXPECT_EQ(report.pagesWhole, 0);
}

// The field cap ends the reading where it is reached, in the middle of a page, and the report
// names the last page read whole.
TEST(Hostile, TheFieldCapCutsTheReadingAndSaysWhere) {
    FormSpec spec;
    for (int p = 0; p < 5; ++p) {
        auto& page = spec.pages.emplace_back();
        for (int i = 0; i < 8'010; ++i)
            page.widgets.push_back(textWidget(
                "p" + std::to_string(p) + "c" + std::to_string(i),
                {72.0 + (i % 40) * 12, 700.0 - (i / 40) * 2, 10, 2}));
    }
    PDFFile file(formfixtures::formPDF(spec));
    FormReader::ReadReport report;
    const std::vector<FormField> fields = FormReader::fields(file, NoPages(), {}, &report);
    ASSERT_EQ(fields.size(), FormReader::maxFields);
    EXPECT_EQ(fields.back().pageIndex, 4);
    EXPECT_TRUE(report.cut);
    EXPECT_EQ(report.pagesWhole, 4);
    EXPECT_EQ(FormReader::readingLine(report, fields.size()),
              "Formulario leído en parte: 40000 campos hasta la página 4 de 5.");
}

TEST(Hostile, ParentCycleAndDeepTrees) {
    FormSpec spec;
    spec.parents.resize(102);
    spec.parents[0].name = "a";
    spec.parents[0].parent = 1;
    spec.parents[1].name = "b";
    spec.parents[1].parent = 0;  // a cycle: no root
    for (int i = 2; i < 102; ++i) {
        spec.parents[i].name = "n";
        spec.parents[i].parent = i == 2 ? -1 : i - 1;
    }
    auto& page = spec.pages.emplace_back();
    page.widgets = {textWidget("w", {72, 700, 100, 16}, 0),
                    textWidget("hoja", {72, 600, 100, 16}, 101)};
    page.widgets.push_back(
        textWidget(std::string(FieldName::maxBytes + 1, 'x'), {72, 500, 100, 16}));
    std::vector<FormField> fields = read(formfixtures::formPDF(spec));
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].name, "b.a.w");
    std::string deep;
    for (int i = 0; i < 100; ++i) deep += "n.";
    EXPECT_EQ(fields[1].name, deep + "hoja");
}

TEST(Hostile, AMillionOverlaidGlyphs) {
    FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.graphics = overlaidGlyphs(1'000'000);
    page.widgets = {textWidget("dato", {60, 690, 100, 30})};
    std::vector<FormField> fields = read(formfixtures::formPDF(spec));
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_LE(fields[0].left.size(), 80u * 4);

    page.widgets.clear();
    page.graphics += "0.8 w 200 694 250 20 re S\n";
    read(formfixtures::formPDF(spec));  // finishes
}

// Every page of a long flat form is searched; what a hostile one costs stays within the budget:
// the renderings for ink, and the pages read once their paths have spent it.
TEST(Hostile, TenThousandPagesWithoutWidgets) {
    FormSpec spec;
    spec.pages.resize(1'000);
    for (std::size_t i = 0; i < spec.pages.size(); ++i) {
        spec.pages[i].texts = {{72, 700, "Pagina " + std::to_string(i + 1) + ": ______", 10}};
        // A box with a picture in it: only a rendering tells whether it is empty.
        spec.pages[i].graphics = "0.8 w 200 694 250 20 re S\n"
                                 "q 250 0 0 20 200 694 cm BI /W 1 /H 1 /CS /G /BPC 8 ID x EI Q\n";
    }
    const std::string pdf = formfixtures::formPDF(spec);
    PDFFile file(pdf);
    NoRendering pages(pdf);
    std::vector<FormField> fields = FormReader::drawnFields(file, pages);
    ASSERT_EQ(fields.size(), spec.pages.size());  // the fill line of every page
    EXPECT_EQ(fields.back().pageIndex, 999);
    const double a4 = 595.0 * 842.0 * 4;
    EXPECT_LE(pages.renders, static_cast<int>(FormReader::maxDrawnPixels / a4));
    EXPECT_GE(pages.renders, static_cast<int>(FormReader::maxDrawnPixels / a4) - 1);

    // 10,000 pages drawing many paths (one content stream shared by all): reading stops when
    // their paths have spent the budget.
    spec.pages.resize(10'000);
    const std::size_t pathsPerPage = 20'000;
    std::string heavy = "BT /F1 10 Tf 72 700 Td (Nombre: ______) Tj ET\n";
    for (std::size_t k = 0; k < pathsPerPage; ++k) heavy += "0 0 1 1 re\n";
    fixtures::FixtureWriter w;
    std::string kids;
    for (std::size_t i = 0; i < spec.pages.size(); ++i) kids += " " + std::to_string(10 + i) + " 0 R";
    w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<< /Type /Pages /Kids [" + kids + " ] /Count " +
                    std::to_string(spec.pages.size()) + " >>");
    w.object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    w.stream(4, "", heavy, true);
    for (std::size_t i = 0; i < spec.pages.size(); ++i)
        w.object(static_cast<int>(10 + i),
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << "
                 "/F1 3 0 R >> >> /Contents 4 0 R >>");
    const std::string heavyPDF = w.finishClassic("/Root 1 0 R");
    PDFFile heavyFile(heavyPDF);
    NoRendering heavyPages(heavyPDF);
    fields = FormReader::drawnFields(heavyFile, heavyPages);
    EXPECT_EQ(fields.size(), FormReader::maxDrawnPaths / pathsPerPage);
}

// Operands far out of their operators' range (a line cap, a text rendering mode) in the drawing
// the search reads boxes from: read as the nearest end of the range, never converted as they are.
TEST(Hostile, OperandsOutOfRangeInTheDrawing) {
    FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{72, 700, "Nombre:", 10}};
    page.graphics = "1e300 J -1e300 J 1e300 Tr 0.8 w 150 694 250 20 re S\n"
                    "BT 1e300 Tr -1e300 Tr ET\n";
    const std::string pdf = formfixtures::formPDF(spec);
    PDFFile file(pdf);
    NoRendering pages(pdf);
    const std::vector<FormField> fields = FormReader::drawnFields(file, pages);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(pages.renders, 0);
}

TEST(Hostile, APageThatCannotBeRenderedIsTriedOnce) {
    FormSpec spec;
    auto& page = spec.pages.emplace_back();
    for (int i = 0; i < 30; ++i)
        page.texts.push_back({72, 800.0 - 20 * i, "Dato " + std::to_string(i), 10});
    page.texts.push_back({400, 800, "Sí", 10});
    // A grey picture under the labels: only a rendering tells what it shows there.
    page.graphics = "q 500 0 0 800 60 20 cm BI /W 1 /H 1 /CS /G /BPC 8 ID x EI Q\n";
    std::string pdf = formfixtures::formPDF(spec);
    PDFFile file(pdf);
    NoRendering pages(pdf);
    EXPECT_TRUE(FormReader::drawnFields(file, pages).empty());
    EXPECT_EQ(pages.renders, 1);
}

TEST(Hostile, GlyphsCountedThroughFormsDrawnManyTimes) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3,
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << "
             "/Fm 5 0 R >> >> /Contents 4 0 R >>");
    std::string draws;
    for (int i = 0; i < 400; ++i) draws += "/Fm Do\n";
    w.stream(4, "", "q " + draws + "Q\n% (not shown)\nBI /W 1 /H 1 ID ((((( EI\n", true);
    w.stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 100 100]",
             "BT (" + std::string(100, 'A') + ") Tj <41424344> Tj ET /Fm Do", false);
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(PageGlyphs::count(file, file.pageRefs()[0], 1'000'000), 400u * 104);
    EXPECT_FALSE(PageGlyphs::readable(file, file.pageRefs()[0]));
}

TEST(Hostile, OneLargeContentStreamListedThousandsOfTimes) {
    // 4 MB of drawing each time the stream is listed: scanning it for every entry would take
    // minutes; its glyphs still count once per entry.
    fixtures::FixtureWriter w;
    std::string refs;
    for (int i = 0; i < 4'000; ++i) refs += " 4 0 R";
    w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents [" + refs +
                    " ] >>");
    std::string drawing;
    drawing.reserve(std::size_t(4) << 20);
    while (drawing.size() < (std::size_t(4) << 20)) drawing += "1 0 0 1 0 0 cm\n";
    w.stream(4, "", "BT (AB) Tj ET\n" + drawing, true);
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(PageGlyphs::count(file, file.pageRefs()[0], 1'000'000), 4'000u * 2);
    EXPECT_TRUE(PageGlyphs::readable(file, file.pageRefs()[0]));
}

TEST(Hostile, OneLongTextSharedByManyWidgets) {
    // 100 KB inherited as tool tip and value by every widget: copied whole, the fields would
    // hold 80 MB.
    fixtures::FixtureWriter w;
    const int widgets = 400, first = 10;
    std::string kids;
    for (int k = 0; k < widgets; ++k) kids += " " + std::to_string(first + k) + " 0 R";
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [" + kids + " ] >>");
    w.object(4, "<< /FT /Tx /T (p) /TU 5 0 R /V 5 0 R /Kids [" + kids + " ] >>");
    w.object(5, "(" + std::string(100'000, 'a') + ")");
    for (int k = 0; k < widgets; ++k)
        w.object(first + k, "<< /Type /Annot /Subtype /Widget /Parent 4 0 R /Rect [72 " +
                                std::to_string(800 - k % 700) + " 200 " +
                                std::to_string(810 - k % 700) + "] >>");
    std::vector<FormField> fields = read(w.finishClassic("/Root 1 0 R"));
    ASSERT_EQ(fields.size(), static_cast<std::size_t>(widgets));
    std::size_t total = 0;
    for (const FormField& f : fields) {
        EXPECT_LE(f.value.size(), FormReader::maxTextBytes);
        total += f.value.size() + (f.tooltip ? f.tooltip->size() : 0);
    }
    EXPECT_EQ(fields.front().value, std::string(FormReader::maxTextBytes, 'a'));
    EXPECT_LE(total, FormReader::maxDocumentTextBytes);
    EXPECT_TRUE(fields.back().value.empty());
}

TEST(Hostile, OneAnnotsArrayForTwoThousandPages) {
    fixtures::FixtureWriter w;
    const int pages = 2'000, widgets = 10, firstPage = 100;
    std::string kids, annots;
    for (int i = 0; i < pages; ++i) kids += " " + std::to_string(firstPage + i) + " 0 R";
    for (int k = 0; k < widgets; ++k) annots += " " + std::to_string(10 + k) + " 0 R";
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + annots + " ] >> >>");
    w.object(2, "<< /Type /Pages /Kids [" + kids + " ] /Count " + std::to_string(pages) + " >>");
    w.object(5, "[" + annots + " ]");
    for (int k = 0; k < widgets; ++k)
        w.object(10 + k, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (c" + std::to_string(k) +
                             ") /Rect [72 " + std::to_string(700 - 20 * k) + " 200 " +
                             std::to_string(716 - 20 * k) + "] >>");
    for (int i = 0; i < pages; ++i)
        w.object(firstPage + i,
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 5 0 R >>");
    std::vector<FormField> fields = read(w.finishClassic("/Root 1 0 R"));
    ASSERT_EQ(fields.size(), static_cast<std::size_t>(widgets));
    EXPECT_EQ(fields.back().pageIndex, 0);
}

TEST(Hostile, BoundedOptionsAndPageText) {
    FormSpec spec;
    WidgetSpec choice = textWidget("lista", {72, 700, 100, 16});
    choice.type = "Ch";
    for (std::size_t i = 0; i < FormReader::maxOptions + 50; ++i)
        choice.options.emplace_back("", "o" + std::to_string(i));
    spec.pages.emplace_back().widgets = {choice};
    std::vector<FormField> fields = read(formfixtures::formPDF(spec));
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].options.size(), FormReader::maxOptions);

    // Text past the page's bound is ignored; one rectangle gives at most its bound of characters.
    PageText text;
    text.text.assign(FormPageText::maxUnits + 10, u'A');
    text.boxes.assign(text.text.size(), PageTextBox{100, 100, 5, 10});
    FormPageText page(text, DisplaySpace(Rect{0, 0, 595, 842}, 0));
    EXPECT_EQ(page.text().size(), FormPageText::maxUnits);
    EXPECT_EQ(page.textIn({0, 0, 595, 842}).size(), FormPageText::maxCharactersPerRect);
}
