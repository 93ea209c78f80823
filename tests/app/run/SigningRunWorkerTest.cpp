// The per-file work of a signing run with fake engines: names, temporary files, copies, records,
// sign-again replacement and the sentences of failures.
#include "app/OutputNames.h"
#include "app/SigningRun.h"

#include <QString>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "RunFakes.h"
#include "platform/TemporaryFiles.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

namespace fs = std::filesystem;

namespace {

ino_t inode(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class SigningRunWorkerTest : public ::testing::Test {
protected:
    testutil::TempDir folder;
    testutil::TempDir temporary;
    std::vector<std::string> log;
    std::vector<std::string> progress;
    std::vector<std::vector<FormFill>> filled;
    SigningRun::Worker worker = [this] {
        SigningRun::Worker w = SigningRun::Worker::standard();
        w.temporaryFolder = temporary.path();
        w.log = [this](std::string_view line) { log.emplace_back(line); };
        w.progress = [this](const std::string& text) { progress.push_back(text); };
        w.fill = [this](std::string pdf, const std::vector<FormFill>& fills) {
            filled.push_back(fills);
            return pdf;
        };
        return w;
    }();

    fs::path pdf(const std::string& name, int pages = 1) {
        fs::path path = folder / name;
        testutil::writeFile(path, fixtures::textPDF(pages));
        return path;
    }
};

FormFill fill(const std::string& name) {
    FormFill f;
    f.name = name;
    f.rect = {10, 10, 100, 20};
    f.text = "x";
    return f;
}

}  // namespace

TEST(OutputNamesTest, NamesFollowTheSourceWithTheLowerCaseExtension) {
    testutil::TempDir folder;
    fs::path source = folder / "Solicitud.pdf";
    EXPECT_EQ(signedCopy(source), folder / "Solicitud-firmado.pdf");
    testutil::writeFile(folder / "Solicitud-firmado.pdf", "x");
    EXPECT_EQ(signedCopy(source), folder / "Solicitud-firmado-2.pdf");
    testutil::writeFile(folder / "Solicitud-firmado-2.pdf", "x");
    EXPECT_EQ(signedCopy(source), folder / "Solicitud-firmado-3.pdf");
    EXPECT_EQ(signedCopy(folder / "informe.PDF"), folder / "informe-firmado.pdf");
    EXPECT_EQ(filledCopy(source), folder / "Solicitud-rellenado.pdf");
}

TEST(OutputNamesTest, ClaimingNeverReplacesAFile) {
    testutil::TempDir folder;
    fs::path source = folder / "x.pdf";
    fs::path hidden = OutputNames::hiddenTemporary(folder.path());
    EXPECT_TRUE(hidden.filename().string().starts_with(".tindra-"));
    testutil::writeFile(hidden, "nuevo");
    testutil::writeFile(folder / "x-firmado.pdf", "viejo");
    EXPECT_FALSE(OutputNames::moveWithoutReplacing(hidden, folder / "x-firmado.pdf"));
    EXPECT_TRUE(fs::exists(hidden));
    EXPECT_EQ(OutputNames::claim(hidden, source, "firmado"), folder / "x-firmado-2.pdf");
    EXPECT_EQ(testutil::readFile(folder / "x-firmado.pdf"), "viejo");
    EXPECT_EQ(testutil::readFile(folder / "x-firmado-2.pdf"), "nuevo");
    EXPECT_FALSE(fs::exists(hidden));
}

TEST_F(SigningRunWorkerTest, AFileWithoutValuesOrCopiesGoesToTheEngineDirectly) {
    fs::path a = pdf("a.pdf"), b = pdf("informe.PDF");
    testutil::writeFile(folder / "informe-firmado.pdf", "ocupado");
    FakeEngine engine;
    SigningRun::Outcome outcome = SigningRun::signBatch({a, b}, testOptions(), engine, std::nullopt, worker);
    ASSERT_EQ(engine.calls.size(), 2u);
    EXPECT_EQ(engine.calls[0].input, a);
    EXPECT_EQ(engine.calls[0].output.parent_path(), folder.path());
    EXPECT_TRUE(engine.calls[0].output.filename().string().starts_with(".tindra-"));
    EXPECT_EQ(outcome.signedFiles, (std::vector<fs::path>{folder / "a-firmado.pdf",
                                                          folder / "informe-firmado-2.pdf"}));
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_EQ(progress, (std::vector<std::string>{"Firmando 1 de 2: «a.pdf»…",
                                                  "Firmando 2 de 2: «informe.PDF»…"}));
    EXPECT_EQ(log, (std::vector<std::string>{"Firmado a-firmado.pdf",
                                             "Firmado informe-firmado-2.pdf"}));
    EXPECT_TRUE(fs::is_empty(temporary.path()));
    EXPECT_EQ(namesIn(folder.path()),
              (std::vector<std::string>{"a-firmado.pdf", "a.pdf", "informe-firmado-2.pdf",
                                        "informe-firmado.pdf", "informe.PDF"}));
    EXPECT_EQ(SigningRun::progressText(0, 1, a), "Firmando «a.pdf»…");
}

TEST_F(SigningRunWorkerTest, PreparedInputIsPrivateAndRemovedAndTheRecordHoldsTheValues) {
    fs::path a = pdf("a.pdf");
    SigningOptions options = testOptions(false);
    options.fills = {fill("uno"), fill("dos"), fill("tres")};
    options.copies = {{0, {1, 1, 50, 20}, true}, {0, {1, 60, 50, 20}, std::nullopt}};
    FakeEngine engine;
    mode_t mode = 0;
    engine.before = [&](const fs::path& input, const fs::path&) {
        struct stat info {};
        ::stat(input.c_str(), &info);
        mode = info.st_mode & 0777;
    };
    SigningRun::Outcome outcome = SigningRun::signBatch({a}, options, engine, std::nullopt, worker);
    ASSERT_EQ(outcome.results.size(), 1u);
    ASSERT_EQ(engine.calls.size(), 1u);
    EXPECT_EQ(engine.calls[0].input.parent_path(), temporary.path());
    EXPECT_TRUE(engine.calls[0].input.filename().string().starts_with("tindra-"));
    EXPECT_EQ(mode, 0600u);
    EXPECT_TRUE(fs::is_empty(temporary.path()));
    ASSERT_EQ(filled.size(), 1u);
    EXPECT_EQ(filled[0].size(), 3u);
    // Invisible: the card copy is dropped, the handwritten one kept; no placement recorded.
    const SigningRecord& how = outcome.results[0].how;
    EXPECT_EQ(how.certificate, testCertificate().sha1);
    EXPECT_FALSE(how.pageIndex);
    EXPECT_FALSE(how.rect);
    ASSERT_TRUE(how.copies);
    EXPECT_EQ(how.copies->size(), 1u);
    EXPECT_TRUE(how.copies->front().handwritten.value_or(false));
    EXPECT_EQ(how.fills, options.fills);
    EXPECT_EQ(log.back(), "Firmado a-firmado.pdf con 3 campos rellenados y 1 copias de la firma");
    EXPECT_EQ(SigningRun::signedLogLine("b-firmado.pdf", 0, 2), "Firmado b-firmado.pdf y 2 copias de la firma");
}

TEST_F(SigningRunWorkerTest, VisibleWithoutPlacementFindsOneOrSignsAFileThatDoesNotOpenWithoutCard) {
    fs::path a = pdf("a.pdf");
    fs::path broken = folder / "roto.pdf";
    testutil::writeFile(broken, "no es un PDF");
    SigningOptions options = testOptions(true);
    options.copies = {{0, {1, 60, 50, 20}, std::nullopt}};
    FakeEngine engine;
    SigningRun::Outcome outcome = SigningRun::signBatch({a, broken}, options, engine, std::nullopt, worker);
    ASSERT_EQ(engine.calls.size(), 2u);
    ASSERT_TRUE(engine.calls[0].visible);
    EXPECT_EQ(engine.calls[0].visible->placement.pageIndex, 0);
    EXPECT_EQ(engine.calls[0].visible->stamp.certificate.sha1, testCertificate().sha1);
    ASSERT_EQ(outcome.results.size(), 2u);
    EXPECT_EQ(outcome.results[0].how.pageIndex, 0);
    EXPECT_EQ(outcome.results[0].how.rect, engine.calls[0].visible->placement.rect);
    ASSERT_TRUE(outcome.results[0].how.copies);
    // The file that does not open: no card, so its card copy goes too and it reaches the engine
    // as it is.
    EXPECT_FALSE(engine.calls[1].visible);
    EXPECT_EQ(engine.calls[1].input, broken);
    EXPECT_FALSE(outcome.results[1].how.copies);
    EXPECT_FALSE(outcome.results[1].how.pageIndex);
}

TEST_F(SigningRunWorkerTest, EveryFailureIsListedWithItsSentenceAndNothingIsLeft) {
    fs::path a = pdf("a.pdf"), b = pdf("b.pdf");
    fs::path missing = folder / "falta.pdf";
    SigningOptions options = testOptions();
    options.fills = {fill("uno")};
    ThrowingEngine engine;
    SigningRun::Outcome outcome =
        SigningRun::signBatch({a, missing, b}, options, engine, std::nullopt, worker);
    EXPECT_TRUE(outcome.signedFiles.empty());
    ASSERT_EQ(outcome.failures.size(), 3u);
    EXPECT_EQ(outcome.failures[0].second, "El motor de prueba ha fallado.");
    EXPECT_EQ(outcome.failures[1].first, missing);
    EXPECT_EQ(outcome.failures[1].second, "No se ha podido leer «falta.pdf»: no existe.");
    EXPECT_EQ(log[0], "Error al firmar a.pdf: El motor de prueba ha fallado.");
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"a.pdf", "b.pdf"}));
    EXPECT_TRUE(fs::is_empty(temporary.path()));
}

