#pragma once

// DevService: the local stand-in for the whole video service (API host,
// account-web host, upload host, download host, vendor pages and the two
// object stores), served on one port of 127.0.0.1.
//
// In-process use (tests, benchmarks):
//
//     devsvc::DevService service;                 // temporary data folder
//     service.seedFromFile(devsvc::DevService::demoSeedPath());
//     QVERIFY(service.start());                   // port 0 = a free port
//     qputenv("ZAVIX_SERVICE_URL", service.baseUrl().toUtf8());
//     ...
//     service.answerNext("/v2/video/.*/list", 500, "{}");
//     const auto log = service.requestLog();
//
// Every public function is thread-safe; the server answers on its own
// threads, so a test may call into the handle while a request is running.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

namespace devsvc {

class ServiceCore;

// One demo account as the seed describes it (the program prints these).
struct DemoAccount
{
    QString email;
    QString password;
    QString userId;
    QString note; // what the account is for, e.g. "OSS account"
};

// One request as the service received it.
struct RequestLogEntry
{
    qint64 receivedMs = 0; // service clock (shift included), ms since 1970
    QString method;
    QString path;          // decoded path, without the query
    QString query;         // raw query text after "?", empty when none
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 bodySize = 0;   // bytes of the body the handler read
    QByteArray bodyMd5;    // lower-case hex MD5 of those bytes (bodies up to 256 KiB)
    int status = 0;        // HTTP status of the answer (0: connection dropped)
};

// The result of seeding or of another operation that can fail.
struct OpResult
{
    bool ok = false;
    QString error;
};

// What the service knows about one stored video (for assertions).
struct VideoState
{
    bool exists = false;
    QString vid;
    QString ownerUserId;
    QString cataid;
    QString title;  // as stored (HTML entities kept)
    QString tag;
    QString describ;
    QString status; // "5", "10", "61", ...
    qint64 size = 0;
    QByteArray md5; // lower-case hex of the whole object when known
};

class DevService final
{
public:
    struct Options
    {
        // Folder for stored objects and blocks. Empty: a temporary folder
        // that is removed again with the handle.
        QString dataDir;
        // Keep only the size and digest of uploaded bodies, not the bytes.
        bool digestOnly = false;
        // Milliseconds a finished upload stays in status "10" before it
        // turns to "61" (published).
        int encodeDelayMs = 3000;
        // Worker threads of the HTTP server.
        int threads = 24;
        // Compute the MD5 of request bodies of up to 256 KiB for the request
        // log (off for throughput measurements; larger bodies are logged
        // by size only).
        bool logBodyDigest = true;
    };

    DevService();
    explicit DevService(const Options &options);
    ~DevService();

    // Starts listening on 127.0.0.1:port (0 = any free port). False when the
    // port cannot be bound; errorString() says why.
    bool start(quint16 port = 0);
    void stop(); // releases stalled answers, waits for the server threads
    bool isRunning() const;
    quint16 port() const;
    QString baseUrl() const; // "http://127.0.0.1:<port>", no trailing slash
    QString errorString() const;

    // --- seed data ------------------------------------------------------
    static QString demoSeedPath(); // the seed file of the source tree
    OpResult seedFromFile(const QString &path);
    OpResult seed(const QByteArray &json); // same format as the seed file
    QList<DemoAccount> demoAccounts() const;

    // --- service state --------------------------------------------------
    void setRemainSpace(const QString &userId, qint64 bytes);
    qint64 remainSpace(const QString &userId) const;
    VideoState video(const QString &vid) const;
    QStringList videoIds(const QString &userId) const;
    bool isUploadRegistered(const QString &vid) const; // insert seen, not cancelled
    void setVideoStatus(const QString &vid, const QString &status);
    // Version list answer (a JSON array text) and the installer bytes.
    void setVersions(const QByteArray &jsonArray);
    void setInstaller(const QByteArray &bytes);
    // Makes every WCS upload token issued so far invalid (answers 401).
    void expireWcsTokens();
    // Every secret value the answers have handed out so far: secret keys of
    // logins, store keys and tokens of inits, speed-test policies and
    // signatures (for tests that look for them where they must not be).
    QStringList handedOutSecrets() const;

    // --- faults ---------------------------------------------------------
    // pathPattern is a regular expression matched against the whole path
    // (no query); method empty = any method. count < 0 = until cleared.
    void answerNext(const QString &pathPattern, int status, const QByteArray &body,
                    int count = 1, const QString &method = QString());
    // Closes the connection once `bytes` bytes of the request body arrived.
    void resetAfterBytes(const QString &pathPattern, qint64 bytes, int count = 1,
                         const QString &method = QString());
    // Delays the answer by msecs (before the body is read).
    void delayNext(const QString &pathPattern, int msecs, int count = 1,
                   const QString &method = QString());
    // Holds matching requests until releaseStalls() (or stop()).
    void stallNext(const QString &pathPattern, int count = 1, const QString &method = QString());
    void releaseStalls();
    int stalledCount() const; // requests currently held
    // Caps the speed at which request bodies are read, summed over all
    // connections (the OSS store paces each part body at this rate);
    // 0 = no cap.
    void setBandwidthLimit(qint64 bytesPerSecond);
    // Shifts the service clock (time-stamp checks, log times).
    void setClockOffsetMs(qint64 offsetMs);
    qint64 nowMs() const; // service clock
    void clearFaults();

    // --- request log ----------------------------------------------------
    QList<RequestLogEntry> requestLog() const;
    QList<RequestLogEntry> requests(const QString &pathPattern) const;
    // Waits until a logged request matches (or timeoutMs passed).
    bool waitForRequest(const QString &pathPattern, int timeoutMs);
    void clearRequestLog();

    ServiceCore &core(); // internals for the store modules

private:
    Q_DISABLE_COPY(DevService)
    std::unique_ptr<ServiceCore> m_core;
};

} // namespace devsvc
