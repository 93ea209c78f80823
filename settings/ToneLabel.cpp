#include "settings/ToneLabel.h"

#include <QApplication>
#include <QEvent>
#include <QResizeEvent>

#include "ui/Palette.h"

ToneLabel::ToneLabel(const QString& text, Tone tone, QWidget* parent)
    : QLabel(text, parent), tone_(tone) {
    setTextFormat(Qt::PlainText);
    apply();
}

void ToneLabel::setTone(Tone tone) {
    tone_ = tone;
    apply();
}

QColor ToneLabel::resolve(Tone tone, const QPalette& palette) {
    switch (tone) {
        case Tone::label: return Palette::label(palette);
        case Tone::secondary: return Palette::secondaryLabel(palette);
        case Tone::tertiary: return Palette::tertiaryLabel(palette);
        case Tone::green: return Palette::green(palette);
        case Tone::orange: return Palette::orange(palette);
        case Tone::red: return Palette::red(palette);
    }
    return Palette::label(palette);
}

QColor ToneLabel::toneColor() const {
    const QPalette surrounding = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    return resolve(tone_, surrounding);
}

void ToneLabel::apply() {
    if (applying_) return;
    applying_ = true;
    QPalette own = palette();
    own.setColor(QPalette::WindowText, toneColor());
    setPalette(own);
    applying_ = false;
}

bool ToneLabel::event(QEvent* event) {
    const bool handled = QLabel::event(event);
    switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ParentChange:
        case QEvent::Polish: apply(); break;
        default: break;
    }
    return handled;
}

void ToneLabel::setElidedText(const QString& text, Qt::TextElideMode mode) {
    full_ = text;
    elide_ = mode;
    setWordWrap(false);
    elide();
}

QSize ToneLabel::minimumSizeHint() const {
    if (elide_ == Qt::ElideNone) return QLabel::minimumSizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 2, QLabel::minimumSizeHint().height()};
}

void ToneLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    if (elide_ != Qt::ElideNone) elide();
}

void ToneLabel::elide() {
    if (elide_ == Qt::ElideNone) return;
    const int room = width() > 0 ? width() : fontMetrics().horizontalAdvance(full_);
    const QString shown = fontMetrics().elidedText(full_, elide_, room);
    if (shown != text()) setText(shown);
}
