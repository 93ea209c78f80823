#pragma once
// The message of the PDFError a call throws, or "(no error)".

#include <functional>
#include <string>

#include "pdf/PDFError.h"

inline std::string pdfErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const PDFError& e) {
        return e.what();
    }
    return "(no error)";
}
