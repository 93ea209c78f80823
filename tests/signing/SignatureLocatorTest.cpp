#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "pages/NoPages.h"
#include "pdf/PDFFile.h"
#include "signing/PlacementTestSupport.h"
#include "signing/SignatureLocator.h"
#include "support/CairoPages.h"
#include "support/TestUtil.h"

using namespace placementtest;

namespace {

std::vector<SignaturePlacement> placementsOf(const std::string& pdf) {
    PDFFile file(pdf);
    return SignatureLocator::placements(file);
}

std::vector<std::string> labels(const std::vector<SignaturePlacement>& list) {
    std::vector<std::string> out;
    for (const SignaturePlacement& p : list) out.push_back(p.label);
    return out;
}

// Two pages with signature fields and widgets of every kind on their /Annots.
std::string fieldsPDF() {
    std::vector<std::pair<int, std::string>> objects{
        {100, "<</Fields [101 0 R 103 0 R 105 0 R 107 0 R 112 0 R]>>"},
        {101,
         "<</Type /Annot /Subtype /Widget /FT /Sig /T (Firma1) /Rect [500 160 300 100] /P 12 0 "
         "R>>"},
        {102, "<</Type /Annot /Subtype /Widget /Parent 103 0 R /T (a) /Rect [100 100 300 150]>>"},
        {103, "<</FT /Sig /T (sig) /Kids [102 0 R]>>"},
        {104, "<</Subtype /Widget /FT /Sig /T (Suelta) /Rect [50 600 250 650]>>"},
        {105, "<</Subtype /Widget /FT /Sig /T (Firmada) /V 106 0 R /Rect [300 600 500 650]>>"},
        {106, "<</Type /Sig /Filter /Adobe.PPKLite>>"},
        {107, "<</Subtype /Widget /FT /Sig /T (Vacia) /V null /Rect [50 700 250 750]>>"},
        {108, "<</Subtype /Widget /FT /Sig /T (Fina) /Rect [50 50 51 90]>>"},
        {109, "<</Subtype /Widget /FT /Sig /T (Baja) /Rect [60 50 160 50.5]>>"},
        // A /Parent cycle, and a chain deeper than the walk goes.
        {110, "<</Subtype /Widget /Parent 111 0 R /Rect [300 300 500 350]>>"},
        {111, "<</Parent 110 0 R /FT /Sig /T (Ciclo)>>"},
        {112, "<</Subtype /Widget /FT /Tx /T (Nombre) /Rect [300 400 500 420]>>"},
        {113, "<</Subtype /Link /Rect [300 450 500 470]>>"},
    };
    std::string annots =
        "/Annots [102 0 R 104 0 R 105 0 R 107 0 R 108 0 R 109 0 R 110 0 R 112 0 R 113 0 R 120 0 R]";
    for (int i = 0; i < 70; ++i)
        objects.push_back({120 + i, "<</Subtype /Widget /Parent " + std::to_string(121 + i) +
                                        " 0 R /Rect [300 500 500 550]>>"});
    objects.push_back({190, "<</FT /Sig /T (Profundo)>>"});
    return handPDF({{"/MediaBox [0 0 595 842] " + annots, ""},
                    {"/MediaBox [0 0 595 842] /Annots [101 0 R]", ""}},
                   "/AcroForm 100 0 R", objects);
}

SignaturePlacement place(int pageIndex, Rect rect, std::string context, bool detected = true,
                         bool box = false, int rank = 1) {
    return SignaturePlacement{SignaturePlacement::Target::area(pageIndex + 1, rect),
                              pageIndex,
                              rect,
                              "p" + std::to_string(pageIndex) + ":" + context,
                              context,
                              detected,
                              box,
                              rank};
}

std::optional<std::string> bestLabel(const std::vector<SignaturePlacement>& list,
                                     const Certificate* certificate = nullptr) {
    std::optional<SignaturePlacement> chosen = SignatureLocator::best(list, certificate);
    if (!chosen) return std::nullopt;
    return chosen->label;
}

Certificate certificate(std::string name, std::optional<std::string> organization = std::nullopt) {
    Certificate c;
    c.name = std::move(name);
    c.organization = std::move(organization);
    return c;
}

}  // namespace

