// A batch through the real run: the own engine over an NSS database in a temporary home, checked
// with pdfsig and pdftoppm; then the same documents signed again.
#include <QImage>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <unistd.h>

#include "RunHarness.h"
#include "app/RecentSignatures.h"
#include "pages/PageProcess.h"
#include "pdf/PDFFile.h"
#include "platform/IdentityStore.h"
#include "platform/Preferences.h"
#include "signing/SigningIdentity.h"
#include "support/HostilePages.h"
#include "support/PDFFixtures.h"
#include "support/TestPKI.h"

namespace fs = std::filesystem;

namespace {

// HOME pointed at a folder for the life of the object.
class TemporaryHome {
public:
    explicit TemporaryHome(const fs::path& home) {
        if (const char* old = std::getenv("HOME")) saved_ = old;
        ::setenv("HOME", home.c_str(), 1);
    }
    ~TemporaryHome() {
        if (saved_) ::setenv("HOME", saved_->c_str(), 1);
        else ::unsetenv("HOME");
    }

private:
    std::optional<std::string> saved_;
};

ino_t inode(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

std::string pdfsig(const fs::path& database, const fs::path& file) {
    return testutil::run({"pdfsig", "-nssdir", "sql:" + database.string(), file.string()}).out;
}

// Dark pixels inside the rectangle (page space, points) of the first page rendered at 72 dpi.
int inkIn(const fs::path& file, int page, const Rect& rect, const fs::path& scratch) {
    fs::path prefix = scratch / "render";
    testutil::run({"pdftoppm", "-r", "72", "-f", std::to_string(page + 1), "-l",
                   std::to_string(page + 1), "-png", "-singlefile", file.string(), prefix.string()});
    QImage image(QString::fromStdString(prefix.string() + ".png"));
    if (image.isNull()) return -1;
    int dark = 0;
    const int height = image.height();
    for (int y = int(rect.y) + 2; y < int(rect.maxY()) - 2; ++y) {
        for (int x = int(rect.x) + 2; x < int(rect.maxX()) - 2; ++x) {
            QColor c = image.pixelColor(x, height - 1 - y);
            if (c.lightness() < 160) ++dark;
        }
    }
    return dark;
}

std::vector<std::string> strays(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string name = entry.path().filename();
        if (name.starts_with("tindra-") || name.starts_with(".tindra-")) names.push_back(name);
    }
    return names;
}

SigningOptions visibleWith(const std::vector<Certificate>& certificates, const std::string& sha1) {
    SigningOptions options;
    for (const Certificate& c : certificates)
        if (c.sha1 == sha1) options.certificate = c;
    options.visible = true;
    options.showBranding = true;
    return options;
}

}  // namespace

