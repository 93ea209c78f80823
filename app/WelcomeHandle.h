#pragma once
// The welcome window as the application delegate holds it. The settings folder's WelcomeWindow
// is reached through an adapter made by AppServices::welcomeWindow; tests give their own.

#include <functional>
#include <optional>

#include "ui/HomeSection.h"

class WelcomeHandle {
public:
    virtual ~WelcomeHandle() = default;

    // Called when the window is about to close: with nothing, or with the section the user chose
    // to go on to. The owner may drop the window from inside the call.
    std::function<void(std::optional<HomeSection>)> onClose;

    // Switches to `page` when given (without animation), centres the window, brings it to the
    // front and plays the page's animation.
    virtual void show(std::optional<int> page) = 0;
};
