#include "settings/AILogSummary.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

namespace AILogSummary {

namespace {

const icu::Locale& spanish() {
    static const icu::Locale locale("es", "ES");
    return locale;
}

icu::UnicodeString unicode(const std::string& utf8) { return icu::UnicodeString::fromUTF8(utf8); }

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

UDate milliseconds(TimePoint when) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count());
}

// The local calendar month holding `now`: its first instant and the next month's first instant.
std::optional<std::pair<UDate, UDate>> monthInterval(TimePoint now) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(spanish(), status));
    if (U_FAILURE(status) || !calendar) return std::nullopt;
    calendar->setTime(milliseconds(now), status);
    calendar->set(UCAL_DATE, 1);
    calendar->set(UCAL_HOUR_OF_DAY, 0);
    calendar->set(UCAL_MINUTE, 0);
    calendar->set(UCAL_SECOND, 0);
    calendar->set(UCAL_MILLISECOND, 0);
    const UDate start = calendar->getTime(status);
    calendar->add(UCAL_MONTH, 1, status);
    const UDate end = calendar->getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    return std::make_pair(start, end);
}

std::string plainDecimal(double amount) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, amount);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

}  // namespace

int formsCount(const std::vector<AICall>& calls) {
    int count = 0;
    const AICall* previous = nullptr;
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        const bool sameRun = previous && it->form == previous->form &&
                             it->date - previous->date <= sameRecognition;
        if (!sameRun) ++count;
        previous = &*it;
    }
    return count;
}

std::string money(double amount) {
    if (!std::isfinite(amount)) return "—";
    if (amount == 0) amount = 0;  // no "-0,00"
    int digits = 2;
    const double magnitude = std::fabs(amount);
    if (magnitude != 0) {
        const double n = 1 - std::ceil(std::log10(magnitude));
        digits = n < 3 ? 2 : n >= 6 ? 6 : static_cast<int>(n);
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(
        icu::NumberFormat::createCurrencyInstance(spanish(), status));
    if (U_SUCCESS(status) && format) {
        format->setCurrency(u"USD", status);
        if (U_SUCCESS(status)) {
            format->setMaximumFractionDigits(digits);
            icu::UnicodeString out;
            format->format(amount, out);
            if (!out.isEmpty()) return utf8(out);
        }
    }
    return plainDecimal(amount) + " $";
}

double totalCost(const std::vector<AICall>& calls) {
    double total = 0;
    for (const AICall& call : calls) {
        if (call.cost) total += *call.cost;
    }
    return total;
}

double monthCost(const std::vector<AICall>& calls, TimePoint now) {
    const auto month = monthInterval(now);
    if (!month) return 0;
    double total = 0;
    for (const AICall& call : calls) {
        const UDate when = milliseconds(call.date);
        if (call.cost && when >= month->first && when <= month->second) total += *call.cost;
    }
    return total;
}

bool inMonthOf(TimePoint date, TimePoint now) {
    const auto month = monthInterval(now);
    const UDate when = milliseconds(date);
    return month && when >= month->first && when <= month->second;
}

std::string text(const std::vector<AICall>& calls, TimePoint now) {
    if (calls.empty()) return "Sin consultas todavía.";
    const int forms = formsCount(calls);
    const std::size_t requests = calls.size();
    std::string line = std::to_string(forms) + " formulario" + (forms == 1 ? "" : "s");
    line += " · " + std::to_string(requests) + " consulta" + (requests == 1 ? "" : "s");
    line += " · " + money(totalCost(calls)) + " en total, " + money(monthCost(calls, now)) +
            " este mes";
    return line;
}

std::string date(TimePoint when) {
    // Made once per thread: a formatter may not be shared between threads.
    thread_local std::unique_ptr<icu::SimpleDateFormat> format = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto made = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString(u"d MMM, HH:mm"),
                                                            spanish(), status);
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    if (!format) return {};
    icu::UnicodeString out;
    format->format(milliseconds(when), out);
    return utf8(out);
}

std::string shortModel(const std::string& model) {
    const auto slash = model.rfind('/');
    std::string last = slash == std::string::npos ? model : model.substr(slash + 1);
    constexpr std::size_t dateDigits = 8;
    if (last.size() >= dateDigits + 1 && last[last.size() - dateDigits - 1] == '-') {
        bool digits = true;
        for (std::size_t i = last.size() - dateDigits; i < last.size(); ++i) {
            digits = digits && last[i] >= '0' && last[i] <= '9';
        }
        if (digits) last.resize(last.size() - dateDigits - 1);
    }
    return last;
}

std::string capitalized(const std::string& text) {
    const icu::UnicodeString in = unicode(text);
    icu::UnicodeString out;
    bool wordStart = true;
    for (int32_t i = 0; i < in.length(); i = in.moveIndex32(i, 1)) {
        const UChar32 c = in.char32At(i);
        if (u_isUWhiteSpace(c)) {
            out.append(c);
            wordStart = true;
        } else {
            out.append(wordStart ? u_totitle(c) : u_tolower(c));
            wordStart = false;
        }
    }
    return utf8(out);
}

}  // namespace AILogSummary
