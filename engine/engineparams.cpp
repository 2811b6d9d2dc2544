#include "engine/engineparams.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "dsp/dynamics.h"
#include "dsp/reverb.h"
#include "engine/enginestate.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

// ---- The snapshot hand-over ----------------------------------------------------------
// Publication: the GUI side builds a snapshot on the heap and stores its
// pointer (seq_cst, which includes release). Taking: a reader claims one of
// a few hazard slots, stores the pointer it read there and reads the
// published pointer again; only when both agree does it use the snapshot
// (then the publisher, which frees a retired snapshot only after seeing no
// slot holding it, cannot have missed it). Publishers are serialised by a
// mutex of the GUI side; readers never touch it.

namespace {

constexpr int kHoldSlots = 16;
constexpr int kTakeTries = 64;

tEngineParams makeDefaultParams() {
    tEngineParams p;
    p.outputPatch[0] = kOutputPatchMaster;
    for (int i = 1; i < kOutputPatchSize; ++i) p.outputPatch[i] = -1;
    return p;
}

const tEngineParams sDefaultParams = makeDefaultParams();
std::atomic<const tEngineParams *> sPublished{&sDefaultParams};
std::atomic<const tEngineParams *> sHazard[kHoldSlots];
std::atomic<bool> sSlotClaimed[kHoldSlots];

// GUI side, under sPublishMutex: the registered mixer record, the snapshots
// retired and not yet freed, and the GUI's own values of the setters that
// the engine may also change (the DSD purity).
std::mutex sPublishMutex;
tMixParam *sMixSource = nullptr;
// Never destroyed: the snapshots in it stay reachable until the process ends.
std::vector<const tEngineParams *> &sRetired = *new std::vector<const tEngineParams *>;
bool sGuiDsdPure = false;

// The calling thread's hold: its slot and snapshot, and how deep holders nest.
thread_local int tHoldDepth = 0;
thread_local int tHoldSlot = -1;
thread_local const tEngineParams *tHeld = nullptr;

uint64_t sEqRegistration = 0;  // setPEQClassToDSP calls so far

void captureEq(tEqSetting &e, const tPEQ *eq) {
    e.source = eq;
    e.registration = sEqRegistration;
    if (!eq) return;
    e.present = 1;
    e.on = eq->allOn && *eq->allOn ? 1 : 0;
    e.totalGainLin = eq->totalGainLin;
    for (int b = 0; b < kEqBands; ++b) {
        const peakEq &src = eq->band[b];
        tEqBandSetting &d = e.band[b];
        d.on = src.mBandOn ? 1 : 0;
        d.type = src.mType;
        d.shelvLo = src.mShelvLo ? 1 : 0;
        d.gainChanging = src.mGainChanging ? 1 : 0;
        d.gainChangeStatus = src.mGainChangeStatus;
        d.gain = src.mGain;
        d.gainCur = src.mGainCur;
        d.freq = src.mFreq;
        d.q = src.mQ;
        d.fs = src.mFs;
    }
}

// A snapshot of the GUI's records and setters now. Zeroed first, so that
// two snapshots of the same settings compare equal byte for byte.
tEngineParams *buildParams() {
    auto *p = new tEngineParams;
    std::memset(static_cast<void *>(p), 0, sizeof(tEngineParams));
    p->haveMix = sMixSource ? 1 : 0;
    if (sMixSource) std::memcpy(static_cast<void *>(&p->mix), sMixSource, sizeof(tMixParam));
    tPEQ **tracks = engine().trackPEQ.load(kRelaxed);
    for (int t = 0; t < kMaxTracks; ++t) captureEq(p->trackEq[t], tracks ? tracks[t] : nullptr);
    captureEq(p->masterEq, engine().masterPEQ.load(kRelaxed));
    p->masterVol[0] = engine().masterVol[0].load(kRelaxed);
    p->masterVol[1] = engine().masterVol[1].load(kRelaxed);
    p->dsdPure = sGuiDsdPure ? 1 : 0;
    p->polarityInvert = engine().polarityInvert.load(kRelaxed) ? 1 : 0;
    p->cpuid = engine().cpuid.load(kRelaxed);
    for (int i = 0; i < kOutputPatchSize; ++i) p->outputPatch[i] = __atomic_load_n(&gOutputPatch[i], __ATOMIC_RELAXED);
    return p;
}

void freeParams(const tEngineParams *p) { delete p; }

// Frees the retired snapshots that no slot holds. Under sPublishMutex.
void reclaim() {
    size_t kept = 0;
    for (const tEngineParams *r : sRetired) {
        bool held = false;
        for (auto &h : sHazard) held = held || h.load(std::memory_order_seq_cst) == r;
        if (held)
            sRetired[kept++] = r;
        else
            freeParams(r);
    }
    sRetired.resize(kept);
}

// Publishes the GUI's state now; with onlyChanged, only when it differs
// from the published snapshot. Under sPublishMutex.
void publishLocked(bool onlyChanged) {
    tEngineParams *next = buildParams();
    const tEngineParams *cur = sPublished.load(std::memory_order_relaxed);
    if (onlyChanged && std::memcmp(next, cur, sizeof(tEngineParams)) == 0) {
        freeParams(next);
    } else {
        sPublished.store(next, std::memory_order_seq_cst);
        if (cur != &sDefaultParams) sRetired.push_back(cur);
    }
    reclaim();
}

void publishNow() {
    std::lock_guard<std::mutex> lock(sPublishMutex);
    publishLocked(false);
}

}  // namespace

