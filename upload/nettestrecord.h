#pragma once

#include "upload/userdatafile.h"

#include <QJsonDocument>
#include <QString>

// The recorded result of the network speed test, kept per account in
// "netparamsInfo.json" of the user data folder.
struct NetTestRecord
{
    int uploadType = 0; // the account's channel when recorded: 0 OSS, 1 WCS
    int paramType = 0;  // 1 when the record holds a measurement
    int speedA = 0;     // bytes per second
    int speedB = 0;     // bytes per second; always 0 here

    bool operator==(const NetTestRecord &o) const
    {
        return uploadType == o.uploadType && paramType == o.paramType && speedA == o.speedA
               && speedB == o.speedB;
    }
};

namespace nettest {

// userDataFolder (with its trailing "/") + "netparamsInfo.json".
QString recordPath(const QString &userDataFolder);

// The record for the outcome of one test: a measurement only when ok and
// speedA > 0, zeros otherwise.
NetTestRecord recordFromResult(int channel, bool ok, int speedA, int speedB);

// The JSON document of the file (keys paramType, speedA, speedB, uploadType).
QJsonDocument toDocument(const NetTestRecord &record);

// Loads the file for an account of the given channel. The file's
// "uploadType" is not read: the record takes the account's channel, and a
// WCS account (channel 1) keeps no speeds. A missing or unreadable file
// gives a zeroed record.
NetTestRecord loadRecord(const QString &path, int channel);
// The same from a file already read (not ok: the zeroed record).
NetTestRecord fromFile(const userdata::ReadResult &read, int channel);

// Writes the record atomically. False when it could not be written.
bool saveRecord(const QString &path, const NetTestRecord &record);

} // namespace nettest
