// The main window's glue to the test-signal, compressor, variable-speed,
// Lissajous and factory test windows, the region gain entry, and the
// volume-graph window and track deletion dialog it makes, on one constructed
// window: the windows' signals reach the engine's objects as the main
// window passes them; only the test tone reaches the device's buffer (the
// compressor never processes the audio) and the factory test never starts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <vector>

#include "app/mainwindow.h"
#include "dsp/dynamics.h"
#include "dsp/oscillator.h"
#include "editing/cheditstrip.h"
#include "editing/dialogdelfile.h"
#include "engine/bufferswitch.h"
#include "engine/enginestate.h"
#include "engine/enginetestutil.h"
#include "mixer/dialogpeq.h"
#include "ui_mainwindow.h"

namespace {

QTemporaryDir *sHome = nullptr;

class EffectsGlue : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        engtest::useBuiltLibrary();
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        COscClass.sOscOff();
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    static MainWindow *sWindow;
};
MainWindow *EffectsGlue::sWindow = nullptr;

// One device buffer of `frames` stereo float frames through the engine's
// device entry, as the device layer hands it over; the largest magnitude.
double deviceBufferPeak(int frames) {
    std::vector<float> out(size_t(frames) * 2), in(size_t(frames) * 2, 0.0f);
    tCoreAudioParams params;
    params.inFrames = frames;
    bufferSwitchCoreAudioQueue(44100, 0x8012, frames, reinterpret_cast<unsigned char *>(out.data()),
                               reinterpret_cast<unsigned char *>(in.data()), 2, &params, 2, 18);
    double peak = 0.0;
    for (float v : out) peak = std::max(peak, double(std::fabs(v)));
    return peak;
}

}  // namespace

TEST_F(EffectsGlue, RegionGainEntry) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(w.mConstructed);
    struct {
        const char *text;
        double gain;
    } cases[] = {
        {"12", std::pow(10.0, 0.3)},                                                           // capped at +6 dB
        {"6", std::pow(10.0, 0.3)},  {"0", 1.0}, {"-20", 0.1}, {"-60", 0.001}, {"loud", 1.0},  // not a number: 0 dB
    };
    trackGraphic *view = w.ui->widgetTrack1;
    for (const auto &c : cases) {
        w.ui->lineEditGain_dB->setText(QString::fromLatin1(c.text));
        w.ui->lineEditGain_dB->setCursorPosition(3);
        w.on_lineEditGain_dB_returnPressed();
        EXPECT_NEAR(view->mGain, c.gain, c.gain * 1e-6) << c.text;
        EXPECT_NEAR(view->mGainLine, std::min(1.0, c.gain), 1e-6) << c.text;
        EXPECT_EQ(w.ui->lineEditGain_dB->cursorPosition(), 0) << c.text;
    }
}

TEST_F(EffectsGlue, CompressorWindowSetsTheCompressor) {
    MainWindow &w = *sWindow;
    ASSERT_NE(w.mCore.mDynamics, nullptr);
    DialogDynamics &dlg = w.mDialogDynamics;
    emit dlg.ratioChanged(40);
    EXPECT_DOUBLE_EQ(w.mDynamicsRatio, 4.0);
    EXPECT_DOUBLE_EQ(w.mCore.mDynamics->getRatio(), 4.0);
    emit dlg.thresholdLevelChanged(-30);
    EXPECT_DOUBLE_EQ(w.mCore.mDynamics->getThresholdDb(0), -30.0);
    EXPECT_DOUBLE_EQ(w.mCore.mDynamics->getRatio(), 4.0);  // the stored settings go with every change
    emit dlg.attackTimeChanged(10);
    EXPECT_NEAR(w.mCore.mDynamics->getAttack(1), 0.010, 1e-9);
    emit dlg.releaseTimeChanged(300);
    EXPECT_NEAR(w.mCore.mDynamics->getRelease(0), 0.300, 1e-9);
    emit dlg.makeupGainChanged(6);
    EXPECT_DOUBLE_EQ(w.mDynamicsMakeupDb, 6.0);
    emit dlg.dynamicsEnable(1);
    EXPECT_EQ(w.mCore.mDynamics->getEnable(0), 1.0);
    EXPECT_EQ(w.mCore.mDynamics->getEnable(1), 1.0);
    emit dlg.dynamicsEnable(0);
    EXPECT_EQ(w.mCore.mDynamics->getEnable(0), 0.0);

    // The single setter: selector 4 is the ratio in tenths; unknown
    // selectors change nothing.
    w.dynamicsParamChanged(kDynamicsParamRatio, 25);
    EXPECT_DOUBLE_EQ(w.mCore.mDynamics->getRatio(), 2.5);
    w.dynamicsParamChanged(static_cast<tParamDynamics>(9), 80);
    EXPECT_DOUBLE_EQ(w.mCore.mDynamics->getRatio(), 2.5);

    w.on_pushDynamics_clicked();
    EXPECT_TRUE(dlg.isVisible());
    dlg.hide();
}

