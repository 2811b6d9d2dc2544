// The main window's connections: its windows, widgets and work threads to
// its own slots, its own signals to the track view, the mixer window and the
// mixer-analysis thread, and the exclusive action groups. What each slot
// does belongs to the slot; this file only says who talks to whom.
//
// Every connection names its signal and slot as member pointers, so that a
// signature that drifts apart fails to compile instead of silently failing
// to connect. Signals from work threads arrive queued on the GUI thread;
// the pointer types they carry are registered here.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QMetaType>

#include <algorithm>

#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "editing/cheditstrip.h"
#include "editing/dialogedit.h"
#include "editing/dialogrecsetup.h"
#include "engine/bouncethread.h"
#include "engine/contcoreaudiothread.h"
#include "engine/recengine.h"
#include "mixer/dialogpeq.h"
#include "mixer/mixer.h"
#include "widgets/dialogselectfs.h"

namespace {

QActionGroup *exclusiveGroup(QObject *parent, std::initializer_list<QAction *> actions) {
    auto *group = new QActionGroup(parent);
    group->setExclusive(true);
    for (QAction *a : actions) group->addAction(a);
    return group;
}

}  // namespace

void MainWindow::makeConnectionsFirst() {
    qRegisterMetaType<tFlac2WavMessages *>("tFlac2WavMessages*");
    qRegisterMetaType<tPoly2MonosteMessages *>("tPoly2MonosteMessages*");

    connect(mTracks[0].audioThread, &audioThread::transactionStarted_, this, &MainWindow::transactionStarted);
    connect(mTracks[0].audioThread, &audioThread::allTransactionsDone_, this, &MainWindow::allTransactionsDone);
    connect(mTracks[0].waveFormThread, &waveFormThread::waveFormPrepared, this, &MainWindow::waveFormPreparedMain);

    trackGraphic *view = ui->widgetTrack1;
    connect(view, &trackGraphic::editParamChanged, this, &MainWindow::trackEditParamChanged);
    connect(view, &trackGraphic::pointMoved, this, &MainWindow::pointMoved);
    connect(view, &trackGraphic::mouseClicked, this, &MainWindow::trackMousePressed);
    connect(ui->labelGainVal, &labelGain::doubleClicked, this, &MainWindow::labelGainValDoubleClicked);
    connect(this, &MainWindow::moveInPoint, view, &trackGraphic::arrangeInPoint);
    connect(this, &MainWindow::moveOutPoint, view, &trackGraphic::arrangeOutPoint);

    DialogOscillator *osc = &mDialogOscillator;
    connect(osc, &DialogOscillator::selOscOnOff, this, &MainWindow::oscIndicatorChanged);
    connect(osc, &DialogOscillator::freqChanged, this, &MainWindow::oscFreqChanged);
    connect(osc, &DialogOscillator::levelChanged, this, &MainWindow::oscLevelChanged);
    connect(osc, &DialogOscillator::oscParamChanged, this, &MainWindow::oscParamChanged);
    connect(osc, &DialogOscillator::digitFrameChanged, this, &MainWindow::digitFrameChanged);
    connect(osc, &DialogOscillator::selectInMonitorEnToMain, this, &MainWindow::selectInMonitorEn);
    connect(osc, &DialogOscillator::changeInputMoniCh, this, &MainWindow::changeInputMonitorCh);
    connect(osc, &DialogOscillator::ncPhaseClicked, this, &MainWindow::ncPhaseClicked);
    connect(osc, &DialogOscillator::showSubFrameCheckBoxClicked, this, &MainWindow::showSubFrameCheckEvent);

    connect(ui->waveScrollBar, &QScrollBar::sliderPressed, this, &MainWindow::waveSliderPressed);
    connect(ui->waveScrollBar, &QScrollBar::sliderReleased, this, &MainWindow::waveSliderReleased);

    if (mDialogSelectFs) {
        connect(mDialogSelectFs, &DialogSelectFs::diagSelFsPCMpushed, this, &MainWindow::selectedPlayDSDtoPCM);
        connect(mDialogSelectFs, &DialogSelectFs::diagSelFsDSDpushed, this, &MainWindow::selectedPlayDSDtoDSD);
    }
    if (mCore.mContCoreAudioThread)
        connect(mCore.mContCoreAudioThread, &CContCoreAudioThread::allTransactionsDone, this,
                &MainWindow::coreAudioTransactionDone);
}

