// The home window: sections and panes, sidebar, frame, drop target, drop zone, recents list.
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "HomeFixtures.h"
#include "app/DocumentPane.h"
#include "app/DropZone.h"
#include "app/RecentCell.h"
#include "app/SidebarItem.h"
#include "app/TipCard.h"
#include "ui/MainMenu.h"
#include "ui/PageViewer.h"

using namespace home;
using namespace std::chrono_literals;

namespace {

QStringList titles(const std::vector<SidebarItem*>& items) {
    QStringList out;
    for (auto* item : items) out << item->title();
    return out;
}

QMimeData* urlData(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

// Sends a drag over the window's content and then, when `drop`, a drop; returns whether the
// entry was accepted.
bool drag(HomeWindow& home, QMimeData* data, bool drop) {
    QWidget* target = static_cast<QMainWindow*>(home.window())->centralWidget();
    const QPoint at(600, 300);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    const bool accepted = enter.isAccepted();
    if (drop) {
        QDropEvent dropEvent(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropEvent);
    }
    return accepted;
}

QAction* menuItem(QMenu* menu, const QString& title) {
    for (QAction* action : menu->actions())
        if (action->text() == title) return action;
    return nullptr;
}

}  // namespace

TEST(HomeWindow, FirstSectionMakesEveryPaneAndTheSidebarIsComplete) {
    World world;
    HomeWindow home(false, world.services());
    // All three panes exist before any of their sections is shown; none was activated.
    ASSERT_EQ(world.profiles.size(), 1u);
    ASSERT_EQ(world.settings.size(), 1u);
    EXPECT_NE(home.documentPane(), nullptr);
    EXPECT_EQ(world.profiles[0]->activations, 0);
    EXPECT_EQ(home.section(), HomeSection::sign);
    EXPECT_EQ(home.currentView(), home.signView());
    EXPECT_TRUE(home.navigationItem(HomeSection::sign)->isSelected());
    EXPECT_FALSE(home.navigationItem(HomeSection::profile)->isSelected());
    EXPECT_EQ(home.navigationItem(HomeSection::document), nullptr);
    EXPECT_EQ(home.navigationItem(HomeSection::profile)->accessibleName(), QStringLiteral("Mis datos"));

    // Without the hint the footer holds the two links, each with its tooltip.
    EXPECT_EQ(titles(home.footerItems()),
              (QStringList{QStringLiteral("Ayuda"), QStringLiteral("Experimento Calverin")}));
    EXPECT_EQ(home.footerItems()[0]->toolTip(), QStringLiteral("Abre la ayuda en tindra.calverin.es"));
    EXPECT_EQ(home.footerItems()[1]->toolTip(), QStringLiteral("Abre calverin.es"));
    HomeWindow hinted(true, world.services());
    EXPECT_EQ(titles(hinted.footerItems()),
              (QStringList{QStringLiteral("Reiniciar el gestor de archivos"), QStringLiteral("Ayuda"),
                           QStringLiteral("Experimento Calverin")}));
    // The footer's actions.
    hinted.footerItems()[0]->click();
    hinted.footerItems()[1]->click();
    hinted.footerItems()[2]->click();
    EXPECT_EQ(world.relaunches, 1);
    EXPECT_EQ(world.helps, 1);
    ASSERT_EQ(world.urls.opened.size(), 1u);
    EXPECT_EQ(world.urls.opened[0], QUrl(QStringLiteral("https://calverin.es")));
}

TEST(HomeWindow, SectionsActivateTheirPanesAndEscapeGoesBackToSigning) {
    World world;
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    home.navigationItem(HomeSection::profile)->click();
    EXPECT_EQ(home.section(), HomeSection::profile);
    EXPECT_EQ(home.currentView(), world.profiles[0]->view());
    EXPECT_EQ(world.profiles[0]->activations, 1);
    EXPECT_TRUE(home.navigationItem(HomeSection::profile)->isSelected());
    home.goSettings();
    EXPECT_EQ(home.currentView(), world.settings[0]->view());
    EXPECT_EQ(world.settings[0]->activations, 1);
    EXPECT_EQ(world.profiles.size(), 1u);  // made once

    // Escape: back to signing; on signing it changes nothing.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(home.window(), &escape);
    EXPECT_EQ(home.section(), HomeSection::sign);
    QApplication::sendEvent(home.window(), &escape);
    EXPECT_EQ(home.section(), HomeSection::sign);

    // show(profile) activates after switching and again once the window is in front.
    home.show(HomeSection::profile);
    EXPECT_EQ(world.profiles[0]->activations, 3);
    // show() without a section keeps it and reloads the list.
    world.sign("Solicitud", 2h);
    EXPECT_TRUE(home.items().empty());
    home.show(std::nullopt);
    EXPECT_EQ(home.section(), HomeSection::profile);
    EXPECT_EQ(home.items().size(), 1u);
    EXPECT_TRUE(home.isVisible());
    home.window()->close();
}

TEST(HomeWindow, EscapeInATextFieldStaysInTheSection) {
    World world;
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    home.show(HomeSection::profile);
    QWidget* pane = world.profiles[0]->view();
    auto* field = new QLineEdit(pane);
    auto* area = new QPlainTextEdit(pane);
    auto* shown = new QLineEdit(pane);
    shown->setReadOnly(true);
    for (QWidget* w : {static_cast<QWidget*>(field), static_cast<QWidget*>(area), static_cast<QWidget*>(shown)})
        w->show();
    QApplication::setActiveWindow(home.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(home.window()));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    // A field being edited keeps Escape: the section stays, in one line and in a text area.
    for (QWidget* editor : {static_cast<QWidget*>(field), static_cast<QWidget*>(area)}) {
        editor->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), editor);
        QApplication::sendEvent(editor, &escape);
        EXPECT_EQ(home.section(), HomeSection::profile);
    }
    // Text that cannot be edited does not: back to signing.
    shown->setFocus(Qt::OtherFocusReason);
    QApplication::sendEvent(shown, &escape);
    EXPECT_EQ(home.section(), HomeSection::sign);
    home.window()->close();
}

