// The Core Audio back-end's writers, known answers per type code: silence,
// the programme (PCM clipping and routing, DoP markers carried across
// calls, mono DSD), the test tone and the captured input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "dsp/oscillator.h"
#include "engine/analysisrings.h"
#include "engine/audiothread.h"
#include "engine/capturering.h"
#include "engine/coreaudiofunc.h"
#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/rtdiag.h"
#include "enginetestutil.h"

namespace {

constexpr float kDopIdle05 = 0.04365801811218262f;   // 05 96 96 00 x 2^-31
constexpr float kDopIdleFA = -0.04227948188781738f;  // FA 96 96 00 x 2^-31
constexpr float kNativeIdle = -0.82354736328125f;    // 96 96 00 00 x 2^-31
constexpr double k2p55 = 36028797018963968.0;

using Bytes = std::vector<uint8_t>;

Bytes floatBytes(const std::vector<float> &f) {
    Bytes b(f.size() * 4);
    std::memcpy(b.data(), f.data(), b.size());
    return b;
}

float wordFloat(uint32_t w) { return float(int32_t(w) * (1.0 / 2147483648.0)); }

uint32_t floatWord(const uint8_t *p) {
    float f;
    std::memcpy(&f, p, 4);
    return uint32_t(int32_t(std::lrint(double(f) * 2147483648.0)));
}

class CoreAudioWriters : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        engtest::useBuiltLibrary();
        static audioThread first;  // sets up the engine
    }
    engtest::FreshEngine mEngine;
    void SetUp() override {
        mix = tMixParam();
        mix.trackCount = 1;
        mix.ch[0].LL = mix.ch[0].RR = 1.0;
        mix.masterGain = 1.0;
        gAudioThread_setMixParam(&mix);
        for (int t = 0; t < kMaxTracks; ++t) setAudioIoThreadId(-1, t);
        initDsdParameters(44100);
        engineApplyOutputRequests();  // as the device's next buffer does
        const double one[2] = {1.0, 1.0};
        engine().fadeVolLpf.setXdiret(one);
        engine().fadeVolLpf.setY_1direct(one);
        setMasterVolDsp(0.0);
        gOutputPatch[0] = kOutputPatchMaster;
        for (int i = 1; i < kOutputPatchSize; ++i) gOutputPatch[i] = -1;
        gAudioThread_publishMixParam();
        COscClass.sOscOff();
        for (int i = 0; i < 2; ++i) {
            _aligned_free(engine().masterBuf[i]);
            engine().masterBuf[i] = static_cast<double *>(_aligned_malloc(kFrames * 16, 16));
        }
        engine().masterBufFrames = kFrames;
        ASSERT_EQ(initAudioThreadMemoryWhole(), 0);
        for (int b = 0; b < kRingBlocks; ++b) {
            block[b].assign(2 * kFrames, 0.0);
            table[b] = block[b].data();
            dsdLeft[b].assign(kFrames / 8 + 8, 0xFF);
            dsdRight[b].assign(kFrames / 8 + 8, 0x00);
            dsdTable[2 * b] = dsdLeft[b].data();
            dsdTable[2 * b + 1] = dsdRight[b].data();
        }
        for (auto &t : tables) t = engine().dummyPlayTable;
        tables[0] = table;
        rec = tBufferSwitchParams();
        rec.outputChannels = 2;
        rec.masterBuffer = engine().masterBuf;
    }
    void TearDown() override { gAudioThread_setMixParam(nullptr); }

    // The engine at 2.8224 MHz with the fade level at 1.
    void dsdRate() {
        initDsdParameters(2822400);
        engineApplyOutputRequests();
        engine().playFs = 2822400;
        const double one[2] = {1.0, 1.0};
        engine().fadeVolLpf.setXdiret(one);
        engine().fadeVolLpf.setY_1direct(one);
    }

    int programme(int type, int frames, unsigned char *out) {
        unsigned char *outs[kSwitchListEntries] = {out, out, out, out};
        return f.convertDataToAudioDriverBuffer(type, frames, offsets, tables, indices, outs, dsdTable, &rec);
    }

    static constexpr int kFrames = 4096;
    gCAudioThreadCoreAudioFunc f;
    const bool reserved = f.reserve(kFrames);  // as the stream set-up does
    tMixParam mix;
    tBufferSwitchParams rec;
    std::vector<double> block[kRingBlocks];
    double *table[kRingBlocks];
    double **tables[kMaxTracks];
    Bytes dsdLeft[kRingBlocks], dsdRight[kRingBlocks];
    unsigned char *dsdTable[kDsdIdleRow];
    int offsets[kMaxTracks] = {};
    int indices[kMaxTracks] = {};
};