TEST_F(EffectsGlue, OscillatorWindowDrivesTheTestSignal) {
    MainWindow &w = *sWindow;
    DialogOscillator &osc = w.mDialogOscillator;
    COscClass.sOscOff();

    // A frequency change while off leaves it off.
    emit osc.freqChanged(500);
    EXPECT_FALSE(COscClass.getOscStatus());
    EXPECT_DOUBLE_EQ(COscClass.getOscFreq(), 500.0);

    osc.mOscType = kOscTriangle;
    emit osc.selOscOnOff(1);
    EXPECT_TRUE(COscClass.getOscStatus());
    EXPECT_EQ(COscClass.mWaveType, kOscTriangle);
    // While on, it sounds again at the new frequency.
    emit osc.freqChanged(2000);
    EXPECT_TRUE(COscClass.getOscStatus());
    EXPECT_DOUBLE_EQ(COscClass.getOscFreq(), 2000.0);
    // Wave and pattern go over as a pair.
    osc.mOscType = kOscFixedPattern;
    osc.mFixedPattern = 0x12345678u;
    emit osc.oscParamChanged();
    EXPECT_TRUE(COscClass.getOscStatus());
    EXPECT_EQ(COscClass.mWaveType, kOscFixedPattern);
    EXPECT_EQ(uint32_t(COscClass.mPattern), 0x12345678u);
    emit osc.levelChanged(-6.0);
    EXPECT_NEAR(COscClass.getOscLevel(), std::pow(10.0, -6.0 / 20.0), 1e-12);
    emit osc.selOscOnOff(0);
    EXPECT_FALSE(COscClass.getOscStatus());

    emit osc.ncPhaseClicked(true);
    EXPECT_TRUE(sPolarityInvert.load());
    emit osc.ncPhaseClicked(false);
    EXPECT_FALSE(sPolarityInvert.load());

    // Unchecking the sub-frame box still turns sub-frames on.
    emit osc.showSubFrameCheckBoxClicked(false);
    EXPECT_TRUE(w.mShowSubFrames);
}

TEST_F(EffectsGlue, OnlyTheTestToneReachesTheDevice) {
    MainWindow &w = *sWindow;
    DialogOscillator &osc = w.mDialogOscillator;
    // The compressor at its hardest and enabled: were it in the path, a
    // full-scale tone would come out far below full scale.
    emit w.mDialogDynamics.thresholdLevelChanged(-60);
    emit w.mDialogDynamics.ratioChanged(400);
    emit w.mDialogDynamics.dynamicsEnable(1);
    (void)w.mCore.mDynamics->getInputMeterData();

    EXPECT_LT(deviceBufferPeak(512), 1e-9);  // nothing plays: silence

    COscClass.setOscFS(44100);
    emit osc.levelChanged(0.0);
    osc.mOscType = kOscSine;
    emit osc.freqChanged(1000);
    emit osc.selOscOnOff(1);
    EXPECT_GT(deviceBufferPeak(512), 0.99);
    emit osc.selOscOnOff(0);
    EXPECT_LT(deviceBufferPeak(512), 1e-9);

    const tDynamicsPair in = w.mCore.mDynamics->getInputMeterData();
    EXPECT_EQ(in.left, 0.0);
    EXPECT_EQ(in.right, 0.0);
    emit w.mDialogDynamics.dynamicsEnable(0);
}

