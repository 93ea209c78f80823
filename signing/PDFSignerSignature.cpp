// The signature dictionary with its placeholders, and the byte range and CMS written into them.

#include "signing/CMS.h"
#include "signing/Digest.h"
#include "signing/PDFSigner.h"

#include "pdf/PDFError.h"
#include "pdf/PDFSecurity.h"
#include "pdf/PDFSerializer.h"

#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

constexpr std::string_view kByteRangePlaceholder = "[0 0000000000 0000000000 0000000000]";
constexpr std::size_t kContentsDigits = 2 * PDFSigner::reservedBytes;

}  // namespace

std::string PDFSigner::pdfDate(std::chrono::system_clock::time_point time) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    long offset = local.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02ld'%02ld'", sign, (offset / 60) % 100, offset % 60);
    return std::string("D:") + stamp + zone;
}

std::string PDFSigner::signatureDictionary(PDFRef ref, const PDFSecurity* security) const {
    auto token = [&](const std::string& bytes) {
        return PDFSerializer::string(security ? security->encrypt(bytes, ref) : bytes);
    };
    const PDFObject name = PDFObject::text(signerName);
    std::string body;
    body.reserve(kContentsDigits + 400);
    body += "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached /M ";
    body += token(pdfDate(date));
    body += " /Name ";
    body += token(*name.stringData());
    body += " /Prop_Build << /App << /Name /Tindra /REx ";
    body += token("1.0");
    body += " >> >> /ByteRange ";
    body += kByteRangePlaceholder;
    body += " /Contents <";
    body.append(kContentsDigits, '0');
    body += "> >>";
    return body;
}

namespace {

// The offset of the first "<", 48000 zeros, ">" at or after `from`, in one pass.
std::optional<std::size_t> findContents(const std::string& bytes, std::size_t from) {
    const std::size_t size = bytes.size();
    std::size_t at = from;
    while (at < size) {
        std::size_t open = bytes.find('<', at);
        if (open == std::string::npos || size - open < kContentsDigits + 2) return std::nullopt;
        std::size_t run = open + 1;
        const std::size_t limit = open + 1 + kContentsDigits;
        while (run < limit && bytes[run] == '0') ++run;
        if (run == limit && bytes[run] == '>') return open;
        // No "<" lies inside the run of zeros just scanned.
        at = run > open + 1 ? run : open + 1;
    }
    return std::nullopt;
}

}  // namespace

void PDFSigner::embedSignature(std::string& bytes, std::int64_t from) const {
    Digest::SHA256 hash;
    embedSignature(bytes, 0, from, hash);
}

void PDFSigner::embedSignature(std::string& tail, std::int64_t start, std::int64_t from,
                               Digest::SHA256& prefix) const {
    // Positions in `tail` are those in the file less `start`.
    if (start < 0 || from < start || static_cast<std::uint64_t>(from - start) > tail.size())
        throw PDFError("No se encuentran los marcadores de la firma");
    const auto local = static_cast<std::size_t>(from - start);
    auto contents = findContents(tail, local);
    std::size_t range = tail.find(kByteRangePlaceholder, local);
    if (!contents || range == std::string::npos)
        throw PDFError("No se encuentran los marcadores de la firma");
    const auto offset = static_cast<std::size_t>(start);
    if (offset > static_cast<std::uint64_t>(maxFileSize) ||
        tail.size() > static_cast<std::uint64_t>(maxFileSize) - offset)
        throw PDFError("El PDF es demasiado grande para firmarlo.");

    const std::size_t a = offset + *contents;
    const std::size_t b = a + kContentsDigits + 2;
    const std::size_t c = offset + tail.size() - b;
    std::string text = "[0 " + std::to_string(a) + " " + std::to_string(b) + " " +
                       std::to_string(c) + "]";
    text.resize(kByteRangePlaceholder.size(), ' ');
    tail.replace(range, text.size(), text);

    Digest::SHA256& hash = prefix;
    const auto* data = reinterpret_cast<const std::uint8_t*>(tail.data());
    hash.update(data, *contents);
    hash.update(data + (b - offset), c);
    const DER::Bytes digest = hash.finish();

    const SigningIdentity& signer = identity;
    DER::Bytes cms = CMS::signedData(digest, signer.certificate, signer.chain, signer.keyKind,
                                     [&](const DER::Bytes& attributes) {
                                         return signer.sign(attributes);
                                     });
    if (static_cast<std::int64_t>(cms.size()) > reservedBytes)
        throw Failure::signatureTooLarge(static_cast<std::int64_t>(cms.size()));
    const std::string hex = Digest::hexUpper(cms);
    tail.replace(*contents + 1, hex.size(), hex);
}
