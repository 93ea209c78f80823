// The helper's request log lists full paths of the user's documents: owner only, in a folder only
// the owner enters.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "HelperFixtures.h"

using namespace helpers;

namespace {

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

}  // namespace

TEST(RequestLog, IsTheOwnersOnlyInAPrivateFolder) {
    for (bool earlier : {false, true}) {
        User user;
        Copy copy(user.root / "prefijo");
        const fs::path folder = user.state / "tindra";
        const fs::path log = folder / "last-request.log";
        if (earlier) {
            // What an earlier version left: both open to others.
            fs::create_directories(folder);
            ::chmod(folder.c_str(), 0755);
            testutil::writeFile(log, "antes");
            ::chmod(log.c_str(), 0644);
        }
        const fs::path pdf = user.file("contrato.pdf");
        EXPECT_EQ(run(user, copy.folder / "ostrel", {QString::fromStdString(pdf.string())}).exitCode, 0);
        ASSERT_TRUE(fs::exists(log)) << earlier;
        EXPECT_NE(testutil::readFile(log).find(pdf.string()), std::string::npos);
        EXPECT_EQ(modeOf(log), 0600u) << earlier;
        EXPECT_EQ(modeOf(folder), 0700u) << earlier;
    }
}
