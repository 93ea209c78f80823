// The standard security handler on hand-made encryption dictionaries, and the object cipher.
#include <gtest/gtest.h>

#include <functional>

#include "pdf/PDFError.h"
#include "pdf/PDFSecurity.h"

namespace {

PDFObject str(const std::string& bytes) {
    return PDFObject::string(bytes);
}
PDFObject name(const std::string& text) {
    return PDFObject::name(text);
}
PDFObject integer(std::int64_t value) {
    return PDFObject::integer(value);
}

const std::string kId = "0123456789abcdef";
const std::string kO(32, 'o');

// /U of the empty user password for revisions 2 to 4, made the way a writer makes it.
std::string userValue(const std::string& key, std::int64_t revision) {
    if (revision == 2) return PDFSecurity::rc4(key, PDFSecurity::padding);
    std::string value =
        PDFSecurity::rc4(key, PDFSecurity::md5(std::string(PDFSecurity::padding) + kId));
    for (int i = 1; i <= 19; ++i) {
        std::string roundKey = key;
        for (char& c : roundKey) c = static_cast<char>(static_cast<unsigned char>(c) ^ i);
        value = PDFSecurity::rc4(roundKey, value);
    }
    return value + std::string(16, '\0');
}

// A valid MD5-scheme encryption dictionary; `expectedLength` is the key length the handler must
// derive (the /U is made for it), `adjust` adds or changes keys.
PDFDictionary md5Dictionary(std::int64_t version, std::int64_t revision, std::size_t expectedLength,
                            const std::function<void(PDFDictionary&)>& adjust = {},
                            std::int64_t p = -4) {
    PDFDictionary d{{"Filter", name("Standard")},
                    {"V", integer(version)},
                    {"R", integer(revision)},
                    {"O", str(kO)},
                    {"P", integer(p)}};
    if (adjust) adjust(d);
    bool metadata = true;
    if (const PDFObject* m = d.get("EncryptMetadata")) metadata = m->boolean().value_or(true);
    const std::string key = PDFSecurity::fileKeyMD5(kO, static_cast<std::uint32_t>(p), kId,
                                                    revision, expectedLength, metadata);
    d.set("U", str(userValue(key, revision)));
    return d;
}

PDFDictionary cryptFilters(const std::string& cfm,
                           std::optional<std::int64_t> length = std::nullopt) {
    PDFDictionary filter{{"CFM", name(cfm)}};
    if (length) filter.set("Length", integer(*length));
    return PDFDictionary{{"StdCF", PDFObject::dictionary(filter)}};
}

// Strings and streams both through the crypt filter StdCF.
std::function<void(PDFDictionary&)> withCryptFilter(const std::string& cfm,
                                                    std::optional<std::int64_t> length = {}) {
    return [=](PDFDictionary& d) {
        d.set("CF", PDFObject::dictionary(cryptFilters(cfm, length)));
        d.set("StrF", name("StdCF"));
        d.set("StmF", name("StdCF"));
    };
}

std::string failureOf(const PDFDictionary& d, std::string_view id = kId) {
    try {
        PDFSecurity security(d, id);
    } catch (const PDFSecurity::Failure& failure) {
        return failure.what();
    }
    return "";
}

std::string unsupported(const std::string& detail) {
    return "El PDF usa un cifrado que todavía no se puede firmar (" + detail + ").";
}

}  // namespace

TEST(PDFSecurity, RC4MatchesKnownVectors) {
    EXPECT_EQ(PDFSecurity::rc4("Key", "Plaintext"),
              std::string("\xBB\xF3\x16\xE8\xD9\x40\xAF\x0A\xD3", 9));
    EXPECT_EQ(PDFSecurity::rc4("Secret", "Attack at dawn"),
              std::string("\x45\xA0\x1F\x64\x5F\xC3\x5B\x38\x35\x52\x54\x4B\x9B\xF5", 14));
    EXPECT_EQ(PDFSecurity::rc4("Key", PDFSecurity::rc4("Key", "ida y vuelta")), "ida y vuelta");
}

