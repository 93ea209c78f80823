#include "platform/IdentityStore.h"
#include "signing/Certificate.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

namespace {

using Clock = std::chrono::system_clock;
using testpki::CertSpec;

std::optional<Certificate> build(const CertSpec& spec) {
    return Certificate::fromDER(testpki::sharedCA().issue(spec).der, Clock::now());
}

CertSpec withSubject(std::vector<std::pair<std::string, std::string>> subject) {
    CertSpec spec;
    spec.subject = std::move(subject);
    return spec;
}

// A store that lists the certificates it was given.
class ListStore : public IdentityStore {
public:
    explicit ListStore(std::vector<Bytes> certificates) : certificates_(std::move(certificates)) {}
    std::vector<Bytes> identityCertificates() override { return certificates_; }
    std::optional<KeyType> keyType(std::size_t) override { return KeyType::rsa; }
    std::vector<Bytes> chain(std::size_t index) override { return {certificates_.at(index)}; }
    Bytes signRaw(std::size_t, const Bytes&) override { return {}; }

private:
    std::vector<Bytes> certificates_;
};

IdentityStore::Bytes bytes(const std::string& der) { return {der.begin(), der.end()}; }

TEST(Certificate, Expiry) {
    auto issued = testpki::sharedCA().issue(CertSpec{});
    auto now = Clock::now();
    auto certificate = Certificate::fromDER(issued.der, now);
    ASSERT_TRUE(certificate);
    EXPECT_FALSE(Certificate::fromDER(issued.der, certificate->notAfter));
    EXPECT_TRUE(Certificate::fromDER(issued.der, certificate->notAfter - std::chrono::seconds(1)));
    CertSpec expired;
    expired.notBefore = -std::chrono::hours(48);
    expired.notAfter = -std::chrono::hours(1);
    EXPECT_FALSE(build(expired));
    EXPECT_FALSE(Certificate::fromDER("not a certificate", now));

    // "No well-defined expiry" (RFC 5280) lies past the clock's range: the latest time, listed.
    CertSpec forever;
    forever.notAfterText = "99991231235959Z";
    auto lasting = build(forever);
    ASSERT_TRUE(lasting);
    EXPECT_EQ(lasting->notAfter, Clock::time_point::max());
    CertSpec late;
    late.notAfterText = "22610101000000Z";
    auto listed = build(late);
    ASSERT_TRUE(listed);
    EXPECT_LT(listed->notAfter, lasting->notAfter);
    EXPECT_GT(listed->notAfter, now + std::chrono::hours(24 * 365 * 200));
}

TEST(Certificate, KeyUsage) {
    CertSpec spec;
    spec.keyUsage = "critical,keyEncipherment";
    EXPECT_FALSE(build(spec));
    spec.keyUsage = "critical,nonRepudiation";
    EXPECT_TRUE(build(spec));
    spec.keyUsage = "digitalSignature";
    EXPECT_TRUE(build(spec));
    spec.keyUsage = "";
    EXPECT_TRUE(build(spec));
}

TEST(Certificate, IssuerAuthoritySHA1AndSerial) {
    auto issued = testpki::sharedCA().issue(CertSpec{});
    auto certificate = Certificate::fromDER(issued.der, Clock::now());
    ASSERT_TRUE(certificate);
    EXPECT_EQ(certificate->issuer, "Tindra Pruebas");
    EXPECT_EQ(certificate->authority, "Tindra Test CA");
    EXPECT_EQ(certificate->name, "PRUEBA FIRMANTE");

    testutil::TempDir dir;
    testutil::writeFile(dir / "c.pem", issued.pem);
    auto fingerprint = testutil::run(
        {"openssl", "x509", "-in", (dir / "c.pem").string(), "-noout", "-fingerprint", "-sha1"});
    std::string expected = fingerprint.out.substr(fingerprint.out.find('=') + 1);
    std::erase(expected, ':');
    std::erase(expected, '\n');
    EXPECT_EQ(certificate->sha1, expected);
    EXPECT_EQ(certificate->sha1.size(), 40u);
    EXPECT_EQ(certificate->sha1.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    auto serial =
        testutil::run({"openssl", "x509", "-in", (dir / "c.pem").string(), "-noout", "-serial"});
    EXPECT_EQ("serial=" + certificate->serialNumber + "\n", serial.out);
}

TEST(Certificate, AppleIssuers) {
    CertSpec apple = withSubject({{"O", "Apple Inc."}, {"CN", "Apple Worldwide"}});
    EXPECT_FALSE(Certificate::fromDER(testpki::selfSigned(apple).der, Clock::now()));
    CertSpec appleName = withSubject({{"CN", "Apple Root"}});
    EXPECT_FALSE(Certificate::fromDER(testpki::selfSigned(appleName).der, Clock::now()));
    CertSpec capitals = withSubject({{"CN", "APPLE ROOT"}});
    auto listed = Certificate::fromDER(testpki::selfSigned(capitals).der, Clock::now());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->issuer, "APPLE ROOT");
    EXPECT_EQ(listed->authority, "APPLE ROOT");
    auto nameless = Certificate::fromDER(testpki::selfSigned(withSubject({})).der, Clock::now());
    ASSERT_TRUE(nameless);
    EXPECT_EQ(nameless->name, "Certificado sin nombre");
    EXPECT_EQ(nameless->issuer, "");
    EXPECT_EQ(nameless->authority, "");
    EXPECT_EQ(nameless->holder, "Certificado Sin Nombre");
}

TEST(Certificate, HolderNames) {
    auto plain = build(withSubject({{"CN", "NOMBRE APELLIDO1 APELLIDO2 - NIF 12345678Z"}}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->holder, "Nombre Apellido1 Apellido2 Nif");
    EXPECT_EQ(plain->idNumber, "12345678Z");
    EXPECT_FALSE(plain->givenName);
    EXPECT_FALSE(plain->surnames);

    auto representative = build(withSubject({{"CN", "APELLIDO1 APELLIDO2 NOMBRE (R: B12345678)"}}));
    ASSERT_TRUE(representative);
    EXPECT_EQ(representative->holder, "Apellido1 Apellido2 Nombre");
    EXPECT_FALSE(representative->idNumber);
    EXPECT_FALSE(representative->organizationID);  // no organisation

    auto attributes = build(withSubject(
        {{"GN", "JUAN"}, {"SN", "ESPAÑOL PÉREZ"}, {"CN", "OTRA COSA - 00000000T"}}));
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->holder, "Juan Español Pérez");
    EXPECT_EQ(attributes->givenName, "Juan");
    EXPECT_EQ(attributes->surnames, "Español Pérez");
    EXPECT_EQ(attributes->idNumber, "00000000T");

    auto tabs = build(withSubject({{"CN", "\t ana  lópez\t"}, {"GN", "ANA"}}));
    ASSERT_TRUE(tabs);
    EXPECT_EQ(tabs->holder, "Ana  López");
}

TEST(Certificate, IdentityNumbers) {
    auto serial = build(withSubject({{"serialNumber", "IDCES-12345678Z"}, {"CN", "X 87654321X"}}));
    ASSERT_TRUE(serial);
    EXPECT_EQ(serial->idNumber, "12345678Z");
    auto foreigner = build(withSubject({{"serialNumber", "IDCES-X1234567L"}, {"CN", "A B"}}));
    ASSERT_TRUE(foreigner);
    EXPECT_EQ(foreigner->idNumber, "X1234567L");
    auto fallback = build(withSubject({{"serialNumber", "IDCES-ABC"}, {"CN", "A B 87654321X"}}));
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->idNumber, "87654321X");
    auto lower = build(withSubject({{"serialNumber", "idces-12345678z"}, {"CN", "a 12345678z"}}));
    ASSERT_TRUE(lower);
    EXPECT_FALSE(lower->idNumber);

