// Recording: the job writes what the capture ring holds, in batches while
// it records and the rest at the stop, in each of its formats; it leaves no
// file when stopped before it started, and a failed write ends it with its
// code and a closed file.
//
// The ring is filled here the way the device side does it: frames go into
// the current block at the write offset, a full block records its samples,
// the write block moves on (63 wraps to 0) and the recordable count rises
// (at most 64).
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/dsdifffile.h"
#include "audiofile/dsdlayout.h"
#include "audiofile/dsffile.h"
#include "audiofile/pcmpack.h"
#include "audiofile/wavfile.h"
#include "bytefields.h"
#include "engine/recengine.h"
#include "enginetestutil.h"
#include "testutil.h"

namespace {

constexpr int kFrames = 4096;  // capture block frames (DSD: samples per channel)

// Row 0 of the capture ring, registered as the main window does, and the
// device side's capture step.
struct CaptureRing {
    engtest::FreshEngine fresh;
    CaptureRing() {
        engine().captureBlockFrames = kFrames;
        engine().monitorBuffer[0] = engine().captureRingTable[0];
        for (int b = 0; b < kCaptureBlocks; ++b) {
            work[b].reset(new double[2 * kFrames]());
            left[b].reset(new unsigned char[kFrames / 8]());
            right[b].reset(new unsigned char[kFrames / 8]());
            engine().captureRingTable[0][b] = work[b].get();
            engine().dsdRecBuffer0[0][b] = left[b].get();
            engine().dsdRecBuffer1[0][b] = right[b].get();
            engine().samplesPerCaptureBlock[b] = 0;
        }
        engine().recordableBlocks[0] = 0;
        engine().captureWriteBlock[0] = 0;
        engine().captureWriteOffset[0] = 0;
    }
    ~CaptureRing() {
        for (int b = 0; b < kCaptureBlocks; ++b) {
            engine().captureRingTable[0][b] = nullptr;
            engine().dsdRecBuffer0[0][b] = nullptr;
            engine().dsdRecBuffer1[0][b] = nullptr;
        }
    }

    // n frames of stereo work samples (or, for DSD, of left and right bits
    // given as bytes), in device-sized pieces.
    void capturePcm(const double *frames, int n) { capture(frames, nullptr, nullptr, n); }
    void captureDsd(const uint8_t *l, const uint8_t *r, int n) { capture(nullptr, l, r, n); }

    void capture(const double *pcm, const uint8_t *l, const uint8_t *r, int n) {
        int done = 0;
        while (done < n) {
            const int piece = std::min(512, n - done);  // one device buffer
            int remaining = piece, at = done;
            while (remaining > 0) {
                const int blk = engine().captureWriteBlock[0];
                const int off = engine().captureWriteOffset[0];
                const int take = std::min(remaining, kFrames - off);
                if (pcm) std::memcpy(work[blk].get() + 2 * off, pcm + 2 * at, 16u * take);
                if (l) {
                    std::memcpy(left[blk].get() + off / 8, l + at / 8, take / 8);
                    std::memcpy(right[blk].get() + off / 8, r + at / 8, take / 8);
                }
                at += take;
                remaining -= take;
                if (off + take < kFrames) {
                    engine().captureWriteOffset[0] = off + take;
                } else {
                    engine().samplesPerCaptureBlock[blk] = kFrames;
                    engine().captureWriteBlock[0] = (blk + 1) % kCaptureBlocks;
                    engine().recordableBlocks[0] = std::min(engine().recordableBlocks[0] + 1, 64);
                    engine().captureWriteOffset[0] = 0;
                }
            }
            done += piece;
        }
    }

    std::unique_ptr<double[]> work[kCaptureBlocks];
    std::unique_ptr<unsigned char[]> left[kCaptureBlocks], right[kCaptureBlocks];
};

double tone(int64_t i, int lane) { return lane == 0 ? 0.6 * std::sin(0.001 * i) : -0.3 * std::cos(0.0007 * i); }

std::vector<double> pcmInput(int64_t from, int n) {
    std::vector<double> v(2 * n);
    for (int i = 0; i < n; ++i) {
        v[2 * i] = tone(from + i, 0);
        v[2 * i + 1] = tone(from + i, 1);
    }
    return v;
}

std::vector<uint8_t> dsdInput(int seed, int bytes) {
    std::vector<uint8_t> v(bytes);
    for (int i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 9));
    return v;
}

class RecEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(
            &thread, &recEngineThread::recStopped, &thread, [this] { ++stopped; }, Qt::DirectConnection);
    }
    tRecParameters params(const std::string &name, int format, int bits, int channels = 2, int rate = 48000) {
        tRecParameters p;
        p.path = QString::fromStdString(dir.file(name)).toStdU16String();
        p.rate = rate;
        p.bits = bits;
        p.channels = channels;
        p.blockFrames = kFrames;
        p.format = format;
        return p;
    }
    // Queues a job with p, starts recording and waits until the file exists.
    void start(const tRecParameters &p) {
        thread.setRecParameters(&p);
        thread.addTransaction(new ClassRecEngine);
        thread.recStart();
        ASSERT_TRUE(engtest::waitFor([&] { return thread.isFileCreated(); }));
    }
    void stopAndWait() {
        const int before = stopped;
        thread.recStop();
        ASSERT_TRUE(engtest::waitFor([&] { return stopped > before; }));
        ASSERT_TRUE(thread.isDone());
    }
    std::string path(const std::string &name) const { return dir.file(name); }

    sxtest::TempDir dir;
    CaptureRing ring;
    recEngineThread thread;
    std::atomic<int> stopped{0};
};

// The audio of a WAV file as work frames.
std::vector<double> readWav(const std::string &path, uint32_t *bits, uint32_t *channels) {
    gClass_WavFile wav;
    sxtest::File f(path, "rb");
    EXPECT_NE(f.fp, nullptr);
    if (!f.fp) return {};
    uint32_t rate;
    uint16_t tag;
    EXPECT_EQ(wav.searchFmtChunk(f.fp, &rate, bits, channels, &tag), 0);
    uint64_t offset, bytes, audio;
    EXPECT_EQ(wav.searchData(f.fp, &offset, &bytes, &audio), 0);
    std::fseek(f.fp, 0, SEEK_END);
    EXPECT_EQ(static_cast<uint64_t>(std::ftell(f.fp)), offset + bytes) << "the header counts every byte";
    std::vector<uint8_t> raw(bytes);
    std::fseek(f.fp, static_cast<long>(offset), SEEK_SET);
    EXPECT_EQ(std::fread(raw.data(), 1, raw.size(), f.fp), raw.size());
    const uint32_t frames = static_cast<uint32_t>(bytes / (*channels * *bits / 8));
    std::vector<double> out(2 * frames);
    EXPECT_EQ(
        wav2pcmFunc(out.data(), raw.data(), frames, static_cast<uint8_t>(*channels), static_cast<uint8_t>(*bits), tag),
        0);
    return out;
}

TEST_F(RecEngineTest, AFloatWavHoldsExactlyWhatWasCapturedInBatchesAndAtTheStop) {
    start(params("rec.wav", kRecFormatWav, 32));
    const std::vector<double> in = pcmInput(0, 45 * kFrames + 1000);
    ring.capturePcm(in.data(), 40 * kFrames);
    // More than 32 blocks wait: they are written while recording goes on.
    ASSERT_TRUE(engtest::waitFor([&] { return engine().recordableBlocks[0] == 0; }))
        << "the written blocks are no longer counted";
    EXPECT_GT(std::filesystem::file_size(path("rec.wav")), kWavHeaderBytes + 32u * kFrames * 8);
    ring.capturePcm(in.data() + 2 * 40 * kFrames, 5 * kFrames + 1000);  // an unfinished block stays out
    stopAndWait();
    EXPECT_EQ(thread.lastResult(), kRecOk);

    uint32_t bits, channels;
    const std::vector<double> out = readWav(path("rec.wav"), &bits, &channels);
    EXPECT_EQ(bits, 32u);
    EXPECT_EQ(channels, 2u);
    ASSERT_EQ(out.size(), static_cast<size_t>(2 * 45 * kFrames));
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], static_cast<double>(static_cast<float>(in[i]))) << "sample " << i;
}

