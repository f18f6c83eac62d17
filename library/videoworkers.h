#pragma once

#include "net/releasedthreads.h"

#include <QObject>
#include <QPointer>
#include <QThread>

// Lets go of a worker thread whose owner is going away. A finished thread is
// deleted at once; a running one is cut off from its receivers and deletes
// itself when it ends, so that destroying a row or a dialog never waits for a
// transfer that may stall.
template <class T>
void releaseWorker(QPointer<T> &guard, QObject *owner)
{
    T *thread = guard.data();
    guard.clear();
    if (!thread)
        return;
    QObject::disconnect(thread, nullptr, owner, nullptr);
    // Deleted once it has ended; the program waits for it (bounded) at exit.
    releaseThread(thread);
}
