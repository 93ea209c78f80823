// Widget fields read from generated AcroForm fixtures, checked against qpdf and pdftotext.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <regex>

#include "forms/reader/FieldName.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "pages/PageText.h"
#include "pages/content/PageAnnotation.h"
#include "support/FormFixtures.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using formfixtures::FormSpec;
using formfixtures::WidgetSpec;

namespace {

constexpr std::int64_t readOnly = 1;
constexpr std::int64_t radio = 1 << 15;
constexpr std::int64_t pushButton = 1 << 16;
constexpr std::int64_t comb = 1 << 24;

formfixtures::ParentSpec parentField(std::string name, std::string type = "",
                                     std::int64_t flags = 0) {
    formfixtures::ParentSpec p;
    p.name = std::move(name);
    p.type = std::move(type);
    p.flags = flags;
    return p;
}

WidgetSpec widget(std::string type, std::string name, Rect rect) {
    WidgetSpec w;
    w.type = std::move(type);
    w.name = std::move(name);
    w.rect = rect;
    return w;
}

WidgetSpec with(WidgetSpec w, const std::function<void(WidgetSpec&)>& change) {
    change(w);
    return w;
}

// Page 1: headings, labels and one widget of every kind; page 2: /Rotate 90 with an offset crop
// box; page 3: a field whose widgets sit on two pages.
FormSpec catalogueForm() {
    FormSpec spec;
    spec.parents = {parentField("solicitante"), parentField("sexo", "Btn", radio),
                    parentField("bloqueado", "Tx", readOnly), parentField("repetido", "Tx")};
    auto& p1 = spec.pages.emplace_back();
    p1.texts = {{72, 780, "DATOS DEL SOLICITANTE", 12},
                {72, 750, "1. Datos personales", 11},
                {72, 700, "Nombre y apellidos", 10},
                {72, 620, "Domicilio", 10},
                {72, 560, "Provincia", 10}};
    p1.widgets = {
        with(widget("Tx", "nombre", {180, 696, 250, 16}),
             [](WidgetSpec& w) {
                 w.maxLength = 60;
                 w.value = " Ana   Ruiz ";
                 w.tooltip = " Nombre   del titular ";
                 w.parent = 0;
             }),
        with(widget("Tx", "etiqueta", {72, 656, 30, 16}),
             [](WidgetSpec& w) {
                 w.flags = readOnly;
                 w.value = "NIF";
             }),
        with(widget("Tx", "nif", {110, 656, 120, 16}),
             [](WidgetSpec& w) {
                 w.flags = comb;
                 w.maxLength = 9;
                 w.tooltip = "   ";
                 w.parent = 0;
             }),
        with(widget("Tx", "domicilio", {180, 616, 250, 16}),
             [](WidgetSpec& w) { w.value = " Calle\nMayor  3 "; }),
        with(widget("Ch", "provincia", {180, 556, 150, 16}),
             [](WidgetSpec& w) {
                 w.value = "M";
                 w.options = {{"V", "Valencia"}, {"M", "Madrid"}};
             }),
        with(widget("Ch", "idiomas", {350, 556, 100, 40}),
             [](WidgetSpec& w) {
                 w.values = {"Español", "Inglés"};
                 w.options = {{"", "Español"}, {"", "Inglés"}};
             }),
        with(widget("", "", {72, 500, 12, 12}),
             [](WidgetSpec& w) {
                 w.states = {"H", "Off"};
                 w.state = "Off";
                 w.parent = 1;
             }),
        with(widget("", "", {100, 500, 12, 12}),
             [](WidgetSpec& w) {
                 w.states = {"Off", "M"};
                 w.state = "M";
                 w.parent = 1;
             }),
        with(widget("", "", {128, 500, 12, 12}),
             [](WidgetSpec& w) {
                 w.states = {"X", "Off"};
                 w.parent = 1;
             }),
        with(widget("Btn", "acepto", {72, 470, 12, 12}),
             [](WidgetSpec& w) {
                 w.states = {"Sí", "Off"};
             }),
        widget("Btn", "sinestados", {100, 470, 12, 12}),
        with(widget("Btn", "imprimir", {300, 470, 80, 20}),
             [](WidgetSpec& w) { w.flags = pushButton; }),
        widget("Sig", "firma", {300, 100, 200, 60}),
        widget("Tx", "", {72, 430, 100, 16}),  // no name
        with(widget("Tx", "roto", {}), [](WidgetSpec& w) { w.rectText = "[1 2 3]"; }),
        with(widget("", "heredado", {72, 400, 100, 16}), [](WidgetSpec& w) { w.parent = 2; }),
        with(widget("", "", {300, 400, 100, 16}), [](WidgetSpec& w) { w.parent = 3; }),
    };
    auto& p2 = spec.pages.emplace_back();
    p2.rotate = 90;
    p2.cropBox = Rect{20, 30, 555, 782};
    p2.texts = {{100, 400, "Apellidos", 10}};
    p2.widgets = {widget("Tx", "apellidos", {160, 396, 150, 16})};
    auto& p3 = spec.pages.emplace_back();
    p3.widgets = {with(widget("", "", {300, 700, 100, 16}), [](WidgetSpec& w) { w.parent = 3; })};
    return spec;
}

std::vector<FormField> read(const std::string& pdf) {
    PDFFile file(pdf);
    return FormReader::fields(file);
}

const FormField* named(const std::vector<FormField>& fields, const std::string& name) {
    for (const FormField& f : fields)
        if (f.name == name) return &f;
    return nullptr;
}

}  // namespace

