#pragma once
// A label in one of the system text colours (label, secondary, tertiary, green, orange, red),
// resolved against its parent's palette and redone when that palette changes, so it follows the
// switch between light and dark.

#include <QLabel>

class ToneLabel : public QLabel {
    Q_OBJECT
public:
    enum class Tone { label, secondary, tertiary, green, orange, red };

    explicit ToneLabel(const QString& text = {}, Tone tone = Tone::label, QWidget* parent = nullptr);

    Tone tone() const { return tone_; }
    void setTone(Tone tone);
    // The colour of the tone in the surrounding palette.
    QColor toneColor() const;

    static QColor resolve(Tone tone, const QPalette& palette);

    // Shows `text` cut to the label's width with an ellipsis (single line); fullText() keeps it.
    void setElidedText(const QString& text, Qt::TextElideMode mode);
    QString fullText() const { return elide_ == Qt::ElideNone ? text() : full_; }
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void apply();
    void elide();

    Tone tone_;
    bool applying_ = false;
    QString full_;
    Qt::TextElideMode elide_ = Qt::ElideNone;
};
