#pragma once
// The engine that hands the whole signing job to AutoFirma.

#include "platform/ProcessRunner.h"
#include "signing/AutoFirma.h"
#include "signing/SigningEngine.h"

class AutoFirmaEngine : public SigningEngine {
public:
    explicit AutoFirmaEngine(AutoFirma::Installation installation,
                             ProcessRunner& runner = ProcessRunner::system())
        : installation(std::move(installation)), runner_(&runner) {}

    std::string name() const override { return "AutoFirma"; }
    // Runs AutoFirma. A visible signature placed on a page the document does not have fails with
    // PDFSigner::Failure::pageNotFound before AutoFirma starts, as the own engine does.
    void sign(const std::filesystem::path& input, const std::filesystem::path& output,
              const Certificate& certificate,
              const std::optional<VisibleSignature>& visible) const override;

    AutoFirma::Installation installation;

private:
    ProcessRunner* runner_;
};
