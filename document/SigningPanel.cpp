#include "document/SigningPanel.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QUndoCommand>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>

#include "ui/Brand.h"
#include "ui/DocumentHost.h"
#include "ui/FloatingBar.h"
#include "ui/PageBar.h"
#include "ui/Palette.h"
#include "ui/RunLoop.h"
#include "ui/SegmentedControl.h"
#include "ui/Symbols.h"
#include "document/FormSection.h"
#include "document/PagesPreview.h"
#include "document/PreviewDocument.h"
#include "pdf/PDFFile.h"
#include "platform/Log.h"
#include "pages/NoPages.h"
#include "pages/PageText.h"
#include "pages/PageProcess.h"
#include "pages/SharedPageText.h"
#include "platform/Preferences.h"
#include "pages/content/PageWeight.h"
#include "signing/SignatureLocator.h"
#include "signing/SignatureStamp.h"

namespace {

// The threads that read the document's pages for the window (its placement search and its form
// reading). Not Qt's global pool: the painter splits large fills over that one, and a window
// being shown must not wait behind readers waiting for their pages. As with the global pool, the
// application's end waits for the readers, which a closed window has told to stop.
QThreadPool& pageReaders() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool();
        p->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        qAddPostRoutine([] { pageReaders().waitForDone(); });
        return p;
    }();
    return *pool;
}

// Window geometry, points (a Qt logical pixel is a point).
constexpr double frameShare = 0.92;
constexpr int minimumDocumentWidth = 900;
constexpr int minimumDocumentHeight = 600;
constexpr int smallWindowSide = 420;
const QSize screenlessFrame{1440, 900};
constexpr int paneWidth = 358;
constexpr int sideMargin = 26;
constexpr int topMargin = 44;     // under the title bar
constexpr int bottomMargin = 22;
constexpr int noteWidth = 306;
constexpr int headerTitleWidth = 250;
constexpr int stackSpacing = 8;
constexpr int buttonMinimumWidth = 110;
constexpr int pageBarBottom = 18;  // above the preview's bottom edge
constexpr int toolBarTop = 30;     // below the preview's top edge
constexpr double spaceOverlapInset = 4;
const QMarginsF previewInsets{32, 76, 32, 72};  // left, top, right, bottom
const QColor barInk{245, 245, 247};

QString qs(const std::string& s) { return QString::fromStdString(s); }

// ICU's Spanish medium date ("4 may 2026") in the default time zone.
QString mediumDate(std::chrono::system_clock::time_point when) {
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icu::Locale("es", "ES")));
    if (!format) return {};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    icu::UnicodeString text;
    format->format(static_cast<UDate>(ms.count()), text);
    std::string utf8;
    text.toUTF8String(utf8);
    return qs(utf8);
}

QLabel* note(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setFont(Brand::systemFont(12));
    Palette::follow(label, QPalette::WindowText, &Palette::secondaryLabel);
    label->setTextFormat(Qt::PlainText);
    return label;
}

bool intersects(const Rect& a, const Rect& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

QImage qimage(const RasterImage& image) {
    if (image.isEmpty()) return {};
    QImage wrapped(image.rgba.data(), image.width, image.height, image.width * 4,
                   QImage::Format_RGBA8888_Premultiplied);
    return wrapped.copy();
}

}  // namespace

// --- Undo -----------------------------------------------------------------------------------

// Both commands are pushed after the state was captured and before the change happens: their
// first redo does nothing. An undo first keeps the state it leaves, so a redo can bring it back.
class SigningPanel::CopiesCommand : public QUndoCommand {
public:
    CopiesCommand(SigningPanel* panel, const QString& name, CopiesState before)
        : QUndoCommand(name), panel_(panel), before_(std::move(before)) {}
    void undo() override {
        if (!panel_) return;
        after_ = panel_->copiesState();
        panel_->setCopiesState(before_);
    }
    void redo() override {
        if (first_) {
            first_ = false;
            return;
        }
        if (panel_) panel_->setCopiesState(after_);
    }

private:
    QPointer<SigningPanel> panel_;
    CopiesState before_;
    CopiesState after_;
    bool first_ = true;
};

class SigningPanel::TextCommand : public QUndoCommand {
public:
    TextCommand(SigningPanel* panel, const QString& name, TextBoxes::State before)
        : QUndoCommand(name), panel_(panel), before_(std::move(before)) {}
    void undo() override {
        if (!panel_) return;
        after_ = panel_->textBoxes_.state();
        apply(before_);
    }
    void redo() override {
        if (first_) {
            first_ = false;
            return;
        }
        apply(after_);
    }

private:
    void apply(const TextBoxes::State& state) {
        if (!panel_) return;
        panel_->textBoxes_.setState(state);
        panel_->refreshMarks();
        panel_->updateButton();
    }
    QPointer<SigningPanel> panel_;
    TextBoxes::State before_;
    TextBoxes::State after_;
    bool first_ = true;
};

// --- Pure parts -------------------------------------------------------------------------------

QSize SigningPanel::windowSize(bool hasDocument, std::optional<QSize> visibleFrame) {
    const QSize frame = visibleFrame.value_or(screenlessFrame);
    QSize size(smallWindowSide, smallWindowSide);
    if (hasDocument) {
        const double w = std::max(frame.width() * frameShare, double(minimumDocumentWidth));
        const double h = std::max(frame.height() * frameShare, double(minimumDocumentHeight));
        size = QSize(static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h)));
    }
    // Never larger than the frame: the sign button must stay on screen.
    if (visibleFrame && !visibleFrame->isEmpty()) size = size.boundedTo(*visibleFrame);
    return size;
}

std::vector<SignatureCopy> SigningPanel::candidateSpaces(
    const std::vector<SignaturePlacement>& list) {
    std::vector<const SignaturePlacement*> detected;
    for (const SignaturePlacement& p : list)
        if (p.detected) detected.push_back(&p);
    std::stable_sort(detected.begin(), detected.end(),
                     [](const auto* a, const auto* b) { return a->rank < b->rank; });
    std::vector<SignatureCopy> kept;
    for (const SignaturePlacement* p : detected) {
        const bool overlaps = std::any_of(kept.begin(), kept.end(), [p](const SignatureCopy& k) {
            return k.pageIndex == p->pageIndex &&
                   intersects(k.rect.insetBy(spaceOverlapInset, spaceOverlapInset), p->rect);
        });
        if (!overlaps) kept.push_back(SignatureCopy{p->pageIndex, p->rect, std::nullopt});
    }
    return kept;
}

// --- Construction -----------------------------------------------------------------------------

