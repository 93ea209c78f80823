#include <gtest/gtest.h>

#include "LabelFixtures.h"
#include "forms/labels/RuleLabeler.h"

namespace {

using namespace LabelFixtures;

const FieldLabel rule(std::string key, std::optional<int> part = std::nullopt) {
    return FieldLabel{std::move(key), part, 0.6};
}

// The rule label of one text field with the given caption on its left (none when unlabelled).
std::optional<FieldLabel> single(FormField f) {
    Labels labels = RuleLabeler::labels({unit(f)});
    auto found = labels.find(f.id);
    if (found == labels.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> keyOf(FormField f) {
    auto label = single(std::move(f));
    if (!label) return std::nullopt;
    return label->label;
}

TEST(RuleLabelerText, NormFoldsSpanish) {
    EXPECT_EQ(RuleLabeler::norm("  Razón\tSOCIAL \n de  la Compañía "),
              "razon social de la compania");
    EXPECT_EQ(RuleLabeler::norm("Dª"), "dª");
    EXPECT_EQ(RuleLabeler::norm("Nº"), "nº");
    EXPECT_EQ(RuleLabeler::norm(""), "");
    EXPECT_EQ(RuleLabeler::nearest("Datos del solicitante. Nombre:"), "nombre");
    EXPECT_EQ(RuleLabeler::nearest(" .: "), "");
    EXPECT_EQ(RuleLabeler::languages("nombre / nom"),
              (std::vector<std::string>{"nombre / nom", "nombre"}));
    EXPECT_EQ(RuleLabeler::languages("nif / cif"),
              (std::vector<std::string>{"nif / cif", "nif", "cif"}));
    EXPECT_EQ(RuleLabeler::languages("nombre del titular / nombre"),
              (std::vector<std::string>{"nombre del titular / nombre"}));
    EXPECT_EQ(RuleLabeler::languages("a / b / c"), (std::vector<std::string>{"a / b / c"}));
    EXPECT_EQ(RuleLabeler::languages("nif/cif"), (std::vector<std::string>{"nif/cif"}));
}

TEST(RuleLabeler, NifByCaptionAndSection) {
    EXPECT_EQ(single(captioned(1, "NIF / NIE:")), rule("titular.nif"));
    FormField represented = captioned(1, "NIF / NIE:");
    represented.header = "Datos del representante";
    EXPECT_EQ(keyOf(represented), "representante.nif");
    represented.header = "Datos del solicitante o su representante";
    EXPECT_EQ(keyOf(represented), "titular.nif");
}

TEST(RuleLabeler, UnlabelledFields) {
    EXPECT_TRUE(RuleLabeler::labels({}).empty());
    EXPECT_EQ(keyOf(field(1, 100, 500)), std::nullopt);  // "Texto1", no captions
    FormField admin = captioned(1, "Nombre");
    admin.header = "A cumplimentar por la administración";
    EXPECT_EQ(keyOf(admin), std::nullopt);
    FormField spouse = captioned(1, "Nombre");
    spouse.section = "3. Datos del cónyuge";
    EXPECT_EQ(keyOf(spouse), std::nullopt);
    FormField tick = captioned(1, "NIF");
    tick.kind = FormField::Kind::check;
    EXPECT_EQ(keyOf(tick), std::nullopt);
}

TEST(RuleLabeler, RowsOfBoxes) {
    Labels labels = RuleLabeler::labels(
        {boxes(1, 9), boxes(20, 24, 300), boxes(50, 5, 200), boxes(60, 4, 100)});
    for (int i = 0; i < 9; ++i) EXPECT_EQ(labels.at(1 + i), rule("titular.nif", i + 1));
    for (int i = 0; i < 24; ++i) EXPECT_EQ(labels.at(20 + i), rule("banco.iban", i + 1));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(labels.at(50 + i), rule("domicilio.cp", i + 1));
    EXPECT_FALSE(labels.contains(60));

    FormUnit named = boxes(1, 4);
    named.fields[0].left = "Código postal";
    EXPECT_EQ(RuleLabeler::labels({named}).at(4), rule("domicilio.cp", 4));
}

TEST(RuleLabeler, TheRuleTableInOrder) {
    EXPECT_EQ(keyOf(captioned(1, "Apellidos y nombre")), "titular.nombre_completo");
    EXPECT_EQ(keyOf(captioned(1, "Código postal")), "domicilio.cp");
    EXPECT_EQ(keyOf(captioned(1, "Primer apellido")), "titular.apellido1");
    EXPECT_EQ(keyOf(captioned(1, "Segundo apellido")), "titular.apellido2");
    EXPECT_EQ(keyOf(captioned(1, "Apellidos")), "titular.apellidos");
    EXPECT_EQ(keyOf(captioned(1, "Datos del solicitante. Nombre:")), "titular.nombre");
    EXPECT_EQ(keyOf(captioned(1, "Nº")), "domicilio.numero");
    EXPECT_EQ(keyOf(captioned(1, "Correo electrónico")), "contacto.email");
    EXPECT_EQ(keyOf(captioned(1, "Teléfono móvil")), "contacto.movil");
    EXPECT_EQ(keyOf(captioned(1, "Código BIC / SWIFT")), "banco.bic");
    EXPECT_EQ(keyOf(captioned(1, "Domicilio fiscal")), "domicilio.completo");
    // Bilingual caption: the Spanish half is tried after the whole text.
    EXPECT_EQ(keyOf(captioned(1, "Nombre / Nom")), "titular.nombre");
    // Rule 5 needs the feminine ordinal to survive folding.
    FormField honorific = field(1, 100, 500);
    honorific.above = "D./Dª";
    EXPECT_EQ(keyOf(honorific), "titular.nombre_completo");
    // The name is tried first; a generic one is ignored.
    FormField named = captioned(1, "Provincia");
    named.name = "email";
    EXPECT_EQ(keyOf(named), "contacto.email");
    named.name = "Check Box...12";
    EXPECT_EQ(keyOf(named), "domicilio.provincia");
    // A drawn field's whole left caption is a candidate of its own.
    FormField drawn = captioned(1, "C.P.");
    EXPECT_EQ(keyOf(drawn), std::nullopt);  // the nearest segment is "p"
    drawn.drawn = true;
    EXPECT_EQ(keyOf(drawn), "domicilio.cp");
}

TEST(RuleLabeler, RepresentativeSection) {
    FormField iban = captioned(1, "IBAN");
    EXPECT_EQ(keyOf(iban), "banco.iban");
    iban.section = "2. Datos del representante";
    EXPECT_EQ(keyOf(iban), std::nullopt);
    FormField postcode = captioned(1, "Código postal");
    postcode.section = iban.section;
    EXPECT_EQ(keyOf(postcode), "representante.domicilio");
    FormField phone = captioned(1, "Teléfono");
    phone.context = "Representante legal";
    EXPECT_EQ(keyOf(phone), "representante.contacto");
}

// "En [ ] a [ ] de [ ] de [ ]" and a fifth field on the row.
std::vector<FormUnit> signatureRow(double yOfDay = 100) {
    FormField place = captioned(1, "En", 40, 100);
    FormField day = captioned(2, "a", 160, yOfDay);
    FormField month = captioned(3, "de", 280, 100);
    FormField year = captioned(4, "de", 400, 100);
    FormField extra = captioned(5, "NIF", 520, 100);
    return {unit(place), unit(day), unit(month), unit(year), unit(extra)};
}

TEST(RuleLabeler, SignatureLine) {
    Labels labels = RuleLabeler::labels(signatureRow());
    EXPECT_EQ(labels.at(1), rule("firma.lugar"));
    EXPECT_EQ(labels.at(2), rule("firma.dia"));
    EXPECT_EQ(labels.at(3), rule("firma.mes"));
    EXPECT_EQ(labels.at(4), rule("firma.anio"));
    EXPECT_EQ(labels.at(5), rule("titular.nif"));

    // A taller day box sits a little lower on the same line: still left to right.
    std::vector<FormUnit> uneven = signatureRow();
    uneven[1].fields[0].rect = Rect{160, 97, 100, 20};
    labels = RuleLabeler::labels(uneven);
    EXPECT_EQ(labels.at(1).label, "firma.lugar");
    EXPECT_EQ(labels.at(2).label, "firma.dia");
}

TEST(RuleLabeler, SignatureOrderMergesIntoOtherLabels) {
    Labels ai{{1, {"tramite.otro", std::nullopt, 0.9}},
              {2, {"firma.anio", std::nullopt, 0.8}},
              {3, {"titular.nif", std::nullopt, 0.3}},
              {5, {"titular.nif", std::nullopt, 0.95}}};
    RuleLabeler::signatureOrder(signatureRow(), ai);
    EXPECT_EQ(ai.at(1), (FieldLabel{"tramite.otro", std::nullopt, 0.9}));
    EXPECT_EQ(ai.at(2), (FieldLabel{"firma.dia", std::nullopt, 0.8}));
    EXPECT_EQ(ai.at(3), rule("firma.mes"));
    EXPECT_EQ(ai.at(4), rule("firma.anio"));
    EXPECT_EQ(ai.at(5), (FieldLabel{"titular.nif", std::nullopt, 0.95}));
}

TEST(RuleLabeler, SigningDate) {
    std::vector<FormUnit> units{unit(captioned(1, "Fecha")),
                                unit(captioned(2, "Lugar y fecha de la firma", 100, 300)),
                                unit(captioned(3, "Fecha de nacimiento", 100, 200))};
    Labels labels = RuleLabeler::labels(units);
    EXPECT_TRUE(labels.empty());
    RuleLabeler::signingDate(units, labels);
    EXPECT_EQ(labels.at(1), rule("firma.fecha"));
    EXPECT_EQ(labels.at(2), rule("firma.fecha"));
    EXPECT_FALSE(labels.contains(3));

    Labels confident{{1, {"tramite.otro", std::nullopt, 0.7}},
                     {2, {"tramite.otro", std::nullopt, 0.2}}};
    RuleLabeler::signingDate(units, confident);
    EXPECT_EQ(confident.at(1).label, "tramite.otro");
    EXPECT_EQ(confident.at(2), rule("firma.fecha"));
}

}  // namespace
