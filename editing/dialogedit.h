// The export window: the user chooses the output of an export (format,
// rate, word length, channel layout, short fade, name and folder) and
// presses "EXPORT". The window checks the destination and emits
// convertExecute; the main window then lets it convert the one track
// (convertPlay) or first mixes several tracks down into
// "SonvexBounceTemp.wav"/".dff" in the export folder and lets it convert
// that file. A pass is a conversion job on the window's own audioThread
// (low priority) that the conversion library turns into the file; a DUAL
// MONO export makes two passes, "_01" (left) and "_02" (right).
//
// The main window makes one at start-up with itself as parent, describes
// the source (setEditFileName, mSourcePath, mExportRegion, setDestination,
// sendID3tagInfo, sendParameters) before it shows it, and saves the list
// indexes and the short-fade box through the public aliases below.
//
// GUI thread only. The job's and the mix-down's progress words are read by
// the 200 ms timer without a lock; a pass's end comes back as the audio
// thread's queued allTransactionsDone_. The master equaliser record is
// re-rated to the output rate for the passes and back afterwards while the
// engine does not play (the main window stops playback first).
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audiofile/timecode.h"  // tTcFrameType
#include "dsp/dspvolume.h"
#include "dsp/peqrecord.h"
#include "editing/dialogedittag.h"
#include "engine/audiothread.h"
#include "engine/jobrecords.h"
#include "morphex/morphexrecords.h"
#include "widgets/dialogabout.h"  // tSetEdition

namespace Ui {
class DialogEdit;
}

class QCheckBox;
class QComboBox;
class QDir;
class QTimer;
class flac2wavThread;
class snxProgressDialog;
struct tFlac2WavMessages;

// What the passes of one export share with their jobs on the audio thread:
// an Abort that also stops the passes still queued, and the first pass
// that failed (the thread reports only the last job's result).
struct tExportRunState {
    std::atomic<bool> aborted{false};
    std::mutex mutex;
    int failure = 0;            // first negative result of this export; mutex
    std::u16string failedPath;  // that pass's destination; mutex
    // Passes of this export that have run to their end. The thread reports
    // when its queue runs dry, which a fast pass can make happen before the
    // next pass is queued; only the report that follows the last queued
    // pass decides the outcome.
    std::atomic<int> finished{0};
};

class DialogEdit : public QDialog {
    Q_OBJECT
public:
    explicit DialogEdit(QWidget *parent = nullptr);
    // Stops and waits for a running pass and the FLAC worker before the
    // library handle goes.
    ~DialogEdit() override;

    // ---- what the main window calls ----

    // Describes the source: file name (without folder), its format, rate,
    // bit and channel texts as shown, its channel count and the number of
    // tracks loaded. Rebuilds the name field and the channel list.
    void setEditFileName(const QString &fileName, const QString &formatText, const QString &rateText,
                         const QString &bitText, const QString &channelText, int channels, int trackCount);
    // Puts the process's current folder into the folder field (the main
    // window already made it current); the folder object is only kept.
    void setDestination(QDir *destination);
    // The main window's tag record, written into every exported file; the
    // rate and frame type are kept, not used.
    void sendID3tagInfo(tID3tagInfo *tag, int rate, tTcFrameType frameType);
    // The master equaliser record and the playback rate it returns to after
    // an export; the monitor volume is not used.
    void sendParameters(tPEQ *masterPeq, double monitorVolumeDb, int playbackRate);
    // From the channel list's text: "MONO" 1, "DUAL MONO" 2, else 0.
    int getBounceToStereoFlag() const;

    // Starts one export pass of mSourcePath over mExportRegion (kind 1; 8
    // queues a playback-command pass without progress dialog). Returns 0
    // when the pass was queued, else the negative code that was reported
    // to the user ("Export failed."): the library or its file description
    // missing, or a source that cannot be described. The main window does
    // not queue a second DUAL MONO pass after a failed first call.
    int convertPlay(int kind);
    // The job record's rightPass: the next one-channel pass takes the right
    // channel.
    void setBounceMonoFromRight(bool right);
    // Fills the output half of the mix-down record for the play rate.
    void getBounceParams(tBounceParam *record, int rate);
    // Shows the progress dialog in mix-down mode, following *progress.
    void showBounceProgress(int *progress);
    // Sleeps the calling thread.
    static void waitMsec(int ms);

    // kEditionZolt: the edition's background and dark captions; others:
    // nothing.
    void setEdition(tSetEdition edition);
    // Queue a job on the window's work thread at low priority.
    void addTransaction(Transaction *job);
    void morphexertEdit(int kind);
    // The program's record of the source from the library's description
    // (0, or a negative code when the source cannot be described).
    int setAudioParamOfEditFile(const tAudioFileInfoAFile &info, tAudioFileInfo *out);

    // ---- state the main window reads and writes directly ----

