#include "prefs/settingsrecord.h"

#include "upload/userdatafile.h"

#include <QJsonObject>
#include <QtGlobal>

SettingsRecord settingsFromDocument(const QJsonDocument &document)
{
    SettingsRecord record;
    if (!document.isObject())
        return record;
    const QJsonObject root = document.object();
    record.autoStart = root.value(QStringLiteral("autoStart")).toBool();
    record.luping = root.value(QStringLiteral("luping")).toBool();
    record.autoShutDown = root.value(QStringLiteral("autoShutDown")).toBool();
    const int parallel = root.value(QStringLiteral("parallelTask")).toInt();
    record.parallelTask = parallel == 0 ? 2 : qBound(1, parallel, 5);
    return record;
}

QJsonDocument settingsToDocument(const SettingsRecord &record)
{
    QJsonObject root;
    root.insert(QStringLiteral("autoStart"), record.autoStart);
    root.insert(QStringLiteral("luping"), record.luping);
    root.insert(QStringLiteral("autoShutDown"), record.autoShutDown);
    root.insert(QStringLiteral("parallelTask"), record.parallelTask);
    return QJsonDocument(root);
}

SettingsRecord loadSettingsFile(const QString &path)
{
    const userdata::ReadResult file = userdata::readFile(path);
    if (!file.ok)
        return SettingsRecord();
    return settingsFromDocument(file.document);
}

bool saveSettingsFile(const QString &path, const SettingsRecord &record)
{
    return userdata::writeFile(path, settingsToDocument(record));
}
