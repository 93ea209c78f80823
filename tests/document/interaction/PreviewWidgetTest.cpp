// The preview's pointer, keys, inline editor, context menu and cursors through the widget's own
// events.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMenu>

#include "PreviewWidgetRig.h"
#include "document/TextBoxes.h"
#include "qtsupport/Screenshots.h"

using namespace interactiontest;
using FieldMark = PagesPreview::FieldMark;
using State = FillItem::State;
using Strings = std::vector<std::string>;

namespace {

const SignatureCopy copyA{0, {100, 100, 250, 72}};
const SignatureCopy copyB{0, {100, 300, 200, 60}};
const SignatureCopy copyC{0, {350, 450, 180, 50}};

// Pixels in `r` whose blue clearly exceeds their red: the accent colour.
int accentInk(const QImage& image, const QRectF& r) {
    int count = 0;
    QRect inside = r.toAlignedRect().intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            QColor c = image.pixelColor(x, y);
            if (c.blue() - c.red() > 50) ++count;
        }
    return count;
}

}  // namespace

TEST(PreviewWidget, PressDragAndReleaseThroughMouseEvents) {
    WidgetRig rig;
    ASSERT_TRUE(rig.activeOk);
    rig.view->setSignatures({copyB, copyA});
    // The top-right handle of the last copy, nothing picked: a resize.
    rig.press(rig.at(353, 175));
    EXPECT_EQ(rig.view->current(), 1);
    rig.dragTo(rig.at(50, 80));
    rig.release(rig.at(50, 80));
    EXPECT_EQ(rig.log, (Strings{"will:Cambiar el tamaño de la firma", "change:2"}));
    EXPECT_EQ(rig.view->signatures()[1].rect, (Rect{10, 72, 90, 28}));
    EXPECT_FALSE(rig.view->geometry().picked().has_value());
    EXPECT_EQ(QApplication::focusWidget(), rig.view);

    // The second press of a double click is a press too: it places a copy.
    rig.log.clear();
    QPoint p = rig.at(400, 300);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(p), rig.view->mapToGlobal(QPointF(p)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(rig.view, &twice);
    EXPECT_EQ(rig.log, (Strings{"will:Poner la firma", "change:3"}));
    EXPECT_EQ(rig.view->geometry().picked(), 2);
}

TEST(PreviewWidget, TextMarksAndFieldsThroughMouseEvents) {
    WidgetRig rig;
    rig.view->setTool(PagesPreview::Tool::text);
    rig.view->setTexts({PagesPreview::TextMark{100001, 0, {100, 300, 60, 16}, "Hola", 10}});
    rig.view->setFieldMarks({FieldMark{4, 0, {300, 300, 100, 20}, "", State::yours}});
    rig.press(rig.at(110, 308));
    rig.release(rig.at(110, 308));
    rig.press(rig.at(110, 308));
    rig.dragTo(rig.at(120, 308));
    rig.release(rig.at(120, 308));
    rig.press(rig.at(350, 310));
    rig.release(rig.at(350, 310));
    rig.press(rig.at(450, 500));
    rig.release(rig.at(450, 500));
    EXPECT_EQ(rig.log, (Strings{"textEdit:100001", "textWill", "text:100001:110,300:10", "field:4",
                                "textAdd:0:450,500"}));
}

TEST(PreviewWidget, KeysDeletePageAndPassOn) {
    WidgetRig rig;
    rig.view->setSignatures({copyA, copyB, copyC});
    WidgetRig::key(Qt::Key_Delete);
    EXPECT_EQ(rig.log, (Strings{"will:Quitar la firma", "change:2"}));
    WidgetRig::key(Qt::Key_Escape);  // nothing to drop: the window gets it
    EXPECT_EQ(rig.host.keys, Strings{"Esc"});

    WidgetRig ten(10);
    ten.view->setCurrentPage(9);
    WidgetRig::key(Qt::Key_PageDown);
    EXPECT_EQ(ten.view->currentPage(), 9);
    WidgetRig::key(Qt::Key_Up, Qt::KeypadModifier);  // the keypad flag does not count
    EXPECT_EQ(ten.view->currentPage(), 8);
    EXPECT_TRUE(ten.host.keys.empty());
    WidgetRig::key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(ten.view->currentPage(), 8);
    ASSERT_FALSE(ten.host.keys.empty());  // after the Control key itself
    EXPECT_EQ(ten.host.keys.back(), "Down");
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    EXPECT_TRUE(ten.view->turnPage(end));
    EXPECT_EQ(ten.view->currentPage(), 9);
    EXPECT_FALSE(ten.view->turnPage(Qt::Key_Home, Qt::ShiftModifier));
}

TEST(PreviewWidget, EditorReportsTheFirstTextBeforeTheSecondExists) {
    WidgetRig rig;
    ASSERT_TRUE(rig.activeOk);
    rig.view->beginEditing({1}, 0, {100, 500, 200, 20}, "Valencia");
    ASSERT_NE(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), rig.view->inlineEditor());
    EXPECT_EQ(rig.view->inlineEditor()->selectedText(), QStringLiteral("Valencia"));
    WidgetRig::type(QStringLiteral("Peñíscola"));
    rig.view->beginEditing({2}, 0, {100, 400, 200, 20}, "");
    EXPECT_EQ(rig.log, Strings{"edit:1:Peñíscola"});
    ASSERT_NE(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), rig.view->inlineEditor());

    // Escape after typing: nothing reported, the preview has the focus.
    WidgetRig::type(QStringLiteral("Alacant"));
    WidgetRig::key(Qt::Key_Escape);
    EXPECT_EQ(rig.log, Strings{"edit:1:Peñíscola"});
    EXPECT_EQ(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), rig.view);
    EXPECT_TRUE(rig.host.keys.empty());
}

