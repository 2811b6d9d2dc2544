// The reverb panel: its form, the record gathered from the controls, the
// reverb's default tables loaded into the controls, the room sliders and the
// room view's report, the ray animation and the impulse-response loading
// through a replaced file dialog.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "bytefields.h"
#include "dsp/imresponse.h"
#include "dsp/reverb.h"
#include "mixer/reverbpanel.h"
#include "mixer/widgetreverb.h"
#include "testutil.h"
#include "wavwriter.h"

namespace {

using sxtest::appendLE16;

template <class T>
T *child(const reverbPanel &p, const char *name) {
    T *w = p.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QString text(const reverbPanel &p, const char *label) {
    QLabel *l = child<QLabel>(p, label);
    return l ? l->text() : QString();
}

QString erName(const char *base, int row) {
    return row == 0 ? QString::fromLatin1(base) : QStringLiteral("%1_%2").arg(base).arg(row + 1);
}

// A record full of a pattern, so that fields the panel must not touch show.
tReverbPanelParam patterned() {
    tReverbPanelParam r;
    std::memset(&r, 0x5a, sizeof r);
    return r;
}

float fieldAt(const tEarlyReflectionRow &row, int position) {
    float v;
    std::memcpy(&v, reinterpret_cast<const char *>(&row) + 4 * position, 4);
    return v;
}

// A stereo 16-bit WAV of `frames` frames whose samples are (i + 1) and
// -(i + 1) steps of 1/32768.
std::vector<uint8_t> stereoWav(int frames) {
    std::vector<uint8_t> audio;
    for (int i = 0; i < frames; ++i) {
        appendLE16(audio, uint16_t(int16_t(i + 1)));
        appendLE16(audio, uint16_t(int16_t(-(i + 1))));
    }
    return sxtest::wavFile(48000, 16, 2, audio);
}

// What the replaced file dialog was asked and answers.
struct DialogSeam {
    static inline QString answer;
    static inline int calls = 0;
    static inline QWidget *parent = nullptr;
    static inline QString caption, dir, filter;

    static QString open(QWidget *p, const QString &c, const QString &d, const QString &f) {
        ++calls;
        parent = p;
        caption = c;
        dir = d;
        filter = f;
        return answer;
    }
    DialogSeam() {
        calls = 0;
        answer.clear();
        saved = reverbPanel::sGetOpenFileName;
        reverbPanel::sGetOpenFileName = &DialogSeam::open;
    }
    ~DialogSeam() { reverbPanel::sGetOpenFileName = saved; }
    reverbPanel::tOpenFileNameFunc saved;
};

bool raysAtSource(const widgetReverb &v) {
    for (int k = 0; k < kReverbRays; ++k)
        if (v.rayPos(k)[0] != float(v.sourcePos().x()) || v.rayPos(k)[1] != float(v.sourcePos().y())) return false;
    return true;
}

}  // namespace

TEST(ReverbPanelText, ReadersAndLabels) {
    struct IntCase {
        const char *text;
        int value;
    };
    for (const IntCase &c : std::vector<IntCase>{{"3200", 3200},
                                                 {"-5", -5},
                                                 {"abc", 0},
                                                 {"3.5", 0},
                                                 {"", 0},
                                                 {"12abc", 0},
                                                 {"2147483647", 2147483647},
                                                 {"2147483648", 0},
                                                 {"0x10", 0}})
        EXPECT_EQ(reverbPanel_readInt(QString::fromLatin1(c.text)), c.value) << c.text;

    struct FloatCase {
        const char *text;
        float value;
    };
    for (const FloatCase &c : std::vector<FloatCase>{{"12.5", 12.5f},
                                                     {"15", 15.0f},
                                                     {"-0.25", -0.25f},
                                                     {"abc", 0.0f},
                                                     {"", 0.0f},
                                                     {"1e50", 0.0f},
                                                     {"nan", 0.0f},
                                                     {"inf", 0.0f}})
        EXPECT_EQ(reverbPanel_readFloat(QString::fromLatin1(c.text)), c.value) << c.text;

    EXPECT_EQ(reverbPanel_levelText(67), "0.67");
    EXPECT_EQ(reverbPanel_levelText(20), "0.20");
    EXPECT_EQ(reverbPanel_levelText(100), "1.00");
    EXPECT_EQ(reverbPanel_tableText(0.2f), "0.2");
    EXPECT_EQ(reverbPanel_tableText(0.67f), "0.67");
    EXPECT_EQ(reverbPanel_tableText(10500.0f), "10500");
    // Single precision: in double, 0.24f × 100 would truncate to 23.
    EXPECT_EQ(reverbPanel_levelSlider(0.24f), 24);
    EXPECT_EQ(reverbPanel_levelSlider(0.12f), 12);
    EXPECT_EQ(reverbPanel_levelSlider(0.67f), 67);
    EXPECT_EQ(reverbPanel_levelSlider(std::nanf("")), 0);
}

TEST(ReverbPanel, FormAsBuilt) {
    reverbPanel p;
    EXPECT_EQ(p.windowTitle(), "Form");
    EXPECT_EQ(p.size(), QSize(830, 697));
    EXPECT_EQ(p.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly).size(), 141);
    EXPECT_EQ(p.roomView()->geometry(), QRect(30, 10, 287, 431));
    EXPECT_EQ(child<QSlider>(p, "verticalSliderLong")->orientation(), Qt::Vertical);
    EXPECT_EQ(child<QSlider>(p, "slideAPF")->minimum(), 10);
    EXPECT_EQ(child<QSlider>(p, "slideCutOffER_10")->geometry(), QRect(530, 649, 60, 19));
    EXPECT_EQ(child<QLabel>(p, "labelER_9")->text(), "ER9(SideL->R)");

