// The delegate's start-up, launch decision, windows and the arrival of files, with fakes.
#include <QtTest>
#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

#include "app/PellonRequest.h"
#include "app/Updates.h"
#include "platform/Preferences.h"
#include "ShellFakes.h"

using shellfakes::World;
namespace fs = std::filesystem;

namespace {

void touch(const fs::path& path) { std::ofstream(path) << "%PDF-1.4\n"; }

// Waits out the launch decision.
void waitLaunch() { QTest::qWait(450); }

std::string key() { return "0F8C2A4E-1B3D-4C5E-9F60-7A8B9C0D1E2F"; }

}  // namespace

TEST(Delegate, FirstLaunchShowsWelcomeThenHome) {
    World world;
    {
        AppDelegate delegate(world.services());
        delegate.applicationWillFinishLaunching();
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(world.lines.front(), "Arranque /work/build/app/main");
        EXPECT_TRUE(world.windows.welcomeShows.empty());
        waitLaunch();
        ASSERT_EQ(world.windows.welcomeShows.size(), 1u);
        EXPECT_EQ(world.windows.welcomeShows[0], 0);
        EXPECT_EQ(world.windows.lastCertificates, 2);
        EXPECT_FALSE(world.windows.lastInstalled);
        EXPECT_TRUE(Preferences::welcomeShown(world.defaults));
        EXPECT_TRUE(Preferences::formsWelcomeShown(world.defaults));
        EXPECT_TRUE(world.windows.homeShows.empty());
        // The welcome item while it is open brings it back to its first page.
        delegate.perform(MenuAction::showWelcomeWindow);
        EXPECT_EQ(world.windows.welcomeShows.size(), 2u);
        EXPECT_EQ(world.windows.welcomesMade, 1);
        // Closing it on the profile opens the home window there.
        delegate.welcome->onClose(HomeSection::profile);
        EXPECT_FALSE(delegate.welcome);
        ASSERT_EQ(world.windows.homeShows.size(), 1u);
        EXPECT_EQ(world.windows.homeShows[0], HomeSection::profile);
    }
    world.windows.homeShows.clear();
    AppDelegate next(world.services());
    next.applicationWillFinishLaunching();
    next.applicationDidFinishLaunching();
    waitLaunch();
    EXPECT_EQ(world.windows.welcomesMade, 1);
    ASSERT_EQ(world.windows.homeShows.size(), 1u);
    EXPECT_EQ(world.windows.homeShows[0], std::nullopt);
}

TEST(Delegate, FilesAtLaunchSuppressBothWindows) {
    World world;
    testutil::TempDir files;
    touch(files / "a.pdf");
    AppDelegate delegate(world.services());
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.busy = true;  // the run took them
    delegate.open({QString::fromStdString((files / "a.pdf").string())});
    waitLaunch();
    EXPECT_TRUE(world.windows.welcomeShows.empty());
    EXPECT_TRUE(world.windows.homeShows.empty());
    EXPECT_TRUE(world.logged("Recibidos 1 ficheros (ocupada)"));
}

TEST(Delegate, WelcomeClosedWhileBusyOpensNothing) {
    World world;
    AppDelegate delegate(world.services());
    delegate.showWelcome();
    delegate.busy = true;
    delegate.welcome->onClose(std::nullopt);
    EXPECT_TRUE(world.windows.homeShows.empty());
}

TEST(Delegate, NoWelcomeWindowActsAsClosedAtOnce) {
    World world;
    world.withWelcome = false;
    AppDelegate delegate(world.services());
    delegate.showWelcome();
    EXPECT_FALSE(delegate.welcome);
    ASSERT_EQ(world.windows.homeShows.size(), 1u);
    EXPECT_TRUE(Preferences::welcomeShown(world.defaults));
}

TEST(Delegate, ReopenShowsHomeOnlyWhenIdleAndHidden) {
    World world;
    AppDelegate delegate(world.services());
    delegate.busy = true;
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    EXPECT_TRUE(world.windows.homeShows.empty());
    delegate.busy = false;
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(true));
    EXPECT_TRUE(world.windows.homeShows.empty());
    EXPECT_TRUE(delegate.applicationShouldHandleReopen(false));
    ASSERT_EQ(world.windows.homeShows.size(), 1u);
    EXPECT_EQ(world.windows.homeShows[0], std::nullopt);
}

