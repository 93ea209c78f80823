// The tile worker and cache: tiles of a document no longer shown are dropped; the nearest cached
// scale stands in for a missing one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include "PreviewTestSupport.h"
#include "document/PreviewDocument.h"
#include "document/preview/PreviewTiles.h"
#include "support/HeavyPages.h"
#include "support/HostilePages.h"
#include "pages/PageLimits.h"

namespace {

// Runs the event loop until `done` or a minute.
template <typename F>
bool until(F done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 60000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace

TEST(PreviewTiles, RendersTilesAndFindsTheNearestScale) {
    QObject receiver;
    int arrived = 0;
    PreviewTiles tiles(&receiver, [&] { ++arrived; });
    tiles.setDocument(PreviewDocument::fromData(previewtest::textPages(2)));
    std::int64_t one = PreviewTiles::scaleKey(1), two = PreviewTiles::scaleKey(2);
    tiles.request({{0, one, 0, 0}, {0, two, 0, 0}, {0, two, 1, 1}, {5, one, 0, 0}});
    ASSERT_TRUE(until([&] { return arrived == 4; }))
        << "The tiles did not all arrive within a minute.";
    const QImage* first = tiles.tile({0, one, 0, 0});
    ASSERT_TRUE(first);
    // A4 at one pixel per point: one tile of 595 x 842 cut at 512.
    EXPECT_EQ(first->size(), QSize(512, 512));
    EXPECT_EQ(tiles.tile({0, two, 1, 1})->size(), QSize(512, 512));
    // A page that does not exist stays a failed (null) tile, remembered.
    ASSERT_TRUE(tiles.tile({5, one, 0, 0}));
    EXPECT_TRUE(tiles.tile({5, one, 0, 0})->isNull());
    EXPECT_EQ(tiles.nearestScale(0, PreviewTiles::scaleKey(1.9)), two);
    EXPECT_EQ(tiles.nearestScale(0, PreviewTiles::scaleKey(1.2)), one);
    EXPECT_EQ(tiles.nearestScale(0, two), one);  // never the scale itself
    EXPECT_FALSE(tiles.nearestScale(1, one));
    EXPECT_EQ(tiles.bytes(), 3 * 512 * 512 * 4 + PreviewTiles::failedTileCost);
}

TEST(PreviewTiles, TilesOfAReplacedDocumentAreDropped) {
    QObject receiver;
    int arrived = 0;
    PreviewTiles tiles(&receiver, [&] { ++arrived; });
    tiles.setDocument(PreviewDocument::fromData(previewtest::textPages(1)));
    std::int64_t key = PreviewTiles::scaleKey(3);
    tiles.request({{0, key, 0, 0}, {0, key, 1, 0}, {0, key, 0, 1}, {0, key, 1, 1}});
    QThread::msleep(50);  // let the worker post some of them
    tiles.setDocument(PreviewDocument::fromData(previewtest::textPages(1)));
    QThread::msleep(50);
    for (int i = 0; i < 20; ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(arrived, 0);
    EXPECT_EQ(tiles.count(), 0u);
    // The new document's tiles come in as usual.
    tiles.request({{0, key, 0, 0}});
    ASSERT_TRUE(until([&] { return arrived == 1; })) << "The tile did not arrive within a minute.";
}

// Switching to another document while a tile of the first is being drawn: the tile of the same
// key in the new document is drawn (not taken for the one in progress), and the old one is given
// up at once.
TEST(PreviewTiles, ATileBeingDrawnDoesNotHideTheSameTileOfTheNextDocument) {
    QObject receiver;
    int arrived = 0;
    PreviewTiles tiles(&receiver, [&] { ++arrived; });
    // Its first page holds a renderer far longer than the test waits.
    tiles.setDocument(PreviewDocument::fromData(hostilepages::pdf(hostilepages::Shape::nestedForms)));
    const TileKey key{0, PreviewTiles::scaleKey(1), 0, 0};
    // Timed from before the old tile is asked for: its deadline runs from when the worker sends
    // it, later still, so a worker that waited for it could not bring the new tile sooner than
    // the whole deadline from here.
    QElapsedTimer timer;
    timer.start();
    tiles.request({key});
    QThread::msleep(300);  // the worker is inside the tile
    tiles.setDocument(PreviewDocument::fromData(previewtest::textPages(1)));
    tiles.request({key});
    ASSERT_TRUE(until([&] { return tiles.contains(key); }))
        << "The new document's tile did not arrive within a minute.";
    EXPECT_FALSE(tiles.tile(key)->isNull());
    // Not held until the old tile's deadline.
    EXPECT_LT(timer.elapsed(), PageLimits::tileTime.count());
}

// A page declaring a 200,000 x 200,000 image is not given to Poppler: its tile comes back at once,
// failed, and the page is marked heavy; the ordinary scanned page beside it is drawn.
TEST(PreviewTiles, APageTooHeavyToDrawIsMarkedAndNotDrawn) {
    QObject receiver;
    int arrived = 0;
    PreviewTiles tiles(&receiver, [&] { ++arrived; });
    tiles.setDocument(PreviewDocument::fromData(
        heavypages::pdf({heavypages::Kind::xobject, heavypages::Kind::scan})));
    std::int64_t one = PreviewTiles::scaleKey(1);
    tiles.request({{0, one, 0, 0}, {1, one, 0, 0}});
    ASSERT_TRUE(until([&] { return arrived == 2; }))
        << "The tiles of a heavy page and an ordinary one did not arrive within a minute.";
    EXPECT_TRUE(tiles.isHeavy(0));
    EXPECT_TRUE(tiles.tile({0, one, 0, 0})->isNull());
    EXPECT_FALSE(tiles.isHeavy(1));
    EXPECT_FALSE(tiles.tile({1, one, 0, 0})->isNull());
}
