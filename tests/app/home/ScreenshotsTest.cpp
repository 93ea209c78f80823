// Screenshots of the home window, the document section, the recents menu and help, light and dark.
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QDragEnterEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QToolButton>
#include <gtest/gtest.h>

#include "HomeFixtures.h"
#include "app/DocumentPane.h"
#include "app/DropZone.h"
#include "app/Help.h"
#include "app/SidebarItem.h"
#include "app/TipCard.h"
#include "ui/FloatingBar.h"
#include "document/PagesPreview.h"
#include "qtsupport/Screenshots.h"

using namespace home;
using namespace std::chrono_literals;

namespace {

struct Appearance : ::testing::TestWithParam<bool> {
    bool dark() const { return GetParam(); }
    QString suffix() const { return dark() ? QStringLiteral("-dark") : QStringLiteral("-light"); }
};

// Waits for the preview's page tiles, at most two seconds.
void waitForPages(DocumentPane& pane) {
    auto* preview = dynamic_cast<PagesPreview*>(&pane.viewer());
    for (int i = 0; i < 100 && preview && preview->tilesPending(); ++i) settle(20);
}

// The colour of a pixel of an image, at a widget's point.
QColor pixel(const QImage& image, QPoint at) { return image.pixelColor(at); }

}  // namespace

TEST_P(Appearance, HomeWindow) {
    PaletteScope palette(dark());
    World world;
    {
        HomeWindow home(false, world.services());
        home.show(std::nullopt);
        settle();
        QWidget& window = *home.window();
        EXPECT_EQ(window.size(), QSize(1040, 700));
        EXPECT_TRUE(home.emptyLabel()->isVisible());
        const QImage empty = Screenshots::save(window, QStringLiteral("home-empty") + suffix());
        // The canvas right of the sidebar is the brand's canvas colour.
        const QPoint canvasPoint = home.signView()->mapTo(&window, QPoint(10, home.signView()->height() - 10));
        EXPECT_EQ(pixel(empty, canvasPoint).rgb(), Brand::canvas.resolve(dark()).rgb());

        // The drag highlight: the zone fills with teal at 0.1.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/Solicitud.pdf"))});
        QDragEnterEvent enter(QPoint(500, 300), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(static_cast<QMainWindow*>(&window)->centralWidget(), &enter);
        ASSERT_TRUE(home.dropZone()->isHighlighted());
        const QImage lit = Screenshots::save(window, QStringLiteral("home-drag") + suffix());
        const QPoint inside = home.dropZone()->mapTo(&window, QPoint(30, 30));
        EXPECT_NE(pixel(lit, inside), pixel(empty, inside));
        QDragLeaveEvent leave;
        QApplication::sendEvent(static_cast<QMainWindow*>(&window)->centralWidget(), &leave);
        EXPECT_FALSE(home.dropZone()->isHighlighted());

        // The narrowest window.
        window.resize(900, 600);
        settle();
        EXPECT_EQ(window.size(), QSize(900, 600));
        EXPECT_GE(home.sectionStack()->x(), 36);
        Screenshots::save(window, QStringLiteral("home-minimum") + suffix());
        window.close();
    }

    // The footer with the file manager's hint: its long title fits beside its icon.
    {
        HomeWindow hinted(true, world.services());
        hinted.show(std::nullopt);
        settle();
        ASSERT_EQ(hinted.footerItems().size(), 3u);
        SidebarItem* restart = hinted.footerItems()[0];
        EXPECT_EQ(restart->title(), QStringLiteral("Reiniciar el gestor de archivos"));
        // Too long for one line of the sidebar: two lines, all of it inside the row.
        QLabel* title = restart->label();
        EXPECT_TRUE(title->wordWrap());
        EXPECT_GE(title->height(), title->heightForWidth(title->width()));
        EXPECT_LE(title->geometry().right(), restart->width());
        EXPECT_GT(restart->height(), SidebarItem::itemHeight);
        EXPECT_EQ(hinted.footerItems()[1]->height(), SidebarItem::itemHeight);
        EXPECT_FALSE(hinted.footerItems()[1]->label()->wordWrap());
        Screenshots::save(*hinted.window(), QStringLiteral("home-hint") + suffix());
        hinted.window()->close();
    }

    // Three recents, one of them selected in the document section.
    world.sign("Modelo 036", 10 * 24h, 1, false);
    world.sign("Contrato de arrendamiento", 26h, 5);
    world.sign("Solicitud de subvención", 2min);
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    settle();
    ASSERT_EQ(home.list()->count(), 3);
    EXPECT_FALSE(home.emptyLabel()->isVisible());
    EXPECT_EQ(home.list()->item(1)->data(Qt::UserRole + 1).toString(), QStringLiteral("Ayer"));
    Screenshots::save(*home.window(), QStringLiteral("home-recents") + suffix());

    // The context menu on the third row: "Volver a editar…" disabled (no original).
    const QPoint third = home.list()->visualItemRect(home.list()->item(2)).center();
    QMenu* menu = home.contextMenu(third);
    QStringList titles;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        titles << action->text();
        EXPECT_EQ(action->isEnabled(), action->text() != QStringLiteral("Volver a editar…"));
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Abrir"), QStringLiteral("Mostrar en la carpeta"),
                                   QStringLiteral("Volver a editar…"), QStringLiteral("Quitar de la lista")}));
    menu->adjustSize();
    Screenshots::save(*menu, QStringLiteral("home-recents-menu") + suffix());

    // The document section: 1 page, 5 pages, missing.
    home.show(home.items()[0]);
    settle();
    DocumentPane& pane = *home.documentPane();
    waitForPages(pane);
    EXPECT_FALSE(pane.pageNavigation()->isVisible());
    EXPECT_TRUE(pane.pageBar()->isVisible());
    EXPECT_TRUE(pane.edit()->isEnabled());
    Screenshots::save(*home.window(), QStringLiteral("document-1-page") + suffix());

    home.show(home.items()[1]);
    settle();
    waitForPages(pane);
    EXPECT_TRUE(pane.pageNavigation()->isVisible());
    EXPECT_EQ(pane.pageLabel()->text(), QStringLiteral("Página 1 de 5"));
    EXPECT_FALSE(pane.previousPage()->isEnabled());
    EXPECT_EQ(home.list()->currentRow(), 1);
    Screenshots::save(*home.window(), QStringLiteral("document-5-pages") + suffix());

    RecentSignature gone = home.items()[2];
    std::filesystem::remove(gone.url());
    pane.show(gone);  // through the window, a reload would drop the entry and go back to signing
    settle();
    EXPECT_TRUE(pane.missing()->isVisible());
    EXPECT_FALSE(pane.pageBar()->isVisible());
    EXPECT_FALSE(pane.edit()->isEnabled());
    Screenshots::save(*home.window(), QStringLiteral("document-missing") + suffix());
    home.window()->close();
}

