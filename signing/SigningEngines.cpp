#include "signing/SigningEngines.h"

#include "platform/Preferences.h"
#include "signing/AutoFirmaEngine.h"
#include "signing/FallbackEngine.h"

namespace SigningEngines {

AnySigningEngine preferred() {
    try {
        auto autofirma = AutoFirma::locate();
        return preferred(Preferences::engine(), autofirma);
    } catch (...) {
        // Unreadable settings read as no preference; the choice itself cannot fail.
        return preferred(std::nullopt, std::nullopt);
    }
}

AnySigningEngine preferred(const std::optional<std::string>& engine,
                           const std::optional<AutoFirma::Installation>& autofirma,
                           const NativeEngine& native) {
    AnySigningEngine external;
    if (autofirma) external = std::make_shared<AutoFirmaEngine>(*autofirma);
    if (engine == "autofirma") return external;
    auto own = std::make_shared<NativeEngine>(native);
    if (engine == "nativo" || !external) return own;
    return std::make_shared<FallbackEngine>(own, external);
}

}  // namespace SigningEngines
