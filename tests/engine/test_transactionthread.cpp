// The work-thread pattern: jobs run in the order they were queued, each
// sees the parameters of its queueing, the completion is reported once per
// drained queue, and a job queued while the thread is leaving still runs.
#include <gtest/gtest.h>

#include <QMutex>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/transactionthread.h"
#include "enginetestutil.h"

namespace {

struct TestJob {
    virtual ~TestJob() { ++*deleted; }
    int param = 0;  // the thread's parameter when queued
    int result = 0;
    int sleepMs = 0;
    std::atomic<int> *deleted = nullptr;
};

class TestThread : public tTransactionThread<TestJob> {
public:
    ~TestThread() override { finishTransactions(); }

    void add(TestJob *job) { queueTransaction(job); }
    void setParam(int p) {
        QMutexLocker lock(&mMutex);
        mParam = p;
    }

    std::mutex log;
    std::vector<int> ran;      // param of each job, in run order
    std::vector<int> done;     // results reported by transactionsDone
    std::atomic<int> runs{0};  // run() calls
    std::atomic<int> drained{0};
    std::atomic<int> leaveDelayMs{0};

protected:
    void snapshotParameters(TestJob *job) override { job->param = mParam; }
    int runTransaction(TestJob *job) override {
        if (job->sleepMs) std::this_thread::sleep_for(std::chrono::milliseconds(job->sleepMs));
        std::lock_guard<std::mutex> g(log);
        ran.push_back(job->param);
        return job->result;
    }
    void runStarting() override { ++runs; }
    void transactionsDone(int result) override {
        std::lock_guard<std::mutex> g(log);
        done.push_back(result);
    }
    void queueDrained() override {
        ++drained;
        // Holds the thread between its decision to leave and its return.
        if (int ms = leaveDelayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }

private:
    int mParam = 0;
};

TEST(TransactionThread, JobsRunInOrderWithTheirSnapshotAndOneCompletion) {
    std::atomic<int> deleted{0};
    TestThread t;
    for (int i = 1; i <= 3; ++i) {
        auto *job = new TestJob;
        job->deleted = &deleted;
        job->result = -i;
        job->sleepMs = i == 1 ? 30 : 0;  // the later jobs queue up behind the first
        t.setParam(10 * i);
        t.add(job);
    }
    t.setParam(99);  // after queueing: no job sees it
    ASSERT_TRUE(engtest::waitFor([&] { return t.drained.load() >= 1 && t.isFinished(); }));
    std::lock_guard<std::mutex> g(t.log);
    EXPECT_EQ(t.ran, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(t.done, (std::vector<int>{-3})) << "one completion, with the last job's result";
    EXPECT_EQ(deleted.load(), 3);
}

TEST(TransactionThread, EachDrainedBatchRestartsTheThread) {
    std::atomic<int> deleted{0};
    TestThread t;
    for (int batch = 0; batch < 2; ++batch) {
        auto *job = new TestJob;
        job->deleted = &deleted;
        job->result = batch;
        t.add(job);
        ASSERT_TRUE(engtest::waitFor([&] { return t.drained.load() == batch + 1 && t.isFinished(); }));
    }
    EXPECT_EQ(t.runs.load(), 2);
    std::lock_guard<std::mutex> g(t.log);
    EXPECT_EQ(t.done, (std::vector<int>{0, 1}));
}

TEST(TransactionThread, AJobQueuedWhileTheThreadLeavesStillRuns) {
    std::atomic<int> deleted{0};
    TestThread t;
    t.leaveDelayMs = 150;
    auto *first = new TestJob;
    first->deleted = &deleted;
    t.setParam(1);
    t.add(first);
    // The thread has found its queue empty and is on its way out.
    ASSERT_TRUE(engtest::waitFor([&] { return t.drained.load() == 1; }));
    ASSERT_TRUE(t.isRunning());
    auto *second = new TestJob;
    second->deleted = &deleted;
    t.setParam(2);
    t.add(second);
    t.leaveDelayMs = 0;
    ASSERT_TRUE(engtest::waitFor(
        [&] {
            std::lock_guard<std::mutex> g(t.log);
            return t.ran.size() == 2;
        },
        3000))
        << "the second job was stranded in the queue";
    std::lock_guard<std::mutex> g(t.log);
    EXPECT_EQ(t.ran, (std::vector<int>{1, 2}));
}

TEST(TransactionThread, ManyProducersLoseNoJob) {
    std::atomic<int> deleted{0};
    TestThread t;
    constexpr int kJobs = 400;
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p)
        producers.emplace_back([&] {
            for (int i = 0; i < kJobs / 4; ++i) {
                auto *job = new TestJob;
                job->deleted = &deleted;
                t.add(job);
                if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    for (auto &p : producers) p.join();
    ASSERT_TRUE(engtest::waitFor([&] { return deleted.load() == kJobs; }));
    std::lock_guard<std::mutex> g(t.log);
    EXPECT_EQ(t.ran.size(), size_t(kJobs));
}

TEST(TransactionThread, DestructionDeletesJobsStillQueued) {
    std::atomic<int> deleted{0};
    {
        TestThread t;
        for (int i = 0; i < 3; ++i) {
            auto *job = new TestJob;
            job->deleted = &deleted;
            job->sleepMs = 20;
            t.add(job);
        }
    }
    EXPECT_EQ(deleted.load(), 3);
}

TEST(WorkThreadFlags, StopEndsAnIdleThreadAtOnceAndARunningOneByItsJob) {
    tWorkThreadFlags idle;
    idle.stop();
    EXPECT_TRUE(idle.stopRequest && idle.abort && idle.ended);

    tWorkThreadFlags busy;
    busy.abort = true;
    busy.runStarting();
    EXPECT_FALSE(busy.abort) << "a new run forgets an earlier abort";
    EXPECT_TRUE(busy.running);
    busy.stop();
    EXPECT_TRUE(busy.abort && busy.stopRequest);
    EXPECT_FALSE(busy.ended) << "a running thread ends when its job has seen the abort";
}

}  // namespace
