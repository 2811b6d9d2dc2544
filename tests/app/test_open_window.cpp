// Opening files on one constructed main window with the library bound and
// an output device presented through the window's device access: the drop
// and its refusals, the form's file texts, the automatic play rate and the
// PCM-or-DSD question, tracks added and deleted, the overview as drawn, the
// zoom levels and scrolling, and the tag picture's private folder.
#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <cstring>
#include <functional>

#include "app/mainwindow.h"
#include "app/startupthreads.h"
#include "audiofile/dsdifftestutil.h"
#include "editing/dialogedit.h"
#include "engine/audiothread.h"
#include "engine/contcoreaudiothread.h"
#include "mainwindowfixture.h"
#include "pcmwav.h"
#include "platform/audiohost/virtualdevice.h"
#include "ui_mainwindow.h"
#include "widgets/dialogselectfs.h"

namespace {

using wavtest::put16;
using wavtest::put32;
using wavtest::put64;
using wavtest::writeWav;

// A stereo DSF file of `seconds` of the DSD idle pattern.
bool writeDsf(const QString &path, uint32_t rate, double seconds) {
    const uint64_t samples = uint64_t(rate * seconds);
    const uint64_t blocks = (samples / 8 + 4095) / 4096;
    const uint64_t dataBytes = blocks * 4096 * 2;
    QByteArray h("DSD ");
    put64(h, 28);
    put64(h, 28 + 52 + 12 + dataBytes);
    put64(h, 0);
    h.append("fmt ");
    put64(h, 52);
    put32(h, 1);     // version
    put32(h, 0);     // raw DSD
    put32(h, 2);     // stereo
    put32(h, 2);     // channels
    put32(h, rate);  // Hz
    put32(h, 1);     // bits
    put64(h, samples);
    put32(h, 4096);
    put32(h, 0);
    h.append("data");
    put64(h, 12 + dataBytes);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(h) != h.size()) return false;
    const QByteArray audio(int(dataBytes), char(0x69));
    return f.write(audio) == audio.size();
}

// What the message boxes said; each is closed as the user would.
struct tBoxSeen {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class tBoxCloser {
public:
    tBoxCloser() {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(top);
                if (box && box->isVisible()) {
                    seen.append({box->windowTitle(), box->text(), box->icon()});
                    box->accept();
                }
            }
        });
        mTimer.start(30);
    }
    QVector<tBoxSeen> seen;

private:
    QTimer mTimer;
};

// The devices the window sees: one output device.
struct tFakeDevices {
    QStringList outputs;
    QVector<QVector<int>> rates;
};
tFakeDevices sDevices;
// The window's own device access, on the device layer.
tMainDeviceAccess sRealDevices;

const QVector<int> kUpTo96 = {44100, 48000, 88200, 96000};
const QVector<int> kUpTo192 = {44100, 48000, 88200, 96000, 176400, 192000};

class OpenWindow : public tMainWindowSuite {
protected:
    static void SetUpTestSuite() {
        tMainWindowSuite::SetUpTestSuite();
        MainWindow &w = *sWindow;
        sRealDevices = probe(w).core().mDevices;
        probe(w).core().mDevices.enumerate = [](QStringList *outputs, QStringList *inputs) {
            *outputs = sDevices.outputs;
            inputs->clear();
        };
        probe(w).core().mDevices.rates = [](int device) {
            return device >= 0 && device < sDevices.rates.size() ? sDevices.rates[device] : QVector<int>();
        };
        probe(w).core().mDevices.bufferFrames = [] { return 512; };
        probe(w).core().mDevices.select = [](int, int) {};
        w.show();
        QApplication::processEvents();
    }
    void SetUp() override { ASSERT_NE(sWindow, nullptr); }
    // Presents one device and rebuilds the lists as the driver list does.
    static void present(const QString &name, const QVector<int> &rates) {
        sDevices.outputs = {name};
        sDevices.rates = {rates};
        sWindow->on_comboBox_driver_currentIndexChanged(probe(*sWindow).ui()->comboBox_driver->currentIndex());
    }
    static QString file(const QString &name) { return sHome->filePath(name); }
    // Runs the event loop until `done` holds or the time is up.
    // The bound only reports a hang: a loaded machine may draw a DSD
    // overview slowly, never wrongly.
    static bool waitFor(const std::function<bool()> &done, int ms = 120000) {
        for (int waited = 0; waited < ms; waited += 10) {
            QApplication::processEvents();
            if (done()) return true;
            QThread::msleep(10);
        }
        return done();
    }
    static bool overviewDone(int slot = 0) {
        return waitFor([slot] { return probe(*sWindow).tracks()[slot].waveJobDone == 1; });
    }
    static void drop(const QStringList &paths) {
        auto *data = new QMimeData;
        QList<QUrl> urls;
        for (const QString &p : paths) urls << QUrl::fromLocalFile(p);
        data->setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(sWindow, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(sWindow, &event);
        delete data;
    }
};

QString labelText(const QLabel *label) { return label->text(); }

}  // namespace

