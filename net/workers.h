#pragma once

#include "net/releasedthreads.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdio>

// Worker threads that run one service exchange each, off the GUI thread.
// Each is created with no parent, started once, reports through its single
// Result signal (queued into the owner's thread) and is deleted by its owner
// following the owner protocol below.

// JSON GET. Result: the body decoded as UTF-8, or "error" on any failure.
// With totalMs above 0 the exchange also ends (as a failure) after that long
// in all.
class GetJsonThread final : public QThread
{
    Q_OBJECT
public:
    explicit GetJsonThread(const QString &url, long totalMs = 0);

signals:
    void Result(QString msg);

protected:
    void run() override;

private:
    Q_DISABLE_COPY(GetJsonThread)
    QString m_url;
    long m_totalMs = 0;
};

// Form POST. Result: (body, "") on success, ("", error-buffer text) otherwise.
class psotRequest final : public QThread
{
    Q_OBJECT
public:
    psotRequest(const QByteArray &url, const QByteArray &body);

signals:
    void Result(QString text, QString error);

protected:
    void run() override;

private:
    Q_DISABLE_COPY(psotRequest)
    QByteArray m_url;
    QByteArray m_body;
};

// Image upload (multipart). Result as psotRequest.
class psotImage final : public QThread
{
    Q_OBJECT
public:
    psotImage(const QByteArray &url, const QByteArray &imagePath, const QByteArray &ptime,
              const QByteArray &sign, const QByteArray &vids);

signals:
    void Result(QString text, QString error);

protected:
    void run() override;

private:
    Q_DISABLE_COPY(psotImage)
    QByteArray m_url;
    QByteArray m_imagePath;
    QByteArray m_ptime;
    QByteArray m_sign;
    QByteArray m_vids;
};

// Image GET. Result: the bytes, or empty after a failure; no Result at all
// when no libcurl handle could be created.
class downloadPicThread final : public QThread
{
    Q_OBJECT
public:
    explicit downloadPicThread(const QString &url);

signals:
    void Result(QByteArray data);

protected:
    void run() override;

private:
    Q_DISABLE_COPY(downloadPicThread)
    QString m_url;
};

// File download. Progress while it runs; Result(true) after a complete
// download with status 200, Result(false) after a failure (partial file
// removed). After cancel() the partial file is removed and no Result comes.
class downloadThread final : public QThread
{
    Q_OBJECT
public:
    downloadThread(const QByteArray &url, const QByteArray &path);

    void cancel() { m_cancel.store(true); } // any thread
    bool isCancelled() const { return m_cancel.load(); }

signals:
    void Result(bool ok);
    void Progress(qlonglong received, qlonglong total);

protected:
    void run() override;

private:
    Q_DISABLE_COPY(downloadThread)
    QByteArray m_url;
    QByteArray m_path;
    std::atomic_bool m_cancel{false};
};

// ---- the owner protocol --------------------------------------------------
// An owner keeps one QPointer per kind of request. All of this runs in the
// owner's (GUI) thread, which never waits for a worker.

// Lets go of the guarded thread and clears the guard: a finished thread is
// deleted at once, one that still runs (its Result just sent, or its owner
// going away) is deleted once it has finished (releaseThread). Call first
// thing in the result slot, and in the owner's destructor; a Result still
// on its way to a destroyed owner is dropped by Qt.
template <class T>
void reapWorker(QPointer<T> &guard)
{
    if (T *thread = guard.data())
        releaseThread(thread);
    guard.clear();
}

// Issues a request: when the guard still holds a thread, nothing is sent and
// false is returned; a finished thread is cleaned up then, a running one is
// left to its result slot. Otherwise make() creates the thread (and may
// connect further signals such as Progress), its Result is connected to slot
// on owner, it is started with QThread::InheritPriority and true is returned.
template <class T, class Factory, class Owner, class Slot>
bool issueWorker(QPointer<T> &guard, Factory &&make, Owner *owner, Slot slot)
{
    if (guard) {
        if (guard->isFinished())
            reapWorker(guard);
        return false;
    }
    T *thread = make();
    if (!thread)
        return false;
    guard = thread;
    QObject::connect(thread, &T::Result, owner, slot);
    thread->start(QThread::InheritPriority);
    return true;
}
