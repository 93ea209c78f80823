// Cipher primitives of the security handler and the per-object encryption walk.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "pdf/PDFError.h"
#include "pdf/PDFSecurity.h"

namespace {

std::string digest(const EVP_MD* type, std::string_view data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), out, &length, type, nullptr) != 1) {
        throw PDFError("No se ha podido calcular un resumen criptográfico");
    }
    return std::string(reinterpret_cast<const char*>(out), length);
}

const EVP_CIPHER* aesCBC(std::size_t keyLength) {
    switch (keyLength) {
        case 16:
            return EVP_aes_128_cbc();
        case 24:
            return EVP_aes_192_cbc();
        case 32:
            return EVP_aes_256_cbc();
        default:
            return nullptr;
    }
}

const char* const kEncryptionFailed = "No se ha podido cifrar un objeto del PDF";

}  // namespace

std::string PDFSecurity::md5(std::string_view data) {
    return digest(EVP_md5(), data);
}
std::string PDFSecurity::sha256(std::string_view data) {
    return digest(EVP_sha256(), data);
}

std::string PDFSecurity::rc4(std::string_view key, std::string_view data) {
    std::array<unsigned char, 256> state;
    for (int i = 0; i < 256; ++i)
        state[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    std::string out(data);
    if (key.empty()) return out;
    unsigned char j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + state[i] +
                                       static_cast<unsigned char>(key[i % key.size()]));
        std::swap(state[i], state[j]);
    }
    unsigned char a = 0, b = 0;
    for (char& byte : out) {
        a = static_cast<unsigned char>(a + 1);
        b = static_cast<unsigned char>(b + state[a]);
        std::swap(state[a], state[b]);
        byte = static_cast<char>(static_cast<unsigned char>(byte) ^
                                 state[static_cast<unsigned char>(state[a] + state[b])]);
    }
    return out;
}

std::optional<std::string> PDFSecurity::aes(bool decrypt, std::string_view key, std::string_view iv,
                                            std::string_view data, bool padding) {
    const EVP_CIPHER* cipher = aesCBC(key.size());
    if (!cipher || iv.size() != 16) return std::nullopt;
    if (decrypt && data.size() % 16 != 0) return std::nullopt;
    if (data.size() > static_cast<std::size_t>(INT32_MAX) - 32) return std::nullopt;
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(EVP_CIPHER_CTX_new(),
                                                                            &EVP_CIPHER_CTX_free);
    if (!context) return std::nullopt;
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
    const auto* ivBytes = reinterpret_cast<const unsigned char*>(iv.data());
    if (EVP_CipherInit_ex(context.get(), cipher, nullptr, keyBytes, ivBytes, decrypt ? 0 : 1) !=
        1) {
        return std::nullopt;
    }
    EVP_CIPHER_CTX_set_padding(context.get(), padding ? 1 : 0);
    std::string out(data.size() + 16, '\0');
    int written = 0, finalWritten = 0;
    auto* outBytes = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(context.get(), outBytes, &written,
                         reinterpret_cast<const unsigned char*>(data.data()),
                         static_cast<int>(data.size())) != 1) {
        return std::nullopt;
    }
    if (EVP_CipherFinal_ex(context.get(), outBytes + written, &finalWritten) != 1)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(finalWritten));
    return out;
}

std::string PDFSecurity::saltHash(std::string_view salt, std::int64_t revision) {
    std::string k = sha256(salt);
    if (revision != 6) return k;
    // The iterated hash of revision 6 with an empty password and no /U extension.
    for (int round = 1;; ++round) {
        std::string k1;
        k1.reserve(k.size() * 64);
        for (int i = 0; i < 64; ++i) k1 += k;
        auto e = aes(false, std::string_view(k).substr(0, 16), std::string_view(k).substr(16, 16),
                     k1, false);
        if (!e || e->empty()) throw PDFError("No se ha podido calcular un resumen criptográfico");
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += static_cast<unsigned char>((*e)[static_cast<std::size_t>(i)]);
        switch (sum % 3) {
            case 0:
                k = digest(EVP_sha256(), *e);
                break;
            case 1:
                k = digest(EVP_sha384(), *e);
                break;
            default:
                k = digest(EVP_sha512(), *e);
                break;
        }
        const int last = static_cast<unsigned char>(e->back());
        if (round >= 64 && last <= round - 32) break;
    }
    return k.substr(0, 32);
}