TEST_F(RecEngineTest, StoppingBeforeRecordingStartedLeavesNoFile) {
    const tRecParameters p = params("never.wav", kRecFormatWav, 24);
    thread.setRecParameters(&p);
    thread.addTransaction(new ClassRecEngine);
    ring.capturePcm(pcmInput(0, 3 * kFrames).data(), 3 * kFrames);
    stopAndWait();
    EXPECT_EQ(thread.lastResult(), kRecOk);
    EXPECT_FALSE(thread.isFileCreated());
    EXPECT_FALSE(std::filesystem::exists(path("never.wav")));
}

TEST_F(RecEngineTest, IntegerWavsArePackedByTheFullScaleOfThirtyTwoBits) {
    // 16 and 24 bits scale by 2^31 - 1 and keep the top bits, so a positive
    // sample at or above half scale comes back one step low.
    struct Case {
        int bits, channels;
        double value;
        int64_t stored;  // the file's integer sample
    } cases[] = {
        {24, 2, 0.25, 2097152}, {24, 2, 0.75, 6291455}, {24, 2, -0.75, -6291456},
        {16, 1, 0.25, 8192},    {16, 1, 0.75, 24575},   {16, 1, -0.75, -24576},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string name = "int" + std::to_string(n++) + ".wav";
        start(params(name, kRecFormatWav, c.bits, c.channels));
        std::vector<double> in(2 * 3 * kFrames, c.value);
        ring.capturePcm(in.data(), 3 * kFrames);  // fewer than 33 blocks: all written at the stop
        stopAndWait();
        ASSERT_EQ(thread.lastResult(), kRecOk);

        const std::vector<uint8_t> bytes = sxtest::readAll(path(name));
        const size_t frameBytes = static_cast<size_t>(c.channels) * c.bits / 8;
        ASSERT_EQ(bytes.size(), kWavHeaderBytes + 3u * kFrames * frameBytes) << "bytes per frame";
        const size_t last = bytes.size() - c.bits / 8;
        int64_t v = 0;
        for (int k = c.bits / 8 - 1; k >= 0; --k) v = (v << 8) | bytes[last + k];
        if (v >> (c.bits - 1)) v -= int64_t(1) << c.bits;
        EXPECT_EQ(v, c.stored) << c.bits << " bits, " << c.value;
    }
}

TEST_F(RecEngineTest, DsdRecordingsKeepTheirBitsAndADsfEndsWithAPaddedBlockGroup) {
    // 37 blocks of 4096 samples: not a whole number of 32768-sample groups.
    constexpr int kBlocks = 37;
    constexpr int kSamples = kBlocks * kFrames;
    for (int format : {kRecFormatDsdiff, kRecFormatDsf}) {
        for (int take = 0; take < 2; ++take) {  // a second take starts afresh
            const std::string name = "take" + std::to_string(take) + (format == kRecFormatDsf ? ".dsf" : ".dff");
            start(params(name, format, 1, 2, 2822400));
            const std::vector<uint8_t> l = dsdInput(take + 1, kSamples / 8), r = dsdInput(take + 7, kSamples / 8);
            ring.captureDsd(l.data(), r.data(), kSamples);
            stopAndWait();
            ASSERT_EQ(thread.lastResult(), kRecOk) << name;

            sxtest::File f(path(name), "rb");
            ASSERT_NE(f.fp, nullptr);
            std::unique_ptr<AccessAudioFile> h(
                format == kRecFormatDsf ? static_cast<AccessAudioFile *>(new gClass_DsfFile) : new gClass_DsdiffFile);
            tRiffStatus st;
            ASSERT_EQ(h->checkHeader(f.fp, &st), 0) << name;
            uint64_t offset, bytes, audio;
            ASSERT_EQ(h->searchData(f.fp, &offset, &bytes, &audio), 0);
            std::vector<uint8_t> raw(format == kRecFormatDsf ? 5 * 8192 : 2 * kSamples / 8);
            std::fseek(f.fp, static_cast<long>(offset), SEEK_SET);
            ASSERT_EQ(std::fread(raw.data(), 1, raw.size(), f.fp), raw.size()) << name;
            std::vector<uint8_t> l2(kSamples / 8), r2(kSamples / 8);
            if (format == kRecFormatDsf) {
                std::vector<uint8_t> all = sxtest::readAll(path(name));
                EXPECT_EQ(sxtest::le64(all, 28 + kDsfFmtSampleCount), static_cast<uint64_t>(kSamples))
                    << "the header counts the recorded samples";
                EXPECT_EQ(bytes, 12u + 5 * 8192) << "five whole block groups";
                // Group by group, as the reader takes them.
                for (int g = 0; g < 5; ++g) {
                    const int samples = std::min(32768, kSamples - g * 32768);
                    ASSERT_EQ(dsf2dsd(l2.data() + g * 4096, r2.data() + g * 4096, raw.data() + g * 8192,
                                      static_cast<uint32_t>(samples), 2, 0),
                              0);
                }
                // The last group's tail is the idle byte in both channels.
                const int used = (kSamples - 4 * 32768) / 8;
                for (int k = used; k < 4096; ++k) {
                    ASSERT_EQ(raw[4 * 8192 + k], kDsdIdleByte) << k;
                    ASSERT_EQ(raw[4 * 8192 + 4096 + k], kDsdIdleByte) << k;
                }
            } else {
                EXPECT_EQ(bytes, static_cast<uint64_t>(2 * kSamples / 8));
                ASSERT_EQ(dsdiff2dsd(l2.data(), r2.data(), raw.data(), kSamples, 2), 0);
            }
            EXPECT_EQ(l2, l) << name;
            EXPECT_EQ(r2, r) << name;
        }
    }
}

