// One running application per user, with real processes: the executable hands its arguments to
// the first process (here: a listener in this test, or a first `tindra`) and exits.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTimer>

#include "app/PellonRequest.h"
#include "app/SingleInstance.h"
#include "platform/Defaults.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

QString tindraPath() {
    return QDir::cleanPath(QString::fromUtf8(TINDRA_TOOLS_DIR) + QStringLiteral("/../../app/main/tindra"));
}

// A user of its own: home, runtime, configuration and state folders.
struct User {
    testutil::TempDir root;
    fs::path home = root / "home";
    fs::path runtime = root / "run";
    fs::path work = root / "home" / "Documentos";
    User() {
        for (const auto& dir : {home, runtime, work, root / "config", root / "state", root / "data"}) {
            fs::create_directories(dir);
        }
        ::chmod(runtime.c_str(), 0700);
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString((root / "config").string()));
        env.insert(QStringLiteral("XDG_STATE_HOME"), QString::fromStdString((root / "state").string()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString((root / "data").string()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
    QString socket() const {
        return QString::fromStdString((runtime / ("tindra-" + std::to_string(::getuid()) + ".sock")).string());
    }
    fs::path logFile() const { return root / "state" / "tindra" / "Tindra.log"; }
    std::string log() const { return fs::exists(logFile()) ? testutil::readFile(logFile()) : std::string(); }
    int count(const std::string& text) const {
        const std::string all = log();
        int n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
};

// A child `tindra`, killed when the test leaves.
struct Child {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    Child(const User& user, const QStringList& arguments)
        : Child(user.environment(), QString::fromStdString(user.work.string()), tindraPath(), arguments) {}
    // Any program, its standard error kept for errors().
    Child(const QProcessEnvironment& environment, const QString& folder, const QString& program,
          const QStringList& arguments) {
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(folder);
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(program, arguments);
        process->waitForStarted(5000);
    }
    std::string errors() const { return process->readAllStandardError().toStdString(); }
    ~Child() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    bool running() const { return process->state() != QProcess::NotRunning; }
    // Waits (handling this process's events) until it exits; false after `ms`.
    bool finishes(int ms) {
        return QTest::qWaitFor([this] { return process->state() == QProcess::NotRunning; }, ms);
    }
    bool exitedCleanly() const {
        return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
    }
};

bool waitFor(const std::function<bool()>& condition, int ms) { return QTest::qWaitFor(condition, ms); }

// How long a test waits for a started copy of the application to get somewhere (log a line, end):
// far longer than it takes, so that a loaded machine cannot break the wait, which ends as soon as
// the awaited thing happens.
constexpr int processLimit = 60000;

}  // namespace

TEST(SingleInstance, MessagesForArguments) {
    const QString cwd = QStringLiteral("/home/ana/Documentos");
    EXPECT_EQ(SingleInstance::itemsFor({QStringLiteral("a.pdf"), QStringLiteral("../b.pdf"), QStringLiteral("/c.pdf"),
                                        QStringLiteral("file:///tmp/b%20c.pdf"),
                                        QStringLiteral("tindra://firmar?clave=X&ruta=/x%20y.pdf"),
                                        QStringLiteral("--Install-Quick-Action")},
                                       cwd),
              (QStringList{QStringLiteral("/home/ana/Documentos/a.pdf"), QStringLiteral("/home/ana/b.pdf"),
                           QStringLiteral("/c.pdf"), QStringLiteral("/tmp/b c.pdf"),
                           QStringLiteral("tindra://firmar?clave=X&ruta=/x%20y.pdf")}));
    // Links stay links whatever follows the scheme; other texts with a scheme stay as they are.
    const QStringList kept = {QStringLiteral("tindra:x/../../a.pdf"), QStringLiteral("TINDRA:/c.pdf"),
                              QStringLiteral("tindra://x/../a.pdf"), QStringLiteral("file:x/../a.pdf"),
                              QStringLiteral("file://otro/c.pdf"), QStringLiteral("https://ejemplo.es/a.pdf")};
    EXPECT_EQ(SingleInstance::itemsFor(kept, cwd), kept);
    EXPECT_EQ(SingleInstance::itemsFor({QStringLiteral("file://localhost/tmp/x/../c.pdf")}, cwd),
              QStringList{QStringLiteral("/tmp/c.pdf")});
    EXPECT_EQ(SingleInstance::messageFor({}, cwd), QByteArray(R"({"reopen":true})"));
}

TEST(SingleInstance, SendersHandOverAndExit) {
    ASSERT_TRUE(QFile::exists(tindraPath())) << tindraPath().toStdString();
    User user;
    SingleInstance listener(user.socket());
    ASSERT_EQ(listener.start(SingleInstance::messageFor({}, QDir::currentPath())), SingleInstance::Outcome::listening);
    QList<QStringList> opened;
    QList<qsizetype> leftOut;
    int reopens = 0;
    // Measured from the message's arrival, so that a start slowed by the machine's load counts
    // for nothing: a sender ends once it is answered, not at the end of its wait for an answer.
    QElapsedTimer sinceMessage;
    listener.onOpen = [&](const QStringList& items, qsizetype left) {
        opened << items;
        leftOut << left;
        sinceMessage.start();
    };
    listener.onReopen = [&] {
        ++reopens;
        sinceMessage.start();
    };

    const QString link = QStringLiteral("tindra://firmar?clave=X&ruta=/x%20y.pdf");
    // A selection larger than one arrival: the first files, and how many more there were.
    QStringList many;
    for (int i = 0; i < SingleInstance::maxItems + 3; ++i) many << QStringLiteral("/tmp/%1.pdf").arg(i);
    const QList<QStringList> runs = {{QStringLiteral("a.pdf")}, {QStringLiteral("file:///tmp/b%20c.pdf")}, {link}, many, {}};
    for (const QStringList& arguments : runs) {
        sinceMessage.invalidate();
        Child sender(user, arguments);
        ASSERT_TRUE(sender.finishes(processLimit))
            << "The sender of «" << arguments.join(' ').toStdString() << "» did not end within 60 s.";
        EXPECT_TRUE(sender.exitedCleanly());
        ASSERT_TRUE(sinceMessage.isValid()) << "The sender ended without handing its message over.";
        EXPECT_LT(sinceMessage.elapsed(), SingleInstance::waitMilliseconds);
    }
    ASSERT_TRUE(waitFor([&] { return opened.size() == 4 && reopens == 1; }, processLimit));
    EXPECT_EQ(opened[0], QStringList{QString::fromStdString((user.work / "a.pdf").string())});
    EXPECT_EQ(opened[1], QStringList{QStringLiteral("/tmp/b c.pdf")});
    EXPECT_EQ(opened[2], QStringList{link});
    EXPECT_EQ(opened[3], many.first(SingleInstance::maxItems));
    EXPECT_EQ(leftOut, (QList<qsizetype>{0, 0, 0, 3}));
    EXPECT_EQ(user.count("Arranque"), 0);  // none of them started an application
}

TEST(SingleInstance, MalformedAndOversizedMessagesAreDropped) {
    User user;
    SingleInstance listener(user.socket());
    ASSERT_EQ(listener.start({}), SingleInstance::Outcome::listening);
    int calls = 0;
    listener.onOpen = [&calls](const QStringList&, qsizetype) { ++calls; };
    listener.onReopen = [&calls] { ++calls; };
    bool answered = true;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        answered = SingleInstance::send(user.socket(), QByteArray("[1, 2]"), 2000) ||
                   SingleInstance::send(user.socket(), QByteArray(R"({"open": [1]})"), 2000) ||
                   SingleInstance::send(user.socket(), QByteArray(R"({"reopen": false})"), 2000) ||
                   SingleInstance::send(user.socket(), QByteArray(SingleInstance::maxMessage + 1, ' '), 2000);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&done] { return done.load(); }, processLimit));
    sender.join();
    EXPECT_FALSE(answered);
    EXPECT_EQ(calls, 0);
}

