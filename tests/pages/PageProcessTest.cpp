// The page process: pages that cost far more than they declare are given up at their deadline or
// at the process's memory limit, the reader goes on with the next page, and nothing of it reaches
// the application's own time or memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <thread>

#include "forms/reader/FormReader.h"
#include "pages/PageLimits.h"
#include "pages/PageProcess.h"
#include "pages/content/PageWeight.h"
#include "pdf/PDFFile.h"
#include "signing/SignatureLocator.h"
#include "support/HostilePages.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using hostilepages::Shape;

namespace {

// Each test program's log goes to a scratch folder of its own.
const std::filesystem::path& logFolder() {
    static const std::filesystem::path folder = [] {
        auto f = std::filesystem::temp_directory_path() /
                 ("tindra-pages-tests-" + std::to_string(::getpid()));
        std::filesystem::create_directories(f);
        setenv("XDG_STATE_HOME", f.c_str(), 1);
        return f;
    }();
    return folder;
}

std::string logText() {
    std::error_code error;
    const auto path = logFolder() / "tindra" / "Tindra.log";
    return std::filesystem::exists(path, error) ? testutil::readFile(path) : std::string();
}

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}
double seconds(std::chrono::milliseconds ms) { return static_cast<double>(ms.count()) / 1000; }

// What a request may take past its deadline: ending and reaping the process, and starting the
// next one.
constexpr double slack = 1.5 * PageLimits::slowdown;

// What the search and the tools may take past their bounds for the work of our own code that no
// deadline cuts (opening the file, weighing a page): a sanitizer build does it several times
// slower than the one users run.
constexpr double ownWork = PageProcessMemory::watchedByParent ? 4.0 : 0.5;

// The largest resident size of this process and of the processes it has reaped, in bytes.
std::int64_t maxResident(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<std::int64_t>(usage.ru_maxrss) * 1024;
}

class HostilePage : public ::testing::TestWithParam<Shape> {
protected:
    void SetUp() override { logFolder(); }
};

TEST_P(HostilePage, IsGivenUpInTimeByEveryReaderAndTheNextPageIsRead) {
    const std::string pdf = hostilepages::pdf(GetParam());
    {
        std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
        ASSERT_TRUE(pages);
        ASSERT_EQ(pages->pageCount(), 2);

        auto start = Clock::now();
        pages->text(0);
        EXPECT_LE(secondsSince(start), seconds(PageLimits::textTime) + slack) << "text";
        start = Clock::now();
        pages->render(0, 2.0, 40'000'000);
        EXPECT_LE(secondsSince(start), seconds(PageLimits::inkTime) + slack) << "ink";
        start = Clock::now();
        pages->tile(0, 1.0, 0, 0, 512, 512);
        EXPECT_LE(secondsSince(start), seconds(PageLimits::tileTime) + slack) << "tile";

        std::optional<PageText> next = pages->text(1);
        ASSERT_TRUE(next);
        EXPECT_NE(next->text.find(u"Pagina corriente"), std::u16string::npos);
    }

    // The placement search, as a batch and the pdfplace tool run it, ends within five seconds;
    // the form reader gives the page no more than its deadlines. Each of them also weighs the
    // pages, work of our own that no deadline cuts and that a loaded machine stretches (a flood
    // of path operators takes a sanitizer build seconds): weighed here first, each may take twice
    // that beyond its bound.
    PDFFile file(pdf);
    auto start = Clock::now();
    PageWeights::of(file);
    const double weighing = 2 * secondsSince(start);
    start = Clock::now();
    SignatureLocator::placements(file);
    EXPECT_LE(secondsSince(start), 5.0 + ownWork + weighing) << "placement search";
    start = Clock::now();
    FormReader::fields(file);
    EXPECT_LE(secondsSince(start),
              2 * (seconds(PageLimits::textTime) + seconds(PageLimits::inkTime)) + 2 * slack +
                  ownWork + weighing)
        << "form reader";

    // The same through the tools, as processes: their whole process trees within the bounds.
    testutil::TempDir dir;
    const std::string path = (dir / "hostil.pdf").string();
    testutil::writeFile(path, pdf);
    start = Clock::now();
    testutil::RunResult place = testutil::run({(testutil::toolsDir() / "pdfplace").string(), path});
    EXPECT_EQ(place.exitCode, 0) << place.err;
    EXPECT_LE(secondsSince(start), 5.0 + 0.5 + ownWork + weighing) << "pdfplace";
    start = Clock::now();
    testutil::RunResult form = testutil::run({(testutil::toolsDir() / "pdfform").string(), path});
    EXPECT_EQ(form.exitCode, 0) << form.err;
    EXPECT_LE(secondsSince(start),
              2 * (seconds(PageLimits::textTime) + seconds(PageLimits::inkTime)) + 2 * slack + 0.5 +
                  ownWork + weighing)
        << "pdfform";

    EXPECT_LT(maxResident(RUSAGE_SELF), std::int64_t(1536) << 20);
    // The tools and the page processes, reaped: each under its limit (a watched one may
    // overshoot it by what it takes between two looks).
    EXPECT_LT(maxResident(RUSAGE_CHILDREN),
              PageLimits::memoryBytes + static_cast<std::int64_t>(pdf.size()) + (std::int64_t(512) << 20));
}

