#include "pages/content/PageGlyphs.h"

#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "pages/content/ContentSyntax.h"
#include "pages/content/PageAnnotation.h"

namespace PageGlyphs {
namespace {

using ContentSyntax::afterInlineImage;
using ContentSyntax::isDelimiter;
using ContentSyntax::isWhite;

// Form XObjects drawn inside one another; deeper nesting is not followed.
constexpr int maxFormDepth = 8;
// Annotations whose appearances are counted.
constexpr std::size_t maxAnnotations = 10'000;


class Counter {
public:
    Counter(PDFFile& file, std::size_t limit, std::size_t pathLimit)
        : file_(file), limit_(limit), pathLimit_(pathLimit) {}

    Work work() const { return {total_, paths_, bytes_, pictures_, symbols_}; }
    bool full() const { return total_ > limit_ || paths_ > pathLimit_; }

    // Adds what a content stream shows, its Form XObjects looked up in `resources`.
    void stream(const PDFObject* object, const PDFDictionary* resources, int depth) {
        const PDFObject* resolved = file_.resolve(object);
        const PDFStream* s = resolved ? resolved->stream() : nullptr;
        if (!s || full()) return;
        // A stream listed many times (in /Contents, or as the appearance of many annotations)
        // shows its glyphs each time but is decoded and scanned once.
        if (auto known = counted_.find(resolved); known != counted_.end()) {
            add(known->second);
            return;
        }
        const Tally before = tally();
        std::string data;
        try {
            data = PDFFilters::decode(s->data, s->dictionary);
        } catch (const std::exception&) {  // PDFError, or no memory for a huge stream
            bytes_ += s->data.size();
            ++pictures_;  // what it draws is not known
            counted_[resolved] = since(before);
            return;
        }
        bytes_ += data.size();
        scan(data, resources, depth);
        counted_[resolved] = since(before);
    }

    void contents(const PDFObject* contents, const PDFDictionary* resources) {
        const PDFObject* resolved = file_.resolve(contents);
        if (!resolved) return;
        if (const std::vector<PDFObject>* parts = resolved->array()) {
            for (const PDFObject& part : *parts) stream(&part, resources, 0);
        } else {
            stream(resolved, resources, 0);
        }
    }

private:
    // Glyphs and paths shown by one stream or form, kept to count it again when drawn again.
    struct Tally {
        std::size_t glyphs = 0;
        std::size_t paths = 0;
        std::size_t pictures = 0;
        std::size_t symbols = 0;
    };
    Tally tally() const { return {total_, paths_, pictures_, symbols_}; }
    Tally since(const Tally& before) const {
        return {total_ - before.glyphs, paths_ - before.paths, pictures_ - before.pictures,
                symbols_ - before.symbols};
    }
    void add(const Tally& t) {
        total_ += t.glyphs;
        paths_ += t.paths;
        pictures_ += t.pictures;
        symbols_ += t.symbols;
    }

    static bool isPathOperator(std::string_view token) {
        return token == "m" || token == "l" || token == "c" || token == "v" || token == "y" ||
               token == "h" || token == "re";
    }

    void scan(std::string_view d, const PDFDictionary* resources, int depth) {
        std::string_view lastName;
        std::size_t i = 0;
        const std::size_t n = d.size();
        while (i < n && !full()) {
            char c = d[i];
            if (isWhite(c)) {
                ++i;
            } else if (c == '%') {
                while (i < n && d[i] != '\n' && d[i] != '\r') ++i;
            } else if (c == '(') {
                int nesting = 1;
                ++i;
                while (i < n) {
                    if (d[i] == '\\') {
                        i += 2;
                    } else {
                        if (d[i] == '(') ++nesting;
                        if (d[i] == ')' && --nesting == 0) break;
                        ++i;
                    }
                    ++total_;
                }
                ++i;
            } else if (c == '<') {
                if (i + 1 < n && d[i + 1] == '<') {
                    i += 2;
                    continue;
                }
                std::size_t digits = 0;
                for (++i; i < n && d[i] != '>'; ++i)
                    if (!isWhite(d[i])) ++digits;
                total_ += digits / 2;
                ++i;
            } else if (c == '/') {
                std::size_t start = ++i;
                while (i < n && !isWhite(d[i]) && !isDelimiter(d[i])) ++i;
                lastName = d.substr(start, i - start);
            } else if (isDelimiter(c)) {
                ++i;
            } else {
                std::size_t start = i;
                while (i < n && !isWhite(d[i]) && !isDelimiter(d[i])) ++i;
                std::string_view token = d.substr(start, i - start);
                if (token == "ID") {
                    i = afterInlineImage(d, i);
                    ++pictures_;
                } else if (token == "Do") {
                    form(lastName, resources, depth);
                } else if (isPathOperator(token)) {
                    ++paths_;
                } else if (token == "sh") {
                    ++pictures_;
                } else if (token == "Tf") {
                    font(lastName, resources);
                }
            }
        }
    }

