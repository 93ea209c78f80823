#pragma once
// Fake signing engines for the tests of the signing run.

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "document/SigningOptions.h"
#include "platform/AtomicFile.h"
#include "signing/SigningEngine.h"
#include "support/TestUtil.h"

// Copies the input to the output with a marker line, records every call; `before` runs first
// (a test makes a file appear, or throws).
class FakeEngine : public SigningEngine {
public:
    struct Call {
        std::filesystem::path input;
        std::filesystem::path output;
        std::string inputBytes;
        std::optional<VisibleSignature> visible;
    };

    std::string name() const override { return "prueba"; }
    void sign(const std::filesystem::path& input, const std::filesystem::path& output,
              const Certificate&, const std::optional<VisibleSignature>& visible) const override {
        std::string bytes = testutil::readFile(input);
        {
            std::lock_guard lock(mutex);
            calls.push_back({input, output, bytes, visible});
        }
        if (before) before(input, output);
        testutil::writeFile(output, bytes + "%firmado\n");
    }

    std::function<void(const std::filesystem::path&, const std::filesystem::path&)> before;
    mutable std::vector<Call> calls;
    mutable std::mutex mutex;
};

// Writes the signed file as the own engine does, through AtomicFile: the input, then a marker.
class AtomicEngine : public SigningEngine {
public:
    std::string name() const override { return "atómico"; }
    void sign(const std::filesystem::path& input, const std::filesystem::path& output,
              const Certificate&, const std::optional<VisibleSignature>&) const override {
        AtomicFile::write(output, testutil::readFile(input) + "%firmado\n");
    }
};

class ThrowingEngine : public SigningEngine {
public:
    std::string name() const override { return "roto"; }
    void sign(const std::filesystem::path&, const std::filesystem::path& output, const Certificate&,
              const std::optional<VisibleSignature>&) const override {
        testutil::writeFile(output, "a medias");
        std::filesystem::remove(output);
        throw std::runtime_error("El motor de prueba ha fallado.");
    }
};

inline Certificate testCertificate() {
    Certificate certificate;
    certificate.name = "PRUEBA FIRMANTE";
    certificate.sha1 = "0123456789ABCDEF0123456789ABCDEF01234567";
    certificate.holder = "Ana Pérez";
    certificate.notAfter = std::chrono::system_clock::now() + std::chrono::hours(24);
    return certificate;
}

inline SigningOptions testOptions(bool visible = false) {
    SigningOptions options;
    options.certificate = testCertificate();
    options.visible = visible;
    return options;
}
