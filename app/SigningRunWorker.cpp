#include "app/SigningRun.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "app/OutputNames.h"
#include "forms/fill/FormFiller.h"
#include "pdf/PDFFile.h"
#include "platform/AtomicFile.h"
#include "platform/FileData.h"
#include "platform/Log.h"
#include "platform/PrivateFolder.h"
#include "platform/SystemError.h"
#include "platform/TemporaryFiles.h"
#include "signing/SignatureCopies.h"
#include "signing/SignatureLocator.h"

namespace fs = std::filesystem;

namespace SigningRun {

namespace {

// Prepared inputs hold the user's data: owner only.
constexpr unsigned preparedInputMode = 0600;

// The permission bits of a copy made from `file`: the file's own read and write bits (a copy of a
// private document holds the same data, form values and more), which the umask narrows further
// when the copy is created.
unsigned modeFrom(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return 0600;
    return static_cast<unsigned>(info.st_mode) & 0666;
}

// Takes away from the finished file every bit that `mode` does not give, whatever mode the engine
// created it with.
void narrowMode(const fs::path& file, unsigned mode) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) throw fs::filesystem_error(
        "stat", file, std::error_code(errno, std::generic_category()));
    const mode_t narrowed = info.st_mode & 07777 & mode;
    if (narrowed != (info.st_mode & 07777) && ::chmod(file.c_str(), narrowed) != 0)
        throw fs::filesystem_error("chmod", file, std::error_code(errno, std::generic_category()));
}

void removeQuietly(const fs::path& path) {
    if (path.empty()) return;
    std::error_code ignored;
    fs::remove(path, ignored);
    TemporaryFiles::remove(path);
}

// The temporary files of one file's turn, listed before they are made (a process killed
// meanwhile has them removed at the next start) and removed when the turn ends however it ends.
struct Temporaries {
    fs::path preparedInput;
    fs::path hiddenOutput;
    ~Temporaries() {
        removeQuietly(preparedInput);
        removeQuietly(hiddenOutput);
    }
    static void list(fs::path& slot, fs::path path) {
        TemporaryFiles::add(path);
        slot = std::move(path);
    }
    // The hidden output became the document: nothing to remove any more.
    void outputKept() {
        TemporaryFiles::remove(hiddenOutput);
        hiddenOutput.clear();
    }
};

// The private folder where prepared inputs go, made if missing.
void preparePrivateFolder(const fs::path& folder) {
    if (!PrivateFolder::make(folder))
        throw std::runtime_error("No se ha podido preparar la carpeta privada de los ficheros "
                                 "temporales, «" + folder.string() + "».");
}

[[noreturn]] void failWith(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

// The form values, then the copies, over the bytes of the file.
std::string prepare(const fs::path& file, const std::vector<FormFill>& fills,
                    const std::vector<SignatureCopy>& copies,
                    const std::optional<SignatureStamp>& stamp,
                    const std::optional<Handwriting>& handwriting, const Worker& worker) {
    std::string bytes = FileData::read(file);
    if (!fills.empty()) bytes = worker.fill(std::move(bytes), fills);
    return SignatureCopies::add(copies, stamp, handwriting, std::move(bytes));
}

std::string fileName(const fs::path& path) { return path.filename().string(); }

}  // namespace

Worker Worker::standard() {
    Worker worker;
    worker.fill = [](std::string pdf, const std::vector<FormFill>& fills) {
        return FormFiller::fill(std::move(pdf), fills);
    };
    worker.temporaryFolder = TemporaryFiles::preparedFolder();
    worker.log = [](std::string_view line) { Log::write(line); };
    worker.now = [] { return std::chrono::system_clock::now(); };
    return worker;
}

std::string progressText(std::size_t index, std::size_t count, const fs::path& file) {
    if (count == 1) return "Firmando «" + fileName(file) + "»…";
    return "Firmando " + std::to_string(index + 1) + " de " + std::to_string(count) + ": «" +
           fileName(file) + "»…";
}

std::optional<SignaturePlacement> bestPlacement(const fs::path& file,
                                                const Certificate& certificate) {
    try {
        PDFFile pdf(FileData::read(file));
        return SignatureLocator::best(
            SignatureLocator::placements(pdf, {}, SignatureLocator::Deadline(),
                                         SignatureLocator::Extent::untilSettled),
            &certificate);
    } catch (...) {
        // A file that does not open has no place; its signing reports the reason.
        return std::nullopt;
    }
}

std::string describe(const std::exception_ptr& error, const fs::path& file,
                     const fs::path& output) {
    // The temporary files mean nothing to the user: a sentence names the document being written
    // instead (the source when there is none).
    const std::string document = fileName(output.empty() ? file : output);
    try {
        std::rethrow_exception(error);
    } catch (const fs::filesystem_error& failure) {
        std::string named = fileName(failure.path1().empty() ? file : failure.path1());
        if (TemporaryFiles::isTemporaryName(named)) named = document;
        return "No se ha podido leer o escribir «" + named +
               "»: " + SystemError::describe(failure.code().value()) + ".";
    } catch (const std::bad_alloc&) {
        return "No hay memoria suficiente para este documento.";
    } catch (const std::runtime_error& failure) {
        // The engines' and the application's errors: a complete Spanish sentence.
        return TemporaryFiles::replaceTemporaryNames(failure.what(), document);
    } catch (...) {
        return "Error inesperado al firmar este documento.";
    }
}

std::string signedLogLine(const fs::path& output, std::size_t fills, std::size_t copies) {
    std::string line = "Firmado " + fileName(output);
    if (fills > 0) line += " con " + std::to_string(fills) + " campos rellenados";
    if (copies > 0) line += " y " + std::to_string(copies) + " copias de la firma";
    return line;
}

