// The options pane: switches stored at once, the AI status, the key control in place, the usage
// group, the log page in place, the width of the options; screenshots of its states.
#include <gtest/gtest.h>

#include "ui/Switch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/ColorView.h"
#include "ui/Palette.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Preferences.h"
#include "qtsupport/Screenshots.h"
#include "settings/AIKeyControl.h"
#include "settings/AILogPage.h"
#include "settings/AILogTableModel.h"
#include "settings/SettingsPane.h"
#include "settings/SettingsRow.h"
#include "settings/ToneLabel.h"
#include "signing/CardLayout.h"
#include "LogGenerator.h"

using namespace settingstest;

namespace {
const bool inMadrid = madrid();

QStringList texts(QWidget* root) {
    QStringList all;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (label->isVisibleTo(root)) {
            auto* tone = qobject_cast<ToneLabel*>(label);
            all << (tone ? tone->fullText() : label->text());
        }
    }
    return all;
}

QPalette darkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 32));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 240));
    dark.setColor(QPalette::Base, QColor(40, 40, 44));
    dark.setColor(QPalette::Text, QColor(235, 235, 240));
    dark.setColor(QPalette::Button, QColor(60, 60, 64));
    dark.setColor(QPalette::ButtonText, QColor(235, 235, 240));
    return dark;
}

struct Pane : ::testing::Test {
    Context c;
    std::unique_ptr<SettingsPane> pane;

    void make(int width = 800, int height = 1100) {
        pane = std::make_unique<SettingsPane>(nullptr, c.context);
        pane->view()->resize(width, height);
        pane->view()->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pane->view()));
        QCoreApplication::processEvents();
    }
    QString aiText() const { return pane->aiDetail()->text(); }
    QColor aiColour() const { return pane->aiDetail()->palette().color(QPalette::WindowText); }
    QWidget* allCalls() const { return pane->usage()->findChild<QWidget*>("allCalls"); }
    QImage shot(const QString& name) {
        QCoreApplication::processEvents();
        return Screenshots::save(*pane->view(), name);
    }
};
}  // namespace

TEST_F(Pane, SwitchesAreStoredAtOnce) {
    ASSERT_TRUE(inMadrid);
    make();
    EXPECT_FALSE(pane->fullID()->isChecked());
    EXPECT_TRUE(pane->branding()->isChecked());
    EXPECT_FALSE(pane->fillForms()->isChecked());
    EXPECT_TRUE(pane->aiSwitch()->isChecked());
    // Switches in rows take the small size.
    EXPECT_TRUE(qobject_cast<Switch*>(pane->fullID())->isSmall());
    EXPECT_LT(pane->fullID()->sizeHint().height(), Switch().sizeHint().height());
    QTest::mouseClick(pane->fullID(), Qt::LeftButton);
    QTest::mouseClick(pane->fillForms(), Qt::LeftButton);
    Defaults reread(c.dir / "defaults.json");
    EXPECT_TRUE(Preferences::showFullID(reread));
    EXPECT_TRUE(Preferences::showBranding(reread));
    EXPECT_TRUE(Preferences::fillForms(reread));

    // A defaults file that cannot be written: logged, and the switch shows what is stored.
    Defaults broken("/dev/null/tindra/defaults.json");
    c.context.defaults = &broken;
    QTest::mouseClick(pane->branding(), Qt::LeftButton);
    EXPECT_TRUE(pane->branding()->isChecked());
    EXPECT_TRUE(Preferences::showBranding(broken));
    ASSERT_FALSE(c.logged.empty());
    EXPECT_EQ(c.logged.back().rfind("No se ha podido guardar la opción «", 0), 0u);
    c.context.defaults = c.defaults.get();
}

