// The main window's track slots: adding a slot with its worker, envelope
// builder, overview arrays, equaliser and mixer strip; removing every track
// before a file is opened as the only one; deleting one track and closing
// the gap; the per-track edit records; the edit-mode switch; the MIXER,
// EDIT and TAG INFO. buttons and the tag editor's confirmation.
//
// Slot 0's objects are made by the constructor and live until shut-down;
// the objects of slots 1 to 31 come and go here. GUI thread only; the
// mixer-analysis thread stays out of its cycle while slots change.
#include "app/mainwindow.h"

#include <algorithm>
#include <cstring>

#include "app/startupthreads.h"
#include "base/alignedalloc.h"
#include "editing/cheditstrip.h"
#include "editing/editwindow.h"
#include "editing/timelinemgr.h"
#include "engine/engineparams.h"
#include "engine/metering.h"
#include "mixer/dialogpeq.h"
#include "mixer/mixer.h"
#include "ui_mainwindow.h"

void MainWindow::freeOverview(MainWindow &w, int s) {
    for (int k = 0; k < kMainWaveLevels; ++k) {
        _aligned_free(w.mTracks[s].waveMax[k]);
        _aligned_free(w.mTracks[s].waveMin[k]);
        w.mTracks[s].waveMax[k] = w.mTracks[s].waveMin[k] = nullptr;
    }
}

void MainWindow::analysisPaused(MainWindow &w, bool paused) {
    if (w.mCore.mMixerThread) w.mCore.mMixerThread->setAnalysisOn(!paused);
}

void MainWindow::tellAnalysisTrackCount(MainWindow &w, int count) {
    if (!w.mCore.mMixerThread) return;
    w.mCore.mMixerTransactParams.status = 0;
    w.mCore.mMixerTransactParams.trackCount = count;
    w.mCore.mMixerTransactParams.sampleRate = &w.mPlayFs;
    w.mCore.mMixerThread->setParams(&w.mCore.mMixerTransactParams);
}

// ---- Adding a slot -------------------------------------------------------------

bool MainWindow::addTrackSlot(int n) {
    if (n < 1 || n >= kMainTrackSlots) return false;
    // A slot left over from an earlier attempt, or from a deleted track,
    // keeps its builder and worker: they are reused rather than leaked.
    if (!mTracks[n].trackVolume) mTracks[n].trackVolume = new dspVolume;
    if (!mTracks[n].waveFormThread) {
        mTracks[n].waveFormThread = new waveFormThread(nullptr);
        mTracks[n].waveFormThread->setTrackGraphic(ui->widgetTrack1);
    }
    connect(mTracks[n].waveFormThread, &waveFormThread::waveFormPrepared, this, &MainWindow::waveFormPreparedMain,
            Qt::UniqueConnection);
    if (mCore.mLibrary && mCore.mLibrary->loaded) mTracks[n].waveFormThread->setWaveFormFunc(getAudioWaveForm);

    const int overview = getMemoryForWaveForming(n);
    const int eq = getMemoryForEQ(n);
    if (overview < 0 || eq < 0) {
        QMessageBox box(QMessageBox::Critical, tr("Error"),
                        tr("Insufficient Memory.") + QLatin1Char('\n') + tr("Couldn't add the track. (") +
                            QString::number(overview) + QStringLiteral("  ") + QString::number(eq) +
                            QStringLiteral(")"),
                        QMessageBox::Ok, this);
        box.exec();
        return false;
    }

    if (allocateChFFTbuffer(n) == kEngineMemOk && mTracks[n].peqDialog) {
        int length = 0;
        double *left = getPlayingFftAnalyzing(n, 0, &length);
        double *right = getPlayingFftAnalyzing(n, 1, &length);
        mTracks[n].peqDialog->setFFTPointer(0, left, right, length);
    }
    initEQParams(n);
    mMixParam.trackCount = n + 1;

    analysisPaused(*this, true);
    if (mMixer) mMixer->addDelTrack(1, n + 1);
    emit addDelTrack(1);
    analysisPaused(*this, false);
    tellAnalysisTrackCount(*this, n + 1);
    return true;
}

// ---- Removing tracks -------------------------------------------------------------

