#include "profilepane/ProfilePane.h"

#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <optional>

#include "ui/AlertPresenter.h"
#include "ui/Brand.h"
#include "ui/CardView.h"
#include "ui/Palette.h"
#include "document/DocumentContext.h"
#include "document/HandwritingSheet.h"
#include "document/HandwritingStore.h"
#include "platform/SecretStore.h"
#include "profile/ProfileParser.h"
#include "profilepane/FactRow.h"
#include "profilepane/WrapLabel.h"

namespace {

// Texts.
const QString paneTitle = QStringLiteral("Mis datos");
const QString paneSubtitle = QStringLiteral(
    "Tindra los usa para rellenar los formularios que firmas. Se guardan en el depósito de claves de este equipo y "
    "no salen de él.");
const QString pasteTitle = QStringLiteral("Pega lo que tengas");
const QString pasteExample = QStringLiteral(
    "Los datos de tu empresa o los tuyos, como los tengas guardados. Por ejemplo:\n"
    "\n"
    "Empresa de Pruebas SL\n"
    "C/ Mayor, 12 3º Dcha\n"
    "28013 Madrid\n"
    "NIF: B12345674\n"
    "Contacto: administracion@empresadepruebas.es / 912 345 678");
const QString pasteHint = QStringLiteral(
    "Reconoce NIF, DNI, domicilios, teléfonos, correo, IBAN, Registro Mercantil, CNAE, IAE y cláusulas de "
    "representación.");
const QString foundHeading = QStringLiteral("Encontrado en el texto");
const QString foundSubtitle =
    QStringLiteral("Marca lo que quieras guardar. Al pasar por encima de un dato se ve de dónde sale.");
const QString handwritingHeading = QStringLiteral("Firma manuscrita");
const QString handwritingSubtitle = QStringLiteral(
    "Para los formularios que se firman a mano. Se pone con «A mano» en la ventana de firma.");
const QString savedHeading = QStringLiteral("Tus datos");
const QString alsoSavedHeading = QStringLiteral("Ya guardados");
const QString emptyList = QStringLiteral(
    "Aún no hay datos.\n"
    "\n"
    "Pega a la izquierda los datos de tu empresa o los tuyos, tal como los tengas en una nota o un correo. Tindra "
    "los separa y te los enseña aquí antes de guardarlos.\n"
    "\n"
    "Tu nombre y tu DNI ya los toma de tu certificado.");

// Layout numbers.
constexpr int titleGap = 4;        // title to subtitle
constexpr int subtitleGap = 22;    // subtitle to the cards
constexpr int cardInset = 24;
constexpr int innerGap = 10;       // card title to the text, text to the hint
constexpr int placeholderTop = 12;
constexpr int placeholderSide = 16;
constexpr int listTop = 14;
constexpr int listRight = 8;       // the list's scroll view from the right card's edge
constexpr int listInnerRight = 10; // the list from its scroll view's right edge
constexpr int listBottom = 8;
constexpr int footerGap = 12;
constexpr int listSpacing = 6;
constexpr int buttonSpacing = 8;
constexpr int textCornerRadius = 10;
constexpr int textMargin = 10;
constexpr int headingTop = 10;
constexpr int groupTop = 12;
constexpr int groupBottom = 2;
constexpr int handwritingHeight = 48;
constexpr int handwritingMaxWidth = 220;
constexpr double highlightAlpha = 0.35;

int ownerRank(const std::string& owner) {
    static const std::vector<std::string> order = {"empresa", "persona", "representante", "texto"};
    auto it = std::find(order.begin(), order.end(), owner);
    return it == order.end() ? 9 : static_cast<int>(it - order.begin());
}

int kindRank(const std::string& kind) {
    static const std::vector<std::string> order = {
        "razon_social", "nombre_comercial", "nombre_completo", "nif",      "cargo",
        "domicilio_fiscal", "domicilio_social", "domicilio",   "email",    "telefono",
        "movil",        "iban",             "bic",             "registro_mercantil", "fecha_constitucion",
        "poder",        "cnae",             "iae",             "duns"};
    auto it = std::find(order.begin(), order.end(), kind);
    return it == order.end() ? 99 : static_cast<int>(it - order.begin());
}

bool isAddress(const SavedFact& fact) { return fact.kind.starts_with("domicilio"); }

QString qs(const std::string& text) { return QString::fromStdString(text); }

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

QLabel* makeLabel(const QString& text, const QFont& font, QWidget* parent = nullptr) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

QLabel* wrappingLabel(const QString& text, const QFont& font, QWidget* parent = nullptr) {
    auto* label = new WrapLabel(text, parent);
    label->setFont(font);
    return label;
}

// The root: the window's canvas behind the cards; Return saves when the save button allows it
// (the paste area keeps Return for its line breaks).
class PaneView : public QWidget {
public:
    std::function<bool()> onReturn;
    std::function<void()> onPaletteChange;

protected:
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() == QEvent::PaletteChange && onPaletteChange) onPaletteChange();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Brand::canvas(this));
    }
    void keyPressEvent(QKeyEvent* event) override {
        const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (isReturn && onReturn && onReturn()) {
            event->accept();
            return;
        }
        QWidget::keyPressEvent(event);
    }
};

