// The page process: pages that cost far more than they declare are given up at their deadline or
// at the process's memory limit, the reader goes on with the next page, and nothing of it reaches
// the application's own time or memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "forms/reader/FormReader.h"
#include "pages/PageLimits.h"
#include "pages/PageProcess.h"
#include "pages/PageProcessMemory.h"
#include "pages/content/PageWeight.h"
#include "pdf/PDFFile.h"
#include "signing/SignatureLocator.h"
#include "support/FormFixtures.h"
#include "support/HostilePages.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

using hostilepages::Shape;

namespace {

// Each test program's log goes to a scratch folder of its own, removed as the program ends.
const std::filesystem::path& logFolder() {
    static const testutil::TempDir folder;
    static const bool set = setenv("XDG_STATE_HOME", folder.path().c_str(), 1) == 0;
    (void)set;
    return folder.path();
}

// What the log gained since the mark was made: each test reads only the lines it wrote (earlier
// tests fill the same log with pages given up on purpose).
class LogSince {
public:
    LogSince() : from_(size()) {}
    std::string text() const {
        const std::string all = read();
        // The log starts again past its size limit: then all of it is new.
        return all.size() >= from_ ? all.substr(from_) : all;
    }

private:
    static std::string read() {
        std::error_code error;
        const auto path = logFolder() / "tindra" / "Tindra.log";
        return std::filesystem::exists(path, error) ? testutil::readFile(path) : std::string();
    }
    static std::size_t size() { return read().size(); }
    std::size_t from_;
};

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
        const LogSince log;
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
        EXPECT_NE(log.text().find("Página 1 demasiado pesada (tinta): el proceso de páginas ha "
                                  "terminado"),
                  std::string::npos)
            << log.text();
        if (sig == SIGKILL) {
            EXPECT_NE(log.text().find("terminado por la señal 9"), std::string::npos) << log.text();
        }

        std::optional<PageText> next = pages->text(1);
        ASSERT_TRUE(next);
        EXPECT_NE(next->text.find(u"Pagina corriente"), std::u16string::npos);
        EXPECT_NE(pages->pid(), drawing);
    }
}

