// The preview's model: layout, frames, free places, copy changes and the page observer.
#include <gtest/gtest.h>

#include <cmath>

#include "document/PreviewGeometry.h"

namespace {

constexpr Rect a4{0, 0, 595, 842};

std::vector<std::optional<DisplaySpace>> pages(int count, Rect crop = a4, int rotation = 0) {
    return std::vector<std::optional<DisplaySpace>>(static_cast<std::size_t>(count),
                                                    DisplaySpace(crop, rotation));
}

// 1000 x 700 points: the drawing area is (32, 48, 936, 612).
PreviewGeometry model(int count) {
    PreviewGeometry g;
    g.setSize({1000, 700});
    g.setDocument(pages(count));
    return g;
}

// A scroll without the zoom key and without a phase.
PreviewGeometry::Scroll pan(double dx, double dy) {
    PreviewGeometry::Scroll s;
    s.dx = dx;
    s.dy = dy;
    return s;
}

PreviewGeometry::Look card() {
    return PreviewGeometry::Look::card(SignatureStamp{});
}

void expectRect(const Rect& r, double x, double y, double w, double h) {
    EXPECT_NEAR(r.x, x, 1e-9);
    EXPECT_NEAR(r.y, y, 1e-9);
    EXPECT_NEAR(r.width, w, 1e-9);
    EXPECT_NEAR(r.height, h, 1e-9);
}

}  // namespace

TEST(PreviewGeometry, ThreePagesSideBySideTwentyEightApart) {
    PreviewGeometry g = model(3);
    EXPECT_TRUE(g.showsAllPages());
    EXPECT_EQ(g.visiblePages(), (std::vector<int>{0, 1, 2}));
    expectRect(g.area(), 32, 48, 936, 612);
    auto l = g.layouts();
    ASSERT_EQ(l.size(), 3u);
    double scale = (936.0 - 56) / (3 * 595);  // the width binds
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(l[static_cast<std::size_t>(i)].index, i);
        EXPECT_NEAR(l[static_cast<std::size_t>(i)].frame.width, 595 * scale, 1e-9);
        EXPECT_NEAR(l[static_cast<std::size_t>(i)].frame.midY(), g.area().midY(), 1e-9);
    }
    EXPECT_NEAR(l[1].frame.minX() - l[0].frame.maxX(), 28, 1e-9);
    EXPECT_NEAR(l[2].frame.minX() - l[1].frame.maxX(), 28, 1e-9);
    // The row is centred in the area.
    EXPECT_NEAR((l[0].frame.minX() + l[2].frame.maxX()) / 2, g.area().midX(), 1e-9);
}

TEST(PreviewGeometry, FourPagesOneAtATime) {
    PreviewGeometry g = model(4);
    EXPECT_FALSE(g.showsAllPages());
    EXPECT_EQ(g.visiblePages(), std::vector<int>{0});
    g.setCurrentPage(2);
    EXPECT_EQ(g.visiblePages(), std::vector<int>{2});
    auto l = g.layouts();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].index, 2);
    // One A4 page: the height binds.
    EXPECT_NEAR(l[0].frame.height, 612, 1e-9);
    EXPECT_TRUE(PreviewGeometry().showsAllPages());
    EXPECT_TRUE(PreviewGeometry().visiblePages().empty());
    EXPECT_TRUE(PreviewGeometry().layouts().empty());
}

TEST(PreviewGeometry, CurrentPageOutOfRangeIsClampedForDisplayOnly) {
    PreviewGeometry g = model(5);
    g.setCurrentPage(10);
    EXPECT_EQ(g.currentPage(), 10);
    ASSERT_EQ(g.layouts().size(), 1u);
    EXPECT_EQ(g.layouts()[0].index, 4);
    g.setCurrentPage(-1);
    EXPECT_EQ(g.layouts()[0].index, 0);
}

