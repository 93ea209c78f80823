#include "signing/PDFSigner.h"

#include "pdf/PDFError.h"
#include "pdf/PDFFileLimits.h"
#include "pdf/PDFSecurity.h"
#include "platform/AtomicFile.h"
#include "platform/FileData.h"
#include "signing/Digest.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <unordered_set>

namespace {

// Page-tree nodes walked between two releases of the pages of a mapped input. Each node read
// leaves its object and some tens of kilobytes around it resident; a release every few dozen
// nodes costs little (one madvise) and keeps that to a few megabytes whatever the file's size.
constexpr std::size_t kReleaseNodes = 64;
// Field-tree nodes deeper than this are not examined.
constexpr int kMaxFieldDepth = 31;
// Field-tree entries examined in one search: a hostile tree that shares nodes or long /Kids
// arrays between many parents must not make the depth-first walk exponential.
constexpr int kMaxFieldVisits = 100000;
// Bytes of full field names built in one search: long partial names repeated down a shared tree
// must not cost more than this.
constexpr std::size_t kMaxFieldNameBytes = std::size_t(1) << 24;
// /Parent links followed to find a field's inherited /FT.
constexpr int kMaxParentLinks = 32;

const char* const kMissingCatalog = "No se encuentra el catálogo del PDF";
const char* const kDamagedForm = "El formulario del PDF está dañado y no se puede firmar.";
const char* const kDamagedAnnotations =
    "Las anotaciones de la página del PDF están dañadas y no se puede firmar.";

PDFObject ref(PDFRef r) { return PDFObject::reference(r); }

std::string canonical(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString normalized = nfc->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return text;
    std::string out;
    normalized.toUTF8String(out);
    return out;
}

std::optional<std::string> textOf(PDFFile& file, const PDFObject* value) {
    const PDFObject* resolved = value ? file.resolve(value) : nullptr;
    return resolved ? resolved->text() : std::nullopt;
}

struct FoundField {
    PDFRef field;
    PDFRef widget;
};

struct FieldSearch {
    PDFFile& file;
    std::string wanted;  // NFC
    int visits = 0;
    std::size_t nameBytes = 0;
};

std::optional<FoundField> visit(FieldSearch& search, const std::vector<PDFObject>& nodes,
                                const std::string& prefix, int depth) {
    if (depth > kMaxFieldDepth) return std::nullopt;
    PDFFile& file = search.file;
    for (const auto& node : nodes) {
        if (++search.visits > kMaxFieldVisits) return std::nullopt;
        auto nodeRef = node.reference();
        if (!nodeRef) continue;
        const PDFObject* object = file.resolve(&node);
        const PDFDictionary* dictionary = object ? object->dictionary() : nullptr;
        if (!dictionary || object->stream()) continue;
        auto partial = textOf(file, dictionary->get("T"));
        search.nameBytes += prefix.size() + (partial ? partial->size() + 1 : 0);
        if (search.nameBytes > kMaxFieldNameBytes) return std::nullopt;
        std::string full = !partial ? prefix : prefix.empty() ? *partial : prefix + "." + *partial;
        const PDFObject* kidsValue = dictionary->get("Kids");
        const PDFObject* kids = kidsValue ? file.resolve(kidsValue) : nullptr;
        if (partial && canonical(full) == search.wanted) {
            FoundField found{*nodeRef, *nodeRef};
            if (kids && kids->array()) {
                for (const auto& kid : *kids->array()) {
                    const PDFDictionary* kidDictionary = file.dictionary(&kid);
                    if (!kidDictionary || !kidDictionary->contains("T")) {
                        found.widget = kid.reference() ? *kid.reference() : *nodeRef;
                        break;
                    }
                }
            }
            return found;
        }
        if (kids && kids->array() && !kids->array()->empty()) {
            if (auto result = visit(search, *kids->array(), full, depth + 1)) return result;
        }
    }
    return std::nullopt;
}

std::optional<FoundField> findField(const std::string& name, PDFFile& file,
                                    const std::vector<PDFObject>& fields) {
    FieldSearch search{file, canonical(name)};
    return visit(search, fields, "", 0);
}

std::string uniqueFieldName(PDFFile& file, const std::vector<PDFObject>& fields) {
    std::unordered_set<std::string> names;
    for (const auto& entry : fields) {
        const PDFDictionary* dictionary = file.dictionary(&entry);
        if (!dictionary) continue;
        if (auto name = textOf(file, dictionary->get("T"))) names.insert(*name);
    }
    for (std::int64_t n = 1;; ++n) {
        std::string candidate = "Signature" + std::to_string(n);
        if (!names.count(candidate)) return candidate;
    }
}

// The page at a 0-based index: file.pageRefs()[index], found by the same walk stopped at that
// page. Signing on the first page of a long document
// then reads the start of the page tree only, not every page object spread over the file. When
// the file is read from `map`, the map's pages are let go every kReleaseNodes nodes, so that a
// walk to a late page does not leave the whole file resident.
std::optional<PDFRef> pageAt(PDFFile& file, std::size_t index, const FileData::Mapping* map) {
    std::size_t reached = 0;
    std::size_t nodes = 0;
    std::optional<PDFRef> found;
    file.walkPages(
        [&](PDFRef page) {
            if (reached++ != index) return true;
            found = page;
            return false;
        },
        [&] {
            if (map && ++nodes % kReleaseNodes == 0) map->release();
        });
    return found;
}

std::optional<PDFRef> pageContaining(PDFRef widget, PDFFile& file,
                                     const std::vector<PDFRef>& pages) {
    // An /Annots array shared by many pages (or a page listed many times) is searched once: a
    // second search of it cannot find the widget either.
    std::unordered_set<const PDFObject*> searched;
    for (PDFRef page : pages) {
        const PDFDictionary* dictionary = file.dictionary(file.object(page));
        const PDFObject* annots = dictionary ? dictionary->get("Annots") : nullptr;
        const PDFObject* resolved = annots ? file.resolve(annots) : nullptr;
        if (!resolved || !resolved->array()) continue;
        if (!searched.insert(resolved).second) continue;
        for (const auto& element : *resolved->array()) {
            auto r = element.reference();
            if (r && r->number == widget.number && r->generation == widget.generation) return page;
        }
    }
    return std::nullopt;
}

// True when the document carries a DocMDP certification that forbids every change.
bool isCertified(PDFFile& file, const PDFDictionary& catalog) {
    const PDFDictionary* perms = file.dictionary(catalog.get("Perms"));
    const PDFDictionary* docMDP = perms ? file.dictionary(perms->get("DocMDP")) : nullptr;
    const PDFObject* reference = docMDP ? docMDP->get("Reference") : nullptr;
    const PDFObject* resolved = reference ? file.resolve(reference) : nullptr;
    if (!resolved || !resolved->array()) return false;
    for (const auto& element : *resolved->array()) {
        const PDFDictionary* transform = file.dictionary(&element);
        if (!transform) continue;
        const PDFObject* method = transform->get("TransformMethod");
        const PDFObject* methodName = method ? file.resolve(method) : nullptr;
        if (!methodName || !methodName->name() || *methodName->name() != "DocMDP") continue;
        const PDFDictionary* params = file.dictionary(transform->get("TransformParams"));
        const PDFObject* p = params ? params->get("P") : nullptr;
        const PDFObject* value = p ? file.resolve(p) : nullptr;
        if (value && value->integer() == 1) return true;
    }
    return false;
}

// The field's own or inherited /FT is /Sig, and it holds no signature yet.
bool isFreeSignatureField(PDFFile& file, const PDFDictionary& field) {
    const PDFObject* value = field.get("V");
    if (value && file.dictionary(value)) return false;
    const PDFDictionary* node = &field;
    for (int level = 0; node && level < kMaxParentLinks; ++level) {
        if (const PDFObject* type = node->get("FT")) {
            const PDFObject* resolved = file.resolve(type);
            return resolved && resolved->name() && *resolved->name() == "Sig";
        }
        node = file.dictionary(node->get("Parent"));
    }
    return false;
}

PDFDictionary appearanceDictionary(PDFRef form) {
    return PDFDictionary{{"N", ref(form)}};
}

}  // namespace

