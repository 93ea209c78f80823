#include "document/formfill/TabOrder.h"

#include <algorithm>
#include <cmath>

namespace TabOrder {

namespace {

bool editable(const FormUnit& unit) {
    return !unit.fields.empty() && unit.first().kind != FormField::Kind::check && !unit.first().readOnly;
}

}  // namespace

long band(double centreY) { return std::lround(centreY / bandHeight); }

std::vector<int> order(const std::vector<FormUnit>& units) {
    struct Key {
        int page;
        long band;
        double x;
        int id;
    };
    std::vector<Key> keys;
    keys.reserve(units.size());
    for (const FormUnit& unit : units) {
        if (!editable(unit)) continue;
        const FormField& f = unit.first();
        keys.push_back({f.pageIndex, band(f.rect.midY()), f.rect.minX(), f.id});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.page != b.page) return a.page < b.page;
        if (a.band != b.band) return a.band > b.band;
        return a.x < b.x;
    });
    std::vector<int> ids;
    ids.reserve(keys.size());
    for (const Key& k : keys) ids.push_back(k.id);
    return ids;
}

std::optional<int> next(const std::vector<FormUnit>& units, int id, bool forward) {
    const auto unit = std::find_if(units.begin(), units.end(), [id](const FormUnit& u) {
        return std::any_of(u.fields.begin(), u.fields.end(), [id](const FormField& f) { return f.id == id; });
    });
    if (unit == units.end() || unit->fields.empty()) return std::nullopt;
    const std::vector<int> ids = order(units);
    const auto at = std::find(ids.begin(), ids.end(), unit->id());
    if (at == ids.end()) return std::nullopt;
    if (forward) {
        if (std::next(at) == ids.end()) return std::nullopt;
        return *std::next(at);
    }
    if (at == ids.begin()) return std::nullopt;
    return *std::prev(at);
}

}  // namespace TabOrder
