#include "engine/mixing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include <emmintrin.h>

#include "audiofile/audiohelpers.h"
#include "dsp/dynamics.h"
#include "dsp/reverb.h"
#include "engine/analysisrings.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/rtdiag.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kSeqCst = std::memory_order_seq_cst;

// Regrows the two mixing work buffers and the channel-analysis scratch when
// a chunk outgrows them. False when an allocation failed (the buffer is
// then null with capacity 0, and the next call tries again).
bool growWorkBuffers(int frames) {
    if (frames > engine().mixBufFrames || !engine().mixTrackBuf || !engine().mixFxBuf) {
        _aligned_free(engine().mixTrackBuf);
        _aligned_free(engine().mixFxBuf);
        const uint64_t bytes = uint64_t(std::max(frames, int(kMixFramesInitial))) * 16;
        engine().mixTrackBuf = static_cast<double *>(_aligned_malloc(bytes, 16));
        engine().mixFxBuf = static_cast<double *>(_aligned_malloc(bytes, 16));
        if (!engine().mixTrackBuf || !engine().mixFxBuf) {
            _aligned_free(engine().mixTrackBuf);
            _aligned_free(engine().mixFxBuf);
            engine().mixTrackBuf = engine().mixFxBuf = nullptr;
            engine().mixBufFrames = 0;
            return false;
        }
        engine().mixBufFrames = int32_t(bytes / 16);
        engine().mixBufRegrown.store(true, kRelaxed);
    }
    if (frames > engine().chAnalyzeBufTempFrames || !engine().chAnalyzeBufTemp) {
        _aligned_free(engine().chAnalyzeBufTemp);
        const int size = std::max(frames, int(kChAnalyzeTempFrames));
        engine().chAnalyzeBufTemp = static_cast<double *>(_aligned_malloc(uint64_t(size) * 16, 16));
        engine().chAnalyzeBufTempFrames = engine().chAnalyzeBufTemp ? size : 0;
        if (!engine().chAnalyzeBufTemp) return false;
    }
    return true;
}

}  // namespace

bool workBuffersFit(tEngine &e, int frames) {
    // The analysis scratch is not asked for: a chunk beyond it only
    // shortens the analysis feed.
    return e.mixTrackBuf && e.mixFxBuf && frames <= e.mixBufFrames;
}

bool reserveMixingBuffers(int frames) { return growWorkBuffers(frames); }

