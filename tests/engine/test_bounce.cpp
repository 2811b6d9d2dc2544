// The mix-down job: what it writes from the tracks' rings, how long the file
// is, its result codes, its cancel (sizes of what was written) and its waits
// (a cancel or a failed feed before the first block gives a failure, never a
// file that is not there).
//
// The tracks' feeds are simulated the way the producer publishes blocks; the
// mixing step is a stand-in that honours the engine step's contract (a
// track short of frames holds the mix until its job has ended; positions
// and bounced counts advance by the frames mixed).
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "audiofile/pcmpack.h"
#include "audiofile/wavfile.h"
#include "engine/bouncethread.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"
#include "testutil.h"

namespace {

constexpr int kBlock = 1000;  // ring block frames of the simulated feeds

// Every track's whole feed published at once (short material: it fits the
// ring without wrapping). Track t's left sample i is (t + 1) * 0.01 *
// (i % 50 + 1), its right sample the negative of that.
struct Feeds {
    engtest::FreshEngine fresh;
    Feeds(int tracks, int64_t frames) : tracks(tracks) {
        clearBounceParam();
        engine().ringBlockFrames = kBlock;
        for (int t = 0; t < tracks; ++t) {
            for (int b = 0; b < kRingBlocks; ++b) {
                blocks[t][b].reset(new double[2 * kBlock]());
                table[t][b] = blocks[t][b].get();
            }
            for (int64_t i = 0; i < frames; ++i) {
                double *f = table[t][(i / kBlock) % kRingBlocks] + 2 * (i % kBlock);
                f[0] = sample(t, i);
                f[1] = -sample(t, i);
            }
            engine().trackPcmBlocks[t] = table[t];
            engine().trackBlockFrames[t] = kBlock;
            engine().firstConverted[t] = 1;
            engine().producedCount[t].store(frames, std::memory_order_release);
            engine().jobEnded[t] = true;
        }
    }
    ~Feeds() { clearBounceParam(); }
    static double sample(int t, int64_t i) { return (t + 1) * 0.01 * static_cast<double>(i % 50 + 1); }
    int tracks;
    std::unique_ptr<double[]> blocks[2][kRingBlocks];
    double *table[2][kRingBlocks];
};

// The stand-in mixing step: the sum of the tracks, with silence beyond a
// track's end, and a hook that runs before every call.
int gMixTracks = 2;
int gMixCalls = 0;
std::function<int(int call, uint64_t *positions)> gMixHook;

int standInMix(int block, uint64_t *positions, double **masters, int frames, int offset) {
    ++gMixCalls;
    if (gMixHook) {
        if (int r = gMixHook(gMixCalls, positions); r != 0) return r;
    }
    for (int t = 0; t < gMixTracks; ++t) {
        if (engine().producedCount[t] - engine().bouncedCount[t] < frames) {
            if (!engine().jobEnded[t]) return kBounceNotReady;
            break;
        }
    }
    for (int i = 0; i < frames; ++i) {
        double l = 0.0, r = 0.0;
        for (int t = 0; t < gMixTracks; ++t) {
            if (engine().bouncedCount[t] + i >= engine().producedCount[t]) continue;
            const double *f = engine().trackPcmBlocks[t].load()[block] + 2 * (offset + i);
            l += f[0];
            r += f[1];
        }
        masters[0][2 * i] = l;
        masters[0][2 * i + 1] = r;
        masters[1][2 * i] = masters[1][2 * i + 1] = 0.0;
    }
    for (int t = 0; t < gMixTracks; ++t) {
        positions[t] += frames;
        engine().bouncedCount[t] += frames;
    }
    return 0;
}

// A stand-in modulator: the sign of each left and right sample as one bit,
// earliest in the most significant bit.
void signBits(uint8_t *left, uint8_t *right, const double *frames, int bits, int) {
    std::memset(left, 0, bits / 8);
    std::memset(right, 0, bits / 8);
    for (int i = 0; i < bits; ++i) {
        if (frames[2 * i] > 0) left[i / 8] |= uint8_t(0x80 >> (i % 8));
        if (frames[2 * i + 1] > 0) right[i / 8] |= uint8_t(0x80 >> (i % 8));
    }
}

struct WavContents {
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t tag = 0;
    uint64_t dataBytes = 0;
    std::vector<float> samples;
};

WavContents readFloatWav(const std::string &path) {
    WavContents w;
    gClass_WavFile wav;
    sxtest::File f(path, "rb");
    EXPECT_NE(f.fp, nullptr);
    if (!f.fp) return w;
    tRiffStatus st;
    EXPECT_EQ(wav.checkHeader(f.fp, &st), 0);
    EXPECT_EQ(wav.searchFmtChunk(f.fp, &w.rate, &w.bits, &w.channels, &w.tag), 0);
    uint64_t offset = 0, audio = 0;
    EXPECT_EQ(wav.searchData(f.fp, &offset, &w.dataBytes, &audio), 0);
    w.samples.resize(w.dataBytes / 4);
    std::fseek(f.fp, static_cast<long>(offset), SEEK_SET);
    EXPECT_EQ(std::fread(w.samples.data(), 4, w.samples.size(), f.fp), w.samples.size());
    // Nothing beyond what the header counts.
    std::fseek(f.fp, 0, SEEK_END);
    EXPECT_EQ(static_cast<uint64_t>(std::ftell(f.fp)), offset + w.dataBytes);
    return w;
}

class BounceTest : public ::testing::Test {
protected:
    void SetUp() override {
        gMixTracks = 2;
        gMixCalls = 0;
        gMixHook = nullptr;
        path = dir.file("SonvexBounceTemp.wav");
        param.trackCount = 2;
        param.bouncePath = QString::fromStdString(path).toStdU16String();
        param.outRate = 44100;
        param.srcRate = 44100;
        param.bits = 32;
        param.fileType = 0;
        param.channels = 2;
        param.status = &status;
    }
    void TearDown() override { gMixHook = nullptr; }

