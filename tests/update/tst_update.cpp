// The update check at start and the installer download, against the
// service emulator and, for the slow and length-less downloads, a small
// server of the test's own on 127.0.0.1.

#include "devservice/devservice.h"
#include "dialoghelper.h"
#include "eventloopwatch.h"
#include "net/releasedthreads.h"
#include "net/transferlimits.h"
#include "prefs/updatecheck.h"
#include "prefs/updatedialog.h"

#include <httplib.h>

#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QString kInstallerName = QStringLiteral("ZavixUploadClient2019.exe");
const QByteArray kGoodVersionIni = "[General]\nVERSION=VjQuMS4yLjIwMTcxMTI4\n";

// Serves the version list and an installer that arrives slowly, with or
// without a content length.
class SlowServer final
{
public:
    static constexpr int kChunk = 16 * 1024;
    static constexpr int kChunks = 40;

    SlowServer()
    {
        m_server.Get("/uc/video/getVersions", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(R"([{"version":"V9.9.9","description":"慢速下载"}])", "application/json");
        });
        m_server.Get("/soft/ZavixUploadClientSetup.exe", [this](const httplib::Request &, httplib::Response &res) {
            auto send = [this](size_t offset, httplib::DataSink &sink) {
                if (offset >= size_t(kChunk) * kChunks) {
                    sink.done();
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(m_pauseMs.load()));
                const std::string chunk(kChunk, 'i');
                return sink.write(chunk.data(), chunk.size());
            };
            if (m_withLength.load())
                res.set_content_provider(size_t(kChunk) * kChunks, "application/octet-stream",
                                         [send](size_t offset, size_t, httplib::DataSink &sink) {
                                             return send(offset, sink);
                                         });
            else
                res.set_chunked_content_provider("application/octet-stream", send);
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~SlowServer()
    {
        m_server.stop();
        m_thread.join();
    }
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    void setWithLength(bool on) { m_withLength.store(on); }
    void setPauseMs(int ms) { m_pauseMs.store(ms); }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic_bool m_withLength{true};
    std::atomic_int m_pauseMs{20};
};

// Drives the update dialog while checkForUpdate runs it: the step function
// sees the dialog at every poll and says whether it is done.
class DialogDriver final
{
public:
    explicit DialogDriver(std::function<bool(QDialog *)> step)
        : m_step(std::move(step))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || dialog->objectName() != QLatin1String("UpdateDialog") || !dialog->isVisible())
                return;
            ++m_polls;
            if (m_step(dialog))
                m_timer.stop();
        });
        m_timer.start();
    }
    int polls() const { return m_polls; }

private:
    std::function<bool(QDialog *)> m_step;
    QTimer m_timer;
    int m_polls = 0;
};

QPushButton *button(QDialog *d) { return d->findChild<QPushButton *>(QStringLiteral("addBtn")); }
QLabel *label(QDialog *d, const char *name) { return d->findChild<QLabel *>(QLatin1String(name)); }
QProgressBar *bar(QDialog *d) { return d->findChild<QProgressBar *>(QStringLiteral("progressBar")); }

// A loopback port on which nobody listens (bound once, then released).
quint16 closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr));
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace

class TestUpdate final : public QObject
{
    Q_OBJECT

private:
    devsvc::DevService m_service;
    QTemporaryDir m_dir;
    QString m_versionFile;
    QString m_tempFolder;
    QByteArray m_oldTmp;
    QList<QUrl> m_opened;
    QStringList m_started;

