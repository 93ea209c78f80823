#pragma once
// The signing window that the signing run opens for each batch of PDFs. A sidebar (header, mode,
// certificate, handwriting row, notes, form section, "Cancelar" and the sign button) and, for a
// single document, the page preview with a floating tools bar and a floating page-and-zoom bar.
// It keeps the copies of the signature the user places and, when the user confirms, hands one
// SigningOptions to the completion; nothing when the user cancels or closes the window. The
// completion runs exactly once, on the main thread.
//
//   SigningPanel panel(certificates, files, previous, replacing);
//   panel.begin([](std::optional<SigningOptions> options) { ... });
//
// The panel is its window's menu responder (document zoom, undo and redo). Main thread only.

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QUndoStack>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "ui/MenuResponder.h"
#include "ui/PageBar.h"
#include "ui/SigningRecord.h"
#include "document/DocumentContext.h"
#include "document/SigningOptions.h"
#include "document/SigningOptionsAssembly.h"
#include "document/TextBoxes.h"
#include "signing/Certificate.h"
#include "signing/SignatureCopy.h"
#include "signing/SignaturePlacement.h"

class PageSource;
class PDFFile;
class FormSection;
class PagesPreview;
class PreviewDocument;
class QBoxLayout;
class QKeyEvent;
class QComboBox;
class PageTextCache;
class QLabel;
class QPushButton;
class QToolButton;
class SegmentedControl;

class SigningPanel : public QObject, public MenuResponder {
    Q_OBJECT
public:
    using Mode = SigningMode;
    using Completion = std::function<void(std::optional<SigningOptions>)>;

    // The window's size: with a document the larger of 92 % of the frame and 900 × 600, else
    // 420 × 420; never larger than the frame. Without a screen the frame is 1440 × 900.
    static QSize windowSize(bool hasDocument, std::optional<QSize> visibleFrame);
    // The candidate places offered as free spaces: the detected placements by rank (the
    // locator's order among equals), each dropped when it overlaps, on its page, a space already
    // kept shrunk by 4 pt on every side.
    static std::vector<SignatureCopy> candidateSpaces(const std::vector<SignaturePlacement>& list);
    // How long the window waits for the placement search before it gives up on it; a test may
    // shorten it.
    static std::chrono::milliseconds& searchWaitLimit();
    // The placement search and the form reading of a long document start once the window has
    // painted its pages, and at the latest this long after the window is made.
    static constexpr std::chrono::milliseconds readersDelay{300};

    // Makes the page reader of the placement search, over the document's bytes (unchanged while
    // it lives); called on the search's worker thread. Null, or a null result: Poppler's pages.
    // The form is read through Poppler's pages; both share each page's text.
    using PageSourceFactory = std::function<std::unique_ptr<PageSource>(std::string_view bytes)>;

    // Builds the window for the batch without showing it. `certificates` is never empty when
    // the caller opens the window. With a single document the placement search starts on a
    // worker thread: the window is usable at once, and the proposed card is placed when the
    // search ends (unless the user or a restored record has set the copies by then).
    SigningPanel(std::vector<Certificate> certificates, std::vector<std::filesystem::path> files,
                 std::optional<SigningRecord> previous, std::optional<std::string> replacing,
                 DocumentContext& context = DocumentContext::standard());
    // The same with the placement search reading the pages through `pages`.
    SigningPanel(std::vector<Certificate> certificates, std::vector<std::filesystem::path> files,
                 std::optional<SigningRecord> previous, std::optional<std::string> replacing,
                 DocumentContext& context, PageSourceFactory pages);
    ~SigningPanel() override;
    SigningPanel(const SigningPanel&) = delete;
    SigningPanel& operator=(const SigningPanel&) = delete;

    // Shows the window; `completion` runs once, with the options or with nothing.
    void begin(Completion completion);
    // The batch is the first of `received` files handed over; when they were more, a note under
    // the header says how many came and how many are signed.
    void setReceived(std::size_t received);

    // --- Menu responder -----------------------------------------------------------------------
    bool respondsTo(MenuAction action) const override;
    void perform(MenuAction action) override;
    bool validateMenuItem(const QAction& item) const override;
    QUndoStack* undoStack() const override { return undo_.get(); }

