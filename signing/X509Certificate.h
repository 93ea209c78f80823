#pragma once
// The few pieces of a certificate that the CMS signature needs, read with the DER reader.

#include "signing/DER.h"

#include <optional>

struct X509Certificate {
    DER::Bytes der;                      // the certificate exactly as given
    DER::Bytes issuer;                   // encoded issuer Name (tag 30 ...)
    DER::Bytes serialNumber;             // encoded serial number (tag 02 ...)
    std::optional<DER::Bytes> policies;  // encoded certificatePolicies value, when present

    X509Certificate() = default;
    // Throws DER::Error.
    explicit X509Certificate(DER::Bytes der);
};
