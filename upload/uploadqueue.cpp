#include "upload/uploadqueue.h"

#include "app/messageinfo.h"
#include "upload/uploaddisplay.h"
#include "upload/uploadwidget.h"

#include <QDebug>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMovie>
#include <QPushButton>
#include <QTimer>

#include <climits>

namespace {
const char *const kStatusProperty = "status";
// A retry run also starts rows that are due within this many milliseconds.
constexpr qint64 kRetrySlackMs = 20;
// Failures this close after a pending retry run are handled by one later run.
constexpr qint64 kRetryCoalesceMs = 1000;
} // namespace

UploadQueue::UploadQueue(const UploadQueueWidgets &widgets, QObject *parent)
    : QObject(parent), m_widgets(widgets)
{
    qRegisterMetaType<AddedFileFacts>("AddedFileFacts");
}

UploadQueue::~UploadQueue()
{
    for (const QPointer<AddFilesThread> &thread : qAsConst(m_addThreads)) {
        if (!thread)
            continue;
        thread->requestInterruption();
        thread->disconnect(this);
        thread->wait();
        delete thread.data();
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    qDeleteAll(m_overflow);
    m_overflow.clear();
}

// ---- State ----------------------------------------------------------------

bool UploadQueue::isRunning() const
{
    return !m_widgets.allStartBtn->property(kStatusProperty).toBool();
}

void UploadQueue::setQueueRunning(bool running)
{
    m_widgets.allStartBtn->setProperty(kStatusProperty, !running);
    m_widgets.allStartBtn->setText(running ? tr("全部暂停") : tr("全部开始"));
}

int UploadQueue::rowCount() const
{
    return m_widgets.list->count();
}

UploadWidget *UploadQueue::row(int index) const
{
    QListWidgetItem *item = m_widgets.list->item(index);
    return item ? qobject_cast<UploadWidget *>(m_widgets.list->itemWidget(item)) : nullptr;
}

QList<UploadWidget *> UploadQueue::rows() const
{
    QList<UploadWidget *> result;
    const int count = rowCount();
    result.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (UploadWidget *w = row(i))
            result.append(w);
    }
    return result;
}

int UploadQueue::overflowCount() const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_overflow.size();
}

QStringList UploadQueue::queuedVids() const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_queuedVids;
}

QList<UploadTask> UploadQueue::overflowSnapshot() const
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    QList<UploadTask> copies;
    copies.reserve(m_overflow.size());
    for (const UploadTask *task : m_overflow)
        copies.append(*task);
    return copies;
}

void UploadQueue::registerVid(const QString &vid)
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_queuedVids.append(vid);
}

void UploadQueue::setLimit(int limit)
{
    m_limit = limit;
    if (m_currentLinks < m_limit && isRunning())
        autoStartNextUpload();
}

void UploadQueue::logLinks(const char *text) const
{
    qDebug() << text << m_currentLinks;
}

void UploadQueue::decrementLinks()
{
    if (m_currentLinks > 0)
        --m_currentLinks;
}

int UploadQueue::askUser(QWidget *parent, const QString &text, bool question)
{
    QPointer<MessageInfo> dialog = new MessageInfo(parent ? parent : m_widgets.dialogParent,
                                                   tr("提示"), text, tr("确定"),
                                                   question ? tr("取消") : QString());
    const int answer = dialog->exec();
    delete dialog.data();
    return answer;
}

// ---- Rows -------------------------------------------------------------------

UploadWidget *UploadQueue::appendRow(UploadTask *task)
{
    auto *item = new QListWidgetItem(m_widgets.list);
    auto *row = new UploadWidget(task);
    connect(row, &UploadWidget::suspendUpload, this, &UploadQueue::suspendCurrentFileSlot,
            Qt::QueuedConnection);
    connect(row, &UploadWidget::deleteFile, this, &UploadQueue::deleteCurrentFileSlot,
            Qt::QueuedConnection);
    connect(row, &UploadWidget::uploadError, this, &UploadQueue::errorCurrentFileSlot,
            Qt::QueuedConnection);
    item->setSizeHint(QSize(row->width(), 60));
    m_widgets.list->setItemWidget(item, row);
    // Rows are shown with their list and buttons (the list may have emptied
    // meanwhile, or the row comes from a restore).
    m_widgets.uploadFrame->show();
    m_widgets.allStartBtn->show();
    m_widgets.clearListBtn->show();
    emit rowCountChanged(rowCount());
    return row;
}

