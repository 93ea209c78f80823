// The switch, the stored key and the key check.
#include "forms/ai/JevLabeler.h"

#include "forms/ai/AIText.h"

#include "platform/Defaults.h"
#include "platform/HTTPClient.h"
#include "platform/SecretStore.h"

bool JevLabeler::enabled(const AISettings& settings) {
    if (!settings.defaults) return true;
    const nlohmann::json value = settings.defaults->object(std::string(switchKey));
    return value.is_boolean() ? value.get<bool>() : true;
}

bool JevLabeler::setEnabled(bool on, const AISettings& settings) {
    if (!settings.defaults) return false;
    return settings.defaults->trySet(std::string(switchKey), on);
}

bool JevLabeler::hasKey(const AISettings& settings) {
    if (!settings.secrets) return false;
    try {
        // Looked up, not read: a locked keyring is not asked to open, and still has the key.
        return settings.secrets->lookUp(keyService, settings.account) == SecretRead::Status::found;
    } catch (...) {
        return false;
    }
}

bool JevLabeler::isOn(const AISettings& settings) {
    if (enabled(settings) && hasKey(settings)) return true;
    const auto variable = settings.variable(std::string(AISettings::keyVariable));
    return variable && !variable->empty();
}

std::optional<std::string> JevLabeler::key(const AISettings& settings) {
    if (auto variable = settings.variable(std::string(AISettings::keyVariable)); variable && !variable->empty()) {
        return variable;
    }
    if (!enabled(settings) || !settings.secrets) return std::nullopt;
    SecretRead read;
    try {
        read = settings.secrets->read(keyService, settings.account);
    } catch (...) {
        return std::nullopt;
    }
    if (read.status != SecretRead::Status::found || !AIText::isUTF8(read.data)) return std::nullopt;
    std::string key = AIText::trimmed(read.data);
    if (key.empty()) return std::nullopt;
    return key;
}

bool JevLabeler::save(const std::string& key, const AISettings& settings) {
    if (!settings.secrets) return false;
    try {
        // Replaced in place: a failed write leaves the old key where it was.
        settings.secrets->write(keyService, settings.account, keyLabel, key);
        return true;
    } catch (...) {
        return false;
    }
}

void JevLabeler::removeKey(const AISettings& settings) {
    if (!settings.secrets) return;
    try {
        settings.secrets->remove(keyService, settings.account);
    } catch (...) {
    }
}

std::optional<bool> JevLabeler::check(const std::string& key, const AISettings& settings,
                                      std::stop_token stop) {
    if (!AIText::fitsHeader(key)) return std::nullopt;
    const auto url = settings.endpoint(keyCheckPath);
    if (!url) return std::nullopt;
    HTTPRequest request;
    request.method = "GET";
    request.url = *url;
    request.headers = {{"Authorization", "Bearer " + key}};
    request.timeout = settings.checkTimeout;
    request.timeoutKind = HTTPRequest::Timeout::noProgress;
    const HTTPResponse response = HTTPClient::send(request, stop);
    if (!response.status) return std::nullopt;
    if (*response.status == 200) return true;
    if (*response.status == 401 || *response.status == 403) return false;
    return std::nullopt;
}
