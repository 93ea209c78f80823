// The preview's pointer and keyboard model: handles and drags of the copies, placement, text
// marks, field clicks, keys, hover, the right press and the cursor areas.
#include <gtest/gtest.h>

#include <cmath>

#include "InteractionRig.h"
#include "document/TextBoxes.h"

using namespace interactiontest;
using Cursor = PreviewInteraction::Cursor;
using Drag = PreviewInteraction::Drag;
using FieldMark = PreviewGeometry::FieldMark;
using Key = PreviewInteraction::Key;
using State = FillItem::State;
using Strings = std::vector<std::string>;

namespace {

const SignatureCopy copyA{0, {100, 100, 250, 72}};
const SignatureCopy copyB{0, {100, 300, 200, 60}};
const SignatureCopy copyC{0, {350, 450, 180, 50}};

bool allWhole(const Rect& r) {
    return r.x == std::round(r.x) && r.y == std::round(r.y) && r.width == std::round(r.width) &&
           r.height == std::round(r.height);
}

}  // namespace

TEST(PreviewInteraction, ResizedAndClampedFollowTheRules) {
    // Beyond the minimum on both sides of the anchor; inside it the minimum holds.
    EXPECT_EQ(PreviewInteraction::resized({100, 100}, {400, 200}, {90, 28}), (Rect{100, 100, 300, 100}));
    EXPECT_EQ(PreviewInteraction::resized({100, 100}, {120, 110}, {90, 28}), (Rect{100, 100, 90, 28}));
    EXPECT_EQ(PreviewInteraction::resized({100, 100}, {50, 80}, {90, 28}), (Rect{10, 72, 90, 28}));
    EXPECT_EQ(PreviewInteraction::resized({100, 100}, {0, 0}, {90, 28}), (Rect{0, 0, 100, 100}));
    Rig rig;
    // Kept inside the crop box, shrunk to it when larger.
    EXPECT_EQ(rig.interaction.clamped({-20, 590, 100, 50}, 0), (Rect{0, 562, 100, 50}));
    EXPECT_EQ(rig.interaction.clamped({-10, -10, 700, 700}, 0), (Rect{0, 0, 600, 612}));
    // A crop box away from the origin.
    rig.model.setDocument({DisplaySpace({50, 60, 300, 400}, 0)});
    EXPECT_EQ(rig.interaction.clamped({0, 0, 100, 50}, 0), (Rect{50, 60, 100, 50}));
}

TEST(PreviewInteraction, CornerHandlesReachNineAndAnchorTheOppositeCorner) {
    // The last copy is current while nothing is picked: each corner of its box grown by 3 is a
    // handle, anchored at the opposite corner of the copy.
    struct Case {
        Point handle;  // view corner of the grown box
        Point anchor;  // page corner
    };
    const Rect r = copyA.rect;
    const Case cases[] = {
        {v(r.minX() - 3, r.minY() - 3), {r.maxX(), r.maxY()}},  // bottom-left: top-right
        {v(r.maxX() + 3, r.minY() - 3), {r.minX(), r.maxY()}},  // bottom-right: top-left
        {v(r.minX() - 3, r.maxY() + 3), {r.maxX(), r.minY()}},  // top-left: bottom-right
        {v(r.maxX() + 3, r.maxY() + 3), {r.minX(), r.minY()}},  // top-right: bottom-left
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.model.setSignatures({copyB, copyA});
        // Exactly 9 away, outside the body: still the handle.
        rig.interaction.press({c.handle.x, c.handle.y + (c.handle.y > 300 ? 9 : -9)});
        ASSERT_TRUE(rig.interaction.drag().has_value());
        EXPECT_EQ(*rig.interaction.drag(), (Drag{PreviewInteraction::Resize{1, c.anchor}}));
        EXPECT_EQ(rig.log, Strings{"will:Cambiar el tamaño de la firma"});
        EXPECT_FALSE(rig.model.picked().has_value());
    }
    // A little further is no handle: the click places a new copy instead.
    Rig rig;
    rig.model.setSignatures({copyA});
    rig.interaction.press(v(r.minX() - 3, r.minY() - 3 - 9.01));
    EXPECT_EQ(rig.log, (Strings{"will:Poner la firma", "change"}));
}