TEST(HomeWindow, MissingPaneFactoriesLeaveEmptySections) {
    World world;
    world.withPanes = false;
    HomeWindow home(false, world.services());
    home.goProfile();
    ASSERT_NE(home.currentView(), nullptr);
    EXPECT_NE(home.currentView(), home.signView());
    EXPECT_EQ(home.profilePane(), nullptr);
    home.goSettings();
    EXPECT_EQ(home.settingsPane(), nullptr);
}

TEST(HomeWindow, ReloadFollowsTheShownDocument) {
    World world;
    const auto older = world.sign("Contrato", 3h);
    const auto shown = world.sign("Solicitud", 1h);
    HomeWindow home(false, world.services());
    ASSERT_EQ(home.items().size(), 2u);
    home.show(home.items()[0]);
    EXPECT_EQ(home.section(), HomeSection::document);
    EXPECT_EQ(home.list()->currentRow(), 0);
    EXPECT_TRUE(home.list()->item(0)->isSelected());

    // Signed again (same path, newer date): the new entry shows and its row stays selected.
    world.now += 10min;
    RecentSignatures::add(older, "Ana Pérez", std::nullopt, std::nullopt, world.defaults, world.now,
                          [](std::string_view) {});
    RecentSignatures::add(shown, "Ana Pérez", std::nullopt, std::nullopt, world.defaults, world.now,
                          [](std::string_view) {});
    home.reload();
    EXPECT_EQ(home.section(), HomeSection::document);
    ASSERT_TRUE(home.documentPane()->item());
    EXPECT_LT(std::chrono::abs(home.documentPane()->item()->date - world.now), 1ms);
    EXPECT_EQ(home.list()->selectedItems().size(), 1);
    EXPECT_TRUE(home.list()->item(0)->isSelected());

    // The shown entry removed: back to signing, selection cleared.
    RecentSignatures::remove(shown, world.defaults);
    home.reload();
    EXPECT_EQ(home.section(), HomeSection::sign);
    EXPECT_TRUE(home.list()->selectedItems().isEmpty());
}

