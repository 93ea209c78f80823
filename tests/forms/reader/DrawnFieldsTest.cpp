// Fields drawn on flat pages (cairo), read through Poppler's text and the ink map.
#include <gtest/gtest.h>

#include <algorithm>
#include <stop_token>

#include "forms/reader/FormReader.h"
#include "pages/NoPages.h"
#include "pages/PageProcess.h"
#include "pdf/PDFFile.h"
#include "support/CairoPages.h"
#include "support/FormFixtures.h"
#include "support/PDFFixtures.h"

namespace {

std::vector<FormField> read(const std::string& pdf) {
    PDFFile file(pdf);
    return FormReader::fields(file);
}

bool near(const Rect& a, const Rect& b, double tolerance) {
    return std::abs(a.x - b.x) <= tolerance && std::abs(a.y - b.y) <= tolerance &&
           std::abs(a.width - b.width) <= tolerance && std::abs(a.height - b.height) <= tolerance;
}

std::string describe(const FormField& f) {
    return std::to_string(f.id) + " " + std::string(FormField::rawValue(f.kind)) + " [" +
           std::to_string(f.rect.x) + " " + std::to_string(f.rect.y) + " " +
           std::to_string(f.rect.width) + " " + std::to_string(f.rect.height) + "] left «" +
           f.left + "» above «" + f.above + "»";
}

std::string describe(const std::vector<FormField>& fields) {
    std::string out;
    for (const FormField& f : fields) out += describe(f) + "\n";
    return out;
}

// A label and a framed box right of it on the same line.
void labelledBox(cairopages::Page& page, double y, const std::string& label, double boxHeight = 20,
                 double boxX = 200, double boxWidth = 250) {
    page.text(72, y, label);
    page.frame({boxX, y - 6, boxWidth, boxHeight});
}

cairopages::Document flatForm() {
    cairopages::Document doc;
    auto& p1 = doc.page();
    p1.text(72, 780, "DATOS DEL SOLICITANTE", 12);
    labelledBox(p1, 700, "Nombre y apellidos");
    // Two label lines leading to one box.
    p1.text(72, 640, "Domicilio a efectos");
    p1.text(72, 627, "de notificaciones");
    p1.frame({200, 620, 250, 34});
    labelledBox(p1, 580, "Firma del interesado", 30);
    labelledBox(p1, 540, "Denominacion de la entidad solicitanteAB", 20, 340);   // 40: taken
    labelledBox(p1, 500, "Denominacion de la entidad solicitanteABC", 20, 340);  // 41
    labelledBox(p1, 460, "uno dos tres cuatro cinco seis siete");
    // Three narrow cells in a column: a grid, not writing cells.
    for (int i = 0; i < 3; ++i) labelledBox(p1, 420 - 22.0 * i, "Casilla", 16, 160, 26);
    // A tick column: squares under «Sí»; under «No» too wide.
    p1.text(400, 420, "Sí");
    for (int i = 0; i < 3; ++i) p1.frame({400, 398 - 18.0 * i, 12, 12});
    p1.text(480, 420, "No");
    p1.frame({440, 398, 90, 12});
    // A fill line inside a label cell, and one on its own.
    labelledBox(p1, 300, "Localidad");
    p1.text(210, 300, "______________");
    p1.text(72, 250, "Teléfono: ______________");
    auto& p2 = doc.page();
    labelledBox(p2, 700, "Nombre");
    return doc;
}

// The fields of a form read over the page process, and how many pages were rendered for them
// (whole, and in slices).
std::vector<FormField> fieldsOf(const std::string& pdf, int& renders, int& slices,
                                FormReader::ReadReport* report = nullptr) {
    class CountingRenders final : public PageSource {
    public:
        explicit CountingRenders(const std::string& pdf) : pages_(PageProcess::open(pdf)) {}
        int pageCount() const override { return pages_->pageCount(); }
        std::optional<PageText> text(int index) const override { return pages_->text(index); }
        std::optional<std::u16string> words(int index) const override {
            return pages_->words(index);
        }
        std::optional<GreyImage> render(int index, double scale,
                                        std::int64_t maxPixels) const override {
            ++renders;
            return pages_->render(index, scale, maxPixels);
        }
        std::optional<GreyImage> renderRegion(int index, double scale, int x, int y, int width,
                                              int height, std::int64_t maxPixels) const override {
            ++slices;
            return pages_->renderRegion(index, scale, x, y, width, height, maxPixels);
        }
        mutable int renders = 0;
        mutable int slices = 0;

    private:
        std::unique_ptr<PageProcess> pages_;
    };
    PDFFile file(pdf);
    CountingRenders pages(pdf);
    std::vector<FormField> fields = FormReader::fields(file, pages, std::stop_token(), report);
    renders = pages.renders;
    slices = pages.slices;
    return fields;
}

std::vector<FormField> fieldsOf(const std::string& pdf, int& renders,
                                FormReader::ReadReport* report = nullptr) {
    int slices = 0;
    std::vector<FormField> fields = fieldsOf(pdf, renders, slices, report);
    renders += slices;
    return fields;
}

// A picture over the whole media box that shows nothing (a mask of one unmarked sample): the
// page renders the same, but only a rendering tells that, so its ink is read from a rendering.
std::string blankPicture(double width, double height) {
    return "q " + std::to_string(width) + " 0 0 " + std::to_string(height) +
           " 0 0 cm BI /W 1 /H 1 /IM true /BPC 1 ID \xFF EI Q\n";
}

}  // namespace

