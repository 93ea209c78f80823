// The decisions request as the stub service receives it.
#include <gtest/gtest.h>

#include "AIFixtures.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/LabelFixtures.h"

namespace {

using namespace LabelFixtures;
using nlohmann::json;

// Asks about `batch` and gives the request the stub received.
StubHTTPServer::Request asked(AISandbox& box, const std::vector<FormUnit>& batch,
                              const std::vector<FormUnit>& all, const Catalogue::Table& who = Catalogue::who()) {
    const std::size_t before = box.stub.requestCount();
    JevLabeler("K", box.settings()).ask(batch, all, "Solicitud de ayuda", who);
    const auto requests = box.stub.requests();
    EXPECT_EQ(requests.size(), before + 1);
    return requests.back();
}

TEST(AIRequest, BareUnitAndHeaders) {
    AISandbox box;
    FormField f = field(5, 56.9, 700.2);
    f.name = "";
    f.value = "valor secreto";
    const std::vector<FormUnit> units = {unit(f)};
    const auto request = asked(box, units, units);
    EXPECT_EQ(request.requestLine, "POST /api/alpha/decisions HTTP/1.1");
    EXPECT_EQ(request.header("authorization"), "Bearer K");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.body.find("valor secreto"), std::string::npos);

    const json body = bodyOf(request);
    EXPECT_EQ(body.size(), 4u);
    EXPECT_EQ(body["model"], "typesafe/jev-1.13");
    EXPECT_EQ(body["provider"], json({{"data_collection", "deny"}}));
    EXPECT_EQ(body["state"]["documento"],
              "Formulario administrativo español «Solicitud de ayuda». Hay que decidir, para cada campo, de "
              "quién es el dato que va en él y qué dato es.");
    const json expected = {{"campo", "#5"},
                           {"pagina", 1},
                           {"tipo", "texto"},
                           {"posicion", "x=56 y=700 (y mayor = más arriba)"},
                           {"nombre_interno", ""}};
    EXPECT_EQ(body["state"]["campos_cercanos"], json::array({expected}));
    const json& questions = body["questions"];
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions["quien_5"]["type"], "choice");
    EXPECT_EQ(questions["quien_5"]["instructions"], "¿De quién es el dato que va en el campo #5?");
    EXPECT_EQ(questions["que_5"]["instructions"], "¿Qué dato va en el campo #5?");
    EXPECT_EQ(questions["quien_5"]["criteria"].size(), Catalogue::who().size());
    EXPECT_EQ(questions["que_5"]["criteria"].size(), Catalogue::what().size());
    EXPECT_EQ(questions["que_5"]["criteria"]["nif"], Catalogue::what().at("nif"));
}

