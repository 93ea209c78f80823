#pragma once
// The application delegate's collaborators: the settings and log, presenters, the windows it
// makes and the installers it runs at launch. standard() gives the real ones; tests replace what
// they fake. An empty window factory acts as a window that closes at once.

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/SectionPane.h"
#include "app/WelcomeHandle.h"
#include "signing/Certificate.h"
// --- Signing run (includes) ---
#include <chrono>

#include "app/KeyPasswordPresenter.h"
#include "app/ProgressWindow.h"
#include "app/SigningWindow.h"
#include "profile/SavedFact.h"
#include "signing/SigningEngine.h"
// --- end of signing run (includes) ---

class AlertPresenter;
class Defaults;
class FilePanelPresenter;
class HomeWindow;
class QWidget;
class RevealPresenter;
class URLPresenter;

struct AppServices {
    // The user defaults (Preferences, "pellonKey"). Never null.
    Defaults* defaults = nullptr;
    // The application's log (Log::write).
    std::function<void(std::string_view)> log;

    // Presenters. Never null.
    AlertPresenter* alerts = nullptr;
    FilePanelPresenter* filePanels = nullptr;
    URLPresenter* urls = nullptr;
    RevealPresenter* reveal = nullptr;

    // The signing certificates of the certificate store (Certificate::signingCertificates()).
    std::function<std::vector<Certificate>()> certificates;

    // The folder of the running executable, canonical ("Arranque " + it; the installed test).
    std::function<QString()> executableFolder;
    // The user's home folder (Paths::home()).
    std::function<QString()> home;
    // Launch steps: the preferences migration, the installers of an installed copy (the result of
    // the extension installation: this copy had not been registered before), and whether the
    // updater is configured (never, in this build).
    std::function<void()> migratePreferences;
    std::function<bool()> installQuickAction;
    std::function<void()> installCommandLineTool;
    bool updatesConfigured = false;

    // Ends the application (a queued quit, so it also works before the event loop runs).
    std::function<void()> quit;

    // Windows and panes.
    std::function<std::unique_ptr<WelcomeHandle>(bool installed, int certificates, int startAt)>
        welcomeWindow;
    std::function<std::unique_ptr<HomeWindow>(bool showFinderHint)> homeWindow;
    std::function<std::unique_ptr<SectionPane>()> profilePane;
    std::function<std::unique_ptr<SectionPane>()> settingsPane;
    // The help window at a section (nothing: the start of the page).
    std::function<void(std::optional<std::string>)> help;
    // The help at a section in a popover beside a control (empty: the help window instead).
    std::function<void(const std::string& section, QWidget* from)> helpPopover;

    // --- Signing run ---
    // The signing window of a run.
    SigningWindow::Factory signingWindow;
    // The engine of a run; nothing when AutoFirma is asked for and not installed. Empty: the
    // preference "engine" of `defaults` over AutoFirma::locate() and the own engine, whose key
    // passwords are asked through `keyPasswords`.
    std::function<AnySigningEngine()> engine;
    // The own engine's password questions (null: the password dialog).
    std::shared_ptr<KeyPasswordPresenter> keyPasswords;
    // Writes form values into PDF bytes; called on the run's worker thread (empty: FormFiller).
    std::function<std::string(std::string, const std::vector<FormFill>&)> fill;
    // Saves the facts to remember (empty: ProfileStore::save over the Secret Service); throws
    // with a Spanish sentence when it cannot.
    std::function<void(const std::vector<SavedFact>&)> saveFacts;
    // Where prepared inputs are written (empty: the application's private folder,
    // TemporaryFiles::preparedFolder()).
    std::filesystem::path temporaryFolder;
    // How long the progress window shows a result before closing itself.
    std::chrono::milliseconds progressAutoClose = ProgressWindow::defaultAutoClose;
    // --- end of signing run ---

    // The real collaborators.
    static AppServices standard();
};
