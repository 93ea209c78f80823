// The decisions transport: what is logged and what comes back for each kind of answer.
#include <gtest/gtest.h>

#include "AIFixtures.h"
#include "forms/ai/AILog.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/LabelFixtures.h"

namespace {

using namespace LabelFixtures;
using Reply = StubHTTPServer::Reply;
using nlohmann::json;

const json kBody = {{"model", "typesafe/jev-1.13"}};

AICall lastCall(const AISandbox& box) {
    const auto calls = AILog::calls(box.settings().logPath);
    EXPECT_FALSE(calls.empty());
    return calls.empty() ? AICall{} : calls.front();
}

TEST(AITransport, AnswersAndTheirLogRecords) {
    AISandbox box;
    const JevLabeler labeler("K", box.settings());

    const std::string full =
        R"({"answers":{"quien_1":{"probabilities":{"titular":1}}},"model":"typesafe/jev-1.13:x",)"
        R"("provider":"Proveedor","usage":{"input_tokens":1200,"output_tokens":80,"cost":0.0042}})";
    box.stub.enqueue(Reply::json(200, full));
    auto answers = labeler.post(kBody, "Solicitud", 7);
    ASSERT_TRUE(answers);
    EXPECT_TRUE(answers->contains("quien_1"));
    AICall call = lastCall(box);
    EXPECT_EQ(call.result, "ok");
    EXPECT_EQ(call.form, "Solicitud");
    EXPECT_EQ(call.fields, 7);
    EXPECT_EQ(call.model, "typesafe/jev-1.13:x");
    EXPECT_EQ(call.provider, "Proveedor");
    EXPECT_EQ(call.inputTokens, 1200);
    EXPECT_EQ(call.outputTokens, 80);
    EXPECT_EQ(call.cost, 0.0042);
    EXPECT_EQ(call.request, kBody.dump());
    EXPECT_EQ(call.response, full);
    EXPECT_GE(call.seconds, 0);
    EXPECT_LE(std::chrono::system_clock::now() - call.date, std::chrono::minutes(1));

    // Refused: logged with what the service reported, answers not used.
    box.stub.enqueue(Reply::json(401, R"({"answers":{},"usage":{"input_tokens":3,"output_tokens":0}})"));
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.result, "error 401");
    EXPECT_EQ(call.inputTokens, 3);
    EXPECT_EQ(call.model, "typesafe/jev-1.13");

    box.stub.enqueue(Reply::json(200, "esto no es JSON"));
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.result, "ok");
    EXPECT_EQ(call.response, "esto no es JSON");

    box.stub.enqueue(Reply::json(200, R"({"answers":{}})"));
    EXPECT_TRUE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.model, "typesafe/jev-1.13");
    EXPECT_FALSE(call.inputTokens || call.outputTokens || call.cost || call.provider);

    box.stub.enqueue(Reply::json(200, R"({"answers":[],"usage":{"cost":0,"input_tokens":"12"}})"));
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.cost, 0.0);
    EXPECT_FALSE(call.inputTokens);

    box.stub.enqueue(Reply::closeSocket());
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.result, "sin conexión");
    EXPECT_EQ(call.model, "typesafe/jev-1.13");
    EXPECT_FALSE(call.provider || call.inputTokens || call.outputTokens || call.cost || call.response);
    EXPECT_TRUE(call.request);
    EXPECT_EQ(AILog::calls(box.settings().logPath).size(), 6u);
}

TEST(AITransport, HostileAnswersCountAsNoAnswer) {
    AISandbox box;
    const JevLabeler labeler("K", box.settings());
    std::string deep = R"({"answers":{"usage":)";
    for (int i = 0; i < 70; ++i) deep += "[";
    for (int i = 0; i < 70; ++i) deep += "]";
    deep += "}}";
    box.stub.enqueue(Reply::json(200, deep));
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    AICall call = lastCall(box);
    EXPECT_EQ(call.result, "ok");
    EXPECT_FALSE(call.response);

    box.stub.enqueue(Reply::json(200, R"({"answers":{},"x":")" + std::string(5u << 20, 'x') + "\"}"));
    EXPECT_FALSE(labeler.post(kBody, "Solicitud", 1));
    call = lastCall(box);
    EXPECT_EQ(call.result, "ok");
    EXPECT_FALSE(call.response);

    // A form name that is not UTF-8 still makes a request, and a log line.
    box.stub.enqueue(Reply::json(200, R"({"answers":{}})"));
    EXPECT_TRUE(labeler.post({{"model", "m"}, {"state", {{"documento", "Nombre \xff roto"}}}}, "Nombre \xff", 1));
    EXPECT_TRUE(json::accept(box.stub.requests().back().body));
    EXPECT_EQ(AILog::calls(box.settings().logPath).size(), 3u);
}

TEST(AITransport, AnswersBecomeLabels) {
    AISandbox box;
    const std::vector<FormUnit> units = {unit(field(7, 100, 700)), boxes(40, 8, 650), unit(field(60, 100, 600)),
                                         unit(field(61, 100, 580))};
    json answers = {
        {"quien_7", {{"probabilities", {{"titular", 0.9}, {"representante", 0.1}}}}},
        {"que_7", {{"probabilities", {{"nif", 0.95}, {"telefono", 0.05}}}}},
        {"quien_40", {{"probabilities", {{"titular", 1}}}}},
        {"que_40", {{"probabilities", {{"cp", 1}}}}},
        // 60 lacks its who-question; 61's probabilities hold a text.
        {"que_60", {{"probabilities", {{"nif", 1}}}}},
        {"quien_61", {{"probabilities", {{"titular", "mucho"}}}}},
        {"que_61", {{"probabilities", {{"nif", 1}}}}},
        {"quien_99", {{"probabilities", {{"titular", 1}}}}},
    };
    box.stub.enqueue(Reply::json(200, json{{"answers", answers}}.dump()));
    const Labels labels = JevLabeler("K", box.settings()).ask(units, units, "Solicitud", Catalogue::who());
    ASSERT_TRUE(labels.contains(7));
    EXPECT_EQ(labels.at(7).label, "titular.nif");
    EXPECT_NEAR(labels.at(7).p, 0.855, 1e-12);
    EXPECT_FALSE(labels.at(7).part);
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(labels.contains(40 + i));
        EXPECT_EQ(labels.at(40 + i).part, i + 1);
        EXPECT_EQ(labels.at(40 + i).label, labels.at(40).label);
    }
    EXPECT_FALSE(labels.contains(60));
    EXPECT_FALSE(labels.contains(61));
    EXPECT_EQ(labels.size(), 9u);

    box.stub.enqueue(Reply::json(500, json{{"answers", answers}}.dump()));
    EXPECT_TRUE(JevLabeler("K", box.settings()).ask(units, units, "Solicitud", Catalogue::who()).empty());
}

}  // namespace
