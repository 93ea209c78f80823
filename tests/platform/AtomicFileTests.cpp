#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/AtomicFile.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tindra-atomic-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::vector<std::string> names() {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(folder))
            all.push_back(entry.path().filename());
        std::sort(all.begin(), all.end());
        return all;
    }

    fs::path folder;
};

TEST_F(AtomicFileTest, WritesAndReplacesKeepingPermissions) {
    auto target = folder / "doc-firmado.pdf";
    AtomicFile::write(target, "primero");
    EXPECT_EQ(read(target), "primero");
    ::chmod(target.c_str(), 0600);
    AtomicFile::write(target, std::string("segundo\0x", 9));
    EXPECT_EQ(read(target), std::string("segundo\0x", 9));
    struct stat info {};
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(names(), std::vector<std::string>{"doc-firmado.pdf"});
}

TEST_F(AtomicFileTest, TemporaryNamesFollowTheTindraPattern) {
    std::regex created(
        "\\.tindra-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\\.pdf");
    std::regex replacing("\\.tindra-[0-9A-F-]{36}\\.pdf");
    auto a = AtomicFile::temporaryPath(folder / "x.pdf", false);
    auto b = AtomicFile::temporaryPath(folder / "x.pdf", true);
    EXPECT_EQ(a.parent_path(), folder);
    EXPECT_TRUE(std::regex_match(a.filename().string(), created)) << a;
    EXPECT_TRUE(std::regex_match(b.filename().string(), replacing)) << b;
    EXPECT_NE(AtomicFile::uuid(), AtomicFile::uuid());
}

TEST_F(AtomicFileTest, AMissingFolderFailsWithASpanishSentence) {
    try {
        AtomicFile::write(folder / "no" / "x.pdf", "datos");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No se ha podido guardar «x.pdf»: no existe.");
    }
    EXPECT_EQ(names(), std::vector<std::string>{});
}

// A write that fails half-way (the file size limit stands in for a full disk) leaves the old file
// as it was and no temporary file behind.
TEST_F(AtomicFileTest, AFailedWriteLeavesTheOldFileUntouched) {
    auto target = folder / "doc.pdf";
    put(target, "original");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            AtomicFile::write(target, std::string(100000, 'z'));
        } catch (const std::runtime_error& e) {
            _exit(std::string(e.what()) ==
                          "No se ha podido guardar «doc.pdf»: el archivo es demasiado grande."
                      ? 7
                      : 8);
        }
        _exit(9);
    }
    const testutil::ChildEnd end = testutil::waitForChild(child, "the child that writes past the size limit");
    ASSERT_FALSE(end.timedOut) << end.sentence;
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(WEXITSTATUS(end.status), 7);
    EXPECT_EQ(read(target), "original");
    EXPECT_EQ(names(), std::vector<std::string>{"doc.pdf"});
}

// A process killed at any moment of the write leaves the old contents or the complete new ones
// under the final name, never a mixture or a truncated file.
TEST_F(AtomicFileTest, AKillDuringTheWriteNeverTruncatesTheTarget) {
    auto target = folder / "out.pdf";
    const std::string old(300000, 'o');
    const std::string fresh(3000000, 'n');
    put(target, old);
    for (int round = 0; round < 12; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) AtomicFile::write(target, round % 2 ? fresh : old);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(3000 + 1700 * round));
        kill(child, SIGKILL);
        const testutil::ChildEnd end = testutil::waitForChild(child, "the writing child after SIGKILL");
        ASSERT_FALSE(end.timedOut) << end.sentence;
        std::string now = read(target);
        EXPECT_TRUE(now == old || now == fresh) << "round " << round << " size " << now.size();
        for (const auto& name : names()) {
            if (name != "out.pdf") fs::remove(folder / name);  // stray temporary file of the kill
        }
    }
}

}  // namespace