TEST_F(OpenWindow, DroppingThreeFilesOpensTheFirstAndDescribesIt) {
    MainWindow &w = *sWindow;
    ASSERT_NE(probe(w).getAudioFileInformation(), nullptr) << "the library is not bound";
    present(QStringLiteral("Desk DAC"), kUpTo96);
    const QString a = file(QStringLiteral("first.wav")), b = file(QStringLiteral("second.wav")),
                  c = file(QStringLiteral("third.wav"));
    ASSERT_TRUE(writeWav(a, 96000, 24, 2, 96000 * 2));
    ASSERT_TRUE(writeWav(b, 44100, 16, 1, 44100));
    ASSERT_TRUE(writeWav(c, 48000, 16, 2, 48000));

    tBoxCloser boxes;
    drop({a, b, c});
    EXPECT_TRUE(boxes.seen.isEmpty());
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);
    EXPECT_EQ(probe(w).tracks()[0].path, a);
    EXPECT_TRUE(probe(w).tracks()[1].path.isEmpty());
    EXPECT_EQ(probe(w).displayPath(), a);
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileNameArea), QStringLiteral("first.wav"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileType), QStringLiteral("WAV(PCM)"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFreq), QStringLiteral("96kHz"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgBit), QStringLiteral("24bit"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgCh), QStringLiteral("STEREO"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgTime), QStringLiteral("00:00:02.00"));
    EXPECT_EQ(probe(w).savedFileTexts()[1], QStringLiteral("WAV(PCM)"));
    // The transport and view controls are usable; the track's job record
    // and mixer entry are those of a stereo file.
    EXPECT_TRUE(probe(w).ui()->playButton->isEnabled());
    EXPECT_TRUE(probe(w).ui()->zoomInTimeButton->isEnabled());
    EXPECT_EQ(probe(w).tracks()[0].fileInfo.sampleRate, 96000u);
    EXPECT_EQ(probe(w).overview().length[0], 96000 * 2);
    EXPECT_EQ(probe(w).mixParam().ch[0].LL, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[0].RR, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[0].LR, 0.0);
    EXPECT_EQ(probe(w).project().trackCount(), 1);
    // AUTO on a device up to 96 kHz plays the file at its own rate.
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_TRUE(overviewDone());
    EXPECT_GT(probe(w).overview().jobColumns[0], 0);

    // A mono file: both sides sound it.
    drop({b});
    EXPECT_EQ(labelText(probe(w).ui()->label_orgCh), QStringLiteral("MONO"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgBit), QStringLiteral("16bit"));
    EXPECT_EQ(probe(w).mixParam().ch[0].LR, 1.0);
    EXPECT_EQ(probe(w).mixParam().ch[0].RR, 0.0);
    EXPECT_TRUE(overviewDone());

    // A DSDIFF file on a device without DSD rates plays at its last rate.
    const QString dff = file(QStringLiteral("third.dff"));
    dfftest::writeDff(dff.toStdString(), dfftest::param(2), dfftest::pattern(2 * 4096 * 8, 3));
    drop({dff});
    ASSERT_EQ(probe(w).tracks()[0].path, dff);
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileType), QStringLiteral("DSDIFF(DSD)"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFreq), QStringLiteral("2.8MHz"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgBit), QStringLiteral("1bit"));
    EXPECT_EQ(probe(w).overview().length[0], 4096 * 8 * 8);
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_FALSE(probe(w).dialogSelectFs()->isVisible());
    EXPECT_TRUE(overviewDone());
}

