#pragma once

#include "net/transfer.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// One keep-alive connection of a WCS block thread to the upload host. Every
// request carries the upload token and the batch id; a set stop flag or the
// closing flag ends a running request.
class WcsConnection final
{
public:
    WcsConnection(const QString &uploadToken, const QString &batch, const std::atomic_bool *stop);

    // False without a handle, and when the token or batch would not make a
    // clean header line (a line break in a token is refused, not sent).
    bool isValid() const { return static_cast<bool>(m_easy) && m_headersSafe; }

    struct Answer
    {
        long status = 0;         // 0: no answer arrived
        bool aborted = false;    // ended by the stop flag or the closing flag
        bool unreadable = false; // the file could not be opened or read in full
        quint32 sentCrc = 0;     // CRC-32 of the file bytes that were sent
        QByteArray body;
        QString error;
    };
    // POST of size bytes at data (not copied; they must stay valid).
    Answer post(const QByteArray &url, const char *data, qint64 size, const char *contentType);
    // POST of length bytes of the file from position, read straight into the
    // transfer's buffer while it is sent (the file is opened for this request).
    Answer postFileRange(const QByteArray &url, const QString &path, qint64 position, qint64 length,
                         const char *contentType);

private:
    Q_DISABLE_COPY(WcsConnection)

    struct Body;
    Answer perform(const QByteArray &url, Body &body, const char *contentType);

    CurlEasy m_easy;
    QByteArray m_tokenHeader;
    QByteArray m_batchHeader;
    const std::atomic_bool *m_stop;
    bool m_headersSafe;
};
