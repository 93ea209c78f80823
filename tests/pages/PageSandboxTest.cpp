// The page process's sandbox, tried from inside: a probe preloaded into a real page process tries,
// in its sandbox, what a document that took over Poppler would try; the real page process is
// looked at through /proc while it serves a document, ends once its document is let go, and still
// draws pages whose fonts are embedded or found on the system.
#include <gtest/gtest.h>
#include <seccomp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pages/PageProcess.h"
#include "pages/PageProcessMemory.h"
#include "pages/PageProtocol.h"
#include "pages/PageSpawn.h"
#include "pages/server/PageSandbox.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace {

namespace fs = std::filesystem;

// Sets a variable of this process's environment for the scope's life.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Addresses of the user's session that no page process may inherit.
struct SessionAddresses {
    ScopedVariable display{"DISPLAY", ":97"};
    ScopedVariable xauthority{"XAUTHORITY", "/tmp/tindra-prueba/.Xauthority"};
    ScopedVariable bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/tmp/tindra-prueba/bus"};
    ScopedVariable wayland{"WAYLAND_DISPLAY", "wayland-97"};
    ScopedVariable agent{"SSH_AUTH_SOCK", "/tmp/tindra-prueba/agent"};
};

// A font file that is itself beneath /usr/share/fonts (not a link to elsewhere).
std::string systemFontFile() {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator("/usr/share/fonts", error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string ext = it->path().extension().string();
        if (it->is_regular_file(error) && !it->is_symlink(error) && (ext == ".ttf" || ext == ".otf"))
            return it->path().string();
    }
    return {};
}

pid_t startSleeper() {
    char* argv[] = {const_cast<char*>("/bin/sleep"), const_cast<char*>("60"), nullptr};
    pid_t pid = 0;
    return ::posix_spawn(&pid, "/bin/sleep", nullptr, nullptr, argv, environ) == 0 ? pid : 0;
}

std::string readProc(pid_t pid, const char* what) {
    return testutil::readFile("/proc/" + std::to_string(pid) + "/" + what);
}

// A "Name:\tvalue" line of /proc/PID/status.
std::string statusField(const std::string& status, const std::string& name) {
    std::istringstream lines(status);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(name + ":", 0) == 0) {
            std::string value = line.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    return "(absent)";
}

// The soft and hard values of a line of /proc/PID/limits ("Max cpu time   1800   1800   seconds").
std::pair<std::string, std::string> limitOf(const std::string& limits, const std::string& name) {
    std::istringstream lines(limits);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(name, 0) == 0) {
            std::istringstream values(line.substr(name.size()));
            std::string soft, hard;
            values >> soft >> hard;
            return {soft, hard};
        }
    return {"(absent)", "(absent)"};
}

std::set<std::string> descriptorsOf(pid_t pid) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        out.insert(entry.path().filename().string());
    return out;
}

// Grey pixels darker than the paper.
long inkOf(const GreyImage& image) {
    return std::count_if(image.pixels.begin(), image.pixels.end(),
                         [](std::uint8_t p) { return p < 128; });
}

std::string onePagePDF(const std::string& font, const std::string& text,
                       const std::string& fontFile = {}) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R>>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1>>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 300 80] /Contents 4 0 R "
                "/Resources <</Font <</F1 5 0 R>>>>>>");
    w.stream(4, "", "BT /F1 36 Tf 10 25 Td (" + text + ") Tj ET");
    if (fontFile.empty()) {
        w.object(5, "<</Type /Font /Subtype /Type1 /BaseFont /" + font + ">>");
    } else {
        std::string widths;
        for (int c = 32; c <= 126; ++c) widths += " 600";
        w.object(5, "<</Type /Font /Subtype /TrueType /BaseFont /" + font +
                        " /FirstChar 32 /LastChar 126 /Widths [" + widths +
                        "] /Encoding /WinAnsiEncoding /FontDescriptor 6 0 R>>");
        w.object(6, "<</Type /FontDescriptor /FontName /" + font +
                        " /Flags 32 /FontBBox [-1000 -400 2000 1200] /ItalicAngle 0 /Ascent 900"
                        " /Descent -250 /CapHeight 700 /StemV 80 /FontFile2 7 0 R>>");
        const std::string bytes = testutil::readFile(fontFile);
        w.stream(7, "/Length1 " + std::to_string(bytes.size()), bytes);
    }
    return w.finishClassic("/Root 1 0 R");
}

