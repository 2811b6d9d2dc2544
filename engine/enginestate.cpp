#include "engine/enginestate.h"

#include <cstring>
#include <new>

#include "audiofile/audiohelpers.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The process's own engine, made at start-up and never destroyed: threads
// that outlive main's return may still read it.
tEngine *processEngine() {
    static tEngine *const sOwn = engineCreate().release();
    return sOwn;
}

std::atomic<tEngine *> sCurrentEngine{nullptr};

}  // namespace

tEngine &engine() {
    tEngine *e = sCurrentEngine.load(std::memory_order_acquire);
    return e ? *e : *processEngine();
}

void engineMakeCurrent(tEngine *e) { sCurrentEngine.store(e, std::memory_order_release); }

std::unique_ptr<tEngine> engineCreate() {
    // Value-initialised: every word starts at zero, as the engine's words did
    // when they were the program's own, before the start values below.
    std::unique_ptr<tEngine> e(new (std::nothrow) tEngine());
    if (!e) return nullptr;
    for (double *&p : e->dummyPlayTable) p = e->dummyPlayFrame;
    for (int t = 0; t < kMaxTracks; ++t) {
        e->trackPcmBlocks[t].store(e->dummyPlayTable, kRelaxed);
        e->trackDsdBlocks[t].store(e->dsdIdleTable[t], kRelaxed);
        e->trackBlockFrames[t].store(1, kRelaxed);
        e->monitorBuffer[t] = e->captureRingTable[t];
        e->mixDecimFirSrcBufCh[t] = static_cast<double *>(_aligned_malloc(kMixDecimHistoryBytes, 16));
        if (!e->mixDecimFirSrcBufCh[t]) return nullptr;
        std::memset(e->mixDecimFirSrcBufCh[t], 0, kMixDecimHistoryBytes);
    }
    e->runningCom.store(&e->idleCom, kRelaxed);
    e->fadeCoefRequest.store(lpf::coefFor(0.01, 44100), kRelaxed);
    return e;
}

tEngine::~tEngine() {
    freeAudhioThreadMemories(*this);
    finishAudioThreadMemoryWhole(*this);
    for (double *&p : mixDecimFirSrcBufCh) {
        _aligned_free(p);
        p = nullptr;
    }
}

// ---- Resets and memory ------------------------------------------------------------------

namespace {

double *allocDoubles(uint64_t bytes, bool zero) {
    auto *p = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (p && zero) std::memset(p, 0, bytes);
    return p;
}

void freeDoubles(double *&p) {
    _aligned_free(p);
    p = nullptr;
}

}  // namespace

void clearBufferParameters(tEngine &E) {
    for (int t = 0; t < kMaxTracks; ++t) {
        E.producedCount[t].store(0, kRelaxed);
        E.consumedCount[t].store(0, kRelaxed);
        E.trackPcmBlocks[t].store(E.dummyPlayTable, kRelaxed);
        E.trackBlockFrames[t].store(1, kRelaxed);
        E.captureWriteBlock[t].store(0, kRelaxed);
        E.captureWriteOffset[t].store(0, kRelaxed);
        E.monitorReadBlock[t].store(0, kRelaxed);
        E.monitorReadOffset[t].store(0, kRelaxed);
    }
    E.captureBlocksWritten.store(0, kRelaxed);
    E.monitorBlocksPlayed.store(0, kRelaxed);
}

void clearBufBlkSizeFs(tEngine &E) { E.ringBlockFrames.store(0, kRelaxed); }

void initAudioIoParameters(tEngine &E) {
    E.playRequest.store(0, kRelaxed);
    E.playGate.store(false, kRelaxed);
    E.ringBlockFrames.store(0, kRelaxed);
    // The count stays: indices already handed out stay unique.
    for (auto &p : E.audioThreads) p.store(nullptr, kRelaxed);
    clearBufferParameters(E);
}

int allocateAudioThreadMemories(tEngine &E) {
    freeDoubles(E.masterBuf[0]);
    freeDoubles(E.masterBuf[1]);
    freeDoubles(E.chAnalyzeBufTemp);
    // One frame each to begin with; the real-time path grows them to the
    // device buffer.
    E.masterBuf[0] = allocDoubles(16, true);
    E.masterBuf[1] = allocDoubles(16, true);
    E.chAnalyzeBufTemp = allocDoubles(kChAnalyzeTempBytes, true);
    if (!E.masterBuf[0] || !E.masterBuf[1] || !E.chAnalyzeBufTemp) {
        freeDoubles(E.masterBuf[0]);
        freeDoubles(E.masterBuf[1]);
        freeDoubles(E.chAnalyzeBufTemp);
        E.masterBufFrames = 0;
        E.chAnalyzeBufTempFrames = 0;
        return kEngineErrMemory;
    }
    E.masterBufFrames = 1;
    E.chAnalyzeBufTempFrames = kChAnalyzeTempFrames;
    return kEngineMemOk;
}

