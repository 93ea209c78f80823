#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/Paths.h"
#include "platform/PrivateFolder.h"
#include "platform/SystemError.h"

namespace {

QString quoted(const std::filesystem::path& path) {
    return QStringLiteral("«%1»").arg(QString::fromStdString(path.string()));
}

// A folder, not a link to one, that belongs to this user and that nobody else may enter.
bool isPrivate(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Whether the peer of a connected local socket runs as this user.
bool peerIsThisUser(qintptr descriptor) {
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
        return false;
    }
    return credentials.uid == ::geteuid();
}

}  // namespace

QString SingleInstance::usePrivateFolder(const std::filesystem::path& folder) {
    const QString unused = QStringLiteral(" Tindra no la usa para comunicarse con otra copia suya.");
    if (!folder.is_absolute()) return QStringLiteral("La carpeta %1 no es una ruta absoluta.").arg(quoted(folder)) + unused;
    // Missing folders on the way are made for this user alone; existing ones stay as they are.
    std::filesystem::path failed;
    if (const int error = PrivateFolder::createMissing(folder, &failed); error != 0) {
        return QStringLiteral("No se ha podido crear la carpeta %1: %2.")
            .arg(quoted(failed), QString::fromStdString(SystemError::describe(error)));
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return QStringLiteral("%1 no es una carpeta.").arg(quoted(folder)) + unused;
    }
    if (!isPrivate(info)) {
        return QStringLiteral("La carpeta %1 no es privada: es de otro usuario o la pueden abrir otros.")
                   .arg(quoted(folder)) + unused;
    }
    return {};
}

QString SingleInstance::defaultSocketPath(QString* problem) {
    const QString name = QStringLiteral("tindra-%1.sock").arg(::getuid());
    // $XDG_RUNTIME_DIR when it is what it should be: this user's own folder.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        struct stat info {};
        if (::lstat(runtime, &info) == 0 && isPrivate(info)) {
            return QDir(QString::fromLocal8Bit(runtime)).filePath(name);
        }
    }
    // Never a name in the shared temporary folder, where another user could be there first.
    const std::filesystem::path folder = Paths::stateHome() / "tindra" / "run";
    const QString refused = usePrivateFolder(folder);
    if (!refused.isEmpty()) {
        if (problem) *problem = refused;
        return {};
    }
    return QDir(QString::fromStdString(folder.string())).filePath(name);
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
        delete server_.data();
    }
    if (lock_) lock_->unlock();
}

namespace {

// The scheme at the start of a text, lower-cased; empty when it has none.
QString schemeOf(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

}  // namespace

bool SingleInstance::isLink(const QString& item) { return schemeOf(item) == QLatin1String("tindra"); }

std::optional<QString> SingleInstance::localFilePath(const QString& item) {
    if (schemeOf(item) != QLatin1String("file")) return std::nullopt;
    const QUrl url(item);
    if (!url.isValid()) return std::nullopt;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return std::nullopt;
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(QLatin1Char('/'))) return std::nullopt;
    return QDir::cleanPath(path);
}

QStringList SingleInstance::itemsFor(const QStringList& arguments, const QString& workingFolder) {
    QStringList items;
    const QDir base(workingFolder);
    for (const QString& argument : arguments) {
        // Options are not files ("--Install-Quick-Action" with other letter case, say).
        if (argument.isEmpty() || argument.startsWith(QLatin1String("--"))) continue;
        const QString scheme = schemeOf(argument);
        // Links go as they are: "tindra:x/../../a.pdf" is no relative path.
        if (scheme == QLatin1String("tindra")) {
            items << argument;
            continue;
        }
        if (scheme == QLatin1String("file")) {
            items << localFilePath(argument).value_or(argument);
            continue;
        }
        const QString path = QDir::cleanPath(base.absoluteFilePath(argument));
        if (!scheme.isEmpty() && !argument.startsWith(QLatin1Char('/')) && !QFileInfo::exists(path)) {
            items << argument;  // another URL: the application ignores it
            continue;
        }
        items << path;
    }
    return items;
}

