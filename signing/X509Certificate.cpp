#include "signing/X509Certificate.h"

namespace {
const char* const kCertificatePolicies = "2.5.29.32";
}

X509Certificate::X509Certificate(DER::Bytes bytes) : der(std::move(bytes)) {
    auto certificate = DER::parse(der).children();
    if (certificate.empty()) throw DER::Error("Estructura ASN.1 inesperada");
    auto tbs = certificate[0].children();
    if (!tbs.empty() && tbs[0].tag == 0xA0) tbs.erase(tbs.begin());
    if (tbs.size() < 6) throw DER::Error("Certificado incompleto");
    serialNumber = tbs[0].encoded;
    issuer = tbs[2].encoded;

    const DER::Node* wrapper = nullptr;
    for (const auto& node : tbs) {
        if (node.tag == 0xA3) {
            wrapper = &node;
            break;
        }
    }
    if (!wrapper) return;
    auto wrapped = wrapper->children();
    if (wrapped.empty()) throw DER::Error("Estructura ASN.1 inesperada");
    const DER::Bytes policiesOID = DER::oid(kCertificatePolicies);
    for (const auto& extension : wrapped[0].children()) {
        auto parts = extension.children();
        if (parts.empty() || parts[0].encoded != policiesOID) continue;
        const auto& value = parts.back();
        if (value.tag == 0x04) policies = DER::parse(value.content).encoded;
    }
}