TEST(WidgetFields, EveryKindInDocumentOrder) {
    const std::vector<FormField> fields = read(formfixtures::formPDF(catalogueForm()));
    std::vector<std::string> names;
    for (const FormField& f : fields) names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "solicitante.nombre", "etiqueta", "solicitante.nif", "domicilio",
                         "provincia", "idiomas", "sexo", "sexo", "sexo", "acepto", "sinestados", "",
                         "bloqueado.heredado", "repetido", "apellidos", "repetido"}));
    for (std::size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(fields[i].id, static_cast<int>(i) + 1);

    const FormField* nombre = named(fields, "solicitante.nombre");
    ASSERT_TRUE(nombre);
    EXPECT_EQ(nombre->kind, FormField::Kind::text);
    EXPECT_EQ(nombre->rect, (Rect{180, 696, 250, 16}));
    EXPECT_EQ(nombre->maxLength, 60);
    EXPECT_FALSE(nombre->comb);
    EXPECT_EQ(nombre->value, "Ana Ruiz");
    EXPECT_EQ(nombre->tooltip, "Nombre del titular");
    EXPECT_FALSE(nombre->exportValue);
    EXPECT_EQ(nombre->left, "Nombre y apellidos");
    EXPECT_EQ(nombre->section, "1. Datos personales");
    EXPECT_EQ(nombre->header, "DATOS DEL SOLICITANTE");

    const FormField* nif = named(fields, "solicitante.nif");
    ASSERT_TRUE(nif);
    EXPECT_TRUE(nif->comb);
    EXPECT_EQ(nif->maxLength, 9);
    EXPECT_FALSE(nif->tooltip);
    // The read-only widget's text counts as printed, once (Poppler's reading of the widget's
    // appearance is not page text).
    EXPECT_EQ(nif->left, "NIF");
    const FormField* etiqueta = named(fields, "etiqueta");
    ASSERT_TRUE(etiqueta);
    EXPECT_TRUE(etiqueta->readOnly);
    EXPECT_EQ(etiqueta->value, "NIF");

    EXPECT_EQ(named(fields, "domicilio")->value, "Calle Mayor 3");
    const FormField* provincia = named(fields, "provincia");
    EXPECT_EQ(provincia->kind, FormField::Kind::choice);
    EXPECT_EQ(provincia->options, (std::vector<std::string>{"Valencia", "Madrid"}));
    EXPECT_EQ(provincia->value, "Madrid");
    EXPECT_EQ(provincia->left, "Provincia");
    EXPECT_EQ(named(fields, "idiomas")->value, "Español");

    std::vector<std::string> radios;
    for (const FormField& f : fields)
        if (f.name == "sexo") {
            EXPECT_EQ(f.kind, FormField::Kind::check);
            EXPECT_EQ(f.value, "");
            radios.push_back(f.exportValue.value_or("?"));
        }
    EXPECT_EQ(radios, (std::vector<std::string>{"H", "M", "X"}));
    EXPECT_EQ(named(fields, "acepto")->exportValue, "Sí");
    EXPECT_EQ(named(fields, "sinestados")->exportValue, "");
    EXPECT_FALSE(named(fields, "sinestados")->isTick());
    EXPECT_TRUE(named(fields, "bloqueado.heredado")->readOnly);

    // Rotated page with an offset crop box: the left strip is on the smaller unrotated x.
    const FormField* apellidos = named(fields, "apellidos");
    ASSERT_TRUE(apellidos);
    EXPECT_EQ(apellidos->pageIndex, 1);
    EXPECT_EQ(apellidos->left, "Apellidos");
    EXPECT_EQ(fields.back().pageIndex, 2);
}

