// The form filler on hand-made AcroForm documents: collecting, matching, writing, drawn fields.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FillFixtures.h"
#include "FillTestSupport.h"
#include "forms/fill/FormFiller.h"
#include "forms/reader/FieldName.h"
#include "pdf/PDFError.h"
#include "pdf/PDFUpdate.h"
#include "signing/PDFSigner.h"
#include "support/TestUtil.h"

using namespace fillfixtures;
using filltest::objectText;

namespace {

std::vector<FormFiller::Widget> collected(const std::string& pdf) {
    PDFFile file(pdf);
    return FormFiller::collect(file);
}

std::vector<std::string> names(const std::vector<FormFiller::Widget>& widgets) {
    std::vector<std::string> out;
    for (const auto& w : widgets) out.push_back(w.name);
    return out;
}

// The message of what `f` throws ("" when it returns).
std::string thrown(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Object numbers of the last update in the order their bodies were written.
std::vector<std::int64_t> updateOrder(const std::string& before, const std::string& after) {
    PDFFile file(after);
    std::vector<std::pair<std::int64_t, std::int64_t>> placed;  // offset, number
    for (const auto& [number, entry] : file.entries())
        if (entry.kind == PDFFile::Entry::Kind::offset &&
            entry.offset() >= static_cast<std::int64_t>(before.size()))
            placed.emplace_back(entry.offset(), number);
    std::sort(placed.begin(), placed.end());
    std::vector<std::int64_t> order;
    for (const auto& [offset, number] : placed) order.push_back(number);
    return order;
}

// datos (kids nombre, dni with merged widgets) and a loose field on a second page.
FormSpec namesForm() {
    FormSpec spec;
    spec.pages = {"/Annots [101 0 R 102 0 R]", "/Annots [103 0 R]"};
    spec.acroForm = "/Fields [100 0 R 103 0 R]";
    spec.objects[100] = "<< /T (datos) /FT /Tx /Kids [101 0 R 102 0 R] >>";
    spec.objects[101] =
        "<< /Type /Annot /Subtype /Widget /Parent 100 0 R /T (nombre) "
        "/Rect [100 700 300 720] /P 10 0 R >>";
    spec.objects[102] =
        "<< /Type /Annot /Subtype /Widget /Parent 100 0 R /T (dni) "
        "/Rect [100 650 200 670] /P 10 0 R /MaxLen 9 >>";
    spec.objects[103] = textWidget("suelto", {100, 500, 200, 20}, 1);
    return spec;
}

}  // namespace

TEST(FormFillerCollect, NamesFieldsFromTheRootAndKeepsWidgetsOfTheirField) {
    auto widgets = collected(formPDF(namesForm()));
    EXPECT_EQ(names(widgets), (std::vector<std::string>{"datos.nombre", "datos.dni", "suelto"}));
    EXPECT_EQ(widgets[1].maxLength, 9);
    EXPECT_EQ(widgets[1].rect, (Rect{100, 650, 100, 20}));
    EXPECT_EQ(widgets[2].pageIndex, 1);
    EXPECT_EQ(widgets[0].fieldRef, widgets[0].widgetRef);

    // Kids without /T are widgets of their field; a field with both kinds of kids yields only its
    // child fields.
    FormSpec spec;
    spec.pages = {"/Annots [101 0 R 102 0 R 104 0 R]"};
    spec.acroForm = "/Fields [100 0 R 103 0 R]";
    spec.objects[100] = "<< /T (tel) /FT /Tx /Kids [101 0 R 102 0 R] >>";
    spec.objects[101] = "<< /Subtype /Widget /Parent 100 0 R /Rect [0 0 50 20] >>";
    spec.objects[102] = "<< /Subtype /Widget /Parent 100 0 R /Rect [60 0 110 20] >>";
    spec.objects[103] = "<< /T (mixto) /FT /Ch /Kids [104 0 R 105 0 R] >>";
    spec.objects[104] = "<< /Subtype /Widget /Parent 103 0 R /Rect [0 100 50 120] >>";
    spec.objects[105] = "<< /Parent 103 0 R /T (hijo) /Rect [0 200 50 220] >>";
    widgets = collected(formPDF(spec));
    EXPECT_EQ(names(widgets), (std::vector<std::string>{"tel", "tel", "mixto.hijo"}));
    EXPECT_EQ(widgets[0].fieldRef, (PDFRef{100, 0}));
    EXPECT_EQ(widgets[1].widgetRef, (PDFRef{102, 0}));
    EXPECT_EQ(widgets[0].pageIndex, 0);  // from the page's /Annots
}

TEST(FormFillerCollect, TakesInheritedTypeAndSkipsOtherKindsAndBadRectangles) {
    FormSpec spec;
    spec.pages = {""};
    spec.acroForm = "/Fields [100 0 R 102 0 R 103 0 R 104 0 R 105 0 R 106 0 R]";
    spec.objects[100] = "<< /T (padre) /FT /Tx /Ff 4096 /Kids [101 0 R] >>";
    spec.objects[101] = "<< /T (hijo) /Parent 100 0 R /Rect [0 0 50 20] >>";
    spec.objects[102] = "<< /T (firma) /FT /Sig /Rect [0 30 50 50] >>";
    spec.objects[103] = "<< /T (boton) /FT /Btn /Ff 65536 /Rect [0 60 50 80] >>";
    spec.objects[104] = "<< /T (tres) /FT /Tx /Rect [0 90 50] >>";
    spec.objects[105] = "<< /T (indirecto) /FT /Tx /Rect 107 0 R >>";
    spec.objects[106] = "<< /T (sin) /Rect [0 120 50 140] >>";
    spec.objects[107] = "[0 0 10 10]";
    auto widgets = collected(formPDF(spec));
    ASSERT_EQ(names(widgets), (std::vector<std::string>{"padre.hijo"}));
    EXPECT_EQ(widgets[0].flags, 4096);
    EXPECT_FALSE(widgets[0].pageIndex);
    EXPECT_TRUE(contains(thrown([&] {
                             FormFiller::fill(formPDF(spec), {{"firma", 0, {0, 30, 50, 20}, "x"}});
                         }),
                         "No se encuentra el campo «firma» para rellenarlo."));
}

TEST(FormFillerCollect, WalksThirtyTwoLevels) {
    auto chain = [](int levels) {
        FormSpec spec;
        spec.acroForm = "/Fields [100 0 R]";
        for (int i = 0; i < levels; ++i) {
            std::string body = "<< /T (n" + std::to_string(i) + ") /FT /Tx";
            if (i > 0) body += " /Parent " + std::to_string(99 + i) + " 0 R";
            if (i + 1 < levels)
                body += " /Kids [" + std::to_string(101 + i) + " 0 R]";
            else
                body += " /Rect [0 0 50 20]";
            spec.objects[100 + i] = body + " >>";
        }
        return collected(formPDF(spec)).size();
    };
    EXPECT_EQ(chain(32), 1u);  // the widget at depth 31
    EXPECT_EQ(chain(33), 0u);  // at depth 32
}

TEST(FormFillerCollect, ReadsThePageFromPOrTheAnnotsAndTheSizeFromDA) {
    FormSpec spec;
    spec.pages = {"", "", "/Annots [100 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R 102 0 R 103 0 R 105 0 R] /DA (/Helv 7 Tf 0 g)";
    spec.objects[100] = "<< /T (p3) /FT /Tx /Rect [0 0 50 20] /DA (/Helv 0 Tf 0 g) >>";
    spec.objects[101] = "<< /T (nada) /FT /Tx /Kids [106 0 R] >>";
    spec.objects[106] = "<< /Parent 101 0 R /Rect [0 0 50 20] /DA (/Helv 9 Tf 0 g) >>";
    spec.objects[102] = "<< /T (con) /FT /Tx /Rect [0 0 50 20] /P 11 0 R /DA (/Helv 9.5 Tf) >>";
    spec.objects[103] = "<< /T (padre) /FT /Tx /DA (/Helv 12 Tf 0 g) /Q 1 /Kids [104 0 R] >>";
    spec.objects[104] = "<< /Parent 103 0 R /Rect [0 0 50 20] /DA (/Helv 8 Tf 0 g) /Q 2 >>";
    spec.objects[105] = "<< /T (mala) /FT /Tx /Rect [0 0 50 20] /DA (/Helv x Tf) /P 2 0 R >>";
    auto widgets = collected(formPDF(spec));
    ASSERT_EQ(widgets.size(), 5u);
    EXPECT_EQ(widgets[0].pageIndex, 2);
    EXPECT_EQ(widgets[0].fontSize, 0);
    EXPECT_FALSE(widgets[1].pageIndex);
    EXPECT_EQ(widgets[1].fontSize, 0);  // no /DA in the field chain: the own one is not read
    EXPECT_EQ(widgets[2].pageIndex, 1);
    EXPECT_EQ(widgets[2].fontSize, 9.5);
    EXPECT_EQ(widgets[3].fontSize, 8);
    EXPECT_EQ(widgets[3].alignment, 2);
    EXPECT_EQ(widgets[4].fontSize, 0);
    EXPECT_FALSE(widgets[4].pageIndex);  // /P is not a page
}

TEST(FormFillerCollect, AgreesWithTheReadersNames) {
    std::string pdf = formPDF(namesForm());
    PDFFile file(pdf);
    for (const auto& widget : FormFiller::collect(file))
        EXPECT_EQ(FieldName::fullName(file, widget.widgetRef), widget.name);
}

TEST(FormFiller, MatchesByNamePageAndPlace) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R]", "/Annots [101 0 R]", "/Annots [102 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R 102 0 R]";
    spec.objects[100] = textWidget("x", {100, 700, 200, 20}, 0);
    spec.objects[101] = textWidget("x", {100, 700, 200, 20}, 1);
    spec.objects[102] = textWidget("solo", {100, 700, 200, 20}, 2);
    std::string pdf = formPDF(spec);

