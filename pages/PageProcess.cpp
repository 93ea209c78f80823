#include "pages/PageProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <future>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "pages/PageLimits.h"
#include "pages/PageProcessMemory.h"
#include "pages/PageSpawn.h"
#include "platform/Log.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a wait for the process looks at the cutoff and, where the application watches it,
// at the process's memory.
constexpr std::chrono::milliseconds checkEvery{25};

// Closes a descriptor when it goes.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Resident bytes of a process, from /proc; 0 when it cannot be read.
std::int64_t residentBytes(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.fd < 0) return 0;
    char text[128] = {};
    const ssize_t n = ::read(fd.fd, text, sizeof text - 1);
    if (n <= 0) return 0;
    long long size = 0, resident = 0;
    if (std::sscanf(text, "%lld %lld", &size, &resident) != 2) return 0;
    return static_cast<std::int64_t>(resident) * sysconf(_SC_PAGESIZE);
}


// The page process's program: beside the running executable when installed, else the one this
// build made.
std::filesystem::path installedProgram() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        std::filesystem::path beside = self.parent_path() / "tindra-pages";
        if (::access(beside.c_str(), X_OK) == 0) return beside;
    }
    return TINDRA_PAGE_PROCESS_BUILD_PATH;
}

// A page process started ahead, waiting for its document.
struct Started {
    pid_t pid = 0;
    int socket = -1;
    int program = 0;  // which program it runs (useProgram)
};

// Page processes are started from one thread that lives as long as the application: the kernel
// ends a process whose parent thread ends when that process asked to be ended with its parent,
// and the threads that read pages come and go. That thread starts the zygote, which makes each
// page process as a warm copy of itself (PageSpawn), and keeps a few processes made ahead, so
// that opening a document only hands one its bytes; each process reads one document and is
// ended after it.
//
// Every process started is listed until it is reaped, so that the application can end them all
// as it ends: a process that took over its renderer may have undone its own death signal. A
// process is killed at once and reaped on a thread of its own, so that no reader or window waits
// for the kernel to take its memory back.
class Spawner {
public:
    static Spawner& instance() {
        // Never destroyed: its threads may be asked for a process until the application ends.
        static Spawner* spawner = new Spawner();
        return *spawner;
    }

    // A process waiting for its document: one started ahead when there is one, else one started
    // now. Nothing (and `failure` says why) when none can be started.
    std::optional<Started> take(std::string& failure) {
        {
            std::unique_lock lock(mutex_);
            if (ending_) {
                failure = "La aplicación está terminando.";
                return std::nullopt;
            }
            wanted_ = true;
            while (!spares_.empty()) {
                Started spare = spares_.front();
                spares_.pop_front();
                wake_.notify_all();  // start another ahead
                // One that ended meanwhile (killed from outside), or that runs another program,
                // is no use.
                if (spare.program == program_ && running(spare.pid)) return spare;
                endLocked(spare);
            }
        }
        std::packaged_task<std::pair<Started, std::string>()> job([this] { return startOne(); });
        std::future<std::pair<Started, std::string>> result = job.get_future();
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_all();
        auto [started, why] = result.get();
        if (started.pid <= 0) {
            failure = why;
            return std::nullopt;
        }
        return started;
    }

    // Starts keeping processes ahead.
    void startAhead() {
        {
            std::lock_guard lock(mutex_);
            wanted_ = true;
        }
        wake_.notify_all();
    }

    // Kills a process and closes its socket now; it is reaped in the background.
    void end(Started process) {
        std::lock_guard lock(mutex_);
        endLocked(process);
    }