// ---------------------------------------------------------------------------------------------

std::string PDFSecurity::objectKey(PDFRef ref, bool aes) const {
    std::string input = key_;
    const auto number = static_cast<std::uint64_t>(ref.number);
    const auto generation = static_cast<std::uint64_t>(ref.generation);
    for (int i = 0; i < 3; ++i) input.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
    for (int i = 0; i < 2; ++i) input.push_back(static_cast<char>((generation >> (8 * i)) & 0xFF));
    if (aes) input.append("sAlT", 4);
    return md5(input).substr(0, std::min<std::size_t>(key_.size() + 5, 16));
}

std::string PDFSecurity::crypt(std::string_view data, Method method, PDFRef ref,
                               Direction direction) const {
    switch (method) {
        case Method::identity:
            return std::string(data);
        case Method::rc4:
            return rc4(objectKey(ref, false), data);
        case Method::aes128:
        case Method::aes256: {
            const std::string key = method == Method::aes128 ? objectKey(ref, true) : key_;
            if (direction == Direction::decrypting) {
                if (data.size() <= 16) return {};
                auto plain = aes(true, key, data.substr(0, 16), data.substr(16), true);
                return plain ? std::move(*plain) : std::string(data);
            }
            std::string iv(16, '\0');
            if (RAND_bytes(reinterpret_cast<unsigned char*>(iv.data()), 16) != 1)
                throw PDFError(kEncryptionFailed);
            auto cipherText = aes(false, key, iv, data, true);
            if (!cipherText) throw PDFError(kEncryptionFailed);
            return iv + *cipherText;
        }
    }
    return std::string(data);
}

bool PDFSecurity::isExempt(const PDFDictionary& streamDictionary) const {
    if (const PDFObject* type = streamDictionary.get("Type")) {
        if (const std::string* name = type->name()) {
            if (*name == "XRef") return true;
            if (*name == "Metadata" && !encryptsMetadata_) return true;
        }
    }
    if (const PDFObject* filter = streamDictionary.get("Filter")) {
        if (const std::string* name = filter->name()) return *name == "Crypt";
        if (const auto* filters = filter->array()) {
            for (const PDFObject& element : *filters) {
                const std::string* name = element.name();
                if (name && *name == "Crypt") return true;
            }
        }
    }
    return false;
}

PDFDictionary PDFSecurity::transform(const PDFDictionary& dictionary, PDFRef ref,
                                     Direction direction) const {
    PDFDictionary result;
    for (const auto& entry : dictionary)
        result.set(entry.key, transform(entry.value, ref, direction));
    return result;
}

PDFObject PDFSecurity::transform(const PDFObject& object, PDFRef ref, Direction direction) const {
    switch (object.kind()) {
        case PDFObject::Kind::string:
            return PDFObject::string(crypt(*object.stringData(), stringMethod_, ref, direction));
        case PDFObject::Kind::array: {
            std::vector<PDFObject> elements;
            elements.reserve(object.array()->size());
            for (const PDFObject& element : *object.array())
                elements.push_back(transform(element, ref, direction));
            return PDFObject::array(std::move(elements));
        }
        case PDFObject::Kind::dictionary:
            return PDFObject::dictionary(transform(*object.dictionary(), ref, direction));
        case PDFObject::Kind::stream: {
            const PDFStream& stream = *object.stream();
            PDFDictionary dictionary = transform(stream.dictionary, ref, direction);
            std::string data = isExempt(stream.dictionary)
                                   ? stream.data
                                   : crypt(stream.data, streamMethod_, ref, direction);
            return PDFObject::stream(std::move(dictionary), std::move(data));
        }
        default:
            return object;
    }
}

PDFObject PDFSecurity::decrypt(const PDFObject& object, PDFRef ref) const {
    return transform(object, ref, Direction::decrypting);
}

PDFObject PDFSecurity::encrypt(const PDFObject& object, PDFRef ref) const {
    return transform(object, ref, Direction::encrypting);
}

std::string PDFSecurity::encrypt(std::string_view string, PDFRef ref) const {
    return crypt(string, stringMethod_, ref, Direction::encrypting);
}

bool PDFSecurity::allowsSigning() const {
    if ((permissions_ & 0x28u) != 0) return true;
    return revision_ >= 3 && (permissions_ & 0x100u) != 0;
}
