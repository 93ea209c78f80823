#include "PlanFixtures.h"

#include <gtest/gtest.h>

#include "support/TestUtil.h"

using namespace planfix;
using State = FillItem::State;
using Role = FormPlan::Role;

namespace {

FormPlan planOf(const std::vector<FormField>& fields, const Labels& labels, const Certificate& certificate = person(),
                std::optional<Role> role = std::nullopt, const std::vector<SavedFact>& facts = {}) {
    return FormPlan(fields, labels, certificate, role, facts, march5);
}

std::vector<std::string> valuesOf(const FormPlan& plan) {
    std::vector<std::string> out;
    for (const FillItem& i : plan.items) out.push_back(i.value);
    return out;
}

}  // namespace

TEST(FormPlanner, RoleRepresentativeFlagAndReadOnlyFields) {
    FormField locked = field(2, {100, 650, 120, 16});
    locked.readOnly = true;
    const std::vector<FormField> fields = {field(1), locked, field(3, {100, 600, 120, 16})};
    const Labels labels = {{1, label("titular.nif")}, {2, label("titular.nombre")}, {3, label("representante.nif", 0.3)},
                           {42, label("representante.cargo")}};
    const FormPlan plan = planOf(fields, labels);
    EXPECT_EQ(plan.role, Role::holder);
    EXPECT_TRUE(plan.hasRepresentative);
    ASSERT_EQ(plan.items.size(), 2u);  // the read-only field has no item
    EXPECT_EQ(plan.items[0].value, "12345678Z");
    EXPECT_EQ(plan.items[0].state, State::filled);
    EXPECT_EQ(plan.items[0].source, "De tu certificado");
    EXPECT_EQ(plan.items[1].state, State::other);  // no representative as holder

    EXPECT_EQ(planOf(fields, labels, representativeOf()).role, Role::representative);
    EXPECT_EQ(planOf(fields, labels, representativeOf(), Role::holder).role, Role::holder);
    EXPECT_FALSE(planOf(fields, {{1, label("titular.nif")}, {42, label("representante.cargo")}}).hasRepresentative);
    EXPECT_TRUE(planOf({}, labels).items.empty());
}

TEST(FormPlanner, FirstRulesUnlabelledCheckBoxesAndLowConfidence) {
    FormField filledIn = field(4, {100, 550, 120, 16});
    filledIn.value = "ya escrito";
    const std::vector<FormField> fields = {field(1), field(2, {100, 650, 20, 20}, FormField::Kind::check),
                                           field(3, {100, 600, 120, 16}), filledIn,
                                           field(5, {100, 500, 120, 16}), field(6, {100, 450, 120, 16})};
    FormField lowFilledIn = filledIn;
    lowFilledIn.id = 7;
    lowFilledIn.rect.y = 400;
    std::vector<FormField> all = fields;
    all.push_back(lowFilledIn);
    const Labels labels = {{2, label("titular.nif")}, {3, label("titular.nif", 0.45)}, {4, label("titular.nif")},
                           {5, label("tramite.importe", 0.2)}, {6, label("otra_persona.dato", 0.2)},
                           {7, label("titular.nif", 0.45)}};
    const FormPlan plan = planOf(all, labels);
    for (int id : {1, 2, 4, 6, 7}) {
        EXPECT_EQ(item(plan, id).state, State::other) << id;
        EXPECT_EQ(item(plan, id).value, "") << id;
        EXPECT_EQ(item(plan, id).source, std::nullopt) << id;
    }
    EXPECT_EQ(item(plan, 3).state, State::yours);
    EXPECT_EQ(item(plan, 3).value, "");
    EXPECT_EQ(item(plan, 5).state, State::yours);
    EXPECT_EQ(item(plan, 2).label->label, "titular.nif");  // the label is kept on the item
    EXPECT_FALSE(item(plan, 1).label.has_value());
}

