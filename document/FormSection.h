#pragma once
// The form section of the signing window as the signing panel drives it: its view in the sidebar,
// the marks it shows on the pages, the values it hands over, and the edits the page preview
// reports for its fields. The form-fill controller implements it; the panel makes one through
// DocumentContext::formSection for a single document that has something to fill.

#include <QRectF>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/PreviewGeometry.h"
#include "document/TextBoxes.h"
#include "forms/fill/FormFill.h"
#include "profile/SavedFact.h"
#include "signing/Certificate.h"

class QWidget;

class FormSection {
public:
    using Target = TextBoxes::Target;  // ids, page, rectangle (page space), text

    virtual ~FormSection() = default;

    // The section's view, placed in the sidebar under "Formulario".
    virtual QWidget* view() = 0;
    // The certificate selected in the window (told at once and on every change).
    virtual void certificateChanged(const Certificate& certificate) = 0;
    // Values to write, in plan order.
    virtual std::vector<FormFill> fills() const = 0;
    // Facts typed with the remember option.
    virtual std::vector<SavedFact> remembered() const = 0;
    // The marks of its fields on the pages.
    virtual std::vector<PreviewGeometry::FieldMark> marks() const = 0;
    // The form values of a document signed before (text boxes excluded).
    virtual void restore(const std::vector<FormFill>& fills) = 0;

    // A tick box drawn on the page; a click toggles it.
    virtual bool isTick(int id) const = 0;
    virtual void toggle(int id) = 0;
    // Where the inline editor opens for a field; nothing when it is not edited in place.
    virtual std::optional<Target> inlineTarget(int id) const = 0;
    // The inline editor's text for the fields `ids`.
    virtual void write(const std::string& text, const std::vector<int>& ids) = 0;
    // The next (or previous) field edited in place after `id`, in tab order.
    virtual std::optional<int> nextEditable(int id, bool forward) const = 0;
    // The field editor popover for field `id`, over `box` (widget coordinates of `over`).
    virtual void edit(int id, const QRectF& box, QWidget* over) = 0;

    // The reading that found the fields was cut: only pages 1 to `lastWholePage` of
    // `pageCount` were read whole. Told once, after the section is made.
    virtual void readInPart(int lastWholePage, int pageCount) {
        (void)lastWholePage;
        (void)pageCount;
    }
    // True while the section is still recognising its fields for a filling it was asked for:
    // its values are not known yet. It calls onChange when they are.
    virtual bool analysing() const { return false; }

    // Called after every change of fills or marks.
    std::function<void()> onChange;
};
