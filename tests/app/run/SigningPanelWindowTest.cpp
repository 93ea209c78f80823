// The application's signing window: the document window's panel with the menu bar.
#include <QApplication>
#include <QMenuBar>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "RunFakes.h"
#include "app/SigningWindow.h"
#include "support/PDFFixtures.h"

TEST(SigningPanelWindowTest, TheStandardFactoryGivesThePanelWithTheMenuBar) {
    testutil::TempDir docs;
    const auto file = docs / "a.pdf";
    testutil::writeFile(file, fixtures::textPDF(1));
    std::unique_ptr<SigningWindow> window =
        SigningWindow::standardFactory()({testCertificate()}, {file}, std::nullopt, std::nullopt);
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
