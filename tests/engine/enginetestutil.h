// Helpers of the engine tests: the conversion library the engine binds, a
// fresh engine per test, and polling with a bound.
#pragma once

#include <QString>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/audiothread.h"
#include "engine/audiothreadfunc.h"
#include "engine/enginestate.h"
#include "trace/debugclient.h"

namespace engtest {

// Device-buffer frames the tests that drive the buffer switch by hand
// reserve, as the device layer does before it starts a stream.
constexpr int kReserveFrames = 1 << 16;

// The built library: ctest names its folder in SONVEX_BIN_DIR; run by hand,
// the tests sit in <build>/tests beside <build>/bin.
inline std::string libraryFile() {
    if (const char *d = std::getenv("SONVEX_BIN_DIR")) return std::string(d) + "/" + kMorphexLibraryName;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path().parent_path() / "bin" / kMorphexLibraryName).string();
}

// Traces off (no monitor listens) and the engine pointed at the built library.
inline void useBuiltLibrary() {
    DebugClient::SetDebugLevel(0);
    audioThread::setLibraryPath(QString::fromStdString(libraryFile()));
}

// Polls pred every millisecond until it holds or ms milliseconds passed: a
// bound that only reports a hang (a loaded machine may take long).
inline bool waitFor(const std::function<bool()> &pred, int ms = 120000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A fresh engine, current for the object's life, with the back-ends bound to
// it; the engine that was current before is current again afterwards. Make
// one per test (a fixture member), before any audio thread of the test. It
// is as the program's start-up leaves it: the DSD idle buffer allocated.
class FreshEngine {
public:
    FreshEngine() : mPrev(&engine()), mEngine(engineCreate()) {
        if (!mEngine || allocateDsdIdleBuffer(*mEngine, kDsdIdleInitialBytes) != kEngineMemOk) std::abort();
        engineMakeCurrent(mEngine.get());
        audioThreadFunc_bindEngine(*mEngine);
    }
    ~FreshEngine() {
        engineMakeCurrent(mPrev);
        audioThreadFunc_bindEngine(*mPrev);
    }
    FreshEngine(const FreshEngine &) = delete;
    FreshEngine &operator=(const FreshEngine &) = delete;
    tEngine &operator*() const { return *mEngine; }
    tEngine *operator->() const { return mEngine.get(); }

private:
    tEngine *mPrev;
    std::unique_ptr<tEngine> mEngine;
};

// Source type codes of tAudioFileInfo::fileType the tests use.
constexpr uint32_t kWavFileType = 0;
constexpr uint32_t kDsdiffFileType = 3;

// One track's job on a stereo source as the main window fills it: unity
// pan, the equaliser off, an envelope at exactly 1.0 throughout, the
// feed-only command (no file written) from the first frame to `frames`.
// Rate indices from 16 on are DSD outputs (1 bit), those below 32-bit PCM.
// srcFileType: the source's type code; srcBits 1 for DSD.
// The record points into the object, which therefore stays where it is.
struct StereoFeedJob {
    StereoFeedJob(const std::string &src, uint32_t srcRate, uint32_t srcBits, uint64_t frames, uint32_t rateIndex,
                  int track = 0, uint32_t srcFileType = kWavFileType) {
        record.srcPath = QString::fromStdString(src).toStdU16String();
        record.rateIndex = rateIndex;
        record.bits = rateIndex >= 16 ? 1 : 32;
        record.fileType = rateIndex >= 16 ? 3 : 0;
        record.srcChannels = 2;
        record.outChannels = 2;
        record.fileCount = 1;
        record.panVol[0] = record.panVol[3] = 1.0;
        record.com.command = kMorphexComFeedOnly;
        record.com.startSample = 0;
        record.com.endSample = int64_t(frames);
        record.com.peq = &eq;
        record.com.track = uint32_t(track);
        eq.allOn = &eqOn;
        info.sampleRate = srcRate;
        info.channels = 2;
        info.bitsPerSample = srcBits;
        info.totalSamples = frames;
        info.fileType = srcFileType;
        items[0].start = 0;
        items[0].level = 1.0;
        items[1].start = kDspVolEnd;
        items[1].level = 1.0;
    }
    StereoFeedJob(const StereoFeedJob &) = delete;
    StereoFeedJob &operator=(const StereoFeedJob &) = delete;

    tMorphexParam record;
    tAudioFileInfo info;
    tDspVolItem items[2];
    tPEQ eq;
    bool eqOn = false;
};

}  // namespace engtest
