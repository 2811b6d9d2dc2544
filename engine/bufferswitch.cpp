#include "engine/bufferswitch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

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
#include "engine/mixing.h"
#include "engine/playbackproducer.h"
#include "engine/rtdiag.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kDsdRateFloor = 2822400;
constexpr int kChunkAlign = 32;     // chunks above this many frames are multiples of it
constexpr int kMuteSlackBytes = 8;  // the splice reads a few bytes past the chunk (its delay)

// Device-thread state.
std::atomic_flag sSwitchBusy = ATOMIC_FLAG_INIT;  // one caller inside bufferSwitchCommon at a time
// The GUI thread is growing the buffers (bufferSwitchReserve): a device
// buffer that finds the switch taken then goes out silent instead of
// waiting for an allocation.
std::atomic<bool> sReserving{false};
bool sDsmInit_F = false;  // the modulator's integrators were set up
// The material of a pure DSD stream ended with the buffer, and the bits the
// splice's delay still holds go out at the start of the next one.
bool sDsdTailPending = false;

int32_t playFs() { return std::max(1, gAudioThread_playFs.load(kRelaxed)); }

audioThread *trackThread(int track) {
    if (track < 0 || track >= kMaxTracks) return nullptr;
    const int id = sAudioIoThreadId[track].load(kRelaxed);
    return id >= 0 && id < kAudioThreadSlots ? pAudioThreads[id].load(std::memory_order_acquire) : nullptr;
}

double *allocFrames(int frames) {
    const uint64_t bytes = uint64_t(frames) * 16;
    auto *p = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (p) std::memset(p, 0, bytes);
    return p;
}

bool isDsdRate() { return gAudioThread_playFs.load(kRelaxed) >= kDsdRateFloor; }

// Whether the buffers that must hold a whole device buffer hold `frames`.
bool buffersFit(CAudioThreadFunc *backEnd, int frames) {
    if (frames > sMutePatBits && isDsdRate()) return false;
    return gSineWaveBufSize >= frames && sMasterBufFrames >= frames && gpMasterBuf[0] && gpMasterBuf[1] &&
           workBuffersFit(frames) && backEnd->fits(frames);
}

// The buffers that must hold a whole device buffer, grown by
// bufferSwitchReserve (never on the device thread). A failed allocation
// leaves the buffer null with capacity 0 (its users then write nothing).
void growBuffers(int frames) {
    if (frames > sMutePatBits && isDsdRate()) {
        const uint64_t half = (uint64_t(frames) + 7) / 8 + kMuteSlackBytes;
        auto *p = static_cast<uint8_t *>(_aligned_malloc(2 * half, 16));
        if (p) std::memset(p, gMuteDirectTable[sDelayConvFirMute.load(kRelaxed) & 7], 2 * half);
        gMutePatBuffer[0] = p;
        gMutePatBuffer[1] = p ? p + half : nullptr;
        _aligned_free(sMutePatGrown);
        sMutePatGrown = p;
        sMutePatBits = p ? int32_t((half - kMuteSlackBytes) * 8) : 0;
    }
    if (gSineWaveBufSize < frames) {
        double *p[2] = {allocFrames(frames), allocFrames(frames)};
        for (int i = 0; i < 2; ++i) {
            _aligned_free(sSineWaveGrown[i]);
            sSineWaveGrown[i] = nullptr;
        }
        if (p[0] && p[1]) {
            sSineWaveGrown[0] = gSineWaveBuffer[0] = p[0];
            sSineWaveGrown[1] = gSineWaveBuffer[1] = p[1];
            gSineWaveBufSize = frames;
        } else {
            _aligned_free(p[0]);
            _aligned_free(p[1]);
            gSineWaveBuffer[0] = gSineWaveBuffer[1] = nullptr;
            gSineWaveBufSize = 0;
        }
    }
    if (sMasterBufFrames < frames || !gpMasterBuf[0] || !gpMasterBuf[1]) {
        _aligned_free(gpMasterBuf[0]);
        _aligned_free(gpMasterBuf[1]);
        gpMasterBuf[0] = allocFrames(frames);
        gpMasterBuf[1] = allocFrames(frames);
        if (gpMasterBuf[0] && gpMasterBuf[1]) {
            sMasterBufFrames = frames;
        } else {
            _aligned_free(gpMasterBuf[0]);
            _aligned_free(gpMasterBuf[1]);
            gpMasterBuf[0] = gpMasterBuf[1] = nullptr;
            sMasterBufFrames = 0;
        }
    }
}

