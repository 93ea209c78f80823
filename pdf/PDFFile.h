#pragma once
// An opened PDF file held in memory: its cross-reference entries, merged trailer and security
// handler, with lenient object lookup, object streams and the page tree.
//
//   PDFFile file(std::move(bytes));          // throws PDFError or PDFSecurity::Failure
//   for (PDFRef page : file.pageRefs()) {
//       const PDFObject* rotate = file.inherited("Rotate", page);
//   }
//
// Opening reads the cross-reference sections along /Prev (classic tables, cross-reference
// streams, hybrid files) and, when they cannot be used, rebuilds the table by scanning the file
// (wasReconstructed() is then true). Lookups never throw: a missing, free, unreadable or cyclic
// object gives nullptr. Returned pointers stay valid for the life of the PDFFile (loaded objects
// are cached and never evicted). One PDFFile must not be used from two threads at once.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/PDFError.h"
#include "pdf/PDFObject.h"
#include "pdf/PDFRef.h"
#include "pdf/PDFSecurity.h"

class PDFParser;

class PDFFile {
public:
    // One cross-reference entry.
    struct Entry {
        enum class Kind { offset, compressed, free };
        Kind kind = Kind::free;
        // Kind::offset: byte offset of the "N G obj" header and the generation.
        // Kind::compressed: object number of the object stream and the position in its header.
        std::int64_t first = 0;
        std::int64_t second = 0;

        static Entry atOffset(std::int64_t offset, std::int64_t generation) {
            return {Kind::offset, offset, generation};
        }
        static Entry inStream(std::int64_t stream, std::int64_t index) {
            return {Kind::compressed, stream, index};
        }
        static Entry freeEntry() { return {}; }

        std::int64_t offset() const { return first; }
        std::int64_t generation() const { return second; }
        std::int64_t stream() const { return first; }
        std::int64_t index() const { return second; }
        bool operator==(const Entry&) const = default;
    };

    // The largest object number accepted (2^31 - 1).
    static constexpr std::int64_t maxObjectNumber = 2147483647;

    // Opens (or repairs) the file. Throws PDFError ("El fichero no es un PDF", or the failure of
    // a repair) or PDFSecurity::Failure.
    explicit PDFFile(std::string data);
    PDFFile(const PDFFile&) = delete;
    PDFFile& operator=(const PDFFile&) = delete;

    // The file exactly as given; every offset indexes these bytes.
    const std::string& data() const { return data_; }
    std::string_view bytes() const { return data_; }

    // Cross-reference table by object number, the newest section's entry winning.
    const std::map<std::int64_t, Entry>& entries() const { return entries_; }
    // Merged trailer, without /Prev and /XRefStm; always holds /Root.
    const PDFDictionary& trailer() const { return trailer_; }
    // The number after the last "startxref" (0 after a repair without one).
    std::int64_t lastXRefOffset() const { return lastXRefOffset_; }
    // The newest section is a cross-reference stream (always false after a repair).
    bool usesXRefStream() const { return usesXRefStream_; }
    // The table was rebuilt by scanning the file.
    bool wasReconstructed() const { return wasReconstructed_; }
    // The standard security handler of an encrypted file; nullptr otherwise.
    const PDFSecurity* security() const { return security_ ? &*security_ : nullptr; }
    // Object number of the encryption dictionary when /Encrypt is a reference.
    std::optional<std::int64_t> encryptNumber() const { return encryptNumber_; }

    // Objects. The reference's generation is not used. Strings and streams come decrypted
    // (stream data still filtered).
    const PDFObject* object(PDFRef ref);
    // Follows references, at most 32 lookups; a non-reference value is returned as given.
    const PDFObject* resolve(const PDFObject* value);
    // True for no value, null, or a reference (through at most 32 lookups) to an object number
    // that the file does not hold or lists as free: PDF reads such a reference as null. An object
    // that is listed but cannot be read is not absent.
    bool isAbsent(const PDFObject* value);
    // Follows references, then the dictionary of a dictionary or of a stream.
    const PDFDictionary* dictionary(const PDFObject* value);
    // The trailer's /Root as a dictionary.
    const PDFDictionary* catalog();
    // The trailer's /Root when it is a reference.
    std::optional<PDFRef> catalogRef() const;
    // The page objects in document order; the position is the 0-based page index.
    std::vector<PDFRef> pageRefs();
    // A page attribute, inherited through /Parent (at most 64 dictionaries), resolved.
    const PDFObject* inherited(std::string_view key, PDFRef page);
    // The first object number a new object may take.
    std::int64_t size() const;
    // The trailer has /Encrypt.
    bool isEncrypted() const { return trailer_.contains("Encrypt"); }

private:
    // A file with more objects than it may hold is refused as it is, without reconstruction: a
    // rebuilt table would keep only some of its objects.
    struct EntryLimit : PDFError {
        EntryLimit() : PDFError("El PDF tiene demasiados objetos para abrirlo.") {}
    };
    struct Section {
        PDFDictionary trailer;
        bool isStream = false;
    };
    // A member of an object stream: where its object starts in the decoded data and its position
    // in the stream's header. Members are parsed when they are looked up, not before.
    struct Member {
        std::int64_t at = 0;
        std::int64_t index = 0;
    };
    using Members = std::unordered_map<std::int64_t, Member>;
    struct ObjectStream {
        std::string decoded;
        Members members;
    };

    void open();
    void readSections();
    Section readSection(std::int64_t offset, std::set<std::int64_t>& visited, bool followXRefStm);
    Section readClassicSection(PDFParser& parser, std::set<std::int64_t>& visited,
                               bool followXRefStm);
    Section readStreamSection(std::int64_t offset);
    void addEntry(std::int64_t number, Entry entry);
    void setUpSecurity();
    void checkConsistency();
    void reconstruct();

    std::optional<PDFObject> parseObject(std::int64_t offset, std::int64_t expected);
    const ObjectStream& objectsInStream(std::int64_t number);
    std::optional<std::int64_t> resolveLength(PDFRef ref);
    bool withinBudget() const { return work_ <= workBudget_; }

    std::string data_;
    std::map<std::int64_t, Entry> entries_;
    PDFDictionary trailer_;
    std::int64_t lastXRefOffset_ = 0;
    bool usesXRefStream_ = false;
    bool wasReconstructed_ = false;
    std::optional<PDFSecurity> security_;
    std::optional<std::int64_t> encryptNumber_;

    std::unordered_map<std::int64_t, PDFObject> cache_;
    std::unordered_map<std::int64_t, ObjectStream> objectStreams_;
    std::unordered_set<std::int64_t> loading_;

    // Bytes parsed and inflated so far, and the most this file may cost. A hostile file can make
    // object parses overlap (headers hidden inside strings of other objects, object-stream members
    // pointing into one another) so that loading every object would take quadratic time and
    // memory; past the budget further loads give nothing.
    std::int64_t work_ = 0;
    std::int64_t maxEntries_ = 0;  // see PDFFileLimits::kMinEntryBound
    bool metPrevLoop_ = false;     // the /Prev chain came back to a section already read
    std::int64_t workBudget_ = 0;
};
