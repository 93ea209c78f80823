#pragma once
// Labels form units without the AI service: a fixed table of patterns over each unit's folded
// captions, a rule for rows of one-character boxes (NIF, postal code, IBAN), the signature line
// "En … a … de … de …" and the signing-date field. Also the folding used to compare captions,
// options and names across the form code.

#include <string>
#include <string_view>
#include <vector>

#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormUnit.h"

namespace RuleLabeler {

// Folded for comparison: Spanish lower case without accents ("ñ" gives "n", "ª" and "º" stay),
// every run of white space one blank, trimmed.
std::string norm(std::string_view text);

// The segment of a caption closest to its field: the last non-empty piece of the folded caption
// cut at "." and ":" ("Datos del solicitante. Nombre:" gives "nombre"); "" when there is none.
std::string nearest(std::string_view caption);

// A bilingual caption "nombre / nom" gives the whole text followed by its Spanish half; any other
// text gives itself alone.
std::vector<std::string> languages(std::string_view text);

// The rule labels of all units, the signature line included. Every label has p 0.6.
Labels labels(const std::vector<FormUnit>& units);

// Merges the signature-line labels ("En … a … de … de …") into labels made elsewhere.
void signatureOrder(const std::vector<FormUnit>& units, Labels& labels);

// Gives "firma.fecha" to a lone date field ("Fecha", "Lugar y fecha") without a confident label.
void signingDate(const std::vector<FormUnit>& units, Labels& labels);

}  // namespace RuleLabeler