void MainWindow::makeConnectionsSecond() {
    if (DialogPeq *master = mMasterPeqDialog) {
        // The equaliser bindings may connect these too; one connection each.
        connect(master, &DialogPeq::selectAllEqOnOff, this, &MainWindow::selAllEqOnOff, Qt::UniqueConnection);
        connect(master, &DialogPeq::windowClosed, this, &MainWindow::eqWindowCloseEvent, Qt::UniqueConnection);
    }
    connect(ui->labelEqIndicator, &eqIndicator::eqIndicatorClicked, this, &MainWindow::eqIndicatorClicked);
    connect(ui->labelMonitor, &monindicator::monIndicatorClicked, this, &MainWindow::monIndicatorClocked);
    connect(ui->lineEditTime, &widgetTc::enterKeyPressed, this, &MainWindow::timeCounterEnterPressed);
    connect(ui->lineEditTime, &widgetTc::escapeKeyPressed, this, &MainWindow::timeCounterEscapePressed);
    connect(ui->widgetFadeBase, &WidgetFaderBase::faderMoved, this, &MainWindow::monitorVolumeMoved);
    connect(ui->label_FaderTop, &faderTop::faderMoved, this, &MainWindow::monitorVolumeMoved);

    connect(ui->actionAboutThisApplication, &QAction::triggered, this, &MainWindow::menuAboutClicked);
    connect(ui->actionAboutLicenses, &QAction::triggered, this, &MainWindow::menuLicensesClicked);
    connect(ui->actionOscillator, &QAction::triggered, this, &MainWindow::menuOscillatorClicked);
    connect(ui->actionSet_DoP_DSD_Playable_Device, &QAction::triggered, this, &MainWindow::DoPPlayableDeviceClicked);
    connect(ui->actionEnglishManual, &QAction::triggered, this, &MainWindow::menuEnglishManualClicked);
    connect(ui->actionJapaneseManual, &QAction::triggered, this, &MainWindow::menuJapaneseManualClicked);
    connect(ui->actionEnglish1_1, &QAction::triggered, this, &MainWindow::menuEnglishV1_1suppClicked);
    connect(ui->actionJapanese1_1, &QAction::triggered, this, &MainWindow::menuJapaneseV1_1suppClicked);
    connect(ui->actionOverHolds2sec, &QAction::toggled, this, &MainWindow::menuOverHolds2sec_toggled);
    connect(ui->actionOverHoldsUntilClicked, &QAction::toggled, this, &MainWindow::menuOverHoldsUntilClicked_toggled);

    if (mDialogEdit) {
        connect(mDialogEdit, &DialogEdit::convertExecute, this, &MainWindow::convertExecute);
        connect(mDialogEdit, &DialogEdit::bounceCanceled, this, &MainWindow::bounceCancelEvent);
    }

    connect(ui->actionRepeat_Mode, &QAction::triggered, this, &MainWindow::repeatModeTriggered);
    connect(ui->actionCounterTime, &QAction::triggered, this, &MainWindow::counterTimeTriggered);
    connect(ui->actionCounterSample, &QAction::triggered, this, &MainWindow::counterSampleTriggered);
    connect(ui->actionTimecode, &QAction::triggered, this, &MainWindow::counterTimecodeTriggered);
    mCounterModeGroup = exclusiveGroup(this, {ui->actionCounterTime, ui->actionCounterSample, ui->actionTimecode});
    connect(ui->actionEQ_HF_Mode, &QAction::triggered, this, &MainWindow::selectEqHFmode);
    mFrameRateGroup = exclusiveGroup(this, {ui->action23_976F, ui->action24F, ui->action25F, ui->action29_97DF,
                                            ui->action29_97NDF, ui->action30DF, ui->action30NDF});
    connect(ui->action23_976F, &QAction::triggered, this, &MainWindow::frameRate23Triggered);
    connect(ui->action24F, &QAction::triggered, this, &MainWindow::frameRate24Triggered);
    connect(ui->action25F, &QAction::triggered, this, &MainWindow::frameRate25Triggered);
    connect(ui->action29_97DF, &QAction::triggered, this, &MainWindow::frameRate2997DFTriggered);
    connect(ui->action29_97NDF, &QAction::triggered, this, &MainWindow::frameRate2997NDFTriggered);
    connect(ui->action30DF, &QAction::triggered, this, &MainWindow::frameRate30DFTriggered);
    connect(ui->action30NDF, &QAction::triggered, this, &MainWindow::frameRate30NDFTriggered);

    // The key-forwarding widgets: a key pressed while one of them has the
    // focus still drives the transport.
    connect(ui->stopButton, &snxStopButton::keyPressed, this, &MainWindow::widgetsKeyPressed);
    connect(ui->comboBox_asioDev, &comboBoxMain::keyPressed, this, &MainWindow::widgetsKeyPressed);
    connect(ui->playButton, &snxPlayButton::keyPressed, this, &MainWindow::widgetsKeyPressed);
    connect(ui->zeroPlayButton, &snxZeroPlayButton::keyPressed, this, &MainWindow::widgetsKeyPressed);
    for (snxPushButton *b : {ui->pushButtonEdit, ui->pushButtonAdd, ui->pushButtonEditTag, ui->pushButtonPostFader,
                             ui->pushButton_Combine, ui->pushCh1PEQ, ui->pushDynamics, ui->pushEditWin, ui->pushMixer})
        connect(b, &snxPushButton::keyPressed, this, &MainWindow::widgetsKeyPressed);
    connect(ui->pushSelDir, &blackButton::keyPressed, this, &MainWindow::widgetsKeyPressed);
    connect(ui->pushButtonOpen, &snxPushButton::keyPressed, this, &MainWindow::widgetsKeyPressed);

    connect(&mDialogEditTag, &DialogEditTag::id3paramsConfirmed, this, &MainWindow::tagParamConfirmed);
    if (mDialogEdit) {
        // The export window's own tag editor confirmed: the start timecode
        // of the main window's tag record is recomputed.
        connect(mDialogEdit, &DialogEdit::tagParamConfirmedExportWindow, this,
                [this] { tagHMSFtoStartTcSample(&mID3tagInfo); });
    }
    mOverHoldGroup = exclusiveGroup(this, {ui->actionOverHolds2sec, ui->actionOverHoldsUntilClicked});

    if (mCore.mFlac2WavThread)
        connect(mCore.mFlac2WavThread, &flac2wavThread::flacConvCompleted, this, &MainWindow::flac2wavCompleted);
    connect(&mDialogPolyfile, &DialogPolyfile::channelSelected, this, &MainWindow::selectChannelOfPolyEvent);
    if (mCore.mPoly2MonosteThread)
        connect(mCore.mPoly2MonosteThread, &poly2monosteThread::poly2monosteConverted, this,
                &MainWindow::poly2monosteRebuildEvent);
    if (mCore.mRecEngineThread) connect(mCore.mRecEngineThread, &recEngineThread::recStopped, this, &MainWindow::recStopped);
    connect(ui->actionRec_Setup, &QAction::triggered, this, &MainWindow::showRecSetup);
    if (mDialogRecSetup)
        connect(mDialogRecSetup, &DialogRecSetup::recDevice_changed, this, &MainWindow::recDevSelectEventAtRecSetup);

    connect(ui->widgetLchMeter, &drawingMeterWidget::mousePressed, this, &MainWindow::meterPressed);
    connect(ui->widgetRchMeter, &drawingMeterWidget::mousePressed, this, &MainWindow::meterPressed);
    connect(ui->widgetLchOver, &drawingOverWidget::mousePressed, this, &MainWindow::meterPressed);
    connect(ui->widgetRchOver, &drawingOverWidget::mousePressed, this, &MainWindow::meterPressed);

    // The recording set-up window's lists mirror the main form's: its
    // choices come back to the same slots as the main form's own.
    if (DialogRecSetup *setup = mDialogRecSetup) {
        connect(setup, &DialogRecSetup::audioDriverChanged, this, &MainWindow::on_comboBox_driver_currentIndexChanged);
        connect(setup, &DialogRecSetup::playDeviceChanged, this, &MainWindow::playDeviceChanged);
        connect(setup, &DialogRecSetup::playFreqChanged, this, &MainWindow::playFreqChanged);
        connect(setup, &DialogRecSetup::recChannelChanged, this, &MainWindow::changeInputMonitorCh);
        connect(setup, &DialogRecSetup::playChannelChanged, this, &MainWindow::changeOutputMonitorCh);
    }

    DialogVsa *vsa = &mDialogVsa;
    connect(vsa, &DialogVsa::vsaSwitchClocked, this, &MainWindow::vsaSwitchClicked);
    connect(vsa, &DialogVsa::vsaKeyChanged, this, &MainWindow::vsaKeyChanged);
    connect(vsa, &DialogVsa::vsaSpeedChanged, this, &MainWindow::vsaSpeedChanged);
    connect(vsa, &DialogVsa::qmfHighON, this, &MainWindow::qmfHighON);
    connect(vsa, &DialogVsa::qmfHighOFF, this, &MainWindow::qmfHighOFF);
    connect(vsa, &DialogVsa::qmfLoON, this, &MainWindow::qmfLoON);
    connect(vsa, &DialogVsa::qmfLoOFF, this, &MainWindow::qmfLoOFF);
    connect(vsa, &DialogVsa::vsaUnitChanged, this, &MainWindow::vsaUnitSizeChanged);
    connect(vsa, &DialogVsa::vsaFadeChanged, this, &MainWindow::vsaFadeChanged);
    connect(vsa, &DialogVsa::vsaBankNumChanged, this, &MainWindow::vsaBankNumChanged);
    connect(vsa, &DialogVsa::vsaBankDelayChanged, this, &MainWindow::vsaBankDelayChanged);

    DialogDynamics *dyn = &mDialogDynamics;
    connect(dyn, &DialogDynamics::dynamicsEnable, this, &MainWindow::dynamicsEnabled);
    connect(dyn, &DialogDynamics::attackTimeChanged, this, &MainWindow::dynamicsAttackChanged);
    connect(dyn, &DialogDynamics::releaseTimeChanged, this, &MainWindow::dynamicsReleaseChanged);
    connect(dyn, &DialogDynamics::thresholdLevelChanged, this, &MainWindow::dynamicsThresholdChanged);
    connect(dyn, &DialogDynamics::ratioChanged, this, &MainWindow::dynamicsRatioChanged);
    connect(dyn, &DialogDynamics::makeupGainChanged, this, &MainWindow::dynamicsMakeupChanged);

    if (mMixer) connect(mMixer, &mixer::reportEqButtonClicked, this, &MainWindow::mixerEqButtonClicked);
    connect(ui->labelEditMode, &labelSwitch::switchClicked, this, &MainWindow::editModeClicked);
    if (mMixer) {
        connect(mMixer, &mixer::reportChDelayChanged, this, &MainWindow::ChDelayValueChangeEvent);
        connect(mMixer, &mixer::masterEQClicked, this, &MainWindow::eqIndicatorClicked);
        connect(this, &MainWindow::allEqOnOffToMixer, mMixer, &mixer::selectAllEqOnOffEvent);
        connect(this, &MainWindow::delayTimeChanged, mMixer, &mixer::delayTimeChangeEvent);
        connect(this, &MainWindow::trackNamesLoaded, mMixer, &mixer::trackNameloadEvent);
    }
    if (DialogPeq *master = mMasterPeqDialog)
        connect(master, &DialogPeq::lissajousButtonClicked, this, &MainWindow::lissajousWinRequested);

    mCore.mBounceThread.reset(new bounceThread);
    connect(mCore.mBounceThread, &bounceThread::bounceFinished, this, &MainWindow::bounceFinished);
    mProjectGroup = exclusiveGroup(this, {ui->actionLoad, ui->actionSave});
    connect(ui->actionSave, &QAction::triggered, this, &MainWindow::actionSaveClicked);
    connect(ui->actionLoad, &QAction::triggered, this, &MainWindow::actionLoadClicked);
    connect(ui->actionCreate, &QAction::triggered, this, &MainWindow::actionCreateClicked);
}

