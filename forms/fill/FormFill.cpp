#include "forms/fill/FormFill.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::json;

[[noreturn]] void fail(const std::string& key) {
    throw FormFill::DecodeError("Los datos guardados del formulario no son válidos (campo «" + key +
                                "»).");
}

const json& required(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) fail(key);
    return *found;
}

// Nothing for a missing key or null.
const json* optional(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) return nullptr;
    return &*found;
}

std::string readText(const json& value, const char* key) {
    if (!value.is_string()) fail(key);
    return value.get<std::string>();
}

double number(const json& value, const char* key) {
    if (!value.is_number()) fail(key);
    double result = value.get<double>();
    if (!std::isfinite(result)) fail(key);
    return result;
}

// An integer written as an integer or as a number with an integral value (3 or 3.0).
std::int64_t integer(const json& value, const char* key) {
    if (value.is_number_integer()) {
        if (value.is_number_unsigned() &&
            value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
            fail(key);
        return value.get<std::int64_t>();
    }
    if (!value.is_number_float()) fail(key);
    double result = value.get<double>();
    // 2^63 itself does not fit; every double below it in magnitude and integral does.
    if (!std::isfinite(result) || std::trunc(result) != result || result >= 9223372036854775808.0 ||
        result < -9223372036854775808.0)
        fail(key);
    return static_cast<std::int64_t>(result);
}

bool boolean(const json& value, const char* key) {
    if (!value.is_boolean()) fail(key);
    return value.get<bool>();
}

// [[x, y], [width, height]]
Rect readRect(const json& value) {
    auto pair = [&](const json& element) {
        if (!element.is_array() || element.size() != 2) fail("rect");
        return std::pair{number(element[0], "rect"), number(element[1], "rect")};
    };
    if (!value.is_array() || value.size() != 2) fail("rect");
    auto [x, y] = pair(value[0]);
    auto [width, height] = pair(value[1]);
    return Rect{x, y, width, height};
}

}  // namespace

nlohmann::json FormFill::toJSON() const {
    json out = json::object();
    out["name"] = name;
    out["pageIndex"] = pageIndex;
    out["rect"] =
        json::array({json::array({rect.x, rect.y}), json::array({rect.width, rect.height})});
    out["text"] = text;
    if (drawn) out["drawn"] = *drawn;
    if (size) out["size"] = *size;
    if (centered) out["centered"] = *centered;
    return out;
}

FormFill FormFill::fromJSON(const nlohmann::json& json) {
    if (!json.is_object()) throw DecodeError("Los datos guardados del formulario no son válidos.");
    FormFill fill;
    fill.name = readText(required(json, "name"), "name");
    fill.pageIndex = integer(required(json, "pageIndex"), "pageIndex");
    fill.rect = readRect(required(json, "rect"));
    fill.text = readText(required(json, "text"), "text");
    if (const auto* value = optional(json, "drawn")) fill.drawn = boolean(*value, "drawn");
    if (const auto* value = optional(json, "size")) fill.size = number(*value, "size");
    if (const auto* value = optional(json, "centered")) fill.centered = boolean(*value, "centered");
    return fill;
}

nlohmann::json FormFill::toJSON(const std::vector<FormFill>& fills) {
    json out = json::array();
    for (const auto& fill : fills) out.push_back(fill.toJSON());
    return out;
}

std::vector<FormFill> FormFill::listFromJSON(const nlohmann::json& json) {
    if (!json.is_array()) throw DecodeError("Los datos guardados del formulario no son válidos.");
    std::vector<FormFill> fills;
    fills.reserve(json.size());
    for (const auto& element : json) fills.push_back(fromJSON(element));
    return fills;
}
