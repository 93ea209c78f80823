#include <gtest/gtest.h>

#include <tuple>

#include "pages/InkMap.h"
#include "signing/PlacementTestSupport.h"
#include "support/TestUtil.h"

using namespace placementtest;

namespace {

InkMap mapOf(const GreyImage& image, double w, double h, bool faint = false,
             const std::vector<PageAnnotation>& annotations = {}, const PageText& text = {}) {
    std::optional<InkMap> map =
        InkMap::make(image, text, DisplaySpace({0, 0, w, h}, 0), annotations, faint);
    EXPECT_TRUE(map.has_value());
    return *map;
}

}  // namespace

TEST(InkMap, SizesFollowTheUprightBox) {
    GreyImage none;
    std::optional<InkMap> letter = InkMap::make(none, {}, DisplaySpace({0, 0, 612, 792}, 0), {});
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->width(), 1224);
    EXPECT_EQ(letter->height(), 1584);
    EXPECT_EQ(letter->sums().size(), 1225u * 1585u);

    std::optional<InkMap> turned = InkMap::make(none, {}, DisplaySpace({30, 40, 612, 792}, 90), {});
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width(), 1584);
    EXPECT_EQ(turned->height(), 1224);
    EXPECT_EQ(turned->box(), (Rect{0, 0, 792, 612}));

    std::optional<InkMap> odd = InkMap::make(none, {}, DisplaySpace({0, 0, 100.2, 50.7}, 0), {});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width(), 201);
    EXPECT_EQ(odd->height(), 102);
}

TEST(InkMap, RefusesEmptyAndOversizedPages) {
    GreyImage none;
    EXPECT_FALSE(InkMap::make(none, {}, DisplaySpace({0, 0, 0, 792}, 0), {}));
    EXPECT_FALSE(InkMap::make(none, {}, DisplaySpace({0, 0, 612, -1}, 0), {}));
    EXPECT_FALSE(InkMap::make(none, {}, DisplaySpace({0, 0, 3162.3, 3162.3}, 0), {}));
    // Few pixels by area, but whole rows of a very long strip would not fit.
    EXPECT_FALSE(InkMap::make(none, {}, DisplaySpace({0, 0, 1e12, 1e-9}, 0), {}));
    EXPECT_FALSE(InkMap::make(none, {}, DisplaySpace({0, 0, 30e6, 0.1}, 0), {}));
    // Just under the cap by the exact size, although its whole pixels are a few more.
    std::optional<InkMap> largest =
        InkMap::make(none, {}, DisplaySpace({0, 0, 3162.2, 3162.2}, 0), {});
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->width(), 6325);
    EXPECT_TRUE(largest->isEmpty({0, 0, 3162, 3162}));
}

TEST(InkMap, EmptinessOfRectangles) {
    GreyImage image = whiteImage(200, 100);
    paint(image, 100, {50, 40, 10, 10}, 0);     // ink
    paint(image, 100, {120, 40, 10, 10}, 220);  // light grey
    InkMap strong = mapOf(image, 200, 100);
    InkMap faint = mapOf(image, 200, 100, true);

    EXPECT_FALSE(strong.isEmpty({55, 45, 1, 1}));
    EXPECT_FALSE(strong.isEmpty({0, 0, 200, 100}));
    EXPECT_TRUE(strong.isEmpty({61, 40, 50, 10}));
    EXPECT_TRUE(strong.isEmpty({55, 45, 0, 20}));         // covers no pixel
    EXPECT_TRUE(strong.isEmpty({-500, -500, 100, 100}));  // wholly outside
    EXPECT_TRUE(strong.isEmpty({NAN, 0, 10, 10}));
    EXPECT_FALSE(strong.isEmpty({-100, 45, 156, 1}));  // partly outside, clamped

    // Grey 220 is ink only with the faint threshold.
    EXPECT_TRUE(strong.isEmpty({120, 40, 10, 10}));
    EXPECT_FALSE(faint.isEmpty({120, 40, 10, 10}));
}