tEngineParamsHold::tEngineParamsHold() {
    if (tHoldDepth++ > 0) {
        mParams = tHeld;
        return;
    }
    // A slot for this thread's hold: there are far more slots than threads
    // that read at once (device, mix-down, GUI).
    int slot = -1;
    for (int s = 0; s < kHoldSlots && slot < 0; ++s)
        if (!sSlotClaimed[s].exchange(true, std::memory_order_acquire)) slot = s;
    const tEngineParams *p = nullptr;
    if (slot >= 0) {
        for (int t = 0; t < kTakeTries && !p; ++t) {
            const tEngineParams *seen = sPublished.load(std::memory_order_seq_cst);
            sHazard[slot].store(seen, std::memory_order_seq_cst);
            if (sPublished.load(std::memory_order_seq_cst) == seen) p = seen;
        }
    }
    // No slot, or a publisher that never paused: the defaults (nothing
    // mixed, nothing patched) for this once.
    tHoldSlot = slot;
    tHeld = p ? p : &sDefaultParams;
    mParams = tHeld;
}

tEngineParamsHold::~tEngineParamsHold() {
    if (--tHoldDepth > 0) return;
    if (tHoldSlot >= 0) {
        sHazard[tHoldSlot].store(nullptr, std::memory_order_seq_cst);
        sSlotClaimed[tHoldSlot].store(false, std::memory_order_release);
    }
    tHoldSlot = -1;
    tHeld = nullptr;
}

void gAudioThread_setMixParam(tMixParam *mix) {
    std::lock_guard<std::mutex> lock(sPublishMutex);
    sMixSource = mix;
    publishLocked(false);
}

void gAudioThread_publishMixParam() {
    std::lock_guard<std::mutex> lock(sPublishMutex);
    publishLocked(true);
}

const tMixParam *engineMixParam() { return tHoldDepth > 0 && tHeld->haveMix ? &tHeld->mix : nullptr; }

int engineParamsLiveCount() {
    std::lock_guard<std::mutex> lock(sPublishMutex);
    return int(sRetired.size()) + (sPublished.load(kRelaxed) != &sDefaultParams ? 1 : 0);
}

void setPEQClassToDSP(tPEQ **tracks, tPEQ *master) {
    std::lock_guard<std::mutex> lock(sPublishMutex);
    engine().trackPEQ.store(tracks, kRelaxed);
    engine().masterPEQ.store(master, kRelaxed);
    ++sEqRegistration;
    publishLocked(false);
}

void setReverbClassToDSP(reverb *fx) {
    engine().reverbFx.store(fx, kRelaxed);
    if (fx) fx->setInputBufferSize(kReverbRingFrames);
}