    // Kills a process and reaps it here, for its end's reason: a process that has ended already
    // or was just killed is reaped at once. False when another thread reaped it first.
    bool reap(pid_t pid, int& status) {
        {
            std::lock_guard lock(mutex_);
            if (live_.count(pid) > 0) ::kill(pid, SIGKILL);
        }
        // Waited for without being reaped, so that its id is not taken by another process while
        // it is still listed.
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
            if (errno != EINTR) return false;
        }
        std::lock_guard lock(mutex_);
        live_.erase(pid);
        return ::waitpid(pid, &status, WNOHANG) == pid;
    }

    void endAll() {
        std::unique_lock lock(mutex_);
        ending_ = true;
        for (const Started& spare : spares_) ::close(spare.socket);
        spares_.clear();
        for (pid_t pid : live_) ::kill(pid, SIGKILL);
        // Reaped here, the list held meanwhile so that no id is reused under it. A killed process
        // ends as soon as the kernel has taken its memory back: milliseconds.
        const auto until = Clock::now() + std::chrono::seconds(1);
        while (!live_.empty() && Clock::now() < until) {
            for (auto it = live_.begin(); it != live_.end();) {
                const pid_t r = ::waitpid(*it, nullptr, WNOHANG);
                if (r == *it || (r < 0 && errno == ECHILD)) it = live_.erase(it);
                else ++it;
            }
            if (!live_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void useProgram(std::filesystem::path program) {
        std::lock_guard lock(mutex_);
        programPath_ = std::move(program);
        ++program_;
        for (const Started& spare : spares_) endLocked(spare);
        spares_.clear();
        wake_.notify_all();
    }

    bool ending() {
        std::lock_guard lock(mutex_);
        return ending_;
    }

    // Whether a process taken earlier is still of use: running, and running the program chosen
    // now.
    bool current(const Started& process) {
        std::lock_guard lock(mutex_);
        return process.program == program_ && running(process.pid);
    }

    std::filesystem::path programPath() {
        std::lock_guard lock(mutex_);
        return programPath_;
    }

private:
    // Processes kept started ahead, each one taken replaced at once: a batch takes one document
    // after another, and the signing window opens four readers of its document at once (its own,
    // the placement search, the form reader, the preview), the last two started as the first two
    // read. More would warm up at the same time as those readers work, and slow them.
    static constexpr std::size_t spareCount = 2;

    Spawner() {
        std::thread([this] {
            for (;;) {
                std::packaged_task<std::pair<Started, std::string>()> job;
                {
                    std::unique_lock lock(mutex_);
                    wake_.wait(lock, [&] {
                        return !jobs_.empty() ||
                               (wanted_ && !ending_ && spares_.size() < spareCount);
                    });
                    if (!jobs_.empty()) {
                        job = std::move(jobs_.front());
                        jobs_.pop_front();
                    }
                }
                if (job.valid()) {
                    job();
                    continue;
                }
                auto [spare, why] = startOne();
                std::lock_guard lock(mutex_);
                if (spare.pid <= 0) {
                    wanted_ = false;  // no program to start: asked again at the next take()
                    continue;
                }
                if (spare.program != program_) {
                    endLocked(spare);
                    continue;
                }
                spares_.push_back(spare);
            }
        }).detach();
        std::thread([this] {
            for (;;) {
                pid_t pid = 0;
                {
                    std::unique_lock lock(mutex_);
                    reaped_.wait(lock, [&] { return !dying_.empty(); });
                    pid = dying_.front();
                    dying_.pop_front();
                }
                int status = 0;
                reap(pid, status);
            }
        }).detach();
    }

    // Starts the program on this thread and lists the process.
    std::pair<Started, std::string> startOne() {
        std::filesystem::path program;
        int generation = 0;
        {
            std::lock_guard lock(mutex_);
            if (ending_) return {{}, "La aplicación está terminando."};
            program = programPath_;
            generation = program_;
        }
        std::string failure;
        // The page program itself is made by its zygote; a program put in its place (a test's
        // stand-in) is started as it is.
        const PageSpawn::Started started = program.empty() ? fromZygote(failure)
                                                           : PageSpawn::start(program, failure);
        Started out{started.pid, started.socket, generation};
        if (out.pid > 0) {
            std::lock_guard lock(mutex_);
            live_.insert(out.pid);
            if (ending_) {
                // The application began to end while this one started.
                endLocked(out);
                return {{}, "La aplicación está terminando."};
            }
        }
        return {out, failure};
    }

    // A page process made by the zygote, which is started first when there is none (or the one
    // there was did not make one). On the spawner's thread only.
    PageSpawn::Started fromZygote(std::string& failure) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (zygote_.pid <= 0) {
                const PageSpawn::Started started =
                    PageSpawn::start(installedProgram(), failure, PageSpawn::Role::zygote);
                if (started.pid <= 0) return {};
                std::lock_guard lock(mutex_);
                live_.insert(started.pid);
                if (ending_) {
                    endLocked({started.pid, started.socket, 0});
                    failure = "La aplicación está terminando.";
                    return {};
                }
                zygote_ = started;
            }
            const PageSpawn::Started reader =
                PageSpawn::forkReader(zygote_.socket, PageLimits::openTime, failure);
            if (reader.pid > 0) return reader;
            // Ended, or answering late or wrong: of no further use.
            std::lock_guard lock(mutex_);
            endLocked({zygote_.pid, zygote_.socket, 0});
            zygote_ = {};
        }
        return {};
    }

    // Whether a listed process has not ended yet.
    static bool running(pid_t pid) {
        siginfo_t info{};
        info.si_pid = 0;
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    // With mutex_ held.
    void endLocked(const Started& process) {
        if (process.socket >= 0) ::close(process.socket);
        if (process.pid <= 0 || live_.count(process.pid) == 0) return;
        ::kill(process.pid, SIGKILL);
        dying_.push_back(process.pid);
        reaped_.notify_one();
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable reaped_;
    std::deque<std::packaged_task<std::pair<Started, std::string>()>> jobs_;
    std::deque<Started> spares_;
    std::set<pid_t> live_;     // started and not reaped yet
    std::deque<pid_t> dying_;  // killed, to be reaped
    PageSpawn::Started zygote_;  // the spawner thread's own
    bool wanted_ = false;      // spares are kept once a process has been asked for
    bool ending_ = false;      // the application is ending: nothing more is started
    std::filesystem::path programPath_;
    int program_ = 0;
};

const char* useOf(PageProtocol::Kind kind) {
    switch (kind) {
        case PageProtocol::Kind::text:
        case PageProtocol::Kind::words:
            return "texto";
        case PageProtocol::Kind::grey:
        case PageProtocol::Kind::slice:
            return "tinta";
        case PageProtocol::Kind::tile:
            return "vista previa";
        case PageProtocol::Kind::release:
            break;
    }
    return "página";
}

std::chrono::milliseconds deadlineOf(PageProtocol::Kind kind) {
    switch (kind) {
        case PageProtocol::Kind::text:
        case PageProtocol::Kind::words:
            return PageLimits::textTime;
        case PageProtocol::Kind::grey:
        case PageProtocol::Kind::slice:
            return PageLimits::inkTime;
        case PageProtocol::Kind::tile:
            return PageLimits::tileTime;
        case PageProtocol::Kind::release:
            break;
    }
    return PageLimits::textTime;
}

std::string seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(ms.count()) / 1000.0);
    return text;
}

}  // namespace