    tPEQ *mMasterPeq = nullptr;
    int mPlaybackRate = 0;
    tWaveEditParam mExportRegion{};  // in source samples
    QString mSourcePath;
    // Aliases of the form's lists and box, for the settings file.
    QComboBox *BounceFormat = nullptr;
    QComboBox *BounceFreq = nullptr;
    QComboBox *BounceBit = nullptr;
    QCheckBox *checkBoxApplyShortFade = nullptr;
    int mDitherMode = 0;  // 0 none, 1 dither, 2 noise shape

    // ---- for tests and traces ----

    int outputFileType() const { return mOutFileType; }
    uint32_t outputRate() const { return mOutRate; }
    int outputRateIndex() const { return mOutRateIndex; }
    int wordLength() const { return mWordLength; }
    int outputChannels() const { return mOutChannels; }
    QString rateSuffix() const { return mRateSuffix; }
    int stereoPreference() const { return mStereoPreference; }
    const tMorphexParam &jobRecord() const { return mJob; }
    snxProgressDialog *progressDialog() const { return mProgressDialog; }
    bool isTimerRunning() const { return mTimerRunning; }
    bool isBounceMode() const { return mBounceMode; }
    bool isExporting() const { return mPassesPending > 0; }
    audioThread *workThread() { return &mAudioThread; }
    DialogEditTag *tagEditor() { return &mTagEditor; }

    // The library file the window binds: tests set it; otherwise the
    // engine's (the program's folder). Set it before a window is made.
    static void setLibraryPath(const QString &path);
    static QString libraryPath();

    // The folder dialog of "Select Folder": (parent, caption, start folder,
    // options) -> the chosen folder, empty when cancelled. Tests replace it.
    using tExistingDirectoryFunc = QString (*)(QWidget *, const QString &, const QString &, QFileDialog::Options);
    static tExistingDirectoryFunc sGetExistingDirectory;

signals:
    void convertExecute();
    void bounceCanceled();
    void tagParamConfirmedExportWindow();

public slots:
    void transactionStarted(int code);
    void allTransactionsDone(int code);
    void takeSeveralHundredMili();
    void cancelExporting();
    void wav2flacCompleted(tFlac2WavMessages *message);

private slots:
    void on_pushSelDir_clicked();
    void on_BounceFormat_currentIndexChanged(int index);
    void on_BounceFreq_currentIndexChanged(int index);
    void on_BounceBit_currentIndexChanged(int index);
    void on_BounceDither_currentIndexChanged(int index);
    void on_BounceCh_currentIndexChanged(int index);
    void on_pushBounce_released();
    // The tag button is hidden in this build; the editor opens on the main
    // window's tag record, typed by the chosen format.
    void on_pushEditTag_clicked();
    // The editor was confirmed: its tag goes into the main window's record.
    void tagParamConfirmed();

private:
    void setMenuForPcm();
    void setMenuForDsd();
    // The bit and rate lists for PCM or DSD output (both call it).
    void setMenusFor(bool dsd);
    void selectableDither(bool choices);
    void rebuildFileName();
    bool isDualMono() const;
    QString folder() const;
    void reRateMasterEq(double rate);
    void createProgressDialog();
    void stopProgress();
    void failBeforeQueueing(int code);
    void startFlacStage();

    Ui::DialogEdit *ui;

    snxProgressDialog *mProgressDialog = nullptr;
    bool mBounceMode = false;
    int mOutFileType = 0;
    uint32_t mOutRate = 48000;
    int mOutRateIndex = 1;
    QString mRateSuffix;
    int mWordLength = 24;
    int mOutChannels = 2;
    tAudioFileInfoAFile mSourceInfo;
    tAudioFileMarkAFile mSourceMarks[100];  // the library stores the source's marks here
    tAudioFileInfo mSourceFileInfo{};
    tTimeInfo mFileRate{};
    audioThread mAudioThread;
    tGetAudioFileInformationFunc mGetAudioFileInformation = nullptr;
    QTimer *mTimer = nullptr;
    bool mTimerRunning = false;
    tMorphexParam mJob;
    tDspVolItem mVolItems[kJobVolItems];
    QString mBaseName;
    QDir *mDestination = nullptr;
    tID3tagInfo *mTag = nullptr;
    DialogEditTag mTagEditor;
    int mProjectRate = 0;
    tTcFrameType mFrameType = static_cast<tTcFrameType>(0);
    QString mFileName;  // name field + extension field of the last pass
    flac2wavThread *mFlacThread = nullptr;
    int mFlacProgress = 0;
    QString mFlacOutputPath;
    QString mFlacTempPath;
    int *mBounceProgress = nullptr;
    dspVolume mDspVolume;
    int mStereoPreference = 1;

    // Passes queued on the work thread and not yet reported.
    int mPassesPending = 0;
    std::shared_ptr<tExportRunState> mRun;
};
