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

int32_t playFs(tEngine &e) { return std::max(1, e.playFs.load(kRelaxed)); }

audioThread *trackThread(tEngine &e, int track) {
    if (track < 0 || track >= kMaxTracks) return nullptr;
    const int id = e.audioIoThreadId[track].load(kRelaxed);
    return id >= 0 && id < kAudioThreadSlots ? e.audioThreads[id].load(std::memory_order_acquire) : nullptr;
}

double *allocFrames(int frames) {
    const uint64_t bytes = uint64_t(frames) * 16;
    auto *p = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (p) std::memset(p, 0, bytes);
    return p;
}

bool isDsdRate(tEngine &e) { return e.playFs.load(kRelaxed) >= kDsdRateFloor; }

// Whether the buffers that must hold a whole device buffer hold `frames`.
bool buffersFit(tEngine &e, CAudioThreadFunc *backEnd, int frames) {
    if (frames > e.mutePatBits && isDsdRate(e)) return false;
    return e.sineWaveBufSize >= frames && e.masterBufFrames >= frames && e.masterBuf[0] && e.masterBuf[1] &&
           workBuffersFit(e, frames) && backEnd->fits(frames);
}

// The buffers that must hold a whole device buffer, grown by
// bufferSwitchReserve (never on the device thread). A failed allocation
// leaves the buffer null with capacity 0 (its users then write nothing).
void growBuffers(tEngine &e, int frames) {
    if (frames > e.mutePatBits && isDsdRate(e)) {
        const uint64_t half = (uint64_t(frames) + 7) / 8 + kMuteSlackBytes;
        auto *p = static_cast<uint8_t *>(_aligned_malloc(2 * half, 16));
        if (p) std::memset(p, gMuteDirectTable[e.delayConvFirMute.load(kRelaxed) & 7], 2 * half);
        e.mutePatBuffer[0] = p;
        e.mutePatBuffer[1] = p ? p + half : nullptr;
        _aligned_free(e.mutePatGrown);
        e.mutePatGrown = p;
        e.mutePatBits = p ? int32_t((half - kMuteSlackBytes) * 8) : 0;
    }
    if (e.sineWaveBufSize < frames) {
        double *p[2] = {allocFrames(frames), allocFrames(frames)};
        for (int i = 0; i < 2; ++i) {
            _aligned_free(e.sineWaveGrown[i]);
            e.sineWaveGrown[i] = nullptr;
        }
        if (p[0] && p[1]) {
            e.sineWaveGrown[0] = e.sineWaveBuffer[0] = p[0];
            e.sineWaveGrown[1] = e.sineWaveBuffer[1] = p[1];
            e.sineWaveBufSize = frames;
        } else {
            _aligned_free(p[0]);
            _aligned_free(p[1]);
            e.sineWaveBuffer[0] = e.sineWaveBuffer[1] = nullptr;
            e.sineWaveBufSize = 0;
        }
    }
    if (e.masterBufFrames < frames || !e.masterBuf[0] || !e.masterBuf[1]) {
        _aligned_free(e.masterBuf[0]);
        _aligned_free(e.masterBuf[1]);
        e.masterBuf[0] = allocFrames(frames);
        e.masterBuf[1] = allocFrames(frames);
        if (e.masterBuf[0] && e.masterBuf[1]) {
            e.masterBufFrames = frames;
        } else {
            _aligned_free(e.masterBuf[0]);
            _aligned_free(e.masterBuf[1]);
            e.masterBuf[0] = e.masterBuf[1] = nullptr;
            e.masterBufFrames = 0;
        }
    }
}

// What a stop and the end of the material share: the engine stopped, the
// play request gone, the job told (bit 1 of its command word), and every
// track's ring state and the capture positions back to 0.
void endPlayback(tEngine &e) {
    e.engineStatus.store(kEngineStopped, kRelaxed);
    e.playRequest.store(0, kRelaxed);
    if (tMorphexCom *com = e.runningCom.load(kRelaxed)) comWordClear(com, kMorphexComFeedOnly);
    e.stopRequest.store(false, kRelaxed);
    clearBufferParameters(e);
}

void carryOutStop(tEngine &e) {
    e.playGate.store(false, kRelaxed);
    endPlayback(e);
    e.convAbort.store(true, kRelaxed);
    e.dsm5th.initDsm5thIntegrators(44100);
}

