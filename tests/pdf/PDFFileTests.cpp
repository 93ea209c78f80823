// Opening files, objects and pages on hand-made fixtures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "PDFFileTestSupport.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using fixtures::FixtureWriter;
using fixtures::XRefRow;
using pdffiletest::errorOf;
using pdffiletest::replaced;

namespace {

const char* const kCatalog = "<</Type /Catalog /Pages 2 0 R >>";
const char* const kOnePageTree = "<</Type /Pages /Kids [3 0 R] /Count 1 >>";
const char* const kPage = "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>";

// Catalog 1, pages 2, page 3.
FixtureWriter onePage() {
    FixtureWriter w;
    w.object(1, kCatalog).object(2, kOnePageTree).object(3, kPage);
    return w;
}

std::int64_t intValue(const PDFObject* object) {
    return object && object->integer() ? *object->integer() : -999;
}

}  // namespace

TEST(PDFFileOpen, HeaderMustEndWithinTheFirstKilobyte) {
    const std::string body = fixtures::textPDF(1);
    // The fixture's offsets are shifted by the padding, which the repair scan absorbs.
    EXPECT_EQ(errorOf(std::string(1019, ' ') + body), "");
    EXPECT_EQ(errorOf(std::string(1020, ' ') + body), "El fichero no es un PDF");
    EXPECT_EQ(errorOf("hola"), "El fichero no es un PDF");
    EXPECT_EQ(errorOf(""), "El fichero no es un PDF");
}

TEST(PDFFileOpen, ClassicFileFieldsAndPages) {
    PDFFile file(fixtures::textPDF(3));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_FALSE(file.usesXRefStream());
    EXPECT_FALSE(file.isEncrypted());
    EXPECT_EQ(file.security(), nullptr);
    EXPECT_EQ(file.pageRefs(), (std::vector<PDFRef>{PDFRef(5), PDFRef(7), PDFRef(9)}));
    EXPECT_EQ(file.size(), 11);
    EXPECT_EQ(file.catalogRef(), PDFRef(1));
    EXPECT_EQ(file.entries().at(0), PDFFile::Entry::freeEntry());
    EXPECT_FALSE(file.trailer().contains("Prev"));
    EXPECT_EQ(file.lastXRefOffset(), static_cast<std::int64_t>(file.data().find("\nxref\n") + 1));
}

TEST(PDFFileOpen, LastStartxrefWinsAndSignedTokensRead) {
    FixtureWriter w = onePage();
    std::string bytes = w.finishClassic("/Root 1 0 R");
    const std::string table = std::to_string(bytes.find("\nxref\n") + 1);
    // An earlier "startxref" with garbage is ignored; "+N" is a valid number.
    std::string twice = bytes.substr(0, bytes.rfind("startxref")) +
                        "startxref\nabc\n%%EOF\nstartxref\n+" + table + "\n%%EOF\n";
    PDFFile file(twice);
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.lastXRefOffset(), std::stoll(table));
    PDFFile bad(bytes.substr(0, bytes.rfind("startxref")) + "startxref\nabc\n%%EOF\n");
    EXPECT_TRUE(bad.wasReconstructed());
    EXPECT_EQ(bad.pageRefs().size(), 1u);
}

TEST(PDFFileOpen, NewestSectionWinsAndTrailersMerge) {
    FixtureWriter w = onePage();
    w.object(4, "<</Title (vieja) >>");
    w.finishClassic("/Root 1 0 R /Info 4 0 R");
    const std::int64_t firstTable = w.bytes().find("\nxref\n") + 1;
    // Second revision: a new page object 3 and no /Info; first listing of a number in one table
    // wins.
    const std::int64_t newPage = w.size();
    w.raw("3 0 obj\n<</Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>\nendobj\n");
    const std::int64_t table = w.size();
    char entries[128];
    std::snprintf(entries, sizeof entries, "xref\n3 2\n%010lld 00000 n \n0000000000 65535 f \n",
                  static_cast<long long>(newPage));
    w.raw(entries);
    w.raw("trailer\n<</Size 5 /Root 1 0 R /Prev " + std::to_string(firstTable) + " >>\n");
    PDFFile file(w.finishWithStartxref(table));
    ASSERT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.entries().at(3).offset(), newPage);
    EXPECT_EQ(file.entries().at(4).kind, PDFFile::Entry::Kind::free);
    EXPECT_TRUE(file.trailer().contains("Info"));
    EXPECT_FALSE(file.trailer().contains("Prev"));
    const PDFDictionary* page = file.dictionary(file.object(PDFRef(3)));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(intValue(&(*page->get("MediaBox")->array())[2]), 100);
}

TEST(PDFFileOpen, PrevLoopsEndQuietly) {
    FixtureWriter w = onePage();
    const std::int64_t table = w.size();
    w.raw(w.classicTable() + "trailer\n<</Size 4 /Root 1 0 R /Prev " + std::to_string(table) +
          " >>\n");
    PDFFile file(w.finishWithStartxref(table));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 1u);
}

