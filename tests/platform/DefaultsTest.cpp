#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <fstream>

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/Preferences.h"
#include "platform/TemporaryFiles.h"
#include "support/TestUtil.h"

namespace {

TEST(Defaults, AbsentKeysAndTypedReads) {
    testutil::TempDir dir;
    Defaults d(dir / "tindra/defaults.json");
    EXPECT_FALSE(d.string("x"));
    EXPECT_FALSE(d.boolean("x"));
    EXPECT_EQ(d.integer("x"), 0);
    EXPECT_FALSE(d.data("x"));
    EXPECT_FALSE(std::filesystem::exists(d.file()));  // reading creates nothing

    d.setString("s", "autofirma");
    d.setBoolean("b", true);
    d.set("n", 42);
    d.setData("d", {0, 1, 2, 0xFF, 0x10});
    Defaults again(d.file());
    EXPECT_EQ(again.string("s"), "autofirma");
    EXPECT_TRUE(again.boolean("b"));
    EXPECT_EQ(again.integer("n"), 42);
    EXPECT_EQ(again.data("d"), (Defaults::Data{0, 1, 2, 0xFF, 0x10}));
    // Wrong types read as the default of the type asked for.
    EXPECT_FALSE(again.string("b"));
    EXPECT_FALSE(again.string("n"));
    EXPECT_FALSE(again.data("s"));
    EXPECT_TRUE(again.boolean("n"));

    again.remove("s");
    EXPECT_FALSE(d.string("s"));  // the other handle sees the change on disk
}

TEST(Defaults, BooleanReadingOfStringsAndNumbers) {
    testutil::TempDir dir;
    Defaults d(dir / "defaults.json");
    struct Case { nlohmann::json value; bool expected; };
    const Case cases[] = {{"YES", true},  {"yes", true},   {"true", true},  {"T", true},
                          {"1", true},    {" 007", true},  {"-5", true},    {"no", false},
                          {"false", false}, {"0", false},  {"", false},     {"0.5", false},
                          {0, false},     {2, true},       {0.0, false},    {nlohmann::json::array(), false}};
    for (const auto& c : cases) {
        d.set("k", c.value);
        EXPECT_EQ(d.boolean("k"), c.expected) << c.value.dump();
    }
}

TEST(Defaults, FileIsPrivateAndReplacedAtomically) {
    testutil::TempDir dir;
    Defaults d(dir / "defaults.json");
    d.setString("a", "1");
    struct stat info {};
    ASSERT_EQ(::stat(d.file().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    auto inodeBefore = info.st_ino;
    d.setString("b", "2");
    ASSERT_EQ(::stat(d.file().c_str(), &info), 0);
    EXPECT_NE(info.st_ino, inodeBefore);  // a new file renamed over the old one
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);  // no temporary file left behind
}

TEST(Defaults, CorruptFileReadsEmptyAndIsKeptAside) {
    testutil::TempDir dir;
    auto file = dir / "defaults.json";
    testutil::writeFile(file, "{\"engine\": \"nativo\", broken");
    Defaults d(file);
    EXPECT_FALSE(d.string("engine"));
    EXPECT_FALSE(d.boolean("showFullID"));
    EXPECT_EQ(testutil::readFile(file), "{\"engine\": \"nativo\", broken");  // reads change nothing

    d.setBoolean("showFullID", true);
    EXPECT_TRUE(d.boolean("showFullID"));
    auto aside = file;
    aside += ".corrupt";
    EXPECT_EQ(testutil::readFile(aside), "{\"engine\": \"nativo\", broken");

    testutil::writeFile(file, "[1, 2]");  // valid JSON, not a dictionary
    EXPECT_FALSE(d.boolean("showFullID"));
}

// Each damaged file is kept aside under a name of its own, up to a bound: the newest rescues.
TEST(Defaults, EveryDamagedFileIsKeptAsideUpToTheBound) {
    testutil::TempDir dir;
    auto file = dir / "defaults.json";
    Defaults d(file);
    const int damaged = Defaults::maxRescues + 2;
    for (int i = 1; i <= damaged; ++i) {
        testutil::writeFile(file, "{roto " + std::to_string(i));
        // Distinct ages, as damage found on different days would have.
        timespec times[2] = {{1000000 + i * 10, 0}, {1000000 + i * 10, 0}};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        EXPECT_FALSE(d.boolean("a"));
        d.setBoolean("a", true);
        EXPECT_TRUE(d.boolean("a"));
    }
    std::vector<std::string> kept;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
        std::string name = entry.path().filename();
        if (name != "defaults.json") {
            EXPECT_TRUE(name.starts_with("defaults.json.corrupt")) << name;
            kept.push_back(testutil::readFile(entry.path()));
        }
    }
    EXPECT_EQ(files, Defaults::maxRescues + 1);
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> newest;
    for (int i = 3; i <= damaged; ++i) newest.push_back("{roto " + std::to_string(i));
    std::sort(newest.begin(), newest.end());
    EXPECT_EQ(kept, newest);
}

TEST(Defaults, WriteIntoUnwritableFolderThrows) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "file", "x");
    Defaults d(dir / "file/defaults.json");
    EXPECT_THROW(d.setString("a", "b"), std::runtime_error);
}

