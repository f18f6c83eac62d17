#include "upload/nettestrequest.h"

#include "net/api.h"
#include "net/transfer.h"
#include "net/transferlimits.h"
#include "upload/uploadinit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>

namespace nettest {

namespace {

const QString kCataid = QStringLiteral("1");
const QString kTitle = QStringLiteral("NetSpeedTest");
const QString kLuping = QStringLiteral("0");

QString md5Lower(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

} // namespace

Mode modeOfUploadType(const QString &uploadType)
{
    return uploadType == QLatin1String("1") ? WcsMode : OssMode;
}

QString testVid(const QString &userId)
{
    return userId + md5Lower("NetSpeedTest").left(22) + QLatin1Char('_') + userId.left(1);
}

CredentialRequest buildCredentialRequest(Mode mode, const TestAccount &account, qint64 ptime)
{
    const QString fileName = QString::fromLatin1(kTestFileName);
    const QString vid = testVid(account.userId);
    const QString size = QString::number(kTestFileSize);
    const QString uploadType =
        mode == WcsMode ? QStringLiteral("client_wcs_chunk") : QStringLiteral("client_aliyun_chunk");

    CredentialRequest r;
    r.signText = QStringLiteral("cataid=%1&filename=%2&filesize=%3&luping=%4&ptime=%5&title=%6&uploadType=%7&vid=%8%9")
                     .arg(kCataid, fileName, size, kLuping, QString::number(ptime), kTitle, uploadType, vid,
                          account.secretKey);
    const QString sign = signParams(r.signText);
    const QString name = escapeQueryText(fileName);
    const QString title = escapeQueryText(kTitle);

    QString endpoint;
    QString query;
    if (mode == WcsMode) {
        endpoint = account.apiHost + QStringLiteral("/v2/uploadvideo_wcs/%1/init").arg(account.uid);
        query = QStringLiteral("cataid=%1&describ=%2&filename=").arg(kCataid, QString()) + name
                + QStringLiteral("&filesize=%1&luping=%2&ptime=%3&sign=%4&tag=%5&title=")
                      .arg(size, kLuping, QString::number(ptime), sign, QString())
                + title + QStringLiteral("&uploadType=%1&vid=%2").arg(uploadType, vid);
    } else {
        endpoint = account.apiHost + QStringLiteral("/v2/aliyunoss/direct/%1/init").arg(account.uid);
        query = QStringLiteral("cataid=%1&filename=").arg(kCataid) + name
                + QStringLiteral("&filesize=%1&luping=%2&ptime=%3&sign=%4&title=")
                      .arg(size, kLuping, QString::number(ptime), sign)
                + title + QStringLiteral("&uploadType=%1&vid=%2").arg(uploadType, vid);
    }
    r.url = QStringLiteral("%1?%2").arg(endpoint, query);
    return r;
}

Credentials evaluateCredentialAnswer(Mode mode, bool requestOk, const QByteArray &body,
                                     const QString &testFile, const QDate &today)
{
    Credentials c;
    if (!requestOk)
        return c;
    const ApiEnvelope answer = parseEnvelope(body);
    if (!answer.codeIs200())
        return c;
    const QJsonObject data = answer.data.toObject();
    auto text = [&data](const char *key) { return data.value(QLatin1String(key)).toString(); };

    c.accepted = true;
    c.params.mode = mode;
    c.params.file = testFile;
    c.params.url = text("host");
    if (mode == WcsMode) {
        c.params.token = text("uploadToken");
        c.params.keyPrefix = QStringLiteral("uploadvideo/") + today.toString(QStringLiteral("yyyyMMdd"))
                             + QLatin1Char('/');
    } else {
        c.params.policy = text("policy");
        c.params.keyPrefix = text("dir");
        c.params.accessId = text("accessid");
        c.params.signature = text("signature");
    }
    return c;
}

Credentials requestCredentials(Mode mode, const TestAccount &account, const QString &testFile,
                               const std::atomic_bool *stop)
{
    const CredentialRequest request = buildCredentialRequest(mode, account, currentPtime());
    TransferBounds bounds;
    bounds.totalMs = transferLimits().speedTestRequestMs;
    bounds.stop = stop;
    const PostResult result = channelPost(request.url.toUtf8(), QByteArray(), bounds);
    return evaluateCredentialAnswer(mode, result.ok, result.body, testFile, QDate::currentDate());
}

bool ensureTestFile(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Content that does not compress, so no layer on the way shrinks it.
    QByteArray bytes(int(kTestFileSize), Qt::Uninitialized);
    quint32 x = 0x2545F491u;
    for (int i = 0; i < bytes.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x);
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace nettest