TEST(DrawnFields, CellsLinesAndTicksOfAFlatForm) {
    const std::vector<FormField> fields = read(flatForm().pdf());
    SCOPED_TRACE(describe(fields));
    std::vector<std::string> lefts;
    for (const FormField& f : fields) {
        EXPECT_TRUE(f.drawn);
        EXPECT_EQ(f.name, "");
        if (f.kind == FormField::Kind::text) lefts.push_back(f.left);
    }
    EXPECT_EQ(lefts,
              (std::vector<std::string>{
                  "Nombre y apellidos", "Domicilio a efectos de notificaciones",
                  "Denominacion de la entidad solicitanteAB", "Localidad", "Teléfono", "Nombre"}));
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i].id, static_cast<int>(i) + 1);

    ASSERT_FALSE(fields.empty());
    EXPECT_TRUE(near(fields[0].rect, {201.4, 695.4, 247.2, 17.2}, 1.5)) << describe(fields[0]);
    EXPECT_EQ(fields[0].header, "DATOS DEL SOLICITANTE");
    EXPECT_EQ(fields[0].above, "");

    std::vector<const FormField*> ticks;
    for (const FormField& f : fields)
        if (f.isTick()) ticks.push_back(&f);
    ASSERT_EQ(ticks.size(), 3u);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i]->exportValue, "X");
        EXPECT_EQ(ticks[i]->above, "Sí");
        EXPECT_TRUE(near(ticks[i]->rect, {401.4, 399.4 - 18.0 * i, 9.2, 9.2}, 1.5))
            << describe(*ticks[i]);
    }
    // Page order: page 2's field comes last, numbered on.
    EXPECT_EQ(fields.back().pageIndex, 1);
}

TEST(DrawnFields, TwoNarrowCellsInAColumnStay) {
    cairopages::Document doc;
    auto& page = doc.page();
    for (int i = 0; i < 2; ++i) labelledBox(page, 420 - 22.0 * i, "Casilla", 16, 160, 26);
    EXPECT_EQ(read(doc.pdf()).size(), 2u);
}

TEST(DrawnFields, PagesWithoutBoxesOrTextGiveNothing) {
    cairopages::Document textOnly;
    textOnly.page().lines(72, 700, {"DATOS DEL SOLICITANTE", "Nombre y apellidos", "Domicilio"});
    EXPECT_TRUE(read(textOnly.pdf()).empty());

    cairopages::Document inkOnly;
    inkOnly.page().frame({200, 694, 250, 20});
    EXPECT_TRUE(read(inkOnly.pdf()).empty());
}

TEST(DrawnFields, ATooLargePageKeepsItsFillLines) {
    cairopages::Document doc;
    auto& page = doc.page(14400, 14400);
    labelledBox(page, 14000, "Nombre y apellidos");
    page.text(72, 13900, "Teléfono: ______________");
    std::vector<FormField> fields = read(doc.pdf());
    ASSERT_EQ(fields.size(), 1u) << describe(fields);
    EXPECT_EQ(fields[0].left, "Teléfono");
}

TEST(DrawnFields, OnlyWhenTheDocumentHasNoUsableWidget) {
    formfixtures::FormSpec spec;
    for (int i = 0; i < 3; ++i) {
        auto& page = spec.pages.emplace_back();
        page.texts = {{72, 700, "Nombre y apellidos", 10}};
        page.graphics = "0.8 w 200 694 250 20 re S\n";
    }
    formfixtures::WidgetSpec signature;
    signature.type = "Sig";
    signature.name = "firma";
    signature.rect = {300, 100, 200, 60};
    spec.pages[0].widgets.push_back(signature);
    std::vector<FormField> drawn = read(formfixtures::formPDF(spec));
    ASSERT_EQ(drawn.size(), 3u) << describe(drawn);
    EXPECT_EQ(drawn[0].id, 1);
    EXPECT_EQ(drawn[2].pageIndex, 2);

    formfixtures::WidgetSpec text;
    text.name = "dato";
    text.rect = {100, 300, 200, 16};
    spec.pages[2].widgets.push_back(text);
    std::vector<FormField> widgets = read(formfixtures::formPDF(spec));
    ASSERT_EQ(widgets.size(), 1u);
    EXPECT_EQ(widgets[0].id, 1);
    EXPECT_EQ(widgets[0].pageIndex, 2);
    EXPECT_FALSE(widgets[0].drawn);
}

// A long flat form: every page holds a labelled box, the last one too.
TEST(DrawnFields, EveryPageOfALongFlatForm) {
    formfixtures::FormSpec spec;
    spec.pages.resize(200);
    for (std::size_t i = 0; i < spec.pages.size(); ++i) {
        auto& page = spec.pages[i];
        page.texts = {{72, 780, "ANEXO " + std::to_string(i + 1), 12},
                      {72, 740, "Texto explicativo de la pagina, sin campos que rellenar.", 10},
                      {72, 700, "Nombre y apellidos", 10}};
        page.graphics = "0.8 w 200 694 250 20 re S\n";
    }
    for (std::size_t pages : {std::size_t{60}, std::size_t{200}}) {
        formfixtures::FormSpec part = spec;
        part.pages.resize(pages);
        const std::vector<FormField> fields = read(formfixtures::formPDF(part));
        ASSERT_EQ(fields.size(), pages);
        EXPECT_EQ(fields.back().pageIndex, static_cast<int>(pages) - 1);
        EXPECT_EQ(fields.back().left, "Nombre y apellidos");
    }
}

