// pellon, the Dolphin and Nemo entry, beside a stand-in tindra; its link read back by the
// application's reader.
#include <gtest/gtest.h>

#include <QUrlQuery>

#include "HelperFixtures.h"
#include "app/PellonRequest.h"
#include "platform/Defaults.h"

using namespace helpers;

namespace {

const std::string key = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

QList<QPair<QString, QString>> items(const std::string& link) {
    return QUrlQuery(QUrl(QString::fromStdString(link))).queryItems(QUrl::FullyDecoded);
}

}  // namespace

TEST(Pellon, OnlyThePDFsGoInOneLinkWithTheKey) {
    User user;
    Copy copy(user.root / "prefijo");
    Defaults(user.defaultsFile()).setString("pellonKey", key);
    const fs::path a = user.file("a.pdf");
    const fs::path b = user.file("B.PDF");
    user.file("notas.txt");
    const auto done = run(user, copy.folder / "pellon",
                          {QStringLiteral("a.pdf"), QStringLiteral("notas.txt"), QString::fromStdString(b.string())});
    EXPECT_EQ(done.exitCode, 0);
    const auto calls = copy.calls(1);
    ASSERT_EQ(calls.size(), 1u);
    // The key is on no command line (any local user reads those in /proc): the link is in the
    // started application's environment.
    EXPECT_EQ(calls[0], std::vector<std::string>{});
    for (const std::string& argument : calls[0]) EXPECT_EQ(argument.find(key), std::string::npos) << argument;
    const auto links = copy.links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_TRUE(links[0].starts_with("tindra://firmar?clave=")) << links[0];
    const QList<QPair<QString, QString>> expected = {
        {QStringLiteral("clave"), QString::fromStdString(key)},
        {QStringLiteral("ruta"), QString::fromStdString(a.string())},
        {QStringLiteral("ruta"), QString::fromStdString(b.string())}};
    EXPECT_EQ(items(links[0]), expected);
}

TEST(Pellon, AwkwardPathsComeBackExactThroughTheReader) {
    User user;
    Copy copy(user.root / "prefijo");
    Defaults defaults(user.defaultsFile());
    defaults.setString("pellonKey", key);
    fs::create_directories(user.work / "d ñ&#+%;=?");
    const fs::path first = user.file("d ñ&#+%;=?/x y&#+%;ñ.pdf");
    const fs::path second = user.file("%41%20+.pdf");
    const auto done = run(user, copy.folder / "pellon",
                          {QString::fromStdString(first.string()), QString::fromStdString(second.string())});
    EXPECT_EQ(done.exitCode, 0);
    ASSERT_EQ(copy.calls(1).size(), 1u);
    const auto links = copy.links();
    ASSERT_EQ(links.size(), 1u);
    std::vector<std::string> logged;
    const auto files = PellonRequest::files(QString::fromStdString(links[0]), defaults,
                                            [&logged](std::string_view line) { logged.emplace_back(line); });
    EXPECT_EQ(files, (std::vector<fs::path>{first, second}));
    EXPECT_TRUE(logged.empty());
}

TEST(Pellon, AnAbsentKeyIsSentEmptyAndTheReaderRefusesIt) {
    User user;
    Copy copy(user.root / "prefijo");
    user.file("a.pdf");
    const auto done = run(user, copy.folder / "pellon", {QStringLiteral("a.pdf")});
    EXPECT_EQ(done.exitCode, 0);
    ASSERT_EQ(copy.calls(1).size(), 1u);
    const auto links = copy.links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_TRUE(links[0].starts_with("tindra://firmar?clave=&ruta=")) << links[0];

    Defaults defaults(user.defaultsFile());
    defaults.setString("pellonKey", key);
    std::vector<std::string> logged;
    EXPECT_TRUE(PellonRequest::files(QString::fromStdString(links[0]), defaults,
                                     [&logged](std::string_view line) { logged.emplace_back(line); })
                    .empty());
    EXPECT_EQ(logged, std::vector<std::string>{PellonRequest::wrongKeyLine});
}

TEST(Pellon, NoPDFStartsNothing) {
    User user;
    Copy copy(user.root / "prefijo");
    user.file("notas.txt");
    const auto done = run(user, copy.folder / "pellon", {QStringLiteral("notas.txt"), QStringLiteral(".pdf")});
    EXPECT_EQ(done.exitCode, 0);
    QTest::qWait(300);
    EXPECT_TRUE(copy.calls(0).empty());
}

TEST(Pellon, AFailureReasonWithPercentSignsIsPrintedAsIs) {
    User user;
    Copy copy(user.root / "%s %n", false);
    user.file("a.pdf");
    const auto done = run(user, copy.folder / "pellon", {QStringLiteral("a.pdf")});
    EXPECT_EQ(done.exitCode, 0);
    EXPECT_EQ(done.err, "Tindra: no se ha podido abrir la app: no se ha podido iniciar el programa «" +
                            (copy.folder / "tindra").string() + "»: no existe\n");
}