QByteArray SingleInstance::messageFor(const QStringList& arguments, const QString& workingFolder,
                                      qsizetype* leftOut) {
    if (leftOut) *leftOut = 0;
    QJsonObject object;
    const QStringList items = itemsFor(arguments, workingFolder);
    if (items.isEmpty()) {
        object.insert(QStringLiteral("reopen"), true);
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }
    // The items that fit, in order: each one's encoded text and the comma before it counted
    // against the room that {"leftOut":N,"open":[]} leaves, N no larger than the items' count.
    const QByteArray frameOnly =
        QJsonDocument(QJsonObject{{QStringLiteral("leftOut"), items.size()},
                                  {QStringLiteral("open"), QJsonArray()}})
            .toJson(QJsonDocument::Compact);
    qint64 length = frameOnly.size();
    QJsonArray kept;
    for (const QString& item : items) {
        if (kept.size() == maxItems) break;
        const qint64 encoded = QJsonDocument(QJsonArray{item}).toJson(QJsonDocument::Compact).size() - 2;
        const qint64 added = encoded + (kept.isEmpty() ? 0 : 1);
        if (length + added > maxMessage) break;
        length += added;
        kept.append(item);
    }
    const qsizetype left = items.size() - kept.size();
    if (leftOut) *leftOut = left;
    object.insert(QStringLiteral("open"), kept);
    if (left > 0) object.insert(QStringLiteral("leftOut"), left);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray SingleInstance::frame(const QByteArray& json) {
    QByteArray framed(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(json.size()), framed.data());
    return framed + json;
}

bool SingleInstance::send(const QString& socketPath, const QByteArray& message, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        return false;
    }
    // Only a listener of this same user gets the message.
    if (!peerIsThisUser(socket.socketDescriptor())) return false;
    socket.write(frame(message));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            return false;
        }
    }
    while (socket.bytesAvailable() < 1) {
        if (deadline.hasExpired()) return false;
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            return false;
        }
    }
    socket.disconnectFromServer();
    return true;
}

SingleInstance::Outcome SingleInstance::start(const QByteArray& message) {
    if (socketPath_.isEmpty()) return Outcome::failed;
    lock_ = std::make_unique<QLockFile>(socketPath_ + QStringLiteral(".lock"));
    // The lock is held by the first process for its whole life: it is never stale by age, only
    // when its process is gone.
    lock_->setStaleLockTime(0);
    QDeadlineTimer deadline(waitMilliseconds);
    while (true) {
        if (lock_->tryLock(0)) {
            return listen() ? Outcome::listening : Outcome::failed;
        }
        // No lock can be made here (a folder we may not write, say): there is nobody to ask.
        if (lock_->error() != QLockFile::LockFailedError) {
            lock_.reset();
            return Outcome::failed;
        }
        // Someone alive holds the lock: a running first process, or one that is starting. One
        // that died lets go of it, and the next pass takes over. A message once written waits
        // for its answer to the end rather than going again: a slow first process would open
        // the same files twice.
        if (send(socketPath_, message, static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            lock_.reset();
            return Outcome::handedOver;
        }
        if (deadline.hasExpired()) {
            lock_.reset();
            return Outcome::unanswered;
        }
        QThread::msleep(50);
    }
}

bool SingleInstance::listen() {
    // A socket left behind by a process that was killed.
    QLocalServer::removeServer(socketPath_);
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    server->setMaxPendingConnections(64);
    if (!server->listen(socketPath_)) {
        delete server;
        return false;
    }
    server_ = server;
    connect(server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept() {
    while (server_ && server_->hasPendingConnections() && connections_ < maxConnections) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (!socket) break;
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++connections_;
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        timer->start(readMilliseconds);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this] {
            --connections_;
            // Connections that waited for a free place.
            QTimer::singleShot(0, this, &SingleInstance::accept);
        });
        if (socket->bytesAvailable() > 0) read(socket);
    }
}

void SingleInstance::read(QLocalSocket* socket) {
    if (socket->property("tindraDone").toBool()) return;
    if (socket->bytesAvailable() < 4) return;
    uchar header[4];
    socket->peek(reinterpret_cast<char*>(header), 4);
    const quint32 length = qFromBigEndian<quint32>(header);
    if (length > static_cast<quint64>(maxMessage)) {
        socket->setProperty("tindraDone", true);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < 4 + static_cast<qint64>(length)) return;
    socket->read(4);
    const QByteArray json = socket->read(length);
    socket->setProperty("tindraDone", true);
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const QJsonObject object = document.object();
    const QJsonValue open = object.value(QStringLiteral("open"));
    const QJsonValue reopen = object.value(QStringLiteral("reopen"));
    QStringList items;
    bool valid = false;
    if (open.isArray()) {
        valid = true;
        for (const QJsonValue& item : open.toArray()) {
            if (!item.isString()) {
                valid = false;
                break;
            }
            items << item.toString();
        }
    } else if (reopen.isBool() && reopen.toBool()) {
        valid = true;
    }
    if (!valid) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // How many the sender left out: only told to the user, so anything but a plausible count is
    // taken as none.
    qsizetype leftOut = 0;
    const qint64 left = object.value(QStringLiteral("leftOut")).toInteger(0);
    if (left > 0 && left <= std::numeric_limits<int>::max()) leftOut = static_cast<qsizetype>(left);
    socket->write("1", 1);
    socket->flush();
    socket->disconnectFromServer();
    // The request is handled after this slot returns.
    const bool isOpen = open.isArray();
    QTimer::singleShot(0, this, [this, isOpen, items, leftOut] {
        if (isOpen) {
            if (onOpen) onOpen(items, leftOut);
        } else if (onReopen) {
            onReopen();
        }
    });
}
