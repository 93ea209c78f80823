#include "forms/labels/FieldLabeler.h"

#include "forms/labels/RuleLabeler.h"
#include "forms/reader/FormUnit.h"

namespace {

// The AI side's labels; an AI side that is missing, fails or throws gave none.
Labels aiLabels(const std::vector<FormUnit>& units, const std::string& formName,
                const AILabeler& ai, std::stop_token stop) {
    try {
        if (!ai.key || !ai.labels) return {};
        const std::optional<std::string> key = ai.key();
        if (!key) return {};
        return ai.labels(*key, units, formName, stop);
    } catch (...) {
        return {};
    }
}

}  // namespace

namespace FieldLabeler {

Labelling labelling(const std::vector<FormUnit>& units, const std::string& formName,
                    const AILabeler& ai, std::stop_token stop) {
    try {
        Labels result = aiLabels(units, formName, ai, stop);
        // AI labels and rule labels are never mixed: units the AI left out stay unlabelled.
        const bool answered = !result.empty();
        if (answered) {
            RuleLabeler::signatureOrder(units, result);
        } else {
            result = RuleLabeler::labels(units);
        }
        RuleLabeler::signingDate(units, result);
        return Labelling(std::move(result), answered);
    } catch (...) {
        // Only memory exhaustion gets here: labelling gives up, the form stays unlabelled.
        return {};
    }
}

Labels labels(const std::vector<FormUnit>& units, const std::string& formName, const AILabeler& ai,
              std::stop_token stop) {
    return labelling(units, formName, ai, stop).labels;
}

AILabeler rulesOnly() {
    return AILabeler{
        [] { return std::optional<std::string>(); },
        [](const std::string&, const std::vector<FormUnit>&, const std::string&, std::stop_token) {
            return Labels();
        },
    };
}

}  // namespace FieldLabeler
