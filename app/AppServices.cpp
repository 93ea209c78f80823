#include "app/AppServices.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>

#include "app/CommandLineTool.h"
#include "app/Help.h"
#include "app/HomeWindow.h"
#include "app/QuickAction.h"
#include "app/ui/AlertPresenter.h"
#include "app/ui/Brand.h"
#include "app/ui/FilePanelPresenter.h"
#include "app/ui/RevealPresenter.h"
#include "app/ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"

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
    s.quit = [] {
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
        }
    };
    s.homeWindow = [](bool showFinderHint) { return std::make_unique<HomeWindow>(showFinderHint); };
    // The compiled-in help page (the online help when it is missing).
    s.help = [](std::optional<std::string> section) { Help::show(std::move(section)); };
    s.helpPopover = [](const std::string& section, QWidget* from) { Help::pop(section, from); };
    // --- Signing run ---
    s.signingWindow = SigningWindow::standardFactory();
    // --- end of signing run ---
    return s;
}
