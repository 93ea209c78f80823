// SignatureLocator::placements on three shapes of document: a 20-page text-heavy form (time per
// page), a one-page scan of 2268 x 4032 pt that is a single photo (the ink map of a huge page),
// and a 2,415-page manual of running text (page text of every page, few cues).
//
// TINDRA_PLACEMENT_FIXTURES=DIR also writes the scan and the manual there ("scan.pdf",
// "manual.pdf"), to time tests/tools/pdfplace on them.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pdf/PDFFile.h"
#include "signing/SignatureLocator.h"
#include "support/CairoPages.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace {

constexpr int pageCount = 20;
constexpr int manualPages = 2415;

const std::vector<std::string>& vocabulary() {
    static const std::vector<std::string> words{
        "solicitud",   "de",         "la",           "ayuda",      "para",      "el",
        "ejercicio",   "conforme",   "a",            "lo",         "dispuesto", "en",
        "bases",       "reguladoras", "del",         "procedimiento", "que",    "declara",
        "reunir",      "los",        "requisitos",   "establecidos", "con",     "adjunta",
        "sede",        "registro",   "entrada",      "the",        "macro",     "expands",
        "token",       "list",       "node",         "font",       "callback",  "value"};
    return words;
}

std::string textHeavyDocument() {
    const std::vector<std::string>& words = vocabulary();
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

// A phone photo of a letter placed at 72 dpi: one page of 2268 x 4032 pt holding one RGB image
// of 2268 x 4032 pixels, light paper with dark lines of "text" in its upper half.
std::string scanDocument() {
    const int w = 2268, h = 4032;
    std::string pixels(static_cast<std::size_t>(w) * h * 3, '\0');
    for (int y = 0; y < h; ++y) {
        const bool textRow = y > 300 && y < 2200 && (y / 40) % 2 == 0 && (y % 40) > 8;
        for (int x = 0; x < w; ++x) {
            unsigned char v = static_cast<unsigned char>(236 + (x + y) % 7);
            if (textRow && x > 250 && x < 2000 && (x / 23) % 5 != 0) v = 40;
            char* p = &pixels[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = p[1] = p[2] = static_cast<char>(v);
        }
    }
    fixtures::FixtureWriter f;
    f.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    f.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    f.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 2268 4032] "
                "/Resources <</XObject <</Im0 4 0 R >> >> /Contents 5 0 R >>");
    f.stream(4,
             "/Type /XObject /Subtype /Image /Width 2268 /Height 4032 /ColorSpace /DeviceRGB "
             "/BitsPerComponent 8",
             pixels, true);
    f.stream(5, "", "q 2268 0 0 4032 0 0 cm /Im0 Do Q\n", true);
    return f.finishClassic("/Root 1 0 R");
}

// A manual: every page 55 lines of running text; one page in ten mentions a signature in a
// sentence, one in two hundred ends with a "Firma:" line over free room.
std::string manualDocument() {
    const std::vector<std::string>& words = vocabulary();
    unsigned seed = 777;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    std::vector<fixtures::PageSpec> pages(manualPages);
    for (int p = 0; p < manualPages; ++p) {
        std::vector<std::string> lines;
        const int count = p % 200 == 199 ? 40 : 55;
        for (int line = 0; line < count; ++line) {
            std::string text;
            while (text.size() < 80) text += words[(next() >> 8) % words.size()] + " ";
            if (p % 10 == 3 && line == 20) text += "the signature of the node";
            lines.push_back(text);
        }
        if (p % 200 == 199) lines.push_back("Firma:");
        pages[static_cast<std::size_t>(p)].content = fixtures::textContent(lines);
    }
    return fixtures::pagesPDF(pages, true);
}

void writeFixtures() {
    const char* dir = std::getenv("TINDRA_PLACEMENT_FIXTURES");
    if (!dir || !*dir) return;
    std::filesystem::create_directories(dir);
    testutil::writeFile(std::filesystem::path(dir) / "scan.pdf", scanDocument());
    testutil::writeFile(std::filesystem::path(dir) / "manual.pdf", manualDocument());
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

// Whole searches, opening included (as pdfplace does).
void wholeSearch(benchmark::State& state, const std::string& pdf, std::size_t atLeast) {
    for (auto _ : state) {
        PDFFile file(pdf);
        std::vector<SignaturePlacement> list = SignatureLocator::placements(file);
        benchmark::DoNotOptimize(list);
        if (list.size() < atLeast) {
            state.SkipWithError("too few placements");
            break;
        }
    }
}

void BM_OnePageScan(benchmark::State& state) {
    static const std::string pdf = scanDocument();
    wholeSearch(state, pdf, 1);
}
BENCHMARK(BM_OnePageScan)->Unit(benchmark::kMillisecond)->Iterations(5);

// A batch of 100 three-page letters, each searched for its place as a signing run does.
void BM_BatchOf100(benchmark::State& state) {
    std::vector<std::string> letters;
    for (int k = 0; k < 100; ++k) {
        std::vector<fixtures::PageSpec> pages(3);
        for (int p = 0; p < 3; ++p) {
            std::vector<std::string> lines{"Expediente " + std::to_string(k + 1)};
            for (int l = 0; l < 30; ++l) lines.push_back("Texto de la carta, línea " + std::to_string(l));
            if (p == 2) lines.push_back("Fdo.: El interesado");
            pages[static_cast<std::size_t>(p)].content = fixtures::textContent(lines);
        }
        letters.push_back(fixtures::pagesPDF(pages, true));
    }
    for (auto _ : state) {
        for (const std::string& pdf : letters) {
            PDFFile file(pdf);
            benchmark::DoNotOptimize(SignatureLocator::best(SignatureLocator::placements(file), nullptr));
        }
    }
}
BENCHMARK(BM_BatchOf100)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LongManual(benchmark::State& state) {
    static const std::string pdf = manualDocument();
    wholeSearch(state, pdf, manualPages / 200 + 1);
}
BENCHMARK(BM_LongManual)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    writeFixtures();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