namespace {

int32_t availableFrames(tEngine &e, int track, bool bounceFeed) {
    const int64_t produced = e.producedCount[track].load(std::memory_order_acquire);
    const int64_t taken = bounceFeed ? e.bouncedCount[track].load(kRelaxed) : e.consumedCount[track].load(kRelaxed);
    return int32_t(std::clamp<int64_t>(produced - taken, 0, INT32_MAX));
}

// The equalisers as the mixing step runs them: the filters' history and
// gain glides live here, on the side of the thread that mixes (the device
// thread, or the mix-down thread, never both at once); the GUI's records
// only say what the bands are to be, through the parameter snapshot.
struct tEqRun {
    peakEq band[kEqBands];
    tEqBandSetting applied[kEqBands];
    const void *source = nullptr;
    uint64_t registration = 0;
    bool started = false;
};
tEqRun sEqRun[kMaxTracks + 1];  // the tracks', then the master's
constexpr int kMasterEqRun = kMaxTracks;

bool sameBand(const tEqBandSetting &a, const tEqBandSetting &b) {
    return a.type == b.type && a.shelvLo == b.shelvLo && a.gain == b.gain && a.freq == b.freq && a.q == b.q &&
           a.fs == b.fs;
}

// Brings one equaliser's bands to its setting. Another record (or the
// first one) takes the record's state as it stands, its coefficients made
// for its current gain, with a clear history; a changed band on the same
// record is set up as the window set up its own (its gain glides from the
// previous target).
void syncEq(tEqRun &run, const tEqSetting &e) {
    if (!e.present) return;
    if (!run.started || run.source != e.source || run.registration != e.registration) {
        for (int b = 0; b < kEqBands; ++b) {
            const tEqBandSetting &d = e.band[b];
            peakEq &band = run.band[b];
            band.mGain = d.gain;
            band.mGainCur = d.gainCur;
            band.mFreq = band.mFreqPrev = d.freq;
            band.mQ = band.mQPrev = d.q;
            band.mFs = d.fs;
            band.mShelvLo = d.shelvLo != 0;
            band.mGainChanging = d.gainChanging != 0;
            band.mGainChangeStatus = d.gainChangeStatus;
            band.setupParam_do(d.gainCur, d.freq, d.q, d.fs, static_cast<tEqType>(d.type));
            band.initParam();
            run.applied[b] = d;
        }
        run.source = e.source;
        run.registration = e.registration;
        run.started = true;
    }
    for (int b = 0; b < kEqBands; ++b) {
        const tEqBandSetting &d = e.band[b];
        peakEq &band = run.band[b];
        band.mBandOn = d.on != 0;
        if (sameBand(d, run.applied[b])) continue;
        band.setShelvLo(d.shelvLo != 0);
        band.setupParam(d.gain, d.freq, d.q, d.fs, static_cast<tEqType>(d.type));
        run.applied[b] = d;
    }
}

// The history clears the GUI asked for.
void takeEqClears(tEngine &e) {
    if (e.eqClearRequest.load(kRelaxed) == 0) return;
    const uint32_t clear = e.eqClearRequest.exchange(0, std::memory_order_acquire);
    if (clear & kEqClearMaster)
        for (int b = kEqBands - 1; b >= 0; --b) sEqRun[kMasterEqRun].band[b].initParam();
    if (clear & kEqClearTracks)
        for (int t = 0; t < kMaxTracks; ++t)
            for (int b = kEqBands - 1; b >= 0; --b) sEqRun[t].band[b].initParam();
}

// The clears, then every equaliser to the snapshot's settings: once per
// chunk, before any band runs.
void syncEqualisers(tEngine &e, const tEngineParams &params) {
    takeEqClears(e);
    for (int t = 0; t < kMaxTracks; ++t) syncEq(sEqRun[t], params.trackEq[t]);
    syncEq(sEqRun[kMasterEqRun], params.masterEq);
}

bool eqOn(const tEqSetting &e) { return e.present && e.on; }

// Decimated analysis of a track: the track work buffer through the track
// metering filter at every meterFirInterval-th frame into the scratch
// (full scale 1), the track's peak from it, the scratch appended to the
// track's ring under the lock, and the filter history kept.
void feedTrackDecimated(tEngine &e, int t, const double *trk, int frames, double peak[2]) {
    const int step = std::max(1, e.meterFirInterval.load(kRelaxed));
    double *hist = e.dsdDecimFirSrcBufCh[t];
    double *scratch = e.chAnalyzeBufTemp;
    peak[0] = peak[1] = 0.0;
    int count = 0;
    if (hist && scratch && frames > 0) {
        count = int(std::min<int64_t>((int64_t(frames) + step - 1) / step, e.chAnalyzeBufTempFrames));
        firWindowEnds(sMeterDecimBufTrk, kTrackMeterFirTaps, hist, trk, 0, step, count, scratch);
        for (int j = 0; j < count; ++j) {
            for (int c = 0; c < 2; ++c) {
                const double v = scratch[2 * j + c] * kDsdWorkToFullScale;
                scratch[2 * j + c] = v;
                // Magnitudes, as the undecimated path takes them.
                peak[c] = std::max(peak[c], std::fabs(v));
            }
        }
    }
    {
        // The GUI frees and the analysis thread copies these rings under the
        // lock; the device thread never waits for it: a busy lock drops this
        // buffer's analysis samples, the sound is untouched.
        std::unique_lock<std::mutex> lock(e.chFftBufMutex, std::try_to_lock);
        double *ring = lock.owns_lock() ? gpChAnalyzeBuf[t] : nullptr;
        if (ring && count > 0) {
            const int n = std::min(count, int(kTrackRingFrames));
            const double *src = scratch + 2 * (count - n);
            std::memmove(ring, ring + 2 * n, size_t(kTrackRingFrames - n) * 16);
            std::memcpy(ring + 2 * (kTrackRingFrames - n), src, size_t(n) * 16);
            int32_t window = curFftSampleCh[t].load(kRelaxed) + n;
            if (window > kTrackRingFrames) window = 0;
            curFftSampleCh[t].store(window, kRelaxed);
        }
    }
    if (!hist) return;
    constexpr int T = kTrackMeterFirTaps;
    if (frames >= T) {
        std::memcpy(hist, trk + 2 * (frames - T), size_t(T) * 16);
    } else {
        std::memmove(hist, hist + 2 * frames, size_t(T - frames) * 16);
        std::memcpy(hist + 2 * (T - frames), trk, size_t(frames) * 16);
    }
}

struct tMixGains {
    double LL, LR, RL, RR;      // track to master
    double sLL, sLR, sRL, sRR;  // track to the effect send
};

// Frames [0, n) of one track: its mix into the master (stored for the first
// track, added for the others), its send into the bus (or, with Direct,
// straight to the return at gain ret), its mix into the track buffer (when
// given) and the magnitude peaks. Both channels in one register: each lane
// forms exactly the products and sums of its channel.
template <bool First, bool Direct>
void mixTrackFrames(const tMixGains &k, const double *__restrict src, int n, double *__restrict master,
                    double *__restrict bus, double *__restrict trk, double ret, double peak[2]) {
    const __m128d toL = _mm_set_pd(k.LR, k.LL), toR = _mm_set_pd(k.RR, k.RL);
    const __m128d sendL = _mm_set_pd(k.sLR, k.sLL), sendR = _mm_set_pd(k.sRR, k.sRL);
    const __m128d retGain = _mm_set1_pd(ret);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX));
    __m128d pk = _mm_setzero_pd();
    for (int i = 0; i < n; ++i) {
        const __m128d x = _mm_loadu_pd(src + 2 * i);
        const __m128d L = _mm_unpacklo_pd(x, x), R = _mm_unpackhi_pd(x, x);
        const __m128d o = _mm_add_pd(_mm_mul_pd(toL, L), _mm_mul_pd(toR, R));
        const __m128d f = _mm_add_pd(_mm_mul_pd(sendL, L), _mm_mul_pd(sendR, R));
        if (First) {
            _mm_storeu_pd(master + 2 * i, o);
            _mm_storeu_pd(bus + 2 * i, Direct ? _mm_mul_pd(f, retGain) : f);
        } else {
            _mm_storeu_pd(master + 2 * i, _mm_add_pd(_mm_loadu_pd(master + 2 * i), o));
            _mm_storeu_pd(bus + 2 * i, _mm_add_pd(_mm_loadu_pd(bus + 2 * i), f));
        }
        if (trk) _mm_storeu_pd(trk + 2 * i, o);
        // max(magnitude, peak): the peak stays where the magnitude is not
        // above it (also for NaN), as std::max(peak, magnitude) keeps it.
        pk = _mm_max_pd(_mm_and_pd(o, magnitude), pk);
    }
    _mm_storeu_pd(peak, pk);
}

