#include "app/tickpresenters.h"

#include <algorithm>
#include <cmath>

#include "app/mainstates.h"
#include "app/transportlogic.h"
#include "dsp/meterballistics.h"
#include "engine/engineparams.h"

namespace {

constexpr int kDsdMeterRate = 2822400;
constexpr double kPcmStripScale = 2147483648.0;               // the strips' PCM scale, 2^31
constexpr double kDsdStripScale = 1.0 / 36028797018963968.0;  // 2^-55: the modulator's full scale
constexpr int kArmBlinkTicks = 8;                             // 360 ms on, 360 ms off
constexpr int kBounceTraceTicks = 20;                         // about once a second

}  // namespace

tTickBranch tick_branch(int recState, bool enginePlays, bool oscillatorOn, bool inputMonitorOn) {
    if (recState_isActive(recState)) return tTickBranch::Recording;
    if (!enginePlays && !oscillatorOn && !inputMonitorOn) return tTickBranch::Stopped;
    return tTickBranch::Playing;
}

tTickCounterView tick_counter(const tTickCounterState &s) {
    tTickCounterView v;
    v.branch = tick_branch(s.recState, s.enginePlays, s.oscillatorOn, s.inputMonitorOn);
    v.recStartCount = s.recStartCount;
    switch (v.branch) {
    case tTickBranch::Recording:
        // Armed, the count keeps being re-based, so the counter reads zero
        // until the capture starts.
        if (s.recState == kRecArmed) v.recStartCount = s.outputCount;
        v.cursor = s.recState == kRecArmed ? 0 : s.outputCount - v.recStartCount;
        v.shown = v.cursor;
        break;
    case tTickBranch::Playing: {
        // Played device samples in first-track samples.
        const uint64_t position =
            s.playFs > 0 ? uint64_t(double(s.playedSamples) * double(s.firstRate) / double(s.playFs)) : 0;
        v.cursor = int64_t(position);
        v.shown = int64_t(position) + s.displayOffset;
        v.endPosition = position;
        break;
    }
    case tTickBranch::Stopped:
        break;
    }
    return v;
}

double tick_cursorFraction(tTickBranch branch, int64_t ringPosition, int recordingRate, uint64_t materialLength) {
    const double p = double(ringPosition);
    switch (branch) {
    case tTickBranch::Recording: {
        const double minute = double(recordingRate) * 60.0;
        return minute > 0 ? p / minute - std::floor(p / minute) : 0.0;
    }
    case tTickBranch::Playing:
        return materialLength ? p / double(materialLength) : 0.0;
    case tTickBranch::Stopped:
        break;
    }
    return 0.0;
}

tTickOutPointView tick_outPoint(const tTickOutPointState &s) {
    tTickOutPointView v;
    v.reached = s.enginePlays && s.haveRange && s.endPosition > uint64_t(std::max<int64_t>(0, s.outPoint));
    const int64_t atPlayRate =
        s.firstRate > 0 ? int64_t(uint64_t(double(s.outPoint) * s.playFs / s.firstRate)) : s.outPoint;
    v.shown = atPlayRate + s.displayOffset;
    return v;
}

tTickMeterMode tick_meterMode(bool recording, int recordingRate, int playFs) {
    tTickMeterMode m;
    m.rate = recording ? recordingRate : playFs;
    m.dsd = m.rate >= kDsdMeterRate;
    m.mode = m.dsd ? kMeterModeDsd : kMeterModePcm;
    m.stripScale = m.dsd ? kDsdStripScale : kPcmStripScale;
    return m;
}

int tick_growingOverview(const tTickOverviewJob *jobs, int tracks) {
    for (int t = 0; t < tracks; ++t)
        if (jobs[t].active == 1 && jobs[t].done == 0) return t;
    return -1;
}

tTickRedraw tick_autoRedraw(int countdown, int repeats, bool track0Growing) {
    tTickRedraw r{countdown, repeats, false};
    if (r.countdown > 0 && !track0Growing && --r.countdown == 0) {
        r.redraw = true;
        if (r.repeats > 0) {
            --r.repeats;
            r.countdown = kOpenRedrawRepeatTicks;
        }
    }
    return r;
}

tTickDeviceView tick_device(const tTickDeviceState &s) {
    tTickDeviceView v;
    if (s.driverType == kDriverAsio && s.selectedDevice > 0 && s.rateOffline) {
        // Counted up on every tick; the boot comes on the tick that finds
        // the count already at its limit.
        v.offlineRetryCount = s.offlineRetryCount + 1;
        if (s.offlineRetryCount >= kTickOfflineRetryTicks) {
            v.action = tTickDeviceAction::RebootOffline;
            v.offlineRetryCount = 0;
        }
    } else if (s.reconnectPending) {
        v.action = tTickDeviceAction::Reconnect;
    }
    return v;
}

tTickBufferChange tick_bufferChange(bool flagSet, bool reconnectPending, bool changeExpected, int driverType) {
    if (!flagSet || reconnectPending) return tTickBufferChange::None;
    return !changeExpected && driverType == kDriverAsio ? tTickBufferChange::Reconnect : tTickBufferChange::Acknowledge;
}

tTickBlink tick_armBlink(int recState, int count) {
    if (recState != kRecArmed) return {count, false};
    ++count;
    return {count, count % kArmBlinkTicks == 0};
}

tTickBounceTrace tick_bounceTrace(bool bouncing, int countdown) {
    if (!bouncing) return {countdown, false};
    if (countdown <= 1) return {kBounceTraceTicks, true};
    return {countdown - 1, false};
}

tTickLissajous tick_lissajous(int meterRate, bool dsd, int firInterval, int writeCount, int ringFrames) {
    tTickLissajous l;
    l.frames = meterRate * kTransportTickMs / 1000;
    if (dsd) l.frames /= std::max(1, firInterval);
    l.start = writeCount - l.frames;
    if (l.start < 0) l.start += ringFrames;
    return l;
}
