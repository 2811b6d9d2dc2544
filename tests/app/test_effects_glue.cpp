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
    bufferSwitchCoreAudioQueue(engine(), 44100, 0x8012, frames, reinterpret_cast<unsigned char *>(out.data()),
                               reinterpret_cast<unsigned char *>(in.data()), 2, &params, 2, 18);
    double peak = 0.0;
    for (float v : out) peak = std::max(peak, double(std::fabs(v)));
    return peak;
}

}  // namespace

TEST_F(EffectsGlue, RegionGainEntry) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    struct {
        const char *text;
        double gain;
    } cases[] = {
        {"12", std::pow(10.0, 0.3)},                                                           // capped at +6 dB
        {"6", std::pow(10.0, 0.3)},  {"0", 1.0}, {"-20", 0.1}, {"-60", 0.001}, {"loud", 1.0},  // not a number: 0 dB
    };
    trackGraphic *view = probe(w).ui()->widgetTrack1;
    for (const auto &c : cases) {
        probe(w).ui()->lineEditGain_dB->setText(QString::fromLatin1(c.text));
        probe(w).ui()->lineEditGain_dB->setCursorPosition(3);
        w.on_lineEditGain_dB_returnPressed();
        EXPECT_NEAR(view->mGain, c.gain, c.gain * 1e-6) << c.text;
        EXPECT_NEAR(view->mGainLine, std::min(1.0, c.gain), 1e-6) << c.text;
        EXPECT_EQ(probe(w).ui()->lineEditGain_dB->cursorPosition(), 0) << c.text;
    }
}

TEST_F(EffectsGlue, CompressorWindowSetsTheCompressor) {
    MainWindow &w = *sWindow;
    ASSERT_NE(probe(w).core().mDynamics, nullptr);
    DialogDynamics &dlg = probe(w).dialogDynamics();
    emit dlg.ratioChanged(40);
    EXPECT_DOUBLE_EQ(probe(w).dynamicsRatio(), 4.0);
    EXPECT_DOUBLE_EQ(probe(w).core().mDynamics->getRatio(), 4.0);
    emit dlg.thresholdLevelChanged(-30);
    EXPECT_DOUBLE_EQ(probe(w).core().mDynamics->getThresholdDb(0), -30.0);
    EXPECT_DOUBLE_EQ(probe(w).core().mDynamics->getRatio(), 4.0);  // the stored settings go with every change
    emit dlg.attackTimeChanged(10);
    EXPECT_NEAR(probe(w).core().mDynamics->getAttack(1), 0.010, 1e-9);
    emit dlg.releaseTimeChanged(300);
    EXPECT_NEAR(probe(w).core().mDynamics->getRelease(0), 0.300, 1e-9);
    emit dlg.makeupGainChanged(6);
    EXPECT_DOUBLE_EQ(probe(w).dynamicsMakeupDb(), 6.0);
    emit dlg.dynamicsEnable(1);
    EXPECT_EQ(probe(w).core().mDynamics->getEnable(0), 1.0);
    EXPECT_EQ(probe(w).core().mDynamics->getEnable(1), 1.0);
    emit dlg.dynamicsEnable(0);
    EXPECT_EQ(probe(w).core().mDynamics->getEnable(0), 0.0);

    // The single setter: selector 4 is the ratio in tenths; unknown
    // selectors change nothing.
    w.dynamicsParamChanged(kDynamicsParamRatio, 25);
    EXPECT_DOUBLE_EQ(probe(w).core().mDynamics->getRatio(), 2.5);
    w.dynamicsParamChanged(static_cast<tParamDynamics>(9), 80);
    EXPECT_DOUBLE_EQ(probe(w).core().mDynamics->getRatio(), 2.5);

    w.on_pushDynamics_clicked();
    EXPECT_TRUE(dlg.isVisible());
    dlg.hide();
}

TEST_F(EffectsGlue, OscillatorWindowDrivesTheTestSignal) {
    MainWindow &w = *sWindow;
    DialogOscillator &osc = probe(w).dialogOscillator();
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
    EXPECT_TRUE(engine().polarityInvert.load());
    emit osc.ncPhaseClicked(false);
    EXPECT_FALSE(engine().polarityInvert.load());

    // Unchecking the sub-frame box still turns sub-frames on.
    emit osc.showSubFrameCheckBoxClicked(false);
    EXPECT_TRUE(probe(w).showSubFrames());
}

