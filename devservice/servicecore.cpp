#include "devservice/servicecore.h"

#include "devservice/bodygate.h"
#include "devservice/routes.h"
#include "devservice/wcs/wcsstore.h"

#include <httplib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>

#if __has_include("devservice/oss/ossstore.h")
#include "devservice/oss/ossstore.h"
#define DEVSERVICE_HAS_OSS_STORE 1
#else
#define DEVSERVICE_HAS_OSS_STORE 0
#endif

#include <chrono>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace devsvc {

namespace {

[[maybe_unused]] QString randomText(int bytes)
{
    QByteArray raw(bytes, '\0');
    for (int i = 0; i < raw.size(); ++i)
        raw[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

// The OSS store lives in its own module; this wraps whether it is built in.
class OssHook final
{
public:
    OssHook(const QString &dataDir, bool digestOnly, const QString &bucket, std::function<qint64()> clock)
#if DEVSERVICE_HAS_OSS_STORE
        : m_store(dataDir + QStringLiteral("/oss"), digestOnly, bucket)
    {
        m_store.setClock(std::move(clock));
    }
#else
    {
        Q_UNUSED(dataDir)
        Q_UNUSED(digestOnly)
        Q_UNUSED(clock)
        m_bucket = bucket;
        m_id = randomText(12);
        m_secret = randomText(24);
    }
#endif

    QString bucket() const
    {
#if DEVSERVICE_HAS_OSS_STORE
        return m_store.bucket();
#else
        return m_bucket;
#endif
    }
    QPair<QString, QString> keys() const
    {
#if DEVSERVICE_HAS_OSS_STORE
        const OssCredentials c = m_store.credentials();
        return qMakePair(c.accessKeyId, c.accessKeySecret);
#else
        return qMakePair(m_id, m_secret);
#endif
    }
    void registerRoutes(httplib::Server &server)
    {
#if DEVSERVICE_HAS_OSS_STORE
        registerOssRoutes(server, m_store);
#else
        Q_UNUSED(server)
#endif
    }
    void setReadRate(qint64 rate)
    {
#if DEVSERVICE_HAS_OSS_STORE
        m_store.setPartReadRate(rate);
#else
        Q_UNUSED(rate)
#endif
    }
    void resetNextParts(int count, qint64 afterBytes)
    {
#if DEVSERVICE_HAS_OSS_STORE
        m_store.resetNextParts(count, afterBytes);
#else
        Q_UNUSED(count)
        Q_UNUSED(afterBytes)
#endif
    }
    void clearFaults()
    {
#if DEVSERVICE_HAS_OSS_STORE
        m_store.clearFaults();
#endif
    }
#if DEVSERVICE_HAS_OSS_STORE
    OssStore &store() { return m_store; }

private:
    OssStore m_store;
#else
private:
    QString m_bucket;
    QString m_id;
    QString m_secret;
#endif
};

void ossSetReadRate(OssHook &oss, qint64 bytesPerSecond)
{
    oss.setReadRate(bytesPerSecond);
}

void ossResetNextParts(OssHook &oss, int count, qint64 afterBytes)
{
    oss.resetNextParts(count, afterBytes);
}

void ossClearFaults(OssHook &oss)
{
    oss.clearFaults();
}

QString ossBucketOf(OssHook &oss)
{
    return oss.bucket();
}

ServiceCore::ServiceCore(const DevService::Options &options) : m_options(options)
{
    if (m_options.dataDir.isEmpty()) {
        m_tempDir = std::make_unique<QTemporaryDir>();
        m_dataDir = m_tempDir->path();
    } else {
        m_dataDir = QDir(m_options.dataDir).absolutePath();
        QDir().mkpath(m_dataDir);
    }
    m_state.setEncodeDelay(m_options.encodeDelayMs);
    // Upload tokens and block states live in the data folder, so a batch
    // outlives a restart of the service on the same folder.
    m_state.keepTicketsIn(m_dataDir + QStringLiteral("/wcs-tickets.json"));
    m_wcs = std::make_unique<WcsStore>(m_dataDir, m_options.digestOnly);
}

ServiceCore::~ServiceCore()
{
    stop();
}

void ServiceCore::noteSecret(const QString &value)
{
    if (value.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(m_secretMutex);
    if (!m_secrets.contains(value))
        m_secrets.append(value);
}

QStringList ServiceCore::handedOutSecrets() const
{
    std::lock_guard<std::mutex> lock(m_secretMutex);
    return m_secrets;
}

qint64 ServiceCore::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch() + m_clockOffsetMs.load();
}

QString ServiceCore::baseUrl() const
{
    return QStringLiteral("http://") + hostName();
}

QString ServiceCore::hostName() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port.load());
}

QString ServiceCore::errorString() const
{
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    return m_error;
}

bool ServiceCore::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    return m_server && m_server->is_running();
}

