#include "pages/server/PageSandbox.h"

#include <fcntl.h>
#include <linux/sched.h>
#include <seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <stdexcept>
#include <string>

#include "pages/PageLimits.h"
#include "pages/PageProcessMemory.h"

namespace PageSandbox {

bool attachToParent(int expectedParent, int firstToClose) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
    // The parent may have ended between the spawn and the line above.
    if (getppid() != expectedParent) return false;
    syscall(SYS_close_range, static_cast<unsigned>(firstToClose), ~0U, 0U);
    return true;
}

void limitResources() {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    // Nothing the process writes can grow a file.
    setrlimit(RLIMIT_FSIZE, &none);
    grantProcessorTime();
}

void limitMemory(std::int64_t documentBytes) {
    if (PageProcessMemory::watchedByParent) return;
    // The hard limit leaves room for the largest document the application hands over (a process
    // reads one document after another); the soft one is this document's.
    const auto bytes = static_cast<rlim_t>(PageLimits::memoryBytes + documentBytes);
    const auto most = static_cast<rlim_t>(PageLimits::memoryBytes + std::int64_t(INT_MAX));
    rlimit memory{bytes, most};
    setrlimit(RLIMIT_AS, &memory);
}

void grantProcessorTime() {
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const rlim_t seconds = static_cast<rlim_t>(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1 +
                           PageLimits::cpuSecondsPerRequest;
    // Past the soft limit the kernel sends SIGXCPU, which ends the process; the hard limit a
    // second later kills it outright. The hard limit may only go down: keep it unlimited and
    // move the soft one.
    rlimit cpu{seconds, RLIM_INFINITY};
    setrlimit(RLIMIT_CPU, &cpu);
}

namespace {

struct FilterDeleter {
    void operator()(void* ctx) const { seccomp_release(static_cast<scmp_filter_ctx>(ctx)); }
};

void check(int rc, const char* what) {
    if (rc < 0) throw std::runtime_error(std::string("seccomp: ") + what);
}

}  // namespace

void forbidSideEffects() {
    std::unique_ptr<void, FilterDeleter> owner(seccomp_init(SCMP_ACT_ALLOW));
    scmp_filter_ctx ctx = owner.get();
    if (!ctx) throw std::runtime_error("seccomp: init");
    const auto deny = SCMP_ACT_ERRNO(EPERM);

    // No programs, no new processes (threads only), no tracing.
    for (int call : {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork),
                     SCMP_SYS(ptrace), SCMP_SYS(process_vm_writev), SCMP_SYS(process_vm_readv)})
        check(seccomp_rule_add(ctx, deny, call, 0), "proceso");
    // (The argument comparisons are spelled out: libseccomp's SCMP_A* macros are C99 compound
    // literals.)
    const scmp_arg_cmp notThread{0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0};
    check(seccomp_rule_add(ctx, deny, SCMP_SYS(clone), 1, notThread), "clone");
    // clone3 passes its flags in memory, which a filter cannot read: callers fall back to clone.
    check(seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0), "clone3");

    // No sockets of its own: it talks to the application over the one it was given.
    for (int call : {SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect), SCMP_SYS(bind),
                     SCMP_SYS(listen), SCMP_SYS(accept), SCMP_SYS(accept4)})
        check(seccomp_rule_add(ctx, deny, call, 0), "socket");

    // Files are opened for reading only (fonts, configuration); nothing is made, changed or
    // removed.
    for (int flag : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND, O_TMPFILE & ~O_DIRECTORY}) {
        const auto bits = static_cast<scmp_datum_t>(static_cast<unsigned>(flag));
        const scmp_arg_cmp openFlags{1, SCMP_CMP_MASKED_EQ, bits, bits};
        const scmp_arg_cmp openatFlags{2, SCMP_CMP_MASKED_EQ, bits, bits};
        check(seccomp_rule_add(ctx, deny, SCMP_SYS(open), 1, openFlags), "open");
        check(seccomp_rule_add(ctx, deny, SCMP_SYS(openat), 1, openatFlags), "openat");
    }
    // openat2 passes its flags in memory.
    check(seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2), 0), "openat2");
    for (int call :
         {SCMP_SYS(creat), SCMP_SYS(mkdir), SCMP_SYS(mkdirat), SCMP_SYS(mknod), SCMP_SYS(mknodat),
          SCMP_SYS(unlink), SCMP_SYS(unlinkat), SCMP_SYS(rmdir), SCMP_SYS(rename),
          SCMP_SYS(renameat), SCMP_SYS(renameat2), SCMP_SYS(link), SCMP_SYS(linkat),
          SCMP_SYS(symlink), SCMP_SYS(symlinkat), SCMP_SYS(truncate), SCMP_SYS(chmod),
          SCMP_SYS(fchmod), SCMP_SYS(fchmodat), SCMP_SYS(chown), SCMP_SYS(fchown),
          SCMP_SYS(lchown), SCMP_SYS(fchownat), SCMP_SYS(utimensat), SCMP_SYS(io_uring_setup),
          SCMP_SYS(name_to_handle_at), SCMP_SYS(open_by_handle_at)})
        check(seccomp_rule_add(ctx, deny, call, 0), "archivo");

    check(seccomp_attr_set(ctx, SCMP_FLTATR_CTL_NNP, 1), "no_new_privs");
    check(seccomp_load(ctx), "load");
}

}  // namespace PageSandbox
