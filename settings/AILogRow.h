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
    std::string cost;    // money, "—" without a cost; a failed call's result, capitalised
    std::string time;    // "%.1f s", a point as decimal separator
    bool failed = false; // result other than "ok"

    std::string formTip;    // the full form name
    std::string modelTip;   // the full model, and "\nProveedor: " + provider when known
    std::string tokensTip;  // "N de entrada, M de salida" for a successful call, else empty

    static AILogRow of(const AICall& call);
};
