// The buffer switch driven buffer by buffer with a hand-made ring: the
// bookkeeping, the chunking at block ends, the play gate, the end of the
// material and the stop, against a back-end that records what it is asked
// to do (and the real Core Audio back-end where the written samples matter).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "dsp/oscillator.h"
#include "engine/audiothread.h"
#include "engine/bufferswitch.h"
#include "engine/rtdiag.h"
#include "engine/capturering.h"
#include "engine/coreaudiofunc.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/playbackproducer.h"
#include "enginetestutil.h"

namespace {

// Records every call; moves the output like 32-bit PCM.
class RecordingBackEnd : public CAudioThreadFunc {
public:
    struct Call {
        char what;  // z silence, s tone, p programme, c capture, w captured tone
        int frames;
        int offset0, index0, offset1, index1;
        unsigned char *out;
    };
    std::vector<Call> calls;

    int getBitLength(int) override { return 32; }
    void copy0DataToAudioDriverBuffer(int, int frames, unsigned char *out, unsigned char *, int) override {
        calls.push_back({'z', frames, 0, 0, 0, 0, out});
    }
    void sineWaveToAudioDriverBuffer(int, int frames, unsigned char *out, unsigned char *,
                                     tBufferSwitchParams *) override {
        calls.push_back({'s', frames, 0, 0, 0, 0, out});
    }
    int convertDataToAudioDriverBuffer(int, int frames, const int *offsets, double **const *, const int *indices,
                                       unsigned char **outputs, unsigned char **, tBufferSwitchParams *) override {
        calls.push_back({'p', frames, offsets[0], indices[0], offsets[1], indices[1], outputs[0]});
        return 0;
    }
    void convertAudioDriverToWorkBuffer(int, int frames, double *, const unsigned char *, const unsigned char *,
                                        tBufferSwitchParams *) override {
        calls.push_back({'c', frames, 0, 0, 0, 0, nullptr});
    }
    void SineWaveToWorkBuffer(int, int frames, double *, unsigned char *, unsigned char *,
                              tBufferSwitchParams *) override {
        calls.push_back({'w', frames, 0, 0, 0, 0, nullptr});
    }
    void incPlayBufferAddress(unsigned char **outputs, int frames, int, int channels, int) override {
        outputs[0] += int64_t(frames) * channels * 4;
    }
    int getFFTorder() override { return 16384; }
    int getCurrentBufferSize(int frames) override { return frames; }
    void measureInputSignals(int, int, unsigned char **, tBufferSwitchParams *) override {}

