#include "signing/DER.h"
#include "signing/X509Certificate.h"
#include "support/TestPKI.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>

namespace {

using DER::Bytes;

Bytes hex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits.push_back(c);
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

std::string parseError(const Bytes& data) {
    try {
        DER::parse(data);
    } catch (const DER::Error& error) {
        return error.what();
    }
    return "";
}

TEST(DER, LengthOctets) {
    EXPECT_EQ(DER::tlv(0x04, Bytes(127)).at(1), 0x7F);
    auto long128 = DER::tlv(0x04, Bytes(128));
    EXPECT_EQ(Bytes(long128.begin(), long128.begin() + 3), hex("04 81 80"));
    auto long200 = DER::tlv(0x04, Bytes(200));
    EXPECT_EQ(Bytes(long200.begin(), long200.begin() + 3), hex("04 81 C8"));
    auto long300 = DER::tlv(0x04, Bytes(300));
    EXPECT_EQ(Bytes(long300.begin(), long300.begin() + 4), hex("04 82 01 2C"));
    auto long65536 = DER::tlv(0x04, Bytes(65536));
    EXPECT_EQ(Bytes(long65536.begin(), long65536.begin() + 5), hex("04 83 01 00 00"));
    EXPECT_EQ(long65536.size(), 65536u + 5);
}

TEST(DER, IntegersNullAndEmptyContainers) {
    EXPECT_EQ(DER::integer(0), hex("02 01 00"));
    EXPECT_EQ(DER::integer(1), hex("02 01 01"));
    EXPECT_EQ(DER::integer(127), hex("02 01 7F"));
    EXPECT_EQ(DER::integer(128), hex("02 02 00 80"));
    EXPECT_EQ(DER::integer(255), hex("02 02 00 FF"));
    EXPECT_EQ(DER::integer(256), hex("02 02 01 00"));
    EXPECT_EQ(DER::null, hex("05 00"));
    EXPECT_EQ(DER::sequence({}), hex("30 00"));
    EXPECT_EQ(DER::set({}), hex("31 00"));
    const std::uint8_t magnitude[] = {0x00, 0x00, 0x81, 0x02};
    EXPECT_EQ(DER::unsignedInteger(magnitude, 4), hex("02 03 00 81 02"));
    EXPECT_EQ(DER::unsignedInteger(magnitude + 3, 1), hex("02 01 02"));
    EXPECT_EQ(DER::unsignedInteger(magnitude, 2), hex("02 01 00"));
}

TEST(DER, SetOfOrder) {
    Bytes a = hex("31 00");
    Bytes b = hex("30 05 01 02 03 04 05");
    Bytes c = hex("30 02 01 02");
    EXPECT_EQ(DER::set({a, b, c}), hex("31 0D 30 02 01 02 30 05 01 02 03 04 05 31 00"));
    EXPECT_EQ(DER::set({c, c}), hex("31 08 30 02 01 02 30 02 01 02"));
    // A proper prefix sorts first.
    EXPECT_EQ(DER::set({hex("04 02 01 02"), hex("04 02 01")}), hex("31 07 04 02 01 04 02 01 02"));
}

TEST(DER, ObjectIdentifiersAndAlgorithms) {
    EXPECT_EQ(DER::oid("1.2.840.113549.1.7.2"), hex("06 09 2A 86 48 86 F7 0D 01 07 02"));
    EXPECT_EQ(DER::oid("2.5.29.32"), hex("06 03 55 1D 20"));
    EXPECT_EQ(DER::oid("1.2.840.113549.1.9.16.2.47"),
              hex("06 0B 2A 86 48 86 F7 0D 01 09 10 02 2F"));
    EXPECT_EQ(DER::oid("1.2.840.10045.4.3.2"), hex("06 08 2A 86 48 CE 3D 04 03 02"));
    EXPECT_EQ(DER::algorithm("2.16.840.1.101.3.4.2.1"),
              hex("30 0D 06 09 60 86 48 01 65 03 04 02 01 05 00"));
    EXPECT_EQ(DER::algorithm("2.16.840.1.101.3.4.2.1", std::nullopt),
              hex("30 0B 06 09 60 86 48 01 65 03 04 02 01"));
    EXPECT_EQ(DER::context(0, hex("05 00")), hex("A0 02 05 00"));
}

TEST(DER, Reading) {
    EXPECT_EQ(parseError(hex("30 80 00 00")), "Longitud ASN.1 no soportada");
    EXPECT_EQ(parseError(hex("30 85 00 00 00 00 01")), "Longitud ASN.1 no soportada");
    EXPECT_EQ(parseError(hex("30 83 00")), "Longitud ASN.1 no soportada");
    EXPECT_EQ(parseError(hex("04 05 01 02")), "ASN.1 truncado");
    EXPECT_EQ(parseError(hex("04")), "ASN.1 truncado");
    EXPECT_EQ(parseError(hex("04 84 FF FF FF FF 00")), "ASN.1 truncado");
    auto node = DER::parse(hex("02 01 05 FF"));
    EXPECT_EQ(node.encoded, hex("02 01 05"));
    EXPECT_EQ(node.content, hex("05"));
    EXPECT_FALSE(node.isConstructed());
    auto outer = DER::parse(hex("30 81 06 02 01 01 04 01 AA"));  // non-minimal length accepted
    ASSERT_EQ(outer.children().size(), 2u);
    EXPECT_EQ(outer.child(1).encoded, hex("04 01 AA"));
    EXPECT_TRUE(outer.isConstructed());
    try {
        outer.child(2);
        FAIL();
    } catch (const DER::Error& error) {
        EXPECT_STREQ(error.what(), "Estructura ASN.1 inesperada");
    }
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes openSSLField(const std::string& der, bool issuer) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    unsigned char* out = nullptr;
    int size = issuer ? i2d_X509_NAME(X509_get_issuer_name(certificate), &out)
                      : i2d_ASN1_INTEGER(X509_get0_serialNumber(certificate), &out);
    Bytes bytes(out, out + size);
    OPENSSL_free(out);
    X509_free(certificate);
    return bytes;
}

Bytes openSSLPolicies(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    int at = X509_get_ext_by_NID(certificate, NID_certificate_policies, -1);
    const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(X509_get_ext(certificate, at));
    Bytes bytes(value->data, value->data + value->length);
    X509_free(certificate);
    return bytes;
}

TEST(X509Certificate, IssuerSerialAndPoliciesMatchOpenSSL) {
    testpki::CertSpec spec;
    spec.policies = "critical,1.3.6.1.4.1.99999.1.2,2.16.724.1.3.5.7.1";
    auto issued = testpki::sharedCA().issue(spec);
    X509Certificate certificate(bytesOf(issued.der));
    EXPECT_EQ(certificate.der, bytesOf(issued.der));
    EXPECT_EQ(certificate.issuer, openSSLField(issued.der, true));
    EXPECT_EQ(certificate.serialNumber, openSSLField(issued.der, false));
    ASSERT_TRUE(certificate.policies);
    EXPECT_EQ(*certificate.policies, openSSLPolicies(issued.der));

    auto plain = testpki::sharedCA().issue(testpki::CertSpec{});
    EXPECT_FALSE(X509Certificate(bytesOf(plain.der)).policies);
}

TEST(X509Certificate, VersionOneAndDamage) {
    auto issued = testpki::sharedCA().issue(testpki::CertSpec{});
    auto top = DER::parse(bytesOf(issued.der)).children();
    auto tbs = top[0].children();
    std::vector<Bytes> v1;
    for (std::size_t i = 1; i < tbs.size(); ++i)
        if (tbs[i].tag != 0xA3) v1.push_back(tbs[i].encoded);
    Bytes version1 = DER::sequence({DER::sequence(v1), top[1].encoded, top[2].encoded});
    X509Certificate certificate(version1);
    EXPECT_EQ(certificate.issuer, openSSLField(issued.der, true));
    EXPECT_EQ(certificate.serialNumber, openSSLField(issued.der, false));
    EXPECT_FALSE(certificate.policies);

    auto error = [](const Bytes& der) -> std::string {
        try {
            X509Certificate{der};
        } catch (const DER::Error& e) {
            return e.what();
        }
        return "";
    };
    EXPECT_EQ(error(hex("30 00")), "Estructura ASN.1 inesperada");
    EXPECT_EQ(error(DER::sequence({DER::sequence({DER::integer(1), DER::null})})),
              "Certificado incompleto");
    std::vector<Bytes> emptyExtensions(v1);
    emptyExtensions.push_back(DER::context(3, {}));
    EXPECT_EQ(error(DER::sequence({DER::sequence(emptyExtensions)})),
              "Estructura ASN.1 inesperada");
    Bytes cut = bytesOf(issued.der);
    cut.resize(cut.size() / 2);
    EXPECT_EQ(error(cut), "ASN.1 truncado");
}

}  // namespace