// The document of the list's scroll view: as wide as the view, and at least as tall as its
// wrapped content needs at that width, so the view scrolls over all of it.
class ListDocument : public QWidget {
public:
    QWidget* content = nullptr;

    void fitHeight() {
        QLayout* own = layout();
        if (!own || !content || width() <= 0) return;
        const QMargins margins = own->contentsMargins();
        const int available = width() - margins.left() - margins.right();
        int height = content->heightForWidth(available);
        if (height < 0) height = content->sizeHint().height();
        height += margins.top() + margins.bottom();
        if (height != minimumHeight()) setMinimumHeight(height);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        fitHeight();
    }
};

// The paste area, with its placeholder laid over the text.
class PasteArea : public QPlainTextEdit {
public:
    QLabel* overlay = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QPlainTextEdit::resizeEvent(event);
        placeOverlay();
    }

public:
    void placeOverlay() {
        if (!overlay) return;
        const int width = std::max(0, this->width() - 2 * placeholderSide);
        overlay->setGeometry(placeholderSide, placeholderTop, width, overlay->heightForWidth(width));
    }
};

// The two cards side by side: the left one takes its share of the pane's width, neither gets
// narrower than the minimum, the right one takes the rest.
class CardsLayout : public QLayout {
public:
    explicit CardsLayout(QWidget* parent) : QLayout(parent) { setContentsMargins(0, 0, 0, 0); }
    ~CardsLayout() override {
        while (QLayoutItem* item = takeAt(0)) delete item;
    }

    void addItem(QLayoutItem* item) override { items_.append(item); }
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return items_.value(index); }
    QLayoutItem* takeAt(int index) override {
        return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }
    QSize minimumSize() const override {
        int height = 0;
        for (QLayoutItem* item : items_) height = std::max(height, item->minimumSize().height());
        return {2 * ProfilePane::compactCardWidth + ProfilePane::cardGap, height};
    }
    QSize sizeHint() const override {
        int height = 0;
        for (QLayoutItem* item : items_) height = std::max(height, item->sizeHint().height());
        return {2 * ProfilePane::minimumCardWidth + ProfilePane::cardGap, height};
    }
    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        if (items_.size() < 2) return;
        const int left = ProfilePane::cardWidths(rect.width() + 2 * ProfilePane::margin).first;
        items_[0]->setGeometry(QRect(rect.x(), rect.y(), left, rect.height()));
        const int rightX = rect.x() + left + ProfilePane::cardGap;
        items_[1]->setGeometry(QRect(rightX, rect.y(), std::max(0, rect.right() + 1 - rightX), rect.height()));
    }

private:
    QList<QLayoutItem*> items_;
};

// A group's heading: its title with the note beside it, or, where the list is too narrow for
// both on one line, the note under the title, each wrapping as it needs.
class GroupHeading : public QWidget {
public:
    GroupHeading(QLabel* title, QLabel* note, int noteTop, QWidget* parent)
        : QWidget(parent), title_(title), note_(note), noteTop_(noteTop) {
        title_->setParent(this);
        note_->setParent(this);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        int height = 0;
        if (beside(width)) {
            height = std::max(lineHeight(title_), noteTop_ + lineHeight(note_));
        } else {
            height = wrapped(title_, width) + spacing + wrapped(note_, width);
        }
        return height + groupTop + groupBottom;
    }
    QSize sizeHint() const override {
        const int width = oneLine(title_) + spacing + oneLine(note_);
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return {0, heightForWidth(0)}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const int width = event->size().width();
        if (beside(width)) {
            title_->setGeometry(0, groupTop, oneLine(title_), lineHeight(title_));
            note_->setGeometry(oneLine(title_) + spacing, groupTop + noteTop_, oneLine(note_), lineHeight(note_));
        } else {
            const int titleHeight = wrapped(title_, width);
            title_->setGeometry(0, groupTop, width, titleHeight);
            note_->setGeometry(0, groupTop + titleHeight + spacing, width, wrapped(note_, width));
        }
    }

private:
    static constexpr int spacing = 8;
    static int oneLine(const QLabel* label) { return label->fontMetrics().horizontalAdvance(label->text()) + 1; }
    static int lineHeight(const QLabel* label) { return label->fontMetrics().height(); }
    static int wrapped(const QLabel* label, int width) {
        return std::max(lineHeight(label), label->heightForWidth(std::max(1, width)));
    }
    bool beside(int width) const { return oneLine(title_) + spacing + oneLine(note_) <= width; }