TEST_F(RecEngineTest, AFileThatCannotBeOpenedOrWrittenEndsTheJobWithItsCode) {
    tRecParameters p = params("x.wav", kRecFormatWav, 32);
    p.path = u"/nonexistent-folder/x.wav";
    thread.setRecParameters(&p);
    thread.addTransaction(new ClassRecEngine);
    thread.recStart();
    ASSERT_TRUE(engtest::waitFor([&] { return stopped == 1; }));
    EXPECT_EQ(thread.lastResult(), kRecErrFile);
    EXPECT_FALSE(thread.isFileCreated());

    // The header fits under the size limit, the first batch does not.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = kWavHeaderBytes + 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    start(params("full.wav", kRecFormatWav, 32));
    ring.capturePcm(pcmInput(0, 34 * kFrames).data(), 34 * kFrames);
    const bool ended = engtest::waitFor([&] { return stopped == 2; });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(ended) << "a failed block write ends the job without a stop";
    EXPECT_EQ(thread.lastResult(), kRecErrFile);
    // Closed: no descriptor of the process refers to it any more.
    const std::string full = std::filesystem::canonical(path("full.wav")).string();
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        EXPECT_NE(std::filesystem::read_symlink(fd.path(), ec).string(), full);
    }
}

TEST_F(RecEngineTest, ParametersTheRecorderCannotWriteEndTheJobAtOnce) {
    struct Case {
        int format, bits, channels;
    } cases[] = {{kRecFormatWav, 8, 2}, {kRecFormatWav, 32, 3}, {kRecFormatDsf, 32, 2}, {kRecFormatDsdiff, 1, 0}};
    int n = 0;
    for (const Case &c : cases) {
        const tRecParameters p = params("bad.wav", c.format, c.bits, c.channels);
        thread.setRecParameters(&p);
        thread.addTransaction(new ClassRecEngine);
        thread.recStart();
        ASSERT_TRUE(engtest::waitFor([&] { return stopped == n + 1; })) << n;
        EXPECT_EQ(thread.lastResult(), kRecErrFile);
        ++n;
    }
    EXPECT_FALSE(std::filesystem::exists(path("bad.wav")));
}

TEST(RecEngineThread, FlagsAndControl) {
    recEngineThread t;
    t.stop();
    EXPECT_TRUE(t.isEnded()) << "idle before its first job";
    t.recStart();
    EXPECT_FALSE(t.isDone());
    t.recStop();
    t.clearContFlags();
    EXPECT_FALSE(t.isFileCreated());
}

}  // namespace