TEST_F(OpenWindow, RefusalsNameTheirReasonAndKeepThePreviousFile) {
    MainWindow &w = *sWindow;
    const QString good = file(QStringLiteral("good.wav"));
    ASSERT_TRUE(writeWav(good, 96000, 24, 2, 96000));
    drop({good});
    ASSERT_EQ(probe(w).tracks()[0].path, good);
    ASSERT_TRUE(overviewDone());

    const QString slow = file(QStringLiteral("slow.wav"));
    ASSERT_TRUE(writeWav(slow, 22050, 16, 2, 22050));
    const QString broken = file(QStringLiteral("broken.wav"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a RIFF file at all, only text");
    }
    const QString flac = file(QStringLiteral("song.flac"));
    const QString wsd = file(QStringLiteral("song.wsd"));
    ASSERT_TRUE(writeWav(flac, 44100, 16, 2, 100));
    ASSERT_TRUE(writeWav(wsd, 44100, 16, 2, 100));

    struct Case {
        QString path;
        QString text;
    };
    const Case cases[] = {
        {flac, QStringLiteral("song.flac\nUnsupported audio file.")},
        {wsd, QStringLiteral("song.wsd\nUnsupported audio file.")},
        {broken, QStringLiteral("broken.wav\nUnsupported audio file.")},
        {slow, QStringLiteral("Unsupported sampling frequency.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        tBoxCloser boxes;
        drop({c.path});
        ASSERT_EQ(boxes.seen.size(), 1);
        EXPECT_EQ(boxes.seen[0].title, QStringLiteral("Cannot Open"));
        EXPECT_EQ(boxes.seen[0].text, c.text);
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        // The previous file is described again and still shown.
        EXPECT_EQ(probe(w).tracks()[0].path, good);
        EXPECT_EQ(probe(w).tracks()[0].fileInfo.sampleRate, 96000u);
        EXPECT_EQ(probe(w).overview().length[0], 96000);
        EXPECT_EQ(labelText(probe(w).ui()->label_orgFileNameArea), QStringLiteral("good.wav"));
        EXPECT_EQ(labelText(probe(w).ui()->label_orgFreq), QStringLiteral("96kHz"));
        EXPECT_EQ(probe(w).ui()->widgetTrack1->mMaterialLength, 96000);
        EXPECT_EQ(probe(w).playFs(), 96000);
    }

    // An upper-case extension passes the check.
    const QString upper = file(QStringLiteral("LOUD.WAV"));
    ASSERT_TRUE(writeWav(upper, 48000, 16, 2, 4800));
    {
        tBoxCloser boxes;
        drop({upper});
        EXPECT_TRUE(boxes.seen.isEmpty());
        EXPECT_EQ(probe(w).tracks()[0].path, upper);
        EXPECT_TRUE(overviewDone());
    }

    // While the export window is up nothing is opened, in a box without a
    // title.
    probe(w).dialogEdit()->show();
    {
        tBoxCloser boxes;
        drop({good});
        ASSERT_EQ(boxes.seen.size(), 1);
        EXPECT_EQ(boxes.seen[0].title, QString());
        EXPECT_EQ(boxes.seen[0].text, QStringLiteral("Cannot open while exporting."));
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
        EXPECT_EQ(probe(w).tracks()[0].path, upper);
    }
    probe(w).dialogEdit()->hide();
}

TEST_F(OpenWindow, AutoRateOnADeviceUpTo96kHz) {
    MainWindow &w = *sWindow;
    present(QStringLiteral("Desk DAC"), kUpTo96);
    ASSERT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("AUTO"));
    struct Case {
        uint32_t rate;
        int expected;
    };
    // A rate the list holds is taken; above the list its last entry; in
    // between the next entry up.
    const Case cases[] = {{96000, 96000}, {192000, 96000}, {50000, 88200}, {44100, 44100}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.rate);
        const QString path = file(QStringLiteral("rate%1.wav").arg(c.rate));
        ASSERT_TRUE(writeWav(path, c.rate, 16, 2, c.rate / 10));
        drop({path});
        ASSERT_EQ(probe(w).tracks()[0].path, path);
        EXPECT_EQ(probe(w).playFs(), c.expected);
        EXPECT_TRUE(overviewDone());
    }
    // With a rate chosen by hand the file does not change it.
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(2);  // 48kHz
    ASSERT_EQ(probe(w).playFs(), 48000);
    const QString path = file(QStringLiteral("hand.wav"));
    ASSERT_TRUE(writeWav(path, 96000, 16, 2, 9600));
    drop({path});
    EXPECT_EQ(probe(w).playFs(), 48000);
    EXPECT_TRUE(overviewDone());
    probe(w).ui()->comboBox_asioFreq->setCurrentIndex(0);
}

TEST_F(OpenWindow, DsdFileOnAnUnclassifiedDeviceAsksPcmOrDsd) {
    MainWindow &w = *sWindow;
    DialogSelectFs *question = probe(w).dialogSelectFs();
    ASSERT_NE(question, nullptr);
    const QString dsf = file(QStringLiteral("tone.dsf"));
    ASSERT_TRUE(writeDsf(dsf, 2822400, 0.5));

    // A device in no table that offers 176.4 kHz: DSD over PCM may be
    // offered, so AUTO takes 2.8 MHz and the user is asked.
    present(QStringLiteral("Garage Interface"), kUpTo192);
    ASSERT_FALSE(probe(w).dopKnown());
    drop({dsf});
    ASSERT_EQ(probe(w).tracks()[0].path, dsf);
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileType), QStringLiteral("DSF(DSD)"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFreq), QStringLiteral("2.8MHz"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgBit), QStringLiteral("1bit"));
    EXPECT_EQ(probe(w).playFs(), 2822400);
    EXPECT_TRUE(question->isVisible());
    auto *pcm = question->findChild<QPushButton *>(QStringLiteral("pushButtonPCM"));
    auto *dsd = question->findChild<QPushButton *>(QStringLiteral("pushButtonDSD"));
    ASSERT_TRUE(pcm && dsd);
    EXPECT_EQ(pcm->text(), QStringLiteral("176.4kHz(PCM)"));
    EXPECT_EQ(dsd->text(), QStringLiteral("2.8MHz(DSD)"));
    EXPECT_TRUE(overviewDone());

    // PCM: the device is booted again without DSD entries and the file
    // plays at the list's last rate.
    pcm->click();
    EXPECT_FALSE(question->isVisible());
    EXPECT_EQ(probe(w).playFs(), 192000);
    EXPECT_TRUE(probe(w).dopAnswered());

    // Answered: the same file again asks nothing.
    drop({dsf});
    EXPECT_FALSE(question->isVisible());
    EXPECT_EQ(probe(w).playFs(), 192000);
    EXPECT_TRUE(overviewDone());

    // A device the table knows as not passing DoP is never asked about.
    present(QStringLiteral("Scarlett 2i2"), kUpTo192);
    drop({dsf});
    EXPECT_FALSE(question->isVisible());
    EXPECT_EQ(probe(w).playFs(), 192000);
    EXPECT_TRUE(overviewDone());
    present(QStringLiteral("Desk DAC"), kUpTo96);
}

