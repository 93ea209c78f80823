#include "support/PDFFixtures.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <stdexcept>

#include "support/TestUtil.h"

namespace fixtures {
namespace {

std::string number(double value) {
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    return text;
}

// Runs of consecutive numbers: (first, count).
std::vector<std::pair<int64_t, int64_t>> runs(const std::vector<int64_t>& sorted) {
    std::vector<std::pair<int64_t, int64_t>> result;
    for (int64_t n : sorted) {
        if (!result.empty() && result.back().first + result.back().second == n) {
            ++result.back().second;
        } else {
            result.push_back({n, 1});
        }
    }
    return result;
}

// Latin-1 bytes of a UTF-8 text (characters above U+00FF become '?').
std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out += code < 0x100 ? static_cast<char>(code) : '?';
            i += 2;
        } else {
            out += '?';
            ++i;
            while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

std::string literal(const std::string& bytes) {
    std::string out = "(";
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '(' || ch == ')' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c > 0x7E) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + ")";
}

}  // namespace

// ---------------------------------------------------------------------------------------------

FixtureWriter::FixtureWriter(const std::string& header) {
    bytes_ = header + "\n%\xE2\xE3\xCF\xD3\n";
}

FixtureWriter& FixtureWriter::object(int64_t number, const std::string& body, int64_t generation) {
    objects_[number] = {size(), generation};
    bytes_ +=
        std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
    return *this;
}

FixtureWriter& FixtureWriter::stream(int64_t number, const std::string& keys,
                                     const std::string& data, bool compress, int64_t generation) {
    std::string stored = compress ? deflate(data) : data;
    std::string dict = "<<" + keys + (compress ? " /Filter /FlateDecode" : "") + " /Length " +
                       std::to_string(stored.size()) + " >>";
    return object(number, dict + "\nstream\n" + stored + "\nendstream", generation);
}

FixtureWriter& FixtureWriter::objectStream(
    int64_t number, const std::vector<std::pair<int64_t, std::string>>& members, bool compress) {
    std::string header, bodies;
    for (const auto& [member, body] : members) {
        header += std::to_string(member) + " " + std::to_string(bodies.size()) + " ";
        bodies += body + "\n";
    }
    header += "\n";
    std::string keys = "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                       std::to_string(header.size());
    return stream(number, keys, header + bodies, compress);
}

FixtureWriter& FixtureWriter::raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

int64_t FixtureWriter::offset(int64_t number) const {
    auto it = objects_.find(number);
    if (it == objects_.end())
        throw std::runtime_error("fixture has no object " + std::to_string(number));
    return it->second.first;
}

std::string FixtureWriter::classicTable() const {
    std::vector<int64_t> numbers{0};
    for (const auto& entry : objects_) {
        if (entry.first != 0) numbers.push_back(entry.first);
    }
    std::string table = "xref\n";
    for (auto [first, count] : runs(numbers)) {
        table += std::to_string(first) + " " + std::to_string(count) + "\n";
        for (int64_t n = first; n < first + count; ++n) {
            char line[32];
            if (n == 0) {
                std::snprintf(line, sizeof line, "%010d %05d f \n", 0, 65535);
            } else {
                auto [offset, generation] = objects_.at(n);
                std::snprintf(line, sizeof line, "%010lld %05lld n \n",
                              static_cast<long long>(offset), static_cast<long long>(generation));
            }
            table += line;
        }
    }
    return table;
}

std::string FixtureWriter::finishClassic(const std::string& keys) {
    int64_t tableOffset = size();
    int64_t highest = objects_.empty() ? 0 : objects_.rbegin()->first;
    std::string trailerKeys = keys;
    if (keys.find("/Size") == std::string::npos)
        trailerKeys += " /Size " + std::to_string(highest + 1);
    bytes_ += classicTable() + "trailer\n<<" + trailerKeys + " >>\n";
    return finishWithStartxref(tableOffset);
}

std::string xrefStreamData(const std::vector<XRefRow>& rows) {
    std::string data;
    for (const auto& row : rows) {
        data += static_cast<char>(row.type);
        for (int shift = 24; shift >= 0; shift -= 8)
            data += static_cast<char>((row.field2 >> shift) & 0xFF);
        data += static_cast<char>((row.field3 >> 8) & 0xFF);
        data += static_cast<char>(row.field3 & 0xFF);
    }
    return data;
}

