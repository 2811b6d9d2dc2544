// Export runs through the real window, its audio thread and the built
// conversion library, the written files checked from outside with ffprobe
// and by decoding them with ffmpeg: the range's length and fades in WAV,
// DSF and DSDIFF, DUAL MONO, the failures (a second pass, a full disk, a
// source that cannot be described, no library), Abort, and the window's
// share of a mix-down.
#include <QFile>
#include <QMessageBox>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "audiofile/jobs/flacjob.h"
#include "editing/exportrules.h"
#include "exporttestutil.h"

namespace {

using edtest::MessageBoxes;
using edtest::q;
using extest::decode;

constexpr double kTol = 0.02;

class ExportRun : public extest::ExportWindow {
protected:
    void SetUp() override {
        ExportWindow::SetUp();
        mRunOnExecute = true;
    }

    // Presses EXPORT and waits for the result box; its text.
    QString exportAndWait(MessageBoxes &boxes, int ms = 60000) {
        pressExport();
        EXPECT_TRUE(boxes.waitFor(QStringLiteral("Export File"), ms)) << boxes.list();
        return resultText(boxes);
    }
    static QString resultText(const MessageBoxes &boxes) {
        for (const auto &b : boxes.seen())
            if (b.title == QStringLiteral("Export File")) return b.text;
        return QString();
    }
    static int resultCount(const MessageBoxes &boxes) {
        int n = 0;
        for (const auto &b : boxes.seen()) n += b.title == QStringLiteral("Export File");
        return n;
    }
    void setRegionFades(int64_t fadeIn, int64_t fadeOut) {
        dlg->mExportRegion.fadeInLength = fadeIn;
        dlg->mExportRegion.fadeOutLength = fadeOut;
    }
    double bandRate() const { return peq.band[0].mFs; }
    std::string out(const QString &name) { return dir.file(name.toStdString()); }
};

std::string probe(const std::string &path, const char *key) {
    const auto kv = sxtest::probeStream(path, std::string("stream=") + key);
    return kv.count(key) ? kv.at(key) : std::string();
}

// Channel c of frame i.
double at(const std::vector<double> &s, int channels, size_t i, int c = 0) { return s.at(i * channels + c); }

// Mean of |x| over frames [from, to) of channel c.
double level(const std::vector<double> &s, int channels, size_t from, size_t to, int c = 0) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += std::fabs(at(s, channels, i, c));
    return sum / static_cast<double>(to - from);
}

}  // namespace

TEST_F(ExportRun, WavRangeWithFadesHasTheRangeLength) {
    MessageBoxes boxes;
    // 0.1 s to 0.6 s of the source, 50 ms fade-in, 100 ms fade-out.
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 4410, 26460);
    setRegionFades(2205, 4410);
    dlg->checkBoxApplyShortFade->setChecked(false);
    list("BounceBit")->setCurrentText(QStringLiteral("24bit"));
    ASSERT_EQ(field("plainTextEditFile")->text(), QStringLiteral("s_48k"));

    const QString text = exportAndWait(boxes);
    EXPECT_EQ(text, QStringLiteral("Export completed."));
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->progressDialog()->labelText(), QStringLiteral("Exporting \"s_48k.wav\" ..."));
    EXPECT_EQ(bandRate(), kPlayRate);  // back at the playback rate

    const std::string file = out("s_48k.wav");
    EXPECT_EQ(probe(file, "sample_rate"), "48000");
    EXPECT_EQ(probe(file, "channels"), "2");
    EXPECT_EQ(probe(file, "bits_per_raw_sample"), "24");
    EXPECT_EQ(probe(file, "duration_ts"), "24000");  // 22050 x 48000 / 44100

    int ch = 0;
    const std::vector<double> s = decode(file, &ch);
    ASSERT_EQ(ch, 2);
    ASSERT_EQ(s.size(), 24000u * 2);
    // Fades at the output rate: 2400 frames in, 4800 out.
    EXPECT_NEAR(at(s, 2, 0), 0.0, kTol);
    EXPECT_NEAR(at(s, 2, 1200), 0.25, kTol);
    EXPECT_NEAR(at(s, 2, 1200, 1), -0.125, kTol);
    EXPECT_NEAR(at(s, 2, 12000), 0.5, kTol);
    EXPECT_NEAR(at(s, 2, 12000, 1), -0.25, kTol);
    EXPECT_NEAR(at(s, 2, 24000 - 2400), 0.25, kTol);
    EXPECT_NEAR(at(s, 2, 23999), 0.0, kTol);
}

