#pragma once
// An opened PDF file held in memory: its cross-reference entries, merged trailer and security
// handler, with lenient object lookup, object streams and the page tree.
//
//   PDFFile file(std::move(bytes));          // throws PDFError or PDFSecurity::Failure
//   PDFFile mapped(view, keeper);            // bytes it does not own (a memory map), kept alive
//   for (PDFRef page : file.pageRefs()) {
//       const PDFObject* rotate = file.inherited("Rotate", page);
//   }
//
// Opening reads the cross-reference sections along /Prev (classic tables, cross-reference
// streams, hybrid files) and, when they cannot be used, rebuilds the table by scanning the file
// (wasReconstructed() is then true). Lookups never throw: a missing, free, unreadable or cyclic
// object gives nullptr. Returned pointers stay valid for the life of the PDFFile (loaded objects
// are cached and never evicted). One PDFFile must not be used from two threads at once, with one
// exception: what opening settles (bytes(), entries(), trailer(), security() and the other const
// accessors of the table) never changes after it, nor does an object once returned, so another
// thread may read those while the file's own thread goes on.
//
// Opening reads only what the cross-reference sections, the consistency check and the objects
// asked for touch: an object stream is decoded when one of its members is first looked up, and
// its members are parsed one by one as they are asked for.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
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

    // The cross-reference table: one entry per object number, in ascending number order.
    class Table {
    public:
        using value_type = std::pair<std::int64_t, Entry>;
        using const_iterator = std::vector<value_type>::const_iterator;
        using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

        const_iterator begin() const { return rows_.begin(); }
        const_iterator end() const { return rows_.end(); }
        const_reverse_iterator rbegin() const { return rows_.rbegin(); }
        const_reverse_iterator rend() const { return rows_.rend(); }
        std::size_t size() const { return rows_.size(); }
        bool empty() const { return rows_.empty(); }
        // The row of the number, or end().
        const_iterator find(std::int64_t number) const;
        bool contains(std::int64_t number) const { return find(number) != end(); }
        // Throws std::out_of_range for a number without an entry.
        const Entry& at(std::int64_t number) const;

    private:
        friend class PDFFile;
        std::vector<value_type> rows_;
    };

    // The largest object number accepted (2^31 - 1).
    static constexpr std::int64_t maxObjectNumber = 2147483647;

    // Opens (or repairs) the file. Throws PDFError ("El fichero no es un PDF", or the failure of
    // a repair) or PDFSecurity::Failure.
    explicit PDFFile(std::string data);
    // Opens bytes the file does not own, such as a read-only memory map of a file on disk;
    // `keeper` keeps them alive (and unchanged) for the life of the PDFFile.
    PDFFile(std::string_view bytes, std::shared_ptr<const void> keeper);
    // What opening settled: the table, the merged trailer and the security handler. Another
    // engine over the same bytes opens from it without reading and checking them again.
    struct Opening;
    // Taken once, on the file's thread; the value is shared and never changes.
    std::shared_ptr<const Opening> opening() const;
    // Opens the bytes `opening` was taken from (they must be the same), as they were opened
    // then; `keeper` keeps them alive. Each such engine reads its own objects, on its own thread.
    PDFFile(std::string_view bytes, std::shared_ptr<const void> keeper,
            const std::shared_ptr<const Opening>& opening);
    PDFFile(const PDFFile&) = delete;
    PDFFile& operator=(const PDFFile&) = delete;

    // The file exactly as given; every offset indexes these bytes.
    std::string_view bytes() const { return bytes_; }
    // The same bytes as a string. A file opened over bytes it does not own copies them on the
    // first call: prefer bytes().
    const std::string& data() const;

    // Cross-reference table by object number, the newest section's entry winning.
    const Table& entries() const { return entries_; }
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
    // A value that must be absent or resolve to the given kind (a stream counts as a dictionary):
    // nothing when absent (see isAbsent); throws PDFError(damaged) for the wrong kind or an object
    // that cannot be read, which a writer must not replace as if it were missing.
    const PDFObject* expect(const PDFObject* value, PDFObject::Kind kind, const char* damaged);
    // Follows references, then the dictionary of a dictionary or of a stream.
    const PDFDictionary* dictionary(const PDFObject* value);
    // The trailer's /Root as a dictionary.
    const PDFDictionary* catalog();
    // The trailer's /Root when it is a reference.
    std::optional<PDFRef> catalogRef() const;
    // The page objects in document order; the position is the 0-based page index.
    std::vector<PDFRef> pageRefs();
    // The same, read only until `stop` is requested: a reader told to stop leaves a long
    // document's tree at once. The caller tells a list cut short by asking `stop`.
    std::vector<PDFRef> pageRefs(const std::stop_token& stop);
    // The same walk, page by page: `visitPage` is called for each page in order and returns false
    // to stop; `visitNode`, when given, before each tree node is read.
    void walkPages(const std::function<bool(PDFRef page)>& visitPage,
                   const std::function<void()>& visitNode = {});
    // The same walk, read only as far as it is asked: each next() reads the tree's nodes up to
    // the following page, with the limits of walkPages (depth, each node read once), and keeps
    // its place. It holds pointers into the file's objects: it must not outlive the file, and
    // it is used on the file's thread.
    class PageWalk {
    public:
        explicit PageWalk(PDFFile& file, std::function<void()> visitNode = {});
        // The next page in document order; nothing once the tree is read to its end.
        std::optional<PDFRef> next();

    private:
        // Reads one node: a page is kept in `found_`, a tree node's kids are entered.
        void enter(const PDFObject& node, int depth);
        struct Level {
            const std::vector<PDFObject>* kids;
            std::size_t next;
            int depth;  // of the kids
        };
        PDFFile& file_;
        std::function<void()> visitNode_;
        PDFObject start_;
        std::vector<Level> levels_;
        std::unordered_set<std::int64_t> visited_;
        std::optional<PDFRef> found_;
        bool started_ = false;
    };
    // A page attribute, inherited through /Parent (at most 64 dictionaries), resolved.
    const PDFObject* inherited(std::string_view key, PDFRef page);
    // How many objects have been read (and kept) so far: what the file's readers have touched.
    std::size_t objectsRead() const { return cache_.size(); }
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
    // A member of an object stream: its number, where its object starts in the decoded data and
    // its position in the stream's header. Members are parsed when they are looked up, not before.
    struct Member {
        std::int64_t number = 0;
        std::int64_t at = 0;
        std::int64_t index = 0;
    };
    struct ObjectStream {
        std::string decoded;
        // Sorted by number, one member per number (the header's last pair for it).
        std::vector<Member> members;
        const Member* find(std::int64_t number) const;
    };

    void start(std::int64_t size);
    void open();
    void readSections();
    Section readSection(std::int64_t offset, std::set<std::int64_t>& visited, bool followXRefStm);
    Section readClassicSection(PDFParser& parser, std::set<std::int64_t>& visited,
                               bool followXRefStm);
    Section readStreamSection(std::int64_t offset);
    // A classic table's row of kXRefRowBytes at `at`, spelled exactly as the format writes it;
    // nothing for any other spelling, which the tokenizer then reads.
    std::optional<Entry> fixedRow(std::int64_t at) const;
    static constexpr std::int64_t kXRefRowBytes = 20;
    // Rows are appended as they are read and sorted into the table now and then: a number keeps
    // its first row (the newest section's), or its last one when `keepLast` (the repair scan,
    // where the last header of a number wins).
    void addEntry(std::int64_t number, Entry entry);
    void settleEntries(bool keepLast = false);
    void setUpSecurity();
    void checkConsistency();
    // Whether the file starts with a linearization dictionary.
    bool isLinearized() const;
    // Throws the table's mismatch when the entry does not point at the number's "N G obj" header.
    void checkHeader(std::int64_t number, const Entry& entry);
    // Damage the sampled check cannot see and that would lose pages: the page tree's root missing
    // from the table, a wrong entry in a linearized file's first-page section. Throws PDFError.
    void checkPageEntries();
    void reconstruct();

    std::optional<PDFObject> parseObject(std::int64_t offset, std::int64_t expected);
    const ObjectStream& objectsInStream(std::int64_t number);
    std::optional<std::int64_t> resolveLength(PDFRef ref);
    bool withinBudget() const { return work_ <= workBudget_; }

    std::string owned_;
    std::string_view bytes_;
    std::shared_ptr<const void> keeper_;
    mutable std::unique_ptr<std::string> copy_;  // data() of bytes the file does not own
    Table entries_;
    std::size_t settled_ = 0;  // rows of entries_ already sorted and unique
    PDFDictionary trailer_;
    std::int64_t lastXRefOffset_ = 0;
    bool usesXRefStream_ = false;
    bool wasReconstructed_ = false;
    std::optional<PDFSecurity> security_;
    std::optional<std::int64_t> encryptNumber_;

    mutable std::shared_ptr<const Opening> opening_;

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
    // While `listing_`, the section being read appends the numbers it lists to `listed_` (at
    // most PDFFileLimits::kFirstPageSectionChecks). `firstPageNumbers_`: those of the section
    // nearest the start of a linearized file, its first-page section.
    bool listing_ = false;
    std::vector<std::int64_t> listed_;
    std::vector<std::int64_t> firstPageNumbers_;
    std::int64_t workBudget_ = 0;
};
