#include "upload/nettestuploadthread.h"

#include "net/threadstart.h"
#include "net/transfer.h"

#include <QList>

#include <climits>

NetTestUploadThread::NetTestUploadThread(const nettest::UploadParams &params, QObject *parent)
    : QThread(parent)
    , m_params(params)
{
}

void NetTestUploadThread::run()
{
    prepareThread();
    QList<FormPart> parts;
    if (m_params.mode == nettest::WcsMode) {
        parts.append({"token", m_params.token.toUtf8(), {}, {}});
    } else {
        parts.append({"policy", m_params.policy.toUtf8(), {}, {}});
        parts.append({"Signature", m_params.signature.toUtf8(), {}, {}});
        parts.append({"OSSAccessKeyId", m_params.accessId.toUtf8(), {}, {}});
    }
    parts.append({"key", (m_params.keyPrefix + m_params.keyName).toUtf8(), {}, {}});
    parts.append({"file", {}, m_params.file.toUtf8(), "application/octet-stream"});

    // The stop flag ends the transfer at the next progress call; until
    // then each call records the bytes sent.
    CurlProgress progress;
    progress.stop = &m_stop;
    progress.report = [this](qint64, qint64, qint64 ulNow, qint64) {
        m_sendByte.store(int(qBound<qint64>(0, ulNow, INT_MAX)));
    };
    const TransferResult r = multipartPost(m_params.url.toUtf8(), parts, &progress);

    // A transfer cut short by the stop flag counts as done; a complete one
    // only when the store took the file.
    const bool stored = r.curlCode == CURLE_OK && r.status >= 200 && r.status < 300;
    const bool stopped = r.curlCode == CURLE_ABORTED_BY_CALLBACK;
    emit ResultA(stored || stopped, m_sendByte.load());
}
