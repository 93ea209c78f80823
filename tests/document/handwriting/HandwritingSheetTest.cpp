// The handwriting sheet: one at a time, its answers, saving into the store, photos, screenshots.
#include "document/HandwritingSheet.h"
#include "document/HandwritingPad.h"
#include "document/HandwritingStore.h"
#include "ui/FilePanelPresenter.h"
#include "ui/Palette.h"
#include "platform/MemorySecretStore.h"
#include "support/TestUtil.h"
#include "qtsupport/Screenshots.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class FakePanels : public FilePanelPresenter {
public:
    void open(const Options& o, QWidget* parent, Completion done) override {
        options = o;
        opener = parent;
        completion = std::move(done);
    }
    bool isOpen() const override { return bool(completion); }
    void cancel() override { answer(std::nullopt); }
    void answer(std::optional<std::vector<std::filesystem::path>> files) {
        auto done = std::move(completion);
        completion = nullptr;
        if (done) done(std::move(files));
    }
    Options options;
    QWidget* opener = nullptr;
    Completion completion;
};

struct Fixture {
    MemorySecretStore secrets;
    FakePanels panels;
    DocumentContext context;
    std::vector<std::string> events;  // "changed", "saved", "cancelled" in order
    QMetaObject::Connection watch;

    Fixture() {
        context.secrets = &secrets;
        context.filePanels = &panels;
        context.visibleFrame = [] { return std::optional<QRect>(QRect(0, 0, 1440, 900)); };
        watch = QObject::connect(&HandwritingStore::notifier(), &HandwritingStore::Notifier::changed,
                                 [this] { events.push_back("changed"); });
    }
    ~Fixture() {
        QObject::disconnect(watch);
        if (HandwritingSheet* sheet = HandwritingSheet::shown()) sheet->cancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::function<void(bool)> completion() {
        return [this](bool saved) { events.push_back(saved ? "saved" : "cancelled"); };
    }
    HandwritingSheet& present(QWidget* on = nullptr) {
        EXPECT_TRUE(HandwritingSheet::present(on, completion(), context));
        return *HandwritingSheet::shown();
    }
};

void mouse(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, w.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

void drawSignature(HandwritingPadView& pad) {
    mouse(pad, QEvent::MouseButtonPress, {60, 110}, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 60; ++i) {
        const double t = i / 60.0;
        mouse(pad, QEvent::MouseMove, {60 + 300 * t, 110 - 50 * std::sin(t * 9) * (1 - t)}, Qt::NoButton,
              Qt::LeftButton);
    }
    mouse(pad, QEvent::MouseButtonRelease, {360, 110}, Qt::LeftButton, Qt::NoButton);
    mouse(pad, QEvent::MouseButtonPress, {120, 60}, Qt::LeftButton, Qt::LeftButton);
    mouse(pad, QEvent::MouseMove, {200, 130}, Qt::NoButton, Qt::LeftButton);
    mouse(pad, QEvent::MouseMove, {330, 50}, Qt::NoButton, Qt::LeftButton);
    mouse(pad, QEvent::MouseButtonRelease, {330, 50}, Qt::LeftButton, Qt::NoButton);
}

// A photo of a signature on slightly grey paper.
std::filesystem::path writePhoto(const std::filesystem::path& dir, bool withInk) {
    QImage photo(1200, 500, QImage::Format_RGB32);
    photo.fill(QColor(236, 234, 228));
    if (withInk) {
        QPainter painter(&photo);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(25, 40, 110), 9, Qt::SolidLine, Qt::RoundCap));
        QPainterPath path({150, 330});
        path.cubicTo(300, 50, 420, 480, 560, 260);
        path.cubicTo(700, 80, 820, 420, 1050, 200);
        painter.drawPath(path);
    }
    const auto path = dir / (withInk ? "firma.png" : "blanco.png");
    photo.save(QString::fromStdString(path.string()));
    return path;
}

QRect frameIn(QWidget* w, QWidget* window) { return {w->mapTo(window, QPoint(0, 0)), w->size()}; }

