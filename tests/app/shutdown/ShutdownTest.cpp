// The application ends as a user asks, from any state, in a process of its own: this program runs
// itself as the child, with the real delegate, home, welcome and signing windows and an event
// loop, and the parent gives it a time limit (a child that hangs is killed and the test fails).
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>

#include "app/AppDelegate.h"
#include "app/HomeWindow.h"
#include "app/run/RunFakes.h"
#include "app/run/RunHarness.h"
#include "document/PagesPreview.h"
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

// An engine that never finishes while the test runs.
class StuckEngine : public SigningEngine {
public:
    std::string name() const override { return "atascado"; }
    void sign(const fs::path&, const fs::path&, const Certificate&,
              const std::optional<VisibleSignature>&) const override {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::seconds(60));
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable wake_;
};

// The visible top-level window holding a page preview other than the home window's.
QWidget* signingWindow(const AppDelegate& delegate) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible()) continue;
        if (delegate.home && widget == delegate.home->window()) continue;
        if (widget->findChild<PagesPreview*>()) return widget;
    }
    return nullptr;
}

QWidget* visibleTitled(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowTitle() == title) return widget;
    }
    return nullptr;
}

// Ctrl+Q as the keyboard gives it, to the active window.
void pressQuit(QWidget* window) {
    window->activateWindow();
    QApplication::setActiveWindow(window);
    std::printf("%s\n", askedLine);
    std::fflush(stdout);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
}

void asked() {
    std::printf("%s\n", askedLine);
    std::fflush(stdout);
}

// Runs `steps` one after another, each polled every 20 ms until it answers true.
class Script : public QObject {
public:
    std::vector<std::function<bool()>> steps;
    void start() {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, [this] {
            while (next_ < steps.size() && steps[next_]()) ++next_;
            if (next_ == steps.size()) timer_.stop();
        });
        timer_.start();
    }

private:
    QTimer timer_;
    std::size_t next_ = 0;
};

