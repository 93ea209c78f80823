// Brand, palette, card and colour views, byline and symbols, in light and dark palettes.
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QThread>
#include <QVBoxLayout>
#include <QtTest>
#include <gtest/gtest.h>

#include <thread>

#include "ui/Brand.h"
#include "ui/CardView.h"
#include "ui/ColorView.h"
#include "ui/Palette.h"
#include "ui/RunLoop.h"
#include "ui/Symbols.h"
#include "qtsupport/Screenshots.h"

namespace {

QPalette lightPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Window, QColor(236, 236, 236));
    p.setColor(QPalette::WindowText, QColor(0, 0, 0));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0, 122, 255));
    return p;
}

QPalette darkPalette() {
    QPalette p = QApplication::palette();
    p.setColor(QPalette::Window, QColor(30, 30, 30));
    p.setColor(QPalette::WindowText, QColor(255, 255, 255));
    p.setColor(QPalette::Base, QColor(40, 40, 40));
    p.setColor(QPalette::Text, Qt::white);
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    return p;
}

// A sheet of everything this library draws, for the eye and for pixel checks.
struct Sheet {
    QWidget root;
    CardView* card = nullptr;
    ColorView* separator = nullptr;
    ColorView* dot = nullptr;
    QWidget* byline = nullptr;
    QList<QLabel*> symbols;

    explicit Sheet(const QPalette& palette) {
        root.setPalette(palette);
        root.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&root);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->setSpacing(12);
        card = new CardView(&root);
        card->setFixedSize(300, 90);
        auto* cardLayout = new QVBoxLayout(card);
        cardLayout->setContentsMargins(16, 12, 16, 12);
        auto* title = new QLabel(QStringLiteral("Firmados recientemente"), card);
        title->setFont(Brand::titleFont(15));
        cardLayout->addWidget(title);
        auto* text = new QLabel(QStringLiteral("Aquí aparecerán los documentos que firmes."), card);
        cardLayout->addWidget(text);
        layout->addWidget(card);
        separator = new ColorView(Brand::cardLine, &root);
        separator->setFixedSize(300, 1);
        layout->addWidget(separator);
        dot = new ColorView(Palette::green(palette), &root);
        dot->setFixedSize(10, 10);
        dot->setCornerRadius(5);
        layout->addWidget(dot);
        byline = Brand::byCalverin(13, std::nullopt, &root);
        layout->addWidget(byline, 0, Qt::AlignLeft);
        auto* grid = new QGridLayout;
        grid->setSpacing(8);
        int index = 0;
        for (const QString& name : Symbols::names()) {
            auto* label = new QLabel(&root);
            label->setPixmap(Symbols::icon(name, Brand::teal.at(palette), 20).pixmap(20, 20));
            label->setToolTip(name);
            label->setFixedSize(24, 24);
            grid->addWidget(label, index / 10, index % 10);
            symbols << label;
            ++index;
        }
        layout->addLayout(grid);
        root.resize(root.sizeHint());
    }
};

QColor pixelAt(const QImage& image, QPoint point) { return image.pixelColor(point); }

}  // namespace

TEST(Brand, AppearanceFollowsWindowLightness) {
    EXPECT_FALSE(Brand::isDark(lightPalette()));
    EXPECT_TRUE(Brand::isDark(darkPalette()));
    QPalette edge = lightPalette();
    edge.setColor(QPalette::Window, QColor(127, 127, 127));
    EXPECT_TRUE(Brand::isDark(edge));
    edge.setColor(QPalette::Window, QColor(128, 128, 128));
    EXPECT_FALSE(Brand::isDark(edge));
    EXPECT_EQ(Brand::teal.at(lightPalette()), QColor(0, 142, 156));
    EXPECT_EQ(Brand::teal.at(darkPalette()), QColor(43, 181, 194));
    EXPECT_EQ(Brand::yellow.at(darkPalette()), QColor(248, 178, 5));
    EXPECT_EQ(Brand::name, QStringLiteral("Tindra"));
    EXPECT_EQ(Brand::help().toString(), QStringLiteral("https://tindra.calverin.es/ayuda/"));
    EXPECT_EQ(Brand::website().host(), Brand::websiteHost);
}

