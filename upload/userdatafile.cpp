#include "upload/userdatafile.h"

#include "platform/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonParseError>
#include <QSaveFile>

namespace userdata {

QString userDataFolder(const QString &email)
{
    const QByteArray digest =
        QCryptographicHash::hash(email.toUtf8(), QCryptographicHash::Md5).toHex();
    return QDir::currentPath() + QStringLiteral("/users/") + QString::fromLatin1(digest)
        + QLatin1Char('/');
}

bool ensureFolder(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return false;
    // The folder holds the account's queue with its upload tokens.
    platform::restrictFolderToOwner(dir.absolutePath());
    return true;
}

QByteArray encode(const QJsonDocument &document)
{
    return document.toJson(QJsonDocument::Indented).toBase64();
}

ReadResult decode(const QByteArray &content)
{
    ReadResult result;
    const QByteArray json = QByteArray::fromBase64(content.trimmed());
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return result;
    result.ok = true;
    result.document = document;
    return result;
}

ReadResult readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    return decode(content);
}

bool writeFile(const QString &path, const QJsonDocument &document)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    // Also tightens a file that an older version left readable by others.
    platform::restrictToOwner(file);
    const QByteArray content = encode(document);
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace userdata
