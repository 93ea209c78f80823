#include "pages/content/PageWeight.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/PDFFile.h"
#include "pages/content/BoundedDecode.h"
#include "pages/content/ContentSyntax.h"
#include "pages/DisplaySpace.h"

namespace {

using ContentSyntax::isDelimiter;
using ContentSyntax::isWhite;

// How deep forms, patterns, soft masks and appearances are followed inside one another.
constexpr int maxDepth = 12;
// Objects weighed afresh for one page (shared ones weighed before cost nothing): the weighing
// of a page that names more stops there rather than read for long.
constexpr int maxObjectsPerPage = 4096;
// Annotations of one page whose appearances are weighed.
constexpr std::size_t maxAnnotations = 2000;
// Colour components assumed where an image does not say (the most a common space has).
constexpr std::int64_t unknownComponents = 4;

constexpr std::int64_t saturated = std::numeric_limits<std::int64_t>::max();

std::int64_t sumOf(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    return __builtin_add_overflow(a, b, &r) ? saturated : r;
}

std::int64_t productOf(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    return __builtin_mul_overflow(a, b, &r) ? saturated : r;
}

// What one drawing (a content stream and what it calls) costs.
struct Cost {
    std::int64_t samples = 0;
    std::int64_t largest = 0;
    std::int64_t contentBytes = 0;
    bool unknown = false;

    void image(std::int64_t n) {
        samples = sumOf(samples, n);
        largest = std::max(largest, n);
    }
    void add(const Cost& other) {
        samples = sumOf(samples, other.samples);
        largest = std::max(largest, other.largest);
        contentBytes = sumOf(contentBytes, other.contentBytes);
        unknown = unknown || other.unknown;
    }
};

// ---------------------------------------------------------------------------------------------
// Content streams, decoded no further than a limit.

// How far a content stream was read.
enum class Read {
    whole,       // to its end, or to the limit (`out` then holds one byte more than it)
    beyond,      // decoding it takes far more than the limit: its content is past any bound
    unreadable,  // a filter that does not hold content, or one that is not read here
};

// The filters of a stream with their /DecodeParms, in the order they apply; nothing for a filter
// that is not read here.
std::optional<std::vector<BoundedDecode::Stage>> chainOf(PDFFile& file, const PDFStream& stream) {
    std::vector<BoundedDecode::Stage> chain;
    const PDFObject* filter = file.resolve(stream.dictionary.get("Filter"));
    if (!filter || filter->isNull()) return chain;
    std::vector<const PDFObject*> names;
    if (filter->name()) {
        names.push_back(filter);
    } else if (const std::vector<PDFObject>* array = filter->array()) {
        if (array->size() > BoundedDecode::maxStages) return std::nullopt;
        for (const PDFObject& element : *array) names.push_back(file.resolve(&element));
    } else {
        return std::nullopt;
    }
    const PDFObject* parms = file.resolve(stream.dictionary.get("DecodeParms"));
    if (!parms) parms = file.resolve(stream.dictionary.get("DP"));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string* name = names[i] ? names[i]->name() : nullptr;
        std::optional<BoundedDecode::Filter> kind =
            name ? BoundedDecode::named(*name) : std::nullopt;
        if (!kind) return std::nullopt;
        BoundedDecode::Stage stage;
        stage.filter = *kind;
        const PDFObject* p = parms;
        if (p && p->array()) p = i < p->array()->size() ? &(*p->array())[i] : nullptr;
        if (const PDFDictionary* d = file.dictionary(p)) {
            auto integer = [&](const char* key, int fallback) {
                const PDFObject* v = file.resolve(d->get(key));
                std::optional<std::int64_t> n = v ? v->integer() : std::nullopt;
                return n && *n >= -1000000000 && *n <= 1000000000 ? static_cast<int>(*n)
                                                                  : fallback;
            };
            stage.earlyChange = integer("EarlyChange", 1) != 0;
            stage.predictor = integer("Predictor", 1);
            stage.colors = integer("Colors", 1);
            stage.bitsPerComponent = integer("BitsPerComponent", 8);
            stage.columns = integer("Columns", 1);
        }
        chain.push_back(stage);
    }
    return chain;
}

