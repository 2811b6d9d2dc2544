// The main window's side of a conversion job: describing a track's file
// through the library and filling the feed record that playback and the
// mix-down hand to a track's audio thread.
#include "app/mainwindow.h"

#include <cstring>
#include <limits>

#include "app/jobrecord.h"
#include "base/wstring.h"
#include "editing/dialogedit.h"
#include "ui_mainwindow.h"

int MainWindow::getAudioParam(tMorphexParam *param, QString path, int track) {
    // Every caller passes a slot it owns; one outside the arrays is refused
    // as undescribable rather than written past them.
    if (!param || track < 0 || track >= kMainTrackSlots) return kJobRecordNoLibrary;

    param->srcPath = path.toStdU16String();
    jobRecord_setFeedFormat(param, mPlayFs, mPlayFsIndex);

    std::memset(mMarkBuffer, 0, sizeof mMarkBuffer);
    mLibFileInfo.marks = mMarkBuffer;
    trackGraphic *view = ui->widgetTrack1;
    if (track == 0) {
        // No marks are drawn while the file is read.
        view->mMarkCount = 0;
        view->mMaterialLength = std::numeric_limits<int64_t>::max();
    }

    if (!getAudioFileInformation) return kJobRecordNoLibrary;
    const int result = getAudioFileInformation(reinterpret_cast<const wchar16 *>(path.utf16()), &mLibFileInfo);
    if (result < 0) return result;

    // Described into a copy first: a description that cannot be used leaves
    // the slot's previous information whole.
    tAudioFileInfo info = mTracks[track].fileInfo;
    const int described = jobRecord_fileInfo(mLibFileInfo, &info);
    if (described < 0) return described;
    mTracks[track].fileInfo = info;

    param->srcChannels = info.channels;
    mMixParam.ch[track].channels = int32_t(info.channels);
    mOverview.length[track] = int64_t(info.totalSamples);

    if (track == 0) {
        mMarkCount = int(mLibFileInfo.markCount);
        view->mMarkCount = int32_t(mLibFileInfo.markCount);
        view->mMaterialLength = int64_t(info.totalSamples);
        view->mShortMaterial = jobRecord_isShortFile(info.seconds);
    }
    view->mChannels[track] = int32_t(info.channels);

    tJobRecordFeed feed;
    feed.track = track;
    feed.cursorSample = mCursorSample;
    feed.delayMs = mMixParam.ch[track].delayMs;
    feed.peq = mTracks[track].peq;
    feed.dither = mDialogEdit ? uint32_t(mDialogEdit->mDitherMode) : 0u;
    jobRecord_fillFeed(param, info, feed);
    return result;
}