TEST(InkMap, AnnotationsAreInkExceptLinks) {
    GreyImage image = whiteImage(300, 300);
    std::vector<PageAnnotation> annotations{{"Widget", "Tx", {20, 20, 100, 30}},
                                            {"Link", "", {150, 150, 100, 30}},
                                            {"", "", {20, 200, 40, 40}}};
    // Page space differs from display space on a rotated page: the fill follows the annotation.
    InkMap map = mapOf(image, 300, 300, false, annotations);
    EXPECT_FALSE(map.isEmpty({60, 30, 1, 1}));
    EXPECT_TRUE(map.isEmpty({150, 150, 100, 30}));
    EXPECT_FALSE(map.isEmpty({30, 210, 1, 1}));

    std::optional<InkMap> turned = InkMap::make(image, {}, DisplaySpace({0, 0, 300, 300}, 90),
                                                {{"Widget", "Sig", {20, 20, 100, 30}}});
    ASSERT_TRUE(turned);
    Rect display = DisplaySpace({0, 0, 300, 300}, 90).display({20, 20, 100, 30});
    EXPECT_FALSE(turned->isEmpty({display.midX(), display.midY(), 1, 1}));
    EXPECT_TRUE(turned->isEmpty({60, 30, 1, 1}));
}

TEST(InkMap, TypedUnderscoresLeaveNoInk) {
    SyntheticPage page(300, 200);
    Rect line = page.write(20, 100, "Nombre: ____________");
    // The renderer draws the underscores as a line at the cells' bottom.
    Rect underscores{20 + 8 * charWidth, 100, 12 * charWidth, 1};
    page.rule(underscores);
    InkMap map = page.ink();
    EXPECT_TRUE(map.isEmpty(underscores));
    EXPECT_FALSE(map.isEmpty({20, 100, 6 * charWidth, charHeight}));  // the label stays
    EXPECT_TRUE(map.isEmpty({underscores.x, line.y - 0.5, underscores.width, line.height}));

    // A drawn rule in the same place stays ink.
    SyntheticPage drawn(300, 200);
    drawn.write(20, 100, "Nombre:");
    drawn.rule(underscores);
    EXPECT_FALSE(drawn.ink().isEmpty(underscores));
}

// A table row: a label cell from x 50 to 150 and a blank cell from 150 to 350, y 500 to 520.
struct Row {
    SyntheticPage page{595, 842};
    Rect label;
    Row(double rightEdge = 350) {
        page.frame({50, 500, 100, 20});
        page.frame({149, 500, rightEdge - 149, 20});
        label = page.write(55, 505, "Nombre");
    }
};

TEST(InkMapCell, FindsTheClosedCellRightOfALabel) {
    Row row;
    std::optional<Rect> cell = row.page.ink().cell(row.label, 571);
    ASSERT_TRUE(cell);
    EXPECT_TRUE(near(*cell, {151, 501, 198, 18}, 1.5))
        << cell->x << " " << cell->y << " " << cell->width << " " << cell->height;
}

TEST(InkMapCell, RefusesOpenNarrowGappedOrUnruledCells) {
    {  // No right border before the limit.
        SyntheticPage page;
        page.rule({50, 500, 400, 1});
        page.rule({50, 519, 400, 1});
        page.rule({149, 500, 2, 20});
        Rect label = page.write(55, 505, "Nombre");
        EXPECT_FALSE(page.ink().cell(label, 300));
    }
    {  // Narrower than 20 pt (and, as a control, just wide enough).
        Row row(168);
        EXPECT_FALSE(row.page.ink().cell(row.label, 571));
        Row wider(176);
        EXPECT_TRUE(wider.page.ink().cell(wider.label, 571));
    }
    {  // A 1-pt gap in the right border within the label's height.
        Row row;
        row.page.rule({348, 509, 3, 1}, 255);
        EXPECT_FALSE(row.page.ink().cell(row.label, 571));
    }
    {  // The cell's top is not ruled across.
        Row row;
        row.page.rule({200, 518, 60, 3}, 255);
        EXPECT_FALSE(row.page.ink().cell(row.label, 571));
    }
    {  // Nor its bottom.
        Row row;
        row.page.rule({200, 499, 60, 3}, 255);
        EXPECT_FALSE(row.page.ink().cell(row.label, 571));
    }
    {  // The right border lies beyond the limit.
        Row row;
        EXPECT_FALSE(row.page.ink().cell(row.label, 300));
    }
}