PDFSigner::Failure PDFSigner::Failure::fieldNotFound(const std::string& name) {
    Failure failure(Kind::fieldNotFound, "No se encuentra el campo de firma «" + name + "».");
    failure.field_ = name;
    return failure;
}

PDFSigner::Failure PDFSigner::Failure::signatureTooLarge(std::int64_t size) {
    Failure failure(Kind::signatureTooLarge, "La firma (" + std::to_string(size) +
                                                 " bytes) no cabe en el espacio reservado.");
    failure.size_ = size;
    return failure;
}

PDFSigner::Failure PDFSigner::Failure::restricted() {
    return Failure(Kind::restricted, "Las restricciones del PDF no permiten firmarlo (no admite "
                                     "cambios ni rellenar campos).");
}

PDFSigner::Failure PDFSigner::Failure::certified() {
    return Failure(Kind::certified, "El PDF está certificado y no admite más firmas.");
}

PDFSigner::Failure PDFSigner::Failure::pageNotFound() {
    return Failure(Kind::pageNotFound, "No se encuentra la página de la firma.");
}

namespace {

// The input is copied into the output and hashed in pieces of this size: each piece is hashed
// while it is still in the processor's cache, and then written.
constexpr std::size_t kCopyPiece = std::size_t{256} << 10;

}  // namespace

