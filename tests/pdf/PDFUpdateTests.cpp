// The incremental update writer: exact bytes of the appended tail, and other readers' view of it.
#include "pdf/PDFErrorText.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFParser.h"
#include "pdf/PDFSecurity.h"
#include "pdf/PDFSerializer.h"
#include "pdf/PDFUpdate.h"

#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>

using fixtures::FixtureWriter;

namespace {

PDFObject I(std::int64_t v) { return PDFObject::integer(v); }

// Three objects of a one-page document.
FixtureWriter onePage() {
    FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    w.object(4, "<</Title (Prueba) >>");
    return w;
}

std::int64_t lastStartxref(const std::string& pdf) {
    const auto at = PDFParser::findLast("startxref", pdf, static_cast<std::int64_t>(pdf.size()));
    if (!at) throw std::runtime_error("no startxref");
    PDFParser p(pdf, *at + 9);
    return std::stoll(p.readToken());
}

std::string entry(std::int64_t offset, int generation) {
    char text[32];
    std::snprintf(text, sizeof text, "%010lld %05d n \n", static_cast<long long>(offset), generation);
    return text;
}

std::string body(std::int64_t number, const std::string& text) {
    return std::to_string(number) + " 0 obj\n" + text + "\nendobj\n";
}


TEST(PDFUpdate, ClassicTailIsByteExact) {
    // Trailer keys deliberately out of order in the file; the update writes its own order.
    const std::string pdf = onePage().finishClassic("/Size 5 /ID [<41424344> <45464748>] /Info 4 0 R /Root 1 0 R");
    PDFFile file(pdf);
    PDFUpdate update(file);
    update.set(PDFRef(15), I(15));
    update.set(PDFRef(12), PDFObject::string("doce"));
    update.setRaw(PDFRef(13), "<</Raw true>>");
    const PDFUpdate::Result result = update.write();

    ASSERT_EQ(pdf.back(), '\n');
    const auto o15 = static_cast<std::int64_t>(pdf.size());
    const std::string b15 = body(15, "15"), b12 = body(12, "(doce)"), b13 = body(13, "<</Raw true>>");
    const std::int64_t o12 = o15 + static_cast<std::int64_t>(b15.size());
    const std::int64_t o13 = o12 + static_cast<std::int64_t>(b12.size());
    const std::int64_t xref = o13 + static_cast<std::int64_t>(b13.size());
    const std::string expected = pdf + b15 + b12 + b13 + "xref\n12 2\n" + entry(o12, 0) + entry(o13, 0) + "15 1\n" +
                                 entry(o15, 0) + "trailer\n<</Root 1 0 R /Info 4 0 R /ID [(ABCD) (EFGH)] /Prev " +
                                 std::to_string(lastStartxref(pdf)) + " /Size 16 >>\nstartxref\n" +
                                 std::to_string(xref) + "\n%%EOF\n";
    EXPECT_EQ(result.data, expected);
    EXPECT_EQ(result.offsets, (std::map<PDFRef, std::int64_t>{{PDFRef(12), o12}, {PDFRef(13), o13}, {PDFRef(15), o15}}));
    for (const auto& [ref, offset] : result.offsets)
        EXPECT_EQ(result.data.substr(static_cast<std::size_t>(offset), 9), std::to_string(ref.number) + " 0 obj\n");
    EXPECT_EQ(entry(o12, 0).size(), 20u);
    // Writing twice gives the same bytes: write() changes nothing.
    EXPECT_EQ(update.write().data, expected);
}

TEST(PDFUpdate, LineEndBeforeTheFirstObject) {
    std::string pdf = onePage().finishClassic("/Root 1 0 R");
    ASSERT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
    const auto firstObject = [](const std::string& bytes) {
        PDFFile file(bytes);
        PDFUpdate update(file);
        update.set(update.allocate(), I(1));
        const auto result = update.write();
        return std::make_pair(result.data, result.offsets.begin()->second);
    };
    const std::string noLineEnd = pdf.substr(0, pdf.size() - 1);
    auto [data, offset] = firstObject(noLineEnd);
    EXPECT_EQ(data.substr(0, noLineEnd.size() + 1), noLineEnd + "\n");
    EXPECT_EQ(offset, static_cast<std::int64_t>(noLineEnd.size()) + 1);
    for (const std::string& ended : {pdf, noLineEnd + "\r"}) {
        auto [d, o] = firstObject(ended);
        EXPECT_EQ(d.substr(0, ended.size()), ended);
        EXPECT_EQ(o, static_cast<std::int64_t>(ended.size()));
    }
}

TEST(PDFUpdate, RepeatedSetKeepsFirstPlaceAndLastBody) {
    PDFFile file(onePage().finishClassic("/Root 1 0 R"));
    PDFUpdate update(file);
    update.set(PDFRef(12), I(1));
    update.set(PDFRef(13), I(2));
    update.set(PDFRef(12), I(3));
    const auto result = update.write();
    const std::string tail = result.data.substr(file.data().size());
    EXPECT_EQ(tail.substr(0, 36), body(12, "3") + body(13, "2"));
    EXPECT_EQ(tail.find("12 0 obj", 1), std::string::npos);
}

TEST(PDFUpdate, SizeAndAllocation) {
    PDFFile file(onePage().finishClassic("/Root 1 0 R /Size 20"));
    ASSERT_EQ(file.size(), 20);
    {
        PDFUpdate update(file);
        EXPECT_EQ(update.nextNumber(), 20);
        const PDFRef a = update.allocate(), b = update.allocate();
        EXPECT_EQ(a, PDFRef(20));
        EXPECT_EQ(b, PDFRef(21));
        update.set(b, I(0));
        update.set(a, I(0));
        EXPECT_NE(update.write().data.find("/Size 22 >>"), std::string::npos);
    }
    {
        PDFUpdate update(file);
        update.set(PDFRef(3), PDFObject::dictionary({{"Type", PDFObject::name("Page")}}));
        EXPECT_NE(update.write().data.find("/Size 20 >>"), std::string::npos);
    }
    {
        // An empty update: a table without subsections.
        PDFUpdate update(file);
        const std::string tail = update.write().data.substr(file.data().size());
        EXPECT_EQ(tail, "xref\ntrailer\n<</Root 1 0 R /Prev " + std::to_string(file.lastXRefOffset()) +
                            " /Size 20 >>\nstartxref\n" + std::to_string(file.data().size()) + "\n%%EOF\n");
    }
}

// The rows of a cross-reference stream, as a reader decodes W [1 5 2].
std::string row(int type, std::int64_t field2, int field3) {
    std::string out(1, static_cast<char>(type));
    for (int shift = 32; shift >= 0; shift -= 8) out.push_back(static_cast<char>((field2 >> shift) & 0xFF));
    out.push_back(static_cast<char>(field3 >> 8));
    out.push_back(static_cast<char>(field3 & 0xFF));
    return out;
}

PDFObject streamAt(const std::string& data, std::int64_t offset) {
    PDFParser parser(data, offset);
    return parser.parseIndirectObject().second;
}

TEST(PDFUpdate, CrossReferenceStreamRowsAreByteExact) {
    FixtureWriter w = onePage();
    const std::string pdf = w.finishXRefStream(5, "/Root 1 0 R /Info 4 0 R /ID [<41> <42>]");
    PDFFile file(pdf);
    ASSERT_TRUE(file.usesXRefStream());
    ASSERT_FALSE(file.wasReconstructed());
    PDFUpdate update(file);
    const PDFRef added = update.allocate();
    update.set(added, I(7));
    update.set(PDFRef(1), PDFObject::dictionary({{"Type", PDFObject::name("Catalog")},
                                                 {"Pages", PDFObject::reference(PDFRef(2))}}));
    const auto result = update.write();

    const std::int64_t streamNumber = added.number + 1;
    const std::int64_t xrefOffset = lastStartxref(result.data);
    EXPECT_EQ(result.data.substr(static_cast<std::size_t>(xrefOffset), 10), std::to_string(streamNumber) + " 0 obj\n<<");
    const PDFObject xref = streamAt(result.data, xrefOffset);
    ASSERT_NE(xref.stream(), nullptr);
    const PDFDictionary& d = xref.stream()->dictionary;
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"Type", "Size", "W", "Index", "Root", "Info", "ID", "Prev", "Length"}));
    EXPECT_EQ(*d.get("Size"), I(streamNumber + 1));
    EXPECT_EQ(*d.get("Prev"), I(file.lastXRefOffset()));
    EXPECT_EQ(PDFSerializer::data(*d.get("W")), "[1 5 2]");
    EXPECT_EQ(PDFSerializer::data(*d.get("Index")), "[1 1 " + std::to_string(added.number) + " 2]");
    EXPECT_EQ(d.get("Filter"), nullptr);
    EXPECT_EQ(xref.stream()->data, row(1, result.offsets.at(PDFRef(1)), 0) + row(1, result.offsets.at(added), 0) +
                                       row(1, xrefOffset, 0));
    EXPECT_TRUE(result.data.ends_with("\nendstream\nendobj\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n"));

    PDFFile reopened(result.data);
    EXPECT_FALSE(reopened.wasReconstructed());
    EXPECT_EQ(*reopened.object(added), I(7));
}

