// The file manager's entries, the desktop entry and the tindra:// handler, written under a
// temporary data home with a recording runner; then once with the real tools.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "DesktopFixtures.h"
#include "app/PellonRequest.h"
#include "app/QuickAction.h"

using namespace desktop;

namespace {

struct QuickActionTest : ::testing::Test {
    testutil::TempDir root;
    fs::path data = root / "data";
    fs::path config = root / "config";
    fs::path folder = installCopy(root / "prefix");
    Defaults defaults{root / "config" / "defaults.json"};
    RecordingRunner runner;
    QuickAction::Entries paths = QuickAction::entries(data);

    QuickAction::Environment environment(const fs::path& executables) {
        return {executables, data, config, &defaults, &runner};
    }
    QuickAction::Environment environment() { return environment(folder); }
};

}  // namespace

TEST_F(QuickActionTest, FirstInstallWritesEveryEntryAndRunsTheDatabaseTool) {
    EXPECT_TRUE(QuickAction::install(environment()));

    // What the entries say is checked where they are used: desktop-file-validate and xdg-mime
    // below, the file managers' own reading in the extensions' tests.
    EXPECT_TRUE(fs::is_regular_file(paths.desktopEntry));
    EXPECT_TRUE(fs::is_regular_file(paths.serviceMenu));
    EXPECT_EQ(fs::status(paths.serviceMenu).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_TRUE(fs::is_regular_file(paths.nemoAction));
    ASSERT_TRUE(isLink(paths.nautilusScript));
    EXPECT_EQ(paths.nautilusScript.filename(), "Firmar con Tindra");
    EXPECT_EQ(fs::read_symlink(paths.nautilusScript), folder / "ostrel");

    const std::vector<std::vector<std::string>> expected = {
        {"update-desktop-database", (data / "applications").string()}};
    EXPECT_EQ(runner.calls, expected);
    EXPECT_EQ(defaults.string(QuickAction::registeredPathKey), folder.string());
    EXPECT_TRUE(defaults.boolean(QuickAction::menuKey));
    EXPECT_TRUE(PellonRequest::isValidKey(defaults.string("pellonKey").value_or("")));
}

TEST_F(QuickActionTest, SecondInstallIsFalseAndAScriptTheUserRemovedStaysRemoved) {
    ASSERT_TRUE(QuickAction::install(environment()));
    const auto key = defaults.string("pellonKey");
    fs::remove(paths.nautilusScript);
    EXPECT_FALSE(QuickAction::install(environment()));
    EXPECT_FALSE(present(paths.nautilusScript));
    EXPECT_EQ(defaults.string("pellonKey"), key);
    EXPECT_EQ(runner.calls.size(), 2u);  // the tool again
}

TEST_F(QuickActionTest, ACopyInAnotherFolderTakesEveryEntryOver) {
    ASSERT_TRUE(QuickAction::install(environment()));
    const fs::path other = installCopy(root / "otra copia");
    EXPECT_TRUE(QuickAction::install(environment(other)));
    // Each entry names the new copy and nothing of the old one.
    for (const fs::path& entry : {paths.desktopEntry, paths.serviceMenu, paths.nemoAction}) {
        const std::string text = testutil::readFile(entry);
        EXPECT_NE(text.find(other.string()), std::string::npos) << entry;
        EXPECT_EQ(text.find(folder.string() + "/"), std::string::npos) << entry;
    }
    EXPECT_EQ(fs::read_symlink(paths.nautilusScript), other / "ostrel");
    EXPECT_EQ(std::distance(fs::directory_iterator(paths.nautilusScript.parent_path()), fs::directory_iterator()), 1);
    EXPECT_EQ(defaults.string(QuickAction::registeredPathKey), other.string());
}

TEST_F(QuickActionTest, WithoutOstrelNothingIsWrittenOrRecorded) {
    const fs::path bare = installCopy(root / "sin", false, true);
    EXPECT_FALSE(QuickAction::install(environment(bare)));
    EXPECT_FALSE(fs::exists(data));
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_FALSE(defaults.contains(QuickAction::registeredPathKey));
    EXPECT_FALSE(defaults.contains(QuickAction::menuKey));
}

TEST_F(QuickActionTest, WithoutPellonThereIsNoDolphinOrNemoEntry) {
    const fs::path half = installCopy(root / "media", true, false);
    EXPECT_TRUE(QuickAction::install(environment(half)));
    EXPECT_TRUE(fs::exists(paths.desktopEntry));
    EXPECT_TRUE(isLink(paths.nautilusScript));
    EXPECT_FALSE(present(paths.serviceMenu));
    EXPECT_FALSE(present(paths.nemoAction));
}

TEST_F(QuickActionTest, TheUsersFilesAndLinksAreNeverReplacedOrRemoved) {
    // Each path holds something of the user's: files without our mark, links of their own.
    testutil::writeFile(root / "mine.desktop", "[Desktop Entry]\nType=Application\nName=Mía\nExec=mia\n");
    fs::create_directories(paths.desktopEntry.parent_path());
    fs::create_directories(paths.serviceMenu.parent_path());
    fs::create_directories(paths.nemoAction.parent_path());
    fs::create_directories(paths.nautilusScript.parent_path());
    testutil::writeFile(paths.desktopEntry, "[Desktop Entry]\nName=Mía\n# X-Tindra-Generated=true\n");
    fs::create_symlink(root / "mine.desktop", paths.serviceMenu);
    testutil::writeFile(paths.nemoAction, "[Nemo Action]\nName=Otra\n");
    testutil::writeFile(paths.nautilusScript, "#!/bin/sh\necho mío\n");

    auto snapshot = [&] {
        return std::vector<std::string>{testutil::readFile(paths.desktopEntry), fs::read_symlink(paths.serviceMenu),
                                        testutil::readFile(paths.nemoAction), testutil::readFile(paths.nautilusScript)};
    };
    const auto before = snapshot();
    EXPECT_TRUE(QuickAction::install(environment()));
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(isLink(paths.nautilusScript));
    QuickAction::uninstall(environment());
    EXPECT_EQ(snapshot(), before);

    // A link to some other program under the script's name is the user's too.
    fs::remove(paths.nautilusScript);
    fs::create_symlink("/usr/bin/true", paths.nautilusScript);
    defaults.remove(QuickAction::menuKey);
    QuickAction::install(environment());
    EXPECT_EQ(fs::read_symlink(paths.nautilusScript), "/usr/bin/true");
    QuickAction::uninstall(environment());
    EXPECT_EQ(fs::read_symlink(paths.nautilusScript), "/usr/bin/true");
}

TEST_F(QuickActionTest, UninstallRemovesOnlyOurs) {
    ASSERT_TRUE(QuickAction::install(environment()));
    const fs::path otherScript = paths.nautilusScript.parent_path() / "Comprimir";
    testutil::writeFile(otherScript, "#!/bin/sh\n");
    const fs::path otherEntry = paths.desktopEntry.parent_path() / "otra.desktop";
    testutil::writeFile(otherEntry, "[Desktop Entry]\n");
    runner.calls.clear();

    QuickAction::uninstall(environment());
    for (const auto& path : {paths.desktopEntry, paths.serviceMenu, paths.nemoAction, paths.nautilusScript}) {
        EXPECT_FALSE(present(path)) << path;
    }
    EXPECT_TRUE(fs::exists(otherScript));
    EXPECT_TRUE(fs::exists(otherEntry));
    EXPECT_FALSE(defaults.contains(QuickAction::registeredPathKey));
    EXPECT_FALSE(defaults.contains(QuickAction::menuKey));
    EXPECT_EQ(runner.calls, (std::vector<std::vector<std::string>>{
                                {"update-desktop-database", (data / "applications").string()}}));
    // After an uninstallation the script is switched on again.
    EXPECT_TRUE(QuickAction::install(environment()));
    EXPECT_TRUE(isLink(paths.nautilusScript));
}

// Every installed copy writes the same entries, each naming its own programs, and the last one
// registered holds them: removing another copy leaves them, the tindra:// handler and the state.
TEST_F(QuickActionTest, UninstallingAnotherCopyLeavesThisCopysEntries) {
    const fs::path other = installCopy(root / "otra");
    ASSERT_TRUE(QuickAction::install(environment(other)));
    ASSERT_TRUE(QuickAction::install(environment()));
    const auto all = {paths.desktopEntry, paths.serviceMenu, paths.nemoAction, paths.nautilusScript};
    QuickAction::uninstall(environment(other));
    for (const auto& path : all) EXPECT_TRUE(present(path)) << path;
    EXPECT_EQ(fs::read_symlink(paths.nautilusScript), folder / "ostrel");
    EXPECT_NE(testutil::readFile(config / "mimeapps.list").find("es.calverin.Tindra.desktop"), std::string::npos);
    EXPECT_EQ(defaults.string(QuickAction::registeredPathKey), folder.string());

    QuickAction::uninstall(environment());
    for (const auto& path : all) EXPECT_FALSE(present(path)) << path;
    EXPECT_EQ(testutil::readFile(config / "mimeapps.list").find("es.calverin.Tindra.desktop"), std::string::npos);
}

// The file managers read their menu entries when a menu opens: the refresh renews the desktop
// database and the tindra:// handler, and never asks a file manager to quit (its windows stay).
TEST_F(QuickActionTest, RefreshRenewsTheDatabaseAndTheHandlerAndLeavesTheFileManagersAlone) {
    ASSERT_TRUE(QuickAction::install(environment()));
    fs::remove(config / "mimeapps.list");
    runner.calls.clear();
    runner.missing = {"update-desktop-database"};
    QuickAction::relaunchFinder(environment());
    EXPECT_EQ(runner.calls, (std::vector<std::vector<std::string>>{
                                {"update-desktop-database", (data / "applications").string()}}));
    EXPECT_TRUE(fs::exists(config / "mimeapps.list"));

    // Without a desktop entry of ours the handler is not pointed at a file that is not there.
    QuickAction::uninstall(environment());
    fs::remove(config / "mimeapps.list");
    QuickAction::relaunchFinder(environment());
    EXPECT_FALSE(fs::exists(config / "mimeapps.list"));
}

TEST(QuickActionExec, ArgumentsAreQuotedAndEscaped) {
    EXPECT_EQ(QuickAction::execArgument("/usr/lib/tindra/tindra"), "/usr/lib/tindra/tindra");
    EXPECT_EQ(QuickAction::execArgument("/home/ana maría/x"), "\"/home/ana maría/x\"");
    // Quoting escapes " ` $ \ with a backslash; then % doubles and every backslash doubles again.
    EXPECT_EQ(QuickAction::execArgument("/a\"b`c$d\\e%f"), "\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f\"");
    EXPECT_EQ(QuickAction::execArgument("/50%"), "/50%%");
}

// The real tools. desktop-file-validate reads the entry of a home whose name holds a blank.
TEST(QuickActionRealTools, TheEntryValidates) {
    if (!testutil::haveProgram("desktop-file-validate")) GTEST_SKIP() << "desktop-file-utils missing";
    testutil::TempDir root;
    const fs::path home = root / "Ana María";
    const fs::path data = home / ".local" / "share";
    const fs::path folder = installCopy(home / ".local");
    Defaults defaults(home / ".config" / "tindra" / "defaults.json");
    RecordingRunner runner;
    ASSERT_TRUE(QuickAction::install({folder, data, home / ".config", &defaults, &runner}));
    const fs::path entry = QuickAction::entries(data).desktopEntry;
    EXPECT_NE(testutil::readFile(entry).find("Exec=\"" + (folder / "tindra").string() + "\" %U"), std::string::npos);
    const auto validation = testutil::run({"desktop-file-validate", entry.string()});
    EXPECT_EQ(validation.exitCode, 0) << validation.out << validation.err;
    EXPECT_EQ(validation.out.find("error"), std::string::npos) << validation.out;
}

// update-desktop-database and xdg-mime run for real, with HOME and the XDG folders pointing into a
// temporary folder (xdg-utils' generic mode splits paths at blanks, so this one has none).
TEST(QuickActionRealTools, TindraLinksGoToUsAndThePDFDefaultStays) {
    if (!testutil::haveProgram("xdg-mime") || !testutil::haveProgram("update-desktop-database")) {
        GTEST_SKIP() << "xdg-utils or desktop-file-utils missing";
    }
    testutil::TempDir root;
    const fs::path home = root / "ana";
    const fs::path data = home / ".local" / "share";
    const fs::path config = home / ".config";
    const fs::path system = root / "system";
    fs::create_directories(data);
    fs::create_directories(config);
    fs::create_directories(system / "applications");
    testutil::writeFile(system / "applications" / "visor.desktop",
                        "[Desktop Entry]\nType=Application\nName=Visor\nExec=/bin/true %f\nMimeType=application/pdf;\n");
    testutil::writeFile(config / "mimeapps.list", "[Default Applications]\napplication/pdf=visor.desktop\n");
    const fs::path folder = installCopy(home / ".local");

    struct Saved {
        const char* name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved;
    auto set = [&saved](const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        ::setenv(name, value.c_str(), 1);
    };
    set("HOME", home.string());
    set("XDG_DATA_HOME", data.string());
    set("XDG_CONFIG_HOME", config.string());
    set("XDG_DATA_DIRS", system.string());
    set("XDG_CONFIG_DIRS", (root / "system-config").string());
    set("XDG_CURRENT_DESKTOP", "");
    const auto pdfBefore = testutil::run({"xdg-mime", "query", "default", "application/pdf"}).out;
    Defaults defaults(config / "tindra" / "defaults.json");
    const bool fresh = QuickAction::install({folder, data, config, &defaults, &ProcessRunner::system()});
    const auto handler = testutil::run({"xdg-mime", "query", "default", "x-scheme-handler/tindra"});
    const auto pdfAfter = testutil::run({"xdg-mime", "query", "default", "application/pdf"}).out;
    for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
        if (it->value) ::setenv(it->name, it->value->c_str(), 1);
        else ::unsetenv(it->name);
    }

    EXPECT_TRUE(fresh);
    EXPECT_EQ(handler.out, "es.calverin.Tindra.desktop\n") << handler.err;
    EXPECT_EQ(pdfBefore, "visor.desktop\n");
    EXPECT_EQ(pdfAfter, pdfBefore);
    EXPECT_TRUE(fs::exists(data / "applications" / "mimeinfo.cache"));
}
