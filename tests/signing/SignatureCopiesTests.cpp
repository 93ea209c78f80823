#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "TestDatabase.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "signing/NativeEngine.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureCopies.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

SignatureStamp stamp() {
    SignatureStamp s;
    s.certificate.name = "PRUEBA FIRMANTE";
    s.certificate.holder = "Prueba Firmante";
    s.certificate.sha1 = testDatabase().rsaSHA1;
    s.date = std::chrono::system_clock::time_point(std::chrono::seconds(1767225600));
    return s;
}

Handwriting handwriting() {
    RasterImage image;
    image.width = 30;
    image.height = 10;
    image.rgba.assign(30 * 10 * 4, 0);
    for (std::size_t i = 0; i < image.rgba.size(); i += 4 * 3)
        image.rgba[i + 3] = 255;  // sparse ink
    return Handwriting(std::move(image));
}

struct Stamp {
    PDFRef ref;
    std::string contents;
    std::int64_t flags = 0;
    PDFRef page;
};

// The stamp annotations of every page, in /Annots order, read back with our own reader.
std::vector<std::vector<Stamp>> stamps(const std::string& pdf) {
    PDFFile file(pdf);
    std::vector<std::vector<Stamp>> all;
    for (PDFRef page : file.pageRefs()) {
        std::vector<Stamp> list;
        PDFObject pageRef = PDFObject::reference(page);
        const PDFObject* annots = file.resolve(file.dictionary(&pageRef)->get("Annots"));
        if (annots && annots->array()) {
            for (const PDFObject& element : *annots->array()) {
                const PDFDictionary* annot = file.dictionary(&element);
                if (!annot || !annot->get("Subtype") || *annot->get("Subtype")->name() != "Stamp")
                    continue;
                list.push_back({*element.reference(), *annot->get("Contents")->text(),
                                *annot->get("F")->integer(), *annot->get("P")->reference()});
            }
        }
        all.push_back(list);
    }
    return all;
}

TEST(SignatureCopies, NothingDrawableGivesTheInputBackUnchanged) {
    const std::string pdf = fixtures::textPDF(2);
    const SignatureCopy card{0, Rect{100, 100, 150, 40}};
    const SignatureCopy hand{0, Rect{100, 200, 150, 40}, true};
    EXPECT_EQ(SignatureCopies::add({}, stamp(), handwriting(), pdf), pdf);
    EXPECT_EQ(SignatureCopies::add({hand}, stamp(), std::nullopt, pdf), pdf);
    EXPECT_EQ(SignatureCopies::add({card}, std::nullopt, handwriting(), pdf), pdf);
    // Not even parsed: garbage comes back as it came.
    EXPECT_EQ(SignatureCopies::add({card}, std::nullopt, std::nullopt, "not a pdf"), "not a pdf");
    // A copy too thin to draw is left out.
    EXPECT_EQ(SignatureCopies::add({SignatureCopy{0, Rect{100, 100, 0.5, 40}}}, stamp(),
                                   std::nullopt, pdf),
              pdf);
    // A document that forbids changes comes back unchanged when nothing is drawable...
    std::string restricted = fixtures::encrypt(pdf, fixtures::Cipher::aes128, {.restricted = true});
    EXPECT_EQ(SignatureCopies::add({hand}, stamp(), std::nullopt, restricted), restricted);
    // ...and refuses copies that are.
    try {
        SignatureCopies::add({card}, stamp(), std::nullopt, restricted);
        FAIL();
    } catch (const PDFSigner::Failure& failure) {
        EXPECT_EQ(failure.kind(), PDFSigner::Failure::Kind::restricted);
    }
}

TEST(SignatureCopies, APageIndexPastTheEndFailsTheFile) {
    const std::string pdf = fixtures::textPDF(2);
    for (int index : {2, -1, 1000000}) {
        try {
            SignatureCopies::add({SignatureCopy{0, Rect{100, 100, 150, 40}},
                                  SignatureCopy{index, Rect{1, 1, 50, 50}}},
                                 stamp(), std::nullopt, pdf);
            FAIL() << index;
        } catch (const PDFSigner::Failure& failure) {
            EXPECT_STREQ(failure.what(), "No se encuentra la página de la firma.");
        }
    }
}

