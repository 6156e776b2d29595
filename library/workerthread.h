#pragma once

class QObject;

// A worker is parented to its own QThread and stays on the user-interface
// thread; the thread only runs an idle event loop. This ties the thread's
// life to the worker's: the thread leaves its event loop once the worker is
// destroyed (a page deleting the writer inside its report never reaches the
// thread's quit()), and the thread object deletes itself once it has ended,
// taking a worker that nobody deleted with it. Does nothing when `parent` is
// not a QThread.
void tieThreadToWorker(QObject *worker, QObject *parent);
