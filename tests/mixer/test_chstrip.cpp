// The channel strip as a user drives it: fader and pan knobs and tracks,
// typed level, pan and delay, the buttons and lamps with their reports, the
// input-pair list, names, and the peak-frequency read-out set from another
// thread.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <thread>
#include <vector>

#include "mixer/chstrip.h"
#include "mixer/eqcontrols.h"
#include "mixer/stripfader.h"
#include "widgets/indicators.h"

namespace {

template <class T>
T *child(const QObject &parent, const char *name) {
    T *w = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

void type(QLineEdit *field, const QString &text) {
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

bool shows(QLabel *label, const QString &picture) { return label->pixmap().toImage() == QPixmap(picture).toImage(); }

// Drags a knob from its own place by `delta` pixels along its axis.
void dragKnob(QWidget *knob, QPoint delta) {
    const QPoint from(10, 10);
    QTest::mousePress(knob, Qt::LeftButton, {}, from);
    QTest::mouseMove(knob, from + delta);
    QTest::mouseRelease(knob, Qt::LeftButton, {}, from + delta);
}

std::vector<int> firstInts(const QSignalSpy &spy) {
    std::vector<int> v;
    for (const QList<QVariant> &args : spy) v.push_back(args.at(0).toInt());
    return v;
}

}  // namespace

TEST(ChStrip, StartsCentredAtZeroDecibels) {
    chstrip s;
    EXPECT_EQ(s.trackNumber(), -1);
    EXPECT_EQ(child<QLineEdit>(s, "lineEditVol")->text(), "0.0");
    EXPECT_EQ(child<QLineEdit>(s, "lineEditPan")->text(), "C");
    EXPECT_EQ(child<faderTopVol>(s, "label_FaderTopVol")->y(), 20);  // the 0 dB step
    EXPECT_EQ(child<QWidget>(s, "widgetMeter")->geometry(), QRect(50, 367, 30, 160));
    EXPECT_EQ(child<QLabel>(s, "labelFreq")->text(), "f=");
    EXPECT_TRUE(shows(child<QLabel>(s, "labelCh"), ":/resources2/parts/point_eq_1-onon.png"));
    EXPECT_EQ(child<QComboBox>(s, "comboBoxInputCh")->count(), 0);
    EXPECT_FALSE(s.soloOn() || s.muteOn() || s.sendOn());
}

TEST(ChStrip, FaderKnobAndTrackSetTheLevel) {
    chstrip s;
    s.setTrackNumber(2);
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    QSignalSpy reports(&s, &chstrip::reportVolumeChanged);
    faderTopVol *knob = child<faderTopVol>(s, "label_FaderTopVol");
    QLineEdit *field = child<QLineEdit>(s, "lineEditVol");

    struct Case {
        int delta;  // from the knob's place at 20
        float dB;
        const char *shown;
    };
    // A knob at a pixel between two steps reads the step above it.
    for (const Case &c :
         {Case{-1, 0.5f, "0.5"}, Case{101, -120.0f, "-120.0"}, Case{40, -12.0f, "-12.0"}, Case{-20, 6.0f, "6.0"}}) {
        s.setVolumeValueToWidget(0.0f);
        ASSERT_EQ(knob->y(), 20);
        dragKnob(knob, QPoint(0, c.delta));
        EXPECT_EQ(s.mLevel, c.dB) << c.delta;
        EXPECT_EQ(field->text(), c.shown) << c.delta;
    }
    EXPECT_EQ(firstInts(reports), std::vector<int>(4, 2));

    // A press on the track moves the knob and reads the level at once; the
    // 0 dB step (negative zero in the table) reads 0.0.
    WidgetMixvolBase *track = child<WidgetMixvolBase>(s, "widgetVolBase");
    QTest::mousePress(track, Qt::LeftButton, {}, QPoint(15, 15 + 121));
    EXPECT_EQ(s.mLevel, -120.0f);
    EXPECT_TRUE(shows(knob, ":/resources2/parts/volume_on.png"));
    QTest::mouseRelease(track, Qt::LeftButton, {}, QPoint(15, 15 + 121));
    EXPECT_TRUE(shows(knob, ":/resources2/parts/volume_off.png"));
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(15, 15 + 20));
    EXPECT_EQ(s.mLevel, 0.0f);
    EXPECT_EQ(field->text(), "0.0");
    EXPECT_EQ(reports.count(), 6);

    // The main window's placing stores and reports nothing.
    s.setVolumeValueToWidget(-3.0f);
    EXPECT_EQ(field->text(), "-3.0");
    EXPECT_EQ(s.mLevel, 0.0f);
    EXPECT_EQ(reports.count(), 6);
}

TEST(ChStrip, PanKnobAndTrack) {
    chstrip s;
    s.setTrackNumber(0);
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    QSignalSpy reports(&s, &chstrip::reportPanChanged);
    faderTopPan *knob = child<faderTopPan>(s, "label_FaderTopPan");
    QLineEdit *field = child<QLineEdit>(s, "lineEditPan");

    // The centre puts the knob at 22, which a drag reads as −3; the next
    // pixel reads +2.
    WidgetPanBase *track = child<WidgetPanBase>(s, "widgetPanBase");
    s.setPanValueToWidget(0);
    EXPECT_EQ(knob->x(), 22);
    EXPECT_EQ(field->text(), "C");
    EXPECT_EQ(reports.count(), 0);
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(16 + 22, 10));
    EXPECT_EQ(s.mPan, -3);
    EXPECT_EQ(field->text(), "L3");
    dragKnob(knob, QPoint(1, 0));
    EXPECT_EQ(knob->x(), 23);
    EXPECT_EQ(s.mPan, 2);
    EXPECT_EQ(field->text(), "R2");

    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_EQ(s.mPan, -100);
    EXPECT_EQ(field->text(), "L100");
    // The track's last pixel reads 95; dragging past its end reaches 100.
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_EQ(s.mPan, 95);
    QTest::mousePress(track, Qt::LeftButton, {}, QPoint(30, 10));
    QTest::mouseMove(track, QPoint(90, 10));
    QTest::mouseRelease(track, Qt::LeftButton, {}, QPoint(90, 10));
    EXPECT_EQ(s.mPan, 100);
    EXPECT_EQ(field->text(), "R100");
    EXPECT_EQ(knob->x(), 45);
    EXPECT_EQ(reports.count(), 6);
}