// A requested stop: fade out, then stop once both channels have faded to 0
// and acknowledged it, or when the time-out runs out. Monitoring stops at
// once (it has nothing to fade).
void checkStopRequest(tEngine &e, int frames) {
    if (!e.stopRequest.load(std::memory_order_acquire)) return;
    const int32_t elapsed = int32_t(int64_t(frames) * 1000 / playFs(e));
    const int32_t left = e.stopTimeoutMs.fetch_sub(elapsed, kRelaxed) - elapsed;
    if (e.inputMonitorEnable.load(kRelaxed)) {
        carryOutStop(e);
        return;
    }
    for (auto &r : e.fadeReq) r.store(kFadeOutBit, kRelaxed);
    const double zero[2] = {0.0, 0.0};
    e.fadeVolLpf.setXdiret(zero);
    if (e.inputMonitorEnable.load(kRelaxed)) {
        carryOutStop(e);
        return;
    }
    const bool faded = e.fadeVolLpf.getCoefY_1_ch(0) == 0.0 && e.fadeVolLpf.getCoefY_1_ch(1) == 0.0 &&
                       (e.fadeAck[0].load(kRelaxed) & kFadeOutBit) && (e.fadeAck[1].load(kRelaxed) & kFadeOutBit);
    if (faded) {
        carryOutStop(e);
    } else if (left < 0) {
        carryOutStop(e);
        e.playTimeoutFlag.store(true, kRelaxed);
        rtDiag_raise(kRtDiagStopTimedOut);
    }
}

// The play gate opens once more than one block of the longest track waits,
// or once the rest of that track is already in its ring.
void checkPlayGate(tEngine &e, const int64_t *produced, const int64_t *consumed) {
    if (e.playRequest.load(kRelaxed) != 1 || e.playGate.load(kRelaxed)) return;
    const int t = e.longestTrack.load(kRelaxed);
    const audioThread *th = trackThread(e, t);
    if (!th || th->getSourceRate() == 0) return;
    const int64_t waiting = produced[t] - consumed[t];
    if (waiting > e.ringBlockFrames.load(kRelaxed)) {
        e.playGate.store(true, kRelaxed);
        return;
    }
    const __int128 rest =
        static_cast<__int128>(th->getSourceLength()) * playFs(e) / th->getSourceRate() - e.playingSample.load(kRelaxed);
    if (static_cast<__int128>(waiting) + e.delayConvFir.load(kRelaxed) >= rest) e.playGate.store(true, kRelaxed);
}

// The output carries the source's own DSD bits, steadily: both channels on
// the offered stream and asking for it, no fade under way, pure output
// allowed. Only then does the splice hold the material's last bits.
bool pureDsdSteady(tEngine &e, const tEngineParams &params) {
    if (!isDsdRate(e) || COscClass.getOscStatus()) return false;
    if (!params.dsdPure || !e.dsdPureJob.load(kRelaxed) || !e.dsdPureFade.load(kRelaxed)) return false;
    for (int c = 0; c < 2; ++c) {
        if (e.dsm5th.mSpliceCur[c] != 1 || e.dsm5th.mSpliceReq[c] != 1) return false;
        if (e.fadeReq[c].load(kRelaxed) & ~e.fadeAck[c].load(kRelaxed)) return false;
    }
    return true;
}

