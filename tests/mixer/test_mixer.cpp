// The mixer window over a mixer record set up as the main window does:
// faders, pans, mute and solo, sends, the master and the effect return
// written into tMixParam through the strips; strips added and deleted with
// their flags; the layout under the scroll bars; keys; the relays; the
// peak frequency handed over from the analysis thread.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <cmath>
#include <thread>

#include "mixer/chstrip.h"
#include "mixer/fxstrip.h"
#include "mixer/masterstrip.h"
#include "mixer/mixer.h"
#include "mixer/reverbpanel.h"
#include "widgets/indicators.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

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

// The record as the main window starts it, with a file of `channels`
// channels on each track.
void initRecord(tMixParam *p) {
    *p = tMixParam{};
    p->trackCount = 1;
    p->masterGain = 1.0;
    p->masterMute = 1.0f;
    p->masterFader = 1.0f;
}

void openTrack(tMixParam *p, int t, int channels) {
    tMixChParam &ch = p->ch[t];
    ch.LL = 1;
    ch.LR = channels == 2 ? 0 : 1;
    ch.RL = 0;
    ch.RR = channels == 2 ? 1 : 0;
    ch.gain = 1;
    ch.pan = 0;
    ch.faderDb = 0;
    ch.mute = 1;
    ch.channels = channels;
}

// A mixer with `tracks` strips over a record whose tracks have the given
// channel counts.
struct Desk {
    tMixParam rec;
    mixer m;
    explicit Desk(std::initializer_list<int> channels) {
        initRecord(&rec);
        m.mMixParam = &rec;
        int t = 0;
        for (int c : channels) {
            if (t > 0) {
                EXPECT_TRUE(m.addDelTrack(1, t));
            }
            openTrack(&rec, t, c);
            ++t;
        }
        rec.trackCount = t;
    }
    chstrip *strip(int t) { return m.mChStrip[t]; }
    QPushButton *button(int t, const char *name) { return child<QPushButton>(*strip(t), name); }
    QLineEdit *field(int t, const char *name) { return child<QLineEdit>(*strip(t), name); }
    void click(int t, const char *name) { QTest::mouseClick(button(t, name), Qt::LeftButton); }
    bool lamp(int t) { return button(t, "pushButtonMute")->isChecked(); }
};

}  // namespace

TEST(Mixer, StartsWithOneStripAndTheMasterPatch) {
    std::fill(std::begin(gOutputPatch), std::end(gOutputPatch), 7);
    mixer m;
    EXPECT_EQ(m.windowTitle(), "Mixer");
    EXPECT_EQ(m.size(), QSize(640, 640));
    EXPECT_EQ(m.stripCount(), 1);
    ASSERT_NE(m.mChStrip[0], nullptr);
    EXPECT_EQ(m.mChStrip[0]->trackNumber(), 0);
    EXPECT_EQ(m.mChStrip[1], nullptr);
    EXPECT_EQ(m.mChStrip[0]->pos(), QPoint(0, 0));
    EXPECT_EQ(m.mFxStrip->pos(), QPoint(90, 0));
    EXPECT_EQ(m.mMasterStrip->pos(), QPoint(180, 0));
    EXPECT_EQ(gOutputPatch[0], kOutputPatchMaster);
    for (int i = 1; i < kOutputPatchSize; ++i) ASSERT_EQ(gOutputPatch[i], -1) << i;
    EXPECT_EQ(m.mFxStrip->outputChannels(), 2);
    EXPECT_EQ(child<QComboBox>(*m.mMasterStrip, "comboBoxOutBus")->count(), 1);
    // The reverb's default tables reached the panel and, through its
    // reports, the reverb's record.
    EXPECT_EQ(m.reverbParam().comb[0].delay, 5724);
    EXPECT_EQ(m.reverbParam().allPass[1].delay, 1044);
    EXPECT_NE(m.getReverbInstance(), nullptr);

    // Without a record nothing is written and nothing breaks.
    QTest::mouseClick(child<QPushButton>(*m.mChStrip[0], "pushButtonSolo"), Qt::LeftButton);
    type(child<QLineEdit>(*m.mChStrip[0], "lineEditVol"), "-6");
    m.recalMixParam(0);
    m.recalMasterParam();
}

