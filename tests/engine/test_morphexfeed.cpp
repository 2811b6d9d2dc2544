// A playback feed through the real conversion library: an audio thread runs
// a ClassMorphex job, and a consumer thread that reads the ring the way the
// real-time path does (counts with acquire, blocks in place, the consumed
// count advanced after reading) gets every frame in order, exactly as the
// library hands them to a plain caller, while the producer never runs more
// than a ring ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/playbackproducer.h"
#include "enginetestutil.h"
#include "support/bytefields.h"
#include "support/testutil.h"
#include "support/wavwriter.h"

namespace {

constexpr uint32_t kSrcRate = 44100;
constexpr uint32_t kRateIndex48k = 1;
constexpr uint32_t kSrcFrames = 132300;  // 3 s: about 112 ring blocks at 48 kHz

std::vector<uint8_t> stereoWav16(uint32_t rate, uint32_t frames) {
    std::vector<uint8_t> data;
    for (uint32_t f = 0; f < frames; ++f) {
        const double l = 0.5 * std::sin(2.0 * M_PI * 997.0 * f / rate);
        const double r = 0.25 * std::sin(2.0 * M_PI * 3001.0 * f / rate) + 1e-4 * double(f % 97);
        for (double v : {l, r}) sxtest::appendLE16(data, uint16_t(int16_t(std::lrint(v * 32767.0))));
    }
    return sxtest::wavFile(rate, 16, 2, data);
}

// The same conversion handed straight to the library: every block as the
// library reports it.
std::vector<double> gReference;
int gReferenceBlocks = 0;
int onReferenceBlock(uint64_t, int frames, int, int slot, int, void *pcm, unsigned char **, int, int, int,
                     unsigned int *) {
    const double *b = static_cast<double **>(pcm)[slot];
    gReference.insert(gReference.end(), b, b + 2 * frames);
    ++gReferenceBlocks;
    return 0;
}
int onReferenceStatus(int) { return 1; }
int onReferenceError(int) { return 0; }
int onReferenceWorking(long long *) { return 0; }

TEST(MorphexFeed, AConsumerDrainsARealJobBlockByBlockInOrder) {
    engtest::useBuiltLibrary();
    engtest::FreshEngine fresh;
    sxtest::TempDir dir;
    const std::string src = dir.file("source.wav");
    ASSERT_TRUE(sxtest::writeAll(src, stereoWav16(kSrcRate, kSrcFrames)));

    // Reference run.
    {
        const tMorphexertFunc morphexert = morphexBinding(QString::fromStdString(engtest::libraryFile())).morphexert;
        ASSERT_NE(morphexert, nullptr);
        engtest::StereoFeedJob job(src, kSrcRate, 16, kSrcFrames, kRateIndex48k);
        job.record.dstPath = QString::fromStdString(dir.file("never.wav")).toStdU16String();
        job.record.com.ringBlocks = kRingBlocks;
        int progress = 0;
        tMorphexSendParams send;
        send.progress = &progress;
        send.rateIndex = kRateIndex48k;
        send.bits = 32;
        send.outChannels = 2;
        send.command = kMorphexCmdPlay;
        const wchar16 *const sources[1] = {reinterpret_cast<const wchar16 *>(job.record.srcPath.c_str())};
        ASSERT_EQ(morphexert(reinterpret_cast<const wchar16 *>(job.record.dstPath.c_str()), sources, nullptr, &send,
                             job.record.panVol, &job.record.fileCount, &job.record.com, onReferenceBlock,
                             onReferenceStatus, job.items, onReferenceError, onReferenceWorking),
                  0);
    }
    const int64_t total = int64_t(gReference.size() / 2);
    ASSERT_GT(gReferenceBlocks, kRingBlocks + 10) << "the job must wrap the ring";

    // The engine's run.
    audioThread t;
    std::atomic<int> doneResult{1};
    QObject::connect(&t, &audioThread::allTransactionsDone_, [&](int r) { doneResult = r; });
    engtest::StereoFeedJob job(src, kSrcRate, 16, kSrcFrames, kRateIndex48k);
    job.record.dstPath = QString::fromStdString(dir.file("never.wav")).toStdU16String();
    t.setAudioThreadParam(kMorphexCmdPlay, &job.record, &job.info, nullptr, job.items, 0, nullptr, 0);
    t.addTransaction(new ClassMorphex(2));

    std::vector<double> got;
    got.reserve(gReference.size());
    int64_t maxLead = 0, blockFrames = 0;
    bool sawHeld = false, badGeometry = false;
    std::thread consumer([&] {
        if (!engtest::waitFor([] { return engine().engineStatus.load(std::memory_order_acquire) == kEnginePlaying; },
                              120000))
            return;
        // Let the producer fill the ring and be held before reading starts.
        sawHeld = engtest::waitFor([] { return engine().convertPath[0].load() == kConvPathWaitPlay; }, 120000);
        int step = 0;
        for (;;) {
            const int64_t produced = engine().producedCount[0].load(std::memory_order_acquire);
            double **blocks = engine().trackPcmBlocks[0].load(std::memory_order_relaxed);
            const int32_t frames = engine().trackBlockFrames[0].load(std::memory_order_relaxed);
            const int64_t consumed = engine().consumedCount[0].load(std::memory_order_relaxed);
            maxLead = std::max(maxLead, produced - consumed);
            blockFrames = frames;
            if (frames < 2 || engine().ringBlockFrames.load() != frames) badGeometry = true;
            if (produced > consumed && frames > 1) {
                // Uneven reads, as device buffers of varying size would take.
                const int64_t n = std::min<int64_t>(produced - consumed, 257 + 311 * (step++ % 5));
                for (int64_t i = 0; i < n; ++i) {
                    const int64_t pos = consumed + i;
                    const double *b = blocks[(pos / frames) % kRingBlocks];
                    got.push_back(b[2 * (pos % frames)]);
                    got.push_back(b[2 * (pos % frames) + 1]);
                }
                engine().consumedCount[0].fetch_add(n, std::memory_order_relaxed);
            } else if (engine().jobEnded[0].load() && produced == consumed) {
                // End of the material: what the real-time path does.
                engine().engineStatus.store(kEngineStopped);
                return;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    });
    consumer.join();
    ASSERT_TRUE(engtest::waitFor([&] { return doneResult.load() != 1 && t.isFinished(); }, 120000));

    EXPECT_EQ(doneResult.load(), 0);
    EXPECT_TRUE(sawHeld) << "the producer was never held by a full ring";
    EXPECT_FALSE(badGeometry);
    EXPECT_LE(maxLead, kRingBlocks * blockFrames) << "the producer overran its consumer";
    ASSERT_EQ(int64_t(got.size() / 2), total);
    EXPECT_TRUE(got == gReference) << "the consumer read other samples than the library produced";
    EXPECT_EQ(engine().testCount[0].load(), gReferenceBlocks);
    // The job's end put the ring back to idle.
    EXPECT_EQ(engine().producedCount[0].load(), 0);
    EXPECT_EQ(engine().consumedCount[0].load(), 0);
    EXPECT_EQ(engine().trackPcmBlocks[0].load(), engine().dummyPlayTable);
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.wav")));
}

}  // namespace
