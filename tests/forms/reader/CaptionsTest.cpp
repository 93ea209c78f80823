// Captions, headings and fill lines over page text built in the test.
#include <gtest/gtest.h>

#include "SyntheticPage.h"
#include "forms/reader/FormReader.h"
#include "platform/Regex.h"

namespace {

FormField fieldAt(Rect rect) {
    FormField f;
    f.rect = rect;
    return f;
}

FormTitle heading(double y, std::string text, bool numbered = false) {
    return FormTitle{y, std::move(text), numbered};
}

const FormReader::TextSource nothing = [](const Rect&) { return std::string(); };

std::vector<std::string> labels(const std::vector<FillLine>& lines) {
    std::vector<std::string> out;
    for (const FillLine& l : lines) out.push_back(l.label);
    return out;
}

std::vector<std::string> fillLabels(const std::string& line) {
    SyntheticPage page;
    page.write(72, 700, line);
    return labels(FormReader::fillLines(page.text()));
}

}  // namespace

TEST(Clean, WhiteSpaceOfEveryKindBecomesOneBlank) {
    EXPECT_EQ(FormReader::clean(" Calle\nMayor \t 3\u00A0"), "Calle Mayor 3");
    EXPECT_EQ(FormReader::clean("a\u2003\u2028b"), "a b");
    EXPECT_EQ(FormReader::clean("   "), "");
    EXPECT_EQ(FormReader::clean("Nombre"), "Nombre");
}

TEST(Describe, HeadingsAboveTheField) {
    const Rect r{100, 500, 200, 16};  // top at 516
    FormField f = fieldAt(r);
    FormReader::describe(f, nothing, {heading(515, "ARRIBA UNO"), heading(513, "DEBAJO")});
    EXPECT_EQ(f.header, "ARRIBA UNO");  // 1 pt below the top counts, 3 pt does not
    EXPECT_EQ(f.captions, (std::vector<std::string>{"ARRIBA UNO"}));

    FormReader::describe(f, nothing, {heading(636, "DATOS PERSONALES")});
    EXPECT_FALSE(f.header);
    EXPECT_EQ(f.captions, (std::vector<std::string>{"DATOS PERSONALES"}));
    FormReader::describe(f, nothing, {heading(635.5, "DATOS PERSONALES")});
    EXPECT_EQ(f.header, "DATOS PERSONALES");
    FormReader::describe(f, nothing, {heading(656, "DATOS PERSONALES")});
    EXPECT_EQ(f.captions.size(), 1u);
    FormReader::describe(f, nothing, {heading(666, "DATOS PERSONALES")});
    EXPECT_TRUE(f.captions.empty());

    // A far numbered heading is the section, never a caption.
    FormReader::describe(f, nothing, {heading(916, "2. Domicilio", true)});
    EXPECT_EQ(f.section, "2. Domicilio");
    EXPECT_TRUE(f.captions.empty());
    EXPECT_FALSE(f.header);

    // Nearest first, three at most; a heading of six words is the header but no caption.
    FormReader::describe(f, nothing,
                         {heading(600, "CUARTO"), heading(530, "PRIMERO DE SEIS PALABRAS AQUÍ YA"),
                          heading(540, "SEGUNDO"), heading(560, "TERCERO"), heading(580, "QUINTO"),
                          heading(700, "3. Otro", true), heading(650, "4. Cerca", true)});
    EXPECT_EQ(f.header, "PRIMERO DE SEIS PALABRAS AQUÍ YA");
    EXPECT_EQ(f.captions, (std::vector<std::string>{"SEGUNDO", "TERCERO", "QUINTO"}));
    EXPECT_EQ(f.section, "4. Cerca");
}

TEST(Describe, SideTextsAreCutToTheirLengths) {
    const std::string long300(300, 'a');
    const std::string long100 = std::string(90, 'b') + "ZZZZZZZZZZ";
    FormField f = fieldAt({300, 500, 100, 16});
    std::vector<Rect> asked;
    FormReader::describe(
        f,
        [&](const Rect& r) {
            asked.push_back(r);
            return asked.size() == 1 ? long300 + "ñ" : asked.size() == 2 ? long100 : "derecha";
        },
        {});
    EXPECT_EQ(f.left, std::string(79, 'a') + "ñ");
    EXPECT_EQ(f.above, std::string(80, 'b'));
    EXPECT_EQ(f.right, "derecha");
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0], (Rect{100, 500, 198, 16}));
    EXPECT_EQ(asked[1], (Rect{280, 516, 140, 14}));
    EXPECT_EQ(asked[2], (Rect{402, 500, 120, 16}));
    EXPECT_EQ(asked[3], (Rect{220, 516, 260, 42}));
}

