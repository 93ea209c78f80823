// The signature card as the appearance of a real signature on pages of every rotation: rendered
// by Poppler it stays inside its rectangle and reads upright, and the signature still validates.
#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "TestDatabase.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"
#include "signing/SignatureStamp.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace {

constexpr double pageWidth = 595;
constexpr double pageHeight = 842;

// The rectangle, in page space, of a card that reads 250 x 72 on a page shown with `rotation`.
Rect cardRect(int rotation) {
    return rotation % 180 == 0 ? Rect{100, 200, 250, 72} : Rect{100, 200, 72, 250};
}

// Pixel box (left, top, right, bottom) of a page-space rectangle in the page as displayed at
// 72 dpi (pdftoppm turns the page by its /Rotate, clockwise).
struct Box {
    int left, top, right, bottom;
};
Box displayed(Rect r, int rotation) {
    double l = 0, t = 0, rr = 0, b = 0;
    switch (rotation) {
        case 0: l = r.minX(); rr = r.maxX(); t = pageHeight - r.maxY(); b = pageHeight - r.minY(); break;
        case 90: l = r.minY(); rr = r.maxY(); t = r.minX(); b = r.maxX(); break;
        case 180: l = pageWidth - r.maxX(); rr = pageWidth - r.minX(); t = r.minY(); b = r.maxY(); break;
        default: l = pageHeight - r.maxY(); rr = pageHeight - r.minY(); t = pageWidth - r.maxX(); b = pageWidth - r.minX(); break;
    }
    return {static_cast<int>(l), static_cast<int>(t), static_cast<int>(rr), static_cast<int>(b)};
}

TEST(VisibleCard, UprightInsideItsRectangleOnEveryPageRotationAndStillValid) {
    cardtest::MadridTime madrid;
    const SignatureStamp stamp{cardtest::personalCertificate(), cardtest::sampleDate(), false, true};
    testutil::TempDir dir;
    for (int rotation : {0, 90, 180, 270}) {
        SCOPED_TRACE(rotation);
        fixtures::PageSpec page;
        page.rotate = rotation;
        page.content = "% blank";
        const std::string input = fixtures::pagesPDF({page});
        PDFSigner signer(SigningIdentity(testDatabase().rsaSHA1, testDatabase().dir),
                         "Juan Español Pérez", stamp.date,
                         [stamp](Size box) { return SignatureAppearances::card(stamp, box); });
        const Rect rect = cardRect(rotation);
        const std::string output = signer.sign(input, PDFSigner::Placement::area(0, rect));
        const auto path = dir / ("signed" + std::to_string(rotation) + ".pdf");
        testutil::writeFile(path, output);

        const auto pdfsig =
            testutil::run({"pdfsig", "-nssdir", "sql:" + testDatabase().dir.string(), "-no-ocsp",
                           path.string()});
        EXPECT_EQ(pdfsig.exitCode, 0) << pdfsig.out << pdfsig.err;
        EXPECT_NE(pdfsig.out.find("Signature Validation: Signature is Valid."), std::string::npos)
            << pdfsig.out;

        const auto ppm = testutil::run({"pdftoppm", "-r", "72", path.string()});
        ASSERT_EQ(ppm.exitCode, 0) << ppm.err;
        const cardtest::Pixmap pixmap = cardtest::readPPM(ppm.out);
        ASSERT_EQ(pixmap.width, rotation % 180 == 0 ? 595 : 842);
        const Box box = displayed(rect, rotation);
        ASSERT_EQ(box.right - box.left, 250);
        ASSERT_EQ(box.bottom - box.top, 72);
        // The whole box is covered by the tinted card; nothing is drawn outside it.
        EXPECT_GT(pixmap.nonWhite(box.left, box.top, box.right, box.bottom), 250 * 72 * 9 / 10);
        EXPECT_EQ(pixmap.nonWhite() -
                      pixmap.nonWhite(box.left - 1, box.top - 1, box.right + 1, box.bottom + 1),
                  0);

        // Upright: the seal (a solid blue disc) sits at the left of the upper part, above the
        // reference band, as the reader sees the page.
        double sumX = 0, sumY = 0;
        int count = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) {
                const unsigned char* p = pixmap.at(x, y);
                if (p[2] > 150 && p[0] < 90 && p[1] < 120) {
                    sumX += x - box.left;
                    sumY += y - box.top;
                    ++count;
                }
            }
        ASSERT_GT(count, 300);
        EXPECT_LT(sumX / count, 40);
        EXPECT_LT(sumY / count, 36);
    }
}

TEST(VisibleCard, SigningToolDrawsTheCertificatesCard) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", fixtures::textPDF(1));
    const auto signedByTool = testutil::run(
        {(testutil::toolsDir() / "pdfsign").string(), "--nssdb", testDatabase().dir.string(),
         "--cert", testDatabase().ecSHA1, "--page", "1", "--rect", "100,100,250,80",
         (dir / "in.pdf").string(), (dir / "out.pdf").string()});
    ASSERT_EQ(signedByTool.exitCode, 0) << signedByTool.err;
    const auto text = testutil::run({"pdftotext", (dir / "out.pdf").string(), "-"});
    for (const char* expected : {"FIRMADO DIGITALMENTE", "EMPRESA DE PRUEBAS SL", "NIF B12345678",
                                 "Representante: María Gómez Ruiz · DNI ***3456**",
                                 "Certificado emitido por Tindra Test CA (Tindra Pruebas)"}) {
        EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
    }
}

}  // namespace
