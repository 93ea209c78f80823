// The welcome window: paging, closing, the forms switch and the AI key, page changes on the
// hand-driven clock, the pages' texts, screenshots and the cost of a paint.
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <memory>

#include "ui/Switch.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Preferences.h"
#include "qtsupport/Screenshots.h"
#include "settings/AIKeyControl.h"
#include "settings/SettingsTestSupport.h"
#include "settings/TagLabel.h"
#include "settings/welcome/GlassCard.h"
#include "settings/welcome/HeroBand.h"
#include "settings/welcome/LinkButton.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/MotionTarget.h"
#include "settings/welcome/PageDots.h"
#include "settings/welcome/PageStage.h"
#include "settings/welcome/PillButton.h"
#include "settings/welcome/SignScene.h"
#include "settings/welcome/FormScene.h"
#include "settings/welcome/WelcomeWindow.h"
#include "WelcomeTestSupport.h"

using namespace welcometest;

namespace {

// A 1280 × 800 screen for the offscreen platform, set before the application is made. One file
// per process (test programs run side by side), removed once the application has read it.
QString screenFile() {
    return QDir::tempPath() + QString("/tindra-welcome-screen-%1.json").arg(getpid());
}

const bool screenConfigured = [] {
    const QString path = screenFile();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(R"({"screens":[{"name":"s","x":0,"y":0,"width":1280,"height":800,)"
                   R"("logicalDpi":96,"logicalBaseDpi":96,"dpr":1}]})");
        file.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toUtf8());
        std::atexit([] { QFile::remove(screenFile()); });
    }
    return true;
}();

QString kicker(const WelcomeWindow::Page& page) {
    auto* label = page.view->findChild<QLabel*>("kicker");
    return label ? label->text() : QString();
}

QString title(const WelcomeWindow::Page& page) {
    auto* label = page.view->findChild<QLabel*>("title");
    return label ? label->text() : QString();
}

QStringList texts(QWidget* view) {
    QStringList all;
    for (auto* label : view->findChildren<QLabel*>()) all << label->text();
    for (auto* button : view->findChildren<QAbstractButton*>()) all << button->text();
    return all;
}

struct Window : ::testing::Test {
    settingstest::Context ctx;
    Reduced motion{false};
    AnimationClock clock;
    std::unique_ptr<WelcomeWindow> window;

    Window() { QFile::remove(screenFile()); }

    WelcomeWindow& make(bool installed = true, int certificates = 1, int startAt = 0) {
        window = std::make_unique<WelcomeWindow>(installed, certificates, startAt, ctx.context);
        return *window;
    }
    // Shows the window on `page` and lets every entrance end.
    void settle(double seconds = 3.3) {
        clock.sync();
        clock.at(seconds);
    }
    int xOf(QWidget* page) const { return page->geometry().x(); }
};

}  // namespace

TEST_F(Window, OpensOnTheStartPageInItsGeometry) {
    ASSERT_TRUE(screenConfigured);
    const WelcomeGeometry& g = WelcomeWindow::geometry();
    EXPECT_EQ(g.width, 1180);
    EXPECT_EQ(g.height, 750);
    EXPECT_EQ(g.margin, 230);

    WelcomeWindow& w = make(true, 1, 0);
    EXPECT_EQ(w.window()->size(), QSize(1180, 750));
    EXPECT_EQ(w.window()->windowTitle(), "Bienvenida a Tindra");
    EXPECT_EQ(w.page(), 0);
    EXPECT_TRUE(w.back()->isHidden());
    EXPECT_EQ(w.next()->title(), "Siguiente");
    EXPECT_EQ(w.dots()->count(), 4);
    EXPECT_EQ(w.dots()->sizeHint(), QSize(68, 8));
    EXPECT_EQ(WelcomeWindow(true, 1, 9, ctx.context).page(), 3);
    // A negative start opens the first page instead of none.
    EXPECT_EQ(WelcomeWindow(true, 1, -1, ctx.context).page(), 0);
}

TEST_F(Window, GoingToTheCurrentPageDoesNothing) {
    WelcomeWindow& w = make(true, 1, 2);
    int plays = 0;
    for (auto& page : w.pages()) page.play = [&plays] { ++plays; };
    w.window()->show();
    w.go(2, true);
    EXPECT_EQ(plays, 0);
    EXPECT_FALSE(w.stage()->transitioning());
    w.go(4, true);
    w.go(-1, true);
    EXPECT_EQ(w.page(), 2);
    EXPECT_EQ(plays, 0);
    // show(from: 0) jumps back without animation and plays the page once.
    w.go(3, true);
    settle(0.5);
    plays = 0;
    w.show(0);
    EXPECT_EQ(w.page(), 0);
    EXPECT_FALSE(w.stage()->transitioning());
    EXPECT_EQ(plays, 1);
    EXPECT_EQ(ctx.host.fronts, 1);
}

