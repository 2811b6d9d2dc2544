// The time counter, the typed counter, the region the track view's handles
// give, the in and out keys and the tag editor's start timecode, on one
// constructed main window. Track 0 is described the way opening a file
// leaves it (its file information and the mixer's track count).
#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextToSpeech>
#include <QTimer>

#include <cstring>

#include "app/mainwindow.h"
#include "editing/dialogedit.h"
#include "mainwindowfixture.h"
#include "ui_mainwindow.h"
#include "widgets/widgettc.h"

namespace {

class CounterWindow : public tMainWindowSuite {
protected:
    void SetUp() override {
        MainWindow &w = *sWindow;
        ASSERT_TRUE(probe(w).constructed());
        probe(w).counterMode() = kCounterTime;
        probe(w).subSecondDigits() = 2;
        probe(w).showSubFrames() = 0;
        probe(w).frameType() = kTc29_97Drop;
        probe(w).ui()->actionCounterTime->setChecked(true);
        probe(w).ui()->action29_97DF->setChecked(true);
        describeTrack0(44100, 4000000);
        probe(w).cursorSample() = 0;
        probe(w).cursorFraction() = 0.0;
        probe(w).markCount() = 0;
    }
    // Track 0 as opening a file of `frames` frames at `rate` leaves it.
    static void describeTrack0(uint32_t rate, uint64_t frames, uint64_t start = 0) {
        MainWindow &w = *sWindow;
        probe(w).tracks()[0].fileInfo.sampleRate = rate;
        probe(w).tracks()[0].fileInfo.totalSamples = frames;
        probe(w).tracks()[0].fileInfo.startSample = start;
        probe(w).tracks()[0].fileInfo.fileType = 0;
        probe(w).mixParam().trackCount = 1;
        probe(w).mixParam().ch[0].delayMs = 0.0;
        probe(w).overview().length[0] = int64_t(frames);
    }
    static QString counterText(int64_t position, int rate) {
        QString text;
        sWindow->prepareTimeInfoDisp(text, position, rate);
        return text;
    }
    static void type(const QString &text) {
        probe(*sWindow).ui()->lineEditTime->setText(text);
        sWindow->timeCounterEnterPressed();
    }
};

}  // namespace

TEST_F(CounterWindow, CounterTextsInTimeAndSampleMode) {
    MainWindow &w = *sWindow;
    struct Case {
        int digits;
        int64_t position;
        int rate;
        const char *text;
    };
    const Case cases[] = {
        {2, 29948, 10000, "00:00:02.99"},
        {2, 29952, 10000, "00:00:03.00"},                // rounds up into the seconds
        {2, 3599996, 1000, "01:00:00.00"},               // minutes wrap, the hour carries
        {2, 0, 44100, "00:00:00.00"},                    //
        {3, 44099, 44100, "00:00:01.000"},               // rounded: carries
        {4, 44099, 44100, "00:00:00.9999"},              // truncated: no carry
        {4, 44100 * 61 + 4410, 44100, "00:01:01.1000"},  //
        {2, int64_t(44100) * 36000, 44100, "10:00:00.00"},
    };
    for (const Case &c : cases) {
        probe(w).subSecondDigits() = c.digits;
        EXPECT_EQ(counterText(c.position, c.rate), QString::fromLatin1(c.text)) << c.position << " " << c.digits;
    }
    EXPECT_TRUE(probe(w).ui()->lineEditTime->styleSheet().contains(QLatin1String("31px")));

    // Sample mode: the bare count, in the smaller font; back to time mode, the
    // larger one.
    w.counterSampleTriggered(true);
    EXPECT_EQ(counterText(123456789, 44100), QStringLiteral("123456789"));
    EXPECT_TRUE(probe(w).ui()->lineEditTime->styleSheet().contains(QLatin1String("28px")));
    EXPECT_EQ(probe(w).ui()->label_orgTime->text(), QStringLiteral("4000000"));
    w.counterTimeTriggered(true);
    EXPECT_TRUE(probe(w).ui()->lineEditTime->styleSheet().contains(QLatin1String("31px")));
    EXPECT_EQ(probe(w).ui()->label_orgTime->text(), QStringLiteral("00:01:30.70"));  // 4,000,000 at 44.1 kHz
    // No rate (nothing described) reads zero rather than dividing by it.
    EXPECT_EQ(counterText(1000, 0), QStringLiteral("00:00:00.00"));
}

