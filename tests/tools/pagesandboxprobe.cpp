// pagesandboxprobe: a library preloaded into the real page program (LD_PRELOAD, which only a test
// passes it) that, once the page process's sandbox is in force, tries what a document that took
// over Poppler would try against the user, and says how each try went. It takes the place of the
// first receipt of a document made inside the sandbox: the page process's own code has then set
// up everything, exactly as for a document. The zygote's own receipts, before any sandbox, go
// through untouched.
//
// The test sends one line over the page process's socket:
//
//   PRIVATE-FILE \t NSS-DATABASE \t OTHER-PID \t FONT-FILE \t ZYGOTE-PID \n
//
// and reads back one line per try, "name: allowed" or "name: refused (ERRNO)", then "end".
// Every signal sent is signal 0: it asks whether a signal would be allowed and harms nothing.

#include <fcntl.h>
#include <linux/keyctl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <dlfcn.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <linux/landlock.h>

namespace {

constexpr int socketFd = 3;

void say(const std::string& line) {
    const std::string out = line + "\n";
    for (std::size_t done = 0; done < out.size();) {
        const ssize_t n = ::write(socketFd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(4);
        done += static_cast<std::size_t>(n);
    }
}

// A try's outcome from its return value: refused when negative, with the reason.
void report(const std::string& name, long rc) {
    if (rc >= 0) {
        say(name + ": allowed");
        return;
    }
    const char* reason = strerrorname_np(errno);
    say(name + ": refused (" + (reason ? reason : std::to_string(errno)) + ")");
}

// Opening a file and reading a byte of it at `offset`: one try.
void tryRead(const std::string& name, const std::string& path, off_t offset = 0) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        report(name, -1);
        return;
    }
    char byte = 0;
    const ssize_t n = ::pread(fd, &byte, 1, offset);
    const int error = errno;
    ::close(fd);
    errno = error;
    report(name, n);
}

std::string readLine() {
    std::string line;
    char c = 0;
    while (line.size() < 4096) {
        const ssize_t n = ::read(socketFd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line.push_back(c);
    }
    return line;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t start = 0;;) {
        const std::size_t end = line.find('\t', start);
        out.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return out;
        start = end + 1;
    }
}

// An address in the parent worth reading: where its program is mapped is not known here, so
// the lowest address of an ordinary executable's text.
constexpr unsigned long someAddress = 0x400000;

