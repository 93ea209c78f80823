#include "signing/SignatureLocator.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "pdf/PDFFile.h"
#include "pages/NoPages.h"
#include "pages/PageCopy.h"
#include "pages/PageProcess.h"
#include "pages/DisplaySpace.h"
#include "pages/InkMap.h"
#include "pages/content/PageDrawing.h"
#include "pages/content/PageAnnotation.h"
#include "pages/content/PageWeight.h"
#include "signing/SignatureCues.h"
#include "signing/UnicodeText.h"

namespace SignatureLocator {
namespace {

// How deep /Kids are followed from the form's /Fields.
constexpr int maxFieldDepth = 32;
// Bytes of partial field names (/T) read in one field search: a hostile file can make every widget
// inherit long names through many /Parent levels.
constexpr std::size_t maxNameBytes = std::size_t(1) << 24;

// The corner place, in display space, when the last page offers nothing better.
constexpr Rect cornerBox{45, 45, 250, 72};
const char* const cornerLabel = "Esquina inferior izquierda de la última página";

// Every field dictionary reachable from the form's /Fields through /Kids.
std::unordered_set<const PDFDictionary*> formFields(PDFFile& file) {
    std::unordered_set<const PDFDictionary*> fields;
    const PDFDictionary* catalog = file.catalog();
    const PDFDictionary* form = catalog ? file.dictionary(catalog->get("AcroForm")) : nullptr;
    const PDFObject* list = form ? file.resolve(form->get("Fields")) : nullptr;
    if (!list || !list->array()) return fields;

    // A /Kids array met again has all its dictionaries collected already: it is not gone through
    // twice (a hostile form gives one long array to each of its own members).
    std::unordered_set<const std::vector<PDFObject>*> scanned;
    auto visit = [&](auto&& self, const std::vector<PDFObject>& array, int depth) -> void {
        if (depth >= maxFieldDepth || !scanned.insert(&array).second) return;
        for (const PDFObject& element : array) {
            const PDFDictionary* field = file.dictionary(&element);
            if (!field || !fields.insert(field).second) continue;
            const PDFObject* kids = file.resolve(field->get("Kids"));
            if (kids && kids->array()) self(self, *kids->array(), depth + 1);
        }
    };
    visit(visit, *list->array(), 0);
    return fields;
}

void appendFieldPlaces(PDFFile& file, const std::vector<PDFRef>& pages,
                       std::vector<SignaturePlacement>& out) {
    std::unordered_set<const PDFDictionary*> fields = formFields(file);
    // A widget lies on one page: an /Annots array that several pages share (a hostile file can
    // give one long array to thousands of pages) is searched on the first of them only.
    std::unordered_set<const PDFObject*> searched;
    std::size_t nameBytes = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const int p = static_cast<int>(i) + 1;
        const PDFObject* annots = PageAnnotation::annotsOf(file, pages[i]);
        if (!annots || !annots->array() || !searched.insert(annots).second) continue;
        for (const PDFObject& element : *annots->array()) {
            const PDFDictionary* annotation = file.dictionary(&element);
            if (!annotation) continue;
            std::optional<Rect> rect = PageAnnotation::rectangle(file, annotation->get("Rect"));
            if (!rect || !(rect->width > 1) || !(rect->height > 1)) continue;

            std::vector<std::string> names;
            const PDFDictionary* terminal = nullptr;
            std::string fieldType;
            bool isSigned = false;
            for (const PDFDictionary* d : PageAnnotation::parentChain(file, annotation)) {
                const PDFObject* t = file.resolve(d->get("T"));
                if (t && t->stringData()) {
                    nameBytes += t->stringData()->size();
                    if (nameBytes > maxNameBytes) return;
                    names.insert(names.begin(), t->text().value_or(""));
                    if (!terminal) terminal = d;
                }
                const PDFObject* ft = file.resolve(d->get("FT"));
                if (fieldType.empty() && ft && ft->name()) fieldType = *ft->name();
                const PDFObject* v = file.resolve(d->get("V"));
                if (v && v->kind() == PDFObject::Kind::dictionary) isSigned = true;
            }
            if (fieldType != "Sig" || isSigned || !terminal) continue;

            std::string name;
            for (std::size_t k = 0; k < names.size(); ++k) name += (k ? "." : "") + names[k];
            bool listed = fields.count(terminal) > 0;
            std::string label = std::string(listed ? "Campo de firma «" : "Recuadro de firma «") +
                                name + "» · pág. " + std::to_string(p);
            out.push_back(SignaturePlacement{listed ? SignaturePlacement::Target::field(name)
                                                    : SignaturePlacement::Target::area(p, *rect),
                                             p - 1, *rect, std::move(label), name, true, true, 1});
        }
    }
}

std::vector<Rect> signatureWidgets(const std::vector<PageAnnotation>& annotations,
                                   const DisplaySpace& space) {
    std::vector<Rect> out;
    for (const PageAnnotation& a : annotations)
        if (a.isSignatureWidget()) out.push_back(space.display(a.rect));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Readers: the page text and the ink maps come from the page source, whose work (Poppler's text
// layout and rendering) dominates a search; it is spread over a few threads, each with its own
// clone of the source. The PDF engine's objects are touched by one thread at a time.

// Threads reading one document at the same time, the calling one included: a long document is
// read in a fraction of the time, and more would mostly add documents open at once.
constexpr unsigned maxReaders = 4;
// A reader of its own for every this many pages at least: opening the document again costs about
// as much as reading a few pages.
constexpr int pagesPerReader = 4;

class Readers {
public:
    Readers(const PageSource& source, const Deadline& deadline)
        : source_(source), deadline_(deadline) {}

    // Runs task(pages, k) for k = 0 ..< count, each on some reader (`pages` is that reader's
    // source), taking k in increasing order; no new k is taken once a stop is requested or the
    // deadline has passed. Readers are started for `pageCount` pages in all. The first exception
    // of a task is thrown here once every reader has stopped.
    template <class Task>
    void forEach(int count, int pageCount, const std::stop_token& stop, const Task& task) {
        if (count <= 0) return;
        std::atomic<int> next{0};
        std::atomic<bool> failed{false};
        std::exception_ptr failure;
        std::mutex failureLock;
        auto work = [&](const PageSource& pages) {
            try {
                for (;;) {
                    if (stop.stop_requested() || failed.load() || deadline_.expired()) return;
                    const int k = next.fetch_add(1);
                    if (k >= count) return;
                    task(pages, k);
                }
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
                failed = true;
            }
        };

        const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
        const unsigned byPages =
            static_cast<unsigned>((std::max(pageCount, 1) - 1) / pagesPerReader) + 1;
        const unsigned wanted = std::min({maxReaders, hardware, byPages});
        if (clones_.size() + 1 < wanted) clones_.resize(wanted - 1);
        {
            std::vector<std::jthread> threads;
            for (unsigned r = 0; r + 1 < wanted; ++r) {
                try {
                    threads.emplace_back([&, r] {
                        // Made on the reader's own thread: a clone opens the document again.
                        // A clone that cannot be made leaves the pages to the other readers (an
                        // exception must not leave the thread's function).
                        if (!clones_[r]) {
                            try {
                                clones_[r] = source_.clone();
                            } catch (...) {
                                return;
                            }
                            // A page being read when the search runs out of time is given up.
                            if (clones_[r])
                                clones_[r]->setCutoff([stop, &deadline = deadline_] {
                                    return stop.stop_requested() || deadline.expired();
                                });
                        }
                        if (clones_[r]) work(*clones_[r]);
                    });
                } catch (const std::system_error&) {
                    break;  // no thread: the readers already running do the rest
                }
            }
            work(source_);
        }
        if (failure) std::rethrow_exception(failure);
    }

private:
    const PageSource& source_;
    const Deadline& deadline_;
    std::vector<std::unique_ptr<PageSource>> clones_;
};

// A page's geometry from the PDF engine, for its cue search on a reader.
struct PageGeometry {
    std::optional<DisplaySpace> space;
    std::shared_ptr<const std::vector<PageAnnotation>> annotations;
};

// The annotations of the pages, each /Annots array read once however many pages share it.
class Annotations {
public:
    explicit Annotations(PDFFile& file) : file_(file) {}
    std::shared_ptr<const std::vector<PageAnnotation>> of(PDFRef page) {
        const PDFObject* annots = PageAnnotation::annotsOf(file_, page);
        if (!annots) return none_;
        std::shared_ptr<const std::vector<PageAnnotation>>& read = read_[annots];
        if (!read)
            read = std::make_shared<const std::vector<PageAnnotation>>(
                PageAnnotation::of(file_, annots));
        return read;
    }

private:
    PDFFile& file_;
    std::unordered_map<const PDFObject*, std::shared_ptr<const std::vector<PageAnnotation>>> read_;
    const std::shared_ptr<const std::vector<PageAnnotation>> none_ =
        std::make_shared<const std::vector<PageAnnotation>>();
};

// The cue places of one page whose text holds cue or role words; its ink map is made only when
// the page has an anchor.
std::vector<SignaturePlacement> pageCues(int pageIndex, const PageText& text,
                                         const PageGeometry& geometry,
                                         std::function<std::optional<InkMap>()> inkMap) {
    if (!geometry.space) return {};
    SignatureCues::CuePage page;
    page.pageIndex = pageIndex;
    page.space = *geometry.space;
    page.text = &text;
    page.signatureWidgets = signatureWidgets(*geometry.annotations, *geometry.space);
    page.inkMap = std::move(inkMap);
    return SignatureCues::placements(page);
}

bool samePlaces(const std::vector<SignaturePlacement>& a,
                const std::vector<SignaturePlacement>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const SignaturePlacement& x, const SignaturePlacement& y) {
                          return x.pageIndex == y.pageIndex && x.rect == y.rect &&
                                 x.label == y.label && x.context == y.context &&
                                 x.rank == y.rank;
                      });
}

// Pages before the last that may be drawn for their cues, in part or whole: the last ones of
// the document, whose cues the default choice prefers. On the pages before them the cues are
// those the page's drawing gives with all its doubtful ink taken for ink, which may miss some
// room but never offers a box over ink (none when the drawing cannot be read). A long form whose
// every page names its party in a heading is searched in a bounded time, and the same way
// whatever threads read it.
constexpr int maxDrawnCuePages = 32;
// Slices of a page drawn for its cues before it is drawn whole.
constexpr int maxCueSlices = 4;

// The cue places of a page other than the last, from what its content draws where that decides
// them: the search is made taking the drawing's doubtful ink (glyphs, curves, pictures) for ink
// and then for none, and when both give the same places, no strict ink deciding them, those are
// the page's, as a rendering (which lies between the two) would give them. Otherwise the squares
// of the page where doubt decided are drawn, and the search made again, a few times; then the
// page is drawn whole; unless `mayDraw` is false.
std::vector<SignaturePlacement> pageCuesDrawnFirst(
    const PageSource& source, int pageIndex, const PageText& text, const PageGeometry& geometry,
    const std::function<std::optional<InkMap>()>& drawing, bool mayDraw) {
    if (!geometry.space) return {};
    std::optional<InkMap> drawn;
    bool tried = false;
    SignatureCues::CuePage page;
    page.pageIndex = pageIndex;
    page.space = *geometry.space;
    page.text = &text;
    page.signatureWidgets = signatureWidgets(*geometry.annotations, *geometry.space);
    page.keptInk = [&]() -> const InkMap* {
        if (!tried) {
            tried = true;
            drawn = drawing();
            if (drawn) drawn->doubt(true);
        }
        return drawn ? &*drawn : nullptr;
    };
    std::vector<SignaturePlacement> withDoubt = SignatureCues::placements(page);
    if (!tried) return withDoubt;  // no anchor: no ink asked for
    // Whether the drawing decides the places; otherwise where doubt decided them.
    std::optional<InkMap::Slice> slice;
    auto decided = [&](const std::vector<SignaturePlacement>& asInk) {
        slice.reset();
        if (!drawn->doubted()) return true;
        slice = drawn->doubtfulSlice();
        if (drawn->strictlyDoubted()) return false;
        drawn->doubt(false);
        const std::vector<SignaturePlacement> asNone = SignatureCues::placements(page);
        if (!drawn->strictlyDoubted() && samePlaces(asInk, asNone)) return true;
        if (std::optional<InkMap::Slice> more = drawn->doubtfulSlice())
            slice = slice ? slice->united(*more) : *more;
        return false;
    };
    if (drawn && decided(withDoubt)) return withDoubt;
    if (!mayDraw) return withDoubt;
    const Rect& bounds = geometry.space->bounds;
    if (drawn && drawn->strictShare() < 0.5) {
        const double ppp = drawn->pixelsPerPoint();
        const auto pagePixels = static_cast<std::int64_t>(std::ceil(ppp * bounds.width) *
                                                          std::ceil(ppp * bounds.height));
        double sliced = 0;
        for (int round = 0; round < maxCueSlices && slice; ++round) {
            // Slices of more than half the page cost more than drawing it whole.
            sliced += slice->pixels();
            if (sliced > 0.5 * static_cast<double>(pagePixels)) break;
            std::optional<GreyImage> image = source.renderRegion(
                pageIndex, ppp, slice->x, slice->y, slice->width, slice->height, pagePixels + 1);
            if (!image) return {};  // a page that cannot be drawn in part has no ink map
            drawn->settle(*slice, *image, text, *geometry.space, *geometry.annotations);
            drawn->doubt(true);
            std::vector<SignaturePlacement> settled = SignatureCues::placements(page);
            if (decided(settled)) return settled;
        }
    }
    page.keptInk = nullptr;
    page.inkMap = [&] {
        return InkMap::make(source, pageIndex, text, *geometry.space, *geometry.annotations,
                            false);
    };
    return SignatureCues::placements(page);
}

// Pages a reader takes at a time, at most: it reads the words of them all (and the text of those
// that may hold cue words) before it draws any, as a page process serves requests of one kind in
// a row faster than alternating ones.
constexpr int pagesPerTake = 64;

// The cue search of pages 0 ..< end, from the last of them backwards: when the deadline leaves
// pages unread, they are the earliest, which can change the default choice only with a stronger
// cue than the later pages hold (for equal strength the latest page wins).
void searchPagesBackwards(PDFFile& file, Readers& readers, int end,
                          const std::vector<PDFRef>& pages, Annotations& annotations,
                          std::vector<std::vector<SignaturePlacement>>& found,
                          const std::stop_token& stop, const Deadline& deadline) {
    if (end <= 0) return;
    // The geometry of a page with cue words, from the PDF engine, one reader at a time.
    std::mutex fileLock;
    auto geometry = [&](int i) {
        std::lock_guard<std::mutex> lock(fileLock);
        return PageGeometry{DisplaySpace::of(file, pages[i]), annotations.of(pages[i])};
    };
    auto over = [&] { return stop.stop_requested() || deadline.expired(); };
    // Takes small enough for every reader to have a few.
    const int take = std::clamp(end / static_cast<int>(4 * maxReaders), 1, pagesPerTake);
    const int takes = (end + take - 1) / take;
    readers.forEach(takes, end, stop, [&](const PageSource& source, int t) {
        const int top = end - t * take;
        const int bottom = std::max(0, top - take);
        std::vector<std::pair<int, PageText>> texts;
        for (int i = top - 1; i >= bottom && !over(); --i) {
            // The words first: most pages of a long document need no more.
            std::optional<std::u16string> words = source.words(i);
            if (!words || !SignatureCues::mayHaveAnchorWords(*words)) continue;
            std::optional<PageText> text = source.text(i);
            if (text && SignatureCues::hasAnchorWords(text->text))
                texts.emplace_back(i, std::move(*text));
        }
        for (const auto& [i, text] : texts) {
            if (over()) return;
            const PageGeometry g = geometry(i);
            auto drawing = [&, i = i, &text = text]() -> std::optional<InkMap> {
                std::optional<std::vector<InkMap::Shape>> shapes;
                {
                    std::lock_guard<std::mutex> lock(fileLock);
                    shapes = PageDrawing::shapes(file, pages[i], *g.space, text);
                }
                if (!shapes) return std::nullopt;
                return InkMap::make(*shapes, text, *g.space, *g.annotations, false);
            };
            found[static_cast<std::size_t>(i)] =
                pageCuesDrawnFirst(source, i, text, g, drawing, i >= end - maxDrawnCuePages);
        }
    });
}

SignaturePlacement areaPlace(int pageCount, Rect rect, std::string label) {
    return SignaturePlacement{SignaturePlacement::Target::area(pageCount, rect),
                              pageCount - 1,
                              rect,
                              std::move(label),
                              "",
                              false,
                              false,
                              1};
}

// The place after the content of the last page, from the page's ink map (nothing when it could
// not be made).
SignaturePlacement lastPagePlace(int n, const std::optional<DisplaySpace>& space,
                                 const std::optional<InkMap>& ink) {
    auto place = [n](Rect rect, std::string label) { return areaPlace(n, rect, std::move(label)); };
    if (!space) return place(cornerBox, cornerLabel);
    if (ink) {
        const Rect B = space->bounds;
        const double floor = B.minY() + 0.1 * B.height;  // the bottom tenth is left out
        double y = floor;
        while (y < B.maxY() && ink->isEmpty({B.minX(), y, B.width, 1})) y += 1;
        double x = B.minX();
        while (x < B.maxX() && ink->isEmpty({x, floor, 1, B.maxY() - floor})) x += 1;
        if (y < B.maxY()) {
            Rect box{x, y - 24 - 80, 250, 80};
            if (box.minY() >= floor && box.maxX() <= B.maxX() && ink->isEmpty(box.insetBy(-4, -4)))
                return place(space->page(box),
                             "Al final del contenido · pág. " + std::to_string(n));
        }
    }
    return place(space->page(cornerBox), cornerLabel);
}

// Folded words of more than two letters, parenthesised parts left out, in order.
std::vector<std::u16string> words(std::string_view s) {
    std::u16string raw = UnicodeText::fold(UnicodeText::utf16(s));
    // Each "(...)" group becomes a blank; an unclosed "(" stays.
    std::u16string folded;
    folded.reserve(raw.size());
    bool closes = true;  // a ")" may still follow
    for (std::size_t i = 0; i < raw.size(); ++i) {
        std::size_t close = std::u16string::npos;
        if (raw[i] == u'(' && closes) {
            close = raw.find(u')', i + 1);
            closes = close != std::u16string::npos;
        }
        if (close == std::u16string::npos) {
            folded.push_back(raw[i]);
        } else {
            folded.push_back(u' ');
            i = close;
        }
    }
    std::vector<std::u16string> out;
    std::u16string piece;
    std::size_t letters = 0;
    auto flush = [&] {
        if (letters > 2) out.push_back(piece);
        piece.clear();
        letters = 0;
    };
    for (std::size_t i = 0; i < folded.size();) {
        UChar32 c;
        std::size_t start = i;
        U16_NEXT(folded.data(), i, folded.size(), c);
        if (u_isalpha(c)) {
            piece.append(folded, start, i - start);
            ++letters;
        } else {
            flush();
        }
    }
    flush();
    return out;
}

}  // namespace

