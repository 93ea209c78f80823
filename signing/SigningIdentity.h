#pragma once
// The handle on one signing key of the certificate store, found by its certificate's SHA-1. The
// key stays in the store: sign() hands it the bytes to sign.

#include "platform/IdentityStore.h"
#include "signing/CMS.h"
#include "signing/X509Certificate.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct SigningIdentity {
    // A signing failure; what() is the Spanish sentence shown to the user. `cancelled` marks a
    // refused key-access prompt, after which no other engine is tried.
    class Error : public std::runtime_error {
    public:
        explicit Error(const std::string& message, bool cancelled = false)
            : std::runtime_error(message), cancelled(cancelled) {}
        std::string message() const { return what(); }
        bool cancelled;
    };

    X509Certificate certificate;     // the signing certificate
    std::vector<DER::Bytes> chain;   // DER chain, signing certificate first; never empty
    CMS::KeyKind keyKind = CMS::KeyKind::rsa;
    std::shared_ptr<IdentityStore> store;  // where the private key lives
    std::size_t index = 0;                 // the identity within the store

    // Finds the identity whose certificate has this SHA-1 (hexadecimal, any letter case) in the
    // NSS database `keychain` (nothing: the user's default database). `prompt` answers the
    // store's password requests. Throws Error, or DER::Error for an unreadable certificate.
    SigningIdentity(const std::string& sha1,
                    const std::optional<std::filesystem::path>& keychain = std::nullopt,
                    PasswordPrompt prompt = {});
    // The same over a given store.
    SigningIdentity(const std::string& sha1, std::shared_ptr<IdentityStore> store);

    // Signs `data` with SHA-256: PKCS #1 v1.5 for RSA, DER-encoded ECDSA for EC. Throws Error.
    DER::Bytes sign(const DER::Bytes& data) const;

    // Messages.
    static const char* const cancelledMessage;
};
