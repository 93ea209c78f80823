#include "app/AppHosts.h"

#include "app/AppDelegate.h"
#include "app/OutputNames.h"
#include "document/DocumentContext.h"

void AppHosts::install() {
    DocumentContext& document = DocumentContext::standard();
    document.host = this;
    document.alerts = delegate_.services().alerts;
    document.filePanels = delegate_.services().filePanels;
}

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
