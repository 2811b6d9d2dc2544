#include "engine/enginestate.h"

#include <cstring>

#include "audiofile/audiohelpers.h"

// ---- Engine state --------------------------------------------------------

std::atomic<int32_t> sEngineStatus;
std::atomic<int32_t> sStartMode;
std::atomic<int32_t> sPlayRequest;
std::atomic<bool> sPlayGate;
std::atomic<bool> sStopRequest;
std::atomic<int32_t> sStopTimeoutMs{kStopTimeoutSetUpMs};
std::atomic<bool> sConvAbort;
std::atomic<bool> sConvFailed;
std::atomic<bool> sPlayTimeoutFlag;
std::atomic<bool> sPlayStarted;
std::atomic<bool> sBounceFinished;
std::atomic<uint32_t> sFadeReq[2];
std::atomic<uint32_t> sFadeAck[2];
std::atomic<int64_t> sPlayingSample;
std::atomic<tMorphexCom *> spRunningCom;
tDspVolItem sVolItems[kRtVolItems];

std::atomic<int32_t> sRingBlockFrames;
std::atomic<int32_t> sNumBufBlk{kRingBlocks};
std::atomic<int32_t> sConvFirLen;
std::atomic<int32_t> sDelayConvFir;
std::atomic<int32_t> sDelayConvFirMute;

std::atomic<int32_t> gAudioThread_playFs{44100};
std::atomic<bool> sDsdPure;
std::atomic<bool> sDsdPureJob;
std::atomic<bool> sDsdPureFade;
std::atomic<int32_t> sMeterFirInterval{1};
std::atomic<int32_t> sMeteringPoint;
std::atomic<bool> clearPeakHoldF;
std::atomic<bool> s2mixBufAlloc_F;

// ---- Per-track ring state ------------------------------------------------

std::atomic<int64_t> sProducedCount[kMaxTracks];
std::atomic<int64_t> sConsumedCount[kMaxTracks];
std::atomic<int64_t> sBouncedCount[kMaxTracks];
std::atomic<double **> spTrackPcmBlocks[kMaxTracks];
std::atomic<unsigned char **> spTrackDsdBlocks[kMaxTracks];
std::atomic<int32_t> sTrackBlockFrames[kMaxTracks];
std::atomic<int32_t> gFirstConverted[kMaxTracks];
std::atomic<int64_t> gTestCount[kMaxTracks];
std::atomic<int32_t> gConvertPath[kMaxTracks];
std::atomic<int64_t> gDiff1[kMaxTracks];
std::atomic<int64_t> gDiff2[kMaxTracks];
std::atomic<bool> sJobEnded[kMaxTracks];
std::atomic<bool> sBounceEnded[kMaxTracks];
std::atomic<bool> sMixBusy[kMaxTracks];
std::atomic<bool> sRingWithdrawn[kMaxTracks];

double sDummyPlayBuffer[2];
double *spDummyPlayBuffer[kRingBlocks];
uint8_t *sDsdIdleBuffer;
int32_t sDsdIdleBytes;
unsigned char *sDsdIdleTable[kMaxTracks][kDsdIdleRow];

namespace {

struct IdleTableInit {
    IdleTableInit() {
        for (double *&p : spDummyPlayBuffer) p = sDummyPlayBuffer;
        for (int t = 0; t < kMaxTracks; ++t) {
            spTrackPcmBlocks[t].store(spDummyPlayBuffer, std::memory_order_relaxed);
            spTrackDsdBlocks[t].store(sDsdIdleTable[t], std::memory_order_relaxed);
            sTrackBlockFrames[t].store(1, std::memory_order_relaxed);
        }
    }
};
const IdleTableInit sIdleTableInit;

}  // namespace

// ---- Thread registry and track mapping ------------------------------------

std::atomic<audioThread *> pAudioThreads[kAudioThreadSlots];
std::atomic<int32_t> sAudioThreadCount;
std::atomic<int32_t> sAudioIoThreadId[kMaxTracks] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                                     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
std::atomic<int32_t> sTrkWithMaxWaveLength;

// ---- Device-buffer bookkeeping -----------------------------------------------

std::atomic<int64_t> sOutputFrameCount;
std::atomic<int32_t> sPrevBufferSize{-1};
std::atomic<bool> sBufferSizeChanged_F;
std::atomic<int32_t> sLastBufferFrames;
std::atomic<int32_t> sRecBufferFrames{kRecBufferFramesDefault};
std::atomic<int32_t> sInputChannels;
std::atomic<int32_t> sMaxOutputs{kMaxOutputsDefault};
std::atomic<int32_t> sFirstOutputChannel;

// ---- Capture ring and input monitor -------------------------------------------

