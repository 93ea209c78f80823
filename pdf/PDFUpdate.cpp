#include "pdf/PDFUpdate.h"

#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFSecurity.h"
#include "pdf/PDFSerializer.h"

#include <algorithm>
#include <charconv>

namespace {

// The largest value of the 5-byte offset field of a cross-reference stream row.
constexpr std::int64_t kMaxStreamField2 = (std::int64_t{1} << 40) - 1;
// The largest value of the 2-byte third field.
constexpr std::int64_t kMaxStreamField3 = 65535;

void appendInt(std::string& out, std::int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendDigits(char* at, std::int64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

PDFError tooLarge() {
    return PDFError("El PDF es demasiado grande para escribir su tabla de referencias cruzadas.");
}

// Calls `run(first, count)` for each run of consecutive numbers of an ascending sequence.
template <typename Numbers, typename Run>
void forEachRun(const Numbers& numbers, Run&& run) {
    auto it = numbers.begin();
    while (it != numbers.end()) {
        const std::int64_t first = *it;
        std::int64_t count = 1;
        auto next = std::next(it);
        while (next != numbers.end() && *next == first + count) {
            ++count;
            ++next;
        }
        run(first, count, it, next);
        it = next;
    }
}

}  // namespace

PDFUpdate::PDFUpdate(const PDFFile& file) : file_(&file), nextNumber_(file.size()) {}

PDFRef PDFUpdate::allocate() {
    const PDFRef ref(nextNumber_, 0);
    ++nextNumber_;
    return ref;
}

void PDFUpdate::checkRef(PDFRef ref) const {
    if (ref.number < 1 || ref.number > PDFFile::maxObjectNumber)
        throw PDFError("El objeto " + ref.description() +
                       " no tiene un número que pueda escribirse en la actualización del PDF.");
    if (ref.generation < 0 || ref.generation > maxGeneration)
        throw PDFError("El objeto " + ref.description() +
                       " tiene una generación fuera del intervalo de 0 a 65535.");
    const auto it = generations_.find(ref.number);
    if (it != generations_.end() && it->second != ref.generation)
        throw PDFError("El objeto " + std::to_string(ref.number) +
                       " no puede escribirse con dos generaciones en la misma actualización.");
}

void PDFUpdate::set(PDFRef ref, const PDFObject& object) {
    checkRef(ref);
    // The encryption dictionary itself is never encrypted.
    const PDFSecurity* security = file_->security();
    if (security && file_->encryptNumber() != ref.number)
        setRaw(ref, PDFSerializer::data(security->encrypt(object, ref)));
    else
        setRaw(ref, PDFSerializer::data(object));
}

void PDFUpdate::setRaw(PDFRef ref, std::string body) {
    checkRef(ref);
    auto [it, inserted] = bodies_.try_emplace(ref, std::move(body));
    if (!inserted) {
        it->second = std::move(body);
        return;
    }
    generations_.emplace(ref.number, ref.generation);
    order_.push_back(ref);
}

std::string PDFUpdate::classicEntry(std::int64_t offset, std::int64_t generation) {
    if (offset < 0 || offset > maxClassicOffset) throw tooLarge();
    if (generation < 0 || generation > maxGeneration)
        throw PDFError("Una generación fuera del intervalo de 0 a 65535 no cabe en la tabla de referencias cruzadas.");
    std::string entry = "0000000000 00000 n \n";
    appendDigits(entry.data(), offset, 10);
    appendDigits(entry.data() + 11, generation, 5);
    return entry;
}

namespace {

// Appends one 8-byte cross-reference stream row for W [1 5 2]; throws as streamRow().
void appendStreamRow(std::string& out, std::int64_t type, std::int64_t field2,
                     std::int64_t field3) {
    if (field3 < 0 || field3 > kMaxStreamField3)
        throw PDFError("Una generación o posición fuera del intervalo de 0 a 65535 no cabe en la tabla de "
                       "referencias cruzadas.");
    if (type < 0 || type > 255 || field2 < 0 || field2 > kMaxStreamField2) throw tooLarge();
    const char row[8] = {static_cast<char>(type),
                         static_cast<char>((field2 >> 32) & 0xFF),
                         static_cast<char>((field2 >> 24) & 0xFF),
                         static_cast<char>((field2 >> 16) & 0xFF),
                         static_cast<char>((field2 >> 8) & 0xFF),
                         static_cast<char>(field2 & 0xFF),
                         static_cast<char>((field3 >> 8) & 0xFF),
                         static_cast<char>(field3 & 0xFF)};
    out.append(row, sizeof row);
}

}  // namespace

std::string PDFUpdate::streamRow(std::int64_t type, std::int64_t field2, std::int64_t field3) {
    std::string row;
    appendStreamRow(row, type, field2, field3);
    return row;
}

PDFUpdate::Result PDFUpdate::write() const { return build(true, false); }

PDFUpdate::Result PDFUpdate::writeUpdate() const { return build(false, false); }

PDFUpdate::Result PDFUpdate::writeUpdateWithWholeTable() const { return build(false, true); }

PDFUpdate::Result PDFUpdate::build(bool withOld, bool wholeTable) const {
    const PDFFile& file = *file_;
    const std::string_view old = file.bytes();
    const bool rebuilt = file.wasReconstructed();
    // A rebuilt table has no section a /Prev could name: the update's stream lists it whole.
    const bool whole = wholeTable || rebuilt;
    const bool classic = !file.usesXRefStream() && !whole;

    std::size_t bodiesSize = 0;
    for (const auto& [ref, body] : bodies_) bodiesSize += body.size() + 48;
    std::size_t tailSize = 1024 + 24 * order_.size();
    if (whole) tailSize += 8 * (file.entries().size() + 1);

    Result result;
    std::string& out = result.data;
    // Offsets count from the start of the whole new file, whether or not `out` holds the old
    // bytes.
    std::int64_t base = 0;
    out.reserve((withOld ? old.size() : 0) + 1 + bodiesSize + tailSize);
    if (withOld)
        out += old;
    else
        base = static_cast<std::int64_t>(old.size());
    if (!old.empty() && old.back() != '\n' && old.back() != '\r') out.push_back('\n');
    const auto here = [&] { return base + static_cast<std::int64_t>(out.size()); };

    for (const PDFRef& ref : order_) {
        result.offsets[ref] = here();
        appendInt(out, ref.number);
        out.push_back(' ');
        appendInt(out, ref.generation);
        out += " obj\n";
        out += bodies_.at(ref);
        out += "\nendobj\n";
    }

    PDFDictionary trailer;
    for (const char* key : {"Root", "Info", "ID", "Encrypt"})
        if (const PDFObject* value = file.trailer().get(key)) trailer.set(key, *value);
    if (!whole) trailer.set("Prev", PDFObject::integer(file.lastXRefOffset()));

    // The update's objects by number (one generation per number).
    std::map<std::int64_t, PDFRef> numbers;
    for (const PDFRef& ref : order_) numbers.emplace(ref.number, ref);
    const std::int64_t highest = numbers.empty() ? 0 : numbers.rbegin()->first;

    if (classic) {
        trailer.set("Size", PDFObject::integer(std::max(file.size(), highest + 1)));
        const auto xrefOffset = here();
        out += "xref\n";
        std::vector<std::int64_t> sorted;
        sorted.reserve(numbers.size());
        for (const auto& [number, ref] : numbers) sorted.push_back(number);
        forEachRun(sorted, [&](std::int64_t first, std::int64_t count, auto begin, auto end) {
            appendInt(out, first);
            out.push_back(' ');
            appendInt(out, count);
            out.push_back('\n');
            for (auto it = begin; it != end; ++it) {
                const PDFRef& ref = numbers.at(*it);
                out += classicEntry(result.offsets.at(ref), ref.generation);
            }
        });
        out += "trailer\n";
        PDFSerializer::write(trailer, out);
        out += "\nstartxref\n";
        appendInt(out, xrefOffset);
        out += "\n%%EOF\n";
        return result;
    }

    // A cross-reference stream, uncompressed and never encrypted: its rows in ascending number
    // order, the update's object winning over the file's entry of the same number, and the
    // stream's own row last. Runs of consecutive numbers make its /Index.
    std::string data;
    data.reserve(8 * ((whole ? file.entries().size() : 0) + numbers.size() + 2));
    std::vector<PDFObject> index;
    std::int64_t runFirst = 0;
    std::int64_t runCount = 0;
    const auto endRun = [&] {
        if (runCount == 0) return;
        index.push_back(PDFObject::integer(runFirst));
        index.push_back(PDFObject::integer(runCount));
    };
    const auto add = [&](std::int64_t number, std::int64_t type, std::int64_t field2,
                         std::int64_t field3) {
        if (runCount == 0 || number != runFirst + runCount) {
            endRun();
            runFirst = number;
            runCount = 0;
        }
        ++runCount;
        appendStreamRow(data, type, field2, field3);
    };
    auto next = numbers.begin();
    // The update's objects numbered below `limit`.
    const auto addUpdateBelow = [&](std::int64_t limit) {
        for (; next != numbers.end() && next->first < limit; ++next)
            add(next->first, 1, result.offsets.at(next->second), next->second.generation);
    };
    if (whole) {
        add(0, 0, 0, 65535);
        for (const auto& [number, entry] : file.entries()) {
            if (number < 1 || entry.kind == PDFFile::Entry::Kind::free) continue;
            addUpdateBelow(number);
            if (next != numbers.end() && next->first == number) continue;
            if (entry.kind == PDFFile::Entry::Kind::offset)
                add(number, 1, entry.offset(), entry.generation());
            else
                add(number, 2, entry.stream(), entry.index());
        }
    }
    const std::int64_t streamNumber = std::max(nextNumber_, highest + 1);
    addUpdateBelow(streamNumber);
    const auto streamOffset = here();
    add(streamNumber, 1, streamOffset, 0);
    endRun();
    PDFDictionary dictionary{
        {"Type", PDFObject::name("XRef")},
        {"Size", PDFObject::integer(std::max(file.size(), streamNumber + 1))},
        {"W", PDFObject::array({PDFObject::integer(1), PDFObject::integer(5), PDFObject::integer(2)})},
        {"Index", PDFObject::array(std::move(index))},
    };
    for (const auto& [key, value] : trailer) dictionary.set(key, value);

    appendInt(out, streamNumber);
    out += " 0 obj\n";
    PDFSerializer::write(PDFObject::stream(std::move(dictionary), std::move(data)), out);
    out += "\nendobj\nstartxref\n";
    appendInt(out, streamOffset);
    out += "\n%%EOF\n";
    return result;
}
