#include "engine/engineparams.h"

#include <cmath>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "dsp/dynamics.h"
#include "dsp/reverb.h"
#include "engine/enginestate.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

// ---- The mixer record, handed over whole -----------------------------------------------
// A sequence lock over one engine-owned copy: the publisher makes the count
// odd, writes the words and makes it even again; a reader copies the words
// between two equal, even counts. Every word is copied with atomic accesses,
// so a reader overlapped by a publication sees a changed count, never a
// torn record it keeps.

namespace {

constexpr size_t kMixWords = (sizeof(tMixParam) + 7) / 8;
uint64_t sMixShared[kMixWords];
std::atomic<uint32_t> sMixSeq{0};
std::atomic<bool> sMixRegistered{false};
constexpr int kMixReadTries = 8;
// GUI thread only: the registered record and what was published of it.
tMixParam *sMixSource = nullptr;
uint64_t sMixLast[kMixWords];

void publishMix(const tMixParam &m) {
    uint64_t words[kMixWords] = {};
    std::memcpy(words, &m, sizeof(m));
    const uint32_t s = sMixSeq.load(kRelaxed);
    sMixSeq.store(s + 1, kRelaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (size_t i = 0; i < kMixWords; ++i) __atomic_store_n(&sMixShared[i], words[i], __ATOMIC_RELAXED);
    sMixSeq.store(s + 2, std::memory_order_release);
    std::memcpy(sMixLast, words, sizeof(words));
}

bool readMix(tMixParam *out) {
    for (int t = 0; t < kMixReadTries; ++t) {
        const uint32_t s1 = sMixSeq.load(std::memory_order_acquire);
        if (s1 & 1) continue;
        uint64_t words[kMixWords];
        for (size_t i = 0; i < kMixWords; ++i) words[i] = __atomic_load_n(&sMixShared[i], __ATOMIC_RELAXED);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sMixSeq.load(kRelaxed) == s1) {
            std::memcpy(static_cast<void *>(out), words, sizeof(*out));
            return true;
        }
    }
    return false;
}

}  // namespace

void gAudioThread_setMixParam(tMixParam *mix) {
    sMixSource = mix;
    if (mix) publishMix(*mix);
    sMixRegistered.store(mix != nullptr, std::memory_order_release);
}

void gAudioThread_publishMixParam() {
    if (!sMixSource) return;
    uint64_t words[kMixWords] = {};
    std::memcpy(words, sMixSource, sizeof(tMixParam));
    if (std::memcmp(words, sMixLast, sizeof(words)) != 0) publishMix(*sMixSource);
}

const tMixParam *engineMixParam() {
    thread_local tMixParam copy;
    thread_local bool have = false;
    if (!sMixRegistered.load(std::memory_order_acquire)) return nullptr;
    if (readMix(&copy)) have = true;
    return have ? &copy : nullptr;
}

void setPEQClassToDSP(tPEQ **tracks, tPEQ *master) {
    spTrackPEQ.store(tracks, kRelaxed);
    spMasterPEQ.store(master, kRelaxed);
}

void setReverbClassToDSP(reverb *fx) {
    spReverb.store(fx, kRelaxed);
    if (fx) fx->setInputBufferSize(kReverbRingFrames);
}

void setDynamicsClass(ClassDynamics *dynamics) { spDynamics.store(dynamics, kRelaxed); }

int allocateReverbBuffer() {
    freeReverbBuffer();
    const uint64_t bytes = uint64_t(kReverbRingFrames) * 16;
    auto *p = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (!p) return kEngineErrMemory;
    std::memset(p, 0, bytes);
    gReverbBufPointer = 0;
    gpReverbBuffer = p;
    return kEngineMemOk;
}

void freeReverbBuffer() {
    double *p = gpReverbBuffer;
    gpReverbBuffer = nullptr;
    gReverbBufPointer = 0;
    _aligned_free(p);
}

void rezeroReverbBuffer() {
    if (gpReverbBuffer) std::memset(gpReverbBuffer, 0, uint64_t(kReverbRingFrames) * 16);
    if (reverb *fx = spReverb.load(kRelaxed)) fx->clearReverbBuffer();
}

void setMasterVolDsp(double dB) {
    // NaN fails the test too and gives silence.
    const bool audible = dB > kMasterVolFloorDb;
    const double gain = audible ? std::pow(10.0, dB / 20.0) : 0.0;
    sMasterVol[0].store(gain, kRelaxed);
    sMasterVol[1].store(gain, kRelaxed);
    sMasterVoldB.store(audible ? dB : kMasterVolSilentDb, kRelaxed);
}

void setAudioIoThreadId(int index, int track) {
    if (engineTrackSlot(track) < 0) return;
    // The real-time path indexes the registry with it.
    if (index < -1 || index >= kAudioThreadSlots) index = -1;
    sAudioIoThreadId[track].store(index, kRelaxed);
}

void setMaxWaveLengthThreadID(int track) {
    if (engineTrackSlot(track) < 0) return;
    sTrkWithMaxWaveLength.store(track, kRelaxed);
}

void setDsdPureOrNot(bool pure) { sDsdPure.store(pure, kRelaxed); }

void seteNcPhase(bool invert) { sPolarityInvert.store(invert, kRelaxed); }

void setCpuid(unsigned features) { sCpuid.store(features, kRelaxed); }

void gAudioThread_clearTrackInfo(int track) {
    if (engineTrackSlot(track) < 0) return;
    // The idle table rather than no table: the mixer and the time-stretch
    // worker read through this pointer without testing it.
    spTrackPcmBlocks[track].store(spDummyPlayBuffer, std::memory_order_seq_cst);
}

int gAudioThread_clearEQparam() {
    if (tPEQ *master = spMasterPEQ.load(kRelaxed))
        for (int b = kEqBands - 1; b >= 0; --b) master->band[b].initParam();
    return 0;
}

int64_t *getDelayTable() { return sDelayTable; }

void setWDT(int n) {
    sWdtReload.store(n, kRelaxed);
    sWdtCounter.store(n, kRelaxed);
}

bool downCountWDT(int step) {
    // The device thread may reload the counter between our load and store;
    // the exchange keeps a reload from being overwritten by a stale count.
    int32_t c = sWdtCounter.load(kRelaxed);
    do {
        if (c < step) return true;
    } while (!sWdtCounter.compare_exchange_weak(c, c - step, kRelaxed));
    return false;
}

void setAudioIODriver(tDriverComboBox) {}
void setMultiTrackMode(bool) {}
void gAudioThread_setVsaUnitSize(int) {}
void repVsaParamArray(double **, bool *, int *, float *) {}
void vsaReady(int) {}
