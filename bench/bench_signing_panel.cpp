// The signing window from construction to shown, and to its first page drawn, for letters of 3 to
// 20,000 pages (the placement search runs on a worker thread and is not waited for).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "document/PagesPreview.h"
#include "document/SigningPanel.h"
#include "pages/PageProcess.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "support/PDFFixtures.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

namespace {

struct Setup {
    testutil::TempDir dir;
    Defaults defaults{dir / "defaults.json"};
    MemorySecretStore secrets;
    DocumentContext context = DocumentContext::standard();
    std::vector<Certificate> certificates;

    Setup() {
        PageProcess::startAhead();  // as the application does as it starts
        context.defaults = &defaults;
        context.secrets = &secrets;
        context.visibleFrame = [] { return std::optional<QRect>(QRect(0, 0, 1440, 900)); };
        testpki::CertSpec spec;
        spec.subject = {{"C", "ES"}, {"serialNumber", "IDCES-12345678Z"}, {"GN", "ANA"},
                        {"SN", "GARCIA LOPEZ"}, {"CN", "GARCIA LOPEZ ANA - 12345678Z"}};
        certificates.push_back(*Certificate::fromDER(testpki::sharedCA().issue(spec).der,
                                                     std::chrono::system_clock::now()));
    }
};

Setup& setup() {
    static Setup s;
    return s;
}

// A letter of `pages` pages, written once.
std::filesystem::path letter(int pages) {
    Setup& s = setup();
    const auto file = s.dir / ("doc-" + std::to_string(pages) + ".pdf");
    if (std::filesystem::exists(file)) return file;
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i) lines.push_back("Línea " + std::to_string(i) + " de la solicitud");
    lines.push_back("Fdo.: El interesado");
    std::vector<fixtures::PageSpec> specs(static_cast<std::size_t>(pages));
    for (auto& spec : specs) spec.content = fixtures::textContent(lines);
    testutil::writeFile(file, fixtures::pagesPDF(specs, true));
    return file;
}

// The signing window of one file. It is closed with the timing paused: closing is not what is
// measured.
std::unique_ptr<SigningPanel> window(Setup& s, const std::filesystem::path& file) {
    return std::make_unique<SigningPanel>(s.certificates, std::vector<std::filesystem::path>{file},
                                          std::nullopt, std::nullopt, s.context);
}

void shownWindow(benchmark::State& state) {
    Setup& s = setup();
    const auto file = letter(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto panel = window(s, file);
        panel->begin([](std::optional<SigningOptions>) {});
        QApplication::processEvents();
        benchmark::DoNotOptimize(panel->signatures().size());
        state.PauseTiming();
        panel->cancel();
        panel.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(shownWindow)->Arg(3)->Arg(200)->Arg(2400)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

// From construction until the window's first page is drawn: its visible tiles are in.
void firstPage(benchmark::State& state) {
    Setup& s = setup();
    const auto file = letter(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto panel = window(s, file);
        panel->begin([](std::optional<SigningOptions>) {});
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        do {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
            panel->preview()->repaint();
        } while (!panel->preview()->drawnWhole() && std::chrono::steady_clock::now() < limit);
        state.PauseTiming();
        panel->cancel();
        panel.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(firstPage)->Arg(3)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3);

// From construction until "Firmar" no longer waits: the placement search and the form reading of
// a short letter have ended.
void readyToSign(benchmark::State& state) {
    Setup& s = setup();
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i) lines.push_back("Línea " + std::to_string(i) + " de la carta");
    lines.push_back("Fdo.: El interesado");
    std::vector<fixtures::PageSpec> specs(3);
    for (auto& spec : specs) spec.content = fixtures::textContent(lines);
    const auto file = s.dir / "letter.pdf";
    testutil::writeFile(file, fixtures::pagesPDF(specs, true));
    for (auto _ : state) {
        auto panel = window(s, file);
        panel->begin([](std::optional<SigningOptions>) {});
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        do {
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        } while ((panel->searchingPlacements() || panel->readingForm()) &&
                 std::chrono::steady_clock::now() < limit);
        state.PauseTiming();
        panel->cancel();
        panel.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(readyToSign)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
