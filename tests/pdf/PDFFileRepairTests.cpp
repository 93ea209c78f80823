// Damaged files: the cross-reference table rebuilt by scanning, compared with qpdf's own recovery.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "PDFFileTestSupport.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"

using fixtures::FixtureWriter;
using pdffiletest::errorOf;
using pdffiletest::replaced;

namespace {

std::string withoutLast(std::string text, const std::string& from) {
    const auto at = text.rfind(from);
    if (at == std::string::npos) throw std::runtime_error("fixture lacks " + from);
    return text.erase(at);
}

// The page count of qpdf's own recovery, or MuPDF's where qpdf gives up.
int oraclePageCount(const std::string& bytes) {
    try {
        return fixtures::qpdfPageCount(bytes);
    } catch (const std::runtime_error&) {
        return fixtures::mutoolPageCount(bytes);
    }
}

// `pages`: the count when neither qpdf nor MuPDF can recover the file.
void expectRepairedLikeQpdf(const std::string& bytes, const std::string& label, int pages = -1) {
    SCOPED_TRACE(label);
    std::unique_ptr<PDFFile> file;
    ASSERT_NO_THROW(file = std::make_unique<PDFFile>(bytes));
    EXPECT_TRUE(file->wasReconstructed());
    EXPECT_FALSE(file->usesXRefStream());
    EXPECT_EQ(static_cast<int>(file->pageRefs().size()),
              pages >= 0 ? pages : oraclePageCount(bytes));
    EXPECT_TRUE(file->trailer().contains("Root"));
    EXPECT_EQ(file->trailer().get("Size")->integer(), file->entries().rbegin()->first + 1);
    for (const auto& [number, entry] : file->entries())
        EXPECT_NE(entry.kind, PDFFile::Entry::Kind::free);
}

}  // namespace

TEST(PDFFileRepair, DamagedFilesOpenWithQpdfsPageCount) {
    const std::string classic = fixtures::textPDF(4, true);
    const std::string streams = fixtures::qpdf(classic, {"--object-streams=generate"});
    const std::string encryptedStreams = fixtures::qpdf(
        fixtures::encrypt(classic, fixtures::Cipher::aes128), {"--object-streams=generate"});

    expectRepairedLikeQpdf("basura antes de la cabecera\n" + classic, "shifted");
    expectRepairedLikeQpdf("basura\n" + streams, "shifted object streams");
    expectRepairedLikeQpdf(withoutLast(classic, "startxref"), "no startxref");
    expectRepairedLikeQpdf(withoutLast(classic, "startxref") + "startxref\n99999999\n%%EOF\n",
                           "startxref outside");
    // The table cut half-way, with no trailer after it: the catalog is found by search.
    expectRepairedLikeQpdf(classic.substr(0, classic.rfind("xref\n0 ") + 40), "truncated table");
    // No "trailer" keyword at all: the trailer keys come from the cross-reference stream, for an
    // encrypted file too (its /ID and /Encrypt).
    ASSERT_EQ(streams.find("trailer"), std::string::npos);
    expectRepairedLikeQpdf(withoutLast(streams, "startxref"), "xref stream, no startxref");
    expectRepairedLikeQpdf(withoutLast(encryptedStreams, "startxref"),
                           "encrypted xref stream, no startxref");
    // The entry of the page tree points at the catalog's header.
    {
        PDFFile intact(classic);
        char tree[32], catalog[32];
        std::snprintf(tree, sizeof tree, "%010lld 00000 n",
                      static_cast<long long>(intact.entries().at(2).offset()));
        std::snprintf(catalog, sizeof catalog, "%010lld 00000 n",
                      static_cast<long long>(intact.entries().at(1).offset()));
        expectRepairedLikeQpdf(replaced(classic, tree, catalog), "entry at another object");
    }
    // Root missing from the trailer: the catalog is found by search (qpdf and MuPDF both give up;
    // the fixture has 4 pages).
    expectRepairedLikeQpdf(replaced(classic, "/Root 1 0 R", "           "), "catalog by search", 4);
}