TEST(Mixer, FaderAndPanLawsReachTheRecord) {
    Desk d({2, 1});
    tMixChParam &st = d.rec.ch[0];
    tMixChParam &mono = d.rec.ch[1];

    // Mono at the centre: 0.7071·g on both outputs, from the right input
    // nothing.
    type(d.field(1, "lineEditVol"), "-6");
    const double g = std::pow(10.0, -6.0 / 20);
    EXPECT_EQ(mono.faderDb, -6.0f);
    EXPECT_DOUBLE_EQ(mono.gain, g);
    type(d.field(1, "lineEditPan"), "C");
    EXPECT_EQ(mono.pan, 0.0);
    EXPECT_DOUBLE_EQ(mono.LL, g * std::cos(kPi / 4));
    EXPECT_DOUBLE_EQ(mono.LR, g * std::cos(kPi / 4));
    EXPECT_NEAR(mono.LL, 0.7071 * g, 1e-4 * g);
    EXPECT_EQ(mono.RL, 0.0);
    EXPECT_EQ(mono.RR, 0.0);
    type(d.field(1, "lineEditPan"), "L100");
    EXPECT_DOUBLE_EQ(mono.LL, g);
    EXPECT_EQ(mono.LR, 0.0);

    // Stereo fully left: left at g, right at g·cos(−π/2), not exactly 0.
    type(d.field(0, "lineEditPan"), "L100");
    EXPECT_EQ(st.pan, -100.0);
    EXPECT_EQ(st.LL, 1.0);
    EXPECT_EQ(st.RR, std::cos(-100 * kPi / 200));
    EXPECT_NE(st.RR, 0.0);
    EXPECT_EQ(st.LR, 0.0);
    EXPECT_EQ(st.RL, 0.0);
    type(d.field(0, "lineEditPan"), "R50");
    EXPECT_DOUBLE_EQ(st.LL, std::cos(kPi / 4));
    EXPECT_EQ(st.RR, 1.0);

    // The bottom of the fader is 10^−6, not silence.
    type(d.field(0, "lineEditVol"), "-120");
    EXPECT_DOUBLE_EQ(st.gain, 1e-6);
    EXPECT_DOUBLE_EQ(st.RR, 1e-6);

    // A project load writes the fields itself and asks for the matrix.
    mono.gain = 0.5;
    mono.pan = 100;
    d.m.recalMixParam(1);
    EXPECT_DOUBLE_EQ(mono.LL, 0.5 * std::cos(kPi / 2));
    EXPECT_DOUBLE_EQ(mono.LR, 0.5);
    d.m.recalMixParam(40);  // outside the record: nothing
}

TEST(Mixer, SoloBeatsMuteAndTheLampsFollow) {
    Desk d({2, 2, 2});
    auto mutes = [&] { return std::vector<float>{d.rec.ch[0].mute, d.rec.ch[1].mute, d.rec.ch[2].mute}; };
    auto lamps = [&] { return std::vector<bool>{d.lamp(0), d.lamp(1), d.lamp(2)}; };

    d.click(1, "pushButtonMute");
    EXPECT_EQ(mutes(), std::vector<float>({1, 0, 1}));
    EXPECT_EQ(lamps(), std::vector<bool>({false, true, false}));
    EXPECT_EQ(d.rec.ch[1].LL, 0.0);
    EXPECT_EQ(d.rec.ch[1].RR, 0.0);

    // Soloing the muted track makes it the only one heard; every other lamp
    // lights.
    d.click(1, "pushButtonSolo");
    EXPECT_EQ(mutes(), std::vector<float>({0, 1, 0}));
    EXPECT_EQ(lamps(), std::vector<bool>({true, false, true}));
    EXPECT_EQ(d.rec.ch[1].LL, 1.0);
    EXPECT_TRUE(d.m.soloMutedFlag(0));
    EXPECT_FALSE(d.m.soloMutedFlag(1));

    d.click(2, "pushButtonSolo");
    EXPECT_EQ(mutes(), std::vector<float>({0, 1, 1}));
    EXPECT_EQ(lamps(), std::vector<bool>({true, false, false}));

    // Un-soloing the last soloed track gives every track its own state back.
    d.click(1, "pushButtonSolo");
    d.click(2, "pushButtonSolo");
    EXPECT_EQ(mutes(), std::vector<float>({1, 0, 1}));
    EXPECT_EQ(lamps(), std::vector<bool>({false, true, false}));
    d.click(1, "pushButtonMute");
    EXPECT_EQ(mutes(), std::vector<float>({1, 1, 1}));
    EXPECT_EQ(lamps(), std::vector<bool>({false, false, false}));
    EXPECT_EQ(d.rec.ch[1].RR, 1.0);
}