TEST(PDFSecurity, RefusedDictionariesNameTheReason) {
    PDFDictionary good =
        md5Dictionary(2, 3, 16, [](PDFDictionary& d) { d.set("Length", integer(128)); });
    auto with = [&](const std::function<void(PDFDictionary&)>& change) {
        PDFDictionary d = good;
        change(d);
        return failureOf(d);
    };
    EXPECT_EQ(with([](PDFDictionary& d) { d.set("Filter", name("Adobe.PubSec")); }),
              unsupported("con certificado, «Adobe.PubSec»"));
    EXPECT_EQ(with([](PDFDictionary& d) { d.remove("Filter"); }),
              unsupported("con certificado, «?»"));
    // /O is tested before the version.
    EXPECT_EQ(with([](PDFDictionary& d) {
                  d.remove("O");
                  d.set("V", integer(3));
              }),
              unsupported("sin /O o /U"));
    EXPECT_EQ(with([](PDFDictionary& d) { d.set("U", name("U")); }), unsupported("sin /O o /U"));
    EXPECT_EQ(with([](PDFDictionary& d) { d.set("V", integer(3)); }), unsupported("versión 3"));
    EXPECT_EQ(with([](PDFDictionary& d) { d.set("R", integer(7)); }), unsupported("revisión 7"));
    EXPECT_EQ(with([](PDFDictionary& d) {
                  d.set("V", integer(4));
                  d.set("StmF", name("Otro"));
              }),
              unsupported("filtro Otro"));
    EXPECT_EQ(with([](PDFDictionary& d) {
                  d.set("V", integer(4));
                  d.set("CF", PDFObject::dictionary(cryptFilters("AESV4")));
                  d.set("StrF", name("StdCF"));
              }),
              unsupported("AESV4"));
    EXPECT_EQ(with([](PDFDictionary& d) {
                  d.set("V", integer(5));
                  d.set("R", integer(6));
                  d.set("U", str(std::string(48, 'u')));
              }),
              unsupported("/U o /UE incompletos"));
    EXPECT_EQ(with([](PDFDictionary& d) { d.set("P", integer(-8)); }),
              "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
    EXPECT_EQ(failureOf(good), "");
}

TEST(PDFSecurity, KeyLengthFollowsVersionRevisionAndCryptFilter) {
    auto keyLength = [](const PDFDictionary& d) { return PDFSecurity(d, kId).key().size(); };
    // R 2 always has 5 bytes.
    EXPECT_EQ(
        keyLength(md5Dictionary(1, 2, 5, [](PDFDictionary& d) { d.set("Length", integer(128)); })),
        5u);
    EXPECT_EQ(
        keyLength(md5Dictionary(2, 3, 16, [](PDFDictionary& d) { d.set("Length", integer(128)); })),
        16u);
    EXPECT_EQ(
        keyLength(md5Dictionary(2, 3, 5, [](PDFDictionary& d) { d.set("Length", integer(40)); })),
        5u);
    EXPECT_EQ(
        keyLength(md5Dictionary(2, 3, 16, [](PDFDictionary& d) { d.set("Length", integer(256)); })),
        16u);
    EXPECT_EQ(keyLength(md5Dictionary(4, 4, 16, withCryptFilter("V2", 16))), 16u);
    EXPECT_EQ(keyLength(md5Dictionary(4, 4, 16, withCryptFilter("V2", 128))), 16u);
    EXPECT_EQ(keyLength(md5Dictionary(4, 4, 5, withCryptFilter("V2", 40))), 5u);
    PDFSecurity aes(md5Dictionary(4, 4, 16, withCryptFilter("AESV2", std::nullopt)), kId);
    EXPECT_EQ(aes.key().size(), 16u);
    EXPECT_EQ(aes.stringMethod(), PDFSecurity::Method::aes128);
    EXPECT_EQ(aes.streamMethod(), PDFSecurity::Method::aes128);

    // /StrF absent: strings are not encrypted.
    PDFSecurity streamsOnly(md5Dictionary(4, 4, 16,
                                          [](PDFDictionary& d) {
                                              d.set("CF",
                                                    PDFObject::dictionary(cryptFilters("AESV2")));
                                              d.set("StmF", name("StdCF"));
                                          }),
                            kId);
    EXPECT_EQ(streamsOnly.stringMethod(), PDFSecurity::Method::identity);
    EXPECT_EQ(streamsOnly.streamMethod(), PDFSecurity::Method::aes128);
}

TEST(PDFSecurity, KeyLengthOutOfRangeFallsBackToTheUsualSizes) {
    // /Length 1 and 4096 are no key lengths: the key the password test accepts is taken.
    for (std::int64_t bits : {1, 4096}) {
        for (std::size_t real : {std::size_t{5}, std::size_t{16}}) {
            PDFDictionary d =
                md5Dictionary(2, 3, real, [&](PDFDictionary& e) { e.set("Length", integer(bits)); });
            PDFSecurity security(d, kId);
            EXPECT_EQ(security.key().size(), real) << bits;
        }
    }
    // A key length in range whose key fails still needs a password.
    PDFDictionary needs =
        md5Dictionary(2, 3, 5, [](PDFDictionary& e) { e.set("Length", integer(128)); });
    EXPECT_EQ(failureOf(needs),
              PDFSecurity::Failure::needsPassword().what());
}

TEST(PDFSecurity, UnencryptedMetadataChangesTheKeyFromRevisionFour) {
    const std::string withMarker = PDFSecurity::fileKeyMD5(kO, 0xFFFFFFFC, kId, 4, 16, false);
    EXPECT_NE(withMarker, PDFSecurity::fileKeyMD5(kO, 0xFFFFFFFC, kId, 4, 16, true));
    EXPECT_EQ(PDFSecurity::fileKeyMD5(kO, 0xFFFFFFFC, kId, 3, 16, false),
              PDFSecurity::fileKeyMD5(kO, 0xFFFFFFFC, kId, 3, 16, true));
    // A file without /ID derives its key from an empty identifier.
    PDFDictionary d =
        md5Dictionary(2, 3, 16, [](PDFDictionary& x) { x.set("Length", integer(128)); });
    EXPECT_EQ(failureOf(d, ""),
              "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
}

TEST(PDFSecurity, RevisionsFiveAndSixCheckTheValidationSalt) {
    // Build /U and /UE for a known file key with the empty password.
    const std::string fileKey(32, '\x5A');
    for (std::int64_t revision : {5, 6}) {
        const std::string validationSalt = "vsalt123", keySalt = "ksalt456";
        std::string u = PDFSecurity::saltHash(validationSalt, revision) + validationSalt + keySalt;
        const std::string intermediate = PDFSecurity::saltHash(keySalt, revision);
        const std::string ue =
            *PDFSecurity::aes(false, intermediate, std::string(16, '\0'), fileKey, false);
        PDFDictionary d{{"Filter", name("Standard")},
                        {"V", integer(5)},
                        {"R", integer(revision)},
                        {"O", str(std::string(48, 'o'))},
                        {"U", str(u)},
                        {"UE", str(ue)},
                        {"P", integer(-1)},
                        {"Perms", str(std::string(16, '\0'))},
                        {"CF", PDFObject::dictionary(cryptFilters("AESV3"))},
                        {"StrF", name("StdCF")},
                        {"StmF", name("StdCF")}};
        PDFSecurity security(d, "");
        EXPECT_EQ(security.key(), fileKey) << revision;
        EXPECT_EQ(security.stringMethod(), PDFSecurity::Method::aes256);
        u[0] = static_cast<char>(u[0] ^ 1);
        d.set("U", str(u));
        EXPECT_EQ(failureOf(d),
                  "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
    }
    EXPECT_NE(PDFSecurity::saltHash("salt", 5), PDFSecurity::saltHash("salt", 6));
}

TEST(PDFSecurity, ObjectKeysTakeThreeNumberAndTwoGenerationBytes) {
    PDFSecurity rc4(md5Dictionary(1, 2, 5), kId);
    const std::string key = rc4.key();
    EXPECT_EQ(rc4.objectKey(PDFRef(12, 0), false),
              PDFSecurity::md5(key + std::string("\x0C\x00\x00\x00\x00", 5)).substr(0, 10));
    EXPECT_EQ(rc4.objectKey(PDFRef(70000, 0x12345), false),
              PDFSecurity::md5(key + std::string("\x70\x11\x01\x45\x23", 5)).substr(0, 10));
    PDFSecurity wide(
        md5Dictionary(2, 3, 16, [](PDFDictionary& d) { d.set("Length", integer(128)); }), kId);
    EXPECT_EQ(wide.objectKey(PDFRef(12, 0), true),
              PDFSecurity::md5(wide.key() + std::string("\x0C\x00\x00\x00\x00sAlT", 9)));
}

TEST(PDFSecurity, AESFramingOfStringsAndStreams) {
    PDFSecurity aes(md5Dictionary(4, 4, 16, withCryptFilter("AESV2")), kId);
    const PDFRef ref(7, 0);
    const std::string empty = aes.encrypt(std::string_view(""), ref);
    EXPECT_EQ(empty.size(), 32u);
    EXPECT_NE(aes.encrypt(std::string_view("abc"), ref),
              aes.encrypt(std::string_view("abc"), ref));  // fresh IV
    EXPECT_EQ(
        *aes.decrypt(str(aes.encrypt(std::string_view("Firmado en Cádiz"), ref)), ref).stringData(),
        "Firmado en Cádiz");
    EXPECT_EQ(*aes.decrypt(str(std::string(16, 'x')), ref).stringData(), "");
    EXPECT_EQ(*aes.decrypt(str(std::string(20, 'x')), ref).stringData(), std::string(20, 'x'));

    // Nested strings take the key of the indirect object that holds them; exempt streams keep
    // their bodies while the strings of their dictionaries are still processed.
    PDFDictionary inner{{"T", str("dentro")}};
    PDFObject nested = PDFObject::dictionary(PDFDictionary{
        {"A", PDFObject::array({PDFObject::dictionary(inner), integer(3)})}, {"N", name("x")}});
    PDFObject encrypted = aes.encrypt(nested, ref);
    const PDFObject& t = (*encrypted.dictionary()->get("A")->array())[0];
    EXPECT_EQ(*aes.decrypt(*t.dictionary()->get("T"), ref).stringData(), "dentro");
    EXPECT_EQ(aes.decrypt(encrypted, ref), nested);

    for (const auto& exempt :
         {PDFDictionary{{"Type", name("XRef")}, {"S", str("s")}},
          PDFDictionary{{"Filter", PDFObject::array({name("Crypt")})}, {"S", str("s")}}}) {
        PDFObject stream = aes.encrypt(PDFObject::stream(exempt, "cuerpo"), ref);
        EXPECT_EQ(stream.stream()->data, "cuerpo");
        EXPECT_NE(*stream.stream()->dictionary.get("S")->stringData(), "s");
    }
    PDFObject metadata = PDFObject::stream(PDFDictionary{{"Type", name("Metadata")}}, "xmp");
    EXPECT_NE(aes.encrypt(metadata, ref).stream()->data, "xmp");
}

TEST(PDFSecurity, UnencryptedMetadataStreamsStayAsStored) {
    PDFSecurity clear(md5Dictionary(4, 4, 16,
                                    [](PDFDictionary& d) {
                                        d.set("CF", PDFObject::dictionary(cryptFilters("AESV2")));
                                        d.set("StmF", name("StdCF"));
                                        d.set("EncryptMetadata", PDFObject::boolean(false));
                                    }),
                      kId);
    EXPECT_FALSE(clear.encryptsMetadata());
    PDFObject metadata = PDFObject::stream(PDFDictionary{{"Type", name("Metadata")}}, "xmp");
    EXPECT_EQ(clear.encrypt(metadata, PDFRef(3)).stream()->data, "xmp");
}

TEST(PDFSecurity, EncryptingWithAKeyAESRefusesThrowsInsteadOfWritingClearText) {
    // /V 5 with AES-256 but revision 4: the file key has 5 bytes, which AES does not take.
    PDFSecurity odd(md5Dictionary(5, 4, 5, withCryptFilter("AESV3")), kId);
    EXPECT_THROW(odd.encrypt(str("texto"), PDFRef(4)), PDFError);
    EXPECT_THROW(odd.encrypt(std::string_view("texto"), PDFRef(4)), PDFError);
    // Decrypting leaves the stored bytes.
    EXPECT_EQ(*odd.decrypt(str(std::string(48, 'c')), PDFRef(4)).stringData(),
              std::string(48, 'c'));
}

TEST(PDFSecurity, AllowsSigningFromPermissionBits) {
    auto allows = [](std::int64_t p, std::int64_t revision) {
        const std::size_t n = revision == 2 ? 5 : 16;
        return PDFSecurity(md5Dictionary(
                               revision == 2 ? 1 : 2, revision, n,
                               [](PDFDictionary& d) { d.set("Length", integer(128)); }, p),
                           kId)
            .allowsSigning();
    };
    EXPECT_FALSE(allows(-3904, 2));
    EXPECT_FALSE(allows(-3904, 3));
    EXPECT_FALSE(allows(-44, 2));
    EXPECT_TRUE(allows(-44, 3));
    EXPECT_TRUE(allows(-1, 2));
    EXPECT_TRUE(allows(-1, 4));
}
