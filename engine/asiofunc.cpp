#include "engine/asiofunc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "dsp/oscillator.h"
#include "engine/analysisrings.h"
#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/mixing.h"

namespace {

constexpr double kInt32Scale = 1.0 / 2147483648.0;     // 2^-31
constexpr double kDsdWorkScale = 36028797018963968.0;  // 2^55, one DSD bit in the work signal
constexpr double kDsdToneScale = 18014398509481984.0;  // 2^54, the test tone's level
constexpr double kDsdToFullScale = 1.0 / kDsdWorkScale;

bool isDsdType(int t) { return t == kSampleDsdLsb || t == kSampleDsd || t == kSampleDsd8; }

bool isBigEndian(int t) { return t >= kSampleInt16MSB && t <= kSampleInt32MSB24 && t != 5 && t != 6 && t != 7; }

// Bytes one PCM sample of the type takes in its channel buffer; 0 for DSD
// and for numbers that are no sample type.
int pcmSampleBytes(int t) {
    switch (t) {
    case kSampleInt16MSB:
    case kSampleInt16: return 2;
    case kSampleInt24MSB:
    case kSampleInt24: return 3;
    case kSampleInt32MSB:
    case kSampleInt32:
    case kSampleFloat32MSB:
    case kSampleFloat32: return 4;
    case kSampleFloat64MSB:
    case kSampleFloat64: return 8;
    default:
        if ((t >= kSampleInt32MSB16 && t <= kSampleInt32MSB24) || (t >= kSampleInt32LSB16 && t <= kSampleInt32LSB24))
            return 4;
        return 0;
    }
}

// Significant bits of the 32-bit word types 8..11 and 24..27.
int packedWordBits(int t) {
    static const int kBits[4] = {16, 18, 20, 24};
    return kBits[(t >= kSampleInt32LSB16 ? t - kSampleInt32LSB16 : t - kSampleInt32MSB16) & 3];
}

// n bytes at p as an unsigned integer, in the byte order of the type.
uint64_t loadBytes(const unsigned char *p, int n, bool bigEndian) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t(p[bigEndian ? i : n - 1 - i]) << (8 * (n - 1 - i));
    return v;
}

void storeBytes(unsigned char *p, uint64_t v, int n, bool bigEndian) {
    for (int i = 0; i < n; ++i) p[bigEndian ? n - 1 - i : i] = static_cast<unsigned char>(v >> (8 * i));
}

