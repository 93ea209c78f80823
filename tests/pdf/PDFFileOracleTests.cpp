// PDFFile against qpdf on files qpdf wrote: object streams, linearized, QDF, every cipher.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <memory>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFParser.h"
#include "pdf/PDFSerializer.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using fixtures::Cipher;

namespace {

// Three pages with compressed contents, an XML metadata stream and an /Info with a UTF-16 title
// and a Latin-1 author.
const std::string& basePDF() {
    static const std::string pdf = [] {
        fixtures::FixtureWriter w;
        w.object(1, "<</Type /Catalog /Pages 2 0 R /Metadata 4 0 R >>");
        w.object(2, "<</Type /Pages /Kids [5 0 R 7 0 R 9 0 R] /Count 3 >>");
        w.object(
            3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
        w.stream(4, "/Type /Metadata /Subtype /XML",
                 "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta/>");
        for (int i = 0; i < 3; ++i) {
            const int page = 5 + 2 * i;
            w.object(page,
                     "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources <</Font <</F1 "
                     "3 0 R >> >> "
                     "/Contents " +
                         std::to_string(page + 1) + " 0 R >>");
            w.stream(page + 1, "",
                     fixtures::textContent({"Página " + std::to_string(i + 1), "Firma:"}), true);
        }
        w.object(11, "<</Title <FEFF00D100E1006D0065> /Author (Jos\\351 Mu\\361oz) >>");
        return w.finishClassic(
            "/Root 1 0 R /Info 11 0 R /ID [<00112233445566778899aabbccddeeff> "
            "<00112233445566778899aabbccddeeff>]");
    }();
    return pdf;
}

struct Variant {
    std::string name;
    std::string bytes;
    bool encrypted = false;
    bool signable = true;
};

// The fixtures, made by qpdf in parallel.
std::vector<Variant> variants() {
    const std::string& base = basePDF();
    using Make = std::function<std::string()>;
    struct Recipe {
        std::string name;
        Make make;
        bool encrypted;
        bool signable;
    };
    std::vector<Recipe> recipes{
        {"classic", [&] { return base; }, false, true},
        {"objectStreams", [&] { return fixtures::qpdf(base, {"--object-streams=generate"}); },
         false, true},
        {"linearized", [&] { return fixtures::qpdf(base, {"--linearize"}); }, false, true},
        {"qdf", [&] { return fixtures::qpdf(base, {"--qdf"}); }, false, true},
        {"aes256R6+objectStreams",
         [&] {
             return fixtures::qpdf(fixtures::encrypt(base, Cipher::aes256R6),
                                   {"--object-streams=generate"});
         },
         true, true},
        {"restricted rc4_40",
         [&] { return fixtures::encrypt(base, Cipher::rc4_40, {.restricted = true}); }, true,
         false},
        {"restricted aes256R6",
         [&] { return fixtures::encrypt(base, Cipher::aes256R6, {.restricted = true}); }, true,
         false},
    };
    for (Cipher cipher : fixtures::allCiphers()) {
        recipes.push_back({fixtures::cipherName(cipher),
                           [&base, cipher] { return fixtures::encrypt(base, cipher); }, true,
                           true});
    }
    std::vector<std::future<std::string>> made;
    for (const Recipe& recipe : recipes)
        made.push_back(std::async(std::launch::async, recipe.make));
    std::vector<Variant> all;
    for (std::size_t i = 0; i < recipes.size(); ++i) {
        all.push_back({recipes[i].name, made[i].get(), recipes[i].encrypted, recipes[i].signable});
    }
    return all;
}

PDFObject parseShown(const std::string& text) {
    PDFParser parser(text);
    return parser.parseObject();
}

// qpdf shows dictionary keys sorted; files written by other producers keep their own order.
PDFObject sorted(const PDFObject& object) {
    if (const auto* elements = object.array()) {
        std::vector<PDFObject> copy;
        for (const PDFObject& element : *elements) copy.push_back(sorted(element));
        return PDFObject::array(std::move(copy));
    }
    if (object.kind() == PDFObject::Kind::dictionary) {
        auto entries = object.dictionary()->entries();
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        PDFDictionary result;
        for (auto& [key, value] : entries) result.set(key, sorted(value));
        return PDFObject::dictionary(std::move(result));
    }
    return object;
}

std::string canonical(const PDFObject& object) {
    return PDFSerializer::data(sorted(object));
}

void checkVariant(const Variant& variant) {
    SCOPED_TRACE(variant.name);
    std::unique_ptr<PDFFile> file;
    ASSERT_NO_THROW(file = std::make_unique<PDFFile>(variant.bytes));
    EXPECT_FALSE(file->wasReconstructed());
    EXPECT_EQ(static_cast<int>(file->pageRefs().size()), fixtures::qpdfPageCount(variant.bytes));
    EXPECT_EQ(file->isEncrypted(), variant.encrypted);
    if (variant.encrypted) {
        ASSERT_NE(file->security(), nullptr);
        EXPECT_EQ(fixtures::hex(file->security()->key()),
                  fixtures::qpdfEncryptionKey(variant.bytes));
        EXPECT_EQ(file->security()->allowsSigning(), variant.signable);
    }

    // Sampled objects: the info dictionary (strings), the first page, its content stream and
    // the metadata stream (kept in clear by --cleartext-metadata).
    const auto info = file->trailer().get("Info")->reference();
    const PDFRef page = file->pageRefs().at(0);
    const auto contents = file->dictionary(file->object(page))->get("Contents")->reference();
    const auto metadata = file->catalog()->get("Metadata")->reference();
    ASSERT_TRUE(info && contents && metadata);
    for (PDFRef ref : {*info, page}) {
        const PDFObject* ours = file->object(ref);
        ASSERT_NE(ours, nullptr) << ref.description();
        EXPECT_EQ(canonical(*ours),
                  canonical(parseShown(fixtures::qpdfShowObject(variant.bytes, ref.number))))
            << ref.description();
    }
    const PDFObject* title = file->object(*info);
    EXPECT_EQ(title->dictionary()->get("Title")->text(), "Ñáme");
    EXPECT_EQ(title->dictionary()->get("Author")->text(), "José Muñoz");
    for (PDFRef ref : {*contents, *metadata}) {
        const PDFObject* ours = file->object(ref);
        ASSERT_TRUE(ours && ours->stream()) << ref.description();
        EXPECT_EQ(PDFFilters::decode(ours->stream()->data, ours->stream()->dictionary),
                  fixtures::qpdfShowObject(variant.bytes, ref.number, true))
            << ref.description();
    }
}

}  // namespace

TEST(PDFFileOracle, PagesKeysObjectsAndStreamsMatchQpdf) {
    // Each fixture is checked on its own thread (each with its own PDFFile); qpdf does the work.
    const std::vector<Variant> all = variants();
    std::vector<std::future<void>> checks;
    for (const Variant& variant : all) {
        checks.push_back(std::async(std::launch::async, [&variant] { checkVariant(variant); }));
    }
    for (auto& check : checks) check.get();
}

TEST(PDFFileOracle, UserPasswordFailsForEveryRevision) {
    const std::string base = fixtures::textPDF(1);
    for (Cipher cipher : fixtures::allCiphers()) {
        SCOPED_TRACE(fixtures::cipherName(cipher));
        const std::string locked = fixtures::encrypt(base, cipher, {.userPassword = "secreto"});
        try {
            PDFFile file(locked);
            ADD_FAILURE() << "opened";
        } catch (const PDFSecurity::Failure& failure) {
            EXPECT_EQ(failure.kind(), PDFSecurity::Failure::Kind::needsPassword);
            EXPECT_STREQ(
                failure.what(),
                "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
        }
    }
}

TEST(PDFFileOracle, InspectDriver) {
    testutil::TempDir dir;
    const auto tool = (testutil::toolsDir() / "pdfinspect").string();
    const auto plain = dir / "plain.pdf";
    const auto encrypted = dir / "cifrado.pdf";
    const auto locked = dir / "bloqueado.pdf";
    testutil::writeFile(plain, fixtures::qpdf(basePDF(), {"--object-streams=generate"}));
    testutil::writeFile(encrypted, fixtures::encrypt(basePDF(), Cipher::aes128));
    testutil::writeFile(locked,
                        fixtures::encrypt(basePDF(), Cipher::aes256R6, {.userPassword = "x"}));

    auto summary = testutil::run({tool, plain.string()});
    EXPECT_EQ(summary.exitCode, 0);
    PDFFile plainFile(testutil::readFile(plain));
    EXPECT_EQ(
        summary.out,
        "{\"pages\": 3, \"encrypted\": false, \"reconstructed\": false, \"xrefStream\": true, "
        "\"size\": " +
            std::to_string(plainFile.size()) + "}\n");
    summary = testutil::run({tool, encrypted.string()});
    EXPECT_EQ(summary.out.substr(0, 58),
              "{\"pages\": 3, \"encrypted\": true, \"reconstructed\": false, \"x");

    PDFFile file(testutil::readFile(encrypted));
    const auto info = file.trailer().get("Info")->reference()->number;
    auto object = testutil::run({tool, encrypted.string(), "--object", std::to_string(info)});
    EXPECT_EQ(object.exitCode, 0);
    EXPECT_EQ(object.out, PDFSerializer::data(parseShown(
                              fixtures::qpdfShowObject(testutil::readFile(encrypted), info))));
    const auto contents =
        file.dictionary(file.object(file.pageRefs()[1]))->get("Contents")->reference()->number;
    auto stream = testutil::run({tool, encrypted.string(), "--stream", std::to_string(contents)});
    EXPECT_EQ(stream.exitCode, 0);
    EXPECT_NE(stream.out.find("(P\\341gina 2) '"), std::string::npos) << stream.out;

    auto failed = testutil::run({tool, locked.string()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err,
              "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.\n");
    EXPECT_EQ(failed.out, "");
    testutil::writeFile(dir / "texto.pdf", "no es un pdf");
    failed = testutil::run({tool, (dir / "texto.pdf").string()});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "El fichero no es un PDF\n");
}

TEST(PDFFileOracle, EncryptionDictionaryByReferenceOrDirect) {
    const std::string encrypted = fixtures::encrypt(basePDF(), Cipher::rc4_128);
    PDFFile byReference(encrypted);
    const auto ref = byReference.trailer().get("Encrypt")->reference();
    ASSERT_TRUE(ref);
    EXPECT_EQ(byReference.encryptNumber(), ref->number);
    // The encryption dictionary itself is returned as stored.
    EXPECT_EQ(*byReference.object(*ref)->dictionary()->get("O"),
              *parseShown(fixtures::qpdfShowObject(encrypted, ref->number)).dictionary()->get("O"));

    // The same dictionary written directly into the trailer.
    const std::string shown = fixtures::qpdfShowObject(encrypted, ref->number);
    const std::string key = "/Encrypt " + ref->description();
    std::string direct = encrypted;
    direct.replace(direct.rfind(key), key.size(),
                   "/Encrypt " + shown.substr(0, shown.find_last_of('>') + 1));
    PDFFile file(direct);
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_FALSE(file.encryptNumber());
    ASSERT_NE(file.security(), nullptr);
    EXPECT_EQ(file.security()->key(), byReference.security()->key());
    EXPECT_EQ(file.dictionary(file.trailer().get("Info"))->get("Author")->text(), "José Muñoz");
}
