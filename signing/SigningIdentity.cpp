#include "signing/SigningIdentity.h"

#include "platform/NSSIdentityStore.h"
#include "signing/Digest.h"

#include <algorithm>
#include <cctype>

const char* const SigningIdentity::cancelledMessage =
    "No se ha permitido usar la clave del certificado. Para firmar, escribe la contraseña del "
    "almacén de certificados cuando se te pida.";

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

SigningIdentity::Error signingFailure(const IdentityStore::Failure& failure) {
    if (failure.cancelled) return SigningIdentity::Error(SigningIdentity::cancelledMessage, true);
    std::string description = failure.what();
    if (description.empty()) description = "error desconocido";
    return SigningIdentity::Error("No se ha podido firmar con la clave del certificado: " +
                                  description);
}

}  // namespace

SigningIdentity::SigningIdentity(const std::string& sha1,
                                 const std::optional<std::filesystem::path>& keychain,
                                 PasswordPrompt prompt)
    : SigningIdentity(sha1, std::make_shared<NSSIdentityStore>(keychain, std::move(prompt))) {}

SigningIdentity::SigningIdentity(const std::string& sha1, std::shared_ptr<IdentityStore> source)
    : store(std::move(source)) {
    std::vector<DER::Bytes> certificates;
    try {
        certificates = store->identityCertificates();
    } catch (const IdentityStore::Unavailable&) {
    }
    if (certificates.empty()) throw Error("No hay certificados en el almacén de certificados.");

    const std::string wanted = upper(sha1);
    bool found = false;
    for (std::size_t i = 0; i < certificates.size(); ++i) {
        if (Digest::hexUpper(Digest::sha1(certificates[i])) == wanted) {
            index = i;
            found = true;
            break;
        }
    }
    if (!found)
        throw Error("No se ha encontrado el certificado " + sha1 +
                    " en el almacén de certificados.");

    std::optional<IdentityStore::KeyType> type;
    try {
        type = store->keyType(index);
    } catch (const IdentityStore::Failure& failure) {
        if (failure.cancelled) throw Error(cancelledMessage, true);
        type.reset();
    }
    if (!type) throw Error("El certificado no tiene una clave privada utilizable.");

    certificate = X509Certificate(certificates[index]);
    chain = store->chain(index);
    if (chain.empty()) chain.push_back(certificate.der);

    switch (*type) {
    case IdentityStore::KeyType::rsa: keyKind = CMS::KeyKind::rsa; break;
    case IdentityStore::KeyType::ec: keyKind = CMS::KeyKind::ecdsa; break;
    default: throw Error("Tipo de clave no soportado.");
    }
}

DER::Bytes SigningIdentity::sign(const DER::Bytes& data) const {
    DER::Bytes digest = Digest::sha256(data);
    try {
        if (keyKind == CMS::KeyKind::rsa) {
            DER::Bytes digestInfo = DER::sequence(
                {DER::algorithm(CMS::OID::sha256), DER::octetString(digest)});
            return store->signRaw(index, digestInfo);
        }
        DER::Bytes raw = store->signRaw(index, digest);
        if (raw.empty() || raw.size() % 2 != 0)
            throw Error("No se ha podido firmar con la clave del certificado: error desconocido");
        std::size_t half = raw.size() / 2;
        return DER::sequence({DER::unsignedInteger(raw.data(), half),
                              DER::unsignedInteger(raw.data() + half, half)});
    } catch (const IdentityStore::Failure& failure) {
        throw signingFailure(failure);
    }
}