TEST(PDFFileOpen, CrossReferenceStreamWidthsAndIndex) {
    // /W [0 3 0]: every row an object at a 3-byte offset, generation 0.
    FixtureWriter w = onePage();
    std::string rows;
    for (std::int64_t n : {1, 2, 3}) {
        const std::int64_t o = w.offset(n);
        rows += {static_cast<char>(o >> 16), static_cast<char>((o >> 8) & 0xFF),
                 static_cast<char>(o & 0xFF)};
    }
    const std::int64_t at = w.size();
    w.stream(4, "/Type /XRef /W [0 3 0] /Index [1 3] /Size 5 /Root 1 0 R", rows);
    PDFFile file(w.finishWithStartxref(at));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_TRUE(file.usesXRefStream());
    EXPECT_EQ(file.entries().size(), 3u);
    EXPECT_EQ(file.entries().at(2), PDFFile::Entry::atOffset(w.offset(2), 0));
    EXPECT_FALSE(file.trailer().contains("W"));
    EXPECT_FALSE(file.trailer().contains("Type"));
    EXPECT_EQ(file.pageRefs().size(), 1u);

    // Bad widths lead to a repair.
    for (const std::string widths : {"[1 2]", "[1 9 1]", "[0 0 0]"}) {
        FixtureWriter bad = onePage();
        const std::int64_t x = bad.size();
        bad.stream(4, "/Type /XRef /W " + widths + " /Size 5 /Root 1 0 R", std::string(8, '\0'));
        PDFFile repaired(bad.finishWithStartxref(x));
        EXPECT_TRUE(repaired.wasReconstructed()) << widths;
        EXPECT_FALSE(repaired.usesXRefStream());
    }
}

TEST(PDFFileOpen, CrossReferenceStreamCutMidRowKeepsEarlierRows) {
    FixtureWriter w = onePage();
    std::string rows = fixtures::xrefStreamData(
        {{0, 0, 0, 65535}, {1, 1, w.offset(1), 0}, {2, 1, w.offset(2), 0}, {3, 1, w.offset(3), 0}});
    rows += "\x01\x00";  // part of a fifth row
    const std::int64_t at = w.size();
    w.stream(4, "/Type /XRef /W [1 4 2] /Size 9 /Root 1 0 R", rows);
    PDFFile file(w.finishWithStartxref(at));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.entries().size(), 4u);
    EXPECT_EQ(file.size(), 9);
}