TEST_F(Pane, AIStatusFollowsTheSwitchAndTheKey) {
    make();
    EXPECT_TRUE(aiText().startsWith("Falta la clave de OpenRouter:"));
    EXPECT_EQ(aiColour(), Palette::orange(pane->aiDetail()->palette()));

    // Storing a key unchecked: the pane says "Activado." and the control keeps its orange note.
    c.keys.answer = std::nullopt;
    pane->keyControl()->field()->setText("sk-or-x");
    pane->keyControl()->save();
    c.runner.runAll();
    EXPECT_TRUE(aiText().startsWith("Activado."));
    EXPECT_EQ(aiColour(), Palette::secondaryLabel(pane->aiDetail()->palette()));
    EXPECT_EQ(pane->keyControl()->status()->text(),
              "Guardada, sin comprobar: no se ha podido conectar con OpenRouter.");
    EXPECT_EQ(pane->keyControl()->dot()->color(), Palette::orange(pane->keyControl()->palette()));

    QTest::mouseClick(pane->aiSwitch(), Qt::LeftButton);
    EXPECT_FALSE(JevLabeler::enabled(c.context.ai));
    EXPECT_TRUE(aiText().startsWith("Desactivado:"));
    pane->activate();
    EXPECT_EQ(pane->keyControl()->status()->text(), "Guardada en el depósito de claves de este equipo.");

    pane->openAIHelp();
    EXPECT_EQ(c.host.help, std::vector<std::string>{"ia"});
}

TEST_F(Pane, UsageGroup) {
    make();
    EXPECT_EQ(allCalls(), nullptr);
    EXPECT_TRUE(texts(pane->usage()).contains(
        "Aún no se ha consultado a OpenRouter. Las consultas aparecerán aquí al rellenar un formulario con la IA "
        "activada."));
    Screenshots::save(*pane->view(), "settings-pane-usage-empty");

    c.writeLog({call(utc(2026, 6, 2, 9, 0), "Modelo 303", 0.0034)});
    pane->activate();
    QCoreApplication::processEvents();
    QStringList shown = texts(pane->usage());
    EXPECT_TRUE(shown.contains("formulario"));
    EXPECT_TRUE(shown.contains("consulta"));
    EXPECT_TRUE(shown.contains("0,003\u00A0US$"));

    std::filesystem::remove(c.context.ai.logPath);
    c.writeLog({call(utc(2026, 6, 2, 9, 10), "E"), call(utc(2026, 6, 2, 9, 8), "D", std::nullopt, "error 500"),
                call(utc(2026, 6, 2, 9, 6), "C"), call(utc(2026, 6, 2, 9, 4), "B"),
                call(utc(2026, 6, 2, 9, 2), "A")});
    pane->activate();
    QCoreApplication::processEvents();
    shown = texts(pane->usage());
    EXPECT_TRUE(shown.contains("E") && shown.contains("D") && shown.contains("C"));
    EXPECT_FALSE(shown.contains("B") || shown.contains("A"));
    EXPECT_TRUE(shown.contains("formularios") && shown.contains("consultas"));
    bool red = false;
    for (auto* label : pane->usage()->findChildren<ToneLabel*>()) {
        if (label->fullText() == "Error 500") red = label->tone() == ToneLabel::Tone::red;
    }
    EXPECT_TRUE(red);

    // "Ver todas las consultas" shows the log page, freshly loaded; activate() returns.
    ASSERT_NE(allCalls(), nullptr);
    QTest::mouseClick(allCalls(), Qt::LeftButton);
    EXPECT_TRUE(pane->showingLog());
    EXPECT_EQ(pane->log()->model()->rowCount(), 5);
    QTest::mouseClick(pane->log()->backButton(), Qt::LeftButton);
    EXPECT_FALSE(pane->showingLog());
    pane->showLog();
    pane->activate();
    EXPECT_FALSE(pane->showingLog());
}

TEST_F(Pane, WidthOfTheOptions) {
    make(1200, 900);
    EXPECT_EQ(pane->content()->width(), 720);
    EXPECT_EQ(pane->content()->mapTo(pane->view(), QPoint(0, 0)).x(), 0);
    auto* group = pane->content()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly).at(0);
    EXPECT_EQ(group->width(), 720 - 72);

    pane->view()->resize(600, 900);
    QCoreApplication::processEvents();
    const int visible = pane->main()->viewport()->width();
    EXPECT_EQ(pane->content()->width(), visible);
    for (QWidget* child : pane->content()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible()) continue;
        EXPECT_EQ(child->x(), 36);
        EXPECT_EQ(child->width(), visible - 72);
    }
}

