#include <gtest/gtest.h>

#include <limits>

#include "LabelFixtures.h"
#include "forms/labels/Tables.h"

namespace {

using LabelFixtures::field;

// `rows` rows of `columns` fields 60 wide and 14 high, 20 points apart from top to bottom,
// ids counted on from `firstId` row by row.
std::vector<FormField> grid(int rows, int columns = 3, int firstId = 1, double top = 700,
                            double step = 20, double width = 60) {
    std::vector<FormField> fields;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            fields.push_back(
                field(firstId + r * columns + c, 100 + c * (width + 4), top - r * step, width, 14));
        }
    }
    return fields;
}

std::vector<int> ids(const Tables::Row& row) {
    std::vector<int> out;
    for (const FormField& f : row) out.push_back(f.id);
    return out;
}

TEST(Tables, FourRowsMakeATable) {
    EXPECT_TRUE(Tables::tables(grid(3)).empty());
    auto found = Tables::tables(grid(4));
    ASSERT_EQ(found.size(), 1u);
    ASSERT_EQ(found[0].size(), 4u);
    EXPECT_EQ(ids(found[0][0]), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ids(found[0][3]), (std::vector<int>{10, 11, 12}));
    EXPECT_TRUE(Tables::tables(grid(6, 2)).empty());
}

TEST(Tables, RowsAndGaps) {
    // The middle field of every row 2 points lower: one row; 2.5 points lower: rows fall apart.
    std::vector<FormField> fields = grid(4);
    for (FormField& f : fields) {
        if (f.id % 3 == 2) f.rect.y -= 2;
    }
    EXPECT_EQ(Tables::tables(fields).size(), 1u);
    for (FormField& f : fields) {
        if (f.id % 3 == 2) f.rect.y -= 0.5;
    }
    EXPECT_TRUE(Tables::tables(fields).empty());

    // Gap limit 14 × 3 + 12 = 54: rows 53 apart form one table, 54 apart two runs of 4.
    EXPECT_EQ(Tables::tables(grid(8, 3, 1, 700, 53)).size(), 1u);
    std::vector<FormField> split = grid(4, 3, 1, 700, 20);
    for (FormField& f : grid(4, 3, 13, 700 - 60 - 54, 20)) split.push_back(f);
    EXPECT_EQ(Tables::tables(split).size(), 2u);
    // A different width changes the signature.
    std::vector<FormField> mixed = grid(4);
    for (FormField& f : grid(4, 3, 13, 600, 20, 75)) mixed.push_back(f);
    auto found = Tables::tables(mixed);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1][0][0].id, 13);
}

TEST(Tables, ColumnLabelAndOtherPersons) {
    std::vector<FormField> fields = grid(4);
    Labels labels{{1, {"titular.nombre", std::nullopt, 0.9}},
                  {2, {"tramite.importe", std::nullopt, 0.6}},
                  {5, {"tramite.importe", std::nullopt, 0.6}},
                  {8, {"titular.nif", std::nullopt, 0.9}}};
    Labels out = Tables::harmonize(labels, fields);
    EXPECT_EQ(out.at(1), (FieldLabel{"titular.nombre", std::nullopt, 0.9}));
    for (int id : {4, 7, 10})
        EXPECT_EQ(out.at(id), (FieldLabel{"otra_persona.dato", std::nullopt, 0.9}));
    for (int id : {2, 5, 8, 11})
        EXPECT_EQ(out.at(id), (FieldLabel{"tramite.importe", std::nullopt, 0.6}));
    for (int id : {3, 6, 9, 12}) EXPECT_FALSE(out.contains(id));

    // Equal sums: the label met first from the top row wins.
    Labels tie{{5, {"tramite.importe", std::nullopt, 0.5}},
               {8, {"tramite.referencia", std::nullopt, 0.5}}};
    EXPECT_EQ(Tables::harmonize(tie, fields).at(2).label, "tramite.importe");
    tie = {{5, {"tramite.referencia", std::nullopt, 0.5}},
           {8, {"tramite.importe", std::nullopt, 0.5}}};
    EXPECT_EQ(Tables::harmonize(tie, fields).at(2).label, "tramite.referencia");
}

TEST(Tables, ReadOnlyFieldsStayOut) {
    std::vector<FormField> fields = grid(4);
    for (FormField& f : fields) f.readOnly = f.id > 9;
    Labels labels{{1, {"titular.nombre", std::nullopt, 0.9}},
                  {10, {"titular.nif", std::nullopt, 0.6}}};
    EXPECT_EQ(Tables::harmonize(labels, fields), labels);
}

TEST(Tables, BoxesKeepTheirPositions) {
    // Four household members, a NIF of nine boxes each.
    std::vector<FormField> fields;
    Labels labels;
    for (int r = 0; r < 4; ++r) {
        for (int box = 0; box < 9; ++box) {
            const int id = r * 9 + box + 1;
            fields.push_back(field(id, 100 + box * 16, 600 - r * 20, 14, 14));
            labels[id] = FieldLabel{"titular.nif", box + 1, 0.6};
        }
    }
    Labels out = Tables::harmonize(labels, fields);
    for (int r = 0; r < 4; ++r) {
        for (int box = 0; box < 9; ++box) {
            EXPECT_EQ(out.at(r * 9 + box + 1),
                      (FieldLabel{r == 0 ? "titular.nif" : "otra_persona.dato", box + 1, 0.6}));
        }
    }
}

}  // namespace

namespace {

TEST(Tables, RectanglesWithoutAFinitePlaceStayOut) {
    std::vector<FormField> fields = grid(4);
    const double huge = std::numeric_limits<double>::infinity();
    fields[4].rect.y = huge;
    fields[7].rect.x = huge - huge;
    Labels labels{{5, {"titular.nif", std::nullopt, 0.6}}};
    EXPECT_TRUE(Tables::tables(fields).empty());
    EXPECT_EQ(Tables::harmonize(labels, fields), labels);
}

}  // namespace