// Whether process `pid` is gone (reaped: not even a zombie of ours) within `limit`.
bool goneWithin(pid_t pid, std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (::kill(pid, 0) == 0 || errno != ESRCH) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A process reads one document: another document, even one opened after a reading without
// incident, gets a process of its own, and the first is ended and reaped once let go.
TEST(PageProcess, EveryDocumentIsReadByAProcessOfItsOwn) {
    logFolder();
    const std::string plain = fixtures::textPDF(2, true);
    std::set<pid_t> seen;
    for (int k = 0; k < 4; ++k) {
        std::unique_ptr<PageProcess> pages = PageProcess::open(plain);
        ASSERT_TRUE(pages && pages->text(1));
        std::unique_ptr<PageProcess> clone = pages->another();
        ASSERT_TRUE(clone->text(0));
        const pid_t first = pages->pid(), second = clone->pid();
        EXPECT_TRUE(seen.insert(first).second) << "a process read a second document";
        EXPECT_TRUE(seen.insert(second).second) << "a process read a second document";
        pages.reset();
        clone.reset();
        EXPECT_TRUE(goneWithin(first, std::chrono::seconds(2)));
        EXPECT_TRUE(goneWithin(second, std::chrono::seconds(2)));
    }
}

// A prepared document is handed to a page process at once, before any page is asked for: the
// reader made to take it finds that process, every other reader starts one of its own. The page
// program is the stand-in, which notes each document it is given under its process id.
TEST(PageProcess, APreparedDocumentIsHandedToAProcessBeforeAnyPageIsAsked) {
    logFolder();
    const std::filesystem::path notes = "/tmp/tindra-pagestandin-" + std::to_string(::getpid());
    std::filesystem::remove_all(notes);
    std::filesystem::create_directories(notes);
    auto given = [&] {
        std::vector<pid_t> out;
        for (const auto& entry : std::filesystem::directory_iterator(notes))
            out.push_back(std::stoi(entry.path().filename().string()));
        return out;
    };
    PageProcess::useProgram(testutil::toolsDir() / "pagestandin");
    std::unique_ptr<PageProcess> pages = PageProcess::prepare(fixtures::textPDF(2, true));
    ASSERT_TRUE(pages);
    const auto until = Clock::now() + PageLimits::openTime;
    while (given().empty() && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::vector<pid_t> early = given();
    std::unique_ptr<PageProcess> first = pages->another(true), other = pages->another();
    const bool read = first->text(0) && other->text(1);
    const pid_t firstPid = first->pid(), otherPid = other->pid();
    PageProcess::useProgram({});
    std::filesystem::remove_all(notes);
    ASSERT_EQ(early.size(), 1u) << "the document went to no process before its first page";
    EXPECT_TRUE(read);
    EXPECT_EQ(firstPid, early.front());
    EXPECT_NE(otherPid, early.front());
}

// This process's children that run the page program's zygote.
std::vector<pid_t> zygotes() {
    std::vector<pid_t> out;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat, command, status;
        try {
            stat = testutil::readFile(entry.path() / "stat");
            command = testutil::readFile(entry.path() / "cmdline");
            status = testutil::readFile(entry.path() / "status");
        } catch (const std::exception&) {
            continue;  // ended meanwhile
        }
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        // Its copies run the same command line, but each has its system-call filter on.
        if (parent == ::getpid() && state != "Z" && command.find("--zygote") != std::string::npos &&
            status.find("\nSeccomp:\t0\n") != std::string::npos)
            out.push_back(std::stoi(name));
    }
    return out;
}

// A zygote that was killed (by the kernel short of memory, say) is replaced: every later
// document is still read, by a process of its own.
TEST(PageProcess, AZygoteThatEndedIsReplaced) {
    logFolder();
    const std::string plain = fixtures::textPDF(2, true);
    {
        std::unique_ptr<PageProcess> pages = PageProcess::open(plain);
        ASSERT_TRUE(pages && pages->text(0));
    }
    const std::vector<pid_t> before = zygotes();
    ASSERT_FALSE(before.empty()) << "no zygote among this process's children";
    const pid_t zygote = before.front();
    ::kill(zygote, SIGKILL);
    // The processes made ahead go first, then the dead zygote is found out and replaced.
    for (int k = 0; k < 5; ++k) {
        std::unique_ptr<PageProcess> pages = PageProcess::open(plain);
        ASSERT_TRUE(pages) << "document " << k;
        std::optional<PageText> text = pages->text(1);
        ASSERT_TRUE(text) << "document " << k;
        EXPECT_NE(text->text.find(u"2"), std::u16string::npos);
    }
    EXPECT_TRUE(goneWithin(zygote, std::chrono::seconds(2))) << "the dead zygote was not reaped";
    const std::vector<pid_t> after = zygotes();
    EXPECT_FALSE(after.empty());
    EXPECT_EQ(std::count(after.begin(), after.end(), zygote), 0);
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
    auto judge = std::make_shared<PageJudge>(pdf);
    EXPECT_TRUE(judge->drawable(0));
    // Drawn in a fraction of its deadline; a machine loaded enough (a sanitizer build beside
    // other tests) to stretch that past the deadline gets another try with a fresh process,
    // while a page refused for its weight is refused every time.
    std::optional<GreyImage> image;
    bool late = false;
    for (int attempt = 0; attempt < 3 && !image; ++attempt) {
        std::unique_ptr<PageProcess> process = PageProcess::open(pdf);
        ASSERT_TRUE(process);
        GuardedPages pages(*process, judge);
        image = pages.render(0, 2.0, 40'000'000);
        late = !image && process->gaveUp(0, PageProtocol::Kind::grey);
        if (!image && !late) break;
    }
    // A sanitizer build beside a full run of heavy tests can draw its thousands of images slower
    // than the deadline every time; the weight's verdict is then tried by the build users run.
    if (!image && late && PageProcessMemory::watchedByParent)
        GTEST_SKIP() << "drawn past its deadline on a loaded sanitizer build";
    ASSERT_TRUE(image);
    EXPECT_NE(std::find_if(image->pixels.begin(), image->pixels.end(),
                           [](std::uint8_t p) { return p < 128; }),
              image->pixels.end());
}

// A reader that stops while its page is being drawn does not wait for it: its process is ended
// (it is still busy with the page, and reads no other document) without blaming the page.
TEST(PageProcess, AReaderThatStopsEndsItsProcessWithoutGivingThePageUp) {
    logFolder();
    const LogSince log;
    std::unique_ptr<PageProcess> pages = PageProcess::open(hostilepages::manySmallImages());
    ASSERT_TRUE(pages && pages->pageCount() == 1);
    const pid_t drawing = pages->pid();
    const auto asked = Clock::now();
    pages->setCutoff([asked] { return Clock::now() - asked > std::chrono::milliseconds(30); });
    EXPECT_FALSE(pages->render(0, 2.0, 40'000'000));
    EXPECT_LT(secondsSince(asked), 0.5);
    EXPECT_FALSE(pages->gaveUp(0, PageProtocol::Kind::grey));
    EXPECT_TRUE(goneWithin(drawing, std::chrono::seconds(2)));
    EXPECT_EQ(log.text().find("demasiado pesada"), std::string::npos) << log.text();
}

// The pages' words read one after another by a reader that spends longer on a page than a
// page's deadline: the next page's words, asked for ahead, are timed from when the reader takes
// them up, and none is given up.
TEST(PageProcess, AReaderThatPausesBetweenPagesLosesNoPage) {
    logFolder();
    const LogSince log;
    std::unique_ptr<PageProcess> pages = PageProcess::open(fixtures::textPDF(4, true));
    ASSERT_TRUE(pages);
    const auto pause = std::max<std::chrono::milliseconds>(std::chrono::seconds(3),
                                                           PageLimits::textTime + std::chrono::seconds(1));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        std::optional<std::u16string> words = pages->words(i);
        ASSERT_TRUE(words);
        EXPECT_NE(words->find(u"gina " + std::u16string(1, char16_t(u'1' + i))), std::u16string::npos);
        if (i == 1) std::this_thread::sleep_for(pause);
    }
    EXPECT_EQ(log.text().find("demasiado pesada"), std::string::npos) << log.text();
}