TEST(SingleInstance, WithARunningApplication) {
    ASSERT_TRUE(QFile::exists(tindraPath()));
    User user;
    const std::string key = "0F8C2A4E-1B3D-4C5E-9F60-7A8B9C0D1E2F";
    {
        Defaults defaults(user.root / "config" / "tindra" / "defaults.json");
        defaults.setString(PellonRequest::keyName, key);
    }
    std::ofstream(user.work / "notas.txt") << "notas";
    auto first = std::make_unique<Child>(user, QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 1; }, processLimit));
    QTest::qWait(1000);  // its window is up

    Child notes(user, {QStringLiteral("notas.txt")});
    ASSERT_TRUE(notes.finishes(processLimit));
    EXPECT_TRUE(notes.exitedCleanly());
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos 1 ficheros") == 1; }, processLimit)) << user.log();

    Child wrong(user, {QStringLiteral("tindra://firmar?clave=00000000-0000-0000-0000-000000000000&ruta=") +
                       QString::fromStdString((user.work / "notas.txt").string())});
    ASSERT_TRUE(wrong.finishes(processLimit));
    EXPECT_TRUE(wrong.exitedCleanly());
    ASSERT_TRUE(waitFor([&] { return user.count("Recibidos 0 ficheros") == 1; }, processLimit)) << user.log();
    const std::string log = user.log();
    EXPECT_LT(log.find("Enlace tindra:// sin la clave correcta: ignorado"), log.find("Recibidos 0 ficheros"));
    QTest::qWait(500);
    EXPECT_TRUE(first->running());  // it has a window: it runs on

    // Killed, it leaves its socket behind; the next first process starts anyway.
    first->process->kill();
    ASSERT_TRUE(first->finishes(processLimit));
    EXPECT_TRUE(QFile::exists(user.socket()));
    auto second = std::make_unique<Child>(user, QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 2; }, processLimit)) << user.log();
    QTest::qWait(1000);  // its window is up (before it, a request without PDFs ends it)
    Child again(user, {QStringLiteral("notas.txt")});
    ASSERT_TRUE(again.finishes(processLimit));
    EXPECT_TRUE(again.exitedCleanly());
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos 1 ficheros") == 2; }, processLimit));
    EXPECT_TRUE(second->running());
    second.reset();
    first.reset();
}

