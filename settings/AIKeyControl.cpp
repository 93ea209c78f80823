#include "settings/AIKeyControl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include "ui/Brand.h"
#include "ui/ColorView.h"
#include "ui/Palette.h"
#include "ui/RunLoop.h"
#include "ui/Symbols.h"
#include "ui/URLPresenter.h"
#include "settings/AIKeyService.h"
#include "settings/BackgroundRunner.h"
#include "settings/ArrowLink.h"
#include "settings/ToneLabel.h"

namespace {

const QString storedText = QStringLiteral("Guardada en el depósito de claves de este equipo.");
const QString checkingText = QStringLiteral("Comprobando la clave con OpenRouter…");
const QString acceptedText =
    QStringLiteral("Comprobada y guardada en el depósito de claves de este equipo.");
const QString uncheckedText =
    QStringLiteral("Guardada, sin comprobar: no se ha podido conectar con OpenRouter.");
const QString refusedText =
    QStringLiteral("OpenRouter no acepta esta clave. Revisa que esté completa y activa.");
const QString notStoredText =
    QStringLiteral("No se ha podido guardar la clave en el depósito de claves.");

// Where the key page is when the configured address cannot be read.
constexpr char fallbackOrigin[] = "https://openrouter.ai";

// A small spinning arc, shown while a key is checked.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent = nullptr) : QWidget(parent) {
        setFixedSize(16, 16);
        turn_.setStartValue(0.0);
        turn_.setEndValue(360.0);
        turn_.setDuration(900);
        turn_.setLoopCount(-1);
        QObject::connect(&turn_, &QVariantAnimation::valueChanged, this,
                         [this](const QVariant&) { update(); });
    }
    void start() {
        show();
        turn_.start();
    }
    void stop() {
        turn_.stop();
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(Palette::secondaryLabel(palette()), 2);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const QRectF box = QRectF(rect()).adjusted(2, 2, -2, -2);
        const int start = static_cast<int>(-turn_.currentValue().toDouble() * 16);
        painter.drawArc(box, start, 270 * 16);
    }

private:
    QVariantAnimation turn_;
};

QPushButton* button(const QString& title, QWidget* parent) {
    auto* made = new QPushButton(title, parent);
    // Never the dialog's default button: Return belongs to the key field.
    made->setAutoDefault(false);
    made->setDefault(false);
    return made;
}

bool isReturn(const QKeyEvent* key) {
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           !(key->modifiers() & ~(Qt::KeypadModifier));
}

}  // namespace

AIKeyControl::AIKeyControl(QWidget* parent, SettingsContext& context)
    : QWidget(parent), context_(context), generation_(std::make_shared<unsigned>(0)) {
    field_ = new QLineEdit(this);
    field_->setEchoMode(QLineEdit::Password);
    field_->setPlaceholderText(QStringLiteral("Pega aquí tu clave: sk-or-…"));
    field_->installEventFilter(this);
    saveButton_ = button(QStringLiteral("Guardar"), this);
    cancelButton_ = button(QStringLiteral("Cancelar"), this);
    changeButton_ = button(QStringLiteral("Cambiar…"), this);
    removeButton_ = button(QStringLiteral("Quitar"), this);

    dot_ = new ColorView(Palette::green(palette()), this);
    dot_->setFixedSize(8, 8);
    dot_->setCornerRadius(4);
    auto* status = new ToneLabel(QString(), ToneLabel::Tone::label, this);
    status->setFont(Brand::systemFont(13));
    status->setWordWrap(true);
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_ = status;
    auto* spinner = new Spinner(this);
    spinner->hide();
    spinner_ = spinner;

    const QUrl keys = keysURL();
    link_ = new ArrowLink(QStringLiteral("Crear una clave en ") + keys.host(),
                           QStringLiteral("arrow.up.right"), 9, ArrowLink::Side::trailing,
                           Brand::systemFont(12.5), this);

    entryRow_ = new QWidget(this);
    auto* entry = new QHBoxLayout(entryRow_);
    entry->setContentsMargins(0, 0, 0, 0);
    entry->setSpacing(8);
    entry->addWidget(field_, 1);
    entry->addWidget(saveButton_);
    entry->addWidget(cancelButton_);

    savedRow_ = new QWidget(this);
    auto* saved = new QHBoxLayout(savedRow_);
    saved->setContentsMargins(0, 0, 0, 0);
    saved->setSpacing(8);
    saved->addWidget(spinner_, 0, Qt::AlignVCenter);
    saved->addWidget(dot_, 0, Qt::AlignVCenter);
    saved->addWidget(status_, 1, Qt::AlignVCenter);
    saved->addWidget(changeButton_, 0, Qt::AlignVCenter);
    saved->addWidget(removeButton_, 0, Qt::AlignVCenter);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(entryRow_);
    column->addWidget(savedRow_);
    column->addWidget(link_, 0, Qt::AlignLeft);

    connect(saveButton_, &QPushButton::clicked, this, &AIKeyControl::save);
    connect(cancelButton_, &QPushButton::clicked, this, &AIKeyControl::cancel);
    connect(changeButton_, &QPushButton::clicked, this, &AIKeyControl::change);
    connect(removeButton_, &QPushButton::clicked, this, &AIKeyControl::remove);
    connect(link_, &QAbstractButton::clicked, this, &AIKeyControl::openKeys);

    refresh();
}