// A client stopped (SIGSTOP, as a suspended laptop or a loaded machine does) for 3 s in the middle
// of a long document, then continued: the answers its page process sent meanwhile are read, and no
// page is given up. Stopped twice: while it works on a page with the next page's words asked for
// ahead, and while it waits for a page drawn in grey, larger than the socket holds.
TEST(PageProcess, AClientStoppedAndContinuedLosesNoPage) {
    testutil::TempDir dir;
    const std::string path = (dir / "largo.pdf").string();
    testutil::writeFile(path, fixtures::textPDF(400, true));
    const std::string tool = (testutil::toolsDir() / "pagereader").string();
    const std::filesystem::path state = dir / "estado";
    std::filesystem::create_directories(state);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t reader = fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(path.c_str()), nullptr};
        execv(tool.c_str(), argv);
        _exit(127);
    }
    ::close(out[1]);
    std::string said;
    int stops = 0;
    const char* const stopAt[] = {"página 40:", "dibujando la página 101\n"};
    char buffer[4096];
    const auto until = Clock::now() + std::chrono::seconds(120);
    while (Clock::now() < until) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        said.append(buffer, static_cast<std::size_t>(n));
        if (stops < 2 && said.find(stopAt[stops]) != std::string::npos) {
            ++stops;
            ::kill(reader, SIGSTOP);
            std::this_thread::sleep_for(std::chrono::seconds(3));
            ::kill(reader, SIGCONT);
        }
    }
    ::close(out[0]);
    testutil::ChildEnd end = testutil::waitForChild(reader, "pagereader");
    EXPECT_EQ(stops, 2) << said;
    EXPECT_NE(said.find("leídas 400 páginas; sin leer: 0"), std::string::npos) << said;
    EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) << end.sentence;
    const auto log = state / "tindra" / "Tindra.log";
    const std::string logged = std::filesystem::exists(log) ? testutil::readFile(log) : "";
    EXPECT_EQ(logged.find("demasiado pesada"), std::string::npos) << logged;
}

// A page program that answers badly on purpose (tests/tools/pagestandin): which way depends on
// the page asked for. Each bad answer ends the process, gives that page up for that use, keeps
// this process's memory to what was asked, and the next page is read by a fresh process.
struct BadAnswer {
    const char* name;
    int page;
    PageProtocol::Kind kind;
};

void PrintTo(const BadAnswer& bad, std::ostream* out) { *out << bad.name; }

class BadAnswers : public ::testing::TestWithParam<BadAnswer> {
protected:
    void SetUp() override {
        logFolder();
        PageProcess::useProgram(testutil::toolsDir() / "pagestandin");
    }
    void TearDown() override { PageProcess::useProgram({}); }
};