TEST(PreviewInteraction, ResizeFlipsKeepsTheMinimumAndStaysInTheCropBox) {
    Rig rig;
    rig.model.setSignatures({copyA});
    // The top-right handle: the anchor is (100, 100).
    rig.interaction.press(v(350 + 3, 172 + 3));
    rig.interaction.dragTo(v(50, 80));  // past the anchor: flipped, never under 90 x 28
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{10, 72, 90, 28})});
    rig.interaction.dragTo(v(120, 110));
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{100, 100, 90, 28})});
    rig.interaction.dragTo(v(100.4 + 200.3, 100 + 60.6));  // whole points
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{100, 100, 201, 61})});
    // Past the crop box: the whole copy moves back inside; the anchor gives way.
    rig.interaction.dragTo(v(700, 700));
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{0, 12, 600, 600})});
    rig.interaction.release();
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "will:Cambiar el tamaño de la firma"), 1);
    EXPECT_FALSE(rig.interaction.drag().has_value());
}

TEST(PreviewInteraction, MoveStopsAtTheCropBoxAndAnOversizeCopyShrinks) {
    Rig rig;
    rig.model.setSignatures({copyA, copyB});
    // Grab copy A in its body, 10 and 20 points from its corner.
    rig.interaction.press(v(110, 120));
    EXPECT_EQ(rig.model.picked(), 0);
    EXPECT_EQ(rig.log, Strings{"will:Mover la firma"});
    rig.interaction.dragTo(v(210.3, 220.6));
    EXPECT_EQ(rig.lastRects()[0], (Rect{200, 201, 250, 72}));
    for (const Rect& r : rig.lastRects()) EXPECT_TRUE(allWhole(r));
    rig.interaction.dragTo(v(-500, 2000));
    EXPECT_EQ(rig.lastRects()[0], (Rect{0, 540, 250, 72}));
    EXPECT_EQ(rig.reports.back()[1], copyB);  // the others stay
    rig.interaction.release();
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "will:Mover la firma"), 1);

    // A copy larger than the page is shrunk to it on the first step.
    Rig big;
    big.model.setSignatures({SignatureCopy{0, {-50, -50, 800, 900}}});
    big.interaction.press(v(300, 300));
    big.interaction.dragTo(v(301, 301));
    EXPECT_EQ(big.lastRects()[0], (Rect{0, 0, 600, 612}));
}

TEST(PreviewInteraction, PlacementOnAFreePlaceOrCentredOnThePointer) {
    // The first card is 250 x 72, centred on the pointer.
    Rig rig;
    rig.interaction.press(v(300, 300));
    EXPECT_EQ(rig.log, (Strings{"will:Poner la firma", "change"}));
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{175, 264, 250, 72})});
    EXPECT_EQ(rig.model.picked(), 0);
    // The same gesture drags the new copy.
    rig.interaction.dragTo(v(310, 310));
    EXPECT_EQ(rig.lastRects(), std::vector<Rect>{(Rect{185, 274, 250, 72})});
    rig.interaction.release();

    // Elsewhere: the picked copy's size, kept in the page.
    Rig sized;
    sized.model.setSignatures({copyA, copyB});
    sized.model.setPicked(1);
    sized.interaction.press(v(590, 5));
    ASSERT_EQ(sized.lastRects().size(), 3u);
    EXPECT_EQ(sized.lastRects()[2], (Rect{400, 0, 200, 60}));
    EXPECT_EQ(sized.model.picked(), 2);

    // On a free place: exactly that place, in whole points, over a field mark too.
    Rig free;
    free.model.setSpaces({SignatureCopy{0, {100.4, 400.5, 150.2, 50.5}}});
    free.model.setFieldMarks({FieldMark{7, 0, {90, 390, 200, 80}, "", State::yours}});
    free.interaction.press(v(120, 420));
    EXPECT_EQ(free.lastRects(), std::vector<Rect>{(Rect{100, 401, 150, 51})});
    EXPECT_FALSE(free.reports.back()[0].handwritten.has_value());
}