TEST_P(Appearance, Help) {
    PaletteScope palette(dark());
    Help::testing::reset();
    URLs urls;
    Help::urls() = &urls;
    Help::show("ventana");
    settle();
    QWidget* window = Help::testing::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(960, 700));
    EXPECT_TRUE(Help::testing::loaded());
    EXPECT_GT(Help::testing::browser()->verticalScrollBar()->value(), 0);  // scrolled down to it
    Screenshots::save(*window, QStringLiteral("help-ventana") + suffix());

    QWidget host;
    host.resize(700, 700);
    auto* button = new QPushButton(QStringLiteral("?"), &host);
    button->setGeometry(330, 640, 30, 26);
    host.show();
    Help::pop("ia", button);
    settle();
    QWidget* popover = Help::testing::popover();
    ASSERT_NE(popover, nullptr);
    const QString text = Help::testing::popoverBrowser()->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Nunca se envían tus datos")));
    EXPECT_FALSE(text.contains(QStringLiteral("pk12util")));
    EXPECT_EQ(Help::testing::popoverBrowser()->size(), QSize(420, 480));
    Screenshots::save(*popover, QStringLiteral("help-ia-popover") + suffix());
    EXPECT_TRUE(urls.opened.empty());
    Help::testing::reset();
}

INSTANTIATE_TEST_SUITE_P(LightAndDark, Appearance, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Dark" : "Light"; });
