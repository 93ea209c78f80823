// Reconstruction of a damaged file: the cross-reference table rebuilt by scanning for object
// headers, the trailer keys found by other means.
#include <algorithm>
#include <limits>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFileLimits.h"
#include "pdf/PDFParser.h"

using namespace PDFFileLimits;

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a decimal number backwards from `i` (white space before it skipped); leaves `i` on the
// byte before its first digit (-1 at the start of the file).
std::optional<std::int64_t> previousNumber(std::string_view bytes, std::int64_t& i) {
    while (i > 0 &&
           PDFParser::isWhitespace(static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)])))
        --i;
    const std::int64_t end = i;
    while (i >= 0 && isDigit(bytes[static_cast<std::size_t>(i)])) --i;
    if (i == end) return std::nullopt;
    std::int64_t value = 0;
    for (std::int64_t k = i + 1; k <= end; ++k) {
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, bytes[static_cast<std::size_t>(k)] - '0', &value)) {
            return std::nullopt;
        }
    }
    return value;
}

}  // namespace

void PDFFile::reconstruct() {
    entries_.rows_.clear();
    settled_ = 0;
    cache_.clear();
    objectStreams_.clear();
    wasReconstructed_ = true;
    usesXRefStream_ = false;
    const std::string_view all = bytes();
    const auto length = static_cast<std::int64_t>(all.size());

    // Object headers; the last header of a number wins.
    for (std::int64_t from = 0;;) {
        const auto found = PDFParser::find("obj", all, from);
        if (!found) break;
        const std::int64_t p = *found;
        from = p + 3;
        if (p + 3 < length) {
            const auto next = static_cast<unsigned char>(all[static_cast<std::size_t>(p + 3)]);
            if (!PDFParser::isWhitespace(next) && !PDFParser::isDelimiter(next)) continue;
        }
        if (p == 0 || !PDFParser::isWhitespace(
                          static_cast<unsigned char>(all[static_cast<std::size_t>(p - 1)])))
            continue;
        std::int64_t i = p - 1;
        const auto generation = previousNumber(all, i);
        if (!generation) continue;
        const auto number = previousNumber(all, i);
        if (!number || *number > maxObjectNumber) continue;
        entries_.rows_.emplace_back(*number, Entry::atOffset(i + 1, *generation));
        // Sorting now and then keeps memory bounded by the distinct numbers; the last header
        // of a number still wins.
        if (entries_.rows_.size() - settled_ > std::max<std::size_t>(settled_, 4096))
            settleEntries(true);
    }
    settleEntries(true);

    // Object streams, and the trailer keys of a cross-reference stream when nothing gave /Root.
    // These loads only classify objects; the work they cost is not charged to later lookups.
    const std::int64_t workBefore = work_;
    const std::int64_t budgetBefore = workBudget_;
    std::int64_t scanBudget = 0;
    if (__builtin_mul_overflow(length, kRepairScanWorkPerByte, &scanBudget) ||
        __builtin_add_overflow(scanBudget, kRepairScanAllowance + work_, &scanBudget)) {
        scanBudget = std::numeric_limits<std::int64_t>::max();
    }
    workBudget_ = std::min(workBudget_, scanBudget);
    std::vector<std::int64_t> objectStreamNumbers;
    std::vector<std::int64_t> numbers;
    numbers.reserve(entries_.size());
    for (const auto& entry : entries_) numbers.push_back(entry.first);
    for (std::int64_t number : numbers) {
        const PDFObject* loaded = object(PDFRef(number));
        const PDFStream* stream = loaded ? loaded->stream() : nullptr;
        if (stream) {
            const PDFObject* type = stream->dictionary.get("Type");
            const std::string* name = type ? type->name() : nullptr;
            if (name && *name == "ObjStm") objectStreamNumbers.push_back(number);
            if (name && *name == "XRef" && !trailer_.contains("Root")) {
                for (const char* key : {"Root", "Info", "ID", "Encrypt"}) {
                    if (const PDFObject* value = stream->dictionary.get(key))
                        trailer_.set(key, *value);
                    else
                        trailer_.remove(key);
                }
            }
        }
        // Only the kind of each object matters here; keep memory near the file's size.
        cache_.erase(number);
    }
    work_ = workBefore;
    workBudget_ = budgetBefore;

    // The last "trailer" dictionary.
    if (const auto at = PDFParser::findLast("trailer", all, length)) {
        try {
            PDFParser parser(all, *at + 7);
            PDFObject parsed = parser.parseObject();
            if (const PDFDictionary* dictionary =
                    parsed.kind() == PDFObject::Kind::dictionary ? parsed.dictionary() : nullptr) {
                for (const char* key : {"Root", "Info", "ID", "Encrypt"}) {
                    if (const PDFObject* value = dictionary->get(key)) trailer_.set(key, *value);
                }
            }
        } catch (const PDFError&) {
        }
    }

    setUpSecurity();

    // Members of object streams that have no header of their own in the file, with their real
    // position in the stream's header so that a rewritten cross-reference stream points other
    // readers to the right member.
    // The table is looked up while members are collected, so they join it only afterwards; the
    // first stream that holds a number keeps it.
    std::vector<Table::value_type> members;
    for (std::int64_t stream : objectStreamNumbers) {
        for (const Member& member : objectsInStream(stream).members) {
            if (entries_.contains(member.number)) continue;
            members.emplace_back(member.number, Entry::inStream(stream, member.index));
            if (static_cast<std::int64_t>(members.size()) > maxEntries_) throw EntryLimit();
        }
    }
    for (const auto& [number, entry] : members) addEntry(number, entry);
    settleEntries();

    // The catalog: /Root when it leads to a dictionary with /Pages, else the first /Catalog.
    const PDFDictionary* root = dictionary(trailer_.get("Root"));
    if (!root || !root->contains("Pages")) {
        trailer_.remove("Root");
        for (const auto& entry : entries_) {
            const PDFObject ref = PDFObject::reference(PDFRef(entry.first));
            const PDFDictionary* candidate = dictionary(&ref);
            const PDFObject* type = candidate ? candidate->get("Type") : nullptr;
            if (type && type->name() && *type->name() == "Catalog") {
                trailer_.set("Root", PDFObject::reference(PDFRef(entry.first, 0)));
                break;
            }
        }
    }

    trailer_.set("Size", PDFObject::integer(entries_.empty() ? 1 : entries_.rbegin()->first + 1));

    if (const auto at = PDFParser::findLast("startxref", all, length)) {
        PDFParser parser(all, *at + 9);
        lastXRefOffset_ = PDFParser::integerToken(parser.readToken()).value_or(0);
    }

    checkConsistency();
}
