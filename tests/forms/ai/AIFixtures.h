#pragma once
// A sandbox for the AI labeller's tests: an in-memory key store, a defaults file and a call log in
// a temporary folder, an injected environment, and a stub service on 127.0.0.1.

#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "forms/ai/AISettings.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "support/StubHTTPServer.h"
#include "support/TestUtil.h"

struct AISandbox {
    testutil::TempDir dir;
    std::shared_ptr<MemorySecretStore> store = std::make_shared<MemorySecretStore>();
    std::shared_ptr<Defaults> defaults = std::make_shared<Defaults>(dir / "defaults.json");
    std::shared_ptr<std::map<std::string, std::string>> env =
        std::make_shared<std::map<std::string, std::string>>();
    StubHTTPServer stub;

    AISandbox() { (*env)["TINDRA_AI_BASE_URL"] = stub.baseURL(); }

    AISettings settings() const {
        AISettings s;
        s.defaults = defaults;
        s.secrets = store;
        auto vars = env;
        s.environment = [vars](const std::string& name) -> std::optional<std::string> {
            auto it = vars->find(name);
            if (it == vars->end()) return std::nullopt;
            return it->second;
        };
        s.account = "ana";
        s.logPath = dir / "state" / "tindra" / "Tindra-IA.jsonl";
        return s;
    }
};

// The body the stub received, parsed.
inline nlohmann::json bodyOf(const StubHTTPServer::Request& request) {
    return nlohmann::json::parse(request.body);
}

// An answer settling units: id -> (who, what), each with probability 1.
inline std::string answerFor(const std::map<int, std::pair<std::string, std::string>>& settled) {
    nlohmann::json answers = nlohmann::json::object();
    for (const auto& [id, pair] : settled) {
        answers["quien_" + std::to_string(id)] = {{"probabilities", {{pair.first, 1.0}}}};
        answers["que_" + std::to_string(id)] = {{"probabilities", {{pair.second, 1.0}}}};
    }
    return nlohmann::json{{"answers", answers}}.dump();
}