TEST(FormPlanner, InclusiveThresholds) {
    std::vector<FormField> fields;
    for (int i = 1; i <= 5; ++i) fields.push_back(field(i, {100, 800.0 - 50 * i, 120, 16}));
    const std::vector<SavedFact> facts = {fact("persona", "iban", iban)};
    const Labels labels = {{1, label("representante.nombre_completo", 0.65)},
                           {2, label("representante.nombre_completo", 0.7)},
                           {3, label("titular.nombre", 0.8)},
                           {4, label("titular.apellidos", 0.85)},
                           {5, label("banco.iban", 0.99)}};
    const FormPlan plan = planOf(fields, labels, person(), Role::representative, facts);
    EXPECT_EQ(item(plan, 1).value, "");
    EXPECT_EQ(item(plan, 1).state, State::yours);
    EXPECT_EQ(item(plan, 2).value, "Ana García López");
    EXPECT_EQ(item(plan, 2).state, State::suggested);

    const FormPlan asHolder = planOf(fields, labels, person(), Role::holder, facts);
    EXPECT_EQ(item(asHolder, 3).value, "Ana");
    EXPECT_EQ(item(asHolder, 3).state, State::filled);
    EXPECT_EQ(item(asHolder, 4).value, "García López");
    EXPECT_EQ(item(asHolder, 4).state, State::suggested);
    EXPECT_EQ(item(asHolder, 5).value, iban);
    EXPECT_EQ(item(asHolder, 5).state, State::suggested);  // bank data is never filled
    EXPECT_EQ(item(asHolder, 5).source, "De Mis datos");
    EXPECT_DOUBLE_EQ(FormPlan::proposeAt("titular.nif"), 0.5);
    EXPECT_DOUBLE_EQ(FormPlan::sureAt("domicilio.municipio"), 0.8);
    EXPECT_DOUBLE_EQ(FormPlan::sureAt("domicilio.cp"), 0.9);
}

TEST(FormPlanner, RepeatedLabelsAndTableColumns) {
    // Same column: only the top row keeps its value.
    std::vector<FormField> column = {field(1, {100, 500, 200, 16}), field(2, {100, 700, 200, 16}),
                                     field(3, {100, 600, 200, 16})};
    Labels labels;
    for (int id : {1, 2, 3}) labels[id] = label("titular.nombre_completo");
    FormPlan plan = planOf(column, labels);
    EXPECT_EQ(item(plan, 2).state, State::filled);
    EXPECT_EQ(item(plan, 2).value, "Ana García López");
    for (int id : {1, 3}) {
        EXPECT_EQ(item(plan, id).state, State::other);
        EXPECT_EQ(item(plan, id).value, "");
        EXPECT_EQ(item(plan, id).source, std::nullopt);
    }
    // Shifted 4 pt apart: three groups, the first sure one stays written.
    column[0].rect.x = 108;
    column[2].rect.x = 104;
    plan = planOf(column, labels);
    EXPECT_EQ(item(plan, 2).state, State::filled);
    EXPECT_EQ(item(plan, 3).state, State::suggested);
    EXPECT_EQ(item(plan, 1).state, State::suggested);
    EXPECT_EQ(item(plan, 1).value, "Ana García López");

    // Signature dates stay written wherever they repeat.
    const std::vector<FormField> dates = {field(1, {100, 100, 30, 16}), field(2, {300, 700, 30, 16}, FormField::Kind::text, 1)};
    plan = planOf(dates, {{1, label("firma.dia")}, {2, label("firma.dia")}});
    EXPECT_EQ(item(plan, 1).state, State::filled);
    EXPECT_EQ(item(plan, 2).state, State::filled);
    // Two NIF fields on different rows and columns: the upper one is written.
    const std::vector<FormField> nifs = {field(1, {300, 400, 80, 16}), field(2, {100, 600, 120, 16})};
    plan = planOf(nifs, {{1, label("titular.nif")}, {2, label("titular.nif")}});
    EXPECT_EQ(item(plan, 2).state, State::filled);
    EXPECT_EQ(item(plan, 1).state, State::suggested);
}

TEST(FormPlanner, RowOfBoxes) {
    Certificate certificate = person();
    certificate.idNumber = "12.345.678-Z";
    std::vector<FormField> boxes;
    Labels labels;
    for (int part = 0; part <= 10; ++part) {
        boxes.push_back(field(part + 1, {100.0 + 14 * part, 700, 12, 14}));
        labels[part + 1] = label("titular.nif", 0.95, part);
    }
    const FormPlan plan = planOf(boxes, labels, certificate);
    std::string spread;
    for (int part = 1; part <= 9; ++part) {
        EXPECT_EQ(item(plan, part + 1).state, State::filled) << part;
        spread += item(plan, part + 1).value;
    }
    EXPECT_EQ(spread, "12345678Z");
    for (int id : {1, 11}) {  // parts 0 and 10: nothing to put there
        EXPECT_EQ(item(plan, id).value, "") << id;
        EXPECT_EQ(item(plan, id).state, State::other) << id;
    }
}

TEST(FormPlanner, ChoiceWithoutMatchAndNameCompanyConflict) {
    const std::vector<FormField> choices = {choice(1, {"Luis", "Pedro"}), choice(2, {"Luis", "Ana"})};
    const Labels names = {{1, label("titular.nombre")}, {2, label("titular.nombre")}};
    FormPlan plan = planOf(choices, names);
    EXPECT_EQ(item(plan, 1).value, "");
    EXPECT_EQ(item(plan, 1).state, State::yours);
    EXPECT_EQ(item(plan, 2).value, "Ana");

    const std::vector<FormField> fields = {field(1), field(2, {100, 600, 120, 16})};
    const Labels both = {{1, label("titular.nombre_completo")}, {2, label("titular.razon_social")}};
    plan = planOf(fields, both, representativeOf());  // a company holder
    EXPECT_EQ(item(plan, 1).state, State::other);
    EXPECT_EQ(item(plan, 1).value, "");
    EXPECT_EQ(item(plan, 2).value, "Talleres Norte SL");
    EXPECT_EQ(item(plan, 2).state, State::filled);
    plan = planOf(fields, both, representativeOf(), Role::holder);  // a person holder
    EXPECT_EQ(item(plan, 1).value, "Ana García López");
    EXPECT_EQ(item(plan, 2).state, State::other);
    EXPECT_EQ(item(plan, 2).value, "");
}