TEST(Mixer, SendMatrixIsSetOnlyBySendLevel) {
    Desk d({2, 1});
    tMixChParam &st = d.rec.ch[0];
    d.strip(0)->fxSendValueChangeEvent(0);
    EXPECT_EQ(st.fxLL, 1.0);
    EXPECT_EQ(st.fxRR, 1.0);
    EXPECT_EQ(st.fxLR, 0.0);
    EXPECT_EQ(st.fxRL, 0.0);

    // Pan, fader, mute and solo leave the send alone.
    type(d.field(0, "lineEditPan"), "L100");
    type(d.field(0, "lineEditVol"), "-20");
    d.click(0, "pushButtonMute");
    d.click(1, "pushButtonSolo");
    EXPECT_EQ(st.fxLL, 1.0);
    EXPECT_EQ(st.fxRR, 1.0);
    EXPECT_EQ(st.mute, 0.0f);

    // The next send level takes the pan as it is now, without the fader.
    d.strip(0)->fxSendValueChangeEvent(-6);
    const double s = std::pow(10.0, -6.0 / 20);
    EXPECT_DOUBLE_EQ(st.fxLL, s);
    EXPECT_DOUBLE_EQ(st.fxRR, s * std::cos(-kPi / 2));

    d.strip(1)->fxSendValueChangeEvent(0);
    EXPECT_DOUBLE_EQ(d.rec.ch[1].fxLL, std::cos(kPi / 4));
    EXPECT_DOUBLE_EQ(d.rec.ch[1].fxLR, std::cos(kPi / 4));

    indicator *lamp = child<indicator>(*d.strip(1), "labelFxSend");
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(d.rec.ch[1].fxSendOn);
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_FALSE(d.rec.ch[1].fxSendOn);
}

TEST(Mixer, MasterGainAndEffectReturn) {
    Desk d({2});
    masterstrip *ms = d.m.mMasterStrip;
    QPushButton *mute = child<QPushButton>(*ms, "pushButtonMute");

    type(child<QLineEdit>(*ms, "lineEditVol"), "3");
    const float fader = static_cast<float>(std::pow(10.0, 3.0 / 20));
    EXPECT_EQ(d.rec.masterFader, fader);
    EXPECT_EQ(d.rec.masterGain, static_cast<double>(fader));
    EXPECT_NE(d.rec.masterGain, std::pow(10.0, 3.0 / 20));

    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(d.rec.masterMute, 0.0f);
    EXPECT_EQ(d.rec.masterGain, 0.0);
    type(child<QLineEdit>(*ms, "lineEditVol"), "-6");
    EXPECT_EQ(d.rec.masterGain, 0.0);
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_EQ(d.rec.masterMute, 1.0f);
    EXPECT_EQ(d.rec.masterGain, static_cast<double>(d.rec.masterFader));
    EXPECT_EQ(d.rec.masterFader, static_cast<float>(std::pow(10.0, -6.0 / 20)));

    d.rec.masterFader = 0.25f;
    d.m.recalMasterParam();
    EXPECT_EQ(d.rec.masterGain, 0.25);

    // The effect return: the strip's fader level and its lamp with Control.
    d.m.mFxStrip->volChangeEvent(20);  // the 0 dB step
    EXPECT_EQ(d.rec.fxReturnGain, 1.0);
    d.m.mFxStrip->volChangeEvent(119);
    EXPECT_DOUBLE_EQ(d.rec.fxReturnGain, 1e-3);
    d.m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.m));
    indicator *lamp = child<indicator>(*d.m.mFxStrip, "labelFxIndicator");
    QTest::keyPress(&d.m, Qt::Key_Control);
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(d.rec.fxOn);
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_FALSE(d.rec.fxOn);
    QTest::keyRelease(&d.m, Qt::Key_Control);
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_FALSE(d.rec.fxOn);
    EXPECT_TRUE(d.m.mFxStrip->panel()->isVisible());
    d.m.mFxStrip->panel()->hide();
}

