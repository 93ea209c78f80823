#pragma once
// The signing window as the signing run holds it: made for a batch by a factory, shown by
// `begin`, answering once on the main thread with the options the user confirmed, or nothing when
// the window was cancelled or closed. The application's factory wraps the document window's
// SigningPanel; tests give their own.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/SigningRecord.h"
#include "document/SigningOptions.h"
#include "signing/Certificate.h"

class SigningWindow {
public:
    // Certificates (never empty), the batch, how the document was signed before, the file name
    // of the signed copy a sign-again run replaces, and how many files were received for the
    // batch (more than the batch when files past the bound of one arrival were left out).
    using Factory = std::function<std::unique_ptr<SigningWindow>(
        std::vector<Certificate>, std::vector<std::filesystem::path>, std::optional<SigningRecord>,
        std::optional<std::string>, std::size_t)>;

    virtual ~SigningWindow() = default;

    // The application's windows: the document window's SigningPanel with the menu bar attached.
    static Factory standardFactory();

    // Shows the window; `completion` is called exactly once, on the main thread.
    virtual void begin(std::function<void(std::optional<SigningOptions>)> completion) = 0;
};
