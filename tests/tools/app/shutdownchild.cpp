// shutdownchild: the child of the shutdown tests. It runs the real delegate, home, welcome and
// signing windows with an event loop through the scenario named by TINDRA_SHUTDOWN_SCENARIO (the
// document is TINDRA_SHUTDOWN_FILE), prints "tindra-asked-to-end" when it asks the application to
// end, and exits with the event loop's status. Exit status 2 for an unknown or missing scenario.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/AppDelegate.h"
#include "app/HomeWindow.h"
#include "app/run/RunFakes.h"
#include "app/run/RunHarness.h"
#include "document/DocumentContext.h"
#include "document/PagesPreview.h"

namespace fs = std::filesystem;

namespace {

constexpr char scenarioVariable[] = "TINDRA_SHUTDOWN_SCENARIO";
constexpr char fileVariable[] = "TINDRA_SHUTDOWN_FILE";
// Printed when the child asks the application to end.
constexpr char askedLine[] = "tindra-asked-to-end";

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

// A signing window that never answers and whose teardown never ends, as one waiting for a page
// render that cannot be interrupted.
class StuckWindow : public SigningWindow {
public:
    void begin(std::function<void(std::optional<SigningOptions>)>) override {}
    ~StuckWindow() override { std::this_thread::sleep_for(std::chrono::hours(1)); }
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

// "frame X Y WIDTH HEIGHT": the home window's frame.
void printFrame(const QWidget* window) {
    const QRect frame = window->geometry();
    std::printf("frame %d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
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

}  // namespace

int main(int argc, char** argv) {
    const char* chosen = std::getenv(scenarioVariable);
    if (!chosen) {
        std::fprintf(stderr, "shutdownchild: falta %s\n", scenarioVariable);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
                                            std::optional<std::string> replacing,
                                            std::size_t received) {
            WindowScript::Made made{std::move(certificates), std::move(files), std::move(previous),
                                    std::move(replacing), received};
            return std::unique_ptr<SigningWindow>(std::make_unique<FakeSigningWindow>(answers, made));
        };
    }

    if (scenario == "movedHomeStuckWindow") {
        services.signingWindow = [](std::vector<Certificate>, std::vector<fs::path>, std::optional<SigningRecord>,
                                    std::optional<std::string>, std::size_t) {
            return std::unique_ptr<SigningWindow>(std::make_unique<StuckWindow>());
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
    // Opens the document, waits until `ready`, then asks the signing window to quit.
    auto quitFromSigning = [&](std::function<bool()> ready) -> std::vector<std::function<bool()>> {
        return {homeShown,
                [&] {
                    delegate.open({pdf});
                    return true;
                },
                std::move(ready), [&] {
                    pressQuit(signingWindow(delegate));
                    return true;
                }};
    };
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
        script.steps = quitFromSigning(signingWithTiles);
    } else if (scenario == "stuckReader") {
        // The form's reader never comes back, as a page render that cannot be interrupted.
        DocumentContext::standard().readForm = [](PDFFile&, const PageSource&, std::stop_token,
                                                  FormReader::ReadReport*,
                                                  const FormReader::Progress&) {
            std::this_thread::sleep_for(std::chrono::hours(1));
            return std::vector<FormField>{};
        };
        script.steps = quitFromSigning([&] { return signingWindow(delegate) != nullptr; });
    } else if (scenario == "movedHomeStuckWindow") {
        // The home window moved just before quitting, while the signing window's teardown never
        // ends: the end comes from the grace period, well before the frame's delayed save.
        script.steps = {homeShown,
                        [&] {
                            delegate.open({pdf});
                            return true;
                        },
                        [&] { return delegate.signingPanel != nullptr; },
                        [&] {
                            QWidget* home = delegate.home->window();
                            home->move(home->x() + 37, home->y() + 23);
                            printFrame(home);
                            pressQuit(home);
                            return true;
                        }};
    } else if (scenario == "frame") {
        // The frame the home window opens with.
        script.steps = {homeShown, [&] {
                            printFrame(delegate.home->window());
                            pressQuit(delegate.home->window());
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
        std::fprintf(stderr, "shutdownchild: escenario desconocido %s\n", scenario.c_str());
        return 2;
    }
    script.start();
    return QApplication::exec();
}

