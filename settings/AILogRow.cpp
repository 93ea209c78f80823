#include "settings/AILogRow.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include <unicode/uchar.h>
#include <unicode/unistr.h>

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

// One decimal and " s", with the Spanish decimal comma whatever the locale: "12,2 s".
std::string seconds(double value) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) return "—";
    std::string text(buffer, result.ptr);
    for (char& c : text) {
        if (c == '.') c = ',';
    }
    return text + " s";
}

}  // namespace

std::string AILogRow::resultText(const std::string& result) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(result);
    if (text.isEmpty()) return result;
    const UChar32 first = text.char32At(0);
    text.replace(0, U16_LENGTH(first), icu::UnicodeString(u_totitle(first)));
    std::string out;
    text.toUTF8String(out);
    return out;
}

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
        row.cost = resultText(call.result);
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
