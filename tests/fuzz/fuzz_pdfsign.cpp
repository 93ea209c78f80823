// The PDF signer over arbitrary files: opening, refusals, the field search (field placement named
// by the input's first bytes), widget, /Annots and AcroForm handling, and the embedded signature,
// with an in-memory identity. Hostile input gives an exception, never a crash or a hang.

#include "platform/IdentityStore.h"
#include "signing/Digest.h"
#include "signing/PDFSigner.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// One self-signed certificate; "signatures" are fixed bytes (nothing verifies them here).
class FixedStore : public IdentityStore {
public:
    FixedStore() {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 7);
        X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 86400L);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("FUZZ"), -1, -1, 0);
        X509_set_issuer_name(certificate, name);
        X509_set_pubkey(certificate, key);
        X509_sign(certificate, key, EVP_sha256());
        unsigned char* der = nullptr;
        int size = i2d_X509(certificate, &der);
        der_.assign(der, der + size);
        OPENSSL_free(der);
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
    std::string sha1() const { return Digest::hexUpper(Digest::sha1(der_)); }
    std::vector<Bytes> identityCertificates() override { return {der_}; }
    std::optional<KeyType> keyType(std::size_t) override { return KeyType::ec; }
    std::vector<Bytes> chain(std::size_t) override { return {der_}; }
    Bytes signRaw(std::size_t, const Bytes&) override { return Bytes(64, 0x11); }

private:
    Bytes der_;
};

const PDFSigner& signer() {
    static auto store = std::make_shared<FixedStore>();
    static const PDFSigner instance(SigningIdentity(store->sha1(), store), "Fuzz",
                                    std::chrono::system_clock::time_point{}, [](Size box) {
                                        RasterImage image;
                                        image.width = 2;
                                        image.height = 2;
                                        image.rgba.assign(16, 255);
                                        (void)box;
                                        return std::optional(PDFSigner::Appearance::image(image));
                                    });
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    std::string pdf(reinterpret_cast<const char*>(data) + 1, size - 1);
    PDFSigner::Placement placement = PDFSigner::Placement::invisible();
    if (mode % 3 == 1) placement = PDFSigner::Placement::area(mode % 4, {10, 10, 100, 40});
    if (mode % 3 == 2) placement = PDFSigner::Placement::field(mode & 0x80 ? "a.b" : "Signature1");
    try {
        std::string out = signer().sign(std::move(pdf), placement);
        if (out.size() < size - 1) __builtin_trap();
    } catch (const std::exception&) {
    }
    return 0;
}
