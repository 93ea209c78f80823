#include "settings/AILogRow.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "settings/AILogSummary.h"

namespace {

// Counts from the file may be anything: the sum saturates instead of overflowing.
std::int64_t add(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return a > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

// "%.1f s" with a point whatever the locale.
std::string seconds(double value) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) return "—";
    return std::string(buffer, result.ptr) + " s";
}

}  // namespace

AILogRow AILogRow::of(const AICall& call) {
    AILogRow row;
    row.failed = call.result != "ok";
    row.date = AILogSummary::date(call.date);
    row.form = call.form;
    row.model = AILogSummary::shortModel(call.model);
    row.fields = std::to_string(call.fields);
    const std::int64_t input = call.inputTokens.value_or(0);
    const std::int64_t output = call.outputTokens.value_or(0);
    row.tokens = row.failed ? "—" : std::to_string(add(input, output));
    if (row.failed) {
        row.cost = AILogSummary::capitalized(call.result);
    } else {
        row.cost = call.cost ? AILogSummary::money(*call.cost) : "—";
    }
    row.time = seconds(call.seconds);
    row.formTip = call.form;
    row.modelTip = call.model;
    if (call.provider) row.modelTip += "\nProveedor: " + *call.provider;
    if (!row.failed) {
        row.tokensTip =
            std::to_string(input) + " de entrada, " + std::to_string(output) + " de salida";
    }
    return row;
}
