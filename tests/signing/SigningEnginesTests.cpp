#include <gtest/gtest.h>

#include "TestDatabase.h"
#include "pdf/PDFFile.h"
#include "signing/AutoFirmaEngine.h"
#include "signing/FallbackEngine.h"
#include "signing/NativeEngine.h"
#include "signing/PDFSigner.h"
#include "signing/SigningEngines.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const AutoFirma::Installation installed{"/usr/bin/java", "/usr/lib/Autofirma/Autofirma.jar"};

TEST(SigningEngines, PreferenceAndAutoFirmaChooseTheEngine) {
    EXPECT_EQ(SigningEngines::preferred("autofirma", installed)->name(), "AutoFirma");
    EXPECT_EQ(
        dynamic_cast<const AutoFirmaEngine&>(*SigningEngines::preferred("autofirma", installed))
            .installation,
        installed);
    EXPECT_EQ(SigningEngines::preferred("autofirma", std::nullopt), nullptr);
    EXPECT_EQ(SigningEngines::preferred("nativo", installed)->name(), "nativo");
    EXPECT_EQ(SigningEngines::preferred("nativo", std::nullopt)->name(), "nativo");
    EXPECT_EQ(SigningEngines::preferred(std::nullopt, installed)->name(),
              "nativo, con AutoFirma de respaldo");
    EXPECT_EQ(SigningEngines::preferred(std::nullopt, std::nullopt)->name(), "nativo");
    // Values are compared exactly: another letter case is no preference.
    for (std::string other : {"AutoFirma", "Nativo", "NATIVO", " nativo", "autofirma ", ""}) {
        EXPECT_EQ(SigningEngines::preferred(other, installed)->name(),
                  "nativo, con AutoFirma de respaldo")
            << other;
        EXPECT_EQ(SigningEngines::preferred(other, std::nullopt)->name(), "nativo") << other;
    }
    auto pair = std::dynamic_pointer_cast<const FallbackEngine>(
        SigningEngines::preferred(std::nullopt, installed));
    ASSERT_NE(pair, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<const NativeEngine>(pair->primary), nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<const AutoFirmaEngine>(pair->fallback), nullptr);
    EXPECT_EQ(std::dynamic_pointer_cast<const NativeEngine>(pair->primary)->keychain, std::nullopt);

    // A caller may name the own engine's store.
    auto own = SigningEngines::preferred("nativo", installed, NativeEngine(fs::path("/tmp/db")));
    EXPECT_EQ(std::dynamic_pointer_cast<const NativeEngine>(own)->keychain, fs::path("/tmp/db"));
}

Certificate testCertificate() {
    Certificate c;
    c.sha1 = testDatabase().rsaSHA1;
    c.name = "PRUEBA FIRMANTE";
    return c;
}

VisibleSignature card(SignaturePlacement::Target target, int pageIndex, Rect rect,
                      std::chrono::system_clock::time_point date) {
    SignatureStamp stamp;
    stamp.certificate = testCertificate();
    stamp.date = date;
    return VisibleSignature{
        SignaturePlacement{std::move(target), pageIndex, rect, "Firma", "", false}, stamp};
}

// pdfsig's report of a file, trusting the test CA.
std::string pdfsig(const fs::path& file) {
    auto result = testutil::run(
        {"pdfsig", "-nssdir", "sql:" + testDatabase().dir.string(), "-no-ocsp", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    return result.out;
}

// The page index of the signature widget's /P, read back with our own reader.
int widgetPage(const std::string& pdf) {
    PDFFile file(pdf);
    auto pages = file.pageRefs();
    for (auto [number, entry] : file.entries()) {
        const PDFObject* object = file.object(PDFRef(number));
        const PDFDictionary* dict = object ? object->dictionary() : nullptr;
        if (!dict || !dict->get("FT") || !dict->get("FT")->name() ||
            *dict->get("FT")->name() != "Sig")
            continue;
        if (!dict->get("P") || !dict->get("P")->reference()) continue;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (pages[i].number == dict->get("P")->reference()->number) return static_cast<int>(i);
        }
    }
    return -1;
}

TEST(NativeEngine, SignsInvisiblyAndVisiblyAtomicallyLeavingTheSourceAlone) {
    TempDir dir;
    const std::string source = fixtures::textPDF(3);
    writeFile(dir / "doc.pdf", source);
    NativeEngine engine(testDatabase().dir);

    engine.sign(dir / "doc.pdf", dir / "invisible.pdf", testCertificate(), std::nullopt);
    std::string report = pdfsig(dir / "invisible.pdf");
    EXPECT_NE(report.find("Signature is Valid."), std::string::npos) << report;
    EXPECT_NE(report.find("Total document signed"), std::string::npos) << report;

    // An area on page 1 is page index 0; the signing time is the card's date.
    auto date =
        std::chrono::system_clock::time_point(std::chrono::seconds(1767225600));  // 2026-01-01Z
    engine.sign(dir / "doc.pdf", dir / "visible.pdf", testCertificate(),
                card(SignaturePlacement::Target::area(2, Rect{300, 100, 200, 60}), 1,
                     Rect{300, 100, 200, 60}, date));
    std::string signedPDF = readFile(dir / "visible.pdf");
    EXPECT_EQ(widgetPage(signedPDF), 1);
    EXPECT_NE(signedPDF.find("/M (" + PDFSigner::pdfDate(date) + ")"), std::string::npos);
    EXPECT_NE(pdfsig(dir / "visible.pdf").find("Signature is Valid."), std::string::npos);

    EXPECT_EQ(readFile(dir / "doc.pdf"), source);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find("tindra-"), std::string::npos)
            << entry.path();
    }
}