std::string PDFSigner::sign(std::string pdf, const Placement& placement) const {
    PDFFile file(std::move(pdf));
    PDFRef signatureRef;
    PDFUpdate::Result written = buildUpdate(file, placement, true, signatureRef);
    std::string bytes = std::move(written.data);
    embedSignature(bytes, written.offsets.at(signatureRef));
    return bytes;
}

void PDFSigner::signFile(const std::filesystem::path& input, const std::filesystem::path& output,
                         const Placement& placement) const {
    signFile(FileData::map(input), output, placement);
}

void PDFSigner::signFile(const std::shared_ptr<const FileData::Mapping>& input,
                         const std::filesystem::path& output, const Placement& placement) const {
    PDFFile file(input->bytes(), input);
    PDFRef signatureRef;
    PDFUpdate::Result written = buildUpdate(file, placement, false, signatureRef, input.get());
    // The update was built from the map: a file that changed meanwhile may have shown it other
    // bytes than those about to be copied.
    if (input->changed()) throw std::runtime_error(input->changedMessage());
    const std::string_view old = file.bytes();
    AtomicFile::write(output, [&](const AtomicFile::Sink& sink) {
        // Read from the file into one small buffer: what is hashed is exactly what is written,
        // and the copy does not make the whole input resident.
        Digest::SHA256 hash;
        std::string buffer(std::min(kCopyPiece, old.size()), '\0');
        for (std::size_t at = 0; at < old.size();) {
            const std::size_t n = input->read(at, buffer.data(), buffer.size());
            hash.update(reinterpret_cast<const std::uint8_t*>(buffer.data()), n);
            sink(std::string_view(buffer.data(), n));
            at += n;
        }
        // What was hashed and copied is the file as it was opened only when the file is still
        // the same; otherwise nothing is committed.
        if (input->changed()) throw std::runtime_error(input->changedMessage());
        embedSignature(written.data, static_cast<std::int64_t>(old.size()),
                       written.offsets.at(signatureRef), hash);
        sink(written.data);
    });
}

