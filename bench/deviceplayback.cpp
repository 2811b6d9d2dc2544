// CPU time per second of audio for playback through the device layer and
// the virtual device, unpaced (capture off): a 24-bit 96 kHz stereo WAV at
// its own rate, the same file as DSD256 over DoP (converted and
// re-modulated), and eight such tracks mixed at 96 kHz.
//
// Counters per case:
//   cpu_pct     CPU time of the whole process (conversion threads, device
//               callback, the virtual device's clock) per second of audio,
//               in percent of one core;
//   rt_pct      the device thread's own share (the callback with the buffer
//               switch, and the host's conversion of the buffer) per second
//               of audio, in percent of one core;
//   played_s    seconds of audio the device played per pass (the file's
//               length, else the figures are void).
// The device thread is what must never starve; rt_pct is its load at the
// rate the audio is due.
//
// Build optimised without sanitizers (SONVEX_SANITIZE=OFF, Release). The
// conversion library is bound from ../bin beside this program.
#include <benchmark/benchmark.h>

#include <QString>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../tests/engine/enginetestutil.h"
#include "../tests/engine/feedjob.h"
#include "dsp/oscillator.h"
#include "engine/audiothread.h"
#include "engine/bufferswitch.h"
#include "engine/contcoreaudiothread.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/playbackproducer.h"
#include "platform/audiohost/hostconfig.h"
#include "platform/audiohost/virtualdevice.h"
#include "testutil.h"
#include "trace/debugclient.h"
#include "wavwriter.h"