// The probe, preloaded into a real page process made by the real zygote, tries once that process's
// sandbox is in force each way a document that took over Poppler would reach the user, the
// application or the zygote: everything fails, and what drawing needs is still read.
TEST(PageSandbox, AProbeInARealPageProcessReachesNothingOfTheUsers) {
    testutil::TempDir home;
    const fs::path privateFile = home.path() / "privado.txt";
    const fs::path nss = home.path() / ".pki" / "nssdb" / "cert9.db";
    fs::create_directories(nss.parent_path());
    for (const fs::path& p : {privateFile, nss}) {
        testutil::writeFile(p, "NIF 12345678Z");
        fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write);
    }
    const std::string font = systemFontFile();
    ASSERT_FALSE(font.empty()) << "no font file beneath /usr/share/fonts";
    const pid_t other = startSleeper();
    ASSERT_GT(other, 0);

    std::string said;
    std::string zygoteStatus;
    std::set<std::string> zygoteDescriptors;
    {
        SessionAddresses addresses;
        ScopedVariable userHome("HOME", home.path().string());
        std::string failure;
        const PageSpawn::Started zygote = PageSpawn::start(
            PageProcess::program(), failure, PageSpawn::Role::zygote,
            {"LD_PRELOAD=" + (fs::path(TINDRA_TOOLS_DIR) / "pagesandboxprobe.so").string()});
        ASSERT_GT(zygote.pid, 0) << failure;
        const PageSpawn::Started probe =
            PageSpawn::forkReader(zygote.socket, std::chrono::seconds(30), failure);
        ASSERT_GT(probe.pid, 0) << failure;
        const std::string line = privateFile.string() + "\t" + nss.string() + "\t" +
                                 std::to_string(other) + "\t" + font + "\t" +
                                 std::to_string(zygote.pid) + "\n";
        ASSERT_EQ(::send(probe.socket, line.data(), line.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(line.size()));
        std::string sentence;
        EXPECT_TRUE(testutil::readFromChild(probe.socket, said, "the sandbox probe", sentence))
            << sentence;
        ::close(probe.socket);
        const testutil::ChildEnd end = testutil::waitForChild(probe.pid, "the sandbox probe");
        EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0)
            << end.sentence << " status " << end.status;
        // The zygote, warm and waiting for the next request, holds nothing of the application's.
        zygoteStatus = readProc(zygote.pid, "status");
        zygoteDescriptors = descriptorsOf(zygote.pid);
        ::close(zygote.socket);
        const testutil::ChildEnd zygoteEnd = testutil::waitForChild(zygote.pid, "the zygote");
        EXPECT_TRUE(WIFEXITED(zygoteEnd.status)) << zygoteEnd.sentence;
    }
    EXPECT_EQ(statusField(zygoteStatus, "NoNewPrivs"), "1");
    EXPECT_EQ(statusField(zygoteStatus, "CapEff"), "0000000000000000");
    EXPECT_EQ(zygoteDescriptors, (std::set<std::string>{"0", "1", "2", "3"}));
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);

    std::map<std::string, std::string> outcome;
    std::istringstream lines(said);
    for (std::string l; std::getline(lines, l);) {
        const std::size_t colon = l.find(": ");
        if (colon != std::string::npos) outcome[l.substr(0, colon)] = l.substr(colon + 2);
    }
    ASSERT_EQ(said.substr(said.size() - std::min<std::size_t>(4, said.size())), "end\n") << said;

    const bool landlock = PageSandbox::landlockVersion() != PageSandbox::noLandlock;
    if (landlock) {
        EXPECT_NE(outcome["landlock"], "0");
    }
    // Acts that only the file restriction refuses (where the kernel has it).
    const std::set<std::string> filesOnly = {"open parent fd", "read parent mem",
                                             "read parent environ", "read parent maps",
                                             "read private file", "read nss database",
                                             "read passwd", "read zygote mem"};
    std::vector<std::string> refused = {
        "pidfd_open parent", "pidfd_getfd parent", "pidfd_send_signal parent", "open parent fd",
        "read parent mem", "read parent environ", "read parent maps", "process_vm_readv parent",
        "ptrace attach parent", "ptrace attach zygote", "read zygote mem",
        "open zygote mem for writing", "kill zygote", "pidfd_open zygote", "read private file", "read nss database", "read passwd",
        "kill parent", "kill every process", "kill process group", "kill other process",
        "tgkill parent", "prlimit parent", "clear death signal", "setsid", "setpgid", "fork",
        "clone process", "execve", "raise processor time", "raise core size",
        "unshare user namespace", "keyctl", "socket unix", "socket inet", "write file",
        "make folder", "io_uring"};
    // A sanitizer build sets no address-space limit (the application watches the memory).
    if (!PageProcessMemory::watchedByParent) refused.push_back("raise address space");
    for (const std::string& act : refused) {
        if (!landlock && filesOnly.count(act)) continue;
        // Refused by the sandbox itself, not for a bad argument.
        const std::string& got = outcome[act];
        EXPECT_TRUE(got == "refused (EPERM)" || got == "refused (EACCES)" ||
                    got == "refused (ENOSYS)")
            << act << ": " << (got.empty() ? "(not tried)" : got);
    }
    for (const char* name : {"DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS",
                             "WAYLAND_DISPLAY", "SSH_AUTH_SOCK"})
        EXPECT_EQ(outcome[std::string("getenv ") + name], "refused (ENOENT)") << name;
    EXPECT_EQ(outcome["descriptors"], "0 1 2 3");
    EXPECT_EQ(outcome["outputs"], "/dev/null");
    EXPECT_EQ(outcome["read font"], "allowed") << font;
    EXPECT_EQ(outcome["read font configuration"], "allowed");
    EXPECT_FALSE(fs::exists("/tmp/tindra-probe-escrito"));
    EXPECT_FALSE(fs::exists("/tmp/tindra-probe-carpeta"));
}