TEST(AIRequest, DescriptionsOfBoxesCheckBoxesAndTexts) {
    AISandbox box;
    FormUnit boxes8 = boxes(40, 8, 600);
    boxes8.fields[0].pageIndex = 2;
    for (auto& f : boxes8.fields) f.pageIndex = 2;
    FormField tick = field(50, -3.7, 560, 10, 10, 2);
    tick.kind = FormField::Kind::check;
    tick.exportValue = "Sí";
    tick.name = std::string(30, 'a') + std::string(70, 'b') + "ñ";
    tick.section = "1. DATOS DEL SOLICITANTE";
    tick.header = "Cabecera";
    tick.tooltip = "Ayuda";
    tick.left = "Izquierda";
    tick.above = "Encima";
    tick.right = "Derecha";
    tick.context = "Más arriba";
    tick.captions = {"Uno", "Dos"};
    tick.maxLength = 3;
    const std::vector<FormUnit> units = {boxes8, unit(tick)};
    const json body = bodyOf(asked(box, units, units));
    const json& described = body["state"]["campos_cercanos"];
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[0]["campo"], "#40");
    EXPECT_EQ(described[0]["pagina"], 3);
    EXPECT_EQ(described[0]["cajitas"], "8 cajitas de un carácter en fila");
    EXPECT_EQ(described[0]["max_caracteres"], 1);
    const json expectedTick = {{"campo", "#50"},
                               {"pagina", 3},
                               {"tipo", "casilla"},
                               {"posicion", "x=-3 y=560 (y mayor = más arriba)"},
                               {"nombre_interno", std::string(59, 'b') + "ñ"},
                               {"apartado", "1. DATOS DEL SOLICITANTE"},
                               {"cabecera", "Cabecera"},
                               {"tooltip", "Ayuda"},
                               {"texto_izquierda", "Izquierda"},
                               {"texto_encima", "Encima"},
                               {"texto_derecha", "Derecha"},
                               {"texto_mas_arriba", "Más arriba"},
                               {"valor_casilla", "Sí"},
                               {"rotulos_encima", {"Uno", "Dos"}},
                               {"max_caracteres", 3}};
    EXPECT_EQ(described[1], expectedTick);
    EXPECT_EQ(body["questions"]["que_40"]["instructions"], "¿Qué dato va en el campo #40 (grupo de 8 cajitas)?");
    EXPECT_EQ(body["questions"]["quien_40"]["instructions"],
              "¿De quién es el dato que va en el campo #40 (grupo de 8 cajitas)?");
    EXPECT_FALSE(body["questions"].contains("que_41"));
}

TEST(AIRequest, ContextBandSectionsAndCap) {
    AISandbox box;
    FormField asked5 = field(1, 100, 500);
    asked5.section = "2. DOMICILIO";
    FormField below = field(2, 100, 330);  // 170 below the batch
    FormField belowSameSection = field(3, 100, 330);
    belowSameSection.section = "2. DOMICILIO";
    FormField edge = field(4, 100, 340);  // exactly 160 below: inside
    FormField otherPage = field(5, 100, 500, 100, 14, 1);
    const std::vector<FormUnit> all = {unit(asked5), unit(below), unit(belowSameSection), unit(edge),
                                       unit(otherPage)};
    json described = bodyOf(asked(box, {all[0]}, all))["state"]["campos_cercanos"];
    std::vector<std::string> ids;
    for (const auto& d : described) ids.push_back(d["campo"]);
    EXPECT_EQ(ids, (std::vector<std::string>{"#1", "#4", "#3"}));

    // 100 units in the band: the 80 highest are described, left to right at equal height.
    std::vector<FormUnit> many;
    for (int i = 0; i < 100; ++i) many.push_back(unit(field(i + 1, 300 - (i % 2) * 100, 400 + i)));
    described = bodyOf(asked(box, {many[0]}, many))["state"]["campos_cercanos"];
    ASSERT_EQ(described.size(), 80u);
    EXPECT_EQ(described[0]["campo"], "#100");
    EXPECT_EQ(described[79]["campo"], "#21");

    std::vector<FormUnit> row;
    for (int i = 0; i < 90; ++i) row.push_back(unit(field(i + 1, 500 - i, 400)));
    described = bodyOf(asked(box, {row[0]}, row))["state"]["campos_cercanos"];
    ASSERT_EQ(described.size(), 80u);
    EXPECT_EQ(described[0]["campo"], "#90");  // leftmost first
}

TEST(AIRequest, ThirdPartyFormsGetTheirWhoTable) {
    AISandbox box;
    FormField f = field(1, 100, 500);
    f.section = "ALTA DE TERCEROS";
    const std::vector<FormUnit> units = {unit(f)};
    JevLabeler("K", box.settings()).labels(units, "Alta");
    const json body = bodyOf(box.stub.requests().at(0));
    json expected = json::object();
    for (const auto& [key, text] : Catalogue::whoThirdParties()) expected[key] = text;
    EXPECT_EQ(body["questions"]["quien_1"]["criteria"], expected);
}

}  // namespace
