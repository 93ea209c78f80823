#include <gtest/gtest.h>

#include "LabelFixtures.h"
#include "forms/labels/Catalogue.h"

namespace {

using Catalogue::decode;
using Catalogue::label;

TEST(Catalogue, TablesHoldTheVocabulary) {
    EXPECT_EQ(Catalogue::who().size(), 6u);
    EXPECT_EQ(Catalogue::person().size(), 56u);
    EXPECT_EQ(Catalogue::signature().size(), 7u);
    EXPECT_EQ(Catalogue::caseData().size(), 9u);
    EXPECT_EQ(Catalogue::nobody().size(), 3u);
    EXPECT_EQ(Catalogue::what().size(), 75u);

    EXPECT_EQ(Catalogue::who().at("firma"),
              "Lugar, fecha o nombre de la firma («En … a … de … de …», «Fdo.:»), o el recuadro "
              "para firmar.");
    EXPECT_EQ(Catalogue::what().at("nombre"),
              "solo el nombre de pila (o la razón social si el campo es «nombre o razón social» y "
              "los apellidos van aparte)");
    EXPECT_EQ(Catalogue::what().at("contacto_completo"),
              "varios datos de contacto en un solo campo («datos de contacto»: correo y teléfono)");
    EXPECT_EQ(
        Catalogue::what().at("referencia"),
        "nº de expediente, liquidación, recibo, referencia catastral, matrícula, convocatoria");
    EXPECT_EQ(Catalogue::what().at("tipo_tramite"),
              "casillas del tipo de trámite (alta, baja, modificación, causa…)");
    EXPECT_EQ(Catalogue::what().at("baja_todas"), "casilla «dar de baja todas las cuentas»");
    EXPECT_EQ(Catalogue::what().at("decorativo"), "campo decorativo, etiqueta, tapa o botón");
}

TEST(Catalogue, ThirdPartyWordingChangesTwoRows) {
    const Catalogue::Table& plain = Catalogue::who();
    const Catalogue::Table& third = Catalogue::whoThirdParties();
    ASSERT_EQ(third.size(), 6u);
    int changed = 0;
    for (const auto& [key, text] : plain) changed += third.at(key) != text;
    EXPECT_EQ(changed, 2);
    EXPECT_EQ(third.at("titular"),
              "Dato de la persona o empresa que presenta el formulario (solicitante, interesado, "
              "declarante, acreedor, deudor, el tercero de una ficha o alta de terceros, otorgante "
              "de una representación), incluidos su domicilio, su contacto y su cuenta bancaria.");
    EXPECT_EQ(third.at("otra_persona"),
              plain.at("otra_persona") +
                  " El «tercero» de una ficha de terceros no es otra persona: es el titular.");
}

TEST(Catalogue, LabelsOfPairs) {
    EXPECT_EQ(label("titular", "cargo"), std::nullopt);
    EXPECT_EQ(label("representante", "cargo"), "representante.cargo");
    EXPECT_EQ(label("representante", "razon_social"), "representante.nombre_completo");
    EXPECT_EQ(label("representante", "cp"), "representante.domicilio");
    EXPECT_EQ(label("titular", "baja_todas"), "baja.todas");
    EXPECT_EQ(label("otra_persona", "baja_iban"), std::nullopt);
    EXPECT_EQ(label("otra_persona", "email"), "otra_persona.dato");
    EXPECT_EQ(label("tramite", "medio_notificacion"), "contacto.medio_notificacion");
    EXPECT_EQ(label("firma", "nif"), std::nullopt);
    EXPECT_EQ(label("nadie", "decorativo"), "no_rellenar.decorativo");

    EXPECT_EQ(label("titular", "tipo_persona"), "titular.tipo");
    EXPECT_EQ(label("titular", "domicilio_resto"), "domicilio.resto");
    EXPECT_EQ(label("titular", "persona_contacto"), "contacto.persona");
    EXPECT_EQ(label("titular", "pais_banco"), "banco.pais");
    EXPECT_EQ(label("titular", "medio_notificacion"), "contacto.medio_notificacion");
    EXPECT_EQ(label("representante", "documento_tipo"), "representante.nif");
    EXPECT_EQ(label("representante", "iban"), std::nullopt);
    EXPECT_EQ(label("firma", "firmante"), "firma.nombre");
    EXPECT_EQ(label("firma", "caja_firma"), "firma.caja");
    EXPECT_EQ(label("tramite", "otro_tramite"), "tramite.otro");
    EXPECT_EQ(label("nadie", "lo_rellena_banco"), "no_rellenar.entidad");
    EXPECT_EQ(label("alguien", "nif"), std::nullopt);
    EXPECT_EQ(label("Titular", "nif"), std::nullopt);

    // Every titular pair of the person table but "cargo" is accepted.
    int accepted = 0;
    for (const auto& [what, text] : Catalogue::person())
        accepted += label("titular", what).has_value();
    EXPECT_EQ(accepted, 55);
}

TEST(Catalogue, DecodeTakesTheBestAcceptedPair) {
    auto best = decode({{"titular", 0.9}, {"representante", 0.1}}, {{"nif", 0.95}, {"cp", 0.05}});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->first, "titular.nif");
    EXPECT_DOUBLE_EQ(best->second, 0.855);

    EXPECT_EQ(decode({{"titular", 0}, {"firma", 0}}, {{"nif", 0}, {"dia", 0}}), std::nullopt);
    EXPECT_EQ(decode({}, {{"nif", 1}}), std::nullopt);

    // firma/nif would be 0.99 but is refused.
    best = decode({{"firma", 0.99}, {"titular", 0.01}}, {{"nif", 1.0}});
    ASSERT_TRUE(best);
    EXPECT_EQ(best->first, "titular.nif");

    // A tie always gives the pair met first in key order.
    for (int run = 0; run < 3; ++run) {
        best = decode({{"tramite", 0.5}, {"firma", 0.5}}, {{"importe", 0.5}, {"lugar", 0.5}});
        ASSERT_TRUE(best);
        EXPECT_EQ(best->first, "firma.lugar");
        EXPECT_DOUBLE_EQ(best->second, 0.25);
    }
}

TEST(Catalogue, ThirdPartyForms) {
    using LabelFixtures::captioned;
    using LabelFixtures::unit;
    auto about = [](std::string text) {
        FormField f = captioned(1, "Nombre");
        f.header = std::move(text);
        return Catalogue::isAboutThirdParties({unit(f)});
    };
    EXPECT_FALSE(about("Cesión de datos a terceros"));
    EXPECT_TRUE(about("Alta de terceros"));
    EXPECT_TRUE(about("ALTA DE TERCER"));
    EXPECT_TRUE(about("Ficha del Tercero"));
    EXPECT_FALSE(about("Terceroa"));
    EXPECT_FALSE(Catalogue::isAboutThirdParties({}));

    // Any unit's captions count, the section and the text above among them.
    FormField plain = captioned(1, "NIF");
    FormField later = captioned(2, "Nombre");
    later.above = "Datos del tercero";
    EXPECT_TRUE(Catalogue::isAboutThirdParties({unit(plain), unit(later)}));
    later.above.clear();
    later.section = "1. Alta de terceros";
    EXPECT_TRUE(Catalogue::isAboutThirdParties({unit(plain), unit(later)}));
}

}  // namespace