TEST(PageTextIn, CentresInsideInTextOrderWithBlanksBetweenGaps) {
    SyntheticPage page;
    page.write(72, 700, "Nombre y apellidos").write(72, 680, "Otra linea");
    FormPageText text = page.text();
    EXPECT_EQ(text.textIn({60, 695, 200, 20}), "Nombre y apellidos");
    EXPECT_EQ(text.textIn({60, 675, 200, 40}), "Nombre y apellidos Otra linea");
    // Whole words only: the strips cut "Nombre", "apellidos", "Otra" and "linea", which are left
    // out; "y" lies inside.
    EXPECT_EQ(text.textIn({82, 600, 15, 200}), "");
    EXPECT_EQ(text.textIn({105, 600, 13, 200}), "y");
    // Edges count: the centre of "y" is (109.5, 705).
    EXPECT_EQ(text.textIn({109.5, 705, 0, 0}), "y");
    EXPECT_EQ(text.textIn({0, 0, 10, 10}), "");
    ASSERT_EQ(text.lines().size(), 2u);
    EXPECT_EQ(text.lines()[0].bounds, (Rect{72, 700, 90, 10}));
}

// Two surname fields side by side, each under its caption: the caption of the second starts
// within the first's band above, and none of its letters is read there.
TEST(Describe, CaptionsAboveFieldsSideBySide) {
    SyntheticPage page;
    page.write(72, 708, "Primer apellido").write(258, 708, "Segundo apellido");
    const FormPageText text = page.text();
    const FormReader::TextSource source = [&](const Rect& r) { return text.textIn(r); };
    FormField first = fieldAt({72, 690, 180, 16});
    FormField second = fieldAt({258, 690, 180, 16});
    FormReader::describe(first, source, {});
    FormReader::describe(second, source, {});
    EXPECT_EQ(first.above, "Primer apellido");
    EXPECT_EQ(second.above, "Segundo apellido");
}

// Fields side by side in one row, each under its caption, 4 pt apart: the band above a field
// reaches over the start of its neighbour's caption, which holds more than half of its width
// inside; none of it is read. A field without a caption of its own takes none from its neighbour.
TEST(Describe, NoCaptionTakesTheFirstWordOfItsNeighbour) {
    SyntheticPage page;
    page.write(72, 708, "Nombre").write(186, 708, "Primer apellido");
    page.write(300, 708, "NIF/NIE:", 3).write(326, 708, "En calidad de:");
    page.write(314, 658, "Correo");  // over the second field of the lower row
    const FormPageText text = page.text();
    const FormReader::TextSource source = [&](const Rect& r) { return text.textIn(r); };
    FormField name = fieldAt({72, 690, 110, 16});      // band 52 to 202, "Primer" 186 to 216
    FormField capacity = fieldAt({326, 690, 80, 16});  // band 306 to 426, "NIF/NIE:" 300 to 324
    FormField bare = fieldAt({200, 640, 110, 16});     // band 180 to 330, "Correo" 314 to 344
    for (FormField* f : {&name, &capacity, &bare}) FormReader::describe(*f, source, {});
    EXPECT_EQ(name.above, "Nombre");
    EXPECT_EQ(capacity.above, "En calidad de:");
    EXPECT_EQ(bare.above, "");
}

// A small box under a caption word wider than the band above it: the word holds most of its
// width inside the band and is read whole, though its first letter's centre lies outside.
TEST(Describe, AWordWiderThanTheBandIsReadWholeWhenMostOfItIsInside) {
    SyntheticPage page;
    page.write(65, 708, "NIE", 20).write(150, 708, "Pasaporte");
    const FormPageText text = page.text();
    const FormReader::TextSource source = [&](const Rect& r) { return text.textIn(r); };
    FormField box = fieldAt({100, 690, 10, 16});  // band above: x 80 to 130, word 65 to 125
    FormReader::describe(box, source, {});
    EXPECT_EQ(box.above, "NIE");
    // Less than half inside: "Pasaporte" (150 to 195) in a band from 80 to 170.
    EXPECT_EQ(text.textIn({80, 706, 90, 14}), "NIE");
}

TEST(PageTextIn, TextOffTheCropBoxOrUnderAWidgetIsNotPrinted) {
    SyntheticPage page;
    page.write(-100, 700, "Fuera").write(72, 650, "Dentro").write(72, 600, "Widget");
    FormPageText text(page.pageText(), page.space(), {Rect{70, 598, 40, 14}});
    EXPECT_EQ(text.textIn({-200, 500, 800, 300}), "Dentro");
}

