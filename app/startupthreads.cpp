#include "app/startupthreads.h"

#include <QDeadlineTimer>
#include <QThread>

#include <ctime>

void startup_sleepMs(int ms) {
    timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&t, &t) != 0) {}
}

bool startup_pollUntil(const std::function<bool()> &done, int stepMs, int polls, const tStartupSleep &sleep) {
    if (done()) return true;
    for (int i = 0; i < polls; ++i) {
        sleep(stepMs);
        if (done()) return true;
    }
    return false;
}

bool startup_waitThread(QThread *thread, int boundMs) {
    return !thread || thread->wait(QDeadlineTimer(boundMs));
}

void startup_waitDeviceStop(bool ioProc, QThread *control, const tStartupThreadWait &wait,
                            const tStartupSleep &sleep) {
    constexpr int kIoProcBoundMs = 5010;   // 501 times 10 ms
    constexpr int kQueuePathPauseMs = 3001;
    if (ioProc) {
        if (control && control->isRunning()) (void)wait(control, kIoProcBoundMs);
    } else {
        sleep(kQueuePathPauseMs);
    }
}

const char *startup_waitControlFinished(QThread *control, const tStartupThreadWait &wait) {
    constexpr int kControlBoundMs = 2900;  // 29 times 100 ms
    const bool ended = !control || !control->isRunning() || wait(control, kControlBoundMs);
    return ended ? "mContCoreAudioThread finish OK" : "mContCoreAudioThread finish timeout";
}
