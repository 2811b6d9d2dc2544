// Helpers of the engine tests: the conversion library the engine binds, the
// engine's shared words back to a known state, and polling with a bound.
#pragma once

#include <QString>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/audiothread.h"
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

// The words the producer and its consumers share, as after a finished job.
inline void resetEngineWords() {
    constexpr auto r = std::memory_order_relaxed;
    sEngineStatus.store(kEngineStopped, r);
    sStartMode.store(kStartNone, r);
    sPlayRequest.store(0, r);
    sPlayGate.store(false, r);
    sStopRequest.store(false, r);
    sConvAbort.store(false, r);
    sConvFailed.store(false, r);
    sPlayStarted.store(false, r);
    sBounceFinished.store(false, r);
    sNumBufBlk.store(kRingBlocks, r);
    sRingBlockFrames.store(0, r);
    for (int t = 0; t < kMaxTracks; ++t) {
        sBouncedCount[t].store(0, r);
        sJobEnded[t].store(false, r);
        sBounceEnded[t].store(false, r);
        sMixBusy[t].store(false, r);
        sRingWithdrawn[t].store(false, r);
        gConvertPath[t].store(0, r);
        gTestCount[t].store(0, r);
        gFirstConverted[t].store(0, r);
    }
    clearBufferParameters();
}

}  // namespace engtest
