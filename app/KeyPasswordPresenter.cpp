#include "app/KeyPasswordPresenter.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

PasswordPrompt KeyPasswordPresenter::prompt(std::shared_ptr<KeyPasswordPresenter> presenter) {
    return [presenter](const std::string& token, bool retry) -> std::optional<std::string> {
        if (!presenter) return std::nullopt;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app || QThread::currentThread() == app->thread())
            return presenter->askPassword(token, retry);
        std::optional<std::string> answer;
        // The worker waits here; the main thread never waits for the worker, so this cannot
        // deadlock.
        QMetaObject::invokeMethod(
            app, [&] { answer = presenter->askPassword(token, retry); },
            Qt::BlockingQueuedConnection);
        return answer;
    };
}

KeyPasswordDialog::KeyPasswordDialog(const std::string& token, bool retry, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Contraseña del almacén de certificados");
    setModal(true);

    retry_ = new QLabel(retryMessage(), this);
    QFont bold = retry_->font();
    bold.setBold(true);
    retry_->setFont(bold);
    retry_->setWordWrap(true);
    retry_->setVisible(retry);

    message_ = new QLabel(message(token), this);
    message_->setWordWrap(true);

    field_ = new QLineEdit(this);
    field_->setEchoMode(QLineEdit::Password);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton("Cancelar", QDialogButtonBox::RejectRole);
    QPushButton* accept = buttons->addButton("Aceptar", QDialogButtonBox::AcceptRole);
    accept->setDefault(true);
    cancel->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(retry_);
    layout->addWidget(message_);
    layout->addWidget(field_);
    layout->addWidget(buttons);
    setFixedWidth(400);
}

QString KeyPasswordDialog::message(const std::string& token) {
    if (token == internalTokenName) return "Escribe la contraseña del almacén de certificados para firmar.";
    return "Escribe la contraseña de «" + QString::fromStdString(token) + "» para firmar.";
}

QString KeyPasswordDialog::retryMessage() {
    return "La contraseña no es correcta. Escríbela de nuevo.";
}

QString KeyPasswordDialog::password() const { return field_->text(); }

std::optional<std::string> DialogKeyPasswordPresenter::askPassword(const std::string& token,
                                                                   bool retry) {
    KeyPasswordDialog dialog(token, retry, QApplication::activeWindow());
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.password().toStdString();
}