TEST(PDFUpdate, RebuiltFileGetsAFullCrossReferenceStream) {
    // No "startxref": rebuilt by scanning, object-stream members included.
    const std::string streams = fixtures::qpdf(fixtures::textPDF(3), {"--object-streams=generate"});
    PDFFile file(streams.substr(0, streams.rfind("startxref")));
    ASSERT_TRUE(file.wasReconstructed());
    PDFUpdate update(file);
    const PDFRef added = update.allocate();
    update.set(added, PDFObject::text("nuevo"));
    const auto result = update.write();
    const std::int64_t xrefOffset = lastStartxref(result.data);
    const PDFObject xref = streamAt(result.data, xrefOffset);
    ASSERT_NE(xref.stream(), nullptr);
    EXPECT_EQ(xref.stream()->dictionary.get("Prev"), nullptr);

    std::string expected = row(0, 0, 65535);
    std::vector<std::int64_t> numbers = {0};
    int compressed = 0;
    for (const auto& [number, e] : file.entries()) {
        if (e.kind == PDFFile::Entry::Kind::free) continue;
        compressed += e.kind == PDFFile::Entry::Kind::compressed;
        expected += e.kind == PDFFile::Entry::Kind::offset ? row(1, e.offset(), static_cast<int>(e.generation()))
                                                           : row(2, e.stream(), static_cast<int>(e.index()));
        numbers.push_back(number);
    }
    EXPECT_GT(compressed, 0);
    expected += row(1, result.offsets.at(added), 0) + row(1, xrefOffset, 0);
    EXPECT_EQ(xref.stream()->data, expected);
    EXPECT_EQ(fixtures::qpdfCheck(result.data), 0);
    EXPECT_EQ(fixtures::qpdfPageCount(result.data), 3);
}

