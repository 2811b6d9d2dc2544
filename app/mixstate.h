// Start values of the mixer and equaliser records that the main window owns
// (tMixParam, tPEQ), as pure functions a test can call without a window.
// The mixer window keeps the gain matrices consistent afterwards
// (mixer/mixlaw.h); these only give the records their first values.
#pragma once

#include <cstdint>

#include "app/settingsfile.h"  // tEditorEqBand
#include "dsp/peqrecord.h"
#include "engine/mixrecords.h"

// A track slot as it is when its file has just been added, before the mixer
// window recomputes it: unity gain, centre, fader 0 dB, sounding; a stereo
// file straight through (LL = RR = 1), any other channel count its left
// input on both outputs (LL = LR = 1). Delay, sends and channels are kept.
void mixState_newTrackSlot(tMixChParam *ch, int32_t channels);

// Gives a record an equaliser's default settings: bands[0..3] are EQ1 to
// EQ4 and go into bands 3 to 0; the on state goes where allOn points (when
// it points anywhere), the total gain into totalGainDb with totalGainLin
// 1.0. Coefficients are not recomputed: the next re-rating does that.
void mixState_applyEqDefaults(tPEQ *peq, const tEditorEqBand bands[kEqBands], bool allOn, double totalGainDb);
