#pragma once
// The work of a signing run that happens off the main thread: every file of a batch in turn is
// given its form values and signature copies, signed by the chosen engine and written beside its
// source (or over the signed copy being signed again); and the save-only road, which writes a
// filled copy without a signature. Plain functions over plain values: they touch no window and
// no application state, report progress through a callback and return what happened.
//
// Outputs are never written under a name chosen in advance: the engine writes a hidden
// ".tindra-UUID.pdf" in the destination folder, which then claims the first free numbered name
// without replacing anything (OutputNames::claim), or replaces the old signed copy in one rename.
// A new copy takes the permission bits of its source (narrowed by the umask); a replaced copy
// keeps its own.

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui/SigningRecord.h"
#include "document/SigningOptions.h"
#include "signing/SigningEngine.h"

namespace SigningRun {

// One signed file: the output written, its source and how it was signed.
struct Result {
    std::filesystem::path output;
    std::filesystem::path original;
    SigningRecord how;
};

// What a batch did, in batch order.
struct Outcome {
    std::vector<std::filesystem::path> signedFiles;
    std::vector<Result> results;
    std::vector<std::pair<std::filesystem::path, std::string>> failures;  // source, sentence
};

// What the worker needs from outside; defaults are the real ones.
struct Worker {
    // Writes form values into PDF bytes (FormFiller::fill).
    std::function<std::string(std::string, const std::vector<FormFill>&)> fill;
    // Where prepared inputs are written: a folder of the application's own, made private (0700).
    std::filesystem::path temporaryFolder;
    // The application's log.
    std::function<void(std::string_view)> log;
    // The signing time shown on the card.
    std::function<std::chrono::system_clock::time_point()> now;
    // Progress texts, called on the worker's thread.
    std::function<void(const std::string&)> progress;

    // FormFiller::fill, TemporaryFiles::preparedFolder(), Log::write, the system clock, no
    // progress.
    static Worker standard();
};

// Signs the files one after another; never throws. `replacing` is the signed copy a sign-again
// run replaces (it must still exist and must not be the source itself, else a new copy is made).
Outcome signBatch(const std::vector<std::filesystem::path>& files, const SigningOptions& options,
                  const SigningEngine& engine,
                  const std::optional<std::filesystem::path>& replacing, const Worker& worker);

// The save-only road: the filled copy of `file` ("-rellenado"), with the form values and every
// copy of the options (no card); returns the output. Throws with the sentence for the user.
std::filesystem::path saveUnsigned(const std::filesystem::path& file,
                                   const SigningOptions& options, const Worker& worker);

// "Firmando «a.pdf»…" for one file, "Firmando 2 de 4: «b.pdf»…" for several.
std::string progressText(std::size_t index, std::size_t count, const std::filesystem::path& file);

// The place for the visible signature in a file without a chosen placement: the locator's best
// candidate for the certificate; nothing when the file does not open as a PDF.
std::optional<SignaturePlacement> bestPlacement(const std::filesystem::path& file,
                                                const Certificate& certificate);

// The user's sentence for a failure while working on `file` to make `output` (the signed or filled
// copy; none when unknown): what() of the application's and engines' errors; file-system errors,
// lack of memory and anything else in words of their own. A temporary file is never named: the
// sentence names `output` (else `file`) in its place.
std::string describe(const std::exception_ptr& error, const std::filesystem::path& file,
                     const std::filesystem::path& output = {});

// The log lines of a signed and of a saved file.
std::string signedLogLine(const std::filesystem::path& output, std::size_t fills,
                          std::size_t copies);
std::string savedLogLine(const std::filesystem::path& output, std::size_t fills,
                         std::size_t copies);

// The outcome alert of a run with failures: "No se ha podido firmar" when nothing was signed,
// else "Algunos PDF no se han podido firmar"; one paragraph "«name»: sentence" per failure.
std::string failureTitle(bool someSigned);
std::string failureText(const std::vector<std::pair<std::filesystem::path, std::string>>& failures);

// The alert texts of a run that cannot start.
inline constexpr char noAutoFirmaTitle[] = "No se ha encontrado AutoFirma";
inline constexpr char noCertificatesTitle[] = "No hay certificados de firma";
inline constexpr char noCertificatesText[] =
    "No se ha encontrado ningún certificado vigente en el almacén de certificados.";
// Names the defaults file where the "engine" key can be removed.
std::string noAutoFirmaText(const std::filesystem::path& defaultsFile);

// Writes `bytes` into a new file (never an existing one) with the given permission bits.
// Throws std::filesystem::filesystem_error; a partial file is removed.
void writeNewFile(const std::filesystem::path& path, std::string_view bytes, unsigned mode);

// Whether two paths name the same file (device and inode); false when either is missing.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace SigningRun
