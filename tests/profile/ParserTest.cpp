#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

#include <gtest/gtest.h>

#include <unicode/brkiter.h>

#include <algorithm>
#include <memory>
#include <random>

using Owner = ProfileFact::Owner;
using Parts = std::map<std::string, std::string>;

namespace {

std::vector<ProfileFact> factsOf(const std::string& text) { return ProfileParser::facts(text); }

const ProfileFact* find(const std::vector<ProfileFact>& facts, const std::string& kind) {
    for (const auto& f : facts) {
        if (f.kind == kind) return &f;
    }
    return nullptr;
}

std::string describe(const std::vector<ProfileFact>& facts) {
    std::string out;
    for (const auto& f : facts) {
        out += std::string(ProfileFact::rawValue(f.owner)) + "/" + f.kind + "=" + f.value + "\n";
    }
    return out;
}

}  // namespace

void PrintTo(const ProfileFact& f, std::ostream* os) {
    *os << ProfileFact::rawValue(f.owner) << "/" << f.kind << "=" << f.value << " [" << f.range.start << ","
        << f.range.end << ")";
    for (const auto& [k, v] : f.parts) *os << " " << k << "=" << v;
}

TEST(Parser, WorkedExample) {
    const std::string text =
        "Empresa de Pruebas SL\nC/ Mayor, 12 3º Dcha\n28013 Madrid\nNIF: B12345674\nTeléfono: 912 345 678";
    auto facts = factsOf(text);
    ASSERT_EQ(facts.size(), 6u) << describe(facts);
    auto lines = ProfileParser::lines(text);
    const auto cif = static_cast<std::size_t>(UnicodeText::fromUtf8(text).indexOf(u"B1"));
    EXPECT_EQ(facts[0], (ProfileFact{Owner::company, "nif", "B12345674", {cif, cif + 9}, {}}));
    EXPECT_EQ(facts[1].kind, "telefono");
    EXPECT_EQ(facts[1].value, "912 345 678");
    EXPECT_EQ(facts[2], (ProfileFact{Owner::company, "razon_social", "Empresa de Pruebas SL", lines[0].range, {}}));
    EXPECT_EQ(facts[3], (ProfileFact{Owner::company, "domicilio", "C/ Mayor, 12 3º Dcha", lines[1].range,
                                     Parts{{"via", "C/ Mayor"}, {"numero", "12"}, {"piso", "3º"}, {"puerta", "Dcha"},
                                           {"cp", "28013"}, {"municipio", "Madrid"}}}));
    EXPECT_EQ(facts[4], (ProfileFact{Owner::company, "cp", "28013", lines[2].range, {}}));
    EXPECT_EQ(facts[5], (ProfileFact{Owner::company, "municipio", "Madrid", lines[2].range, {}}));
    for (const auto& f : facts) EXPECT_EQ(f.owner, Owner::company);
}

TEST(Parser, EmptyAndBlankTexts) {
    EXPECT_TRUE(factsOf("").empty());
    EXPECT_TRUE(factsOf("\n  \n\t\n").empty());
}

TEST(Parser, IdentityNumbers) {
    auto hyphens = factsOf("CIF B-1234567-4");
    ASSERT_EQ(hyphens.size(), 1u) << describe(hyphens);
    EXPECT_EQ(hyphens[0].value, "B12345674");
    EXPECT_EQ(hyphens[0].range, (TextRange{4, 15}));

    auto twice = factsOf("B12345674 y otra vez B12345674");
    ASSERT_EQ(twice.size(), 1u);
    EXPECT_EQ(twice[0].range, (TextRange{0, 9}));

    auto person = factsOf("DNI 12345678Z");
    ASSERT_EQ(person.size(), 1u);
    EXPECT_EQ(person[0].owner, Owner::person);
    auto rep = factsOf("D. Juan Pérez, con DNI 12345678Z, en nombre y representación de Pruebas SL, con CIF B12345674");
    const ProfileFact* dni = nullptr;
    for (const auto& f : rep) {
        if (f.kind == "nif" && f.value == "12345678Z") dni = &f;
    }
    ASSERT_TRUE(dni) << describe(rep);
    EXPECT_EQ(dni->owner, Owner::representative);
}

TEST(Parser, TelephoneNumbers) {
    auto iban = factsOf("IBAN ES91 2100 0418 4502 0005 1332");
    EXPECT_EQ(describe(iban), "persona/iban=ES91 2100 0418 4502 0005 1332\n");
    auto mail = factsOf("escribe a 612345678@correo.es");
    EXPECT_EQ(describe(mail), "persona/email=612345678@correo.es\n");
    auto prefixes = factsOf("Tel 612 345 678, +34 612345678, 0034-612-345-678, 612.345.678");
    EXPECT_EQ(describe(prefixes), "persona/movil=612 345 678\n");
    auto land = factsOf("B12345674 llamar al 912345678");
    EXPECT_EQ(describe(land), "empresa/nif=B12345674\nempresa/telefono=912 345 678\n");
}

