// The main window's EXPORT and COMBINE commands and its half of an export:
// EXPORT describes the open file in the export window and shows it; when
// the export window's checks pass, one track is converted by the export
// window directly, several tracks are first mixed down on the bounce
// thread (fed by every track's audio thread as playback is) into
// "SonvexBounceTemp" in the export folder, whose file the export window
// then converts. COMBINE presets the combine window with the open file.
//
// GUI thread only. The mix-down's progress word and status record are
// written by its job and read by the timers without a lock.
#include <QFile>
#include <QMessageBox>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <string>

#include "app/mainwindow.h"
#include "editing/cheditstrip.h"
#include "editing/dialogcombine.h"
#include "editing/dialogedit.h"
#include "editing/exportrules.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/playbackproducer.h"
#include "ui_mainwindow.h"
#include "widgets/filenamecheck.h"
#include "widgets/snxprogressdialog.h"

namespace {

// The engine fades out and stops within its own time-out; the export
// starts once that has passed.
constexpr int kStopSettleMs = 3000;
constexpr int kWsdFileType = 4;

// The start position of a feed: minutes, seconds and hundredths of `in` at
// `rate`, integer divisions.
tTimeInfo startTimeOf(int64_t in, uint32_t rate) {
    tTimeInfo t;
    if (rate == 0) return t;
    t.minutes = static_cast<uint8_t>(in / (int64_t(rate) * 60));
    t.seconds = static_cast<uint8_t>((in / rate) % 60);
    t.hundredths = static_cast<uint8_t>((in * 100 / rate) % 100);
    return t;
}

}  // namespace

// Pressing the form's stop button runs the transport's stop as a click
// would: playback is faded out and the mix-down's feeds end.
static void pressStop(Ui::MainWindow *ui) { ui->stopButton->click(); }

void MainWindow::on_pushButtonEdit_clicked() {
    if (!mDialogEdit) return;
    if (mTracks[0].path.isEmpty()) {
        QMessageBox::warning(this, tr("File Not Opened"), tr("Please open audio file."), QMessageBox::Ok);
        ui->playButton->setChecked(false);
        return;
    }
    if (!exportCheckRegion(this, mDialogEdit->mExportRegion)) return;

    mDialogEdit->mSourcePath = mTracks[0].path;
    const int trackCount = mMixParam.trackCount;
    const bool several = trackCount > 1;
    const QString channelText = several ? QStringLiteral("STEREO") : ui->label_orgCh->text();
    const int channels = several ? 2 : static_cast<int>(mTracks[0].fileInfo.channels);
    // The name the user opened (a decoded file is read from a temporary).
    mDialogEdit->setEditFileName(fileNameString(mDisplayPath.isEmpty() ? mTracks[0].path : mDisplayPath),
                                 ui->label_orgFileType->text(), ui->label_orgFreq->text(), ui->label_orgBit->text(),
                                 channelText, channels, trackCount);
    mDialogEdit->setDestination(&mExportDir);
    mDialogEdit->sendID3tagInfo(&mID3tagInfo, static_cast<int>(mTracks[0].fileInfo.sampleRate), mFrameType);
    mDialogEdit->show();
}

