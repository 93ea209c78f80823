#pragma once
// The identity store over an NSS certificate database (a directory; by default the user's shared
// database sql:$HOME/.pki/nssdb). PKCS #11 modules registered in the database, such as smart
// cards, are searched too. NSS asks for a token's password through the given prompt.
//
// One store opens NSS for its lifetime; stores are meant to live for one operation. Stores of
// different databases alive at the same time see each other's identities.

#include "platform/IdentityStore.h"

#include <filesystem>
#include <memory>

class NSSIdentityStore : public IdentityStore {
public:
    // Opens `directory` (nothing: the default database). A directory that cannot be opened
    // falls back to the default database; when that fails too, every query throws Unavailable.
    explicit NSSIdentityStore(const std::optional<std::filesystem::path>& directory = std::nullopt,
                              PasswordPrompt prompt = {});
    ~NSSIdentityStore() override;
    NSSIdentityStore(const NSSIdentityStore&) = delete;
    NSSIdentityStore& operator=(const NSSIdentityStore&) = delete;

    // The default database: sql:$HOME/.pki/nssdb.
    static std::filesystem::path defaultDirectory();

    std::vector<Bytes> identityCertificates() override;
    std::optional<KeyType> keyType(std::size_t index) override;
    std::vector<Bytes> chain(std::size_t index) override;
    Bytes signRaw(std::size_t index, const Bytes& input) override;

    // The Spanish description of a certificate-library error code, as it ends the sentence
    // "No se ha podido firmar con la clave del certificado: …". The library's own (English) text
    // and the code go to the log only.
    static std::string describeError(int code);

private:
    struct State;
    std::unique_ptr<State> state_;
};
