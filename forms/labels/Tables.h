#pragma once
// Tables of repeated rows (household members, beneficiaries, items): finds them among a form's
// fields and makes every column agree on one label, keeping the titular and the representative to
// the first row.

#include <vector>

#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormField.h"

namespace Tables {

// A row: fields of one page, left to right. A table: 4 or more rows of the same signature, top
// to bottom.
using Row = std::vector<FormField>;
using Table = std::vector<Row>;

// The tables among the fields (read-only fields take no part), page by page.
std::vector<Table> tables(const std::vector<FormField>& fields);

// The labels with every table column made uniform: the column's best-agreed label text and mean
// confidence on every row, "otra_persona.dato" instead of a titular or representative label below
// the first row. Each field keeps its own box position.
Labels harmonize(const Labels& labels, const std::vector<FormField>& fields);

}  // namespace Tables
