#pragma once

#include <QJsonDocument>
#include <QString>

// The four user settings of the upload engine.
struct SettingsRecord
{
    int parallelTask = 2; // 1 to 5
    bool luping = false;
    bool autoStart = true;
    bool autoShutDown = false;
};

// File name of the settings in the user data folder.
inline QString settingsFileName()
{
    return QStringLiteral("settingsInfo.json");
}

// The record from a parsed document. A root that is not an object reads as a
// missing file (the defaults); in an object a missing boolean reads as false,
// a missing or zero "parallelTask" as 2 and any other value is kept in 1..5.
SettingsRecord settingsFromDocument(const QJsonDocument &document);
QJsonDocument settingsToDocument(const SettingsRecord &record);

// The file as the user data convention stores it; missing, unreadable or
// damaged files give the defaults.
SettingsRecord loadSettingsFile(const QString &path);
bool saveSettingsFile(const QString &path, const SettingsRecord &record);
