// Playback end to end: an audio thread converts a file through the built
// library, the virtual device's buffers go through the buffer switch and
// the Core Audio writers, and the device's capture is what a DAC would get.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "engine/playbackproducer.h"
#include "feedjob.h"
#include "rtbridge.h"
#include "support/bytefields.h"
#include "support/testutil.h"
#include "support/wavwriter.h"

namespace {

constexpr uint32_t kRate = 44100;

using sxtest::Wav24;

// An audio thread for track 0 that plays `job`; the device is held until the
// first block has arrived.
class Player {
public:
    explicit Player(engtest::FeedJob &job) {
        setAudioIoThreadId(mThread.getThreadIndex(), 0);
        QObject::connect(&mThread, &audioThread::allTransactionsDone_, [this](int r) { mResult = r; });
        mThread.setAudioThreadParam(kMorphexCmdPlay, &job.record, &job.info, nullptr, job.items, 0, nullptr, 0);
        mThread.addTransaction(new ClassMorphex(2));
    }
    ~Player() {
        mThread.stop();
        // A job still waiting for ring space on a held device is let go.
        if (mThread.isRunning()) sEngineStatus.store(kEngineStopped);
        EXPECT_TRUE(engtest::waitFor([&] { return mThread.isFinished() || !mThread.isRunning(); }, 120000));
    }
    bool started() {
        return engtest::waitFor([] { return sEngineStatus.load() == kEnginePlaying; }, 120000);
    }
    bool finished() {
        return engtest::waitFor([&] { return mResult.load() != 1 && !mThread.isRunning(); }, 120000);
    }
    audioThread &thread() { return mThread; }
    int result() const { return mResult.load(); }

private:
    audioThread mThread;
    std::atomic<int> mResult{1};
};

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override { rtbridge::setUpEngine(kRate); }
    sxtest::TempDir dir;
};

// The samples reach a float device unchanged once the fade-in has reached
// unity; an integer device gets them rounded from x 2147483647.
TEST_F(PlaybackTest, A24BitFileAtItsOwnRateReachesTheDeviceUnchangedAfterTheFadeIn) {
    constexpr uint32_t kFrames = 30000;
    const Wav24 wav(kFrames);
    const std::string src = dir.file("tone24.wav");
    ASSERT_TRUE(sxtest::writeAll(src, wav.bytes));

    for (rtbridge::tKind kind : {rtbridge::kPcmFloat, rtbridge::kPcmInt}) {
        SCOPED_TRACE(kind == rtbridge::kPcmFloat ? "float containers" : "integer containers");
        rtbridge::setUpEngine(kRate);
        rtbridge::Bridge bridge;
        ASSERT_NO_FATAL_FAILURE(bridge.open(kind, kRate, 512));
        engtest::FeedJob job(src, kRate, 24, kFrames, 0);
        Player player(job);
        ASSERT_TRUE(player.started());
        bridge.setFeedPacing(true);
        bridge.setHoldWhenStopped(true);
        bridge.allow(UINT64_MAX);
        // The end of the material stops the engine and holds the device.
        ASSERT_TRUE(bridge.waitHeld());
        ASSERT_TRUE(player.finished());
        EXPECT_EQ(player.result(), 0);
        EXPECT_EQ(sEngineStatus.load(), kEngineStopped);

        const tVirtualCapture cap = bridge.take();
        const size_t frames = cap.mData.size() / 8;
        ASSERT_GE(frames, size_t(kFrames) - 64) << "the material was not played through";
        auto expected = [&](size_t i) {
            const double s = wav.samples[i] / 8388608.0;
            return kind == rtbridge::kPcmFloat ? double(float(s)) : double(std::lrint(s * 2147483647.0));
        };
        const std::vector<float> f = rtbridge::Bridge::floats(cap);
        const std::vector<int32_t> w = rtbridge::Bridge::words(cap);
        auto value = [&](size_t i) { return kind == rtbridge::kPcmFloat ? double(f[i]) : double(w[i]); };
        // The first sample from which every sample is exact.
        const size_t end = std::min<size_t>(frames, kFrames) * 2;
        size_t unity = end;
        while (unity > 0 && value(unity - 1) == expected(unity - 1)) --unity;
        EXPECT_GT(unity / 2, 200u) << "no fade-in";
        EXPECT_LE(unity / 2, 4096u) << "the fade-in did not reach unity within 4096 frames";
        // Beyond the material the device hears silence.
        for (size_t i = end; i < frames * 2; ++i) ASSERT_EQ(value(i), 0.0) << i;
    }
}

