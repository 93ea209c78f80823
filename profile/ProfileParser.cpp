// The parse driver: a fixed sequence of recognisers over the whole text, then line by line.
#include "profile/ProfileParser.h"

#include "profile/Address.h"
#include "profile/Identity.h"
#include "profile/LabelledLine.h"
#include "profile/Postcode.h"
#include "profile/RegistroMercantil.h"
#include "profile/Representation.h"
#include "profile/UnicodeText.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace ProfileParser {

namespace {

// Trimmed lines this long are paragraphs of free text.
constexpr std::size_t kParagraphLength = 161;
// Company-name lines are at most this long.
constexpr std::size_t kCompanyNameLength = 80;
// A heading line has at most this many words.
constexpr std::size_t kHeadingWords = 3;

using Owner = ProfileFact::Owner;

bool isValueEdge(UChar32 c) { return c == ',' || c == ';' || c == '.' || UnicodeText::isWhitespaceOrNewline(c); }

// An abbreviation's own full stop is looked for within this many last characters of a value.
constexpr int32_t kAbbreviationTail = 40;

// True when the text ends with an abbreviation whose full stop has been cut off: a company form
// (S.L, S.A, S.L.U, S.L.L, S.Coop, S.C), a dotted abbreviation (U.T.E, p.ej) or a common
// abbreviation of addresses and titles (Dcha, Avda, Cía, etc).
bool endsWithAbbreviation(const icu::UnicodeString& text) {
    const int32_t from = std::max<int32_t>(0, text.length() - kAbbreviationTail);
    const std::string tail = UnicodeText::toUtf8(icu::UnicodeString(text, from));
    static const char* const patterns[] = {
        R"re((?i)(?<![\p{L}\d.])s\.\s?(?:l(?:\.\s?[ulp])?|a(?:\.\s?u)?|coop|c)$)re",
        R"re((?<![\p{L}\d.@/:_-])(?:\p{L}{1,2}\.)+\p{L}{1,4}$)re",
        R"re((?i)(?<![\p{L}\d.])(?:dcha|izda|izq|avda|c[ií]a|hnos|sra|srta|sr|dña|dra|dr|etc|n[uú]m|apdo|ctra|pza|admón|excmo|excma|ilmo|ilma)$)re",
    };
    for (const char* pattern : patterns) {
        if (!matches(pattern, tail).empty()) return true;
    }
    return false;
}

// A value as recorded: white space, commas, semicolons and full stops trimmed from both ends,
// except the full stop that closes an abbreviation the value ends with ("Río Tajo, S.L."): it is
// part of the value, while a sentence's own full stop is not. Addresses of the net keep no stop.
std::string trimmedValue(std::string_view value, const std::string& kind) {
    const icu::UnicodeString s = UnicodeText::fromUtf8(value);
    const icu::UnicodeString kept = UnicodeText::trimmedU(s, isValueEdge);
    if (kept.isEmpty() || kind == "email" || kind == "web") return UnicodeText::toUtf8(kept);
    // Where the kept text ends in the value: the trim removes whole code points from the ends.
    int32_t start = 0;
    while (start < s.length() && isValueEdge(s.char32At(start))) start += U16_LENGTH(s.char32At(start));
    const int32_t end = start + kept.length();
    if (end < s.length() && s.charAt(end) == u'.' && endsWithAbbreviation(kept)) {
        return UnicodeText::toUtf8(kept) + ".";
    }
    return UnicodeText::toUtf8(kept);
}

// The accepted facts of one parse, with the text they came from.
class Collector {
public:
    void add(Owner owner, const std::string& kind, std::string_view value, TextRange range,
             std::map<std::string, std::string> parts = {}) {
        std::string trimmed = trimmedValue(value, kind);
        if (trimmed.empty()) return;
        auto key = std::make_tuple(owner, UnicodeText::canonical(kind), UnicodeText::canonical(trimmed));
        if (!seen_.insert(std::move(key)).second) return;
        facts_.push_back({owner, kind, std::move(trimmed), range, std::move(parts)});
        markUsed(range);
        const ProfileFact& added = facts_.back();
        if (added.kind.rfind("domicilio", 0) == 0 && !added.parts.count("cp")) openAddresses_.push_back(facts_.size() - 1);
    }