// A real page process, while it serves a document: filtered, without privileges, its limits
// hard, nothing held but its socket, nothing inherited of the session; and it still reads and
// draws the document's pages.
TEST(PageSandbox, ARealPageProcessServesItsDocumentInItsSandbox) {
    SessionAddresses addresses;
    std::unique_ptr<PageProcess> pages = PageProcess::open(fixtures::textPDF(2, true));
    ASSERT_TRUE(pages && pages->pageCount() == 2);
    ASSERT_TRUE(pages->text(0));
    const pid_t pid = pages->pid();
    ASSERT_GT(pid, 0);

    const std::string status = readProc(pid, "status");
    EXPECT_EQ(statusField(status, "Seccomp"), "2");
    EXPECT_EQ(statusField(status, "NoNewPrivs"), "1");
    EXPECT_EQ(statusField(status, "CapEff"), "0000000000000000");
    EXPECT_EQ(statusField(status, "CapPrm"), "0000000000000000");
    if (::geteuid() == 0) {
        EXPECT_EQ(statusField(status, "CapBnd"), "0000000000000000");
    }

    const std::string limits = readProc(pid, "limits");
    for (const char* name : {"Max cpu time", "Max address space", "Max core file size",
                             "Max file size", "Max open files"}) {
        const auto [soft, hard] = limitOf(limits, name);
        EXPECT_EQ(soft, hard) << name;
    }
    EXPECT_NE(limitOf(limits, "Max cpu time").first, "unlimited");
    if (!PageProcessMemory::watchedByParent) {
        EXPECT_NE(limitOf(limits, "Max address space").first, "unlimited");
    }
    EXPECT_EQ(limitOf(limits, "Max core file size").first, "0");
    EXPECT_EQ(limitOf(limits, "Max file size").first, "0");

    // The document was mapped and its descriptor closed.
    EXPECT_EQ(descriptorsOf(pid), (std::set<std::string>{"0", "1", "2", "3"}));

    const std::string environment = readProc(pid, "environ");
    std::set<std::string> names;
    for (std::size_t start = 0; start < environment.size();) {
        const std::size_t end = std::min(environment.find('\0', start), environment.size());
        const std::string entry = environment.substr(start, end - start);
        names.insert(entry.substr(0, entry.find('=')));
        start = end + 1;
    }
    const std::set<std::string> allowed = {
        "HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "FONTCONFIG_FILE",
        "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"};
    for (const std::string& name : names) EXPECT_TRUE(allowed.count(name)) << name;

    std::optional<PageText> second = pages->text(1);
    ASSERT_TRUE(second);
    EXPECT_NE(second->text.find(u"2"), std::u16string::npos);
    std::optional<GreyImage> drawn = pages->render(0, 1.0, 10'000'000);
    ASSERT_TRUE(drawn);
    EXPECT_GT(inkOf(*drawn), 0);
    EXPECT_EQ(pages->pid(), pid);
}