TEST_F(CounterWindow, TypedTimesMoveTheCursor) {
    MainWindow &w = *sWindow;
    describeTrack0(48000, 48000 * 4000);
    type(QStringLiteral("1:2:3.5"));
    EXPECT_EQ(probe(w).cursorSample(), int64_t(48000) * 3723 + 24000);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("01:02:03.50"));
    EXPECT_DOUBLE_EQ(probe(w).cursorFraction(), 3723.5 / 4000.0);

    struct Case {
        const char *typed;
        int64_t cursor;
    };
    const Case cases[] = {
        {"75", 48000 * 75}, {"2:05", 48000 * 125},    {"0.25", 12000}, {"0.125", 5760},
        {"x:y", 0},         {"1.5.9", 48000 + 24000},
    };
    for (const Case &c : cases) {
        type(QString::fromLatin1(c.typed));
        EXPECT_EQ(probe(w).cursorSample(), c.cursor) << c.typed;
    }

    // An empty field shows the cursor again and moves nothing.
    probe(w).cursorSample() = 48000 * 10;
    type(QString());
    EXPECT_EQ(probe(w).cursorSample(), 48000 * 10);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("00:00:10.00"));
    // Escape drops what was typed.
    probe(w).ui()->lineEditTime->setText(QStringLiteral("9:9:9"));
    w.timeCounterEscapePressed();
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("00:00:10.00"));

    // Sample mode: a count; a negative or wrong one is 0.
    w.counterSampleTriggered(true);
    type(QStringLiteral("123456"));
    EXPECT_EQ(probe(w).cursorSample(), 123456);
    type(QStringLiteral("-5"));
    EXPECT_EQ(probe(w).cursorSample(), 0);
}

// Typed as the user types: a click into the counter, Control+A, the keys,
// Return. A time within the material is taken as typed; one past its end is
// held to the end, and the counter shows the place that was taken, so the
// cursor stays on the waveform and PLAY has something to say about it.
TEST_F(CounterWindow, ATypedTimeIsHeldToTheMaterial) {
    MainWindow &w = *sWindow;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    describeTrack0(44100, 441000);  // 10 s
    w.setUIOperability(true);
    widgetTc *counter = probe(w).ui()->lineEditTime;
    struct Case {
        const char *typed;
        int64_t cursor;
        const char *shown;
    };
    const Case cases[] = {
        {"00:00:05.00", 44100 * 5, "00:00:05.00"},
        {"00:00:10.00", 441000, "00:00:10.00"},
        {"00:00:30.00", 441000, "00:00:10.00"},  // past the end: held to it
        {"00:05:00.00", 441000, "00:00:10.00"},
        {"500", 441000, "00:00:10.00"},          // digits alone are seconds
        {"3.25", 44100 * 3 + 11025, "00:00:03.25"},
    };
    for (const Case &c : cases) {
        QTest::mouseClick(counter, Qt::LeftButton);
        ASSERT_TRUE(counter->hasFocus()) << c.typed;
        QTest::keyClick(counter, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(counter, QString::fromLatin1(c.typed));
        QTest::keyClick(counter, Qt::Key_Return);
        EXPECT_EQ(probe(w).cursorSample(), c.cursor) << c.typed;
        EXPECT_EQ(counter->text(), QString::fromLatin1(c.shown)) << c.typed;
        EXPECT_LE(probe(w).cursorFraction(), 1.0) << c.typed;
    }
    probe(w).cursorSample() = 0;
    w.hide();
}

TEST_F(CounterWindow, TimecodeReadsTheFilesOwnStartTime) {
    MainWindow &w = *sWindow;
    describeTrack0(48000, 48000 * 60);

    // The tag editor's start timecode 10:00:00;00 becomes the file's start.
    probe(w).dialogEditTag().setTagType(kTagTypeWav);
    probe(w).id3tagInfo().hour = 10;
    probe(w).id3tagInfo().minute = probe(w).id3tagInfo().second = probe(w).id3tagInfo().frame = 0;
    probe(w).dialogEditTag().setID3tagInfo(&probe(w).id3tagInfo());
    probe(w).dialogEditTag().accept();
    probe(w).dialogEditTag().getEditedTagInfo(&probe(w).id3tagInfo());
    probe(w).tracks()[0].fileInfo.startSample = uint64_t(w.tagHMSFtoStartTcSample(&probe(w).id3tagInfo()));
    ASSERT_GT(probe(w).tracks()[0].fileInfo.startSample, 0u);

    w.counterTimecodeTriggered(true);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("10:00:00;00"));
    // 60 s later: 1798 frames of 29.97 drop-frame.
    EXPECT_EQ(probe(w).ui()->label_orgTime->text(), QStringLiteral("10:00:59;28"));

    // At 30 frames per second timecode is wall-clock time: 5 s into the file.
    w.frameRate30NDFTriggered(true);
    probe(w).tracks()[0].fileInfo.startSample = uint64_t(w.tagHMSFtoStartTcSample(&probe(w).id3tagInfo()));  // at the new frame type
    EXPECT_EQ(probe(w).tracks()[0].fileInfo.startSample, uint64_t(48000) * 36000);
    type(QStringLiteral("10:00:05;00"));
    EXPECT_EQ(probe(w).cursorSample(), 48000 * 5);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("10:00:05;00"));
    type(QStringLiteral("10:00:01;15"));
    EXPECT_EQ(probe(w).cursorSample(), 48000 + 24000);
    // Without ";" the last three fields are hours, minutes and seconds.
    type(QStringLiteral("09:10:00:04"));
    EXPECT_EQ(probe(w).cursorSample(), int64_t(48000) * 4);
    // Before the file's start: the start.
    type(QStringLiteral("09:00:00;00"));
    EXPECT_EQ(probe(w).cursorSample(), 0);

    // Sub-frames: shown after a ".", in the smallest font.
    probe(w).showSubFrames() = 1;
    probe(w).cursorSample() = 800;  // 1/60 s: half a frame
    w.timeCounterEscapePressed();
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("10:00:00;00.50"));
    EXPECT_TRUE(probe(w).ui()->lineEditTime->styleSheet().contains(QLatin1String("24px")));
    probe(w).showSubFrames() = 0;
    probe(w).tracks()[0].fileInfo.startSample = 0;
}

