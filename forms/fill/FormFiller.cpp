#include "forms/fill/FormFiller.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "forms/fill/PDFSignerText.h"
#include "forms/reader/FieldName.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFSecurity.h"
#include "pdf/PDFUpdate.h"
#include "signing/PDFSigner.h"
#include "signing/Rendering.h"

namespace {

// Fills and widgets whose rectangles differ by less than this in each of x, y, width and height
// (points) are the same place.
constexpr double kMatchTolerance = 2.0;
// Field flags.
constexpr std::int64_t kPushButtonFlag = 1 << 16;
constexpr std::int64_t kRadioFlag = 1 << 15;
constexpr std::int64_t kMultilineFlag = PDFSignerText::multilineFlag;
// Drawn boxes this high or higher take several lines.
constexpr double kMultilineHeight = 28;
constexpr double kDefaultDrawnSize = 10;

const char* const kMissingCatalog = "No se encuentra el catálogo del PDF";
const char* const kDamagedForm = "El formulario del PDF está dañado y no se puede rellenar.";
const char* const kDamagedAnnotations =
    "Las anotaciones de la página del PDF están dañadas y no se puede rellenar.";

PDFObject ref(PDFRef r) {
    return PDFObject::reference(r);
}

std::optional<std::string> textOf(PDFFile& file, const PDFObject* value) {
    const PDFObject* resolved = value ? file.resolve(value) : nullptr;
    return resolved ? resolved->text() : std::nullopt;
}

// The inheritable field attributes handed from a field to its kids.
struct Inherited {
    std::optional<std::string> type;
    std::int64_t flags = 0;
    std::int64_t maxLength = 0;
    std::optional<std::string> da;
    std::int64_t q = 0;
};

// The first state other than Off of the widget's /AP /N (or of another appearance: /D).
std::optional<std::string> onStateOf(PDFFile& file, const PDFDictionary& widget,
                                     std::string_view appearance = "N") {
    const PDFDictionary* appearances = file.dictionary(widget.get("AP"));
    const PDFObject* normal = appearances ? file.resolve(appearances->get(appearance)) : nullptr;
    if (!normal || !normal->dictionary() || normal->stream()) return std::nullopt;
    for (const auto& [key, value] : *normal->dictionary())
        if (key != "Off") return key;
    return std::nullopt;
}

class Collector {
public:
    explicit Collector(PDFFile& file) : file_(file) {
        const std::vector<PDFRef> pages = file.pageRefs();
        for (std::size_t i = 0; i < pages.size(); ++i)
            pageIndex_.try_emplace(pages[i], static_cast<std::int64_t>(i));
        mapAnnotations(pages);
    }

    std::vector<FormFiller::Widget> collect() {
        const PDFDictionary* catalog = file_.catalog();
        const PDFDictionary* acroForm =
            catalog ? file_.dictionary(catalog->get("AcroForm")) : nullptr;
        const PDFObject* fields = acroForm ? file_.resolve(acroForm->get("Fields")) : nullptr;
        if (fields && fields->array()) visit(*fields->array(), "", Inherited{}, 0);
        return std::move(widgets_);
    }

private:
    // Object number of every annotation listed in a page's /Annots to that page's index. An
    // annotation lies on one page: the first that lists it, as the form reader reads it, also
    // when several pages share one /Annots array (read once, for its first page).
    void mapAnnotations(const std::vector<PDFRef>& pages) {
        std::unordered_set<const PDFObject*> read;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const PDFDictionary* page = file_.dictionary(file_.object(pages[i]));
            const PDFObject* annots = page ? file_.resolve(page->get("Annots")) : nullptr;
            if (!annots || !annots->array() || !read.insert(annots).second) continue;
            const auto index = static_cast<std::int64_t>(i);
            for (const auto& entry : *annots->array())
                if (auto r = entry.reference()) annotationPage_.try_emplace(r->number, index);
        }
    }

