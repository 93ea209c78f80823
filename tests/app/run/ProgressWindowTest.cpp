// The progress window: texts, buttons, closing once, the automatic close, a long name; and the
// screenshots of its states, of the failure alerts and of the password dialog.
#include "app/KeyPasswordPresenter.h"
#include "app/ProgressWindow.h"
#include "app/SigningRun.h"
#include "ui/AlertPresenter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextLayout>
#include <QTest>
#include <gtest/gtest.h>

#include "qtsupport/Screenshots.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Recorder {
    std::vector<std::vector<fs::path>> revealed;
    std::vector<fs::path> opened;
    ProgressWindow::Actions actions() {
        return {[this](const std::vector<fs::path>& files) { revealed.push_back(files); },
                [this](const fs::path& file) { opened.push_back(file); }};
    }
};

QStringList visibleButtons(const ProgressWindow& window) {
    QStringList titles;
    for (QPushButton* button : {window.revealButton(), window.openButton(), window.doneButton()})
        if (button->isVisibleTo(window.window())) titles << button->text();
    return titles;
}

void expectSize(const QImage& image, QWidget* window) {
    EXPECT_EQ(window->size(), QSize(440, 96));
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(440, 96));
}

}  // namespace

TEST(ProgressWindowTest, PreparingThenProgressWithALongNameKeepsTheWidth) {
    ProgressWindow window;
    window.show();
    EXPECT_EQ(window.text(), "Preparando la firma…");
    EXPECT_EQ(window.window()->windowTitle(), "Firmando");
    EXPECT_TRUE(visibleButtons(window).isEmpty());
    EXPECT_TRUE(window.spinner()->isVisibleTo(window.window()));
    expectSize(Screenshots::save(*window.window(), "progress-preparing"), window.window());

    const QString longName =
        "Solicitud de subvención para la rehabilitación energética de edificios residenciales "
        "del ayuntamiento de Valladolid, convocatoria 2026, anexo III.pdf";
    window.update("Firmando 2 de 4: «" + longName + "»…");
    QImage shot = Screenshots::save(*window.window(), "progress-running-long-name");
    expectSize(shot, window.window());
    EXPECT_EQ(window.text(), "Firmando 2 de 4: «" + longName + "»…");
    // The label stays inside the window; its text is cut in the middle (the end stays in view).
    QRect label = window.label()->geometry();
    EXPECT_LE(label.right(), 440 - 20);
    QString shown = window.label()->fontMetrics().elidedText(window.text(), Qt::ElideMiddle,
                                                             window.label()->contentsRect().width());
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_TRUE(shown.endsWith("III.pdf»…"));
}

TEST(ProgressWindowTest, OneFileResultHasThreeButtonsAndReturnCloses) {
    Recorder recorder;
    ProgressWindow window(recorder.actions());
    window.show();
    window.complete({"/docs/Solicitud-firmado.pdf"});
    int closes = 0;
    window.onClose = [&] { ++closes; };
    EXPECT_EQ(window.text(), "✓ Guardado como «Solicitud-firmado.pdf»");
    EXPECT_EQ(visibleButtons(window),
              (QStringList{"Mostrar en la carpeta", "Abrir", "Aceptar"}));
    EXPECT_FALSE(window.spinner()->isVisibleTo(window.window()));
    expectSize(Screenshots::save(*window.window(), "progress-one-file"), window.window());
    // The long title keeps room around its text, and the three buttons stay apart in the window.
    QPushButton* reveal = window.revealButton();
    EXPECT_GE(reveal->width(), reveal->fontMetrics().horizontalAdvance(reveal->text()) + 20);
    EXPECT_LT(reveal->geometry().right(), window.openButton()->geometry().left());
    EXPECT_LT(window.openButton()->geometry().right(), window.doneButton()->geometry().left());
    EXPECT_LE(window.doneButton()->geometry().right(), 440 - 16);

    QTest::keyClick(window.window(), Qt::Key_Return);
    EXPECT_TRUE(window.isClosed());
    EXPECT_FALSE(window.window()->isVisible());
    EXPECT_EQ(closes, 1);
    window.close();
    EXPECT_EQ(closes, 1);
}

TEST(ProgressWindowTest, ThreeFileResultRevealsThemAll) {
    Recorder recorder;
    ProgressWindow window(recorder.actions());
    window.show();
    std::vector<fs::path> files{"/d/a-firmado.pdf", "/d/b-firmado.pdf", "/d/c-firmado.pdf"};
    window.complete(files);
    EXPECT_EQ(window.text(), "✓ 3 documentos firmados");
    EXPECT_EQ(visibleButtons(window), (QStringList{"Mostrar en la carpeta", "Aceptar"}));
    expectSize(Screenshots::save(*window.window(), "progress-three-files"), window.window());
    window.revealButton()->click();
    ASSERT_EQ(recorder.revealed.size(), 1u);
    EXPECT_EQ(recorder.revealed[0], files);
    EXPECT_TRUE(window.isClosed());
}

TEST(ProgressWindowTest, OpenThenTheTimerDoesNotCloseTwice) {
    Recorder recorder;
    ProgressWindow window(recorder.actions());
    window.setAutoCloseDelay(30ms);
    window.show();
    window.complete({"/d/a-firmado.pdf"});
    int closes = 0;
    window.onClose = [&] { ++closes; };
    window.openButton()->click();
    EXPECT_EQ(recorder.opened, std::vector<fs::path>{"/d/a-firmado.pdf"});
    QTest::qWait(120);
    EXPECT_EQ(closes, 1);
}