TEST_F(EffectsGlue, OnlyTheTestToneReachesTheDevice) {
    MainWindow &w = *sWindow;
    DialogOscillator &osc = probe(w).dialogOscillator();
    // The compressor at its hardest and enabled: were it in the path, a
    // full-scale tone would come out far below full scale.
    emit probe(w).dialogDynamics().thresholdLevelChanged(-60);
    emit probe(w).dialogDynamics().ratioChanged(400);
    emit probe(w).dialogDynamics().dynamicsEnable(1);
    (void)probe(w).core().mDynamics->getInputMeterData();

    EXPECT_LT(deviceBufferPeak(512), 1e-9);  // nothing plays: silence

    COscClass.setOscFS(44100);
    emit osc.levelChanged(0.0);
    osc.mOscType = kOscSine;
    emit osc.freqChanged(1000);
    emit osc.selOscOnOff(1);
    EXPECT_GT(deviceBufferPeak(512), 0.99);
    emit osc.selOscOnOff(0);
    EXPECT_LT(deviceBufferPeak(512), 1e-9);

    const tDynamicsPair in = probe(w).core().mDynamics->getInputMeterData();
    EXPECT_EQ(in.left, 0.0);
    EXPECT_EQ(in.right, 0.0);
    emit probe(w).dialogDynamics().dynamicsEnable(0);
}

TEST_F(EffectsGlue, AnalysisAndTestWindows) {
    MainWindow &w = *sWindow;
    EXPECT_FALSE(probe(w).lissajousShown());
    // The master equaliser window's Lissajous button opens the window.
    emit probe(w).masterPeqDialog()->lissajousButtonClicked(5);
    EXPECT_TRUE(probe(w).dialogLissajous().isVisible());
    EXPECT_TRUE(probe(w).lissajousShown());
    probe(w).dialogLissajous().hide();

    // The factory test window opens; its start reaches nothing, so the
    // analysis thread never starts the sequence.
    const int step = probe(w).core().mMixerThread->getTLTestCurSeq();
    probe(w).ui()->pushButtonTlTest->click();
    EXPECT_TRUE(probe(w).dialogTlTest().isVisible());
    emit probe(w).dialogTlTest().seqStarted();
    QTest::qWait(200);
    EXPECT_EQ(probe(w).core().mMixerThread->getTLTestCurSeq(), step);
    EXPECT_LT(step, 0);
    probe(w).dialogTlTest().hide();

    // Variable speed: the band switches and settings are kept.
    emit probe(w).dialogVsa().qmfHighOFF(3);
    emit probe(w).dialogVsa().qmfLoOFF(7);
    emit probe(w).dialogVsa().qmfLoOFF(8);  // no such band
    EXPECT_EQ(probe(w).qmfSwitch()[3][0], 0);
    EXPECT_EQ(probe(w).qmfSwitch()[3][1], 1);
    EXPECT_EQ(probe(w).qmfSwitch()[7][1], 0);
    emit probe(w).dialogVsa().qmfHighON(3);
    EXPECT_EQ(probe(w).qmfSwitch()[3][0], 1);
    emit probe(w).dialogVsa().vsaUnitChanged(512);
    emit probe(w).dialogVsa().vsaBankNumChanged(3);
    EXPECT_EQ(probe(w).vsaUnitSize(), 512);
    EXPECT_EQ(probe(w).vsaBankCount(), 3);

    w.setMixerThreadParams(4);
    EXPECT_EQ(probe(w).core().mMixerTransactParams.trackCount, 4);
    EXPECT_EQ(probe(w).core().mMixerTransactParams.sampleRate, &probe(w).playFs());
    w.setMixerThreadParams(1);
}

TEST_F(EffectsGlue, VolumeGraphWindowAndDeletionDialogAreMadeHidden) {
    MainWindow &w = *sWindow;
    ASSERT_NE(probe(w).chEditStrip(), nullptr);
    EXPECT_FALSE(probe(w).chEditStrip()->isVisible());
    EXPECT_EQ(probe(w).chEditStrip()->parent(), nullptr);
    EXPECT_EQ(probe(w).chEditStrip()->rowCount(), 1);
    ASSERT_NE(probe(w).dialogDelFile(), nullptr);
    EXPECT_FALSE(probe(w).dialogDelFile()->isVisible());
    EXPECT_EQ(probe(w).dialogDelFile()->parent(), nullptr);
    auto *label = probe(w).dialogDelFile()->findChild<QLabel *>(QStringLiteral("label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Please select which track to delte."));
    // A row's edit reaches the main window's handler.
    EXPECT_TRUE(QObject::disconnect(probe(w).chEditStrip(), &chEditStrip::trackEditParamChanged, &w,
                                    &MainWindow::trackEditParamChangeEvent));
    QObject::connect(probe(w).chEditStrip(), &chEditStrip::trackEditParamChanged, &w, &MainWindow::trackEditParamChangeEvent);
}
