// Opening a 10 MB PDF and writing one small incremental update, beside `qpdf` rewriting the same
// file in the same run.
#include "pdf/PDFFile.h"
#include "pdf/PDFUpdate.h"

#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <stdexcept>
#include <string>

namespace {

// 1200 A4 pages (10 MB) with about 8 KB of text content each.
const std::string& classicFile() {
    static const std::string pdf = [] {
        std::vector<std::string> lines;
        for (int i = 0; i < 170; ++i) lines.push_back("Línea " + std::to_string(i) + " del documento que se va a firmar");
        std::vector<fixtures::PageSpec> pages(1200);
        for (auto& page : pages) page.content = fixtures::textContent(lines);
        return fixtures::pagesPDF(pages);
    }();
    return pdf;
}

const std::string& objectStreamFile() {
    static const std::string pdf = fixtures::qpdf(classicFile(), {"--object-streams=generate", "--compress-streams=n"});
    return pdf;
}

double peakRSSMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Read the file, open it, add one object and re-set the catalog, write the new file.
void update(benchmark::State& state, const std::string& bytes) {
    testutil::TempDir dir;
    const auto in = dir / "doc.pdf", out = dir / "out.pdf";
    testutil::writeFile(in, bytes);
    std::size_t written = 0;
    for (auto _ : state) {
        PDFFile file(testutil::readFile(in));
        PDFUpdate update(file);
        const PDFRef note = update.allocate();
        update.set(note, PDFObject::dictionary({{"Texto", PDFObject::text("Firmado en C\u00E1diz")}}));
        PDFDictionary catalog = *file.catalog();
        catalog.set("TindraNota", PDFObject::reference(note));
        update.set(*file.catalogRef(), PDFObject::dictionary(std::move(catalog)));
        const PDFUpdate::Result result = update.write();
        testutil::writeFile(out, result.data);
        written = result.data.size();
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
    state.counters["outMB"] = static_cast<double>(written) / 1e6;
    state.counters["peakRSSMB"] = peakRSSMB();
}

void qpdfRewrite(benchmark::State& state, const std::string& bytes) {
    testutil::TempDir dir;
    const auto in = (dir / "doc.pdf").string(), out = (dir / "out.pdf").string();
    testutil::writeFile(in, bytes);
    for (auto _ : state) {
        const auto result = testutil::run({"qpdf", in, out});
        if (result.exitCode != 0) throw std::runtime_error("qpdf: " + result.err);
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_UpdateClassic(benchmark::State& state) { update(state, classicFile()); }
void BM_QpdfRewriteClassic(benchmark::State& state) { qpdfRewrite(state, classicFile()); }
void BM_UpdateObjectStreams(benchmark::State& state) { update(state, objectStreamFile()); }
void BM_QpdfRewriteObjectStreams(benchmark::State& state) { qpdfRewrite(state, objectStreamFile()); }

}  // namespace

BENCHMARK(BM_UpdateClassic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QpdfRewriteClassic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateObjectStreams)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QpdfRewriteObjectStreams)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
