// The switch, the stored key and the key check against a stub service.
#include <gtest/gtest.h>

#include <chrono>

#include "AIFixtures.h"
#include "forms/ai/AILog.h"
#include "forms/ai/JevLabeler.h"

namespace {

using Reply = StubHTTPServer::Reply;

TEST(AISettings, SwitchAndKeyPrecedence) {
    AISandbox box;
    const AISettings s = box.settings();
    EXPECT_TRUE(JevLabeler::enabled(s));  // never written
    box.defaults->set("formsAI", "no");   // not a Boolean: on
    EXPECT_TRUE(JevLabeler::enabled(s));
    EXPECT_FALSE(JevLabeler::isOn(s));
    EXPECT_FALSE(JevLabeler::key(s));

    ASSERT_TRUE(JevLabeler::save("sk-or-guardada\n", s));
    EXPECT_TRUE(JevLabeler::hasKey(s));
    EXPECT_TRUE(JevLabeler::isOn(s));
    EXPECT_EQ(JevLabeler::key(s), "sk-or-guardada");  // trimmed
    const auto& item = box.store->items.at({"openrouter-tindra", "ana"});
    EXPECT_EQ(item.label, "Tindra: clave de OpenRouter");
    EXPECT_EQ(item.data, "sk-or-guardada\n");  // stored exactly as given

    ASSERT_TRUE(JevLabeler::setEnabled(false, s));
    EXPECT_EQ(box.defaults->object("formsAI"), nlohmann::json(false));
    EXPECT_FALSE(JevLabeler::enabled(s));
    EXPECT_FALSE(JevLabeler::isOn(s));
    EXPECT_FALSE(JevLabeler::key(s));  // the store is ignored while off...
    (*box.env)["OPENROUTER_API_KEY"] = "sk-or-entorno\n";
    EXPECT_TRUE(JevLabeler::isOn(s));
    EXPECT_EQ(JevLabeler::key(s), "sk-or-entorno\n");  // ...the environment is not, and untrimmed
    (*box.env)["OPENROUTER_API_KEY"] = "";
    EXPECT_FALSE(JevLabeler::isOn(s));
    EXPECT_FALSE(JevLabeler::key(s));
}

TEST(AISettings, BlankKeySaveTwiceRemoveAndFailingStore) {
    AISandbox box;
    const AISettings s = box.settings();
    ASSERT_TRUE(JevLabeler::save(" \n\t ", s));
    EXPECT_TRUE(JevLabeler::hasKey(s));
    EXPECT_TRUE(JevLabeler::isOn(s));
    EXPECT_FALSE(JevLabeler::key(s));

    ASSERT_TRUE(JevLabeler::save("sk-or-a", s));
    ASSERT_TRUE(JevLabeler::save("sk-or-b", s));
    EXPECT_EQ(box.store->items.size(), 1u);
    EXPECT_EQ(JevLabeler::key(s), "sk-or-b");

    // A store that refuses the write keeps the old key.
    box.store->writeFault = MemorySecretStore::Fault::failed;
    EXPECT_FALSE(JevLabeler::save("sk-or-c", s));
    box.store->writeFault = MemorySecretStore::Fault::none;
    EXPECT_EQ(JevLabeler::key(s), "sk-or-b");

    // A store that cannot be read gives no key and no item.
    box.store->readFault = MemorySecretStore::Fault::unavailable;
    EXPECT_FALSE(JevLabeler::hasKey(s));
    EXPECT_FALSE(JevLabeler::key(s));
    box.store->readFault = MemorySecretStore::Fault::none;

    JevLabeler::removeKey(s);
    EXPECT_FALSE(JevLabeler::hasKey(s));
    JevLabeler::removeKey(s);  // nothing to remove: no error
}

TEST(AISettings, BaseAddress) {
    AISandbox box;
    AISettings s = box.settings();
    EXPECT_EQ(s.endpoint("/api/v1/key"), box.stub.baseURL() + "/api/v1/key");
    box.env->erase("TINDRA_AI_BASE_URL");
    EXPECT_EQ(s.baseURL(), "https://openrouter.ai");
    box.defaults->set("aiBaseURL", "https://ia.example.org/");
    EXPECT_EQ(s.endpoint("/api/v1/key"), "https://ia.example.org/api/v1/key");
    (*box.env)["TINDRA_AI_BASE_URL"] = "";  // empty: not set
    EXPECT_EQ(s.baseURL(), "https://ia.example.org");
    for (const char* loopback : {"http://localhost:9", "http://[::1]:9", "http://127.0.0.1"}) {
        (*box.env)["TINDRA_AI_BASE_URL"] = loopback;
        EXPECT_TRUE(s.endpoint("/x")) << loopback;
    }
    for (const char* refused : {"http://example.org", "http://127.0.0.2", "ftp://127.0.0.1", "file:///etc",
                                "no es una dirección", "http://127.0.0.1\n.example.org"}) {
        (*box.env)["TINDRA_AI_BASE_URL"] = refused;
        EXPECT_FALSE(s.endpoint("/x")) << refused;
        EXPECT_FALSE(JevLabeler::check("K", s)) << refused;
    }
    EXPECT_EQ(box.stub.requestCount(), 0u);
}

TEST(AISettings, CheckMapsStatuses) {
    AISandbox box;
    AISettings s = box.settings();
    const std::pair<int, std::optional<bool>> cases[] = {
        {200, true}, {401, false}, {403, false}, {402, std::nullopt}, {500, std::nullopt}};
    for (const auto& [status, expected] : cases) {
        box.stub.enqueue(Reply::json(status, "{}"));
        EXPECT_EQ(JevLabeler::check("sk-or-K", s), expected) << status;
    }
    const auto requests = box.stub.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].requestLine, "GET /api/v1/key HTTP/1.1");
    EXPECT_EQ(requests[0].header("authorization"), "Bearer sk-or-K");

    box.stub.enqueue(Reply::closeSocket());
    EXPECT_EQ(JevLabeler::check("sk-or-K", s), std::nullopt);

    s.checkTimeout = std::chrono::seconds(1);
    box.stub.enqueue(Reply::holdSocket());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(JevLabeler::check("sk-or-K", s), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    // A port nobody listens on: the stub's own, once it is gone.
    std::string closedBase;
    {
        StubHTTPServer gone;
        closedBase = gone.baseURL();
    }
    (*box.env)["TINDRA_AI_BASE_URL"] = closedBase;
    EXPECT_EQ(JevLabeler::check("sk-or-K", s), std::nullopt);
}

TEST(AISettings, KeyWithControlCharacterIsNeverSent) {
    AISandbox box;
    const AISettings s = box.settings();
    EXPECT_EQ(JevLabeler::check("abc\n", s), std::nullopt);
    EXPECT_EQ(JevLabeler::check("abc\r\nX-Inyectada: 1", s), std::nullopt);

    (*box.env)["OPENROUTER_API_KEY"] = "abc\n";
    ASSERT_EQ(JevLabeler::key(s), "abc\n");
    FormField f;
    f.id = 1;
    f.rect = Rect{100, 700, 100, 14};
    const std::vector<FormUnit> units = {FormUnit{{f}}};
    EXPECT_TRUE(JevLabeler("abc\n", s).labels(units, "Solicitud").empty());
    EXPECT_EQ(box.stub.requestCount(), 0u);
    const auto calls = AILog::calls(s.logPath);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].result, "sin conexión");
    EXPECT_TRUE(calls[0].request);
}

}  // namespace
