#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>

#include "signing/CardLayout.h"
#include "signing/PangoText.h"
#include "signing/SignatureStamp.h"
#include "CardTestSupport.h"

using cardtest::FixedMeasurer;

namespace {

constexpr double eps = 1e-9;

void expectRect(const Rect& actual, const Rect& expected) {
    EXPECT_NEAR(actual.x, expected.x, eps);
    EXPECT_NEAR(actual.y, expected.y, eps);
    EXPECT_NEAR(actual.width, expected.width, eps);
    EXPECT_NEAR(actual.height, expected.height, eps);
}

std::vector<std::string> texts(const FittedLines& fitted) {
    std::vector<std::string> result;
    for (const PlacedLine& line : fitted.lines) result.push_back(line.line.text);
    return result;
}

class CardLayoutTest : public ::testing::Test {
protected:
    SignatureStamp stamp(Certificate certificate = cardtest::personalCertificate(),
                         bool showBranding = true) const {
        return SignatureStamp{std::move(certificate), cardtest::sampleDate(), false, showBranding};
    }
    CardLayout layout(const SignatureStamp& s, double w, double h) const {
        return s.layout(Rect{0, 0, w, h}, measurer);
    }
    cardtest::MadridTime madrid;
    FixedMeasurer measurer;
};

TEST_F(CardLayoutTest, StackedCardWithTwoReferenceLinesAndBrandingAtTheEnd) {
    const CardLayout l = layout(stamp(), 250, 72);
    EXPECT_EQ(l.kind, CardLayout::Kind::stacked);
    EXPECT_FALSE(l.narrow);
    EXPECT_NEAR(l.margin, 6.48, eps);
    EXPECT_NEAR(l.cornerRadius, 6, eps);
    expectRect(l.outline, {0.5, 0.5, 249, 71});
    EXPECT_NEAR(l.outlineWidth, 0.864, eps);
    ASSERT_TRUE(l.band && l.rule);
    expectRect(*l.band, {0, 0, 250, 21.6});
    expectRect(*l.rule, {0, 21.6 - 0.432, 250, 0.432});
    expectRect(l.referenceTextArea, {6.48, 2.52, 237.04, 16.56});
    expectRect(l.holderArea, {0, 21.6, 250, 50.4});
    expectRect(l.seal, {7.776, 46.8 - 16.632, 33.264, 33.264});
    expectRect(l.holderTextArea, {47.52, 24.84, 196, 43.92});

    EXPECT_EQ(texts(l.holder),
              (std::vector<std::string>{"FIRMADO DIGITALMENTE", "Juan Español Pérez", "DNI ***4567**"}));
    EXPECT_EQ(l.holder.lines[0].line,
              (CardLine{"FIRMADO DIGITALMENTE", 0.14, FontWeight::bold, CardColours::accent, 0.08}));
    EXPECT_EQ(l.holder.lines[1].line.weight, FontWeight::semibold);
    EXPECT_EQ(l.holder.lines[1].line.colour, CardColours::ink);
    EXPECT_EQ(l.holder.lines[2].line.weight, FontWeight::medium);
    EXPECT_NEAR(l.holder.scale, 1, eps);
    EXPECT_NEAR(l.holder.lines[1].fontSize, 0.26 * 43.92, eps);
    // The block is centred: total height 0.56 * 43.92 * 1.2 around the area's middle.
    const double total = 0.56 * 43.92 * 1.2;
    EXPECT_NEAR(l.holder.lines[0].box.maxY(), l.holderTextArea.midY() + total / 2, eps);
    EXPECT_NEAR(l.holder.lines[2].box.minY(), l.holderTextArea.midY() - total / 2, eps);

    ASSERT_EQ(l.references.lines.size(), 2u);
    EXPECT_EQ(l.references.lines[0].line.text,
              "Certificado emitido por AC FNMT Usuarios (FNMT-RCM) · N.º de serie 0A1B2C");
    EXPECT_EQ(l.references.lines[1].line.text,
              "15/01/2026 11:30:45 CET · Verificable en " + std::string(CardHosts::validation()));
    for (const PlacedLine& line : l.references.lines) {
        EXPECT_EQ(line.line.size, 0.3);
        EXPECT_EQ(line.line.weight, FontWeight::regular);
        EXPECT_EQ(line.line.colour, CardColours::muted);
    }
    EXPECT_EQ(l.referenceBranding, Branding::endOfLastLine);
    const PlacedLine& last = l.references.lines[1];
    EXPECT_TRUE(last.isBranding);
    EXPECT_TRUE(last.drawsText);
    const double f = last.fontSize;
    const double b = measurer.measure(brandingRuns(f)).width;
    EXPECT_NEAR(last.markBox.x, l.referenceTextArea.maxX() - (b + 1.9 * f), eps);
    EXPECT_NEAR(last.markBox.y, last.box.y + 0.18 * f, eps);
    EXPECT_NEAR(last.markBox.width, 1.5 * f, eps);
    EXPECT_NEAR(last.brandingBox.x, last.markBox.x + 1.9 * f, eps);
    EXPECT_NEAR(last.textBox.width, last.box.width - (1.5 * f + b + 1.9 * f), eps);
    EXPECT_FALSE(l.references.lines[0].isBranding);
}

TEST_F(CardLayoutTest, NarrowStackedCardHasThreeReferenceLinesAndBrandingOnItsOwnLine) {
    const CardLayout l = layout(stamp(), 250, 80);
    EXPECT_EQ(l.kind, CardLayout::Kind::stacked);
    EXPECT_TRUE(l.narrow);
    expectRect(*l.band, {0, 0, 250, 32});
    ASSERT_EQ(l.references.lines.size(), 4u);
    EXPECT_EQ(texts(l.references),
              (std::vector<std::string>{
                  "Certificado emitido por AC FNMT Usuarios (FNMT-RCM)", "N.º de serie 0A1B2C",
                  "15/01/2026 11:30:45 CET · PAdES · " + std::string(CardHosts::validation()), ""}));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(l.references.lines[i].line.size, 0.19, eps);
    const PlacedLine& branding = l.references.lines[3];
    EXPECT_TRUE(branding.isBranding);
    EXPECT_FALSE(branding.drawsText);
    EXPECT_NEAR(branding.line.size, 0.19, eps);
    EXPECT_EQ(branding.line.colour, CardColours::accent);
    EXPECT_NEAR(branding.markBox.x, l.referenceTextArea.x, eps);

    const CardLayout plain = layout(stamp(cardtest::personalCertificate(), false), 250, 80);
    ASSERT_EQ(plain.references.lines.size(), 3u);
    for (const PlacedLine& line : plain.references.lines) {
        EXPECT_NEAR(line.line.size, 0.22, eps);
        EXPECT_FALSE(line.isBranding);
    }
}

TEST_F(CardLayoutTest, WideCardKeepsItsReferencesInARightBand) {
    const CardLayout l = layout(stamp(), 500, 100);
    EXPECT_EQ(l.kind, CardLayout::Kind::wide);
    const double p = 7;  // 0.09 * 100 capped at 7
    expectRect(*l.band, {260, 0, 240, 100});
    expectRect(*l.rule, {260, 0, 1.2, 100});
    expectRect(l.referenceTextArea, {260 + 1.2 * p, 0.7 * p, 240 - 2.4 * p, 100 - 1.4 * p});
    expectRect(l.holderArea, {0, 0, 260, 100});
    EXPECT_EQ(l.referenceBranding, Branding::ownLine);
    EXPECT_EQ(l.references.lines.size(), 4u);
    EXPECT_EQ(l.holder.lines.size(), 3u);
    // d = min(100 - 14, 66, 52)
    expectRect(l.seal, {8.4, 24, 52, 52});
}

TEST_F(CardLayoutTest, CompactCardJoinsIdentityDateAndAuthority) {
    const CardLayout l = layout(stamp(), 90, 28);
    EXPECT_EQ(l.kind, CardLayout::Kind::compact);
    EXPECT_FALSE(l.band);
    EXPECT_FALSE(l.rule);
    EXPECT_TRUE(l.references.lines.empty());
    expectRect(l.holderArea, {0, 0, 90, 28});
    EXPECT_NEAR(l.margin, 2.52, eps);
    expectRect(l.seal, {3.024, 5, 18, 18});
    EXPECT_EQ(texts(l.holder), (std::vector<std::string>{
                                   "FIRMADO DIGITALMENTE", "Juan Español Pérez",
                                   "DNI ***4567** · 15/01/2026 11:30 · AC FNMT Usuarios"}));
    EXPECT_NEAR(l.holder.lines[2].line.size, 0.15, eps);
    EXPECT_EQ(l.holder.lines[2].line.weight, FontWeight::regular);

    Certificate noAuthority = cardtest::personalCertificate();
    noAuthority.authority.clear();
    noAuthority.idNumber.reset();
    EXPECT_EQ(layout(stamp(noAuthority), 90, 28).holder.lines[2].line.text, "15/01/2026 11:30 · ");
}

TEST_F(CardLayoutTest, RepresentativeLines) {
    const SignatureStamp s = stamp(cardtest::representativeCertificate());
    EXPECT_EQ(texts(layout(s, 250, 72).holder),
              (std::vector<std::string>{"FIRMADO DIGITALMENTE", "EMPRESA EJEMPLO SL", "NIF B12345678",
                                        "Representante: Juan Español Pérez · DNI ***4567**"}));
    EXPECT_EQ(texts(layout(s, 90, 28).holder),
              (std::vector<std::string>{
                  "FIRMADO DIGITALMENTE", "EMPRESA EJEMPLO SL",
                  "NIF B12345678 · 15/01/2026 11:30 · AC Representación",
                  "Representante: Juan Español Pérez · DNI ***4567**"}));

    const Colour ink = CardColours::ink;
    const Colour muted = CardColours::muted;
    const std::vector<PlacedLine> stacked = layout(s, 250, 72).holder.lines;
    ASSERT_EQ(stacked.size(), 4u);
    EXPECT_EQ(stacked[1].line, (CardLine{"EMPRESA EJEMPLO SL", 0.24, FontWeight::semibold, ink, 0}));
    EXPECT_EQ(stacked[2].line, (CardLine{"NIF B12345678", 0.15, FontWeight::medium, muted, 0}));
    EXPECT_EQ(stacked[3].line.size, 0.14);
    EXPECT_EQ(stacked[3].line.weight, FontWeight::regular);
    EXPECT_EQ(stacked[3].line.colour, muted);
    const std::vector<PlacedLine> compact = layout(s, 90, 28).holder.lines;
    ASSERT_EQ(compact.size(), 4u);
    EXPECT_EQ(compact[2].line.size, 0.14);
    EXPECT_EQ(compact[2].line.weight, FontWeight::medium);
    EXPECT_EQ(compact[2].line.colour, muted);
    EXPECT_EQ(compact[3].line.size, 0.14);
    EXPECT_EQ(compact[3].line.weight, FontWeight::regular);

    Certificate withoutCIF = cardtest::representativeCertificate();
    withoutCIF.organizationID.reset();
    withoutCIF.idNumber.reset();
    EXPECT_EQ(texts(layout(stamp(withoutCIF), 500, 100).holder),
              (std::vector<std::string>{"FIRMADO DIGITALMENTE", "EMPRESA EJEMPLO SL",
                                        "Representante: Juan Español Pérez"}));
    EXPECT_EQ(layout(stamp(withoutCIF), 90, 28).holder.lines[2].line.text,
              "15/01/2026 11:30 · AC Representación");
}

TEST_F(CardLayoutTest, IssuerAndSerialNumberInTheReferences) {
    Certificate c = cardtest::personalCertificate();
    c.issuer = c.authority;
    c.serialNumber.clear();
    EXPECT_EQ(layout(stamp(c), 250, 72).references.lines[0].line.text,
              "Certificado emitido por AC FNMT Usuarios");
    const CardLayout narrow = layout(stamp(c), 250, 80);
    EXPECT_EQ(texts(narrow.references),
              (std::vector<std::string>{"Certificado emitido por AC FNMT Usuarios",
                                        "15/01/2026 11:30:45 CET · PAdES · " +
                                            std::string(CardHosts::validation()),
                                        ""}));
    c.issuer.clear();
    c.authority = "AC X";
    EXPECT_EQ(layout(stamp(c), 250, 72).references.lines[0].line.text,
              "Certificado emitido por AC X");
}

TEST_F(CardLayoutTest, IdentityNumberLine) {
    SignatureStamp s = stamp();
    EXPECT_EQ(s.identityText(), "DNI ***4567**");
    s.showFullID = true;
    EXPECT_EQ(s.identityText(), "DNI 12345678Z");
    s.certificate.idNumber = "X1234567L";
    s.showFullID = false;
    EXPECT_EQ(s.identityText(), "DNI ***3456**");
    s.certificate.idNumber.reset();
    EXPECT_EQ(s.identityText(), std::nullopt);
    EXPECT_EQ(texts(layout(s, 250, 72).holder),
              (std::vector<std::string>{"FIRMADO DIGITALMENTE", "Juan Español Pérez"}));
}

TEST(SignatureStampMask, KeepsTheFourthToSeventhCharacters) {
    EXPECT_EQ(SignatureStamp::mask("123456"), "123456");
    EXPECT_EQ(SignatureStamp::mask(""), "");
    EXPECT_EQ(SignatureStamp::mask("1234567"), "***4567");
    EXPECT_EQ(SignatureStamp::mask("12345678Z"), "***4567**");
    // Characters are grapheme clusters: an accented letter written as two code points is one.
    EXPECT_EQ(SignatureStamp::mask("abcde\u0301fgh"), "***de\u0301fg*");
    EXPECT_EQ(SignatureStamp::mask("ÑÑÑÑÑÑ"), "ÑÑÑÑÑÑ");
}

// Every character measures 1000 points whatever the font size: the line can never fit.
class HugeMeasurer : public TextMeasurer {
public:
    Size measure(const std::vector<TextRun>& runs) const override {
        double width = 0;
        for (const TextRun& run : runs) width += 1000.0 * static_cast<double>(run.text.size());
        return {width, 10};
    }
};

TEST_F(CardLayoutTest, LongHolderShrinksAloneInAtMostSixStepsAndReferencesShareOneScale) {
    Certificate c = cardtest::personalCertificate();
    c.holder = std::string(400, 'M');
    c.authority = std::string(300, 'A');
    const CardLayout l = layout(stamp(c), 250, 72);
    // Holder lines are fitted one by one: only the long name shrinks.
    EXPECT_NEAR(l.holder.lines[0].fontSize, 0.14 * 43.92, eps);
    EXPECT_NEAR(l.holder.lines[2].fontSize, 0.16 * 43.92, eps);
    EXPECT_LT(l.holder.lines[1].fontSize, 0.26 * 43.92);
    EXPECT_LE(measurer.measure({lineRun(l.holder.lines[1].line, l.holder.lines[1].fontSize)}).width,
              l.holderTextArea.width + eps);
    // References share one scale, so both keep the ratio of their sizes.
    EXPECT_LT(l.references.scale, 1);
    EXPECT_NEAR(l.references.lines[0].fontSize, l.references.lines[1].fontSize, eps);
    EXPECT_NEAR(l.references.lines[0].box.height,
                0.3 * l.references.scale * 16.56 * 1.2, eps);

    // A text that never fits stops after six reductions.
    const HugeMeasurer huge;
    const Rect area{0, 0, 100, 10};
    const FittedLines fitted =
        fitLines({CardLine{"x", 0.5, FontWeight::regular, CardColours::ink, 0}}, area, false,
                 Branding::none, huge);
    const double step = 100.0 / 1000.0 * 0.98;
    EXPECT_NEAR(fitted.lines[0].fontSize, 0.5 * 10 * std::pow(step, 6), 1e-15);
    const FittedLines common =
        fitLines({CardLine{"x", 0.5, FontWeight::regular, CardColours::ink, 0},
                  CardLine{"y", 0.5, FontWeight::regular, CardColours::ink, 0}},
                 area, true, Branding::none, huge);
    // Six steps for the first line and six more for the second, carried over, from the height
    // scale 10 / (2 * 0.5 * 10 * 1.2).
    EXPECT_NEAR(common.scale, std::pow(step, 12) / 1.2, 1e-15);
}

TEST(CardLines, NothingIsPlacedInAnEmptyArea) {
    const FixedMeasurer measurer;
    EXPECT_TRUE(fitLines({CardLine{"x", 0.5, FontWeight::regular, CardColours::ink, 0}},
                         Rect{0, 0, 0, 10}, true, Branding::ownLine, measurer)
                    .lines.empty());
    EXPECT_TRUE(fitLines({}, Rect{0, 0, 10, 10}, true, Branding::ownLine, measurer).lines.empty());
}

// --- Upright drawing

cairo_matrix_t matrixInside(int rotation, Rect rect, Rect* drawnIn) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
    cairo_t* cr = cairo_create(surface);
    cairo_matrix_t inside;
    drawUpright(cr, rect, rotation, [&](Rect r) {
        *drawnIn = r;
        cairo_get_matrix(cr, &inside);
    });
    cairo_matrix_t after;
    cairo_get_matrix(cr, &after);
    EXPECT_EQ(after.xx, 1);
    EXPECT_EQ(after.x0, 0);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return inside;
}

