#pragma once
// Enters, checks, stores, replaces and removes the OpenRouter key. Two rows and a link: the entry
// row (the key field, "Guardar", "Cancelar" while replacing), the status row (spinner or dot, a
// message, "Cambiar…", "Quitar" when a key is stored) and the link to the service's key page.
//
// The control never keeps the key: it lives in the field until it is stored, then only in the
// secret store. The check runs on the context's runner; its answer comes back to the main thread
// and is stored there even if the control was destroyed meanwhile (the views are then left
// alone). Only the latest check counts: "Cancelar" or a removal during a check drops its answer.
// Return in the key field saves and goes no further (no default button or shortcut fires).
// Disabling the control (QWidget::setEnabled) disables its six controls and greys the status.

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

#include "settings/SettingsContext.h"

class ColorView;
class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class AIKeyControl : public QWidget {
    Q_OBJECT
public:
    explicit AIKeyControl(QWidget* parent = nullptr,
                          SettingsContext& context = SettingsContext::standard());
    ~AIKeyControl() override;

    // Called on the main thread after a key was stored or removed.
    std::function<void()> onChange;

    // Brings the rows in line with the stored key and shows `message` (nothing: "Guardada en el
    // depósito de claves de este equipo.") with a dot of `color` (nothing: green).
    void refresh(const std::optional<QString>& message = std::nullopt,
                 const std::optional<QColor>& color = std::nullopt);

    // The parts, for the owners' layout and for tests.
    QLineEdit* field() const { return field_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* changeButton() const { return changeButton_; }
    QPushButton* removeButton() const { return removeButton_; }
    QAbstractButton* link() const { return link_; }
    ColorView* dot() const { return dot_; }
    QLabel* status() const { return status_; }
    QWidget* spinner() const { return spinner_; }
    QWidget* entryRow() const { return entryRow_; }
    QWidget* savedRow() const { return savedRow_; }
    bool replacing() const { return replacing_; }
    bool checking() const { return checking_; }

    // The key page: the service's origin + "/keys".
    QUrl keysURL() const;

public slots:
    void save();
    void change();
    void cancel();
    void remove();
    void openKeys();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyStatusColor();
    void endChecking();
    // Drops the answer of the check in flight, if any.
    void abandonCheck();

    SettingsContext& context_;
    QLineEdit* field_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* changeButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    ColorView* dot_ = nullptr;
    QLabel* status_ = nullptr;
    QWidget* spinner_ = nullptr;
    QAbstractButton* link_ = nullptr;
    QWidget* entryRow_ = nullptr;
    QWidget* savedRow_ = nullptr;
    bool replacing_ = false;
    bool checking_ = false;
    // Counts checks; an answer whose number is no longer current belongs to an abandoned check.
    // Shared with the answers in flight, which may outlive the control.
    std::shared_ptr<unsigned> generation_;
};
