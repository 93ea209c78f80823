#pragma once
// The collaborators of the document window: where secrets and settings live, how a form is
// labelled, the clock, the screen, the presenters and the application's host. The application
// fills the process-wide context once at start-up (DocumentContext::standard()); tests make their
// own copy and replace what they fake. Every window, sheet and controller of the document window
// takes one as its last, defaulted parameter. Main thread only, except `labeller` and `readForm`,
// which are called on worker threads.

#include <QRect>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "forms/labels/FieldLabel.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/reader/FormField.h"
#include "forms/reader/FormReader.h"
#include "signing/Certificate.h"
#include "signing/Handwriting.h"

class AlertPresenter;
class Defaults;
class DocumentHost;
class FilePanelPresenter;
class FormSection;
class PDFFile;
class PageSource;
class PreviewDocument;
class QObject;
class QWidget;
class SecretStore;
struct FormUnit;

struct DocumentContext {
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Gives the labels and whether they are the AI service's answers (plain Labels count as the
    // rules').
    using Labeller = std::function<FieldLabeler::Labelling(
        const std::vector<FormUnit>& units, const std::string& formName, std::stop_token stop)>;
    // Reads a document's fields; blocks, runs on a worker thread with a PDF engine and a page
    // reader of its own, never throws, and gives up when `stop` is requested. It tells `found`
    // the number of fields found so far as it goes (on its own thread).
    using FormReading = std::function<std::vector<FormField>(
        PDFFile& file, const PageSource& pages, std::stop_token stop, FormReader::ReadReport* report,
        const FormReader::Progress& found)>;
    using FormSectionFactory = std::function<std::unique_ptr<FormSection>(
        std::vector<FormField> fields, const std::string& formName, const Certificate& certificate,
        DocumentContext& context)>;

    // The secret items (profile, handwritten signature). Never null.
    SecretStore* secrets = nullptr;
    // The user defaults (Preferences). Never null.
    Defaults* defaults = nullptr;
    // Labels a form's units; blocks, runs on a worker thread, never throws. The standard one
    // asks the AI service when it is on and has a key, else labels by the rules.
    Labeller labeller;
    // Now, for the card's date and the form's date.
    Clock now;
    // The visible frame of the main screen (without panels and docks), in screen pixels; nothing
    // when there is no screen.
    std::function<std::optional<QRect>()> visibleFrame;
    // Presenters of alerts and open panels (null: the Qt defaults of their users).
    AlertPresenter* alerts = nullptr;
    FilePanelPresenter* filePanels = nullptr;
    // The application's side (help, profile section, filled-copy names). Never null: until the
    // application installs its own, a host with no help and plain names stands in.
    DocumentHost* host = nullptr;

    // The stored handwritten signature; nothing when none is stored or it cannot be read or
    // decoded.
    std::function<std::optional<Handwriting>()> handwriting;
    // Opens the sheet that draws or imports the handwritten signature as a sheet of `window`;
    // `completion` runs once with true when the user saved. False when the sheet is refused (one
    // is open already, or there is no sheet): the completion then never runs.
    std::function<bool(QWidget* window, std::function<void(bool saved)> completion)>
        presentHandwritingSheet;
    // The object whose signal changed() says that the stored handwriting was saved or removed;
    // null when nothing announces it.
    QObject* handwritingNotifier = nullptr;

    // Reads the fields of a single document for its form section; empty: FormReader::fields.
    FormReading readForm;
    // Makes the form section of a single document from its fields, on the main thread once they
    // are read; null (or an empty factory) when the document has nothing to fill.
    FormSectionFactory formSection;

    // The process-wide context: libsecret, the standard defaults, the AI-aware labeller, the
    // system clock, the primary screen, no presenters, a stand-in host, the handwriting store and
    // sheet over its secrets, and the form-fill controller as the form section.
    static DocumentContext& standard();
};