TEST(PreviewWidget, ReturnUnchangedReportsNothingAndDeleteThenActsOnThePreview) {
    WidgetRig rig;
    rig.view->setSignatures({copyA, copyB, copyC});
    rig.view->beginEditing({7}, 0, {100, 500, 200, 20}, "Castelló");
    WidgetRig::key(Qt::Key_Return);
    EXPECT_TRUE(rig.log.empty());
    EXPECT_EQ(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), rig.view);
    // Return never reached the window (whose Return signs).
    EXPECT_TRUE(rig.host.keys.empty());
    WidgetRig::key(Qt::Key_Backspace);
    EXPECT_EQ(rig.log, (Strings{"will:Quitar la firma", "change:2"}));

    // Return after typing reports the text, still without reaching the window.
    rig.log.clear();
    rig.view->beginEditing({7}, 0, {100, 500, 200, 20}, "Castelló");
    WidgetRig::type(QStringLiteral("Elx"));
    WidgetRig::key(Qt::Key_Enter);
    EXPECT_EQ(rig.log, Strings{"edit:7:Elx"});
    EXPECT_TRUE(rig.host.keys.empty());
}

TEST(PreviewWidget, TabReportsAllIdsThenAsksForTheNextFieldLater) {
    WidgetRig rig;
    rig.view->beginEditing({11, 12, 13, 14}, 0, {100, 500, 60, 16}, "");
    WidgetRig::type(QStringLiteral("46001"));
    WidgetRig::key(Qt::Key_Tab);
    // The tab request waits for a later turn of the event loop.
    EXPECT_EQ(rig.log, Strings{"edit:11,12,13,14:46001"});
    EXPECT_EQ(rig.view->inlineEditor(), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(rig.log, (Strings{"edit:11,12,13,14:46001", "tab:11:1"}));

    // Shift-Tab without a change: only the request, backwards.
    rig.log.clear();
    rig.view->beginEditing({21}, 0, {100, 500, 60, 16}, "sí");
    QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &backtab);
    QApplication::processEvents();
    EXPECT_EQ(rig.log, Strings{"tab:21:0"});
    EXPECT_TRUE(rig.host.keys.empty());
}

TEST(PreviewWidget, TrailingSpacesCountAndATurnedPageEndsTheEditor) {
    WidgetRig rig(5);
    rig.view->beginEditing({3}, 0, {100, 500, 200, 20}, "Calle Mayor");
    WidgetRig::key(Qt::Key_End);
    WidgetRig::type(QStringLiteral("  "));
    rig.view->setCurrentPage(1);
    EXPECT_EQ(rig.log, Strings{"edit:3:Calle Mayor  "});
    EXPECT_EQ(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), rig.view);
    // An editor opened on a page that is not shown ends at once, silently.
    rig.view->beginEditing({4}, 3, {100, 500, 200, 20}, "x");
    EXPECT_EQ(rig.view->inlineEditor(), nullptr);
    EXPECT_EQ(rig.log.size(), 1u);
}

