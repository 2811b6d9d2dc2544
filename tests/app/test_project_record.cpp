// The Project menu's save and load, and recording from the virtual device's
// input, on one constructed main window.
//
// Recording runs on the window's own stream of the virtual device.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/mainwindow.h"
#include "audiofile/wavfile.h"
#include "editing/dialogrecsetup.h"
#include "engine/capturering.h"
#include "engine/contcoreaudiothread.h"
#include "engine/enginestate.h"
#include "engine/recengine.h"
#include "engine/rtbridge.h"
#include "mixer/dialogpeq.h"
#include "platform/audiohost/virtualdevice.h"
#include "support/testutil.h"
#include "support/wavwriter.h"
#include "ui_mainwindow.h"

namespace {

QTemporaryDir *sHome = nullptr;

// A 16-bit stereo PCM WAV of `frames` silent frames.
bool writeWav(const QString &path, uint32_t rate, uint32_t frames) {
    const sxtest::Bytes wav = sxtest::wavFile(rate, 16, 2, sxtest::Bytes(size_t(frames) * 4, 0));
    return sxtest::writeAll(path.toStdString(), wav);
}

// Reads and closes the message boxes that appear while it lives.
struct BoxReader {
    QStringList titles, texts;
    QTimer timer;
    BoxReader() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(top);
                if (box && box->isVisible()) {
                    titles << box->windowTitle();
                    texts << box->text();
                    box->accept();
                }
            }
        });
        timer.start(30);
    }
};

QString sSaveAnswer;
QString savePath(QWidget *, const QString &, const QString &, const QString &) { return sSaveAnswer; }

class ProjectRecordWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        audioThread::setLibraryPath(qEnvironmentVariable("SONVEX_BIN_DIR") + QStringLiteral("/libmorphex.so.1"));
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }
    static QString file(const QString &name) { return sHome->filePath(name); }
    static MainWindow *sWindow;
};
MainWindow *ProjectRecordWindow::sWindow = nullptr;

}  // namespace

