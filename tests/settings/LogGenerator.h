#pragma once
// A reproducible AI call log of 50 calls: runs of 1 to 4 calls per form (each run one
// recognition, the calls of a run seconds apart, runs hours apart), failures, calls without a
// cost, calls logged without their texts, models with a vendor and a date, some of last month.
// It knows its own summary line.

#include <random>
#include <string>
#include <vector>

#include "settings/AILogSummary.h"
#include "SettingsTestSupport.h"

namespace settingstest {

struct GeneratedLog {
    std::vector<AICall> calls;  // newest first
    int forms = 0;
    double total = 0;
    double month = 0;

    std::string line() const {
        return std::to_string(forms) + " formularios · " + std::to_string(calls.size()) + " consultas · " +
               AILogSummary::money(total) + " en total, " + AILogSummary::money(month) + " este mes";
    }
};

inline GeneratedLog generateLog(int count = 50, unsigned seed = 31) {
    std::mt19937 random(seed);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const char* forms[] = {"Modelo 303", "Solicitud de subvención para la mejora de la eficiencia energética",
                           "Instancia general", "Modelo 036"};
    const char* models[] = {"typesafe/jev-1.13", "vendor/jev-2-20250101", "jev-lite"};
    // From 20 May (last month) on, in UTC; "now" is 15 June.
    auto when = utc(2026, 5, 20, 8, 0);
    const auto juneStart = utc(2026, 5, 31, 22, 0);  // 1 June 00:00 in Madrid
    GeneratedLog log;
    std::vector<AICall> oldestFirst;
    int previousForm = -1;
    while (static_cast<int>(oldestFirst.size()) < count) {
        int form = pick(0, 3);
        if (form == previousForm) form = (form + 1) % 4;  // a new recognition, another form
        previousForm = form;
        ++log.forms;
        const int length = std::min(pick(1, 4), count - static_cast<int>(oldestFirst.size()));
        for (int i = 0; i < length; ++i) {
            AICall made = call(when, forms[form]);
            made.model = models[pick(0, 2)];
            if (pick(0, 2) == 0) made.provider = "Proveedor " + std::to_string(pick(1, 3));
            made.fields = pick(1, 10);
            made.inputTokens = pick(800, 4000);
            made.outputTokens = pick(20, 400);
            made.seconds = pick(5, 300) / 10.0;
            made.cost = pick(1, 900) / 100000.0;
            const int kind = pick(0, 9);
            if (kind == 0) {  // failed
                made.result = pick(0, 1) ? "error 500" : "sin conexión";
                made.cost.reset();
                made.inputTokens.reset();
                made.outputTokens.reset();
                made.response.reset();
            } else if (kind == 1) {  // costless
                made.cost.reset();
            } else if (kind == 2) {  // logged before the texts were
                made.request.reset();
                made.response.reset();
            }
            if (made.cost) {
                log.total += *made.cost;
                if (made.date >= juneStart) log.month += *made.cost;
            }
            oldestFirst.push_back(made);
            when += std::chrono::seconds(pick(3, 90));
        }
        when += std::chrono::hours(pick(1, 40));
    }
    log.calls.assign(oldestFirst.rbegin(), oldestFirst.rend());
    return log;
}

}  // namespace settingstest
