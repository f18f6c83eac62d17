#include "app/log.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

namespace {

// Process-wide log state. Created on first use and never destroyed, so that
// messages during static destruction find it intact.
struct LogState
{
    QString logDate;
    QFile logFile;
    QTextStream *logStream = nullptr;
    QMutex logMutex; // guards the three above

    QMutex clockMutex;
    LogClock clock;
};

LogState &state()
{
    static LogState *s = new LogState;
    return *s;
}

QDateTime now()
{
    LogState &s = state();
    QMutexLocker lock(&s.clockMutex);
    return s.clock ? s.clock() : QDateTime::currentDateTime();
}

QString dayOf(const QDateTime &when)
{
    return when.date().toString(QStringLiteral("yyyy-MM-dd"));
}

// Closes stream and file; the caller holds logMutex.
void closeLocked(LogState &s)
{
    if (s.logStream) {
        s.logStream->flush();
        delete s.logStream;
        s.logStream = nullptr;
    }
    if (s.logFile.isOpen()) {
        s.logFile.flush();
        s.logFile.close();
    }
}

// Messages raised while this thread is inside the handler (for example by
// Qt while writing the file) are dropped instead of dead-locking on logMutex.
thread_local bool t_inHandler = false;

class HandlerScope final
{
public:
    HandlerScope() { t_inHandler = true; }
    ~HandlerScope() { t_inHandler = false; }

private:
    Q_DISABLE_COPY(HandlerScope)
};

// Opens the file of the given day; the caller holds logMutex.
void openLocked(LogState &s, const QDateTime &when)
{
    s.logDate = dayOf(when);
    const QString folder = QDir::currentPath() + QStringLiteral("/log/");
    if (!QDir(folder).exists())
        QDir().mkdir(folder);
    // A file still open from an earlier open is closed first: its stream
    // must never outlive it.
    closeLocked(s);
    s.logFile.setFileName(folder + s.logDate + QStringLiteral(".txt"));
    if (s.logFile.open(QIODevice::WriteOnly | QIODevice::Append)) {
        s.logStream = new QTextStream(&s.logFile);
        // UTF-8 on every system, whatever the system's narrow code page
        // (a Windows code page cannot spell most Chinese text).
        s.logStream->setCodec("UTF-8");
    }
}

} // namespace

void setLogClock(LogClock clock)
{
    LogState &s = state();
    QMutexLocker lock(&s.clockMutex);
    s.clock = std::move(clock);
}

bool openLog()
{
    const QDateTime when = now();
    LogState &s = state();
    QMutexLocker lock(&s.logMutex);
    openLocked(s, when);
    return true;
}

void closeLog()
{
    LogState &s = state();
    QMutexLocker lock(&s.logMutex);
    closeLocked(s);
}

QString logLevelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug");
    case QtWarningMsg:
        return QStringLiteral("Warning");
    case QtCriticalMsg:
        return QStringLiteral("Critical");
    case QtFatalMsg:
        return QStringLiteral("Fatal");
    default:
        break;
    }
    return QString();
}

QString formatLogLine(const QDateTime &when, QtMsgType type, int line, const QString &message)
{
    const QString stamp = QStringLiteral("%1 %2").arg(dayOf(when),
                                                      when.time().toString(QStringLiteral("hh:mm:ss")));
    // One multi-argument arg(): placeholders inside the message stay as they are.
    return QStringLiteral("[%1 %2 %3]:%4").arg(stamp, logLevelName(type), QString::number(line, 10), message);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_inHandler)
        return;
    HandlerScope scope;

    const QDateTime when = now();
    LogState &s = state();
    QMutexLocker lock(&s.logMutex);
    // The first message of a new day starts that day's file. Rotating and
    // writing under one lock: no message of another thread can slip into
    // the moment between closing the old file and opening the new one.
    if (dayOf(when) != s.logDate)
        openLocked(s, when);
    if (!s.logStream)
        return;
    *s.logStream << formatLogLine(when, type, context.line, message) << "\r\n";
    s.logStream->flush();
    s.logFile.flush();
}
