#pragma once
// The error of the PDF engine. what() is a complete Spanish sentence shown to the user unchanged.

#include <stdexcept>
#include <string>

class PDFError : public std::runtime_error {
public:
    explicit PDFError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};