Point apply(const cairo_matrix_t& m, Point p) {
    double x = p.x;
    double y = p.y;
    cairo_matrix_transform_point(&m, &x, &y);
    return {x, y};
}

TEST(DrawUpright, TurnsTheRectangleForEachRotation) {
    const Rect rect{100, 200, 80, 250};
    Rect drawn;
    // 90: the local origin is at the lower right; local x runs up the page, local y to the left.
    cairo_matrix_t m = matrixInside(90, rect, &drawn);
    expectRect(drawn, {0, 0, 250, 80});
    Point o = apply(m, {0, 0});
    EXPECT_NEAR(o.x, 180, 1e-9);
    EXPECT_NEAR(o.y, 200, 1e-9);
    Point far = apply(m, {250, 80});
    EXPECT_NEAR(far.x, 100, 1e-9);
    EXPECT_NEAR(far.y, 450, 1e-9);

    m = matrixInside(180, rect, &drawn);
    expectRect(drawn, {0, 0, 80, 250});
    o = apply(m, {0, 0});
    EXPECT_NEAR(o.x, 180, 1e-9);
    EXPECT_NEAR(o.y, 450, 1e-9);

    m = matrixInside(270, rect, &drawn);
    expectRect(drawn, {0, 0, 250, 80});
    o = apply(m, {0, 0});
    EXPECT_NEAR(o.x, 100, 1e-9);
    EXPECT_NEAR(o.y, 450, 1e-9);
    far = apply(m, {250, 80});
    EXPECT_NEAR(far.x, 180, 1e-9);
    EXPECT_NEAR(far.y, 200, 1e-9);

    // -90 is 270, 450 is 90, any other value is 270.
    for (auto [rotation, same] : {std::pair{-90, 270}, std::pair{450, 90}, std::pair{45, 270}}) {
        Rect a;
        Rect b;
        const cairo_matrix_t ma = matrixInside(rotation, rect, &a);
        const cairo_matrix_t mb = matrixInside(same, rect, &b);
        expectRect(a, b);
        EXPECT_NEAR(ma.xx, mb.xx, 1e-12);
        EXPECT_NEAR(ma.xy, mb.xy, 1e-12);
        EXPECT_NEAR(ma.x0, mb.x0, 1e-9);
        EXPECT_NEAR(ma.y0, mb.y0, 1e-9);
    }
    for (int rotation : {0, 360}) {
        m = matrixInside(rotation, rect, &drawn);
        expectRect(drawn, rect);
        EXPECT_EQ(m.xx, 1);
        EXPECT_EQ(m.yy, 1);
        EXPECT_EQ(m.x0, 0);
    }
    // Without a context the drawing still runs, in the rectangle unchanged.
    drawn = Rect{};
    drawUpright(nullptr, rect, 90, [&](Rect r) { drawn = r; });
    expectRect(drawn, rect);
}

