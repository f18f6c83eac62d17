#include "net/releasedthreads.h"

#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kSweepMs = 100;

class Reaper final : public QObject
{
public:
    Reaper()
    {
        m_timer.setInterval(kSweepMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { sweep(); });
    }

    void add(QThread *thread)
    {
        if (thread->isFinished()) {
            delete thread;
            return;
        }
        m_threads.append(thread);
        if (!m_timer.isActive())
            m_timer.start();
    }

    int count()
    {
        prune();
        return m_threads.size();
    }

    bool finish(int msecs)
    {
        const QDeadlineTimer deadline(msecs);
        for (const QPointer<QThread> &thread : qAsConst(m_threads))
            if (thread)
                thread->wait(deadline);
        sweep();
        return m_threads.isEmpty();
    }

private:
    Q_DISABLE_COPY(Reaper)

    void prune()
    {
        m_threads.removeAll(QPointer<QThread>());
    }

    void sweep()
    {
        prune();
        QList<QPointer<QThread>> running;
        for (const QPointer<QThread> &thread : qAsConst(m_threads)) {
            // isFinished() turns true only after finished() has been emitted
            // and the thread has left its run: deleting it now is safe.
            if (thread->isFinished())
                delete thread.data();
            else
                running.append(thread);
        }
        m_threads = running;
        if (m_threads.isEmpty())
            m_timer.stop();
    }

    QList<QPointer<QThread>> m_threads;
    QTimer m_timer;
};

Reaper &reaper()
{
    // Made by the first caller (the GUI thread) and kept until the end.
    static Reaper *instance = new Reaper;
    return *instance;
}

} // namespace

void releaseThread(QThread *thread)
{
    if (thread)
        reaper().add(thread);
}

int releasedThreadCount()
{
    return reaper().count();
}

bool finishReleasedThreads(int msecs)
{
    return reaper().finish(msecs);
}
