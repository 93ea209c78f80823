#include "profile/Address.h"
#include "profile/LabelledLine.h"
#include "profile/Postcode.h"
#include "profile/ProfileParser.h"
#include "profile/RegistroMercantil.h"
#include "profile/Representation.h"

#include <gtest/gtest.h>

using Parts = std::map<std::string, std::string>;

TEST(Registro, NeedsThreeKeywords) {
    const std::string text = "Inscrita en el Registro Mercantil de Madrid, tomo 1234, folio 56, hoja M-7890";
    auto entry = RegistroMercantil::from(text);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->value, "Tomo 1234 · Folio 56 · Hoja M-7890");
    EXPECT_EQ(entry->range.start, text.find("tomo"));
    EXPECT_EQ(entry->range.end, text.size());
    EXPECT_FALSE(RegistroMercantil::from("Tomo 1234, Folio 56"));
    EXPECT_EQ(RegistroMercantil::from("TOMO: 1.234, Sección 8ª, Libro 3")->value, "Tomo 1.234 · Sección 8 · Libro 3");
}

TEST(Representation, FieldsOfAClause) {
    const std::string text =
        "Cabecera\nDoña María del Carmen Ruiz, con DNI 12345678Z, en nombre y representación de Pruebas SL, "
        "con domicilio social en Calle Mayor 5, 28013 Madrid y CIF B12345674, en su calidad de ADMINISTRADOR ÚNICO, "
        "según escritura otorgada ante el notario de Madrid D. Luis Pérez con número 123/2020\nOtra línea";
    Representation r(text);
    ASSERT_TRUE(r.found);
    ASSERT_TRUE(r.range);
    EXPECT_EQ(r.range->start, 9u);
    EXPECT_EQ(r.range->end, ProfileParser::lines(text)[1].range.end);
    ASSERT_TRUE(r.name);
    EXPECT_EQ(r.name->value, "María del Carmen Ruiz");
    EXPECT_EQ(r.name->range.start, 9u);  // starts at the title
    ASSERT_TRUE(r.role);
    EXPECT_EQ(r.role->value, "Administrador único");
    ASSERT_TRUE(r.company);
    EXPECT_EQ(r.company->value, "Pruebas SL");
    ASSERT_TRUE(r.registeredAddress);
    EXPECT_EQ(r.registeredAddress->value, "Calle Mayor 5, 28013 Madrid");
    ASSERT_TRUE(r.deed);
    EXPECT_EQ(r.deed->value, "Otorgada ante el notario de Madrid D. Luis Pérez con número 123/2020");
    EXPECT_EQ(r.personIDs, (std::set<std::string>{"12345678Z"}));
}

TEST(Representation, EdgeCases) {
    EXPECT_FALSE(Representation("domicilio social en Calle Mayor 5").found);
    EXPECT_TRUE(Representation("EN NOMBRE Y REPRESENTACIÓN DE X").found);
    EXPECT_FALSE(Representation("D. Juan, en nombre y representación de X").name);
    EXPECT_FALSE(Representation("don Juan Pérez, en nombre y representación de X").name);
    EXPECT_EQ(Representation("Dª. Ana Gil, en nombre y representación de X").name->value, "Ana Gil");
    EXPECT_EQ(Representation("Dña Ana Gil, en nombre y representación de X").name->value, "Ana Gil");
    // Company followed only by the end of the line: none.
    EXPECT_FALSE(Representation("en nombre y representación de Pruebas SL").company);
    // Split over two lines: the second line is not searched.
    Representation split("D. Juan Pérez en nombre y representación de Pruebas SL,\nen su calidad de Gerente");
    EXPECT_TRUE(split.found);
    EXPECT_FALSE(split.role);
    EXPECT_TRUE(split.name);
    Representation crlf("Cabecera\r\nen nombre y representación de Pruebas SL, en su calidad de gerente\r\nFin");
    EXPECT_EQ(crlf.range->start, 10u);
    EXPECT_EQ(crlf.role->value, "Gerente");
    // Only the first clause counts.
    Representation two("en nombre y representación de Uno SL, x\nen nombre y representación de Dos SL, y");
    EXPECT_EQ(two.company->value, "Uno SL");
    // The legal form after a comma is part of the company's name.
    EXPECT_EQ(Representation("en nombre y representación de Construcciones Río Tajo, S.L., con CIF B12345674")
                  .company->value,
              "Construcciones Río Tajo, S.L.");
    EXPECT_EQ(Representation("en nombre y representación de Talleres, S.A.U. y CIF A1").company->value,
              "Talleres, S.A.U.");
    EXPECT_EQ(Representation("en nombre y representación de Sala Antigua, con CIF B1").company->value, "Sala Antigua");
}