TEST(PDFFileRepair, LastHeaderWinsAndTrailerKeysAreCorrected) {
    // An appended revision repeats the page tree with one page fewer, without a usable xref.
    const std::string base = fixtures::textPDF(3);
    std::string appended = base +
                           "2 0 obj\n<</Type /Pages /Kids [5 0 R 7 0 R] /Count 2 >>\nendobj\n"
                           "startxref\n12\n%%EOF\n";
    PDFFile file(appended);
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 2u);
    EXPECT_EQ(fixtures::qpdfPageCount(appended), 2);
    EXPECT_EQ(file.lastXRefOffset(), 12);

    // The first attempt merged /Root 20 and failed its consistency check; the last "trailer"
    // dictionary of the file names catalog 1, which the repair takes.
    FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R >>");
    w.object(20, "<</Type /Catalog /Pages 2 0 R /Marca 20 >>");
    std::string bytes = w.finishClassic("/Root 20 0 R");
    char right[32], wrong[32];
    std::snprintf(right, sizeof right, "%010lld 00000 n", static_cast<long long>(w.offset(3)));
    std::snprintf(wrong, sizeof wrong, "%010lld 00000 n", static_cast<long long>(w.offset(1)));
    bytes = replaced(bytes, right, wrong) + "trailer\n<</Root 1 0 R >>\n";
    PDFFile fixed(bytes);
    EXPECT_TRUE(fixed.wasReconstructed());
    EXPECT_EQ(fixed.catalogRef(), PDFRef(1));
    EXPECT_EQ(fixed.pageRefs().size(), 1u);
    EXPECT_EQ(fixed.size(), 21);
}

TEST(PDFFileRepair, HeaderScanRules) {
    // "objeto" and "endobj" are not headers; a header followed by "<<" is; a number may run
    // straight into the preceding text; the lowest-numbered catalog is chosen.
    std::string bytes =
        "%PDF-1.4\n"
        "% objeto endobj 7 0 objeto\n"
        "1 0 obj<</Type /Catalog /Pages 2 0 R >>endobj\n"
        "x2 0 obj\n<</Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
        "3 0 obj <</Type /Page /Parent 2 0 R >> endobj\n"
        "4 0 obj <</Type /Catalog /Pages 2 0 R /Otro true >> endobj\n";
    PDFFile file(bytes);
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.entries().size(), 4u);
    EXPECT_EQ(file.entries().at(2).offset(), static_cast<std::int64_t>(bytes.find("2 0 obj")));
    EXPECT_EQ(file.catalogRef(), PDFRef(1));
    EXPECT_EQ(file.pageRefs().size(), 1u);
    EXPECT_EQ(file.lastXRefOffset(), 0);
    EXPECT_EQ(file.trailer().get("Size")->integer(), 5);

    // A header that ends the file counts (beyond the entries the consistency check samples).
    FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R >>");
    for (int n = 4; n <= 24; ++n) w.object(n, "null");
    const std::string cut = w.bytes() + "40 0 obj";
    PDFFile ending(cut);
    EXPECT_TRUE(ending.wasReconstructed());
    EXPECT_EQ(ending.entries().at(40),
              PDFFile::Entry::atOffset(static_cast<std::int64_t>(cut.size()) - 8, 0));
    EXPECT_EQ(ending.size(), 41);
}

TEST(PDFFileRepair, CatalogSearchFollowsAtMost32Lookups) {
    // 10 -> 11 -> ... -> 49 -> 50, the catalog. From 19 the catalog is 32 lookups away: the
    // first number the search may take, and one the consistency check can resolve again.
    FixtureWriter w;
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R >>");
    for (int n = 10; n < 50; ++n) w.object(n, std::to_string(n + 1) + " 0 R");
    w.object(50, "<</Type /Catalog /Pages 2 0 R >>");
    PDFFile file(w.bytes());
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.catalogRef(), PDFRef(19));
    EXPECT_EQ(file.pageRefs().size(), 1u);
}