TEST(PreviewWidget, AnInactiveWindowKeepsTheEditorOpen) {
    WidgetRig rig;
    ASSERT_TRUE(rig.activeOk);
    rig.view->beginEditing({5}, 0, {100, 500, 200, 20}, "");
    WidgetRig::type(QStringLiteral("Xàtiva"));
    QWidget other;
    other.resize(200, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_NE(rig.view->inlineEditor(), nullptr);
    EXPECT_TRUE(rig.log.empty());
    QApplication::setActiveWindow(&rig.host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.host));
    EXPECT_EQ(QApplication::focusWidget(), rig.view->inlineEditor());
    WidgetRig::key(Qt::Key_Return);
    EXPECT_EQ(rig.log, Strings{"edit:5:Xàtiva"});
}

TEST(PreviewWidget, AClickThatClosesTheEditorPlacesNothing) {
    WidgetRig rig;
    rig.view->beginEditing({5}, 0, {100, 500, 200, 20}, "");
    WidgetRig::type(QStringLiteral("Gandia"));
    rig.press(rig.at(300, 200));
    rig.release(rig.at(300, 200));
    EXPECT_EQ(rig.log, Strings{"edit:5:Gandia"});
    EXPECT_TRUE(rig.view->signatures().empty());
    rig.press(rig.at(300, 200));
    EXPECT_EQ(rig.log, (Strings{"edit:5:Gandia", "will:Poner la firma", "change:1"}));
}

TEST(PreviewWidget, ContextMenuRemovesTheCopyAndAFieldMenuEndsTheEditorFirst) {
    WidgetRig rig;
    rig.view->setSignatures({copyA, copyB, copyC});
    rig.view->setFieldMarks({FieldMark{9, 0, {400, 100, 120, 20}, "", State::yours}});
    QStringList titles;
    rig.view->presentMenu = [&](QMenu& menu, const QPoint&) {
        for (QAction* a : menu.actions()) titles << a->text();
        EXPECT_EQ(rig.view->geometry().picked(), 1);  // selected before the menu opens
        menu.actions().front()->trigger();
    };
    rig.press(rig.at(150, 320), Qt::RightButton);
    EXPECT_EQ(titles, QStringList{QStringLiteral("Quitar la firma")});
    EXPECT_EQ(rig.log, (Strings{"will:Quitar la firma", "change:2"}));
    EXPECT_EQ(rig.view->signatures(), (std::vector<SignatureCopy>{copyA, copyC}));

    rig.log.clear();
    rig.view->beginEditing({9}, 0, {400, 100, 120, 20}, "");
    WidgetRig::type(QStringLiteral("Morella"));
    rig.press(rig.at(410, 110), Qt::RightButton);
    EXPECT_EQ(rig.log, (Strings{"edit:9:Morella", "fieldMenu:9"}));
}

TEST(PreviewWidget, CursorFollowsThePointer) {
    WidgetRig rig;
    ASSERT_TRUE(rig.activeOk);
    rig.view->setSignatures({copyA, copyB});
    rig.view->setSpaces({SignatureCopy{0, {350, 200, 150, 50}}});
    rig.view->setFieldMarks({FieldMark{7, 0, {400, 100, 120, 20}, "", State::yours},
                             FieldMark{8, 0, {400, 400, 12, 12}, "", State::filled, false, true}});
    auto shapeAt = [&](double x, double y) {
        rig.hover(rig.at(x, y));
        return rig.view->cursor().shape();
    };
    EXPECT_EQ(shapeAt(50, 50), Qt::CrossCursor);
    EXPECT_EQ(shapeAt(410, 110), Qt::IBeamCursor);
    EXPECT_EQ(shapeAt(405, 405), Qt::PointingHandCursor);
    EXPECT_EQ(shapeAt(400, 220), Qt::CrossCursor);
    EXPECT_EQ(shapeAt(150, 320), Qt::OpenHandCursor);
    EXPECT_EQ(shapeAt(97, 297), Qt::SizeBDiagCursor);
    EXPECT_EQ(shapeAt(303, 297), Qt::SizeFDiagCursor);
    EXPECT_EQ(shapeAt(97, 363), Qt::SizeFDiagCursor);
    EXPECT_EQ(shapeAt(303, 363), Qt::SizeBDiagCursor);
    rig.view->setTool(PagesPreview::Tool::text);
    EXPECT_EQ(shapeAt(50, 50), Qt::IBeamCursor);
    rig.view->setTool(PagesPreview::Tool::signature);
    rig.view->setLook(std::nullopt);
    EXPECT_EQ(shapeAt(50, 50), Qt::ArrowCursor);
    // Hover in the active window sets the ghost; leaving clears it.
    rig.view->setLook(PagesPreview::Look::card(previewtest::stamp()));
    rig.hover(rig.at(300, 50));
    EXPECT_TRUE(rig.view->geometry().ghost().has_value());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(rig.view, &leave);
    EXPECT_FALSE(rig.view->geometry().ghost().has_value());
}

