// The main window's glue to the test-signal, variable-speed, compressor,
// Lissajous and factory test windows: their signals become calls on the
// engine's test-signal generator, output polarity, compressor and analysis
// thread. Also the region gain entry of the main form. None of these
// windows has a visible trigger in this build.
//
// GUI thread only. The generator, the polarity word and the compressor are
// shared with the device thread without a lock: the generator is switched
// off around frequency and wave changes while it runs, and the compressor's
// parameters are rewritten in place.
#include <QThread>

#include <algorithm>
#include <cmath>

#include "app/mainwindow.h"
#include "audiofile/timecode.h"
#include "dsp/dynamics.h"
#include "dsp/oscillator.h"
#include "engine/engineparams.h"
#include "ui_mainwindow.h"

namespace {

// The generator reads its coefficients on the device thread: a change lands
// while it is silent.
constexpr int kOscSettleMs = 10;

int qmfBand(int n) { return n >= 0 && n < 8 ? n : -1; }

}  // namespace

// ---- Test signal ----

void MainWindow::oscIndicatorChanged(int on) {
    COscClass.mWaveType = mDialogOscillator.mOscType;
    if (on != 0)
        COscClass.sOscOn();
    else
        COscClass.sOscOff();
}

void MainWindow::oscFreqChanged(int hz) {
    if (COscClass.getOscStatus()) {
        COscClass.sOscOff();
        QThread::msleep(kOscSettleMs);
        COscClass.setOscFreq(hz);
        COscClass.sOscOn();
    } else {
        QThread::msleep(kOscSettleMs);
        COscClass.setOscFreq(hz);
    }
}

void MainWindow::oscLevelChanged(double dB) { COscClass.setOscLevel(dB); }

void MainWindow::oscParamChanged() {
    const bool running = COscClass.getOscStatus();
    if (running) COscClass.sOscOff();
    COscClass.mWaveType = mDialogOscillator.mOscType;
    COscClass.mPattern = static_cast<int32_t>(mDialogOscillator.mFixedPattern);
    QThread::msleep(kOscSettleMs);
    if (running) COscClass.sOscOn();
}

void MainWindow::ncPhaseClicked(bool on) { seteNcPhase(on); }

// The box turns sub-frames on whatever its state: nothing turns them off.
void MainWindow::showSubFrameCheckEvent(bool) {
    mShowSubFrames = true;
    gTc_setShowingSubFrame(true);
}

// ---- Variable speed ----

void MainWindow::on_pushVsa_clicked() {
    mDialogVsa.show();
    mDialogVsa.raise();
}

void MainWindow::vsaSwitchClicked(bool) {}
void MainWindow::vsaKeyChanged(int) {}
void MainWindow::vsaSpeedChanged(float) {}

void MainWindow::qmfHighON(int stage) {
    if (qmfBand(stage) >= 0) mQmfSwitch[stage][0] = 1;
}
void MainWindow::qmfHighOFF(int stage) {
    if (qmfBand(stage) >= 0) mQmfSwitch[stage][0] = 0;
}
void MainWindow::qmfLoON(int stage) {
    if (qmfBand(stage) >= 0) mQmfSwitch[stage][1] = 1;
}
void MainWindow::qmfLoOFF(int stage) {
    if (qmfBand(stage) >= 0) mQmfSwitch[stage][1] = 0;
}

void MainWindow::vsaUnitSizeChanged(int size) {
    gAudioThread_setVsaUnitSize(size);
    mVsaUnitSize = size;
}
void MainWindow::vsaFadeChanged(int length) { mVsaFadeLength = length; }
void MainWindow::vsaBankNumChanged(int count) { mVsaBankCount = count; }
void MainWindow::vsaBankDelayChanged(int delay) { mVsaBankDelay = delay; }

// ---- Compressor ----

void MainWindow::on_pushDynamics_clicked() {
    mDialogDynamics.show();
    mDialogDynamics.raise();
    mDialogDynamics.redrawWindow();
}

void MainWindow::dynamicsEnabled(int on) {
    mDynamicsEnable[0] = mDynamicsEnable[1] = on != 0;
    if (mCore.mDynamics) mCore.mDynamics->setEnable(mDynamicsEnable);
}