// Playback ends when the longest track's material is through. Only while
// the engine plays or is asked to: a mix-down feed has its own end, a
// stopped engine has nothing to end (and a finished job's command block may
// already be gone), and the capture positions of a running monitor stay.
void checkEndOfMaterial(tEngine &e, bool pureTail) {
    if (e.engineStatus.load(kRelaxed) != kEnginePlaying && e.playRequest.load(kRelaxed) != 1) return;
    const audioThread *t0 = trackThread(e, 0);
    const audioThread *th = trackThread(e, e.longestTrack.load(kRelaxed));
    if (!t0 || t0->getSourceRate() == 0 || !th || th->getSourceRate() == 0) return;
    // Material shorter than the conversion delay ends at once, instead of
    // wrapping round to an end that is never reached. A pure DSD stream
    // plays its material whole: the splice's delay goes out as its tail.
    __int128 samples = static_cast<__int128>(th->getSourceLength()) + th->getTrackOffset() -
                       (pureTail ? 0 : e.delayConvFir.load(kRelaxed));
    if (samples < 0) samples = 0;
    const __int128 end = samples * playFs(e) / th->getSourceRate();
    if (e.playingSample.load(kRelaxed) < end) return;
    const tMorphexCom *com = e.runningCom.load(kRelaxed);
    if (com && comWritesFile(comWord(com))) return;
    endPlayback(e);
    // A stop fades the output to 0 first; the end of the material leaves it
    // where it was, at 1 or anywhere in a fade-in that had not finished,
    // with the modulator's splice and integrator cutting halfway. The next
    // playback starts from the state a stop leaves, or it never splices
    // into its own stream and plays idle words.
    resetOutputFade(e);
    e.dsm5th.initDsm5thIntegrators(44100);
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

void bufferSwitchCommon(tEngine &e, CAudioThreadFunc *backEnd, int, int type, int frames, unsigned char **outputs,
                        unsigned char **inputs, tBufferSwitchParams *rec, int recType) {
    if (!backEnd || !outputs || !inputs || !rec) return;
    if (frames < 0) frames = 0;
    backEnd->bindEngine(e);

    // Buffer bookkeeping. A pass without output (a separate input device's)
    // is no device buffer of its own.
    e.outputFrameCount.fetch_add(frames, kRelaxed);
    if (frames > 0) {
        const int32_t prev = e.prevBufferSize.load(kRelaxed);
        if (frames != prev && prev > 0) e.bufferSizeChanged.store(true, kRelaxed);
        e.prevBufferSize.store(frames, kRelaxed);
        e.lastBufferFrames.store(frames, kRelaxed);
    }

    // The four outputs from the first output channel on.
    const int32_t maxOutputs = std::max(1, e.maxOutputs.load(kRelaxed));
    int32_t first = e.firstOutputChannel.load(kRelaxed);
    if (first < 0 || first >= maxOutputs) first = 0;
    unsigned char *outs[kSwitchListEntries];
    for (int k = 0; k < kSwitchListEntries; ++k) {
        const int idx = (first + k) % maxOutputs;
        outs[k] = idx < kSwitchListEntries ? outputs[idx] : nullptr;
    }
    rec->flag = 0;
    rec->pointer = nullptr;

    if (rec->inputChannels > 0) e.recBufferFrames.store(backEnd->getCurrentBufferSize(rec->inputFrames), kRelaxed);
    e.wdtCounter.store(e.wdtReload.load(kRelaxed), kRelaxed);
    sBackEndFftOrder.store(backEnd->getFFTorder(), kRelaxed);

    rec->masterBuffer = e.masterBuf;
    if (!buffersFit(e, backEnd, frames)) {
        // A buffer larger than the stream reserved: silent, and the GUI
        // thread grows the buffers for the next one.
        if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);
        rtDiag_raise(kRtDiagBufferTooLarge, frames);
        return;
    }

    // The GUI's settings for this whole buffer, and what other threads
    // asked of the modulator and the fade smoother.
    const tEngineParamsHold params;
    engineApplyOutputRequests(e);

    if (!e.dsmInitialised) {
        e.dsm5th.initDsm5thIntegrators(44100);
        e.dsm5th.initDsm5thPeakLevel();
        e.dsmInitialised = true;
    }
    const int bits = backEnd->getBitLength(type);

    checkStopRequest(e, frames);

    // Where each track is in its ring. The produced counts first (acquire):
    // they publish the tables and block sizes read after them.
    const tMixParam *mix = engineMixParam();
    const int count = mix ? std::clamp(mix->trackCount, 0, int(kMaxTracks)) : 0;
    const int32_t numBlocks = std::max(1, e.numBufBlk.load(kRelaxed));
    int64_t produced[kMaxTracks], consumed[kMaxTracks];
    double **tables[kMaxTracks];
    int32_t blockFrames[kMaxTracks];
    int offsets[kMaxTracks] = {}, indices[kMaxTracks] = {};
    for (int t = 0; t < kMaxTracks; ++t) produced[t] = e.producedCount[t].load(std::memory_order_acquire);
    for (int t = 0; t < kMaxTracks; ++t) {
        consumed[t] = e.consumedCount[t].load(kRelaxed);
        tables[t] = e.trackPcmBlocks[t].load(kRelaxed);
        blockFrames[t] = e.trackBlockFrames[t].load(kRelaxed);
    }
    unsigned char **dsdBlocks = e.trackDsdBlocks[0].load(kRelaxed);
    for (int t = 0; t < count; ++t) {
        const int64_t b = blockFrames[t];
        if (blockFrames[0] > 0 && b > 0 && consumed[t] >= 0) {
            offsets[t] = int(consumed[t] % b);
            indices[t] = int((consumed[t] % (numBlocks * b)) / b);
        }
    }
    int framesToPlay = frames;
    if (count == 1) framesToPlay = std::clamp(int32_t(produced[0] - consumed[0]), int32_t(0), int32_t(frames));

    checkPlayGate(e, produced, consumed);
    // A tail left over from the last buffer goes out first, if nothing new
    // plays meanwhile.
    const bool tail = e.dsdTailPending;
    e.dsdTailPending = false;
    bool pureTail = false;

    if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);

    e.inputChannels.store(rec->inputChannels, kRelaxed);
    rec->captureWriteOffsets = e.captureWriteOffset;
    rec->outputOffset = 0;
    rec->capturedFrames = 0;

    if (e.inputMonitorEnable.load(std::memory_order_acquire)) {
        const int ch = e.inputMonitorChannel.load(kRelaxed);
        if (ch >= 0 && ch < kSwitchListEntries && inputs[ch]) {
            unsigned char *second = ch + 1 < kSwitchListEntries && inputs[ch + 1] ? inputs[ch + 1] : inputs[ch];
            captureInput(e, backEnd, type, recType, inputs[ch], second, rec);
        }
        if (outs[0]) playMonitor(e, backEnd, type, frames, outs, rec);
    } else if (COscClass.getOscStatus()) {
        if (outs[0]) backEnd->sineWaveToAudioDriverBuffer(type, frames, outs[0], outs[1], rec);
    } else if (e.playRequest.load(kRelaxed) == 1 && e.playGate.load(kRelaxed)) {
        // Pure DSD may pass only while the automation stays at exactly 1
        // over the whole buffer.
        int segStart = -1, segEnd = -1;
        const double x = double(e.playingSample.load(kRelaxed));
        (void)bufferSwitch_automationLevel(e.volItems, x, &segStart);
        const double endLevel = bufferSwitch_automationLevel(e.volItems, x + frames, &segEnd);
        e.dsdPureFade.store(endLevel == 1.0 && segStart == segEnd, kRelaxed);

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
        for (int t = 0; t < count; ++t) e.consumedCount[t].fetch_add(framesToPlay, kRelaxed);
        // A lone track whose producer has fallen behind plays what there is
        // and the rest of the buffer is silence: the position moves only by
        // what was played, or the end of the material would come before its
        // last samples were heard. Once the job has ended, the tail (shorter
        // than a buffer) counts whole.
        const bool ended = e.jobEnded[0].load(kRelaxed);
        const bool starved = count == 1 && framesToPlay < frames && !ended;
        e.playingSample.fetch_add(starved ? framesToPlay : frames, kRelaxed);
        // The last of a pure DSD stream: the bits still in the splice's
        // delay follow the material, in this buffer when it has room.
        pureTail = count == 1 && pureDsdSteady(e, *params);
        if (pureTail && ended && consumed[0] + framesToPlay >= produced[0] && outs[0]) {
            if (frames - framesToPlay >= kDsdTailBits)
                (void)backEnd->writeDsdTail(type, kDsdTailBits, outs, rec);
            else
                e.dsdTailPending = true;
        }
    } else {
        if (outs[0]) backEnd->copy0DataToAudioDriverBuffer(type, frames, outs[0], outs[1], rec->outputChannels);
        gAudioThread_clearAnalysisStopped(e, frames);
        if (tail && outs[0] && frames >= kDsdTailBits) (void)backEnd->writeDsdTail(type, kDsdTailBits, outs, rec);
    }

    checkEndOfMaterial(e, pureTail);
    engineShowFadeLevel(e);
}

