// The pure parts of the OSS channel: the part table, the object key and the
// callback header value.

#include "upload/aliyunuploadthread.h"

#include <QtTest>

namespace {
constexpr qint64 kMiB = 1048576;
}

class TestAliyunPlan final : public QObject
{
    Q_OBJECT

private slots:
    void partTable_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qulonglong>("partSize");
        QTest::addColumn<uint>("threads");
        QTest::newRow("one byte") << qint64(1) << qulonglong(1) << 1u;
        QTest::newRow("1 MiB - 1") << kMiB - 1 << qulonglong(kMiB - 1) << 1u;
        QTest::newRow("exactly 1 MiB: one part") << kMiB << qulonglong(kMiB) << 1u;
        QTest::newRow("1 MiB + 1: 1 MiB parts") << kMiB + 1 << qulonglong(kMiB) << 2u;
        QTest::newRow("100 MiB") << 100 * kMiB << qulonglong(kMiB) << 2u;
        QTest::newRow("100 MiB + 1 byte (M still 100)") << 100 * kMiB + 1 << qulonglong(kMiB) << 2u;
        QTest::newRow("101 MiB") << 101 * kMiB << qulonglong(kMiB) << 3u;
        QTest::newRow("199 MiB") << 199 * kMiB << qulonglong(kMiB) << 3u;
        QTest::newRow("200 MiB") << 200 * kMiB << qulonglong(2 * kMiB) << 3u;
        QTest::newRow("500 MiB") << 500 * kMiB << qulonglong(5 * kMiB) << 3u;
        QTest::newRow("1024 MiB") << 1024 * kMiB << qulonglong(10 * kMiB) << 3u;
        QTest::newRow("1024 MiB + 1 byte") << 1024 * kMiB + 1 << qulonglong(10 * kMiB) << 3u;
        QTest::newRow("1025 MiB") << 1025 * kMiB << qulonglong(10 * kMiB) << 3u;
        QTest::newRow("2047 MiB") << 2047 * kMiB << qulonglong(10 * kMiB) << 3u;
        QTest::newRow("2048 MiB") << 2048 * kMiB << qulonglong(20 * kMiB) << 3u;
        QTest::newRow("4096 MiB") << 4096 * kMiB << qulonglong(40 * kMiB) << 3u;
    }
    void partTable()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qulonglong, partSize);
        QFETCH(uint, threads);
        const OssPartPlan plan = ossPartPlan(fileSize);
        QCOMPARE(qulonglong(plan.partSize), partSize);
        QCOMPARE(uint(plan.threadNum), threads);
    }

    // The store takes at most 10000 parts: the table never asks for more,
    // up to files of several TiB.
    void partCountStaysWithinTheStoreLimit()
    {
        for (qint64 mib : {qint64(1), qint64(100), qint64(101), qint64(1023), qint64(1024), qint64(1025),
                           qint64(10239), qint64(65535), qint64(4 * 1024 * 1024)}) {
            for (qint64 extra : {qint64(0), kMiB - 1}) {
                const qint64 size = mib * kMiB + extra;
                const OssPartPlan plan = ossPartPlan(size);
                QVERIFY(plan.partSize >= 100 * 1024 || size <= kMiB);
                const qint64 parts = (size + qint64(plan.partSize) - 1) / qint64(plan.partSize);
                QVERIFY2(parts <= 10000, qPrintable(QString::number(size)));
            }
        }
    }

    void objectKey_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("key");
        QTest::newRow("lower case") << "clip.mp4" << "mp4" << "uploadvideo/20261210/v1.mp4";
        QTest::newRow("capitals kept") << "Clip.MP4" << "MP4" << "uploadvideo/20261210/v1.MP4";
        QTest::newRow("last dot only") << "a.b.Mov" << "Mov" << "uploadvideo/20261210/v1.Mov";
        QTest::newRow("chinese name") << "课程 一.flv" << "flv" << "uploadvideo/20261210/v1.flv";
    }
    void objectKey()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, suffix);
        QFETCH(QString, key);
        UploadTask task;
        task.fileName = fileName;
        task.vid = QStringLiteral("v1");
        task.date = QStringLiteral("20261210");
        QCOMPARE(ossFileSuffix(fileName), suffix);
        QCOMPARE(ossObjectKey(task), key);
    }

    void callbackIsPaddedStandardBase64_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("base64");
        QTest::newRow("no padding") << "abc" << QByteArray("YWJj");
        QTest::newRow("one pad") << "ab" << QByteArray("YWI=");
        QTest::newRow("two pads") << "a" << QByteArray("YQ==");
        // Bytes that need "+" and "/" of the standard alphabet.
        QTest::newRow("plus") << "~~~" << QByteArray("fn5+");
        QTest::newRow("slash") << "???" << QByteArray("Pz8/");
        QTest::newRow("callback json")
            << R"({"callbackUrl":"http://127.0.0.1:1/uc/video/ossCallback","callbackBody":"size=${size}"})"
            << QByteArray("eyJjYWxsYmFja1VybCI6Imh0dHA6Ly8xMjcuMC4wLjE6MS91Yy92aWRlby9vc3NDYWxsYmFjayIsImNhbGxiYWNrQm9keSI6InNpemU9JHtzaXplfSJ9");
    }
    void callbackIsPaddedStandardBase64()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, base64);
        QCOMPARE(ossCallbackHeaderValue(text), base64);
        QCOMPARE(QString::fromUtf8(QByteArray::fromBase64(base64)), text);
    }
};

QTEST_GUILESS_MAIN(TestAliyunPlan)
#include "tst_aliyunplan.moc"