INSTANTIATE_TEST_SUITE_P(Shapes, HostilePage, ::testing::ValuesIn(hostilepages::allShapes()),
                         [](const auto& info) { return hostilepages::nameOf(info.param); });

// A process that ends in the middle of a page, killed or crashing: the page is given up for that
// use, the log says which and why, and the next request starts a new process.
TEST(PageProcess, AProcessEndedInAPageGivesThatPageUpAndTheReaderGoesOn) {
    logFolder();
    const std::string pdf = hostilepages::pdf(Shape::nestedForms);
    for (int sig : {SIGKILL, SIGSEGV}) {
        SCOPED_TRACE(sig);
        std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
        ASSERT_TRUE(pages);
        const pid_t drawing = pages->pid();
        ASSERT_GT(drawing, 0);
        std::jthread killer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(drawing, sig);
        });
        const auto start = Clock::now();
        EXPECT_FALSE(pages->render(0, 2.0, 40'000'000));
        EXPECT_LT(secondsSince(start), seconds(PageLimits::inkTime));
        EXPECT_TRUE(pages->gaveUp(0, PageProtocol::Kind::grey));
        EXPECT_FALSE(pages->gaveUp(0, PageProtocol::Kind::text));
        // (A sanitizer build's process reports its crash and exits instead.)
        EXPECT_NE(logText().find("Página 1 demasiado pesada (tinta): el proceso de páginas ha "
                                 "terminado"),
                  std::string::npos)
            << logText();
        if (sig == SIGKILL) {
            EXPECT_NE(logText().find("terminado por la señal 9"), std::string::npos) << logText();
        }

        std::optional<PageText> next = pages->text(1);
        ASSERT_TRUE(next);
        EXPECT_NE(next->text.find(u"Pagina corriente"), std::u16string::npos);
        EXPECT_NE(pages->pid(), drawing);
    }
}

// A process reads one document only: neither one that read its document without incident nor one
// that had to be ended for a page reads another.
TEST(PageProcess, AProcessNeverReadsASecondDocument) {
    logFolder();
    const std::string plain = fixtures::textPDF(2, true);
    pid_t first = 0;
    {
        std::unique_ptr<PageProcess> pages = PageProcess::open(plain);
        ASSERT_TRUE(pages && pages->text(1));
        first = pages->pid();
    }
    std::unique_ptr<PageProcess> next = PageProcess::open(hostilepages::pdf(Shape::nestedForms));
    ASSERT_TRUE(next);
    EXPECT_NE(next->pid(), first);
    std::optional<PageText> text = next->text(1);
    ASSERT_TRUE(text);
    EXPECT_NE(text->text.find(u"Pagina corriente"), std::u16string::npos);
    EXPECT_FALSE(next->render(0, 2.0, 40'000'000));  // past its deadline: the process ends
    const pid_t ended = first;
    next.reset();
    for (int k = 0; k < 4; ++k) {
        std::unique_ptr<PageProcess> other = PageProcess::open(plain);
        ASSERT_TRUE(other && other->text(0));
        EXPECT_NE(other->pid(), ended);
    }
}

