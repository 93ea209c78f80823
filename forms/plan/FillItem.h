#pragma once
// One planned field of a form: the text to write into it, where that text came from, and how far
// the system trusts it.

#include "forms/labels/FieldLabel.h"
#include "forms/reader/FormField.h"

#include <optional>
#include <string>

struct FillItem {
    // In this order; the document window's field marks use the same states.
    enum class State {
        filled,     // written without asking
        suggested,  // proposed, waits for the user's confirmation
        yours,      // the signer's (or the procedure's) business, nothing sure for it: the user fills it
        other,      // not the signer's business, already filled in the document, or left untouched
    };

    FormField field;                 // the field this item fills; field.id is the item's key
    std::optional<FieldLabel> label;  // the (harmonised) label the planner used; none when unlabelled
    std::string value;               // the text to write; empty means nothing
    std::optional<std::string> source;  // one of the FormPlan::Source captions, or none
    State state = State::other;
    bool remember = false;           // keep the typed value in the saved facts

    // Only filled items with a value are written into the document.
    bool isWritten() const { return state == State::filled && !value.empty(); }
};