TEST(PDFUpdate, AWholeTableUpdateListsTheFileAndItsOwnObjectsAlone) {
    // A classic file whose page the update replaces, with a new object besides.
    FixtureWriter w = onePage();
    const std::string pdf = w.finishClassic("/Root 1 0 R /Info 4 0 R");
    PDFFile file(pdf);
    PDFUpdate update(file);
    const PDFRef added = update.allocate();
    update.set(added, I(7));
    const PDFObject box = PDFObject::array({I(0), I(0), I(300), I(400)});
    update.set(PDFRef(3), PDFObject::dictionary({{"Type", PDFObject::name("Page")},
                                                 {"Parent", PDFObject::reference(PDFRef(2))},
                                                 {"MediaBox", box}}));
    const auto tail = update.writeUpdateWithWholeTable();
    const std::string whole = pdf + tail.data;
    const std::int64_t xrefOffset = lastStartxref(whole);
    const PDFObject xref = streamAt(whole, xrefOffset);
    ASSERT_NE(xref.stream(), nullptr);
    EXPECT_EQ(xref.stream()->dictionary.get("Prev"), nullptr);
    EXPECT_EQ(xref.stream()->data,
              row(0, 0, 65535) + row(1, w.offset(1), 0) + row(1, w.offset(2), 0) +
                  row(1, tail.offsets.at(PDFRef(3)), 0) + row(1, w.offset(4), 0) +
                  row(1, tail.offsets.at(added), 0) + row(1, xrefOffset, 0));
    EXPECT_EQ(fixtures::qpdfCheck(whole), 0);
    EXPECT_NE(fixtures::qpdfShowObject(whole, 3).find("/MediaBox [ 0 0 300 400 ]"),
              std::string::npos);
    PDFFile reopened(whole);
    EXPECT_TRUE(reopened.usesXRefStream());
    EXPECT_EQ(*reopened.object(added), I(7));
}

