#include "mixer/mixlaw.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

tMixMatrix mixLaw_matrix(double g, double pan, int32_t channels) {
    tMixMatrix m{0.0, 0.0, 0.0, 0.0};
    if (channels == 2) {
        m.ll = g;
        m.rr = g;
        if (pan < 0.0)
            m.rr = g * std::cos(pan * kPi / 200.0);
        else if (pan > 0.0)
            m.ll = g * std::cos(pan * kPi / 200.0);
    } else {
        const double theta = (pan + 100.0) * kPi / 400.0;
        m.ll = g * std::cos(theta);
        m.lr = g * std::sin(theta);
    }
    return m;
}

double mixLaw_dbToGain(double dB) { return std::pow(10.0, dB / 20.0); }

float mixLaw_masterFader(float dB) { return static_cast<float>(mixLaw_dbToGain(dB)); }

float mixLaw_masterGain(float fader, float mute) { return fader * mute; }

float mixLaw_muteFactor(bool soloed, bool muted, bool soloMuted) {
    if (soloed) return 1.0f;
    return (muted || soloMuted) ? 0.0f : 1.0f;
}

void mixLaw_applyGain(tMixChParam *ch) {
    // The float mute factor is widened before the product.
    const double g = static_cast<double>(ch->mute) * ch->gain;
    const tMixMatrix m = mixLaw_matrix(g, ch->pan, ch->channels);
    ch->LL = m.ll;
    ch->LR = m.lr;
    ch->RL = m.rl;
    ch->RR = m.rr;
}

void mixLaw_applySend(tMixChParam *ch, int levelDb) {
    const tMixMatrix m = mixLaw_matrix(mixLaw_dbToGain(levelDb), ch->pan, ch->channels);
    ch->fxLL = m.ll;
    ch->fxLR = m.lr;
    ch->fxRL = m.rl;
    ch->fxRR = m.rr;
}