TEST_F(Window, ReturnOnTheLastPageClosesWithoutSection) {
    WelcomeWindow& w = make(true, 1, 3);
    std::vector<std::optional<HomeSection>> closes;
    w.onClose = [&](std::optional<HomeSection> s) { closes.push_back(s); };
    w.show(std::nullopt);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(w.window(), &press);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0], std::nullopt);
    EXPECT_FALSE(w.window()->isVisible());
    // Elsewhere Return goes forward.
    w.show(0);
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(w.window(), &again);
    EXPECT_EQ(w.page(), 1);
    EXPECT_EQ(closes.size(), 1u);
}

TEST_F(Window, ProfileLinkClosesTowardsMisDatos) {
    WelcomeWindow& w = make(true, 1, 2);
    std::vector<std::optional<HomeSection>> closes;
    // The owner drops the window inside the call, as the application does.
    w.onClose = [&](std::optional<HomeSection> s) {
        closes.push_back(s);
        window.reset();
    };
    w.show(std::nullopt);
    LinkButton* link = nullptr;
    for (auto* b : w.pages()[2].view->findChildren<LinkButton*>()) {
        if (b->text() == "Abrir Mis datos") link = b;
    }
    ASSERT_TRUE(link);
    link->click();
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0], HomeSection::profile);
    EXPECT_FALSE(window);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(Window, FormsSwitchStartsFromAndWritesThePreference) {
    Preferences::setFillForms(true, *ctx.defaults);
    WelcomeWindow& w = make(true, 1, 2);
    EXPECT_TRUE(w.fillSwitch()->isChecked());
    w.fillSwitch()->click();
    EXPECT_FALSE(Preferences::fillForms(*ctx.defaults));
    w.fillSwitch()->click();
    EXPECT_TRUE(Preferences::fillForms(*ctx.defaults));
}

TEST_F(Window, SavingAKeyTurnsTheButtonAndTheAIOn) {
    JevLabeler::setEnabled(false, ctx.context.ai);
    WelcomeWindow& w = make(true, 1, 3);
    std::vector<std::optional<HomeSection>> closes;
    w.onClose = [&](std::optional<HomeSection> s) { closes.push_back(s); };
    w.show(std::nullopt);
    EXPECT_EQ(w.next()->title(), "Empezar sin IA");
    EXPECT_GE(w.next()->sizeHint().width(), 130);
    EXPECT_EQ(w.next()->sizeHint().height(), 38);
    // Return in the key field saves the key and leaves the window open.
    QLineEdit* field = w.keyControl()->field();
    field->setFocus();
    field->setText("sk-or-v1-prueba");
    QTest::keyClick(field, Qt::Key_Return);
    ctx.runner.runAll();
    EXPECT_TRUE(ctx.keys.stored);
    EXPECT_EQ(ctx.keys.key, "sk-or-v1-prueba");
    EXPECT_TRUE(closes.empty());
    EXPECT_TRUE(w.window()->isVisible());
    EXPECT_EQ(w.page(), 3);
    EXPECT_EQ(w.next()->title(), "Empezar");
    EXPECT_TRUE(JevLabeler::enabled(ctx.context.ai));
}

TEST_F(Window, PushesForwardFromTheRightAndBackFromTheLeft) {
    WelcomeWindow& w = make(true, 1, 0);
    w.show(0);
    settle();
    QWidget* second = w.pages()[1].view;
    w.goNext();
    clock.sync();
    EXPECT_EQ(w.stage()->transition(), PageStage::Transition::fromRight);
    clock.at(0.21);
    EXPECT_GT(xOf(second), 0);
    ASSERT_TRUE(w.stage()->outgoing());
    EXPECT_LT(w.stage()->outgoing()->x(), 0);
    // The entrance plays during the push.
    EXPECT_TRUE(Motion::target(w.pages()[1].view->findChild<GlassCard*>())->animating());
    Screenshots::save(*w.window(), "welcome-push-0.21s");
    clock.at(0.42);
    EXPECT_EQ(xOf(second), 0);
    EXPECT_FALSE(w.stage()->transitioning());
    settle(1);
    w.goBack();
    clock.sync();
    clock.at(0.21);
    EXPECT_LT(xOf(w.pages()[0].view), 0);
    EXPECT_GT(w.stage()->outgoing()->x(), 0);
    clock.at(0.42);
    EXPECT_EQ(xOf(w.pages()[0].view), 0);
}

