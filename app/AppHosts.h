#pragma once
// The application's side of the windows of other folders: what the document window asks of the
// application (the help popover, the profile section, filled-copy names), installed in their
// process-wide contexts at start-up.

#include "ui/DocumentHost.h"
#include "settings/SettingsHost.h"

class AppDelegate;

class AppHosts : public DocumentHost, public SettingsHost {
public:
    explicit AppHosts(AppDelegate& delegate) : delegate_(delegate) {}

    // Puts this host and the application's presenters into the windows' contexts.
    void install();

    void popHelp(const std::string& section, QWidget* from) override;
    void showProfile() override;
    std::filesystem::path filledCopy(const std::filesystem::path& source) override;
    // The settings screens' side: the help window at a section, the application forward.
    void showHelp(const std::string& section) override;
    void bringToFront() override;

private:
    AppDelegate& delegate_;
};
