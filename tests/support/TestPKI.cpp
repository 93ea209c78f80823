#include "support/TestPKI.h"

#include "signing/DER.h"
#include "signing/Digest.h"
#include "support/TestUtil.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>

namespace testpki {

namespace {

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("TestPKI: ") + what);
}

EVP_PKEY* generate(KeyKind kind) {
    EVP_PKEY* key = kind == KeyKind::rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256");
    check(key != nullptr, "key generation");
    return key;
}

// Keys made once per process: generation is the slow part.
EVP_PKEY* cachedKey(KeyKind kind) {
    static std::mutex mutex;
    static EVP_PKEY* rsa = nullptr;
    static EVP_PKEY* ec = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    EVP_PKEY*& slot = kind == KeyKind::rsa ? rsa : ec;
    if (!slot) slot = generate(kind);
    return slot;
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return text;
}

std::string derOf(X509* certificate) {
    unsigned char* out = nullptr;
    int size = i2d_X509(certificate, &out);
    check(size > 0, "i2d_X509");
    std::string der(reinterpret_cast<char*>(out), static_cast<std::size_t>(size));
    OPENSSL_free(out);
    return der;
}

std::string pemOf(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    return bioText(bio);
}

std::string keyPEMOf(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    return bioText(bio);
}

std::string sha1Hex(const std::string& der) {
    return Digest::hexUpper(Digest::sha1(reinterpret_cast<const std::uint8_t*>(der.data()),
                                         der.size()));
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    check(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// certificatePolicies from "[critical,]OID,OID...": one PolicyInformation per identifier.
void addPolicies(X509* certificate, const std::string& text) {
    std::vector<DER::Bytes> policies;
    bool critical = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        std::string piece = text.substr(start, end - start);
        if (piece == "critical")
            critical = true;
        else if (!piece.empty())
            policies.push_back(DER::sequence({DER::oid(piece)}));
        start = end + 1;
    }
    DER::Bytes value = DER::sequence(policies);
    ASN1_OCTET_STRING* data = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(data, value.data(), static_cast<int>(value.size()));
    X509_EXTENSION* extension =
        X509_EXTENSION_create_by_NID(nullptr, NID_certificate_policies, critical ? 1 : 0, data);
    check(extension != nullptr, "policies");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
    ASN1_OCTET_STRING_free(data);
}

X509* makeCertificate(const CertSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                      bool isCA) {
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    unsigned char serial[12];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    serial[0] |= 0x10;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(certificate), static_cast<long>(spec.notBefore.count()));
    if (!spec.notAfterText.empty())
        check(ASN1_TIME_set_string_X509(X509_getm_notAfter(certificate),
                                        spec.notAfterText.c_str()) == 1,
              "notAfter text");
    else if (spec.notAfterAt)
        ASN1_TIME_set(X509_getm_notAfter(certificate),
                      std::chrono::system_clock::to_time_t(*spec.notAfterAt));
    else
        X509_gmtime_adj(X509_getm_notAfter(certificate), static_cast<long>(spec.notAfter.count()));
    X509_NAME* name = X509_get_subject_name(certificate);
    for (const auto& [field, value] : spec.subject) {
        check(X509_NAME_add_entry_by_txt(name, field.c_str(), MBSTRING_UTF8,
                                         reinterpret_cast<const unsigned char*>(value.c_str()),
                                         -1, -1, 0) == 1,
              "subject attribute");
    }
    X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer) : name);
    X509_set_pubkey(certificate, key);
    X509* signer = issuer ? issuer : certificate;
    if (isCA) addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, signer, NID_subject_key_identifier, "hash");
    if (issuer) addExtension(certificate, signer, NID_authority_key_identifier, "keyid:always");
    if (!spec.keyUsage.empty()) addExtension(certificate, signer, NID_key_usage, spec.keyUsage);
    if (!spec.policies.empty()) addPolicies(certificate, spec.policies);
    check(X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "X509_sign");
    return certificate;
}

std::string dbArg(const std::filesystem::path& dir) { return "sql:" + dir.string(); }

void runChecked(const std::vector<std::string>& argv, const std::string& input = {}) {
    auto result = testutil::run(argv, input);
    if (result.exitCode != 0)
        throw std::runtime_error("TestPKI: " + argv[0] + " failed: " + result.out + result.err);
}

}  // namespace