TEST(PDFFileOpen, HybridFileStreamEntriesWinOverTheTable) {
    // Object 7 (the page) is marked free in the table and compressed in the /XRefStm stream.
    FixtureWriter w;
    w.object(1, kCatalog).object(2, "<</Type /Pages /Kids [7 0 R] /Count 1 >>");
    w.objectStream(5, {{7, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"}});
    const std::int64_t stream = w.xrefStream(6, {{7, 2, 5, 0}}, "");
    const std::int64_t table = w.size();
    w.raw("xref\n0 3\n0000000000 65535 f \n");
    char line[32];
    for (std::int64_t n : {1, 2}) {
        std::snprintf(line, sizeof line, "%010lld 00000 n \n", static_cast<long long>(w.offset(n)));
        w.raw(line);
    }
    std::snprintf(line, sizeof line, "5 1\n%010lld 00000 n \n",
                  static_cast<long long>(w.offset(5)));
    w.raw(line);
    w.raw("7 1\n0000000000 00001 f \n");
    w.raw("trailer\n<</Size 8 /Root 1 0 R /XRefStm " + std::to_string(stream) + " >>\n");
    const std::string bytes = w.finishWithStartxref(table);
    PDFFile file(bytes);
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.entries().at(7), PDFFile::Entry::inStream(5, 0));
    EXPECT_EQ(file.pageRefs(), std::vector<PDFRef>{PDFRef(7)});
    EXPECT_FALSE(file.trailer().contains("XRefStm"));
    EXPECT_EQ(fixtures::qpdfPageCount(bytes), 1);

    // A broken /XRefStm offset is ignored: the table's own entries stand (7 stays free).
    std::string broken = bytes;
    broken.replace(broken.find("/XRefStm " + std::to_string(stream)),
                   9 + std::to_string(stream).size(), "/XRefStm 99999999");
    PDFFile ignored(broken);
    EXPECT_FALSE(ignored.wasReconstructed());
    EXPECT_EQ(ignored.entries().at(7).kind, PDFFile::Entry::Kind::free);
}

TEST(PDFFileOpen, SelfReferencingXRefStmEnds) {
    // /XRefStm pointing at its own table, and at a table that names the first table again.
    FixtureWriter w = onePage();
    const std::int64_t table = w.size();
    const std::string text = w.classicTable();
    w.raw(text + "trailer\n<</Size 4 /Root 1 0 R /XRefStm " + std::to_string(table) + " >>\n");
    PDFFile self(w.finishWithStartxref(table));
    EXPECT_EQ(self.pageRefs().size(), 1u);

    FixtureWriter v = onePage();
    const std::int64_t a = v.size();
    const std::string tableA = v.classicTable();
    const std::int64_t b =
        a + static_cast<std::int64_t>(tableA.size()) + 200;  // where table B goes
    std::string trailerA = "trailer\n<</Size 4 /Root 1 0 R /XRefStm " + std::to_string(b) +
                           " /Prev " + std::to_string(b) + " >>\n";
    v.raw(tableA + trailerA);
    v.raw(std::string(static_cast<std::size_t>(b - v.size()), ' '));
    v.raw(tableA + "trailer\n<</Size 4 /Root 1 0 R /XRefStm " + std::to_string(a) + " /Prev " +
          std::to_string(a) + " >>\n");
    PDFFile mutual(v.finishWithStartxref(a));
    EXPECT_FALSE(mutual.wasReconstructed());
    EXPECT_EQ(mutual.pageRefs().size(), 1u);
}

TEST(PDFFileOpen, PrevToASectionReadAsXRefStmIsFollowed) {
    // A hybrid table whose /XRefStm and /Prev name the same stream: the stream's trailer, the only
    // one with /Info, still merges.
    FixtureWriter w = onePage();
    w.object(4, "<</Producer (prueba) >>");
    const std::int64_t stream = w.xrefStream(
        6, {{1, 1, w.offset(1), 0}, {2, 1, w.offset(2), 0}, {3, 1, w.offset(3), 0},
            {4, 1, w.offset(4), 0}},
        "/Size 7 /Root 1 0 R /Info 4 0 R");
    const std::int64_t table = w.size();
    w.raw(w.classicTable() + "trailer\n<</Size 7 /Root 1 0 R /XRefStm " + std::to_string(stream) +
          " /Prev " + std::to_string(stream) + " >>\n");
    PDFFile file(w.finishWithStartxref(table));
    EXPECT_FALSE(file.wasReconstructed());
    ASSERT_TRUE(file.trailer().get("Info"));
    EXPECT_EQ(file.trailer().get("Info")->reference(), PDFRef(4));
}

TEST(PDFFileOpen, ObjectsPastTheOldFixedBoundAllOpen) {
    // 2,200,004 objects, the second page last: every one is kept, none dropped by a repair.
    constexpr std::int64_t count = 2'200'004;
    FixtureWriter w;
    w.object(1, kCatalog)
        .object(2, "<</Type /Pages /Kids [3 0 R " + std::to_string(count - 1) + " 0 R] /Count 2 >>")
        .object(3, kPage);
    std::vector<XRefRow> rows;
    rows.reserve(count);
    for (std::int64_t n = 1; n <= 3; ++n) rows.push_back({n, 1, w.offset(n), 0});
    std::string body;
    body.reserve(static_cast<std::size_t>(count) * 24);
    std::int64_t at = w.size();
    for (std::int64_t n = 4; n < count - 1; ++n) {
        rows.push_back({n, 1, at + static_cast<std::int64_t>(body.size()), 0});
        body += std::to_string(n) + " 0 obj null endobj\n";
    }
    w.raw(body);
    w.object(count - 1, kPage);
    rows.push_back({count - 1, 1, w.offset(count - 1), 0});
    const std::int64_t xref =
        w.xrefStream(count, rows, "/Size " + std::to_string(count + 1) + " /Root 1 0 R");
    PDFFile file(w.finishWithStartxref(xref));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 2u);
    EXPECT_EQ(file.entries().size(), static_cast<std::size_t>(count - 1));  // all but the stream
}

TEST(PDFFileOpen, MoreEntriesThanTheFileCanHoldAreRefused) {
    // A small file whose stream lists 2,200,004 rows: refused as it is, not rebuilt from a subset.
    FixtureWriter w = onePage();
    std::vector<XRefRow> rows;
    for (std::int64_t n = 1; n <= 3; ++n) rows.push_back({n, 1, w.offset(n), 0});
    std::string data = fixtures::xrefStreamData(rows);
    data += std::string(7 * 2'200'000, '\0');  // free rows
    const std::int64_t at = w.size();
    w.stream(4, "/Type /XRef /W [1 4 2] /Index [1 2200003] /Size 2200004 /Root 1 0 R", data, true);
    EXPECT_EQ(errorOf(w.finishWithStartxref(at)), "El PDF tiene demasiados objetos para abrirlo.");
}

TEST(PDFFileOpen, MalformedObjectNothingUsesLeavesTheTableRight) {
    // The table's entries point at their headers; object 4, used by nothing, is malformed, and
    // an empty object 5 likewise. The file opens as it is; the bad objects give nothing.
    FixtureWriter w = onePage();
    w.object(4, "<< endstream").object(5, "");
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 1u);
    EXPECT_EQ(file.object(PDFRef(4)), nullptr);
}

TEST(PDFFileOpen, EncryptionDictionaryReferences) {
    FixtureWriter w = onePage();
    w.object(5, "<</Filter /Standard /V 1 /R 2 /O (x) /U (y) /P -4 >>");
    const std::string encrypted = w.finishClassic("/Root 1 0 R /Encrypt 5 0 R");
    try {
        PDFFile file(encrypted);
        FAIL() << "opened";
    } catch (const PDFSecurity::Failure& failure) {
        EXPECT_EQ(failure.kind(), PDFSecurity::Failure::Kind::needsPassword);
    }
    // /Encrypt at a free object: unsupported, no repair.
    FixtureWriter v = onePage();
    EXPECT_EQ(
        errorOf(v.finishClassic("/Root 1 0 R /Encrypt 9 0 R /Size 10")),
        "El PDF usa un cifrado que todavía no se puede firmar (falta el diccionario /Encrypt).");
}

