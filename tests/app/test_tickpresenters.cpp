// The 45 ms tick's presenters, called with a state and checked without a
// window or an engine: which way the position goes, what the counter and
// cursor show, the end of the in-out range, the meters' mode, and the
// counts behind the blink, the redraws, the device recovery and the trace.
#include <gtest/gtest.h>

#include <vector>

#include "app/mainstates.h"
#include "app/tickpresenters.h"
#include "app/transportlogic.h"
#include "dsp/meterballistics.h"

namespace {

tTickCounterState playing(uint64_t played, int firstRate, int playFs, int64_t offset = 0) {
    tTickCounterState s;
    s.enginePlays = true;
    s.playedSamples = played;
    s.firstRate = firstRate;
    s.playFs = playFs;
    s.displayOffset = offset;
    return s;
}

tTickCounterState recording(int state, int64_t outputCount, int64_t start) {
    tTickCounterState s;
    s.recState = state;
    s.enginePlays = true;  // the recorder's state wins over the engine's
    s.outputCount = outputCount;
    s.recStartCount = start;
    s.playedSamples = 12345;
    s.firstRate = 44100;
    s.playFs = 44100;
    s.displayOffset = 999;  // never added while recording
    return s;
}

}  // namespace

TEST(TickPresenters, TheCounterTakesOneOfThreeWaysAndShowsWhatThatWayCounts) {
    struct Case {
        const char *name;
        tTickCounterState state;
        tTickBranch branch;
        int64_t cursor, shown, recStart;
        uint64_t end;
    };
    tTickCounterState oscillator;
    oscillator.oscillatorOn = true;
    oscillator.playedSamples = 4410;
    oscillator.firstRate = oscillator.playFs = 44100;
    tTickCounterState monitor = oscillator;
    monitor.oscillatorOn = false;
    monitor.inputMonitorOn = true;
    tTickCounterState idle;
    idle.recStartCount = 77;
    idle.playedSamples = 5000;
    const Case cases[] = {
        // Armed: the start keeps moving with the device, the counter reads 0.
        {"armed", recording(kRecArmed, 5000, 0), tTickBranch::Recording, 0, 0, 5000, 0},
        {"running", recording(kRecRunning, 96000 * 3 + 1000, 1000), tTickBranch::Recording, 288000, 288000, 1000, 0},
        {"stopped", idle, tTickBranch::Stopped, 0, 0, 77, 0},
        // Device samples in first-track samples: a play rate twice the file's.
        {"playing", playing(20000, 44100, 88200, 10), tTickBranch::Playing, 10000, 10010, 0, 10000},
        {"DSD play rate", playing(2822400, 2822400, 2822400), tTickBranch::Playing, 2822400, 2822400, 0, 2822400},
        {"no play rate", playing(20000, 44100, 0), tTickBranch::Playing, 0, 0, 0, 0},
        {"test signal", oscillator, tTickBranch::Playing, 4410, 4410, 0, 4410},
        {"input monitor", monitor, tTickBranch::Playing, 4410, 4410, 0, 4410},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const tTickCounterView v = tick_counter(c.state);
        EXPECT_EQ(v.branch, c.branch);
        if (c.branch != tTickBranch::Stopped) {
            EXPECT_EQ(v.cursor, c.cursor);
            EXPECT_EQ(v.shown, c.shown);
        }
        EXPECT_EQ(v.recStartCount, c.recStart);
        EXPECT_EQ(v.endPosition, c.end);
    }
}

