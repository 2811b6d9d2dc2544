// The program's one top-level window and its controller: it owns every tool
// window and dialog, the timers, the track records (app/trackrecord.h) and
// the records the real-time engine reads, and the core (app/sonvexcore.h)
// that holds the devices, the work threads, the library binding and the
// capture ring. Everything here runs on the GUI thread.
//
// Members are grouped by concern, one comment line per group; add new
// declarations under the group they belong to. Members are public so that
// the program's tests can look at the state the window is in.
#pragma once

#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPoint>
#include <QProgressBar>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrl>

#include <cstdint>
#include <array>
#include <memory>
#include <vector>

#include "app/deviceaccess.h"
#include "app/jobrecord.h"
#include "app/mainstates.h"
#include "app/settingsfile.h"
#include "app/sonvexcore.h"
#include "app/startupbridges.h"
#include "app/threadwait.h"
#include "app/tickpresenters.h"
#include "app/trackrecord.h"
#include "audiofile/jobs/flacjob.h"
#include "audiofile/jobs/poly2monoste.h"
#include "audiofile/tagrecord.h"
#include "audiofile/timecode.h"
#include "dsp/dspvolume.h"
#include "dsp/peqrecord.h"
#include "edit/projectfile.h"
#include "editing/dialogedittag.h"
#include "editing/dialogpolyfile.h"
#include "editing/timelinerecords.h"  // tRedrawMode
#include "engine/audiothread.h"
#include "engine/bouncethread.h"  // tBounceStatusStruct
#include "engine/jobrecords.h"
#include "engine/mixerthread.h"
#include "engine/mixrecords.h"
#include "engine/recordingrecords.h"
#include "engine/waveformthread.h"
#include "mixer/dialogdynamics.h"
#include "mixer/dialoglissajous.h"
#include "mixer/dialogoscillator.h"
#include "mixer/dialogtltest.h"
#include "mixer/dialogvsa.h"
#include "morphex/morphexrecords.h"
#include "widgets/dialogabout.h"  // tSetEdition
#include "widgets/trackgraphic.h"

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
class QActionGroup;
class QProgressDialog;
class QTextToSpeech;
class QTimer;
QT_END_NAMESPACE

class bounceThread;
class recEngineThread;
class vsaThread;
class flac2wavThread;
class poly2monosteThread;
class mixer;
class DialogEdit;
class DialogPeq;
class DialogCombine;
class DialogSelectFs;
class ClassDynamics;
class CContCoreAudioThread;
class DialogRecSetup;
class DialogDelFile;
class chEditStrip;
class timelineMgr;

// What MainWindow::dynamicsParamChanged sets.
enum tParamDynamics : int {
    kDynamicsParamEnable = 0,
    kDynamicsParamThreshold = 1,
    kDynamicsParamAttack = 2,
    kDynamicsParamRelease = 3,
    kDynamicsParamRatio = 4,  // tenths
    kDynamicsParamMakeup = 5,
};

enum : int {
    kMainTrackSlots = 32,  // track slots 0..31
    kMainMasterSlot = 32,  // the master's index in the equaliser arrays
    kMainEqSlots = kCoreEqSlots,
    kMainEqMasterId = 1023,  // the master equaliser window's id
    kMainRingEntries = 66,   // meter and counter delay rings
    kMainWaveLevels = kTrackWaveLevels,  // waveform overview levels
    kMainCaptureRows = kCoreCaptureRows,
    kMainCaptureBlocks = kCoreCaptureBlocks,
    kMainCaptureByteRows = kCoreCaptureByteRows,
    kMainCaptureBlockFrames = kCoreCaptureBlockFrames,
    kMainRecOverviewPairs = 1433,
    kMainMarkBufferBytes = 2400,
    kMainVolItems = kTrackEnvelopeItems,
    kMainRegionRecordBytes = kTrackEditRecordBytes,
    kMainTrackViewWidth = 700,
    kMainDeviceNames = 30,  // device names kept per list
    kMainDeviceRates = 32,
    kMainWaveRetries = 3,  // a failing overview job is run at most this often again
};

// Decimation factors (samples per entry) of the overview levels.
extern const int kMainWaveLevelFactors[kMainWaveLevels];  // 4, 8, 16, 32, 128, 1024, 2048

