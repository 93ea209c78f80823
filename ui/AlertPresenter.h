#pragma once
// Alerts with one button. Windows show them through this interface so tests replace it and never
// block on a modal dialog.

#include <QString>

class QMessageBox;
class QWidget;

class AlertPresenter {
public:
    enum class Style { information, warning, critical };

    struct Alert {
        Style style = Style::information;
        QString title;  // the message in bold
        QString text;   // the explanation below it
        QString button = QStringLiteral("Aceptar");
    };

    virtual ~AlertPresenter() = default;

    // Shows the alert modal over `parent` (application-modal without one) and returns when the
    // user dismissed it.
    virtual void show(const Alert& alert, QWidget* parent = nullptr) = 0;

    // The real presenter: a QMessageBox.
    static AlertPresenter& system();
    // The message box `show` runs, not yet shown (for screenshots).
    static QMessageBox* makeBox(const Alert& alert, QWidget* parent = nullptr);
};
