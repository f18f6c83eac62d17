#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QUrl;
class QWidget;

// The start-up check of the installation and of the version the service
// offers. checkForUpdate() returns one of three words: "update" (the new
// installer runs; the program ends), "error" (the installation is
// inconsistent; the program ends after opening the download page) or
// "notUpdate" (go on to the login).

namespace update {

// The version this program is.
QString builtInVersion();

// QDir::currentPath() + "/version.ini".
QString versionFilePath();

// The Base64 text of the "VERSION" key decoded as UTF-8. Not ok when the
// text is not valid Base64.
struct DecodedVersion
{
    bool ok = false;
    QString version;
};
DecodedVersion decodeVersionValue(const QByteArray &base64);
// The value a version file must hold for the given version.
QByteArray encodeVersionValue(const QString &version);

enum class VersionFileState { Missing, Mismatch, Match };
struct VersionFileCheck
{
    VersionFileState state = VersionFileState::Missing;
    QString localVersion; // the decoded text (empty when missing or not Base64)
};
VersionFileCheck checkVersionFile(const QString &path, const QString &expected);

// The first element of the version list answer.
struct VersionAnswer
{
    bool ok = false; // status 200, a JSON array whose first element is an object
                     // with a non-blank `version` text
    QString version;
    QString description;
};
VersionAnswer parseVersionAnswer(bool requestOk, const QByteArray &body);

// Any offered version other than the installed one is an update, newer or
// older; a blank one is none.
bool isOfferedUpdate(const QString &localVersion, const QString &offered);

QString versionListUrl(); // account-web host + "/uc/video/getVersions"
QString installerUrl();   // download host + "/soft/ZavixUploadClientSetup.exe"
QString downloadPageUrl(); // vendor site + "/download/"

// "<download folder>/ZavixUploadClient2019.exe".
QString installerPath(const QString &downloadFolder);

// Makes the file executable where that matters, then starts it on its own
// without arguments (the whole path is the program; platform::startProgram).
bool startInstaller(const QString &path);

inline const char *const kUpdate = "update";
inline const char *const kError = "error";
inline const char *const kNotUpdate = "notUpdate";

} // namespace update

// What the check does outside the program; tests replace parts of it.
struct UpdateEnvironment
{
    QString versionFile = update::versionFilePath();
    std::function<void(const QUrl &)> openUrl;            // default: the browser
    std::function<bool(const QString &)> startInstaller; // default: update::startInstaller
};

QString checkForUpdate(QWidget *parent);
QString checkForUpdate(QWidget *parent, const UpdateEnvironment &env);