TEST(PreviewInteraction, AClickThatClosesAnEditorPlacesNothing) {
    Rig rig;
    rig.model.setEditor(PreviewGeometry::Editor{{5}, 0, {10, 10, 100, 16}});
    rig.interaction.press(v(300, 300));
    EXPECT_EQ(rig.log, Strings{"endEditing"});
    EXPECT_FALSE(rig.model.editor().has_value());
    // The toolkit ended it on the way to the press.
    rig.clear();
    rig.interaction.press(v(300, 300), true);
    EXPECT_TRUE(rig.log.empty());
    rig.interaction.press(v(300, 300));
    EXPECT_EQ(rig.log, (Strings{"will:Poner la firma", "change"}));
}

TEST(PreviewInteraction, FieldClicksAndTheTextTool) {
    Rig rig;
    rig.model.setTool(PreviewGeometry::Tool::text);
    rig.model.setSignatures({copyA});
    rig.model.setFieldMarks({FieldMark{3, 0, {300, 300, 100, 20}, "", State::other, false},
                             FieldMark{4, 0, {300, 300, 100, 20}, "", State::yours}});
    // The mark that is neither planned nor editable is skipped; the next one takes the press.
    rig.interaction.press(v(350, 310));
    EXPECT_EQ(rig.log, Strings{"field:4:500,348,100,20"});
    rig.clear();
    rig.interaction.press(v(450.5, 500.25));
    EXPECT_EQ(rig.log, Strings{"textAdd:0:450.5,500.25"});
    // Copies still move and go with Delete.
    rig.clear();
    rig.interaction.press(v(200, 130));
    rig.interaction.dragTo(v(210, 130));
    rig.interaction.release();
    EXPECT_EQ(rig.log, (Strings{"will:Mover la firma", "change"}));
    EXPECT_TRUE(rig.interaction.keyDown(Key::forwardDelete, {}));
    EXPECT_TRUE(rig.model.signatures().empty());
}

TEST(PreviewInteraction, TextMarkClickEditsAndDragMovesPastThreePoints) {
    Rig rig;
    const double w = TextBoxes::width("Peñíscola", 10);
    rig.model.setTexts({PreviewGeometry::TextMark{100001, 0, {100, 300, w, 16}, "Peñíscola", 10}});
    rig.interaction.press(v(110, 308));
    EXPECT_EQ(rig.model.selectedText(), 100001);
    rig.interaction.dragTo(v(112, 310));  // 2.8 away: not yet a move
    rig.interaction.release();
    EXPECT_EQ(rig.log, Strings{"textEdit:100001"});

    rig.clear();
    rig.interaction.press(v(110, 308));
    rig.interaction.dragTo(v(114, 308));
    rig.interaction.dragTo(v(150.6, 250.2));
    rig.interaction.release();
    EXPECT_EQ(rig.log, (Strings{"textWill", "text:100001:104,300:10", "text:100001:141,242:10"}));
}

TEST(PreviewInteraction, TextResizeGivesSizesInRangeAndIsNotHeldInThePage) {
    Rig rig;
    const double w10 = TextBoxes::width("Hola", 10);
    rig.model.setTexts({PreviewGeometry::TextMark{100001, 0, {10, 10, w10, 16}, "Hola", 10}});
    rig.interaction.press(v(12, 15));  // selects it
    rig.interaction.release();
    rig.clear();
    // Its top-right handle: anchored at (10, 10).
    rig.interaction.press(v(10 + w10 + 3, 10 + 16 + 3));
    EXPECT_EQ(rig.log, Strings{"textWill"});
    rig.interaction.dragTo(v(300, 500));
    rig.interaction.dragTo(v(300, 11));
    rig.interaction.dragTo(v(0, -200));
    const double w40 = TextBoxes::width("Hola", 40);
    EXPECT_EQ(rig.log, (Strings{"textWill", "text:100001:10,10:40", "text:100001:10,10:6",
                                "text:100001:" + number(std::round(10 - w40)) + ",-54:40"}));
}