TEST(Mixer, AddingRefusesA33rdStrip) {
    tMixParam rec;
    initRecord(&rec);
    mixer m;
    m.mMixParam = &rec;
    m.setInputChannels(4);
    for (int t = 1; t < kMaxTracks; ++t) ASSERT_TRUE(m.addDelTrack(1, t));
    EXPECT_EQ(m.stripCount(), 32);
    EXPECT_EQ(m.mChStrip[31]->trackNumber(), 31);
    EXPECT_EQ(child<QComboBox>(*m.mChStrip[31], "comboBoxInputCh")->count(), 2);

    EXPECT_FALSE(m.addDelTrack(1, 32));
    EXPECT_EQ(m.stripCount(), 32);
    EXPECT_EQ(m.findChildren<chstrip *>().size(), 32);
    EXPECT_EQ(m.getTrackNames().size(), 32);

    // The main window empties the desk by deleting the last strip until one
    // is left; the last one stays.
    for (int t = 31; t >= 1; --t) ASSERT_TRUE(m.addDelTrack(-1, t));
    EXPECT_FALSE(m.addDelTrack(-1, 0));
    EXPECT_FALSE(m.addDelTrack(-1, -3));
    EXPECT_EQ(m.stripCount(), 1);
    EXPECT_EQ(m.findChildren<chstrip *>().size(), 1);
}

TEST(Mixer, DeletingAStripMovesItsFlagsWithTheStrips) {
    Desk d({2, 2, 2, 2});
    for (int t = 0; t < 4; ++t) d.field(t, "lineEditName")->setText(QStringLiteral("T%1").arg(t));
    chstrip *former2 = d.strip(2);
    chstrip *former3 = d.strip(3);
    d.click(2, "pushButtonMute");
    d.click(3, "pushButtonSolo");
    d.click(1, "pushButtonSolo");
    // Solo on 1 and 3; 2 muted.
    EXPECT_EQ(d.rec.ch[0].mute, 0.0f);
    EXPECT_EQ(d.rec.ch[1].mute, 1.0f);
    EXPECT_EQ(d.rec.ch[2].mute, 0.0f);
    EXPECT_EQ(d.rec.ch[3].mute, 1.0f);

    // Delete track 1 the way the main window does: the mixer first, then the
    // records move down, then the factors are rewritten.
    ASSERT_TRUE(d.m.addDelTrack(-1, 1));
    for (int t = 1; t < 3; ++t) d.rec.ch[t] = d.rec.ch[t + 1];
    d.rec.ch[3] = tMixChParam{};
    d.rec.trackCount = 3;
    d.m.calcMuteSoloVolume();

    EXPECT_EQ(d.m.stripCount(), 3);
    EXPECT_EQ(d.strip(1), former2);
    EXPECT_EQ(d.strip(2), former3);
    EXPECT_EQ(d.m.mChStrip[3], nullptr);
    EXPECT_EQ(former2->trackNumber(), 1);
    EXPECT_EQ(former3->trackNumber(), 2);
    EXPECT_EQ(d.m.getTrackNames(), QStringList({"T0", "T2", "T3"}));
    // The flags went with their strips: former 2 muted, former 3 soloed.
    EXPECT_TRUE(d.m.muteFlag(1));
    EXPECT_FALSE(d.m.soloFlag(1));
    EXPECT_TRUE(d.m.soloFlag(2));
    EXPECT_EQ(d.rec.ch[0].mute, 0.0f);
    EXPECT_EQ(d.rec.ch[1].mute, 0.0f);
    EXPECT_EQ(d.rec.ch[2].mute, 1.0f);
    EXPECT_EQ((std::vector<bool>{d.lamp(0), d.lamp(1), d.lamp(2)}), std::vector<bool>({true, true, false}));

    // Deleting the only soloed track releases the others: former 2 is still
    // muted by its own button, track 0 sounds again.
    ASSERT_TRUE(d.m.addDelTrack(-1, 2));
    d.rec.trackCount = 2;
    d.m.calcMuteSoloVolume();
    EXPECT_FALSE(d.m.soloMutedFlag(0));
    EXPECT_EQ(d.rec.ch[0].mute, 1.0f);
    EXPECT_EQ(d.rec.ch[1].mute, 0.0f);
    EXPECT_EQ((std::vector<bool>{d.lamp(0), d.lamp(1)}), std::vector<bool>({false, true}));

    // A track added while another is soloed is held silent by that solo.
    d.click(0, "pushButtonSolo");
    ASSERT_TRUE(d.m.addDelTrack(1, 2));
    openTrack(&d.rec, 2, 2);
    d.m.calcMuteSoloVolume();
    EXPECT_TRUE(d.m.soloMutedFlag(2));
    EXPECT_FALSE(d.m.muteFlag(2));
    EXPECT_EQ(d.rec.ch[2].mute, 0.0f);
    EXPECT_TRUE(d.lamp(2));
    // And its own buttons speak for the new strip, not for the one that had
    // the place before.
    d.click(2, "pushButtonSolo");
    EXPECT_EQ(d.rec.ch[2].mute, 1.0f);
}