void bufferSwitchCoreAudioQueue(tEngine &e, unsigned int, int type, int frames, unsigned char *out, unsigned char *in,
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
    bufferSwitchCommon(e, pCAudioThreadCoreAudioFunc, 0, type, frames, outputs, inputs, &rec, int(recType));
    sSwitchBusy.clear(std::memory_order_release);
}

void bufferSwitchReserve(int frames) {
    if (frames < 1) return;
    tEngine &e = engine();
    sReserving.store(true, std::memory_order_release);
    while (sSwitchBusy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    growBuffers(e, frames);
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

int64_t gAudioThread_getCurrentOutSampleCount() { return engine().outputFrameCount.load(kRelaxed); }

int gAudioThread_getAudioBufferFrameSize() { return engine().lastBufferFrames.load(kRelaxed); }

int gAudioThread_getRecBufferFrameSize() { return engine().recBufferFrames.load(kRelaxed); }

bool gAudioThread_getBufferSizeChangedFlag() { return engine().bufferSizeChanged.load(kRelaxed); }

void gAudioThread_clearBufferSizeChanged() {
    engine().bufferSizeChanged.store(false, kRelaxed);
    engine().prevBufferSize.store(-1, kRelaxed);
}

int gAutioThread_getInputChannels() { return engine().inputChannels.load(kRelaxed); }

bool gAudioThread_getPlayStarted() { return engine().playStarted.exchange(false, kRelaxed); }

bool gAudioThread_getPlayTimeoutFlag() { return engine().playTimeoutFlag.load(kRelaxed); }

void gAudioThread_clearPlayTimeoutFlag() { engine().playTimeoutFlag.store(false, kRelaxed); }

uint64_t getPlayingSample() { return uint64_t(engine().playingSample.load(kRelaxed)); }

int getNumBufBlks() { return engine().numBufBlk.load(kRelaxed); }

int checkPlayStatusImmd() { return checkPlayStatusDo(0); }