double readSample(const unsigned char *p, int t) {
    const bool be = isBigEndian(t);
    switch (t) {
    case kSampleInt16MSB:
    case kSampleInt16: return static_cast<int32_t>(static_cast<uint32_t>(loadBytes(p, 2, be)) << 16) * kInt32Scale;
    case kSampleInt24MSB:
    case kSampleInt24: return static_cast<int32_t>(static_cast<uint32_t>(loadBytes(p, 3, be)) << 8) * kInt32Scale;
    case kSampleInt32MSB:
    case kSampleInt32: return static_cast<int32_t>(static_cast<uint32_t>(loadBytes(p, 4, be))) * kInt32Scale;
    case kSampleFloat32MSB:
    case kSampleFloat32: {
        const uint32_t u = static_cast<uint32_t>(loadBytes(p, 4, be));
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case kSampleFloat64MSB:
    case kSampleFloat64: {
        const uint64_t u = loadBytes(p, 8, be);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    default: {
        // The 32-bit words carrying fewer bits hold them right-aligned.
        const uint32_t u = static_cast<uint32_t>(loadBytes(p, 4, be));
        return static_cast<int32_t>(u << (32 - packedWordBits(t))) * kInt32Scale;
    }
    }
}

uint8_t reverseBits(uint8_t b) {
    b = static_cast<uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace

gCAudioThreadAsioFunc::gCAudioThreadAsioFunc() {
    const uint64_t bytes = uint64_t(kTestLissajousFrames) * 16;
    mTestLissajous = static_cast<double *>(_aligned_malloc(bytes, 16));
    if (mTestLissajous) std::memset(mTestLissajous, 0, bytes);
}

gCAudioThreadAsioFunc::~gCAudioThreadAsioFunc() {
    for (double *&p : mInputWork) _aligned_free(p);
    _aligned_free(mTestLissajous);
    _aligned_free(mOutputWork);
}

int gCAudioThreadAsioFunc::getBitLength(int type) {
    switch (type & kTypeSampleMask) {
    case kSampleInt16MSB:
    case kSampleInt16: return 16;
    case kSampleInt24MSB:
    case kSampleInt24: return 24;
    case kSampleDsdLsb:
    case kSampleDsd: return 1;
    case kSampleDsd8: return 8;
    default: return 32;
    }
}

void gCAudioThreadAsioFunc::copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                                         int) {
    if (frames < 1) return;
    const int t = type & kTypeSampleMask;
    unsigned char *bufs[2] = {out, out2};
    for (unsigned char *b : bufs) {
        if (!b) continue;
        if (t == kSampleDsd || t == kSampleDsd8) {
            std::memset(b, gMuteDirectTable[mEngine->delayConvFirMute.load(std::memory_order_relaxed) & 7],
                        static_cast<size_t>(frames / 8));
        } else if (t == kSampleDsdLsb) {
            std::memset(b, 0, static_cast<size_t>(frames / 8));
        } else {
            // Every PCM type, floats and the packed 32-bit words included: a
            // buffer left alone would replay the previous cycle.
            std::memset(b, 0, static_cast<size_t>(frames) * static_cast<size_t>(pcmSampleBytes(t)));
        }
    }
}

int gCAudioThreadAsioFunc::packSample(unsigned char *out, double v, int type) {
    const int t = type & kTypeSampleMask;
    const int bytes = pcmSampleBytes(t);
    if (!bytes) return 0;
    const bool be = isBigEndian(t);
    if (!(v >= -1.0)) v = v > 0.0 ? 1.0 : -1.0;  // NaN and below
    if (v > 1.0) v = 1.0;
    if (t == kSampleFloat32MSB || t == kSampleFloat32) {
        const float f = static_cast<float>(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        storeBytes(out, u, 4, be);
        return 4;
    }
    if (t == kSampleFloat64MSB || t == kSampleFloat64) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        storeBytes(out, u, 8, be);
        return 8;
    }
    const int32_t i32 = static_cast<int32_t>(std::lrint(v * 2147483647.0));
    switch (t) {
    case kSampleInt16MSB:
    case kSampleInt16: storeBytes(out, static_cast<uint32_t>(i32 >> 16), 2, be); break;
    case kSampleInt24MSB:
    case kSampleInt24: storeBytes(out, static_cast<uint32_t>(i32 >> 8), 3, be); break;
    case kSampleInt32MSB:
    case kSampleInt32: storeBytes(out, static_cast<uint32_t>(i32), 4, be); break;
    default: storeBytes(out, static_cast<uint32_t>(i32 >> (32 - packedWordBits(t))), 4, be); break;
    }
    return bytes;
}

void gCAudioThreadAsioFunc::sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                                        tBufferSwitchParams *) {
    double *sine = mEngine->sineWaveBuffer[0];
    const int n = std::min(frames, mEngine->sineWaveBufSize);
    if (!sine || n < 1) return;
    const int t = type & kTypeSampleMask;
    COscClass.generateSineWave(sine, n);
    if (isDsdType(t)) {
        double *work = mEngine->sineWaveBuffer[1];
        if (!work) return;
        for (int i = 0; i < 2 * n; ++i) work[i] = sine[i] * kDsdToneScale;
        const int step = std::max(1, mEngine->meterFirInterval.load(std::memory_order_relaxed));
        copytoFFTbuffer(work, n / step, step, kDsdToFullScale);
        if (!out || !out2 || !mEngine) return;
        uint8_t *const bytes[2] = {out, out2};
        const double noPattern[2] = {0.0, 0.0};
        mEngine->dsm5th.dsm5th(bytes, work, static_cast<uint32_t>(n), 0, noPattern);
        if (t == kSampleDsdLsb)
            for (unsigned char *b : {out, out2})
                for (int i = 0; i < (n + 7) / 8; ++i) b[i] = reverseBits(b[i]);
        return;
    }
    copytoFFTbuffer(sine, n, 1, 1.0);
    for (int i = 0; i < n; ++i) {
        if (out) out += packSample(out, sine[2 * i], t);
        if (out2) out2 += packSample(out2, sine[2 * i + 1], t);
    }
}

bool gCAudioThreadAsioFunc::growOutputWork(int frames) {
    if (frames <= mOutputWorkFrames && mOutputWork) return true;
    _aligned_free(mOutputWork);
    mOutputWork = static_cast<double *>(_aligned_malloc(uint64_t(frames) * 16, 16));
    mOutputWorkFrames = mOutputWork ? frames : 0;
    return mOutputWork != nullptr;
}

int gCAudioThreadAsioFunc::convertDataToAudioDriverBuffer(int type, int frames, const int *offsets,
                                                          double **const *blocks, const int *blockIndices,
                                                          unsigned char **outputs, unsigned char **dsdBlocks,
                                                          tBufferSwitchParams *rec) {
    if (!rec || rec->outputChannels < 1 || !outputs || frames < 1) return 0;
    const int t = type & kTypeSampleMask;
    const bool dsd = isDsdType(t);
    if (!dsd && !pcmSampleBytes(t)) return 0;
    double **masters = rec->masterBuffer ? rec->masterBuffer : mEngine->masterBuf;
    double *master = masters[0];
    if (!master || frames > mEngine->masterBufFrames || !growOutputWork(frames)) return -1;

    engineApplyOutputRequests(*mEngine);
    audioThread_takeFadeRequests(*mEngine);
    const bool meterPost = mEngine->meteringPoint.load(std::memory_order_relaxed) == kMeteringPostFader;
    const tEngineParamsHold params;
    const tMixParam *mix = engineMixParam();
    tAudioMixingParams p{frames, offsets, blocks, blockIndices, masters, dsd};

    if (!dsd) {
        audioThread_ackPcmFades(*mEngine);
        if (audioThreadMixing(*mEngine, &p) < 0) return -1;
        processFFT_MasterTrack(*mEngine, false, master, frames);
        // The driver's samples are packed from full scale 1.0 (packSample
        // clips), so the volume here carries no container scale.
        tMasterPcmMeter meter(*mEngine, master, frames, 1.0);
        const double one[2] = {1.0, 1.0};
        const double monitor[2] = {params->masterVol[0], params->masterVol[1]};
        for (int i = 0; i < frames; ++i) {
            const double v[2] = {mEngine->fadeVolLpf.getCoefY_1_ch(0) * monitor[0],
                                 mEngine->fadeVolLpf.getCoefY_1_ch(1) * monitor[1]};
            mEngine->totalVol[0].store(v[0], std::memory_order_relaxed);
            mEngine->totalVol[1].store(v[1], std::memory_order_relaxed);
            meter.frame(i, meterPost ? v : one);
            if (outputs[0]) packSample(outputs[0] + int64_t(i) * pcmSampleBytes(t), master[2 * i] * v[0], t);
            if (outputs[1]) packSample(outputs[1] + int64_t(i) * pcmSampleBytes(t), master[2 * i + 1] * v[1], t);
            mEngine->fadeVolLpf.proc_1stIir();
        }
        meter.finish(true);
        return 0;
    }

    const double m[2] = {meterPost ? mEngine->totalVol[0].load(std::memory_order_relaxed) : 1.0,
                         meterPost ? mEngine->totalVol[1].load(std::memory_order_relaxed) : 1.0};
    if (audioThreadMixing(*mEngine, &p) < 0) return -1;
    audioThread_dsdMasterVolume(*mEngine, master, mOutputWork, frames, m);
    if (outputs[0] && outputs[1]) {
        uint8_t *const out[2] = {outputs[0], outputs[1]};
        const int offset = offsets ? offsets[0] : 0;
        const int index = blockIndices ? blockIndices[0] : 0;
        // Track 0's source bytes, unless its failed job is taking them away
        // (the same hand-shake as the mixer's).
        mEngine->mixBusy[0].store(true, std::memory_order_seq_cst);
        const uint8_t *src[2] = {nullptr, nullptr};
        if (dsdBlocks && !mEngine->ringWithdrawn[0].load(std::memory_order_seq_cst) && dsdBlocks[2 * index] &&
            dsdBlocks[2 * index + 1]) {
            src[0] = dsdBlocks[2 * index] + offset / 8;
            src[1] = dsdBlocks[2 * index + 1] + offset / 8;
        }
        fadeAudio(*mEngine, out, master, src, mEngine->mutePatBuffer, frames, offset % 8, mix ? mix->trackCount : 0);
        mEngine->mixBusy[0].store(false, std::memory_order_release);
        const size_t bytes = size_t(frames + 7) / 8;
        if (gAudioThread_isMonoSource(0)) std::memcpy(out[1], out[0], size_t(frames) / 8);
        if (t == kSampleDsdLsb)
            for (uint8_t *b : out)
                for (size_t i = 0; i < bytes; ++i) b[i] = reverseBits(b[i]);
    }
    processFFT_MasterTrack(*mEngine, true, mOutputWork, frames);
    return 0;
}

void gCAudioThreadAsioFunc::convertPair(double *dst, const unsigned char *left, const unsigned char *right, int type,
                                        int frames) {
    const int t = type & kTypeSampleMask;
    if (!dst || !left || frames < 1) return;
    if (!right) right = left;
    if (t == kSampleDsd) {
        for (int i = 0; i < frames; ++i) {
            const int bit = 7 - (i & 7);
            dst[2 * i] = (left[i >> 3] >> bit) & 1 ? kDsdWorkScale : -kDsdWorkScale;
            dst[2 * i + 1] = (right[i >> 3] >> bit) & 1 ? kDsdWorkScale : -kDsdWorkScale;
        }
        return;
    }
    const int bytes = pcmSampleBytes(t);
    if (!bytes) return;
    for (int i = 0; i < frames; ++i) {
        dst[2 * i] = readSample(left + int64_t(i) * bytes, t);
        dst[2 * i + 1] = readSample(right + int64_t(i) * bytes, t);
    }
}

void gCAudioThreadAsioFunc::driverBufToWorkBuf(double *work, const unsigned char *left, const unsigned char *right,
                                               int type, int frames) {
    if (!work) return;
    convertPair(work + 2 * int64_t(mCaptureOffset), left, right, type, frames);
}

void gCAudioThreadAsioFunc::convertAudioDriverToWorkBuffer(int type, int frames, double *work, const unsigned char *in,
                                                           const unsigned char *in2, tBufferSwitchParams *rec) {
    if (!work || frames < 1) return;
    mCaptureOffset =
        rec && rec->captureWriteOffsets ? std::max(0, rec->captureWriteOffsets[0].load(std::memory_order_relaxed)) : 0;
    driverBufToWorkBuf(work, in, in2, type, frames);
    const int t = type & kTypeSampleMask;
    if (isDsdType(t) || !pcmSampleBytes(t)) return;
    double pos[2] = {mEngine->monPeakPosi[0].load(std::memory_order_relaxed),
                     mEngine->monPeakPosi[1].load(std::memory_order_relaxed)};
    double neg[2] = {mEngine->monPeakNega[0].load(std::memory_order_relaxed),
                     mEngine->monPeakNega[1].load(std::memory_order_relaxed)};
    if (mEngine->clearMoniPeakFlag.exchange(false, std::memory_order_relaxed)) pos[0] = pos[1] = neg[0] = neg[1] = 0.0;
    const double *w = work + 2 * int64_t(mCaptureOffset);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c) {
            pos[c] = std::max(pos[c], w[2 * i + c]);
            neg[c] = std::min(neg[c], w[2 * i + c]);
        }
    for (int c = 0; c < 2; ++c) {
        mEngine->monPeakPosi[c].store(pos[c], std::memory_order_relaxed);
        mEngine->monPeakNega[c].store(neg[c], std::memory_order_relaxed);
    }
}