TEST(TickPresenters, TheCursorFractionIsThePlaceInTheMinuteOrInTheMaterial) {
    struct Case {
        tTickBranch branch;
        int64_t position;
        int rate;
        uint64_t length;
        double fraction;
    };
    const Case cases[] = {
        {tTickBranch::Recording, 96000 * 3, 96000, 0, 3.0 / 60.0},
        {tTickBranch::Recording, 96000 * 61, 96000, 0, 1.0 / 60.0},  // the second minute starts over
        {tTickBranch::Recording, 1000, 0, 0, 0.0},
        {tTickBranch::Playing, 44100, 96000, 441000, 0.1},
        {tTickBranch::Playing, 441000, 0, 441000, 1.0},
        {tTickBranch::Playing, 44100, 44100, 0, 0.0},  // no material
        {tTickBranch::Stopped, 44100, 44100, 441000, 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        EXPECT_NEAR(tick_cursorFraction(c.branch, c.position, c.rate, c.length), c.fraction, 1e-12);
    }
}

TEST(TickPresenters, TheDelayRingsWrapAtTheirLength) {
    EXPECT_EQ(tick_nextRingIndex(0, 3), 1);
    EXPECT_EQ(tick_nextRingIndex(2, 3), 0);
    EXPECT_EQ(tick_nextRingIndex(0, 1), 0);
    EXPECT_EQ(tick_nextRingIndex(65, 66), 0);  // the longest ring
}

TEST(TickPresenters, PlaybackPastTheOutPointStopsAndTheCounterShowsTheOutPoint) {
    struct Case {
        const char *name;
        bool plays, range;
        uint64_t position;
        int64_t out;
        int firstRate, playFs;
        int64_t offset;
        bool reached;
        int64_t shown;
    };
    const Case cases[] = {
        {"past", true, true, 44101, 44100, 44100, 44100, 0, true, 44100},
        {"at", true, true, 44100, 44100, 44100, 44100, 0, false, 44100},
        {"engine stopped", false, true, 50000, 44100, 44100, 44100, 0, false, 44100},
        {"no range", true, false, 50000, 44100, 44100, 44100, 0, false, 44100},
        // A negative out point counts as 0.
        {"negative out point", true, true, 1, -5, 0, 44100, 0, true, -5},
        // Shown at the play rate, with the file's start time added.
        {"play rate twice", true, true, 50000, 44100, 44100, 88200, 10, true, 88210},
        {"no file rate", true, true, 50000, 44100, 0, 88200, 10, true, 44110},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tTickOutPointState s;
        s.enginePlays = c.plays;
        s.haveRange = c.range;
        s.endPosition = c.position;
        s.outPoint = c.out;
        s.firstRate = c.firstRate;
        s.playFs = c.playFs;
        s.displayOffset = c.offset;
        const tTickOutPointView v = tick_outPoint(s);
        EXPECT_EQ(v.reached, c.reached);
        EXPECT_EQ(v.shown, c.shown);
    }
}

TEST(TickPresenters, MetersMeasureAtTheRecordingOrPlayRateInTheirMode) {
    struct Case {
        bool recording;
        int recRate, playFs;
        int rate;
        bool dsd;
    };
    const Case cases[] = {
        {false, 96000, 44100, 44100, false},
        {true, 96000, 44100, 96000, false},
        {true, 2822400, 44100, 2822400, true},
        {false, 44100, 2822400, 2822400, true},
        {false, 44100, 2822399, 2822399, false},
        {false, 44100, 11289600, 11289600, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        const tTickMeterMode m = tick_meterMode(c.recording, c.recRate, c.playFs);
        EXPECT_EQ(m.rate, c.rate);
        EXPECT_EQ(m.dsd, c.dsd);
        EXPECT_EQ(m.mode, c.dsd ? int(kMeterModeDsd) : int(kMeterModePcm));
        // A full-scale track pair meets each strip's own full scale.
        EXPECT_DOUBLE_EQ(m.stripScale, c.dsd ? 1.0 / 36028797018963968.0 : 2147483648.0);
    }
}

TEST(TickPresenters, OnlyTheFirstGrowingOverviewIsDrawnATick) {
    // Not started; finished; growing; growing.
    const tTickOverviewJob jobs[4] = {{0, 0}, {1, 1}, {1, 0}, {1, 0}};
    EXPECT_EQ(tick_growingOverview(jobs, 4), 2);
    EXPECT_EQ(tick_growingOverview(jobs, 2), -1);  // beyond the track count
    EXPECT_EQ(tick_growingOverview(jobs, 0), -1);
}

// After an open: a redraw 66 ticks later and three more 333 ticks apart;
// while track 0's overview grows the count waits.
TEST(TickPresenters, TheRedrawsAfterAnOpenComeAt66TicksAndThenThreeTimesEvery333) {
    int countdown = kOpenRedrawFirstTicks, repeats = kOpenRedrawRepeats;
    std::vector<int> redrawn;
    for (int tick = 1; tick <= 2000; ++tick) {
        const bool growing = tick <= 10;  // the first ten ticks the overview grows
        const tTickRedraw r = tick_autoRedraw(countdown, repeats, growing);
        countdown = r.countdown;
        repeats = r.repeats;
        if (r.redraw) redrawn.push_back(tick);
    }
    EXPECT_EQ(redrawn, (std::vector<int>{76, 409, 742, 1075}));
    EXPECT_EQ(countdown, 0);
    EXPECT_EQ(repeats, 0);
}

TEST(TickPresenters, AnOfflineEntryIsBootedEvery67TicksAndAPendingReconnectRuns) {
    struct Case {
        const char *name;
        tTickDeviceState state;
        tTickDeviceAction action;
        int count;
    };
    const auto state = [](int driver, int selected, bool offline, int count, bool pending) {
        tTickDeviceState s;
        s.driverType = driver;
        s.selectedDevice = selected;
        s.rateOffline = offline;
        s.offlineRetryCount = count;
        s.reconnectPending = pending;
        return s;
    };
    const Case cases[] = {
        {"offline, counting", state(0, 1, true, 0, false), tTickDeviceAction::None, 1},
        {"offline, 65", state(0, 1, true, 65, false), tTickDeviceAction::None, 66},
        {"offline, 66", state(0, 1, true, 66, false), tTickDeviceAction::RebootOffline, 0},
        // The offline entry comes first; the reconnect waits.
        {"offline and pending", state(0, 1, true, 3, true), tTickDeviceAction::None, 4},
        {"no device selected", state(0, 0, true, 3, true), tTickDeviceAction::Reconnect, 0},
        {"other driver", state(2, 1, true, 3, false), tTickDeviceAction::None, 0},
        {"online", state(0, 1, false, 3, false), tTickDeviceAction::None, 0},
        {"pending", state(0, 1, false, 3, true), tTickDeviceAction::Reconnect, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const tTickDeviceView v = tick_device(c.state);
        EXPECT_EQ(v.action, c.action);
        EXPECT_EQ(v.offlineRetryCount, c.count);
    }
    // From a fresh count, the first boot comes on the 67th tick.
    tTickDeviceState s = state(0, 1, true, 0, false);
    int first = 0;
    for (int tick = 1; tick <= 200 && !first; ++tick) {
        const tTickDeviceView v = tick_device(s);
        s.offlineRetryCount = v.offlineRetryCount;
        if (v.action == tTickDeviceAction::RebootOffline) first = tick;
    }
    EXPECT_EQ(first, 67);
}

TEST(TickPresenters, ABufferSizeChangeIsReconnectedOnlyWhenUnexpectedOnDriverType0) {
    struct Case {
        bool flag, pending, expected;
        int driver;
        tTickBufferChange change;
    };
    const Case cases[] = {
        {false, false, false, 0, tTickBufferChange::None},
        {true, true, false, 0, tTickBufferChange::None},
        {true, false, false, 0, tTickBufferChange::Reconnect},
        {true, false, true, 0, tTickBufferChange::Acknowledge},
        {true, false, false, 2, tTickBufferChange::Acknowledge},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.flag << c.pending << c.expected << c.driver);
        EXPECT_EQ(tick_bufferChange(c.flag, c.pending, c.expected, c.driver), c.change);
    }
}

TEST(TickPresenters, ArmedButtonsBlinkWithAPeriodOf16Ticks) {
    for (int state : {int(kRecIdle), int(kRecArmed), int(kRecRunning)}) {
        SCOPED_TRACE(state);
        int count = 0;
        std::vector<int> toggles;
        for (int tick = 1; tick <= 32; ++tick) {
            const tTickBlink b = tick_armBlink(state, count);
            count = b.count;
            if (b.toggle) toggles.push_back(tick);
        }
        if (state == kRecArmed) {
            EXPECT_EQ(toggles, (std::vector<int>{8, 16, 24, 32}));
        } else {
            EXPECT_TRUE(toggles.empty());
            EXPECT_EQ(count, 0);
        }
    }
}

TEST(TickPresenters, AMixDownIsTracedOnItsFirstTickAndThenEvery20) {
    int countdown = 0;
    std::vector<int> traced;
    for (int tick = 1; tick <= 61; ++tick) {
        const tTickBounceTrace t = tick_bounceTrace(true, countdown);
        countdown = t.countdown;
        if (t.trace) traced.push_back(tick);
    }
    EXPECT_EQ(traced, (std::vector<int>{1, 21, 41, 61}));
    const tTickBounceTrace idle = tick_bounceTrace(false, 7);
    EXPECT_FALSE(idle.trace);
    EXPECT_EQ(idle.countdown, 7);
}

TEST(TickPresenters, TheLissajousFeedIsTheLastTicksFramesOfTheRing) {
    constexpr int kRing = 276480;
    struct Case {
        int rate;
        bool dsd;
        int interval, written;
        int frames, start;
    };
    const Case cases[] = {
        {44100, false, 16, 5000, 1984, 3016},
        {44100, false, 16, 100, 1984, 100 - 1984 + kRing},  // wraps
        {2822400, true, 16, 10000, 7938, 2062},
        {2822400, true, 0, 200000, 127008, 72992},  // no interval yet: every frame
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        const tTickLissajous l = tick_lissajous(c.rate, c.dsd, c.interval, c.written, kRing);
        EXPECT_EQ(l.frames, c.frames);
        EXPECT_EQ(l.start, c.start);
    }
}