TEST(Brand, PaletteHelper) {
    const QPalette light = lightPalette();
    const QPalette dark = darkPalette();
    EXPECT_EQ(Palette::accent(light), QColor(0, 122, 255));
    EXPECT_NEAR(Palette::secondaryLabel(light).alphaF(), 0.5, 0.01);
    EXPECT_NEAR(Palette::tertiaryLabel(dark).alphaF(), 0.26, 0.01);
    EXPECT_EQ(Palette::tertiaryLabel(dark).rgb(), QColor(255, 255, 255).rgb());
    EXPECT_NE(Palette::green(light), Palette::green(dark));
    EXPECT_EQ(Palette::red(dark), QColor(255, 69, 58));
    EXPECT_EQ(Palette::orange(light), QColor(255, 149, 0));
}

TEST(Brand, Fonts) {
    const QFont title = Brand::titleFont(15);
    EXPECT_EQ(title.pixelSize(), 15);
    EXPECT_EQ(title.weight(), QFont::Bold);
    EXPECT_EQ(Brand::titleFont(12, QFont::Medium).weight(), QFont::Medium);
}

TEST(Brand, ImagesAreBundled) {
    EXPECT_FALSE(Brand::mark().isNull());
    EXPECT_FALSE(Brand::mark().pixmap(64, 64).isNull());
    EXPECT_FALSE(Brand::calverinMark().isNull());
    const QString saved = Brand::calverinMarkResource();
    Brand::calverinMarkResource() = QStringLiteral(":/tindra/NoMark.svg");
    EXPECT_TRUE(Brand::calverinMark().isNull());
    // Without the mark, the byline keeps an empty square between its labels.
    std::unique_ptr<QWidget> byline(Brand::byCalverin());
    byline->adjustSize();
    const auto labels = byline->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3);
    EXPECT_EQ(labels[0]->text(), QStringLiteral("by"));
    EXPECT_EQ(labels[1]->size(), QSize(15, 15));
    EXPECT_TRUE(labels[1]->pixmap().isNull());
    EXPECT_EQ(labels[2]->text(), QStringLiteral("Calverin"));
    EXPECT_EQ(labels[0]->font().pixelSize(), 13);
    Brand::calverinMarkResource() = saved;
}

TEST(Brand, CardFillAndBorderFollowTheAppearance) {
    for (bool dark : {false, true}) {
        Sheet sheet(dark ? darkPalette() : lightPalette());
        const QImage image = Screenshots::save(sheet.root, dark ? QStringLiteral("brand-dark")
                                                                : QStringLiteral("brand-light"));
        ASSERT_FALSE(image.isNull());
        const QPoint inside = sheet.card->mapTo(&sheet.root, QPoint(sheet.card->width() - 20, sheet.card->height() / 2));
        const qreal scale = image.devicePixelRatio();
        const QColor fill = pixelAt(image, QPoint(int(inside.x() * scale), int(inside.y() * scale)));
        EXPECT_EQ(fill.rgb(), dark ? QColor(37, 43, 47).rgb() : QColor(255, 255, 255).rgb());
        EXPECT_EQ(sheet.card->borderColor(),
                  dark ? QColor::fromRgbF(1, 1, 1, 0.08f) : QColor::fromRgbF(11 / 255.f, 35 / 255.f, 61 / 255.f, 0.08f));
        EXPECT_EQ(sheet.card->size(), QSize(300, 90));
        EXPECT_EQ(sheet.separator->height(), 1);
        EXPECT_EQ(sheet.symbols.size(), Symbols::names().size());
    }
}

