// Signing a 10 MB PDF with a software RSA-2048 key, beside the physical floor: reading the file
// and hashing it once with SHA-256.

#include "signing/Digest.h"
#include "signing/PDFSigner.h"
#include "signing/SigningIdentity.h"
#include "support/SoftwareIdentity.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

// A classic PDF of about `megabytes` MB: pages with long content streams.
std::string largePDF(int megabytes) {
    std::mt19937 rng(7);
    const int pages = 100;
    const std::size_t perPage = (static_cast<std::size_t>(megabytes) << 20) / pages;
    std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets(3 + 2 * pages, 0);
    auto object = [&](int number, const std::string& body) {
        offsets[static_cast<std::size_t>(number)] = out.size();
        out += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 2 * i) + " 0 R ";
    object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int i = 0; i < pages; ++i) {
        int page = 3 + 2 * i;
        object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents " +
                         std::to_string(page + 1) + " 0 R >>");
        std::string content;
        while (content.size() < perPage)
            content += std::to_string(rng() % 595) + " " + std::to_string(rng() % 842) + " m " +
                       std::to_string(rng() % 595) + " " + std::to_string(rng() % 842) + " l S\n";
        object(page + 1, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
                             content + "\nendstream");
    }
    std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n";
    char entry[32];
    for (std::size_t n = 1; n < offsets.size(); ++n) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offsets[n]);
        out += entry;
    }
    out += "trailer\n<< /Root 1 0 R /Size " + std::to_string(offsets.size()) +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

const std::filesystem::path& inputFile() {
    static const std::filesystem::path path = [] {
        auto file = std::filesystem::temp_directory_path() / "tindra-bench-sign-10mb.pdf";
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        std::string pdf = largePDF(10);
        out.write(pdf.data(), static_cast<std::streamsize>(pdf.size()));
        return file;
    }();
    return path;
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::filesystem::file_size(path), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// The floor: read the file and hash it once.
void BM_ReadAndHash(benchmark::State& state) {
    const auto& path = inputFile();
    for (auto _ : state) {
        std::string bytes = readAll(path);
        auto digest = Digest::sha256(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                     bytes.size());
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadAndHash)->Unit(benchmark::kMillisecond);

// Read, sign invisibly with the software key; the result stays in memory.
void BM_SignInvisible(benchmark::State& state) {
    const auto& path = inputFile();
    auto store = std::make_shared<SoftwareIdentityStore>();
    PDFSigner signer(SigningIdentity(store->sha1(), store), "Banco de pruebas");
    for (auto _ : state) {
        std::string out = signer.sign(readAll(path), PDFSigner::Placement::invisible());
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SignInvisible)->Unit(benchmark::kMillisecond);

// File to file: the input mapped and copied into the output through the atomic write (which
// flushes it to disk), never held whole in memory.
void BM_SignFileInvisible(benchmark::State& state) {
    const auto& path = inputFile();
    const auto output = std::filesystem::temp_directory_path() / "tindra-bench-sign-out.pdf";
    auto store = std::make_shared<SoftwareIdentityStore>();
    PDFSigner signer(SigningIdentity(store->sha1(), store), "Banco de pruebas");
    for (auto _ : state) signer.signFile(path, output, PDFSigner::Placement::invisible());
    std::filesystem::remove(output);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SignFileInvisible)->Unit(benchmark::kMillisecond);

// The same with a visible raster signature on the last page.
void BM_SignVisible(benchmark::State& state) {
    const auto& path = inputFile();
    auto store = std::make_shared<SoftwareIdentityStore>();
    PDFSigner signer(SigningIdentity(store->sha1(), store), "Banco de pruebas",
                     std::chrono::system_clock::now(), [](Size box) {
                         RasterImage image;
                         image.width = static_cast<int>(box.width * 2);
                         image.height = static_cast<int>(box.height * 2);
                         image.rgba.assign(static_cast<std::size_t>(image.width) *
                                               static_cast<std::size_t>(image.height) * 4,
                                           200);
                         return std::optional(PDFSigner::Appearance::image(std::move(image)));
                     });
    for (auto _ : state) {
        std::string out =
            signer.sign(readAll(path), PDFSigner::Placement::area(99, {300, 60, 250, 72}));
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_SignVisible)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
