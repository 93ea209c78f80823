#include "settings/AIKeyService.h"

#include "forms/ai/JevLabeler.h"

namespace {

// Through the AI labeller's own key functions and secret item.
class JevKeyService : public AIKeyService {
public:
    explicit JevKeyService(AISettings settings) : settings_(std::move(settings)) {}

    bool hasKey() override { return JevLabeler::hasKey(settings_); }
    std::optional<bool> check(const std::string& key, std::stop_token stop) override {
        return JevLabeler::check(key, settings_, std::move(stop));
    }
    bool save(const std::string& key) override { return JevLabeler::save(key, settings_); }
    void removeKey() override { JevLabeler::removeKey(settings_); }

private:
    // Read-only after construction, so the check may read it on a worker thread.
    const AISettings settings_;
};

}  // namespace

std::unique_ptr<AIKeyService> AIKeyService::make(const AISettings& settings) {
    return std::make_unique<JevKeyService>(settings);
}