    std::vector<int> chunks() const {
        std::vector<int> v;
        for (const Call &c : calls)
            if (c.what == 'p') v.push_back(c.frames);
        return v;
    }
};

// A ring of kRingBlocks blocks for one track, published as the producer does.
struct Ring {
    std::vector<std::vector<double>> blocks;
    std::vector<double *> table;
    explicit Ring(int frames) : blocks(kRingBlocks), table(kRingBlocks) {
        for (int b = 0; b < kRingBlocks; ++b) {
            blocks[b].resize(size_t(frames) * 2);
            for (int i = 0; i < 2 * frames; ++i) blocks[b][i] = 0.001 * b + 1e-7 * i;
            table[b] = blocks[b].data();
        }
    }
    void publish(int track, int frames, int64_t produced) {
        engine().trackPcmBlocks[track] = table.data();
        engine().trackBlockFrames[track] = frames;
        engine().ringBlockFrames = frames;
        engine().producedCount[track].store(produced, std::memory_order_release);
    }
};

class BufferSwitchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        engtest::useBuiltLibrary();
        static audioThread first;  // sets up the engine and its back-ends
        ASSERT_EQ(initAudioIO_parameters(), 0);
    }
    engtest::FreshEngine mEngine;
    void SetUp() override {
        ASSERT_EQ(allocateAudioThreadMemories(), 0);
        ASSERT_EQ(initAudioThreadMemoryWhole(), 0);
        bufferSwitchReserve(engtest::kReserveFrames);
        mix = tMixParam();
        mix.trackCount = 1;
        mix.ch[0].LL = mix.ch[0].RR = mix.ch[1].LL = mix.ch[1].RR = 1.0;
        mix.masterGain = 1.0;
        gAudioThread_setMixParam(&mix);
        for (int t = 0; t < kMaxTracks; ++t) setAudioIoThreadId(-1, t);
        setMaxWaveLengthThreadID(0);
        initDsdParameters(44100);
        engine().playFs = 44100;
        engine().playingSample = 0;
        engine().delayConvFir = 17;
        engine().inputMonitorEnable = false;
        COscClass.sOscOff();
        engine().runningCom = &com;
        com = tMorphexCom();
        com.command = kMorphexComFeedOnly;
        gAudioThread_setOutputMonitorChannel(0, 2);
        gAudioThread_clearBufferSizeChanged();
    }
    void TearDown() override {
        engine().runningCom = &com;
        gAudioThread_setMixParam(nullptr);
    }

    // One buffer through bufferSwitchCommon with the recording back-end.
    void buffer(int frames, int inputFrames = 0) {
        std::vector<unsigned char> out(size_t(std::max(frames, 1)) * 8);
        std::vector<unsigned char> in(size_t(std::max(inputFrames, 1)) * 8);
        unsigned char *outs[kSwitchListEntries] = {out.data(), out.data(), out.data(), out.data()};
        unsigned char *ins[kSwitchListEntries] = {in.data(), in.data(), in.data(), in.data()};
        tBufferSwitchParams rec;
        rec.outputChannels = 2;
        rec.inputChannels = inputFrames ? 2 : 0;
        rec.inputFrames = inputFrames;
        bufferSwitchCommon(engine(), &be, 0, 0x8012, frames, outs, ins, &rec, 18);
    }
    void play() {
        engine().engineStatus = kEnginePlaying;
        engine().playRequest = 1;
        engine().playGate = true;
    }

    RecordingBackEnd be;
    tMixParam mix;
    tMorphexCom com;
};

TEST_F(BufferSwitchTest, BookkeepingCountsFramesNotesSizeChangesAndReloadsTheWatchdog) {
    const int64_t before = gAudioThread_getCurrentOutSampleCount();
    buffer(512);
    EXPECT_FALSE(gAudioThread_getBufferSizeChangedFlag());
    buffer(1024);
    EXPECT_TRUE(gAudioThread_getBufferSizeChangedFlag());
    EXPECT_EQ(gAudioThread_getAudioBufferFrameSize(), 1024);
    EXPECT_EQ(gAudioThread_getCurrentOutSampleCount() - before, 1536);
    // After a clear the next buffer never sets it, whatever its size.
    gAudioThread_clearBufferSizeChanged();
    buffer(256);
    EXPECT_FALSE(gAudioThread_getBufferSizeChangedFlag());
    // A pass without output (a separate input device's) is no buffer size.
    buffer(0, 256);
    EXPECT_FALSE(gAudioThread_getBufferSizeChangedFlag());
    EXPECT_EQ(gAudioThread_getAudioBufferFrameSize(), 256);
    EXPECT_EQ(gAudioThread_getRecBufferFrameSize(), 256);
    EXPECT_EQ(gAutioThread_getInputChannels(), 2);

    setWDT(20000);
    EXPECT_FALSE(downCountWDT(45));
    buffer(256);
    EXPECT_EQ(engine().wdtCounter.load(), 20000);
    EXPECT_EQ(sBackEndFftOrder.load(), 16384);
}