class MainWindow : public QMainWindow {
    Q_OBJECT
    // The tests' view of the window's state (app/mainwindowprobe.h).
    friend class MainWindowProbe;

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // --- Construction and per-track memory ---
    // Overview arrays of one track slot for every level, allocated once and
    // zeroed on every call; 0, or -1 when an array cannot be had.
    int getMemoryForWaveForming(int track);
    // The slot's equaliser record and window where missing, bound together; 0.
    int getMemoryForEQ(int track);
    // Every track equaliser below the track count re-rated, the histories
    // cleared and the master window refreshed.
    void resetEQparameters(int rate);
    // Looks for the maker's USB audio device and prints what it found.
    void serachZOLTUSBAudio();
    // True: the device layer loads its driver itself. No caller in this
    // build; kept with the window's device interface.
    bool loadAsioDriver();

    // --- Construction, step by step (in this order) ---
    void buildForm();
    // The capture ring's first row, the meter rings and the master peak
    // pair; false when a block could not be had.
    bool allocateDisplayMemory();
    void initFirstTrackAndMixRecord();
    void makeMixerAndEqualisers();
    void makeDevicesAndWorkers();
    void prepareEngineAndLibrary();
    void startTimersAndTestBlocks();
    void prepareFoldersAndSlots();
    void setUpControls();
    void startAnalysisAndSettle();

    // --- Shut-down ---
    void finishApp();
    // Its steps, in this order.
    void stopPlaybackAndDevice(int trackCount);
    void releaseTimersAndEqualisers();
    void finishWorkersAndEngine();
    void removeTemporaryFiles();
    void takeLoansBackFromEngine();
    void releaseTrackSlots();

    // --- Form and menus ---
    void setUIOperability(bool operable);
    // Checks the OVER hold entry for a hold time (negative: until clicked).
    void setActionOverHoldTime(int ms);
    // Scroll range for n overview pages: 100 below 13, else 8 * n.
    void setScrollMax(int n);
    void stopWaveFormThreadAll();
    void setEdition(tSetEdition edition);

private:
    // The exclusive action groups the wiring makes.
    QActionGroup *mCounterModeGroup = nullptr;
    QActionGroup *mFrameRateGroup = nullptr;
    QActionGroup *mOverHoldGroup = nullptr;
    QActionGroup *mProjectGroup = nullptr;
    // The counter's timecode frame type (29.97 drop-frame until the Frame
    // Rate entries change it); the tag's start timecode is read with it.
    tTcFrameType mFrameType = kTc29_97Drop;

public:
    // A document beside the program: its folder + "/" + fileName.
    static QString documentPath(const QString &fileName);
    // Hands a document's address to the desktop (through sOpenUrl).
    static bool openUrl(const QUrl &url);

private:
    // Hands a document's address to the desktop; tests replace it to see
    // the address instead of starting a viewer.
    static bool (*sOpenUrl)(const QUrl &url);

public:
    // --- Signal wiring ---
    // The four groups of connections the constructor makes, in its order.
    void makeConnectionsFirst();
    void makeConnectionsSecond();
    void makeConnectionsThird();
    void makeConnectionsLast();

    // --- Settings file ---
    QString composeBackupFilePath();
    void loadParametersFromFile();
    void saveParametersToFile();

private:
    // The first-information flag and the oscillator flag the file carries.
    bool mNeverShowFirstInfo = false;
    bool mOscillatorMode = false;

public:
    // --- Conversion job record ---
    // Describes the file at path as track slot track (the slot's file
    // information, the first track's marks and length in the track view)
    // and fills param for a playback feed of that track. 0, the library's
    // negative code, or kJobRecordNoLibrary when the library is not bound.
    int getAudioParam(tMorphexParam *param, QString path, int track);

    // --- Mixer and equaliser state ---
    // Binds a track's equaliser window to its record (id, title, on state,
    // close and on/off reports); releaseEQParameterTrack undoes the reports.
    void asignEQParameterTrack(int track);
    void releaseEQParameterTrack(int track);
    // Clears the filter history of every band, the master's first.
    void initEqParam();
    // A track's equaliser to the default settings' bands, state and gain.
    void initEQParams(int track);
    // A track slot's matrix as for a newly added file.
    void autoSetupMixerTrackParam(int track);

