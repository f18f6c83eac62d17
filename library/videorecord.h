#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

// One video of a list or search answer. Every member is sent as a JSON
// string; a member of another type reads as an empty text.
struct VideoRecord
{
    QString vid;
    QString title; // entities decoded
    QString duration;
    QString times;
    QString playerwidth;
    QString playerheight;
    QString status;
    QString firstImage;
    QString tag;
    QString describ;
    QString ptime;
    QString cataid;
    QString cataname;

    static VideoRecord fromJson(const QJsonObject &object);
};

// The answer of the list and the search request.
struct VideoListAnswer
{
    bool parsed = false;     // the text was a JSON object
    QString status;          // "200" means success
    QString message;         // total number of matching videos, or an error text
    bool hasData = false;    // "data" is an array
    QVector<VideoRecord> videos;
    int pageCount = 1;

    bool succeeded() const { return parsed && status == QLatin1String("200") && hasData; }
    // The service rejected the time stamp.
    bool timeRejected() const { return message.contains(QLatin1String("ptime is")); }

    static VideoListAnswer parse(const QString &text);
};

// The order in which search rows are listed: the answer's order, or by the
// decoded title (ascending, case-sensitive) with equal titles in reverse
// answer order. Returns indices into videos.
QVector<int> searchRowOrder(const QVector<VideoRecord> &videos, bool byName);