namespace {

constexpr uint32_t kWavRate = 96000;
constexpr double kSeconds = 3.0;

double cpuSeconds(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Polls every 10 ms: the main thread's waiting counts in the process's
// CPU time, and a finer poll only ends the pass sooner.
bool waitFor(const std::function<bool()> &pred, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// A 24-bit stereo WAV of two tones with a little noise in the low bits.
std::string writeWav(const std::string &path, uint32_t frames) {
    sxtest::Bytes audio;
    audio.reserve(size_t(frames) * 6);
    uint32_t noise = 1;
    for (uint32_t f = 0; f < frames; ++f) {
        noise = noise * 1664525u + 1013904223u;
        const double l = 0.5 * std::sin(2.0 * M_PI * 997.0 * f / kWavRate);
        const double r = 0.4 * std::sin(2.0 * M_PI * 3001.0 * f / kWavRate);
        sxtest::appendLE(audio, uint32_t(int32_t(std::lrint(l * 8388607.0)) + int32_t(noise >> 30)) & 0xFFFFFF, 3);
        sxtest::appendLE(audio, uint32_t(int32_t(std::lrint(r * 8388607.0))) & 0xFFFFFF, 3);
    }
    return sxtest::writeAll(path, sxtest::wavFile(kWavRate, 24, 2, audio)) ? path : std::string();
}

// The device thread's CPU, sampled on the device's clock thread before
// every cycle; cycles wait for the producers so that none underruns.
struct Pacer {
    std::atomic<int> tracks{1};
    std::atomic<double> threadCpu{0.0};
    std::atomic<int64_t> playedFrames{0};  // engine frames of the cycles run with the play gate open
    static bool pace(void *client, uint64_t) {
        auto *p = static_cast<Pacer *>(client);
        // The CPU of each cycle this hook let run, from its start to the next
        // call, summed per clock thread (each stream start runs its own); the
        // hook's polling while it holds the device is not counted.
        thread_local double runStart = -1.0;
        const double now = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (runStart >= 0.0)
            p->threadCpu.store(p->threadCpu.load(std::memory_order_relaxed) + (now - runStart),
                               std::memory_order_relaxed);
        runStart = -1.0;
        // A stopped engine holds the device: idle cycles would spin unpaced
        // and count as the playback's load.
        if (engine().engineStatus.load() != kEnginePlaying) return false;
        const int64_t frames = std::max<int64_t>(1, gAudioThread_getAudioBufferFrameSize());
        if (!engine().stopRequest.load())
            for (int t = 0; t < p->tracks.load(); ++t) {
                const int64_t ahead = engine().producedCount[t].load() - engine().consumedCount[t].load();
                if (ahead < frames && !engine().jobEnded[t].load()) {
                    // The producers take milliseconds per block: asked every
                    // 100 us, the unpaced device's own polling would weigh on
                    // the process's figure as no real-time device's does (it
                    // sleeps until the hardware wants the next buffer).
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    return false;
                }
            }
        if (engine().playGate.load())
            p->playedFrames.store(p->playedFrames.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
        runStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        return true;
    }
};

// The engine and the device as the main window leaves them after boot.
class Session {
public:
    Session() {
        engtest::useBuiltLibrary();
        mFirst.reset(new audioThread);
        (void)initAudioIO_parameters();
        tVirtualDeviceConfig c;
        c.mName = "Bench Device";
        c.mSpeed = 0.0;
        c.mCapture = "off";
        mId = vdev_enable(c);
        vdev_setPaceHook(&Pacer::pace, &mPacer);
        mControl.reset(new CContCoreAudioThread);
        CCoreAudioIOThread *io = mControl->ioThread();
        io->getDevNames();
        (void)io->selectDevice(mId);
        io->getDevSystemInfo(mId);
        mMute.assign(2 * 65536, kDsdIdleByte);
        engine().mutePatBuffer[0] = mMute.data();
        engine().mutePatBuffer[1] = mMute.data() + 65536;
    }
    ~Session() {
        mControl->ioThread()->AudioStopReq();
        mControl->addTransaction(new ClassStopAudioQueue);
        waitFor([this] { return !mControl->isBusy(); }, 5000);
        vdev_setPaceHook(nullptr, nullptr);
    }
    bool ok() const { return mId > 0; }

    // The rate change with the engine's words for the rate.
    bool changeRate(uint32_t rate, int tracks) {
        (void)allocateAudioThreadMemories();
        (void)initAudioThreadMemoryWhole();
        clearBufferParameters();
        mMix = tMixParam();
        mMix.trackCount = tracks;
        for (int t = 0; t < tracks; ++t) mMix.ch[t].LL = mMix.ch[t].RR = 1.0 / tracks;
        mMix.masterGain = 1.0;
        gAudioThread_setMixParam(&mMix);
        for (int t = 0; t < kMaxTracks; ++t) setAudioIoThreadId(-1, t);
        setMaxWaveLengthThreadID(0);
        setMasterVolDsp(0.0);
        gOutputPatch[0] = kOutputPatchMaster;
        for (int i = 1; i < kOutputPatchSize; ++i) gOutputPatch[i] = -1;
        gAudioThread_publishMixParam();
        COscClass.sOscOff();
        initDsdParameters(int(rate));
        engine().playFs.store(int(rate));
        mPacer.tracks.store(tracks);
        setWDT(20000);
        CCoreAudioIOThread *io = mControl->ioThread();
        io->AudioStopReq();
        mControl->addTransaction(new ClassStopAudioQueue);
        mControl->setSamplingFreq(mId, rate);
        mControl->addTransaction(new ClassSetSampleRateCoreAudio);
        mControl->addTransaction(new ClassStartAudioQueue);
        return waitFor([this] { return !mControl->isBusy(); }, 5000) && audiohost_isRunning(uint32_t(mId));
    }

    // Plays `tracks` copies of the file at the rate index; the process's
    // and the device thread's CPU seconds while it played.
    bool play(const std::string &wav, uint32_t frames, uint32_t rateIndex, int tracks, double *cpu, double *rt,
              double *played) {
        std::vector<std::unique_ptr<engtest::FeedJob>> jobs;
        std::vector<std::unique_ptr<audioThread>> threads;
        std::atomic<int> done{0};
        // Each pass starts the way the transport's play does.
        engtest::resetEngineWords();
        for (int t = 0; t < kMaxTracks; ++t) setAudioIoThreadId(-1, t);
        for (int t = 0; t < tracks; ++t) {
            jobs.emplace_back(new engtest::FeedJob(wav, kWavRate, 24, frames, rateIndex, t));
            threads.emplace_back(new audioThread);
            setAudioIoThreadId(threads.back()->getThreadIndex(), t);
            QObject::connect(threads.back().get(), &audioThread::allTransactionsDone_, [&](int) { ++done; });
        }
        const double rt0 = mPacer.threadCpu.load();
        const int64_t played0 = mPacer.playedFrames.load();
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        for (int t = 0; t < tracks; ++t) {
            threads[size_t(t)]->setAudioThreadParam(kMorphexCmdPlay, &jobs[size_t(t)]->record, &jobs[size_t(t)]->info,
                                                    nullptr, jobs[size_t(t)]->items, t, nullptr, 0);
            threads[size_t(t)]->addTransaction(new ClassMorphex(2));
        }
        const bool ended = waitFor([&] { return done.load() == tracks; }, 120000);
        *cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        *rt = mPacer.threadCpu.load() - rt0;
        *played = double(mPacer.playedFrames.load() - played0) / double(engine().playFs.load());
        for (auto &th : threads) th->stop();
        if (!ended) engine().engineStatus.store(kEngineStopped);
        for (auto &th : threads) th->wait();
        return ended;
    }

private:
    std::unique_ptr<audioThread> mFirst;
    std::unique_ptr<CContCoreAudioThread> mControl;
    tMixParam mMix;
    Pacer mPacer;
    std::vector<uint8_t> mMute;
    int mId = 0;
};

Session &session() {
    static Session s;
    return s;
}

std::string wavFile() {
    static const std::string path = [] {
        const auto p =
            std::filesystem::temp_directory_path() / ("sx_bench_device_" + std::to_string(getpid()) + ".wav");
        return writeWav(p.string(), uint32_t(kSeconds * kWavRate));
    }();
    return path;
}

void runCase(benchmark::State &state, uint32_t rate, uint32_t rateIndex, int tracks) {
    Session &s = session();
    const std::string wav = wavFile();
    if (!s.ok() || wav.empty() || !s.changeRate(rate, tracks)) {
        state.SkipWithError("device or file not available");
        return;
    }
    double cpu = 0, rt = 0, audio = 0, played = 0;
    for (auto _ : state) {
        double c = 0, r = 0, p = 0;
        if (!s.play(wav, uint32_t(kSeconds * kWavRate), rateIndex, tracks, &c, &r, &p)) {
            state.SkipWithError("playback did not end");
            return;
        }
        cpu += c;
        rt += r;
        audio += kSeconds;
        played += p;
        state.SetIterationTime(c);
    }
    state.counters["cpu_pct"] = 100.0 * cpu / audio;
    state.counters["rt_pct"] = 100.0 * rt / audio;
    // Seconds the device played per pass: the whole file, or the run is void.
    state.counters["played_s"] = played / double(state.iterations());
}

void BM_Wav24At96k(benchmark::State &state) { runCase(state, 96000, 3, 1); }
void BM_Wav24AsDsd256OverDop(benchmark::State &state) { runCase(state, 11289600, 18, 1); }
void BM_EightTracksMixedAt96k(benchmark::State &state) { runCase(state, 96000, 3, 8); }

BENCHMARK(BM_Wav24At96k)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Wav24AsDsd256OverDop)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EightTracksMixedAt96k)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
