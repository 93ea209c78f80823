#pragma once
// What the settings screens ask of the application: its help window and bringing it forward.

#include <string>

class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // Opens the application's help window at `section` ("ia": what is sent to the AI service).
    virtual void showHelp(const std::string& section) = 0;
    // Activates the application.
    virtual void bringToFront() = 0;
};
