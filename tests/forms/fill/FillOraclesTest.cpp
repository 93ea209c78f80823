// Filled documents checked by outside programs: qpdf, poppler's text and raster, the pdffill
// driver, and a signature over the filled copy checked by pdfsig.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "FillFixtures.h"
#include "FillOracles.h"
#include "FillTestSupport.h"
#include "forms/fill/FormFiller.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

using namespace fillfixtures;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

// A two-page form: text fields (plain, comb, multiline, rotated page), a choice, a check box.
FormSpec sampleForm() {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R 101 0 R 102 0 R 103 0 R 104 0 R]",
                  "/Annots [105 0 R] /Rotate 90"};
    spec.acroForm =
        "/Fields [100 0 R 101 0 R 102 0 R 103 0 R 104 0 R 105 0 R] "
        "/DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 3 0 R >> >>";
    spec.objects[100] = textWidget("nombre", {100, 700, 250, 22});
    spec.objects[101] = textWidget("dni", {100, 650, 120, 22}, 0, "/MaxLen 9 /Ff 16777216");
    spec.objects[102] = textWidget("observaciones", {100, 500, 300, 100}, 0, "/Ff 4096");
    spec.objects[103] =
        "<< /Type /Annot /Subtype /Widget /FT /Ch /Ff 131072 /T (provincia) "
        "/Opt [(Madrid) (Cádiz)] /Rect [100 450 250 470] /P 10 0 R >>";
    spec.objects[104] =
        "<< /Type /Annot /Subtype /Widget /FT /Btn /T (acepto) /Rect [100 400 116 416] "
        "/P 10 0 R /V /Off /AS /Off /AP << /N << /Off 110 0 R /Yes 111 0 R >> >> >>";
    spec.objects[105] = textWidget("girado", {100, 300, 24, 200}, 1);
    spec.objects[110] =
        "<< /Type /XObject /Subtype /Form /BBox [0 0 16 16] /Length 0 >>\nstream\n"
        "\nendstream";
    spec.objects[111] =
        "<< /Type /XObject /Subtype /Form /BBox [0 0 16 16] /Length 22 >>\nstream\n"
        "0 g 2 2 12 12 re f    \nendstream";
    return spec;
}

std::vector<FormFill> sampleFills() {
    return {{"nombre", 0, {100, 700, 250, 22}, "José Pérez Núñez"},
            {"dni", 0, {100, 650, 120, 22}, "12345678Z"},
            {"observaciones", 0, {100, 500, 300, 100}, "Solicito la renovación del permiso."},
            {"provincia", 0, {100, 450, 150, 20}, "Cádiz"},
            {"acepto", 0, {100, 400, 16, 16}, "Sí"},
            {"girado", 1, {100, 300, 24, 200}, "Girada"},
            {"tindra.texto", 0, {350, 100, 200, 20}, "Añadido a mano", true, 12.0}};
}

testutil::RunResult pdffill(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(testutil::toolsDir() / "pdffill").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv);
}

std::string compact(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), ::isspace), text.end());
    return text;
}

const testpki::NSSDatabase& database() {
    static TempDir folder;
    static testpki::NSSDatabase db = testpki::makeNSSDatabase(folder.path() / "nssdb");
    return db;
}

}  // namespace

