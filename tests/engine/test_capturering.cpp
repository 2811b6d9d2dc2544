// The capture ring and the input monitor: device input captured block by
// block into row 0, played back through the programme writer two blocks
// behind, the recordable count shared with the recorder, and the accessors.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "audiofile/wavfile.h"
#include "dsp/oscillator.h"
#include "engine/capturering.h"
#include "engine/coreaudiofunc.h"
#include "engine/dsdoutput.h"
#include "engine/recengine.h"
#include "rtbridge.h"
#include "testutil.h"

namespace {

constexpr int kBlock = 4096;
constexpr uint32_t kRate = 48000;

// The input the virtual device delivers: distinct, exact floats.
float inputSample(uint64_t t, int ch) { return float(int((t * 7 + uint64_t(ch) * 3) % 65536) - 32768) / 65536.0f; }

void generateInput(void *, uint64_t cycle, void *input, uint32_t frames, int channels, int container) {
    ASSERT_EQ(container, kAudioHostContainerFloat32);
    auto *f = static_cast<float *>(input);
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) f[i * uint32_t(channels) + uint32_t(c)] = inputSample(cycle * frames + i, c);
}

class CaptureRingTest : public ::testing::Test {
protected:
    void SetUp() override {
        rtbridge::setUpEngine(int(kRate));
        for (int b = 0; b < kCaptureBlocks; ++b) {
            work[b].assign(2 * kBlock, 0.0);
            left[b].assign(kBlock, 0x96);
            right[b].assign(kBlock, 0x96);
            ASSERT_EQ(gAudioThread_setMonitorBuffer(0, b, work[b].data(), left[b].data(), right[b].data()), 0);
        }
        gAudioThread_setMonitorBufferSize(kBlock);
        gAudioThread_setInputMonitorChannel(0);
        gAudioThread_clearRecBufParam();
        initRecordableBlocks(0);
        clearBufferParameters();
    }
    void TearDown() override {
        gAudioThread_setMonitorStatus(false);
        COscClass.sOscOff();
        for (int b = 0; b < kCaptureBlocks; ++b)
            EXPECT_EQ(gAudioThread_setMonitorBuffer(0, b, nullptr, nullptr, nullptr), 0);
        clearBufferParameters();
    }
    std::vector<double> work[kCaptureBlocks];
    std::vector<uint8_t> left[kCaptureBlocks], right[kCaptureBlocks];
};