namespace {

// The editor's frame over a page rectangle, as its layout gives it.
// The frame is the integral rectangle round the exact one: one point taller when the exact one
// straddles a whole point (`exact` when it does not).
void expectEditorGeometry(PagesPreview& view, const Rect& pageRect, bool exact) {
    QLineEdit* editor = view.inlineEditor();
    ASSERT_NE(editor, nullptr);
    Rect r = view.geometry().layouts().at(0).transform.apply(pageRect);
    double size = std::max(11.0, 0.6 * r.height);
    EXPECT_EQ(editor->font().pixelSize(), std::lround(size));
    const long h = std::lround(1.35 * size + 6);
    if (exact)
        EXPECT_EQ(editor->height(), h);
    else
        EXPECT_TRUE(editor->height() == h || editor->height() == h + 1) << editor->height();
    EXPECT_GE(editor->width(), 120);
    EXPECT_GE(editor->width(), std::floor(r.width));
    EXPECT_NEAR(editor->geometry().center().y(), view.toWidget(Point{r.midX(), r.midY()}).y(), 1.5);
    EXPECT_NEAR(editor->x(), r.minX(), 1);
}

}  // namespace

TEST(PreviewWidget, ScreenshotInlineEditorAtZoomOneAndThree) {
    WidgetRig rig;
    const Rect field{300, 420.5, 160, 18};
    rig.view->setFieldMarks({FieldMark{1, 0, field, "", State::yours},
                             FieldMark{2, 0, {80, 300, 140, 18}, "Lucía Pérez Nadal", State::filled}});
    rig.view->beginEditing({1}, 0, field, "");
    WidgetRig::type(QStringLiteral("Peñíscola"));
    ASSERT_TRUE(previewtest::waitForTiles(*rig.view));
    QImage one = Screenshots::save(rig.host, QStringLiteral("preview-inline-editor"));
    expectEditorGeometry(*rig.view, field, true);
    QRect editor = rig.view->inlineEditor()->geometry();
    EXPECT_GT(accentInk(one, QRectF(editor)), 50);  // the border
    EXPECT_EQ(one.pixelColor(editor.center() + QPoint(editor.width() / 2 - 8, 0)), Qt::white);

    rig.view->setZoom(3, rig.view->toWidget(v(field.midX(), field.midY())));
    ASSERT_TRUE(previewtest::waitForTiles(*rig.view));
    QImage three = Screenshots::save(rig.host, QStringLiteral("preview-inline-editor-zoom3"));
    expectEditorGeometry(*rig.view, field, false);
    EXPECT_GT(rig.view->inlineEditor()->font().pixelSize(), 30);
    EXPECT_GT(accentInk(three, QRectF(rig.view->inlineEditor()->geometry())), 100);
    EXPECT_EQ(rig.view->inlineEditor()->text(), QStringLiteral("Peñíscola"));
}

TEST(PreviewWidget, ScreenshotSelectedCopyAndSelectedTextMark) {
    WidgetRig rig;
    rig.view->setSignatures({copyA, copyB});
    rig.press(rig.at(150, 120));
    rig.release(rig.at(150, 120));
    ASSERT_TRUE(previewtest::waitForTiles(*rig.view));
    QImage copy = Screenshots::save(rig.host, QStringLiteral("preview-selected-copy"));
    // Handles on the corners of the picked copy, none on the other.
    QPoint a = rig.at(97, 97), b = rig.at(97, 297);
    EXPECT_GT(accentInk(copy, QRectF(a.x() - 6, a.y() - 6, 12, 12)), 20);
    EXPECT_LT(accentInk(copy, QRectF(b.x() - 6, b.y() - 6, 12, 12)), 12);

    const double w = TextBoxes::width("Peñíscola, 3 de mayo", 12);
    rig.view->setTexts(
        {PagesPreview::TextMark{100001, 0, {300, 540, w, TextBoxes::height(12)}, "Peñíscola, 3 de mayo", 12}});
    rig.press(rig.at(310, 545));
    rig.release(rig.at(310, 545));
    EXPECT_EQ(rig.view->geometry().selectedText(), 100001);
    ASSERT_TRUE(previewtest::waitForTiles(*rig.view));
    QImage text = Screenshots::save(rig.host, QStringLiteral("preview-selected-text"));
    QPoint c = rig.at(300 + w + 3, 540 + TextBoxes::height(12) + 3);
    EXPECT_GT(accentInk(text, QRectF(c.x() - 6, c.y() - 6, 12, 12)), 20);
}
