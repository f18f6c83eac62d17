#pragma once

#include <QJsonDocument>
#include <QList>
#include <QString>

// One finished upload as the history keeps it. Every value is the text that
// its row shows (size, time and status exactly as displayed).
struct HistoryEntry
{
    QString path;
    QString filename;
    QString fileSize;
    QString finishTime;
    QString status;
    QString vid;
    QString cataid;
    QString cataname;
};

namespace history {

constexpr int kMaxRows = 500;

inline QString fileName()
{
    return QStringLiteral("historyInfo.json");
}

// "yyyy-MM-dd hh:mm:ss"
QString timeFormat();

// The counter of the history page for n rows.
QString counterText(int rows);

// The array of objects, one per entry, in the given order.
QJsonDocument toDocument(const QList<HistoryEntry> &entries);

struct LoadResult
{
    bool ok = false; // false: missing, unreadable or not an array
    QList<HistoryEntry> entries;
};
// Entries from a parsed document; missing keys read as empty strings.
LoadResult fromDocument(const QJsonDocument &document);

LoadResult loadFile(const QString &path);
bool saveFile(const QString &path, const QList<HistoryEntry> &entries);

} // namespace history
