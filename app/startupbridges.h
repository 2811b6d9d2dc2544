// What the mixer-analysis thread asks of the factory test window, as the
// main window hands it over: the number of steps of the loaded sequence.
#pragma once

#include "engine/mixerthread.h"

class DialogTlTest;

class tMainTestSequence : public tTestSequenceSource {
public:
    DialogTlTest *mDialog = nullptr;
    int getMaxSeq() const override;
};