TEST(PDFUpdate, RefusesReferencesNoEntryCanHold) {
    PDFFile file(onePage().finishClassic("/Root 1 0 R"));
    PDFUpdate update(file);
    EXPECT_EQ(pdfErrorOf([&] { update.set(PDFRef(5, 65536), I(1)); }),
              "El objeto 5 65536 R tiene una generación fuera del intervalo de 0 a 65535.");
    EXPECT_EQ(pdfErrorOf([&] { update.set(PDFRef(5, -1), I(1)); }),
              "El objeto 5 -1 R tiene una generación fuera del intervalo de 0 a 65535.");
    EXPECT_EQ(pdfErrorOf([&] { update.setRaw(PDFRef(0), "1"); }),
              "El objeto 0 0 R no tiene un número que pueda escribirse en la actualización del PDF.");
    EXPECT_EQ(pdfErrorOf([&] { update.setRaw(PDFRef(PDFFile::maxObjectNumber + 1), "1"); }),
              "El objeto 2147483648 0 R no tiene un número que pueda escribirse en la actualización del PDF.");
    EXPECT_TRUE(update.empty());
    update.set(PDFRef(5, 65535), I(1));
    EXPECT_EQ(pdfErrorOf([&] { update.set(PDFRef(5, 0), I(1)); }),
              "El objeto 5 no puede escribirse con dos generaciones en la misma actualización.");
    EXPECT_NE(update.write().data.find(entry(static_cast<std::int64_t>(file.data().size()), 65535)), std::string::npos);

    EXPECT_EQ(PDFUpdate::classicEntry(9999999999, 65535), "9999999999 65535 n \n");
    const std::string tooLarge = "El PDF es demasiado grande para escribir su tabla de referencias cruzadas.";
    EXPECT_EQ(pdfErrorOf([] { PDFUpdate::classicEntry(10000000000, 0); }), tooLarge);
    EXPECT_EQ(pdfErrorOf([] { PDFUpdate::classicEntry(-1, 0); }), tooLarge);
    EXPECT_EQ(PDFUpdate::streamRow(1, (std::int64_t{1} << 40) - 1, 65535), row(1, (std::int64_t{1} << 40) - 1, 65535));
    EXPECT_EQ(PDFUpdate::streamRow(2, 300, 7), row(2, 300, 7));
    EXPECT_EQ(pdfErrorOf([] { PDFUpdate::streamRow(1, std::int64_t{1} << 40, 0); }), tooLarge);
    EXPECT_EQ(pdfErrorOf([] { PDFUpdate::streamRow(2, 5, 65536); }),
              "Una generación o posición fuera del intervalo de 0 a 65535 no cabe en la tabla de referencias cruzadas.");
}

