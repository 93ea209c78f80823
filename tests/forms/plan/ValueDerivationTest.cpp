#include "PlanFixtures.h"

#include <gtest/gtest.h>

using namespace planfix;
using Party = FormPlan::Party;
using Result = std::pair<std::string, std::string>;

namespace {

struct Values {
    std::vector<SavedFact> facts;
    Certificate certificate = person();
    bool company = false;
    FormPlan::Asked asked;

    Result operator()(std::string_view label, const FormField& f = field(1)) const {
        const FormPlan::Person signer(certificate, facts);
        std::optional<Party> holder = Party(signer);
        std::optional<Party> representative;
        if (company) {
            representative = holder;
            holder = Party(FormPlan::Company(certificate, facts));
        }
        return FormPlan::value(label, f, holder, representative, signer, march5, asked);
    }
};

const Result nothing{"", ""};

}  // namespace

TEST(ValueDerivation, IdentityOfAPersonAndSurnameSplit) {
    Values values;
    EXPECT_EQ(values("titular.nif"), Result("12345678Z", "De tu certificado"));
    EXPECT_EQ(values("titular.nombre_completo"), Result("Ana García López", "De tu certificado"));
    EXPECT_EQ(values("titular.nombre"), Result("Ana", "De tu certificado"));
    EXPECT_EQ(values("titular.apellidos"), Result("García López", "De tu certificado"));
    EXPECT_EQ(values("titular.apellido1").first, "García");
    EXPECT_EQ(values("titular.apellido2").first, "López");

    const std::pair<const char*, std::pair<const char*, const char*>> cases[] = {
        {"de la Fuente García", {"de la Fuente", "García"}},
        {"Pérez y Gómez", {"Pérez", "y Gómez"}},
        {"Pérez", {"Pérez", ""}},
        {"  De  Los Ríos  ", {"De Los Ríos", ""}},
        {"", {"", ""}},
    };
    for (const auto& [surnames, split] : cases) {
        values.certificate.surnames = surnames;
        EXPECT_EQ(values("titular.apellido1").first, split.first) << surnames;
        EXPECT_EQ(values("titular.apellido2").first, split.second) << surnames;
    }

    values.certificate.givenName.reset();  // an empty value with its source: counts as nothing
    EXPECT_EQ(values("titular.nombre"), Result("", "De tu certificado"));
    for (const char* label : {"titular", ".nif", "titular.", "titular.nif.x", "otra_persona.dato", "tramite.importe",
                              "titular.sexo", "Titular.nif"})
        EXPECT_EQ(values(label), nothing) << label;
}

TEST(ValueDerivation, CompanyHolderAndContacts) {
    Values values;
    values.company = true;
    values.certificate = representativeOf();
    values.facts = {fact("empresa", "cnae", "4520"), fact("empresa", "email", "info@norte.es"),
                    fact("empresa", "movil", "600000000"), fact("representante", "cargo", "Administradora")};
    EXPECT_EQ(values("titular.nif"), Result("B12345674", "De tu certificado"));
    EXPECT_EQ(values("titular.nombre"), Result("Talleres Norte SL", "De tu certificado"));
    EXPECT_EQ(values("titular.actividad"), Result("4520", "De Mis datos"));
    EXPECT_EQ(values("titular.apellidos"), nothing);
    EXPECT_EQ(values("representante.nif"), Result("12345678Z", "De tu certificado"));
    EXPECT_EQ(values("representante.cargo"), Result("Administradora", "De Mis datos"));
    EXPECT_EQ(values("contacto.persona"), Result("Ana García López", "De tu certificado"));
    EXPECT_EQ(values("contacto.completo"), Result("info@norte.es · 600000000", "De Mis datos"));

    // Only a telephone field on the form: it falls back to the mobile number.
    EXPECT_EQ(values("contacto.telefono").first, "600000000");
    values.asked = {"contacto.telefono", "contacto.movil"};
    EXPECT_EQ(values("contacto.telefono"), nothing);
    EXPECT_EQ(values("contacto.movil").first, "600000000");

    Values personal;
    EXPECT_EQ(personal("contacto.persona"), nothing);
}