TEST_F(ProjectRecordWindow, SavingStoresEveryTracksSettingsAndTheMaster) {
    MainWindow &w = *sWindow;
    ASSERT_TRUE(probe(w).constructed());
    // Two tracks as opening two files leaves them.
    w.getMemoryForEQ(1);
    probe(w).mixParam().trackCount = 2;
    ASSERT_EQ(probe(w).project().appendTrack(file(QStringLiteral("a.wav"))), kProjectOK);
    ASSERT_EQ(probe(w).project().appendTrack(file(QStringLiteral("b.wav"))), kProjectOK);
    probe(w).mixParam().ch[0].faderDb = -6.0f;
    probe(w).mixParam().ch[0].pan = -40.0;
    probe(w).mixParam().ch[0].delayMs = 12.7;
    probe(w).mixParam().ch[1].faderDb = 3.5f;
    probe(w).mixParam().ch[1].pan = 25.0;
    probe(w).mixParam().ch[1].delayMs = 0.0;
    probe(w).tracks()[0].peq->band[3].mFreq = 123.0;  // EQ1
    probe(w).tracks()[0].peq->band[3].mBandOn = true;
    probe(w).tracks()[0].peq->band[0].mGain = -4.5;  // EQ4
    probe(w).tracks()[0].peq->totalGainDb = 2.0;
    *probe(w).tracks()[0].peq->allOn = true;
    probe(w).tracks()[1].peq->band[1].mQ = 3.3;  // EQ3
    *probe(w).tracks()[1].peq->allOn = false;
    probe(w).masterPeq()->band[2].mFreq = 777.0;  // EQ2
    probe(w).masterPeq()->totalGainDb = -1.5;
    *probe(w).masterPeq()->allOn = true;
    probe(w).playFs() = 96000;

    // A cancelled dialog writes nothing.
    MainWindowProbe::projectSaveDialog() = &savePath;
    sSaveAnswer.clear();
    const QDir before = probe(w).projectDir();
    w.actionSaveClicked(true);
    EXPECT_EQ(probe(w).projectDir(), before);

    QDir().mkpath(file(QStringLiteral("projects")));
    sSaveAnswer = file(QStringLiteral("projects/two.adl"));
    w.actionSaveClicked(true);
    EXPECT_EQ(probe(w).projectDir().absolutePath(), file(QStringLiteral("projects")));

    projectFile saved;
    ASSERT_EQ(saved.loadProjectFile(sSaveAnswer), 2);
    EXPECT_EQ(saved.getTrackFilePath(0), file(QStringLiteral("a.wav")));
    EXPECT_EQ(saved.getTrackFilePath(1), file(QStringLiteral("b.wav")));
    EXPECT_EQ(saved.pointCount(kADLParamLevel, 0), 1);
    EXPECT_EQ(saved.pointCount(kADLParamPan, 1), 1);
    EXPECT_FLOAT_EQ(float(saved.getParameterFromList(kADLParamLevel, 0, 0)), -6.0f);
    EXPECT_FLOAT_EQ(float(saved.getParameterFromList(kADLParamLevel, 1, 0)), 3.5f);
    EXPECT_FLOAT_EQ(float(saved.getParameterFromList(kADLParamPan, 0, 0)), -40.0f);
    EXPECT_FLOAT_EQ(float(saved.getParameterFromList(kADLParamPan, 1, 0)), 25.0f);
    EXPECT_EQ(saved.getDelayTime(0), 12.0);  // whole milliseconds
    EXPECT_EQ(saved.getDelayTime(1), 0.0);
    const tProjectEQParams *eq0 = saved.getEqParams(0);
    ASSERT_NE(eq0, nullptr);
    EXPECT_EQ(eq0->band[0].freq, 123.0);
    EXPECT_TRUE(eq0->band[0].on);
    EXPECT_EQ(eq0->band[3].gain, -4.5);
    EXPECT_EQ(eq0->allGain, 2.0);
    EXPECT_TRUE(eq0->allOn);
    EXPECT_EQ(saved.getEqParams(1)->band[2].q, 3.3);
    EXPECT_FALSE(saved.getEqParams(1)->allOn);
    // The master after the last track.
    const tProjectEQParams *master = saved.getEqParams(2);
    ASSERT_NE(master, nullptr);
    EXPECT_EQ(master->band[1].freq, 777.0);
    EXPECT_EQ(master->allGain, -1.5);
    EXPECT_TRUE(master->allOn);
    // The play rate, as the sequence's rate.
    QFile text(sSaveAnswer);
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_TRUE(text.readAll().contains("S96000"));

    // A project that cannot be written says so.
    BoxReader boxes;
    sSaveAnswer = file(QStringLiteral("no-such-folder/x.adl"));
    w.actionSaveClicked(true);
    QTRY_COMPARE(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], QStringLiteral("Could not write the project file."));

    probe(w).mixParam().trackCount = 1;
    probe(w).playFs() = 44100;
    for (tPEQ *peq : {probe(w).tracks()[0].peq, probe(w).tracks()[1].peq, probe(w).masterPeq()}) {
        *peq->allOn = false;
        peq->totalGainDb = 0.0;
        peq->totalGainLin = 1.0;
    }
}

TEST_F(ProjectRecordWindow, LoadingGivesSettingsOnlyToTracksThatOpened) {
    MainWindow &w = *sWindow;
    // A project of two files that no longer exist, its master equaliser on.
    projectFile doc;
    ASSERT_EQ(doc.appendTrack(file(QStringLiteral("gone1.wav"))), kProjectOK);
    ASSERT_EQ(doc.appendTrack(file(QStringLiteral("gone2.wav"))), kProjectOK);
    doc.appendVolData(0, -6.0f, 0);
    doc.appendVolData(1, -12.0f, 0);
    doc.setDelayTime(0, 30);
    doc.setTrackListName(0, QStringLiteral("Lead"));
    tProjectEQParams master{};
    master.allOn = true;
    master.allGain = -3.0;
    master.band[1].freq = 555.0;
    ASSERT_EQ(doc.setEqParams(2, &master), kProjectOK);
    QDir().mkpath(file(QStringLiteral("load")));
    sSaveAnswer = file(QStringLiteral("load/gone.adl"));
    ASSERT_EQ(doc.saveProjectFile(sSaveAnswer), kProjectOK);

    probe(w).mixParam().trackCount = 1;
    probe(w).mixParam().ch[0].faderDb = 0.0f;
    probe(w).mixParam().ch[0].gain = 1.0;
    probe(w).mixParam().ch[0].delayMs = 0.0;
    QSignalSpy names(&w, &MainWindow::trackNamesLoaded);
    MainWindowProbe::projectOpenDialog() = &savePath;
    BoxReader boxes;  // failed opens are reported as for any file
    w.actionLoadClicked(true);
    EXPECT_EQ(probe(w).projectDir().absolutePath(), file(QStringLiteral("load")));

    // The tracks' threads were stopped and awaited before tracks went.
    EXPECT_FALSE(probe(w).tracks()[0].audioThread->isRunning());
    // No file opened: no slot takes a listed file's fader or delay.
    EXPECT_EQ(probe(w).mixParam().ch[0].faderDb, 0.0f);
    EXPECT_EQ(probe(w).mixParam().ch[0].gain, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[0].delayMs, 0.0);
    // The master's settings are the project's.
    EXPECT_EQ(probe(w).masterPeq()->totalGainDb, -3.0);
    EXPECT_NEAR(probe(w).masterPeq()->totalGainLin, std::pow(10.0, -3.0 / 20.0), 1e-12);
    EXPECT_TRUE(*probe(w).masterPeq()->allOn);
    EXPECT_EQ(probe(w).masterPeq()->band[2].mFreq, 555.0);  // EQ2
    ASSERT_EQ(names.count(), 1);
    EXPECT_TRUE(names[0][0].toStringList().value(0).isEmpty()) << "the name of a file that did not open";

    *probe(w).masterPeq()->allOn = false;
    probe(w).masterPeq()->totalGainDb = 0.0;
    probe(w).masterPeq()->totalGainLin = 1.0;
}