TEST(SingleInstance, TwoStartedAtOnceLeaveOne) {
    User user;
    Child a(user, {});
    Child b(user, {});
    ASSERT_TRUE(waitFor([&] { return !a.running() || !b.running(); }, processLimit));
    QTest::qWait(500);
    EXPECT_NE(a.running(), b.running());
    Child& gone = a.running() ? b : a;
    EXPECT_TRUE(gone.exitedCleanly());
    EXPECT_EQ(user.count("Arranque"), 1) << user.log();
}

TEST(Entry, SwitchesInAProcess) {
    User user;
    const fs::path defaultsFile = user.root / "config" / "tindra" / "defaults.json";
    auto storedKey = [&defaultsFile] {
        Defaults defaults(defaultsFile);
        return defaults.string(PellonRequest::keyName).value_or("");
    };
    Child removing(user, {QStringLiteral("--uninstall-quick-action")});
    ASSERT_TRUE(removing.finishes(processLimit));
    EXPECT_TRUE(removing.exitedCleanly());
    EXPECT_EQ(storedKey(), "");  // the removal makes no key

    Child both(user, {QStringLiteral("--install-quick-action"), QStringLiteral("--uninstall-quick-action")});
    ASSERT_TRUE(both.finishes(processLimit));
    EXPECT_TRUE(both.exitedCleanly());
    EXPECT_TRUE(PellonRequest::isValidKey(storedKey()));  // the installation ran
    EXPECT_EQ(user.count("Arranque"), 0);
    EXPECT_FALSE(QFile::exists(user.socket()));  // no application object, no instance

    Child other(user, {QStringLiteral("--Install-Quick-Action")});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 1; }, processLimit));
    QTest::qWait(600);
    EXPECT_TRUE(other.running());  // it started normally and shows its window
    EXPECT_EQ(user.count("Recibidos"), 0);
}