TEST(WidgetFields, SameFieldsThroughObjectStreamsAndEncryption) {
    const std::string pdf = formfixtures::formPDF(catalogueForm());
    const std::vector<FormField> plain = read(pdf);
    EXPECT_EQ(read(fixtures::qpdf(pdf, {"--object-streams=generate"})), plain);
    EXPECT_EQ(read(fixtures::encrypt(pdf, fixtures::Cipher::aes256R6)), plain);
    EXPECT_EQ(read(fixtures::encrypt(pdf, fixtures::Cipher::rc4_128)), plain);
}

TEST(WidgetFields, TextSitsWherePdftotextFindsIt) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "form.pdf", formfixtures::formPDF(catalogueForm()));
    testutil::RunResult r = testutil::run(
        {"pdftotext", "-bbox-layout", "-f", "1", "-l", "1", (dir / "form.pdf").string(), "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        r.out, m,
        std::regex(
            R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">Nombre</word>)re")));
    // Baseline at (72, 700) in page space: 142 points from the top of an 842-point page.
    EXPECT_NEAR(std::stod(m[1]), 72, 0.5);
    EXPECT_LT(std::stod(m[2]), 142);
    EXPECT_GT(std::stod(m[3]), 140);
}

// qpdf's view of the form: fullname, fieldtype and page of every widget.
TEST(WidgetFields, AgreeWithQpdfAndTheNameFindsOneWidget) {
    const std::string pdf = formfixtures::formPDF(catalogueForm());
    testutil::TempDir dir;
    testutil::writeFile(dir / "form.pdf", pdf);
    testutil::RunResult r =
        testutil::run({"qpdf", "--json", "--json-key=acroform", (dir / "form.pdf").string()});
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 3) << r.err;
    nlohmann::json qpdfFields = nlohmann::json::parse(r.out)["acroform"]["fields"];

    const std::vector<FormField> fields = read(pdf);
    std::vector<std::tuple<std::string, std::string, int>> ours, theirs;
    for (const FormField& f : fields)
        ours.emplace_back(f.name, "/" + std::string(FormField::rawValue(f.kind)), f.pageIndex + 1);
    for (const nlohmann::json& q : qpdfFields) {
        std::string type = q["fieldtype"];
        if (type == "/Sig" || (type == "/Btn" && (q["fieldflags"].get<int>() & pushButton)))
            continue;
        // A widget without a usable /Rect is no field here (nor for the filler).
        if (q["pageposfrom1"].is_null() || q["fullname"] == "roto") continue;
        theirs.emplace_back(q["fullname"], type, q["pageposfrom1"]);
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    EXPECT_EQ(ours, theirs);

    // The name function over every widget of the file finds each text or choice field once.
    PDFFile file(pdf);
    const std::vector<PDFRef> pages = file.pageRefs();
    for (const FormField& f : fields) {
        if (f.kind == FormField::Kind::check) continue;
        int found = 0;
        const PDFObject* annots = PageAnnotation::annotsOf(file, pages[f.pageIndex]);
        for (const PDFObject& a : *annots->array()) {
            const PDFDictionary* widget = file.dictionary(&a);
            std::optional<Rect> rect = PageAnnotation::rectangle(file, widget->get("Rect"));
            if (rect && *rect == f.rect && FieldName::fullName(file, widget) == f.name) ++found;
        }
        EXPECT_EQ(found, 1) << f.name;
    }
}