TEST(PreviewGeometry, QuarterTurnedPageIsSwappedWithItsDisplayTransform) {
    PreviewGeometry g;
    g.setSize({1000, 700});
    Rect crop{20, 30, 500, 700};
    DisplaySpace space(crop, 90);
    g.setDocument({space});
    auto l = g.layouts();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].displaySize, (Size{700, 500}));
    EXPECT_EQ(l[0].rotation, 90);
    double scale = std::min(936.0 / 700, 612.0 / 500);
    EXPECT_NEAR(l[0].frame.width, 700 * scale, 1e-9);
    // Page point -> display point -> scaled -> moved to the frame.
    Point p{120, 230};
    Point d = space.toDisplay.apply(p);
    Point v = l[0].transform.apply(p);
    EXPECT_NEAR(v.x, l[0].frame.minX() + d.x * scale, 1e-9);
    EXPECT_NEAR(v.y, l[0].frame.minY() + d.y * scale, 1e-9);
    // The crop box fills the frame exactly.
    Rect whole = l[0].transform.apply(crop);
    expectRect(whole, l[0].frame.x, l[0].frame.y, l[0].frame.width, l[0].frame.height);
    // A page without a frame is left out.
    g.setDocument({std::nullopt, space});
    ASSERT_EQ(g.layouts().size(), 1u);
    EXPECT_EQ(g.layouts()[0].index, 1);
}

TEST(PreviewGeometry, SetSignatureReportsWholePointsOnTheCopysPage) {
    PreviewGeometry g = model(3);
    g.setSignatures({{1, {0, 0, 10, 10}, true}, {2, {5, 5, 10, 10}, std::nullopt}});
    std::vector<std::vector<SignatureCopy>> reported;
    int announced = 0;
    g.onSignaturesChange = [&](const std::vector<SignatureCopy>& c) { reported.push_back(c); };
    g.onSignaturesWillChange = [&](const std::string&) { ++announced; };
    g.setSignature(0, {10.5, 20.4, 99.5, 30.5});
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0][0], (SignatureCopy{1, {11, 20, 100, 31}, std::nullopt}));
    EXPECT_EQ(reported[0][1], g.signatures()[1]);
    EXPECT_EQ(announced, 0);
    EXPECT_EQ(g.signatures()[0].rect, (Rect{0, 0, 10, 10}));  // the owner writes it back
    // Halves go away from zero also below zero.
    g.setSignature(1, {-0.5, -1.5, 1, 1});
    EXPECT_EQ(reported[1][1].rect, (Rect{-1, -2, 1, 1}));
}

TEST(PreviewGeometry, RemoveSignatureAnnouncesAndClearsThePick) {
    PreviewGeometry g = model(3);
    g.setSignatures({{0, {0, 0, 10, 10}}, {1, {0, 0, 10, 10}}, {2, {0, 0, 10, 10}}});
    g.setPicked(1);
    std::vector<std::string> names;
    std::vector<SignatureCopy> left;
    g.onSignaturesWillChange = [&](const std::string& n) { names.push_back(n); };
    g.onSignaturesChange = [&](const std::vector<SignatureCopy>& c) { left = c; };
    g.removeSignature(1);
    EXPECT_EQ(names, std::vector<std::string>{"Quitar la firma"});
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].pageIndex, 2);
    EXPECT_FALSE(g.picked());
}

TEST(PreviewGeometry, FewerSignaturesClearPickedAndCurrentFallsBackToTheLast) {
    PreviewGeometry g = model(3);
    g.setSignatures({{0, {0, 0, 10, 10}}, {1, {0, 0, 10, 10}}, {2, {0, 0, 10, 10}}});
    EXPECT_EQ(g.current(), 2);
    g.setPicked(2);
    g.setSignatures({{0, {0, 0, 10, 10}}, {1, {0, 0, 10, 10}}, {2, {0, 0, 10, 10}}});
    EXPECT_EQ(g.picked(), 2);
    g.setSignatures({{0, {0, 0, 10, 10}}, {1, {0, 0, 10, 10}}});
    EXPECT_FALSE(g.picked());
    EXPECT_EQ(g.current(), 1);
    g.setSignatures({});
    EXPECT_FALSE(g.current());
}

