#include "morphex/convpcmdsd.h"

#include <cstring>
#include <new>

tConvFadeShared gConvFadeShared;

namespace {

// A request bit is pending while it is set in the request word and not yet
// acknowledged.
inline bool pending(const tConvFadeShared &s, int ch, uint32_t bit) {
    return (s.fadeReq[ch] & bit) != 0 && (s.fadeAck[ch] & bit) == 0;
}

}  // namespace

cConvPcmDsd::cConvPcmDsd(tConvFadeShared *shared)
    : mMuteSplice(0), mSourceSplice(0), mMute{nullptr, nullptr}, mMuteCapacity(0), mRate(2822400), mShared(shared) {
    (void)growMuteStreams(kConvMuteStreamBytes);
}

cConvPcmDsd::~cConvPcmDsd() {
    delete[] mMute[0];
    delete[] mMute[1];
}

bool cConvPcmDsd::growMuteStreams(uint32_t bytes) {
    delete[] mMute[0];
    delete[] mMute[1];
    mMute[0] = new (std::nothrow) uint8_t[bytes];
    mMute[1] = new (std::nothrow) uint8_t[bytes];
    if (!mMute[0] || !mMute[1]) {
        delete[] mMute[0];
        delete[] mMute[1];
        mMute[0] = mMute[1] = nullptr;
        mMuteCapacity = 0;
        return false;
    }
    // Filled at once so that no byte of a stream is ever read unset, also
    // where a short fill leaves the tail alone.
    std::memset(mMute[0], kDsdMutePatternByte, bytes);
    std::memset(mMute[1], kDsdMutePatternByte, bytes);
    mMuteCapacity = static_cast<int>(bytes);
    return true;
}

void cConvPcmDsd::fillMute(int ch, uint32_t bytes) { std::memset(mMute[ch], kDsdMutePatternByte, bytes); }

void cConvPcmDsd::initParamsConverting(classDsm5th *dsm, int rate) {
    tConvFadeShared &s = *mShared;
    for (int ch = 0; ch < 2; ++ch) {
        s.fadeReq[ch] = 0;
        s.fadeAck[ch] = 0;
    }
    dsm->selectSpliceStream(1);
    mRate = rate;
    const double zero[2] = {0.0, 0.0};
    s.fadeLpf.setXdiret(zero);
    s.fadeLpf.setY_1direct(zero);
    s.fadeLpf.set_coefA_byFs(0.01, rate);
}

void cConvPcmDsd::setFadeLPF(bool slow) { mShared->fadeLpf.set_coefA_byFs(slow ? 0.06 : 0.01, mRate); }

void cConvPcmDsd::reqDsdConvertWithFading(int ch, int bits) {
    if (ch < 0 || ch > 1) return;
    mShared->fadeReq[ch] |= static_cast<uint32_t>(bits);
}

cConvPcmDsd::Action cConvPcmDsd::decide(classDsm5th *dsm, int ch, bool &sourceFlag, bool &shortFill) {
    tConvFadeShared &s = *mShared;
    lpf &smoother = s.fadeLpf;
    const bool pure = s.dsdPure;
    uint32_t &cut = dsm->mCutFlags[ch];
    uint32_t &req = dsm->mSpliceReq[ch];
    const uint32_t cur = dsm->mSpliceCur[ch];
    const double x = smoother.getCoefX_ch(ch);
    double y = smoother.getCoefY_1_ch(ch);
    sourceFlag = pure;
    shortFill = false;

    // Comparisons with 0.0 and 1.0 are exact: the smoother snaps onto its
    // target, so the ends of a fade are reached exactly.
    if (pending(s, ch, kDsdFadeIn)) {
        if (cur == 1 && req == 1) {
            if (y == 1.0) {
                s.fadeAck[ch] |= kDsdFadeIn;
                cut = 0;
                return Action::Source;
            }
            return Action::MuteOne;
        }
        if (cur == 1 || req == 1) return y == 0.0 ? Action::Mute : Action::Source;
        if (!pure) {
            smoother.proc_1stIir();
            y = smoother.getCoefY_1_ch(ch);
        }
        if (y == 1.0 && pure) {
            cut |= kDsmCutActive;
            req = 1;
            sourceFlag = true;
            return Action::Source;
        }
        if (y == 1.0) {
            s.fadeAck[ch] = kDsdFadeIn;
            sourceFlag = false;
            return Action::Source;
        }
        if (y == 0.0) return Action::Mute;
        cut = 0;
        return Action::Source;
    }

    if (pending(s, ch, kDsdFadeOut)) {
        if (cur == 1 && req == 1) {
            if (y == 0.0) {
                s.fadeAck[ch] |= kDsdFadeOut;
                cut = 0;
                return Action::Mute;
            }
            req = 0;
            return Action::Source;
        }
        if (cur == 1) return y == 0.0 ? Action::Mute : Action::Source;
        if (req == 1) {
            if (y == 0.0) return Action::Mute;
            cut = 0;
            req = 0;
            return Action::Source;
        }
        if ((dsm->mSpliceReq[0] | dsm->mSpliceReq[1] | dsm->mSpliceCur[0] | dsm->mSpliceCur[1]) == 0) {
            smoother.proc_1stIir();
            y = smoother.getCoefY_1_ch(ch);
        }
        if (y == 0.0) {
            cut |= kDsmCutActive;
            req = 1;
            return Action::Mute;
        }
        return Action::Source;
    }

    if (x == 0.0 && y == 0.0) {
        cut |= kDsmCutActive;
        req = 1;
        shortFill = true;
        return Action::Mute;
    }
    if (x == 1.0 && y == 1.0) {
        if (pure) {
            cut = (cur == 0) ? (cut | kDsmCutActive) : 0;
            req = 1;
            sourceFlag = true;
        } else {
            cut = 0;
            req = 0;
            sourceFlag = false;
        }
        return Action::Source;
    }
    cut = 0;
    req = 0;
    return Action::Source;
}

