#include "engine/dsdoutput.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>

#include "engine/audiothreadfunc.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr double kDsdClip = 4611686018427387904.0;  // 2^62: far beyond full scale, short of overflow

enum tOffer { kOfferSource, kOfferMute };

bool masterEqOn(const tEngineParams &p) { return p.masterEq.present && p.masterEq.on; }

// One volume step of frames frames: work = src x m (when given) and
// src = clamp(src x v, +-2^62), both channels in one register (each lane
// is the scalar computation of its channel). At v = 1 the product is the
// value itself, so src changes only where the clamp bites: the frames are
// only read then, and written back only in a step that needs it.
void scaleDsdStep(tEngine &e, double *__restrict src, double *__restrict work, int frames, const double v[2],
                  const double m[2]) {
    const __m128d hi = _mm_set1_pd(kDsdClip), lo = _mm_set1_pd(-kDsdClip);
    const __m128d vv = _mm_loadu_pd(v), mm = _mm_loadu_pd(m);
    // clamp(y, lo, hi): lo where y < lo, hi where y > hi, else y (NaN too).
    auto clamp = [&](__m128d y) { return _mm_min_pd(hi, _mm_max_pd(lo, y)); };
    if (!work && v[0] == 1.0 && v[1] == 1.0) {
        __m128d outside = _mm_setzero_pd();
        for (int i = 0; i < frames; ++i) {
            const __m128d x = _mm_loadu_pd(src + 2 * i);
            outside = _mm_or_pd(outside, _mm_or_pd(_mm_cmplt_pd(x, lo), _mm_cmpgt_pd(x, hi)));
        }
        if (!_mm_movemask_pd(outside)) return;
    }
    for (int i = 0; i < frames; ++i) {
        const __m128d x = _mm_loadu_pd(src + 2 * i);
        if (work) _mm_storeu_pd(work + 2 * i, _mm_mul_pd(x, mm));
        _mm_storeu_pd(src + 2 * i, clamp(_mm_mul_pd(x, vv)));
    }
}

}  // namespace