    // --- Devices, rates and monitor ---
    // A selection may go ahead: the lists are complete and a device (not
    // the placeholder) is chosen; the placeholder stops playback and shows
    // "(offline)" in the rate lists.
    bool switchable_asioDev(int index);
    // Re-selects the saved device and play rate at start-up.
    void resumeAudioDevice(QString deviceName, QString playRateText);
    // Boots list entry index - 1 as play and record device. No caller in
    // this build (the device lists drive booting); kept with the interface.
    void selectRecDevice(int index);
    // Both driver lists to `driver`; the lists rebuilt. No caller in this
    // build (one driver type only); kept with the interface.
    void resumeAudioDriverType(int driver);
    // Re-enumerates on a click of the idle device list; rebuilds when the
    // output devices changed.
    void DeviceListClicked();
    // Sizes row `row` of the capture ring for frames per device buffer.
    void setInMonitor_RecBuffer(int row, int frames);
    QString getAsioDev_firstItem(int count);
    // Boots the selected devices: their rates, the rate lists, the play rate.
    void bootCoreAudioDevice(int play, int rec);
    void registerDopDevList(QString name, bool dop);
    // Changes the device to a rate and tells every rate-dependent part.
    void changeFs(int rate);
    int selectAutoFs();
    int selectPlaySampleRate(int unused);
    void changeMonitorVolume(int dB);
    bool checkDsdPurity();
    void setupInOutChMenu();
    int getRecordableChannels();
    // The play-rate list's rates (after "AUTO") as a list.
    QVector<int> deviceRateList() const;
    // Zeroes the meter delay rings; the master peak pairs and meters.
    void clearDisplayRings();
    void clearMasterPeaks();

    // --- Transport ---
    // Prepares and starts one play job per track; true when playback runs
    // or was started.
    bool playStart();
    // A file, a device and an online rate; otherwise a warning and false.
    bool isPlayableCondition();
    void playLedOn(bool on);
    void setWDTEnable(bool on);

private:
    int mTransportCommand = 36;  // kTransport* (app/transportlogic.h)
    bool mStopRequested = false;
    bool mRepeatMode = false;
    uint32_t mLastZeroPlayTick = 0;
    // --- Periodic timer ---
    uint32_t mTickCount = 0;
    bool mReconnectPending = false;
    int mOfflineRetryCount = 0;
    int mArmBlinkCount = 0;

public:
    // --- Opening files ---
    // Checks a path and opens it (mode: tFileOpenMode), splitting a file of
    // three or more channels first.
    void openFile(QString path, int mode);
    // Makes a described file a track: display path (named on the form),
    // read path (the file read).
    void openFile2(QString displayPath, QString readPath, int mode);
    // The play rate "AUTO" chooses for a file of fileRate on the device's
    // list; asks the PCM-or-DSD question where the device is unclassified.
    void chooseAutoPlayRate(int fileRate);

    // --- Tracks ---
    // Makes slot `slot`'s objects; false (after its box) when it cannot.
    bool addTrackSlot(int slot);
    void deleteAllTracks();
    void openEditTrackWindow();
    void initTagInfo(tID3tagInfo *tag);
    // The longest track's end in samples (start delay included); reports
    // that track to the engine.
    uint64_t longestTrackEnd();

    // --- Waveform display ---
    void waveFormRedraw(long long start, tRedrawMode mode);
    void drawWaveFrom();
    // The overview level drawn at time zoom z.
    static int waveLevelForZoom(double z);
    int64_t getTotalWaveFormLen();
    int64_t getWavPreparedLen();
    double checkSttRateRange(double f);

    // --- Counter and time display ---
    // The counter text of a position at a rate in the current counter mode;
    // sets the counter's font size for the mode.
    void prepareTimeInfoDisp(QString &text, int64_t position, int rate);
    // "MARK = " and the name of the last mark at or before the position.
    void showMarkName(int64_t position);
    // The end of the longest track in samples; tells the engine that track.
    uint64_t getMaxSamples();
    // Places the cursor line for a fraction of the material; its x in the view.
    double calcCurrentCursor(double fraction);
    // What the counter adds to positions: the first file's start time in
    // timecode mode, else 0.
    int64_t counterDisplayOffset() const;
    // The counter and the mark label show a cursor position.
    void showCounterAt(int64_t cursor);
    void frameRateTriggered(tTcFrameType type);

    // --- Keys, in and out points ---
    // Space: stops while the first track plays, else starts; speaks the
    // command when the key came through a button.
    void togglePlayback(bool speak);

private:
    tCounterMode mCounterMode = kCounterTime;
    int mSubSecondDigits = 2;  // 2, 3, or 4 and more

public:
    // --- Project commands ---
    // The project file dialogs: (parent, caption, folder, filter) -> a path,
    // empty when cancelled. Tests replace them.
    using tProjectFileDialog = QString (*)(QWidget *, const QString &, const QString &, const QString &);

private:
    static tProjectFileDialog sProjectSaveDialog;
    static tProjectFileDialog sProjectOpenDialog;

public:
    // Stops playback and every track's threads and waits for them, so that
    // tracks can be removed safely; false when a thread did not stop in time.
    bool stopTracksForReload();
    // Opens a listed file as a further track; true when it became track slot.
    bool openProjectTrack(const QString &path, int slot);