int64_t FixtureWriter::xrefStream(int64_t number, const std::vector<XRefRow>& rows,
                                  const std::string& keys) {
    std::vector<XRefRow> sorted = rows;
    std::sort(sorted.begin(), sorted.end(),
              [](const XRefRow& a, const XRefRow& b) { return a.number < b.number; });
    std::vector<int64_t> numbers;
    for (const auto& row : sorted) numbers.push_back(row.number);
    std::string index;
    for (auto [first, count] : runs(numbers)) {
        index += (index.empty() ? "" : " ") + std::to_string(first) + " " + std::to_string(count);
    }
    int64_t highest = numbers.empty() ? 0 : numbers.back();
    std::string dictKeys = "/Type /XRef /W [1 4 2] /Index [" + index + "]";
    if (keys.find("/Size") == std::string::npos)
        dictKeys += " /Size " + std::to_string(highest + 1);
    dictKeys += " " + keys;
    int64_t at = size();
    stream(number, dictKeys, xrefStreamData(sorted));
    return at;
}

std::string FixtureWriter::finishXRefStream(int64_t number, const std::string& keys,
                                            const std::vector<XRefRow>& extraRows) {
    std::vector<XRefRow> rows{{0, 0, 0, 65535}};
    for (const auto& [n, where] : objects_) {
        if (n != 0) rows.push_back({n, 1, where.first, where.second});
    }
    for (const auto& row : extraRows) rows.push_back(row);
    // The stream lists itself at the offset where it is about to be written.
    rows.push_back({number, 1, size(), 0});
    int64_t at = xrefStream(number, rows, keys);
    return finishWithStartxref(at);
}

std::string FixtureWriter::finishWithStartxref(int64_t xrefOffset) {
    bytes_ += "startxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n";
    return bytes_;
}

std::string deflate(const std::string& bytes) {
    uLongf capacity = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(capacity, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &capacity,
                  reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                  Z_BEST_SPEED) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(capacity);
    return out;
}

// ---------------------------------------------------------------------------------------------

std::string textContent(const std::vector<std::string>& lines, double height) {
    std::string content = "BT\n/F1 12 Tf\n14 TL\n72 " + number(height - 72) + " Td\n";
    for (const auto& line : lines) content += literal(latin1(line)) + " '\n";
    return content + "ET\n";
}

std::string pagesPDF(const std::vector<PageSpec>& pages, bool compress) {
    FixtureWriter w;
    int64_t count = static_cast<int64_t>(pages.size());
    std::string kids;
    for (int64_t i = 0; i < count; ++i) kids += (i ? " " : "") + std::to_string(5 + 2 * i) + " 0 R";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(count) + " >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    w.object(4, "<</Title (Documento de prueba) /Producer (Tindra fixtures) >>");
    for (int64_t i = 0; i < count; ++i) {
        const PageSpec& page = pages[static_cast<size_t>(i)];
        int64_t pageNumber = 5 + 2 * i;
        std::string body = "<</Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width) +
                           " " + number(page.height) +
                           "] /Resources <</Font <</F1 3 0 R >> >> /Contents " +
                           std::to_string(pageNumber + 1) + " 0 R";
        if (page.rotate != 0) body += " /Rotate " + std::to_string(page.rotate);
        w.object(pageNumber, body + " >>");
        std::string content = page.content.empty()
                                  ? textContent({"Página " + std::to_string(i + 1)}, page.height)
                                  : page.content;
        w.stream(pageNumber + 1, "", content, compress);
    }
    return w.finishClassic(
        "/Root 1 0 R /Info 4 0 R /ID [<0123456789abcdef0123456789abcdef> "
        "<0123456789abcdef0123456789abcdef>]");
}

std::string textPDF(int count, bool compress) {
    return pagesPDF(std::vector<PageSpec>(static_cast<size_t>(std::max(count, 0))), compress);
}

// ---------------------------------------------------------------------------------------------

namespace {

testutil::RunResult runQpdf(const std::string& pdf, std::vector<std::string> args,
                            const std::string& password, bool withOutput, std::string* output) {
    testutil::TempDir dir;
    auto in = dir / "in.pdf";
    auto out = dir / "out.pdf";
    testutil::writeFile(in, pdf);
    std::vector<std::string> argv{"qpdf"};
    if (!password.empty()) argv.push_back("--password=" + password);
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(in.string());
    if (withOutput) argv.push_back(out.string());
    auto result = testutil::run(argv);
    if (withOutput && output && (result.exitCode == 0 || result.exitCode == 3)) {
        *output = testutil::readFile(out);
    }
    return result;
}

std::string joined(const std::vector<std::string>& args) {
    std::string text;
    for (const auto& a : args) text += " " + a;
    return text;
}

}  // namespace

