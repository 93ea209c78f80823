// The planner: for every fillable field, whether the system writes a value on its own, proposes
// one, leaves the field to the signer or keeps out of it, and with which value. Then three passes
// over the items: one row of a repeated table column, one sure field per label, and the bank
// account cut over a line of boxes.

#include "forms/plan/FormPlan.h"
#include "forms/plan/PlanText.h"

#include "forms/labels/Tables.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace {

constexpr double defaultProposeAt = 0.5;
constexpr double defaultSureAt = 0.9;
// Confidence from which a label counts as asked by the form.
constexpr double askedAt = 0.5;

// Labels whose fields can take a segment of the account number.
constexpr std::array<std::string_view, 6> accountLabels = {
    "banco.iban", "banco.iban_pais", "banco.entidad", "banco.oficina", "banco.dc", "banco.cuenta",
};
constexpr std::size_t accountLength = 24;
// Fields of one line of the account lie less than this apart vertically (points).
constexpr double lineSpacing = 6;
// Segment lengths for a line of fields without length limits, by the number of fields.
const std::vector<int> sixFieldLayout = {4, 4, 4, 4, 4, 4};
const std::vector<int> fiveFieldLayout = {4, 4, 4, 2, 10};

bool startsWith(const std::optional<FieldLabel>& label, std::string_view prefix) {
    return label && label->label.starts_with(prefix);
}

// The whole part of a page measure, toward zero; measures that are not finite count as 0 and
// absurd ones are clamped so the conversion stays defined.
long long wholePart(double value) {
    constexpr double limit = 1e15;
    if (!std::isfinite(value)) return 0;
    return static_cast<long long>(std::trunc(std::clamp(value, -limit, limit)));
}

}  // namespace

double FormPlan::proposeAt(const std::string& label) {
    static const std::unordered_map<std::string, double> table = {
        {"representante.nombre_completo", 0.7},
    };
    const auto found = table.find(label);
    return found == table.end() ? defaultProposeAt : found->second;
}

double FormPlan::sureAt(const std::string& label) {
    static const std::unordered_map<std::string, double> table = {
        {"titular.nombre", 0.8}, {"firma.dia", 0.8}, {"firma.mes", 0.8}, {"firma.anio", 0.8},
        {"domicilio.municipio", 0.8},
    };
    const auto found = table.find(label);
    return found == table.end() ? defaultSureAt : found->second;
}

FormPlan::FormPlan(const std::vector<FormField>& fields, const Labels& givenLabels, const Certificate& certificate,
                   std::optional<Role> givenRole, const std::vector<SavedFact>& facts,
                   std::chrono::system_clock::time_point date) {
    // Labels of ids that match no field play no part.
    std::unordered_set<int> ids;
    ids.reserve(fields.size());
    for (const FormField& field : fields) ids.insert(field.id);
    Labels labels;
    for (const auto& [id, label] : givenLabels)
        if (ids.contains(id)) labels.emplace_hint(labels.end(), id, label);

    role = givenRole ? *givenRole : (certificate.organization ? Role::representative : Role::holder);
    hasRepresentative = std::any_of(labels.begin(), labels.end(), [](const auto& entry) {
        return entry.second.label.starts_with("representante.");
    });

    const Person signer(certificate, facts);
    std::optional<Party> holder;
    std::optional<Party> representative;
    if (role == Role::holder) {
        holder = Party(signer);
    } else {
        representative = Party(signer);
        if (certificate.organization) holder = Party(Company(certificate, facts));
    }

    const Labels harmonised = Tables::harmonize(labels, fields);
    bool hasFullName = false;
    bool hasCompanyName = false;
    Asked asked;
    for (const auto& [id, label] : harmonised) {
        hasFullName = hasFullName || label.label == "titular.nombre_completo";
        hasCompanyName = hasCompanyName || label.label == "titular.razon_social";
        if (label.p >= askedAt) asked.insert(label.label);
    }
    const bool both = hasFullName && hasCompanyName;

    for (const FormField& field : fields) {
        if (field.readOnly) continue;
        FillItem item{field, std::nullopt, "", std::nullopt, FillItem::State::other, false};
        const auto found = harmonised.find(field.id);
        if (found == harmonised.end() || field.kind == FormField::Kind::check) {
            if (found != harmonised.end()) item.label = found->second;
            items.push_back(std::move(item));
            continue;
        }
        const FieldLabel& label = found->second;
        item.label = label;
        const bool signers = isSigners(label.label, holder, representative);
        const bool procedure = label.label.starts_with("tramite.");
        if (label.p < proposeAt(label.label)) {
            if ((procedure || signers) && field.value.empty()) item.state = FillItem::State::yours;
            items.push_back(std::move(item));
            continue;
        }
        if (!field.value.empty()) {
            items.push_back(std::move(item));
            continue;
        }
        auto [v, origin] = value(label.label, field, holder, representative, signer, date, asked);
        if (both && holder) {
            const bool dropped = holder->company() ? label.label == "titular.nombre_completo"
                                                   : label.label == "titular.razon_social";
            if (dropped) {
                items.push_back(std::move(item));
                continue;
            }
        }
        if (field.kind == FormField::Kind::choice && !v.empty()) v = option(v, field.options).value_or("");

        std::string box = v;
        if (label.part) {
            box.clear();
            const int part = *label.part;
            if (part >= 1) {
                const std::vector<std::string> characters = PlanText::lettersAndDigits(v);
                if (static_cast<std::size_t>(part) <= characters.size())
                    box = characters[static_cast<std::size_t>(part - 1)];
            }
        }

        if (procedure)
            item.state = FillItem::State::yours;
        else if (v.empty())
            item.state = signers ? FillItem::State::yours : FillItem::State::other;
        else if (box.empty())
            item.state = FillItem::State::other;
        else if (label.p >= sureAt(label.label) && !label.label.starts_with("banco."))
            item.state = FillItem::State::filled;
        else
            item.state = FillItem::State::suggested;

        item.value = std::move(box);
        if (!v.empty() && !origin.empty()) item.source = std::move(origin);
        items.push_back(std::move(item));
    }

    onlyFirstRow();
    onlyFirstSure();
    if (!fields.empty()) {
        const std::string iban =
            value("banco.iban", fields.front(), holder, representative, signer, date, asked).first;
        accountLines(PlanText::lettersAndDigits(iban));
    }
}