    // The form's own wording until a slider moves; the distance and room
    // labels whatever the view holds.
    EXPECT_EQ(text(p, "labelLVER"), "0.8");
    EXPECT_EQ(text(p, "labelLVER_3"), "0.61");
    EXPECT_EQ(text(p, "labelDepth"), "5m");
    EXPECT_EQ(text(p, "labelBehind"), "10m");
    EXPECT_EQ(text(p, "labelWideMeter"), "80m");
    EXPECT_EQ(text(p, "labelLongMeter"), "80m");
    EXPECT_EQ(text(p, "labelCombPickupValue_1"), "2809");

    // The plan is sized from the sliders: 287 × 288 pixels, centred.
    EXPECT_EQ(p.roomView()->roomLeft(), 0.0f);
    EXPECT_EQ(p.roomView()->roomRight(), 287.0f);
    EXPECT_EQ(p.roomView()->roomBottom(), 71.5f);
    EXPECT_EQ(p.roomView()->roomTop(), 359.5f);
    EXPECT_FALSE(p.isRunning());
}

TEST(ReverbPanel, RecordGatheredFromTheControls) {
    reverbPanel p;
    tReverbPanelParam r = patterned();
    p.getPanelParam(&r);

    // The metres keep their starting values until a room slider moves,
    // although both room labels read 80m.
    EXPECT_EQ(r.roomWide, 30.0);
    EXPECT_EQ(r.roomLong, 60.0);
    EXPECT_EQ(r.fixedValue, 20.0);
    EXPECT_EQ(r.sourceDepth, double(0.4f * 120.0f));
    EXPECT_EQ(r.listenerBehind, double(0.5f * 120.0f));
    EXPECT_EQ(r.preDelay, 15.0);
    EXPECT_EQ(r.erTime, 150.0);
    EXPECT_EQ(r.density, 100.0);
    EXPECT_EQ(r.highDamp, 21.0);
    EXPECT_EQ(r.highDampInt, 21);
    EXPECT_EQ(r.apfHighDamp, 35);
    EXPECT_EQ(r.reverbTime, 3200.0);
    EXPECT_EQ(r.erLevel, 0.5f);
    EXPECT_EQ(r.combLevel, 0.35f);
    EXPECT_EQ(r.apfLevel, 0.55f);
    const int delays[] = {5724, 5139, 4910, 4129, 3625, 2824};
    const int pickups[] = {2809, 1330, 2153, 1753, 549, 0};
    for (int k = 0; k < kReverbCombFilters; ++k) {
        EXPECT_EQ(r.combDelay[k], delays[k]) << k;
        EXPECT_EQ(r.combPickup[k], pickups[k]) << k;
    }
    EXPECT_EQ(r.apfDelay[0], 857);
    EXPECT_EQ(r.apfDelay[1], 1044);
    EXPECT_EQ(r.irBuffer, nullptr);
    EXPECT_FALSE(r.useIr);
    // Level, cut-off, order by position; the rest of each row untouched.
    const tReverbPanelParam pattern = patterned();
    EXPECT_EQ(fieldAt(r.erRows[0], 0), 0.8f);
    EXPECT_EQ(fieldAt(r.erRows[0], 1), 12000.0f);
    EXPECT_EQ(fieldAt(r.erRows[0], 2), 15.0f);
    EXPECT_EQ(fieldAt(r.erRows[2], 0), 0.61f);
    EXPECT_EQ(fieldAt(r.erRows[9], 1), 7700.0f);
    EXPECT_EQ(fieldAt(r.erRows[9], 2), 51.0f);
    for (int k = 0; k < kReverbEarlyReflections; ++k)
        EXPECT_EQ(
            std::memcmp(reinterpret_cast<const char *>(&r.erRows[k]) + 12,
                        reinterpret_cast<const char *>(&pattern.erRows[k]) + 12, sizeof(tEarlyReflectionRow) - 12),
            0)
            << k;

    // Each field lands in its own member; unreadable text reads as 0.
    child<QLineEdit>(p, "lineEditPreDelay")->setText("12.5");
    child<QLineEdit>(p, "lineEdit_ER")->setText("151");
    child<QLineEdit>(p, "lineEdit_Density")->setText("102");
    child<QLineEdit>(p, "lineEdit_HDump")->setText("23");
    child<QLineEdit>(p, "lineEdit_HDump_APF")->setText("37");
    child<QLineEdit>(p, "lineEdit_RevTime")->setText("3.5");
    child<QCheckBox>(p, "checkBoxUseIR")->setChecked(true);
    p.getPanelParam(&r);
    EXPECT_EQ(r.preDelay, 12.5);
    EXPECT_EQ(r.erTime, 151.0);
    EXPECT_EQ(r.density, 102.0);
    EXPECT_EQ(r.highDamp, 23.0);
    EXPECT_EQ(r.highDampInt, 23);
    EXPECT_EQ(r.apfHighDamp, 37);
    EXPECT_EQ(r.reverbTime, 0.0);
    EXPECT_TRUE(r.useIr);
    child<QLineEdit>(p, "lineEdit_RevTime")->setText("abc");
    child<QLineEdit>(p, "lineEditPreDelay")->setText("abc");
    p.getPanelParam(&r);
    EXPECT_EQ(r.reverbTime, 0.0);
    EXPECT_EQ(r.preDelay, 0.0);
}