TEST_F(Pane, ScreenshotsOfTheKeyStates) {
    make(760, 1260);
    AIKeyControl* key = pane->keyControl();
    QImage image = shot("settings-pane-no-key");
    EXPECT_FALSE(key->entryRow()->isHidden());
    EXPECT_TRUE(key->savedRow()->isHidden());
    EXPECT_TRUE(texts(pane->view()).contains("Firma visible"));
    EXPECT_TRUE(texts(pane->view()).contains(QStringLiteral("«Firmado con ") +
                                             QString::fromStdString(std::string(CardHosts::website())) + "»"));

    key->field()->setText("sk-or-refused");
    c.keys.answer = false;
    key->save();
    shot("settings-pane-checking");
    EXPECT_FALSE(key->spinner()->isHidden());
    EXPECT_FALSE(key->saveButton()->isEnabled());
    c.runner.runAll();
    shot("settings-pane-refused");
    EXPECT_EQ(key->status()->text(), "OpenRouter no acepta esta clave. Revisa que esté completa y activa.");
    EXPECT_TRUE(key->changeButton()->isHidden());

    c.keys.answer = true;
    key->save();
    c.runner.runAll();
    shot("settings-pane-stored-green");
    EXPECT_TRUE(key->entryRow()->isHidden());
    EXPECT_TRUE(key->changeButton()->isEnabled() && !key->changeButton()->isHidden());

    key->change();
    key->field()->setText("sk-or-unknown");
    c.keys.answer = std::nullopt;
    shot("settings-pane-replacing");
    EXPECT_FALSE(key->cancelButton()->isHidden());
    EXPECT_TRUE(key->savedRow()->isHidden());
    key->save();
    c.runner.runAll();
    shot("settings-pane-stored-orange");
    EXPECT_EQ(key->status()->text(), "Guardada, sin comprobar: no se ha podido conectar con OpenRouter.");

    const GeneratedLog generated = generateLog();
    std::filesystem::remove(c.context.ai.logPath);
    c.writeLog(generated.calls);
    pane->activate();
    pane->view()->setPalette(darkPalette());
    image = shot("settings-pane-stored-dark");
    EXPECT_TRUE(Palette::isDark(pane->aiDetail()->palette()));
    EXPECT_EQ(pane->aiDetail()->palette().color(QPalette::WindowText),
              Palette::secondaryLabel(darkPalette()));
    // The window behind the options is dark.
    EXPECT_LT(QColor(image.pixel(image.width() - 5, 5)).lightness(), 128);
}

TEST_F(Pane, BoldTitlesOverTheWindowCanvas) {
    // In the home window the pane lies on the canvas, which shows through between its cards.
    ColorView canvas(Brand::canvas);
    canvas.resize(800, 900);
    pane = std::make_unique<SettingsPane>(nullptr, c.context);
    auto* layout = new QVBoxLayout(&canvas);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane->view());
    canvas.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&canvas));
    QCoreApplication::processEvents();

    // Page titles in the heading font's own (bold) weight.
    for (const QString& name : {QStringLiteral("Opciones"), QStringLiteral("Uso de la IA")}) {
        bool found = false;
        for (QLabel* label : canvas.findChildren<QLabel*>()) {
            if (label->text() != name || QFontInfo(label->font()).pixelSize() < 20) continue;
            found = true;
            EXPECT_EQ(label->font().weight(), QFont::Bold) << name.toStdString();
        }
        EXPECT_TRUE(found) << name.toStdString();
    }

    // Beside the options and at their foot, the canvas colour.
    auto canvasAround = [&](const QString& shotName) {
        const QImage shot = Screenshots::save(canvas, shotName);
        const QColor expected = Brand::canvas(&canvas);
        const qreal scale = shot.devicePixelRatio();
        for (QPoint at : {QPoint(790, 450), QPoint(10, 890), QPoint(400, 895)}) {
            EXPECT_EQ(shot.pixelColor(int(at.x() * scale), int(at.y() * scale)), expected)
                << shotName.toStdString() << " at " << at.x() << "," << at.y();
        }
    };
    canvasAround(QStringLiteral("settings-pane-on-canvas"));
}