TEST(PreviewGeometry, SignatureFramesNeedALookAndAShownPage) {
    PreviewGeometry g = model(5);
    g.setSignatures({{0, {100, 100, 200, 60}}, {3, {100, 100, 200, 60}}});
    EXPECT_TRUE(g.signatureFrames().empty());  // no look: nothing can be shown
    g.setLook(card());
    auto frames = g.signatureFrames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].index, 0);
    EXPECT_EQ(frames[0].box, frames[0].layout.transform.apply(Rect{100, 100, 200, 60}));
    // The current copy (the last) is on page 3, not shown.
    EXPECT_FALSE(g.currentFrame());
    g.setCurrentPage(3);
    ASSERT_TRUE(g.currentFrame());
    EXPECT_EQ(g.currentFrame()->layout.index, 3);
}

TEST(PreviewGeometry, APlaceCoveredOnlyByACopysMarginStaysFree) {
    PreviewGeometry g = model(3);
    g.setLook(card());
    g.setSpaces({{0, {100, 100, 200, 60}}, {1, {100, 100, 200, 60}}, {2, {100, 100, 200, 60}}});
    g.setSignatures({
        {0, {296, 100, 100, 60}},  // overlaps place 0 by 4 points: only its margin
        {1, {295, 100, 100, 60}},  // overlaps place 1 by 5 points: taken
        {1, {100, 100, 200, 60}},  // place 2 is on another page
    });
    auto free = g.freeSpaces();
    ASSERT_EQ(free.size(), 2u);
    EXPECT_EQ(free[0].index, 0);
    EXPECT_EQ(free[1].index, 2);
    g.setTool(PreviewGeometry::Tool::text);
    EXPECT_TRUE(g.freeSpaces().empty());
}

TEST(PreviewGeometry, EditorFrameFollowsTheFieldInTheView) {
    PreviewGeometry g = model(3);
    int moved = 0;
    g.layoutEditor = [&] { ++moved; };
    g.setEditor(PreviewGeometry::Editor{{7}, 1, {100, 200, 150, 20}});
    EXPECT_EQ(moved, 1);
    auto l = g.layouts()[1];
    Rect r = l.transform.apply(Rect{100, 200, 150, 20});
    auto frame = g.editorFrame();
    ASSERT_TRUE(frame);
    double font = std::max(11.0, r.height * 0.6);
    EXPECT_DOUBLE_EQ(frame->fontSize, font);
    double h = std::round(font * 1.35 + 6);
    EXPECT_EQ(frame->frame.x, std::floor(r.minX()));
    EXPECT_EQ(frame->frame.y, std::floor(r.midY() - h / 2));
    EXPECT_EQ(frame->frame.maxX(), std::ceil(r.minX() + std::max(120.0, r.width)));
    EXPECT_EQ(frame->frame.maxY(), std::ceil(r.midY() + h / 2));
    // Zoom, pan and page changes move it; a page no longer shown leaves no place for it.
    g.setZoom(2);
    EXPECT_GT(moved, 1);
    PreviewGeometry four = model(4);
    four.setEditor(PreviewGeometry::Editor{{7}, 0, {100, 200, 150, 20}});
    EXPECT_TRUE(four.editorFrame());
    four.setCurrentPage(1);
    EXPECT_FALSE(four.editorFrame());
}

TEST(PreviewGeometry, SamePageAgainCallsOnPageChangeOnly) {
    PreviewGeometry g = model(5);
    int pageChanges = 0, zoomChanges = 0;
    g.onPageChange = [&] { ++pageChanges; };
    g.onZoomChange = [&] { ++zoomChanges; };
    g.setZoom(2);
    g.scroll(pan(30, -20));
    Point before = g.pan();
    EXPECT_EQ(zoomChanges, 1);
    g.setCurrentPage(0);
    EXPECT_EQ(pageChanges, 1);
    EXPECT_EQ(g.zoom(), 2);
    EXPECT_EQ(g.pan(), before);
}

