#pragma once
// A throw-away public-key infrastructure for tests: a test CA, leaf certificates with the subject
// fields Spanish certificates use, and NSS databases (certutil, pk12util, modutil) holding them.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testpki {

enum class KeyKind { rsa, ec };

struct CertSpec {
    // Subject attributes in order: short name, long name or dotted identifier, and UTF-8 value.
    std::vector<std::pair<std::string, std::string>> subject{{"CN", "PRUEBA FIRMANTE"}};
    KeyKind key = KeyKind::rsa;
    // Validity relative to now.
    std::chrono::seconds notBefore = -std::chrono::hours(1);
    std::chrono::seconds notAfter = std::chrono::hours(24 * 365);
    // An exact end of validity (whole seconds), in place of `notAfter`.
    std::optional<std::chrono::system_clock::time_point> notAfterAt;
    // An end of validity as ASN.1 time text ("99991231235959Z"), in place of both.
    std::string notAfterText;
    // OpenSSL key-usage text; empty: no key-usage extension.
    std::string keyUsage = "critical,digitalSignature,nonRepudiation";
    // OpenSSL certificate-policies text; empty: none.
    std::string policies;
};

struct Issued {
    std::string der;       // certificate DER
    std::string pem;       // certificate PEM
    std::string keyPEM;    // private key, PKCS #8 PEM
    std::string sha1;      // upper-case SHA-1 of the DER
    std::string p12(const std::string& password, const std::string& name) const;  // PKCS #12 bytes
};

// A test CA ("Tindra Test CA", RSA-2048) that issues leaf certificates. Keys are generated once
// per process and reused.
class TestCA {
public:
    TestCA();
    ~TestCA();
    TestCA(const TestCA&) = delete;
    TestCA& operator=(const TestCA&) = delete;

    const std::string& pem() const;
    const std::string& der() const;
    // A leaf certificate; a fresh serial number each time.
    Issued issue(const CertSpec& spec) const;
    // The certificate of the CA itself as an Issued (with its key).
    Issued self() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A self-signed certificate (issuer = subject) with a fresh key of the requested kind.
Issued selfSigned(const CertSpec& spec);

// The shared CA of the process.
const TestCA& sharedCA();

// An empty NSS database in `dir` (created), with `password` for its key store ("" = none).
void createDatabase(const std::filesystem::path& dir, const std::string& password = "");
// Adds the CA as trusted for signing and e-mail.
void addCA(const std::filesystem::path& dir, const TestCA& ca);
// Imports a certificate with its key; `token` selects a PKCS #11 token ("" = the database).
void importIdentity(const std::filesystem::path& dir, const Issued& issued,
                    const std::string& nickname, const std::string& password = "",
                    const std::string& token = "");
// Registers a SoftHSM token in the database: the token folder under `tokenDir`, the label and the
// user PIN given. Sets SOFTHSM2_CONF for this process and its children.
void addSoftHSMToken(const std::filesystem::path& dir, const std::filesystem::path& tokenDir,
                     const std::string& label, const std::string& pin);

struct NSSDatabase {
    std::filesystem::path dir;
    std::string rsaSHA1;  // an RSA-2048 signing identity
    std::string ecSHA1;   // a P-256 signing identity
};

// A database in `dir` holding the shared CA (trusted) and an RSA and an EC signing identity it
// issued, with the Spanish subject fields of a personal certificate.
NSSDatabase makeNSSDatabase(const std::filesystem::path& dir, const std::string& password = "");

}  // namespace testpki
