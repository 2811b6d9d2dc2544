// The main window's 45 ms tick: everything that moves while the engine plays
// or records. The counter, the play cursor and the meters follow the sound
// the listener hears, so they are delayed by one device buffer (plus a
// tick) through small rings; the end of the in-out range is handled here,
// as are the device watchdog, the recovery from a changed device buffer
// and the analysis displays.
//
// GUI thread only. Every engine value is read from a shared word without a
// lock; a value may be a buffer old or torn across the two channels, which
// only affects displays.
#include <QComboBox>
#include <QMessageBox>
#include <QTimer>

#include <emmintrin.h>
#include <cmath>

#include "app/mainstates.h"
#include "app/mainwindow.h"
#include "app/tickpresenters.h"
#include "app/transportlogic.h"
#include "dsp/dynamics.h"
#include "dsp/oscillator.h"
#include "editing/dialogedit.h"
#include "engine/asiofunc.h"
#include "engine/bufferswitch.h"
#include "engine/capturering.h"
#include "engine/engineparams.h"
#include "engine/metering.h"
#include "engine/playbackproducer.h"
#include "engine/rtdiag.h"
#include "meter/meterscale.h"
#include "mixer/chstrip.h"
#include "mixer/dialogpeq.h"
#include "mixer/masterstrip.h"
#include "mixer/mixer.h"
#include "trace/debugclient.h"
#include "ui_mainwindow.h"

namespace {

const QString kOfflineRateText = QStringLiteral("(offline)");

void peakPair(int row, double pair[2]) { _mm_storeu_pd(pair, getPeakHoldAudio(row)); }

}  // namespace

void MainWindow::takeSeveralHundredMili() {
    if (!ui || mInTick) return;
    mInTick = true;
    struct tLeave {
        bool &inTick;
        ~tLeave() { inTick = false; }
    } leave{mInTick};
    // What the device thread could not say or do there, and the mixer
    // record to the engine when it changed.
    (void)rtDiag_drain();
    gAudioThread_publishMixParam();

    // The engine's position runs a device buffer ahead of what is heard.
    // The counter, cursor and meters therefore show values from a ring of
    // past ticks, as many ticks as one device buffer lasts, so that they
    // match the sound rather than the engine.
    tTickFrame f;
    const int bufferFrames = gAudioThread_getAudioBufferFrameSize();
    f.offset = counterDisplayOffset();
    ++mTickCount;
    f.ringLength = transport_ringLength(bufferFrames, mPlayFs);
    trgPeakHoldAudio(0);
    f.tracks = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    f.firstRate = int(mTracks[0].fileInfo.sampleRate);
    // The capture is counted at the recording's own rate.
    f.recordingRate = mRecParams.rate > 0 ? mRecParams.rate : mPlayFs;
    for (int t = 0; t < kMainTrackSlots; ++t) f.overviews[t] = {mTracks[t].waveJobActive, mTracks[t].waveJobDone};

    tickCounterAndCursor(f);
    emit peakMasterUpdated(f.master);
    tickOutPoint(f);
    f.meter = tick_meterMode(f.counter.branch == tTickBranch::Recording, f.recordingRate, mPlayFs);
    tickMeters(f);
    // A track whose overview is still being computed is drawn as it
    // grows, one track a tick.
    if (tick_growingOverview(f.overviews, f.tracks) >= 0) waveFormRedraw(mViewOffset, kRedrawModeIncremental);
    tickWatchdog();
    // The worker threads only write their progress; the bars are moved
    // here, on the window's thread.
    mLoadingBar.setValue(mFlacProgress);
    mSplitBar.setValue(mSplitProgress);
    tickArmBlink();
    tickDeviceRecovery();
    tickBounceTrace();
    tickAnalysisFeeds(f);
    tickAutoRedraw();
    // Once the first block of a play start has gone to the device, the
    // start is no longer pending.
    if (gAudioThread_getPlayStarted()) mAwaitingPlayStart = false;
    tickBufferSizeChange();
    tickPixelRatio();
}

