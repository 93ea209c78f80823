#pragma once
// The certificate store seen by the signing engine: identities (a certificate with its private
// key) found in store order, the issuers of a certificate, and private-key operations that never
// hand the key out. NSSIdentityStore is the real one; tests may inject their own.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class IdentityStore {
public:
    using Bytes = std::vector<std::uint8_t>;

    enum class KeyType { rsa, ec, other };

    // A failed private-key operation. `cancelled` marks a refused or failed key-access prompt.
    class Failure : public std::runtime_error {
    public:
        Failure(const std::string& description, bool cancelled)
            : std::runtime_error(description), cancelled(cancelled) {}
        bool cancelled;
    };

    // The store cannot be queried at all.
    class Unavailable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    virtual ~IdentityStore() = default;

    // The DER certificate of every identity, in the store's order. Throws Unavailable.
    virtual std::vector<Bytes> identityCertificates() = 0;

    // The kind of the private key of identity `index`; nothing when it has no usable key.
    // May ask for the store's password; throws Failure when that is refused.
    virtual std::optional<KeyType> keyType(std::size_t index) = 0;

    // The DER chain of identity `index` as the store builds it: its certificate first, then the
    // issuers it finds. Never empty.
    virtual std::vector<Bytes> chain(std::size_t index) = 0;

    // The key's basic operation over prepared bytes: PKCS #1 v1.5 padding of a DigestInfo for
    // RSA, raw ECDSA (r followed by s, each the size of the order) over a digest for EC.
    // Throws Failure.
    virtual Bytes signRaw(std::size_t index, const Bytes& input) = 0;
};

// The key-access prompt: given the token's name and whether an earlier password was wrong, the
// password, or nothing when the user refuses. The store's own token, whose name is the library's
// and not the user's, is named `internalTokenName`; a smart card keeps its own name.
inline constexpr const char* internalTokenName = "el almacén de certificados";
using PasswordPrompt =
    std::function<std::optional<std::string>(const std::string& token, bool retry)>;
