// The device writers of the back-end the device callbacks use: silence, the
// test tone, the programme and the captured input, in the layouts the type
// code names. Every layout is interleaved, output channels per frame, and
// only the first two channels of a frame carry the signal.
//
//   PCM (18)              32-bit float (+-1.0) or integer (+-2147483647) samples
//   DoP in floats (0x8021) a float per 16 DSD bits: (marker << 24 | b1 << 16 | b2 << 8) x 2^-31,
//                         the marker 0x05 / 0xFA alternating frame by frame
//   DoP in 24 bits (33)   three bytes per 16 DSD bits: marker, b1, b2
//   native in floats (0x18021) a float per 16 DSD bits: (b1 << 24 | b2 << 16) x 2^-31;
//                         0x38021 while the device mutes its start (silence is zeros)
//   native bytes (0x10021) two bytes per 16 DSD bits; the programme writer leaves it alone
//
// Every float here is exact: a DoP word has 24 significant bits and a native
// word 16, so the host's x 2^31 gives the word back bit for bit.
//
// A type code is decoded once into a layout (prepareLayout: the silence, the
// programme's and the tone's packers, the input's unpacker); the device
// layer decides the stream's layouts before the stream starts, and the
// writers only look them up.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audiofile/audiohelpers.h"
#include "dsp/oscillator.h"
#include "engine/analysisrings.h"
#include "engine/capturering.h"
#include "engine/coreaudiofunc.h"
#include "engine/dsdoutput.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/mixing.h"
#include "engine/rtdiag.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr double kInt32Scale = 1.0 / 2147483648.0;  // 2^-31
constexpr double kInt32Full = 2147483647.0;
constexpr double kToneIntScale = 2137483647.0;         // the test tone's integer scale (not 2^31 - 1)
constexpr double kDsdWorkScale = 36028797018963968.0;  // 2^55, one DSD bit in the work signal
constexpr double kDsdToneScale = 18014398509481984.0;  // 2^54, the test tone's level
constexpr uint8_t kDopMarkerA = 0x05;
constexpr uint8_t kDopMarkerB = 0xFA;
constexpr uint32_t kNativeIdleWord = 0x96960000u;  // two idle bytes in a native container

enum tLayout {
    kLayoutNone,
    kLayoutPcm,
    kLayoutDopFloat,
    kLayoutDop24,
    kLayoutNativeFloat,
    kLayoutNativeBytes,
};

bool isDsdSample(int s, bool with8Bit) { return s == kSampleDsd || (with8Bit && s == kSampleDsd8); }

// The layout of a type code. The programme writer takes DSD as 33 only; the
// silence and test-tone writers also take 40.
tLayout layoutOf(int type, bool with8Bit) {
    const int s = type & kTypeSampleMask;
    if (s == kSampleInt32) return kLayoutPcm;
    if (!isDsdSample(s, with8Bit)) return kLayoutNone;
    const bool floats = (type & kTypeFloatContainer) != 0;
    if (type & kTypeNativeDsd) return floats ? kLayoutNativeFloat : kLayoutNativeBytes;
    return floats ? kLayoutDopFloat : kLayoutDop24;
}

// Device bytes per channel for 16 DSD bits.
int dsdBytesPer16(tLayout l) {
    switch (l) {
    case kLayoutDop24: return 3;
    case kLayoutNativeBytes: return 2;
    default: return 4;
    }
}

// Where frame `frames` of the buffer starts (DSD frames are bits).
int64_t outputBytes(tLayout l, int frames, int channels) {
    if (l == kLayoutPcm) return int64_t(frames) * channels * 4;
    return int64_t(frames / 16) * channels * dsdBytesPer16(l);
}

void putFloat(unsigned char *p, double v) {
    const float f = static_cast<float>(v);
    std::memcpy(p, &f, 4);
}

void putWordAsFloat(unsigned char *p, uint32_t word) { putFloat(p, static_cast<int32_t>(word) * kInt32Scale); }

void putInt(unsigned char *p, int32_t v) { std::memcpy(p, &v, 4); }

