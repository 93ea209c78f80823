// The main road through the home window: the application shows it, a PDF is dropped on it, the
// signing window opens for that file, the signed copy is written beside it, and the home
// window's list shows the new entry.
#include <QDropEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMimeData>
#include <gtest/gtest.h>

#include "HomeFixtures.h"
#include "app/AppDelegate.h"
#include "app/run/RunFakes.h"
#include "app/run/RunHarness.h"

using namespace home;

TEST(MainRoad, DropOnTheHomeWindowSignsACopyBesideTheSource) {
    RunHarness harness;
    auto engine = std::make_shared<FakeEngine>();
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        return testOptions();
    };
    AppServices services = harness.services();
    services.engine = [engine] { return AnySigningEngine(engine); };
    services.certificates = [] { return std::vector<Certificate>{testCertificate()}; };
    World world;  // the home window's own fakes over the same defaults as the delegate
    services.homeWindow = [&](bool hint) {
        HomeWindow::Services s = world.services();
        s.defaults = &harness.defaults;
        return std::make_unique<HomeWindow>(hint, s);
    };
    AppDelegate delegate(services);
    delegate.showHome();
    ASSERT_TRUE(delegate.home);
    HomeWindow& home = *delegate.home;
    EXPECT_TRUE(home.items().empty());

    const auto source = world.folder.path() / "Solicitud.pdf";
    write(source, pagesPDF(1));
    const std::string sourceBytes = testutil::readFile(source);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.string()))});
    QWidget* target = static_cast<QMainWindow*>(home.window())->centralWidget();
    QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !harness.window.made.empty(); }, 60000))
        << "The dropped file gave no signing window within 60 s.";
    EXPECT_EQ(harness.window.made[0].files, std::vector<std::filesystem::path>{source});
    ASSERT_TRUE(RunHarness::waitIdle(delegate)) << "The run did not end within 60 s.";
    const auto output = world.folder.path() / "Solicitud-firmado.pdf";
    EXPECT_TRUE(std::filesystem::exists(output));
    EXPECT_EQ(testutil::readFile(source), sourceBytes);  // the source never changes
    // The run reloaded the home window's list.
    ASSERT_EQ(home.items().size(), 1u);
    EXPECT_EQ(home.items()[0].path, output.string());
    EXPECT_EQ(home.list()->count(), 1);
    home.window()->close();
    settle();
}