TEST(ReverbPanel, SlidersRewriteTheirLabelsAndReport) {
    reverbPanel p;
    QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);
    struct Case {
        const char *slider, *label;
        int value;
        const char *shown;
    };
    const Case cases[] = {
        {"slideLvER", "labelLVER", 67, "0.67"},
        {"slideLvER_4", "labelLVER_4", 20, "0.20"},
        {"slideCutOffER_2", "labelCutOffER_2", 6204, "6204"},
        {"slideOrderER_10", "labelOrderER_10", 111, "111"},
        {"ERLevel", "labelERLevel", 80, "80"},
        {"CombLevel", "labelCombLevel", 5, "5"},
        {"APFLevel", "labelARLevel", 0, "0"},
        {"CombDelay_1", "labelCombDelayValue_1", 10000, "10000"},
        {"CombDelay_6", "labelCombDelayValue_6", 1, "1"},
        {"slideAPF_2", "labelAPFDelay_2", 2500, "2500"},
    };
    int expected = 0;
    for (const Case &c : cases) {
        child<QSlider>(p, c.slider)->setValue(c.value);
        EXPECT_EQ(text(p, c.label), c.shown) << c.slider;
        EXPECT_EQ(reports.count(), ++expected) << c.slider;
    }
    tReverbPanelParam r = patterned();
    p.getPanelParam(&r);
    EXPECT_EQ(r.erRows[0].level, 0.67f);
    EXPECT_EQ(fieldAt(r.erRows[1], 1), 6204.0f);
    EXPECT_EQ(fieldAt(r.erRows[9], 2), 111.0f);
    EXPECT_EQ(r.erLevel, 0.8f);
    EXPECT_EQ(r.combLevel, 0.05f);
    EXPECT_EQ(r.apfLevel, 0.0f);
    EXPECT_EQ(r.combDelay[0], 10000);
    EXPECT_EQ(r.apfDelay[1], 2500);

    // A pick-up slider has no slot: no label, no report, but the next
    // record carries it.
    child<QSlider>(p, "CombPickup_2")->setValue(100);
    EXPECT_EQ(text(p, "labelCombPickupValue_2"), "1330");
    EXPECT_EQ(reports.count(), expected);
    p.getPanelParam(&r);
    EXPECT_EQ(r.combPickup[1], 100);
}

