#pragma once
// A signing engine turns one PDF file into a signed PDF file for one certificate, with or without a
// visible signature. The signing run holds the chosen engine only through this interface.
//
// Engines are immutable values: they keep nothing between calls, and a shared pointer to a const
// engine is as good as a copy of it.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "signing/Certificate.h"
#include "signing/VisibleSignature.h"

class SigningEngine {
public:
    virtual ~SigningEngine() = default;

    // The engine's short name, used in log lines.
    virtual std::string name() const = 0;

    // Signs the PDF file at `input` with the certificate and writes the signed PDF to `output`;
    // returns when the output is written, throws otherwise. No `visible` asks for an invisible
    // signature. Errors are exceptions whose what() is the Spanish sentence shown to the user.
    virtual void sign(const std::filesystem::path& input, const std::filesystem::path& output,
                      const Certificate& certificate,
                      const std::optional<VisibleSignature>& visible) const = 0;

    // Removes a partial output after a failed attempt, ignoring every error. An output that is
    // the input file itself is never removed.
    static void removeOutput(const std::filesystem::path& input,
                             const std::filesystem::path& output) {
        std::error_code ec;
        if (std::filesystem::equivalent(input, output, ec) && !ec) return;
        std::filesystem::remove(output, ec);
    }
};

// Any engine, held by value.
using AnySigningEngine = std::shared_ptr<const SigningEngine>;
