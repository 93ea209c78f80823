#pragma once
// One incremental update of an opened PDF: new objects and new versions of existing ones are
// appended after the file's untouched bytes, with a cross-reference section and a trailer.
//
//   PDFUpdate update(file);
//   PDFRef annot = update.allocate();
//   update.set(annot, PDFObject::dictionary(...));
//   update.set(*file.catalogRef(), changedCatalog);
//   PDFUpdate::Result out = update.write();   // out.data: the whole new file
//
// When the file is encrypted, set() encrypts the object's strings and streams under its own
// reference; setRaw() stores bytes exactly as given. The update is a value and never changes the
// file; the file must outlive it. An update that is not written leaves no trace.

#include "pdf/PDFObject.h"
#include "pdf/PDFRef.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

class PDFFile;

class PDFUpdate {
public:
    struct Result {
        // The complete new file: the old bytes unchanged, then the update (writeUpdate(): the
        // update alone).
        std::string data;
        // For every object of the update, the offset in `data` of its "N G obj" line.
        std::map<PDFRef, std::int64_t> offsets;
    };

    // The largest generation a cross-reference entry can hold.
    static constexpr std::int64_t maxGeneration = 65535;
    // The largest offset of a classic cross-reference entry (ten digits).
    static constexpr std::int64_t maxClassicOffset = 9999999999;

    explicit PDFUpdate(const PDFFile& file);

    const PDFFile& file() const { return *file_; }
    // The number the next allocate() hands out; starts at the file's size().
    std::int64_t nextNumber() const { return nextNumber_; }

    // A fresh object number (generation 0); never handed out twice by one update.
    PDFRef allocate();

    // Stores an object: encrypted under `ref` when the file is encrypted (except the encryption
    // dictionary itself), then serialized.
    // Throws PDFError for a reference no cross-reference entry can hold (number below 1 or above
    // 2^31 - 1, generation outside 0..65535, a second generation of a number already set) and
    // when the encryption refuses; nothing is stored then.
    void set(PDFRef ref, const PDFObject& object);
    // Stores the bytes that go between "N G obj" and "endobj" unchanged. The first store of a
    // reference fixes its place in the output; a later one replaces the body. Throws as set().
    void setRaw(PDFRef ref, std::string body);

    bool empty() const { return order_.empty(); }

    // The new file. Throws PDFError when an offset or field does not fit its cross-reference entry.
    Result write() const;
    // The update alone: the bytes write() puts after the old ones (starting with a line end when
    // the old bytes do not end in one), so that the old bytes can be copied straight from where
    // they are. Offsets are those of write(), counted from the start of the whole new file.
    Result writeUpdate() const;
    // The update alone, as writeUpdate(), indexed by one cross-reference stream that lists every
    // entry of the file's table besides the update's objects, with no /Prev: a reader finds every
    // object from that stream without reading the file's own sections. Set no object to have the
    // file's table alone written again as a stream.
    Result writeUpdateWithWholeTable() const;

    // The 20-byte classic entry "%010d %05d n \n"; throws PDFError when a field does not fit.
    static std::string classicEntry(std::int64_t offset, std::int64_t generation);
    // One 8-byte cross-reference stream row for W [1 5 2]; throws PDFError when a field does not fit.
    static std::string streamRow(std::int64_t type, std::int64_t field2, std::int64_t field3);

private:
    void checkRef(PDFRef ref) const;
    Result build(bool withOld, bool wholeTable) const;

    const PDFFile* file_;
    std::int64_t nextNumber_;
    std::unordered_map<PDFRef, std::string> bodies_;
    std::unordered_map<std::int64_t, std::int64_t> generations_;  // number -> generation set
    std::vector<PDFRef> order_;
};
