// ostrel, the Nautilus script, beside a stand-in tindra.
#include <gtest/gtest.h>

#include <regex>

#include "HelperFixtures.h"

using namespace helpers;

namespace {

std::vector<std::string> logLines(const User& user) {
    const fs::path file = user.state / "tindra" / "last-request.log";
    if (!fs::exists(file)) return {};
    const std::string all = testutil::readFile(file);
    EXPECT_FALSE(all.ends_with("\n"));
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (true) {
        const std::size_t end = all.find('\n', at);
        lines.push_back(all.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

// The message of a line after its "yyyy-MM-dd HH:mm:ss +0000 " stamp; empty when it has none.
std::string message(const std::string& line) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000 )");
    std::smatch match;
    if (!std::regex_search(line, match, stamp)) return {};
    return match.suffix();
}

}  // namespace

TEST(Ostrel, TwoPDFsStartTheApplicationOnceWithBothPaths) {
    User user;
    Copy copy(user.root / "prefijo");
    const fs::path a = user.file("a.pdf");
    const fs::path b = user.file("con blanco ñ.pdf");
    const auto done = run(user, copy.folder / "ostrel", {QStringLiteral("a.pdf"), QString::fromStdString(b.string())});
    EXPECT_EQ(done.exitCode, 0);

    const auto calls = copy.calls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{a.string(), b.string()}));
    const auto lines = logLines(user);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(message(lines[0]).starts_with("Adjuntos: [[\"application/pdf\"")) << lines[0];
    EXPECT_EQ(message(lines[1]), "Ficheros: [\"" + a.string() + "\", \"" + b.string() + "\"] → " +
                                     (copy.folder / "tindra").string());
    EXPECT_EQ(message(lines[2]), "App abierta");
}

TEST(Ostrel, FoldersAndOtherFilesArePassedOnAndOtherURIsIgnored) {
    User user;
    Copy copy(user.root / "prefijo");
    const fs::path notes = user.file("notas.txt");
    fs::create_directories(user.work / "carpeta");
    const auto done = run(user, copy.folder / "ostrel",
                          {QStringLiteral("carpeta"), QStringLiteral("https://example.org/a.pdf"),
                           QUrl::fromLocalFile(QString::fromStdString(notes.string())).toString()});
    EXPECT_EQ(done.exitCode, 0);
    const auto calls = copy.calls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{(user.work / "carpeta").string(), notes.string()}));
    const auto lines = logLines(user);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(message(lines[0]), "Adjuntos: [[\"inode/directory\"], [], [\"text/plain\", \"application/octet-stream\"]]");
}

TEST(Ostrel, ANonFileURIAloneStartsNothing) {
    User user;
    Copy copy(user.root / "prefijo");
    const auto done = run(user, copy.folder / "ostrel", {QStringLiteral("https://example.org/a.pdf")});
    EXPECT_EQ(done.exitCode, 0);
    QTest::qWait(300);
    EXPECT_TRUE(copy.calls(0).empty());
    const auto lines = logLines(user);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(message(lines[0]), "Adjuntos: [[]]");
    EXPECT_EQ(message(lines[1]), "Ficheros: [] → " + (copy.folder / "tindra").string());
}

TEST(Ostrel, AFailedStartIsLogged) {
    User user;
    Copy copy(user.root / "prefijo", false);
    user.file("a.pdf");
    const auto done = run(user, copy.folder / "ostrel", {QStringLiteral("a.pdf")});
    EXPECT_EQ(done.exitCode, 0);
    const auto lines = logLines(user);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(message(lines[2]), "Error al abrir la app: no se ha podido iniciar el programa «" +
                                     (copy.folder / "tindra").string() + "»: no existe");
}