std::atomic<bool> sInputMonitorEnable;
std::atomic<int32_t> sInputMonitorChannel;
std::atomic<int32_t> sCaptureBlockFrames{kCaptureBlockFramesDefault};
std::atomic<int32_t> sCaptureWriteBlock[kMaxTracks];
std::atomic<int32_t> sCaptureWriteOffset[kMaxTracks];
std::atomic<int32_t> sMonitorReadBlock[kMaxTracks];
std::atomic<int32_t> sMonitorReadOffset[kMaxTracks];
std::atomic<int32_t> sRecordableBlocks[kMaxTracks];
std::atomic<int32_t> sCaptureBlocksWritten;
std::atomic<int32_t> sMonitorBlocksPlayed;
std::atomic<int32_t> sSamplesPerCaptureBlock[kCaptureBlocks];
double *sCaptureRingTable[kMaxTracks][kCaptureBlocks];
double **spMonitorBuffer[kMaxTracks];
unsigned char *spDsdRecBuffer0[kMaxTracks][kCaptureBlocks];
unsigned char *spDsdRecBuffer1[kMaxTracks][kCaptureBlocks];
std::atomic<double> sMonPeakPosi[2];
std::atomic<double> sMonPeakNega[2];
std::atomic<bool> sClearMoniPeakFlag;

// ---- Work buffers ----------------------------------------------------------------

double *gpMasterBuf[2];
int32_t sMasterBufFrames;
double *gpMixTrackBuf;
double *gpMixFxBuf;
int32_t sMixBufFrames;
double *spDsdDecimFirSrcBufCh[kMaxTracks];
double *spMixDecimFirSrcBuf;
double *spMixDecimFirSrcBufCh[kMaxTracks];
double *pChAnalyzeBufTemp;
int32_t ChAnalyzeBufTempSize;

uint8_t *gMutePatBuffer[2];
double *gSineWaveBuffer[2];
int32_t gSineWaveBufSize;
int32_t sMutePatBits = kMutePatInitialBits;
uint8_t *sMutePatGrown;
double *sSineWaveGrown[2];

// ---- Processing objects -------------------------------------------------------------

classDsm5thApp CDsm5th;
lpf CFadeVolLpf;
std::atomic<double> sFadeCoefRequest{-1.0};
std::atomic<double> sMutePatCoefRequest{-1.0};
std::atomic<int32_t> sSpliceLenRequest{0};
std::atomic<int32_t> sFadeTargetRequest{kFadeTargetNone};
std::atomic<bool> sFadeResetRequest{false};
std::atomic<double> sFadeLevel[2];
std::atomic<uint32_t> sEqClearRequest{0};
std::atomic<double> sMasterVol[2] = {1.0, 1.0};
std::atomic<double> sTotalVol[2] = {1.0, 1.0};
std::mutex gChFFTBufMutex;

// ---- Engine parameters -----------------------------------------------------------

std::atomic<tPEQ **> spTrackPEQ;
std::atomic<tPEQ *> spMasterPEQ;
std::atomic<ClassDynamics *> spDynamics;
std::atomic<reverb *> spReverb;
double *gpReverbBuffer;
int32_t gReverbBufPointer;
std::atomic<double> sMasterVoldB{0.0};
std::atomic<bool> sPolarityInvert;
std::atomic<uint32_t> sCpuid;
std::atomic<int32_t> sWdtReload;
std::atomic<int32_t> sWdtCounter;
int64_t sDelayTable[kMaxTracks];

// ---- Resets and memory ------------------------------------------------------------------

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

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

void clearBufferParameters() {
    for (int t = 0; t < kMaxTracks; ++t) {
        sProducedCount[t].store(0, kRelaxed);
        sConsumedCount[t].store(0, kRelaxed);
        spTrackPcmBlocks[t].store(spDummyPlayBuffer, kRelaxed);
        sTrackBlockFrames[t].store(1, kRelaxed);
        sCaptureWriteBlock[t].store(0, kRelaxed);
        sCaptureWriteOffset[t].store(0, kRelaxed);
        sMonitorReadBlock[t].store(0, kRelaxed);
        sMonitorReadOffset[t].store(0, kRelaxed);
    }
    sCaptureBlocksWritten.store(0, kRelaxed);
    sMonitorBlocksPlayed.store(0, kRelaxed);
}

void clearBufBlkSizeFs() { sRingBlockFrames.store(0, kRelaxed); }

void initAudioIoParameters() {
    sPlayRequest.store(0, kRelaxed);
    sPlayGate.store(false, kRelaxed);
    sRingBlockFrames.store(0, kRelaxed);
    // The count stays: indices already handed out stay unique.
    for (auto &p : pAudioThreads) p.store(nullptr, kRelaxed);
    clearBufferParameters();
}