    void visit(const std::vector<PDFObject>& list, const std::string& prefix,
               const Inherited& inherited, int depth) {
        if (depth >= FormFiller::maxDepth) return;
        for (const PDFObject& entry : list) {
            if (++visits_ > FormFiller::maxFieldEntries) return;
            auto fieldRef = entry.reference();
            if (!fieldRef) continue;
            // A stream is no field (rewriting it as a dictionary would lose its data).
            const PDFObject* object = file_.resolve(&entry);
            const PDFDictionary* field =
                object && !object->stream() ? object->dictionary() : nullptr;
            if (!field) continue;

            const auto partial = textOf(file_, field->get("T"));
            std::string name = !partial         ? prefix
                               : prefix.empty() ? *partial
                                                : prefix + "." + *partial;
            // Every name below this one is longer still: none of them can be read.
            if (name.size() > FieldName::maxBytes) continue;

            Inherited own = inherited;
            if (const PDFObject* v = field->get("FT"); v && v->name()) own.type = *v->name();
            if (const PDFObject* v = field->get("Ff"); v && v->integer()) own.flags = *v->integer();
            if (const PDFObject* v = file_.resolve(field->get("MaxLen")); v && v->integer())
                own.maxLength = *v->integer();
            if (auto v = textOf(file_, field->get("DA"))) own.da = std::move(*v);
            if (const PDFObject* v = field->get("Q"); v && v->integer()) own.q = *v->integer();

            static const std::vector<PDFObject> none;
            const PDFObject* kidsObject = file_.resolve(field->get("Kids"));
            const std::vector<PDFObject>* kids =
                kidsObject && kidsObject->array() ? kidsObject->array() : &none;
            // A /Kids array shared by several fields is gone through once.
            if (!kids->empty() && !seenKids_.insert(kids).second) continue;

            std::vector<PDFObject> children;
            std::vector<const PDFObject*> widgetObjects;
            for (const PDFObject& kid : *kids) {
                const PDFDictionary* kidDictionary = file_.dictionary(&kid);
                if (kidDictionary && kidDictionary->contains("T"))
                    children.push_back(kid);
                else
                    widgetObjects.push_back(&kid);
            }
            if (!children.empty()) {
                visit(children, name, own, depth + 1);
                continue;
            }
            const bool text = own.type == "Tx" || own.type == "Ch";
            const bool button = own.type == "Btn" && (own.flags & kPushButtonFlag) == 0;
            if (!text && !button) continue;
            if (kids->empty()) widgetObjects.push_back(&entry);
            for (const PDFObject* widget : widgetObjects) add(*fieldRef, *widget, own, button);
        }
    }

    void add(PDFRef fieldRef, const PDFObject& widgetObject, const Inherited& attributes,
             bool button) {
        auto widgetRef = widgetObject.reference();
        if (!widgetRef) return;
        const PDFObject* resolved = file_.resolve(&widgetObject);
        const PDFDictionary* widget =
            resolved && !resolved->stream() ? resolved->dictionary() : nullptr;
        if (!widget) return;
        auto rect = PDFSigner::rect(*widget);
        if (!rect) return;
        // The reader's name function: the reader's fields and the filler's widgets carry the
        // same names.
        auto name = FieldName::fullName(file_, widget);
        if (!name) return;

        FormFiller::Widget out;
        out.fieldRef = fieldRef;
        out.widgetRef = *widgetRef;
        out.name = std::move(*name);
        out.rect = *rect;
        out.flags = attributes.flags;
        out.maxLength = attributes.maxLength;
        if (attributes.da) {
            auto own = textOf(file_, widget->get("DA"));
            out.fontSize = PDFSignerText::fontSize(own ? *own : *attributes.da).value_or(0);
        }
        out.pageIndex = pageOf(*widgetRef, *widget);
        const PDFObject* q = widget->get("Q");
        out.alignment = q && q->integer() ? *q->integer() : attributes.q;
        if (button) {
            out.button = true;
            out.onState = onStateOf(file_, *widget);
        }
        widgets_.push_back(std::move(out));
    }

    std::optional<std::int64_t> pageOf(PDFRef widgetRef, const PDFDictionary& widget) {
        if (const PDFObject* p = widget.get("P"); p && p->reference()) {
            if (auto found = pageIndex_.find(*p->reference()); found != pageIndex_.end())
                return found->second;
        }
        if (auto found = annotationPage_.find(widgetRef.number); found != annotationPage_.end())
            return found->second;
        return std::nullopt;
    }

