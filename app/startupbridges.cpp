#include "app/startupbridges.h"

#include <QMetaObject>

#include "mixer/chstrip.h"
#include "mixer/dialogtltest.h"
#include "mixer/mixer.h"

void tMainMixerAccess::setStripFFTPeakFreq(int strip, float hz) {
    // The strips stay put while the analysis runs: the main window turns the
    // analysis off while it adds or removes tracks.
    if (!mMixer || strip < 0 || strip >= mMixer->stripCount() || strip >= kMaxTracks) return;
    if (chstrip *s = mMixer->mChStrip[strip]) s->setFFTPeakFreq(hz);
}

void tMainMixerAccess::setStripInputCh(int channel) {
    mixer *window = mMixer;
    if (!window) return;
    QMetaObject::invokeMethod(window, [window, channel] { window->setInputChannels(channel); },
                              Qt::QueuedConnection);
}

int tMainTestSequence::getMaxSeq() const {
    return mDialog ? mDialog->getMaxSeq() : 0;
}
