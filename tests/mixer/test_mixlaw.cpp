// The mixer's arithmetic without a window: the pan laws, the mute factor,
// the single-precision master gain, the window layout and the reverb
// record built from the panel's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "mixer/mixer.h"
#include "mixer/mixlaw.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

TEST(MixLaw, PanLaws) {
    const double g = 0.5;
    const double c45 = g * std::cos(kPi / 4);
    struct Case {
        double pan;
        int channels;
        tMixMatrix want;
    };
    const Case cases[] = {
        // Mono: the left input, panned by sine and cosine.
        {0, 1, {c45, c45, 0, 0}},
        {-100, 1, {g, 0, 0, 0}},
        {100, 1, {g * std::cos(kPi / 2), g, 0, 0}},
        {-50, 1, {g * std::cos(kPi / 8), g * std::sin(kPi / 8), 0, 0}},
        // Any count but 2 takes the mono law.
        {0, 6, {c45, c45, 0, 0}},
        {0, 0, {c45, c45, 0, 0}},
        // Stereo balance: the far side falls, the near side stays at g.
        {0, 2, {g, 0, 0, g}},
        {-100, 2, {g, 0, 0, g * std::cos(-kPi / 2)}},
        {50, 2, {g * std::cos(kPi / 4), 0, 0, g}},
        {-0.0, 2, {g, 0, 0, g}},
    };
    for (const Case &c : cases) {
        const tMixMatrix m = mixLaw_matrix(g, c.pan, c.channels);
        EXPECT_DOUBLE_EQ(m.ll, c.want.ll) << c.pan << " " << c.channels;
        EXPECT_DOUBLE_EQ(m.lr, c.want.lr) << c.pan << " " << c.channels;
        EXPECT_DOUBLE_EQ(m.rl, c.want.rl) << c.pan << " " << c.channels;
        EXPECT_DOUBLE_EQ(m.rr, c.want.rr) << c.pan << " " << c.channels;
    }
    // Hard left on a stereo track leaves the right side at g·cos(−π/2): a
    // few 1e-17, not zero.
    const tMixMatrix left = mixLaw_matrix(1.0, -100, 2);
    EXPECT_NE(left.rr, 0.0);
    EXPECT_LT(std::fabs(left.rr), 1e-16);
    EXPECT_NEAR(mixLaw_matrix(1.0, 0, 1).ll, 0.7071, 1e-4);
}

TEST(MixLaw, TrackRecordGainAndSend) {
    tMixChParam ch{};
    ch.gain = mixLaw_dbToGain(-6.0);
    ch.mute = 1.0f;
    ch.pan = 0;
    ch.channels = 1;
    mixLaw_applyGain(&ch);
    EXPECT_DOUBLE_EQ(ch.LL, std::pow(10.0, -6.0 / 20) * std::cos(kPi / 4));
    EXPECT_DOUBLE_EQ(ch.LR, ch.LL);

    ch.mute = 0.0f;
    mixLaw_applyGain(&ch);
    EXPECT_EQ(ch.LL, 0.0);
    EXPECT_EQ(ch.LR, 0.0);

    // The send takes the pan and channels but neither the fader nor the mute.
    ch.channels = 2;
    mixLaw_applySend(&ch, 0);
    EXPECT_EQ(ch.fxLL, 1.0);
    EXPECT_EQ(ch.fxRR, 1.0);
    EXPECT_EQ(ch.fxLR, 0.0);
    EXPECT_EQ(ch.fxRL, 0.0);
    mixLaw_applySend(&ch, -20);
    EXPECT_DOUBLE_EQ(ch.fxLL, 0.1);
}

TEST(MixLaw, MuteFactorSoloWinsOverMute) {
    struct Case {
        bool soloed, muted, soloMuted;
        float want;
    };
    const Case cases[] = {
        {false, false, false, 1.0f}, {false, true, false, 0.0f}, {false, false, true, 0.0f},
        {true, true, false, 1.0f},   {true, false, false, 1.0f}, {false, true, true, 0.0f},
    };
    for (const Case &c : cases)
        EXPECT_EQ(mixLaw_muteFactor(c.soloed, c.muted, c.soloMuted), c.want) << c.soloed << c.muted << c.soloMuted;
}

TEST(MixLaw, MasterGainInSinglePrecision) {
    const float fader = mixLaw_masterFader(3.0f);
    EXPECT_EQ(fader, static_cast<float>(std::pow(10.0, 3.0 / 20)));
    EXPECT_NE(static_cast<double>(fader), std::pow(10.0, 3.0 / 20));
    EXPECT_EQ(mixLaw_masterGain(fader, 1.0f), fader);
    EXPECT_EQ(mixLaw_masterGain(fader, 0.0f), 0.0f);
    EXPECT_EQ(mixLaw_masterFader(-120.0f), static_cast<float>(1e-6));
}

