#pragma once
// What the copy of a document read by the page processes holds past the document's own bytes.
// Poppler reads a classic cross-reference table token by token, all of it, before it draws the
// first page, and parses a page-tree node whole each time it looks it up, without keeping it: a
// long document written with a classic table and all its pages under the tree's root (as many
// office suites write them) costs the page process tens of milliseconds before its first page,
// and again for every lookup of the root. The copy therefore ends with an update of our own,
// which Poppler reads in place of the file's sections:
//   - the file's whole cross-reference table again, as one stream with no /Prev, which Poppler
//     reads at once (PDFUpdate::writeUpdateWithWholeTable);
//   - where the root lists many pages, a new version of the root whose kids are nodes of ours
//     holding its kids in order, a few hundred each, with nothing of their own to pass down:
//     pages, their order, count and inherited attributes stay what the file says.
// Only the page processes read the copy; the file and what is signed are never changed.
//
//   auto pages = PageProcess::open(file.bytes(), PageCopy::update(file));

#include <cstddef>
#include <string>

#include "pdf/PDFRef.h"

class PDFDictionary;
class PDFFile;

namespace PageCopy {

// The fewest cross-reference entries of a classic table indexed again as a stream: Poppler reads
// a table of this length in about a millisecond.
inline constexpr std::size_t indexedEntries = 2048;
// The fewest kids of the root for it to be split, and the most kids a node of ours holds: a
// lookup of either then parses a few hundred references, not tens of thousands.
inline constexpr std::size_t splitKids = 1024;
inline constexpr std::size_t kidsPerNode = 256;

// The page tree's root as update() reads it, found on the file's thread (where its objects are
// read); the dictionary is the file's, unchanged for the file's life.
struct Root {
    PDFRef ref;
    const PDFDictionary* dictionary = nullptr;
};
Root root(PDFFile& file);

// The update to put after the file's bytes in the copy; nothing where the file gains nothing
// from one (a short table of streams, a root of few kids) or where the engine rebuilt its table
// (Poppler then reads the file as it is, and rebuilds its own). It reads only `root` and what of
// the file never changes once it is opened (its table, trailer and security handler): any thread
// may work it out while the file's own thread reads on.
std::string update(const PDFFile& file, const Root& root);
inline std::string update(PDFFile& file) { return update(file, root(file)); }

}  // namespace PageCopy
