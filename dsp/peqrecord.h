// The record of one four-band equaliser, as the equaliser window sets it,
// the engine runs it on a track or the master, and a conversion job runs it
// inside the library.
//
// Threads: the GUI thread writes the bands; the engine reads a copy of them,
// handed over whole (engine/engineparams.h).
#pragma once

#include "dsp/peakeq.h"

enum : int {
    kEqBands = 4,
};

// One four-band equaliser (a track's or the master's). The engine runs the
// bands whose mBandOn is set from index 3 down to 0, then totalGainLin, while
// *allOn is true; with allOn null the record is bypassed. The window's EQ1..EQ4
// are bands 3..0.
struct tPEQ {
    peakEq band[kEqBands];
    double totalGainDb = 0.0;
    double totalGainLin = 1.0;  // 10^(totalGainDb/20)
    bool *allOn = nullptr;      // the bound equaliser window's on switch
};
