// Opening a PDF file: header, startxref, the cross-reference sections along /Prev, the merged
// trailer, the security handler and the consistency check.
#include "pdf/PDFFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "pdf/PDFError.h"
#include "pdf/PDFFileLimits.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFParser.h"

using namespace PDFFileLimits;

namespace {

const char* const kNoXRefStream = "No hay xref en el offset indicado";
// Unsorted cross-reference rows are sorted into the table once there are at least this many.
constexpr std::size_t kSettleRows = 4096;
const char* const kBadTable = "Tabla xref no válida";

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::numeric_limits<std::int64_t>::max();
    return sum;
}

// A big-endian unsigned field of up to 8 bytes; values beyond the signed range saturate (no
// offset, stream number or generation can be that large).
std::int64_t field(const unsigned char* p, std::int64_t width, std::int64_t fallback) {
    if (width == 0) return fallback;
    std::uint64_t value = 0;
    for (std::int64_t i = 0; i < width; ++i) value = (value << 8) | p[i];
    if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return static_cast<std::int64_t>(value);
}

// Appends the `count` decimal digits at `p` to `value`; false when one of them is no digit.
bool digitsAt(const char* p, int count, std::int64_t& value) {
    for (int k = 0; k < count; ++k) {
        const auto digit = static_cast<unsigned>(static_cast<unsigned char>(p[k])) - unsigned{'0'};
        if (digit > 9) return false;
        value = value * 10 + static_cast<std::int64_t>(digit);
    }
    return true;
}

