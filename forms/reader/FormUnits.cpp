// Rows of one-character boxes joined into units (a disjoint-set forest over the candidates).
#include <algorithm>
#include <cmath>
#include <numeric>

#include "forms/reader/FormReader.h"

namespace FormReader {
namespace {

// A box: a text field of one or two characters, or one this narrow.
constexpr double boxWidth = 22;
// Boxes of one row stand close in reading order.
constexpr int maxIdDistance = 60;
// Same row: bottoms and heights within this.
constexpr double rowTolerance = 3;
// Horizontal gap between neighbours: from this overlap up to 1.3 times the wider box.
constexpr double minGap = -2;
constexpr double gapFactor = 1.3;
// A row of boxes has at least this many.
constexpr std::size_t minBoxes = 3;

bool isCandidate(const FormField& f) {
    return f.kind == FormField::Kind::text &&
           (f.maxLength == 1 || f.maxLength == 2 || f.rect.width <= boxWidth);
}

bool joinable(const FormField& a, const FormField& b) {
    if (a.pageIndex != b.pageIndex) return false;
    if (!(std::abs(a.rect.minY() - b.rect.minY()) <= rowTolerance)) return false;
    if (!(std::abs(a.rect.height - b.rect.height) <= rowTolerance)) return false;
    double gap = std::max(b.rect.minX() - a.rect.maxX(), a.rect.minX() - b.rect.maxX());
    return gap >= minGap && gap <= gapFactor * std::max(a.rect.width, b.rect.width);
}

// Disjoint sets over positions, with path halving.
class Forest {
public:
    explicit Forest(std::size_t n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }
    std::size_t root(std::size_t x) {
        while (parent_[x] != x) {
            parent_[x] = parent_[parent_[x]];
            x = parent_[x];
        }
        return x;
    }
    void join(std::size_t a, std::size_t b) { parent_[root(a)] = root(b); }

private:
    std::vector<std::size_t> parent_;
};

}  // namespace

std::vector<FormUnit> units(const std::vector<FormField>& fields) {
    std::vector<const FormField*> editable;
    for (const FormField& f : fields)
        if (!f.readOnly && !f.isTick()) editable.push_back(&f);

    std::vector<std::size_t> candidates;  // positions in `editable`
    for (std::size_t i = 0; i < editable.size(); ++i)
        if (isCandidate(*editable[i])) candidates.push_back(i);

    // Join in id order, so that the inner loop stops once the id distance is passed.
    std::vector<std::size_t> byId(candidates.size());
    std::iota(byId.begin(), byId.end(), 0);
    std::stable_sort(byId.begin(), byId.end(), [&](std::size_t x, std::size_t y) {
        return editable[candidates[x]]->id < editable[candidates[y]]->id;
    });
    Forest forest(candidates.size());
    for (std::size_t p = 0; p < byId.size(); ++p) {
        const FormField& a = *editable[candidates[byId[p]]];
        for (std::size_t q = p + 1; q < byId.size(); ++q) {
            const FormField& b = *editable[candidates[byId[q]]];
            if (static_cast<long long>(b.id) - a.id > maxIdDistance) break;
            if (a.id < b.id && joinable(a, b)) forest.join(byId[p], byId[q]);
        }
    }

    // Sets in the order of their first member, members in candidate order.
    std::vector<std::vector<std::size_t>> sets;
    std::vector<std::size_t> setOfRoot(candidates.size(), SIZE_MAX);
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        std::size_t r = forest.root(c);
        if (setOfRoot[r] == SIZE_MAX) {
            setOfRoot[r] = sets.size();
            sets.emplace_back();
        }
        sets[setOfRoot[r]].push_back(c);
    }

    std::vector<FormUnit> out;
    std::vector<bool> inBoxes(editable.size(), false);
    for (const std::vector<std::size_t>& set : sets) {
        if (set.size() < minBoxes) continue;
        FormUnit unit;
        for (std::size_t c : set) {
            unit.fields.push_back(*editable[candidates[c]]);
            inBoxes[candidates[c]] = true;
        }
        std::stable_sort(
            unit.fields.begin(), unit.fields.end(),
            [](const FormField& a, const FormField& b) { return a.rect.minX() < b.rect.minX(); });
        out.push_back(std::move(unit));
    }
    for (std::size_t i = 0; i < editable.size(); ++i)
        if (!inBoxes[i]) out.push_back(FormUnit{{*editable[i]}});

    std::stable_sort(out.begin(), out.end(), [](const FormUnit& u, const FormUnit& v) {
        const FormField& a = u.first();
        const FormField& b = v.first();
        if (a.pageIndex != b.pageIndex) return a.pageIndex < b.pageIndex;
        if (a.rect.minY() != b.rect.minY()) return a.rect.minY() > b.rect.minY();
        return a.rect.minX() < b.rect.minX();
    });
    return out;
}

}  // namespace FormReader