TEST_F(SigningRunWorkerTest, ANameTakenWhileSigningMovesOnToTheNextCounter) {
    fs::path x = pdf("x.pdf");
    FakeEngine engine;
    engine.before = [&](const fs::path&, const fs::path&) {
        testutil::writeFile(folder / "x-firmado.pdf", "de otro programa");
    };
    SigningRun::Outcome outcome = SigningRun::signBatch({x}, testOptions(), engine, std::nullopt, worker);
    ASSERT_EQ(outcome.signedFiles.size(), 1u);
    EXPECT_EQ(outcome.signedFiles[0], folder / "x-firmado-2.pdf");
    EXPECT_EQ(testutil::readFile(folder / "x-firmado.pdf"), "de otro programa");
}

TEST_F(SigningRunWorkerTest, SignAgainReplacesInPlaceOnlyWhenItCan) {
    fs::path a = pdf("a.pdf");
    fs::path copy = folder / "a-firmado.pdf";
    testutil::writeFile(copy, "copia vieja");
    ino_t before = inode(copy);

    // A failing engine leaves the old copy as it was.
    ThrowingEngine broken;
    SigningRun::Outcome failed = SigningRun::signBatch({a}, testOptions(), broken, copy, worker);
    EXPECT_EQ(failed.failures.size(), 1u);
    EXPECT_EQ(testutil::readFile(copy), "copia vieja");

    FakeEngine engine;
    SigningRun::Outcome outcome = SigningRun::signBatch({a}, testOptions(), engine, copy, worker);
    ASSERT_EQ(outcome.signedFiles, std::vector<fs::path>{copy});
    EXPECT_NE(inode(copy), before);
    EXPECT_NE(testutil::readFile(copy), "copia vieja");
    EXPECT_TRUE(engine.calls[0].output.filename().string().starts_with(".tindra-"));

    // A replaced copy that is gone: a new copy beside the source.
    fs::remove(copy);
    outcome = SigningRun::signBatch({a}, testOptions(), engine, copy, worker);
    EXPECT_EQ(outcome.signedFiles, std::vector<fs::path>{copy});

    // The source itself named as the copy to replace: never written, a new copy instead.
    std::string source = testutil::readFile(a);
    outcome = SigningRun::signBatch({a}, testOptions(), engine, a, worker);
    EXPECT_EQ(outcome.signedFiles, std::vector<fs::path>{folder / "a-firmado-2.pdf"});
    EXPECT_EQ(testutil::readFile(a), source);
    for (const auto& name : namesIn(folder.path())) EXPECT_FALSE(name.starts_with(".tindra-"));
}

