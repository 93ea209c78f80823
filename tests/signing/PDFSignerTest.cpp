#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFSecurity.h"
#include "signing/CMS.h"
#include "signing/PDFSigner.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

using DER::Bytes;

SigningIdentity rsaIdentity() {
    return SigningIdentity(testDatabase().rsaSHA1, testDatabase().dir);
}

PDFSigner::Render solidImage(std::vector<Size>* sizes = nullptr) {
    return [sizes](Size box) -> std::optional<PDFSigner::Appearance> {
        if (sizes) sizes->push_back(box);
        RasterImage image;
        image.width = 8;
        image.height = 4;
        image.rgba.assign(8 * 4 * 4, 0);
        for (std::size_t i = 3; i < image.rgba.size(); i += 4) image.rgba[i] = 255;  // black
        return PDFSigner::Appearance::image(std::move(image));
    };
}

// A one-page appearance PDF with an indirect font resource and a compressed content stream.
PDFSigner::Render vectorAppearance() {
    return [](Size box) -> std::optional<PDFSigner::Appearance> {
        fixtures::FixtureWriter w;
        w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
        w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
        w.object(3, "<</Type /Page /Parent 2 0 R /Resources <</Font <</F1 4 0 R >> >> "
                    "/Contents 5 0 R >>");
        w.object(4, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
        w.stream(5, "", "0 0 1 rg 0 0 " + std::to_string(box.width) + " " +
                            std::to_string(box.height) +
                            " re S BT /F1 10 Tf 4 4 Td (Firmado) Tj ET", true);
        return PDFSigner::Appearance::pdf(w.finishClassic("/Root 1 0 R"));
    };
}

struct ByteRange {
    std::int64_t a = 0, b = 0, c = 0, d = 0;
};

// The last /ByteRange of the file.
ByteRange lastByteRange(const std::string& pdf) {
    auto at = pdf.rfind("/ByteRange [");
    ByteRange range;
    std::sscanf(pdf.c_str() + at + 12, "%ld %ld %ld %ld", &range.a, &range.b, &range.c, &range.d);
    return range;
}

// Checks a signed output with the independent tools: prefix, byte range, openssl cms, qpdf and
// pdfsig (trusting the test CA). `signatures` is the number of signatures expected.
// Poppler 22 reports a field whose widget is a separate kid as unsigned: `pdfsigReads` false
// leaves pdfsig out for such fields.
void expectValidSignature(const std::string& in, const std::string& out,
                          const std::string& password = "", int signatures = 1,
                          bool pdfsigReads = true) {
    ASSERT_GE(out.size(), in.size());
    EXPECT_TRUE(out.compare(0, in.size(), in) == 0) << "the input is not a prefix of the output";

    ByteRange range = lastByteRange(out);
    EXPECT_EQ(range.a, 0);
    EXPECT_EQ(range.c, range.b + 48002);
    EXPECT_EQ(range.c + range.d, static_cast<std::int64_t>(out.size()));
    EXPECT_EQ(out[static_cast<std::size_t>(range.b)], '<');
    EXPECT_EQ(out[static_cast<std::size_t>(range.c - 1)], '>');
    std::string hex = out.substr(static_cast<std::size_t>(range.b + 1), 48000);
    Bytes der;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        der.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    der = DER::parse(der).encoded;

    testutil::TempDir dir;
    testutil::writeFile(dir / "out.pdf", out);
    testutil::writeFile(dir / "signed", out.substr(0, static_cast<std::size_t>(range.b)) +
                                            out.substr(static_cast<std::size_t>(range.c)));
    testutil::writeFile(dir / "sig.der", std::string(der.begin(), der.end()));
    auto cms = testutil::run({"openssl", "cms", "-verify", "-inform", "DER", "-in",
                              (dir / "sig.der").string(), "-binary", "-content",
                              (dir / "signed").string(), "-noverify", "-out", "/dev/null"});
    EXPECT_EQ(cms.exitCode, 0) << cms.err;
    EXPECT_EQ(fixtures::qpdfCheck(out, password), 0);
    if (!pdfsigReads) return;

    std::vector<std::string> argv{"pdfsig", "-nssdir", testDatabase().dir.string()};
    if (!password.empty()) argv.insert(argv.end(), {"-upw", password});
    argv.push_back((dir / "out.pdf").string());
    auto pdfsig = testutil::run(argv);
    EXPECT_EQ(pdfsig.exitCode, 0) << pdfsig.out << pdfsig.err;
    const std::string& report = pdfsig.out;
    auto last = report.rfind("Signature #" + std::to_string(signatures) + ":");
    ASSERT_NE(last, std::string::npos) << report;
    std::string lastReport = report.substr(last);
    EXPECT_NE(lastReport.find("Signature Type: ETSI.CAdES.detached"), std::string::npos) << report;
    EXPECT_NE(lastReport.find("Total document signed"), std::string::npos) << report;
    EXPECT_NE(lastReport.find("Signature Validation: Signature is Valid."), std::string::npos)
        << report;
    EXPECT_NE(lastReport.find("Certificate Validation: Certificate is Trusted."),
              std::string::npos)
        << report;
}

TEST(PDFSigner, FixturesValidateWithIndependentTools) {
    PDFSigner signer(rsaIdentity(), "Juan Español Pérez");
    signer.appearance = solidImage();
    const std::string plain = fixtures::textPDF(2);
    std::vector<std::pair<std::string, std::string>> inputs{
        {"plain", plain},
        {"compressed", fixtures::textPDF(2, true)},
        {"object streams", fixtures::qpdf(plain, {"--object-streams=generate"})},
        {"linearized", fixtures::qpdf(plain, {"--linearize"})},
    };
    std::string damaged = plain;
    damaged.replace(damaged.rfind("startxref\n") + 10, 1, "9");  // a wrong table offset
    inputs.push_back({"reconstructed", damaged});
    for (auto cipher : fixtures::allCiphers())
        inputs.push_back({fixtures::cipherName(cipher), fixtures::encrypt(plain, cipher)});

    bool vector = false;
    for (const auto& [name, input] : inputs) {
        SCOPED_TRACE(name);
        signer.appearance = vector ? vectorAppearance() : solidImage();
        vector = !vector;
        if (name == "reconstructed") {
            ASSERT_TRUE(PDFFile(input).wasReconstructed());
        }
        std::string out = signer.sign(input, PDFSigner::Placement::area(1, {300, 100, 200, 60}));
        expectValidSignature(input, out);
    }
}

TEST(PDFSigner, SigningTwiceKeepsBothSignatures) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    const std::string input = fixtures::textPDF(1);
    std::string once = signer.sign(input, PDFSigner::Placement::invisible());
    std::string twice = signer.sign(once, PDFSigner::Placement::area(0, {50, 50, 150, 50}));
    expectValidSignature(once, twice, "", 2);

    testutil::TempDir dir;
    testutil::writeFile(dir / "twice.pdf", twice);
    auto pdfsig = testutil::run({"pdfsig", "-nocert", (dir / "twice.pdf").string()});
    auto first = pdfsig.out.substr(pdfsig.out.find("Signature #1:"),
                                   pdfsig.out.find("Signature #2:") - pdfsig.out.find("Signature #1:"));
    EXPECT_NE(first.find("Not total document signed"), std::string::npos) << pdfsig.out;
    EXPECT_NE(first.find("Signature is Valid."), std::string::npos) << pdfsig.out;

    PDFFile file(twice);
    const auto* fields = file.dictionary(file.catalog()->get("AcroForm"))->get("Fields")->array();
    ASSERT_EQ(fields->size(), 2u);
    EXPECT_EQ(file.dictionary(&(*fields)[0])->get("T")->text(), "Signature1");
    EXPECT_EQ(file.dictionary(&(*fields)[1])->get("T")->text(), "Signature2");
}

