#pragma once
// The object behind "Buscar actualizaciones…". There is no update framework on Linux: copies are
// updated by the system's package manager, so the stand-in's start fails and its check explains
// where updates come from.

#include <functional>

class AlertPresenter;

class UpdateController {
public:
    virtual ~UpdateController() = default;
    // Starts checking in the background; throws an exception whose what() says why it could not.
    virtual void start() = 0;
    // The menu item's action.
    virtual void checkForUpdates() = 0;
};

// The Linux stand-in: start() throws, checkForUpdates() shows the information alert
// "Buscar actualizaciones" / "Esta copia de Tindra se actualiza con el gestor de paquetes del
// sistema." through the given presenter (the system's when null).
class PackageManagerUpdates : public UpdateController {
public:
    explicit PackageManagerUpdates(AlertPresenter* alerts = nullptr) : alerts_(alerts) {}
    void start() override;
    void checkForUpdates() override;

    static constexpr char title[] = "Buscar actualizaciones";
    static constexpr char text[] = "Esta copia de Tindra se actualiza con el gestor de paquetes del sistema.";

private:
    AlertPresenter* alerts_;
};