TEST(HomeWindow, ZoomItemsOnlyInTheDocumentSection) {
    World world;
    world.sign("Solicitud", 1h, 1);
    HomeWindow home(false, world.services());
    const QAction& zoomIn = *MainMenu::action(MenuAction::zoomInDocument);
    const QAction& zoomOut = *MainMenu::action(MenuAction::zoomOutDocument);
    const QAction& fit = *MainMenu::action(MenuAction::zoomToFitDocument);
    for (HomeSection section : {HomeSection::sign, HomeSection::profile, HomeSection::settings}) {
        home.show(section);
        EXPECT_FALSE(home.validateMenuItem(zoomIn));
        EXPECT_FALSE(home.validateMenuItem(zoomOut));
        EXPECT_FALSE(home.validateMenuItem(fit));
    }
    home.show(home.items()[0]);
    EXPECT_TRUE(home.validateMenuItem(zoomIn));
    EXPECT_FALSE(home.validateMenuItem(zoomOut));
    EXPECT_FALSE(home.validateMenuItem(fit));
    home.perform(MenuAction::zoomInDocument);
    EXPECT_DOUBLE_EQ(home.documentPane()->viewer().zoom(), 1.5);
    EXPECT_TRUE(home.validateMenuItem(zoomOut));
    EXPECT_TRUE(home.validateMenuItem(fit));
    home.perform(MenuAction::zoomToFitDocument);
    EXPECT_DOUBLE_EQ(home.documentPane()->viewer().zoom(), 1.0);
    home.window()->close();
}

TEST(HomeWindow, FrameIsStoredAndRestored) {
    World world;
    {
        HomeWindow home(false, world.services());
        EXPECT_EQ(home.window()->size(), QSize(1040, 700));
        EXPECT_EQ(home.window()->minimumSize(), QSize(900, 600));
        EXPECT_FALSE(world.defaults.data(HomeWindow::frameKey));
        int closes = 0;
        home.onClose = [&closes] { ++closes; };
        home.show(std::nullopt);
        home.window()->resize(1100, 720);
        home.window()->close();
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(world.defaults.data(HomeWindow::frameKey));
    }
    HomeWindow again(false, world.services());
    EXPECT_EQ(again.window()->size(), QSize(1100, 720));
}

TEST(HomeWindow, FrameIsStoredSoonAfterAMoveOrResize) {
    World world;
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    home.window()->setGeometry(QRect(QPoint(60, 50), QSize(1120, 730)));
    // Kept a moment after the last change, with the window still open.
    EXPECT_TRUE(QTest::qWaitFor(
        [&world] { return world.defaults.data(HomeWindow::frameKey).has_value(); }, 30000))
        << "The frame was not kept within 30 s.";
    HomeWindow next(false, world.services());
    EXPECT_EQ(next.window()->size(), QSize(1120, 730));
    EXPECT_EQ(next.window()->geometry().topLeft(), QPoint(60, 50));
    home.window()->close();
}

TEST(HomeWindow, AFrameKeptOnALargerScreenFitsTheScreenItOpensOn) {
    World world;
    {
        HomeWindow home(false, world.services());
        home.show(std::nullopt);
        home.window()->setGeometry(QRect(QPoint(300, 200), QSize(1300, 900)));
        home.window()->close();
    }
    // The frame, title bar included, lies within the screen's available area, and the window
    // keeps its minimum size where the screen has room for it.
    world.screen = QRect(0, 24, 1024, 676);
    HomeWindow small(false, world.services());
    EXPECT_TRUE(world.screen.contains(small.window()->geometry().adjusted(0, -30, 0, 0)))
        << "Sin sitio para la barra de título antes de mostrarse.";
    small.show(std::nullopt);
    QTest::qWait(50);
    const QRect frame = small.window()->frameGeometry();
    EXPECT_TRUE(world.screen.contains(frame)) << "El marco no cabe en la pantalla.";
    EXPECT_GE(small.window()->width(), HomeWindow::minimumWidth);
    EXPECT_GE(small.window()->height(), HomeWindow::minimumHeight);
    small.window()->close();

    // A screen smaller than the minimum takes a window as small as the screen.
    world.screen = QRect(0, 0, 800, 560);
    HomeWindow tiny(false, world.services());
    tiny.show(std::nullopt);
    QTest::qWait(50);
    EXPECT_TRUE(world.screen.contains(tiny.window()->frameGeometry())) << "El marco no cabe en la pantalla.";
    EXPECT_LT(tiny.window()->width(), HomeWindow::minimumWidth);
    EXPECT_LT(tiny.window()->height(), HomeWindow::minimumHeight);
    tiny.window()->close();
}