TEST(PDFSigner, ToolSignsVisiblyAndReportsErrors) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", fixtures::textPDF(1));
    const std::string tool = (testutil::toolsDir() / "pdfsign").string();
    auto visible = testutil::run({tool, "--nssdb", testDatabase().dir.string(), "--cert",
                                  testDatabase().ecSHA1, "--page", "1", "--rect",
                                  "100,100,200,60", (dir / "in.pdf").string(),
                                  (dir / "out.pdf").string()});
    ASSERT_EQ(visible.exitCode, 0) << visible.err;
    expectValidSignature(fixtures::textPDF(1), testutil::readFile(dir / "out.pdf"));
    auto text = testutil::run({"pdftotext", (dir / "out.pdf").string(), "-"});
    EXPECT_NE(text.out.find("Gómez Ruiz"), std::string::npos) << text.out;

    auto missing = testutil::run({tool, "--nssdb", testDatabase().dir.string(), "--cert", "abc",
                                  (dir / "in.pdf").string(), (dir / "x.pdf").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err,
              "No se ha encontrado el certificado abc en el almacén de certificados.\n");
    auto field = testutil::run({tool, "--nssdb", testDatabase().dir.string(), "--cert",
                                testDatabase().rsaSHA1, "--field", "Firma",
                                (dir / "in.pdf").string(), (dir / "x.pdf").string()});
    EXPECT_EQ(field.exitCode, 1);
    EXPECT_EQ(field.err, "No se encuentra el campo de firma «Firma».\n");
}