TEST(Entry, ALaunchWithOnlyABadLinkEnds) {
    User user;
    Child first(user, {QStringLiteral("tindra://firmar?clave=mala&ruta=/tmp/x.pdf")});
    ASSERT_TRUE(first.finishes(processLimit)) << user.log();
    EXPECT_TRUE(first.exitedCleanly());
    const std::string log = user.log();
    EXPECT_NE(log.find("Arranque"), std::string::npos);
    EXPECT_LT(log.find("Enlace tindra:// sin la clave correcta: ignorado"), log.find("Recibidos 0 ficheros"));
    EXPECT_FALSE(QFile::exists(user.socket()));  // it cleaned up after itself
}

// What the desktop entry may hand over from any web page, and files that are no regular files:
// none of them reaches a signing run, at launch or through the socket; a real PDF does.
TEST(Entry, OnlyRegularFilesAndKeyedLinksReachARun) {
    User user;
    const fs::path victim = user.home / "victim.pdf";
    testutil::writeFile(victim, fixtures::textPDF(1));
    ASSERT_EQ(::mkfifo((user.work / "tubo.pdf").c_str(), 0600), 0);
    fs::create_directory(user.work / "carpeta.pdf");
    fs::create_symlink("/dev/null", user.work / "dispositivo.pdf");
    fs::create_symlink("/proc/self/status", user.work / "proceso.pdf");
    const QString absolute = QString::fromStdString(victim.string());
    const QStringList hostile = {
        QStringLiteral("tindra:x/../../victim.pdf"), QStringLiteral("TINDRA:x/../../victim.pdf"),
        QStringLiteral("Tindra:../victim.pdf"), QStringLiteral("tindra:") + absolute,
        QStringLiteral("tindra://x/../../victim.pdf"), QStringLiteral("tubo.pdf"),
        QStringLiteral("carpeta.pdf"), QStringLiteral("falta.pdf"), QStringLiteral("dispositivo.pdf"),
        QStringLiteral("proceso.pdf"), QStringLiteral("file:x/../../victim.pdf"),
        QStringLiteral("file://otro/") + absolute};
    for (const QString& argument : hostile) {
        Child launch(user, {argument});
        ASSERT_TRUE(launch.finishes(processLimit)) << argument.toStdString() << "\n" << user.log();
        EXPECT_TRUE(launch.exitedCleanly()) << argument.toStdString();
    }
    EXPECT_EQ(user.count("Arranque"), hostile.size());
    EXPECT_EQ(user.count("Motor de firma"), 0) << user.log();

    // The same items handed to a running application by later starts, and written straight into
    // its socket.
    auto first = std::make_unique<Child>(user, QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == hostile.size() + 1; }, processLimit));
    QTest::qWait(1000);  // its window is up
    const int received = user.count("Recibidos");
    for (const QString& argument : hostile) {
        Child sender(user, {argument});
        ASSERT_TRUE(sender.finishes(processLimit)) << argument.toStdString();
    }
    QJsonArray raw;
    for (const QString& item : hostile) raw.append(item);
    raw.append(QStringLiteral("x/../../victim.pdf"));
    raw.append(QString::fromStdString((user.work / "tubo.pdf").string()));
    raw.append(QString::fromStdString((user.work / "proceso.pdf").string()));
    std::atomic<bool> sent{false};
    std::thread writer([&] {
        SingleInstance::send(user.socket(),
                             QJsonDocument(QJsonObject{{QStringLiteral("open"), raw}}).toJson(), 3000);
        sent = true;
    });
    EXPECT_TRUE(waitFor([&] { return sent.load(); }, processLimit));
    writer.join();
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos") == received + hostile.size() + 1; }, processLimit))
        << user.log();
    QTest::qWait(500);
    EXPECT_EQ(user.count("Motor de firma"), 0) << user.log();
    EXPECT_TRUE(first->running());

    // A real PDF by its path starts a run, handed over or at launch.
    Child handed(user, {QStringLiteral("../victim.pdf")});
    ASSERT_TRUE(handed.finishes(processLimit));
    EXPECT_TRUE(waitFor([&] { return user.count("Motor de firma") == 1; }, processLimit)) << user.log();
    first.reset();
    Child real(user, {QStringLiteral("../victim.pdf")});
    ASSERT_TRUE(waitFor([&] { return user.count("Motor de firma") == 2; }, processLimit)) << user.log();
    QTest::qWait(500);
    EXPECT_TRUE(real.running());
}
TEST(SingleInstance, PrivateFolders) {
    testutil::TempDir root;
    const fs::path made = root / "nuevo" / "run";
    EXPECT_EQ(SingleInstance::usePrivateFolder(made), QString());
    struct stat info {};
    ASSERT_EQ(::stat(made.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat((root / "nuevo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(SingleInstance::usePrivateFolder(made), QString());  // again: it is ours

    fs::create_directory(root / "abierta");
    ::chmod((root / "abierta").c_str(), 0750);
    EXPECT_NE(SingleInstance::usePrivateFolder(root / "abierta").toStdString().find("no es privada"),
              std::string::npos);
    ASSERT_EQ(::stat((root / "abierta").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0750u);  // left as it was
    fs::create_directory_symlink(made, root / "enlace");
    EXPECT_NE(SingleInstance::usePrivateFolder(root / "enlace"), QString());
    testutil::writeFile(root / "fichero", "x");
    EXPECT_NE(SingleInstance::usePrivateFolder(root / "fichero"), QString());
    if (::geteuid() == 0) {
        fs::create_directory(root / "ajena");
        ::chmod((root / "ajena").c_str(), 0700);
        ASSERT_EQ(::chown((root / "ajena").c_str(), 65534, 65534), 0);
        EXPECT_NE(SingleInstance::usePrivateFolder(root / "ajena").toStdString().find("no es privada"),
                  std::string::npos);
    }
}

// Without $XDG_RUNTIME_DIR the socket lives in a folder only this user can enter, never under a
// predictable name in the shared temporary folder.
static bool hasTindraEntry(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().find("tindra") != std::string::npos) return true;
    }
    return false;
}

TEST(SingleInstance, WithoutARuntimeFolderTheSocketIsPrivate) {
    User user;
    ::chmod(user.root.path().c_str(), 0755);  // only the socket's own folder keeps others out
    const fs::path shared = user.root / "tmp";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    QProcessEnvironment env = user.environment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(shared.string()));
    const QString work = QString::fromStdString(user.work.string());
    const fs::path folder = user.root / "state" / "tindra" / "run";
    const QString socket =
        QString::fromStdString((folder / ("tindra-" + std::to_string(::getuid()) + ".sock")).string());

    auto first = std::make_unique<Child>(env, work, tindraPath(), QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 1; }, processLimit)) << user.log();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(socket); }, processLimit));
    QTest::qWait(500);
    EXPECT_FALSE(hasTindraEntry(shared));
    struct stat info {};
    ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(info.st_uid, ::geteuid());
    std::ofstream(user.work / "notas.txt") << "notas";
    Child handing(env, work, tindraPath(), {QStringLiteral("notas.txt")});
    ASSERT_TRUE(handing.finishes(processLimit));
    EXPECT_TRUE(handing.exitedCleanly());
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos 1 ficheros") == 1; }, processLimit)) << user.log();

    // Another local user cannot reach it.
    if (::geteuid() == 0 && testutil::haveProgram("setpriv") && fs::exists("/usr/bin/python3")) {
        Child other(QProcessEnvironment::systemEnvironment(), QStringLiteral("/"), QStringLiteral("setpriv"),
                    {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                     QStringLiteral("--clear-groups"), QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                     QStringLiteral("import socket, sys\n"
                                    "s = socket.socket(socket.AF_UNIX)\n"
                                    "try:\n"
                                    "    s.connect(sys.argv[1])\n"
                                    "except PermissionError:\n"
                                    "    sys.exit(3)\n"),
                     socket});
        ASSERT_TRUE(other.finishes(processLimit));
        EXPECT_EQ(other.process->exitCode(), 3) << other.errors();
    }

    // A folder that others may enter is not used: the next start runs on its own.
    first.reset();
    ::chmod(folder.c_str(), 0755);
    QFile::remove(socket);
    Child next(env, work, tindraPath(), QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 2; }, processLimit)) << user.log();
    QTest::qWait(500);
    EXPECT_TRUE(next.running());
    EXPECT_FALSE(QFile::exists(socket));
    EXPECT_EQ(user.count("no es privada"), 1) << user.log();
    EXPECT_FALSE(hasTindraEntry(shared));
}