void UploadQueue::appendTask(UploadTask *task)
{
    if (rowCount() > kMaxRows - 1) {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_overflow.append(task);
    } else {
        appendRow(task);
    }
}

void UploadQueue::removeRow(UploadWidget *row)
{
    row->stopUpload(false);
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queuedVids.removeAll(row->task()->vid);
    }
    for (int i = 0; i < rowCount(); ++i) {
        QListWidgetItem *item = m_widgets.list->item(i);
        if (m_widgets.list->itemWidget(item) == row) {
            delete row;
            delete m_widgets.list->takeItem(i);
            break;
        }
    }
}

void UploadQueue::deleteUcpFileWhenStopped(UploadWidget *row) const
{
    row->removeFileWhenStopped(row->task()->path + QStringLiteral(".ucp"));
}

bool UploadQueue::isHeldForRetry(const UploadWidget *row)
{
    return row->retryHoldMs() > kRetrySlackMs;
}

bool UploadQueue::hasPendingRetry() const
{
    for (const UploadWidget *row : rows()) {
        if (row->isWaiting() && isHeldForRetry(row))
            return true;
    }
    return false;
}

void UploadQueue::armRetryTimer(qint64 delayMs)
{
    if (!m_retryTimer) {
        m_retryTimer = new QTimer(this);
        m_retryTimer->setSingleShot(true);
        m_retryTimer->setTimerType(Qt::PreciseTimer);
        connect(m_retryTimer, &QTimer::timeout, this, &UploadQueue::tryAginTimeoutSlot);
    }
    delayMs = qMax<qint64>(0, delayMs);
    if (m_retryTimer->isActive()) {
        // A run that comes clearly sooner starts what is due then and arms
        // the timer again for the rows still held.
        if (delayMs > m_retryFiresAt.remainingTime() + kRetryCoalesceMs)
            return;
    }
    m_retryFiresAt = QDeadlineTimer(delayMs, Qt::PreciseTimer);
    m_retryTimer->start(int(qMin<qint64>(delayMs, INT_MAX)));
}

void UploadQueue::noteFailure(UploadWidget *row, int code)
{
    const RetryDecision decision =
        row->retryBackoff().recordFailure(row->task()->alreadyUploadSize, m_retryPolicy);
    if (decision.retry) {
        row->holdForRetry(decision.delayMs);
        qDebug() << row->task()->vid << "  retry in" << decision.delayMs << "ms, failures:"
                 << decision.failures;
        // The slot is free now: the next run (after the first delay) gives it
        // to another waiting row while this one is held; a later run comes
        // for this row when it is due.
        armRetryTimer(qMin(decision.delayMs, m_retryPolicy.firstDelayMs));
        return;
    }
    row->clearRetryHold();
    row->setGivenUp(true, tr("已连续失败%1次，不再自动重试，请点击“开始”重新上传").arg(decision.failures));
    qCritical() << row->task()->vid << "  uploading given up after" << decision.failures
                << "failures, last response:" << code;
    // The other rows go on.
    armRetryTimer(m_retryPolicy.firstDelayMs);
}

void UploadQueue::noteManualStart(UploadWidget *row)
{
    row->retryBackoff().reset();
    row->clearRetryHold();
    if (row->hasGivenUp()) {
        row->setGivenUp(false);
        row->setFailed(false);
    }
}

bool UploadQueue::hasNeverRun(const UploadWidget *row)
{
    return !row->isUploading() && !row->isFailed();
}

void UploadQueue::freshStart(UploadWidget *row)
{
    UploadTask *task = row->task();
    const InitRequest init = buildCurrentInitRequest(m_account, task->path, task->cataid, task->vid,
                                                     task->fileid, task->dateStr);
    task->initUrl = init.url;
    task->initSize = init.fileSize;
    row->prepareUpload();
    row->startUpload();
}

void UploadQueue::resume(UploadWidget *row)
{
    // A row whose block transfer has ended (failed, stopped) has nothing
    // that could go on: it starts afresh, resuming on the service's side
    // with its kept fileid and stored blocks.
    if (!row->hasRunningBlockTransfer()) {
        freshStart(row);
        return;
    }
    row->setOffersStart(false);
    row->assignStatusText(tr("上传中"));
    row->setWaiting(false);
    row->pauseBlockTransfer(false);
}