TEST_F(OpenWindow, TracksAreAddedRefusedAndDeleted) {
    MainWindow &w = *sWindow;
    const QString a = file(QStringLiteral("ta.wav")), b = file(QStringLiteral("tb.wav"));
    ASSERT_TRUE(writeWav(a, 48000, 16, 2, 48000));
    ASSERT_TRUE(writeWav(b, 48000, 16, 1, 96000));
    drop({a});
    ASSERT_TRUE(overviewDone());
    probe(w).waveZoom() = 4.0;
    const QString texts = labelText(probe(w).ui()->label_orgFileNameArea);

    // A further track: its own slot objects; the form and zoom stay.
    tBoxCloser boxes;
    w.openFile(b, kFileOpenAdd);
    EXPECT_TRUE(boxes.seen.isEmpty());
    ASSERT_EQ(probe(w).mixParam().trackCount, 2);
    EXPECT_EQ(probe(w).tracks()[1].path, b);
    EXPECT_NE(probe(w).tracks()[1].audioThread, nullptr);
    EXPECT_NE(probe(w).tracks()[1].waveFormThread, nullptr);
    EXPECT_NE(probe(w).tracks()[1].peq, nullptr);
    EXPECT_NE(probe(w).tracks()[1].waveMax[0], nullptr);
    EXPECT_EQ(probe(w).threadCount(), 2);
    EXPECT_EQ(probe(w).waveZoom(), 4.0);
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileNameArea), texts);
    EXPECT_EQ(probe(w).project().trackCount(), 2);
    EXPECT_TRUE(overviewDone(1));

    // A 33rd track is refused with an "Error" box; nothing changes.
    probe(w).mixParam().trackCount = kMainTrackSlots;
    w.openFile(b, kFileOpenAdd);
    ASSERT_EQ(boxes.seen.size(), 1);
    EXPECT_EQ(boxes.seen[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(probe(w).mixParam().trackCount, kMainTrackSlots);
    probe(w).mixParam().trackCount = 2;

    // The edit record is copied at its own size (a stack record shows an
    // over-read) and builds the track's envelope.
    tWaveEditParam edit;
    edit.inPoint = 0;
    edit.fadeInLength = 4800;
    edit.gain = 1.0;
    edit.fadeOutLength = 0;
    edit.outPoint = 96000;
    w.trackEditParamChangeEvent(&edit, 1);
    tWaveEditParam kept;
    std::memcpy(&kept, probe(w).tracks()[1].edit, sizeof kept);
    EXPECT_EQ(kept.fadeInLength, 4800);
    EXPECT_EQ(kept.outPoint, 96000);

    // Deleting track 1 moves track 2 into its place.
    w.renumberAndDeleteTrack(0);
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);
    EXPECT_EQ(probe(w).tracks()[0].path, b);
    EXPECT_EQ(probe(w).tracks()[0].fileInfo.channels, 1u);
    EXPECT_EQ(probe(w).threadCount(), 1);
    EXPECT_EQ(probe(w).project().trackCount(), 1);
    EXPECT_NE(probe(w).tracks()[0].waveMax[0], nullptr);

    // The only track is not deleted.
    w.renumberAndDeleteTrack(0);
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);
    EXPECT_NE(probe(w).tracks()[0].waveMax[0], nullptr);
    EXPECT_NE(probe(w).tracks()[0].audioThread, nullptr);
    w.on_pushButtonDel_clicked();
    ASSERT_EQ(boxes.seen.size(), 2);
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);

    // Opening as the only track removes the others again.
    w.openFile(b, kFileOpenAdd);
    ASSERT_EQ(probe(w).mixParam().trackCount, 2);
    EXPECT_TRUE(overviewDone(1));
    drop({a});
    EXPECT_EQ(probe(w).mixParam().trackCount, 1);
    EXPECT_EQ(probe(w).tracks()[1].audioThread, nullptr);
    EXPECT_EQ(probe(w).tracks()[1].waveFormThread, nullptr);
    EXPECT_EQ(probe(w).tracks()[1].waveMax[0], nullptr);
    EXPECT_EQ(probe(w).threadCount(), 1);
    EXPECT_EQ(probe(w).project().trackCount(), 1);
    EXPECT_EQ(probe(w).waveZoom(), 1.0);
    EXPECT_TRUE(overviewDone());
}