// A settings write cut short in the middle (here by the file-size limit, as the quitting grace's
// immediate end would cut it) leaves nothing after the next start, which removes the temporary
// files listed; what an earlier writer left under its own name ("tindra-", digits, ".tmp") goes
// too. Anything else in the folder stays.
TEST(Defaults, AWriteCutShortLeavesNothingAfterTheNextStart) {
    testutil::TempDir config;
    testutil::TempDir state;
    const std::filesystem::path file = config / "tindra" / "defaults.json";
    const std::filesystem::path folder = file.parent_path();
    const std::filesystem::path list = state / "temporales";
    const std::filesystem::path prepared = state / "preparados";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!TemporaryFiles::keep(list, prepared)) _exit(3);
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit noCore{0, 0};
        const rlimit size{4096, 4096};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &size);
        Defaults(file).setString("firma", std::string(100000, 'x'));
        _exit(4);
    }
    const testutil::ChildEnd end = testutil::waitForChild(child, "the child whose settings write is cut");
    ASSERT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGXFSZ) << end.status << end.sentence;
    ASSERT_FALSE(std::filesystem::is_empty(folder));

    ASSERT_TRUE(TemporaryFiles::keep(list, prepared));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    TemporaryFiles::stopKeeping();

    testutil::writeFile(folder / "tindra-28472943011837261.tmp", "{\"a\": ");
    for (const char* mine : {"tindra-notas.tmp", "tindra-1.txt", "notas.txt"}) testutil::writeFile(folder / mine, "mío");
    Defaults::removeStrayWrites(file);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"notas.txt", "tindra-1.txt", "tindra-notas.tmp"}));
}

TEST(Paths, FollowXdgVariablesAndHome) {
    testutil::TempDir dir;
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", dir.path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_STATE_HOME", "relative/ignored", 1);
    EXPECT_EQ(Paths::defaultsFile(), dir.path() / ".config/tindra/defaults.json");
    EXPECT_EQ(Paths::logFile(), dir.path() / ".local/state/tindra/Tindra.log");
    setenv("XDG_STATE_HOME", (dir.path() / "st").c_str(), 1);
    EXPECT_EQ(Paths::logFile(), dir.path() / "st/tindra/Tindra.log");
    EXPECT_EQ(Paths::aiLogFile(), dir.path() / "st/tindra/Tindra-IA.jsonl");
    unsetenv("XDG_STATE_HOME");
    if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

TEST(Preferences, FreshUserDefaults) {
    testutil::TempDir dir;
    Defaults d(dir / "defaults.json");
    EXPECT_TRUE(Preferences::showBranding(d));
    EXPECT_FALSE(Preferences::showFullID(d));
    EXPECT_FALSE(Preferences::fillForms(d));
    EXPECT_FALSE(Preferences::welcomeShown(d));
    EXPECT_FALSE(Preferences::formsWelcomeShown(d));
    EXPECT_FALSE(Preferences::lastCertificate(d));
    EXPECT_FALSE(Preferences::engine(d));
}

