#include "PellonLink.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
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
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    QStringList result;
    for (const QString& argument : arguments) {
        if (argument.isEmpty()) continue;
        QString path = argument;
        // A URI (Nemo hands file: URIs over) unless the working folder holds a file of that
        // name, such as "acta:2024.pdf"; only local file: URIs name a file here.
        if (!argument.startsWith(QLatin1Char('/')) && scheme.match(argument).hasMatch() &&
            !QFileInfo::exists(QDir(workingFolder).absoluteFilePath(argument))) {
            const QUrl url(argument);
            if (!url.isValid() || !url.isLocalFile()) continue;
            const QString host = url.host();
            if (!host.isEmpty() && host != QLatin1String("localhost")) continue;
            path = url.toLocalFile();
            if (!path.startsWith(QLatin1Char('/'))) continue;
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
