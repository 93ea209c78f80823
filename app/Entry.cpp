#include "app/Entry.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringDecoder>
#include <QTranslator>
#include <QUrl>

#include <algorithm>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/AppHosts.h"
#include "app/CommandLineTool.h"
#include "app/QuickAction.h"
#include "app/SingleInstance.h"
#include "app/Updates.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/TemporaryFiles.h"
#include "ui/Brand.h"
#include "ui/PasteGuard.h"
#include "pages/PageProcess.h"

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

std::optional<QString> argumentText(const QByteArray& raw) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(raw);
    if (utf8.hasError()) return std::nullopt;
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        // The path a file: URL names, its escapes decoded as bytes.
        const QByteArray path = QByteArray::fromPercentEncoding(QUrl(text).path(QUrl::FullyEncoded).toLatin1());
        QStringDecoder pathDecoder(QStringDecoder::Utf8);
        const QString decoded = pathDecoder.decode(path);
        if (pathDecoder.hasError() || decoded.isNull()) return std::nullopt;
    }
    return text;
}

QString notUTF8Sentence(const QByteArray& raw) {
    return QStringLiteral("No se puede abrir «%1»: su nombre no está escrito en UTF-8. Cámbiale el nombre y "
                          "vuelve a intentarlo.")
        .arg(QString::fromUtf8(raw));
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
    PasteGuard::install();

    // The arguments as the process got them (Qt's own options taken out by the application
    // object). A name that is not UTF-8 cannot travel through the application's texts: it is
    // refused here, and when nothing else was asked for, the process ends.
    QStringList handed;
    bool refusedNames = false;
    for (int i = 1; i < argc; ++i) {
        if (const auto text = argumentText(QByteArray(argv[i]))) {
            handed << *text;
        } else {
            const QString sentence = notUTF8Sentence(QByteArray(argv[i]));
            std::fprintf(stderr, "%s\n", sentence.toUtf8().constData());
            Log::write(sentence.toStdString());
            refusedNames = true;
        }
    }
    if (refusedNames && SingleInstance::itemsFor(handed, QDir::currentPath()).isEmpty()) return 1;

    // Another copy running: hand it the arguments and leave.
    QString refused;
    SingleInstance instance(SingleInstance::defaultSocketPath(&refused));
    qsizetype leftOut = 0;
    const QByteArray message = SingleInstance::messageFor(handed, QDir::currentPath(), &leftOut);
    const auto outcome = instance.start(message);
    if (outcome == SingleInstance::Outcome::handedOver) {
        // The running copy got the first of the selection, as many as one arrival takes.
        if (leftOut > 0) {
            const qsizetype sent = SingleInstance::itemsFor(handed, QDir::currentPath()).size() - leftOut;
            Log::write("Descartados " + std::to_string(leftOut) + " ficheros: se toman " + std::to_string(sent) +
                       " de cada vez");
        }
        return 0;
    }
    if (outcome == SingleInstance::Outcome::unanswered) {
        std::fprintf(stderr, "%s\n", SingleInstance::unansweredSentence);
        Log::write(SingleInstance::unansweredSentence);
        return 1;
    }

    // The copy that keeps the list of temporary files removes what a copy killed half-way left.
    if (TemporaryFiles::keep(TemporaryFiles::listFile(), TemporaryFiles::preparedFolder())) {
        Defaults::removeStrayWrites(Paths::defaultsFile());
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
    instance.onOpen = [&delegate](const QStringList& items, qsizetype leftOut) {
        delegate.open(items, static_cast<std::size_t>(leftOut));
    };
    instance.onReopen = [&delegate] { delegate.reopen(); };

    // The page processes start in the background while the first window comes up.
    PageProcess::startAhead();
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    const QStringList items = SingleInstance::itemsFor(handed, QDir::currentPath());
    if (!items.isEmpty()) delegate.open(items);
    const int status = QApplication::exec();
    PageProcess::endAll();
    return status;
}

}  // namespace Entry