TEST(Delegate, ClosingHomeQuitsWhenIdle) {
    World world;
    AppDelegate delegate(world.services());
    delegate.showHome(HomeSection::settings);
    EXPECT_EQ(world.windows.homeShows.back(), HomeSection::settings);
    delegate.pending.push_back("/tmp/x.pdf");
    delegate.home->onClose();
    EXPECT_FALSE(delegate.home);
    EXPECT_EQ(world.quits, 0);
    delegate.pending.clear();
    delegate.showHome();
    delegate.home->onClose();
    EXPECT_EQ(world.quits, 1);
}

TEST(Delegate, MenuActionsOfTheApplication) {
    World world;
    AppDelegate delegate(world.services());
    delegate.perform(MenuAction::showSettings);
    delegate.perform(MenuAction::showProfile);
    delegate.perform(MenuAction::showHomeWindow);
    EXPECT_EQ(world.windows.homeShows,
              (std::vector<std::optional<HomeSection>>{HomeSection::settings, HomeSection::profile, std::nullopt}));
    EXPECT_EQ(world.windows.homesMade, 1);
    delegate.perform(MenuAction::openWebsite);
    ASSERT_EQ(world.urls.opened.size(), 1u);
    EXPECT_EQ(world.urls.opened[0], QUrl(QStringLiteral("https://tindra.calverin.es")));
    delegate.perform(MenuAction::showAbout);
    ASSERT_NE(delegate.aboutWindow(), nullptr);
    EXPECT_TRUE(delegate.aboutWindow()->isVisible());
    EXPECT_FALSE(delegate.aboutWindow()->isModal());
    delegate.aboutWindow()->close();
    delegate.perform(MenuAction::terminate);
    EXPECT_EQ(world.quits, 1);
    EXPECT_FALSE(delegate.canPerform(MenuAction::openHelp));  // no help window here
}

TEST(Delegate, InstalledCopyRegistersAtLaunch) {
    World world;
    world.executableFolder = QStringLiteral("/usr/lib/tindra");
    world.quickActionResult = true;
    AppDelegate delegate(world.services());
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(delegate.installed);
    EXPECT_TRUE(delegate.quickActionIsNew);
    EXPECT_EQ(world.quickActionInstalls, 1);
    EXPECT_EQ(world.toolInstalls, 1);

    World build;
    AppDelegate fromBuild(build.services());
    fromBuild.applicationDidFinishLaunching();
    EXPECT_FALSE(fromBuild.installed);
    EXPECT_FALSE(fromBuild.quickActionIsNew);
    EXPECT_EQ(build.quickActionInstalls, 0);
    EXPECT_EQ(build.toolInstalls, 0);
}

TEST(Delegate, InstalledPaths) {
    const QString home = QStringLiteral("/home/ana");
    EXPECT_TRUE(AppDelegate::isInstalledPath(QStringLiteral("/usr/lib/tindra/"), home));
    EXPECT_TRUE(AppDelegate::isInstalledPath(QStringLiteral("/opt/tindra/"), home));
    EXPECT_TRUE(AppDelegate::isInstalledPath(QStringLiteral("/home/ana/.local/lib/tindra/"), home));
    EXPECT_FALSE(AppDelegate::isInstalledPath(QStringLiteral("/usrold/lib/tindra/"), home));
    EXPECT_FALSE(AppDelegate::isInstalledPath(QStringLiteral("/home/ana/Descargas/tindra/"), home));
    EXPECT_FALSE(AppDelegate::isInstalledPath(QStringLiteral("/work/main/build/app/main/"), home));
    EXPECT_FALSE(AppDelegate::isInstalledPath(QStringLiteral("/home/ana/.localold/lib/"), home));
    EXPECT_FALSE(AppDelegate::isInstalledPath(QStringLiteral("/home/anabel/.local/lib/"), home));
}