// What a stop and the end of the material share: the engine stopped, the
// play request gone, the job told (bit 1 of its command word), and every
// track's ring state and the capture positions back to 0.
void endPlayback() {
    sEngineStatus.store(kEngineStopped, kRelaxed);
    sPlayRequest.store(0, kRelaxed);
    if (tMorphexCom *com = spRunningCom.load(kRelaxed)) comWordClear(com, kMorphexComFeedOnly);
    sStopRequest.store(false, kRelaxed);
    clearBufferParameters();
}

void carryOutStop() {
    sPlayGate.store(false, kRelaxed);
    endPlayback();
    sConvAbort.store(true, kRelaxed);
    CDsm5th.initDsm5thIntegrators(44100);
}

// A requested stop: fade out, then stop once both channels have faded to 0
// and acknowledged it, or when the time-out runs out. Monitoring stops at
// once (it has nothing to fade).
void checkStopRequest(int frames) {
    if (!sStopRequest.load(std::memory_order_acquire)) return;
    const int32_t elapsed = int32_t(int64_t(frames) * 1000 / playFs());
    const int32_t left = sStopTimeoutMs.fetch_sub(elapsed, kRelaxed) - elapsed;
    if (sInputMonitorEnable.load(kRelaxed)) {
        carryOutStop();
        return;
    }
    for (auto &r : sFadeReq) r.store(kFadeOutBit, kRelaxed);
    const double zero[2] = {0.0, 0.0};
    CFadeVolLpf.setXdiret(zero);
    if (sInputMonitorEnable.load(kRelaxed)) {
        carryOutStop();
        return;
    }
    const bool faded = CFadeVolLpf.getCoefY_1_ch(0) == 0.0 && CFadeVolLpf.getCoefY_1_ch(1) == 0.0 &&
                       (sFadeAck[0].load(kRelaxed) & kFadeOutBit) && (sFadeAck[1].load(kRelaxed) & kFadeOutBit);
    if (faded) {
        carryOutStop();
    } else if (left < 0) {
        carryOutStop();
        sPlayTimeoutFlag.store(true, kRelaxed);
        rtDiag_raise(kRtDiagStopTimedOut);
    }
}

// The play gate opens once more than one block of the longest track waits,
// or once the rest of that track is already in its ring.
void checkPlayGate(const int64_t *produced, const int64_t *consumed) {
    if (sPlayRequest.load(kRelaxed) != 1 || sPlayGate.load(kRelaxed)) return;
    const int t = sTrkWithMaxWaveLength.load(kRelaxed);
    const audioThread *th = trackThread(t);
    if (!th || th->getSourceRate() == 0) return;
    const int64_t waiting = produced[t] - consumed[t];
    if (waiting > sRingBlockFrames.load(kRelaxed)) {
        sPlayGate.store(true, kRelaxed);
        return;
    }
    const __int128 rest =
        static_cast<__int128>(th->getSourceLength()) * playFs() / th->getSourceRate() - sPlayingSample.load(kRelaxed);
    if (static_cast<__int128>(waiting) + sDelayConvFir.load(kRelaxed) >= rest) sPlayGate.store(true, kRelaxed);
}