    PDFFile& file_;
    std::unordered_map<PDFRef, std::int64_t> pageIndex_;
    std::unordered_map<std::int64_t, std::int64_t> annotationPage_;
    std::unordered_set<const std::vector<PDFObject>*> seenKids_;
    std::int64_t visits_ = 0;
    std::vector<FormFiller::Widget> widgets_;
};

Rect normalised(const Rect& r) {
    return Rect{std::min(r.x, r.x + r.width), std::min(r.y, r.y + r.height), std::abs(r.width),
                std::abs(r.height)};
}

bool samePlace(const Rect& a, const Rect& b) {
    return std::abs(a.minX() - b.minX()) < kMatchTolerance &&
           std::abs(a.minY() - b.minY()) < kMatchTolerance &&
           std::abs(a.width - b.width) < kMatchTolerance &&
           std::abs(a.height - b.height) < kMatchTolerance;
}

// The normal appearance of a text widget showing `text`, or nothing.
std::optional<PDFRef> appearance(const std::string& text, const FormFiller::Widget& widget,
                                 std::optional<PDFRef> page, PDFFile& file, PDFUpdate& update) {
    PDFSigner::Render render = [&](Size box) -> std::optional<PDFSigner::Appearance> {
        auto pdf = PDFSignerText::render(text, box, widget);
        if (!pdf) return std::nullopt;
        return PDFSigner::Appearance::pdf(std::move(*pdf));
    };
    return PDFSigner::addAppearance(widget.rect, page, file, update, render,
                                    PDFSigner::AppearanceContent::textField);
}

// One fill call's work: the update and the latest edited copies of field and widget objects.
class Filling {
public:
    explicit Filling(PDFFile& file) : file_(file), update_(file), pages_(file.pageRefs()) {}

    void fillFields(const std::vector<const FormFill*>& fills) {
        widgets_ = FormFiller::collect(file_);
        for (std::size_t i = 0; i < widgets_.size(); ++i) {
            byName_[widgets_[i].name].push_back(i);
            if (widgets_[i].button) byField_[widgets_[i].fieldRef].push_back(i);
        }
        for (const auto& [field, indices] : byField_) nameMissingStates(indices);
        for (const FormFill* fill : fills) {
            const FormFiller::Widget& widget = match(*fill);
            if (widget.button)
                check(widget, !fill->text.empty());
            else
                write(widget, fill->text);
        }
        for (auto& [r, dictionary] : pendingFields_)
            update_.set(r, PDFObject::dictionary(dictionary));
        for (auto& [r, dictionary] : pendingWidgets_)
            update_.set(r, PDFObject::dictionary(dictionary));
    }

    void addDrawn(const std::vector<const FormFill*>& fills);

    std::string finish() { return update_.write().data; }

private:
    const FormFiller::Widget& match(const FormFill& fill) {
        auto found = byName_.find(fill.name);
        if (found == byName_.end()) throw FormFiller::Failure::fieldNotFound(fill.name);
        const std::vector<std::size_t>& candidates = found->second;
        const Rect wanted = normalised(fill.rect);
        const FormFiller::Widget* chosen = nullptr;
        for (std::size_t index : candidates) {
            const FormFiller::Widget& widget = widgets_[index];
            if ((!widget.pageIndex || *widget.pageIndex == fill.pageIndex) &&
                samePlace(widget.rect, wanted)) {
                chosen = &widget;
                break;
            }
        }
        if (!chosen && candidates.size() == 1) chosen = &widgets_[candidates.front()];
        if (!chosen) throw FormFiller::Failure::fieldNotFound(fill.name);
        return *chosen;
    }

    PDFDictionary& fieldDictionary(PDFRef r) {
        auto found = pendingFields_.find(r);
        if (found != pendingFields_.end()) return found->second;
        const PDFDictionary* original = file_.dictionary(file_.object(r));
        return pendingFields_.emplace(r, original ? *original : PDFDictionary()).first->second;
    }

    // The latest copy of a widget: its field's copy when the two are one dictionary.
    PDFDictionary& widgetDictionary(const FormFiller::Widget& widget) {
        if (widget.widgetRef == widget.fieldRef) return fieldDictionary(widget.fieldRef);
        auto found = pendingWidgets_.find(widget.widgetRef);
        if (found != pendingWidgets_.end()) return found->second;
        const PDFDictionary* original = file_.dictionary(file_.object(widget.widgetRef));
        return pendingWidgets_.emplace(widget.widgetRef, original ? *original : PDFDictionary())
            .first->second;
    }