// A user of its own for the child: home, runtime, configuration and state folders.
struct User {
    testutil::TempDir root;
    fs::path pdf = root / "home" / "Documentos" / "Solicitud.pdf";
    explicit User(bool welcomed) {
        for (const char* dir : {"home/Documentos", "run", "config", "state", "data"})
            fs::create_directories(root / dir);
        ::chmod((root / "run").c_str(), 0700);
        testutil::writeFile(pdf, heavyPDF());
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
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
};

struct Ending {
    bool asked = false;
    bool ended = false;
    qint64 afterAsking = -1;  // milliseconds from the request to the end
    int exitCode = -1;
    std::string output;
};

// Runs the child scenario; kills it when it has not ended `limit` ms after being asked (or 30 s
// after its start).
Ending runChild(const std::string& scenario, bool welcomed, int limit) {
    User user(welcomed);
    QProcess child;
    child.setProcessEnvironment(user.environment(scenario));
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=ShutdownChild.Scenario")});
    Ending ending;
    if (!child.waitForStarted(5000)) return ending;
    QElapsedTimer clock;
    QElapsedTimer sinceAsked;
    clock.start();
    while (child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(10);
        ending.output += child.readAll().toStdString();
        if (!ending.asked && ending.output.find(askedLine) != std::string::npos) {
            ending.asked = true;
            sinceAsked.start();
        }
        if (ending.asked && sinceAsked.elapsed() > limit) break;
        if (clock.elapsed() > 30000) break;
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

// A second; under AddressSanitizer the process's end also scans its memory for leaks, which
// takes a few seconds of its own.
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

void expectEndsInASecond(const std::string& scenario, bool welcomed = true) {
    const Ending ending = runChild(scenario, welcomed, endLimit);
    ASSERT_TRUE(ending.asked) << ending.output;
    EXPECT_TRUE(ending.ended) << scenario << ": still running " << endLimit
                              << " ms after being asked\n"
                              << ending.output;
    EXPECT_EQ(ending.exitCode, 0) << ending.output;
    EXPECT_LE(ending.afterAsking, endLimit);
}

}  // namespace

// The child: the scenario named by the environment (skipped when run as an ordinary test).
TEST(ShutdownChild, Scenario) {
    const char* chosen = std::getenv(scenarioVariable);
    if (!chosen) GTEST_SKIP() << "run by the Shutdown tests";
    const std::string scenario = chosen;
    const QString pdf = QString::fromUtf8(std::getenv(fileVariable));
    // As the application's entry sets it: the delegate alone decides when to end.
    QApplication::setQuitOnLastWindowClosed(false);

    FakeAlerts alerts;
    FakePanels panels;
    FakeURLs urls;
    FakeReveal reveal;
    AppServices services = AppServices::standard();
    services.alerts = &alerts;
    services.filePanels = &panels;
    services.urls = &urls;
    services.reveal = &reveal;
    services.certificates = [] { return std::vector<Certificate>{testCertificate()}; };
    services.executableFolder = [] { return QStringLiteral("/srv/build/app/main"); };
    services.engine = [] { return AnySigningEngine(std::make_shared<StuckEngine>()); };
    WindowScript answers;
    if (scenario == "run") {
        // The signing window answers at once: the run goes on to its (stuck) worker.
        answers.answer = [](const WindowScript::Made&) { return std::optional(testOptions()); };
        services.signingWindow = [&answers](std::vector<Certificate> certificates,
                                            std::vector<fs::path> files,
                                            std::optional<SigningRecord> previous,
                                            std::optional<std::string> replacing) {
            WindowScript::Made made{std::move(certificates), std::move(files), std::move(previous),
                                    std::move(replacing)};
            return std::unique_ptr<SigningWindow>(std::make_unique<FakeSigningWindow>(answers, made));
        };
    }

    AppDelegate delegate(services);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    auto homeShown = [&delegate] { return delegate.home && delegate.home->isVisible(); };
    QPointer<PagesPreview> preview;
    auto signingWithTiles = [&delegate, &preview] {
        QWidget* window = signingWindow(delegate);
        if (!window) return false;
        if (!preview) {
            preview = window->findChild<PagesPreview*>();
            preview->setZoom(8);
        }
        return preview->tilesPending();
    };

    Script script;
    QElapsedTimer since;
    if (scenario == "home") {
        script.steps = {homeShown, [&] {
                            pressQuit(delegate.home->window());
                            return true;
                        }};
    } else if (scenario == "welcome") {
        script.steps = {[] { return visibleTitled(QStringLiteral("Bienvenida a Tindra")) != nullptr; },
                        [] {
                            pressQuit(visibleTitled(QStringLiteral("Bienvenida a Tindra")));
                            return true;
                        }};
    } else if (scenario == "signing") {
        script.steps = {homeShown,
                        [&] {
                            delegate.open({pdf});
                            return true;
                        },
                        signingWithTiles, [&] {
                            pressQuit(signingWindow(delegate));
                            return true;
                        }};
    } else if (scenario == "run") {
        script.steps = {homeShown,
                        [&] {
                            delegate.open({pdf});
                            return true;
                        },
                        [&] { return delegate.progressWindow && AppDelegate::runsWorking(); },
                        [&] {
                            pressQuit(delegate.home->window());
                            return true;
                        }};
    } else if (scenario == "closeHome") {
        // The home window closed while a signing window is open keeps the application; the
        // signing window closed afterwards ends it.
        script.steps = {homeShown,
                        [&] {
                            delegate.open({pdf});
                            return true;
                        },
                        signingWithTiles,
                        [&] {
                            delegate.home->window()->close();
                            since.start();
                            return true;
                        },
                        [&] { return since.elapsed() > 600; },
                        [&] {
                            std::printf("still running with the signing window\n");
                            std::fflush(stdout);
                            asked();
                            signingWindow(delegate)->close();
                            return true;
                        }};
    } else if (scenario == "closeHomeAfterRun") {
        // A signing window cancelled, then the home window closed: nothing pending, no run.
        script.steps = {homeShown,
                        [&] {
                            delegate.open({pdf});
                            return true;
                        },
                        signingWithTiles,
                        [&] {
                            signingWindow(delegate)->close();
                            return true;
                        },
                        [&] { return !delegate.busy && delegate.home && delegate.home->isVisible(); },
                        [&] {
                            asked();
                            delegate.home->window()->close();
                            return true;
                        }};
    } else {
        FAIL() << "unknown scenario " << scenario;
    }
    script.start();
    const int status = QApplication::exec();
    EXPECT_EQ(status, 0);
}

TEST(Shutdown, QuitFromTheHomeWindow) { expectEndsInASecond("home"); }

TEST(Shutdown, QuitWithTheSigningWindowRenderingTiles) { expectEndsInASecond("signing"); }

TEST(Shutdown, QuitDuringARunAbandonsIt) { expectEndsInASecond("run"); }

TEST(Shutdown, QuitFromTheWelcomeWindow) { expectEndsInASecond("welcome", false); }

TEST(Shutdown, ClosingTheHomeWindowEndsTheApplicationOnceNoRunIsBusy) {
    expectEndsInASecond("closeHomeAfterRun");
    const Ending ending = runChild("closeHome", true, 1000);
    ASSERT_TRUE(ending.asked) << ending.output;
    EXPECT_NE(ending.output.find("still running with the signing window"), std::string::npos);
    EXPECT_TRUE(ending.ended) << ending.output;
    EXPECT_EQ(ending.exitCode, 0) << ending.output;
}