    auto out = FormFiller::fill(pdf, {{"x", 1, {101.9, 698.1, 201.9, 18.1}, "segundo"}});
    EXPECT_TRUE(contains(objectText(out, 101), "/V (segundo)"));
    EXPECT_FALSE(contains(objectText(out, 100), "/V"));
    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(pdf, {{"x", 1, {102, 700, 200, 20}, "y"}});
              }),
              "No se encuentra el campo «x» para rellenarlo.");
    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(pdf, {{"x", 2, {100, 700, 200, 20}, "y"}});
              }),
              "No se encuentra el campo «x» para rellenarlo.");
    // A single widget of the name is taken whatever the page and place.
    out = FormFiller::fill(pdf, {{"solo", 0, {0, 0, 10, 10}, "único"}});
    EXPECT_TRUE(contains(objectText(out, 102), "/V <FEFF"));
    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(pdf, {{"nadie", 0, {}, "y"}});
              }),
              "No se encuentra el campo «nadie» para rellenarlo.");
}

TEST(FormFiller, WritesValuesAndAppearancesAsOneUpdate) {
    FormSpec spec = namesForm();
    spec.objects[101] = "<< /Parent 100 0 R /T (nombre) /Kids [104 0 R] >>";
    spec.objects[104] =
        "<< /Type /Annot /Subtype /Widget /Parent 101 0 R /Rect [100 700 300 720] "
        "/P 10 0 R /AP << /N 105 0 R >> >>";
    spec.objects[105] = "<< >>";
    spec.pages[0] = "/Annots [104 0 R 102 0 R]";
    const std::string pdf = formPDF(spec);
    const std::int64_t size = PDFFile(pdf).size();
    auto out = FormFiller::fill(pdf, {{"datos.nombre", 0, {100, 700, 200, 20}, "José Pérez"},
                                      {"datos.dni", 0, {100, 650, 100, 20}, "12345678Z"},
                                      {"datos.dni", 0, {100, 650, 100, 20}, "87654321X"}});
    ASSERT_EQ(out.compare(0, pdf.size(), pdf), 0);
    EXPECT_EQ(PDFFile(out).pageRefs().size(), 2u);

    // "Pérez" is not ASCII: UTF-16BE with a byte-order mark.
    EXPECT_TRUE(contains(objectText(out, 101), "/V <FEFF004A006F007300E9"));
    EXPECT_TRUE(contains(objectText(out, 102), "/V (87654321X)"));       // the later fill wins
    EXPECT_EQ(objectText(out, 104).find("105 0 R"), std::string::npos);  // /AP replaced whole

    // Order: each fill's appearance objects (resources, then the stream), then the edited fields
    // (101, 102) and the widget 104.
    auto order = updateOrder(pdf, out);
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(std::vector<std::int64_t>(order.end() - 3, order.end()),
              (std::vector<std::int64_t>{101, 102, 104}));
    auto firstAppearance = filltest::appearanceOf(out, 104);
    auto lastAppearance = filltest::appearanceOf(out, 102);
    ASSERT_TRUE(firstAppearance && lastAppearance);
    PDFFile reread(out);
    const auto ap = [&](std::int64_t widget) {
        return reread.dictionary(reread.dictionary(reread.object({widget, 0}))->get("AP"))
            ->get("N")
            ->reference()
            ->number;
    };
    // Three appearances (the dni widget got two; the first is left unused), each after its
    // resources, all numbered from the file's size upwards.
    std::vector<std::int64_t> fresh(order.begin(), order.end() - 3);
    EXPECT_EQ(*std::min_element(fresh.begin(), fresh.end()), size);
    const auto at = [&](std::int64_t number) {
        return std::find(fresh.begin(), fresh.end(), number) - fresh.begin();
    };
    EXPECT_LT(at(ap(104)), at(ap(102)));
    EXPECT_EQ(fresh.back(), ap(102));
    const PDFObject* resources =
        reread.resolve(reread.object({ap(104), 0}))->dictionary()->get("Resources");
    ASSERT_TRUE(resources && resources->reference());
    EXPECT_LT(at(resources->reference()->number), at(ap(104)));
}

