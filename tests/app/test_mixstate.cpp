// Start values of the mixer and equaliser records without the main window:
// a newly added track's slot and what the mixer's law makes of it, and a
// track equaliser's default bands.
#include <gtest/gtest.h>

#include <cmath>

#include "app/mixstate.h"
#include "app/settingsfile.h"
#include "mixer/mixlaw.h"

TEST(MixState, NewTrackSlotAndTheMonoLaw) {
    struct Case {
        int channels;
        double ll, lr, rl, rr;
    };
    // A new track is unity before the mixer touches it: a stereo file
    // straight through, anything else its left input on both sides.
    const Case cases[] = {
        {2, 1, 0, 0, 1},
        {1, 1, 1, 0, 0},
        {6, 1, 1, 0, 0},
    };
    for (const Case &c : cases) {
        tMixChParam ch;
        ch.pan = -40.0;
        ch.faderDb = -6.0f;
        ch.gain = 0.5;
        ch.mute = 0.0f;
        ch.delayMs = 250.0;
        ch.channels = c.channels;
        mixState_newTrackSlot(&ch, c.channels);
        EXPECT_EQ(ch.LL, c.ll) << c.channels;
        EXPECT_EQ(ch.LR, c.lr) << c.channels;
        EXPECT_EQ(ch.RL, c.rl) << c.channels;
        EXPECT_EQ(ch.RR, c.rr) << c.channels;
        EXPECT_EQ(ch.gain, 1.0);
        EXPECT_EQ(ch.pan, 0.0);
        EXPECT_EQ(ch.faderDb, 0.0f);
        EXPECT_EQ(ch.mute, 1.0f);
        EXPECT_EQ(ch.delayMs, 250.0);  // the delay belongs to the track, not the file
    }

    // Once the mixer recomputes a mono track at the centre, each side gets
    // g·cos(π/4); hard left puts it all on the left.
    tMixChParam mono;
    mono.channels = 1;
    mixState_newTrackSlot(&mono, 1);
    mixLaw_applyGain(&mono);
    EXPECT_NEAR(mono.LL, 0.70710678, 1e-8);
    EXPECT_NEAR(mono.LR, 0.70710678, 1e-8);
    EXPECT_EQ(mono.RL, 0.0);
    EXPECT_EQ(mono.RR, 0.0);
    mono.pan = -100.0;
    mixLaw_applyGain(&mono);
    EXPECT_DOUBLE_EQ(mono.LL, 1.0);
    EXPECT_NEAR(mono.LR, 0.0, 1e-15);
}

TEST(MixState, TrackEqualiserDefaults) {
    // A track: the defaults, 100, 1000, 2000 and 5000 Hz at Q 0.9.
    bool on = true;
    tPEQ track;
    track.allOn = &on;
    track.totalGainDb = 3.0;
    track.totalGainLin = 1.4;
    track.band[2].mBandOn = true;
    mixState_applyEqDefaults(&track, gEditorDefaults.eqBand, gEditorDefaults.eqAllOn, gEditorDefaults.eqTotalGainDb);
    const double trackFreq[kEqBands] = {5000, 2000, 1000, 100};
    for (int b = 0; b < kEqBands; ++b) {
        EXPECT_EQ(track.band[b].mFreq, trackFreq[b]) << b;
        EXPECT_EQ(track.band[b].mQ, 0.9) << b;
        EXPECT_EQ(track.band[b].mGain, 0.0) << b;
        EXPECT_EQ(track.band[b].mType, kEqPeak) << b;
        EXPECT_FALSE(track.band[b].mBandOn) << b;
    }
    EXPECT_FALSE(on);
    EXPECT_EQ(track.totalGainDb, 0.0);
    EXPECT_EQ(track.totalGainLin, 1.0);

    // EQ1 of a set of defaults lands in band 3, EQ4 in band 0, every field.
    tEditorEqBand bands[kEqBands];
    for (int i = 0; i < kEqBands; ++i)
        bands[i] = {i == 0, 100.0 * (i + 1), 1.0 + i, -2.0 * i, i == 3 ? int(kEqLowPass) : int(kEqPeak)};
    tPEQ unbound;  // no window bound: the on state has nowhere to go
    mixState_applyEqDefaults(&unbound, bands, true, -4.0);
    EXPECT_TRUE(unbound.band[3].mBandOn);
    EXPECT_EQ(unbound.band[3].mFreq, 100.0);
    EXPECT_EQ(unbound.band[0].mFreq, 400.0);
    EXPECT_EQ(unbound.band[0].mQ, 4.0);
    EXPECT_EQ(unbound.band[0].mGain, -6.0);
    EXPECT_EQ(unbound.band[0].mType, kEqLowPass);
    EXPECT_EQ(unbound.totalGainDb, -4.0);
    EXPECT_EQ(unbound.totalGainLin, 1.0);
}
