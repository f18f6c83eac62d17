#pragma once

// Faults on demand and the request log.

#include "devservice/devservice.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace devsvc {

struct CannedAnswer
{
    int status = 500;
    QByteArray body;
};

class FaultTable final
{
public:
    enum class Kind { Answer, ResetAfter, Delay, Stall };

    void add(Kind kind, const QString &pathPattern, const QString &method, int count,
             int status, const QByteArray &body, qint64 amount);
    void clear();

    // Each call consumes one use of the first matching rule of its kind.
    std::optional<CannedAnswer> takeAnswer(const QString &method, const QString &path);
    std::optional<qint64> takeResetAfter(const QString &method, const QString &path);
    std::optional<int> takeDelay(const QString &method, const QString &path);
    bool takeStall(const QString &method, const QString &path);

    // Blocks until releaseStalls() or shutdown(); false when shut down.
    bool holdStall();
    void releaseStalls();
    int stalledCount() const;
    void shutdown();  // releases everything for good
    void reopen();    // after a new start

    // Throttling of request bodies (all connections together).
    void setBandwidth(qint64 bytesPerSecond);
    void throttle(size_t bytes);

private:
    struct Rule
    {
        Kind kind;
        QRegularExpression path;
        QString method;
        int remaining; // < 0: unlimited
        int status;
        QByteArray body;
        qint64 amount;
    };
    Rule *match(Kind kind, const QString &method, const QString &path);

    mutable std::mutex m_mutex;
    QList<Rule> m_rules;
    std::condition_variable m_stallCv;
    quint64 m_stallGeneration = 0;
    int m_stalled = 0;
    bool m_shutdown = false;

    std::mutex m_rateMutex;
    std::atomic<qint64> m_rate{0};
    qint64 m_nextFreeUs = 0;
};

class RequestLog final
{
public:
    void append(const RequestLogEntry &entry);
    QList<RequestLogEntry> all() const;
    QList<RequestLogEntry> matching(const QString &pathPattern) const;
    bool waitFor(const QString &pathPattern, int timeoutMs);
    void clear();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    QList<RequestLogEntry> m_entries;
};

} // namespace devsvc
