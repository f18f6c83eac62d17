#pragma once

#include <QtGlobal>

// How the queue retries a row whose start failed: the first retry after
// firstDelayMs, each further one after twice the delay before, at most
// maxDelayMs; after maxFailures failures in a row the row is no longer
// retried and waits for the user's start.
struct RetryPolicy
{
    int firstDelayMs = 1000;
    int maxDelayMs = 60000;
    int maxFailures = 8;
};

struct RetryDecision
{
    bool retry = true; // false: the row has failed too often and waits for a manual start
    int delayMs = 0;   // when retrying: the wait before the row may start again
    int failures = 0;  // failures in a row, this one included
};

// The failure count of one row.
class RetryBackoff final
{
public:
    // A start of the row failed while the row held `progress` bytes. More
    // bytes than the row ever held before means the failed start still got
    // somewhere: the count starts again from this failure.
    RetryDecision recordFailure(qint64 progress, const RetryPolicy &policy);
    // A success or a start by the user.
    void reset() { m_failures = 0; }
    int failures() const { return m_failures; }

private:
    int m_failures = 0;
    qint64 m_bestProgress = -1;
};
