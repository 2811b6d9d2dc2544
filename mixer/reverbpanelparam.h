// The reverb panel's parameter record, filled by reverbPanel::getPanelParam
// and passed by pointer through the effect-return strip to the mixer, which
// repacks it for the reverb.
#pragma once

#include <cstdint>

#include "dsp/reverb.h"

struct tReverbPanelParam {
    double preDelay;        // pre-delay field, decimal
    double erTime;          // early-reflection time field, integer
    double density;         // density field, integer
    double highDamp;        // high-damping field, integer
    double reverbTime;      // reverb-time field, integer
    double roomLong;        // room length in metres
    double roomWide;        // room width in metres
    double fixedValue;      // always 20
    double sourceDepth;     // source below the far wall, metres
    double listenerBehind;  // listening point above the near wall, metres
    float erLevel;          // stage levels, 0 .. 1
    float combLevel;
    float apfLevel;
    int32_t highDampInt;  // the high-damping field again
    int32_t apfHighDamp;  // the all-pass high-damping field
    int32_t combDelay[kReverbCombFilters];
    int32_t combPickup[kReverbCombFilters];
    int32_t apfDelay[kReverbAllPassFilters];
    // Only level, cut-off and order are filled (see erRow_cutOff); the other
    // fields of a row are left as they were.
    tEarlyReflectionRow erRows[kReverbEarlyReflections];
    double *irBuffer;  // the loaded impulse response (stereo double frames); null until one is chosen
    bool useIr;
};

// dsp/reverb.h names the second field of an early-reflection row `order` and
// the third `cutOff`, while its default tables keep the cut-off frequency in
// the second field and the filter order in the third (10500 Hz and 91 in row
// 1). The panel and every record it fills go by position, so the cut-off is
// always the second field and the order the third.
inline float &erRow_cutOff(tEarlyReflectionRow &row) { return row.order; }
inline float erRow_cutOff(const tEarlyReflectionRow &row) { return row.order; }
inline float &erRow_order(tEarlyReflectionRow &row) { return row.cutOff; }
inline float erRow_order(const tEarlyReflectionRow &row) { return row.cutOff; }
