// A multi-track mix-down end to end: two audio threads convert their files
// through the built library in bounce-feed mode, the mix-down mixes their
// rings through the engine's mixing step and writes the temporary file. A
// PCM mix-down holds exactly the sum of what the library hands a plain
// caller for each file; a DSD mix-down is the modulated sum.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "audiofile/pcmpack.h"
#include "audiofile/wavfile.h"
#include "engine/bouncethread.h"
#include "engine/engineparams.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"
#include "support/bytefields.h"
#include "support/testutil.h"
#include "support/wavwriter.h"

namespace {

constexpr uint32_t kSrcRate = 44100;
constexpr uint32_t kSrcFrames = 12000;  // about 0.27 s

// A 16-bit stereo file of two tones per track.
std::vector<uint8_t> stereoWav16(int track) {
    std::vector<uint8_t> data;
    for (uint32_t f = 0; f < kSrcFrames; ++f) {
        const double l = 0.3 * std::sin(2.0 * M_PI * (500.0 + 700.0 * track) * f / kSrcRate);
        const double r = 0.2 * std::sin(2.0 * M_PI * (1500.0 + 900.0 * track) * f / kSrcRate);
        for (double v : {l, r}) sxtest::appendLE16(data, uint16_t(int16_t(std::lrint(v * 32767.0))));
    }
    return sxtest::wavFile(kSrcRate, 16, 2, data);
}

// What the library hands a plain caller for one file: every block.
std::vector<double> *gCollect = nullptr;
int onBlock(uint64_t, int frames, int, int slot, int, void *pcm, unsigned char **, int, int, int, unsigned int *) {
    const double *b = static_cast<double **>(pcm)[slot];
    gCollect->insert(gCollect->end(), b, b + 2 * frames);
    return 0;
}
int onStatus(int) { return 1; }
int onError(int) { return 0; }
int onWorking(long long *) { return 0; }

std::vector<double> reference(const std::string &src, uint32_t rateIndex) {
    const tMorphexertFunc morphexert = morphexBinding(QString::fromStdString(engtest::libraryFile())).morphexert;
    EXPECT_NE(morphexert, nullptr);
    std::vector<double> out;
    if (!morphexert) return out;
    gCollect = &out;
    engtest::StereoFeedJob job(src, kSrcRate, 16, kSrcFrames, rateIndex);
    job.record.com.ringBlocks = kRingBlocks;
    int progress = 0;
    tMorphexSendParams send;
    send.progress = &progress;
    send.rateIndex = rateIndex;
    send.fileType = job.record.fileType;
    send.bits = job.record.bits;
    send.outChannels = 2;
    send.command = kMorphexCmdBounceFeed;
    const wchar16 *const sources[1] = {reinterpret_cast<const wchar16 *>(job.record.srcPath.c_str())};
    EXPECT_EQ(morphexert(reinterpret_cast<const wchar16 *>(u""), sources, nullptr, &send, job.record.panVol,
                         &job.record.fileCount, &job.record.com, onBlock, onStatus, job.items, onError, onWorking),
              0);
    gCollect = nullptr;
    return out;
}

// The engine as the main window sets it up for a two-track mix-down.
class BounceFeedTest : public ::testing::Test {
protected:
    engtest::FreshEngine mEngine;
    void SetUp() override {
        engtest::useBuiltLibrary();
        clearBounceParam();
        ASSERT_EQ(allocateAudioThreadMemories(), kEngineMemOk);
        ASSERT_EQ(initAudioThreadMemoryWhole(), kEngineMemOk);
        mix.trackCount = 2;
        mix.masterGain = 1.0;
        for (int t = 0; t < 2; ++t) mix.ch[t].LL = mix.ch[t].RR = 1.0;
        gAudioThread_setMixParam(&mix);
        setPEQClassToDSP(nullptr, nullptr);
        for (int t = 0; t < 2; ++t) {
            src[t] = dir.file("track" + std::to_string(t) + ".wav");
            ASSERT_TRUE(sxtest::writeAll(src[t], stereoWav16(t)));
        }
    }
    void TearDown() override {
        gAudioThread_setMixParam(nullptr);
        finishAudioThreadMemoryWhole();
        freeAudhioThreadMemories();
        clearBounceParam();
    }

    // Runs both feeds and the mix-down; the result of the mix-down.
    int mixDown(uint32_t rateIndex, int32_t outRate, const std::string &out) {
        tBounceStatusStruct status;
        tBounceParam param;
        param.trackCount = 2;
        param.bouncePath = QString::fromStdString(out).toStdU16String();
        param.outRate = outRate;
        param.srcRate = kSrcRate;
        param.bits = rateIndex >= 16 ? 1 : 32;
        param.fileType = rateIndex >= 16 ? 3 : 0;
        param.channels = 2;
        param.length = kSrcFrames;
        param.status = &status;

        audioThread feed[2];
        engtest::StereoFeedJob jobs[2] = {{src[0], kSrcRate, 16, kSrcFrames, rateIndex, 0},
                                          {src[1], kSrcRate, 16, kSrcFrames, rateIndex, 1}};
        std::atomic<int> feedsDone{0};
        for (int t = 0; t < 2; ++t) {
            QObject::connect(
                &feed[t], &audioThread::allTransactionsDone_, &feed[t],
                [&](int r) {
                    EXPECT_EQ(r, 0);
                    ++feedsDone;
                },
                Qt::DirectConnection);
            feed[t].setAudioThreadParam(kMorphexCmdBounceFeed, &jobs[t].record, &jobs[t].info, nullptr, jobs[t].items,
                                        t, nullptr, 0);
        }
        bounceThread bounce;
        std::atomic<int> result{1};
        QObject::connect(
            &bounce, &bounceThread::bounceFinished, &bounce, [&](int r) { result = r; }, Qt::DirectConnection);
        bounce.setParameters(&param);
        for (auto &f : feed) f.addTransaction(new ClassMorphex(3));
        bounce.addTransaction(new ClassBounce);
        EXPECT_TRUE(engtest::waitFor([&] { return result.load() != 1; }, 120000));
        // The mix-down's end lets the feeds go.
        EXPECT_TRUE(engtest::waitFor([&] { return feedsDone.load() == 2; }, 120000));
        EXPECT_EQ(status.result, kBounceStatusDone);
        EXPECT_EQ(param.progress, 100);
        return result.load();
    }

