// The main window's transport: the play, stop and zero-play buttons, the
// check that playing is possible, the rate a start falls back to when the
// last one became unusable, the hand-over of one play job per track to the
// track's audio thread, and the bounded wait of a stop.
//
// GUI thread only. The engine status, the stop request and the time-out
// flag are words the engine shares without a lock; every wait here is a
// poll with 10 ms sleeps, never a join.
#include <QComboBox>
#include <QMessageBox>
#include <QThread>

#include <cstdio>

#include "app/devicelists.h"
#include "app/mainwindow.h"
#include "app/transportlogic.h"
#include "audiofile/audiohelpers.h"
#include "editing/dialogedit.h"
#include "engine/bufferswitch.h"
#include "engine/capturering.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/playbackproducer.h"
#include "engine/vsathread.h"
#include "ui_mainwindow.h"

namespace {

const QString kOfflineRate = QStringLiteral("(offline)");

// Polls `done` every 10 ms, at most `sleeps` times.
template <typename F>
void pollEvery10ms(F done, int sleeps) {
    for (int i = 0; i < sleeps && !done(); ++i) QThread::msleep(10);
}

}  // namespace

void MainWindow::on_playButton_clicked() {
    if (mRateChanging) return;
    const bool checked = ui->playButton->isChecked();
    // While armed or recording the button belongs to the recorder: it starts
    // an armed recording.
    if (mRecState == 3 || mRecState == 4) {
        on_recButton_clicked();
        return;
    }
    int64_t *delays = getDelayTable();
    const int tracks = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int t = 0; t < tracks; ++t) delays[t] = 0;
    if (checked)
        playStart();
    else
        ui->playButton->setChecked(true);  // a lit play button never stops playback
}

bool MainWindow::playStart() {
    gAudioThread_clearPeakAudio();
    clearMasterPeaks();

    if (gAudioThread_getPlayTimeoutFlag() || mReselectRate) {
        stopRequest();
        selectPlayFs();
        const int rate = playRates_fit(mPlayFs, deviceRateList());
        mPlayFs = rate;
        mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(rate));
        changeFs(rate);
        gAudioThread_clearPlayTimeoutFlag();
        mReselectRate = false;
        ui->playButton->setChecked(true);
    }

    if (!isPlayableCondition()) {
        ui->playButton->setChecked(false);
        return false;
    }

    setDsdPureOrNot(checkDsdPurity());
    trackEditParamChanged(0);
    // The jobs and the device read the mixer record as it is now.
    gAudioThread_publishMixParam();

    mPlayStatus = mTracks[0].audioThread ? mTracks[0].audioThread->getStatus() : 0;
    // A second start before the first job reached the engine queues nothing.
    if (mPlayStatus == 0 && (mTransportCommand == kTransportStop || mTransportCommand == kTransportNone)) {
        const tWaveEditParam &region = mDialogEdit->mExportRegion;
        // At the out point (where a play that ran to the end leaves the
        // cursor) nothing is left to play: a job started there would end
        // before its first block sounds and leave the button lit in silence.
        if (mCursorSample >= region.outPoint) {
            ui->playButton->setChecked(false);
            return false;
        }
        tTimeInfo start = transport_timeInfo(mCursorSample, int(mTracks[0].fileInfo.sampleRate));
        mTransportCommand = kTransportPlay;
        // A stop asked for just as the material ran out is never carried
        // out; left standing it would end this start after one buffer.
        engine().stopRequest.store(false, std::memory_order_relaxed);
        rezeroReverbBuffer();
        if (audioThread_resetDSDBuffers() != kEngineMemOk)
            std::fprintf(stderr, "SonvexEditor: the DSD idle buffer could not be had\n");

        const bool single = mMixParam.trackCount < 2;
        for (int t = 0; t < mThreadCount && t < kMainTrackSlots; ++t) {
            audioThread *thread = mTracks[t].audioThread;
            if (!thread) continue;
            getAudioParam(&mPlayJob, mTracks[t].path, t);
            const int64_t delay = int64_t(double(mMixParam.ch[t].delayMs) * double(mTracks[t].fileInfo.sampleRate) / 1000.0);
            thread->setAudioThreadParam(kMorphexCmdPlay, &mPlayJob, &mTracks[t].fileInfo, &start,
                                        single ? mSingleVolItems : mTracks[t].envelope, t, &mID3tagInfo, delay);
            thread->addTransaction(new ClassMorphex(2));
            thread->setPriority(QThread::HighestPriority);
        }
    }
    mPlayActive = true;
    mAwaitingPlayStart = true;
    return true;
}

