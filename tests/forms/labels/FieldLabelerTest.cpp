#include <gtest/gtest.h>

#include <stdexcept>

#include "LabelFixtures.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/labels/RuleLabeler.h"

namespace {

using namespace LabelFixtures;

std::vector<FormUnit> form() {
    return {unit(captioned(1, "NIF", 100, 700)),   unit(captioned(2, "Nombre", 100, 680)),
            unit(captioned(3, "Fecha", 100, 660)), unit(captioned(4, "En", 40, 100)),
            unit(captioned(5, "a", 160, 100)),     unit(captioned(6, "de", 280, 100)),
            unit(captioned(7, "de", 400, 100))};
}

AILabeler stub(Labels answer, int* calls = nullptr) {
    return AILabeler{[] { return std::optional<std::string>("sk-or-prueba"); },
                     [answer, calls](const std::string& key, const std::vector<FormUnit>&,
                                     const std::string& formName, std::stop_token) {
                         EXPECT_EQ(key, "sk-or-prueba");
                         EXPECT_EQ(formName, "Solicitud.pdf");
                         if (calls) ++*calls;
                         return answer;
                     }};
}

TEST(FieldLabeler, RulesOnlyIsTheRulesAndTheSigningDate) {
    const std::vector<FormUnit> units = form();
    Labels expected = RuleLabeler::labels(units);
    RuleLabeler::signingDate(units, expected);
    const Labels labels = FieldLabeler::labels(units, "Solicitud.pdf", FieldLabeler::rulesOnly());
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(labels.at(1).label, "titular.nif");
    EXPECT_EQ(labels.at(3).label, "firma.fecha");
    EXPECT_EQ(labels.at(5).label, "firma.dia");
    EXPECT_TRUE(FieldLabeler::labels({}, "", FieldLabeler::rulesOnly()).empty());
}

TEST(FieldLabeler, AILabelsAreNotMixedWithRules) {
    int calls = 0;
    const Labels labels =
        FieldLabeler::labels(form(), "Solicitud.pdf",
                             stub({{2, {"titular.nombre_completo", std::nullopt, 0.8}},
                                   {6, {"firma.dia", std::nullopt, 0.7}}},
                                  &calls));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(labels.contains(1));  // the rules would say titular.nif
    EXPECT_EQ(labels.at(2), (FieldLabel{"titular.nombre_completo", std::nullopt, 0.8}));
    EXPECT_EQ(labels.at(3), (FieldLabel{"firma.fecha", std::nullopt, 0.6}));
    EXPECT_EQ(labels.at(4), (FieldLabel{"firma.lugar", std::nullopt, 0.6}));
    EXPECT_EQ(labels.at(6), (FieldLabel{"firma.mes", std::nullopt, 0.7}));
}

TEST(FieldLabeler, EmptyOrFailingAIFallsBackToRules) {
    const Labels rules = FieldLabeler::labels(form(), "Solicitud.pdf", FieldLabeler::rulesOnly());
    EXPECT_EQ(FieldLabeler::labels(form(), "Solicitud.pdf", stub({})), rules);

    AILabeler throwing = stub({});
    throwing.labels = [](const std::string&, const std::vector<FormUnit>&, const std::string&,
                         std::stop_token) -> Labels { throw std::runtime_error("sin conexión"); };
    EXPECT_EQ(FieldLabeler::labels(form(), "Solicitud.pdf", throwing), rules);
    throwing.key = []() -> std::optional<std::string> { throw std::runtime_error("sin llavero"); };
    EXPECT_EQ(FieldLabeler::labels(form(), "Solicitud.pdf", throwing), rules);
    EXPECT_EQ(FieldLabeler::labels(form(), "Solicitud.pdf", AILabeler{}), rules);
}

}  // namespace

#include "forms/labels/Tables.h"
#include "support/TestUtil.h"

namespace {

// The reader's most: 10,000 fields, here each on a line of its own and all of one signature
// (every row of three is a table row), with long captions.
TEST(FieldLabeler, TenThousandFieldsStayLinear) {
    std::vector<FormField> fields;
    std::vector<FormUnit> units;
    const std::string caption(150, 'x');
    for (int i = 0; i < 10'000; ++i) {
        FormField f = LabelFixtures::field(i + 1, 100 + (i % 3) * 120, 100000 - (i / 3) * 20);
        f.left = caption + ": Nombre";
        f.context = caption;
        f.name = "Texto" + std::string(200, '.') + "1";
        fields.push_back(f);
        units.push_back(LabelFixtures::unit(f));
    }
    const double start = testutil::processorSeconds();
    const Labels labels = FieldLabeler::labels(units, "Grande.pdf", FieldLabeler::rulesOnly());
    const Labels harmonized = Tables::harmonize(labels, fields);
    const double seconds = testutil::processorSeconds() - start;
    EXPECT_EQ(labels.size(), 10'000u);
    EXPECT_EQ(labels.at(4).label, "titular.nombre");
    EXPECT_EQ(harmonized.at(4).label, "otra_persona.dato");
    EXPECT_LT(seconds, 20.0) << "seconds of processor time";
}

}  // namespace