TEST(PDFFileOpen, ConsistencyFailuresLeadToRepair) {
    // A catalog without /Pages: the repair finds no other catalog and fails.
    FixtureWriter w;
    w.object(1, "<</Type /Catalog >>").object(2, kOnePageTree).object(3, kPage);
    EXPECT_EQ(errorOf(w.finishClassic("/Root 1 0 R")), "No se encuentra el catálogo del PDF");

    // An entry whose offset holds another object: repaired.
    FixtureWriter v = onePage();
    std::string bytes = v.finishClassic("/Root 1 0 R");
    char wrong[32], right[32];
    std::snprintf(right, sizeof right, "%010lld 00000 n", static_cast<long long>(v.offset(2)));
    std::snprintf(wrong, sizeof wrong, "%010lld 00000 n", static_cast<long long>(v.offset(3)));
    bytes.replace(bytes.find(right), std::strlen(right), wrong);
    PDFFile file(bytes);
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.entries().at(2).offset(), v.offset(2));
}

// ---------------------------------------------------------------------------------------------

TEST(PDFFileObjects, LookupsIgnoreGenerations) {
    FixtureWriter w = onePage();
    w.object(5, "(cinco)", 3);
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    ASSERT_NE(file.object(PDFRef(5, 0)), nullptr);
    EXPECT_EQ(*file.object(PDFRef(5, 7))->stringData(), "cinco");
    EXPECT_EQ(file.object(PDFRef(40)), nullptr);
    EXPECT_EQ(file.object(PDFRef(0)), nullptr);
}

TEST(PDFFileObjects, DecryptionKeyTakesTheEntrysGeneration) {
    // A 40-bit RC4 file; object 5 has generation 3 and is asked for with generation 0.
    const std::string o(32, 'o'), id = "0123456789abcdef";
    const std::string key = PDFSecurity::fileKeyMD5(o, 0xFFFFFFFC, id, 2, 5, true);
    const PDFDictionary encrypt{{"Filter", PDFObject::name("Standard")},
                                {"V", PDFObject::integer(1)},
                                {"R", PDFObject::integer(2)},
                                {"O", PDFObject::string(o)},
                                {"U", PDFObject::string(PDFSecurity::rc4(key, PDFSecurity::padding))},
                                {"P", PDFObject::integer(-4)}};
    const PDFSecurity security(encrypt, id);
    auto hexString = [](const std::string& bytes) {
        std::string text = "<";
        text += fixtures::hex(bytes);
        return text + ">";
    };
    FixtureWriter w = onePage();
    w.object(5, hexString(security.encrypt(std::string_view("cinco"), PDFRef(5, 3))), 3);
    w.object(6, hexString(security.encrypt(std::string_view("seis"), PDFRef(6, 0))));
    w.object(9, "<</Filter /Standard /V 1 /R 2 /O " + hexString(o) + " /U " +
                    hexString(PDFSecurity::rc4(key, PDFSecurity::padding)) + " /P -4 >>");
    PDFFile file(w.finishClassic("/Root 1 0 R /Encrypt 9 0 R /ID [" + hexString(id) + " " +
                                 hexString(id) + "]"));
    ASSERT_FALSE(file.wasReconstructed());
    ASSERT_NE(file.security(), nullptr);
    EXPECT_EQ(file.security()->key(), key);
    ASSERT_NE(file.object(PDFRef(5, 0)), nullptr);
    EXPECT_EQ(*file.object(PDFRef(5, 0))->stringData(), "cinco");
    EXPECT_EQ(*file.object(PDFRef(6))->stringData(), "seis");
    // The encryption dictionary itself is returned as stored.
    EXPECT_EQ(*file.object(PDFRef(9))->dictionary()->get("O")->stringData(), o);
}

TEST(PDFFileObjects, WrongHeaderGivesNothingAndIsNotCached) {
    FixtureWriter w = onePage();
    for (int n = 4; n <= 30; ++n) w.object(n, "(objeto " + std::to_string(n) + ")");
    std::string bytes = w.finishClassic("/Root 1 0 R");
    char from[32], to[32];
    std::snprintf(from, sizeof from, "%010lld 00000 n", static_cast<long long>(w.offset(30)));
    std::snprintf(to, sizeof to, "%010lld 00000 n", static_cast<long long>(w.offset(29)));
    bytes.replace(bytes.find(from), std::strlen(from), to);
    PDFFile file(bytes);  // entry 30 lies beyond the sampled first 20
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.object(PDFRef(30)), nullptr);
    EXPECT_EQ(file.object(PDFRef(30)), nullptr);
    EXPECT_EQ(*file.object(PDFRef(29))->stringData(), "objeto 29");
}

