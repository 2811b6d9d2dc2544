// The tests' view of the main window: the state the window keeps, read
// through one accessor per member, and the test hooks (document viewer,
// project file dialogs, memory allocator) that tests replace. Only tests
// and benchmarks include it; the program reaches the window's state through
// its controls and slots alone.
//
// The accessors return the member itself, so a test can also arrange a
// state that no control reaches; each such write is a place where a test
// could drive a control instead.
#pragma once

#include "app/mainwindow.h"

class MainWindowProbe {
public:
    explicit MainWindowProbe(MainWindow &window) : mWindow(window) {}

    auto &getAudioFileInformation() const { return mWindow.getAudioFileInformation; }
    auto &getAudioWaveForm() const { return mWindow.getAudioWaveForm; }
    auto &id3tagInformation() const { return mWindow.id3tagInformation; }
    auto &autoRate() const { return mWindow.mAutoRate; }
    auto &awaitingPlayStart() const { return mWindow.mAwaitingPlayStart; }
    auto &bounceParam() const { return mWindow.mBounceParam; }
    auto &bounceStatus() const { return mWindow.mBounceStatus; }
    auto &bounceTraceCountdown() const { return mWindow.mBounceTraceCountdown; }
    auto &bouncing() const { return mWindow.mBouncing; }
    auto &chEditStrip() const { return mWindow.mChEditStrip; }
    auto &constructed() const { return mWindow.mConstructed; }
    auto &core() const { return mWindow.mCore; }
    auto &counterMode() const { return mWindow.mCounterMode; }
    auto &counterRing() const { return mWindow.mCounterRing; }
    auto &counterRingIndex() const { return mWindow.mCounterRingIndex; }
    auto &cursorFraction() const { return mWindow.mCursorFraction; }
    auto &cursorSample() const { return mWindow.mCursorSample; }
    auto &deviceBufferFrames() const { return mWindow.mDeviceBufferFrames; }
    auto &deviceListsReady() const { return mWindow.mDeviceListsReady; }
    auto &deviceRateCount() const { return mWindow.mDeviceRateCount; }
    auto &dialogCombine() const { return mWindow.mDialogCombine; }
    auto &dialogDelFile() const { return mWindow.mDialogDelFile; }
    auto &dialogDynamics() const { return mWindow.mDialogDynamics; }
    auto &dialogEdit() const { return mWindow.mDialogEdit; }
    auto &dialogEditTag() const { return mWindow.mDialogEditTag; }
    auto &dialogLissajous() const { return mWindow.mDialogLissajous; }
    auto &dialogOscillator() const { return mWindow.mDialogOscillator; }
    auto &dialogPolyfile() const { return mWindow.mDialogPolyfile; }
    auto &dialogRecSetup() const { return mWindow.mDialogRecSetup; }
    auto &dialogSelectFs() const { return mWindow.mDialogSelectFs; }
    auto &dialogTlTest() const { return mWindow.mDialogTlTest; }
    auto &dialogVsa() const { return mWindow.mDialogVsa; }
    auto &displayPath() const { return mWindow.mDisplayPath; }
    auto &dopAllowed() const { return mWindow.mDopAllowed; }
    auto &dopAnswered() const { return mWindow.mDopAnswered; }
    auto &dopKnown() const { return mWindow.mDopKnown; }
    auto &driverType() const { return mWindow.mDriverType; }
    auto &dsdNativeDevice() const { return mWindow.mDsdNativeDevice; }
    auto &dynamicsMakeupDb() const { return mWindow.mDynamicsMakeupDb; }
    auto &dynamicsRatio() const { return mWindow.mDynamicsRatio; }
    auto &frameType() const { return mWindow.mFrameType; }
    auto &id3tagInfo() const { return mWindow.mID3tagInfo; }
    auto &inputChannels() const { return mWindow.mInputChannels; }
    auto &inputMonitor() const { return mWindow.mInputMonitor; }
    auto &lastZeroPlayTick() const { return mWindow.mLastZeroPlayTick; }
    auto &levelTimer() const { return mWindow.mLevelTimer; }
    auto &lissajousShown() const { return mWindow.mLissajousShown; }
    auto &markBuffer() const { return mWindow.mMarkBuffer; }
    auto &markCount() const { return mWindow.mMarkCount; }
    auto &masterPeq() const { return mWindow.mMasterPeq; }
    auto &masterPeqDialog() const { return mWindow.mMasterPeqDialog; }
    auto &mixer() const { return mWindow.mMixer; }
    auto &mixParam() const { return mWindow.mMixParam; }
    auto &monitorVolumeDb() const { return mWindow.mMonitorVolumeDb; }
    auto &neverShowFirstInfo() const { return mWindow.mNeverShowFirstInfo; }
    auto &openReleaseWait() const { return mWindow.mOpenReleaseWait; }
    auto &outputChannels() const { return mWindow.mOutputChannels; }
    auto &overview() const { return mWindow.mOverview; }
    auto &playActive() const { return mWindow.mPlayActive; }
    auto &playDevIndex() const { return mWindow.mPlayDevIndex; }
    auto &playFs() const { return mWindow.mPlayFs; }
    auto &playFsIndex() const { return mWindow.mPlayFsIndex; }
    auto &playJob() const { return mWindow.mPlayJob; }
    auto &positionRing() const { return mWindow.mPositionRing; }
    auto &project() const { return mWindow.mProject; }
    auto &projectDir() const { return mWindow.mProjectDir; }
    auto &qmfSwitch() const { return mWindow.mQmfSwitch; }
    auto &rateChanging() const { return mWindow.mRateChanging; }
    auto &rateListReady() const { return mWindow.mRateListReady; }
    auto &reconnectPending() const { return mWindow.mReconnectPending; }
    auto &recDevIndex() const { return mWindow.mRecDevIndex; }
    auto &recOverviewColumn() const { return mWindow.mRecOverviewColumn; }
    auto &recOverviewPeaks() const { return mWindow.mRecOverviewPeaks; }
    auto &recParams() const { return mWindow.mRecParams; }
    auto &recStartCount() const { return mWindow.mRecStartCount; }
    auto &recState() const { return mWindow.mRecState; }
    auto &repeatMode() const { return mWindow.mRepeatMode; }
    auto &reselectRate() const { return mWindow.mReselectRate; }
    auto &savedFileTexts() const { return mWindow.mSavedFileTexts; }
    auto &settingsLoaded() const { return mWindow.mSettingsLoaded; }
    auto &settingsPath() const { return mWindow.mSettingsPath; }
    auto &showSubFrames() const { return mWindow.mShowSubFrames; }
    auto &singleVolItems() const { return mWindow.mSingleVolItems; }
    auto &sourcePath() const { return mWindow.mSourcePath; }
    auto &speech() const { return mWindow.mSpeech; }
    auto &splitTempPath() const { return mWindow.mSplitTempPath; }
    auto &startPaused() const { return mWindow.mStartPaused; }
    auto &stopProgress() const { return mWindow.mStopProgress; }
    auto &stopRequested() const { return mWindow.mStopRequested; }
    auto &subSecondDigits() const { return mWindow.mSubSecondDigits; }
    auto &threadCount() const { return mWindow.mThreadCount; }
    auto &tickCount() const { return mWindow.mTickCount; }
    auto &trackMousePos() const { return mWindow.mTrackMousePos; }
    auto &tracks() const { return mWindow.mTracks; }
    auto &transportCommand() const { return mWindow.mTransportCommand; }
    auto &usbDevice() const { return mWindow.mUsbDevice; }
    auto &userDopList() const { return mWindow.mUserDopList; }
    auto &viewOffset() const { return mWindow.mViewOffset; }
    auto &vsaBankCount() const { return mWindow.mVsaBankCount; }
    auto &vsaUnitSize() const { return mWindow.mVsaUnitSize; }
    auto &watchdogEnabled() const { return mWindow.mWatchdogEnabled; }
    auto &waveLevelLength() const { return mWindow.mWaveLevelLength; }
    auto &waveLevels() const { return mWindow.mWaveLevels; }
    auto &waveParams() const { return mWindow.mWaveParams; }
    auto &waveZoom() const { return mWindow.mWaveZoom; }
    auto &ui() const { return mWindow.ui; }

    // After a test has replaced a track's equaliser record by hand: the
    // table the engine reads follows the records again.
    void publishEqTable() const { mWindow.publishEqTable(); }

    // Test hooks.
    static auto &memoryAllocator() { return MainWindow::sMemoryAllocator; }
    static auto &openUrlHook() { return MainWindow::sOpenUrl; }
    static auto &projectOpenDialog() { return MainWindow::sProjectOpenDialog; }
    static auto &projectSaveDialog() { return MainWindow::sProjectSaveDialog; }

private:
    MainWindow &mWindow;
};

inline MainWindowProbe probe(MainWindow &window) { return MainWindowProbe(window); }