void FormPlan::onlyFirstRow() {
    std::unordered_map<std::string, std::vector<std::size_t>> groups;
    std::vector<std::string> order;  // group keys in the order first met, so the pass is repeatable
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FillItem& item = items[i];
        if (!item.label || item.label->part || item.value.empty()) continue;
        if (!startsWith(item.label, "titular.") && !startsWith(item.label, "representante.")) continue;
        const Rect& r = item.field.rect;
        const std::string key = item.label->label + "|" + std::to_string(item.field.pageIndex) + "|" +
                                std::to_string(wholePart(r.minX() * 0.25)) + "|" +
                                std::to_string(wholePart(r.width * 0.25));
        auto [entry, added] = groups.try_emplace(key);
        if (added) order.push_back(key);
        entry->second.push_back(i);
    }
    for (const std::string& key : order) {
        std::vector<std::size_t>& group = groups[key];
        if (group.size() < 2) continue;
        std::stable_sort(group.begin(), group.end(), [this](std::size_t a, std::size_t b) {
            return items[a].field.rect.minY() > items[b].field.rect.minY();
        });
        for (std::size_t n = 1; n < group.size(); ++n) {
            FillItem& item = items[group[n]];
            item.value.clear();
            item.source.reset();
            item.state = FillItem::State::other;
        }
    }
}

void FormPlan::onlyFirstSure() {
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        const FormField& x = items[a].field;
        const FormField& y = items[b].field;
        if (x.pageIndex != y.pageIndex) return x.pageIndex < y.pageIndex;
        if (x.rect.minY() != y.rect.minY()) return x.rect.minY() > y.rect.minY();
        return x.rect.minX() < y.rect.minX();
    });
    std::unordered_set<std::string> seen;
    for (std::size_t i : order) {
        FillItem& item = items[i];
        if (item.state != FillItem::State::filled || !item.label || item.label->part) continue;
        if (item.label->label.starts_with("firma.")) continue;
        if (!seen.insert(item.label->label).second) item.state = FillItem::State::suggested;
    }
}

void FormPlan::accountLines(const std::vector<std::string>& account) {
    if (account.size() != accountLength) return;

    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const FillItem& item = items[i];
        if (!item.label || item.label->p < askedAt) continue;
        if (std::find(accountLabels.begin(), accountLabels.end(), item.label->label) == accountLabels.end()) continue;
        if (item.field.kind != FormField::Kind::text || !item.field.value.empty()) continue;
        candidates.push_back(i);
    }
    std::stable_sort(candidates.begin(), candidates.end(), [this](std::size_t a, std::size_t b) {
        const FormField& x = items[a].field;
        const FormField& y = items[b].field;
        if (x.pageIndex != y.pageIndex) return x.pageIndex < y.pageIndex;
        return x.rect.midY() < y.rect.midY();
    });

    std::vector<std::vector<std::size_t>> lines;
    for (std::size_t i : candidates) {
        const FormField& field = items[i].field;
        if (!lines.empty()) {
            const FormField& last = items[lines.back().back()].field;
            if (field.pageIndex == last.pageIndex && !(field.rect.midY() - last.rect.midY() >= lineSpacing)) {
                lines.back().push_back(i);
                continue;
            }
        }
        lines.push_back({i});
    }

    for (std::vector<std::size_t>& line : lines) {
        if (line.size() < 2) continue;
        std::stable_sort(line.begin(), line.end(), [this](std::size_t a, std::size_t b) {
            return items[a].field.rect.minX() < items[b].field.rect.minX();
        });
        std::vector<int> lengths;
        bool unlimited = false;
        bool boxes = false;
        long long sum = 0;
        for (std::size_t i : line) {
            const FillItem& item = items[i];
            const int capacity = item.label->part ? 1 : std::max(item.field.maxLength, 0);
            boxes = boxes || item.label->part.has_value();
            unlimited = unlimited || capacity == 0;
            lengths.push_back(capacity);
            sum += capacity;
        }
        if (unlimited) {
            if (boxes) continue;
            if (line.size() == sixFieldLayout.size())
                lengths = sixFieldLayout;
            else if (line.size() == fiveFieldLayout.size())
                lengths = fiveFieldLayout;
            else
                continue;
            sum = std::accumulate(lengths.begin(), lengths.end(), 0LL);
        } else if (sum != 20 && sum != 22 && sum != 24) {
            continue;
        }
        std::size_t at = accountLength - static_cast<std::size_t>(sum);
        for (std::size_t n = 0; n < line.size(); ++n) {
            FillItem& item = items[line[n]];
            const std::size_t length = static_cast<std::size_t>(lengths[n]);
            item.value = PlanText::join(account, at, at + length);
            item.state = FillItem::State::suggested;
            item.source = Source::profile;
            at += length;
        }
    }
}