void holdTrackPeak(tEngine &e, int t, const double peak[2]) {
    const bool replace = e.clearPeakHold.load(kRelaxed);
    for (int c = 0; c < 2; ++c) {
        const double held = sTrackPeakHold[t][c].load(kRelaxed);
        sTrackPeakHold[t][c].store(replace ? peak[c] : std::max(held, peak[c]), kRelaxed);
    }
}

}  // namespace

void processEQ(tEngine &e, int track, double *frames, int n) {
    if (engineTrackSlot(track) < 0 || !frames || n < 1) return;
    const tEngineParamsHold params;
    const tEqSetting &eq = params->trackEq[track];
    if (!eqOn(eq)) return;
    tEqRun &run = sEqRun[track];
    takeEqClears(e);
    syncEq(run, eq);
    for (int b = kEqBands - 1; b >= 0; --b)
        if (run.band[b].mBandOn) run.band[b].procEq(frames, frames, n);
    const double g = eq.totalGainLin;
    for (int i = 0; i < 2 * n; ++i) frames[i] *= g;
}

void processMasterEQ(tEngine &e, double *dst, const double *src, int n, bool decimatedAnalysis) {
    if (!dst || !src || n < 1) return;
    const tEngineParamsHold params;
    const tEqSetting &eq = params->masterEq;
    if (!eqOn(eq)) {
        if (dst != src) std::memmove(dst, src, size_t(n) * 16);
    } else {
        tEqRun &run = sEqRun[kMasterEqRun];
        takeEqClears(e);
        syncEq(run, eq);
        // The smallest gain-change status of the bands that ran dips the
        // output while a band changes type or is interrupted in its glide.
        double dip = 1.0;
        peakEq &top = run.band[kEqBands - 1];
        if (top.mBandOn) {
            top.procEq(dst, src, n);
            dip = std::min(dip, top.getEqGainChangingStatus());
        } else if (dst != src) {
            std::memmove(dst, src, size_t(n) * 16);
        }
        for (int b = kEqBands - 2; b >= 0; --b) {
            peakEq &band = run.band[b];
            if (!band.mBandOn) continue;
            band.procEq(dst, dst, n);
            dip = std::min(dip, band.getEqGainChangingStatus());
        }
        double g = eq.totalGainLin;
        if (decimatedAnalysis && dip != 1.0) g *= dip;
        for (int i = 0; i < 2 * n; ++i) dst[i] *= g;
    }
    feedLissajous(e, dst, n, decimatedAnalysis);
}