    // --- Recording ---
    // Record or play pressed while armed: the job starts writing.
    void startRecording();
    // Stop pressed while a recording is armed or running.
    void stopRecording();
    // One tick of the recording's one-minute overview (45 ms timer, while
    // recording): the input peaks into the columns the cursor has passed.
    void updateRecOverview();
    // The set-up window's folder + "/" + name + "_001" ... "_999" + the
    // format's extension: the first that does not exist; empty when all do.
    QString freeRecordingPath() const;
    // The finished recording becomes the only track.
    void openRecording(const QString &path);
    // A warning box with one OK button, run modally.
    void showWarning(const QString &title, const QString &text);

private:
    // The file labels while a recording shows its own: time, rate, word
    // length, channels, type.
    QStringList mRecSavedLabels;
    tRecParameters mRecParams;
    int64_t mRecStartCount = 0;
    int mRecOverviewColumn = 0;
    QProgressDialog *mStopProgress = nullptr;
    uint8_t mInputMonitor = 0;

public:
signals:
    // --- Signal wiring ---
    void moveInPoint(double fraction);
    void moveOutPoint(double fraction);
    void trackNamesLoaded(QStringList names);
    void openMixerWindow();
    void addDelTrack(int add);
    void peakMasterUpdated(const double *pair);
    void finishMixerThread();
    void setMixerParams(tMixParam *mix);
    // --- Mixer and equaliser state ---
    void allEqOnOffToMixer(bool on, int id);
    void chEqWindowOpended(int track);
    void eqWindowClosed(int id);
    void delayTimeChanged(int track, double ms);
    // --- Devices, rates and monitor ---
    void changeSampleRate(int rate);

public slots:
    // --- Form and menus ---
    void menuEnglishManualClicked();
    void menuJapaneseManualClicked();
    void menuEnglishV1_1suppClicked();
    void menuJapaneseV1_1suppClicked();
    void menuAboutClicked();
    void menuLicensesClicked();
    void menuOscillatorClicked();
    void menuOverHolds2sec_toggled(bool checked);
    void menuOverHoldsUntilClicked_toggled(bool checked);
    void meterPressed();
    void on_pushButtonPostFader_toggled(bool checked);
    void on_pushAsioCont_clicked();
    void labelGainValDoubleClicked();
    void monIndicatorClocked();
    void coreAudioTransactionDone();
    // --- Slots the wiring connects to the work threads, the track view,
    // the mixer, effect and analysis windows and the volume-graph window ---
    void transactionStarted(int code);
    void allTransactionsDone(int result);
    void waveFormPreparedMain(int track, bool aborted);
    void trackEditParamChanged(int region);
    void pointMoved();
    void trackMousePressed(QMouseEvent *event, int region);
    void oscIndicatorChanged(int on);
    void oscFreqChanged(int hz);
    void oscLevelChanged(double dB);
    void oscParamChanged();
    void digitFrameChanged(int digits);
    void selectInMonitorEn(bool on);
    void ncPhaseClicked(bool on);
    void showSubFrameCheckEvent(bool on);
    void waveSliderPressed();
    void waveSliderReleased();
    void timeCounterEnterPressed();
    void timeCounterEscapePressed();
    void convertExecute();
    void bounceCancelEvent();
    void repeatModeTriggered(bool checked);
    void counterTimeTriggered(bool checked);
    void counterSampleTriggered(bool checked);
    void counterTimecodeTriggered(bool checked);
    void selectEqHFmode(bool checked);
    void frameRate23Triggered(bool checked);
    void frameRate24Triggered(bool checked);
    void frameRate25Triggered(bool checked);
    void frameRate2997DFTriggered(bool checked);
    void frameRate2997NDFTriggered(bool checked);
    void frameRate30DFTriggered(bool checked);
    void frameRate30NDFTriggered(bool checked);
    void widgetsKeyPressed(QKeyEvent *event);
    void tagParamConfirmed();
    int64_t tagHMSFtoStartTcSample(tID3tagInfo *tag);
    void flac2wavCompleted(tFlac2WavMessages *message);
    void selectChannelOfPolyEvent(tPoly2MonosteMsgParam *choice);
    void poly2monosteRebuildEvent(tPoly2MonosteMessages *message);
    void recStopped();
    void showRecSetup(bool checked);
    void vsaSwitchClicked(bool on);
    void vsaKeyChanged(int semitones);
    void vsaSpeedChanged(float percent);
    void qmfHighON(int stage);
    void qmfHighOFF(int stage);
    void qmfLoON(int stage);
    void qmfLoOFF(int stage);
    void vsaUnitSizeChanged(int size);
    void vsaFadeChanged(int length);
    void vsaBankNumChanged(int count);
    void vsaBankDelayChanged(int delay);
    void dynamicsEnabled(int on);
    void dynamicsAttackChanged(int ms);
    void dynamicsReleaseChanged(int ms);
    void dynamicsThresholdChanged(int dB);
    void dynamicsRatioChanged(int ratio10);
    void dynamicsMakeupChanged(int dB);
    void editModeClicked(bool on);
    void lissajousWinRequested(int id);
    void bounceFinished(int result);
    void actionSaveClicked(bool checked);
    void actionLoadClicked(bool checked);
    void actionCreateClicked(bool checked);
    void trackEditParamChangeEvent(tWaveEditParam *edit, int track);
    // --- Mixer and equaliser state ---
    void eqIndicatorClicked();
    void on_pushCh1PEQ_clicked();
    void mixerEqButtonClicked(int track);
    void selAllEqOnOff(int on, int id);
    void eqWindowCloseEvent(int id, QCloseEvent *event);
    void ChDelayValueChangeEvent(int track, double ms);
    void setDelayTimeClickEvent();
    // --- Devices, rates and monitor ---
    void on_comboBox_driver_currentIndexChanged(int index);
    void on_comboBox_asioDev_activated(int index);
    void on_comboBox_asioDev_currentIndexChanged(int index);
    void on_comboBox_recDev_currentIndexChanged(int index);
    void on_comboBox_PlayRec_currentIndexChanged(int index);
    void on_comboBox_asioFreq_currentIndexChanged(int index);
    void on_comboBox_recFreq_currentIndexChanged(int index);
    void playDeviceChanged(int index);
    void recDevSelectEventAtRecSetup(int index);
    void playFreqChanged(int index);
    void selectPlayDevice(int play);
    void selectPlayRecDevice(int play, int rec);
    void selectPlayFs();
    void selectedPlayDSDtoPCM();
    void selectedPlayDSDtoDSD();
    void DoPPlayableDeviceClicked();
    void monitorVolumeMoved(int position);
    void changeInputMonitorCh(int pair);
    void changeOutputMonitorCh(int pair);
    // --- Opening files ---
    void on_pushButtonOpen_clicked();
    void on_pushButtonAdd_clicked();
    // --- Tracks ---
    void on_pushButtonDel_clicked();
    void renumberAndDeleteTrack(int track);
    void on_pushMixer_clicked();
    void on_pushEditWin_clicked();
    void on_pushButtonEditTag_clicked();
    // --- Effect, oscillator and analysis windows ---
    void on_pushVsa_clicked();
    void on_pushDynamics_clicked();
    void on_pushLissajous_clicked();
    void on_pushButtonTlTest_clicked();
    void on_lineEditGain_dB_editingFinished();
    void on_lineEditGain_dB_returnPressed();
    void tlTestStarted();
    void dynamicsParamChanged(tParamDynamics selector, int value);
    void setMixerThreadParams(int trackCount);
    // --- Export, bounce and combine commands ---
    void on_pushButtonEdit_clicked();
    void on_pushButton_Combine_clicked();
    void cancelBouncing();
    // --- Waveform display ---
    void stopWaveFormThread(int track);
    void drawWaveFormSelectedColumn(int track);
    void on_zoomInTimeButton_clicked();
    void on_zoomOutTimeButton_clicked();
    void on_zoomInLevelButton_clicked();
    void on_zoomOutLevelButton_clicked();
    void on_waveScrollBar_valueChanged(int value);
    void timeSkip(int seconds);
    void markSkip(int direction);
    // --- Transport ---
    void stopRequest();
    void on_playButton_clicked();
    void on_zeroPlayButton_clicked();
    void on_stopButton_clicked();
    void audioThreadPlayStarted(int code);
    // --- Periodic timer ---
    void takeSeveralHundredMili();
    void showFirstInformationPopup();
    // --- Keys, in and out points ---
    void on_setPointButtonSetIn_clicked();
    void on_setPointButtonSetOut_clicked();
    // --- Recording ---
    void on_recButton_clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    Ui::MainWindow *ui = nullptr;
    // The engine-facing parts: devices, work threads, the library binding,
    // the capture ring. Declared before the owning members below, so it goes
    // after them.
    SonvexCore mCore;

