// The update's download and start as the program does them, into and from a
// folder whose name holds Chinese text and a blank (a user's temporary
// folder often does): the installer arrives whole, and the downloaded
// program starts on its own. The program started is a harmless stand-in.
// Runs natively and, in the Windows build, under wine against a native
// service.

#include "testservice.h"

#include "net/transfer.h"
#include "platform/platform.h"
#include "prefs/updatecheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestUpdateStart final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_service.start(), qPrintable(m_service.errorString())); }
    void cleanupTestCase() { m_service.stop(); }

    void downloadIntoAFolderWithChineseName()
    {
        QTemporaryDir dir;
        const QString plainFolder = dir.filePath(QStringLiteral("plain"));
        const QString namedFolder = dir.filePath(QStringLiteral("临时 文件"));
        QVERIFY(QDir().mkpath(plainFolder) && QDir().mkpath(namedFolder));
        const QString plain = update::installerPath({plainFolder});
        const QString named = update::installerPath({namedFolder});
        QCOMPARE(QFileInfo(named).fileName(), QStringLiteral("ZavixUploadClient2019.exe"));

        const std::atomic_bool cancel{false};
        const QByteArray url = update::installerUrl().toUtf8();
        QCOMPARE(int(fileDownload(url, plain.toUtf8(), cancel, {})), int(DownloadOutcome::Completed));
        QCOMPARE(int(fileDownload(url, named.toUtf8(), cancel, {})), int(DownloadOutcome::Completed));
        const QByteArray bytes = readAll(named);
        QVERIFY(bytes.startsWith("MZ"));
        QCOMPARE(bytes, readAll(plain));
        // Nothing was written under a garbled name beside it.
        QCOMPARE(QDir(namedFolder).entryList(QDir::Files), QStringList{QStringLiteral("ZavixUploadClient2019.exe")});
    }

    void downloadedProgramStartsOnItsOwn()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("临时 文件"));
        QVERIFY(QDir().mkpath(folder));
        const QString installer = update::installerPath({folder});
#ifdef FAKE_INSTALLER_PATH
        QVERIFY(QFile::copy(QStringLiteral(FAKE_INSTALLER_PATH), installer));
#else
        QFile script(installer);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "d=\"$(dirname \"$0\")\"\n"
                     "echo \"cwd: $(pwd)\" > \"$d/installer-ran.tmp\" && mv \"$d/installer-ran.tmp\" \"$d/installer-ran\"\n");
        script.close();
#endif
        const QString marker = folder + QStringLiteral("/installer-ran");
        QVERIFY(update::startInstaller(installer));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 20000);
        // It runs in its own folder.
        const QString report = QString::fromUtf8(readAll(marker)).trimmed();
        QVERIFY2(QDir::cleanPath(QDir::fromNativeSeparators(report.mid(5))).compare(QDir::cleanPath(folder), Qt::CaseInsensitive) == 0,
                 qPrintable(report));
        QVERIFY(!update::startInstaller(folder + QStringLiteral("/missing.exe")));
    }

private:
    TestService m_service;
};

QTEST_GUILESS_MAIN(TestUpdateStart)
#include "tst_updatestart.moc"
