// The variable-speed worker: the speed table, what a selection sets in the
// bands and the filter bank, the thread's flags, and out filled in turn
// from a track's ring.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "engine/enginestate.h"
#include "engine/vsathread.h"
#include "enginetestutil.h"

namespace {

TEST(VsaSpeedTable, EachSpeedSelectsItsRowAndTheBandsFollow) {
    struct Case {
        float speed;
        int a, b, n;
        float bandSpeed;
    } cases[] = {
        {0.5f, 1024, 256, 3, 0.5f},    {0.6f, 1024, 256, 3, 0.6f},      {0.62f, 1024, 512, 3, 0.62f},
        {0.75f, 1024, 4096, 3, 0.75f}, {0.92f, 8192, 16384, 1, 0.92f},  {0.98f, 12288, 16384, 1, 0.98f},
        {1.0f, 12288, 16384, 1, 1.0f}, {1.03f, 12288, 16384, 1, 1.03f}, {1.04f, 1024, 4096, 3, 1.04f},
        {1.3f, 768, 2048, 3, 1.3f},    {1.5f, 512, 1024, 3, 1.5f},      {1.8f, 512, 128, 3, 1.8f},
        {2.5f, 512, 128, 3, 2.0f},     {998.0f, 512, 128, 3, 2.0f},
    };
    ClassVsaThread job;  // a selection sets everything again
    for (const Case &c : cases) {
        tVsaParam p;
        p.rate = 48000;
        p.speed = c.speed;
        job.selectVsaParameters(&p);
        EXPECT_EQ(p.a, c.a) << c.speed;
        EXPECT_EQ(p.b, c.b) << c.speed;
        EXPECT_EQ(p.n, c.n) << c.speed;
        EXPECT_EQ(job.filterBank().getBranches(), c.n);
        for (int band = 0; band <= c.n; ++band) {
            EXPECT_FLOAT_EQ(job.band(band).getSpeed(), c.bandSpeed) << c.speed << " band " << band;
            EXPECT_EQ(job.band(band).getSampleRate(), 48000);
        }
        // The bands as the filter bank lays them out: each split halves the
        // rate, the last band shares the rate of the one before it.
        if (c.n == 3) {
            EXPECT_EQ(job.decimation(0), 2);
            EXPECT_EQ(job.decimation(1), 4);
            EXPECT_EQ(job.decimation(2), 8);
            EXPECT_EQ(job.decimation(3), 8);
        } else {
            EXPECT_EQ(job.decimation(0), 2);
            EXPECT_EQ(job.decimation(1), 2);
        }
    }
}

TEST(VsaSpeedTable, ASpeedOf999OrMoreKeepsThePreviousHopsAndSplits) {
    ClassVsaThread job;
    for (float speed : {999.0f, 5000.0f, NAN}) {
        tVsaParam p;
        p.speed = 1.3f;
        job.selectVsaParameters(&p);
        p.speed = speed;
        job.selectVsaParameters(&p);
        EXPECT_EQ(p.a, 768) << speed;
        EXPECT_EQ(p.b, 2048);
        EXPECT_EQ(p.n, 3);
    }
    EXPECT_EQ(ClassVsaThread::speedRow(999.0f), nullptr);
}

TEST(VsaThread, FlagsAndStop) {
    vsaThread t;
    t.stop();
    EXPECT_TRUE(t.isEnded()) << "an idle thread ends at once";

    tVsaParam p;
    p.enabled = false;  // the job idles until it is stopped
    t.setParam(&p);
    t.addTransaction(new ClassVsaThread);
    ASSERT_TRUE(engtest::waitFor([&] { return t.isRunningFlag(); }));
    QThread::msleep(30);
    EXPECT_FALSE(t.isFinished()) << "a job runs until it is stopped";
    t.stop();
    ASSERT_TRUE(engtest::waitFor([&] { return t.isFinished(); }, 120000));
    EXPECT_TRUE(t.isEnded());
    EXPECT_TRUE(t.isRunningFlag()) << "the running flag stays set after the queue drained";
}

// A track ring of 64 blocks holding one continuous tone: any read position
// reads the same signal the producer would have published.
struct ToneRing {
    static constexpr int kBlockFrames = 1024;
    engtest::FreshEngine fresh;
    ToneRing() {
        for (int b = 0; b < kRingBlocks; ++b) {
            blocks[b].reset(new double[2 * kBlockFrames]);
            table[b] = blocks[b].get();
            for (int i = 0; i < kBlockFrames; ++i) {
                const double v =
                    0.5 * std::sin(2.0 * M_PI * 64.0 * (b * kBlockFrames + i) / (kRingBlocks * kBlockFrames));
                blocks[b][2 * i] = v;
                blocks[b][2 * i + 1] = -v;
            }
        }
        engine().trackPcmBlocks[0] = table;
        engine().trackBlockFrames[0] = kBlockFrames;
        // The producer keeps publishing, about a block per millisecond.
        producer = std::thread([this] {
            while (!stop) {
                engine().producedCount[0].fetch_add(kBlockFrames, std::memory_order_release);
                QThread::msleep(1);
            }
        });
    }
    ~ToneRing() {
        stop = true;
        producer.join();
    }
    std::atomic<bool> stop{false};
    std::thread producer;
    std::unique_ptr<double[]> blocks[kRingBlocks];
    double *table[kRingBlocks];
};

bool ready(const tVsaOutputSlots &out, int slot) { return __atomic_load_n(out.ready[slot], __ATOMIC_ACQUIRE); }

TEST(VsaThread, SlotsFillInTurnWithTheirSpeedAndAFreedSlotIsFilledAgain) {
    ToneRing ring;
    auto *job = new ClassVsaThread;
    const tVsaOutputSlots out = job->configVsaParamToAudioThread();
    ASSERT_NE(out.slot[0], nullptr);
    ASSERT_NE(out.slot[1], nullptr);

    tVsaParam p;
    p.rate = 44100;
    p.speed = 1.0f;
    p.enabled = true;
    vsaThread t;
    t.setParam(&p);
    t.addTransaction(job);
    ASSERT_TRUE(engtest::waitFor([&] { return ready(out, 0) && ready(out, 1); }, 120000));

    // Not silent, and no louder than the tone through unity-gain overlaps.
    double peak = 0.0, energy = 0.0;
    for (int i = 0; i < kVsaSlotFrames; ++i) {
        peak = std::max(peak, std::fabs(out.slot[1][2 * i]));
        energy += out.slot[1][2 * i] * out.slot[1][2 * i];
    }
    EXPECT_GT(energy / kVsaSlotFrames, 0.01);
    EXPECT_LT(peak, 1.0);
    EXPECT_EQ(*out.speed[0], 1.0f);

    // A new speed reaches the next slot.
    const float slower = 0.5f;
    __atomic_store(&p.speed, &slower, __ATOMIC_RELAXED);
    QThread::msleep(20);
    __atomic_store_n(out.ready[0], false, __ATOMIC_RELEASE);
    ASSERT_TRUE(engtest::waitFor([&] { return ready(out, 0); }, 120000));
    EXPECT_EQ(*out.speed[0], 0.5f);
    EXPECT_FALSE(t.isFinished());

    t.stop();
    ASSERT_TRUE(engtest::waitFor([&] { return t.isFinished(); }, 120000));
}

}  // namespace