// The content is 520 × 330 (taller only with the note), the views do not overlap, the buttons'
// states and the placeholder are as given.
void expectLayout(HandwritingSheet& sheet, bool enabled, bool placeholder) {
    QWidget* window = sheet.window();
    const bool note = sheet.note()->isVisibleTo(window);
    EXPECT_EQ(window->width(), 520);
    if (note)
        EXPECT_GT(window->height(), 330);
    else
        EXPECT_EQ(window->height(), 330);
    EXPECT_EQ(sheet.pad()->size(), QSize(476, 170));
    EXPECT_EQ(sheet.saveButton()->isEnabled(), enabled);
    EXPECT_EQ(sheet.clearButton()->isEnabled(), enabled);
    EXPECT_TRUE(sheet.imageButton()->isEnabled());
    EXPECT_TRUE(sheet.cancelButton()->isEnabled());
    EXPECT_EQ(!sheet.pad()->strokes().hasStrokes() && !sheet.pad()->imported(), placeholder);

    const QRect pad = frameIn(sheet.pad(), window);
    const QRect buttons = frameIn(sheet.saveButton()->parentWidget(), window);
    EXPECT_EQ(pad.topLeft().x(), 22);
    if (note) {
        const QRect n = frameIn(sheet.note(), window);
        EXPECT_EQ(n.top(), pad.bottom() + 1 + 16);
        EXPECT_EQ(buttons.top(), n.bottom() + 1 + 10);
    } else {
        EXPECT_EQ(buttons.top(), pad.bottom() + 1 + 16);
    }
    EXPECT_LE(buttons.bottom() + 1, window->height() - 18);
}

}  // namespace

TEST(HandwritingSheet, OneSheetAtATime) {
    Fixture f;
    HandwritingSheet& sheet = f.present();
    EXPECT_TRUE(sheet.window()->isVisible());
    // A sheet: no frame of the window manager's, so no minimise or full screen either.
    EXPECT_EQ(sheet.window()->windowType(), Qt::SplashScreen);
    bool refusedRan = false;
    EXPECT_FALSE(HandwritingSheet::present(nullptr, [&](bool) { refusedRan = true; }, f.context));
    sheet.cancel();
    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(refusedRan);
    EXPECT_EQ(f.events, (std::vector<std::string>{"cancelled"}));
    // Closed: a new one may open.
    f.present().cancel();
    EXPECT_EQ(f.events.size(), 2u);
}