    UpdateEnvironment environment(bool recordStarts = true)
    {
        UpdateEnvironment env;
        env.versionFile = m_versionFile;
        env.openUrl = [this](const QUrl &url) { m_opened << url; };
        if (recordStarts)
            env.startInstaller = [this](const QString &path) {
                m_started << path;
                return true;
            };
        return env;
    }
    void writeVersionFile(const QByteArray &content)
    {
        QFile f(m_versionFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    void useService(const QString &base) { qputenv("ZAVIX_SERVICE_URL", base.toUtf8()); }
    // Every file below the temporary folder (the download folders included).
    QStringList filesUnderTemp() const
    {
        QStringList files;
        QDirIterator it(m_tempFolder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        return files;
    }
    qint64 bytesUnderTemp() const
    {
        qint64 sum = 0;
        for (const QString &file : filesUnderTemp())
            sum += QFileInfo(file).size();
        return sum;
    }
    // The installer as the download left it: in a folder of its own below
    // the temporary folder, under the program's name. Empty when none.
    QString installerFile() const
    {
        for (const QString &file : filesUnderTemp()) {
            if (QFileInfo(file).fileName() == kInstallerName)
                return file;
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_service.seedFromFile(devsvc::DevService::demoSeedPath()).ok);
        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
        m_versionFile = m_dir.filePath(QStringLiteral("version.ini"));
        m_oldTmp = qgetenv("TMPDIR");
    }
    void init()
    {
        m_opened.clear();
        m_started.clear();
        m_tempFolder = m_dir.filePath(QStringLiteral("tmp-%1").arg(QTest::currentTestFunction()));
        QDir().mkpath(m_tempFolder);
        qputenv("TMPDIR", m_tempFolder.toUtf8());
        useService(m_service.baseUrl());
        writeVersionFile(kGoodVersionIni);
    }
    void cleanup()
    {
        resetTransferLimitsForTest();
        m_service.clearFaults();
        m_service.releaseStalls();
        m_service.setVersions(QByteArray());
        m_service.setInstaller(QByteArray());
        m_service.clearRequestLog();
        qputenv("TMPDIR", m_oldTmp);
    }
    void cleanupTestCase() { m_service.stop(); }

    void brokenInstallationEndsWithTheDownloadPage_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no version file
        QTest::addColumn<QString>("message");
        const QString missing = QStringLiteral("检测版本失败，缺少文件\r\n无法使用客户端,请到官网重新下载");
        const QString damaged = QStringLiteral("检测版本失败，文件损坏\r\n无法使用客户端,请到官网重新下载");
        QTest::newRow("missing") << QByteArray() << missing;
        QTest::newRow("other version") << QByteArray("[General]\nVERSION=" + QByteArray("V4.2.1").toBase64() + "\n")
                                       << damaged;
        QTest::newRow("not base64") << QByteArray("[General]\nVERSION=V4.1.2.20171128\n") << damaged;
    }
    void brokenInstallationEndsWithTheDownloadPage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFile::remove(m_versionFile);
        if (!content.isEmpty())
            writeVersionFile(content);
        // The service is not even there.
        useService(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
        DialogAnswerer answerer;
        answerer.clickWhenShown(QStringLiteral("addBtn"), QStringLiteral("MessageInfo"));
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("error"));
        QCOMPARE(answerer.answeredCount(), 1);
        QCOMPARE(answerer.last().title, QStringLiteral("提示"));
        QCOMPARE(answerer.last().message, message);
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().path(), QStringLiteral("/download/"));
    }

