#pragma once
// An in-memory identity store for benchmarks and fuzz targets: one freshly generated software key
// (RSA-2048 or P-256) with a self-signed certificate, signing with OpenSSL. Header-only, so
// programs that do not link the test support library can use it.

#include "platform/IdentityStore.h"
#include "signing/Digest.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <string>

class SoftwareIdentityStore : public IdentityStore {
public:
    explicit SoftwareIdentityStore(bool ec = false, const char* commonName = "PRUEBA SOFTWARE")
        : ec_(ec) {
        key_ = ec ? EVP_EC_gen("P-256") : EVP_RSA_gen(2048);
        X509* certificate = X509_new();
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 4242);
        X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 86400L * 365);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509_set_pubkey(certificate, key_);
        X509_sign(certificate, key_, EVP_sha256());
        unsigned char* der = nullptr;
        int size = i2d_X509(certificate, &der);
        certificate_.assign(der, der + size);
        OPENSSL_free(der);
        X509_free(certificate);
    }
    ~SoftwareIdentityStore() override { EVP_PKEY_free(key_); }
    SoftwareIdentityStore(const SoftwareIdentityStore&) = delete;
    SoftwareIdentityStore& operator=(const SoftwareIdentityStore&) = delete;

    std::string sha1() const { return Digest::hexUpper(Digest::sha1(certificate_)); }

    std::vector<Bytes> identityCertificates() override { return {certificate_}; }
    std::optional<KeyType> keyType(std::size_t) override {
        return ec_ ? KeyType::ec : KeyType::rsa;
    }
    std::vector<Bytes> chain(std::size_t) override { return {certificate_}; }

    // RSA: PKCS #1 v1.5 padding of the given DigestInfo. EC: raw r || s of 32 bytes each.
    Bytes signRaw(std::size_t, const Bytes& input) override {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key_, nullptr);
        EVP_PKEY_sign_init(context);
        if (!ec_) EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING);
        std::size_t length = 0;
        EVP_PKEY_sign(context, nullptr, &length, input.data(), input.size());
        Bytes signature(length);
        EVP_PKEY_sign(context, signature.data(), &length, input.data(), input.size());
        EVP_PKEY_CTX_free(context);
        signature.resize(length);
        if (ec_) signature = rawOfDER(signature);
        return signature;
    }

private:
    // OpenSSL gives ECDSA as DER; the store hands out what a PKCS #11 token gives.
    static Bytes rawOfDER(const Bytes& der) {
        const unsigned char* p = der.data();
        ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(der.size()));
        Bytes raw(64, 0);
        if (signature) {
            BN_bn2binpad(ECDSA_SIG_get0_r(signature), raw.data(), 32);
            BN_bn2binpad(ECDSA_SIG_get0_s(signature), raw.data() + 32, 32);
            ECDSA_SIG_free(signature);
        }
        return raw;
    }

    bool ec_;
    EVP_PKEY* key_ = nullptr;
    Bytes certificate_;
};
