#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One remembered user of the login dialog.
struct RememberedUser
{
    QString usrName;          // the e-mail address
    QString usrPwd;           // the password, or empty when it is not remembered
    bool isRemberPwd = false; // the user asked to remember the password
};

// The stored form of the remembered-users file: the JSON text in Base64,
// zero-padded and encrypted with AES-128-CBC under a key built into the
// program. Errors are values: a text that cannot be recovered is empty.
namespace usersfile {

// JSON text -> file bytes.
QByteArray encode(const QString &jsonText);

// File bytes -> JSON text; empty when the bytes are truncated, cannot be
// decrypted or do not hold Base64.
QString decode(const QByteArray &fileBytes);

// Reads and decodes the file; empty when it is missing or unreadable.
QString readFile(const QString &path);

// Encodes and writes the whole file atomically. Returns false on failure.
bool writeFile(const QString &path, const QString &jsonText);

} // namespace usersfile

// The remembered users held in a JSON text (an array of objects, most recent
// first). Anything that is not such an array gives an empty list.
QList<RememberedUser> parseRememberedUsers(const QString &jsonText);

// The entry for `name`, when the text holds one.
struct RememberedLookup
{
    bool found = false;
    RememberedUser user;
};
RememberedLookup findRememberedUser(const QString &jsonText, const QString &name);

// Puts `user` first, dropping an earlier entry of the same address, and
// returns the new indented JSON text. A text that is not an array starts a
// new list.
QString rememberUser(const QString &jsonText, const RememberedUser &user);