void MainWindow::convertExecute() {
    if (!mDialogEdit) return;
    if (mTracks[0].audioThread) mPlayStatus = mTracks[0].audioThread->getStatus();
    if (mPlayStatus == 1) {
        pressStop(ui);
        DialogEdit::waitMsec(kStopSettleMs);
    }

    const int trackCount = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    if (trackCount <= 1) {
        mDialogEdit->setBounceMonoFromRight(false);
        mDialogEdit->convertPlay(1);
        return;
    }

    // Several tracks: the engine is prepared for an offline mix.
    setDsdPureOrNot(false);
    clearBufBlkSizeFs();
    clearBufferParameters();
    trackEditParamChanged(0);
    mCore.mBounceThread->clearContFlags();
    std::memset(mDelayTable, 0, sizeof(int64_t) * static_cast<size_t>(trackCount));

    const tWaveEditParam region = mDialogEdit->mExportRegion;
    const int64_t in = region.inPoint;
    const uint32_t firstRate = mTracks[0].fileInfo.sampleRate;
    const tTimeInfo startTime = startTimeOf(in, firstRate);
    mTransportCommand = kMorphexCmdBounceFeed;
    mCursorSample = in;
    {
        QString text;
        prepareTimeInfoDisp(text, in, static_cast<int>(firstRate));
        ui->lineEditTime->setText(text);
        showMarkName(in);
    }

    // The longest track (the first on a tie) is the engine's reference.
    int64_t longest = 0;
    int reference = 0;
    for (int t = 0; t < trackCount; ++t) {
        const int64_t end = static_cast<int64_t>(double(mTracks[t].fileInfo.sampleRate) * mMixParam.ch[t].delayMs / 1000.0) +
                            static_cast<int64_t>(mTracks[t].fileInfo.totalSamples);
        if (end > longest) {
            longest = end;
            reference = t;
        }
    }
    setMaxWaveLengthThreadID(reference);
    mCursorFraction = longest > 0 ? double(in) / double(longest) : 0.0;
    calcCurrentCursor(mCursorFraction);

    clearBounceParam();
    const int feeds = std::min<int>(mThreadCount, kMainTrackSlots);
    for (int t = 0; t < feeds; ++t) {
        if (!mTracks[t].audioThread) continue;
        const int described = getAudioParam(&mPlayJob, mTracks[t].path, t);
        if (described < 0) {
            // A track that cannot be read would leave the mix waiting for
            // its feed: nothing is mixed, the feeds already queued end.
            for (int q = 0; q < t; ++q)
                if (mTracks[q].audioThread) mTracks[q].audioThread->stop();
            QMessageBox box(QMessageBox::Warning, QString(),
                            tr("Bounce failed.") + QStringLiteral("\n") + tr("[Code = %1]").arg(described),
                            QMessageBox::Ok, this);
            box.exec();
            return;
        }
        const int64_t delay = static_cast<int64_t>(double(mMixParam.ch[t].delayMs) * mTracks[t].fileInfo.sampleRate / 1000.0);
        mTracks[t].audioThread->setAudioThreadParam(kMorphexCmdBounceFeed, &mPlayJob, &mTracks[t].fileInfo, &startTime,
                                             mSingleVolItems, t, &mID3tagInfo, delay);
        mTracks[t].audioThread->addTransaction(new ClassMorphex(3));
        mTracks[t].audioThread->setPriority(QThread::HighestPriority);
    }

    mBounceParam = tBounceParam();
    mBounceStatus = tBounceStatusStruct();
    mDialogEdit->getBounceParams(&mBounceParam, mPlayFs);
    mBounceParam.trackCount = trackCount;
    mBounceParam.feedName = mPlayJob.dstPath;
    mBounceParam.length = region.outPoint - region.inPoint;
    mBounceParam.srcRate = static_cast<int32_t>(firstRate);
    mBounceParam.status = &mBounceStatus;
    // Two mono files are the left and the right of the mix: a mix-down of
    // one channel would leave the right file silent.
    if (mDialogEdit->getBounceToStereoFlag() == 2) mBounceParam.channels = 2;

    mCore.mBounceThread->setParameters(&mBounceParam);
    mCore.mBounceThread->addTransaction(new ClassBounce);
    mBouncing = true;
    mDialogEdit->showBounceProgress(&mBounceParam.progress);
}

void MainWindow::bounceFinished(int result) {
    mBouncing = false;
    pressStop(ui);
    DialogEdit::waitMsec(kStopSettleMs);
    if (!mDialogEdit) return;

    const QString bouncePath = QString::fromStdU16String(mBounceParam.bouncePath);
    if (result < 0) {
        // What the mix-down left is not a mix of the region.
        if (!bouncePath.isEmpty()) QFile::remove(bouncePath);
        QMessageBox box(QMessageBox::Warning, QString(),
                        tr("Bounce failed.") + QStringLiteral("\n") + tr("[Code = %1]").arg(result), QMessageBox::Ok,
                        this);
        box.exec();
        if (snxProgressDialog *progress = mDialogEdit->progressDialog()) progress->hide();
        return;
    }

    tWaveEditParam &region = mDialogEdit->mExportRegion;
    const double scale = mBounceParam.srcRate > 0 ? double(mBounceParam.outRate) / double(mBounceParam.srcRate) : 1.0;
    region.outPoint = static_cast<int64_t>(double(region.outPoint - region.inPoint) * scale);
    region.inPoint = 0;
    mDialogEdit->mSourcePath = bouncePath;

    const int flag = mDialogEdit->getBounceToStereoFlag();
    mDialogEdit->setBounceMonoFromRight(false);
    if (flag == 2) {
        // Both passes are queued back to back; the second is not queued
        // when the first could not be.
        if (mDialogEdit->convertPlay(1) < 0) return;
        mDialogEdit->setBounceMonoFromRight(true);
        mDialogEdit->convertPlay(1);
    } else {
        mDialogEdit->convertPlay(1);
    }
}

void MainWindow::bounceCancelEvent() {
    if (mCore.mBounceThread) mCore.mBounceThread->bounceStop();
}

void MainWindow::cancelBouncing() {
    mBouncing = false;
    QMessageBox::information(this, QString(), tr("Bounce aborted."));
}

void MainWindow::on_pushButton_Combine_clicked() {
    if (!mDialogCombine) return;
    const tAudioFileInfo &info = mTracks[0].fileInfo;
    // A decoded file is a temporary that the next decode overwrites: it is
    // not offered as the head file.
    if (!mTracks[0].path.isEmpty() && info.fileType != kWsdFileType && mOpenedFrom != 1) {
        mDialogCombine->setHeadFile(
            mTracks[0].path, fileNameString(mDisplayPath.isEmpty() ? mTracks[0].path : mDisplayPath),
            static_cast<int>(info.fileType), static_cast<int>(info.sampleRate), static_cast<int>(info.bitsPerSample),
            static_cast<int>(info.channels), static_cast<unsigned>(info.formatTag), ui->label_orgBit->text());
    }
    mDialogCombine->setDestination(&mExportDir);
    mDialogCombine->show();
}
