#include "prefs/historyrecord.h"

#include "upload/userdatafile.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

namespace history {

QString timeFormat()
{
    return QStringLiteral("yyyy-MM-dd hh:mm:ss");
}

QString counterText(int rows)
{
    return QCoreApplication::translate("HistoryPage", "(文件数量:%1/500个)")
        .arg(QStringLiteral("<font color = #26a0f5>%1</font>").arg(rows));
}

QJsonDocument toDocument(const QList<HistoryEntry> &entries)
{
    QJsonArray array;
    for (const HistoryEntry &e : entries) {
        QJsonObject object;
        object.insert(QStringLiteral("path"), e.path);
        object.insert(QStringLiteral("filename"), e.filename);
        object.insert(QStringLiteral("fileSize"), e.fileSize);
        object.insert(QStringLiteral("finishTime"), e.finishTime);
        object.insert(QStringLiteral("status"), e.status);
        object.insert(QStringLiteral("vid"), e.vid);
        object.insert(QStringLiteral("cataid"), e.cataid);
        object.insert(QStringLiteral("cataname"), e.cataname);
        array.append(object);
    }
    return QJsonDocument(array);
}

LoadResult fromDocument(const QJsonDocument &document)
{
    LoadResult result;
    if (!document.isArray())
        return result;
    result.ok = true;
    const QJsonArray array = document.array();
    result.entries.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject o = value.toObject();
        HistoryEntry e;
        e.path = o.value(QStringLiteral("path")).toString();
        e.filename = o.value(QStringLiteral("filename")).toString();
        e.fileSize = o.value(QStringLiteral("fileSize")).toString();
        e.finishTime = o.value(QStringLiteral("finishTime")).toString();
        e.status = o.value(QStringLiteral("status")).toString();
        e.vid = o.value(QStringLiteral("vid")).toString();
        e.cataid = o.value(QStringLiteral("cataid")).toString();
        e.cataname = o.value(QStringLiteral("cataname")).toString();
        result.entries.append(e);
    }
    return result;
}

LoadResult loadFile(const QString &path)
{
    const userdata::ReadResult read = userdata::readFile(path);
    if (!read.ok)
        return {};
    return fromDocument(read.document);
}

bool saveFile(const QString &path, const QList<HistoryEntry> &entries)
{
    return userdata::writeFile(path, toDocument(entries));
}

} // namespace history
