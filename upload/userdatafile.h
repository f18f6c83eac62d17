#pragma once

#include <QJsonDocument>
#include <QString>

// The per-account state files (uploads, history, settings, network test) are
// stored as the Base64 text of an indented JSON document in the account's
// user data folder.
namespace userdata {

// QDir::currentPath() + "/users/" + lower-case hex MD5 of the e-mail + "/".
QString userDataFolder(const QString &email);

// Creates the folder with its parents; true when it exists afterwards.
bool ensureFolder(const QString &folder);

struct ReadResult
{
    bool ok = false; // false: missing, unreadable, or not JSON
    QJsonDocument document;
};

// Reads the whole file, decodes the Base64 and parses the JSON.
ReadResult readFile(const QString &path);

// Base64 text of the indented JSON, written atomically: either the new content
// is in place afterwards or the old file is left untouched.
bool writeFile(const QString &path, const QJsonDocument &document);

// The encoding alone, shared with tests and tools.
QByteArray encode(const QJsonDocument &document);
ReadResult decode(const QByteArray &content);

} // namespace userdata
