#pragma once
// The collaborators of the settings screens: the user defaults, the AI labeller's settings, the
// stored AI key, the presenters, the worker that runs slow checks, the clock, the log and the
// application's side. The application fills the process-wide context once at start-up
// (SettingsContext::standard()); tests make their own and replace what they fake. Every pane,
// page and control of the settings screens takes one as its last, defaulted parameter and keeps a
// reference to it, so the context must outlive them. Main thread only.

#include <chrono>
#include <functional>
#include <string_view>

#include "forms/ai/AISettings.h"

class AIKeyService;
class BackgroundRunner;
class Defaults;
class RevealPresenter;
class SettingsHost;
class URLPresenter;

struct SettingsContext {
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // The user defaults (Preferences). Never null.
    Defaults* defaults = nullptr;
    // The AI labeller's settings: the switch "formsAI" (through its defaults), the service's base
    // address (the key page) and the call log's path.
    AISettings ai;
    // The stored OpenRouter key. Never null. The standard one works over the standard `ai` as it
    // was at start-up.
    AIKeyService* keys = nullptr;
    // Web pages in the browser; files shown in the file manager. Never null.
    URLPresenter* urls = nullptr;
    RevealPresenter* reveal = nullptr;
    // Runs the key check off the main thread. Never null.
    BackgroundRunner* runner = nullptr;
    // Now: the current month of the usage figures.
    Clock now;
    // The application's log (failed writes of a setting).
    std::function<void(std::string_view)> log;
    // The application's side (help window, bringing it forward). Never null: until the
    // application installs its own, a host that does nothing stands in.
    SettingsHost* host = nullptr;

    // The process-wide context: Defaults::standard(), AISettings::standard(), the key service
    // over them, the system presenters, the standard runner, the system clock, Log::write and a
    // host that does nothing.
    static SettingsContext& standard();
};
