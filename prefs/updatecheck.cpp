#include "prefs/updatecheck.h"

#include "app/messageinfo.h"
#include "net/backgroundcall.h"
#include "net/servicehosts.h"
#include "net/transfer.h"
#include "net/transferlimits.h"
#include "platform/platform.h"
#include "prefs/updatedialog.h"
#include "zavixproduct.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QUrl>
#include <QtDebug>

namespace update {

QString builtInVersion()
{
    // The version that version.ini holds, from the build (top-level CMakeLists.txt).
    return QStringLiteral(ZAVIX_PRODUCT_VERSION);
}

QString versionFilePath()
{
    return QDir::currentPath() + QStringLiteral("/version.ini");
}

DecodedVersion decodeVersionValue(const QByteArray &base64)
{
    DecodedVersion d;
    const QByteArray::FromBase64Result r =
        QByteArray::fromBase64Encoding(base64.trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!r)
        return d;
    d.ok = true;
    d.version = QString::fromUtf8(r.decoded);
    return d;
}

QByteArray encodeVersionValue(const QString &version)
{
    return version.toUtf8().toBase64();
}

VersionFileCheck checkVersionFile(const QString &path, const QString &expected)
{
    VersionFileCheck c;
    if (!QFileInfo(path).isFile())
        return c;
    const QSettings ini(path, QSettings::IniFormat);
    const DecodedVersion decoded = decodeVersionValue(ini.value(QStringLiteral("VERSION")).toString().toLocal8Bit());
    c.localVersion = decoded.ok ? decoded.version : QString();
    c.state = decoded.ok && decoded.version == expected ? VersionFileState::Match : VersionFileState::Mismatch;
    return c;
}

VersionAnswer parseVersionAnswer(bool requestOk, const QByteArray &body)
{
    VersionAnswer a;
    if (!requestOk)
        return a;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().isEmpty())
        return a;
    const QJsonValue first = doc.array().first();
    if (!first.isObject())
        return a;
    const QJsonObject o = first.toObject();
    // Without a version text there is nothing to offer: a missing, null,
    // numeric or empty version must not count as an update to "" at every
    // start.
    const QJsonValue version = o.value(QStringLiteral("version"));
    if (!version.isString() || version.toString().trimmed().isEmpty())
        return a;
    a.ok = true;
    a.version = version.toString();
    a.description = o.value(QStringLiteral("description")).toString();
    return a;
}

bool isOfferedUpdate(const QString &localVersion, const QString &offered)
{
    return !offered.trimmed().isEmpty() && offered != localVersion;
}

QString versionListUrl()
{
    return hosts::accountWebHost() + QStringLiteral("/uc/video/getVersions");
}

QString installerUrl()
{
    return hosts::downloadHost() + QStringLiteral("/soft/ZavixUploadClientSetup.exe");
}

QString downloadPageUrl()
{
    return hosts::vendorSite() + QStringLiteral("/download/");
}

QString installerPath(const QString &downloadFolder)
{
    return QStringLiteral("%1/%2.exe").arg(downloadFolder, QStringLiteral("ZavixUploadClient2019"));
}

bool startInstaller(const QString &path)
{
    platform::makeExecutable(path);
    return platform::startProgram(path);
}

} // namespace update

QString checkForUpdate(QWidget *parent)
{
    return checkForUpdate(parent, UpdateEnvironment());
}

QString checkForUpdate(QWidget *parent, const UpdateEnvironment &env)
{
    using namespace update;
    QString result = QString::fromLatin1(kNotUpdate);

    const VersionFileCheck file = checkVersionFile(env.versionFile, builtInVersion());
    if (file.state == VersionFileState::Missing) {
        qWarning() << "version check failed: missing" << env.versionFile;
        MessageInfo info(parent, QCoreApplication::translate("UpdateCheck", "提示"),
                         QCoreApplication::translate("UpdateCheck", "检测版本失败，缺少文件\r\n无法使用客户端,请到官网重新下载"),
                         QCoreApplication::translate("UpdateCheck", "确定"), QString());
        info.exec();
        result = QString::fromLatin1(kError);
    } else if (file.state == VersionFileState::Mismatch) {
        qWarning() << "version check failed: damaged" << env.versionFile << file.localVersion;
        MessageInfo info(parent, QCoreApplication::translate("UpdateCheck", "提示"),
                         QCoreApplication::translate("UpdateCheck", "检测版本失败，文件损坏\r\n无法使用客户端,请到官网重新下载"),
                         QCoreApplication::translate("UpdateCheck", "确定"), QString());
        info.exec();
        result = QString::fromLatin1(kError);
    } else {
        // The request runs on a thread of its own while this thread's event
        // loop keeps running; a service that does not answer in time counts
        // as no answer, and the login follows.
        const QByteArray url = versionListUrl().toUtf8();
        const std::optional<TransferResult> r = background::startAndWait<TransferResult>(
            int(transferLimits().versionCheckMs),
            [url](const std::atomic_bool &stop) { return versionGet(url, &stop); });
        if (!r)
            qWarning() << "version check: no answer in time";
        const VersionAnswer answer = r ? parseVersionAnswer(r->ok, r->body) : VersionAnswer();
        if (answer.ok && isOfferedUpdate(file.localVersion, answer.version)) {
            qDebug() << "update offered:" << answer.version;
            auto *dialog = new UpdateDialog(parent, answer.description);
            if (env.startInstaller)
                dialog->setInstallerStarter(env.startInstaller);
            if (dialog->exec() == QDialog::Accepted)
                result = QString::fromLatin1(kUpdate);
        }
    }

    if (result == QLatin1String(kError)) {
        const QUrl page(downloadPageUrl());
        if (env.openUrl)
            env.openUrl(page);
        else
            QDesktopServices::openUrl(page);
    }
    return result;
}
