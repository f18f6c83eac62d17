#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

// Names and requests agreed with the service before a file's bytes move:
// the video id, the WCS upload id, the bookkeeping URLs and the channel init.

class QIODevice;
struct AccountRecord;

// What the init and bookkeeping requests need from the account, the settings
// and the service's host configuration.
struct UploadAccount
{
    QString userId;
    QString uid; // effective user id (child account id when given)
    QString secretKey;
    int channel = 0; // 0 OSS, 1 WCS
    bool luping = false;
    QString apiHost;        // base URL without trailing slash
    QString accountWebHost; // base URL without trailing slash
    QString uploadHostName; // bare host[:port] of the fixed upload host

    // The account's values and the configured service hosts.
    static UploadAccount fromRecord(const AccountRecord &record, bool luping);
};

// Largest number of leading bytes that enter the content hash of a video id.
constexpr qint64 kVidHashLimit = 4194304;
// Space that must remain after an upload before the service warns.
constexpr qint64 kSpaceWarningMargin = 314572800;

// Byte-wise escaping of free text for a query: letters, digits and "-_.~"
// stay, a blank becomes "+", every other UTF-8 byte "%XX" (upper-case hex).
QString escapeQueryText(const QString &text);

// The file name without its last suffix and the dot in front of it.
QString titleOfFileName(const QString &fileName);

// The first `count` bytes that QIODevice::read() returns for a device opened
// in text mode (QIODevice::ReadOnly | QIODevice::Text): the device's bytes
// without any CR, fewer only when the device ends first. `device` is open
// without the Text flag.
QByteArray textModeBytes(QIODevice &device, qint64 count);

// MD5 (lower-case hex) of the first min(size, 4 MiB) bytes of the file as a
// text-mode read gives them (every CR dropped, reading on past the CRs). An
// unreadable file hashes no bytes.
QString contentHashForVid(const QString &filePath, qint64 fileSize);

// The video id from the parts above.
QString makeVidFromHash(const QString &userId, const QString &fileName, const QString &cataid,
                        qint64 fileSize, const QString &contentHash);
QString makeVid(const QString &userId, const QString &fileName, const QString &cataid,
                qint64 fileSize, const QString &filePath);

// WCS upload id: SHA-1 of "uuid:" + file name + ptime, lower-case hex.
QString makeUuid(const QString &fileName, qint64 ptime);
QString makeUuid(const QString &fileName);

// OSS task date: today (local time) as yyyyMMdd.
QString makeOssDate();

struct BookkeepingUrls
{
    QString checkUrl;
    QString insertUrl;
    QString cancelUrl;
};

BookkeepingUrls makeBookkeepingUrls(const UploadAccount &account, const QString &vid,
                                    const QString &title, const QString &cataid);

// The init request of the account's channel, with the file's current size.
struct InitRequest
{
    QString url;
    QString signText;    // the text whose SHA-1 is the sign (contains the secret)
    qint64 fileSize = 0; // the size the request announces: the file's size when it was built
};

InitRequest buildInitRequest(const UploadAccount &account, const QString &path,
                             const QString &cataid, const QString &vid, const QString &fileid,
                             const QString &dateStr, qint64 ptime);
// The same with the current time as ptime.
InitRequest buildCurrentInitRequest(const UploadAccount &account, const QString &path,
                                    const QString &cataid, const QString &vid,
                                    const QString &fileid, const QString &dateStr);
QString buildInitUrl(const UploadAccount &account, const QString &path, const QString &cataid,
                     const QString &vid, const QString &fileid, const QString &dateStr);

// Evaluation of an init answer.
struct InitAnswer
{
    bool accepted = false; // parsed and code 200
    // The outcome as the channel reports it: ok false stops the start.
    // accepted: code 1 (not enough space, ok false), 5 (space warning, ok
    // true), 2 (enough space, ok true). Not accepted: 3 (time stamp
    // rejected) or 0, ok false.
    bool ok = false;
    int code = 0;
    qint64 remainSpace = 0;
    QJsonObject data;

    QString text(const char *key) const { return data.value(QLatin1String(key)).toString(); }
};

// requestOk: the transfer succeeded with HTTP status 200.
InitAnswer evaluateInitAnswer(bool requestOk, const QString &body, qint64 fileSize);

// The space rule alone: 1 not enough, 5 warning, 2 enough.
int spaceRuleCode(qint64 remainSpace, qint64 fileSize);