TEST_F(OpenWindow, TheOverviewDrawnMatchesTheFile) {
    MainWindow &w = *sWindow;
    // Two seconds: a loud 3 kHz tone (several periods to each overview
    // point), then silence.
    const QString path = file(QStringLiteral("halves.wav"));
    ASSERT_TRUE(writeWav(path, 48000, 16, 2, 96000, [](uint64_t i) {
        return i < 48000 ? 0.9 * std::sin(2.0 * M_PI * 3000.0 * double(i) / 48000.0) : 0.0;
    }));
    drop({path});
    ASSERT_TRUE(overviewDone());
    const int64_t L0 = probe(w).waveLevelLength()[0];
    ASSERT_EQ(L0, 700 * 4);
    double loud = 1.0, quiet = 0.0;
    for (int64_t i = 2; i < L0 / 2 - 2; ++i) loud = std::min(loud, probe(w).tracks()[0].waveMax[0][2 * i]);
    for (int64_t i = L0 / 2 + 2; i < L0; ++i) quiet = std::max(quiet, std::fabs(probe(w).tracks()[0].waveMax[0][2 * i]));
    EXPECT_GT(loud, 0.5);
    EXPECT_EQ(quiet, 0.0);

    // What the view shows: trace pixels above the upper lane's centre line
    // (about a third of the way down) over the first half, none over the
    // second.
    w.waveFormRedraw(0, kRedrawModeFull);
    QApplication::processEvents();
    const QImage image = probe(w).ui()->widgetTrack1->grabFramebuffer();
    ASSERT_FALSE(image.isNull());
    if (!qEnvironmentVariableIsEmpty("SONVEX_OPEN_SCREENSHOT")) {
        w.grab().save(qEnvironmentVariable("SONVEX_OPEN_SCREENSHOT"));
        image.save(qEnvironmentVariable("SONVEX_OPEN_SCREENSHOT") + QStringLiteral(".view.png"));
    }
    const int width = image.width(), height = image.height();
    auto traceRows = [&](int x) {
        int rows = 0;
        for (int y = height * 5 / 100; y < height * 28 / 100; ++y) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.blue() > c.red() + 60) ++rows;
        }
        return rows;
    };
    int loudColumns = 0, quietColumns = 0;
    for (int x = width * 10 / 100; x < width * 40 / 100; ++x) loudColumns += traceRows(x) > 0;
    for (int x = width * 60 / 100; x < width * 90 / 100; ++x) quietColumns += traceRows(x) > 0;
    EXPECT_GT(loudColumns, width * 25 / 100);
    EXPECT_EQ(quietColumns, 0);
}