TEST(HandwritingSheet, EscapeAndTheWindowManagerCancelOnce) {
    Fixture f;
    QWidget owner;
    owner.resize(900, 600);
    owner.show();
    HandwritingSheet& sheet = f.present(&owner);
    EXPECT_EQ(sheet.window()->parentWidget(), &owner);
    EXPECT_TRUE(sheet.window()->isModal());
    QTest::keyClick(sheet.window(), Qt::Key_Escape);
    EXPECT_EQ(f.events, (std::vector<std::string>{"cancelled"}));
    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    HandwritingSheet& second = f.present(&owner);
    second.window()->close();  // Alt+F4
    EXPECT_EQ(f.events, (std::vector<std::string>{"cancelled", "cancelled"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.secrets.items.empty());
}

TEST(HandwritingSheet, CtrlWOnTheShownSheetCancelsItAndLeavesItsWindowOpen) {
    Fixture f;
    QWidget owner;
    owner.resize(900, 600);
    owner.show();
    HandwritingSheet& sheet = f.present(&owner);
    sheet.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet.window()));
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(f.events, (std::vector<std::string>{"cancelled"}));
    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    EXPECT_TRUE(owner.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(HandwritingSheet, SaveStoresThenAnswers) {
    Fixture f;
    HandwritingSheet& sheet = f.present();
    QTest::keyClick(sheet.window(), Qt::Key_Return);  // nothing drawn: nothing happens
    EXPECT_EQ(HandwritingSheet::shown(), &sheet);
    drawSignature(*sheet.pad());
    const QByteArray expected = *sheet.pad()->png();
    QTest::keyClick(sheet.window(), Qt::Key_Return);
    EXPECT_EQ(f.events, (std::vector<std::string>{"changed", "saved"}));
    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    EXPECT_EQ(HandwritingStore::png(f.secrets), expected);
    auto stored = HandwritingStore::handwriting(f.secrets);
    ASSERT_TRUE(stored);
    EXPECT_GT(stored->aspect(), 2.0);
}

TEST(HandwritingSheet, AFailedSaveKeepsTheSheetOpen) {
    Fixture f;
    f.secrets.writeFault = MemorySecretStore::Fault::unavailable;
    HandwritingSheet& sheet = f.present();
    drawSignature(*sheet.pad());
    sheet.saveButton()->click();
    EXPECT_EQ(HandwritingSheet::shown(), &sheet);
    EXPECT_TRUE(sheet.window()->isVisible());
    EXPECT_TRUE(sheet.note()->isVisibleTo(sheet.window()));
    EXPECT_EQ(sheet.note()->text(), QString::fromUtf8(SecretMessages::unavailable));
    EXPECT_EQ(f.events, (std::vector<std::string>{"changed"}));
    EXPECT_TRUE(f.secrets.items.empty());

    // The service is back: the same sheet saves.
    f.secrets.writeFault = MemorySecretStore::Fault::none;
    sheet.saveButton()->click();
    EXPECT_EQ(f.events, (std::vector<std::string>{"changed", "changed", "saved"}));
    EXPECT_TRUE(HandwritingStore::png(f.secrets));
}

TEST(HandwritingSheet, OwnerClosedWhileOpenStillAnswers) {
    Fixture f;
    auto* owner = new QWidget;
    owner->show();
    f.present(owner);
    delete owner;
    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    EXPECT_TRUE(f.events.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(f.events, (std::vector<std::string>{"cancelled"}));
}

TEST(HandwritingSheet, LabelsFollowADarkAppearance) {
    Fixture f;
    HandwritingSheet& sheet = f.present();
    const QPalette light = sheet.window()->palette();
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(36, 36, 36));
    dark.setColor(QPalette::WindowText, QColor(236, 236, 236));
    ASSERT_NE(Palette::orange(dark), Palette::orange(light));
    sheet.window()->setPalette(dark);
    EXPECT_EQ(sheet.note()->palette().color(QPalette::WindowText), Palette::orange(dark));
    sheet.cancel();
}

TEST(HandwritingSheet, PhotoChooserOffersEveryImageFirst) {
    Fixture f;
    testutil::TempDir dir;
    HandwritingSheet& sheet = f.present();
    sheet.imageButton()->click();
    FilePanelPresenter::Options options = f.panels.options;
    f.panels.answer(std::nullopt);
    sheet.cancel();
    options.folder = QString::fromStdString(dir.path().string());
    std::unique_ptr<QFileDialog> dialog(FilePanelPresenter::makeDialog(options));

    // The first filter is the one shown, and it admits photos of every usual kind.
    const QStringList filters = dialog->nameFilters();
    ASSERT_GT(filters.size(), 1);
    EXPECT_EQ(dialog->selectedNameFilter(), filters.first());
    EXPECT_TRUE(filters.first().startsWith(QStringLiteral("Imágenes (")));
    const QRegularExpression inBrackets(QStringLiteral("\\(([^)]*)\\)$"));
    const QStringList patterns =
        inBrackets.match(filters.first()).captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const char* name : {"firma.jpg", "firma.jpeg", "firma.png", "FIRMA.PNG"}) {
        EXPECT_TRUE(QDir::match(patterns, QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(QDir::match(patterns, QStringLiteral("firma.pdf")));
    // Then the single types.
    EXPECT_TRUE(std::any_of(filters.begin() + 1, filters.end(),
                            [](const QString& filter) { return filter.contains(QStringLiteral("*.png")); }));

    // The hint is inside the panel, not its title.
    EXPECT_NE(dialog->windowTitle(), QStringLiteral("Una foto o un escaneo de tu firma, en papel blanco"));
    auto* message = dialog->findChild<QLabel*>(QStringLiteral("panelMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text(), QStringLiteral("Una foto o un escaneo de tu firma, en papel blanco"));
    dialog->resize(760, 480);
    dialog->show();
    EXPECT_TRUE(message->isVisible());
    auto* files = dialog->findChild<QWidget*>(QStringLiteral("listView"));
    ASSERT_NE(files, nullptr);
    EXPECT_LT(message->mapTo(dialog.get(), QPoint(0, message->height())).y(),
              files->mapTo(dialog.get(), QPoint(0, 0)).y());
    Screenshots::save(*dialog, QStringLiteral("handwriting-photo-panel"));
}

TEST(HandwritingSheet, PhotosAndScreenshots) {
    Fixture f;
    testutil::TempDir dir;
    HandwritingSheet& sheet = f.present();
    QDialog& window = *sheet.window();

    // Empty.
    expectLayout(sheet, false, true);
    EXPECT_FALSE(sheet.note()->isVisible());
    Screenshots::save(window, "handwriting-sheet-empty");

    // A single click leaves a dot, hides the placeholder, and is no signature yet.
    mouse(*sheet.pad(), QEvent::MouseButtonPress, {200, 80}, Qt::LeftButton, Qt::LeftButton);
    mouse(*sheet.pad(), QEvent::MouseButtonRelease, {200, 80}, Qt::LeftButton, Qt::NoButton);
    expectLayout(sheet, false, false);

    // Drawn.
    drawSignature(*sheet.pad());
    expectLayout(sheet, true, false);
    Screenshots::save(window, "handwriting-sheet-drawn");

    // A photo without a signature: the note, and the drawing stays.
    sheet.imageButton()->click();
    EXPECT_EQ(f.panels.opener, &window);
    EXPECT_EQ(f.panels.options.acceptLabel, "Usar");
    EXPECT_FALSE(f.panels.options.multiple);
    f.panels.answer(std::vector<std::filesystem::path>{writePhoto(dir.path(), false)});
    EXPECT_TRUE(sheet.note()->isVisible());
    EXPECT_EQ(sheet.note()->text(), HandwritingSheet::noSignatureNote);
    expectLayout(sheet, true, false);
    EXPECT_FALSE(sheet.pad()->imported());
    Screenshots::save(window, "handwriting-sheet-note");
    // The note stays while drawing; a cancelled panel changes nothing.
    sheet.imageButton()->click();
    f.panels.answer(std::nullopt);
    EXPECT_TRUE(sheet.note()->isVisible());

    // A real one: imported, the note gone.
    sheet.imageButton()->click();
    f.panels.answer(std::vector<std::filesystem::path>{writePhoto(dir.path(), true)});
    EXPECT_FALSE(sheet.note()->isVisible());
    ASSERT_TRUE(sheet.pad()->imported());
    expectLayout(sheet, true, false);
    const QImage shot = Screenshots::save(window, "handwriting-sheet-imported");
    // Ink drawn in the pad: some dark bluish pixels in its middle.
    const QPoint padOrigin = sheet.pad()->mapTo(&window, QPoint(0, 0));
    int inked = 0;
    const qreal dpr = shot.devicePixelRatio();
    for (int y = 40; y < 130; ++y)
        for (int x = 40; x < 430; ++x) {
            const QRgb p = shot.pixel(int((padOrigin.x() + x) * dpr), int((padOrigin.y() + y) * dpr));
            if (qBlue(p) > qRed(p) + 20 && qGray(p) < 160) ++inked;
        }
    EXPECT_GT(inked, 200);

    // "Borrar" empties the pad and hides the note.
    sheet.imageButton()->click();
    f.panels.answer(std::vector<std::filesystem::path>{dir.path() / "no-existe.jpg"});
    EXPECT_TRUE(sheet.note()->isVisible());
    EXPECT_TRUE(sheet.pad()->imported());  // kept
    sheet.clearButton()->click();
    EXPECT_FALSE(sheet.note()->isVisible());
    expectLayout(sheet, false, true);
}
