// Reading the encryption dictionary and deriving the file key with the empty user password.
#include "pdf/PDFSecurity.h"

#include <algorithm>

namespace {

std::int64_t integerOr(const PDFDictionary& dictionary, std::string_view key,
                       std::int64_t fallback) {
    const PDFObject* value = dictionary.get(key);
    if (!value) return fallback;
    return value->integer().value_or(fallback);
}

std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

// The method of the crypt filter named by /StrF or /StmF. A V2 filter's /Length may change the
// key length.
PDFSecurity::Method cryptFilterMethod(const PDFObject* nameValue, const PDFDictionary& filters,
                                      std::int64_t& keyLength) {
    const std::string* name = nameValue ? nameValue->name() : nullptr;
    if (!name || *name == "Identity") return PDFSecurity::Method::identity;
    const PDFObject* filterValue = filters.get(*name);
    const PDFDictionary* filter = filterValue ? filterValue->dictionary() : nullptr;
    if (!filter) throw PDFSecurity::Failure::unsupported("filtro " + *name);
    const PDFObject* cfmValue = filter->get("CFM");
    const std::string* cfm = cfmValue ? cfmValue->name() : nullptr;
    if (!cfm || *cfm == "None") return PDFSecurity::Method::identity;
    if (*cfm == "V2") {
        if (const PDFObject* length = filter->get("Length")) {
            if (auto value = length->integer()) keyLength = *value >= 33 ? *value / 8 : *value;
        }
        return PDFSecurity::Method::rc4;
    }
    if (*cfm == "AESV2") return PDFSecurity::Method::aes128;
    if (*cfm == "AESV3") return PDFSecurity::Method::aes256;
    throw PDFSecurity::Failure::unsupported(*cfm);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

PDFSecurity::Failure::Failure(Kind kind, std::string detail, const std::string& message)
    : std::runtime_error(message), kind_(kind), detail_(std::move(detail)) {}

PDFSecurity::Failure PDFSecurity::Failure::unsupported(const std::string& detail) {
    return Failure(Kind::unsupported, detail,
                   "El PDF usa un cifrado que todavía no se puede firmar (" + detail + ").");
}

PDFSecurity::Failure PDFSecurity::Failure::needsPassword() {
    return Failure(Kind::needsPassword, {},
                   "El PDF está protegido con contraseña de apertura; todavía no se puede firmar.");
}

const std::string_view PDFSecurity::padding{
    "\x28\xBF\x4E\x5E\x4E\x75\x8A\x41\x64\x00\x4E\x56\xFF\xFA\x01\x08"
    "\x2E\x2E\x00\xB6\xD0\x68\x3E\x80\x2F\x0C\xA9\xFE\x64\x53\x69\x7A",
    32};

PDFSecurity::PDFSecurity(const PDFDictionary& encrypt, std::string_view id) {
    // 1. Only the standard handler.
    const PDFObject* filterValue = encrypt.get("Filter");
    const std::string* filter = filterValue ? filterValue->name() : nullptr;
    if (!filter || *filter != "Standard") {
        throw Failure::unsupported("con certificado, «" + (filter ? *filter : std::string("?")) +
                                   "»");
    }

    // 2. Version, revision, permissions, metadata.
    const std::int64_t version = integerOr(encrypt, "V", 0);
    revision_ = integerOr(encrypt, "R", 0);
    permissions_ = static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(integerOr(encrypt, "P", 0)) & 0xFFFFFFFFu);
    if (const PDFObject* metadata = encrypt.get("EncryptMetadata")) {
        encryptsMetadata_ = metadata->boolean().value_or(true);
    }

    // 3. /O and /U.
    const PDFObject* oValue = encrypt.get("O");
    const PDFObject* uValue = encrypt.get("U");
    const std::string* o = oValue ? oValue->stringData() : nullptr;
    const std::string* u = uValue ? uValue->stringData() : nullptr;
    if (!o || !u) throw Failure::unsupported("sin /O o /U");

    // 4. Key length in bytes.
    std::int64_t length = integerOr(encrypt, "Length", 40) / 8;

    // 5. Methods by version.
    if (version == 1 || version == 2) {
        stringMethod_ = streamMethod_ = Method::rc4;
    } else if (version == 4 || version == 5) {
        const PDFObject* cfValue = encrypt.get("CF");
        const PDFDictionary* cfDictionary = cfValue ? cfValue->dictionary() : nullptr;
        const PDFDictionary filters = cfDictionary ? *cfDictionary : PDFDictionary();
        stringMethod_ = cryptFilterMethod(encrypt.get("StrF"), filters, length);
        streamMethod_ = cryptFilterMethod(encrypt.get("StmF"), filters, length);
        if (stringMethod_ == Method::aes128 || streamMethod_ == Method::aes128) length = 16;
    } else {
        throw Failure::unsupported("versión " + decimal(version));
    }

    // 6. Key by revision.
    if (revision_ >= 2 && revision_ <= 4) {
        const std::size_t n =
            revision_ == 2 ? 5 : static_cast<std::size_t>(std::clamp<std::int64_t>(length, 5, 16));
        key_ = fileKeyMD5(*o, permissions_, id, revision_, n, encryptsMetadata_);
        if (!userPasswordMatches(key_, *u, id, revision_)) {
            // A key length outside 5 to 16 bytes is no real key length: the writer used another
            // one, usually the 40-bit default or 128 bits. Only a key that passes the password
            // test is taken, so a file that does need a password still says so.
            bool matched = false;
            if (revision_ != 2 && (length < 5 || length > 16)) {
                for (std::size_t other : {std::size_t{5}, std::size_t{16}}) {
                    std::string candidate =
                        fileKeyMD5(*o, permissions_, id, revision_, other, encryptsMetadata_);
                    if (userPasswordMatches(candidate, *u, id, revision_)) {
                        key_ = std::move(candidate);
                        matched = true;
                        break;
                    }
                }
            }
            if (!matched) throw Failure::needsPassword();
        }
    } else if (revision_ == 5 || revision_ == 6) {
        const PDFObject* ueValue = encrypt.get("UE");
        const std::string* ue = ueValue ? ueValue->stringData() : nullptr;
        if (u->size() < 48 || !ue || ue->size() < 32)
            throw Failure::unsupported("/U o /UE incompletos");
        const std::string_view uBytes(*u);
        if (saltHash(uBytes.substr(32, 8), revision_) != uBytes.substr(0, 32))
            throw Failure::needsPassword();
        const std::string intermediate = saltHash(uBytes.substr(40, 8), revision_);
        auto fileKey = aes(true, intermediate, std::string(16, '\0'),
                           std::string_view(*ue).substr(0, 32), false);
        if (!fileKey || fileKey->size() < 32) throw Failure::unsupported("/UE no válido");
        key_ = fileKey->substr(0, 32);
    } else {
        throw Failure::unsupported("revisión " + decimal(revision_));
    }
}

std::string PDFSecurity::fileKeyMD5(std::string_view o, std::uint32_t permissions,
                                    std::string_view id, std::int64_t revision, std::size_t length,
                                    bool encryptsMetadata) {
    std::string input(padding);
    input.append(o.substr(0, 32));
    for (int i = 0; i < 4; ++i) input.push_back(static_cast<char>((permissions >> (8 * i)) & 0xFF));
    input.append(id);
    if (revision >= 4 && !encryptsMetadata) input.append("\xFF\xFF\xFF\xFF", 4);
    std::string digest = md5(input);
    length = std::min(length, digest.size());
    if (revision == 3 || revision == 4) {
        for (int i = 0; i < 50; ++i) digest = md5(std::string_view(digest).substr(0, length));
    }
    return digest.substr(0, length);
}

bool PDFSecurity::userPasswordMatches(std::string_view key, std::string_view u, std::string_view id,
                                      std::int64_t revision) {
    if (key.empty()) return false;
    if (revision == 2) {
        return u.size() >= 32 && rc4(key, padding) == u.substr(0, 32);
    }
    if (u.size() < 16) return false;
    std::string input(padding);
    input.append(id);
    std::string value = rc4(key, md5(input));
    std::string roundKey(key);
    for (int i = 1; i <= 19; ++i) {
        for (std::size_t j = 0; j < key.size(); ++j) {
            roundKey[j] = static_cast<char>(static_cast<unsigned char>(key[j]) ^ i);
        }
        value = rc4(roundKey, value);
    }
    return value == u.substr(0, 16);
}