template <typename F>
std::string failureOf(F&& f) {
    try {
        f();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

// A document written by hand: catalog 1 with `catalogExtra`, pages 2, one page 3 with
// `pageExtra`, then the extra objects.
std::string handMade(const std::string& catalogExtra, const std::string& pageExtra,
                     const std::vector<std::pair<int, std::string>>& objects = {},
                     const std::string& rootKeys = "/Root 1 0 R") {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R " + catalogExtra + ">>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + pageExtra + ">>");
    for (const auto& [number, body] : objects) w.object(number, body);
    return w.finishClassic(rootKeys);
}

TEST(PDFSigner, RefusalsInOrder) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    const std::string input = fixtures::textPDF(1);
    auto invisible = PDFSigner::Placement::invisible();

    fixtures::EncryptOptions restrictedOptions;
    restrictedOptions.restricted = true;
    std::string restricted = fixtures::encrypt(input, fixtures::Cipher::aes256R6, restrictedOptions);
    const char* restrictedText =
        "Las restricciones del PDF no permiten firmarlo (no admite cambios ni rellenar campos).";
    EXPECT_EQ(failureOf([&] { signer.sign(restricted, invisible); }), restrictedText);
    EXPECT_EQ(failureOf([&] { signer.sign(restricted, PDFSigner::Placement::field("x")); }),
              restrictedText);

    auto certifiedWith = [&](const std::string& params) {
        return handMade("/Perms <</DocMDP 4 0 R >>", "",
                        {{4, "<</Type /Sig /Reference [<</Type /SigRef /TransformMethod /DocMDP "
                             "/TransformParams 5 0 R >>] >>"},
                         {5, "<</Type /TransformParams " + params + " /V /1.2 >>"}});
    };
    EXPECT_EQ(failureOf([&] { signer.sign(certifiedWith("/P 1"), invisible); }),
              "El PDF está certificado y no admite más firmas.");
    for (std::string params : {"/P 2", "/P 3", ""}) {
        EXPECT_EQ(failureOf([&] { signer.sign(certifiedWith(params), invisible); }), "")
            << params;
    }
    // Restricted comes before certified.
    std::string both = fixtures::encrypt(certifiedWith("/P 1"), fixtures::Cipher::aes128,
                                         restrictedOptions);
    EXPECT_EQ(failureOf([&] { signer.sign(both, invisible); }), restrictedText);

    fixtures::FixtureWriter direct;
    direct.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    direct.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    std::string directCatalog = direct.finishClassic("/Root <</Type /Catalog /Pages 2 0 R >>");
    EXPECT_EQ(failureOf([&] { signer.sign(directCatalog, invisible); }),
              "No se encuentra el catálogo del PDF");

    fixtures::EncryptOptions password;
    password.userPassword = "abierto";
    try {
        signer.sign(fixtures::encrypt(input, fixtures::Cipher::aes256R6, password), invisible);
        FAIL();
    } catch (const PDFSecurity::Failure& failure) {
        EXPECT_EQ(failure.kind(), PDFSecurity::Failure::Kind::needsPassword);
    }

    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::area(-1, {0, 0, 9, 9})); }),
              "No se encuentra la página de la firma.");
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::area(1, {0, 0, 9, 9})); }),
              "No se encuentra la página de la firma.");
}

// The output opened again, with helpers to read the new objects.
struct Signed {
    explicit Signed(std::string bytes) : file(std::move(bytes)) {}
    PDFFile file;
    const PDFDictionary* acroForm() { return file.dictionary(file.catalog()->get("AcroForm")); }
    std::vector<PDFObject> fields() { return *file.resolve(acroForm()->get("Fields"))->array(); }
    const PDFDictionary* dictionary(const PDFObject& value) { return file.dictionary(&value); }
    const PDFDictionary* page(int index) {
        return file.dictionary(file.object(file.pageRefs().at(static_cast<std::size_t>(index))));
    }
};