// ---- The tick's steps, in its order -------------------------------------------------

// Position, counter and cursor. While recording they count from the start
// of the capture; while nothing plays, monitors or records, the peaks are
// read and dropped so that a later start does not show stale levels.
void MainWindow::tickCounterAndCursor(tTickFrame &f) {
    tTickCounterState s;
    s.recState = mRecState;
    s.enginePlays = checkPlayStatusImmd() == 0;
    s.oscillatorOn = COscClass.getOscStatus();
    s.inputMonitorOn = engine().inputMonitorEnable.load(std::memory_order_relaxed);
    s.recStartCount = mRecStartCount;
    s.firstRate = f.firstRate;
    s.playFs = mPlayFs;
    s.displayOffset = f.offset;
    if (recState_isActive(mRecState))
        s.outputCount = gAudioThread_getCurrentOutSampleCount();
    else if (s.enginePlays || s.oscillatorOn || s.inputMonitorOn)
        s.playedSamples = getPlayingSample();
    f.counter = tick_counter(s);
    const tTickCounterView &v = f.counter;

    if (v.branch == tTickBranch::Stopped) {
        double discard[2];
        for (int t = 0; t < f.tracks; ++t) {
            peakPair(t, discard);
            gAudioThread_clearPeakAudioTrack(t);
        }
        peakPair(-1, discard);
        return;
    }

    mRecStartCount = v.recStartCount;
    mCursorSample = v.cursor;
    QString text;
    const bool recording = v.branch == tTickBranch::Recording;
    prepareTimeInfoDisp(text, v.shown, recording ? f.recordingRate : f.firstRate);
    // The text of N ticks ago is shown and this tick's takes its slot.
    ui->lineEditTime->setText(mCounterRing[mCounterRingIndex]);
    mCounterRing[mCounterRingIndex] = text;
    mCounterRingIndex = tick_nextRingIndex(mCounterRingIndex, f.ringLength);
    showMarkName(v.shown);

    uint64_t material = 0;
    if (!recording) {
        const tTransportMaterial m = transport_material(trackInfos().data(), mMixParam, f.tracks);
        setMaxWaveLengthThreadID(m.longestTrack);
        material = m.length;
    }
    // The position ring shares the counter's index, read after it has
    // advanced.
    mCursorFraction = tick_cursorFraction(v.branch, mPositionRing[mCounterRingIndex], f.recordingRate, material);
    mPositionRing[mCounterRingIndex] = v.cursor;
    for (int t = 0; t < f.tracks; ++t) peakPair(t, f.trackPeaks[t]);
    peakPair(-1, f.master);

    if (mSkipCursorOnce) {
        mSkipCursorOnce = false;
    } else {
        placeCursorFollowingView();
    }
    // A running recording fills its one-minute overview.
    if (mRecState == kRecRunning) updateRecOverview();
}

// The cursor line at mCursorFraction; a cursor outside the view scrolls it,
// unless the user holds the slider.
void MainWindow::placeCursorFollowingView() {
    const double x = calcCurrentCursor(mCursorFraction);
    if ((x > 1.0 || x < 0.0) && !mSliderHeld) drawWaveFrom();
}

