#include "pages/server/PageSandbox.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/landlock.h>
#include <linux/sched.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pages/PageLimits.h"
#include "pages/PageProcessMemory.h"

namespace PageSandbox {

namespace {

// Processor time the whole process may use. A process reads one document, and the application
// ends it at each request's deadline; this bounds what it burns when the application cannot
// (stopped, or hung), and is far above what reading and drawing every page of a long document
// takes. The hard limit equals it: past it the kernel kills the process.
constexpr rlim_t processorSeconds = 30 * 60;

// The address space before the document is known: the largest document the application hands
// over on top of what Poppler may take. Lowered to the document's own once it has come.
constexpr std::int64_t largestMemoryBytes = PageLimits::memoryBytes + std::int64_t(INT_MAX);

// Sets the soft and the hard limit to `value`, or to the hard limit the process was started with
// when that is lower (a hard limit cannot be raised).
void pin(int resource, rlim_t value, const char* what) {
    rlimit limit{};
    if (getrlimit(resource, &limit) == 0 && limit.rlim_max < value) value = limit.rlim_max;
    limit = {value, value};
    if (setrlimit(resource, &limit) != 0)
        throw std::runtime_error(std::string("No se ha podido limitar ") + what +
                                 " del proceso de páginas.");
}

void limitResources() {
    pin(RLIMIT_CORE, 0, "los volcados de memoria");
    // Nothing the process writes can grow a file.
    pin(RLIMIT_FSIZE, 0, "el tamaño de los archivos");
    pin(RLIMIT_CPU, processorSeconds, "el tiempo de procesador");
    if (!PageProcessMemory::watchedByParent)
        pin(RLIMIT_AS, static_cast<rlim_t>(largestMemoryBytes), "la memoria");
    // The descriptors it may hold: no more than it was given to start with.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) pin(RLIMIT_NOFILE, files.rlim_cur, "los archivos");
}

// Without capabilities (a page process of root's included) no limit's hard value can be raised
// and no file's permissions overridden; no_new_privs keeps a program from granting any back.
void dropPrivileges() {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        throw std::runtime_error(
            "No se han podido retirar los privilegios del proceso de páginas.");
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    // Dropping from the bounding set needs CAP_SETPCAP, which only a process of root's has; an
    // ordinary user's has none to drop.
    for (int cap = 0; cap <= 63; ++cap)
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && errno == EINVAL) break;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capset, &header, none) != 0)
        throw std::runtime_error(
            "No se han podido retirar los privilegios del proceso de páginas.");
}

// ---- Landlock ----------------------------------------------------------------------------
// Debian 12's header knows Landlock's first versions only; the rights of the later ones are
// spelled out here with the kernel's values.

constexpr std::uint64_t fsTruncate = 1ULL << 14;  // version 3
constexpr std::uint64_t fsIoctlDev = 1ULL << 15;  // version 5
constexpr std::uint64_t netBindTcp = 1ULL << 0;   // version 4
constexpr std::uint64_t netConnectTcp = 1ULL << 1;
constexpr std::uint64_t scopeAbstractUnixSocket = 1ULL << 0;  // version 6
constexpr std::uint64_t scopeSignal = 1ULL << 1;

// The ruleset as the newest kernels read it; an older kernel accepts it while the fields it
// does not know are zero.
struct Ruleset {
    std::uint64_t handledFs = 0;
    std::uint64_t handledNet = 0;
    std::uint64_t scoped = 0;
};

constexpr std::uint64_t readFile = LANDLOCK_ACCESS_FS_READ_FILE;
constexpr std::uint64_t readDir = LANDLOCK_ACCESS_FS_READ_DIR;

// Every file-system right the running kernel's version knows: all are refused but reading
// beneath the folders below.
std::uint64_t handledFs(int version) {
    std::uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;  // version 1: bits 0 to 12
    if (version >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
    if (version >= 3) rights |= fsTruncate;
    if (version >= 5) rights |= fsIoctlDev;
    return rights;
}

void addIfAbsolute(std::vector<std::string>& to, const char* base, const char* below) {
    if (base && base[0] == '/') to.push_back(std::string(base) + below);
}

// A base folder of the user's (XDG): the variable when it is an absolute path, else the
// default beneath the home folder.
std::string userFolder(const char* variable, const char* beneathHome) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + beneathHome;
    return {};
}

