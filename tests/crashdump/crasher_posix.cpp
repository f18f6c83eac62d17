// Test program for the POSIX side of VexDumpw. Usage:
//   vexdump_crasher <mode> <folder or -> [<extra arguments or ->] [<second folder>]
// It installs a SIGSEGV handler of its own first (prints and exits with 42),
// so that whatever VexDumpw passes on is visible, then installs VexDumpw and
// causes the event named by mode: segv, bus, ill, fpe, abrt, overflow (of the
// stack), thread (segv on a second thread), threadoverflow (a second thread
// prepared with CreateExceptionDumpForThread overflows its stack), twice (a
// second installation, then segv), local (CreateExceptionDumpForLocal, then
// segv), install (normal end).
#include "crashdump/vexdumpw.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

void previousHandler(int sig)
{
    char text[] = "previous handler: 00\n";
    text[18] = char('0' + sig / 10);
    text[19] = char('0' + sig % 10);
    (void)!write(1, text, sizeof text - 1);
    _exit(42);
}

const char *argOrNull(const char *text)
{
    return std::strcmp(text, "-") == 0 ? nullptr : text;
}

volatile int *nullTarget()
{
    static volatile int *volatile target = nullptr;
    return target;
}

[[noreturn]] void busError()
{
    char name[] = "/tmp/vexdump-bus-XXXXXX";
    const int fd = mkstemp(name);
    unlink(name);
    // A mapping past the end of an empty file: touching it raises SIGBUS.
    auto *p = static_cast<volatile char *>(mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0));
    if (p != MAP_FAILED)
        std::printf("%d\n", p[0]);
    raise(SIGBUS);
    std::abort();
}

[[noreturn]] void divideByZero()
{
    volatile int zero = 0;
    volatile int value = 7 / zero;
    (void)value;
    raise(SIGFPE); // where division by zero does not trap
    std::abort();
}

// Recursion that the compiler cannot turn into a loop: overflows the stack.
int overflow(int depth)
{
    volatile char frame[1024];
    frame[0] = char(depth);
    static int (*volatile next)(int) = &overflow;
    return next(depth + 1) + frame[0];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vexdump_crasher <mode> <folder> [extra] [second folder]\n");
        return 2;
    }
    const std::string mode = argv[1];
    const char *folder = argOrNull(argv[2]);
    const char *extra = argc > 3 ? argOrNull(argv[3]) : nullptr;
    const char *secondFolder = argc > 4 ? argOrNull(argv[4]) : nullptr;

    // No core files from the deliberate crashes.
    struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::signal(SIGSEGV, &previousHandler);

    const bool installed = mode == "local" ? CreateExceptionDumpForLocal(folder)
                                           : CreateExceptionDumpForRemote(folder, extra);
    std::printf("installed: %d\n", installed ? 1 : 0);
    if (mode == "twice")
        std::printf("installed again: %d\n", CreateExceptionDumpForRemote(secondFolder, "-second") ? 1 : 0);
    std::fflush(stdout);

    if (mode == "segv" || mode == "twice" || mode == "local") {
        *nullTarget() = 1;
    } else if (mode == "thread") {
        std::thread([] { *nullTarget() = 2; }).join();
    } else if (mode == "threadoverflow") {
        std::thread([] {
            std::printf("thread prepared: %d, again: %d\n", CreateExceptionDumpForThread() ? 1 : 0,
                        CreateExceptionDumpForThread() ? 1 : 0);
            std::fflush(stdout);
            std::printf("%d\n", overflow(0));
        }).join();
    } else if (mode == "bus") {
        busError();
    } else if (mode == "ill") {
        __builtin_trap();
    } else if (mode == "fpe") {
        divideByZero();
    } else if (mode == "overflow") {
        std::printf("%d\n", overflow(0));
    } else if (mode == "abrt") {
        std::abort();
    } else if (mode == "install") {
        return 0;
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }
    std::printf("survived\n");
    return 1;
}
