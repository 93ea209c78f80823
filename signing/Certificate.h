#pragma once
// One of the user's signing certificates as the rest of the application sees it: a plain value
// derived once from a certificate-store identity. The upper-case SHA-1 text is its identity.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class IdentityStore;

struct Certificate {
    std::string name;                            // subject summary, or "Certificado sin nombre"
    std::string issuer;                          // issuer O, else issuer CN, else ""
    std::chrono::system_clock::time_point notAfter;  // end of validity
    std::string sha1;                            // 40 upper-case hexadecimal digits of the DER's SHA-1
    std::string holder;                          // cleaned, capitalised holder name
    std::optional<std::string> givenName;        // subject givenName, capitalised
    std::optional<std::string> surnames;         // subject surname, capitalised
    std::optional<std::string> idNumber;         // the holder's NIF or NIE
    std::optional<std::string> organization;     // subject O, unchanged
    std::optional<std::string> organizationID;   // the company's CIF (only with an organization)
    std::string authority;                       // issuer CN, else issuer O, else ""
    std::string serialNumber;                    // serial bytes, upper-case hexadecimal, or ""

    // The usable signing certificates of a certificate store, latest expiry first. `keychain` is an
    // NSS database directory; nothing means the user's default store. Never fails: problems give
    // fewer entries or none.
    static std::vector<Certificate> signingCertificates(
        const std::optional<std::filesystem::path>& keychain = std::nullopt);

    // The same, over a given identity store (tests inject one).
    static std::vector<Certificate> signingCertificates(IdentityStore& store);

    // Builds the value from a certificate's DER; nothing when it is not usable for signing at
    // time `now` (unreadable, expired, no signing key usage, issued by Apple).
    static std::optional<Certificate> fromDER(const std::string& der,
                                              std::chrono::system_clock::time_point now);
};
