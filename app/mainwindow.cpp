// The main window's construction, its per-track memory and its shut-down.
//
// Construction makes, in a fixed order, the windows, the work threads, the
// records the real-time engine reads and the display memory of track slot 0,
// binds the conversion library, reads the settings (which boot the saved
// device) and starts the mixer-analysis thread. Shut-down saves the
// settings first, then stops everything with bounded waits and frees what
// construction made. A thread that is still running when its wait is over
// is left alone rather than deleted under its own feet.
#include "app/mainwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTextToSpeech>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/startupthreads.h"
#include "app/usbprobe.h"
#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "base/alignedalloc.h"
#include "dsp/dynamics.h"
#include "editing/cheditstrip.h"
#include "editing/dialogcombine.h"
#include "editing/dialogdelfile.h"
#include "editing/dialogedit.h"
#include "editing/dialogrecsetup.h"
#include "engine/bouncethread.h"
#include "engine/contcoreaudiothread.h"
#include "engine/engineparams.h"
#include "engine/enginestate.h"
#include "engine/metering.h"
#include "engine/recengine.h"
#include "engine/vsathread.h"
#include "mixer/dialogpeq.h"
#include "mixer/mixer.h"
#include "trace/debugclient.h"
#include "ui_mainwindow.h"
#include "widgets/dialogselectfs.h"
#include "widgets/widgettypes.h"

const int kMainWaveLevelFactors[kMainWaveLevels] = {4, 8, 16, 32, 128, 1024, 2048};

void *(*MainWindow::sMemoryAllocator)(uint64_t size, uint64_t alignment) = &_aligned_malloc;