    sxtest::TempDir dir;
    std::string src[2];
    tMixParam mix;
};

TEST_F(BounceFeedTest, TwoTracksMixIntoAFloatWavHoldingTheirSum) {
    const std::vector<double> a = reference(src[0], 1), b = reference(src[1], 1);
    const std::string out = dir.file("SonvexBounceTemp.wav");
    ASSERT_EQ(mixDown(1, 48000, out), kBounceOk);

    const int64_t planned = int64_t(kSrcFrames) * 48000 / kSrcRate;
    gClass_WavFile wav;
    sxtest::File f(out, "rb");
    ASSERT_NE(f.fp, nullptr);
    uint32_t rate, bits, channels;
    uint16_t tag;
    ASSERT_EQ(wav.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(bits, 32u);
    EXPECT_EQ(tag, kWaveFormatIeeeFloat);
    uint64_t offset, bytes, audio;
    ASSERT_EQ(wav.searchData(f.fp, &offset, &bytes, &audio), 0);
    ASSERT_EQ(bytes, uint64_t(planned) * 8);  // 13061 frames
    std::vector<float> got(2 * planned);
    std::fseek(f.fp, long(offset), SEEK_SET);
    ASSERT_EQ(std::fread(got.data(), 4, got.size(), f.fp), got.size());

    const size_t n = std::min({got.size(), a.size(), b.size()});
    ASSERT_GT(n, got.size() * 9 / 10);
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(got[i], float(a[i] + b[i])) << "sample " << i;
}

// Sliding sums of 1024 bits (+1 for a set bit, -1 for a clear one) and of
// the reference mix, both from sample `from` on, at every 256th sample.
std::vector<double> windowed(const std::vector<double> &x, size_t from, size_t to) {
    std::vector<double> w;
    for (size_t s = from; s + 1024 <= to; s += 256) {
        double sum = 0.0;
        for (size_t k = s; k < s + 1024; ++k) sum += x[k];
        w.push_back(sum);
    }
    return w;
}

double correlation(const std::vector<double> &x, const std::vector<double> &y) {
    double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
    const size_t n = std::min(x.size(), y.size());
    for (size_t i = 0; i < n; ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        syy += y[i] * y[i];
        sxy += x[i] * y[i];
    }
    const double cov = sxy - sx * sy / n, vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
    return cov / std::sqrt(vx * vy);
}

TEST_F(BounceFeedTest, TwoTracksMixIntoAOneBitDsdiffOfTheModulatedSum) {
    const std::vector<double> a = reference(src[0], 16), b = reference(src[1], 16);
    const std::string out = dir.file("SonvexBounceTemp.dff");
    ASSERT_EQ(mixDown(16, 2822400, out), kBounceOk);

    const int64_t planned = int64_t(kSrcFrames) * 64;
    gClass_DsdiffFile dff;
    sxtest::File f(out, "rb");
    ASSERT_NE(f.fp, nullptr);
    uint32_t rate, bits, channels;
    uint16_t tag;
    ASSERT_EQ(dff.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
    EXPECT_EQ(rate, 2822400u);
    EXPECT_EQ(channels, 2u);
    uint64_t offset, bytes, audio;
    ASSERT_EQ(dff.searchData(f.fp, &offset, &bytes, &audio), 0);
    ASSERT_EQ(bytes, uint64_t(planned) * 2 / 8);
    std::vector<uint8_t> data(bytes);
    std::fseek(f.fp, long(offset), SEEK_SET);
    ASSERT_EQ(std::fread(data.data(), 1, data.size(), f.fp), data.size());

    // Per channel: the bits as +-1 against the reference mix.
    const size_t n = std::min<size_t>(size_t(planned), std::min(a.size(), b.size()) / 2);
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<double> bitsPm(n), mixRef(n);
        for (size_t i = 0; i < n; ++i) {
            const uint8_t byte = data[2 * (i / 8) + ch];
            bitsPm[i] = (byte >> (7 - i % 8)) & 1 ? 1.0 : -1.0;
            mixRef[i] = a[2 * i + ch] + b[2 * i + ch];
        }
        // After the fade-in from the mute pattern, the stream follows the mix.
        const double r = correlation(windowed(bitsPm, n / 4, n), windowed(mixRef, n / 4, n));
        EXPECT_GT(r, 0.95) << "channel " << ch;
    }
}

}  // namespace