    QLabel* title_;
    QLabel* note_;
    int noteTop_;
};

QImage imageOf(const Handwriting& handwriting) {
    const RasterImage& raster = handwriting.image();
    if (raster.isEmpty()) return {};
    QImage image(raster.rgba.data(), raster.width, raster.height, raster.width * 4,
                 QImage::Format_RGBA8888_Premultiplied);
    return image.copy();
}

}  // namespace

// --- Creation -------------------------------------------------------------------------------------

SecretStore& ProfilePane::standardSecrets() { return *DocumentContext::standard().secrets; }

AlertPresenter& ProfilePane::standardAlerts() { return AlertPresenter::system(); }

ProfilePane::ProfilePane(std::vector<Certificate> certificates, SecretStore& secrets, AlertPresenter& alerts)
    : certificates_(std::move(certificates)), secrets_(secrets), alerts_(alerts) {
    presentSheet_ = [this](QWidget* window, std::function<void(bool)> completion) {
        DocumentContext context = DocumentContext::standard();
        context.secrets = &secrets_;
        context.alerts = &alerts_;
        return HandwritingSheet::present(window, std::move(completion), context);
    };
    build();
    reload();
    connect(&HandwritingStore::notifier(), &HandwritingStore::Notifier::changed, this, &ProfilePane::reload);
}

ProfilePane::~ProfilePane() { delete view_.data(); }

QWidget* ProfilePane::view() { return view_; }

std::pair<int, int> ProfilePane::cardWidths(int paneWidth) {
    const int available = paneWidth - 2 * margin - cardGap;
    if (available < 2 * minimumCardWidth) {
        const int left = std::max(compactCardWidth, available / 2);
        return {left, std::max(compactCardWidth, available - left)};
    }
    int left = static_cast<int>(std::lround(leftShare * paneWidth));
    left = std::min(left, available - minimumCardWidth);
    left = std::max(left, minimumCardWidth);
    return {left, available - left};
}

