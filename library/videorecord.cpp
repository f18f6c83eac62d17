#include "library/videorecord.h"

#include "library/videoformat.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QMultiMap>

VideoRecord VideoRecord::fromJson(const QJsonObject &object)
{
    auto text = [&object](const char *key) { return object.value(QLatin1String(key)).toString(); };
    VideoRecord record;
    record.vid = text("vid");
    record.title = videoformat::decodeTitle(text("title"));
    record.duration = text("duration");
    record.times = text("times");
    record.playerwidth = text("playerwidth");
    record.playerheight = text("playerheight");
    record.status = text("status");
    record.firstImage = text("first_image");
    record.tag = text("tag");
    record.describ = text("describ");
    record.ptime = text("ptime");
    record.cataid = text("cataid");
    record.cataname = text("cataname");
    return record;
}

VideoListAnswer VideoListAnswer::parse(const QString &text)
{
    VideoListAnswer answer;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return answer;
    const QJsonObject object = document.object();
    answer.parsed = true;
    answer.status = object.value(QLatin1String("status")).toString();
    answer.message = object.value(QLatin1String("message")).toString();
    answer.pageCount = videoformat::pageCount(answer.message);
    const QJsonValue data = object.value(QLatin1String("data"));
    answer.hasData = data.isArray();
    if (answer.hasData) {
        const QJsonArray array = data.toArray();
        answer.videos.reserve(array.size());
        for (const QJsonValue &element : array)
            answer.videos.append(VideoRecord::fromJson(element.toObject()));
    }
    return answer;
}

QVector<int> searchRowOrder(const QVector<VideoRecord> &videos, bool byName)
{
    QVector<int> order;
    order.reserve(videos.size());
    if (!byName) {
        for (int i = 0; i < videos.size(); ++i)
            order.append(i);
        return order;
    }
    // A multi-map lists the most recently inserted of equal keys first.
    QMultiMap<QString, int> byTitle;
    for (int i = 0; i < videos.size(); ++i)
        byTitle.insert(videos.at(i).title, i);
    for (auto it = byTitle.cbegin(); it != byTitle.cend(); ++it)
        order.append(it.value());
    return order;
}
