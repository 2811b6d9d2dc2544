// The effect-return strip: the output-bus list, the lamp with and without
// the Control key forwarded by the mixer, the return-level fader, and the
// panel's reports relayed with the strip's own copy of the parameters.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <cstring>
#include <iterator>
#include <vector>

#include "dsp/reverb.h"
#include "meter/metergraphic.h"
#include "mixer/fxstrip.h"
#include "mixer/reverbpanel.h"
#include "mixer/stripfader.h"
#include "widgets/indicators.h"

namespace {

template <class T>
T *child(const QObject &parent, const char *name) {
    T *w = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QStringList items(const fxstrip &s) {
    QStringList out;
    QComboBox *box = child<QComboBox>(s, "comboBoxOutBus");
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

bool shows(QLabel *label, const char *picture) {
    return label->pixmap().toImage() == QPixmap(QString::fromLatin1(picture)).toImage();
}

std::vector<int> ints(const QSignalSpy &spy) {
    std::vector<int> v;
    for (const QList<QVariant> &args : spy) v.push_back(args.at(0).toInt());
    return v;
}

}  // namespace

TEST(FxStrip, OutputBusList) {
    struct Case {
        int channels;
        QStringList texts;
    };
    const Case cases[] = {
        {2, {"(NO Out)", "Ch 1-2"}},
        {5, {"(NO Out)", "Ch 1-2", "Ch 3-4"}},
        {8, {"(NO Out)", "Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}},
        {1, {"(NO Out)"}},
        {0, {"(NO Out)"}},
        {-4, {"(NO Out)"}},
    };
    for (const Case &c : cases) {
        fxstrip s;
        s.setOutputChannels(c.channels);
        EXPECT_EQ(items(s), c.texts) << c.channels;
        EXPECT_EQ(s.outputChannels(), c.channels);
        EXPECT_EQ(child<QComboBox>(s, "comboBoxOutBus")->currentIndex(), 0) << c.channels;
        EXPECT_EQ(s.outputBus(), 0) << c.channels;
    }

    // As the mixer sets it up: the list reports -1 on clearing a filled
    // list, then 0 for "(NO Out)"; choosing a pair reports once.
    fxstrip s;
    QSignalSpy changes(&s, &fxstrip::currentOutputChanged);
    s.setOutputChannels(2);
    EXPECT_EQ(ints(changes), std::vector<int>({0}));
    s.setOutputChannels(4);
    EXPECT_EQ(ints(changes), std::vector<int>({0, -1, 0}));
    changes.clear();
    s.setCurrentOutputBus(1);
    EXPECT_EQ(ints(changes), std::vector<int>({1}));
    EXPECT_EQ(s.outputBus(), 1);
    EXPECT_EQ(child<QComboBox>(s, "comboBoxOutBus")->currentText(), "Ch 1-2");
    s.setCurrentOutputBus(1);
    EXPECT_EQ(changes.count(), 1);
}

TEST(FxStrip, LampOpensThePanelOrSwitchesTheReturnWithControl) {
    fxstrip s;
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    indicator *lamp = child<indicator>(s, "labelFxIndicator");
    QSignalSpy onOff(&s, &fxstrip::fxSetToOnOff);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/reverb_button-off.png"));
    EXPECT_FALSE(s.panel()->isVisible());

    // A plain click brings the panel up and switches nothing.
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(s.panel()->isVisible());
    EXPECT_EQ(onOff.count(), 0);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/reverb_button-off.png"));
    s.panel()->hide();

    // Control forwarded by the mixer: clicks switch the return on and off.
    s.contKeyPressed();
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/FX_button-on.png"));
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/FX_button-off.png"));
    EXPECT_EQ(ints(onOff), std::vector<int>({1, 0}));
    EXPECT_FALSE(s.panel()->isVisible());

    // Control released: back to opening the panel, the lamp as it was.
    s.contKeyReleased();
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_TRUE(s.panel()->isVisible());
    EXPECT_EQ(onOff.count(), 2);
    EXPECT_TRUE(shows(lamp, ":/resources2/parts/FX_button-off.png"));
}

TEST(FxStrip, FaderKnobSetsTheReturnLevel) {
    fxstrip s;
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    QSignalSpy reports(&s, &fxstrip::reportVolumeChanged);

    // Knob pixels on the 141-pixel track: a position between two steps
    // reads the step above it.
    struct Case {
        int position;
        float dB;
    };
    const Case cases[] = {{0, 6.0f},     {20, 0.0f},    {21, -0.5f},   {60, -12.0f},  {61, -13.0f},
                          {100, -36.0f}, {119, -60.0f}, {120, -60.0f}, {125, -120.0f}};
    for (const Case &c : cases) {
        s.volChangeEvent(c.position);
        EXPECT_EQ(s.mFaderDb, c.dB) << c.position;
    }
    ASSERT_EQ(reports.count(), int(std::size(cases)));
    for (int v : ints(reports)) EXPECT_EQ(v, 0);

    // Dragging the knob 12 pixels down from its place at 88 reads 100.
    faderTopVol *knob = child<faderTopVol>(s, "label_FaderTopVol");
    ASSERT_EQ(knob->y(), 88);
    reports.clear();
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(knob, QPoint(10, 22));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(10, 22));
    EXPECT_EQ(knob->y(), 100);
    EXPECT_EQ(s.mFaderDb, -36.0f);
    EXPECT_EQ(reports.count(), 1);

    // A press on the track moves the knob but leaves the level alone.
    const int before = reports.count();
    WidgetMixvolBase *track = child<WidgetMixvolBase>(s, "widgetVolBase");
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(15, 35));
    EXPECT_EQ(knob->y(), 20);
    EXPECT_EQ(s.mFaderDb, -36.0f);
    EXPECT_EQ(reports.count(), before);
}

TEST(FxStrip, RelaysThePanelWithItsOwnRecord) {
    fxstrip s;
    // Filled from the panel at construction.
    EXPECT_EQ(s.panelParam()->roomWide, 30.0);
    EXPECT_EQ(s.panelParam()->fixedValue, 20.0);
    EXPECT_EQ(s.panelParam()->combDelay[0], 5724);

    std::vector<tReverbPanelParam *> pointers;
    std::vector<float> erLevels;
    QObject::connect(&s, &fxstrip::reverbParamChanged, [&](tReverbPanelParam *p) {
        pointers.push_back(p);
        erLevels.push_back(p->erLevel);
    });
    child<QSlider>(*s.panel(), "ERLevel")->setValue(80);
    child<QSlider>(*s.panel(), "ERLevel")->setValue(20);
    ASSERT_EQ(pointers.size(), 2u);
    EXPECT_EQ(pointers[0], s.panelParam());
    EXPECT_EQ(pointers[1], s.panelParam());
    EXPECT_EQ(erLevels, std::vector<float>({0.8f, 0.2f}));

    // The reverb's default tables, as the mixer loads them at start.
    reverb rv;
    pointers.clear();
    s.setInitRefParams(rv.getReflectionParams());
    EXPECT_EQ(pointers.size(), 30u);
    tEarlyReflectionRow row = s.panelParam()->erRows[0];
    EXPECT_EQ(row.level, 0.67f);
    EXPECT_EQ(erRow_cutOff(row), 10500.0f);
    EXPECT_EQ(erRow_order(row), 91.0f);
    // The pick-ups are loaded after the last report and have no report of
    // their own: they travel with the next one.
    EXPECT_EQ(s.panelParam()->combPickup[0], 2809);
    child<QSlider>(*s.panel(), "ERLevel")->setValue(50);
    EXPECT_EQ(s.panelParam()->combPickup[0], 5724);

    // The stage switches, each with its state.
    s.panel()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(s.panel()));
    QSignalSpy er(&s, &fxstrip::ERclicked);
    QSignalSpy comb(&s, &fxstrip::CombFilterClicked);
    QSignalSpy apf(&s, &fxstrip::APFclicked);
    for (const char *box : {"checkBoxER", "checkBoxCombFilter", "checkBoxAPF", "checkBoxAPF"})
        QTest::mouseClick(child<QCheckBox>(*s.panel(), box), Qt::LeftButton, {}, QPoint(6, 8));
    ASSERT_EQ(er.count(), 1);
    EXPECT_TRUE(er.at(0).at(0).toBool());
    ASSERT_EQ(comb.count(), 1);
    EXPECT_TRUE(comb.at(0).at(0).toBool());
    ASSERT_EQ(apf.count(), 2);
    EXPECT_TRUE(apf.at(0).at(0).toBool());
    EXPECT_FALSE(apf.at(1).at(0).toBool());
}

TEST(FxStrip, FormAndMeterPlaces) {
    fxstrip s;
    EXPECT_EQ(s.size(), QSize(90, 535));
    EXPECT_EQ(child<QLabel>(s, "label")->text(), "EFFECT");
    EXPECT_EQ(child<indicator>(s, "labelFxIndicator")->geometry(), QRect(0, 161, 84, 31));
    WidgetMixvolBase *track = child<WidgetMixvolBase>(s, "widgetVolBase");
    EXPECT_EQ(track->geometry(), QRect(10, 317, 31, 141));
    EXPECT_EQ(track->palette().color(QPalette::Active, QPalette::Base), QColor(173, 173, 173));
    EXPECT_EQ(track->palette().color(QPalette::Disabled, QPalette::Base), QColor(240, 240, 240));
    EXPECT_EQ(track->mKnob, child<faderTopVol>(s, "label_FaderTopVol"));
    EXPECT_EQ(track->mKnob->mTravel, 141);
    EXPECT_EQ(track->mVolTable[12].pixel, 20);  // the table built for the placed track
    EXPECT_EQ(s.panel()->parent(), &s);
    EXPECT_TRUE(s.panel()->isWindow());

    QWidget *meter = child<meterGraphic>(s, "widgetMeter");
    QWidget *parts[] = {child<QWidget>(s, "widgetMeterL"), child<QWidget>(s, "widgetMeterR"),
                        child<QWidget>(s, "widgetOverL"), child<QWidget>(s, "widgetOverR")};
    const QRect places[] = {{0, 15, 10, 140}, {15, 15, 10, 140}, {0, 0, 10, 10}, {15, 0, 10, 10}};
    meter->setGeometry(0, 0, 5, 5);
    for (QWidget *p : parts) p->setGeometry(1, 1, 1, 1);
    s.redrawWindow();
    EXPECT_EQ(meter->geometry(), QRect(50, 297, 30, 160));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(parts[i]->geometry(), places[i]) << i;
}