// Each layout's silence over exactly the bytes of the buffer: 64 frames
// (DSD: bits), two channels.
TEST_F(CoreAudioWriters, SilencePerTypeCodeFillsExactlyTheBuffer) {
    const float a = kDopIdle05, b = kDopIdleFA, n = kNativeIdle;
    struct Row {
        int type;
        int channels;
        Bytes expected;
    } rows[] = {
        {18, 2, Bytes(512, 0)},
        {0x8012, 2, Bytes(512, 0)},
        {0x8021, 2, floatBytes({a, a, b, b, a, a, b, b})},
        {33, 2, {0x05, 0x96, 0x96, 0x05, 0x96, 0x96, 0xFA, 0x96, 0x96, 0xFA, 0x96, 0x96,
                 0x05, 0x96, 0x96, 0x05, 0x96, 0x96, 0xFA, 0x96, 0x96, 0xFA, 0x96, 0x96}},
        {40, 2, {0x05, 0x96, 0x96, 0x05, 0x96, 0x96, 0xFA, 0x96, 0x96, 0xFA, 0x96, 0x96,
                 0x05, 0x96, 0x96, 0x05, 0x96, 0x96, 0xFA, 0x96, 0x96, 0xFA, 0x96, 0x96}},
        {0x8021, 1, floatBytes({a, b, a, b})},
        {0x18021, 2, floatBytes({n, n, n, n, n, n, n, n})},
        {0x38021, 2, Bytes(32, 0)},
        {0x10021, 2, Bytes(16, 0x96)},
        {0x8021, 0, {}},
        {19, 2, {}},  // not a type this back-end writes
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + " x" + std::to_string(row.channels));
        Bytes buf(1024, 0xEE);
        f.copy0DataToAudioDriverBuffer(row.type, 64, buf.data(), nullptr, row.channels);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + row.expected.size()), row.expected);
        for (size_t i = row.expected.size(); i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << "overrun at " << i;
    }
}

