#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/Defaults.h"
#include "signing/AutoFirma.h"
#include "signing/AutoFirmaEngine.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

Certificate certificate() {
    Certificate c;
    c.name = "ESPAÑOL ESPAÑOL JUAN - 12345678Z";
    c.holder = "Juan Español Español";
    c.sha1 = "0123456789ABCDEF0123456789ABCDEF01234567";
    c.idNumber = "12345678Z";
    c.authority = "AC FNMT Usuarios";
    c.serialNumber = "0A1B";
    c.notAfter = std::chrono::system_clock::now() + std::chrono::hours(24 * 365);
    return c;
}

SignaturePlacement placement(SignaturePlacement::Target target, int pageIndex, Rect rect) {
    return SignaturePlacement{std::move(target), pageIndex, rect, "Firma", "", false};
}

VisibleSignature visible(SignaturePlacement p) {
    SignatureStamp stamp;
    stamp.certificate = certificate();
    stamp.date = std::chrono::system_clock::time_point(std::chrono::seconds(1767225600));
    return VisibleSignature{std::move(p), stamp};
}

std::string decodeBase64(const std::string& text) {
    std::string bytes(text.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    // EVP_DecodeBlock counts the padding's zero bytes.
    size_t padding = text.size() >= 2 && text[text.size() - 2] == '='
                         ? 2
                         : (!text.empty() && text.back() == '=');
    bytes.resize(static_cast<size_t>(n) - padding);
    return bytes;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    if (start < text.size()) parts.push_back(text.substr(start));
    return parts;
}

// A program standing in for Java: it records its arguments, prints `say`, writes the output file
// named after "-o" when `writes`, and exits with `status`.
class StubJava {
public:
    StubJava(const std::string& say, int status, bool writes) {
        writeFile(dir_ / "say", say);
        installation_.java = dir_ / "java";
        installation_.jar = dir_ / "autofirma.jar";
        writeFile(installation_.jar, "PK");
        std::string script =
            "#!/bin/sh\n"
            ": > '" +
            (dir_ / "args").string() +
            "'\n"
            "for a in \"$@\"; do printf '%s\\0' \"$a\" >> '" +
            (dir_ / "args").string() +
            "'; done\n"
            "out=''; prev=''\n"
            "for a in \"$@\"; do if [ \"$prev\" = -o ]; then out=\"$a\"; fi; prev=\"$a\"; done\n"
            "cat '" +
            (dir_ / "say").string() + "'\n" + (writes ? "printf '%%PDF-signed' > \"$out\"\n" : "") +
            "exit " + std::to_string(status) + "\n";
        writeFile(installation_.java, script);
        ::chmod(installation_.java.c_str(), 0755);
    }
    const AutoFirma::Installation& installation() const { return installation_; }
    std::vector<std::string> arguments() const { return split(readFile(dir_ / "args"), '\0'); }
    fs::path path(const std::string& name) const { return dir_ / name; }

private:
    TempDir dir_;
    AutoFirma::Installation installation_;
};

struct FakeRunner : ProcessRunner {
    ProcessResult run(const fs::path&, const std::vector<std::string>&,
                      const ProcessOptions&) override {
        throw ProcessLaunchError("No se ha podido iniciar el programa «java»: no existe.", ENOENT);
    }
};

TEST(AutoFirmaConfig, FieldNamesAndAreasBecomeConfigurationLines) {
    Rect rect{45.5, 45, 250, 72};
    EXPECT_EQ(
        AutoFirma::configLines(placement(SignaturePlacement::Target::field("Firma1"), 1, rect)),
        std::vector<std::string>{"signatureField=Firma1"});

    std::vector<std::string> area = {
        "signaturePage=3",
        "signaturePositionOnPageLowerLeftX=46",
        "signaturePositionOnPageLowerLeftY=45",
        "signaturePositionOnPageUpperRightX=296",
        "signaturePositionOnPageUpperRightY=117",
    };
    EXPECT_EQ(AutoFirma::configLines(placement(SignaturePlacement::Target::area(3, rect), 0, {})),
              area);
    // A name AutoFirma's configuration cannot carry falls back to the placement's own page and
    // rect.
    for (const std::string& name :
         std::vector<std::string>{"Firma\t1", "Fir\\ma", "Firma\n", "Fir\u200Bma", "Fi\xff"}) {
        EXPECT_EQ(
            AutoFirma::configLines(placement(SignaturePlacement::Target::field(name), 2, rect)),
            area)
            << name;
    }
    EXPECT_EQ(AutoFirma::configLines(
                  placement(SignaturePlacement::Target::field("Firma del señor"), 2, rect)),
              std::vector<std::string>{"signatureField=Firma del señor"});
}

TEST(AutoFirmaConfig, CoordinatesRoundHalvesAwayFromZero) {
    auto lines = AutoFirma::areaLines(1, Rect{-0.5, -1.5, 0.5, 2.25});
    EXPECT_EQ(lines[1], "signaturePositionOnPageLowerLeftX=-1");
    EXPECT_EQ(lines[2], "signaturePositionOnPageLowerLeftY=-2");
    EXPECT_EQ(lines[3], "signaturePositionOnPageUpperRightX=0");
    EXPECT_EQ(lines[4], "signaturePositionOnPageUpperRightY=1");
    auto huge = AutoFirma::areaLines(1, Rect{1e300, std::nan(""), 1, 1});
    EXPECT_EQ(huge[1], "signaturePositionOnPageLowerLeftX=0");
    EXPECT_EQ(huge[2], "signaturePositionOnPageLowerLeftY=0");
}

TEST(AutoFirmaOutput, LoggerHeadersAndTheirLinesAreDropped) {
    EXPECT_EQ(AutoFirma::cleanOutput(""), std::nullopt);
    EXPECT_EQ(AutoFirma::cleanOutput("dic 09, 2026 4:05:06 PM es.gob.afirma.Foo main\n"
                                     "INFO: Arrancando\n\n   \n"
                                     "Dec 9, 2026 4:05:07 PM es.gob.afirma.Foo sign\n"
                                     "GRAVE: Error de firma\n"),
              std::nullopt);
    EXPECT_EQ(AutoFirma::cleanOutput("Dec 9, 2026 4:05:07 PM es.gob.afirma.Foo sign\n"
                                     "SEVERE: fallo\n"
                                     "  java.io.IOException: No se encuentra el certificado\t\n"),
              "java.io.IOException: No se encuentra el certificado");
    // CR LF endings behave as line feeds; other Unicode line breaks split lines too.
    EXPECT_EQ(AutoFirma::cleanOutput(
                  "Dec 9, 2026 4:05:07 PM x\r\nSEVERE: fallo\r\nMotivo uno\u2028 Motivo dos\r\n"),
              "Motivo uno\nMotivo dos");
    // Invalid UTF-8 is replaced, never a reason to fail.
    EXPECT_EQ(AutoFirma::cleanOutput("mal \xff byte"), "mal \uFFFD byte");
}

TEST(AutoFirmaRun, PassesTheExactCommandLineWithTheCardLast) {
    StubJava stub("", 0, true);
    fs::path input = stub.path("entrada con espacios.pdf"), output = stub.path("salida.pdf");
    writeFile(input, "%PDF-1.7");
    auto signature = visible(placement(SignaturePlacement::Target::area(3, Rect{45.5, 45, 250, 72}),
                                       2, Rect{45.5, 45, 250, 72}));
    AutoFirmaEngine engine(stub.installation());
    engine.sign(input, output, certificate(), signature);
    EXPECT_EQ(readFile(output), "%PDF-signed");

    auto args = stub.arguments();
    ASSERT_EQ(args.size(), 18u);
    std::vector<std::string> head = {"-Djava.awt.headless=true",
                                     "-jar",
                                     stub.installation().jar.string(),
                                     "sign",
                                     "-i",
                                     input.string(),
                                     "-o",
                                     output.string(),
                                     "-format",
                                     "pades",
                                     "-algorithm",
                                     "sha256",
                                     "-store",
                                     "auto",
                                     "-filter",
                                     "thumbprint:SHA1:0123456789ABCDEF0123456789ABCDEF01234567",
                                     "-config"};
    EXPECT_EQ(std::vector<std::string>(args.begin(), args.begin() + 17), head);

    const std::string& config = args[17];
    EXPECT_EQ(config.find('\n'), std::string::npos);
    const std::string expectedHead =
        "signaturePage=3\\nsignaturePositionOnPageLowerLeftX="
        "46\\nsignaturePositionOnPageLowerLeftY=45"
        "\\nsignaturePositionOnPageUpperRightX=296\\nsignaturePositionOnPageUpperRightY=117"
        "\\nsignatureRubricImage=";
    ASSERT_EQ(config.substr(0, expectedHead.size()), expectedHead);
    std::string png = decodeBase64(config.substr(expectedHead.size()));
    EXPECT_EQ(png, signature.stamp.pngData(Size{250, 72}).value());
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(AutoFirmaRun, AFieldNameWithAControlCharacterIsSentAsAnArea) {
    StubJava stub("", 0, true);
    fs::path input = stub.path("in.pdf"), output = stub.path("out.pdf");
    writeFile(input, "%PDF-1.7");
    auto signature = visible(placement(SignaturePlacement::Target::field("Firma\t1"), 1,
                                       Rect{-0.5, 10.5, 200, 60}));
    AutoFirma::sign(input, output, certificate(), signature, stub.installation());
    auto args = stub.arguments();
    ASSERT_EQ(args.size(), 18u);
    EXPECT_EQ(args[16], "-config");
    const std::string expectedHead =
        "signaturePage=2\\nsignaturePositionOnPageLowerLeftX=-1"
        "\\nsignaturePositionOnPageLowerLeftY=11\\nsignaturePositionOnPageUpperRightX=200"
        "\\nsignaturePositionOnPageUpperRightY=71\\nsignatureRubricImage=";
    EXPECT_EQ(args[17].substr(0, expectedHead.size()), expectedHead);
    EXPECT_EQ(args[17].find("signatureField"), std::string::npos);
}

TEST(AutoFirmaRun, AnInvisibleSignatureSendsNoConfiguration) {
    StubJava stub("", 0, true);
    fs::path input = stub.path("in.pdf"), output = stub.path("out.pdf");
    writeFile(input, "%PDF-1.7");
    AutoFirma::sign(input, output, certificate(), std::nullopt, stub.installation());
    auto args = stub.arguments();
    ASSERT_EQ(args.size(), 16u);
    EXPECT_EQ(args.back(), "thumbprint:SHA1:0123456789ABCDEF0123456789ABCDEF01234567");

    // A card too small to draw is sent without position or image.
    auto tiny =
        visible(placement(SignaturePlacement::Target::field("Firma1"), 0, Rect{0, 0, 0.5, 40}));
    AutoFirma::sign(input, output, certificate(), tiny, stub.installation());
    EXPECT_EQ(stub.arguments().size(), 16u);
}

// Runs a stub that prints `say`, exits with `status` and writes the output when `writes`; expects
// the error `message`, no output left behind and the input untouched.
void expectFailure(const std::string& say, int status, bool writes, const std::string& message) {
    StubJava stub(say, status, writes);
    fs::path input = stub.path("in.pdf"), output = stub.path("out.pdf");
    writeFile(input, "%PDF-1.7");
    try {
        AutoFirma::sign(input, output, certificate(), std::nullopt, stub.installation());
        ADD_FAILURE() << "no error";
    } catch (const AutoFirma::SignError& e) {
        EXPECT_EQ(e.what(), message);
    }
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(readFile(input), "%PDF-1.7");
}

TEST(AutoFirmaRun, FailuresBecomeSpanishErrorsAndRemoveTheOutput) {
    // Only logger headers with their lines: the exit code speaks.
    expectFailure(
        "Dec 9, 2026 4:05:07 PM es.gob.afirma.Main main\nINFO: inicio\n\n"
        "Dec 9, 2026 4:05:08 PM es.gob.afirma.Main main\nSEVERE: error\n",
        1, true, "AutoFirma terminó con el código 1.");
    // Exit 0 without an output file is a failure; the last line is the reason.
    expectFailure(
        "Dec 9, 2026 4:05:08 PM es.gob.afirma.Main main\nSEVERE: error\n"
        "  El certificado ha caducado\n",
        0, false, "El certificado ha caducado");
    {
        // A file already at the output is not AutoFirma's work: exit 0 without writing fails and
        // removes it; a run that writes replaces it. Nothing else is left in the folder.
        StubJava stale("", 0, false);
        fs::path input = stale.path("in.pdf"), output = stale.path("out.pdf");
        writeFile(input, "%PDF-1.7");
        writeFile(output, "%PDF-old");
        EXPECT_THROW(AutoFirma::sign(input, output, certificate(), std::nullopt,
                                     stale.installation()),
                     AutoFirma::SignError);
        EXPECT_FALSE(fs::exists(output));
        StubJava fresh("", 0, true);
        writeFile(fresh.path("out.pdf"), "%PDF-old");
        writeFile(fresh.path("in.pdf"), "%PDF-1.7");
        AutoFirma::sign(fresh.path("in.pdf"), fresh.path("out.pdf"), certificate(), std::nullopt,
                        fresh.installation());
        EXPECT_EQ(readFile(fresh.path("out.pdf")), "%PDF-signed");
        for (const auto& entry : fs::directory_iterator(fresh.path("."))) {
            EXPECT_EQ(entry.path().filename().string().find("tindra-"), std::string::npos)
                << entry.path();
        }
    }
    {
        // A launch failure passes through and leaves the output alone.
        TempDir dir;
        writeFile(dir / "out.pdf", "previous");
        FakeRunner fake;
        EXPECT_THROW(AutoFirma::sign(dir / "in.pdf", dir / "out.pdf", certificate(), std::nullopt,
                                     {"/nowhere/java", "/nowhere/a.jar"}, fake),
                     ProcessLaunchError);
        EXPECT_EQ(readFile(dir / "out.pdf"), "previous");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

TEST(AutoFirmaLocate, TakesTheFirstUsableInstallation) {
    TempDir dir;
    writeFile(dir / "java", "#!/bin/sh\n");
    ::chmod((dir / "java").c_str(), 0755);
    writeFile(dir / "plain", "");
    ::chmod((dir / "plain").c_str(), 0644);
    writeFile(dir / "a.jar", "PK");
    AutoFirma::Installation notExecutable{dir / "plain", dir / "a.jar"};
    AutoFirma::Installation noJar{dir / "java", dir / "missing.jar"};
    AutoFirma::Installation good{dir / "java", dir / "a.jar"};
    EXPECT_EQ(AutoFirma::locate({notExecutable, noJar, good}), good);
    EXPECT_EQ(AutoFirma::locate({notExecutable, noJar}), std::nullopt);
    EXPECT_EQ(AutoFirma::locate({AutoFirma::Installation{dir.path(), dir / "a.jar"}}),
              std::nullopt);

    // The environment comes before the settings, which come before the packaged paths.
    Defaults defaults(dir / "defaults.json");
    defaults.setString(AutoFirma::jarKey, (dir / "setting.jar").string());
    defaults.setString(AutoFirma::javaKey, (dir / "java").string());
    auto list = AutoFirma::candidates(defaults);
    ASSERT_EQ(list.size(), 1 + AutoFirma::packagedJars.size());
    EXPECT_EQ(list[0].jar, dir / "setting.jar");
    EXPECT_EQ(list[0].java, dir / "java");
    EXPECT_EQ(list[1].jar, AutoFirma::packagedJars[0]);
    ::setenv(AutoFirma::jarVariable, (dir / "env.jar").string().c_str(), 1);
    EXPECT_EQ(AutoFirma::candidates(defaults)[0].jar, dir / "env.jar");
    ::unsetenv(AutoFirma::jarVariable);
    Defaults empty(dir / "empty.json");
    EXPECT_EQ(AutoFirma::candidates(empty)[0],
              (AutoFirma::Installation{AutoFirma::systemJava, AutoFirma::packagedJars[0]}));
}

}  // namespace
