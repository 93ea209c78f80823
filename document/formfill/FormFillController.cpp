#include "document/formfill/FormFillController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>

#include <exception>
#include <mutex>

#include "ui/Brand.h"
#include "ui/MainMenu.h"
#include "ui/Palette.h"
#include "ui/Popover.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "document/PreviewDocument.h"
#include "document/formfill/FieldEditor.h"
#include "document/formfill/FormFillWidgets.h"
#include "document/formfill/FormStatus.h"
#include "document/formfill/SuggestionsReview.h"
#include "forms/ai/AISettings.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/reader/FormReader.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "profile/ProfileStore.h"
#include "pages/content/PageWeight.h"

using FormFillWidgets::qs;

namespace {

// A colour made opaque over the background, for rich text that ignores alpha.
QString opaque(const QColor& color, const QColor& background) {
    const double a = color.alphaF();
    auto mix = [a](int c, int b) { return static_cast<int>(c * a + b * (1 - a) + 0.5); };
    return QColor(mix(color.red(), background.red()), mix(color.green(), background.green()),
                  mix(color.blue(), background.blue()))
        .name();
}

std::stop_source& quitSource() {
    static std::stop_source source;
    return source;
}

// Asks every labelling task to stop when the application quits (once per process).
void stopOnQuit() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, [] { quitSource().request_stop(); });
    });
}

bool standardAIOn() {
    static const AISettings settings = AISettings::standard();
    return JevLabeler::isOn(settings);
}

}  // namespace

std::stop_token FormFillController::quitToken() { return quitSource().get_token(); }

std::unique_ptr<FormFillController> FormFillController::make(PreviewDocument& document, const std::string& formName,
                                                             const Certificate& certificate,
                                                             DocumentContext& context) {
    GuardedPages pages(document.pages(), document.judge());
    return make(FormReader::fields(document.file(), pages), formName, certificate, context);
}

std::unique_ptr<FormFillController> FormFillController::make(std::vector<FormField> fields,
                                                             const std::string& formName,
                                                             const Certificate& certificate,
                                                             DocumentContext& context) {
    if (!FormFillModel::fillable(fields)) return nullptr;
    std::unique_ptr<FormFillController> controller(
        new FormFillController(FormFillModel(std::move(fields), formName, certificate), context));
    controller->build();
    if (controller->isOn()) controller->analyse();
    return controller;
}

FormFillController::FormFillController(FormFillModel model, DocumentContext& context)
    : model_(std::move(model)), context_(context) {
    aiOn = standardAIOn;
    stopOnQuit();
}

FormFillController::~FormFillController() {
    onChange = nullptr;
    if (popover_) delete popover_.data();
    if (view_) delete view_.data();
}

// --- The section ---------------------------------------------------------------------------------

void FormFillController::build() {
    using FormFillWidgets::Level;
    auto* view = new QWidget;
    view_ = view;
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* header = new QWidget(view);
    header->setFixedWidth(sectionWidth);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Rellenar con mis datos"), header);
    title->setTextFormat(Qt::PlainText);
    title->setFont(Brand::systemFont(13, QFont::Medium));
    toggle_ = new Switch(header);
    toggle_->setChecked(Preferences::fillForms(*context_.defaults));
    model_.setOn(toggle_->isChecked());
    connect(toggle_, &Switch::clicked, this, [this] { toggled(); });
    headerLayout->addWidget(title);
    headerLayout->addStretch(1);
    headerLayout->addWidget(toggle_);

    status_ = FormFillWidgets::wrapping({}, 12, Level::primary, sectionWidth, view);
    // The counts' colours are written into the status text: it is written again for a new
    // appearance.
    Palette::onChange(status_, [this] { refresh(); });

    confirm_ = FormFillWidgets::button({}, view);
    connect(confirm_, &QPushButton::clicked, this, [this] { reviewSuggestions(); });

    roleRow_ = new QWidget(view);
    auto* roleLayout = new QHBoxLayout(roleRow_);
    roleLayout->setContentsMargins(0, 0, 0, 0);
    roleLayout->setSpacing(8);
    roleLayout->addWidget(FormFillWidgets::label(QStringLiteral("Aquí eres"), 12, Level::secondary, roleRow_));
    roleControl_ = new SegmentedControl(roleRow_);
    roleControl_->addSegment(QStringLiteral("Solicitante"));
    roleControl_->addSegment(QStringLiteral("Representante"));
    roleControl_->setSelected(0);
    connect(roleControl_, &SegmentedControl::activated, this, [this] { roleChanged(); });
    roleLayout->addWidget(roleControl_);
    roleLayout->addStretch(1);

    missingRow_ = new QWidget(view);
    auto* missingLayout = new QVBoxLayout(missingRow_);
    missingLayout->setContentsMargins(0, 0, 0, 0);
    missingLayout->setSpacing(5);
    missing_ = FormFillWidgets::wrapping({}, 12, Level::secondary, sectionWidth, missingRow_);
    profileButton_ = FormFillWidgets::button(QStringLiteral("Abrir Mis datos"), missingRow_);
    connect(profileButton_, &QPushButton::clicked, this, [this] { openProfile(); });
    missingLayout->addWidget(missing_, 0, Qt::AlignLeft);
    missingLayout->addWidget(profileButton_, 0, Qt::AlignLeft);

    note_ = FormFillWidgets::wrapping({}, 12, Level::tertiary, sectionWidth, view);
    // Wrapping labels take their height from a known width.
    for (QLabel* l : {status_, missing_, note_}) l->setFixedWidth(sectionWidth);

    for (QWidget* w : std::initializer_list<QWidget*>{header, status_, confirm_, roleRow_, missingRow_, note_})
        column->addWidget(w, 0, Qt::AlignLeft);

    status_->setVisible(isOn());
    note_->setVisible(isOn());
    confirm_->hide();
    roleRow_->hide();
    missingRow_->hide();
}