TEST(ChStrip, TypedLevelPanAndDelay) {
    chstrip s;
    s.setTrackNumber(1);
    QSignalSpy levels(&s, &chstrip::reportVolumeChanged);
    QSignalSpy pans(&s, &chstrip::reportPanChanged);
    QSignalSpy delays(&s, &chstrip::reportDelayValChanged);
    QLineEdit *vol = child<QLineEdit>(s, "lineEditVol");
    QLineEdit *pan = child<QLineEdit>(s, "lineEditPan");
    QLineEdit *delay = child<QLineEdit>(s, "lineEditDelay");
    faderTopVol *volKnob = child<faderTopVol>(s, "label_FaderTopVol");
    faderTopPan *panKnob = child<faderTopPan>(s, "label_FaderTopPan");

    type(vol, "abc");
    EXPECT_EQ(s.mLevel, -16.0f);
    EXPECT_EQ(vol->text(), "-16.0");
    EXPECT_EQ(volKnob->y(), 66);  // the −16 dB step
    type(vol, "10");
    EXPECT_EQ(s.mLevel, 6.0f);
    EXPECT_EQ(volKnob->y(), 0);
    type(vol, "-130");
    EXPECT_EQ(s.mLevel, -120.0f);
    EXPECT_EQ(volKnob->y(), 121);
    EXPECT_EQ(levels.count(), 3);

    type(pan, "l150");
    EXPECT_EQ(s.mPan, -100);
    EXPECT_EQ(pan->text(), "L100");
    EXPECT_EQ(panKnob->x(), 0);
    type(pan, "R-30");
    EXPECT_EQ(s.mPan, -30);
    EXPECT_EQ(pan->text(), "L30");
    type(pan, "x5");
    EXPECT_EQ(s.mPan, 0);
    EXPECT_EQ(pan->text(), "C");
    EXPECT_EQ(panKnob->x(), 22);
    EXPECT_EQ(pans.count(), 3);

    // A delay that is a number stays as typed; anything else is 0 ms, and so
    // are "nan" and "inf", which would make the track start at no time.
    type(delay, "12.5");
    EXPECT_EQ(s.delayMs(), 12.5);
    EXPECT_EQ(delay->text(), "12.5");
    for (const char *bad : {"later", "nan", "inf"}) {
        type(delay, bad);
        EXPECT_EQ(s.delayMs(), 0.0) << bad;
        EXPECT_EQ(delay->text(), "0") << bad;
    }
    ASSERT_EQ(delays.count(), 4);
    EXPECT_EQ(delays.at(0).at(0).toInt(), 1);
    EXPECT_EQ(delays.at(0).at(1).toDouble(), 12.5);

    // From the main window: only the strip of that track takes it, shown
    // rounded and reported unrounded.
    s.delayTimeChangeEvent(0, 99.0);
    EXPECT_EQ(delays.count(), 4);
    s.delayTimeChangeEvent(1, 12.6);
    EXPECT_EQ(delay->text(), "13");
    EXPECT_EQ(delays.last().at(1).toDouble(), 12.6);
}

