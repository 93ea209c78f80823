#pragma once
// Typed access to the application's settings in the user defaults.
// Each accessor has a form on the process's standard defaults and one on given defaults (tests).

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Defaults.h"

namespace Preferences {

// The certificate chosen last ("lastCertificateSHA1").
std::optional<std::string> lastCertificate(const Defaults& d = Defaults::standard());
void setLastCertificate(const std::optional<std::string>& sha1, Defaults& d = Defaults::standard());

// Boolean settings; false when absent.
bool showFullID(const Defaults& d = Defaults::standard());
void setShowFullID(bool value, Defaults& d = Defaults::standard());
bool fillForms(const Defaults& d = Defaults::standard());
void setFillForms(bool value, Defaults& d = Defaults::standard());
bool welcomeShown(const Defaults& d = Defaults::standard());
void setWelcomeShown(bool value, Defaults& d = Defaults::standard());
bool formsWelcomeShown(const Defaults& d = Defaults::standard());
void setFormsWelcomeShown(bool value, Defaults& d = Defaults::standard());

// True unless a Boolean (or a number 0 or 1) says otherwise.
bool showBranding(const Defaults& d = Defaults::standard());
void setShowBranding(bool value, Defaults& d = Defaults::standard());

// The signing engine the user asked for ("engine"), set outside the application by editing the
// defaults file; read-only here. Absent when the key is absent or holds no string.
std::optional<std::string> engine(const Defaults& d = Defaults::standard());

// The defaults of the earlier product, read once by the migration.
std::filesystem::path previousProductDefaultsFile();

// Copies "lastCertificateSHA1", "showFullID", "showBranding" and "engine" from the earlier
// product's defaults, once: the marker "migratedFromVarenne" is stored first, and a key the
// application already has is never overwritten.
void migrateFromPreviousName(Defaults& d = Defaults::standard(),
                             const std::filesystem::path& previous = previousProductDefaultsFile());

}  // namespace Preferences