// The value of the eight decimal digits at `p`, read as one word where the machine stores its
// lowest byte first; false when one of them is no digit.
bool eightDigits(const char* p, std::int64_t& value) {
    if constexpr (std::endian::native != std::endian::little) return digitsAt(p, 8, value);
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    // Every byte 0x30..0x39: its high nibble 3, and adding 6 leaves it so.
    constexpr std::uint64_t highNibbles = 0xF0F0F0F0F0F0F0F0;
    constexpr std::uint64_t threes = 0x3030303030303030;
    if ((word & highNibbles) != threes || ((word + 0x0606060606060606) & highNibbles) != threes)
        return false;
    word &= 0x0F0F0F0F0F0F0F0F;
    word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FF;      // pairs
    word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFF;    // fours
    word = (word * 10000 + (word >> 32)) & 0x00000000FFFFFFFF;  // all eight
    value = value * 100000000 + static_cast<std::int64_t>(word);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

PDFFile::PDFFile(std::string data) : owned_(std::move(data)), bytes_(owned_) {
    start(static_cast<std::int64_t>(bytes_.size()));
}

PDFFile::PDFFile(std::string_view bytes, std::shared_ptr<const void> keeper)
    : bytes_(bytes), keeper_(std::move(keeper)) {
    start(static_cast<std::int64_t>(bytes_.size()));
}

struct PDFFile::Opening {
    Table entries;
    PDFDictionary trailer;
    std::int64_t lastXRefOffset = 0;
    bool usesXRefStream = false;
    bool wasReconstructed = false;
    std::optional<PDFSecurity> security;
    std::optional<std::int64_t> encryptNumber;
    std::int64_t maxEntries = 0;
    std::int64_t workBudget = 0;
    std::size_t size = 0;  // of the bytes, which must be the same
};

std::shared_ptr<const PDFFile::Opening> PDFFile::opening() const {
    if (!opening_) {
        auto taken = std::make_shared<Opening>();
        taken->entries = entries_;
        taken->trailer = trailer_;
        taken->lastXRefOffset = lastXRefOffset_;
        taken->usesXRefStream = usesXRefStream_;
        taken->wasReconstructed = wasReconstructed_;
        taken->security = security_;
        taken->encryptNumber = encryptNumber_;
        taken->maxEntries = maxEntries_;
        taken->workBudget = workBudget_;
        taken->size = bytes_.size();
        opening_ = std::move(taken);
    }
    return opening_;
}

PDFFile::PDFFile(std::string_view bytes, std::shared_ptr<const void> keeper,
                 const std::shared_ptr<const Opening>& opening)
    : bytes_(bytes), keeper_(std::move(keeper)) {
    if (!opening || opening->size != bytes_.size()) {
        // Not the bytes it was taken from: they are opened as any others.
        start(static_cast<std::int64_t>(bytes_.size()));
        return;
    }
    entries_ = opening->entries;
    settled_ = entries_.size();
    trailer_ = opening->trailer;
    lastXRefOffset_ = opening->lastXRefOffset;
    usesXRefStream_ = opening->usesXRefStream;
    wasReconstructed_ = opening->wasReconstructed;
    security_ = opening->security;
    encryptNumber_ = opening->encryptNumber;
    maxEntries_ = opening->maxEntries;
    workBudget_ = opening->workBudget;
    opening_ = opening;
}

const std::string& PDFFile::data() const {
    if (!keeper_) return owned_;
    if (!copy_) copy_ = std::make_unique<std::string>(bytes_);
    return *copy_;
}

void PDFFile::start(std::int64_t size) {
    std::int64_t budget = 0;
    if (__builtin_mul_overflow(size, kWorkPerByte, &budget))
        budget = std::numeric_limits<std::int64_t>::max();
    workBudget_ = saturatingAdd(budget, kWorkAllowance);
    maxEntries_ = std::max(kMinEntryBound, size / kBytesPerEntry);
    open();
}

PDFFile::Table::const_iterator PDFFile::Table::find(std::int64_t number) const {
    const auto it = std::lower_bound(
        rows_.begin(), rows_.end(), number,
        [](const value_type& row, std::int64_t wanted) { return row.first < wanted; });
    return it != rows_.end() && it->first == number ? it : rows_.end();
}

const PDFFile::Entry& PDFFile::Table::at(std::int64_t number) const {
    const auto it = find(number);
    if (it == rows_.end()) throw std::out_of_range("PDFFile::Table::at");
    return it->second;
}

void PDFFile::open() {
    const std::string_view head =
        bytes().substr(0, std::min<std::size_t>(bytes_.size(), kHeaderWindow));
    if (!PDFParser::find("%PDF-", head, 0)) throw PDFError("El fichero no es un PDF");
    try {
        readSections();
        setUpSecurity();
        checkConsistency();
        // A loop in the /Prev chain ends the walk; when the sections read before it leave the
        // page tree without a single page, older sections were lost with it, and the scan finds
        // them.
        if (metPrevLoop_ && pageRefs().empty()) throw PDFError("Bucle en la cadena /Prev");
        checkPageEntries();
    } catch (const PDFSecurity::Failure&) {
        throw;
    } catch (const EntryLimit&) {
        throw;
    } catch (const PDFError&) {
        reconstruct();
    }
}

void PDFFile::readSections() {
    const auto last =
        PDFParser::findLast("startxref", bytes(), static_cast<std::int64_t>(bytes_.size()));
    if (!last) throw PDFError("Falta startxref");
    PDFParser parser(bytes(), *last + 9);
    const auto offset = PDFParser::integerToken(parser.readToken());
    if (!offset) throw PDFError("startxref no válido");
    lastXRefOffset_ = *offset;

    // Sections met along /Prev and those met as a hybrid table's /XRefStm are kept apart: a /Prev
    // may name an offset already read as an /XRefStm, and its trailer still counts.
    std::set<std::int64_t> visited;
    std::set<std::int64_t> streamsOfTables;
    // A linearized file's first-page section comes right after its linearization dictionary, so
    // it is the section nearest the start of the file; appended updates come after everything.
    const bool linearized = isLinearized();
    std::int64_t nearest = std::numeric_limits<std::int64_t>::max();
    std::int64_t at = lastXRefOffset_;
    for (bool newest = true;; newest = false) {
        if (!visited.insert(at).second) {
            metPrevLoop_ = true;
            break;
        }
        listed_.clear();
        listing_ = linearized;
        Section section = readSection(at, streamsOfTables, true);
        listing_ = false;
        if (linearized && at < nearest) {
            nearest = at;
            firstPageNumbers_.swap(listed_);
        }
        if (newest) {
            usesXRefStream_ = section.isStream;
            trailer_ = section.trailer;
        } else {
            for (const auto& entry : section.trailer) {
                if (!trailer_.contains(entry.key)) trailer_.set(entry.key, entry.value);
            }
        }
        const PDFObject* prev = section.trailer.get("Prev");
        const auto next = prev ? prev->integer() : std::nullopt;
        if (!next) break;
        at = *next;
    }
    settleEntries();
    trailer_.remove("Prev");
    trailer_.remove("XRefStm");
    if (!trailer_.contains("Root")) throw PDFError("El trailer no tiene /Root");
}

PDFFile::Section PDFFile::readSection(std::int64_t offset, std::set<std::int64_t>& visited,
                                      bool followXRefStm) {
    if (offset < 0 || offset >= static_cast<std::int64_t>(bytes_.size())) {
        throw PDFError("Offset de xref fuera del fichero");
    }
    PDFParser parser(bytes(), offset);
    if (parser.readToken() == "xref") return readClassicSection(parser, visited, followXRefStm);
    return readStreamSection(offset);
}

void PDFFile::addEntry(std::int64_t number, Entry entry) {
    auto& rows = entries_.rows_;
    rows.emplace_back(number, entry);
    // Sorting when the unsorted rows outnumber the sorted ones keeps the cost of all sorts within
    // a constant factor of the rows read, and the memory within twice the table plus a section.
    const std::size_t pending = rows.size() - settled_;
    if (pending > settled_ && pending >= kSettleRows) settleEntries();
}

void PDFFile::settleEntries(bool keepLast) {
    auto& rows = entries_.rows_;
    if (settled_ == rows.size() && !keepLast) return;
    const auto byNumber = [](const Table::value_type& a, const Table::value_type& b) {
        return a.first < b.first;
    };
    // The sorted rows were all read before the pending ones, and a stable sort keeps that order
    // among rows of one number. Sections mostly list ascending numbers, so the sort and the merge
    // usually find nothing to do.
    const auto middle = rows.begin() + static_cast<std::ptrdiff_t>(settled_);
    if (!std::is_sorted(middle, rows.end(), byNumber))
        std::stable_sort(middle, rows.end(), byNumber);
    if (middle != rows.begin() && middle != rows.end() && (middle - 1)->first >= middle->first)
        std::inplace_merge(rows.begin(), middle, rows.end(), byNumber);
    if (std::adjacent_find(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
            return a.first == b.first;
        }) != rows.end()) {
        auto out = rows.begin();
        for (auto it = rows.begin(); it != rows.end();) {
            auto next = it + 1;
            while (next != rows.end() && next->first == it->first) ++next;
            *out++ = keepLast ? *(next - 1) : *it;
            it = next;
        }
        rows.erase(out, rows.end());
    }
    settled_ = rows.size();
    if (static_cast<std::int64_t>(rows.size()) > maxEntries_) throw EntryLimit();
}

