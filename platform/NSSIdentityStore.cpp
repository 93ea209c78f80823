#include "platform/NSSIdentityStore.h"

#include <cert.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secerr.h>
#include <secmod.h>

#include <pwd.h>
#include <unistd.h>

#include "platform/Log.h"

#include <cstdlib>

namespace {

// A wrong password is asked again at most this many times before NSS is told to give up.
constexpr int kMaxPasswordRetries = 3;

// What NSS's password callback works with: the caller's prompt, and what happened to it.
struct PromptContext {
    PasswordPrompt prompt;
    bool silent = false;  // listing never asks
    bool refused = false;
    int retries = 0;
};

extern "C" char* askPassword(PK11SlotInfo* slot, PRBool retry, void* arg) {
    auto* context = static_cast<PromptContext*>(arg);
    if (!context || context->silent) return nullptr;
    if (retry && ++context->retries > kMaxPasswordRetries) {
        context->refused = true;
        return nullptr;
    }
    std::optional<std::string> password;
    if (context->prompt) {
        const char* token = PK11_GetTokenName(slot);
        const std::string name = PK11_IsInternal(slot) ? internalTokenName : token ? token : "";
        try {
            password = context->prompt(name, retry == PR_TRUE);
        } catch (...) {
            password.reset();
        }
    }
    if (!password) {
        context->refused = true;
        return nullptr;
    }
    return PORT_Strdup(password->c_str());
}

std::vector<std::uint8_t> bytesOf(const SECItem& item) {
    return std::vector<std::uint8_t>(item.data, item.data + item.len);
}

}  // namespace

std::string NSSIdentityStore::describeError(int code) {
    const char* text = PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT);
    Log::write("Error del almacén de certificados " + std::to_string(code) + ": " +
               (text && *text ? text : "sin descripción"));
    switch (code) {
    case SEC_ERROR_BAD_PASSWORD:
    case SEC_ERROR_INVALID_PASSWORD:
        return "la contraseña del almacén de certificados no es correcta.";
    case SEC_ERROR_TOKEN_NOT_LOGGED_IN:
        return "hay que escribir la contraseña del almacén de certificados para usar la clave.";
    case SEC_ERROR_NO_TOKEN:
    case SEC_ERROR_NO_MODULE:
    case SEC_ERROR_PKCS11_DEVICE_ERROR:
        return "la tarjeta o el dispositivo del certificado no está conectado o no responde.";
    case SEC_ERROR_INVALID_KEY:
    case SEC_ERROR_INADEQUATE_KEY_USAGE:
    case SEC_ERROR_UNSUPPORTED_KEYALG:
        return "la clave del certificado no se puede usar para firmar.";
    case SEC_ERROR_NO_KEY:
        return "el almacén de certificados no tiene la clave privada de este certificado.";
    case SEC_ERROR_NOT_INITIALIZED:
    case SEC_ERROR_LIBRARY_FAILURE:
        return "el almacén de certificados no está disponible.";
    default:
        return "el almacén de certificados ha devuelto un error (" + std::to_string(code) + ").";
    }
}

struct NSSIdentityStore::State {
    NSSInitContext* context = nullptr;
    PromptContext prompt;
    PromptContext silentPrompt;
    bool listed = false;
    std::vector<CERTCertificate*> certificates;
    std::vector<SECKEYPrivateKey*> keys;

    CERTCertificate* certificate(std::size_t index) {
        if (!listed) throw std::out_of_range("identity store not listed");
        return certificates.at(index);
    }
};

std::filesystem::path NSSIdentityStore::defaultDirectory() {
    const char* home = std::getenv("HOME");
    std::string base;
    if (home && *home) {
        base = home;
    } else if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        base = entry->pw_dir;
    }
    return std::filesystem::path(base) / ".pki" / "nssdb";
}