// What drawing reads after the warm-up: font files (looked up by fontconfig when a document
// names a font it does not embed), the font configuration and its cache (which fontconfig reads
// again when it finds them changed), and Poppler's own data (character maps, loaded when a page
// needs one).
std::vector<std::string> readableFolders() {
    std::vector<std::string> folders = {
        "/usr/share/fonts",      "/usr/local/share/fonts", "/etc/fonts",
        "/usr/share/fontconfig",  // where the configuration's links lead
        "/var/cache/fontconfig", "/usr/share/poppler",
    };
    addIfAbsolute(folders, std::getenv("HOME"), "/.fonts");
    addIfAbsolute(folders, std::getenv("HOME"), "/.fontconfig");
    const std::string data = userFolder("XDG_DATA_HOME", "/.local/share");
    const std::string config = userFolder("XDG_CONFIG_HOME", "/.config");
    const std::string cache = userFolder("XDG_CACHE_HOME", "/.cache");
    if (!data.empty()) folders.push_back(data + "/fonts");
    if (!config.empty()) folders.push_back(config + "/fontconfig");
    if (!cache.empty()) folders.push_back(cache + "/fontconfig");
    // A font configuration the user put elsewhere.
    addIfAbsolute(folders, std::getenv("FONTCONFIG_FILE"), "");
    if (const char* path = std::getenv("FONTCONFIG_PATH")) {
        const std::string list = path;
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t end = std::min(list.find(':', start), list.size());
            addIfAbsolute(folders, list.substr(start, end - start).c_str(), "");
            start = end + 1;
        }
    }
    return folders;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) close(fd);
    }
};

void restrictFiles(int version) {
    Ruleset ruleset;
    ruleset.handledFs = handledFs(version);
    // No TCP of its own (sockets are refused by the filter too), no abstract socket of another
    // process, no signal to a process outside the sandbox.
    if (version >= 4) ruleset.handledNet = netBindTcp | netConnectTcp;
    if (version >= 6) ruleset.scoped = scopeAbstractUnixSocket | scopeSignal;
    const int fd =
        static_cast<int>(syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0U));
    if (fd < 0)
        throw std::runtime_error(
            "No se han podido restringir los archivos del proceso de páginas.");
    FdCloser owner{fd};
    for (const std::string& folder : readableFolders()) {
        const int at = open(folder.c_str(), O_PATH | O_CLOEXEC);
        if (at < 0) continue;  // absent here
        FdCloser atOwner{at};
        struct stat info {};
        if (fstat(at, &info) != 0) continue;
        // A folder's rule covers what is beneath it; a file's may only name file rights.
        landlock_path_beneath_attr rule{};
        rule.allowed_access = S_ISDIR(info.st_mode) ? readFile | readDir : readFile;
        rule.parent_fd = at;
        if (syscall(SYS_landlock_add_rule, fd, LANDLOCK_RULE_PATH_BENEATH, &rule, 0U) != 0)
            throw std::runtime_error(
                "No se han podido restringir los archivos del proceso de páginas.");
    }
    if (syscall(SYS_landlock_restrict_self, fd, 0U) != 0)
        throw std::runtime_error(
            "No se han podido restringir los archivos del proceso de páginas.");
}

// ---- The system-call filter --------------------------------------------------------------

struct FilterDeleter {
    void operator()(void* ctx) const { seccomp_release(static_cast<scmp_filter_ctx>(ctx)); }
};

// (The argument comparisons are spelled out: libseccomp's SCMP_A* macros are C99 compound
// literals.)
scmp_arg_cmp argEquals(unsigned arg, scmp_datum_t value) {
    return {arg, SCMP_CMP_EQ, value, 0};
}
scmp_arg_cmp argMasked(unsigned arg, scmp_datum_t mask, scmp_datum_t value) {
    return {arg, SCMP_CMP_MASKED_EQ, mask, value};
}

class Filter {
public:
    Filter() : ctx_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {
        if (!ctx_) fail();
    }
    void allow(int call) { check(seccomp_rule_add(ctx(), SCMP_ACT_ALLOW, call, 0)); }
    void allow(int call, const scmp_arg_cmp& a) {
        check(seccomp_rule_add(ctx(), SCMP_ACT_ALLOW, call, 1, a));
    }
    void allow(int call, const scmp_arg_cmp& a, const scmp_arg_cmp& b) {
        check(seccomp_rule_add(ctx(), SCMP_ACT_ALLOW, call, 2, a, b));
    }
    void answer(int call, int error) {
        check(seccomp_rule_add(ctx(), SCMP_ACT_ERRNO(error), call, 0));
    }
    void load() {
        check(seccomp_attr_set(ctx(), SCMP_FLTATR_CTL_NNP, 1));
        check(seccomp_load(ctx()));
    }

private:
    scmp_filter_ctx ctx() { return ctx_.get(); }
    static void check(int rc) {
        if (rc < 0) fail();
    }
    [[noreturn]] static void fail() {
        throw std::runtime_error(
            "No se han podido filtrar las llamadas al sistema del proceso de páginas.");
    }
    std::unique_ptr<void, FilterDeleter> ctx_;
};

