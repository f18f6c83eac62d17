#include "upload/uploadtask.h"
#include "upload/wcsprotocol.h"

#include <QtTest>

class TestWcsProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void crc32_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<quint32>("crc");
        QTest::newRow("empty") << QByteArray() << quint32(0);
        QTest::newRow("check value") << QByteArray("123456789") << quint32(0xCBF43926u);
        QTest::newRow("one byte") << QByteArray("a") << quint32(0xE8B7BE43u);
        QTest::newRow("fox")
            << QByteArray("The quick brown fox jumps over the lazy dog") << quint32(0x414FA339u);
    }
    void crc32()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, crc);
        QCOMPARE(wcs::crc32Of(bytes.constData(), bytes.size()), crc);
    }

    // Every path of the computation (tables, carry-less folding, the tail)
    // must agree with the plain bit-by-bit definition, at every alignment.
    void crc32AgreesWithDefinition()
    {
        QByteArray data(3 * 1024 * 1024 + 77, '\0');
        quint32 x = 0x9e3779b9u;
        for (int i = 0; i < data.size(); ++i) {
            x = x * 1664525u + 1013904223u;
            data[i] = char(x >> 24);
        }
        auto bitwise = [](const char *p, qint64 n) {
            quint32 c = 0xFFFFFFFFu;
            for (qint64 i = 0; i < n; ++i) {
                c ^= quint8(p[i]);
                for (int k = 0; k < 8; ++k)
                    c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            }
            return c ^ 0xFFFFFFFFu;
        };
        for (int start = 0; start < 17; ++start) {
            for (int len = 0; len < 200; ++len)
                QCOMPARE(wcs::crc32Of(data.constData() + start, len), bitwise(data.constData() + start, len));
        }
        for (const qint64 len : {qint64(1023), qint64(4096 + 15), wcs::kChunkSize, qint64(data.size() - 5)})
            QCOMPARE(wcs::crc32Of(data.constData() + 5, len), bitwise(data.constData() + 5, len));
    }

    void blocks_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("lastLength");
        QTest::newRow("empty") << qint64(0) << qint64(0) << qint64(0);
        QTest::newRow("one byte") << qint64(1) << qint64(1) << qint64(1);
        QTest::newRow("one block") << wcs::kBlockSize << qint64(1) << wcs::kBlockSize;
        QTest::newRow("block and a byte") << wcs::kBlockSize + 1 << qint64(2) << qint64(1);
        QTest::newRow("beyond 2 GiB") << qint64(5) * 1024 * 1024 * 1024 + 7 << qint64(1281) << qint64(7);
    }
    void blocks()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qint64, count);
        QFETCH(qint64, lastLength);
        QCOMPARE(wcs::blockCount(fileSize), count);
        QCOMPARE(wcs::blockLength(fileSize, count - 1), lastLength);
        QCOMPARE(wcs::blockLength(fileSize, count), qint64(0));
        QCOMPARE(wcs::blockLength(fileSize, -1), qint64(0));
    }

    void keptBlocksTakeOnlyStoredOnesInsideTheFile()
    {
        QMap<qint64, UploadBlock> map;
        map.insert(0, UploadBlock{2, QStringLiteral("aa")});
        map.insert(1, UploadBlock{1, QStringLiteral("bb")}); // not stored
        map.insert(2, UploadBlock{2, QString()});           // no ctx
        map.insert(3, UploadBlock{2, QStringLiteral("dd")}); // last block, short
        map.insert(9, UploadBlock{2, QStringLiteral("zz")}); // beyond the file
        const qint64 size = 3 * wcs::kBlockSize + 10;
        const QMap<qint64, QString> kept = wcs::keptBlocks(map, size);
        QCOMPARE(kept.keys(), (QList<qint64>{0, 3}));
        QCOMPARE(wcs::keptBytes(kept, size), wcs::kBlockSize + 10);
    }

    void urls()
    {
        QCOMPARE(wcs::mkblkUrl(QStringLiteral("http://127.0.0.1:9/"), 4194304, 3),
                 QByteArray("http://127.0.0.1:9/mkblk/4194304/3"));
        QCOMPARE(wcs::bputUrl(QStringLiteral("127.0.0.1:9"), QStringLiteral("c0ffee"), 1048576),
                 QByteArray("http://127.0.0.1:9/bput/c0ffee/1048576"));
        // A store's context is opaque: "-", "_", "." and "~" stay, everything
        // else in it is percent-encoded (upper-case hex).
        QCOMPARE(wcs::bputUrl(QStringLiteral("http://h"), QStringLiteral("aB-_x.~9=="), 0),
                 QByteArray("http://h/bput/aB-_x.~9%3D%3D/0"));
        QCOMPARE(wcs::bputUrl(QStringLiteral("http://h"), QStringLiteral("a/b+c?d%e f"), 7),
                 QByteArray("http://h/bput/a%2Fb%2Bc%3Fd%25e%20f/7"));
        QCOMPARE(wcs::mkfileUrl(QStringLiteral("http://h"), 12), QByteArray("http://h/mkfile/12"));
        QCOMPARE(wcs::mkfileBody({QStringLiteral("a"), QStringLiteral("b")}), QByteArray("a,b"));
    }

    void chunkAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("first");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("ctx");
        const QByteArray good = R"({"ctx":"ab12","checksum":"x","crc32":305419896,"offset":2048})";
        // What public stores hand out: URL-safe Base64 well over 64 characters.
        const QString base64 = QStringLiteral(
            "-_-_AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0-P0BB"
            "QkNERUZHSElKS0xNTk9QUVJTVFU=");
        const auto v = [](wcs::ChunkVerdict x) { return int(x); };
        QTest::newRow("stored") << 200 << good << false << v(wcs::ChunkVerdict::Accepted) << "ab12";
        QTest::newRow("long url-safe base64 kept as given")
            << 200
            << QByteArray("{\"ctx\":\"" + base64.toLatin1() + "\",\"crc32\":305419896,\"offset\":2048}")
            << false << v(wcs::ChunkVerdict::Accepted) << base64;
        QTest::newRow("slash and percent kept as given")
            << 200 << QByteArray(R"({"ctx":"a/b%2F+c","crc32":305419896,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Accepted) << "a/b%2F+c";
        QTest::newRow("crc mismatch")
            << 200 << QByteArray(R"({"ctx":"ab12","crc32":1,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("offset mismatch")
            << 200 << QByteArray(R"({"ctx":"ab12","crc32":305419896,"offset":1024})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("empty ctx")
            << 200 << QByteArray(R"({"ctx":"","crc32":305419896,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("ctx not a text")
            << 200 << QByteArray(R"({"ctx":12,"crc32":305419896,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        // A comma could not be told apart in the mkfile list or in ctxStr.
        QTest::newRow("ctx with a comma")
            << 200 << QByteArray(R"({"ctx":"a,b","crc32":305419896,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        // Numbers beyond the integers' range match nothing (and do not wrap).
        QTest::newRow("crc beyond 32 bits")
            << 200 << QByteArray(R"({"ctx":"ab12","crc32":4600387192,"offset":2048})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("huge numbers")
            << 200 << QByteArray(R"({"ctx":"ab12","crc32":1e300,"offset":-1e300})") << false
            << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("not json") << 200 << QByteArray("ok") << false << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("no answer") << 0 << QByteArray() << false << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("503") << 503 << QByteArray("{}") << true << v(wcs::ChunkVerdict::Resend) << QString();
        QTest::newRow("579 not retried") << 579 << QByteArray("{}") << false << v(wcs::ChunkVerdict::Fatal) << QString();
        QTest::newRow("401") << 401 << QByteArray("{}") << false << v(wcs::ChunkVerdict::Expired) << QString();
        QTest::newRow("400 bput") << 400 << QByteArray("{}") << false << v(wcs::ChunkVerdict::Restart) << QString();
        QTest::newRow("400 mkblk") << 400 << QByteArray("{}") << true << v(wcs::ChunkVerdict::Fatal) << QString();
        QTest::newRow("404") << 404 << QByteArray("{}") << false << v(wcs::ChunkVerdict::Fatal) << QString();
    }
    void chunkAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, first);
        QFETCH(int, verdict);
        QFETCH(QString, ctx);
        const wcs::ChunkAnswer a = wcs::evaluateChunkAnswer(status, body, first, 305419896u, 2048);
        QCOMPARE(int(a.verdict), verdict);
        if (a.verdict == wcs::ChunkVerdict::Accepted)
            QCOMPARE(a.ctx, ctx);
    }

    void fileAnswers()
    {
        QCOMPARE(wcs::evaluateFileAnswer(200, "{}"), wcs::FileVerdict::Assembled);
        QCOMPARE(wcs::evaluateFileAnswer(0, ""), wcs::FileVerdict::Retry);
        QCOMPARE(wcs::evaluateFileAnswer(502, "{}"), wcs::FileVerdict::Retry);
        QCOMPARE(wcs::evaluateFileAnswer(579, "{}"), wcs::FileVerdict::Failed);
        QCOMPARE(wcs::evaluateFileAnswer(400, "{}"), wcs::FileVerdict::BadBlocks);
        QCOMPARE(wcs::evaluateFileAnswer(401, "{}"), wcs::FileVerdict::Failed);
    }
};

QTEST_GUILESS_MAIN(TestWcsProtocol)
#include "tst_wcsprotocol.moc"