int32_t saturateInt32(double v) {
    if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// The DoP marker of container frame k when the markers start afresh.
uint8_t freshMarker(int k) { return (k & 1) ? kDopMarkerB : kDopMarkerA; }

// Packs containerFrames x 16 DSD bits of the left and right byte streams
// into the output, at `channels` channels per frame. floatMarker and
// marker24 carry the DoP markers across calls; null starts them afresh (the
// test tone).
void packDsd(tLayout l, unsigned char *out, int channels, const uint8_t *const src[2], int containerFrames,
             uint32_t *floatMarker, uint8_t *marker24) {
    const int used = std::min(channels, 2);
    switch (l) {
    case kLayoutDopFloat:
        for (int k = 0; k < containerFrames; ++k) {
            const uint32_t m = floatMarker ? *floatMarker : uint32_t(freshMarker(k)) << 24;
            for (int c = 0; c < used; ++c)
                putWordAsFloat(out + (int64_t(k) * channels + c) * 4,
                               m | uint32_t(src[c][2 * k]) << 16 | uint32_t(src[c][2 * k + 1]) << 8);
            if (floatMarker) *floatMarker ^= 0xFF000000u;
        }
        break;
    case kLayoutDop24:
        for (int k = 0; k < containerFrames; ++k) {
            const uint8_t m = marker24 ? *marker24 : freshMarker(k);
            for (int c = 0; c < used; ++c) {
                unsigned char *p = out + (int64_t(k) * channels + c) * 3;
                p[0] = m;
                p[1] = src[c][2 * k];
                p[2] = src[c][2 * k + 1];
            }
            if (marker24) *marker24 = uint8_t(~*marker24);
        }
        break;
    case kLayoutNativeFloat:
        // Two bytes of a channel per container frame, the earlier byte high.
        for (int k = 0; k < containerFrames; ++k)
            for (int c = 0; c < used; ++c)
                putWordAsFloat(out + (int64_t(k) * channels + c) * 4,
                               uint32_t(src[c][2 * k]) << 24 | uint32_t(src[c][2 * k + 1]) << 16);
        break;
    default: break;
    }
}

// The input's unpacker.
enum tInputLayout {
    kInputNone,
    kInputInt16,
    kInputInt24,
    kInputFloat,     // 32-bit containers read as floats
    kInputZero,      // 255 channels: silence
    kInputDopFloat,  // DoP words in float containers
};

}  // namespace

const gCAudioThreadCoreAudioFunc::tLayoutOf &gCAudioThreadCoreAudioFunc::prepareLayout(int type) {
    tLayoutOf &l = mLayouts[mNextLayout];
    mNextLayout = (mNextLayout + 1) % 3;
    l = tLayoutOf();
    l.type = type;
    l.programme = ::layoutOf(type, false);
    l.tone = ::layoutOf(type, true);
    l.floats = (type & kTypeFloatContainer) != 0;
    const int s = type & kTypeSampleMask;
    l.pcmTone = s == kSampleInt32MSB || s == kSampleInt32;
    l.startMute = (type & kTypeNativeDsdStartMute) != 0;
    l.dsdTest = s == kSampleDsdLsb || s == kSampleDsd || s == kSampleDsd8;
    l.full = l.floats ? 1.0 : kInt32Full;
    if (s == kSampleDsd) {
        l.bits = 1;
        // Native bytes without float containers carry nothing but the bytes.
        const bool nativeBytes = (type & kTypeNativeDsd) && !l.floats;
        l.markBytes = l.floats ? 2 : nativeBytes ? 0 : 1;
    }
    switch (s) {
    case kSampleInt16: l.input = kInputInt16; break;
    case kSampleInt24: l.input = kInputInt24; break;
    case kSampleInt32:
    case kSampleFloat32: l.input = kInputFloat; break;
    case kSampleDsdLsb:
    case kSampleDsd: l.input = l.floats && !(type & kTypeNativeDsd) ? kInputDopFloat : kInputNone; break;
    default: l.input = kInputNone; break;
    }
    return l;
}

