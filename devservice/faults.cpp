#include "devservice/faults.h"

#include <chrono>
#include <thread>

namespace devsvc {

namespace {

qint64 steadyMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QRegularExpression wholePath(const QString &pattern)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern));
}

} // namespace

void FaultTable::add(Kind kind, const QString &pathPattern, const QString &method, int count,
                     int status, const QByteArray &body, qint64 amount)
{
    if (count == 0)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.append(Rule{kind, wholePath(pathPattern), method.toUpper(), count, status, body, amount});
}

void FaultTable::clear()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rules.clear();
    }
    setBandwidth(0);
    releaseStalls();
}

FaultTable::Rule *FaultTable::match(Kind kind, const QString &method, const QString &path)
{
    for (int i = 0; i < m_rules.size(); ++i) {
        Rule &r = m_rules[i];
        if (r.kind != kind || r.remaining == 0)
            continue;
        if (!r.method.isEmpty() && r.method != method)
            continue;
        if (!r.path.match(path).hasMatch())
            continue;
        if (r.remaining > 0)
            --r.remaining;
        return &r;
    }
    return nullptr;
}

std::optional<CannedAnswer> FaultTable::takeAnswer(const QString &method, const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Rule *r = match(Kind::Answer, method, path))
        return CannedAnswer{r->status, r->body};
    return std::nullopt;
}

std::optional<qint64> FaultTable::takeResetAfter(const QString &method, const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Rule *r = match(Kind::ResetAfter, method, path))
        return r->amount;
    return std::nullopt;
}

std::optional<int> FaultTable::takeDelay(const QString &method, const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Rule *r = match(Kind::Delay, method, path))
        return int(r->amount);
    return std::nullopt;
}

bool FaultTable::takeStall(const QString &method, const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return match(Kind::Stall, method, path) != nullptr;
}

bool FaultTable::holdStall()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_shutdown)
        return false;
    const quint64 generation = m_stallGeneration;
    ++m_stalled;
    m_stallCv.wait(lock, [&] { return m_shutdown || m_stallGeneration != generation; });
    --m_stalled;
    return !m_shutdown;
}

void FaultTable::releaseStalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_stallGeneration;
    m_stallCv.notify_all();
}

int FaultTable::stalledCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stalled;
}

void FaultTable::shutdown()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutdown = true;
    m_stallCv.notify_all();
}

void FaultTable::reopen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutdown = false;
}

void FaultTable::setBandwidth(qint64 bytesPerSecond)
{
    m_rate.store(bytesPerSecond > 0 ? bytesPerSecond : 0);
    std::lock_guard<std::mutex> lock(m_rateMutex);
    m_nextFreeUs = 0;
}

void FaultTable::throttle(size_t bytes)
{
    const qint64 rate = m_rate.load(std::memory_order_relaxed);
    if (rate <= 0)
        return;
    qint64 until = 0;
    {
        // Reserve a slot on the shared time line, then sleep to its end.
        std::lock_guard<std::mutex> lock(m_rateMutex);
        const qint64 now = steadyMicros();
        // A reader that slept past its slot may catch up within a short
        // window, so that oversleeping does not pull the rate below the cap.
        constexpr qint64 kCatchUpUs = 20000;
        const qint64 start = std::max(now - kCatchUpUs, m_nextFreeUs);
        m_nextFreeUs = start + qint64(bytes) * 1000000 / rate;
        until = m_nextFreeUs;
    }
    // Sleep in slices so that a raised cap takes effect quickly.
    while (true) {
        const qint64 left = until - steadyMicros();
        if (left <= 0 || m_rate.load(std::memory_order_relaxed) <= 0)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(std::min<qint64>(left, 100000)));
    }
}

void RequestLog::append(const RequestLogEntry &entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_entries.size() >= 100000)
        m_entries.removeFirst(); // bounded: the oldest go first
    m_entries.append(entry);
    m_cv.notify_all();
}

QList<RequestLogEntry> RequestLog::all() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

QList<RequestLogEntry> RequestLog::matching(const QString &pathPattern) const
{
    const QRegularExpression re = wholePath(pathPattern);
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<RequestLogEntry> out;
    for (const RequestLogEntry &e : m_entries)
        if (re.match(e.path).hasMatch())
            out.append(e);
    return out;
}

bool RequestLog::waitFor(const QString &pathPattern, int timeoutMs)
{
    const QRegularExpression re = wholePath(pathPattern);
    std::unique_lock<std::mutex> lock(m_mutex);
    auto found = [&] {
        for (const RequestLogEntry &e : m_entries)
            if (re.match(e.path).hasMatch())
                return true;
        return false;
    };
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), found);
}

void RequestLog::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

} // namespace devsvc
