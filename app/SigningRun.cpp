// The signing run on the application delegate: from the pending files to the signing window,
// the batch on a worker thread behind the progress window, and the outcome on the main thread.
#include "app/AppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "app/SigningRun.h"
#include "ui/AlertPresenter.h"
#include "ui/RevealPresenter.h"
#include "ui/RunLoop.h"
#include "ui/URLPresenter.h"
#include "forms/fill/FormFiller.h"
#include "platform/LibsecretStore.h"
#include "platform/Preferences.h"
#include "platform/TemporaryFiles.h"
#include "profile/ProfileStore.h"
#include "signing/SigningEngines.h"

namespace fs = std::filesystem;

namespace {

constexpr char profileWarningTitle[] = "No se han podido guardar tus datos";

QString qs(const std::string& text) { return QString::fromStdString(text); }

void logLine(const AppServices& services, const std::string& line) {
    if (services.log) services.log(line);
}

AnySigningEngine chooseEngine(const AppServices& services) {
    if (services.engine) return services.engine();
    std::shared_ptr<KeyPasswordPresenter> presenter = services.keyPasswords;
    if (!presenter) presenter = std::make_shared<DialogKeyPasswordPresenter>();
    return SigningEngines::preferred(Preferences::engine(*services.defaults), AutoFirma::locate(),
                                     NativeEngine(std::nullopt, KeyPasswordPresenter::prompt(presenter)));
}

SigningRun::Worker makeWorker(const AppServices& services) {
    SigningRun::Worker worker = SigningRun::Worker::standard();
    if (services.fill) worker.fill = services.fill;
    if (!services.temporaryFolder.empty()) worker.temporaryFolder = services.temporaryFolder;
    if (services.log) worker.log = services.log;
    return worker;
}

// Saves the facts to remember; the sentence of the failure, if any.
std::optional<std::string> saveFacts(const AppServices& services,
                                     const std::vector<SavedFact>& facts) {
    try {
        if (services.saveFacts) {
            services.saveFacts(facts);
        } else {
            LibsecretStore store;
            ProfileStore::save(store, facts);
        }
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

std::string standardized(const fs::path& path) {
    std::error_code ignored;
    fs::path absolute = path.is_absolute() ? path : fs::absolute(path, ignored);
    return (absolute.empty() ? path : absolute).lexically_normal().string();
}

ProgressWindow::Actions progressActions(const AppServices& services) {
    RevealPresenter* reveal = services.reveal;
    URLPresenter* urls = services.urls;
    return {[reveal](const std::vector<fs::path>& files) {
                if (reveal) reveal->reveal(files);
            },
            [urls](const fs::path& file) {
                if (urls) urls->open(QUrl::fromLocalFile(qs(file.string())));
            }};
}

// The signing window's answer.
void answered(AppDelegate& delegate, const std::vector<fs::path>& batch,
              const AnySigningEngine& engine, const std::optional<RecentSignature>& matched,
              std::optional<SigningOptions> options) {
    // The window may be the caller of its own completion: it goes on a later pass.
    delegate.releaseLater(std::move(delegate.signingPanel));
    if (!options) {
        delegate.finish();
        return;
    }
    if (options->unsignedCopy) {
        delegate.save(batch.front(), std::move(*options));
        return;
    }
    Preferences::setLastCertificate(options->certificate.sha1, *delegate.services().defaults);
    std::optional<fs::path> replacing;
    if (matched) replacing = matched->url();
    delegate.sign(batch, std::move(*options), engine, replacing);
}

// The progress window shows the files written; a warning follows when the facts to remember
// could not be saved. The run ends when the window closes.
void showCompleted(AppDelegate& delegate, const std::vector<fs::path>& outputs,
                   const std::optional<std::string>& profileError) {
    QPointer<AppDelegate> self(&delegate);
    ProgressWindow* progress = delegate.progressWindow.get();
    if (!progress) {
        delegate.finish();
        return;
    }
    progress->complete(outputs);
    if (profileError) {
        delegate.showError(profileWarningTitle, qs(*profileError));
        if (!self) return;
    }
    // The window may have closed by itself while the warning was up, before its onClose was
    // set: the run ends here then.
    if (progress->isClosed()) {
        delegate.finish();
        return;
    }
    progress->onClose = [self] {
        if (self) self->finish();
    };
}

// The end of a batch, on the main thread.
void completed(AppDelegate& delegate, const SigningRun::Outcome& outcome,
               const SigningOptions& options) {
    const AppServices& services = delegate.services();
    std::optional<std::string> profileError;
    if (!outcome.signedFiles.empty() && !options.remember.empty())
        profileError = saveFacts(services, options.remember);
    for (const SigningRun::Result& result : outcome.results)
        RecentSignatures::add(result.output, options.certificate.holder, result.original,
                              result.how, *services.defaults);
    if (delegate.home) delegate.home->reload();

    QPointer<AppDelegate> self(&delegate);
    if (outcome.failures.empty()) {
        showCompleted(delegate, outcome.signedFiles, profileError);
        return;
    }
    if (delegate.progressWindow) delegate.progressWindow->close();
    delegate.showError(qs(SigningRun::failureTitle(!outcome.signedFiles.empty())),
                       qs(SigningRun::failureText(outcome.failures)));
    if (!self) return;
    if (profileError) delegate.showError(profileWarningTitle, qs(*profileError));
    if (!outcome.signedFiles.empty() && services.reveal) services.reveal->reveal(outcome.signedFiles);
    delegate.finish();
}

// Workers still running. A worker counts until everything it holds is gone, so once the count
// is zero no worker touches the application any more.
std::atomic<int> workingRuns{0};

void runCounted(std::function<void()> work) {
    work();
    work = nullptr;
    workingRuns.fetch_sub(1);
}

// Runs the work on a thread of its own; when the system refuses a thread, on this one (the window
// then waits, but the run still ends and reports).
void startWorker(std::function<void()> work) {
    workingRuns.fetch_add(1);
    try {
        std::thread(runCounted, work).detach();
    } catch (const std::system_error&) {
        runCounted(std::move(work));
    }
}

std::unique_ptr<ProgressWindow> makeProgressWindow(const AppServices& services) {
    auto window = std::make_unique<ProgressWindow>(progressActions(services));
    window->setAutoCloseDelay(services.progressAutoClose);
    return window;
}

}  // namespace

void AppDelegate::processPending() {
    if (busy || pending.empty()) return;
    std::vector<fs::path> batch = std::move(pending);
    pending.clear();
    const std::size_t received = batch.size() + std::exchange(pendingLeftOut, 0);
    busy = true;
    bringToFront();

    AnySigningEngine engine = chooseEngine(services_);
    if (!engine) {
        showError(SigningRun::noAutoFirmaTitle,
                  qs(SigningRun::noAutoFirmaText(services_.defaults->file())));
        finish();
        return;
    }
    log("Motor de firma: " + engine->name());

    std::vector<Certificate> certificates =
        services_.certificates ? services_.certificates() : Certificate::signingCertificates();
    if (certificates.empty()) {
        showError(SigningRun::noCertificatesTitle, SigningRun::noCertificatesText);
        finish();
        return;
    }

    std::optional<RecentSignature> matched;
    if (again && batch.size() == 1) {
        std::optional<fs::path> original = again->originalURL();
        if (original && RecentSignatures::samePath(standardized(batch.front()),
                                                   standardized(*original)))
            matched = again;
    }
    again.reset();
    std::optional<SigningRecord> previous = matched ? matched->how : std::nullopt;
    std::optional<std::string> replacingName;
    if (matched) replacingName = matched->url().filename().string();

    if (services_.signingWindow)
        signingPanel =
            services_.signingWindow(certificates, batch, previous, replacingName, received);
    if (!signingPanel) {
        // No window to ask: as if it was closed at once.
        finish();
        return;
    }
    QPointer<AppDelegate> self(this);
    signingPanel->begin([self, batch, engine, matched](std::optional<SigningOptions> options) {
        if (self) answered(*self, batch, engine, matched, std::move(options));
    });
}

void AppDelegate::sign(std::vector<fs::path> files, SigningOptions options,
                       AnySigningEngine engine, std::optional<fs::path> replacing) {
    progressWindow = makeProgressWindow(services_);
    progressWindow->show();

    SigningRun::Worker worker = makeWorker(services_);
    QPointer<ProgressWindow> progress(progressWindow.get());
    worker.progress = [progress](const std::string& text) {
        onMainRunLoop(0, [progress, text] {
            if (progress) progress->update(qs(text));
        });
    };
    QPointer<AppDelegate> self(this);
    // The worker owns copies of everything it uses and touches no state of the delegate.
    startWorker([self, files = std::move(files), options = std::move(options),
                 engine = std::move(engine), replacing = std::move(replacing),
                 worker = std::move(worker)] {
        SigningRun::Outcome outcome =
            SigningRun::signBatch(files, options, *engine, replacing, worker);
        onMainRunLoop(0, [self, outcome = std::move(outcome), options] {
            if (self) completed(*self, outcome, options);
        });
    });
}

void AppDelegate::save(fs::path file, SigningOptions options) {
    progressWindow = makeProgressWindow(services_);
    progressWindow->setTask(ProgressWindow::Task::saving);
    progressWindow->update("Guardando «" + qs(file.filename().string()) + "»…");
    progressWindow->show();

    SigningRun::Worker worker = makeWorker(services_);
    QPointer<AppDelegate> self(this);
    startWorker([self, file = std::move(file), options = std::move(options),
                 worker = std::move(worker)] {
        std::optional<fs::path> output;
        std::string failure;
        try {
            output = SigningRun::saveUnsigned(file, options, worker);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        onMainRunLoop(0, [self, file, output, failure, options] {
            if (!self) return;
            AppDelegate& delegate = *self;
            const std::string name = file.filename().string();
            if (!output) {
                logLine(delegate.services(), "Error al guardar " + name + ": " + failure);
                if (delegate.progressWindow) delegate.progressWindow->close();
                delegate.showError("No se ha podido guardar", qs("«" + name + "»: " + failure));
                if (self) self->finish();
                return;
            }
            logLine(delegate.services(), SigningRun::savedLogLine(*output, options.fills.size(),
                                                                  options.copies.size()));
            std::optional<std::string> profileError;
            if (!options.remember.empty())
                profileError = saveFacts(delegate.services(), options.remember);
            showCompleted(delegate, {*output}, profileError);
        });
    });
}

bool AppDelegate::runsWorking() { return workingRuns.load() > 0; }

void AppDelegate::abandonRuns() {
    // Every file a worker writes under a temporary name is listed before it is created, and
    // workers are held at their next listing from here on. One listed just before may be created
    // a moment after the first sweep: the second finds it.
    TemporaryFiles::removeInFlight();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    TemporaryFiles::removeInFlight();
}

void AppDelegate::finish() {
    busy = false;
    // Released on a later pass: this may run inside one of the window's own button handlers.
    releaseLater(std::move(progressWindow));
    if (!pending.empty()) {
        processPending();
        return;
    }
    if (!home && !welcome) terminate();
}

void AppDelegate::showError(const QString& title, const QString& text) {
    bringToFront();
    AlertPresenter::Alert alert;
    alert.style = AlertPresenter::Style::warning;
    alert.title = title;
    alert.text = text;
    services_.alerts->show(alert);
}
