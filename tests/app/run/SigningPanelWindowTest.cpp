// The application's signing window: the document window's panel with the menu bar, and what it
// says of the files an arrival left out.
#include <QApplication>
#include <QMenuBar>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <QLabel>

#include "RunFakes.h"
#include "RunHarness.h"
#include "app/SigningWindow.h"
#include "support/PDFFixtures.h"

namespace fs = std::filesystem;

TEST(SigningPanelWindowTest, TheStandardFactoryGivesThePanelWithTheMenuBar) {
    testutil::TempDir docs;
    const auto file = docs / "a.pdf";
    testutil::writeFile(file, fixtures::textPDF(1));
    std::unique_ptr<SigningWindow> window =
        SigningWindow::standardFactory()({testCertificate()}, {file}, std::nullopt, std::nullopt, 1);
    ASSERT_TRUE(window);
    int answers = 0;
    std::optional<SigningOptions> answer;
    window->begin([&](std::optional<SigningOptions> options) {
        ++answers;
        answer = std::move(options);
    });
    QWidget* shown = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && top->findChild<QMenuBar*>()) shown = top;
    ASSERT_NE(shown, nullptr);
    QStringList menus;
    for (QAction* action : shown->findChild<QMenuBar*>()->actions()) menus << action->text();
    EXPECT_GE(menus.size(), 6) << menus.join(", ").toStdString();
    // Closing the window is a cancel.
    shown->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return answers > 0; }, 30000))
        << "Closing the window gave no answer within 30 s.";
    EXPECT_EQ(answers, 1);
    EXPECT_FALSE(answer);
}

// A selection larger than one arrival takes its first files; the window that receives them says
// how many came, whether the application cut them or the start that handed them over did.
TEST(SigningPanelWindowTest, AnArrivalCutToItsFirstFilesSaysSoInTheWindow) {
    RunHarness harness;
    testutil::TempDir docs;
    AppServices services = harness.services();
    services.certificates = [] { return std::vector<Certificate>{testCertificate()}; };
    services.engine = [] { return AnySigningEngine(std::make_shared<FakeEngine>()); };
    services.signingWindow = SigningWindow::standardFactory();
    AppDelegate delegate(services);
    auto shownNote = [&](const QString& title) -> QString {
        if (!QTest::qWaitFor([&] { return bool(delegate.signingPanel); }, 30000))
            return "(no window)";
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (!top->isVisible() || top->windowTitle() != title) continue;
            QString shown;
            for (QLabel* label : top->findChildren<QLabel*>())
                if (label->isVisible() && label->text().startsWith("Se han recibido"))
                    shown = label->text();
            top->close();  // a cancel: the run ends
            RunHarness::waitIdle(delegate);
            return shown;
        }
        return "(no window titled " + title + ")";
    };
    auto files = [&](int count) {
        QStringList made;
        for (int i = 0; i < count; ++i) {
            const fs::path file = docs / ("acta-" + std::to_string(i) + ".pdf");
            testutil::writeFile(file, "%PDF-1.4\n");
            made << QString::fromStdString(file.string());
        }
        return made;
    };

    delegate.open(files(1234));
    EXPECT_EQ(shownNote("Firmar 1000 documentos"),
              "Se han recibido 1234 documentos; se firman los 1000 primeros.");
    delegate.open(files(3), 2);
    EXPECT_EQ(shownNote("Firmar 3 documentos"),
              "Se han recibido 5 documentos; se firman los 3 primeros.");
    delegate.open(files(3));
    EXPECT_EQ(shownNote("Firmar 3 documentos"), "");
}