int64_t MainWindow::tagHMSFtoStartTcSample(tID3tagInfo *tag) {
    // The start timecode as the tag editor left it, read at the first
    // track's rate and the counter's frame type; unset (negative) parts
    // count as 0. Only the record changes, not the track's own start.
    if (!tag) return 0;
    tTimeCode tc{};
    tc.hour = std::max(tag->hour, 0);
    tc.minute = std::max(tag->minute, 0);
    tc.second = std::max(tag->second, 0);
    tc.frame = std::max(tag->frame, 0);
    uint64_t sample = 0;
    gTc_convTimeCodeToSample(&tc, &sample, static_cast<int>(mTracks[0].fileInfo.sampleRate), mFrameType);
    tag->startSample = sample;
    return static_cast<int64_t>(sample);
}

void MainWindow::makeConnectionsThird() {
    // The analysis thread's object lives on the GUI thread: these run at once.
    mixerThread *analysis = mCore.mMixerThread;
    if (!analysis) return;
    connect(this, &MainWindow::openMixerWindow, analysis, &mixerThread::openMixerWindowEvent);
    connect(this, &MainWindow::addDelTrack, analysis, &mixerThread::adddelTrackEvent);
    connect(this, &MainWindow::peakMasterUpdated, analysis, &mixerThread::peakHoldMasterUpdateEvent);
    connect(analysis, &mixerThread::mixerEqButtonClicked, this, &MainWindow::mixerEqButtonClicked);
    connect(this, &MainWindow::finishMixerThread, analysis, &mixerThread::finishThread);
    connect(this, &MainWindow::eqWindowClosed, analysis, &mixerThread::eqWindowClosed);
    connect(this, &MainWindow::changeSampleRate, analysis, &mixerThread::changeSampleRateEvent);
    connect(this, &MainWindow::setMixerParams, analysis, &mixerThread::setMixerParams);
    connect(this, &MainWindow::chEqWindowOpended, analysis, &mixerThread::mixerEqButtonClickEvent);
}

void MainWindow::makeConnectionsLast() {
    if (mChEditStrip)
        connect(mChEditStrip, &chEditStrip::trackEditParamChanged, this, &MainWindow::trackEditParamChangeEvent);
}