TEST(ReverbPanel, DefaultTablesLoadedIntoTheControls) {
    reverb rv;
    reverbPanel p;
    QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);
    p.setRefParams(rv.getReflectionParams());

    // Every early-reflection slider moves (30 reports); the comb and
    // all-pass delays already hold the table's values.
    EXPECT_EQ(reports.count(), 30);
    const char *levels[] = {"0.67", "0.24", "0.24", "0.20", "0.20", "0.10", "0.10", "0.12", "0.10", "0.10"};
    const int levelSlider[] = {67, 24, 24, 20, 20, 10, 10, 12, 10, 10};
    const int cutOffs[] = {10500, 6204, 6204, 2939, 2939, 1959, 2000, 1306, 2612, 2605};
    const int orders[] = {91, 91, 93, 71, 111, 111, 111, 111, 91, 111};
    for (int k = 0; k < kReverbEarlyReflections; ++k) {
        EXPECT_EQ(p.findChild<QLabel *>(erName("labelLVER", k))->text(), levels[k]) << k;
        EXPECT_EQ(p.findChild<QSlider *>(erName("slideLvER", k))->value(), levelSlider[k]) << k;
        EXPECT_EQ(p.findChild<QLabel *>(erName("labelCutOffER", k))->text(), QString::number(cutOffs[k])) << k;
        EXPECT_EQ(p.findChild<QSlider *>(erName("slideCutOffER", k))->value(), cutOffs[k]) << k;
        EXPECT_EQ(p.findChild<QLabel *>(erName("labelOrderER", k))->text(), QString::number(orders[k])) << k;
        EXPECT_EQ(p.findChild<QSlider *>(erName("slideOrderER", k))->value(), orders[k]) << k;
    }
    const int delays[] = {5724, 5139, 4910, 4129, 3625, 2824};
    for (int k = 0; k < kReverbCombFilters; ++k) {
        const QString n = QString::number(k + 1);
        EXPECT_EQ(p.findChild<QLabel *>("labelCombDelayValue_" + n)->text(), QString::number(delays[k]));
        EXPECT_EQ(p.findChild<QSlider *>("CombDelay_" + n)->value(), delays[k]);
        EXPECT_EQ(p.findChild<QLabel *>("labelCombPickupValue_" + n)->text(), QString::number(delays[k]));
        EXPECT_EQ(p.findChild<QSlider *>("CombPickup_" + n)->value(), delays[k]);
    }
    EXPECT_EQ(text(p, "labelAPFDelay"), "857");
    EXPECT_EQ(text(p, "labelAPFDelay_2"), "1044");

    // Read back, every value sits where the reverb's tables keep it.
    tReverbPanelParam r = patterned();
    p.getPanelParam(&r);
    const tEarlyReflectionRow *er = rv.getReflectionParams()->earlyReflections;
    for (int k = 0; k < kReverbEarlyReflections; ++k) {
        EXPECT_EQ(fieldAt(r.erRows[k], 0), float(levelSlider[k]) / 100.0f) << k;
        EXPECT_EQ(fieldAt(r.erRows[k], 1), float(cutOffs[k])) << k;
        EXPECT_EQ(fieldAt(r.erRows[k], 2), float(orders[k])) << k;
        EXPECT_EQ(fieldAt(r.erRows[k], 1), fieldAt(er[k], 1)) << k;
        EXPECT_EQ(fieldAt(r.erRows[k], 2), fieldAt(er[k], 2)) << k;
    }
    for (int k = 0; k < kReverbCombFilters; ++k) {
        EXPECT_EQ(r.combDelay[k], delays[k]);
        EXPECT_EQ(r.combPickup[k], delays[k]);
    }
    EXPECT_EQ(r.apfDelay[0], 857);
    EXPECT_EQ(r.apfDelay[1], 1044);

    // Loading the same tables again moves nothing and reports nothing.
    p.setRefParams(rv.getReflectionParams());
    EXPECT_EQ(reports.count(), 30);
    EXPECT_EQ(text(p, "labelLVER_4"), "0.2");
}

