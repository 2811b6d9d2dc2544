// Waiting for work threads to end their jobs: on the threads' own finish,
// within a bound, never by polling a flag. A thread that does not end in
// time is left running and the caller goes on, as a user would want of a
// program that must not hang on a job that does not answer.
//
// GUI thread; the threads must not be waiting on the caller (no blocking
// queued connections to it).
#pragma once

class QThread;

enum class tThreadWait : int {
    NothingToWait,  // no thread was running
    Finished,       // every running thread ended within the bound
    TimedOut,       // at least one still ran when the bound was reached
};

// Waits for each of `count` threads (null entries skipped) to return from
// run(), all within one bound of boundMs from the call.
tThreadWait threadWait_all(QThread *const *threads, int count, int boundMs);

// The same for one thread (null: nothing to wait for).
inline tThreadWait threadWait_one(QThread *thread, int boundMs) { return threadWait_all(&thread, 1, boundMs); }
