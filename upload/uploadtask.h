#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

// Channel of an upload task.
enum UploadChannel : int
{
    OssChannel = 0,
    WcsChannel = 1,
};

// The account's upload type "0" selects OSS, every other value WCS.
inline int channelOfUploadType(const QString &uploadType)
{
    return uploadType == QLatin1String("0") ? OssChannel : WcsChannel;
}

// One WCS block of a task. Status 2: stored, its ctx is known.
struct UploadBlock
{
    int status = 0;
    QString ctx;
};

// Everything known about one queued file. Copyable: the OSS channel works on
// its own copy, the WCS token thread on the row's record itself.
struct UploadTask
{
    int uploadType = OssChannel; // 0 OSS, 1 WCS
    QString fileName;            // name with suffix
    qint64 fileSize = 0;
    QString sizeText; // as shown in the row, e.g. 12.35M
    QString title;    // file name without its last suffix
    QMap<qint64, UploadBlock> blocks;
    QString ctxStr;
    QString indexStr;
    QString uuid;
    QString path;
    QString initUrl; // rebuilt before every start, never saved
    qint64 initSize = -1; // the file size that initUrl announces (-1: none yet), never saved
    QString uploadToken;
    QString uploadHost;
    qint64 speedBytes = 0; // bytes since the last 2-second tick
    qint64 alreadyUploadSize = 0;
    QString cataStr;
    QString cataid;
    QString vid;
    QString fileid;
    QString dateStr;
    QString insertUrl;
    QString deleteUrl; // the cancel URL
    QString checkUrl;
    bool everUploaded = false;
    QString date; // OSS: creation day, yyyyMMdd
};