int allocateAudioThreadMemories() {
    freeDoubles(gpMasterBuf[0]);
    freeDoubles(gpMasterBuf[1]);
    freeDoubles(pChAnalyzeBufTemp);
    // One frame each to begin with; the real-time path grows them to the
    // device buffer.
    gpMasterBuf[0] = allocDoubles(16, true);
    gpMasterBuf[1] = allocDoubles(16, true);
    pChAnalyzeBufTemp = allocDoubles(kChAnalyzeTempBytes, true);
    if (!gpMasterBuf[0] || !gpMasterBuf[1] || !pChAnalyzeBufTemp) {
        freeDoubles(gpMasterBuf[0]);
        freeDoubles(gpMasterBuf[1]);
        freeDoubles(pChAnalyzeBufTemp);
        sMasterBufFrames = 0;
        ChAnalyzeBufTempSize = 0;
        return kEngineErrMemory;
    }
    sMasterBufFrames = 1;
    ChAnalyzeBufTempSize = kChAnalyzeTempFrames;
    return kEngineMemOk;
}

void freeAudhioThreadMemories() {
    freeDoubles(gpMasterBuf[0]);
    freeDoubles(gpMasterBuf[1]);
    freeDoubles(pChAnalyzeBufTemp);
    sMasterBufFrames = 0;
    ChAnalyzeBufTempSize = 0;
    _aligned_free(sDsdIdleBuffer);
    sDsdIdleBuffer = nullptr;
    sDsdIdleBytes = 0;
    if (sMutePatGrown) {
        if (gMutePatBuffer[0] == sMutePatGrown) gMutePatBuffer[0] = gMutePatBuffer[1] = nullptr;
        _aligned_free(sMutePatGrown);
        sMutePatGrown = nullptr;
        sMutePatBits = kMutePatInitialBits;
    }
    for (int i = 0; i < 2; ++i) {
        if (!sSineWaveGrown[i]) continue;
        if (gSineWaveBuffer[i] == sSineWaveGrown[i]) {
            gSineWaveBuffer[i] = nullptr;
            gSineWaveBufSize = 0;
        }
        freeDoubles(sSineWaveGrown[i]);
    }
    for (auto &row : sDsdIdleTable)
        for (unsigned char *&p : row) p = nullptr;
}

void finishAudioThreadMemoryWhole() {
    for (double *&p : spDsdDecimFirSrcBufCh) freeDoubles(p);
    freeDoubles(spMixDecimFirSrcBuf);
    freeDoubles(gpMixTrackBuf);
    freeDoubles(gpMixFxBuf);
    sMixBufFrames = 0;
}

int initAudioThreadMemoryWhole() {
    finishAudioThreadMemoryWhole();
    bool ok = true;
    for (double *&p : spDsdDecimFirSrcBufCh) {
        p = allocDoubles(kDsdDecimHistoryBytes, true);
        ok = ok && p;
    }
    spMixDecimFirSrcBuf = allocDoubles(kMixDecimHistoryBytes, true);
    gpMixTrackBuf = allocDoubles(kMixWorkBytes, true);
    gpMixFxBuf = allocDoubles(kMixWorkBytes, true);
    if (!ok || !spMixDecimFirSrcBuf || !gpMixTrackBuf || !gpMixFxBuf) {
        finishAudioThreadMemoryWhole();
        return kEngineErrMemory;
    }
    sMixBufFrames = kMixWorkBytes / 16;
    return kEngineMemOk;
}

int allocateDsdIdleBuffer(int32_t bytes) {
    if (bytes < 1) bytes = 1;
    const uint64_t size = 2 * static_cast<uint64_t>(bytes);
    auto *p = static_cast<uint8_t *>(_aligned_malloc(size, 16));
    if (!p) return kEngineErrMemory;
    // The whole block, not only the idle part: a reader that runs past the
    // idle size still reads silence.
    std::memset(p, kDsdIdleByte, size);
    for (auto &row : sDsdIdleTable)
        for (unsigned char *&e : row) e = p;
    _aligned_free(sDsdIdleBuffer);
    sDsdIdleBuffer = p;
    sDsdIdleBytes = bytes;
    return kEngineMemOk;
}

int audioThread_resetDSDBuffers() {
    int r = kEngineMemOk;
    const int32_t frames = sLastBufferFrames.load(kRelaxed);
    if (!sDsdIdleBuffer || sDsdIdleBytes < frames)
        r = allocateDsdIdleBuffer(frames > 0 ? frames : kDsdIdleInitialBytes);
    for (int t = 0; t < kMaxTracks; ++t) spTrackDsdBlocks[t].store(sDsdIdleTable[t], kRelaxed);
    return r;
}
