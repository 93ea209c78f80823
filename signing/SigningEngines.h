#pragma once
// The choice of the engine for a signing run.

#include <filesystem>
#include <optional>
#include <string>

#include "signing/AutoFirma.h"
#include "signing/NativeEngine.h"
#include "signing/SigningEngine.h"

namespace SigningEngines {

// The engine for the preference "engine" and the installed AutoFirma (looked for on every call,
// before the preference is read). Nothing means "autofirma" is preferred and AutoFirma is not
// installed. Never throws.
AnySigningEngine preferred();

// The choice itself, compared case-sensitively:
//   "autofirma": AutoFirma, or nothing without it;
//   "nativo": the own engine;
//   anything else or nothing: the own engine with AutoFirma as its fallback, or the own engine
//   alone without AutoFirma.
// `native` is the own engine to use (the default store unless a caller such as a test tool names
// another).
AnySigningEngine preferred(const std::optional<std::string>& engine,
                           const std::optional<AutoFirma::Installation>& autofirma,
                           const NativeEngine& native = NativeEngine());

}  // namespace SigningEngines
