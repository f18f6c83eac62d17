#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QtGlobal>

#include <atomic>

// The credential request of the network speed test and what its answer
// hands to the test upload.

namespace nettest {

constexpr qint64 kTestFileSize = 52428800;
inline const char *const kTestFileName = "NetSpeedTest.mp4";

enum Mode : int { OssMode = 0, WcsMode = 1 };

// The test mode of an account: WCS only for an upload type of exactly "1".
Mode modeOfUploadType(const QString &uploadType);

// userId + first 22 digits of md5("NetSpeedTest") + "_" + first character of userId.
QString testVid(const QString &userId);

// The account values the request needs.
struct TestAccount
{
    QString uid;
    QString userId;
    QString secretKey;
    QString apiHost; // base URL without trailing slash
};

struct CredentialRequest
{
    QString url;
    QString signText; // contains the secret key; never logged
};

// The signed init URL of the test for the given mode.
CredentialRequest buildCredentialRequest(Mode mode, const TestAccount &account, qint64 ptime);

// What the upload thread needs (one row of the form of each mode).
struct UploadParams
{
    int mode = OssMode;
    QString token;     // WCS
    QString keyPrefix; // OSS: the answer's dir; WCS: uploadvideo/yyyyMMdd/
    QString keyName = QString::fromLatin1(kTestFileName);
    QString file;      // local test file
    QString url;       // the answer's host
    QString policy;    // OSS
    QString signature; // OSS
    QString accessId;  // OSS
};

struct Credentials
{
    bool accepted = false;
    UploadParams params;
};

// Evaluates the answer: accepted when the transfer succeeded with status
// 200, the body is a JSON object and its code is 200. today names the WCS
// key folder.
Credentials evaluateCredentialAnswer(Mode mode, bool requestOk, const QByteArray &body,
                                     const QString &testFile, const QDate &today);

// Sends the request (channel bookkeeping POST, ending after
// speedTestRequestMs of transferLimits() in all or once stop is set) and
// evaluates it. Blocks: run it off the GUI thread.
Credentials requestCredentials(Mode mode, const TestAccount &account, const QString &testFile,
                               const std::atomic_bool *stop = nullptr);

// Makes the test file of kTestFileSize bytes when it does not exist; an
// existing file is left as it is. False when it had to be made and could not.
bool ensureTestFile(const QString &path);

} // namespace nettest
