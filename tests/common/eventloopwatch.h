#pragma once

// Measures how long the calling thread's event loop was kept from running:
// a 10 ms timer notes the longest time between two of its ticks (minus the
// interval). A GUI thread that blocks shows as a long gap.
//
//     EventLoopWatch watch;          // starts at once
//     ...run the flow, QTRY_... until it has ended...
//     QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>

class EventLoopWatch final : public QObject
{
public:
    static constexpr int kIntervalMs = 10;

    explicit EventLoopWatch(QObject *parent = nullptr)
        : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
        restart();
    }

    void restart()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_ticks = 0;
        m_timer.start();
    }

    // Also counts the time since the last tick, so a loop that is blocked
    // right now shows too.
    qint64 longestGapMs() const
    {
        return std::max(m_longest, m_clock.elapsed() - m_last - kIntervalMs);
    }
    int ticks() const { return m_ticks; }
    QString describe() const
    {
        return QStringLiteral("event loop blocked for up to %1 ms (%2 ticks in %3 ms)")
            .arg(longestGapMs())
            .arg(m_ticks)
            .arg(m_clock.elapsed());
    }

private:
    void tick()
    {
        const qint64 now = m_clock.elapsed();
        m_longest = std::max(m_longest, now - m_last - kIntervalMs);
        m_last = now;
        ++m_ticks;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_ticks = 0;
};