TEST(PreviewGeometry, ChangedPageResetsZoomPanAndGhostWithoutOnZoomChange) {
    PreviewGeometry g = model(5);
    int pageChanges = 0, zoomChanges = 0;
    g.onPageChange = [&] { ++pageChanges; };
    g.onZoomChange = [&] { ++zoomChanges; };
    g.setZoom(3, Point{100, 100});
    g.setGhost(SignatureCopy{0, {1, 1, 10, 10}});
    EXPECT_EQ(zoomChanges, 1);
    g.setCurrentPage(1);
    EXPECT_EQ(pageChanges, 1);
    EXPECT_EQ(zoomChanges, 1);
    EXPECT_EQ(g.zoom(), 1);
    EXPECT_EQ(g.pan(), (Point{0, 0}));
    EXPECT_FALSE(g.ghost());
    // A document, even the same one, goes back to page 0 through the same observer.
    g.setDocument(pages(5));
    EXPECT_EQ(g.currentPage(), 0);
    EXPECT_EQ(pageChanges, 2);
}

TEST(PreviewGeometry, ObserversRedrawAndInvalidateAsTheyShould) {
    PreviewGeometry g = model(3);
    int draws = 0, cursors = 0, tools = 0;
    g.needsDisplay = [&] { ++draws; };
    g.cursorsChanged = [&] { ++cursors; };
    g.onToolChange = [&] { ++tools; };
    g.setSpaces({});
    g.setInsets({});
    EXPECT_EQ(draws, 2);
    EXPECT_EQ(cursors, 0);
    g.setFieldMarks({});
    g.setTexts({});
    g.setLook(std::nullopt);
    EXPECT_EQ(cursors, 3);
    g.setTool(PreviewGeometry::Tool::signature);
    EXPECT_EQ(tools, 0);
    g.setTool(PreviewGeometry::Tool::text);
    EXPECT_EQ(tools, 1);
    // A selected text box that goes away is no longer selected.
    g.setTexts({{100001, 0, {10, 10, 50, 12}, "Hola", 10}});
    g.setSelectedText(100001);
    g.setTexts({{100002, 0, {10, 10, 50, 12}, "Hola", 10}});
    EXPECT_FALSE(g.selectedText());
}

TEST(PreviewGeometry, PanIsClampedFortyPointsPastTheArea) {
    PreviewGeometry g = model(4);
    g.setZoom(2);
    g.scroll(pan(1e6, -1e6));
    auto fit = g.fit(g.pageSizes());
    double mx = (fit.content.width - g.area().width) / 2 + 40;
    double my = (fit.content.height - g.area().height) / 2 + 40;
    EXPECT_NEAR(g.pan().x, mx, 1e-9);
    EXPECT_NEAR(g.pan().y, my, 1e-9);
    // At zoom 1 the page is smaller than the area by more than 80 points: no pan at all.
    g.setZoom(1);
    g.scroll(pan(50, 50));
    EXPECT_EQ(g.pan(), (Point{0, 0}));
}

TEST(PreviewGeometry, LookBoxesAndMinimumSizes) {
    Rect box = card().box({300, 400});
    EXPECT_EQ(box, (Rect{175, 364, 250, 72}));
    EXPECT_EQ(card().minimumSize(), (Size{90, 28}));
    RasterImage image;
    image.width = 200;
    image.height = 50;
    image.rgba.assign(200 * 50 * 4, 0);
    auto hand = PreviewGeometry::Look::handwriting(Handwriting(image));
    EXPECT_EQ(hand.minimumSize(), (Size{24, 10}));
    EXPECT_EQ(hand.box({0, 0}), Handwriting(image).box({0, 0}));
}