SignaturePlacement cornerPlace(int pageCount, const std::optional<DisplaySpace>& lastPage) {
    const int n = std::max(pageCount, 1);
    return areaPlace(n, lastPage ? lastPage->page(cornerBox) : cornerBox, cornerLabel);
}

bool mentions(std::string_view text, std::string_view name) {
    std::vector<std::u16string> nameWords = words(name);
    std::set<std::u16string> W(nameWords.begin(), nameWords.end());
    if (W.empty()) return false;
    std::vector<std::u16string> textWords = words(text);
    std::unordered_set<std::u16string> T(textWords.begin(), textWords.end());
    std::size_t c =
        std::count_if(W.begin(), W.end(), [&](const auto& w) { return T.count(w) > 0; });
    return c >= std::min<std::size_t>(W.size(), 2);
}

std::vector<SignaturePlacement> placements(PDFFile& file, const PageSource& source,
                                           std::stop_token stop, const Deadline& deadline,
                                           Extent extent) {
    std::vector<SignaturePlacement> out;
    std::vector<PDFRef> pages = file.pageRefs(stop);
    if (pages.empty() || stop.stop_requested()) return out;
    appendFieldPlaces(file, pages, out);
    const int count = std::min(static_cast<int>(pages.size()), source.pageCount());
    const int last = static_cast<int>(pages.size()) - 1;
    std::vector<std::vector<SignaturePlacement>> found(static_cast<std::size_t>(pages.size()));

    // The last page first, whatever the time: its cues and its place are searched with one ink
    // map, and a search out of time still gives them.
    PageText lastText;
    if (last < count)
        if (std::optional<PageText> t = source.text(last)) lastText = std::move(*t);
    if (stop.stop_requested()) return out;
    Annotations annotations(file);
    const PageGeometry lastPage{DisplaySpace::of(file, pages[last]), annotations.of(pages[last])};
    std::optional<InkMap> lastMap;
    if (lastPage.space)
        lastMap =
            InkMap::make(source, last, lastText, *lastPage.space, *lastPage.annotations, false);
    SignaturePlacement lastPlace = lastPagePlace(last + 1, lastPage.space, lastMap);
    if (last < count && SignatureCues::hasAnchorWords(lastText.text))
        found.back() = pageCues(last, lastText, lastPage, [&] { return std::move(lastMap); });
    lastMap.reset();

    // Then the others, from the end backwards, until the deadline; unless only the best place is
    // wanted and the last page holds a cue of the strongest rank, which no earlier page can take
    // the place of (an equal rank goes to the latest page): a long document is then signed
    // without reading it all.
    const bool settled =
        extent == Extent::untilSettled &&
        std::any_of(found.back().begin(), found.back().end(),
                    [](const SignaturePlacement& p) { return p.detected && p.rank <= 1; });
    if (!settled) {
        Readers readers(source, deadline);
        searchPagesBackwards(file, readers, std::min(count, last), pages, annotations, found,
                             stop, deadline);
    }
    if (stop.stop_requested()) return out;
    for (std::vector<SignaturePlacement>& page : found)
        for (SignaturePlacement& placement : page) out.push_back(std::move(placement));
    out.push_back(std::move(lastPlace));
    return out;
}

