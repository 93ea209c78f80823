#pragma once
// The process's update controller and its start at launch.

#include <functional>
#include <memory>
#include <string_view>

#include "app/UpdateController.h"

namespace Updates {

// The one controller, made on first use (the package-manager stand-in).
UpdateController& controller();
// Replaces it (tests, or the application with its presenter).
void setController(std::unique_ptr<UpdateController> controller);

// Starts the controller when the build is configured for updates (never, in this build); a
// failure writes "No se ha podido iniciar el actualizador: " + what() and nothing else happens.
void start(bool configured, const std::function<void(std::string_view)>& log);

inline constexpr char startFailure[] = "No se ha podido iniciar el actualizador: ";

}  // namespace Updates
