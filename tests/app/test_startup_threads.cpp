// The shut-down's bounded waits: how long each may last, when each ends
// early, which finish line it reports, and that a thread still running when
// its wait is over is never deleted.
#include <gtest/gtest.h>
#include <QThread>

#include <atomic>
#include <vector>

#include "app/startupthreads.h"

namespace {

// Counts the sleeps instead of sleeping; `ready` says after how many sleeps
// the awaited flag changes (-1: never).
struct tSleepLog {
    std::vector<int> sleeps;
    tStartupSleep sleeper() {
        return [this](int ms) { sleeps.push_back(ms); };
    }
    int total() const {
        int sum = 0;
        for (int ms : sleeps) sum += ms;
        return sum;
    }
};

}  // namespace

TEST(ShutdownWaits, TheDeviceStopWaitEndsWithTheBusyFlagOrAfterAboutFiveSeconds) {
    struct Case {
        bool ioProc;
        int clearsAfter;  // sleeps until busy clears; -1 never
        size_t sleeps;
        int totalMs;
    };
    const Case cases[] = {
        {true, 0, 0, 0},        // not busy: no wait at all
        {true, 3, 3, 30},       // ends as soon as the flag clears
        {true, -1, 501, 5010},  // never clears: about 5 s, then on
        {false, 0, 1, 3001},    // the queue path always sleeps 3.001 s
        {false, -1, 1, 3001},
    };
    for (const Case &c : cases) {
        tSleepLog log;
        startup_waitDeviceStop(
            c.ioProc, [&] { return c.clearsAfter < 0 || static_cast<int>(log.sleeps.size()) < c.clearsAfter; },
            log.sleeper());
        EXPECT_EQ(log.sleeps.size(), c.sleeps) << c.ioProc << " " << c.clearsAfter;
        EXPECT_EQ(log.total(), c.totalMs) << c.ioProc << " " << c.clearsAfter;
    }
}

TEST(ShutdownWaits, TheControlThreadWaitReportsExactlyOneFinishLine) {
    struct Case {
        int finishedAfter;  // -1 never
        const char *line;
        size_t sleeps;
    };
    const Case cases[] = {
        {0, "mContCoreAudioThread finish OK", 0},
        {5, "mContCoreAudioThread finish OK", 5},
        {29, "mContCoreAudioThread finish OK", 29},
        {-1, "mContCoreAudioThread finish timeout", 29},
    };
    for (const Case &c : cases) {
        tSleepLog log;
        const char *line = startup_waitControlFinished(
            [&] { return c.finishedAfter >= 0 && static_cast<int>(log.sleeps.size()) >= c.finishedAfter; },
            log.sleeper());
        EXPECT_STREQ(line, c.line) << c.finishedAfter;
        EXPECT_EQ(log.sleeps.size(), c.sleeps) << c.finishedAfter;
        for (int ms : log.sleeps) EXPECT_EQ(ms, 100);
    }
}

namespace {

std::atomic<int> sDestroyed{0};

class tSpinThread : public QThread {
public:
    std::atomic<bool> keepRunning{true};
    ~tSpinThread() override { ++sDestroyed; }

protected:
    void run() override {
        while (keepRunning.load()) QThread::msleep(2);
    }
};

}  // namespace

TEST(ShutdownWaits, AThreadIsDeletedOnlyOnceItsRunHasReturned) {
    // Still running after its polls: left alone, only the owner's pointer
    // is cleared.
    auto *spinning = new tSpinThread;
    spinning->start();
    tSpinThread *owner = spinning;
    tSleepLog log;
    sDestroyed = 0;
    EXPECT_FALSE(startup_deleteWhenStopped(owner, 3, log.sleeper()));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(sDestroyed.load(), 0);
    EXPECT_EQ(log.sleeps.size(), 3u);
    EXPECT_TRUE(spinning->isRunning());

    // Once it stops within the polls it is deleted.
    spinning->keepRunning = false;
    owner = spinning;
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 50));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(sDestroyed.load(), 1);

    // Never started, and null.
    owner = new tSpinThread;
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 0));
    EXPECT_EQ(sDestroyed.load(), 2);
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 0));
}