void MainWindow::deleteAllTracks() {
    const int a = std::clamp<int>(mMixParam.trackCount, 1, kMainTrackSlots);
    if (mChEditStrip) {
        mChEditStrip->hide();
        mChEditStrip->deleteAllTracks();
    }
    mMixParam.trackCount = 1;
    mOverview.length[0] = 0;

    mWaveParams = tSetWaveFormParams();
    mWaveParams.trackLengths = mOverview.length;
    ui->widgetTrack1->setWaveForm(&mWaveParams);

    analysisPaused(*this, true);
    for (int s = a - 1; s >= 1; --s) {
        ui->widgetTrack1->setNumOfTrack(s);
        if (mMixer) mMixer->addDelTrack(-1, s);
        stopWaveFormThread(s);
        mTracks[s].waveJobActive = 0;  // a late report of its job is ignored
        emit addDelTrack(-1);
        freeChFFTbuffer(s);
        freeOverview(*this, s);
        delete mTracks[s].peqDialog;
        mTracks[s].peqDialog = nullptr;
        delete mTracks[s].peq;
        mTracks[s].peq = nullptr;
        publishEqTable();
        delete mTracks[s].trackVolume;
        mTracks[s].trackVolume = nullptr;
        // A thread still busy after its bounded wait is left running
        // rather than deleted under its own feet.
        if (mTracks[s].audioThread) mTracks[s].audioThread->stop();
        startup_deleteWhenStopped(mTracks[s].audioThread, 10);
        if (mThreadCount > 0) {
            gAudioThread_clearTrackInfo(s);
            --mThreadCount;
        }
        if (mTracks[s].waveFormThread) mTracks[s].waveFormThread->stop();
        startup_deleteWhenStopped(mTracks[s].waveFormThread, 10);
    }
    analysisPaused(*this, false);
    tellAnalysisTrackCount(*this, 1);
    for (int t = a - 1; t >= 0; --t) mProject.deleteTrack(t);
    mMixParam.trackCount = 1;
}

void MainWindow::on_pushButtonDel_clicked() {
    const int n = mMixParam.trackCount;
    if (n <= 1) {
        // The first track is the material the form describes; it is
        // replaced by opening another file, never left empty.
        QMessageBox box(QMessageBox::Warning, tr("Error"), tr("The only track cannot be deleted."), QMessageBox::Ok,
                        this);
        box.exec();
        return;
    }
    const int height = std::max(1, ui->widgetTrack1->height());
    const int t = std::clamp(int(float(mLastClickY) * float(n) / float(height)), 0, n - 1);
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Confirmation"), tr("Deleting Track") + QString::number(t + 1) + tr(".\nAre you sure?"),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer != QMessageBox::Ok) return;
    renumberAndDeleteTrack(t);
    waveFormRedraw(getTotalWaveFormLen(), kRedrawModeFull);
}

void MainWindow::renumberAndDeleteTrack(int a) {
    const int N = mMixParam.trackCount;
    // Deleting the only track would leave no first track and slot 0
    // without its arrays and worker: refused.
    if (N <= 1 || a < 0 || a >= N || N > kMainTrackSlots) return;

    analysisPaused(*this, true);
    if (mMixer) mMixer->addDelTrack(-1, a);

    // The track's overview and equaliser go with it (the engine reads the
    // equaliser records of the tracks in use only, and a leaves them below).
    stopWaveFormThread(a);
    freeOverview(*this, a);
    tPEQ *const deletedPeq = mTracks[a].peq;
    DialogPeq *const deletedWindow = mTracks[a].peqDialog;
    if (deletedWindow) {
        disconnect(deletedWindow, &DialogPeq::windowClosed, this, &MainWindow::eqWindowCloseEvent);
        disconnect(deletedWindow, &DialogPeq::selectAllEqOnOff, this, &MainWindow::selAllEqOnOff);
    }
    mTracks[a].peq = nullptr;
    mTracks[a].peqDialog = nullptr;

    // The tracks above move down a slot, each as one record with its
    // threads, file, edits and overview; the deleted record ends up in the
    // last slot, which is now unused. Each audio thread learns its new track
    // number; the engine's mixer records move with them.
    track_moveToEnd(mTracks, a, N);
    publishEqTable();
    delete deletedWindow;
    delete deletedPeq;
    asignEQParameterTrack(a);
    if (a < N - 1) {
        for (int i = a; i < N - 1; ++i) {
            if (mTracks[i].audioThread) setAudioIoThreadId(mTracks[i].audioThread->getThreadIndex(), i);
            mMixParam.ch[i] = mMixParam.ch[i + 1];
        }
        mTracks[N - 1].audioThread = nullptr;
    }
    // The mixer moved its mute and solo flags with the strips; the factors in
    // the moved records follow them only once the records are in place.
    if (mMixer) mMixer->calcMuteSoloVolume();

    // The last slot is now unused: its worker stops and the view, the
    // mixer and the project count one track fewer.
    const int m = N - 1;
    ui->widgetTrack1->setNumOfTrack(m);
    stopWaveFormThread(m);
    mTracks[m].waveJobActive = 0;
    emit addDelTrack(-1);
    mProject.deleteTrack(a);
    --mThreadCount;
    if (mTracks[m].waveFormThread)
        disconnect(mTracks[m].waveFormThread, &waveFormThread::waveFormPrepared, this, &MainWindow::waveFormPreparedMain);
    mMixParam.trackCount = m;

    // Every remaining track is described again from its moved file, so the
    // feed records match their new slots.
    for (int i = 0; i < mThreadCount && i < kMainTrackSlots; ++i) getAudioParam(&mPlayJob, mTracks[i].path, i);
    analysisPaused(*this, false);
}