TEST(ReverbPanel, RoomSlidersSetMetresLabelsAndPlan) {
    reverbPanel p;
    QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);
    QSlider *wide = child<QSlider>(p, "horizontalSliderWide");
    QSlider *len = child<QSlider>(p, "verticalSliderLong");
    struct Case {
        QSlider *slider;
        int value;
        float metres;
        const char *label;
        float lo, hi;  // walls of the plan
    };
    const Case cases[] = {
        {wide, 50, 40.0f, "40m", 72.0f, 215.0f}, {wide, 100, 80.0f, "80m", 0.0f, 287.0f},
        {wide, 2, 1.6f, "1m", 141.0f, 146.0f},   {len, 2, 2.4f, "2m", 211.5f, 219.5f},
        {len, 67, 80.4f, "80m", 71.5f, 359.5f},  {len, 100, 120.0f, "120m", 0.0f, 431.0f},
    };
    int expected = 0;
    for (const Case &c : cases) {
        c.slider->setValue(c.value);
        const bool isWide = c.slider == wide;
        EXPECT_EQ(reports.count(), ++expected) << c.value;
        EXPECT_EQ(isWide ? p.roomWideM() : p.roomLongM(), c.metres) << c.value;
        EXPECT_EQ(text(p, isWide ? "labelWideMeter" : "labelLongMeter"), c.label) << c.value;
        EXPECT_EQ(isWide ? p.roomView()->roomLeft() : p.roomView()->roomBottom(), c.lo) << c.value;
        EXPECT_EQ(isWide ? p.roomView()->roomRight() : p.roomView()->roomTop(), c.hi) << c.value;
        EXPECT_TRUE(raysAtSource(*p.roomView())) << c.value;
    }
    tReverbPanelParam r = patterned();
    p.getPanelParam(&r);
    EXPECT_EQ(r.roomWide, double(1.6f));
    EXPECT_EQ(r.roomLong, 120.0);
}