    void write(const FormFiller::Widget& widget, const std::string& text) {
        fieldDictionary(widget.fieldRef).set("V", PDFObject::text(text));
        std::optional<PDFRef> page;
        if (widget.pageIndex && *widget.pageIndex >= 0 &&
            static_cast<std::size_t>(*widget.pageIndex) < pages_.size())
            page = pages_[static_cast<std::size_t>(*widget.pageIndex)];
        auto form = appearance(text, widget, page, file_, update_);
        if (!form) return;
        widgetDictionary(widget).set("AP", PDFObject::dictionary(PDFDictionary{{"N", ref(*form)}}));
    }

    // Gives an on-state to the button widgets of one field that name none (a single appearance
    // stream, or none): a check box takes the state of its field's other widgets, else the one its
    // down appearance names, else "Yes"; a radio button a name no other button of its field has.
    void nameMissingStates(const std::vector<std::size_t>& indices) {
        std::unordered_set<std::string> taken;
        std::optional<std::string> shared;
        std::size_t next = 1;  // the numbers of made radio states go on rising: no rescans
        for (std::size_t index : indices)
            if (const auto& state = widgets_[index].onState) {
                taken.insert(*state);
                if (!shared) shared = *state;
            }
        for (std::size_t index : indices) {
            FormFiller::Widget& widget = widgets_[index];
            if (widget.onState) continue;
            const PDFDictionary* dictionary = file_.dictionary(file_.object(widget.widgetRef));
            std::optional<std::string> down =
                dictionary ? onStateOf(file_, *dictionary, "D") : std::nullopt;
            std::string state = down ? *down : "Yes";
            if (widget.flags & kRadioFlag) {
                while (taken.contains(state)) state = "Yes" + std::to_string(next++);
            } else if (shared) {
                state = *shared;
            }
            taken.insert(state);
            if (!shared && !(widget.flags & kRadioFlag)) shared = state;
            widget.onState = std::move(state);
            widget.madeState = true;
        }
    }

    // Shows a widget in its on-state: its /AS, and for a state it did not have, a normal
    // appearance of that state (the widget's old look with a cross over it) beside its old one
    // as Off.
    void showOn(const FormFiller::Widget& widget) {
        PDFDictionary& dictionary = widgetDictionary(widget);
        dictionary.set("AS", PDFObject::name(*widget.onState));
        if (!widget.madeState || !drawnOn_.insert(widget.widgetRef).second) return;
        const PDFObject* apValue = dictionary.get("AP");
        const PDFDictionary* oldAppearances = file_.dictionary(apValue);
        PDFDictionary appearances = oldAppearances ? *oldAppearances : PDFDictionary();
        const PDFObject* normalValue = appearances.get("N");
        const PDFObject* normal = file_.resolve(normalValue);
        std::optional<PDFRef> old;
        if (normalValue && normalValue->reference() && normal && normal->stream())
            old = *normalValue->reference();
        PDFDictionary states;
        if (normal && normal->dictionary() && !normal->stream()) states = *normal->dictionary();
        states.set(*widget.onState,
                   ref(crossAppearance(widget, old, old ? normal->stream() : nullptr)));
        if (old) states.set("Off", ref(*old));
        appearances.set("N", PDFObject::dictionary(std::move(states)));
        dictionary.set("AP", PDFObject::dictionary(std::move(appearances)));
    }