// The search across a cell's free columns reports the doubtful and strict ink it passes, and
// stops at it only while doubtful ink counts.
TEST(InkMapCell, DoubtInsideTheCellIsReportedAndStopsTheSearchOnlyAsInk) {
    using Kind = InkMap::Shape::Kind;
    const DisplaySpace space({0, 0, 595, 842}, 0);
    const Rect label{100, 500, 60, 12};
    auto search = [&](Kind kind, bool asInk) {
        // A box from x 170 to 471, y 495 to 518, and a speck inside it halfway across.
        std::vector<InkMap::Shape> shapes = {{{170, 495, 1, 23}},
                                             {{470, 495, 1, 23}},
                                             {{170, 495, 301, 1}},
                                             {{170, 517, 301, 1}},
                                             {{320, 505, 2, 2}, 1, kind}};
        std::optional<InkMap> map = InkMap::make(shapes, {}, space, {});
        EXPECT_TRUE(map);
        if (!map) return std::tuple{std::optional<Rect>{}, false, false};
        map->doubt(asInk);
        std::optional<Rect> cell = map->cell(label, 571);
        return std::tuple{cell, map->doubted(), map->strictlyDoubted()};
    };
    for (Kind kind : {Kind::doubtful, Kind::strict}) {
        const bool strict = kind == Kind::strict;
        auto [asInk, doubtedAsInk, strictAsInk] = search(kind, true);
        EXPECT_FALSE(asInk);
        EXPECT_TRUE(doubtedAsInk);
        EXPECT_EQ(strictAsInk, strict);
        auto [free, doubted, strictly] = search(kind, false);
        ASSERT_TRUE(free);
        EXPECT_TRUE(near(*free, {171, 496, 299, 21}, 1.0));
        EXPECT_TRUE(doubted);
        EXPECT_EQ(strictly, strict);
    }
}

TEST(InkMapEmptyCell, EnclosedFreeRectangles) {
    SyntheticPage page;
    page.frame({100, 100, 200, 50});
    page.frame({100, 300, 200, 50});
    page.rule({150, 349, 20, 1}, 255);  // a gap in the second box's top
    InkMap map = page.ink();

    std::optional<Rect> cell = map.emptyCell({200, 125});
    ASSERT_TRUE(cell);
    EXPECT_TRUE(near(*cell, {101, 101, 198, 48}, 1.0));
    EXPECT_FALSE(map.emptyCell({100.5, 125}));  // on ink
    EXPECT_FALSE(map.emptyCell({400, 600}));    // open area
    EXPECT_FALSE(map.emptyCell({200, 325}));    // border not inked all along
}

// A probe in open space is no cell as soon as it grows too large, but the doubtful and strict ink
// its growth would still meet decides whether the answer needs the page's rendering: it is
// reported whatever the probe met before.
TEST(InkMapEmptyCell, AnOpenProbeReportsTheDoubtItsGrowthMeets) {
    using Kind = InkMap::Shape::Kind;
    const DisplaySpace space({0, 0, 595, 842}, 0);
    auto probe = [&](const std::vector<InkMap::Shape>& shapes) {
        std::optional<InkMap> map = InkMap::make(shapes, {}, space, {});
        EXPECT_TRUE(map);
        if (!map) return std::pair{false, false};
        map->doubt(true);
        // Open for 300 pt to the left, so that growth alone ends the search before the ink
        // right of and under the probe is met.
        EXPECT_FALSE(map->emptyCell({400, 400}));
        return std::pair{map->doubted(), map->strictlyDoubted()};
    };
    const InkMap::Shape right{{450, 380, 20, 40}, 1, Kind::doubtful};
    const InkMap::Shape under{{380, 440, 40, 20}, 1, Kind::strict};
    const InkMap::Shape far{{10, 10, 5, 5}, 1, Kind::strict};
    EXPECT_EQ(probe({right}), std::pair(true, false));
    EXPECT_EQ(probe({right, under}), std::pair(true, true));
    EXPECT_EQ(probe({right, far}), std::pair(true, false));
    EXPECT_EQ(probe({far}), std::pair(false, false));
}

