// The four pages of the welcome window and the blocks they are made of.
#include <QHBoxLayout>
#include <algorithm>

#include <QFontMetricsF>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/QuickActionName.h"
#include "ui/Switch.h"
#include "ui/Symbols.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Preferences.h"
#include "settings/AIKeyControl.h"
#include "settings/AIKeyService.h"
#include "settings/TagLabel.h"
#include "settings/welcome/FormScene.h"
#include "settings/welcome/GlassCard.h"
#include "settings/welcome/LinkButton.h"
#include "settings/welcome/Motion.h"
#include "settings/welcome/SignScene.h"
#include "settings/welcome/SymbolDisc.h"
#include "settings/welcome/WelcomeColors.h"
#include "settings/welcome/WelcomeWindow.h"

namespace {

constexpr int headerTop = 116;
constexpr int detailWidth = 520;
constexpr double titleSize = 42;
constexpr double minTitleSize = 34;
constexpr int subtitleLeading = 3;

// A wrapping label whose height follows the width it will really have: at most its maximum.
class WrapLabel : public QLabel {
public:
    using QLabel::QLabel;
    int heightForWidth(int width) const override {
        return QLabel::heightForWidth(std::min(width, maximumWidth()));
    }
};

QLabel* label(const QString& text, const QFont& font, const QColor& color, bool wrap) {
    QLabel* l = wrap ? new WrapLabel(text) : new QLabel(text);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(wrap);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, color);
    l->setPalette(palette);
    return l;
}

QFont kerned(QFont font, double kerning) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, kerning);
    return font;
}

}  // namespace

WelcomeWindow::Page WelcomeWindow::page(const QString& kicker, const std::optional<QString>& tag,
                                        const QString& title, const QString& subtitle,
                                        QWidget* body, std::function<void()> play) {
    const WelcomeGeometry& g = geometry();
    auto* view = new QWidget;
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(int(g.margin), headerTop, 0, 0);
    layout->setSpacing(0);

    auto* header = new QWidget;
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(10);
    auto* kickerLabel = label(kicker.toUpper(), kerned(Brand::titleFont(12, QFont::Bold), 1.4),
                              WelcomeColors::accent(), false);
    kickerLabel->setObjectName(QStringLiteral("kicker"));
    headerLayout->addWidget(kickerLabel, 0, Qt::AlignVCenter);
    if (tag) headerLayout->addWidget(new TagLabel(*tag), 0, Qt::AlignVCenter);
    layout->addWidget(header, 0, Qt::AlignLeft);
    layout->addSpacing(14);

    // The heading keeps to one line where a smaller size down to 34 points allows it (the desktop's
    // font may be wider than the one the page was drawn for); beyond that it wraps.
    QFont titleFont = kerned(Brand::titleFont(titleSize, QFont::ExtraBold), -1);
    for (double size = titleSize; size > minTitleSize; --size) {
        titleFont = kerned(Brand::titleFont(size, QFont::ExtraBold), -1);
        if (QFontMetricsF(titleFont).horizontalAdvance(title) <= g.column) break;
    }
    auto* titleLabel = label(title, titleFont, Qt::white, true);
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setFixedWidth(int(g.column));
    layout->addWidget(titleLabel);
    layout->addSpacing(12);

    auto* subtitleLabel = label(subtitle, Brand::systemFont(17), WelcomeColors::white(0.72), true);
    // Three points between lines.
    subtitleLabel->setTextFormat(Qt::RichText);
    subtitleLabel->setText(QStringLiteral("<p style=\"margin:0; line-height:%1px; "
                                          "-qt-line-height-type:line-distance\">%2</p>")
                               .arg(subtitleLeading)
                               .arg(subtitle.toHtmlEscaped()));
    subtitleLabel->setObjectName(QStringLiteral("subtitle"));
    subtitleLabel->setFixedWidth(int(g.column));
    layout->addWidget(subtitleLabel);
    // A drawing that reaches beyond its frame (the turned sheet) starts higher by its overhang.
    const int overhang = qobject_cast<SignScene*>(body) ? SignScene::overhang : 0;
    layout->addSpacing(40 - overhang);

    body->setFixedWidth(int(g.column));
    layout->addWidget(body);
    layout->addStretch(1);
    return {view, std::move(play)};
}

QWidget* WelcomeWindow::textPair(const QString& title, const QString& detail) {
    auto* pair = new QWidget;
    auto* layout = new QVBoxLayout(pair);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(label(title, Brand::systemFont(15, QFont::DemiBold), Qt::white, false));
    auto* detailLabel = label(detail, Brand::systemFont(13), WelcomeColors::white(0.64), true);
    detailLabel->setMaximumWidth(detailWidth);
    layout->addWidget(detailLabel);
    return pair;
}