TEST(FormFiller, EmptyListReturnsTheBytesUnopened) {
    EXPECT_EQ(FormFiller::fill("no es un PDF", {}), "no es un PDF");
    EXPECT_THROW(FormFiller::fill("no es un PDF", {{"x", 0, {}, "y"}}), PDFError);
}

TEST(FormFiller, DrawnFillsBecomeNewTextWidgets) {
    FormSpec spec;
    spec.pages = {"/Annots 12 0 R", ""};
    spec.acroForm = "ref:90 0 R";
    spec.objects[12] = "[100 0 R]";
    spec.objects[90] = "<< /Fields 91 0 R /DR << /Font << /F0 3 0 R >> >> >>";
    spec.objects[91] = "[100 0 R]";
    spec.objects[100] = textWidget("Tindra1", {100, 700, 200, 20});
    const std::string pdf = formPDF(spec);
    const std::int64_t n = PDFFile(pdf).size();
    FormFill high{"tindra.texto", 0, {100, 500, 200, 30}, "Línea alta", true, 10.5, true};
    FormFill low{"tindra.texto", 1, {100, 400, 200, 20}, "Baja", true};
    auto out = FormFiller::fill(pdf, {high, low});

    PDFFile file(out);
    auto fields = *file.resolve(file.object({91, 0}))->array();
    ASSERT_EQ(fields.size(), 3u);
    const PDFRef first = *fields[1].reference();
    const PDFRef second = *fields[2].reference();
    EXPECT_EQ(first.number, n);
    const std::string a = objectText(out, first.number);
    EXPECT_EQ(a.rfind("<</Type /Annot /Subtype /Widget /FT /Tx /T (Tindra2) /V <FEFF", 0), 0u) << a;
    EXPECT_TRUE(contains(a,
                         "/Ff 4096 /F 4 /Rect [100 500 300 530] /P 10 0 R "
                         "/DA (/Helv 11 Tf 0 g) /Q 1 /AP <</N "));
    const std::string b = objectText(out, second.number);
    EXPECT_TRUE(contains(b,
                         "/T (Tindra3) /V (Baja) /Ff 0 /F 4 /Rect [100 400 300 420] /P 11 0 R "
                         "/DA (/Helv 10 Tf 0 g) /Q 0 /AP"));
    auto appearance = filltest::appearanceOf(out, first.number);
    ASSERT_TRUE(appearance);
    EXPECT_TRUE(contains(appearance->content, "10.5 0 0 -10.5"));  // drawn at the unrounded size

    // /Annots 12 0 R is rewritten as object 12; page 1's dictionary stays; page 2 gets a direct
    // array; /DR and the indirect AcroForm are kept.
    EXPECT_EQ(objectText(out, 12), "[100 0 R " + std::to_string(first.number) + " 0 R]");
    EXPECT_TRUE(
        contains(objectText(out, 11), "/Annots [" + std::to_string(second.number) + " 0 R]"));
    auto order = updateOrder(pdf, out);
    EXPECT_EQ(std::count(order.begin(), order.end(), 10), 0);
    // Order: appearance objects then widget, per fill; pages and arrays; /Fields; the AcroForm.
    ASSERT_GE(order.size(), 6u);
    EXPECT_EQ(std::vector<std::int64_t>(order.end() - 4, order.end()),
              (std::vector<std::int64_t>{12, 11, 91, 90}));
    const auto widgetAt = std::find(order.begin(), order.end(), first.number);
    const auto appearanceAt = std::find(
        order.begin(), order.end(),
        *file.dictionary(file.dictionary(file.object(first))->get("AP"))->get("N")->reference());
    EXPECT_EQ(appearanceAt + 1, widgetAt);
    EXPECT_EQ(objectText(out, 90), "<</Fields 91 0 R /DR <</Font <</F0 3 0 R >> >> >>");
}