void processMasterDynamics(tEngine &e, const double *src, double *dst, int frames) {
    if (!src || !dst || frames < 1) return;
    if (ClassDynamics *d = e.dynamicsFx.load(kRelaxed)) {
        d->process(dst, src, frames);
    } else if (dst != src) {
        std::memmove(dst, src, size_t(frames) * 16);
    }
}

void calcLengthToMix(tEngine &e, int32_t *available) {
    if (!available) return;
    const bool bounceFeed = e.engineStatus.load(kRelaxed) == kEngineBounceFeed;
    for (int t = 0; t < kMaxTracks; ++t) available[t] = availableFrames(e, t, bounceFeed);
}

int audioThreadMixing(tEngine &e, tAudioMixingParams *p) {
    if (!p || !p->masters || !p->masters[0] || p->frames < 1) return 0;
    const int frames = p->frames;
    double *master = p->masters[0];
    double *fxReturn = p->masters[1];
    if (!workBuffersFit(e, frames)) {
        rtDiag_raise(kRtDiagWorkBufferMissing, frames);
        // Nothing mixed is silence, not the previous chunk again.
        std::memset(master, 0, size_t(frames) * 16);
        if (fxReturn) std::memset(fxReturn, 0, size_t(frames) * 16);
        return kEngineErrMemory;
    }
    double *__restrict trk = e.mixTrackBuf;
    double *__restrict fx = e.mixFxBuf;

    const tEngineParamsHold params;
    syncEqualisers(e, *params);
    const tMixParam *mix = engineMixParam();
    const int count = mix ? std::clamp(mix->trackCount, 0, int(kMaxTracks)) : 0;
    if (count < 1) {
        std::memset(master, 0, size_t(frames) * 16);
        std::memset(fx, 0, size_t(frames) * 16);
    }
    const bool monitoring = e.inputMonitorEnable.load(kRelaxed);
    const bool bounceFeed = e.engineStatus.load(kRelaxed) == kEngineBounceFeed;
    const bool decimated = p->decimatedAnalysis;
    const double ret = mix ? mix->fxReturnGain : 0.0;
    const bool directReturn = count == 1 && fxReturn && !mix->fxOn;

    for (int t = 0; t < count; ++t) {
        const tMixChParam &ch = mix->ch[t];
        const double LL = ch.LL, LR = ch.LR, RL = ch.RL, RR = ch.RR;
        const bool send = ch.fxSendOn;
        const double sLL = send ? ch.fxLL : 0.0, sLR = send ? ch.fxLR : 0.0;
        const double sRL = send ? ch.fxRL : 0.0, sRR = send ? ch.fxRR : 0.0;

        e.mixBusy[t].store(true, kSeqCst);
        double **table = p->blocks ? p->blocks[t] : nullptr;
        // The idle table is one frame of silence: nothing to read or filter.
        const bool idle = !table || table == e.dummyPlayTable || e.ringWithdrawn[t].load(kSeqCst);
        double *block = idle ? nullptr : table[p->blockIndices ? p->blockIndices[t] : 0];
        double *src = nullptr;
        int n = 0;
        if (block) {
            src = block + 2 * int64_t(p->offsets ? p->offsets[t] : 0);
            processEQ(e, t, src, frames);
            n = monitoring ? frames : std::min(frames, int(availableFrames(e, t, bounceFeed)));
        }

        // The first track's mix is what the master holds until the next
        // track adds to it, so the master stands in for its track buffer;
        // a track alone without the effect bus sends straight to the return.
        double *tbuf = t == 0 ? master : trk;
        double peak[2] = {0.0, 0.0};
        const tMixGains gains = {LL, LR, RL, RR, sLL, sLR, sRL, sRR};
        if (t == 0 && directReturn)
            mixTrackFrames<true, true>(gains, src, n, master, fxReturn, nullptr, ret, peak);
        else if (t == 0)
            mixTrackFrames<true, false>(gains, src, n, master, fx, nullptr, ret, peak);
        else
            mixTrackFrames<false, false>(gains, src, n, master, fx, trk, ret, peak);
        const size_t rest = size_t(frames - n) * 16;
        if (rest) {
            if (t == 0) {
                std::memset(master + 2 * n, 0, rest);
                if (directReturn) {
                    // The silent send's return, as the bus would give it.
                    const double r0 = 0.0 * ret;
                    for (int i = 2 * n; i < 2 * frames; ++i) fxReturn[i] = r0;
                } else {
                    std::memset(fx + 2 * n, 0, rest);
                }
            } else {
                std::memset(trk + 2 * n, 0, rest);
            }
        }

        if (decimated) {
            feedTrackDecimated(e, t, tbuf, frames, peak);
        } else if (!monitoring) {
            processFFT(e, false, t, tbuf, frames);
        }
        holdTrackPeak(e, t, peak);
        e.mixBusy[t].store(false, std::memory_order_release);
    }

    // Effect return.
    if (fxReturn && !directReturn)
        for (int i = 0; i < 2 * frames; ++i) fxReturn[i] = fx[i] * ret;
    if (mix && mix->fxOn) {
        if (double *ring = e.reverbBuffer) {
            int wp = e.reverbBufPointer;
            if (wp < 0 || wp >= kReverbRingFrames) wp = 0;
            for (int i = 0; i < frames; ++i) {
                ring[2 * wp] = fx[2 * i];
                ring[2 * wp + 1] = fx[2 * i + 1];
                if (++wp >= kReverbRingFrames) wp = 0;
            }
            e.reverbBufPointer = wp;
        }
        if (reverb *rv = e.reverbFx.load(kRelaxed)) {
            // The reverb reads its input from the chunk just written; it has
            // no latency of its own to subtract.
            int start = e.reverbBufPointer - (frames % kReverbRingFrames);
            if (start < 0) start += kReverbRingFrames;
            rv->setInputBufferStartPoint(start);
            rv->process(fx, fx, frames);
        }
        // Two or more tracks in a decimated mix (DSD output, mix-down)
        // return nothing to the master.
        if (!(count >= 2 && decimated))
            for (int i = 0; i < 2 * frames; ++i) master[i] += fx[i] * ret;
    }

    processMasterEQ(e, master, master, frames, decimated);

    // A gain of exactly 1 leaves every value as it is.
    const double g = mix ? mix->masterGain : 0.0;
    if (g != 1.0)
        for (int i = 0; i < 2 * frames; ++i) master[i] *= g;
    if (params->polarityInvert)
        for (int i = 0; i < 2 * frames; ++i) master[i] = -master[i];
    return 0;
}