TEST(SignatureLocatorFields, EverySignatureBoxWithItsLabel) {
    std::vector<SignaturePlacement> list = placementsOf(fieldsPDF());
    ASSERT_EQ(labels(list), (std::vector<std::string>{
                                "Campo de firma «sig.a» · pág. 1",
                                "Recuadro de firma «Suelta» · pág. 1",
                                "Campo de firma «Vacia» · pág. 1",
                                "Recuadro de firma «Ciclo» · pág. 1",
                                "Campo de firma «Firma1» · pág. 2",
                                "Esquina inferior izquierda de la última página",
                            }));
    const SignaturePlacement& kid = list[0];
    ASSERT_TRUE(kid.target.asField());
    EXPECT_EQ(kid.target.asField()->name, "sig.a");
    EXPECT_EQ(kid.context, "sig.a");
    EXPECT_TRUE(kid.isSignatureBox);
    EXPECT_TRUE(kid.detected);
    EXPECT_EQ(kid.rank, 1);

    const SignaturePlacement& loose = list[1];
    ASSERT_TRUE(loose.target.asArea());
    EXPECT_EQ(loose.target.asArea()->page, 1);
    EXPECT_EQ(loose.target.asArea()->rect, (Rect{50, 600, 200, 50}));
    EXPECT_TRUE(loose.isSignatureBox);

    const SignaturePlacement& second = list[4];
    ASSERT_TRUE(second.target.asField());
    EXPECT_EQ(second.target.asField()->name, "Firma1");
    EXPECT_EQ(second.pageIndex, 1);
    EXPECT_EQ(second.rect, (Rect{300, 100, 200, 60}));

    const SignaturePlacement& last = list.back();
    EXPECT_FALSE(last.detected);
    EXPECT_EQ(last.pageIndex, 1);
    EXPECT_EQ(last.rect, (Rect{45, 45, 250, 72}));
    EXPECT_EQ(last.context, "");

    EXPECT_EQ(bestLabel(list), "Campo de firma «Firma1» · pág. 2");
}

TEST(SignatureLocatorFields, DocumentWithoutPagesHasNoPlace) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R>>");
    w.object(2, "<</Type /Pages /Kids [] /Count 0>>");
    std::vector<SignaturePlacement> list = placementsOf(w.finishClassic("/Root 1 0 R"));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(SignatureLocator::best(list, nullptr));
}

TEST(SignatureLocatorLastPage, TwentyFourPointsUnderTheContent) {
    cairopages::Document doc;
    auto& page = doc.page(595, 842);
    std::vector<Rect> lines = page.lines(90, 780,
                                         {"Solicitud de ayuda", "Expone que reúne los requisitos",
                                          "y solicita la concesión de la ayuda."});
    double lowest = 1e9, left = 1e9;
    for (const Rect& r : lines) {
        lowest = std::min(lowest, r.minY());
        left = std::min(left, r.minX());
    }
    std::vector<SignaturePlacement> list = placementsOf(doc.pdf());
    ASSERT_EQ(list.size(), 1u);
    const SignaturePlacement& last = list[0];
    EXPECT_EQ(last.label, "Al final del contenido · pág. 1");
    EXPECT_EQ(last.rect.width, 250);
    EXPECT_EQ(last.rect.height, 80);
    EXPECT_NEAR(last.rect.maxY(), lowest - 24, 1.5);
    EXPECT_NEAR(last.rect.minX(), left, 1.5);
    ASSERT_TRUE(last.target.asArea());
    EXPECT_EQ(last.target.asArea()->page, 1);
    EXPECT_FALSE(last.detected);
    EXPECT_EQ(bestLabel(list), "Al final del contenido · pág. 1");

    // Turned a quarter, the text runs down the right edge as shown and leaves no room under it:
    // the place is the shown corner, clear of the text in page space.
    std::vector<SignaturePlacement> turned =
        placementsOf(fixtures::qpdf(doc.pdf(), {"--rotate=+90"}));
    ASSERT_EQ(turned.size(), 1u);
    EXPECT_EQ(DisplaySpace({0, 0, 595, 842}, 90).display(turned[0].rect), (Rect{45, 45, 250, 72}));
    for (const Rect& r : lines) EXPECT_FALSE(overlaps(turned[0].rect, r));
}