namespace {

// Recording into a folder of its own: base name KAVELO, WAV, 32-bit float,
// the rate chosen in both record-rate lists (the device boot fills them
// alike), the virtual device as play and record device.
QString prepareRecording(MainWindow &w, const QString &folder, const char *rate = "48kHz") {
    QDir(folder).removeRecursively();
    EXPECT_TRUE(QDir().mkpath(folder));
    DialogRecSetup *setup = probe(w).dialogRecSetup();
    EXPECT_NE(setup, nullptr);
    setup->plainTextEditDir->setText(folder);
    setup->plainTextEditFile->setText(QStringLiteral("KAVELO"));
    setup->BounceFormat->setCurrentIndex(0);
    probe(w).driverType() = kDriverCoreAudio;
    probe(w).recDevIndex() = 1;
    const int entry = probe(w).ui()->comboBox_recFreq->findText(QString::fromLatin1(rate));
    EXPECT_GE(entry, 0) << rate;
    EXPECT_EQ(setup->comboboxRecFreq->itemText(entry), QString::fromLatin1(rate));
    setup->comboboxRecFreq->setCurrentIndex(entry);
    probe(w).ui()->comboBox_recFreq->setCurrentIndex(entry);
    if (setup->recFormat() == kRecFormatWav) setup->BounceBit->setCurrentIndex(2);  // 32-bit float
    return folder;
}

void touch(const QString &path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
}

// The virtual device's input while a test records: a ramp of distinct
// values, each exact in 24 bits, numbered by the frames delivered so far,
// so that any frame of a recording tells where in the input it lies.
struct InputRamp {
    std::atomic<uint64_t> frames{0};
    static int32_t value(uint64_t t, int ch) { return int32_t((t * 7 + uint64_t(ch) * 3) % 65536) - 32768; }
    static void generate(void *client, uint64_t, void *input, uint32_t frames, int channels, int container) {
        auto *self = static_cast<InputRamp *>(client);
        const uint64_t first = self->frames.fetch_add(frames);
        if (container != kAudioHostContainerFloat32) return;
        auto *f = static_cast<float *>(input);
        for (uint32_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                f[i * uint32_t(channels) + uint32_t(c)] = float(value(first + i, c)) / 65536.0f;
    }
    InputRamp() { vdev_setInputGenerator(&InputRamp::generate, this); }
    ~InputRamp() { vdev_setInputGenerator(nullptr, nullptr); }
};

bool waitForIdle(MainWindow &w) {
    return QTest::qWaitFor([&w] { return probe(w).recState() == 0; }, 10000);
}

}  // namespace

TEST_F(ProjectRecordWindow, AFileThatIsNoProjectKeepsTheOpenTracks) {
    MainWindow &w = *sWindow;
    sSaveAnswer = file(QStringLiteral("broken.adl"));
    for (const QByteArray &content : {QByteArray("not a project"), QByteArray("<SONVEXEDITOR></SONVEXEDITOR>")}) {
        SCOPED_TRACE(content.constData());
        QFile f(sSaveAnswer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        probe(w).mixParam().trackCount = 1;
        probe(w).tracks()[0].path = file(QStringLiteral("kept.wav"));
        MainWindowProbe::projectOpenDialog() = &savePath;
        BoxReader boxes;
        w.actionLoadClicked(true);
        QTRY_COMPARE(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], QStringLiteral("This is not a project file, or it lists no audio file."));
        EXPECT_EQ(probe(w).mixParam().trackCount, 1);
        EXPECT_EQ(probe(w).tracks()[0].path, file(QStringLiteral("kept.wav")));
    }
}

TEST_F(ProjectRecordWindow, RecordingTakesTheFirstFreeName) {
    MainWindow &w = *sWindow;
    const QString folder = prepareRecording(w, file(QStringLiteral("takes")));
    const auto take = [&](const QString &name) { return folder + QLatin1Char('/') + name; };
    touch(take(QStringLiteral("KAVELO_001.wav")));
    touch(take(QStringLiteral("KAVELO_003.wav")));
    EXPECT_EQ(w.freeRecordingPath(), take(QStringLiteral("KAVELO_002.wav")));
    touch(take(QStringLiteral("KAVELO_002.wav")));
    EXPECT_EQ(w.freeRecordingPath(), take(QStringLiteral("KAVELO_004.wav")));

    for (int n = 1; n <= 999; ++n) touch(take(QStringLiteral("KAVELO_%1.wav").arg(n, 3, 10, QLatin1Char('0'))));
    {
        BoxReader boxes;
        probe(w).ui()->recButton->setChecked(true);
        w.on_recButton_clicked();
        QTRY_COMPARE(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.titles[0], QStringLiteral("Could not record."));
        EXPECT_EQ(boxes.texts[0], QStringLiteral("Could not create the file.\nPlease change the file name to record."));
    }
    EXPECT_EQ(probe(w).recState(), 0);
    EXPECT_FALSE(probe(w).ui()->recButton->isChecked());
    // Another format has names of its own.
    probe(w).dialogRecSetup()->BounceFormat->addItems({QStringLiteral("DSDIFF(DSD)"), QStringLiteral("DSF(DSD)")});
    probe(w).dialogRecSetup()->BounceFormat->setCurrentIndex(2);
    EXPECT_EQ(w.freeRecordingPath(), take(QStringLiteral("KAVELO_001.dsf")));
    probe(w).dialogRecSetup()->BounceFormat->removeItem(2);
    probe(w).dialogRecSetup()->BounceFormat->removeItem(1);
}

TEST_F(ProjectRecordWindow, ADsdRateSwitchesWavToDsdiffAndStoppingWhileArmedWritesNothing) {
    MainWindow &w = *sWindow;
    BoxReader boxes;  // opening the recording afterwards may report it
    const QString folder = prepareRecording(w, file(QStringLiteral("takes")));
    const auto take = [&](const QString &name) { return folder + QLatin1Char('/') + name; };
    DialogRecSetup *setup = probe(w).dialogRecSetup();
    // A device boot with DSD rates offers the DSD formats.
    setup->BounceFormat->addItems({QStringLiteral("DSDIFF(DSD)"), QStringLiteral("DSF(DSD)")});
    setup->comboboxRecFreq->setCurrentIndex(setup->comboboxRecFreq->findText(QStringLiteral("5.6MHz")));
    probe(w).ui()->comboBox_recFreq->setCurrentIndex(setup->comboboxRecFreq->currentIndex());
    EXPECT_EQ(setup->recFormat(), kRecFormatDsdiff);
    EXPECT_EQ(setup->getRecFileExt(), QStringLiteral(".dff"));
    EXPECT_EQ(setup->getRecBit(), 1);

    w.on_recButton_clicked();
    ASSERT_EQ(probe(w).recState(), 3);
    EXPECT_EQ(QString::fromStdU16String(probe(w).recParams().path), take(QStringLiteral("KAVELO_001.dff")));
    EXPECT_EQ(probe(w).recParams().rate, 5644800);
    EXPECT_EQ(probe(w).recParams().format, kRecFormatDsdiff);
    EXPECT_EQ(probe(w).recParams().bits, 1);
    EXPECT_EQ(probe(w).recParams().channels, 2);
    EXPECT_EQ(probe(w).ui()->lineEditRecFileName->text(), QStringLiteral("KAVELO_001.dff"));
    EXPECT_EQ(probe(w).ui()->labelPlay->text(), QStringLiteral("Rec"));
    EXPECT_EQ(probe(w).ui()->label_orgFreq->text(), QStringLiteral("5.6MHz"));
    EXPECT_EQ(probe(w).ui()->label_orgCh->text(), QStringLiteral("STEREO"));
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
    EXPECT_FALSE(probe(w).ui()->actionRec_Setup->isEnabled());

    w.stopRecording();
    ASSERT_NE(probe(w).stopProgress(), nullptr);
    EXPECT_EQ(probe(w).stopProgress()->labelText(), QStringLiteral("Stopping..."));
    EXPECT_EQ(probe(w).stopProgress()->windowTitle(), QStringLiteral("Writing File..."));
    EXPECT_EQ(probe(w).ui()->labelPlay->text(), QStringLiteral("Play"));
    EXPECT_TRUE(probe(w).ui()->actionRec_Setup->isEnabled());
    ASSERT_TRUE(waitForIdle(w));
    EXPECT_FALSE(probe(w).stopProgress()->isVisible());
    EXPECT_FALSE(probe(w).ui()->recButton->isChecked());
    EXPECT_EQ(probe(w).inputMonitor(), 0);
    EXPECT_FALSE(QFile::exists(take(QStringLiteral("KAVELO_001.dff"))));

    setup->comboboxRecFreq->setCurrentIndex(setup->comboboxRecFreq->findText(QStringLiteral("48kHz")));
    EXPECT_EQ(setup->recFormat(), kRecFormatWav);
    setup->BounceFormat->removeItem(2);
    setup->BounceFormat->removeItem(1);
}

TEST_F(ProjectRecordWindow, RecordingArmsStartsStopsAndWritesTheFile) {
    MainWindow &w = *sWindow;
    BoxReader boxes;  // opening the recording afterwards may report it
    const QString folder = prepareRecording(w, file(QStringLiteral("takes")));
    const auto take = [&](const QString &name) { return folder + QLatin1Char('/') + name; };
    touch(take(QStringLiteral("KAVELO_001.wav")));
    touch(take(QStringLiteral("KAVELO_002.wav")));
    InputRamp input;

    w.on_recButton_clicked();  // armed: the device booted again, at the recording rate
    ASSERT_EQ(probe(w).recState(), 3);
    EXPECT_EQ(probe(w).inputMonitor(), 1);
    const QString path = take(QStringLiteral("KAVELO_003.wav"));
    EXPECT_EQ(QString::fromStdU16String(probe(w).recParams().path), path);
    EXPECT_EQ(probe(w).recParams().rate, 48000);
    EXPECT_EQ(probe(w).playFs(), 48000);
    // The boot refilled the format list: the word length is its "24bit".
    EXPECT_EQ(probe(w).recParams().bits, 24);

    w.on_recButton_clicked();  // started
    ASSERT_EQ(probe(w).recState(), 4);
    EXPECT_TRUE(probe(w).ui()->recButton->isChecked());
    w.on_recButton_clicked();  // a second press while recording does nothing
    EXPECT_EQ(probe(w).recState(), 4);
    EXPECT_TRUE(probe(w).ui()->recButton->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe(w).core().mRecEngineThread->isFileCreated(); }, 5000));

    // Two whole blocks captured while recording, whatever size an earlier
    // rate left the blocks at (they only grow: after DSD, seconds each).
    const int32_t blocks = engine().captureBlocksWritten.load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine().captureBlocksWritten.load() >= blocks + 2; }, 20000));
    w.stopRecording();
    EXPECT_EQ(probe(w).stopProgress()->labelText(), QStringLiteral("Writing system file..."));
    ASSERT_TRUE(waitForIdle(w));
    EXPECT_EQ(probe(w).core().mRecEngineThread->lastResult(), kRecOk);
    EXPECT_EQ(probe(w).inputMonitor(), 0);
    EXPECT_FALSE(probe(w).ui()->recButton->isChecked());

    // The recording: a 24-bit stereo WAV at 48 kHz of whole capture blocks,
    // holding the device's input unchanged from wherever it began.
    gClass_WavFile wav;
    FILE *fp = std::fopen(path.toLocal8Bit().constData(), "rb");
    ASSERT_NE(fp, nullptr);
    uint32_t rate = 0, bits = 0, channels = 0;
    uint16_t tag = 0;
    ASSERT_EQ(wav.searchFmtChunk(fp, &rate, &bits, &channels, &tag), 0);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(bits, 24u);
    EXPECT_EQ(channels, 2u);
    uint64_t offset = 0, bytes = 0, audio = 0;
    ASSERT_EQ(wav.searchData(fp, &offset, &bytes, &audio), 0);
    std::vector<uint8_t> data(bytes);
    std::fseek(fp, long(offset), SEEK_SET);
    const size_t got = std::fread(data.data(), 1, data.size(), fp);
    std::fclose(fp);
    ASSERT_EQ(got, data.size());
    EXPECT_EQ(bytes % (uint64_t(probe(w).recParams().blockFrames) * 6), 0u);
    ASSERT_GE(bytes, uint64_t(probe(w).recParams().blockFrames) * 6);
    const auto sample = [&](size_t frame, int ch) {
        const uint8_t *b = &data[frame * 6 + size_t(ch) * 3];
        return int32_t(uint32_t(b[0]) << 8 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 24) >> 8;
    };
    // The first frame's left sample places the recording in the input (7
    // steps a frame, so its position within the ramp's period is unique).
    ASSERT_EQ(sample(0, 0) % 128, 0) << sample(0, 0);
    uint64_t start = 0;
    while (start < 65536 && InputRamp::value(start, 0) * 128 != sample(0, 0)) ++start;
    ASSERT_LT(start, 65536u) << "the recording does not begin with an input frame";
    size_t wrong = 0, firstWrong = 0;
    for (size_t t = 0; t < bytes / 6; ++t)
        for (int c = 0; c < 2; ++c)
            if (sample(t, c) != InputRamp::value(start + t, c) * 128 && wrong++ == 0) firstWrong = t;
    EXPECT_EQ(wrong, 0u) << "first at frame " << firstWrong << " of " << bytes / 6;
    // The recording was opened as the only track.
    EXPECT_EQ(probe(w).tracks()[0].path, path);
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);
}