// What every clone shares: the copy of the bytes, the page count and the pages given up.
struct PageProcess::Document {
    Fd bytes;  // a sealed memory file
    std::int64_t size = 0;
    int pageCount = 0;
    // Set when the process could not open the document in time: nothing is asked again.
    bool unusable = false;
    bool refused = false;  // Poppler cannot open it (not a PDF it reads, or locked)
    bool opened = false;   // a process has said how many pages it has
    mutable std::mutex mutex;
    std::set<std::pair<int, int>> givenUp;  // (page, use)
    // The process the document was handed to as it was prepared, until a reader takes it.
    std::optional<Started> early;

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() {
        if (early) Spawner::instance().end(*early);
    }

    // The process handed the document early, if it is still of use; no other reader gets it.
    std::optional<Started> takeEarly() {
        std::optional<Started> taken;
        {
            std::lock_guard lock(mutex);
            taken.swap(early);
        }
        if (taken && !Spawner::instance().current(*taken)) {
            Spawner::instance().end(*taken);
            taken.reset();
        }
        return taken;
    }

    void markUnusable() {
        std::lock_guard lock(mutex);
        unusable = true;
    }
};

struct PageProcess::Answer {
    enum class State { result, nothing, failed, cut } state = State::failed;
    std::string payload;
};

namespace {

int useKey(PageProtocol::Kind kind) {
    return kind == PageProtocol::Kind::words ? int(PageProtocol::Kind::text) : int(kind);
}

// Why a process was ended, for the log.
std::string endedBecause(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU) return "ha agotado su tiempo de procesador";
        if (sig == SIGABRT) return "se ha detenido (quizá sin memoria)";
        return "ha terminado por la señal " + std::to_string(sig);
    }
    if (WIFEXITED(status)) {
        if (WEXITSTATUS(status) == PageProtocol::exitOutOfMemory) return "se ha quedado sin memoria";
        return "ha terminado (estado " + std::to_string(WEXITSTATUS(status)) + ")";
    }
    return "ha terminado";
}

// Where an image answer's pixels go, and how large it may be: known from its request.
struct ImageSink {
    std::size_t bytesPerPixel = 1;
    std::int64_t maxPixels = 0;
    int maxWidth = INT_MAX, maxHeight = INT_MAX;
    // Makes the image width x height with room for `bytes` of its pixels, keeping those it holds,
    // and gives where they start. Called with `bytes` growing as they arrive.
    std::function<char*(int width, int height, std::size_t bytes)> grow;
};

// What an answer may be and where its bytes go: all into `payload`, or for an image its first
// PageProtocol::imageHeadBytes into `payload` and its pixels into `image`.
struct Landing {
    std::string& payload;
    std::uint64_t maxBytes = 0;  // the longest payload taken
    const ImageSink* image = nullptr;
};

