#include "signing/Certificate.h"

#include "platform/NSSIdentityStore.h"
#include "signing/DER.h"
#include "signing/Digest.h"

#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

namespace {

using Clock = std::chrono::system_clock;

const char* const kCommonName = "2.5.4.3";
const char* const kSerialNumber = "2.5.4.5";
const char* const kSurname = "2.5.4.4";
const char* const kOrganization = "2.5.4.10";
const char* const kOrganizationalUnit = "2.5.4.11";
const char* const kGivenName = "2.5.4.42";
const char* const kOrganizationIdentifier = "2.5.4.97";
const char* const kEmailAddress = "1.2.840.113549.1.9.1";
const char* const kKeyUsage = "2.5.29.15";

const char* const kIdentityPattern = "\\b([0-9]{8}[A-Z]|[XYZ][0-9]{7}[A-Z])\\b";
const char* const kCompanyPattern = "\\b[A-HJ-NP-SUVW][0-9]{7}[0-9A-J]\\b";
const char* const kParenthesisedPattern = "\\([^)]*\\)";

// The pieces of a certificate the listing reads.
struct Fields {
    std::vector<DER::Node> issuer;   // RDNs
    std::vector<DER::Node> subject;  // RDNs
    std::optional<Clock::time_point> notAfter;
    std::optional<std::uint32_t> keyUsage;  // bit 0 digitalSignature, bit 1 nonRepudiation, ...
    DER::Bytes serial;                      // content bytes of the serial INTEGER
};

std::string latin1ToUTF8(const DER::Bytes& bytes) {
    std::string out;
    for (std::uint8_t c : bytes) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<std::string> textOf(const DER::Node& value) {
    std::string text;
    switch (value.tag) {
    case 0x0C:  // UTF8String
    case 0x12:  // NumericString
    case 0x13:  // PrintableString
    case 0x16:  // IA5String
    case 0x1A:  // VisibleString
        text.assign(value.content.begin(), value.content.end());
        break;
    case 0x14:  // TeletexString, read as Latin-1
        text = latin1ToUTF8(value.content);
        break;
    case 0x1E: {  // BMPString, UTF-16 big-endian
        if (value.content.size() % 2 != 0) return std::nullopt;
        std::u16string units;
        for (std::size_t i = 0; i + 1 < value.content.size(); i += 2)
            units.push_back(static_cast<char16_t>((value.content[i] << 8) | value.content[i + 1]));
        icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())).toUTF8String(text);
        break;
    }
    case 0x1C: {  // UniversalString, UTF-32 big-endian
        if (value.content.size() % 4 != 0) return std::nullopt;
        icu::UnicodeString string;
        for (std::size_t i = 0; i + 3 < value.content.size(); i += 4) {
            UChar32 c = static_cast<UChar32>((std::uint32_t(value.content[i]) << 24) |
                                             (std::uint32_t(value.content[i + 1]) << 16) |
                                             (std::uint32_t(value.content[i + 2]) << 8) |
                                             value.content[i + 3]);
            string.append(c);
        }
        string.toUTF8String(text);
        break;
    }
    default:
        return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    return text;
}

// The first attribute of the name with this identifier; absent when it is not text or empty.
std::optional<std::string> attribute(const std::vector<DER::Node>& name, const char* dotted) {
    const DER::Bytes wanted = DER::oid(dotted);
    try {
        for (const auto& rdn : name) {
            for (const auto& pair : rdn.children()) {
                auto parts = pair.children();
                if (parts.size() < 2 || parts[0].encoded != wanted) continue;
                return textOf(parts[1]);
            }
        }
    } catch (const DER::Error&) {
    }
    return std::nullopt;
}

std::optional<Clock::time_point> readTime(const DER::Node& node) {
    std::string text(node.content.begin(), node.content.end());
    std::size_t yearDigits = node.tag == 0x17 ? 2 : node.tag == 0x18 ? 4 : 0;
    if (yearDigits == 0 || text.size() < yearDigits + 10) return std::nullopt;
    for (std::size_t i = 0; i < yearDigits + 10; ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    auto number = [&](std::size_t at, std::size_t digits) {
        int value = 0;
        for (std::size_t i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
        return value;
    };
    int year = number(0, yearDigits);
    if (yearDigits == 2) year += year < 50 ? 2000 : 1900;
    std::size_t p = yearDigits;
    int month = number(p, 2), day = number(p + 2, 2);
    int hour = number(p + 4, 2), minute = number(p + 6, 2), second = number(p + 8, 2);
    std::chrono::year_month_day date{std::chrono::year(year),
                                     std::chrono::month(static_cast<unsigned>(month)),
                                     std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    const std::chrono::sys_seconds moment = std::chrono::sys_days(date) +
                                            std::chrono::hours(hour) +
                                            std::chrono::minutes(minute) +
                                            std::chrono::seconds(second);
    // The clock's range ends in 2262; "no expiry" certificates end in 9999 (99991231235959Z).
    using std::chrono::floor;
    const auto latest = floor<std::chrono::seconds>(Clock::time_point::max());
    const auto earliest = std::chrono::ceil<std::chrono::seconds>(Clock::time_point::min());
    if (moment.time_since_epoch() >= latest.time_since_epoch()) return Clock::time_point::max();
    if (moment.time_since_epoch() <= earliest.time_since_epoch()) return Clock::time_point::min();
    return Clock::time_point(moment.time_since_epoch());
}

std::optional<std::uint32_t> readKeyUsage(const DER::Bytes& extnValue) {
    try {
        DER::Node bits = DER::parse(extnValue);
        if (bits.tag != 0x03 || bits.content.empty()) return std::nullopt;
        // Named bit n is bit (7 - n % 8) of content byte 1 + n / 8.
        std::uint32_t mask = 0;
        for (std::size_t bit = 0; bit < 16 && 1 + bit / 8 < bits.content.size(); ++bit) {
            if (bits.content[1 + bit / 8] & (0x80 >> (bit % 8))) mask |= 1u << bit;
        }
        return mask;
    } catch (const DER::Error&) {
        return std::nullopt;
    }
}

std::optional<Fields> readFields(const std::string& der) {
    try {
        DER::Bytes bytes(der.begin(), der.end());
        auto certificate = DER::parse(bytes).children();
        if (certificate.empty()) return std::nullopt;
        auto tbs = certificate[0].children();
        if (!tbs.empty() && tbs[0].tag == 0xA0) tbs.erase(tbs.begin());
        if (tbs.size() < 6) return std::nullopt;
        Fields fields;
        if (tbs[0].tag == 0x02) fields.serial = tbs[0].content;
        fields.issuer = tbs[2].children();
        auto validity = tbs[3].children();
        if (validity.size() >= 2) fields.notAfter = readTime(validity[1]);
        fields.subject = tbs[4].children();
        const DER::Bytes keyUsageOID = DER::oid(kKeyUsage);
        for (std::size_t i = 5; i < tbs.size(); ++i) {
            if (tbs[i].tag != 0xA3) continue;
            auto wrapped = tbs[i].children();
            if (wrapped.empty()) break;
            for (const auto& extension : wrapped[0].children()) {
                auto parts = extension.children();
                if (parts.size() < 2 || parts[0].encoded != keyUsageOID) continue;
                if (parts.back().tag == 0x04) fields.keyUsage = readKeyUsage(parts.back().content);
            }
            break;
        }
        return fields;
    } catch (const DER::Error&) {
        return std::nullopt;
    }
}

icu::UnicodeString unicode(const std::string& text) { return icu::UnicodeString::fromUTF8(text); }

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// A compiled pattern, built once and then only read.
const icu::RegexPattern* pattern(const char* source) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    icu::RegexPattern* compiled =
        icu::RegexPattern::compile(icu::UnicodeString(source, -1, US_INV), parseError, status);
    if (U_FAILURE(status)) {
        delete compiled;
        return nullptr;
    }
    return compiled;
}

const icu::RegexPattern* identityPattern() {
    static const icu::RegexPattern* compiled = pattern(kIdentityPattern);
    return compiled;
}
const icu::RegexPattern* companyPattern() {
    static const icu::RegexPattern* compiled = pattern(kCompanyPattern);
    return compiled;
}
const icu::RegexPattern* parenthesisedPattern() {
    static const icu::RegexPattern* compiled = pattern(kParenthesisedPattern);
    return compiled;
}

std::optional<std::string> firstMatch(const icu::RegexPattern* compiled, const std::string& text) {
    if (!compiled) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = unicode(text);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    if (U_FAILURE(status) || !matcher->find()) return std::nullopt;
    icu::UnicodeString found = matcher->group(status);
    if (U_FAILURE(status)) return std::nullopt;
    return utf8(found);
}

std::string removeAll(const icu::RegexPattern* compiled, const std::string& text) {
    if (!compiled) return text;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = unicode(text);
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    if (U_FAILURE(status)) return text;
    icu::UnicodeString result = matcher->replaceAll(icu::UnicodeString(), status);
    return U_FAILURE(status) ? text : utf8(result);
}

std::string capitalised(const std::string& text) {
    icu::UnicodeString string = unicode(text);
    string.toTitle(nullptr, icu::Locale("es", "ES"));
    return utf8(string);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string trimBlanks(const std::string& text) {
    std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos) return {};
    std::size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

}  // namespace

std::optional<Certificate> Certificate::fromDER(const std::string& der, Clock::time_point now) {
    auto fields = readFields(der);
    if (!fields || !fields->notAfter) return std::nullopt;
    if (!(*fields->notAfter > now)) return std::nullopt;
    if (fields->keyUsage && (*fields->keyUsage & 0x3u) == 0) return std::nullopt;

    auto issuerO = attribute(fields->issuer, kOrganization);
    auto issuerCN = attribute(fields->issuer, kCommonName);
    Certificate c;
    c.issuer = issuerO ? *issuerO : issuerCN ? *issuerCN : "";
    c.authority = issuerCN ? *issuerCN : c.issuer;
    if (c.issuer.find("Apple") != std::string::npos) return std::nullopt;

    const auto& subject = fields->subject;
    auto commonName = attribute(subject, kCommonName);
    std::optional<std::string> summary = commonName;
    for (const char* fallback : {kEmailAddress, kOrganization, kOrganizationalUnit})
        if (!summary) summary = attribute(subject, fallback);
    c.name = summary ? *summary : "Certificado sin nombre";
    c.notAfter = *fields->notAfter;

    const auto* bytes = reinterpret_cast<const std::uint8_t*>(der.data());
    c.sha1 = Digest::hexUpper(Digest::sha1(bytes, der.size()));
    c.serialNumber = Digest::hexUpper(fields->serial);

    std::string working = commonName ? *commonName : c.name;

    if (auto serial = attribute(subject, kSerialNumber))
        c.idNumber = firstMatch(identityPattern(), *serial);
    if (!c.idNumber) c.idNumber = firstMatch(identityPattern(), working);

    c.organization = attribute(subject, kOrganization);
    if (c.organization) {
        auto identifier = attribute(subject, kOrganizationIdentifier);
        c.organizationID = firstMatch(companyPattern(), identifier ? *identifier : working);
    }

    auto given = attribute(subject, kGivenName);
    auto surname = attribute(subject, kSurname);
    if (given) c.givenName = capitalised(*given);
    if (surname) c.surnames = capitalised(*surname);

    std::string holder;
    if (given && surname) {
        holder = *given + " " + *surname;
    } else {
        holder = removeAll(parenthesisedPattern(), working);
        holder = removeAll(identityPattern(), holder);
        holder = replaceAll(holder, " - ", " ");
    }
    c.holder = capitalised(trimBlanks(holder));
    return c;
}

std::vector<Certificate> Certificate::signingCertificates(IdentityStore& store) {
    std::vector<IdentityStore::Bytes> identities;
    try {
        identities = store.identityCertificates();
    } catch (const std::exception&) {
        return {};
    }
    const auto now = Clock::now();
    std::vector<Certificate> taken;
    std::unordered_set<std::string> seen;
    for (const auto& der : identities) {
        auto certificate = fromDER(std::string(der.begin(), der.end()), now);
        if (!certificate || !seen.insert(certificate->sha1).second) continue;
        taken.push_back(std::move(*certificate));
    }
    std::stable_sort(taken.begin(), taken.end(), [](const Certificate& a, const Certificate& b) {
        return a.notAfter > b.notAfter;
    });
    return taken;
}

std::vector<Certificate> Certificate::signingCertificates(
    const std::optional<std::filesystem::path>& keychain) {
    try {
        NSSIdentityStore store(keychain);
        return signingCertificates(store);
    } catch (const std::exception&) {
        return {};
    }
}
