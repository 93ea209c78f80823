#pragma once
// The short texts that sum up the AI call log: how many forms were recognised, how many requests
// that took, what they cost in total and this month, and how dates, amounts and model names are
// written. No state beyond one date formatter per thread; no files. `calls` are in the log's
// order, newest first. Dates are written and months taken in the process's local time zone.

#include <chrono>
#include <string>
#include <vector>

#include "forms/ai/AICall.h"

namespace AILogSummary {

using TimePoint = std::chrono::system_clock::time_point;

// Two requests of one form at most this far apart belong to one recognition.
inline constexpr std::chrono::seconds sameRecognition{120};

// Forms recognised: a call counts unless the call before it (older) was of the same form and
// at most 120 s earlier (or later).
int formsCount(const std::vector<AICall>& calls);

// US dollars as Spanish currency text ("0,003 US$"): 2 fraction digits for zero and amounts from
// a cent, else enough to keep the first significant digit, up to 6. Not finite: "—".
std::string money(double amount);

// Sums of the present costs: all of them, and those of the local calendar month holding `now`
// (its first instant and the next month's first instant included).
double totalCost(const std::vector<AICall>& calls);
double monthCost(const std::vector<AICall>& calls, TimePoint now);
// Whether `date` lies in the local calendar month holding `now`.
bool inMonthOf(TimePoint date, TimePoint now);

// "3 formularios · 5 consultas · 0,02 US$ en total, 0,01 US$ este mes"; no calls: "Sin consultas
// todavía.".
std::string text(const std::vector<AICall>& calls, TimePoint now);

// A call's date, local time, "d MMM, HH:mm" in Spanish ("6 sept, 02:00").
std::string date(TimePoint when);

// The model without its vendor prefix and an eight-digit date suffix: "typesafe/jev-1.13" →
// "jev-1.13", "v/m-x-20250101" → "m-x".
std::string shortModel(const std::string& model);

// Each blank-separated word with its first letter in upper case and the rest in lower case
// ("error 500" → "Error 500"), as failed results are shown.
std::string capitalized(const std::string& text);

}  // namespace AILogSummary
