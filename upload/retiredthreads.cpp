#include "upload/retiredthreads.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMap>
#include <QThread>

namespace {

struct Entry
{
    QThread *thread = nullptr;
    std::function<void()> afterEnd;
};

void finishAtApplicationEnd();

class Keeper final
{
public:
    Keeper()
    {
        // Threads that outlive the event loop are waited for briefly when
        // the application object goes (before the libraries they use are
        // torn down at exit) and otherwise left to the process exit.
        if (QCoreApplication::instance())
            qAddPostRoutine(finishAtApplicationEnd);
    }

    void adopt(QThread *thread, std::function<void()> afterEnd)
    {
        if (!thread) {
            if (afterEnd)
                afterEnd();
            return;
        }
        const quint64 id = ++m_lastId;
        m_entries.insert(id, {thread, std::move(afterEnd)});
        // Connected before the state is read, so an end in between is seen
        // either here or through the signal (whichever comes first wins).
        QObject::connect(thread, &QThread::finished, QCoreApplication::instance(),
                         [this, id]() { release(id, -1); }, Qt::QueuedConnection);
        if (thread->isFinished() || !thread->isRunning())
            release(id, 0);
    }

    int pendingCount() const { return m_entries.size(); }

    bool finishAll(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        const QList<quint64> ids = m_entries.keys();
        for (quint64 id : ids)
            release(id, deadline.remainingTime());
        if (!m_entries.isEmpty())
            qWarning() << "channel threads still running at the end:" << m_entries.size();
        return m_entries.isEmpty();
    }

private:
    // Deletes the thread of entry id once it has ended, waiting up to waitMs
    // (-1: until it has) for that.
    void release(quint64 id, qint64 waitMs)
    {
        const auto it = m_entries.find(id);
        if (it == m_entries.end())
            return;
        QThread *thread = it->thread;
        // A thread that has emitted finished is at its very end: waiting for
        // it (waitMs -1) takes no noticeable time.
        if (thread->isRunning() && !thread->wait(QDeadlineTimer(waitMs)))
            return;
        const std::function<void()> afterEnd = std::move(it->afterEnd);
        m_entries.erase(it);
        delete thread;
        if (afterEnd)
            afterEnd();
    }

    QMap<quint64, Entry> m_entries;
    quint64 m_lastId = 0;
};

Keeper &keeper()
{
    static Keeper instance;
    return instance;
}

void finishAtApplicationEnd()
{
    keeper().finishAll(2000);
}

} // namespace

namespace retiredthreads {

void adopt(QThread *thread, std::function<void()> afterEnd)
{
    keeper().adopt(thread, std::move(afterEnd));
}

int pendingCount()
{
    return keeper().pendingCount();
}

bool finishAll(int timeoutMs)
{
    return keeper().finishAll(timeoutMs);
}

} // namespace retiredthreads