// Two copies on one page and one on another, then a signature over them: every tool accepts the
// result and the signature covers the copies.
TEST(SignatureCopies, CopiesThenASignatureValidate) {
    TempDir dir;
    const std::string pdf = fixtures::textPDF(3, true);
    std::vector<SignatureCopy> copies = {
        {1, Rect{72, 600, 180, 50}},
        {1, Rect{300, 600, 120, 40}, true},
        {2, Rect{72, 100, 180, 50}, false},
    };
    std::string withCopies = SignatureCopies::add(copies, stamp(), handwriting(), pdf);
    ASSERT_EQ(withCopies.compare(0, pdf.size(), pdf), 0)
        << "the input is not kept as the first part";
    EXPECT_EQ(fixtures::qpdfCheck(withCopies), 0);

    auto found = stamps(withCopies);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[0].empty());
    ASSERT_EQ(found[1].size(), 2u);
    EXPECT_EQ(found[1][0].contents, "Firma");
    EXPECT_EQ(found[1][1].contents, "Firma manuscrita");
    EXPECT_LT(found[1][0].ref, found[1][1].ref);
    EXPECT_EQ(found[1][0].flags, 132);
    ASSERT_EQ(found[2].size(), 1u);
    EXPECT_EQ(found[2][0].contents, "Firma");
    EXPECT_NE(withCopies.find("/Contents (Firma manuscrita)"), std::string::npos);
    EXPECT_NE(withCopies.find("/Type /Annot /Subtype /Stamp /F 132 /Rect [72 600 252 650] /P "),
              std::string::npos);

    writeFile(dir / "copies.pdf", withCopies);
    NativeEngine(testDatabase().dir)
        .sign(dir / "copies.pdf", dir / "signed.pdf", stamp().certificate, std::nullopt);
    std::string signedPDF = readFile(dir / "signed.pdf");
    EXPECT_EQ(fixtures::qpdfCheck(signedPDF), 0);
    auto report = testutil::run({"pdfsig", "-nssdir", "sql:" + testDatabase().dir.string(),
                                 "-no-ocsp", (dir / "signed.pdf").string()});
    EXPECT_NE(report.out.find("Signature is Valid."), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("Total document signed"), std::string::npos) << report.out;
    EXPECT_EQ(stamps(signedPDF)[1].size(), 2u);

    // The copies are drawn: the second page renders with ink inside each copy's box (rows from
    // the top of the A4 page at 72 dpi) and none in a box without a copy.
    auto rendered = testutil::run({"pdftoppm", "-r", "72", "-f", "2", "-l", "2",
                                   (dir / "signed.pdf").string()});
    ASSERT_EQ(rendered.exitCode, 0) << rendered.err;
    const cardtest::Pixmap page = cardtest::readPPM(rendered.out);
    ASSERT_EQ(page.width, 595);
    ASSERT_EQ(page.height, 842);
    EXPECT_GT(page.nonWhite(72, 842 - 650, 252, 842 - 600), 50);   // the card
    EXPECT_GT(page.nonWhite(300, 842 - 640, 420, 842 - 600), 10);  // the handwriting
    EXPECT_EQ(page.nonWhite(72, 842 - 400, 520, 842 - 200), 0);
}

