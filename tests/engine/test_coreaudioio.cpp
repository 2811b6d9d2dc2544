// The device layer over the virtual device: the tables and the selection
// rules by name, the rates and formats set per engine rate, the buffer
// frames, the type codes, the callback gate, and the control thread's jobs
// with its busy flag.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/contcoreaudiothread.h"
#include "engine/coreaudioio.h"
#include "enginetestutil.h"
#include "platform/audiohost/audiohost.h"
#include "platform/audiohost/hostconfig.h"
#include "platform/audiohost/virtualdevice.h"

namespace {

using IO = CCoreAudioIOThread;

tVirtualDeviceConfig device(const char *name, int outputs = 2, int inputs = 2) {
    tVirtualDeviceConfig c;
    c.mName = name;
    c.mOutChannels = outputs;
    c.mInChannels = inputs;
    c.mSpeed = 0.0;
    c.mCapture = "off";
    return c;
}

const std::vector<uint32_t> kNativeRates = {44100,  48000,  88200,  96000,   176400,  192000,   352800,
                                            384000, 705600, 768000, 2822400, 5644800, 11289600, 22579200};

class CoreAudioIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        DebugClient::SetDebugLevel(0);
        io = new IO();
    }
    void TearDown() override { delete io; }
    // Enables the device and lists it; its id.
    uint32_t list(const tVirtualDeviceConfig &c) {
        const int id = vdev_enable(c);
        EXPECT_GT(id, 0);
        io->getDevNames();
        return uint32_t(id);
    }
    IO *io = nullptr;
};

bool inTable(const uint32_t *ids, int count, uint32_t id) {
    for (int i = 0; i < count; ++i)
        if (ids[i] == id) return true;
    return false;
}

// A device is listed per direction it has; a left-out driver variant is
// never listed, although its name is one that selection knows.
TEST_F(CoreAudioIOTest, TablesListDevicesPerDirectionAndLeaveOutTheVariants) {
    struct Row {
        const char *name;
        int outputs, inputs;
        bool inOut, inIn;
    } rows[] = {
        {"Studio Interface", 2, 2, true, true},
        {"Output Only", 2, 0, true, false},
        {"Input Only", 0, 2, false, true},
        {"KV-P1 (Bit Accurate)", 2, 2, false, false},
        {"KV-P16 (Bit Accurate)", 2, 0, false, false},
        {"KV-P1", 2, 2, true, true},  // the plain name is another device
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const uint32_t id = list(device(row.name, row.outputs, row.inputs));
        EXPECT_EQ(inTable(io->mOutDevIds, io->mOutDevCount, id), row.inOut);
        EXPECT_EQ(inTable(io->mInDevIds, io->mInDevCount, id), row.inIn);
        for (int i = 0; i < io->mOutDevCount; ++i)
            if (io->mOutDevIds[i] == id) {
                EXPECT_EQ(io->mOutDevNames[i], QString::fromUtf8(row.name));
            }
    }
}