TEST_F(ProjectRecordWindow, TheRecordingOverviewFillsAMinuteColumnByColumn) {
    MainWindow &w = *sWindow;
    constexpr int kColumns = 1333;
    const auto fill = [&](double v) {
        for (double *peaks : probe(w).recOverviewPeaks())
            for (int i = 0; i < 2 * kMainRecOverviewPairs; ++i) peaks[i] = v;
    };
    const auto written = [&](int column) { return probe(w).recOverviewPeaks()[0][2 * column] != 9.0; };
    fill(9.0);

    // The cursor half a minute on: at most three columns per tick.
    probe(w).recOverviewColumn() = 0;
    probe(w).cursorFraction() = 0.5;
    w.updateRecOverview();
    EXPECT_EQ(probe(w).recOverviewColumn(), 3);
    EXPECT_TRUE(written(0) && written(1) && written(2));
    EXPECT_FALSE(written(3));

    // Nothing while the column is at or ahead of the cursor.
    probe(w).recOverviewColumn() = 700;  // 0.525
    w.updateRecOverview();
    EXPECT_EQ(probe(w).recOverviewColumn(), 700);
    EXPECT_FALSE(written(700));

    // The cursor's minute wrapped: one column, no catching up.
    probe(w).recOverviewColumn() = 1000;
    probe(w).cursorFraction() = 0.01;
    w.updateRecOverview();
    EXPECT_EQ(probe(w).recOverviewColumn(), 1001);
    EXPECT_TRUE(written(1000));

    // The last column starts a new minute with an empty overview.
    probe(w).recOverviewColumn() = kColumns - 1;
    probe(w).cursorFraction() = 0.9999;
    w.updateRecOverview();
    EXPECT_EQ(probe(w).recOverviewColumn(), 2);
    EXPECT_EQ(probe(w).recOverviewPeaks()[0][2 * 700], 0.0);
    EXPECT_EQ(probe(w).recOverviewPeaks()[1][2 * (kColumns - 1)], 0.0);
    EXPECT_EQ(probe(w).recOverviewPeaks()[0][2 * 5], 0.0);
    fill(0.0);
    probe(w).recOverviewColumn() = 0;
    probe(w).cursorFraction() = 0.0;
}