AIKeyControl::~AIKeyControl() = default;

QUrl AIKeyControl::keysURL() const {
    QUrl base(QString::fromStdString(context_.ai.baseURL()));
    if (!base.isValid() || base.host().isEmpty() || base.scheme().isEmpty()) {
        base = QUrl(QString::fromLatin1(fallbackOrigin));
    }
    QUrl origin;
    origin.setScheme(base.scheme());
    origin.setHost(base.host());
    origin.setPort(base.port());
    origin.setPath(QStringLiteral("/keys"));
    return origin;
}

void AIKeyControl::refresh(const std::optional<QString>& message, const std::optional<QColor>& color) {
    const bool entryShown = !context_.keys->hasKey() || replacing_;
    entryRow_->setHidden(!entryShown);
    link_->setHidden(!entryShown);
    cancelButton_->setHidden(!replacing_);
    savedRow_->setHidden(entryShown && !message);
    changeButton_->setHidden(entryShown);
    removeButton_->setHidden(entryShown);
    status_->setText(message.value_or(storedText));
    dot_->setColor(color.value_or(Palette::green(palette())));
    dot_->setHidden(!spinner_->isHidden());
}

void AIKeyControl::save() {
    // One check at a time: Return pressed again while checking does nothing.
    if (checking_) return;
    const QString key = field_->text().trimmed();
    if (key.isEmpty()) return;

    checking_ = true;
    saveButton_->setEnabled(false);
    static_cast<Spinner*>(spinner_)->start();
    refresh(checkingText);

    const unsigned ticket = ++*generation_;
    std::shared_ptr<unsigned> generation = generation_;
    QPointer<AIKeyControl> self(this);
    AIKeyService* keys = context_.keys;
    std::string typed = key.toStdString();
    context_.runner->run([=](std::stop_token stop) {
        const std::optional<bool> answer = keys->check(typed, stop);
        // Quitting: an answer cut short is no answer, and nothing is stored.
        if (stop.stop_requested()) return;
        onMainRunLoop([=] {
            // "Cancelar", a removal or a newer check abandoned this one.
            if (*generation != ticket) return;
            if (self) self->endChecking();
            if (answer == false) {
                if (self) self->refresh(refusedText, Palette::red(self->palette()));
                return;
            }
            // Stored even when the control has gone: the user asked for it.
            const bool stored = keys->save(typed);
            if (!self) return;
            if (!stored) {
                self->refresh(notStoredText, Palette::red(self->palette()));
                return;
            }
            self->field_->setText(QString());
            self->replacing_ = false;
            if (answer) {
                self->refresh(acceptedText, Palette::green(self->palette()));
            } else {
                self->refresh(uncheckedText, Palette::orange(self->palette()));
            }
            if (const auto changed = self->onChange) changed();
        });
    });
}

void AIKeyControl::endChecking() {
    checking_ = false;
    static_cast<Spinner*>(spinner_)->stop();
    saveButton_->setEnabled(true);
}

void AIKeyControl::abandonCheck() {
    if (!checking_) return;
    ++*generation_;
    endChecking();
}

void AIKeyControl::change() {
    replacing_ = true;
    refresh();
    if (window()) field_->setFocus(Qt::OtherFocusReason);
}

void AIKeyControl::cancel() {
    abandonCheck();
    replacing_ = false;
    field_->setText(QString());
    refresh();
}

void AIKeyControl::remove() {
    abandonCheck();
    context_.keys->removeKey();
    replacing_ = false;
    refresh();
    if (const auto changed = onChange) changed();
}

void AIKeyControl::openKeys() { context_.urls->open(keysURL()); }

bool AIKeyControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_) {
        if (event->type() == QEvent::ShortcutOverride && isReturn(static_cast<QKeyEvent*>(event))) {
            // Claimed here, so no shortcut of the window takes Return from the field.
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && isReturn(static_cast<QKeyEvent*>(event))) {
            event->accept();
            save();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AIKeyControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) applyStatusColor();
    QWidget::changeEvent(event);
}

void AIKeyControl::applyStatusColor() {
    static_cast<ToneLabel*>(status_)->setTone(isEnabled() ? ToneLabel::Tone::label
                                                          : ToneLabel::Tone::tertiary);
}
