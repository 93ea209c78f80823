// The reader's fields fill through the filler: both name widgets with the same function and
// read the same pages and rectangles.

#include <gtest/gtest.h>

#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/FormFixtures.h"
#include "support/PDFFixtures.h"
#include "FillOracles.h"

namespace {

formfixtures::WidgetSpec widget(const std::string& type, const std::string& name, Rect rect,
                                int parent = -1) {
    formfixtures::WidgetSpec w;
    w.type = type;
    w.name = name;
    w.rect = rect;
    w.parent = parent;
    return w;
}

formfixtures::ParentSpec parent(const std::string& name, int above = -1) {
    formfixtures::ParentSpec p;
    p.name = name;
    p.type = "Tx";
    p.parent = above;
    return p;
}

}  // namespace

TEST(ReaderAgreement, EveryFieldTheReaderFindsIsFilled) {
    formfixtures::FormSpec spec;
    spec.parents = {parent("datos"), parent("telefono", 0)};
    auto& first = spec.pages.emplace_back();
    first.texts.push_back({72, 700, "Nombre", 10});
    first.widgets.push_back(widget("", "nombre", {180, 696, 200, 16}, 0));
    auto dni = widget("", "dni", {180, 660, 90, 16}, 0);
    dni.flags = 1 << 24;
    dni.maxLength = 9;
    first.widgets.push_back(dni);
    first.widgets.push_back(widget("", "", {180, 620, 90, 16}, 1));
    first.widgets.push_back(widget("", "", {300, 620, 90, 16}, 1));
    auto province = widget("Ch", "provincia", {180, 580, 120, 16});
    province.flags = 1 << 17;
    province.options = {{"", "Madrid"}, {"", "Cádiz"}};
    first.widgets.push_back(province);
    auto box = widget("Btn", "acepto", {180, 540, 12, 12});
    box.states = {"Off", "Sí"};
    box.state = "Off";
    first.widgets.push_back(box);
    auto& second = spec.pages.emplace_back();
    second.rotate = 90;
    second.cropBox = Rect{20, 20, 500, 800};
    second.widgets.push_back(widget("Tx", "otro", {100, 300, 20, 150}));
    const std::string pdf = formfixtures::formPDF(spec);

    PDFFile file(pdf);
    std::vector<FormFill> fills;
    for (const FormField& field : FormReader::fields(file)) {
        if (field.drawn) continue;
        fills.push_back({field.name, field.pageIndex, field.rect, "X"});
    }
    ASSERT_EQ(fills.size(), 7u);
    const std::string out = FormFiller::fill(pdf, fills);
    PDFFile filled(out);
    const auto widgets = FormFiller::collect(filled);
    ASSERT_EQ(widgets.size(), 7u);
    for (const auto& w : widgets) {
        const PDFDictionary* field = filled.dictionary(filled.object(w.fieldRef));
        ASSERT_TRUE(field && field->get("V")) << w.name;
    }
}

