#include "net/workers.h"

#include "net/threadstart.h"
#include "net/transfer.h"

#include <QDebug>

GetJsonThread::GetJsonThread(const QString &url, long totalMs)
    : m_url(url)
    , m_totalMs(totalMs)
{
}

void GetJsonThread::run()
{
    prepareThread();
    TransferBounds bounds;
    bounds.totalMs = m_totalMs;
    const TransferResult r = jsonGet(m_url.toUtf8(), bounds);
    if (!r.ok) {
        qDebug() << "GetJsonThread error,response:" << r.status;
        emit Result(QStringLiteral("error"));
        return;
    }
    emit Result(QString::fromUtf8(r.body));
}

psotRequest::psotRequest(const QByteArray &url, const QByteArray &body)
    : m_url(url)
    , m_body(body)
{
}

void psotRequest::run()
{
    prepareThread();
    CurlGlobalScope global;
    const TransferResult r = formPost(m_url, m_body);
    if (r.ok)
        emit Result(QString::fromUtf8(r.body), QString());
    else
        emit Result(QString(), r.noHandle ? QString() : r.error);
}

psotImage::psotImage(const QByteArray &url, const QByteArray &imagePath, const QByteArray &ptime,
                     const QByteArray &sign, const QByteArray &vids)
    : m_url(url)
    , m_imagePath(imagePath)
    , m_ptime(ptime)
    , m_sign(sign)
    , m_vids(vids)
{
}

void psotImage::run()
{
    prepareThread();
    CurlGlobalScope global;
    const TransferResult r = imageUpload(m_url, m_imagePath, m_ptime, m_sign, m_vids);
    if (r.ok)
        emit Result(QString::fromUtf8(r.body), QString());
    else
        emit Result(QString(), r.noHandle ? QString() : r.error);
}

downloadPicThread::downloadPicThread(const QString &url)
    : m_url(url)
{
}

void downloadPicThread::run()
{
    prepareThread();
    const TransferResult r = imageGet(m_url.toUtf8());
    if (r.noHandle)
        return;
    emit Result(r.ok ? r.body : QByteArray());
}

downloadThread::downloadThread(const QByteArray &url, const QByteArray &path)
    : m_url(url)
    , m_path(path)
{
}

void downloadThread::run()
{
    prepareThread();
    const DownloadOutcome outcome =
        fileDownload(m_url, m_path, m_cancel, [this](qint64 received, qint64 total) {
            emit Progress(received, total);
        });
    switch (outcome) {
    case DownloadOutcome::Completed:
        emit Result(true);
        break;
    case DownloadOutcome::Failed:
        emit Result(false);
        break;
    case DownloadOutcome::Cancelled:
        break;
    }
}