TEST(Lines, EveryLineEnd) {
    auto lines = ProfileParser::lines("a\nb\rc\r\nd\xC2\x85" "e\xE2\x80\xA8" "f\xE2\x80\xA9g\n\nh\n");
    std::vector<std::string> texts;
    for (const auto& l : lines) texts.push_back(l.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g", "", "h"}));
    EXPECT_EQ(lines[2].range, (TextRange{4, 5}));
    EXPECT_EQ(lines[3].range, (TextRange{7, 8}));
    EXPECT_TRUE(ProfileParser::lines("").empty());
}

TEST(LabelledLine, LabelsAndKinds) {
    auto nif = LabelledLine::from("NIF: B12345674", {10, 24}, "");
    ASSERT_TRUE(nif);
    EXPECT_EQ(nif->label, "NIF");
    EXPECT_EQ(nif->value, "B12345674");
    EXPECT_EQ(nif->kind, "nif");
    EXPECT_FALSE(nif->isContainer);
    EXPECT_EQ(nif->valueRange, (TextRange{14, 24}));  // starts at the blank after the colon

    auto kindOf = [](const std::string& line) { return LabelledLine::from(line, {0, 0}, "")->kind; };
    EXPECT_EQ(kindOf("N.I.F.: B12345674"), "nif");
    EXPECT_EQ(kindOf("nif/cif: B12345674"), "nif");
    EXPECT_EQ(kindOf("CIF/NIF: B12345674"), std::nullopt);
    EXPECT_EQ(kindOf("Teléfono: 912 345 678"), "telefono");
    EXPECT_EQ(kindOf("TELEFONO: 912"), "telefono");
    EXPECT_EQ(kindOf("Tfno.: 912"), "telefono");
    EXPECT_EQ(kindOf("Dirección fiscal: Calle"), "domicilio");
    EXPECT_EQ(kindOf("Domicilio social: Calle"), "domicilio_social");
    EXPECT_EQ(kindOf("Epígrafe: 123"), "iae");
    EXPECT_EQ(kindOf("Razón Social: X"), "razon_social");

    auto fiscal = LabelledLine::from("Datos fiscales:", {0, 15}, "");
    EXPECT_TRUE(fiscal->isContainer);
    EXPECT_FALSE(fiscal->kind);
    EXPECT_TRUE(LabelledLine::from("Contacto: Juan", {0, 14}, "")->isContainer);

    auto hours = LabelledLine::from("Horario: 9:00 a 14:00", {0, 21}, "");
    EXPECT_EQ(hours->label, "Horario");
    EXPECT_EQ(hours->value, "9:00 a 14:00");
    EXPECT_FALSE(hours->kind);

    EXPECT_FALSE(LabelledLine::from("10:30 reunión", {0, 13}, ""));
    EXPECT_FALSE(LabelledLine::from(": valor", {0, 7}, ""));
    EXPECT_FALSE(LabelledLine::from(std::string(41, 'a') + ": x", {0, 44}, ""));
    EXPECT_TRUE(LabelledLine::from(std::string(40, 'a') + ": x", {0, 43}, ""));
    EXPECT_FALSE(LabelledLine::from("sin dos puntos", {0, 14}, ""));
}

TEST(LabelledLine, Owners) {
    using O = ProfileFact::Owner;
    auto ownerOf = [](const std::string& line, O main) { return LabelledLine::from(line, {0, 0}, "")->owner(main); };
    EXPECT_EQ(ownerOf("Fecha de nacimiento: 01/01/1980", O::company), O::person);
    EXPECT_EQ(ownerOf("Cargo: Administrador", O::company), O::representative);
    EXPECT_EQ(ownerOf("CNAE: 6201", O::person), O::company);
    EXPECT_EQ(ownerOf("Email: a@b.es", O::company), O::company);
    EXPECT_EQ(ownerOf("Horario: 9", O::person), O::person);
}

TEST(Address, StreetLines) {
    EXPECT_TRUE(Address::from("Calle Mayor 5"));
    EXPECT_TRUE(Address::from("CALLE MAYOR, 5"));
    EXPECT_FALSE(Address::from("Plaza   "));
    EXPECT_TRUE(Address::from("Avisos"));
    EXPECT_TRUE(Address::from("Por favor, llame al 912 345 678"));
    EXPECT_FALSE(Address::from("Camino " + std::string(53, 'x')));
    EXPECT_TRUE(Address::from("Camino " + std::string(42, 'x')));
    EXPECT_FALSE(Address::from("Mayor 5"));
}

TEST(Address, Parts) {
    EXPECT_EQ(Address::parts("C/ Mayor, 12 3º Dcha"),
              (Parts{{"via", "C/ Mayor"}, {"numero", "12"}, {"piso", "3º"}, {"puerta", "Dcha"}}));
    EXPECT_EQ(Address::parts("Calle Mayor 5, bajo B"),
              (Parts{{"via", "Calle Mayor"}, {"numero", "5"}, {"piso", "bajo"}, {"puerta", "B"}}));
    EXPECT_EQ(Address::parts("Calle Mayor 5, local 3"),
              (Parts{{"via", "Calle Mayor"}, {"numero", "5"}, {"resto", "local 3"}}));
    EXPECT_EQ(Address::parts("Calle Mayor"), (Parts{{"via", "Calle Mayor"}}));
    EXPECT_EQ(Address::parts("Paseo del Prado s/n, 28013 Madrid"),
              (Parts{{"via", "Paseo del Prado s/n"}, {"cp", "28013"}, {"municipio", "Madrid"}}));
    EXPECT_EQ(Address::parts("Avda. de la Paz 7, 28013 Madrid"),
              (Parts{{"via", "Avda. de la Paz"}, {"numero", "7"}, {"cp", "28013"}, {"municipio", "Madrid"}}));
}

TEST(Address, ATownOnTheAddressLineIsReadAsOnAPostcodeLine) {
    for (const char* town : {"Madrid (Madrid)", "Rozas de Madrid (Las)", "(Madrid)"}) {
        const std::string line = std::string("Calle Sol 1, 28013 ") + town;
        EXPECT_EQ(Address::parts(line).at("municipio"), Postcode::from(std::string("28013 ") + town)->town) << line;
    }
    EXPECT_EQ(Address::parts("Calle Sol 1, 28013 Madrid (Madrid)"),
              (Parts{{"via", "Calle Sol"}, {"numero", "1"}, {"cp", "28013"}, {"municipio", "Madrid"}}));
}

TEST(Postcode, Lines) {
    auto madrid = Postcode::from("28013 Madrid");
    ASSERT_TRUE(madrid);
    EXPECT_EQ(madrid->code, "28013");
    EXPECT_EQ(madrid->town, "Madrid");
    EXPECT_EQ(Postcode::from("28013, Madrid")->town, "Madrid");
    EXPECT_EQ(Postcode::from("28013")->town, "");
    // A bracketed part after the town goes or stays whole: a province goes, an article stays.
    EXPECT_EQ(Postcode::from("08001 Barcelona (Barcelona)")->town, "Barcelona");
    EXPECT_EQ(Postcode::from("28013 Madrid (Madrid)")->town, "Madrid");
    EXPECT_EQ(Postcode::from("28231 Rozas de Madrid (Las)")->town, "Rozas de Madrid (Las)");
    EXPECT_EQ(Postcode::from("28013 (Madrid)")->town, "Madrid");
    EXPECT_EQ(Postcode::from("28013 - Madrid (")->town, "Madrid");
    EXPECT_FALSE(Postcode::from("53001 Nada"));
    EXPECT_FALSE(Postcode::from("00001 Nada"));
    EXPECT_FALSE(Postcode::from("280134 Madrid"));
}
