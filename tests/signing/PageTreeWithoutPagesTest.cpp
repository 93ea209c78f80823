// Documents whose page tree yields no page (pages written directly in /Kids, a tree that loops
// without reaching a page): the signer refuses with its sentence, the placement search offers
// nothing, and nothing is signed.
#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "pdf/PDFFile.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureLocator.h"
#include "support/PDFFixtures.h"

namespace {

std::string directKidsOnly() {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [<</Type /Page /MediaBox [0 0 595 842]>> "
                "<</Type /Page /MediaBox [0 0 595 842]>>] /Count 2 >>");
    return w.finishClassic("/Root 1 0 R");
}

std::string loopWithoutPage() {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 1 >>");
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace

TEST(PageTreeWithoutPages, SignerRefusesAndLocatorOffersNothing) {
    PDFSigner signer(SigningIdentity(testDatabase().rsaSHA1, testDatabase().dir), "Firmante");
    for (const auto& [label, pdf] : {std::pair{"direct kids", directKidsOnly()},
                                     std::pair{"loop", loopWithoutPage()}}) {
        SCOPED_TRACE(label);
        PDFFile file(pdf);
        EXPECT_TRUE(file.pageRefs().empty());
        EXPECT_TRUE(SignatureLocator::placements(file).empty());
        for (const auto& placement :
             {PDFSigner::Placement::invisible(),
              PDFSigner::Placement::area(0, Rect{100, 100, 200, 50})}) {
            try {
                signer.sign(pdf, placement);
                ADD_FAILURE() << "signed a document without pages";
            } catch (const PDFSigner::Failure& failure) {
                EXPECT_EQ(failure.kind(), PDFSigner::Failure::Kind::pageNotFound);
                EXPECT_STREQ(failure.what(), "No se encuentra la página de la firma.");
            }
        }
    }
}
