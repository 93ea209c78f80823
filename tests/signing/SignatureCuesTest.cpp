#include <gtest/gtest.h>

#include "signing/PlacementTestSupport.h"
#include "signing/SignatureCues.h"
#include "support/TestUtil.h"

using namespace placementtest;
using SignatureCues::Pattern;
using SignatureCues::TextRange;

namespace {

std::u16string u(const std::string& utf8) {
    return UnicodeText::utf16(utf8);
}

std::string lineAt(const std::string& text, std::size_t q) {
    std::u16string s = u(text);
    TextRange r = SignatureCues::fullLine(s, q);
    return UnicodeText::utf8(std::u16string_view(s).substr(r.location, r.length));
}

std::vector<std::string> matched(Pattern pattern, const std::string& text) {
    std::u16string s = u(text);
    std::vector<std::string> out;
    for (TextRange r : SignatureCues::matches(pattern, s))
        out.push_back(UnicodeText::utf8(std::u16string_view(s).substr(r.location, r.length)));
    return out;
}

std::string quoted(const std::string& text, const std::string& keyword) {
    return UnicodeText::utf8(SignatureCues::quote(u(text), u(keyword)));
}

}  // namespace

TEST(SignatureCueText, FullLineIsTrimmedToItsLine) {
    EXPECT_EQ(lineAt("Primera\n  Fdo.: Juan \t\nTercera", 12), "Fdo.: Juan");
    EXPECT_EQ(lineAt("a\r\n\u00a0 Firma\u00a0\rb", 6), "Firma");
    EXPECT_EQ(lineAt("Sin saltos", 0), "Sin saltos");
    std::u16string blanks = u"x\n   \ny";
    TextRange r = SignatureCues::fullLine(blanks, 3);
    EXPECT_EQ(r.length, 0u);
    EXPECT_EQ(r.location, 5u);  // the line's end
}

TEST(SignatureCueText, NameCuesAndStandingAlone) {
    for (const char16_t* k : {u"fdo.", u"fdo", u"asdo", u"asdo.", u"firmado", u"signed", u"signat"})
        EXPECT_TRUE(SignatureCues::isNameCue(k)) << UnicodeText::utf8(k);
    for (const char16_t* k : {u"firma", u"signature", u"signatura", u"sinatura", u"sinadura"})
        EXPECT_FALSE(SignatureCues::isNameCue(k)) << UnicodeText::utf8(k);

    std::u16string s = u"Firma  Firma Firma\n \tFirma\u00a0\u00a0Firma";
    EXPECT_TRUE(SignatureCues::standsAlone(s, 0));    // start of the text
    EXPECT_TRUE(SignatureCues::standsAlone(s, 7));    // two blanks before
    EXPECT_FALSE(SignatureCues::standsAlone(s, 13));  // one blank before
    EXPECT_TRUE(SignatureCues::standsAlone(s, 21));   // after a line break and blanks
    EXPECT_TRUE(SignatureCues::standsAlone(s, 28));   // two no-break spaces
}

TEST(SignatureCueText, PatternsAreCaseInsensitiveWholeWords) {
    EXPECT_EQ(matched(Pattern::cue, "FIRMA: Fdo.: asdo Firmado por x, firmas, firmante, Signature"),
              (std::vector<std::string>{"FIRMA", "Fdo.", "asdo", "Firmado", "Signature"}));
    EXPECT_EQ(matched(Pattern::cue, "fdo.x Fdox signatura"),
              (std::vector<std::string>{"fdo.", "signatura"}));
    EXPECT_EQ(
        matched(Pattern::role, "EL SOLICITANTE, la interesada, Sol·licitant, licitadora"),
        (std::vector<std::string>{"SOLICITANTE", "interesada", "Sol·licitant", "licitadora"}));
    EXPECT_EQ(matched(Pattern::otherParty, "Banco de X; Administración; ÓRGANO gestor"),
              (std::vector<std::string>{"Banco", "Administraci", "ÓRGANO"}));
}

