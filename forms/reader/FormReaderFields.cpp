// Reading the widgets of a document's interactive form, page by page in /Annots order.
#include <algorithm>
#include <climits>
#include <memory>
#include <unordered_set>

#include "forms/reader/FieldName.h"
#include "forms/reader/FormPageText.h"
#include "forms/reader/FormReader.h"
#include "forms/reader/FormReading.h"
#include "pages/content/PageGlyphs.h"
#include "pdf/PDFFile.h"
#include "pages/NoPages.h"
#include "pages/PageProcess.h"
#include "pages/content/PageWeight.h"
#include "pages/DisplaySpace.h"
#include "signing/PDFSigner.h"
#include "pages/content/PageAnnotation.h"

namespace FormReader {
namespace {

// Field flags (/Ff).
constexpr std::int64_t readOnlyFlag = 1;
constexpr std::int64_t pushButtonFlag = 1 << 16;
constexpr std::int64_t combFlag = 1 << 24;

// A widget as read from the PDF, before it becomes a field.
struct Widget {
    FormField::Kind kind = FormField::Kind::text;
    std::string name;
    Rect rect;
    std::int64_t flags = 0;
    int maxLength = 0;
    std::vector<std::string> options;
    std::optional<std::string> exportValue;
    std::optional<std::string> tooltip;
    std::string value;  // raw, before clean
};

// A text read from the file, cut to maxTextBytes without splitting a UTF-8 sequence.
std::string cut(std::string text) {
    if (text.size() <= maxTextBytes) return text;
    std::size_t n = maxTextBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
    return text;
}

std::optional<std::string> cut(std::optional<std::string> text) {
    if (text) *text = cut(std::move(*text));
    return text;
}

// The text of a string object, cut like `cut` but never converting more of a long string than
// the cut keeps.
std::optional<std::string> textOf(const PDFObject* object) {
    const std::string* bytes = object ? object->stringData() : nullptr;
    // Every byte (every two bytes after the FE FF mark) gives at least one byte of UTF-8.
    constexpr std::size_t kept = 2 * maxTextBytes + 2;
    if (!bytes || bytes->size() <= kept) return cut(object ? object->text() : std::nullopt);
    std::string head = bytes->substr(0, kept);
    const bool utf16 = static_cast<unsigned char>(head[0]) == 0xFE &&
                       static_cast<unsigned char>(head[1]) == 0xFF;
    // A high surrogate without its low half would not decode.
    if (utf16 && (static_cast<unsigned char>(head[kept - 2]) & 0xFC) == 0xD8) head.resize(kept - 2);
    return cut(PDFObject::string(std::move(head)).text());
}

// The first value of the key along the widget's chain of fields, nearest first.
const PDFObject* inheritedValue(PDFFile& file, const std::vector<const PDFDictionary*>& chain,
                                std::string_view key) {
    for (const PDFDictionary* d : chain)
        if (const PDFObject* v = d->get(key)) return file.resolve(v);
    return nullptr;
}

// The first /AP /N key other than Off: the name of the on state. A single appearance stream
// names no state (its dictionary's keys are no states), as the filler reads it too.
std::string onState(PDFFile& file, const PDFDictionary& widget) {
    const PDFDictionary* ap = file.dictionary(widget.get("AP"));
    const PDFObject* n = ap ? file.resolve(ap->get("N")) : nullptr;
    const PDFDictionary* normal = n && !n->stream() ? n->dictionary() : nullptr;
    if (!normal) return "";
    for (const auto& entry : *normal)
        if (entry.key != "Off") return entry.key;
    return "";
}

// An /Opt entry: a text, or an [export display] pair whose display text is shown.
std::optional<std::string> optionText(PDFFile& file, const PDFObject& entry) {
    const PDFObject* e = file.resolve(&entry);
    if (!e) return std::nullopt;
    if (std::optional<std::string> t = textOf(e)) return t;
    const std::vector<PDFObject>* pair = e->array();
    if (!pair || pair->empty()) return std::nullopt;
    const PDFObject* shown = file.resolve(&pair->back());
    return shown ? textOf(shown) : std::nullopt;
}

void readChoice(PDFFile& file, const std::vector<const PDFDictionary*>& chain, Widget& w) {
    const PDFObject* opt = inheritedValue(file, chain, "Opt");
    const std::vector<PDFObject>* list = opt ? opt->array() : nullptr;
    const PDFObject* v = inheritedValue(file, chain, "V");
    std::optional<std::string> value;
    if (v) {
        value = textOf(v);
        if (!value && v->array())
            for (const PDFObject& element : *v->array()) {
                const PDFObject* e = file.resolve(&element);
                if (e && (value = textOf(e))) break;
            }
    }
    if (list) {
        const std::size_t n = std::min(list->size(), maxOptions);
        std::size_t optionBytes = 0;
        for (std::size_t i = 0; i < n && optionBytes <= maxOptionBytes; ++i) {
            if (std::optional<std::string> text = optionText(file, (*list)[i])) {
                optionBytes += text->size();
                w.options.push_back(std::move(*text));
            }
            // A value that is an option's export text shows as that option's display text.
            const PDFObject* e = file.resolve(&(*list)[i]);
            const std::vector<PDFObject>* pair = e ? e->array() : nullptr;
            if (value && pair && pair->size() >= 2) {
                const PDFObject* exported = file.resolve(&pair->front());
                const PDFObject* shown = file.resolve(&pair->back());
                std::optional<std::string> exportText = exported ? textOf(exported) : std::nullopt;
                std::optional<std::string> shownText = shown ? textOf(shown) : std::nullopt;
                if (exportText && shownText && *exportText == *value) {
                    w.value = *shownText;
                    value.reset();
                }
            }
        }
    }
    if (value) w.value = std::move(*value);
}

// The widget's field, or nothing when it is no fillable widget or cannot be read.
std::optional<Widget> readWidget(PDFFile& file, const PDFDictionary& annotation) {
    const PDFObject* subtype = file.resolve(annotation.get("Subtype"));
    if (!subtype || !subtype->name() || *subtype->name() != "Widget") return std::nullopt;
    std::vector<const PDFDictionary*> chain = PageAnnotation::parentChain(file, &annotation);

    const PDFObject* ft = nullptr;
    for (const PDFDictionary* d : chain) {
        const PDFObject* v = file.resolve(d->get("FT"));
        if (v && v->name()) {
            ft = v;
            break;
        }
    }
    if (!ft) return std::nullopt;
    std::optional<FormField::Kind> kind = FormField::kindFromRawValue(*ft->name());
    if (!kind) return std::nullopt;  // signature fields and unknown types

    Widget w;
    w.kind = *kind;
    const PDFObject* ff = inheritedValue(file, chain, "Ff");
    w.flags = ff && ff->integer() ? *ff->integer() : 0;
    if (w.kind == FormField::Kind::check && (w.flags & pushButtonFlag)) return std::nullopt;

    // The filler's own rectangle test (a direct array of four finite numbers): a widget it would
    // not find is no field here.
    std::optional<Rect> rect = PDFSigner::rect(annotation);
    if (!rect) return std::nullopt;
    w.rect = *rect;
    std::optional<std::string> name = FieldName::fullName(file, &annotation);
    if (!name) return std::nullopt;
    w.name = std::move(*name);

    if (const PDFObject* tu = inheritedValue(file, chain, "TU"))
        if (std::optional<std::string> text = textOf(tu)) {
            std::string cleaned = clean(*text);
            if (!cleaned.empty()) w.tooltip = std::move(cleaned);
        }

    switch (w.kind) {
        case FormField::Kind::text: {
            const PDFObject* maxLen = inheritedValue(file, chain, "MaxLen");
            std::optional<std::int64_t> n = maxLen ? maxLen->integer() : std::nullopt;
            if (n && *n > 0) w.maxLength = static_cast<int>(std::min<std::int64_t>(*n, INT_MAX));
            if (const PDFObject* v = inheritedValue(file, chain, "V"))
                if (std::optional<std::string> text = textOf(v)) w.value = std::move(*text);
            break;
        }
        case FormField::Kind::check:
            w.exportValue = onState(file, annotation);
            break;
        case FormField::Kind::choice:
            readChoice(file, chain, w);
            break;
    }
    return w;
}

struct FixedText {
    Rect rect;
    std::string text;
};

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

// The printed text inside a rectangle followed by the read-only widget texts it meets, the
// higher first and, on one line, right to left.
std::string around(const FormPageText& page, const std::vector<FixedText>& fixed, const Rect& r) {
    std::string out = page.textIn(r);
    std::vector<const FixedText*> inside;
    for (const FixedText& f : fixed)
        if (overlaps(f.rect, r)) inside.push_back(&f);
    std::stable_sort(inside.begin(), inside.end(), [](const FixedText* a, const FixedText* b) {
        if (a->rect.minY() != b->rect.minY()) return a->rect.minY() > b->rect.minY();
        return a->rect.minX() > b->rect.minX();
    });
    for (const FixedText* f : inside) {
        if (f->text.empty()) continue;
        if (!out.empty()) out += ' ';
        out += f->text;
    }
    return out;
}

// The page's text without what its widgets show (the text engine reads their appearances with
// the page; a widget's own value is no printed caption).
FormPageText pageText(PDFFile& file, const PageSource& pages, int index, PDFRef page,
                      const PDFObject* annots) {
    if (index >= pages.pageCount() || !PageGlyphs::readable(file, page)) return {};
    std::optional<PageText> text = pages.text(index);
    if (!text || text->text.empty()) return {};
    std::optional<DisplaySpace> space = DisplaySpace::of(file, page);
    if (!space) return {};
    return FormPageText(*text, *space, FormPageText::coveredBy(file, annots, maxAnnotsPerPage));
}

}  // namespace

std::vector<FormField> fields(PDFFile& file, const PageSource& pages, std::stop_token stop,
                              ReadReport* report, const Progress& found) {
    const std::vector<PDFRef> refs = file.pageRefs(stop);
    const detail::Clock::time_point deadline = detail::Clock::now() + readingTimeLimit(refs.size());
    std::vector<FormField> result;
    ReadReport local;
    local.pageCount = static_cast<int>(refs.size());
    // Past the deadline the widgets of the remaining pages are still read, which costs little,
    // but without the page text around them.
    bool late = false;
    // A widget lies on one page, the first that lists it: an /Annots array that several pages
    // share is read on the first, and an annotation listed again on a later page is left there.
    std::unordered_set<const PDFObject*> read;
    std::unordered_set<std::int64_t> listed;
    std::size_t textBytes = 0;  // tool tips, values and options kept so far
    std::optional<int> partial;  // the first page whose widgets the field cap cut
    for (std::size_t i = 0; i < refs.size() && result.size() < maxFields; ++i) {
        if (stop.stop_requested()) {
            local.stopped = true;
            break;
        }
        if (!late && detail::Clock::now() >= deadline) {
            late = true;
            local.stopped = true;
        }
        if (!late) local.pagesRead = static_cast<int>(i) + 1;
        const PDFObject* annots = PageAnnotation::annotsOf(file, refs[i]);
        if (!annots || !annots->array() || !read.insert(annots).second) continue;
        const std::vector<PDFObject>& list = *annots->array();

        std::vector<Widget> widgets;
        const std::size_t n = std::min(list.size(), maxAnnotsPerPage);
        std::size_t k = 0;
        for (; k < n && result.size() + widgets.size() < maxFields; ++k) {
            // As the filler takes them: an annotation object (by reference), not a stream.
            if (!list[k].reference() || !listed.insert(list[k].reference()->number).second)
                continue;
            const PDFObject* object = file.resolve(&list[k]);
            const PDFDictionary* annotation =
                object && !object->stream() ? object->dictionary() : nullptr;
            if (!annotation) continue;
            if (std::optional<Widget> w = readWidget(file, *annotation)) {
                std::size_t bytes = w->value.size() + (w->tooltip ? w->tooltip->size() : 0);
                for (const std::string& option : w->options) bytes += option.size();
                if (bytes > maxDocumentTextBytes - textBytes) {
                    w->value.clear();
                    w->tooltip.reset();
                    w->options.clear();
                } else {
                    textBytes += bytes;
                }
                widgets.push_back(std::move(*w));
            }
        }
        // The field cap, or the page's own, left widgets of this page unread.
        if ((k < n || list.size() > maxAnnotsPerPage) && !partial) {
            local.cut = true;
            partial = static_cast<int>(i);
        }
        if (widgets.empty()) continue;

        const int pageIndex = static_cast<int>(i);
        const FormPageText text =
            late ? FormPageText() : pageText(file, pages, pageIndex, refs[i], annots);
        const std::vector<FormTitle> titles = headings(text);
        std::vector<FixedText> fixed;
        for (const Widget& w : widgets)
            if ((w.flags & readOnlyFlag) && w.kind == FormField::Kind::text && !w.value.empty())
                fixed.push_back({w.rect, clean(w.value)});
        const TextSource source = [&](const Rect& r) { return around(text, fixed, r); };

        for (Widget& w : widgets) {
            FormField field;
            field.id = static_cast<int>(result.size()) + 1;
            field.pageIndex = pageIndex;
            field.name = std::move(w.name);
            field.kind = w.kind;
            field.rect = w.rect;
            field.maxLength = w.maxLength;
            field.comb = w.kind == FormField::Kind::text && (w.flags & combFlag);
            field.options = std::move(w.options);
            field.exportValue = std::move(w.exportValue);
            field.tooltip = std::move(w.tooltip);
            field.value = w.kind == FormField::Kind::check ? "" : clean(w.value);
            field.readOnly = (w.flags & readOnlyFlag) != 0;
            describe(field, source, titles);
            result.push_back(std::move(field));
        }
        if (found) found(result.size());
    }
    if (result.size() >= maxFields && local.pagesRead < local.pageCount && !partial) {
        local.cut = true;
        partial = local.pagesRead;
    }
    local.pagesWhole = std::min(partial.value_or(local.pagesRead), local.pagesRead);
    if (result.empty() && !local.stopped) {
        local = {};
        result = detail::drawnFields(file, refs, pages, stop, deadline, local, found);
    }
    if (report) *report = local;
    return result;
}

std::vector<FormField> fields(PDFFile& file, const PageSource& pages) {
    return fields(file, pages, std::stop_token());
}

std::vector<FormField> fields(PDFFile& file) {
    std::unique_ptr<PageProcess> pages = PageProcess::open(file.bytes());
    if (!pages) return fields(file, NoPages());
    // No page too heavy to draw is drawn for its ink.
    GuardedPages guarded(*pages, file);
    return fields(file, guarded);
}

}  // namespace FormReader
