// Linked into the test programs of the ThreadSanitizer build only.
//
// QProcess starts a child with clone(CLONE_VM | CLONE_VFORK): until it
// execs, the child runs in the parent's memory, and the sanitizer calls it
// makes there (close, dup2, sigaction, ...) overwrite the state the sanitizer
// keeps for the parent's starting thread. That thread's mutexes are then
// invisible, and every handover through them is reported as a race
// (reproduced with a bare QProcess, a std::mutex and a std::thread). The
// sanitizer turns vfork() into fork() for this reason but cannot see
// clone(); this does the same for clone() with a shared memory: a real fork,
// whose child runs the same function and exits with its result.
#include <cstdarg>
#include <dlfcn.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    va_list rest;
    va_start(rest, arg);
    int* parentTid = va_arg(rest, int*);
    void* tls = va_arg(rest, void*);
    int* childTid = va_arg(rest, int*);
    va_end(rest);
    if (!(flags & CLONE_VM)) {
        using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
        static const auto real = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
        return real(fn, stack, flags, arg, parentTid, tls, childTid);
    }
    const pid_t pid = fork();
    if (pid == 0)
        _exit(fn(arg));
    // The caller asked for a pidfd of the child (QProcess waits on it).
    if (pid > 0 && (flags & CLONE_PIDFD))
        *parentTid = int(syscall(SYS_pidfd_open, pid, 0));
    return pid;
}