void ProfilePane::build() {
    Brand::initResources();
    auto* root = new PaneView;
    root->onReturn = [this] {
        if (!saveButton_->isEnabled() || found_.empty()) return false;
        save();
        return true;
    };
    view_ = root;
    root->setMinimumWidth(minimumWidth);

    auto* title = makeLabel(paneTitle, Brand::titleFont(26), root);
    title->setObjectName(QStringLiteral("title"));
    subtitle_ = wrappingLabel(paneSubtitle, Brand::systemFont(13), root);
    subtitle_->setObjectName(QStringLiteral("subtitle"));

    auto* cards = new QWidget(root);
    auto* cardsLayout = new CardsLayout(cards);
    leftCard_ = new CardView(cards);
    leftCard_->setObjectName(QStringLiteral("leftCard"));
    rightCard_ = new CardView(cards);
    rightCard_->setObjectName(QStringLiteral("rightCard"));
    cardsLayout->addWidget(leftCard_);
    cardsLayout->addWidget(rightCard_);

    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(margin, 0, margin, margin);
    rootLayout->setSpacing(0);
    rootLayout->addWidget(title);
    rootLayout->addSpacing(titleGap);
    rootLayout->addWidget(subtitle_);
    rootLayout->addSpacing(subtitleGap);
    rootLayout->addWidget(cards, 1);

    // Left card: the paste area.
    auto* cardTitle = makeLabel(pasteTitle, Brand::titleFont(17, QFont::DemiBold), leftCard_);
    auto* paste = new PasteArea;
    textView_ = paste;
    textView_->setObjectName(QStringLiteral("pasteArea"));
    textView_->setFont(Brand::systemFont(13));
    textView_->setUndoRedoEnabled(true);
    textView_->setFrameShape(QFrame::NoFrame);
    textView_->document()->setDocumentMargin(textMargin);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The example's e-mail address is wider than the paste area of a small window: it breaks.
    placeholder_ = new BreakingLabel(pasteExample, textView_);
    placeholder_->setFont(Brand::systemFont(13));
    placeholder_->setObjectName(QStringLiteral("placeholder"));
    placeholder_->setAttribute(Qt::WA_TransparentForMouseEvents);
    paste->overlay = placeholder_;
    hint_ = wrappingLabel(pasteHint, Brand::systemFont(12), leftCard_);

    auto* left = new QVBoxLayout(leftCard_);
    left->setContentsMargins(cardInset, cardInset, cardInset, cardInset);
    left->setSpacing(0);
    left->addWidget(cardTitle);
    left->addSpacing(innerGap);
    left->addWidget(textView_, 1);
    left->addSpacing(innerGap);
    left->addWidget(hint_);

    // Right card: the list and the footer.
    auto* scroll = new QScrollArea(rightCard_);
    scroll->setObjectName(QStringLiteral("listScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* document = new ListDocument;
    listDocument_ = document;
    document->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* documentLayout = new QVBoxLayout(document);
    documentLayout->setContentsMargins(0, 0, listInnerRight, listBottom);
    documentLayout->setSpacing(0);
    list_ = new QWidget(document);
    list_->setObjectName(QStringLiteral("list"));
    listLayout_ = new QVBoxLayout(list_);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(listSpacing);
    // Top-aligned: the list gets the height its rows need at its width, however narrow the
    // wrapping labels could become.
    documentLayout->addWidget(list_, 0, Qt::AlignTop);
    document->content = list_;
    scroll->setWidget(document);
    document->setAutoFillBackground(false);  // setWidget turns it on; the card shows through

    footer_ = new QWidget(rightCard_);
    footer_->setObjectName(QStringLiteral("footer"));
    discardButton_ = new QPushButton(QStringLiteral("Descartar"), footer_);
    saveButton_ = new QPushButton(QStringLiteral("Guardar"), footer_);
    for (QPushButton* button : {discardButton_, saveButton_}) button->setAutoDefault(false);
    connect(saveButton_, &QPushButton::clicked, this, &ProfilePane::save);
    connect(discardButton_, &QPushButton::clicked, this, &ProfilePane::discard);
    auto* footerLayout = new QHBoxLayout(footer_);
    // The footer keeps the card's inset on the right, where the list's scroll view goes nearer.
    footerLayout->setContentsMargins(0, 0, cardInset - listRight, 0);
    footerLayout->setSpacing(buttonSpacing);
    footerLayout->addStretch(1);
    footerLayout->addWidget(discardButton_);
    footerLayout->addWidget(saveButton_);

    auto* right = new QVBoxLayout(rightCard_);
    right->setContentsMargins(cardInset, listTop, listRight, cardInset);
    right->setSpacing(0);
    right->addWidget(scroll, 1);
    right->addSpacing(footerGap);
    right->addWidget(footer_);

    // The debounce: one analysis a quarter of a second after the user's last change.
    pending_ = new QTimer(this);
    pending_->setSingleShot(true);
    pending_->setTimerType(Qt::PreciseTimer);
    pending_->setInterval(debounceMilliseconds);
    connect(pending_, &QTimer::timeout, this, &ProfilePane::analyse);
    connect(textView_, &QPlainTextEdit::textChanged, this, &ProfilePane::textChanged);

    applyColors();
    root->onPaletteChange = [this] {
        applyColors();
        reload();
    };
}

void ProfilePane::applyColors() {
    const QPalette colors = view_->palette();
    setTextColor(subtitle_, Palette::secondaryLabel(colors));
    setTextColor(hint_, Palette::secondaryLabel(colors));
    setTextColor(placeholder_, colors.color(QPalette::PlaceholderText));
    textView_->setStyleSheet(QStringLiteral("QPlainTextEdit { background-color: %1; border: none; "
                                            "border-radius: %2px; }")
                                 .arg(Brand::canvas(view_).name())
                                 .arg(textCornerRadius));
    QPalette accent = saveButton_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        accent.setColor(group, QPalette::Button, Brand::teal(view_));
        accent.setColor(group, QPalette::ButtonText, Qt::white);
    }
    saveButton_->setPalette(accent);
}

// --- Text and analysis ----------------------------------------------------------------------------

void ProfilePane::setText(const QString& text) {
    settingText_ = true;
    textView_->setPlainText(text);
    settingText_ = false;
    placeholder_->setVisible(text.isEmpty());
}

void ProfilePane::textChanged() {
    if (settingText_) return;
    placeholder_->setVisible(textView_->document()->isEmpty());
    pending_->start();
}

void ProfilePane::paste(const QString& text) {
    // The analysis below replaces any that the user's typing had scheduled.
    pending_->stop();
    setText(text);
    analyse();
}

void ProfilePane::analyse() {
    const QString text = textView_->toPlainText();
    placeholder_->setVisible(text.isEmpty());
    const std::vector<ProfileFact> facts = ProfileParser::facts(text.toStdString());
    const std::vector<SavedFact> candidates = ProfileStore::candidates(facts);
    std::vector<Found> found;
    const size_t count = std::min(facts.size(), candidates.size());
    found.reserve(count);
    for (size_t i = 0; i < count; ++i) found.push_back({candidates[i], facts[i].range, true});
    found_ = std::move(found);
    reload();
    emit analysed();
}

void ProfilePane::highlight(bool on, TextRange range) {
    textView_->setExtraSelections({});
    if (!on) return;
    const auto length = static_cast<size_t>(std::max(0, textView_->document()->characterCount() - 1));
    if (range.empty() || range.end > length) return;
    const int start = static_cast<int>(range.start);
    const int end = static_cast<int>(range.end);
    QTextCursor cursor(textView_->document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    QTextEdit::ExtraSelection mark;
    mark.cursor = cursor;
    mark.format.setBackground(Palette::withAlpha(Palette::yellow(textView_->palette()), highlightAlpha));
    textView_->setExtraSelections({mark});

    // Into view through the scroll bar, whose unit is a laid-out line; the text cursor stays.
    QTextCursor first(textView_->document());
    first.setPosition(start);
    QTextCursor last(textView_->document());
    last.setPosition(end);
    const QRect visibleArea = textView_->viewport()->rect();
    if (visibleArea.contains(textView_->cursorRect(first)) && visibleArea.contains(textView_->cursorRect(last))) return;
    const QTextBlock block = textView_->document()->findBlock(start);
    int line = block.firstLineNumber();
    if (const QTextLayout* layout = block.layout()) {
        const QTextLine within = layout->lineForTextPosition(start - block.position());
        if (within.isValid()) line += within.lineNumber();
    }
    textView_->verticalScrollBar()->setValue(line);
}

// --- Grouping -------------------------------------------------------------------------------------

std::vector<ProfilePane::Group> ProfilePane::groups(const std::vector<SavedFact>& facts) {
    std::vector<SavedFact> sorted = facts;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const SavedFact& a, const SavedFact& b) { return ownerRank(a.owner) < ownerRank(b.owner); });
    std::vector<Group> result;
    for (SavedFact& fact : sorted) {
        auto it = std::find_if(result.begin(), result.end(), [&](const Group& g) {
            return g.owner == fact.owner && g.subject == fact.subject;
        });
        if (it == result.end()) {
            result.push_back({fact.owner, fact.subject, {std::move(fact)}});
        } else {
            it->facts.push_back(std::move(fact));
        }
    }
    return result;
}