TEST(FormFiller, ADocumentWithoutFormGetsADirectAcroForm) {
    FormSpec spec;
    const std::string pdf = formPDF(spec);
    const std::int64_t n = PDFFile(pdf).size();
    auto out = FormFiller::fill(pdf, {{"tindra.texto", 0, {50, 50, 100, 20}, "Hola", true}});
    const std::string catalog = objectText(out, 1);
    EXPECT_TRUE(contains(catalog,
                         "/AcroForm <</DR <</Font <</Helv <</Type /Font /Subtype /Type1 "
                         "/BaseFont /Helvetica /Encoding /WinAnsiEncoding >> >> >> "
                         "/Fields [" +
                             std::to_string(n) + " 0 R] >>"))
        << catalog;
    EXPECT_TRUE(contains(objectText(out, 10), "/Annots [" + std::to_string(n) + " 0 R]"));
    auto order = updateOrder(pdf, out);
    EXPECT_EQ(order.back(), 1);
    EXPECT_EQ(order[order.size() - 2], 10);

    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(pdf, {{"t", 1, {50, 50, 100, 20}, "Año", true}});
              }),
              "No se encuentra la página del campo «Año».");
    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(pdf, {{"t", -1, {50, 50, 100, 20}, "x", true}});
              }),
              "No se encuentra la página del campo «x».");
}

