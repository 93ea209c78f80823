// The «Solicitud» form read, labelled by the rules and planned through the pdfform driver, with a
// facts file and test certificates: a person, and a representative of a company.

#include "../labels/SolicitudForm.h"
#include "PlanFixtures.h"

#include "profile/ProfileStore.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace planfix;

namespace {

std::vector<SavedFact> savedFacts() {
    return {
        fact("persona", "telefono", "600111222", "12345678Z"),
        fact("persona", "email", "ana@example.es", "12345678Z"),
        fact("persona", "domicilio", "Calle Mayor 1", "12345678Z",
             {{"via", "Calle Mayor"}, {"numero", "1"}, {"cp", "28013"}, {"municipio", "Madrid"}}),
        fact("persona", "iban", iban, "12345678Z"),
        fact("empresa", "telefono", "944000000", "B12345674"),
        fact("empresa", "email", "info@norte.es", "B12345674"),
        fact("empresa", "domicilio_fiscal", "Polígono Norte 7", "B12345674",
             {{"via", "Polígono Norte"}, {"numero", "7"}, {"cp", "48001"}, {"municipio", "Bilbao"}}),
        fact("empresa", "iban", "ES79 3025 0001 1914 3340 0001", "B12345674"),
    };
}

testpki::CertSpec personSpec() {
    testpki::CertSpec spec;
    spec.subject = {{"C", "ES"},
                    {"serialNumber", "IDCES-12345678Z"},
                    {"GN", "ANA"},
                    {"SN", "GARCÍA LÓPEZ"},
                    {"CN", "GARCIA LOPEZ ANA - 12345678Z"}};
    return spec;
}

testpki::CertSpec representativeSpec() {
    testpki::CertSpec spec = personSpec();
    spec.subject.insert(spec.subject.begin() + 1, {"O", "TALLERES NORTE SL"});
    spec.subject.insert(spec.subject.begin() + 2, {"organizationIdentifier", "VATES-B12345674"});
    return spec;
}

struct Row {
    std::string value;
    std::string state;
    std::optional<std::string> source;
};

// pdfform's plan on the «Solicitud» widget form, by field id.
nlohmann::json planned(const testpki::CertSpec& spec) {
    const std::filesystem::path tool = testutil::toolsDir() / "pdfform";
    if (!std::filesystem::exists(tool)) return nullptr;
    testutil::TempDir dir;
    testutil::writeFile(dir / "Solicitud.pdf", solicitud::widgetPDF());
    testutil::writeFile(dir / "datos.json", ProfileStore::encode(savedFacts()));
    static const testpki::TestCA ca;
    testutil::writeFile(dir / "cert.pem", ca.issue(spec).pem);
    const testutil::RunResult result =
        testutil::run({tool.string(), (dir / "Solicitud.pdf").string(), "--rules", "--facts",
                       (dir / "datos.json").string(), "--cert", (dir / "cert.pem").string(), "--date", "2026-03-05"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
}

void expectPlan(const nlohmann::json& out, const std::vector<Row>& rows) {
    if (out.is_null()) GTEST_SKIP() << "pdfform no está construido";
    ASSERT_TRUE(out.contains("plan")) << out.dump();
    const nlohmann::json& plan = out["plan"];
    ASSERT_EQ(plan.size(), rows.size()) << plan.dump();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("campo " + std::to_string(i + 1));
        EXPECT_EQ(plan[i]["field"], i + 1);
        EXPECT_EQ(plan[i]["value"], rows[i].value);
        EXPECT_EQ(plan[i]["state"], rows[i].state);
        if (rows[i].source)
            EXPECT_EQ(plan[i]["source"], *rows[i].source);
        else
            EXPECT_TRUE(plan[i]["source"].is_null());
    }
}

}  // namespace

std::vector<Row> withAccount(std::vector<Row> rows, const std::string& account, std::vector<Row> tail) {
    for (char c : account)
        if (c != ' ') rows.push_back({std::string(1, c), "suggested", "De Mis datos"});
    rows.insert(rows.end(), tail.begin(), tail.end());
    return rows;
}

// Rule labels carry p 0.6: values are proposed, never written without asking.
TEST(PlanEndToEnd, PersonCertificate) {
    const char* cert = "De tu certificado";
    const char* mine = "De Mis datos";
    const char* today = "Fecha de hoy";
    expectPlan(planned(personSpec()),
               withAccount({{"12345678Z", "suggested", cert},
                            {"Ana", "suggested", cert},
                            {"García", "suggested", cert},
                            {"López", "suggested", cert},
                            {"Calle Mayor 1, 28013 Madrid", "suggested", mine},
                            {"28013", "suggested", mine},
                            {"Madrid", "suggested", mine},
                            {"Madrid", "suggested", mine},
                            {"600111222", "suggested", mine},
                            {"ana@example.es", "suggested", mine},
                            {"", "other", std::nullopt},  // no representative when signing as holder
                            {"", "other", std::nullopt}},
                           iban,
                           {{"Madrid", "suggested", mine},
                            {"5", "suggested", today},
                            {"marzo", "suggested", today},
                            {"2026", "suggested", today}}));
}

TEST(PlanEndToEnd, RepresentativeOfACompany) {
    const char* cert = "De tu certificado";
    const char* mine = "De Mis datos";
    const char* today = "Fecha de hoy";
    expectPlan(planned(representativeSpec()),
               withAccount({{"B12345674", "suggested", cert},
                            {"TALLERES NORTE SL", "suggested", cert},
                            {"", "yours", std::nullopt},  // a company has no surnames
                            {"", "yours", std::nullopt},
                            {"Polígono Norte 7, 48001 Bilbao", "suggested", mine},
                            {"48001", "suggested", mine},
                            {"Bilbao", "suggested", mine},
                            {"Bizkaia", "suggested", mine},
                            {"944000000", "suggested", mine},
                            {"info@norte.es", "suggested", mine},
                            {"12345678Z", "suggested", cert},
                            {"", "yours", std::nullopt}},  // below the representative's name threshold
                           "ES79 3025 0001 1914 3340 0001",
                           {{"Bilbao", "suggested", mine},
                            {"5", "suggested", today},
                            {"marzo", "suggested", today},
                            {"2026", "suggested", today}}));
}

TEST(PlanEndToEnd, RefusedInputs) {
    const std::filesystem::path tool = testutil::toolsDir() / "pdfform";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "pdfform no está construido";
    testutil::TempDir dir;
    testutil::writeFile(dir / "Solicitud.pdf", solicitud::widgetPDF());
    testutil::writeFile(dir / "datos.json", "{\"no\": 1}");
    testutil::writeFile(dir / "cert.pem", "-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n");
    const std::string pdf = (dir / "Solicitud.pdf").string();
    testutil::RunResult r = testutil::run({tool.string(), pdf, "--facts", (dir / "datos.json").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no contiene datos guardados"), std::string::npos) << r.err;
    r = testutil::run({tool.string(), pdf, "--cert", (dir / "cert.pem").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no sirve para firmar"), std::string::npos) << r.err;

    // Without a certificate: an empty holder and no optional fields.
    testutil::writeFile(dir / "datos.json", ProfileStore::encode({}));
    r = testutil::run({tool.string(), pdf, "--facts", (dir / "datos.json").string(), "--date", "2026-03-05"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json plan = nlohmann::json::parse(r.out)["plan"];
    ASSERT_EQ(plan.size(), 40u);
    EXPECT_EQ(plan[0]["value"], "");
    EXPECT_EQ(plan[0]["state"], "yours");
    EXPECT_EQ(plan[37]["value"], "5");
}