TEST(HomeWindow, DroppedPDFsArriveAfterTheDrop) {
    World world;
    HomeWindow home(false, world.services());
    std::vector<std::vector<std::filesystem::path>> arrived;
    home.onFiles = [&arrived](std::vector<std::filesystem::path> files) { arrived.push_back(files); };
    home.show(std::nullopt);

    std::unique_ptr<QMimeData> mixed(urlData({QStringLiteral("/tmp/a.pdf"), QStringLiteral("/tmp/B.PDF"),
                                              QStringLiteral("/tmp/c.txt"), QStringLiteral("/tmp/pdf")}));
    EXPECT_TRUE(drag(home, mixed.get(), false));
    EXPECT_TRUE(home.dropZone()->isHighlighted());
    EXPECT_EQ(home.dropZone()->symbolTint(), Brand::teal(home.dropZone()));
    drag(home, mixed.get(), true);
    EXPECT_FALSE(home.dropZone()->isHighlighted());
    EXPECT_TRUE(arrived.empty());  // not inside the drop
    settle();
    ASSERT_EQ(arrived.size(), 1u);
    EXPECT_EQ(arrived[0], (std::vector<std::filesystem::path>{"/tmp/a.pdf", "/tmp/B.PDF"}));

    // Without PDFs: refused, nothing lit, nothing sent.
    std::unique_ptr<QMimeData> text(urlData({QStringLiteral("/tmp/c.txt")}));
    EXPECT_FALSE(drag(home, text.get(), true));
    EXPECT_FALSE(home.dropZone()->isHighlighted());
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/a.pdf"))});
    EXPECT_FALSE(drag(home, &web, false));
    settle();
    EXPECT_EQ(arrived.size(), 1u);

    // With the data section shown, a drop still arrives.
    home.goProfile();
    drag(home, mixed.get(), true);
    settle();
    EXPECT_EQ(arrived.size(), 2u);
    home.window()->close();
}

TEST(HomeWindow, ReturnAndAClickAnywhereOnTheZoneChoose) {
    World world;
    HomeWindow home(false, world.services());
    int chosen = 0;
    home.onChoose = [&chosen] { ++chosen; };
    home.show(std::nullopt);
    QApplication::setActiveWindow(home.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(home.window()));
    QTest::mouseClick(home.dropZone(), Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(chosen, 1);
    home.dropZone()->button()->click();
    EXPECT_EQ(chosen, 2);
    QTest::keyClick(home.window(), Qt::Key_Return);
    EXPECT_EQ(chosen, 3);
    // Not on another section, whose own fields keep the key.
    home.goSettings();
    auto* field = new QLineEdit(world.settings[0]->widget);
    field->show();
    field->setFocus();
    int returns = 0;
    QObject::connect(field, &QLineEdit::returnPressed, [&returns] { ++returns; });
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(chosen, 3);
    EXPECT_EQ(returns, 1);
    home.window()->close();
}

// An alert dismissed with Return closes on the press; while the key stays down its repeats reach
// the window that comes to the front, and must not choose files there. A new press does.
TEST(HomeWindow, RepeatsOfAReturnHeldOverAnAlertDoNotChoose) {
    World world;
    HomeWindow home(false, world.services());
    int chosen = 0;
    home.onChoose = [&chosen] { ++chosen; };
    home.show(std::nullopt);
    QApplication::setActiveWindow(home.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(home.window()));
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : home.window();
    // As the window system delivers a key: to the shortcuts first, then to the focused widget.
    auto press = [target](int key, Qt::KeyboardModifiers modifiers, bool repeat) {
        if (qt_sendShortcutOverrideEvent(target, 0, key, modifiers, QStringLiteral("\r"), repeat, 1)) return;
        QKeyEvent event(QEvent::KeyPress, key, modifiers, QStringLiteral("\r"), repeat);
        QApplication::sendEvent(target, &event);
    };
    press(Qt::Key_Return, Qt::NoModifier, true);
    press(Qt::Key_Return, Qt::NoModifier, true);
    press(Qt::Key_Enter, Qt::KeypadModifier, true);
    EXPECT_EQ(chosen, 0) << "Las repeticiones de la tecla eligen ficheros.";
    press(Qt::Key_Return, Qt::NoModifier, false);
    EXPECT_EQ(chosen, 1);
    press(Qt::Key_Enter, Qt::KeypadModifier, false);
    EXPECT_EQ(chosen, 2);
    home.window()->close();
}

TEST(HomeWindow, NarrowestWindowKeepsMarginsAndEqualCards) {
    World world;
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    home.window()->resize(900, 600);
    settle();
    const QRect stack = home.sectionStack()->geometry();
    const int width = home.signView()->width();
    EXPECT_GE(stack.left(), 36);
    EXPECT_GE(width - stack.right() - 1, 36);
    EXPECT_LT(stack.width(), 680);
    const auto cards = home.tipCards();
    ASSERT_EQ(cards.size(), 3u);
    for (TipCard* card : cards) {
        EXPECT_NEAR(card->width(), cards[0]->width(), 1);
        EXPECT_EQ(card->height(), cards[0]->height());
    }
    EXPECT_EQ(cards[0]->title()->text(), QStringLiteral("Desde el gestor de archivos"));
    EXPECT_EQ(cards[0]->text()->text(),
              QStringLiteral("Clic derecho sobre uno o varios PDF → «Firmar con Tindra»."));
    EXPECT_EQ(home.dropZone()->height(), 290);
    // Wide: the section is 680 wide.
    home.window()->resize(1300, 760);
    settle();
    EXPECT_EQ(home.sectionStack()->width(), 680);
    home.window()->close();
}

TEST(RecentCell, DateWording) {
    const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1796817600));  // 2026-12-09 12:00 UTC
    EXPECT_EQ(RecentCell::detail(now - 59s, now), QStringLiteral("Ahora mismo"));
    EXPECT_EQ(RecentCell::detail(now + 1h, now), QStringLiteral("Ahora mismo"));
    EXPECT_EQ(RecentCell::detail(now - 60s, now), QStringLiteral("Hace 1 minuto"));
    EXPECT_EQ(RecentCell::detail(now - 3h, now), QStringLiteral("Hace 3 horas"));
    EXPECT_EQ(RecentCell::detail(now - 24h, now), QStringLiteral("Ayer"));
    EXPECT_EQ(RecentCell::detail(now - 48h, now), QStringLiteral("Anteayer"));
    EXPECT_EQ(RecentCell::detail(now - 604799s, now), QStringLiteral("Hace 6 días"));
    EXPECT_EQ(RecentCell::detail(now - 604800s, now), QStringLiteral("2 dic 2026"));

    RecentSignature entry;
    entry.path = "/home/ana/Documentos/Solicitud-firmado.pdf";
    entry.signer = "ANA PÉREZ GARCÍA";
    EXPECT_EQ(RecentCell::toolTip(entry),
              QStringLiteral("/home/ana/Documentos/Solicitud-firmado.pdf\nFirmado por ANA PÉREZ GARCÍA"));
    EXPECT_EQ(RecentCell::name(entry), QStringLiteral("Solicitud-firmado.pdf"));
}

