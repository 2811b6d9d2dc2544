// The mixer state the engine plays by. The mixer window and the main window
// write it; the engine reads it.
//
// Threads: the GUI thread writes tMixParam and gOutputPatch; the engine reads
// copies of them, handed over whole (engine/engineparams.h).
#pragma once

#include <cstdint>

enum : int {
    kMaxTracks = 32,  // track slots 0..31
    kOutputPatchSize = 128,
    kOutputPatchMaster = 256,  // gOutputPatch: the column carries the master mix
};

// One track slot of the mixer. The mixer window keeps the matrices
// consistent with gain * mute, pan and channels; the engine only reads them.
struct tMixChParam {
    double LL = 0.0, LR = 0.0, RL = 0.0, RR = 0.0;          // left out = LL*L + RL*R, right out = LR*L + RR*R
    double gain = 0.0;                                      // fader gain, linear: 10^(faderDb/20)
    double pan = 0.0;                                       // -100 (left) .. +100 (right)
    float mute = 0.0f;                                      // 1.0 sounding, 0.0 silent
    double fxLL = 0.0, fxLR = 0.0, fxRL = 0.0, fxRR = 0.0;  // send matrix, same orientation
    bool fxSendOn = false;
    int32_t channels = 0;  // the track file's channels; 2 selects the stereo law
    float faderDb = 0.0f;
    double delayMs = 0.0;  // start delay; the track starts delayMs * rate / 1000 samples late
};

// The mixer state of every track, the effect return and the master. Owned by
// the main window, which sets the start values.
struct tMixParam {
    int32_t trackCount = 0;  // tracks in use, 1..32
    tMixChParam ch[kMaxTracks];
    double fxReturnGain = 0.0;  // linear
    bool fxOn = false;
    double masterGain = 0.0;   // masterFader * masterMute, applied after the master equaliser
    float masterMute = 0.0f;   // 1.0, or 0.0 while muted
    float masterFader = 0.0f;  // linear
};

// Output routing, one entry per device output column counted from the first
// output channel: kOutputPatchMaster = the master mix, 0..31 = that track's
// block straight to the column, negative = nothing written. Starts as the
// mixer window sets it: column 0 the master, the rest silent.
extern int32_t gOutputPatch[kOutputPatchSize];
