#include "app/Updates.h"

#include <QString>

#include <exception>
#include <stdexcept>
#include <string>

#include "ui/AlertPresenter.h"

void PackageManagerUpdates::start() {
    throw std::runtime_error("Esta copia no incluye un actualizador propio.");
}

void PackageManagerUpdates::checkForUpdates() {
    AlertPresenter& alerts = alerts_ ? *alerts_ : AlertPresenter::system();
    AlertPresenter::Alert alert;
    alert.style = AlertPresenter::Style::information;
    alert.title = QString::fromUtf8(title);
    alert.text = QString::fromUtf8(text);
    alerts.show(alert);
}

namespace Updates {

namespace {

std::unique_ptr<UpdateController>& slot() {
    static std::unique_ptr<UpdateController> current;
    return current;
}

}  // namespace

UpdateController& controller() {
    auto& current = slot();
    if (!current) current = std::make_unique<PackageManagerUpdates>();
    return *current;
}

void setController(std::unique_ptr<UpdateController> replacement) { slot() = std::move(replacement); }

void start(bool configured, const std::function<void(std::string_view)>& log) {
    if (!configured) return;
    try {
        controller().start();
    } catch (const std::exception& error) {
        if (log) log(std::string(startFailure) + error.what());
    } catch (...) {
        if (log) log(std::string(startFailure) + "error desconocido.");
    }
}

}  // namespace Updates
