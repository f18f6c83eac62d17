#include "upload/uploadwidget.h"

#include "app/plaintext.h"
#include "net/workers.h"
#include "upload/retiredthreads.h"
#include "upload/uploadchannel.h"
#include "upload/uploaddisplay.h"

#include <QCursor>
#include <QDebug>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int kSpeedIntervalMs = 2000;
constexpr int kResultDelayMs = 300;
constexpr int kReaperIntervalMs = 3000;
constexpr int kSecondPassDelayMs = 1000;

const char *const kStatusProperty = "status";

QLabel *makeLabel(const QString &name, int width, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

UploadWidget::UploadWidget(UploadTask *task, QWidget *parent) : QWidget(parent), m_task(task)
{
    setObjectName(QStringLiteral("UploadWidget"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedHeight(60);

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(10, 0, 10, 0);
    outer->setSpacing(6);

    auto *nameLayout = new QHBoxLayout;
    nameLayout->setSpacing(10);
    m_thumbnailLbl = new QLabel(this);
    m_thumbnailLbl->setObjectName(QStringLiteral("thumbnailLbl"));
    m_thumbnailLbl->setFixedSize(14, 16);
    m_fileNameLbl = new QLabel(this);
    m_fileNameLbl->setObjectName(QStringLiteral("fileNameLbl"));
    m_fileNameLbl->setMinimumWidth(96);
    m_fileNameLbl->setMaximumWidth(96);
    m_fileNameLbl->setAlignment(Qt::AlignCenter);
    nameLayout->addWidget(m_thumbnailLbl);
    nameLayout->addWidget(m_fileNameLbl);
    outer->addLayout(nameLayout);

    m_cataLbl = makeLabel(QStringLiteral("cataLbl"), 94, this);
    m_cataLbl->setTextFormat(Qt::PlainText);
    m_sizeLbl = makeLabel(QStringLiteral("sizeLbl"), 80, this);
    m_speedLbl = makeLabel(QStringLiteral("speedLbl"), 80, this);
    m_speedLbl->setText(QStringLiteral("--"));
    m_remainTimeLbl = makeLabel(QStringLiteral("remainTimeLbl"), 94, this);
    m_remainTimeLbl->setText(QStringLiteral("--"));
    m_statusLbl = makeLabel(QStringLiteral("statusLbl"), 93, this);
    outer->addWidget(m_cataLbl);
    outer->addWidget(m_sizeLbl);
    outer->addWidget(m_speedLbl);
    outer->addWidget(m_remainTimeLbl);
    outer->addWidget(m_statusLbl);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(10);
    m_suspendBtn = new QPushButton(tr("开始"), this);
    m_suspendBtn->setObjectName(QStringLiteral("suspendBtn"));
    m_suspendBtn->setCheckable(true);
    m_suspendBtn->setMaximumSize(40, 26);
    m_suspendBtn->setProperty(kStatusProperty, true);
    m_deleteBtn = new QPushButton(tr("删除"), this);
    m_deleteBtn->setObjectName(QStringLiteral("deleteBtn"));
    m_deleteBtn->setMaximumSize(40, 26);
    buttons->addWidget(m_suspendBtn);
    buttons->addWidget(m_deleteBtn);
    outer->addLayout(buttons);

    m_speedTimer = new QTimer(this);
    m_speedTimer->setInterval(kSpeedIntervalMs);
    connect(m_speedTimer, &QTimer::timeout, this, &UploadWidget::timeoutSlot);

    m_reaperTimer = new QTimer(this);
    m_reaperTimer->setInterval(kReaperIntervalMs);
    connect(m_reaperTimer, &QTimer::timeout, this, &UploadWidget::OnThreadResult);
    m_reaperTimer->start();

    connect(m_suspendBtn, &QPushButton::clicked, this, &UploadWidget::suspendBtnClickSlot);
    connect(m_deleteBtn, &QPushButton::clicked, this, &UploadWidget::deleteBtnClickSlot);

    if (!m_task) {
        m_deleteBtn->setMaximumSize(95, 26);
        m_deleteBtn->setEnabled(false);
        m_suspendBtn->hide();
        return;
    }

    const QFontMetrics metrics(font());
    setPlainText(m_fileNameLbl, metrics.elidedText(m_task->fileName, Qt::ElideRight, 96));
    m_fileNameLbl->setToolTip(plainToolTip(m_task->fileName));
    m_cataLbl->setText(metrics.elidedText(m_task->cataStr, Qt::ElideRight, 94));
    m_cataLbl->setToolTip(plainToolTip(m_task->cataStr));
    m_task->sizeText = uploaddisplay::sizeText(m_task->fileSize);
    m_sizeLbl->setText(m_task->sizeText);
    m_progressText = uploaddisplay::progressText(m_task->alreadyUploadSize, m_task->fileSize);
    setStatusText(tr("等待中"));
}

UploadWidget::UploadWidget(QWidget *parent) : UploadWidget(static_cast<UploadTask *>(nullptr), parent)
{
}

UploadWidget::~UploadWidget()
{
    // Nothing here waits for a thread: each one still running has been told
    // to stop (its requests end within about a second, also on a silent
    // server) and is handed over to retiredthreads, which deletes it once it
    // has ended. None of them touches the record any more.
    if (m_ossThread)
        stopUpload(false);
    for (const QPointer<BlockChannelThread> &thread : qAsConst(m_blockThreads)) {
        if (thread) {
            thread->disconnect(this);
            thread->stopTransfer(false);
            m_retiredThreads.append(thread.data());
        }
    }
    m_blockThreads.clear();
    abandonTokenThread();

    const QStringList files = m_filesToRemove;
    const std::function<void()> removeFiles = [files]() {
        for (const QString &file : files)
            QFile::remove(file);
    };
    bool handedOver = false;
    for (const QPointer<QThread> &thread : qAsConst(m_retiredThreads)) {
        if (thread) {
            // Every thread that ends afterwards removes the files again, so
            // the last one to end removes them last.
            retiredthreads::adopt(thread.data(), files.isEmpty() ? std::function<void()>() : removeFiles);
            handedOver = true;
        }
    }
    m_retiredThreads.clear();
    if (!handedOver && !files.isEmpty())
        removeFiles();
    if (m_cancelRequest) {
        // The cancel request is fire-and-forget; it finishes on its own.
        retiredthreads::adopt(m_cancelRequest.data());
        m_cancelRequest = nullptr;
    }
    delete m_task;
}

void UploadWidget::removeFileWhenStopped(const QString &path)
{
    if (!m_filesToRemove.contains(path))
        m_filesToRemove.append(path);
}

void UploadWidget::dropPendingResult()
{
    if (m_resultTimer)
        m_resultTimer->stop();
}

qint64 UploadWidget::retryHoldMs() const
{
    const qint64 left = m_retryDue.remainingTime();
    return left < 0 ? 0 : left;
}

void UploadWidget::setGivenUp(bool givenUp, const QString &reason)
{
    m_givenUp = givenUp;
    m_statusLbl->setToolTip(givenUp ? reason : QString());
    if (!givenUp)
        return;
    m_waiting = false;
    m_failed = true;
    setStatusText(tr("失败"));
}

void UploadWidget::abandonTokenThread()
{
    m_tokenSerial = 0;
    if (!m_tokenThread)
        return;
    TokenChannelThread *thread = m_tokenThread.data();
    m_tokenThread = nullptr;
    thread->disconnect(this);
    thread->abandon();
    m_retiredThreads.append(thread);
}

bool UploadWidget::offersStart() const
{
    return m_suspendBtn->property(kStatusProperty).toBool();
}

void UploadWidget::setOffersStart(bool start)
{
    m_suspendBtn->setText(start ? tr("开始") : tr("暂停"));
    m_suspendBtn->setProperty(kStatusProperty, start);
}

void UploadWidget::setStatusText(const QString &text)
{
    m_statusText = text;
    m_statusLbl->setText(m_statusText);
}

QString UploadWidget::statusLabelText() const
{
    return m_statusLbl->text();
}

QString UploadWidget::speedLabelText() const
{
    return m_speedLbl->text();
}

QString UploadWidget::remainingLabelText() const
{
    return m_remainTimeLbl->text();
}

void UploadWidget::setColumnTitles(const QStringList &titles, const QString &buttonTitle)
{
    QLabel *const labels[] = {m_fileNameLbl, m_cataLbl,       m_sizeLbl,
                              m_speedLbl,    m_remainTimeLbl, m_statusLbl};
    for (int i = 0; i < 6 && i < titles.size(); ++i)
        labels[i]->setText(titles.at(i));
    m_deleteBtn->setText(buttonTitle);
}

void UploadWidget::enterEvent(QEvent *event)
{
    setCursor(Qt::ArrowCursor);
    QWidget::enterEvent(event);
}

void UploadWidget::prepareUpload()
{
    if (!m_task)
        return;
    UploadChannelFactory *factory = uploadChannelFactory();
    if (m_task->uploadType == WcsChannel) {
        if (m_tokenThread)
            stopUpload(false);
        // A token thread of an earlier start reports no more, and neither
        // does the block transfer of an earlier start.
        abandonTokenThread();
        m_blockSerial = 0;
        if (!factory)
            return;
        m_tokenThread = factory->createTokenThread(m_task);
        if (m_tokenThread) {
            const quint64 serial = m_tokenSerial = nextSerial();
            connect(m_tokenThread.data(), &TokenChannelThread::Result, this,
                    [this, serial](bool ok, int code) {
                        if (serial == m_tokenSerial)
                            getTokenResultSlot(ok, code);
                    });
        }
    } else if (m_task->uploadType == OssChannel) {
        if (m_ossThread)
            stopUpload(false);
        if (!factory)
            return;
        m_ossThread = factory->createOssThread(*m_task);
        if (m_ossThread) {
            const quint64 serial = m_ossSerial = nextSerial();
            connect(m_ossThread.data(), &OssChannelThread::Result, this,
                    [this, serial](bool status, int code) {
                        if (serial == m_ossSerial)
                            OnUploadResult(status, code);
                    });
            connect(m_ossThread.data(), &OssChannelThread::Progress, this,
                    &UploadWidget::AliyunUploadingProgress);
        }
    }
}

void UploadWidget::startUpload()
{
    if (!m_task)
        return;
    // A new start: a stop result of the one before no longer applies.
    dropPendingResult();
    m_waiting = false;
    setOffersStart(false);
    m_statusText = tr("上传中");
    if (m_task->uploadType == WcsChannel) {
        if (m_tokenThread && !m_tokenThread->isRunning())
            m_tokenThread->start(QThread::InheritPriority);
    } else if (m_ossThread && !m_ossThread->isRunning()) {
        m_ossThread->start(QThread::InheritPriority);
    }
    m_uploading = true;
    m_speedTimer->start(kSpeedIntervalMs);
}

void UploadWidget::stopUpload(bool requeue)
{
    if (!m_task)
        return;
    if (m_task->uploadType == WcsChannel) {
        m_waiting = true;
        for (const QPointer<BlockChannelThread> &thread : qAsConst(m_blockThreads)) {
            if (thread)
                thread->stopTransfer(requeue);
        }
    } else if (m_ossThread) {
        OssChannelThread *thread = m_ossThread.data();
        m_ossThread = nullptr;
        m_ossSerial = 0;
        thread->abort(requeue);
        thread->disconnect(this);
        if (thread->isRunning()) {
            OnUploadResult(false, requeue ? 11 : 6);
            m_retiredThreads.append(thread);
        } else {
            delete thread;
        }
    }
    m_uploading = false;
    if (m_speedTimer->isActive())
        m_speedTimer->stop();
}

bool UploadWidget::hasRunningBlockTransfer() const
{
    for (const QPointer<BlockChannelThread> &thread : m_blockThreads) {
        if (thread && thread->isRunning())
            return true;
    }
    return false;
}

void UploadWidget::pauseBlockTransfer(bool pause)
{
    m_blockPaused = pause;
    bool anyRunning = false;
    for (const QPointer<BlockChannelThread> &thread : qAsConst(m_blockThreads)) {
        if (thread && thread->isRunning()) {
            thread->setPaused(pause);
            anyRunning = true;
        }
    }
    if (anyRunning)
        return;
    if (pause && m_tokenThread) {
        // Paused while the token is requested: the request is given up and
        // the row stays paused (the queue has set its texts); its next start
        // is a fresh one with a request of its own.
        abandonTokenThread();
        m_uploading = false;
        if (m_speedTimer->isActive())
            m_speedTimer->stop();
        m_speed = 0;
        m_speedLbl->setText(QStringLiteral("--"));
        m_remainTimeLbl->setText(QStringLiteral("--"));
        m_statusLbl->setText(m_statusText);
        return;
    }
    uploadingResult(false, 0);
}

void UploadWidget::cancelOnServer()
{
    if (!m_task)
        return;
    if (m_cancelRequest) {
        // Sent once; the request is released (deleted once it has ended)
        // and nothing more is sent.
        retiredthreads::adopt(m_cancelRequest.data());
        m_cancelRequest = nullptr;
        return;
    }
    auto *request = new GetJsonThread(m_task->deleteUrl);
    m_cancelRequest = request;
    request->start(QThread::InheritPriority);
}

void UploadWidget::suspendBtnClickSlot()
{
    m_speed = 0;
    emit suspendUpload();
}

void UploadWidget::deleteBtnClickSlot()
{
    m_finishing = true;
    emit deleteFile(false);
}

void UploadWidget::timeoutSlot()
{
    if (!m_task)
        return;
    m_statusLbl->setText(QStringLiteral("%1%2").arg(m_statusText, m_progressText));
    if (m_statusText != tr("上传中")) {
        m_speedLbl->setText(QStringLiteral("--"));
        m_remainTimeLbl->setText(QStringLiteral("--"));
        return;
    }
    m_speed = uploaddisplay::speedFromCounter(m_task->speedBytes);
    m_task->speedBytes = 0;
    m_speedLbl->setText(uploaddisplay::speedText(m_speed));
    m_remainTimeLbl->setText(
        uploaddisplay::remainingTimeText(m_task->fileSize, m_task->alreadyUploadSize, m_speed));
}

void UploadWidget::getTokenResultSlot(bool ok, int code)
{
    if (ok && code == 4) {
        uploadingResult(true, 4);
    } else if (ok) {
        // A row that was paused or stopped while its token was requested
        // stays stopped: the transfer begins only for a running start.
        if (m_uploading) {
            if (code == 5)
                emit uploadError(5);
            startBlockTransfer();
        }
    } else {
        uploadingResult(false, code);
    }
    if (m_tokenThread) {
        // The thread has reported, which is the last thing it does: it is
        // parked until it has ended (no wait on the GUI thread).
        TokenChannelThread *thread = m_tokenThread.data();
        m_tokenThread = nullptr;
        m_tokenSerial = 0;
        thread->disconnect(this);
        if (thread->isFinished())
            delete thread;
        else
            m_retiredThreads.append(thread);
    }
}

void UploadWidget::startBlockTransfer()
{
    UploadChannelFactory *factory = uploadChannelFactory();
    if (!factory || !m_task)
        return;
    // Threads of an earlier transfer that are still winding down.
    for (const QPointer<BlockChannelThread> &thread : qAsConst(m_blockThreads)) {
        if (thread) {
            thread->disconnect(this);
            thread->stopTransfer(false);
            m_retiredThreads.append(thread.data());
        }
    }
    m_blockThreads.clear();
    m_blockPaused = false;
    // The block layout follows the size that the init announced: a file
    // that grew or shrank since it was added (still being copied) is sent
    // as the service now expects it.
    if (m_task->initSize >= 0 && m_task->initSize != m_task->fileSize) {
        qWarning() << m_task->vid << "  file size changed from" << m_task->fileSize << "to"
                   << m_task->initSize;
        m_task->fileSize = m_task->initSize;
        m_task->sizeText = uploaddisplay::sizeText(m_task->fileSize);
        m_sizeLbl->setText(m_task->sizeText);
    }
    const quint64 serial = m_blockSerial = nextSerial();
    const QList<BlockChannelThread *> threads = factory->createBlockThreads(m_task);
    for (BlockChannelThread *thread : threads) {
        connect(thread, &BlockChannelThread::Result, this, [this, serial](bool status, int code) {
            if (serial == m_blockSerial)
                uploadingResult(status, code);
        });
        connect(thread, &BlockChannelThread::Progress, this, &UploadWidget::blockProgressSlot);
        connect(thread, &BlockChannelThread::BlockStored, this, &UploadWidget::blockStoredSlot);
        m_blockThreads.append(thread);
    }
    for (BlockChannelThread *thread : threads)
        thread->start(QThread::InheritPriority);
}

void UploadWidget::blockProgressSlot(qlonglong increment)
{
    if (!m_task)
        return;
    m_task->speedBytes += increment;
    m_task->alreadyUploadSize += increment;
    m_progressText = uploaddisplay::progressText(m_task->alreadyUploadSize, m_task->fileSize);
    m_statusLbl->setText(QStringLiteral("%1%2").arg(m_statusText, m_progressText));
}

void UploadWidget::blockStoredSlot(qlonglong index, const QString &ctx)
{
    // Only the GUI thread writes the block map, so a save may read it at any time.
    if (!m_task)
        return;
    UploadBlock &block = m_task->blocks[index];
    block.status = 2;
    block.ctx = ctx;
}

void UploadWidget::finishSecondPass()
{
    m_secondPass = true;
    m_finishing = true;
    emit deleteFile(true);
    qDebug() << m_task->vid << "  uploading finished,response:" << 4 << "Second pass";
}

void UploadWidget::uploadingResult(bool status, int code)
{
    if (!m_task)
        return;
    if (status) {
        if (code == 4) {
            // Let the row show for a second; a timer keeps the event loop
            // free of re-entrance while the row may be removed meanwhile.
            QTimer::singleShot(kSecondPassDelayMs, this, &UploadWidget::finishSecondPass);
            return;
        }
        m_finishing = true;
        emit deleteFile(true);
        qDebug() << m_task->vid << "  uploading finished,response:" << code << " normal";
        return;
    }
    if (code == 2) {
        m_finishing = true;
        stopUpload(false);
        emit deleteFile(false);
        qCritical() << m_task->vid << "  uploading interrupted,response:" << 2
                    << " open file fail";
        return;
    }
    if (code == 5) {
        emit uploadError(5);
        qWarning() << m_task->vid << "  uploading info,response:" << 5
                   << " after finished,space less then 300M";
        return;
    }
    applyStopResult(code);
}

void UploadWidget::applyStopResult(int code)
{
    if (code == 6)
        m_statusText = tr("暂停中");
    else if (code == 10)
        m_statusText = tr("失败");
    else
        m_statusText = tr("等待中");
    if (code == 10)
        m_failed = true;
    m_speedLbl->setText(QStringLiteral("--"));
    m_remainTimeLbl->setText(QStringLiteral("--"));
    m_statusLbl->setText(m_statusText);
    setOffersStart(true);
    m_speed = 0;
    stopUpload(false);
    if (code == 0)
        m_waiting = true;
    if (code == 10 || !m_finishing)
        emit uploadError(code);

    const QString &vid = m_task->vid;
    switch (code) {
    case 6:
    case 11:
        qWarning() << vid << "  uploading interrupted,response:" << code << " suspend";
        break;
    case 10:
        qWarning() << vid << "  uploading info,response:" << 10 << " upload error";
        break;
    case 1:
        qCritical() << vid << "  uploading interrupted,response:" << 1 << " space not enough";
        break;
    case 3:
        qCritical() << vid << "  uploading interrupted,response:" << 3 << " Timestamp failure";
        break;
    default:
        qCritical() << vid << "  uploading interrupted,response:" << code << " other error";
        break;
    }
}

void UploadWidget::AliyunUploadingProgress(int increment, qlonglong transferred, qlonglong total)
{
    if (!m_task)
        return;
    m_task->speedBytes += static_cast<qint64>(increment);
    m_task->alreadyUploadSize = transferred;
    m_progressText = uploaddisplay::progressText(transferred, total);
    m_statusLbl->setText(QStringLiteral("%1%2").arg(m_statusText, m_progressText));
}

void UploadWidget::OnUploadResult(bool status, int code)
{
    if (!m_resultTimer) {
        m_resultTimer = new QTimer(this);
        m_resultTimer->setSingleShot(true);
    }
    m_resultTimer->disconnect();
    // A new start (startUpload) stops the timer, so a late stop result
    // never ends the start that followed it.
    connect(m_resultTimer, &QTimer::timeout, this, [this, status, code]() {
        m_resultTimer->stop();
        uploadingResult(status, code);
    });
    m_resultTimer->start(kResultDelayMs);
}

void UploadWidget::OnThreadResult()
{
    for (int i = m_retiredThreads.size() - 1; i >= 0; --i) {
        const QPointer<QThread> thread = m_retiredThreads.at(i);
        if (!thread || !thread->isRunning()) {
            m_retiredThreads.removeAt(i);
            delete thread.data();
        }
    }
    // Block threads that have ended their part of the transfer.
    for (int i = m_blockThreads.size() - 1; i >= 0; --i) {
        const QPointer<BlockChannelThread> thread = m_blockThreads.at(i);
        if (!thread) {
            m_blockThreads.removeAt(i);
        } else if (thread->isFinished()) {
            m_blockThreads.removeAt(i);
            delete thread.data();
        }
    }
}