TEST(PDFFileObjects, ObjectStreamMembers) {
    // /N 3 with two pairs; the member 9 is at header position 1 while its entry says 0.
    const std::string header = "8 0 9 6 ";
    const std::string body = "(ocho)(nueve)";
    FixtureWriter x;
    x.object(1, kCatalog).object(2, kOnePageTree).object(3, kPage);
    x.stream(4, "/Type /ObjStm /N 3 /First " + std::to_string(header.size()), header + body);
    // A member beyond the decoded data, and a stream that does not decode.
    x.stream(5, "/Type /ObjStm /N 1 /First 4", "10 99999 ");
    x.stream(6, "/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", "11 0 (x)");
    PDFFile file(x.finishXRefStream(7, "/Root 1 0 R",
                                    {{8, 2, 4, 1}, {9, 2, 4, 0}, {10, 2, 5, 0}, {11, 2, 6, 0}}));
    EXPECT_FALSE(file.wasReconstructed());
    ASSERT_NE(file.object(PDFRef(8)), nullptr);
    EXPECT_EQ(*file.object(PDFRef(8))->stringData(), "ocho");
    EXPECT_EQ(*file.object(PDFRef(9))->stringData(), "nueve");
    EXPECT_EQ(file.object(PDFRef(10)), nullptr);
    EXPECT_EQ(file.object(PDFRef(11)), nullptr);
    EXPECT_EQ(file.object(PDFRef(11)), nullptr);
}

TEST(PDFFileObjects, IndirectLengthsAndCycles) {
    FixtureWriter w = onePage();
    w.object(4, "<</Length 5 0 R >>\nstream\n0123456789\nendstream");
    w.object(5, "10");
    // A stream whose /Length points at itself falls back to searching "endstream".
    w.object(6, "<</Length 6 0 R >>\nstream\nabc\nendstream");
    // Two objects whose lengths refer to each other.
    w.object(7, "<</Length 8 0 R >>\nstream\nsiete\nendstream");
    w.object(8, "<</Length 7 0 R >>\nstream\nocho\nendstream");
    // A /Length reference that cannot be resolved.
    w.object(9, "<</Length 99 0 R >>\nstream\nnueve\nendstream");
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(file.object(PDFRef(4))->stream()->data, "0123456789");
    EXPECT_EQ(file.object(PDFRef(6))->stream()->data, "abc");
    EXPECT_EQ(file.object(PDFRef(7))->stream()->data, "siete");
    EXPECT_EQ(file.object(PDFRef(8))->stream()->data, "ocho");
    EXPECT_EQ(file.object(PDFRef(9))->stream()->data, "nueve");
}

TEST(PDFFileObjects, ReferenceChainsAreBounded) {
    FixtureWriter w = onePage();
    // 10 -> 11 -> ... -> 50 (a dictionary): a chain of 40 references.
    for (int n = 10; n < 50; ++n) w.object(n, std::to_string(n + 1) + " 0 R");
    w.object(50, "<</Fin true >>");
    // 33 objects loaded inside one another through indirect stream lengths.
    for (int n = 60; n < 100; ++n) {
        w.object(n, "<</Length " + std::to_string(n + 1) + " 0 R >>\nstream\nx\nendstream");
    }
    w.object(100, "1");
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    PDFObject start = PDFObject::reference(PDFRef(10));
    const PDFObject* end = file.resolve(&start);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->reference(), PDFRef(42));
    EXPECT_EQ(file.dictionary(&start), nullptr);
    PDFObject near = PDFObject::reference(PDFRef(30));
    ASSERT_NE(file.dictionary(&near), nullptr);
    // Loads nest 40 deep through the lengths; the deepest give nothing and every stream still
    // loads by searching "endstream".
    ASSERT_NE(file.object(PDFRef(60)), nullptr);
    EXPECT_EQ(file.object(PDFRef(60))->stream()->data, "x");
}

TEST(PDFFileObjects, CatalogRefAndDirectRoot) {
    FixtureWriter w;
    w.object(2, kOnePageTree).object(3, kPage);
    PDFFile file(w.finishClassic("/Root <</Type /Catalog /Pages 2 0 R >> /Size 4"));
    EXPECT_FALSE(file.catalogRef());
    ASSERT_NE(file.catalog(), nullptr);
    EXPECT_EQ(file.pageRefs().size(), 1u);
}

