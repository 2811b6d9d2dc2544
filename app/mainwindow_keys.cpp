// The main window's keys, its set-point buttons and the region the track
// view's handles describe.
//
// The view keeps its in and out points, fades and click as fractions of the
// material; trackEditParamChanged turns them into samples of the first
// track's file for the export window, the position labels, the gain
// envelope of single-track playback and the tag's start timecode, and a
// click on the waveform moves the cursor there.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QKeyEvent>
#include <QTextToSpeech>
#include <QThread>

#include <cmath>

#include "editing/dialogedit.h"
#include "mixer/dialogpeq.h"
#include "widgets/trackgeometry.h"

namespace {

bool isPlayKey(const QKeyEvent *event) {
    return event->key() == Qt::Key_Space || (event->key() == Qt::Key_0 && (event->modifiers() & Qt::KeypadModifier));
}

}  // namespace

void MainWindow::keyPressEvent(QKeyEvent *event) {
    const bool keypad = (event->modifiers() & Qt::KeypadModifier) != 0;
    switch (event->key()) {
    case Qt::Key_Space: togglePlayback(false); break;
    case Qt::Key_0:
        if (keypad) togglePlayback(false);
        break;
    case Qt::Key_Period:
        if (keypad) on_stopButton_clicked();
        break;
    case Qt::Key_1:
        if (keypad)
            timeSkip(-5);
        else
            on_zoomOutTimeButton_clicked();
        break;
    case Qt::Key_2:
        if (keypad)
            timeSkip(5);
        else
            on_zoomInTimeButton_clicked();
        break;
    case Qt::Key_Left: markSkip(-1); break;
    case Qt::Key_Right: markSkip(1); break;
    case Qt::Key_F1: emit moveInPoint(mCursorFraction); break;
    case Qt::Key_F2: emit moveOutPoint(mCursorFraction); break;
    default: break;
    }
    // Keys end here: the window is the last to see them.
    event->accept();
}

void MainWindow::togglePlayback(bool speak) {
    mPlayStatus = mTracks[0].audioThread ? mTracks[0].audioThread->getStatus() : 0;
    if (mPlayStatus == 1) {
        // Without a speech engine saying is a no-op; it never waits.
        if (speak && mSpeech) mSpeech->say(QStringLiteral("STOP."));
        on_stopButton_clicked();
    } else {
        if (speak && mSpeech) mSpeech->say(QStringLiteral("PLAY."));
        // The first press lights the play button, the second starts.
        on_playButton_clicked();
        on_playButton_clicked();
    }
}

void MainWindow::widgetsKeyPressed(QKeyEvent *event) {
    if (!event) return;
    if (isPlayKey(event))
        togglePlayback(true);
    else
        keyPressEvent(event);
}

void MainWindow::on_setPointButtonSetIn_clicked() { emit moveInPoint(mCursorFraction); }

void MainWindow::on_setPointButtonSetOut_clicked() { emit moveOutPoint(mCursorFraction); }

void MainWindow::selectEqHFmode(bool checked) {
    if (DialogPeq *master = mMasterPeqDialog) master->selectEqHfMode(checked);
}

void MainWindow::trackEditParamChanged(int) {
    const trackGraphic *view = ui->widgetTrack1;
    const uint64_t length = getMaxSamples();
    const double L = static_cast<double>(length);
    const int64_t offset = counterDisplayOffset();
    const int rate = static_cast<int>(mTracks[0].fileInfo.sampleRate);

    tWaveEditParam region{};
    region.fadeInLength = static_cast<int64_t>((view->mFadeInEnd - view->mInPoint) * L);
    region.fadeOutLength = static_cast<int64_t>((view->mOutPoint - view->mFadeOutStart) * L);
    region.inPoint = static_cast<int64_t>(view->mInPoint * L);
    region.outPoint = static_cast<int64_t>(view->mOutPoint * L);
    region.gain = view->mGain;

    QString text;
    prepareTimeInfoDisp(text, region.fadeInLength, rate);
    ui->labelFadeIn->setText(tr("Fade In = ") + text);
    prepareTimeInfoDisp(text, region.fadeOutLength, rate);
    ui->labelFadeOut->setText(tr("Fade Out = ") + text);
    prepareTimeInfoDisp(text, region.inPoint + offset, rate);
    ui->labelInPoint->setText(tr("In Point = ") + text);
    prepareTimeInfoDisp(text, region.outPoint + offset, rate);
    ui->labelOutPoint->setText(tr("Out Point = ") + text);
    prepareTimeInfoDisp(text, region.outPoint - region.inPoint + 1, rate);
    ui->labelInOut->setText(tr("In-Out = ") + text);
    const double gainDb = region.gain > 0 ? 20.0 * std::log10(region.gain) : -HUGE_VAL;
    ui->lineEditGain_dB->setText(QString::number(gainDb, 'f', 1));

    if (mDialogEdit) mDialogEdit->mExportRegion = region;

    // Single-track playback fades and gains by this envelope; a file rate of
    // 0 (nothing open) leaves the previous one.
    if (dspVolume::setDspVolume(static_cast<int64_t>(length), &region, mTracks[0].fileInfo.sampleRate,
                                static_cast<uint32_t>(mPlayFs), 0, mSingleVolItems, 0, nullptr) == kDspVolOk &&
        region.fadeOutLength <= 0 && region.outPoint >= static_cast<int64_t>(length)) {
        // An out point at the end of the material without a fade-out: the
        // drop to silence would lie past the last sample, yet pure DSD passes
        // only while a buffer stays within one flat segment, so the file's
        // last buffers would not reach the device unchanged. The level holds
        // to the end instead.
        for (int k = 3; k < 6; ++k) mSingleVolItems[k] = {kDspVolEnd, region.gain, 0.0, 0};
    }

    if (mTracks[0].fileInfo.fileType == 0) {
        // A WAV export writes this as the file's start time.
        tTimeCode tc{};
        gTc_convSampleToTimeCode(static_cast<uint64_t>(region.inPoint) + mTracks[0].fileInfo.startSample, rate, mFrameType,
                                 &tc);
        mID3tagInfo.hour = tc.hour;
        mID3tagInfo.minute = tc.minute;
        mID3tagInfo.second = tc.second;
        mID3tagInfo.frame = tc.frame;
    }

    if (view->mDragState != kTrackDragCursor) return;

    // A click on the waveform: playback stops and the cursor goes there.
    mPlayActive = false;
    mAwaitingPlayStart = false;
    mPlayStatus = mTracks[0].audioThread ? mTracks[0].audioThread->getStatus() : 0;
    if (mPlayStatus == 1) stopRequest();

    mCursorSample = static_cast<int64_t>(view->mClickPosition * L);
    const int64_t shown = mCursorSample + offset;
    prepareTimeInfoDisp(text, shown, rate);
    ui->lineEditTime->setText(text);
    showMarkName(shown);
    mCursorFraction = length > 0 ? static_cast<double>(mCursorSample) / L : 0.0;
    for (int i = 0; i < kMainRingEntries; ++i) {
        mCounterRing[i] = text;
        mPositionRing[i] = mCursorSample;
    }
    ui->playButton->setChecked(false);
    if (ui->lineEditTime->hasFocus()) ui->lineEditTime->clearFocus();
}
