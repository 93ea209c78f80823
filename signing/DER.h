#pragma once
// A small DER writer and a minimal TLV reader: the exact encodings the CMS signature needs, and
// enough reading to pick the issuer, serial number and policies out of a certificate.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace DER {

using Bytes = std::vector<std::uint8_t>;

// A DER fault; what() is the Spanish sentence shown to the user.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};

// One parsed TLV.
struct Node {
    std::uint8_t tag = 0;  // identifier octet unchanged
    Bytes encoded;         // the whole TLV
    Bytes content;         // the content octets only

    bool isConstructed() const { return (tag & 0x20) != 0; }
    // The consecutive TLVs of `content`, in order.
    std::vector<Node> children() const;
    // Element `index` of children(); past the end throws "Estructura ASN.1 inesperada".
    Node child(std::size_t index) const;
};

extern const Bytes null;  // 05 00

Bytes tlv(std::uint8_t tag, const Bytes& content);
Bytes sequence(const std::vector<Bytes>& items);
// SET OF: items sorted bytewise ascending (shorter prefix first, stable).
Bytes set(const std::vector<Bytes>& items);
Bytes integer(std::uint64_t value);
// INTEGER of a non-negative big-endian magnitude (leading zeros dropped, 00 added when needed).
Bytes unsignedInteger(const std::uint8_t* magnitude, std::size_t size);
Bytes octetString(const Bytes& data);
Bytes oid(std::string_view dotted);
Bytes context(std::uint8_t number, const Bytes& content);
// AlgorithmIdentifier: the OID, followed by `parameters` when given (NULL by default).
Bytes algorithm(std::string_view oid, const std::optional<Bytes>& parameters = null);

// The DER SET OF order: true when a sorts before b.
bool lessBytewise(const Bytes& a, const Bytes& b);
// Sorts encodings in the SET OF order, keeping equal items in their given order.
void sortBytewise(std::vector<Bytes>& items);

// Reads the first TLV of `data`; bytes after it are ignored.
Node parse(const std::uint8_t* data, std::size_t size);
inline Node parse(const Bytes& data) { return parse(data.data(), data.size()); }

}  // namespace DER