// A printed form of 300 pages is read whole over the page process: the reading's time limit is a
// safeguard, which no ordinary form of any length reaches. Its boxes with rounded corners are
// cells like the square ones, read from what the page draws without drawing the page.
TEST(DrawnFields, EveryPageOfALongPrintedFormIsRead) {
    constexpr int pageCount = 300;
    const std::string pdf = formfixtures::formPDF(formfixtures::printedFlatForm(pageCount));
    int renders = 0;
    FormReader::ReadReport report;
    const std::vector<FormField> fields = fieldsOf(pdf, renders, &report);
    EXPECT_EQ(report.pagesRead, pageCount);
    EXPECT_FALSE(report.stopped);
    EXPECT_EQ(renders, 0);

    // Every page gives the fields of the first.
    std::vector<std::vector<std::string>> perPage(pageCount);
    for (const FormField& f : fields)
        perPage.at(static_cast<std::size_t>(f.pageIndex))
            .push_back(std::string(FormField::rawValue(f.kind)) + " «" + f.left + "» «" + f.above +
                       "»");
    int unlike = 0;
    for (int p = 1; p < pageCount; ++p)
        if (perPage[static_cast<std::size_t>(p)] != perPage[0] && unlike++ == 0)
            ADD_FAILURE() << "page " << p + 1 << " gives other fields than page 1";
    EXPECT_EQ(unlike, 0);
    // Those of the first: every labelled box, the fill lines and the tick cells.
    const std::vector<std::string>& first = perPage[0];
    auto has = [&](const std::string& field) {
        return std::count(first.begin(), first.end(), field);
    };
    for (const std::string& label : formfixtures::printedFormLabels())
        EXPECT_EQ(has("Tx «" + label + "» «»"), 1) << label;
    EXPECT_EQ(has("Tx «Observaciones» «»"), 1);
    EXPECT_EQ(has("Tx «Localidad» «»"), 1);
    EXPECT_EQ(has("Tx «Fecha» «»"), 1);
    EXPECT_EQ(has("Btn «» «Si»"), 3);
    EXPECT_EQ(has("Btn «» «No»"), 3);
    // The boxes are 18 pt high, the first four square, the others rounded: each cell is the
    // box's inside, whatever its corners.
    for (const FormField& f : fields) {
        if (f.pageIndex == 0 && f.kind == FormField::Kind::text && f.rect.height > 10 &&
            f.rect.height < 20) {
            EXPECT_NEAR(f.rect.height, 15.2, 1.1) << f.left;
        }
    }
}

// A stop asked while a page is read ends the reading after that page; the report says how far
// it went, and the fields of the pages read are kept.
TEST(DrawnFields, AStopEndsTheReadingAndTheReportCountsThePagesRead) {
    formfixtures::FormSpec spec;
    spec.pages.resize(6);
    for (auto& page : spec.pages) {
        page.texts = {{72, 700, "Nombre y apellidos", 10}};
        page.graphics = "0.8 w 200 694 250 20 re S\n";
    }
    const std::string pdf = formfixtures::formPDF(spec);
    PDFFile file(pdf);
    std::unique_ptr<PageProcess> poppler = PageProcess::open(file.bytes());
    ASSERT_TRUE(poppler);

    // Stops the reading when the text of page 3 is asked for.
    class StoppingPages final : public PageSource {
    public:
        StoppingPages(const PageSource& pages, std::stop_source& stop)
            : pages_(pages), stop_(stop) {}
        int pageCount() const override { return pages_.pageCount(); }
        std::optional<PageText> text(int index) const override {
            if (index == 2) stop_.request_stop();
            return pages_.text(index);
        }
        std::optional<GreyImage> render(int index, double scale,
                                        std::int64_t maxPixels) const override {
            return pages_.render(index, scale, maxPixels);
        }
        std::optional<GreyImage> renderRegion(int index, double scale, int x, int y, int width,
                                              int height, std::int64_t maxPixels) const override {
            return pages_.renderRegion(index, scale, x, y, width, height, maxPixels);
        }

    private:
        const PageSource& pages_;
        std::stop_source& stop_;
    };
    std::stop_source stop;
    StoppingPages pages(*poppler, stop);
    FormReader::ReadReport report;
    const std::vector<FormField> fields =
        FormReader::fields(file, pages, stop.get_token(), &report);
    EXPECT_EQ(report.pageCount, 6);
    EXPECT_EQ(report.pagesRead, 3);
    EXPECT_TRUE(report.stopped);
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields.back().pageIndex, 2);

    // Unstopped, every page is read.
    FormReader::ReadReport whole;
    EXPECT_EQ(FormReader::fields(file, *poppler, std::stop_token(), &whole).size(), 6u);
    EXPECT_EQ(whole.pagesRead, 6);
    EXPECT_EQ(whole.pageCount, 6);
    EXPECT_FALSE(whole.stopped);
}

// A window closed as its form reading starts: the reading leaves a long document's page tree
// unread rather than walking all of it first, and says it was stopped.
TEST(DrawnFields, AStopEndsTheWalkOfTheTree) {
    std::vector<fixtures::PageSpec> specs(3000);
    PDFFile file(fixtures::pagesPDF(specs));
    std::stop_source stop;
    stop.request_stop();
    FormReader::ReadReport report;
    EXPECT_TRUE(FormReader::fields(file, NoPages(), stop.get_token(), &report).empty());
    EXPECT_TRUE(report.stopped);
    EXPECT_LT(file.objectsRead(), 10u);
}