// More rates than the list holds: the first twenty are kept, in order.
TEST_F(CoreAudioIOTest, RateListStopsAtItsCapacity) {
    tVirtualDeviceConfig c = device("Many Rates");
    c.mRates.clear();
    for (uint32_t r = 8000; c.mRates.size() < 24; r += 4000) c.mRates.push_back(r);
    const uint32_t id = list(c);
    io->getDevSystemInfo(int(id));
    ASSERT_EQ(io->mRateCount, 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(io->mRateList[i], int(8000 + 4000 * i)) << i;
    // A device that is not there leaves the list empty.
    io->getDevSystemInfo(9999);
    EXPECT_EQ(io->mRateCount, 0);
}

// Selection by name: exclusive use for our devices (the last of them as
// an output only), integers for three of them, built-in outputs become the
// default and are never held; the callback path is on for every output.
TEST_F(CoreAudioIOTest, SelectionRulesByName) {
    struct Row {
        const char *name;
        bool outHog, inHog, integer, builtIn;
    } rows[] = {
        {"KV-P3", true, false, false, false},
        {"KV-P5", true, true, false, false},
        {"ZOLT USB AUDIO DEVICE", true, true, false, false},
        {"ZOLT USB HS ASYNC AUDIO DEVICE", true, true, false, false},
        {"KV-P2 (Bit Accurate)", true, true, true, false},
        {"KV-P17 (Bit Accurate)", true, true, true, false},
        {"KV-P18 (Bit Accurate)", true, true, true, false},
        {"kv-p3", false, false, false, false},
        {"Studio Interface", false, false, false, false},
        {"Built-in Output", false, false, false, true},
        {"Sortie intégrée", false, false, false, true},
        {"مخرج متضمن", false, false, false, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const uint32_t id = list(device(row.name));
        IO::mAUHALEnable = false;
        IO::mAUHAL_Integer = !row.integer;
        EXPECT_EQ(io->selectDevice(int(id)), 0);
        bool held = false;
        ASSERT_EQ(audiohost_getHog(id, &held), 0);
        EXPECT_EQ(held, row.outHog);
        EXPECT_EQ(IO::mHogModeOK, row.outHog);
        EXPECT_EQ(IO::mAUHAL_Integer, row.integer);
        EXPECT_EQ(IO::mCurDevBuiltInOutput, row.builtIn);
        EXPECT_TRUE(IO::mAUHALEnable);
        if (row.builtIn) {
            EXPECT_EQ(audiohost_getDefaultDevice(kAudioHostOutput), id);
        }

        // The input side on a device held by nothing; the output flags stay.
        ASSERT_EQ(audiohost_setHog(id, false), 0);
        EXPECT_EQ(io->selectRecDevice(int(id)), 0);
        ASSERT_EQ(audiohost_getHog(id, &held), 0);
        EXPECT_EQ(held, row.inHog);
        EXPECT_EQ(IO::mHogModeOKRec, row.inHog);
        EXPECT_TRUE(IO::mAUHALEnableRec);
        EXPECT_EQ(IO::mAUHAL_IntegerRec, row.integer && row.inHog);
        EXPECT_EQ(IO::mHogModeOK, row.outHog);
        EXPECT_EQ(audiohost_getDefaultDevice(kAudioHostInput), id);
        // The input is asked for 24-bit integers.
        tAudioHostFormat f;
        ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostInput, &f), 0);
        EXPECT_EQ(f.mBits, 24);
        EXPECT_EQ(IO::mRecParamList_PP.mBits, 24);
        EXPECT_EQ(IO::mRecParamList_PP.mChannels, 2);
    }
}

// An input of another maker with more than two channels is left to the
// system (no exclusive use tried); one of ours with as many is selected.
TEST_F(CoreAudioIOTest, MultichannelInputsOfOtherMakersAreNotTaken) {
    for (const char *name : {"Big Interface", "KV-P5"}) {
        SCOPED_TRACE(name);
        const bool ours = std::strcmp(name, "KV-P5") == 0;
        const uint32_t id = list(device(name, 2, 8));
        ASSERT_EQ(audiohost_setHog(id, false), 0);
        IO::mAUHALEnableRec = !ours;
        EXPECT_EQ(io->selectRecDevice(int(id)), 0);
        bool held = true;
        ASSERT_EQ(audiohost_getHog(id, &held), 0);
        EXPECT_EQ(held, ours);
        EXPECT_EQ(IO::mAUHALEnableRec, ours);
        EXPECT_EQ(IO::mRecParamList_PP.mChannels, 8);
    }
    // An id in neither table selects with an empty name: no exclusive use.
    const uint32_t id = list(device("KV-P5"));
    EXPECT_EQ(io->selectDevice(int(id) + 100), -1);
    EXPECT_FALSE(IO::mHogModeOK);
}

// A native process writes the output's format back with 24 bits; a
// translated one (or a failed query) leaves it as the device has it.
TEST_F(CoreAudioIOTest, SelectionWritesTheOutputAt24BitsOnlyInANativeProcess) {
    for (int type : {IO::kProcessNative, IO::kProcessTranslated, IO::kProcessQueryFailed}) {
        SCOPED_TRACE(type);
        const uint32_t id = list(device("Studio Interface"));
        tAudioHostFormat f{};
        f.mKind = kAudioHostPcmInt;
        f.mBits = 32;
        f.mChannels = 2;
        f.mBytesPerFrame = 8;
        ASSERT_EQ(audiohost_setPhysicalFormat(id, kAudioHostOutput, f), 0);
        IO::processorType = type;
        EXPECT_EQ(io->selectDevice(int(id)), 0);
        ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
        EXPECT_EQ(f.mBits, type == IO::kProcessNative ? 24 : 32);
    }
    IO::processorType = IO::kProcessNative;
}

