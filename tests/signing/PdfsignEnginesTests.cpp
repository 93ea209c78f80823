// The pdfsign tool signing the signing run's way: copies, engine choice, fallback and its log.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestDatabase.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

// Runs pdfsign with its state, settings and AutoFirma location confined to `dir`.
testutil::RunResult pdfsign(const TempDir& dir, const std::vector<std::string>& args,
                            const std::string& jar = "/nonexistent/autofirma.jar",
                            const std::string& java = "/nonexistent/java") {
    std::vector<std::string> argv = {"env",
                                     "XDG_STATE_HOME=" + (dir / "state").string(),
                                     "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                     "TINDRA_AUTOFIRMA_JAR=" + jar,
                                     "TINDRA_AUTOFIRMA_JAVA=" + java,
                                     (testutil::toolsDir() / "pdfsign").string(),
                                     "--nssdb",
                                     testDatabase().dir.string(),
                                     "--cert",
                                     testDatabase().rsaSHA1};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv);
}

// The log lines without their time stamps.
std::vector<std::string> logLines(const TempDir& dir) {
    std::vector<std::string> lines;
    std::string text = readFile(dir / "state" / "tindra" / "Tindra.log");
    size_t start = 0;
    for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
        std::string line = text.substr(start, at - start);
        lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
}

TEST(PdfsignEngines, CopiesAndAVisibleSignatureThroughTheOwnEngine) {
    TempDir dir;
    writeFile(dir / "in.pdf", fixtures::textPDF(2));
    auto result = pdfsign(dir, {"--engine", "nativo", "--copy", "1,72,600,180,50", "--copy",
                                "1,300,600,120,40", "--page", "2", "--rect", "300,100,200,60",
                                (dir / "in.pdf").string(), (dir / "out.pdf").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::string out = readFile(dir / "out.pdf");
    EXPECT_EQ(fixtures::qpdfCheck(out), 0);
    auto report = testutil::run({"pdfsig", "-nssdir", "sql:" + testDatabase().dir.string(),
                                 "-no-ocsp", (dir / "out.pdf").string()});
    EXPECT_NE(report.out.find("Signature is Valid."), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("Total document signed"), std::string::npos) << report.out;
    size_t stamps = 0;
    for (size_t at = 0; (at = out.find("/Subtype /Stamp", at)) != std::string::npos; ++at) ++stamps;
    EXPECT_EQ(stamps, 2u);
    EXPECT_EQ(logLines(dir), std::vector<std::string>{"Motor de firma: nativo"});

    // A copy on a page the document does not have fails the file with the Spanish sentence.
    auto bad = pdfsign(
        dir, {"--copy", "3,72,600,180,50", (dir / "in.pdf").string(), (dir / "bad.pdf").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "No se encuentra la página de la firma.\n");
    EXPECT_FALSE(fs::exists(dir / "bad.pdf"));
}

TEST(PdfsignEngines, ThePairFallsBackToAutoFirmaAndLogsIt) {
    TempDir dir;
    // Encryption our engine cannot open: the pair retries with AutoFirma.
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    w.object(4, "<< /Filter /Ajeno /V 1 /R 2 /O <00> /U <00> /P -4 >>");
    writeFile(dir / "cifrado.pdf", w.finishClassic("/Root 1 0 R /Encrypt 4 0 R /ID [<01><01>]"));

    writeFile(dir / "autofirma.jar", "PK");
    writeFile(dir / "java",
              "#!/bin/sh\nout=''; prev=''\n"
              "for a in \"$@\"; do if [ \"$prev\" = -o ]; then out=\"$a\"; fi; prev=\"$a\"; done\n"
              "printf '%%PDF-firmado-por-autofirma' > \"$out\"\n");
    ::chmod((dir / "java").c_str(), 0755);

    auto result = pdfsign(
        dir, {"--engine", "pair", (dir / "cifrado.pdf").string(), (dir / "out.pdf").string()},
        (dir / "autofirma.jar").string(), (dir / "java").string());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(dir / "out.pdf"), "%PDF-firmado-por-autofirma");
    auto lines = logLines(dir);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Motor de firma: nativo, con AutoFirma de respaldo");
    const std::string start =
        "El motor nativo no ha podido firmar «cifrado.pdf» (El PDF usa un cifrado";
    EXPECT_EQ(lines[1].substr(0, start.size()), start);
    EXPECT_NE(lines[1].find("); se reintenta con AutoFirma"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "Firmado con AutoFirma tras el fallo del motor nativo");

    // Without AutoFirma the pair is the own engine alone, and "autofirma" finds nothing.
    TempDir other;
    auto alone = pdfsign(
        other, {"--engine", "pair", (dir / "cifrado.pdf").string(), (other / "out.pdf").string()});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_EQ(logLines(other)[0], "Motor de firma: nativo");
    auto missing = pdfsign(other, {"--engine", "autofirma", (dir / "cifrado.pdf").string(),
                                   (other / "out.pdf").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "No se ha encontrado AutoFirma\n");
}

}  // namespace