// The signer finds the page of an area by walking the page tree only as far as that page: on an
// irregular tree (nested nodes, a node listed twice, a cycle, a leaf without /Type, a /Page with
// /Kids, a missing kid) it still names the page that PDFFile::pageRefs() gives for the index.
TEST(PDFSigner, AreaPageIsThePageTreesPageAtTheIndex) {
    fixtures::FixtureWriter w;
    const std::string page = "/Parent 2 0 R /MediaBox [0 0 595 842]";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [10 0 R 3 0 R 11 0 R 3 0 R 2 0 R 12 0 R 99 0 R] /Count 5 >>");
    w.object(3, "<</Type /Page " + page + " >>");
    w.object(4, "<</Type /Page /Parent 10 0 R /MediaBox [0 0 595 842] >>");
    w.object(5, "<</Type /Page /Parent 13 0 R /MediaBox [0 0 595 842] >>");
    w.object(10, "<</Type /Pages /Parent 2 0 R /Kids [4 0 R 13 0 R] /Count 2 >>");
    w.object(11, "<<" + page + " >>");
    w.object(12, "<</Type /Page " + page + " /Kids [3 0 R] >>");
    w.object(13, "<</Type /Pages /Parent 10 0 R /Kids [5 0 R 10 0 R] /Count 1 >>");
    const std::string input = w.finishClassic("/Root 1 0 R");
    PDFFile original{std::string(input)};
    const std::vector<PDFRef> pages = original.pageRefs();
    std::vector<std::int64_t> numbers;
    for (PDFRef ref : pages) numbers.push_back(ref.number);
    ASSERT_EQ(numbers, (std::vector<std::int64_t>{4, 5, 3, 11, 12}));

    PDFSigner signer(rsaIdentity(), "Firmante");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        Signed out(signer.sign(input, PDFSigner::Placement::area(static_cast<int>(i), Rect{})));
        const PDFObject* p = out.dictionary(out.fields().back())->get("P");
        ASSERT_TRUE(p && p->reference()) << i;
        EXPECT_EQ(p->reference()->number, pages[i].number) << i;
    }
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::area(5, Rect{})); }),
              "No se encuentra la página de la firma.");
}

TEST(PDFSigner, InvisibleSignatureAndNewAcroForm) {
    PDFSigner signer(rsaIdentity(), "Firmante", std::chrono::system_clock::now(), solidImage());
    const std::string input = fixtures::textPDF(1);
    Signed out(signer.sign(input, PDFSigner::Placement::invisible()));
    const PDFDictionary* acroForm = out.acroForm();
    ASSERT_TRUE(acroForm);
    EXPECT_FALSE(out.file.catalog()->get("AcroForm")->reference());  // direct
    EXPECT_EQ(acroForm->keys(), (std::vector<std::string>{"SigFlags", "Fields"}));
    EXPECT_EQ(acroForm->get("SigFlags")->integer(), 3);
    auto fields = out.fields();
    ASSERT_EQ(fields.size(), 1u);
    const PDFDictionary* widget = out.dictionary(fields[0]);
    EXPECT_EQ(widget->keys(), (std::vector<std::string>{"Type", "Subtype", "FT", "T", "F", "Rect",
                                                        "P", "V"}));
    EXPECT_EQ(widget->get("F")->integer(), 132);
    for (const auto& number : *widget->get("Rect")->array()) EXPECT_EQ(number.number(), 0.0);
    EXPECT_EQ(*widget->get("P")->reference(), out.file.pageRefs()[0]);
    auto annots = out.file.resolve(out.page(0)->get("Annots"))->array();
    ASSERT_EQ(annots->size(), 1u);
    EXPECT_EQ(*(*annots)[0].reference(), *fields[0].reference());
    // The signature dictionary has the lowest new number and the highest offset.
    PDFRef signature = *widget->get("V")->reference();
    EXPECT_EQ(signature.number, PDFFile(input).size());
    const std::int64_t signatureOffset = out.file.entries().at(signature.number).offset();
    for (const auto& [number, entry] : out.file.entries()) {
        if (entry.kind == PDFFile::Entry::Kind::offset) {
            EXPECT_LE(entry.offset(), signatureOffset) << "object " << number;
        }
    }

    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::field("Signature1")); }),
              "No se encuentra el campo de firma «Signature1».");
}

