#include "app/Entry.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <algorithm>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/AppHosts.h"
#include "app/CommandLineTool.h"
#include "app/QuickAction.h"
#include "app/SingleInstance.h"
#include "app/Updates.h"
#include "platform/Log.h"
#include "ui/Brand.h"

namespace Entry {

Switch switchIn(const std::vector<std::string>& arguments) {
    auto has = [&arguments](const char* name) {
        return std::find(arguments.begin(), arguments.end(), name) != arguments.end();
    };
    if (has(installSwitch)) return Switch::install;
    if (has(uninstallSwitch)) return Switch::uninstall;
    return Switch::none;
}

bool installSpanishTranslation() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    QLocale::setDefault(spanish);
    auto* translator = new QTranslator(app);
    if (!translator->load(spanish, QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

int run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    switch (switchIn(arguments)) {
        case Switch::install:
            QuickAction::install();
            CommandLineTool::install();
            return 0;
        case Switch::uninstall:
            QuickAction::uninstall();
            CommandLineTool::uninstall();
            return 0;
        case Switch::none: break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(Brand::name);
    QApplication::setApplicationVersion(QStringLiteral(TINDRA_VERSION));
    QApplication::setDesktopFileName(Brand::bundleIdentifier);
    QApplication::setQuitOnLastWindowClosed(false);
    Brand::initResources();
    QApplication::setWindowIcon(QIcon::fromTheme(Brand::bundleIdentifier, QIcon(QStringLiteral(":/tindra/tindra.svg"))));
    installSpanishTranslation();

    // Another copy running: hand it the arguments and leave.
    QStringList handed = QApplication::arguments();
    if (!handed.isEmpty()) handed.removeFirst();
    QString refused;
    SingleInstance instance(SingleInstance::defaultSocketPath(&refused));
    const auto outcome = instance.start(SingleInstance::messageFor(handed, QDir::currentPath()));
    if (outcome == SingleInstance::Outcome::handedOver) return 0;
    if (outcome == SingleInstance::Outcome::unanswered) {
        std::fprintf(stderr, "%s\n", SingleInstance::unansweredSentence);
        Log::write(SingleInstance::unansweredSentence);
        return 1;
    }

    AppServices services = AppServices::standard();
    Updates::setController(std::make_unique<PackageManagerUpdates>(services.alerts));
    AppDelegate delegate(services);
    AppHosts hosts(delegate);
    hosts.install();
    if (outcome == SingleInstance::Outcome::failed) {
        if (!refused.isEmpty()) services.log(refused.toStdString());
        services.log("No se ha podido comprobar si Tindra ya está en marcha: esta copia sigue por su cuenta.");
    }
    instance.onOpen = [&delegate](const QStringList& items) { delegate.open(items); };
    instance.onReopen = [&delegate] { delegate.reopen(); };

    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    const QStringList items = SingleInstance::itemsFor(handed, QDir::currentPath());
    if (!items.isEmpty()) delegate.open(items);
    return QApplication::exec();
}

}  // namespace Entry
