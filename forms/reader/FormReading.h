#pragma once
// What the widget reading and the drawn-field search share: one deadline for the whole reading.

#include <chrono>
#include <stop_token>
#include <vector>

#include "forms/reader/FormReader.h"

namespace FormReader::detail {

using Clock = std::chrono::steady_clock;

// The drawn fields of the pages searched before `deadline` or a stop; `report` gets the pages
// searched, the page count and whether the search ended early. `refs` are the file's pages,
// as the caller walked them (a walk cut by the stop is reported as stopped).
// `found`, when given, is told the count after each page that adds fields.
std::vector<FormField> drawnFields(PDFFile& file, const std::vector<PDFRef>& refs,
                                   const PageSource& pages, std::stop_token stop,
                                   Clock::time_point deadline, ReadReport& report,
                                   const Progress& found = {});

}  // namespace FormReader::detail
