// Labelling a whole form through the stub service: batches, merge, fallback, surnames, stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>

#include "AIFixtures.h"
#include "forms/ai/AILog.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/labels/LabelFixtures.h"
#include "forms/labels/RuleLabeler.h"

namespace {

using namespace LabelFixtures;
using Reply = StubHTTPServer::Reply;
using nlohmann::json;

// The unit ids a request asked about.
std::vector<int> askedIds(const StubHTTPServer::Request& request) {
    std::vector<int> ids;
    const json body = bodyOf(request);
    for (auto it = body["questions"].begin(); it != body["questions"].end(); ++it) {
        if (it.key().starts_with("que_")) ids.push_back(std::stoi(it.key().substr(4)));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

std::vector<std::size_t> batchSizes(const StubHTTPServer& stub) {
    std::vector<std::size_t> sizes;
    for (const auto& request : stub.requests()) sizes.push_back(askedIds(request).size());
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

TEST(AIBatching, BatchesPerPage) {
    AISandbox box;
    std::vector<FormUnit> units;
    for (int i = 0; i < 25; ++i) units.push_back(unit(field(i + 1, 100, 800 - 20 * i)));
    EXPECT_TRUE(JevLabeler("K", box.settings()).labels(units, "Solicitud").empty());
    EXPECT_EQ(batchSizes(box.stub), (std::vector<std::size_t>{5, 10, 10}));

    AISandbox mixed;
    units.clear();
    for (int i = 0; i < 15; ++i) {
        const int page = (i % 5 == 0) ? 0 : 1;  // 3 on page 0, 12 on page 1, interleaved
        units.push_back(unit(field(i + 1, 100, 800 - 20 * i, 100, 14, page)));
    }
    const auto batches = JevLabeler::batches(units);
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].size(), 3u);
    EXPECT_EQ(batches[0][1].id(), 6);
    EXPECT_EQ(batches[1].size(), 10u);
    EXPECT_EQ(batches[1][0].id(), 2);
    EXPECT_EQ(batches[2].size(), 2u);
    JevLabeler("K", mixed.settings()).labels(units, "Solicitud");
    EXPECT_EQ(batchSizes(mixed.stub), (std::vector<std::size_t>{2, 3, 10}));
    for (const auto& request : mixed.stub.requests()) {
        const auto ids = askedIds(request);
        const int page = units[ids[0] - 1].first().pageIndex;
        for (int id : ids) EXPECT_EQ(units[id - 1].first().pageIndex, page);
    }
    const auto calls = AILog::calls(mixed.settings().logPath);
    ASSERT_EQ(calls.size(), 3u);
}

// Units 1 to 7 on page 0 (NIF, name, date and the signing line), 10 more on page 1.
std::vector<FormUnit> twoPageForm() {
    std::vector<FormUnit> units = {unit(captioned(1, "NIF", 100, 700)),   unit(captioned(2, "Nombre", 100, 680)),
                                   unit(captioned(3, "Fecha", 100, 660)), unit(captioned(4, "En", 40, 100)),
                                   unit(captioned(5, "a", 160, 100)),     unit(captioned(6, "de", 280, 100)),
                                   unit(captioned(7, "de", 400, 100))};
    for (int i = 0; i < 10; ++i) units.push_back(unit(field(8 + i, 100, 700 - 20 * i, 100, 14, 1)));
    return units;
}

TEST(AIBatching, FailedBatchKeepsOthersAndAllFailingFallsBackToRules) {
    AISandbox box;
    (*box.env)["OPENROUTER_API_KEY"] = "K";
    box.stub.setHandler([](const StubHTTPServer::Request& request) {
        if (askedIds(request).front() == 1) {
            return Reply::json(200, answerFor({{2, {"titular", "nombre_completo"}}, {6, {"firma", "dia"}}}));
        }
        return Reply::json(500, "{}");
    });
    const std::vector<FormUnit> units = twoPageForm();
    const Labels labels = FieldLabeler::labels(units, "Solicitud", JevLabeler::labeler(box.settings()));
    EXPECT_EQ(box.stub.requestCount(), 2u);
    EXPECT_FALSE(labels.contains(1));  // the rules would say titular.nif
    EXPECT_EQ(labels.at(2).label, "titular.nombre_completo");
    EXPECT_EQ(labels.at(3).label, "firma.fecha");  // signing date
    EXPECT_EQ(labels.at(6).label, "firma.mes");    // signature order
    for (int id = 8; id <= 17; ++id) EXPECT_FALSE(labels.contains(id));

    AISandbox failing;
    (*failing.env)["OPENROUTER_API_KEY"] = "K";
    failing.stub.setHandler([](const StubHTTPServer::Request&) { return Reply::json(500, "{}"); });
    const Labels rules = FieldLabeler::labels(units, "Solicitud", FieldLabeler::rulesOnly());
    EXPECT_EQ(FieldLabeler::labels(units, "Solicitud", JevLabeler::labeler(failing.settings())), rules);
    EXPECT_EQ(rules.at(1).label, "titular.nif");
    EXPECT_EQ(AILog::calls(failing.settings().logPath).size(), 2u);
}

TEST(AIBatching, NothingIsSentWithoutKeyOrUnits) {
    AISandbox box;
    const std::vector<FormUnit> units = twoPageForm();
    const Labels rules = FieldLabeler::labels(units, "Solicitud", FieldLabeler::rulesOnly());
    EXPECT_EQ(FieldLabeler::labels(units, "Solicitud", JevLabeler::labeler(box.settings())), rules);
    (*box.env)["OPENROUTER_API_KEY"] = "K";
    EXPECT_TRUE(FieldLabeler::labels({}, "Solicitud", JevLabeler::labeler(box.settings())).empty());
    EXPECT_EQ(box.stub.requestCount(), 0u);
    EXPECT_TRUE(AILog::calls(box.settings().logPath).empty());
}

TEST(AIBatching, InFlightCapDoesNotChangeResults) {
    AISandbox box;
    std::vector<FormUnit> units;
    for (int i = 0; i < 200; ++i) units.push_back(unit(field(i + 1, 100, 700 - 3 * (i % 10), 100, 14, i / 10)));
    box.stub.setHandler([](const StubHTTPServer::Request& request) {
        std::map<int, std::pair<std::string, std::string>> settled;
        for (int id : askedIds(request)) settled[id] = {"titular", id % 2 ? "nif" : "telefono"};
        Reply reply = Reply::json(200, answerFor(settled));
        reply.delay = std::chrono::milliseconds(20);
        return reply;
    });
    AISettings narrow = box.settings();
    narrow.maxInFlight = 4;
    const Labels few = JevLabeler("K", narrow).labels(units, "Solicitud");
    EXPECT_LE(box.stub.maxInFlight(), 4);
    EXPECT_EQ(few.size(), 200u);
    const Labels many = JevLabeler("K", box.settings()).labels(units, "Solicitud");
    EXPECT_EQ(many, few);
    EXPECT_LE(box.stub.maxInFlight(), 32);
    EXPECT_EQ(box.stub.requestCount(), 40u);
}

// The service holds every request, so without the stop the transfers would end only at their own
// time-out: the stop must end them long before it.
TEST(AIBatching, StopEndsTransfersLongBeforeTheirTimeOut) {
    AISandbox box;
    box.stub.setHandler([](const StubHTTPServer::Request&) { return Reply::holdSocket(); });
    std::vector<FormUnit> units;
    for (int i = 0; i < 100; ++i) units.push_back(unit(field(i + 1, 100, 700, 100, 14, i)));
    const AISettings settings = box.settings();
    std::stop_source stop;
    auto result = std::async(std::launch::async, [&] {
        return JevLabeler("K", settings).labels(units, "Solicitud", stop.get_token());
    });
    const auto sendingEnds = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (box.stub.requestCount() < 32 && std::chrono::steady_clock::now() < sendingEnds)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::size_t sent = box.stub.requestCount();
    stop.request_stop();
    ASSERT_GE(sent, 32u) << "Only " << sent << " of 32 requests reached the service within 30 s.";
    const auto limit = settings.decisionsTimeout / 4;
    ASSERT_EQ(result.wait_for(limit), std::future_status::ready)
        << "The held transfers did not end within " << limit.count() << " ms of the stop; their time-out is "
        << settings.decisionsTimeout.count() << " ms.";
    EXPECT_TRUE(result.get().empty());
    EXPECT_EQ(box.stub.requestCount(), 32u);  // no batch starts after the stop
    for (const auto& call : AILog::calls(box.settings().logPath)) EXPECT_EQ(call.result, "sin conexión");
}

Labels surnameLabels(const std::vector<FormUnit>& units, const std::string& label = "titular.apellidos") {
    Labels labels;
    for (const auto& u : units) labels[u.id()] = FieldLabel{label, std::nullopt, 0.7};
    return labels;
}

TEST(AISurnames, SplitsPairsOnOneLine) {
    // Side by side, and stacked 30 points apart.
    std::vector<FormUnit> units = {unit(field(1, 300, 500)), unit(field(2, 100, 500)), unit(field(3, 100, 400)),
                                   unit(field(4, 100, 370))};
    Labels labels = surnameLabels(units);
    JevLabeler::surnames(units, labels);
    EXPECT_EQ(labels.at(2), (FieldLabel{"titular.apellido1", std::nullopt, 0.7}));
    EXPECT_EQ(labels.at(1).label, "titular.apellido2");
    EXPECT_EQ(labels.at(3).label, "titular.apellido1");
    EXPECT_EQ(labels.at(4).label, "titular.apellido2");

    // 31 points apart, or on different pages: unchanged. Three on a line: the third stays.
    units = {unit(field(1, 100, 400)), unit(field(2, 100, 369))};
    labels = surnameLabels(units, "representante.apellidos");
    JevLabeler::surnames(units, labels);
    EXPECT_EQ(labels.at(1).label, "representante.apellidos");
    EXPECT_EQ(labels.at(2).label, "representante.apellidos");
    units = {unit(field(1, 100, 400)), unit(field(2, 300, 400, 100, 14, 1))};
    labels = surnameLabels(units);
    JevLabeler::surnames(units, labels);
    EXPECT_EQ(labels.at(1).label, "titular.apellidos");
    units = {unit(field(1, 100, 400)), unit(field(2, 250, 400)), unit(field(3, 400, 400))};
    labels = surnameLabels(units);
    labels[99] = FieldLabel{"titular.apellidos", std::nullopt, 0.5};  // no field: skipped
    JevLabeler::surnames(units, labels);
    EXPECT_EQ(labels.at(1).label, "titular.apellido1");
    EXPECT_EQ(labels.at(2).label, "titular.apellido2");
    EXPECT_EQ(labels.at(3).label, "titular.apellidos");
    EXPECT_EQ(labels.at(99).label, "titular.apellidos");
}

TEST(AISurnames, FullNameNextToSurnamesIsTheGivenName) {
    const std::vector<FormUnit> units = {unit(field(1, 100, 500)), unit(field(2, 100, 460)),
                                         unit(field(3, 100, 459)), unit(field(4, 100, 540, 100, 14, 1))};
    Labels labels = {{1, {"titular.apellido2", std::nullopt, 0.9}},
                     {2, {"titular.nombre_completo", std::nullopt, 0.8}},
                     {3, {"titular.nombre_completo", std::nullopt, 0.8}},
                     {4, {"titular.nombre_completo", std::nullopt, 0.8}}};
    JevLabeler::surnames(units, labels);
    EXPECT_EQ(labels.at(2), (FieldLabel{"titular.nombre", std::nullopt, 0.8}));  // 40 points
    EXPECT_EQ(labels.at(3).label, "titular.nombre_completo");                   // 41 points
    EXPECT_EQ(labels.at(4).label, "titular.nombre_completo");                   // other page
}

}  // namespace
