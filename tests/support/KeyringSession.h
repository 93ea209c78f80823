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

// Runs one test of this program inside a fresh D-Bus session whose home and XDG folders are
// under `home`; `busOptions` go to dbus-run-session.
inline RunResult runInKeyringSession(const std::string& test, const std::filesystem::path& home,
                                     const std::vector<std::string>& busOptions = {}) {
    for (const char* sub : {".local/share", ".local/state", ".config", ".cache", "run"})
        std::filesystem::create_directories(home / sub);
    chmod((home / "run").c_str(), 0700);
    std::vector<std::string> argv = {"timeout", "120", "env",
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
    return run(argv);
}

// The test run inside passed (or was skipped there because no Secret Service could be started).
inline void expectPassedInside(const RunResult& r) {
    if (r.out.find("[  SKIPPED ]") != std::string::npos &&
        r.out.find("[  PASSED  ] 1 test") == std::string::npos) {
        GTEST_SKIP() << "no Secret Service could be started:\n" << r.out << r.err;
    }
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("[  PASSED  ] 1 test"), std::string::npos) << r.out << r.err;
}

// Runs one test of this program again inside a private session with its own gnome-keyring.
inline void runWithPrivateKeyring(const std::string& test) {
    if (!haveProgram("dbus-run-session") || !haveProgram("gnome-keyring-daemon")) {
        GTEST_SKIP() << "dbus-run-session or gnome-keyring-daemon is missing";
    }
    TempDir home;
    expectPassedInside(runInKeyringSession(test, home.path()));
}

}  // namespace testutil