void gCAudioThreadAsioFunc::SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft,
                                                 unsigned char *dsdRight, tBufferSwitchParams *rec) {
    if (!work) return;
    mTestIsDsd = isDsdType(type & kTypeSampleMask);
    mCaptureOffset =
        rec && rec->captureWriteOffsets ? std::max(0, rec->captureWriteOffsets[0].load(std::memory_order_relaxed)) : 0;
    gSineWaveToWorkBuffer(*mEngine, mTestIsDsd, frames, work + 2 * int64_t(mCaptureOffset), dsdLeft, dsdRight);
}

void gCAudioThreadAsioFunc::incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int, int) {
    if (!outputs) return;
    const int64_t n = int64_t(frames) * bits / 8;
    if (outputs[0]) outputs[0] += n;
    if (outputs[1]) outputs[1] += n;
}

bool gCAudioThreadAsioFunc::growInputWork(int frames) {
    if (frames <= mInputWorkFrames) return true;
    for (double *&p : mInputWork) {
        _aligned_free(p);
        p = static_cast<double *>(_aligned_malloc(uint64_t(frames) * 16, 16));
    }
    for (double *p : mInputWork)
        if (!p) {
            for (double *&q : mInputWork) {
                _aligned_free(q);
                q = nullptr;
            }
            mInputWorkFrames = 0;
            return false;
        }
    mInputWorkFrames = frames;
    return true;
}

