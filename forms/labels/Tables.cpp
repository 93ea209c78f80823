#include "forms/labels/Tables.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <unordered_map>

#include "forms/reader/FormField.h"

namespace {

// Fields whose minimum y differ by at most this are on one row.
constexpr double kRowTolerance = 2;
// A row needs this many fields to be a table row; a table needs this many rows.
constexpr std::size_t kMinRowFields = 3;
constexpr std::size_t kMinTableRows = 4;
// Rows of one table follow within this many of the last row's heights, plus a fixed margin.
constexpr double kGapHeights = 3;
constexpr double kGapMargin = 12;
// The signature quantum: positions and widths compare to within 3 points.
constexpr double kSignatureStep = 3;

using FieldRow = std::vector<const FormField*>;
using FieldTable = std::vector<FieldRow>;

// Each field's minimum x and width in steps of 3 points, rounded half away from zero.
bool sameSignature(const FieldRow& a, const FieldRow& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Rect& ra = a[i]->rect;
        const Rect& rb = b[i]->rect;
        if (std::round(ra.minX() / kSignatureStep) != std::round(rb.minX() / kSignatureStep) ||
            std::round(ra.width / kSignatureStep) != std::round(rb.width / kSignatureStep)) {
            return false;
        }
    }
    return true;
}

void pageTables(std::vector<const FormField*> fields, std::vector<FieldTable>& out) {
    std::stable_sort(fields.begin(), fields.end(), [](const FormField* a, const FormField* b) {
        return a->rect.minY() > b->rect.minY();
    });
    // Rows are made top to bottom, so the minimum y of their first fields falls from row to row
    // and every earlier row starts at or above the field in hand: the first row within reach is
    // the first one not more than the tolerance above it, and that point only moves down.
    std::vector<FieldRow> rows;
    std::size_t reach = 0;
    for (const FormField* field : fields) {
        const double y = field->rect.minY();
        while (reach < rows.size() && rows[reach].front()->rect.minY() - y > kRowTolerance) ++reach;
        if (reach < rows.size()) {
            rows[reach].push_back(field);
        } else {
            rows.push_back({field});
        }
    }
    std::vector<FieldRow> kept;
    for (FieldRow& row : rows) {
        if (row.size() < kMinRowFields) continue;
        std::stable_sort(row.begin(), row.end(), [](const FormField* a, const FormField* b) {
            return a->rect.minX() < b->rect.minX();
        });
        kept.push_back(std::move(row));
    }
    std::stable_sort(kept.begin(), kept.end(), [](const FieldRow& a, const FieldRow& b) {
        return a.front()->rect.minY() > b.front()->rect.minY();
    });
    FieldTable current;
    auto close = [&] {
        if (current.size() >= kMinTableRows) out.push_back(std::move(current));
        current.clear();
    };
    for (FieldRow& row : kept) {
        if (!current.empty()) {
            const FormField& last = *current.back().front();
            const double gap = last.rect.minY() - row.front()->rect.minY();
            if (!sameSignature(current.back(), row) ||
                !(gap < last.rect.height * kGapHeights + kGapMargin)) {
                close();
            }
        }
        current.push_back(std::move(row));
    }
    close();
}

bool finiteRect(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

std::vector<FieldTable> fieldTables(const std::vector<FormField>& fields) {
    std::map<int, std::vector<const FormField*>> pages;
    for (const FormField& field : fields) {
        // A rectangle with no finite place (from numbers too large for a double) has no row.
        if (!field.readOnly && finiteRect(field.rect)) pages[field.pageIndex].push_back(&field);
    }
    std::vector<FieldTable> result;
    for (auto& [page, onPage] : pages) pageTables(std::move(onPage), result);
    return result;
}

bool isPartyLabel(std::string_view label) {
    return label.starts_with("titular.") || label.starts_with("representante.");
}

struct Agreement {
    const std::string* label;
    double sum = 0;
    int count = 0;
};

}  // namespace

namespace Tables {

std::vector<Table> tables(const std::vector<FormField>& fields) {
    std::vector<Table> result;
    for (const FieldTable& table : fieldTables(fields)) {
        Table& copy = result.emplace_back();
        for (const FieldRow& row : table) {
            Row& fieldsOfRow = copy.emplace_back();
            for (const FormField* field : row) fieldsOfRow.push_back(*field);
        }
    }
    return result;
}

Labels harmonize(const Labels& labels, const std::vector<FormField>& fields) {
    Labels result = labels;
    for (const FieldTable& table : fieldTables(fields)) {
        const std::size_t columns = table.front().size();
        for (std::size_t column = 0; column < columns; ++column) {
            // Label texts in the order met from the top row; a later text must sum strictly more.
            std::vector<Agreement> agreements;
            std::unordered_map<std::string_view, std::size_t> seen;
            for (const FieldRow& row : table) {
                auto found = labels.find(row[column]->id);
                if (found == labels.end()) continue;
                const std::string& text = found->second.label;
                auto [at, added] = seen.try_emplace(text, agreements.size());
                if (added) agreements.push_back({&text});
                agreements[at->second].sum += found->second.p;
                ++agreements[at->second].count;
            }
            if (agreements.empty()) continue;
            const Agreement* best = &agreements.front();
            for (const Agreement& agreement : agreements) {
                if (agreement.sum > best->sum) best = &agreement;
            }
            const std::string winner = *best->label;
            const double p = best->sum / best->count;
            for (std::size_t r = 0; r < table.size(); ++r) {
                const int id = table[r][column]->id;
                std::optional<int> part;
                if (auto own = labels.find(id); own != labels.end()) part = own->second.part;
                const bool other = r > 0 && isPartyLabel(winner);
                result[id] = FieldLabel{other ? "otra_persona.dato" : winner, part, p};
            }
        }
    }
    return result;
}

}  // namespace Tables