// A check box whose normal appearance is one stream names no on-state: the reader gives it no
// export value (the stream's own keys are no states), and the filler gives it a state of its own
// with an appearance showing it ticked; its old look stays as Off.
TEST(ReaderAgreement, ACheckBoxWithOneAppearanceStreamIsTicked) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 6 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [4 0 R 6 0 R] >>");
    w.object(4, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (casilla) /Rect [72 100 96 124] "
                "/F 4 /AP << /N 5 0 R >> >>");
    // The old look: a frame.
    w.stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 24 24]", "0 g 1 w 1 1 22 22 re S\n", false);
    w.object(6, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (marca) /Rect [72 60 84 72] "
                "/AP << /N << /S#C3#AD 5 0 R /Off 5 0 R >> >> >>");
    const std::string pdf = w.finishClassic("/Root 1 0 R");
    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].exportValue, "");
    EXPECT_EQ(fields[1].exportValue, "Sí");
    EXPECT_NO_THROW(FormFiller::fill(pdf, {{"marca", 0, fields[1].rect, "X"}}));

    const std::string empty = FormFiller::fill(pdf, {{"casilla", 0, fields[0].rect, ""}});
    const std::string ticked = FormFiller::fill(pdf, {{"casilla", 0, fields[0].rect, "X"}});
    EXPECT_EQ(fixtures::qpdfCheck(ticked), 0);
    PDFFile out(ticked);
    const PDFDictionary* box = out.dictionary(out.object({4, 0}));
    ASSERT_TRUE(box);
    EXPECT_EQ(*box->get("V")->name(), "Yes");
    EXPECT_EQ(*box->get("AS")->name(), "Yes");
    const PDFDictionary* normal = out.dictionary(out.dictionary(box->get("AP"))->get("N"));
    ASSERT_TRUE(normal && normal->get("Yes") && normal->get("Off"));
    EXPECT_EQ(*normal->get("Off")->reference(), (PDFRef{5, 0}));
    // Poppler draws the frame in both and the cross only when ticked.
    const auto before = filloracles::raster(empty, 1, 144);
    const auto after = filloracles::raster(ticked, 1, 144);
    EXPECT_GT(before.inkIn({72, 100, 2, 24}, 200), 0);
    EXPECT_GT(after.inkIn({72, 100, 2, 24}, 200), 0);
    EXPECT_EQ(before.inkIn({80, 108, 8, 8}, 200), 0);
    EXPECT_GT(after.inkIn({80, 108, 8, 8}, 200), 0);
    // The filled box clears again.
    const std::string cleared = FormFiller::fill(ticked, {{"casilla", 0, fields[0].rect, ""}});
    PDFFile again(cleared);
    EXPECT_EQ(*again.dictionary(again.object({4, 0}))->get("AS")->name(), "Off");
    EXPECT_EQ(filloracles::raster(cleared, 1, 144).inkIn({80, 108, 8, 8}, 200), 0);
}

// Radio buttons without states get one each, so that choosing one leaves the others off.
TEST(ReaderAgreement, RadioButtonsWithoutStatesGetOneEach) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Annots [5 0 R 6 0 R] >>");
    w.object(4, "<< /FT /Btn /Ff 49152 /T (sexo) /Kids [5 0 R 6 0 R] >>");
    w.object(5, "<< /Type /Annot /Subtype /Widget /Parent 4 0 R /Rect [20 20 32 32] >>");
    w.object(6, "<< /Type /Annot /Subtype /Widget /Parent 4 0 R /Rect [60 20 72 32] >>");
    const std::string pdf = w.finishClassic("/Root 1 0 R");
    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    const std::string out = FormFiller::fill(pdf, {{"sexo", 0, fields[1].rect, "X"}});
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);
    PDFFile filled(out);
    const std::string chosen = *filled.dictionary(filled.object({6, 0}))->get("AS")->name();
    EXPECT_NE(chosen, "Off");
    EXPECT_EQ(*filled.dictionary(filled.object({5, 0}))->get("AS")->name(), "Off");
    EXPECT_EQ(*filled.dictionary(filled.object({4, 0}))->get("V")->name(), chosen);
    const auto gray = filloracles::raster(out, 1, 144);
    EXPECT_EQ(gray.inkIn({20, 20, 12, 12}, 200), 0);
    EXPECT_GT(gray.inkIn({60, 20, 12, 12}, 200), 0);
}

// A widget whose /Rect is no direct array of four numbers, or that is no annotation object of its
// own, is skipped by the filler, and so by the reader: no field is offered that cannot be filled.
TEST(ReaderAgreement, AnIndirectRectOrADirectWidgetIsNoField) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 6 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    // The third annotation is written in the array itself, which the filler never reaches.
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R 6 0 R "
                "<< /Type /Annot /Subtype /Widget /FT /Tx /T (directo) /Rect [72 600 272 616] >>"
                "] >>");
    w.object(4, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (indirecto) /Rect 5 0 R >>");
    w.object(5, "[72 700 272 716]");
    w.object(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (directo) /Rect [72 660 272 676] >>");
    const std::string pdf = w.finishClassic("/Root 1 0 R");
    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].name, "directo");
    EXPECT_THROW(FormFiller::fill(pdf, {{"indirecto", 0, {72, 700, 200, 16}, "x"}}),
                 FormFiller::Failure);
}
