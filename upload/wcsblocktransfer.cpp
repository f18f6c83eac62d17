#include "upload/wcsblocktransfer.h"

#include "net/closingflag.h"
#include "net/threadstart.h"
#include "upload/wcshttp.h"
#include "upload/wcsprotocol.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <chrono>

// How the transfer treats the store's answers:
// - a chunk is confirmed when the answer is 200 with a usable ctx, the
//   CRC-32 of the chunk and the block offset after it; otherwise (checksum
//   mismatch, unusable answer, 5xx other than 579, no answer) it is sent
//   again from the ctx before it, up to kMaxAttempts times with a doubling
//   back-off;
// - 400 on bput (ctx or offset unknown to the store) sends the block again
//   from its start, once; 400 on mkblk, 401 (token expired or invalid), 579
//   (callback failed) and other statuses fail the transfer (10), and the
//   queue's retry makes a fresh init;
// - mkfile answered 400 while blocks of an earlier start were taken over:
//   those blocks are sent again and mkfile is repeated;
// - a pause holds every thread before its next chunk; a stop or the closing
//   flag ends running requests at once; confirmed chunks are never sent
//   again within one start;
// - the file is opened for every chunk: a file that is gone, cut short or
//   unreadable ends the transfer with 2.

namespace {

// Tries per chunk (and per mkfile) before the transfer counts as failed.
constexpr int kMaxAttempts = 6;
// First back-off after a transient failure; doubled for every further try.
constexpr int kFirstBackoffMs = 250;

const char *const kOctetStream = "application/octet-stream";
const char *const kTextPlain = "text/plain";

} // namespace

// ---- shared state ----------------------------------------------------------

WcsTransferState::WcsTransferState(WcsJob job, int threads) : m_job(std::move(job)), m_running(threads)
{
    const qint64 count = wcs::blockCount(m_job.fileSize);
    for (qint64 i = 0; i < count; ++i) {
        const auto kept = m_job.kept.constFind(i);
        if (kept != m_job.kept.constEnd()) {
            m_stored.insert(i, kept.value());
            m_keptIndexes.append(i);
        } else {
            m_pending.append(i);
        }
    }
}

bool WcsTransferState::endingLocked()
{
    if (m_outcome == 0 && isClosing()) {
        // The program closes: the transfer ends like a pause, its blocks kept.
        m_outcome = 6;
        m_abort = true;
        m_wake.notify_all();
    }
    return m_outcome != 0;
}

std::optional<qint64> WcsTransferState::takeBlock()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (endingLocked() || m_pending.isEmpty())
        return std::nullopt;
    return m_pending.takeFirst();
}

void WcsTransferState::noteStored(qint64 index, const QString &ctx)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stored.insert(index, ctx);
}

void WcsTransferState::fail(int code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_outcome == 0)
        m_outcome = code;
    m_abort = true;
    m_wake.notify_all();
}

void WcsTransferState::stop(bool requeue)
{
    fail(requeue ? 11 : 6);
}

void WcsTransferState::setPaused(bool paused)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_paused = paused;
    m_wake.notify_all();
}

bool WcsTransferState::holdWhilePaused()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_paused && !endingLocked())
        m_wake.wait_for(lock, std::chrono::milliseconds(200));
    return !endingLocked();
}

bool WcsTransferState::pauseFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!endingLocked() && std::chrono::steady_clock::now() < until)
        m_wake.wait_until(lock, std::min(until, std::chrono::steady_clock::now()
                                                    + std::chrono::milliseconds(200)));
    return !endingLocked();
}

bool WcsTransferState::isEnding()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return endingLocked();
}

int WcsTransferState::outcome()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    endingLocked();
    return m_outcome;
}

bool WcsTransferState::leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return --m_running == 0;
}

QStringList WcsTransferState::ctxList() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const qint64 count = wcs::blockCount(m_job.fileSize);
    QStringList list;
    for (qint64 i = 0; i < count; ++i) {
        const QString ctx = m_stored.value(i);
        if (ctx.isEmpty())
            return QStringList();
        list.append(ctx);
    }
    return list;
}

QList<qint64> WcsTransferState::dropKept()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QList<qint64> kept = m_keptIndexes;
    for (qint64 i : kept)
        m_stored.remove(i);
    m_keptIndexes.clear();
    return kept;
}

bool WcsTransferState::hasKept() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_keptIndexes.isEmpty();
}

// ---- block thread ------------------------------------------------------------

WcsBlockThread::WcsBlockThread(std::shared_ptr<WcsTransferState> state, QObject *parent)
    : BlockChannelThread(parent), m_state(std::move(state))
{
}

WcsBlockThread::~WcsBlockThread()
{
    if (isRunning()) {
        m_state->stop(false);
        wait();
    }
}

void WcsBlockThread::setPaused(bool paused)
{
    m_state->setPaused(paused);
}

void WcsBlockThread::stopTransfer(bool requeue)
{
    m_state->stop(requeue);
}

void WcsBlockThread::run()
{
    prepareThread();
    const WcsJob &job = m_state->job();
    WcsConnection connection(job.uploadToken, job.uuid, m_state->abortFlag());
    // The host and the token come from the init answer; one that is not a
    // web address or would break the header fails the task before any
    // request.
    if (!connection.isValid() || !isHttpUrl(wcs::normalisedHost(job.uploadHost))) {
        qCritical() << job.vid << "  wcs upload host or token unusable";
        m_state->fail(10);
    } else {
        while (const std::optional<qint64> index = m_state->takeBlock()) {
            if (!sendBlock(connection, *index))
                break;
        }
    }
    if (m_state->leave())
        finishFile(connection);
}