TEST_F(SigningRunWorkerTest, SaveOnlyWritesTheFilledCopy) {
    fs::path a = pdf("a.pdf");
    testutil::writeFile(folder / "a-rellenado.pdf", "ya estaba");
    SigningOptions options = testOptions();
    options.fills = {fill("uno")};
    EXPECT_EQ(SigningRun::saveUnsigned(a, options, worker), folder / "a-rellenado-2.pdf");
    EXPECT_EQ(testutil::readFile(folder / "a-rellenado.pdf"), "ya estaba");
    EXPECT_EQ(SigningRun::savedLogLine("a-rellenado.pdf", 2, 1),
              "Guardado sin firmar a-rellenado.pdf con 2 campos rellenados y 1 firmas manuscritas");
    worker.fill = [](std::string, const std::vector<FormFill>&) -> std::string {
        throw std::runtime_error("No se encuentra el campo «uno» para rellenarlo.");
    };
    try {
        SigningRun::saveUnsigned(a, options, worker);
        FAIL() << "no error";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "No se encuentra el campo «uno» para rellenarlo.");
    }
}

TEST(SigningRunDescribeTest, SentencesForEveryKindOfError) {
    auto sentence = [](auto error) {
        return SigningRun::describe(std::make_exception_ptr(error), "/docs/a.pdf");
    };
    EXPECT_EQ(sentence(std::runtime_error("Frase del motor.")), "Frase del motor.");
    EXPECT_EQ(sentence(fs::filesystem_error("x", "/docs/b.pdf",
                                            std::make_error_code(std::errc::no_space_on_device))),
              "No se ha podido leer o escribir «b.pdf»: no queda espacio en el disco.");
    EXPECT_EQ(sentence(fs::filesystem_error("x",
                                            "/docs/.tindra-29C7A4BE-1B2C-4D3E-8F40-0123456789AB.pdf",
                                            std::make_error_code(std::errc::permission_denied))),
              "No se ha podido leer o escribir «a.pdf»: no hay permiso.");
    EXPECT_EQ(sentence(std::bad_alloc()), "No hay memoria suficiente para este documento.");
    EXPECT_EQ(sentence(std::out_of_range("vector")), "Error inesperado al firmar este documento.");
    EXPECT_EQ(sentence(42), "Error inesperado al firmar este documento.");
}

