// The text boxes' model without a window: ids, drafts, typing, moving, restoring and snapshots.
#include <gtest/gtest.h>

#include "document/TextBoxes.h"
#include "signing/PangoText.h"

namespace {

FormFill fill(std::string name, Rect rect, std::string text, std::optional<double> size) {
    FormFill f;
    f.name = std::move(name);
    f.pageIndex = 1;
    f.rect = rect;
    f.text = std::move(text);
    f.size = size;
    return f;
}

TEST(TextBoxes, PlacingGivesGrowingIdsAndADraftRectangle) {
    TextBoxes boxes;
    const TextBoxes::Target first = boxes.place(0, {100, 100});
    EXPECT_EQ(first.ids, std::vector<int>{100001});
    EXPECT_EQ(first.pageIndex, 0);
    EXPECT_EQ(first.rect, (Rect{98, 92, 150, 16}));
    EXPECT_EQ(first.text, "");
    EXPECT_EQ(boxes.place(0, {10, 10}).ids, std::vector<int>{100002});
    // Drafts give neither marks nor fills, but they are editing targets.
    EXPECT_TRUE(boxes.marks().empty());
    EXPECT_TRUE(boxes.fills().empty());
    EXPECT_EQ(boxes.target(100001), first);
    EXPECT_FALSE(boxes.target(100003));
}

TEST(TextBoxes, WritingTrimsAndMakesABoxOfSizeTen) {
    TextBoxes boxes;
    boxes.place(0, {100, 100});
    boxes.write("  hola\t ", 100001);
    const std::vector<FormFill> fills = boxes.fills();
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].name, "tindra.texto");
    EXPECT_EQ(fills[0].text, "hola");
    EXPECT_EQ(fills[0].drawn, std::optional<bool>(true));
    EXPECT_EQ(fills[0].size, std::optional<double>(10));
    EXPECT_FALSE(fills[0].centered);
    EXPECT_EQ(fills[0].rect.origin(), (Point{98, 92}));
    EXPECT_EQ(fills[0].rect.height, 16);
    EXPECT_EQ(fills[0].rect.width, TextBoxes::width("hola", 10));
    const auto marks = boxes.marks();
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].id, 100001);
    EXPECT_EQ(marks[0].text, "hola");
    EXPECT_EQ(marks[0].size, 10);

    // New text keeps origin and size; the empty text removes the box.
    boxes.set(100001, {50, 60}, 14);
    boxes.write("adiós", 100001);
    EXPECT_EQ(boxes.fills()[0].rect.origin(), (Point{50, 60}));
    EXPECT_EQ(boxes.fills()[0].size, std::optional<double>(14));
    boxes.write("", 100001);
    EXPECT_TRUE(boxes.fills().empty());
}

TEST(TextBoxes, BlanksLeaveNothingAndUnknownIdsChangeNothing) {
    TextBoxes boxes;
    boxes.place(0, {100, 100});
    boxes.write("   ", 100001);
    EXPECT_TRUE(boxes.fills().empty());
    EXPECT_FALSE(boxes.target(100001));  // the draft is gone too
    boxes.write("x", 100001);
    EXPECT_TRUE(boxes.fills().empty());
    boxes.write("x", 42);
    EXPECT_TRUE(boxes.fills().empty());

    const TextBoxes::Target draft = boxes.place(2, {300, 300});
    boxes.set(draft.ids[0], {0, 0}, 30);  // drafts are not moved
    EXPECT_EQ(boxes.target(draft.ids[0])->rect, draft.rect);
}

TEST(TextBoxes, Geometry) {
    EXPECT_EQ(TextBoxes::height(10), 16);
    EXPECT_EQ(TextBoxes::height(6), 10);
    EXPECT_EQ(TextBoxes::height(40), 64);
    EXPECT_EQ(TextBoxes::size(16), 10);
    EXPECT_EQ(TextBoxes::size(1), 6);
    EXPECT_EQ(TextBoxes::size(100), 40);
    EXPECT_EQ(TextBoxes::width("", 10), 16);  // the height wins over 0 + 6
    // The width is Pango's measure in the filler's family, rounded up, plus 6.
    PangoText pango;
    const double w = pango.measure({TextRun{"Solicitud de licencia", FontWeight::regular, 12, 0}}).width;
    EXPECT_GT(w, 50);
    EXPECT_EQ(TextBoxes::width("Solicitud de licencia", 12), std::ceil(w) + 6);
    EXPECT_EQ(TextBoxes::font(12).family(), QString("Liberation Sans"));
    EXPECT_EQ(TextBoxes::font(12).pixelSize(), 12);
    const double base = TextBoxes::baseline({0, 100, 50, 16}, 10);
    EXPECT_GT(base, 100);
    EXPECT_LT(base, 108);
    EXPECT_FALSE(TextBoxes::contains(100000));
    EXPECT_TRUE(TextBoxes::contains(100001));
}

TEST(TextBoxes, RestoreTakesOnlyItsOwnFillsAfterThePresentBoxes) {
    TextBoxes boxes;
    boxes.place(0, {100, 100});
    boxes.write("primero", 100001);
    boxes.restore({fill("nombre", {1, 2, 3, 4}, "Ana", std::nullopt),
                   fill("tindra.texto", {10, 20, 80, 16}, "sin tamaño", std::nullopt),
                   fill("tindra.texto", {10, 200, 80, 16}, "grande", 50.0)});
    const auto marks = boxes.marks();
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0].text, "primero");
    EXPECT_EQ(marks[1].id, 100002);
    EXPECT_EQ(marks[1].pageIndex, 1);
    EXPECT_EQ(marks[1].size, 10);
    EXPECT_EQ(marks[1].rect.origin(), (Point{10, 20}));
    EXPECT_EQ(marks[2].id, 100003);
    EXPECT_EQ(marks[2].size, 50);  // kept, not clamped
    EXPECT_EQ(boxes.place(0, {0, 0}).ids, std::vector<int>{100004});
}

TEST(TextBoxes, SnapshotsBringBackBoxesButNeverTheirIds) {
    TextBoxes boxes;
    boxes.place(0, {100, 100});
    boxes.write("uno", 100001);
    const TextBoxes::State before = boxes.state();
    boxes.remove(100001);
    EXPECT_TRUE(boxes.marks().empty());
    boxes.setState(before);
    EXPECT_EQ(boxes.marks().size(), 1u);
    EXPECT_EQ(boxes.place(0, {0, 0}).ids, std::vector<int>{100002});
}

}  // namespace