// Bytes taken for an answer before any of it has come; past that its buffer grows as its bytes
// arrive, doubling, never beyond what its length says and the request allows.
constexpr std::size_t firstChunk = 64 * 1024;

// Past its deadline, an answer whose bytes are still coming is read on this long: it was sent in
// time but is larger than the socket holds (a tile), and this process was held up while it came.
// An answer dribbled out slower than it is read ends here.
constexpr std::chrono::milliseconds stillComing{250};

// The room for `have` bytes and more, up to `want`: the size to grow to.
std::size_t grown(std::size_t have, std::size_t want) {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(want, std::max<std::uint64_t>(have + firstChunk, 2 * std::uint64_t(have))));
}

// Waits for one frame from the process until `until`. What is already in the socket is read
// before the clock is looked at, so that an answer that came while this process was held up
// (stopped, or on a loaded machine) is not taken as late. False with `reason` empty when the
// cutoff said to stop, "eof" when the process closed the socket (it ended), "timeout", or the
// reason otherwise: a length past the bound, an image not of the size asked, or bytes after the
// frame (a process answers one request with one frame).
bool readFrame(int socket, pid_t pid, Clock::time_point until, const std::function<bool()>& cut,
               Landing& landing, std::string& reason, int wake = -1) {
    char header[PageProtocol::headerBytes];
    enum { length, head, body } part = length;
    std::size_t have = 0;  // of the part being read
    std::size_t want = sizeof header;
    std::uint64_t bodyBytes = 0;
    std::size_t room = 0;  // of the image's buffer
    char* pixels = nullptr;
    int width = 0, height = 0;
    std::optional<Clock::time_point> late;
    landing.payload.clear();
    for (;;) {
        if (PageSource::cutNow(cut)) {
            reason.clear();
            return false;
        }
        bool came = false;
        for (;;) {
            if (have == want) {
                if (part == length) {
                    std::uint64_t bytes = 0;
                    std::memcpy(&bytes, header, sizeof bytes);
                    if (bytes == 0 || bytes > landing.maxBytes) {
                        reason = "el proceso de páginas ha anunciado una respuesta de " +
                                 std::to_string(bytes) + " bytes, que no cabe en lo pedido";
                        return false;
                    }
                    const std::uint64_t headBytes =
                        landing.image ? std::min<std::uint64_t>(bytes, PageProtocol::imageHeadBytes)
                                      : bytes;
                    bodyBytes = bytes - headBytes;
                    part = head;
                    have = 0;
                    want = static_cast<std::size_t>(headBytes);
                    continue;
                }
                if (part == head && bodyBytes > 0) {
                    const auto size = PageProtocol::decodeImageHead(
                        landing.payload, landing.image->bytesPerPixel, landing.image->maxPixels,
                        bodyBytes);
                    if (!size || size->first > landing.image->maxWidth ||
                        size->second > landing.image->maxHeight) {
                        reason = "el proceso de páginas ha respondido una imagen que no es la pedida";
                        return false;
                    }
                    width = size->first;
                    height = size->second;
                    part = body;
                    have = 0;
                    want = static_cast<std::size_t>(bodyBytes);
                    continue;
                }
                // The whole frame: nothing may follow it.
                char extra = 0;
                ssize_t n;
                do {
                    n = ::recv(socket, &extra, 1, MSG_PEEK | MSG_DONTWAIT);
                } while (n < 0 && errno == EINTR);
                if (n > 0) {
                    reason = "el proceso de páginas ha enviado más de lo que se le ha pedido";
                    return false;
                }
                return true;
            }
            char* at = nullptr;
            std::size_t space = 0;
            if (part == length) {
                at = header + have;
                space = want - have;
            } else if (part == head) {
                if (have == landing.payload.size()) landing.payload.resize(grown(have, want));
                at = landing.payload.data() + have;
                space = landing.payload.size() - have;
            } else {
                if (have == room) {
                    room = grown(have, want);
                    pixels = landing.image->grow(width, height, room);
                }
                at = pixels + have;
                space = room - have;
            }
            const ssize_t n = ::recv(socket, at, space, MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) {
                reason = "eof";
                return false;
            }
            have += static_cast<std::size_t>(n);
            came = true;
            if (part == head && have == want) landing.payload.resize(have);
        }
        const auto now = Clock::now();
        if (now >= until) {
            if (!late) late = now;
            if (!came || now - *late >= stillComing) {
                reason = "timeout";
                return false;
            }
        }
        if (PageProcessMemory::watchedByParent && residentBytes(pid) > PageLimits::memoryBytes) {
            reason = "ha pasado de " + std::to_string(PageLimits::memoryBytes >> 20) +
                     " MB de memoria";
            return false;
        }
        const auto wait = late ? std::min<Clock::duration>(stillComing - (now - *late), checkEvery)
                               : std::min<Clock::duration>(until - now, checkEvery);
        pollfd p[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready =
            ::poll(p, wake >= 0 ? 2 : 1,
                   static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready < 0 && errno != EINTR) {
            reason = "eof";
            return false;
        }
        if (wake >= 0 && (p[1].revents & POLLIN)) {
            std::uint64_t raised = 0;
            (void)!::read(wake, &raised, sizeof raised);
        }
    }
}

}  // namespace