std::vector<SignaturePlacement> placements(PDFFile& file, std::stop_token stop,
                                           const Deadline& deadline, Extent extent) {
    std::unique_ptr<PageProcess> pages = PageProcess::open(file.bytes(), PageCopy::update(file));
    if (pages) {
        // A page being read when the search is stopped or out of time is given up; pages too
        // heavy to draw are searched without their ink.
        pages->setCutoff([stop, &deadline] { return stop.stop_requested() || deadline.expired(); });
        GuardedPages guarded(*pages, file);
        return placements(file, guarded, stop, deadline, extent);
    }
    return placements(file, NoPages(), stop, deadline, extent);
}

std::optional<std::size_t> bestIndex(const std::vector<SignaturePlacement>& list,
                                     const Certificate* certificate) {
    std::vector<std::size_t> detected;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].detected) detected.push_back(i);

    // The document's own signature boxes: the last page, then the lowest on it.
    std::optional<std::size_t> box;
    for (std::size_t i : detected) {
        const SignaturePlacement& p = list[i];
        if (!p.isSignatureBox) continue;
        if (!box || p.pageIndex > list[*box].pageIndex ||
            (p.pageIndex == list[*box].pageIndex && p.rect.minY() < list[*box].rect.minY()))
            box = i;
    }
    if (box) return box;

    // A place whose text names the signer or the signer's organisation.
    std::vector<std::string> names;
    if (certificate) {
        names.push_back(certificate->name);
        if (certificate->organization) names.push_back(*certificate->organization);
    }
    for (std::size_t i : detected)
        for (const std::string& name : names)
            if (mentions(list[i].context, name)) return i;

    // The strongest cue, on the latest page that holds one.
    if (!detected.empty()) {
        int rank = list[detected.front()].rank;
        for (std::size_t i : detected) rank = std::min(rank, list[i].rank);
        int page = -1;
        for (std::size_t i : detected)
            if (list[i].rank == rank) page = std::max(page, list[i].pageIndex);
        for (std::size_t i : detected)
            if (list[i].rank == rank && list[i].pageIndex == page) return i;
    }
    if (list.empty()) return std::nullopt;
    return list.size() - 1;
}

std::optional<SignaturePlacement> best(const std::vector<SignaturePlacement>& list,
                                       const Certificate* certificate) {
    std::optional<std::size_t> i = bestIndex(list, certificate);
    if (!i) return std::nullopt;
    return list[*i];
}

}  // namespace SignatureLocator
