// Rows of one-character boxes joined into units.
#include <gtest/gtest.h>

#include "forms/reader/FormReader.h"

namespace {

FormField box(int id, double x, double y, double width = 14, int page = 0) {
    FormField f;
    f.id = id;
    f.pageIndex = page;
    f.rect = {x, y, width, 16};
    return f;
}

// Boxes of one row, `gap` points apart, ids from `firstId`.
std::vector<FormField> row(int firstId, int count, double y, double gap = 2, double x = 100) {
    std::vector<FormField> out;
    for (int i = 0; i < count; ++i) out.push_back(box(firstId + i, x + i * (14 + gap), y));
    return out;
}

std::vector<std::vector<int>> ids(const std::vector<FormUnit>& units) {
    std::vector<std::vector<int>> out;
    for (const FormUnit& u : units) {
        out.emplace_back();
        for (const FormField& f : u.fields) out.back().push_back(f.id);
    }
    return out;
}

}  // namespace

TEST(Units, NineBoxesLeftToRight) {
    std::vector<FormField> fields = row(1, 9, 500);
    std::swap(fields[0], fields[8]);  // listed out of order
    std::vector<FormUnit> units = FormReader::units(fields);
    ASSERT_EQ(units.size(), 1u);
    EXPECT_EQ(ids(units), (std::vector<std::vector<int>>{{1, 2, 3, 4, 5, 6, 7, 8, 9}}));
    EXPECT_TRUE(units[0].isBoxes());
    EXPECT_EQ(units[0].id(), 1);
}

TEST(Units, TwoBoxesAloneAndGaps) {
    EXPECT_EQ(ids(FormReader::units(row(1, 2, 500))), (std::vector<std::vector<int>>{{1}, {2}}));
    EXPECT_EQ(FormReader::units(row(1, 3, 500, 20)).size(), 3u);  // 20 > 1.3 x 14
    EXPECT_EQ(FormReader::units(row(1, 3, 500, 18)).size(), 1u);  // 18 <= 18.2
    EXPECT_EQ(FormReader::units(row(1, 3, 500, -2)).size(), 1u);
    EXPECT_EQ(FormReader::units(row(1, 3, 500, -2.5)).size(), 3u);

    std::vector<FormField> two = row(1, 3, 500);
    for (FormField f : row(4, 3, 490)) two.push_back(f);  // 10 points lower
    EXPECT_EQ(ids(FormReader::units(two)), (std::vector<std::vector<int>>{{1, 2, 3}, {4, 5, 6}}));
}

TEST(Units, Candidates) {
    FormField wide = box(1, 100, 500, 120);
    wide.maxLength = 1;
    std::vector<FormField> fields = {wide, box(2, 222, 500, 120), box(3, 344, 500, 120)};
    fields[1].maxLength = 2;
    fields[2].maxLength = 1;
    EXPECT_EQ(FormReader::units(fields).size(), 1u);  // maxLength 1 or 2 makes a box

    std::vector<FormField> notBoxes = {box(1, 100, 500, 23), box(2, 125, 500, 23),
                                       box(3, 150, 500, 23)};
    EXPECT_EQ(FormReader::units(notBoxes).size(), 3u);
    notBoxes[1].kind = FormField::Kind::choice;
    for (FormField& f : notBoxes) f.rect.width = 14;
    EXPECT_EQ(FormReader::units(notBoxes).size(), 3u);  // a choice is no box
}

TEST(Units, IdDistanceAndSharedNeighbours) {
    // 63 is more than 60 ids from 1 and 2: not joined, though the three touch on the row.
    std::vector<FormField> far = {box(1, 100, 500), box(2, 116, 500), box(63, 132, 500)};
    EXPECT_EQ(FormReader::units(far).size(), 3u);
    // Through 40 (close to both in ids and on the row), all three meet.
    std::vector<FormField> chained = {box(1, 100, 500), box(40, 116, 500), box(62, 132, 500)};
    EXPECT_EQ(FormReader::units(chained).size(), 1u);
}

TEST(Units, ReadOnlyAndTicksLeftOutWidgetChecksKept) {
    FormField ro = box(1, 100, 700, 200);
    ro.readOnly = true;
    FormField tick = box(2, 100, 650);
    tick.kind = FormField::Kind::check;
    tick.drawn = true;
    FormField check = tick;
    check.id = 3;
    check.drawn = false;
    EXPECT_EQ(ids(FormReader::units({ro, tick, check})), (std::vector<std::vector<int>>{{3}}));
    EXPECT_TRUE(FormReader::units({ro, tick}).empty());
    EXPECT_TRUE(FormReader::units({}).empty());
}

TEST(Units, PageThenHigherThenLeft) {
    std::vector<FormField> fields = {box(1, 300, 400, 100, 1), box(2, 300, 400, 100),
                                     box(3, 100, 400, 100), box(4, 300, 700, 100)};
    std::vector<FormField> boxes = row(5, 3, 400, 2, 200);
    fields.insert(fields.end(), boxes.begin(), boxes.end());
    EXPECT_EQ(ids(FormReader::units(fields)),
              (std::vector<std::vector<int>>{{4}, {3}, {5, 6, 7}, {2}, {1}}));
}
