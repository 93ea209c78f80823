#pragma once
// The stored OpenRouter key as the settings screens see it: whether one is stored, whether the
// service accepts a typed one, storing and removing it. The real service works through the
// AI labeller's key functions and secret item; tests substitute a fake.

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

struct AISettings;

class AIKeyService {
public:
    virtual ~AIKeyService() = default;

    // A key item is stored (its content is not judged). Main thread.
    virtual bool hasKey() = 0;
    // Asks the service about `key`: true accepted, false refused, nothing when unknown (no
    // answer, another status, stopped). Blocks; runs on a worker thread and returns soon after
    // `stop` is requested.
    virtual std::optional<bool> check(const std::string& key, std::stop_token stop) = 0;
    // Stores `key` in place of any stored one; false when the secret store refused it (the old
    // key then stays). Main thread.
    virtual bool save(const std::string& key) = 0;
    // Deletes the stored key; failures are ignored. Main thread.
    virtual void removeKey() = 0;

    // The service over the AI labeller's settings (a copy is kept).
    static std::unique_ptr<AIKeyService> make(const AISettings& settings);
};