bool gCAudioThreadCoreAudioFunc::reserve(int frames) {
    const int32_t need = (std::max(frames, 1) + 7) / 8 * 8;
    if (fits(frames)) return true;
    _aligned_free(mDsdBuf[0]);
    _aligned_free(mDsdBuf[1]);
    _aligned_free(mWorkBuf);
    mDsdBuf[0] = static_cast<uint8_t *>(_aligned_malloc(uint64_t(need), 16));
    mDsdBuf[1] = static_cast<uint8_t *>(_aligned_malloc(uint64_t(need), 16));
    mWorkBuf = static_cast<double *>(_aligned_malloc(uint64_t(need) * 16, 16));
    if (!mDsdBuf[0] || !mDsdBuf[1] || !mWorkBuf) {
        _aligned_free(mDsdBuf[0]);
        _aligned_free(mDsdBuf[1]);
        _aligned_free(mWorkBuf);
        mDsdBuf[0] = mDsdBuf[1] = nullptr;
        mWorkBuf = nullptr;
        mDsdBufCapacity = 0;
        return false;
    }
    std::memset(mDsdBuf[0], kDsdIdleByte, size_t(need));
    std::memset(mDsdBuf[1], kDsdIdleByte, size_t(need));
    mDsdBufCapacity = need;
    return true;
}

void gCAudioThreadCoreAudioFunc::copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *,
                                                              int channels) {
    if (!out || channels < 1 || frames < 1) return;
    const tLayoutOf &layout = layoutOf(type);
    const tLayout l = tLayout(layout.tone);
    const int cf = frames / 16;  // DSD container frames
    switch (l) {
    case kLayoutPcm: std::memset(out, 0, size_t(frames) * size_t(channels) * 4); break;
    case kLayoutDopFloat:
        for (int k = 0; k < cf; ++k)
            for (int c = 0; c < channels; ++c)
                putWordAsFloat(out + (int64_t(k) * channels + c) * 4, uint32_t(freshMarker(k)) << 24 | 0x969600u);
        break;
    case kLayoutDop24:
        for (int k = 0; k < cf; ++k)
            for (int c = 0; c < channels; ++c) {
                unsigned char *p = out + (int64_t(k) * channels + c) * 3;
                p[0] = freshMarker(k);
                p[1] = p[2] = kDsdIdleByte;
            }
        break;
    case kLayoutNativeFloat:
        if (layout.startMute) {
            std::memset(out, 0, size_t(cf) * size_t(channels) * 4);
        } else {
            for (int64_t i = 0; i < int64_t(cf) * channels; ++i) putWordAsFloat(out + 4 * i, kNativeIdleWord);
        }
        break;
    case kLayoutNativeBytes:
        // Two bytes per channel for every 16 bits: the whole buffer, no more.
        std::memset(out, kDsdIdleByte, size_t(channels) * size_t(frames / 8));
        break;
    default: break;
    }
}

