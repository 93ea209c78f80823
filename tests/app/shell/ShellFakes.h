#pragma once
// Fakes of the delegate's collaborators: presenters, windows, log and defaults in a temporary
// folder.

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/HomeWindow.h"
#include "ui/AlertPresenter.h"
#include "ui/FilePanelPresenter.h"
#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "support/TestUtil.h"

namespace shellfakes {

struct Alerts : AlertPresenter {
    std::vector<Alert> shown;
    void show(const Alert& alert, QWidget*) override { shown.push_back(alert); }
};

struct FilePanels : FilePanelPresenter {
    struct Call {
        Options options;
        QWidget* parent;
    };
    std::vector<Call> calls;
    Completion pending;
    bool open_ = false;
    int cancels = 0;
    void open(const Options& options, QWidget* parent, Completion done) override {
        calls.push_back({options, parent});
        pending = std::move(done);
        open_ = true;
    }
    bool isOpen() const override { return open_; }
    void cancel() override {
        ++cancels;
        finish(std::nullopt);
    }
    void finish(std::optional<std::vector<std::filesystem::path>> chosen) {
        open_ = false;
        auto done = std::move(pending);
        pending = nullptr;
        if (done) done(std::move(chosen));
    }
};

struct URLs : URLPresenter {
    std::vector<QUrl> opened;
    bool open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

struct Reveal : RevealPresenter {
    std::vector<std::vector<std::filesystem::path>> calls;
    void reveal(const std::vector<std::filesystem::path>& files) override { calls.push_back(files); }
};

// What the fake windows saw.
struct WindowLog {
    std::vector<std::optional<int>> welcomeShows;
    std::vector<std::optional<HomeSection>> homeShows;
    int welcomesMade = 0;
    int homesMade = 0;
    int lastCertificates = -1;
    bool lastInstalled = false;
    bool homeVisible = false;
    QWidget homeWidget;
};

struct FakeWelcome : WelcomeHandle {
    explicit FakeWelcome(WindowLog& log) : log_(log) {}
    void show(std::optional<int> page) override { log_.welcomeShows.push_back(page); }
    WindowLog& log_;
};

struct FakeHome : HomeWindow {
    explicit FakeHome(WindowLog& log) : HomeWindow(NoWindow{}), log_(log) {}
    void show(std::optional<HomeSection> section) override {
        log_.homeShows.push_back(section);
        log_.homeVisible = true;
    }
    bool isVisible() const override { return log_.homeVisible; }
    QWidget* window() const override { return &log_.homeWidget; }
    WindowLog& log_;
};

// A delegate's world: temporary defaults, a recorded log, fakes for everything.
struct World {
    testutil::TempDir folder;
    Defaults defaults{folder.path() / "defaults.json"};
    std::vector<std::string> lines;
    Alerts alerts;
    FilePanels panels;
    URLs urls;
    Reveal reveal;
    WindowLog windows;
    int quits = 0;
    int quickActionInstalls = 0;
    int toolInstalls = 0;
    bool quickActionResult = true;
    QString executableFolder = QStringLiteral("/work/build/app/main");
    QString home = QStringLiteral("/home/ana");
    bool withWelcome = true;
    bool withHome = true;

    AppServices services() {
        AppServices s = AppServices::standard();
        s.defaults = &defaults;
        s.log = [this](std::string_view line) { lines.emplace_back(line); };
        s.alerts = &alerts;
        s.filePanels = &panels;
        s.urls = &urls;
        s.reveal = &reveal;
        s.certificates = [] { return std::vector<Certificate>(2); };
        s.executableFolder = [this] { return executableFolder; };
        s.home = [this] { return home; };
        s.migratePreferences = [] {};
        s.installQuickAction = [this] {
            ++quickActionInstalls;
            return quickActionResult;
        };
        s.installCommandLineTool = [this] { ++toolInstalls; };
        s.quit = [this] { ++quits; };
        s.help = nullptr;
        if (withWelcome) {
            s.welcomeWindow = [this](bool installed, int certificates, int) -> std::unique_ptr<WelcomeHandle> {
                ++windows.welcomesMade;
                windows.lastCertificates = certificates;
                windows.lastInstalled = installed;
                return std::make_unique<FakeWelcome>(windows);
            };
        } else {
            s.welcomeWindow = nullptr;
        }
        if (withHome) {
            s.homeWindow = [this](bool) -> std::unique_ptr<HomeWindow> {
                ++windows.homesMade;
                return std::make_unique<FakeHome>(windows);
            };
        } else {
            s.homeWindow = nullptr;
        }
        s.signingWindow = nullptr;
        return s;
    }

    bool logged(const std::string& line) const {
        for (const auto& l : lines) {
            if (l == line) return true;
        }
        return false;
    }
};

}  // namespace shellfakes
