// A crash of the real program: a copy of ZavixUploadClient with the
// stand-in reporter beside it faults on its GUI thread while the login
// dialog is open; the dump lands in the per-user crash folder and the
// reporter receives the program's own product name and version.

#include "crashrun.h"
#include "demoservice.h"
#include "drivenprogram.h"

#include <QSettings>
#include <QtTest>

#include <csignal>

class TestVexDumpProgram final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { startDemoService(m_service); }
    void cleanupTestCase() { m_service.stop(); }
    void reporterGetsProductNameAndVersion();

private:
    devsvc::DevService m_service;
};

void TestVexDumpProgram::reporterGetsProductNameAndVersion()
{
    DrivenProgram program(QStringLiteral(DRIVEN_CLIENT), QStringLiteral(DRIVER_PLUGINS));
    QVERIFY(program.isValid());
    const QString reporter = program.folder() + QStringLiteral("/crashsend");
    QVERIFY(QFile::copy(QStringLiteral(VEXDUMP_POSIX_PROGRAMS "/crashsend"), reporter));
    QVERIFY(QFile::setPermissions(reporter, QFile::permissions(reporter) | QFileDevice::ExeOwner));
    const QString records = program.home(QStringLiteral("records"));
    QVERIFY(QDir().mkpath(records));
    program.setEnvironment(QStringLiteral("VEXDUMP_RECORD_DIR"), records);
    program.setEnvironment(QStringLiteral("ZAVIX_DRIVER_CRASH"), QStringLiteral("1"));

    QVERIFY(program.start(m_service.baseUrl()));
    QVERIFY(program.process().waitForFinished(60000));
    QVERIFY2(program.report().contains(QStringLiteral("crashing")), qPrintable(program.report().join('\n')));
    QCOMPARE(program.process().exitStatus(), QProcess::CrashExit);
    QCOMPARE(program.process().exitCode(), int(SIGSEGV));

    const QStringList texts = crashtest::waitForRecords(records, 1, 10000);
    QCOMPARE(texts.size(), 1);
    const crashtest::CommandLine line = crashtest::parseCommandLine(texts.first());
    QVERIFY2(line.ok, qPrintable(texts.first()));
    // The per-user crash folder of the program.
    const QString crashFolder = program.home(QStringLiteral("config")) + QStringLiteral("/zavix-winupload/crashes");
    QCOMPARE(QFileInfo(line.dumpPath).path(), crashFolder);
    QVERIFY(crashtest::isUuidDumpName(QFileInfo(line.dumpPath).fileName()));
    QVERIFY(QFileInfo(line.dumpPath).size() > 0);

    // The version is the one of the program's version file (its VERSION
    // key holds the text in Base64); the product name is the program's.
    QSettings versionFile(program.folder() + QStringLiteral("/version.ini"), QSettings::IniFormat);
    const QString version = QString::fromUtf8(QByteArray::fromBase64(versionFile.value("VERSION").toByteArray()));
    QCOMPARE(version, QStringLiteral("V4.1.2.20171128"));
    const QString app = QFileInfo(program.executable()).canonicalFilePath();
    QCOMPARE(line.rest, "-app=\"" + app + "\" -project=\"ZavixUploadClient\" -version=\"" + version + "\" ");
}

QTEST_GUILESS_MAIN(TestVexDumpProgram)
#include "tst_vexdump_program.moc"
