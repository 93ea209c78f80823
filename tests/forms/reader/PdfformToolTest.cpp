// The test-only driver tests/tools/pdfform: one JSON object, exit codes.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/FormFixtures.h"
#include "support/TestUtil.h"

namespace {

testutil::RunResult pdfform(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {(testutil::toolsDir() / "pdfform").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv);
}

}  // namespace

TEST(PdfformTool, PrintsFieldsAndUnits) {
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts = {{72, 760, "1. Datos del solicitante", 11}, {72, 700, "NIF", 10}};
    for (int i = 0; i < 9; ++i) {
        formfixtures::WidgetSpec box;
        box.name = "nif" + std::to_string(i);
        box.rect = {100.0 + 16 * i, 696, 14, 16};
        box.maxLength = 1;
        page.widgets.push_back(box);
    }
    formfixtures::WidgetSpec check;
    check.type = "Btn";
    check.name = "acepto";
    check.rect = {100, 600, 12, 12};
    check.tooltip = "Acepto las condiciones";
    page.widgets.push_back(check);
    testutil::TempDir dir;
    testutil::writeFile(dir / "form.pdf", formfixtures::formPDF(spec));

    testutil::RunResult r =
        pdfform({(dir / "form.pdf").string(), "--rules", "--date", "2026-03-01"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    nlohmann::json out = nlohmann::json::parse(r.out);
    ASSERT_EQ(out["fields"].size(), 10u);
    const nlohmann::json& first = out["fields"][0];
    EXPECT_EQ(first["index"], 1);
    EXPECT_EQ(first["name"], "nif0");
    EXPECT_EQ(first["kind"], "text");
    EXPECT_EQ(first["pageIndex"], 0);
    EXPECT_EQ(first["rect"], nlohmann::json({100, 696, 14, 16}));
    EXPECT_EQ(first["caption"], "NIF");
    EXPECT_EQ(first["section"], "1. Datos del solicitante");
    EXPECT_EQ(first["drawn"], false);
    const nlohmann::json& last = out["fields"][9];
    EXPECT_EQ(last["kind"], "check");
    EXPECT_EQ(last["caption"], "Acepto las condiciones");  // the tool tip, nothing printed near

    ASSERT_EQ(out["units"].size(), 2u);
    EXPECT_EQ(out["units"][0]["index"], 1);
    EXPECT_EQ(out["units"][0]["fields"], nlohmann::json({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(out["units"][1]["fields"], nlohmann::json({10}));
    EXPECT_TRUE(out.contains("labels"));
    EXPECT_FALSE(out.contains("plan"));  // planned only with --facts or --cert
}

TEST(PdfformTool, BadFilesAndUsage) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "nada.pdf", "esto no es un PDF");
    testutil::RunResult bad = pdfform({(dir / "nada.pdf").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("PDF"), std::string::npos) << bad.err;

    EXPECT_EQ(pdfform({(dir / "falta.pdf").string()}).exitCode, 1);
    EXPECT_EQ(pdfform({}).exitCode, 2);
    EXPECT_EQ(pdfform({"a.pdf", "--date", "1 de marzo"}).exitCode, 2);
    EXPECT_EQ(pdfform({"a.pdf", "--rules", "--ai"}).exitCode, 2);
    EXPECT_EQ(pdfform({"a.pdf", "--facts"}).exitCode, 2);
    EXPECT_EQ(pdfform({"a.pdf", "--otra"}).exitCode, 2);
}