// Appends at most `limit` - out.size() + 1 decoded bytes of the stream to `out` (one more than the
// limit tells that the content goes past it).
Read appendDecoded(PDFFile& file, const PDFStream& stream, std::size_t limit, std::string& out) {
    const std::size_t room = limit + 1 > out.size() ? limit + 1 - out.size() : 0;
    std::optional<std::vector<BoundedDecode::Stage>> chain = chainOf(file, stream);
    if (!chain) return Read::unreadable;
    switch (BoundedDecode::decode(stream.data, *chain, room, out)) {
        case BoundedDecode::End::overrun: return Read::beyond;
        case BoundedDecode::End::unreadable: return Read::unreadable;
        default: return Read::whole;
    }
}

// ---------------------------------------------------------------------------------------------
// A content stream's operators, read just enough to find the XObjects it draws and its inline
// images.



std::int64_t componentsOfName(std::string_view name) {
    if (name == "DeviceGray" || name == "G" || name == "CalGray" || name == "Indexed" ||
        name == "I" || name == "Separation" || name == "Pattern")
        return 1;
    if (name == "DeviceRGB" || name == "RGB" || name == "CalRGB" || name == "Lab") return 3;
    if (name == "DeviceCMYK" || name == "CMYK") return 4;
    return unknownComponents;
}

class ContentScanner {
public:
    explicit ContentScanner(std::string_view s) : s_(s) {}

    // Names operands of Do, and the samples of the inline images.
    std::unordered_set<std::string> drawn;
    Cost inlineImages;

    void run() {
        std::string previousName;  // the name just before the current token, if it was one
        while (skipBlank()) {
            const char c = s_[i_];
            if (c == '/') {
                previousName = readName();
                continue;
            }
            std::string_view token = readOther();
            if (token == "Do" && !previousName.empty() && drawn.size() < 100000)
                drawn.insert(previousName);
            else if (token == "BI")
                inlineImage();
            previousName.clear();
        }
    }

private:
    // Skips blanks and comments; false at the end.
    bool skipBlank() {
        while (i_ < s_.size()) {
            if (isWhite(s_[i_])) {
                ++i_;
            } else if (s_[i_] == '%') {
                while (i_ < s_.size() && s_[i_] != '\n' && s_[i_] != '\r') ++i_;
            } else {
                return true;
            }
        }
        return false;
    }

    std::string readName() {
        std::size_t start = ++i_;
        while (i_ < s_.size() && !isWhite(s_[i_]) && !isDelimiter(s_[i_])) ++i_;
        return std::string(s_.substr(start, i_ - start));
    }

    // A token that is not a name: an operator or number (returned), or a string, array bracket or
    // dictionary bracket (skipped, returned empty).
    std::string_view readOther() {
        const char c = s_[i_];
        if (c == '(') {
            int depth = 0;
            for (; i_ < s_.size(); ++i_) {
                if (s_[i_] == '\\') {
                    ++i_;
                } else if (s_[i_] == '(') {
                    ++depth;
                } else if (s_[i_] == ')' && --depth == 0) {
                    ++i_;
                    break;
                }
            }
            i_ = std::min(i_, s_.size());
            return {};
        }
        if (c == '<') {
            if (i_ + 1 < s_.size() && s_[i_ + 1] == '<') {
                i_ += 2;
                return {};
            }
            std::size_t end = s_.find('>', i_);
            i_ = end == std::string_view::npos ? s_.size() : end + 1;
            return {};
        }
        if (isDelimiter(c)) {
            i_ += (c == '>' && i_ + 1 < s_.size() && s_[i_ + 1] == '>') ? 2 : 1;
            return {};
        }
        std::size_t start = i_;
        while (i_ < s_.size() && !isWhite(s_[i_]) && !isDelimiter(s_[i_])) ++i_;
        return s_.substr(start, i_ - start);
    }

