#pragma once
// Test fixtures: small PDFs written from readable text, and qpdf transforms of them.
//
// A fixture is a std::string holding the bytes of a PDF. Objects are given as the text between
// "N G obj" and "endobj"; offsets, /Length and the cross-reference section are computed, so every
// fixture is internally consistent unless a test damages it on purpose.
//
//   std::string pdf = fixtures::textPDF(3);                     // 3 pages, "Página 1".. on each
//   std::string enc = fixtures::encrypt(pdf, fixtures::Cipher::aes256R6);
//   std::string os  = fixtures::qpdf(pdf, {"--object-streams=generate"});
//   int pages       = fixtures::qpdfPageCount(enc);            // the oracle
//
// Hand-made files (hybrid sections, object streams, damage):
//
//   fixtures::FixtureWriter w;
//   w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
//   w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
//   w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
//   std::string bytes = w.finishClassic("/Root 1 0 R");
//
// Every function throws std::runtime_error when a tool fails.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fixtures {

// ---------------------------------------------------------------------------------------------
// Writer of hand-made files.

// One row of a cross-reference stream: type 0 (free), 1 (offset, generation) or 2 (object
// stream number, index in it).
struct XRefRow {
    int64_t number = 0;
    int type = 1;
    int64_t field2 = 0;
    int64_t field3 = 0;
};

class FixtureWriter {
public:
    // Starts the file with the header line and a binary comment line.
    explicit FixtureWriter(const std::string& header = "%PDF-1.7");

    // Appends "N G obj\n" + body + "\nendobj\n" and records the object's offset.
    FixtureWriter& object(int64_t number, const std::string& body, int64_t generation = 0);

    // Appends a stream object. `keys` are the dictionary's entries without "<<" and ">>"
    // (e.g. "/Type /XObject"); /Length is added with the data's size. With `compress` the data
    // are stored Flate-compressed with /Filter /FlateDecode.
    FixtureWriter& stream(int64_t number, const std::string& keys, const std::string& data,
                          bool compress = false, int64_t generation = 0);

    // Appends an object stream (/Type /ObjStm, uncompressed unless `compress`) holding the members
    // in the given order; each member's index is its position in `members`.
    FixtureWriter& objectStream(int64_t number,
                                const std::vector<std::pair<int64_t, std::string>>& members,
                                bool compress = false);

    // Appends bytes as they are (comments, garbage, a hand-written xref section).
    FixtureWriter& raw(const std::string& bytes);

    // Offset of the last "N G obj" line written for the number; throws when none was written.
    int64_t offset(int64_t number) const;
    // Current length of the file (the offset of whatever is appended next).
    int64_t size() const { return static_cast<int64_t>(bytes_.size()); }
    const std::string& bytes() const { return bytes_; }

    // Classic table text "xref ... " for the objects written so far (object 0 free, one
    // subsection per run of consecutive numbers); no trailer.
    std::string classicTable() const;

    // Appends a classic table of every object written so far, then "trailer <<keys /Size N>>",
    // "startxref" and "%%EOF". `keys` are trailer entries without "<<"/">>" (e.g. "/Root 1 0 R").
    // /Size is added unless `keys` holds one. Returns the whole file.
    std::string finishClassic(const std::string& keys);

    // Appends a cross-reference stream object `number` (uncompressed, /W [1 4 2]) listing object 0
    // free, every object written so far and `extraRows` (e.g. members of object streams, type 2),
    // with `keys` as further dictionary entries; then "startxref" and "%%EOF". Returns the file.
    std::string finishXRefStream(int64_t number, const std::string& keys,
                                 const std::vector<XRefRow>& extraRows = {});

    // Appends a cross-reference stream object holding exactly `rows` (uncompressed, /W [1 4 2],
    // /Index from the rows' runs) without startxref; returns its offset. For hybrid files and
    // appended revisions.
    int64_t xrefStream(int64_t number, const std::vector<XRefRow>& rows, const std::string& keys);