TEST(Headings, LineTest) {
    auto numbered = [](const char* s) {
        std::optional<FormTitle> t = FormReader::title(UnicodeText::utf16(s), 0);
        return t ? std::optional<bool>(t->numbered) : std::nullopt;
    };
    EXPECT_EQ(numbered("DATOS DEL SOLICITANTE"), false);
    for (const char* s : {"1. Datos del solicitante", "II.- Declaración", "B) Documentación",
                          "Anexo (2)", "12 - Pago de la tasa", "3.– Firma"})
        EXPECT_EQ(numbered(s), true) << s;
    EXPECT_FALSE(numbered("Nombre:"));
    EXPECT_EQ(numbered("Nombre y apellidos"), false);
    EXPECT_FALSE(numbered("NIF"));
    EXPECT_EQ(numbered("IRPF"), false);
    EXPECT_FALSE(numbered((std::string(91, 'A')).c_str()));
    EXPECT_EQ(numbered((std::string(90, 'A')).c_str()), false);
    // Four of five letters upper case is no heading by itself; more is.
    EXPECT_FALSE(numbered("ABCDe: texto de la linea que sigue y sigue"));
    EXPECT_FALSE(numbered("ABCDe: y"));
    EXPECT_FALSE(numbered("ÁÑCDEFGHe: y"));       // 8 of 10
    EXPECT_EQ(numbered("ÁÑCDEFGHIe: y"), false);  // 9 of 11
    EXPECT_FALSE(numbered("uno dos tres cuatro cinco seis"));
    EXPECT_EQ(numbered("uno dos tres cuatro cinco"), false);
}

TEST(Headings, FromThePageLines) {
    SyntheticPage page;
    page.write(72, 780, "DATOS DEL SOLICITANTE")
        .write(72, 760, "Nombre:")
        .write(72, 740, "1. Domicilio");
    std::vector<FormTitle> titles = FormReader::headings(page.text());
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_EQ(titles[0], (FormTitle{780, "DATOS DEL SOLICITANTE", false}));
    EXPECT_EQ(titles[1], (FormTitle{740, "1. Domicilio", true}));
}

TEST(Headings, SharedExpressions) {
    for (const char* s : {"SI", "sí", "Sí", "No", "n/a", "N. A.", "N.A.", "NA", "No aplica", "x"})
        EXPECT_TRUE(FormReader::tickHeader().search(std::string_view(s))) << s;
    for (const char* s : {"Sin", "Nota", "Si no"})
        EXPECT_FALSE(FormReader::tickHeader().search(std::string_view(s))) << s;
    for (const char* s : {"Firma del solicitante", "SELLO", "Signatura", "sinadura"})
        EXPECT_TRUE(FormReader::signatureCue().search(std::string_view(s))) << s;
    EXPECT_FALSE(FormReader::signatureCue().search(std::string_view("firmante")));
}

TEST(FillLines, RunsAndTheirLabels) {
    EXPECT_EQ(fillLabels("Nombre: ________"), (std::vector<std::string>{"Nombre"}));
    EXPECT_EQ(fillLabels("Nombre ____ Apellidos ____"),
              (std::vector<std::string>{"Nombre", "Apellidos"}));
    EXPECT_EQ(fillLabels("Fecha ....."), (std::vector<std::string>{"Fecha"}));
    EXPECT_TRUE(fillLabels("Fecha ....").empty());
    EXPECT_TRUE(fillLabels("Fecha __").empty());
    EXPECT_EQ(fillLabels("Fecha ___"), (std::vector<std::string>{"Fecha"}));
    EXPECT_EQ(fillLabels("Fecha ……"), (std::vector<std::string>{"Fecha"}));
    EXPECT_TRUE(fillLabels("Índice ........ 12").empty());
    EXPECT_EQ(fillLabels("Importe ........ 12345"), (std::vector<std::string>{"Importe"}));
    EXPECT_EQ(fillLabels("Importe ........ 12 a"), (std::vector<std::string>{"Importe"}));
    EXPECT_EQ(fillLabels("En Madrid, a ______"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(fillLabels("(Apellidos ____"), (std::vector<std::string>{"Apellidos"}));
    EXPECT_EQ(fillLabels("Firma del solicitante: ________ Fecha ____"),
              (std::vector<std::string>{"Fecha"}));
    EXPECT_EQ(fillLabels("Cargo – ____"), (std::vector<std::string>{"Cargo"}));
}

TEST(FillLines, LineAboveWidthAndLineEnds) {
    SyntheticPage page;
    page.write(72, 700, "Domicilio").write(72, 680, "a) ________");
    std::vector<FillLine> lines = FormReader::fillLines(page.text());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].label, "Domicilio a)");
    EXPECT_EQ(lines[0].rect, (Rect{87, 680, 40, 10}));

    SyntheticPage narrow;
    narrow.write(72, 700, "Nombre ___", 2.6);  // 7.8 points of underscores
    EXPECT_TRUE(FormReader::fillLines(narrow.text()).empty());

    // CR LF: an empty line in between leaves the line above as the caption.
    SyntheticPage crlf;
    crlf.write(72, 700, "Provincia").raw(u"\r").write(72, 680, "___________");
    EXPECT_EQ(labels(FormReader::fillLines(crlf.text())), (std::vector<std::string>{"Provincia"}));

    // A label is at most 40 characters, its end.
    EXPECT_EQ(fillLabels(std::string(50, 'x') + "Z ____"),
              (std::vector<std::string>{std::string(39, 'x') + "Z"}));
}