TEST(ProgressWindowTest, TheResultClosesByItselfOnceAndAReleasedWindowIsLeftAlone) {
    auto window = std::make_unique<ProgressWindow>();
    window->setAutoCloseDelay(30ms);
    window->show();
    window->complete({"/d/a-firmado.pdf"});
    int closes = 0;
    window->onClose = [&] { ++closes; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return closes > 0; }, 30000))
        << "The result did not close within 30 s.";
    QTest::qWait(60);
    EXPECT_EQ(closes, 1);

    auto released = std::make_unique<ProgressWindow>();
    released->setAutoCloseDelay(20ms);
    released->complete({"/d/a-firmado.pdf"});
    released.reset();
    QTest::qWait(60);  // the timer finds nothing
}

TEST(ProgressWindowTest, AWindowManagerCloseIsIgnoredUntilTheResult) {
    ProgressWindow window;
    window.show();
    int closes = 0;
    window.onClose = [&] { ++closes; };
    window.window()->close();
    EXPECT_TRUE(window.window()->isVisible());
    EXPECT_FALSE(window.isClosed());
    window.complete({"/d/a-firmado.pdf", "/d/b-firmado.pdf"});
    window.window()->close();
    EXPECT_TRUE(window.isClosed());
    EXPECT_EQ(closes, 1);
}

TEST(OutcomeAlertTest, FailureAlertsScreenshots) {
    std::vector<std::pair<fs::path, std::string>> failures{
        {"/d/roto.pdf", "El archivo no es un PDF: no empieza por «%PDF-»."},
        {"/d/c.pdf", "No se ha podido leer «c.pdf»: no hay permiso."}};
    for (bool someSigned : {false, true}) {
        AlertPresenter::Alert alert;
        alert.style = AlertPresenter::Style::warning;
        alert.title = QString::fromStdString(SigningRun::failureTitle(someSigned));
        alert.text = QString::fromStdString(SigningRun::failureText(failures));
        std::unique_ptr<QMessageBox> box(AlertPresenter::makeBox(alert));
        EXPECT_EQ(box->text(), someSigned ? "Algunos PDF no se han podido firmar"
                                          : "No se ha podido firmar");
        EXPECT_EQ(box->informativeText(),
                  "«roto.pdf»: El archivo no es un PDF: no empieza por «%PDF-».\n\n"
                  "«c.pdf»: No se ha podido leer «c.pdf»: no hay permiso.");
        EXPECT_EQ(box->buttons().size(), 1);
        QImage shot = Screenshots::save(*box, someSigned ? "alert-some-failed" : "alert-all-failed");
        EXPECT_GT(shot.width(), 200);
    }
}

// A sentence with a long file name is shown whole: no line of the explanation runs past the
// label's edge, and no character is lost.
TEST(OutcomeAlertTest, ALongFileNameIsShownWhole) {
    const QString longName = QString(200, QLatin1Char('x')) + QStringLiteral("-firmado.pdf");
    for (const QString& name : {QStringLiteral("solicitud-de-subvencion-ayuntamiento-firmado.pdf"),
                                longName}) {
        AlertPresenter::Alert alert;
        alert.style = AlertPresenter::Style::warning;
        alert.title = QStringLiteral("No se ha podido firmar");
        alert.text = QStringLiteral("«solicitud.pdf»: No se ha podido guardar «") + name +
                     QStringLiteral("»: no queda espacio en el disco.");
        std::unique_ptr<QMessageBox> box(AlertPresenter::makeBox(alert));
        box->show();
        QApplication::processEvents();
        auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        ASSERT_TRUE(label);
        QString shown = label->text();
        EXPECT_EQ(shown.remove(QChar(0x200B)), alert.text);
        // The label's own layout: word wrapping at its width.
        const int width = label->contentsRect().width();
        QTextLayout layout(label->text(), label->font());
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        int lines = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            EXPECT_LE(line.naturalTextWidth(), width + 1.0) << line.textStart();
            ++lines;
        }
        layout.endLayout();
        EXPECT_GE(label->height(), lines * label->fontMetrics().lineSpacing());
        EXPECT_LE(box->width(), box->screen()->availableGeometry().width());
        Screenshots::save(*box, name == longName ? "alert-long-name" : "alert-file-name");
    }
}

TEST(KeyPasswordDialogTest, AsksForTheTokenPasswordAndSaysWhenItWasWrong) {
    KeyPasswordDialog first(internalTokenName, false);
    EXPECT_EQ(first.windowTitle(), "Contraseña del almacén de certificados");
    EXPECT_EQ(first.messageLabel()->text(), "Escribe la contraseña del almacén de certificados para firmar.");
    // A smart card keeps its own name.
    EXPECT_EQ(KeyPasswordDialog::message("DNIe"), "Escribe la contraseña de «DNIe» para firmar.");
    EXPECT_FALSE(first.retryLabel()->isVisibleTo(&first));
    EXPECT_EQ(first.passwordField()->echoMode(), QLineEdit::Password);
    QImage shot = Screenshots::save(first, "password-dialog");
    EXPECT_GT(shot.height(), 80);

    KeyPasswordDialog retry(internalTokenName, true);
    EXPECT_TRUE(retry.retryLabel()->isVisibleTo(&retry));
    EXPECT_EQ(retry.retryLabel()->text(), "La contraseña no es correcta. Escríbela de nuevo.");
    QStringList buttons;
    for (QPushButton* button : retry.findChildren<QPushButton*>()) buttons << button->text();
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{"Aceptar", "Cancelar"}));
    Screenshots::save(retry, "password-dialog-retry");
}
