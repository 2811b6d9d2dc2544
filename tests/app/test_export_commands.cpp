// The main window's EXPORT and COMBINE commands on one constructed window,
// driving the real export window, its audio thread and the built library:
// the refusals before the export window opens, the name the export window
// builds for the open file, a single track's range exported and read back
// from outside, and several tracks mixed down through "SonvexBounceTemp"
// in the export folder before the export of the mix.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <string>

#include "app/mainwindow.h"
#include "editing/dialogcombine.h"
#include "editing/dialogedit.h"
#include "editing/exporttestutil.h"
#include "engine/engineparams.h"
#include "ui_mainwindow.h"

namespace {

using edtest::MessageBoxes;
using edtest::q;

QTemporaryDir *sHome = nullptr;

class ExportCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = new QTemporaryDir;
        qputenv("HOME", sHome->path().toUtf8());
        qputenv("XDG_DATA_HOME", sHome->filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", sHome->filePath(QStringLiteral("config")).toUtf8());
        engtest::useBuiltLibrary();
        sWindow = new MainWindow;
    }
    static void TearDownTestSuite() {
        delete sWindow;
        sWindow = nullptr;
        delete sHome;
        sHome = nullptr;
    }

    void SetUp() override {
        w = sWindow;
        edit = probe(*w).dialogEdit();
        // Exports land in this test's folder: the export window's folder
        // field shows the current folder.
        QDir::setCurrent(q(dir.path()));
        // The form's controls as a loaded file leaves them (EXPORT enabled).
        w->setUIOperability(true);
    }
    void TearDown() override {
        edit->hide();
        probe(*w).tracks()[0].path.clear();
        probe(*w).mixParam().trackCount = 1;
    }

    // Slot `track` holds the file as opening it leaves it: the path, the
    // slot's description and the information labels of the first track.
    void fillSlot(int track, const std::string &path) {
        probe(*w).tracks()[track].path = q(path);
        tMorphexParam job;
        ASSERT_EQ(w->getAudioParam(&job, q(path), track), 0);
        if (track == 0) {
            probe(*w).ui()->label_orgFileType->setText(QStringLiteral("WAV"));
            probe(*w).ui()->label_orgFreq->setText(QStringLiteral("44.1kHz"));
            probe(*w).ui()->label_orgBit->setText(QStringLiteral("32bit Float"));
            probe(*w).ui()->label_orgCh->setText(QStringLiteral("STEREO"));
        }
    }
    void setRegion(int64_t in, int64_t out) {
        edit->mExportRegion = tWaveEditParam();
        edit->mExportRegion.inPoint = in;
        edit->mExportRegion.outPoint = out;
        edit->mExportRegion.gain = 1.0;
        // The view's handles say the same, so that a recomputation from the
        // view (a track added, a handle moved) keeps this region.
        const double length = static_cast<double>(w->getMaxSamples());
        if (length > 0) {
            trackGraphic *view = probe(*w).ui()->widgetTrack1;
            view->mInPoint = view->mFadeInEnd = (static_cast<double>(in) + 0.5) / length;
            view->mOutPoint = view->mFadeOutStart = (static_cast<double>(out) + 0.5) / length;
            view->mGain = 1.0;
        }
    }
    std::string source(const char *name, size_t frames, float left, float right) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(sxtest::writeAll(path, extest::dcWav(44100, frames, left, right)));
        return path;
    }
    template <class T>
    T *child(const char *name) {
        T *c = edit->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString nameField() { return child<QLineEdit>("plainTextEditFile")->text(); }
    QString extension() { return child<QLineEdit>("plainTextEditFileType")->text(); }
    void pressExport() { child<QPushButton>("pushBounce")->click(); }

    static int count(const MessageBoxes &boxes, const QString &title) {
        int n = 0;
        for (const auto &b : boxes.seen()) n += b.title == title;
        return n;
    }
    static QString text(const MessageBoxes &boxes, const QString &title) {
        for (const auto &b : boxes.seen())
            if (b.title == title) return b.text;
        return QString();
    }

    static MainWindow *sWindow;
    MainWindow *w = nullptr;
    DialogEdit *edit = nullptr;
    sxtest::TempDir dir;
};
MainWindow *ExportCommands::sWindow = nullptr;

double level(const std::vector<double> &s, int channels, size_t frame, int c) { return s.at(frame * channels + c); }

}  // namespace