    // The target the inline editor was last opened on (the preview's editor opens on it).
    const std::optional<TextBoxes::Target>& editorTarget() const { return editorTarget_; }

public slots:
    // --- Actions ------------------------------------------------------------------------------
    void sign();
    void cancel();
    void certificateChanged();
    void modeChanged();
    void changeHandwriting();
    void handwritingChanged();
    void toolChanged();
    void showPreviousPage();
    void showNextPage();
    void zoomInDocument();
    void zoomOutDocument();
    void zoomToFitDocument();

public:
    // --- State (read by the application's adapter and by tests) -----------------------------
    QWidget* window() const { return window_; }
    const std::vector<Certificate>& certificates() const { return certificates_; }
    const std::vector<std::filesystem::path>& files() const { return files_; }
    bool hasDocument() const { return document_ != nullptr; }
    // The search's candidates; empty while it runs.
    const std::vector<SignaturePlacement>& placements() const { return placements_; }
    // True while the placement search runs.
    bool searchingPlacements() const { return searching_; }
    // True while the document's form is read (on a worker thread, from the window's making).
    bool readingForm() const { return readingForm_; }
    // True after "Firmar" (or Return) while the window waits for the search or for a form
    // reading that has found fields to fill: it signs once when they end.
    bool signPending() const { return signPending_; }
    Mode mode() const { return mode_; }
    const std::vector<SignatureCopy>& signatures() const { return signatures_; }
    bool touched() const { return touched_; }
    bool showFullID() const { return showFullID_; }
    bool showBranding() const { return showBranding_; }
    TextBoxes& textBoxes() { return textBoxes_; }
    FormSection* form() const { return form_.get(); }
    // The selected certificate (index below 0 read as 0).
    const Certificate& selectedCertificate() const;
    // What `sign` would hand over now.
    SigningOptions options() const;

