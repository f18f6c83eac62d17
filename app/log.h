#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <functional>

// The daily log: every Qt message becomes one line of
// <current path>/log/yyyy-MM-dd.txt (appended, flushed at once).

// Opens today's file (creating the log folder); always returns true.
// Messages are dropped silently while no file could be opened.
bool openLog();
// Flushes and closes the current file.
void closeLog();
// The handler installed with qInstallMessageHandler after the first openLog().
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// The level name of a message type ("" for info).
QString logLevelName(QtMsgType type);
// One line without its line end: "[yyyy-MM-dd hh:mm:ss Level line]:message".
QString formatLogLine(const QDateTime &when, QtMsgType type, int line, const QString &message);

// The clock of the log (local time). Tests inject one; an empty function
// restores the system clock.
using LogClock = std::function<QDateTime()>;
void setLogClock(LogClock clock);
