#include "settings/SettingsPane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <exception>
#include <string>

#include "ui/Brand.h"
#include "ui/Switch.h"
#include "forms/ai/AILog.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Preferences.h"
#include "settings/AIKeyControl.h"
#include "settings/AIKeyService.h"
#include "settings/AILogPage.h"
#include "settings/AILogRow.h"
#include "settings/AILogSummary.h"
#include "settings/ArrowLink.h"
#include "settings/SettingsGroup.h"
#include "settings/SettingsHost.h"
#include "settings/SettingsRow.h"
#include "settings/ToneLabel.h"
#include "signing/CardLayout.h"

namespace {

constexpr int recentCount = 3;
// The keys the switches write (read through Preferences). Written with Defaults::set, which
// throws when the file cannot be written, so the switch can show what is really stored.
const std::string showFullIDKey = "showFullID";
const std::string showBrandingKey = "showBranding";
const std::string fillFormsKey = "fillForms";

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

// A large value over a small caption.
class Figure : public QWidget {
public:
    Figure(const QString& value, const QString& label) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        auto* shown = new ToneLabel(QString(), ToneLabel::Tone::label);
        shown->setFont(Brand::titleFont(20, QFont::DemiBold));
        shown->setElidedText(value, Qt::ElideRight);
        shown->setObjectName(QStringLiteral("value"));
        auto* caption = new ToneLabel(label, ToneLabel::Tone::secondary);
        caption->setFont(Brand::systemFont(12));
        caption->setObjectName(QStringLiteral("label"));
        layout->addWidget(shown, 0, Qt::AlignTop);
        layout->addWidget(caption, 0, Qt::AlignTop);
        layout->addStretch(1);
    }
};

QLabel* recentLabel(const QString& text, ToneLabel::Tone tone, Qt::TextElideMode elide) {
    auto* label = new ToneLabel(QString(), tone);
    label->setFont(Brand::systemFont(12.5));
    label->setElidedText(text, elide);
    return label;
}

}  // namespace

SettingsPane::SettingsPane(QObject* parent, SettingsContext& context)
    : QObject(parent), context_(context) {
    view_ = new QWidget;
    stack_ = new QStackedLayout(view_);
    stack_->setContentsMargins(0, 0, 0, 0);

    auto* title = new QLabel(QStringLiteral("Opciones"));
    title->setFont(Brand::titleFont(26));
    auto* subtitle = new ToneLabel(
        QStringLiteral("Lo que %1 hace por defecto al firmar. Todo se guarda en este equipo.")
            .arg(Brand::name),
        ToneLabel::Tone::secondary);
    subtitle->setFont(Brand::systemFont(13));
    subtitle->setWordWrap(true);

    fullID_ = new Switch;
    branding_ = new Switch;
    fillForms_ = new Switch;
    aiSwitch_ = new Switch;
    connect(fullID_, &QAbstractButton::clicked, this, &SettingsPane::signatureChanged);
    connect(branding_, &QAbstractButton::clicked, this, &SettingsPane::signatureChanged);

    auto* signature = new SettingsGroup(
        QStringLiteral("Firma visible"), std::nullopt,
        QStringLiteral("Lo que sale por defecto. En la ventana de firma se puede cambiar para cada "
                       "documento."),
        {new SettingsRow(QStringLiteral("DNI completo"),
                         QStringLiteral("En vez de enmascarado, como lo publican las "
                                        "administraciones: ***4567**."),
                         fullID_),
         new SettingsRow(QStringLiteral("«Firmado con ") +
                             QString::fromUtf8(CardHosts::website().data(),
                                               static_cast<qsizetype>(CardHosts::website().size())) +
                             QStringLiteral("»"),
                         QStringLiteral("Una línea al pie de la firma, con la web de %1.")
                             .arg(Brand::name),
                         branding_)});

    SettingsGroup* forms = formsGroup();

    usage_ = new QWidget;
    usageLayout_ = new QVBoxLayout(usage_);
    usageLayout_->setContentsMargins(0, 0, 0, 0);
    usageLayout_->setSpacing(0);
    auto* usageGroup = new SettingsGroup(
        QStringLiteral("Uso de la IA"), std::nullopt,
        QStringLiteral("Lo que ha costado reconocer formularios con OpenRouter."), {usage_});

    // The column: at most 720 wide at the leading edge, 36 from both sides, top-aligned.
    content_ = new QWidget;
    content_->setMaximumWidth(contentWidth);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(36, 0, 36, 40);
    column->setSpacing(0);
    column->addWidget(title);
    column->addSpacing(4);
    column->addWidget(subtitle);
    column->addSpacing(28);
    column->addWidget(signature);
    column->addSpacing(32);
    column->addWidget(forms);
    column->addSpacing(32);
    column->addWidget(usageGroup);
    column->addStretch(1);

    auto* document = new QWidget;
    auto* row = new QHBoxLayout(document);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(content_, 1);
    row->addStretch(0);

    main_ = new QScrollArea;
    main_->setFrameShape(QFrame::NoFrame);
    main_->setWidgetResizable(true);
    main_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    main_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    main_->setWidget(document);
    // The window's canvas shows through (setWidget gives the document a background of its own).
    document->setAutoFillBackground(false);
    main_->viewport()->setAutoFillBackground(false);
    stack_->addWidget(main_);

    log_ = new AILogPage(this, context_);
    log_->onBack = [this] { stack_->setCurrentWidget(main_); };
    stack_->addWidget(log_->view());
    stack_->setCurrentWidget(main_);

    refresh(true);
}