TEST(PDFSigner, SignatureDictionaryText) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    struct ZoneGuard {
        const char* old = std::getenv("TZ");
        std::string saved = old ? old : "";
        ~ZoneGuard() {
            if (old) {
                setenv("TZ", saved.c_str(), 1);
            } else {
                unsetenv("TZ");
            }
            tzset();
        }
    } guard;
    setenv("TZ", "America/Bogota", 1);
    tzset();
    std::tm moment{};
    moment.tm_year = 2024 - 1900;
    moment.tm_mon = 2;
    moment.tm_mday = 5;
    moment.tm_hour = 9;
    moment.tm_min = 8;
    moment.tm_sec = 7;
    signer.date = std::chrono::system_clock::from_time_t(timegm(&moment));
    std::string body = signer.signatureDictionary(PDFRef(9), nullptr);
    setenv("TZ", "UTC", 1);
    tzset();
    std::string utc = PDFSigner::pdfDate(signer.date);

    EXPECT_EQ(body.substr(0, 72),
              "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached /M ");
    EXPECT_EQ(body.substr(72, 27), "(D:20240305040807-05'00') /");
    EXPECT_EQ(utc, "D:20240305090807+00'00'");
    EXPECT_NE(body.find(" /Name (Firmante) /Prop_Build << /App << /Name /Tindra /REx (1.0) >> >> "
                        "/ByteRange [0 0000000000 0000000000 0000000000] /Contents <00000"),
              std::string::npos);
    EXPECT_EQ(body.substr(body.size() - 5), "0> >>");
    EXPECT_EQ(body.size() - body.find("/Contents <") - 11, 48000u + 4);

    signer.signerName = "José";
    EXPECT_NE(signer.signatureDictionary(PDFRef(9), nullptr).find("/Name <FEFF004A006F007300E9>"),
              std::string::npos);

    // Encrypted: the three strings are hexadecimal ciphertext; the placeholders stay plain.
    std::string encrypted = fixtures::encrypt(fixtures::textPDF(1), fixtures::Cipher::aes128);
    PDFFile file(encrypted);
    std::string sealed = signer.signatureDictionary(PDFRef(9), file.security());
    EXPECT_EQ(sealed.find("(D:"), std::string::npos);
    EXPECT_NE(sealed.find("/REx <"), std::string::npos);
    EXPECT_NE(sealed.find("/ByteRange [0 0000000000 0000000000 0000000000] /Contents <0000"),
              std::string::npos);

    // Small numbers are padded with trailing spaces.
    Signed out(signer.sign(fixtures::textPDF(1), PDFSigner::Placement::invisible()));
    std::string bytes = out.file.data();
    auto at = bytes.rfind("/ByteRange [");
    std::string text = bytes.substr(at + 11, 36);
    EXPECT_EQ(text.find("[0 "), 0u);
    auto close = text.find(']');
    EXPECT_EQ(text.find_first_not_of(' ', close + 1), std::string::npos);
    EXPECT_EQ(text.find(" 0", 2), std::string::npos);
}

// A store with one certificate whose "signature" has a chosen length.
class SizedStore : public IdentityStore {
public:
    Bytes certificate;
    std::size_t length = 0;
    std::vector<Bytes> identityCertificates() override { return {certificate}; }
    std::optional<KeyType> keyType(std::size_t) override { return KeyType::rsa; }
    std::vector<Bytes> chain(std::size_t) override { return {certificate}; }
    Bytes signRaw(std::size_t, const Bytes&) override { return Bytes(length, 0x5A); }
};