QWidget* WelcomeWindow::check(Check kind, const QString& title, const QString& detail) {
    QString symbol;
    QColor color;
    switch (kind) {
        case Check::ok: symbol = QStringLiteral("checkmark"); color = WelcomeColors::green(); break;
        case Check::warning: symbol = QStringLiteral("exclamationmark"); color = WelcomeColors::orange(); break;
        case Check::info: symbol = QStringLiteral("info"); color = WelcomeColors::accent(); break;
    }
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(new SymbolDisc(symbol, color), 0, Qt::AlignTop);
    layout->addWidget(textPair(title, detail), 1);
    return new GlassCard(row, QMargins(18, 16, 18, 16));
}

QWidget* WelcomeWindow::column(const std::vector<QWidget*>& views, int spacing) {
    auto* stack = new QWidget;
    auto* layout = new QVBoxLayout(stack);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* view : views) {
        // Buttons keep their own width; everything else is as wide as the column.
        if (qobject_cast<QAbstractButton*>(view)) {
            layout->addWidget(view, 0, Qt::AlignLeft);
        } else {
            layout->addWidget(view);
        }
    }
    return stack;
}

QWidget* WelcomeWindow::list(const QString& title, const QString& symbol, const QColor& color,
                             const QStringList& items) {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    auto* header = new QWidget;
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->setSpacing(8);
    auto* mark = new QLabel;
    mark->setPixmap(Symbols::pixmap(symbol, color, 15, content->devicePixelRatioF(), QFont::DemiBold));
    headerLayout->addWidget(mark, 0, Qt::AlignVCenter);
    headerLayout->addWidget(label(title, Brand::systemFont(14, QFont::DemiBold), Qt::white, false), 0,
                            Qt::AlignVCenter);
    headerLayout->addStretch(1);
    layout->addWidget(header);
    layout->addSpacing(10 - 5);
    for (const QString& item : items) {
        layout->addWidget(label(item, Brand::systemFont(13), WelcomeColors::white(0.68), true));
    }
    layout->addStretch(1);
    return new GlassCard(content, QMargins(18, 16, 18, 16));
}

QWidget* WelcomeWindow::link(const QString& title, const QString& symbol,
                             void (WelcomeWindow::*action)()) {
    auto* button = new LinkButton(title, symbol);
    connect(button, &QAbstractButton::clicked, this, action);
    return button;
}

WelcomeWindow::Page WelcomeWindow::howItWorks() {
    // No web engine here: the drawn scene is the page's illustration.
    auto* scene = new SignScene;
    QPointer<SignScene> guarded(scene);
    return page(QStringLiteral("Te damos la bienvenida a ") + Brand::name, std::nullopt,
                QStringLiteral("Firma tus PDF en segundos."),
                QStringLiteral("Clic derecho sobre un PDF en el gestor de archivos → «") +
                    QuickAction::name +
                    QStringLiteral("». La firma se coloca sola en su hueco. Tus PDF y tu clave no "
                                   "salen de este equipo."),
                scene, [guarded] {
                    if (guarded) guarded->play();
                });
}

WelcomeWindow::Page WelcomeWindow::ready(bool installed, int certificates) {
    std::vector<QWidget*> rows;
    if (installed) {
        rows.push_back(check(Check::ok, Brand::name + QStringLiteral(" está instalada"),
                             QStringLiteral("Por eso aparece en el menú del gestor de archivos, con "
                                            "clic derecho sobre un PDF.")));
    } else {
        rows.push_back(check(Check::warning, Brand::name + QStringLiteral(" no está instalada"),
                             QStringLiteral("Instálala y vuelve a abrirla: así aparecerá en el menú "
                                            "del gestor de archivos.")));
    }
    const QString stored = QStringLiteral(
        "Están en el almacén de certificados, con su clave privada. Eliges cuál usar al firmar.");
    if (certificates <= 0) {
        rows.push_back(check(Check::warning,
                             QStringLiteral("No hay ningún certificado en el almacén de certificados"),
                             QStringLiteral("Si lo tienes en un archivo .p12 o .pfx, impórtalo con "
                                            "«pk12util -d sql:$HOME/.pki/nssdb -i archivo.p12». El "
                                            "DNI electrónico aún no funciona.")));
    } else if (certificates == 1) {
        rows.push_back(check(Check::ok, QStringLiteral("Tienes un certificado para firmar"), stored));
    } else {
        rows.push_back(check(Check::ok,
                             QStringLiteral("Tienes %1 certificados para firmar").arg(certificates),
                             stored));
    }
    rows.push_back(check(Check::info, QStringLiteral("El sistema te pedirá permiso la primera vez"),
                         QStringLiteral("Para usar tu certificado, escribe la contraseña del almacén "
                                        "de certificados cuando se te pida.")));
    QWidget* body = column(rows, 12);
    std::vector<QPointer<QWidget>> guarded(rows.begin(), rows.end());
    return page(QStringLiteral("Este equipo"), std::nullopt,
                QStringLiteral("Antes de la primera firma."),
                QStringLiteral("Lo que necesita ") + Brand::name + QStringLiteral(" para firmar aquí."),
                body, [guarded] {
                    std::vector<QWidget*> views;
                    for (const auto& v : guarded) if (v) views.push_back(v);
                    Motion::stagger(views, 0.05, 0.08);
                });
}