TEST(SignatureCueText, QuotesKeepThirtyNineCharacters) {
    EXPECT_EQ(quoted("Fdo.: El interesado", "fdo."), "Fdo.: El interesado");
    std::string forty(40, 'a');
    EXPECT_EQ(quoted(forty, "fdo"), forty);
    EXPECT_EQ(quoted("Fdo.: Don Juan Antonio Pérez de la Fuente y Martínez", "fdo."),
              "Fdo.: Don Juan Antonio Pérez de la Fuen…");
    EXPECT_EQ(quoted("Nombre y apellidos del representante firma", "firma"),
              "…bre y apellidos del representante firma");
    // Characters, not code units: a combining accent stays with its letter.
    std::string combining =
        "Firma de Jose\u0301 Pe\u0301rez Gonza\u0301lez y Rodri\u0301guez Garci\u0301a";
    std::string q = quoted(combining, "firma");
    EXPECT_EQ(UnicodeText::characterCount(u(q)), 40u);
    EXPECT_EQ(q.substr(q.size() - 3), "…");
}

TEST(SignatureCuePage, NameCueLooksAboveThenRight) {
    SyntheticPage page;
    Rect anchor = page.write(100, 300, "Fdo.: El interesado");
    std::vector<SignaturePlacement> list = page.cues(1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Sobre «Fdo.: El interesado» · pág. 2");
    EXPECT_EQ(list[0].rect, (Rect{100, anchor.maxY() + 7, 250, 80}));
    EXPECT_EQ(list[0].context, "Fdo.: El interesado");
    EXPECT_EQ(list[0].pageIndex, 1);
    ASSERT_TRUE(list[0].target.asArea());
    EXPECT_EQ(list[0].target.asArea()->page, 2);
    EXPECT_TRUE(list[0].detected);
    EXPECT_FALSE(list[0].isSignatureBox);
    EXPECT_EQ(list[0].rank, 1);

    // A line of text just above leaves no room there: the box goes to the right.
    page.write(100, 320, "Texto anterior");
    list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "A la derecha de «Fdo.: El interesado» · pág. 1");
    EXPECT_GT(list[0].rect.minX(), anchor.maxX());
    EXPECT_LT(list[0].rect.minY(), anchor.maxY());
    EXPECT_GT(list[0].rect.maxY(), anchor.minY());
}

TEST(SignatureCuePage, ColonCueLooksRightThenBelow) {
    SyntheticPage page;
    Rect anchor = page.write(100, 300, "Firma del interesado:");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "A la derecha de «Firma del interesado:» · pág. 1");
    EXPECT_GE(list[0].rect.minX(), anchor.maxX() + 4);

    // A rule close on the right: below instead.
    SyntheticPage blocked;
    anchor = blocked.write(100, 300, "Firma del interesado:");
    blocked.rule({anchor.maxX() + 20, 250, 2, 100});
    list = blocked.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Debajo de «Firma del interesado:» · pág. 1");
    EXPECT_LT(list[0].rect.maxY(), anchor.minY());
}

TEST(SignatureCuePage, RoleLinesLookBelowThenAbove) {
    SyntheticPage page;
    Rect anchor = page.write(200, 500, "EL SOLICITANTE");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Debajo de «EL SOLICITANTE» · pág. 1");
    EXPECT_LE(list[0].rect.maxY(), anchor.minY() - 2);
    EXPECT_EQ(list[0].context, "EL SOLICITANTE");

    page.rule({24, 470, 547, 1});  // a rule close under it
    list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "Sobre «EL SOLICITANTE» · pág. 1");

    SyntheticPage colon, tooLong;
    colon.write(200, 500, "EL SOLICITANTE:");
    tooLong.write(100, 500, "EL SOLICITANTE O SU REPRESENTANTE LEGAL X");  // 41 characters
    EXPECT_TRUE(colon.cues().empty());
    EXPECT_TRUE(tooLong.cues().empty());
}

TEST(SignatureCuePage, LinesThatAreNoCues) {
    for (const char* text : {"Documento con firma electrónica", "FIRMADO DIGITALMENTE por Ana",
                             "Conforme firma del solicitante en el procedimiento de concesión"}) {
        SyntheticPage page;
        page.write(100, 400, text);
        EXPECT_TRUE(page.cues().empty()) << text;
    }
    // The same long line gives a cue when "Firma:" follows two blanks.
    SyntheticPage page;
    page.write(30, 400, "Conforme con lo expuesto en la solicitud anterior  Firma: Ana");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].context, "Firma: Ana");

    SyntheticPage scanned;
    EXPECT_TRUE(scanned.cues().empty());
}