// The output carries the source's own DSD bits, steadily: both channels on
// the offered stream and asking for it, no fade under way, pure output
// allowed. Only then does the splice hold the material's last bits.
bool pureDsdSteady(const tEngineParams &params) {
    if (!isDsdRate() || COscClass.getOscStatus()) return false;
    if (!params.dsdPure || !sDsdPureJob.load(kRelaxed) || !sDsdPureFade.load(kRelaxed)) return false;
    for (int c = 0; c < 2; ++c) {
        if (CDsm5th.mSpliceCur[c] != 1 || CDsm5th.mSpliceReq[c] != 1) return false;
        if (sFadeReq[c].load(kRelaxed) & ~sFadeAck[c].load(kRelaxed)) return false;
    }
    return true;
}

// Playback ends when the longest track's material is through. Only while
// the engine plays or is asked to: a mix-down feed has its own end, a
// stopped engine has nothing to end (and a finished job's command block may
// already be gone), and the capture positions of a running monitor stay.
void checkEndOfMaterial(bool pureTail) {
    if (sEngineStatus.load(kRelaxed) != kEnginePlaying && sPlayRequest.load(kRelaxed) != 1) return;
    const audioThread *t0 = trackThread(0);
    const audioThread *th = trackThread(sTrkWithMaxWaveLength.load(kRelaxed));
    if (!t0 || t0->getSourceRate() == 0 || !th || th->getSourceRate() == 0) return;
    // Material shorter than the conversion delay ends at once, instead of
    // wrapping round to an end that is never reached. A pure DSD stream
    // plays its material whole: the splice's delay goes out as its tail.
    __int128 samples = static_cast<__int128>(th->getSourceLength()) + th->getTrackOffset() -
                       (pureTail ? 0 : sDelayConvFir.load(kRelaxed));
    if (samples < 0) samples = 0;
    const __int128 end = samples * playFs() / th->getSourceRate();
    if (sPlayingSample.load(kRelaxed) < end) return;
    const tMorphexCom *com = spRunningCom.load(kRelaxed);
    if (com && comWritesFile(comWord(com))) return;
    endPlayback();
    // A stop fades the output to 0 first; the end of the material leaves it
    // where it was, at 1 or anywhere in a fade-in that had not finished,
    // with the modulator's splice and integrator cutting halfway. The next
    // playback starts from the state a stop leaves, or it never splices
    // into its own stream and plays idle words.
    resetOutputFade();
    CDsm5th.initDsm5thIntegrators(44100);
}

}  // namespace

double bufferSwitch_automationLevel(const tDspVolItem *items, double x, int *segment) {
    if (segment) *segment = -1;
    if (!items || x < double(items[0].start)) return 0.0;
    for (int i = 1; i < kRtVolItems; ++i) {
        if (items[i].start < 0) break;
        const double s0 = double(items[i - 1].start), s1 = double(items[i].start);
        if (s0 <= x && x < s1) {
            if (segment) *segment = i;
            return items[i - 1].level + (x - s0) * (items[i].level - items[i - 1].level) / (s1 - s0);
        }
    }
    return 0.0;
}

