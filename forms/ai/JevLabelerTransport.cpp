// One decisions request to the service, logged whatever its outcome.
#include "forms/ai/JevLabeler.h"

#include <chrono>
#include <cmath>
#include <limits>

#include "forms/ai/AILog.h"
#include "forms/ai/AIText.h"
#include "platform/HTTPClient.h"

namespace {

using nlohmann::json;

// Deeper answers are not parsed: no real answer nests like that, and a hostile one must not
// exhaust the stack of whoever walks it later.
constexpr std::size_t kMaxAnswerDepth = 64;

const char* const kNoConnection = "sin conexión";

// A whole number of JSON: an integer, or a float with an integral value.
std::optional<std::int64_t> integerMember(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) return std::nullopt;
    if (it->is_number_integer()) {
        if (it->is_number_unsigned() &&
            it->get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return it->get<std::int64_t>();
    }
    if (it->is_number_float()) {
        const double d = it->get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e15) return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::optional<std::string> stringMember(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

}  // namespace

std::optional<nlohmann::json> JevLabeler::post(const nlohmann::json& body, const std::string& formName,
                                               int fields, std::stop_token stop) const {
    using Clock = std::chrono::steady_clock;
    AICall call;
    call.date = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    call.form = mask_(formName);
    call.model = std::string(model);
    call.fields = fields;
    call.result = kNoConnection;
    std::optional<std::string> text;
    try {
        // Bytes that are not UTF-8 (a form name read from a broken file) are replaced, so the
        // body always serialises.
        text = body.dump(-1, ' ', false, json::error_handler_t::replace);
        call.request = text;
    } catch (...) {
        text.reset();
    }

    const auto start = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    const auto url = settings_.endpoint(decisionsPath);
    if (!url || !AIText::fitsHeader(apiKey_)) {
        // Nothing is sent: a base address that may not be used, or a key that would break the
        // request's headers.
        call.seconds = elapsed();
        AILog::add(call, settings_.logPath);
        return std::nullopt;
    }

    HTTPRequest request;
    request.method = "POST";
    request.url = *url;
    request.headers = {{"Authorization", "Bearer " + apiKey_}, {"Content-Type", "application/json"}};
    request.body = text;
    request.timeout = settings_.decisionsTimeout;
    request.timeoutKind = HTTPRequest::Timeout::noProgress;
    const HTTPResponse response = HTTPClient::send(request, stop);

    if (!response.status) {
        call.seconds = elapsed();
        AILog::add(call, settings_.logPath);
        return std::nullopt;
    }
    const int status = *response.status;
    json parsed;
    const bool readable = !response.tooLarge && !AIText::nestsDeeperThan(response.body, kMaxAnswerDepth);
    if (readable) {
        parsed = json::parse(response.body, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object()) parsed = json();
    }
    if (parsed.is_object()) {
        if (auto value = stringMember(parsed, "model")) call.model = *value;
        call.provider = stringMember(parsed, "provider");
        auto usage = parsed.find("usage");
        if (usage != parsed.end() && usage->is_object()) {
            call.inputTokens = integerMember(*usage, "input_tokens");
            call.outputTokens = integerMember(*usage, "output_tokens");
            auto cost = usage->find("cost");
            if (cost != usage->end() && cost->is_number()) call.cost = cost->get<double>();
        }
    }
    call.seconds = elapsed();
    call.result = status == 200 ? std::string("ok") : "error " + std::to_string(status);
    if (readable && AIText::isUTF8(response.body)) call.response = response.body;
    AILog::add(call, settings_.logPath);

    if (status != 200 || !parsed.is_object()) return std::nullopt;
    auto answers = parsed.find("answers");
    if (answers == parsed.end() || !answers->is_object()) return std::nullopt;
    return *answers;
}