SigningPanel::SigningPanel(std::vector<Certificate> certificates,
                           std::vector<std::filesystem::path> files,
                           std::optional<SigningRecord> previous,
                           std::optional<std::string> replacing, DocumentContext& context)
    : SigningPanel(std::move(certificates), std::move(files), std::move(previous),
                   std::move(replacing), context, nullptr) {}

SigningPanel::SigningPanel(std::vector<Certificate> certificates,
                           std::vector<std::filesystem::path> files,
                           std::optional<SigningRecord> previous,
                           std::optional<std::string> replacing, DocumentContext& context,
                           PageSourceFactory pages)
    : context_(context),
      certificates_(std::move(certificates)),
      files_(std::move(files)),
      previous_(std::move(previous)),
      replacing_(std::move(replacing)),
      showFullID_(Preferences::showFullID(*context.defaults)),
      showBranding_(Preferences::showBranding(*context.defaults)),
      undo_(std::make_unique<QUndoStack>()) {
    if (files_.size() == 1) {
        document_ = PreviewDocument::open(files_.front());
        if (document_) {
            // Each page's text is read once, by whichever of the search and the form reading
            // comes to it first. The form is read on a worker as well: the window shows its pages
            // at once, and the form section fills in when the reading ends.
            text_ = std::make_shared<PageTextCache>();
            pendingPages_ = std::move(pages);
            if (document_->pagesRead()) {
                startReaders();
            } else {
                // A long document: both read every page, which takes far longer than showing the
                // window, so they start once the window has painted its first pages whole (at the
                // next turn of the event loop for a window not shown, and at the latest after
                // readersDelay), rather than compete with that painting. Meanwhile the window is
                // as while they run.
                searching_ = true;
                if (!certificates_.empty() && context_.formSection) {
                    readingForm_ = true;
                    formFound_ = std::make_shared<std::atomic<std::size_t>>(0);
                }
                QTimer::singleShot(0, this, [this] {
                    if (!window_ || !window_->isVisible()) startReaders();
                });
                QTimer::singleShot(readersDelay, this, [this] { startReaders(); });
            }
        }
    }
    makeWindow();
    makeControls();
    placeBest();
    if (previous_) restore(*previous_);
    layout();
    refresh(true);
}

SigningPanel::~SigningPanel() {
    searchStop_.request_stop();
    formStop_.request_stop();
    if (monitoring_) qApp->removeEventFilter(this);
    if (form_) form_->onChange = nullptr;
    if (preview_) {
        preview_->onPageChange = nullptr;
        preview_->onZoomChange = nullptr;
    }
    // The form section's view lives in the window: the section goes first.
    form_.reset();
    delete window_.data();
}

void SigningPanel::makeWindow() {
    window_ = new QWidget(nullptr, Qt::Window);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    std::optional<QSize> frame;
    if (context_.visibleFrame)
        if (auto rect = context_.visibleFrame()) frame = rect->size();
    window_->resize(windowSize(document_ != nullptr, frame));
    QString title;
    if (files_.size() == 1) {
        title = qs(files_.front().filename().string());
        window_->setWindowFilePath(qs(files_.front().string()));
    } else {
        title = QStringLiteral("Firmar %1 documentos").arg(files_.size());
    }
    window_->setWindowTitle(title);
    window_->setWindowIcon(Brand::mark());
    window_->installEventFilter(this);
}