// The page processes of an application that is killed end with it: none is left reading.
TEST(PageProcess, ProcessesEndWithAKilledApplication) {
    testutil::TempDir dir;
    const std::string path = (dir / "hostil.pdf").string();
    testutil::writeFile(path, hostilepages::pdf(Shape::nestedForms));
    const std::string tool = (testutil::toolsDir() / "pdfplace").string();
    const pid_t app = fork();
    ASSERT_GE(app, 0);
    if (app == 0) {
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(path.c_str()), nullptr};
        execv(tool.c_str(), argv);
        _exit(127);
    }
    // The page processes of `app`: their command line names it as their parent.
    auto children = [&] {
        int n = 0;
        const std::string mark = "tindra-pages";
        const std::string parent = std::to_string(app);
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            std::string cmdline;
            try {
                cmdline = testutil::readFile(entry.path() / "cmdline");
            } catch (...) {
                continue;
            }
            const std::size_t at = cmdline.find(mark);
            if (at != std::string::npos && cmdline.size() > parent.size() &&
                cmdline.compare(cmdline.size() - parent.size() - 1, parent.size(), parent) == 0)
                ++n;
        }
        return n;
    };
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (children() == 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GT(children(), 0) << "pdfplace started no page process";
    ::kill(app, SIGKILL);
    ::waitpid(app, nullptr, 0);
    const auto gone = Clock::now() + std::chrono::seconds(5);
    while (children() > 0 && Clock::now() < gone)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(children(), 0);
}

// The weight is a first filter only: a page that names many objects, each light, is drawn.
TEST(PageProcess, ALightPageOfManyImagesIsDrawn) {
    logFolder();
    const std::string pdf = hostilepages::manySmallImages();
    std::unique_ptr<PageProcess> process = PageProcess::open(pdf);
    ASSERT_TRUE(process);
    auto judge = std::make_shared<PageJudge>(pdf);
    EXPECT_TRUE(judge->drawable(0));
    GuardedPages pages(*process, judge);
    std::optional<GreyImage> image = pages.render(0, 2.0, 40'000'000);
    ASSERT_TRUE(image);
    EXPECT_NE(std::find_if(image->pixels.begin(), image->pixels.end(),
                           [](std::uint8_t p) { return p < 128; }),
              image->pixels.end());
}

// A reader that stops while its page is being drawn does not wait for it; its process, which did
// nothing wrong, is let answer, and then ends like any process whose document was let go: no
// other document is given to it.
TEST(PageProcess, AProcessWhoseReaderStoppedEndsWithoutReadingAnotherDocument) {
    logFolder();
    std::unique_ptr<PageProcess> pages = PageProcess::open(hostilepages::manySmallImages());
    ASSERT_TRUE(pages && pages->pageCount() == 1);
    const pid_t drawing = pages->pid();
    const auto asked = Clock::now();
    pages->setCutoff([asked] { return Clock::now() - asked > std::chrono::milliseconds(30); });
    EXPECT_FALSE(pages->render(0, 2.0, 40'000'000));
    EXPECT_LT(secondsSince(asked), 0.5);
    EXPECT_FALSE(pages->gaveUp(0, PageProtocol::Kind::grey));
    pages.reset();

    const std::string plain = fixtures::textPDF(1, true);
    bool ended = false;
    while (!ended && secondsSince(asked) < seconds(PageLimits::inkTime) + slack) {
        std::unique_ptr<PageProcess> next = PageProcess::open(plain);
        ASSERT_TRUE(next && next->text(0));
        EXPECT_NE(next->pid(), drawing);
        ended = ::kill(drawing, 0) != 0 && errno == ESRCH;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(logText().find("Página 1 demasiado pesada"), std::string::npos);
}

}  // namespace
