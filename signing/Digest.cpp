#include "signing/Digest.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace Digest {

namespace {

DER::Bytes oneShot(const EVP_MD* md, const std::uint8_t* data, std::size_t size) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data, size, out, &length, md, nullptr) != 1)
        throw std::runtime_error("No se ha podido calcular el resumen.");
    return DER::Bytes(out, out + length);
}

}  // namespace

DER::Bytes sha1(const std::uint8_t* data, std::size_t size) {
    return oneShot(EVP_sha1(), data, size);
}

DER::Bytes sha256(const std::uint8_t* data, std::size_t size) {
    return oneShot(EVP_sha256(), data, size);
}

std::string hexUpper(const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

struct SHA256::State {
    EVP_MD_CTX* context = nullptr;
};

SHA256::SHA256() : state_(std::make_unique<State>()) {
    state_->context = EVP_MD_CTX_new();
    if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        throw std::runtime_error("No se ha podido calcular el resumen.");
    }
}

SHA256::~SHA256() { EVP_MD_CTX_free(state_->context); }

void SHA256::update(const std::uint8_t* data, std::size_t size) {
    if (EVP_DigestUpdate(state_->context, data, size) != 1)
        throw std::runtime_error("No se ha podido calcular el resumen.");
}

DER::Bytes SHA256::finish() {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context, out, &length) != 1)
        throw std::runtime_error("No se ha podido calcular el resumen.");
    return DER::Bytes(out, out + length);
}

}  // namespace Digest