struct PageProcess::Pixels : ImageSink {};

namespace {

// A hello is a status byte and a page count.
constexpr std::uint64_t helloBytes = 16;

// The longest image answer: its head and the largest image asked for.
std::uint64_t imageBytes(const ImageSink& image) {
    const auto pixels = static_cast<std::uint64_t>(std::max<std::int64_t>(image.maxPixels, 0));
    const std::uint64_t most = (UINT64_MAX - PageProtocol::imageHeadBytes) / image.bytesPerPixel;
    return PageProtocol::imageHeadBytes + std::min(pixels, most) * image.bytesPerPixel;
}

// Whether the process has sent anything not asked for.
bool pending(int socket) {
    char extra = 0;
    ssize_t n;
    do {
        n = ::recv(socket, &extra, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

}  // namespace

void PageProcess::startAhead() { Spawner::instance().startAhead(); }

void PageProcess::endAll() { Spawner::instance().endAll(); }

std::filesystem::path PageProcess::program() {
    std::filesystem::path chosen = Spawner::instance().programPath();
    return chosen.empty() ? installedProgram() : chosen;
}

void PageProcess::useProgram(std::filesystem::path program) {
    Spawner::instance().useProgram(std::move(program));
}

PageProcess::PageProcess(std::shared_ptr<Document> document)
    : document_(std::move(document)), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void PageProcess::wake() const {
    if (wake_ < 0) return;
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

PageProcess::~PageProcess() {
    {
        // The process read this document only: it ends with its reader.
        std::lock_guard lock(mutex_);
        end();
    }
    if (wake_ >= 0) ::close(wake_);
}

std::unique_ptr<PageProcess> PageProcess::open(std::string_view bytes, std::string_view update) {
    std::unique_ptr<PageProcess> pages =
        update.empty() ? prepare(bytes)
                       : prepare(bytes, {}, [update] { return std::string(update); });
    if (!pages) return nullptr;
    std::lock_guard lock(pages->mutex_);
    pages->handedOver_ = true;
    if (pages->socket_ < 0 && !pages->start()) {
        std::lock_guard documentLock(pages->document_->mutex);
        if (pages->document_->refused) return nullptr;  // Poppler cannot open it
    }
    return pages;
}

namespace {

// Writes all of `bytes` into `fd` at `at`; false when it cannot (errno says why).
bool writeAt(int fd, std::string_view bytes, std::int64_t at) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(at + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<PageProcess> PageProcess::prepare(std::string_view bytes, const Fill& fill,
                                                  const Update& update) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    auto document = std::make_shared<Document>();
    document->size = static_cast<std::int64_t>(bytes.size());
    document->bytes.fd = memfd_create("tindra-documento", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const int fd = document->bytes.fd;
    bool copied = fd >= 0;
    if (copied && fill) {
        copied = fill(fd);
        // Exactly the bytes given, or none of them.
        struct stat info {};
        if (copied && (::fstat(fd, &info) != 0 || info.st_size != document->size)) {
            errno = EIO;
            copied = false;
        }
    } else if (copied) {
        copied = writeAt(fd, bytes, 0);
    }
    if (copied && update) {
        // The update is of use whole or not at all: a copy that cannot take it is cut back to
        // the document's own bytes, which Poppler reads as they are.
        std::string tail;
        try {
            tail = update();
        } catch (const std::exception&) {
            // No memory for it, or nothing it could write: the copy goes without.
        }
        if (!tail.empty() && tail.size() <= static_cast<std::size_t>(INT_MAX) - bytes.size()) {
            if (writeAt(fd, tail, document->size))
                document->size += static_cast<std::int64_t>(tail.size());
            else
                copied = ::ftruncate(fd, static_cast<off_t>(document->size)) == 0;
        }
    }
    if (copied)
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);

    std::unique_ptr<PageProcess> pages(new PageProcess(document));
    if (!copied) {
        Log::write("No se ha podido preparar el documento para el proceso de páginas: " +
                   std::string(std::strerror(errno)) + ".");
        document->markUnusable();
        return pages;
    }
    pages->handOver();
    return pages;
}

void PageProcess::handOver() const {
    std::string failure;
    std::optional<Started> started = Spawner::instance().take(failure);
    // None now: the first reader starts one, and the log says why none could be.
    if (!started) return;
    const std::int64_t size = document_->size;
    if (!PageProtocol::sendDescriptor(started->socket, document_->bytes.fd, &size, sizeof size)) {
        Spawner::instance().end(*started);
        return;
    }
    std::lock_guard lock(document_->mutex);
    document_->early = *started;
}

bool PageProcess::start() const {
    Document& doc = *document_;
    std::string failure;
    // The process handed the document as it was prepared has perhaps opened it already.
    std::optional<Started> started;
    if (handedOver_) started = doc.takeEarly();
    // A process started ahead may have ended meanwhile: then one more try with a fresh one.
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        started = Spawner::instance().take(failure);
        if (!started) break;
        // The memory file, with its size.
        const std::int64_t size = doc.size;
        if (!PageProtocol::sendDescriptor(started->socket, doc.bytes.fd, &size, sizeof size)) {
            Spawner::instance().end(*started);
            started.reset();
            failure = "No se ha podido dar el documento al proceso de páginas.";
        }
    }
    if (!started) {
        if (!Spawner::instance().ending()) Log::write(failure);
        doc.markUnusable();
        return false;
    }
    pid_ = started->pid;
    socket_ = started->socket;

    // The hello: the page count, or word that the document cannot be opened.
    {
        const auto until = Clock::now() + PageLimits::openTime;
        std::string payload;
        std::string reason;
        Landing landing{payload, helloBytes};
        if (!readFrame(socket_, pid_, until, cut_, landing, reason, wake_)) {
            if (reason.empty()) {
                // Cut: the reader stopped; the next request starts again.
                end();
                return false;
            }
            int status = 0;
            const bool reaped = Spawner::instance().reap(pid_, status);
            pid_ = 0;
            ::close(socket_);
            socket_ = -1;
            if (reason == "eof") reason = reaped ? endedBecause(status) : "ha terminado";
            if (reason == "timeout")
                reason = "sin respuesta en " + seconds(PageLimits::openTime) + " s";
            if (!Spawner::instance().ending())
                Log::write("El proceso de páginas no ha abierto el documento: " + reason +
                           "; sus páginas no se leen.");
            doc.markUnusable();
            return false;
        }
        std::optional<int> opened = PageProtocol::decodeHello(payload);
        if (!opened || *opened < 0) {
            end();
            if (!opened)
                Log::write("El proceso de páginas ha respondido algo ilegible al abrir el documento.");
            std::lock_guard lock(doc.mutex);
            doc.unusable = true;
            doc.refused = opened.has_value();
            return false;
        }
        std::lock_guard lock(doc.mutex);
        doc.pageCount = *opened;
        doc.opened = true;
    }
    return true;
}

void PageProcess::end() const {
    ahead_.reset();
    if (pid_ > 0 || socket_ >= 0) Spawner::instance().end({pid_, socket_});
    pid_ = 0;
    socket_ = -1;
}

PageProcess::Answer PageProcess::ask(const PageProtocol::Request& request, Pixels* pixels) const {
    Answer answer;
    Document& doc = *document_;
    const int use = useKey(request.kind);
    auto refused = [&] {
        std::lock_guard lock(doc.mutex);
        return doc.unusable || request.page < 0 ||
               (doc.opened && request.page >= doc.pageCount) ||
               doc.givenUp.count({request.page, use}) > 0;
    };
    if (refused()) return answer;  // failed
    if (cutNow(cut_)) {
        answer.state = Answer::State::cut;
        return answer;
    }
    std::lock_guard lock(mutex_);
    settleAhead();
    if (cutNow(cut_)) {
        answer.state = Answer::State::cut;
        return answer;
    }
    // Bytes between two answers are none of them: a process that sent some goes.
    if (socket_ >= 0 && pending(socket_)) end();
    if (socket_ < 0 && !start()) {
        answer.state = cutNow(cut_) ? Answer::State::cut : Answer::State::failed;
        return answer;
    }
    // A prepared document learns its page count from the process just started.
    if (refused()) return answer;
    const bool sent = send(request);
    return await(request, Clock::now() + deadlineOf(request.kind), pixels, sent);
}

bool PageProcess::send(const PageProtocol::Request& request) const {
    const std::string framed = PageProtocol::frame(PageProtocol::encode(request));
    return ::send(socket_, framed.data(), framed.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
           static_cast<ssize_t>(framed.size());
}

void PageProcess::settleAhead() const {
    if (!ahead_) return;
    PageProtocol::Request request;
    request.kind = ahead_->kind;
    request.page = ahead_->page;
    ahead_.reset();
    // Taken up now: its deadline counts from here, however long ago it was sent.
    Answer answer = await(request, Clock::now() + deadlineOf(request.kind), nullptr, true);
    if (answer.state == Answer::State::result)
        early_.emplace(Early{{request.page, request.kind}, std::move(answer.payload)});
}

PageProcess::Answer PageProcess::await(const PageProtocol::Request& request,
                                       Clock::time_point until, Pixels* pixels,
                                       bool sent) const {
    Answer answer;
    std::string reason = sent ? "" : "eof";
    const auto limit = deadlineOf(request.kind);
    Landing landing{answer.payload, pixels ? imageBytes(*pixels) : PageLimits::maxTextAnswerBytes,
                    pixels};
    if (sent && readFrame(socket_, pid_, until, cut_, landing, reason, wake_)) {
        if (PageProtocol::isNothing(answer.payload)) {
            answer.state = Answer::State::nothing;
            answer.payload.clear();
        } else {
            answer.state = Answer::State::result;
        }
        return answer;
    }
    if (sent && reason.empty()) {
        // The reader stopped: the page is not to blame. The process goes all the same: it is
        // still busy with the page, and reads no other document.
        end();
        answer.state = Answer::State::cut;
        return answer;
    }
    // Given up: the process goes, and the page is too heavy for this use.
    ahead_.reset();
    int status = 0;
    const bool reaped = pid_ > 0 && Spawner::instance().reap(pid_, status);
    pid_ = 0;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    // Ended by the application's own end: no page is to blame.
    if (Spawner::instance().ending()) return answer;
    if (reason == "timeout")
        reason = "sin respuesta en " + seconds(limit) + " s";
    else if (reason == "eof")
        reason = std::string("el proceso de páginas ") +
                 (reaped ? endedBecause(status) : "ha terminado");
    giveUp(request.page, request.kind, reason);
    return answer;
}

void PageProcess::giveUp(int pageIndex, PageProtocol::Kind kind, const std::string& reason) const {
    {
        std::lock_guard lock(document_->mutex);
        document_->givenUp.insert({pageIndex, useKey(kind)});
    }
    Log::write("Página " + std::to_string(pageIndex + 1) + " demasiado pesada (" + useOf(kind) +
               "): " + reason + ".");
}

void PageProcess::broken(const PageProtocol::Request& request) const {
    {
        std::lock_guard lock(mutex_);
        end();
    }
    giveUp(request.page, request.kind, "el proceso de páginas ha respondido algo ilegible");
}

int PageProcess::pageCount() const {
    {
        std::lock_guard lock(document_->mutex);
        if (document_->unusable) return 0;
        if (document_->opened) return document_->pageCount;
    }
    // Prepared, not opened yet: the count comes with a process's hello.
    std::lock_guard lock(mutex_);
    if (socket_ < 0) start();
    std::lock_guard documentLock(document_->mutex);
    return document_->unusable ? 0 : document_->pageCount;
}

bool PageProcess::gaveUp(int pageIndex, PageProtocol::Kind kind) const {
    std::lock_guard lock(document_->mutex);
    return document_->givenUp.count({pageIndex, useKey(kind)}) > 0;
}

pid_t PageProcess::pid() const {
    std::lock_guard lock(mutex_);
    return pid_;
}

std::optional<PageText> PageProcess::text(int pageIndex) const {
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::text;
    request.page = pageIndex;
    Answer answer = askInOrder(request, lastText_);
    if (answer.state != Answer::State::result) return std::nullopt;
    std::optional<PageText> text = PageProtocol::decodeText(answer.payload);
    if (!text) broken(request);
    return text;
}

std::optional<std::u16string> PageProcess::words(int pageIndex) const {
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::words;
    request.page = pageIndex;
    Answer answer = askInOrder(request, lastWords_);
    if (answer.state != Answer::State::result) return std::nullopt;
    std::optional<std::u16string> words = PageProtocol::decodeWords(answer.payload);
    if (!words) broken(request);
    return words;
}

PageProcess::Answer PageProcess::askInOrder(const PageProtocol::Request& request,
                                            int& last) const {
    const int pageIndex = request.page;
    Answer answer;
    bool asked = false;  // ahead
    {
        std::lock_guard lock(mutex_);
        if (early_ && early_->asked.page == pageIndex && early_->asked.kind == request.kind) {
            answer.state = Answer::State::result;
            answer.payload = std::move(early_->payload);
            asked = true;
        } else if (ahead_ && ahead_->page == pageIndex && ahead_->kind == request.kind &&
                   socket_ >= 0) {
            ahead_.reset();
            if (cutNow(cut_)) {
                end();
                answer.state = Answer::State::cut;
            } else {
                // Taken up now: the reader may have spent a while on the page before.
                answer =
                    await(request, Clock::now() + deadlineOf(request.kind), nullptr, true);
            }
            asked = true;
        }
        if (early_ && early_->asked.kind == request.kind) early_.reset();
    }
    if (!asked) answer = ask(request);
    {
        // The next page in the reader's direction, asked for while it looks at this one.
        std::lock_guard lock(mutex_);
        const int step = last == pageIndex + 1 ? -1 : last == pageIndex - 1 ? 1 : 0;
        last = pageIndex;
        const int next = pageIndex + step;
        if (step != 0 && answer.state == Answer::State::result && socket_ >= 0 && !ahead_ &&
            !cutNow(cut_) && next >= 0) {
            bool wanted = false;
            {
                std::lock_guard documentLock(document_->mutex);
                wanted = document_->opened && next < document_->pageCount &&
                         document_->givenUp.count({next, useKey(request.kind)}) == 0;
            }
            PageProtocol::Request following = request;
            following.page = next;
            if (wanted && send(following)) ahead_ = Ahead{next, request.kind};
        }
    }
    return answer;
}

template <typename Image>
std::optional<Image> PageProcess::askImage(const PageProtocol::Request& request,
                                           std::size_t bytesPerPixel, std::int64_t maxPixels,
                                           int maxWidth, int maxHeight) const {
    Image image;
    Pixels pixels;
    pixels.bytesPerPixel = bytesPerPixel;
    pixels.maxPixels = maxPixels;
    pixels.maxWidth = maxWidth;
    pixels.maxHeight = maxHeight;
    pixels.grow = [&image](int width, int height, std::size_t bytes) -> char* {
        image.width = width;
        image.height = height;
        image.pixels.resize(bytes);
        return reinterpret_cast<char*>(image.pixels.data());
    };
    Answer answer = ask(request, &pixels);
    if (answer.state != Answer::State::result) return std::nullopt;
    if (image.pixels.empty()) {
        broken(request);  // a result without its pixels
        return std::nullopt;
    }
    return image;
}

std::optional<GreyImage> PageProcess::render(int pageIndex, double scale,
                                             std::int64_t maxPixels) const {
    if (!(scale > 0) || !std::isfinite(scale) || maxPixels <= 0) return std::nullopt;
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::grey;
    request.page = pageIndex;
    request.scale = scale;
    request.maxPixels = maxPixels;
    // The process may draw a little more than asked (the last row and column).
    const std::int64_t largest = maxPixels > INT64_MAX / 2 ? INT64_MAX : 2 * maxPixels;
    return askImage<GreyImage>(request, 1, largest, INT_MAX, INT_MAX);
}

std::optional<PageProtocol::ColourImage> PageProcess::tile(int pageIndex, double scale, int x,
                                                           int y, int width, int height) const {
    if (!(scale > 0) || !std::isfinite(scale) || width <= 0 || height <= 0) return std::nullopt;
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::tile;
    request.page = pageIndex;
    request.scale = scale;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    return askImage<PageProtocol::ColourImage>(request, 4, std::int64_t(width) * height, width,
                                               height);
}

std::optional<GreyImage> PageProcess::renderRegion(int pageIndex, double scale, int x, int y,
                                                   int width, int height,
                                                   std::int64_t /*maxPixels*/) const {
    if (!(scale > 0) || !std::isfinite(scale) || x < 0 || y < 0 || width <= 0 || height <= 0)
        return std::nullopt;
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::slice;
    request.page = pageIndex;
    request.scale = scale;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    return askImage<GreyImage>(request, 1, std::int64_t(width) * height, width, height);
}

std::unique_ptr<PageSource> PageProcess::clone() const { return another(); }

std::unique_ptr<PageProcess> PageProcess::another(bool handedOver) const {
    std::unique_ptr<PageProcess> copy(new PageProcess(document_));
    copy->handedOver_ = handedOver;
    {
        std::lock_guard lock(mutex_);
        copy->cut_ = cut_;
    }
    return copy;
}

void PageProcess::setCutoff(std::function<bool()> cut) {
    std::lock_guard lock(mutex_);
    cut_ = std::move(cut);
}