TEST(PDFSigner, ReservedSpace) {
    auto issued = testpki::sharedCA().issue(testpki::CertSpec{});
    auto store = std::make_shared<SizedStore>();
    store->certificate = Bytes(issued.der.begin(), issued.der.end());
    SigningIdentity identity(issued.sha1, store);
    auto cmsSize = [&](std::size_t length) {
        store->length = length;
        return CMS::signedData(Bytes(32), identity.certificate, identity.chain, identity.keyKind,
                               [&](const Bytes& a) { return identity.sign(a); })
            .size();
    };
    std::size_t length = 24000 - cmsSize(0);
    while (cmsSize(length) > 24000) --length;
    while (cmsSize(length + 1) <= 24000) ++length;
    ASSERT_EQ(cmsSize(length), 24000u);

    PDFSigner signer(identity, "Firmante");
    store->length = length;
    std::string out = signer.sign(fixtures::textPDF(1), PDFSigner::Placement::invisible());
    ByteRange range = lastByteRange(out);
    std::string contents = out.substr(static_cast<std::size_t>(range.b + 1), 48000);
    EXPECT_EQ(contents.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(contents.substr(47990), "0000000000");  // filled to the end

    store->length = length + 1;
    std::size_t tooLarge = cmsSize(length + 1);
    EXPECT_EQ(failureOf([&] {
                  signer.sign(fixtures::textPDF(1), PDFSigner::Placement::invisible());
              }),
              "La firma (" + std::to_string(tooLarge) + " bytes) no cabe en el espacio reservado.");
}

TEST(PDFSigner, FieldPlacements) {
    PDFSigner signer(rsaIdentity(), "Firmante", std::chrono::system_clock::now(), solidImage());
    // form.sig with a kid widget without /T; Signature1 and Signature3 at the top level, plus a
    // lower-case signature2 that does not count.
    std::string input = handMade(
        "/AcroForm 4 0 R", "/Annots [7 0 R]",
        {{4, "<</Fields 5 0 R >>"},
         {5, "[6 0 R 9 0 R 10 0 R 11 0 R 12 0 R 13 0 R]"},
         {6, "<</T (form) /Kids [8 0 R] >>"},
         {7, "<</Type /Annot /Subtype /Widget /Rect [300 700 100 650] /Parent 8 0 R /P 3 0 R >>"},
         {8, "<</T (sig) /FT /Sig /Parent 6 0 R /Kids [7 0 R] >>"},
         {9, "<</T (Signature1) /FT /Sig >>"},
         {10, "<</T (Signature3) /FT /Sig >>"},
         {11, "<</T (signature2) /FT /Tx >>"},
         {12, "<</T (firmado) /FT /Sig /V <</Type /Sig >> >>"},
         {13, "<</T (texto) /FT /Tx /Rect [0 0 100 100] >>"}});
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::field("sig")); }),
              "No se encuentra el campo de firma «sig».");
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::field("firmado")); }),
              "No se encuentra el campo de firma «firmado».");
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::field("texto")); }),
              "No se encuentra el campo de firma «texto».");

    std::string out = signer.sign(input, PDFSigner::Placement::field("form.sig"));
    expectValidSignature(input, out, "", 1, false);
    Signed file(out);
    const PDFDictionary* field = file.file.dictionary(file.file.object(PDFRef(8)));
    EXPECT_TRUE(file.file.dictionary(field->get("V")));
    const PDFDictionary* widget = file.file.dictionary(file.file.object(PDFRef(7)));
    ASSERT_TRUE(widget->get("AP"));
    const PDFDictionary* form = file.file.dictionary(file.file.dictionary(widget->get("AP"))->get("N"));
    auto bbox = *form->get("BBox")->array();
    EXPECT_EQ(bbox[2].number(), 200.0);
    EXPECT_EQ(bbox[3].number(), 50.0);
    // /Annots untouched: the page was not rewritten.
    EXPECT_EQ(out.find("3 0 obj", input.size()), std::string::npos);

    Signed area(signer.sign(input, PDFSigner::Placement::area(0, {10, 10, 100, 40})));
    auto fields = area.fields();
    EXPECT_EQ(area.dictionary(fields.back())->get("T")->text(), "Signature2");
    auto annots = area.file.resolve(area.page(0)->get("Annots"))->array();
    EXPECT_EQ(annots->size(), 2u);

    // A field that is its own widget.
    std::string own = handMade("/AcroForm <</Fields [4 0 R] >>", "/Annots [4 0 R]",
                               {{4, "<</T (Firma) /FT /Sig /Type /Annot /Subtype /Widget "
                                    "/Rect [10 10 110 60] >>"}});
    std::string ownSigned = signer.sign(own, PDFSigner::Placement::field("Firma"));
    expectValidSignature(own, ownSigned);
    Signed ownOut(ownSigned);
    const PDFDictionary* ownField = ownOut.file.dictionary(ownOut.file.object(PDFRef(4)));
    EXPECT_TRUE(ownField->get("AP"));
    EXPECT_TRUE(ownOut.file.dictionary(ownField->get("V")));
}

