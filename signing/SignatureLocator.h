#pragma once
// Where the visible signature should go: the document's own empty signature fields, places next to
// signature words in the page text, and a place after the content of the last page; and the
// default choice among them for a signer.
//
//   PDFFile file(bytes);
//   std::vector<SignaturePlacement> list = SignatureLocator::placements(file);
//   std::optional<SignaturePlacement> chosen = SignatureLocator::best(list, &certificate);

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string_view>
#include <vector>

#include "pages/PageText.h"
#include "signing/Certificate.h"
#include "pages/DisplaySpace.h"
#include "signing/SignaturePlacement.h"

class PDFFile;

namespace SignatureLocator {

// How long the reading of pages may go on: a search ends within a few seconds whatever its pages
// hold (the page being read when the time is up is finished, and no page too heavy to draw is
// drawn), leaving time for that page within the five seconds a signing run waits at most.
inline constexpr std::chrono::milliseconds searchTime{4000};

// When a search stops reading pages: once expired() says so, the pages not yet read are left out
// and the search gives what it has found, the last-page place included.
class Deadline {
public:
    // searchTime after now.
    Deadline() : Deadline(searchTime) {}
    explicit Deadline(std::chrono::steady_clock::duration limit)
        : expired_([end = std::chrono::steady_clock::now() + limit] {
              return std::chrono::steady_clock::now() >= end;
          }) {}
    // A deadline that has passed when `expired` first says so (tests give a clock of their own).
    explicit Deadline(std::function<bool()> expired) : expired_(std::move(expired)) {}

    // Thread-safe as long as the function given is.
    bool expired() const { return expired_(); }

private:
    std::function<bool()> expired_;
};

// All candidates: signature fields, then text cues page by page, then the last-page place. Empty
// only for a document without pages. Never throws. Page text and rendering come from `pages`,
// whose page indices are those of file.pageRefs(): each page's words are read once, the boxes of
// its characters only when it holds a signature or role word (and on the last page), and an ink
// map is drawn only for a page with a cue to place a box by and for the last page (once, for
// both). When `pages` can be cloned, a long document is read by a few threads at once (the PDF
// engine's objects are used by one of them at a time). The last page is searched first, whatever
// the time; then the others from the end backwards until `deadline`, and the cues found on them
// are kept: the pages left unread are the earliest, which could change best() only with a
// stronger cue than any found after them or one naming the signer. A stop requested through
// `stop` ends the search between pages; what it gives then is incomplete and only good to be
// thrown away.
//
// With Extent::untilSettled (a signing that only wants the best place: the window, a batch), the
// other pages are not read at all when the last page holds a cue of the strongest rank: no
// earlier page can take its place, but for one whose cue names the signer.
enum class Extent { allPages, untilSettled };
std::vector<SignaturePlacement> placements(PDFFile& file, const PageSource& pages,
                                           std::stop_token stop = {},
                                           const Deadline& deadline = Deadline(),
                                           Extent extent = Extent::allPages);

// The same with the page process reading the file's bytes (without text and rendering when
// Poppler cannot open them: then only fields and the corner place), drawing no page too heavy
// to draw (GuardedPages).
std::vector<SignaturePlacement> placements(PDFFile& file, std::stop_token stop = {},
                                           const Deadline& deadline = Deadline(),
                                           Extent extent = Extent::allPages);

// The place that needs no page read: the bottom-left corner of the last page (`lastPage`, its
// display frame when known), for a search that could not end in time.
SignaturePlacement cornerPlace(int pageCount, const std::optional<DisplaySpace>& lastPage);

// The default choice: the last signature box (lowest on its page), else the first detected place
// whose context names the signer or the signer's organisation, else the strongest cue on the
// latest page holding one, else the last member. Nothing only for an empty list.
std::optional<SignaturePlacement> best(const std::vector<SignaturePlacement>& list,
                                       const Certificate* certificate);
// The position in `list` of that choice.
std::optional<std::size_t> bestIndex(const std::vector<SignaturePlacement>& list,
                                     const Certificate* certificate);

// Whether the text names the person or body `name`: all of a one-word name, or any two words of a
// longer one; comparison ignores case and accents, words of one or two letters and parenthesised
// parts. Both are UTF-8.
bool mentions(std::string_view text, std::string_view name);

}  // namespace SignatureLocator