    PagesPreview* preview() const { return preview_; }
    SegmentedControl* modeControl() const { return modeControl_; }
    SegmentedControl* tools() const { return tools_; }
    QComboBox* certificatePopup() const { return certificatePopup_; }
    QLabel* details() const { return details_; }
    QLabel* modeNote() const { return modeNote_; }
    QLabel* hint() const { return hint_; }
    // Under the header when the batch is only the first of the files received; empty otherwise.
    QLabel* receivedNote() const { return receivedNote_; }
    QLabel* headerTitle() const { return headerTitle_; }
    QLabel* pageLabel() const { return pageBar_ ? pageBar_->pageLabel() : nullptr; }
    QLabel* handwritingImage() const { return handwritingImage_; }
    QPushButton* handwritingButton() const { return handwritingButton_; }
    QPushButton* signButton() const { return signButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QToolButton* helpButton() const { return helpButton_; }
    // The page bar and its parts: none without a document.
    PageBar* pageBar() const { return pageBar_; }
    FloatingBar* toolBar() const { return toolBar_; }
    QWidget* pageNavigation() const { return pageBar_ ? pageBar_->pageNavigation() : nullptr; }
    QToolButton* previousPageButton() const {
        return pageBar_ ? pageBar_->previousPage() : nullptr;
    }
    QToolButton* nextPageButton() const { return pageBar_ ? pageBar_->nextPage() : nullptr; }
    QToolButton* zoomInButton() const { return pageBar_ ? pageBar_->zoomIn() : nullptr; }
    QToolButton* zoomOutButton() const { return pageBar_ ? pageBar_->zoomOut() : nullptr; }
    QToolButton* zoomFitButton() const { return pageBar_ ? pageBar_->zoomFit() : nullptr; }
    // The sidebar's widgets in their current order.
    std::vector<QWidget*> sidebarItems() const { return sidebarItems_; }

signals:
    // The placement search ended: its candidates are in, and the card is placed when it was due.
    void placementsFound();
    // The form's reading ended (the section is in, or the document has nothing to fill).
    void formReadingFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct CopiesState {
        std::vector<SignatureCopy> signatures;
        bool touched = false;
    };
    class CopiesCommand;
    class TextCommand;

    void makeWindow();
    void makeControls();
    void wirePreview();
    QWidget* header();
    QLabel* sectionTitle(const QString& title);
    void layout();
    void arrangeSidebar();
    void placeBars();

    // Runs `work` on a worker thread over a PDFFile and a page reader of the worker's own (from
    // `pages`, else Poppler's), sharing the document's page text and drawing no page too heavy
    // to draw; `done` gets the result on the main thread unless `stop` was requested.
    template <class Result>
    void runOnPages(PageSourceFactory pages, std::stop_token stop,
                    std::function<Result(PDFFile&, const PageSource&)> work,
                    std::function<void(Result)> done);
    // Starts the placement search and the form reading, once.
    void startReaders();
    void startSearch(PageSourceFactory pages);
    void searchEnded(std::vector<SignaturePlacement> list);
    // The search did not come back in time: the card goes to the corner of the last page.
    void searchOverdue();
    void startFormReading();
    void formRead(std::vector<FormField> fields, FormReader::ReadReport report);
    // The reading did not come back by its deadline: the window goes on without a form.
    void formReadingOverdue();
    void formReadingEnded();
    // Signing waits for the search while it may still place the card or find the field the card
    // lies on.
    bool searchAwaited() const;
    // The user asked for the form to be filled: the switch is on, or an earlier signing's values
    // come back.
    bool fillingAsked() const;
    // Signing waits for the form's reading once it has found a field, and only when a filling
    // was asked for.
    bool formAwaited() const;
    // Signs now when "Firmar" was pressed and nothing makes it wait any longer; a form reading
    // still running by then (nothing found, or nothing to fill) is stopped.
    void signIfPending();
    // The search still runs and nothing is placed yet.
    bool awaitingPlacement() const;
    void placeBest();
    void restore(const SigningRecord& previous);
    // The document's page list became final.
    void pagesRead();
    void refresh(bool scroll);
    void refreshMarks();
    void refreshBar();
    void updateButton();
    void setMode(Mode mode);
    void selectTool(bool text);
    std::optional<Handwriting> storedHandwriting() const;
    std::vector<FormFill> allFills() const;
    std::string filledCopyName() const;
    void openEditor(const TextBoxes::Target& target);

    void recordCopies(const QString& name);
    void recordText(const QString& name);
    CopiesState copiesState() const { return {signatures_, touched_}; }
    void setCopiesState(const CopiesState& state);

    bool handleKey(QObject* watched, QKeyEvent* event);
    bool isTextInput(const QWidget* widget) const;
    void finish(std::optional<SigningOptions> options);

    // Fields, in the order the window's state is built.
    DocumentContext& context_;
    std::vector<Certificate> certificates_;
    std::vector<std::filesystem::path> files_;
    std::shared_ptr<PreviewDocument> document_;
    std::shared_ptr<PageTextCache> text_;     // its pages' text, shared by the page workers
    std::vector<SignaturePlacement> placements_;
    bool readersStarted_ = false;
    PageSourceFactory pendingPages_;  // the search's page reader, until the search starts
    bool searching_ = false;
    bool signPending_ = false;  // "Firmar" was pressed while the window waited: sign when it ends
    std::stop_source searchStop_;  // asked to stop when the window closes or the panel goes
    bool readingForm_ = false;
    std::stop_source formStop_;    // the same for the form's reading
    // The fields the reading has found so far, counted on its worker.
    std::shared_ptr<std::atomic<std::size_t>> formFound_;
    Mode mode_ = Mode::certificate;
    std::vector<SignatureCopy> signatures_;
    bool touched_ = false;
    Completion completion_;
    bool monitoring_ = false;
    // The user took the focus to the mode control (Tab or a click): it keeps its arrow keys.
    // The window's own first focus there leaves them to the pages.
    bool modeControlChosen_ = false;
    std::optional<SigningRecord> previous_;
    std::optional<std::string> replacing_;
    bool showFullID_ = false;
    bool showBranding_ = true;
    TextBoxes textBoxes_;
    std::unique_ptr<FormSection> form_;
    std::unique_ptr<QUndoStack> undo_;
    std::optional<TextBoxes::Target> editorTarget_;

    QPointer<QWidget> window_;
    QWidget* content_ = nullptr;
    QWidget* pane_ = nullptr;
    QBoxLayout* sidebar_ = nullptr;
    std::vector<QWidget*> sidebarItems_;
    SegmentedControl* modeControl_ = nullptr;
    QLabel* modeNote_ = nullptr;
    QComboBox* certificatePopup_ = nullptr;
    QLabel* details_ = nullptr;
    QLabel* dataNote_ = nullptr;
    QLabel* handwritingImage_ = nullptr;
    QPushButton* handwritingButton_ = nullptr;
    QWidget* handwritingRow_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* receivedNote_ = nullptr;
    PagesPreview* preview_ = nullptr;
    QWidget* separator_ = nullptr;
    PageBar* pageBar_ = nullptr;
    QPushButton* signButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QToolButton* helpButton_ = nullptr;
    SegmentedControl* tools_ = nullptr;
    FloatingBar* toolBar_ = nullptr;
    QWidget* signatureSection_ = nullptr;
    QWidget* formSection_ = nullptr;
    QLabel* formReadingNote_ = nullptr;  // under "Formulario" while the form is read
    QWidget* header_ = nullptr;
    QLabel* headerTitle_ = nullptr;
};