// 4096-frame blocks and 512-frame buffers: a block every 8 buffers; the
// monitor starts once two blocks are complete and from then on plays the
// input 15 buffers (two blocks less the buffer it was captured in) late,
// unchanged once faded in, also after the stop of an earlier playback left
// its fade-out request behind. With no recorder the recordable count stops
// at 64 while the write block wraps and overwrites the oldest block.
TEST_F(CaptureRingTest, ABlockEveryEightBuffersMonitoredTwoBlocksBehind) {
    for (int c = 0; c < 2; ++c) {
        engine().fadeReq[c] = kFadeOutBit;
        engine().fadeAck[c] = kFadeOutBit;
    }
    rtbridge::Bridge bridge;
    ASSERT_NO_FATAL_FAILURE(bridge.open(rtbridge::kPcmFloat, kRate, 512, 2, true));
    vdev_setInputGenerator(generateInput, nullptr);
    gAudioThread_setMonitorStatus(true);

    ASSERT_NO_FATAL_FAILURE(bridge.run(7));
    EXPECT_EQ(engine().captureBlocksWritten.load(), 0);
    EXPECT_EQ(tellRecordableBlocks(0), 0);
    ASSERT_NO_FATAL_FAILURE(bridge.run(1));
    EXPECT_EQ(engine().captureBlocksWritten.load(), 1);
    EXPECT_EQ(tellRecordableBlocks(0), 1);
    EXPECT_EQ(tellCurrentCaptureBlockNumber(0), 1);
    EXPECT_EQ(getSamplesPerBlock()[0].load(), kBlock);
    ASSERT_NO_FATAL_FAILURE(bridge.run(6));
    EXPECT_EQ(engine().monitorBlocksPlayed.load(), 0);
    ASSERT_NO_FATAL_FAILURE(bridge.run(528 - 14));
    EXPECT_EQ(engine().captureBlocksWritten.load(), 66);
    EXPECT_EQ(tellRecordableBlocks(0), kCaptureBlocks);
    EXPECT_EQ(tellCurrentCaptureBlockNumber(0), 2);
    EXPECT_EQ(engine().monitorBlocksPlayed.load(), 64);

    // The ring: block 0 was overwritten by the 65th block, block 3 still
    // holds the 4th.
    for (int i = 0; i < kBlock; ++i)
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(work[0][2 * i + c], inputSample(64 * kBlock + i, c)) << i;
            ASSERT_EQ(work[3][2 * i + c], inputSample(3 * kBlock + i, c)) << i;
        }

    const std::vector<float> out = rtbridge::Bridge::floats(bridge.take());
    ASSERT_EQ(out.size(), size_t(528) * 512 * 2);
    constexpr size_t kLate = 15 * 512;
    for (size_t i = 0; i < 2 * kLate; ++i) ASSERT_EQ(out[i], 0.0f) << i;
    double firstPeak = 0.0;
    for (size_t i = 2 * kLate; i < 2 * kLate + 64; ++i) firstPeak = std::max(firstPeak, double(std::fabs(out[i])));
    EXPECT_GT(firstPeak, 0.0) << "the monitor did not start";
    size_t wrong = 0;
    for (size_t t = kLate + kBlock; t < out.size() / 2; ++t)
        for (int c = 0; c < 2; ++c) wrong += out[2 * t + size_t(c)] != inputSample(t - kLate, c);
    EXPECT_EQ(wrong, 0u);
}