void setDynamicsClass(ClassDynamics *dynamics) { engine().dynamicsFx.store(dynamics, kRelaxed); }

int allocateReverbBuffer() {
    freeReverbBuffer();
    const uint64_t bytes = uint64_t(kReverbRingFrames) * 16;
    auto *p = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (!p) return kEngineErrMemory;
    std::memset(p, 0, bytes);
    engine().reverbBufPointer = 0;
    engine().reverbBuffer = p;
    return kEngineMemOk;
}

void freeReverbBuffer() {
    double *p = engine().reverbBuffer;
    engine().reverbBuffer = nullptr;
    engine().reverbBufPointer = 0;
    _aligned_free(p);
}

void rezeroReverbBuffer() {
    if (engine().reverbBuffer) std::memset(engine().reverbBuffer, 0, uint64_t(kReverbRingFrames) * 16);
    if (reverb *fx = engine().reverbFx.load(kRelaxed)) fx->clearReverbBuffer();
}

void setMasterVolDsp(double dB) {
    // NaN fails the test too and gives silence.
    const bool audible = dB > kMasterVolFloorDb;
    const double gain = audible ? std::pow(10.0, dB / 20.0) : 0.0;
    engine().masterVol[0].store(gain, kRelaxed);
    engine().masterVol[1].store(gain, kRelaxed);
    engine().masterVoldB.store(audible ? dB : kMasterVolSilentDb, kRelaxed);
    publishNow();
}

void setAudioIoThreadId(int index, int track) {
    if (engineTrackSlot(track) < 0) return;
    // The real-time path indexes the registry with it.
    if (index < -1 || index >= kAudioThreadSlots) index = -1;
    engine().audioIoThreadId[track].store(index, kRelaxed);
}

void setMaxWaveLengthThreadID(int track) {
    if (engineTrackSlot(track) < 0) return;
    engine().longestTrack.store(track, kRelaxed);
}

void setDsdPureOrNot(bool pure) {
    // dsdPure shows the last word of either side (a job that may not pass
    // its bits clears it); the engine takes the GUI's allowance from the
    // snapshot and the job's from dsdPureJob.
    engine().dsdPure.store(pure, kRelaxed);
    std::lock_guard<std::mutex> lock(sPublishMutex);
    sGuiDsdPure = pure;
    publishLocked(false);
}

void seteNcPhase(bool invert) {
    engine().polarityInvert.store(invert, kRelaxed);
    publishNow();
}

void setCpuid(unsigned features) {
    engine().cpuid.store(features, kRelaxed);
    publishNow();
}

void gAudioThread_clearTrackInfo(int track) {
    if (engineTrackSlot(track) < 0) return;
    // The idle table rather than no table: the mixer and the time-stretch
    // worker read through this pointer without testing it.
    engine().trackPcmBlocks[track].store(engine().dummyPlayTable, std::memory_order_seq_cst);
}

int gAudioThread_clearEQparam() {
    // The filters run on the engine's side: it clears them before its next
    // chunk.
    engine().eqClearRequest.fetch_or(kEqClearMaster, kRelaxed);
    return 0;
}

void gAudioThread_clearAllEqHistory() { engine().eqClearRequest.fetch_or(kEqClearMaster | kEqClearTracks, kRelaxed); }

int64_t *getDelayTable() { return engine().delayTable; }

void setWDT(int n) {
    engine().wdtReload.store(n, kRelaxed);
    engine().wdtCounter.store(n, kRelaxed);
}

bool downCountWDT(int step) {
    // The device thread may reload the counter between our load and store;
    // the exchange keeps a reload from being overwritten by a stale count.
    int32_t c = engine().wdtCounter.load(kRelaxed);
    do {
        if (c < step) return true;
    } while (!engine().wdtCounter.compare_exchange_weak(c, c - step, kRelaxed));
    return false;
}

void setAudioIODriver(tDriverComboBox) {}
void setMultiTrackMode(bool) {}
void gAudioThread_setVsaUnitSize(int) {}
void repVsaParamArray(double **, bool *, int *, float *) {}
void vsaReady(int) {}