PDFFile::Section PDFFile::readClassicSection(PDFParser& parser, std::set<std::int64_t>& visited,
                                             bool followXRefStm) {
    std::vector<std::pair<std::int64_t, Entry>> listed;
    for (std::string token = parser.readToken(); token != "trailer" && !token.empty();
         token = parser.readToken()) {
        const auto first = PDFParser::integerToken(token);
        const auto count = PDFParser::integerToken(parser.readToken());
        if (!first || !count || *first < 0 || *count < 0 || *count > maxObjectNumber - *first) {
            throw PDFError(kBadTable);
        }
        std::int64_t i = 0;
        // Rows spelled as the format writes them, twenty bytes each, are read without the
        // tokenizer; from the first row spelled otherwise on, the tokens are read.
        parser.skipWhitespace();
        // Room for the rows the file can hold from here at twenty bytes each, at most.
        const std::int64_t left = static_cast<std::int64_t>(bytes_.size()) - parser.position();
        const std::int64_t fits = std::max<std::int64_t>(0, left) / kXRefRowBytes;
        const std::int64_t room = std::min({*count, fits, std::max<std::int64_t>(0, maxEntries_)});
        listed.reserve(listed.size() + static_cast<std::size_t>(room));
        for (std::int64_t at = parser.position(); i < *count; ++i, at += kXRefRowBytes) {
            const std::optional<Entry> row = fixedRow(at);
            if (!row) break;
            if (static_cast<std::int64_t>(listed.size()) >= maxEntries_) throw EntryLimit();
            if (listing_ && listed_.size() < kFirstPageSectionChecks) listed_.push_back(*first + i);
            listed.emplace_back(*first + i, *row);
            parser.setPosition(at + kXRefRowBytes);
        }
        for (; i < *count; ++i) {
            const auto offset = PDFParser::integerToken(parser.readToken());
            const auto generation = PDFParser::integerToken(parser.readToken());
            const std::string type = parser.readToken();
            if (!offset || !generation) throw PDFError("Entrada xref no válida");
            if (static_cast<std::int64_t>(listed.size()) >= maxEntries_) throw EntryLimit();
            if (listing_ && listed_.size() < kFirstPageSectionChecks) listed_.push_back(*first + i);
            listed.emplace_back(*first + i, type == "n" ? Entry::atOffset(*offset, *generation)
                                                        : Entry::freeEntry());
        }
    }
    PDFObject trailer = parser.parseObject();
    if (trailer.kind() != PDFObject::Kind::dictionary) throw PDFError("Trailer no válido");
    PDFDictionary dictionary = std::move(*trailer.dictionary());

    // Hybrid file: the cross-reference stream of /XRefStm first, so that its entries win. It is
    // followed one level deep only, and never to an offset already read, so a stream section that
    // names a table that names it again cannot recurse.
    const PDFObject* xrefStm = dictionary.get("XRefStm");
    if (followXRefStm && xrefStm && xrefStm->kind() == PDFObject::Kind::integer) {
        const std::int64_t at = *xrefStm->integer();
        if (visited.insert(at).second) {
            try {
                readSection(at, visited, false);
            } catch (const EntryLimit&) {
                throw;
            } catch (const PDFError&) {
                // A broken /XRefStm leaves the table's own entries.
            }
        }
    }
    entries_.rows_.reserve(entries_.rows_.size() + listed.size());
    for (const auto& [number, entry] : listed) addEntry(number, entry);
    return {std::move(dictionary), false};
}