// One track with 100 frames waiting and a 512-frame buffer: the programme
// writer gets 100 frames, the buffer was silenced first and the track
// consumed 100. While the job runs (its producer fell behind) the play
// position moves only by the 100 played, so that the end of the material
// still comes after its last sample; once the job has ended the short rest
// is the tail and the buffer counts whole.
// A device buffer works on the engine the stream was handed (its client),
// whichever engine is current, and binds the back-end to that engine for
// the buffer.
TEST_F(BufferSwitchTest, ABufferWorksOnTheEngineItIsHandedNotTheCurrentOne) {
    engtest::FreshEngine other;  // current while its buffers are set up
    ASSERT_EQ(allocateAudioThreadMemories(), 0);
    ASSERT_EQ(initAudioThreadMemoryWhole(), 0);
    bufferSwitchReserve(engtest::kReserveFrames);
    engineMakeCurrent(&*mEngine);
    ASSERT_EQ(&engine(), &*mEngine);

    std::vector<float> out(1024, 7.0f);
    tCoreAudioParams params;
    bufferSwitchCoreAudioQueue(*other, 44100, 0x8012, 512, reinterpret_cast<unsigned char *>(out.data()), nullptr, 0,
                               &params, 2, 18);
    EXPECT_EQ(other->outputFrameCount.load(), 512);
    EXPECT_EQ(other->lastBufferFrames.load(), 512);
    EXPECT_EQ(engine().outputFrameCount.load(), 0) << "the current engine is not the stream's";
    EXPECT_EQ(engine().lastBufferFrames.load(), 0);
    EXPECT_EQ(pCAudioThreadCoreAudioFunc->boundEngine(), &*other);
    for (float v : out) ASSERT_EQ(v, 0.0f) << "a stopped engine's buffer is silent";

    bufferSwitchCoreAudioQueue(engine(), 44100, 0x8012, 256, reinterpret_cast<unsigned char *>(out.data()), nullptr, 0,
                               &params, 2, 18);
    EXPECT_EQ(engine().outputFrameCount.load(), 256);
    EXPECT_EQ(other->outputFrameCount.load(), 512);
    EXPECT_EQ(pCAudioThreadCoreAudioFunc->boundEngine(), &engine());
}

TEST_F(BufferSwitchTest, AShortRingPlaysWhatItHasAndSilenceAfter) {
    Ring ring(4096);
    ring.publish(0, 4096, 100);
    play();
    buffer(512);
    ASSERT_GE(be.calls.size(), 2u);
    EXPECT_EQ(be.calls[0].what, 'z');
    EXPECT_EQ(be.calls[0].frames, 512);
    EXPECT_EQ(be.chunks(), std::vector<int>{100});
    EXPECT_EQ(engine().consumedCount[0].load(), 100);
    EXPECT_EQ(getPlayingSample(), 100u);

    ring.publish(0, 4096, 200);
    engine().jobEnded[0] = true;
    be.calls.clear();
    buffer(512);
    EXPECT_EQ(be.chunks(), std::vector<int>{100});
    EXPECT_EQ(engine().consumedCount[0].load(), 200);
    EXPECT_EQ(getPlayingSample(), 612u);
    engine().jobEnded[0] = false;

    // The same through the Core Audio writers: the frames, then zeros.
    engine().consumedCount[0] = 0;
    ring.publish(0, 4096, 100);
    const double one[2] = {1.0, 1.0};
    engine().fadeVolLpf.setXdiret(one);
    engine().fadeVolLpf.setY_1direct(one);
    std::vector<float> out(1024, 7.0f);
    tCoreAudioParams params;
    bufferSwitchCoreAudioQueue(engine(), 44100, 0x8012, 512, reinterpret_cast<unsigned char *>(out.data()), nullptr, 0,
                               &params, 2, 18);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], i < 200 ? float(ring.blocks[0][i]) : 0.0f) << i;
}

