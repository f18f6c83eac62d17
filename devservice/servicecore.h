#pragma once

// The running service behind DevService: the HTTP server, its data, the
// fault table and the request log.

#include "devservice/devservice.h"
#include "devservice/faults.h"
#include "devservice/servicestate.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

namespace devsvc {

class WcsStore;
class OssHook;

// Keys and addresses of the OSS store as the init answers hand them out.
struct OssCoordinates
{
    QString bucket;
    QString endpoint; // "http://127.0.0.1:<port>" (path-style addressing)
    QString accessId;
    QString accessKey;
    QString token;
};

class ServiceCore final
{
public:
    explicit ServiceCore(const DevService::Options &options);
    ~ServiceCore();

    bool start(quint16 port);
    void stop();
    bool isRunning() const;
    quint16 port() const { return m_port.load(); }
    QString baseUrl() const;
    QString hostName() const; // "127.0.0.1:<port>"
    QString errorString() const;

    ServiceState &state() { return m_state; }
    FaultTable &faults() { return m_faults; }
    RequestLog &log() { return m_log; }
    WcsStore &wcs() { return *m_wcs; }

    qint64 nowMs() const;
    void setClockOffsetMs(qint64 offset) { m_clockOffsetMs.store(offset); }
    QString dataDir() const { return m_dataDir; }
    bool digestOnly() const { return m_options.digestOnly; }
    bool logDigests() const { return m_options.logBodyDigest; }

    OssCoordinates ossCoordinates();
    OssHook *ossHook();

    // Every key, token and signature an answer has carried (no empty ones).
    void noteSecret(const QString &value);
    QStringList handedOutSecrets() const;

private:
    Q_DISABLE_COPY(ServiceCore)
    void configure(httplib::Server &server);

    DevService::Options m_options;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_dataDir;
    ServiceState m_state;
    FaultTable m_faults;
    RequestLog m_log;
    std::unique_ptr<WcsStore> m_wcs;
    std::mutex m_ossMutex;
    std::unique_ptr<OssHook> m_oss;

    mutable std::mutex m_lifeMutex;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<quint16> m_port{0};
    std::atomic<qint64> m_clockOffsetMs{0};
    QString m_error;
    QString m_ossKeyId;
    QString m_ossKeySecret;
    mutable std::mutex m_secretMutex;
    QStringList m_secrets;
};

// Forwarding of faults to the OSS store's own switches.
void ossSetReadRate(OssHook &oss, qint64 bytesPerSecond);
void ossResetNextParts(OssHook &oss, int count, qint64 afterBytes);
void ossClearFaults(OssHook &oss);
QString ossBucketOf(OssHook &oss);

} // namespace devsvc