std::vector<SavedFact> ProfilePane::visible(const std::vector<SavedFact>& facts) {
    std::vector<std::string> covered;
    for (const SavedFact& fact : facts) {
        if (!isAddress(fact)) continue;
        for (const char* part : {"cp", "municipio"}) {
            if (auto it = fact.parts.find(part); it != fact.parts.end()) covered.push_back(it->second);
        }
    }
    std::vector<SavedFact> kept;
    kept.reserve(facts.size());
    for (const SavedFact& fact : facts) {
        const bool hidden = (fact.kind == "cp" || fact.kind == "municipio") &&
                            std::find(covered.begin(), covered.end(), fact.value) != covered.end();
        if (!hidden) kept.push_back(fact);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const SavedFact& a, const SavedFact& b) { return kindRank(a.kind) < kindRank(b.kind); });
    return kept;
}

std::pair<QString, std::optional<QString>> ProfilePane::groupTexts(const Group& group,
                                                                   const std::vector<Certificate>& certificates) {
    auto firstValue = [&](const char* kind) -> std::optional<QString> {
        for (const SavedFact& fact : group.facts) {
            if (fact.kind == kind) return qs(fact.value);
        }
        return std::nullopt;
    };
    auto anyCertificate = [&](auto field) {
        if (!group.subject) return false;
        return std::any_of(certificates.begin(), certificates.end(), [&](const Certificate& c) {
            const std::optional<std::string>& value = c.*field;
            return value && *value == *group.subject;
        });
    };
    if (group.owner == "empresa") {
        std::optional<QString> note;
        if (anyCertificate(&Certificate::organizationID)) note = QStringLiteral("Tu certificado de representante");
        return {firstValue("razon_social").value_or(QStringLiteral("Empresa")), note};
    }
    if (group.owner == "texto") {
        return {QStringLiteral("Textos"), QStringLiteral("Para los campos de texto largo, tal cual")};
    }
    const bool representative = group.owner == "representante";
    const QString fallback = representative ? QStringLiteral("Representante") : QStringLiteral("Persona");
    QStringList parts;
    if (representative) parts << QStringLiteral("Representante");
    if (anyCertificate(&Certificate::idNumber)) parts << QStringLiteral("tu certificado");
    std::optional<QString> note;
    if (!parts.isEmpty()) note = parts.join(QStringLiteral(" \u00B7 "));
    return {firstValue("nombre_completo").value_or(fallback), note};
}