TEST(Mixer, DeletingAnEarlierStripRenumbersAndRepictures) {
    Desk d({2, 2, 2});
    d.field(1, "lineEditName")->setText("Bass");
    d.field(2, "lineEditName")->setText("Drums");
    QSignalSpy eq(&d.m, &mixer::reportEqButtonClicked);
    ASSERT_TRUE(d.m.addDelTrack(-1, 0));
    EXPECT_EQ(d.m.getTrackNames(), QStringList({"Bass", "Drums"}));
    QLabel *picture = child<QLabel>(*d.strip(1), "labelCh");
    EXPECT_EQ(picture->pixmap().toImage(), QPixmap(":/resources2/parts/point_eq_2-on.png").toImage());
    // Reports carry the new numbers.
    d.strip(1)->on_pushPEQ_clicked();
    ASSERT_EQ(eq.count(), 1);
    EXPECT_EQ(eq.at(0).at(0).toInt(), 1);
    // An index beyond the last deletes the last.
    ASSERT_TRUE(d.m.addDelTrack(-1, 9));
    EXPECT_EQ(d.m.getTrackNames(), QStringList({"Bass"}));
}

TEST(Mixer, LayoutUnderTheScrollBars) {
    Desk d({2});
    d.m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.m));
    QScrollBar *h = child<QScrollBar>(d.m, "horizontalScrollBar");
    QScrollBar *v = child<QScrollBar>(d.m, "verticalScrollBar");
    EXPECT_EQ(h->geometry(), QRect(0, 624, 624, 16));
    EXPECT_EQ(v->geometry(), QRect(624, 0, 16, 624));
    EXPECT_EQ(d.strip(0)->pos(), QPoint(0, 0));
    EXPECT_EQ(d.m.mFxStrip->pos(), QPoint(90, 16));
    EXPECT_EQ(d.m.mMasterStrip->pos(), QPoint(180, 16));

    h->setValue(99);
    EXPECT_EQ(d.strip(0)->pos(), QPoint(354, 0));
    EXPECT_EQ(d.m.mMasterStrip->pos(), QPoint(534, 16));
    h->setValue(0);

    // Too low for a strip: it waits below the window until scrolled up.
    d.m.resize(640, 400);
    QTRY_COMPARE(d.strip(0)->y(), 400);
    v->setValue(36);
    EXPECT_EQ(d.strip(0)->y(), -218);
    EXPECT_EQ(d.m.mFxStrip->y(), 16);

    // An added strip takes its place in the row.
    v->setValue(0);
    d.m.resize(640, 640);
    QTRY_COMPARE(v->geometry(), QRect(624, 0, 16, 624));
    ASSERT_TRUE(d.m.addDelTrack(1, 1));
    EXPECT_EQ(d.strip(1)->pos(), QPoint(90, 0));
    EXPECT_TRUE(d.strip(1)->isVisible());
    EXPECT_EQ(d.m.mFxStrip->pos(), QPoint(180, 16));
}

TEST(Mixer, KeysAndClicksOnTheWindow) {
    Desk d({2});
    d.m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.m));
    QTest::keyClick(&d.m, Qt::Key_Escape);
    EXPECT_TRUE(d.m.isVisible());
    QTest::keyClick(d.field(0, "lineEditName"), Qt::Key_Escape);
    EXPECT_TRUE(d.m.isVisible());

    // A click on the background takes the focus from the level field.
    QLineEdit *vol = d.field(0, "lineEditVol");
    d.m.activateWindow();
    vol->setFocus();
    QTRY_VERIFY(vol->hasFocus());
    QTest::mouseClick(&d.m, Qt::LeftButton, {}, QPoint(400, 600));
    EXPECT_FALSE(vol->hasFocus());
}