bool FormFillController::isOn() const { return toggle_ && toggle_->isChecked(); }

bool FormFillController::isAnalysing() const { return isOn() && !model_.labels(); }

void FormFillController::analyse() {
    if (model_.labels()) {
        rebuild();
        return;
    }
    status_->setTextFormat(Qt::PlainText);
    status_->setText(QString::fromUtf8(FormStatus::analysing));
    confirm_->hide();

    DocumentContext::Labeller labeller = context_.labeller;
    if (!labeller) {
        labeller = [](const std::vector<FormUnit>& units, const std::string& name, std::stop_token stop) {
            return FieldLabeler::labels(units, name, FieldLabeler::rulesOnly(), stop);
        };
    }
    QPointer<FormFillController> self(this);
    QThreadPool::globalInstance()->start(
        [self, labeller = std::move(labeller), units = model_.units(), name = model_.formName(),
         stop = quitToken()]() mutable {
            FieldLabeler::Labelling result;
            try {
                result = labeller(units, name, stop);
            } catch (const std::exception& e) {
                result = {};
                Log::write(std::string("No se pudo reconocer el formulario «") + name + "»: " + e.what());
            } catch (...) {
                result = {};
                Log::write("No se pudo reconocer el formulario «" + name + "».");
            }
            QCoreApplication* app = QCoreApplication::instance();
            if (!app) return;
            QMetaObject::invokeMethod(
                app,
                [self, result = std::move(result)]() mutable {
                    if (self) self->labelled(std::move(result));
                },
                Qt::QueuedConnection);
        });
}

void FormFillController::labelled(FieldLabeler::Labelling result) {
    aiAnswered_ = result.ai;
    model_.setLabels(std::move(result.labels));
    rebuild();
}

void FormFillController::rebuild() {
    if (!model_.labels()) return;
    model_.rebuild(ProfileStore::facts(*context_.secrets),
                   context_.now ? context_.now() : std::chrono::system_clock::now());
    // Asking whether the AI is on reads the secret store: once per plan, not on every keystroke.
    aiOnNow_ = aiOn && aiOn();
    refresh();
}

void FormFillController::refresh() {
    const std::optional<FormPlan>& plan = model_.plan();
    if (!plan) return;
    const bool on = isOn();

    const int written = static_cast<int>(plan->written().size());
    const int suggested = plan->count(FillItem::State::suggested);
    const int yours = plan->count(FillItem::State::yours);
    const std::vector<FormStatus::Segment> segments = FormStatus::segments(written, suggested, yours);
    const QPalette palette = status_->palette();
    const QColor background = palette.color(QPalette::Window);
    const QString secondary = opaque(Palette::secondaryLabel(palette), background);
    QString html;
    if (segments.empty()) {
        html = QStringLiteral("<span style=\"color:%1\">%2</span>")
                   .arg(secondary, QString::fromUtf8(FormStatus::nothing).toHtmlEscaped());
    }
    for (const FormStatus::Segment& s : segments) {
        // Three blanks; a line may break at the last one.
        if (!html.isEmpty()) html += QStringLiteral("&nbsp;&nbsp; ");
        QColor tone = s.tone == FormStatus::Tone::green    ? Palette::green(palette)
                      : s.tone == FormStatus::Tone::orange ? Palette::orange(palette)
                                                           : Palette::tertiaryLabel(palette);
        html += QStringLiteral("<span style=\"color:%1\">●&nbsp;</span><span style=\"color:%2\">%3&nbsp;%4</span>")
                    .arg(opaque(tone, background), secondary, QString::number(s.count), qs(s.word).toHtmlEscaped());
    }
    status_->setTextFormat(Qt::RichText);
    status_->setText(html);

    confirm_->setText(qs(FormStatus::confirmTitle(suggested)));
    confirm_->setVisible(on && suggested > 0);
    roleRow_->setVisible(on && plan->hasRepresentative);

    const std::vector<std::string> phrases = FormStatus::missingPhrases(plan->items);
    missing_->setText(qs(FormStatus::missingSentence(phrases)));
    missingRow_->setVisible(on && !phrases.empty());

    roleControl_->setSelected(plan->role == FormPlan::Role::holder ? 0 : 1);
    note_->setText(qs(noteText()));
    changed();
}

