#pragma once

// Stand-in channel threads for the upload engine's tests: they transfer
// nothing and end when the test tells them to.

#include "upload/uploadchannel.h"

#include <QFile>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QPointer>

#include <atomic>

class StandInOssThread final : public OssChannelThread
{
public:
    explicit StandInOssThread(const UploadTask &task) : m_task(task) {}
    ~StandInOssThread() override
    {
        m_abort = true;
        wait();
    }

    void abort(bool requeue) override
    {
        m_requeue = requeue;
        m_aborted = true;
        m_abort = true;
    }
    // After an abort the thread still stores a part's checkpoint (as a part
    // that was nearly done would) before it ends.
    void writeCheckpointAfterAbort() { m_writeCheckpoint = true; }
    // Ends run() with this result.
    void finish(bool status, int code)
    {
        m_status = status;
        m_code = code;
        m_finish = true;
    }
    void report(bool status, int code) { emit Result(status, code); }
    void progress(int increment, qlonglong transferred, qlonglong total)
    {
        emit Progress(increment, transferred, total);
    }
    bool wasAborted() const { return m_aborted; }
    bool abortedWithRequeue() const { return m_requeue; }
    const UploadTask &task() const { return m_task; }

protected:
    void run() override
    {
        while (!m_finish && !m_abort)
            msleep(2);
        if (m_finish && !m_abort)
            emit Result(m_status, m_code);
        if (m_abort && m_writeCheckpoint) {
            msleep(100);
            QFile checkpoint(m_task.path + QStringLiteral(".ucp"));
            if (checkpoint.open(QIODevice::WriteOnly))
                checkpoint.write("part 1 done");
        }
    }

private:
    UploadTask m_task;
    std::atomic<bool> m_writeCheckpoint{false};
    std::atomic<bool> m_finish{false};
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_requeue{false};
    std::atomic<bool> m_status{false};
    std::atomic<int> m_code{0};
};

class StandInTokenThread final : public TokenChannelThread
{
public:
    StandInTokenThread(UploadTask *task, bool ok, int code, const std::atomic<bool> *hold)
        : m_task(task), m_ok(ok), m_code(code), m_hold(hold)
    {
    }
    ~StandInTokenThread() override
    {
        m_abandoned = true;
        wait();
    }

    void abandon() override
    {
        m_abandoned = true;
        m_task = nullptr;
    }
    bool wasAbandoned() const { return m_abandoned; }

protected:
    void run() override
    {
        while (m_hold && *m_hold && !m_abandoned)
            msleep(2);
        // Written on the GUI thread, as the real thread does; not after abandon().
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (!m_task)
                    return;
                m_task->everUploaded = true;
                m_task->fileid = QStringLiteral("F-") + m_task->vid;
            },
            Qt::QueuedConnection);
        emit Result(m_ok, m_code);
    }

private:
    UploadTask *m_task; // GUI thread only
    std::atomic<bool> m_abandoned{false};
    bool m_ok;
    int m_code;
    const std::atomic<bool> *m_hold;
};

class StandInBlockThread final : public BlockChannelThread
{
public:
    explicit StandInBlockThread(const UploadTask *task) : m_task(task) {}
    ~StandInBlockThread() override
    {
        m_end = true;
        wait();
    }

    void setPaused(bool paused) override { m_paused = paused; }
    void stopTransfer(bool requeue) override
    {
        m_stopCode = requeue ? 11 : 6;
        m_end = true;
    }
    void finish(bool status, int code)
    {
        m_status = status;
        m_code = code;
        m_finishNow = true;
    }
    bool isPaused() const { return m_paused; }
    const UploadTask *task() const { return m_task; }

protected:
    void run() override
    {
        while (!m_end && !m_finishNow)
            msleep(2);
        if (m_finishNow)
            emit Result(m_status, m_code);
        else if (m_stopCode)
            emit Result(false, m_stopCode);
    }

private:
    const UploadTask *m_task;
    std::atomic<bool> m_end{false};
    std::atomic<bool> m_finishNow{false};
    std::atomic<bool> m_paused{false};
    std::atomic<int> m_stopCode{0};
    std::atomic<bool> m_status{false};
    std::atomic<int> m_code{0};
};

class StandInFactory final : public UploadChannelFactory
{
public:
    OssChannelThread *createOssThread(const UploadTask &task) override
    {
        auto *thread = new StandInOssThread(task);
        if (ossFailCode >= 0)
            thread->finish(false, ossFailCode);
        else if (!failingVid.isEmpty() && task.vid == failingVid)
            thread->finish(false, 0);
        if (ossWritesCheckpointAfterAbort)
            thread->writeCheckpointAfterAbort();
        oss.append(thread);
        ossMade[task.vid] += 1;
        return thread;
    }
    TokenChannelThread *createTokenThread(UploadTask *task) override
    {
        ++tokenThreads;
        tokensMade[task->vid] += 1;
        const bool fails = task->vid == failingVid;
        auto *thread = new StandInTokenThread(task, fails ? false : tokenOk, fails ? 0 : tokenCode,
                                              &holdTokens);
        tokens.append(thread);
        return thread;
    }
    QList<BlockChannelThread *> createBlockThreads(UploadTask *task) override
    {
        auto *thread = new StandInBlockThread(task);
        blocks.append(thread);
        return {thread};
    }

    // The latest OSS thread made for the task with this vid.
    StandInOssThread *ossFor(const QString &vid) const
    {
        for (int i = oss.size() - 1; i >= 0; --i) {
            if (oss.at(i) && oss.at(i)->task().vid == vid)
                return oss.at(i);
        }
        return nullptr;
    }

    // The latest block thread made for this task.
    StandInBlockThread *blockFor(const UploadTask *task) const
    {
        for (int i = blocks.size() - 1; i >= 0; --i) {
            if (blocks.at(i) && blocks.at(i)->task() == task)
                return blocks.at(i);
        }
        return nullptr;
    }

    // The OSS threads made so far for the task with this vid.
    int ossCountFor(const QString &vid) const { return ossMade.value(vid); }

    QList<QPointer<StandInOssThread>> oss;
    QList<QPointer<StandInBlockThread>> blocks;
    QList<QPointer<StandInTokenThread>> tokens;
    QMap<QString, int> ossMade;
    QMap<QString, int> tokensMade;
    int tokenThreads = 0;
    // The task with this vid fails every start: its OSS threads end at once
    // with Result(false, 0), its token requests answer (false, 0).
    QString failingVid;
    int ossFailCode = -1; // >= 0: every OSS thread ends at once with Result(false, code)
    bool ossWritesCheckpointAfterAbort = false;
    std::atomic<bool> holdTokens{false}; // token threads wait while set
    bool tokenOk = true;
    int tokenCode = 2;
};

// Installs a fresh stand-in factory for one test and returns it.
inline StandInFactory *installStandIns()
{
    auto factory = std::make_unique<StandInFactory>();
    StandInFactory *raw = factory.get();
    setUploadChannelFactory(std::move(factory));
    return raw;
}