TEST(FormFiller, DamagedFormOrAnnotationsStopDrawnFills) {
    FormSpec spec;
    spec.acroForm = "/Fields 3 0 R";
    const FormFill drawn{"t", 0, {50, 50, 100, 20}, "x", true};
    EXPECT_EQ(thrown([&] { FormFiller::fill(formPDF(spec), {drawn}); }),
              "El formulario del PDF está dañado y no se puede rellenar.");
    spec.acroForm = "ref:3 0 R";  // a font, not a form... but a dictionary: a form without fields
    EXPECT_EQ(thrown([&] { FormFiller::fill(formPDF(spec), {drawn}); }), "");
    spec.acroForm = "/Fields []";
    spec.pages = {"/Annots 3 0 R"};
    EXPECT_EQ(thrown([&] { FormFiller::fill(formPDF(spec), {drawn}); }),
              "Las anotaciones de la página del PDF están dañadas y no se puede rellenar.");
    // A reference to an object the file does not have reads as absent.
    spec.pages = {"/Annots 77 0 R"};
    auto out = FormFiller::fill(formPDF(spec), {drawn});
    EXPECT_TRUE(contains(objectText(out, 10), "/Annots ["));
}

TEST(FormFiller, RestrictedFilesAreRefusedAndEveryCipherFills) {
    const std::string pdf = formPDF(namesForm());
    const std::vector<FormFill> fills{{"datos.nombre", 0, {100, 700, 200, 20}, "María"},
                                      {"tindra.texto", 0, {50, 50, 100, 20}, "Dibujo", true}};
    fixtures::EncryptOptions restricted;
    restricted.restricted = true;
    EXPECT_EQ(thrown([&] {
                  FormFiller::fill(fixtures::encrypt(pdf, fixtures::Cipher::aes256R6, restricted),
                                   fills);
              }),
              "Las restricciones del PDF no permiten firmarlo (no admite cambios ni rellenar "
              "campos).");
    for (auto cipher : fixtures::allCiphers()) {
        SCOPED_TRACE(fixtures::cipherName(cipher));
        const std::string encrypted = fixtures::encrypt(pdf, cipher);
        const std::string out = FormFiller::fill(encrypted, fills);
        EXPECT_EQ(fixtures::qpdfCheck(out), 0);
        // qpdf numbers the objects afresh: the field is found by its name.
        PDFFile file(out);
        auto widgets = FormFiller::collect(file);
        ASSERT_EQ(widgets.size(), 4u);
        const PDFDictionary* field = file.dictionary(file.object(widgets[0].fieldRef));
        ASSERT_TRUE(field && field->get("V"));
        EXPECT_EQ(field->get("V")->text(), "María");
        EXPECT_TRUE(filltest::appearanceOf(out, widgets[0].widgetRef.number));
        EXPECT_TRUE(contains(fixtures::qpdf(out, {"--decrypt"}), "Dibujo"));
    }
}

