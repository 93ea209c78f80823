// pagesandboxprobe: a stand-in page process that, once in the page process's own sandbox, tries
// what a document that took over Poppler would try against the user, and says how each try went.
// Started as a page process is (PageSpawn::start: its parent's pid as argument, the socket as
// descriptor 3); the test then sends one line over the socket:
//
//   PRIVATE-FILE \t NSS-DATABASE \t OTHER-PID \t FONT-FILE \n
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

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pages/server/PageSandbox.h"

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

}  // namespace

int main(int argc, char** argv) {
    int parent = 0;
    if (argc != 2) _exit(2);
    const std::string_view arg = argv[1];
    if (std::from_chars(arg.data(), arg.data() + arg.size(), parent).ec != std::errc()) _exit(2);
    int landlock = PageSandbox::noLandlock;
    try {
        if (!PageSandbox::enter(parent, socketFd, {}, landlock)) _exit(0);
    } catch (const std::exception&) {
        _exit(3);
    }
    say("landlock: " + std::to_string(landlock));
    tryAll(parent, fields(readLine()));
    _exit(0);
}
