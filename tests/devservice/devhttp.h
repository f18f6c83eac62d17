#pragma once

// A plain libcurl client for checking the service's rules directly,
// independent of the client's own transport code.

#include <curl/curl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace devhttp {

struct Reply
{
    CURLcode curl = CURLE_OK;
    long status = 0;
    QByteArray body;
    QList<QByteArray> headers; // "Name: value" lines of the answer

    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    QString message() const { return json().value(QStringLiteral("message")).toString(); }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &h : headers) {
            const int colon = h.indexOf(':');
            if (colon > 0 && h.left(colon).trimmed().toLower() == name.toLower())
                return h.mid(colon + 1).trimmed();
        }
        return QByteArray();
    }
};

struct Request
{
    QByteArray method = "GET";
    QByteArray url;
    QByteArray body;
    bool hasBody = false;
    QList<QByteArray> headers;
    curl_mime *(*mimeBuilder)(CURL *, void *) = nullptr;
    void *mimeData = nullptr;
    long timeoutMs = 20000;
};

inline size_t collect(char *data, size_t size, size_t count, void *user)
{
    static_cast<QByteArray *>(user)->append(data, int(size * count));
    return size * count;
}

inline size_t collectHeader(char *data, size_t size, size_t count, void *user)
{
    const QByteArray line = QByteArray(data, int(size * count)).trimmed();
    if (!line.isEmpty())
        static_cast<QList<QByteArray> *>(user)->append(line);
    return size * count;
}

inline Reply perform(const Request &r)
{
    Reply reply;
    CURL *curl = curl_easy_init();
    if (!curl) {
        reply.curl = CURLE_FAILED_INIT;
        return reply;
    }
    curl_slist *list = nullptr;
    for (const QByteArray &h : r.headers)
        list = curl_slist_append(list, h.constData());
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, r.url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, r.timeoutMs);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
    curl_mime *mime = nullptr;
    if (r.mimeBuilder) {
        mime = r.mimeBuilder(curl, r.mimeData);
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    } else if (r.hasBody || !r.body.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, r.body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(r.body.size()));
    }
    if (r.method != "GET" && r.method != "POST")
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, r.method.constData());
    else if (r.method == "POST" && !r.hasBody && r.body.isEmpty() && !r.mimeBuilder) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(0));
    }
    reply.curl = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(list);
    if (mime)
        curl_mime_free(mime);
    curl_easy_cleanup(curl);
    return reply;
}

inline Reply get(const QByteArray &url)
{
    Request r;
    r.url = url;
    return perform(r);
}

inline Reply post(const QByteArray &url, const QByteArray &body = QByteArray(),
                  const QList<QByteArray> &headers = {})
{
    Request r;
    r.method = "POST";
    r.url = url;
    r.body = body;
    r.hasBody = !body.isEmpty();
    r.headers = headers;
    return perform(r);
}

inline QString sha1Upper(const QString &text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper());
}

inline QByteArray md5Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// Value encoding of free text: letters, digits and "-_.~" kept, blank as
// "+", every other byte as %XX.
inline QByteArray encode(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_'
            || u == '.' || u == '~')
            out.append(c);
        else if (u == ' ')
            out.append('+');
        else
            out.append('%').append(QByteArray::number(u, 16).rightJustified(2, '0').toUpper());
    }
    return out;
}

inline QString nowPtime()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch());
}

// Raw bytes over a fresh connection (for malformed requests). Returns what
// the service answered within timeoutMs (possibly nothing).
inline QByteArray rawExchange(quint16 port, const QByteArray &bytes, int timeoutMs = 3000)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return QByteArray();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray answer;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        (void)::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (timeoutMs > 0) {
            pollfd p{fd, POLLIN, 0};
            char buf[4096];
            while (::poll(&p, 1, timeoutMs) > 0) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                answer.append(buf, int(n));
                if (answer.contains("\r\n\r\n"))
                    break;
            }
        }
    }
    ::close(fd);
    return answer;
}

// A client that is still sending when the answer comes: sends `head`,
// then `bodySize` bytes in `pieces` pieces with a pause after each, then
// reads the first answer. `sentAll` tells whether every byte went out.
struct SlowSend
{
    bool sentAll = false;
    QByteArray answer;
};

inline SlowSend slowSend(quint16 port, const QByteArray &head, int bodySize, int pieces, int pauseMs,
                         int timeoutMs = 15000)
{
    SlowSend out;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return out;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return out;
    }
    auto sendAll = [fd](const char *data, size_t size) {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return true;
    };
    bool ok = sendAll(head.constData(), size_t(head.size()));
    // Line breaks in the body, as binary data has them: a server that took
    // the unread body for its next request would answer that and close.
    const int pieceSize = bodySize / pieces;
    QByteArray buffer(pieceSize + bodySize % pieces, 'b');
    for (int i = 99; i < buffer.size(); i += 100)
        buffer[i] = '\n';
    for (int i = 0; ok && i < pieces; ++i) {
        const int size = i + 1 == pieces ? bodySize - pieceSize * (pieces - 1) : pieceSize;
        ok = sendAll(buffer.constData(), size_t(size));
        ::poll(nullptr, 0, pauseMs);
    }
    out.sentAll = ok;
    pollfd p{fd, POLLIN, 0};
    char buf[4096];
    while (::poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        out.answer.append(buf, int(n));
        const int end = out.answer.indexOf("\r\n\r\n");
        if (end >= 0) {
            const int lengthAt = out.answer.toLower().indexOf("content-length:");
            const int length = lengthAt >= 0 && lengthAt < end
                                   ? out.answer.mid(lengthAt + 15, out.answer.indexOf('\r', lengthAt) - lengthAt - 15)
                                         .trimmed().toInt()
                                   : 0;
            if (out.answer.size() >= end + 4 + length)
                break;
        }
    }
    ::close(fd);
    return out;
}

} // namespace devhttp
