// The application ends as a user asks, from any state, in a process of its own: the child program
// (tests/tools/app/shutdownchild) runs the real delegate, home, welcome and signing windows and an
// event loop, and the test gives it a time limit (a child that hangs is killed and the test fails).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/Defaults.h"
#include "platform/Preferences.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr char scenarioVariable[] = "TINDRA_SHUTDOWN_SCENARIO";
constexpr char fileVariable[] = "TINDRA_SHUTDOWN_FILE";
// The child prints this line when it asks the application to end.
constexpr char askedLine[] = "tindra-asked-to-end";

// A page that takes the tile worker a while: thousands of strokes.
std::string heavyPDF() {
    std::string content = "0.2 w\n";
    for (int i = 0; i < 1500; ++i) {
        const int x = (i * 37) % 595, y = (i * 53) % 842;
        content += std::to_string(x) + " " + std::to_string(y) + " m " + std::to_string(595 - x) +
                   " " + std::to_string(842 - y) + " l S\n";
    }
    return fixtures::pagesPDF({fixtures::PageSpec{595, 842, 0, content}});
}

// A user of its own for the child: home, runtime, configuration and state folders, and a screen
// with room round the home window.
struct User {
    testutil::TempDir root;
    fs::path pdf = root / "home" / "Documentos" / "Solicitud.pdf";
    fs::path screens = root / "pantallas.json";
    explicit User(bool welcomed) {
        for (const char* dir : {"home/Documentos", "run", "config", "state", "data"})
            fs::create_directories(root / dir);
        ::chmod((root / "run").c_str(), 0700);
        testutil::writeFile(pdf, heavyPDF());
        testutil::writeFile(screens, R"({"screens": [{"name": "pantalla", "x": 0, "y": 0, "width": 1600,)"
                                     R"( "height": 1000}]})");
        if (welcomed) {
            Defaults defaults(root / "config" / "tindra" / "defaults.json");
            Preferences::setWelcomeShown(true, defaults);
            Preferences::setFormsWelcomeShown(true, defaults);
        }
    }
    QProcessEnvironment environment(const std::string& scenario) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        auto set = [&env](const char* name, const fs::path& path) {
            env.insert(QString::fromUtf8(name), QString::fromStdString(path.string()));
        };
        set("HOME", root / "home");
        set("XDG_RUNTIME_DIR", root / "run");
        set("XDG_CONFIG_HOME", root / "config");
        set("XDG_STATE_HOME", root / "state");
        set("XDG_DATA_HOME", root / "data");
        set(fileVariable, pdf);
        env.insert(QString::fromUtf8(scenarioVariable), QString::fromStdString(scenario));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"),
                   QStringLiteral("offscreen:configfile=") + QString::fromStdString(screens.string()));
        return env;
    }
};

struct Ending {
    bool asked = false;
    bool ended = false;
    qint64 untilAsked = -1;   // milliseconds from the start to the request
    qint64 afterAsking = -1;  // milliseconds from the request to the end
    int exitCode = -1;
    std::string output;
};

// How long a child may take to reach the moment it asks the application to end; generous, since
// it starts windows and renders pages on a machine that may be loaded.
constexpr int untilAskedLimit = 120000;

// Runs the child scenario; kills it when it has not ended `limit` ms after being asked, plus as
// long as it took to get there (or untilAskedLimit ms after its start). The end is timed from the
// moment this process reads the child's line, printed just before it asks: never before the
// request itself. The time to get there, the child's start-up with its windows and pages, is the
// measure of how fast this machine works at the moment: a loaded machine stretches the end as it
// stretched the start.
Ending runChild(const User& user, const std::string& scenario, int limit) {
    QProcess child;
    child.setProcessEnvironment(user.environment(scenario));
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QString::fromStdString((testutil::toolsDir() / "shutdownchild").string()), {});
    Ending ending;
    if (!child.waitForStarted(60000)) {
        ending.output = "The child program " + child.program().toStdString() + " did not start.";
        return ending;
    }
    QElapsedTimer clock;
    QElapsedTimer sinceAsked;
    clock.start();
    while (child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(10);
        ending.output += child.readAll().toStdString();
        if (!ending.asked && ending.output.find(askedLine) != std::string::npos) {
            ending.asked = true;
            ending.untilAsked = clock.elapsed();
            sinceAsked.start();
        }
        if (ending.asked && sinceAsked.elapsed() > limit + ending.untilAsked) break;
        if (!ending.asked && clock.elapsed() > untilAskedLimit) break;
    }
    if (child.state() == QProcess::NotRunning) {
        ending.ended = true;
        if (ending.asked) ending.afterAsking = sinceAsked.elapsed();
        ending.exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    } else {
        child.kill();
        child.waitForFinished(5000);
    }
    ending.output += child.readAll().toStdString();
    return ending;
}

