#include "app/AppServices.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QWidget>

#include "app/CommandLineTool.h"
#include "app/Help.h"
#include "app/HomeWindow.h"
#include "app/QuickAction.h"
#include "ui/AlertPresenter.h"
#include "ui/Brand.h"
#include "ui/FilePanelPresenter.h"
#include "ui/MainMenu.h"
#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "profilepane/ProfilePane.h"
#include "settings/SettingsPane.h"
#include "settings/welcome/WelcomeWindow.h"

namespace {

// The options pane as a section of the home window.
class SettingsSection : public SectionPane {
public:
    QWidget* view() override { return pane_.view(); }
    void activate() override { pane_.activate(); }

private:
    SettingsPane pane_;
};

// The welcome window as the application delegate holds it.
class WelcomeAdapter : public WelcomeHandle {
public:
    WelcomeAdapter(bool installed, int certificates, int startAt)
        : window_(installed, certificates, startAt) {
        // The delegate may drop this adapter inside the call; the window lets itself go later.
        window_.onClose = [this](std::optional<HomeSection> section) {
            if (auto closed = onClose) closed(section);
        };
        // The window shows no menu bar, but the application's keys work in it as everywhere:
        // "Salir de Tindra", "Firmar PDF…", "Opciones…", the home window, the help and "Cerrar".
        if (QWidget* window = window_.window()) {
            for (MenuAction action : {MenuAction::terminate, MenuAction::openDocument,
                                      MenuAction::showSettings, MenuAction::showHomeWindow,
                                      MenuAction::openHelp, MenuAction::performClose}) {
                if (QAction* item = MainMenu::action(action)) window->addAction(item);
            }
        }
    }
    void show(std::optional<int> page) override { window_.show(page); }

private:
    WelcomeWindow window_;
};

}  // namespace

AppServices AppServices::standard() {
    AppServices s;
    s.defaults = &Defaults::standard();
    s.log = [](std::string_view line) { Log::write(line); };
    s.alerts = &AlertPresenter::system();
    s.filePanels = &FilePanelPresenter::system();
    s.urls = &URLPresenter::system();
    s.reveal = &RevealPresenter::system();
    s.certificates = [] { return Certificate::signingCertificates(); };
    s.executableFolder = [] {
        const QFileInfo executable(QCoreApplication::applicationFilePath());
        const QString canonical = executable.canonicalPath();
        return canonical.isEmpty() ? executable.absolutePath() : canonical;
    };
    s.home = [] { return QString::fromStdString(Paths::home().string()); };
    s.migratePreferences = [] { Preferences::migrateFromPreviousName(); };
    s.installQuickAction = [] { return QuickAction::install(); };
    s.installCommandLineTool = [] { CommandLineTool::install(); };
    s.updatesConfigured = false;
    // The loop ends on its next pass (also when asked before it runs). Not Qt's quit, which first
    // asks every window to close and gives up when one refuses, as the progress window of a run
    // does: the delegate's shutDown() closes the windows itself.
    s.quit = [] {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        }
    };
    s.welcomeWindow = [](bool installed, int certificates, int startAt) -> std::unique_ptr<WelcomeHandle> {
        return std::make_unique<WelcomeAdapter>(installed, certificates, startAt);
    };
    s.homeWindow = [](bool showFinderHint) { return std::make_unique<HomeWindow>(showFinderHint); };
    // "Mis datos": the signing certificates, the Secret Service and the system alerts.
    s.profilePane = []() -> std::unique_ptr<SectionPane> { return std::make_unique<ProfilePane>(); };
    s.settingsPane = [] { return std::make_unique<SettingsSection>(); };
    // The compiled-in help page (the online help when it is missing).
    s.help = [](std::optional<std::string> section) { Help::show(std::move(section)); };
    s.helpPopover = [](const std::string& section, QWidget* from) { Help::pop(section, from); };
    // --- Signing run ---
    s.signingWindow = SigningWindow::standardFactory();
    // --- end of signing run ---
    return s;
}