TEST(ReverbPanel, DraggedPointsSetPreDelayAndDistances) {
    // Before the Long slider moves the length is 60 m: dragging the
    // listening point of the shown panel to y' = 100 (the room view then
    // measures against the whole 431-pixel view) puts it 27.8 m behind,
    // the source stays 48 m deep, and the pre-delay 60 - 48 - 27.8 goes
    // negative.
    {
        reverbPanel p;
        p.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
        QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);
        widgetReverb *v = p.roomView();
        const QPoint from(int(std::lround(v->listenerPos().x())), 431 - int(std::lround(v->listenerPos().y())));
        QTest::mousePress(v, Qt::LeftButton, {}, from);
        QTest::mouseMove(v, QPoint(from.x(), 431 - 100));
        QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(from.x(), 431 - 100));
        ASSERT_EQ(reports.count(), 1);
        const double behind = double(100.0f / 431.0f * 120.0f);
        EXPECT_EQ(child<QLineEdit>(p, "lineEditPreDelay")->text(), QString::number(60.0 - 48.0 - behind, 'f', 1));
        EXPECT_EQ(child<QLineEdit>(p, "lineEditPreDelay")->text(), "-15.8");
        EXPECT_EQ(text(p, "labelBehind"), "27.8m");
        EXPECT_EQ(text(p, "labelDepth"), "48.0m");
        tReverbPanelParam r = patterned();
        p.getPanelParam(&r);
        EXPECT_EQ(r.listenerBehind, behind);
        EXPECT_EQ(r.sourceDepth, 48.0);
        EXPECT_EQ(r.preDelay, double(-15.8f));
    }
    // A 120 m room filling the view: the source dragged to y' = 300 lies
    // 131/431 of 120 m below the far wall.
    {
        reverbPanel p;
        p.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
        child<QSlider>(p, "verticalSliderLong")->setValue(100);
        QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);
        widgetReverb *v = p.roomView();
        const QPoint from(int(std::lround(v->sourcePos().x())), 431 - int(std::lround(v->sourcePos().y())));
        QTest::mousePress(v, Qt::LeftButton, {}, from);
        QTest::mouseMove(v, QPoint(from.x(), 431 - 300));
        QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(from.x(), 431 - 300));
        ASSERT_EQ(reports.count(), 1);
        EXPECT_EQ(child<QLineEdit>(p, "lineEditPreDelay")->text(), "23.5");
        EXPECT_EQ(text(p, "labelDepth"), "36.5m");
        EXPECT_EQ(text(p, "labelBehind"), "60.0m");
    }
}

TEST(ReverbPanel, FieldsAndStageSwitchesReport) {
    reverbPanel p;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    QSignalSpy reports(&p, &reverbPanel::reverbParamChanged);

    struct Case {
        const char *field;
        bool reports;
    };
    const Case cases[] = {{"lineEditPreDelay", true},   {"lineEdit_RevTime", true}, {"lineEdit_HDump", true},
                          {"lineEdit_HDump_APF", true}, {"lineEdit_ER", false},     {"lineEdit_Density", false}};
    for (const Case &c : cases) {
        QLineEdit *f = child<QLineEdit>(p, c.field);
        f->setFocus();
        const int before = reports.count();
        QTest::keyClick(f, Qt::Key_Return);
        EXPECT_EQ(reports.count(), before + (c.reports ? 1 : 0)) << c.field;
    }

    reports.clear();
    QSignalSpy er(&p, &reverbPanel::ERClicked);
    QSignalSpy comb(&p, &reverbPanel::CombFilterClicked);
    QSignalSpy apf(&p, &reverbPanel::APFClicked);
    // On the box itself, not beyond the end of its text.
    auto click = [&](const char *box) {
        QTest::mouseClick(child<QCheckBox>(p, box), Qt::LeftButton, {}, QPoint(6, 8));
    };
    click("checkBoxER");
    click("checkBoxER");
    click("checkBoxCombFilter");
    click("checkBoxAPF");
    click("checkBoxUseIR");
    ASSERT_EQ(er.count(), 2);
    EXPECT_TRUE(er.at(0).at(0).toBool());
    EXPECT_FALSE(er.at(1).at(0).toBool());
    ASSERT_EQ(comb.count(), 1);
    EXPECT_TRUE(comb.at(0).at(0).toBool());
    ASSERT_EQ(apf.count(), 1);
    EXPECT_TRUE(apf.at(0).at(0).toBool());
    EXPECT_EQ(reports.count(), 0);
    tReverbPanelParam r = patterned();
    p.getPanelParam(&r);
    EXPECT_TRUE(r.useIr);
}