// A first process that is slow gets a hand-over once; one that holds the instance but never
// answers makes a later start say so and end, instead of waiting on it or starting a second
// application; once it is gone, its socket left behind, a start takes over.
TEST(SingleInstance, AnInstanceThatDoesNotAnswerIsReported) {
    User user;
    testutil::writeFile(user.work / "a.pdf", fixtures::textPDF(1));
    auto lock = std::make_unique<QLockFile>(user.socket() + QStringLiteral(".lock"));
    ASSERT_TRUE(lock->tryLock(0));
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    ASSERT_TRUE(server->listen(user.socket()));
    std::vector<QLocalSocket*> silent;  // accepted, read, never answered
    // A slow one, answering three seconds after the connection, gets the message once.
    QTimer answer;
    answer.setSingleShot(true);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QLocalSocket* socket : silent) socket->write("1", 1);
    });
    bool answerSlowly = true;  // the first connection only
    QElapsedTimer sinceConnected;
    QObject::connect(server.get(), &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = server->nextPendingConnection()) silent.push_back(socket);
        sinceConnected.start();
        if (answerSlowly) answer.start(3000);
        answerSlowly = false;
    });
    {
        Child sender(user, {QStringLiteral("a.pdf")});
        ASSERT_TRUE(sender.finishes(processLimit)) << "A sender answered after 3 s did not end within 60 s.";
        EXPECT_TRUE(sender.exitedCleanly());
        EXPECT_EQ(silent.size(), 1u);
    }
    for (QLocalSocket* socket : silent) socket->abort();
    silent.clear();

    // Measured from the connection, so that a start slowed by the machine's load counts for
    // nothing: the sender gives up once its wait for an answer is over.
    for (const QStringList& arguments : {QStringList{QStringLiteral("a.pdf")}, QStringList{}}) {
        sinceConnected.invalidate();
        Child sender(user, arguments);
        ASSERT_TRUE(sender.finishes(processLimit)) << "A sender nobody answers did not end within 60 s.";
        ASSERT_TRUE(sinceConnected.isValid()) << "The sender ended without connecting.";
        EXPECT_LT(sinceConnected.elapsed(), 2 * SingleInstance::waitMilliseconds);
        EXPECT_EQ(sender.process->exitStatus(), QProcess::NormalExit);
        EXPECT_NE(sender.process->exitCode(), 0);
        EXPECT_NE(sender.errors().find("Tindra ya está en marcha, pero no responde"), std::string::npos);
    }
    EXPECT_EQ(user.count("Tindra ya está en marcha, pero no responde"), 2) << user.log();
    EXPECT_EQ(user.count("Arranque"), 0);
    EXPECT_FALSE(silent.empty());

    // Gone: the lock is free and the socket file stays, with nobody listening.
    server.reset();
    lock.reset();
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = user.socket().toLocal8Bit();
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    ASSERT_TRUE(QFile::exists(user.socket()));
    Child next(user, {});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 1; }, processLimit)) << user.log();
    QTest::qWait(1000);
    std::ofstream(user.work / "notas.txt") << "notas";
    Child handing(user, {QStringLiteral("notas.txt")});
    ASSERT_TRUE(handing.finishes(processLimit));
    EXPECT_TRUE(handing.exitedCleanly());
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos 1 ficheros") == 1; }, processLimit)) << user.log();
    EXPECT_TRUE(next.running());
}

