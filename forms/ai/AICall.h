#pragma once
// One logged request to the AI service: when it was made, for which form, what answered, how many
// units it asked about, what it cost, how long it took, how it ended, and the texts that went and
// came back. Kept as one JSON object per line in the AI call log.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

struct AICall {
    std::chrono::sys_seconds date{};  // UTC, whole seconds
    std::string form;
    std::string model;
    std::optional<std::string> provider;
    int fields = 0;
    std::optional<std::int64_t> inputTokens;
    std::optional<std::int64_t> outputTokens;
    std::optional<double> cost;  // US dollars
    double seconds = 0;
    std::string result;  // "ok", "error <status>", "sin conexión"
    std::optional<std::string> request;
    std::optional<std::string> response;

    // The record as JSON: one member per field named as the field, the absent optionals left out,
    // "date" as "2026-03-05T09:30:00Z".
    nlohmann::json json() const;
    // The record of a JSON object, or nothing when a required member ("date", "form", "model",
    // "fields", "seconds", "result") is missing or any member has the wrong type. Optional
    // members may be missing or null.
    static std::optional<AICall> fromJSON(const nlohmann::json& object);

    // "2026-03-05T09:30:00Z".
    static std::string isoDate(std::chrono::sys_seconds date);
    // An internet date-time in whole seconds with "Z" or a "+hh:mm"/"-hh:mm" offset.
    static std::optional<std::chrono::sys_seconds> parseDate(const std::string& text);

    bool operator==(const AICall&) const = default;
};
