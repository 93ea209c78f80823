#include "pages/PageProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
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


// A page process started and warmed up, waiting for its document.
struct Started {
    pid_t pid = 0;
    int socket = -1;
};

// Page processes are started from one thread that lives as long as the application: the kernel
// ends a process whose parent thread ends when that process asked to be ended with its parent,
// and the threads that read pages come and go. The thread keeps a few processes started ahead
// (their start and warm-up take longer than reading a short document), so that opening a
// document only hands one its bytes.
class Spawner {
public:
    static Spawner& instance() {
        // Never destroyed: its thread may be asked for a process until the application ends.
        static Spawner* spawner = new Spawner();
        return *spawner;
    }

    // A process waiting for its document: one started ahead when there is one, else one started
    // now. Nothing (and `failure` says why) when none can be started.
    std::optional<Started> take(std::string& failure) {
        {
            std::lock_guard lock(mutex_);
            while (!spares_.empty()) {
                Started spare = spares_.front();
                spares_.pop_front();
                wake_.notify_one();  // start another ahead
                // One that ended meanwhile (killed from outside) is no use.
                int status = 0;
                if (::waitpid(spare.pid, &status, WNOHANG) == 0) return spare;
                ::close(spare.socket);
            }
        }
        std::packaged_task<std::pair<Started, std::string>()> job([] { return startOne(); });
        std::future<std::pair<Started, std::string>> result = job.get_future();
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
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
        wake_.notify_one();
    }

    // Keeps a process that let its document go, for the next document: it is warm already. One
    // over the number kept, or grown large, ends.
    void giveBack(Started process) {
        return stop(process);  // a process reads one document: it ends once that is let go
        {
            std::lock_guard lock(mutex_);
            if (spares_.size() < maxIdle &&
                residentBytes(process.pid) < maxIdleResident) {
                spares_.push_front(process);
                return;
            }
        }
        stop(process);
    }

    // Takes a process whose reader stopped while it was reading a page: it is kept once it has
    // answered (by `until`, the request's deadline) and let the document go; it ends otherwise.
    // Cheaper than starting and warming up another, which would take processor time from the
    // window the reader belonged to.
    // `rest`: what is still to come of an answer begun, when its length has come.
    void recover(Started process, Clock::time_point until,
                 std::optional<std::uint64_t> rest = std::nullopt);

