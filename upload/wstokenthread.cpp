#include "upload/wstokenthread.h"

#include "net/threadstart.h"
#include "net/transfer.h"
#include "upload/uploadinit.h"

#include <QDebug>
#include <QMetaObject>

WsTokenThread::WsTokenThread(UploadTask *task, QObject *parent)
    : TokenChannelThread(parent),
      m_task(task),
      m_vid(task ? task->vid : QString()),
      m_everUploaded(task && task->everUploaded),
      m_checkUrl(task ? task->checkUrl : QString()),
      m_insertUrl(task ? task->insertUrl : QString()),
      m_initUrl(task ? task->initUrl : QString()),
      // The space rule weighs the size the init announces.
      m_fileSize(task ? (task->initSize >= 0 ? task->initSize : task->fileSize) : 0)
{
}

WsTokenThread::~WsTokenThread()
{
    wait();
}

void WsTokenThread::abandon()
{
    m_stop.store(true);
    m_task = nullptr;
}

void WsTokenThread::report(const Writes &writes, bool ok, int code)
{
    if (!isAbandoned() && (writes.everUploaded || writes.coordinates)) {
        // Queued to this object, which lives in the GUI thread; posted before
        // the Result below, so it is applied first. Dropped with the object,
        // and when the row has abandoned the thread meanwhile.
        QMetaObject::invokeMethod(
            this,
            [this, writes]() {
                UploadTask *task = m_task;
                if (!task)
                    return;
                if (writes.everUploaded)
                    task->everUploaded = true;
                if (writes.coordinates) {
                    task->fileid = writes.fileid;
                    task->dateStr = writes.dateStr;
                    task->uploadToken = writes.uploadToken;
                    task->uploadHost = writes.uploadHost;
                }
            },
            Qt::QueuedConnection);
    }
    emit Result(ok, code);
}

void WsTokenThread::run()
{
    prepareThread();
    Writes writes;
    bool ok = false;
    int code = 0;

    CurlEasy easy;
    if (easy) {
        if (!m_everUploaded) {
            const PostResult check =
                postOnHandle(easy.get(), m_checkUrl.toUtf8(), QByteArray(), &m_stop);
            if (check.ok && check.body == "1") {
                qDebug() << m_vid << "  This file has been uploaded";
                report(writes, true, 4);
                return;
            }
            if (isAbandoned()) {
                report(writes, false, 0);
                return;
            }
            postOnHandle(easy.get(), m_insertUrl.toUtf8(), QByteArray(), &m_stop);
            writes.everUploaded = true;
        }
        if (isAbandoned()) {
            report(writes, false, 0);
            return;
        }

        const PostResult init = postOnHandle(easy.get(), m_initUrl.toUtf8(), QByteArray(), &m_stop);
        const InitAnswer answer =
            evaluateInitAnswer(init.ok, QString::fromUtf8(init.body), m_fileSize);
        ok = answer.ok;
        code = answer.code;
        if (answer.accepted && answer.ok) {
            writes.coordinates = true;
            writes.fileid = answer.text("fileid");
            writes.dateStr = answer.text("dateStr");
            writes.uploadToken = answer.text("uploadToken");
            writes.uploadHost = answer.text("host");
        }
    }

    qDebug() << m_vid << "  WsTokenThread ret:" << ok << "  response:" << code;
    report(writes, ok, code);
}
