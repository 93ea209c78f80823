#pragma once
// Detached CMS SignedData (CAdES baseline form) with exactly three signed attributes: content
// type, message digest and ESS signing-certificate-v2. The private key never comes here: the
// caller's `sign` signs the encoded attributes.

#include "signing/DER.h"
#include "signing/X509Certificate.h"

#include <functional>

namespace CMS {

namespace OID {
inline constexpr const char* data = "1.2.840.113549.1.7.1";
inline constexpr const char* signedData = "1.2.840.113549.1.7.2";
inline constexpr const char* contentType = "1.2.840.113549.1.9.3";
inline constexpr const char* messageDigest = "1.2.840.113549.1.9.4";
inline constexpr const char* signingCertificateV2 = "1.2.840.113549.1.9.16.2.47";
inline constexpr const char* sha256 = "2.16.840.1.101.3.4.2.1";
inline constexpr const char* rsaEncryption = "1.2.840.113549.1.1.1";
inline constexpr const char* ecdsaWithSHA256 = "1.2.840.10045.4.3.2";
}  // namespace OID

enum class KeyKind { rsa, ecdsa };

// The signature AlgorithmIdentifier written into the SignerInfo.
DER::Bytes signatureAlgorithm(KeyKind kind);

using SignFunction = std::function<DER::Bytes(const DER::Bytes&)>;

// The complete DER ContentInfo. `digest` is the SHA-256 of the detached content; `sign` is called
// once with the DER of the signed attributes (tag 31) and its errors pass through unchanged.
DER::Bytes signedData(const DER::Bytes& digest, const X509Certificate& signer,
                      const std::vector<DER::Bytes>& chain, KeyKind keyKind,
                      const SignFunction& sign);

}  // namespace CMS