// Clicks every button and lamp of a strip numbered `number` and types into
// its fields; the level and pan reports are counted for the caller.
void clickEverything(int number, int *levelReports, int *panReports) {
    {
        chstrip s;
        s.setTrackNumber(number);
        s.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
        QSignalSpy solo(&s, &chstrip::soloButtonClicked);
        QSignalSpy mute(&s, &chstrip::muteButtonClicked);
        QSignalSpy send(&s, &chstrip::fxSendOnClicked);
        QSignalSpy sendLevel(&s, &chstrip::fxSendLevelChanged);
        QSignalSpy eq(&s, &chstrip::reportEqButtonClicked);
        QSignalSpy delay(&s, &chstrip::reportDelayValChanged);
        QSignalSpy levels(&s, &chstrip::reportVolumeChanged);
        QSignalSpy pans(&s, &chstrip::reportPanChanged);

        QPushButton *soloButton = child<QPushButton>(s, "pushButtonSolo");
        QTest::mouseClick(soloButton, Qt::LeftButton);
        QTest::mouseClick(soloButton, Qt::LeftButton);
        EXPECT_FALSE(soloButton->isChecked());
        QTest::mouseClick(child<QPushButton>(s, "pushButtonMute"), Qt::LeftButton);
        indicator *sendLamp = child<indicator>(s, "labelFxSend");
        QTest::mouseClick(sendLamp, Qt::LeftButton);
        EXPECT_TRUE(shows(sendLamp, ":/resources2/parts/FXsend_button-on.png"));
        QTest::mouseClick(sendLamp, Qt::LeftButton);
        EXPECT_TRUE(shows(sendLamp, ":/resources2/parts/FXsend_button-off.png"));
        s.fxSendValueChangeEvent(-7);
        QTest::mouseClick(child<eqIndicator>(s, "labelEqIndicator"), Qt::LeftButton);
        type(child<QLineEdit>(s, "lineEditDelay"), "5");
        type(child<QLineEdit>(s, "lineEditVol"), "-6");
        type(child<QLineEdit>(s, "lineEditPan"), "L10");

        ASSERT_EQ(solo.count(), 2);
        EXPECT_EQ(solo.at(0), QList<QVariant>({number, true}));
        EXPECT_EQ(solo.at(1), QList<QVariant>({number, false}));
        ASSERT_EQ(mute.count(), 1);
        EXPECT_EQ(mute.at(0), QList<QVariant>({number, true}));
        ASSERT_EQ(send.count(), 2);
        EXPECT_EQ(send.at(0), QList<QVariant>({number, true}));
        EXPECT_EQ(send.at(1), QList<QVariant>({number, false}));
        ASSERT_EQ(sendLevel.count(), 1);
        EXPECT_EQ(sendLevel.at(0), QList<QVariant>({number, -7}));
        EXPECT_EQ(firstInts(eq), std::vector<int>({number}));
        EXPECT_EQ(firstInts(delay), std::vector<int>({number}));
        // The level and pan are kept either way; only a numbered strip
        // reports them.
        EXPECT_EQ(s.mLevel, -6.0f);
        EXPECT_EQ(s.mPan, -10);
        *levelReports = static_cast<int>(levels.count());
        *panReports = static_cast<int>(pans.count());
    }
}

TEST(ChStrip, ButtonsAndLampsReportWithTheTrackNumber) {
    int levels = -1, pans = -1;
    clickEverything(4, &levels, &pans);
    EXPECT_EQ(levels, 1);
    EXPECT_EQ(pans, 1);
    // An unnumbered strip reports everything but its level and pan.
    clickEverything(-1, &levels, &pans);
    EXPECT_EQ(levels, 0);
    EXPECT_EQ(pans, 0);
}

