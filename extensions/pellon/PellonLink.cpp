#include "PellonLink.h"

#include <QDir>
#include <QUrlQuery>

namespace PellonLink {

namespace {

// The path extension: what follows the last dot of the last component, unless that dot starts
// the name (".pdf" is a hidden file without extension).
QString extension(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) return {};
    return name.mid(dot + 1);
}

}  // namespace

QStringList selectedPDFs(const QStringList& arguments, const QString& workingFolder) {
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (!url.isLocalFile()) continue;
            path = url.toLocalFile();
        }
        if (!path.startsWith(QLatin1Char('/'))) path = QDir(workingFolder).absoluteFilePath(path);
        path = QDir::cleanPath(path);
        if (extension(path).toLower() == QLatin1String("pdf")) result << path;
    }
    return result;
}

QUrl link(const QString& key, const QStringList& paths) {
    // QUrlQuery takes "%41" in a value as an encoded "A"; a file name may hold such text, so every
    // percent sign goes in encoded and comes back as itself.
    auto literal = [](QString value) { return value.replace(QLatin1Char('%'), QStringLiteral("%25")); };
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("clave"), literal(key));
    for (const QString& path : paths) query.addQueryItem(QStringLiteral("ruta"), literal(path));
    QUrl url;
    url.setScheme(QStringLiteral("tindra"));
    url.setHost(QStringLiteral("firmar"));
    url.setQuery(query);
    return url;
}

}  // namespace PellonLink