TEST(SignatureCuePage, TwoCuesOnOneLineGiveTwoAnchors) {
    SyntheticPage page;
    page.write(40, 300, "Fdo: Juan Pérez            Fdo: Ana López");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].context, "Fdo: Juan Pérez");
    EXPECT_EQ(list[1].context, "Fdo: Ana López");
    EXPECT_LT(list[0].rect.maxX(), list[1].rect.minX());
}

TEST(SignatureCuePage, CueBesideASignatureWidgetGivesNothing) {
    SyntheticPage page;
    page.write(100, 300, "Firma");
    page.signatureWidgets = {{100, 320, 200, 50}};  // 10 pt above the cue
    EXPECT_TRUE(page.cues().empty());
    page.signatureWidgets = {{160, 290, 200, 50}};  // 30 pt to the right
    EXPECT_FALSE(page.cues().empty());
    page.signatureWidgets = {{145, 290, 200, 50}};  // 15 pt to the right
    EXPECT_TRUE(page.cues().empty());
}

TEST(SignatureCuePage, OverlappingBoxesMerge) {
    SyntheticPage page;
    page.write(100, 300, "Firma:");
    page.write(160, 340, "EL INTERESADO");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "A la derecha de «Firma:» · pág. 1");
    EXPECT_EQ(list[0].context, "Firma:\nEL INTERESADO");
}

TEST(SignatureCuePage, OtherPartiesRankSecond) {
    SyntheticPage page;
    page.write(60, 700, "Fdo.: Por la entidad bancaria");
    page.write(60, 500, "Conforme, el Banco de Ejemplo. Firma");
    page.write(60, 300, "Fdo.: El titular");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].rank, 2);
    EXPECT_EQ(list[1].rank, 2);
    EXPECT_EQ(list[1].context, "Conforme, el Banco de Ejemplo. Firma");
    EXPECT_EQ(list[2].rank, 1);
}

TEST(SignatureCuePage, LongTextsAreQuotedInLabels) {
    SyntheticPage page;
    page.write(30, 300, "Fdo.: Don Juan Antonio Pérez de la Fuente y Martínez");
    page.write(30, 600, "Nombre y apellidos del representante firma");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].label, "Sobre «Fdo.: Don Juan Antonio Pérez de la Fuen…» · pág. 1");
    EXPECT_EQ(list[1].label, "Sobre «…bre y apellidos del representante firma» · pág. 1");
}

TEST(SignatureCuePage, RuledCellOnTheRightWins) {
    SyntheticPage page;
    page.frame({50, 500, 100, 60});
    page.frame({149, 500, 200, 60});
    Rect label = page.write(55, 525, "Firma");
    std::vector<SignaturePlacement> list = page.cues();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].label, "A la derecha de «Firma» · pág. 1");
    EXPECT_TRUE(inside(list[0].rect, {150, 501, 198, 58}));
    EXPECT_GT(list[0].rect.minX(), label.maxX());
}

TEST(SignatureCuePage, NoRoomNoPlace) {
    SyntheticPage page;
    // Text lines every 14 pt over the whole page: nowhere 30 pt high.
    for (double y = 30; y < 800; y += 14) page.write(30, y, std::string(88, 'x'));
    page.write(30, 407, "Firma");
    EXPECT_TRUE(page.cues().empty());
}

TEST(SignatureCuePage, HostileTextStaysCheap) {
    // One endless line of cue and role words with a long run of blanks.
    SyntheticPage page;
    std::string line;
    for (int i = 0; i < 20'000; ++i) line += i % 2 ? "firma solicitante " : "Fdo. x ";
    page.write(30, 400, line + std::string(100'000, ' ') + "Firma");
    const double start = testutil::processorSeconds();
    page.cues();
    EXPECT_LT(testutil::processorSeconds() - start, 5.0) << "seconds of processor time";

    // Words that the renderer puts far beyond the page's edges.
    SyntheticPage far;
    far.write(30, 400, "Texto");
    far.write(30, 1e17, "Fdo.: El interesado");
    far.write(30, -1e17, "Firma del solicitante:");
    far.write(-1e17, 300, "Firma");
    far.write(1e17, 300, "EL INTERESADO");
    EXPECT_TRUE(far.cues().empty());
}
