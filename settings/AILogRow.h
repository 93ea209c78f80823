#pragma once
// One row of the AI call log page as it is shown: the seven column texts, whether the call
// failed, and the tooltips. Qt-free, so the log page and the command-line summary agree.

#include <string>

#include "forms/ai/AICall.h"

struct AILogRow {
    std::string date;    // AILogSummary::date
    std::string form;
    std::string model;   // short
    std::string fields;
    std::string tokens;  // input + output, "—" for a failed call
    std::string cost;    // money, "—" without a cost; a failed call's result (resultText)
    std::string time;    // one decimal and " s", a comma as decimal separator: "12,2 s"
    bool failed = false; // result other than "ok"

    std::string formTip;    // the full form name
    std::string modelTip;   // the full model, and "\nProveedor: " + provider when known
    std::string tokensTip;  // "N de entrada, M de salida" for a successful call, else empty

    static AILogRow of(const AICall& call);
    // A failed call's result as shown: its first letter upper-cased, the rest as logged (a
    // Spanish sentence keeps its own case: "sin conexión" shows as "Sin conexión").
    static std::string resultText(const std::string& result);
};
