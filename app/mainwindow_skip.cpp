// The transport's skips, which the keys call: a jump of some seconds from
// the cursor, and a jump to the previous or next mark of the first track's
// file.
//
// GUI thread only.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <algorithm>

#include "engine/audiothread.h"

void MainWindow::timeSkip(int seconds) {
    // An armed or running recording owns the counter and the cursor.
    if (mRecState == 3 || mRecState == 4) return;
    const int status = mTracks[0].audioThread ? mTracks[0].audioThread->getStatus() : 0;
    mPlayStatus = status;
    // A mix-down or another job of the engine is not interrupted.
    if (status >= 2) return;

    stopRequest();
    if (mAwaitingPlayStart) ui->playButton->setChecked(true);

    const int rate = static_cast<int>(mTracks[0].fileInfo.sampleRate);
    const int64_t end = static_cast<int64_t>(getMaxSamples());
    int64_t cursor = mCursorSample + static_cast<int64_t>(seconds) * rate;
    if (cursor <= 0) cursor = 0;
    if (cursor >= end) cursor = end;
    mCursorSample = cursor;

    if (status == 1) {
        if (playStart()) ui->playButton->setChecked(true);
        return;
    }
    QString text;
    prepareTimeInfoDisp(text, cursor, rate);
    ui->lineEditTime->setText(text);
    calcCurrentCursor(end > 0 ? static_cast<double>(cursor) / static_cast<double>(end) : 0.0);
}

void MainWindow::markSkip(int direction) {
    const int64_t offset = counterDisplayOffset();
    stopRequest();

    const uint64_t rate = mTracks[0].fileInfo.sampleRate;
    const uint64_t cursor = mCursorSample > 0 ? static_cast<uint64_t>(mCursorSample) : 0;
    const int count = std::clamp<int>(mMarkCount, 0, static_cast<int>(sizeof(mMarkBuffer) / sizeof(mMarkBuffer[0])));
    int taken = -1;
    if (direction < 0) {
        // A mark less than a second behind the cursor is passed over, so that
        // pressing back while playing goes to the mark before.
        for (int i = count - 1; i >= 0 && taken < 0; --i)
            if (cursor > rate && mMarkBuffer[i].position < cursor - rate) taken = i;
    } else {
        for (int i = 0; i < count && taken < 0; ++i)
            if (mMarkBuffer[i].position > cursor) taken = i;
    }
    if (taken < 0) return;

    const int64_t position = static_cast<int64_t>(mMarkBuffer[taken].position);
    QString text;
    prepareTimeInfoDisp(text, offset + position, static_cast<int>(rate));
    ui->lineEditTime->setText(text);
    showMarkName(offset + position);
    mCursorSample = position;
    if (playStart()) ui->playButton->setChecked(true);
}
