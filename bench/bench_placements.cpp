// SignatureLocator::placements over a 20-page text-heavy document: time per page. The document
// window calls it on its main thread, so a page should take well under 50 ms.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "pdf/PDFFile.h"
#include "signing/SignatureLocator.h"
#include "support/CairoPages.h"

namespace {

constexpr int pageCount = 20;

std::string textHeavyDocument() {
    const std::vector<std::string> words{"solicitud",
                                         "de",
                                         "la",
                                         "ayuda",
                                         "para",
                                         "el",
                                         "ejercicio",
                                         "presupuestario",
                                         "conforme",
                                         "a",
                                         "lo",
                                         "dispuesto",
                                         "en",
                                         "bases",
                                         "reguladoras",
                                         "del",
                                         "procedimiento",
                                         "que",
                                         "declara",
                                         "responsablemente",
                                         "reunir",
                                         "los",
                                         "requisitos",
                                         "establecidos",
                                         "con",
                                         "documentación",
                                         "adjunta",
                                         "sede",
                                         "electrónica",
                                         "registro",
                                         "entrada"};
    cairopages::Document doc;
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (int p = 0; p < pageCount; ++p) {
        auto& page = doc.page(595, 842);
        double y = 800;
        for (int line = 0; line < 40; ++line, y -= 14) {
            std::string text;
            while (text.size() < 85) text += words[(next() >> 8) % words.size()] + " ";
            page.text(50, y, text, 9);
        }
        // Signature cues with room for a signature under the text of every page.
        page.text(60, 160, "Fdo.: El interesado", 10);
        page.text(330, 200, "EL SOLICITANTE", 10);
        page.text(60, 60, "Firma del representante:", 10);
    }
    return doc.pdf();
}

void BM_PlacementsPerPage(benchmark::State& state) {
    const std::string pdf = textHeavyDocument();
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        PDFFile file(pdf);
        std::vector<SignaturePlacement> list = SignatureLocator::placements(file);
        benchmark::DoNotOptimize(list);
        if (list.size() < static_cast<std::size_t>(2 * pageCount)) {
            state.SkipWithError("the cues of the pages were not found");
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["ms_per_page"] =
        1000.0 * seconds / static_cast<double>(state.iterations()) / pageCount;
}
BENCHMARK(BM_PlacementsPerPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
