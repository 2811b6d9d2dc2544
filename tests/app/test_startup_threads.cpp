// The shut-down's bounded waits: how long each may last, when each ends
// early, which finish line it reports, and that a thread still running when
// its wait is over is never deleted.
#include <gtest/gtest.h>
#include <QThread>

#include <atomic>
#include <vector>

#include "app/startupthreads.h"

namespace {

// Counts the sleeps instead of sleeping.
struct tSleepLog {
    std::vector<int> sleeps;
    tStartupSleep sleeper() {
        return [this](int ms) { sleeps.push_back(ms); };
    }
};

// Notes the bound of every wait on a thread's end and answers as told
// (true: the thread ended in time) instead of waiting.
struct tWaitLog {
    std::vector<int> bounds;
    bool ends = true;
    tStartupThreadWait waiter() {
        return [this](QThread *, int boundMs) {
            bounds.push_back(boundMs);
            return ends;
        };
    }
};

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

// A running thread for a case, stopped and deleted with the case.
struct tRunning {
    tSpinThread thread;
    tRunning() { thread.start(); }
    ~tRunning() {
        thread.keepRunning = false;
        thread.wait();
    }
};

}  // namespace

TEST(ShutdownWaits, TheDeviceStopWaitsForTheControlThreadAtMostAbout5sOrPausesOnTheQueuePath) {
    struct Case {
        const char *name;
        bool ioProc;
        bool running;  // the control thread still has jobs
        std::vector<int> bounds;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {"idle control thread: no wait at all", true, false, {}, {}},
        {"its jobs running: waited for, 5.01 s at most", true, true, {5010}, {}},
        // The start job keeps the thread while the stream runs: nothing ends.
        {"queue path", false, true, {}, {3001}},
        {"queue path, idle", false, false, {}, {3001}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tRunning running;
        tSpinThread idle;
        tWaitLog waits;
        tSleepLog sleeps;
        startup_waitDeviceStop(c.ioProc, c.running ? static_cast<QThread *>(&running.thread) : &idle, waits.waiter(),
                               sleeps.sleeper());
        EXPECT_EQ(waits.bounds, c.bounds);
        EXPECT_EQ(sleeps.sleeps, c.sleeps);
    }
    // The real wait returns with the thread's end, well inside its bound.
    auto *ending = new tRunning;
    ending->thread.keepRunning = false;
    startup_waitDeviceStop(true, &ending->thread);
    EXPECT_TRUE(ending->thread.isFinished());
    delete ending;
}

TEST(ShutdownWaits, TheControlThreadWaitReportsExactlyOneFinishLine) {
    struct Case {
        const char *name;
        bool running;
        bool ends;
        const char *line;
        std::vector<int> bounds;
    };
    const Case cases[] = {
        {"already ended", false, false, "mContCoreAudioThread finish OK", {}},
        {"ends within 2.9 s", true, true, "mContCoreAudioThread finish OK", {2900}},
        {"still running after 2.9 s", true, false, "mContCoreAudioThread finish timeout", {2900}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tRunning running;
        tSpinThread idle;
        tWaitLog waits;
        waits.ends = c.ends;
        const char *line =
            startup_waitControlFinished(c.running ? static_cast<QThread *>(&running.thread) : &idle, waits.waiter());
        EXPECT_STREQ(line, c.line);
        EXPECT_EQ(waits.bounds, c.bounds);
    }
    EXPECT_STREQ(startup_waitControlFinished(nullptr), "mContCoreAudioThread finish OK");
}

TEST(ShutdownWaits, AThreadIsDeletedOnlyOnceItsRunHasReturned) {
    // Still running after its polls: left alone, only the owner's pointer
    // is cleared.
    auto *spinning = new tSpinThread;
    spinning->start();
    tSpinThread *owner = spinning;
    tWaitLog log;
    log.ends = false;
    sDestroyed = 0;
    EXPECT_FALSE(startup_deleteWhenStopped(owner, 3, log.waiter()));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(sDestroyed.load(), 0);
    EXPECT_EQ(log.bounds, std::vector<int>{300});  // 3 times 100 ms
    EXPECT_TRUE(spinning->isRunning());

    // Once it stops within the polls it is deleted.
    spinning->keepRunning = false;
    owner = spinning;
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 50));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(sDestroyed.load(), 1);

    // Never started: deleted without a wait; and null.
    owner = new tSpinThread;
    tWaitLog none;
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 0, none.waiter()));
    EXPECT_TRUE(none.bounds.empty());
    EXPECT_EQ(sDestroyed.load(), 2);
    EXPECT_TRUE(startup_deleteWhenStopped(owner, 0));
}