TEST(HomeWindow, RecentRowsAndTheirActions) {
    World world;
    world.sign("Contrato", 72h, 1, false);
    world.sign("Solicitud", 2min);
    HomeWindow home(false, world.services());
    std::vector<std::string> again;
    home.onSignAgain = [&again](const RecentSignature& item) { again.push_back(item.path); };
    home.show(std::nullopt);
    settle();
    ASSERT_EQ(home.list()->count(), 2);
    EXPECT_FALSE(home.emptyLabel()->isVisible());
    EXPECT_EQ(home.list()->item(0)->text(), QStringLiteral("Solicitud-firmado.pdf"));
    EXPECT_EQ(home.list()->item(0)->data(RecentCell::detailRole).toString(), QStringLiteral("Hace 2 minutos"));
    EXPECT_EQ(home.list()->item(1)->data(RecentCell::detailRole).toString(), QStringLiteral("Hace 3 días"));
    EXPECT_EQ(home.list()->visualItemRect(home.list()->item(0)).height(), 46);

    // Below the rows: nothing happens, "Volver a editar…" disabled.
    QMenu* menu = home.contextMenu(QPoint(20, home.list()->viewport()->height() - 5));
    EXPECT_EQ(home.clickedRow(), -1);
    EXPECT_FALSE(menuItem(menu, QStringLiteral("Volver a editar…"))->isEnabled());
    for (const QString& title : {QStringLiteral("Abrir"), QStringLiteral("Mostrar en la carpeta"),
                                 QStringLiteral("Quitar de la lista")}) {
        menuItem(menu, title)->trigger();
    }
    EXPECT_TRUE(world.urls.opened.empty());
    EXPECT_TRUE(world.reveal.calls.empty());
    EXPECT_EQ(home.items().size(), 2u);

    // On the row without an original: "Volver a editar…" disabled.
    const QPoint second = home.list()->visualItemRect(home.list()->item(1)).center();
    menu = home.contextMenu(second);
    EXPECT_EQ(home.clickedRow(), 1);
    EXPECT_FALSE(menuItem(menu, QStringLiteral("Volver a editar…"))->isEnabled());
    menuItem(menu, QStringLiteral("Mostrar en la carpeta"))->trigger();
    ASSERT_EQ(world.reveal.calls.size(), 1u);
    EXPECT_EQ(world.reveal.calls[0][0], home.items()[1].url());

    // On the first row: enabled, and it reaches onSignAgain.
    const QPoint first = home.list()->visualItemRect(home.list()->item(0)).center();
    menu = home.contextMenu(first);
    ASSERT_TRUE(menuItem(menu, QStringLiteral("Volver a editar…"))->isEnabled());
    menuItem(menu, QStringLiteral("Volver a editar…"))->trigger();
    EXPECT_EQ(again, std::vector<std::string>{home.items()[0].path});

    // A double click shows the document, then opens it.
    QApplication::setActiveWindow(home.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(home.window()));
    // A real double click: the first click's press and release, then the second press.
    QTest::mouseClick(home.list()->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(home.section(), HomeSection::document);
    EXPECT_TRUE(world.urls.opened.empty());
    QTest::mouseDClick(home.list()->viewport(), Qt::LeftButton, {}, first);
    ASSERT_EQ(home.section(), HomeSection::document);
    ASSERT_TRUE(home.documentPane()->item());
    EXPECT_EQ(home.documentPane()->item()->path, home.items()[0].path);
    ASSERT_EQ(world.urls.opened.size(), 1u);
    EXPECT_EQ(world.urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(home.items()[0].path)));

    // Keyboard moves send nothing.
    home.goSign();
    home.list()->setFocus();
    QTest::keyClick(home.list(), Qt::Key_Down);
    EXPECT_EQ(home.section(), HomeSection::sign);

    // "Quitar de la lista" removes the entry shown in the list, not the file.
    const std::string removed = home.items()[1].path;
    menu = home.contextMenu(second);
    menuItem(menu, QStringLiteral("Quitar de la lista"))->trigger();
    ASSERT_EQ(home.items().size(), 1u);
    EXPECT_NE(home.items()[0].path, removed);
    EXPECT_TRUE(std::filesystem::exists(removed));
    home.window()->close();
}

