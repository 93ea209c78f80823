#pragma once
// Everything the AI labeller takes from the platform, gathered in one value so that tests inject
// it all: the user defaults (the switch), the secret store (the key), the environment, the
// service's base address, the call log's path, the time-outs and the in-flight cap.
// AISettings::standard() wires the running process's own.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class Defaults;
class SecretStore;

struct AISettings {
    // The value of an environment variable; nothing when it is not set.
    using Environment = std::function<std::optional<std::string>(const std::string& name)>;

    // The service used when neither the environment nor the defaults name another.
    static constexpr std::string_view standardBaseURL = "https://openrouter.ai";
    // Environment variable and defaults key that point the labeller at another service (tests).
    static constexpr std::string_view baseURLVariable = "TINDRA_AI_BASE_URL";
    static constexpr std::string_view baseURLDefaultsKey = "aiBaseURL";
    // Environment variable whose key overrides the stored one.
    static constexpr std::string_view keyVariable = "OPENROUTER_API_KEY";
    // A hostile form with thousands of fields must not open thousands of connections at once.
    static constexpr std::size_t standardMaxInFlight = 32;

    std::shared_ptr<Defaults> defaults;   // holds "formsAI" (and "aiBaseURL")
    std::shared_ptr<SecretStore> secrets; // holds the stored key
    Environment environment;              // the process environment; empty: nothing is set
    // The login name that accounts the stored key (the store addresses items by service and
    // account).
    std::string account;
    std::filesystem::path logPath;  // the AI call log
    // The key check gives up after this long without progress.
    std::chrono::milliseconds checkTimeout{15000};
    // A decisions request gives up after this long without progress.
    std::chrono::milliseconds decisionsTimeout{90000};
    std::size_t maxInFlight = standardMaxInFlight;

    // The process's own: Defaults::standard(), the desktop's Secret Service, getenv, the login
    // name of the effective user, Paths::aiLogFile().
    static AISettings standard();

    // The environment's value; nothing when unset or when no environment was given.
    std::optional<std::string> variable(const std::string& name) const;

    // The service's base address without a trailing "/": the environment's "TINDRA_AI_BASE_URL"
    // when set and not empty, else the defaults string "aiBaseURL" when not empty, else
    // "https://openrouter.ai".
    std::string baseURL() const;

    // The full address of `path` (which starts with "/") on the service, or nothing when the
    // base address may not be used: it must be https, or plain http to a loopback host
    // (127.0.0.1, ::1, localhost).
    std::optional<std::string> endpoint(std::string_view path) const;
};
