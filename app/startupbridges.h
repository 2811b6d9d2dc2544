// What the mixer-analysis thread asks of the mixer and factory test
// windows, as the main window hands it over. The thread calls these on its
// own thread: the peak frequency goes straight to the strip (which defers
// its label to the GUI thread itself), the input channel is queued to the
// GUI thread.
#pragma once

#include "engine/mixerthread.h"

class mixer;
class DialogTlTest;

class tMainMixerAccess : public tMixerStripAccess {
public:
    mixer *mMixer = nullptr;
    void setStripFFTPeakFreq(int strip, float hz) override;
    void setStripInputCh(int channel) override;
};

class tMainTestSequence : public tTestSequenceSource {
public:
    DialogTlTest *mDialog = nullptr;
    int getMaxSeq() const override;
};
