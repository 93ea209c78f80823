#include "PlanFixtures.h"

#include <gtest/gtest.h>

using namespace planfix;
using Party = FormPlan::Party;

TEST(Parties, PersonTakesItsOwnFactsAndTheLaterOfAKind) {
    const std::vector<SavedFact> facts = {
        fact("persona", "telefono", "600000001", "12345678Z"),
        fact("representante", "cargo", "Administradora"),
        fact("persona", "telefono", "600000002"),       // later: wins
        fact("persona", "movil", "611111111", "99999999R"),  // someone else's
        fact("empresa", "email", "info@norte.es"),
        fact("texto", "email", "nota"),
    };
    const FormPlan::Person p(person(), facts);
    EXPECT_EQ(p.name, "Ana García López");
    EXPECT_EQ(p.given, "Ana");
    EXPECT_EQ(p.surnames, "García López");
    EXPECT_EQ(p.id, "12345678Z");
    EXPECT_EQ(p.facts.size(), 2u);
    EXPECT_EQ(p.facts.at("telefono").value, "600000002");
    EXPECT_EQ(p.facts.at("cargo").value, "Administradora");

    Certificate noID = person();
    noID.idNumber.reset();
    const FormPlan::Person q(noID, facts);
    EXPECT_EQ(q.facts.at("telefono").value, "600000002");  // only facts without subject
    EXPECT_EQ(q.facts.count("movil"), 0u);
    EXPECT_EQ(FormPlan::Person(noID, {facts[0]}).facts.size(), 0u);
}

TEST(Parties, CompanyNamePrecedenceAndFacts) {
    const std::vector<SavedFact> facts = {
        fact("empresa", "razon_social", "Sin Sujeto SA"),
        fact("empresa", "razon_social", "Otra SL", "A00000000"),
        fact("empresa", "email", "info@norte.es"),  // no subject: always taken
        fact("empresa", "telefono", "910000000", "B12345674"),
        fact("empresa", "fax", "910000001", "A00000000"),
        fact("persona", "movil", "600000000"),
    };
    const FormPlan::Company c(representativeOf(), facts);
    EXPECT_EQ(c.name, "Talleres Norte SL");  // the saved names belong to other identities
    EXPECT_EQ(c.id, "B12345674");
    EXPECT_EQ(c.facts.count("email"), 1u);
    EXPECT_EQ(c.facts.count("telefono"), 1u);
    EXPECT_EQ(c.facts.count("fax"), 0u);
    EXPECT_EQ(c.facts.count("movil"), 0u);

    std::vector<SavedFact> own = facts;
    own.push_back(fact("empresa", "razon_social", "Talleres del Norte, S.L.", "B12345674"));
    EXPECT_EQ(FormPlan::Company(representativeOf(), own).name, "Talleres del Norte, S.L.");

    Certificate noCIF = representativeOf();
    noCIF.organizationID.reset();
    EXPECT_EQ(FormPlan::Company(noCIF, facts).name, "Sin Sujeto SA");
    Certificate bare = person();
    EXPECT_EQ(FormPlan::Company(bare, {}).name, "");
}

TEST(Parties, AddressPrefersTheFiscalOne) {
    const std::vector<SavedFact> facts = {
        fact("persona", "domicilio_social", "Social 1"),
        fact("persona", "domicilio", "Casa 2"),
        fact("persona", "domicilio_fiscal", "Fiscal 3"),
    };
    const Party party = FormPlan::Person(person(), facts);
    EXPECT_EQ(party.address()->value, "Fiscal 3");
    EXPECT_EQ(Party(FormPlan::Person(person(), {facts[0], facts[1]})).address()->value, "Casa 2");
    EXPECT_EQ(Party(FormPlan::Person(person(), {facts[0]})).address()->value, "Social 1");
    EXPECT_EQ(Party(FormPlan::Company()).address(), std::nullopt);
}

TEST(Parties, IsSigners) {
    const std::optional<Party> someone = Party(FormPlan::Person(person(), {}));
    EXPECT_FALSE(FormPlan::isSigners("domicilio.cp", std::nullopt, someone));
    EXPECT_TRUE(FormPlan::isSigners("domicilio.cp", someone, std::nullopt));
    EXPECT_TRUE(FormPlan::isSigners("banco.iban", someone, std::nullopt));
    EXPECT_TRUE(FormPlan::isSigners("representante.nif", std::nullopt, someone));
    EXPECT_FALSE(FormPlan::isSigners("representante.nif", someone, std::nullopt));
    for (const char* label : {"tramite.importe", "firma.fecha", "otra_persona.dato", "Titular.nif", "titular"})
        EXPECT_FALSE(FormPlan::isSigners(label, someone, someone)) << label;
}
