#pragma once
// A plain-text label that wraps at word boundaries and takes no minimum height beyond one line:
// its layout gives it the height its text needs at the width it gets (height for width), so a
// list of such labels never claims the height of its narrowest possible wrapping.

#include <QLabel>

class WrapLabel : public QLabel {
public:
    explicit WrapLabel(const QString& text = {}, QWidget* parent = nullptr) : QLabel(text, parent) {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
        // Any width, the height following from it (setting a policy clears the flag that
        // setWordWrap had set).
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    QSize minimumSizeHint() const override { return QSize(0, fontMetrics().height()); }
};
