// Parsing speed over a large buffer of typical PDF objects, and inflate speed, in MB/s.

#include "pdf/PDFFilters.h"
#include "pdf/PDFParser.h"
#include "pdf/PDFSerializer.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

// About `megabytes` MB of indirect objects: pages, fonts, annotations, arrays of numbers, strings.
std::string objectBuffer(int megabytes) {
    std::mt19937 rng(42);
    std::string out;
    const std::size_t target = static_cast<std::size_t>(megabytes) << 20;
    for (std::int64_t n = 1; out.size() < target; ++n) {
        out += std::to_string(n) + " 0 obj\n";
        switch (n % 4) {
        case 0:
            out += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.276 841.89] /Resources << /Font << /F1 " +
                   std::to_string(rng() % 1000) + " 0 R >> /ProcSet [/PDF /Text] >> /Contents " +
                   std::to_string(n + 1) + " 0 R /Annots [" + std::to_string(n + 2) + " 0 R] >>";
            break;
        case 1:
            out += "<< /Type /Annot /Subtype /Widget /FT /Tx /T (campo" + std::to_string(n) +
                   ") /Rect [72.5 700.25 300 720] /F 4 /DA (/Helv 10 Tf 0 g) /V <FEFF00430061006400690007A> >>";
            break;
        case 2: {
            out += "[";
            for (int i = 0; i < 40; ++i) out += std::to_string(rng() % 5000) + (i % 3 ? " " : ".5 ");
            out += "]";
            break;
        }
        default: {
            const std::string content = "BT /F1 12 Tf 72 712 Td (Hola \\(mundo\\)) Tj ET q 1 0 0 1 0 0 cm Q\n";
            out += "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream";
            break;
        }
        }
        out += "\nendobj\n";
    }
    return out;
}

void BM_ParseObjects(benchmark::State& state) {
    const std::string buffer = objectBuffer(8);
    for (auto _ : state) {
        PDFParser parser(buffer);
        std::size_t count = 0;
        while (true) {
            parser.skipWhitespace();
            if (parser.atEnd()) break;
            auto object = parser.parseIndirectObject();
            benchmark::DoNotOptimize(object);
            ++count;
        }
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(BM_ParseObjects)->Unit(benchmark::kMillisecond);

void BM_Serialize(benchmark::State& state) {
    const std::string buffer = objectBuffer(4);
    std::vector<PDFObject> objects;
    PDFParser parser(buffer);
    while (true) {
        parser.skipWhitespace();
        if (parser.atEnd()) break;
        objects.push_back(parser.parseIndirectObject().second);
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out;
        for (const auto& object : objects) PDFSerializer::write(object, out);
        bytes = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Serialize)->Unit(benchmark::kMillisecond);

void BM_Inflate(benchmark::State& state) {
    // Content-stream-like text: compresses about 5:1.
    std::mt19937 rng(7);
    std::string plain;
    const auto size = static_cast<std::size_t>(state.range(0)) << 20;
    while (plain.size() < size)
        plain += std::to_string(rng() % 600) + " " + std::to_string(rng() % 800) + " m " +
                 std::to_string(rng() % 600) + " " + std::to_string(rng() % 800) + " l S\n";
    const std::string packed = PDFFilters::deflate(plain);
    for (auto _ : state) {
        std::string out = PDFFilters::inflate(packed);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
    state.counters["ratio"] = static_cast<double>(plain.size()) / static_cast<double>(packed.size());
}
BENCHMARK(BM_Inflate)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_Deflate(benchmark::State& state) {
    std::mt19937 rng(9);
    std::string plain;
    while (plain.size() < (4u << 20)) plain += "q 0.5 0 0 0.5 " + std::to_string(rng() % 1000) + " 0 cm /Im1 Do Q\n";
    for (auto _ : state) {
        std::string out = PDFFilters::deflate(plain);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plain.size()));
}
BENCHMARK(BM_Deflate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
