#include "document/formfill/FormFillModel.h"

#include <algorithm>
#include <cmath>

#include "document/formfill/FieldWriting.h"
#include "document/formfill/TabOrder.h"
#include "forms/reader/FormReader.h"

FormFillModel::FormFillModel(std::vector<FormField> fields, std::string formName, Certificate certificate)
    : fields_(std::move(fields)),
      units_(FormReader::units(fields_)),
      formName_(std::move(formName)),
      certificate_(std::move(certificate)) {
    fieldIndex_.reserve(fields_.size());
    for (std::size_t i = 0; i < fields_.size(); ++i) fieldIndex_.try_emplace(fields_[i].id, i);
    for (std::size_t u = 0; u < units_.size(); ++u)
        for (const FormField& f : units_[u].fields) unitIndex_.try_emplace(f.id, u);
}

bool FormFillModel::fillable(const std::vector<FormField>& fields) {
    return std::any_of(fields.begin(), fields.end(), [](const FormField& f) {
        return f.kind == FormField::Kind::text || f.kind == FormField::Kind::choice || f.isTick();
    });
}

const FormField* FormFillModel::field(int id) const {
    const auto found = fieldIndex_.find(id);
    return found == fieldIndex_.end() ? nullptr : &fields_[found->second];
}

void FormFillModel::setCertificate(Certificate certificate) {
    certificate_ = std::move(certificate);
    role_.reset();
}

const FillItem* FormFillModel::item(int id) const {
    if (!plan_) return nullptr;
    for (const FillItem& i : plan_->items)
        if (i.field.id == id) return &i;
    return nullptr;
}

std::string FormFillModel::current(int id) const {
    if (const auto t = typed_.find(id); t != typed_.end()) return t->second.value;
    if (const auto r = restored_.find(id); r != restored_.end() && on_) return r->second;
    if (!on_ || !plan_) return {};
    const FillItem* i = item(id);
    if (i && (i->state == FillItem::State::filled || i->state == FillItem::State::suggested)) return i->value;
    return {};
}

bool FormFillModel::rebuild(const std::vector<SavedFact>& facts, Clock::time_point date) {
    if (!labels_) return false;
    FormPlan plan(fields_, *labels_, certificate_, role_, facts, date);
    for (const auto& [id, value] : restored_) {
        if (typed_.contains(id)) continue;
        if (value.empty())
            plan.clear(id);
        else
            plan.set(value, id, false);
    }
    for (const auto& [id, t] : typed_) {
        if (!t.value.empty()) {
            plan.set(t.value, id, t.remember);
        } else if (isTick(id)) {
            plan.untick(id);
        } else {
            plan.set(t.value, id, t.remember);
        }
    }
    plan_ = std::move(plan);
    return true;
}

bool FormFillModel::restore(const std::vector<FormFill>& fills) {
    if (fills.empty()) return false;
    // Fields by name and page, in field order, so that a long list of fills stays linear.
    std::map<std::pair<std::string, std::int64_t>, std::vector<const FormField*>> byName;
    for (const FormField& f : fields_) byName[{f.name, f.pageIndex}].push_back(&f);
    for (const FormFill& fill : fills) {
        const auto found = byName.find({fill.name, fill.pageIndex});
        if (found == byName.end()) continue;
        const std::vector<const FormField*>& candidates = found->second;
        const FormField* chosen = candidates.front();
        for (const FormField* f : candidates) {
            if (std::abs(f->rect.minX() - fill.rect.minX()) < restoreTolerance &&
                std::abs(f->rect.minY() - fill.rect.minY()) < restoreTolerance) {
                chosen = f;
                break;
            }
        }
        restored_[chosen->id] = fill.text;
    }
    return true;
}

bool FormFillModel::confirm(const std::set<int>& ids) {
    if (!plan_) return false;
    plan_->confirm(ids);
    return true;
}

void FormFillModel::apply(int id, const std::string& value, bool remember, Emptying emptying) {
    typed_[id] = Typed{value, remember};
    if (!plan_) return;
    if (!value.empty())
        plan_->set(value, id, remember);
    else if (emptying == Emptying::untick)
        plan_->untick(id);
    else
        plan_->clear(id);
}

bool FormFillModel::isTick(int id) const {
    const FormField* f = field(id);
    return f && f->isTick();
}

std::vector<std::pair<int, std::string>> FormFillModel::toggleChanges(int id) const {
    const FormField* f = field(id);
    if (!f || !f->isTick()) return {};
    if (current(id) == "X") return {{id, ""}};
    std::vector<std::pair<int, std::string>> changes{{id, "X"}};
    for (int other : FieldWriting::rowTicks(fields_, *f)) changes.emplace_back(other, "");
    return changes;
}

