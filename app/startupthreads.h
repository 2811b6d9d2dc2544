// The bounded waits of the shut-down and of a device restart: each waits on
// a thread's own end, within a bound, and never joins without one, so that
// a thread that does not answer cannot hang the program. How a thread is
// awaited (and the one fixed pause, how it sleeps) are parameters, so that
// tests can see the bounds instead of waiting them out.
// A thread that must have ended before the process tears down is stopped
// and joined, with a bound that only a hang reaches (startup_stopAndDelete).
#pragma once

#include <cstdio>
#include <functional>

class QThread;

// Sleeps the calling thread for ms milliseconds (nanosleep).
void startup_sleepMs(int ms);

using tStartupSleep = std::function<void(int ms)>;

// Tests done(); while it does not hold, sleeps stepMs and tests again, at
// most `polls` times. True once done() held. For flags that no thread's end
// reports.
bool startup_pollUntil(const std::function<bool()> &done, int stepMs, int polls,
                       const tStartupSleep &sleep = startup_sleepMs);

// Waits until `thread` has returned from run(), at most boundMs; true when
// it has (or never ran, or is null).
using tStartupThreadWait = std::function<bool(QThread *thread, int boundMs)>;
bool startup_waitThread(QThread *thread, int boundMs);

// The wait for the device control thread after a stop (and re-rate and
// start) was queued. On the I/O-procedure path (ioProc) the thread ends once
// its jobs are done: waited for, at most 5.01 s. On the queue path the start
// job keeps the thread for as long as the stream runs, so nothing reports
// the stream's start: one fixed pause of 3.001 s, which the device's own
// settle waits (about 0.9 s) fit in.
void startup_waitDeviceStop(bool ioProc, QThread *control, const tStartupThreadWait &wait = startup_waitThread,
                            const tStartupSleep &sleep = startup_sleepMs);

// The wait for the control thread's end after its stop: at most 2.9 s.
// Returns the line the shut-down prints (without its line break):
// "mContCoreAudioThread finish OK" or "mContCoreAudioThread finish timeout".
const char *startup_waitControlFinished(QThread *control, const tStartupThreadWait &wait = startup_waitThread);

// Deletes a thread object that has been asked to stop once its run() has
// returned, waiting at most polls × 100 ms; a thread that still runs then
// is left alone (deleting a running QThread aborts the process) and only
// the pointer is cleared. True when it was deleted.
template <typename T>
bool startup_deleteWhenStopped(T *&thread, int polls, const tStartupThreadWait &wait = startup_waitThread) {
    if (!thread) return true;
    T *t = thread;
    thread = nullptr;
    if (t->isRunning() && !wait(t, polls * 100)) return false;
    delete t;
    return true;
}

// The join's bound at shut-down: far beyond any cycle of a thread that
// answers its stop, even on a loaded machine under the sanitizers.
constexpr int kStartupJoinBoundMs = 20000;

// Stops a thread through its stopAndWait (which wakes it and waits at most
// boundMs for its run to return) and deletes it once it has ended. A thread
// still running then is reported on stderr under `name` and left alone;
// only the pointer is cleared. True when it was deleted.
template <typename T>
bool startup_stopAndDelete(T *&thread, int boundMs, const char *name) {
    if (!thread) return true;
    T *t = thread;
    thread = nullptr;
    if (!t->stopAndWait(boundMs)) {
        std::fprintf(stderr, "SonvexEditor: %s did not end within %d ms at shut-down\n", name, boundMs);
        return false;
    }
    delete t;
    return true;
}