// The accessors the recorder and the main window use, with their bounds.
TEST_F(CaptureRingTest, AccessorsAndTheirBounds) {
    EXPECT_EQ(gAudioThread_setMonitorBuffer(-1, 0, nullptr, nullptr, nullptr), kCaptureBadArgument);
    EXPECT_EQ(gAudioThread_setMonitorBuffer(0, 64, nullptr, nullptr, nullptr), kCaptureBadArgument);
    EXPECT_EQ(gAudioThread_setMonitorBuffer(32, 0, nullptr, nullptr, nullptr), kCaptureBadArgument);
    auto *works = static_cast<double **>(getRecBuffer(kRecBufferWork, 0));
    auto *lefts = static_cast<unsigned char **>(getRecBuffer(kRecBufferDsdLeft, 0));
    auto *rights = static_cast<unsigned char **>(getRecBuffer(kRecBufferDsdRight, 0));
    ASSERT_TRUE(works && lefts && rights);
    EXPECT_EQ(works[5], work[5].data());
    EXPECT_EQ(lefts[5], left[5].data());
    EXPECT_EQ(rights[63], right[63].data());
    EXPECT_EQ(getRecBuffer(3, 0), nullptr);
    EXPECT_EQ(getRecBuffer(kRecBufferWork, 32), nullptr);

    engine().recordableBlocks[0] = 40;
    subRecordableBlocks(0, 33);
    EXPECT_EQ(tellRecordableBlocks(0), 7);
    initRecordableBlocks(0);
    EXPECT_EQ(tellRecordableBlocks(0), 0);
    EXPECT_EQ(tellRecordableBlocks(40), 0);
    subRecordableBlocks(-1, 3);

    struct Row {
        int count, maxOutputs;
    } rows[] = {{2, 4}, {4, 4}, {5, 5}, {8, 8}};
    for (const Row &row : rows) {
        gAudioThread_setOutputMonitorChannel(2, row.count);
        EXPECT_EQ(engine().maxOutputs.load(), row.maxOutputs) << row.count;
        EXPECT_EQ(engine().firstOutputChannel.load(), 2);
    }
    gAudioThread_setOutputMonitorChannel(0, 2);

    // Monitoring off fades to 0 only while the engine does not play.
    // The device thread carries the fade target out at its next buffer.
    gAudioThread_setMonitorStatus(true);
    engineApplyOutputRequests();
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(0), 1.0);
    EXPECT_EQ(engine().fadeReq[0].load(), uint32_t(kFadeInBit));
    engine().engineStatus = kEnginePlaying;
    gAudioThread_setMonitorStatus(false);
    engineApplyOutputRequests();
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(0), 1.0);
    engine().engineStatus = kEngineStopped;
    gAudioThread_setMonitorStatus(false);
    engineApplyOutputRequests();
    EXPECT_EQ(engine().fadeVolLpf.getCoefX_ch(1), 0.0);
    EXPECT_FALSE(engine().inputMonitorEnable.load());

    engine().monPeakPosi[0] = 0.5;
    engine().monPeakNega[1] = -0.25;
    double pos[2], neg[2];
    gAudioThread_getMoniPeak(pos, neg);
    EXPECT_EQ(pos[0], 0.5);
    EXPECT_EQ(neg[1], -0.25);
    EXPECT_TRUE(engine().clearMoniPeakFlag.exchange(false));
    EXPECT_EQ(gAudioThread_prepareRecBuffer(4096), 0);
    EXPECT_EQ(gAudioThread_changeAsioBufferSize(4096), 0);

    // DSD buffers of the oscillator capture: at most 32, each (bits + 7) / 8
    // idle bytes.
    ASSERT_EQ(gAudioThread_allocateDsdBuffer(40, 100), 0);
    EXPECT_EQ(sDsdRecBufferCount, 32);
    EXPECT_EQ(sDsdRecBufferBits, 104);
    for (int i = 0; i < 13; ++i) EXPECT_EQ(sDsdRecBuffer[31][i], 0x96);
    EXPECT_EQ(gAudioThread_allocateDsdBuffer(0, 100), 0);
    EXPECT_EQ(sDsdRecBufferCount, 32);
    unsigned char a[13], b[13];
    std::memset(a, 1, sizeof a);
    std::memset(b, 2, sizeof b);
    unsigned char *const dst[2] = {sDsdRecBuffer[0], sDsdRecBuffer[1]};
    const unsigned char *const src[2] = {a, b};
    cpyAsioBufToRecBuf(dst, src, 100);
    EXPECT_EQ(sDsdRecBuffer[0][12], 1);
    EXPECT_EQ(sDsdRecBuffer[1][12], 2);
    gAudioThread_freeDsdBuffer();
    EXPECT_EQ(sDsdRecBufferCount, 0);
    EXPECT_EQ(sDsdRecBuffer[0], nullptr);
}

// The real-time path adds blocks while the recorder takes them away on its
// own thread: no update of either side is lost.
TEST_F(CaptureRingTest, TheRecordableCountLosesNoUpdateBetweenTwoThreads) {
    for (int b = 0; b < kCaptureBlocks; ++b)
        ASSERT_EQ(gAudioThread_setMonitorBuffer(0, b, nullptr, nullptr, nullptr), 0);
    gAudioThread_setMonitorBufferSize(1);  // every captured frame completes a block
    gCAudioThreadCoreAudioFunc backEnd;
    constexpr int kBlocks = 200000;
    std::atomic<bool> done{false};
    int64_t taken = 0;
    std::thread recorder([&] {
        while (!done.load() || tellRecordableBlocks(0) > 0) {
            const int n = tellRecordableBlocks(0);
            if (n > 0) {
                subRecordableBlocks(0, n);
                taken += n;
            }
        }
    });
    tBufferSwitchParams rec;
    rec.inputChannels = 2;
    rec.inputFrames = 1;
    unsigned char in[8] = {};
    for (int i = 0; i < kBlocks; ++i) {
        // Stay below the cap, which drops counts by design.
        while (tellRecordableBlocks(0) >= kCaptureBlocks - 4) std::this_thread::yield();
        captureInput(&backEnd, 0x8012, 18, in, in, &rec);
    }
    done = true;
    recorder.join();
    EXPECT_EQ(taken, kBlocks);
    EXPECT_EQ(engine().captureBlocksWritten.load(), kBlocks);
}