    // --- Construction: objects held by value (in construction order) ---
    DialogOscillator mDialogOscillator;
    QDir mExportDir;
    QDir mProjectDir;
    QTemporaryFile mTagPictureFile;
    DialogEditTag mDialogEditTag;
    QProgressBar mLoadingBar;
    DialogVsa mDialogVsa;
    projectFile mProject;
    DialogDynamics mDialogDynamics;
    DialogPolyfile mDialogPolyfile;
    QProgressBar mSplitBar;
    QMenu mTrackMenu;
    dspVolume mSingleTrackVolume;
    DialogLissajous mDialogLissajous;
    DialogTlTest mDialogTlTest;
    QMessageBox mReconnectBox;
    // The volume-graph window (made without a parent, shown on request).
    tOwned<chEditStrip> mChEditStrip;

    // --- Construction: objects on the heap ---
    QTextToSpeech *mSpeech = nullptr;
    tOwned<mixer> mMixer;  // no parent
    DialogEdit *mDialogEdit = nullptr;
    DialogCombine *mDialogCombine = nullptr;
    DialogSelectFs *mDialogSelectFs = nullptr;
    tOwned<DialogRecSetup> mDialogRecSetup;  // no parent
    QTimer *mLevelTimer = nullptr;
    QTimer *mFirstInfoTimer = nullptr;
    tOwned<DialogDelFile> mDialogDelFile;  // no parent