// Chunks end at block ends; above 32 frames they are multiples of 32. An
// idle second track counts as having the widest block, so it never splits
// a chunk.
TEST_F(BufferSwitchTest, ChunksEndAtBlockEndsAndAnIdleTrackSplitsNothing) {
    Ring ring(4096);
    struct Row {
        int tracks;
        int64_t consumed;
        std::vector<int> chunks;
        std::vector<int> indices;
    } rows[] = {
        {1, 0, {512}, {0}},
        {1, 4010, {64, 22, 426}, {0, 0, 1}},        // 86 frames to the block end: 64, then the 22 left
        {1, 4096 * 63 + 4000, {96, 416}, {63, 0}},  // the last block wraps to block 0
        {2, 4010, {64, 22, 426}, {0, 0, 1}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.consumed);
        be.calls.clear();
        mix.trackCount = row.tracks;
        engine().consumedCount[0] = row.consumed;
        engine().consumedCount[1] = 0;
        ring.publish(0, 4096, row.consumed + 100000);
        play();
        buffer(512);
        EXPECT_EQ(be.chunks(), row.chunks);
        std::vector<int> indices;
        for (const auto &c : be.calls)
            if (c.what == 'p') {
                indices.push_back(c.index0);
                EXPECT_EQ(c.offset1, 0);  // the idle track stays at its start
            }
        EXPECT_EQ(indices, row.indices);
        EXPECT_EQ(engine().consumedCount[0].load(), row.consumed + 512);
        // The device output moved by each chunk.
        const RecordingBackEnd::Call *prev = nullptr;
        for (const auto &c : be.calls)
            if (c.what == 'p') {
                if (prev) EXPECT_EQ(c.out - prev->out, int64_t(prev->frames) * 8);
                prev = &c;
            }
    }
}

// The gate opens once more than one block of the longest track waits, or
// once the rest of that track is already in its ring.
TEST_F(BufferSwitchTest, PlayGateOpensOnMoreThanABlockOrTheRestOfTheTrack) {
    audioThread t;
    ASSERT_GE(t.getThreadIndex(), 0);
    Ring ring(1024);
    struct Row {
        uint32_t sourceRate;
        uint64_t sourceFrames;
        int64_t waiting;
        int64_t playing;
        bool open;
    } rows[] = {
        {44100, 1000000, 1024, 0, false},    // exactly one block, far from the end
        {44100, 1000000, 1025, 0, true},     // more than one block
        {44100, 2000, 1024, 0, false},       // 1024 + 17 < 2000
        {44100, 1041, 1024, 0, true},        // 1024 + 17 reaches the end
        {44100, 100000, 1024, 99000, true},  // near the end of a long track
        {0, 1000, 2048, 0, false},           // no source rate
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.sourceFrames);
        tMorphexParam record;
        tAudioFileInfo info;
        info.sampleRate = row.sourceRate;
        info.totalSamples = row.sourceFrames;
        t.setAudioThreadParam(kMorphexCmdPlay, &record, &info, nullptr, nullptr, 0, nullptr, 0);
        setAudioIoThreadId(t.getThreadIndex(), 0);
        engine().consumedCount[0] = 0;
        ring.publish(0, 1024, row.waiting);
        engine().playingSample = row.playing;
        engine().engineStatus = kEnginePlaying;
        engine().playRequest = 1;
        engine().playGate = false;
        buffer(64);
        EXPECT_EQ(engine().playGate.load(), row.open);
    }
    // Without a thread for the longest track the gate stays closed.
    setAudioIoThreadId(-1, 0);
    engine().playGate = false;
    ring.publish(0, 1024, 5000);
    buffer(64);
    EXPECT_FALSE(engine().playGate.load());
}

