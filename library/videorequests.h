#pragma once

#include <QByteArray>
#include <QString>

// The signed requests of the video pages and rows. Every builder takes the
// time stamp and the secret key so that the result depends on nothing else.
namespace videorequests {

struct ListQuery
{
    QString uid;      // effective user id
    QString cataflag; // "0" with sub-categories, "1" without
    QString cataid;
    int pageNum = 1;
    qint64 ptime = 0;
    QString secretKey;
};
// GET URL of one page of a category.
QString listUrl(const QString &apiHost, const ListQuery &query);
QString listSignText(const ListQuery &query);

struct SearchQuery
{
    QString uid;
    QString keyword; // raw text; encoded in the URL, raw in the signed text
    int pageNum = 1;
    qint64 ptime = 0;
    QString secretKey;
};
// GET URL of one page of a whole-library title search.
QString searchUrl(const QString &apiHost, const SearchQuery &query);
QString searchSignText(const SearchQuery &query);

// GET URL that deletes a video.
QString deleteUrl(const QString &apiHost, const QString &uid, const QString &vid, qint64 ptime,
                  const QString &secretKey);

struct VideoInfo
{
    QString vid;
    QString title;
    QString tag;
    QString describ;
};
struct FormRequest
{
    QByteArray url;
    QByteArray body;
};
// POST form that changes a video's title, tags and description. Every key is
// in the body; only non-empty values enter the signature.
FormRequest editInfoRequest(const QString &apiHost, const QString &uid, const VideoInfo &info,
                            qint64 ptime, const QString &secretKey);
QString editInfoSignText(const VideoInfo &info, qint64 ptime, const QString &secretKey);

struct CoverRequest
{
    QByteArray url;
    QByteArray ptime;
    QByteArray sign;
    QByteArray vids;
};
// Multipart upload of a new cover image (the file part is added by the worker).
CoverRequest coverRequest(const QString &apiHost, const QString &uid, const QString &vid,
                          qint64 ptime, const QString &secretKey);

} // namespace videorequests