// A name that is not UTF-8 cannot travel through the application's texts: it is refused before
// anything starts, in a sentence on standard error and in the log.
TEST(Entry, ANameThatIsNotUTF8IsRefusedAtOnce) {
    User user;
    testutil::writeFile(user.work / "\xff.pdf", fixtures::textPDF(1));
    const QString work = QString::fromStdString(user.work.string());
    const QStringList shell = {QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$(printf '\\377.pdf')\""),
                               tindraPath()};
    const QStringList url = {QStringLiteral("file://") + work + QStringLiteral("/%FF.pdf")};
    int refusals = 0;
    for (const auto& [program, arguments] :
         {std::pair{QStringLiteral("/bin/sh"), shell}, std::pair{tindraPath(), url}}) {
        Child launch(user.environment(), work, program, arguments);
        ASSERT_TRUE(launch.finishes(processLimit)) << user.log();
        EXPECT_EQ(launch.process->exitStatus(), QProcess::NormalExit);
        EXPECT_NE(launch.process->exitCode(), 0);
        EXPECT_NE(launch.errors().find("no está escrito en UTF-8"), std::string::npos);
        EXPECT_EQ(user.count("no está escrito en UTF-8"), ++refusals) << user.log();
    }
    EXPECT_EQ(user.count("Arranque"), 0);
    EXPECT_EQ(user.count("Motor de firma"), 0);
}