void bufferSwitchCommon(CAudioThreadFunc *backEnd, int, int type, int frames, unsigned char **outputs,
                        unsigned char **inputs, tBufferSwitchParams *rec, int recType) {
    if (!backEnd || !outputs || !inputs || !rec) return;
    if (frames < 0) frames = 0;

    // Buffer bookkeeping. A pass without output (a separate input device's)
    // is no device buffer of its own.
    sOutputFrameCount.fetch_add(frames, kRelaxed);
    if (frames > 0) {
        const int32_t prev = sPrevBufferSize.load(kRelaxed);
        if (frames != prev && prev > 0) sBufferSizeChanged_F.store(true, kRelaxed);
        sPrevBufferSize.store(frames, kRelaxed);
        sLastBufferFrames.store(frames, kRelaxed);
    }

    // The four outputs from the first output channel on.
    const int32_t maxOutputs = std::max(1, sMaxOutputs.load(kRelaxed));
    int32_t first = sFirstOutputChannel.load(kRelaxed);
    if (first < 0 || first >= maxOutputs) first = 0;
    unsigned char *outs[kSwitchListEntries];
    for (int k = 0; k < kSwitchListEntries; ++k) {
        const int idx = (first + k) % maxOutputs;
        outs[k] = idx < kSwitchListEntries ? outputs[idx] : nullptr;
    }
    rec->flag = 0;
    rec->pointer = nullptr;

    if (rec->inputChannels > 0) sRecBufferFrames.store(backEnd->getCurrentBufferSize(rec->inputFrames), kRelaxed);
    sWdtCounter.store(sWdtReload.load(kRelaxed), kRelaxed);
    sBackEndFftOrder.store(backEnd->getFFTorder(), kRelaxed);

    rec->masterBuffer = gpMasterBuf;
    if (!buffersFit(backEnd, frames)) {
        // A buffer larger than the stream reserved: silent, and the GUI
        // thread grows the buffers for the next one.
        if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);
        rtDiag_raise(kRtDiagBufferTooLarge, frames);
        return;
    }

    // The GUI's settings for this whole buffer, and what other threads
    // asked of the modulator and the fade smoother.
    const tEngineParamsHold params;
    engineApplyOutputRequests();

    if (!sDsmInit_F) {
        CDsm5th.initDsm5thIntegrators(44100);
        CDsm5th.initDsm5thPeakLevel();
        sDsmInit_F = true;
    }
    const int bits = backEnd->getBitLength(type);

    checkStopRequest(frames);

    // Where each track is in its ring. The produced counts first (acquire):
    // they publish the tables and block sizes read after them.
    const tMixParam *mix = engineMixParam();
    const int count = mix ? std::clamp(mix->trackCount, 0, int(kMaxTracks)) : 0;
    const int32_t numBlocks = std::max(1, sNumBufBlk.load(kRelaxed));
    int64_t produced[kMaxTracks], consumed[kMaxTracks];
    double **tables[kMaxTracks];
    int32_t blockFrames[kMaxTracks];
    int offsets[kMaxTracks] = {}, indices[kMaxTracks] = {};
    for (int t = 0; t < kMaxTracks; ++t) produced[t] = sProducedCount[t].load(std::memory_order_acquire);
    for (int t = 0; t < kMaxTracks; ++t) {
        consumed[t] = sConsumedCount[t].load(kRelaxed);
        tables[t] = spTrackPcmBlocks[t].load(kRelaxed);
        blockFrames[t] = sTrackBlockFrames[t].load(kRelaxed);
    }
    unsigned char **dsdBlocks = spTrackDsdBlocks[0].load(kRelaxed);
    for (int t = 0; t < count; ++t) {
        const int64_t b = blockFrames[t];
        if (blockFrames[0] > 0 && b > 0 && consumed[t] >= 0) {
            offsets[t] = int(consumed[t] % b);
            indices[t] = int((consumed[t] % (numBlocks * b)) / b);
        }
    }
    int framesToPlay = frames;
    if (count == 1) framesToPlay = std::clamp(int32_t(produced[0] - consumed[0]), int32_t(0), int32_t(frames));

    checkPlayGate(produced, consumed);
    // A tail left over from the last buffer goes out first, if nothing new
    // plays meanwhile.
    const bool tail = sDsdTailPending;
    sDsdTailPending = false;
    bool pureTail = false;

    if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);

    sInputChannels.store(rec->inputChannels, kRelaxed);
    rec->captureWriteOffsets = sCaptureWriteOffset;
    rec->outputOffset = 0;
    rec->capturedFrames = 0;

    if (sInputMonitorEnable.load(std::memory_order_acquire)) {
        const int ch = sInputMonitorChannel.load(kRelaxed);
        if (ch >= 0 && ch < kSwitchListEntries && inputs[ch]) {
            unsigned char *second = ch + 1 < kSwitchListEntries && inputs[ch + 1] ? inputs[ch + 1] : inputs[ch];
            captureInput(backEnd, type, recType, inputs[ch], second, rec);
        }
        if (outs[0]) playMonitor(backEnd, type, frames, outs, rec);
    } else if (COscClass.getOscStatus()) {
        if (outs[0]) backEnd->sineWaveToAudioDriverBuffer(type, frames, outs[0], outs[1], rec);
    } else if (sPlayRequest.load(kRelaxed) == 1 && sPlayGate.load(kRelaxed)) {
        // Pure DSD may pass only while the automation stays at exactly 1
        // over the whole buffer.
        int segStart = -1, segEnd = -1;
        const double x = double(sPlayingSample.load(kRelaxed));
        (void)bufferSwitch_automationLevel(sVolItems, x, &segStart);
        const double endLevel = bufferSwitch_automationLevel(sVolItems, x + frames, &segEnd);
        sDsdPureFade.store(endLevel == 1.0 && segStart == segEnd, kRelaxed);

        int32_t widest = 1;
        for (int t = 0; t < count; ++t) widest = std::max(widest, blockFrames[t]);
        int remaining = framesToPlay;
        while (remaining > 0) {
            // The chunk ends at the first block end of any track (an idle
            // track counts as having the widest block).
            int64_t over = -1;
            for (int t = 0; t < count; ++t) {
                const int32_t b = blockFrames[t] <= 1 ? widest : blockFrames[t];
                over = std::max(over, int64_t(offsets[t]) + framesToPlay - b);
            }
            int chunk = remaining;
            if (over > 0) {
                const int n = int(std::min<int64_t>(remaining, framesToPlay - over));
                chunk = n < kChunkAlign + 1 ? n : n / kChunkAlign * kChunkAlign;
            }
            if (chunk < 1) break;
            rec->blockIndex = indices[0];
            (void)backEnd->convertDataToAudioDriverBuffer(type, chunk, offsets, tables, indices, outs, dsdBlocks, rec);
            for (int t = 0; t < count; ++t) {
                const int32_t b = std::max(1, blockFrames[t]);
                if (offsets[t] + chunk >= b) ++indices[t];
                offsets[t] = (offsets[t] + chunk) % b;
                if (indices[t] >= numBlocks) indices[t] = 0;
            }
            backEnd->incPlayBufferAddress(outs, chunk, bits, rec->outputChannels, backEnd->getDopMarkSize());
            remaining -= chunk;
        }
        for (int t = 0; t < count; ++t) sConsumedCount[t].fetch_add(framesToPlay, kRelaxed);
        // A lone track whose producer has fallen behind plays what there is
        // and the rest of the buffer is silence: the position moves only by
        // what was played, or the end of the material would come before its
        // last samples were heard. Once the job has ended, the tail (shorter
        // than a buffer) counts whole.
        const bool ended = sJobEnded[0].load(kRelaxed);
        const bool starved = count == 1 && framesToPlay < frames && !ended;
        sPlayingSample.fetch_add(starved ? framesToPlay : frames, kRelaxed);
        // The last of a pure DSD stream: the bits still in the splice's
        // delay follow the material, in this buffer when it has room.
        pureTail = count == 1 && pureDsdSteady(*params);
        if (pureTail && ended && consumed[0] + framesToPlay >= produced[0] && outs[0]) {
            if (frames - framesToPlay >= kDsdTailBits)
                (void)backEnd->writeDsdTail(type, kDsdTailBits, outs, rec);
            else
                sDsdTailPending = true;
        }
    } else {
        if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);
        gAudioThread_clearAnalysisStopped(frames);
        if (tail && outs[0] && frames >= kDsdTailBits) (void)backEnd->writeDsdTail(type, kDsdTailBits, outs, rec);
    }

    checkEndOfMaterial(pureTail);
    engineShowFadeLevel();
}