void tryAll(pid_t parent, const std::vector<std::string>& given) {
    const std::string privateFile = given.at(0);
    const std::string nssDatabase = given.at(1);
    const pid_t other = std::atoi(given.at(2).c_str());
    const std::string fontFile = given.at(3);
    const pid_t zygote = std::atoi(given.at(4).c_str());
    const std::string proc = "/proc/" + std::to_string(parent);

    // The parent's descriptors.
    const long pidfd = ::syscall(SYS_pidfd_open, parent, 0);
    report("pidfd_open parent", pidfd);
    report("pidfd_getfd parent", ::syscall(SYS_pidfd_getfd, pidfd, 3, 0));
    report("pidfd_send_signal parent", ::syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0));
    tryRead("open parent fd", proc + "/fd/0");
    // The parent's memory and environment.
    tryRead("read parent mem", proc + "/mem", static_cast<off_t>(someAddress));
    tryRead("read parent environ", proc + "/environ");
    tryRead("read parent maps", proc + "/maps");
    char buffer[16];
    iovec local{buffer, sizeof buffer};
    iovec remote{reinterpret_cast<void*>(someAddress), sizeof buffer};
    report("process_vm_readv parent", ::process_vm_readv(parent, &local, 1, &remote, 1, 0));
    report("ptrace attach parent", ::ptrace(PTRACE_ATTACH, parent, nullptr, nullptr));
    // The zygote, whose next copies read other documents: neither its memory nor its course.
    report("ptrace attach zygote", ::ptrace(PTRACE_ATTACH, zygote, nullptr, nullptr));
    tryRead("read zygote mem", "/proc/" + std::to_string(zygote) + "/mem",
            static_cast<off_t>(someAddress));
    report("open zygote mem for writing",
           ::open(("/proc/" + std::to_string(zygote) + "/mem").c_str(), O_RDWR | O_CLOEXEC));
    report("kill zygote", ::kill(zygote, 0));
    report("pidfd_open zygote", ::syscall(SYS_pidfd_open, zygote, 0));
    // The user's files.
    tryRead("read private file", privateFile);
    tryRead("read nss database", nssDatabase);
    tryRead("read passwd", "/etc/passwd");
    // Other processes.
    report("kill parent", ::kill(parent, 0));
    report("kill every process", ::kill(-1, 0));
    report("kill process group", ::kill(0, 0));
    report("kill other process", ::kill(other, 0));
    report("tgkill parent", ::syscall(SYS_tgkill, parent, parent, 0));
    report("prlimit parent", ::prlimit(parent, RLIMIT_CPU, nullptr, nullptr));
    // Outliving the application.
    report("clear death signal", ::prctl(PR_SET_PDEATHSIG, 0, 0, 0, 0));
    report("setsid", ::setsid());
    report("setpgid", ::setpgid(0, 0));
    // (Were either allowed, the copy would end at once.)
    const pid_t forked = ::fork();
    if (forked == 0) _exit(0);
    report("fork", forked);
    const long cloned = ::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (cloned == 0) _exit(0);
    report("clone process", cloned);
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    char* envp[] = {nullptr};
    report("execve", ::execve("/bin/true", argv, envp));
    // Raising a limit.
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    report("raise processor time", ::setrlimit(RLIMIT_CPU, &unlimited));
    report("raise address space", ::setrlimit(RLIMIT_AS, &unlimited));
    report("raise core size", ::setrlimit(RLIMIT_CORE, &unlimited));
    // Namespaces, keys, sockets, files.
    report("unshare user namespace", ::unshare(CLONE_NEWUSER));
    report("keyctl", ::syscall(SYS_keyctl, KEYCTL_GET_KEYRING_ID, KEY_SPEC_SESSION_KEYRING, 0));
    report("socket unix", ::socket(AF_UNIX, SOCK_STREAM, 0));
    report("socket inet", ::socket(AF_INET, SOCK_STREAM, 0));
    report("write file", ::open("/tmp/tindra-probe-escrito", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    report("make folder", ::mkdir("/tmp/tindra-probe-carpeta", 0700));
    report("io_uring", ::syscall(SYS_io_uring_setup, 1, nullptr));

    // An inherited address.
    for (const char* name : {"DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY",
                             "SSH_AUTH_SOCK"}) {
        errno = ENOENT;
        report(std::string("getenv ") + name, std::getenv(name) ? 0 : -1);
    }
    // What it holds: its socket, and its outputs on /dev/null.
    std::string held;
    for (int fd = 0; fd < 1024; ++fd)
        if (::fcntl(fd, F_GETFD) >= 0) held += (held.empty() ? "" : " ") + std::to_string(fd);
    say("descriptors: " + held);
    bool outputsNull = true;
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat info {};
        outputsNull = outputsNull && ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) &&
                      info.st_rdev == makedev(1, 3);
    }
    say(std::string("outputs: ") + (outputsNull ? "/dev/null" : "other"));

    // What drawing needs stays readable.
    tryRead("read font", fontFile);
    tryRead("read font configuration", "/etc/fonts/fonts.conf");
    say("end");
}

// The Landlock version the kernel offers and the application's id, read as the program starts (the
// sandbox later refuses both questions). The zygote's copies are the application's children too.
int landlockVersion = 0;
pid_t application = 0;

__attribute__((constructor)) void readStart() {
    application = ::getppid();
    const long version = ::syscall(SYS_landlock_create_ruleset, nullptr, 0U,
                                   LANDLOCK_CREATE_RULESET_VERSION);
    landlockVersion = version > 0 ? static_cast<int>(version) : 0;
}

// Whether a system-call filter is in force: the sandbox's refuses even the question.
bool filtered() { return ::prctl(PR_GET_SECCOMP, 0, 0, 0, 0) != 0; }

}  // namespace

extern "C" ssize_t recvmsg(int fd, msghdr* message, int flags) {
    using Real = ssize_t (*)(int, msghdr*, int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "recvmsg"));
    if (fd == socketFd && filtered()) {
        say("landlock: " + std::to_string(landlockVersion));
        tryAll(application, fields(readLine()));
        _exit(0);
    }
    return real(fd, message, flags);
}