TEST_F(OpenWindow, ZoomLevelsScrollingAndTheCursor) {
    MainWindow &w = *sWindow;
    const QString path = file(QStringLiteral("zoom.wav"));
    ASSERT_TRUE(writeWav(path, 48000, 16, 2, 48000 * 4));
    drop({path});
    ASSERT_TRUE(overviewDone());
    QScrollBar *bar = probe(w).ui()->waveScrollBar;
    EXPECT_EQ(probe(w).waveZoom(), 1.0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);

    // Each zoom draws from its level.
    struct Level {
        double zoom;
        int level;
    };
    for (const Level &l : {Level{1, 0}, Level{4, 0}, Level{8, 1}, Level{16, 2}, Level{32, 3}, Level{64, 4},
                           Level{1024, 5}, Level{2048, 6}}) {
        SCOPED_TRACE(l.zoom);
        probe(w).waveZoom() = l.zoom;
        w.waveFormRedraw(0, kRedrawModeFull);
        EXPECT_EQ(MainWindow::waveLevelForZoom(l.zoom), l.level);
        EXPECT_EQ(probe(w).waveParams().levelLength, probe(w).waveLevelLength()[l.level]);
        EXPECT_EQ(probe(w).waveParams().upperPeaks[0], probe(w).tracks()[0].waveMax[l.level]);
        EXPECT_EQ(probe(w).waveParams().columns, int32_t(double(probe(w).waveLevelLength()[l.level]) / l.zoom));
        EXPECT_EQ(probe(w).ui()->widgetTrack1->mFinestLevel, l.zoom > 1024);
    }

    // Zoom in from 1 with the cursor in the middle: the view starts at a
    // quarter, the cursor in its middle.
    const int64_t L0 = probe(w).waveLevelLength()[0];
    probe(w).waveZoom() = 1.0;
    probe(w).cursorFraction() = 0.5;
    w.on_zoomInTimeButton_clicked();
    EXPECT_EQ(probe(w).waveZoom(), 2.0);
    EXPECT_EQ(probe(w).viewOffset(), L0 / 4);
    EXPECT_NEAR(probe(w).ui()->widgetTrack1->mCursorPosition, 0.5, 1e-9);
    // Near the end the view shows the second half.
    probe(w).waveZoom() = 1.0;
    probe(w).cursorFraction() = 0.9;
    w.on_zoomInTimeButton_clicked();
    EXPECT_EQ(probe(w).viewOffset(), L0 / 2);

    // The scroll bar: 100 up to 8, 8z from 16; zoom in at 2048 stays.
    for (int i = 0; i < 2; ++i) w.on_zoomInTimeButton_clicked();
    EXPECT_EQ(probe(w).waveZoom(), 8.0);
    EXPECT_EQ(bar->maximum(), 100);
    w.on_zoomInTimeButton_clicked();
    EXPECT_EQ(bar->maximum(), 128);
    for (int i = 0; i < 12; ++i) w.on_zoomInTimeButton_clicked();
    EXPECT_EQ(probe(w).waveZoom(), 2048.0);
    EXPECT_EQ(bar->maximum(), 16384);

    // A redraw asked for inside the last screenful ends at the level's end.
    const int64_t L6 = probe(w).waveLevelLength()[6];
    w.waveFormRedraw(L6 - 10, kRedrawModeFull);
    EXPECT_EQ(probe(w).viewOffset(), L6 - L6 / 2048);

    // Scrolling to the end shows the last screenful.
    w.on_zoomOutTimeButton_clicked();
    while (probe(w).waveZoom() > 4.0) w.on_zoomOutTimeButton_clicked();
    bar->setValue(bar->maximum());
    EXPECT_EQ(probe(w).viewOffset(), L0 - L0 / 4);

    // Zoom out at 1 stays, the page step grows, the slider goes home.
    while (probe(w).waveZoom() > 1.0) w.on_zoomOutTimeButton_clicked();
    w.on_zoomOutTimeButton_clicked();
    EXPECT_EQ(probe(w).waveZoom(), 1.0);
    EXPECT_EQ(bar->pageStep(), bar->maximum() * 4096);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(probe(w).viewOffset(), 0);

    // Level zoom doubles up to 8192 and halves down to 1.
    for (int i = 0; i < 15; ++i) w.on_zoomInLevelButton_clicked();
    EXPECT_EQ(probe(w).ui()->widgetTrack1->mLevelZoom, 8192.0);
    for (int i = 0; i < 15; ++i) w.on_zoomOutLevelButton_clicked();
    EXPECT_EQ(probe(w).ui()->widgetTrack1->mLevelZoom, 1.0);
}