// /U of the empty user password for revision 4 and the given file key.
std::string userValueR4(const std::string& key, const std::string& id) {
    std::string value = PDFSecurity::rc4(key, PDFSecurity::md5(std::string(PDFSecurity::padding) + id));
    for (int i = 1; i <= 19; ++i) {
        std::string roundKey = key;
        for (char& c : roundKey) c = static_cast<char>(static_cast<unsigned char>(c) ^ i);
        value = PDFSecurity::rc4(roundKey, value);
    }
    return value + std::string(16, '\0');
}

TEST(PDFUpdate, RefusingCipherStoresNothing) {
    // AES-256 filters under an MD5-scheme 40-bit key: the cipher refuses the 5-byte key.
    const std::string id = "0123456789abcdef", o(32, 'o');
    const std::uint32_t p = static_cast<std::uint32_t>(-4);
    const std::string key = PDFSecurity::fileKeyMD5(o, p, id, 4, 5, true);
    FixtureWriter w = onePage();
    w.object(5, "<</Filter /Standard /V 4 /R 4 /Length 40 /P -4 /O <" + fixtures::hex(o) + "> /U <" +
                    fixtures::hex(userValueR4(key, id)) +
                    "> /CF <</StdCF <</CFM /AESV3 >> >> /StrF /StdCF /StmF /StdCF >>");
    PDFFile file(w.finishClassic("/Root 1 0 R /Encrypt 5 0 R /ID [<" + fixtures::hex(id) + "> <" + fixtures::hex(id) + ">]"));
    ASSERT_NE(file.security(), nullptr);
    PDFUpdate update(file);
    const PDFRef ref = update.allocate();
    EXPECT_THROW(update.set(ref, PDFObject::dictionary({{"Secreto", PDFObject::string("en claro")}})), PDFError);
    EXPECT_THROW(update.set(ref, PDFObject::stream({}, "datos en claro")), PDFError);
    EXPECT_TRUE(update.empty());
    EXPECT_EQ(update.write().data.find("en claro"), std::string::npos);

    // The driver reports the failure and writes no file.
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", file.data());
    const auto r = testutil::run({(testutil::toolsDir() / "pdfinspect").string(), (dir / "in.pdf").string(), "--update",
                                  (dir / "out.pdf").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "No se ha podido cifrar un objeto del PDF\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.pdf"));
}

TEST(PDFUpdate, EncryptedFileGetsObjectsEncryptedUnderTheirOwnReference) {
    const std::string pdf = fixtures::encrypt(fixtures::textPDF(1), fixtures::Cipher::aes128);
    PDFFile file(pdf);
    ASSERT_NE(file.security(), nullptr);
    PDFUpdate update(file);
    const PDFRef ref = update.allocate();
    const PDFObject object = PDFObject::dictionary({{"T", PDFObject::string("texto en claro")}});
    update.set(ref, object);
    update.setRaw(update.allocate(), "(sin cifrar)");
    // Re-setting the encryption dictionary keeps its strings as they are.
    ASSERT_TRUE(file.encryptNumber());
    const PDFRef encryptRef(*file.encryptNumber());
    update.set(encryptRef, *file.object(encryptRef));
    const auto result = update.write();
    EXPECT_EQ(result.data.find("texto en claro"), std::string::npos);
    EXPECT_NE(result.data.find("(sin cifrar)"), std::string::npos);
    EXPECT_EQ(fixtures::qpdfCheck(result.data), 0);
    PDFFile reopened(result.data);
    ASSERT_NE(reopened.object(ref), nullptr);
    EXPECT_EQ(*reopened.object(ref), object);
}

// ---------------------------------------------------------------------------------------------
// The inspect driver's update, checked by other readers.