    int run(tBounceMixFunc mix = standInMix) {
        ClassBounce job(mix, signBits);
        return job.apply(&param, &flags, &param.progress, &status);
    }

    sxtest::TempDir dir;
    std::string path;
    tBounceParam param;
    tBounceStatusStruct status;
    tBounceContFlags flags;
};

TEST_F(BounceTest, TwoTracksMixIntoAFloatWavOfTheSourceLengthAtTheOutputRate) {
    struct Case {
        int32_t srcRate, outRate;
        int64_t length, expect;
    } cases[] = {
        {44100, 44100, 4321, 4321},  // the same rate: the source length
        {96000, 48000, 5000, 2500},  // half the rate: half the frames
        {44100, 48000, 3000, 3265},  // 3000 x 48000 / 44100, truncated
    };
    for (const Case &c : cases) {
        Feeds feeds(2, c.expect + 700);  // the feeds run past the end, as a rate converter's tail does
        param.srcRate = c.srcRate;
        param.outRate = c.outRate;
        param.length = c.length;
        param.progress = 0;
        flags.clear();
        ASSERT_EQ(run(), kBounceOk);
        EXPECT_EQ(status.result, kBounceStatusDone);
        EXPECT_EQ(param.progress, 100);
        EXPECT_TRUE(flags.done);
        EXPECT_TRUE(engine().bounceFinished) << "the feeds may end";

        const WavContents w = readFloatWav(path);
        EXPECT_EQ(w.rate, static_cast<uint32_t>(c.outRate));
        EXPECT_EQ(w.bits, 32u);
        EXPECT_EQ(w.tag, kWaveFormatIeeeFloat);
        EXPECT_EQ(w.channels, 2u);
        ASSERT_EQ(w.samples.size(), static_cast<size_t>(2 * c.expect)) << c.outRate;
        for (int64_t i = 0; i < c.expect; ++i) {
            const float mix = static_cast<float>(Feeds::sample(0, i) + Feeds::sample(1, i));
            ASSERT_EQ(w.samples[2 * i], mix) << "frame " << i;
            ASSERT_EQ(w.samples[2 * i + 1], -mix) << "frame " << i;
        }
    }
}

TEST_F(BounceTest, ALengthOfNoOutputSamplesWritesAHeaderOnlyFileAndSucceeds) {
    Feeds feeds(2, 2 * kBlock);
    param.length = 1;
    param.srcRate = 88200;  // 1 x 44100 / 88200 = 0
    ASSERT_EQ(run(), kBounceOk);
    EXPECT_EQ(status.result, kBounceStatusDone);
    EXPECT_EQ(gMixCalls, 0);
    EXPECT_EQ(readFloatWav(path).dataBytes, 0u);
}

TEST_F(BounceTest, ACancelKeepsSuccessAndStoresTheSizesOfWhatWasWritten) {
    Feeds feeds(2, 10 * kBlock);
    param.length = 10 * kBlock;
    gMixHook = [this](int call, uint64_t *) {
        if (call == 3) flags.cancel = true;  // seen at the next pass
        return 0;
    };
    ASSERT_EQ(run(), kBounceOk);
    EXPECT_EQ(status.result, kBounceStatusDone);
    EXPECT_TRUE(flags.done);
    const WavContents w = readFloatWav(path);
    EXPECT_EQ(w.samples.size(), static_cast<size_t>(2 * 3 * kBlock)) << "three blocks mixed before the cancel";
    EXPECT_EQ(param.progress, 100);
}

TEST_F(BounceTest, AMixThatIsNotReadyIsRetriedUntilItIsAndACancelThenStillFinishesTheFile) {
    Feeds feeds(2, 2 * kBlock);
    param.length = 2 * kBlock;
    gMixHook = [](int call, uint64_t *) { return call <= 5 ? kBounceNotReady : 0; };
    ASSERT_EQ(run(), kBounceOk);
    EXPECT_EQ(gMixCalls, 7) << "five refusals, then two blocks";
    EXPECT_EQ(readFloatWav(path).samples.size(), static_cast<size_t>(2 * 2 * kBlock));

    // A mix that never becomes ready: the cancel ends the retries, and the
    // file holds what was written before.
    gMixCalls = 0;
    gMixHook = [this](int call, uint64_t *) {
        if (call < 2) return 0;
        if (call == 10) flags.cancel = true;
        return static_cast<int>(kBounceNotReady);
    };
    flags.clear();
    clearBounceParam();
    ASSERT_EQ(run(), kBounceOk);
    EXPECT_EQ(gMixCalls, 10);
    EXPECT_EQ(readFloatWav(path).samples.size(), static_cast<size_t>(2 * kBlock));
}

TEST_F(BounceTest, FailuresGiveTheirCodesAndStatus) {
    struct Case {
        const char *what;
        std::function<int(int, uint64_t *)> hook;
        bool failFeed;
        int result;
        int32_t statusResult;
    } cases[] = {
        {"mixing fails", [](int call, uint64_t *) { return call == 2 ? -9 : 0; }, false, kBounceErrMix, -9},
        {"track 0 goes back",
         [](int call, uint64_t *pos) {
             if (call == 3) pos[0] -= 2 * kBlock;  // after this call's advance it lies before the last
             return 0;
         },
         false, kBounceErrTrackBack, kBounceStatusTrackBack},
        {"a feed fails",
         [](int call, uint64_t *) {
             if (call == 2) engine().convFailed = true;
             return 0;
         },
         false, kBounceErrFeed, kBounceStatusFeed},
    };
    for (const Case &c : cases) {
        Feeds feeds(2, 6 * kBlock);
        param.length = 6 * kBlock;
        gMixCalls = 0;
        gMixHook = c.hook;
        status.result = 0;
        EXPECT_EQ(run(), c.result) << c.what;
        EXPECT_EQ(status.result, c.statusResult) << c.what;
        EXPECT_FALSE(flags.done) << c.what;
    }
}

TEST_F(BounceTest, ACancelOrAFailedFeedBeforeTheFirstBlockMakesNoFile) {
    {
        Feeds feeds(0, 0);  // nothing is converted yet
        std::thread canceller([this] {
            QThread::msleep(700);
            flags.cancel = true;
        });
        EXPECT_EQ(run(), kBounceErrCancelled);
        canceller.join();
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    {
        Feeds feeds(0, 0);
        flags.clear();
        std::thread failer([] {
            QThread::msleep(700);
            engine().convFailed = true;
        });
        EXPECT_EQ(run(), kBounceErrFeed);
        failer.join();
        EXPECT_EQ(status.result, kBounceStatusFeed);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(BounceTest, AFileThatCannotBeMadeOrWrittenFails) {
    Feeds feeds(2, 4 * kBlock);
    param.length = 4 * kBlock;
    param.bouncePath = u"/nonexistent-folder/SonvexBounceTemp.wav";
    EXPECT_EQ(run(), kBounceErrFile);

    // A file size limit lets the header through and stops the audio.
    param.bouncePath = QString::fromStdString(path).toStdU16String();
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = kWavHeaderBytes + 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = run();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, kBounceErrWrite);
    EXPECT_EQ(status.result, kBounceStatusWrite);
}

TEST_F(BounceTest, ParametersTheFileCannotHoldAreRefused) {
    struct Case {
        int32_t channels, bits, fileType, outRate, srcRate;
    } cases[] = {
        {0, 32, 0, 44100, 44100},   {3, 32, 0, 44100, 44100}, {2, 20, 0, 44100, 44100},
        {2, 32, 3, 2822400, 44100}, {2, 32, 0, 44100, 0},     {2, 32, 0, 0, 44100},
    };
    for (const Case &c : cases) {
        param.channels = c.channels;
        param.bits = c.bits;
        param.fileType = c.fileType;
        param.outRate = c.outRate;
        param.srcRate = c.srcRate;
        EXPECT_EQ(run(), kBounceErrParam) << c.channels << " " << c.bits << " " << c.srcRate;
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(BounceTest, ADsdMixDownIsAOneBitDsdiffFile) {
    Feeds feeds(2, 8 * kBlock);
    path = dir.file("SonvexBounceTemp.dff");
    param.bouncePath = QString::fromStdString(path).toStdU16String();
    param.fileType = 3;
    param.bits = 1;
    param.outRate = 2822400;
    param.srcRate = 2822400;
    param.length = 8 * kBlock;
    ASSERT_EQ(run(), kBounceOk);

    gClass_DsdiffFile dff;
    sxtest::File f(path, "rb");
    ASSERT_NE(f.fp, nullptr);
    tRiffStatus st;
    ASSERT_EQ(dff.checkHeader(f.fp, &st), 0);
    uint32_t rate, bits, channels;
    uint16_t tag;
    ASSERT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
    EXPECT_EQ(rate, 2822400u);
    EXPECT_EQ(channels, 2u);
    uint64_t offset, bytes, audio;
    ASSERT_EQ(dff.searchData(f.fp, &offset, &bytes, &audio), 0);
    ASSERT_EQ(bytes, static_cast<uint64_t>(2 * 8 * kBlock / 8));
    std::vector<uint8_t> data(bytes);
    std::fseek(f.fp, static_cast<long>(offset), SEEK_SET);
    ASSERT_EQ(std::fread(data.data(), 1, data.size(), f.fp), data.size());
    // Interleaved by channel: left bytes all ones (positive), right all zeros.
    for (size_t i = 0; i < data.size(); i += 2) {
        ASSERT_EQ(data[i], 0xFF) << i;
        ASSERT_EQ(data[i + 1], 0x00) << i;
    }
}

TEST(BounceThread, RunsTheJobAndReportsItsResult) {
    engtest::FreshEngine fresh;
    sxtest::TempDir dir;
    tBounceStatusStruct status;
    tBounceParam param;
    param.trackCount = 1;
    param.bouncePath = QString::fromStdString(dir.file("b.wav")).toStdU16String();
    param.outRate = param.srcRate = 48000;
    param.bits = 32;
    param.channels = 2;
    param.length = 0;
    param.status = &status;

    bounceThread t;
    std::atomic<int> finished{1};
    QObject::connect(
        &t, &bounceThread::bounceFinished, &t, [&](int r) { finished = r; }, Qt::DirectConnection);
    t.stop();
    EXPECT_TRUE(t.isEnded());
    t.setParameters(&param);
    param.length = 99;  // after the copy: not seen by the job
    engine().firstConverted[0] = 1;
    engine().ringBlockFrames = kBlock;
    engine().producedCount[0] = 1;
    t.addTransaction(new ClassBounce(standInMix, signBits));
    ASSERT_TRUE(engtest::waitFor([&] { return finished.load() != 1; }));
    EXPECT_EQ(finished.load(), kBounceOk);
    EXPECT_EQ(param.progress, 100) << "the caller's own progress word";
    EXPECT_EQ(status.result, kBounceStatusDone);
    EXPECT_TRUE(t.isDone());
    EXPECT_TRUE(t.isRunningFlag()) << "stays set after the job";
    t.clearContFlags();
    EXPECT_FALSE(t.isDone());
}

}  // namespace