void fadeAudio(tEngine &e, uint8_t *const out[2], const double *processed, const uint8_t *const src[2],
               uint8_t *const mute[2], int bits, int bitOffset, int trackCount) {
    if (!out || !out[0] || !out[1] || !processed || bits < 1) return;
    classDsm5thApp &dsm = e.dsm5th;
    lpf &fade = e.fadeVolLpf;
    const tEngineParamsHold params;
    const bool pure = params->dsdPure && e.dsdPureJob.load(kRelaxed) && e.dsdPureFade.load(kRelaxed);

    bool fadeIn[2], fadeOut[2];
    bool pending = false;
    for (int c = 0; c < 2; ++c) {
        const uint32_t req = e.fadeReq[c].load(kRelaxed);
        const uint32_t ack = e.fadeAck[c].load(kRelaxed);
        fadeIn[c] = (req & kFadeInBit) && !(ack & kFadeInBit);
        fadeOut[c] = (req & kFadeOutBit) && !(ack & kFadeOutBit);
        pending = pending || (req & ~ack) != 0;
    }

    // The modulator's mute-pattern volume follows 1 - fade level: the
    // pattern fades in as the programme fades out.
    static const double kNoPattern[2] = {0.0, 0.0};
    const double *vol = fade.mOneMinusY ? fade.mOneMinusY : kNoPattern;
    const bool steady = !pending && dsm.mSpliceCur[0] == dsm.mSpliceReq[0] && dsm.mSpliceCur[1] == dsm.mSpliceReq[1];
    const bool ssse3 = (params->cpuid & kCpuidSsse3) != 0;
    const uint32_t n = static_cast<uint32_t>(bits);
    if (steady) {
        if (ssse3)
            dsm.dsm5thSSSE3(out, processed, n, bitOffset, vol);
        else
            dsm.dsm5th(out, processed, n, bitOffset, vol);
    } else {
        if (ssse3)
            dsm.dsm5thFadeSSSE3(out, processed, n, bitOffset, vol);
        else
            dsm.dsm5thFade(out, processed, n, bitOffset, vol);
    }

    const int32_t delaySource = e.delayConvFir.load(kRelaxed);
    const int32_t delayMute = e.delayConvFirMute.load(kRelaxed);
    const bool eqOn = masterEqOn(*params);
    bool muteFilled = false;

    for (int c = 0; c < 2; ++c) {
        uint32_t &cur = dsm.mSpliceCur[c];
        uint32_t &req = dsm.mSpliceReq[c];
        uint32_t &flags = dsm.mCutFlags[c];
        double y = fade.getCoefY_1_ch(c);
        const double x = fade.getCoefX_ch(c);
        tOffer offer = kOfferSource;
        int32_t extraDelay = 0;  // the acknowledging call lines up the chunk's bit offset too

        if (fadeIn[c]) {
            if (cur == 1 && req == 0) {
                offer = y != 0.0 ? kOfferSource : kOfferMute;
            } else if (cur == 1 && req == 1) {
                if (y != 1.0) {
                    offer = kOfferMute;
                    req = 0;
                } else {
                    e.fadeAck[c].fetch_or(kFadeInBit, kRelaxed);
                    flags = 0;
                    extraDelay = bitOffset;
                }
            } else if (cur == 0 && req == 1) {
                offer = y != 0.0 ? kOfferSource : kOfferMute;
            } else {
                // On the way to pure output the level is left to the
                // writer's steps, so that it lands exactly on 1.
                if (!pure) {
                    fade.proc_1stIir();
                    y = fade.getCoefY_1_ch(c);
                }
                if (y != 1.0) {
                    if (y != 0.0)
                        flags = 0;
                    else
                        offer = kOfferMute;
                } else if (pure) {
                    flags |= kDsmCutActive;
                    req = 1;
                } else {
                    e.fadeAck[c].fetch_or(kFadeInBit, kRelaxed);
                }
            }
        } else if (!fadeOut[c]) {
            if (x == 0.0 && y == 0.0) {
                flags |= kDsmCutActive;
                req = 1;
                offer = kOfferMute;
            } else if (trackCount >= 2 || eqOn) {
                flags = 0;
                req = 0;
            } else if (x == 1.0 && y == 1.0 && pure) {
                req = 1;
                if (cur == 0)
                    flags |= kDsmCutActive;
                else
                    flags = 0;
            } else {
                flags = 0;
                req = 0;
            }
        } else {
            if (cur == 1 && req == 0) {
                offer = y != 0.0 ? kOfferSource : kOfferMute;
            } else if (cur == 1 && req == 1) {
                if (y != 0.0) {
                    req = 0;
                } else {
                    e.fadeAck[c].fetch_or(kFadeOutBit, kRelaxed);
                    flags = 0;
                    offer = kOfferMute;
                    extraDelay = bitOffset;
                }
            } else if (cur == 0 && req == 1) {
                if (y == 0.0) {
                    offer = kOfferMute;
                } else {
                    flags = 0;
                    req = 0;
                }
            } else {
                fade.proc_1stIir();
                y = fade.getCoefY_1_ch(c);
                if (y == 0.0) {
                    flags |= kDsmCutActive;
                    req = 1;
                    offer = kOfferMute;
                }
            }
        }

        // Without a source stream the mute pattern stands in for it.
        if (!src || !src[0] || !src[1]) offer = kOfferMute;
        const uint8_t *const *stream = src;
        int32_t delay = delaySource;
        if (offer == kOfferMute) {
            // A mute buffer that could not be allocated is left out: the
            // modulator then fades to its own pattern.
            if (!mute || !mute[0] || !mute[1]) continue;
            if (!muteFilled) {
                const uint8_t pattern = gMutePatTable[delayMute & 7];
                std::memset(mute[0], pattern, kMutePatFillBytes);
                std::memset(mute[1], pattern, kMutePatFillBytes);
                muteFilled = true;
            }
            stream = mute;
            delay = delayMute;
        }
        dsm.compareDsm(out, stream, bits, c, delay + extraDelay, pure);
    }

    // The history the next buffer's first three bytes come from: the mute
    // byte once the level is 0, the source's last bytes while pure output
    // may run.
    const int k = bits / 8 - 3;
    for (int look = 0; look < 2; ++look) {
        if (fade.getCoefY_1_ch(look) == 0.0) {
            for (auto &h : dsm.mSpliceHist)
                for (int j = 0; j < 3; ++j) h[j] = kDsdMuteByte;
        } else if (pure && k >= 0 && src && src[0] && src[1]) {
            for (int c = 0; c < 2; ++c)
                for (int j = 0; j < 3; ++j) dsm.mSpliceHist[c][j] = src[c][k + j];
        }
    }
}

uint32_t getDsmStatus(int ch) { return engine().dsm5th.mSpliceCur[ch & 1]; }