TEST_F(CounterWindow, MarkLabelNamesTheLastMarkAtOrBefore) {
    MainWindow &w = *sWindow;
    std::memset(probe(w).markBuffer(), 0, sizeof probe(w).markBuffer());
    std::strcpy(probe(w).markBuffer()[0].name, "Intro");
    probe(w).markBuffer()[0].position = 100;
    std::strcpy(probe(w).markBuffer()[1].name, "Verse");
    probe(w).markBuffer()[1].position = 5000;
    probe(w).markCount() = 2;
    const struct {
        int64_t at;
        const char *label;
    } cases[] = {{0, "MARK = "}, {100, "MARK = Intro"}, {4999, "MARK = Intro"}, {5000, "MARK = Verse"}};
    for (const auto &c : cases) {
        w.showMarkName(c.at);
        EXPECT_EQ(probe(w).ui()->labelMark->text(), QString::fromLatin1(c.label)) << c.at;
    }
    probe(w).markCount() = 0;
}

TEST_F(CounterWindow, RegionFromTheHandlesAndTheInOutKeys) {
    MainWindow &w = *sWindow;
    trackGraphic *view = probe(w).ui()->widgetTrack1;
    describeTrack0(44100, 4000000);
    w.setUIOperability(true);
    w.frameRate30NDFTriggered(true);
    w.counterSampleTriggered(true);
    view->mInPoint = view->mFadeInEnd = 0.25;
    view->mOutPoint = view->mFadeOutStart = 0.75;
    view->mGain = 1.0;
    w.trackEditParamChanged(0);

    const tWaveEditParam &region = probe(w).dialogEdit()->mExportRegion;
    EXPECT_EQ(region.inPoint, 1000000);
    EXPECT_EQ(region.outPoint, 3000000);
    EXPECT_EQ(region.fadeInLength, 0);
    EXPECT_EQ(region.fadeOutLength, 0);
    EXPECT_EQ(region.gain, 1.0);
    EXPECT_EQ(probe(w).ui()->labelInPoint->text(), QStringLiteral("In Point = 1000000"));
    EXPECT_EQ(probe(w).ui()->labelOutPoint->text(), QStringLiteral("Out Point = 3000000"));
    EXPECT_EQ(probe(w).ui()->labelInOut->text(), QStringLiteral("In-Out = 2000001"));
    EXPECT_EQ(probe(w).ui()->lineEditGain_dB->text(), QStringLiteral("0.0"));
    // A WAV's start timecode follows the in point: 1,000,000 samples at
    // 44.1 kHz are 22.68 s: 22 s and frame 20 at 30 frames per second.
    EXPECT_EQ(probe(w).id3tagInfo().hour, 0);
    EXPECT_EQ(probe(w).id3tagInfo().minute, 0);
    EXPECT_EQ(probe(w).id3tagInfo().second, 22);
    EXPECT_EQ(probe(w).id3tagInfo().frame, 20);

    // In timecode mode the in and out points carry the file's start, the
    // length does not.
    probe(w).tracks()[0].fileInfo.startSample = 44100 * 3600;
    w.counterTimecodeTriggered(true);
    w.trackEditParamChanged(0);
    EXPECT_EQ(probe(w).ui()->labelInPoint->text(), QStringLiteral("In Point = 01:00:22;20"));
    EXPECT_EQ(probe(w).ui()->labelInOut->text(), QStringLiteral("In-Out = 00:00:45;10"));
    probe(w).tracks()[0].fileInfo.startSample = 0;
    w.counterSampleTriggered(true);

    // F1 with the cursor after the out point moves both and keeps the
    // length; F2 before the in point likewise.
    w.show();
    w.activateWindow();
    probe(w).cursorFraction() = 0.8;
    QTest::keyClick(&w, Qt::Key_F1);
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.8);
    EXPECT_DOUBLE_EQ(view->mOutPoint, 1.0);  // 1.3, at most the end
    view->mInPoint = 0.4;
    view->mOutPoint = 0.6;
    probe(w).cursorFraction() = 0.1;
    QTest::keyClick(&w, Qt::Key_F2);
    EXPECT_NEAR(view->mInPoint, 0.0, 1e-12);  // -0.1, at least the start
    EXPECT_DOUBLE_EQ(view->mOutPoint, 0.1);
    view->mInPoint = 0.4;
    view->mOutPoint = 0.6;
    probe(w).cursorFraction() = 0.5;
    QTest::keyClick(&w, Qt::Key_F2);
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.4);
    EXPECT_DOUBLE_EQ(view->mOutPoint, 0.5);
    // Each move is a new region for the export window.
    EXPECT_EQ(region.inPoint, 1600000);
    EXPECT_EQ(region.outPoint, 2000000);
    // The set-point buttons do what F1 and F2 do.
    probe(w).cursorFraction() = 0.45;
    probe(w).ui()->setPointButtonSetIn->click();
    EXPECT_DOUBLE_EQ(view->mInPoint, 0.45);

    // "2" zooms in, "1" out; on the keypad they skip instead.
    probe(w).waveZoom() = 1.0;
    QTest::keyClick(&w, Qt::Key_2);
    QTest::keyClick(&w, Qt::Key_2);
    EXPECT_EQ(probe(w).waveZoom(), 4.0);
    QTest::keyClick(&w, Qt::Key_1);
    EXPECT_EQ(probe(w).waveZoom(), 2.0);
    QTest::keyClick(&w, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(probe(w).waveZoom(), 2.0);
    QTest::keyClick(&w, Qt::Key_1);
    EXPECT_EQ(probe(w).waveZoom(), 1.0);
    w.hide();
}