// A page process reads one document: once that document is let go, the process ends by itself
// rather than wait for another.
TEST(PageSandbox, APageProcessEndsOnceItsDocumentIsLetGo) {
    std::string failure;
    const PageSpawn::Started process = PageSpawn::start(PageProcess::program(), failure);
    ASSERT_GT(process.pid, 0) << failure;
    const std::string pdf = fixtures::textPDF(1);
    const int document = ::memfd_create("documento", MFD_CLOEXEC);
    ASSERT_GE(document, 0);
    ASSERT_EQ(::write(document, pdf.data(), pdf.size()), static_cast<ssize_t>(pdf.size()));
    const std::int64_t size = static_cast<std::int64_t>(pdf.size());
    ASSERT_TRUE(PageProtocol::sendDescriptor(process.socket, document, &size, sizeof size));
    ::close(document);

    // The hello: the document opened with its one page.
    std::uint64_t length = 0;
    ASSERT_EQ(::recv(process.socket, &length, sizeof length, MSG_WAITALL),
              static_cast<ssize_t>(sizeof length));
    ASSERT_LT(length, 256u);
    std::string hello(length, '\0');
    ASSERT_EQ(::recv(process.socket, hello.data(), length, MSG_WAITALL),
              static_cast<ssize_t>(length));
    EXPECT_EQ(PageProtocol::decodeHello(hello), std::optional<int>(1));

    PageProtocol::Request release;
    release.kind = PageProtocol::Kind::release;
    const std::string framed = PageProtocol::frame(PageProtocol::encode(release));
    ASSERT_EQ(::send(process.socket, framed.data(), framed.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(framed.size()));
    // The socket stays open on this side: the process ends on the release alone.
    const testutil::ChildEnd end =
        testutil::waitForChild(process.pid, "the page process let go of its document",
                               std::chrono::seconds(20));
    ::close(process.socket);
    EXPECT_FALSE(end.timedOut) << end.sentence;
    EXPECT_TRUE(WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) << end.status;
}

// Fonts drawn in the sandbox: one embedded in the document, and a standard one the document only
// names, found through the system's font configuration among the system's fonts.
TEST(PageSandbox, PagesWithEmbeddedAndSystemFontsAreReadAndDrawn) {
    const std::string font = systemFontFile();
    ASSERT_FALSE(font.empty());
    for (const std::string& pdf :
         {onePagePDF("Times-Roman", "Firma"), onePagePDF("TindraPrueba", "Firma", font)}) {
        std::unique_ptr<PageProcess> pages = PageProcess::open(pdf);
        ASSERT_TRUE(pages && pages->pageCount() == 1);
        std::optional<PageText> text = pages->text(0);
        ASSERT_TRUE(text);
        EXPECT_NE(text->text.find(u"Firma"), std::u16string::npos);
        std::optional<GreyImage> drawn = pages->render(0, 1.0, 10'000'000);
        ASSERT_TRUE(drawn);
        // Five letters 36 points high: hundreds of dark pixels at 72 dpi, none when no font could
        // be read.
        EXPECT_GT(inkOf(*drawn), 300);
    }
}

// In a process of its own whose filter answers Landlock's calls as a kernel without Landlock does
// (its page processes inherit the filter): the page processes read their documents under their
// other limits, and the log says once that files are not restricted. Ends the process with a
// status whose bits say what failed.
[[noreturn]] void readWithoutLandlock() {
    const fs::path state = fs::temp_directory_path() / ("tindra-sin-landlock-" + std::to_string(::getpid()));
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
    if (!ctx) _exit(64);
    for (int call : {SCMP_SYS(landlock_create_ruleset), SCMP_SYS(landlock_add_rule),
                     SCMP_SYS(landlock_restrict_self)})
        if (seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), call, 0) != 0) _exit(65);
    if (seccomp_load(ctx) != 0) _exit(66);
    int failures = 0;
    for (int k = 0; k < 2; ++k) {
        std::unique_ptr<PageProcess> pages = PageProcess::open(fixtures::textPDF(1));
        if (!pages || !pages->text(0)) failures |= 1;
        const std::string status =
            pages && pages->pid() > 0 ? readProc(pages->pid(), "status") : std::string();
        // Its own filter on top of the one it inherited, and no privileges.
        if (statusField(status, "Seccomp_filters") != "2" ||
            statusField(status, "CapEff") != "0000000000000000")
            failures |= 2;
    }
    const fs::path logFile = state / "tindra" / "Tindra.log";
    const std::string log = fs::exists(logFile) ? testutil::readFile(logFile) : std::string();
    std::error_code ignored;
    fs::remove_all(state, ignored);
    const std::string said = "El núcleo no ofrece Landlock";
    const std::size_t first = log.find(said);
    if (first == std::string::npos) failures |= 4;
    else if (log.find(said, first + 1) != std::string::npos) failures |= 8;
    _exit(failures);
}

// 1: a page not read; 2: a page process not filtered; 4: nothing logged; 8: logged more than once.
// (The process is started afresh, so that nothing of this test program's earlier page processes
// or log is in it.)
TEST(PageSandbox, AKernelWithoutLandlockIsSaidOnceInTheLogAndTheOtherLimitsHold) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(readWithoutLandlock(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
