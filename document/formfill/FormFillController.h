#pragma once
// The form section of the signing window for a single document: the "Rellenar con mis datos"
// switch, the status line with its counts, the button that opens the review of suggestions, the
// role row, the note on what the profile lacks and the recognition note. It reads the form once,
// has it labelled on a worker thread, plans its values (FormPlan) from the saved facts, the
// certificate and today's date, keeps what the user typed and the values of an earlier signing
// above the plan, and yields the fills, the facts to remember and the field marks.
//
// Labelling: analyse() hands copies of the units and the form's name to a worker that calls the
// context's labeller; the labels come back queued to the main thread and are dropped when the
// controller is gone. Tasks are never cancelled and the last to end wins. Meanwhile the section
// stays usable (ticking, typing, signing with the typed values). The only stop is the
// application's quit, through the token of quitToken(). Main thread only.

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "document/DocumentContext.h"
#include "document/FormSection.h"
#include "document/formfill/FormFillModel.h"

#include "ui/Popover.h"

class QLabel;
class QPushButton;
class QWidget;
class SegmentedControl;
class Switch;

class FormFillController : public QObject, public FormSection {
    Q_OBJECT
public:
    static constexpr int sectionWidth = 306;

    // The controller of the document's form; null when no field is text, a choice or a tick
    // drawn on the page.
    static std::unique_ptr<FormFillController> make(PreviewDocument& document, const std::string& formName,
                                                    const Certificate& certificate, DocumentContext& context);
    // The same over fields already read.
    static std::unique_ptr<FormFillController> make(std::vector<FormField> fields, const std::string& formName,
                                                    const Certificate& certificate, DocumentContext& context);

    ~FormFillController() override;

    // --- FormSection ------------------------------------------------------------------------------
    QWidget* view() override;
    void certificateChanged(const Certificate& certificate) override;
    std::vector<FormFill> fills() const override;
    std::vector<SavedFact> remembered() const override;
    std::vector<PreviewGeometry::FieldMark> marks() const override;
    void restore(const std::vector<FormFill>& fills) override;
    bool isTick(int id) const override;
    void toggle(int id) override;
    std::optional<Target> inlineTarget(int id) const override;
    void write(const std::string& text, const std::vector<int>& ids) override;
    std::optional<int> nextEditable(int id, bool forward) const override;
    void edit(int id, const QRectF& box, QWidget* over) override;
    void readInPart(int lastWholePage, int pageCount) override;
    bool analysing() const override { return isAnalysing(); }

    // --- The section's actions ---------------------------------------------------------------------
    bool isOn() const;
    // The switch was clicked: stores "fillForms", shows or hides the rows, analyses when on.
    void toggled();
    // Opens the review of the suggestions beside the review button (nothing without a plan).
    void reviewSuggestions();
    // The role control chose a segment.
    void roleChanged();
    // "Abrir Mis datos": the application's profile section.
    void openProfile();

    // Whether labelling is running now (the switch is on and the labels are not known yet).
    bool isAnalysing() const;
    const FormFillModel& model() const { return model_; }
    // Whether the AI service is switched on, asked at every rebuild of the plan; the AI settings
    // (JevLabeler::isOn) by default. The note names the AI service only when the labels are its
    // answers; with the service on and no answer used, it says the labels were made here.
    std::function<bool()> aiOn;

    // The controls (for the signing window's tests and screenshots).
    Switch* toggleSwitch() const { return toggle_; }
    QLabel* status() const { return status_; }
    QPushButton* confirmButton() const { return confirm_; }
    QWidget* roleRow() const { return roleRow_; }
    SegmentedControl* roleControl() const { return roleControl_; }
    QLabel* missing() const { return missing_; }
    QWidget* missingRow() const { return missingRow_; }
    QPushButton* profileButton() const { return profileButton_; }
    QLabel* note() const { return note_; }
    // The popover opened last, while it exists.
    Popover* popover() const { return popover_; }

    // The token every labelling task gets: stopped when the application quits.
    static std::stop_token quitToken();

private:
    FormFillController(FormFillModel model, DocumentContext& context);

    void build();
    void analyse();
    void labelled(FieldLabeler::Labelling result);
    void rebuild();
    void refresh();
    void changed();
    void closePopover();
    void showOnRows(bool on);
    // The recognition note, and the sentence of a cut reading after it.
    std::string noteText() const;
    // Applies user values (toggle, write, editor) and ends with a refresh or onChange.
    void applyAll(const std::vector<std::pair<int, std::string>>& changes, FormFillModel::Emptying emptying);

    FormFillModel model_;
    DocumentContext& context_;

    QPointer<QWidget> view_;
    Switch* toggle_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* confirm_ = nullptr;
    QWidget* roleRow_ = nullptr;
    SegmentedControl* roleControl_ = nullptr;
    QLabel* missing_ = nullptr;
    QWidget* missingRow_ = nullptr;
    QPushButton* profileButton_ = nullptr;
    QLabel* note_ = nullptr;
    QPointer<Popover> popover_;
    std::string partial_;      // the sentence of a reading cut by its bounds, or empty
    bool aiAnswered_ = false;  // the labels are the AI service's answers
    bool aiOnNow_ = false;     // the AI service is on (asked at the last rebuild)
};
