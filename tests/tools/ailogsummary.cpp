// ailogsummary [--now ISO8601] FILE: the AI usage summary of an AI call log, as the options pane
// and the log page show it, in the time zone of TZ. Prints one JSON object: "text", "forms",
// "calls", "total", "month" (amounts as shown) and "rows" (each call as the log page's table
// shows it: "date", "form", "model", "fields", "tokens", "cost", "time", "failed").
#include <chrono>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "forms/ai/AILog.h"
#include "settings/AILogRow.h"
#include "settings/AILogSummary.h"

int main(int argc, char** argv) {
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    std::string file;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--now" && i + 1 < argc) {
            const auto parsed = AICall::parseDate(argv[++i]);
            if (!parsed) {
                std::cerr << "ailogsummary: fecha no válida: " << argv[i] << "\n";
                return 2;
            }
            now = *parsed;
        } else if (file.empty() && argument.rfind("--", 0) != 0) {
            file = argument;
        } else {
            std::cerr << "uso: ailogsummary [--now ISO8601] FICHERO\n";
            return 2;
        }
    }
    if (file.empty()) {
        std::cerr << "uso: ailogsummary [--now ISO8601] FICHERO\n";
        return 2;
    }

    const std::vector<AICall> calls = AILog::calls(file, AILog::Texts::dropped);
    nlohmann::json out;
    out["text"] = AILogSummary::text(calls, now);
    out["forms"] = AILogSummary::formsCount(calls);
    out["calls"] = calls.size();
    out["total"] = AILogSummary::money(AILogSummary::totalCost(calls));
    out["month"] = AILogSummary::money(AILogSummary::monthCost(calls, now));
    nlohmann::json rows = nlohmann::json::array();
    for (const AICall& call : calls) {
        const AILogRow row = AILogRow::of(call);
        rows.push_back({{"date", row.date}, {"form", row.form}, {"model", row.model},
                        {"fields", row.fields}, {"tokens", row.tokens}, {"cost", row.cost},
                        {"time", row.time}, {"failed", row.failed}});
    }
    out["rows"] = std::move(rows);
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
}