    // --- Construction: the track records ---
    std::array<tTrack, kMainTrackSlots> mTracks;
    // The master's equaliser record and window.
    tPEQ *mMasterPeq = nullptr;
    DialogPeq *mMasterPeqDialog = nullptr;
    // Refreshes the core's table of equaliser records, which the engine
    // reads, from the records, whenever one comes, goes or moves.
    void publishEqTable();
    // Every track's file description, in slot order.
    std::array<tAudioFileInfo, kMainTrackSlots> trackInfos() const;
    // The meter rings, the tracks' then the master's.
    std::array<double *, kMainEqSlots> meterRings() const;
    int mThreadCount = 0;

    // --- Construction: buffers ---
    double *mMasterMeterRing = nullptr;     // 66 peak pairs
    tOwned<double, tCoreAlignedFree> mMasterPeakBlock;  // 48 bytes: mMasterPeak, then mPrevMasterPeak
    double *mMasterPeak = nullptr;
    double *mPrevMasterPeak = nullptr;
    QString mCounterRing[kMainRingEntries];
    int64_t mPositionRing[kMainRingEntries] = {};
    int mCounterRingIndex = 0;
    int mMeterRingIndex = 0;
    int64_t mWaveLevelLength[kMainWaveLevels] = {};  // entries of each level (all tracks)
    int mWaveLevels = 0;
    // The recording overview's upper and lower peaks (the view reads the
    // pair of pointers), and the blocks that hold them.
    double *mRecOverviewPeaks[2] = {};
    tOwned<double, tCoreAlignedFree> mRecOverviewBlocks[2];
    tAudioFileMarkAFile mMarkBuffer[kMainMarkBufferBytes / sizeof(tAudioFileMarkAFile)] = {};
    tID3tagInfo mID3tagInfo{};
    tDspVolItem mSingleVolItems[kMainVolItems] = {};
    tMixParam mMixParam{};
    int64_t *mDelayTable = nullptr;
    // The USB device found by the probe (its entry in the system's device
    // list); empty when none.
    QString mUsbDevice;

    // --- Construction: library entry points (null until bound) ---
    tGetAudioFileInformationFunc getAudioFileInformation = nullptr;
    tGetAudioWaveFormFunc getAudioWaveForm = nullptr;
    tId3tagInformationFunc id3tagInformation = nullptr;