    void form(std::string_view name, const PDFDictionary* resources, int depth) {
        if (name.empty() || !resources || depth >= maxFormDepth) {
            ++pictures_;  // not followed: what it draws is not known
            return;
        }
        const PDFDictionary* xobjects = file_.dictionary(resources->get("XObject"));
        const PDFObject* object = xobjects ? file_.resolve(xobjects->get(name)) : nullptr;
        const PDFStream* s = object ? object->stream() : nullptr;
        if (!s) return;
        const PDFObject* subtype = file_.resolve(s->dictionary.get("Subtype"));
        if (!subtype || !subtype->name() || *subtype->name() != "Form") {
            ++pictures_;  // an image, or what cannot be told
            return;
        }
        // Each drawing of a form shows its glyphs again; a form is scanned once.
        if (auto known = counted_.find(object); known != counted_.end()) {
            add(known->second);
            return;
        }
        if (!inProgress_.insert(object).second) return;  // drawn inside itself
        const PDFDictionary* own = file_.dictionary(s->dictionary.get("Resources"));
        const Tally before = tally();
        stream(object, own ? own : resources, depth + 1);
        inProgress_.erase(object);
        counted_[object] = since(before);
    }

    // A font selected: a picture when it draws its glyphs with content of its own (Type 3) or
    // cannot be told, a symbol font when its name is that of a font of pictograms.
    void font(std::string_view name, const PDFDictionary* resources) {
        const PDFDictionary* fonts =
            name.empty() || !resources ? nullptr : file_.dictionary(resources->get("Font"));
        const PDFDictionary* font = fonts ? file_.dictionary(fonts->get(name)) : nullptr;
        if (!font) {
            ++pictures_;
            return;
        }
        const PDFObject* subtype = file_.resolve(font->get("Subtype"));
        if (!subtype || !subtype->name() || *subtype->name() == "Type3") ++pictures_;
        const PDFObject* base = file_.resolve(font->get("BaseFont"));
        if (base && base->name() && isSymbolFont(*base->name())) ++symbols_;
    }


    PDFFile& file_;
    std::size_t limit_;
    std::size_t pathLimit_;
    std::size_t total_ = 0;
    std::size_t paths_ = 0;
    std::size_t bytes_ = 0;
    std::size_t pictures_ = 0;
    std::size_t symbols_ = 0;
    std::unordered_map<const PDFObject*, Tally> counted_;
    std::unordered_set<const PDFObject*> inProgress_;
};

}  // namespace

bool isSymbolFont(std::string_view name) {
    std::string lower(name.substr(0, 128));
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (std::string_view family : {"dingbat", "wingding", "webding", "marlett"})
        if (lower.find(family) != std::string::npos) return true;
    return false;
}

Work measure(PDFFile& file, PDFRef page, std::size_t glyphLimit, std::size_t pathLimit) {
    const PDFDictionary* dictionary = file.dictionary(file.object(page));
    if (!dictionary) return {};
    Counter counter(file, glyphLimit, pathLimit);
    const PDFDictionary* resources = file.dictionary(file.inherited("Resources", page));
    counter.contents(dictionary->get("Contents"), resources);

    const PDFObject* annots = PageAnnotation::annotsOf(file, page);
    const std::vector<PDFObject>* list = annots ? annots->array() : nullptr;
    if (list) {
        const std::size_t n = std::min(list->size(), maxAnnotations);
        for (std::size_t k = 0; k < n && !counter.full(); ++k) {
            const PDFDictionary* annotation = file.dictionary(&(*list)[k]);
            const PDFDictionary* ap = annotation ? file.dictionary(annotation->get("AP")) : nullptr;
            const PDFObject* normal = ap ? file.resolve(ap->get("N")) : nullptr;
            if (!normal) continue;
            auto appearance = [&](const PDFObject* a) {
                const PDFObject* r = file.resolve(a);
                const PDFStream* s = r ? r->stream() : nullptr;
                if (!s) return;
                const PDFDictionary* own = file.dictionary(s->dictionary.get("Resources"));
                counter.stream(r, own, 1);
            };
            if (normal->stream()) {
                appearance(normal);
            } else if (const PDFDictionary* states = normal->dictionary()) {
                for (const auto& entry : *states) appearance(&entry.value);
            }
        }
    }
    return counter.work();
}

std::size_t count(PDFFile& file, PDFRef page, std::size_t limit) {
    return measure(file, page, limit).glyphs;
}

bool readable(PDFFile& file, PDFRef page) {
    return count(file, page) <= maxGlyphs;
}

}  // namespace PageGlyphs
