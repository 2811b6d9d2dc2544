// The end of a playback job as the first track's audio thread reports it:
// at a normal end the cursor goes to the end of the material and repeat
// plays again from the in point; a failure is shown with its code. Only the
// first track's thread is connected, so the end of playback is reported
// once however many tracks play.
//
// GUI thread only (a queued connection from the audio thread).
#include <QMessageBox>
#include <QThread>

#include "app/mainwindow.h"
#include "app/transportlogic.h"
#include "engine/engineparams.h"
#include "engine/vsathread.h"
#include "ui_mainwindow.h"

void MainWindow::allTransactionsDone(int result) {
    if (transport_isNormalEnd(result)) {
        if (mPlayActive) {
            const tTransportMaterial material = transport_material(trackInfos().data(), mMixParam, mMixParam.trackCount);
            setMaxWaveLengthThreadID(material.longestTrack);
            mCursorSample = int64_t(material.length);
            const int64_t shown = mCursorSample + counterDisplayOffset();
            QString text;
            prepareTimeInfoDisp(text, shown, int(mTracks[0].fileInfo.sampleRate));
            ui->lineEditTime->setText(text);
            showMarkName(shown);
            mCursorFraction = 1.0;
            calcCurrentCursor(1.0);
        }
        // A repeat that zero play would ignore as a double press (material
        // shorter than its 300 ms) ends like a normal end: returning here
        // would leave the transport believing a start is pending, and the
        // play button would start nothing again.
        if (mRepeatMode && !mStopRequested && !transport_zeroPlayTooSoon(mTickCount, mLastZeroPlayTick)) {
            on_zeroPlayButton_clicked();
            return;
        }
    } else {
        const QString message =
            tr(transport_failureText(result)) + QStringLiteral("\n") + tr("[Code = %1]").arg(result);
        QMessageBox::warning(this, tr("Playback Failed"), message, QMessageBox::Ok);
    }

    mStopRequested = false;
    if (!mAwaitingPlayStart) ui->playButton->setChecked(false);
    mTransportCommand = kTransportStop;
    if (mCore.mVsaThread) {
        mCore.mVsaThread->stop();
        for (int i = 0; i < 200 && !mCore.mVsaThread->isEnded(); ++i) QThread::msleep(10);
    }
}
