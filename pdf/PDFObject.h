#pragma once
// The PDF object model: PDFObject (one value of ten kinds), PDFDictionary (keeps key order),
// PDFStream. Plain values; nothing here does input or output.
//
// Byte buffers are std::string (raw bytes, no character set). Texts (names, dictionary keys,
// decoded text strings) are UTF-8 std::string.

#include "pdf/PDFRef.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

class PDFObject;

// A dictionary that remembers the order in which keys were first inserted; the serializer writes
// the entries in that order. Keys are name texts without the "/".
class PDFDictionary {
public:
    struct Entry;  // { std::string key; PDFObject value; }

    PDFDictionary();
    // Inserts the pairs in order; a repeated key keeps its first place and its last value.
    PDFDictionary(std::initializer_list<std::pair<std::string, PDFObject>> pairs);
    explicit PDFDictionary(const std::vector<std::pair<std::string, PDFObject>>& pairs);
    PDFDictionary(const PDFDictionary& other);
    PDFDictionary(PDFDictionary&& other) noexcept;
    PDFDictionary& operator=(const PDFDictionary& other);
    PDFDictionary& operator=(PDFDictionary&& other) noexcept;
    ~PDFDictionary();

    // The key's value, or nullptr.
    const PDFObject* get(std::string_view key) const;
    PDFObject* get(std::string_view key);
    bool contains(std::string_view key) const;

    // A new key is appended at the end; an existing key keeps its place and takes the new value.
    void set(std::string key, PDFObject value);
    // Removes the key and closes the gap; an absent key changes nothing.
    void remove(std::string_view key);

    std::vector<std::string> keys() const;
    std::vector<std::pair<std::string, PDFObject>> entries() const;
    std::size_t size() const;
    bool empty() const;

    // Iteration in key order: for (const auto& [key, value] : dictionary).
    std::vector<Entry>::const_iterator begin() const;
    std::vector<Entry>::const_iterator end() const;

    // Same keys in the same order with equal values.
    bool operator==(const PDFDictionary& other) const;

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // Dictionaries up to this size are searched linearly; larger ones keep a hash index.
    static constexpr std::size_t kIndexThreshold = 16;

    std::size_t indexOf(std::string_view key) const;
    void rebuildIndex();

    std::vector<Entry> entries_;
    std::unique_ptr<std::unordered_map<std::string, std::size_t>> index_;
};

// A stream: its dictionary and its bytes as stored between "stream" and "endstream" (still
// filtered; decrypted when read through an encrypted file).
struct PDFStream {
    PDFDictionary dictionary;
    std::string data;
    bool operator==(const PDFStream&) const = default;
};

class PDFObject {
public:
    // The ten kinds, in this order.
    enum class Kind { boolean, integer, real, name, string, array, dictionary, stream, reference, null };

    PDFObject() = default;  // null

    static PDFObject boolean(bool value);
    static PDFObject integer(std::int64_t value);
    static PDFObject real(double value);
    static PDFObject name(std::string text);
    static PDFObject string(std::string bytes);
    static PDFObject array(std::vector<PDFObject> elements);
    static PDFObject dictionary(PDFDictionary dictionary);
    static PDFObject stream(PDFDictionary dictionary, std::string data);
    static PDFObject reference(PDFRef ref);
    static PDFObject null() { return PDFObject(); }

    // The string under which a text is stored: its bytes when every character is in U+0020..U+007F,
    // else FE FF and UTF-16 big-endian. `utf8` is UTF-8 (invalid sequences become U+FFFD).
    static PDFObject text(std::string_view utf8);

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool isNull() const { return kind() == Kind::null; }

    // Accessors: nothing (nullptr / nullopt) when the kind does not match.
    std::optional<bool> boolean() const;
    // Of an integer; of a real, truncated toward zero when it fits 64 bits (not NaN).
    std::optional<std::int64_t> integer() const;
    // Of an integer (converted) or a real.
    std::optional<double> number() const;
    std::optional<PDFRef> reference() const;
    // The name's text, without "/".
    const std::string* name() const;
    // The raw bytes of a string.
    const std::string* stringData() const;
    // The bytes of a string read as a PDF text string (UTF-16BE after FE FF, else PDFDocEncoding),
    // as UTF-8; nothing for other kinds or for UTF-16 that does not decode.
    std::optional<std::string> text() const;
    const std::vector<PDFObject>* array() const;
    std::vector<PDFObject>* array();
    // Of a dictionary, and the dictionary of a stream.
    const PDFDictionary* dictionary() const;
    PDFDictionary* dictionary();
    const PDFStream* stream() const;
    PDFStream* stream();

    bool operator==(const PDFObject& other) const { return value_ == other.value_; }

private:
    struct Name {
        std::string text;
        bool operator==(const Name&) const = default;
    };
    struct String {
        std::string bytes;
        bool operator==(const String&) const = default;
    };
    struct Null {
        bool operator==(const Null&) const = default;
    };
    // A stream is held through a pointer, so that every other kind (most of a file's values)
    // takes less room; copies stay deep.
    struct StreamBox {
        std::unique_ptr<PDFStream> stream;
        explicit StreamBox(PDFStream value);
        StreamBox(const StreamBox& other);
        StreamBox(StreamBox&&) noexcept = default;
        StreamBox& operator=(const StreamBox& other);
        StreamBox& operator=(StreamBox&&) noexcept = default;
        ~StreamBox();
        bool operator==(const StreamBox& other) const;
    };
    using Value = std::variant<bool, std::int64_t, double, Name, String, std::vector<PDFObject>,
                               PDFDictionary, StreamBox, PDFRef, Null>;

    explicit PDFObject(Value value) : value_(std::move(value)) {}

    Value value_{Null{}};
};

struct PDFDictionary::Entry {
    std::string key;
    PDFObject value;
    bool operator==(const Entry&) const = default;
};

// Defined once Entry is complete.
inline std::size_t PDFDictionary::size() const { return entries_.size(); }
inline bool PDFDictionary::empty() const { return entries_.empty(); }
inline std::vector<PDFDictionary::Entry>::const_iterator PDFDictionary::begin() const { return entries_.begin(); }
inline std::vector<PDFDictionary::Entry>::const_iterator PDFDictionary::end() const { return entries_.end(); }