    auto company = build(withSubject({{"O", "EMPRESA SL"},
                                      {"organizationIdentifier", "VATES-B12345678"},
                                      {"CN", "NOMBRE (R: A87654321)"}}));
    ASSERT_TRUE(company);
    EXPECT_EQ(company->organization, "EMPRESA SL");
    EXPECT_EQ(company->organizationID, "B12345678");
    auto companyFromName =
        build(withSubject({{"O", "EMPRESA SL"}, {"CN", "NOMBRE (R: A87654321)"}}));
    ASSERT_TRUE(companyFromName);
    EXPECT_EQ(companyFromName->organizationID, "A87654321");
    auto personal = build(withSubject({{"CN", "NOMBRE (R: A87654321)"}}));
    ASSERT_TRUE(personal);
    EXPECT_FALSE(personal->organization);
    EXPECT_FALSE(personal->organizationID);
}

TEST(Certificate, ListingDropsDuplicatesAndSortsStably) {
    auto at = Clock::now() + std::chrono::hours(24 * 100);
    CertSpec first = withSubject({{"CN", "PRIMERO"}});
    first.notAfterAt = at;
    CertSpec second = withSubject({{"CN", "SEGUNDO"}});
    second.notAfterAt = at;
    CertSpec later = withSubject({{"CN", "POSTERIOR"}});
    later.notAfterAt = at + std::chrono::hours(1);
    CertSpec expired = withSubject({{"CN", "CADUCADO"}});
    expired.notAfter = -std::chrono::hours(1);
    const auto& ca = testpki::sharedCA();
    auto a = ca.issue(first), b = ca.issue(second), c = ca.issue(later), d = ca.issue(expired);
    ListStore store({bytes(a.der), bytes(d.der), bytes(b.der), bytes(a.der), bytes(c.der),
                     IdentityStore::Bytes{0x30, 0x00}});
    auto list = Certificate::signingCertificates(store);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, "POSTERIOR");
    EXPECT_EQ(list[1].name, "PRIMERO");
    EXPECT_EQ(list[2].name, "SEGUNDO");

    ListStore reversed({bytes(b.der), bytes(a.der)});
    auto other = Certificate::signingCertificates(reversed);
    ASSERT_EQ(other.size(), 2u);
    EXPECT_EQ(other[0].name, "SEGUNDO");
}

