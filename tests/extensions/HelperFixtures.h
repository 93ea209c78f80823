#pragma once
// A user of the tests' own (home, XDG folders, a working folder) and the helpers run as programs:
// ostrel and pellon copied into an installed-looking folder beside a stand-in tindra that records
// each start's arguments.

#include <QDir>
#include <QProcess>
#include <QtTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestUtil.h"

namespace helpers {

namespace fs = std::filesystem;

inline fs::path buildDir() { return TINDRA_BUILD_DIR; }

struct User {
    testutil::TempDir temp;
    fs::path root = fs::canonical(temp.path());
    fs::path home = root / "home";
    fs::path work = root / "home" / "Documentos";
    fs::path state = root / "state";
    fs::path config = root / "config";
    fs::path data = root / "data";
    fs::path runtime = root / "run";

    User() {
        for (const auto& dir : {home, work, state, config, data, runtime}) fs::create_directories(dir);
        ::chmod(runtime.c_str(), 0700);
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
        env.insert(QStringLiteral("XDG_STATE_HOME"), QString::fromStdString(state.string()));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config.string()));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(data.string()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.string()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
    fs::path defaultsFile() const { return config / "tindra" / "defaults.json"; }
    fs::path file(const std::string& name) const {
        testutil::writeFile(work / name, "%PDF-1.4\n");
        return work / name;
    }
};

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program as the user, in the working folder, and waits for it; one that has not ended
// after `milliseconds` is killed and the test fails saying so.
inline Finished run(const User& user, const fs::path& program, const QStringList& arguments,
                    int milliseconds = 30000) {
    QProcess process;
    process.setProcessEnvironment(user.environment());
    process.setWorkingDirectory(QString::fromStdString(user.work.string()));
    process.start(QString::fromStdString(program.string()), arguments);
    Finished result;
    if (!process.waitForFinished(milliseconds)) {
        if (process.state() == QProcess::NotRunning) {
            result.err = program.string() + " could not be started.";
            return result;
        }
        process.kill();
        process.waitForFinished(5000);
        result.err = program.string() + " did not end within " +
                     std::to_string(milliseconds / 1000) + " s and was killed.";
        ADD_FAILURE() << result.err;
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

// lib/tindra under `prefix` with copies of the built helpers and, unless told otherwise, a
// stand-in tindra that appends "---" and then one line per argument to calls.txt beside it, and
// the TINDRA_LINK of its environment (empty when unset) as one line to links.txt.
struct Copy {
    fs::path folder;
    explicit Copy(const fs::path& prefix, bool withTindra = true) : folder(prefix / "lib" / "tindra") {
        fs::create_directories(folder);
        for (const char* helper : {"ostrel", "pellon"}) {
            fs::copy_file(buildDir() / "extensions" / helper, folder / helper);
        }
        if (withTindra) {
            testutil::writeFile(folder / "tindra",
                                "#!/bin/sh\nprintf '%s\\n' \"$TINDRA_LINK\" >> \"$(dirname \"$0\")/links.txt\"\n"
                                "{ echo ---; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                                ">> \"$(dirname \"$0\")/calls.txt\"\n");
            ::chmod((folder / "tindra").c_str(), 0755);
        }
    }
    // The recorded starts, once `count` of them have arrived (or after the wait).
    std::vector<std::vector<std::string>> calls(std::size_t count, int milliseconds = 5000) const {
        std::vector<std::vector<std::string>> result;
        (void)QTest::qWaitFor(
            [&] {
                result.clear();
                if (!fs::exists(folder / "calls.txt")) return count == 0;
                std::string all = testutil::readFile(folder / "calls.txt");
                std::size_t at = 0;
                while (at < all.size()) {
                    std::size_t end = all.find('\n', at);
                    if (end == std::string::npos) return false;  // still being written
                    const std::string line = all.substr(at, end - at);
                    if (line == "---") result.emplace_back();
                    else if (!result.empty()) result.back().push_back(line);
                    at = end + 1;
                }
                return result.size() >= count;
            },
            milliseconds);
        return result;
    }
    // The TINDRA_LINK of each recorded start, in order.
    std::vector<std::string> links() const {
        std::vector<std::string> result;
        if (!fs::exists(folder / "links.txt")) return result;
        const std::string all = testutil::readFile(folder / "links.txt");
        for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
            end = all.find('\n', at);
            if (end == std::string::npos) break;
            result.push_back(all.substr(at, end - at));
        }
        return result;
    }
};

}  // namespace helpers
