#include "app/mixstate.h"

void mixState_newTrackSlot(tMixChParam *ch, int32_t channels) {
    const bool stereo = channels == 2;
    ch->LL = 1.0;
    ch->LR = stereo ? 0.0 : 1.0;
    ch->RL = 0.0;
    ch->RR = stereo ? 1.0 : 0.0;
    ch->gain = 1.0;
    ch->pan = 0.0;
    ch->faderDb = 0.0f;
    ch->mute = 1.0f;
}

void mixState_applyEqDefaults(tPEQ *peq, const tEditorEqBand bands[kEqBands], bool allOn, double totalGainDb) {
    for (int i = 0; i < kEqBands; ++i) {
        peakEq &band = peq->band[kEqBands - 1 - i];
        band.mBandOn = bands[i].on;
        band.mFreq = bands[i].frequency;
        band.mQ = bands[i].q;
        band.mGain = bands[i].gainDb;
        band.mType = tEqType(bands[i].type);
    }
    if (peq->allOn) *peq->allOn = allOn;
    peq->totalGainDb = totalGainDb;
    peq->totalGainLin = 1.0;
}