TEST(Certificate, ListingFromNSSDatabase) {
    testutil::TempDir dir;
    auto db = dir / "db";
    auto database = testpki::makeNSSDatabase(db);
    const auto& ca = testpki::sharedCA();
    CertSpec expired = withSubject({{"CN", "CADUCADO"}});
    expired.notBefore = -std::chrono::hours(48);
    expired.notAfter = -std::chrono::hours(1);
    CertSpec encipherment = withSubject({{"CN", "CIFRADO"}});
    encipherment.keyUsage = "keyEncipherment";
    CertSpec latest = withSubject({{"CN", "ULTIMO"}});
    latest.key = testpki::KeyKind::ec;
    latest.notAfter = std::chrono::hours(24 * 800);
    testpki::importIdentity(db, ca.issue(expired), "caducado");
    testpki::importIdentity(db, ca.issue(encipherment), "cifrado");
    auto latestIssued = ca.issue(latest);
    testpki::importIdentity(db, latestIssued, "ultimo");

    auto list = Certificate::signingCertificates(db);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].sha1, latestIssued.sha1);
    EXPECT_EQ(list[1].sha1, database.rsaSHA1);
    EXPECT_EQ(list[2].sha1, database.ecSHA1);
    EXPECT_EQ(list[1].holder, "Juan Español Pérez");
    EXPECT_EQ(list[1].idNumber, "12345678Z");
    EXPECT_FALSE(list[1].organizationID);
    EXPECT_EQ(list[2].holder, "María Gómez Ruiz");
    EXPECT_EQ(list[2].idNumber, "X1234567L");
    EXPECT_EQ(list[2].organization, "EMPRESA DE PRUEBAS SL");
    EXPECT_EQ(list[2].organizationID, "B12345678");
    EXPECT_EQ(list[2].authority, "Tindra Test CA");

    // A folder that cannot be opened falls back to the default database under $HOME.
    struct HomeGuard {
        std::string old = std::getenv("HOME") ? std::getenv("HOME") : "";
        ~HomeGuard() { setenv("HOME", old.c_str(), 1); }
    } guard;
    setenv("HOME", (dir / "home").c_str(), 1);
    auto homeDB = dir / "home" / ".pki" / "nssdb";
    testpki::createDatabase(homeDB);
    testpki::importIdentity(homeDB, latestIssued, "ultimo");
    auto fallback = Certificate::signingCertificates(dir / "missing");
    auto byDefault = Certificate::signingCertificates(std::nullopt);
    ASSERT_EQ(fallback.size(), 1u);
    EXPECT_EQ(fallback[0].sha1, latestIssued.sha1);
    ASSERT_EQ(byDefault.size(), 1u);
}

}  // namespace
