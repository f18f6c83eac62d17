#include "upload/retrybackoff.h"

#include <algorithm>

RetryDecision RetryBackoff::recordFailure(qint64 progress, const RetryPolicy &policy)
{
    if (progress > m_bestProgress) {
        m_bestProgress = progress;
        m_failures = 0;
    }
    ++m_failures;
    RetryDecision decision;
    decision.failures = m_failures;
    if (m_failures >= std::max(1, policy.maxFailures)) {
        decision.retry = false;
        return decision;
    }
    // Doubling, capped; the shift stays far below the int range.
    qint64 delay = std::max(0, policy.firstDelayMs);
    for (int i = 1; i < m_failures && delay < policy.maxDelayMs; ++i)
        delay *= 2;
    decision.delayMs = int(std::min<qint64>(delay, std::max(0, policy.maxDelayMs)));
    return decision;
}