// The device's rate and formats per engine rate: PCM as 24-bit words,
// DSD rates a sixteenth as fast in DoP words, native DSD only from
// 11.2896 MHz on a native device, and only the nominal rate in a
// translated process. The callback's container is float except for the
// integer devices' PCM.
TEST_F(CoreAudioIOTest, OutputRateAndFormatsPerEngineRate) {
    struct Row {
        uint32_t rate;
        bool native, integer;
        int processType;
        uint32_t nominal;
        int kind, bits, bytesPerFrame, container;
    } rows[] = {
        {768000, false, false, IO::kProcessNative, 768000, kAudioHostPcmInt, 24, 6, kAudioHostContainerFloat32},
        {44100, false, true, IO::kProcessNative, 44100, kAudioHostPcmInt, 24, 6, kAudioHostContainerInt32},
        {2822400, false, true, IO::kProcessNative, 176400, kAudioHostDop, 24, 6, kAudioHostContainerFloat32},
        {11289600, true, false, IO::kProcessNative, 705600, kAudioHostDsd, 16, 4, kAudioHostContainerFloat32},
        {5644800, true, false, IO::kProcessNative, 352800, kAudioHostDop, 24, 6, kAudioHostContainerFloat32},
        // A translated process: the nominal rate only (the format stays the
        // device's 24-bit default at 3 bytes per sample).
        {96000, false, false, IO::kProcessTranslated, 96000, kAudioHostPcmInt, 24, 6, kAudioHostContainerFloat32},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.rate);
        tVirtualDeviceConfig c = device(row.native ? "ZOLT USB AUDIO DEVICE" : "Studio Interface");
        if (row.native) c.mRates = kNativeRates;
        const uint32_t id = list(c);
        IO::mZoltVx_DsdNative = row.native;
        IO::mAUHAL_Integer = row.integer;
        IO::processorType = row.processType;
        EXPECT_EQ(io->setSamplingFreq(int(id), row.rate), 0);
        EXPECT_EQ(IO::mCurFs, row.rate);
        EXPECT_EQ(IO::mAUSampleRate, row.nominal);
        uint32_t nominal = 0;
        ASSERT_EQ(audiohost_getNominalRate(id, &nominal), 0);
        EXPECT_EQ(nominal, row.nominal);
        tAudioHostFormat f;
        ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
        EXPECT_EQ(f.mKind, row.kind);
        EXPECT_EQ(f.mBits, row.bits);
        EXPECT_EQ(f.mChannels, 2);
        if (row.processType == IO::kProcessNative) {
            EXPECT_EQ(f.mBytesPerFrame, row.bytesPerFrame);
        }
        int container = -1;
        ASSERT_EQ(audiohost_getContainer(id, kAudioHostOutput, &container), 0);
        EXPECT_EQ(container, row.container);
    }
    IO::processorType = IO::kProcessNative;
    IO::mZoltVx_DsdNative = false;
    IO::mAUHAL_Integer = false;
}

// The input side of a rate change: rate 0 (no input chosen) does nothing;
// otherwise the input format is written, and on the output device itself
// the output's rate stays where the output side put it.
TEST_F(CoreAudioIOTest, InputRateNeverReRatesTheOutputOfTheSameDevice) {
    const uint32_t id = list(device("Studio Interface", 2, 32));
    EXPECT_EQ(io->setSamplingFreqRec(int(id), 0), -1);
    ASSERT_EQ(io->setSamplingFreq(int(id), 2822400), 0);
    EXPECT_EQ(io->setSamplingFreqRec(int(id), 2822400), 0);
    EXPECT_EQ(IO::mAUSampleRateRec, 2822400u);
    uint32_t nominal = 0;
    ASSERT_EQ(audiohost_getNominalRate(id, &nominal), 0);
    EXPECT_EQ(nominal, 176400u);
    tAudioHostFormat f;
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostInput, &f), 0);
    EXPECT_EQ(f.mChannels, 32);
    EXPECT_EQ(f.mBits, 24);
    EXPECT_EQ(f.mBytesPerFrame, 96);
    ASSERT_EQ(audiohost_getPhysicalFormat(id, kAudioHostOutput, &f), 0);
    EXPECT_EQ(f.mKind, kAudioHostDop);
}

