#include "app/AppDelegate.h"

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

#include "app/AboutWindow.h"
#include "app/PellonRequest.h"
#include "app/SingleInstance.h"
#include "app/Updates.h"
#include "pages/PageProcess.h"
#include "ui/AlertPresenter.h"
#include "ui/Brand.h"
#include "ui/FilePanelPresenter.h"
#include "ui/MainMenu.h"
#include "ui/RunLoop.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "platform/Preferences.h"

namespace {

// Seconds between launch and the decision between the welcome and the home window, so that files
// arriving with the launch go straight to a signing run.
constexpr double launchDecisionDelay = 0.3;

// Time the windows and workers get to end once the application is asked to quit; the user sees
// it end within a second whatever a worker is doing.
constexpr std::chrono::milliseconds quitGrace{700};

bool isPDF(const std::filesystem::path& file) {
    return QString::fromStdString(file.extension().string()).toLower() == QLatin1String(".pdf");
}

// An absolute path that leads, through any links, to an existing regular file outside the
// kernel's own trees: no folder, pipe, device or /proc entry.
bool isRegularFile(const std::filesystem::path& file) {
    if (!file.is_absolute()) return false;
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(file, error);
    if (error) return false;
    const std::string text = real.string();
    for (const char* system : {"/proc/", "/sys/", "/dev/"}) {
        if (text.starts_with(system)) return false;
    }
    return std::filesystem::is_regular_file(real, error);
}

}  // namespace

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            // A worker inside a page render that cannot be interrupted would hold the windows'
            // teardown and the thread pools at exit: past this grace the process ends without
            // them. Everything kept (settings, records, logs) is written as it changes, and the
            // home window's frame first thing in shutDown(); a settings write cut short leaves a
            // listed temporary file, which the next start removes.
            std::thread([log = services_.log] {
                std::this_thread::sleep_for(quitGrace);
                if (log) log("Salida sin esperar a un trabajo de páginas que no ha terminado.");
                abandonRuns();
                PageProcess::endAll();
                std::_Exit(0);
            }).detach();
            shutDown();
            // The page processes end with the application, by its own hand: one that took over
            // its renderer may have undone the death signal that would otherwise end it.
            PageProcess::endAll();
            if (runsWorking()) {
                log("Salida con una firma en curso: no se ha terminado.");
                // A run cut short leaves nothing of its own beside the documents.
                abandonRuns();
                std::_Exit(0);
            }
        });
    }
}

AppDelegate::~AppDelegate() { shutDown(); }

void AppDelegate::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    // The home window's frame is kept before anything that may wait: a teardown held past the
    // quitting grace ends the process where it stands.
    if (home) home->saveFrame();
    // Moved out first: a window going may still reach the delegate through its callbacks.
    // The signing window first, its page workers stopped and joined with it; then the others.
    auto panel = std::move(signingPanel);
    panel.reset();
    auto progress = std::move(progressWindow);
    progress.reset();
    auto homeWindow = std::move(home);
    homeWindow.reset();
    auto welcomeWindow = std::move(welcome);
    welcomeWindow.reset();
    about_.reset();
    while (!released_.empty()) {
        auto objects = std::move(released_);
        released_.clear();
        objects.clear();
    }
}

// An owned window is not destroyed inside its own callback: it waits for the next pass here,
// in the delegate, never inside a posted event.
void AppDelegate::releaseLater(std::shared_ptr<void> object) {
    if (!object) return;
    released_.push_back(std::move(object));
    if (shutDown_) {
        collectReleased();
        return;
    }
    if (collectPosted_) return;
    collectPosted_ = true;
    QPointer<AppDelegate> self(this);
    onMainRunLoop(0, [self] {
        if (self) self->collectReleased();
    });
}

void AppDelegate::collectReleased() {
    collectPosted_ = false;
    while (!released_.empty()) {
        auto objects = std::move(released_);
        released_.clear();
        objects.clear();
    }
}

void AppDelegate::log(const std::string& line) const {
    if (services_.log) services_.log(line);
}

// Start-up.

void AppDelegate::applicationWillFinishLaunching() {
    QPointer<AppDelegate> self(this);
    MainMenu::Handlers handlers;
    handlers.application = [self](MenuAction action) {
        if (self) self->perform(action);
    };
    handlers.applicationEnabled = [self](MenuAction action) { return self && self->canPerform(action); };
    handlers.checkForUpdates = [] { Updates::controller().checkForUpdates(); };
    MainMenu::make(std::move(handlers));
}