QString ProfilePane::unreadableMessage(ProfileStore::Loaded::Status status) {
    const std::optional<std::string> sentence = ProfileStore::message(status);
    return sentence ? QString::fromStdString(*sentence) : QString();
}

// --- The list -------------------------------------------------------------------------------------

void ProfilePane::addItem(QWidget* item) {
    // Every item as wide as the list: the vertical box gives it the whole width. Shown now, not
    // when the event loop comes round, so that the list's height is known at once.
    listLayout_->addWidget(item);
    item->show();
}

QWidget* ProfilePane::heading(const QString& title, const std::optional<QString>& subtitle) {
    auto* box = new QWidget(list_);
    box->setObjectName(QStringLiteral("heading"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, headingTop, 0, 0);
    layout->setSpacing(2);
    auto* label = makeLabel(title.toUpper(), Brand::systemFont(12, QFont::DemiBold), box);
    label->setObjectName(QStringLiteral("headingTitle"));
    setTextColor(label, Palette::secondaryLabel(view_->palette()));
    layout->addWidget(label);
    if (subtitle) {
        auto* note = wrappingLabel(*subtitle, Brand::systemFont(12), box);
        note->setObjectName(QStringLiteral("headingSubtitle"));
        setTextColor(note, Palette::tertiaryLabel(view_->palette()));
        layout->addWidget(note);
    }
    return box;
}

QWidget* ProfilePane::groupTitle(const Group& group) {
    const auto [title, note] = groupTexts(group, certificates_);
    // A long company name wraps; a note stays beside the title, on its first baseline, while
    // both fit on one line, and goes under it where they do not.
    auto* titleLabel = wrappingLabel(title, Brand::titleFont(17, QFont::DemiBold));
    titleLabel->setObjectName(QStringLiteral("groupTitle"));
    titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (note) {
        auto* noteLabel = wrappingLabel(*note, Brand::systemFont(12, QFont::Medium));
        noteLabel->setObjectName(QStringLiteral("groupNote"));
        noteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setTextColor(noteLabel, Brand::tealDeep(view_));
        const int drop = QFontMetrics(titleLabel->font()).ascent() - QFontMetrics(noteLabel->font()).ascent();
        auto* box = new GroupHeading(titleLabel, noteLabel, std::max(0, drop), list_);
        box->setObjectName(QStringLiteral("group"));
        return box;
    }
    auto* box = new QWidget(list_);
    box->setObjectName(QStringLiteral("group"));
    auto* outer = new QVBoxLayout(box);
    outer->setContentsMargins(0, groupTop, 0, groupBottom);
    titleLabel->setParent(box);
    outer->addWidget(titleLabel);
    return box;
}

QWidget* ProfilePane::handwritingRow() {
    const std::optional<QByteArray> png = HandwritingStore::png(secrets_);
    auto* box = new QWidget(list_);
    box->setObjectName(QStringLiteral("handwriting"));
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(heading(handwritingHeading, png ? std::nullopt : std::optional<QString>(handwritingSubtitle)));

    auto* change = new QPushButton(png ? QStringLiteral("Cambiar…") : QStringLiteral("Crear…"), box);
    change->setObjectName(QStringLiteral("changeHandwriting"));
    change->setAutoDefault(false);
    change->setFont(Brand::systemFont(12));
    connect(change, &QPushButton::clicked, this, &ProfilePane::changeHandwriting);

    std::optional<Handwriting> decoded;
    if (png) decoded = Handwriting::fromPNG(std::string_view(png->constData(), static_cast<size_t>(png->size())));
    const QImage image = decoded ? imageOf(*decoded) : QImage();
    if (image.isNull()) {
        layout->addWidget(change, 0, Qt::AlignLeft);
        return box;
    }
    auto* picture = new QLabel(box);
    picture->setObjectName(QStringLiteral("handwritingImage"));
    QImage shown = image;
    if (shown.width() > handwritingMaxWidth || shown.height() > handwritingHeight) {
        shown = shown.scaled(handwritingMaxWidth, handwritingHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    picture->setPixmap(QPixmap::fromImage(shown));
    picture->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    picture->setFixedHeight(handwritingHeight);
    picture->setMaximumWidth(handwritingMaxWidth);
    layout->addWidget(picture, 0, Qt::AlignLeft);

    auto* remove = new QPushButton(QStringLiteral("Quitar"), box);
    remove->setObjectName(QStringLiteral("removeHandwriting"));
    remove->setAutoDefault(false);
    remove->setFont(Brand::systemFont(12));
    connect(remove, &QPushButton::clicked, this, &ProfilePane::removeHandwriting);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(change);
    buttons->addWidget(remove);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return box;
}

QWidget* ProfilePane::emptyText() { return message(emptyList); }

QWidget* ProfilePane::message(const QString& text) {
    auto* label = wrappingLabel(text, Brand::systemFont(13), list_);
    label->setObjectName(QStringLiteral("message"));
    setTextColor(label, Palette::secondaryLabel(view_->palette()));
    return label;
}

std::vector<std::optional<std::size_t>> ProfilePane::replacements() const {
    std::vector<SavedFact::Slot> slotOf;
    slotOf.reserve(found_.size());
    std::map<SavedFact::Slot, std::size_t> last;
    for (std::size_t i = 0; i < found_.size(); ++i) {
        slotOf.push_back(found_[i].keep ? found_[i].fact.slot() : SavedFact::Slot());
        if (found_[i].keep) last[slotOf.back()] = i;
    }
    std::vector<std::optional<std::size_t>> result(found_.size());
    for (std::size_t i = 0; i < found_.size(); ++i) {
        if (!found_[i].keep) continue;
        const std::size_t kept = last.at(slotOf[i]);
        if (kept != i) result[i] = kept;
    }
    return result;
}

void ProfilePane::markReplaced() {
    const std::vector<std::optional<std::size_t>> replaced = replacements();
    for (const auto& [index, row] : foundRows_) {
        if (!row || index >= replaced.size()) continue;
        std::optional<QString> note;
        if (const auto by = replaced[index])
            note = QStringLiteral("Se guarda «%1» en su lugar").arg(qs(found_[*by].fact.value));
        row->setNote(note);
    }
}

void ProfilePane::refreshFooter() {
    // What saving stores: one value per slot, so a kept fact that a later one replaces is not
    // counted.
    const std::vector<std::optional<std::size_t>> replaced = replacements();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < found_.size(); ++i) {
        if (found_[i].keep && !replaced[i]) ++kept;
    }
    saveButton_->setText(kept == 1 ? QStringLiteral("Guardar 1 dato")
                                   : QStringLiteral("Guardar %1 datos").arg(static_cast<qlonglong>(kept)));
    saveButton_->setEnabled(kept > 0);
}

void ProfilePane::reload() {
    // The old items go once control is back in the event loop: reload can run from a click on
    // one of them.
    while (QLayoutItem* item = listLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    foundRows_.clear();
    footer_->setVisible(!found_.empty());
    refreshFooter();

    const ProfileStore::Loaded stored = ProfileStore::load(secrets_);
    const QPointer<ProfilePane> self(this);

    if (!found_.empty()) {
        addItem(heading(foundHeading, foundSubtitle));
        std::vector<SavedFact> facts;
        facts.reserve(found_.size());
        for (const Found& entry : found_) facts.push_back(entry.fact);
        for (const Group& group : groups(facts)) {
            addItem(groupTitle(group));
            for (const SavedFact& fact : visible(group.facts)) {
                auto entry = std::find_if(found_.begin(), found_.end(), [&](const Found& f) { return f.fact == fact; });
                if (entry == found_.end()) continue;
                const size_t index = static_cast<size_t>(entry - found_.begin());
                std::optional<QString> detail;
                if (isAddress(fact)) {
                    if (auto line = ProfileStore::detail(fact); line && !line->empty()) detail = qs(*line);
                }
                std::optional<QString> previous;
                if (auto earlier = ProfileStore::previous(stored.facts, fact)) {
                    previous = QStringLiteral("Antes: ") + qs(earlier->value);
                }
                auto* row = new FactRow(list_);
                row->configure(qs(ProfileStore::name(fact.kind, fact.owner)), qs(fact.value), detail, previous,
                               entry->keep, fact.owner == "texto");
                row->onHover = [self, index](bool on) {
                    if (self && index < self->found_.size()) self->highlight(on, self->found_[index].range);
                };
                row->onCheck = [self, index](bool on) {
                    if (!self || index >= self->found_.size()) return;
                    self->found_[index].keep = on;
                    self->refreshFooter();
                    self->markReplaced();
                    static_cast<ListDocument*>(self->listDocument_)->fitHeight();
                };
                addItem(row);
                foundRows_.emplace_back(index, row);
            }
        }
        markReplaced();
    } else {
        addItem(handwritingRow());
    }

    const QString& savedTitle = found_.empty() ? savedHeading : alsoSavedHeading;
    const QString refusal = unreadableMessage(stored.status);
    if (!refusal.isEmpty()) {
        // A list that cannot be read is not an empty one: say why instead of inviting the user to
        // enter everything again.
        addItem(heading(savedTitle, std::nullopt));
        addItem(message(refusal));
    } else if (stored.facts.empty()) {
        if (found_.empty()) addItem(emptyText());
    } else {
        addItem(heading(savedTitle, std::nullopt));
        for (const Group& group : groups(stored.facts)) {
            addItem(groupTitle(group));
            for (const SavedFact& fact : visible(group.facts)) {
                std::optional<QString> detail;
                if (isAddress(fact)) {
                    if (auto line = ProfileStore::detail(fact); line && !line->empty()) detail = qs(*line);
                }
                auto* row = new FactRow(list_);
                row->configure(qs(ProfileStore::name(fact.kind, fact.owner)), qs(fact.value), detail, std::nullopt,
                               std::nullopt, fact.owner == "texto");
                row->onRemove = [self, fact] {
                    if (self) self->removeSaved(fact);
                };
                addItem(row);
            }
        }
    }
    static_cast<ListDocument*>(listDocument_)->fitHeight();
}

// --- Actions --------------------------------------------------------------------------------------

void ProfilePane::showRefusal(const std::exception& error) {
    AlertPresenter::Alert alert;
    alert.style = AlertPresenter::Style::warning;
    alert.title = QString::fromUtf8(error.what());
    alerts_.show(alert, view_ ? view_->window() : nullptr);
}

void ProfilePane::save() {
    std::vector<SavedFact> kept;
    for (const Found& entry : found_) {
        if (entry.keep) kept.push_back(entry.fact);
    }
    try {
        ProfileStore::save(secrets_, kept);
    } catch (const std::exception& refusal) {
        // Nothing was stored: the text and the found facts stay for another try.
        showRefusal(refusal);
        return;
    }
    discard();
}

void ProfilePane::discard() {
    setText(QString());
    found_.clear();
    placeholder_->show();
    textView_->setExtraSelections({});
    reload();
}

void ProfilePane::removeSaved(const SavedFact& fact) {
    try {
        ProfileStore::remove(secrets_, fact);
    } catch (const std::exception& refusal) {
        showRefusal(refusal);
    }
    reload();
}

void ProfilePane::changeHandwriting() {
    // The window the pane is in; none while it is not in one.
    const bool inWindow = view_ && (view_->parentWidget() || view_->isVisible());
    QWidget* window = inWindow ? view_->window() : nullptr;
    if (presentSheet_) presentSheet_(window, [](bool) {});
}

void ProfilePane::removeHandwriting() { HandwritingStore::remove(secrets_); }

void ProfilePane::activate() {
    reload();
    textView_->setFocus(Qt::OtherFocusReason);
}