TEST_F(ExportRun, ShortFadeFadesARegionWithoutFades) {
    for (bool shortFade : {true, false}) {
        SCOPED_TRACE(shortFade);
        MessageBoxes boxes;
        describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 0, 22050);
        dlg->checkBoxApplyShortFade->setChecked(shortFade);
        list("BounceFreq")->setCurrentText(QStringLiteral("44.1kHz"));
        list("BounceBit")->setCurrentText(QStringLiteral("32bit Float"));
        field("plainTextEditFile")->setText(shortFade ? QStringLiteral("faded") : QStringLiteral("abrupt"));
        boxes.answer(QMessageBox::Ok);
        ASSERT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));
        const std::vector<double> s = decode(out(shortFade ? "faded.wav" : "abrupt.wav"));
        ASSERT_EQ(s.size(), 22050u * 2);
        if (shortFade) {
            // 100 ms of source time: 4410 frames each way.
            EXPECT_NEAR(at(s, 2, 0), 0.0, kTol);
            EXPECT_NEAR(at(s, 2, 2205), 0.25, kTol);
            EXPECT_NEAR(at(s, 2, 22050 - 2205), 0.25, kTol);
        } else {
            EXPECT_NEAR(at(s, 2, 0), 0.5, kTol);
            EXPECT_NEAR(at(s, 2, 22049), 0.5, kTol);
        }
        EXPECT_NEAR(at(s, 2, 11025), 0.5, kTol);
    }
}

TEST_F(ExportRun, RegionOf100SamplesExports) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 1000, 1100);
    ASSERT_TRUE(exportCheckRegion(dlg.get(), dlg->mExportRegion));
    list("BounceFreq")->setCurrentText(QStringLiteral("44.1kHz"));
    EXPECT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));
    EXPECT_EQ(probe(out("s_44k.wav"), "duration_ts"), "100");
}

