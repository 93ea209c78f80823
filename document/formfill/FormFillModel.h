#pragma once
// The state of the form section without its widgets: the document's fields and units, the labels
// once known, the certificate and role, the plan, and the two layers of values above it (what the
// user typed or ticked, and the values of an earlier signing), with what they give the signing
// window (fills, marks, facts to remember) and the edits of single fields. No Qt; main thread.
//
// User input wins over proposals: `typed` and `restored` live apart from the plan and are applied
// again after every rebuild, typed last.

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document/PreviewGeometry.h"
#include "forms/fill/FormFill.h"
#include "forms/labels/FieldLabel.h"
#include "forms/plan/FormPlan.h"
#include "forms/reader/FormField.h"
#include "forms/reader/FormUnit.h"
#include "profile/SavedFact.h"
#include "signing/Certificate.h"

class FormFillModel {
public:
    using Clock = std::chrono::system_clock;

    // A value the user gave a field; empty records a field emptied or unticked.
    struct Typed {
        std::string value;
        bool remember = false;
        friend bool operator==(const Typed&, const Typed&) = default;
    };

    // What the inline editor edits for a field: the unit's ids, page, rectangle and text.
    struct InlineTarget {
        std::vector<int> ids;
        int pageIndex = 0;
        Rect rect;
        std::string text;
        friend bool operator==(const InlineTarget&, const InlineTarget&) = default;
    };

    // What an empty value does to the field's plan item.
    enum class Emptying {
        untick,  // state other (a tick taken out)
        clear,   // state yours (the user's to fill)
    };

    // A restored value matches a field of the fill's name and page whose origin lies closer than
    // this in both coordinates.
    static constexpr double restoreTolerance = 1.0;

    // The fields in reader order, the form's name and the certificate.
    FormFillModel(std::vector<FormField> fields, std::string formName, Certificate certificate);

    // Whether a form gives a section: some field is text, a choice or a tick drawn on the page.
    static bool fillable(const std::vector<FormField>& fields);

    const std::vector<FormField>& fields() const { return fields_; }
    const std::vector<FormUnit>& units() const { return units_; }
    const std::string& formName() const { return formName_; }
    // The field with that id; null when none has it.
    const FormField* field(int id) const;

    // The switch "Rellenar con mis datos".
    bool isOn() const { return on_; }
    void setOn(bool on) { on_ = on; }

    const std::optional<Labels>& labels() const { return labels_; }
    void setLabels(Labels labels) { labels_ = std::move(labels); }

    const Certificate& certificate() const { return certificate_; }
    // Another certificate: the role becomes automatic again.
    void setCertificate(Certificate certificate);
    // Nothing: automatic (the plan decides).
    const std::optional<FormPlan::Role>& role() const { return role_; }
    void setRole(std::optional<FormPlan::Role> role) { role_ = role; }

    const std::optional<FormPlan>& plan() const { return plan_; }
    const std::map<int, Typed>& typed() const { return typed_; }
    const std::map<int, std::string>& restored() const { return restored_; }

    // The value the section shows for a field: typed, else restored (switch on), else the plan's
    // filled or suggested value, else empty.
    std::string current(int id) const;

    // A new plan from the labels, the saved facts and the date, then the restored values and the
    // typed ones. False (nothing done) before the labels are known.
    bool rebuild(const std::vector<SavedFact>& facts, Clock::time_point date);
    // Takes the values of an earlier signing; false when there are none (nothing changes).
    bool restore(const std::vector<FormFill>& fills);
    // The review's confirmation: those suggestions become filled. False without a plan.
    bool confirm(const std::set<int>& ids);

    // Records a user value for a field and applies it to the plan when there is one.
    void apply(int id, const std::string& value, bool remember, Emptying emptying);

    // A tick drawn on the page (false for an unknown id).
    bool isTick(int id) const;
    // The values a click on a tick field gives, in order: "" alone to untick a ticked one; "X",
    // then "" for the other ticks of its row, to tick it. Nothing for a field that is no tick.
    std::vector<std::pair<int, std::string>> toggleChanges(int id) const;
    // The unit of the field as the inline editor edits it; nothing for check boxes and unknown
    // ids.
    std::optional<InlineTarget> inlineTarget(int id) const;
    // The values the inline editor's text gives its ids, in order.
    static std::vector<std::pair<int, std::string>> writeChanges(const std::string& text,
                                                                 const std::vector<int>& ids);
    // The next field edited in place in tab order.
    std::optional<int> nextEditable(int id, bool forward) const;
    // The item the field editor edits: the plan's while the switch is on (nothing without a plan
    // or item), else one made from the typed value.
    std::optional<FillItem> editorItem(int id) const;
    // The plan's suggestions in plan order (none without a plan).
    std::vector<FillItem> suggestions() const;

    // The values to write, the facts to keep, the marks: from the plan while the switch is on and
    // there is a plan, else from the typed values alone.
    std::vector<FormFill> fills() const;
    std::vector<SavedFact> remembered(Clock::time_point now) const;
    std::vector<PreviewGeometry::FieldMark> marks() const;

private:
    bool usesPlan() const { return on_ && plan_.has_value(); }
    const FillItem* item(int id) const;
    static FormFill fill(const FormField& field, const std::string& text);

    std::vector<FormField> fields_;
    std::vector<FormUnit> units_;
    std::unordered_map<int, std::size_t> fieldIndex_;  // id → position in fields_ (first wins)
    std::unordered_map<int, std::size_t> unitIndex_;   // id → position in units_ (first wins)
    std::string formName_;
    std::optional<Labels> labels_;
    Certificate certificate_;
    std::optional<FormPlan::Role> role_;
    std::optional<FormPlan> plan_;
    std::map<int, Typed> typed_;
    std::map<int, std::string> restored_;
    bool on_ = false;
};
