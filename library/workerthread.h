#pragma once

#include <functional>

class QObject;

// A worker is parented to its own QThread and lives on the user-interface
// thread; the thread runs an event loop. This ties the thread's life to the
// worker's: the thread leaves its event loop once the worker is destroyed
// (a page deleting the writer inside its report never reaches the thread's
// quit()), and the thread object deletes itself once it has ended, taking a
// worker that nobody deleted with it. Does nothing when `parent` is not a
// QThread.
void tieThreadToWorker(QObject *worker, QObject *parent);

// Runs `work` on the worker's own thread, so that the user-interface thread
// stays free for the window, then `then` back on the worker's thread, unless
// the worker is gone by then. `work` may outlive the worker and must not
// touch it. Without a running thread of its own, both run here and now.
void runOnWorkerThread(QObject *worker, const std::function<void()> &work, const std::function<void()> &then);