// The end of the in-out range: stop within one tick, and the counter shows
// the out point itself, not where the engine had got to.
void MainWindow::tickOutPoint(const tTickFrame &f) {
    tTickOutPointState s;
    s.enginePlays = checkPlayStatusImmd() == 0;
    s.haveRange = mDialogEdit != nullptr;
    s.endPosition = f.counter.endPosition;
    s.outPoint = mDialogEdit ? mDialogEdit->mExportRegion.outPoint : 0;
    s.firstRate = f.firstRate;
    s.playFs = mPlayFs;
    s.displayOffset = f.offset;
    const tTickOutPointView v = tick_outPoint(s);
    if (!v.reached) return;

    on_stopButton_clicked();
    if (mTracks[0].audioThread) mTracks[0].audioThread->setForceStatus(0);
    if (mRepeatMode) {
        on_zeroPlayButton_clicked();
        return;
    }
    const int64_t out = s.outPoint;
    mCursorSample = out;
    QString text;
    prepareTimeInfoDisp(text, v.shown, mPlayFs);
    for (int i = 0; i < kMainRingEntries; ++i) {
        mCounterRing[i] = text;
        mPositionRing[i] = out;
    }
    ui->lineEditTime->setText(text);
    showMarkName(v.shown);
    mCounterRingIndex = tick_nextRingIndex(mCounterRingIndex, f.ringLength);
    const tTransportMaterial material = transport_material(trackInfos().data(), mMixParam, f.tracks);
    setMaxWaveLengthThreadID(material.longestTrack);
    mCursorFraction = material.length ? double(out) / double(material.length) : 0.0;
    placeCursorFollowingView();
}

// Meters are shown from the rings, as old as the counter, and this tick's
// peaks take their place in the ring.
void MainWindow::tickMeters(const tTickFrame &f) {
    if (!mMasterMeterRing) return;
    const tTickMeterMode &m = f.meter;
    const int slot = 2 * mMeterRingIndex;
    const double *shownMaster = mMasterMeterRing + slot;
    ui->widgetMeter->setMeterData(shownMaster, m.mode, kTransportTickMs);
    if (!m.dsd && mCore.mDynamics) {
        mDialogDynamics.setMeterData(kDynamicsMeterIn, mCore.mDynamics->getInputMeterData());
        mDialogDynamics.setMeterData(kDynamicsMeterOut, mCore.mDynamics->getOutputMeterData());
        mDialogDynamics.setMeterData(kDynamicsMeterReduction, mCore.mDynamics->getReductionData());
    }
    if (mMixer) {
        for (int t = 0; t < f.tracks; ++t) {
            if (!mMixer->mChStrip[t] || !mTracks[t].meterRing) continue;
            const double levels[2] = {mTracks[t].meterRing[slot] * m.stripScale, mTracks[t].meterRing[slot + 1] * m.stripScale};
            mMixer->mChStrip[t]->setMeterData(levels, m.mode, kTransportTickMs);
        }
        if (mMixer->mMasterStrip) mMixer->mMasterStrip->setMeterData(shownMaster, m.mode, kTransportTickMs);
    }
    // Only what moved is drawn again: a meter at rest costs nothing.
    ui->widgetMeter->repaintChanged();
    if (mMixer) {
        emit mMixer->updateChMeter();
        emit mMixer->updateMasterMeter();
    }
    mMasterMeterRing[slot] = f.master[0];
    mMasterMeterRing[slot + 1] = f.master[1];
    for (int t = 0; t < f.tracks; ++t) {
        if (!mTracks[t].meterRing) continue;
        mTracks[t].meterRing[slot] = f.trackPeaks[t][0];
        mTracks[t].meterRing[slot + 1] = f.trackPeaks[t][1];
    }
    mMeterRingIndex = tick_nextRingIndex(mMeterRingIndex, f.ringLength);
    if (mMasterPeak && mPrevMasterPeak) {
        mPrevMasterPeak[0] = mMasterPeak[0];
        mPrevMasterPeak[1] = mMasterPeak[1];
        mMasterPeak[0] = f.master[0];
        mMasterPeak[1] = f.master[1];
    }
}