TEST(PDFFileObjects, PageTreeWalk) {
    FixtureWriter w;
    w.object(1, kCatalog);
    // Page 3 listed twice; node 4 has /Type /Page and /Kids; node 5 has no /Kids and no /Type;
    // node 6 has an empty /Kids; node 7 is a cycle back to the root.
    w.object(2, "<</Type /Pages /Kids [3 0 R 3 0 R 4 0 R 5 0 R 6 0 R 2 0 R 7 0 R] /Count 4 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /Rotate 90 >>");
    w.object(4, "<</Type /Page /Parent 2 0 R /Kids [3 0 R] /Rotate 8 0 R >>");
    w.object(5, "<</Parent 2 0 R >>");
    w.object(6, "<</Type /Pages /Parent 2 0 R /Kids [] >>");
    w.object(7, "<</Type /Pages /Parent 2 0 R /Kids [2 0 R] >>");
    w.object(8, "180");
    PDFFile file(w.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(file.pageRefs(), (std::vector<PDFRef>{PDFRef(3), PDFRef(4), PDFRef(5)}));
    EXPECT_EQ(intValue(file.inherited("Rotate", PDFRef(3))), 90);
    EXPECT_EQ(intValue(file.inherited("Rotate", PDFRef(4))), 180);
    EXPECT_EQ(file.inherited("Rotate", PDFRef(5)), nullptr);
}

// A walk asked for the first page of a long document reads the nodes on the way to it, not the
// whole tree; walked on, it gives the pages of pageRefs() in their order.
TEST(PDFFileObjects, APageWalkReadsTheTreeOnlyAsFarAsItIsAsked) {
    FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    int next = 10;
    for (int node = 0; node < 20; ++node) {
        const int number = next++;
        std::string pages;
        for (int p = 0; p < 50; ++p) pages += std::to_string(next + p) + " 0 R ";
        w.object(number, "<</Type /Pages /Parent 2 0 R /Kids [" + pages + "] /Count 50 >>");
        for (int p = 0; p < 50; ++p)
            w.object(next++, "<</Type /Page /Parent " + std::to_string(number) + " 0 R >>");
        kids += std::to_string(number) + " 0 R ";
    }
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count 1000 >>");
    PDFFile file(w.finishClassic("/Root 1 0 R"));

    int nodes = 0;
    PDFFile::PageWalk walk(file, [&nodes] { ++nodes; });
    EXPECT_EQ(walk.next(), PDFRef(11));
    EXPECT_EQ(nodes, 3) << "the root, the first node and the first page";
    std::vector<PDFRef> all{PDFRef(11)};
    while (std::optional<PDFRef> page = walk.next()) all.push_back(*page);
    EXPECT_EQ(nodes, 1 + 20 + 1000);
    EXPECT_EQ(all, file.pageRefs());
    EXPECT_EQ(all.size(), 1000u);
    EXPECT_FALSE(walk.next());
}

TEST(PDFFileObjects, PageTreeDepthLimitAndInheritance) {
    // 64 levels of /Pages above the page: the page is at depth 64 and not listed; with 63 it is.
    for (int levels : {63, 64}) {
        FixtureWriter w;
        w.object(1, "<</Type /Catalog /Pages 10 0 R >>");
        for (int i = 0; i < levels; ++i) {
            const int n = 10 + i;
            const std::string parent =
                i ? " /Parent " + std::to_string(n - 1) + " 0 R" : " /Rotate 270";
            w.object(n,
                     "<</Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R]" + parent + " >>");
        }
        const int page = 10 + levels;
        w.object(page, "<</Type /Page /Parent " + std::to_string(page - 1) + " 0 R >>");
        PDFFile file(w.finishClassic("/Root 1 0 R"));
        EXPECT_EQ(file.pageRefs().size(), levels == 63 ? 1u : 0u) << levels;
        // The page and 63 ancestors are searched: the root's /Rotate is found only with 63 levels.
        EXPECT_EQ(intValue(file.inherited("Rotate", PDFRef(page))), levels == 63 ? 270 : -999)
            << levels;
    }
}

TEST(PDFFileObjects, SizeTakesTrailerAndEntries) {
    auto sizeWith = [](const std::string& size, int highest) {
        FixtureWriter w = onePage();
        w.object(highest, "null");
        return PDFFile(w.finishClassic("/Root 1 0 R /Size " + size)).size();
    };
    EXPECT_EQ(sizeWith("10", 20), 21);
    EXPECT_EQ(sizeWith("100", 20), 100);
    EXPECT_EQ(sizeWith("-5", 20), 21);
}

TEST(PDFFileHostile, NumbersNearTheLimitsAreChecked) {
    // A classic subsection whose count would overflow: repaired.
    FixtureWriter w = onePage();
    std::string bytes = w.finishClassic("/Root 1 0 R");
    PDFFile counted(replaced(bytes, "xref\n0 4", "xref\n9223372036854775000 9223372036854775807"));
    EXPECT_TRUE(counted.wasReconstructed());

    // 8-byte fields beyond the signed range, and /Index pairs near 2^63.
    FixtureWriter v = onePage();
    std::string rows = fixtures::xrefStreamData(
        {{1, 1, v.offset(1), 0}, {2, 1, v.offset(2), 0}, {3, 1, v.offset(3), 0}});
    std::string wide(1 + 8 + 2, '\xFF');
    wide[0] = 2;
    const std::int64_t at = v.size();
    v.stream(4, "/Type /XRef /W [1 8 2] /Index [7 1] /Size 8", wide);
    const std::int64_t main = v.size();
    v.stream(5,
             "/Type /XRef /W [1 4 2] /Index [1 3] /Size 8 /Root 1 0 R /Prev " + std::to_string(at),
             rows);
    PDFFile saturated(v.finishWithStartxref(main));
    EXPECT_FALSE(saturated.wasReconstructed());
    EXPECT_EQ(saturated.entries().at(7), PDFFile::Entry::inStream(INT64_MAX, 65535));
    EXPECT_EQ(saturated.object(PDFRef(7)), nullptr);

    FixtureWriter x = onePage();
    const std::int64_t y = x.size();
    x.stream(4, "/Type /XRef /W [1 4 2] /Index [9223372036854775000 1000] /Size 8 /Root 1 0 R",
             rows);
    PDFFile index(x.finishWithStartxref(y));
    EXPECT_TRUE(index.wasReconstructed());

    // An object stream whose /First plus a member offset overflows.
    FixtureWriter s = onePage();
    s.stream(4, "/Type /ObjStm /N 2 /First 9223372036854775800", "8 100 9 0 ");
    PDFFile members(s.finishXRefStream(5, "/Root 1 0 R", {{8, 2, 4, 0}, {9, 2, 4, 1}}));
    EXPECT_EQ(members.object(PDFRef(8)), nullptr);
    EXPECT_EQ(members.object(PDFRef(9)), nullptr);
}

TEST(PDFFileHostile, OverlappingObjectsFinish) {
    // Headers hidden inside the strings of other objects: loading every object would parse the
    // rest of the file each time. Opening (through the repair) and walking must still end.
    std::string bytes =
        "%PDF-1.7\n1 0 obj <</Type /Catalog /Pages 2 0 R >> endobj\n"
        "2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
        "3 0 obj <</Type /Page /Parent 2 0 R >> endobj\n";
    const int depth = 8000;
    for (int i = 0; i < depth; ++i) bytes += std::to_string(10 + i) + " 0 obj (";
    bytes += std::string(depth, ')');
    PDFFile file(bytes);
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 1u);
}

