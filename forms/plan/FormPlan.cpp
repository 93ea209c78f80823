// The plan's read-only views and the edits the document window makes to it.

#include "forms/plan/FormPlan.h"

#include <algorithm>
#include <array>

namespace {

// Labels whose typed values can be kept as saved facts.
constexpr std::array<std::string_view, 10> rememberable = {
    "contacto.email",     "contacto.telefono", "contacto.movil", "contacto.fax",
    "domicilio.completo", "banco.iban",        "banco.bic",      "titular.nombre_comercial",
    "titular.actividad",  "representante.cargo",
};

// The saved kind of a label's last component.
std::string kindOf(const std::string& label) {
    std::string last;
    std::size_t start = 0;
    while (start <= label.size()) {
        std::size_t end = label.find('.', start);
        if (end == std::string::npos) end = label.size();
        if (end > start) last = label.substr(start, end - start);
        start = end + 1;
    }
    if (last == "completo") return "domicilio";
    if (last == "actividad") return "cnae";
    return last;
}

}  // namespace

std::vector<FillItem> FormPlan::written() const {
    std::vector<FillItem> out;
    for (const FillItem& item : items)
        if (item.isWritten()) out.push_back(item);
    return out;
}

int FormPlan::count(FillItem::State state) const {
    return static_cast<int>(std::count_if(items.begin(), items.end(),
                                          [state](const FillItem& item) { return item.state == state; }));
}

bool FormPlan::canRemember(std::string_view label) {
    return std::find(rememberable.begin(), rememberable.end(), label) != rememberable.end();
}

std::vector<SavedFact> FormPlan::remembered(const Certificate& certificate,
                                            std::chrono::system_clock::time_point now) const {
    std::vector<SavedFact> out;
    for (const FillItem& item : items) {
        if (!item.remember || item.value.empty() || !item.label || !canRemember(item.label->label)) continue;
        const std::string& label = item.label->label;
        SavedFact fact;
        if (label.starts_with("representante."))
            fact.owner = "representante";
        else if (role == Role::representative)
            fact.owner = certificate.organization ? "empresa" : "representante";
        else
            fact.owner = "persona";
        fact.kind = kindOf(label);
        fact.value = item.value;
        fact.subject = fact.owner == "empresa" ? certificate.organizationID : certificate.idNumber;
        fact.updated = now;
        out.push_back(std::move(fact));
    }
    return out;
}

namespace {

FillItem* find(std::vector<FillItem>& items, int fieldID) {
    const auto found =
        std::find_if(items.begin(), items.end(), [fieldID](const FillItem& item) { return item.field.id == fieldID; });
    return found == items.end() ? nullptr : &*found;
}

}  // namespace

void FormPlan::set(const std::string& value, int fieldID, bool remember) {
    FillItem* item = find(items, fieldID);
    if (!item) return;
    item->value = value;
    if (value.empty()) {
        item->state = FillItem::State::yours;
        item->source.reset();
    } else {
        item->state = FillItem::State::filled;
        item->source = Source::typed;
    }
    item->remember = remember;
}

void FormPlan::setState(int fieldID, FillItem::State state) {
    FillItem* item = find(items, fieldID);
    if (!item) return;
    item->value.clear();
    item->source.reset();
    item->state = state;
}

void FormPlan::untick(int fieldID) { setState(fieldID, FillItem::State::other); }

void FormPlan::clear(int fieldID) { setState(fieldID, FillItem::State::yours); }

void FormPlan::confirm(const std::set<int>& fieldIDs) {
    if (fieldIDs.empty()) return;
    // Like every edit, only the first item of an id (the planner never makes two).
    std::set<int> met;
    for (FillItem& item : items) {
        if (!fieldIDs.contains(item.field.id) || !met.insert(item.field.id).second) continue;
        if (item.state == FillItem::State::suggested) item.state = FillItem::State::filled;
    }
}

void FormPlan::confirmSuggestions() {
    std::set<int> ids;
    for (const FillItem& item : items)
        if (item.state == FillItem::State::suggested) ids.insert(item.field.id);
    confirm(ids);
}
