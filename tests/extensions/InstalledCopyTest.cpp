// An installed copy: cmake --install of this build into a temporary ~/.local, its switches, the
// registration at launch, and the helpers reaching the running application. A build-tree copy
// registers nothing.
#include <gtest/gtest.h>

#include <memory>

#include "HelperFixtures.h"

using namespace helpers;

namespace {

struct Running {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    Running(const User& user, const fs::path& program) {
        process->setProcessEnvironment(user.environment());
        process->setWorkingDirectory(QString::fromStdString(user.work.string()));
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QString::fromStdString(program.string()), {});
        process->waitForStarted(5000);
    }
    ~Running() {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
};

std::string log(const User& user) {
    const fs::path file = user.state / "tindra" / "Tindra.log";
    return fs::exists(file) ? testutil::readFile(file) : std::string();
}

bool logHasLineStarting(const User& user, const std::string& text) {
    const std::string all = log(user);
    return all.find("Z " + text) != std::string::npos;
}

bool present(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

}  // namespace

TEST(InstalledCopy, InstallsRegistersReceivesAndUninstalls) {
    User user;
    const fs::path prefix = user.home / ".local";
    const auto installed = run(user, TINDRA_CMAKE, {QStringLiteral("--install"), QString::fromStdString(buildDir().string()),
                                                    QStringLiteral("--prefix"), QString::fromStdString(prefix.string())},
                               180000);
    ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
    const fs::path folder = prefix / "lib" / "tindra";
    for (const char* name : {"tindra", "ostrel", "pellon"}) EXPECT_TRUE(fs::exists(folder / name)) << name;
    EXPECT_TRUE(fs::exists(prefix / "share/icons/hicolor/scalable/apps/es.calverin.Tindra.svg"));
    EXPECT_TRUE(fs::exists(prefix / "share/icons/hicolor/scalable/actions/tindra-firmar.svg"));

    const fs::path entry = user.data / "applications" / "es.calverin.Tindra.desktop";
    const fs::path script = user.data / "nautilus" / "scripts" / "Firmar con Tindra";
    const fs::path menu = user.data / "kio" / "servicemenus" / "tindra-firmar.desktop";
    const fs::path nemo = user.data / "nemo" / "actions" / "tindra-firmar.nemo_action";
    const fs::path command = user.home / ".local" / "bin" / "tindra";

    ASSERT_EQ(run(user, folder / "tindra", {QStringLiteral("--install-quick-action")}).exitCode, 0);
    for (const auto& path : {entry, menu, nemo}) EXPECT_TRUE(fs::is_regular_file(path)) << path;
    ASSERT_TRUE(fs::is_symlink(script));
    EXPECT_EQ(fs::read_symlink(script), folder / "ostrel");
    ASSERT_TRUE(fs::is_symlink(command));
    EXPECT_EQ(fs::read_symlink(command), folder / "tindra");

    // Launched, the installed copy registers again.
    fs::remove(entry);
    {
        Running app(user, folder / "tindra");
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(entry); }, 20000)) << log(user);

        user.file("x.pdf");
        user.file("notas.txt");
        EXPECT_EQ(run(user, folder / "pellon", {QStringLiteral("x.pdf")}).exitCode, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return logHasLineStarting(user, "Recibidos 1 ficheros"); }, 20000))
            << log(user);
        // ostrel as Nautilus runs it: through the script's link.
        EXPECT_EQ(run(user, script, {QStringLiteral("x.pdf"), QStringLiteral("notas.txt")}).exitCode, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return logHasLineStarting(user, "Recibidos 2 ficheros"); }, 20000))
            << log(user);
        EXPECT_EQ(log(user).find("sin la clave correcta"), std::string::npos);
    }

    ASSERT_EQ(run(user, folder / "tindra", {QStringLiteral("--uninstall-quick-action")}).exitCode, 0);
    for (const auto& path : {entry, menu, nemo, script, command}) EXPECT_FALSE(present(path)) << path;
}

TEST(InstalledCopy, ABuildTreeCopyRegistersNothing) {
    User user;
    const fs::path tindra = buildDir() / "app" / "main" / "tindra";
    ASSERT_EQ(run(user, tindra, {QStringLiteral("--install-quick-action")}).exitCode, 0);
    {
        Running app(user, tindra);
        ASSERT_TRUE(QTest::qWaitFor([&] { return log(user).find("Arranque") != std::string::npos; }, 20000));
        QTest::qWait(500);
    }
    EXPECT_FALSE(fs::exists(user.data / "applications"));
    EXPECT_FALSE(fs::exists(user.data / "nautilus"));
    EXPECT_FALSE(present(user.home / ".local" / "bin" / "tindra"));
}