TEST_F(Window, ReducedMotionFadesPagesAndKeepsTheBlobsStill) {
    Reduced reduced(true);
    WelcomeWindow& w = make(true, 1, 0);
    w.show(0);
    settle();
    for (const auto& shape : w.band()->shapes()) EXPECT_FALSE(shape.motion->animating());
    w.goNext();
    clock.sync();
    EXPECT_EQ(w.stage()->transition(), PageStage::Transition::fade);
    clock.at(0.1);
    EXPECT_EQ(xOf(w.pages()[1].view), 0);
    EXPECT_GT(w.stage()->outgoingOpacity(), 0);
    EXPECT_LT(w.stage()->outgoingOpacity(), 1);
    clock.at(0.2);
    EXPECT_FALSE(w.stage()->transitioning());
}

TEST_F(Window, BlobsDriftWithoutReducedMotion) {
    WelcomeWindow& w = make(true, 1, 0);
    w.show(0);
    clock.sync();
    ASSERT_EQ(w.band()->shapes().size(), 3u);
    const QPointF first = w.band()->shapeCentre(0), second = w.band()->shapeCentre(1);
    // Each starts from its ellipse's rightmost point.
    EXPECT_NEAR(first.x(), 1180 * (0.2 + 0.22), 0.5);
    clock.at(2);
    const QPointF firstLater = w.band()->shapeCentre(0), secondLater = w.band()->shapeCentre(1);
    EXPECT_GT(std::hypot(firstLater.x() - first.x(), firstLater.y() - first.y()), 10);
    // Blob 1 goes up (anticlockwise, y upwards), blob 2 the other way round.
    EXPECT_LT(firstLater.y(), first.y());
    EXPECT_GT(secondLater.y(), second.y());
}

TEST_F(Window, PagesCarryTheirTexts) {
    WelcomeWindow& w = make(true, 3, 0);
    EXPECT_EQ(kicker(w.pages()[0]), "TE DAMOS LA BIENVENIDA A TINDRA");
    EXPECT_EQ(kicker(w.pages()[1]), "ESTE EQUIPO");
    EXPECT_EQ(kicker(w.pages()[2]), "FORMULARIOS");
    EXPECT_EQ(kicker(w.pages()[3]), "OPCIONAL");
    EXPECT_EQ(title(w.pages()[0]), "Firma tus PDF en segundos.");
    EXPECT_TRUE(texts(w.pages()[0].view).join("\n").contains("gestor de archivos → «Firmar con Tindra»"));
    auto* tag = w.pages()[2].view->findChild<TagLabel*>();
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->text(), "EXPERIMENTAL");
    const QStringList ready = texts(w.pages()[1].view);
    EXPECT_TRUE(ready.contains("Tindra está instalada"));
    EXPECT_TRUE(ready.contains("Tienes 3 certificados para firmar"));
    EXPECT_TRUE(ready.contains("El sistema te pedirá permiso la primera vez"));
    EXPECT_TRUE(texts(w.pages()[3].view).contains("No sale de tu equipo"));

    WelcomeWindow bare(false, 0, 1, ctx.context);
    const QStringList warned = texts(bare.pages()[1].view);
    EXPECT_TRUE(warned.contains("Tindra no está instalada"));
    EXPECT_TRUE(warned.contains("No hay ningún certificado en el almacén de certificados"));
    EXPECT_TRUE(warned.join("\n").contains("pk12util -d sql:$HOME/.pki/nssdb -i archivo.p12"));
    WelcomeWindow one(true, 1, 1, ctx.context);
    EXPECT_TRUE(texts(one.pages()[1].view).contains("Tienes un certificado para firmar"));
}

TEST_F(Window, AICardsShareTheirHeight) {
    WelcomeWindow& w = make(true, 1, 3);
    w.show(std::nullopt);
    settle(1);
    std::vector<GlassCard*> cards;
    for (auto* card : w.pages()[3].view->findChildren<GlassCard*>()) cards.push_back(card);
    ASSERT_EQ(cards.size(), 2u);
    // One list grows longer.
    auto* layout = cards[0]->content()->layout();
    for (int i = 0; i < 3; ++i) {
        static_cast<QBoxLayout*>(layout)->insertWidget(layout->count() - 1, new QLabel("Otro dato más"));
    }
    w.window()->layout()->activate();
    settle(0.1);
    EXPECT_EQ(cards[0]->height(), cards[1]->height());
    EXPECT_EQ(cards[0]->width(), cards[1]->width());
}

