#pragma once
// The closed vocabulary of labels: who-choices and what-choices with the Spanish descriptions the
// AI service is shown, the mapping of an answered (who, what) pair to a fact key, and the choice of
// the best pair from the service's probabilities.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/reader/FormUnit.h"

namespace Catalogue {

// Key to Spanish description. Ordered maps, so that every walk over them is the same on every run.
using Table = std::map<std::string, std::string, std::less<>>;
// Key to probability, as the AI service answers one question.
using Probabilities = std::map<std::string, double, std::less<>>;

const Table& who();
// `who` worded for forms that record a third party: the third party is the titular.
const Table& whoThirdParties();
// The union of `person`, `signature`, `caseData` and `nobody` (75 keys).
const Table& what();
const Table& person();
const Table& signature();
const Table& caseData();
const Table& nobody();

// The fact key of an answered pair, or nothing when the pair is refused.
std::optional<std::string> label(std::string_view who, std::string_view what);

// The accepted pair of greatest probability (pWho × pWhat) as its fact key and probability, or
// nothing when no pair is accepted with a probability above zero. Both maps are walked in key
// order and a later pair must be strictly more probable to win, so ties always give the same pair.
std::optional<std::pair<std::string, double>> decode(const Probabilities& who,
                                                     const Probabilities& what);

// Whether the form records a third party ("Alta de terceros"): decides the wording of the
// who-choices offered to the AI service.
bool isAboutThirdParties(const std::vector<FormUnit>& units);

}  // namespace Catalogue