TEST(SignatureLocatorLastPage, CornerWithoutRoomOrInk) {
    const double floor = 84.2;  // the bottom tenth of an A4 page
    cairopages::Document low;
    // Its lowest ink 100 pt above the bottom tenth: no room for the gap and the box.
    Rect r = low.page().text(90, 200, "Texto");
    double shift = floor + 100 - r.minY();
    cairopages::Document lowDoc;
    lowDoc.page().text(90, 200 + shift, "Texto");
    std::vector<SignaturePlacement> list = placementsOf(lowDoc.pdf());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Esquina inferior izquierda de la última página");
    EXPECT_EQ(list[0].rect, (Rect{45, 45, 250, 72}));

    // 106 pt above it there is room.
    cairopages::Document roomy;
    roomy.page().text(90, 200 + shift + 6, "Texto");
    EXPECT_EQ(placementsOf(roomy.pdf())[0].label, "Al final del contenido · pág. 1");

    cairopages::Document blank;
    blank.page(595, 842);
    list = placementsOf(blank.pdf());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Esquina inferior izquierda de la última página");

    // On a turned page the corner is the display corner, given in page space.
    list = placementsOf(fixtures::qpdf(blank.pdf(), {"--rotate=+90"}));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(DisplaySpace({0, 0, 595, 842}, 90).display(list[0].rect), (Rect{45, 45, 250, 72}));
}

TEST(SignatureLocatorCues, FoundOnEveryRotationOfThePage) {
    cairopages::Document doc;
    auto& page = doc.page(595, 842);
    page.lines(72, 780, {"Solicitud", "Expone y solicita lo que sigue."});
    Rect word = page.text(150, 300, "Fdo.: El interesado");
    struct Case {
        int rotation;
        std::function<bool(const Rect&)> above;  // "above" as shown, in page space
    };
    for (const Case& c : {Case{0, [&](const Rect& r) { return r.minY() > word.maxY(); }},
                          Case{90, [&](const Rect& r) { return r.maxX() < word.minX(); }},
                          Case{180, [&](const Rect& r) { return r.maxY() < word.minY(); }},
                          Case{270, [&](const Rect& r) { return r.minX() > word.maxX(); }}}) {
        SCOPED_TRACE(c.rotation);
        std::string pdf = doc.pdf();
        if (c.rotation) pdf = fixtures::qpdf(pdf, {"--rotate=+" + std::to_string(c.rotation)});
        std::vector<SignaturePlacement> list = placementsOf(pdf);
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].label, "Sobre «Fdo.: El interesado» · pág. 1");
        EXPECT_TRUE(c.above(list[0].rect));
        EXPECT_FALSE(overlaps(list[0].rect, word));
        EXPECT_EQ(bestLabel(list), list[0].label);
    }
}

TEST(SignatureLocatorCues, RuledCellOfADrawnTable) {
    cairopages::Document doc;
    auto& page = doc.page(595, 842);
    page.lines(72, 780, {"Solicitud", "Expone y solicita lo que sigue."});
    page.frame({60, 400, 150, 60});
    page.frame({210, 400, 250, 60});
    page.frame({60, 340, 400, 60});
    page.text(70, 425, "Firma");
    std::vector<SignaturePlacement> list = placementsOf(doc.pdf());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, "A la derecha de «Firma» · pág. 1");
    EXPECT_TRUE(inside(list[0].rect, {210, 400, 250, 60}))
        << list[0].rect.x << " " << list[0].rect.y;
}