    void sameVersionGoesStraightOn()
    {
        DialogAnswerer answerer;
        answerer.doWhenShown(QString(), [](QWidget *w) { w->close(); });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("notUpdate"));
        QCOMPARE(answerer.answeredCount(), 0);
        answerer.clear();
        QCOMPARE(m_service.requests(QStringLiteral("/uc/video/getVersions")).size(), 1);
        QVERIFY(m_opened.isEmpty());
    }

    void silentServiceGoesOnWithinTheLimit()
    {
        // The service takes the request and never answers. The check gives
        // up after its limit (shortened here) as with no answer, and the
        // thread's event loop keeps running meanwhile.
        TransferLimits limits;
        limits.versionCheckMs = 1500;
        setTransferLimitsForTest(limits);
        m_service.stallNext(QStringLiteral("/uc/video/getVersions"));
        DialogAnswerer answerer;
        answerer.doWhenShown(QString(), [](QWidget *w) { w->close(); });
        EventLoopWatch watch;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("notUpdate"));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 1400 && elapsed < 6000, qPrintable(QString::number(elapsed)));
        QVERIFY2(watch.longestGapMs() < 100, qPrintable(watch.describe()));
        QCOMPARE(answerer.answeredCount(), 0);
        answerer.clear();
        QCOMPARE(m_service.stalledCount(), 1);
        QVERIFY(m_opened.isEmpty());
        // The abandoned request's thread ends by itself soon after.
        QTRY_COMPARE_WITH_TIMEOUT(releasedThreadCount(), 0, 5000);
    }

    void unusableAnswersGoOn_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("500") << 500 << QByteArray(R"([{"version":"V9","description":"x"}])");
        QTest::newRow("object") << 200 << QByteArray(R"({"version":"V9"})");
        QTest::newRow("version missing") << 200 << QByteArray(R"([{"description":"x"}])");
        QTest::newRow("version null") << 200 << QByteArray(R"([{"version":null,"description":"x"}])");
        QTest::newRow("version a number") << 200 << QByteArray(R"([{"version":9,"description":"x"}])");
        QTest::newRow("version empty") << 200 << QByteArray(R"([{"version":"","description":"x"}])");
    }
    void unusableAnswersGoOn()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        m_service.answerNext(QStringLiteral("/uc/video/getVersions"), status, body);
        // No update dialog comes up (one would be closed and counted here).
        DialogAnswerer answerer;
        answerer.doWhenShown(QString(), [](QWidget *w) { w->close(); });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("notUpdate"));
        QCOMPARE(answerer.answeredCount(), 0);
        answerer.clear();
        QVERIFY(m_opened.isEmpty());
    }

    void olderVersionIsStillOffered()
    {
        m_service.setVersions(R"([{"version":"V4.0.0.20170101","description":"旧版本说明"}])");
        QString title;
        QString content;
        bool buttonUpdate = false;
        bool hiddenAtFirst = false;
        DialogDriver driver([&](QDialog *d) {
            title = label(d, "titleLabel")->text();
            content = label(d, "contentLbl")->text();
            buttonUpdate = button(d)->property("update").toBool() && button(d)->text() == QStringLiteral("立即升级");
            hiddenAtFirst = !label(d, "updateLbl")->isVisible() && !bar(d)->isVisible();
            d->findChild<QPushButton *>(QStringLiteral("close"))->click();
            return true;
        });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("notUpdate"));
        QCOMPARE(title, QStringLiteral("发现新版本 - V4.2.1"));
        QCOMPARE(content, QStringLiteral("旧版本说明"));
        QVERIFY(buttonUpdate);
        QVERIFY(hiddenAtFirst);
        QVERIFY(m_started.isEmpty());
    }

    void cancelDuringTheDownloadRemovesThePartialFile()
    {
        SlowServer server;
        useService(server.baseUrl());
        bool pressed = false;
        QString cancelText;
        int percentSeen = 0;
        QString progressText;
        DialogDriver driver([&](QDialog *d) {
            if (!pressed) {
                button(d)->click();
                pressed = true;
                cancelText = button(d)->text();
                return false;
            }
            const QString text = label(d, "updateLbl")->text();
            if (bytesUnderTemp() > 0 && bar(d)->value() > 0) {
                percentSeen = bar(d)->value();
                progressText = text;
                button(d)->click(); // now the cancel button
                return true;
            }
            return false;
        });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("notUpdate"));
        QCOMPARE(cancelText, QStringLiteral("取消更新"));
        QVERIFY(percentSeen > 0 && percentSeen < 100);
        QVERIFY2(progressText.startsWith(QStringLiteral("正在下载更新，已完成")), qPrintable(progressText));
        QVERIFY(progressText != QStringLiteral("正在下载更新，已完成0%"));
        // Neither the partial file nor its folder is left behind.
        QVERIFY(filesUnderTemp().isEmpty());
        QCOMPARE(QDir(m_tempFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(m_started.isEmpty());
    }

    void failedDownloadOffersTheUpdateAgain()
    {
        m_service.setVersions(R"([{"version":"V9.0.0","description":"新版本"}])");
        m_service.answerNext(QStringLiteral("/soft/ZavixUploadClientSetup.exe"), 404, "not here");
        int presses = 0;
        bool failureShown = false;
        DialogDriver driver([&](QDialog *d) {
            if (presses == 0) {
                button(d)->click();
                ++presses;
                return false;
            }
            if (presses == 1 && label(d, "updateLbl")->text() == QStringLiteral("本次更新失败,请重新尝试更新")) {
                failureShown = button(d)->text() == QStringLiteral("立即升级") && button(d)->property("update").toBool()
                               && label(d, "updateLbl")->isVisible() && bar(d)->isVisible()
                               && !label(d, "contentLbl")->isVisible() && filesUnderTemp().isEmpty();
                button(d)->click(); // the retry succeeds
                ++presses;
                return true;
            }
            return false;
        });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("update"));
        QVERIFY(failureShown);
        QCOMPARE(m_started, QStringList{installerFile()});
        QCOMPARE(filesUnderTemp(), QStringList{installerFile()});
        QCOMPARE(QFileInfo(installerFile()).size(), qint64(1 << 20));
        QCOMPARE(m_service.requests(QStringLiteral("/soft/ZavixUploadClientSetup.exe")).size(), 2);
    }

    void withoutContentLengthTheLabelStaysAtZero()
    {
        SlowServer server;
        server.setWithLength(false);
        server.setPauseMs(5);
        useService(server.baseUrl());
        bool pressed = false;
        QSet<QString> texts;
        QSet<int> values;
        DialogDriver driver([&](QDialog *d) {
            if (!pressed) {
                button(d)->click();
                pressed = true;
            }
            texts.insert(label(d, "updateLbl")->text());
            values.insert(bar(d)->value());
            return false;
        });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("update"));
        QCOMPARE(texts, QSet<QString>{QStringLiteral("正在下载更新，已完成0%")});
        QCOMPARE(values, QSet<int>{0});
        QVERIFY(driver.polls() > 2);
        QCOMPARE(QFileInfo(installerFile()).size(), qint64(SlowServer::kChunk) * SlowServer::kChunks);
        QCOMPARE(m_started.size(), 1);
    }

