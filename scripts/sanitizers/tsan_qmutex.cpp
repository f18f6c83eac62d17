// Linked into the ThreadSanitizer build's programs only (scripts/tsan.sh).
//
// Debian's Qt is not built with ThreadSanitizer. QMutex::lock() and
// QMutex::unlock() run inside libQt5Core, on futexes and atomics that the
// sanitizer cannot see, so every section that a QMutex guards would look
// unordered to it and every QMutex-guarded member would be reported as a
// race. These definitions take the place of Qt's for the calls that the
// project's code makes: each calls Qt's own function and tells the
// sanitizer what it did (a release before unlocking, an acquire after
// locking). The same goes for the end of a QThread: Qt's threads are
// detached and QThread::wait() meets the thread's end under an internal
// mutex, so what run() wrote would look unordered with what the waiting
// thread reads after wait() returned. Nothing else changes: Qt's locking still does the work, and the
// sanitizer now checks the project's use of it like any pthread mutex.
#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QVariant>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename F>
F qtFunction(const char *symbol)
{
    void *f = dlsym(RTLD_NEXT, symbol);
    if (!f) {
        std::fprintf(stderr, "tsan_qmutex: %s not found in Qt\n", symbol);
        std::abort();
    }
    return reinterpret_cast<F>(f);
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QMutex *, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

// A QBasicMutex locks and unlocks inline with atomics the sanitizer sees;
// only when it is contended does it call into Qt.
void QBasicMutex::lockInternal() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QBasicMutex *)>("_ZN11QBasicMutex12lockInternalEv");
    real(this);
    __tsan_acquire(this);
}

bool QBasicMutex::lockInternal(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QBasicMutex *, int)>("_ZN11QBasicMutex12lockInternalEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QBasicMutex::unlockInternal() noexcept
{
    static const auto real = qtFunction<void (*)(QBasicMutex *)>("_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(this);
    real(this);
}

// The end of run(): the thread's finished() is emitted in the thread itself
// after run() returned, and a successful wait() follows it.
void QThread::start(Priority priority)
{
    static const auto real = qtFunction<void (*)(QThread *, Priority)>("_ZN7QThread5startENS_8PriorityE");
    if (!property("_tsan_end").isValid()) {
        setProperty("_tsan_end", true);
        connect(this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    }
    real(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = qtFunction<bool (*)(QThread *, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto real = qtFunction<bool (*)(QThread *, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = real(this, time);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
