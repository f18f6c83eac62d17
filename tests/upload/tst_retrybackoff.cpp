// The retry decision of the queue, without a window: the delays double from
// one second up to a minute, the eighth failure in a row gives up, and a
// failed start that still got further than ever before counts the streak
// from one again.

#include "upload/retrybackoff.h"

#include <QtTest>

Q_DECLARE_METATYPE(QList<qint64>)

class TestRetryBackoff final : public QObject
{
    Q_OBJECT

private slots:
    void decisions_data()
    {
        QTest::addColumn<QList<qint64>>("progress"); // bytes held at each failure
        QTest::addColumn<QList<int>>("delays");      // -1: given up
        const QList<qint64> flat{500, 500, 500, 500, 500, 500, 500, 500, 500};
        QTest::newRow("same place every time")
            << flat << QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, -1, -1};
        QTest::newRow("further each time")
            << QList<qint64>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}
            << QList<int>{1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000};
        QTest::newRow("further once, then stuck")
            << QList<qint64>{0, 0, 0, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096}
            << QList<int>{1000, 2000, 4000, 1000, 2000, 4000, 8000, 16000, 32000, 60000, -1};
        QTest::newRow("back to an earlier place counts on")
            << QList<qint64>{100, 0, 100, 50} << QList<int>{1000, 2000, 4000, 8000};
    }
    void decisions()
    {
        QFETCH(QList<qint64>, progress);
        QFETCH(QList<int>, delays);
        RetryBackoff backoff;
        const RetryPolicy policy;
        for (int i = 0; i < progress.size(); ++i) {
            const RetryDecision d = backoff.recordFailure(progress.at(i), policy);
            QCOMPARE(d.retry ? d.delayMs : -1, delays.at(i));
            QCOMPARE(d.failures, backoff.failures());
        }
    }

    // The user's start (or a success) begins a new streak at one second.
    void resetStartsAgain()
    {
        RetryBackoff backoff;
        const RetryPolicy policy;
        for (int i = 0; i < 8; ++i)
            backoff.recordFailure(7, policy);
        QVERIFY(!backoff.recordFailure(7, policy).retry);
        backoff.reset();
        QCOMPARE(backoff.failures(), 0);
        const RetryDecision d = backoff.recordFailure(7, policy);
        QVERIFY(d.retry);
        QCOMPARE(d.delayMs, 1000);
        QCOMPARE(d.failures, 1);
    }

    void otherPolicy()
    {
        RetryBackoff backoff;
        RetryPolicy policy;
        policy.firstDelayMs = 30;
        policy.maxDelayMs = 100;
        policy.maxFailures = 4;
        QList<int> got;
        for (int i = 0; i < 5; ++i) {
            const RetryDecision d = backoff.recordFailure(0, policy);
            got.append(d.retry ? d.delayMs : -1);
        }
        QCOMPARE(got, (QList<int>{30, 60, 100, -1, -1}));
    }
};

QTEST_APPLESS_MAIN(TestRetryBackoff)
#include "tst_retrybackoff.moc"
