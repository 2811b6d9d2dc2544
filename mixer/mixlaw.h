// The mixer's arithmetic: how a track's fader, pan, mute and channel count
// become the 2x2 gain matrix of tMixChParam, how a send level becomes the
// send matrix, and how the master fader and mute become the master gain.
//
// Pure functions; the mixer window applies them to the shared tMixParam.
#pragma once

#include <cstdint>

#include "engine/mixrecords.h"

// A 2x2 matrix in the record's orientation: xy carries input x to output y,
// so left out = ll·L + rl·R and right out = lr·L + rr·R.
struct tMixMatrix {
    double ll;
    double lr;
    double rl;
    double rr;
};

// The gain law for a track of `channels` channels at gain g (linear) and pan
// −100 (left) .. +100 (right).
//   channels == 2 (balance): lr = rl = 0; at pan 0 both sides g; left of
//     centre the right side falls as g·cos(pan·π/200), right of centre the
//     left side does. The test for the centre is exact.
//   anything else (mono, the left input panned): θ = (pan + 100)·π/400,
//     ll = g·cos θ, lr = g·sin θ, rl = rr = 0; so 0.7071·g on both sides at
//     the centre.
tMixMatrix mixLaw_matrix(double g, double pan, int32_t channels);

// Linear gain of a fader level in dB, 10^(dB/20), in double precision.
double mixLaw_dbToGain(double dB);

// The master gain the engine reads: the fader 10^(dB/20) rounded to single
// precision, times the mute factor, multiplied in single precision.
float mixLaw_masterFader(float dB);
float mixLaw_masterGain(float fader, float mute);

// A track's mute factor: 1 when it is soloed (a soloed track sounds even
// when muted), else 0 when it is muted or silenced by another track's solo,
// else 1.
float mixLaw_muteFactor(bool soloed, bool muted, bool soloMuted);

// Writes the gain matrix of a track record from its own gain, mute, pan and
// channels (the invariant the engine relies on).
void mixLaw_applyGain(tMixChParam *ch);
// Writes the send matrix of a track record for a send level in dB, with the
// record's pan and channels; fader and mute do not enter it.
void mixLaw_applySend(tMixChParam *ch, int levelDb);