TEST(Preferences, StoredTypes) {
    testutil::TempDir dir;
    Defaults d(dir / "defaults.json");
    d.set("showBranding", "no");
    EXPECT_TRUE(Preferences::showBranding(d));  // a string is not a Boolean
    d.set("showBranding", false);
    EXPECT_FALSE(Preferences::showBranding(d));
    d.set("showBranding", 0);
    EXPECT_FALSE(Preferences::showBranding(d));
    d.set("showBranding", 7);
    EXPECT_TRUE(Preferences::showBranding(d));
    d.set("showFullID", "yes");
    EXPECT_TRUE(Preferences::showFullID(d));  // the platform's reading of strings
    d.set("engine", true);
    EXPECT_FALSE(Preferences::engine(d));
    d.set("engine", "AutoFirma");
    EXPECT_EQ(Preferences::engine(d), "AutoFirma");  // interpreted later, case and all

    Preferences::setLastCertificate("abc", d);
    EXPECT_EQ(Preferences::lastCertificate(d), "abc");
    Preferences::setLastCertificate(std::nullopt, d);
    EXPECT_FALSE(d.contains("lastCertificateSHA1"));
}

TEST(Preferences, MigrationCopiesMissingKeysOnce) {
    testutil::TempDir dir;
    Defaults d(dir / "tindra/defaults.json");
    Defaults old(dir / "old/defaults.json");
    old.set("engine", "autofirma");
    old.set("showFullID", true);
    old.set("showBranding", 0);
    d.set("showFullID", false);

    Preferences::migrateFromPreviousName(d, old.file());
    EXPECT_EQ(Preferences::engine(d), "autofirma");
    EXPECT_FALSE(Preferences::showFullID(d));
    EXPECT_EQ(d.object("showBranding"), 0);  // copied unchanged, whatever its type
    EXPECT_TRUE(d.boolean("migratedFromVarenne"));

    old.set("lastCertificateSHA1", "ffff");
    Preferences::migrateFromPreviousName(d, old.file());
    EXPECT_FALSE(Preferences::lastCertificate(d));
}

TEST(Preferences, MigrationWithoutOldDefaultsIsMarkedDone) {
    testutil::TempDir dir;
    Defaults d(dir / "defaults.json");
    Preferences::migrateFromPreviousName(d, dir / "missing/defaults.json");
    EXPECT_TRUE(d.boolean("migratedFromVarenne"));
}

}  // namespace

// A configuration folder that cannot be made (its parent is a file, which stops root as well).
TEST(Preferences, UnwritableFolderKeepsValuesForTheProcess) {
    testutil::TempDir dir;
    { std::ofstream(dir / "blocked") << "x"; }
    Defaults d(dir / "blocked/tindra/defaults.json");
    EXPECT_THROW(d.set("plain", 1), std::runtime_error);  // the plain set still says it failed

    EXPECT_NO_THROW(Preferences::setShowFullID(true, d));
    EXPECT_NO_THROW(Preferences::setLastCertificate("abc", d));
    EXPECT_NO_THROW(Preferences::migrateFromPreviousName(d, dir / "missing/defaults.json"));
    EXPECT_TRUE(Preferences::showFullID(d));
    EXPECT_EQ(Preferences::lastCertificate(d), "abc");
    EXPECT_TRUE(d.boolean("migratedFromVarenne"));
    Preferences::setLastCertificate(std::nullopt, d);
    EXPECT_FALSE(Preferences::lastCertificate(d));
}

TEST(Preferences, KeptValuesAreStoredByTheNextWrite) {
    testutil::TempDir dir;
    { std::ofstream(dir / "blocked") << "x"; }
    Defaults d(dir / "blocked/defaults.json");
    Preferences::setFillForms(true, d);
    std::filesystem::remove(dir / "blocked");
    d.set("b", 2);
    Defaults reread(d.file());
    EXPECT_TRUE(reread.boolean("fillForms"));
    EXPECT_EQ(reread.integer("b"), 2);
}