TEST(PDFSigner, IndirectArraysAndDamage) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    std::string input = handMade("/AcroForm 4 0 R", "/Annots 6 0 R",
                                 {{4, "<</Fields 5 0 R /DA (/Helv 0 Tf 0 g) >>"},
                                  {5, "[]"},
                                  {6, "[]"}});
    std::string out = signer.sign(input, PDFSigner::Placement::area(0, {10, 10, 100, 40}));
    EXPECT_EQ(out.find("\n3 0 obj", input.size()), std::string::npos);  // page not rewritten
    EXPECT_NE(out.find("\n6 0 obj", input.size()), std::string::npos);
    EXPECT_NE(out.find("\n5 0 obj", input.size()), std::string::npos);
    EXPECT_NE(out.find("\n4 0 obj", input.size()), std::string::npos);
    EXPECT_EQ(out.find("\n1 0 obj", input.size()), std::string::npos);
    Signed file(out);
    EXPECT_EQ(file.acroForm()->keys(), (std::vector<std::string>{"Fields", "DA", "SigFlags"}));
    EXPECT_EQ(file.fields().size(), 1u);

    const char* damagedForm = "El formulario del PDF está dañado y no se puede firmar.";
    // An object of the wrong type is damage; a reference to an object the file lacks reads as
    // null, so the signer makes a new value in its place.
    EXPECT_EQ(failureOf([&] {
                  signer.sign(handMade("/AcroForm 40 0 R", "", {{40, "[1 2]"}}),
                              PDFSigner::Placement::invisible());
              }),
              damagedForm);
    EXPECT_EQ(failureOf([&] {
                  signer.sign(handMade("/AcroForm <</Fields 40 0 R >>", "", {{40, "<< >>"}}),
                              PDFSigner::Placement::invisible());
              }),
              damagedForm);
    EXPECT_EQ(failureOf([&] {
                  signer.sign(handMade("", "/Annots 40 0 R", {{40, "5"}}),
                              PDFSigner::Placement::invisible());
              }),
              "Las anotaciones de la página del PDF están dañadas y no se puede firmar.");
    for (auto [catalogExtra, pageExtra] :
         {std::pair<std::string, std::string>{"/AcroForm 40 0 R", ""},
          {"/AcroForm <</Fields 40 0 R >>", ""},
          {"", "/Annots 40 0 R"}}) {
        std::string input = handMade(catalogExtra, pageExtra);
        std::string signedCopy = signer.sign(input, PDFSigner::Placement::area(0, {72, 72, 100, 40}));
        EXPECT_EQ(fixtures::qpdfCheck(signedCopy), 0) << catalogExtra << pageExtra;
        PDFFile out(signedCopy);
        EXPECT_EQ(out.object(PDFRef(40)), nullptr) << "object 40 defined by the update";
        const PDFDictionary* acroForm = out.dictionary(out.catalog()->get("AcroForm"));
        ASSERT_TRUE(acroForm);
        const PDFObject* fields = out.resolve(acroForm->get("Fields"));
        ASSERT_TRUE(fields && fields->array());
        EXPECT_EQ(fields->array()->size(), 1u);
        const PDFObject page = PDFObject::reference(out.pageRefs()[0]);
        const PDFObject* annots = out.resolve(out.dictionary(&page)->get("Annots"));
        ASSERT_TRUE(annots && annots->array());
        EXPECT_EQ(annots->array()->size(), 1u);
    }

    // A field 32 levels deep is not found; 31 levels deep is.
    auto deep = [&](int depth) {
        std::vector<std::pair<int, std::string>> objects;
        std::string name;
        for (int level = 0; level <= depth; ++level) {
            int number = 10 + level;
            std::string body = "<</T (n" + std::to_string(level) + ")";
            if (level < depth) body += " /Kids [" + std::to_string(number + 1) + " 0 R]";
            else body += " /FT /Sig";
            objects.push_back({number, body + " >>"});
            name += (level ? "." : "") + std::string("n") + std::to_string(level);
        }
        return std::make_pair(handMade("/AcroForm <</Fields [10 0 R] >>", "", objects), name);
    };
    const auto ok = deep(31);
    EXPECT_EQ(failureOf([&] { signer.sign(ok.first, PDFSigner::Placement::field(ok.second)); }),
              "");
    const auto tooDeep = deep(32);
    EXPECT_EQ(failureOf([&] {
                  signer.sign(tooDeep.first, PDFSigner::Placement::field(tooDeep.second));
              }),
              "No se encuentra el campo de firma «" + tooDeep.second + "».");
}

TEST(PDFSigner, SignsAFileWithAMalformedUnusedObject) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    std::string input = handMade("", "", {{14, "<< endstream"}});
    std::string output;
    EXPECT_EQ(failureOf([&] {
                  output = signer.sign(input, PDFSigner::Placement::area(0, {72, 72, 100, 40}));
              }),
              "");
    EXPECT_EQ(output.compare(0, input.size(), input), 0);
    EXPECT_FALSE(PDFFile(output).wasReconstructed());
}