TEST(InkMapCells, ColumnUnderAHeader) {
    SyntheticPage page;
    Rect header = page.write(100, 760, "Importe");
    // Five ruled cells of 20 pt under the header, x 80 to 200.
    for (int i = 0; i <= 5; ++i) page.rule({80, 750 - 20.0 * i, 120, 1});
    page.rule({80, 650, 1, 101});
    page.rule({199, 650, 1, 101});
    InkMap map = page.ink();
    std::vector<Rect> cells = map.cells(header);
    ASSERT_EQ(cells.size(), 5u);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        EXPECT_TRUE(near(cells[i], {81, 731 - 20.0 * i, 118, 19}, 1.0)) << i;
        if (i) {
            EXPECT_LT(cells[i].maxY(), cells[i - 1].minY() + 0.01);
        }
    }
    EXPECT_EQ(map.cells(header, 2).size(), 2u);
}

TEST(InkMapCells, SixtyCellsAtMostByDefault) {
    SyntheticPage page;
    Rect header = page.write(100, 815, "Concepto");
    for (int i = 0; i <= 70; ++i) page.rule({80, 805 - 11.0 * i, 120, 1});
    page.rule({80, 805 - 770, 1, 771});
    page.rule({199, 805 - 770, 1, 771});
    InkMap map = page.ink();
    EXPECT_EQ(map.cells(header).size(), 60u);
    EXPECT_EQ(map.cells(header, 100).size(), 70u);
}

TEST(InkMapCells, ThickRuleLooksFurtherForAnAlignedCell) {
    SyntheticPage page;
    Rect header = page.write(100, 760, "Importe");
    page.rule({80, 750, 120, 1});
    page.rule({80, 730, 120, 1});
    page.rule({80, 706, 120, 5});  // thick rule
    page.rule({80, 686, 120, 1});
    page.rule({80, 686, 1, 65});
    page.rule({199, 686, 1, 65});
    // The cell after the thick rule split, so that it no longer lines up: not taken.
    SyntheticPage shifted = page;
    shifted.rule({120, 686, 1, 20});
    EXPECT_EQ(page.ink().cells(header).size(), 3u);
    EXPECT_EQ(shifted.ink().cells(header).size(), 2u);
}

TEST(InkMap, ManyLargeFillsCostTheirCountNotTheirArea) {
    // Every annotation and underscore box of a hostile page covering the whole page: painting each
    // one pixel by pixel would take minutes.
    const Rect page{0, 0, 595, 842};
    std::vector<PageAnnotation> annotations(100'000, PageAnnotation{"Square", "", page});
    annotations.push_back({"Link", "", {0, 0, 595, 842}});
    annotations.push_back({"Widget", "Sig", {100, 100, 50, 20}});
    PageText text;
    for (int i = 0; i < 100'000; ++i) {
        text.text.push_back(u'_');
        text.boxes.push_back({300, 842 - 420, 40, 20});  // display x 300..340, y 400..420
    }
    const double start = testutil::processorSeconds();
    std::optional<InkMap> map =
        InkMap::make(whiteImage(595, 842), text, DisplaySpace(page, 0), annotations);
    const double seconds = testutil::processorSeconds() - start;
    ASSERT_TRUE(map);
    EXPECT_LT(seconds, 5.0) << "seconds of processor time";
    // Annotations are ink; the underscores, painted after them, are not.
    EXPECT_FALSE(map->isEmpty({10, 10, 1, 1}));
    EXPECT_FALSE(map->isEmpty({299, 410, 0.5, 1}));
    EXPECT_TRUE(map->isEmpty({299.5, 399, 41, 22}));
    EXPECT_FALSE(map->isEmpty({299.5, 398, 41, 24}));

    // The same map as from one annotation and one underscore painted in turn.
    PageText one;
    one.text = u"_";
    one.boxes = {text.boxes[0]};
    std::optional<InkMap> single = InkMap::make(whiteImage(595, 842), one, DisplaySpace(page, 0),
                                                {annotations[0], annotations.back()});
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->sums() == map->sums());
}