TEST(SignatureLocatorCues, NoCueBesideAnExistingSignatureWidget) {
    const std::string text = "BT /F1 11 Tf 100 300 Td (Firma del solicitante) Tj ET";
    std::vector<SignaturePlacement> plain =
        placementsOf(handPDF({{"/MediaBox [0 0 595 842]", text}}));
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0].label, "Sobre «Firma del solicitante» · pág. 1");

    // A signature widget 15 pt above the words (not listed by a form).
    std::vector<SignaturePlacement> list = placementsOf(handPDF(
        {{"/MediaBox [0 0 595 842] /Annots [100 0 R]", text}}, "",
        {{100, "<</Type /Annot /Subtype /Widget /FT /Sig /T (S) /Rect [100 325 300 375]>>"}}));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, "Recuadro de firma «S» · pág. 1");
    EXPECT_FALSE(list[1].detected);
}

TEST(SignatureLocatorBest, PrefersTheLastLowestSignatureBox) {
    std::vector<SignaturePlacement> list{
        place(1, {50, 100, 200, 50}, "A", true, true),
        place(1, {50, 40, 200, 50}, "B", true, true),
        place(1, {300, 40, 200, 50}, "C", true, true),
        place(0, {50, 10, 200, 50}, "D", true, true),
        place(1, {50, 20, 200, 50}, "Fdo.: Juan Pérez"),
    };
    EXPECT_EQ(bestLabel(list), "p1:B");
    list.push_back(place(2, {50, 700, 200, 50}, "E", true, true));  // page 3 beats lower boxes
    EXPECT_EQ(bestLabel(list), "p2:E");
}

TEST(SignatureLocatorBest, NamesThenRankThenLastPage) {
    std::vector<SignaturePlacement> list{
        place(0, {}, "Fdo.: Banco de Ejemplo", true, false, 2),
        place(0, {}, "Fdo.: El interesado"),
        place(1, {}, "Fdo.: MARÍA LÓPEZ"),
        place(1, {}, "Fdo.: Otro"),
        place(2, {}, "Por la entidad colaboradora", true, false, 2),
        place(2, {}, "", false),
    };
    Certificate maria = certificate("María Isabel López Gómez (R: B12345678)");
    EXPECT_EQ(bestLabel(list, &maria), "p1:Fdo.: MARÍA LÓPEZ");
    Certificate bank = certificate("Ana Ruiz", "BANCO DE EJEMPLO SA");
    EXPECT_EQ(bestLabel(list, &bank), "p0:Fdo.: Banco de Ejemplo");
    // No name matches: the first rank-1 place on the last page that holds one.
    Certificate nobody = certificate("Pedro Sanz");
    EXPECT_EQ(bestLabel(list, &nobody), "p1:Fdo.: MARÍA LÓPEZ");
    EXPECT_EQ(bestLabel(list), "p1:Fdo.: MARÍA LÓPEZ");

    // Only undetected places: the last one; nothing at all: nothing.
    EXPECT_EQ(bestLabel({place(0, {}, "x", false), place(1, {}, "y", false)}), "p1:y");
    EXPECT_FALSE(bestLabel({}));
}

TEST(SignatureLocatorBest, MentionsIgnoresCaseAccentsShortWordsAndParentheses) {
    using SignatureLocator::mentions;
    EXPECT_TRUE(mentions("Fdo.: JOSE PEREZ", "José Pérez Martín"));
    EXPECT_FALSE(mentions("Fdo.: José", "José Pérez Martín"));
    EXPECT_TRUE(mentions("firma de Iberdrola", "IBERDROLA"));
    EXPECT_FALSE(mentions("firma de Iberdrolas", "IBERDROLA"));
    EXPECT_FALSE(mentions("Fdo.: Li Wu", "Li Wu"));  // no word of three letters
    EXPECT_FALSE(mentions("DNI de la Paz", "Ana (DNI 123) de la Paz"));
    EXPECT_TRUE(mentions("La Paz y Ana", "Ana (DNI 123) de la Paz"));
    EXPECT_FALSE(mentions("cualquier cosa", ""));
    EXPECT_FALSE(mentions("(Juan Pérez)", "Juan Pérez"));
}