std::string qpdf(const std::string& pdf, const std::vector<std::string>& args) {
    std::string output;
    auto result = runQpdf(pdf, args, "", true, &output);
    if (result.exitCode != 0 && result.exitCode != 3) {
        throw std::runtime_error("qpdf" + joined(args) + " failed: " + result.err);
    }
    return output;
}

std::string encrypt(const std::string& pdf, Cipher cipher, const EncryptOptions& options) {
    std::vector<std::string> args;
    bool weak =
        cipher == Cipher::rc4_40 || cipher == Cipher::rc4_128 || cipher == Cipher::rc4_128V4;
    if (weak) args.push_back("--allow-weak-crypto");
    args.push_back("--encrypt");
    args.push_back(options.userPassword);
    args.push_back(options.ownerPassword);
    switch (cipher) {
        case Cipher::rc4_40:
            args.push_back("40");
            if (options.restricted) args.insert(args.end(), {"--modify=n", "--annotate=n"});
            break;
        case Cipher::rc4_128:
            args.insert(args.end(), {"128", "--use-aes=n"});
            break;
        case Cipher::rc4_128V4:
            args.insert(args.end(), {"128", "--use-aes=n", "--force-V4"});
            break;
        case Cipher::aes128:
            args.insert(args.end(), {"128", "--use-aes=y"});
            break;
        case Cipher::aes128Cleartext:
            args.insert(args.end(), {"128", "--use-aes=y", "--cleartext-metadata"});
            break;
        case Cipher::aes256R5:
            args.insert(args.end(), {"256", "--force-R5"});
            break;
        case Cipher::aes256R6:
            args.push_back("256");
            break;
    }
    if (options.restricted && cipher != Cipher::rc4_40) {
        args.insert(args.end(), {"--modify=none", "--annotate=n", "--form=n"});
    }
    args.push_back("--");
    return qpdf(pdf, args);
}

std::string cipherName(Cipher cipher) {
    switch (cipher) {
        case Cipher::rc4_40:
            return "rc4_40";
        case Cipher::rc4_128:
            return "rc4_128";
        case Cipher::rc4_128V4:
            return "rc4_128V4";
        case Cipher::aes128:
            return "aes128";
        case Cipher::aes128Cleartext:
            return "aes128Cleartext";
        case Cipher::aes256R5:
            return "aes256R5";
        case Cipher::aes256R6:
            return "aes256R6";
    }
    return "?";
}

std::vector<Cipher> allCiphers() {
    return {Cipher::rc4_40,          Cipher::rc4_128,  Cipher::rc4_128V4, Cipher::aes128,
            Cipher::aes128Cleartext, Cipher::aes256R5, Cipher::aes256R6};
}

int qpdfPageCount(const std::string& pdf, const std::string& password) {
    auto result = runQpdf(pdf, {"--show-npages"}, password, false, nullptr);
    if (result.exitCode != 0 && result.exitCode != 3) {
        throw std::runtime_error("qpdf --show-npages failed: " + result.err);
    }
    return std::stoi(result.out);
}

std::string qpdfEncryptionKey(const std::string& pdf, const std::string& password) {
    auto result =
        runQpdf(pdf, {"--show-encryption", "--show-encryption-key"}, password, false, nullptr);
    const std::string label = "Encryption key = ";
    auto at = result.out.find(label);
    if (at == std::string::npos)
        throw std::runtime_error("qpdf shows no encryption key: " + result.out + result.err);
    auto end = result.out.find('\n', at);
    std::string key = result.out.substr(at + label.size(), end - at - label.size());
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

std::string qpdfShowObject(const std::string& pdf, int64_t number, bool filtered,
                           const std::string& password) {
    std::vector<std::string> args{"--show-object=" + std::to_string(number)};
    if (filtered) args.push_back("--filtered-stream-data");
    auto result = runQpdf(pdf, args, password, false, nullptr);
    if (result.exitCode != 0 && result.exitCode != 3) {
        throw std::runtime_error("qpdf --show-object failed: " + result.err);
    }
    return result.out;
}

int mutoolPageCount(const std::string& pdf) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    auto result = testutil::run({"mutool", "info", (dir / "in.pdf").string()});
    const auto at = result.out.find("\nPages: ");
    if (at == std::string::npos)
        throw std::runtime_error("mutool info shows no page count: " + result.err);
    return std::stoi(result.out.substr(at + 8));
}

int qpdfCheck(const std::string& pdf, const std::string& password) {
    return runQpdf(pdf, {"--check"}, password, false, nullptr).exitCode;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace fixtures
