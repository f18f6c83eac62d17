#pragma once

#include <functional>

class QThread;

// Channel threads whose row has gone. A row that is deleted while one of its
// threads still runs has told the thread to stop; it hands the thread over
// here instead of waiting for it, and the thread is deleted on the GUI
// thread once it has ended. An optional action runs after that (e.g. the
// removal of resume data that the thread could still have written).
namespace retiredthreads {

// Takes ownership of thread (no parent, started or not, may have ended).
// Call on the GUI thread.
void adopt(QThread *thread, std::function<void()> afterEnd = {});

// Threads handed over that have not been deleted yet.
int pendingCount();

// Waits up to timeoutMs in all for the threads handed over, deletes those
// that ended and runs their actions. True when none is left. For the end of
// the program (after the event loop) and for tests.
bool finishAll(int timeoutMs);

} // namespace retiredthreads