TEST(PreviewInteraction, DeleteEscapeAndPaging) {
    // Delete with nothing picked and three copies removes the third.
    Rig rig;
    rig.model.setSignatures({copyA, copyB, copyC});
    EXPECT_TRUE(rig.interaction.keyDown(Key::backspace, {}));
    EXPECT_EQ(rig.log, (Strings{"will:Quitar la firma", "change"}));
    EXPECT_EQ(rig.reports.back(), (std::vector<SignatureCopy>{copyA, copyB}));
    // Escape drops the pick, then passes on.
    rig.model.setPicked(0);
    EXPECT_TRUE(rig.interaction.keyDown(Key::escape, {}));
    EXPECT_FALSE(rig.model.picked());
    EXPECT_FALSE(rig.interaction.keyDown(Key::escape, {}));

    // Without copies the key goes on to paging, then out.
    Rig none(5);
    EXPECT_FALSE(none.interaction.keyDown(Key::backspace, {}));
    EXPECT_TRUE(none.interaction.keyDown(Key::pageDown, {}));
    EXPECT_EQ(none.model.currentPage(), 1);
    none.model.setLook(std::nullopt);
    none.model.setSignatures({copyA});
    EXPECT_FALSE(none.interaction.keyDown(Key::forwardDelete, {}));

    // Three pages: no paging.
    Rig three(3);
    EXPECT_FALSE(three.interaction.turnPage(Key::pageDown, {}));
    // Ten pages on the last one: Page Down stores page 9 again.
    Rig ten(10);
    ten.model.setCurrentPage(9);
    ten.clear();
    EXPECT_TRUE(ten.interaction.turnPage(Key::pageDown, {}));
    EXPECT_EQ(ten.log, Strings{"page:9"});
    EXPECT_FALSE(ten.interaction.turnPage(Key::down, {false, true, false, false}));
    EXPECT_FALSE(ten.interaction.turnPage(Key::down, {true, false, false, false}));
    EXPECT_TRUE(ten.interaction.turnPage(Key::home, {}));
    EXPECT_EQ(ten.model.currentPage(), 0);
    EXPECT_TRUE(ten.interaction.turnPage(Key::up, {}));
    EXPECT_EQ(ten.model.currentPage(), 0);
    EXPECT_TRUE(ten.interaction.turnPage(Key::end, {}));
    EXPECT_EQ(ten.model.currentPage(), 9);
    EXPECT_FALSE(ten.interaction.turnPage(Key::other, {}));
}

TEST(PreviewInteraction, DeleteNeverRemovesACopyOnAPageNotShown) {
    Rig rig(5);
    rig.model.setSignatures({SignatureCopy{3, {100, 100, 250, 72}}});
    EXPECT_FALSE(rig.interaction.keyDown(Key::backspace, {}));
    EXPECT_TRUE(rig.reports.empty());
    rig.model.setCurrentPage(3);
    EXPECT_TRUE(rig.interaction.keyDown(Key::backspace, {}));
    EXPECT_TRUE(rig.reports.back().empty());
}

TEST(PreviewInteraction, DeleteAndEscapeOnASelectedTextMark) {
    Rig rig;
    rig.model.setSignatures({copyA});
    rig.model.setTexts({PreviewGeometry::TextMark{100002, 0, {300, 500, 60, 16}, "Sí", 10}});
    rig.interaction.press(v(310, 505));
    rig.interaction.release();
    rig.clear();
    EXPECT_TRUE(rig.interaction.keyDown(Key::forwardDelete, {}));
    EXPECT_EQ(rig.log, Strings{"textDelete:100002"});
    EXPECT_FALSE(rig.model.selectedText());
    // Escape leaves the text tool first.
    rig.model.setTool(PreviewGeometry::Tool::text);
    rig.model.setSelectedText(100002);
    EXPECT_TRUE(rig.interaction.keyDown(Key::escape, {}));
    EXPECT_EQ(rig.model.tool(), PreviewGeometry::Tool::signature);
    EXPECT_EQ(rig.model.selectedText(), 100002);
}

