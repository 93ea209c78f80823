#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>
#include <thread>

#include "platform/Log.h"
#include "support/TestUtil.h"

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

const std::regex kLine(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*))");

TEST(TextLog, WritesTimeStampBlankMessageAndLineFeedCreatingTheFolder) {
    testutil::TempDir dir;
    TextLog log(dir / "Logs/deeper/Tindra.log");
    log.write("Firma completada: «contrato.pdf»");
    log.write("segunda");
    std::string text = testutil::readFile(log.path());
    ASSERT_EQ(text.back(), '\n');
    auto all = lines(text);
    ASSERT_EQ(all.size(), 2u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(all[0], m, kLine)) << all[0];
    EXPECT_EQ(m[1], "Firma completada: «contrato.pdf»");
    ASSERT_TRUE(std::regex_match(all[1], m, kLine));
    EXPECT_EQ(m[1], "segunda");
}

TEST(TextLog, AppendsBelowTheLimitAndRestartsAtIt) {
    testutil::TempDir dir;
    TextLog log(dir / "Tindra.log");
    testutil::writeFile(log.path(), std::string(199999, 'x'));
    log.write("añadida");
    std::string text = testutil::readFile(log.path());
    EXPECT_GT(text.size(), 200000u);
    EXPECT_EQ(text.substr(0, 199999), std::string(199999, 'x'));
    EXPECT_NE(text.find(" añadida\n", 199999), std::string::npos);

    log.write("nueva");
    auto all = lines(testutil::readFile(log.path()));
    ASSERT_EQ(all.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(all[0], m, kLine));
    EXPECT_EQ(m[1], "nueva");
}

TEST(TextLog, ExactlyTheLimitRestarts) {
    testutil::TempDir dir;
    TextLog log(dir / "Tindra.log");
    testutil::writeFile(log.path(), std::string(200000, 'x'));
    log.write("uno");
    EXPECT_EQ(lines(testutil::readFile(log.path())).size(), 1u);
}

TEST(TextLog, UnwritableLocationIsIgnored) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "file", "x");
    TextLog log(dir / "file/inside/Tindra.log");
    log.write("perdida");  // must neither throw nor crash
    SUCCEED();
}

TEST(TextLog, ConcurrentWritersKeepWholeLines) {
    testutil::TempDir dir;
    TextLog log(dir / "Tindra.log");
    auto writer = [&](char c) {
        for (int i = 0; i < 1000; ++i) log.write(std::string(40, c) + std::to_string(i));
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    auto all = lines(testutil::readFile(log.path()));
    ASSERT_EQ(all.size(), 2000u);
    int as = 0, bs = 0;
    for (const auto& line : all) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLine)) << line;
        std::string msg = m[1];
        ASSERT_GE(msg.size(), 41u);
        char c = msg[0];
        EXPECT_EQ(msg.substr(0, 40), std::string(40, c));
        (c == 'a' ? as : bs)++;
    }
    EXPECT_EQ(as, 1000);
    EXPECT_EQ(bs, 1000);
}

TEST(TextLog, ConcurrentWritersNeverLoseTheRestart) {
    testutil::TempDir dir;
    TextLog log(dir / "Tindra.log");
    // Lines of ~1 KB: the file restarts every ~195 lines; it must never grow far past the limit.
    auto writer = [&] {
        for (int i = 0; i < 2000; ++i) log.write(std::string(1000, 'z'));
    };
    std::thread a(writer), b(writer);
    a.join();
    b.join();
    auto size = std::filesystem::file_size(log.path());
    EXPECT_LT(size, TextLog::restartSize + 1100);
    for (const auto& line : lines(testutil::readFile(log.path()))) {
        ASSERT_TRUE(std::regex_match(line, kLine));
    }
}

TEST(Log, TimestampIsIsoUtc) {
    EXPECT_TRUE(std::regex_match(Log::timestamp(), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
}

// The log lists document names: owner only, in a folder only the owner enters, also when an
// earlier version left both open to others.
TEST(TextLog, TheLogAndItsFolderAreTheOwnersOnly) {
    testutil::TempDir dir;
    auto mode = [](const std::filesystem::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    const mode_t mask = ::umask(0);  // the widest modes a careless open would give
    TextLog fresh(dir / "state/tindra/Tindra.log");
    fresh.write("Firmado contrato-firmado.pdf");
    EXPECT_EQ(mode(fresh.path()), 0600u);
    EXPECT_EQ(mode(dir / "state/tindra"), 0700u);

    std::filesystem::create_directories(dir / "old");
    ::chmod((dir / "old").c_str(), 0755);
    testutil::writeFile(dir / "old/Tindra.log", "2026-01-01T00:00:00Z antes\n");
    ::chmod((dir / "old/Tindra.log").c_str(), 0644);
    TextLog old(dir / "old/Tindra.log");
    old.write("después");
    ::umask(mask);
    EXPECT_EQ(mode(old.path()), 0600u);
    EXPECT_EQ(mode(dir / "old"), 0700u);
    EXPECT_EQ(lines(testutil::readFile(old.path())).size(), 2u);
}

}  // namespace