// A stop fades the output to exactly 0, both channels acknowledge it, and
// the engine stops a few buffers later, far inside its 3000 ms.
TEST_F(PlaybackTest, AStopFadesOutToZeroAndStopsWithoutTheTimeOut) {
    constexpr uint32_t kFrames = 88200;
    const Wav24 wav(kFrames);
    const std::string src = dir.file("stop.wav");
    ASSERT_TRUE(sxtest::writeAll(src, wav.bytes));
    rtbridge::Bridge bridge;
    ASSERT_NO_FATAL_FAILURE(bridge.open(rtbridge::kPcmFloat, kRate, 512));
    engtest::FeedJob job(src, kRate, 24, kFrames, 0);
    Player player(job);
    ASSERT_TRUE(player.started());
    bridge.setFeedPacing(true);
    bridge.setHoldWhenStopped(true);
    ASSERT_NO_FATAL_FAILURE(bridge.run(40));
    (void)bridge.take();

    player.thread().stop();
    bridge.allow(UINT64_MAX);
    ASSERT_TRUE(bridge.waitHeld());
    EXPECT_FALSE(sStopRequest.load());
    const uint64_t buffers = bridge.cycles() - 40;
    EXPECT_LT(buffers * 512 * 1000 / kRate, 3000u);
    EXPECT_LE(buffers, 8u) << "a 10 ms fade takes a few buffers";
    EXPECT_FALSE(gAudioThread_getPlayTimeoutFlag());
    EXPECT_EQ(CFadeVolLpf.getCoefY_1_ch(0), 0.0);
    EXPECT_EQ(CFadeVolLpf.getCoefY_1_ch(1), 0.0);
    EXPECT_EQ(sFadeAck[0].load() & kFadeOutBit, uint32_t(kFadeOutBit));
    EXPECT_EQ(sFadeAck[1].load() & kFadeOutBit, uint32_t(kFadeOutBit));
    EXPECT_TRUE(player.finished());

    // A fade, not a cut: the first buffer after the request still sounds,
    // its level falls, and the last buffers are silence.
    const std::vector<float> out = rtbridge::Bridge::floats(bridge.take());
    ASSERT_EQ(out.size(), buffers * 512 * 2);
    double first = 0.0, last = 0.0;
    for (size_t i = 0; i < 2 * 64; ++i) first = std::max(first, double(std::fabs(out[i])));
    for (size_t i = 2 * 448; i < 2 * 512; ++i) last = std::max(last, double(std::fabs(out[i])));
    EXPECT_GT(first, 0.05);
    EXPECT_LT(last, first);
    for (size_t i = out.size() - 2 * 512; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
}

// With nothing routed to the outputs no writer runs, so the fade is never
// acknowledged: the time-out (11 ms per 512 frames at 44.1 kHz) forces the
// stop on the 273rd buffer and raises the flag.
TEST_F(PlaybackTest, AStopThatIsNeverAcknowledgedTimesOutOnThe273rdBuffer) {
    constexpr uint32_t kFrames = 176400;
    const Wav24 wav(kFrames);
    const std::string src = dir.file("timeout.wav");
    ASSERT_TRUE(sxtest::writeAll(src, wav.bytes));
    for (int &column : gOutputPatch) column = -1;
    rtbridge::Bridge bridge;
    ASSERT_NO_FATAL_FAILURE(bridge.open(rtbridge::kPcmFloat, kRate, 512));
    engtest::FeedJob job(src, kRate, 24, kFrames, 0);
    Player player(job);
    ASSERT_TRUE(player.started());
    bridge.setFeedPacing(true);
    bridge.setHoldWhenStopped(true);
    ASSERT_NO_FATAL_FAILURE(bridge.run(40));

    player.thread().stop();
    bridge.allow(UINT64_MAX);
    ASSERT_TRUE(bridge.waitHeld());
    EXPECT_FALSE(sStopRequest.load());
    EXPECT_EQ(bridge.cycles() - 40, 273u);
    EXPECT_TRUE(gAudioThread_getPlayTimeoutFlag());
    gAudioThread_clearPlayTimeoutFlag();
    EXPECT_FALSE(gAudioThread_getPlayTimeoutFlag());
    EXPECT_TRUE(player.finished());
    const std::vector<float> out = rtbridge::Bridge::floats(bridge.take());
    for (float v : out) ASSERT_EQ(v, 0.0f);
    gOutputPatch[0] = kOutputPatchMaster;
}

// The output of a stopped engine in every format: zeros for PCM, idle DoP
// words with the markers alternating frame by frame, and native idle bytes
// once the device's start-up mute is over (zeros before).
TEST_F(PlaybackTest, AStoppedEngineSendsEachFormatsIdleValues) {
    struct Row {
        rtbridge::tKind kind;
        uint32_t rate;
        uint32_t frames;
    } rows[] = {
        {rtbridge::kPcmFloat, 48000, 256},
        {rtbridge::kPcmInt, 48000, 256},
        {rtbridge::kDop, 2822400, 192},
        {rtbridge::kNative, 11289600, 192},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(int(row.kind));
        rtbridge::setUpEngine(int(row.rate));
        rtbridge::Bridge bridge;
        ASSERT_NO_FATAL_FAILURE(bridge.open(row.kind, row.rate, row.frames));
        // The native stream mutes its first two buffers.
        bridge.setStartUpMuteBits(2 * int64_t(row.frames) * 16);
        ASSERT_NO_FATAL_FAILURE(bridge.run(4));
        const tVirtualCapture cap = bridge.take();
        const std::vector<float> f = rtbridge::Bridge::floats(cap);
        const std::vector<int32_t> w = rtbridge::Bridge::words(cap);
        ASSERT_EQ(f.size(), 4u * row.frames * 2);
        for (size_t i = 0; i < f.size(); ++i) {
            const size_t frame = i / 2, cycle = frame / row.frames;
            switch (row.kind) {
            case rtbridge::kPcmFloat: ASSERT_EQ(f[i], 0.0f) << i; break;
            case rtbridge::kPcmInt: ASSERT_EQ(w[i], 0) << i; break;
            case rtbridge::kDop:
                // 05 96 96 and FA 96 96 in the top bytes.
                ASSERT_EQ(f[i], frame % 2 ? -0.04227948188781738f : 0.04365801811218262f) << i;
                break;
            case rtbridge::kNative: ASSERT_EQ(f[i], cycle < 2 ? 0.0f : -0.82354736328125f) << i; break;
            }
        }
    }
}

// DSD over PCM end to end: a PCM file converted to 2.8224 MHz by the
// library, re-modulated by the engine and packed into DoP words. Every word
// carries a marker that alternates with the one before, across chunks and
// buffers, and the DSD bits, summed over 64 bits, follow the file.
TEST_F(PlaybackTest, DopCarriesTheProgrammeWithMarkersAlternatingAcrossBuffers) {
    constexpr uint32_t kFrames = 17640;  // 0.4 s
    const Wav24 wav(kFrames);
    const std::string src = dir.file("dop.wav");
    ASSERT_TRUE(sxtest::writeAll(src, wav.bytes));
    rtbridge::setUpEngine(2822400);
    rtbridge::Bridge bridge;
    ASSERT_NO_FATAL_FAILURE(bridge.open(rtbridge::kDop, 2822400, 1920));
    engtest::FeedJob job(src, kRate, 24, kFrames, 16);
    Player player(job);
    ASSERT_TRUE(player.started());
    bridge.setFeedPacing(true);
    bridge.setHoldWhenStopped(true);
    bridge.allow(UINT64_MAX);
    ASSERT_TRUE(bridge.waitHeld());
    ASSERT_TRUE(player.finished());

    const std::vector<float> f = rtbridge::Bridge::floats(bridge.take());
    const size_t frames = f.size() / 2;
    ASSERT_GE(frames * 16, size_t(kFrames) * 64 - 1920 * 16);
    std::vector<uint32_t> words(f.size());
    for (size_t i = 0; i < f.size(); ++i) words[i] = uint32_t(int32_t(std::lrint(double(f[i]) * 2147483648.0)));
    // The last buffer ends the material with idle words; the markers start
    // afresh there.
    size_t wrong = 0;
    for (size_t k = 0; k + 1 < frames - 1920; ++k)
        for (int c = 0; c < 2; ++c) {
            const uint32_t a = words[2 * k + c], b = words[2 * (k + 1) + c];
            wrong += (a >> 24) != 0x05 && (a >> 24) != 0xFA;
            wrong += (b >> 24) != (~a >> 24 & 0xFF);
            wrong += (a & 0xFF) != 0;
        }
    EXPECT_EQ(wrong, 0u);

    // Left channel: +1 per set bit, -1 per clear one, 64 bits to a sample.
    std::vector<double> decoded(frames / 4);
    for (size_t n = 0; n < decoded.size(); ++n) {
        int sum = 0;
        for (size_t k = 4 * n; k < 4 * n + 4; ++k)
            for (int j = 0; j < 16; ++j) sum += (words[2 * k] >> (23 - j)) & 1 ? 1 : -1;
        decoded[n] = sum / 64.0;
    }
    // Both through the same 16-sample average (the modulator's noise lies
    // far above the tone), then the best match over a range of delays, past
    // the fade-in.
    auto smooth = [](const std::vector<double> &v) {
        std::vector<double> out(v.size() > 16 ? v.size() - 16 : 0);
        for (size_t n = 0; n < out.size(); ++n) {
            double sum = 0;
            for (size_t k = n; k < n + 16; ++k) sum += v[k];
            out[n] = sum / 16;
        }
        return out;
    };
    std::vector<double> source(kFrames);
    for (size_t n = 0; n < kFrames; ++n) source[n] = wav.samples[2 * n] / 8388608.0;
    const std::vector<double> x = smooth(decoded), y = smooth(source);
    double best = 0.0;
    const size_t from = 4410, len = 8192;
    ASSERT_GT(x.size(), from + len + 512);
    for (int lag = 0; lag < 512; ++lag) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t n = from; n < from + len; ++n) {
            const double a = x[n + size_t(lag)], b = y[n];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        best = std::max(best, xy / std::sqrt(xx * yy));
    }
    EXPECT_GT(best, 0.99);
}

}  // namespace