    // --- Construction: start values other groups read ---
    float mPixelRatio = 1.0f;
    QString mSettingsPath;
    int32_t mPlayFs = 44100;
    // --- Conversion job record ---
    uint32_t mPlayFsIndex = 0;           // rate index of mPlayFs
    tAudioFileInfoAFile mLibFileInfo{};  // the library's record of the file last described
    int mMarkCount = 0;                  // marks of the first track's file
    tMorphexParam mPlayJob;              // refilled for each track of a play start or mix-down
    // --- Mixer and equaliser state ---
    // Last mouse position in the track view (pixels); the delay box picks
    // the track under it.
    QPoint mTrackMousePos;
    // --- Devices, rates and monitor ---
    QString mDeviceNames[kMainDeviceNames];  // output device names, list index - 1
    bool mDeviceListsReady = false;
    bool mRateListReady = false;
    bool mFillingOffline = false;
    int mDeviceBufferFrames = 0;
    int mPlayStatus = 0;
    tDopDevItem mUserDopList[kSettingsDopRows];
    bool mDopKnown = false;
    bool mDopAnswered = false;
    bool mDopAllowed = true;
    bool mDsdNativeDevice = false;
    int mDeviceRates[kMainDeviceRates] = {};  // the rates after "AUTO", in list order
    int mDeviceRateCount = 0;
    QVector<int> mBootedDeviceRates;  // the booted device's own rate table
    bool mAutoRate = false;
    bool mRateChanging = false;
    bool mReselectRate = false;
    bool mSkipCursorOnce = false;
    bool mBufferChangeExpected = false;
    bool mRecRestart = false;
    int mInputChannels = 0;  // the device's channel counts (0 until known)
    int mOutputChannels = 0;
    double mMonitorVolumeDb = 0.0;
    int mDriverType = 0;
    int mPlayDevIndex = 0;
    int mRecDevIndex = -1;
    int64_t mCursorSample = 0;
    double mCursorFraction = 0.0;
    double mWaveZoom = 1.0;
    bool mMultiTrack = false;
    bool mPlayActive = false;
    bool mAwaitingPlayStart = false;
    bool mWatchdogEnabled = false;
    int mRecState = 0;
    QString mSplitTempPath;
    // Construction ran to its end (false after the memory check failed:
    // the window is then an empty shell that shut-down must not save from).
    bool mConstructed = false;
    bool mStartPaused = false;  // construction paused for a booted sound card to settle
    // The settings file was read; only then may shut-down write it.
    bool mSettingsLoaded = false;
    uint8_t mProjectHasTracks = 0;
    double *mLissajousBuf = nullptr;
    int mLissajousReadIndex = 0;
    // --- Opening files ---
    QString mDisplayPath;     // the first track's file as the user chose it
    QString mSourcePath;      // the last admitted path (a split's source)
    int mOpenTypeCode = kAudioFileByExtension;  // its type code by extension
    int mOpenedFrom = 0;      // 0 as chosen, 1 decoded from FLAC, 2 split from WSD
    int mFlacTempIndex = 0;   // which FLAC temporary name comes next
    QProgressDialog *mLoadingDialog = nullptr;
    QProgressDialog *mSplitDialog = nullptr;
    int mFlacProgress = 0;
    int mSplitProgress = 0;
    QString mSavedFileTexts[5];     // length, format, rate, word length, channels
    tFlacFileInfo mFlacFileInfo{};  // the last FLAC decode's description
    // A folder of the user's own (mode 0700) for the picture of a loaded
    // tag; made at the first open, removed with the window.
    std::unique_ptr<QTemporaryDir> mTagPictureDir;
    // --- Tracks ---
    int mLastClickY = 0;  // y of the last right-click in the view
    int mEditTrack = -1;  // the track last shown in the volume-graph window
    timelineMgr *mTimelineMgr = nullptr;
    // --- Waveform display ---
    int64_t mViewOffset = 0;  // first point shown, in points of the level in use
    // The arrays the track view reads through its draw request
    // (tSetWaveFormParams holds pointers to them, one entry per track): the
    // view's peak arrays, columns ready, the job's columns, incremental
    // draw offsets and widths, and each track's length in frames.
    struct tOverviewArrays {
        double *upper[kMainTrackSlots] = {};
        double *lower[kMainTrackSlots] = {};
        int64_t ready[kMainTrackSlots] = {};
        int64_t jobColumns[kMainTrackSlots] = {};
        int64_t drawOffset[kMainTrackSlots] = {};
        int64_t drawWidth[kMainTrackSlots] = {};
        int64_t length[kMainTrackSlots] = {};
    };
    tOverviewArrays mOverview;
    int mPreparingTrack = 0;
    int64_t mLastPrepared = 0;
    tSetWaveFormParams mWaveParams;
    int mScrollValue = 0;
    bool mSliderHeld = false;
    bool mScrollLock = false;
    int mRedrawCountdown = 0;  // ticks to the next automatic full redraw
    int mRedrawRepeats = 0;

