// The «Solicitud» read, grouped and labelled by the rules, as a widget form and as its flat twin:
// in-process and through the pdfform driver.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "SolicitudForm.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/TestUtil.h"

namespace {

struct Expected {
    std::string who;
    std::string what;
    int boxes = 1;
};

std::vector<Expected> expected(bool flat) {
    return {
        {"titular", "nif"},
        {"titular", "nombre"},
        {"titular", "apellido1"},
        {"titular", "apellido2"},
        {"domicilio", "completo"},
        {"domicilio", "cp"},
        {"domicilio", "municipio"},
        {"domicilio", "provincia"},
        {"contacto", "telefono"},
        {"contacto", "email"},
        {"representante", "nif"},
        {"representante", "nombre_completo"},
        {"banco", "iban", flat ? 1 : solicitud::kIbanBoxes},
        {"firma", "lugar"},
        {"firma", "dia"},
        {"firma", "mes"},
        {"firma", "anio"},
    };
}

std::pair<std::string, std::string> split(const std::string& label) {
    const std::size_t dot = label.find('.');
    if (dot == std::string::npos) return {label, ""};
    return {label.substr(0, dot), label.substr(dot + 1)};
}

void checkInProcess(const std::string& pdf, bool flat) {
    PDFFile file(pdf);
    const std::vector<FormUnit> units = FormReader::units(FormReader::fields(file));
    const Labels labels = FieldLabeler::labels(units, "Solicitud.pdf", FieldLabeler::rulesOnly());
    const std::vector<Expected> want = expected(flat);
    ASSERT_EQ(units.size(), want.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        SCOPED_TRACE("unidad " + std::to_string(i) + ": «" + units[i].first().left + "»");
        ASSERT_EQ(units[i].fields.size(), static_cast<std::size_t>(want[i].boxes));
        auto found = labels.find(units[i].id());
        ASSERT_NE(found, labels.end());
        EXPECT_EQ(split(found->second.label), std::make_pair(want[i].who, want[i].what));
        for (std::size_t box = 0; box < units[i].fields.size(); ++box) {
            const FieldLabel& label = labels.at(units[i].fields[box].id);
            EXPECT_EQ(label.part, units[i].isBoxes() ? std::optional<int>(static_cast<int>(box) + 1)
                                                     : std::nullopt);
        }
    }
}

void checkDriver(const std::string& pdf, bool flat) {
    const std::filesystem::path tool = testutil::toolsDir() / "pdfform";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "pdfform no está construido";
    testutil::TempDir dir;
    testutil::writeFile(dir / "Solicitud.pdf", pdf);
    const testutil::RunResult result =
        testutil::run({tool.string(), (dir / "Solicitud.pdf").string(), "--rules"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const nlohmann::json out = nlohmann::json::parse(result.out);
    ASSERT_TRUE(out.contains("labels"));
    const nlohmann::json& labels = out["labels"];
    const nlohmann::json& units = out["units"];
    const std::vector<Expected> want = expected(flat);
    ASSERT_EQ(labels.size(), want.size());
    ASSERT_EQ(units.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("etiqueta " + std::to_string(i));
        EXPECT_EQ(labels[i]["who"], want[i].who);
        EXPECT_EQ(labels[i]["what"], want[i].what);
        EXPECT_EQ(labels[i]["unit"], units[i]["index"]);
    }
    // Without --rules, --ai, --facts or --cert nothing is labelled.
    const testutil::RunResult plain =
        testutil::run({tool.string(), (dir / "Solicitud.pdf").string()});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_FALSE(nlohmann::json::parse(plain.out).contains("labels"));
}

TEST(LabelsEndToEnd, WidgetForm) {
    checkInProcess(solicitud::widgetPDF(), false);
}
TEST(LabelsEndToEnd, FlatTwin) {
    checkInProcess(solicitud::flatPDF(), true);
}
TEST(LabelsEndToEnd, DriverOnWidgetForm) {
    checkDriver(solicitud::widgetPDF(), false);
}
TEST(LabelsEndToEnd, DriverOnFlatTwin) {
    checkDriver(solicitud::flatPDF(), true);
}

}  // namespace
