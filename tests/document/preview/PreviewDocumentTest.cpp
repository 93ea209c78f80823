// Opening a document for the preview: what it refuses and what it gives.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <sys/resource.h>
#include <unistd.h>

#include "document/PreviewDocument.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

TEST(PreviewDocument, RefusesWhatIsNotAReadablePDF) {
    testutil::TempDir dir;
    EXPECT_FALSE(PreviewDocument::open(dir.path()));
    EXPECT_FALSE(PreviewDocument::open(dir / "missing.pdf"));
    testutil::writeFile(dir / "text.pdf", "Esto no es un PDF.\n");
    EXPECT_FALSE(PreviewDocument::open(dir / "text.pdf"));
    fixtures::EncryptOptions locked;
    locked.userPassword = "secreta";
    testutil::writeFile(dir / "locked.pdf", fixtures::encrypt(fixtures::textPDF(1),
                                                              fixtures::Cipher::aes256R6, locked));
    EXPECT_FALSE(PreviewDocument::open(dir / "locked.pdf"));
    // An encrypted file that opens without a password is shown.
    testutil::writeFile(dir / "open.pdf",
                        fixtures::encrypt(fixtures::textPDF(2), fixtures::Cipher::aes128));
    auto open = PreviewDocument::open(dir / "open.pdf");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->pageCount(), 2);
}

TEST(PreviewDocument, GivesPagesFramesAndBothEngines) {
    testutil::TempDir dir;
    std::string pdf =
        fixtures::pagesPDF({{595, 842, 0, {}}, {612, 792, 90, {}}, {300, 400, 0, {}}});
    testutil::writeFile(dir / "tres.pdf", pdf);
    auto doc = PreviewDocument::open(dir / "tres.pdf");
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->path(), dir / "tres.pdf");
    EXPECT_EQ(doc->pageCount(), 3);
    EXPECT_EQ(doc->pages().pageCount(), 3);
    EXPECT_EQ(doc->file().pageRefs().size(), 3u);
    EXPECT_EQ(doc->bytes(), pdf);
    ASSERT_TRUE(doc->displaySpace(1));
    EXPECT_EQ(doc->displaySpace(1)->bounds, (Rect{0, 0, 792, 612}));
    EXPECT_EQ(doc->displaySpace(2)->bounds, (Rect{0, 0, 300, 400}));
    EXPECT_FALSE(doc->displaySpace(3));
    EXPECT_FALSE(doc->displaySpace(-1));
    EXPECT_TRUE(doc->pages().text(0));
}

// A large file is refused from its size or its first bytes, without being read into memory.
TEST(PreviewDocument, ALargeFileIsRefusedWithoutReadingIt) {
    testutil::TempDir dir;
    auto peakKiB = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    auto sparse = [&](const char* name, const std::string& head, off_t size) {
        std::filesystem::path path = dir / name;
        testutil::writeFile(path, head);
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path;
    };
    const long before = peakKiB();
    EXPECT_FALSE(PreviewDocument::open(sparse("video.pdf", "RIFF....AVI LIST", off_t{700} << 20)));
    // Past what the page renderer takes, header or not.
    EXPECT_FALSE(PreviewDocument::open(sparse("enorme.pdf", "%PDF-1.7\n", off_t{2200} << 20)));
    EXPECT_LT(peakKiB() - before, 64 * 1024);
}

// A long document opens with its first pages read; until the worker's page list comes back, the
// count is what the tree declares, never more than the file's objects, and a page not read yet
// takes the first page's frame.
TEST(PreviewDocument, ALongTreeIsReadOnAWorkerAndItsDeclaredCountIsBounded) {
    std::vector<fixtures::PageSpec> specs(200);
    specs.back() = {842, 595, 0, {}};
    std::string pdf = fixtures::pagesPDF(specs);
    // The tree claims far more pages than it holds (the same length keeps the offsets).
    pdf.replace(pdf.find("/Count 200 "), 11, "/Count 9999");
    auto doc = PreviewDocument::fromData(pdf);
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc->pagesRead());
    EXPECT_LE(doc->pageCount(), static_cast<int>(doc->file().entries().size()));
    EXPECT_GT(doc->pageCount(), PreviewDocument::openingPages);
    EXPECT_EQ(doc->displaySpace(199)->bounds, (Rect{0, 0, 595, 842}));
    QObject context;
    int told = 0;
    doc->whenPagesRead(&context, [&] { ++told; });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!doc->pagesRead() && std::chrono::steady_clock::now() < limit)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(doc->pagesRead());
    EXPECT_EQ(told, 1);
    EXPECT_EQ(doc->pageCount(), 200);
    EXPECT_EQ(doc->displaySpace(199)->bounds, (Rect{0, 0, 842, 595}));
    EXPECT_FALSE(doc->displaySpace(200));
}