void SigningPanel::makeControls() {
    QWidget* w = window_;

    certificatePopup_ = new QComboBox(w);
    for (const Certificate& c : certificates_) certificatePopup_->addItem(qs(c.name));
    int selected = 0;
    if (auto last = Preferences::lastCertificate(*context_.defaults)) {
        for (std::size_t i = 0; i < certificates_.size(); ++i)
            if (certificates_[i].sha1 == *last) {
                selected = static_cast<int>(i);
                break;
            }
    }
    if (!certificates_.empty()) certificatePopup_->setCurrentIndex(selected);
    certificatePopup_->setFixedWidth(noteWidth);
    connect(certificatePopup_, &QComboBox::activated, this, &SigningPanel::certificateChanged);
    if (form_) form_->certificateChanged(selectedCertificate());

    details_ = note(w);
    // A long issuer wraps like the other notes, never widening the sidebar.
    details_->setWordWrap(true);
    details_->setFixedWidth(noteWidth);
    dataNote_ = note(w);
    dataNote_->setText(QStringLiteral("Tus datos, del certificado"));
    modeNote_ = note(w);
    modeNote_->setWordWrap(true);
    modeNote_->setFixedWidth(noteWidth);
    hint_ = note(w);
    hint_->setWordWrap(true);
    hint_->setFixedWidth(noteWidth);
    if (replacing_) hint_->setText(QStringLiteral("Al firmar, sustituirá a «%1».").arg(qs(*replacing_)));
    // In the text's own colour, not the notes' paler one: files were left out.
    receivedNote_ = new QLabel(w);
    receivedNote_->setFont(Brand::systemFont(12));
    receivedNote_->setTextFormat(Qt::PlainText);
    receivedNote_->setWordWrap(true);
    receivedNote_->setFixedWidth(noteWidth);

    modeControl_ = new SegmentedControl(w);
    modeControl_->addSegment(QStringLiteral("Con certificado"), {}, {}, 118);
    modeControl_->addSegment(QStringLiteral("A mano"), {}, {}, 90);
    modeControl_->addSegment(QStringLiteral("Sin firma"), {}, {}, 90);
    modeControl_->setSelected(0);
    connect(modeControl_, &SegmentedControl::activated, this, &SigningPanel::modeChanged);

    handwritingRow_ = new QWidget(w);
    auto* row = new QHBoxLayout(handwritingRow_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    handwritingImage_ = new QLabel(handwritingRow_);
    handwritingImage_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    handwritingImage_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    handwritingButton_ = new QPushButton(handwritingRow_);
    handwritingButton_->setAutoDefault(false);
    connect(handwritingButton_, &QPushButton::clicked, this, &SigningPanel::changeHandwriting);
    row->addWidget(handwritingImage_, 0, Qt::AlignVCenter);
    row->addWidget(handwritingButton_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    if (context_.handwritingNotifier)
        connect(context_.handwritingNotifier, SIGNAL(changed()), this, SLOT(handwritingChanged()));

    signButton_ = new QPushButton(QStringLiteral("Firmar"), w);
    cancelButton_ = new QPushButton(QStringLiteral("Cancelar"), w);
    for (QPushButton* b : {signButton_, cancelButton_}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(buttonMinimumWidth);
        b->setMinimumHeight(30);
    }
    signButton_->setDefault(true);
    connect(signButton_, &QPushButton::clicked, this, &SigningPanel::sign);
    connect(cancelButton_, &QPushButton::clicked, this, &SigningPanel::cancel);
    helpButton_ = new QToolButton(w);
    helpButton_->setText(QStringLiteral("?"));
    helpButton_->setFixedSize(24, 24);
    // A style sheet keeps the colours of the appearance it was set in: it is set again when the
    // controls around it change appearance.
    const auto styleHelp = [button = helpButton_] {
        const QPalette palette = QGuiApplication::palette();
        button->setStyleSheet(
            QStringLiteral("QToolButton { border: 1px solid %1; border-radius: 12px; font-weight: 600; "
                           "color: %2; }")
                .arg(palette.color(QPalette::Mid).name(), palette.color(QPalette::ButtonText).name()));
    };
    styleHelp();
    Palette::onChange(w, styleHelp);  // the button's own palette is the style sheet's
    helpButton_->setToolTip(QStringLiteral(
        "Cómo se pone, se mueve y se repite la firma, y cómo se escribe en el documento"));
    connect(helpButton_, &QToolButton::clicked, this, [this] {
        if (context_.host) context_.host->popHelp("ventana", helpButton_);
    });

    if (!document_) return;

    preview_ = new PagesPreview(w);
    preview_->installEventFilter(this);

    pageBar_ = new PageBar(preview_, PageBar::Look{.fadedWhenDisabled = true,
                                                   .arrowCursor = true,
                                                   .monospaceDigits = true,
                                                   .fixedSize = true});
    connect(pageBar_->previousPage(), &QToolButton::clicked, this, &SigningPanel::showPreviousPage);
    connect(pageBar_->nextPage(), &QToolButton::clicked, this, &SigningPanel::showNextPage);
    connect(pageBar_->zoomOut(), &QToolButton::clicked, this, &SigningPanel::zoomOutDocument);
    connect(pageBar_->zoomIn(), &QToolButton::clicked, this, &SigningPanel::zoomInDocument);
    connect(pageBar_->zoomFit(), &QToolButton::clicked, this, &SigningPanel::zoomToFitDocument);

    toolBar_ = new FloatingBar(preview_);
    tools_ = new SegmentedControl(toolBar_);
    tools_->setPalette(toolBar_->palette());
    tools_->addSegment(QStringLiteral("Firma"), Symbols::icon(QStringLiteral("signature"), barInk, 16),
                       QStringLiteral("Un clic en la página pone ahí una firma; arrastra una firma para moverla"),
                       92);
    tools_->addSegment(QStringLiteral("Texto"),
                       Symbols::icon(QStringLiteral("character.cursor.ibeam"), barInk, 16),
                       QStringLiteral("Un clic en la página pone ahí un texto para escribir"), 92);
    tools_->setSelected(0);
    connect(tools_, &SegmentedControl::activated, this, &SigningPanel::toolChanged);
    auto* toolLayout = new QHBoxLayout(toolBar_);
    toolLayout->setContentsMargins(8, 6, 8, 6);
    toolLayout->addWidget(tools_);

    wirePreview();
}

void SigningPanel::wirePreview() {
    QPointer<SigningPanel> self(this);
    if (form_) {
        form_->onChange = [self] {
            if (!self) return;
            self->refreshMarks();
            self->updateButton();
        };
    }
    PagesPreview& p = *preview_;
    p.onFieldClick = [self](int id, const QRectF& rect) {
        if (!self) return;
        FormSection* form = self->form_.get();
        const bool textBox = TextBoxes::contains(id);
        if (!textBox && form && form->isTick(id)) return form->toggle(id);
        std::optional<TextBoxes::Target> target;
        if (textBox) target = self->textBoxes_.target(id);
        if (!target && !textBox && form) target = form->inlineTarget(id);
        if (target) return self->openEditor(*target);
        if (form && !textBox) form->edit(id, rect, self->preview_);
    };
    p.onFieldMenu = [self](int id, const QRectF& rect) {
        if (!self || TextBoxes::contains(id) || !self->form_ || self->form_->isTick(id)) return;
        self->form_->edit(id, rect, self->preview_);
    };
    p.onFieldEdit = [self](const std::vector<int>& ids, const std::string& text) {
        if (!self || ids.empty()) return;
        if (TextBoxes::contains(ids.front())) {
            const int id = ids.front();
            self->recordText(self->textBoxes_.hasText(id) ? QStringLiteral("Escribir")
                                                          : QStringLiteral("Añadir texto"));
            self->textBoxes_.write(text, id);
            self->refreshMarks();
            self->updateButton();
        } else if (self->form_) {
            self->form_->write(text, ids);
        }
    };
    p.onFieldTab = [self](int id, bool forward) {
        if (!self || !self->form_ || TextBoxes::contains(id)) return;
        const auto next = self->form_->nextEditable(id, forward);
        if (!next) return;
        const auto target = self->form_->inlineTarget(*next);
        if (!target) return;
        PagesPreview* preview = self->preview_;
        if (!preview->showsAllPages() && preview->currentPage() != target->pageIndex)
            preview->setCurrentPage(target->pageIndex);
        self->openEditor(*target);
    };
    p.onTextAdd = [self](int page, Point point) {
        if (!self) return;
        self->openEditor(self->textBoxes_.place(page, point));
    };
    p.onToolChange = [self] {
        if (!self) return;
        PagesPreview* preview = self->preview_;
        if (self->mode_ == Mode::none && preview->tool() == PagesPreview::Tool::signature) {
            preview->setTool(PagesPreview::Tool::text);  // calls back with the text tool
            return;
        }
        self->tools_->setSelected(preview->tool() == PagesPreview::Tool::text ? 1 : 0);
    };
    p.onTextEdit = [self](int id) {
        if (!self) return;
        if (auto target = self->textBoxes_.target(id)) self->openEditor(*target);
    };
    p.onTextWillChange = [self] {
        if (self) self->recordText(QStringLiteral("Mover el texto"));
    };
    p.onTextChange = [self](int id, Point origin, double size) {
        if (!self) return;
        self->textBoxes_.set(id, origin, size);
        self->refreshMarks();
        self->updateButton();
    };
    p.onTextDelete = [self](int id) {
        if (!self) return;
        self->recordText(QStringLiteral("Quitar el texto"));
        self->textBoxes_.remove(id);
        self->refreshMarks();
        self->updateButton();
    };
    p.onSignaturesWillChange = [self](const std::string& name) {
        if (self) self->recordCopies(qs(name));
    };
    p.onSignaturesChange = [self](const std::vector<SignatureCopy>& copies) {
        if (!self) return;
        self->signatures_ = copies;
        self->touched_ = true;
        self->refresh(false);
    };
    p.onPageChange = [self] {
        if (self) self->refreshBar();
    };
    p.onZoomChange = [self] {
        if (self) self->refreshBar();
    };
    p.onPagesRead = [self] {
        if (self) self->pagesRead();
    };
    p.setSpaces(candidateSpaces(placements_));
    p.setFieldMarks(form_ ? form_->marks() : std::vector<PreviewGeometry::FieldMark>{});
    p.setDocument(document_);
    p.setInsets(previewInsets);
}

QWidget* SigningPanel::header() {
    if (header_) return header_;
    header_ = new QWidget(window_);
    auto* row = new QHBoxLayout(header_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    auto* icon = new QLabel(header_);
    icon->setPixmap(Brand::mark().pixmap(QSize(44, 44), window_->devicePixelRatioF()));
    icon->setFixedSize(44, 44);
    headerTitle_ = new QLabel(header_);
    headerTitle_->setTextFormat(Qt::PlainText);
    headerTitle_->setWordWrap(true);
    headerTitle_->setMaximumWidth(headerTitleWidth);
    headerTitle_->setFont(Brand::titleFont(15));
    if (files_.size() == 1) {
        headerTitle_->setText(QStringLiteral("%1 «%2»")
                                  .arg(replacing_ ? QStringLiteral("Volver a firmar")
                                                  : QStringLiteral("Firmar"),
                                       qs(files_.front().filename().string())));
    } else {
        headerTitle_->setText(QStringLiteral("Firmar %1 documentos PDF").arg(files_.size()));
    }
    // A wrapping label in a box layout would take its narrowest width: it gets its text's, up
    // to the most a title may have.
    const int natural = QFontMetrics(headerTitle_->font()).horizontalAdvance(headerTitle_->text());
    headerTitle_->setMinimumWidth(std::min(headerTitleWidth, natural + 2));
    row->addWidget(icon, 0, Qt::AlignVCenter);
    row->addWidget(headerTitle_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return header_;
}

QLabel* SigningPanel::sectionTitle(const QString& title) {
    auto* label = new QLabel(title.toUpper(), window_);
    label->setFont(Brand::systemFont(12, QFont::DemiBold));
    Palette::follow(label, QPalette::WindowText, &Palette::secondaryLabel);
    return label;
}

// --- Layout -------------------------------------------------------------------------------------

void SigningPanel::layout() {
    // The window's own layout holds one content widget, so a menu bar can be put above it.
    auto* outer = new QVBoxLayout(window_);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    content_ = new QWidget(window_);
    outer->addWidget(content_);
    auto* columns = new QHBoxLayout(content_);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    pane_ = new QWidget(content_);
    if (document_) pane_->setFixedWidth(paneWidth);
    auto* paneLayout = new QVBoxLayout(pane_);
    paneLayout->setContentsMargins(sideMargin, topMargin, sideMargin, bottomMargin);
    paneLayout->setSpacing(0);
    sidebar_ = new QVBoxLayout;
    sidebar_->setSpacing(0);
    sidebar_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    paneLayout->addLayout(sidebar_);
    paneLayout->addStretch(1);
    paneLayout->addSpacing(24);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addWidget(helpButton_, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(signButton_);
    paneLayout->addLayout(buttons);
    columns->addWidget(pane_);

    if (form_ || readingForm_) formSection_ = sectionTitle(QStringLiteral("Formulario"));
    if (form_) form_->view()->setParent(pane_);
    if (readingForm_) {
        formReadingNote_ = note(pane_);
        formReadingNote_->setText(QStringLiteral("Leyendo el formulario…"));
    }
    signatureSection_ = sectionTitle(QStringLiteral("Firma"));
    header();

    if (document_) {
        separator_ = new QWidget(content_);
        separator_->setFixedWidth(1);
        separator_->setAutoFillBackground(true);
        Palette::follow(separator_, QPalette::Window, &Palette::separator);
        columns->addWidget(separator_);
        preview_->setParent(content_);
        columns->addWidget(preview_, 1);
        preview_->show();
    }
    arrangeSidebar();
}

void SigningPanel::arrangeSidebar() {
    // Rebuilt from scratch: a box layout would keep the spacing of hidden items.
    while (QLayoutItem* item = sidebar_->takeAt(0)) delete item;
    sidebarItems_.clear();
    std::vector<QWidget*> all{header(), signatureSection_, modeControl_, certificatePopup_,
                              details_, handwritingRow_, modeNote_, dataNote_, hint_,
                              receivedNote_};
    if (form_) {
        all.push_back(formSection_);
        all.push_back(form_->view());
    }
    if (formReadingNote_) {
        if (!form_) all.push_back(formSection_);
        all.push_back(formReadingNote_);
    }
    for (QWidget* w : all) {
        if (w->parentWidget() != pane_) w->setParent(pane_);
        w->hide();
    }

    std::vector<std::pair<QWidget*, int>> items;  // widget, spacing after it
    if (receivedNote_->text().isEmpty()) {
        items.push_back({header(), 26});
    } else {
        items.push_back({header(), 12});
        items.push_back({receivedNote_, 26});
    }
    items.push_back({signatureSection_, 12});
    if (document_) items.push_back({modeControl_, 10});
    const std::optional<Handwriting> stored =
        mode_ == Mode::handwriting ? storedHandwriting() : std::nullopt;
    switch (mode_) {
        case Mode::certificate:
            items.push_back({certificatePopup_, stackSpacing});
            items.push_back({details_, stackSpacing});
            break;
        case Mode::handwriting: {
            if (stored) {
                QImage image = qimage(stored->image());
                if (!image.isNull()) {
                    image = image.scaledToHeight(40, Qt::SmoothTransformation);
                    if (image.width() > 200)
                        image = image.scaledToWidth(200, Qt::SmoothTransformation);
                }
                handwritingImage_->setPixmap(QPixmap::fromImage(image));
                handwritingImage_->setVisible(!image.isNull());
            } else {
                handwritingImage_->clear();
                handwritingImage_->setVisible(false);
            }
            handwritingButton_->setText(stored ? QStringLiteral("Cambiar…")
                                               : QStringLiteral("Crear tu firma…"));
            items.push_back({handwritingRow_, stackSpacing});
            break;
        }
        case Mode::none:
            break;
    }
    items.push_back({modeNote_, 22});
    if (form_) {
        items.push_back({formSection_, stackSpacing});
        if (mode_ != Mode::certificate) {
            items.push_back({dataNote_, stackSpacing});
            items.push_back({certificatePopup_, stackSpacing});
        }
        items.push_back({form_->view(), 22});
    } else if (readingForm_) {
        items.push_back({formSection_, stackSpacing});
        items.push_back({formReadingNote_, 22});
    }
    if (!hint_->text().isEmpty()) items.push_back({hint_, stackSpacing});

    for (std::size_t i = 0; i < items.size(); ++i) {
        QWidget* w = items[i].first;
        sidebar_->addWidget(w, 0, Qt::AlignLeft);
        if (i + 1 < items.size()) sidebar_->addSpacing(items[i].second);
        w->show();
        sidebarItems_.push_back(w);
    }
}

void SigningPanel::placeBars() {
    if (!preview_) return;
    const QSize size = preview_->size();
    pageBar_->adjustSize();
    toolBar_->adjustSize();
    pageBar_->move((size.width() - pageBar_->width()) / 2,
                   size.height() - pageBarBottom - pageBar_->height());
    toolBar_->move((size.width() - toolBar_->width()) / 2, toolBarTop);
    pageBar_->raise();
    toolBar_->raise();
}

// --- Placing and restoring ------------------------------------------------------------------

const Certificate& SigningPanel::selectedCertificate() const {
    static const Certificate none;
    if (certificates_.empty()) return none;
    const int index = std::clamp(certificatePopup_ ? certificatePopup_->currentIndex() : 0, 0,
                                 static_cast<int>(certificates_.size()) - 1);
    return certificates_[static_cast<std::size_t>(index)];
}

template <class Result>
void SigningPanel::runOnPages(PageSourceFactory pages, std::stop_token stop,
                              std::function<Result(PDFFile&, const PageSource&)> work,
                              std::function<void(Result)> done) {
    // The worker reads with its own PDFFile and its own page reader over the document's bytes,
    // which never change while the document lives (kept alive by `document`): no copy of the
    // file, and the document's objects stay the main thread's. The result comes back queued to
    // the main thread; `done` guards against a panel gone by then.
    pageReaders().start([document = document_, judge = document_->judge(),
                                          text = text_, pages = std::move(pages), stop,
                                          work = std::move(work), done = std::move(done)]() mutable {
        Result result{};
        try {
            PDFFile file(document->bytes(), document, document->opening());
            std::unique_ptr<PageSource> source = pages ? pages(file.bytes()) : nullptr;
            // A page process of the worker's own over the document's copy of the bytes.
            if (!source) source = document->pages().clone();
            if (source) {
                SharedPageText shared(text, std::make_unique<GuardedPages>(*source, judge));
                // A worker told to stop leaves the page it is reading at once.
                shared.setCutoff([stop] { return stop.stop_requested(); });
                result = work(file, shared);
            } else {
                result = work(file, NoPages());
            }
        } catch (const std::exception&) {
            result = Result{};  // nothing found: the window goes on without it
        }
        text.reset();
        judge.reset();
        document.reset();
        if (stop.stop_requested()) return;
        QMetaObject::invokeMethod(
            qApp, [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
            Qt::QueuedConnection);
    });
}

void SigningPanel::startReaders() {
    if (readersStarted_) return;
    readersStarted_ = true;
    // The rest of a long document's page tree is read from now on as well.
    if (document_) document_->readTreeNow();
    // A window closed or cancelled meanwhile starts nothing.
    if (!searchStop_.stop_requested()) startSearch(std::move(pendingPages_));
    if (!certificates_.empty() && context_.formSection && !formStop_.stop_requested())
        startFormReading();
}

void SigningPanel::startSearch(PageSourceFactory pages) {
    searching_ = true;
    QPointer<SigningPanel> self(this);
    runOnPages<std::vector<SignaturePlacement>>(
        std::move(pages), searchStop_.get_token(),
        [stop = searchStop_.get_token()](PDFFile& file, const PageSource& source) {
            return SignatureLocator::placements(file, source, stop, SignatureLocator::Deadline(),
                                                SignatureLocator::Extent::untilSettled);
        },
        [self](std::vector<SignaturePlacement> list) {
            if (self) self->searchEnded(std::move(list));
        });
    QTimer::singleShot(searchWaitLimit(), this, [this] { searchOverdue(); });
}

std::chrono::milliseconds& SigningPanel::searchWaitLimit() {
    // The search keeps to its own time limit; this one only matters when a page reader cannot
    // be interrupted at all.
    static std::chrono::milliseconds limit =
        std::chrono::duration_cast<std::chrono::milliseconds>(SignatureLocator::searchTime) +
        std::chrono::seconds(2);
    return limit;
}

void SigningPanel::searchOverdue() {
    if (!searching_) return;
    searchStop_.request_stop();
    Log::write("La búsqueda del hueco de firma no ha terminado a tiempo: la tarjeta va a la "
               "esquina de la última página.");
    std::vector<SignaturePlacement> list;
    if (const int n = document_->pageCount(); n > 0)
        list.push_back(SignatureLocator::cornerPlace(n, document_->displaySpace(n - 1)));
    searchEnded(std::move(list));
}

void SigningPanel::searchEnded(std::vector<SignaturePlacement> list) {
    if (!searching_) return;
    searching_ = false;
    placements_ = std::move(list);
    if (preview_) preview_->setSpaces(candidateSpaces(placements_));
    // The proposal, as at construction, unless the copies were set meanwhile.
    if (!touched_) {
        placeBest();
        refresh(true);
    } else {
        updateButton();
    }
    emit placementsFound();
    signIfPending();
}

void SigningPanel::startFormReading() {
    // Through Poppler's pages, whatever the search reads through. A reading that does not come
    // back by its deadline is left behind (see formReadingOverdue).
    readingForm_ = true;
    formFound_ = std::make_shared<std::atomic<std::size_t>>(0);
    QPointer<SigningPanel> self(this);
    DocumentContext::FormReading read = context_.readForm;
    if (!read)
        read = [](PDFFile& file, const PageSource& source, std::stop_token token,
                  FormReader::ReadReport* report, const FormReader::Progress& found) {
            return FormReader::fields(file, source, std::move(token), report, found);
        };
    using Reading = std::pair<std::vector<FormField>, FormReader::ReadReport>;
    runOnPages<Reading>(
        nullptr, formStop_.get_token(),
        [read = std::move(read), stop = formStop_.get_token(),
         counter = formFound_](PDFFile& file, const PageSource& source) {
            Reading reading;
            reading.first = read(file, source, stop, &reading.second,
                                 [&counter](std::size_t found) { counter->store(found); });
            return reading;
        },
        [self](Reading reading) {
            if (self) self->formRead(std::move(reading.first), reading.second);
        });
    // The reading keeps to its own time limit; this one only matters when a page reader cannot
    // be interrupted at all.
    const auto limit =
        FormReader::readingTimeLimit(document_->pageCount()) + std::chrono::seconds(2);
    QTimer::singleShot(limit, this, [this] { formReadingOverdue(); });
}

void SigningPanel::formRead(std::vector<FormField> fields, FormReader::ReadReport report) {
    if (!readingForm_) return;
    if (const std::string line = FormReader::readingLine(report, fields.size()); !line.empty())
        Log::write(line);
    form_ = context_.formSection(std::move(fields), files_.front().stem().string(),
                                 certificates_.front(), context_);
    if (form_) {
        form_->view()->setParent(pane_);
        form_->certificateChanged(selectedCertificate());
        if (report.partial()) form_->readInPart(report.pagesWhole, report.pageCount);
        if (previous_) {
            std::vector<FormFill> formFills;
            for (const FormFill& f : previous_->fills)
                if (f.name != TextBoxes::fillName) formFills.push_back(f);
            form_->restore(formFills);
        }
        QPointer<SigningPanel> self(this);
        form_->onChange = [self] {
            if (!self) return;
            self->refreshMarks();
            self->updateButton();
            self->signIfPending();  // the values a pending signature waited for are in
        };
    }
    formReadingEnded();
}

void SigningPanel::formReadingOverdue() {
    if (!readingForm_) return;
    formStop_.request_stop();
    Log::write("El formulario no se ha leído a tiempo: se firma sin rellenarlo.");
    formReadingEnded();
}

void SigningPanel::formReadingEnded() {
    readingForm_ = false;
    arrangeSidebar();
    refreshMarks();
    refresh(false);
    emit formReadingFinished();
    signIfPending();
}

bool SigningPanel::searchAwaited() const {
    // Which copy lies on one of the document's own signature fields is known only once the
    // search has found them: until then a card over a field would be handed over as a new area,
    // leaving the field unsigned. Nothing placed yet and untouched, the card is still to come.
    if (!searching_ || !document_ || mode_ != Mode::certificate) return false;
    return !signatures_.empty() || !touched_;
}

bool SigningPanel::fillingAsked() const {
    // While the form is read there is no section yet: its switch will start where the user left
    // it, and a document signed before gets its earlier values back, which turns it on.
    if (Preferences::fillForms(*context_.defaults)) return true;
    return previous_ && std::any_of(previous_->fills.begin(), previous_->fills.end(),
                                    [](const FormFill& f) { return f.name != TextBoxes::fillName; });
}

bool SigningPanel::formAwaited() const {
    // Once read, a form whose switch is on is still recognised in the background: its values
    // come when that ends.
    if (form_ && form_->analysing()) return true;
    return readingForm_ && formFound_ && formFound_->load() > 0 && fillingAsked();
}

void SigningPanel::signIfPending() {
    if (!signPending_ || searchAwaited() || formAwaited()) return;
    if (readingForm_) {
        // Nothing found so far, or nothing to fill: the window shows no form, and the signature
        // goes without one.
        const bool found = formFound_ && formFound_->load() > 0;
        formStop_.request_stop();
        readingForm_ = false;
        Log::write(found ? "Se firma sin esperar al formulario: no se ha pedido rellenarlo."
                         : "Se firma sin esperar al formulario: su lectura no había encontrado "
                           "ningún campo.");
    }
    signPending_ = false;
    finish(options());
}

bool SigningPanel::awaitingPlacement() const {
    return searching_ && !touched_ && signatures_.empty();
}

void SigningPanel::placeBest() {
    if (!document_) return;
    if (auto best = SignatureLocator::best(placements_, &selectedCertificate()))
        signatures_ = {SignatureCopy{best->pageIndex, best->rect, std::nullopt}};
}

void SigningPanel::restore(const SigningRecord& previous) {
    for (std::size_t i = 0; i < certificates_.size(); ++i) {
        if (certificates_[i].sha1 != previous.certificate) continue;
        certificatePopup_->setCurrentIndex(static_cast<int>(i));
        if (form_) form_->certificateChanged(certificates_[i]);
        break;
    }
    showFullID_ = previous.showFullID;
    showBranding_ = previous.showBranding;
    if (document_) {
        std::vector<SignatureCopy> copies;
        if (previous.visible && previous.pageIndex && previous.rect)
            copies.push_back(SignatureCopy{*previous.pageIndex, *previous.rect, std::nullopt});
        if (previous.copies)
            for (const SignatureCopy& copy : *previous.copies)
                if (!copy.handwritten.value_or(false)) copies.push_back(copy);
        // A hand-edited record may point before the first page as well as past the last.
        const int pages = document_->pageCount();
        std::erase_if(copies, [pages](const SignatureCopy& c) {
            return c.pageIndex < 0 || c.pageIndex >= pages;
        });
        signatures_ = std::move(copies);
        touched_ = true;
    }
    if (form_) {
        std::vector<FormFill> formFills;
        for (const FormFill& f : previous.fills)
            if (f.name != TextBoxes::fillName) formFills.push_back(f);
        form_->restore(formFills);
    }
    textBoxes_.restore(previous.fills);
    refreshMarks();
    updateButton();
}

void SigningPanel::pagesRead() {
    // A long document's count is final only now: copies restored onto pages that its tree
    // declared but does not hold go, as restore() drops those past the last page.
    const int pages = document_->pageCount();
    const std::size_t before = signatures_.size();
    std::erase_if(signatures_, [pages](const SignatureCopy& c) { return c.pageIndex >= pages; });
    if (signatures_.size() != before) refresh(false);
}

// --- Refresh --------------------------------------------------------------------------------

std::optional<Handwriting> SigningPanel::storedHandwriting() const {
    return context_.handwriting ? context_.handwriting() : std::nullopt;
}

std::vector<FormFill> SigningPanel::allFills() const {
    std::vector<FormFill> fills = form_ ? form_->fills() : std::vector<FormFill>{};
    const std::vector<FormFill> texts = textBoxes_.fills();
    fills.insert(fills.end(), texts.begin(), texts.end());
    return fills;
}

std::string SigningPanel::filledCopyName() const {
    if (files_.empty() || !context_.host) return {};
    return context_.host->filledCopy(files_.front()).filename().string();
}

void SigningPanel::refresh(bool scroll) {
    const Certificate& certificate = selectedCertificate();
    QString details = qs(certificate.issuer);
    if (!details.isEmpty()) details += QStringLiteral(" · ");
    details += QStringLiteral("Caduca el ") + mediumDate(certificate.notAfter);
    details_->setText(details);

    std::optional<PagesPreview::Look> look;
    switch (mode_) {
        case Mode::certificate: {
            SignatureStamp stamp{certificate, context_.now ? context_.now()
                                                           : std::chrono::system_clock::now(),
                                 showFullID_, showBranding_};
            look = PagesPreview::Look::card(stamp);
            if (!document_)
                modeNote_->setText(QStringLiteral(
                    "Firma electrónica con tu certificado. Cada documento lleva la tarjeta en el "
                    "hueco de firma que se encuentre o, si no hay, en la última página."));
            else if (awaitingPlacement() || (signPending_ && searchAwaited()))
                modeNote_->setText(QStringLiteral(
                    "Firma electrónica con tu certificado. Buscando el hueco de firma…"));
            else if (signPending_ && formAwaited())
                modeNote_->setText(QStringLiteral(
                    "Firma electrónica con tu certificado. Leyendo el formulario…"));
            else if (!signatures_.empty())
                modeNote_->setText(QStringLiteral(
                    "Firma electrónica con tu certificado. La tarjeta de la página lo dice."));
            else
                modeNote_->setText(QStringLiteral(
                    "Firma electrónica con tu certificado, sin nada en la página. Haz clic en la "
                    "página para poner la tarjeta."));
            break;
        }
        case Mode::handwriting:
            if (auto stored = storedHandwriting()) look = PagesPreview::Look::handwriting(*stored);
            modeNote_->setText(QStringLiteral(
                "Solo la imagen de tu firma, como una escaneada: no es firma electrónica."));
            break;
        case Mode::none:
            modeNote_->setText(QStringLiteral("Solo lo que escribas en el documento, sin firma."));
            break;
    }
    if (preview_) {
        preview_->setLook(look);
        preview_->setSignatures(signatures_);
    }
    updateButton();
    if (preview_ && !signatures_.empty()) {
        const int page = signatures_.front().pageIndex;
        const std::vector<int> visible = preview_->visiblePages();
        if (scroll || std::find(visible.begin(), visible.end(), page) == visible.end())
            preview_->setCurrentPage(page);
    }
    refreshBar();
}

void SigningPanel::refreshMarks() {
    if (!preview_) return;
    preview_->setFieldMarks(form_ ? form_->marks() : std::vector<PreviewGeometry::FieldMark>{});
    preview_->setTexts(textBoxes_.marks());
}

void SigningPanel::refreshBar() {
    if (!preview_) return;
    const double zoom = preview_->zoom();
    pageBar_->setState(
        {.page = preview_->currentPage(),
         .pageCount = preview_->pageCount(),
         .allPages = preview_->showsAllPages(),
         .canZoomOut = zoom > PageViewer::zoomRange.lowerBound,
         .canZoomIn = zoom<PageViewer::zoomRange.upperBound, .canZoomToFit = zoom> 1});
    placeBars();
}

void SigningPanel::updateButton() {
    const bool hasFills = !allFills().empty();
    if (mode_ == Mode::certificate) {
        signButton_->setText(hasFills ? QStringLiteral("Rellenar y firmar") : QStringLiteral("Firmar"));
        // Pressed while the search runs, it signs when the search has placed the card.
        signButton_->setEnabled(!signPending_);
        signButton_->setToolTip({});
        return;
    }
    signButton_->setText(QStringLiteral("Guardar"));
    signButton_->setEnabled(!signPending_ &&
                            (hasFills || (mode_ == Mode::handwriting && !signatures_.empty())));
    signButton_->setToolTip(
        QStringLiteral("Como «%1», junto al original").arg(qs(filledCopyName())));
}

// --- Modes ----------------------------------------------------------------------------------

void SigningPanel::modeChanged() {
    const int segment = modeControl_->selected();
    const Mode wanted = segment == 1 ? Mode::handwriting : segment == 2 ? Mode::none : Mode::certificate;
    if (wanted == Mode::handwriting && !storedHandwriting()) {
        const Mode before = mode_;
        QPointer<SigningPanel> self(this);
        const bool shown =
            context_.presentHandwritingSheet &&
            context_.presentHandwritingSheet(window_, [self, before](bool saved) {
                if (!self) return;
                if (saved)
                    self->setMode(Mode::handwriting);
                else
                    self->modeControl_->setSelected(static_cast<int>(before));
            });
        // A refused sheet never answers: the control goes back at once.
        if (!shown) modeControl_->setSelected(static_cast<int>(before));
        return;
    }
    setMode(wanted);
}

void SigningPanel::setMode(Mode mode) {
    const Mode old = mode_;
    signPending_ = false;  // another mode: the user signs again when ready
    mode_ = mode;
    modeControl_->setSelected(static_cast<int>(mode));
    if (tools_) tools_->setSegmentEnabled(0, mode != Mode::none);
    if (preview_ && (mode == Mode::none || old == Mode::none))
        preview_->setTool(mode == Mode::none ? PagesPreview::Tool::text : PagesPreview::Tool::signature);
    arrangeSidebar();
    refresh(false);
}

void SigningPanel::changeHandwriting() {
    // The new image arrives through the store's change signal.
    if (context_.presentHandwritingSheet) context_.presentHandwritingSheet(window_, [](bool) {});
}

void SigningPanel::handwritingChanged() {
    if (mode_ == Mode::handwriting && !storedHandwriting()) return setMode(Mode::none);
    arrangeSidebar();
    refresh(false);
}

void SigningPanel::certificateChanged() {
    if (form_) form_->certificateChanged(selectedCertificate());
    if (!touched_) placeBest();
    refresh(true);
}

// --- Navigation and zoom --------------------------------------------------------------------

void SigningPanel::selectTool(bool text) {
    if (preview_) preview_->setTool(text ? PagesPreview::Tool::text : PagesPreview::Tool::signature);
}

void SigningPanel::toolChanged() {
    if (!preview_) return;
    selectTool(tools_->selected() == 1);
    preview_->setFocus(Qt::OtherFocusReason);
}

void SigningPanel::showPreviousPage() {
    if (preview_) preview_->setCurrentPage(std::max(0, preview_->currentPage() - 1));
}

void SigningPanel::showNextPage() {
    if (preview_)
        preview_->setCurrentPage(std::min(preview_->pageCount() - 1, preview_->currentPage() + 1));
}

void SigningPanel::zoomInDocument() {
    if (preview_) preview_->zoomBy(1.5);
}

void SigningPanel::zoomOutDocument() {
    if (preview_) preview_->zoomBy(1 / 1.5);
}

void SigningPanel::zoomToFitDocument() {
    if (preview_) preview_->setZoom(1);
}

bool SigningPanel::respondsTo(MenuAction action) const {
    return action == MenuAction::zoomInDocument || action == MenuAction::zoomOutDocument ||
           action == MenuAction::zoomToFitDocument;
}

void SigningPanel::perform(MenuAction action) {
    switch (action) {
        case MenuAction::zoomInDocument: return zoomInDocument();
        case MenuAction::zoomOutDocument: return zoomOutDocument();
        case MenuAction::zoomToFitDocument: return zoomToFitDocument();
        default: return;
    }
}

bool SigningPanel::validateMenuItem(const QAction& item) const {
    const auto action = MenuActions::fromSelector(item.objectName());
    if (!action || !respondsTo(*action)) return true;
    if (!preview_) return false;
    const double zoom = preview_->zoom();
    switch (*action) {
        case MenuAction::zoomInDocument: return zoom < PageViewer::zoomRange.upperBound;
        case MenuAction::zoomOutDocument: return zoom > PageViewer::zoomRange.lowerBound;
        default: return zoom > 1;
    }
}

// --- Undo -----------------------------------------------------------------------------------

void SigningPanel::recordCopies(const QString& name) {
    undo_->push(new CopiesCommand(this, name, copiesState()));
}

void SigningPanel::recordText(const QString& name) {
    undo_->push(new TextCommand(this, name, textBoxes_.state()));
}

void SigningPanel::setCopiesState(const CopiesState& state) {
    signatures_ = state.signatures;
    touched_ = state.touched;
    refresh(false);
}

void SigningPanel::openEditor(const TextBoxes::Target& target) {
    editorTarget_ = target;
    if (preview_) preview_->beginEditing(target.ids, target.pageIndex, target.rect, target.text);
}

// --- Life cycle -----------------------------------------------------------------------------

SigningOptions SigningPanel::options() const {
    SigningOptionsAssembly::Input input;
    input.certificate = selectedCertificate();
    input.mode = mode_;
    input.singleDocument = document_ != nullptr;
    input.showFullID = showFullID_;
    input.showBranding = showBranding_;
    input.placements = placements_;
    input.copies = signatures_;
    if (form_) {
        input.formFills = form_->fills();
        input.remember = form_->remembered();
    }
    input.textFills = textBoxes_.fills();
    if (mode_ != Mode::certificate) input.handwriting = storedHandwriting();
    return SigningOptionsAssembly::assemble(input);
}

void SigningPanel::setReceived(std::size_t received) {
    const QString text =
        received > files_.size()
            ? QStringLiteral("Se han recibido %1 documentos; se firman los %2 primeros.")
                  .arg(received)
                  .arg(files_.size())
            : QString();
    if (text == receivedNote_->text()) return;
    receivedNote_->setText(text);
    arrangeSidebar();
}

void SigningPanel::begin(Completion completion) {
    completion_ = std::move(completion);
    if (context_.visibleFrame)
        if (auto frame = context_.visibleFrame()) {
            QRect geometry(QPoint(), window_->size());
            geometry.moveCenter(frame->center());
            window_->move(geometry.topLeft());
        }
    window_->show();
    bringToFront(window_);
    if (document_)
        modeControl_->setFocus(Qt::OtherFocusReason);
    else
        certificatePopup_->setFocus(Qt::OtherFocusReason);
    if (!monitoring_) {
        qApp->installEventFilter(this);
        monitoring_ = true;
    }
    placeBars();
}

void SigningPanel::sign() {
    // Presses while the window waits are one: it signs once.
    if (signPending_) return;
    signPending_ = true;
    if (searchAwaited() || formAwaited()) return refresh(false);  // the note says what it awaits
    signIfPending();
}

void SigningPanel::cancel() { finish(std::nullopt); }

void SigningPanel::finish(std::optional<SigningOptions> options) {
    if (!completion_) return;
    Completion completion = std::move(completion_);
    completion_ = nullptr;
    searchStop_.request_stop();
    formStop_.request_stop();
    if (monitoring_) {
        qApp->removeEventFilter(this);
        monitoring_ = false;
    }
    if (context_.handwritingNotifier) disconnect(context_.handwritingNotifier, nullptr, this, nullptr);
    if (window_) window_->hide();
    completion(std::move(options));
}

bool SigningPanel::isTextInput(const QWidget* widget) const {
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget);
}

bool SigningPanel::handleKey(QObject* watched, QKeyEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !window_ || widget->window() != window_) return false;
    // The window's first responder, also while another window is active.
    QWidget* focus = window_->focusWidget();
    const int key = event->key();
    const bool firstDelivery = widget == focus || (!focus && widget == window_);
    // Escape leaves the text tool first, also from the preview's inline editor, which stays open
    // with what was typed; other text inputs keep their own Escape.
    const bool inlineEditor = preview_ && focus && focus == preview_->inlineEditor();
    if (firstDelivery && key == Qt::Key_Escape && (inlineEditor || !isTextInput(focus)) &&
        preview_ && preview_->tool() == PagesPreview::Tool::text && mode_ != Mode::none) {
        selectTool(false);
        return true;
    }
    // Page keys turn the page, unless the focused control uses them: a text input, a segmented
    // control, a popup with the up and down arrows, or the preview itself.
    if (firstDelivery && preview_) {
        const bool popupArrow = qobject_cast<const QComboBox*>(focus) &&
                                (key == Qt::Key_Up || key == Qt::Key_Down);
        // The mode control holds the window's first focus without the user having chosen it:
        // its arrows are the pages', and never change the mode.
        const bool idleModeControl = focus == modeControl_ && !modeControlChosen_;
        const bool passOn = isTextInput(focus) ||
                            (qobject_cast<const SegmentedControl*>(focus) && !idleModeControl) ||
                            popupArrow || focus == preview_;
        if (!passOn && preview_->turnPage(*event)) return true;
        if (idleModeControl && (key == Qt::Key_Left || key == Qt::Key_Right)) return true;
    }
    // Return and Escape reach the window itself only when the focused widget left them.
    if (widget == window_ && !isTextInput(focus)) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (signButton_->isEnabled()) sign();
            return true;
        }
        if (key == Qt::Key_Escape) {
            cancel();
            return true;
        }
    }
    return false;
}

bool SigningPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && event->type() == QEvent::Close) {
        finish(std::nullopt);
        return false;
    }
    if (watched == preview_ && event->type() == QEvent::Resize) placeBars();
    // The readers of a long document start once the first pages are painted whole: looked at
    // once this paint is done.
    if (watched == preview_ && event->type() == QEvent::Paint && !readersStarted_)
        QTimer::singleShot(0, this, [this] {
            if (preview_ && preview_->drawnWhole()) startReaders();
        });
    if (watched == modeControl_ && event->type() == QEvent::FocusIn) {
        // Coming back to the window, or from a popup, the focus keeps what it was.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            modeControlChosen_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                                 reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    }
    if (monitoring_ && event->type() == QEvent::KeyPress)
        return handleKey(watched, static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
}
