#include "platform/Preferences.h"

#include "platform/Paths.h"

namespace Preferences {
namespace {

constexpr char kLastCertificate[] = "lastCertificateSHA1";
constexpr char kShowFullID[] = "showFullID";
constexpr char kShowBranding[] = "showBranding";
constexpr char kFillForms[] = "fillForms";
constexpr char kWelcomeShown[] = "welcomeShown";
constexpr char kFormsWelcomeShown[] = "formsWelcomeShown";
constexpr char kEngine[] = "engine";
constexpr char kMigrated[] = "migratedFromVarenne";
constexpr char kPreviousSuite[] = "es.calverin.Varenne";

}  // namespace

std::optional<std::string> lastCertificate(const Defaults& d) { return d.string(kLastCertificate); }

void setLastCertificate(const std::optional<std::string>& sha1, Defaults& d) {
    d.trySet(kLastCertificate, sha1 ? nlohmann::json(*sha1) : nlohmann::json());
}

bool showFullID(const Defaults& d) { return d.boolean(kShowFullID); }
void setShowFullID(bool value, Defaults& d) { d.trySet(kShowFullID, value); }
bool fillForms(const Defaults& d) { return d.boolean(kFillForms); }
void setFillForms(bool value, Defaults& d) { d.trySet(kFillForms, value); }
bool welcomeShown(const Defaults& d) { return d.boolean(kWelcomeShown); }
void setWelcomeShown(bool value, Defaults& d) { d.trySet(kWelcomeShown, value); }
bool formsWelcomeShown(const Defaults& d) { return d.boolean(kFormsWelcomeShown); }
void setFormsWelcomeShown(bool value, Defaults& d) { d.trySet(kFormsWelcomeShown, value); }

bool showBranding(const Defaults& d) {
    auto value = d.object(kShowBranding);
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number_integer() || value.is_number_unsigned()) {
        auto n = value.get<std::int64_t>();
        if (n == 0 || n == 1) return n == 1;
    } else if (value.is_number_float()) {
        double n = value.get<double>();
        if (n == 0.0 || n == 1.0) return n == 1.0;
    }
    return true;
}

void setShowBranding(bool value, Defaults& d) { d.trySet(kShowBranding, value); }

std::optional<std::string> engine(const Defaults& d) { return d.string(kEngine); }

std::filesystem::path previousProductDefaultsFile() {
    return Paths::configHome() / kPreviousSuite / "defaults.json";
}

void migrateFromPreviousName(Defaults& d, const std::filesystem::path& previous) {
    if (d.boolean(kMigrated)) return;
    d.trySet(kMigrated, true);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(previous, ec)) return;
    Defaults old(previous);
    for (const char* key : {kLastCertificate, kShowFullID, kShowBranding, kEngine}) {
        if (d.contains(key)) continue;
        auto value = old.object(key);
        if (!value.is_null()) d.trySet(key, value);
    }
}

}  // namespace Preferences