void gCAudioThreadCoreAudioFunc::sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *,
                                                             tBufferSwitchParams *rec) {
    if (!rec || rec->outputChannels < 1 || !out || frames < 1) return;
    const int channels = rec->outputChannels;
    const tLayoutOf &layout = layoutOf(type);
    const int mode = COscClass.mWaveType;
    // The fixed pattern goes out as the word itself; every other wave (and
    // the noises) as the generator makes it. A wave type the generator does
    // not know also sends the pattern.
    const bool pattern = mode == kOscFixedPattern || mode > kOscPinkNoise || mode < 0;
    const uint32_t word = static_cast<uint32_t>(COscClass.mPattern);
    const double wordValue = static_cast<int32_t>(word);
    double *sine = mEngine->sineWaveBuffer[0];
    const int n = std::min(frames, mEngine->sineWaveBufSize);

    if (layout.pcmTone) {
        const bool floats = layout.floats;
        if (pattern) {
            for (int i = 0; i < frames; ++i)
                for (int c = 0; c < std::min(channels, 2); ++c) {
                    unsigned char *p = out + (int64_t(i) * channels + c) * 4;
                    if (floats)
                        putWordAsFloat(p, word);
                    else
                        putInt(p, int32_t(word));
                }
            gPeakHoldVal[0].store(wordValue, kRelaxed);
            gPeakHoldVal[1].store(wordValue, kRelaxed);
            return;
        }
        if (!sine || n < 1) return;
        COscClass.generateSineWave(sine, n);
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < std::min(channels, 2); ++c) {
                unsigned char *p = out + (int64_t(i) * channels + c) * 4;
                const double v = sine[2 * i + c];
                if (floats)
                    putFloat(p, std::clamp(v, -1.0, 1.0));
                else
                    putInt(p, saturateInt32(v * kToneIntScale));
            }
        const double peak = COscClass.getOscLevel() * kInt32Full;
        gPeakHoldVal[0].store(peak, kRelaxed);
        gPeakHoldVal[1].store(peak, kRelaxed);
        return;
    }

    const tLayout l = tLayout(layout.tone);
    if (l == kLayoutNone) return;
    if (!fits(frames)) {
        rtDiag_raise(kRtDiagWorkBufferMissing, frames);
        return;
    }
    const int bytes = frames / 8;
    double peak;
    if (pattern) {
        const uint8_t b[4] = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
        for (int i = 0; i < bytes; ++i) mDsdBuf[0][i] = mDsdBuf[1][i] = b[i & 3];
        peak = wordValue;
    } else {
        double *work = mEngine->sineWaveBuffer[1];
        if (!sine || !work || n < 1) return;
        COscClass.generateSineWave(sine, n);
        for (int i = 0; i < 2 * n; ++i) work[i] = sine[i] * kDsdToneScale;
        uint8_t *const dsd[2] = {mDsdBuf[0], mDsdBuf[1]};
        const double noPattern[2] = {0.0, 0.0};
        mEngine->dsm5th.dsm5th(dsd, work, static_cast<uint32_t>(n), 0, noPattern);
        peak = COscClass.getOscLevel() * 0.5;
    }
    gPeakHoldVal[0].store(peak, kRelaxed);
    gPeakHoldVal[1].store(peak, kRelaxed);
    const uint8_t *const src[2] = {mDsdBuf[0], mDsdBuf[1]};
    if (l == kLayoutNativeBytes) {
        // One left and one right byte per step.
        for (int i = 0; i < bytes; ++i) {
            out[2 * i] = src[0][i];
            if (channels > 1) out[2 * i + 1] = src[1][i];
        }
        return;
    }
    packDsd(l, out, channels, src, frames / 16, nullptr, l == kLayoutDop24 ? &mDopMarker24 : nullptr);
}

int gCAudioThreadCoreAudioFunc::convertDataToAudioDriverBuffer(int type, int frames, const int *offsets,
                                                               double **const *blocks, const int *blockIndices,
                                                               unsigned char **outputs, unsigned char **dsdBlocks,
                                                               tBufferSwitchParams *rec) {
    const int result = writeProgramme(type, frames, offsets, blocks, blockIndices, outputs, dsdBlocks, rec);
    if (frames != 0) mCaptureOffset = 0;
    return result;
}