TEST(SigningRunBatchTest, ABatchThroughTheRealRunThenSignedAgain) {
    if (!testutil::haveProgram("pdfsig") || !testutil::haveProgram("pdftoppm"))
        GTEST_SKIP() << "poppler-utils missing";
    testutil::TempDir home;
    TemporaryHome homeVariable(home.path());
    const fs::path database = home / ".pki/nssdb";
    fs::create_directories(database);
    testpki::NSSDatabase nss = testpki::makeNSSDatabase(database);

    testutil::TempDir docs;
    const fs::path a = docs / "a.pdf", b = docs / "b.pdf", c = docs / "c.pdf", broken = docs / "roto.pdf";
    testutil::writeFile(a, fixtures::textPDF(1));
    testutil::writeFile(b, fixtures::textPDF(2, true));
    testutil::writeFile(docs / "b-firmado.pdf", "ya estaba");
    testutil::writeFile(c, fixtures::pagesPDF({{595, 842, 0,
        fixtures::textContent({"Solicitud de licencia", "", "Firma del solicitante:"})}}));
    testutil::writeFile(broken, "esto no es un PDF\n");
    std::map<fs::path, std::string> sources;
    for (const fs::path& file : {a, b, c, broken}) sources[file] = testutil::readFile(file);
    std::string brokenSentence;
    try {
        PDFFile file(sources[broken]);
    } catch (const std::exception& error) {
        brokenSentence = error.what();
    }
    ASSERT_FALSE(brokenSentence.empty());

    RunHarness harness;
    harness.defaults.setString("engine", "nativo");
    harness.window.answer = [&](const WindowScript::Made& made) -> std::optional<SigningOptions> {
        return visibleWith(made.certificates, nss.rsaSHA1);
    };
    AppDelegate delegate(harness.services());
    delegate.add({a, b, c, broken});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));

    // The signed copies: valid, whole-document, with the card drawn where the record says.
    const std::vector<fs::path> outputs{docs / "a-firmado.pdf", docs / "b-firmado-2.pdf",
                                        docs / "c-firmado.pdf"};
    std::vector<RecentSignature> recents = RecentSignatures::all(harness.defaults);
    ASSERT_EQ(recents.size(), 3u);
    ASSERT_EQ(harness.window.made.size(), 1u);
    EXPECT_EQ(harness.window.made[0].files, (std::vector<fs::path>{a, b, c, broken}));
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        SCOPED_TRACE(outputs[i].string());
        std::string report = pdfsig(database, outputs[i]);
        EXPECT_NE(report.find("Signature is Valid."), std::string::npos) << report;
        EXPECT_NE(report.find("Total document signed"), std::string::npos) << report;
        // Newest first.
        const RecentSignature& entry = recents[outputs.size() - 1 - i];
        EXPECT_EQ(entry.path, outputs[i].string());
        EXPECT_EQ(entry.signer, visibleWith(harness.window.made[0].certificates, nss.rsaSHA1)
                                    .certificate.holder);
        ASSERT_TRUE(entry.how);
        EXPECT_EQ(entry.how->certificate, nss.rsaSHA1);
        EXPECT_TRUE(entry.how->visible);
        ASSERT_TRUE(entry.how->pageIndex && entry.how->rect);
        EXPECT_GT(inkIn(outputs[i], *entry.how->pageIndex, *entry.how->rect, docs.path()), 50);
    }
    EXPECT_EQ(recents[2].original, a.string());
    EXPECT_EQ(testutil::readFile(docs / "b-firmado.pdf"), "ya estaba");
    for (const auto& [file, bytes] : sources) EXPECT_EQ(testutil::readFile(file), bytes);

    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "Algunos PDF no se han podido firmar");
    EXPECT_EQ(harness.alerts.shown[0].text.toStdString(), "«roto.pdf»: " + brokenSentence);
    ASSERT_EQ(harness.reveal.revealed.size(), 1u);
    EXPECT_EQ(harness.reveal.revealed[0], outputs);
    EXPECT_EQ(harness.log(), (std::vector<std::string>{
                                 "Motor de firma: nativo", "Firmado a-firmado.pdf",
                                 "Firmado b-firmado-2.pdf", "Firmado c-firmado.pdf",
                                 "Error al firmar roto.pdf: " + brokenSentence}));
    EXPECT_EQ(Preferences::lastCertificate(harness.defaults), nss.rsaSHA1);
    EXPECT_TRUE(strays(docs.path()).empty());
    EXPECT_TRUE(strays(harness.temporary.path()).empty());
    EXPECT_EQ(harness.quits, 1);

    // a.pdf once more: a new copy.
    delegate.add({a});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_TRUE(fs::exists(docs / "a-firmado-2.pdf"));
    EXPECT_EQ(harness.quits, 2);

    // Sign again from the recent entry of a-firmado.pdf: the window is told how and what it
    // replaces; the copy is replaced in place and its entry moves to the front with a new date.
    RecentSignature entry;
    for (const RecentSignature& r : RecentSignatures::all(harness.defaults))
        if (r.path == outputs[0].string()) entry = r;
    ASSERT_TRUE(entry.canSignAgain());
    const ino_t before = inode(outputs[0]);
    delegate.signAgain(entry);
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    ASSERT_EQ(harness.window.made.size(), 3u);
    EXPECT_EQ(harness.window.made.back().previous, entry.how);
    EXPECT_EQ(harness.window.made.back().replacing, "a-firmado.pdf");
    EXPECT_NE(inode(outputs[0]), before);
    EXPECT_NE(pdfsig(database, outputs[0]).find("Signature is Valid."), std::string::npos);
    EXPECT_FALSE(fs::exists(docs / "a-firmado-3.pdf"));
    std::vector<RecentSignature> after = RecentSignatures::all(harness.defaults);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().path, outputs[0].string());
    EXPECT_EQ(after.front().original, a.string());
    EXPECT_GT(after.front().date, entry.date);
    EXPECT_EQ(after.size(), 4u);
    EXPECT_FALSE(delegate.again);
    EXPECT_TRUE(strays(docs.path()).empty());
}

