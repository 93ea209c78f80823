#include "platform/ReducedMotion.h"

#include <gio/gio.h>

#include <cctype>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/Paths.h"

namespace {

constexpr const char* interfaceSchema = "org.gnome.desktop.interface";
constexpr const char* animationsKey = "enable-animations";
// kdeglobals is a short INI file; a longer line is not one of its settings.
constexpr std::size_t maxKdeLine = 4096;

std::mutex sourceMutex;
std::function<bool()>& source() {
    static std::function<bool()> current;
    return current;
}

// The GNOME interface settings, looked up once; null when the schema is not installed (reading a
// missing schema through g_settings_new would abort the process).
GSettings* interfaceSettings() {
    static GSettings* settings = [] () -> GSettings* {
        GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
        if (!schemas) return nullptr;
        GSettingsSchema* schema = g_settings_schema_source_lookup(schemas, interfaceSchema, TRUE);
        if (!schema) return nullptr;
        GSettings* made = nullptr;
        if (g_settings_schema_has_key(schema, animationsKey)) {
            made = g_settings_new_full(schema, nullptr, nullptr);
        }
        g_settings_schema_unref(schema);
        return made;
    }();
    return settings;
}

std::string trimmed(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// [KDE] AnimationDurationFactor=0 in $XDG_CONFIG_HOME/kdeglobals.
bool kdeAnimationsOff() {
    std::ifstream file(Paths::configHome() / "kdeglobals");
    if (!file) return false;
    std::string line;
    bool inKDE = false;
    while (std::getline(file, line)) {
        if (line.size() > maxKdeLine) continue;
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        if (text[0] == '[') {
            inKDE = text == "[KDE]";
            continue;
        }
        if (!inKDE) continue;
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) continue;
        if (trimmed(text.substr(0, equals)) != "AnimationDurationFactor") continue;
        const std::string value = trimmed(text.substr(equals + 1));
        try {
            std::size_t used = 0;
            const double factor = std::stod(value, &used);
            return used > 0 && factor == 0;
        } catch (...) {
            return false;
        }
    }
    return false;
}

}  // namespace

namespace ReducedMotion {

bool system() {
    if (GSettings* settings = interfaceSettings()) {
        if (!g_settings_get_boolean(settings, animationsKey)) return true;
    }
    return kdeAnimationsOff();
}

bool enabled() {
    std::function<bool()> current;
    {
        std::lock_guard lock(sourceMutex);
        current = source();
    }
    return current ? current() : system();
}

void setSource(std::function<bool()> source_) {
    std::lock_guard lock(sourceMutex);
    source() = std::move(source_);
}

}  // namespace ReducedMotion
