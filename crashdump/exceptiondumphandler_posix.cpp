// POSIX side of the crash dump library. Handlers for the fatal signals run on
// an alternate stack (one per prepared thread) and only wake the dump thread
// with write()/poll()/read() on two pipes, waiting a bounded time; the dump
// thread writes a minidump from buffers prepared at installation, starts the
// crash reporter with posix_spawn, and then the signal's default action ends
// the process.

#include "crashdump/vexdumpw.h"

#include "crashdump/dumpcore.h"
#include "crashdump/dumpfolder.h"
#include "crashdump/minidumpwriter.h"
#include "crashdump/procmaps.h"
#include "crashdump/productnote.h"
#include "crashdump/reportercommand.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>

extern char **environ;

namespace {

using ReporterEntry = vexdump::BasicReporterEntry<char>;

constexpr std::size_t kPathBytes = 4096;
constexpr std::size_t kMaxFolderBytes = kPathBytes - 1 - 1 - (vexdump::kDumpIdUnits - 1) - 4;
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);
constexpr std::size_t kArenaBytes = 16u << 20;
constexpr std::size_t kMapsBytes = 4u << 20;
constexpr std::size_t kMaxModules = 4096;
constexpr std::size_t kStackBytes = 64u << 10;
constexpr std::size_t kDumpThreadStack = 0x10000;
constexpr std::size_t kAltStackBytes = 64u << 10;
// How long a faulting thread waits for the dump thread (and a second faulting
// thread for the first) before it goes on without a dump.
#if defined(VEXDUMPW_HUNG_DUMP_THREAD)
constexpr int kDumpWaitMs = 1000; // the test build whose dump thread never answers
#else
constexpr int kDumpWaitMs = 30000;
#endif

std::uint32_t currentThreadId()
{
    return std::uint32_t(syscall(SYS_gettid));
}

int signalIndex(int sig)
{
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == sig)
            return i;
    return -1;
}

void resetToDefault(int sig)
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
}