TEST_F(ProjectRecordWindow, LoadingOpensTheListedFilesWithTheirSettings) {
    MainWindow &w = *sWindow;
    const QString a = file(QStringLiteral("one.wav")), b = file(QStringLiteral("two.wav"));
    ASSERT_TRUE(writeWav(a, 44100, 44100));
    ASSERT_TRUE(writeWav(b, 44100, 22050));
    // Three listed files, the middle one gone: its settings go nowhere and
    // the third file's go to the second track.
    projectFile doc;
    const QString files[3] = {a, file(QStringLiteral("gone.wav")), b};
    const float faders[3] = {-6.0f, -20.0f, 3.0f};
    const float pans[3] = {-30.0f, 99.0f, 40.0f};
    const int delays[3] = {12, 500, 7};
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(doc.appendTrack(files[c]), kProjectOK);
        doc.appendVolData(c, faders[c], 0);
        doc.appendPanData(c, pans[c], 0);
        doc.setDelayTime(c, delays[c]);
        tProjectEQParams eq{};
        eq.allOn = c != 0;
        eq.allGain = double(c);
        eq.band[0].freq = 100.0 * (c + 1);
        ASSERT_EQ(doc.setEqParams(c, &eq), kProjectOK);
    }
    QDir().mkpath(file(QStringLiteral("load3")));
    sSaveAnswer = file(QStringLiteral("load3/three.adl"));
    ASSERT_EQ(doc.saveProjectFile(sSaveAnswer), kProjectOK);

    MainWindowProbe::projectOpenDialog() = &savePath;
    {
        BoxReader boxes;  // the missing file is reported as for any file
        w.actionLoadClicked(true);
    }
    ASSERT_EQ(probe(w).mixParam().trackCount, 2);
    EXPECT_EQ(probe(w).tracks()[0].path, a);
    EXPECT_EQ(probe(w).tracks()[1].path, b);
    const int listed[2] = {0, 2};
    for (int t = 0; t < 2; ++t) {
        const int c = listed[t];
        const tMixChParam &ch = probe(w).mixParam().ch[t];
        EXPECT_FLOAT_EQ(ch.faderDb, faders[c]) << t;
        EXPECT_NEAR(ch.gain, std::pow(10.0, faders[c] / 20.0), 1e-6) << t;
        EXPECT_FLOAT_EQ(float(ch.pan), pans[c]) << t;
        EXPECT_EQ(ch.delayMs, double(delays[c])) << t;
        ASSERT_NE(probe(w).tracks()[t].peq, nullptr);
        EXPECT_EQ(probe(w).tracks()[t].peq->band[3].mFreq, 100.0 * (c + 1)) << t;  // EQ1
        EXPECT_EQ(probe(w).tracks()[t].peq->totalGainDb, double(c)) << t;
        EXPECT_EQ(*probe(w).tracks()[t].peq->allOn, c != 0) << t;
    }
    EXPECT_NEAR(probe(w).mixParam().ch[0].gain, 0.501, 0.001);  // -6 dB
}