TEST_F(OpenWindow, AFailingOverviewIsRetriedABoundedNumberOfTimes) {
    MainWindow &w = *sWindow;
    const QString path = file(QStringLiteral("vanishing.wav"));
    ASSERT_TRUE(writeWav(path, 48000, 16, 2, 48000));
    drop({path});
    ASSERT_TRUE(overviewDone());
    // The file goes away; the overview job can only fail now.
    ASSERT_TRUE(QFile::remove(path));
    w.drawWaveFormSelectedColumn(0);
    ASSERT_TRUE(overviewDone());
    EXPECT_LT(probe(w).overview().jobColumns[0], 0);
    EXPECT_EQ(probe(w).tracks()[0].waveJobRetries, kMainWaveRetries);
    // Nothing more is queued.
    QThread::msleep(200);
    QApplication::processEvents();
    EXPECT_FALSE(probe(w).tracks()[0].waveFormThread->isRunning());
    EXPECT_EQ(probe(w).tracks()[0].waveJobRetries, kMainWaveRetries);

    // A report of a stopped job changes nothing.
    probe(w).tracks()[0].waveJobDone = 0;
    w.waveFormPreparedMain(0, true);
    EXPECT_EQ(probe(w).tracks()[0].waveJobDone, 0);
    probe(w).tracks()[0].waveJobDone = 1;
}