const std::string kNote = "Firmado en C\u00E1diz \u00B7 \u00F1";

void expectUpdateAccepted(const std::string& pdf, const std::string& label) {
    SCOPED_TRACE(label);
    testutil::TempDir dir;
    const auto in = dir / "in.pdf", out = dir / "out.pdf";
    testutil::writeFile(in, pdf);
    const std::int64_t number = PDFFile(pdf).size();

    const auto r = testutil::run({(testutil::toolsDir() / "pdfinspect").string(), in.string(), "--update", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto cmp = testutil::run({"cmp", "-n", std::to_string(pdf.size()), in.string(), out.string()});
    EXPECT_EQ(cmp.exitCode, 0) << cmp.out;
    const std::string updated = testutil::readFile(out);
    EXPECT_EQ(fixtures::qpdfCheck(updated), 0);
    const std::string shown = fixtures::qpdfShowObject(updated, number);
    EXPECT_NE(shown.find("/Texto <" + fixtures::hex(*PDFObject::text(kNote).stringData()) + ">"), std::string::npos)
        << shown;
    const std::string catalog = fixtures::qpdfShowObject(updated, PDFFile(pdf).catalogRef()->number);
    EXPECT_NE(catalog.find("/TindraNota " + std::to_string(number) + " 0 R"), std::string::npos) << catalog;

    PDFFile reopened(updated);
    EXPECT_FALSE(reopened.wasReconstructed());
    EXPECT_EQ(reopened.usesXRefStream(), PDFFile(pdf).usesXRefStream() || PDFFile(pdf).wasReconstructed());
    const PDFObject* note = reopened.resolve(reopened.catalog()->get("TindraNota"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->dictionary()->get("Texto")->text(), kNote);
    EXPECT_EQ(reopened.pageRefs().size(), PDFFile(pdf).pageRefs().size());
}

TEST(PDFUpdateOracle, ClassicObjectStreamLinearizedAndRebuiltFiles) {
    if (!testutil::haveProgram("qpdf")) GTEST_SKIP() << "qpdf missing";
    const std::string classic = fixtures::textPDF(2, true);
    expectUpdateAccepted(classic, "classic");
    expectUpdateAccepted(fixtures::qpdf(classic, {"--object-streams=generate"}), "object streams");
    expectUpdateAccepted(fixtures::qpdf(classic, {"--linearize"}), "linearized");
    // Damage that leaves the header at the start. (With bytes before the header qpdf counts
    // offsets from the header, so no offset written for the file can serve both readings.)
    const auto noStartxref = [](const std::string& pdf) { return pdf.substr(0, pdf.rfind("startxref")); };
    expectUpdateAccepted(noStartxref(classic) + "startxref\n99999999\n%%EOF\n", "rebuilt, startxref outside");
    expectUpdateAccepted(noStartxref(fixtures::qpdf(classic, {"--object-streams=generate"})), "rebuilt streams");
    expectUpdateAccepted(classic.substr(0, classic.rfind("xref\n0 ") + 40), "rebuilt, truncated table");
}

TEST(PDFUpdateOracle, EncryptedFiles) {
    if (!testutil::haveProgram("qpdf")) GTEST_SKIP() << "qpdf missing";
    const std::string classic = fixtures::textPDF(2, true);
    for (const fixtures::Cipher cipher : fixtures::allCiphers()) {
        const std::string encrypted = fixtures::encrypt(classic, cipher);
        expectUpdateAccepted(encrypted, fixtures::cipherName(cipher));
        // Object streams with one cipher of each family.
        if (cipher == fixtures::Cipher::rc4_128 || cipher == fixtures::Cipher::aes256R6)
            expectUpdateAccepted(fixtures::qpdf(encrypted, {"--object-streams=generate"}),
                                 fixtures::cipherName(cipher) + " object streams");
    }
}

}  // namespace
