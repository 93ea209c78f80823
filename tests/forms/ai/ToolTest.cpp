// pdfform --ai: the driver labels through the stub service named by the environment.
#include <gtest/gtest.h>

#include "AIFixtures.h"
#include "forms/ai/AILog.h"
#include "profile/ProfileStore.h"
#include "support/FormFixtures.h"

namespace {

using Reply = StubHTTPServer::Reply;

TEST(AITool, PdfformLabelsThroughTheService) {
    const std::filesystem::path tool = testutil::toolsDir() / "pdfform";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "pdfform no está construido";
    AISandbox box;
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({60, 704, "NIF"});
    page.widgets.push_back({.name = "campo1", .rect = {200, 700, 300, 16}});
    testutil::writeFile(box.dir / "Solicitud.pdf", formfixtures::formPDF(spec));
    box.stub.setHandler([](const StubHTTPServer::Request&) {
        return Reply::json(200, answerFor({{1, {"titular", "telefono"}}}));
    });

    auto run = [&](const std::string& key) {
        return testutil::run({"env", "OPENROUTER_API_KEY=" + key, "TINDRA_AI_BASE_URL=" + box.stub.baseURL(),
                              "XDG_STATE_HOME=" + (box.dir / "estado").string(),
                              "XDG_CONFIG_HOME=" + (box.dir / "config").string(), tool.string(),
                              (box.dir / "Solicitud.pdf").string(), "--ai"});
    };
    auto result = run("sk-or-prueba");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto out = nlohmann::json::parse(result.out);
    ASSERT_EQ(out["labels"].size(), 1u);
    EXPECT_EQ(out["labels"][0]["who"], "contacto");
    EXPECT_EQ(out["labels"][0]["what"], "telefono");
    const auto calls = AILog::calls(box.dir / "estado" / "tindra" / "Tindra-IA.jsonl");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].form, "Solicitud");
    EXPECT_EQ(box.stub.requests().at(0).header("authorization"), "Bearer sk-or-prueba");

    // No key (and no stored one in the fresh configuration): the rules label the form.
    result = run("");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    out = nlohmann::json::parse(result.out);
    ASSERT_EQ(out["labels"].size(), 1u);
    EXPECT_EQ(out["labels"][0]["what"], "nif");
    EXPECT_EQ(box.stub.requestCount(), 1u);
}

// pdfform --ai --facts: the driver masks the saved facts of the file out of what it sends, as the
// application masks those of Mis datos.
TEST(AITool, PdfformMasksTheSavedFactsItIsGiven) {
    const std::filesystem::path tool = testutil::toolsDir() / "pdfform";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "pdfform no está construido";
    AISandbox box;
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({60, 704, "Titular"});
    page.widgets.push_back({.name = "campo1",
                            .rect = {200, 700, 300, 16},
                            .tooltip = "Titular: Ana Valdezarza, DNI 87654321, C/ Mayor 12"});
    testutil::writeFile(box.dir / "Solicitud.pdf", formfixtures::formPDF(spec));
    std::vector<SavedFact> facts(3);
    for (SavedFact& fact : facts) fact.owner = "persona";
    facts[0].kind = "nombre_completo";
    facts[0].value = "Ana Valdezarza";
    facts[1].kind = "nif";
    facts[1].value = "87654321X";
    facts[2].kind = "domicilio";
    facts[2].value = "Calle Mayor 12";
    testutil::writeFile(box.dir / "datos.json", ProfileStore::encode(facts));

    auto result = testutil::run({"env", "OPENROUTER_API_KEY=K", "TINDRA_AI_BASE_URL=" + box.stub.baseURL(),
                                 "XDG_STATE_HOME=" + (box.dir / "estado").string(),
                                 "XDG_CONFIG_HOME=" + (box.dir / "config").string(), tool.string(),
                                 (box.dir / "Solicitud.pdf").string(), "--ai", "--facts",
                                 (box.dir / "datos.json").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_EQ(box.stub.requestCount(), 1u);
    const std::string body = box.stub.requests().at(0).body;
    EXPECT_NE(body.find("Titular: [dato], DNI [NIF], [dato]"), std::string::npos) << body;
    for (const std::string secret : {"Ana", "Valdezarza", "87654321", "Mayor"})
        EXPECT_EQ(body.find(secret), std::string::npos) << secret << " in the request";
}

}  // namespace
