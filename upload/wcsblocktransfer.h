#pragma once

#include "upload/uploadchannel.h"
#include "upload/uploadtask.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class WcsConnection;

// Block threads of one start of a WCS upload. Several blocks are in flight at
// once so that a link with a long round trip stays busy: each thread waits one
// round trip per 1 MiB chunk, so four threads keep about 4 MiB on the way,
// which covers the bandwidth-delay product of e.g. 100 Mbit/s at 250 ms (3 MB)
// without opening many connections on short links.
constexpr int kWcsBlockThreads = 4;

// What one block transfer needs, copied from the task record on the GUI
// thread when the transfer is made. The threads never touch the record.
struct WcsJob
{
    QString vid;
    QString path;
    QString uuid;
    QString uploadToken;
    QString uploadHost;
    qint64 fileSize = 0;
    QMap<qint64, QString> kept; // stored blocks of an earlier start: index -> ctx
};

// The state the block threads of one transfer share: the blocks still to
// send, the ctx of every stored block, the pause flag and the one outcome.
class WcsTransferState final
{
public:
    WcsTransferState(WcsJob job, int threads);

    const WcsJob &job() const { return m_job; }
    // Set once the transfer ends (failure or stop): running requests abort.
    const std::atomic_bool *abortFlag() const { return &m_abort; }

    // The next block to send; none when all are taken or the transfer ends.
    std::optional<qint64> takeBlock();
    void noteStored(qint64 index, const QString &ctx);
    // The first outcome wins: 2 (file unreadable), 10 (failed), 6 / 11 (stop).
    void fail(int code);
    void stop(bool requeue);
    void setPaused(bool paused);
    // Waits while paused. False when the transfer ends (also when the
    // program is closing).
    bool holdWhilePaused();
    // Sleeps up to ms; false when the transfer ends meanwhile.
    bool pauseFor(int ms);
    bool isEnding();
    int outcome(); // 0 while the transfer goes on

    // A thread is done; true for the last one, which then finishes the file.
    bool leave();
    // The ctx of every block in order; empty when a block is missing.
    QStringList ctxList() const;
    // Forgets the blocks taken over from an earlier start and returns them.
    QList<qint64> dropKept();
    bool hasKept() const;

private:
    Q_DISABLE_COPY(WcsTransferState)
    bool endingLocked();

    const WcsJob m_job;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<qint64> m_pending;
    QMap<qint64, QString> m_stored;
    QList<qint64> m_keptIndexes;
    bool m_paused = false;
    int m_outcome = 0;
    int m_running;
    std::atomic_bool m_abort{false};
};

// One block thread. The last one to end sends mkfile and reports the
// transfer's single Result; every thread reports the bytes the store
// confirmed (Progress; negative when a block has to start again) and each
// block it stored (BlockStored).
class WcsBlockThread final : public BlockChannelThread
{
    Q_OBJECT
    Q_DISABLE_COPY(WcsBlockThread)

public:
    explicit WcsBlockThread(std::shared_ptr<WcsTransferState> state, QObject *parent = nullptr);
    ~WcsBlockThread() override;

    void setPaused(bool paused) override;
    void stopTransfer(bool requeue) override;

protected:
    void run() override;

private:
    bool sendBlock(WcsConnection &connection, qint64 index);
    void finishFile(WcsConnection &connection);

    std::shared_ptr<WcsTransferState> m_state;
};

// The block threads for a task whose token request succeeded (not started).
// Runs on the GUI thread: takes the stored blocks of the block map and sets
// alreadyUploadSize to their bytes. The threads never touch the record; the
// controller enters the blocks they report (BlockStored) into the map.
QList<BlockChannelThread *> createWcsBlockThreads(UploadTask *task);