TEST(PDFFileHostile, LookAheadPastMembersIsCharged) {
    // Every member of a compressed object stream starts at the same place: a number followed
    // by megabytes of blanks. Looking for a following "0 R" reads the blanks each time, though
    // the member itself ends after one byte; the work budget must count what was read.
    std::string header;
    const int members = 4000;
    for (int i = 0; i < members; ++i) header += std::to_string(10 + i) + " 0 ";
    const std::string data = header + "1" + std::string(8 << 20, ' ');
    FixtureWriter x;
    x.object(1, kCatalog).object(2, kOnePageTree).object(3, kPage);
    x.stream(4, "/Type /ObjStm /N " + std::to_string(members) + " /First " +
                    std::to_string(header.size()),
             data, true);
    std::vector<XRefRow> rows;
    for (int i = 0; i < members; ++i) rows.push_back({10 + i, 2, 4, i});
    const std::string bytes = x.finishXRefStream(5, "/Root 1 0 R", rows);
    // The work of one look-ahead: a fresh file's first member, the stream inflated and the blanks
    // read once. Looking up every member costs the budget's few look-aheads, not one per member.
    double oneLookAhead = 0;
    for (int round = 0; round < 3; ++round) {
        PDFFile fresh(bytes);
        const double start = testutil::processorSeconds();
        EXPECT_NE(fresh.object(PDFRef(10)), nullptr);
        const double seconds = testutil::processorSeconds() - start;
        if (round == 0 || seconds < oneLookAhead) oneLookAhead = seconds;
    }
    PDFFile file(bytes);
    const double start = testutil::processorSeconds();
    for (int i = 0; i < members; ++i) file.object(PDFRef(10 + i));
    const double seconds = testutil::processorSeconds() - start;
    EXPECT_LT(seconds, 100 * oneLookAhead) << "one look-ahead takes " << oneLookAhead << " s";
}

// A table far larger than one sorting step, listed in descending order and with every number
// twice: the first listing of a number wins however the rows arrive.
TEST(PDFFileOpen, LargeUnorderedTableKeepsTheFirstListingOfEachNumber) {
    constexpr int kObjects = 9000;
    FixtureWriter w = onePage();
    for (int n = 4; n <= kObjects; ++n) w.object(n, std::to_string(n));
    const std::int64_t xref = w.size();
    std::string table = "xref\n";
    char row[32];
    for (int n = kObjects; n >= 1; --n) {
        std::snprintf(row, sizeof row, "%010lld 00000 n \n", static_cast<long long>(w.offset(n)));
        table += std::to_string(n) + " 1\n" + row;
    }
    for (int n = kObjects; n >= 1; n -= 7) table += std::to_string(n) + " 1\n0000000000 65535 f \n";
    w.raw(table + "trailer\n<</Root 1 0 R /Size " + std::to_string(kObjects + 1) + " >>\n");
    PDFFile file(w.finishWithStartxref(xref));
    EXPECT_FALSE(file.wasReconstructed());
    ASSERT_EQ(file.entries().size(), static_cast<std::size_t>(kObjects));
    for (int n : {1, 2, 5000, kObjects}) {
        EXPECT_EQ(file.entries().at(n), PDFFile::Entry::atOffset(w.offset(n), 0)) << n;
        EXPECT_EQ(intValue(file.object(PDFRef(n))), n > 3 ? n : -999) << n;
    }
    EXPECT_FALSE(file.entries().contains(kObjects + 1));
    EXPECT_THROW(file.entries().at(0), std::out_of_range);
}

