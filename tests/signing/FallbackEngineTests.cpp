#include <gtest/gtest.h>

#include <functional>

#include "pdf/PDFError.h"
#include "pdf/PDFSecurity.h"
#include "signing/FallbackEngine.h"
#include "signing/PDFSigner.h"
#include "signing/SigningIdentity.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

// An engine that writes a partial output and then runs `behaviour` (throwing, or writing `result`).
struct FakeEngine : SigningEngine {
    FakeEngine(std::string name, std::function<void()> behaviour, std::string result = "signed")
        : name_(std::move(name)), behaviour_(std::move(behaviour)), result_(std::move(result)) {}

    std::string name() const override { return name_; }
    void sign(const fs::path& input, const fs::path& output, const Certificate& certificate,
              const std::optional<VisibleSignature>&) const override {
        ++calls;
        sawOutputBefore = fs::exists(output);
        lastSHA1 = certificate.sha1;
        lastInput = input;
        writeFile(output, "partial by " + name_);
        behaviour_();
        writeFile(output, result_);
    }

    std::string name_;
    std::function<void()> behaviour_;
    std::string result_;
    mutable int calls = 0;
    mutable bool sawOutputBefore = false;
    mutable std::string lastSHA1;
    mutable fs::path lastInput;
};

struct Pair {
    std::shared_ptr<FakeEngine> primary;
    std::shared_ptr<FakeEngine> fallback;
    std::vector<std::string> log;
    FallbackEngine engine;

    Pair(std::function<void()> first, std::function<void()> second)
        : primary(std::make_shared<FakeEngine>("nativo", std::move(first), "by primary")),
          fallback(std::make_shared<FakeEngine>("AutoFirma", std::move(second), "by fallback")),
          engine(primary, fallback, [this](std::string_view line) { log.emplace_back(line); }) {}
};

void succeed() {}
template <typename E, typename... A>
std::function<void()> failWith(A... args) {
    return [=] { throw E(args...); };
}

Certificate certificate() {
    Certificate c;
    c.sha1 = "AA00";
    return c;
}

TEST(FallbackEngine, NameJoinsBothEngines) {
    Pair pair(succeed, succeed);
    EXPECT_EQ(pair.engine.name(), "nativo, con AutoFirma de respaldo");
}

TEST(FallbackEngine, ThePrimarysSuccessLogsNothing) {
    TempDir dir;
    Pair pair(succeed, succeed);
    pair.engine.sign(dir / "doc.pdf", dir / "out.pdf", certificate(), std::nullopt);
    EXPECT_EQ(readFile(dir / "out.pdf"), "by primary");
    EXPECT_EQ(pair.fallback->calls, 0);
    EXPECT_TRUE(pair.log.empty());
}

TEST(FallbackEngine, RefusalsOfTheDocumentEndTheCallAtOnce) {
    for (auto refusal :
         std::vector<std::function<void()>>{[] { throw PDFSecurity::Failure::needsPassword(); },
                                            [] { throw PDFSigner::Failure::restricted(); },
                                            [] { throw PDFSigner::Failure::certified(); }}) {
        TempDir dir;
        Pair pair(refusal, succeed);
        EXPECT_THROW(
            pair.engine.sign(dir / "doc.pdf", dir / "out.pdf", certificate(), std::nullopt),
            std::runtime_error);
        EXPECT_EQ(pair.fallback->calls, 0);
        EXPECT_TRUE(pair.log.empty());
    }
}

TEST(FallbackEngine, ACancelledPromptEndsTheCallAtOnce) {
    TempDir dir;
    Pair pair(
        failWith<SigningIdentity::Error>("No se ha permitido usar la clave del certificado.", true),
        succeed);
    try {
        pair.engine.sign(dir / "doc.pdf", dir / "out.pdf", certificate(), std::nullopt);
        FAIL();
    } catch (const SigningIdentity::Error& e) {
        EXPECT_TRUE(e.cancelled);
    }
    EXPECT_EQ(pair.fallback->calls, 0);
    EXPECT_TRUE(pair.log.empty());
}

TEST(FallbackEngine, OtherErrorsRetryWithTheFallbackAndLogIt) {
    for (auto failure : std::vector<std::function<void()>>{
             failWith<SigningIdentity::Error>("No hay certificados en el almacén de certificados.",
                                              false),
             failWith<PDFError>("No se encuentra el catálogo del PDF"),
             [] { throw PDFSecurity::Failure::unsupported("/V 5"); },
             [] { throw PDFSigner::Failure::signatureTooLarge(30000); },
             [] { throw PDFSigner::Failure::fieldNotFound("Firma1"); },
             failWith<std::runtime_error>("No se ha podido leer el archivo."), [] { throw 42; }}) {
        TempDir dir;
        Pair pair(failure, succeed);
        pair.engine.sign(dir / "Contrato de obra.pdf", dir / "out.pdf", certificate(),
                         std::nullopt);
        EXPECT_EQ(readFile(dir / "out.pdf"), "by fallback");
        EXPECT_FALSE(pair.fallback->sawOutputBefore) << "the partial output was not removed";
        EXPECT_EQ(pair.fallback->lastSHA1, "AA00");
        EXPECT_EQ(pair.fallback->lastInput, dir / "Contrato de obra.pdf");
        ASSERT_EQ(pair.log.size(), 2u);
        const std::string start = "El motor nativo no ha podido firmar «Contrato de obra.pdf» (";
        EXPECT_EQ(pair.log[0].substr(0, start.size()), start);
        EXPECT_EQ(pair.log[1], "Firmado con AutoFirma tras el fallo del motor nativo");
    }
    TempDir dir;
    Pair pair(failWith<PDFError>("No se encuentra el catálogo del PDF"), succeed);
    pair.engine.sign(dir / "a.pdf", dir / "out.pdf", certificate(), std::nullopt);
    EXPECT_EQ(pair.log[0],
              "El motor nativo no ha podido firmar «a.pdf» (No se encuentra el catálogo del PDF); "
              "se reintenta con AutoFirma");
}

TEST(FallbackEngine, WhenBothFailTheCallerGetsThePrimarysError) {
    TempDir dir;
    Pair pair(failWith<PDFError>("Primer error."),
              failWith<std::runtime_error>("AutoFirma terminó con el código 1."));
    try {
        pair.engine.sign(dir / "a.pdf", dir / "out.pdf", certificate(), std::nullopt);
        FAIL();
    } catch (const PDFError& e) {
        EXPECT_STREQ(e.what(), "Primer error.");
    }
    ASSERT_EQ(pair.log.size(), 2u);
    EXPECT_EQ(
        pair.log[0],
        "El motor nativo no ha podido firmar «a.pdf» (Primer error.); se reintenta con AutoFirma");
    EXPECT_EQ(pair.log[1], "AutoFirma tampoco ha podido: AutoFirma terminó con el código 1.");
}

TEST(FallbackEngine, AnOutputThatIsTheInputIsNeverRemoved) {
    TempDir dir;
    writeFile(dir / "a.pdf", "source");
    SigningEngine::removeOutput(dir / "a.pdf", dir / "." / "a.pdf");
    EXPECT_EQ(readFile(dir / "a.pdf"), "source");
    SigningEngine::removeOutput(dir / "a.pdf", dir / "b.pdf");  // missing: ignored
    writeFile(dir / "b.pdf", "partial");
    SigningEngine::removeOutput(dir / "a.pdf", dir / "b.pdf");
    EXPECT_FALSE(fs::exists(dir / "b.pdf"));
}

}  // namespace