TEST(PreviewInteraction, HoverShowsTheGhostOrTheEditableField) {
    Rig rig;
    rig.model.setSpaces({SignatureCopy{0, {100, 400, 150, 50}}});
    rig.model.setFieldMarks({FieldMark{7, 0, {90, 390, 200, 80}, "", State::yours},
                             FieldMark{8, 0, {400, 100, 12, 12}, "", State::filled, false, true, true},
                             FieldMark{9, 0, {400, 200, 120, 20}, "", State::suggested}});
    // The ghost stands exactly on the free place, over the field mark too; no highlight.
    rig.interaction.mouseMoved(v(120, 420));
    ASSERT_TRUE(rig.model.ghost().has_value());
    EXPECT_EQ(rig.model.ghost()->rect, (Rect{100, 400, 150, 50}));
    EXPECT_FALSE(rig.model.hovered());
    // The field outside the place: highlighted, no ghost.
    rig.interaction.mouseMoved(v(280, 460));
    EXPECT_FALSE(rig.model.ghost());
    EXPECT_EQ(rig.model.hovered(), 7);
    // A tick box that cannot be typed into: nothing.
    rig.interaction.mouseMoved(v(405, 105));
    EXPECT_FALSE(rig.model.hovered());
    EXPECT_FALSE(rig.model.ghost());
    rig.interaction.mouseMoved(v(450, 210));
    EXPECT_EQ(rig.model.hovered(), 9);
    // Elsewhere the ghost; leaving clears both.
    rig.interaction.mouseMoved(v(300, 50));
    EXPECT_TRUE(rig.model.ghost());
    EXPECT_FALSE(rig.model.hovered());
    rig.interaction.mouseExited();
    EXPECT_FALSE(rig.model.ghost());
    // With the text tool or without a look there is no ghost.
    rig.model.setTool(PreviewGeometry::Tool::text);
    rig.interaction.mouseMoved(v(300, 50));
    EXPECT_FALSE(rig.model.ghost());
    rig.model.setTool(PreviewGeometry::Tool::signature);
    rig.model.setLook(std::nullopt);
    rig.interaction.mouseMoved(v(300, 50));
    EXPECT_FALSE(rig.model.ghost());
}

TEST(PreviewInteraction, RightPressPicksACopyOrOpensTheFieldMenu) {
    Rig rig;
    rig.model.setSignatures({copyA, copyB, copyC});
    rig.model.setFieldMarks({FieldMark{7, 0, {400, 100, 120, 20}, "", State::yours}});
    EXPECT_EQ(rig.interaction.rightPress(v(150, 320)), PreviewInteraction::RightPress::copyMenu);
    EXPECT_EQ(rig.model.picked(), 1);
    EXPECT_EQ(rig.log, Strings{"menu"});
    rig.interaction.removePicked();
    EXPECT_EQ(rig.log, (Strings{"menu", "will:Quitar la firma", "change"}));
    EXPECT_EQ(rig.reports.back(), (std::vector<SignatureCopy>{copyA, copyC}));
    // A field while editing: the editor ends before the menu.
    rig.clear();
    rig.model.setEditor(PreviewGeometry::Editor{{7}, 0, {400, 100, 120, 20}});
    EXPECT_EQ(rig.interaction.rightPress(v(410, 110)), PreviewInteraction::RightPress::fieldMenu);
    EXPECT_EQ(rig.log, (Strings{"endEditing", "fieldMenu:7"}));
    EXPECT_EQ(rig.interaction.rightPress(v(10, 600)), PreviewInteraction::RightPress::none);
    // No copies: nothing to remove.
    Rig empty;
    empty.interaction.removePicked();
    EXPECT_TRUE(empty.log.empty());
}

