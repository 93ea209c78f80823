// Signing file to file: the input mapped and copied into the output, never held whole.
#include "pdf/PDFFile.h"
#include "platform/FileData.h"
#include "signing/PDFSigner.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// Pages of text until the file is well past the size below which files are read, not mapped.
constexpr std::size_t kPages = 500;
std::string largePDF() {
    std::vector<std::string> lines;
    for (int i = 0; i < 100; ++i) lines.push_back("Línea " + std::to_string(i) + " de la prueba");
    std::vector<fixtures::PageSpec> pages(kPages);
    for (auto& page : pages) page.content = fixtures::textContent(lines);
    std::string pdf = fixtures::pagesPDF(pages);
    EXPECT_GT(pdf.size(), FileData::kSmallFile);
    return pdf;
}

PDFSigner signer() {
    PDFSigner result(SigningIdentity(testDatabase().rsaSHA1, testDatabase().dir), "Firmante",
                     std::chrono::system_clock::from_time_t(1700000000));
    result.appearance = [](Size box) -> std::optional<PDFSigner::Appearance> {
        RasterImage image;
        image.width = static_cast<int>(box.width);
        image.height = static_cast<int>(box.height);
        image.rgba.assign(static_cast<std::size_t>(image.width * image.height) * 4, 128);
        return PDFSigner::Appearance::image(std::move(image));
    };
    return result;
}

}  // namespace

// Classic and cross-reference-stream files (all large enough to be mapped), with and without a
// final line end, signed invisibly and visibly (on the first pages and on the last): the mapped
// path writes exactly the bytes of the in-memory one.
TEST(PDFSignerFile, MappedInputGivesTheBytesOfTheInMemorySigner) {
    testutil::TempDir dir;
    const std::string classic = largePDF();
    std::string unterminated = classic;
    while (unterminated.back() == '\n' || unterminated.back() == '\r') unterminated.pop_back();
    const std::string streams =
        fixtures::qpdf(classic, {"--object-streams=generate", "--compress-streams=n"});
    const PDFSigner::Placement placements[] = {
        PDFSigner::Placement::invisible(),
        PDFSigner::Placement::area(3, Rect{100, 100, 180, 60}),
        // The walk to the last page lets go of the map's pages on the way.
        PDFSigner::Placement::area(kPages - 1, Rect{100, 100, 180, 60}),
    };
    int run = 0;
    const std::vector<const std::string*> inputs{&classic, &unterminated, &streams};
    for (const std::string* input : inputs) {
        for (const auto& placement : placements) {
            SCOPED_TRACE(run);
            const auto in = dir / ("in" + std::to_string(run) + ".pdf");
            const auto out = dir / ("out" + std::to_string(run++) + ".pdf");
            testutil::writeFile(in, *input);
            signer().signFile(in, out, placement);
            const std::string expected = signer().sign(*input, placement);
            const std::string written = testutil::readFile(out);
            ASSERT_EQ(written.size(), expected.size());
            EXPECT_TRUE(written == expected);
            EXPECT_EQ(written.compare(0, input->size(), *input), 0);
        }
        EXPECT_GT(input->size(), FileData::kSmallFile);
    }
}

// A file cut short while it is open reads as zeros where it was cut, never ends the process with
// SIGBUS, and signing it gives an error and leaves the output as it was.
TEST(PDFSignerFile, InputTruncatedWhileOpenGivesAnErrorNotACrash) {
    testutil::TempDir dir;
    const auto in = dir / "in.pdf";
    const auto out = dir / "out.pdf";
    const std::string pdf = largePDF();
    testutil::writeFile(in, pdf);
    testutil::writeFile(out, "anterior");

    const auto mapping = FileData::map(in);
    {
        PDFFile file(mapping->bytes(), mapping);
        std::filesystem::resize_file(in, 5000);
        EXPECT_TRUE(mapping->changed());
        // The pages past the cut now read as nothing.
        EXPECT_LT(file.pageRefs().size(), kPages);
        // Every byte past the cut reads as zero.
        std::size_t nonZero = 0;
        for (std::size_t i = 8192; i < mapping->size(); i += 4096)
            nonZero += mapping->bytes()[i] != 0;
        EXPECT_EQ(nonZero, 0u);
    }
    // The walk to the last page also lets go of the map's pages, the vanished ones included.
    for (const auto& placement : {PDFSigner::Placement::invisible(),
                                  PDFSigner::Placement::area(kPages - 1, Rect{})}) {
        try {
            signer().signFile(mapping, out, placement);
            ADD_FAILURE() << "a file cut while open was signed";
        } catch (const std::exception& error) {
            EXPECT_FALSE(std::string(error.what()).empty());
        }
    }
    EXPECT_EQ(testutil::readFile(out), "anterior");
}

// A file changed in place after it was mapped is not signed: what was read may not be the file.
TEST(PDFSignerFile, InputChangedAfterMappingIsNotSigned) {
    testutil::TempDir dir;
    const auto in = dir / "in.pdf";
    const auto out = dir / "out.pdf";
    testutil::writeFile(in, largePDF());
    const auto mapping = FileData::map(in);
    const auto modified = std::filesystem::last_write_time(in);
    std::filesystem::last_write_time(in, modified - std::chrono::hours(1));
    ASSERT_TRUE(mapping->changed());
    try {
        signer().signFile(mapping, out, PDFSigner::Placement::invisible());
        ADD_FAILURE() << "a changed file was signed";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "No se ha podido leer «in.pdf»: el archivo ha cambiado mientras se leía.");
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}
