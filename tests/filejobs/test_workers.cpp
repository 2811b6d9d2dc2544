// The FLAC and split workers: job order, the parameters a job starts with,
// one message per job, stopping, and destruction with work in hand.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "audiofile/dsdifftestutil.h"
#include "audiofile/jobs/flac2wav.h"
#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/poly2monoste.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "jobtestutil.h"

namespace {

using jobtest::q;

// What a fake job saw. Shared with the test, which outlives the job.
struct Probe {
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<bool> applied{false};
    std::atomic<bool> deleted{false};
    std::atomic<bool> abortAtStart{false};
    QString first, second;
};

// Holds (when asked) until released or aborted; returns result, or -1 when
// the abort flag ended it.
int fakeApply(Probe &p, bool hold, int result, const std::atomic<bool> *abort) {
    p.abortAtStart = abort->load();
    p.applied = true;
    p.started = true;
    while (hold && !p.release) {
        if (abort->load()) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return result;
}

class FakeFlacJob : public flacTransaction {
public:
    FakeFlacJob(Probe &p, bool hold, int result = 0) : mP(p), mHold(hold), mResult(result) {}
    ~FakeFlacJob() override { mP.deleted = true; }
    int apply(const QString &a, const QString &b, const std::atomic<bool> *abort, int *, tID3tagInfo *,
              tFlacFileInfo *) override {
        mP.first = a;
        mP.second = b;
        return fakeApply(mP, mHold, mResult, abort);
    }

private:
    Probe &mP;
    bool mHold;
    int mResult;
};

class FakeSplitJob : public poly2monosteTransaction {
public:
    FakeSplitJob(Probe &p, bool hold) : mP(p), mHold(hold) {}
    ~FakeSplitJob() override { mP.deleted = true; }
    int apply(const QString &out, const QString &src, const QString &, const std::atomic<bool> *abort, int *,
              const tPoly2MonosteParam &) override {
        mP.first = out;
        mP.second = src;
        return fakeApply(mP, mHold, 0, abort);
    }

private:
    Probe &mP;
    bool mHold;
};

// Waits (bounded) until done() holds, letting queued signals through.
template <typename F>
bool waitFor(F done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        jobtest::app()->processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Message {
    int status;
    QString first, second;
    tFileOpenMode mode;
};

TEST(FlacWorker, JobsRunInOrderWithTheParametersCurrentWhenTheyStart) {
    jobtest::app();
    flac2wavThread worker;
    QMutex lock;
    std::vector<Message> messages;
    // Direct: the record is copied before the next job can rewrite it.
    QObject::connect(
        &worker, &flac2wavThread::flacConvCompleted, &worker,
        [&](tFlac2WavMessages *m) {
            QMutexLocker l(&lock);
            messages.push_back({m->status, m->flacPath, m->wavPath, m->mode});
        },
        Qt::DirectConnection);

    Probe p1, p2;
    int progress = 0;
    worker.setParameters("a.flac", "a.wav", kFileOpenAdd, &progress, nullptr);
    worker.addTransaction(new FakeFlacJob(p1, true, -1));
    ASSERT_TRUE(waitFor([&] { return p1.started.load(); }));
    // Queued while the first runs; it must start with what is set now.
    worker.setParameters("b.flac", "b.wav", kFileOpenReserve, &progress, nullptr);
    worker.addTransaction(new FakeFlacJob(p2, false, 0));
    EXPECT_FALSE(worker.isStopped());
    p1.release = true;
    ASSERT_TRUE(waitFor([&] { return p2.deleted.load() && worker.isStopped(); }));

    EXPECT_EQ(p1.first, "a.flac");
    EXPECT_EQ(p2.first, "b.flac");
    EXPECT_TRUE(p1.deleted);
    QMutexLocker l(&lock);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].status, -1);
    EXPECT_EQ(messages[0].first, "a.flac");
    EXPECT_EQ(messages[0].second, "a.wav");
    EXPECT_EQ(messages[0].mode, kFileOpenAdd);
    EXPECT_EQ(messages[1].status, 0);
    EXPECT_EQ(messages[1].first, "b.flac");
    EXPECT_EQ(messages[1].second, "b.wav");
    EXPECT_EQ(messages[1].mode, kFileOpenReserve);
}

TEST(FlacWorker, StopAbortsTheRunningJobAndTheWorkerReportsItselfStopped) {
    jobtest::app();
    flac2wavThread worker;
    worker.stop();
    EXPECT_TRUE(worker.isStopped());  // never ran

    Probe held;
    worker.setParameters("x.flac", "x.wav", kFileOpenReplace, nullptr, nullptr);
    worker.addTransaction(new FakeFlacJob(held, true));
    EXPECT_FALSE(worker.isStopped());
    EXPECT_FALSE(held.abortAtStart);  // addTransaction cleared the earlier stop's abort
    ASSERT_TRUE(waitFor([&] { return held.started.load(); }));
    worker.stop();
    // The owner's bounded poll: the job gives up at its next step.
    ASSERT_TRUE(waitFor([&] { return worker.isStopped(); }, 2900));
    EXPECT_TRUE(held.deleted);

    // After a job has run, a stop is reported at once.
    worker.stop();
    EXPECT_TRUE(worker.isStopped());
}

// The real import through the worker, the message crossing to the owner's
// thread as a queued signal.
TEST(FlacWorker, ImportThroughTheWorkerReportsToTheOwnersThread) {
    jobtest::app();
    sxtest::TempDir dir;
    jobtest::writeWav(dir.file("in.wav"), 1, 16, 44100, jobtest::packInts(jobtest::intSamples(500, 16, 9), 16));
    ASSERT_TRUE(jobtest::run("flac -s -f -o '" + dir.file("in.flac") + "' '" + dir.file("in.wav") + "' 2>/dev/null"));

    flac2wavThread worker;
    QObject owner;
    int received = 0;
    Message got{};
    bool onOwnersThread = false;
    QObject::connect(&worker, &flac2wavThread::flacConvCompleted, &owner, [&](tFlac2WavMessages *m) {
        ++received;
        got = {m->status, m->flacPath, m->wavPath, m->mode};
        onOwnersThread = QThread::currentThread() == owner.thread();
    });
    int progress = 0;
    worker.stop();
    ASSERT_TRUE(worker.isStopped());
    worker.setParameters(q(dir.file("in.flac")), q(dir.file("out.wav")), kFileOpenAdd, &progress, nullptr);
    worker.addTransaction(new ClassFlac2Wav);
    ASSERT_TRUE(waitFor([&] { return received == 1; }));
    EXPECT_TRUE(onOwnersThread);
    EXPECT_EQ(got.status, kFlacJobOK);
    EXPECT_EQ(got.first, q(dir.file("in.flac")));
    EXPECT_EQ(got.second, q(dir.file("out.wav")));
    EXPECT_EQ(got.mode, kFileOpenAdd);
    EXPECT_EQ(progress, 100);
    tFlacFileInfo info{};
    worker.getFlacFileInfo(&info);
    EXPECT_EQ(info.totalSamples, 500u);
    EXPECT_EQ(info.sampleRate, 44100u);
    EXPECT_EQ(info.channels, 1u);
    EXPECT_EQ(info.bitsPerSample, 16u);
}

// Deleting a busy worker stops its job, waits for it and drops the rest.
TEST(FlacWorker, DestructionStopsTheRunningJobAndDropsTheQueue) {
    jobtest::app();
    Probe running, queued;
    {
        flac2wavThread worker;
        worker.addTransaction(new FakeFlacJob(running, true));
        worker.addTransaction(new FakeFlacJob(queued, false));
        ASSERT_TRUE(waitFor([&] { return running.started.load(); }));
    }
    EXPECT_TRUE(running.deleted);
    EXPECT_TRUE(queued.deleted);
    EXPECT_FALSE(queued.applied);
}

TEST(SplitWorker, SplitThroughTheWorkerReportsResultAndRequest) {
    jobtest::app();
    sxtest::TempDir dir;
    std::vector<jobtest::Bytes> ch;
    for (int i = 0; i < 3; ++i) ch.push_back(dfftest::pattern(300, static_cast<uint8_t>(i * 50)));
    jobtest::Bytes inter;
    for (size_t k = 0; k < 300; ++k)
        for (int i = 0; i < 3; ++i) inter.push_back(ch[i][k]);
    dfftest::writeDff(dir.file("three.dff"), dfftest::param(3), inter);

    poly2monosteThread worker;
    worker.stop();
    EXPECT_TRUE(worker.isEnded());
    QObject owner;
    int received = 0;
    tPoly2MonosteMessages got;
    QObject::connect(&worker, &poly2monosteThread::poly2monosteConverted, &owner, [&](tPoly2MonosteMessages *m) {
        ++received;
        got = *m;
    });
    tPoly2MonosteParam param;
    param.channel = 2;
    param.fileType = kAudioFileDSDIFF;
    int progress = 0;
    worker.setParams(q(dir.file("mono.dff")), q(dir.file("three.dff")), QString(), &progress, &param);
    worker.addTransaction(new ClassPoly2Monoste);
    EXPECT_FALSE(worker.isEnded());
    ASSERT_TRUE(waitFor([&] { return received == 1; }));
    EXPECT_EQ(got.result, kPoly2MonosteOK);
    EXPECT_EQ(got.param.channel, 2);
    EXPECT_EQ(got.param.fileType, kAudioFileDSDIFF);
    EXPECT_EQ(progress, 100);
    EXPECT_TRUE(waitFor([&] { return worker.isEnded(); }));
    EXPECT_TRUE(jobtest::exists(dir.file("mono.dff")));
}

TEST(SplitWorker, StopAndDestructionWithAJobInHand) {
    jobtest::app();
    Probe held;
    poly2monosteThread worker;
    worker.setParams("out", "src", QString(), nullptr, nullptr);
    worker.addTransaction(new FakeSplitJob(held, true));
    ASSERT_TRUE(waitFor([&] { return held.started.load(); }));
    EXPECT_EQ(held.first, "out");
    worker.stop();
    ASSERT_TRUE(waitFor([&] { return worker.isEnded(); }, 2900));
    EXPECT_TRUE(held.deleted);

    Probe running, queued;
    {
        poly2monosteThread busy;
        busy.addTransaction(new FakeSplitJob(running, true));
        busy.addTransaction(new FakeSplitJob(queued, false));
        ASSERT_TRUE(waitFor([&] { return running.started.load(); }));
    }
    EXPECT_TRUE(running.deleted);
    EXPECT_TRUE(queued.deleted);
    EXPECT_FALSE(queued.applied);
}

}  // namespace