TEST(FormFiller, TicksCheckBoxesAndChoosesRadioButtons) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R 102 0 R 103 0 R 104 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R 104 0 R]";
    spec.objects[100] =
        "<< /Subtype /Widget /T (acepto) /FT /Btn /Rect [100 700 120 720] /V /Off "
        "/AP << /N << /Off 110 0 R /Si 111 0 R >> >> /AS /Off >>";
    spec.objects[101] = "<< /T (sexo) /FT /Btn /Ff 49152 /V /H /Kids [102 0 R 103 0 R] >>";
    spec.objects[102] =
        "<< /Subtype /Widget /Parent 101 0 R /Rect [100 600 120 620] "
        "/AP << /N << /H 111 0 R /Off 110 0 R >> >> /AS /H >>";
    spec.objects[103] =
        "<< /Subtype /Widget /Parent 101 0 R /Rect [200 600 220 620] "
        "/AP << /N << /Off 110 0 R /M 111 0 R >> >> /AS /Off >>";
    spec.objects[104] = "<< /Subtype /Widget /T (sinestado) /FT /Btn /Rect [100 500 120 520] >>";
    spec.objects[110] =
        "<< /Type /XObject /Subtype /Form /BBox [0 0 20 20] /Length 0 >>\nstream\n"
        "\nendstream";
    spec.objects[111] =
        "<< /Type /XObject /Subtype /Form /BBox [0 0 20 20] /Length 22 >>\nstream\n"
        "0 g 2 2 16 16 re f    \nendstream";
    const std::string pdf = formPDF(spec);
    auto out = FormFiller::fill(pdf, {{"acepto", 0, {100, 700, 20, 20}, "Sí"},
                                      {"sexo", 0, {200, 600, 20, 20}, "X"},
                                      {"sexo", 0, {100, 600, 20, 20}, ""}});
    EXPECT_TRUE(contains(objectText(out, 100), "/V /Si"));
    EXPECT_TRUE(contains(objectText(out, 100), "/AS /Si"));
    EXPECT_TRUE(contains(objectText(out, 101), "/V /M"));  // the empty fill leaves the choice
    EXPECT_TRUE(contains(objectText(out, 102), "/AS /Off"));
    EXPECT_TRUE(contains(objectText(out, 103), "/AS /M"));
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);

    out = FormFiller::fill(out, {{"acepto", 0, {100, 700, 20, 20}, ""}});
    EXPECT_TRUE(contains(objectText(out, 100), "/V /Off"));
    EXPECT_TRUE(contains(objectText(out, 100), "/AS /Off"));
    // A check box without any appearance gets a state and a look of its own.
    out = FormFiller::fill(pdf, {{"sinestado", 0, {100, 500, 20, 20}, "X"}});
    EXPECT_TRUE(contains(objectText(out, 104), "/V /Yes"));
    EXPECT_TRUE(contains(objectText(out, 104), "/AS /Yes"));
    EXPECT_TRUE(contains(objectText(out, 104), "/AP <</N <</Yes "));
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);
}