TEST(ChStrip, EqualiserLampFollowsItsOwnTrackOnly) {
    chstrip s;
    s.setTrackNumber(3);
    eqIndicator *lamp = child<eqIndicator>(s, "labelEqIndicator");
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/EQ_button-off.png"));
    s.allEqOnOffEvent(true, 2);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/EQ_button-off.png"));
    s.allEqOnOffEvent(true, 3);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/EQ_button-on.png"));
    s.allEqOnOffEvent(false, 1023);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/EQ_button-on.png"));
    s.allEqOnOffEvent(false, 3);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/EQ_button-off.png"));
}

TEST(ChStrip, InputPairsKeepTheSelectionWhileListed) {
    chstrip s;
    QComboBox *box = child<QComboBox>(s, "comboBoxInputCh");
    QSignalSpy changes(&s, &chstrip::recChannelChanged);
    s.setInputCh(5);
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(2), "Ch 5-6");
    box->setCurrentIndex(2);
    EXPECT_EQ(s.selectedInputPair(), 2);
    EXPECT_EQ(changes.last().at(0).toInt(), 2);

    s.setInputCh(8);
    EXPECT_EQ(box->count(), 4);
    EXPECT_EQ(box->currentIndex(), 2);
    EXPECT_EQ(s.selectedInputPair(), 2);
    // Two inputs no longer have a third pair: the first one is chosen rather
    // than nothing.
    s.setInputCh(2);
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(s.selectedInputPair(), 0);
    s.setInputCh(0);
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(s.selectedInputPair(), -1);
    s.setInputCh(2);
    EXPECT_EQ(s.selectedInputPair(), 0);
}

TEST(ChStrip, NamesAndPictures) {
    chstrip s;
    QLineEdit *name = child<QLineEdit>(s, "lineEditName");
    QLabel *picture = child<QLabel>(s, "labelCh");
    s.setTrackNumber(2);
    EXPECT_TRUE(shows(picture, ":/resources2/parts/point_eq_3-on.png"));
    s.setTrackNumber(5);
    EXPECT_TRUE(shows(picture, ":/resources2/parts/point_ch6.png"));
    s.setTrackNumber(12);
    EXPECT_TRUE(picture->pixmap().isNull());

    s.setTrackNumber(1);
    name->setText("Vocal");
    s.trackNameLoadEvent({"Piano", "Bass"});
    EXPECT_EQ(s.getTrackName(), "Bass");
    // A list without an entry for the strip leaves its name alone.
    s.trackNameLoadEvent({"Piano"});
    EXPECT_EQ(s.getTrackName(), "Bass");
}

TEST(ChStrip, KeysStopAtTheStrip) {
    QWidget window;
    chstrip *s = new chstrip(&window);
    struct Catcher : QObject {
        int keys = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::KeyPress) ++keys;
            return false;
        }
    } catcher;
    window.installEventFilter(&catcher);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QLineEdit *name = child<QLineEdit>(*s, "lineEditName");
    QTest::keyClick(name, Qt::Key_Escape);
    QTest::keyClick(name, Qt::Key_F5);
    QTest::keyClick(s, Qt::Key_Control);
    EXPECT_EQ(catcher.keys, 0);
}

TEST(ChStrip, PeakFrequencyFromTheAnalysisThread) {
    chstrip s;
    QLabel *label = child<QLabel>(s, "labelFreq");
    s.setFFTPeakFreq(1234.9f);  // on the GUI thread: at once
    EXPECT_EQ(label->text(), "f=1230");

    // From another thread the label is left to the GUI thread; only the
    // newest of several values is shown.
    std::thread analysis([&] {
        s.setFFTPeakFreq(440.0f);
        s.setFFTPeakFreq(96000.0f);
        s.setFFTPeakFreq(-12.0f);
    });
    analysis.join();
    EXPECT_EQ(label->text(), "f=1230");
    EXPECT_EQ(s.peakFreq(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(label->text(), "f=0");

    // An update still waiting when the strip goes is dropped with it.
    auto doomed = std::make_unique<chstrip>();
    std::thread late([&] { doomed->setFFTPeakFreq(1000.0f); });
    late.join();
    doomed.reset();
    QCoreApplication::processEvents();
}