TEST(PDFSigner, FieldTypeInheritedFromTheParent) {
    PDFSigner signer(rsaIdentity(), "Firmante");
    // Terminal fields without their own /FT: a signature field under a /Sig parent, a text field
    // under a /Tx parent.
    std::string input = handMade(
        "/AcroForm <</Fields [4 0 R 6 0 R] >>", "/Annots [5 0 R 7 0 R]",
        {{4, "<</T (firmas) /FT /Sig /Kids [5 0 R] >>"},
         {5, "<</T (uno) /Parent 4 0 R /Type /Annot /Subtype /Widget /Rect [10 10 110 60] "
             "/P 3 0 R >>"},
         {6, "<</T (textos) /FT /Tx /Kids [7 0 R] >>"},
         {7, "<</T (dos) /Parent 6 0 R /Type /Annot /Subtype /Widget /Rect [10 70 110 120] "
             "/P 3 0 R >>"}});
    EXPECT_EQ(failureOf([&] { signer.sign(input, PDFSigner::Placement::field("textos.dos")); }),
              "No se encuentra el campo de firma «textos.dos».");
    std::string out = signer.sign(input, PDFSigner::Placement::field("firmas.uno"));
    expectValidSignature(input, out);
    Signed file(out);
    EXPECT_TRUE(file.file.dictionary(file.file.dictionary(file.file.object(PDFRef(5)))->get("V")));
}

// Field trees and pages built to make the searches repeat work: the signer must still answer
// at once (in seconds of processor time).
TEST(PDFSigner, HostileFieldTreesAndPagesEndQuickly) {
    PDFSigner signer(rsaIdentity(), "Firmante", std::chrono::system_clock::now(), solidImage());
    auto timed = [&](const std::string& input, const std::string& name) {
        const double start = testutil::processorSeconds();
        std::string failure = failureOf([&] { signer.sign(input, PDFSigner::Placement::field(name)); });
        return std::make_pair(failure, testutil::processorSeconds() - start);
    };

    // Every level's /Kids names the next level twice, and each partial name is 20 KB long: full
    // names grow with the depth while the walk doubles at every level.
    std::vector<std::pair<int, std::string>> objects;
    const std::string longName(20000, 'n');
    for (int level = 0; level < 31; ++level) {
        std::string next = std::to_string(11 + level) + " 0 R";
        objects.push_back({10 + level, "<</T (" + longName + ") /Kids [" + next + " " + next +
                                           "] >>"});
    }
    objects.push_back({41, "<</T (hoja) /FT /Sig >>"});
    auto [longFailure, longTime] =
        timed(handMade("/AcroForm <</Fields [10 0 R] >>", "", objects), "no.existe");
    EXPECT_EQ(longFailure, "No se encuentra el campo de firma «no.existe».");
    EXPECT_LT(longTime, 30.0);

    // A node that is its own kid, through a /Kids array padded with 50000 numbers.
    std::string padded = "[4 0 R 4 0 R";
    for (int i = 0; i < 50000; ++i) padded += " 0";
    auto [loopFailure, loopTime] = timed(
        handMade("/AcroForm <</Fields [4 0 R] >>", "",
                 {{4, "<</T (a) /Kids 5 0 R >>"}, {5, padded + "]"}}),
        "b");
    EXPECT_EQ(loopFailure, "No se encuentra el campo de firma «b».");
    EXPECT_LT(loopTime, 30.0);

    // A widget on no page (and without /P) among 10000 pages that share one /Annots array of
    // 50000 entries: the array is searched once.
    fixtures::FixtureWriter w;
    const int pageCount = 10000;
    w.object(1, "<</Type /Catalog /Pages 2 0 R /AcroForm <</Fields [4 0 R] >> >>");
    std::string kids;
    for (int i = 0; i < pageCount; ++i) kids += std::to_string(10 + i) + " 0 R ";
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageCount) + " >>");
    w.object(4, "<</T (Firma) /FT /Sig /Type /Annot /Subtype /Widget /Rect [10 10 110 60] >>");
    std::string annots = "[";
    for (int i = 0; i < 50000; ++i) annots += "5 0 R ";
    w.object(5, annots + "]");
    for (int i = 0; i < pageCount; ++i)
        w.object(10 + i, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 5 0 R >>");
    auto [pagesFailure, pagesTime] = timed(w.finishClassic("/Root 1 0 R"), "Firma");
    EXPECT_EQ(pagesFailure, "");
    EXPECT_LT(pagesTime, 30.0);
}

}  // namespace