void freeAudhioThreadMemories(tEngine &E) {
    freeDoubles(E.masterBuf[0]);
    freeDoubles(E.masterBuf[1]);
    freeDoubles(E.chAnalyzeBufTemp);
    E.masterBufFrames = 0;
    E.chAnalyzeBufTempFrames = 0;
    _aligned_free(E.dsdIdleBuffer);
    E.dsdIdleBuffer = nullptr;
    E.dsdIdleBytes = 0;
    if (E.mutePatGrown) {
        if (E.mutePatBuffer[0] == E.mutePatGrown) E.mutePatBuffer[0] = E.mutePatBuffer[1] = nullptr;
        _aligned_free(E.mutePatGrown);
        E.mutePatGrown = nullptr;
        E.mutePatBits = kMutePatInitialBits;
    }
    for (int i = 0; i < 2; ++i) {
        if (!E.sineWaveGrown[i]) continue;
        if (E.sineWaveBuffer[i] == E.sineWaveGrown[i]) {
            E.sineWaveBuffer[i] = nullptr;
            E.sineWaveBufSize = 0;
        }
        freeDoubles(E.sineWaveGrown[i]);
    }
    for (auto &row : E.dsdIdleTable)
        for (unsigned char *&p : row) p = nullptr;
}

void finishAudioThreadMemoryWhole(tEngine &E) {
    for (double *&p : E.dsdDecimFirSrcBufCh) freeDoubles(p);
    freeDoubles(E.mixDecimFirSrcBuf);
    freeDoubles(E.mixTrackBuf);
    freeDoubles(E.mixFxBuf);
    E.mixBufFrames = 0;
}

int initAudioThreadMemoryWhole(tEngine &E) {
    finishAudioThreadMemoryWhole(E);
    bool ok = true;
    for (double *&p : E.dsdDecimFirSrcBufCh) {
        p = allocDoubles(kDsdDecimHistoryBytes, true);
        ok = ok && p;
    }
    E.mixDecimFirSrcBuf = allocDoubles(kMixDecimHistoryBytes, true);
    E.mixTrackBuf = allocDoubles(kMixWorkBytes, true);
    E.mixFxBuf = allocDoubles(kMixWorkBytes, true);
    if (!ok || !E.mixDecimFirSrcBuf || !E.mixTrackBuf || !E.mixFxBuf) {
        finishAudioThreadMemoryWhole(E);
        return kEngineErrMemory;
    }
    E.mixBufFrames = kMixWorkBytes / 16;
    return kEngineMemOk;
}

int allocateDsdIdleBuffer(tEngine &E, int32_t bytes) {
    if (bytes < 1) bytes = 1;
    const uint64_t size = 2 * static_cast<uint64_t>(bytes);
    auto *p = static_cast<uint8_t *>(_aligned_malloc(size, 16));
    if (!p) return kEngineErrMemory;
    // The whole block, not only the idle part: a reader that runs past the
    // idle size still reads silence.
    std::memset(p, kDsdIdleByte, size);
    for (auto &row : E.dsdIdleTable)
        for (unsigned char *&e : row) e = p;
    _aligned_free(E.dsdIdleBuffer);
    E.dsdIdleBuffer = p;
    E.dsdIdleBytes = bytes;
    return kEngineMemOk;
}

int audioThread_resetDSDBuffers(tEngine &E) {
    int r = kEngineMemOk;
    const int32_t frames = E.lastBufferFrames.load(kRelaxed);
    if (!E.dsdIdleBuffer || E.dsdIdleBytes < frames)
        r = allocateDsdIdleBuffer(E, frames > 0 ? frames : kDsdIdleInitialBytes);
    for (int t = 0; t < kMaxTracks; ++t) E.trackDsdBlocks[t].store(E.dsdIdleTable[t], kRelaxed);
    return r;
}

// The current engine's.
void clearBufferParameters() { clearBufferParameters(engine()); }
void clearBufBlkSizeFs() { clearBufBlkSizeFs(engine()); }
void initAudioIoParameters() { initAudioIoParameters(engine()); }
int allocateAudioThreadMemories() { return allocateAudioThreadMemories(engine()); }
void freeAudhioThreadMemories() { freeAudhioThreadMemories(engine()); }
void finishAudioThreadMemoryWhole() { finishAudioThreadMemoryWhole(engine()); }
int initAudioThreadMemoryWhole() { return initAudioThreadMemoryWhole(engine()); }
int allocateDsdIdleBuffer(int32_t bytes) { return allocateDsdIdleBuffer(engine(), bytes); }
int audioThread_resetDSDBuffers() { return audioThread_resetDSDBuffers(engine()); }