// Bytes the file does not own open as the same file; data() gives them as a string.
TEST(PDFFileOpen, BytesHeldElsewhereOpenLikeOwnedBytes) {
    auto bytes = std::make_shared<std::string>(fixtures::textPDF(3));
    PDFFile viewed(*bytes, bytes);
    PDFFile owned(*bytes);
    EXPECT_EQ(viewed.pageRefs(), owned.pageRefs());
    EXPECT_EQ(viewed.entries().size(), owned.entries().size());
    EXPECT_EQ(viewed.bytes().data(), bytes->data());
    EXPECT_EQ(viewed.data(), *bytes);
}

// Rows of twenty bytes are read as such; a row spelled otherwise (a longer line end, a comment,
// numbers not padded) is read by its tokens, and so are the rows after it, whatever they look like.
TEST(PDFFileOpen, TableRowsSpelledOtherwiseAmidTheFixedOnesAreRead) {
    FixtureWriter w = onePage();
    w.object(4, "4").object(5, "5").object(6, "6");
    const std::int64_t xref = w.size();
    auto row = [&](int n, const char* end) {
        char text[48];
        std::snprintf(text, sizeof text, "%010lld 00000 n%s", static_cast<long long>(w.offset(n)),
                      end);
        return std::string(text);
    };
    w.raw("xref\n0 7\n0000000000 65535 f\r\n" + row(1, "\r\n") + row(2, " \n") +
          row(3, " \r\n% tres\n") + std::to_string(w.offset(4)) + " 0 n\n" + row(5, " \n") +
          row(6, "\r\n") + "trailer\n<</Root 1 0 R /Size 7 >>\n");
    PDFFile file(w.finishWithStartxref(xref));
    EXPECT_FALSE(file.wasReconstructed());
    EXPECT_EQ(file.entries().at(0).kind, PDFFile::Entry::Kind::free);
    for (int n = 1; n <= 6; ++n)
        EXPECT_EQ(file.entries().at(n), PDFFile::Entry::atOffset(w.offset(n), 0)) << n;
    EXPECT_EQ(intValue(file.object(PDFRef(6))), 6);
}

// A row's digits are read eight at a time: a byte just outside 0-9 anywhere among them is no
// digit, even in a free row whose numbers are not used, and the table is then rebuilt.
TEST(PDFFileOpen, ARowWithAByteBesideTheDigitsIsNotReadAsANumber) {
    const std::string pdf = fixtures::textPDF(3);
    const std::size_t table = pdf.find("xref\n0 ");
    const std::size_t freeRow = pdf.find('\n', table + 5) + 1;
    ASSERT_EQ(pdf.substr(freeRow, 18), "0000000000 65535 f");
    for (std::size_t at = 0; at < 16; ++at) {
        if (at == 10) continue;
        for (const char wrong : {'/', ':'}) {
            std::string damaged = pdf;
            damaged[freeRow + at] = wrong;
            PDFFile file(damaged);
            EXPECT_TRUE(file.wasReconstructed()) << at << wrong;
            EXPECT_EQ(file.pageRefs().size(), 3u) << at << wrong;
        }
    }
}

TEST(PDFFileOpen, AnEngineOpenedFromAnotherOnesOpeningReadsWhatItReads) {
    const std::string classic = fixtures::textPDF(5, true);
    std::vector<std::pair<std::string, std::string>> files{
        {"classic", classic},
        {"rebuilt", classic.substr(0, classic.rfind("startxref"))},
        {"streams", fixtures::qpdf(classic, {"--object-streams=generate"})},
        {"encrypted", fixtures::encrypt(classic, fixtures::Cipher::aes256R6)}};
    for (const auto& [label, pdf] : files) {
        SCOPED_TRACE(label);
        PDFFile first(pdf);
        PDFFile second(first.bytes(), nullptr, first.opening());
        EXPECT_EQ(second.wasReconstructed(), first.wasReconstructed());
        EXPECT_EQ(second.usesXRefStream(), first.usesXRefStream());
        EXPECT_EQ(second.isEncrypted(), first.isEncrypted());
        EXPECT_TRUE(std::equal(second.entries().begin(), second.entries().end(),
                               first.entries().begin(), first.entries().end()));
        const std::vector<PDFRef> pages = first.pageRefs();
        ASSERT_EQ(second.pageRefs(), pages);
        const auto contents = [](PDFFile& file, PDFRef page) {
            return file.resolve(file.dictionary(file.object(page))->get("Contents"));
        };
        for (const PDFRef page : pages) {
            ASSERT_NE(contents(second, page), nullptr);
            EXPECT_EQ(*contents(second, page), *contents(first, page));
        }
    }
    // Other bytes than those the opening was taken from are opened as any others.
    const std::string other = fixtures::textPDF(2);
    PDFFile opened(classic);
    PDFFile reread(other, nullptr, opened.opening());
    EXPECT_EQ(reread.pageRefs().size(), 2u);
}
