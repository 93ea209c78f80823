// Parsing pasted profile text: a typical block of company data, and a long paste of many short
// lines, where every line runs the line recognisers.
#include "profile/ProfileParser.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string kCompanyBlock =
    "Empresa de Pruebas SL\nC/ Mayor, 12 3º Dcha\n28013 Madrid\nNIF: B12345674\nTeléfono: 912 345 678\n"
    "Móvil: +34 612 345 678\nEmail: info@pruebas.es\nIBAN: ES91 2100 0418 4502 0005 1332\n"
    "Inscrita en el Registro Mercantil de Madrid, tomo 1234, folio 56, hoja M-7890\n"
    "D. Juan Pérez Gómez, con DNI 12345678Z, en nombre y representación de Pruebas SL, con domicilio social en "
    "C/ Mayor, 12 3º Dcha, 28013 Madrid y CIF B12345674, en su calidad de ADMINISTRADOR ÚNICO\n";

std::string manyLines(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; text.size() < bytes; ++i) {
        text += i % 3 == 0 ? "Horario: de 9 a 14\n" : i % 3 == 1 ? "Calle Mayor " + std::to_string(i) + "\n" : "28013 Madrid\n";
    }
    return text;
}

void ParseCompanyBlock(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ProfileParser::facts(kCompanyBlock));
}
BENCHMARK(ParseCompanyBlock)->Unit(benchmark::kMillisecond);

void ParseManyLines(benchmark::State& state) {
    const std::string text = manyLines(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(ProfileParser::facts(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(ParseManyLines)->Arg(20 << 10)->Arg(200 << 10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
