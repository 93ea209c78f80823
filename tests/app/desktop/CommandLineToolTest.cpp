// The command-line link ~/.local/bin/tindra under a temporary home.
#include <gtest/gtest.h>

#include "DesktopFixtures.h"
#include "app/CommandLineTool.h"

using namespace desktop;

namespace {

struct CommandLineToolTest : ::testing::Test {
    testutil::TempDir root;
    fs::path home = root / "home";
    fs::path tool = installCopy(root / "pre fix") / "tindra";
    fs::path link = home / ".local" / "bin" / "tindra";
    std::vector<std::string> lines;

    CommandLineTool::Environment environment(const fs::path& executable) {
        return {executable, home, [this](std::string_view line) { lines.emplace_back(line); }};
    }
    CommandLineTool::Environment environment() { return environment(tool); }
};

}  // namespace

TEST_F(CommandLineToolTest, LinksWithItsFoldersAndLogsOnce) {
    CommandLineTool::install(environment());
    ASSERT_TRUE(isLink(link));
    EXPECT_EQ(fs::read_symlink(link), tool);
    EXPECT_EQ(lines, std::vector<std::string>{"Línea de comandos enlazada en " + link.string()});
    CommandLineTool::install(environment());  // already in place
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(CommandLineToolTest, ALinkToAnotherCopyIsPointedHere) {
    const fs::path other = installCopy(root / "vieja") / "tindra";
    CommandLineTool::install(environment(other));
    CommandLineTool::install(environment());
    EXPECT_EQ(fs::read_symlink(link), tool);
    EXPECT_EQ(lines.size(), 2u);
}

TEST_F(CommandLineToolTest, TheUsersFileOrLinkIsLeftAloneByBoth) {
    fs::create_directories(link.parent_path());
    testutil::writeFile(link, "#!/bin/sh\n");
    CommandLineTool::install(environment());
    CommandLineTool::uninstall(environment());
    EXPECT_FALSE(isLink(link));
    EXPECT_EQ(testutil::readFile(link), "#!/bin/sh\n");

    fs::remove(link);
    fs::create_symlink("/usr/bin/env", link);
    CommandLineTool::install(environment());
    CommandLineTool::uninstall(environment());
    EXPECT_EQ(fs::read_symlink(link), "/usr/bin/env");
    EXPECT_TRUE(lines.empty());
}

TEST_F(CommandLineToolTest, UninstallRemovesOurLinkAndKeepsTheFolder) {
    CommandLineTool::install(environment());
    CommandLineTool::uninstall(environment());
    EXPECT_FALSE(present(link));
    EXPECT_TRUE(fs::is_directory(link.parent_path()));
}

TEST_F(CommandLineToolTest, UninstallLeavesTheLinkOfAnotherCopy) {
    const fs::path other = installCopy(root / "otra") / "tindra";
    CommandLineTool::install(environment());
    CommandLineTool::install(environment(other));
    CommandLineTool::uninstall(environment());
    EXPECT_EQ(fs::read_symlink(link), other);
    CommandLineTool::uninstall(environment(other));
    EXPECT_FALSE(present(link));
}

TEST_F(CommandLineToolTest, ABuildTreeOrMissingToolLinksNothing) {
    makeExecutable(root / "build" / "app" / "main" / "tindra");
    CommandLineTool::install(environment(root / "build" / "app" / "main" / "tindra"));
    CommandLineTool::install(environment(root / "nada" / "lib" / "tindra" / "tindra"));
    EXPECT_FALSE(present(link));
    EXPECT_TRUE(lines.empty());
}

TEST_F(CommandLineToolTest, AFolderThatCannotBeMadeIsLogged) {
    fs::create_directories(home);
    testutil::writeFile(home / ".local", "no soy una carpeta");
    CommandLineTool::install(environment());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("No se ha podido enlazar la línea de comandos: ")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(".")) << lines[0];
}