// Everything not listed fails with EPERM.
void restrictCalls(int socket) {
    Filter f;
    const auto self = static_cast<scmp_datum_t>(getpid());
    const auto own = static_cast<scmp_datum_t>(socket);

    // Memory: the allocator, Poppler's bitmaps, the mapped document.
    for (int call : {SCMP_SYS(brk), SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap),
                     SCMP_SYS(mprotect), SCMP_SYS(madvise)})
        f.allow(call);

    // Threads of its own (the C++ runtime's, a sanitizer's) and their synchronisation. clone
    // only makes a thread: a new process, or one in new namespaces, has other flags.
    constexpr scmp_datum_t threadFlags =
        CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD | CLONE_SYSVSEM;
    constexpr scmp_datum_t checkedFlags = threadFlags | CLONE_VFORK | CLONE_PARENT | CLONE_PTRACE |
                                          CLONE_UNTRACED | CLONE_PIDFD | CLONE_NEWNS |
                                          CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC |
                                          CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_IO;
    f.allow(SCMP_SYS(clone), argMasked(0, checkedFlags, threadFlags));
    // clone3 passes its flags in memory, which a filter cannot read: the C library falls back
    // to clone when it is missing.
    f.answer(SCMP_SYS(clone3), ENOSYS);
    for (int call : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq),
                     SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid),
                     SCMP_SYS(getpid), SCMP_SYS(set_tid_address)})
        f.allow(call);

    // Signals: its own handlers and masks, and signals to itself only (abort, a thread's end).
    for (int call : {SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(sigaltstack)})
        f.allow(call);
    f.allow(SCMP_SYS(kill), argEquals(0, self));
    f.allow(SCMP_SYS(tgkill), argEquals(0, self));
    f.allow(SCMP_SYS(rt_sigqueueinfo), argEquals(0, self));
    f.allow(SCMP_SYS(rt_tgsigqueueinfo), argEquals(0, self));

    // Files, for reading only (fonts, their configuration, Poppler's data; which files is
    // Landlock's to say): no flag that writes, makes or truncates.
    constexpr scmp_datum_t writing =
        O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);
    f.allow(SCMP_SYS(openat), argMasked(2, writing, 0));
    f.allow(SCMP_SYS(open), argMasked(1, writing, 0));
    // openat2 passes its flags in memory.
    f.answer(SCMP_SYS(openat2), ENOSYS);
    for (int call :
         {SCMP_SYS(close), SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(lseek),
          SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(statx),
          SCMP_SYS(getdents64), SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(access),
          SCMP_SYS(faccessat), SCMP_SYS(faccessat2), SCMP_SYS(fadvise64)})
        f.allow(call);
    for (int command : {F_GETFD, F_SETFD, F_GETFL})
        f.allow(SCMP_SYS(fcntl), argEquals(1, static_cast<scmp_datum_t>(command)));

    // Its socket: requests in, answers out, the document's descriptor in. Outputs (0 to 2 are
    // /dev/null) for what the sanitizers or the C library may say.
    for (int call : {SCMP_SYS(recvmsg), SCMP_SYS(sendmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendto)})
        f.allow(call, argEquals(0, own));
    f.allow(SCMP_SYS(write));
    f.allow(SCMP_SYS(writev));

    // Clocks and waits.
    for (int call : {SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
                     SCMP_SYS(time), SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep)})
        f.allow(call);

    // Its own limits: read, or lowered (the memory limit once the document is known). Without
    // capabilities the kernel refuses to raise a hard limit, and every hard limit set is equal
    // to its soft one.
    f.allow(SCMP_SYS(prlimit64), argEquals(0, 0));
    f.allow(SCMP_SYS(prlimit64), argEquals(0, self));
    f.allow(SCMP_SYS(setrlimit));
    f.allow(SCMP_SYS(getrlimit));

    f.allow(SCMP_SYS(getrandom));
    // A thread's name (the C library, a sanitizer's threads).
    f.allow(SCMP_SYS(prctl), argEquals(0, PR_SET_NAME));
    f.allow(SCMP_SYS(prctl), argEquals(0, PR_GET_NAME));

    // Its end.
    f.allow(SCMP_SYS(exit));
    f.allow(SCMP_SYS(exit_group));
    f.allow(SCMP_SYS(restart_syscall));

    f.load();
}

}  // namespace

int landlockVersion() {
    const long version =
        syscall(SYS_landlock_create_ruleset, nullptr, 0U, LANDLOCK_CREATE_RULESET_VERSION);
    return version > 0 ? static_cast<int>(version) : noLandlock;
}

bool prepare(int parent, int socket) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
    // The parent may have ended between the spawn and the line above.
    if (getppid() != parent) return false;
    // Only the socket, and the outputs on /dev/null, are kept of what it was given.
    for (int fd = 3; fd < socket; ++fd) close(fd);
    if (syscall(SYS_close_range, static_cast<unsigned>(socket) + 1, ~0U, 0U) != 0)
        throw std::runtime_error(
            "No se han podido cerrar los descriptores del proceso de páginas.");
    dropPrivileges();
    limitResources();
    return true;
}

bool enter(int parent, int socket, const std::function<void()>& warmUp, int& landlock) {
    if (!prepare(parent, socket)) return false;
    if (warmUp) warmUp();
    landlock = landlockVersion();
    if (landlock != noLandlock) restrictFiles(landlock);
    restrictCalls(socket);
    return true;
}

void limitMemory(std::int64_t documentBytes) {
    if (PageProcessMemory::watchedByParent) return;
    const std::int64_t bytes = PageLimits::memoryBytes + std::max<std::int64_t>(0, documentBytes);
    pin(RLIMIT_AS, static_cast<rlim_t>(std::min(bytes, largestMemoryBytes)), "la memoria");
}

}  // namespace PageSandbox
