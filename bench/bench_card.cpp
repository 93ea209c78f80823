// The signature card's renderings: made once per signed file (PDF) or per AutoFirma run (PNG).
#include <benchmark/benchmark.h>

#include "signing/SignatureStamp.h"

namespace {

SignatureStamp stamp() {
    Certificate c;
    c.holder = "Juan Español Pérez";
    c.idNumber = "12345678Z";
    c.issuer = "FNMT-RCM";
    c.authority = "AC FNMT Usuarios";
    c.serialNumber = "0A1B2C3D4E5F";
    return SignatureStamp{c, std::chrono::system_clock::now(), false, true};
}

void cardPDF(benchmark::State& state) {
    const SignatureStamp card = stamp();
    for (auto _ : state) benchmark::DoNotOptimize(card.pdfData({250, 72}));
}
BENCHMARK(cardPDF)->Unit(benchmark::kMillisecond);

void cardPNG(benchmark::State& state) {
    const SignatureStamp card = stamp();
    for (auto _ : state) benchmark::DoNotOptimize(card.pngData({250, 72}));
}
BENCHMARK(cardPNG)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
