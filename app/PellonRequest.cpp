#include "app/PellonRequest.h"

#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <system_error>

#include "platform/Defaults.h"

namespace PellonRequest {

namespace {

// The scheme and host as written: QUrl lower-cases both, and they must match with case counting.
bool hasExactSchemeAndHost(const QString& link) {
    static const QString prefix = QStringLiteral("tindra://firmar");
    if (!link.startsWith(prefix)) return false;
    if (link.size() == prefix.size()) return true;
    const QChar next = link.at(prefix.size());
    return next == QLatin1Char('/') || next == QLatin1Char('?') || next == QLatin1Char('#');
}

}  // namespace

bool isValidKey(const std::string& key) {
    if (key.size() != 36) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char c = key[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

std::string prepareKey(Defaults& defaults) {
    if (auto stored = defaults.string(keyName); stored && isValidKey(*stored)) return *stored;
    const std::string key = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
    defaults.setString(keyName, key);
    return key;
}

std::vector<std::filesystem::path> files(const QString& link, const Defaults& defaults,
                                         const LogLine& log) {
    std::vector<std::filesystem::path> result;
    if (!hasExactSchemeAndHost(link)) return result;
    const QUrl url(link, QUrl::TolerantMode);
    if (!url.isValid() || !url.hasQuery()) return result;

    auto refuse = [&log] {
        if (log) log(wrongKeyLine);
    };
    const auto stored = defaults.string(keyName);
    if (!stored || !isValidKey(*stored)) {
        refuse();
        return result;
    }
    const QUrlQuery query(url);
    const auto items = query.queryItems(QUrl::FullyDecoded);
    if (items.isEmpty()) {
        refuse();
        return result;
    }
    const QString expected = QString::fromStdString(*stored);
    bool keyFound = false;
    for (const auto& [name, value] : items) {
        if (name != QLatin1String("clave")) continue;
        keyFound = !value.isEmpty() && value == expected;
        break;  // only the first "clave" counts
    }
    if (!keyFound) {
        refuse();
        return result;
    }
    for (const auto& [name, value] : items) {
        if (name != QLatin1String("ruta") || value.isEmpty()) continue;
        const std::filesystem::path path(value.toStdString());
        // A relative path would resolve against the running instance's folder, not the sender's.
        if (!path.is_absolute()) continue;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) result.push_back(path);
    }
    return result;
}

}  // namespace PellonRequest
