#pragma once

#include "net/releasedthreads.h"
#include "net/threadstart.h"

#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// One blocking call (a transfer) on a thread of its own, whose result reaches
// a receiver in the receiver's thread. Nobody waits for that thread: when the
// time limit passes or the receiver is destroyed before the result arrived,
// the call's stop flag is raised, its result is dropped and the thread is
// deleted once the call has returned.
namespace background {

template <class R>
struct CallBox
{
    std::atomic_bool stop{false};
    std::optional<R> result; // written by the call's thread before it finishes
    bool settled = false;    // the receiver's thread only
};

// Starts call on a new thread and returns at once. Later, in the receiver's
// thread, exactly one of done(result) (the call returned in time) and
// timedOut() (limitMs passed first) runs, unless the receiver was destroyed
// before. The call should watch its stop flag (a transfer's progress
// callback does) so that its thread ends soon after a time-out.
template <class R>
void start(QObject *receiver, int limitMs, std::function<R(const std::atomic_bool &stop)> call,
           std::function<void(R)> done, std::function<void()> timedOut = {})
{
    auto box = std::make_shared<CallBox<R>>();
    QThread *thread = QThread::create([box, call = std::move(call)] {
        prepareThread();
        box->result = call(box->stop);
    });
    QObject::connect(thread, &QThread::finished, receiver, [box, done = std::move(done)] {
        if (box->settled || !box->result)
            return;
        box->settled = true;
        done(std::move(*box->result));
    });
    QTimer::singleShot(limitMs, receiver, [box, timedOut = std::move(timedOut)] {
        if (box->settled)
            return;
        box->settled = true;
        box->stop.store(true);
        if (timedOut)
            timedOut();
    });
    QObject::connect(receiver, &QObject::destroyed, [box] { box->stop.store(true); });
    thread->start(QThread::InheritPriority);
    releaseThread(thread);
}

// The same, waited for in a local event loop, so that the calling thread's
// timers and windows keep working meanwhile: the result, or nothing when
// limitMs passed first. Only for flows that have no window of their own
// yet (the start of the program): the local loop runs every event.
template <class R>
std::optional<R> startAndWait(int limitMs, std::function<R(const std::atomic_bool &stop)> call)
{
    QObject context;
    QEventLoop loop;
    std::optional<R> result;
    start<R>(
        &context, limitMs, std::move(call),
        [&result, &loop](R r) {
            result = std::move(r);
            loop.quit();
        },
        [&loop] { loop.quit(); });
    loop.exec();
    return result;
}

} // namespace background
