#pragma once

// In-process OSS store on 127.0.0.1 (free port) with a callback endpoint
// on the same server, for the OSS tests.

#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
#define CPPHTTPLIB_OPENSSL_SUPPORT
#endif
#include <httplib.h>

#include "devservice/oss/ossstore.h"
#include "seededfile.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>

class OssRig final
{
public:
    explicit OssRig(const QString &dataDir, bool digestOnly = false)
        : m_store(std::make_unique<devsvc::OssStore>(dataDir, digestOnly))
    {
        devsvc::registerOssRoutes(m_server, *m_store);
        m_server.set_keep_alive_max_count(100000);
        m_server.set_keep_alive_timeout(30);
        m_server.Post("/uc/video/ossCallback", [this](const httplib::Request &req, httplib::Response &res) {
            {
                QMutexLocker lock(&m_mutex);
                m_callbackBodies.append(QByteArray::fromStdString(req.body));
            }
            const int delay = callbackDelayMs.load();
            if (delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            res.status = callbackStatus.load();
            res.set_content("{\"Status\":\"OK\"}", "application/json");
        });
        const std::string bucketPrefix = "/" + m_store->bucket().toStdString() + "/";
        m_server.set_logger([this, bucketPrefix](const httplib::Request &req, const httplib::Response &) {
            if (req.path.compare(0, bucketPrefix.size(), bucketPrefix) != 0)
                return; // the store's own callback connections
            QMutexLocker lock(&m_mutex);
            m_clientPorts.insert(req.remote_port);
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        for (int i = 0; i < 500 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    ~OssRig()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    OssRig(const OssRig &) = delete;
    OssRig &operator=(const OssRig &) = delete;

    devsvc::OssStore &store() { return *m_store; }
    int port() const { return m_port; }
    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    QString callbackUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1/uc/video/ossCallback").arg(m_port);
    }

    QList<QByteArray> callbackBodies() const
    {
        QMutexLocker lock(&m_mutex);
        return m_callbackBodies;
    }
    // Distinct client ports of store requests since the last reset (one per connection).
    int connectionCount() const
    {
        QMutexLocker lock(&m_mutex);
        return int(m_clientPorts.size());
    }
    void resetConnections()
    {
        QMutexLocker lock(&m_mutex);
        m_clientPorts.clear();
    }

    std::atomic<int> callbackStatus{200};
    std::atomic<int> callbackDelayMs{0};

private:
    std::unique_ptr<devsvc::OssStore> m_store;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable QMutex m_mutex;
    QList<QByteArray> m_callbackBodies;
    std::set<int> m_clientPorts;
};

inline QByteArray fileMd5(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash md5(QCryptographicHash::Md5);
    md5.addData(&file);
    return md5.result().toHex();
}