int bounceMixing(tEngine &e, int blockIndex, uint64_t *positions, double **masters, int frames, int offset) {
    if (!masters || !masters[0] || frames < 1) return -17;
    const tEngineParamsHold params;
    const tMixParam *mix = engineMixParam();
    const int count = mix ? std::clamp(mix->trackCount, 0, int(kMaxTracks)) : 0;
    for (int t = 0; t < count; ++t) {
        if (availableFrames(e, t, true) >= frames) continue;
        if (!e.jobEnded[t].load(kRelaxed)) return kBounceNotReady;
        break;
    }
    int offsets[kMaxTracks];
    int indices[kMaxTracks];
    double **tables[kMaxTracks];
    for (int t = 0; t < kMaxTracks; ++t) {
        offsets[t] = offset;
        indices[t] = blockIndex;
        // The table published with the produced count.
        (void)e.producedCount[t].load(std::memory_order_acquire);
        tables[t] = e.trackPcmBlocks[t].load(kRelaxed);
    }
    // The mix-down thread is no real-time thread: it grows the mixing
    // buffers itself when a chunk outgrows them.
    if (!growWorkBuffers(frames)) return kEngineErrMemory;
    tAudioMixingParams p{frames, offsets, tables, indices, masters, true};
    const int r = audioThreadMixing(e, &p);
    if (r < 0) return r;
    for (int t = 0; t < count; ++t) {
        if (positions) positions[t] += uint64_t(frames);
        e.bouncedCount[t].fetch_add(frames, kRelaxed);
    }
    return 0;
}

// On the current engine.
void processEQ(int track, double *frames, int n) { processEQ(engine(), track, frames, n); }
bool workBuffersFit(int frames) { return workBuffersFit(engine(), frames); }
void processMasterEQ(double *dst, const double *src, int n, bool decimatedAnalysis) {
    processMasterEQ(engine(), dst, src, n, decimatedAnalysis);
}
void processMasterDynamics(const double *src, double *dst, int frames) {
    processMasterDynamics(engine(), src, dst, frames);
}
void calcLengthToMix(int32_t *available) { calcLengthToMix(engine(), available); }
int audioThreadMixing(tAudioMixingParams *p) { return audioThreadMixing(engine(), p); }
int bounceMixing(int blockIndex, uint64_t *positions, double **masters, int frames, int offset) {
    return bounceMixing(engine(), blockIndex, positions, masters, frames, offset);
}