bool AppDelegate::isInstalledPath(const QString& folder, const QString& home) {
    if (folder.startsWith(QLatin1String("/usr/")) || folder.startsWith(QLatin1String("/opt/"))) return true;
    return !home.isEmpty() && folder.startsWith(home + QStringLiteral("/.local/"));
}

void AppDelegate::applicationDidFinishLaunching() {
    const QString folder = services_.executableFolder ? services_.executableFolder() : QString();
    log("Arranque " + folder.toStdString());
    if (services_.migratePreferences) {
        try {
            services_.migratePreferences();
        } catch (const std::exception& error) {
            log(std::string("No se han podido migrar las preferencias: ") + error.what());
        }
    }
    // The copy is installed when it runs from an installed prefix; the test needs a path ending
    // in a folder separator, so the folder itself counts too.
    const QString home = services_.home ? services_.home() : QString();
    installed = isInstalledPath(folder + QLatin1Char('/'), home);
    quickActionIsNew = false;
    if (installed) {
        if (services_.installQuickAction) quickActionIsNew = services_.installQuickAction();
        if (services_.installCommandLineTool) services_.installCommandLineTool();
    }
    Updates::start(services_.updatesConfigured, services_.log);
    QPointer<AppDelegate> self(this);
    onMainRunLoop(launchDecisionDelay, [self] {
        if (self) self->decideLaunch();
    });
}

void AppDelegate::decideLaunch() {
    if (!pending.empty() || busy) return;
    Defaults& defaults = *services_.defaults;
    if (Preferences::welcomeShown(defaults) && Preferences::formsWelcomeShown(defaults)) {
        showHome();
    } else {
        showWelcome();
    }
}

// Arrival.

void AppDelegate::open(const QStringList& items, std::size_t leftOut) {
    std::vector<std::filesystem::path> plain;
    std::vector<std::filesystem::path> linked;
    QStringList links;
    for (const QString& item : items) {
        // Any "tindra:" text is a link and passes the key check or is ignored; only absolute paths
        // and local file: URLs are files; anything else (a relative path, another scheme) is
        // nothing of ours.
        if (SingleInstance::isLink(item)) {
            links << item;
        } else if (item.startsWith(QLatin1Char('/'))) {
            plain.emplace_back(item.toStdString());
        } else if (const auto path = SingleInstance::localFilePath(item)) {
            plain.emplace_back(path->toStdString());
        }
    }
    for (const QString& link : links) {
        for (auto& file : PellonRequest::files(link, *services_.defaults, services_.log)) {
            linked.push_back(std::move(file));
        }
    }
    std::vector<std::filesystem::path> received = std::move(plain);
    received.insert(received.end(), linked.begin(), linked.end());
    std::string line = "Recibidos " + std::to_string(received.size()) + " ficheros";
    if (busy) line += " (ocupada)";
    log(line);
    add(received, leftOut);
}

// An arrival may bring a generous selection of the open panel or the file manager: its first
// maxArrival files are taken, and the rest is dropped.
void AppDelegate::add(const std::vector<std::filesystem::path>& files, std::size_t leftOut) {
    const std::size_t considered = std::min(files.size(), maxArrival);
    if (files.size() > considered) {
        log("Descartados " + std::to_string(files.size() - considered) + " ficheros: se toman " +
            std::to_string(maxArrival) + " de cada vez");
    }
    std::vector<std::filesystem::path> kept;
    std::size_t odd = 0;
    for (std::size_t i = 0; i < considered; ++i) {
        const auto& file = files[i];
        if (!isPDF(file)) continue;
        if (!isRegularFile(file)) {
            ++odd;
            continue;
        }
        kept.push_back(file);
    }
    if (odd > 0) {
        log("Descartados " + std::to_string(odd) + " nombres de PDF que no son ficheros normales");
    }
    if (kept.empty()) {
        if (!busy && !home && !welcome) terminate();
        return;
    }
    pending.insert(pending.end(), kept.begin(), kept.end());
    pendingLeftOut += leftOut + (files.size() - considered);
    if (services_.filePanels->isOpen()) services_.filePanels->cancel();
    QPointer<AppDelegate> self(this);
    onMainRunLoop(0, [self] {
        if (self) self->processPending();
    });
}

