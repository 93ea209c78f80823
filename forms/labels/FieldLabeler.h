#pragma once
// The one door through which the rest of the system gets a form's labels: the AI labels when a
// key is set and the service answered, else the rule labels; then the corrections both share.

#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "forms/labels/AILabeler.h"
#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormUnit.h"

namespace FieldLabeler {

// A form's labels and where they came from.
struct Labelling {
    Labels labels;
    // The labels are the AI service's answers (false: the rules made them).
    bool ai = false;

    Labelling(Labels labels = {}, bool ai = false) : labels(std::move(labels)), ai(ai) {}
};

// The labels of the form's units. Blocks (run it on a worker thread) and never throws: an AI side
// that fails or throws counts as having given no labels, and the rules label the form.
Labelling labelling(const std::vector<FormUnit>& units, const std::string& formName,
                    const AILabeler& ai, std::stop_token stop = {});
// labelling()'s labels.
Labels labels(const std::vector<FormUnit>& units, const std::string& formName, const AILabeler& ai,
              std::stop_token stop = {});

// An AI side with no key: labelling takes the rules path.
AILabeler rulesOnly();

}  // namespace FieldLabeler