// File names hold at most 255 bytes: a long stem gives way, at a character boundary, to the
// suffix and the counter.
TEST(OutputNamesTest, ALongStemIsShortenedAtACharacterBoundary) {
    testutil::TempDir folder;
    std::string stem;
    while (stem.size() < 248) stem += "ñ";  // two bytes each
    stem += "a";                             // 249 bytes: "a" + "-firmado.pdf" is past 255
    fs::path source = folder / (stem + ".pdf");
    testutil::writeFile(source, "x");
    auto valid = [](const std::string& name) {
        return name.size() <= 255 && QString::fromUtf8(name).toUtf8().toStdString() == name;
    };
    fs::path first = signedCopy(source);
    std::string name = first.filename().string();
    EXPECT_TRUE(valid(name)) << name.size();
    EXPECT_TRUE(name.ends_with("-firmado.pdf"));
    EXPECT_TRUE(stem.starts_with(name.substr(0, name.size() - 12)));
    EXPECT_GE(name.size(), 254u);
    testutil::writeFile(first, "ocupado");
    std::string second = signedCopy(source).filename().string();
    EXPECT_TRUE(valid(second)) << second.size();
    EXPECT_TRUE(second.ends_with("-firmado-2.pdf"));

    // The whole run: the hidden output claims the shortened name.
    fs::path hidden = OutputNames::hiddenTemporary(folder.path());
    testutil::writeFile(hidden, "nuevo");
    EXPECT_EQ(OutputNames::claim(hidden, source, "firmado").filename().string(), second);
    EXPECT_EQ(OutputNames::candidate(folder / "corto.pdf", "firmado", 3).filename(),
              "corto-firmado-3.pdf");
}

