#include "app/startupbridges.h"

#include "mixer/dialogtltest.h"

int tMainTestSequence::getMaxSeq() const { return mDialog ? mDialog->getMaxSeq() : 0; }