TEST(MixerLayout, StripsScrollAndHideBehindTheBars) {
    const int W = 90, H = 600;
    // One strip in the default window: side by side from the left.
    tMixerLayout l = mixer_layout(1, 640, 640, W, H, 0, 0);
    EXPECT_EQ(l.strip[0], QPoint(0, 0));
    EXPECT_EQ(l.fx, QPoint(90, 16));
    EXPECT_EQ(l.master, QPoint(180, 16));

    // The horizontal offset is not limited: with everything in view the bar
    // at 99 shifts the strips right by 640 − 16 − 3·W.
    l = mixer_layout(1, 640, 640, W, H, 99, 0);
    EXPECT_EQ(l.strip[0], QPoint(354, 0));
    EXPECT_EQ(l.fx, QPoint(444, 16));
    EXPECT_EQ(l.master, QPoint(534, 16));

    // The seventh strip would cross the vertical bar: it and what follows
    // move out to the right.
    l = mixer_layout(7, 640, 640, W, H, 0, 0);
    EXPECT_EQ(l.strip[5], QPoint(450, 0));
    EXPECT_EQ(l.strip[6], QPoint(640, 0));
    EXPECT_EQ(l.fx, QPoint(730, 16));
    EXPECT_EQ(l.master, QPoint(820, 16));

    // Scrolled right by 50 with seven strips: x0 = −((9·90 − 624)·50)/99.
    l = mixer_layout(7, 640, 640, W, H, 50, 0);
    EXPECT_EQ(l.strip[0].x(), -93);
    EXPECT_EQ(l.strip[6].x(), 447);

    // A window too low for a strip: nothing shows until the vertical bar
    // lifts the strips clear of the horizontal bar.
    struct Case {
        int v;
        int y;
    };
    for (const Case &c : {Case{0, 400}, Case{35, 400}, Case{36, -218}, Case{99, -600}}) {
        l = mixer_layout(3, 640, 400, W, H, 0, c.v);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(l.strip[i].y(), c.y) << c.v;
        EXPECT_EQ(l.fx.y(), 16);
    }
    // Seventeen strips scroll twice as far.
    l = mixer_layout(17, 640, 2000, W, H, 0, 99);
    EXPECT_EQ(l.strip[0].y(), -1200);

    // More strips than the table holds are not laid out.
    l = mixer_layout(40, 640, 640, W, H, 0, 0);
    EXPECT_EQ(l.fx.x(), 640 + (32 - 6) * W);
}

TEST(MixerReverb, PanelRecordRepackedForTheReverb) {
    tReverbPanelParam p;
    std::memset(&p, 0, sizeof p);
    p.preDelay = 12.25;
    p.erTime = 30;
    p.density = 70;
    p.highDamp = 5;
    p.reverbTime = 2000;
    p.roomLong = 60;
    p.roomWide = 0.1;  // not exact in single precision
    p.fixedValue = 20;
    p.sourceDepth = 44.4;
    p.listenerBehind = 3.5;
    p.erLevel = 0.8f;
    p.combLevel = 0.5f;
    p.apfLevel = 0.25f;
    p.apfHighDamp = 7;
    for (int i = 0; i < kReverbCombFilters; ++i) {
        p.combDelay[i] = 1000 + i;
        p.combPickup[i] = 2000 + i;
    }
    p.apfDelay[0] = 857;
    p.apfDelay[1] = 1044;
    p.erRows[3].level = 0.2f;
    p.erRows[3].factor[1] = 9.0f;
    double ir[4] = {};
    p.irBuffer = ir;
    p.useIr = true;

    tReverbParam r;
    std::memset(&r, 0xff, sizeof r);
    mixer_reverbParam(p, &r);
    EXPECT_EQ(r.preDelay, 12.25f);
    EXPECT_EQ(r.erTime, 30.0f);
    EXPECT_EQ(r.density, 70.0f);
    EXPECT_EQ(r.highDamp, 5.0f);
    EXPECT_EQ(r.reverbTime, 2000.0f);
    EXPECT_EQ(r.roomLong, 60.0f);
    EXPECT_EQ(r.roomWide, 0.1f);
    EXPECT_EQ(r.fixedValue, 20.0f);
    EXPECT_EQ(r.sourceDepth, 44.4f);
    EXPECT_EQ(r.listenerBehind, 3.5f);
    EXPECT_EQ(r.erLevel, 0.8f);
    EXPECT_EQ(r.combLevel, 0.5f);
    EXPECT_EQ(r.apfLevel, 0.25f);
    EXPECT_EQ(r.apfHighDamp, 7.0f);
    EXPECT_EQ(std::memcmp(r.erRows, p.erRows, sizeof r.erRows), 0);
    for (int i = 0; i < kReverbCombFilters; ++i) {
        EXPECT_EQ(r.comb[i].delay, 1000 + i);
        EXPECT_EQ(r.comb[i].pickUp, 2000 + i);
    }
    // The partners as the reverb's own table pairs them.
    EXPECT_EQ(r.allPass[0].delay, gDefaultAllPassFilters[0].delay);
    EXPECT_EQ(r.allPass[0].partner, gDefaultAllPassFilters[0].delayR);
    EXPECT_EQ(r.allPass[1].delay, gDefaultAllPassFilters[1].delay);
    EXPECT_EQ(r.allPass[1].partner, gDefaultAllPassFilters[1].delayR);
    EXPECT_EQ(r.irBuffer, ir);
    EXPECT_TRUE(r.useIr);
}