TEST(ReverbPanel, AnimationRunsOnlyBetweenStartAndStop) {
    reverbPanel p;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    widgetReverb *v = p.roomView();
    QPushButton *start = child<QPushButton>(p, "pushButtonStart");
    QPushButton *stop = child<QPushButton>(p, "pushButtonStop");

    // Stopped before the first tick: nothing moves. (The rays are where the
    // panel's sizing of the room put them, not yet at the source's place in
    // the shown view.)
    const QPointF first(v->rayPos(0)[0], v->rayPos(0)[1]);
    QTest::mouseClick(start, Qt::LeftButton);
    QTest::mouseClick(stop, Qt::LeftButton);
    QTest::qWait(250);
    EXPECT_EQ(v->rayCountdown(), kReverbRayCycle);
    EXPECT_EQ(QPointF(v->rayPos(0)[0], v->rayPos(0)[1]), first);

    // One step per 100 ms tick while running.
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_TRUE(p.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(v->rayCountdown() <= kReverbRayCycle - 2, 2000);
    QTest::mouseClick(stop, Qt::LeftButton);
    const int left = v->rayCountdown();
    const float x = v->rayPos(0)[0];
    EXPECT_NE(x, float(first.x()));
    QTest::qWait(250);
    EXPECT_EQ(v->rayCountdown(), left);
    EXPECT_EQ(v->rayPos(0)[0], x);

    // Reset puts the rays back at the source.
    QTest::mouseClick(child<QPushButton>(p, "pushButtonPropReset"), Qt::LeftButton);
    EXPECT_TRUE(raysAtSource(*v));
    EXPECT_EQ(v->rayCountdown(), kReverbRayCycle);
}

TEST(ReverbPanel, LoadImpulseResponse) {
    DialogSeam seam;
    reverbPanel p;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    QPushButton *load = child<QPushButton>(p, "pushButtonLoadIR");
    // What the record holds when the report arrives: loading comes first.
    std::vector<double *> atReport;
    QObject::connect(&p, &reverbPanel::reverbParamChanged, [&] {
        tReverbPanelParam r = patterned();
        p.getPanelParam(&r);
        atReport.push_back(r.irBuffer);
    });

    // Cancelled: still one report, still no buffer.
    QTest::mouseClick(load, Qt::LeftButton);
    EXPECT_EQ(seam.calls, 1);
    EXPECT_EQ(seam.parent, &p);
    EXPECT_EQ(seam.caption, "Open IR-Audio File");
    EXPECT_EQ(seam.filter, "Supported files (*.wav);;All files (*.*)");
    EXPECT_EQ(seam.dir, QDir::currentPath());
    ASSERT_EQ(atReport.size(), 1u);
    EXPECT_EQ(atReport[0], nullptr);
    EXPECT_EQ(p.irBuffer(), nullptr);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString wav = dir.filePath("ir.wav");
    ASSERT_TRUE(sxtest::writeAll(wav.toStdString(), stereoWav(100)));
    seam.answer = wav;
    QTest::mouseClick(load, Qt::LeftButton);
    ASSERT_EQ(atReport.size(), 2u);
    ASSERT_NE(atReport[1], nullptr);
    double *buf = p.irBuffer();
    EXPECT_EQ(atReport[1], buf);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(buf[2 * i], (i + 1) / 32768.0) << i;
        ASSERT_EQ(buf[2 * i + 1], -(i + 1) / 32768.0) << i;
    }
    for (int i = 100; i < kImResponseFrames; ++i) ASSERT_EQ(buf[2 * i], 0.0) << i;

    // An unreadable file keeps what the buffer held; the panel reports as usual.
    seam.answer = dir.filePath("missing.wav");
    QTest::mouseClick(load, Qt::LeftButton);
    ASSERT_EQ(atReport.size(), 3u);
    EXPECT_EQ(p.irBuffer(), buf);
    EXPECT_EQ(buf[0], 1 / 32768.0);
}