TEST_F(ExportRun, DsfRangeHasTheRangeLengthAndTheFades) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 4410, 26460);
    setRegionFades(4410, 4410);  // 100 ms each way
    dlg->checkBoxApplyShortFade->setChecked(false);
    list("BounceFormat")->setCurrentIndex(2);
    ASSERT_EQ(field("plainTextEditFile")->text(), QStringLiteral("s_2.8M"));
    ASSERT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));

    const std::string file = out("s_2.8M.dsf");
    EXPECT_EQ(probe(file, "codec_name"), "dsd_lsbf_planar");
    EXPECT_EQ(probe(file, "channels"), "2");
    // The DSF header's sample count: 22050 x 2822400 / 44100, less what the
    // library's conversion of a PCM source leaves off its end (two source
    // samples' worth).
    std::vector<uint8_t> bytes;
    {
        QFile f(q(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(80);
        bytes.assign(head.begin(), head.end());
    }
    const uint64_t samples = sxgen::getLe(bytes, 64, 8);
    EXPECT_LE(samples, 1411200u);
    EXPECT_GE(samples, 1411200u - 128);

    // Decoded at 352.8 kHz: 100 ms fades are 35280 frames.
    int ch = 0;
    const std::vector<double> s = decode(file, &ch);
    ASSERT_EQ(ch, 2);
    const size_t frames = 176384;
    ASSERT_GE(s.size() / 2, frames);
    // Levels relative to the plateau: the decoded DSD scale is the
    // decoder's, the shape is the export's.
    const double plateau = level(s, 2, 80000, 90000);
    ASSERT_GT(plateau, 0.1);
    EXPECT_NEAR(level(s, 2, 80000, 90000, 1) / plateau, 0.5, 0.05);
    EXPECT_LT(level(s, 2, 0, 2000) / plateau, 0.1);
    EXPECT_NEAR(level(s, 2, 17640 - 1000, 17640 + 1000) / plateau, 0.5, 0.05);
    EXPECT_NEAR(level(s, 2, frames - 17640 - 1000, frames - 17640 + 1000) / plateau, 0.5, 0.05);
    EXPECT_LT(level(s, 2, frames - 2000, frames) / plateau, 0.1);
}

TEST_F(ExportRun, DsdiffFromDsdAtItsOwnRateEndsBeforeTheOutPoint) {
    MessageBoxes boxes;
    // The DSD source: the whole PCM source as a DSDIFF file.
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 0, 44100);
    dlg->checkBoxApplyShortFade->setChecked(false);
    list("BounceFormat")->setCurrentIndex(1);
    ASSERT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));
    const std::string dsdSource = out("s_2.8M.dff");
    ASSERT_TRUE(QFile::exists(q(dsdSource)));

    // 0.1 s to 0.9 s of it, DSDIFF at 2.8 MHz. With the short fade the
    // sound stops 200 ms before the out point (the library splices DSD at
    // its own rate to silence rather than ramping it); without, it lasts to
    // the out point. The file has the range's length either way.
    sxtest::TagRecord::set(tag.title, "\xe6\x97\xa5\xe6\x9c\xac");
    sxtest::TagRecord::set(tag.artist, "Beyonc\xc3\xa9");
    for (bool shortFade : {true, false}) {
        SCOPED_TRACE(shortFade);
        boxes.clear();
        describe(dsdSource, QStringLiteral("s_2.8M.dff"), 2, 1, 282240, 2540160);
        dlg->checkBoxApplyShortFade->setChecked(shortFade);
        list("BounceFormat")->setCurrentIndex(1);
        // The base name loses the source name's dots.
        ASSERT_EQ(field("plainTextEditFile")->text(), QStringLiteral("s_28M_2.8M"));
        if (!shortFade) field("plainTextEditFile")->setText(QStringLiteral("full"));
        ASSERT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));
        EXPECT_EQ(tag.title[0], 0);  // a DSDIFF title holds Latin-1 only
        EXPECT_NE(tag.artist[0], 0);

        const std::string file = out(shortFade ? "s_28M_2.8M.dff" : "full.dff");
        EXPECT_EQ(probe(file, "codec_name"), "dsd_msbf");
        // The sound data: 2257920 samples of two channels.
        QFile f(q(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray whole = f.readAll();
        EXPECT_EQ(sxgen::dsdiffData(std::vector<uint8_t>(whole.begin(), whole.end())).size(), 2257920u * 2 / 8);

        // Decoded at 352.8 kHz: 0.8 s are 282240 frames, 200 ms 70560.
        const std::vector<double> s = decode(file);
        const size_t frames = 282240;
        ASSERT_EQ(s.size() / 2, frames);
        const size_t end = frames - 70560;
        const double plateau = level(s, 2, 100000, 150000);
        ASSERT_GT(plateau, 0.1);
        EXPECT_NEAR(level(s, 2, end - 7000, end - 2000) / plateau, 1.0, 0.05);
        const double tail = level(s, 2, end + 35280, frames - 2000) / plateau;  // the last 100 ms
        if (shortFade)
            EXPECT_LT(tail, 0.1);
        else
            EXPECT_NEAR(tail, 1.0, 0.05);
    }
}

