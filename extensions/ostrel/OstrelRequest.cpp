#include "OstrelRequest.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUrl>

#include "platform/AtomicFile.h"
#include "platform/PrivateFolder.h"

namespace OstrelRequest {

std::optional<QString> localPath(const QString& argument, const QString& workingFolder) {
    if (argument.isEmpty()) return std::nullopt;
    if (argument.startsWith(QLatin1Char('/'))) return QDir::cleanPath(argument);
    const QString relative = QDir(workingFolder).absoluteFilePath(argument);
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    // A name such as "acta:2024.pdf" in the shown folder is a file, not a URI.
    if (scheme.match(argument).hasMatch() && !QFileInfo::exists(relative)) {
        const QUrl url(argument);
        if (!url.isValid() || !url.isLocalFile()) return std::nullopt;
        const QString host = url.host();
        if (!host.isEmpty() && host != QLatin1String("localhost")) return std::nullopt;
        const QString path = url.toLocalFile();
        if (!path.startsWith(QLatin1Char('/'))) return std::nullopt;
        return QDir::cleanPath(path);
    }
    return QDir::cleanPath(relative);
}

QStringList types(const QString& path) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path);
    if (!type.isValid()) return {};
    QStringList result{type.name()};
    result << type.allAncestors();
    return result;
}

QString list(const QStringList& items) {
    QStringList quoted;
    quoted.reserve(items.size());
    for (QString item : items) {
        item.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        item.replace(QLatin1Char('"'), QStringLiteral("\\\""));
        quoted << QLatin1Char('"') + item + QLatin1Char('"');
    }
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

void Log::note(const QString& message) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    lines_ << stamp + QStringLiteral(" +0000 ") + message;
    try {
        // Full paths of the user's documents: owner only, in the application's private folder.
        PrivateFolder::make(file_.parent_path());
        AtomicFile::write(file_, lines_.join(QLatin1Char('\n')).toStdString(), 0600);
    } catch (const std::exception&) {
        // The log is a help for the curious; a request never fails because of it.
    }
}

QStringList run(const QStringList& arguments, const QString& workingFolder,
                const std::filesystem::path& application, Log& log, const Launcher& launch) {
    QStringList accepted;
    QStringList attachments;
    for (const QString& argument : arguments) {
        const auto path = localPath(argument, workingFolder);
        attachments << (path ? list(types(*path)) : list({}));
        if (path) accepted << *path;
    }
    log.note(QStringLiteral("Adjuntos: [") + attachments.join(QStringLiteral(", ")) + QLatin1Char(']'));
    log.note(QStringLiteral("Ficheros: ") + list(accepted) + QStringLiteral(" → ") +
             QString::fromStdString(application.string()));
    if (accepted.isEmpty()) return accepted;

    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(accepted.size()));
    for (const QString& path : accepted) paths.push_back(path.toStdString());
    if (const auto failure = launch(application, paths)) {
        log.note(QStringLiteral("Error al abrir la app: ") + QString::fromStdString(*failure));
    } else {
        log.note(QStringLiteral("App abierta"));
    }
    return accepted;
}

}  // namespace OstrelRequest
