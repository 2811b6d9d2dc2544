// The bounded waits of the shut-down: polls of a thread's flags with short
// sleeps, so that a thread that does not answer cannot hang the program's
// exit. The sleep is a parameter so that tests can count the waits instead
// of sleeping them. A thread that learns of its stop as an event and must
// have ended before the process tears down is joined instead, with a bound
// that only a hang reaches (startup_stopAndDelete).
#pragma once

#include <cstdio>
#include <functional>

// Sleeps the calling thread for ms milliseconds (nanosleep).
void startup_sleepMs(int ms);

using tStartupSleep = std::function<void(int ms)>;

// Tests done(); while it does not hold, sleeps stepMs and tests again, at
// most `polls` times. True once done() held.
bool startup_pollUntil(const std::function<bool()> &done, int stepMs, int polls,
                       const tStartupSleep &sleep = startup_sleepMs);

// The wait for the device's stop job. On the I/O-procedure path (ioProc)
// the control thread's busy flag is polled every 10 ms, at most 501 times
// (about 5 s); on the queue path, whose start job keeps the thread busy
// while the stream runs, one sleep of 3.001 s.
void startup_waitDeviceStop(bool ioProc, const std::function<bool()> &busy,
                            const tStartupSleep &sleep = startup_sleepMs);

// The wait for the control thread's finished flag: every 100 ms, at most 29
// times. Returns the line the shut-down prints (without its line break):
// "mContCoreAudioThread finish OK" or "mContCoreAudioThread finish timeout".
const char *startup_waitControlFinished(const std::function<bool()> &finished,
                                        const tStartupSleep &sleep = startup_sleepMs);

// Deletes a thread object that has been asked to stop once its run() has
// returned, polling every 100 ms at most `polls` times; a thread that still
// runs then is left alone (deleting a running QThread aborts the process)
// and only the pointer is cleared. True when it was deleted.
template <typename T>
bool startup_deleteWhenStopped(T *&thread, int polls, const tStartupSleep &sleep = startup_sleepMs) {
    if (!thread) return true;
    T *t = thread;
    thread = nullptr;
    if (!startup_pollUntil([t] { return !t->isRunning(); }, 100, polls, sleep)) return false;
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