bool MainWindow::isPlayableCondition() {
    const char *title = nullptr, *text = nullptr;
    if (mTracks[0].path.isEmpty()) {
        title = QT_TR_NOOP("File Not Opened");
        text = QT_TR_NOOP("Please open audio file.");
    } else if (ui->comboBox_asioDev->currentIndex() <= 0) {
        title = QT_TR_NOOP("Audio Device Not Selected");
        text = QT_TR_NOOP("Please select audio device.");
    } else if (ui->comboBox_asioFreq->currentText() == kOfflineRate) {
        title = QT_TR_NOOP("Audio Device is Offline");
        text = QT_TR_NOOP("Please connect active audio device.");
    }
    if (!title) return true;
    QMessageBox::warning(this, tr(title), tr(text), QMessageBox::Ok);
    return false;
}

void MainWindow::on_zeroPlayButton_clicked() {
    if (transport_zeroPlayTooSoon(mTickCount, mLastZeroPlayTick)) return;
    const int64_t p = mDialogEdit->mExportRegion.inPoint;
    const tTransportMaterial material = transport_material(trackInfos().data(), mMixParam, mMixParam.trackCount);
    calcCurrentCursor(material.length ? double(p) / double(material.length) : 0.0);

    stopRequest();
    mCursorSample = p;
    const int64_t shown = p + counterDisplayOffset();
    QString text;
    prepareTimeInfoDisp(text, shown, int(mTracks[0].fileInfo.sampleRate));
    ui->lineEditTime->setText(text);
    showMarkName(shown);
    // The delayed counter would otherwise show where the last play was.
    for (int i = 0; i < kMainRingEntries; ++i) {
        mCounterRing[i] = text;
        mPositionRing[i] = p;
    }

    if (playStart()) ui->playButton->setChecked(true);
    mLastZeroPlayTick = mTickCount;
}

void MainWindow::on_stopButton_clicked() {
    if (mRecState != 3 && mRecState != 4) {
        mPlayActive = false;
        mAwaitingPlayStart = false;
        mRecState = 0;
        ui->recButton->setChecked(false);
        mInputMonitor = 0;
        gAudioThread_setMonitorStatus(false);
        stopRequest();
    } else {
        stopRecording();
    }
    (void)gAudioThread_clearEQparam();
    std::fputs("Stop button: playback stopped\n", stdout);
    std::fflush(stdout);
}

void MainWindow::stopRequest() {
    audioThread *first = mTracks[0].audioThread;
    mPlayStatus = first ? first->getStatus() : 0;
    mTransportCommand = kTransportStop;
    setDsdPureOrNot(checkDsdPurity());
    if (mPlayStatus == kEnginePlaying && first) {
        mStopRequested = true;
        first->stop();
        pollEvery10ms([first] { return first->getStatus() == 0; }, 150);
        if (mCore.mVsaThread) {
            vsaThread *vsa = mCore.mVsaThread;
            vsa->stop();
            pollEvery10ms([vsa] { return vsa->isEnded(); }, 200);
        }
    }
    mPlayStatus = 0;
    ui->playButton->setChecked(false);
}

void MainWindow::playLedOn(bool on) { ui->playButton->setChecked(on); }

void MainWindow::setWDTEnable(bool on) {
    setWDT(kTransportWatchdogMs);
    mWatchdogEnabled = on;
}

void MainWindow::repeatModeTriggered(bool checked) { mRepeatMode = checked; }

// Connected to the first track's thread; a started job needs nothing here.
void MainWindow::transactionStarted(int) {}

// Nothing makes the engine send this; the timer clears the flag instead.
void MainWindow::audioThreadPlayStarted(int) { mAwaitingPlayStart = false; }