    // A form XObject showing the old appearance (when there is one) with a cross from corner to
    // corner, in the old appearance's own space so that viewers fit both alike.
    PDFRef crossAppearance(const FormFiller::Widget& widget, std::optional<PDFRef> old,
                           const PDFStream* oldStream) {
        Rect box{0, 0, widget.rect.width, widget.rect.height};
        if (auto shown = shownBox(oldStream)) box = *shown;
        const double side = std::min(box.width, box.height);
        const double inset = side * 0.2;
        auto n = [](double v) { return PDFObject::real(v); };
        std::string content;
        PDFDictionary resources;
        if (old) {
            content += "q /Tindra0 Do Q\n";
            resources.set("XObject", PDFObject::dictionary(PDFDictionary{{"Tindra0", ref(*old)}}));
        }
        auto number = [](double v) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.3f", v);
            return std::string(buffer);
        };
        const double x0 = box.minX() + inset, x1 = box.maxX() - inset;
        const double y0 = box.minY() + inset, y1 = box.maxY() - inset;
        content += "q 0 G " + number(std::max(side * 0.1, 0.5)) + " w 1 J " + number(x0) + " " +
                   number(y0) + " m " + number(x1) + " " + number(y1) + " l " + number(x0) + " " +
                   number(y1) + " m " + number(x1) + " " + number(y0) + " l S Q\n";
        PDFDictionary form{{"Type", PDFObject::name("XObject")},
                           {"Subtype", PDFObject::name("Form")},
                           {"BBox", PDFObject::array({n(box.minX()), n(box.minY()), n(box.maxX()),
                                                      n(box.maxY())})},
                           {"Resources", PDFObject::dictionary(std::move(resources))}};
        const PDFRef r = update_.allocate();
        update_.set(r, PDFObject::stream(std::move(form), std::move(content)));
        return r;
    }

    // The box a form XObject covers: its /BBox through its /Matrix; nothing when either is
    // unreadable or the box is empty.
    std::optional<Rect> shownBox(const PDFStream* stream) {
        if (!stream) return std::nullopt;
        auto numbers = [&](const char* key, std::size_t count) -> std::optional<std::vector<double>> {
            const PDFObject* value = file_.resolve(stream->dictionary.get(key));
            if (!value || !value->array() || value->array()->size() != count) return std::nullopt;
            std::vector<double> out;
            for (const PDFObject& e : *value->array()) {
                auto v = e.number();
                if (!v || !std::isfinite(*v)) return std::nullopt;
                out.push_back(*v);
            }
            return out;
        };
        auto bbox = numbers("BBox", 4);
        if (!bbox) return std::nullopt;
        std::vector<double> m = numbers("Matrix", 6).value_or(std::vector<double>{1, 0, 0, 1, 0, 0});
        double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
        for (double x : {(*bbox)[0], (*bbox)[2]})
            for (double y : {(*bbox)[1], (*bbox)[3]}) {
                const double tx = m[0] * x + m[2] * y + m[4];
                const double ty = m[1] * x + m[3] * y + m[5];
                minX = std::min(minX, tx), maxX = std::max(maxX, tx);
                minY = std::min(minY, ty), maxY = std::max(maxY, ty);
            }
        if (!(maxX - minX > 0) || !(maxY - minY > 0) || !std::isfinite(maxX - minX) ||
            !std::isfinite(maxY - minY))
            return std::nullopt;
        return Rect{minX, minY, maxX - minX, maxY - minY};
    }

    // A check box or radio button: its on-state (the field's other widgets off) or off.
    void check(const FormFiller::Widget& widget, bool on) {
        const std::string& state = *widget.onState;
        PDFDictionary& field = fieldDictionary(widget.fieldRef);
        if (on) {
            field.set("V", PDFObject::name(state));
            for (std::size_t index : byField_[widget.fieldRef]) {
                const FormFiller::Widget& other = widgets_[index];
                if (other.widgetRef == widget.widgetRef) continue;
                if (other.onState && *other.onState == state)
                    showOn(other);
                else
                    widgetDictionary(other).set("AS", PDFObject::name("Off"));
            }
            showOn(widget);
            return;
        }
        // Cleared: the value goes off unless it names another button of the field (a radio
        // choice made by another fill stays).
        const PDFObject* value = fieldDictionary(widget.fieldRef).get("V");
        const std::string* current = value ? value->name() : nullptr;
        if (!current || *current == state || *current == "Off")
            fieldDictionary(widget.fieldRef).set("V", PDFObject::name("Off"));
        widgetDictionary(widget).set("AS", PDFObject::name("Off"));
    }

    PDFFile& file_;
    PDFUpdate update_;
    std::vector<PDFRef> pages_;
    std::vector<FormFiller::Widget> widgets_;
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;
    std::unordered_map<PDFRef, std::vector<std::size_t>> byField_;
    std::map<PDFRef, PDFDictionary> pendingFields_;
    std::map<PDFRef, PDFDictionary> pendingWidgets_;
    std::unordered_set<PDFRef> drawnOn_;  // widgets given an appearance of a made state
};