TEST_F(EffectsGlue, AnalysisAndTestWindows) {
    MainWindow &w = *sWindow;
    EXPECT_FALSE(w.mLissajousShown);
    // The master equaliser window's Lissajous button opens the window.
    emit w.mMasterPeqDialog->lissajousButtonClicked(5);
    EXPECT_TRUE(w.mDialogLissajous.isVisible());
    EXPECT_TRUE(w.mLissajousShown);
    w.mDialogLissajous.hide();

    // The factory test window opens; its start reaches nothing, so the
    // analysis thread never starts the sequence.
    const int step = w.mCore.mMixerThread->getTLTestCurSeq();
    w.ui->pushButtonTlTest->click();
    EXPECT_TRUE(w.mDialogTlTest.isVisible());
    emit w.mDialogTlTest.seqStarted();
    QTest::qWait(200);
    EXPECT_EQ(w.mCore.mMixerThread->getTLTestCurSeq(), step);
    EXPECT_LT(step, 0);
    w.mDialogTlTest.hide();

    // Variable speed: the band switches and settings are kept.
    emit w.mDialogVsa.qmfHighOFF(3);
    emit w.mDialogVsa.qmfLoOFF(7);
    emit w.mDialogVsa.qmfLoOFF(8);  // no such band
    EXPECT_EQ(w.mQmfSwitch[3][0], 0);
    EXPECT_EQ(w.mQmfSwitch[3][1], 1);
    EXPECT_EQ(w.mQmfSwitch[7][1], 0);
    emit w.mDialogVsa.qmfHighON(3);
    EXPECT_EQ(w.mQmfSwitch[3][0], 1);
    emit w.mDialogVsa.vsaUnitChanged(512);
    emit w.mDialogVsa.vsaBankNumChanged(3);
    EXPECT_EQ(w.mVsaUnitSize, 512);
    EXPECT_EQ(w.mVsaBankCount, 3);

    w.setMixerThreadParams(4);
    EXPECT_EQ(w.mCore.mMixerTransactParams.trackCount, 4);
    EXPECT_EQ(w.mCore.mMixerTransactParams.sampleRate, &w.mPlayFs);
    w.setMixerThreadParams(1);
}

TEST_F(EffectsGlue, VolumeGraphWindowAndDeletionDialogAreMadeHidden) {
    MainWindow &w = *sWindow;
    ASSERT_NE(w.mChEditStrip, nullptr);
    EXPECT_FALSE(w.mChEditStrip->isVisible());
    EXPECT_EQ(w.mChEditStrip->parent(), nullptr);
    EXPECT_EQ(w.mChEditStrip->rowCount(), 1);
    ASSERT_NE(w.mDialogDelFile, nullptr);
    EXPECT_FALSE(w.mDialogDelFile->isVisible());
    EXPECT_EQ(w.mDialogDelFile->parent(), nullptr);
    auto *label = w.mDialogDelFile->findChild<QLabel *>(QStringLiteral("label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Please select which track to delte."));
    // A row's edit reaches the main window's handler.
    EXPECT_TRUE(QObject::disconnect(w.mChEditStrip, &chEditStrip::trackEditParamChanged, &w,
                                    &MainWindow::trackEditParamChangeEvent));
    QObject::connect(w.mChEditStrip, &chEditStrip::trackEditParamChanged, &w, &MainWindow::trackEditParamChangeEvent);
}