TEST(FormPlanner, AccountLines) {
    const std::vector<SavedFact> facts = {fact("persona", "iban", iban)};
    auto line = [](std::vector<int> lengths, double y = 300, int page = 0, int firstID = 1) {
        std::vector<FormField> out;
        double x = 50;
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            FormField f = field(firstID + static_cast<int>(i), {x, y, 60, 16}, FormField::Kind::text, page);
            f.maxLength = lengths[i];
            out.push_back(f);
            x += 70;
        }
        return out;
    };
    auto labelled = [](const std::vector<FormField>& fields) {
        Labels labels;
        for (const FormField& f : fields) labels[f.id] = label("banco.iban", 0.95);
        return labels;
    };
    auto plan = [&](std::vector<FormField> fields) { return planOf(fields, labelled(fields), person(), std::nullopt, facts); };

    FormPlan six = plan(line({0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(valuesOf(six), (std::vector<std::string>{"ES91", "2100", "0418", "4502", "0005", "1332"}));
    for (const FillItem& i : six.items) {
        EXPECT_EQ(i.state, State::suggested);
        EXPECT_EQ(i.source, "De Mis datos");
    }
    EXPECT_EQ(valuesOf(plan(line({0, 0, 0, 0, 0}))),
              (std::vector<std::string>{"ES91", "2100", "0418", "45", "0200051332"}));
    EXPECT_EQ(valuesOf(plan(line({4, 4, 2, 10}))), (std::vector<std::string>{"2100", "0418", "45", "0200051332"}));
    EXPECT_EQ(valuesOf(plan(line({0, 0, 0, 0}))), (std::vector<std::string>(4, iban)));
    EXPECT_EQ(valuesOf(plan(line({4, 4, 4, 9}))), (std::vector<std::string>(4, iban)));  // 21 fits nothing
    EXPECT_EQ(valuesOf(plan(line({4, 4, 4, 10}))), (std::vector<std::string>{"9121", "0004", "1845", "0200051332"}));

    // Two fields 5.9 pt apart are one line, given right to left; 6 pt apart they are two.
    std::vector<FormField> two = line({20, 4});
    two[1].rect.x = 10;
    two[1].rect.y = 305.9;
    EXPECT_EQ(valuesOf(plan(two)), (std::vector<std::string>{"21000418450200051332", "ES91"}));
    two[1].rect.y = 306;
    EXPECT_EQ(valuesOf(plan(two)), (std::vector<std::string>(2, iban)));
    two[1].rect.y = 294;  // below counts as well: lines go bottom to top
    EXPECT_EQ(valuesOf(plan(two)), (std::vector<std::string>(2, iban)));
}

TEST(FormPlanner, LargeFormsStayLinear) {
    // 10,000 fields (the reader's bound): one column of repeated names, one long line of bank
    // fields and a choice field with 10,000 options.
    std::vector<FormField> fields;
    Labels labels;
    const std::vector<SavedFact> facts = {fact("persona", "iban", iban)};
    for (int i = 1; i <= 4000; ++i) {
        fields.push_back(field(i, {100, 800.0 - 0.1 * i, 200, 16}));
        labels[i] = label("titular.nombre_completo");
    }
    for (int i = 4001; i <= 9999; ++i) {
        fields.push_back(field(i, {10.0 + i, 100, 60, 16}, FormField::Kind::text, 1));
        labels[i] = label("banco.cuenta");
    }
    std::vector<std::string> options;
    for (int i = 0; i < 10000; ++i) options.push_back("Opción " + std::to_string(i));
    fields.push_back(choice(10000, options));
    labels[10000] = label("titular.nombre");

    const double start = testutil::processorSeconds();
    const FormPlan plan = planOf(fields, labels, person(), std::nullopt, facts);
    const double seconds = testutil::processorSeconds() - start;
    ASSERT_EQ(plan.items.size(), 10000u);
    EXPECT_EQ(plan.count(State::filled), 1);  // the top name; the rest of the column is dropped
    EXPECT_EQ(item(plan, 10000).state, State::yours);
    EXPECT_LT(seconds, 5.0) << "seconds of processor time";
}