TEST(Mixer, RelaysBetweenStripsAndTheMainWindow) {
    Desk d({2, 2});
    QSignalSpy eq(&d.m, &mixer::reportEqButtonClicked);
    QSignalSpy delay(&d.m, &mixer::reportChDelayChanged);
    QSignalSpy masterEq(&d.m, &mixer::masterEQClicked);

    d.strip(1)->on_pushPEQ_clicked();
    type(d.field(0, "lineEditDelay"), "250");
    QTest::mouseClick(child<QPushButton>(*d.m.mMasterStrip, "pushPEQ"), Qt::LeftButton);
    ASSERT_EQ(eq.count(), 1);
    EXPECT_EQ(eq.at(0).at(0).toInt(), 1);
    ASSERT_EQ(delay.count(), 1);
    EXPECT_EQ(delay.at(0), QList<QVariant>({0, 250.0}));
    EXPECT_EQ(masterEq.count(), 1);

    // From the main window to the strips.
    d.m.delayTimeChangeEvent(1, 40.4);
    EXPECT_EQ(d.field(1, "lineEditDelay")->text(), "40");
    EXPECT_EQ(delay.count(), 2);
    d.m.trackNameloadEvent({"Left", "Right"});
    EXPECT_EQ(d.m.getTrackNames(), QStringList({"Left", "Right"}));
    d.m.selectAllEqOnOffEvent(true, 1);
    QLabel *lamp1 = child<QLabel>(*d.strip(1), "labelEqIndicator");
    QLabel *lamp0 = child<QLabel>(*d.strip(0), "labelEqIndicator");
    EXPECT_EQ(lamp1->pixmap().toImage(), QPixmap(":/resources2/parts/EQ_button-on.png").toImage());
    EXPECT_EQ(lamp0->pixmap().toImage(), QPixmap(":/resources2/parts/EQ_button-off.png").toImage());

    // Meters: the main window feeds the strips, then one signal repaints.
    const double pair[2] = {1 << 30, 0};
    d.strip(0)->setMeterData(pair, 0, 45);
    d.m.mMasterStrip->setMeterData(pair, 0, 45);
    emit d.m.updateChMeter();
    emit d.m.updateMasterMeter();

    // A panel change reaches the reverb's record.
    QSlider *erLevel = child<QSlider>(*d.m.mFxStrip->panel(), "ERLevel");
    erLevel->setValue(erLevel->value() == 40 ? 41 : 40);
    EXPECT_EQ(d.m.reverbParam().erLevel, erLevel->value() / 100.0f);
}

TEST(Mixer, PeakFrequencyFromTheAnalysisThread) {
    Desk d({2, 2, 2});
    QLabel *f1 = child<QLabel>(*d.strip(1), "labelFreq");
    std::thread analysis([&] {
        d.m.setStripFFTPeakFreq(1, 1234.9f);
        d.m.setStripFFTPeakFreq(1, 440.0f);
        d.m.setStripFFTPeakFreq(2, 96000.0f);
        d.m.setStripFFTPeakFreq(40, 1.0f);
    });
    analysis.join();
    EXPECT_EQ(f1->text(), "f=");
    // Strip 2 goes before the values are shown: nothing touches it.
    ASSERT_TRUE(d.m.addDelTrack(-1, 2));
    QCoreApplication::processEvents();
    EXPECT_EQ(f1->text(), "f=440");
    EXPECT_EQ(child<QLabel>(*d.strip(0), "labelFreq")->text(), "f=");

    // On the GUI thread the strip shows it at once.
    d.m.setStripFFTPeakFreq(0, 1235.0f);
    EXPECT_EQ(child<QLabel>(*d.strip(0), "labelFreq")->text(), "f=1240");

    // The analysis thread sees the window only through its interface; the
    // input channels it sets reach the strips on the GUI thread.
    tMixerStripAccess *access = &d.m;
    QComboBox *in1 = child<QComboBox>(*d.strip(1), "comboBoxInputCh");
    std::thread([&] { access->setStripInputCh(4); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(in1->count(), 2);
    access->setStripInputCh(2);
    EXPECT_EQ(in1->count(), 1);
}
