#pragma once
// Tests that need a real Secret Service run themselves again inside a private D-Bus session whose
// home and XDG folders are temporary, where they start their own gnome-keyring:
//
//   TEST(Keyring, RoundTrip) {
//       if (!testutil::insideKeyringSession()) return testutil::runWithPrivateKeyring("Keyring.RoundTrip");
//       ...
//   }

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestUtil.h"

namespace testutil {

inline constexpr const char* keyringSessionVariable = "TINDRA_KEYRING_SESSION";

inline bool insideKeyringSession() { return std::getenv(keyringSessionVariable) != nullptr; }

// How long the test inside a private session may take, and how long its session then has to end
// before everything in it is killed: a keyring daemon, a prompter or the bus itself that keeps
// running (or keeps the outputs open) must not hold the test past its own limit.
inline constexpr int keyringSessionSeconds = 90;
inline constexpr int keyringSessionKillAfter = 5;

// Runs one test of this program inside a fresh D-Bus session whose home and XDG folders are
// under `home`; `busOptions` go to dbus-run-session.
inline RunResult runInKeyringSession(const std::string& test, const std::filesystem::path& home,
                                     const std::vector<std::string>& busOptions = {}) {
    for (const char* sub : {".local/share", ".local/state", ".config", ".cache", "run"})
        std::filesystem::create_directories(home / sub);
    chmod((home / "run").c_str(), 0700);
    std::vector<std::string> argv = {"timeout",
                                     "--kill-after=" + std::to_string(keyringSessionKillAfter),
                                     std::to_string(keyringSessionSeconds),
                                     "env",
                                     "HOME=" + home.string(),
                                     "XDG_DATA_HOME=" + (home / ".local/share").string(),
                                     "XDG_STATE_HOME=" + (home / ".local/state").string(),
                                     "XDG_CONFIG_HOME=" + (home / ".config").string(),
                                     "XDG_CACHE_HOME=" + (home / ".cache").string(),
                                     "XDG_RUNTIME_DIR=" + (home / "run").string(),
                                     std::string(keyringSessionVariable) + "=1",
                                     "QT_QPA_PLATFORM=offscreen",
                                     // glib and libsecret keep per-process caches for good.
                                     "ASAN_OPTIONS=detect_leaks=0",
                                     "dbus-run-session"};
    argv.insert(argv.end(), busOptions.begin(), busOptions.end());
    argv.insert(argv.end(), {"--", std::filesystem::read_symlink("/proc/self/exe").string(),
                             "--gtest_filter=" + test});
    RunResult r = run(argv, {}, std::chrono::seconds(keyringSessionSeconds + 2 * keyringSessionKillAfter));
    // timeout(1) ends with 124 when the limit ended the session, 137 when it had to kill.
    if (r.exitCode == 124 || r.exitCode == 137 || r.timedOut)
        r.err += "\nThe test inside the private keyring session did not end within " +
                 std::to_string(keyringSessionSeconds) + " s and its session was ended.";
    return r;
}

// The test run inside passed (or was skipped there because no Secret Service could be started).
inline void expectPassedInside(const RunResult& r) {
    ASSERT_FALSE(r.timedOut) << r.out << r.err;
    if (r.out.find("[  SKIPPED ]") != std::string::npos &&
        r.out.find("[  PASSED  ] 1 test") == std::string::npos) {
        GTEST_SKIP() << "no Secret Service could be started:\n" << r.out << r.err;
    }
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out << r.err;
}

// Inside the private session: starts its gnome-keyring daemon with the login keyring unlocked and
// waits until the daemon owns the Secret Service's name on the bus. Without that wait a first
// call could come before the name is taken, and the bus would start a second daemon for it.
// False when the daemon could not start (the caller skips); a start or a wait that does not end
// in time fails the test with a sentence.
inline bool startPrivateKeyringDaemon() {
    constexpr std::chrono::seconds limit{30};
    const RunResult daemon =
        run({"gnome-keyring-daemon", "--unlock", "--components=secrets"}, "tindra-prueba", limit);
    EXPECT_FALSE(daemon.timedOut) << "gnome-keyring-daemon did not start within 30 s. " << daemon.err;
    if (daemon.exitCode != 0 || daemon.timedOut) return false;
    const RunResult owned =
        run({"gdbus", "wait", "--session", "--timeout", "20", "org.freedesktop.secrets"}, {}, limit);
    EXPECT_TRUE(owned.exitCode == 0 && !owned.timedOut)
        << "gnome-keyring-daemon started but did not take the Secret Service's name on the bus within 20 s. "
        << owned.out << owned.err;
    return owned.exitCode == 0 && !owned.timedOut;
}

// Runs one test of this program again inside a private session with its own gnome-keyring.
inline void runWithPrivateKeyring(const std::string& test) {
    if (!haveProgram("dbus-run-session") || !haveProgram("gnome-keyring-daemon") || !haveProgram("gdbus")) {
        GTEST_SKIP() << "dbus-run-session, gnome-keyring-daemon or gdbus is missing";
    }
    TempDir home;
    expectPassedInside(runInKeyringSession(test, home.path()));
}

}  // namespace testutil
