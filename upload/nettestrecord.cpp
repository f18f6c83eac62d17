#include "upload/nettestrecord.h"

#include "upload/userdatafile.h"

#include <QJsonObject>

namespace nettest {

QString recordPath(const QString &userDataFolder)
{
    return userDataFolder + QStringLiteral("netparamsInfo.json");
}

NetTestRecord recordFromResult(int channel, bool ok, int speedA, int speedB)
{
    NetTestRecord r;
    r.uploadType = channel;
    if (ok && speedA > 0) {
        r.paramType = 1;
        r.speedA = speedA;
        r.speedB = speedB;
    }
    return r;
}

QJsonDocument toDocument(const NetTestRecord &record)
{
    QJsonObject o;
    o.insert(QStringLiteral("paramType"), record.paramType);
    o.insert(QStringLiteral("speedA"), record.speedA);
    o.insert(QStringLiteral("speedB"), record.speedB);
    o.insert(QStringLiteral("uploadType"), record.uploadType);
    return QJsonDocument(o);
}

NetTestRecord fromFile(const userdata::ReadResult &read, int channel)
{
    NetTestRecord r;
    if (!read.ok)
        return r;
    r.uploadType = channel;
    if (channel == 1 || !read.document.isObject())
        return r;
    const QJsonObject o = read.document.object();
    r.paramType = o.value(QStringLiteral("paramType")).toInt();
    r.speedA = o.value(QStringLiteral("speedA")).toInt();
    r.speedB = o.value(QStringLiteral("speedB")).toInt();
    return r;
}

NetTestRecord loadRecord(const QString &path, int channel)
{
    return fromFile(userdata::readFile(path), channel);
}

bool saveRecord(const QString &path, const NetTestRecord &record)
{
    return userdata::writeFile(path, toDocument(record));
}

} // namespace nettest