// Buffer frames per engine rate: 2048 frames at 48 kHz scaled with the
// rate for PCM; for DSD 42.7 ms of d-byte words at the DoP rate rounded up
// to whole 192 frames (d = 4 on the callback path, 3 on the queue path, 2
// for native DSD there).
TEST(CoreAudioBufferFrames, FollowTheRate) {
    struct Row {
        uint32_t rate;
        bool native, ioProc;
        uint32_t frames;
        int d;
    } rows[] = {
        {44100, false, true, 1881, 4},    {48000, false, true, 2048, 4},     {768000, false, true, 32768, 4},
        {44100, false, false, 1881, 4},   {2822400, false, true, 7680, 4},   {2822400, false, false, 10176, 3},
        {5644800, false, true, 15168, 4}, {11289600, false, true, 30144, 4}, {22579200, false, true, 60288, 4},
        {11289600, true, true, 30144, 4}, {11289600, true, false, 60288, 2},
    };
    for (const Row &row : rows) {
        int d = 0;
        EXPECT_EQ(IO::bufferFramesFor(row.rate, row.native, row.ioProc, &d), row.frames) << row.rate;
        EXPECT_EQ(d, row.d) << row.rate;
    }
}

// The type codes handed to the engine per stream.
TEST(CoreAudioTypeCodes, PerRatePathAndDevice) {
    struct Row {
        uint32_t rate;
        bool native, integer, ioProc, mute;
        int type;
    } rows[] = {
        {96000, false, false, true, false, 0x8012},    {96000, false, true, true, false, 18},
        {96000, false, false, false, false, 18},       {2822400, false, false, true, false, 0x8021},
        {2822400, true, false, true, false, 0x8021},   {5644800, true, false, true, false, 0x8021},
        {11289600, true, false, true, false, 0x18021}, {11289600, true, false, true, true, 0x38021},
        {22579200, true, false, true, false, 0x18021}, {11289600, false, false, true, false, 0x8021},
        {2822400, false, false, false, false, 33},     {11289600, true, false, false, false, 0x10021},
    };
    for (const Row &row : rows)
        EXPECT_EQ(IO::outputTypeFor(row.rate, row.native, row.integer, row.ioProc, row.mute), row.type) << row.rate;
    EXPECT_EQ(IO::inputTypeFor(16, true), 16);
    EXPECT_EQ(IO::inputTypeFor(32, false), 18);
    EXPECT_EQ(IO::inputTypeFor(24, true), 18);
    EXPECT_EQ(IO::inputTypeFor(24, false), 17);
    EXPECT_EQ(IO::inputTypeFor(20, true), 17);
}

// The buffer is clamped to the device's range in 32-byte steps; a minimum
// that is not a whole step is met by the next step up, never refused.
TEST_F(CoreAudioIOTest, BufferFramesAreClampedToTheDeviceRange) {
    struct Row {
        uint32_t minFrames, maxFrames, frames;
    } rows[] = {
        {16, 262144, 2048},  // 48 kHz as computed
        {4000, 262144, 4000}, {4001, 262144, 4004}, {16, 1024, 1024}, {16, 1023, 1020},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.minFrames);
        tVirtualDeviceConfig c = device("Studio Interface");
        c.mMinFrames = row.minFrames;
        c.mMaxFrames = row.maxFrames;
        c.mFrames = row.minFrames;
        const uint32_t id = list(c);
        // No cycle runs: the engine is not set up in this program.
        vdev_setPaceHook([](void *, uint64_t) { return false; }, nullptr);
        ASSERT_EQ(audiohost_setNominalRate(id, 48000), 0);
        IO::mCurFs = IO::mAUSampleRate = 48000;
        IO::mAUHALEnable = true;
        io->setup(int(id));
        uint32_t frames = 0;
        ASSERT_EQ(audiohost_getBufferFrames(id, &frames), 0);
        EXPECT_EQ(frames, row.frames);
        EXPECT_EQ(io->getBufferSize(), 2048);
        EXPECT_TRUE(audiohost_isRunning(id));
        io->AudioStopReq();
        io->Term(int(id));
        EXPECT_FALSE(audiohost_isRunning(id));
        vdev_setPaceHook(nullptr, nullptr);
    }
}