// A device that has delivered no buffer for about 20 s is taken for gone:
// playback stops and the selection goes back to the first driver and the
// no-device entry, rather than waiting on a device that will not answer;
// the user is told once the tick is over.
void MainWindow::tickWatchdog() {
    if (!mWatchdogEnabled || !downCountWDT(kTransportTickMs)) return;
    setWDT(kTransportWatchdogMs);
    mWatchdogEnabled = false;
    on_stopButton_clicked();
    if (mTracks[0].audioThread) mTracks[0].audioThread->setForceStatus(0);
    on_comboBox_driver_currentIndexChanged(0);
    selectPlayRecDevice(0, mRecDevIndex);
    queueTickMessage(tTickMessage::DeviceOffline);
}

// While armed, the rec and play buttons blink together.
void MainWindow::tickArmBlink() {
    const tTickBlink blink = tick_armBlink(mRecState, mArmBlinkCount);
    mArmBlinkCount = blink.count;
    if (!blink.toggle) return;
    ui->recButton->setChecked(!ui->recButton->isChecked());
    ui->playButton->setChecked(ui->recButton->isChecked());
}

// An offline device entry is booted again about every 3 s; a buffer size
// changed behind the program's back is reconnected.
void MainWindow::tickDeviceRecovery() {
    tTickDeviceState s;
    s.driverType = mDriverType;
    s.selectedDevice = ui->comboBox_asioDev->currentIndex();
    s.rateOffline = ui->comboBox_asioFreq->currentText() == kOfflineRateText;
    s.offlineRetryCount = mOfflineRetryCount;
    s.reconnectPending = mReconnectPending;
    const tTickDeviceView v = tick_device(s);
    mOfflineRetryCount = v.offlineRetryCount;
    switch (v.action) {
    case tTickDeviceAction::RebootOffline:
        selectPlayRecDevice(s.selectedDevice, mRecDevIndex);
        break;
    case tTickDeviceAction::Reconnect:
        selectPlayRecDevice(0, mRecDevIndex);
        selectPlayRecDevice(s.selectedDevice, mRecDevIndex);
        mReconnectPending = false;
        gAudioThread_clearBufferSizeChanged();
        mBufferChangeExpected = false;
        queueTickMessage(tTickMessage::BufferReconnected);
        break;
    case tTickDeviceAction::None:
        break;
    }
}

// While a mix-down runs, the conversion and mix counters go to the trace
// about once a second.
void MainWindow::tickBounceTrace() {
    const tTickBounceTrace trace = tick_bounceTrace(mBouncing, mBounceTraceCountdown);
    mBounceTraceCountdown = trace.countdown;
    if (trace.trace && DebugClient::sDebugLevel >= 10) traceBounceCounters();
}

// The Lissajous window gets the last tick's worth of frames from the
// engine's ring once it has been opened; the master equaliser's spectrum
// follows the analysis order the engine is using.
void MainWindow::tickAnalysisFeeds(const tTickFrame &f) {
    if (mLissajousShown) {
        const tTickLissajous l =
            tick_lissajous(f.meter.rate, f.meter.dsd, int(engine().meterFirInterval.load(std::memory_order_relaxed)),
                           gAudioThread_getLissajousBufWrCount(), kLissajousFrames);
        mDialogLissajous.setLissajous(gAudioThread_getLissajousBuf(), l.frames, kLissajousFrames, l.start);
        mDialogLissajous.redrawLissajous();
    }
    if (mMasterPeqDialog) {
        int order = 0;
        (void)getPlayingFftAnalyzing(kMainEqMasterId, 0, &order);
        mMasterPeqDialog->setFFTOrder(order);
    }
}

// The full redraws that openFile2 scheduled. They wait while track 0's
// overview is still growing, which the incremental draw shows.
void MainWindow::tickAutoRedraw() {
    const tTickOverviewJob first{mTracks[0].waveJobActive, mTracks[0].waveJobDone};
    const bool growing = tick_growingOverview(&first, 1) == 0;
    const tTickRedraw r = tick_autoRedraw(mRedrawCountdown, mRedrawRepeats, growing);
    mRedrawCountdown = r.countdown;
    mRedrawRepeats = r.repeats;
    if (r.redraw) waveFormRedraw(mViewOffset, kRedrawModeFull);
}