void bufferSwitchCoreAudioQueue(unsigned int, int type, int frames, unsigned char *out, unsigned char *in,
                                int inChannels, tCoreAudioParams *params, int outChannels, unsigned int recType) {
    tBufferSwitchParams rec;
    rec.inputChannels = inChannels;
    rec.outputChannels = outChannels;
    if (params) {
        rec.firstOutputChannel = params->outChannelOffset;
        rec.firstInputChannel = params->inChannelOffset;
        rec.inputFrames = params->inFrames;
    }
    // One interleaved buffer per direction carries every channel: whichever
    // output (or input) the monitor starts at, it is this buffer, never the
    // other direction's.
    unsigned char *outputs[kSwitchListEntries] = {out, out, out, out};
    unsigned char *inputs[kSwitchListEntries] = {in, in, in, in};
    // An output device and a separate input device call on two threads; the
    // engine's state takes one buffer at a time. The wait is at most one
    // buffer's work on the other device's thread; the GUI thread's reserve
    // is never waited for (the buffer goes out silent).
    while (sSwitchBusy.test_and_set(std::memory_order_acquire)) {
        if (sReserving.load(std::memory_order_acquire)) {
            if (out && pCAudioThreadCoreAudioFunc)
                pCAudioThreadCoreAudioFunc->copy0DataToAudioDriverBuffer(type, frames, out, nullptr, outChannels);
            return;
        }
        std::this_thread::yield();
    }
    bufferSwitchCommon(pCAudioThreadCoreAudioFunc, 0, type, frames, outputs, inputs, &rec, int(recType));
    sSwitchBusy.clear(std::memory_order_release);
}

