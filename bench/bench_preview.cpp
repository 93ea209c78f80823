// The page preview offscreen on a 200-page document: a paint with the visible tiles cached (zoom 1
// and 4; a frame is 16 ms), a turn to a page not yet rendered (painted white at once, its tiles
// soon after), and the tile cache's size over every page.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <memory>

#include "document/PagesPreview.h"
#include "support/CairoPages.h"

namespace {

constexpr int pageTotal = 200;

std::shared_ptr<PreviewDocument> document() {
    static std::shared_ptr<PreviewDocument> doc = [] {
        cairopages::Document pdf;
        for (int i = 0; i < pageTotal; ++i) {
            auto& page = pdf.page(595, 842);
            page.text(72, 760, "Expediente " + std::to_string(i + 1), 16);
            std::vector<std::string> lines;
            for (int l = 0; l < 40; ++l)
                lines.push_back("Línea " + std::to_string(l + 1) +
                                " del documento de prueba con texto corrido para la vista.");
            page.lines(72, 720, lines, 10, 15);
            page.frame({60, 60, 475, 720});
        }
        return PreviewDocument::fromData(pdf.pdf());
    }();
    return doc;
}

std::unique_ptr<PagesPreview> view() {
    auto v = std::make_unique<PagesPreview>();
    v->resize(1200, 900);
    v->setDocument(document());
    v->show();
    QApplication::processEvents();
    return v;
}

// Milliseconds until every visible tile is in.
double waitForTiles(PagesPreview& v) {
    QElapsedTimer timer;
    timer.start();
    v.repaint();
    while (v.tilesPending() && timer.elapsed() < 30000) {
        QApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::msleep(1);
        v.repaint();
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void paintCached(benchmark::State& state) {
    auto v = view();
    v->setCurrentPage(100);
    v->setZoom(static_cast<double>(state.range(0)));
    waitForTiles(*v);
    if (v->tilesPending()) state.SkipWithError("las teselas no llegaron");
    for (auto _ : state) v->repaint();
}
BENCHMARK(paintCached)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

void turnToUncachedPage(benchmark::State& state) {
    auto v = view();
    int page = 0;
    double worstPaint = 0, worstTiles = 0;
    for (auto _ : state) {
        page = (page + 7) % pageTotal;
        QElapsedTimer timer;
        timer.start();
        v->setCurrentPage(page);
        v->repaint();
        worstPaint = std::max(worstPaint, static_cast<double>(timer.nsecsElapsed()) / 1e6);
        state.PauseTiming();
        worstTiles = std::max(worstTiles,
                              static_cast<double>(timer.nsecsElapsed()) / 1e6 + waitForTiles(*v));
        state.ResumeTiming();
    }
    state.counters["worst_paint_ms"] = worstPaint;
    state.counters["worst_tiles_ms"] = worstTiles;
}
BENCHMARK(turnToUncachedPage)->Iterations(40)->Unit(benchmark::kMillisecond);

void cacheOverAllPages(benchmark::State& state) {
    for (auto _ : state) {
        auto v = view();
        v->setZoom(4);
        std::int64_t most = 0;
        for (int page = 0; page < pageTotal; ++page) {
            v->setCurrentPage(page);
            v->setZoom(4);
            waitForTiles(*v);
            most = std::max(most, v->cachedTileBytes());
        }
        state.counters["most_cache_MB"] = static_cast<double>(most) / (1024.0 * 1024.0);
    }
}
BENCHMARK(cacheOverAllPages)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