int cConvPcmDsd::convertPcm2Dsd(classDsm5th *dsm, uint8_t *const out[2], const double *in, uint32_t n, int phase,
                                FILE *, uint8_t *const srcDsd[2], int taps, double level, tConvPcmDsdParam *param) {
    tConvFadeShared &s = *mShared;
    lpf &smoother = s.fadeLpf;

    const double target[2] = {level, level};
    smoother.setXdiret(target);
    const double y[2] = {smoother.getCoefY_1_ch(0), smoother.getCoefY_1_ch(1)};

    // Pattern amount per lane: the mute pattern comes in only near the end
    // of a fade-out. The first block of an export starts without it.
    double amount[2];
    const bool first = param && param->firstExportBlock;
    for (int ch = 0; ch < 2; ++ch) {
        const bool noPattern = first ? (y[ch] >= 0.0) : (y[ch] > 0.01);
        amount[ch] = noPattern ? 0.0 : 1.0 - y[ch];
    }
    if (first) param->firstExportBlock = 0;

    // The mute fills write 8 bytes past the block.
    const uint32_t blockBytes = (n + 7) / 8;
    const uint32_t fillBytes = blockBytes + 8;
    if (static_cast<uint32_t>(mMuteCapacity) < fillBytes) {
        if (!growMuteStreams(fillBytes)) return kConvPcmDsdNoMemory;
    }

    mMuteSplice = kConvMuteSplice;
    mSourceSplice = (taps - 1) / 2 + kConvMuteSplice;

    bool fading = false;
    for (int ch = 0; ch < 2; ++ch) {
        if (pending(s, ch, kDsdFadeIn) || pending(s, ch, kDsdFadeOut) || dsm->mSpliceReq[ch] != dsm->mSpliceCur[ch])
            fading = true;
    }
    if (fading)
        dsm->dsm5thFade(out, in, n, phase, amount);
    else
        dsm->dsm5th(out, in, n, phase, amount);

    const uint8_t *const src[2] = {srcDsd ? srcDsd[0] : nullptr, srcDsd ? srcDsd[1] : nullptr};
    const uint8_t *const mute[2] = {mMute[0], mMute[1]};
    const int32_t bits = static_cast<int32_t>(n);
    for (int ch = 0; ch < 2; ++ch) {
        bool sourceFlag = false, shortFill = false;
        switch (decide(dsm, ch, sourceFlag, shortFill)) {
        case Action::Source:
            // Without source streams (a PCM source) there is nothing to
            // splice toward; the modulated bytes stand.
            if (src[0] && src[1]) dsm->compareDsm(out, src, bits, ch, mSourceSplice, sourceFlag);
            break;
        case Action::Mute:
            fillMute(0, shortFill ? blockBytes : fillBytes);
            fillMute(1, shortFill ? blockBytes : fillBytes);
            dsm->compareDsm(out, mute, bits, ch, mMuteSplice, s.dsdPure);
            break;
        case Action::MuteOne:
            fillMute(ch, fillBytes);
            dsm->mSpliceReq[ch] = 0;
            dsm->compareDsm(out, mute, bits, ch, mMuteSplice, s.dsdPure);
            break;
        }
    }

    // Splice history for the next block: the mute byte where the output has
    // faded to nothing, else the end of the source on a pure job.
    for (int ch = 0; ch < 2; ++ch) {
        if (smoother.getCoefY_1_ch(ch) == 0.0) {
            for (int k = 0; k < 3; ++k) dsm->mSpliceHist[ch][k] = kDsdMutePatternByte;
        } else if (s.dsdPure && src[ch] && n / 8 >= 3) {
            for (int k = 0; k < 3; ++k) dsm->mSpliceHist[ch][k] = src[ch][n / 8 - 3 + k];
        }
    }

    (void)smoother.checkConsistent();
    (void)dsm->checkConsistent();
    return kConvPcmDsdOk;
}