TEST_F(ProjectRecordWindow, ThePlayButtonStartsAnArmedRecordingAndStopEndsIt) {
    MainWindow &w = *sWindow;
    BoxReader boxes;  // opening the recording afterwards may report it
    const QString folder = prepareRecording(w, file(QStringLiteral("transport")));
    const QString path = folder + QStringLiteral("/KAVELO_001.wav");

    w.on_recButton_clicked();
    ASSERT_EQ(probe(w).recState(), 3);
    probe(w).ui()->playButton->click();
    ASSERT_EQ(probe(w).recState(), 4);
    EXPECT_TRUE(probe(w).ui()->recButton->isChecked());
    EXPECT_TRUE(probe(w).ui()->playButton->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return probe(w).core().mRecEngineThread->isFileCreated(); }, 5000));

    QTest::qWait(200);
    probe(w).ui()->stopButton->click();
    ASSERT_NE(probe(w).stopProgress(), nullptr);
    EXPECT_EQ(probe(w).stopProgress()->labelText(), QStringLiteral("Writing system file..."));
    ASSERT_TRUE(waitForIdle(w));
    EXPECT_EQ(probe(w).core().mRecEngineThread->lastResult(), kRecOk);
    EXPECT_FALSE(probe(w).ui()->recButton->isChecked());
    EXPECT_EQ(probe(w).tracks()[0].path, path);
}
