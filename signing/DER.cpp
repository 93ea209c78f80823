#include "signing/DER.h"

#include <algorithm>
#include <charconv>

namespace DER {

namespace {

const char* const kTruncated = "ASN.1 truncado";
const char* const kBadLength = "Longitud ASN.1 no soportada";
const char* const kUnexpected = "Estructura ASN.1 inesperada";

Bytes concat(const std::vector<Bytes>& items) {
    std::size_t total = 0;
    for (const auto& item : items) total += item.size();
    Bytes out;
    out.reserve(total);
    for (const auto& item : items) out.insert(out.end(), item.begin(), item.end());
    return out;
}

void appendBase128(Bytes& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    for (int i = count - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(groups[i] | (i > 0 ? 0x80 : 0)));
}

}  // namespace

const Bytes null = {0x05, 0x00};

Bytes tlv(std::uint8_t tag, const Bytes& content) {
    Bytes out;
    out.reserve(content.size() + 10);
    out.push_back(tag);
    std::size_t length = content.size();
    if (length < 128) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else {
        std::uint8_t digits[sizeof(std::size_t)];
        int count = 0;
        while (length != 0) {
            digits[count++] = static_cast<std::uint8_t>(length & 0xFF);
            length >>= 8;
        }
        out.push_back(static_cast<std::uint8_t>(0x80 + count));
        for (int i = count - 1; i >= 0; --i) out.push_back(digits[i]);
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes sequence(const std::vector<Bytes>& items) { return tlv(0x30, concat(items)); }

bool lessBytewise(const Bytes& a, const Bytes& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

void sortBytewise(std::vector<Bytes>& items) {
    std::stable_sort(items.begin(), items.end(), lessBytewise);
}

Bytes set(const std::vector<Bytes>& items) {
    std::vector<Bytes> sorted = items;
    sortBytewise(sorted);
    return tlv(0x31, concat(sorted));
}

Bytes integer(std::uint64_t value) {
    Bytes digits;
    do {
        digits.insert(digits.begin(), static_cast<std::uint8_t>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (digits.front() & 0x80) digits.insert(digits.begin(), 0x00);
    return tlv(0x02, digits);
}

Bytes unsignedInteger(const std::uint8_t* magnitude, std::size_t size) {
    std::size_t start = 0;
    while (start < size && magnitude[start] == 0) ++start;
    Bytes digits;
    digits.reserve(size - start + 1);
    if (start == size || (magnitude[start] & 0x80)) digits.push_back(0x00);
    digits.insert(digits.end(), magnitude + start, magnitude + size);
    return tlv(0x02, digits);
}

Bytes octetString(const Bytes& data) { return tlv(0x04, data); }

Bytes oid(std::string_view dotted) {
    std::vector<std::uint64_t> arcs;
    std::size_t start = 0;
    while (start <= dotted.size()) {
        std::size_t end = dotted.find('.', start);
        if (end == std::string_view::npos) end = dotted.size();
        std::string_view piece = dotted.substr(start, end - start);
        if (!piece.empty()) {
            std::uint64_t value = 0;
            auto [ptr, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
            if (ec == std::errc() && ptr == piece.data() + piece.size()) arcs.push_back(value);
        }
        start = end + 1;
    }
    Bytes content;
    // Only the engine's fixed identifiers reach here; a malformed one still yields a TLV.
    if (arcs.size() >= 2 && arcs[0] <= 2 && arcs[1] < 256 && 40 * arcs[0] + arcs[1] < 256) {
        content.push_back(static_cast<std::uint8_t>(40 * arcs[0] + arcs[1]));
        for (std::size_t i = 2; i < arcs.size(); ++i) appendBase128(content, arcs[i]);
    }
    return tlv(0x06, content);
}

Bytes context(std::uint8_t number, const Bytes& content) {
    return tlv(static_cast<std::uint8_t>(0xA0 | number), content);
}

Bytes algorithm(std::string_view identifier, const std::optional<Bytes>& parameters) {
    std::vector<Bytes> items{oid(identifier)};
    if (parameters) items.push_back(*parameters);
    return sequence(items);
}

Node parse(const std::uint8_t* data, std::size_t size) {
    if (size < 2) throw Error(kTruncated);
    std::size_t window = std::min<std::size_t>(size, 6);
    std::uint8_t lengthByte = data[1];
    std::size_t header = 2;
    std::size_t length = lengthByte;
    if (lengthByte >= 0x80) {
        std::size_t n = lengthByte & 0x7F;
        if (n < 1 || n > 4 || window < n + 2) throw Error(kBadLength);
        length = 0;
        for (std::size_t i = 0; i < n; ++i) length = (length << 8) | data[2 + i];
        header = n + 2;
    }
    if (size - header < length) throw Error(kTruncated);
    Node node;
    node.tag = data[0];
    node.encoded.assign(data, data + header + length);
    node.content.assign(data + header, data + header + length);
    return node;
}

std::vector<Node> Node::children() const {
    std::vector<Node> result;
    std::size_t offset = 0;
    while (offset < content.size()) {
        Node node = parse(content.data() + offset, content.size() - offset);
        offset += node.encoded.size();
        result.push_back(std::move(node));
    }
    return result;
}

Node Node::child(std::size_t index) const {
    auto all = children();
    if (index >= all.size()) throw Error(kUnexpected);
    return all[index];
}

}  // namespace DER