std::string Issued::p12(const std::string& password, const std::string& name) const {
    BIO* certBio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO* keyBio = BIO_new_mem_buf(keyPEM.data(), static_cast<int>(keyPEM.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    check(certificate && key, "p12 inputs");
    PKCS12* bundle = PKCS12_create(password.c_str(), name.c_str(), key, certificate, nullptr, 0,
                                   0, 0, 0, 0);
    check(bundle != nullptr, "PKCS12_create");
    unsigned char* out = nullptr;
    int size = i2d_PKCS12(bundle, &out);
    std::string bytes(reinterpret_cast<char*>(out), static_cast<std::size_t>(size));
    OPENSSL_free(out);
    PKCS12_free(bundle);
    EVP_PKEY_free(key);
    X509_free(certificate);
    return bytes;
}

struct TestCA::State {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    std::string pem, der;
};

TestCA::TestCA() : state_(std::make_unique<State>()) {
    state_->key = generate(KeyKind::rsa);
    CertSpec spec;
    spec.subject = {{"C", "ES"}, {"O", "Tindra Pruebas"}, {"CN", "Tindra Test CA"}};
    spec.notAfter = std::chrono::hours(24 * 3650);
    spec.notBefore = -std::chrono::hours(24);
    spec.keyUsage = "critical,keyCertSign,cRLSign";
    state_->certificate = makeCertificate(spec, state_->key, nullptr, nullptr, true);
    state_->pem = pemOf(state_->certificate);
    state_->der = derOf(state_->certificate);
}

TestCA::~TestCA() {
    X509_free(state_->certificate);
    EVP_PKEY_free(state_->key);
}

const std::string& TestCA::pem() const { return state_->pem; }
const std::string& TestCA::der() const { return state_->der; }

Issued TestCA::issue(const CertSpec& spec) const {
    EVP_PKEY* key = cachedKey(spec.key);
    X509* certificate = makeCertificate(spec, key, state_->certificate, state_->key, false);
    Issued issued{derOf(certificate), pemOf(certificate), keyPEMOf(key), {}};
    issued.sha1 = sha1Hex(issued.der);
    X509_free(certificate);
    return issued;
}

Issued TestCA::self() const {
    Issued issued{state_->der, state_->pem, keyPEMOf(state_->key), sha1Hex(state_->der)};
    return issued;
}

Issued selfSigned(const CertSpec& spec) {
    EVP_PKEY* key = cachedKey(spec.key);
    X509* certificate = makeCertificate(spec, key, nullptr, nullptr, false);
    Issued issued{derOf(certificate), pemOf(certificate), keyPEMOf(key), {}};
    issued.sha1 = sha1Hex(issued.der);
    X509_free(certificate);
    return issued;
}

const TestCA& sharedCA() {
    static TestCA ca;
    return ca;
}

void createDatabase(const std::filesystem::path& dir, const std::string& password) {
    std::filesystem::create_directories(dir);
    auto passwordFile = dir / "password.txt";
    testutil::writeFile(passwordFile, password + "\n");
    if (password.empty())
        runChecked({"certutil", "-N", "-d", dbArg(dir), "--empty-password"});
    else
        runChecked({"certutil", "-N", "-d", dbArg(dir), "-f", passwordFile.string()});
}

void addCA(const std::filesystem::path& dir, const TestCA& ca) {
    auto file = dir / "test-ca.pem";
    testutil::writeFile(file, ca.pem());
    runChecked({"certutil", "-A", "-d", dbArg(dir), "-n", "Tindra Test CA", "-t", "CT,C,C", "-i",
                file.string(), "-f", (dir / "password.txt").string()});
}

void importIdentity(const std::filesystem::path& dir, const Issued& issued,
                    const std::string& nickname, const std::string& password,
                    const std::string& token) {
    static int counter = 0;
    auto file = dir / ("identity-" + std::to_string(++counter) + ".p12");
    testutil::writeFile(file, issued.p12("p12", nickname));
    auto passwordFile = dir / ("token-password-" + std::to_string(counter) + ".txt");
    testutil::writeFile(passwordFile, password + "\n");
    std::vector<std::string> argv{"pk12util", "-i", file.string(), "-d", dbArg(dir), "-W", "p12"};
    argv.push_back("-k");
    argv.push_back(passwordFile.string());
    if (!token.empty()) {
        argv.push_back("-h");
        argv.push_back(token);
    }
    runChecked(argv);
    std::filesystem::remove(file);
}

void addSoftHSMToken(const std::filesystem::path& dir, const std::filesystem::path& tokenDir,
                     const std::string& label, const std::string& pin) {
    std::filesystem::create_directories(tokenDir / "tokens");
    auto config = tokenDir / "softhsm2.conf";
    testutil::writeFile(config, "directories.tokendir = " + (tokenDir / "tokens").string() +
                                    "\nobjectstore.backend = file\nlog.level = ERROR\n");
    setenv("SOFTHSM2_CONF", config.c_str(), 1);
    runChecked({"softhsm2-util", "--init-token", "--free", "--label", label, "--pin", pin,
                "--so-pin", "87654321"});
    runChecked({"modutil", "-dbdir", dbArg(dir), "-add", "SoftHSM", "-libfile",
                "/usr/lib/softhsm/libsofthsm2.so", "-force"});
}

NSSDatabase makeNSSDatabase(const std::filesystem::path& dir, const std::string& password) {
    const TestCA& ca = sharedCA();
    createDatabase(dir, password);
    addCA(dir, ca);
    CertSpec rsa;
    rsa.subject = {{"C", "ES"},
                   {"serialNumber", "IDCES-12345678Z"},
                   {"GN", "JUAN"},
                   {"SN", "ESPAÑOL PÉREZ"},
                   {"CN", "ESPAÑOL PÉREZ JUAN - 12345678Z"}};
    CertSpec ec = rsa;
    ec.key = KeyKind::ec;
    ec.subject = {{"C", "ES"},
                  {"O", "EMPRESA DE PRUEBAS SL"},
                  {"organizationIdentifier", "VATES-B12345678"},
                  {"serialNumber", "IDCES-X1234567L"},
                  {"GN", "MARÍA"},
                  {"SN", "GÓMEZ RUIZ"},
                  {"CN", "GÓMEZ RUIZ MARÍA - X1234567L (R: B12345678)"}};
    ec.notAfter = std::chrono::hours(24 * 300);
    Issued rsaIdentity = ca.issue(rsa);
    Issued ecIdentity = ca.issue(ec);
    importIdentity(dir, rsaIdentity, "Firma RSA", password);
    importIdentity(dir, ecIdentity, "Firma EC", password);
    return {dir, rsaIdentity.sha1, ecIdentity.sha1};
}

}  // namespace testpki
