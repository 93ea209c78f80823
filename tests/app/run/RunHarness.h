#pragma once
// An application delegate with fake presenters and a fake signing window, for the tests of the
// signing run.

#include <QTest>

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "ui/AlertPresenter.h"
#include "ui/FilePanelPresenter.h"
#include "ui/RevealPresenter.h"
#include "ui/RunLoop.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "support/TestUtil.h"

struct FakeAlerts : AlertPresenter {
    std::vector<Alert> shown;
    void show(const Alert& alert, QWidget*) override { shown.push_back(alert); }
};

struct FakePanels : FilePanelPresenter {
    void open(const Options&, QWidget*, Completion done) override { done(std::nullopt); }
    bool isOpen() const override { return false; }
    void cancel() override {}
};

struct FakeReveal : RevealPresenter {
    std::vector<std::vector<std::filesystem::path>> revealed;
    void reveal(const std::vector<std::filesystem::path>& files) override { revealed.push_back(files); }
};

struct FakeURLs : URLPresenter {
    std::vector<QUrl> opened;
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

// What the fake window was given and what it answers.
struct WindowScript {
    struct Made {
        std::vector<Certificate> certificates;
        std::vector<std::filesystem::path> files;
        std::optional<SigningRecord> previous;
        std::optional<std::string> replacing;
        std::size_t received = 0;
    };
    std::vector<Made> made;
    // The answer, given on the next pass; nothing: cancelled. Without `answer` the window waits
    // until a test calls `pendingAnswer`.
    std::function<std::optional<SigningOptions>(const Made&)> answer;
    std::function<void(std::optional<SigningOptions>)> pendingAnswer;
};

class FakeSigningWindow : public SigningWindow {
public:
    FakeSigningWindow(WindowScript& script, WindowScript::Made made)
        : script_(script), made_(std::move(made)) {}
    void begin(std::function<void(std::optional<SigningOptions>)> completion) override {
        if (!script_.answer) {
            script_.pendingAnswer = completion;
            return;
        }
        auto answer = script_.answer(made_);
        onMainRunLoop(0, [completion, answer] { completion(answer); });
    }

private:
    WindowScript& script_;
    WindowScript::Made made_;
};

class RunHarness {
public:
    testutil::TempDir config;
    testutil::TempDir temporary;
    Defaults defaults{config.path() / "defaults.json"};
    FakeAlerts alerts;
    FakeReveal reveal;
    FakeURLs urls;
    FakePanels panels;
    WindowScript window;
    int quits = 0;
    std::vector<std::vector<SavedFact>> savedFacts;
    std::mutex logMutex;
    std::vector<std::string> logLines;

    AppServices services() {
        AppServices s;
        s.defaults = &defaults;
        s.log = [this](std::string_view line) {
            std::lock_guard lock(logMutex);
            logLines.emplace_back(line);
        };
        s.alerts = &alerts;
        s.urls = &urls;
        s.filePanels = &panels;
        s.reveal = &reveal;
        s.certificates = [] { return Certificate::signingCertificates(); };
        s.quit = [this] { ++quits; };
        s.signingWindow = [this](std::vector<Certificate> certificates,
                                 std::vector<std::filesystem::path> files,
                                 std::optional<SigningRecord> previous,
                                 std::optional<std::string> replacing, std::size_t received) {
            WindowScript::Made made{std::move(certificates), std::move(files), std::move(previous),
                                    std::move(replacing), received};
            window.made.push_back(made);
            return std::make_unique<FakeSigningWindow>(window, made);
        };
        s.saveFacts = [this](const std::vector<SavedFact>& facts) { savedFacts.push_back(facts); };
        s.temporaryFolder = temporary.path();
        s.progressAutoClose = std::chrono::milliseconds(20);
        return s;
    }

    std::vector<std::string> log() {
        std::lock_guard lock(logMutex);
        return logLines;
    }

    // Runs the event loop until the delegate is idle again (or the time is up).
    static bool waitIdle(const AppDelegate& delegate, int milliseconds = 60000) {
        bool idle = QTest::qWaitFor([&] { return !delegate.busy && delegate.pending.empty(); },
                                    milliseconds);
        QTest::qWait(30);
        return idle;
    }
};
