// Windows of the shell: about, open panel, the update alert; the entry's switches.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#include <gtest/gtest.h>

#include "app/AboutWindow.h"
#include "app/Entry.h"
#include "app/UpdateController.h"
#include "ui/AlertPresenter.h"
#include "ui/FilePanelPresenter.h"
#include "qtsupport/Screenshots.h"
#include "ShellFakes.h"

TEST(ShellWindows, AboutWindow) {
    AboutWindow about;
    about.show();
    const QImage image = Screenshots::save(about, QStringLiteral("about"));
    EXPECT_EQ(about.size(), QSize(280, 240));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Acerca de Tindra"));
    EXPECT_FALSE(about.isModal());
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) texts << label->text();
    }
    EXPECT_TRUE(texts.contains(QStringLiteral("Tindra")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Versión 0.1")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Un proyecto de Calverin\ntindra.calverin.es")));
    auto* credits = about.findChild<QLabel*>(QStringLiteral("credits"));
    ASSERT_NE(credits, nullptr);
    EXPECT_EQ(credits->font().pixelSize(), 11);
    EXPECT_EQ(credits->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_NEAR(credits->palette().color(QPalette::WindowText).alphaF(), 0.5, 0.01);
    EXPECT_FALSE(image.isNull());
}

// "Acerca de Tindra" opens centred on the window it was asked from, as a window of it.
TEST(ShellWindows, AboutWindowOpensOverTheWindowThatAskedForIt) {
    QWidget opener;
    opener.setWindowTitle(QStringLiteral("Tindra"));
    opener.setGeometry(300, 120, 460, 400);
    opener.show();
    opener.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&opener));
    AboutWindow about;
    about.show();
    const QPoint centre = about.frameGeometry().center();
    const QPoint wanted = opener.frameGeometry().center();
    EXPECT_LE(std::abs(centre.x() - wanted.x()), 2);
    EXPECT_LE(std::abs(centre.y() - wanted.y()), 2);
    ASSERT_TRUE(about.windowHandle());
    EXPECT_EQ(about.windowHandle()->transientParent(), opener.windowHandle());
    // Shown again while open, it stays where the user has it.
    about.move(about.pos() + QPoint(40, 30));
    const QPoint moved = about.pos();
    about.show();
    EXPECT_EQ(about.pos(), moved);
}

// It has no menu bar of its own: "Cerrar" (Ctrl+W) and Escape pressed on it close it.
TEST(ShellWindows, CtrlWAndEscapeCloseTheAboutWindow) {
    AboutWindow about;
    for (const QKeyCombination keys : {QKeyCombination(Qt::ControlModifier, Qt::Key_W),
                                       QKeyCombination(Qt::NoModifier, Qt::Key_Escape)}) {
        SCOPED_TRACE(QKeySequence(keys).toString().toStdString());
        about.show();
        about.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
        QTest::keyClick(QApplication::activeWindow(), keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(about.isVisible());
    }
}

TEST(ShellWindows, OpenPanel) {
    EXPECT_TRUE(Entry::installSpanishTranslation());
    FilePanelPresenter::Options options;
    options.title = QStringLiteral("Elegir los PDF que quieres firmar");
    options.acceptLabel = QStringLiteral("Firmar");
    options.mimeTypes = {QStringLiteral("application/pdf")};
    testutil::TempDir folder;
    options.folder = QString::fromStdString(folder.path().string());
    std::unique_ptr<QFileDialog> dialog(FilePanelPresenter::makeDialog(options));
    dialog->resize(760, 480);
    dialog->show();
    Screenshots::save(*dialog, QStringLiteral("open-panel"));
    EXPECT_EQ(dialog->windowTitle(), options.title);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Firmar"));
    EXPECT_EQ(dialog->mimeTypeFilters(), options.mimeTypes);
    // The file type is named in Spanish whatever the session's language.
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("documento PDF (*.pdf)")});
    auto* box = dialog->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    bool firmar = false;
    for (QAbstractButton* button : box->buttons()) firmar |= button->text() == QLatin1String("Firmar");
    EXPECT_TRUE(firmar);
}

TEST(ShellWindows, OpenPanelCancelledByTheProgram) {
    FilePanelPresenter& panels = FilePanelPresenter::system();
    int calls = 0;
    bool chosen = true;
    panels.open({QStringLiteral("Elegir"), QStringLiteral("Firmar"), {}, true, std::nullopt, {}, {}}, nullptr,
                [&](std::optional<std::vector<std::filesystem::path>> files) {
                    ++calls;
                    chosen = files.has_value();
                });
    EXPECT_TRUE(panels.isOpen());
    panels.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 30000))
        << "The cancelled panel did not answer within 30 s.";
    EXPECT_FALSE(chosen);
    EXPECT_FALSE(panels.isOpen());
}

TEST(ShellWindows, UpdateAlert) {
    Entry::installSpanishTranslation();
    shellfakes::Alerts alerts;
    PackageManagerUpdates updates(&alerts);
    EXPECT_THROW(updates.start(), std::exception);
    updates.checkForUpdates();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, QStringLiteral("Buscar actualizaciones"));
    EXPECT_EQ(alerts.shown[0].text,
              QStringLiteral("Esta copia de Tindra se actualiza con el gestor de paquetes del sistema."));
    std::unique_ptr<QMessageBox> box(AlertPresenter::makeBox(alerts.shown[0]));
    box->show();
    Screenshots::save(*box, QStringLiteral("update-alert"));
    EXPECT_EQ(box->text(), QStringLiteral("Buscar actualizaciones"));
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), QStringLiteral("Aceptar"));
    EXPECT_GT(box->width(), 200);
}

TEST(Entry, Switches) {
    using Entry::Switch;
    EXPECT_EQ(Entry::switchIn({}), Switch::none);
    EXPECT_EQ(Entry::switchIn({"--install-quick-action"}), Switch::install);
    EXPECT_EQ(Entry::switchIn({"--uninstall-quick-action"}), Switch::uninstall);
    EXPECT_EQ(Entry::switchIn({"--uninstall-quick-action", "--install-quick-action"}), Switch::install);
    EXPECT_EQ(Entry::switchIn({"--Install-Quick-Action"}), Switch::none);
    EXPECT_EQ(Entry::switchIn({"a.pdf", "--install-quick-action=1"}), Switch::none);
}