TEST(SignatureLocatorTool, PrintsPlacementsAndTheBestChoice) {
    cairopages::Document doc;
    auto& page = doc.page(595, 842);
    page.text(72, 600, "Fdo.: Ana García López");
    page.text(72, 300, "Fdo.: Luis Martín");
    testutil::TempDir dir;
    testutil::writeFile(dir / "doc.pdf", doc.pdf());
    std::string tool = (testutil::toolsDir() / "pdfplace").string();

    auto lines = [](const std::string& out) {
        std::vector<nlohmann::json> parsed;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            parsed.push_back(nlohmann::json::parse(line));
        return parsed;
    };
    testutil::RunResult plain = testutil::run({tool, (dir / "doc.pdf").string()});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    std::vector<nlohmann::json> out = lines(plain.out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0]["label"], "Sobre «Fdo.: Ana García López» · pág. 1");
    EXPECT_EQ(out[0]["pageIndex"], 0);
    EXPECT_EQ(out[0]["kind"], "area");
    EXPECT_EQ(out[0]["isSignatureBox"], false);
    EXPECT_EQ(out[0]["rank"], 1);
    EXPECT_EQ(out[0]["rect"].size(), 4u);
    EXPECT_EQ(out[3]["best"], 0);

    testutil::RunResult named =
        testutil::run({tool, (dir / "doc.pdf").string(), "--name", "LUIS MARTIN SOTO"});
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(lines(named.out).back()["best"], 1);

    testutil::writeFile(dir / "fields.pdf", fieldsPDF());
    testutil::RunResult fields = testutil::run({tool, (dir / "fields.pdf").string()});
    ASSERT_EQ(fields.exitCode, 0) << fields.err;
    out = lines(fields.out);
    EXPECT_EQ(out[0]["kind"], "field");
    EXPECT_EQ(out[0]["isSignatureBox"], true);
    EXPECT_EQ(out.back()["best"], 4);

    EXPECT_NE(testutil::run({tool, (dir / "missing.pdf").string()}).exitCode, 0);
}

namespace {

// Pages that have text without cues and are never drawn (for hostile files that would keep the
// renderer itself busy).
struct TextOnly final : PageSource {
    int pages;
    explicit TextOnly(int count) : pages(count) {}
    int pageCount() const override { return pages; }
    std::optional<PageText> text(int) const override { return PageText{u"x", {{10, 10, 6, 10}}}; }
    std::optional<GreyImage> render(int, double, std::int64_t) const override {
        return std::nullopt;
    }
};

}  // namespace

