#include "signing/SigningEngines.h"

#include "platform/Preferences.h"
#include "signing/AutoFirmaEngine.h"
#include "signing/FallbackEngine.h"
#include "signing/NativeEngine.h"

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
                           const std::optional<AutoFirma::Installation>& autofirma) {
    AnySigningEngine external;
    if (autofirma) external = std::make_shared<AutoFirmaEngine>(*autofirma);
    if (engine == "autofirma") return external;
    if (engine == "nativo") return std::make_shared<NativeEngine>();
    if (external) return std::make_shared<FallbackEngine>(std::make_shared<NativeEngine>(), external);
    return std::make_shared<NativeEngine>();
}

}  // namespace SigningEngines