void UploadQueue::hideQueueWidgets()
{
    m_widgets.uploadFrame->hide();
    m_widgets.allStartBtn->hide();
    m_widgets.clearListBtn->hide();
}

void UploadQueue::showAddingState(bool adding)
{
    if (adding) {
        m_widgets.uploadFrame->show();
        m_widgets.allStartBtn->show();
        m_widgets.clearListBtn->show();
        m_widgets.loadingLbl->show();
        if (m_widgets.loadingMovie)
            m_widgets.loadingMovie->start();
    } else {
        if (m_widgets.loadingMovie)
            m_widgets.loadingMovie->stop();
        m_widgets.loadingLbl->hide();
    }
}

void UploadQueue::resetStatusLine()
{
    m_widgets.statusLbl->setText(uploaddisplay::statusLineReset());
}

void UploadQueue::showStatusCounts(int running, int waiting)
{
    m_widgets.statusLbl->setText(
        uploaddisplay::statusLine(running, waiting, uploaddisplay::networkRating(0), 0));
}

void UploadQueue::showLoading(bool on)
{
    showAddingState(on);
}

void UploadQueue::startStatusTimer(QTimer *timer)
{
    if (!timer)
        return;
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, &UploadQueue::totalTimeoutSlot, Qt::UniqueConnection);
    timer->start();
}

// ---- Adding -------------------------------------------------------------------

void UploadQueue::addUploadTask(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const UploadCategory category = m_categorySource ? m_categorySource() : UploadCategory();
    if (category.cataid.isEmpty()) {
        askUser(nullptr, tr("无法上传视频\r\n请检查网络或刷新目录"), false);
        return;
    }
    showAddingState(true);
    m_adding = true;
    m_pendingAdds.append({paths, category});
    if (m_addThreads.isEmpty())
        startNextBatch();
}

void UploadQueue::startNextBatch()
{
    if (m_pendingAdds.isEmpty()) {
        finishAdding();
        return;
    }
    const PendingAdd next = m_pendingAdds.takeFirst();
    m_addCategory = next.category;
    m_arrived.clear();
    m_nextToApply = 0;
    // The files are read and hashed in workers; their results are applied
    // here strictly in the order of the batch, so the window stays
    // responsive and the rows keep the order of the files.
    const int workers = next.paths.size() > 1 ? 2 : 1;
    m_runningAddThreads = workers;
    for (int w = 0; w < workers; ++w) {
        auto *thread = new AddFilesThread(next.paths, m_account.userId, next.category.cataid, w,
                                          workers);
        connect(thread, &AddFilesThread::fileReady, this, &UploadQueue::addedFileSlot,
                Qt::QueuedConnection);
        connect(thread, &AddFilesThread::Result, this, &UploadQueue::addBatchFinishedSlot,
                Qt::QueuedConnection);
        m_addThreads.append(thread);
    }
    for (const QPointer<AddFilesThread> &thread : qAsConst(m_addThreads))
        thread->start();
}

void UploadQueue::addedFileSlot(const AddedFileFacts &facts)
{
    m_arrived.insert(facts.index, facts);
    for (auto it = m_arrived.find(m_nextToApply); it != m_arrived.end();
         it = m_arrived.find(m_nextToApply)) {
        const AddedFileFacts ready = it.value();
        m_arrived.erase(it);
        ++m_nextToApply;
        applyAddedFile(ready);
    }
}

void UploadQueue::applyAddedFile(const AddedFileFacts &facts)
{
    m_lastFolder = facts.folder;
    if (facts.fileSize == 0)
        return;

    auto *task = new UploadTask;
    if (m_account.channel == WcsChannel) {
        task->uuid = makeUuid(facts.fileName);
        task->alreadyUploadSize = 0;
        task->uploadType = WcsChannel;
    } else {
        task->uploadType = OssChannel;
        task->date = makeOssDate();
        task->alreadyUploadSize = 0;
    }
    const QString title = titleOfFileName(facts.fileName);
    qDebug() << "file name:" << facts.path << ",file vid:" << facts.vid;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (m_queuedVids.contains(facts.vid)) {
            delete task;
            return;
        }
        m_queuedVids.append(facts.vid);
    }
    const BookkeepingUrls urls =
        makeBookkeepingUrls(m_account, facts.vid, title, m_addCategory.cataid);
    task->path = facts.path;
    task->fileName = facts.fileName;
    task->fileSize = facts.fileSize;
    task->title = title;
    task->vid = facts.vid;
    task->cataid = m_addCategory.cataid;
    task->cataStr = m_addCategory.name;
    task->insertUrl = urls.insertUrl;
    task->deleteUrl = urls.cancelUrl;
    task->checkUrl = urls.checkUrl;
    task->everUploaded = false;
    appendTask(task);
}