TEST_F(ExportCommands, RefusalsBeforeTheExportWindowOpens) {
    ASSERT_TRUE(probe(*w).constructed());
    MessageBoxes boxes;
    // No file open: the warning, the play button out, no export window.
    probe(*w).ui()->playButton->setChecked(true);
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("File Not Opened"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Please open audio file."));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
    EXPECT_FALSE(probe(*w).ui()->playButton->isChecked());
    EXPECT_FALSE(edit->isVisible());

    // A region of 99 samples is too short; 100 opens the export window.
    fillSlot(0, source("take.wav", 4410, 0.5f, -0.25f));
    boxes.clear();
    setRegion(1000, 1099);
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Cannot Export"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("IN - OUT too short."));
    EXPECT_FALSE(edit->isVisible());
    setRegion(1000, 1100);
    probe(*w).ui()->pushButtonEdit->click();
    EXPECT_TRUE(edit->isVisible());
    EXPECT_EQ(edit->mSourcePath, q(dir.file("take.wav")));
    EXPECT_EQ(child<QLineEdit>("plainTextEditDir")->text(), q(dir.path()));
    EXPECT_EQ(boxes.seen().size(), 1u) << boxes.list();
}

TEST_F(ExportCommands, TheExportWindowNamesTheOpenFile) {
    fillSlot(0, source("concert.final.wav", 4410, 0.5f, -0.25f));
    setRegion(0, 4410);
    child<QComboBox>("BounceFormat")->setCurrentIndex(0);
    child<QComboBox>("BounceFreq")->setCurrentText(QStringLiteral("96kHz"));
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_TRUE(edit->isVisible());
    EXPECT_EQ(nameField(), QStringLiteral("concertfinal_96k"));
    EXPECT_EQ(extension(), QStringLiteral(".wav"));
    // One stereo track: both layouts, STEREO chosen.
    EXPECT_EQ(child<QComboBox>("BounceCh")->currentText(), QStringLiteral("STEREO"));

    // Every format or rate change rebuilds the name.
    child<QComboBox>("BounceFormat")->setCurrentIndex(2);
    EXPECT_EQ(nameField(), QStringLiteral("concertfinal_2.8M"));
    EXPECT_EQ(extension(), QStringLiteral(".dsf"));
    EXPECT_EQ(child<QComboBox>("BounceBit")->currentText(), QStringLiteral("1bit"));
    child<QComboBox>("BounceFreq")->setCurrentIndex(1);
    EXPECT_EQ(nameField(), QStringLiteral("concertfinal_5.6M"));
    child<QComboBox>("BounceFormat")->setCurrentIndex(1);
    EXPECT_EQ(extension(), QStringLiteral(".dff"));
    EXPECT_EQ(nameField(), QStringLiteral("concertfinal_2.8M"));

    // With two tracks the window offers STEREO and 2 channels whatever the
    // first file holds.
    edit->hide();
    probe(*w).ui()->label_orgCh->setText(QStringLiteral("MONO"));
    probe(*w).mixParam().trackCount = 2;
    probe(*w).ui()->pushButtonEdit->click();
    EXPECT_EQ(child<QComboBox>("BounceCh")->count(), 2);
    EXPECT_EQ(child<QComboBox>("BounceCh")->currentText(), QStringLiteral("STEREO"));
    EXPECT_EQ(edit->outputChannels(), 2);
}

TEST_F(ExportCommands, OneTrackIsExportedByTheExportWindow) {
    MessageBoxes boxes;
    fillSlot(0, source("solo.wav", 44100, 0.5f, -0.25f));
    setRegion(4410, 26460);  // 0.1 s to 0.6 s
    child<QComboBox>("BounceFormat")->setCurrentIndex(0);
    child<QComboBox>("BounceFreq")->setCurrentText(QStringLiteral("48kHz"));
    child<QComboBox>("BounceBit")->setCurrentText(QStringLiteral("24bit"));
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_TRUE(edit->isVisible());
    child<QComboBox>("BounceCh")->setCurrentText(QStringLiteral("STEREO"));
    edit->checkBoxApplyShortFade->setChecked(false);
    pressExport();
    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000)) << boxes.list();
    EXPECT_EQ(text(boxes, QStringLiteral("Export File")), QStringLiteral("Export completed."));

    const std::string out = dir.file("solo_48k.wav");
    const auto kv = sxtest::probeStream(out, "stream=sample_rate,channels,duration_ts");
    EXPECT_EQ(kv.count("sample_rate") ? kv.at("sample_rate") : "", "48000");
    EXPECT_EQ(kv.count("duration_ts") ? kv.at("duration_ts") : "", "24000");  // 22050 x 48000 / 44100
    int channels = 0;
    const std::vector<double> s = extest::decode(out, &channels);
    ASSERT_EQ(channels, 2);
    ASSERT_EQ(s.size(), 48000u);
    EXPECT_NEAR(level(s, 2, 12000, 0), 0.5, 0.02);
    EXPECT_NEAR(level(s, 2, 12000, 1), -0.25, 0.02);
    EXPECT_FALSE(edit->isVisible());
}

