#include "upload/uploaddisplay.h"

#include <QtTest>

using namespace uploaddisplay;

class TestUploadDisplay final : public QObject
{
    Q_OBJECT

private slots:
    void sizes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0B";
        QTest::newRow("1023") << qint64(1023) << "1023B";
        QTest::newRow("1024") << qint64(1024) << "1.00K";
        QTest::newRow("12.35K") << qint64(12646) << "12.35K";
        QTest::newRow("1 MiB") << qint64(1048576) << "1.00M";
        QTest::newRow("700 MiB") << qint64(700) * 1048576 << "700.00M";
        QTest::newRow("1 GiB") << qint64(1073741824) << "1.00G";
        QTest::newRow("1.5 GiB") << qint64(1610612736) << "1.50G";
    }
    void sizes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(sizeText(bytes), text);
    }

    void progress_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << qint64(0) << qint64(100) << "0%";
        QTest::newRow("truncated") << qint64(459) << qint64(1000) << "45%";
        QTest::newRow("full") << qint64(1000) << qint64(1000) << "100%";
        QTest::newRow("beyond") << qint64(5000) << qint64(1000) << "100%";
        QTest::newRow("empty file") << qint64(10) << qint64(0) << "0%";
        QTest::newRow("negative") << qint64(-10) << qint64(100) << "0%";
    }
    void progress()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(QString, text);
        QCOMPARE(progressText(done, total), text);
    }

    void speeds_data()
    {
        QTest::addColumn<qint64>("counter");
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("text");
        QTest::newRow("idle") << qint64(0) << 0 << "0KB/S";
        QTest::newRow("below one") << qint64(2047) << 0 << "0KB/S";
        QTest::newRow("512") << qint64(512) * 2048 << 512 << "512KB/S";
        QTest::newRow("1023") << qint64(1023) * 2048 << 1023 << "1023KB/S";
        QTest::newRow("1024") << qint64(1024) * 2048 << 1024 << "1.00MB/S";
        QTest::newRow("1.5M") << qint64(1536) * 2048 << 1536 << "1.50MB/S";
    }
    void speeds()
    {
        QFETCH(qint64, counter);
        QFETCH(int, speed);
        QFETCH(QString, text);
        QCOMPARE(speedFromCounter(counter), speed);
        QCOMPARE(speedText(speed), text);
    }

    void remaining_data()
    {
        QTest::addColumn<qint64>("left");
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("text");
        const QString day = QStringLiteral("超过一天");
        QTest::newRow("speed 0") << qint64(1024) << 0 << day;
        QTest::newRow("5 s") << qint64(5 * 1024) << 1 << "00:00:05";
        QTest::newRow("247 s") << qint64(247 * 1024) << 1 << "00:04:07";
        QTest::newRow("3600 s") << qint64(3600) * 1024 << 1 << "01:00:00";
        QTest::newRow("86399 s") << qint64(86399) * 1024 << 1 << "23:59:59";
        QTest::newRow("86400 s") << qint64(86400) * 1024 << 1 << day;
        QTest::newRow("already beyond") << qint64(-5 * 1024) << 1 << day;
        QTest::newRow("fast") << qint64(1024) * 1024 << 2048 << "00:00:00";
    }
    void remaining()
    {
        QFETCH(qint64, left);
        QFETCH(int, speed);
        QFETCH(QString, text);
        const qint64 size = qint64(1) << 40;
        QCOMPARE(remainingTimeText(size, size - left, speed), text);
    }

    void ratings_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("rating");
        QTest::newRow("0") << 0 << QStringLiteral("未知");
        QTest::newRow("1") << 1 << QStringLiteral("欠佳");
        QTest::newRow("49") << 49 << QStringLiteral("欠佳");
        QTest::newRow("50") << 50 << QStringLiteral("良好");
        QTest::newRow("499") << 499 << QStringLiteral("良好");
        QTest::newRow("500") << 500 << QStringLiteral("优秀");
    }
    void ratings()
    {
        QFETCH(int, speed);
        QFETCH(QString, rating);
        QCOMPARE(networkRating(speed), rating);
    }

    void statusLines()
    {
        const QString b = QStringLiteral("<font color = #26a0f5>%1</font>");
        QCOMPARE(statusLineReset(),
                 QStringLiteral("正在上传(%1)，等待上传(%2)，网络情况(%3)，上传速度(%4)")
                     .arg(b.arg(0), b.arg(0), b.arg(QStringLiteral("未知")), b.arg("0KB/S")));
        QCOMPARE(statusLine(2, 3, QStringLiteral("优秀"), 1536),
                 QStringLiteral("正在上传(%1)，等待上传(%2)，网络情况(%3)，上传速度(%4)")
                     .arg(b.arg(2), b.arg(3), b.arg(QStringLiteral("优秀")), b.arg("1.50MB/S")));
    }
};

QTEST_GUILESS_MAIN(TestUploadDisplay)
#include "tst_uploaddisplay.moc"
