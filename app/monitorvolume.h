// The monitor volume's own logic, without a window: the value kept and the
// label shown for a fader level, and whether a DSD stream may reach the
// device untouched (DSD purity).
#pragma once

#include <QString>

#include "dsp/peqrecord.h"

// Kept for the fader's "-inf" position (any level below -99 dB).
constexpr double kMonitorVolumeSilent = -300.0;

struct tMonitorVolume {
    double db = 0.0;  // the value kept: the level, or kMonitorVolumeSilent
    QString label;    // the dB label's text: the level or "-inf", then " dB"
};

tMonitorVolume monitorVolume_fromLevel(int dB);

// Nothing in the signal path changes a bit: the master equaliser is off
// (its on state is off, or none of its bands is on), the volume is exactly
// 0 dB, the device runs at the first track's file rate and one track plays.
// A missing master record or on state counts as off.
bool monitorVolume_dsdPure(const tPEQ *master, double volumeDb, int playFs, int fileRate, int trackCount);
