#include "forms/ai/AICall.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace {

using Json = nlohmann::json;

// A JSON integer, or a number with an integral value that fits.
std::optional<std::int64_t> integerOf(const Json& value) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e15) {
            return static_cast<std::int64_t>(d);
        }
    }
    return std::nullopt;
}

// Reads an optional member: missing or null is absent (true with `out` empty); a member of the
// wrong type is a decoding failure (false).
template <typename T, typename Read>
bool optionalMember(const Json& object, const char* name, std::optional<T>& out, Read read) {
    auto it = object.find(name);
    if (it == object.end() || it->is_null()) return true;
    out = read(*it);
    return out.has_value();
}

std::optional<std::string> stringOf(const Json& value) {
    if (!value.is_string()) return std::nullopt;
    return value.get<std::string>();
}

std::optional<double> numberOf(const Json& value) {
    if (!value.is_number()) return std::nullopt;
    return value.get<double>();
}

int digits(const std::string& text, std::size_t at, std::size_t count, bool& ok) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string AICall::isoDate(std::chrono::sys_seconds date) {
    namespace c = std::chrono;
    const auto day = c::floor<c::days>(date);
    const c::year_month_day ymd{day};
    const c::hh_mm_ss<c::seconds> time{date - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

std::optional<std::chrono::sys_seconds> AICall::parseDate(const std::string& text) {
    namespace c = std::chrono;
    // YYYY-MM-DDTHH:MM:SS then Z or ±HH:MM.
    if (text.size() < 20 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') ||
        text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    bool ok = true;
    const int y = digits(text, 0, 4, ok);
    const int mo = digits(text, 5, 2, ok);
    const int d = digits(text, 8, 2, ok);
    const int h = digits(text, 11, 2, ok);
    const int mi = digits(text, 14, 2, ok);
    const int s = digits(text, 17, 2, ok);
    if (!ok) return std::nullopt;
    int offset = 0;
    const std::string zone = text.substr(19);
    if (zone == "Z" || zone == "z") {
        offset = 0;
    } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        const int oh = digits(zone, 1, 2, ok);
        const int om = digits(zone, 4, 2, ok);
        if (!ok || oh > 23 || om > 59) return std::nullopt;
        offset = (oh * 60 + om) * 60 * (zone[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    const c::year_month_day ymd{c::year{y}, c::month{unsigned(mo)}, c::day{unsigned(d)}};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 60) return std::nullopt;
    return c::sys_days{ymd} + c::hours{h} + c::minutes{mi} + c::seconds{s} - c::seconds{offset};
}

nlohmann::json AICall::json() const {
    Json object = Json::object();
    object["date"] = isoDate(date);
    object["form"] = form;
    object["model"] = model;
    if (provider) object["provider"] = *provider;
    object["fields"] = fields;
    if (inputTokens) object["inputTokens"] = *inputTokens;
    if (outputTokens) object["outputTokens"] = *outputTokens;
    // JSON has no NaN or infinity: such a number would not read back.
    if (cost && std::isfinite(*cost)) object["cost"] = *cost;
    object["seconds"] = std::isfinite(seconds) ? seconds : 0.0;
    object["result"] = result;
    if (request) object["request"] = *request;
    if (response) object["response"] = *response;
    return object;
}

std::optional<AICall> AICall::fromJSON(const nlohmann::json& object) {
    if (!object.is_object()) return std::nullopt;
    auto member = [&](const char* name) -> const Json* {
        auto it = object.find(name);
        return it == object.end() ? nullptr : &*it;
    };
    const Json* date = member("date");
    const Json* form = member("form");
    const Json* model = member("model");
    const Json* fields = member("fields");
    const Json* seconds = member("seconds");
    const Json* result = member("result");
    if (!date || !form || !model || !fields || !seconds || !result) return std::nullopt;
    if (!date->is_string() || !form->is_string() || !model->is_string() || !seconds->is_number() ||
        !result->is_string()) {
        return std::nullopt;
    }
    AICall call;
    const auto parsedDate = parseDate(date->get<std::string>());
    const auto count = integerOf(*fields);
    if (!parsedDate || !count || *count < std::numeric_limits<int>::min() ||
        *count > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    call.date = *parsedDate;
    call.form = form->get<std::string>();
    call.model = model->get<std::string>();
    call.fields = static_cast<int>(*count);
    call.seconds = seconds->get<double>();
    call.result = result->get<std::string>();
    if (!optionalMember(object, "provider", call.provider, stringOf) ||
        !optionalMember(object, "inputTokens", call.inputTokens, integerOf) ||
        !optionalMember(object, "outputTokens", call.outputTokens, integerOf) ||
        !optionalMember(object, "cost", call.cost, numberOf) ||
        !optionalMember(object, "request", call.request, stringOf) ||
        !optionalMember(object, "response", call.response, stringOf)) {
        return std::nullopt;
    }
    return call;
}