void gCAudioThreadAsioFunc::measureInputSignals(int type, int frames, unsigned char **inputs,
                                                tBufferSwitchParams *rec) {
    if (!inputs || !rec || frames < 1) return;
    const int pairs = std::min(rec->inputChannels / 2, static_cast<int>(kPairs));
    if (pairs < 1 || !growInputWork(frames)) return;
    for (int p = 0; p < pairs; ++p) {
        double *w = mInputWork[p];
        convertPair(w, inputs[2 * p], inputs[2 * p + 1], type, frames);
        measurePeakMetering(w, frames, p);
        mPhase = mPhaseMeter.calcPhaseValue(w, w, frames, 1);
        processFFT(*mEngine, false, p, w, frames);
        if (!mTestLissajous) continue;
        int pos = mTestLissajousCount[p];
        for (int i = 0; i < frames; ++i) {
            if (pos < 0 || pos >= kTestLissajousFrames) pos = 0;
            mTestLissajous[2 * pos] = w[2 * i];
            mTestLissajous[2 * pos + 1] = w[2 * i + 1];
            ++pos;
        }
        mTestLissajousCount[p] = pos >= kTestLissajousFrames ? 0 : pos;
    }
}

void gCAudioThreadAsioFunc::measurePeakMetering(const double *frames, int count, int pair) {
    if (!frames || pair < 0 || pair >= kPairs) return;
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 2; ++c) mInputPeak[pair][c] = std::max(mInputPeak[pair][c], std::fabs(frames[2 * i + c]));
}