void audioThread_takeFadeRequests(tEngine &e) {
    const uint32_t req = e.fadeReq[0].load(kRelaxed) | e.fadeReq[1].load(kRelaxed);
    if (req & kFadeInBit) {
        (void)e.fadeVolLpf.checkConsistent();
        const double one[2] = {1.0, 1.0};
        e.fadeVolLpf.setXdiret(one);
    }
    if (req & kFadeOutBit) {
        (void)e.fadeVolLpf.checkConsistent();
        const double zero[2] = {0.0, 0.0};
        e.fadeVolLpf.setXdiret(zero);
    }
}

void audioThread_ackPcmFades(tEngine &e) {
    const uint32_t req = e.fadeReq[0].load(kRelaxed) | e.fadeReq[1].load(kRelaxed);
    for (uint32_t bit : {uint32_t(kFadeInBit), uint32_t(kFadeOutBit)}) {
        if (!(req & bit) || !e.fadeVolLpf.checkConsistent()) continue;
        e.fadeAck[0].fetch_or(bit, kRelaxed);
        e.fadeAck[1].fetch_or(bit, kRelaxed);
    }
}

void audioThread_dsdMasterVolume(tEngine &e, double *src, double *work, int frames, const double m[2]) {
    if (!src || frames < 1) return;
    const classDsm5thApp &dsm = e.dsm5th;
    const tEngineParamsHold params;
    const double monitor[2] = {params->masterVol[0], params->masterVol[1]};
    for (int s = 0; s < frames; s += kDsdVolumeStepFrames) {
        const int end = std::min(frames, s + kDsdVolumeStepFrames);
        const double v[2] = {e.fadeVolLpf.getCoefY_1_ch(0) * monitor[0], e.fadeVolLpf.getCoefY_1_ch(1) * monitor[1]};
        e.totalVol[0].store(v[0], kRelaxed);
        e.totalVol[1].store(v[1], kRelaxed);
        scaleDsdStep(e, src + 2 * s, work ? work + 2 * s : nullptr, end - s, v, m);
        if (dsm.mSpliceReq[0] == 0 && dsm.mSpliceCur[0] == 0 && dsm.mSpliceReq[1] == 0 && dsm.mSpliceCur[1] == 0)
            e.fadeVolLpf.proc_1stIir();
    }
}

void engineApplyOutputRequests(tEngine &e) {
    if (e.fadeResetRequest.exchange(false, std::memory_order_acquire)) resetOutputFade(e);
    const double a = e.fadeCoefRequest.exchange(-1.0, std::memory_order_acquire);
    if (a >= 0.0 && e.fadeVolLpf.mCoefA) e.fadeVolLpf.mCoefA[0] = e.fadeVolLpf.mCoefA[1] = a;
    const double m = e.mutePatCoefRequest.exchange(-1.0, std::memory_order_acquire);
    if (m >= 0.0) e.dsm5th.mMutePatVolCoef[0] = e.dsm5th.mMutePatVolCoef[1] = m;
    const int32_t len = e.spliceLenRequest.exchange(0, std::memory_order_acquire);
    if (len > 0) e.dsm5th.setCompareLen(len);
    const int32_t target = e.fadeTargetRequest.exchange(kFadeTargetNone, std::memory_order_acquire);
    if (target != kFadeTargetNone) {
        const double x[2] = {double(target), double(target)};
        e.fadeVolLpf.setXdiret(x);
    }
}

void engineShowFadeLevel(tEngine &e) {
    e.fadeLevel[0].store(e.fadeVolLpf.getCoefY_1_ch(0), kRelaxed);
    e.fadeLevel[1].store(e.fadeVolLpf.getCoefY_1_ch(1), kRelaxed);
}

// On the current engine.
void fadeAudio(uint8_t *const out[2], const double *processed, const uint8_t *const src[2], uint8_t *const mute[2],
               int bits, int bitOffset, int trackCount) {
    fadeAudio(engine(), out, processed, src, mute, bits, bitOffset, trackCount);
}
void audioThread_takeFadeRequests() { audioThread_takeFadeRequests(engine()); }
void audioThread_ackPcmFades() { audioThread_ackPcmFades(engine()); }
void audioThread_dsdMasterVolume(double *src, double *work, int frames, const double m[2]) {
    audioThread_dsdMasterVolume(engine(), src, work, frames, m);
}
void engineApplyOutputRequests() { engineApplyOutputRequests(engine()); }
void engineShowFadeLevel() { engineShowFadeLevel(engine()); }