// With the test oscillator on, the monitor captures the tone: each block
// holds it without a seam, exactly as the generator makes it.
TEST_F(CaptureRingTest, TheOscillatorIsCapturedWithoutSeams) {
    COscClass.setOscFS(kRate);
    COscClass.setOscFreq(1000);
    COscClass.setOscLevel(-6.0);
    COscClass.mWaveType = kOscSine;
    COscClass.sOscOff();
    COscClass.sOscOn();
    gAudioThread_setMonitorStatus(true);
    std::vector<float> out(2 * 512), in(2 * 512, 0.5f);
    tCoreAudioParams params;
    params.inFrames = 512;
    for (int i = 0; i < 8; ++i)
        bufferSwitchCoreAudioQueue(engine(), kRate, 0x8012, 512, reinterpret_cast<unsigned char *>(out.data()),
                                   reinterpret_cast<unsigned char *>(in.data()), 2, &params, 2, 18);
    ASSERT_EQ(engine().captureBlocksWritten.load(), 1);
    oscillatorMain reference;
    reference.setOscFS(kRate);
    reference.setOscFreq(1000);
    reference.setOscLevel(-6.0);
    reference.sOscOn();
    std::vector<double> tone(2 * kBlock);
    reference.generateSineWave(tone.data(), kBlock);
    for (int i = 0; i < 2 * kBlock; ++i) ASSERT_EQ(work[0][i], tone[i]) << i;
}

// A ring that runs dry in the middle of a buffer: what the buffer already
// played stays, silence follows. 1024-frame blocks, 768-frame buffers: the
// fifth buffer plays the rest of block 1 (512 frames), then finds only one
// complete block ahead.
TEST_F(CaptureRingTest, ARingThatRunsDryMidBufferKeepsWhatItPlayed) {
    gAudioThread_setMonitorBufferSize(1024);
    gAudioThread_setMonitorStatus(true);
    constexpr int kFrames = 768;
    std::vector<float> out(2 * kFrames), in(2 * kFrames);
    tCoreAudioParams params;
    params.inFrames = kFrames;
    for (int buffer = 0; buffer < 5; ++buffer) {
        for (int i = 0; i < kFrames; ++i)
            for (int c = 0; c < 2; ++c) in[2 * i + c] = inputSample(uint64_t(buffer) * kFrames + uint64_t(i), c);
        std::fill(out.begin(), out.end(), 9.0f);
        bufferSwitchCoreAudioQueue(engine(), kRate, 0x8012, kFrames, reinterpret_cast<unsigned char *>(out.data()),
                                   reinterpret_cast<unsigned char *>(in.data()), 2, &params, 2, 18);
    }
    EXPECT_EQ(engine().captureBlocksWritten.load(), 3);
    EXPECT_EQ(engine().monitorBlocksPlayed.load(), 2);
    // Block 1 from frame 512 on is input frames 1536..2047, faded in by now.
    for (int i = 0; i < 512; ++i)
        for (int c = 0; c < 2; ++c) {
            const double ratio = double(out[2 * i + c]) / inputSample(1536 + uint64_t(i), c);
            ASSERT_TRUE(ratio > 0.5 && ratio <= 1.0) << i << " " << c << " " << out[2 * i + c];
        }
    for (int i = 2 * 512; i < 2 * kFrames; ++i) ASSERT_EQ(out[i], 0.0f) << i;
}

