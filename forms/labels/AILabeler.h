#pragma once
// The AI side of labelling as the labelling entry point sees it: where the key comes from and how
// one form is labelled with it. The AI labeller provides a real one; tests provide stubs.

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormUnit.h"

struct AILabeler {
    // The AI key, or nothing when the user has none (or the AI service is switched off).
    std::function<std::optional<std::string>()> key;
    // The AI labels of the form made with that key; empty when nothing came back.
    std::function<Labels(const std::string& key, const std::vector<FormUnit>& units,
                         const std::string& formName, std::stop_token stop)>
        labels;
};