// Playback ends once the position passes the longest track's material less
// the conversion delay; a file-writing job, a mix-down feed and a stopped
// engine are left alone, and material shorter than the delay ends at once.
TEST_F(BufferSwitchTest, EndOfMaterial) {
    audioThread t;
    Ring ring(4096);
    struct Row {
        const char *what;
        uint64_t sourceFrames;
        int64_t offset;
        int64_t playing;
        uint32_t command;
        int32_t status;
        bool ends;
    } rows[] = {
        // 1000 - 17 = 983; the buffer itself moves the position by 64 first.
        {"before the end", 1000, 0, 983 - 65, kMorphexComFeedOnly, kEnginePlaying, false},
        {"reaches the end", 1000, 0, 983 - 64, kMorphexComFeedOnly, kEnginePlaying, true},
        {"a start offset moves the end", 1000, 500, 983, kMorphexComFeedOnly, kEnginePlaying, false},
        {"shorter than the delay", 10, 0, 0, kMorphexComFeedOnly, kEnginePlaying, true},
        {"an export job", 1000, 0, 5000, kMorphexComWriteFile, kEnginePlaying, false},
        {"a mix-down feed", 1000, 0, 5000, kMorphexComFeedOnly, kEngineBounceFeed, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        tMorphexParam record;
        tAudioFileInfo info;
        info.sampleRate = 44100;
        info.totalSamples = row.sourceFrames;
        t.setAudioThreadParam(kMorphexCmdPlay, &record, &info, nullptr, nullptr, 0, nullptr, row.offset);
        setAudioIoThreadId(t.getThreadIndex(), 0);
        com.command = row.command;
        engine().consumedCount[0] = 0;
        ring.publish(0, 4096, 1 << 20);
        engine().playingSample = row.playing;
        engine().engineStatus = row.status;
        engine().playRequest = row.status == kEnginePlaying ? 1 : 0;
        engine().playGate = row.status == kEnginePlaying;
        buffer(64);
        EXPECT_EQ(engine().engineStatus.load() == kEngineStopped, row.ends);
        EXPECT_EQ(engine().producedCount[0].load() == 0, row.ends);
        EXPECT_EQ(comWord(&com), row.ends ? row.command & ~uint32_t(kMorphexComFeedOnly) : row.command);
        if (row.ends) EXPECT_EQ(engine().playRequest.load(), 0);
    }
}

// Past the end of the material, a stopped engine keeps its ring and the
// capture positions of a running monitor alone.
TEST_F(BufferSwitchTest, AnEndedPlaybackLeavesTheMonitorsCaptureAlone) {
    audioThread t;
    tMorphexParam record;
    tAudioFileInfo info;
    info.sampleRate = 44100;
    info.totalSamples = 1000;
    t.setAudioThreadParam(kMorphexCmdPlay, &record, &info, nullptr, nullptr, 0, nullptr, 0);
    setAudioIoThreadId(t.getThreadIndex(), 0);
    engine().playingSample = 50000;
    std::vector<double> block(2 * 4096);
    for (int b = 0; b < kCaptureBlocks; ++b)
        ASSERT_EQ(gAudioThread_setMonitorBuffer(0, b, block.data(), nullptr, nullptr), 0);
    gAudioThread_setMonitorBufferSize(4096);
    gAudioThread_setMonitorStatus(true);
    for (int i = 0; i < 3; ++i) buffer(512, 512);
    EXPECT_EQ(engine().captureWriteOffset[0].load(), 1536);
    gAudioThread_setMonitorStatus(false);
    clearBufferParameters();
    for (int b = 0; b < kCaptureBlocks; ++b)
        ASSERT_EQ(gAudioThread_setMonitorBuffer(0, b, nullptr, nullptr, nullptr), 0);
}

// A stop while monitoring is carried out at once: the engine stops, the
// job is told, the ring and the capture positions are cleared.
TEST_F(BufferSwitchTest, AStopWhileMonitoringIsCarriedOutAtOnce) {
    Ring ring(4096);
    ring.publish(0, 4096, 50000);
    engine().consumedCount[0] = 1000;
    engine().captureWriteOffset[0] = 300;
    engine().monitorReadBlock[0] = 3;
    play();
    engine().inputMonitorEnable = true;
    engine().stopTimeoutMs = kStopTimeoutMs;
    engine().stopRequest = true;
    buffer(512);
    EXPECT_FALSE(engine().stopRequest.load());
    EXPECT_EQ(engine().engineStatus.load(), kEngineStopped);
    EXPECT_FALSE(engine().playGate.load());
    EXPECT_TRUE(engine().convAbort.load());
    EXPECT_EQ(comWord(&com) & kMorphexComFeedOnly, 0u);
    EXPECT_EQ(engine().producedCount[0].load(), 0);
    EXPECT_EQ(engine().trackPcmBlocks[0].load(), engine().dummyPlayTable);
    EXPECT_EQ(engine().captureWriteOffset[0].load(), 0);
    EXPECT_EQ(engine().monitorReadBlock[0].load(), 0);
    EXPECT_FALSE(gAudioThread_getPlayTimeoutFlag());
    engine().inputMonitorEnable = false;
}

// Pure DSD may pass while the automation is exactly 1 over the whole
// buffer, within one segment.
TEST_F(BufferSwitchTest, AutomationLevelAndThePureFadeFlag) {
    tDspVolItem ramp[kRtVolItems];
    ramp[0] = {100, 0.0, 0.0, 1};
    ramp[1] = {1100, 1.0, 0.0, 0};
    ramp[2] = {kDspVolEnd, 1.0, 0.0, 0};
    for (int i = 3; i < kRtVolItems; ++i) ramp[i].start = kDspVolEnd;
    int seg = 0;
    EXPECT_EQ(bufferSwitch_automationLevel(ramp, 50, &seg), 0.0);
    EXPECT_EQ(seg, -1);
    EXPECT_DOUBLE_EQ(bufferSwitch_automationLevel(ramp, 600, &seg), 0.5);
    EXPECT_EQ(seg, 1);
    EXPECT_EQ(bufferSwitch_automationLevel(ramp, 5000, &seg), 1.0);
    EXPECT_EQ(seg, 2);

    Ring ring(4096);
    struct Row {
        int64_t playing;
        double flatLevel;  // 0: the ramp above
        bool pure;
    } rows[] = {{2000, 0.0, true}, {700, 0.0, false}, {1000, 0.0, false}, {0, 0.9, false}, {0, 1.0, true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.playing);
        for (int i = 0; i < kRtVolItems; ++i) engine().volItems[i] = ramp[i];
        if (row.flatLevel != 0.0) {
            engine().volItems[0] = {0, row.flatLevel, 0.0, 0};
            engine().volItems[1] = {kDspVolEnd, row.flatLevel, 0.0, 0};
        }
        engine().dsdPureFade = !row.pure;
        engine().playingSample = row.playing;
        engine().consumedCount[0] = 0;
        ring.publish(0, 4096, 1 << 20);
        play();
        buffer(512);
        EXPECT_EQ(engine().dsdPureFade.load(), row.pure);
    }
}

// The buffers grow through the reserve only, never on the device thread: a
// DSD reserve larger than the main window's mute buffer gets a new one,
// idle-filled, in two halves (a PCM one never does); the test-signal and
// master buffers grow to it. A device buffer beyond the reserve goes out
// silent and asks for the buffers, and the GUI's drain grows them.
TEST_F(BufferSwitchTest, BuffersGrowOnlyThroughTheReserve) {
    std::vector<uint8_t> mine(2 * 65536, 0x96);
    engine().mutePatBuffer[0] = mine.data();
    engine().mutePatBuffer[1] = mine.data() + 65536;
    bufferSwitchReserve(600000);
    EXPECT_EQ(engine().mutePatBuffer[0], mine.data()) << "grown at a PCM rate";
    EXPECT_GE(engine().sineWaveBufSize, 600000);
    EXPECT_GE(engine().masterBufFrames, 600000);

    engine().playFs = 2822400;
    engine().delayConvFirMute = 17;
    bufferSwitchReserve(600000);
    ASSERT_NE(engine().mutePatBuffer[0], mine.data());
    ASSERT_NE(engine().mutePatBuffer[0], nullptr);
    const int64_t half = engine().mutePatBuffer[1] - engine().mutePatBuffer[0];
    EXPECT_GE(half, 75000);
    for (int64_t i = 0; i < 2 * half; ++i) ASSERT_EQ(engine().mutePatBuffer[0][i], 0x96) << i;
    uint8_t *grown = engine().mutePatBuffer[0];
    bufferSwitchReserve(600000);
    EXPECT_EQ(engine().mutePatBuffer[0], grown) << "regrown without need";

    (void)rtDiag_take(nullptr);
    be.calls.clear();
    buffer(700000);
    EXPECT_LT(engine().masterBufFrames, 700000) << "grown on the device thread";
    ASSERT_FALSE(be.calls.empty());
    for (const auto &c : be.calls) EXPECT_EQ(c.what, 'z') << "a buffer beyond the reserve is silence";
    EXPECT_EQ(rtDiag_drain() & kRtDiagBufferTooLarge, uint32_t(kRtDiagBufferTooLarge));
    EXPECT_GE(engine().masterBufFrames, 700000);
    buffer(700000);
    EXPECT_EQ(rtDiag_take(nullptr), 0u) << "the next buffer fits";

    freeAudhioThreadMemories();
    EXPECT_EQ(engine().mutePatBuffer[0], nullptr);
    EXPECT_EQ(engine().sineWaveBuffer[0], nullptr);
    EXPECT_EQ(initAudioIO_parameters(), 0);  // the idle buffer back
}

TEST_F(BufferSwitchTest, ExportWindowStatus) {
    struct Row {
        int32_t status;
        bool finished;
        int track;
        int result;
        bool endNoted;
    } rows[] = {
        {kEnginePlaying, false, 0, 0, false},   {kEngineBounceFeed, false, 3, 0, true},
        {kEngineBounceFeed, true, 3, -1, true}, {kEngineStopped, false, 0, -1, false},
        {kEngineStopped, false, 40, -1, false},
    };
    for (const Row &row : rows) {
        engine().engineStatus = row.status;
        engine().bounceFinished = row.finished;
        for (auto &e : engine().bounceEnded) e = false;
        EXPECT_EQ(checkPlayStatusDo(row.track), row.result) << row.status << " " << row.track;
        if (row.track < kMaxTracks) EXPECT_EQ(engine().bounceEnded[row.track].load(), row.endNoted);
    }
    engine().engineStatus = kEnginePlaying;
    EXPECT_EQ(checkPlayStatusImmd(), 0);
}

// The Core Audio entry: whatever output the monitor output starts at, the
// device output is written, never the input buffer.
TEST_F(BufferSwitchTest, TheCoreAudioEntryWritesItsOutputWhateverTheFirstOutputChannel) {
    gAudioThread_setOutputMonitorChannel(2, 8);
    EXPECT_EQ(engine().maxOutputs.load(), 8);
    COscClass.setOscFS(44100);
    COscClass.setOscLevel(0.0);
    COscClass.mWaveType = kOscSine;
    COscClass.sOscOn();
    std::vector<float> out(512 * 2), in(512 * 2, 0.25f);
    tCoreAudioParams params;
    params.inFrames = 512;
    bufferSwitchCoreAudioQueue(engine(), 44100, 0x8012, 512, reinterpret_cast<unsigned char *>(out.data()),
                               reinterpret_cast<unsigned char *>(in.data()), 2, &params, 2, 18);
    COscClass.sOscOff();
    double peak = 0.0;
    for (float v : out) peak = std::max(peak, double(std::fabs(v)));
    EXPECT_GT(peak, 0.9);
    for (float v : in) ASSERT_EQ(v, 0.25f);
    gAudioThread_setOutputMonitorChannel(0, 2);
    EXPECT_EQ(engine().maxOutputs.load(), 4);
}

}  // namespace