TEST_F(OpenWindow, ASixChannelFileIsSplitBeforeItOpens) {
    MainWindow &w = *sWindow;
    const QString before = file(QStringLiteral("before.wav"));
    ASSERT_TRUE(writeWav(before, 48000, 16, 2, 4800));
    drop({before});
    ASSERT_TRUE(overviewDone());

    // The channel question is shown and nothing is opened until it is
    // answered.
    const QString six = file(QStringLiteral("surround.wav"));
    ASSERT_TRUE(writeWav(six, 48000, 16, 6, 48000, [](uint64_t i) { return (i % 100) / 200.0; }));
    drop({six});
    EXPECT_TRUE(probe(w).dialogPolyfile().isVisible());
    EXPECT_EQ(probe(w).tracks()[0].path, before);
    EXPECT_EQ(probe(w).sourcePath(), six);

    // Channels 3 and 4: split into the music folder's temporary file, which
    // opens as the only track under the chosen file's name.
    probe(w).dialogPolyfile().hide();
    tPoly2MonosteMsgParam choice;
    choice.entry = 1;
    choice.stereo = true;
    w.selectChannelOfPolyEvent(&choice);
    ASSERT_TRUE(waitFor([&] { return probe(w).tracks()[0].path == probe(w).splitTempPath(); }));
    EXPECT_TRUE(probe(w).splitTempPath().endsWith(QStringLiteral("/SonvexEditorMonoSteTemp.wav")));
    EXPECT_EQ(probe(w).displayPath(), six);
    EXPECT_EQ(labelText(probe(w).ui()->label_orgFileNameArea), QStringLiteral("surround.wav"));
    EXPECT_EQ(labelText(probe(w).ui()->label_orgCh), QStringLiteral("STEREO"));
    EXPECT_EQ(probe(w).tracks()[0].fileInfo.channels, 2u);
    EXPECT_EQ(probe(w).overview().length[0], 48000);
    EXPECT_TRUE(overviewDone());

    // The next open removes the split file.
    const QString split = probe(w).splitTempPath();
    drop({before});
    EXPECT_FALSE(QFileInfo::exists(split));
    EXPECT_TRUE(overviewDone());
}

TEST_F(OpenWindow, AutoRateRunsTheVirtualDeviceAtTheChosenRate) {
    MainWindow &w = *sWindow;
    CContCoreAudioThread *control = probe(w).core().mContCoreAudioThread;
    ASSERT_NE(control, nullptr);
    probe(w).core().mDevices = sRealDevices;
    // The virtual device comes back as a DAC of 44.1 to 96 kHz; its stream
    // is stopped first so that it can be reconfigured.
    control->ioThread()->AudioStopReq();
    control->addTransaction(new ClassStopAudioQueue);
    ASSERT_TRUE(startup_pollUntil([control] { return !control->isBusy(); }, 10, 500));
    tVirtualDeviceConfig config;
    config.mName = "Desk Virtual DAC";
    config.mUid = "sonvex-virtual-desk";
    config.mRates = {44100, 48000, 88200, 96000};
    ASSERT_GT(vdev_enable(config), 0);
    w.DeviceListClicked();
    ASSERT_EQ(probe(w).ui()->comboBox_asioDev->currentText(), QStringLiteral("Desk Virtual DAC"));
    ASSERT_EQ(probe(w).ui()->comboBox_asioFreq->currentText(), QStringLiteral("AUTO"));

    // A 192 kHz file plays at the list's last rate, and the device runs so.
    const QString path = file(QStringLiteral("high.wav"));
    ASSERT_TRUE(writeWav(path, 192000, 24, 2, 19200));
    drop({path});
    ASSERT_EQ(probe(w).tracks()[0].path, path);
    EXPECT_EQ(probe(w).playFs(), 96000);
    EXPECT_FALSE(control->isBusy());
    EXPECT_EQ(control->playRate(), 96000u);
    vdev_clearCapture();
    ASSERT_EQ(vdev_waitCycles(vdev_cycles() + 3, 3000), 0);
    tVirtualCapture capture;
    ASSERT_EQ(vdev_takeCapture(&capture, true), 0);
    ASSERT_FALSE(capture.mCycles.empty());
    EXPECT_EQ(capture.mCycles.back().mRate, 96000u);
    EXPECT_TRUE(overviewDone());
}

// Last: it shuts the window down.
TEST_F(OpenWindow, TheTagPictureGoesToAPrivateFolderRemovedAtShutDown) {
    MainWindow &w = *sWindow;
    const QString path = file(QStringLiteral("pic.dsf"));
    ASSERT_TRUE(writeDsf(path, 2822400, 0.2));
    drop({path});
    ASSERT_TRUE(overviewDone());
    const QString picture = QString::fromUtf16(reinterpret_cast<const char16_t *>(probe(w).id3tagInfo().picturePath));
    ASSERT_FALSE(picture.isEmpty());
    const QFileInfo folder(QFileInfo(picture).path());
    EXPECT_TRUE(folder.isDir());
    EXPECT_FALSE(picture.contains(QStringLiteral("XXXXXX")));
    EXPECT_EQ(folder.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    const QString folderPath = folder.absoluteFilePath();

    delete sWindow;
    sWindow = nullptr;
    EXPECT_FALSE(QFileInfo::exists(folderPath));
}