// Recording end to end: the virtual device's input goes through the buffer
// switch into the ring, and the recorder, on its own thread, writes it into
// a float WAV. The file holds every complete block bit for bit as the device
// delivered it: batches written while recording goes on, the ring wrapped
// (73 blocks through 64), the rest at the stop, the unfinished block left out.
TEST_F(CaptureRingTest, TheRecorderWritesTheDeviceInputBitExact) {
    sxtest::TempDir dir;
    const std::string path = dir.file("take.wav");
    rtbridge::Bridge bridge;
    ASSERT_NO_FATAL_FAILURE(bridge.open(rtbridge::kPcmFloat, kRate, 512, 2, true));
    vdev_setInputGenerator(generateInput, nullptr);
    gAudioThread_setMonitorStatus(true);

    std::atomic<int> stopped{0};
    {
        recEngineThread recorder;
        QObject::connect(
            &recorder, &recEngineThread::recStopped, &recorder, [&] { ++stopped; }, Qt::DirectConnection);
        tRecParameters p;
        p.path = QString::fromStdString(path).toStdU16String();
        p.rate = int32_t(kRate);
        p.bits = 32;
        p.channels = 2;
        p.blockFrames = kBlock;
        p.format = kRecFormatWav;
        recorder.setRecParameters(&p);
        recorder.addTransaction(new ClassRecEngine);
        recorder.recStart();
        ASSERT_TRUE(engtest::waitFor([&] { return recorder.isFileCreated(); }));

        // Two rounds of 34 blocks: more than a batch waits, so each is
        // written while recording goes on. The recorder may take a batch
        // while a round is still arriving; what comes after it stays until
        // the next batch, so a round is done once less than a batch waits.
        for (int round = 0; round < 2; ++round) {
            ASSERT_NO_FATAL_FAILURE(bridge.run(34 * 8));
            ASSERT_TRUE(engtest::waitFor([] { return tellRecordableBlocks(0) <= kRecBatchBlocks; }))
                << "round " << round << ": " << tellRecordableBlocks(0) << " blocks not taken";
        }
        ASSERT_NO_FATAL_FAILURE(bridge.run(5 * 8 + 3));
        recorder.recStop();
        ASSERT_TRUE(engtest::waitFor([&] { return stopped.load() == 1; }));
        EXPECT_EQ(recorder.lastResult(), kRecOk);
    }
    EXPECT_EQ(engine().captureBlocksWritten.load(), 73);

    gClass_WavFile wav;
    sxtest::File f(path, "rb");
    ASSERT_NE(f.fp, nullptr);
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t tag = 0;
    ASSERT_EQ(wav.searchFmtChunk(f.fp, &rate, &bits, &channels, &tag), 0);
    EXPECT_EQ(rate, kRate);
    EXPECT_EQ(bits, 32u);
    ASSERT_EQ(channels, 2u);
    uint64_t offset = 0, bytes = 0, audio = 0;
    ASSERT_EQ(wav.searchData(f.fp, &offset, &bytes, &audio), 0);
    ASSERT_EQ(bytes, uint64_t(73) * kBlock * 2 * 4);
    std::fseek(f.fp, 0, SEEK_END);
    EXPECT_EQ(uint64_t(std::ftell(f.fp)), offset + bytes) << "the header counts every byte";
    std::vector<float> samples(bytes / 4);
    std::fseek(f.fp, long(offset), SEEK_SET);
    ASSERT_EQ(std::fread(samples.data(), 4, samples.size(), f.fp), samples.size());
    size_t wrong = 0, firstWrong = 0;
    for (size_t t = 0; t < samples.size() / 2; ++t)
        for (int c = 0; c < 2; ++c) {
            const float want = inputSample(t, c);
            if (std::memcmp(&samples[2 * t + size_t(c)], &want, 4) != 0 && wrong++ == 0) firstWrong = t;
        }
    EXPECT_EQ(wrong, 0u) << "first at frame " << firstWrong;
}

}  // namespace