// A write that fails (the file size limit stands in for a full disk) names the document the
// user asked for, never the temporary file it was being written to.
TEST_F(SigningRunWorkerTest, AFailedWriteNamesTheDocumentAskedFor) {
    fs::path carta = folder / "carta.pdf";
    testutil::writeFile(carta, std::string(100000, '%'));
    fs::path a = folder / "a.pdf";
    testutil::writeFile(a, std::string(100000, '%'));
    testutil::writeFile(folder / "a-firmado.pdf", "copia vieja");
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipe[0]);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string report;
        AtomicEngine engine;
        SigningRun::Worker quiet = worker;
        quiet.log = nullptr;
        quiet.progress = nullptr;
        for (const auto& failure :
             SigningRun::signBatch({carta}, testOptions(), engine, std::nullopt, quiet).failures)
            report += failure.second + "\n";
        for (const auto& failure :
             SigningRun::signBatch({a}, testOptions(), engine, folder / "a-firmado.pdf", quiet)
                 .failures)
            report += failure.second + "\n";
        SigningOptions options = testOptions();
        options.fills = {fill("uno")};
        try {
            SigningRun::saveUnsigned(carta, options, quiet);
        } catch (const std::exception& error) {
            report += std::string(error.what()) + "\n";
        }
        (void)!::write(pipe[1], report.data(), report.size());
        _exit(0);
    }
    ::close(pipe[1]);
    const std::string what = "the child that signs and saves past the size limit";
    std::string report, late;
    const bool reportEnded = testutil::readFromChild(pipe[0], report, what, late);
    ::close(pipe[0]);
    if (!reportEnded) ::kill(child, SIGKILL);
    const testutil::ChildEnd end = testutil::waitForChild(child, what);
    ASSERT_TRUE(reportEnded) << late;
    ASSERT_FALSE(end.timedOut) << end.sentence;
    EXPECT_TRUE(WIFEXITED(end.status));
    EXPECT_EQ(report,
              "No se ha podido guardar «carta-firmado.pdf»: el archivo es demasiado grande.\n"
              "No se ha podido guardar «a-firmado.pdf»: el archivo es demasiado grande.\n"
              "No se ha podido leer o escribir «carta-rellenado.pdf»: el archivo es demasiado "
              "grande.\n");
    EXPECT_EQ(testutil::readFile(folder / "a-firmado.pdf"), "copia vieja");
    EXPECT_EQ(namesIn(folder.path()),
              (std::vector<std::string>{"a-firmado.pdf", "a.pdf", "carta.pdf"}));
}

