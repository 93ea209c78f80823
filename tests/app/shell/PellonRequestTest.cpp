// The file manager's hand-over link: scheme and host as written, the key, the paths.
#include <QUrl>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <fstream>

#include "app/PellonRequest.h"
#include "platform/Defaults.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

const std::string key = "0F8C2A4E-1B3D-4C5E-9F60-7A8B9C0D1E2F";

struct Fixture {
    testutil::TempDir folder;
    Defaults defaults{folder.path() / "defaults.json"};
    std::vector<std::string> lines;
    PellonRequest::LogLine log = [this](std::string_view line) { lines.emplace_back(line); };

    Fixture() { defaults.setString(PellonRequest::keyName, key); }

    fs::path file(const std::string& name) {
        const fs::path path = folder.path() / name;
        std::ofstream(path) << "%PDF-1.4\n";
        return path;
    }

    std::vector<fs::path> files(const QString& link) { return PellonRequest::files(link, defaults, log); }
};

// The link as the file manager's helper builds it.
QString linkFor(const std::string& clave, const std::vector<fs::path>& paths) {
    QUrl url;
    url.setScheme(QStringLiteral("tindra"));
    url.setHost(QStringLiteral("firmar"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("clave"), QString::fromStdString(clave));
    for (const auto& path : paths) query.addQueryItem(QStringLiteral("ruta"), QString::fromStdString(path.string()));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

}  // namespace

TEST(PellonRequest, ExistingFilesInOrder) {
    Fixture f;
    const fs::path a = f.file("a.pdf");
    const fs::path b = f.file("b.pdf");
    EXPECT_EQ(f.files(linkFor(key, {b, f.folder / "borrado.pdf", a})), (std::vector<fs::path>{b, a}));
    EXPECT_TRUE(f.lines.empty());
}

TEST(PellonRequest, PathsComeBackExactly) {
    Fixture f;
    std::vector<fs::path> paths;
    for (const char* name : {"con blancos.pdf", "año ñ.pdf", "a&b.pdf", "c#d.pdf", "e+f.pdf", "g%20h%.pdf",
                             "i;j.pdf", "k=l?.pdf"}) {
        paths.push_back(f.file(name));
    }
    EXPECT_EQ(f.files(linkFor(key, paths)), paths);
}

TEST(PellonRequest, SchemeAndHostAsWritten) {
    Fixture f;
    const fs::path a = f.file("a.pdf");
    QString link = linkFor(key, {a});
    EXPECT_EQ(f.files(link).size(), 1u);
    EXPECT_TRUE(f.files(QString(link).replace(QStringLiteral("tindra://firmar"), QStringLiteral("tindra://Firmar"))).empty());
    EXPECT_TRUE(f.files(QString(link).replace(QStringLiteral("tindra://firmar"), QStringLiteral("TINDRA://firmar"))).empty());
    EXPECT_TRUE(f.files(QString(link).replace(QStringLiteral("tindra://firmar"), QStringLiteral("tindra://firmarx"))).empty());
    EXPECT_TRUE(f.files(QString(link).replace(QStringLiteral("tindra://firmar"), QStringLiteral("tindra://x@firmar"))).empty());
    EXPECT_TRUE(f.files(QStringLiteral("tindra://firmar")).empty());
    EXPECT_TRUE(f.files(QStringLiteral("https://firmar?clave=") + QString::fromStdString(key)).empty());
    EXPECT_TRUE(f.lines.empty());  // none of these reached the key
}

TEST(PellonRequest, KeyRules) {
    Fixture f;
    const fs::path a = f.file("a.pdf");
    const QString path = QString::fromStdString(a.string());
    const QString k = QString::fromStdString(key);
    // The first "clave" counts; "ruta" before it is collected.
    EXPECT_EQ(f.files(QStringLiteral("tindra://firmar?ruta=%1&clave=%2&clave=otra").arg(path, k)).size(), 1u);
    EXPECT_TRUE(f.files(QStringLiteral("tindra://firmar?clave=otra&clave=%2&ruta=%1").arg(path, k)).empty());
    EXPECT_EQ(f.lines.size(), 1u);
    EXPECT_TRUE(f.files(QStringLiteral("tindra://firmar?ruta=%1").arg(path)).empty());
    EXPECT_TRUE(f.files(QStringLiteral("tindra://firmar?clave=&ruta=%1").arg(path)).empty());
    EXPECT_TRUE(f.files(QStringLiteral("tindra://firmar?")).empty());
    EXPECT_EQ(f.lines.size(), 4u);
    for (const auto& line : f.lines) EXPECT_EQ(line, PellonRequest::wrongKeyLine);
}

TEST(PellonRequest, AnEmptyOrMalformedStoredKeyMatchesNothing) {
    Fixture f;
    const fs::path a = f.file("a.pdf");
    f.defaults.setString(PellonRequest::keyName, "");
    EXPECT_TRUE(f.files(linkFor("", {a})).empty());
    f.defaults.setString(PellonRequest::keyName, "0f8c2a4e-1b3d-4c5e-9f60-7a8b9c0d1e2f");
    EXPECT_TRUE(f.files(linkFor("0f8c2a4e-1b3d-4c5e-9f60-7a8b9c0d1e2f", {a})).empty());
    f.defaults.remove(PellonRequest::keyName);
    EXPECT_TRUE(f.files(linkFor(key, {a})).empty());
    EXPECT_EQ(f.lines.size(), 3u);
}

TEST(PellonRequest, OnlyAbsolutePathsOfRegularFiles) {
    Fixture f;
    const fs::path a = f.file("a.pdf");
    fs::create_directory(f.folder / "carpeta.pdf");
    EXPECT_EQ(f.files(linkFor(key, {"a.pdf", f.folder / "carpeta.pdf", a})), std::vector<fs::path>{a});
}

TEST(PellonRequest, PrepareKeyReplacesWhatIsNotAKey) {
    Fixture f;
    EXPECT_EQ(PellonRequest::prepareKey(f.defaults), key);  // a good key stays
    for (const char* bad : {"", "clave", "0f8c2a4e-1b3d-4c5e-9f60-7a8b9c0d1e2f"}) {
        f.defaults.setString(PellonRequest::keyName, bad);
        const std::string made = PellonRequest::prepareKey(f.defaults);
        EXPECT_TRUE(PellonRequest::isValidKey(made)) << made;
        EXPECT_EQ(f.defaults.string(PellonRequest::keyName), made);
        EXPECT_EQ(PellonRequest::prepareKey(f.defaults), made);
    }
    f.defaults.remove(PellonRequest::keyName);
    EXPECT_TRUE(PellonRequest::isValidKey(PellonRequest::prepareKey(f.defaults)));
}