    // --- Effect, oscillator and analysis windows ---
    // As the Lissajous button; no widget of the form has its name, so it is
    // not a slot that the form would try to connect.
    void on_pushLissajousWin_clicked();
    // The variable-speed settings (nothing reads them in this build) and
    // the filter-bank band switches, high then low per band.
    int mVsaUnitSize = 256;
    int mVsaFadeLength = 32;
    int mVsaBankCount = 5;
    int mVsaBankDelay = 8;
    uint8_t mQmfSwitch[8][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}};
    // The compressor's settings as the dialog last sent them.
    int mDynamicsAttackMs = 3;
    int mDynamicsReleaseMs = 150;
    double mDynamicsThresholdDb = -12.0;
    double mDynamicsRatio = 32.0;
    double mDynamicsMakeupDb = 0.0;
    bool mDynamicsEnable[2] = {false, false};
    bool mLissajousShown = false;
    // The counter shows sub-frames in timecode mode; never cleared.
    bool mShowSubFrames = false;

    // --- Export, bounce and combine commands ---
    tBounceParam mBounceParam;
    tBounceStatusStruct mBounceStatus;
    bool mBouncing = false;
    int mBounceTraceCountdown = 0;  // ticks to the next mix-down trace
    // The mix-down's conversion and mixing counters to the trace.
    void traceBounceCounters();

    // The allocator of the blocks construction checks (the meter rings, the
    // master peak pair, the capture ring and the overview arrays); tests
    // replace it to make an allocation fail.
    static void *(*sMemoryAllocator)(uint64_t size, uint64_t alignment);

    // Helpers of the track and overview files.
    static void freeOverview(MainWindow &w, int s);
    static void analysisPaused(MainWindow &w, bool paused);
    static void tellAnalysisTrackCount(MainWindow &w, int count);
    static void placeCursorLine(MainWindow &w, double fraction);
    static int sliderFor(MainWindow &w, int64_t L);
    static void queueOverview(MainWindow &w, int s);
    static void afterTimeZoom(MainWindow &w, bool zoomedOutToOne);

    // --- Periodic timer steps, bounded waits and opening steps ---
public:
    // Waits until the tracks' audio threads have ended their jobs, and so
    // the engine has stopped and let go of the files, at most boundMs.
    tThreadWait waitForTrackJobs(int boundMs);

private:
    // What the last open's wait came to (for the tests).
    tThreadWait mOpenReleaseWait = tThreadWait::NothingToWait;
    // What one tick reads once and its steps share.
    struct tTickFrame {
        int ringLength = 1;
        int tracks = 0;
        int firstRate = 0;
        int recordingRate = 0;
        int64_t offset = 0;  // the counter's display offset
        tTickCounterView counter;
        tTickMeterMode meter;
        double master[2] = {0.0, 0.0};
        double trackPeaks[kMainTrackSlots][2] = {};
        tTickOverviewJob overviews[kMainTrackSlots];
    };
    // The tick's steps, in its order (takeSeveralHundredMili).
    void tickCounterAndCursor(tTickFrame &f);
    void placeCursorFollowingView();
    void tickOutPoint(const tTickFrame &f);
    void tickMeters(const tTickFrame &f);
    void tickWatchdog();
    void tickArmBlink();
    void tickDeviceRecovery();
    void tickBounceTrace();
    void tickAnalysisFeeds(const tTickFrame &f);
    void tickAutoRedraw();
    void tickBufferSizeChange();
    void tickPixelRatio();
    // Boxes a tick raised, shown from the event loop once it has returned.
    void queueTickMessage(tTickMessage message);
    void showTickMessages();
    std::vector<tTickMessage> mTickMessages;
    bool mTickMessagesScheduled = false;
    // A tick is running. A box that something the tick calls opens (a
    // refused restart, a device that cannot be selected) runs an event
    // loop, in which the timer's next ticks are dropped rather than run
    // inside this one.
    bool mInTick = false;
    // openFile2's steps.
    bool describeOpenedFile(int slot, const QString &displayPath, const QString &readPath);
    void readOpenedTag(int slot, const QString &readPath);
    void refreshFirstTrack(const QString &displayPath);
    void saveFileTexts(int slot);
};
