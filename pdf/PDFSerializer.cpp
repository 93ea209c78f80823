#include "pdf/PDFSerializer.h"

#include <charconv>
#include <cmath>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendInt(std::string& out, std::int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendName(std::string& out, std::string_view text) {
    out.push_back('/');
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = c >= 0x21 && c <= 0x7E && c != '#' && c != '%' && c != '(' && c != ')' &&
                           c != '/' && c != '<' && c != '>' && c != '[' && c != ']' && c != '{' && c != '}';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('#');
            out.push_back(kHexDigits[c >> 4]);
            out.push_back(kHexDigits[c & 0x0F]);
        }
    }
}

void appendString(std::string& out, std::string_view bytes) {
    bool printable = true;
    std::size_t escapes = 0;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E) {
            printable = false;
            break;
        }
        if (c == '(' || c == ')' || c == '\\') ++escapes;
    }
    if (printable) {
        out.reserve(out.size() + bytes.size() + escapes + 2);
        out.push_back('(');
        for (char ch : bytes) {
            if (ch == '(' || ch == ')' || ch == '\\') out.push_back('\\');
            out.push_back(ch);
        }
        out.push_back(')');
        return;
    }
    out.reserve(out.size() + 2 * bytes.size() + 2);
    out.push_back('<');
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out.push_back(kHexDigits[c >> 4]);
        out.push_back(kHexDigits[c & 0x0F]);
    }
    out.push_back('>');
}

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        // Infinity and NaN have no PDF form.
        out.push_back('0');
        return;
    }
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        appendInt(out, static_cast<std::int64_t>(value));
        return;
    }
    // Finite doubles print in at most 309 integer digits plus the sign, point and five decimals.
    char buffer[330];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 5);
    char* end = result.ptr;
    while (end > buffer && end[-1] == '0') --end;
    if (end > buffer && end[-1] == '.') --end;
    out.append(buffer, end);
}

void writeDictionary(const PDFDictionary& dictionary, std::string& out, const std::int64_t* length);

void writeObject(const PDFObject& object, std::string& out) {
    switch (object.kind()) {
    case PDFObject::Kind::boolean:
        out += *object.boolean() ? "true" : "false";
        break;
    case PDFObject::Kind::integer:
        appendInt(out, *object.integer());
        break;
    case PDFObject::Kind::real:
        appendNumber(out, *object.number());
        break;
    case PDFObject::Kind::name:
        appendName(out, *object.name());
        break;
    case PDFObject::Kind::string:
        appendString(out, *object.stringData());
        break;
    case PDFObject::Kind::array: {
        out.push_back('[');
        bool first = true;
        for (const PDFObject& element : *object.array()) {
            if (!first) out.push_back(' ');
            first = false;
            writeObject(element, out);
        }
        out.push_back(']');
        break;
    }
    case PDFObject::Kind::dictionary:
        writeDictionary(*object.dictionary(), out, nullptr);
        break;
    case PDFObject::Kind::stream: {
        const PDFStream& stream = *object.stream();
        const auto length = static_cast<std::int64_t>(stream.data.size());
        writeDictionary(stream.dictionary, out, &length);
        out.reserve(out.size() + stream.data.size() + 18);
        out += "\nstream\n";
        out += stream.data;
        out += "\nendstream";
        break;
    }
    case PDFObject::Kind::reference: {
        const PDFRef ref = *object.reference();
        appendInt(out, ref.number);
        out.push_back(' ');
        appendInt(out, ref.generation);
        out += " R";
        break;
    }
    case PDFObject::Kind::null:
        out += "null";
        break;
    }
}

// Writes the dictionary; with `length`, as if its "Length" were set to that integer (in place when
// present, else as the last key).
void writeDictionary(const PDFDictionary& dictionary, std::string& out, const std::int64_t* length) {
    out += "<<";
    bool lengthWritten = false;
    for (const auto& [key, value] : dictionary) {
        appendName(out, key);
        out.push_back(' ');
        if (length && key == "Length") {
            appendInt(out, *length);
            lengthWritten = true;
        } else {
            writeObject(value, out);
        }
        out.push_back(' ');
    }
    if (length && !lengthWritten) {
        out += "/Length ";
        appendInt(out, *length);
        out.push_back(' ');
    }
    out += ">>";
}

}  // namespace

namespace PDFSerializer {

std::string data(const PDFObject& object) {
    std::string out;
    writeObject(object, out);
    return out;
}

void write(const PDFObject& object, std::string& out) { writeObject(object, out); }

void write(const PDFDictionary& dictionary, std::string& out) { writeDictionary(dictionary, out, nullptr); }

std::string format(double value) {
    std::string out;
    appendNumber(out, value);
    return out;
}

std::string name(std::string_view text) {
    std::string out;
    appendName(out, text);
    return out;
}

std::string string(std::string_view bytes) {
    std::string out;
    appendString(out, bytes);
    return out;
}

}  // namespace PDFSerializer