namespace {

constexpr int kMeterRingBytes = kMainRingEntries * 2 * static_cast<int>(sizeof(double));  // 1,056
constexpr int kMasterPeakBytes = 48;
constexpr int kRecOverviewBytes = kMainRecOverviewPairs * 16;  // 22,928

// The settling pause at the end of construction: 5 s (5,000,000,000 ns)
// wrapped to 32 bits, 5,000,000,000 - 2^32 = 705,032,704 ns (about 0.705 s).
// The program has always paused for the wrapped value, and keeps doing so.
constexpr long kStartSettleNs = static_cast<long>(static_cast<int32_t>(5000000000LL & 0xFFFFFFFFLL));
static_assert(kStartSettleNs == 705032704L, "5 s wrapped to 32 bits");

void sleepNs(long ns) {
    timespec t;
    t.tv_sec = ns / 1000000000L;
    t.tv_nsec = ns % 1000000000L;
    while (nanosleep(&t, &t) != 0) {}
}

wchar16 *newTagText(int units) {
    return static_cast<wchar16 *>(std::calloc(static_cast<size_t>(units), sizeof(wchar16)));
}

}  // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    buildForm();
    // Every block the display and the capture need is checked here, before
    // anything else uses them: a window without them could not run, so it
    // says so and goes no further.
    if (!allocateDisplayMemory()) {
        QMessageBox box(QMessageBox::Critical, tr("Error"), tr("Insufficient Memory."), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    initFirstTrackAndMixRecord();
    makeMixerAndEqualisers();
    makeDevicesAndWorkers();
    prepareEngineAndLibrary();
    startTimersAndTestBlocks();
    prepareFoldersAndSlots();

    // Reading the settings also opens the saved device, so it comes after
    // everything the device layer and the engine need. Shut-down saves them
    // only once they have been read, so a failed start cannot overwrite them
    // with defaults.
    loadParametersFromFile();
    mSettingsLoaded = true;

    setUpControls();
    startAnalysisAndSettle();
    mConstructed = true;
}

MainWindow::~MainWindow() {
    finishApp();
    // What is left goes with the members, in the reverse order of their
    // declaration: the display blocks, the windows without a parent (mixer,
    // volume-graph window, recording set-up and deletion dialogs), then the
    // core (its threads are gone already; the capture ring, the test blocks,
    // the compressor and the library binding go with it), and with the base
    // the objects that have the window as parent.
}

// ---- Construction, step by step ---------------------------------------------

void MainWindow::buildForm() {
    // The widget classes that no form creates stay creatable by name.
    registerWidgetTypes();
    // The library entry points stay null until the conversion library is
    // bound below; everything that calls them checks first.
    mSpeech = new QTextToSpeech(this);
    getAudioFileInformation = nullptr;
    getAudioWaveForm = nullptr;
    id3tagInformation = nullptr;
    // Volume-graph window: made with the by-value members, no parent.
    mChEditStrip.reset(new chEditStrip(nullptr));

    // The layout is placed by hand at fixed coordinates, so the window keeps
    // its designed size: no maximise or full-screen buttons.
    ui->setupUi(this);
    Qt::WindowFlags flags = windowFlags();
    flags &= ~(Qt::WindowMaximizeButtonHint | Qt::WindowFullscreenButtonHint);
    flags |= Qt::CustomizeWindowHint;
    setWindowFlags(flags);
    setFixedSize(sizeHint());

    // The track view draws in device pixels; it needs the screen's ratio
    // before its first paint.
    setMaxWaveLengthThreadID(0);
    setCpuid(0);
    mSettingsPath = composeBackupFilePath();
    mPixelRatio = static_cast<float>(devicePixelRatio());
    ui->widgetTrack1->setInitWindowPizelRatio(
        static_cast<float>(screen() ? screen()->devicePixelRatio() : devicePixelRatio()));

    // The meter drives the left and right bars and their over lamps itself.
    ui->widgetMeter->connectParts(ui->widgetLchMeter, ui->widgetLchOver, ui->widgetRchMeter, ui->widgetRchOver);

    // There is only one driver here, so its row is hidden and the device and
    // rate row moves up into its place.
    ui->widgetTrack1->setGeometry(50, 164, kMainTrackViewWidth, 180);
    ui->comboBox_driver->addItem(QStringLiteral("CoreAudio"));
    ui->frameAudioDriverLabel->hide();
    ui->comboBox_driver->hide();
    ui->lineDriver->hide();
    ui->pushAsioCont->hide();
    ui->frameAsioDevLabel->setGeometry(10, 7, 43, 24);
    ui->comboBox_asioDev->setGeometry(54, 10, 345, 21);
    ui->comboBox_asioFreq->setGeometry(478, 10, 86, 21);
    ui->comboBox_PlayRec->setGeometry(5, 2, 46, 17);
    ui->lineAsioFreq->setGeometry(569, 6, 1, 26);

    // The maker's USB device is looked for once at start; not finding it is
    // not an error.
    serachZOLTUSBAudio();
    ui->comboBox_PlayRec->hide();
}

bool MainWindow::allocateDisplayMemory() {
    // The first row of capture blocks, the master's meter ring and peak
    // pair, then a meter ring per track slot.
    bool memoryOk = mCore.allocateCaptureRow(sMemoryAllocator);
    mMasterMeterRing = static_cast<double *>(sMemoryAllocator(kMeterRingBytes, 16));
    mMasterPeakBlock.reset(static_cast<double *>(sMemoryAllocator(kMasterPeakBytes, 16)));
    memoryOk = memoryOk && mMasterMeterRing && mMasterPeakBlock;
    if (mMasterPeakBlock) {
        std::memset(mMasterPeakBlock.get(), 0, kMasterPeakBytes);
        mMasterPeak = mMasterPeakBlock.get();
        mPrevMasterPeak = mMasterPeakBlock.get() + 2;
    }
    for (int i = 0; i < kMainTrackSlots && memoryOk; ++i) {
        mTracks[i].meterRing = static_cast<double *>(sMemoryAllocator(kMeterRingBytes, 16));
        if (!mTracks[i].meterRing) memoryOk = false;
    }
    return memoryOk;
}

void MainWindow::initFirstTrackAndMixRecord() {
    // The first track's display memory and neutral starting values: unity
    // gain, and every envelope closed by a point at the largest position so
    // that no play position runs past its end. The mixer record is handed
    // to the engine only once it is complete.
    getMemoryForWaveForming(0);
    for (int i = 0; i < 2; ++i) {
        mRecOverviewBlocks[i].reset(static_cast<double *>(sMemoryAllocator(kRecOverviewBytes, 16)));
        mRecOverviewPeaks[i] = mRecOverviewBlocks[i].get();
        if (mRecOverviewPeaks[i]) std::memset(mRecOverviewPeaks[i], 0, kRecOverviewBytes);
    }
    std::memset(mMarkBuffer, 0, sizeof mMarkBuffer);
    ui->widgetTrack1->mMarks = mMarkBuffer;
    ui->widgetTrack1->mMarkCount = 0;
    mSingleVolItems[0] = tDspVolItem{0, 1.0, 0.0, 0};
    mSingleVolItems[1] = tDspVolItem{-1, 1.0, 0.0, 0};
    for (tTrack &track : mTracks) {
        tDspVolItem *items = track.envelope;
        items[0] = tDspVolItem{0, 0.0, 0.0, 0};
        items[1] = tDspVolItem{0, 0.0, 1.0, +1};
        items[2] = tDspVolItem{0, 1.0, 0.0, 0};
        items[3] = tDspVolItem{INT64_MAX, 0.0, 0.0, 0};
    }
    mMixParam = tMixParam();
    mMixParam.trackCount = 1;
    mMixParam.ch[0].LL = 1.0;
    mMixParam.ch[0].RR = 1.0;
    mMixParam.ch[0].gain = 1.0;
    mMixParam.ch[0].mute = 1.0f;
    mMixParam.ch[0].channels = 2;
    mMixParam.masterGain = 1.0;
    mMixParam.masterMute = 1.0f;
    mMixParam.masterFader = 1.0f;
    gAudioThread_setMixParam(&mMixParam);
}

void MainWindow::makeMixerAndEqualisers() {
    // The mixer reads and writes the window's own mixer record, so both see
    // the same gains.
    mMixer.reset(new mixer(nullptr));
    mMixer->mMixParam = &mMixParam;
    mCore.mTestSequence.mDialog = &mDialogTlTest;
    mDialogEdit = new DialogEdit(this);
    ui->labelEditMode->setSwitchPict(QStringLiteral(":/resources2/parts/stereoMode.png"),
                                     QStringLiteral(":/resources2/parts/multiTrack.png"));
    mMultiTrack = false;

    // Every equaliser slot starts empty so that shut-down can tell which
    // ones were made. The master's band frequencies are set before the
    // records are registered with the engine and the coefficients are
    // computed for the default rate.
    getMemoryForEQ(0);
    mMasterPeq = new tPEQ;
    mMasterPeqDialog = new DialogPeq(this);
    DialogPeq *masterWindow = mMasterPeqDialog;
    masterWindow->mTrackId = kMainEqMasterId;
    masterWindow->setWindowTitle(QStringLiteral("Parametric Equalizer - TRACK MASTER"));
    {
        int fftSize = 0;
        double *left = getPlayingFftAnalyzing(kMainEqMasterId, 0, &fftSize);
        double *right = getPlayingFftAnalyzing(kMainEqMasterId, 1, &fftSize);
        masterWindow->setFFTPointer(0, left, right, fftSize);
        left = getPlayingFftAnalyzing(kMainEqMasterId - 1, 0, &fftSize);
        right = getPlayingFftAnalyzing(kMainEqMasterId - 1, 1, &fftSize);
        masterWindow->setFFTPointer(1, left, right, fftSize);
    }
    tPEQ *master = mMasterPeq;
    master->allOn = &masterWindow->mAllEqOn;
    master->totalGainDb = 0.0;
    master->totalGainLin = 1.0;
    master->band[3].mFreq = 100.0;
    master->band[2].mFreq = 400.0;
    master->band[1].mFreq = 1000.0;
    master->band[0].mFreq = 4000.0;
    publishEqTable();
    setPEQClassToDSP(mCore.mEqTable, master);
    mDialogEdit->sendParameters(master, mMonitorVolumeDb, mPlayFs);
    resetEQparameters(44100);
}

void MainWindow::makeDevicesAndWorkers() {
    // Every device query and rate change of the window goes through the
    // control thread's device layer, so it exists before the settings are
    // read. The reverb lives in the mixer window; the engine only borrows it.
    mCore.mContCoreAudioThread.reset(new CContCoreAudioThread(nullptr));
    mCore.mDevices = mainDevices_forLayer(mCore.mContCoreAudioThread);
    setReverbClassToDSP(mMixer->getReverbInstance());
    mTracks[0].trackVolume = new dspVolume;
    mTracks[0].waveFormThread = new waveFormThread(nullptr);
    mTracks[0].waveFormThread->setTrackGraphic(ui->widgetTrack1);

    // No recording device is chosen until the settings name one.
    mDialogCombine = new DialogCombine(this);
    mDialogSelectFs = new DialogSelectFs(this);
    mPlayDevIndex = 0;
    mRecDevIndex = -1;

    // The work threads are made here but started only when a job needs
    // them.
    mCore.mFlac2WavThread.reset(new flac2wavThread(nullptr));
    mCore.mRecEngineThread.reset(new recEngineThread(nullptr));
    mDialogRecSetup.reset(new DialogRecSetup(nullptr));
    mCore.mVsaThread.reset(new vsaThread(nullptr));
    mCore.mPoly2MonosteThread.reset(new poly2monosteThread(nullptr));
    mCore.mMixerThread.reset(new mixerThread(nullptr));
    ui->pushVsa->hide();

    // The track view refuses edits while the recording state is set.
    setAcceptDrops(true);
    ui->widgetTrack1->mLockWord = &mRecState;
}

void MainWindow::prepareEngineAndLibrary() {
    // The engine's buffers must exist before the first audio thread is
    // registered. A failed allocation is reported but does not keep the
    // window from opening.
    initAudioIoParameters();
    if (allocateAudioThreadMemories() != kEngineMemOk)
        std::fprintf(stderr, "SonvexEditor: the engine's work memory could not be allocated\n");
    if (initAudioThreadMemoryWhole() != kEngineMemOk)
        std::fprintf(stderr, "SonvexEditor: the engine's track buffers could not be allocated\n");
    mTracks[0].audioThread = new audioThread(nullptr);
    if (initAudioIO_parameters() != kEngineMemOk)
        std::fprintf(stderr, "SonvexEditor: the engine's DSD buffer could not be allocated\n");
    setAudioIoThreadId(mTracks[0].audioThread->getThreadIndex(), 0);
    mThreadCount = 1;
    ui->labelEqIndicator->selectClickControl(kIndicatorClick);

    makeConnectionsFirst();

    // As above, a missing analysis or reverb buffer costs only that feature.
    if (allocateChFFTbuffer(0) != kEngineMemOk)
        std::fprintf(stderr, "SonvexEditor: the analysis buffers could not be allocated\n");
    if (allocateReverbBuffer() != kEngineMemOk)
        std::fprintf(stderr, "SonvexEditor: the reverb's buffer could not be allocated\n");

    // The conversion library is loaded from the program's folder. When it is
    // missing the entry points stay null and files cannot be opened, but the
    // window still runs.
    mCore.mLibrary = &morphexBinding();
    if (mCore.mLibrary->loaded) {
        getAudioFileInformation = mCore.mLibrary->getAudioFileInformation;
        getAudioWaveForm = mCore.mLibrary->getAudioWaveForm;
        id3tagInformation = mCore.mLibrary->id3tagInformation;
        mTracks[0].waveFormThread->setWaveFormFunc(getAudioWaveForm);
    }

    // This also makes the action groups and the bounce thread.
    makeConnectionsSecond();

    // The compressor is owned here and lent to the engine.
    mCore.mDynamics.reset(new ClassDynamics);
    setDynamicsClass(mCore.mDynamics);
    ui->pushDynamics->hide();
    mLissajousBuf = gAudioThread_getLissajousBuf();
    mLissajousReadIndex = 0;
}

void MainWindow::startTimersAndTestBlocks() {
    // The meter is told the period it is refreshed at. The first-information
    // popup comes half a second later, once the window is up.
    mLevelTimer = new QTimer(this);
    connect(mLevelTimer, &QTimer::timeout, this, &MainWindow::takeSeveralHundredMili);
    mLevelTimer->start(45);
    ui->widgetMeter->setMeterUpdateTiming(45);
    mFirstInfoTimer = new QTimer(this);
    connect(mFirstInfoTimer, &QTimer::timeout, this, &MainWindow::showFirstInformationPopup);
    mFirstInfoTimer->start(500);

    QThread::currentThread()->setPriority(QThread::NormalPriority);

    // The DSD mute pattern and the test-signal buffers. The engine replaces
    // these with larger blocks of its own when a device buffer outgrows them
    // (and frees those itself), so the core keeps its own pointers to free
    // what it made.
    mCore.makeTestBlocks();

    mDriverType = 0;
    mCursorSample = 0;
    mWaveZoom = 1.0;
    mCursorFraction = 0.0;
}

void MainWindow::prepareFoldersAndSlots() {
    // Work files land in the music folder; projects start in documents.
    // Both are created so that the first save does not fail on a fresh
    // account.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(music);
    QDir().mkpath(documents);
    QDir::setCurrent(music);
    mProjectDir.setPath(documents);

    // An empty slot still carries a plausible format, so views that read it
    // before a file is loaded get sane numbers.
    for (int i = 0; i < kMainTrackSlots; ++i) {
        mTracks[i].path.clear();
        mTracks[i].fileInfo = tAudioFileInfo();
        mTracks[i].fileInfo.sampleRate = 44100;
        mTracks[i].fileInfo.bitsPerSample = 16;
        mTracks[i].fileInfo.channels = 2;
    }

    // Tools keeps only the OVER indicator submenu.
    ui->menuTools->clear();
    ui->menuTools->addMenu(ui->menuOVER_Indicator);
}

void MainWindow::setUpControls() {
    // The controls take the values just read; editing stays disabled until
    // a track is loaded.
    ui->widgetFadeBase->makeVolTable();
    ui->widgetFadeBase->mKnob = ui->label_FaderTop;
    // The fader is horizontal: the knob travels the track's width.
    ui->label_FaderTop->mTravel = ui->widgetFadeBase->width();
    ui->widgetFadeBase->setVolumePosition(mMonitorVolumeDb);
    changeMonitorVolume(static_cast<int>(mMonitorVolumeDb));
    ui->labelEqIndicator->changeEqIndicator(mMasterPeqDialog->mAllEqOn);
    setUIOperability(false);
    mProjectHasTracks = 0;
    ui->widgetTrack1->setGeometry(50, 164, kMainTrackViewWidth, 180);
    ui->widgetMeter->setGeometry(262, 70, 492, 40);

    // Controls this build does not offer.
    for (QWidget *w : {static_cast<QWidget *>(ui->labelEqIndicator), static_cast<QWidget *>(ui->pushCh1PEQ),
                       static_cast<QWidget *>(ui->pushButtonAdd), static_cast<QWidget *>(ui->pushEditWin),
                       static_cast<QWidget *>(ui->pushMixer), static_cast<QWidget *>(ui->pushButtonDel),
                       static_cast<QWidget *>(ui->pushButtonEditTag), static_cast<QWidget *>(ui->recButton),
                       static_cast<QWidget *>(ui->labelMark), static_cast<QWidget *>(ui->widgetFadeBase),
                       static_cast<QWidget *>(ui->label_VolumeDB), static_cast<QWidget *>(ui->pushButtonPostFader),
                       static_cast<QWidget *>(ui->labelFadeIn), static_cast<QWidget *>(ui->labelFadeOut),
                       static_cast<QWidget *>(ui->labelGainVal), static_cast<QWidget *>(ui->lineEditGain_dB),
                       static_cast<QWidget *>(ui->pushButtonTlTest), static_cast<QWidget *>(ui->pushLissajous)})
        w->hide();

    ui->waveScrollBar->setStyleSheet(QStringLiteral(
        "QScrollBar:horizontal {    border: 1px solid #2B2B2B;    background: #151515;    height: 15px;    "
        "margin: 0px 20px 0 20px;    border-radius: 2px;}QScrollBar::handle:horizontal {    background: "
        "#373737;    min-width: 20px;    border-radius: 2px;}QScrollBar::add-line:horizontal {    background: "
        "#151515;    width: 20px;    subcontrol-position: right;    subcontrol-origin: margin;    border: 1px "
        "solid #2B2B2B;    border-radius: 2px;}QScrollBar::sub-line:horizontal {    background: #151515;    "
        "width: 20px;    subcontrol-position: left;    subcontrol-origin: margin;    border: 1px solid #2B2B2B; "
        "   border-radius: 2px;}QScrollBar:left-arrow:horizontal, QScrollBar::right-arrow:horizontal {    "
        "width: 3px;    height: 3px;    background: #373737;}QScrollBar::add-page:horizontal, "
        "QScrollBar::sub-page:horizontal {    background: none;}"));
    ui->waveScrollBar->setPageStep(ui->waveScrollBar->maximum() * 4096);
    ui->waveScrollBar->setMinimum(0);
    ui->waveScrollBar->setMaximum(100);

    // The display shows counter and level values a few ticks late, to line
    // up with what is heard; the rings that hold them start empty.
    mPlayActive = true;
    mAwaitingPlayStart = true;
    mCounterRingIndex = 0;
    mMeterRingIndex = 0;
    for (QString &text : mCounterRing) text.clear();
    for (double *ring : meterRings()) std::memset(ring, 0, kMeterRingBytes);
    std::memset(mPositionRing, 0, sizeof mPositionRing);

    // The meter starts at silence rather than at whatever its memory held.
    {
        const double zero[2] = {0.0, 0.0};
        ui->widgetMeter->setMeterData(zero, 0, 45);
    }

    // The device list is refreshed when it is clicked while nothing plays,
    // so a device plugged in after start shows up.
    ui->comboBox_asioDev->installEventFilter(this);
    if (mDialogRecSetup->BounceBit->count() > 1) mDialogRecSetup->BounceBit->setCurrentIndex(1);

    // No track is delayed until the user sets one.
    mDelayTable = getDelayTable();
    std::memset(mDelayTable, 0, sizeof(int64_t) * kMainTrackSlots);

    // The tag record's text buffers are zero-filled, so a text is always
    // terminated. The picture path holds the temporary file's template,
    // cut to fit with room for the terminator.
    mID3tagInfo.title = newTagText(kTagTextUnits);
    mID3tagInfo.artist = newTagText(kTagTextUnits);
    mID3tagInfo.album = newTagText(kTagTextUnits);
    mID3tagInfo.comment = newTagText(kTagCommentUnits);
    mID3tagInfo.genre = newTagText(kTagTextUnits);
    mID3tagInfo.picturePath = newTagText(kTagTextUnits);
    if (mID3tagInfo.picturePath) {
        const QString tmpl = mTagPictureFile.fileTemplate().left(kTagTextUnits - 1);
        std::memcpy(mID3tagInfo.picturePath, tmpl.utf16(), sizeof(wchar16) * static_cast<size_t>(tmpl.size()));
    }
    ui->lineEditRecFileName->hide();
    ui->label_recExt->hide();
    ui->pushSelDir->hide();
    ui->comboBox_recFreq->hide();
    ui->comboBox_recDev->hide();

    // The variable-speed settings get their start values where that feature
    // is wired up, not here.
    ui->labelEditMode->hide();
    ui->labelLevelDB->hide();
}

void MainWindow::startAnalysisAndSettle() {
    // The mixer-analysis thread runs every 40 ms from here to shut-down. Its
    // connections must exist before the job is queued and the mixer record
    // is announced, or the first results would go nowhere.
    mCore.mMixerTransactParams.status = 0;
    mCore.mMixerTransactParams.trackCount = 1;
    mCore.mMixerTransactParams.sampleRate = &mPlayFs;
    mCore.mMixerTransactParams.mixer = mMixer;
    mCore.mMixerTransactParams.testDialog = &mCore.mTestSequence;
    mCore.mMixerThread->setParams(&mCore.mMixerTransactParams);
    ClassMixer *job = new ClassMixer;
    makeConnectionsThird();
    mCore.mMixerThread->addTransaction(job);
    emit setMixerParams(&mMixParam);

    // The deletion dialog and the volume-graph window stay hidden until
    // asked for; then the volume-graph window's edits are connected.
    mDialogDelFile.reset(new DialogDelFile(nullptr));
    mDialogDelFile->hide();
    mChEditStrip->hide();
    makeConnectionsLast();

    if (DebugClient::sDebugLevel >= 10)
        DebugClient::SendTrace(QStringLiteral("Sonvex Editor Started."), "MAIN", 10, "mainwindow", __LINE__,
                               "MainWindow");

    // Let the engine and a booted sound card settle before the views draw;
    // the waveform view enables its GL drawing only then. A virtual device
    // (or none) has nothing to settle.
    mStartPaused = mPlayDevIndex > 0 && mCore.mDevices.settles && mCore.mDevices.settles(mPlayDevIndex - 1);
    if (mStartPaused) sleepNs(kStartSettleNs);
    ui->widgetTrack1->setGLenable(true);
}

int MainWindow::getMemoryForWaveForming(int track) {
    if (track < 0 || track >= kMainTrackSlots) return -1;
    const int64_t width = ui->widgetTrack1->width();
    const int64_t width4 = (width + 3) / 4 * 4;
    for (int k = 0; k < kMainWaveLevels; ++k) {
        const int64_t factor = kMainWaveLevelFactors[k];
        const uint64_t bytes = static_cast<uint64_t>(width4 * factor * 16);
        mWaveLevelLength[k] = width * factor;
        if (!mTracks[track].waveMin[k]) {
            mTracks[track].waveMin[k] = static_cast<double *>(sMemoryAllocator(bytes, 16));
            if (!mTracks[track].waveMin[k]) return -1;
            mTracks[track].waveMax[k] = static_cast<double *>(sMemoryAllocator(bytes, 16));
            if (!mTracks[track].waveMax[k]) return -1;
        }
        if (!mTracks[track].waveMax[k]) {
            mTracks[track].waveMax[k] = static_cast<double *>(sMemoryAllocator(bytes, 16));
            if (!mTracks[track].waveMax[k]) return -1;
        }
        std::memset(mTracks[track].waveMin[k], 0, bytes);
        std::memset(mTracks[track].waveMax[k], 0, bytes);
    }
    mWaveLevels = kMainWaveLevels;
    mOverview.length[track] = 0;
    return 0;
}

int MainWindow::getMemoryForEQ(int track) {
    if (track < 0 || track >= kMainTrackSlots) return 0;
    if (!mTracks[track].peq) mTracks[track].peq = new tPEQ;
    if (!mTracks[track].peqDialog) mTracks[track].peqDialog = new DialogPeq(this);
    publishEqTable();
    asignEQParameterTrack(track);
    return 0;
}

void MainWindow::publishEqTable() {
    for (int i = 0; i < kMainTrackSlots; ++i) mCore.mEqTable[i] = mTracks[i].peq;
    mCore.mEqTable[kMainMasterSlot] = mMasterPeq;
}

std::array<tAudioFileInfo, kMainTrackSlots> MainWindow::trackInfos() const {
    std::array<tAudioFileInfo, kMainTrackSlots> infos;
    for (int i = 0; i < kMainTrackSlots; ++i) infos[i] = mTracks[i].fileInfo;
    return infos;
}

std::array<double *, kMainEqSlots> MainWindow::meterRings() const {
    std::array<double *, kMainEqSlots> rings;
    for (int i = 0; i < kMainTrackSlots; ++i) rings[i] = mTracks[i].meterRing;
    rings[kMainMasterSlot] = mMasterMeterRing;
    return rings;
}

void MainWindow::resetEQparameters(int rate) {
    const int count = std::min<int>(mMixParam.trackCount, kMainTrackSlots);
    for (int i = 0; i < count; ++i) {
        if (mTracks[i].peqDialog) mTracks[i].peqDialog->changeFs(rate);
        tPEQ *peq = mTracks[i].peq;
        if (!peq) continue;
        peq->band[3].setShelvLo(true);
        peq->band[0].setShelvLo(false);
        for (int b = 3; b >= 0; --b) peq->band[b].reCalcCoef(rate);
    }
    initEqParam();
    DialogPeq *masterWindow = mMasterPeqDialog;
    if (masterWindow && mMasterPeq) {
        masterWindow->sendPeqParam(mMasterPeq, rate, &mMonitorVolumeDb);
        masterWindow->setEqParamOfWidgetEq();
        masterWindow->setEqParamOfDialogEq();
    }
}

void MainWindow::serachZOLTUSBAudio() {
    mUsbDevice.clear();
    const QString device = usbProbe_find(usbProbe_systemRoot(), kUsbProbeVendor, kUsbProbeProduct);
    if (device.isEmpty()) {
        std::fputs("Device not found\n", stdout);
    } else {
        std::fputs("Device is present.", stdout);
        mUsbDevice = device;
    }
    std::fflush(stdout);
}

bool MainWindow::loadAsioDriver() { return true; }

void MainWindow::finishApp() {
    const int trackCount = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);

    if (mConstructed) {
        // The watchdog is given a long period and disabled, so the slow,
        // bounded waits below do not trip it. The user's state is saved
        // before anything is stopped, so a hang later cannot lose it.
        setWDT(20000);
        mWatchdogEnabled = false;
    }
    if (mSettingsLoaded) saveParametersToFile();

    if (mConstructed) stopPlaybackAndDevice(trackCount);
    releaseTimersAndEqualisers();
    finishWorkersAndEngine();
    removeTemporaryFiles();
    if (mConstructed) takeLoansBackFromEngine();
    releaseTrackSlots();

    delete ui;
    ui = nullptr;
}