// A value the compressor refuses (a time or ratio below 1) leaves its
// previous set-up in force; the stored settings keep what the dialog sent.
static void applyDynamics(ClassDynamics *dynamics, int attack, int release, double threshold, double ratio,
                          double makeup) {
    if (dynamics) (void)dynamics->setupParams(attack, release, threshold, ratio, makeup);
}

void MainWindow::dynamicsThresholdChanged(int dB) {
    mDynamicsThresholdDb = dB;
    applyDynamics(mCore.mDynamics, mDynamicsAttackMs, mDynamicsReleaseMs, mDynamicsThresholdDb, mDynamicsRatio,
                  mDynamicsMakeupDb);
}

void MainWindow::dynamicsAttackChanged(int ms) {
    mDynamicsAttackMs = ms;
    applyDynamics(mCore.mDynamics, mDynamicsAttackMs, mDynamicsReleaseMs, mDynamicsThresholdDb, mDynamicsRatio,
                  mDynamicsMakeupDb);
}

void MainWindow::dynamicsReleaseChanged(int ms) {
    mDynamicsReleaseMs = ms;
    applyDynamics(mCore.mDynamics, mDynamicsAttackMs, mDynamicsReleaseMs, mDynamicsThresholdDb, mDynamicsRatio,
                  mDynamicsMakeupDb);
}

// The dialog sends the ratio in tenths.
void MainWindow::dynamicsRatioChanged(int ratio10) {
    mDynamicsRatio = ratio10 / 10.0;
    applyDynamics(mCore.mDynamics, mDynamicsAttackMs, mDynamicsReleaseMs, mDynamicsThresholdDb, mDynamicsRatio,
                  mDynamicsMakeupDb);
}

void MainWindow::dynamicsMakeupChanged(int dB) {
    mDynamicsMakeupDb = dB;
    applyDynamics(mCore.mDynamics, mDynamicsAttackMs, mDynamicsReleaseMs, mDynamicsThresholdDb, mDynamicsRatio,
                  mDynamicsMakeupDb);
}

void MainWindow::dynamicsParamChanged(tParamDynamics selector, int value) {
    switch (selector) {
    case kDynamicsParamEnable: dynamicsEnabled(value); return;
    case kDynamicsParamThreshold: dynamicsThresholdChanged(value); return;
    case kDynamicsParamAttack: dynamicsAttackChanged(value); return;
    case kDynamicsParamRelease: dynamicsReleaseChanged(value); return;
    case kDynamicsParamRatio: dynamicsRatioChanged(value); return;
    case kDynamicsParamMakeup: dynamicsMakeupChanged(value); return;
    }
}

// ---- Lissajous and factory test ----

void MainWindow::on_pushLissajous_clicked() {
    mDialogLissajous.show();
    mLissajousShown = true;
}

void MainWindow::on_pushLissajousWin_clicked() { on_pushLissajous_clicked(); }

void MainWindow::lissajousWinRequested(int) { on_pushLissajous_clicked(); }

void MainWindow::on_pushButtonTlTest_clicked() { mDialogTlTest.show(); }

void MainWindow::tlTestStarted() {
    if (mCore.mMixerThread) mCore.mMixerThread->startTLTest();
}

void MainWindow::setMixerThreadParams(int trackCount) {
    mCore.mMixerTransactParams.status = 0;
    mCore.mMixerTransactParams.trackCount = trackCount;
    mCore.mMixerTransactParams.sampleRate = &mPlayFs;
}

// ---- Region gain entry ----

// The gain is capped at +6 dB (10^0.3); there is no lower limit.
void MainWindow::on_lineEditGain_dB_editingFinished() {
    bool ok = false;
    double g = ui->lineEditGain_dB->text().toDouble(&ok);
    if (!ok) g = 0.0;
    const double exponent = g > 6.0 ? 0.3 : g / 20.0;
    const float gain = std::pow(10.0f, static_cast<float>(exponent));
    trackGraphic *view = ui->widgetTrack1;
    view->gainChanged(gain);
    view->mGainLine = std::min(1.0f, gain);
    view->update();
    ui->lineEditGain_dB->setCursorPosition(0);
}

void MainWindow::on_lineEditGain_dB_returnPressed() { on_lineEditGain_dB_editingFinished(); }