TEST(ValueDerivation, Addresses) {
    Values values;
    values.facts = {madridAddress()};
    EXPECT_EQ(values("domicilio.completo"), Result("Calle Mayor 1, 28013 Madrid", "De Mis datos"));
    EXPECT_EQ(values("domicilio.via").first, "Calle Mayor, 1, 3 B");
    EXPECT_EQ(values("domicilio.resto").first, "3 B");
    EXPECT_EQ(values("domicilio.provincia").first, "Madrid");
    EXPECT_EQ(values("domicilio.pais"), Result("España", "De Mis datos"));
    EXPECT_EQ(values("domicilio.escalera"), Result("", "De Mis datos"));
    EXPECT_EQ(values("domicilio.tipo_via"), nothing);
    EXPECT_EQ(values("firma.lugar"), Result("Madrid", "De Mis datos"));
    values.asked = {"domicilio.numero"};
    EXPECT_EQ(values("domicilio.via").first, "Calle Mayor");

    values.facts[0].value = "Calle Mayor 1, 28013 Madrid";
    EXPECT_EQ(values("domicilio.completo").first, "Calle Mayor 1, 28013 Madrid");  // unchanged
    values.facts[0].parts.erase("cp");  // without a postcode only a "~" keeps the place out
    values.facts[0].value = "Calle Mayor 1, Madrid";
    EXPECT_EQ(values("domicilio.completo").first, "Calle Mayor 1, Madrid, Madrid");
    values.facts[0].value = "Calle Mayor 1 ~";
    EXPECT_EQ(values("domicilio.completo").first, "Calle Mayor 1 ~");

    Values none;
    EXPECT_EQ(none("domicilio.completo"), nothing);
    EXPECT_EQ(none("firma.lugar"), Result("", "De Mis datos"));
}

TEST(ValueDerivation, IBANPiecesAndBank) {
    Values values;
    values.facts = {fact("persona", "iban", iban)};
    EXPECT_EQ(values("banco.iban"), Result(iban, "De Mis datos"));
    EXPECT_EQ(values("banco.nombre_entidad").first, "CaixaBank");
    const std::pair<const char*, const char*> pieces[] = {
        {"banco.iban_pais", "ES91"}, {"banco.entidad", "2100"}, {"banco.oficina", "0418"},
        {"banco.dc", "45"},          {"banco.cuenta", "0200051332"},
    };
    for (const auto& [label, piece] : pieces) EXPECT_EQ(values(label), Result(piece, "De Mis datos")) << label;

    values.facts = {fact("persona", "iban", "es91-2100-0418-4502-0005-1332")};
    EXPECT_EQ(values("banco.nombre_entidad").first, "CaixaBank");
    EXPECT_EQ(values("banco.iban_pais").first, "es91");  // as written
    EXPECT_EQ(values("banco.entidad").first, "2100");

    values.facts = {fact("persona", "iban", "FR91 2100 0418 4502 0005 1332")};
    EXPECT_EQ(values("banco.entidad"), nothing);
    values.facts = {fact("persona", "iban", "ES91 2100 0418 4502 0005 133")};
    EXPECT_EQ(values("banco.entidad"), nothing);
    EXPECT_EQ(values("banco.nombre_entidad"), Result("", "De Mis datos"));
}

TEST(ValueDerivation, DateParts) {
    Values values;
    EXPECT_EQ(values("firma.fecha"), Result("05/03/2026", "Fecha de hoy"));
    EXPECT_EQ(values("firma.dia"), Result("5", "Fecha de hoy"));
    EXPECT_EQ(values("firma.mes", field(1, {0, 0, 40, 12})).first, "marzo");
    EXPECT_EQ(values("firma.mes", field(1, {0, 0, 26, 12})).first, "marzo");
    EXPECT_EQ(values("firma.mes", field(1, {0, 0, 20, 12})).first, "03");
    FormField two = field(1, {0, 0, 80, 12});
    two.maxLength = 2;
    EXPECT_EQ(values("firma.mes", two).first, "03");
    EXPECT_EQ(values("firma.anio", field(1, {0, 0, 40, 12})).first, "2026");
    EXPECT_EQ(values("firma.anio", two).first, "26");
    EXPECT_EQ(values("firma.nombre"), Result("Ana García López", "De tu certificado"));

    std::vector<std::string> numbers;
    for (int m = 1; m <= 12; ++m) numbers.push_back(std::to_string(m));
    EXPECT_EQ(values("firma.mes", choice(1, numbers)).first, "3");
    EXPECT_EQ(values("firma.mes", choice(1, {"Enero", "Febrero", "Marzo", "Abril"})).first, "Marzo");
    EXPECT_EQ(values("firma.mes", choice(1, {"--", "+03"})).first, "+03");
    EXPECT_EQ(values("firma.mes", choice(1, {"-3", " 3", "3.0"})), Result("", "Fecha de hoy"));

    // A year whose last two digits start with 0 has no leading zero.
    const FormPlan::Person signer(person(), {});
    EXPECT_EQ(FormPlan::value("firma.anio", two, std::nullopt, std::nullopt, signer, day(2005, 1, 31), {}).first, "5");
}

TEST(ValueDerivation, OptionMatching) {
    EXPECT_EQ(FormPlan::option("Madrid", {}), std::nullopt);
    EXPECT_EQ(FormPlan::option("madrid", {"MADRID (capital)", "Madrid"}), "Madrid");  // exact beats prefix
    EXPECT_EQ(FormPlan::option("Ávila", {"Valladolid", "AVILA  capital"}), "AVILA  capital");
    EXPECT_EQ(FormPlan::option("Mar", {"Marzo", "Mar Menor"}), "Mar Menor");  // never inside a word
    EXPECT_EQ(FormPlan::option("Mar", {"Marzo"}), std::nullopt);
}