// Updates.

namespace {

struct FailingUpdates : UpdateController {
    int starts = 0;
    void start() override {
        ++starts;
        throw std::runtime_error("sin servidor");
    }
    void checkForUpdates() override {}
};

}  // namespace

TEST(Updates, UnconfiguredLogsNothingAndFailureOneLine) {
    World world;
    auto failing = std::make_unique<FailingUpdates>();
    FailingUpdates* fake = failing.get();
    Updates::setController(std::move(failing));
    {
        AppDelegate delegate(world.services());
        delegate.applicationDidFinishLaunching();
        EXPECT_EQ(fake->starts, 0);
        EXPECT_EQ(world.lines.size(), 1u);  // "Arranque …" only
    }
    World configured;
    AppDelegate delegate([&] {
        AppServices s = configured.services();
        s.updatesConfigured = true;
        return s;
    }());
    delegate.applicationDidFinishLaunching();
    EXPECT_EQ(fake->starts, 1);
    ASSERT_EQ(configured.lines.size(), 2u);
    EXPECT_EQ(configured.lines[1], "No se ha podido iniciar el actualizador: sin servidor");
    waitLaunch();
    EXPECT_EQ(configured.windows.welcomeShows.size(), 1u);  // the launch went on
    Updates::setController(nullptr);
}

// Arrival.

TEST(Arrival, OpenRequestKeepsPDFs) {
    World world;
    testutil::TempDir docs;
    for (const char* name : {"a.pdf", "b.PDF", "notes.txt"}) touch(docs / name);
    const fs::path a = docs / "a.pdf", b = docs / "b.PDF";
    AppDelegate delegate(world.services());
    delegate.showHome();
    delegate.open({QString::fromStdString(a.string()), QString::fromStdString(b.string()),
                   QString::fromStdString((docs / "notes.txt").string())});
    EXPECT_TRUE(world.logged("Recibidos 3 ficheros"));
    EXPECT_EQ(delegate.pending, (std::vector<fs::path>{a, b}));
    // The same file again is added again.
    delegate.add({a});
    EXPECT_EQ(delegate.pending.size(), 3u);
    delegate.busy = true;
    delegate.open({QString::fromStdString(a.string())});
    EXPECT_TRUE(world.logged("Recibidos 1 ficheros (ocupada)"));
    EXPECT_EQ(delegate.pending.size(), 4u);
    delegate.pending.clear();
}

TEST(Arrival, OnlyRegularFilesJoinPendingAndAnArrivalIsBounded) {
    World world;
    testutil::TempDir docs;
    touch(docs / "real.pdf");
    ASSERT_EQ(::mkfifo((docs / "tubo.pdf").c_str(), 0600), 0);
    fs::create_directory(docs / "carpeta.pdf");
    fs::create_symlink("/dev/zero", docs / "dispositivo.pdf");
    fs::create_symlink("/proc/self/status", docs / "proceso.pdf");
    fs::create_symlink(docs / "real.pdf", docs / "enlace.pdf");
    AppDelegate delegate(world.services());
    delegate.showHome();
    delegate.add({docs / "tubo.pdf", docs / "carpeta.pdf", docs / "dispositivo.pdf", docs / "proceso.pdf",
                  docs / "falta.pdf", "real.pdf", docs / "enlace.pdf", docs / "real.pdf"});
    EXPECT_EQ(delegate.pending, (std::vector<fs::path>{docs / "enlace.pdf", docs / "real.pdf"}));
    EXPECT_TRUE(world.logged("Descartados 6 nombres de PDF que no son ficheros normales"));
    delegate.pending.clear();

    // Links and plain paths a second process or a web page may send.
    delegate.open({QStringLiteral("tindra:x/../") + QString::fromStdString((docs / "real.pdf").string()),
                   QStringLiteral("TINDRA:") + QString::fromStdString((docs / "real.pdf").string()),
                   QStringLiteral("real.pdf"), QStringLiteral("file:real.pdf"),
                   QStringLiteral("file://otro") + QString::fromStdString((docs / "real.pdf").string())});
    EXPECT_TRUE(world.logged("Recibidos 0 ficheros"));
    EXPECT_TRUE(delegate.pending.empty());
    delegate.open({QStringLiteral("file://localhost") + QString::fromStdString((docs / "real.pdf").string())});
    EXPECT_EQ(delegate.pending, std::vector<fs::path>{docs / "real.pdf"});
    delegate.pending.clear();

    // What one arrival may bring.
    std::vector<fs::path> many(1200, docs / "real.pdf");
    delegate.add(many);
    EXPECT_EQ(delegate.pending.size(), 1000u);
    EXPECT_TRUE(world.logged("Descartados 200 ficheros: se toman 1000 de cada vez"));
    delegate.pending.clear();
}