NSSIdentityStore::NSSIdentityStore(const std::optional<std::filesystem::path>& directory,
                                   PasswordPrompt prompt)
    : state_(std::make_unique<State>()) {
    state_->prompt.prompt = std::move(prompt);
    state_->silentPrompt.silent = true;
    PK11_SetPasswordFunc(askPassword);

    auto open = [](const std::filesystem::path& dir) -> NSSInitContext* {
        std::error_code ec;
        std::string text = dir.string();
        bool prefixed = text.rfind("sql:", 0) == 0;
        if (!prefixed && !std::filesystem::is_directory(dir, ec)) return nullptr;
        NSSInitParameters parameters{};
        parameters.length = sizeof(parameters);
        std::string spec = prefixed ? text : "sql:" + text;
        return NSS_InitContext(spec.c_str(), "", "", SECMOD_DB, &parameters,
                               NSS_INIT_READONLY | NSS_INIT_NOROOTINIT | NSS_INIT_PK11RELOAD);
    };
    if (directory) state_->context = open(*directory);
    if (!state_->context) state_->context = open(defaultDirectory());
}

NSSIdentityStore::~NSSIdentityStore() {
    for (auto* key : state_->keys)
        if (key) SECKEY_DestroyPrivateKey(key);
    for (auto* certificate : state_->certificates) CERT_DestroyCertificate(certificate);
    if (state_->context) NSS_ShutdownContext(state_->context);
}

std::vector<IdentityStore::Bytes> NSSIdentityStore::identityCertificates() {
    if (!state_->context) throw Unavailable("NSS database unavailable");
    if (!state_->listed) {
        CERTCertList* list = PK11_ListCerts(PK11CertListUser, &state_->silentPrompt);
        if (!list) throw Unavailable("NSS certificate listing failed");
        for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
             node = CERT_LIST_NEXT(node)) {
            state_->certificates.push_back(CERT_DupCertificate(node->cert));
        }
        CERT_DestroyCertList(list);
        state_->keys.assign(state_->certificates.size(), nullptr);
        state_->listed = true;
    }
    std::vector<Bytes> result;
    result.reserve(state_->certificates.size());
    for (auto* certificate : state_->certificates) result.push_back(bytesOf(certificate->derCert));
    return result;
}

std::optional<IdentityStore::KeyType> NSSIdentityStore::keyType(std::size_t index) {
    CERTCertificate* certificate = state_->certificate(index);
    SECKEYPrivateKey*& key = state_->keys.at(index);
    if (!key) {
        state_->prompt.refused = false;
        state_->prompt.retries = 0;
        key = PK11_FindKeyByAnyCert(certificate, &state_->prompt);
        if (!key) {
            if (state_->prompt.refused) throw Failure("password refused", true);
            return std::nullopt;
        }
    }
    switch (SECKEY_GetPrivateKeyType(key)) {
    case rsaKey: return KeyType::rsa;
    case ecKey: return KeyType::ec;
    default: return KeyType::other;
    }
}

std::vector<IdentityStore::Bytes> NSSIdentityStore::chain(std::size_t index) {
    CERTCertificate* certificate = state_->certificate(index);
    std::vector<Bytes> result;
    if (CERTCertificateList* list =
            CERT_CertChainFromCert(certificate, certUsageEmailSigner, PR_TRUE)) {
        for (int i = 0; i < list->len; ++i) result.push_back(bytesOf(list->certs[i]));
        CERT_DestroyCertificateList(list);
    }
    if (result.empty()) result.push_back(bytesOf(certificate->derCert));
    return result;
}

IdentityStore::Bytes NSSIdentityStore::signRaw(std::size_t index, const Bytes& input) {
    if (!keyType(index)) throw Failure(describeError(SEC_ERROR_NO_KEY), false);
    SECKEYPrivateKey* key = state_->keys.at(index);
    state_->prompt.refused = false;
    state_->prompt.retries = 0;
    int length = PK11_SignatureLen(key);
    if (length <= 0) throw Failure(describeError(PORT_GetError()), false);
    Bytes signature(static_cast<std::size_t>(length));
    SECItem out{siBuffer, signature.data(), static_cast<unsigned int>(signature.size())};
    Bytes data = input;
    SECItem in{siBuffer, data.data(), static_cast<unsigned int>(data.size())};
    if (PK11_Sign(key, &out, &in) != SECSuccess) {
        PRErrorCode code = PORT_GetError();
        bool cancelled = state_->prompt.refused || code == SEC_ERROR_BAD_PASSWORD ||
                         code == SEC_ERROR_TOKEN_NOT_LOGGED_IN;
        throw Failure(describeError(code), cancelled);
    }
    signature.resize(out.len);
    return signature;
}
