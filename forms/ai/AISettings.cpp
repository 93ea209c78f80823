#include "forms/ai/AISettings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include <curl/curl.h>

#include "platform/Defaults.h"
#include "platform/LibsecretStore.h"
#include "platform/Paths.h"

namespace {

// The login name of the effective user; "" when the password database does not know it.
std::string loginName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0 || size > (1 << 20)) size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name) {
        return {};
    }
    return found->pw_name;
}

bool isLoopback(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    for (char& c : host) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return host == "127.0.0.1" || host == "::1" || host == "localhost";
}

// Scheme and host of an absolute URL, as libcurl's URL parser reads it.
std::optional<std::pair<std::string, std::string>> schemeAndHost(const std::string& url) {
    CURLU* handle = curl_url();
    if (!handle) return std::nullopt;
    std::optional<std::pair<std::string, std::string>> result;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            result.emplace(scheme, host);
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(handle);
    return result;
}

}  // namespace

AISettings AISettings::standard() {
    AISettings settings;
    // The process's defaults live as long as the process: the pointer does not own them.
    settings.defaults = std::shared_ptr<Defaults>(&Defaults::standard(), [](Defaults*) {});
    settings.secrets = std::make_shared<LibsecretStore>();
    settings.environment = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (!value) return std::nullopt;
        return std::string(value);
    };
    settings.account = loginName();
    settings.logPath = Paths::aiLogFile();
    return settings;
}

std::optional<std::string> AISettings::variable(const std::string& name) const {
    if (!environment) return std::nullopt;
    return environment(name);
}

std::string AISettings::baseURL() const {
    std::string base;
    if (auto value = variable(std::string(baseURLVariable)); value && !value->empty()) {
        base = *value;
    } else if (defaults) {
        if (auto stored = defaults->string(std::string(baseURLDefaultsKey)); stored && !stored->empty()) {
            base = *stored;
        }
    }
    if (base.empty()) base = std::string(standardBaseURL);
    while (!base.empty() && base.back() == '/') base.pop_back();
    return base;
}

std::optional<std::string> AISettings::endpoint(std::string_view path) const {
    const std::string base = baseURL();
    for (unsigned char c : base) {
        if (c <= 0x20 || c == 0x7F) return std::nullopt;
    }
    const auto parts = schemeAndHost(base);
    if (!parts) return std::nullopt;
    const auto& [scheme, host] = *parts;
    if (scheme != "https" && !(scheme == "http" && isLoopback(host))) return std::nullopt;
    return base + std::string(path);
}
