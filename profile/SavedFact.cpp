#include "profile/SavedFact.h"

#include "profile/UnicodeText.h"

namespace {

bool sameSubject(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (!a || !b) return !a && !b;
    return UnicodeText::sameText(*a, *b);
}

bool sameParts(const std::map<std::string, std::string>& a, const std::map<std::string, std::string>& b) {
    if (a.size() != b.size()) return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (!UnicodeText::sameText(i->first, j->first) || !UnicodeText::sameText(i->second, j->second)) return false;
    }
    return true;
}

}  // namespace

bool SavedFact::sameSlot(const SavedFact& other) const {
    if (!UnicodeText::sameText(owner, other.owner) || !UnicodeText::sameText(kind, other.kind)) return false;
    if (!sameSubject(subject, other.subject)) return false;
    return owner != "texto" || UnicodeText::sameText(value, other.value);
}

SavedFact::Slot SavedFact::slot() const {
    std::optional<std::string> canonicalSubject;
    if (subject) canonicalSubject = UnicodeText::canonical(*subject);
    return {UnicodeText::canonical(owner), UnicodeText::canonical(kind),
            std::move(canonicalSubject),
            owner == "texto" ? UnicodeText::canonical(value) : std::string()};
}

bool SavedFact::operator==(const SavedFact& other) const {
    return updated == other.updated && UnicodeText::sameText(owner, other.owner) &&
           UnicodeText::sameText(kind, other.kind) && UnicodeText::sameText(value, other.value) &&
           sameSubject(subject, other.subject) && sameParts(parts, other.parts);
}