    // Gives the postcode of a line to the latest address fact before the line that has none.
    void attachPostcode(const Postcode& postcode, TextRange line) {
        for (std::size_t k = openAddresses_.size(); k-- > 0;) {
            ProfileFact& address = facts_[openAddresses_[k]];
            if (address.range.end > line.start) continue;
            address.parts["cp"] = postcode.code;
            if (!postcode.town.empty()) address.parts["municipio"] = postcode.town;
            openAddresses_.erase(openAddresses_.begin() + static_cast<std::ptrdiff_t>(k));
            return;
        }
    }

    // True when the range overlaps the range of an accepted fact.
    bool isUsed(TextRange r) const {
        if (r.empty()) return false;
        // used_ holds disjoint non-empty intervals keyed by start; the candidate is the last one
        // starting before r ends.
        auto it = used_.lower_bound(r.end);
        if (it == used_.begin()) return false;
        --it;
        return it->second > r.start;
    }

    std::vector<ProfileFact>& facts() { return facts_; }

private:
    void markUsed(TextRange r) {
        if (r.empty()) return;
        std::size_t start = r.start, end = r.end;
        auto it = used_.upper_bound(start);
        if (it != used_.begin()) {
            auto prev = std::prev(it);
            if (prev->second >= start) {
                start = prev->first;
                end = std::max(end, prev->second);
                it = used_.erase(prev);
            }
        }
        while (it != used_.end() && it->first <= end) {
            end = std::max(end, it->second);
            it = used_.erase(it);
        }
        used_[start] = end;
    }

    std::vector<ProfileFact> facts_;
    std::set<std::tuple<Owner, std::string, std::string>> seen_;
    std::map<std::size_t, std::size_t> used_;
    // Positions in facts_ of the address facts without a postcode, in list order.
    std::vector<std::size_t> openAddresses_;
};

std::string joined(const std::vector<std::string>& groups) {
    std::string out;
    for (const std::string& g : groups) out += g;
    return out;
}

// The characters of the text that are decimal digits.
std::string digitsOf(std::string_view text) {
    return UnicodeText::filtered(text, [](UChar32 c) { return u_isdigit(c) != 0; });
}

bool containsFiscal(const std::string& heading) {
    return UnicodeText::fromUtf8(heading).foldCase().indexOf(icu::UnicodeString(u"fiscal")) >= 0;
}

bool isHeading(const std::string& line) {
    std::size_t pieces = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i == line.size()) break;
        ++pieces;
        while (i < line.size() && line[i] != ' ') ++i;
    }
    return pieces <= kHeadingWords && !UnicodeText::hasDecimalDigit(line);
}

}  // namespace