// ---- Shut-down, step by step --------------------------------------------------

void MainWindow::stopPlaybackAndDevice(int trackCount) {
    // Playback stops before the device is taken down.
    stopRequest();
    std::fputs("Play Stop OK \n", stdout);
    std::fflush(stdout);

    // The analysis, the device stream and its control thread, each wait
    // bounded (the core's stopDevice).
    std::fputs(mCore.stopDevice(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);

    // The analysis loop is asked to end through its parameters.
    mCore.endAnalysis();
    for (int i = 0; i < trackCount; ++i) stopWaveFormThread(i);
}

void MainWindow::releaseTimersAndEqualisers() {
    // The windows are hidden and the timers and the library go, so nothing
    // fires or calls into the library from here on.
    const int trackCount = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int i = 0; i < trackCount; ++i)
        if (mTracks[i].peqDialog) mTracks[i].peqDialog->hide();
    delete mLevelTimer;
    mLevelTimer = nullptr;
    delete mFirstInfoTimer;
    mFirstInfoTimer = nullptr;
    mCore.mLibrary = nullptr;

    // Equaliser records and waveform workers. A worker was asked to
    // stop above; one still busy is not deleted under its own feet. The
    // engine lets go of the records before they go.
    setPEQClassToDSP(nullptr, nullptr);
    for (tTrack &track : mTracks) {
        delete track.peq;
        track.peq = nullptr;
        if (track.waveFormThread) track.waveFormThread->stop();
        startup_deleteWhenStopped(track.waveFormThread, 10);
    }
    delete mMasterPeq;
    mMasterPeq = nullptr;
    publishEqTable();
}

