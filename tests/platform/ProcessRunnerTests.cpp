#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/ProcessRunner.h"

namespace {

ProcessResult sh(const std::string& script, const std::vector<std::string>& args = {},
                 const ProcessOptions& options = {}) {
    std::vector<std::string> all = {"-c", script, "sh"};
    all.insert(all.end(), args.begin(), args.end());
    return ProcessRunner::system().run("/bin/sh", all, options);
}

TEST(ProcessRunner, PassesEachArgumentUnchangedWithoutAShell) {
    std::vector<std::string> args = {"dos palabras", "",         "a\\nb",
                                     "$HOME",        "'\"`;|&*", "línea\nnueva"};
    auto result = sh("for a in \"$@\"; do printf '[%s]' \"$a\"; done", args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "[dos palabras][][a\\nb][$HOME]['\"`;|&*][línea\nnueva]");
}

TEST(ProcessRunner, MergesBothOutputsInOrderOrKeepsThemApart) {
    auto merged = sh("echo uno; echo dos >&2; echo tres");
    EXPECT_EQ(merged.output, "uno\ndos\ntres\n");
    EXPECT_TRUE(merged.errors.empty());

    ProcessOptions apart;
    apart.mergeErrors = false;
    auto separate = sh("echo uno; echo dos >&2; echo tres", {}, apart);
    EXPECT_EQ(separate.output, "uno\ntres\n");
    EXPECT_EQ(separate.errors, "dos\n");
}

TEST(ProcessRunner, ReportsExitCodesAndSignals) {
    EXPECT_EQ(sh("exit 3").status, 3);
    EXPECT_EQ(sh("kill -9 $$").status, 128 + 9);
}

TEST(ProcessRunner, ReadsLargeOutputWithoutStallingAndFeedsInput) {
    auto big = sh("head -c 3000000 /dev/zero; head -c 100000 /dev/zero >&2");
    EXPECT_EQ(big.status, 0);
    EXPECT_EQ(big.output.size(), 3100000u);

    ProcessOptions options;
    options.input = std::string(500000, 'x');
    auto echoed = ProcessRunner::system().run("cat", {}, options);
    EXPECT_EQ(echoed.output, *options.input);

    // Without input the child reads an empty standard input, never ours.
    EXPECT_EQ(ProcessRunner::system().run("cat", {}).output, "");
}

TEST(ProcessRunner, KeepsAtMostTheOutputLimitAndStillReadsToTheEnd) {
    // More than the limit on each stream: the rest is read and dropped, and the child is not
    // left blocked on a full pipe.
    const std::string over = std::to_string(ProcessRunner::maxOutput + 100000);
    auto merged = sh("head -c " + over + " /dev/zero; echo fin >&2; exit 4");
    EXPECT_EQ(merged.status, 4);
    EXPECT_EQ(merged.output.size(), ProcessRunner::maxOutput);

    ProcessOptions apart;
    apart.mergeErrors = false;
    auto separate = sh("head -c " + over + " /dev/zero >&2; echo fin", {}, apart);
    EXPECT_EQ(separate.status, 0);
    EXPECT_EQ(separate.errors.size(), ProcessRunner::maxOutput);
    EXPECT_EQ(separate.output, "fin\n");
}

TEST(ProcessRunner, ACommandThatIgnoresItsInputDoesNotKillUs) {
    ProcessOptions options;
    options.input = std::string(4 << 20, 'y');
    auto result = sh("exit 0", {}, options);
    EXPECT_EQ(result.status, 0);
}

TEST(ProcessRunner, LaunchFailuresAreSpanishErrors) {
    try {
        ProcessRunner::system().run("/nonexistent/java", {"-version"});
        FAIL() << "no error";
    } catch (const ProcessLaunchError& e) {
        EXPECT_EQ(e.error(), ENOENT);
        EXPECT_STREQ(e.what(),
                     "No se ha podido iniciar el programa «/nonexistent/java»: no existe.");
    }

    char folder[] = "/tmp/tindra-runner-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string plain = std::string(folder) + "/plain";
    std::ofstream(plain) << "not a program\n";
    ::chmod(plain.c_str(), 0644);
    EXPECT_THROW(ProcessRunner::system().run(plain, {}), ProcessLaunchError);
    std::remove(plain.c_str());
    ::rmdir(folder);
}

}  // namespace
