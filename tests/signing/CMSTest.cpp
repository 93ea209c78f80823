#include "signing/CMS.h"
#include "signing/Digest.h"
#include "signing/SigningIdentity.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using DER::Bytes;

Bytes randomBlob(std::size_t size) {
    std::mt19937 generator(42);
    Bytes blob(size);
    for (auto& byte : blob) byte = static_cast<std::uint8_t>(generator());
    return blob;
}

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::size_t count(const std::string& haystack, const std::string& needle) {
    std::size_t n = 0;
    for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

class CMSSignature : public ::testing::TestWithParam<bool> {};

TEST_P(CMSSignature, VerifiesWithOpenSSLAndHasExactlyThreeAttributes) {
    const bool ec = GetParam();
    const auto& database = testDatabase();
    SigningIdentity identity(ec ? database.ecSHA1 : database.rsaSHA1, database.dir);
    EXPECT_EQ(identity.keyKind, ec ? CMS::KeyKind::ecdsa : CMS::KeyKind::rsa);
    ASSERT_EQ(identity.chain.size(), 2u);  // leaf and test CA
    EXPECT_EQ(identity.chain[0], identity.certificate.der);

    Bytes blob = randomBlob(100000);
    Bytes signedAttributes;
    int calls = 0;
    Bytes cms = CMS::signedData(Digest::sha256(blob), identity.certificate, identity.chain,
                                identity.keyKind, [&](const Bytes& attributes) {
                                    ++calls;
                                    signedAttributes = attributes;
                                    return identity.sign(attributes);
                                });
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(signedAttributes.empty());
    EXPECT_EQ(signedAttributes[0], 0x31);

    testutil::TempDir dir;
    testutil::writeFile(dir / "blob", text(blob));
    testutil::writeFile(dir / "sig.der", text(cms));
    auto verify = testutil::run({"openssl", "cms", "-verify", "-inform", "DER", "-in",
                                 (dir / "sig.der").string(), "-binary", "-content",
                                 (dir / "blob").string(), "-noverify", "-out", "/dev/null"});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;

    Bytes other = blob;
    other[5] ^= 1;
    testutil::writeFile(dir / "other", text(other));
    auto tampered = testutil::run({"openssl", "cms", "-verify", "-inform", "DER", "-in",
                                   (dir / "sig.der").string(), "-binary", "-content",
                                   (dir / "other").string(), "-noverify", "-out", "/dev/null"});
    EXPECT_NE(tampered.exitCode, 0);

    auto print = testutil::run({"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in",
                                (dir / "sig.der").string()});
    ASSERT_EQ(print.exitCode, 0) << print.err;
    auto attributes = print.out.substr(print.out.find("signedAttrs:"));
    attributes = attributes.substr(0, attributes.find("signatureAlgorithm:"));
    EXPECT_EQ(count(attributes, "object: "), 3u) << attributes;
    EXPECT_NE(attributes.find("contentType"), std::string::npos);
    EXPECT_NE(attributes.find("messageDigest"), std::string::npos);
    EXPECT_NE(attributes.find("1.2.840.113549.1.9.16.2.47"), std::string::npos);
    EXPECT_EQ(print.out.find("signingTime"), std::string::npos);
    auto unsignedAttributes = print.out.substr(print.out.find("unsignedAttrs:"));
    EXPECT_EQ(count(unsignedAttributes, "object: "), 0u) << unsignedAttributes;

    // Structure: certificates in bytewise order, signature algorithm by key kind, signed
    // attributes embedded as [0] with the same bytes.
    auto signedData = DER::parse(cms).child(1).child(0);
    auto certificates = signedData.child(3);
    ASSERT_EQ(certificates.tag, 0xA0);
    auto embedded = certificates.children();
    ASSERT_EQ(embedded.size(), 2u);
    EXPECT_TRUE(DER::lessBytewise(embedded[0].encoded, embedded[1].encoded));
    auto signerInfo = signedData.child(4).child(0);
    auto attributesNode = signerInfo.child(3);
    EXPECT_EQ(attributesNode.tag, 0xA0);
    EXPECT_EQ(Bytes(attributesNode.encoded.begin() + 1, attributesNode.encoded.end()),
              Bytes(signedAttributes.begin() + 1, signedAttributes.end()));
    EXPECT_EQ(signerInfo.child(4).encoded, CMS::signatureAlgorithm(identity.keyKind));
    EXPECT_EQ(signerInfo.children().size(), 6u);
    EXPECT_EQ(signedData.children().size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(KeyKinds, CMSSignature, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "P256" : "RSA2048"; });

TEST(CMS, AlgorithmsPoliciesAndErrors) {
    EXPECT_EQ(CMS::signatureAlgorithm(CMS::KeyKind::rsa),
              (Bytes{0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01,
                     0x05, 0x00}));
    EXPECT_EQ(CMS::signatureAlgorithm(CMS::KeyKind::ecdsa),
              (Bytes{0x30, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}));

    testpki::CertSpec spec;
    spec.policies = "2.16.724.1.3.5.7.1";
    auto issued = testpki::sharedCA().issue(spec);
    X509Certificate certificate(Bytes(issued.der.begin(), issued.der.end()));
    Bytes digest(32, 0xAB);
    Bytes seen;
    Bytes cms = CMS::signedData(digest, certificate, {}, CMS::KeyKind::rsa, [&](const Bytes& a) {
        seen = a;
        return Bytes{1, 2, 3};
    });
    auto signedData = DER::parse(cms).child(1).child(0);
    EXPECT_EQ(signedData.child(3).encoded, (Bytes{0xA0, 0x00}));
    // Attribute order: content type, message digest, signing certificate v2 with policies.
    auto attributes = DER::parse(seen).children();
    ASSERT_EQ(attributes.size(), 3u);
    EXPECT_EQ(attributes[0].child(0).encoded, DER::oid(CMS::OID::contentType));
    EXPECT_EQ(attributes[1].child(1).child(0).content, digest);
    auto signingCertificate = attributes[2].child(1).child(0);
    ASSERT_EQ(signingCertificate.children().size(), 2u);
    EXPECT_EQ(signingCertificate.child(1).encoded, *certificate.policies);
    auto essCertID = signingCertificate.child(0).child(0);
    EXPECT_EQ(essCertID.children().size(), 2u);  // no hashAlgorithm: SHA-256 by default
    EXPECT_EQ(essCertID.child(0).content, Digest::sha256(certificate.der));
    EXPECT_EQ(essCertID.child(1).child(0).child(0).tag, 0xA4);  // directoryName
    EXPECT_EQ(essCertID.child(1).child(0).child(0).content, certificate.issuer);
    EXPECT_EQ(essCertID.child(1).child(1).encoded, certificate.serialNumber);

    auto plain = testpki::sharedCA().issue(testpki::CertSpec{});
    X509Certificate noPolicies(Bytes(plain.der.begin(), plain.der.end()));
    CMS::signedData(digest, noPolicies, {}, CMS::KeyKind::ecdsa, [&](const Bytes& a) {
        seen = a;
        return Bytes{1};
    });
    EXPECT_EQ(DER::parse(seen).child(2).child(1).child(0).children().size(), 1u);

    EXPECT_THROW(CMS::signedData(digest, noPolicies, {}, CMS::KeyKind::rsa,
                                 [](const Bytes&) -> Bytes {
                                     throw SigningIdentity::Error("x", true);
                                 }),
                 SigningIdentity::Error);
}

}  // namespace