void UploadQueue::addBatchFinishedSlot()
{
    if (--m_runningAddThreads > 0)
        return;
    for (const QPointer<AddFilesThread> &thread : qAsConst(m_addThreads)) {
        if (thread) {
            thread->wait();
            delete thread.data();
        }
    }
    m_addThreads.clear();
    // Every file of the batch has been reported by now (each worker's
    // reports precede its Result), so nothing is left in m_arrived.
    m_arrived.clear();
    if (m_currentLinks < m_limit) {
        autoStartNextUpload();
        setQueueRunning(true);
        logLinks("addUploadTask  currentLinks:");
    }
    startNextBatch();
}

void UploadQueue::finishAdding()
{
    showAddingState(false);
    if (rowCount() == 0)
        hideQueueWidgets();
    m_adding = false;
    emit rowCountChanged(rowCount());
    emit addingFinished();
}

// ---- Scheduler ----------------------------------------------------------------

void UploadQueue::autoStartNextUpload()
{
    if (rowCount() == 0 || m_currentLinks >= m_limit)
        return;
    const bool wcs = m_account.channel == WcsChannel;

    if (m_preferredRow) {
        UploadWidget *row = m_preferredRow.data();
        if (wcs) {
            ++m_currentLinks;
            logLinks("autoStartNextUpload  currentLinks:");
            if (hasNeverRun(row))
                freshStart(row);
            else
                resume(row);
            m_preferredRow = nullptr;
            return;
        }
        if (row->isUploading() || row->isFailed())
            return;
        ++m_currentLinks;
        logLinks("autoStartNextUpload  currentLinks:");
        freshStart(row);
        m_preferredRow = nullptr;
        return;
    }

    for (UploadWidget *row : rows()) {
        if (m_currentLinks >= m_limit)
            break;
        // A row that failed waits for its back-off to pass.
        if (!row->isWaiting() || isHeldForRetry(row))
            continue;
        if (wcs) {
            ++m_currentLinks;
            logLinks("autoStartNextUpload  currentLinks:");
            if (hasNeverRun(row))
                freshStart(row);
            else
                resume(row);
        } else if (!row->isUploading() && !row->isFailed()) {
            ++m_currentLinks;
            logLinks("autoStartNextUpload  currentLinks:");
            freshStart(row);
        }
    }
}

void UploadQueue::on_allStartBtn_clicked()
{
    if (rowCount() == 0)
        return;
    const bool wcs = m_account.channel == WcsChannel;
    if (!isRunning()) {
        setQueueRunning(true);
        for (UploadWidget *row : rows()) {
            noteManualStart(row);
            if (wcs) {
                row->setWaiting(true);
                // A running row keeps its slot; the others start only while
                // a slot is free and otherwise wait for the scheduler, so
                // that starting all never runs more than the limit.
                if (!row->offersStart() || m_currentLinks >= m_limit)
                    continue;
                ++m_currentLinks;
                if (hasNeverRun(row))
                    freshStart(row);
                else
                    resume(row);
            } else {
                const bool paused = row->offersStart();
                // The stop result of the pause that may still be on its way
                // is older than this start.
                if (paused)
                    row->dropPendingResult();
                row->setWaiting(true);
                if (m_currentLinks < m_limit && paused) {
                    ++m_currentLinks;
                    freshStart(row);
                } else if (!row->isUploading()) {
                    row->setStatusText(tr("等待中"));
                }
            }
        }
    } else {
        setQueueRunning(false);
        for (UploadWidget *row : rows()) {
            if (wcs) {
                row->setWaiting(false);
                if (!row->offersStart()) {
                    decrementLinks();
                    row->setOffersStart(true);
                    row->assignStatusText(tr("暂停中"));
                    row->setSpeed(0);
                    row->pauseBlockTransfer(true);
                }
            } else {
                row->setWaiting(false);
                row->setFailed(false);
                row->setOffersStart(true);
                row->assignStatusText(tr("暂停中"));
                row->setSpeed(0);
                row->stopUpload(false);
            }
        }
        if (!wcs)
            m_currentLinks = 0;
    }
    logLinks("on_allStartBtn_clicked  currentLinks:");
}