void AppDelegate::chooseFiles() {
    FilePanelPresenter::Options options;
    options.title = QStringLiteral("Elegir los PDF que quieres firmar");
    options.acceptLabel = QStringLiteral("Firmar");
    options.mimeTypes = {QStringLiteral("application/pdf")};
    options.multiple = true;
    // The panel opens where the user last chose files, while that folder exists.
    Defaults& defaults = *services_.defaults;
    if (auto folder = defaults.string(openPanelFolderKey)) {
        std::error_code error;
        if (!folder->empty() && std::filesystem::is_directory(*folder, error))
            options.folder = QString::fromStdString(*folder);
    }
    QWidget* parent = home && home->isVisible() ? home->window() : nullptr;
    if (!parent) bringToFront();
    QPointer<AppDelegate> self(this);
    services_.filePanels->open(
        options, parent, [self](std::optional<std::vector<std::filesystem::path>> chosen) {
            if (!self || !chosen) return;
            if (!chosen->empty()) {
                const std::string folder = chosen->front().parent_path().string();
                if (!folder.empty()) self->services_.defaults->trySet(openPanelFolderKey, folder);
            }
            self->add(*chosen);
        });
}

// Windows.

void AppDelegate::showWelcome() {
    Defaults& defaults = *services_.defaults;
    try {
        Preferences::setWelcomeShown(true, defaults);
        Preferences::setFormsWelcomeShown(true, defaults);
    } catch (const std::exception& error) {
        log(std::string("No se han podido guardar las preferencias: ") + error.what());
    }
    QPointer<AppDelegate> self(this);
    auto closed = [self](std::optional<HomeSection> section) {
        if (!self) return;
        self->releaseLater(std::move(self->welcome));
        if (!self->busy) self->showHome(section);
    };
    if (!welcome) {
        if (services_.welcomeWindow) {
            const int certificates =
                services_.certificates ? static_cast<int>(services_.certificates().size()) : 0;
            welcome = services_.welcomeWindow(installed, certificates, 0);
        }
        if (!welcome) {
            // No window: as if it had closed at once.
            closed(std::nullopt);
            return;
        }
        welcome->onClose = closed;
    }
    welcome->show(0);
}

void AppDelegate::showHome(std::optional<HomeSection> section) {
    if (!home) {
        if (services_.homeWindow) home = services_.homeWindow(quickActionIsNew);
        QPointer<AppDelegate> self(this);
        auto closed = [self] {
            if (!self) return;
            self->releaseLater(std::move(self->home));
            if (!self->busy && self->pending.empty()) self->terminate();
        };
        if (!home) {
            closed();
            return;
        }
        home->onFiles = [self](std::vector<std::filesystem::path> files) {
            if (self) self->add(files);
        };
        home->onChoose = [self] {
            if (self) self->chooseFiles();
        };
        home->onSignAgain = [self](const RecentSignature& item) {
            if (self) self->signAgain(item);
        };
        home->onClose = closed;
    }
    home->show(section);
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (hasVisibleWindows || busy) {
        if (hasVisibleWindows) bringToFront();
        return true;
    }
    showHome();
    return true;
}

void AppDelegate::reopen() {
    bool visible = false;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip) continue;
        if (widget->isVisible() && !widget->isMinimized()) {
            visible = true;
            break;
        }
    }
    applicationShouldHandleReopen(visible);
}

void AppDelegate::signAgain(const RecentSignature& item) {
    if (!item.canSignAgain()) return;
    const auto original = item.originalURL();
    if (!original) return;
    again = item;
    add({*original});
}

QWidget* AppDelegate::aboutWindow() const { return about_.get(); }

void AppDelegate::showAbout() {
    if (!about_) about_ = std::make_unique<AboutWindow>();
    bringToFront(about_.get());
}

bool AppDelegate::canPerform(MenuAction action) const {
    switch (action) {
        case MenuAction::openHelp: return static_cast<bool>(services_.help);
        default: return MenuActions::isApplication(action);
    }
}

void AppDelegate::perform(MenuAction action) {
    switch (action) {
        case MenuAction::openDocument: chooseFiles(); break;
        case MenuAction::showProfile: showHome(HomeSection::profile); break;
        case MenuAction::showSettings: showHome(HomeSection::settings); break;
        case MenuAction::showHomeWindow: showHome(); break;
        case MenuAction::openWebsite: services_.urls->open(Brand::website()); break;
        case MenuAction::showAbout: showAbout(); break;
        case MenuAction::openHelp:
            if (services_.help) services_.help(std::nullopt);
            break;
        case MenuAction::showWelcomeWindow: showWelcome(); break;
        case MenuAction::terminate: terminate(); break;
        default: break;
    }
}

void AppDelegate::terminate() {
    if (shutDown_) return;
    if (services_.quit) services_.quit();
}