    static void stop(Started process) {
        ::kill(process.pid, SIGKILL);
        while (::waitpid(process.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        ::close(process.socket);
    }

private:
    // Processes being recovered at once, at most.
    static constexpr int maxRecovering = 4;
    // Processes kept started ahead: the signing window opens four readers of its document at
    // once (its own, the placement search, the form reader, the preview).
    static constexpr std::size_t spareCount = 2;
    // Processes kept idle at most, those given back included, and how large one may have grown
    // to be kept: the spares and a window's four readers, so that the processes of a window
    // closed are all kept while the spares started meanwhile wait.
    static constexpr std::size_t maxIdle = spareCount + 4;
    // (A sanitizer build's processes hold its shadow memory and the memory it keeps freed for a
    // while besides their own.)
    static constexpr std::int64_t maxIdleResident =
        std::int64_t(PageProcessMemory::watchedByParent ? 1024 : 256) << 20;

    Spawner() {
        std::thread([this] {
            for (;;) {
                std::packaged_task<std::pair<Started, std::string>()> job;
                {
                    std::unique_lock lock(mutex_);
                    wake_.wait(lock, [&] {
                        return !jobs_.empty() || (wanted_ && spares_.size() < spareCount);
                    });
                    if (!jobs_.empty()) {
                        job = std::move(jobs_.front());
                        jobs_.pop_front();
                    }
                }
                if (job.valid()) {
                    job();
                    std::lock_guard lock(mutex_);
                    wanted_ = true;
                    continue;
                }
                auto [spare, why] = startOne();
                std::lock_guard lock(mutex_);
                if (spare.pid <= 0) {
                    wanted_ = false;  // no program to start: asked again at the next take()
                    continue;
                }
                spares_.push_back(spare);
            }
        }).detach();
    }

    // Starts the program on this thread.
    static std::pair<Started, std::string> startOne() {
        std::string failure;
        const PageSpawn::Started started = PageSpawn::start(PageProcess::program(), failure);
        return {{started.pid, started.socket}, failure};
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<std::pair<Started, std::string>()>> jobs_;
    std::deque<Started> spares_;
    bool wanted_ = false;  // spares are kept once a process has been asked for
    int recovering_ = 0;
};

// Asks a process that read a document without incident to let it go.
bool release(int socket) {
    PageProtocol::Request release;
    release.kind = PageProtocol::Kind::release;
    const std::string framed = PageProtocol::frame(PageProtocol::encode(release));
    return ::send(socket, framed.data(), framed.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
           static_cast<ssize_t>(framed.size());
}

// Hands a started process its document: the memory file, with its size, over the socket.
bool sendDocument(int socket, int documentFd, std::int64_t size) {
    iovec data{&size, sizeof size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &documentFd, sizeof documentFd);
    ssize_t n;
    do {
        n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof size);
}

const char* useOf(PageProtocol::Kind kind) {
    switch (kind) {
        case PageProtocol::Kind::text:
        case PageProtocol::Kind::words:
            return "texto";
        case PageProtocol::Kind::grey:
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

// Where the bytes of an answer go: all into `head`, or for an image answer its first
// PageProtocol::imageHeadBytes into `head` and the rest into the buffer `body` gives once the head
// is in (nothing from it: the answer is not what was asked for).
struct Landing {
    explicit Landing(std::string& into,
                     std::function<char*(std::string_view, std::uint64_t)> pixels = {})
        : head(into), body(std::move(pixels)) {}

    std::string& head;
    std::function<char*(std::string_view head, std::uint64_t bodyBytes)> body;
    bool begun = false;  // some of the answer has been read
    // Once its length is in, what is still to come of the answer.
    std::optional<std::uint64_t> rest;
};

// Waits for one frame from the process until `until`. False with `reason` empty when the cutoff
// said to stop, "eof" when the process closed the socket (it ended), or the reason otherwise.
bool readFrame(int socket, pid_t pid, Clock::time_point until, const std::function<bool()>& cut,
               Landing& landing, std::string& reason, int wake = -1) {
    char header[PageProtocol::headerBytes];
    // The part being filled: the frame's length, the head, then the body.
    char* at = header;
    std::size_t left = sizeof header;
    enum { length, head, body } part = length;
    std::uint64_t bodyBytes = 0;
    for (;;) {
        if (PageSource::cutNow(cut)) {
            reason.clear();
            return false;
        }
        const auto now = Clock::now();
        if (now >= until) {
            reason = "timeout";
            return false;
        }
        if (PageProcessMemory::watchedByParent && residentBytes(pid) > PageLimits::memoryBytes) {
            reason = "ha pasado de " + std::to_string(PageLimits::memoryBytes >> 20) +
                     " MB de memoria";
            return false;
        }
        const auto wait = std::min<Clock::duration>(until - now, checkEvery);
        pollfd p[2] = {{socket, POLLIN, 0}, {wake, POLLIN, 0}};
        const int ready =
            ::poll(p, wake >= 0 ? 2 : 1,
                   static_cast<int>(
                       std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
        if (ready < 0 && errno != EINTR) {
            reason = "eof";
            return false;
        }
        if (wake >= 0 && (p[1].revents & POLLIN)) {
            std::uint64_t raised = 0;
            (void)!::read(wake, &raised, sizeof raised);
        }
        if (ready <= 0 || !(p[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        // Read what is there, without blocking past it.
        for (;;) {
            if (left > 0) {
                const ssize_t n = ::recv(socket, at, left, MSG_DONTWAIT);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (n <= 0) {
                    reason = "eof";
                    return false;
                }
                landing.begun = true;
                at += n;
                left -= static_cast<std::size_t>(n);
                if (part != length) landing.rest = left + (part == head ? bodyBytes : 0);
                if (left > 0) continue;
            }
            if (part == length) {
                std::uint64_t bytes = 0;
                std::memcpy(&bytes, header, sizeof bytes);
                if (bytes > PageLimits::maxAnswerBytes) {
                    reason = "ha respondido algo ilegible";
                    return false;
                }
                const std::uint64_t headBytes =
                    landing.body ? std::min<std::uint64_t>(bytes, PageProtocol::imageHeadBytes)
                                 : bytes;
                bodyBytes = bytes - headBytes;
                landing.rest = bytes;
                landing.head.assign(static_cast<std::size_t>(headBytes), '\0');
                part = head;
                at = landing.head.data();
                left = landing.head.size();
            } else if (part == head && bodyBytes > 0) {
                at = landing.body(landing.head, bodyBytes);
                if (!at) {
                    reason = "ha respondido algo ilegible";
                    return false;
                }
                part = body;
                left = static_cast<std::size_t>(bodyBytes);
            } else {
                return true;
            }
        }
    }
}

// Reads and drops `bytes` from the process by `until`.
bool skip(int socket, Clock::time_point until, std::uint64_t bytes) {
    char scratch[64 * 1024];
    while (bytes > 0) {
        const auto now = Clock::now();
        if (now >= until) return false;
        pollfd p{socket, POLLIN, 0};
        const int ready = ::poll(
            &p, 1,
            static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count()));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        const ssize_t n = ::recv(socket, scratch, std::min<std::uint64_t>(bytes, sizeof scratch),
                                 MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n <= 0) return false;
        bytes -= static_cast<std::uint64_t>(n);
    }
    return true;
}

void Spawner::recover(Started process, Clock::time_point until,
                      std::optional<std::uint64_t> rest) {
    {
        std::lock_guard lock(mutex_);
        if (recovering_ >= maxRecovering) {
            stop(process);
            return;
        }
        ++recovering_;
    }
    auto done = [this](Started p, bool answered) {
        {
            std::lock_guard lock(mutex_);
            --recovering_;
        }
        if (answered && release(p.socket))
            giveBack(p);
        else
            stop(p);
    };
    try {
        std::thread([process, until, rest, done] {
            if (rest) {
                done(process, skip(process.socket, until, *rest));
                return;
            }
            std::string answer;
            std::string reason;
            Landing landing(answer);
            done(process, readFrame(process.socket, process.pid, until, {}, landing, reason));
        }).detach();
    } catch (const std::system_error&) {
        done(process, false);
    }
}

}  // namespace

void PageProcess::startAhead() { Spawner::instance().startAhead(); }

std::filesystem::path PageProcess::program() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        std::filesystem::path beside = self.parent_path() / "tindra-pages";
        if (::access(beside.c_str(), X_OK) == 0) return beside;
    }
    return TINDRA_PAGE_PROCESS_BUILD_PATH;
}

PageProcess::PageProcess(std::shared_ptr<Document> document)
    : document_(std::move(document)), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

void PageProcess::wake() const {
    if (wake_ < 0) return;
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

PageProcess::~PageProcess() {
    letGo();
    if (wake_ >= 0) ::close(wake_);
}

void PageProcess::letGo() {
    std::lock_guard lock(mutex_);
    if (pid_ > 0 && socket_ >= 0 && ahead_) {
        // Still answering the words asked for ahead: kept once it has.
        recover(ahead_->since + PageLimits::textTime);
        return;
    }
    if (pid_ > 0 && socket_ >= 0) {
        // A process that read its pages without incident lets the document go and waits for the
        // next one.
        if (release(socket_)) {
            Spawner::instance().giveBack({pid_, socket_});
            pid_ = 0;
            socket_ = -1;
            return;
        }
    }
    end();
}

std::unique_ptr<PageProcess> PageProcess::open(std::string_view bytes) {
    std::unique_ptr<PageProcess> pages = prepare(bytes);
    if (!pages) return nullptr;
    std::lock_guard lock(pages->mutex_);
    if (pages->socket_ < 0 && !pages->start()) {
        std::lock_guard documentLock(pages->document_->mutex);
        if (pages->document_->refused) return nullptr;  // Poppler cannot open it
    }
    return pages;
}

std::unique_ptr<PageProcess> PageProcess::prepare(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    auto document = std::make_shared<Document>();
    document->size = static_cast<std::int64_t>(bytes.size());
    document->bytes.fd = memfd_create("tindra-documento", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    bool copied = document->bytes.fd >= 0;
    for (std::size_t done = 0; copied && done < bytes.size();) {
        const ssize_t n = ::write(document->bytes.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) copied = false;
        else done += static_cast<std::size_t>(n);
    }
    if (copied)
        fcntl(document->bytes.fd, F_ADD_SEALS,
              F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);

    std::unique_ptr<PageProcess> pages(new PageProcess(document));
    if (!copied) {
        Log::write("No se ha podido preparar el documento para el proceso de páginas: " +
                   std::string(std::strerror(errno)) + ".");
        document->markUnusable();
    }
    return pages;
}

bool PageProcess::start() const {
    Document& doc = *document_;
    std::string failure;
    std::optional<Started> started;
    // A process started ahead may have ended meanwhile: then one more try with a fresh one.
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        started = Spawner::instance().take(failure);
        if (!started) break;
        if (!sendDocument(started->socket, doc.bytes.fd, doc.size)) {
            ::kill(started->pid, SIGKILL);
            ::waitpid(started->pid, nullptr, 0);
            ::close(started->socket);
            started.reset();
            failure = "No se ha podido dar el documento al proceso de páginas.";
        }
    }
    if (!started) {
        Log::write(failure);
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
        Landing landing(payload);
        if (!readFrame(socket_, pid_, until, cut_, landing, reason, wake_)) {
            if (reason.empty()) {
                // Cut: the reader stopped; the next request starts again.
                if (landing.begun && !landing.rest) {
                    end();
                } else {
                    recover(until, landing.rest);
                }
                return false;
            }
            int status = 0;
            ::kill(pid_, SIGKILL);
            const bool reaped = ::waitpid(pid_, &status, 0) == pid_;
            pid_ = 0;
            ::close(socket_);
            socket_ = -1;
            if (reason == "eof") reason = reaped ? endedBecause(status) : "ha terminado";
            if (reason == "timeout")
                reason = "sin respuesta en " + seconds(PageLimits::openTime) + " s";
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
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = 0;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

PageProcess::Answer PageProcess::ask(const PageProtocol::Request& request,
                                     const Body& body) const {
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
    if (socket_ < 0 && !start()) {
        answer.state = cutNow(cut_) ? Answer::State::cut : Answer::State::failed;
        return answer;
    }
    // A prepared document learns its page count from the process just started.
    if (refused()) return answer;
    const bool sent = send(request);
    return await(request, Clock::now() + deadlineOf(request.kind), body, sent);
}

bool PageProcess::send(const PageProtocol::Request& request) const {
    const std::string framed = PageProtocol::frame(PageProtocol::encode(request));
    return ::send(socket_, framed.data(), framed.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
           static_cast<ssize_t>(framed.size());
}

void PageProcess::recover(Clock::time_point until, std::optional<std::uint64_t> rest) const {
    ahead_.reset();
    Spawner::instance().recover({pid_, socket_}, until, rest);
    pid_ = 0;
    socket_ = -1;
}

void PageProcess::settleAhead() const {
    if (!ahead_) return;
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::words;
    request.page = ahead_->page;
    const auto until = ahead_->since + PageLimits::textTime;
    ahead_.reset();
    Answer answer = await(request, until, {}, true);
    if (answer.state == Answer::State::result)
        aheadWords_.emplace(request.page, std::move(answer.payload));
}

PageProcess::Answer PageProcess::await(const PageProtocol::Request& request,
                                       Clock::time_point until, const Body& body,
                                       bool sent) const {
    Answer answer;
    std::string reason = sent ? "" : "eof";
    const auto limit = deadlineOf(request.kind);
    Landing landing(answer.payload, body);
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
        // The reader stopped: the page is not to blame, and the process is kept once it has
        // answered.
        if (landing.begun && !landing.rest)
            end();
        else
            recover(until, landing.rest);
        answer.state = Answer::State::cut;
        return answer;
    }
    // Given up: the process goes, and the page is too heavy for this use.
    ahead_.reset();
    int status = 0;
    bool reaped = false;
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        while (true) {
            const pid_t r = ::waitpid(pid_, &status, 0);
            if (r < 0 && errno == EINTR) continue;
            reaped = r == pid_;
            break;
        }
    }
    pid_ = 0;
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
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
    Answer answer = ask(request);
    if (answer.state != Answer::State::result) return std::nullopt;
    std::optional<PageText> text = PageProtocol::decodeText(answer.payload);
    if (!text) broken(request);
    return text;
}

std::optional<std::u16string> PageProcess::words(int pageIndex) const {
    PageProtocol::Request request;
    request.kind = PageProtocol::Kind::words;
    request.page = pageIndex;
    Answer answer;
    bool asked = false;  // ahead
    {
        std::lock_guard lock(mutex_);
        if (aheadWords_ && aheadWords_->first == pageIndex) {
            answer.state = Answer::State::result;
            answer.payload = std::move(aheadWords_->second);
            asked = true;
        } else if (ahead_ && ahead_->page == pageIndex && socket_ >= 0) {
            const auto until = ahead_->since + PageLimits::textTime;
            if (cutNow(cut_)) {
                // Its answer is still to come: the process is kept once it has.
                recover(until);
                answer.state = Answer::State::cut;
            } else {
                ahead_.reset();
                answer = await(request, until, {}, true);
            }
            asked = true;
        }
        aheadWords_.reset();
    }
    if (!asked) answer = ask(request);
    {
        // The next page in the reader's direction, asked for while it looks at this one.
        std::lock_guard lock(mutex_);
        const int step = lastWords_ == pageIndex + 1 ? -1 : lastWords_ == pageIndex - 1 ? 1 : 0;
        lastWords_ = pageIndex;
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
            if (wanted && send(following)) ahead_ = Ahead{next, Clock::now()};
        }
    }
    if (answer.state != Answer::State::result) return std::nullopt;
    std::optional<std::u16string> words = PageProtocol::decodeWords(answer.payload);
    if (!words) broken(request);
    return words;
}

template <typename Image>
std::optional<Image> PageProcess::askImage(const PageProtocol::Request& request,
                                           std::size_t bytesPerPixel, std::int64_t maxPixels,
                                           int maxWidth, int maxHeight) const {
    Image image;
    Answer answer = ask(request, [&](std::string_view head, std::uint64_t bytes) -> char* {
        auto size = PageProtocol::decodeImageHead(head, bytesPerPixel, maxPixels, bytes);
        if (!size || size->first > maxWidth || size->second > maxHeight) return nullptr;
        image.width = size->first;
        image.height = size->second;
        image.pixels.resize(static_cast<std::size_t>(bytes));
        return reinterpret_cast<char*>(image.pixels.data());
    });
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

std::unique_ptr<PageSource> PageProcess::clone() const { return another(); }

std::unique_ptr<PageProcess> PageProcess::another() const {
    std::unique_ptr<PageProcess> copy(new PageProcess(document_));
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