// The peak resident size of this process since the last reset, in bytes; resetPeak() makes it
// the present size.
std::int64_t statusBytes(const char* field) {
    const std::string status = testutil::readFile("/proc/self/status");
    const std::size_t at = status.find(field);
    if (at == std::string::npos) return -1;
    return std::atoll(status.c_str() + at + std::strlen(field)) * 1024;
}
bool resetPeak() {
    FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool done = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && done;
}

TEST_P(BadAnswers, EndTheProcessGiveThePageUpAndTheNextPageIsRead) {
    const BadAnswer bad = GetParam();
    const LogSince log;
    std::unique_ptr<PageProcess> pages = PageProcess::open(fixtures::textPDF(20));
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->pageCount(), 20);
    const pid_t answering = pages->pid();
    ASSERT_GT(answering, 0);

    const bool peakReset = resetPeak();
    const std::int64_t before = statusBytes("VmRSS:");
    const auto asked = Clock::now();
    bool answered = true;
    switch (bad.kind) {
        case PageProtocol::Kind::text: answered = pages->text(bad.page).has_value(); break;
        case PageProtocol::Kind::words: answered = pages->words(bad.page).has_value(); break;
        case PageProtocol::Kind::grey: answered = pages->render(bad.page, 1.0, 1'000'000).has_value(); break;
        case PageProtocol::Kind::tile: answered = pages->tile(bad.page, 1.0, 0, 0, 64, 64).has_value(); break;
        case PageProtocol::Kind::slice:
            answered = pages->renderRegion(bad.page, 1.0, 0, 0, 64, 64, 4096).has_value();
            break;
        case PageProtocol::Kind::release: break;
    }
    const double took = secondsSince(asked);
    const std::int64_t peak = statusBytes("VmHWM:");
    EXPECT_FALSE(answered);
    EXPECT_TRUE(pages->gaveUp(bad.page, bad.kind));
    // Within the request's deadline (the whole answer's, for one that dribbles in).
    const auto deadline = bad.kind == PageProtocol::Kind::tile ? PageLimits::tileTime
                          : bad.kind == PageProtocol::Kind::grey || bad.kind == PageProtocol::Kind::slice
                              ? PageLimits::inkTime
                              : PageLimits::textTime;
    EXPECT_LE(took, seconds(deadline) + slack);
    const std::string line = "Página " + std::to_string(bad.page + 1) + " demasiado pesada";
    EXPECT_NE(log.text().find(line), std::string::npos) << log.text();
    EXPECT_TRUE(goneWithin(answering, std::chrono::seconds(2))) << "the process was not ended";
    // Nothing was taken on the strength of a length declared: a few chunks of what came.
    if (peakReset) {
        EXPECT_LT(peak - before, std::int64_t(16) << 20);
    }

    std::optional<PageText> next = pages->text(0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text, u"Pagina buena 1");
    EXPECT_NE(pages->pid(), answering);
    std::optional<PageProtocol::ColourImage> tile = pages->tile(1, 1.0, 0, 0, 64, 64);
    ASSERT_TRUE(tile);
    EXPECT_EQ(tile->width, 64);
    EXPECT_EQ(tile->pixels.size(), 64u * 64u * 4u);
}

