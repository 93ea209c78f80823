#include "pdf/PDFObject.h"

#include "pdf/PDFDocEncoding.h"
#include "pdf/UTF8.h"

#include <cmath>

PDFObject PDFObject::boolean(bool value) { return PDFObject(Value(std::in_place_index<0>, value)); }
PDFObject PDFObject::integer(std::int64_t value) { return PDFObject(Value(std::in_place_index<1>, value)); }
PDFObject PDFObject::real(double value) { return PDFObject(Value(std::in_place_index<2>, value)); }
PDFObject PDFObject::name(std::string text) { return PDFObject(Value(Name{std::move(text)})); }
PDFObject PDFObject::string(std::string bytes) { return PDFObject(Value(String{std::move(bytes)})); }
PDFObject PDFObject::array(std::vector<PDFObject> elements) { return PDFObject(Value(std::move(elements))); }
PDFObject PDFObject::dictionary(PDFDictionary dictionary) { return PDFObject(Value(std::move(dictionary))); }
PDFObject PDFObject::stream(PDFDictionary dictionary, std::string data) {
    return PDFObject(Value(StreamBox(PDFStream{std::move(dictionary), std::move(data)})));
}

PDFObject::StreamBox::StreamBox(PDFStream value)
    : stream(std::make_unique<PDFStream>(std::move(value))) {}

PDFObject::StreamBox::StreamBox(const StreamBox& other)
    : stream(other.stream ? std::make_unique<PDFStream>(*other.stream) : nullptr) {}

PDFObject::StreamBox& PDFObject::StreamBox::operator=(const StreamBox& other) {
    if (this != &other) stream = other.stream ? std::make_unique<PDFStream>(*other.stream) : nullptr;
    return *this;
}

PDFObject::StreamBox::~StreamBox() = default;

bool PDFObject::StreamBox::operator==(const StreamBox& other) const {
    if (!stream || !other.stream) return stream == other.stream;
    return *stream == *other.stream;
}
PDFObject PDFObject::reference(PDFRef ref) { return PDFObject(Value(ref)); }

PDFObject PDFObject::text(std::string_view utf8) {
    std::u32string scalars;
    scalars.reserve(utf8.size());
    bool ascii = true;
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = UTF8::next(utf8, i);
        if (c < 0x20 || c > 0x7F) ascii = false;
        scalars.push_back(c);
    }
    std::string bytes;
    if (ascii) {
        bytes.assign(scalars.begin(), scalars.end());
        return string(std::move(bytes));
    }
    bytes.reserve(2 + 2 * scalars.size() + 8);
    bytes += "\xFE\xFF";
    auto unit = [&bytes](char32_t u) {
        bytes.push_back(static_cast<char>((u >> 8) & 0xFF));
        bytes.push_back(static_cast<char>(u & 0xFF));
    };
    for (char32_t c : scalars) {
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            unit(0xD800 + (v >> 10));
            unit(0xDC00 + (v & 0x3FF));
        } else {
            unit(c);
        }
    }
    return string(std::move(bytes));
}

std::optional<bool> PDFObject::boolean() const {
    if (auto v = std::get_if<bool>(&value_)) return *v;
    return std::nullopt;
}

std::optional<std::int64_t> PDFObject::integer() const {
    if (auto v = std::get_if<std::int64_t>(&value_)) return *v;
    if (auto v = std::get_if<double>(&value_)) {
        if (std::isnan(*v)) return std::nullopt;
        const double t = std::trunc(*v);
        // 2^63 is exactly representable; the valid range is [-2^63, 2^63).
        if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return std::nullopt;
        return static_cast<std::int64_t>(t);
    }
    return std::nullopt;
}

std::optional<double> PDFObject::number() const {
    if (auto v = std::get_if<std::int64_t>(&value_)) return static_cast<double>(*v);
    if (auto v = std::get_if<double>(&value_)) return *v;
    return std::nullopt;
}

std::optional<PDFRef> PDFObject::reference() const {
    if (auto v = std::get_if<PDFRef>(&value_)) return *v;
    return std::nullopt;
}

const std::string* PDFObject::name() const {
    if (auto v = std::get_if<Name>(&value_)) return &v->text;
    return nullptr;
}

const std::string* PDFObject::stringData() const {
    if (auto v = std::get_if<String>(&value_)) return &v->bytes;
    return nullptr;
}

std::optional<std::string> PDFObject::text() const {
    const std::string* bytes = stringData();
    if (!bytes) return std::nullopt;
    const std::string& b = *bytes;
    std::string out;
    if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFE && static_cast<unsigned char>(b[1]) == 0xFF) {
        if (b.size() % 2 != 0) return std::nullopt;
        out.reserve(b.size());
        for (std::size_t i = 2; i < b.size(); i += 2) {
            const char32_t u = (static_cast<unsigned char>(b[i]) << 8) | static_cast<unsigned char>(b[i + 1]);
            if (u >= 0xD800 && u <= 0xDBFF) {
                if (i + 3 >= b.size()) return std::nullopt;
                const char32_t low =
                    (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
                if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
                UTF8::append(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
            } else if (u >= 0xDC00 && u <= 0xDFFF) {
                return std::nullopt;
            } else {
                UTF8::append(out, u);
            }
        }
        return out;
    }
    out.reserve(b.size());
    for (char c : b) UTF8::append(out, PDFDocEncoding::scalar(static_cast<std::uint8_t>(c)));
    return out;
}

const std::vector<PDFObject>* PDFObject::array() const { return std::get_if<std::vector<PDFObject>>(&value_); }
std::vector<PDFObject>* PDFObject::array() { return std::get_if<std::vector<PDFObject>>(&value_); }

const PDFDictionary* PDFObject::dictionary() const {
    if (auto v = std::get_if<PDFDictionary>(&value_)) return v;
    if (auto v = std::get_if<StreamBox>(&value_); v && v->stream) return &v->stream->dictionary;
    return nullptr;
}

PDFDictionary* PDFObject::dictionary() {
    if (auto v = std::get_if<PDFDictionary>(&value_)) return v;
    if (auto v = std::get_if<StreamBox>(&value_); v && v->stream) return &v->stream->dictionary;
    return nullptr;
}

const PDFStream* PDFObject::stream() const {
    const auto* v = std::get_if<StreamBox>(&value_);
    return v ? v->stream.get() : nullptr;
}
PDFStream* PDFObject::stream() {
    auto* v = std::get_if<StreamBox>(&value_);
    return v ? v->stream.get() : nullptr;
}