void bufferSwitchReserve(int frames) {
    if (frames < 1) return;
    sReserving.store(true, std::memory_order_release);
    while (sSwitchBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    growBuffers(frames);
    (void)reserveMixingBuffers(frames);
    if (auto *f = dynamic_cast<gCAudioThreadCoreAudioFunc *>(pCAudioThreadCoreAudioFunc)) (void)f->reserve(frames);
    sSwitchBusy.clear(std::memory_order_release);
    sReserving.store(false, std::memory_order_release);
}

void bufferSwitchPrepareLayouts(int outType, int outType2, int inType) {
    auto *f = dynamic_cast<gCAudioThreadCoreAudioFunc *>(pCAudioThreadCoreAudioFunc);
    if (!f) return;
    sReserving.store(true, std::memory_order_release);
    while (sSwitchBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    for (int type : {inType, outType, outType2}) (void)f->prepareLayout(type);
    sSwitchBusy.clear(std::memory_order_release);
    sReserving.store(false, std::memory_order_release);
}

// ---- Read by the GUI timer -------------------------------------------------------------

int64_t gAudioThread_getCurrentOutSampleCount() { return sOutputFrameCount.load(kRelaxed); }

int gAudioThread_getAudioBufferFrameSize() { return sLastBufferFrames.load(kRelaxed); }

int gAudioThread_getRecBufferFrameSize() { return sRecBufferFrames.load(kRelaxed); }

bool gAudioThread_getBufferSizeChangedFlag() { return sBufferSizeChanged_F.load(kRelaxed); }

void gAudioThread_clearBufferSizeChanged() {
    sBufferSizeChanged_F.store(false, kRelaxed);
    sPrevBufferSize.store(-1, kRelaxed);
}

int gAutioThread_getInputChannels() { return sInputChannels.load(kRelaxed); }

bool gAudioThread_getPlayStarted() { return sPlayStarted.exchange(false, kRelaxed); }

bool gAudioThread_getPlayTimeoutFlag() { return sPlayTimeoutFlag.load(kRelaxed); }

void gAudioThread_clearPlayTimeoutFlag() { sPlayTimeoutFlag.store(false, kRelaxed); }

uint64_t getPlayingSample() { return uint64_t(sPlayingSample.load(kRelaxed)); }

int getNumBufBlks() { return sNumBufBlk.load(kRelaxed); }

int checkPlayStatusImmd() { return checkPlayStatusDo(0); }
