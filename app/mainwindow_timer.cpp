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

#include "app/mainwindow.h"
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

constexpr int kDsdMeterRate = 2822400;
constexpr double kPcmStripScale = 2147483648.0;               // the strips' PCM scale, 2^31
constexpr double kDsdStripScale = 1.0 / 36028797018963968.0;  // 2^-55: the modulator's full scale
const QString kOfflineRateText = QStringLiteral("(offline)");

void peakPair(int row, double pair[2]) { _mm_storeu_pd(pair, getPeakHoldAudio(row)); }

}  // namespace

void MainWindow::takeSeveralHundredMili() {
    if (!ui) return;
    // What the device thread could not say or do there, and the mixer
    // record to the engine when it changed.
    (void)rtDiag_drain();
    gAudioThread_publishMixParam();

    // The engine's position runs a device buffer ahead of what is heard.
    // The counter, cursor and meters therefore show values from a ring of
    // past ticks, as many ticks as one device buffer lasts, so they match
    // the sound rather than the engine.
    const int bufferFrames = gAudioThread_getAudioBufferFrameSize();
    const int64_t offset = counterDisplayOffset();
    ++mTickCount;
    const int ringLength = transport_ringLength(bufferFrames, mPlayFs);
    trgPeakHoldAudio(0);

    const int tracks = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    const int firstRate = int(mTracks[0].fileInfo.sampleRate);
    const bool recording = mRecState == 3 || mRecState == 4;
    // The capture is counted at the recording's own rate.
    const int recordingRate = mRecParams.rate > 0 ? mRecParams.rate : mPlayFs;
    const bool enginePlays = checkPlayStatusImmd() == 0;
    double master[2] = {0.0, 0.0};
    double trackPeaks[kMainTrackSlots][2] = {};
    bool placeCursor = false;
    uint64_t position = 0;  // what the end of the in-out range is compared with

    auto showDelayedCounter = [this, ringLength](const QString &text, int64_t shown) {
        ui->lineEditTime->setText(mCounterRing[mCounterRingIndex]);
        mCounterRing[mCounterRingIndex] = text;
        if (++mCounterRingIndex >= ringLength) mCounterRingIndex = 0;
        showMarkName(shown);
    };
    auto readPeaks = [&] {
        for (int t = 0; t < tracks; ++t) peakPair(t, trackPeaks[t]);
        peakPair(-1, master);
    };

    // Position, counter and cursor. While recording they count from the
    // start of the capture; while nothing plays, monitors or records, the
    // peaks are read and dropped so that a later start does not show stale
    // levels.
    if (recording) {
        const int64_t count = gAudioThread_getCurrentOutSampleCount();
        if (mRecState == 3) mRecStartCount = count;
        const int64_t recPosition = mRecState == 3 ? 0 : count - mRecStartCount;
        mCursorSample = recPosition;
        QString text;
        prepareTimeInfoDisp(text, recPosition, recordingRate);
        showDelayedCounter(text, recPosition);
        const double p = double(mPositionRing[mCounterRingIndex]);
        const double minute = double(recordingRate) * 60.0;
        mCursorFraction = minute > 0 ? p / minute - std::floor(p / minute) : 0.0;
        mPositionRing[mCounterRingIndex] = recPosition;
        placeCursor = true;
        readPeaks();
    } else if (!enginePlays && !COscClass.getOscStatus() && !engine().inputMonitorEnable.load(std::memory_order_relaxed)) {
        double discard[2];
        for (int t = 0; t < tracks; ++t) {
            peakPair(t, discard);
            gAudioThread_clearPeakAudioTrack(t);
        }
        peakPair(-1, discard);
    } else {
        position = mPlayFs > 0 ? uint64_t(double(getPlayingSample()) * double(firstRate) / double(mPlayFs)) : 0;
        mCursorSample = int64_t(position);
        QString text;
        prepareTimeInfoDisp(text, int64_t(position) + offset, firstRate);
        showDelayedCounter(text, int64_t(position) + offset);
        const tTransportMaterial material = transport_material(trackInfos().data(), mMixParam, tracks);
        setMaxWaveLengthThreadID(material.longestTrack);
        const double p = double(mPositionRing[mCounterRingIndex]);
        mCursorFraction = material.length ? p / double(material.length) : 0.0;
        mPositionRing[mCounterRingIndex] = int64_t(position);
        placeCursor = true;
        readPeaks();
    }
    if (placeCursor) {
        if (mSkipCursorOnce) {
            mSkipCursorOnce = false;
        } else {
            const double x = calcCurrentCursor(mCursorFraction);
            if ((x > 1.0 || x < 0.0) && !mSliderHeld) drawWaveFrom();
        }
    }
    // A running recording fills its one-minute overview.
    if (mRecState == 4) updateRecOverview();
    if (recording) position = 0;

    emit peakMasterUpdated(master);

    // The end of the in-out range: stop within one tick, and the counter
    // shows the out point itself, not where the engine had got to.
    if (checkPlayStatusImmd() == 0 && mDialogEdit &&
        position > uint64_t(std::max<int64_t>(0, mDialogEdit->mExportRegion.outPoint))) {
        const int64_t out = mDialogEdit->mExportRegion.outPoint;
        on_stopButton_clicked();
        if (mTracks[0].audioThread) mTracks[0].audioThread->setForceStatus(0);
        if (mRepeatMode) {
            on_zeroPlayButton_clicked();
        } else {
            mCursorSample = out;
            const int64_t atPlayRate = firstRate > 0 ? int64_t(uint64_t(double(out) * mPlayFs / firstRate)) : out;
            QString text;
            prepareTimeInfoDisp(text, atPlayRate + offset, mPlayFs);
            for (int i = 0; i < kMainRingEntries; ++i) {
                mCounterRing[i] = text;
                mPositionRing[i] = out;
            }
            ui->lineEditTime->setText(text);
            showMarkName(atPlayRate + offset);
            if (++mCounterRingIndex >= ringLength) mCounterRingIndex = 0;
            const tTransportMaterial material = transport_material(trackInfos().data(), mMixParam, tracks);
            setMaxWaveLengthThreadID(material.longestTrack);
            mCursorFraction = material.length ? double(out) / double(material.length) : 0.0;
            const double x = calcCurrentCursor(mCursorFraction);
            if ((x > 1.0 || x < 0.0) && !mSliderHeld) drawWaveFrom();
        }
    }

    // Meters are shown from the rings, as old as the counter, and this
    // tick's peaks take their place in the ring.
    const int meterRate = recording ? recordingRate : mPlayFs;
    const bool dsd = meterRate >= kDsdMeterRate;
    const int mode = dsd ? kMeterModeDsd : kMeterModePcm;
    const int slot = 2 * mMeterRingIndex;
    if (mMasterMeterRing) {
        const double *shownMaster = mMasterMeterRing + slot;
        ui->widgetMeter->setMeterData(shownMaster, mode, kTransportTickMs);
        if (!dsd && mCore.mDynamics) {
            mDialogDynamics.setMeterData(kDynamicsMeterIn, mCore.mDynamics->getInputMeterData());
            mDialogDynamics.setMeterData(kDynamicsMeterOut, mCore.mDynamics->getOutputMeterData());
            mDialogDynamics.setMeterData(kDynamicsMeterReduction, mCore.mDynamics->getReductionData());
        }
        if (mMixer) {
            const double scale = dsd ? kDsdStripScale : kPcmStripScale;
            for (int t = 0; t < tracks; ++t) {
                if (!mMixer->mChStrip[t] || !mTracks[t].meterRing) continue;
                const double levels[2] = {mTracks[t].meterRing[slot] * scale, mTracks[t].meterRing[slot + 1] * scale};
                mMixer->mChStrip[t]->setMeterData(levels, mode, kTransportTickMs);
            }
            if (mMixer->mMasterStrip) mMixer->mMasterStrip->setMeterData(shownMaster, mode, kTransportTickMs);
        }
        // Only what moved is drawn again: a meter at rest costs nothing.
        ui->widgetMeter->repaintChanged();
        if (mMixer) {
            emit mMixer->updateChMeter();
            emit mMixer->updateMasterMeter();
        }
        mMasterMeterRing[slot] = master[0];
        mMasterMeterRing[slot + 1] = master[1];
        for (int t = 0; t < tracks; ++t) {
            if (!mTracks[t].meterRing) continue;
            mTracks[t].meterRing[slot] = trackPeaks[t][0];
            mTracks[t].meterRing[slot + 1] = trackPeaks[t][1];
        }
        if (++mMeterRingIndex >= ringLength) mMeterRingIndex = 0;
        if (mMasterPeak && mPrevMasterPeak) {
            mPrevMasterPeak[0] = mMasterPeak[0];
            mPrevMasterPeak[1] = mMasterPeak[1];
            mMasterPeak[0] = master[0];
            mMasterPeak[1] = master[1];
        }
    }

    // A track whose overview is still being computed is drawn as it
    // grows, one track a tick.
    const auto overviewPending = [this](int t) { return mTracks[t].waveJobActive == 1 && mTracks[t].waveJobDone == 0; };
    for (int t = 0; t < tracks; ++t) {
        if (!overviewPending(t)) continue;
        waveFormRedraw(mViewOffset, kRedrawModeIncremental);
        break;
    }

    // A device that has delivered no buffer for about 20 s is taken for
    // gone: the user is told, playback stops and the selection goes back to
    // the first driver and the no-device entry, rather than waiting on a
    // device that will not answer.
    if (mWatchdogEnabled && downCountWDT(kTransportTickMs)) {
        QMessageBox::warning(this, tr("Audio Device is Offline"), tr("Selected audio device goes offline."),
                             QMessageBox::Ok);
        setWDT(kTransportWatchdogMs);
        mWatchdogEnabled = false;
        on_stopButton_clicked();
        if (mTracks[0].audioThread) mTracks[0].audioThread->setForceStatus(0);
        on_comboBox_driver_currentIndexChanged(0);
        selectPlayRecDevice(0, mRecDevIndex);
    }

    // The worker threads only write their progress; the bars are moved
    // here, on the window's thread.
    mLoadingBar.setValue(mFlacProgress);
    mSplitBar.setValue(mSplitProgress);

    // While armed, the rec and play buttons blink together.
    if (mRecState == 3 && ++mArmBlinkCount % 8 == 0) {
        ui->recButton->setChecked(!ui->recButton->isChecked());
        ui->playButton->setChecked(ui->recButton->isChecked());
    }

    // An offline device entry is booted again about every 3 s; a buffer
    // size changed behind the program's back is reconnected.
    if (mDriverType == 0 && ui->comboBox_asioDev->currentIndex() > 0 &&
        ui->comboBox_asioFreq->currentText() == kOfflineRateText) {
        if (mOfflineRetryCount++ >= 66) {
            selectPlayRecDevice(ui->comboBox_asioDev->currentIndex(), mRecDevIndex);
            mOfflineRetryCount = 0;
        }
    } else if (mReconnectPending) {
        const int selected = ui->comboBox_asioDev->currentIndex();
        selectPlayRecDevice(0, mRecDevIndex);
        selectPlayRecDevice(selected, mRecDevIndex);
        mReconnectBox.setIcon(QMessageBox::Information);
        mReconnectBox.setText(tr("The audio buffer size has been changed.\nReconnected."));
        mReconnectBox.exec();
        mReconnectPending = false;
        gAudioThread_clearBufferSizeChanged();
        mOfflineRetryCount = 0;
        mBufferChangeExpected = false;
    } else {
        mOfflineRetryCount = 0;
    }

    // While a mix-down runs, the conversion and mix counters go to the
    // trace about once a second.
    if (mBouncing && mBounceTraceCountdown-- <= 1) {
        mBounceTraceCountdown = 20;
        if (DebugClient::sDebugLevel >= 10) traceBounceCounters();
    }

    // The Lissajous window gets the last tick's worth of frames from the
    // engine's ring, once it has been opened.
    if (mLissajousShown) {
        int n = meterRate * kTransportTickMs / 1000;
        if (dsd) n /= std::max(1, int(engine().meterFirInterval.load(std::memory_order_relaxed)));
        int start = gAudioThread_getLissajousBufWrCount() - n;
        if (start < 0) start += kLissajousFrames;
        mDialogLissajous.setLissajous(gAudioThread_getLissajousBuf(), n, kLissajousFrames, start);
        mDialogLissajous.redrawLissajous();
    }

    // The master equaliser's spectrum follows the analysis order the engine
    // is using.
    if (mMasterPeqDialog) {
        int order = 0;
        (void)getPlayingFftAnalyzing(kMainEqMasterId, 0, &order);
        mMasterPeqDialog->setFFTOrder(order);
    }

    // The full redraws that openFile2 scheduled. They wait while track 0's
    // overview is still growing, which the incremental draw above shows.
    if (mRedrawCountdown > 0 && !overviewPending(0) && --mRedrawCountdown == 0) {
        waveFormRedraw(mViewOffset, kRedrawModeFull);
        if (mRedrawRepeats > 0) {
            --mRedrawRepeats;
            mRedrawCountdown = 333;
        }
    }

    // Once the first block of a play start has gone to the device, the
    // start is no longer pending.
    if (gAudioThread_getPlayStarted()) mAwaitingPlayStart = false;

    // A buffer-size change: expected after a rate change, else
    // reconnected on the next tick (driver type 0 only).
    if (gAudioThread_getBufferSizeChangedFlag() && !mReconnectPending) {
        if (!mBufferChangeExpected && mDriverType == 0) {
            mReconnectPending = true;
        } else {
            gAudioThread_clearBufferSizeChanged();
            mBufferChangeExpected = false;
        }
    }

    // A new device pixel ratio makes the track view resize for it.
    const float ratio = float(devicePixelRatio());
    if (ratio != mPixelRatio) {
        ui->widgetTrack1->setGeometry(QRect(QPoint(50, 164), QPoint(748, ratio > mPixelRatio ? 343 : 342)));
        ui->widgetTrack1->changePixelRatio(ratio);
        if (ratio < mPixelRatio) ui->widgetTrack1->setGeometry(QRect(QPoint(50, 164), QPoint(749, 343)));
        mPixelRatio = ratio;
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