OssCoordinates ServiceCore::ossCoordinates()
{
    OssCoordinates c;
    OssHook *oss = ossHook();
    c.bucket = oss->bucket();
    const auto keys = oss->keys();
    c.accessId = keys.first;
    c.accessKey = keys.second;
    c.endpoint = baseUrl();
    return c;
}

OssHook *ServiceCore::ossHook()
{
    // Made on first use, after seeding has named the bucket.
    std::lock_guard<std::mutex> lock(m_ossMutex);
    if (!m_oss)
        m_oss = std::make_unique<OssHook>(m_dataDir, m_options.digestOnly, m_state.ossBucket(),
                                          [this] { return nowMs(); });
    return m_oss.get();
}

void ServiceCore::configure(httplib::Server &server)
{
    const int threads = std::max(4, m_options.threads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(size_t(threads)); };
    // Answers go out at once (no waiting for the peer's delayed ACK); the
    // accepted sockets inherit these options from the listening one.
    server.set_socket_options([](socket_t sock) {
        httplib::default_socket_options(sock);
        int yes = 1;
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        int buffer = 4 * 1024 * 1024;
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    });
    server.set_payload_max_length(size_t(64) * 1024 * 1024 * 1024);
    server.set_keep_alive_max_count(1000);
    server.set_keep_alive_timeout(5);
    server.set_read_timeout(10, 0);
    server.set_write_timeout(10, 0);

    server.set_pre_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        resetBodyNote();
        const QString method = QString::fromStdString(req.method);
        const QString path = QString::fromStdString(req.path);
        if (const auto canned = m_faults.takeAnswer(method, path)) {
            answerAndClose(res, canned->status, canned->body.toStdString());
            return httplib::Server::HandlerResponse::Handled;
        }
        if (const auto delay = m_faults.takeDelay(method, path)) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(*delay);
            while (std::chrono::steady_clock::now() < until && port() != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_faults.takeStall(method, path) && !m_faults.holdStall()) {
            answerAndClose(res, 503, R"({"code":503,"status":"error","message":"service stopping"})");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    // Logged just before the answer is written, so a client that has its
    // answer finds its request in the log.
    server.set_post_routing_handler([this](const httplib::Request &req, httplib::Response &res) {
        BodyNote &note = currentBodyNote();
        if (note.logged)
            return;
        RequestLogEntry e;
        e.receivedMs = nowMs();
        e.method = QString::fromStdString(req.method);
        e.path = QString::fromStdString(req.path);
        const auto q = req.target.find('?');
        if (q != std::string::npos)
            e.query = QString::fromStdString(req.target.substr(q + 1));
        for (const auto &h : req.headers)
            e.headers.append(qMakePair(QByteArray::fromStdString(h.first), QByteArray::fromStdString(h.second)));
        if (note.streamed) {
            e.bodySize = note.size;
            e.bodyMd5 = note.md5;
        } else if (req.body.empty() && req.has_header("Content-Length")) {
            // Read by a handler of its own (the OSS store): the announced size.
            e.bodySize = QByteArray::fromStdString(req.get_header_value("Content-Length")).toLongLong();
        } else {
            e.bodySize = qint64(req.body.size());
            if (!req.body.empty() && m_options.logBodyDigest && req.body.size() <= 256 * 1024)
                e.bodyMd5 = QCryptographicHash::hash(QByteArray::fromStdString(req.body), QCryptographicHash::Md5).toHex();
        }
        e.status = res.status;
        m_log.append(e);
        note.logged = true;
    });

    registerApiRoutes(server, *this);
    registerWebRoutes(server, *this);
    registerWcsRoutes(server, *this);
    m_oss->registerRoutes(server);
    registerFallbackRoutes(server, *this, m_oss->bucket());
}

bool ServiceCore::start(quint16 port)
{
    OssHook *oss = ossHook();
    std::lock_guard<std::mutex> lock(m_lifeMutex);
    if (m_server)
        return true;
    Q_UNUSED(oss)
    m_faults.reopen();
    m_server = std::make_unique<httplib::Server>();
    configure(*m_server);
    int bound = -1;
    if (port == 0)
        bound = m_server->bind_to_any_port("127.0.0.1");
    else if (m_server->bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound <= 0) {
        m_error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port);
        m_server.reset();
        return false;
    }
    m_port.store(quint16(bound));
    m_error.clear();
    httplib::Server *server = m_server.get();
    m_thread = std::thread([server] { server->listen_after_bind(); });
    for (int i = 0; i < 500 && !server->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

void ServiceCore::stop()
{
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_lifeMutex);
        if (!m_server)
            return;
        server = std::move(m_server);
        thread = std::move(m_thread);
    }
    m_port.store(0);     // ends injected delays
    m_faults.shutdown(); // releases held answers
    server->stop();
    if (thread.joinable())
        thread.join();
}

} // namespace devsvc