TEST(Parser, LineLengthsAndCompanyNames) {
    const std::string line160 = "x " + std::string(158, 'a');
    const std::string line161 = "x " + std::string(159, 'a');
    EXPECT_EQ(find(factsOf(line161), "parrafo")->value, line161);
    EXPECT_FALSE(find(factsOf(line160), "parrafo"));
    // Length counts user-perceived characters: 161 "é" written decomposed is still 161.
    std::string decomposed;
    for (int i = 0; i < 161; ++i) decomposed += "e\xCC\x81";
    EXPECT_TRUE(find(factsOf(decomposed), "parrafo"));

    auto labelled = factsOf("Observaciones: " + std::string(170, 'b'));
    EXPECT_EQ(find(labelled, "parrafo")->value, std::string(170, 'b'));
    const std::string longLabel = std::string(31, 'c') + ": " + std::string(170, 'b');
    EXPECT_EQ(find(factsOf(longLabel), "parrafo")->value, longLabel);

    // The clause and the name line of one company give one name.
    auto named = factsOf(
        "D. Juan Pérez García, en nombre y representación de Construcciones Río Tajo, S.L., con CIF B12345674\n"
        "Construcciones Río Tajo, S.L.");
    EXPECT_EQ(std::count_if(named.begin(), named.end(), [](const ProfileFact& f) { return f.kind == "razon_social"; }),
              1)
        << describe(named);
    EXPECT_EQ(find(named, "razon_social")->value, "Construcciones Río Tajo, S.L.");
    // The full stop of an abbreviation the value ends with is part of it; a sentence's is not.
    EXPECT_EQ(find(factsOf("Pruebas, S.L."), "razon_social")->value, "Pruebas, S.L.");
    EXPECT_EQ(find(factsOf("Construcciones Río Tajo, S.L."), "razon_social")->value, "Construcciones Río Tajo, S.L.");
    EXPECT_EQ(find(factsOf("Talleres Unidos S.Coop."), "razon_social")->value, "Talleres Unidos S.Coop.");
    EXPECT_EQ(find(factsOf("Grupo Norte S.A.U."), "razon_social")->value, "Grupo Norte S.A.U.");
    EXPECT_EQ(find(factsOf("Pruebas SL."), "razon_social")->value, "Pruebas SL");
    EXPECT_EQ(find(factsOf("Calle Mayor 5, 2º Dcha."), "domicilio")->value, "Calle Mayor 5, 2º Dcha.");
    EXPECT_EQ(find(factsOf("Notas: vivo en Madrid."), "Notas")->value, "vivo en Madrid");
    EXPECT_EQ(find(factsOf("Correo: ana@pruebas.es."), "email")->value, "ana@pruebas.es");
    const std::string paragraph = "Observaciones: " + std::string(150, 'x') + " firmado por Pruebas, S.L.";
    EXPECT_EQ(find(factsOf(paragraph), "parrafo")->value, std::string(150, 'x') + " firmado por Pruebas, S.L.");
    EXPECT_EQ(find(factsOf(paragraph.substr(0, paragraph.size() - 18) + " en Madrid."), "parrafo")->value,
              std::string(150, 'x') + " firmado en Madrid");
    const std::string name80 = std::string(75, 'n') + " S.L.";
    EXPECT_TRUE(find(factsOf(name80), "razon_social"));
    EXPECT_FALSE(find(factsOf("n" + name80), "razon_social"));
}

TEST(Parser, AClauseAddressBeforeACommaKeepsItsPostcode) {
    // The comma before "en su calidad" must not turn the postcode into a floor and a door.
    const auto facts = factsOf(
        "D. Juan Pérez García, con DNI 12345678Z, en nombre y representación de Pruebas SL, con domicilio "
        "social en Calle Mayor 5, 28013 Madrid, en su calidad de administrador único");
    const ProfileFact* address = find(facts, "domicilio_social");
    ASSERT_TRUE(address) << describe(facts);
    EXPECT_EQ(address->value, "Calle Mayor 5, 28013 Madrid");
    EXPECT_EQ(address->parts, (Parts{{"via", "Calle Mayor"}, {"numero", "5"}, {"cp", "28013"}, {"municipio", "Madrid"}}));
}

TEST(Parser, HeadingsAndPostcodes) {
    auto fiscal = factsOf("Domicilio fiscal\nCalle Mayor 5\n28013 Madrid");
    ASSERT_TRUE(find(fiscal, "domicilio_fiscal")) << describe(fiscal);
    EXPECT_EQ(find(fiscal, "domicilio_fiscal")->parts.at("cp"), "28013");
    EXPECT_TRUE(find(factsOf("Datos fiscales:\nCalle Mayor 5"), "domicilio_fiscal"));
    EXPECT_TRUE(find(factsOf("Calle Mayor 5"), "domicilio"));

    auto two = factsOf("Calle Uno 1\nCalle Dos 2\n28013 Madrid");
    EXPECT_EQ(two[0].parts.count("cp"), 0u);
    EXPECT_EQ(two[1].parts.at("municipio"), "Madrid");
    auto own = factsOf("Calle Uno 1, 08001 Barcelona\n28013 Madrid");
    EXPECT_EQ(own[0].parts.at("cp"), "08001");
    EXPECT_EQ(describe(factsOf("28013")), "persona/cp=28013\n");

    auto contact = factsOf("Contacto: Juan\nHorario: 9:00 a 14:00");
    EXPECT_EQ(describe(contact), "persona/Horario=9:00 a 14:00\n");
    auto founded = factsOf("B12345674\nFecha de constitución: B12345674");
    EXPECT_TRUE(find(founded, "fecha_constitucion"));
}

