#pragma once
// Small helpers of the PDFFile tests.

#include <stdexcept>
#include <string>

#include "pdf/PDFFile.h"

namespace pdffiletest {

// The sentence of the failure that opening the bytes throws; empty when they open.
inline std::string errorOf(const std::string& bytes) {
    try {
        PDFFile file(bytes);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

// The text with the first occurrence of `from` replaced; throws when there is none.
inline std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("fixture lacks " + from);
    return text.replace(at, from.size(), to);
}

}  // namespace pdffiletest