std::optional<FormFillModel::InlineTarget> FormFillModel::inlineTarget(int id) const {
    const auto found = unitIndex_.find(id);
    if (found == unitIndex_.end()) return std::nullopt;
    const FormUnit& unit = units_[found->second];
    if (unit.fields.empty() || unit.first().kind == FormField::Kind::check) return std::nullopt;
    InlineTarget target;
    target.pageIndex = unit.first().pageIndex;
    target.rect = unit.first().rect;
    for (const FormField& f : unit.fields) {
        target.ids.push_back(f.id);
        target.rect = FieldWriting::united(target.rect, f.rect);
        target.text += current(f.id);
    }
    return target;
}

std::vector<std::pair<int, std::string>> FormFillModel::writeChanges(const std::string& text,
                                                                     const std::vector<int>& ids) {
    if (ids.empty()) return {};
    const std::vector<std::string> values = FieldWriting::spread(text, ids.size());
    std::vector<std::pair<int, std::string>> changes;
    changes.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) changes.emplace_back(ids[i], values[i]);
    return changes;
}

std::optional<int> FormFillModel::nextEditable(int id, bool forward) const {
    return TabOrder::next(units_, id, forward);
}

std::optional<FillItem> FormFillModel::editorItem(int id) const {
    if (on_) {
        const FillItem* i = item(id);
        if (!i) return std::nullopt;
        return *i;
    }
    const FormField* f = field(id);
    if (!f) return std::nullopt;
    FillItem made;
    made.field = *f;
    const auto t = typed_.find(id);
    made.value = t == typed_.end() ? std::string() : t->second.value;
    made.remember = false;
    if (!made.value.empty()) {
        made.source = FormPlan::Source::typed;
        made.state = FillItem::State::filled;
    } else {
        made.state = FillItem::State::yours;
    }
    return made;
}

std::vector<FillItem> FormFillModel::suggestions() const {
    std::vector<FillItem> out;
    if (!plan_) return out;
    for (const FillItem& i : plan_->items)
        if (i.state == FillItem::State::suggested) out.push_back(i);
    return out;
}

FormFill FormFillModel::fill(const FormField& field, const std::string& text) {
    FormFill f;
    f.name = field.name;
    f.pageIndex = field.pageIndex;
    f.rect = field.rect;
    f.text = text;
    if (field.drawn) f.drawn = true;
    if (field.isTick()) f.centered = true;
    return f;
}

std::vector<FormFill> FormFillModel::fills() const {
    std::vector<FormFill> out;
    if (usesPlan()) {
        for (const FillItem& i : plan_->written()) out.push_back(fill(i.field, i.value));
        return out;
    }
    for (const FormField& f : fields_) {
        const auto t = typed_.find(f.id);
        if (t != typed_.end() && !t->second.value.empty()) out.push_back(fill(f, t->second.value));
    }
    return out;
}

std::vector<SavedFact> FormFillModel::remembered(Clock::time_point now) const {
    if (!usesPlan()) return {};
    return plan_->remembered(certificate_, now);
}

std::vector<PreviewGeometry::FieldMark> FormFillModel::marks() const {
    std::vector<PreviewGeometry::FieldMark> out;
    auto mark = [](const FormField& f, std::string text, FillItem::State state) {
        PreviewGeometry::FieldMark m;
        m.id = f.id;
        m.pageIndex = f.pageIndex;
        m.rect = f.rect;
        m.text = std::move(text);
        m.state = state;
        m.editable = f.kind != FormField::Kind::check;
        m.tick = f.isTick();
        m.drawn = f.drawn;
        return m;
    };
    if (usesPlan()) {
        out.reserve(plan_->items.size());
        for (const FillItem& i : plan_->items) {
            FillItem::State state = i.state;
            if (i.field.isTick() && state != FillItem::State::filled) state = FillItem::State::yours;
            out.push_back(mark(i.field, i.value, state));
        }
        return out;
    }
    for (const FormField& f : fields_) {
        if (f.readOnly) continue;
        const auto t = typed_.find(f.id);
        std::string text = t == typed_.end() ? std::string() : t->second.value;
        const FillItem::State state = !text.empty() ? FillItem::State::filled
                                      : f.isTick()  ? FillItem::State::yours
                                                    : FillItem::State::other;
        out.push_back(mark(f, std::move(text), state));
    }
    return out;
}