int gCAudioThreadCoreAudioFunc::writeProgramme(int type, int frames, const int *offsets, double **const *blocks,
                                               const int *blockIndices, unsigned char **outputs,
                                               unsigned char **dsdBlocks, tBufferSwitchParams *rec) {
    if (!rec || rec->outputChannels < 1 || frames < 1 || !outputs) return 0;
    // What the GUI set (patch, monitor volume, mixer record): the buffer's
    // snapshot, read once here.
    const tEngineParamsHold params;
    const int channels = rec->outputChannels;
    const int first = std::max(0, rec->firstOutputChannel);
    bool anyColumn = false;
    for (int j = first; j < first + channels && j < kOutputPatchSize; ++j)
        anyColumn = anyColumn || params->outputPatch[j] >= 0;
    if (!anyColumn) return 0;

    // The output's layout, decided when the stream started.
    const tLayoutOf &layout = layoutOf(type);
    const tLayout l = tLayout(layout.programme);
    if (l == kLayoutNone) return 0;
    const bool floats = layout.floats;
    const double full = layout.full;
    if (!fits(frames)) {
        rtDiag_raise(kRtDiagWorkBufferMissing, frames);
        return -1;
    }
    double **masters = rec->masterBuffer ? rec->masterBuffer : mEngine->masterBuf;
    if (!masters[0] || frames > mEngine->masterBufFrames) return -1;
    double *master = masters[0];

    engineApplyOutputRequests(*mEngine);
    audioThread_takeFadeRequests(*mEngine);
    const bool meterPost = mEngine->meteringPoint.load(kRelaxed) == kMeteringPostFader;
    const double monitor[2] = {params->masterVol[0], params->masterVol[1]};
    const tMixParam *mix = engineMixParam();
    const int trackCount = mix ? mix->trackCount : 0;
    tAudioMixingParams p{frames, offsets, blocks, blockIndices, masters, false};
    unsigned char *out = outputs[0];
    if (!out) return 0;
    out += outputBytes(l, rec->outputOffset, channels);

    if (l == kLayoutPcm) {
        audioThread_ackPcmFades(*mEngine);
        for (int j = first; j < first + channels && j < kOutputPatchSize; ++j) {
            const int route = params->outputPatch[j];
            const double *src = nullptr;
            int busyTrack = -1;
            if (route == kOutputPatchMaster) {
                p.decimatedAnalysis = false;
                if (audioThreadMixing(*mEngine, &p) < 0) return -1;
                src = master;
            } else if (route >= 0 && route < kMaxTracks) {
                // The track's block straight to the column; a track without
                // a job (or whose failed job takes its ring away) is silence.
                mEngine->mixBusy[route].store(true, std::memory_order_seq_cst);
                busyTrack = route;
                double **table = blocks ? blocks[route] : nullptr;
                const bool idle = !table || table == mEngine->dummyPlayTable ||
                                  mEngine->ringWithdrawn[route].load(std::memory_order_seq_cst);
                double *block = idle ? nullptr : table[blockIndices ? blockIndices[route] : 0];
                if (block) {
                    src = block + 2 * int64_t(offsets ? offsets[route] : 0);
                } else {
                    std::memset(mWorkBuf, 0, size_t(frames) * 16);
                    src = mWorkBuf;
                }
            } else {
                continue;
            }
            processFFT_MasterTrack(*mEngine, false, src, frames);
            tMasterPcmMeter meter(*mEngine, src, frames, full);
            // The monitor volume holds for the buffer; the fade level moves
            // every frame.
            double v[2] = {0.0, 0.0};
            for (int i = 0; i < frames; ++i) {
                v[0] = mEngine->fadeVolLpf.getCoefY_1_ch(0) * monitor[0] * full;
                v[1] = mEngine->fadeVolLpf.getCoefY_1_ch(1) * monitor[1] * full;
                for (int c = 0; c < std::min(channels, 2); ++c) {
                    const double s = std::clamp(src[2 * i + c] * v[c], -full, full);
                    unsigned char *at = out + (int64_t(i) * channels + c) * 4;
                    if (floats)
                        putFloat(at, s);
                    else
                        putInt(at, static_cast<int32_t>(std::lrint(s)));
                }
                const double fullPair[2] = {full, full};
                meter.frame(i, meterPost ? v : fullPair);
                mEngine->fadeVolLpf.proc_1stIir();
            }
            mEngine->totalVol[0].store(v[0], kRelaxed);
            mEngine->totalVol[1].store(v[1], kRelaxed);
            meter.finish(floats);
            if (busyTrack >= 0) mEngine->mixBusy[busyTrack].store(false, std::memory_order_release);
        }
        return 0;
    }

    // DSD.
    const double m[2] = {meterPost ? mEngine->totalVol[0].load(kRelaxed) : 1.0,
                         meterPost ? mEngine->totalVol[1].load(kRelaxed) : 1.0};
    const bool oscillator = COscClass.getOscStatus();
    const int offset = offsets ? std::max(0, offsets[0]) : 0;
    const int index = blockIndices ? blockIndices[0] : rec->blockIndex;
    if (oscillator) {
        // The captured test signal as it is, into the master buffer (the
        // ring block stays as captured, for the recorder).
        double **table = blocks ? blocks[0] : nullptr;
        const double *block = table && table != mEngine->dummyPlayTable ? table[index] : nullptr;
        if (block)
            std::memcpy(master, block + 2 * int64_t(offset), size_t(frames) * 16);
        else
            std::memset(master, 0, size_t(frames) * 16);
    } else {
        p.decimatedAnalysis = true;
        if (audioThreadMixing(*mEngine, &p) < 0) return -1;
    }
    // The metering signal is the master x m. At m = 1 that is the master
    // itself before its volume: it is metered from there, and no copy is
    // written.
    const bool meterMaster = m[0] == 1.0 && m[1] == 1.0;
    if (meterMaster) processFFT_MasterTrack(*mEngine, true, master, frames);
    audioThread_dsdMasterVolume(*mEngine, master, meterMaster ? nullptr : mWorkBuf, frames, m);

    // Track 0's source bytes, unless its failed job is taking them away.
    mEngine->mixBusy[0].store(true, std::memory_order_seq_cst);
    const uint8_t *src[2] = {nullptr, nullptr};
    if (dsdBlocks && index >= 0 && index < kRingBlocks && !mEngine->ringWithdrawn[0].load(std::memory_order_seq_cst) &&
        dsdBlocks[2 * index] && dsdBlocks[2 * index + 1]) {
        src[0] = dsdBlocks[2 * index] + offset / 8;
        src[1] = dsdBlocks[2 * index + 1] + offset / 8;
    }
    uint8_t *const dsd[2] = {mDsdBuf[0], mDsdBuf[1]};
    const size_t bytes = (size_t(frames) + 7) / 8;
    if (oscillator) {
        // The tone's bytes as the capture modulated them, through the first
        // DSD blocks of the ring.
        for (int c = 0; c < 2; ++c) {
            unsigned char *ring = c == 0 ? mEngine->dsdRecBuffer0[0][0] : mEngine->dsdRecBuffer1[0][0];
            if (src[c] && ring) {
                std::memcpy(ring, src[c], bytes);
                std::memcpy(dsd[c], ring, bytes);
            } else if (src[c]) {
                std::memcpy(dsd[c], src[c], bytes);
            } else {
                std::memset(dsd[c], kDsdIdleByte, bytes);
            }
        }
    } else {
        fadeAudio(*mEngine, dsd, master, src, mEngine->mutePatBuffer, frames, offset % 8, trackCount);
    }
    mEngine->mixBusy[0].store(false, std::memory_order_release);
    if (gAudioThread_isMonoSource(0)) std::memcpy(dsd[1], dsd[0], size_t(frames) / 8);
    if (!meterMaster) processFFT_MasterTrack(*mEngine, true, mWorkBuf, frames);
    if (frames % 16) rtDiag_raise(kRtDiagOddDsdChunk, frames);

    const uint8_t *const packed[2] = {dsd[0], dsd[1]};
    packDsd(l, out, channels, packed, frames / 16, &mDopMarkerFloat, &mDopMarker24);
    return 0;
}