TEST(PDFFileRepair, ObjectStreamMembersGetTheirRealIndexes) {
    // Members of object streams without a header of their own get compressed entries whose index
    // is their position in the stream's header, as qpdf reads in the undamaged file.
    const std::string streams = fixtures::qpdf(fixtures::textPDF(5), {"--object-streams=generate"});
    PDFFile original(streams);
    ASSERT_FALSE(original.wasReconstructed());
    PDFFile repaired("%comentario\n" + streams);
    ASSERT_TRUE(repaired.wasReconstructed());
    int compressed = 0;
    for (const auto& [number, entry] : original.entries()) {
        if (entry.kind != PDFFile::Entry::Kind::compressed) continue;
        ++compressed;
        ASSERT_TRUE(repaired.entries().contains(number)) << number;
        EXPECT_EQ(repaired.entries().at(number), entry) << number;
    }
    EXPECT_GT(compressed, 5);

    // An object both in the body and in an object stream keeps its body entry.
    FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.objectStream(4, {{2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>"},
                       {3, "<</Type /Page /Parent 2 0 R >>"}});
    w.object(3, "<</Type /Page /Parent 2 0 R /Rotate 90 >>");
    PDFFile both(w.bytes());
    EXPECT_EQ(both.entries().at(2), PDFFile::Entry::inStream(4, 0));
    EXPECT_EQ(both.entries().at(3), PDFFile::Entry::atOffset(w.offset(3), 0));
    EXPECT_EQ(both.pageRefs().size(), 1u);
}

TEST(PDFFileRepair, UnusableFilesFailWithTheirSentences) {
    EXPECT_EQ(errorOf("%PDF-1.7\nnada que ver aquí\n"), "No se encuentra el catálogo del PDF");
    EXPECT_EQ(errorOf("%PDF-1.7\n1 0 obj <</Type /Pages /Kids [] >> endobj\n"),
              "No se encuentra el catálogo del PDF");
    EXPECT_EQ(errorOf("basura\n" + fixtures::textPDF(1).substr(0, 20)),
              "No se encuentra el catálogo del PDF");
    // An encrypted file that needs a password still says so after a repair.
    const std::string locked =
        fixtures::encrypt(fixtures::textPDF(1), fixtures::Cipher::aes128, {.userPassword = "x"});
    EXPECT_EQ(errorOf("basura\n" + locked),
              "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
}

// An appended revision whose /Prev leads back to itself hides the first revision's pages: the
// scan finds all of them.
TEST(PDFFileRepair, PrevLoopThatLosesEveryPageIsRebuilt) {
    fixtures::FixtureWriter w;
    std::string kids;
    for (int i = 0; i < 30; ++i) kids += std::to_string(3 + i) + " 0 R ";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count 30 >>");
    for (int i = 0; i < 30; ++i)
        w.object(3 + i, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    const std::int64_t first = w.size();
    w.raw(w.classicTable() + "trailer\n<</Size 33 /Root 1 0 R >>\nstartxref\n" +
          std::to_string(first) + "\n%%EOF\n");
    w.object(1, "<</Type /Catalog /Pages 2 0 R /Lang (es) >>");
    const std::int64_t second = w.size();
    char row[32];
    std::snprintf(row, sizeof row, "%010lld 00000 n \n", static_cast<long long>(w.offset(1)));
    w.raw("xref\n0 2\n0000000000 65535 f \n" + std::string(row) +
          "trailer\n<</Size 33 /Root 1 0 R /Prev " + std::to_string(second) + " >>\n");
    const std::string bytes = w.finishWithStartxref(second);
    PDFFile file(bytes);
    EXPECT_TRUE(file.wasReconstructed());
    EXPECT_EQ(file.pageRefs().size(), 30u);
    EXPECT_EQ(fixtures::qpdfPageCount(bytes), 30);
}

// Damaged files a scan still reads: a header split over two lines, an empty object, a catalog
// written directly in the trailer, all with a table whose offsets are wrong.
TEST(PDFFileRepair, DamagedTablesWithOddObjectsAreRebuilt) {
    const std::string split =
        "%PDF-1.4\n1 0\nobj\n<</Type /Catalog /Pages 2 0 R>>\nendobj\n4 0 obj endobj\n"
        "2 0\nobj <</Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
        "3 0 obj <</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >> endobj\n"
        "xref\n0 4\n0000000000 65535 f \n0000000001 00000 n \n0000000002 00000 n \n"
        "0000000003 00000 n \ntrailer <</Size 4 /Root 1 0 R>>\nstartxref\n200\n%%EOF\n";
    PDFFile splitFile(split);
    EXPECT_TRUE(splitFile.wasReconstructed());
    EXPECT_EQ(splitFile.pageRefs().size(), 1u);

    fixtures::FixtureWriter w;
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    std::string table = w.classicTable();
    for (std::size_t at = table.find("00000 n"); at != std::string::npos;
         at = table.find("00000 n", at + 1))
        table[at - 2] = '9';  // every offset wrong
    const std::int64_t xref = w.size();
    w.raw(table + "trailer\n<</Size 4 /Root <</Type /Catalog /Pages 2 0 R>> >>\n");
    const std::string direct = w.finishWithStartxref(xref);
    PDFFile directFile(direct);
    EXPECT_EQ(directFile.pageRefs().size(), 1u);
    EXPECT_EQ(fixtures::qpdfPageCount(direct), 1);
}

// Page trees read as a viewer lists them: a page listed twice counts once, a direct dictionary in
// /Kids is no page, and a tree that loops back to its root keeps the pages met before the loop.
TEST(PDFFileRepair, OddPageTreesKeepTheirRule) {
    fixtures::FixtureWriter twice;
    twice.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    twice.object(2, "<</Type /Pages /Kids [3 0 R 3 0 R 4 0 R] /Count 3 >>");
    twice.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    twice.object(4, "<</Type /Pages /Parent 2 0 R /Kids [2 0 R 5 0 R] /Count 1 >>");
    twice.object(5, "<</Type /Page /Parent 4 0 R /MediaBox [0 0 200 200] >>");
    PDFFile file(twice.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(file.pageRefs(), (std::vector<PDFRef>{PDFRef(3), PDFRef(5)}));

    fixtures::FixtureWriter direct;
    direct.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    direct.object(2, "<</Type /Pages /Kids [<</Type /Page /MediaBox [0 0 200 200]>> 3 0 R] "
                     "/Count 2 >>");
    direct.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");
    PDFFile directFile(direct.finishClassic("/Root 1 0 R"));
    EXPECT_EQ(directFile.pageRefs(), std::vector<PDFRef>{PDFRef(3)});
}

namespace {

// A linearized file of 30 pages as qpdf writes it, and the parts of its first-page section: the
// cross-reference table right after the linearization dictionary, and its trailer.
struct Linearized {
    std::string bytes = fixtures::qpdf(fixtures::textPDF(30), {"--linearize"});
    std::size_t table = bytes.find("xref\n");
    std::int64_t first = std::stoll(bytes.substr(table + 5));
    std::size_t rows = bytes.find('\n', table + 5) + 1;  // 20 bytes a row
    std::size_t trailer = bytes.find("trailer", table);

    std::int64_t keyOf(const std::string& key, std::size_t from) const {
        return std::stoll(bytes.substr(bytes.find(key, from) + key.size()));
    }
    std::int64_t firstPage() const { return keyOf("/O ", 0); }
    std::int64_t catalog() const { return keyOf("/Root ", trailer); }
    std::int64_t offset(std::int64_t number) const {
        return std::stoll(bytes.substr(rows + 20 * static_cast<std::size_t>(number - first), 10));
    }
    // The file with the number's row giving another offset.
    std::string withOffset(std::int64_t number, std::int64_t offset, std::string from = "") const {
        if (from.empty()) from = bytes;
        char row[24];
        std::snprintf(row, sizeof row, "%010lld", static_cast<long long>(offset));
        return from.replace(rows + 20 * static_cast<std::size_t>(number - first), 10, row);
    }
    // The file with a key of the first-page trailer rewritten in the same number of bytes (qpdf
    // pads /Prev with spaces).
    std::string withTrailerKey(const std::string& from, const std::string& to) const {
        std::string text = bytes;
        const auto at = text.find(from, trailer);
        std::size_t end = at + from.size();
        while (text[end] == ' ') ++end;
        if (to.size() > end - at) throw std::runtime_error("no room for " + to);
        return text.replace(at, end - at, to + std::string(end - at - to.size(), ' '));
    }
};

}  // namespace

// A wrong first-page table of a linearized file: its objects lie beyond the 20 entries the
// sampled check reads, so a wrong row there lost the first page (29 of 30), and a first-page
// trailer without /Prev hid the whole page tree (0 pages). Both are rebuilt by the scan.
TEST(PDFFileRepair, LinearizedFilesWithAWrongFirstPageTable) {
    const Linearized lin;
    ASSERT_GT(lin.first, 20);  // beyond the entries the sampled check reads
    {
        PDFFile intact(lin.bytes);
        EXPECT_FALSE(intact.wasReconstructed());
        EXPECT_EQ(intact.pageRefs().size(), 30u);
        PDFFile streams(fixtures::qpdf(fixtures::textPDF(30),
                                       {"--linearize", "--object-streams=generate"}));
        EXPECT_FALSE(streams.wasReconstructed());
        EXPECT_EQ(streams.pageRefs().size(), 30u);
    }

    const std::int64_t page = lin.firstPage(), catalog = lin.catalog();
    std::string shifted = lin.bytes;
    for (std::int64_t n = lin.first; n < lin.first + 6; ++n)
        shifted = lin.withOffset(n, lin.offset(n) + 11, shifted);
    const std::string prev = "/Prev " + std::to_string(lin.keyOf("/Prev ", lin.trailer));
    const std::vector<std::pair<std::string, std::string>> damaged{
        {"first page's row 7 bytes off", lin.withOffset(page, lin.offset(page) + 7)},
        {"first page's row at the next object", lin.withOffset(page, lin.offset(page + 1))},
        {"first page's row outside the file", lin.withOffset(page, 99999999)},
        {"catalog's row 7 bytes off", lin.withOffset(catalog, lin.offset(catalog) + 7)},
        {"every row shifted", shifted},
        {"/Prev 40 bytes early",
         lin.withTrailerKey(prev,
                            "/Prev " + std::to_string(lin.keyOf("/Prev ", lin.trailer) - 40))},
        {"/Prev to the first-page table itself",
         lin.withTrailerKey(prev, "/Prev " + std::to_string(lin.table))},
        {"no /Prev", lin.withTrailerKey(prev, "")},
    };
    for (const auto& [label, bytes] : damaged) {
        SCOPED_TRACE(label);
        PDFFile file(bytes);
        EXPECT_TRUE(file.wasReconstructed());
        EXPECT_EQ(file.pageRefs().size(), 30u);
        // qpdf reads a first-page trailer without /Prev as it stands: no page tree, 0 pages.
        if (label != "no /Prev") {
            EXPECT_EQ(fixtures::qpdfPageCount(bytes), 30);
        }
    }

    // A wrong /Size damages nothing a reader needs: the table stands, and the first number the
    // update writer may take is the larger of the table's and /Size.
    const std::string size = "/Size " + std::to_string(lin.keyOf("/Size ", lin.trailer));
    PDFFile small(lin.withTrailerKey(size + " " + prev, "/Size 3 " + prev));
    EXPECT_FALSE(small.wasReconstructed());
    EXPECT_EQ(small.pageRefs().size(), 30u);
    EXPECT_EQ(small.size(), small.entries().rbegin()->first + 1);
    PDFFile large(lin.withTrailerKey(size + " " + prev, "/Size 99999 " + prev));
    EXPECT_FALSE(large.wasReconstructed());
    EXPECT_EQ(large.pageRefs().size(), 30u);
    EXPECT_EQ(large.size(), 99999);
}

// Page trees that never reach a page end at once with no pages: the callers then refuse
// (the signer with "No se encuentra la página de la firma.").
TEST(PDFFileRepair, PageTreesWithoutAReachablePageHaveNoPages) {
    fixtures::FixtureWriter loop;
    loop.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    loop.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    loop.object(3, "<</Type /Pages /Parent 2 0 R /Kids [2 0 R 3 0 R] /Count 1 >>");
    PDFFile loopFile(loop.finishClassic("/Root 1 0 R"));
    EXPECT_FALSE(loopFile.wasReconstructed());
    EXPECT_TRUE(loopFile.pageRefs().empty());

    // 200 nested nodes, each the only kid of the one above: deeper than the walk goes.
    fixtures::FixtureWriter deep;
    deep.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    for (int n = 2; n < 202; ++n)
        deep.object(n, "<</Type /Pages /Kids [" + std::to_string(n + 1) + " 0 R] /Count 1 >>");
    deep.object(202, "<</Type /Page /Parent 201 0 R /MediaBox [0 0 200 200] >>");
    PDFFile deepFile(deep.finishClassic("/Root 1 0 R"));
    EXPECT_TRUE(deepFile.pageRefs().empty());
}