// The reading tells the fields found so far as it goes: before a page's text is read, the count
// holds the fields of the pages before it, drawn or widgets.
TEST(DrawnFields, TheReadingTellsTheFieldsFoundSoFar) {
    // Records, for each page whose text is read, the count told by then.
    class CountingPages final : public PageSource {
    public:
        CountingPages(const PageSource& pages, const std::size_t& found)
            : pages_(pages), found_(found) {}
        int pageCount() const override { return pages_.pageCount(); }
        std::optional<PageText> text(int index) const override {
            seen.emplace_back(index, found_);
            return pages_.text(index);
        }
        std::optional<GreyImage> render(int index, double scale,
                                        std::int64_t maxPixels) const override {
            return pages_.render(index, scale, maxPixels);
        }
        std::optional<GreyImage> renderRegion(int index, double scale, int x, int y, int width,
                                              int height, std::int64_t maxPixels) const override {
            return pages_.renderRegion(index, scale, x, y, width, height, maxPixels);
        }
        mutable std::vector<std::pair<int, std::size_t>> seen;

    private:
        const PageSource& pages_;
        const std::size_t& found_;
    };
    formfixtures::FormSpec flat;
    flat.pages.resize(4);
    for (auto& page : flat.pages) {
        page.texts = {{72, 700, "Nombre y apellidos", 10}};
        page.graphics = "0.8 w 200 694 250 20 re S\n";
    }
    formfixtures::FormSpec widgets;
    widgets.pages.resize(3);
    widgets.pages[0].widgets = {{.name = "nombre", .rect = {180, 696, 200, 16}},
                                {.name = "nif", .rect = {180, 660, 100, 16}}};
    widgets.pages[2].widgets = {{.name = "fecha", .rect = {180, 696, 100, 16}}};
    const std::vector<std::pair<int, std::size_t>> flatSeen{{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    const std::vector<std::pair<int, std::size_t>> widgetsSeen{{0, 0}, {2, 2}};
    for (const auto& [spec, expected] : {std::pair{flat, flatSeen}, std::pair{widgets, widgetsSeen}}) {
        const std::string pdf = formfixtures::formPDF(spec);
        PDFFile file(pdf);
        std::unique_ptr<PageProcess> poppler = PageProcess::open(file.bytes());
        ASSERT_TRUE(poppler);
        std::size_t found = 0;
        CountingPages pages(*poppler, found);
        const std::vector<FormField> fields = FormReader::fields(
            file, pages, std::stop_token(), nullptr, [&found](std::size_t n) { found = n; });
        EXPECT_EQ(pages.seen, expected) << describe(fields);
        EXPECT_EQ(found, fields.size());
    }
}

// Pages whose boxes, rules and tick cells are drawn with paths alone are read from their drawing,
// without any rendering, and give the fields that renderings of the same pages give. The second
// copy of the form has a picture under each page that shows nothing (a mask of one unmarked
// sample): it renders the same, but only a rendering tells that.
TEST(DrawnFields, PathsAloneAreReadWithoutRendering) {
    formfixtures::FormSpec spec;
    spec.pages.resize(2);
    auto& p1 = spec.pages[0];
    p1.texts = {{72, 780, "SOLICITUD DE AYUDA", 12},
                {72, 740, "Texto de la pagina, que sigue en la linea siguiente y acaba", 10},
                {72, 726, "aqui mismo.", 10},
                {72, 700, "Nombre y apellidos", 10},
                {72, 672, "Domicilio", 10},
                {72, 644, "Municipio", 10},
                {400, 600, "Si", 10},
                {460, 600, "No", 10},
                {72, 582, "Declaro que los datos son ciertos", 10},
                {72, 562, "Autorizo la consulta de mis datos", 10},
                {72, 520, "Observaciones: ______________________", 10}};
    p1.graphics = "0.8 w 200 694 250 20 re S\n"
                  "0.5 G q 1 0 0 1 100 0 cm 100 666 250 20 re S Q 0 G\n"
                  "200 638 m 450 638 l 450 658 l 200 658 l h S\n"
                  "400 580 12 12 re 460 580 12 12 re 400 560 12 12 re 460 560 12 12 re S\n";
    auto& p2 = spec.pages[1];
    p2.texts = {{72, 700, "Correo electronico", 10}, {72, 660, "Telefono", 10}};
    // Borders as thin filled rectangles, in colour.
    p2.graphics = "0.1 0.2 0.6 rg 200 694 250 0.6 re f 200 713.4 250 0.6 re f "
                  "200 694 0.6 20 re f 449.4 694 0.6 20 re f\n"
                  "0 0 0 1 k 200 654 250 20 re f 1 g 201 655 248 18 re f\n";

    int drawnRenders = 0, renderedRenders = 0;
    const std::vector<FormField> drawn = fieldsOf(formfixtures::formPDF(spec), drawnRenders);
    for (auto& page : spec.pages) page.graphics = blankPicture(595, 842) + page.graphics;
    const std::vector<FormField> rendered =
        fieldsOf(formfixtures::formPDF(spec), renderedRenders);
    SCOPED_TRACE("drawn:\n" + describe(drawn) + "rendered:\n" + describe(rendered));
    EXPECT_EQ(drawnRenders, 0);
    EXPECT_EQ(renderedRenders, 2);
    // Five boxes, four ticks and the fill line.
    EXPECT_EQ(drawn.size(), 10u);
    ASSERT_EQ(drawn.size(), rendered.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_EQ(drawn[i].kind, rendered[i].kind) << i;
        EXPECT_EQ(drawn[i].pageIndex, rendered[i].pageIndex) << i;
        EXPECT_EQ(drawn[i].left, rendered[i].left) << i;
        EXPECT_EQ(drawn[i].above, rendered[i].above) << i;
        EXPECT_TRUE(near(drawn[i].rect, rendered[i].rect, 1)) << i;
    }
}

// A cell whose drawing leaves it in doubt (a picture inside it, which only a rendering shows to
// be blank) is settled by drawing that part of the page alone, never the whole page, and reads as
// the same cell without the picture.
TEST(DrawnFields, ACellInDoubtIsSettledFromASliceOfThePage) {
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{72, 700, "Nombre y apellidos", 10},
                  {72, 660, "Domicilio", 10},
                  {400, 600, "Si", 10}};
    page.graphics = "0.8 w 200 694 250 20 re S 200 654 250 20 re S\n"
                    "0.5 w 400 580 12 12 re 400 562 12 12 re S\n";
    int plainRenders = 0, plainSlices = 0;
    const std::vector<FormField> plain =
        fieldsOf(formfixtures::formPDF(spec), plainRenders, plainSlices);
    auto picture = [](double x, double y, double width, double height) {
        return "q " + std::to_string(width) + " 0 0 " + std::to_string(height) + " " +
               std::to_string(x) + " " + std::to_string(y) +
               " cm BI /W 1 /H 1 /IM true /BPC 1 ID \xFF EI Q\n";
    };
    // In the first box and in the first tick box.
    page.graphics += picture(300, 700, 30, 8) + picture(403, 583, 6, 6);
    int renders = 0, slices = 0;
    const std::vector<FormField> doubtful = fieldsOf(formfixtures::formPDF(spec), renders, slices);
    SCOPED_TRACE("plain:\n" + describe(plain) + "with pictures:\n" + describe(doubtful));
    EXPECT_EQ(plainRenders + plainSlices, 0);
    EXPECT_EQ(renders, 0);
    EXPECT_GE(slices, 1);
    // Two boxes and two ticks.
    EXPECT_EQ(plain.size(), 4u);
    ASSERT_EQ(doubtful.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(doubtful[i].kind, plain[i].kind) << i;
        EXPECT_EQ(doubtful[i].left, plain[i].left) << i;
        EXPECT_EQ(doubtful[i].above, plain[i].above) << i;
        EXPECT_TRUE(near(doubtful[i].rect, plain[i].rect, 0.5)) << i;
    }
}

// A page that draws nothing but text is laid out only when its quick words hold what a field is
// drawn with: its fill lines are still found, and running text costs no text layout.
TEST(DrawnFields, RunningTextIsNotLaidOut) {
    formfixtures::FormSpec spec;
    spec.pages.resize(3);
    for (auto& page : spec.pages)
        page.texts = {{72, 780, "Capitulo 1. Condiciones", 12},
                      {72, 740, "Texto de la pagina, que sigue en la linea siguiente y acaba", 10},
                      {72, 726, "aqui mismo. Si no, sigue... en otra.", 10},
                      {72, 700, "Nombre y apellidos", 10},
                      {400, 680, "Si", 10}};
    spec.pages[1].texts.push_back({72, 600, "Telefono: ______________", 10});
    spec.pages[2].texts.push_back({72, 600, "Localidad ....................", 10});
    const std::string pdf = formfixtures::formPDF(spec);
    PDFFile file(pdf);
    std::unique_ptr<PageProcess> poppler = PageProcess::open(file.bytes());
    ASSERT_TRUE(poppler);

    class CountingTexts final : public PageSource {
    public:
        explicit CountingTexts(const PageSource& pages) : pages_(pages) {}
        int pageCount() const override { return pages_.pageCount(); }
        std::optional<PageText> text(int index) const override {
            ++texts[static_cast<std::size_t>(index)];
            return pages_.text(index);
        }
        std::optional<std::u16string> words(int index) const override {
            return pages_.words(index);
        }
        std::optional<GreyImage> render(int index, double scale,
                                        std::int64_t maxPixels) const override {
            return pages_.render(index, scale, maxPixels);
        }
        std::optional<GreyImage> renderRegion(int index, double scale, int x, int y, int width,
                                              int height, std::int64_t maxPixels) const override {
            return pages_.renderRegion(index, scale, x, y, width, height, maxPixels);
        }
        mutable std::vector<int> texts = std::vector<int>(3, 0);

    private:
        const PageSource& pages_;
    } pages(*poppler);
    const std::vector<FormField> fields = FormReader::fields(file, pages);
    ASSERT_EQ(fields.size(), 2u) << describe(fields);
    EXPECT_EQ(fields[0].pageIndex, 1);
    EXPECT_EQ(fields[0].left, "Telefono");
    EXPECT_EQ(fields[1].pageIndex, 2);
    EXPECT_EQ(fields[1].left, "Localidad");
    EXPECT_EQ(pages.texts, (std::vector<int>{0, 1, 1}));
}

// The cells read from a page's drawing are those a rendering of the same page gives, to a
// quarter point: boxes stroked with lines of several widths (a hairline too) and in light grey,
// framed by filled rules (one path each, or one path for all four) or filled and cleared,
// outlined by a path, stroked with a slanted line in the same path, drawn inside a Form
// XObject, tick cells under a column caption; at positions off the whole point, on pages turned
// every quarter and cropped.
TEST(DrawnFields, CellsFromTheDrawingMatchTheRenderedOnes) {
    struct Turn {
        int rotate;
        bool crop;
    };
    const Turn turns[] = {{0, false},   {90, false}, {180, false},
                          {270, false}, {0, true},   {90, true}};
    formfixtures::FormSpec spec;
    for (const Turn& turn : turns) {
        auto& page = spec.pages.emplace_back();
        const bool across = turn.rotate % 180 != 0;
        page.width = across ? 842 : 595;
        page.height = across ? 595 : 842;
        page.rotate = turn.rotate;
        if (turn.crop) page.cropBox = Rect{23.3, 31.6, page.width - 61.9, page.height - 50.2};
        // Drawn upright as shown: the matrix from the shown page to the unrotated one.
        const std::string upright = turn.rotate == 90    ? "0 1 -1 0 842 0"
                                    : turn.rotate == 180 ? "-1 0 0 -1 595 842"
                                    : turn.rotate == 270 ? "0 -1 1 0 0 595"
                                                         : "1 0 0 1 0 0";
        std::string content = "q " + upright + " cm\n";
        // Rows 31.71 pt apart, a label and its box; coordinates off the grid of eighths of a
        // point, so that no edge lies on a boundary of the renderer's samples or pixels.
        double y = 780.31;
        auto row = [&](const std::string& label, const std::string& box) {
            content += formfixtures::textOperators({72, y, label, 10});
            content += box + "\n";
            y -= 31.71;
        };
        auto at = [&](double dy) { return " " + std::to_string(y + dy) + " "; };
        for (const char* w : {"0", "0.27", "0.52", "0.77", "1.01", "1.49", "2.41"})
            row(std::string("Ancho ") + w,
                std::string(w) + " w 200.351" + at(-6.03) + "250 16 re S");
        row("Reglas", "0.6 0 0.2 rg 200.03" + at(-6.21) + "250 0.61 re f 200.03" + at(13.19) +
                          "250 0.61 re f 200.03" + at(-6.21) + "0.61 20.01 re f 449.43" +
                          at(-6.21) + "0.61 20.01 re f 0 g");
        row("Relleno", "0 g 200.03" + at(-6.51) + "250 20.03 re f 1 g 201.07" + at(-5.49) +
                           "247.91 17.93 re f 0 g");
        row("Trazado", "0.81 w 200.61" + at(-6.02) + "m 450.61" + at(-6.02) + "l 450.61" +
                           at(12.41) + "l 200.61" + at(12.41) + "l h S");
        // Four rules filled as one path.
        row("Rejilla", "0 g 200.21" + at(-6.11) + "250 0.67 re 200.21" + at(12.71) +
                           "250 0.67 re 200.21" + at(-6.11) + "0.67 19.49 re 449.71" + at(-6.11) +
                           "0.67 19.49 re f");
        row("Gris", "0.8 G 0.61 w 200.41" + at(-5.81) + "250 16.31 re S 0 G");
        // A slanted stroke in the same path, far right of the box.
        row("Oblicuo", "0.62 w 200.37" + at(-6.31) + "250 16.61 re 520.01" + at(-6.01) +
                           "m 540.01" + at(10.01) + "l S");
        row("Anidado", "q 1 0 0 1 190.253" + at(-7.01) + "cm /Caja Do Q");
        page.xobjects.push_back(
            {"Caja", {0, 0, 300, 40}, "1 0 0 1 10.01 1.31", "0.71 w 0.21 0.21 250 16.43 re S\n"});
        // A tick column.
        content += formfixtures::textOperators({72, 300.51, "Si", 10});
        content += "0.52 w 72.41 280.21 12 12 re 72.41 262.11 12 12 re 72.41 244.31 12 12 re S\n";
        page.graphics = content + "Q\n";
    }
    int drawnRenders = 0, renderedRenders = 0;
    const std::vector<FormField> drawn = fieldsOf(formfixtures::formPDF(spec), drawnRenders);
    for (auto& page : spec.pages)
        page.graphics = blankPicture(page.width, page.height) + page.graphics;
    const std::vector<FormField> rendered = fieldsOf(formfixtures::formPDF(spec), renderedRenders);
    SCOPED_TRACE("drawn:\n" + describe(drawn) + "rendered:\n" + describe(rendered));
    EXPECT_EQ(drawnRenders, 0);
    EXPECT_EQ(renderedRenders, static_cast<int>(spec.pages.size()));
    // Fourteen boxes and three ticks a page.
    EXPECT_EQ(drawn.size(), 17 * spec.pages.size());
    ASSERT_EQ(drawn.size(), rendered.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        EXPECT_EQ(drawn[i].kind, rendered[i].kind) << i;
        EXPECT_EQ(drawn[i].pageIndex, rendered[i].pageIndex) << i;
        EXPECT_EQ(drawn[i].left, rendered[i].left) << i;
        EXPECT_TRUE(near(drawn[i].rect, rendered[i].rect, 0.25)) << i;
    }
}

// Flat forms of other designs (boxes rounded from 4 pt to a quarter of their height, rounded
// tick boxes; ruled two-column tables with grey header rows under and over the rules, a row of
// 24 boxes, a ruled tick column, a logo beside the cells, an offset crop box) are read from
// their drawing without rendering any page, and give the fields a rendering of the same pages
// gives.
TEST(DrawnFields, FlatFormsOfEveryDesignAreReadFromTheirDrawing) {
    using formfixtures::FlatDesign;
    for (FlatDesign design : {FlatDesign::rounded, FlatDesign::tables}) {
        SCOPED_TRACE(design == FlatDesign::rounded ? "rounded" : "tables");
        formfixtures::FormSpec spec = formfixtures::flatForm(design, 2);
        int drawnRenders = 0, renderedRenders = 0;
        const std::vector<FormField> drawn = fieldsOf(formfixtures::formPDF(spec), drawnRenders);
        for (auto& page : spec.pages)
            page.graphics = blankPicture(page.width, page.height) + page.graphics;
        const std::vector<FormField> rendered =
            fieldsOf(formfixtures::formPDF(spec), renderedRenders);
        SCOPED_TRACE("drawn:\n" + describe(drawn) + "rendered:\n" + describe(rendered));
        EXPECT_EQ(drawnRenders, 0);
        EXPECT_EQ(renderedRenders, 2);

        std::vector<std::string> expected;
        for (const std::string& label : formfixtures::designFormLabels(design))
            expected.push_back("Tx «" + label + "» «»");
        const char* yes = design == FlatDesign::rounded ? "Si" : "Sí";
        if (design == FlatDesign::rounded)
            for (const char* more : {"Tx «Observaciones» «»", "Tx «Localidad» «»", "Tx «Fecha» «»"})
                expected.push_back(more);
        for (const std::string& header : {std::string(yes), std::string("No")})
            for (int k = 0; k < 3; ++k) expected.push_back("Btn «» «" + header + "»");
        for (int page = 0; page < 2; ++page) {
            std::vector<std::string> got;
            for (const FormField& f : drawn)
                if (f.pageIndex == page)
                    got.push_back(std::string(FormField::rawValue(f.kind)) + " «" + f.left +
                                  "» «" + f.above + "»");
            EXPECT_EQ(got, expected) << "page " << page + 1;
        }
        ASSERT_EQ(drawn.size(), rendered.size());
        for (std::size_t i = 0; i < drawn.size(); ++i) {
            EXPECT_EQ(drawn[i].left, rendered[i].left) << i;
            EXPECT_EQ(drawn[i].above, rendered[i].above) << i;
            EXPECT_TRUE(near(drawn[i].rect, rendered[i].rect, 0.5)) << i;
        }
    }
}

// Tick boxes of 11 pt with rounded corners (up to a quarter of their side) are tick cells as
// square ones are, whether the page is read from its drawing or from a rendering.
TEST(DrawnFields, RoundedTickBoxesAreFoundAsSquareOnes) {
    for (double radius : {0.0, 2.0, 2.5, 2.75}) {
        SCOPED_TRACE("radius " + std::to_string(radius));
        formfixtures::FormSpec spec;
        auto& page = spec.pages.emplace_back();
        page.texts = {{480, 338, "Sí", 9}, {515, 338, "No", 9}};
        const double k = 0.5523 * radius;
        auto box = [&](double x, double y) {
            const double x1 = x + 11, y1 = y + 11, r = radius;
            auto n = [](double v) { return std::to_string(v) + " "; };
            page.graphics += "0.5 w " + n(x + r) + n(y) + "m " + n(x1 - r) + n(y) + "l " +
                             n(x1 - r + k) + n(y) + n(x1) + n(y + r - k) + n(x1) + n(y + r) +
                             "c " + n(x1) + n(y1 - r) + "l " + n(x1) + n(y1 - r + k) +
                             n(x1 - r + k) + n(y1) + n(x1 - r) + n(y1) + "c " + n(x + r) + n(y1) +
                             "l " + n(x + r - k) + n(y1) + n(x) + n(y1 - r + k) + n(x) +
                             n(y1 - r) + "c " + n(x) + n(y + r) + "l " + n(x) + n(y + r - k) +
                             n(x + r - k) + n(y) + n(x + r) + n(y) + "c h S\n";
        };
        for (int q = 0; q < 4; ++q) {
            const double y = 314 - 20.0 * q;
            page.texts.push_back({44, y + 2, "Pregunta numero " + std::to_string(q + 1), 9});
            box(479, y);
            box(514, y);
        }
        for (bool render : {false, true}) {
            formfixtures::FormSpec copy = spec;
            if (render) copy.pages[0].graphics = blankPicture(595, 842) + copy.pages[0].graphics;
            int renders = 0;
            const std::vector<FormField> fields = fieldsOf(formfixtures::formPDF(copy), renders);
            EXPECT_EQ(renders, render ? 1 : 0);
            std::vector<std::string> ticks;
            for (const FormField& f : fields)
                if (f.isTick()) {
                    ticks.push_back(f.above);
                    EXPECT_NEAR(f.rect.width, 8, 1.6) << describe(f);
                    EXPECT_NEAR(f.rect.height, 8, 1.6) << describe(f);
                }
            EXPECT_EQ(ticks, (std::vector<std::string>{"Sí", "Sí", "Sí", "Sí", "No", "No", "No",
                                                       "No"}))
                << (render ? "rendered\n" : "drawn\n") << describe(fields);
        }
    }
}

// An ordinary flat form of 1,000 pages with 22 fields a page is read whole.
TEST(DrawnFields, AThousandPagesOfTwentyTwoFieldsAreReadWhole) {
    constexpr int pageCount = 1000, perPage = 22;
    formfixtures::FormSpec spec;
    spec.acroForm = false;
    spec.pages.resize(pageCount);
    for (auto& page : spec.pages)
        for (int k = 0; k < perPage; ++k) {
            const double y = 790 - 34.0 * k;
            page.texts.push_back({72, y, "Dato numero " + std::to_string(k + 1), 10});
            page.graphics += "0.8 w 200 " + std::to_string(y - 6) + " 250 20 re S\n";
        }
    int renders = 0;
    FormReader::ReadReport report;
    const std::vector<FormField> fields = fieldsOf(formfixtures::formPDF(spec), renders, &report);
    EXPECT_EQ(renders, 0);
    ASSERT_EQ(fields.size(), static_cast<std::size_t>(pageCount * perPage));
    EXPECT_EQ(fields.back().pageIndex, pageCount - 1);
    EXPECT_EQ(fields.back().left, "Dato numero 22");
    EXPECT_FALSE(report.cut);
    EXPECT_FALSE(report.partial());
    EXPECT_EQ(report.pagesWhole, pageCount);
    EXPECT_EQ(FormReader::readingLine(report, fields.size()),
              "Formulario leído: 22000 campos en 1000 páginas.");
}

// Once the reading's pixels are spent, the pages left are searched without their ink: the
// report and the log line say the reading was cut and name the last page read whole.
TEST(DrawnFields, ABoundThatCutsTheReadingNamesTheLastPageReadWhole) {
    formfixtures::FormSpec spec;
    spec.pages.resize(5);
    for (auto& page : spec.pages) {
        // The picture makes every page need its rendering.
        page.texts = {{72, 700, "Nombre y apellidos", 10}, {72, 600, "Telefono: ______________", 10}};
        page.graphics = blankPicture(595, 842) + "0.8 w 200 694 250 20 re S\n";
    }
    struct PixelBudget {
        double saved = FormReader::drawnPixelBudget();
        // Two A4 pages and a half at 2 pixels per point.
        PixelBudget() { FormReader::drawnPixelBudget() = 2.5 * 595 * 842 * 4; }
        ~PixelBudget() { FormReader::drawnPixelBudget() = saved; }
    } budget;
    int renders = 0;
    FormReader::ReadReport report;
    const std::vector<FormField> fields = fieldsOf(formfixtures::formPDF(spec), renders, &report);
    EXPECT_EQ(renders, 2);
    SCOPED_TRACE(describe(fields));
    // The box and the fill line of pages 1 and 2, the fill lines alone after them.
    ASSERT_EQ(fields.size(), 7u);
    EXPECT_EQ(fields[0].left, "Nombre y apellidos");
    EXPECT_EQ(fields[2].left, "Nombre y apellidos");
    EXPECT_EQ(fields[4].left, "Telefono");
    EXPECT_EQ(report.pagesRead, 5);
    EXPECT_TRUE(report.cut);
    EXPECT_TRUE(report.partial());
    EXPECT_EQ(report.pagesWhole, 2);
    EXPECT_EQ(FormReader::readingLine(report, fields.size()),
              "Formulario leído en parte: 7 campos hasta la página 2 de 5.");
}

// Tick cells under captions on a grey header row: a ruled table whose header row is shaded under
// its rules or over them, and loose tick boxes under a grey bar that holds the captions; and tick
// boxes on grey bands of their own rows. Read from the drawing and from a rendering alike.
TEST(DrawnFields, TicksUnderAGreyHeaderRowAreFound) {
    struct Design {
        const char* name;
        std::string graphics;
    };
    auto rules = [](double top) {
        // Rows of 20 pt: the header row, then three rows of cells in the columns 420, 470, 520.
        std::string g = "0.5 w 0 G\n";
        for (int k = 0; k <= 4; ++k)
            g += "40 " + std::to_string(top - 20.0 * k) + " m 520 " +
                 std::to_string(top - 20.0 * k) + " l\n";
        for (double x : {40.0, 420.0, 470.0, 520.0})
            g += std::to_string(x) + " " + std::to_string(top - 80) + " m " + std::to_string(x) +
                 " " + std::to_string(top) + " l\n";
        return g + "S\n";
    };
    const Design designs[] = {
        {"header row under the rules", "0.8 g 40 410 480 20 re f 0 g\n" + rules(430)},
        {"header row over the rules", rules(430) + "0.7 g 40 410 480 20 re f 0 g\n"},
        {"bar over loose boxes", "0.75 g 40 410 480 20 re f 0 g\n"
                                 "0.5 w 440 390 10 10 re 490 390 10 10 re 440 370 10 10 re "
                                 "490 370 10 10 re 440 350 10 10 re 490 350 10 10 re S\n"},
    };
    for (const Design& design : designs) {
        SCOPED_TRACE(design.name);
        formfixtures::FormSpec spec;
        auto& page = spec.pages.emplace_back();
        page.texts = {{440, 416, "Sí", 9}, {488, 416, "No", 9}};
        for (int k = 0; k < 3; ++k)
            page.texts.push_back({44, 396 - 20.0 * k, "Pregunta " + std::to_string(k + 1), 9});
        page.graphics = design.graphics;
        for (bool render : {false, true}) {
            formfixtures::FormSpec copy = spec;
            if (render) copy.pages[0].graphics = blankPicture(595, 842) + copy.pages[0].graphics;
            int renders = 0;
            const std::vector<FormField> fields = fieldsOf(formfixtures::formPDF(copy), renders);
            std::vector<std::string> ticks;
            for (const FormField& f : fields)
                if (f.isTick()) ticks.push_back(f.above);
            EXPECT_EQ(ticks, (std::vector<std::string>{"Sí", "Sí", "Sí", "No", "No", "No"}))
                << (render ? "rendered\n" : "drawn\n") << describe(fields);
        }
    }
}

// Tick boxes shaded light grey inside, square and with rounded corners, under «Sí» and «No»: the
// shade is no ink inside a box. Read from the drawing and from a rendering alike.
TEST(DrawnFields, TickBoxesShadedInsideAreFound) {
    auto box = [](double x, double y, double r) {
        if (r == 0) return std::to_string(x) + " " + std::to_string(y) + " 11 11 re\n";
        const double k = 0.5523 * r, x1 = x + 11, y1 = y + 11;
        auto n = [](double v) { return std::to_string(v) + " "; };
        return n(x + r) + n(y) + "m " + n(x1 - r) + n(y) + "l " + n(x1 - r + k) + n(y) + n(x1) +
               n(y + r - k) + n(x1) + n(y + r) + "c " + n(x1) + n(y1 - r) + "l " + n(x1) +
               n(y1 - r + k) + n(x1 - r + k) + n(y1) + n(x1 - r) + n(y1) + "c " + n(x + r) +
               n(y1) + "l " + n(x + r - k) + n(y1) + n(x) + n(y1 - r + k) + n(x) + n(y1 - r) +
               "c " + n(x) + n(y + r) + "l " + n(x) + n(y + r - k) + n(x + r - k) + n(y) +
               n(x + r) + n(y) + "c h\n";
    };
    for (const char* shade : {"0.9", "0.8"})
        for (double radius : {0.0, 2.5})
            for (bool render : {false, true}) {
                SCOPED_TRACE(std::string(shade) + (radius > 0 ? " rounded" : " square") +
                             (render ? " rendered" : " drawn"));
                formfixtures::FormSpec spec;
                auto& page = spec.pages.emplace_back();
                page.texts = {{480, 338, "Sí", 9}, {515, 338, "No", 9}};
                if (render) page.graphics = blankPicture(595, 842);
                for (int k = 0; k < 3; ++k) {
                    const double y = 314 - 20.0 * k;
                    page.texts.push_back({44, y + 2, "Pregunta " + std::to_string(k + 1), 9});
                    for (double x : {479.0, 514.0})
                        page.graphics += std::string(shade) + " g " + box(x, y, radius) +
                                         "f 0 g 0 G 0.5 w " + box(x, y, radius) + "S\n";
                }
                int renders = 0;
                const std::vector<FormField> fields =
                    fieldsOf(formfixtures::formPDF(spec), renders);
                std::vector<std::string> ticks;
                for (const FormField& f : fields)
                    if (f.isTick()) ticks.push_back(f.above);
                EXPECT_EQ(ticks, (std::vector<std::string>{"Sí", "Sí", "Sí", "No", "No", "No"}))
                    << describe(fields);
                if (!render) {
                    EXPECT_EQ(renders, 0);
                }
            }
}