TEST(NativeEngine, AFieldThatNoLongerExistsIsSignedAsAnArea) {
    TempDir dir;
    writeFile(dir / "doc.pdf", fixtures::textPDF(2));
    NativeEngine engine(testDatabase().dir);
    auto now = std::chrono::system_clock::now();
    engine.sign(dir / "doc.pdf", dir / "out.pdf", testCertificate(),
                card(SignaturePlacement::Target::field("Firma1"), 1, Rect{72, 72, 200, 60}, now));
    EXPECT_EQ(widgetPage(readFile(dir / "out.pdf")), 1);

    // When the area fails too, the second error is thrown and nothing is written.
    try {
        engine.sign(
            dir / "doc.pdf", dir / "bad.pdf", testCertificate(),
            card(SignaturePlacement::Target::field("Firma1"), 7, Rect{72, 72, 200, 60}, now));
        FAIL();
    } catch (const PDFSigner::Failure& failure) {
        EXPECT_EQ(failure.kind(), PDFSigner::Failure::Kind::pageNotFound);
        EXPECT_STREQ(failure.what(), "No se encuentra la página de la firma.");
    }
    EXPECT_FALSE(fs::exists(dir / "bad.pdf"));

    // An area target has no second try.
    EXPECT_THROW(engine.sign(dir / "doc.pdf", dir / "bad.pdf", testCertificate(),
                             card(SignaturePlacement::Target::area(3, Rect{72, 72, 200, 60}), 0,
                                  Rect{72, 72, 200, 60}, now)),
                 PDFSigner::Failure);

    // A field target that fails for another reason is not tried again as an area (which would
    // fail on its missing page instead).
    writeFile(dir / "restricted.pdf",
              fixtures::encrypt(fixtures::textPDF(2), fixtures::Cipher::aes128,
                                {.restricted = true}));
    try {
        engine.sign(
            dir / "restricted.pdf", dir / "bad.pdf", testCertificate(),
            card(SignaturePlacement::Target::field("Firma1"), 7, Rect{72, 72, 200, 60}, now));
        FAIL();
    } catch (const PDFSigner::Failure& failure) {
        EXPECT_EQ(failure.kind(), PDFSigner::Failure::Kind::restricted);
    }
    EXPECT_FALSE(fs::exists(dir / "bad.pdf"));
}

TEST(NativeEngine, ErrorsReachTheCallerUnchanged) {
    TempDir dir;
    NativeEngine engine(testDatabase().dir);
    try {
        engine.sign(dir / "missing.pdf", dir / "out.pdf", testCertificate(), std::nullopt);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No se ha podido leer «missing.pdf»: no existe.");
    }
    writeFile(dir / "doc.pdf", fixtures::textPDF(1));
    Certificate unknown = testCertificate();
    unknown.sha1 = "00112233445566778899AABBCCDDEEFF00112233";
    EXPECT_THROW(engine.sign(dir / "doc.pdf", dir / "out.pdf", unknown, std::nullopt),
                 SigningIdentity::Error);
    EXPECT_FALSE(fs::exists(dir / "out.pdf"));

    // A write that fails after signing leaves neither an output nor a changed source.
    const std::string source = readFile(dir / "doc.pdf");
    try {
        engine.sign(dir / "doc.pdf", dir / "gone" / "out.pdf", testCertificate(), std::nullopt);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No se ha podido guardar «out.pdf»: no existe.");
    }
    EXPECT_EQ(readFile(dir / "doc.pdf"), source);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// A page that does not exist fails before AutoFirma runs, with the own engine's sentence.
TEST(AutoFirmaEngine, APlacementPastTheLastPageFailsBeforeRunning) {
    TempDir dir;
    writeFile(dir / "doc.pdf", fixtures::textPDF(2));
    AutoFirmaEngine engine({"/nonexistent/java", "/nonexistent/autofirma.jar"});
    auto now = std::chrono::system_clock::now();
    EXPECT_THROW(engine.sign(dir / "doc.pdf", dir / "out.pdf", testCertificate(),
                             card(SignaturePlacement::Target::area(3, Rect{72, 72, 200, 60}), 2,
                                  Rect{72, 72, 200, 60}, now)),
                 PDFSigner::Failure);
    // On an existing page the run goes ahead (and here cannot start Java).
    EXPECT_THROW(engine.sign(dir / "doc.pdf", dir / "out.pdf", testCertificate(),
                             card(SignaturePlacement::Target::area(2, Rect{72, 72, 200, 60}), 1,
                                  Rect{72, 72, 200, 60}, now)),
                 ProcessLaunchError);
}

}  // namespace
