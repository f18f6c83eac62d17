#pragma once
// Helpers of the crash tests: run a crashing program, collect what the
// stand-in reporter recorded, and take the reporter's command line apart.

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

namespace crashtest {

struct Run {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
    qint64 processId = 0;
    QString output;
    qint64 startedMs = 0;
    qint64 endedMs = 0;
};

inline Run runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
                      const QString &workingDirectory, int timeoutMs = 60000)
{
    Run run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    run.startedMs = QDateTime::currentMSecsSinceEpoch();
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.processId = process.processId();
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.endedMs = QDateTime::currentMSecsSinceEpoch();
    run.status = process.exitStatus();
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll()).replace("\r\n", "\n");
    return run;
}

// The texts the stand-in reporter wrote into folder, oldest first; waits up
// to timeoutMs for at least count of them.
inline QStringList waitForRecords(const QString &folder, int count, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const QFileInfoList files =
            QDir(folder).entryInfoList({"crashsend-*.txt"}, QDir::Files, QDir::Time | QDir::Reversed);
        if (files.size() >= count || timer.elapsed() > timeoutMs) {
            QStringList texts;
            for (const QFileInfo &info : files) {
                QFile file(info.filePath());
                if (file.open(QIODevice::ReadOnly))
                    texts << QString::fromUtf8(file.readAll());
            }
            return texts;
        }
        QThread::msleep(50);
    }
}

inline QStringList dumpFiles(const QString &folder)
{
    return QDir(folder).entryList({"*.dmp"}, QDir::Files, QDir::Name);
}

inline bool isUuidDumpName(const QString &name)
{
    static const QRegularExpression pattern(
        "^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\.dmp$");
    return pattern.match(name).hasMatch();
}

// The reporter's arguments split into the two leading items and the rest:
// -dump="<path>" -time="<ms>" <rest>
struct CommandLine {
    bool ok = false;
    QString dumpPath;
    qint64 timeMs = -1;
    QString rest;
};

inline CommandLine parseCommandLine(const QString &text)
{
    static const QRegularExpression pattern("^-dump=\"([^\"]*)\" -time=\"([0-9]+)\" ");
    CommandLine line;
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return line;
    line.ok = true;
    line.dumpPath = m.captured(1);
    line.timeMs = m.captured(2).toLongLong();
    line.rest = text.mid(m.capturedLength(0));
    return line;
}

} // namespace crashtest