SettingsPane::~SettingsPane() {
    delete log_;  // its view first, while the pane's view still holds it
    log_ = nullptr;
    if (view_) delete view_.data();
}

SettingsGroup* SettingsPane::formsGroup() {
    connect(fillForms_, &QAbstractButton::clicked, this, &SettingsPane::fillChanged);
    connect(aiSwitch_, &QAbstractButton::clicked, this, &SettingsPane::aiToggled);

    aiDetail_ = new ToneLabel(QString(), ToneLabel::Tone::secondary);
    aiDetail_->setFont(Brand::systemFont(12));
    aiDetail_->setWordWrap(true);

    keyControl_ = new AIKeyControl(nullptr, context_);
    QPointer<SettingsPane> self(this);
    // The control shows its own message; only the rest of the pane is brought up to date.
    keyControl_->onChange = [self] {
        if (self) self->refresh(false);
    };

    auto* footer = new ArrowLink(QStringLiteral("Qué se envía a la IA, y qué no"),
                                  QStringLiteral("arrow.up.right"), 9, ArrowLink::Side::trailing,
                                  Brand::systemFont(12.5));
    connect(footer, &QAbstractButton::clicked, this, &SettingsPane::openAIHelp);

    return new SettingsGroup(
        QStringLiteral("Formularios"), QStringLiteral("Experimental"),
        QStringLiteral("Al firmar un PDF con campos, %1 los rellena con lo que guardaste en Mis "
                       "datos. Revísalos antes de firmar: aún se equivoca en algunos.")
            .arg(Brand::name),
        {new SettingsRow(QStringLiteral("Rellenar con mis datos"),
                         QStringLiteral("Al abrir un formulario. También se puede cambiar en la "
                                        "ventana de firma."),
                         fillForms_),
         new SettingsRow(QStringLiteral("Reconocer los campos con IA"), aiDetail_, aiSwitch_),
         new SettingsRow(QStringLiteral("Clave de OpenRouter"),
                         QStringLiteral("Es tuya: OpenRouter cobra el uso según sus precios. Abajo "
                                        "ves lo que ha costado cada consulta."),
                         nullptr, keyControl_)},
        footer);
}

void SettingsPane::activate() {
    stack_->setCurrentWidget(main_);
    refresh(true);
}

bool SettingsPane::showingLog() const { return stack_->currentWidget() == log_->view(); }

void SettingsPane::showLog() {
    stack_->setCurrentWidget(log_->view());
    log_->reload();
}

void SettingsPane::refresh(bool clearKeyMessage) {
    const Defaults& defaults = *context_.defaults;
    fullID_->setChecked(Preferences::showFullID(defaults));
    branding_->setChecked(Preferences::showBranding(defaults));
    fillForms_->setChecked(Preferences::fillForms(defaults));
    const bool enabled = JevLabeler::enabled(context_.ai);
    aiSwitch_->setChecked(enabled);

    if (!enabled) {
        aiDetail_->setText(QStringLiteral(
            "Desactivado: los campos se reconocen en este equipo, con menos acierto."));
        aiDetail_->setTone(ToneLabel::Tone::secondary);
    } else if (context_.keys->hasKey()) {
        aiDetail_->setText(QStringLiteral(
            "Activado. Se envía a OpenRouter la estructura del formulario, nunca tus datos."));
        aiDetail_->setTone(ToneLabel::Tone::secondary);
    } else {
        aiDetail_->setText(QStringLiteral("Falta la clave de OpenRouter: hasta tenerla, los "
                                          "campos se reconocen en este equipo."));
        aiDetail_->setTone(ToneLabel::Tone::orange);
    }
    if (clearKeyMessage) keyControl_->refresh();
    refreshUsage();
}