PDFUpdate::Result PDFSigner::buildUpdate(PDFFile& file, const Placement& placement, bool whole,
                                         PDFRef& signatureRefOut,
                                         const FileData::Mapping* map) const {
    if (file.security() && !file.security()->allowsSigning()) throw Failure::restricted();
    const PDFDictionary* catalogPointer = file.catalog();
    if (catalogPointer && isCertified(file, *catalogPointer)) throw Failure::certified();
    const auto catalogRef = file.catalogRef();
    if (!catalogRef || !catalogPointer) throw PDFError(kMissingCatalog);
    // The byte range holds numbers of at most ten digits.
    if (static_cast<std::int64_t>(file.bytes().size()) > maxFileSize - 100000)
        throw PDFError("El PDF es demasiado grande para firmarlo.");
    PDFDictionary catalog = *catalogPointer;

    PDFUpdate update(file);
    const PDFRef signatureRef = update.allocate();

    const PDFObject* acroFormValue = catalog.get("AcroForm");
    const PDFObject* acroFormObject =
        file.expect(acroFormValue, PDFObject::Kind::dictionary, kDamagedForm);
    PDFDictionary acroForm = acroFormObject ? *acroFormObject->dictionary() : PDFDictionary();
    acroForm.set("SigFlags", PDFObject::integer(3));
    const PDFObject* fieldsValue = acroForm.get("Fields");
    const PDFObject* fieldsObject =
        file.expect(fieldsValue, PDFObject::Kind::array, kDamagedForm);
    std::vector<PDFObject> fields = fieldsObject ? *fieldsObject->array() : std::vector<PDFObject>();
    // A reference to a missing object is replaced by a direct value, never defined afresh: its
    // number could be one the update hands out.
    const std::optional<PDFRef> fieldsRef = fieldsObject ? fieldsValue->reference() : std::nullopt;
    const std::optional<PDFRef> acroFormRef =
        acroFormObject ? acroFormValue->reference() : std::nullopt;

    if (const auto* area = std::get_if<Placement::Area>(&placement.value)) {
        const auto page =
            area->pageIndex < 0 ? std::nullopt
                                : pageAt(file, static_cast<std::size_t>(area->pageIndex), map);
        if (!page) throw Failure::pageNotFound();
        const PDFRef pageRef = *page;
        const PDFDictionary* pageDictionary = file.dictionary(file.object(pageRef));
        if (!pageDictionary) throw Failure::pageNotFound();
        // Checked before anything is added, so a damaged page fails early.
        const PDFObject* annotsValue = pageDictionary->get("Annots");
        const PDFObject* annotsObject =
            file.expect(annotsValue, PDFObject::Kind::array, kDamagedAnnotations);

        const PDFRef widgetRef = update.allocate();
        const Rect& r = area->rect;
        const bool zero = r == Rect{};
        PDFDictionary widget{
            {"Type", PDFObject::name("Annot")},
            {"Subtype", PDFObject::name("Widget")},
            {"FT", PDFObject::name("Sig")},
            {"T", PDFObject::text(uniqueFieldName(file, fields))},
            {"F", PDFObject::integer(zero ? 132 : 4)},
            {"Rect", PDFObject::array({PDFObject::real(r.minX()), PDFObject::real(r.minY()),
                                       PDFObject::real(r.maxX()), PDFObject::real(r.maxY())})},
            {"P", ref(pageRef)},
            {"V", ref(signatureRef)}};
        if (!zero && appearance) {
            if (auto form = addAppearance(r, pageRef, file, update, appearance))
                widget.set("AP", PDFObject::dictionary(appearanceDictionary(*form)));
        }
        update.set(widgetRef, PDFObject::dictionary(std::move(widget)));
        fields.push_back(ref(widgetRef));

        std::vector<PDFObject> annots = annotsObject ? *annotsObject->array()
                                                     : std::vector<PDFObject>();
        annots.push_back(ref(widgetRef));
        if (auto annotsRef = annotsObject ? annotsValue->reference() : std::nullopt) {
            update.set(*annotsRef, PDFObject::array(std::move(annots)));
        } else {
            PDFDictionary page = *pageDictionary;
            page.set("Annots", PDFObject::array(std::move(annots)));
            update.set(pageRef, PDFObject::dictionary(std::move(page)));
        }
    } else {
        const std::string& name = std::get<Placement::Field>(placement.value).name;
        auto found = findField(name, file, fields);
        const PDFObject* fieldObject = found ? file.object(found->field) : nullptr;
        const PDFDictionary* fieldPointer =
            fieldObject && !fieldObject->stream() ? fieldObject->dictionary() : nullptr;
        // A signed field, or one of another type, is not a place for this signature.
        if (!fieldPointer || !isFreeSignatureField(file, *fieldPointer))
            throw Failure::fieldNotFound(name);
        PDFDictionary field = *fieldPointer;
        field.set("V", ref(signatureRef));

        auto pageOf = [&](const PDFDictionary& widget, PDFRef widgetRef) -> std::optional<PDFRef> {
            const PDFObject* p = widget.get("P");
            if (p && p->reference()) return *p->reference();
            // Only a widget that does not name its page needs the whole page tree.
            return pageContaining(widgetRef, file, file.pageRefs());
        };
        if (found->widget != found->field) {
            update.set(found->field, PDFObject::dictionary(field));
            const PDFObject* widgetObject = file.object(found->widget);
            const PDFDictionary* widgetPointer =
                widgetObject && !widgetObject->stream() ? widgetObject->dictionary() : nullptr;
            if (widgetPointer && appearance) {
                if (auto widgetRect = rect(*widgetPointer)) {
                    auto page = pageOf(*widgetPointer, found->widget);
                    if (auto form = addAppearance(*widgetRect, page, file, update, appearance)) {
                        PDFDictionary widget = *widgetPointer;
                        widget.set("AP", PDFObject::dictionary(appearanceDictionary(*form)));
                        update.set(found->widget, PDFObject::dictionary(std::move(widget)));
                    }
                }
            }
        } else {
            if (auto fieldRect = rect(field); fieldRect && appearance) {
                auto page = pageOf(field, found->field);
                if (auto form = addAppearance(*fieldRect, page, file, update, appearance))
                    field.set("AP", PDFObject::dictionary(appearanceDictionary(*form)));
            }
            update.set(found->field, PDFObject::dictionary(std::move(field)));
        }
    }

    if (fieldsRef) {
        update.set(*fieldsRef, PDFObject::array(std::move(fields)));
    } else {
        acroForm.set("Fields", PDFObject::array(std::move(fields)));
    }
    if (acroFormRef) {
        update.set(*acroFormRef, PDFObject::dictionary(std::move(acroForm)));
    } else {
        catalog.set("AcroForm", PDFObject::dictionary(std::move(acroForm)));
        update.set(*catalogRef, PDFObject::dictionary(std::move(catalog)));
    }

    update.setRaw(signatureRef, signatureDictionary(signatureRef, file.security()));
    signatureRefOut = signatureRef;
    return whole ? update.write() : update.writeUpdate();
}