TEST(PreviewInteraction, CursorAreasInOrder) {
    Rig rig;
    rig.model.setSignatures({copyA, copyB});
    rig.model.setSpaces({SignatureCopy{0, {350, 200, 150, 50}}});
    rig.model.setFieldMarks({FieldMark{7, 0, {400, 100, 120, 20}, "", State::yours},
                             FieldMark{8, 0, {400, 400, 12, 12}, "", State::filled, false, true},
                             FieldMark{9, 0, {400, 500, 12, 12}, "", State::other, false}});
    const Rect visible{0, 0, 1000, 700};
    auto at = [&](Point p) {
        return PreviewInteraction::cursorAt(rig.interaction.cursorRects(visible), p);
    };
    EXPECT_EQ(at(v(50, 50)), Cursor::crosshair);
    EXPECT_EQ(at(v(410, 110)), Cursor::iBeam);
    EXPECT_EQ(at(v(405, 405)), Cursor::pointingHand);
    EXPECT_EQ(at(v(405, 505)), Cursor::crosshair);  // only drawn, not clickable
    EXPECT_EQ(at(v(400, 220)), Cursor::crosshair);  // the free place
    EXPECT_EQ(at(v(150, 120)), Cursor::openHand);
    EXPECT_EQ(at({0, 0}), Cursor::arrow);  // off the page
    // The current copy (the last) has its corners; the first copy has none.
    EXPECT_EQ(at(v(97, 297)), Cursor::resizeBottomLeft);
    EXPECT_EQ(at(v(303, 297)), Cursor::resizeBottomRight);
    EXPECT_EQ(at(v(97, 363)), Cursor::resizeTopLeft);
    EXPECT_EQ(at(v(303, 363)), Cursor::resizeTopRight);
    EXPECT_EQ(at(v(97, 97)), Cursor::openHand);
    rig.model.setPicked(0);
    EXPECT_EQ(at(v(97, 97)), Cursor::resizeBottomLeft);
    // Every area is cut to the visible rectangle.
    for (const auto& c : rig.interaction.cursorRects({0, 0, 500, 300}))
        EXPECT_LE(c.rect.maxX(), 500);
    // The text tool and the missing look.
    rig.model.setTool(PreviewGeometry::Tool::text);
    EXPECT_EQ(at(v(50, 50)), Cursor::iBeam);
    rig.model.setTool(PreviewGeometry::Tool::signature);
    rig.model.setLook(std::nullopt);
    EXPECT_EQ(at(v(50, 50)), Cursor::arrow);
    EXPECT_EQ(at(v(150, 120)), Cursor::arrow);
}

TEST(PreviewInteraction, OnATurnedPageTheCornerOppositeTheHandleOnScreenStays) {
    Rig rig;
    rig.model.setDocument({DisplaySpace(page, 90)});
    rig.model.setSignatures({SignatureCopy{0, {100, 100, 72, 250}}});
    const auto frames = rig.model.signatureFrames();
    ASSERT_EQ(frames.size(), 1u);
    const Rect box = frames[0].box;
    // The top-right handle on screen; the bottom-left corner on screen stays.
    rig.interaction.press({box.maxX() + 3, box.maxY() + 3});
    rig.interaction.dragTo({box.maxX() + 40, box.maxY() + 30});
    ASSERT_EQ(rig.reports.size(), 1u);
    const Rect moved = frames[0].layout.transform.apply(rig.reports.back()[0].rect);
    EXPECT_NEAR(moved.minX(), box.minX(), 1.5);
    EXPECT_NEAR(moved.minY(), box.minY(), 1.5);
    EXPECT_NEAR(moved.maxX(), box.maxX() + 40, 1.5);
    EXPECT_NEAR(moved.maxY(), box.maxY() + 30, 1.5);
}