// A second, to which runChild adds the child's own start-up; under AddressSanitizer the process's
// end also scans its memory for leaks, which takes a few seconds of its own.
#if defined(__SANITIZE_ADDRESS__)
constexpr int endLimit = 8000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int endLimit = 8000;
#else
constexpr int endLimit = 1000;
#endif
#else
constexpr int endLimit = 1000;
#endif

Ending runChild(const std::string& scenario, bool welcomed, int limit) {
    const User user(welcomed);
    return runChild(user, scenario, limit);
}

void expectEndsInASecond(const std::string& scenario, bool welcomed = true) {
    const Ending ending = runChild(scenario, welcomed, endLimit);
    ASSERT_TRUE(ending.asked) << scenario << ": the child did not ask the application to end within "
                              << untilAskedLimit / 1000 << " s\n"
                              << ending.output;
    EXPECT_TRUE(ending.ended) << scenario << ": still running " << endLimit + ending.untilAsked
                              << " ms after being asked (" << ending.untilAsked
                              << " ms to start and ask)\n"
                              << ending.output;
    EXPECT_EQ(ending.exitCode, 0) << ending.output;
    EXPECT_LE(ending.afterAsking, endLimit + ending.untilAsked)
        << scenario << ": " << ending.untilAsked << " ms to start and ask";
}

}  // namespace

TEST(Shutdown, QuitFromTheHomeWindow) { expectEndsInASecond("home"); }

TEST(Shutdown, QuitWithTheSigningWindowRenderingTiles) { expectEndsInASecond("signing"); }

TEST(Shutdown, QuitDuringARunAbandonsIt) { expectEndsInASecond("run"); }

// A page worker that never returns is left behind, not waited for.
TEST(Shutdown, QuitWithAFormReaderThatNeverReturns) { expectEndsInASecond("stuckReader"); }

TEST(Shutdown, QuitFromTheWelcomeWindow) { expectEndsInASecond("welcome", false); }

TEST(Shutdown, ClosingTheHomeWindowEndsTheApplicationOnceNoRunIsBusy) {
    expectEndsInASecond("closeHomeAfterRun");
    const Ending ending = runChild("closeHome", true, endLimit);
    ASSERT_TRUE(ending.asked) << "closeHome: the child did not ask the application to end within "
                              << untilAskedLimit / 1000 << " s\n"
                              << ending.output;
    EXPECT_NE(ending.output.find("still running with the signing window"), std::string::npos);
    EXPECT_TRUE(ending.ended) << ending.output;
    EXPECT_EQ(ending.exitCode, 0) << ending.output;
}

// The last place of the home window survives an end that the grace period cuts short: the next
// start opens the window there.
TEST(Shutdown, TheHomeWindowsFrameOutlivesAnEndPastTheGrace) {
    const User user(true);
    auto frame = [](const std::string& output) {
        const std::size_t at = output.rfind("frame ");
        return at == std::string::npos ? std::string() : output.substr(at, output.find('\n', at) - at);
    };
    const Ending moved = runChild(user, "movedHomeStuckWindow", endLimit);
    ASSERT_TRUE(moved.ended) << moved.output;
    const fs::path log = user.root / "state" / "tindra" / "Tindra.log";
    ASSERT_NE(testutil::readFile(log).find("Salida sin esperar"), std::string::npos) << moved.output;
    const Ending next = runChild(user, "frame", endLimit);
    ASSERT_TRUE(next.ended) << next.output;
    EXPECT_FALSE(frame(moved.output).empty()) << moved.output;
    EXPECT_EQ(frame(next.output), frame(moved.output)) << next.output;
}