// A buffer-size change: expected after a rate change, else reconnected on
// the next tick (driver type 0 only).
void MainWindow::tickBufferSizeChange() {
    switch (tick_bufferChange(gAudioThread_getBufferSizeChangedFlag(), mReconnectPending, mBufferChangeExpected,
                              mDriverType)) {
    case tTickBufferChange::Reconnect:
        mReconnectPending = true;
        break;
    case tTickBufferChange::Acknowledge:
        gAudioThread_clearBufferSizeChanged();
        mBufferChangeExpected = false;
        break;
    case tTickBufferChange::None:
        break;
    }
}

// A new device pixel ratio makes the track view resize for it.
void MainWindow::tickPixelRatio() {
    const float ratio = float(devicePixelRatio());
    if (ratio == mPixelRatio) return;
    ui->widgetTrack1->setGeometry(QRect(QPoint(50, 164), QPoint(748, ratio > mPixelRatio ? 343 : 342)));
    ui->widgetTrack1->changePixelRatio(ratio);
    if (ratio < mPixelRatio) ui->widgetTrack1->setGeometry(QRect(QPoint(50, 164), QPoint(749, 343)));
    mPixelRatio = ratio;
}

// ---- Messages the tick raised ---------------------------------------------------------

void MainWindow::queueTickMessage(tTickMessage message) {
    mTickMessages.push_back(message);
    if (mTickMessagesScheduled) return;
    mTickMessagesScheduled = true;
    QMetaObject::invokeMethod(this, &MainWindow::showTickMessages, Qt::QueuedConnection);
}

void MainWindow::showTickMessages() {
    // Taken first: ticks keep running inside the boxes' event loops, and
    // what they raise meanwhile is shown by a call of its own.
    std::vector<tTickMessage> messages;
    messages.swap(mTickMessages);
    mTickMessagesScheduled = false;
    for (tTickMessage message : messages) {
        switch (message) {
        case tTickMessage::DeviceOffline:
            QMessageBox::warning(this, tr("Audio Device is Offline"), tr("Selected audio device goes offline."),
                                 QMessageBox::Ok);
            break;
        case tTickMessage::BufferReconnected:
            mReconnectBox.setIcon(QMessageBox::Information);
            mReconnectBox.setText(tr("The audio buffer size has been changed.\nReconnected."));
            mReconnectBox.exec();
            break;
        }
    }
}

void MainWindow::traceBounceCounters() {
    const auto send = [](const QString &text) {
        DebugClient::SendTrace(text, "MAIN", 10, "../mainwindow.cpp", __LINE__, "takeSeveralHundredMili");
    };
    for (int t = 0; t < 2; ++t) {
        int blockFrames = 0;
        const int64_t converted = getConvertedCountAndBufBlkSize(t, &blockFrames);
        send(QStringLiteral("ConvCount,BouncedCount= %1, %2, %3, %4, %5, T=%6")
                 .arg(converted)
                 .arg(getBouncedSamples(t))
                 .arg(getConvertPath(t))
                 .arg(getDiffParam(t, 1))
                 .arg(getDiffParam(t, 2))
                 .arg(getTestCountMorphex(t)));
    }
    const tBounceStatusStruct &status = mBounceStatus;
    const QString counters = QStringLiteral("%1, %2, %3, %4")
                                 .arg(int(status.ready))
                                 .arg(status.result)
                                 .arg(status.blockSize)
                                 .arg(mBounceParam.progress);
    send(status.result == kBounceStatusDone ? QStringLiteral("BounceOK_F is True, ") + counters
                                            : QStringLiteral("BounceOK_F is False. ") + counters);
}

// No first-use information is shown: the one-shot timer stops itself.
void MainWindow::showFirstInformationPopup() {
    if (mFirstInfoTimer) mFirstInfoTimer->stop();
}