TEST(SignatureLocatorFields, SharedAnnotsAndLongInheritedNamesStayCheap) {
    // 2000 pages share one /Annots array of 2000 widgets; every widget inherits a 100 kB name
    // through 60 levels of /Parent, each naming the same string.
    fixtures::FixtureWriter w;
    std::string kids;
    for (int i = 0; i < 2000; ++i) kids += std::to_string(10 + i) + " 0 R ";
    w.object(1, "<</Type /Catalog /Pages 2 0 R>>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count 2000>>");
    w.object(3, "(" + std::string(100'000, 'n') + ")");
    std::string annots;
    for (int i = 0; i < 2000; ++i) {
        w.object(10 + i, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 4 0 R>>");
        annots += "<</Subtype /Widget /Parent 5000 0 R /T (w" + std::to_string(i) +
                  ") /Rect [0 0 100 50]>> ";
    }
    w.object(4, "[" + annots + "]");
    for (int level = 0; level < 60; ++level)
        w.object(5000 + level, "<</T 3 0 R /Parent " + std::to_string(5001 + level) + " 0 R>>");
    w.object(5060, "<</FT /Sig /T (raiz)>>");
    std::string pdf = w.finishClassic("/Root 1 0 R");

    const double start = testutil::processorSeconds();
    PDFFile file(pdf);
    std::vector<SignaturePlacement> list = SignatureLocator::placements(file, TextOnly(2000));
    // Seconds of processor time; hours when every page searched the array.
    EXPECT_LT(testutil::processorSeconds() - start, 30.0);
    ASSERT_FALSE(list.empty());
    EXPECT_LT(list.size(), 2000u);  // the name budget ends the field search
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        EXPECT_EQ(list[i].pageIndex, 0);
        EXPECT_EQ(list[i].label.rfind("Recuadro de firma «raiz.nnn", 0), 0u);
    }
    EXPECT_EQ(list.back().pageIndex, 1999);
}

TEST(SignatureLocatorFields, FormWhoseFieldsShareOneLongKidsArray) {
    // 20000 fields, each with the form's whole field list as its /Kids; the signature widget on the
    // page is the last of them.
    std::string fields;
    for (int i = 0; i < 20'000; ++i) fields += std::to_string(1000 + i) + " 0 R ";
    std::vector<std::pair<int, std::string>> objects{{100, "<</Fields 101 0 R>>"},
                                                     {101, "[" + fields + "]"}};
    for (int i = 0; i < 19'999; ++i) objects.push_back({1000 + i, "<</Kids 101 0 R /T (k)>>"});
    objects.push_back(
        {20'999, "<</Subtype /Widget /FT /Sig /T (Ultima) /Rect [100 100 300 150] /Kids 101 0 R>>"});
    std::string pdf = handPDF({{"/MediaBox [0 0 595 842] /Annots [20999 0 R]", ""}},
                              "/AcroForm 100 0 R", objects);
    const double start = testutil::processorSeconds();
    PDFFile file(pdf);
    std::vector<SignaturePlacement> list = SignatureLocator::placements(file, TextOnly(1));
    EXPECT_LT(testutil::processorSeconds() - start, 5.0) << "seconds of processor time";
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, "Campo de firma «Ultima» · pág. 1");
}

// A search asked to stop reads no further page (a caller gives up on a long document).
TEST(SignatureLocatorCues, StopEndsTheSearchBetweenPages) {
    struct Counting final : PageSource {
        std::stop_source* source = nullptr;
        mutable int read = 0;
        int pageCount() const override { return 50; }
        std::optional<PageText> text(int) const override {
            if (++read == 3) source->request_stop();
            return PageText{u"x", {{10, 10, 6, 10}}};
        }
        std::optional<GreyImage> render(int, double, std::int64_t) const override {
            return std::nullopt;
        }
    };
    std::vector<fixtures::PageSpec> specs(50);
    PDFFile file(fixtures::pagesPDF(specs));
    std::stop_source stop;
    Counting pages;
    pages.source = &stop;
    SignatureLocator::placements(file, pages, stop.get_token());
    EXPECT_EQ(pages.read, 3);
    Counting all;
    std::stop_source unused;
    all.source = &unused;
    EXPECT_FALSE(SignatureLocator::placements(file, all).empty());
    EXPECT_EQ(all.read, 50);  // every page once: the last page's text serves its place too
}

// A window closed as its search starts: the search leaves a long document's page tree unread
// rather than walking all of it first.
TEST(SignatureLocatorCues, AStopEndsTheWalkOfTheTree) {
    std::vector<fixtures::PageSpec> specs(3000);
    PDFFile file(fixtures::pagesPDF(specs));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(SignatureLocator::placements(file, NoPages(), stop.get_token(),
                                             SignatureLocator::Deadline(),
                                             SignatureLocator::Extent::untilSettled)
                    .empty());
    EXPECT_LT(file.objectsRead(), 10u);
    EXPECT_EQ(file.pageRefs().size(), 3000u);
}
