#include "signing/Digest.h"
#include "signing/Certificate.h"
#include "signing/SigningIdentity.h"
#include "platform/NSSIdentityStore.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>
#include <nss.h>
#include <secerr.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cctype>

namespace {

using DER::Bytes;

std::string lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// True when `signature` is a valid SHA-256 signature of `data` by the certificate's key.
bool verifies(const Bytes& certificateDER, const Bytes& data, const Bytes& signature) {
    const unsigned char* p = certificateDER.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(certificateDER.size()));
    EVP_PKEY* key = X509_get_pubkey(certificate);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1 &&
              EVP_DigestVerify(context, signature.data(), signature.size(), data.data(),
                               data.size()) == 1;
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    X509_free(certificate);
    return ok;
}

template <typename F>
SigningIdentity::Error errorOf(F&& f) {
    try {
        f();
    } catch (const SigningIdentity::Error& error) {
        return error;
    }
    return SigningIdentity::Error("(ninguno)");
}

TEST(SigningIdentity, FindsBySHA1InAnyCaseAndSigns) {
    const auto& database = testDatabase();
    SigningIdentity upper(database.rsaSHA1, database.dir);
    SigningIdentity lowerCase(lower(database.rsaSHA1), database.dir);
    EXPECT_EQ(upper.certificate.der, lowerCase.certificate.der);
    EXPECT_EQ(Digest::hexUpper(Digest::sha1(upper.certificate.der)), database.rsaSHA1);
    EXPECT_EQ(upper.keyKind, CMS::KeyKind::rsa);
    Bytes data{'h', 'o', 'l', 'a'};
    auto signature = upper.sign(data);
    EXPECT_EQ(signature.size(), 256u);
    EXPECT_TRUE(verifies(upper.certificate.der, data, signature));

    SigningIdentity ec(database.ecSHA1, database.dir);
    EXPECT_EQ(ec.keyKind, CMS::KeyKind::ecdsa);
    for (int i = 0; i < 4; ++i) {  // DER lengths vary with the leading bits of r and s
        data.push_back(static_cast<std::uint8_t>(i));
        auto ecSignature = ec.sign(data);
        ASSERT_EQ(ecSignature[0], 0x30);
        auto parts = DER::parse(ecSignature).children();
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(DER::parse(ecSignature).encoded.size(), ecSignature.size());
        EXPECT_TRUE(verifies(ec.certificate.der, data, ecSignature));
    }
}

TEST(SigningIdentity, NotFoundAndEmptyStore) {
    const auto& database = testDatabase();
    auto missing = errorOf([&] { SigningIdentity("abcdef0123", database.dir); });
    EXPECT_STREQ(missing.what(),
                 "No se ha encontrado el certificado abcdef0123 en el almacén de certificados.");
    EXPECT_FALSE(missing.cancelled);

    testutil::TempDir dir;
    testpki::createDatabase(dir / "empty");
    testpki::addCA(dir / "empty", testpki::sharedCA());
    auto empty = errorOf([&] { SigningIdentity(database.rsaSHA1, dir / "empty"); });
    EXPECT_STREQ(empty.what(), "No hay certificados en el almacén de certificados.");
}

// A store whose key operations fail or whose keys are of another kind.
class FakeStore : public IdentityStore {
public:
    std::vector<Bytes> certificates;
    std::optional<KeyType> type = KeyType::rsa;
    std::optional<Failure> failure;
    Bytes raw;
    std::vector<Bytes> identityCertificates() override { return certificates; }
    std::optional<KeyType> keyType(std::size_t) override { return type; }
    std::vector<Bytes> chain(std::size_t) override { return {}; }
    Bytes signRaw(std::size_t, const Bytes&) override {
        if (failure) throw *failure;
        return raw;
    }
};

TEST(SigningIdentity, KeyKindsAndSigningFailures) {
    auto issued = testpki::sharedCA().issue(testpki::CertSpec{});
    auto store = std::make_shared<FakeStore>();
    store->certificates = {Bytes{0x30, 0x00}, Bytes(issued.der.begin(), issued.der.end()),
                           Bytes(issued.der.begin(), issued.der.end())};

    SigningIdentity identity(issued.sha1, store);
    EXPECT_EQ(identity.index, 1u);  // the first match wins
    ASSERT_EQ(identity.chain.size(), 1u);  // an empty chain becomes the certificate alone
    EXPECT_EQ(identity.chain[0], identity.certificate.der);

    store->failure = IdentityStore::Failure("SEC_ERROR_PKCS11_DEVICE_ERROR", false);
    auto failed = errorOf([&] { identity.sign({1}); });
    EXPECT_STREQ(failed.what(),
                 "No se ha podido firmar con la clave del certificado: "
                 "SEC_ERROR_PKCS11_DEVICE_ERROR");
    EXPECT_FALSE(failed.cancelled);
    store->failure = IdentityStore::Failure("", false);
    EXPECT_STREQ(errorOf([&] { identity.sign({1}); }).what(),
                 "No se ha podido firmar con la clave del certificado: error desconocido");
    store->failure = IdentityStore::Failure("", true);
    auto cancelled = errorOf([&] { identity.sign({1}); });
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_STREQ(cancelled.what(),
                 "No se ha permitido usar la clave del certificado. Para firmar, escribe la "
                 "contraseña del almacén de certificados cuando se te pida.");

    store->type = IdentityStore::KeyType::other;
    EXPECT_STREQ(errorOf([&] { SigningIdentity(issued.sha1, store); }).what(),
                 "Tipo de clave no soportado.");
    store->type.reset();
    EXPECT_STREQ(errorOf([&] { SigningIdentity(issued.sha1, store); }).what(),
                 "El certificado no tiene una clave privada utilizable.");

    // An unreadable certificate passes the DER error through.
    store->type = IdentityStore::KeyType::rsa;
    Bytes broken{0x30, 0x03, 0x30, 0x01, 0x00};
    store->certificates = {broken};
    try {
        SigningIdentity(Digest::hexUpper(Digest::sha1(broken)), store);
        FAIL();
    } catch (const DER::Error& error) {
        EXPECT_STREQ(error.what(), "ASN.1 truncado");
    }
}

