#include "library/videorequests.h"

#include "net/api.h"

namespace videorequests {

namespace {

// Ids come from the service or the tree; they are encoded like free text so
// that an unexpected character cannot change the meaning of the query. For
// ordinary ids (letters, digits, "-", "_") this leaves them as they are.
QString idValue(const QString &id)
{
    return QString::fromLatin1(urlEncode(id));
}

QString pathBase(const QString &apiHost, const QString &uid)
{
    return apiHost + QStringLiteral("/v2/video/") + idValue(uid);
}

} // namespace

QString listSignText(const ListQuery &query)
{
    return QStringLiteral("cataflag=%1&cataid=%2&numPerPage=%3&pageNum=%4&ptime=%5%6")
        .arg(query.cataflag, query.cataid, QString::number(20), QString::number(query.pageNum),
             QString::number(query.ptime), query.secretKey);
}

QString listUrl(const QString &apiHost, const ListQuery &query)
{
    return pathBase(apiHost, query.uid)
        + QStringLiteral("/list?cataflag=%1&cataid=%2&numPerPage=%3&pageNum=%4&ptime=%5&sign=%6")
              .arg(idValue(query.cataflag), idValue(query.cataid), QString::number(20),
                   QString::number(query.pageNum), QString::number(query.ptime),
                   signParams(listSignText(query)));
}

QString searchSignText(const SearchQuery &query)
{
    return QStringLiteral("cataflag=0&cataid=1&keyword=") + query.keyword
        + QStringLiteral("&numPerPage=20&pageNum=") + QString::number(query.pageNum)
        + QStringLiteral("&ptime=") + QString::number(query.ptime) + query.secretKey;
}

QString searchUrl(const QString &apiHost, const SearchQuery &query)
{
    return pathBase(apiHost, query.uid) + QStringLiteral("/list?cataflag=0&cataid=1&keyword=")
        + QString::fromLatin1(urlEncode(query.keyword.toUtf8()))
        + QStringLiteral("&numPerPage=20&pageNum=") + QString::number(query.pageNum)
        + QStringLiteral("&ptime=") + QString::number(query.ptime) + QStringLiteral("&sign=")
        + signParams(searchSignText(query));
}

QString deleteUrl(const QString &apiHost, const QString &uid, const QString &vid, qint64 ptime,
                  const QString &secretKey)
{
    const QString stamp = QString::number(ptime);
    const QString sign = signParams(QStringLiteral("ptime=%1&vid=%2%3").arg(stamp, vid, secretKey));
    return pathBase(apiHost, uid) + QStringLiteral("/del-video?ptime=") + stamp
        + QStringLiteral("&sign=") + sign + QStringLiteral("&vid=") + idValue(vid);
}

QString editInfoSignText(const VideoInfo &info, qint64 ptime, const QString &secretKey)
{
    QString text;
    auto add = [&text](const char *key, const QString &value) {
        if (!value.isEmpty())
            text += QLatin1Char('&') + QLatin1String(key) + QLatin1Char('=') + value;
    };
    add("describ", info.describ);
    add("ptime", QString::number(ptime));
    add("tag", info.tag);
    add("title", info.title);
    add("vid", info.vid);
    text += secretKey;
    return text.mid(1);
}

FormRequest editInfoRequest(const QString &apiHost, const QString &uid, const VideoInfo &info,
                            qint64 ptime, const QString &secretKey)
{
    FormRequest request;
    request.url = (pathBase(apiHost, uid) + QStringLiteral("/video-info")).toUtf8();
    request.body = QByteArrayLiteral("ptime=") + QByteArray::number(ptime)
        + QByteArrayLiteral("&sign=") + signParams(editInfoSignText(info, ptime, secretKey)).toLatin1()
        + QByteArrayLiteral("&vid=") + urlEncode(info.vid)
        + QByteArrayLiteral("&title=") + urlEncode(info.title)
        + QByteArrayLiteral("&tag=") + urlEncode(info.tag)
        + QByteArrayLiteral("&describ=") + urlEncode(info.describ);
    return request;
}

CoverRequest coverRequest(const QString &apiHost, const QString &uid, const QString &vid,
                          qint64 ptime, const QString &secretKey)
{
    CoverRequest request;
    request.url = (pathBase(apiHost, uid) + QStringLiteral("/uploadCoverImage")).toUtf8();
    request.ptime = QByteArray::number(ptime);
    request.vids = vid.toUtf8();
    request.sign = signParams(QStringLiteral("ptime=") + QString::number(ptime)
                              + QStringLiteral("&vids=") + vid + secretKey)
                       .toLatin1();
    return request;
}

} // namespace videorequests