// A copy holds what its source holds and more: it is never readable by more people than the
// source. A signed copy signed again keeps the bits its owner gave it.
TEST_F(SigningRunWorkerTest, CopiesTakeTheSourcesBitsAndAReplacedCopyKeepsItsOwn) {
    auto mode = [](const fs::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    const mode_t saved = ::umask(022);
    fs::path a = pdf("a.pdf"), b = pdf("b.pdf");
    ::chmod(a.c_str(), 0600);
    ::chmod(b.c_str(), 0664);
    AtomicEngine engine;
    SigningOptions filled = testOptions();
    filled.fills = {fill("uno")};
    SigningRun::Outcome outcome = SigningRun::signBatch({a}, filled, engine, std::nullopt, worker);
    ASSERT_EQ(outcome.signedFiles, std::vector<fs::path>{folder / "a-firmado.pdf"});
    EXPECT_EQ(mode(folder / "a-firmado.pdf"), 0600u);
    EXPECT_EQ(mode(SigningRun::saveUnsigned(a, filled, worker)), 0600u);
    // Never wider than the umask allows.
    ::umask(027);
    outcome = SigningRun::signBatch({b}, testOptions(), engine, std::nullopt, worker);
    ASSERT_EQ(outcome.signedFiles.size(), 1u);
    EXPECT_EQ(mode(outcome.signedFiles[0]), 0640u);
    ::umask(022);

    // Signed again: the replaced copy's bits, whatever the source's, a copy its owner may not
    // write (the engine's output is writable while it works) and an engine that writes a file of
    // its own, with its own bits, in place of the one it was given included.
    struct FreshEngine : SigningEngine {
        std::string name() const override { return "nuevo"; }
        void sign(const fs::path& input, const fs::path& output, const Certificate&,
                  const std::optional<VisibleSignature>&) const override {
            fs::remove(output);
            const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            ASSERT_GE(fd, 0);
            const std::string bytes = testutil::readFile(input) + "%firmado\n";
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            ::close(fd);
        }
    } fresh;
    fs::path copy = folder / "a-firmado.pdf";
    for (const SigningEngine* signer : {static_cast<const SigningEngine*>(&engine), static_cast<const SigningEngine*>(&fresh)}) {
        for (mode_t bits : {0600u, 0640u, 0400u}) {
            SCOPED_TRACE(signer->name() + " " + std::to_string(bits));
            ::chmod(copy.c_str(), bits);
            outcome = SigningRun::signBatch({a}, testOptions(), *signer, copy, worker);
            ASSERT_EQ(outcome.signedFiles, std::vector<fs::path>{copy});
            EXPECT_EQ(mode(copy), bits);
            EXPECT_TRUE(testutil::readFile(copy).ends_with("%firmado\n"));
        }
    }
    ::umask(saved);
    for (const auto& name : namesIn(folder.path())) EXPECT_FALSE(name.starts_with(".tindra-"));
}

// A process killed in the middle of a batch: the next start removes the temporary files it listed
// (hidden outputs beside the document, prepared inputs), and nothing else.
TEST_F(SigningRunWorkerTest, AKillDuringABatchLeavesNothingAfterTheNextStart) {
    testutil::TempDir state;
    const fs::path list = state / "tindra/temporales";
    const fs::path prepared = state / "tindra/preparados";
    fs::path carta = pdf("carta.pdf");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        if (!TemporaryFiles::keep(list, prepared)) _exit(3);
        // Writes half of the signed file the way the own engine does, then hangs.
        struct StallingEngine : SigningEngine {
            int signal = -1;
            std::string name() const override { return "colgado"; }
            void sign(const fs::path&, const fs::path& output, const Certificate&,
                      const std::optional<VisibleSignature>&) const override {
                AtomicFile::write(output, [this](const AtomicFile::Sink& sink) {
                    sink(std::string(50000, 'x'));
                    (void)!::write(signal, "s", 1);
                    for (;;) ::pause();
                });
            }
        } engine;
        engine.signal = ready[1];
        SigningRun::Worker inChild = worker;
        inChild.temporaryFolder = prepared;
        inChild.log = nullptr;
        inChild.progress = nullptr;
        SigningOptions options = testOptions();
        options.fills = {fill("nif")};
        SigningRun::signBatch({carta}, options, engine, std::nullopt, inChild);
        _exit(4);
    }
    ::close(ready[1]);
    std::string byte, late;
    testutil::readFromChild(ready[0], byte, "the child that hangs half-way through its signed file", late,
                            testutil::forkedChildLimit, 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    const testutil::ChildEnd end = testutil::waitForChild(child, "the signing child after SIGKILL");
    ASSERT_EQ(byte, "s") << late << " " << end.sentence;
    ASSERT_FALSE(end.timedOut) << end.sentence;

    // What the kill left: the engine's file and the hidden output beside the document, the
    // prepared input in the private folder (owner only).
    std::size_t hidden = 0;
    for (const auto& name : namesIn(folder.path())) hidden += name.starts_with(".tindra-");
    EXPECT_EQ(hidden, 2u);
    ASSERT_FALSE(fs::is_empty(prepared));
    struct stat info {};
    ::stat(prepared.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    // Listed by mistake or by someone else: a file without a temporary name stays, and so does a
    // temporary name the list does not hold.
    testutil::writeFile(folder / "notas.txt", "mías");
    const std::string stranger = ".tindra-29C7A4BE-1B2C-4D3E-8F40-0123456789AB.pdf";
    testutil::writeFile(folder / stranger, "de otra copia");
    {
        std::ofstream out(list, std::ios::app | std::ios::binary);
        out << '+' << (folder / "notas.txt").string() << '\0';
    }

    ASSERT_TRUE(TemporaryFiles::keep(list, prepared));
    EXPECT_EQ(namesIn(folder.path()),
              (std::vector<std::string>{stranger, "carta.pdf", "notas.txt"}));
    EXPECT_TRUE(fs::is_empty(prepared));

    // While the list is kept, a run lists its files and takes them off again.
    AtomicEngine atomic;
    worker.temporaryFolder = prepared;
    SigningOptions options = testOptions();
    options.fills = {fill("nif")};
    EXPECT_EQ(SigningRun::signBatch({carta}, options, atomic, std::nullopt, worker).failures.size(), 0u);
    EXPECT_EQ(fs::file_size(list), 0u);
    TemporaryFiles::stopKeeping();
}
