#pragma once
// One running application per user. The first process listens on a local socket,
// tindra-<uid>.sock in a folder only this user may enter (see defaultSocketPath), guarded by a
// lock file beside it so that two simultaneous starts agree on who listens; either end talks only
// to a peer of the same user. A later process hands over its arguments in one
// message and exits:
//
//   4-byte big-endian length, then a UTF-8 JSON object:
//   {"open": ["/abs/a.pdf", "tindra://firmar?…"]}  or  {"reopen": true}
//
// and waits for a one-byte answer. Messages over 1 MiB, malformed ones and connections that stall
// are dropped.

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // A message larger than this is no hand-over of ours.
    static constexpr qint64 maxMessage = qint64{1} << 20;
    // Items one message carries: as many files as one arrival takes, the first of a selection.
    static constexpr qsizetype maxItems = 1000;
    // What a later start says, on standard error and in the log, when the first process does not
    // answer.
    static constexpr char unansweredSentence[] =
        "Tindra ya está en marcha, pero no responde: ciérrala y vuelve a intentarlo.";
    // How long a sender waits for a starting first process, and for its answer.
    static constexpr int waitMilliseconds = 5000;
    // How long the listener waits for a connection's message before dropping it.
    static constexpr int readMilliseconds = 10000;
    // Connections read at the same time; more wait in the server's queue.
    static constexpr int maxConnections = 16;

    // The process's socket path: in $XDG_RUNTIME_DIR when that is this user's private folder,
    // else in $XDG_STATE_HOME/tindra/run (made with mode 0700). Empty, with the reason in
    // `problem`, when that folder is not private.
    static QString defaultSocketPath(QString* problem = nullptr);
    // Makes `folder`, and each missing folder on the way, with mode 0700, or checks an existing
    // one: a folder (not a link) of this user that group and others cannot enter. Returns why it
    // cannot be used, as a sentence; empty when it can. An existing folder is never changed.
    static QString usePrivateFolder(const std::filesystem::path& folder);

    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Outcome { listening, handedOver, unanswered, failed };
    // Hands `message` to a running first process, or becomes the first: removes a stale socket
    // and listens. `unanswered` when a first process is alive but did not take the message
    // within waitMilliseconds (the caller says so and ends); `failed` when there is no socket
    // path, no lock can be made or no socket listened (the caller then runs on its own).
    Outcome start(const QByteArray& message);

    // Requests received while listening (main thread): the items to open, and how many more the
    // sender left out.
    std::function<void(QStringList, qsizetype)> onOpen;
    std::function<void()> onReopen;

    const QString& socketPath() const { return socketPath_; }

    // The message for a process's arguments (without the program): {"reopen": true} when there
    // are none (options beginning with "--" are not counted); else {"open": [...]} with paths made
    // absolute against `workingFolder` (a name such as "acta:2024.pdf" that exists there is a
    // path), local file: URLs as their paths, and the rest as they are: every text that starts
    // with the scheme "tindra:" (any letter case, whatever follows) and other URLs. It carries the
    // first maxItems items and never exceeds maxMessage: the items past either bound are left
    // out, and their number is put in `leftOut` and, when not 0, in the message ("leftOut").
    static QByteArray messageFor(const QStringList& arguments, const QString& workingFolder,
                                 qsizetype* leftOut = nullptr);
    // The items of messageFor's "open" list.
    static QStringList itemsFor(const QStringList& arguments, const QString& workingFolder);
    // A text that starts with the scheme "tindra:", in any letter case: a link of ours, to be
    // checked with its key, never a file.
    static bool isLink(const QString& item);
    // The absolute path of a file: URL on this computer (no host, or "localhost"), cleaned of dot
    // segments; nothing for any other text.
    static std::optional<QString> localFilePath(const QString& item);
    // Frames a JSON text with its length.
    static QByteArray frame(const QByteArray& json);

    // Sends one framed message to a listening process and waits for its answer; true when
    // answered.
    static bool send(const QString& socketPath, const QByteArray& message, int timeoutMs);

private:
    bool listen();
    void accept();
    void read(QLocalSocket* socket);

    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    QPointer<QLocalServer> server_;
    int connections_ = 0;
};
