#include "app/startupthreads.h"

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

void startup_waitDeviceStop(bool ioProc, const std::function<bool()> &busy, const tStartupSleep &sleep) {
    if (ioProc) {
        startup_pollUntil([&busy] { return !busy(); }, 10, 501, sleep);
    } else {
        sleep(3001);
    }
}

const char *startup_waitControlFinished(const std::function<bool()> &finished, const tStartupSleep &sleep) {
    return startup_pollUntil(finished, 100, 29, sleep) ? "mContCoreAudioThread finish OK"
                                                       : "mContCoreAudioThread finish timeout";
}
