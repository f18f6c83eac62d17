#pragma once

// A tiny HTTP server on 127.0.0.1 (free port) for the transport tests: fixed
// statuses with JSON bodies, silent servers, oversized and non-UTF-8
// answers, an echo that records what arrived, and file downloads.

#include <httplib.h>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct ReceivedRequest
{
    std::string method;
    std::string path;
    std::string body;
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order (multimap order)
    std::string contentType;
    // multipart parts: name -> (content, filename, content type)
    std::multimap<std::string, httplib::MultipartFormData> parts;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        return QByteArray();
    }
    int headerCount(const QByteArray &name) const
    {
        int n = 0;
        for (const auto &h : headers)
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                ++n;
        return n;
    }
};

class TestServer final
{
public:
    static constexpr std::size_t kBigSize = std::size_t(65) * 1024 * 1024;

    TestServer()
    {
        auto status = [](const httplib::Request &req, httplib::Response &res) {
            const int code = std::stoi(req.matches[1]);
            res.status = code;
            if (code >= 300 && code < 400)
                res.set_header("Location", "/status/200");
            res.set_content("{\"code\":" + std::to_string(code)
                                + ",\"status\":\"success\",\"message\":\"m\",\"data\":{\"v\":1}}",
                            "application/json");
        };
        m_server.Get(R"(/status/(\d+))", status);
        m_server.Post(R"(/status/(\d+))", status);
        auto stallHeaders = [this](const httplib::Request &, httplib::Response &res) {
            ++m_stalled;
            waitForRelease();
            res.set_content("late", "text/plain");
        };
        m_server.Get("/stall-headers", stallHeaders);
        m_server.Post("/stall-headers", stallHeaders);
        auto stallBody = [this](const httplib::Request &, httplib::Response &res) {
            res.set_chunked_content_provider("application/json",
                                             [this](size_t offset, httplib::DataSink &sink) {
                                                 if (offset == 0) {
                                                     sink.write("{\"code\":", 8);
                                                     ++m_stalled;
                                                     return true;
                                                 }
                                                 waitForRelease();
                                                 sink.done();
                                                 return true;
                                             });
        };
        m_server.Get("/stall-body", stallBody);
        m_server.Post("/stall-body", stallBody);
        m_server.Get("/big", [](const httplib::Request &, httplib::Response &res) {
            res.set_content_provider(kBigSize, "application/octet-stream",
                                     [](size_t offset, size_t length, httplib::DataSink &sink) {
                                         static const std::string block(256 * 1024, 'x');
                                         (void)offset;
                                         sink.write(block.data(), std::min(length, block.size()));
                                         return true;
                                     });
        });
        m_server.Get("/nonutf8", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(std::string("\xff\xfe{\"code\":200}\xc3", 15), "application/json");
        });
        m_server.Get(R"(/file/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
            const std::size_t n = std::stoul(req.matches[1]);
            std::string body(n, '\0');
            for (std::size_t i = 0; i < n; ++i)
                body[i] = char('a' + i % 26);
            res.set_content(body, "application/octet-stream");
        });
        // Sends 16 KiB at a time with pauses, until released or cancelled.
        m_server.Get("/slowfile", [this](const httplib::Request &, httplib::Response &res) {
            res.set_content_provider(std::size_t(64) * 1024 * 1024, "application/octet-stream",
                                     [this](size_t, size_t, httplib::DataSink &sink) {
                                         static const std::string block(16 * 1024, 'z');
                                         if (m_released)
                                             return false;
                                         sink.write(block.data(), block.size());
                                         std::this_thread::sleep_for(std::chrono::milliseconds(30));
                                         return true;
                                     });
        });
        auto echo = [this](const httplib::Request &req, httplib::Response &res) {
            record(req);
            res.set_content("{\"code\":200,\"status\":\"success\",\"message\":\"ok\",\"data\":[]}",
                            "application/json");
        };
        m_server.Get("/echo", echo);
        m_server.Post("/echo", echo);
        m_server.Delete("/echo", echo);
        m_server.Put("/echo", echo);

        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() only works once the server runs.
        for (int i = 0; i < 500 && m_port > 0 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    ~TestServer()
    {
        release();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    bool isListening() const { return m_port > 0; }
    QByteArray url(const char *path) const
    {
        return QByteArray("http://127.0.0.1:") + QByteArray::number(m_port) + path;
    }

    // Requests currently held by the silent routes.
    int stalled() const { return m_stalled.load(); }
    bool waitForStalled(int n, int timeoutMs) const
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (m_stalled.load() >= n)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return m_stalled.load() >= n;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }

    QList<ReceivedRequest> received() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    void waitForRelease()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        // Bounded, so a broken test can never keep the server from stopping.
        m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_released.load(); });
    }

    void record(const httplib::Request &req)
    {
        ReceivedRequest r;
        r.method = req.method;
        r.path = req.path;
        r.body = req.body;
        for (const auto &h : req.headers)
            r.headers.append({QByteArray::fromStdString(h.first), QByteArray::fromStdString(h.second)});
        r.contentType = req.get_header_value("Content-Type");
        for (const auto &f : req.files)
            r.parts.insert(f);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.append(r);
    }

    httplib::Server m_server;
    int m_port = -1;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::atomic_bool m_released{false};
    std::atomic_int m_stalled{0};
    QList<ReceivedRequest> m_received;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
inline int closedLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int port = 9;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        socklen_t len = sizeof addr;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            port = ntohs(addr.sin_port);
    }
    if (fd >= 0)
        ::close(fd);
    return port;
}

// Accepts connections on 127.0.0.1 and keeps the raw bytes of each request
// (head and body, exactly as they arrived); answers each with a fixed
// status and a short body.
class RawCaptureServer final
{
public:
    explicit RawCaptureServer(int status = 200)
        : m_status(status)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(m_fd, 4) != 0)
            return;
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~RawCaptureServer()
    {
        m_stop = true;
        if (m_fd >= 0)
            ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    QByteArray url(const char *path) const
    {
        return QByteArray("http://127.0.0.1:") + QByteArray::number(m_port) + path;
    }

    QList<QByteArray> requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    void serve()
    {
        while (!m_stop) {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                return;
            QByteArray data;
            char buf[4096];
            int headEnd = -1;
            qint64 expected = -1;
            for (;;) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                data.append(buf, int(n));
                if (headEnd < 0) {
                    headEnd = data.indexOf("\r\n\r\n");
                    if (headEnd >= 0) {
                        expected = 0;
                        const QByteArray head = data.left(headEnd).toLower();
                        const int cl = head.indexOf("\r\ncontent-length:");
                        if (cl >= 0) {
                            const int eol = head.indexOf("\r\n", cl + 2);
                            expected = head.mid(cl + 17, eol < 0 ? -1 : eol - cl - 17).trimmed().toLongLong();
                        }
                    }
                }
                if (headEnd >= 0 && data.size() >= headEnd + 4 + expected)
                    break;
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.append(data);
            }
            const QByteArray answer = "HTTP/1.1 " + QByteArray::number(m_status)
                                      + " X\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
            ::send(c, answer.constData(), size_t(answer.size()), 0);
            ::close(c);
        }
    }

    int m_status;
    int m_fd = -1;
    int m_port = 0;
    std::atomic_bool m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
};