WelcomeWindow::Page WelcomeWindow::forms() {
    const WelcomeGeometry& g = geometry();
    auto* scene = new FormScene(g.column);

    fillSwitch_ = new Switch;
    fillSwitch_->setChecked(context_.defaults && Preferences::fillForms(*context_.defaults));
    connect(fillSwitch_, &QAbstractButton::toggled, this, &WelcomeWindow::fillChanged);

    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(8);
    rowLayout->addWidget(textPair(QStringLiteral("Rellenar los formularios con mis datos"),
                                  QStringLiteral("Se puede cambiar en Opciones y en cada documento.")),
                         1);
    rowLayout->addWidget(fillSwitch_, 0, Qt::AlignVCenter);
    auto* switchCard = new GlassCard(row, QMargins(18, 14, 18, 14));

    QWidget* profileLink = link(QStringLiteral("Abrir Mis datos"), QStringLiteral("arrow.right"),
                                &WelcomeWindow::openProfile);
    QWidget* body = column({scene, switchCard, profileLink}, 14);
    QPointer<FormScene> guardedScene(scene);
    QPointer<QWidget> guardedCard(switchCard), guardedLink(profileLink);
    return page(QStringLiteral("Formularios"), QStringLiteral("Experimental"),
                QStringLiteral("Rellena formularios con tus datos."),
                QStringLiteral("Guárdalos una vez en Mis datos. ") + Brand::name +
                    QStringLiteral(" escribe lo que tiene claro y te propone el resto para que lo "
                                   "revises."),
                body, [guardedScene, guardedCard, guardedLink] {
                    if (guardedScene) guardedScene->play();
                    std::vector<QWidget*> views;
                    if (guardedCard) views.push_back(guardedCard);
                    if (guardedLink) views.push_back(guardedLink);
                    Motion::stagger(views, 1.9, 0.08);
                });
}

WelcomeWindow::Page WelcomeWindow::ai() {
    QWidget* sent = list(QStringLiteral("Se envía"), QStringLiteral("arrow.up.circle.fill"),
                         WelcomeColors::accent(),
                         {QStringLiteral("El texto junto a cada campo"),
                          QStringLiteral("Su nombre interno y su posición"),
                          QStringLiteral("Los títulos de los apartados")});
    QWidget* kept = list(QStringLiteral("No sale de tu equipo"), QStringLiteral("lock.circle.fill"),
                         Brand::pink.dark,
                         {QStringLiteral("Tus datos"), QStringLiteral("El PDF"),
                          QStringLiteral("Tu certificado")});
    auto* lists = new QWidget;
    auto* listsLayout = new QHBoxLayout(lists);
    listsLayout->setContentsMargins(0, 0, 0, 0);
    listsLayout->setSpacing(14);
    // Equal widths; both cards as high as the taller one.
    listsLayout->addWidget(sent, 1);
    listsLayout->addWidget(kept, 1);

    QWidget* reportLink = link(QStringLiteral("Cómo lo medimos, formulario a formulario"),
                               QStringLiteral("arrow.up.right"), &WelcomeWindow::openReport);

    keyControl_ = new AIKeyControl(nullptr, context_);
    QPointer<WelcomeWindow> self(this);
    keyControl_->onChange = [self] {
        if (!self) return;
        if (self->context_.keys && self->context_.keys->hasKey()) {
            JevLabeler::setEnabled(true, self->context_.ai);
        }
        self->updateButtons();
    };
    QWidget* keyBlock = column({label(QStringLiteral("Tu clave de OpenRouter"),
                                      Brand::systemFont(13, QFont::DemiBold), Qt::white, false),
                                keyControl_},
                               8);
    QWidget* body = column({lists, reportLink, keyBlock}, 18);
    std::vector<QPointer<QWidget>> guarded = {sent, kept, reportLink, keyBlock};
    return page(QStringLiteral("Opcional"), std::nullopt,
                QStringLiteral("Reconoce formularios con IA."),
                QStringLiteral("Con IA, ") + Brand::name +
                    QStringLiteral(" reconoce más campos y te pregunta menos: lo que escribe solo "
                                   "está bien 97 de cada 100 veces. OpenRouter cobra unos 0,004 € "
                                   "por formulario."),
                body, [guarded] {
                    std::vector<QWidget*> views;
                    for (const auto& v : guarded) if (v) views.push_back(v);
                    Motion::stagger(views, 0.05, 0.08);
                });
}