TEST(InkMap, SearchesFromFarOutsideThePageEnd) {
    Row row;
    InkMap map = row.page.ink();
    EXPECT_FALSE(map.cell({-1e17, 505, 10, 10}, 571));
    EXPECT_FALSE(map.cell({-1e9, 505, 10, 10}, 571));
    EXPECT_FALSE(map.emptyCell({1e19, 510}));
    EXPECT_FALSE(map.emptyCell({200, -1e19}));
    EXPECT_TRUE(map.cells({100, 1e19, 10, 10}).empty());
    EXPECT_TRUE(map.cells({1e19, 510, 10, 10}).empty());
}

// Frames of every size, some with a side broken, drawn on whole pixels: the cells, closed boxes
// and tick columns found from the shapes are those found from the page's rendering, and so are
// those of a map of doubtful shapes once the rendering settles it.
TEST(InkMap, AnswersFromShapesAreThoseFromTheirRendering) {
    using Shape = InkMap::Shape;
    const double side = 300;
    const DisplaySpace space({0, 0, side, side}, 0);
    GreyImage image = whiteImage(side, side);
    std::vector<Shape> certain, doubtful;
    auto ink = [&](const Rect& r) {
        for (int y = static_cast<int>(2 * (side - r.maxY())); y < 2 * (side - r.minY()); ++y)
            for (int x = static_cast<int>(2 * r.minX()); x < 2 * r.maxX(); ++x)
                image.pixels[static_cast<std::size_t>(y) * image.width + x] = 0;
        certain.push_back({r, 1, Shape::Kind::certain, Shape::Edges::adjusted});
        doubtful.push_back({r, 1, Shape::Kind::doubtful});
    };
    std::uint32_t seed = 20261211;
    auto next = [&](int n) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int k = 0; k < 30; ++k) {
        const Rect box{next(400) * 0.5, next(500) * 0.5, 6 + next(140) * 0.5, 6 + next(50) * 0.5};
        const double gap = next(3) == 0 ? box.minX() + std::floor(box.width) / 2 : -1;
        if (gap < 0) {
            ink({box.x, box.y, box.width, 1});
        } else {
            ink({box.x, box.y, gap - box.x, 1});
            ink({gap + 1, box.y, box.maxX() - gap - 1, 1});
        }
        ink({box.x, box.maxY() - 1, box.width, 1});
        ink({box.x, box.y, 1, box.height});
        ink({box.maxX() - 1, box.y, 1, box.height});
    }
    const InkMap rendered = mapOf(image, side, side);
    std::optional<InkMap> drawn = InkMap::make(certain, {}, space, {});
    std::optional<InkMap> settled = InkMap::make(doubtful, {}, space, {});
    ASSERT_TRUE(drawn && settled);
    settled->settle({0, 0, image.width, image.height}, image, {}, space, {});
    int cells = 0;
    for (double y = 3; y < side; y += 6.5)
        for (double x = 2; x < side; x += 7.5) {
            SCOPED_TRACE(testing::Message() << x << ", " << y);
            const Rect label{x, y, 12, 8};
            const std::optional<Rect> cell = rendered.cell(label, side);
            const std::optional<Rect> closed = rendered.emptyCell({x, y});
            const std::vector<Rect> column = rendered.cells(label);
            cells += cell.has_value() + closed.has_value() + static_cast<int>(column.size());
            for (const InkMap* map : {&*drawn, &*settled}) {
                SCOPED_TRACE(map == &*drawn ? "drawn" : "settled");
                map->doubt(true);
                EXPECT_EQ(map->cell(label, side), cell);
                EXPECT_EQ(map->emptyCell({x, y}), closed);
                EXPECT_EQ(map->cells(label), column);
            }
        }
    EXPECT_GT(cells, 100);
}