// ---- Edit records, edit mode and the track buttons -----------------------------

void MainWindow::trackEditParamChangeEvent(tWaveEditParam *edit, int t) {
    if (!edit || t < 0 || t >= kMainTrackSlots) return;
    // The record is what the sender has: its own size, not the size of the
    // slot it is kept in.
    static_assert(sizeof(tWaveEditParam) <= kMainRegionRecordBytes, "an edit record fits its slot");
    std::memcpy(mTracks[t].edit, edit, sizeof(tWaveEditParam));
    tWaveEditParam kept;
    std::memcpy(&kept, mTracks[t].edit, sizeof kept);
    const tDspVolumeParam options;
    (void)dspVolume::setDspVolume(int64_t(mTracks[t].fileInfo.totalSamples), &kept, mTracks[t].fileInfo.sampleRate, uint32_t(mPlayFs),
                                  0, mTracks[t].envelope, 0, &options);
}

void MainWindow::openEditTrackWindow() {
    if (!mChEditStrip) return;
    const int n = std::max(1, int(mMixParam.trackCount));
    const int height = std::max(1, ui->widgetTrack1->height());
    const int t = std::clamp(int(float(mLastClickY) * float(n) / float(height)), 0, n - 1);
    if (t == mEditTrack) {
        mChEditStrip->redrawWaveForm();
    } else {
        mEditTrack = t;
        tChEditerParameters p;
        p.lockFlag = &mRecState;
        p.path = mTracks[t].path;
        p.length = int64_t(uint32_t(mTracks[t].fileInfo.totalSamples));
        p.delay = int64_t(double(mTracks[t].fileInfo.sampleRate) * mMixParam.ch[t].delayMs / 1000.0);
        mChEditStrip->addChEditParameters(t, &p);
    }
    mChEditStrip->show();
}

void MainWindow::editModeClicked(bool multi) {
    setMultiTrackMode(multi);
    const uint64_t longest = longestTrackEnd();
    mCursorFraction = longest ? double(mCursorSample) / double(longest) : 0.0;
    const double z = mWaveZoom < 1.0 ? 1.0 : mWaveZoom;
    const double L = double(mWaveLevelLength[waveLevelForZoom(z)]);
    if (L > 0.0) ui->widgetTrack1->lineCurrentPosition((mCursorFraction * L - double(mViewOffset)) / (L / z));
    if (mChEditStrip) mChEditStrip->setCursorPosition(mCursorFraction);
    waveFormRedraw(mViewOffset, kRedrawModeFull);
}

void MainWindow::on_pushMixer_clicked() {
    if (!mMixer) return;
    mMixer->repaint();
    mMixer->show();
    mMixer->raise();
    mMixer->redrawWindow();
    emit openMixerWindow();
}

void MainWindow::on_pushEditWin_clicked() {
    if (!mTimelineMgr) mTimelineMgr = new timelineMgr(nullptr);
    if (QWidget *window = mTimelineMgr->getEditWIndowPointer()) {
        window->show();
        window->raise();
    }
}

void MainWindow::on_pushButtonEditTag_clicked() {
    const uint32_t type = mTracks[0].fileInfo.fileType;
    tEnumTagType tag = kTagTypeWav;
    if (mOpenedFrom == 1)
        tag = kTagTypeFlac;
    else if (type == 0 && mOpenedFrom == 0)
        tag = kTagTypeWav;
    else if (type == 1)
        tag = kTagTypeFlac;
    else if (type == 2)
        tag = kTagTypeDsf;
    else if (type == 3)
        tag = kTagTypeDsdiff;
    else if (type == 4)
        tag = kTagTypeWsd;
    mDialogEditTag.setTagType(tag);
    mDialogEditTag.setID3tagInfo(&mID3tagInfo);
    mDialogEditTag.show();
    mDialogEditTag.raise();
}

void MainWindow::tagParamConfirmed() {
    mDialogEditTag.getEditedTagInfo(&mID3tagInfo);
    mTracks[0].fileInfo.startSample = uint64_t(tagHMSFtoStartTcSample(&mID3tagInfo));
}

void MainWindow::initTagInfo(tID3tagInfo *tag) {
    if (tag) gInitTagInfo(tag);
}
