#include "settings/SettingsContext.h"

#include <memory>

#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"
#include "platform/Defaults.h"
#include "platform/Log.h"
#include "settings/AIKeyService.h"
#include "settings/BackgroundRunner.h"
#include "settings/SettingsHost.h"

namespace {

// Stands in until the application installs its own host.
class QuietHost : public SettingsHost {
public:
    void showHelp(const std::string&) override {}
    void bringToFront() override {}
};

}  // namespace

SettingsContext& SettingsContext::standard() {
    static SettingsContext context = [] {
        static QuietHost quiet;
        SettingsContext made;
        made.defaults = &Defaults::standard();
        made.ai = AISettings::standard();
        static const std::unique_ptr<AIKeyService> keys = AIKeyService::make(made.ai);
        made.keys = keys.get();
        made.urls = &URLPresenter::system();
        made.reveal = &RevealPresenter::system();
        made.runner = &BackgroundRunner::standard();
        made.now = [] { return std::chrono::system_clock::now(); };
        made.log = [](std::string_view line) { Log::write(line); };
        made.host = &quiet;
        return made;
    }();
    return context;
}