// The certificate library's codes users meet end the sentence in Spanish; its English text goes
// to the log only.
TEST(SigningIdentity, LibraryErrorsAreDescribedInSpanish) {
    const std::pair<int, const char*> cases[] = {
        {SEC_ERROR_BAD_PASSWORD, "la contraseña del almacén de certificados no es correcta."},
        {SEC_ERROR_TOKEN_NOT_LOGGED_IN,
         "hay que escribir la contraseña del almacén de certificados para usar la clave."},
        {SEC_ERROR_NO_TOKEN,
         "la tarjeta o el dispositivo del certificado no está conectado o no responde."},
        {SEC_ERROR_PKCS11_DEVICE_ERROR,
         "la tarjeta o el dispositivo del certificado no está conectado o no responde."},
        {SEC_ERROR_INVALID_KEY, "la clave del certificado no se puede usar para firmar."},
        {SEC_ERROR_INADEQUATE_KEY_USAGE, "la clave del certificado no se puede usar para firmar."},
        {SEC_ERROR_NO_KEY,
         "el almacén de certificados no tiene la clave privada de este certificado."},
        {SEC_ERROR_NOT_INITIALIZED, "el almacén de certificados no está disponible."},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(NSSIdentityStore::describeError(code), text);
    EXPECT_EQ(NSSIdentityStore::describeError(SEC_ERROR_BAD_DER),
              "el almacén de certificados ha devuelto un error (" +
                  std::to_string(SEC_ERROR_BAD_DER) + ").");
}

TEST(SigningIdentity, PasswordPrompt) {
    testutil::TempDir dir;
    auto database = testpki::makeNSSDatabase(dir / "db", "secreto");
    int asked = 0;
    auto refuse = errorOf([&] {
        SigningIdentity(database.rsaSHA1, database.dir,
                        [&](const std::string&, bool) -> std::optional<std::string> {
                            ++asked;
                            return std::nullopt;
                        });
    });
    EXPECT_TRUE(refuse.cancelled) << refuse.what();
    EXPECT_EQ(std::string(refuse.what()), SigningIdentity::cancelledMessage);
    EXPECT_EQ(asked, 1);

    auto wrong = errorOf([&] {
        SigningIdentity(database.rsaSHA1, database.dir,
                        [](const std::string&, bool) { return std::optional<std::string>("no"); });
    });
    EXPECT_TRUE(wrong.cancelled) << wrong.what();

    bool retried = false;
    std::string token;
    SigningIdentity identity(database.ecSHA1, database.dir,
                             [&](const std::string& name, bool retry) {
                                 token = name;
                                 retried = retried || retry;
                                 return std::optional<std::string>("secreto");
                             });
    Bytes data{1, 2, 3};
    EXPECT_TRUE(verifies(identity.certificate.der, data, identity.sign(data)));
    EXPECT_FALSE(retried);
    // The store's own token is named as the user knows it, not by the library's name for it.
    EXPECT_EQ(token, internalTokenName);

    // Listing never asks.
    EXPECT_EQ(Certificate::signingCertificates(database.dir).size(), 2u);
}

TEST(SigningIdentity, SoftHSMToken) {
    testutil::TempDir dir;
    auto db = dir / "db";
    testpki::createDatabase(db);
    testpki::addCA(db, testpki::sharedCA());
    testpki::addSoftHSMToken(db, dir / "softhsm", "Tarjeta", "123456");
    testpki::CertSpec spec;
    spec.subject = {{"serialNumber", "IDCES-11111111H"}, {"CN", "TITULAR TARJETA"}};
    auto card = testpki::sharedCA().issue(spec);
    testpki::importIdentity(db, card, "tarjeta", "123456", "Tarjeta");

    auto list = Certificate::signingCertificates(db);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].sha1, card.sha1);
    EXPECT_EQ(list[0].idNumber, "11111111H");

    {
        std::string token;
        SigningIdentity identity(card.sha1, db, [&](const std::string& name, bool) {
            token = name;
            return std::optional<std::string>("123456");
        });
        EXPECT_EQ(token, "Tarjeta");
        Bytes data{9, 8, 7};
        EXPECT_TRUE(verifies(identity.certificate.der, data, identity.sign(data)));
        EXPECT_EQ(identity.chain.size(), 2u);
    }

    auto refused = errorOf([&] {
        SigningIdentity(card.sha1, db, [](const std::string&, bool) { return std::nullopt; });
    });
    EXPECT_TRUE(refused.cancelled);
    // Every certificate and key reference was released: NSS shut down with the last store.
    EXPECT_FALSE(NSS_IsInitialized());
}

}  // namespace