std::string FormFillController::noteText() const {
    std::string text = FormStatus::note(aiAnswered_, aiOnNow_);
    if (!partial_.empty()) text += " " + partial_;
    return text;
}

void FormFillController::readInPart(int lastWholePage, int pageCount) {
    partial_ = FormStatus::partial(lastWholePage, pageCount);
    // Shown with the note once the plan is there (refresh).
    refresh();
}

void FormFillController::changed() {
    if (onChange) onChange();
}

void FormFillController::showOnRows(bool on) {
    status_->setVisible(on);
    note_->setVisible(on);
}

// --- Actions ---------------------------------------------------------------------------------------

void FormFillController::toggled() {
    const bool on = isOn();
    model_.setOn(on);
    Preferences::setFillForms(on, *context_.defaults);
    showOnRows(on);
    if (on) {
        analyse();
        // Before the labels are known only the marks and fills of the typed values change.
        if (!model_.labels()) changed();
        return;
    }
    confirm_->hide();
    roleRow_->hide();
    missingRow_->hide();
    changed();
}

void FormFillController::roleChanged() {
    model_.setRole(roleControl_->selected() == 0 ? FormPlan::Role::holder : FormPlan::Role::representative);
    rebuild();
}

void FormFillController::certificateChanged(const Certificate& certificate) {
    model_.setCertificate(certificate);
    rebuild();
}

void FormFillController::restore(const std::vector<FormFill>& fills) {
    if (!model_.restore(fills)) return;
    if (isOn()) {
        rebuild();
        return;
    }
    toggle_->setChecked(true);
    model_.setOn(true);
    showOnRows(true);
    analyse();
}

void FormFillController::reviewSuggestions() {
    if (!model_.plan()) return;
    closePopover();
    auto* review = new SuggestionsReview(model_.suggestions());
    QPointer<FormFillController> self(this);
    review->onDone = [self](std::optional<std::set<int>> ids) {
        if (!self) return;
        self->closePopover();
        if (ids && self->model_.confirm(*ids)) self->refresh();
    };
    popover_ = new Popover(review, confirm_);
    popover_->show(confirm_, confirm_->rect(), Popover::Edge::right);
}

void FormFillController::openProfile() { MainMenu::send(MenuAction::showProfile, view_); }

void FormFillController::closePopover() {
    if (!popover_) return;
    Popover* old = popover_;
    popover_ = nullptr;
    old->close();
    old->deleteLater();
}

// --- Outputs ---------------------------------------------------------------------------------------

QWidget* FormFillController::view() { return view_; }

std::vector<FormFill> FormFillController::fills() const { return model_.fills(); }

std::vector<SavedFact> FormFillController::remembered() const {
    return model_.remembered(context_.now ? context_.now() : std::chrono::system_clock::now());
}

std::vector<PreviewGeometry::FieldMark> FormFillController::marks() const { return model_.marks(); }

// --- Single fields -----------------------------------------------------------------------------------

bool FormFillController::isTick(int id) const { return model_.isTick(id); }

void FormFillController::applyAll(const std::vector<std::pair<int, std::string>>& changes,
                                  FormFillModel::Emptying emptying) {
    for (const auto& [id, value] : changes) model_.apply(id, value, false, emptying);
    if (model_.plan() && isOn())
        refresh();
    else
        changed();
}

void FormFillController::toggle(int id) {
    const auto changes = model_.toggleChanges(id);
    if (changes.empty()) return;
    applyAll(changes, FormFillModel::Emptying::untick);
}

std::optional<FormSection::Target> FormFillController::inlineTarget(int id) const {
    const auto target = model_.inlineTarget(id);
    if (!target) return std::nullopt;
    return Target{target->ids, target->pageIndex, target->rect, target->text};
}

void FormFillController::write(const std::string& text, const std::vector<int>& ids) {
    applyAll(FormFillModel::writeChanges(text, ids), FormFillModel::Emptying::clear);
}

std::optional<int> FormFillController::nextEditable(int id, bool forward) const {
    return model_.nextEditable(id, forward);
}

void FormFillController::edit(int id, const QRectF& box, QWidget* over) {
    const std::optional<FillItem> item = model_.editorItem(id);
    if (!item) return;
    closePopover();
    auto* editor = new FieldEditor(*item);
    QPointer<FormFillController> self(this);
    editor->onDone = [self, id](std::optional<std::string> text, bool remember) {
        if (!self) return;
        self->closePopover();
        if (text)
            self->model_.apply(id, *text, remember, FormFillModel::Emptying::clear);
        else
            self->model_.apply(id, "", false, FormFillModel::Emptying::clear);
        if (self->model_.plan() && self->isOn())
            self->refresh();
        else
            self->changed();
    };
    popover_ = new Popover(editor, over);
    popover_->show(over, box.toAlignedRect(), Popover::Edge::top);
    editor->field()->setFocus(Qt::PopupFocusReason);
}
