#include "PlanFixtures.h"

#include <gtest/gtest.h>

using namespace planfix;
using State = FillItem::State;

namespace {

FillItem make(int id, std::optional<std::string> text, std::string value, State state) {
    FillItem i;
    i.field = field(id);
    if (text) i.label = label(*text);
    i.value = std::move(value);
    i.state = state;
    if (!i.value.empty()) i.source = FormPlan::Source::profile;
    return i;
}

FormPlan sample() {
    FormPlan plan;
    plan.items = {
        make(1, "contacto.email", "ana@example.es", State::suggested),
        make(2, "titular.nif", "12345678Z", State::filled),
        make(3, "tramite.importe", "", State::yours),
        make(4, "otra_persona.dato", "", State::other),
        make(5, "banco.iban", "ES91", State::suggested),
        make(6, "titular.nombre", "", State::filled),
    };
    return plan;
}

}  // namespace

TEST(FormPlanEdits, SetTypesAValueOrEmptiesTheField) {
    FormPlan plan = sample();
    plan.set("Calle Luna 3", 3, true);
    EXPECT_EQ(item(plan, 3).state, State::filled);
    EXPECT_EQ(item(plan, 3).source, "Escrito por ti");
    EXPECT_TRUE(item(plan, 3).remember);

    plan.set("", 1, true);
    EXPECT_EQ(item(plan, 1).state, State::yours);
    EXPECT_EQ(item(plan, 1).source, std::nullopt);
    EXPECT_TRUE(item(plan, 1).remember);
    EXPECT_EQ(item(plan, 1).label->label, "contacto.email");  // label and field stay
    EXPECT_TRUE(plan.remembered(person(), march5).empty());  // nothing to keep: the value is empty
}

TEST(FormPlanEdits, UnknownIdsChangeNothing) {
    const FormPlan before = sample();
    FormPlan plan = before;
    plan.set("x", 99, true);
    plan.untick(99);
    plan.clear(99);
    plan.confirm({99, 100});
    plan.confirm({});
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        EXPECT_EQ(plan.items[i].value, before.items[i].value);
        EXPECT_EQ(plan.items[i].state, before.items[i].state);
        EXPECT_EQ(plan.items[i].source, before.items[i].source);
    }
}

TEST(FormPlanEdits, UntickClearAndConfirm) {
    FormPlan plan = sample();
    plan.items[0].remember = true;
    plan.untick(1);
    EXPECT_EQ(item(plan, 1).state, State::other);
    EXPECT_EQ(item(plan, 1).value, "");
    EXPECT_EQ(item(plan, 1).source, std::nullopt);
    EXPECT_TRUE(item(plan, 1).remember);  // remember stays
    plan.clear(2);
    EXPECT_EQ(item(plan, 2).state, State::yours);
    EXPECT_EQ(item(plan, 2).value, "");

    plan.confirm({3, 4, 5});
    EXPECT_EQ(item(plan, 3).state, State::yours);  // not a suggestion: untouched
    EXPECT_EQ(item(plan, 4).state, State::other);
    EXPECT_EQ(item(plan, 5).state, State::filled);
    EXPECT_EQ(item(plan, 5).value, "ES91");
    EXPECT_EQ(item(plan, 5).source, "De Mis datos");

    FormPlan all = sample();
    EXPECT_EQ(all.count(State::suggested), 2);
    all.confirmSuggestions();
    EXPECT_EQ(all.count(State::suggested), 0);
    EXPECT_EQ(all.count(State::filled), 4);
}

TEST(FormPlanEdits, WrittenNeedsAValue) {
    const FormPlan plan = sample();
    ASSERT_EQ(plan.written().size(), 1u);  // item 6 is filled but empty
    EXPECT_EQ(plan.written()[0].field.id, 2);
    EXPECT_FALSE(item(plan, 6).isWritten());
    EXPECT_EQ(plan.count(State::yours), 1);
    EXPECT_EQ(plan.count(State::other), 1);
}

TEST(FormPlanEdits, OnlyTheFirstItemOfAnIdChanges) {
    FormPlan plan = sample();
    plan.items.push_back(make(5, "banco.iban", "ES91", State::suggested));
    plan.confirm({5});
    EXPECT_EQ(plan.items[4].state, State::filled);
    EXPECT_EQ(plan.items[6].state, State::suggested);
    plan.set("x", 5, false);
    EXPECT_EQ(plan.items[6].value, "ES91");
}

TEST(FormPlanRemembered, KindsOfTheTenLabels) {
    EXPECT_TRUE(FormPlan::canRemember("representante.cargo"));
    EXPECT_FALSE(FormPlan::canRemember("titular.nombre_completo"));
    EXPECT_FALSE(FormPlan::canRemember("Contacto.email"));

    FormPlan plan;
    const char* labels[] = {"contacto.email", "contacto.telefono", "contacto.movil", "contacto.fax",
                            "domicilio.completo", "banco.iban", "banco.bic", "titular.nombre_comercial",
                            "titular.actividad", "representante.cargo", "titular.nombre_completo"};
    int id = 1;
    for (const char* text : labels) {
        FillItem i = make(id++, std::string(text), "valor", State::filled);
        i.remember = true;
        plan.items.push_back(i);
    }
    FillItem unlabelled = make(id++, std::nullopt, "valor", State::filled);
    unlabelled.remember = true;
    plan.items.push_back(unlabelled);
    FillItem notAsked = make(id++, std::string("contacto.email"), "valor", State::filled);
    plan.items.push_back(notAsked);

    const auto facts = plan.remembered(person(), march5);
    std::vector<std::string> kinds;
    for (const SavedFact& f : facts) kinds.push_back(f.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"email", "telefono", "movil", "fax", "domicilio", "iban", "bic",
                                               "nombre_comercial", "cnae", "cargo"}));
    EXPECT_EQ(facts[0].owner, "persona");
    EXPECT_EQ(facts[0].subject, "12345678Z");
    EXPECT_EQ(facts[0].value, "valor");
    EXPECT_TRUE(facts[0].parts.empty());
    EXPECT_EQ(facts[0].updated, march5);
    EXPECT_EQ(facts[9].owner, "representante");  // whatever the role
    EXPECT_EQ(facts[9].subject, "12345678Z");
}

TEST(FormPlanRemembered, OwnerAndSubjectFollowTheRole) {
    FormPlan plan;
    plan.role = FormPlan::Role::representative;
    for (int id : {1, 2}) {
        FillItem i = make(id, std::string(id == 1 ? "contacto.email" : "representante.cargo"), "v", State::filled);
        i.remember = true;
        plan.items.push_back(i);
    }
    auto facts = plan.remembered(representativeOf(), march5);
    ASSERT_EQ(facts.size(), 2u);
    EXPECT_EQ(facts[0].owner, "empresa");
    EXPECT_EQ(facts[0].subject, "B12345674");
    EXPECT_EQ(facts[1].owner, "representante");
    EXPECT_EQ(facts[1].subject, "12345678Z");

    facts = plan.remembered(person(), march5);  // representative without organisation
    EXPECT_EQ(facts[0].owner, "representante");
    EXPECT_EQ(facts[0].subject, "12345678Z");
    EXPECT_EQ(facts[1].owner, "representante");

    Certificate anonymous;
    anonymous.organization = "Talleres Norte SL";  // no identifiers at all: no subject
    facts = plan.remembered(anonymous, march5);
    EXPECT_EQ(facts[0].subject, std::nullopt);
    EXPECT_EQ(facts[1].subject, std::nullopt);
}
