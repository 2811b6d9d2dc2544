// The main window's monitor volume, the DSD purity decision it drives, and
// the input and output monitor channels.
//
// The engine's monitor-channel setters and the recording set-up window are
// not part of the program yet: their side of the channel slots is left out.
#include "app/mainwindow.h"

#include "app/monitorvolume.h"
#include "editing/dialogedit.h"
#include "engine/engineparams.h"
#include "mixer/mixer.h"
#include "ui_mainwindow.h"
#include "widgets/faders.h"

void MainWindow::changeMonitorVolume(int dB) {
    const tMonitorVolume v = monitorVolume_fromLevel(dB);
    mMonitorVolumeDb = v.db;
    ui->label_VolumeDB->setText(v.label);
    setDsdPureOrNot(checkDsdPurity());
    // The engine takes the level as given; -100 dB and below are silence.
    setMasterVolDsp(dB);
    if (mDialogEdit) mDialogEdit->sendParameters(mPeq[kMainMasterSlot], mMonitorVolumeDb, mPlayFs);
}

bool MainWindow::checkDsdPurity() {
    return monitorVolume_dsdPure(mPeq[kMainMasterSlot], mMonitorVolumeDb, mPlayFs, int(mFileInfo[0].sampleRate),
                                 mMixParam.trackCount);
}

void MainWindow::monitorVolumeMoved(int position) {
    changeMonitorVolume(faderLevelAtPosition(ui->widgetFadeBase->mVolTable, position));
}

void MainWindow::changeInputMonitorCh(int pair) {
    if (pair < 0) return;
    // The engine's input-monitor channel (2 × pair) and the set-up window's
    // choice follow here with the buffer switch and that window.
    if (mMixer) mMixer->setInputChannels(mInputChannels);
}

void MainWindow::changeOutputMonitorCh(int) {
    // Only the engine's output-monitor channel changes here; its setter
    // comes with the buffer switch.
}

void MainWindow::setupInOutChMenu() {
    mDialogOscillator.setAsioInputCh(unsigned(mInputChannels));
    if (mMixer) {
        mMixer->setInputChannels(mInputChannels);
        mMixer->setOutputChannels(mOutputChannels);
    }
}

int MainWindow::getRecordableChannels() {
    switch (mDriverType) {
    case kDriverWasapi: return ui->comboBox_recDev->currentIndex() > 0 ? 2 : 0;
    case kDriverAsio: return mInputChannels;
    default: return 2;
    }
}
