// The ink of a 4000 × 3000 photo of a signature, as the handwriting sheet takes it (budget: under
// 200 ms).
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <benchmark/benchmark.h>

#include "document/HandwritingPhoto.h"

namespace {

QImage photo() {
    QImage image(4000, 3000, QImage::Format_RGB32);
    image.fill(QColor(236, 234, 228));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(25, 40, 110), 24, Qt::SolidLine, Qt::RoundCap));
    QPainterPath path({500, 2000});
    path.cubicTo(1200, 600, 1800, 2600, 2500, 1500);
    path.cubicTo(2900, 900, 3300, 2300, 3600, 1200);
    painter.drawPath(path);
    // A little paper grain, so the luminances are not all equal.
    for (int y = 0; y < image.height(); y += 7)
        for (int x = (y * 13) % 11; x < image.width(); x += 11) image.setPixel(x, y, qRgb(226, 224, 218));
    return image;
}

void BM_InkOfPhoto(benchmark::State& state) {
    const QImage source = photo();
    for (auto _ : state) {
        auto ink = HandwritingPhoto::ink(source);
        if (!ink) state.SkipWithError("no ink found");
        benchmark::DoNotOptimize(ink);
    }
}
BENCHMARK(BM_InkOfPhoto)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