// With the gate closed a cycle leaves the buffers as they are; the stream
// then hands nothing to the engine.
TEST(CoreAudioCallback, ACycleWithTheGateClosedTouchesNothing) {
    IO::mAllowAccessBuffer.store(false);
    std::vector<uint8_t> out(512 * 8, 0xAB), in(512 * 8, 0xCD);
    tAudioHostCycle c{};
    c.mOutput = out.data();
    c.mOutChannels = 2;
    c.mOutFrames = 512;
    c.mOutBytes = uint32_t(out.size());
    c.mInput = in.data();
    c.mInChannels = 2;
    c.mInFrames = 512;
    c.mInBytes = uint32_t(in.size());
    for (int mode : {IO::kIoOutput, IO::kIoInput, IO::kIoBoth}) {
        IO::IOProc_do(engine(), &c, mode);
        for (uint8_t b : out) ASSERT_EQ(b, 0xAB);
        for (uint8_t b : in) ASSERT_EQ(b, 0xCD);
    }
}

// The control thread: busy from the first queued job until the queue has
// drained, with the done signal after the last job; the jobs run in order
// against the stored device and rates; a stop always stops and closes the
// stream, also on a device that was not held.
TEST(ControlThread, JobsRunInOrderAndTheBusyFlagCoversThem) {
    DebugClient::SetDebugLevel(0);
    tVirtualDeviceConfig c = device("Studio Interface");
    const int id = vdev_enable(c);
    ASSERT_GT(id, 0);
    vdev_setPaceHook([](void *, uint64_t) { return false; }, nullptr);
    CContCoreAudioThread thread;
    EXPECT_EQ(thread.playRate(), 96000u);
    EXPECT_EQ(thread.recDevice(), 0);
    std::atomic<int> done{0};
    QObject::connect(&thread, &CContCoreAudioThread::allTransactionsDone, [&] { ++done; });
    CCoreAudioIOThread *io = thread.ioThread();
    io->getDevNames();
    EXPECT_EQ(io->selectDevice(id), 0);
    EXPECT_FALSE(IO::mHogModeOK);

    auto rateChange = [&](unsigned rate) {
        io->AudioStopReq();
        thread.addTransaction(new ClassStopAudioQueue);
        EXPECT_TRUE(thread.isBusy());
        thread.setSamplingFreq(id, rate);
        thread.addTransaction(new ClassSetSampleRateCoreAudio);
        thread.addTransaction(new ClassStartAudioQueue);
        EXPECT_TRUE(thread.isBusy());
        // The jobs' settle waits take their time; the bound only reports a hang.
        EXPECT_TRUE(engtest::waitFor([&] { return !thread.isBusy(); }, 120000));
    };
    rateChange(88200);
    EXPECT_TRUE(engtest::waitFor([&] { return done.load() == 1; }));
    EXPECT_TRUE(audiohost_isRunning(uint32_t(id)));
    EXPECT_TRUE(IO::mAllowAccessBuffer.load());
    uint32_t nominal = 0, frames = 0;
    ASSERT_EQ(audiohost_getNominalRate(uint32_t(id), &nominal), 0);
    EXPECT_EQ(nominal, 88200u);
    ASSERT_EQ(audiohost_getBufferFrames(uint32_t(id), &frames), 0);
    EXPECT_EQ(frames, 3760u);  // 88200 x 2048 / 48000 = 3763, in 32-byte steps
    EXPECT_EQ(io->getBufferSize(), 3763);
    EXPECT_EQ(IO::startedDev.load(), uint32_t(id));

    // The stream is stopped and closed though the device was never held:
    // a new stream can be opened on it at once.
    io->AudioStopReq();
    EXPECT_FALSE(IO::mAllowAccessBuffer.load());
    thread.addTransaction(new ClassStopAudioQueue);
    EXPECT_TRUE(engtest::waitFor([&] { return !thread.isBusy(); }));
    EXPECT_FALSE(audiohost_isRunning(uint32_t(id)));
    auto proc = [](void *, const tAudioHostCycle *) {};
    EXPECT_EQ(audiohost_openStream(uint32_t(id), kAudioHostStreamOutput, proc, nullptr), 0);
    EXPECT_EQ(audiohost_closeStream(uint32_t(id)), 0);
    EXPECT_TRUE(engtest::waitFor([&] { return thread.isEnded(); }));
    EXPECT_EQ(done.load(), 2);
    vdev_setPaceHook(nullptr, nullptr);
}

}  // namespace