void UploadQueue::suspendCurrentFileSlot()
{
    auto *row = qobject_cast<UploadWidget *>(sender());
    if (!row)
        return;
    const bool wcs = m_account.channel == WcsChannel;

    if (!row->offersStart()) {
        decrementLinks();
        logLinks("suspendCurrentFileSlot  currentLinks:");
        row->setOffersStart(true);
        row->assignStatusText(tr("暂停中"));
        row->setWaiting(false);
        row->setSpeed(0);
        if (wcs)
            row->pauseBlockTransfer(true);
        else
            row->stopUpload(false);
        if (isRunning())
            autoStartNextUpload();
        if (wcs && m_currentLinks == 0)
            setQueueRunning(false);
        return;
    }

    noteManualStart(row);
    if (m_currentLinks < m_limit) {
        if (wcs) {
            ++m_currentLinks;
            logLinks("suspendCurrentFileSlot  currentLinks:");
            if (hasNeverRun(row))
                freshStart(row);
            else
                resume(row);
        } else {
            row->setFailed(false);
            logLinks("suspendCurrentFileSlot  currentLinks:");
            if (hasNeverRun(row)) {
                ++m_currentLinks;
                freshStart(row);
            }
        }
    } else {
        for (UploadWidget *other : rows()) {
            if (other->offersStart())
                continue;
            decrementLinks();
            logLinks("suspendCurrentFileSlot  currentLinks:");
            other->setOffersStart(true);
            if (wcs) {
                other->assignStatusText(tr("暂停中"));
                other->setWaiting(false);
                other->setSpeed(0);
                other->pauseBlockTransfer(true);
            } else {
                other->assignStatusText(tr("等待中"));
                other->setWaiting(true);
                other->setSpeed(0);
                other->stopUpload(true);
            }
        }
        if (hasNeverRun(row))
            m_preferredRow = row;
        if (isRunning())
            autoStartNextUpload();
    }
    if (wcs && m_currentLinks == m_limit)
        setQueueRunning(true);
}

void UploadQueue::deleteCurrentFileSlot(bool success)
{
    QPointer<UploadWidget> row = qobject_cast<UploadWidget *>(sender());
    if (!row)
        return;
    if (success) {
        if (m_finishedHandler)
            m_finishedHandler(*row->task(), row->isSecondPass() ? tr("已秒传") : tr("已完成"));
    } else {
        const QString text = row->isUploading() ? tr("当前任务正在运行，确定删除吗？")
                                                : tr("确定删除吗？");
        const int answer = askUser(row.data(), text, true);
        if (!row || answer != QDialog::Accepted)
            return;
        row->cancelOnServer();
        if (m_account.channel == OssChannel)
            deleteUcpFileWhenStopped(row.data());
    }
    if (!row->offersStart() && m_currentLinks > 0) {
        --m_currentLinks;
        logLinks("deleteCurrentFileSlot  currentLinks:");
    }
    removeRow(row.data());

    UploadTask *next = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (!m_overflow.isEmpty())
            next = m_overflow.takeFirst();
    }
    if (next)
        appendRow(next);

    if (rowCount() > 0) {
        if (isRunning())
            autoStartNextUpload();
        if (m_currentLinks == 0 && !hasPendingRetry())
            setQueueRunning(false);
        return;
    }
    if (m_clearConfirmation)
        m_clearConfirmation->reject();
    hideQueueWidgets();
    setQueueRunning(false);
    resetStatusLine();
    emit rowCountChanged(0);
    if (m_autoShutDown && m_shutDownHandler)
        m_shutDownHandler();
}

