#pragma once
// The application's own engine: the PAdES signer with a key of the NSS certificate store.

#include "platform/IdentityStore.h"
#include "signing/SigningEngine.h"

class NativeEngine : public SigningEngine {
public:
    NativeEngine() = default;
    explicit NativeEngine(std::optional<std::filesystem::path> keychain, PasswordPrompt prompt = {})
        : keychain(std::move(keychain)), prompt(std::move(prompt)) {}

    std::string name() const override { return "nativo"; }

    // Signs with the identity whose certificate has `certificate.sha1`. A visible signature draws
    // the card and takes the card's date as the signing time; a field that no longer exists is
    // signed once more as an area on the placement's page and rectangle. The result is written
    // to `output` atomically; nothing is written on failure.
    void sign(const std::filesystem::path& input, const std::filesystem::path& output,
              const Certificate& certificate,
              const std::optional<VisibleSignature>& visible) const override;

    // The NSS database searched for the identity; nothing means the user's default database.
    std::optional<std::filesystem::path> keychain;
    // Answers the store's password requests (the key-access prompt); none: no password is given.
    PasswordPrompt prompt;
};