TEST_F(ExportRun, DualMonoWritesTwoFilesAndReportsOnce) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("take.wav"), 2, 1, 0, 22050);
    list("BounceCh")->setCurrentIndex(0);
    field("plainTextEditFile")->setText(QStringLiteral("take"));
    pressExport();
    EXPECT_EQ(dlg->progressDialog()->labelText(), QStringLiteral("Exporting \"take_01 & 02.wav\" ..."));
    // The second pass: same label, the equaliser still at the output rate.
    ASSERT_TRUE(edtest::waitUntil([&] { return dlg->jobRecord().com.rightPass == 1 || resultCount(boxes) > 0; }));
    EXPECT_EQ(dlg->progressDialog()->labelText(), QStringLiteral("Exporting \"take_01 & 02.wav\" ..."));
    if (dlg->isExporting()) EXPECT_EQ(bandRate(), 48000.0);
    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000));
    QTest::qWait(300);
    EXPECT_EQ(resultCount(boxes), 1) << boxes.list();
    EXPECT_EQ(resultText(boxes), QStringLiteral("Export completed."));
    EXPECT_EQ(bandRate(), kPlayRate);

    int ch = 0;
    const std::vector<double> left = decode(out("take_01.wav"), &ch);
    EXPECT_EQ(ch, 1);
    const std::vector<double> right = decode(out("take_02.wav"), &ch);
    EXPECT_EQ(ch, 1);
    ASSERT_EQ(left.size(), 24000u);
    ASSERT_EQ(right.size(), 24000u);
    EXPECT_NEAR(left[12000], 0.5, kTol);
    EXPECT_NEAR(right[12000], -0.25, kTol);
    EXPECT_FALSE(QFile::exists(q(out("take.wav"))));
}

TEST_F(ExportRun, DualMonoSecondPassFailureKeepsTheFirstFile) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("take.wav"), 2, 1, 0, 22050);
    list("BounceCh")->setCurrentIndex(0);
    field("plainTextEditFile")->setText(QStringLiteral("take"));
    // The right pass cannot open its file.
    std::filesystem::create_directory(out("take_02.wav"));
    boxes.answer(QMessageBox::Ok);
    const QString text = exportAndWait(boxes);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Export failed.\n[Code = -"))) << text.toStdString();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(bandRate(), kPlayRate);
    EXPECT_EQ(decode(out("take_01.wav")).size(), 24000u);
    EXPECT_TRUE(std::filesystem::is_directory(out("take_02.wav")));
}

TEST_F(ExportRun, FullDiskGivesTheDiskSpaceTextAndRemovesTheFile) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 0, 44100);
    list("BounceBit")->setCurrentText(QStringLiteral("24bit"));

    // A file-size limit makes every write past 64 KiB fall short, as on a
    // full disk.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    pressExport();
    const bool reported = boxes.waitFor(QStringLiteral("Export File"), 60000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_TRUE(reported) << boxes.list();

    EXPECT_EQ(resultText(boxes), QStringLiteral("Write file failed.\nIt seems that no disk space left.\n"
                                                "Please free up disk space.\n[Code = -38]"));
    EXPECT_EQ(boxes.seen().back().icon, QMessageBox::Warning);
    EXPECT_FALSE(QFile::exists(q(out("s_48k.wav"))));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_FALSE(dlg->isTimerRunning());
}

TEST_F(ExportRun, AbortKeepsTheWindowAndTheNextExportRuns) {
    MessageBoxes boxes;
    describe(source("long.wav", 44100 * 20), QStringLiteral("long.wav"), 2, 1, 0, 44100 * 20);
    list("BounceFormat")->setCurrentIndex(2);
    list("BounceFreq")->setCurrentText(QStringLiteral("11.2MHz"));
    pressExport();
    ASSERT_TRUE(dlg->progressDialog() && dlg->progressDialog()->isVisible());
    ASSERT_TRUE(edtest::waitUntil([&] { return dlg->workThread()->isRunning(); }));
    QTest::qWait(300);
    auto *abort = dlg->progressDialog()->findChild<QPushButton *>();
    ASSERT_NE(abort, nullptr);
    EXPECT_EQ(abort->text(), QStringLiteral("Abort"));
    abort->click();
    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000)) << boxes.list();
    EXPECT_EQ(resultText(boxes), QStringLiteral("Export aborted."));
    EXPECT_EQ(boxes.seen().back().icon, QMessageBox::Information);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(list("BounceFreq")->currentText(), QStringLiteral("11.2MHz"));
    EXPECT_EQ(bandRate(), kPlayRate);

    // Nothing of the abort is left for the next export.
    boxes.clear();
    dlg->mExportRegion.outPoint = 4410;
    boxes.answer(QMessageBox::Ok);
    EXPECT_EQ(exportAndWait(boxes), QStringLiteral("Export completed."));
}

