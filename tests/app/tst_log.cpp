#include "app/log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QThread>
#include <QtTest>

#include <atomic>

// Runs the test body inside a scratch current folder with the log handler
// installed and an injected clock; restores everything afterwards.
class LogFixture final
{
public:
    LogFixture()
        : m_previousDir(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        setLogClock([this] { return m_now; });
    }
    ~LogFixture()
    {
        if (m_installed)
            qInstallMessageHandler(m_previousHandler);
        closeLog();
        setLogClock(LogClock());
        QDir::setCurrent(m_previousDir);
    }

    void setNow(const QDateTime &when) { m_now = when; }
    void install()
    {
        m_previousHandler = qInstallMessageHandler(logMessageHandler);
        m_installed = true;
    }
    QString path() const { return m_dir.path(); }

    QByteArray file(const QString &day) const
    {
        QFile f(m_dir.filePath(QStringLiteral("log/%1.txt").arg(day)));
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }

private:
    Q_DISABLE_COPY(LogFixture)
    QTemporaryDir m_dir;
    QString m_previousDir;
    QtMessageHandler m_previousHandler = nullptr;
    bool m_installed = false;
    QDateTime m_now{QDate(2017, 11, 28), QTime(9, 15, 2)};
};

class TestLog final : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat_data();
    void lineFormat();
    void messagesGoToTodaysFile();
    void chineseTextIsUtf8WhateverTheCodePage_data();
    void chineseTextIsUtf8WhateverTheCodePage();
    void runsOfOneDayAppend();
    void rotationAtMidnight();
    void unwritableFolderDropsSilently();
    void openTwiceKeepsOneFile();
    void linesFromManyThreadsStayWhole();
    void noLineLostWhileThreadsCrossMidnight();
};

void TestLog::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("debug") << int(QtDebugMsg) << 0 << "the version: 2.0.0.1"
                           << "[2017-11-28 09:15:02 Debug 0]:the version: 2.0.0.1";
    QTest::newRow("warning") << int(QtWarningMsg) << 12 << "w" << "[2017-11-28 09:15:02 Warning 12]:w";
    QTest::newRow("critical") << int(QtCriticalMsg) << 0 << "c" << "[2017-11-28 09:15:02 Critical 0]:c";
    QTest::newRow("fatal") << int(QtFatalMsg) << 0 << "f" << "[2017-11-28 09:15:02 Fatal 0]:f";
    QTest::newRow("info: empty level, two blanks") << int(QtInfoMsg) << 0 << "i"
                                                   << "[2017-11-28 09:15:02  0]:i";
    QTest::newRow("placeholders stay") << int(QtDebugMsg) << 0 << "50% %1 %2"
                                       << "[2017-11-28 09:15:02 Debug 0]:50% %1 %2";
    QTest::newRow("chinese") << int(QtDebugMsg) << 0 << QStringLiteral("上传成功")
                             << QStringLiteral("[2017-11-28 09:15:02 Debug 0]:上传成功");
}

void TestLog::lineFormat()
{
    QFETCH(int, type);
    QFETCH(int, line);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    const QDateTime when(QDate(2017, 11, 28), QTime(9, 15, 2, 999));
    QCOMPARE(formatLogLine(when, QtMsgType(type), line, message), expected);
}

void TestLog::messagesGoToTodaysFile()
{
    LogFixture fx;
    QVERIFY(openLog());
    QVERIFY(QDir(fx.path() + QStringLiteral("/log")).exists());
    fx.install();
    qDebug() << "vid" << "abc" << 3;
    qInfo("plain info");
    qWarning("careful");
    // Flushed at once: the file holds the lines before the log is closed.
    const QByteArray text = fx.file(QStringLiteral("2017-11-28"));
    QCOMPARE(text, QByteArray("[2017-11-28 09:15:02 Debug 0]:vid abc 3\r\n"
                              "[2017-11-28 09:15:02  0]:plain info\r\n"
                              "[2017-11-28 09:15:02 Warning 0]:careful\r\n"));
}

// The system's narrow code page (Latin-1 here, a Windows code page on a
// user's machine) must not decide the log's encoding.
void TestLog::chineseTextIsUtf8WhateverTheCodePage_data()
{
    QTest::addColumn<QByteArray>("codePage");
    QTest::newRow("utf-8") << QByteArray("UTF-8");
    QTest::newRow("latin-1") << QByteArray("ISO-8859-1");
    QTest::newRow("windows-1252") << QByteArray("windows-1252");
}

void TestLog::chineseTextIsUtf8WhateverTheCodePage()
{
    QFETCH(QByteArray, codePage);
    QTextCodec *const codec = QTextCodec::codecForName(codePage);
    QVERIFY(codec);
    struct LocaleCodecScope
    {
        QTextCodec *previous = QTextCodec::codecForLocale();
        ~LocaleCodecScope() { QTextCodec::setCodecForLocale(previous); }
    } scope;
    QTextCodec::setCodecForLocale(codec);

    LogFixture fx;
    QVERIFY(openLog());
    fx.install();
    qDebug().noquote() << QStringLiteral("上传 课程 第一讲.mp4");
    closeLog();
    QCOMPARE(fx.file(QStringLiteral("2017-11-28")),
             QByteArray("[2017-11-28 09:15:02 Debug 0]:") + QStringLiteral("上传 课程 第一讲.mp4").toUtf8() +
                 QByteArray("\r\n"));
}