TEST(Parser, FullRepresentationClause) {
    const std::string text =
        "D. Juan Pérez Gómez, con DNI 12345678Z, en nombre y representación de Pruebas SL, con domicilio social en "
        "C/ Mayor, 12 3º Dcha, 28013 Madrid y CIF B12345674, en su calidad de ADMINISTRADOR ÚNICO, según escritura "
        "otorgada ante el notario D. Luis Gil con número 1234/2019";
    auto facts = factsOf(text);
    EXPECT_EQ(describe(facts),
              "empresa/nif=B12345674\n"
              "representante/nif=12345678Z\n"
              "representante/nombre_completo=Juan Pérez Gómez\n"
              "representante/cargo=Administrador único\n"
              "representante/poder=Otorgada ante el notario D. Luis Gil con número 1234/2019\n"
              "empresa/domicilio_social=C/ Mayor, 12 3º Dcha, 28013 Madrid\n"
              "empresa/razon_social=Pruebas SL\n"
              "texto/clausula_representacion=" + text + "\n");
    EXPECT_EQ(find(facts, "domicilio_social")->parts,
              (Parts{{"via", "C/ Mayor"}, {"numero", "12"}, {"piso", "3º"}, {"puerta", "Dcha"}, {"cp", "28013"},
                     {"municipio", "Madrid"}}));
    EXPECT_EQ(find(facts, "nombre_completo")->range.start, 0u);
}

// Every range a parse gives lies on user-perceived character boundaries of the text, whatever
// mix of combining marks, emoji and line ends the text holds.
TEST(Parser, RangesNeverSplitCharacters) {
    const std::vector<std::string> pieces = {
        "e\xCC\x81", "\xF0\x9F\x98\x80", "\xF0\x9F\x87\xAA\xF0\x9F\x87\xB8", "\n", "\r", "\r\n", "\xC2\x85",
        "\xE2\x80\xA8", "\xE2\x80\xA9", ":", ": ", "NIF", "B12345674", "12345678Z", "912 345 678", "Calle Mayor 5",
        "28013 Madrid", " ", "\xCC\x81", "S.L.", "en nombre y representación de ", "D. Ana Gil ", "a@b.es",
        "tomo 1, folio 2, hoja 3", "\xE2\x80\x8D", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"};
    std::mt19937 random(12345);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    ASSERT_TRUE(U_SUCCESS(status));
    for (int round = 0; round < 300; ++round) {
        std::string text;
        int count = 1 + static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
        const icu::UnicodeString s = UnicodeText::fromUtf8(text);
        it->setText(s);
        for (const auto& fact : ProfileParser::facts(text)) {
            ASSERT_LE(fact.range.end, static_cast<std::size_t>(s.length())) << text;
            ASSERT_TRUE(it->isBoundary(static_cast<int32_t>(fact.range.start))) << text << " / " << fact.kind;
            ASSERT_TRUE(it->isBoundary(static_cast<int32_t>(fact.range.end))) << text << " / " << fact.kind;
        }
    }
}

// A postcode line goes to the latest address before it that has no postcode, whichever step
// found that address; an address found later in the text is passed over.
TEST(Parser, PostcodeGoesToTheLatestEarlierAddress) {
    const std::string clause =
        "D. Ana Gil Ruiz, en nombre y representación de Pruebas SL, con domicilio social en Calle Dos 2, en su "
        "calidad de gerente";
    auto after = factsOf("Calle Uno 1\n28013 Madrid\n" + clause);
    ASSERT_TRUE(find(after, "domicilio_social")) << describe(after);
    EXPECT_EQ(find(after, "domicilio_social")->parts.count("cp"), 0u);
    EXPECT_EQ(find(after, "domicilio")->parts.at("cp"), "28013");

    auto before = factsOf(clause + "\n08001 Barcelona\nCalle Uno 1\n28013 Madrid\n46001 Valencia");
    EXPECT_EQ(find(before, "domicilio_social")->parts.at("municipio"), "Barcelona");
    EXPECT_EQ(find(before, "domicilio")->parts.at("municipio"), "Madrid");

    // Many postcode lines after addresses that already hold their own postcode.
    std::string text = "Calle Uno 1\n";
    for (int i = 0; i < 3000; ++i) text += "28013 Madrid\nCalle Dos " + std::to_string(i) + ", 08001 Barcelona\n";
    auto many = factsOf(text);
    ASSERT_EQ(many.size(), 3003u) << describe(many).substr(0, 500);
    EXPECT_EQ(many[0].parts.at("municipio"), "Madrid");
    EXPECT_EQ(many.back().parts.at("municipio"), "Barcelona");
}