TEST(FormFiller, HostileTreesStayBounded) {
    // One /Kids array shared by a thousand parents at every one of twenty levels would be walked
    // 1000^20 times without the visited set; names over 4,096 bytes are unreadable.
    FormSpec spec;
    std::string fields;
    for (int i = 0; i < 1000; ++i) fields += "100 0 R ";
    spec.acroForm = "/Fields [" + fields + "]";
    spec.objects[100] = "<< /T (a) /FT /Tx /Kids 101 0 R >>";
    spec.objects[101] = "[" + fields + "102 0 R]";
    spec.objects[102] = "<< /T (" + std::string(5000, 'x') + ") /FT /Tx /Rect [0 0 50 20] >>";
    auto widgets = collected(formPDF(spec));
    EXPECT_TRUE(widgets.empty());

    // Radio buttons without states get theirs in one pass each: eight times the buttons take
    // about eight times as long, not sixty-four (a ratio of processor times, so that a slow build
    // or a loaded machine measures the same).
    const auto timeFor = [](int count) {
        FormSpec radios;
        std::string kids;
        for (int i = 0; i < count; ++i) {
            kids += std::to_string(1000 + i) + " 0 R ";
            radios.objects[1000 + i] = "<< /Subtype /Widget /Parent 100 0 R /Rect [0 0 9 9] >>";
        }
        radios.acroForm = "/Fields [100 0 R]";
        radios.objects[100] = "<< /T (r) /FT /Btn /Ff 49152 /Kids [" + kids + "] >>";
        const std::string pdf = formPDF(radios);
        const double start = testutil::threadSeconds();
        EXPECT_NO_THROW(FormFiller::fill(pdf, {{"r", 0, {0, 0, 9, 9}, "X"}}));
        return testutil::threadSeconds() - start;
    };
    const double small = timeFor(5'000);
    const double large = timeFor(40'000);
    EXPECT_LT(large, 30 * small) << small << " s for 5,000 buttons, " << large << " s for 40,000";
}

TEST(FormFiller, DamagedBytesGiveAnErrorOrAFileNeverACrash) {
    FormSpec spec = namesForm();
    spec.objects[104] =
        "<< /T (x) /FT /Btn /Rect [0 0 9 9] /AP << /N << /Off 3 0 R /On 3 0 R >> >> >>";
    spec.acroForm = "/Fields [100 0 R 103 0 R 104 0 R] /DA (/Helv 0 Tf 0 g)";
    const std::string pdf = formPDF(spec);
    const std::vector<FormFill> fills{{"datos.nombre", 0, {100, 700, 200, 20}, "Ana"},
                                      {"x", 0, {0, 0, 9, 9}, "X"},
                                      {"t", 0, {10, 10, 100, 30}, "Dibujo", true}};
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    int filled = 0;
    for (int round = 0; round < 300; ++round) {
        std::string damaged = pdf;
        for (int k = 0; k < 4; ++k)
            damaged[(next() >> 8) % damaged.size()] =
                static_cast<char>("0 R[]<>/()9-"[next() % 12]);
        try {
            FormFiller::fill(damaged, fills);
            ++filled;
        } catch (const std::exception&) {
        }
    }
    EXPECT_GT(filled, 0);
}
