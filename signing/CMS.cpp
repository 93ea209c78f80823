#include "signing/CMS.h"

#include "signing/Digest.h"

namespace CMS {

namespace {

DER::Bytes sha256Algorithm() { return DER::algorithm(OID::sha256); }

DER::Bytes attribute(const char* type, const DER::Bytes& value) {
    return DER::sequence({DER::oid(type), DER::set({value})});
}

DER::Bytes signingCertificateV2(const X509Certificate& certificate) {
    DER::Bytes certHash = Digest::sha256(certificate.der);
    DER::Bytes issuerSerial = DER::sequence(
        {DER::sequence({DER::tlv(0xA4, certificate.issuer)}), certificate.serialNumber});
    DER::Bytes essCertID = DER::sequence({DER::octetString(certHash), issuerSerial});
    std::vector<DER::Bytes> fields{DER::sequence({essCertID})};
    if (certificate.policies) fields.push_back(*certificate.policies);
    return DER::sequence(fields);
}

}  // namespace

DER::Bytes signatureAlgorithm(KeyKind kind) {
    if (kind == KeyKind::rsa) return DER::algorithm(OID::rsaEncryption);
    return DER::algorithm(OID::ecdsaWithSHA256, std::nullopt);
}

DER::Bytes signedData(const DER::Bytes& digest, const X509Certificate& signer,
                      const std::vector<DER::Bytes>& chain, KeyKind keyKind,
                      const SignFunction& sign) {
    DER::Bytes attributes = DER::set({
        attribute(OID::contentType, DER::oid(OID::data)),
        attribute(OID::messageDigest, DER::octetString(digest)),
        attribute(OID::signingCertificateV2, signingCertificateV2(signer)),
    });
    DER::Bytes signature = sign(attributes);
    attributes[0] = 0xA0;

    DER::Bytes signerInfo = DER::sequence({
        DER::integer(1),
        DER::sequence({signer.issuer, signer.serialNumber}),
        sha256Algorithm(),
        attributes,
        signatureAlgorithm(keyKind),
        DER::octetString(signature),
    });

    std::vector<DER::Bytes> certificates = chain;
    DER::sortBytewise(certificates);
    DER::Bytes joined;
    for (const auto& certificate : certificates)
        joined.insert(joined.end(), certificate.begin(), certificate.end());

    DER::Bytes content = DER::sequence({
        DER::integer(1),
        DER::set({sha256Algorithm()}),
        DER::sequence({DER::oid(OID::data)}),
        DER::context(0, joined),
        DER::set({signerInfo}),
    });
    return DER::sequence({DER::oid(OID::signedData), DER::context(0, content)});
}

}  // namespace CMS