TEST(Brand, CardRepaintsOnPaletteChange) {
    CardView card;
    card.resize(100, 60);
    card.setPalette(lightPalette());
    QImage image = card.grab().toImage();
    EXPECT_EQ(image.pixelColor(50, 30).rgb(), QColor(Qt::white).rgb());
    card.setPalette(darkPalette());
    image = card.grab().toImage();
    EXPECT_EQ(image.pixelColor(50, 30).rgb(), QColor(37, 43, 47).rgb());
}

TEST(Brand, ColorViewPaintsItsColour) {
    ColorView view(QColor(255, 0, 0));
    view.resize(10, 10);
    EXPECT_EQ(view.grab().toImage().pixelColor(5, 5), QColor(255, 0, 0));
    view.setColor(QColor(0, 0, 255));
    EXPECT_EQ(view.grab().toImage().pixelColor(5, 5), QColor(0, 0, 255));
    view.setColor(Brand::card);
    view.setPalette(darkPalette());
    EXPECT_EQ(view.grab().toImage().pixelColor(5, 5), QColor(37, 43, 47));
}

TEST(Symbols, EveryNameDrawsInItsTint) {
    const QColor tint(0, 142, 156);
    const QStringList names = Symbols::names();
    for (const char* wanted : {"signature", "person.text.rectangle", "gearshape", "arrow.clockwise",
                               "questionmark.circle", "testtube.2", "arrow.up.right", "cursorarrow.click.2",
                               "list.bullet.rectangle", "terminal", "chevron.left", "chevron.right",
                               "minus.magnifyingglass", "plus.magnifyingglass", "minus.circle",
                               "character.cursor.ibeam", "arrow.right", "checkmark", "exclamationmark",
                               "info", "arrow.up.circle.fill", "lock.circle.fill"}) {
        EXPECT_TRUE(names.contains(QString::fromLatin1(wanted))) << wanted;
    }
    for (const QString& name : names) {
        const QImage image = Symbols::pixmap(name, tint, 24, 2).toImage();
        ASSERT_EQ(image.size(), QSize(48, 48)) << name.toStdString();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() == 255) {
                    ++opaque;
                    EXPECT_EQ(c.rgb(), tint.rgb()) << name.toStdString();
                }
            }
        }
        EXPECT_GT(opaque, 20) << name.toStdString();
    }
    EXPECT_TRUE(Symbols::icon(QStringLiteral("no.such.symbol"), tint, 14).isNull());
    EXPECT_TRUE(Symbols::pixmap(QStringLiteral("no.such.symbol"), tint, 14).isNull());
    Symbols::add(QStringLiteral("test.square"),
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\"><rect width=\"10\" height=\"10\"/></svg>");
    EXPECT_EQ(Symbols::pixmap(QStringLiteral("test.square"), Qt::red, 8).toImage().pixelColor(4, 4), QColor(Qt::red));
}

TEST(RunLoop, RunsAfterTheCallerReturns) {
    bool ran = false;
    onMainRunLoop(0, [&ran] { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran; }, 30000))
        << "The work did not run within 30 s.";
}

TEST(RunLoop, RunsOnTheMainThreadFromAWorker) {
    QThread* where = nullptr;
    bool ran = false;
    std::thread worker([&] {
        onMainRunLoop(0, [&] {
            where = QThread::currentThread();
            ran = true;
        });
    });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran; }, 30000))
        << "The work did not run within 30 s.";
    EXPECT_EQ(where, QCoreApplication::instance()->thread());
}

TEST(RunLoop, WaitsForTheDelay) {
    QElapsedTimer clock;
    clock.start();
    bool ran = false;
    onMainRunLoop(0.4, [&ran] { ran = true; });
    QTest::qWait(100);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(QTest::qWaitFor([&ran] { return ran; }, 30000))
        << "The work did not run within 30 s.";
    EXPECT_GE(clock.elapsed(), 390);
}