TEST(WidgetFields, WithoutPageTextTheWidgetsComeWithoutCaptions) {
    struct NoText final : PageSource {
        int pageCount() const override { return 0; }
        std::optional<PageText> text(int) const override { return std::nullopt; }
        std::optional<GreyImage> render(int, double, std::int64_t) const override { return {}; }
    };
    PDFFile file(formfixtures::formPDF(catalogueForm()));
    std::vector<FormField> fields = FormReader::fields(file, NoText());
    ASSERT_EQ(fields.size(), 16u);
    EXPECT_EQ(fields[0].left, "");
    EXPECT_EQ(fields[0].value, "Ana Ruiz");
}

TEST(WidgetFields, KindsFromRawValues) {
    EXPECT_EQ(FormField::kindFromRawValue("Tx"), FormField::Kind::text);
    EXPECT_EQ(FormField::kindFromRawValue("Btn"), FormField::Kind::check);
    EXPECT_EQ(FormField::kindFromRawValue("Ch"), FormField::Kind::choice);
    for (const char* other : {"tx", "Sig", "", "Btn "})
        EXPECT_FALSE(FormField::kindFromRawValue(other));
    EXPECT_EQ(FormField::rawValue(FormField::Kind::check), "Btn");

    FormField tick;
    tick.kind = FormField::Kind::check;
    tick.drawn = true;
    EXPECT_TRUE(tick.isTick());
    tick.drawn = false;
    EXPECT_FALSE(tick.isTick());
    FormField a, b;
    a.id = 4;
    b.id = 5;
    FormUnit one{{a}};
    EXPECT_EQ(one.id(), 4);
    EXPECT_EQ(one.first().id, 4);
    EXPECT_FALSE(one.isBoxes());
    EXPECT_TRUE((FormUnit{{a, b}}.isBoxes()));
}

// The text engine reads a widget's appearance with the page; that text is no caption. Printed
// text under an empty widget (no appearance, no value) stays.
TEST(WidgetFields, WhatAWidgetShowsIsNotPrintedText) {
    auto form = [](std::optional<std::string> value) {
        FormSpec spec;
        auto& page = spec.pages.emplace_back();
        page.texts = {{72, 300, "Apellidos", 10}};
        WidgetSpec under = widget("Tx", "fondo", {70, 296, 60, 16});
        under.value = std::move(value);
        page.widgets = {under, widget("Tx", "dato", {150, 296, 100, 16})};
        return formfixtures::formPDF(spec);
    };
    EXPECT_EQ(read(form(std::nullopt))[1].left, "Apellidos");
    EXPECT_EQ(read(form("Ruiz"))[1].left, "");
}

// Fixed texts follow the printed text: the higher first, on one line right to left.
TEST(WidgetFields, FixedTextsAfterThePrintedText) {
    FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{150, 530, "Datos", 10}};
    auto fixed = [](std::string name, Rect rect, std::string value) {
        WidgetSpec w = widget("Tx", std::move(name), rect);
        w.flags = readOnly;
        w.value = std::move(value);
        return w;
    };
    page.widgets = {
        fixed("a", {100, 520, 40, 14}, "primero"), fixed("b", {300, 520, 40, 14}, "segundo"),
        fixed("c", {200, 540, 40, 10}, "arriba"), widget("Tx", "campo", {100, 500, 300, 16})};
    const std::vector<FormField> fields = read(formfixtures::formPDF(spec));
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[3].context, "Datos arriba segundo primero");
    EXPECT_TRUE(fields[0].readOnly);
}
