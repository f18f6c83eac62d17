#include "upload/uploadinit.h"

#include "account/accountrecord.h"
#include "net/servicehosts.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

namespace {

QString md5(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex());
}

QString sha1Upper(const QString &s)
{
    return QString::fromLatin1(
               QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha1).toHex())
        .toUpper();
}

UploadAccount account(int channel, const QString &uid = QStringLiteral("u100"))
{
    UploadAccount a;
    a.userId = QStringLiteral("u100");
    a.uid = uid;
    a.secretKey = QStringLiteral("SECRET");
    a.channel = channel;
    a.luping = true;
    a.apiHost = QStringLiteral("http://127.0.0.1:9/api");
    a.accountWebHost = QStringLiteral("http://127.0.0.1:9/web");
    a.uploadHostName = QStringLiteral("127.0.0.1:9");
    return a;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path;
}

} // namespace

class TestUploadInit final : public QObject
{
    Q_OBJECT

private slots:
    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::newRow("plain") << "Abc-1_2.3~" << "Abc-1_2.3~";
        QTest::newRow("space") << "a b" << "a+b";
        QTest::newRow("reserved") << "a&b=c/d%" << "a%26b%3Dc%2Fd%25";
        QTest::newRow("chinese") << QStringLiteral("视频") << "%E8%A7%86%E9%A2%91";
    }
    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QCOMPARE(escapeQueryText(text), escaped);
    }

    void titles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("suffix") << "a.mp4" << "a";
        QTest::newRow("two dots") << "a.b.mp4" << "a.b";
        QTest::newRow("no dot") << "movie" << "movie";
    }
    void titles()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(titleOfFileName(name), title);
    }

    void vidHashesAtMostFourMiB_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("hashed");
        QTest::newRow("3 MiB all") << 3 * 1048576 << 3 * 1048576;
        QTest::newRow("10 MiB first 4") << 10 * 1048576 << 4194304;
    }
    void vidHashesAtMostFourMiB()
    {
        QFETCH(int, size);
        QFETCH(int, hashed);
        QTemporaryDir dir;
        QByteArray content(size, '\0');
        for (int i = 0; i < size; ++i)
            content[i] = static_cast<char>('a' + (i * 7) % 26);
        const QString path = writeFile(dir, QStringLiteral("clip.mp4"), content);
        QCOMPARE(contentHashForVid(path, size), md5(content.left(hashed)));

        const QString vid =
            makeVid(QStringLiteral("u100"), QStringLiteral("clip.mp4"), QStringLiteral("7"), size, path);
        const QString a = md5((QStringLiteral("clip7") + QString::number(size)).toUtf8());
        const QString b = md5(content.left(hashed));
        QCOMPARE(vid, QStringLiteral("u100") + a.mid(10, 11) + b.mid(10, 11) + QStringLiteral("_u"));
    }

    // The hashed bytes, small files: every CR goes, lone or in a pair.
    void vidReadsTextMode_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("hashed");
        QTest::newRow("pairs and lone cr") << QByteArray("a\r\nb\rc\n") << QByteArray("a\nbc\n");
        QTest::newRow("cr before pair") << QByteArray("\r\r\nx") << QByteArray("\nx");
        QTest::newRow("trailing cr") << QByteArray("ab\r") << QByteArray("ab");
        QTest::newRow("only pairs") << QByteArray("\r\n\r\n") << QByteArray("\n\n");
        QTest::newRow("only crs") << QByteArray("\r\r\r") << QByteArray();
        QTest::newRow("lf cr") << QByteArray("a\n\rb") << QByteArray("a\nb");
        QTest::newRow("no cr") << QByteArray("plain\n") << QByteArray("plain\n");
    }
    void vidReadsTextMode()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, hashed);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("t.ts"), content);
        QCOMPARE(contentHashForVid(path, content.size()), md5(hashed));
    }

    // Large files around the 4 MiB limit. The expected bytes come from the
    // rule itself: drop every CR from the whole file, then take the first
    // min(size, 4194304). The CRs removed inside the first 4 MiB are made
    // up from the bytes after them.
    void vidAroundTheLimit_data()
    {
        const int limit = int(kVidHashLimit);
        QTest::addColumn<QByteArray>("content");
        // Bytes 0..255 repeated: one CR in every 256 bytes, a CR LF pair
        // nowhere; then pairs patched in.
        auto cycle = [](int size) {
            QByteArray b(size, '\0');
            for (int i = 0; i < size; ++i)
                b[i] = char(i & 0xff);
            return b;
        };
        auto withPairs = [](QByteArray b) {
            for (int i = 1000; i + 1 < b.size(); i += 4099) {
                b[i] = '\r';
                b[i + 1] = '\n';
            }
            return b;
        };
        QTest::newRow("3 MiB, lone crs and pairs") << withPairs(cycle(3 * 1048576));
        QTest::newRow("exactly 4 MiB") << withPairs(cycle(limit));
        QTest::newRow("4 MiB + 1") << withPairs(cycle(limit + 1));
        QTest::newRow("10 MiB") << withPairs(cycle(10 * 1048576));
        QByteArray lastIsCr(limit + 100, 'v');
        lastIsCr[limit - 1] = '\r';
        QTest::newRow("cr is the last byte of the first 4 MiB") << lastIsCr;
        QByteArray pairAcross(limit + 100, 'w');
        pairAcross[limit - 1] = '\r';
        pairAcross[limit] = '\n';
        QTest::newRow("pair across the limit") << pairAcross;
        QByteArray crsAfter(limit + 20000, 'x');
        for (int i = 0; i < 20000; i += 2)
            crsAfter[i] = '\r';
        for (int i = limit; i < crsAfter.size(); i += 3)
            crsAfter[i] = '\r';
        QTest::newRow("many crs ahead, more behind the limit") << crsAfter;
        QByteArray fewerLeft(limit + 10, '\r');
        fewerLeft[5] = 'a';
        fewerLeft[limit + 9] = 'z';
        QTest::newRow("the file ends first") << fewerLeft;
    }
    void vidAroundTheLimit()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("big.mp4"), content);
        QByteArray expected = content;
        expected.replace('\r', QByteArray());
        expected.truncate(int(qMin<qint64>(content.size(), kVidHashLimit)));
        QCOMPARE(contentHashForVid(path, content.size()), md5(expected));

        // The same bytes as Qt's own text mode reads them.
        QFile text(path);
        QVERIFY(text.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(text.read(qMin<qint64>(content.size(), kVidHashLimit)), expected);

        const QString vid =
            makeVid(QStringLiteral("u100"), QStringLiteral("big.mp4"), QStringLiteral("7"), content.size(), path);
        const QString a = md5((QStringLiteral("big7") + QString::number(content.size())).toUtf8());
        QCOMPARE(vid, QStringLiteral("u100") + a.mid(10, 11) + md5(expected).mid(10, 11) + QStringLiteral("_u"));
    }

    void vidOfUnreadableFileHashesNothing()
    {
        QTemporaryDir dir;
        QCOMPARE(contentHashForVid(dir.filePath(QStringLiteral("gone")), 7), md5(QByteArray()));
    }

    void vidDependsOnCategory()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("x.mp4"), QByteArray(100, 'x'));
        const QString v1 = makeVid(QStringLiteral("u1"), QStringLiteral("x.mp4"), QStringLiteral("1"), 100, path);
        const QString v2 = makeVid(QStringLiteral("u1"), QStringLiteral("x.mp4"), QStringLiteral("1"), 100, path);
        const QString v3 = makeVid(QStringLiteral("u1"), QStringLiteral("x.mp4"), QStringLiteral("2"), 100, path);
        QCOMPARE(v1, v2);
        QVERIFY(v1 != v3);
    }

    void uuidAndDate()
    {
        QCOMPARE(makeUuid(QStringLiteral("a.mp4"), 1511856000000),
                 QString::fromLatin1(QCryptographicHash::hash("uuid:a.mp41511856000000",
                                                              QCryptographicHash::Sha1)
                                         .toHex()));
        QCOMPARE(makeOssDate(), QDate::currentDate().toString(QStringLiteral("yyyyMMdd")));
    }

    void bookkeeping_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("child");
        QTest::newRow("own account") << "u100" << "";
        QTest::newRow("child account") << "c7" << "c7";
    }
    void bookkeeping()
    {
        QFETCH(QString, uid);
        QFETCH(QString, child);
        const BookkeepingUrls urls = makeBookkeepingUrls(account(1, uid), QStringLiteral("V1"),
                                                         QStringLiteral("my clip"), QStringLiteral("9"));
        const QString sign = md5("127.0.0.1:9V1");
        QCOMPARE(urls.checkUrl, "http://127.0.0.1:9/web/uc/video/checkUploadingVideo?vid=V1&sign=" + sign);
        const QString tail = "?vid=V1&sign=" + sign + "&title=my+clip&childuserid=" + child + "&cataid=9";
        QCOMPARE(urls.insertUrl, "http://127.0.0.1:9/web/uc/video/insertUploadingVideo" + tail);
        QCOMPARE(urls.cancelUrl, "http://127.0.0.1:9/web/uc/video/cancelUploadingVideo" + tail);
    }

    // A deployment's hosts reach the account: the init goes to its API
    // host, the bookkeeping to its account-web host, and the sign takes the
    // upload host's bare name (host and port) as its prefix.
    void accountTakesTheConfiguredHosts()
    {
        qunsetenv("ZAVIX_SERVICE_URL");
        hosts::HostTable table = hosts::HostTable::defaults();
        table.base[size_t(hosts::Kind::Api)] = QStringLiteral("https://api.example.test");
        table.base[size_t(hosts::Kind::AccountWeb)] = QStringLiteral("http://my.example.test");
        table.base[size_t(hosts::Kind::Upload)] = QStringLiteral("http://up.example.test:9000");
        hosts::useHosts(table);
        AccountRecord record;
        record.userId = QStringLiteral("u100");
        record.uploadType = QStringLiteral("1");
        const UploadAccount a = UploadAccount::fromRecord(record, false);
        hosts::useHosts(hosts::HostTable::defaults());
        QCOMPARE(a.apiHost, QStringLiteral("https://api.example.test"));
        QCOMPARE(a.accountWebHost, QStringLiteral("http://my.example.test"));
        QCOMPARE(a.uploadHostName, QStringLiteral("up.example.test:9000"));
        const BookkeepingUrls urls = makeBookkeepingUrls(a, QStringLiteral("V1"), QStringLiteral("t"), QStringLiteral("9"));
        QCOMPARE(urls.checkUrl, "http://my.example.test/uc/video/checkUploadingVideo?vid=V1&sign="
                     + md5("up.example.test:9000V1"));
    }

    void initUrls_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("fileid");
        QTest::addColumn<QString>("signText");
        QTest::addColumn<QString>("queryHead");
        QTest::addColumn<QString>("endpoint");
        const QString name = QStringLiteral("我的 片.mp4");
        const QString title = QStringLiteral("我的 片");
        const QString escName = QStringLiteral("%E6%88%91%E7%9A%84+%E7%89%87.mp4");
        const QString escTitle = QStringLiteral("%E6%88%91%E7%9A%84+%E7%89%87");
        QTest::newRow("wcs new")
            << 1 << QString()
            << "cataid=9&filename=" + name + "&filesize=5&luping=1&ptime=1511856000000&title=" + title
                   + "&uploadType=client_wcs_chunk&vid=V1SECRET"
            << "cataid=9&describ=&filename=" + escName + "&filesize=5&luping=1&ptime=1511856000000&sign=%1&tag=&title="
                   + escTitle + "&uploadType=client_wcs_chunk&vid=V1"
            << "http://127.0.0.1:9/api/v2/uploadvideo_wcs/c7/init";
        QTest::newRow("wcs resume")
            << 1 << QStringLiteral("F9")
            << "cataid=9&dateStr=D1&fileid=F9&filename=" + name
                   + "&filesize=5&luping=1&ptime=1511856000000&title=" + title
                   + "&uploadType=client_wcs_chunk&vid=V1SECRET"
            << "cataid=9&dateStr=D1&describ=&fileid=F9&filename=" + escName
                   + "&filesize=5&luping=1&ptime=1511856000000&sign=%1&tag=&title=" + escTitle
                   + "&uploadType=client_wcs_chunk&vid=V1"
            << "http://127.0.0.1:9/api/v2/uploadvideo_wcs/c7/init";
        QTest::newRow("oss")
            << 0 << QString()
            << "cataid=9&filename=" + name + "&filesize=5&isSts=N&luping=1&ptime=1511856000000&title="
                   + title + "&uploadType=client_aliyun_chunk&vid=V1SECRET"
            << "cataid=9&filename=" + escName + "&filesize=5&isSts=N&luping=1&ptime=1511856000000&sign=%1&title="
                   + escTitle + "&uploadType=client_aliyun_chunk&vid=V1"
            << "http://127.0.0.1:9/api/v2/aliyunoss/c7/init";
    }
    void initUrls()
    {
        QFETCH(int, channel);
        QFETCH(QString, fileid);
        QFETCH(QString, signText);
        QFETCH(QString, queryHead);
        QFETCH(QString, endpoint);
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("我的 片.mp4"), "12345");
        const InitRequest r = buildInitRequest(account(channel, QStringLiteral("c7")), path,
                                               QStringLiteral("9"), QStringLiteral("V1"), fileid,
                                               QStringLiteral("D1"), 1511856000000);
        QCOMPARE(r.signText, signText);
        QCOMPARE(r.url, endpoint + "?" + queryHead.arg(sha1Upper(signText)));
    }

    void spaceRule_data()
    {
        QTest::addColumn<qint64>("space");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("code");
        QTest::newRow("equal") << qint64(1000) << qint64(1000) << 1;
        QTest::newRow("one more") << qint64(1001) << qint64(1000) << 5;
        QTest::newRow("just below margin") << qint64(1000 + 314572799) << qint64(1000) << 5;
        QTest::newRow("margin") << qint64(1000 + 314572800) << qint64(1000) << 2;
        QTest::newRow("zero space") << qint64(0) << qint64(1) << 1;
        QTest::newRow("huge file") << qint64(9000000000000000000LL)
                                   << qint64(8999999999999999000LL) << 5;
    }
    void spaceRule()
    {
        QFETCH(qint64, space);
        QFETCH(qint64, size);
        QFETCH(int, code);
        QCOMPARE(spaceRuleCode(space, size), code);
    }

    void initAnswers_data()
    {
        QTest::addColumn<bool>("requestOk");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("code");
        QTest::newRow("enough")
            << true << R"({"code":200,"data":{"remainSpace":1e12,"fileid":"F"}})" << true << 2;
        QTest::newRow("warning") << true << R"({"code":200,"data":{"remainSpace":2000.7}})" << true << 5;
        QTest::newRow("no space") << true << R"({"code":200,"data":{"remainSpace":0}})" << false << 1;
        QTest::newRow("no data") << true << R"({"code":200})" << false << 1;
        QTest::newRow("ptime") << true << R"({"code":403,"message":"ptime is too old."})" << false << 3;
        QTest::newRow("ptime other case") << true << R"({"code":403,"message":"Ptime is too old."})" << false << 0;
        QTest::newRow("rejected") << true << R"({"code":500})" << false << 0;
        QTest::newRow("not json") << true << "oops" << false << 0;
        QTest::newRow("transfer failed") << false << R"({"code":200})" << false << 0;
    }
    void initAnswers()
    {
        QFETCH(bool, requestOk);
        QFETCH(QString, body);
        QFETCH(bool, ok);
        QFETCH(int, code);
        const InitAnswer a = evaluateInitAnswer(requestOk, body, 1000);
        QCOMPARE(a.ok, ok);
        QCOMPARE(a.code, code);
    }

    void initAnswerFields()
    {
        const InitAnswer a = evaluateInitAnswer(
            true, R"({"code":200,"data":{"remainSpace":5e9,"fileid":"F","dateStr":"D","uploadToken":"T","host":"h"}})", 10);
        QVERIFY(a.accepted);
        QCOMPARE(a.remainSpace, qint64(5000000000));
        QCOMPARE(a.text("fileid"), QStringLiteral("F"));
        QCOMPARE(a.text("host"), QStringLiteral("h"));
        QCOMPARE(a.text("bucketName"), QString());
    }
};

QTEST_GUILESS_MAIN(TestUploadInit)
#include "tst_uploadinit.moc"
