#pragma once
// The standard security handler of an encrypted PDF, opened with the empty user password, and the
// per-object encryption and decryption of strings and streams with its key.
//
// The handler never asks for a password: a file that needs an opening password, or uses another
// security handler or cipher, fails with PDFSecurity::Failure. Once built the handler is an
// immutable value.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pdf/PDFObject.h"
#include "pdf/PDFRef.h"

class PDFSecurity {
public:
    enum class Method { identity, rc4, aes128, aes256 };

    // Encryption that cannot be opened. what() is the sentence shown to the user.
    class Failure : public std::runtime_error {
    public:
        enum class Kind { unsupported, needsPassword };

        // "El PDF usa un cifrado que todavía no se puede firmar (<detail>)."
        static Failure unsupported(const std::string& detail);
        // "El PDF está protegido con contraseña de apertura; todavía no se puede firmar."
        static Failure needsPassword();

        Kind kind() const { return kind_; }
        // The short detail of `unsupported`; empty for `needsPassword`.
        const std::string& detail() const { return detail_; }

    private:
        Failure(Kind kind, std::string detail, const std::string& message);
        Kind kind_;
        std::string detail_;
    };

    // The 32-byte password padding of the standard security handler.
    static const std::string_view padding;

    // Reads the encryption dictionary (values taken as they stand, references not followed),
    // derives the file key with the empty user password and checks it against /U.
    // `id` is the first string of the trailer's /ID (empty when there is none). Throws Failure.
    PDFSecurity(const PDFDictionary& encrypt, std::string_view id);

    // The file encryption key: 5 to 16 bytes (revisions 2 to 4) or 32 bytes (revisions 5, 6).
    const std::string& key() const { return key_; }
    std::int64_t revision() const { return revision_; }
    Method stringMethod() const { return stringMethod_; }
    Method streamMethod() const { return streamMethod_; }
    bool encryptsMetadata() const { return encryptsMetadata_; }
    // /P reduced to its low 32 bits.
    std::uint32_t permissions() const { return permissions_; }

    // The object with every string and stream body decrypted under `ref` (the indirect object
    // that holds it, whatever the depth). A body the cipher refuses is left as stored.
    PDFObject decrypt(const PDFObject& object, PDFRef ref) const;
    // The same walk, encrypting. Throws PDFError when the cipher refuses (an AES key of a length
    // AES does not take): nothing is ever returned in clear.
    PDFObject encrypt(const PDFObject& object, PDFRef ref) const;
    // One string value encrypted with the string method under `ref`. Throws PDFError as above.
    std::string encrypt(std::string_view string, PDFRef ref) const;

    // True when the permissions allow changing the document: modifying contents or annotating
    // (bits 4 or 6), or, from revision 3 on, filling in form fields including signatures (bit 9).
    bool allowsSigning() const;

    // The key for one object: MD5 of the file key, 3 bytes of the number, 2 of the generation
    // (and "sAlT" for AES-128), cut to min(n + 5, 16) bytes. AES-256 uses the file key itself.
    std::string objectKey(PDFRef ref, bool aes) const;

    // Cipher primitives.
    // RC4 of the data under the key (the same in both directions). The key must not be empty.
    static std::string rc4(std::string_view key, std::string_view data);
    // AES-CBC (128, 192 or 256 by the key's length) with or without PKCS#7 padding; nothing when
    // the cipher refuses (key or IV length, a ciphertext that is not whole blocks, bad padding).
    static std::optional<std::string> aes(bool decrypt, std::string_view key, std::string_view iv,
                                          std::string_view data, bool padding);
    static std::string md5(std::string_view data);
    static std::string sha256(std::string_view data);

    // Key derivation with the empty user password, exposed for tests.
    // Revisions 2 to 4 (the n-byte key of the MD5 scheme).
    static std::string fileKeyMD5(std::string_view o, std::uint32_t permissions,
                                  std::string_view id, std::int64_t revision, std::size_t length,
                                  bool encryptsMetadata);
    // True when `key` proves the empty user password against /U (revisions 2 to 4).
    static bool userPasswordMatches(std::string_view key, std::string_view u, std::string_view id,
                                    std::int64_t revision);
    // The salt hash of revisions 5 (one SHA-256) and 6 (the iterated hash), empty password.
    static std::string saltHash(std::string_view salt, std::int64_t revision);

private:
    enum class Direction { decrypting, encrypting };
    std::string crypt(std::string_view data, Method method, PDFRef ref, Direction direction) const;
    PDFObject transform(const PDFObject& object, PDFRef ref, Direction direction) const;
    PDFDictionary transform(const PDFDictionary& dictionary, PDFRef ref, Direction direction) const;
    bool isExempt(const PDFDictionary& streamDictionary) const;

    std::string key_;
    std::int64_t revision_ = 0;
    Method stringMethod_ = Method::identity;
    Method streamMethod_ = Method::identity;
    bool encryptsMetadata_ = true;
    std::uint32_t permissions_ = 0;
};