void TestLog::runsOfOneDayAppend()
{
    LogFixture fx;
    fx.install();
    QVERIFY(openLog());
    qDebug("first run");
    closeLog();
    qDebug("after close: dropped");
    fx.setNow(QDateTime(QDate(2017, 11, 28), QTime(18, 0, 0)));
    QVERIFY(openLog());
    qDebug("second run");
    closeLog();
    QCOMPARE(fx.file(QStringLiteral("2017-11-28")),
             QByteArray("[2017-11-28 09:15:02 Debug 0]:first run\r\n"
                        "[2017-11-28 18:00:00 Debug 0]:second run\r\n"));
}

void TestLog::rotationAtMidnight()
{
    LogFixture fx;
    fx.setNow(QDateTime(QDate(2017, 11, 28), QTime(23, 59, 58)));
    QVERIFY(openLog());
    fx.install();
    qDebug("before");
    fx.setNow(QDateTime(QDate(2017, 11, 28), QTime(23, 59, 59, 999)));
    qDebug("last second");
    fx.setNow(QDateTime(QDate(2017, 11, 29), QTime(0, 0, 0)));
    qDebug("new day");
    qDebug("still new day");
    QCOMPARE(fx.file(QStringLiteral("2017-11-28")),
             QByteArray("[2017-11-28 23:59:58 Debug 0]:before\r\n"
                        "[2017-11-28 23:59:59 Debug 0]:last second\r\n"));
    QCOMPARE(fx.file(QStringLiteral("2017-11-29")),
             QByteArray("[2017-11-29 00:00:00 Debug 0]:new day\r\n"
                        "[2017-11-29 00:00:00 Debug 0]:still new day\r\n"));
}

void TestLog::unwritableFolderDropsSilently()
{
    LogFixture fx;
    // A plain file where the folder should be: neither the folder nor the
    // log file can be made (this works for every user, root included).
    QFile blocker(fx.path() + QStringLiteral("/log"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(openLog());
    fx.install();
    qDebug("dropped");
    qWarning("dropped too");
    closeLog();
    QCOMPARE(QFileInfo(blocker.fileName()).size(), 0);
    QVERIFY(QFileInfo(blocker.fileName()).isFile());
}

void TestLog::openTwiceKeepsOneFile()
{
    LogFixture fx;
    QVERIFY(openLog());
    QVERIFY(openLog());
    fx.install();
    qDebug("once");
    QCOMPARE(fx.file(QStringLiteral("2017-11-28")), QByteArray("[2017-11-28 09:15:02 Debug 0]:once\r\n"));
}

void TestLog::linesFromManyThreadsStayWhole()
{
    LogFixture fx;
    QVERIFY(openLog());
    fx.install();
    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    QList<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads << QThread::create([t] {
            for (int i = 0; i < kLines; ++i)
                qDebug("thread %d line %d", t, i);
        });
        threads.last()->start();
    }
    for (QThread *t : threads) {
        QVERIFY(t->wait(20000));
        delete t;
    }
    const QList<QByteArray> lines = fx.file(QStringLiteral("2017-11-28")).split('\n');
    QCOMPARE(lines.size(), kThreads * kLines + 1);
    QVERIFY(lines.last().isEmpty());
    QRegularExpression shape(QStringLiteral("^\\[2017-11-28 09:15:02 Debug 0\\]:thread \\d line \\d+\r$"));
    for (int i = 0; i < lines.size() - 1; ++i)
        QVERIFY2(shape.match(QString::fromLatin1(lines[i])).hasMatch(), lines[i].constData());
}

void TestLog::noLineLostWhileThreadsCrossMidnight()
{
    LogFixture fx;
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    // The clock turns to the next day half way through the messages.
    std::atomic_int calls{0};
    setLogClock([&calls] {
        return calls.fetch_add(1) < kThreads * kLines / 2
                   ? QDateTime(QDate(2017, 11, 28), QTime(23, 59, 59))
                   : QDateTime(QDate(2017, 11, 29), QTime(0, 0, 0));
    });
    QVERIFY(openLog());
    fx.install();
    QList<QThread *> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads << QThread::create([t] {
            for (int i = 0; i < kLines; ++i)
                qDebug("thread %d line %d", t, i);
        });
        threads.last()->start();
    }
    for (QThread *t : threads) {
        QVERIFY(t->wait(20000));
        delete t;
    }
    const QByteArray oldDay = fx.file(QStringLiteral("2017-11-28"));
    const QByteArray newDay = fx.file(QStringLiteral("2017-11-29"));
    QCOMPARE(oldDay.count("\r\n") + newDay.count("\r\n"), kThreads * kLines);
    QCOMPARE(oldDay.count("[2017-11-28 23:59:59 Debug 0]"), oldDay.count("\r\n"));
    QCOMPARE(newDay.count("[2017-11-29 00:00:00 Debug 0]"), newDay.count("\r\n"));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