TEST(SignatureCopies, EncryptedDocumentsGetEncryptedTexts) {
    const std::string pdf = fixtures::textPDF(1);
    for (auto cipher :
         {fixtures::Cipher::rc4_128, fixtures::Cipher::aes128, fixtures::Cipher::aes256R6}) {
        std::string encrypted = fixtures::encrypt(pdf, cipher);
        std::string out = SignatureCopies::add({SignatureCopy{0, Rect{72, 72, 150, 40}},
                                                SignatureCopy{0, Rect{72, 200, 150, 40}, true}},
                                               stamp(), handwriting(), encrypted);
        SCOPED_TRACE(fixtures::cipherName(cipher));
        EXPECT_EQ(out.find("(Firma"), std::string::npos);
        EXPECT_EQ(fixtures::qpdfCheck(out), 0);
        auto found = stamps(out);
        ASSERT_EQ(found[0].size(), 2u);
        EXPECT_EQ(found[0][0].contents, "Firma");
        EXPECT_EQ(found[0][1].contents, "Firma manuscrita");
        EXPECT_NE(fixtures::qpdfShowObject(out, found[0][1].ref.number).find("(Firma manuscrita)"),
                  std::string::npos);
    }
}

// A page whose /Annots is an indirect array: only the array is rewritten, old entries first. A
// page with a direct array gets a rewritten page. An /Annots that cannot be read fails the call.
TEST(SignatureCopies, ExistingAnnotationListsAreExtendedNeverLost) {
    auto build = [](const std::string& annots1, const std::string& annots2, bool withArray) {
        fixtures::FixtureWriter w;
        w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        w.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
        w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + annots1 + " >>");
        w.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + annots2 + " >>");
        w.object(5, "<< /Type /Annot /Subtype /Text /Rect [10 10 20 20] /Contents (nota) >>");
        if (withArray) w.object(6, "[5 0 R]");
        return w.finishClassic("/Root 1 0 R");
    };
    const std::vector<SignatureCopy> copies = {
        {0, Rect{72, 72, 150, 40}}, {0, Rect{72, 200, 150, 40}}, {1, Rect{72, 72, 150, 40}}};

    std::string indirect = build("/Annots 6 0 R", "/Annots [5 0 R]", true);
    std::string out = SignatureCopies::add(copies, stamp(), std::nullopt, indirect);
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);
    std::string update = out.substr(indirect.size());
    EXPECT_EQ(update.find("\n3 0 obj"), std::string::npos)
        << "the page with an indirect array was rewritten";
    EXPECT_NE(update.find("\n6 0 obj"), std::string::npos);
    EXPECT_NE(update.find("\n4 0 obj"), std::string::npos);
    PDFFile file(out);
    const PDFObject* array = file.object(PDFRef(6));
    ASSERT_TRUE(array && array->array());
    ASSERT_EQ(array->array()->size(), 3u);
    EXPECT_EQ(*(*array->array())[0].reference(), PDFRef(5));
    auto found = stamps(out);
    EXPECT_EQ(found[0].size(), 2u);
    EXPECT_EQ(found[1].size(), 1u);

    // Two pages sharing one indirect array keep each other's copies.
    std::string shared = build("/Annots 6 0 R", "/Annots 6 0 R", true);
    PDFFile sharedFile(SignatureCopies::add(copies, stamp(), std::nullopt, shared));
    EXPECT_EQ(sharedFile.object(PDFRef(6))->array()->size(), 4u);

    // A page without /Annots gets a direct array of the new references only.
    std::string none = build("", "", false);
    auto fresh = stamps(SignatureCopies::add(copies, stamp(), std::nullopt, none));
    EXPECT_EQ(fresh[0].size(), 2u);

    // A reference to an object the file lacks reads as no list at all.
    auto missing = stamps(SignatureCopies::add(copies, stamp(), std::nullopt,
                                               build("/Annots 9 0 R", "", false)));
    EXPECT_EQ(missing[0].size(), 2u);

    for (std::string broken : {"/Annots 5 0 R", "/Annots 7"}) {
        std::string damaged = build(broken, "", false);
        try {
            SignatureCopies::add(copies, stamp(), std::nullopt, damaged);
            FAIL() << broken;
        } catch (const PDFError& error) {
            EXPECT_STREQ(
                error.what(),
                "No se pueden leer las anotaciones de la página 1; no se añaden las copias de la "
                "firma para no perderlas.");
        }
    }
}

}  // namespace
