#pragma once
// The key-access prompt of the own signing engine: the certificate store asks for a token's
// password while a run signs on its worker thread; the question is put to the user on the main
// thread and the worker waits for the answer. Tests inject a presenter that answers at once.

#include <QDialog>

#include <memory>
#include <optional>
#include <string>

#include "platform/IdentityStore.h"

class QLabel;
class QLineEdit;

class KeyPasswordPresenter {
public:
    virtual ~KeyPasswordPresenter() = default;
    // The password for the token, or nothing when the user cancels. Main thread.
    virtual std::optional<std::string> askPassword(const std::string& token, bool retry) = 0;

    // A prompt for the engine that may be called from any thread: off the main thread it asks
    // the presenter through a blocking call on the main thread.
    static PasswordPrompt prompt(std::shared_ptr<KeyPasswordPresenter> presenter);
};

// The password dialog: "Contraseña del almacén de certificados".
class KeyPasswordDialog : public QDialog {
    Q_OBJECT
public:
    KeyPasswordDialog(const std::string& token, bool retry, QWidget* parent = nullptr);

    static QString message(const std::string& token);
    static QString retryMessage();

    QString password() const;
    QLabel* messageLabel() const { return message_; }
    QLabel* retryLabel() const { return retry_; }
    QLineEdit* passwordField() const { return field_; }

private:
    QLabel* message_ = nullptr;
    QLabel* retry_ = nullptr;
    QLineEdit* field_ = nullptr;
};

// Asks with a modal KeyPasswordDialog.
class DialogKeyPasswordPresenter : public KeyPasswordPresenter {
public:
    std::optional<std::string> askPassword(const std::string& token, bool retry) override;
};
