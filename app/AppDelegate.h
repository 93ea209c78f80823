#pragma once
// The application delegate: the one object that owns the application's top-level state (the
// files waiting to be signed, the running signing run, the windows) and carries out start-up,
// the launch decision, the arrival of files and the menu's application actions. Main thread only.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "app/AppServices.h"
#include "app/HomeWindow.h"
#include "app/RecentSignatures.h"
#include "app/WelcomeHandle.h"
#include "ui/HomeSection.h"
#include "ui/MenuAction.h"

class AboutWindow;
class QWidget;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppServices services = AppServices::standard(), QObject* parent = nullptr);
    ~AppDelegate() override;

    const AppServices& services() const { return services_; }

    // Start-up: the menu (before any window), then the launch steps and, 0.3 s later, the launch
    // decision (welcome or home window unless files arrived).
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // The launch decision itself (run by the delayed step).
    void decideLaunch();

    // Files and links handed to the application: absolute paths, file: URLs and tindra:// links;
    // `leftOut` more were left out before they reached the application (a large selection
    // handed over by another start).
    void open(const QStringList& items, std::size_t leftOut = 0);
    // A start of the application without files while it runs: shows the home window when no
    // window is visible and no run is busy. Always true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // The same, with the visibility of the application's windows found out.
    void reopen();

    // Arrival (PDFs only join `pending`; a run starts on the next pass). One arrival takes its
    // first maxArrival files; those past it, and `leftOut` left out before, are counted in
    // `pendingLeftOut` for the signing window to tell.
    void add(const std::vector<std::filesystem::path>& files, std::size_t leftOut = 0);
    static constexpr std::size_t maxArrival = 1000;
    // The open panel for PDFs to sign, in the folder of the files last chosen in it.
    void chooseFiles();
    // The user defaults key of that folder (a path).
    static constexpr char openPanelFolderKey[] = "openPanelFolder";

    // Windows and the menu's application actions.
    void showWelcome();
    void showHome(std::optional<HomeSection> section = std::nullopt);
    void signAgain(const RecentSignature& item);
    void showAbout();
    void perform(MenuAction action);
    bool canPerform(MenuAction action) const;
    // Ends the application: the event loop ends on its next pass whatever the windows say (a
    // busy run is abandoned), and the windows go with shutDown().
    void terminate();
    // The end of the event loop: the windows go, each stopping and joining its workers while the
    // application object still exists; later requests do nothing. Run by the destructor and at
    // the application's aboutToQuit, where, when a run's worker is still signing, the process
    // then ends at once, without the static destructors that thread may still be using.
    void shutDown();
    bool isShutDown() const { return shutDown_; }

    // Keeps `object` until the next pass of the event loop, or until shutDown() when the loop
    // ends first; the posted pass holds nothing of it, so nothing is destroyed while Qt clears
    // its queue of posted events.
    void releaseLater(std::shared_ptr<void> object);

    // The installed-copy test: the canonical executable folder starts with "/usr/", "/opt/" or the
    // home folder + "/.local/" (plain prefix test). A build tree is not installed.
    static bool isInstalledPath(const QString& executableFolder, const QString& home);

    // State.
    std::vector<std::filesystem::path> pending;  // PDFs waiting for a run, in arrival order
    std::size_t pendingLeftOut = 0;              // files of their arrivals that were left out
    bool busy = false;                           // a signing run is in progress
    std::unique_ptr<HomeWindow> home;
    std::unique_ptr<WelcomeHandle> welcome;
    bool installed = false;
    bool quickActionIsNew = false;
    std::optional<RecentSignature> again;  // the entry whose original is signed again
    QWidget* aboutWindow() const;

    // --- Signing run ---
    // Takes the whole pending list into a signing run (or waits while one is busy).
    void processPending();
    // Signs the batch on a worker thread behind the progress window; `replacing` is the signed
    // copy a sign-again run replaces.
    void sign(std::vector<std::filesystem::path> files, SigningOptions options,
              AnySigningEngine engine, std::optional<std::filesystem::path> replacing);
    // The save-only road: a filled copy of `file` without a signature.
    void save(std::filesystem::path file, SigningOptions options);
    // Ends a run: the next run, or the end of the application when no window is left.
    void finish();
    // Whether a run's worker thread is still working (signing or saving), in this process.
    static bool runsWorking();
    // For a process ending with runs still working: removes the temporary files they have in
    // flight (the hidden copies beside the documents, the prepared inputs) and keeps them from
    // making more. Called just before the process ends; takes a few milliseconds.
    static void abandonRuns();
    // The modal warning of a run that failed or cannot start.
    void showError(const QString& title, const QString& text);

    std::unique_ptr<SigningWindow> signingPanel;     // the open signing window of the run
    std::unique_ptr<ProgressWindow> progressWindow;  // the progress window of the run
    // --- end of signing run ---

private:
    void log(const std::string& line) const;
    void collectReleased();

    AppServices services_;
    std::unique_ptr<AboutWindow> about_;
    std::vector<std::shared_ptr<void>> released_;
    bool collectPosted_ = false;
    bool shutDown_ = false;
};
