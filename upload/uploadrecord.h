#pragma once

#include "upload/uploadtask.h"

#include <QByteArray>
#include <QDate>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QDateTime>
#include <QString>

class QTimer;
class UploadQueue;
class UploadWidget;

// The upload record file: the unfinished tasks of the queue, written when the
// window ends and restored when it opens again. Between those, the keeper
// writes the same file whenever the queue's state has changed, so a killed
// client finds its queue and each task's stored blocks or parts.
namespace uploadrecord {

inline QString fileName()
{
    return QStringLiteral("uploadInfo.json");
}

// Where a record that cannot be read is kept instead of being overwritten:
// "<path>.damaged-<yyyyMMdd-hhmmss>" of the given time.
QString damagedCopyPath(const QString &path, const QDateTime &when);

// The stored blocks of a WCS task as the record keeps them: every ctx
// followed by ",", every index in decimal followed by ",", ascending.
struct BlockStrings
{
    QString ctxStr;
    QString indexStr;
};
BlockStrings blockStrings(const QMap<qint64, UploadBlock> &blocks);

// The block map from the two strings: entry i of indexStr with entry i of
// ctxStr, status 2. Pieces that do not form a usable block (no number, no
// ctx) are left out, so a damaged record only costs those blocks.
QMap<qint64, UploadBlock> blocksFromStrings(const QString &ctxStr, const QString &indexStr);

// The object of one task with the keys of the account's channel. The WCS
// block strings are the given ones (the task's own fields are not read).
QJsonObject recordObject(const UploadTask &task, int accountChannel, const BlockStrings &blocks);

// What a restore needs besides the object.
struct RestoreContext
{
    int channel = OssChannel; // the account's channel now
    qint64 ptime = 0;         // for the new uuid of a task switched to WCS
    QDate today;              // for the date of a task switched to OSS
};

struct RestoredTask
{
    bool fileExists = false; // false: the task is skipped
    UploadTask task;
};

// The task of one object, as the account's current channel runs it; the file
// name and size are taken from the file system.
RestoredTask restoreTask(const QJsonObject &object, const RestoreContext &context);

} // namespace uploadrecord

// Writes and restores the queue's record file.
class UploadRecordKeeper final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(UploadRecordKeeper)

public:
    static constexpr int kSnapshotIntervalMs = 2000;

    UploadRecordKeeper(UploadQueue *queue, QString path, QObject *parent = nullptr);
    ~UploadRecordKeeper() override;

    QString path() const { return m_path; }
    // The upload page's header row (its last cell narrows when the list scrolls).
    void setHeaderRow(UploadWidget *header);

    // The orderly write at the window's end: stops every row, rebuilds the
    // WCS block strings of the records and writes the file. The periodic
    // writing pauses until rows come back. True when the file was written.
    bool saveUploadData();

    struct LoadResult
    {
        int objects = 0;  // objects in the file
        int restored = 0; // tasks that entered the queue (rows and overflow)
        int skipped = 0;  // files that no longer exist
    };
    // Restores the queue from the file and starts the status timer (also
    // when nothing was restored); then the periodic writing begins.
    LoadResult loadUploadData(bool autoStart, QTimer *statusTimer);

    // The periodic write: the queue as it is now, rows left running. Writes
    // only when the content differs from the last write. True when the file
    // holds the current state afterwards.
    bool writeSnapshot();
    void setSnapshotInterval(int ms);
    bool isSnapshotting() const;
    int writeCount() const { return m_writes; }

    // The document of the queue as it is now (no row is stopped).
    QJsonArray currentDocument() const;

private:
    bool writeDocument(const QJsonArray &array);
    void startSnapshots();
    // Moves a record that exists but cannot be read out of the way, so the
    // next write does not destroy it. False when it had to stay in place.
    bool moveDamagedAside();

    QPointer<UploadQueue> m_queue;
    QString m_path;
    QPointer<UploadWidget> m_header;
    QTimer *m_snapshotTimer = nullptr;
    QByteArray m_lastWritten;
    bool m_haveWritten = false;
    bool m_loaded = false;
    // A damaged record could not be moved aside: it is never overwritten.
    bool m_keepDamaged = false;
    int m_writes = 0;
};