#ifndef Q_OS_WIN
    // Links planted in the temporary folder under the names a download
    // could use neither receive the download nor get started.
    void plantedLinksAreNeitherWrittenNorStarted()
    {
        const QString victim = m_dir.filePath(QStringLiteral("victim.txt"));
        {
            QFile f(victim);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write("keep me");
        }
        QVERIFY(QFile::link(victim, m_tempFolder + QLatin1Char('/') + kInstallerName));
        QVERIFY(QFile::link(victim, m_tempFolder + QStringLiteral("/zavix-update-000000")));
        m_service.setVersions(R"([{"version":"V9.2.0","description":"新版本"}])");
        DialogDriver driver([&](QDialog *d) {
            button(d)->click();
            return true;
        });
        QCOMPARE(checkForUpdate(nullptr, environment()), QStringLiteral("update"));
        QCOMPARE(m_started.size(), 1);
        const QFileInfo started(m_started.first());
        QVERIFY(!started.isSymLink());
        QCOMPARE(started.fileName(), kInstallerName);
        QCOMPARE(started.size(), qint64(1 << 20));
        const QFileInfo folder(started.absolutePath());
        QCOMPARE(folder.absolutePath(), QFileInfo(m_tempFolder).absoluteFilePath());
        QVERIFY(!folder.isSymLink());
        struct stat info {};
        QCOMPARE(::lstat(QFile::encodeName(folder.absoluteFilePath()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 07777), 0700);
        QFile f(victim);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }

    void installerStartsFromATemporaryFolderWithBlanks()
    {
        m_tempFolder = m_dir.filePath(QStringLiteral("temp folder with blanks"));
        QDir().mkpath(m_tempFolder);
        qputenv("TMPDIR", m_tempFolder.toUtf8());
        const QString marker = m_dir.filePath(QStringLiteral("installer-ran.txt"));
        QFile::remove(marker);
        m_service.setVersions(R"([{"version":"V9.1.0","description":"新版本"}])");
        m_service.setInstaller("#!/bin/sh\nprintf '%s' \"$0\" > '" + marker.toUtf8() + "'\n");
        DialogDriver driver([&](QDialog *d) {
            button(d)->click();
            return true;
        });
        // The real start: made executable, started detached.
        QCOMPARE(checkForUpdate(nullptr, environment(false)), QStringLiteral("update"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
        QFile f(marker);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), installerFile());
    }
#endif
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