    // After BI: the image's dictionary up to ID, its samples, and its data skipped up to EI.
    void inlineImage() {
        std::int64_t width = 0, height = 0, components = unknownComponents;
        bool mask = false;
        std::string key;
        int nesting = 0;         // inside an array or dictionary value
        bool firstInValue = false;
        while (skipBlank()) {
            if (s_[i_] == '/') {
                std::string name = readName();
                if (nesting == 0 && key.empty()) {
                    key = name;
                    continue;
                }
                if (key == "CS" || key == "ColorSpace") {
                    if (nesting == 0 || firstInValue) components = componentsOfName(name);
                }
                firstInValue = false;
                if (nesting == 0) key.clear();
                continue;
            }
            const char c = s_[i_];
            if (c == '[' || (c == '<' && i_ + 1 < s_.size() && s_[i_ + 1] == '<')) {
                readOther();
                if (nesting++ == 0) firstInValue = true;
                continue;
            }
            if (c == ']' || (c == '>' && i_ + 1 < s_.size() && s_[i_ + 1] == '>')) {
                readOther();
                if (nesting > 0 && --nesting == 0) key.clear();
                continue;
            }
            std::string_view token = readOther();
            if (nesting == 0 && token == "ID") break;
            if (nesting == 0 && !key.empty()) {
                std::int64_t value = 0;
                if (!token.empty()) {
                    try {
                        value = std::stoll(std::string(token));
                    } catch (const std::out_of_range&) {
                        value = token.front() == '-' ? 0 : saturated;  // beyond any bound
                    } catch (const std::exception&) {
                        value = 0;
                    }
                }
                if (key == "W" || key == "Width") width = value;
                if (key == "H" || key == "Height") height = value;
                if ((key == "IM" || key == "ImageMask") && token == "true") mask = true;
                key.clear();
            }
            firstInValue = false;
        }
        if (mask) components = 1;
        inlineImages.image(productOf(productOf(std::max<std::int64_t>(width, 0),
                                             std::max<std::int64_t>(height, 0)),
                                    components));
        // The data: after one blank, up to an EI between blanks.
        i_ = ContentSyntax::afterInlineImage(s_, i_);
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

// ---------------------------------------------------------------------------------------------

struct PageWeigher::State {
    PDFFile& file;
    std::unordered_map<std::int64_t, Cost> weighed;  // by object number
    std::unordered_set<std::int64_t> inProgress;     // the objects being weighed (cycles)
    int fresh = 0;                                   // objects weighed afresh for this page

    explicit State(PDFFile& f) : file(f) {}

    std::int64_t components(const PDFObject* value, int depth) {
        const PDFObject* space = file.resolve(value);
        if (!space || space->isNull()) return 3;  // JPEG 2000 and masks say it themselves
        if (const std::string* name = space->name()) return componentsOfName(*name);
        const std::vector<PDFObject>* array = space->array();
        if (!array || array->empty()) return unknownComponents;
        const PDFObject* family = file.resolve(&array->front());
        const std::string* name = family ? family->name() : nullptr;
        if (!name) return unknownComponents;
        if (*name == "ICCBased" && array->size() > 1) {
            const PDFDictionary* profile = file.dictionary(&(*array)[1]);
            const PDFObject* n = profile ? file.resolve(profile->get("N")) : nullptr;
            std::optional<std::int64_t> count = n ? n->integer() : std::nullopt;
            return count && *count >= 1 && *count <= 4 ? *count : unknownComponents;
        }
        if (*name == "DeviceN" && array->size() > 1) {
            const PDFObject* names = file.resolve(&(*array)[1]);
            if (names && names->array())
                return std::clamp<std::int64_t>(static_cast<std::int64_t>(names->array()->size()),
                                                1, 32);
            return unknownComponents;
        }
        (void)depth;
        return componentsOfName(*name);
    }

    std::int64_t number(const PDFObject* value, const char* key, const PDFDictionary& d) {
        const PDFObject* v = file.resolve(d.get(key));
        std::optional<double> n = v ? v->number() : std::nullopt;
        if (!n || !std::isfinite(*n) || *n <= 0) return 0;
        (void)value;
        return *n >= 9e18 ? saturated : static_cast<std::int64_t>(*n);
    }

    Cost imageCost(const PDFDictionary& d, int depth) {
        Cost cost;
        const PDFObject* mask = file.resolve(d.get("ImageMask"));
        const bool isMask = mask && mask->boolean().value_or(false);
        const std::int64_t n = isMask ? 1 : components(d.get("ColorSpace"), depth);
        cost.image(productOf(productOf(number(nullptr, "Width", d), number(nullptr, "Height", d)), n));
        // Soft masks and stencil masks are images of their own.
        for (const char* key : {"SMask", "Mask"}) {
            const PDFObject* m = d.get(key);
            const PDFObject* resolved = file.resolve(m);
            if (resolved && resolved->stream()) cost.add(xobject(m, depth + 1));
        }
        return cost;
    }

    // The content of a form, pattern or appearance with its resources.
    Cost drawing(const std::string& content, Read read, const PDFDictionary* resources,
                 int depth, std::int64_t* inlineSamples = nullptr) {
        Cost cost;
        cost.contentBytes = static_cast<std::int64_t>(content.size());
        if (read == Read::beyond)
            cost.contentBytes = std::max(cost.contentBytes, PageWeights::maxContentBytes + 1);
        if (read == Read::unreadable) {
            cost.unknown = true;
            return cost;
        }
        ContentScanner scanner(content);
        scanner.run();
        cost.add(scanner.inlineImages);
        if (inlineSamples) *inlineSamples = scanner.inlineImages.samples;
        if (!resources) return cost;
        const PDFDictionary* xobjects = file.dictionary(resources->get("XObject"));
        if (xobjects)
            for (const std::string& name : scanner.drawn)
                if (const PDFObject* x = xobjects->get(name)) cost.add(xobject(x, depth + 1));
        // Tiling patterns draw their own content wherever they are used.
        if (const PDFDictionary* patterns = file.dictionary(resources->get("Pattern")))
            for (const auto& entry : *patterns) cost.add(xobject(&entry.value, depth + 1));
        // Soft masks of graphics states are forms drawn with the content.
        if (const PDFDictionary* states = file.dictionary(resources->get("ExtGState")))
            for (const auto& entry : *states) {
                const PDFDictionary* state = file.dictionary(&entry.value);
                const PDFDictionary* mask = state ? file.dictionary(state->get("SMask")) : nullptr;
                if (mask && mask->get("G")) cost.add(xobject(mask->get("G"), depth + 1));
            }
        return cost;
    }

    // An image, form or tiling pattern, weighed once when it is an indirect object.
    Cost xobject(const PDFObject* value, int depth) {
        if (depth > maxDepth) return Cost{0, 0, 0, true};
        std::optional<PDFRef> ref = value ? value->reference() : std::nullopt;
        if (ref) {
            auto found = weighed.find(ref->number);
            if (found != weighed.end()) return found->second;
            if (!inProgress.insert(ref->number).second) return Cost{};  // drawn inside itself
        }
        if (++fresh > maxObjectsPerPage) {
            if (ref) inProgress.erase(ref->number);
            return Cost{0, 0, 0, true};
        }
        Cost cost;
        try {
            const PDFObject* object = file.resolve(value);
            const PDFStream* stream = object ? object->stream() : nullptr;
            if (stream) {
                const PDFDictionary& d = stream->dictionary;
                const PDFObject* subtype = file.resolve(d.get("Subtype"));
                const std::string* kind = subtype ? subtype->name() : nullptr;
                if (kind && *kind == "Image") {
                    cost = imageCost(d, depth);
                } else if ((kind && *kind == "Form") || d.get("PatternType")) {
                    std::string content;
                    const Read read =
                        appendDecoded(file, *stream,
                                      static_cast<std::size_t>(PageWeights::maxContentBytes),
                                      content);
                    cost = drawing(content, read, file.dictionary(d.get("Resources")), depth);
                }
            }
        } catch (const std::exception&) {
            cost.unknown = true;
        }
        if (ref) {
            inProgress.erase(ref->number);
            weighed.emplace(ref->number, cost);
        }
        return cost;
    }

    PageWeight weigh(PDFRef pageRef) {
        PageWeight weight;
        fresh = 0;
        try {
            const PDFDictionary* page = file.dictionary(file.object(pageRef));
            if (!page) {
                weight.unknown = true;
                return weight;
            }
            if (std::optional<DisplaySpace> space = DisplaySpace::of(file, pageRef)) {
                weight.width = space->bounds.width;
                weight.height = space->bounds.height;
            }

            // The page's content: its streams one after the other.
            const std::size_t limit = static_cast<std::size_t>(PageWeights::maxContentBytes);
            std::string content;
            Read read = Read::whole;
            const PDFObject* contents = file.resolve(page->get("Contents"));
            auto append = [&](const PDFObject* part) {
                const PDFObject* s = file.resolve(part);
                if (!s || !s->stream() || content.size() > limit) return;
                if (!content.empty()) content.push_back('\n');
                const Read got = appendDecoded(file, *s->stream(), limit, content);
                if (got == Read::unreadable || (got == Read::beyond && read == Read::whole))
                    read = got;
            };
            if (contents && contents->array()) {
                for (const PDFObject& part : *contents->array()) append(&part);
            } else {
                append(contents);
            }
            const PDFObject* resources = file.inherited("Resources", pageRef);
            std::int64_t pageInline = 0;
            Cost cost = drawing(content, read, file.dictionary(resources), 0, &pageInline);

            // Annotation appearances are drawn with the page.
            const PDFObject* annots = file.resolve(page->get("Annots"));
            if (annots && annots->array()) {
                std::size_t count = 0;
                for (const PDFObject& element : *annots->array()) {
                    if (++count > maxAnnotations) {
                        cost.unknown = true;
                        break;
                    }
                    const PDFDictionary* annotation = file.dictionary(&element);
                    const PDFDictionary* ap =
                        annotation ? file.dictionary(annotation->get("AP")) : nullptr;
                    const PDFObject* normal = ap ? ap->get("N") : nullptr;
                    const PDFObject* resolved = file.resolve(normal);
                    if (resolved && resolved->stream()) {
                        cost.add(xobject(normal, 1));
                    } else if (resolved && resolved->dictionary()) {
                        for (const auto& state : *resolved->dictionary())
                            if (const PDFObject* s = file.resolve(&state.value); s && s->stream())
                                cost.add(xobject(&state.value, 1));
                    }
                }
            }
            weight.inlineSamples = pageInline;
            weight.imageSamples = cost.samples;
            weight.largestImage = cost.largest;
            weight.contentBytes = cost.contentBytes;
            weight.unknown = cost.unknown;
        } catch (const std::exception&) {
            weight.unknown = true;
        }
        return weight;
    }
};

PageWeigher::PageWeigher(PDFFile& file) : state_(std::make_unique<State>(file)) {}
PageWeigher::~PageWeigher() = default;

PageWeight PageWeigher::weigh(PDFRef page) { return state_->weigh(page); }

namespace PageWeights {

std::vector<PageWeight> of(PDFFile& file, std::stop_token stop) {
    std::vector<PDFRef> pages;
    try {
        pages = file.pageRefs();
    } catch (const std::exception&) {
        return {};
    }
    PageWeight unweighed;
    unweighed.unknown = true;
    std::vector<PageWeight> out(pages.size(), unweighed);
    PageWeigher weigher(file);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (stop.stop_requested()) break;
        out[i] = weigher.weigh(pages[i]);
    }
    return out;
}

bool drawable(const PageWeight& weight) {
    // What the weighing could not count is left to the page process, which bounds it.
    return weight.imageSamples <= maxSamples && weight.contentBytes <= maxContentBytes;
}

bool renderable(const PageWeight& weight, double scale) {
    if (!drawable(weight)) return false;
    const double pixels = weight.width * scale * weight.height * scale;
    return std::isfinite(pixels) && pixels <= maxPixels;
}

bool readable(const PageWeight& weight) { return weight.inlineSamples <= maxSamples; }

}  // namespace PageWeights

// ---------------------------------------------------------------------------------------------

struct PageJudge::State {
    std::mutex lock;
    std::string_view bytes;
    bool opened = false;
    std::unique_ptr<PDFFile> file;
    std::unique_ptr<PageWeigher> weigher;
    // The page tree is read only as far as the pages asked for: the first page of a long
    // document is judged without walking to its last.
    std::unique_ptr<PDFFile::PageWalk> walk;
    std::vector<PDFRef> pages;
    // Pages known before the walk began, which it finds again first.
    std::size_t known = 0;
    std::shared_ptr<const PDFFile::Opening> opening;
    std::vector<std::optional<PageWeight>> weights;

