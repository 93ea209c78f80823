// Objects and pages of an opened PDF file: lenient, cached lookups, object streams, the page tree.
#include <algorithm>
#include <limits>

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFileLimits.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFParser.h"

using namespace PDFFileLimits;

namespace {

void addWork(std::int64_t& work, std::int64_t amount) {
    if (amount > 0 && __builtin_add_overflow(work, amount, &work))
        work = std::numeric_limits<std::int64_t>::max();
}

// The next token of an object stream's header as an integer, read in place: white space and
// comments skipped, then the run of regular bytes, as PDFParser::readToken reads it.
std::optional<std::int64_t> headerInteger(PDFParser& parser) {
    parser.skipWhitespace();
    const std::string_view bytes = parser.bytes();
    const auto start = static_cast<std::size_t>(parser.position());
    std::size_t end = start;
    while (end < bytes.size() && !PDFParser::isWhitespace(static_cast<unsigned char>(bytes[end])) &&
           !PDFParser::isDelimiter(static_cast<unsigned char>(bytes[end])))
        ++end;
    parser.setPosition(static_cast<std::int64_t>(end));
    return PDFParser::integerToken(bytes.substr(start, end - start));
}

}  // namespace

const PDFObject* PDFFile::object(PDFRef ref) {
    const std::int64_t n = ref.number;
    if (auto cached = cache_.find(n); cached != cache_.end()) return &cached->second;
    if (loading_.size() >= kMaxLoading) return nullptr;
    if (!loading_.insert(n).second) return nullptr;

    std::optional<PDFObject> result;
    try {
        if (auto found = entries_.find(n); found != entries_.end()) {
            const Entry entry = found->second;
            if (entry.kind == Entry::Kind::offset) {
                result = parseObject(entry.offset(), n);
                if (result && security_ && encryptNumber_ != n) {
                    result = security_->decrypt(*result, PDFRef(n, entry.generation()));
                }
            } else if (entry.kind == Entry::Kind::compressed) {
                const ObjectStream& stream = objectsInStream(entry.stream());
                if (const Member* member = stream.find(n); member && withinBudget()) {
                    const std::int64_t at = member->at;
                    PDFParser parser(stream.decoded, at);
                    try {
                        result = parser.parseObject();
                    } catch (const PDFError&) {
                    }
                    addWork(work_, parser.reach() - at);
                }
            }
        }
    } catch (const std::exception&) {
        result.reset();
    }
    loading_.erase(n);
    if (!result) return nullptr;
    return &cache_.insert_or_assign(n, std::move(*result)).first->second;
}

std::optional<PDFObject> PDFFile::parseObject(std::int64_t offset, std::int64_t expected) {
    if (offset < 0 || offset >= static_cast<std::int64_t>(bytes_.size()) || !withinBudget())
        return std::nullopt;
    PDFParser parser(bytes(), offset, [this](PDFRef ref) { return resolveLength(ref); });
    try {
        auto [ref, object] = parser.parseIndirectObject();
        addWork(work_, parser.reach() - offset);
        if (ref.number != expected) return std::nullopt;
        return std::move(object);
    } catch (const PDFError&) {
        addWork(work_, parser.reach() - offset);
        return std::nullopt;
    }
}

std::optional<std::int64_t> PDFFile::resolveLength(PDFRef ref) {
    const PDFObject* value = object(ref);
    for (int lookups = 1; value && value->reference() && lookups < kMaxLookups; ++lookups) {
        value = object(*value->reference());
    }
    if (!value || value->reference()) return std::nullopt;
    return value->integer();
}

// Decodes an object stream once and reads its header; its members are parsed one by one when
// they are looked up, so opening a file touches only the objects its page tree needs.
const PDFFile::ObjectStream& PDFFile::objectsInStream(std::int64_t number) {
    if (auto known = objectStreams_.find(number); known != objectStreams_.end())
        return known->second;
    ObjectStream result;
    const PDFObject* object = this->object(PDFRef(number));
    const PDFStream* stream = object ? object->stream() : nullptr;
    const PDFObject* nValue = stream ? stream->dictionary.get("N") : nullptr;
    const PDFObject* firstValue = stream ? stream->dictionary.get("First") : nullptr;
    const std::int64_t count = nValue ? nValue->integer().value_or(-1) : -1;
    const std::int64_t first = firstValue ? firstValue->integer().value_or(-1) : -1;
    if (count >= 0 && first >= 0 && withinBudget()) {
        bool readable = true;
        try {
            result.decoded = PDFFilters::decode(stream->data, stream->dictionary);
        } catch (const PDFError&) {
            readable = false;
            result.decoded.clear();
        }
        addWork(work_, static_cast<std::int64_t>(result.decoded.size()));
        if (readable) {
            const auto length = static_cast<std::int64_t>(result.decoded.size());
            PDFParser header(result.decoded);
            for (std::int64_t index = 0; index < count; ++index) {
                const auto member = headerInteger(header);
                if (!member) break;
                const auto offset = headerInteger(header);
                if (!offset) break;
                std::int64_t at = 0;
                if (*member < 0 || *member > maxObjectNumber || *offset < 0 ||
                    __builtin_add_overflow(first, *offset, &at) || at >= length) {
                    continue;
                }
                result.members.push_back(Member{*member, at, index});
            }
            addWork(work_, header.reach());
            // One member per number: the header's last pair for it.
            auto& members = result.members;
            std::stable_sort(members.begin(), members.end(),
                             [](const Member& a, const Member& b) { return a.number < b.number; });
            auto out = members.begin();
            for (auto it = members.begin(); it != members.end(); ++it) {
                if (it + 1 != members.end() && (it + 1)->number == it->number) continue;
                *out++ = *it;
            }
            members.erase(out, members.end());
            members.shrink_to_fit();
        }
    }
    return objectStreams_.try_emplace(number, std::move(result)).first->second;
}