TEST(HomeWindow, ARightClickOnARowLeavesTheSelection) {
    World world;
    world.sign("Contrato", 72h, 1, false);
    world.sign("Solicitud", 2min);
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    settle();
    QApplication::setActiveWindow(home.window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(home.window()));
    ASSERT_EQ(home.list()->count(), 2);
    const QPoint second = home.list()->visualItemRect(home.list()->item(1)).center();
    ASSERT_TRUE(home.list()->selectedItems().isEmpty());
    QTest::mousePress(home.list()->viewport(), Qt::RightButton, {}, second);
    EXPECT_TRUE(home.list()->selectedItems().isEmpty()) << "after press";
    QTest::mouseRelease(home.list()->viewport(), Qt::RightButton, {}, second);
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_TRUE(home.list()->selectedItems().isEmpty());
    EXPECT_EQ(home.section(), HomeSection::sign);
    // Its menu still acts on the row under the pointer.
    home.contextMenu(second);
    EXPECT_EQ(home.clickedRow(), 1);

    // While a document is shown, its row stays the selected one.
    const QPoint first = home.list()->visualItemRect(home.list()->item(0)).center();
    QTest::mouseClick(home.list()->viewport(), Qt::LeftButton, {}, first);
    ASSERT_EQ(home.section(), HomeSection::document);
    QTest::mouseClick(home.list()->viewport(), Qt::RightButton, {}, second);
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    EXPECT_EQ(home.list()->currentRow(), 0);
    ASSERT_EQ(home.list()->selectedItems().size(), 1);
    EXPECT_EQ(home.list()->selectedItems()[0], home.list()->item(0));
    EXPECT_EQ(home.documentPane()->item()->path, home.items()[0].path);
    home.window()->close();
}

TEST(HomeWindow, EmptyListShowsTheNote) {
    World world;
    HomeWindow home(false, world.services());
    home.show(std::nullopt);
    settle();
    EXPECT_TRUE(home.emptyLabel()->isVisible());
    EXPECT_FALSE(home.list()->isVisible());
    EXPECT_EQ(home.emptyLabel()->text(), QStringLiteral("Aquí aparecerán los documentos que firmes."));
    home.window()->close();
}