TEST(Arrival, HandOverLinkWithTheKey) {
    World world;
    world.defaults.setString(PellonRequest::keyName, key());
    testutil::TempDir files;
    touch(files / "existe.pdf");
    AppDelegate delegate(world.services());
    delegate.showHome();
    const QString link = QStringLiteral("tindra://firmar?clave=%1&ruta=%2&ruta=%3")
                             .arg(QString::fromStdString(key()),
                                  QString::fromStdString((files / "existe.pdf").string()),
                                  QString::fromStdString((files / "borrado.pdf").string()));
    delegate.open({link});
    EXPECT_EQ(delegate.pending, std::vector<fs::path>{files / "existe.pdf"});
    EXPECT_TRUE(world.logged("Recibidos 1 ficheros"));
    EXPECT_FALSE(world.logged(PellonRequest::wrongKeyLine));
    delegate.pending.clear();
}

TEST(Arrival, WrongKeyAtLaunchQuits) {
    World world;
    world.defaults.setString(PellonRequest::keyName, key());
    testutil::TempDir files;
    touch(files / "a.pdf");
    AppDelegate delegate(world.services());
    delegate.open({QStringLiteral("tindra://firmar?clave=00000000-0000-0000-0000-000000000000&ruta=") +
                   QString::fromStdString((files / "a.pdf").string())});
    ASSERT_EQ(world.lines.size(), 2u);
    EXPECT_EQ(world.lines[0], PellonRequest::wrongKeyLine);
    EXPECT_EQ(world.lines[1], "Recibidos 0 ficheros");
    EXPECT_EQ(world.quits, 1);
    EXPECT_TRUE(delegate.pending.empty());
}

TEST(Arrival, FilesArrivingCloseTheOpenPanel) {
    World world;
    AppDelegate delegate(world.services());
    delegate.chooseFiles();
    ASSERT_EQ(world.panels.calls.size(), 1u);
    const auto& options = world.panels.calls[0].options;
    EXPECT_EQ(options.title, QStringLiteral("Elegir los PDF que quieres firmar"));
    EXPECT_EQ(options.acceptLabel, QStringLiteral("Firmar"));
    EXPECT_EQ(options.mimeTypes, QStringList{QStringLiteral("application/pdf")});
    EXPECT_TRUE(options.multiple);
    EXPECT_EQ(world.panels.calls[0].parent, nullptr);  // no home window: a free panel
    testutil::TempDir docs;
    touch(docs / "soltado.pdf");
    touch(docs / "elegido.pdf");
    delegate.add({docs / "soltado.pdf"});
    EXPECT_EQ(world.panels.cancels, 1);
    EXPECT_EQ(delegate.pending, std::vector<fs::path>{docs / "soltado.pdf"});
    delegate.pending.clear();
    // With the home window visible, the panel belongs to it; its choice joins pending.
    delegate.showHome();
    delegate.chooseFiles();
    EXPECT_EQ(world.panels.calls[1].parent, &world.windows.homeWidget);
    world.panels.finish(std::vector<fs::path>{docs / "elegido.pdf", docs / "nota.txt"});
    EXPECT_EQ(delegate.pending, std::vector<fs::path>{docs / "elegido.pdf"});
    delegate.pending.clear();
    // A cancelled panel adds nothing.
    delegate.chooseFiles();
    world.panels.finish(std::nullopt);
    EXPECT_TRUE(delegate.pending.empty());
}

