// Opening a 10 MB, 1000-page PDF and walking its page tree, beside `qpdf --show-npages` on the
// same file in the same run.
#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace {

// 1000 A4 pages, each with about 10 KB of uncompressed text content.
const std::string& classicFile() {
    static const std::string pdf = [] {
        std::vector<std::string> lines;
        for (int i = 0; i < 170; ++i) {
            lines.push_back("Línea " + std::to_string(i) +
                            " del documento de prueba para medir la apertura");
        }
        std::vector<fixtures::PageSpec> pages(1000);
        for (auto& page : pages) page.content = fixtures::textContent(lines);
        return fixtures::pagesPDF(pages);
    }();
    return pdf;
}

const std::string& objectStreamFile() {
    static const std::string pdf =
        fixtures::qpdf(classicFile(), {"--object-streams=generate", "--compress-streams=n"});
    return pdf;
}

// The shape of a large manual: 1000 pages and 90,000 small objects, nearly all of them in
// object streams (each page refers to 89 small dictionaries).
const std::string& manyObjectsFile() {
    static const std::string pdf = [] {
        fixtures::FixtureWriter w;
        constexpr int pages = 1000, perPage = 89;
        std::string kids;
        for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
        w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
        w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count 1000 >>");
        std::int64_t next = 3 + pages;
        for (int i = 0; i < pages; ++i) {
            std::string extra;
            for (int k = 0; k < perPage; ++k) extra += std::to_string(next + k) + " 0 R ";
            w.object(3 + i, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Extra [" +
                                extra + "] >>");
            for (int k = 0; k < perPage; ++k)
                w.object(next + k, "<</Kind /Nota /Number " + std::to_string(k) +
                                       " /Box [0 0 10 10] /Text (objeto pequeño) >>");
            next += perPage;
        }
        return fixtures::qpdf(w.finishClassic("/Root 1 0 R"), {"--object-streams=generate"});
    }();
    return pdf;
}

void openAndWalk(benchmark::State& state, const std::string& bytes) {
    for (auto _ : state) {
        PDFFile file(bytes);
        auto pages = file.pageRefs();
        if (pages.size() != 1000) throw std::runtime_error("wrong page count");
        for (PDFRef page : pages) benchmark::DoNotOptimize(file.inherited("Rotate", page));
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void qpdfPages(benchmark::State& state, const std::string& bytes) {
    testutil::TempDir dir;
    const auto path = (dir / "doc.pdf").string();
    testutil::writeFile(path, bytes);
    for (auto _ : state) {
        auto result = testutil::run({"qpdf", "--show-npages", path});
        if (result.out != "1000\n") throw std::runtime_error("qpdf: " + result.err);
    }
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void BM_PDFFileOpenClassic(benchmark::State& state) {
    openAndWalk(state, classicFile());
}
void BM_QpdfNpagesClassic(benchmark::State& state) {
    qpdfPages(state, classicFile());
}
void BM_PDFFileOpenObjectStreams(benchmark::State& state) {
    openAndWalk(state, objectStreamFile());
}
void BM_QpdfNpagesObjectStreams(benchmark::State& state) {
    qpdfPages(state, objectStreamFile());
}

void BM_PDFFileOpenManyObjects(benchmark::State& state) {
    openAndWalk(state, manyObjectsFile());
}
void BM_QpdfNpagesManyObjects(benchmark::State& state) {
    qpdfPages(state, manyObjectsFile());
}

}  // namespace

BENCHMARK(BM_PDFFileOpenClassic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QpdfNpagesClassic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PDFFileOpenObjectStreams)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QpdfNpagesObjectStreams)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PDFFileOpenManyObjects)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QpdfNpagesManyObjects)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