TEST_F(ExportCommands, SeveralTracksAreMixedDownFirst) {
    MessageBoxes boxes;
    // A second track, made as adding a track makes it.
    if (!probe(*w).tracks()[1].audioThread) {
        probe(*w).tracks()[1].audioThread = new audioThread(nullptr);
        setAudioIoThreadId(probe(*w).tracks()[1].audioThread->getThreadIndex(), 1);
    }
    w->getMemoryForEQ(1);
    probe(*w).threadCount() = 2;
    probe(*w).mixParam().trackCount = 2;
    probe(*w).mixParam().ch[1] = probe(*w).mixParam().ch[0];
    fillSlot(0, source("left.wav", 44100, 0.3f, -0.1f));
    fillSlot(1, source("right.wav", 44100, 0.2f, -0.15f));
    setRegion(4410, 26460);

    child<QComboBox>("BounceFormat")->setCurrentIndex(0);
    child<QComboBox>("BounceFreq")->setCurrentText(QStringLiteral("48kHz"));
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_TRUE(edit->isVisible());
    child<QComboBox>("BounceCh")->setCurrentText(QStringLiteral("DUAL MONO"));
    child<QLineEdit>("plainTextEditFile")->setText(QStringLiteral("mix"));
    edit->checkBoxApplyShortFade->setChecked(false);
    pressExport();
    EXPECT_TRUE(probe(*w).bouncing());
    EXPECT_TRUE(edit->isBounceMode());
    EXPECT_EQ(edit->progressDialog()->windowTitle(), QStringLiteral("Bouncing..."));
    EXPECT_EQ(QString::fromStdU16String(probe(*w).bounceParam().bouncePath), q(dir.file("SonvexBounceTemp.wav")));
    EXPECT_EQ(probe(*w).bounceParam().length, 22050);
    EXPECT_EQ(probe(*w).bounceParam().srcRate, 44100);
    EXPECT_EQ(probe(*w).bounceParam().outRate, probe(*w).playFs());
    EXPECT_EQ(probe(*w).bounceParam().trackCount, 2);
    EXPECT_EQ(probe(*w).bounceParam().channels, 2);  // the mix keeps both channels for the two files

    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 120000)) << boxes.list();
    QTest::qWait(300);
    EXPECT_FALSE(probe(*w).bouncing());
    EXPECT_EQ(count(boxes, QStringLiteral("Export File")), 1) << boxes.list();
    EXPECT_EQ(text(boxes, QStringLiteral("Export File")), QStringLiteral("Export completed."));

    // The mix-down file: the region of both tracks summed, 32-bit float at
    // the play rate; then exported from it as two mono files.
    const std::string bounce = dir.file("SonvexBounceTemp.wav");
    const auto kv = sxtest::probeStream(bounce, "stream=sample_rate,codec_name,duration_ts,channels");
    EXPECT_EQ(kv.count("channels") ? kv.at("channels") : "", "2");
    EXPECT_EQ(kv.count("codec_name") ? kv.at("codec_name") : "", "pcm_f32le");
    EXPECT_EQ(kv.count("duration_ts") ? kv.at("duration_ts") : "", "22050");
    EXPECT_EQ(edit->mSourcePath, q(bounce));
    EXPECT_EQ(edit->mExportRegion.inPoint, 0);
    EXPECT_EQ(edit->mExportRegion.outPoint, 22050);
    const std::vector<double> left = extest::decode(dir.file("mix_01.wav"));
    const std::vector<double> right = extest::decode(dir.file("mix_02.wav"));
    ASSERT_EQ(left.size(), 24000u);
    ASSERT_EQ(right.size(), 24000u);
    EXPECT_NEAR(left[12000], 0.5, 0.02);
    EXPECT_NEAR(right[12000], -0.25, 0.02);

    probe(*w).threadCount() = 1;
    probe(*w).tracks()[1].path.clear();
}

TEST_F(ExportCommands, AFailedMixDownIsReportedAndExportsNothing) {
    MessageBoxes boxes;
    fillSlot(0, source("a.wav", 4410, 0.3f, 0.3f));
    setRegion(0, 4410);
    probe(*w).ui()->pushButtonEdit->click();
    ASSERT_TRUE(edit->isVisible());
    // The mix-down's record as a started mix-down leaves it, with a partial
    // file in the export folder.
    const std::string partial = dir.file("SonvexBounceTemp.wav");
    ASSERT_TRUE(sxtest::writeAll(partial, {1, 2, 3}));
    probe(*w).bounceParam().bouncePath = q(partial).toStdU16String();
    probe(*w).bouncing() = true;
    int progress = 0;
    edit->showBounceProgress(&progress);
    w->bounceFinished(-6);
    ASSERT_EQ(boxes.seen().size(), 1u) << boxes.list();
    EXPECT_EQ(boxes.seen()[0].title, QString());
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Bounce failed.\n[Code = -6]"));
    EXPECT_FALSE(probe(*w).bouncing());
    EXPECT_FALSE(edit->progressDialog()->isVisible());
    EXPECT_TRUE(edit->isVisible());
    EXPECT_FALSE(edit->isExporting());
    EXPECT_FALSE(QFile::exists(q(partial)));
}

TEST_F(ExportCommands, CombinePresetsTheOpenFile) {
    const std::string path = source("head.wav", 4410, 0.1f, 0.1f);
    fillSlot(0, path);
    probe(*w).ui()->pushButton_Combine->click();
    ASSERT_TRUE(probe(*w).dialogCombine()->isVisible());
    EXPECT_TRUE(probe(*w).dialogCombine()->findChildren<QLabel *>().size() > 0);
    bool shown = false;
    for (QWidget *c : probe(*w).dialogCombine()->findChildren<QWidget *>()) {
        const QString t = c->property("text").toString();
        if (t.contains(QStringLiteral("head.wav"))) shown = true;
    }
    EXPECT_TRUE(shown);
    probe(*w).dialogCombine()->hide();
}