    // Appends "startxref\n<offset>\n%%EOF\n".
    std::string finishWithStartxref(int64_t xrefOffset);

private:
    std::string bytes_;
    std::map<int64_t, std::pair<int64_t, int64_t>> objects_;  // number -> (offset, generation)
};

// Encoded row data of a cross-reference stream with /W [1 4 2].
std::string xrefStreamData(const std::vector<XRefRow>& rows);

// zlib stream of the bytes (for compressed fixture streams).
std::string deflate(const std::string& bytes);

// ---------------------------------------------------------------------------------------------
// Ready-made documents.

struct PageSpec {
    double width = 595;  // A4 in points
    double height = 842;
    int rotate = 0;  // /Rotate, written only when not 0
    // Page content stream. Empty gives a text line "Página N" (N 1-based) in Helvetica 12.
    std::string content;
};

// A classic PDF: catalog 1, page tree 2, font 3 (Helvetica, WinAnsiEncoding), then for each page
// its page object and its content stream; /Info with a /Title. With `compress` content streams
// are Flate-compressed.
std::string pagesPDF(const std::vector<PageSpec>& pages, bool compress = false);

// `count` A4 pages, each showing "Página N".
std::string textPDF(int count, bool compress = false);

// A content stream that writes the lines top-down from (72, height - 72), 14 points apart,
// Helvetica 12 as resource /F1. Non-ASCII characters of Latin-1 are written in WinAnsi bytes.
std::string textContent(const std::vector<std::string>& lines, double height = 842);

// ---------------------------------------------------------------------------------------------
// qpdf transforms and oracles.

// Runs `qpdf [args] in.pdf out.pdf` and returns out.pdf. Exit 0 and 3 (warnings) count as success.
std::string qpdf(const std::string& pdf, const std::vector<std::string>& args);

enum class Cipher {
    rc4_40,           // V1 R2, 40-bit RC4 (--allow-weak-crypto)
    rc4_128,          // V2 R3, 128-bit RC4
    rc4_128V4,        // V4 R4 with an RC4 (V2) crypt filter
    aes128,           // V4 R4 AESV2
    aes128Cleartext,  // V4 R4 AESV2 with /EncryptMetadata false
    aes256R5,         // V5 R5 AESV3
    aes256R6,         // V5 R6 AESV3
};

struct EncryptOptions {
    std::string userPassword = "";  // empty: opens without a password
    std::string ownerPassword = "propietario";
    bool restricted = false;  // forbid modifying, annotating and filling forms
};

// The file encrypted by qpdf with the cipher.
std::string encrypt(const std::string& pdf, Cipher cipher, const EncryptOptions& options = {});
// A readable name for test output ("rc4_40", "aes256R6" ...).
std::string cipherName(Cipher cipher);
// Every cipher, in the order of the enumeration.
std::vector<Cipher> allCiphers();

// `qpdf --show-npages`; throws when qpdf fails.
int qpdfPageCount(const std::string& pdf, const std::string& password = "");
// "Encryption key" of `qpdf --show-encryption --show-encryption-key`, lower-case hex.
std::string qpdfEncryptionKey(const std::string& pdf, const std::string& password = "");
// `qpdf --show-object=N`, with `--filtered-stream-data` when `filtered` (the decoded stream
// data); standard output as is.
std::string qpdfShowObject(const std::string& pdf, int64_t number, bool filtered = false,
                           const std::string& password = "");
// "Pages:" of `mutool info` (MuPDF recovers some damaged files qpdf gives up on, such as a
// cross-reference stream without "startxref"); throws when mutool shows no page count.
int mutoolPageCount(const std::string& pdf);
// Exit code of `qpdf --check`.
int qpdfCheck(const std::string& pdf, const std::string& password = "");

// Lower-case hex of bytes.
std::string hex(const std::string& bytes);

}  // namespace fixtures
