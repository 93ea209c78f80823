#include "pages/PageCopy.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFUpdate.h"

namespace {

void appendNumber(std::string& out, std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

}  // namespace

PageCopy::Root PageCopy::root(PDFFile& file) {
    const PDFDictionary* catalog = file.catalog();
    const PDFObject* pagesValue = catalog ? catalog->get("Pages") : nullptr;
    const std::optional<PDFRef> ref = pagesValue ? pagesValue->reference() : std::nullopt;
    if (!ref) return {};
    const PDFObject* object = file.object(*ref);
    if (!object || object->kind() != PDFObject::Kind::dictionary) return {};
    return {*ref, object->dictionary()};
}

namespace {

// Sets a new version of the page tree's root whose kids are nodes of ours, each holding up to
// PageCopy::kidsPerNode of the root's kids in their order; false (nothing set) for a root it does
// not split. Only a root whose /Count is its number of kids is split, each kid then a page: the
// nodes' /Count is their number of kids, and the tree stays as consistent as the file's.
bool splitRoot(const PDFFile& file, const PageCopy::Root& root, PDFUpdate& update) {
    if (!root.dictionary) return false;
    const PDFRef& rootRef = root.ref;
    // Poppler looks the root up under the catalog's reference: its entry must carry that
    // generation for the new version to be found as the old one was.
    const auto entry = file.entries().find(rootRef.number);
    if (entry == file.entries().end()) return false;
    const PDFFile::Entry& row = entry->second;
    const std::int64_t generation = row.kind == PDFFile::Entry::Kind::offset ? row.generation() : 0;
    if (row.kind == PDFFile::Entry::Kind::free || generation != rootRef.generation) return false;

    const PDFDictionary& dictionary = *root.dictionary;
    const PDFObject* kidsValue = dictionary.get("Kids");
    const std::vector<PDFObject>* kids = kidsValue ? kidsValue->array() : nullptr;
    const PDFObject* countValue = dictionary.get("Count");
    const std::optional<std::int64_t> count = countValue ? countValue->integer() : std::nullopt;
    if (!kids || kids->size() < PageCopy::splitKids || !count ||
        *count != static_cast<std::int64_t>(kids->size()))
        return false;
    if (!std::all_of(kids->begin(), kids->end(),
                     [](const PDFObject& kid) { return kid.reference().has_value(); }))
        return false;

    // The nodes hold references only: written as they are, they need no encryption.
    std::vector<PDFObject> nodes;
    nodes.reserve(kids->size() / PageCopy::kidsPerNode + 1);
    const std::string parent = " /Parent " + std::to_string(rootRef.number) + " " +
                               std::to_string(rootRef.generation) + " R /Kids [";
    for (std::size_t first = 0; first < kids->size(); first += PageCopy::kidsPerNode) {
        const std::size_t last = std::min(kids->size(), first + PageCopy::kidsPerNode);
        std::string body = "<< /Type /Pages /Count " + std::to_string(last - first) + parent;
        body.reserve(body.size() + 24 * (last - first) + 4);
        for (std::size_t i = first; i < last; ++i) {
            const PDFRef kid = *(*kids)[i].reference();
            appendNumber(body, kid.number);
            body += ' ';
            appendNumber(body, kid.generation);
            body += " R ";
        }
        body += "] >>";
        const PDFRef node = update.allocate();
        update.setRaw(node, std::move(body));
        nodes.push_back(PDFObject::reference(node));
    }
    PDFDictionary newRoot;
    for (const auto& [key, value] : dictionary)
        newRoot.set(key, key == "Kids" ? PDFObject::array(std::move(nodes)) : value);
    update.set(rootRef, PDFObject::dictionary(std::move(newRoot)));
    return true;
}

}  // namespace

std::string PageCopy::update(const PDFFile& file, const Root& root) {
    if (file.wasReconstructed()) return {};
    const bool longTable = !file.usesXRefStream() && file.entries().size() >= indexedEntries;
    try {
        PDFUpdate update(file);
        if (!splitRoot(file, root, update) && !longTable) return {};
        return update.writeUpdateWithWholeTable().data;
    } catch (const PDFError&) {
        // A number, generation or offset that no row of ours holds: the file as it is serves.
        return {};
    }
}