void Filling::addDrawn(const std::vector<const FormFill*>& fills) {
    const auto catalogRef = file_.catalogRef();
    const PDFDictionary* catalogPointer = file_.catalog();
    if (!catalogRef || !catalogPointer) throw PDFError(kMissingCatalog);
    PDFDictionary catalog = *catalogPointer;

    const PDFObject* acroFormValue = catalog.get("AcroForm");
    const PDFObject* acroFormObject =
        file_.expect(acroFormValue, PDFObject::Kind::dictionary, kDamagedForm);
    PDFDictionary acroForm = acroFormObject ? *acroFormObject->dictionary() : PDFDictionary();
    const PDFObject* fieldsValue = acroForm.get("Fields");
    const PDFObject* fieldsObject =
        file_.expect(fieldsValue, PDFObject::Kind::array, kDamagedForm);
    std::vector<PDFObject> fields =
        fieldsObject ? *fieldsObject->array() : std::vector<PDFObject>();
    // A reference to a missing object is replaced by a direct value, never defined afresh: its
    // number could be one the update hands out.
    const std::optional<PDFRef> fieldsRef = fieldsObject ? fieldsValue->reference() : std::nullopt;
    const std::optional<PDFRef> acroFormRef =
        acroFormObject ? acroFormValue->reference() : std::nullopt;

    std::unordered_set<std::string> taken;
    for (const PDFObject& entry : fields) {
        const PDFDictionary* dictionary = file_.dictionary(&entry);
        if (!dictionary) continue;
        if (auto name = textOf(file_, dictionary->get("T"))) taken.insert(std::move(*name));
    }

    std::int64_t counter = 0;
    std::map<std::size_t, std::vector<PDFObject>> newAnnotations;  // by page index
    for (const FormFill* fill : fills) {
        if (fill->pageIndex < 0 || static_cast<std::uint64_t>(fill->pageIndex) >= pages_.size())
            throw PDFError("No se encuentra la página del campo «" + fill->text + "».");
        const auto pageIndex = static_cast<std::size_t>(fill->pageIndex);
        const PDFRef pageRef = pages_[pageIndex];
        std::string name;
        do {
            name = "Tindra" + std::to_string(++counter);
        } while (taken.count(name));

        const PDFRef widgetRef = update_.allocate();
        const Rect rect = normalised(fill->rect);
        const std::int64_t flags = rect.height >= kMultilineHeight ? kMultilineFlag : 0;
        // Sizes beyond the largest page cannot show a line; this also keeps the /DA integer sane.
        double size = std::clamp(fill->size.value_or(kDefaultDrawnSize), -Rendering::maxSize,
                                 Rendering::maxSize);
        if (!std::isfinite(size)) size = kDefaultDrawnSize;
        const std::int64_t quadding = fill->centered == true ? 1 : 0;
        PDFDictionary widget{
            {"Type", PDFObject::name("Annot")},
            {"Subtype", PDFObject::name("Widget")},
            {"FT", PDFObject::name("Tx")},
            {"T", PDFObject::text(name)},
            {"V", PDFObject::text(fill->text)},
            {"Ff", PDFObject::integer(flags)},
            {"F", PDFObject::integer(4)},
            {"Rect",
             PDFObject::array({PDFObject::real(rect.minX()), PDFObject::real(rect.minY()),
                               PDFObject::real(rect.maxX()), PDFObject::real(rect.maxY())})},
            {"P", ref(pageRef)},
            {"DA", PDFObject::string("/Helv " +
                                     std::to_string(static_cast<std::int64_t>(std::round(size))) +
                                     " Tf 0 g")},
            {"Q", PDFObject::integer(quadding)}};

        FormFiller::Widget described;
        described.fieldRef = widgetRef;
        described.widgetRef = widgetRef;
        described.name = name;
        described.pageIndex = fill->pageIndex;
        described.rect = rect;
        described.flags = flags;
        described.fontSize = size;
        described.alignment = quadding;
        if (auto form = appearance(fill->text, described, pageRef, file_, update_))
            widget.set("AP", PDFObject::dictionary(PDFDictionary{{"N", ref(*form)}}));
        update_.set(widgetRef, PDFObject::dictionary(std::move(widget)));
        fields.push_back(ref(widgetRef));
        newAnnotations[pageIndex].push_back(ref(widgetRef));
    }

    // Pages (or /Annots arrays) shared by several pages collect every new widget before they are
    // written, so none is lost from a later rewrite.
    std::map<PDFRef, std::vector<PDFObject>> annotsArrays;
    std::map<PDFRef, PDFDictionary> pageDictionaries;
    std::vector<std::pair<bool, PDFRef>> writeOrder;  // (is an /Annots array, reference)
    for (auto& [pageIndex, added] : newAnnotations) {
        const PDFRef pageRef = pages_[pageIndex];
        const PDFDictionary* pageDictionary = file_.dictionary(file_.object(pageRef));
        if (!pageDictionary)
            throw PDFError("No se encuentra la página " + std::to_string(pageIndex + 1) + ".");
        const PDFObject* annotsValue = pageDictionary->get("Annots");
        const PDFObject* annotsObject =
            file_.expect(annotsValue, PDFObject::Kind::array, kDamagedAnnotations);
        if (auto annotsRef = annotsObject ? annotsValue->reference() : std::nullopt) {
            auto [entry, first] = annotsArrays.try_emplace(*annotsRef, *annotsObject->array());
            if (first) writeOrder.emplace_back(true, *annotsRef);
            entry->second.insert(entry->second.end(), added.begin(), added.end());
            continue;
        }
        auto [entry, first] = pageDictionaries.try_emplace(pageRef, *pageDictionary);
        if (first) writeOrder.emplace_back(false, pageRef);
        PDFDictionary& page = entry->second;
        // The page's copy may already hold this call's widgets (a page listed twice).
        std::vector<PDFObject> annots;
        if (const PDFObject* current = page.get("Annots"); current && current->array())
            annots = *current->array();
        else if (annotsObject)
            annots = *annotsObject->array();
        annots.insert(annots.end(), added.begin(), added.end());
        page.set("Annots", PDFObject::array(std::move(annots)));
    }
    for (const auto& [isArray, r] : writeOrder) {
        if (isArray)
            update_.set(r, PDFObject::array(annotsArrays[r]));
        else
            update_.set(r, PDFObject::dictionary(pageDictionaries[r]));
    }

    if (!acroForm.contains("DR")) {
        PDFDictionary helvetica{{"Type", PDFObject::name("Font")},
                                {"Subtype", PDFObject::name("Type1")},
                                {"BaseFont", PDFObject::name("Helvetica")},
                                {"Encoding", PDFObject::name("WinAnsiEncoding")}};
        acroForm.set("DR", PDFObject::dictionary(PDFDictionary{
                               {"Font", PDFObject::dictionary(PDFDictionary{
                                            {"Helv", PDFObject::dictionary(helvetica)}})}}));
    }
    if (fieldsRef)
        update_.set(*fieldsRef, PDFObject::array(std::move(fields)));
    else
        acroForm.set("Fields", PDFObject::array(std::move(fields)));
    if (acroFormRef) {
        update_.set(*acroFormRef, PDFObject::dictionary(std::move(acroForm)));
    } else {
        catalog.set("AcroForm", PDFObject::dictionary(std::move(acroForm)));
        update_.set(*catalogRef, PDFObject::dictionary(std::move(catalog)));
    }
}

}  // namespace

FormFiller::Failure FormFiller::Failure::fieldNotFound(const std::string& name) {
    return Failure(Kind::fieldNotFound, "No se encuentra el campo «" + name + "» para rellenarlo.",
                   name);
}

std::vector<FormFiller::Widget> FormFiller::collect(PDFFile& file) {
    return Collector(file).collect();
}

std::string FormFiller::fill(std::string pdf, const std::vector<FormFill>& fills) {
    if (fills.empty()) return pdf;
    PDFFile file(std::move(pdf));
    if (file.security() && !file.security()->allowsSigning())
        throw PDFSigner::Failure::restricted();
    std::vector<const FormFill*> existing;
    std::vector<const FormFill*> drawn;
    for (const FormFill& fill : fills) (fill.drawn == true ? drawn : existing).push_back(&fill);

    Filling filling(file);
    filling.fillFields(existing);
    if (!drawn.empty()) filling.addDrawn(drawn);
    return filling.finish();
}