bool writeAll(int fd, const void *data, std::size_t size)
{
    const auto *p = static_cast<const char *>(data);
    while (size) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

std::int64_t monotonicMs()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// readByte with a time limit (poll and read only: safe in a signal handler).
bool readByteWithin(int fd, int timeoutMs)
{
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0)
            return false;
        struct pollfd ready = {fd, POLLIN, 0};
        const int n = poll(&ready, 1, int(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        char c;
        const ssize_t got = read(fd, &c, 1);
        if (got == 1)
            return true;
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return false;
    }
}

bool readByte(int fd)
{
    char c;
    for (;;) {
        const ssize_t n = read(fd, &c, 1);
        if (n == 1)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

// Gives the finished file at part its final name, unless that name exists.
bool publish(const char *part, const char *final)
{
    if (link(part, final) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // File systems without hard links.
    if (renameat2(AT_FDCWD, part, AT_FDCWD, final, RENAME_NOREPLACE) == 0)
        return true;
    if (errno == EINVAL || errno == ENOSYS)
        return rename(part, final) == 0; // the caller found the name free
    return false;
}

// Memory for buffers that must exist before a crash; pages are only touched
// when a dump is written.
void *reserveMemory(std::size_t size)
{
    void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// ---------------------------------------------------------------------------
// Alternate signal stacks of the program's threads

pthread_once_t g_altStackKeyOnce = PTHREAD_ONCE_INIT;
pthread_key_t g_altStackKey;
bool g_altStackKeyMade = false;

std::size_t pageBytes()
{
    const long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? std::size_t(page) : 4096u;
}

// Runs when a prepared thread ends: the stack is switched off and unmapped.
void releaseAltStack(void *mapping)
{
    stack_t off;
    std::memset(&off, 0, sizeof off);
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(mapping, pageBytes() + kAltStackBytes);
}

void makeAltStackKey()
{
    g_altStackKeyMade = pthread_key_create(&g_altStackKey, &releaseAltStack) == 0;
}

bool hasAltStack()
{
    stack_t current;
    return sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size > 0;
}

// An alternate stack for the calling thread, with an inaccessible page below
// it so that a handler that overruns it faults instead of writing over
// whatever lies below.
bool prepareCallingThread()
{
    if (hasAltStack())
        return true;
    pthread_once(&g_altStackKeyOnce, &makeAltStackKey);
    if (!g_altStackKeyMade)
        return false;
    const std::size_t guard = pageBytes();
    void *mapping = mmap(nullptr, guard + kAltStackBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return false;
    mprotect(mapping, guard, PROT_NONE);
    stack_t stack;
    std::memset(&stack, 0, sizeof stack);
    stack.ss_sp = static_cast<char *>(mapping) + guard;
    stack.ss_size = kAltStackBytes;
    if (sigaltstack(&stack, nullptr) != 0 || pthread_setspecific(g_altStackKey, mapping) != 0) {
        stack_t off;
        std::memset(&off, 0, sizeof off);
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(mapping, guard + kAltStackBytes);
        return false;
    }
    return true;
}

std::string executablePath()
{
    std::vector<char> buffer(1024);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return std::string();
        if (std::size_t(n) < buffer.size())
            return std::string(buffer.data(), std::size_t(n));
        if (buffer.size() >= (1u << 16))
            return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

// The product note of the running program (see productnote.h); the main
// program is the first object that dl_iterate_phdr reports.
vexdump::ProductStrings programProductStrings()
{
    vexdump::ProductStrings product;
    dl_iterate_phdr(
        [](struct dl_phdr_info *info, std::size_t, void *data) -> int {
            auto *out = static_cast<vexdump::ProductStrings *>(data);
            for (ElfW(Half) i = 0; i < info->dlpi_phnum && !out->found; ++i) {
                const ElfW(Phdr) &header = info->dlpi_phdr[i];
                if (header.p_type != PT_NOTE)
                    continue;
                const void *notes = reinterpret_cast<const void *>(info->dlpi_addr + header.p_vaddr);
                *out = vexdump::findProductNote(notes, std::size_t(header.p_memsz),
                                                header.p_align == 8 ? 8 : 4);
            }
            return 1;
        },
        &product);
    return product;
}

class PosixFolders final : public vexdump::DumpFolderSystem<char> {
public:
    bool exists(const String &path) const override
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
    bool isDirectory(const String &path) const override
    {
        struct stat st;
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    void createPath(const String &path) override
    {
        if (path.empty() || isDirectory(path))
            return;
        const String parent = vexdump::parentFolder(path, '/');
        if (!parent.empty() && parent != path)
            createPath(parent);
        mkdir(path.c_str(), 0755);
    }
};

// ---------------------------------------------------------------------------
// Reporter

ReporterEntry g_reporterEntries[vexdump::kReporterEntryCount];

struct ReporterEntriesInit {
    ReporterEntriesInit()
    {
        const char *initial[][2] = {{"-app", "Unknown"}, {"-project", "Unknown"}, {"-version", "1.0.0.1"}};
        for (std::size_t i = 0; i < vexdump::kReporterEntryCount; ++i) {
            vexdump::copyTruncated(g_reporterEntries[i].name, vexdump::kEntryNameUnits, initial[i][0]);
            vexdump::copyTruncated(g_reporterEntries[i].value, vexdump::kEntryValueUnits, initial[i][1]);
        }
    }
} g_reporterEntriesInit;

// Starts "crashsend" with the whole command line as its one argument: only
// the one next to the executable, never one found through PATH.
class crashSenderRemote {
public:
    crashSenderRemote(const ReporterEntry *entries, std::size_t count, const std::string &extraArguments,
                      const std::string &exeFolder)
        : m_entries(entries)
        , m_count(count)
        , m_commandLine(vexdump::reporterCommandLineCapacity(count, extraArguments.c_str()), '\0')
        , m_siblingPath(exeFolder.empty() ? std::string() : exeFolder + "/crashsend")
    {
    }
    virtual ~crashSenderRemote() = default;
    crashSenderRemote(const crashSenderRemote &) = delete;
    crashSenderRemote &operator=(const crashSenderRemote &) = delete;

    // Runs on the dump thread: uses the buffers made at construction only.
    virtual void launchReporter(const char *dumpPath, const char *extraArguments)
    {
        if (!dumpPath || !*dumpPath || m_siblingPath.empty())
            return;
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const std::uint64_t ms = std::uint64_t(now.tv_sec) * 1000u + std::uint64_t(now.tv_nsec) / 1000000u;
        if (vexdump::formatReporterCommandLine(&m_commandLine[0], m_commandLine.size(), dumpPath, ms, m_entries,
                                               m_count, extraArguments)
            == 0)
            return;
        char name[] = "crashsend";
        char *argv[] = {name, &m_commandLine[0], nullptr};
        posix_spawnattr_t attributes;
        if (posix_spawnattr_init(&attributes) != 0)
            return;
        sigset_t none;
        sigemptyset(&none);
        sigset_t fatal;
        sigemptyset(&fatal);
        for (int sig : kSignals)
            sigaddset(&fatal, sig);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &fatal);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = 0;
        // Only the reporter of the program's own folder: a PATH lookup could
        // start whatever program of that name comes first.
        posix_spawn(&pid, m_siblingPath.c_str(), nullptr, &attributes, argv, environ);
        posix_spawnattr_destroy(&attributes);
    }

private:
    const ReporterEntry *m_entries;
    std::size_t m_count;
    std::string m_commandLine;
    std::string m_siblingPath;
};

struct ReporterContext {
    std::string extraArguments;
    crashSenderRemote *reporter = nullptr;
};

std::atomic_flag g_contextClaimed = ATOMIC_FLAG_INIT;
std::atomic<bool> g_contextReady{false};
ReporterContext *g_context = nullptr;

ReporterContext &reporterContext()
{
    if (!g_contextReady.load(std::memory_order_acquire)) {
        if (!g_contextClaimed.test_and_set(std::memory_order_acq_rel)) {
            g_context = new ReporterContext;
            g_contextReady.store(true, std::memory_order_release);
        } else {
            while (!g_contextReady.load(std::memory_order_acquire))
                sched_yield();
        }
    }
    return *g_context;
}

// ---------------------------------------------------------------------------
// The handler

class ExceptionDumpHandler;
std::atomic<ExceptionDumpHandler *> g_installedHandler{nullptr};

// 0: no fault yet; 1: a dump is being requested; 2: done.
std::atomic<int> g_requestState{0};

class ExceptionDumpHandler final {
public:
    ExceptionDumpHandler(const std::string &dumpFolder, const std::string &exeFolder, const ReporterEntry *entryTable,
                         std::size_t entryCount);
    ExceptionDumpHandler(const ExceptionDumpHandler &) = delete;
    ExceptionDumpHandler &operator=(const ExceptionDumpHandler &) = delete;

    static void signalHandler(int sig, siginfo_t *info, void *context);

private:
    static void *dumpThreadMain(void *self);
    static bool readMemory(void *self, std::uint64_t address, void *out, std::size_t size);

    bool requestDump(int sig, siginfo_t *info, ucontext_t *context);
    bool writeDump(std::uint32_t requestingThreadId, int sig, const siginfo_t *info, const ucontext_t *context);
    std::size_t composeDump(std::uint32_t requestingThreadId, int sig, const siginfo_t *info,
                            const ucontext_t *context);
    void passOn(int sig, siginfo_t *info, void *context);

    char m_dumpFolder[kPathBytes] = {};
    char m_dumpId[vexdump::kDumpIdUnits] = {};
    char m_dumpPath[kPathBytes] = {};
    char m_partPath[kPathBytes + 8] = {};
    bool m_writerAvailable = false;
    struct sigaction m_previous[kSignalCount];
    pthread_t m_dumpThread;
    bool m_dumpThreadStarted = false;
    std::atomic<std::uint32_t> m_dumpThreadId{0};
    int m_startPipe[2] = {-1, -1};
    int m_finishPipe[2] = {-1, -1};
    std::atomic<std::uint32_t> m_requestingThreadId{0};
    int m_signal = 0;
    siginfo_t *m_info = nullptr;
    ucontext_t *m_context = nullptr;
    bool m_result = false;

    vexdump::DumpSystemInfo m_system;
    std::uint8_t *m_arena = nullptr;
    char *m_maps = nullptr;
    std::size_t m_mapsLength = 0;
    vexdump::DumpModule *m_modules = nullptr;
    std::uint8_t m_registers[vexdump::kAmd64ContextSize] = {};
    std::uint8_t m_dumpInfoStream[vexdump::kDumpInfoStreamSize] = {};
};

ExceptionDumpHandler::ExceptionDumpHandler(const std::string &dumpFolder, const std::string &exeFolder,
                                           const ReporterEntry *entryTable, std::size_t entryCount)
{
    ReporterContext &reporter = reporterContext();
    if (!reporter.reporter && entryTable)
        reporter.reporter = new crashSenderRemote(entryTable, entryCount, reporter.extraArguments, exeFolder);

    // Everything the dump needs is reserved now.
    m_arena = static_cast<std::uint8_t *>(reserveMemory(kArenaBytes));
    m_maps = static_cast<char *>(reserveMemory(kMapsBytes));
    m_modules = static_cast<vexdump::DumpModule *>(reserveMemory(kMaxModules * sizeof(vexdump::DumpModule)));
#if !defined(VEXDUMPW_WITHOUT_SYSTEM_HELPERS)
    m_writerAvailable = m_arena && m_maps && m_modules;
#endif

#if defined(__x86_64__)
    m_system.architecture = vexdump::kArchitectureAmd64;
#elif defined(__aarch64__)
    m_system.architecture = vexdump::kArchitectureArm64;
#elif defined(__i386__)
    m_system.architecture = vexdump::kArchitectureX86;
#endif
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    m_system.processorCount = std::uint8_t(cpus < 1 ? 1 : cpus > 255 ? 255 : cpus);
    struct utsname names;
    if (uname(&names) == 0) {
        unsigned major = 0, minor = 0, build = 0;
        std::sscanf(names.release, "%u.%u.%u", &major, &minor, &build);
        m_system.majorVersion = major;
        m_system.minorVersion = minor;
        m_system.buildNumber = build;
    }

    if (pipe2(m_startPipe, O_CLOEXEC) == 0 && pipe2(m_finishPipe, O_CLOEXEC) == 0) {
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        std::size_t stackSize = kDumpThreadStack;
        if (stackSize < std::size_t(PTHREAD_STACK_MIN))
            stackSize = std::size_t(PTHREAD_STACK_MIN);
        pthread_attr_setstacksize(&attributes, stackSize);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        // The dump thread takes no asynchronous signals.
        sigset_t all, old;
        sigfillset(&all);
        for (int sig : kSignals)
            sigdelset(&all, sig);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        m_dumpThreadStarted = pthread_create(&m_dumpThread, &attributes, &ExceptionDumpHandler::dumpThreadMain, this) == 0;
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        pthread_attr_destroy(&attributes);
    }

    // The dump id: a random (version 4) UUID; all zeros without a source.
    vexdump::Guid guid;
#if !defined(VEXDUMPW_WITHOUT_SYSTEM_HELPERS)
    std::uint8_t bytes[16] = {};
    const int random = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (random >= 0) {
        std::size_t got = 0;
        while (got < sizeof bytes) {
            const ssize_t n = read(random, bytes + got, sizeof bytes - got);
            if (n <= 0 && errno != EINTR)
                break;
            if (n > 0)
                got += std::size_t(n);
        }
        close(random);
        if (got == sizeof bytes) {
            bytes[6] = std::uint8_t((bytes[6] & 0x0f) | 0x40);
            bytes[8] = std::uint8_t((bytes[8] & 0x3f) | 0x80);
            guid.data1 = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16)
                | (std::uint32_t(bytes[2]) << 8) | bytes[3];
            guid.data2 = std::uint16_t((bytes[4] << 8) | bytes[5]);
            guid.data3 = std::uint16_t((bytes[6] << 8) | bytes[7]);
            std::memcpy(guid.data4, bytes + 8, 8);
        }
    }
#endif
    vexdump::copyTruncated(m_dumpFolder, kPathBytes, dumpFolder.c_str());
    vexdump::formatDumpId(guid, m_dumpId);
    if (!vexdump::formatDumpPath(m_dumpPath, kPathBytes, m_dumpFolder, '/', static_cast<const char *>(m_dumpId)))
        m_dumpPath[0] = '\0';
    if (m_dumpPath[0]) {
        std::size_t pos = 0;
        vexdump::appendText(m_partPath, sizeof m_partPath, &pos, static_cast<const char *>(m_dumpPath));
        vexdump::appendText(m_partPath, sizeof m_partPath, &pos, ".part");
    }

    // A small alternate stack, so that a stack overflow of the installing
    // thread still reaches the handler (the other threads get theirs from
    // CreateExceptionDumpForThread).
    prepareCallingThread();
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = &ExceptionDumpHandler::signalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        std::memset(&m_previous[i], 0, sizeof m_previous[i]);
        sigaction(kSignals[i], &action, &m_previous[i]);
    }
}

void ExceptionDumpHandler::signalHandler(int sig, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    ExceptionDumpHandler *self = g_installedHandler.load(std::memory_order_acquire);
    if (!self) {
        resetToDefault(sig);
        raise(sig);
        return;
    }
    const std::uint32_t tid = currentThreadId();
    // A fault of the dump thread itself cannot be dumped; it just ends.
    if (tid != self->m_dumpThreadId.load(std::memory_order_acquire)) {
        int idle = 0;
        if (g_requestState.compare_exchange_strong(idle, 1)) {
            const bool dumped = self->requestDump(sig, info, static_cast<ucontext_t *>(context));
            if (dumped) {
                // Keep the request state busy: the process ends now.
                resetToDefault(sig);
                raise(sig);
                errno = savedErrno;
                return;
            }
            g_requestState.store(2);
        } else {
            // Another thread is dumping: wait for it; its end ends us too. A
            // dump that does not end in time does not keep this thread.
            const struct timespec pause = {0, 1000000};
            const std::int64_t deadline = monotonicMs() + kDumpWaitMs + 1000;
            while (g_requestState.load() == 1 && self->m_requestingThreadId != tid && monotonicMs() < deadline)
                nanosleep(&pause, nullptr);
        }
    }
    self->passOn(sig, info, context);
    errno = savedErrno;
}

// Hands the signal to whatever was installed before; the default action
// when that was nothing (or "ignore", which would repeat the fault).
void ExceptionDumpHandler::passOn(int sig, siginfo_t *info, void *context)
{
    const int index = signalIndex(sig);
    if (index >= 0) {
        const struct sigaction &previous = m_previous[index];
        if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
            previous.sa_sigaction(sig, info, context);
            return;
        }
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(sig);
            return;
        }
    }
    resetToDefault(sig);
    raise(sig);
}

bool ExceptionDumpHandler::requestDump(int sig, siginfo_t *info, ucontext_t *context)
{
    if (!m_dumpThreadStarted)
        return false;
    m_requestingThreadId.store(currentThreadId());
    m_signal = sig;
    m_info = info;
    m_context = context;
    const char wake = 'd';
    // A dump thread that does not finish in time (stuck on a full disk or a
    // lock) does not keep the faulting thread alive: it goes on as if no
    // dump could be written.
    if (!writeAll(m_startPipe[1], &wake, 1) || !readByteWithin(m_finishPipe[0], kDumpWaitMs))
        return false;
    const bool result = m_result;
    m_info = nullptr;
    m_context = nullptr;
    return result;
}

void *ExceptionDumpHandler::dumpThreadMain(void *param)
{
    auto *self = static_cast<ExceptionDumpHandler *>(param);
    self->m_dumpThreadId.store(currentThreadId(), std::memory_order_release);
    for (;;) {
        if (!readByte(self->m_startPipe[0]))
            continue;
#if defined(VEXDUMPW_HUNG_DUMP_THREAD)
        for (;;)
            pause();
#endif
        self->m_result = self->writeDump(self->m_requestingThreadId.load(), self->m_signal, self->m_info, self->m_context);
        const char done = 'f';
        writeAll(self->m_finishPipe[1], &done, 1);
    }
    return nullptr;
}

bool ExceptionDumpHandler::writeDump(std::uint32_t requestingThreadId, int sig, const siginfo_t *info,
                                     const ucontext_t *context)
{
    bool outcome = false;
    // The dump is written under a temporary name and linked to its own name
    // at the end: a reader never sees half a dump, and an existing dump is
    // never replaced.
    struct stat existing;
    if (m_writerAvailable && m_dumpPath[0] && m_partPath[0] && stat(m_dumpPath, &existing) != 0) {
        const int fd = open(m_partPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const std::size_t size = composeDump(requestingThreadId, sig, info, context);
            outcome = size > 0 && writeAll(fd, m_arena, size);
            if (close(fd) != 0)
                outcome = false;
            if (outcome && !publish(m_partPath, m_dumpPath))
                outcome = false;
            unlink(m_partPath);
        }
    }
    ReporterContext &reporter = reporterContext();
    if (reporter.reporter)
        reporter.reporter->launchReporter(m_dumpPath, reporter.extraArguments.c_str());
    return outcome;
}

bool ExceptionDumpHandler::readMemory(void *param, std::uint64_t address, void *out, std::size_t size)
{
    auto *self = static_cast<ExceptionDumpHandler *>(param);
    struct iovec local = {out, size};
    struct iovec remote = {reinterpret_cast<void *>(std::uintptr_t(address)), size};
    const ssize_t n = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (n >= 0)
        return std::size_t(n) == size;
    if (errno != ENOSYS && errno != EPERM)
        return false;
    // Without process_vm_readv: copy only from a readable mapping.
    bool readable = false;
    vexdump::forEachMapping(self->m_maps, self->m_mapsLength, [&](const vexdump::MapsEntry &e) {
        if (e.readable && address >= e.start && address < e.end && size <= e.end - address)
            readable = true;
        return !readable;
    });
    if (readable)
        std::memcpy(out, reinterpret_cast<const void *>(std::uintptr_t(address)), size);
    return readable;
}

std::size_t ExceptionDumpHandler::composeDump(std::uint32_t requestingThreadId, int sig, const siginfo_t *info,
                                              const ucontext_t *context)
{
    m_mapsLength = 0;
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        for (;;) {
            const ssize_t n = read(maps, m_maps + m_mapsLength, kMapsBytes - m_mapsLength);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            m_mapsLength += std::size_t(n);
            if (m_mapsLength == kMapsBytes)
                break;
        }
        close(maps);
    }
    vexdump::ModuleCollector modules(m_modules, kMaxModules);
    vexdump::forEachMapping(m_maps, m_mapsLength, [&](const vexdump::MapsEntry &e) {
        modules.add(e);
        return true;
    });

    std::uint64_t ip = 0;
    std::uint64_t sp = 0;
    std::memset(m_registers, 0, sizeof m_registers);
    std::uint32_t registersSize = 0;
#if defined(__x86_64__)
    if (context) {
        const greg_t *g = context->uc_mcontext.gregs;
        ip = std::uint64_t(g[REG_RIP]);
        sp = std::uint64_t(g[REG_RSP]);
        std::uint8_t *c = m_registers;
        std::uint32_t flags = 0x100007u; // CONTEXT_AMD64 with control, integer and segment registers
        const std::uint64_t csgsfs = std::uint64_t(g[REG_CSGSFS]);
        vexdump::storeLe16(c + 56, std::uint16_t(csgsfs));       // SegCs
        vexdump::storeLe16(c + 62, std::uint16_t(csgsfs >> 32)); // SegFs
        vexdump::storeLe16(c + 64, std::uint16_t(csgsfs >> 16)); // SegGs
        vexdump::storeLe16(c + 66, std::uint16_t(csgsfs >> 48)); // SegSs
        vexdump::storeLe32(c + 68, std::uint32_t(g[REG_EFL]));
        const int order[] = {REG_RAX, REG_RCX, REG_RDX, REG_RBX, REG_RSP, REG_RBP, REG_RSI, REG_RDI,
                             REG_R8,  REG_R9,  REG_R10, REG_R11, REG_R12, REG_R13, REG_R14, REG_R15};
        for (int i = 0; i < 16; ++i)
            vexdump::storeLe64(c + 120 + 8 * i, std::uint64_t(g[order[i]]));
        vexdump::storeLe64(c + 248, ip);
        if (context->uc_mcontext.fpregs) {
            std::memcpy(c + 256, context->uc_mcontext.fpregs, 512); // the FXSAVE area
            vexdump::storeLe32(c + 52, context->uc_mcontext.fpregs->mxcsr);
            flags |= 0x8u; // floating point
        }
        vexdump::storeLe32(c + 48, flags);
        registersSize = std::uint32_t(vexdump::kAmd64ContextSize);
    }
#elif defined(__aarch64__)
    if (context) {
        ip = std::uint64_t(context->uc_mcontext.pc);
        sp = std::uint64_t(context->uc_mcontext.sp);
    }
#endif

    // Memory around the faulting instruction, cut at its mapping.
    vexdump::DumpMemoryRange extra[1];
    std::size_t extraCount = 0;
    vexdump::DumpMemoryRange stack;
    vexdump::forEachMapping(m_maps, m_mapsLength, [&](const vexdump::MapsEntry &e) {
        if (ip && ip >= e.start && ip < e.end && e.readable) {
            const vexdump::MemoryRange r = vexdump::rangeAroundInstruction(ip, e.start, e.end - e.start);
            if (r.start) {
                extra[0].start = r.start;
                extra[0].size = r.length;
                extraCount = 1;
            }
        }
        if (sp && sp >= e.start && sp < e.end && e.readable) {
            // From the red zone below the stack pointer upwards.
            std::uint64_t start = sp >= 128 ? sp - 128 : 0;
            if (start < e.start)
                start = e.start;
            std::uint64_t size = e.end - start;
            if (size > kStackBytes)
                size = kStackBytes;
            stack.start = start;
            stack.size = std::uint32_t(size);
        }
        return true;
    });
    if (sp && stack.size == 0) {
        // An overflowed stack: the pointer sits in the guard area below the
        // stack; keep the most recent frames just above it.
        vexdump::forEachMapping(m_maps, m_mapsLength, [&](const vexdump::MapsEntry &e) {
            if (e.readable && e.start > sp && e.start - sp <= kStackBytes) {
                stack.start = e.start;
                stack.size = std::uint32_t(e.end - e.start < kStackBytes ? e.end - e.start : kStackBytes);
                return false;
            }
            return true;
        });
    }

    vexdump::DumpException exception;
    exception.code = std::uint32_t(sig);
    exception.flags = info ? std::uint32_t(info->si_code) : 0;
    const bool faultAddress = info && info->si_code > 0 && sig != SIGABRT;
    exception.address = faultAddress ? std::uint64_t(std::uintptr_t(info->si_addr)) : ip;

    vexdump::encodeDumpInfoStream(m_dumpInfoStream, currentThreadId(), requestingThreadId);
    vexdump::DumpUserStream streams[1];
    streams[0].type = vexdump::kDumpInfoStreamType;
    streams[0].data = m_dumpInfoStream;
    streams[0].size = std::uint32_t(sizeof m_dumpInfoStream);

    vexdump::DumpContent content;
    content.timeDateStamp = std::uint32_t(time(nullptr));
    content.system = m_system;
    content.threadId = requestingThreadId;
    content.context = registersSize ? m_registers : nullptr;
    content.contextSize = registersSize;
    content.stack = stack;
    content.exception = &exception;
    content.modules = m_modules;
    content.moduleCount = modules.count();
    content.memory = extra;
    content.memoryCount = extraCount;
    content.userStreams = streams;
    content.userStreamCount = 1;
    content.read = &ExceptionDumpHandler::readMemory;
    content.readContext = this;
    return vexdump::buildMinidump(m_arena, kArenaBytes, content);
}

bool installHandler(const char *dumpFolder, bool withReporter, const char *extraArguments)
{
    if (g_installedHandler.load())
        return true;
    const std::string exePath = executablePath();
    const std::string exeFolder = vexdump::parentFolder(exePath, '/');
    PosixFolders folders;
    const std::string folder =
        vexdump::chooseDumpFolder(std::string(dumpFolder ? dumpFolder : ""), exeFolder, '/', folders, kMaxFolderBytes);
    ExceptionDumpHandler *handler = nullptr;
    if (withReporter) {
        reporterContext().extraArguments = extraArguments ? extraArguments : "";
        // Product name and version from the program's product note; empty
        // without one, as for a Windows program without a version resource.
        const vexdump::ProductStrings product = programProductStrings();
        vexdump::copyTruncated(g_reporterEntries[0].value, vexdump::kEntryValueUnits, exePath.c_str());
        vexdump::copyTruncated(g_reporterEntries[1].value, vexdump::kEntryValueUnits, product.name.c_str());
        vexdump::copyTruncated(g_reporterEntries[2].value, vexdump::kEntryValueUnits, product.version.c_str());
        handler = new (std::nothrow) ExceptionDumpHandler(folder, exeFolder, g_reporterEntries,
                                                          vexdump::kReporterEntryCount);
    } else {
        handler = new (std::nothrow) ExceptionDumpHandler(folder, exeFolder, nullptr, 0);
    }
    g_installedHandler.store(handler, std::memory_order_release);
    return handler != nullptr;
}

} // namespace

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForRemote(const char *dumpFolder, const char *extraArguments)
{
    return installHandler(dumpFolder, true, extraArguments);
}

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForLocal(const char *dumpFolder)
{
    return installHandler(dumpFolder, false, nullptr);
}

VEXDUMPW_API bool VEXDUMPW_CALL CreateExceptionDumpForThread(void)
{
    return prepareCallingThread();
}