// A selection larger than one message to a running application: the later start hands over the
// first files, as many as one arrival takes, says in the log how many it left out, and ends
// without a word of an application that does not answer.
TEST(SingleInstance, ALargeSelectionHandsOverItsFirstFiles) {
    User user;
    auto first = std::make_unique<Child>(user, QStringList{});
    ASSERT_TRUE(waitFor([&] { return user.count("Arranque") == 1; }, processLimit)) << user.log();
    QTest::qWait(1000);  // its window is up

    const int total = 12000;
    QStringList paths;
    qint64 bytes = 0;
    for (int i = 0; i < total; ++i) {
        paths << QStringLiteral("solicitud-de-ayuda-para-la-rehabilitacion-energetica-de-edificios-%1.pdf")
                     .arg(i, 5, 10, QLatin1Char('0'));
        bytes += paths.back().size() + user.work.string().size() + 1;
    }
    ASSERT_GT(bytes, SingleInstance::maxMessage);
    Child sender(user, paths);
    ASSERT_TRUE(sender.finishes(processLimit)) << "the later start did not end";
    const std::string errors = sender.errors();
    EXPECT_TRUE(sender.exitedCleanly()) << errors;
    EXPECT_EQ(errors.find(SingleInstance::unansweredSentence), std::string::npos) << errors;
    EXPECT_TRUE(waitFor([&] { return user.count("Recibidos 1000 ficheros") == 1; }, processLimit)) << user.log();
    EXPECT_EQ(user.count("Descartados 11000 ficheros: se toman 1000 de cada vez"), 1) << user.log();
    EXPECT_TRUE(first->running());
}