TEST_F(ExportRun, SourceThatCannotBeDescribedStartsNothing) {
    MessageBoxes boxes;
    ASSERT_TRUE(sxtest::writeAll(dir.file("junk.wav"), std::vector<uint8_t>(4096, 0x55)));
    describe(dir.file("junk.wav"), QStringLiteral("junk.wav"), 2, 1, 0, 1000);
    const QString text = exportAndWait(boxes);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Export failed.\n[Code = -"))) << text.toStdString();
    EXPECT_FALSE(dlg->isExporting());
    EXPECT_FALSE(dlg->isTimerRunning());
    EXPECT_FALSE(QFile::exists(q(out("junk_48k.wav"))));
    EXPECT_EQ(bandRate(), kPlayRate);
}

TEST(ExportWindowWithoutLibrary, ConvertPlayReportsTheMissingLibrary) {
    engtest::useBuiltLibrary();
    DialogEdit::setLibraryPath(QStringLiteral("/nonexistent/libmorphex.so.1"));
    MessageBoxes boxes;
    {
        DialogEdit dlg;
        dlg.mSourcePath = QStringLiteral("/nonexistent/a.wav");
        EXPECT_EQ(dlg.convertPlay(1), kExportErrNoLibrary);
        ASSERT_EQ(boxes.seen().size(), 1u);
        EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Export File"));
        EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Export failed.\n[Code = -1000]"));
        EXPECT_FALSE(dlg.isExporting());
    }
    DialogEdit::setLibraryPath(QString());
}

TEST_F(ExportRun, MixDownProgressAbortAndTheExportOfTheMix) {
    MessageBoxes boxes;
    // The main window's EXPORT with two tracks: STEREO and 2 channels.
    describe(source("t1.wav"), QStringLiteral("t1.wav"), 2, 2, 4410, 26460);
    list("BounceCh")->setCurrentIndex(0);  // DUAL MONO
    field("plainTextEditFile")->setText(QStringLiteral("mix"));

    static tBounceStatusStruct *noStatus = nullptr;
    tBounceParam record;
    record.status = noStatus;
    dlg->getBounceParams(&record, 88200);
    const QString bouncePath = QString::fromStdU16String(record.bouncePath);
    EXPECT_EQ(bouncePath, q(dir.file("SonvexBounceTemp.wav")));
    EXPECT_EQ(record.bits, 32);
    EXPECT_EQ(record.fileType, kExportWav);
    EXPECT_EQ(record.channels, 1);
    EXPECT_EQ(record.outRate, 88200);

    int canceled = 0;
    QObject::connect(dlg.get(), &DialogEdit::bounceCanceled, [&] { ++canceled; });
    dlg->showBounceProgress(&record.progress);
    snxProgressDialog *progress = dlg->progressDialog();
    ASSERT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->windowTitle(), QStringLiteral("Bouncing..."));
    EXPECT_EQ(progress->labelText(), QStringLiteral("Bouncing..."));
    __atomic_store_n(&record.progress, 37, __ATOMIC_RELAXED);
    EXPECT_TRUE(edtest::waitUntil([&] { return progress->value() == 37; }));
    progress->findChild<QPushButton *>()->click();
    EXPECT_EQ(canceled, 1);
    EXPECT_FALSE(dlg->workThread()->isRunning());

    // The mix-down ended well: its file (two tracks summed, 32-bit float at
    // the play rate) becomes the source of both passes, queued back to back.
    ASSERT_TRUE(sxtest::writeAll(bouncePath.toStdString(), extest::dcWav(88200, 44100, 0.3f + 0.2f, -0.1f - 0.15f)));
    const int64_t length = dlg->mExportRegion.outPoint - dlg->mExportRegion.inPoint;
    dlg->mExportRegion.outPoint = static_cast<int64_t>(length * (88200.0 / 44100.0));
    dlg->mExportRegion.inPoint = 0;
    dlg->mSourcePath = bouncePath;
    ASSERT_EQ(dlg->getBounceToStereoFlag(), 2);
    dlg->setBounceMonoFromRight(false);
    ASSERT_EQ(dlg->convertPlay(1), 0);
    dlg->setBounceMonoFromRight(true);
    ASSERT_EQ(dlg->convertPlay(1), 0);
    EXPECT_FALSE(dlg->isBounceMode());
    EXPECT_EQ(progress->windowTitle(), QStringLiteral("Exporting..."));
    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000));
    QTest::qWait(300);
    EXPECT_EQ(resultCount(boxes), 1) << boxes.list();
    EXPECT_EQ(resultText(boxes), QStringLiteral("Export completed."));
    const std::vector<double> left = decode(out("mix_01.wav"));
    const std::vector<double> right = decode(out("mix_02.wav"));
    ASSERT_EQ(left.size(), 24000u);  // 44100 x 48000 / 88200
    ASSERT_EQ(right.size(), 24000u);
    EXPECT_NEAR(left[12000], 0.5, kTol);
    EXPECT_NEAR(right[12000], -0.25, kTol);
}