std::string savedLogLine(const fs::path& output, std::size_t fills, std::size_t copies) {
    std::string line = "Guardado sin firmar " + fileName(output) + " con " +
                       std::to_string(fills) + " campos rellenados";
    if (copies > 0) line += " y " + std::to_string(copies) + " firmas manuscritas";
    return line;
}

std::string failureTitle(bool someSigned) {
    return someSigned ? "Algunos PDF no se han podido firmar" : "No se ha podido firmar";
}

std::string failureText(const std::vector<std::pair<fs::path, std::string>>& failures) {
    std::string text;
    for (const auto& [file, sentence] : failures) {
        if (!text.empty()) text += "\n\n";
        text += "«" + fileName(file) + "»: " + sentence;
    }
    return text;
}

std::string noAutoFirmaText(const fs::path& defaultsFile) {
    return "Tindra está configurada para firmar con AutoFirma. Instálala desde "
           "firmaelectronica.gob.es o vuelve al motor propio quitando la clave «engine» de " +
           defaultsFile.string() + ".";
}

void writeNewFile(const fs::path& path, std::string_view bytes, unsigned mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) failWith("open", path, errno);
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(path.c_str());
        failWith("write", path, error);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(path.c_str());
        failWith("close", path, error);
    }
}

bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

Outcome signBatch(const std::vector<fs::path>& files, const SigningOptions& options,
                  const SigningEngine& engine, const std::optional<fs::path>& replacing,
                  const Worker& worker) {
    Outcome outcome;
    const std::size_t count = files.size();
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path& file = files[i];
        if (worker.progress) worker.progress(progressText(i, count, file));
        Temporaries temporaries;
        // The document being made, as a failure names it.
        fs::path document;
        try {
            // The signed copy being replaced, when it is still there and is not the source
            // itself (an edited recents entry could point both at one file).
            std::optional<fs::path> target;
            std::error_code missing;
            if (replacing && fs::exists(*replacing, missing) && !sameFile(*replacing, file))
                target = *replacing;
            document = target ? *target : signedCopy(file);

            std::optional<VisibleSignature> visible;
            std::optional<SignatureStamp> stamp;
            if (options.visible) {
                std::optional<SignaturePlacement> placement =
                    options.placement ? options.placement
                                      : bestPlacement(file, options.certificate);
                if (placement) {
                    stamp = SignatureStamp{options.certificate, worker.now(), options.showFullID,
                                           options.showBranding};
                    visible = VisibleSignature{*placement, *stamp};
                }
            }

            // Handwritten copies always; copies of the card only where the card is drawn.
            std::vector<SignatureCopy> copies;
            for (const SignatureCopy& copy : options.copies)
                if (copy.handwritten.value_or(false) || visible) copies.push_back(copy);

            fs::path input = file;
            if (!options.fills.empty() || !copies.empty()) {
                std::string prepared =
                    prepare(file, options.fills, copies, stamp, options.handwriting, worker);
                preparePrivateFolder(worker.temporaryFolder);
                Temporaries::list(temporaries.preparedInput,
                                  worker.temporaryFolder / ("tindra-" + AtomicFile::uuid() + ".pdf"));
                writeNewFile(temporaries.preparedInput, prepared, preparedInputMode);
                input = temporaries.preparedInput;
            }

            const fs::path folder = (target ? *target : file).parent_path();
            Temporaries::list(temporaries.hiddenOutput, OutputNames::hiddenTemporary(folder));
            // A new copy takes the source's bits, a replaced one keeps its own. The engine's
            // output is created with them (the own engine keeps the bits of the file it writes
            // over); the owner may write it meanwhile.
            const unsigned mode = modeFrom(target ? *target : file);
            writeNewFile(temporaries.hiddenOutput, {}, mode | 0200);
            engine.sign(input, temporaries.hiddenOutput, options.certificate, visible);
            fs::path output;
            if (target) {
                AtomicFile::replace(*target, temporaries.hiddenOutput);
                output = *target;
            } else {
                narrowMode(temporaries.hiddenOutput, mode);
                output = OutputNames::claim(temporaries.hiddenOutput, file, "firmado");
            }
            temporaries.outputKept();

            SigningRecord how;
            how.certificate = options.certificate.sha1;
            how.visible = options.visible;
            how.showFullID = options.showFullID;
            how.showBranding = options.showBranding;
            if (visible) {
                how.pageIndex = visible->placement.pageIndex;
                how.rect = visible->placement.rect;
            }
            how.fills = options.fills;
            if (!copies.empty()) how.copies = copies;

            outcome.signedFiles.push_back(output);
            outcome.results.push_back({output, file, std::move(how)});
            if (worker.log) worker.log(signedLogLine(output, options.fills.size(), copies.size()));
        } catch (...) {
            std::string sentence = describe(std::current_exception(), file, document);
            if (worker.log) worker.log("Error al firmar " + fileName(file) + ": " + sentence);
            outcome.failures.emplace_back(file, std::move(sentence));
        }
    }
    return outcome;
}

fs::path saveUnsigned(const fs::path& file, const SigningOptions& options, const Worker& worker) {
    Temporaries temporaries;
    fs::path document;
    try {
        document = filledCopy(file);
        std::string bytes =
            prepare(file, options.fills, options.copies, std::nullopt, options.handwriting, worker);
        Temporaries::list(temporaries.hiddenOutput, OutputNames::hiddenTemporary(file.parent_path()));
        writeNewFile(temporaries.hiddenOutput, bytes, modeFrom(file));
        fs::path output = OutputNames::claim(temporaries.hiddenOutput, file, "rellenado");
        temporaries.outputKept();
        return output;
    } catch (...) {
        throw std::runtime_error(describe(std::current_exception(), file, document));
    }
}

}  // namespace SigningRun
