#pragma once

class QThread;

// Threads that their owner no longer waits for. A released thread that has
// finished is deleted at once; one that still runs is deleted by the event
// loop of the thread that released it soon after it has finished. Nothing
// ever blocks on a released thread while the program runs. Call from the
// GUI thread.
void releaseThread(QThread *thread);

// Released threads that exist still (running, or finished and not yet deleted).
int releasedThreadCount();

// At the end of the program, after the closing flag has been set (which ends
// their transfers within about a second): waits up to msecs in all for the
// released threads and deletes those that ended. True when none is left.
bool finishReleasedThreads(int msecs);
