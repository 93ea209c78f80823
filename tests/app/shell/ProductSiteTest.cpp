// The product's web site is one host everywhere: the branding line of a visibly signed page, as a
// PDF reader extracts it, About and the help.
#include <QUrl>
#include <gtest/gtest.h>

#include "app/AboutWindow.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"
#include "signing/SignatureStamp.h"
#include "support/PDFFixtures.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"
#include "ui/Brand.h"

namespace {

Certificate holder() {
    Certificate c;
    c.name = "PRUEBA FIRMANTE ANA - 12345678Z";
    c.issuer = "Tindra Test CA";
    c.holder = "Ana Prueba Firmante";
    c.givenName = "Ana";
    c.surnames = "Prueba Firmante";
    c.idNumber = "12345678Z";
    return c;
}

}  // namespace

TEST(ProductSite, TheSignedCardNamesTheHostThatAboutAndTheHelpName) {
    if (!testutil::haveProgram("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
    const QStringList credits = AboutWindow::credits().split(QLatin1Char('\n'));
    ASSERT_EQ(credits.size(), 2);
    const QString host = credits[1];
    ASSERT_FALSE(host.isEmpty());
    EXPECT_EQ(Brand::help().host(), host);
    EXPECT_EQ(Brand::website().host(), host);
    EXPECT_EQ(Brand::formsReport().host(), host);

    testutil::TempDir dir;
    const testpki::NSSDatabase nss = testpki::makeNSSDatabase(dir / "nssdb");
    const SignatureStamp stamp{holder(), std::chrono::system_clock::now(), false, true};
    PDFSigner signer(SigningIdentity(nss.rsaSHA1, nss.dir), stamp.certificate.holder, stamp.date,
                     [stamp](Size box) { return SignatureAppearances::card(stamp, box); });
    const std::string output = signer.sign(fixtures::textPDF(1), PDFSigner::Placement::area(0, Rect{90, 300, 260, 80}));
    testutil::writeFile(dir / "firmado.pdf", output);
    const auto text = testutil::run({"pdftotext", "-raw", (dir / "firmado.pdf").string(), "-"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Firmado con " + host.toStdString()), std::string::npos) << text.out;
}