int gCAudioThreadCoreAudioFunc::writeDsdTail(int type, int bits, unsigned char **outputs, tBufferSwitchParams *rec) {
    if (!rec || rec->outputChannels < 1 || !outputs || !outputs[0] || bits < 24 || bits % 16) return 0;
    const tLayout l = tLayout(layoutOf(type).programme);
    if (l != kLayoutDopFloat && l != kLayoutDop24 && l != kLayoutNativeFloat) return 0;
    if (!fits(bits) || mEngine->dsm5th.mSpliceCur[0] != 1 || mEngine->dsm5th.mSpliceCur[1] != 1 ||
        mEngine->dsm5th.mSpliceReq[0] != 1 || mEngine->dsm5th.mSpliceReq[1] != 1)
        return 0;
    // The splice's delay holds the material's last bits; what follows them
    // is the mute pattern, which the delay turns into the idle byte.
    const int32_t delay = mEngine->delayConvFir.load(kRelaxed);
    uint8_t pattern[2][kDsdTailMaxBits / 8];
    const int bytes = std::min(bits, int(kDsdTailMaxBits)) / 8;
    std::memset(pattern, gMutePatTable[delay & 7], sizeof pattern);
    const uint8_t *const src[2] = {pattern[0], pattern[1]};
    uint8_t *const dsd[2] = {mDsdBuf[0], mDsdBuf[1]};
    for (int c = 0; c < 2; ++c) mEngine->dsm5th.compareDsm(dsd, src, bytes * 8, c, delay, true);
    if (gAudioThread_isMonoSource(0)) std::memcpy(dsd[1], dsd[0], size_t(bytes));
    const uint8_t *const packed[2] = {dsd[0], dsd[1]};
    const int channels = rec->outputChannels;
    packDsd(l, outputs[0] + outputBytes(l, rec->outputOffset, channels), channels, packed, bytes * 8 / 16,
            &mDopMarkerFloat, &mDopMarker24);
    return bytes * 8;
}