// Each document of a batch is read by a page process of its own: none reads a second file, so
// that what one file did to its process never sees the next. The page program is a stand-in
// (tests/tools/pagestandin) that notes, under its own process id, every document it is given.
TEST(SigningRunBatchTest, EachDocumentOfABatchIsReadByAPageProcessOfItsOwn) {
    if (!testutil::haveProgram("pdfsig")) GTEST_SKIP() << "poppler-utils missing";
    testutil::TempDir home;
    TemporaryHome homeVariable(home.path());
    const fs::path database = home / ".pki/nssdb";
    fs::create_directories(database);
    testpki::NSSDatabase nss = testpki::makeNSSDatabase(database);

    const fs::path notes = "/tmp/tindra-pagestandin-" + std::to_string(::getpid());
    fs::remove_all(notes);
    fs::create_directories(notes);
    PageProcess::useProgram(testutil::toolsDir() / "pagestandin");

    testutil::TempDir docs;
    std::vector<fs::path> files;
    std::set<std::string> documents;  // "SIZE HASH", as the stand-in notes them
    for (int i = 0; i < 3; ++i) {
        const fs::path file = docs / ("carta-" + std::to_string(i) + ".pdf");
        const std::string bytes = fixtures::textPDF(i + 1);
        testutil::writeFile(file, bytes);
        files.push_back(file);
        std::uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
        documents.insert(std::to_string(bytes.size()) + " " + std::to_string(hash));
    }

    RunHarness harness;
    harness.defaults.setString("engine", "nativo");
    harness.window.answer = [&](const WindowScript::Made& made) -> std::optional<SigningOptions> {
        return visibleWith(made.certificates, nss.rsaSHA1);
    };
    AppDelegate delegate(harness.services());
    delegate.add(files);
    const bool idle = RunHarness::waitIdle(delegate);
    PageProcess::useProgram({});
    ASSERT_TRUE(idle);

    for (const fs::path& file : files) {
        const fs::path signed_ = file.parent_path() / (file.stem().string() + "-firmado.pdf");
        EXPECT_NE(pdfsig(database, signed_).find("Signature is Valid."), std::string::npos)
            << signed_;
    }
    std::set<std::string> read;
    int processes = 0;
    for (const auto& entry : fs::directory_iterator(notes)) {
        ++processes;
        std::istringstream lines(testutil::readFile(entry.path()));
        std::vector<std::string> given;
        for (std::string line; std::getline(lines, line);) given.push_back(line);
        EXPECT_EQ(given.size(), 1u) << "process " << entry.path().filename() << " read "
                                    << given.size() << " documents";
        read.insert(given.begin(), given.end());
    }
    EXPECT_GE(processes, 3);
    for (const std::string& document : documents) EXPECT_EQ(read.count(document), 1u) << document;
    fs::remove_all(notes);
}

