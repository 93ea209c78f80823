#include "app/AppHosts.h"

#include "app/AppDelegate.h"
#include "app/OutputNames.h"
#include "ui/RunLoop.h"
#include "document/DocumentContext.h"
#include "settings/SettingsContext.h"

void AppHosts::install() {
    DocumentContext& document = DocumentContext::standard();
    document.host = this;
    document.alerts = delegate_.services().alerts;
    document.filePanels = delegate_.services().filePanels;

    SettingsContext& settings = SettingsContext::standard();
    settings.host = this;
    const AppServices& services = delegate_.services();
    if (services.defaults) settings.defaults = services.defaults;
    if (services.urls) settings.urls = services.urls;
    if (services.reveal) settings.reveal = services.reveal;
    if (services.log) settings.log = services.log;
}

void AppHosts::showHelp(const std::string& section) {
    if (const auto& help = delegate_.services().help) help(section);
}

void AppHosts::bringToFront() { ::bringToFront(); }

void AppHosts::popHelp(const std::string& section, QWidget* from) {
    const AppServices& services = delegate_.services();
    if (services.helpPopover) {
        services.helpPopover(section, from);
    } else if (services.help) {
        services.help(section);
    }
}

void AppHosts::showProfile() { delegate_.showHome(HomeSection::profile); }

std::filesystem::path AppHosts::filledCopy(const std::filesystem::path& source) {
    return ::filledCopy(source);
}