void gCAudioThreadCoreAudioFunc::convertAudioDriverToWorkBuffer(int type, int frames, double *work,
                                                                const unsigned char *in, const unsigned char *,
                                                                tBufferSwitchParams *rec) {
    if (!rec || rec->inputChannels < 1 || !work || !in || frames < 1) return;
    mCaptureOffset = rec->captureWriteOffsets ? std::max(0, rec->captureWriteOffsets[0].load(kRelaxed)) : 0;
    const int channels = rec->inputChannels;
    const int left = rec->firstInputChannel >= 0 && rec->firstInputChannel < channels ? rec->firstInputChannel : 0;
    const int right = left + 1 < channels ? left + 1 : left;  // mono: the one channel twice
    const int64_t start = std::max(0, rec->capturedFrames);   // frames of this input already captured
    double *dst = work + 2 * int64_t(mCaptureOffset);
    int input = layoutOf(type).input;
    if (input == kInputFloat && channels == 255) input = kInputZero;

    switch (input) {
    case kInputInt16:
        for (int i = 0; i < frames; ++i) {
            const unsigned char *f = in + (start + i) * channels * 2;
            for (int c = 0; c < 2; ++c) {
                const unsigned char *p = f + (c == 0 ? left : right) * 2;
                const int16_t v = int16_t(uint16_t(p[0] | p[1] << 8));
                dst[2 * i + c] = double(v) * 65536.0 * kInt32Scale;
            }
        }
        break;
    case kInputInt24:
        for (int i = 0; i < frames; ++i) {
            const unsigned char *f = in + (start + i) * channels * 3;
            for (int c = 0; c < 2; ++c) {
                const unsigned char *p = f + (c == 0 ? left : right) * 3;
                const int32_t v = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
                dst[2 * i + c] = double(v) * kInt32Scale;
            }
        }
        break;
    case kInputZero: std::memset(dst, 0, size_t(frames) * 16); break;
    case kInputFloat:
        for (int i = 0; i < frames; ++i) {
            const unsigned char *f = in + (start + i) * channels * 4;
            for (int c = 0; c < 2; ++c) {
                float v;
                std::memcpy(&v, f + (c == 0 ? left : right) * 4, 4);
                dst[2 * i + c] = v;
            }
        }
        break;
    case kInputDopFloat: {
        // DoP words in float containers: 16 DSD bits each, in bits 23..8.
        const int64_t firstWord = start / 16;
        for (int k = 0; k < frames / 16; ++k) {
            const unsigned char *f = in + (firstWord + k) * channels * 4;
            for (int c = 0; c < 2; ++c) {
                float v;
                std::memcpy(&v, f + (c == 0 ? left : right) * 4, 4);
                const int32_t w = saturateInt32(std::trunc(double(v) * 2147483648.0));
                for (int j = 0; j < 16; ++j)
                    dst[2 * (16 * k + j) + c] = (w >> (23 - j)) & 1 ? kDsdWorkScale : -kDsdWorkScale;
            }
        }
        break;
    }
    default: break;
    }
}

void gCAudioThreadCoreAudioFunc::SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft,
                                                      unsigned char *dsdRight, tBufferSwitchParams *rec) {
    if (!work || frames < 1) return;
    mTestIsDsd = layoutOf(type).dsdTest;
    mCaptureOffset = rec && rec->captureWriteOffsets ? std::max(0, rec->captureWriteOffsets[0].load(kRelaxed)) : 0;
    // The tone lands where the input would, at the capture offset; its DSD
    // bytes only into buffers that hold them.
    const bool fits = frames <= sDsdRecBufferBits;
    gSineWaveToWorkBuffer(*mEngine, mTestIsDsd, frames, work + 2 * int64_t(mCaptureOffset), fits ? dsdLeft : nullptr,
                          fits ? dsdRight : nullptr);
}