void UploadQueue::errorCurrentFileSlot(int response)
{
    switch (response) {
    case 1:
    case 3:
        askUser(nullptr,
                response == 1 ? tr("上传空间不足，无法进行上传\r\n请联系管理员")
                              : tr("系统时间戳失效\r\n请检查您的系统时间"),
                false);
        decrementLinks();
        // Marked as running, so that the call below pauses the whole queue.
        m_widgets.allStartBtn->setProperty(kStatusProperty, false);
        m_widgets.allStartBtn->setText(tr("全部开始"));
        on_allStartBtn_clicked();
        break;
    case 5:
        askUser(nullptr, tr("上传空间即将用完\r\n请及时联系管理员"), false);
        break;
    case 6:
        decrementLinks();
        break;
    default: {
        decrementLinks();
        // A re-queued row is not a failure; every other code is one.
        auto *row = qobject_cast<UploadWidget *>(sender());
        if (row && response != 11)
            noteFailure(row, response);
        else
            armRetryTimer(m_retryPolicy.firstDelayMs);
        break;
    }
    }
}

void UploadQueue::tryAginTimeoutSlot()
{
    if (m_retryTimer)
        m_retryTimer->stop();
    if (isRunning())
        autoStartNextUpload();
    // Rows still held for their back-off get a run of their own.
    qint64 next = -1;
    for (const UploadWidget *row : rows()) {
        if (row->isWaiting() && isHeldForRetry(row))
            next = next < 0 ? row->retryHoldMs() : qMin(next, row->retryHoldMs());
    }
    if (next >= 0)
        armRetryTimer(next);
    if (m_currentLinks == 0 && next < 0)
        setQueueRunning(false);
    logLinks("errorCurrentFileSlot  currentLinks:");
}

void UploadQueue::on_clearListBtn_clicked()
{
    if (isFilling()) {
        askUser(nullptr, tr("上传任务添加中，请您稍后清空"), false);
        return;
    }
    if (rowCount() == 0) {
        resetStatusLine();
        hideQueueWidgets();
        return;
    }
    m_clearConfirmation = new MessageInfo(m_widgets.dialogParent, tr("提示"),
                                          tr("当前上传列表有任务，是否要清空列表"), tr("确定"),
                                          tr("取消"));
    QPointer<MessageInfo> dialog = m_clearConfirmation;
    const int answer = dialog->exec();
    delete dialog.data();
    m_clearConfirmation = nullptr;
    // The list may have emptied itself while the question was open.
    if (answer != QDialog::Accepted || rowCount() == 0)
        return;

    for (UploadWidget *row : rows()) {
        row->stopUpload(false);
        row->cancelOnServer();
        deleteUcpFileWhenStopped(row);
    }
    for (UploadWidget *row : rows())
        delete row;
    m_widgets.list->clear();
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        qDeleteAll(m_overflow);
        m_overflow.clear();
        m_queuedVids.clear();
    }
    m_preferredRow = nullptr;
    setQueueRunning(false);
    m_currentLinks = 0;
    resetStatusLine();
    hideQueueWidgets();
    emit rowCountChanged(0);
}

void UploadQueue::totalTimeoutSlot()
{
    if (rowCount() == 0)
        return;
    int sum = 0;
    int running = 0;
    for (const UploadWidget *row : rows()) {
        if (!row->isUploading())
            continue;
        if (row->speed() > 0)
            sum += row->speed();
        if (!row->offersStart())
            ++running;
    }
    m_currentLinks = running;
    const QString rating = uploaddisplay::networkRating(sum);
    const int waiting = overflowCount() + rowCount() - m_currentLinks;
    if (sum == 0) {
        if (m_currentLinks == 0)
            m_widgets.statusLbl->setText(uploaddisplay::statusLine(0, waiting, rating, 0));
        return;
    }
    m_widgets.statusLbl->setText(uploaddisplay::statusLine(m_currentLinks, waiting, rating, sum));
}

// ---- Teardown -------------------------------------------------------------------

void UploadQueue::stopRunningUploads()
{
    for (UploadWidget *row : rows()) {
        if (row->isUploading())
            row->stopUpload(false);
    }
}

void UploadQueue::tearDownQueue()
{
    if (m_recordSaver)
        m_recordSaver();
    for (UploadWidget *row : rows()) {
        row->stopUpload(false);
        delete row;
    }
    m_widgets.list->clear();
    m_currentLinks = 0;
}