std::optional<PDFFile::Entry> PDFFile::fixedRow(std::int64_t at) const {
    if (at < 0 || at > static_cast<std::int64_t>(bytes_.size()) - kXRefRowBytes)
        return std::nullopt;
    const char* row = bytes_.data() + at;
    // "oooooooooo ggggg n" and two bytes of white space: the tokens the tokenizer would read.
    if (row[10] != ' ' || row[16] != ' ' || (row[17] != 'n' && row[17] != 'f') ||
        !PDFParser::isWhitespace(row[18]) || !PDFParser::isWhitespace(row[19]))
        return std::nullopt;
    std::int64_t offset = 0;
    std::int64_t generation = 0;
    if (!eightDigits(row, offset) || !digitsAt(row + 8, 2, offset) ||
        !digitsAt(row + 11, 5, generation))
        return std::nullopt;
    return row[17] == 'n' ? Entry::atOffset(offset, generation) : Entry::freeEntry();
}

PDFFile::Section PDFFile::readStreamSection(std::int64_t offset) {
    PDFParser parser(bytes(), offset);
    auto [ref, object] = parser.parseIndirectObject();
    const PDFStream* stream = object.stream();
    const PDFObject* type = stream ? stream->dictionary.get("Type") : nullptr;
    if (!type || !type->name() || *type->name() != "XRef") throw PDFError(kNoXRefStream);
    const PDFDictionary& dictionary = stream->dictionary;

    if (!withinBudget()) throw PDFError(kBadTable);
    const std::string data = PDFFilters::decode(stream->data, dictionary);
    work_ = saturatingAdd(work_, static_cast<std::int64_t>(data.size()));

    std::vector<std::int64_t> widths;
    if (const PDFObject* w = dictionary.get("W"); w && w->array()) {
        for (const PDFObject& element : *w->array()) {
            if (auto value = element.integer()) widths.push_back(*value);
        }
    }
    if (widths.size() != 3 ||
        std::any_of(widths.begin(), widths.end(), [](std::int64_t v) { return v < 0 || v > 8; }) ||
        widths[0] + widths[1] + widths[2] == 0) {
        throw PDFError("/W no válido");
    }
    const std::int64_t rowLength = widths[0] + widths[1] + widths[2];

    std::int64_t size = 0;
    if (const PDFObject* sizeValue = dictionary.get("Size"))
        size = sizeValue->integer().value_or(0);
    std::vector<std::int64_t> index;
    if (const PDFObject* indexValue = dictionary.get("Index"); indexValue && indexValue->array()) {
        for (const PDFObject& element : *indexValue->array()) {
            if (auto value = element.integer()) index.push_back(*value);
        }
    } else {
        index = {0, size};
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> subsections;
    for (std::size_t i = 0; i + 1 < index.size(); i += 2) {
        const std::int64_t first = index[i], count = index[i + 1];
        if (first < 0 || count < 0 || count > maxObjectNumber - first)
            throw PDFError("/Index no válido");
        subsections.emplace_back(first, count);
    }

    const auto* row = reinterpret_cast<const unsigned char*>(data.data());
    std::int64_t remaining = static_cast<std::int64_t>(data.size());
    // Room for the rows at once; geometric growth still, so many small sections cost no more
    // than one large one.
    auto& table = entries_.rows_;
    const auto needed =
        table.size() + static_cast<std::size_t>(std::min(remaining / rowLength, maxEntries_));
    if (needed > table.capacity()) table.reserve(std::max(needed, 2 * table.capacity()));
    std::int64_t rows = 0;
    for (const auto& [first, count] : subsections) {
        for (std::int64_t number = first; number < first + count && remaining >= rowLength;
             ++number) {
            if (++rows > maxEntries_) throw EntryLimit();
            const std::int64_t type = field(row, widths[0], 1);
            const std::int64_t second = field(row + widths[0], widths[1], 0);
            const std::int64_t third = field(row + widths[0] + widths[1], widths[2], 0);
            row += rowLength;
            remaining -= rowLength;
            if (listing_ && listed_.size() < kFirstPageSectionChecks) listed_.push_back(number);
            if (type == 1)
                addEntry(number, Entry::atOffset(second, third));
            else if (type == 2)
                addEntry(number, Entry::inStream(second, third));
            else
                addEntry(number, Entry::freeEntry());
        }
    }
    PDFDictionary trailer = dictionary;
    for (const char* key : {"Type", "W", "Index", "Length", "Filter", "DecodeParms"})
        trailer.remove(key);
    return {std::move(trailer), true};
}

void PDFFile::setUpSecurity() {
    security_.reset();
    encryptNumber_.reset();
    const PDFObject* encrypt = trailer_.get("Encrypt");
    if (encrypt) {
        if (auto ref = encrypt->reference()) encryptNumber_ = ref->number;
    }
    cache_.clear();
    objectStreams_.clear();
    if (!encrypt) return;

    const PDFObject* value = encrypt;
    for (int lookups = 0; value && value->reference() && lookups < kMaxLookups; ++lookups) {
        value = object(*value->reference());
    }
    const PDFDictionary* dictionary = value && !value->reference() ? value->dictionary() : nullptr;
    if (!dictionary) throw PDFSecurity::Failure::unsupported("falta el diccionario /Encrypt");

    std::string id;
    if (const PDFObject* ids = trailer_.get("ID"); ids && ids->array() && !ids->array()->empty()) {
        if (const std::string* first = ids->array()->front().stringData()) id = *first;
    }
    const PDFDictionary encryptDictionary = *dictionary;
    security_.emplace(encryptDictionary, id);
    cache_.clear();
    objectStreams_.clear();
}

void PDFFile::checkConsistency() {
    const PDFDictionary* root = dictionary(trailer_.get("Root"));
    if (!root || !root->contains("Pages")) throw PDFError("No se encuentra el catálogo del PDF");

    int taken = 0;
    for (const auto& [number, entry] : entries_) {
        if (taken++ == kConsistencySamples) break;
        if (entry.kind != Entry::Kind::offset || number <= 0) continue;
        checkHeader(number, entry);
    }
}

void PDFFile::checkHeader(std::int64_t number, const Entry& entry) {
    const PDFError mismatch("La tabla xref no coincide con el fichero");
    if (entry.offset() < 0 || entry.offset() >= static_cast<std::int64_t>(bytes_.size()))
        throw mismatch;
    // The entry is right when its offset holds the object's "N G obj" header. What follows is
    // the object's own business: a malformed object that nothing uses does not make the table
    // wrong, and one that is used gives nothing when it is looked up.
    PDFParser parser(bytes(), entry.offset());
    try {
        const auto found = PDFParser::integerToken(parser.readToken());
        const auto generation = PDFParser::integerToken(parser.readToken());
        const bool keyword = parser.readToken() == "obj";
        work_ = saturatingAdd(work_, parser.reach() - entry.offset());
        if (!found || !generation || !keyword || *found != number) throw mismatch;
    } catch (const PDFError&) {
        throw mismatch;
    }
}

bool PDFFile::isLinearized() const {
    // The linearization dictionary is the first object of the file, inside its first kilobyte;
    // the parser skips the header line and the binary comment as comments.
    const auto header = PDFParser::find("%PDF-", bytes(), 0);
    if (!header) return false;
    try {
        PDFParser parser(bytes(), *header);
        if (!PDFParser::integerToken(parser.readToken()) ||
            !PDFParser::integerToken(parser.readToken()) || parser.readToken() != "obj" ||
            parser.position() >= kHeaderWindow) {
            return false;
        }
        // Only a dictionary is read (a stream's data would be read with it).
        parser.skipWhitespace();
        if (bytes().substr(static_cast<std::size_t>(parser.position()), 2) != "<<") return false;
        const PDFObject first = parser.parseObject();
        const PDFDictionary* dictionary = first.dictionary();
        return dictionary && dictionary->contains("Linearized");
    } catch (const PDFError&) {
        return false;
    }
}

void PDFFile::checkPageEntries() {
    // A page tree whose root the table does not list at all (not even as free) means sections of
    // the table were lost, such as a first-page section without its /Prev: every page with them.
    const PDFDictionary* root = catalog();
    const PDFObject* pages = root ? root->get("Pages") : nullptr;
    const auto ref = pages ? pages->reference() : std::nullopt;
    if (ref && !entries_.contains(ref->number))
        throw PDFError("La tabla xref no coincide con el fichero");
    // The first-page section of a linearized file lists the first page and what it uses, which
    // the sampled check (the lowest numbers) never reaches: a wrong offset there loses the page.
    for (std::int64_t number : firstPageNumbers_) {
        const auto row = entries_.find(number);
        if (row != entries_.end() && row->second.kind == Entry::Kind::offset && number > 0)
            checkHeader(number, row->second);
    }
}