INSTANTIATE_TEST_SUITE_P(
    OfAPageProgram, BadAnswers,
    ::testing::Values(BadAnswer{"TilePixelsNotItsHeadsSize", 11, PageProtocol::Kind::tile},
                      BadAnswer{"TileLargerThanAsked", 12, PageProtocol::Kind::tile},
                      BadAnswer{"GreyPageLongerThanItsLimit", 12, PageProtocol::Kind::grey},
                      BadAnswer{"SlicePixelsNotItsHeadsSize", 11, PageProtocol::Kind::slice},
                      BadAnswer{"SliceWiderThanAsked", 12, PageProtocol::Kind::slice},
                      BadAnswer{"SilenceForASlice", 19, PageProtocol::Kind::slice},
                      BadAnswer{"WordsForATile", 13, PageProtocol::Kind::tile},
                      BadAnswer{"ATileForWords", 13, PageProtocol::Kind::words},
                      BadAnswer{"FrameCutShort", 14, PageProtocol::Kind::text},
                      BadAnswer{"OneByteEvery100ms", 15, PageProtocol::Kind::text},
                      BadAnswer{"MoreAfterTheAnswer", 16, PageProtocol::Kind::text},
                      BadAnswer{"TextBoundThenNothing", 17, PageProtocol::Kind::text},
                      BadAnswer{"OneGiBThenNothing", 18, PageProtocol::Kind::text},
                      BadAnswer{"Silence", 19, PageProtocol::Kind::grey}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// A slice of a page drawn grey by itself is that slice of the whole grey page: black, grey and
// coloured fills alike, within the rounding of two renderers; a slice at the page's edge is cut
// there, and one off the page is nothing.
TEST(PageProcess, ASliceOfAPageIsThatPartOfTheWholePage) {
    logFolder();
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{72, 700, "Nombre y apellidos", 10}};
    page.graphics = "0.5 w 200 694 250 20 re S 0.8 g 40 600 515 16 re f "
                    "0.1 0.3 0.6 rg 300 500 40 40 re f 0.8 0.6 0.1 rg 350 500 40 40 re f\n";
    const std::string pdf = formfixtures::formPDF(spec);
    std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
    ASSERT_TRUE(pages);
    const std::optional<GreyImage> whole = pages->render(0, 2.0, 40'000'000);
    ASSERT_TRUE(whole);
    struct Want {
        int x, y, width, height;
    };
    for (const Want& want : {Want{128, 192, 896, 640}, Want{1088, 1600, 128, 128}}) {
        const std::optional<GreyImage> slice =
            pages->renderRegion(0, 2.0, want.x, want.y, want.width, want.height, 1);
        ASSERT_TRUE(slice);
        const std::optional<GreyImage> cropped =
            PageSource::crop(*whole, want.x, want.y, want.width, want.height);
        ASSERT_TRUE(cropped);
        ASSERT_EQ(slice->width, cropped->width);
        ASSERT_EQ(slice->height, cropped->height);
        ASSERT_EQ(slice->pixels.size(), cropped->pixels.size());
        int most = 0;
        std::size_t dark = 0;
        for (std::size_t i = 0; i < slice->pixels.size(); ++i) {
            most = std::max(most, std::abs(slice->pixels[i] - cropped->pixels[i]));
            dark += cropped->pixels[i] < 235;
        }
        EXPECT_LE(most, 2);
        if (want.x == 128) {
            EXPECT_GT(dark, 10'000u);
        }
    }
    // 595 x 842 pt at 2 pixels a point: the last slice is cut to the page.
    const std::optional<GreyImage> edge = pages->renderRegion(0, 2.0, 1088, 1600, 128, 128, 1);
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->width, 1190 - 1088);
    EXPECT_EQ(edge->height, 1684 - 1600);
    EXPECT_FALSE(pages->renderRegion(0, 2.0, 1190, 0, 64, 64, 1));
    EXPECT_FALSE(pages->renderRegion(0, 2.0, -64, 0, 64, 64, 1));
}

// Pages read in a row have the next one asked for ahead; asks that leave the row (another kind of
// answer, another page, a page back) are each answered with their own kind and page, as another
// process answers them.
TEST(PageProcess, PagesReadOutOfRowGetTheirOwnAnswers) {
    const std::string pdf = fixtures::textPDF(6, true);
    std::unique_ptr<PageProcess> pages = PageProcess::open(pdf), other = PageProcess::open(pdf);
    ASSERT_TRUE(pages && other);
    std::vector<std::optional<PageText>> texts(6);
    std::vector<std::optional<std::u16string>> words(6);
    for (int i = 5; i >= 0; --i) {
        texts[i] = other->text(i);
        words[i] = other->words(i);
        ASSERT_TRUE(texts[i] && words[i]);
        ASSERT_NE(words[i]->find(u"gina " + std::u16string(1, char16_t(u'1' + i))),
                  std::u16string::npos);
    }
    struct Ask {
        bool text;
        int page;
    };
    const Ask asks[] = {{true, 0},  {true, 1}, {false, 3}, {false, 2}, {true, 2}, {true, 4},
                        {true, 5},  {false, 3}, {true, 3}, {false, 4}, {false, 5}};
    for (const Ask& ask : asks) {
        SCOPED_TRACE(std::string(ask.text ? "text " : "words ") + std::to_string(ask.page));
        const auto i = static_cast<std::size_t>(ask.page);
        if (ask.text) {
            std::optional<PageText> text = pages->text(ask.page);
            ASSERT_TRUE(text);
            EXPECT_EQ(text->text, texts[i]->text);
            EXPECT_EQ(text->boxes.size(), texts[i]->boxes.size());
        } else {
            EXPECT_EQ(pages->words(ask.page), words[i]);
        }
    }
}