TEST_F(CounterWindow, AClickOnTheWaveformPutsTheCursorThere) {
    MainWindow &w = *sWindow;
    trackGraphic *view = probe(w).ui()->widgetTrack1;
    describeTrack0(44100, 4000000);
    w.counterSampleTriggered(true);
    view->mInPoint = view->mFadeInEnd = 0.0;
    view->mOutPoint = view->mFadeOutStart = 1.0;
    view->mClickPosition = 0.5;
    view->mDragState = kTrackDragCursor;
    probe(w).ui()->playButton->setChecked(true);
    w.trackEditParamChanged(0);
    view->mDragState = kTrackDragNone;
    EXPECT_EQ(probe(w).cursorSample(), 2000000);
    EXPECT_DOUBLE_EQ(probe(w).cursorFraction(), 0.5);
    EXPECT_EQ(probe(w).ui()->lineEditTime->text(), QStringLiteral("2000000"));
    EXPECT_FALSE(probe(w).ui()->playButton->isChecked());
    for (int i = 0; i < kMainRingEntries; ++i) {
        ASSERT_EQ(probe(w).positionRing()[i], 2000000) << i;
        ASSERT_EQ(probe(w).counterRing()[i], QStringLiteral("2000000")) << i;
    }
    // The same slot run by a play start (no click) leaves the cursor.
    view->mClickPosition = 0.9;
    w.trackEditParamChanged(0);
    EXPECT_EQ(probe(w).cursorSample(), 2000000);
}

TEST_F(CounterWindow, SpokenTransportKeysNeverWaitForASpeechEngine) {
    MainWindow &w = *sWindow;
    // The test machines have no speech engine: saying anything is a no-op.
    ASSERT_NE(probe(w).speech(), nullptr);
    w.show();
    probe(w).ui()->playButton->setEnabled(true);
    probe(w).ui()->playButton->setFocus();
    // Nothing is open, so each start is refused with a warning box; it is
    // read and closed as the user would.
    QStringList boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&boxes] {
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(top);
            if (box && box->isVisible()) {
                boxes << box->windowTitle();
                box->accept();
            }
        }
    });
    closer.start(0);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3; ++i) QTest::keyClick(probe(w).ui()->playButton, Qt::Key_Space);
    QTest::keyClick(probe(w).ui()->playButton, Qt::Key_0, Qt::KeypadModifier);
    // A speech engine that blocked would hold each key for seconds or for
    // good; the bound leaves room for four warning boxes shown and closed on
    // a loaded machine under the sanitizers.
    EXPECT_LT(clock.elapsed(), 10000);
    closer.stop();
    EXPECT_FALSE(boxes.isEmpty());
    for (const QString &title : boxes) EXPECT_EQ(title, QStringLiteral("File Not Opened"));
    EXPECT_NE(probe(w).speech()->state(), QTextToSpeech::Speaking);
    w.hide();
}
