#pragma once
// A small capsule tag such as "EXPERIMENTAL": the text in upper case, bold 10, letter spacing 0.6,
// 3 above and below and 7 on the sides, on a pale yellow capsule. Painted; its colours follow the
// palette's lightness (dark: Brand::yellow text) and are redone on QEvent::PaletteChange.

#include <QString>
#include <QWidget>

class TagLabel : public QWidget {
    Q_OBJECT
public:
    explicit TagLabel(const QString& text, QWidget* parent = nullptr);

    // The text as shown (upper case).
    QString text() const { return text_; }
    // The colours in the current palette.
    QColor textColor() const;
    QColor backgroundColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QFont font_() const;

    QString text_;
};