// The thread reports each time its queue runs dry, so a first pass that
// fails fast may be reported before the second pass is queued. Both orders:
// the second pass queued while the first may still run, and queued only
// after the first has failed and its report is waiting in the event queue.
// Either way the export is reported once, with the first pass's failure.
TEST_F(ExportRun, BackToBackPassesReportAFailedFirstPass) {
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 2, 0, 22050);
    list("BounceCh")->setCurrentIndex(0);
    field("plainTextEditFile")->setText(QStringLiteral("mix"));
    std::filesystem::create_directory(out("mix_01.wav"));  // the left pass fails
    for (bool firstEndsFirst : {false, true}) {
        SCOPED_TRACE(firstEndsFirst ? "second pass queued after the first ended" : "passes queued back to back");
        MessageBoxes boxes;
        dlg->setBounceMonoFromRight(false);
        ASSERT_EQ(dlg->convertPlay(1), 0);
        // Without running the event loop: the first pass's report waits.
        if (firstEndsFirst) ASSERT_TRUE(dlg->workThread()->wait(60000));
        dlg->setBounceMonoFromRight(true);
        ASSERT_EQ(dlg->convertPlay(1), 0);
        ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000));
        // Every report the thread made has been delivered: its queue is
        // done and the calls it posted to the window have run.
        ASSERT_TRUE(dlg->workThread()->wait(60000));
        QCoreApplication::sendPostedEvents(dlg.get(), QEvent::MetaCall);
        EXPECT_EQ(resultCount(boxes), 1) << boxes.list();
        EXPECT_TRUE(resultText(boxes).startsWith(QStringLiteral("Export failed.\n[Code = -")))
            << resultText(boxes).toStdString();
        EXPECT_FALSE(dlg->isExporting());
        EXPECT_TRUE(dlg->isVisible());
        EXPECT_TRUE(std::filesystem::is_directory(out("mix_01.wav")));
    }
}

TEST_F(ExportRun, ExportPressedWhileAPassRunsIsIgnored) {
    MessageBoxes boxes;
    describe(source("long.wav", 44100 * 5), QStringLiteral("long.wav"), 2, 1, 0, 44100 * 5);
    list("BounceFormat")->setCurrentIndex(2);
    pressExport();
    ASSERT_TRUE(dlg->isExporting());
    pressExport();
    ASSERT_TRUE(boxes.waitFor(QStringLiteral("Export File"), 60000)) << boxes.list();
    QTest::qWait(300);
    EXPECT_EQ(executed, 1);
    EXPECT_EQ(resultCount(boxes), 1) << boxes.list();
    EXPECT_EQ(resultText(boxes), QStringLiteral("Export completed."));
}

TEST_F(ExportRun, FlacStageResult) {
    MessageBoxes boxes;
    describe(source("s.wav"), QStringLiteral("s.wav"), 2, 1, 0, 1000);
    tFlac2WavMessages failed;
    failed.status = -1;
    dlg->wav2flacCompleted(&failed);
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Export failed.\n[Code = -1]"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(dlg->isVisible());
    tFlac2WavMessages done;
    dlg->wav2flacCompleted(&done);
    ASSERT_EQ(boxes.seen().size(), 2u);
    EXPECT_EQ(boxes.seen()[1].text, QStringLiteral("Export completed."));
    EXPECT_FALSE(dlg->isVisible());
}