// --- Real text: Pango measures deterministically and the fitted lines fit.

TEST(CardText, PangoMeasurementIsStableAndScalesWithTheFontSize) {
    const PangoText text;
    const Size a = text.measure({TextRun{"FIRMADO DIGITALMENTE", FontWeight::bold, 10, 0.8}});
    const Size b = text.measure({TextRun{"FIRMADO DIGITALMENTE", FontWeight::bold, 10, 0.8}});
    const Size c = text.measure({TextRun{"FIRMADO DIGITALMENTE", FontWeight::bold, 20, 1.6}});
    EXPECT_EQ(a, b);
    EXPECT_GT(a.width, 50);
    EXPECT_NEAR(c.width, 2 * a.width, 0.01 * a.width);
    EXPECT_EQ(text.measure({TextRun{"", FontWeight::regular, 10, 0}}), (Size{0, 0}));
    EXPECT_EQ(text.measure({TextRun{"abc", FontWeight::regular, 0, 0}}), (Size{0, 0}));
    // Broken UTF-8 from a certificate is measured, not refused.
    EXPECT_GT(text.measure({TextRun{"ab\xff\xfe", FontWeight::regular, 10, 0}}).width, 0);
}

TEST(CardText, ReferenceLinesFitTheirAreaWithRealText) {
    cardtest::MadridTime madrid;
    const PangoText text;
    Certificate c = cardtest::representativeCertificate();
    c.authority = "AUTORIDAD DE CERTIFICACION DE REPRESENTACION DE LA FABRICA NACIONAL";
    const SignatureStamp stamp{c, cardtest::sampleDate(), false, true};
    for (Rect rect : {Rect{0, 0, 250, 72}, Rect{0, 0, 250, 80}, Rect{0, 0, 500, 100}}) {
        const CardLayout l = stamp.layout(rect, text);
        ASSERT_FALSE(l.references.lines.empty());
        for (const PlacedLine& line : l.references.lines) {
            const double width =
                line.isBranding
                    ? text.measure(brandingRuns(line.fontSize)).width + 1.9 * line.fontSize +
                          (line.drawsText ? text.measure({lineRun(line.line, line.fontSize)}).width +
                                                1.5 * line.fontSize
                                          : 0)
                    : text.measure({lineRun(line.line, line.fontSize)}).width;
            EXPECT_LE(width, l.referenceTextArea.width + 1e-6) << line.line.text;
        }
    }
}

}  // namespace
