#include "signing/SignatureCopies.h"

#include <map>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFUpdate.h"
#include "signing/PDFSigner.h"
#include "signing/SignatureAppearances.h"

namespace SignatureCopies {

namespace {

// Annotation flags Print (4) and Locked (128).
constexpr std::int64_t stampFlags = 132;

PDFObject rectArray(const Rect& rect) {
    return PDFObject::array({PDFObject::real(rect.minX()), PDFObject::real(rect.minY()),
                             PDFObject::real(rect.maxX()), PDFObject::real(rect.maxY())});
}

[[noreturn]] void unreadableAnnotations(std::size_t pageIndex) {
    throw PDFError("No se pueden leer las anotaciones de la página " +
                   std::to_string(pageIndex + 1) +
                   "; no se añaden las copias de la firma para no perderlas.");
}

}  // namespace

std::string add(const std::vector<SignatureCopy>& copies,
                const std::optional<SignatureStamp>& stamp,
                const std::optional<Handwriting>& handwriting, std::string pdf) {
    std::vector<const SignatureCopy*> drawable;
    for (const auto& copy : copies) {
        bool isHandwritten = copy.handwritten.value_or(false);
        if (isHandwritten ? handwriting.has_value() : stamp.has_value()) drawable.push_back(&copy);
    }
    if (drawable.empty()) return pdf;

    PDFFile file(std::move(pdf));
    if (file.security() && !file.security()->allowsSigning())
        throw PDFSigner::Failure::restricted();

    PDFUpdate update(file);
    const std::vector<PDFRef> pages = file.pageRefs();
    // New annotations per page, pages in the order of their first copy.
    std::vector<std::pair<std::size_t, std::vector<PDFRef>>> added;
    std::map<std::size_t, std::size_t> slot;

    for (const SignatureCopy* copy : drawable) {
        if (copy->pageIndex < 0 || static_cast<std::size_t>(copy->pageIndex) >= pages.size()) {
            throw PDFSigner::Failure::pageNotFound();
        }
        const auto pageIndex = static_cast<std::size_t>(copy->pageIndex);
        const PDFRef page = pages[pageIndex];
        const bool isHandwritten = copy->handwritten.value_or(false);
        PDFSigner::Render render = [&](Size size) -> std::optional<PDFSigner::Appearance> {
            if (isHandwritten) {
                return handwriting ? SignatureAppearances::handwriting(*handwriting, size)
                                   : std::nullopt;
            }
            return stamp ? SignatureAppearances::card(*stamp, size) : std::nullopt;
        };
        std::optional<PDFRef> appearance =
            PDFSigner::addAppearance(copy->rect, page, file, update, render);
        if (!appearance) continue;

        PDFRef annotation = update.allocate();
        update.set(annotation,
                   PDFObject::dictionary(PDFDictionary{
                       {"Type", PDFObject::name("Annot")},
                       {"Subtype", PDFObject::name("Stamp")},
                       {"F", PDFObject::integer(stampFlags)},
                       {"Rect", rectArray(copy->rect)},
                       {"P", PDFObject::reference(page)},
                       {"Contents", PDFObject::text(isHandwritten ? "Firma manuscrita" : "Firma")},
                       {"AP", PDFObject::dictionary(
                                  PDFDictionary{{"N", PDFObject::reference(*appearance)}})},
                   }));
        auto [at, isNew] = slot.try_emplace(pageIndex, added.size());
        if (isNew) added.push_back({pageIndex, {}});
        added[at->second].second.push_back(annotation);
    }

    // Annotation arrays already rewritten by this update, so that pages sharing one indirect
    // array keep each other's additions.
    std::map<PDFRef, std::vector<PDFObject>> rewritten;
    for (const auto& [pageIndex, annotations] : added) {
        const PDFRef page = pages[pageIndex];
        const PDFObject pageObject = PDFObject::reference(page);
        const PDFDictionary* dictionary = file.dictionary(&pageObject);
        if (!dictionary) throw PDFSigner::Failure::pageNotFound();

        std::vector<PDFObject> existing;
        const PDFObject* annots = dictionary->get("Annots");
        if (file.isAbsent(annots)) annots = nullptr;  // also a reference to a missing object
        if (annots && annots->reference()) {
            const PDFRef arrayRef = *annots->reference();
            auto done = rewritten.find(arrayRef);
            const PDFObject* resolved = file.resolve(annots);
            if (done == rewritten.end() && (!resolved || !resolved->array())) {
                unreadableAnnotations(pageIndex);
            }
            std::vector<PDFObject>& elements =
                done != rewritten.end()
                    ? done->second
                    : rewritten.emplace(arrayRef, *resolved->array()).first->second;
            for (const PDFRef& ref : annotations) elements.push_back(PDFObject::reference(ref));
            update.set(arrayRef, PDFObject::array(elements));
            continue;
        }
        if (annots && annots->array()) {
            existing = *annots->array();
        } else if (annots && !annots->isNull()) {
            unreadableAnnotations(pageIndex);
        }
        for (const PDFRef& ref : annotations) existing.push_back(PDFObject::reference(ref));
        PDFDictionary changed = *dictionary;
        changed.set("Annots", PDFObject::array(std::move(existing)));
        update.set(page, PDFObject::dictionary(std::move(changed)));
    }

    if (added.empty()) return file.data();
    return update.write().data;
}

}  // namespace SignatureCopies