// PCM: the master (or a track's block routed straight to a column) times
// fade level and volume, clipped to full scale; nothing when no column is
// routed; an idle track is silence; a one-channel device gets the left.
TEST_F(CoreAudioWriters, PcmProgrammeClipsAtFullScaleAndFollowsThePatch) {
    const double src[4][2] = {{1.5, -1.5}, {0.25, -0.5}, {1.0, -1.0}, {0.999999, 2e-10}};
    for (int i = 0; i < 4; ++i) {
        block[0][2 * i] = src[i][0];
        block[0][2 * i + 1] = src[i][1];
    }
    engine().producedCount[0] = kFrames;
    struct Row {
        const char *what;
        int type;
        int route;
        int channels;
        bool written;
        bool silent;
    } rows[] = {
        {"float master", 0x8012, kOutputPatchMaster, 2, true, false},
        {"integer master", 18, kOutputPatchMaster, 2, true, false},
        {"nothing routed", 0x8012, -1, 2, false, false},
        {"track 0 straight", 0x8012, 0, 2, true, false},
        {"an idle track", 0x8012, 5, 2, true, true},
        {"one output channel", 0x8012, kOutputPatchMaster, 1, true, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        gOutputPatch[0] = row.route;
        gAudioThread_publishMixParam();
        rec.outputChannels = row.channels;
        Bytes out(4 * 2 * 4 + 64, 0xEE);
        engine().clearPeakHold = true;
        ASSERT_EQ(programme(row.type, 4, out.data()), 0);
        const size_t bytes = 4 * size_t(row.channels) * 4;
        for (size_t i = bytes; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "overrun at " << i;
        if (!row.written) {
            for (size_t i = 0; i < bytes; ++i) ASSERT_EQ(out[i], 0xEE);
            continue;
        }
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < row.channels; ++c) {
                const double v = row.silent ? 0.0 : std::clamp(src[i][c], -1.0, 1.0);
                const uint8_t *p = out.data() + (i * row.channels + c) * 4;
                if (row.type == 18) {
                    int32_t w;
                    std::memcpy(&w, p, 4);
                    EXPECT_EQ(w, int32_t(std::lrint(v * 2147483647.0))) << i << "/" << c;
                } else {
                    float x;
                    std::memcpy(&x, p, 4);
                    EXPECT_EQ(x, float(v)) << i << "/" << c;
                }
            }
        // The master peak, in 32-bit integer units, of the clipped output.
        if (!row.silent) EXPECT_EQ(gPeakHoldVal[0].load(), 2147483647.0);
    }
    gOutputPatch[0] = kOutputPatchMaster;
    gAudioThread_publishMixParam();
}

// DoP markers run on from one call to the next (also across a call with an
// odd number of words); the 24-bit words likewise.
TEST_F(CoreAudioWriters, DopMarkersAlternateAcrossCalls) {
    dsdRate();
    engine().producedCount[0] = kFrames;
    for (int type : {0x8021, 33}) {
        SCOPED_TRACE(type);
        const int width = type == 33 ? 3 : 4;
        std::vector<uint8_t> markers;
        for (int frames : {48, 64, 16}) {  // 3, 4 and 1 words per channel
            Bytes out(size_t(frames / 16) * 2 * width, 0);
            ASSERT_EQ(programme(type, frames, out.data()), 0);
            for (int k = 0; k < frames / 16; ++k) {
                const uint8_t *l = out.data() + (2 * k) * width, *r = out.data() + (2 * k + 1) * width;
                const uint8_t ml = type == 33 ? l[0] : uint8_t(floatWord(l) >> 24);
                const uint8_t mr = type == 33 ? r[0] : uint8_t(floatWord(r) >> 24);
                EXPECT_EQ(ml, mr) << k;
                markers.push_back(ml);
                if (type != 33) EXPECT_EQ(floatWord(l) & 0xFF, 0u);
            }
        }
        ASSERT_EQ(markers.size(), 8u);
        for (size_t i = 0; i < markers.size(); ++i) {
            EXPECT_TRUE(markers[i] == 0x05 || markers[i] == 0xFA) << i;
            if (i) EXPECT_EQ(markers[i], uint8_t(~markers[i - 1])) << "at word " << i;
        }
    }
}

// A mono source plays its left channel on both; a stereo one does not. A
// DSD chunk that is not whole DoP words is reported.
TEST_F(CoreAudioWriters, MonoDsdSourcesReachBothChannels) {
    dsdRate();
    engine().producedCount[0] = kFrames;
    for (int i = 0; i < kFrames; ++i) {
        block[0][2 * i] = 0.5 * k2p55;
        block[0][2 * i + 1] = -0.5 * k2p55;
    }
    audioThread t;
    for (uint32_t channels : {2u, 1u}) {
        tMorphexParam record;
        tAudioFileInfo info;
        info.sampleRate = 2822400;
        info.channels = channels;
        t.setAudioThreadParam(kMorphexCmdPlay, &record, &info, nullptr, nullptr, 0, nullptr, 0);
        setAudioIoThreadId(t.getThreadIndex(), 0);
        Bytes out(64 * 2 * 4);
        ASSERT_EQ(programme(0x18021, 1024, out.data()), 0);
        int same = 0;
        for (int k = 0; k < 64; ++k) same += floatWord(&out[(2 * k) * 4]) == floatWord(&out[(2 * k + 1) * 4]);
        if (channels == 1)
            EXPECT_EQ(same, 64);
        else
            EXPECT_LT(same, 32);
    }
    setAudioIoThreadId(-1, 0);

    // A chunk that is no whole number of words is reported from the GUI
    // thread, never printed on the device thread.
    (void)rtDiag_take(nullptr);
    testing::internal::CaptureStdout();
    Bytes out(8 * 2 * 4);
    ASSERT_EQ(programme(0x8021, 100, out.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    int64_t values[kRtDiagCount] = {};
    EXPECT_EQ(rtDiag_take(values), uint32_t(kRtDiagOddDsdChunk));
    EXPECT_EQ(values[1], 100);
}

// The test tone: a full-level integer sine peaks at 2137483647, floats at
// 1.0; the fixed pattern goes out as its word in every layout; the master
// peak follows the level (DSD: half of it) or the word.
TEST_F(CoreAudioWriters, TestTonePeaksAndPatternLayouts) {
    std::vector<double> sine(2 * 1024), work(2 * 1024);
    engine().sineWaveBuffer[0] = sine.data();
    engine().sineWaveBuffer[1] = work.data();
    engine().sineWaveBufSize = 1024;
    COscClass.setOscFS(48000);
    COscClass.setOscFreq(12000);  // a quarter of the rate: the first sample is the crest
    COscClass.setOscLevel(0.0);
    COscClass.mWaveType = kOscSine;
    for (int type : {18, 0x8012}) {
        COscClass.sOscOff();
        COscClass.sOscOn();
        Bytes out(256 * 8);
        f.sineWaveToAudioDriverBuffer(type, 256, out.data(), nullptr, &rec);
        if (type == 18) {
            int32_t first, most = 0;
            std::memcpy(&first, out.data(), 4);
            EXPECT_EQ(first, 2137483647);
            for (size_t i = 0; i < out.size(); i += 4) {
                int32_t w;
                std::memcpy(&w, &out[i], 4);
                most = std::max(most, std::abs(w));
            }
            EXPECT_EQ(most, 2137483647);
        } else {
            float first;
            std::memcpy(&first, out.data(), 4);
            EXPECT_EQ(first, 1.0f);
        }
        EXPECT_EQ(gPeakHoldVal[0].load(), 2147483647.0);
    }

    // The fixed pattern 0xA53CA53C.
    COscClass.mWaveType = kOscFixedPattern;
    COscClass.mPattern = int32_t(0xA53CA53Cu);
    const float p05 = wordFloat(0x05A53C00u), pFA = wordFloat(0xFAA53C00u), pn = wordFloat(0xA53C0000u);
    struct Row {
        int type;
        int frames;
        Bytes expected;
    } rows[] = {
        {18, 2, {0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5, 0x3C, 0xA5}},
        {0x8012, 2,
         floatBytes({wordFloat(0xA53CA53Cu), wordFloat(0xA53CA53Cu), wordFloat(0xA53CA53Cu), wordFloat(0xA53CA53Cu)})},
        {0x8021, 32, floatBytes({p05, p05, pFA, pFA})},
        {33, 32, {0x05, 0xA5, 0x3C, 0x05, 0xA5, 0x3C, 0xFA, 0xA5, 0x3C, 0xFA, 0xA5, 0x3C}},
        {0x18021, 32, floatBytes({pn, pn, pn, pn})},
        {0x10021, 32, {0xA5, 0xA5, 0x3C, 0x3C, 0xA5, 0xA5, 0x3C, 0x3C}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.type);
        Bytes out(row.expected.size() + 16, 0xEE);
        f.sineWaveToAudioDriverBuffer(row.type, row.frames, out.data(), nullptr, &rec);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + row.expected.size()), row.expected);
        for (size_t i = row.expected.size(); i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
        EXPECT_EQ(gPeakHoldVal[0].load(), -1522752196.0);
    }

    // A DSD sine: modulated, peak at half the level.
    COscClass.mWaveType = kOscSine;
    COscClass.setOscFS(2822400);
    COscClass.setOscFreq(1000);
    COscClass.setOscLevel(-6.0);
    Bytes out(64 * 2 * 4);
    f.sineWaveToAudioDriverBuffer(0x8021, 1024, out.data(), nullptr, &rec);
    EXPECT_DOUBLE_EQ(gPeakHoldVal[0].load(), COscClass.getOscLevel() * 0.5);

    // White noise plays as noise, not as the pattern word.
    COscClass.setOscFS(48000);
    COscClass.setOscLevel(-6.0);
    COscClass.mWaveType = kOscWhiteNoise;
    Bytes noise(256 * 8);
    f.sineWaveToAudioDriverBuffer(0x8012, 256, noise.data(), nullptr, &rec);
    std::vector<float> v(512);
    std::memcpy(v.data(), noise.data(), noise.size());
    int distinct = 0;
    for (size_t i = 2; i < v.size(); i += 2) distinct += v[i] != v[i - 2];
    EXPECT_GT(distinct, 200);
    COscClass.mWaveType = kOscSine;
    engine().sineWaveBuffer[0] = engine().sineWaveBuffer[1] = nullptr;
    engine().sineWaveBufSize = 0;
}

// Captured input: the record's pair (from its first input channel, mono
// twice) from rec->capturedFrames on, into the work frames at the capture
// offset, nothing else touched.
TEST_F(CoreAudioWriters, CapturedInputBecomesWorkFrames) {
    std::atomic<int32_t> writeOffsets[kMaxTracks] = {};
    writeOffsets[0] = 3;
    rec.captureWriteOffsets = writeOffsets;
    rec.capturedFrames = 1;
    const double s = 1.0 / 2147483648.0;
    struct Row {
        const char *what;
        int type;
        int channels;
        int firstChannel;
        Bytes input;                   // two frames after the first, which is skipped
        std::vector<double> expected;  // two stereo frames
    } rows[] = {
        {"16-bit",
         16,
         2,
         0,
         {9, 9, 9, 9, 0x00, 0x40, 0x00, 0xC0, 0x01, 0x00, 0xFF, 0xFF},
         {0.5, -0.5, 65536 * s, -65536 * s}},
        {"24-bit",
         17,
         2,
         0,
         {9, 9, 9, 9, 9, 9, 0x00, 0x00, 0x40, 0x01, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0, 0, 0},
         {0.5, -1.0 + 256 * s, -256 * s, 0.0}},
        {"floats, the second pair of four",
         18,
         4,
         2,
         floatBytes({9, 9, 9, 9, 1, 2, 0.25f, -0.75f, 3, 4, 0.5f, 1.0f}),
         {0.25, -0.75, 0.5, 1.0}},
        {"floats, mono", 19, 1, 0, floatBytes({9, 0.125f, -0.25f}), {0.125, 0.125, -0.25, -0.25}},
        {"255 channels", 18, 255, 0, Bytes(3 * 255 * 4, 0x3F), {0, 0, 0, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        rec.inputChannels = row.channels;
        rec.firstInputChannel = row.firstChannel;
        std::vector<double> work(2 * 8, -7.0);
        f.convertAudioDriverToWorkBuffer(row.type, 2, work.data(), row.input.data(), row.input.data(), &rec);
        for (int i = 0; i < 16; ++i) {
            const double want = i >= 6 && i < 10 ? row.expected[size_t(i - 6)] : -7.0;
            EXPECT_EQ(work[size_t(i)], want) << i;
        }
        EXPECT_EQ(f.captureOffset(), 3);
    }

    // DoP words in floats: bits 23..8 become +-2^55, earliest first.
    rec.inputChannels = 2;
    rec.firstInputChannel = 0;
    rec.capturedFrames = 16;  // one word already captured
    writeOffsets[0] = 0;
    const std::vector<float> words = {wordFloat(0x05FFFF00u), wordFloat(0x05FFFF00u), wordFloat(0xFA800100u),
                                      wordFloat(0xFA000080u)};
    const Bytes in = floatBytes(words);
    std::vector<double> work(2 * 16, 0.0);
    f.convertAudioDriverToWorkBuffer(0x8021, 16, work.data(), in.data(), in.data(), &rec);
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(work[2 * j], (0x8001 >> (15 - j)) & 1 ? k2p55 : -k2p55) << j;
        EXPECT_EQ(work[2 * j + 1], -k2p55) << j;
    }
}

// The captured test signal lands at the capture offset, as input would, and
// its DSD bytes only in buffers that hold them.
TEST_F(CoreAudioWriters, TheCapturedTestSignalLandsAtTheCaptureOffset) {
    std::vector<double> sine(2 * 64), work(2 * 64, -7.0);
    engine().sineWaveBuffer[0] = sine.data();
    engine().sineWaveBufSize = 64;
    std::atomic<int32_t> writeOffsets[kMaxTracks] = {};
    writeOffsets[0] = 16;
    rec.captureWriteOffsets = writeOffsets;
    COscClass.setOscFS(48000);
    COscClass.setOscFreq(1000);
    COscClass.mWaveType = kOscSine;
    COscClass.sOscOn();
    f.SineWaveToWorkBuffer(0x8012, 32, work.data(), nullptr, nullptr, &rec);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(work[size_t(i)], -7.0) << i;
    for (int i = 32; i < 96; ++i) EXPECT_EQ(work[size_t(i)], sine[size_t(i - 32)]) << i;
    for (int i = 96; i < 128; ++i) EXPECT_EQ(work[size_t(i)], -7.0) << i;

    // DSD: 32 bits into buffers of 16 bits would overrun; they stay as they are.
    ASSERT_EQ(gAudioThread_allocateDsdBuffer(2, 16), 0);
    sDsdRecBuffer[0][0] = sDsdRecBuffer[0][1] = 0x11;
    f.SineWaveToWorkBuffer(0x8021, 32, work.data(), sDsdRecBuffer[0], sDsdRecBuffer[1], &rec);
    EXPECT_EQ(sDsdRecBuffer[0][0], 0x11);
    ASSERT_EQ(gAudioThread_allocateDsdBuffer(2, 32), 0);
    sDsdRecBuffer[0][0] = sDsdRecBuffer[0][1] = 0x11;
    f.SineWaveToWorkBuffer(0x8021, 32, work.data(), sDsdRecBuffer[0], sDsdRecBuffer[1], &rec);
    EXPECT_FALSE(sDsdRecBuffer[0][0] == 0x11 && sDsdRecBuffer[0][1] == 0x11);
    gAudioThread_freeDsdBuffer();
    COscClass.sOscOff();
    engine().sineWaveBuffer[0] = nullptr;
    engine().sineWaveBufSize = 0;
}

}  // namespace
