// The update that ends the page processes' copy of a document: Poppler, and qpdf, must read the
// copy as they read the document itself.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "pages/PageCopy.h"
#include "pages/PageProcess.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace {

// A flat tree of `count` pages under the root, which holds what the pages inherit: a landscape
// media box, a quarter turn and the font. Each page shows "Hoja N".
std::string flatDocument(int count) {
    fixtures::FixtureWriter w;
    std::string kids;
    for (int i = 0; i < count; ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) +
                    " /MediaBox [0 0 842 595] /Rotate 90 /Resources <</Font <</F1 3 0 R >> >> >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (int i = 0; i < count; ++i) {
        w.object(4 + 2 * i, "<</Type /Page /Parent 2 0 R /Contents " + std::to_string(5 + 2 * i) +
                                " 0 R >>");
        w.stream(5 + 2 * i, "", fixtures::textContent({"Hoja " + std::to_string(i + 1)}, 595));
    }
    return w.finishClassic("/Root 1 0 R");
}

// The page objects in order, as qpdf lists them.
std::vector<std::string> qpdfPages(const std::string& pdf, const std::string& password = "") {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    std::vector<std::string> argv{"qpdf", "--show-pages", (dir / "in.pdf").string()};
    if (!password.empty()) argv.insert(argv.begin() + 1, "--password=" + password);
    std::istringstream out(testutil::run(argv).out);
    std::vector<std::string> pages;
    for (std::string line; std::getline(out, line);)
        if (line.rfind("page ", 0) == 0) pages.push_back(line.substr(line.find(':') + 2));
    return pages;
}

// Poppler, in the page process, reads `copy` as it reads `pdf`: the same pages, the same text on
// pages of each node of ours, and the same drawing of the last page (turned and sized by what the
// root passes down).
void expectReadAlike(const std::string& pdf, const std::string& update, int count) {
    std::unique_ptr<PageProcess> plain = PageProcess::open(pdf);
    std::unique_ptr<PageProcess> copy = PageProcess::open(pdf, update);
    ASSERT_TRUE(plain && copy);
    EXPECT_EQ(copy->pageCount(), count);
    EXPECT_EQ(plain->pageCount(), count);
    for (const int page : {0, 255, 256, count / 2, count - 1}) {
        SCOPED_TRACE(page);
        const std::optional<PageText> a = plain->text(page);
        const std::optional<PageText> b = copy->text(page);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(b->text, a->text);
        const std::string shown = "Hoja " + std::to_string(page + 1);
        EXPECT_EQ(b->text, std::u16string(shown.begin(), shown.end()));
    }
    const std::optional<GreyImage> a = plain->render(count - 1, 0.5, 1'000'000);
    const std::optional<GreyImage> b = copy->render(count - 1, 0.5, 1'000'000);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->width, a->width);
    EXPECT_EQ(b->height, a->height);
    EXPECT_LT(b->width, b->height) << "the quarter turn the root passes down";
    EXPECT_EQ(b->pixels, a->pixels);
}

TEST(PageCopy, ALongFlatDocumentIsReadFromOneIndexAndAShallowTreeAsItIs) {
    const int count = 1500;
    const std::string plain = flatDocument(count);
    std::vector<std::pair<std::string, std::string>> documents{{"claro", plain}};
    if (testutil::haveProgram("qpdf"))
        documents.emplace_back("cifrado",
                               fixtures::encrypt(plain, fixtures::Cipher::aes256R6));
    for (const auto& [label, pdf] : documents) {
        SCOPED_TRACE(label);
        PDFFile file(pdf);
        ASSERT_FALSE(file.usesXRefStream());
        const std::string update = PageCopy::update(file);
        ASSERT_FALSE(update.empty());
        const std::string copy = pdf + update;

        // One cross-reference stream without /Prev lists every object of the file.
        PDFFile read(copy);
        EXPECT_FALSE(read.wasReconstructed());
        EXPECT_TRUE(read.usesXRefStream());
        EXPECT_EQ(copy.find("/Prev", pdf.size()), std::string::npos);
        const PageCopy::Root before = PageCopy::root(file);
        ASSERT_NE(before.dictionary, nullptr);
        for (const auto& [number, entry] : file.entries())
            if (entry.kind != PDFFile::Entry::Kind::free && number != before.ref.number) {
                EXPECT_EQ(read.entries().at(number), entry) << number;
            }

        // The root holds nodes of at most kidsPerNode pages, and nothing else changed in it.
        const PDFDictionary* root = read.dictionary(read.catalog()->get("Pages"));
        ASSERT_NE(root, nullptr);
        const auto* nodes = root->get("Kids")->array();
        ASSERT_NE(nodes, nullptr);
        EXPECT_EQ(nodes->size(), (count + PageCopy::kidsPerNode - 1) / PageCopy::kidsPerNode);
        for (const auto& [key, value] : *before.dictionary)
            if (key != "Kids") {
                EXPECT_EQ(*root->get(key), value) << key;
            }
        EXPECT_EQ(root->size(), before.dictionary->size());
        EXPECT_EQ(read.pageRefs(), file.pageRefs());

        if (testutil::haveProgram("qpdf")) {
            EXPECT_EQ(fixtures::qpdfCheck(copy), 0);
            EXPECT_EQ(qpdfPages(copy), qpdfPages(pdf));
        }
        expectReadAlike(pdf, update, count);
    }
}

TEST(PageCopy, ATreeItCannotSplitFaithfullyIsLeftAsItIs) {
    const int count = 1100;
    // A root whose /Count is not its number of kids, a kid that is no reference, a root under a
    // generation its entry does not hold: the table is still written again, the root is not.
    std::string miscounted = flatDocument(count);
    const auto counted = miscounted.find("/Count " + std::to_string(count));
    miscounted.replace(counted, 11, "/Count 1099");
    std::string direct = flatDocument(count);
    direct.replace(direct.find("[4 0 R"), 6, "[null ");
    std::string generation = flatDocument(count);
    generation.replace(generation.find("/Pages 2 0 R"), 12, "/Pages 2 1 R");
    for (const std::string& pdf : {miscounted, direct, generation}) {
        PDFFile file(pdf);
        const std::string update = PageCopy::update(file);
        ASSERT_FALSE(update.empty());  // more than indexedEntries objects
        PDFFile read(pdf + update);
        EXPECT_EQ(read.entries().at(2), file.entries().at(2)) << "the root was written again";
    }
    // A short table and a flat root of few kids need nothing; a rebuilt table is left to Poppler.
    PDFFile shortFile(flatDocument(40));
    EXPECT_TRUE(PageCopy::update(shortFile).empty());
    const std::string longFile = flatDocument(count);
    PDFFile rebuilt(longFile.substr(0, longFile.rfind("startxref")));
    ASSERT_TRUE(rebuilt.wasReconstructed());
    EXPECT_TRUE(PageCopy::update(rebuilt).empty());
}

}  // namespace
