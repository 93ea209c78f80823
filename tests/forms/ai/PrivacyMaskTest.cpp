// The mask that the AI labeller puts over every text it sends: the shapes of personal data become
// placeholders, the words and numbers that describe a form stay as they are.
#include <gtest/gtest.h>

#include "forms/ai/AIPrivacyMask.h"

namespace {

struct Case {
    const char* text;
    const char* masked;
};

// Each text with what it reads after the mask.
const Case kShapes[] = {
    // DNI: a valid check letter, a wrong one, a lowercase one, blanks, dots and dashes inside.
    {"87654321X", "[NIF]"},
    {"DNI 12345678Z.", "DNI [NIF]."},
    {"NIF 12345678A", "NIF [NIF]"},
    {"nif: 12345678z", "nif: [NIF]"},
    {"87.654.321-X", "[NIF]"},
    {"87 654 321 X", "[NIF]"},
    {"87654321 X y más", "[NIF] y más"},
    {"87654321-x", "[NIF]"},
    {"01234567L", "[NIF]"},
    // NIE and CIF.
    {"NIE X1234567L", "NIE [NIF]"},
    {"NIE X-1234567-L", "NIE [NIF]"},
    {"NIE Y 1.234.567 Z", "NIE [NIF]"},
    {"z1234567r", "[NIF]"},
    {"CIF B12345678", "CIF [NIF]"},
    {"CIF B-1234567-4", "CIF [NIF]"},
    {"CIF A 12.345.678", "CIF [NIF]"},
    {"CIF Q2826000H", "CIF [NIF]"},
    {"NIF-IVA ESB12345678", "NIF-IVA [NIF]"},
    // In a field's name or a file's name.
    {"nif_87654321X", "nif_[NIF]"},
    {"solicitud-87654321X.pdf", "solicitud-[NIF].pdf"},
    // IBAN of any country, grouped or not, its check digits valid or not.
    {"IBAN ES9121000418450200051332", "IBAN [IBAN]"},
    {"IBAN ES91 2100 0418 4502 0005 1332", "IBAN [IBAN]"},
    {"IBAN: ES00-2100-0418-4502-0005-1332 NIF 87654321X", "IBAN: [IBAN] NIF [NIF]"},
    {"ES91 2100 0418 4502 0005 1332 y NIF", "[IBAN] y NIF"},
    {"iban_es9121000418450200051332", "iban_[IBAN]"},
    {"DE89 3704 0044 0532 0130 00", "[IBAN]"},
    {"GB82 WEST 1234 5698 7654 32 (Londres)", "[IBAN] (Londres)"},
    {"FR1420041010050500013M02606", "[IBAN]"},
    {"QQ12 3456 7890 1234 5678 A", "[IBAN] A"},
    // Spanish phone numbers: mobiles and landlines, prefixes, separators.
    {"612345678", "[teléfono]"},
    {"Tel. 612 345 678", "Tel. [teléfono]"},
    {"612 34 56 78", "[teléfono]"},
    {"91 234 56 78", "[teléfono]"},
    {"912-345-678", "[teléfono]"},
    {"912.34.56.78", "[teléfono]"},
    {"+34 612 345 678", "[teléfono]"},
    {"+34612345678", "[teléfono]"},
    {"0034 612345678", "[teléfono]"},
    {"0034-612-345-678", "[teléfono]"},
    {"(+34) 712 345 678", "(+34) [teléfono]"},
    {"tel_612345678", "tel_[teléfono]"},
    {"Modelo 030 - 612345678", "Modelo 030 - [teléfono]"},
    {"612 345 678 / 912 345 678", "[teléfono] / [teléfono]"},
    {"Teléfono: 812345678, móvil 612345678", "Teléfono: [teléfono], móvil [teléfono]"},
    // E-mail addresses.
    {"ana.garcia@correo.es", "[correo]"},
    {"Correo electrónico: ana.garcia+tindra@correo.gob.es.", "Correo electrónico: [correo]."},
    {"612 345 678 - ana.garcia@correo.es", "[teléfono] - [correo]"},
    {"<ana_g@sub.dominio-uno.com>", "<[correo]>"},
    {"mailto:ANA@EJEMPLO.ES", "mailto:[correo]"},
    // An account without its country code, as a text cut short at its left shows an IBAN.
    {"2100 0418 4502 0005 1332 - ana.garcia@correo.es", "[IBAN] - [correo]"},
    {"CCC 2100 0418 45 0200051332", "CCC [IBAN]"},
    {"21000418450200051332", "[IBAN]"},
    {"0418 4502 0005 1332", "[IBAN]"},
    // Card numbers: grouped as printed (check digit valid or not), or in one piece when valid.
    {"4111 1111 1111 1111", "[tarjeta]"},
    {"4111-1111-1111-1112", "[tarjeta]"},
    {"Tarjeta 5500 0000 0000 0004 caduca 12/27", "Tarjeta [tarjeta] caduca 12/27"},
    {"3782 822463 10005", "[tarjeta]"},
    {"4111111111111111", "[tarjeta]"},
    {"5555555555554444", "[tarjeta]"},
    {"2223 0000 4841 0010", "[tarjeta]"},
};

// Texts that describe a form and stay as they are.
const char* const kKept[] = {
    "NIF",
    "IBAN",
    "Teléfono",
    "Correo electrónico",
    "DNI o NIE",
    "NIF/CIF del titular",
    "Fecha: 15/06/2024",
    "15.06.2024 y 16-06-2024",
    "2024-06-15",
    "Importe: 1.234,56 €",
    "612.345.678,90 €",
    "912.345.678 €",
    "Total 123.456.789 euros",
    "Modelo 030",
    "Modelo 600, casilla 01",
    "artículo 12.3 de la Ley 58/2003",
    "art. 30.2.b)",
    "Real Decreto 1065/2007, de 27 de julio",
    "C.P. 28039 Madrid",
    "Código postal 08001",
    "Páginas 6 7 8 9 10 11 12",
    "Casillas 01 02 03 04 05 06 07 08 09",
    "Número de justificante 0301234567890",
    "1234567890123456",
    "Expediente 2024/000123",
    "Ejercicios 2021 2022 2023 2024",
    "12.345.678 y 5.000.000",
    "ESPAÑA",
    "Solicitud de ayuda (B)",
    "x=56 y=700 (y mayor = más arriba)",
    "topmostSubform[0].Page1[0].TextField12[0]",
    "Nº de cuenta (20 dígitos)",
    "@ no es un correo",
    "usuario@localhost",
};

TEST(AIPrivacyMask, ShapesOfPersonalDataBecomePlaceholders) {
    const AIPrivacyMask mask;
    for (const Case& c : kShapes) EXPECT_EQ(mask(c.text), c.masked) << c.text;
}

TEST(AIPrivacyMask, WordsThatDescribeTheFormStayByteForByte) {
    const AIPrivacyMask mask;
    for (const char* text : kKept) EXPECT_EQ(mask(text), text);
    // Bytes that are no UTF-8 stay where they were.
    const std::string broken = "Nombre \xFF\xC3 y apellidos";
    EXPECT_EQ(mask(broken), broken);
    EXPECT_EQ(mask("\xFFNIF 87654321X\xC3"), "\xFFNIF [NIF]\xC3");
}

TEST(AIPrivacyMask, SavedValuesMatchWithoutCaseAccentsOrBlanks) {
    std::vector<SavedFact> facts;
    auto fact = [&](const char* owner, const char* kind, const char* value) {
        SavedFact f;
        f.owner = owner;
        f.kind = kind;
        f.value = value;
        facts.push_back(f);
        return &facts.back();
    };
    fact("persona", "nombre_completo", "Ana García López");
    fact("persona", "domicilio", "Avenida de la Valdezarza 17, 3º B")->parts = {{"via", "Avenida de la Valdezarza"}};
    fact("empresa", "razon_social", "Construcciones Peñalara, S.L.");
    fact("persona", "nacionalidad", "Española");  // not masked: it describes no one in particular
    fact("persona", "fecha_nacimiento", "01/02/1980");
    const AIPrivacyMask mask(facts);

    const Case cases[] = {
        {"Titular: Ana García López", "Titular: [dato]"},
        {"TITULAR: ANA GARCIA LOPEZ", "TITULAR: [dato]"},
        {"anagarcialopez", "[dato]"},
        {"García López, Ana", "[dato] [dato], [dato]"},
        {"Domicilio: AVDA. avenida de la valdezarza 17, 3º b", "Domicilio: AVDA. [dato]"},
        {"Calle: Avenida de la  Valdezarza", "Calle: [dato]"},
        {"Empresa: CONSTRUCCIONES PEÑALARA SL", "Empresa: [dato]"},
        {"Construcciones Peñalara S.L., NIF B12345678", "[dato]., NIF [NIF]"},
        // Whole words only; the describing words stay.
        {"Anabel Garcíalópez", "Anabel Garcíalópez"},
        {"Nacionalidad: Española", "Nacionalidad: Española"},
        {"Fecha de nacimiento: 01/02/1980", "Fecha de nacimiento: 01/02/1980"},
        {"Apellidos y nombre del titular", "Apellidos y nombre del titular"},
        {"Municipio de la Valdezarza Alta", "Municipio de la Valdezarza Alta"},
    };
    for (const Case& c : cases) EXPECT_EQ(mask(c.text), c.masked) << c.text;
}

// Other writings of the same data are masked, compared in one normal form: compatibility forms
// composed, digits of any script as ASCII, zero-width and no-break spaces as blanks, field names
// read at their camel-case joints. Rows of box numbers and words of the language that are also
// the user's surnames stay, unless written as a name.
TEST(AIPrivacyMask, OtherWritingsOfTheDataAreMaskedAndLookalikeWordsStay) {
    std::vector<SavedFact> facts(2);
    facts[0].owner = "persona";
    facts[0].kind = "nombre_completo";
    facts[0].value = "Ana María Blanco Campos";
    facts[1].owner = "representante";
    facts[1].kind = "apellidos";
    facts[1].value = "Mayor Calle";
    const AIPrivacyMask mask(facts);

    const Case cases[] = {
        {"NIF \uFF18\uFF17\uFF16\uFF15\uFF14\uFF13\uFF12\uFF11\uFF38", "NIF [NIF]"},
        {"Tel \uFF16\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16\uFF17\uFF18", "Tel [teléfono]"},
        {"NIF \u0668\u0667\u0666\u0665\u0664\u0663\u0662\u0661X", "NIF [NIF]"},
        {"Tel \u06F6\u06F1\u06F2 \u06F3\u06F4\u06F5 \u06F6\u06F7\u06F8", "Tel [teléfono]"},
        {"CCC 2100.0418.45.0200051332", "CCC [IBAN]"},
        {"2100/0418/45/0200051332", "[IBAN]"},
        {"IBAN ES91.2100.0418.4502.0005.1332", "IBAN [IBAN]"},
        {"NIE X 123 4567 L", "NIE [NIF]"},
        {"87654321/X", "[NIF]"},
        {"(612) 345 678", "[teléfono]"},
        {"Móvil 612/345/678", "Móvil [teléfono]"},
        {"8765\u200B4321X y 8765\u00A04321X", "[NIF] y [NIF]"},
        {"612\u00A0345\u200B678", "[teléfono]"},
        {"nif87654321XTitular", "nif[NIF]Titular"},
        {"nieX1234567LTitular", "nie[NIF]Titular"},
        {"nombreAnaMariaBlancoCampos", "nombre[dato]"},
        {"Titular: \uFF21\uFF4E\uFF41 \uFF22\uFF4C\uFF41\uFF4E\uFF43\uFF4F", "Titular: [dato] [dato]"},
        {"Apellidos: Blanco", "Apellidos: [dato]"},
        {"firmado por blanco campos", "firmado por [dato] [dato]"},
        {"apellidos: calle mayor", "apellidos: [dato] [dato]"},
        {"ibanES9121000418450200051332Titular", "iban[IBAN]Titular"},
        // These stay as they are.
        {"Casilla 0435 0436 0437 0438", "Casilla 0435 0436 0437 0438"},
        {"0435 0436 0437 0438", "0435 0436 0437 0438"},
        {"Casillas 612 613 614", "Casillas 612 613 614"},
        {"Código 800 800 800", "Código 800 800 800"},
        {"Casillas 5001 5002 5003 5004", "Casillas 5001 5002 5003 5004"},
        {"2100 0418 46 0200051332", "2100 0418 46 0200051332"},
        {"Deje en blanco esta casilla", "Deje en blanco esta casilla"},
        {"DEJE EN BLANCO ESTA CASILLA", "DEJE EN BLANCO ESTA CASILLA"},
        {"Rellene los campos", "Rellene los campos"},
        {"Mayor de edad", "Mayor de edad"},
        {"Calle", "Calle"},
        {"Casilla marcada. Campos obligatorios", "Casilla marcada. Campos obligatorios"},
    };
    for (const Case& c : cases) EXPECT_EQ(mask(c.text), c.masked) << c.text;
}

// The user's saved facts, with the address as Mis datos keeps it (its parts named) and streets of
// other types saved as bare lines.
std::vector<SavedFact> savedFacts() {
    std::vector<SavedFact> facts;
    auto fact = [&](const char* owner, const char* kind, const char* value) -> SavedFact& {
        SavedFact& f = facts.emplace_back();
        f.owner = owner;
        f.kind = kind;
        f.value = value;
        return f;
    };
    fact("persona", "nombre_completo", "Ana Blanco Ruiz");
    fact("persona", "nif", "87654321X");
    fact("persona", "telefono", "699111222");
    fact("persona", "email", "ana.blanco@correo.es");
    fact("persona", "iban", "ES9121000418450200051332");
    fact("persona", "domicilio", "Calle Mayor 12, 28670 Villaviciosa de Odón").parts = {
        {"via", "Calle Mayor"}, {"numero", "12"}, {"cp", "28670"}, {"municipio", "Villaviciosa de Odón"}};
    for (const char* street : {"Avenida Valdezarza 17", "Plaza del Carmen 3", "Carretera de Toledo 40",
                               "Paseo de la Castellana 100", "Camino Viejo 8", "Travesía Almendro 3",
                               "Urbanización Los Olivos 4", "Barrio Alto 2"}) {
        fact("empresa", "domicilio_fiscal", street);
    }
    return facts;
}

// Writings of the data that a form may carry: a saved NIF by its digits or with a look-alike letter,
// typographic dashes in phones, NIFs and IBANs saved or not, saved streets with their type
// abbreviated, an e-mail address with its at sign and dots spelled out, a saved name in letters of
// another script, an IBAN whose country code stands apart. Each is masked and the words around it
// stay; the words, numbers and codes that forms need stay byte for byte.
TEST(AIPrivacyMask, UnusualWritingsOfTheDataAreMaskedAndTheFormsWordsStay) {
    const AIPrivacyMask mask(savedFacts());
    const Case masked[] = {
        {"DNI 87654321", "DNI [NIF]"},
        {"DNI/NIF 87654321 letra X", "DNI/NIF [NIF] letra X"},
        {"nif_87654321", "nif_[NIF]"},
        {"DNI 87.654.321", "DNI [NIF]"},
        {"NIF 87654321\u0425", "NIF [NIF]"},  // Cyrillic Ha
        {"Tel 699\u2013111\u2013222", "Tel [teléfono]"},
        {"Tel 699\u2011111\u2011222", "Tel [teléfono]"},
        {"Tel 699\u2212111\u2212222", "Tel [teléfono]"},
        {"Móvil 612\uFE63345\uFE63678", "Móvil [teléfono]"},
        {"NIF 12345678\u2013Z", "NIF [NIF]"},
        {"NIF 87654321\u2011X", "NIF [NIF]"},
        {"IBAN ES91\u22122100\u22120418\u22124502\u22120005\u22121332", "IBAN [IBAN]"},
        {"IBAN DE89\u20143704\u20140044\u20140532\u20140130\u201400", "IBAN [IBAN]"},
        {"Domicilio: C/ Mayor 12", "Domicilio: [dato]"},
        {"C/ Mayor, 12, Villaviciosa de Odón", "[dato], Villaviciosa de Odón"},
        {"c/Mayor", "[dato]"},
        {"Avda. Valdezarza 17, bajo", "[dato], bajo"},
        {"Av. Valdezarza", "[dato]"},
        {"Pza. del Carmen, 3", "[dato]"},
        {"Pl. del Carmen", "[dato]"},
        {"Ctra. de Toledo", "[dato]"},
        {"P.º de la Castellana 100", "[dato]"},
        {"Pº de la Castellana, 100", "[dato]"},
        {"Cno. Viejo 8", "[dato]"},
        {"Trva. Almendro", "[dato]"},
        {"Urb. Los Olivos 4", "[dato]"},
        {"Bº Alto 2", "[dato]"},
        {"ana.blanco (arroba) correo.es", "[correo]"},
        {"Correo: ana.blanco[at]correo[dot]es.", "Correo: [correo]."},
        {"ana.blanco [at] correo [dot] es", "[correo]"},
        {"ana.blanco arroba correo punto es", "[correo]"},
        {"Titular: \u0410na \u0412lanco", "Titular: [dato] [dato]"},  // Cyrillic A and Ve
        {"IBAN ES 91 2100 0418 4502 0005 1332", "IBAN [IBAN]"},
        {"ES91  2100  0418  4502  0005  1332", "[IBAN]"},
        {"IBAN ES 91  2100 0418 45 0200051332 (cuenta)", "IBAN [IBAN] (cuenta)"},
        {"91 2100 0418 4502 0005 1332", "[IBAN]"},
    };
    for (const Case& c : masked) EXPECT_EQ(mask(c.text), c.masked) << c.text;

    const char* const kept[] = {
        "Casilla 0435 0436 0437 0438",
        "Casilla 0435\u20130436\u20130437\u20130438",
        "Deje en blanco esta casilla",
        "Mayor de edad",
        "c) Mayor de edad",
        "C/ Mayoral 5",
        "Importe: 1.234,56 €",
        "Importe: 87.654.321,00 €",
        "Fecha: 15/06/2024",
        "15\u201306\u20132024",
        "Páginas 6\u201312",
        "C.P. 28670 Villaviciosa de Odón",
        "Número de expediente 12345678",
        "DNI 87654322",
        "Referencia 187654321",
        "Calle",
        "Avda.",
        "Plaza de España",
        "Paseo de Gracia 100",
        "Casillas ES 01 02 03 04 05 06 07 08 09 10 11 12",
        "Dos arroba de aceite.",
        "El correo es obligatorio",
        "Modelo 030 \u2013 Declaración censal",
    };
    for (const char* text : kept) EXPECT_EQ(mask(text), text);
}

}  // namespace