TEST(Arrival, TheOpenPanelComesBackToTheFolderLastUsed) {
    World world;
    testutil::TempDir docs;
    fs::create_directories(docs / "Solicitudes");
    touch(docs / "Solicitudes" / "a.pdf");
    {
        AppDelegate delegate(world.services());
        delegate.chooseFiles();
        EXPECT_EQ(world.panels.calls.back().options.folder, std::nullopt);
        world.panels.finish(std::vector<fs::path>{docs / "Solicitudes" / "a.pdf"});
    }
    // Kept in the defaults: the next start of the application opens the panel there.
    AppDelegate next(world.services());
    next.chooseFiles();
    EXPECT_EQ(world.panels.calls.back().options.folder,
              QString::fromStdString((docs / "Solicitudes").string()));
    world.panels.finish(std::nullopt);
    // A folder that is gone is not offered.
    fs::remove_all(docs / "Solicitudes");
    next.chooseFiles();
    EXPECT_EQ(world.panels.calls.back().options.folder, std::nullopt);
    world.panels.finish(std::nullopt);
}

TEST(Arrival, NoPDFWithAWindowDoesNothing) {
    World world;
    AppDelegate delegate(world.services());
    delegate.showHome();
    delegate.open({"/docs/notas.txt"});
    EXPECT_EQ(world.quits, 0);
    delegate.home.reset();
    delegate.busy = true;
    delegate.open({"/docs/notas.txt"});
    EXPECT_EQ(world.quits, 0);
    delegate.busy = false;
    delegate.open({"/docs/notas.txt"});
    EXPECT_EQ(world.quits, 1);
}

TEST(Arrival, SignAgain) {
    World world;
    testutil::TempDir files;
    touch(files / "original.pdf");
    AppDelegate delegate(world.services());
    delegate.showHome();
    RecentSignature entry;
    entry.path = (files / "original-firmado.pdf").string();
    delegate.signAgain(entry);  // no original recorded
    EXPECT_TRUE(delegate.pending.empty());
    EXPECT_FALSE(delegate.again);
    entry.original = (files / "borrado.pdf").string();
    delegate.signAgain(entry);  // original gone
    EXPECT_TRUE(delegate.pending.empty());
    entry.original = (files / "original.pdf").string();
    delegate.signAgain(entry);
    EXPECT_EQ(delegate.pending, std::vector<fs::path>{files / "original.pdf"});
    ASSERT_TRUE(delegate.again);
    EXPECT_EQ(delegate.again->path, entry.path);
    delegate.pending.clear();
}

// The application's side of the document window.

#include "app/AppHosts.h"
#include "document/DocumentContext.h"

TEST(AppHosts, DocumentWindowReachesTheApplication) {
    World world;
    AppServices services = world.services();
    std::vector<std::string> popped;
    services.helpPopover = [&popped](const std::string& section, QWidget*) { popped.push_back(section); };
    AppDelegate delegate(services);
    AppHosts hosts(delegate);
    DocumentContext saved = DocumentContext::standard();
    hosts.install();
    EXPECT_EQ(DocumentContext::standard().host, &hosts);
    EXPECT_EQ(DocumentContext::standard().alerts, &world.alerts);
    EXPECT_EQ(DocumentContext::standard().filePanels, &world.panels);
    DocumentContext::standard().host->showProfile();
    ASSERT_EQ(world.windows.homeShows.size(), 1u);
    EXPECT_EQ(world.windows.homeShows[0], HomeSection::profile);
    DocumentContext::standard().host->popHelp("formularios", nullptr);
    EXPECT_EQ(popped, std::vector<std::string>{"formularios"});
    testutil::TempDir files;
    touch(files / "Solicitud.pdf");
    touch(files / "Solicitud-rellenado.pdf");
    EXPECT_EQ(hosts.filledCopy(files / "Solicitud.pdf"), files / "Solicitud-rellenado-2.pdf");
    DocumentContext::standard() = saved;
}