bool WcsBlockThread::sendBlock(WcsConnection &connection, qint64 index)
{
    const WcsJob &job = m_state->job();
    const qint64 blockStart = index * wcs::kBlockSize;
    const qint64 blockSize = wcs::blockLength(job.fileSize, index);
    bool mayRestart = true;

restart:
    qint64 offset = 0;
    QString ctx;
    while (offset < blockSize) {
        const qint64 length = std::min(wcs::kChunkSize, blockSize - offset);
        int attempt = 0;
        for (;;) {
            // A chunk boundary: a pause holds here, a stop ends here.
            if (!m_state->holdWhilePaused())
                return false;
            const QByteArray url = offset == 0 ? wcs::mkblkUrl(job.uploadHost, blockSize, index)
                                               : wcs::bputUrl(job.uploadHost, ctx, offset);
            // The file is opened for every chunk, so that a file that was
            // removed or cut short meanwhile is noticed at once.
            const WcsConnection::Answer a =
                connection.postFileRange(url, job.path, blockStart + offset, length, kOctetStream);
            if (a.unreadable) {
                qCritical() << job.vid << "  wcs block" << index << "cannot read the file";
                m_state->fail(2);
                return false;
            }
            if (a.aborted || m_state->isEnding())
                return false;
            const wcs::ChunkAnswer verdict =
                wcs::evaluateChunkAnswer(a.status, a.body, offset == 0, a.sentCrc, offset + length);
            if (verdict.verdict == wcs::ChunkVerdict::Accepted) {
                ctx = verdict.ctx;
                break;
            }
            if (verdict.verdict == wcs::ChunkVerdict::Restart && mayRestart) {
                qWarning() << job.vid << "  wcs block" << index << "starts again, store answered"
                           << a.status;
                mayRestart = false;
                if (offset > 0)
                    emit Progress(-offset);
                goto restart;
            }
            if (verdict.verdict == wcs::ChunkVerdict::Resend && ++attempt < kMaxAttempts) {
                qWarning() << job.vid << "  wcs block" << index << "offset" << offset
                           << "sent again, status" << a.status << a.error;
                if (!m_state->pauseFor(kFirstBackoffMs << (attempt - 1)))
                    return false;
                continue;
            }
            qCritical() << job.vid << "  wcs block" << index << "offset" << offset << "failed, status"
                        << a.status << a.error << QString::fromUtf8(a.body.left(200));
            m_state->fail(10);
            return false;
        }
        offset += length;
        emit Progress(length);
    }
    m_state->noteStored(index, ctx);
    emit BlockStored(index, ctx);
    return true;
}

void WcsBlockThread::finishFile(WcsConnection &connection)
{
    const WcsJob &job = m_state->job();
    int attempt = 0;
    while (m_state->outcome() == 0) {
        const QStringList ctxList = m_state->ctxList();
        if (ctxList.size() != wcs::blockCount(job.fileSize)) {
            m_state->fail(10);
            break;
        }
        const QByteArray body = wcs::mkfileBody(ctxList);
        const WcsConnection::Answer a =
            connection.post(wcs::mkfileUrl(job.uploadHost, job.fileSize), body.constData(), body.size(),
                            kTextPlain);
        if (a.aborted)
            break;
        const wcs::FileVerdict verdict = wcs::evaluateFileAnswer(a.status, a.body);
        if (verdict == wcs::FileVerdict::Assembled) {
            emit Result(true, 0);
            return;
        }
        if (verdict == wcs::FileVerdict::BadBlocks && m_state->hasKept()) {
            // The store no longer knows blocks of an earlier start: send them again.
            qWarning() << job.vid << "  wcs mkfile refused kept blocks, sending them again";
            const QList<qint64> kept = m_state->dropKept();
            bool sent = true;
            for (qint64 index : kept) {
                emit Progress(-wcs::blockLength(job.fileSize, index));
                if (!sendBlock(connection, index)) {
                    sent = false;
                    break;
                }
            }
            if (!sent)
                break;
            continue;
        }
        if (verdict == wcs::FileVerdict::Retry && ++attempt < kMaxAttempts) {
            qWarning() << job.vid << "  wcs mkfile sent again, status" << a.status << a.error;
            if (!m_state->pauseFor(kFirstBackoffMs << (attempt - 1)))
                break;
            continue;
        }
        qCritical() << job.vid << "  wcs mkfile failed, status" << a.status << a.error
                    << QString::fromUtf8(a.body.left(200));
        m_state->fail(10);
        break;
    }
    int code = m_state->outcome();
    if (code == 0)
        code = 10;
    emit Result(false, code);
}

// ---- making a transfer -------------------------------------------------------

QList<BlockChannelThread *> createWcsBlockThreads(UploadTask *task)
{
    if (!task)
        return {};
    WcsJob job;
    job.vid = task->vid;
    job.path = task->path;
    job.uuid = task->uuid;
    job.uploadToken = task->uploadToken;
    job.uploadHost = task->uploadHost;
    job.fileSize = task->fileSize;
    job.kept = wcs::keptBlocks(task->blocks, task->fileSize);

    // Progress counts from the blocks that are already stored.
    task->alreadyUploadSize = wcs::keptBytes(job.kept, job.fileSize);

    const qint64 toSend = wcs::blockCount(job.fileSize) - job.kept.size();
    const int threads = int(std::max<qint64>(1, std::min<qint64>(kWcsBlockThreads, toSend)));
    auto state = std::make_shared<WcsTransferState>(std::move(job), threads);
    QList<BlockChannelThread *> list;
    for (int i = 0; i < threads; ++i) {
        list.append(new WcsBlockThread(state));
    }
    return list;
}