void gCAudioThreadAsioFunc::trgPeak() {
    for (int p = 0; p < kPairs; ++p)
        for (int c = 0; c < 2; ++c) {
            mHeldPeak[p][c] = mInputPeak[p][c];
            mInputPeak[p][c] = 0.0;
        }
    std::memcpy(mMeasuredPeak, mHeldPeak, sizeof mMeasuredPeak);
}

double *gCAudioThreadAsioFunc::getLissajousBuf(int pair) {
    return pair >= 0 && pair < kPairs ? mTestLissajous : nullptr;
}

int gCAudioThreadAsioFunc::getLissajousWrBufCount(int pair) const {
    return pair >= 0 && pair < kPairs ? mTestLissajousCount[pair] : 0;
}

// ---- Metering accessors ------------------------------------------------------

namespace {
gCAudioThreadAsioFunc *asio() { return static_cast<gCAudioThreadAsioFunc *>(pCAudioThreadAsioFunc); }
}  // namespace

double *gAutioThread_getInputMeasurePeakP() { return asio() ? asio()->getInutMeasurePeak() : nullptr; }

double *gAudioThread_getTestLissajousBuf(int pair) { return asio() ? asio()->getLissajousBuf(pair) : nullptr; }

int gAudioThread_getTestLissajousWrBufCount(int pair) { return asio() ? asio()->getLissajousWrBufCount(pair) : 0; }

double gAudioThread_getPhase() { return asio() ? asio()->getPhase() : 0.0; }

void trgPeakHoldAudio(int) {
    if (asio()) asio()->trgPeak();
}