    void open() {
        opened = true;
        try {
            // The bytes are the caller's: the keeper only says so.
            file = std::make_unique<PDFFile>(bytes, std::make_shared<char>(), opening);
            weigher = std::make_unique<PageWeigher>(*file);
            walk = std::make_unique<PDFFile::PageWalk>(*file);
        } catch (const std::exception&) {
            close();
        }
    }

    void close() {
        walk.reset();
        weigher.reset();
        file.reset();
    }

    // The page at that index, walking the tree on to it.
    std::optional<PDFRef> page(std::size_t index) {
        try {
            while (walk && pages.size() <= index) {
                std::optional<PDFRef> next = walk->next();
                if (!next) {
                    walk.reset();  // the whole tree is read
                    break;
                }
                if (known > 0) {
                    --known;
                    continue;
                }
                pages.push_back(*next);
            }
        } catch (const std::exception&) {
            walk.reset();  // no memory left to read further: the pages found so far stay
        }
        if (index >= pages.size()) return std::nullopt;
        return pages[index];
    }
};

PageJudge::PageJudge(std::string_view bytes) : state_(std::make_unique<State>()) {
    state_->bytes = bytes;
}

PageJudge::PageJudge(std::string_view bytes, std::shared_ptr<const PDFFile::Opening> opening,
                     std::vector<PDFRef> firstPages)
    : PageJudge(bytes) {
    state_->opening = std::move(opening);
    state_->known = firstPages.size();
    state_->pages = std::move(firstPages);
}

PageJudge::~PageJudge() = default;

std::optional<PageWeight> PageJudge::weight(int pageIndex) const {
    std::lock_guard<std::mutex> guard(state_->lock);
    State& s = *state_;
    if (!s.opened) s.open();
    if (pageIndex < 0 || !s.weigher) return std::nullopt;
    const auto i = static_cast<std::size_t>(pageIndex);
    const std::optional<PDFRef> ref = s.page(i);
    if (!ref) return std::nullopt;
    if (s.weights.size() <= i) s.weights.resize(s.pages.size());
    if (!s.weights[i]) s.weights[i] = s.weigher->weigh(*ref);
    return s.weights[i];
}

bool PageJudge::renderable(int pageIndex, double scale) const {
    std::optional<PageWeight> w = weight(pageIndex);
    return !w || PageWeights::renderable(*w, scale);
}

bool PageJudge::drawable(int pageIndex) const {
    std::optional<PageWeight> w = weight(pageIndex);
    return !w || PageWeights::drawable(*w);
}

bool PageJudge::readable(int pageIndex) const {
    std::optional<PageWeight> w = weight(pageIndex);
    return !w || PageWeights::readable(*w);
}

// ---------------------------------------------------------------------------------------------

GuardedPages::GuardedPages(PageSource& inner, const PDFFile& file)
    : inner_(inner), judge_(std::make_shared<PageJudge>(file.bytes())) {}

GuardedPages::GuardedPages(PageSource& inner, std::shared_ptr<const PageJudge> judge)
    : inner_(inner), judge_(std::move(judge)) {}

GuardedPages::GuardedPages(std::unique_ptr<PageSource> ownInner,
                           std::shared_ptr<const PageJudge> judge)
    : owned_(std::move(ownInner)), inner_(*owned_), judge_(std::move(judge)) {}

GuardedPages::~GuardedPages() = default;

int GuardedPages::pageCount() const { return inner_.pageCount(); }

std::optional<PageText> GuardedPages::text(int pageIndex) const {
    if (judge_ && !judge_->readable(pageIndex)) return std::nullopt;
    return inner_.text(pageIndex);
}

std::optional<std::u16string> GuardedPages::words(int pageIndex) const {
    if (judge_ && !judge_->readable(pageIndex)) return std::nullopt;
    return inner_.words(pageIndex);
}

std::optional<GreyImage> GuardedPages::render(int pageIndex, double scale,
                                              std::int64_t maxPixels) const {
    if (!judge_ || !judge_->renderable(pageIndex, scale)) return std::nullopt;
    return inner_.render(pageIndex, scale, maxPixels);
}

std::optional<GreyImage> GuardedPages::renderRegion(int pageIndex, double scale, int x, int y,
                                                    int width, int height,
                                                    std::int64_t maxPixels) const {
    if (!judge_ || !judge_->renderable(pageIndex, scale)) return std::nullopt;
    return inner_.renderRegion(pageIndex, scale, x, y, width, height, maxPixels);
}

std::unique_ptr<PageSource> GuardedPages::clone() const {
    std::unique_ptr<PageSource> inner = inner_.clone();
    if (!inner) return nullptr;
    return std::unique_ptr<PageSource>(new GuardedPages(std::move(inner), judge_));
}

void GuardedPages::setCutoff(std::function<bool()> cut) { inner_.setCutoff(std::move(cut)); }