std::vector<ProfileFact> facts(std::string_view text) {
    Collector c;
    const Representation clause(text);
    const Owner main = mainOwner(text);

    // 1. CIF.
    for (const Match& m : matches(R"re(\b([A-HJNP-SUVW])[-\s]?(\d{7})[-\s]?([0-9A-J])\b)re", text)) {
        std::string candidate = joined(m.groups);
        if (Identity::isCIF(candidate)) c.add(Owner::company, "nif", candidate, m.range);
    }
    // 2. DNI and NIE.
    for (const Match& m : matches(R"re(\b([XYZ]?)[-\s]?(\d{7,8})[-\s]?([A-Z])\b)re", text)) {
        std::string candidate = joined(m.groups);
        if (!Identity::isDNI(candidate)) continue;
        Owner owner = clause.found || clause.personIDs.count(candidate) ? Owner::representative : Owner::person;
        c.add(owner, "nif", candidate, m.range);
    }
    // 3. IBAN.
    for (const Match& m : matches(R"re(\b([A-Z]{2}\d{2}(?:[ ]?[A-Z0-9]{4}){4,7}(?:[ ]?[A-Z0-9]{1,3})?)\b)re", text)) {
        std::string compact;
        for (char ch : m.groups[0]) {
            if (ch != ' ') compact += ch;
        }
        if (Identity::isIBAN(compact)) c.add(main, "iban", Identity::grouped(compact), m.range);
    }
    // 4. E-mail.
    for (const Match& m : matches(R"re([\w.+-]+@[\w-]+(?:\.[\w-]+)+)re", text)) c.add(main, "email", m.whole, m.range);
    // 5. Telephone.
    for (const Match& m :
         matches(R"re((?<![\d\w])(?:\+?34[\s.-]?|0034[\s.-]?)?([6789](?:[\s.-]?\d){8})(?![\d]))re", text)) {
        if (c.isUsed(m.range)) continue;
        std::string digits = digitsOf(m.groups[0]);
        if (digits.empty()) continue;
        const char* kind = (digits[0] == '6' || digits[0] == '7') ? "movil" : "telefono";
        c.add(main, kind, Identity::phone(digits), m.range);
    }
    // 6. DUNS.
    for (const Match& m : matches(R"re((?i)\bD-?U-?N-?S\b\D{0,12}(\d{2}-?\d{3}-?\d{4})\b)re", text)) {
        c.add(Owner::company, "duns", digitsOf(m.groups[0]), m.range);
    }
    // 7. Registry entry.
    if (auto entry = RegistroMercantil::from(text)) c.add(Owner::company, "registro_mercantil", entry->value, entry->range);
    // 8. Representation clause.
    if (clause.found) {
        if (clause.name) c.add(Owner::representative, "nombre_completo", clause.name->value, clause.name->range);
        if (clause.role) c.add(Owner::representative, "cargo", clause.role->value, clause.role->range);
        if (clause.deed) c.add(Owner::representative, "poder", clause.deed->value, clause.deed->range);
        if (const auto& a = clause.registeredAddress) {
            c.add(Owner::company, "domicilio_social", a->value, a->range, Address::parts(a->value));
        }
        if (clause.company) c.add(Owner::company, "razon_social", clause.company->value, clause.company->range);
    }
    // 9. Lines.
    std::string heading;
    for (const Line& line : lines(text)) {
        const std::string trimmed = UnicodeText::trimBlanks(line.text);
        if (trimmed.empty()) continue;

        if (UnicodeText::graphemeCount(trimmed) >= kParagraphLength) {
            std::string value = trimmed;
            auto label = matches(R"re(^[\p{L} ]{1,30}:\s*)re", trimmed);
            if (!label.empty() && label.front().range.start == 0) {
                value = UnicodeText::toUtf8(
                    icu::UnicodeString(UnicodeText::fromUtf8(trimmed), static_cast<int32_t>(label.front().range.end)));
            }
            bool isClause = clause.found && clause.range && clause.range->overlaps(line.range);
            c.add(Owner::text, isClause ? "clausula_representacion" : "parrafo", value, line.range);
            continue;
        }

        if (auto labelled = LabelledLine::from(line.text, line.range, text)) {
            if (labelled->kind) {
                if (!c.isUsed(labelled->valueRange) || *labelled->kind == "fecha_constitucion") {
                    c.add(labelled->owner(main), *labelled->kind, labelled->value, labelled->valueRange);
                }
            } else if (!c.isUsed(labelled->valueRange) && !labelled->isContainer) {
                c.add(main, labelled->label, labelled->value, labelled->valueRange);
            }
            if (labelled->isContainer) heading = labelled->label;
            continue;
        }

        static const char* const legalForm =
            R"re((?i)\b(s\.?\s?l\.?(\s?u\.?|\s?p\.?)?|s\.?\s?a\.?(\s?u\.?)?|s\.?\s?coop\.?|s\.?\s?l\.?\s?l\.?)$)re";
        if (!matches(legalForm, trimmed).empty() && UnicodeText::graphemeCount(trimmed) <= kCompanyNameLength &&
            !c.isUsed(line.range)) {
            c.add(Owner::company, "razon_social", trimmed, line.range);
            continue;
        }

        if (auto address = Address::from(trimmed); address && !c.isUsed(line.range)) {
            c.add(main, containsFiscal(heading) ? "domicilio_fiscal" : "domicilio", address->street, line.range,
                  Address::parts(address->street));
            continue;
        }

        if (auto postcode = Postcode::from(trimmed)) {
            c.add(main, "cp", postcode->code, line.range);
            if (!postcode->town.empty()) c.add(main, "municipio", postcode->town, line.range);
            c.attachPostcode(*postcode, line.range);
            continue;
        }

        if (isHeading(trimmed)) heading = trimmed;
    }
    return std::move(c.facts());
}

}  // namespace ProfileParser