TEST(SigningRunBatchTest, APasswordProtectedDatabaseAsksThroughThePresenter) {
    struct Presenter : KeyPasswordPresenter {
        std::optional<std::string> answer;
        int asked = 0;
        bool onMainThread = true;
        std::optional<std::string> askPassword(const std::string&, bool) override {
            ++asked;
            onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
            return answer;
        }
    };
    testutil::TempDir home;
    TemporaryHome homeVariable(home.path());
    const fs::path database = home / ".pki/nssdb";
    fs::create_directories(database);
    testpki::NSSDatabase nss = testpki::makeNSSDatabase(database, "secreto");

    testutil::TempDir docs;
    const fs::path a = docs / "a.pdf", b = docs / "b.pdf";
    testutil::writeFile(a, fixtures::textPDF(1));
    testutil::writeFile(b, fixtures::textPDF(1));

    for (bool refuse : {false, true}) {
        SCOPED_TRACE(refuse ? "refused" : "answered");
        auto presenter = std::make_shared<Presenter>();
        if (!refuse) presenter->answer = "secreto";
        RunHarness harness;
        harness.defaults.setString("engine", "nativo");
        harness.window.answer = [&](const WindowScript::Made& made) -> std::optional<SigningOptions> {
            SigningOptions options = visibleWith(made.certificates, nss.rsaSHA1);
            options.visible = false;
            return options;
        };
        AppServices services = harness.services();
        services.keyPasswords = presenter;
        AppDelegate delegate(services);
        delegate.add({a, b});
        ASSERT_TRUE(RunHarness::waitIdle(delegate));
        EXPECT_GT(presenter->asked, 0);
        EXPECT_TRUE(presenter->onMainThread);
        if (!refuse) {
            EXPECT_TRUE(harness.alerts.shown.empty());
            EXPECT_NE(pdfsig(database, docs / "a-firmado.pdf").find("Signature is Valid."),
                      std::string::npos);
        } else {
            ASSERT_EQ(harness.alerts.shown.size(), 1u);
            EXPECT_EQ(harness.alerts.shown[0].title, "No se ha podido firmar");
            const std::string cancelled = SigningIdentity::cancelledMessage;
            EXPECT_EQ(harness.alerts.shown[0].text.toStdString(),
                      "«a.pdf»: " + cancelled + "\n\n«b.pdf»: " + cancelled);
        }
    }
}

// A file whose first page would hold a renderer for minutes, alone in a batch with a visible
// signature and no chosen place: the batch searches its place within the page limits and signs
// it, and the copy is valid and whole.
class HostileBatch : public ::testing::TestWithParam<hostilepages::Shape> {};

TEST_P(HostileBatch, IsSignedByTheBatchIntoAValidCopy) {
    if (!testutil::haveProgram("pdfsig") || !testutil::haveProgram("qpdf"))
        GTEST_SKIP() << "poppler-utils or qpdf missing";
    testutil::TempDir home;
    TemporaryHome homeVariable(home.path());
    const fs::path database = home / ".pki/nssdb";
    fs::create_directories(database);
    testpki::NSSDatabase nss = testpki::makeNSSDatabase(database);

    testutil::TempDir docs;
    const fs::path source = docs / "hostil.pdf";
    testutil::writeFile(source, hostilepages::pdf(GetParam()));
    const std::string bytes = testutil::readFile(source);

    RunHarness harness;
    harness.defaults.setString("engine", "nativo");
    harness.window.answer = [&](const WindowScript::Made& made) -> std::optional<SigningOptions> {
        return visibleWith(made.certificates, nss.rsaSHA1);
    };
    AppDelegate delegate(harness.services());
    delegate.add({source});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));

    EXPECT_TRUE(harness.alerts.shown.empty())
        << harness.alerts.shown.front().text.toStdString();
    const fs::path copy = docs / "hostil-firmado.pdf";
    ASSERT_TRUE(fs::exists(copy));
    const std::string report = pdfsig(database, copy);
    EXPECT_NE(report.find("Signature is Valid."), std::string::npos) << report;
    EXPECT_NE(report.find("Total document signed"), std::string::npos) << report;
    // qpdf reads every object of the copy, through its cross-reference sections, without a
    // warning (3) or an error (2). Not its --check, which also decodes every stream and parses
    // the pages' contents: minutes for these files, the point of them.
    const testutil::RunResult checked =
        testutil::run({"qpdf", "--json=2", "--json-key=qpdf", copy.string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_EQ(testutil::readFile(source), bytes);
    EXPECT_TRUE(strays(docs.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostileBatch, ::testing::ValuesIn(hostilepages::allShapes()),
                         [](const auto& info) { return hostilepages::nameOf(info.param); });
