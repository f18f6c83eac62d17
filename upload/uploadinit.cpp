#include "upload/uploadinit.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrl>

#include <cstring>
#include <limits>

namespace {

QString md5Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QString sha1Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

qint64 nowPtime()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

QString escapeQueryText(const QString &text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-'
            || b == '_' || b == '.' || b == '~') {
            out += QLatin1Char(static_cast<char>(b));
        } else if (b == ' ') {
            out += QLatin1Char('+');
        } else {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0x0f]);
        }
    }
    return out;
}

QString titleOfFileName(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

QByteArray textModeBytes(QIODevice &device, qint64 count)
{
    // What QIODevice::read(count) gives on a device opened with
    // QIODevice::Text: every CR byte is dropped (a lone CR as well as the CR
    // of a CR LF pair) and reading goes on until `count` bytes are together
    // or the device has no more. Done here on raw reads into one buffer, a
    // whole deficit at a time, so that the common case (few CRs) costs one
    // read and one scan.
    if (count <= 0)
        return QByteArray();
    const int want = static_cast<int>(qMin<qint64>(count, std::numeric_limits<int>::max() - 1));
    QByteArray bytes(want, Qt::Uninitialized);
    int have = 0;
    while (have < want) {
        const qint64 got = device.read(bytes.data() + have, want - have);
        if (got <= 0)
            break;
        char *const start = bytes.data() + have;
        char *const end = start + got;
        char *out = static_cast<char *>(std::memchr(start, '\r', static_cast<size_t>(got)));
        if (!out) {
            have += static_cast<int>(got);
            continue;
        }
        // Compact the runs between the CRs, each with one memmove.
        for (char *in = out; in < end;) {
            char *run = in + 1;
            char *next = run < end ? static_cast<char *>(std::memchr(run, '\r', static_cast<size_t>(end - run)))
                                   : nullptr;
            char *runEnd = next ? next : end;
            if (runEnd > run)
                std::memmove(out, run, static_cast<size_t>(runEnd - run));
            out += runEnd - run;
            in = runEnd;
        }
        have = static_cast<int>(out - bytes.data());
    }
    bytes.truncate(have);
    return bytes;
}

QString contentHashForVid(const QString &filePath, qint64 fileSize)
{
    QByteArray bytes;
    QFile file(filePath);
    // Opened raw: textModeBytes() applies the text mode's CR rule itself, the
    // same on every platform.
    if (file.open(QIODevice::ReadOnly))
        bytes = textModeBytes(file, qBound<qint64>(0, fileSize, kVidHashLimit));
    return md5Hex(bytes);
}

QString makeVidFromHash(const QString &userId, const QString &fileName, const QString &cataid,
                        qint64 fileSize, const QString &contentHash)
{
    const QString a = md5Hex(
        (titleOfFileName(fileName) + cataid + QString::number(fileSize)).toUtf8());
    return userId + a.mid(10, 11) + contentHash.mid(10, 11) + QLatin1Char('_') + userId.left(1);
}

QString makeVid(const QString &userId, const QString &fileName, const QString &cataid,
                qint64 fileSize, const QString &filePath)
{
    return makeVidFromHash(userId, fileName, cataid, fileSize,
                           contentHashForVid(filePath, fileSize));
}

QString makeUuid(const QString &fileName, qint64 ptime)
{
    return sha1Hex(QStringLiteral("uuid:%1%2").arg(fileName).arg(ptime).toUtf8());
}

QString makeUuid(const QString &fileName)
{
    return makeUuid(fileName, nowPtime());
}

QString makeOssDate()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

BookkeepingUrls makeBookkeepingUrls(const UploadAccount &account, const QString &vid,
                                    const QString &title, const QString &cataid)
{
    const QString sign = md5Hex((account.uploadHostName + vid).toUtf8());
    const QString child = account.uid == account.userId ? QString() : account.uid;
    const QString escapedTitle = escapeQueryText(title);
    const QString base = account.accountWebHost;
    BookkeepingUrls urls;
    urls.checkUrl = base
        + QStringLiteral("/uc/video/checkUploadingVideo?vid=%1&sign=%2").arg(escapeQueryText(vid), sign);
    const QString tail = QStringLiteral("?vid=%1&sign=%2&title=%3&childuserid=%4&cataid=%5")
                             .arg(escapeQueryText(vid), sign, escapedTitle, escapeQueryText(child),
                                  escapeQueryText(cataid));
    urls.insertUrl = base + QStringLiteral("/uc/video/insertUploadingVideo") + tail;
    urls.cancelUrl = base + QStringLiteral("/uc/video/cancelUploadingVideo") + tail;
    return urls;
}

InitRequest buildInitRequest(const UploadAccount &account, const QString &path,
                             const QString &cataid, const QString &vid, const QString &fileid,
                             const QString &dateStr, qint64 ptime)
{
    const QFileInfo info(path);
    const QString fileName = info.fileName();
    const QString title = titleOfFileName(fileName);
    const qint64 fileSize = info.size();
    const QString size = QString::number(fileSize);
    const QString luping = account.luping ? QStringLiteral("1") : QStringLiteral("0");
    const QString time = QString::number(ptime);
    const QString name = escapeQueryText(fileName);
    const QString escapedTitle = escapeQueryText(title);
    // Values from the service (ids, the stored file id and date) are escaped
    // in the URL; the signed text keeps them as they are.
    const QString qCataid = escapeQueryText(cataid);
    const QString qVid = escapeQueryText(vid);
    const QString qFileid = escapeQueryText(fileid);
    const QString qDateStr = escapeQueryText(dateStr);
    const QString pathUid = QString::fromLatin1(QUrl::toPercentEncoding(account.uid));

    InitRequest request;
    request.fileSize = fileSize;
    QString query;
    if (account.channel == 1) {
        const QString type = QStringLiteral("client_wcs_chunk");
        const QString endpoint = account.apiHost
            + QStringLiteral("/v2/uploadvideo_wcs/%1/init").arg(pathUid);
        if (fileid.isEmpty()) {
            request.signText = QStringLiteral("cataid=") + cataid + QStringLiteral("&filename=")
                + fileName + QStringLiteral("&filesize=") + size + QStringLiteral("&luping=")
                + luping + QStringLiteral("&ptime=") + time + QStringLiteral("&title=") + title
                + QStringLiteral("&uploadType=") + type + QStringLiteral("&vid=") + vid
                + account.secretKey;
            const QString sign = sha1Hex(request.signText.toUtf8()).toUpper();
            query = QStringLiteral("cataid=") + qCataid + QStringLiteral("&describ=&filename=")
                + name + QStringLiteral("&filesize=") + size + QStringLiteral("&luping=") + luping
                + QStringLiteral("&ptime=") + time + QStringLiteral("&sign=") + sign
                + QStringLiteral("&tag=&title=") + escapedTitle + QStringLiteral("&uploadType=")
                + type + QStringLiteral("&vid=") + qVid;
        } else {
            request.signText = QStringLiteral("cataid=") + cataid + QStringLiteral("&dateStr=")
                + dateStr + QStringLiteral("&fileid=") + fileid + QStringLiteral("&filename=")
                + fileName + QStringLiteral("&filesize=") + size + QStringLiteral("&luping=")
                + luping + QStringLiteral("&ptime=") + time + QStringLiteral("&title=") + title
                + QStringLiteral("&uploadType=") + type + QStringLiteral("&vid=") + vid
                + account.secretKey;
            const QString sign = sha1Hex(request.signText.toUtf8()).toUpper();
            query = QStringLiteral("cataid=") + qCataid + QStringLiteral("&dateStr=") + qDateStr
                + QStringLiteral("&describ=&fileid=") + qFileid + QStringLiteral("&filename=")
                + name + QStringLiteral("&filesize=") + size + QStringLiteral("&luping=") + luping
                + QStringLiteral("&ptime=") + time + QStringLiteral("&sign=") + sign
                + QStringLiteral("&tag=&title=") + escapedTitle + QStringLiteral("&uploadType=")
                + type + QStringLiteral("&vid=") + qVid;
        }
        request.url = endpoint + QLatin1Char('?') + query;
    } else {
        const QString type = QStringLiteral("client_aliyun_chunk");
        const QString endpoint =
            account.apiHost + QStringLiteral("/v2/aliyunoss/%1/init").arg(pathUid);
        request.signText = QStringLiteral("cataid=") + cataid + QStringLiteral("&filename=")
            + fileName + QStringLiteral("&filesize=") + size + QStringLiteral("&isSts=N&luping=")
            + luping + QStringLiteral("&ptime=") + time + QStringLiteral("&title=") + title
            + QStringLiteral("&uploadType=") + type + QStringLiteral("&vid=") + vid
            + account.secretKey;
        const QString sign = sha1Hex(request.signText.toUtf8()).toUpper();
        query = QStringLiteral("cataid=") + qCataid + QStringLiteral("&filename=") + name
            + QStringLiteral("&filesize=") + size + QStringLiteral("&isSts=N&luping=") + luping
            + QStringLiteral("&ptime=") + time + QStringLiteral("&sign=") + sign
            + QStringLiteral("&title=") + escapedTitle + QStringLiteral("&uploadType=") + type
            + QStringLiteral("&vid=") + qVid;
        request.url = endpoint + QLatin1Char('?') + query;
    }
    qDebug() << vid << "  fileid:" << fileid;
    return request;
}

InitRequest buildCurrentInitRequest(const UploadAccount &account, const QString &path,
                                    const QString &cataid, const QString &vid,
                                    const QString &fileid, const QString &dateStr)
{
    return buildInitRequest(account, path, cataid, vid, fileid, dateStr, nowPtime());
}

QString buildInitUrl(const UploadAccount &account, const QString &path, const QString &cataid,
                     const QString &vid, const QString &fileid, const QString &dateStr)
{
    return buildCurrentInitRequest(account, path, cataid, vid, fileid, dateStr).url;
}

int spaceRuleCode(qint64 remainSpace, qint64 fileSize)
{
    if (remainSpace <= fileSize)
        return 1;
    // remainSpace > fileSize here, so the difference cannot overflow.
    if (remainSpace - fileSize < kSpaceWarningMargin)
        return 5;
    return 2;
}

InitAnswer evaluateInitAnswer(bool requestOk, const QString &body, qint64 fileSize)
{
    InitAnswer answer;
    if (!requestOk)
        return answer;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return answer;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("code")).toInt() != 200) {
        answer.code = body.contains(QLatin1String("ptime is too old")) ? 3 : 0;
        return answer;
    }
    answer.accepted = true;
    answer.data = root.value(QStringLiteral("data")).toObject();
    const double space = answer.data.value(QStringLiteral("remainSpace")).toDouble();
    // Truncate towards zero; values beyond the 64-bit range saturate.
    if (space >= 9.2e18)
        answer.remainSpace = std::numeric_limits<qint64>::max();
    else if (space <= -9.2e18)
        answer.remainSpace = std::numeric_limits<qint64>::min();
    else
        answer.remainSpace = static_cast<qint64>(space);
    answer.code = spaceRuleCode(answer.remainSpace, fileSize);
    answer.ok = answer.code != 1;
    return answer;
}