const PDFFile::Member* PDFFile::ObjectStream::find(std::int64_t number) const {
    const auto it = std::lower_bound(
        members.begin(), members.end(), number,
        [](const Member& member, std::int64_t wanted) { return member.number < wanted; });
    return it != members.end() && it->number == number ? &*it : nullptr;
}

const PDFObject* PDFFile::resolve(const PDFObject* value) {
    for (int lookups = 0; value && value->reference() && lookups < kMaxLookups; ++lookups) {
        value = object(*value->reference());
    }
    return value;
}

bool PDFFile::isAbsent(const PDFObject* value) {
    for (int lookups = 0; value && value->reference() && lookups < kMaxLookups; ++lookups) {
        const PDFRef ref = *value->reference();
        auto entry = entries_.find(ref.number);
        if (entry == entries_.end() || entry->second.kind == Entry::Kind::free) return true;
        value = object(ref);
        if (!value) return false;
    }
    return !value || value->isNull();
}

const PDFObject* PDFFile::expect(const PDFObject* value, PDFObject::Kind kind,
                                 const char* damaged) {
    if (isAbsent(value)) return nullptr;
    const PDFObject* resolved = resolve(value);
    if (!resolved) throw PDFError(damaged);
    if (kind == PDFObject::Kind::dictionary ? !resolved->dictionary() : resolved->kind() != kind)
        throw PDFError(damaged);
    return resolved;
}

const PDFDictionary* PDFFile::dictionary(const PDFObject* value) {
    value = resolve(value);
    return value ? value->dictionary() : nullptr;
}

const PDFDictionary* PDFFile::catalog() {
    return dictionary(trailer_.get("Root"));
}

std::optional<PDFRef> PDFFile::catalogRef() const {
    const PDFObject* root = trailer_.get("Root");
    return root ? root->reference() : std::nullopt;
}

std::vector<PDFRef> PDFFile::pageRefs() { return pageRefs(std::stop_token()); }

std::vector<PDFRef> PDFFile::pageRefs(const std::stop_token& stop) {
    std::vector<PDFRef> pages;
    walkPages([&](PDFRef page) {
        if (stop.stop_requested()) return false;
        pages.push_back(page);
        return true;
    });
    return pages;
}

void PDFFile::walkPages(const std::function<bool(PDFRef page)>& visitPage,
                        const std::function<void()>& visitNode) {
    PageWalk walk(*this, visitNode);
    while (std::optional<PDFRef> page = walk.next())
        if (!visitPage(*page)) return;
}

PDFFile::PageWalk::PageWalk(PDFFile& file, std::function<void()> visitNode)
    : file_(file), visitNode_(std::move(visitNode)) {}

std::optional<PDFRef> PDFFile::PageWalk::next() {
    if (!started_) {
        started_ = true;
        const PDFDictionary* root = file_.catalog();
        const PDFObject* top = root ? root->get("Pages") : nullptr;
        if (!top) return std::nullopt;
        // The node may live in the catalog, which stays in the cache; copy it anyway, it is small.
        start_ = *top;
        enter(start_, 0);
    }
    // Depth first, the kids in their order, as far as the next page.
    while (!found_) {
        while (!levels_.empty() && levels_.back().next >= levels_.back().kids->size())
            levels_.pop_back();
        if (levels_.empty()) return std::nullopt;
        Level& level = levels_.back();
        const PDFObject& kid = (*level.kids)[level.next++];
        enter(kid, level.depth);  // may add a level: `level` is not used after it
    }
    std::optional<PDFRef> page = found_;
    found_.reset();
    return page;
}

void PDFFile::PageWalk::enter(const PDFObject& node, int depth) {
    if (depth >= kMaxTreeDepth) return;
    const auto ref = node.reference();
    if (!ref || !visited_.insert(ref->number).second) return;
    if (visitNode_) visitNode_();
    const PDFDictionary* dictionary = file_.dictionary(&node);
    if (!dictionary) return;
    const PDFObject* kids = file_.resolve(dictionary->get("Kids"));
    // Kept while its kids are read: the file's objects are never evicted.
    const auto* elements = kids ? kids->array() : nullptr;
    const PDFObject* type = dictionary->get("Type");
    if (!elements || (type && type->name() && *type->name() == "Page")) {
        found_ = *ref;
        return;
    }
    levels_.push_back({elements, 0, depth + 1});
}

const PDFObject* PDFFile::inherited(std::string_view key, PDFRef page) {
    const PDFObject* value = object(page);
    for (int lookups = 1; value && value->reference() && lookups < kMaxLookups; ++lookups) {
        value = object(*value->reference());
    }
    const PDFDictionary* dictionary = value && !value->reference() ? value->dictionary() : nullptr;
    for (int level = 0; dictionary && level < kMaxParentChain; ++level) {
        if (const PDFObject* found = dictionary->get(key)) return resolve(found);
        const PDFObject* parent = dictionary->get("Parent");
        if (!parent) return nullptr;
        dictionary = this->dictionary(parent);
    }
    return nullptr;
}

std::int64_t PDFFile::size() const {
    const std::int64_t fromEntries = entries_.empty() ? 1 : entries_.rbegin()->first + 1;
    std::int64_t fromTrailer = 0;
    if (const PDFObject* size = trailer_.get("Size")) {
        const auto value = size->integer();
        if (value && *value >= 0 && *value <= maxObjectNumber) fromTrailer = *value;
    }
    return std::max(fromEntries, fromTrailer);
}
