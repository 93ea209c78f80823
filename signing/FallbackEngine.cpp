#include "signing/FallbackEngine.h"

#include "pdf/PDFSecurity.h"
#include "platform/Log.h"
#include "signing/PDFSigner.h"
#include "signing/SigningIdentity.h"

namespace {

std::string describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "error desconocido";
    }
}

}  // namespace

FallbackEngine::FallbackEngine(AnySigningEngine primary, AnySigningEngine fallback, LogSink log)
    : primary(std::move(primary)), fallback(std::move(fallback)), log_(std::move(log)) {
    if (!log_) log_ = [](std::string_view line) { Log::write(line); };
}

std::string FallbackEngine::name() const {
    return primary->name() + ", con " + fallback->name() + " de respaldo";
}

bool FallbackEngine::endsWithoutRetry(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const SigningIdentity::Error& e) {
        return e.cancelled;
    } catch (const PDFSigner::Failure& e) {
        return e.kind() == PDFSigner::Failure::Kind::restricted ||
               e.kind() == PDFSigner::Failure::Kind::certified;
    } catch (const PDFSecurity::Failure& e) {
        return e.kind() == PDFSecurity::Failure::Kind::needsPassword;
    } catch (...) {
        return false;
    }
}

void FallbackEngine::sign(const std::filesystem::path& input, const std::filesystem::path& output,
                          const Certificate& certificate,
                          const std::optional<VisibleSignature>& visible) const {
    std::exception_ptr first;
    try {
        primary->sign(input, output, certificate, visible);
        return;
    } catch (...) {
        first = std::current_exception();
    }
    if (endsWithoutRetry(first)) std::rethrow_exception(first);

    log_("El motor " + primary->name() + " no ha podido firmar «" + input.filename().string() +
         "» (" + describe(first) + "); se reintenta con " + fallback->name());
    SigningEngine::removeOutput(input, output);
    try {
        fallback->sign(input, output, certificate, visible);
    } catch (...) {
        log_(fallback->name() + " tampoco ha podido: " + describe(std::current_exception()));
        std::rethrow_exception(first);
    }
    log_("Firmado con " + fallback->name() + " tras el fallo del motor " + primary->name());
}
