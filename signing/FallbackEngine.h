#pragma once
// A pair of engines: the primary signs, and after most kinds of failure the fallback tries again.
// Four errors end the call at once with no second try: a refused key-access prompt, a PDF whose
// permissions forbid changes, a certified PDF and a PDF that needs an opening password. After any
// other error the failure is logged, the partial output removed and the fallback run; when it
// fails too, the caller gets the primary's error and the log the fallback's.

#include <exception>
#include <functional>
#include <string_view>

#include "signing/SigningEngine.h"

class FallbackEngine : public SigningEngine {
public:
    using LogSink = std::function<void(std::string_view)>;

    // `log` receives the engines' log lines (the application's log unless a test gives another).
    FallbackEngine(AnySigningEngine primary, AnySigningEngine fallback, LogSink log = {});

    // "<primary>, con <fallback> de respaldo".
    std::string name() const override;
    void sign(const std::filesystem::path& input, const std::filesystem::path& output,
              const Certificate& certificate,
              const std::optional<VisibleSignature>& visible) const override;

    // Whether an error is one of the four after which the fallback does not run.
    static bool endsWithoutRetry(const std::exception_ptr& error);

    AnySigningEngine primary;
    AnySigningEngine fallback;

private:
    LogSink log_;
};