void SettingsPane::refreshUsage() {
    while (QLayoutItem* item = usageLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }

    // The figures need no request or answer texts.
    const std::vector<AICall> calls = AILog::calls(context_.ai.logPath, AILog::Texts::dropped);
    if (calls.empty()) {
        usageLayout_->addWidget(SettingsRow::padded(SettingsRow::detail(QStringLiteral(
            "Aún no se ha consultado a OpenRouter. Las consultas aparecerán aquí al rellenar un "
            "formulario con la IA activada."))));
        return;
    }

    const int forms = AILogSummary::formsCount(calls);
    const auto requests = static_cast<long long>(calls.size());
    auto* figures = new QWidget;
    auto* figuresRow = new QHBoxLayout(figures);
    figuresRow->setContentsMargins(0, 0, 0, 0);
    figuresRow->setSpacing(8);
    const auto now = context_.now();
    const std::pair<QString, QString> values[] = {
        {QString::number(forms), forms == 1 ? QStringLiteral("formulario") : QStringLiteral("formularios")},
        {QString::number(requests), requests == 1 ? QStringLiteral("consulta") : QStringLiteral("consultas")},
        {text(AILogSummary::money(AILogSummary::monthCost(calls, now))), QStringLiteral("este mes")},
        {text(AILogSummary::money(AILogSummary::totalCost(calls))), QStringLiteral("en total")},
    };
    for (const auto& [value, label] : values) figuresRow->addWidget(new Figure(value, label), 1);

    auto* recent = new QWidget;
    auto* recentColumn = new QVBoxLayout(recent);
    recentColumn->setContentsMargins(0, 0, 0, 0);
    recentColumn->setSpacing(8);
    auto* heading = new ToneLabel(QStringLiteral("Últimas consultas"), ToneLabel::Tone::secondary);
    heading->setFont(Brand::systemFont(12, QFont::DemiBold));
    recentColumn->addWidget(heading);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(6);
    const std::size_t shown = std::min<std::size_t>(calls.size(), recentCount);
    for (std::size_t i = 0; i < shown; ++i) {
        const AICall& call = calls[i];
        auto* line = new QHBoxLayout;
        line->setSpacing(16);
        QLabel* date = recentLabel(text(AILogSummary::date(call.date)), ToneLabel::Tone::secondary,
                                   Qt::ElideMiddle);
        date->setFixedWidth(110);
        QLabel* form = recentLabel(text(call.form), ToneLabel::Tone::label, Qt::ElideMiddle);
        form->setToolTip(text(call.form));
        form->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        const bool ok = call.result == "ok";
        const QString outcome = ok ? (call.cost ? text(AILogSummary::money(*call.cost)) : QStringLiteral("—"))
                                   : text(AILogRow::resultText(call.result));
        QLabel* cost = recentLabel(outcome, ok ? ToneLabel::Tone::label : ToneLabel::Tone::red,
                                   Qt::ElideMiddle);
        cost->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        line->addWidget(date);
        line->addWidget(form, 1);
        line->addWidget(cost);
        lines->addLayout(line);
    }
    recentColumn->addLayout(lines);

    auto* all = new SettingsRow(QStringLiteral("Ver todas las consultas"),
                                QStringLiteral("Con lo que se envió a OpenRouter y lo que "
                                               "respondió, tal cual."),
                                SettingsRow::chevron());
    QPointer<SettingsPane> self(this);
    all->setOnClick([self] {
        if (self) self->showLog();
    });
    all->setObjectName(QStringLiteral("allCalls"));

    usageLayout_->addWidget(SettingsRow::padded(figures));
    usageLayout_->addWidget(SettingsRow::separator());
    usageLayout_->addWidget(SettingsRow::padded(recent));
    usageLayout_->addWidget(SettingsRow::separator());
    usageLayout_->addWidget(all);
}

bool SettingsPane::store(Defaults& defaults, const std::string& key, bool value) {
    try {
        defaults.set(key, value);
        return true;
    } catch (const std::exception& error) {
        if (context_.log) {
            context_.log("No se ha podido guardar la opción «" + key + "»: " + error.what());
        }
        return false;
    }
}

void SettingsPane::signatureChanged() {
    const bool fullID = fullID_->isChecked();
    const bool branding = branding_->isChecked();
    const bool stored = store(*context_.defaults, showFullIDKey, fullID) &&
                        store(*context_.defaults, showBrandingKey, branding);
    if (!stored) refresh(false);
}

void SettingsPane::fillChanged() {
    if (!store(*context_.defaults, fillFormsKey, fillForms_->isChecked())) refresh(false);
}

void SettingsPane::aiToggled() {
    const bool on = aiSwitch_->isChecked();
    if (context_.ai.defaults) store(*context_.ai.defaults, std::string(JevLabeler::switchKey), on);
    refresh(false);
}

void SettingsPane::openAIHelp() { context_.host->showHelp("ia"); }