void MainWindow::finishWorkersAndEngine() {
    // The control, bounce, file, recording and analysis threads, in that
    // order and each wait bounded (the core's finishWorkers).
    mCore.finishWorkers();
    if (!mConstructed) return;

    // The engine's memory and the audio threads; the whole-engine memory
    // goes last, once no audio thread can touch it.
    freeAudhioThreadMemories();
    for (tTrack &track : mTracks) {
        if (track.audioThread) track.audioThread->stop();
        startup_deleteWhenStopped(track.audioThread, 30);
    }
    finishAudioThreadMemoryWhole();
}

void MainWindow::removeTemporaryFiles() {
    // Both FLAC decodes whether used or not, the channel split when one
    // happened, the tag picture.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    for (int n = 0; n < 2; ++n)
        QFile::remove(music + QStringLiteral("/SonvexEditorFlacTemp") + QString::number(n) + QStringLiteral(".wav"));
    if (!mSplitTempPath.isEmpty()) QFile::remove(mSplitTempPath);
    mTagPictureFile.close();
    if (!mTagPictureFile.fileName().isEmpty()) mTagPictureFile.remove();
    mTagPictureDir.reset();

    // The tag record's text buffers.
    for (wchar16 **text : {&mID3tagInfo.title, &mID3tagInfo.artist, &mID3tagInfo.album, &mID3tagInfo.comment,
                           &mID3tagInfo.genre, &mID3tagInfo.picturePath}) {
        std::free(*text);
        *text = nullptr;
    }
}

void MainWindow::takeLoansBackFromEngine() {
    freeReverbBuffer();
    // With every thread gone and the device stopped nothing reads the
    // mixer window's reverb, the compressor, the mixer record or the
    // equalisers any more: the engine lets go of them before they go with
    // their owners.
    setReverbClassToDSP(nullptr);
    setDynamicsClass(nullptr);
    gAudioThread_setMixParam(nullptr);
    setPEQClassToDSP(nullptr, nullptr);
}

void MainWindow::releaseTrackSlots() {
    // Each slot's meter ring, overview arrays, equaliser window and envelope
    // builder (its threads and equaliser record went above), and the
    // master's meter ring.
    for (tTrack &track : mTracks) {
        _aligned_free(track.meterRing);
        track.meterRing = nullptr;
        for (int k = 0; k < kMainWaveLevels; ++k) {
            _aligned_free(track.waveMin[k]);
            _aligned_free(track.waveMax[k]);
            track.waveMin[k] = track.waveMax[k] = nullptr;
        }
        delete track.peqDialog;
        track.peqDialog = nullptr;
        delete track.trackVolume;
        track.trackVolume = nullptr;
    }
    _aligned_free(mMasterMeterRing);
    mMasterMeterRing = nullptr;
}