TEST_F(Window, Screenshots) {
    WelcomeWindow& w = make(true, 3, 0);
    w.show(0);
    clock.sync();
    clock.at(1.3);
    QImage mid = Screenshots::save(*w.window(), "welcome-page1-scene-1.3s");
    EXPECT_EQ(mid.size(), QSize(1180, 750));
    clock.at(3.3);
    QImage first = Screenshots::save(*w.window(), "welcome-page1");
    // The highlighted item is teal, the stamp green.
    auto* scene = w.pages()[0].view->findChild<SignScene*>();
    ASSERT_TRUE(scene);
    const QPoint highlight = scene->mapTo(w.window(), QPoint(12, SignScene::overhang + 54 + 99 + 13));
    const QColor teal = first.pixelColor(highlight);
    EXPECT_NEAR(teal.red(), 43, 6);
    EXPECT_NEAR(teal.green(), 181, 6);
    EXPECT_NEAR(teal.blue(), 194, 6);
    QTransform sheet;
    sheet.translate(470, 135);
    sheet.rotateRadians(0.05);
    sheet.translate(-110, -135);
    const QPoint stampPoint = scene->mapTo(w.window(), sheet.map(QPointF(113, 257)).toPoint() + QPoint(0, SignScene::overhang));
    const QColor green = first.pixelColor(stampPoint);
    EXPECT_NEAR(green.red(), 31, 8);
    EXPECT_NEAR(green.green(), 158, 8);
    EXPECT_NEAR(green.blue(), 89, 8);
    EXPECT_TRUE(w.back()->isHidden());

    w.go(1, false);
    w.pages()[1].play();
    settle(1);
    Screenshots::save(*w.window(), "welcome-page2-installed-3");
    EXPECT_FALSE(w.back()->isHidden());

    w.go(2, false);
    w.pages()[2].play();
    settle(2.5);
    QImage forms = Screenshots::save(*w.window(), "welcome-page3");
    auto* formScene = w.pages()[2].view->findChild<FormScene*>();
    ASSERT_TRUE(formScene);
    const auto& m = formScene->model();
    const QColor chip = forms.pixelColor(formScene->mapTo(w.window(), QPoint(int(m.chip.x + 6), int(2 + m.chip.y + 11))));
    EXPECT_NEAR(chip.red(), 248, 4);
    EXPECT_NEAR(chip.green(), 178, 4);
    EXPECT_NEAR(chip.blue(), 5, 6);

    w.go(3, false);
    w.pages()[3].play();
    settle(1);
    Screenshots::save(*w.window(), "welcome-page4-no-key");
    EXPECT_EQ(w.next()->text(), "Empezar sin IA");
    ctx.keys.stored = true;
    w.keyControl()->refresh();
    w.updateButtons();
    settle(0.1);
    Screenshots::save(*w.window(), "welcome-page4-key");
    EXPECT_EQ(w.next()->text(), "Empezar");

    WelcomeWindow bare(false, 0, 1, ctx.context);
    bare.show(std::nullopt);
    settle(1);
    QImage bareShot = Screenshots::save(*bare.window(), "welcome-page2-bare-0");
    EXPECT_EQ(bareShot.size(), QSize(1180, 750));
}

TEST_F(Window, PaintsQuickly) {
    WelcomeWindow& w = make(true, 1, 3);
    w.show(std::nullopt);
    settle(13);  // the blobs half-way round
    QImage image(w.window()->size(), QImage::Format_ARGB32_Premultiplied);
    w.window()->render(&image);
    // The processor time of the painting, which a loaded machine does not stretch as it does the
    // time on the clock; the fastest of five rounds, since other processes on a loaded machine
    // still cost this one's painting some of its caches in one round or another.
    constexpr int rounds = 5, paints = 4;
    double ms = 1e9;
    for (int round = 0; round < rounds; ++round) {
        timespec before{}, after{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
        for (int i = 0; i < paints; ++i) w.window()->render(&image);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
        ms = std::min(ms, (double(after.tv_sec - before.tv_sec) * 1e3 +
                           double(after.tv_nsec - before.tv_nsec) / 1e6) /
                              paints);
    }
    RecordProperty("paint_ms", QString::number(ms, 'f', 2).toStdString());
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__) && !defined(__clang__)
    EXPECT_LT(ms, 8.0);
#endif
}

TEST_F(Window, SubtitleLinesStandApart) {
    WelcomeWindow& w = make(true, 1, 0);
    auto* subtitle = w.pages()[0].view->findChild<QLabel*>("subtitle");
    ASSERT_TRUE(subtitle);
    const int lines = 2;  // the first page's subtitle wraps once in the 720-point column
    const int natural = QFontMetrics(subtitle->font()).lineSpacing();
    EXPECT_GE(subtitle->heightForWidth(720), lines * natural + 3);
    EXPECT_TRUE(subtitle->text().contains("no salen de este equipo."));
}