TEST(FillOracles, FilledCopyPassesEveryOracleAndSigns) {
    TempDir dir;
    const std::string pdf = formPDF(sampleForm());
    writeFile(dir / "in.pdf", pdf);
    writeFile(dir / "fills.json", FormFill::toJSON(sampleFills()).dump());
    auto result = pdffill(
        {(dir / "in.pdf").string(), (dir / "fills.json").string(), (dir / "out.pdf").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string out = readFile(dir / "out.pdf");
    EXPECT_EQ(out.compare(0, pdf.size(), pdf), 0);
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);

    // qpdf reads every new value (its JSON marks texts with "u:").
    auto json = nlohmann::json::parse(filloracles::acroFormJSON(out));
    std::map<std::string, std::string> values;
    for (const auto& field : json["acroform"]["fields"])
        values[field["fullname"].get<std::string>()] = field["value"].dump();
    EXPECT_EQ(values["nombre"], "\"u:José Pérez Núñez\"");
    EXPECT_EQ(values["dni"], "\"u:12345678Z\"");
    EXPECT_EQ(values["provincia"], "\"u:Cádiz\"");
    EXPECT_EQ(values["acepto"], "\"/Yes\"");
    EXPECT_EQ(values["Tindra1"], "\"u:Añadido a mano\"");

    // The appearances show the values, accents included, and put ink inside each rectangle.
    const std::string text = compact(filloracles::text(out));
    for (const char* shown : {"JoséPérezNúñez", "12345678Z", "Solicitolarenovacióndelpermiso.",
                              "Cádiz", "Añadidoamano", "Girada"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    auto page1 = filloracles::raster(out, 1);
    for (const auto& fill : sampleFills())
        if (fill.pageIndex == 0) {
            EXPECT_GT(page1.inkIn(fill.rect, 842), 0) << fill.name;
        }
    EXPECT_EQ(page1.inkIn({100, 200, 300, 100}, 842), 0);
    // Page 2 is turned a quarter: its field (x 100-124, y 300-500) shows as a band 100-124 points
    // from the top between 300 and 500 points from the left, and its text reads upright there.
    auto page2 = filloracles::raster(out, 2);
    EXPECT_EQ(page2.width, 842);
    EXPECT_GT(page2.inkIn({300, 471, 200, 24}, 595), 0);
    EXPECT_NE(compact(filloracles::text(out)).find("Girada"), std::string::npos);

    // Signed afterwards: the signature covers the whole filled document and the values stay.
    auto signing = testutil::run({(testutil::toolsDir() / "pdfsign").string(), "--nssdb",
                                  database().dir.string(), "--cert", database().rsaSHA1,
                                  (dir / "out.pdf").string(), (dir / "signed.pdf").string()});
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    auto report = testutil::run({"pdfsig", "-nssdir", "sql:" + database().dir.string(), "-no-ocsp",
                                 (dir / "signed.pdf").string()});
    EXPECT_NE(report.out.find("Signature is Valid."), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("Total document signed"), std::string::npos) << report.out;
    const std::string signedText = compact(filloracles::text(readFile(dir / "signed.pdf")));
    EXPECT_NE(signedText.find("JoséPérezNúñez"), std::string::npos);
}

TEST(FillOracles, CheckBoxAndRadioRenderTicked) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R 102 0 R 103 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R]";
    spec.objects[100] =
        "<< /Type /Annot /Subtype /Widget /FT /Btn /T (acepto) /Rect [100 700 116 716] "
        "/P 10 0 R /V /Off /AS /Off /AP << /N << /Off 110 0 R /Yes 111 0 R >> >> >>";
    spec.objects[101] = "<< /FT /Btn /Ff 49152 /T (tipo) /Kids [102 0 R 103 0 R] >>";
    spec.objects[102] =
        "<< /Type /Annot /Subtype /Widget /Parent 101 0 R /Rect [100 600 116 616] "
        "/P 10 0 R /AS /Off /AP << /N << /Off 110 0 R /A 111 0 R >> >> >>";
    spec.objects[103] =
        "<< /Type /Annot /Subtype /Widget /Parent 101 0 R /Rect [200 600 216 616] "
        "/P 10 0 R /AS /Off /AP << /N << /Off 110 0 R /B 111 0 R >> >> >>";
    spec.objects[110] = sampleForm().objects[110];
    spec.objects[111] = sampleForm().objects[111];
    auto out = FormFiller::fill(formPDF(spec), {{"acepto", 0, {100, 700, 16, 16}, "X"},
                                                {"tipo", 0, {200, 600, 16, 16}, "X"}});
    auto gray = filloracles::raster(out);
    EXPECT_GT(gray.inkIn({100, 700, 16, 16}, 842), 20);
    EXPECT_EQ(gray.inkIn({100, 600, 16, 16}, 842), 0);
    EXPECT_GT(gray.inkIn({200, 600, 16, 16}, 842), 20);
    auto json = nlohmann::json::parse(filloracles::acroFormJSON(out));
    std::map<std::string, std::string> values;
    for (const auto& field : json["acroform"]["fields"])
        values[field["fullname"].get<std::string>()] = field["value"].dump();
    EXPECT_EQ(values["acepto"], "\"/Yes\"");
    EXPECT_EQ(values["tipo"], "\"/B\"");
}

TEST(FillOracles, PdffillNeverLeavesAPartialOutput) {
    TempDir dir;
    const std::string pdf = formPDF(sampleForm());
    writeFile(dir / "in.pdf", pdf);
    writeFile(dir / "empty.json", "[]");
    auto copied = pdffill(
        {(dir / "in.pdf").string(), (dir / "empty.json").string(), (dir / "copy.pdf").string()});
    ASSERT_EQ(copied.exitCode, 0) << copied.err;
    EXPECT_EQ(readFile(dir / "copy.pdf"), pdf);

    auto refused = [&](const std::string& input, const std::string& fills) {
        writeFile(dir / "bad.pdf", input);
        writeFile(dir / "bad.json", fills);
        writeFile(dir / "kept.pdf", "anterior");
        auto result = pdffill(
            {(dir / "bad.pdf").string(), (dir / "bad.json").string(), (dir / "kept.pdf").string()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(readFile(dir / "kept.pdf"), "anterior");
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path()))
            ++files;
        EXPECT_EQ(files, 6u);  // in, empty, copy, bad.pdf, bad.json, kept: no stray file
        // The first line: sanitizer builds may report after it.
        return result.err.substr(0, result.err.find('\n'));
    };
    EXPECT_EQ(refused(pdf, R"([{"name": "nadie", "pageIndex": 0, "rect": [[0, 0], [1, 1]],
                               "text": "x"}])"),
              "No se encuentra el campo «nadie» para rellenarlo.");
    EXPECT_NE(refused(pdf, R"([{"name": "nombre", "pageIndex": 0, "rect": [[0, 0], [1, 1]]}])")
                  .find("«text»"),
              std::string::npos);
    EXPECT_NE(refused(pdf, "no es JSON"), "");
    FormSpec damaged = sampleForm();
    damaged.acroForm = "/Fields 3 0 R";
    EXPECT_EQ(refused(formPDF(damaged), R"([{"name": "t", "pageIndex": 0,
                               "rect": [[0, 0], [100, 20]], "text": "x", "drawn": true}])"),
              "El formulario del PDF está dañado y no se puede rellenar.");
    FormSpec annots = sampleForm();
    annots.pages[0] = "/Annots 3 0 R";
    EXPECT_EQ(refused(formPDF(annots), R"([{"name": "t", "pageIndex": 0,
                               "rect": [[0, 0], [100, 20]], "text": "x", "drawn": true}])"),
              "Las anotaciones de la página del PDF están dañadas y no se puede rellenar.");
}
