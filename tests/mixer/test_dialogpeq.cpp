// The parametric equaliser window: its arithmetic (clamps, dial pointer,
// DSD purity, pictures, axis frequencies), then the window bound to a record
// as the main window binds it, driven through its fields, lamps, switches,
// knob and graph.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

#include "engine/enginestate.h"
#include "mixer/dialogpeq.h"
#include "mixer/eqcontrols.h"
#include "mixer/widgeteq.h"
#include "widgets/indicators.h"
#include "widgets/knobs.h"
#include "widgets/valuebars.h"

namespace {

const QString kParts = QStringLiteral(":/resources2/parts/");

TEST(PeqArithmetic, ClampsAndTypedNumbers) {
    const struct {
        double in, freq, gain, q;
    } rows[] = {
        {100000, 80000, 18, 16}, {5, 20, 5, 5},   {1000.7, 1000.7, 18, 16},
        {-3, 20, -3, 0.1},       {0, 20, 0, 0.1}, {0.75, 20, 0.75, 0.75},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(DialogPeq::checkRangeEqFreq(r.in), r.freq) << r.in;
        EXPECT_EQ(DialogPeq::checkRangeEqGain(r.in), r.gain) << r.in;
        EXPECT_EQ(DialogPeq::checkRangeEqQ(r.in), r.q) << r.in;
    }
    const struct {
        const char *text;
        double value;
    } numbers[] = {{"12.5", 12.5}, {"-3", -3}, {"", 0},    {"-", 0},   {".", 0},
                   {"1.2.3", 0},   {"--5", 0}, {"nan", 0}, {"inf", 0}, {"1000.7", 1000.7}};
    for (const auto &n : numbers) EXPECT_EQ(peq_readNumber(QString::fromLatin1(n.text)), n.value) << n.text;
    // Too many digits for a double is not a number either.
    EXPECT_EQ(peq_readNumber(QString(400, QLatin1Char('9'))), 0.0);
}

TEST(PeqArithmetic, DialPointer) {
    const struct {
        double dB;
        QPoint at;
    } rows[] = {{0, {26, 8}}, {18, {39, 39}}, {-18, {13, 39}}, {12, {44, 26}}, {-12, {8, 26}}};
    for (const auto &r : rows) EXPECT_EQ(peq_dialPointerPos(r.dB), r.at) << r.dB;
}

TEST(PeqArithmetic, DsdPurity) {
    tPEQ peq;
    double vol = 0.0;
    EXPECT_TRUE(peq_dsdPure(peq, &vol));
    EXPECT_FALSE(peq_dsdPure(peq, nullptr));
    vol = -0.1;
    EXPECT_FALSE(peq_dsdPure(peq, &vol));
    vol = 0.0;
    for (int b = 0; b < kEqBands; ++b) {
        peq.band[b].mBandOn = true;
        EXPECT_FALSE(peq_dsdPure(peq, &vol)) << b;
        peq.band[b].mBandOn = false;
    }
    // The equaliser's switch is not part of the test.
    bool on = true;
    peq.allOn = &on;
    EXPECT_TRUE(peq_dsdPure(peq, &vol));
}

TEST(PeqArithmetic, PicturesStylesAndAxis) {
    EXPECT_EQ(peq_areaStyle(true),
              "background-image: url(:/resources2/parts/Area_on.png);\n"
              "border-image: url(:/resources2/parts/Area_on.png);");
    EXPECT_EQ(peq_areaStyle(false),
              "background-image: url(:/resources2/parts/Area_off.png);\n"
              "border-image: url(:/resources2/parts/Area_off.png);");
    EXPECT_EQ(peq_onOffPicture(true, true), kParts + "button-ON.png");
    EXPECT_EQ(peq_onOffPicture(false, true), kParts + "button-ON_disable.png");
    EXPECT_EQ(peq_onOffPicture(true, false), kParts + "button-OFF_disable.png");
    EXPECT_EQ(peq_typePicture("TYPE-LF", true, true), kParts + "TYPE-LF_on.png");
    EXPECT_EQ(peq_typePicture("TYPE-Peak", false, false), kParts + "TYPE-Peak_off_disable.png");

    // 20 Hz at the left, half the rate − 1 at the right, the geometric mean
    // in the middle.
    const double top = std::log10(22050.0), ratio = 1.3010299956639813 / top;
    EXPECT_EQ(peq_freqAtPosition(0, 600, top, ratio, 44100), 20);
    EXPECT_EQ(peq_freqAtPosition(600, 600, top, ratio, 44100), 22049);
    EXPECT_EQ(peq_freqAtPosition(300, 600, top, ratio, 44100), static_cast<int>(std::sqrt(20.0 * 22050.0) + 0.5));
    EXPECT_EQ(peq_freqAtPosition(10, 0, top, ratio, 44100), 0);
}

// ---- The window ------------------------------------------------------------------

// Compared premultiplied, the form a label's pixmap holds: going the other
// way would round half-transparent pixels apart.
bool shows(const QLabel *label, const QString &path) {
    const QImage want = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return !want.isNull() && label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied) == want;
}

class PeqWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // The master record as the main window makes it: EQ1..EQ4 at 100,
        // 400, 1000 and 4000 Hz, every band off, total 0 dB.
        const double freq[kEqBands] = {4000, 1000, 400, 100};  // record bands 0..3
        for (int b = 0; b < kEqBands; ++b) {
            peq.band[b].setupParam(0.0, freq[b], 0.7, 44100.0, kEqPeak);
        }
        peq.allOn = &dlg.mAllEqOn;
        dlg.mTrackId = 1023;
        bind(44100);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.refresh();
    }
    void bind(int rate) {
        dlg.sendPeqParam(&peq, rate, &mainVolume);
        dlg.setEqParamOfWidgetEq();
        dlg.setEqParamOfDialogEq();
    }
    template <class T>
    T *find(const char *name) {
        T *w = dlg.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    widgetEqParamText *field(const char *kind, int eq) {
        return find<widgetEqParamText>(QStringLiteral("textEdit%1%2").arg(kind).arg(eq).toLatin1().constData());
    }
    // Types text into a field as a user would and confirms it with Return.
    void enter(widgetEqParamText *f, const QString &text) {
        f->selectAll();
        f->del();
        QTest::keyClicks(f, text);
        QTest::keyClick(f, Qt::Key_Return);
    }
    void pressOnOff(int eq) {
        QTest::mousePress(find<eqOnOffButton>(QStringLiteral("labelEq%1OnOff").arg(eq).toLatin1().constData()),
                          Qt::LeftButton, {}, QPoint(5, 5));
    }
    void pressLamp() { QTest::mousePress(find<eqIndicator>("labelEQOnOff"), Qt::LeftButton, {}, QPoint(5, 5)); }
    widgetEq *graph() { return find<widgetEq>("widgetEQ"); }

    tPEQ peq;
    double mainVolume = 0.0;
    DialogPeq dlg;
};

TEST_F(PeqWindow, BindingFillsEveryControl) {
    EXPECT_EQ(dlg.boundRecord(), &peq);
    EXPECT_DOUBLE_EQ(dlg.logFreqTop(), std::log10(22050.0));
    EXPECT_EQ(field("Freq", 1)->text(), "100");  // EQ1 is record band 3
    EXPECT_EQ(field("Freq", 4)->text(), "4000");
    EXPECT_EQ(field("Gain", 2)->text(), "0.0");
    EXPECT_EQ(field("Q", 3)->text(), "0.7");
    EXPECT_EQ(find<widgetEqParamText>("textEditEqGain")->text(), "0.0");
    EXPECT_EQ(graph()->mBandPoint[0].freq, 100.0);
    EXPECT_EQ(graph()->mBandPoint[3].freq, 4000.0);
    EXPECT_EQ(find<WidgetQbar>("widget_Q2")->value(), 0.7);
    EXPECT_TRUE(peq.band[3].mShelvLo);
    EXPECT_FALSE(peq.band[0].mShelvLo);  // EQ4's shelf is the high one
    EXPECT_EQ(find<QLabel>("label_EqTotalGainTop")->pos(), QPoint(26, 8));
    EXPECT_TRUE(shows(find<QLabel>("labelEq1OnOff"), kParts + "button-OFF_disable.png"));
    EXPECT_EQ(dlg.windowTitle(), "Parametric Equalizer");
    EXPECT_EQ(dlg.size(), QSize(800, 600));
    EXPECT_EQ(graph()->geometry(), QRect(120, 10, 670, 260));

    // At 192 kHz the frequency axis stops at 40 kHz.
    dlg.sendPeqParam(&peq, 192000, &mainVolume);
    EXPECT_DOUBLE_EQ(dlg.logFreqTop(), 4.6020599913279625);
    EXPECT_DOUBLE_EQ(dlg.logFreqRatio(), 1.3010299956639813 / 4.6020599913279625);
}

TEST_F(PeqWindow, TypedValuesAreClampedAndShown) {
    const struct {
        const char *kind;
        int eq;
        const char *typed;
        double stored;
        const char *shown;
    } rows[] = {
        {"Freq", 1, "100000", 20000, "20000"},  // 44.1 kHz: the band limit, not 80 kHz
        {"Freq", 2, "5", 20, "20"},
        {"Freq", 3, "1000.7", 1000.7, "1001"},
        {"Freq", 4, "-", 20, "20"},
        {"Gain", 1, "25", 18, "18.0"},
        {"Gain", 2, "", 0, "0.0"},
        {"Gain", 4, "-7.25", -7.2, "-7.2"},  // the confirmation cuts the fraction
        {"Q", 1, "0.75", 0.7, "0.7"},
        {"Q", 2, "20", 16, "16.0"},
        {"Q", 3, "0.05", 0.1, "0.1"},
        {"Q", 4, "99999999999", 16, "16.0"},
    };
    for (const auto &r : rows) {
        enter(field(r.kind, r.eq), QString::fromLatin1(r.typed));
        const peakEq &b = peq.band[kEqBands - r.eq];
        const double stored = std::string(r.kind) == "Freq" ? b.mFreq : std::string(r.kind) == "Gain" ? b.mGain : b.mQ;
        EXPECT_DOUBLE_EQ(stored, r.stored) << r.kind << r.eq << " " << r.typed;
        EXPECT_EQ(field(r.kind, r.eq)->text(), r.shown) << r.kind << r.eq << " " << r.typed;
    }
    // The Q bars follow the Q fields; the graph points follow the bands.
    EXPECT_EQ(find<WidgetQbar>("widget_Q1")->value(), 0.7);
    EXPECT_EQ(find<WidgetQbar>("widget_Q4")->value(), 16.0);
    EXPECT_DOUBLE_EQ(graph()->mBandPoint[2].freq, 1000.7);
    EXPECT_EQ(graph()->mBandPoint[0].gain, 18.0);
    // The band took the values at once: its response at its centre is its gain.
    EXPECT_NEAR(peq.band[3].calcDBatFreq(44100.0, 20000.0), 18.0, 1e-6);
    EXPECT_NEAR(graph()->mCurve[0][kEqCurvePoints - 1].dB, 0.0, 1e-12);  // 39.9 kHz: above half the rate

    // At 192 kHz a typed frequency stops at 44 kHz; the band stays below
    // half of every rate, where its filter is stable.
    bind(192000);
    enter(field("Freq", 4), "100000");
    EXPECT_EQ(peq.band[0].mFreq, 44000.0);
    EXPECT_EQ(field("Freq", 4)->text(), "44000");

    // A Q bar click takes the same road.
    QTest::mouseClick(find<WidgetQbar>("widget_Q2"), Qt::LeftButton, {}, QPoint(100, 7));
    EXPECT_EQ(peq.band[2].mQ, 16.0);
    EXPECT_EQ(field("Q", 2)->text(), "16.0");
}

TEST_F(PeqWindow, LeavingAFieldAppliesIt) {
    widgetEqParamText *gain = field("Gain", 3);
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    gain->setFocus();
    gain->setText("4.56");
    field("Freq", 4)->setFocus();  // focus moves on: the gain field finishes
    EXPECT_DOUBLE_EQ(peq.band[1].mGain, 4.5);
    EXPECT_EQ(gain->text(), "4.5");
}

TEST_F(PeqWindow, UnboundWindowIgnoresEntries) {
    DialogPeq lone;
    lone.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lone));
    auto *f = lone.findChild<widgetEqParamText *>("textEditFreq1");
    f->setText("500");
    QTest::keyClick(f, Qt::Key_Return);
    EXPECT_EQ(f->text(), "500");
    QTest::mousePress(lone.findChild<eqOnOffButton *>("labelEq2OnOff"), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(lone.findChild<eqtypesw *>("labelEq4TypeLF"), Qt::LeftButton, {}, QPoint(5, 5));
    lone.refresh();
    lone.setEqTotalGain(3.0);
    EXPECT_EQ(lone.boundRecord(), nullptr);
}

TEST_F(PeqWindow, TotalGainKnobFieldAndDial) {
    auto *text = find<widgetEqParamText>("textEditEqGain");
    auto *pointer = find<QLabel>("label_EqTotalGainTop");

    dlg.setEqTotalGain(-6.0);
    EXPECT_EQ(peq.totalGainDb, -6.0);
    EXPECT_NEAR(peq.totalGainLin, 0.501, 0.0005);
    EXPECT_EQ(text->text(), "-6.0");
    EXPECT_EQ(pointer->pos(), peq_dialPointerPos(-6.0));

    text->setText("25");
    emit text->editingFinished();
    EXPECT_EQ(peq.totalGainDb, 18.0);
    EXPECT_EQ(text->text(), "18.0");
    EXPECT_EQ(pointer->pos(), QPoint(39, 39));
    EXPECT_EQ(pointer->size(), QSize(11, 11));

    // A drag on the knob: one step per pixel upwards from 0 dB.
    auto *knob = find<widget_knob>("widgetEqTotalGainBase");
    text->setText("0");
    emit text->editingFinished();
    ASSERT_EQ(knob->step(), 175);
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(30, 40));
    QTest::mouseMove(knob, QPoint(30, 30));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_EQ(text->text(), QString::number(knob->getValueDB(), 'f', 1));
    EXPECT_EQ(peq.totalGainDb, knob->getValueDB());
    EXPECT_GT(peq.totalGainDb, 0.5);
    EXPECT_DOUBLE_EQ(peq.totalGainLin, std::pow(10.0, peq.totalGainDb / 20.0));

    // A loaded project's gain is taken as it is.
    dlg.setEqTotalGain(25.0);
    EXPECT_EQ(peq.totalGainDb, 25.0);
    EXPECT_EQ(text->text(), "25.0");
}

TEST_F(PeqWindow, OnSwitchAndBandDisplays) {
    QSignalSpy spy(&dlg, &DialogPeq::selectAllEqOnOff);
    pressOnOff(2);  // EQ2 on while the switch is off
    ASSERT_TRUE(peq.band[2].mBandOn);
    EXPECT_TRUE(shows(find<QLabel>("labelEq2OnOff"), kParts + "button-ON_disable.png"));
    EXPECT_EQ(field("Freq", 2)->styleSheet(), peq_areaStyle(false));
    EXPECT_FALSE(find<WidgetQbar>("widget_Q2")->mActive);
    EXPECT_FALSE(graph()->mCurveShown[1]);
    EXPECT_FALSE(graph()->mEqOn);
    EXPECT_TRUE(shows(find<QLabel>("label_EqTotalGainBack"), kParts + "Dial_off.png"));

    pressLamp();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
    EXPECT_EQ(spy.at(0).at(1).toInt(), 1023);
    EXPECT_TRUE(dlg.mAllEqOn);
    EXPECT_TRUE(shows(find<QLabel>("labelEq2OnOff"), kParts + "button-ON.png"));
    EXPECT_TRUE(shows(find<QLabel>("labelEq1OnOff"), kParts + "button-OFF_disable.png"));
    EXPECT_EQ(field("Gain", 2)->styleSheet(), peq_areaStyle(true));
    EXPECT_EQ(field("Gain", 1)->styleSheet(), peq_areaStyle(false));
    EXPECT_TRUE(find<WidgetQbar>("widget_Q2")->mActive);
    EXPECT_TRUE(graph()->mCurveShown[1] && graph()->mPointLit[1] && graph()->mEqOn);
    EXPECT_FALSE(graph()->mCurveShown[0]);
    EXPECT_TRUE(shows(find<QLabel>("label_EqTotalGainBack"), kParts + "Dial_on.png"));
    EXPECT_EQ(find<widgetEqParamText>("textEditEqGain")->styleSheet(), peq_areaStyle(true));
    EXPECT_TRUE(shows(find<QLabel>("labelEQ1Type"), kParts + "TYPE-Peak_on_disable.png"));

    // Off again: curves hidden, points keep their lit flags but draw unlit.
    pressLamp();
    EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
    EXPECT_FALSE(graph()->mCurveShown[1]);
    EXPECT_TRUE(graph()->mPointLit[1]);
    EXPECT_FALSE(graph()->mEqOn);
    EXPECT_TRUE(shows(find<QLabel>("labelEq2OnOff"), kParts + "button-ON_disable.png"));
}

TEST_F(PeqWindow, DsdPassThroughFollowsTheBandSwitches) {
    engine().dsdPure.store(false);
    pressOnOff(1);
    pressOnOff(4);
    EXPECT_FALSE(engine().dsdPure.load());
    pressOnOff(1);
    EXPECT_FALSE(engine().dsdPure.load());  // EQ4 still on
    pressOnOff(4);
    EXPECT_TRUE(engine().dsdPure.load());  // the last band went off at 0.0 dB

    mainVolume = -0.1;
    pressOnOff(3);
    pressOnOff(3);
    EXPECT_FALSE(engine().dsdPure.load());

    // The on switch does not count.
    mainVolume = 0.0;
    pressLamp();
    pressOnOff(2);
    pressOnOff(2);
    EXPECT_TRUE(engine().dsdPure.load());
}

TEST_F(PeqWindow, TypeSwitches) {
    // EQ4 shelf is a high shelf even when the band's side was low.
    peq.band[0].setShelvLo(true);
    QTest::mousePress(find<eqtypesw>("labelEq4TypeShelf"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(peq.band[0].mType, kEqShelf);
    EXPECT_FALSE(peq.band[0].mShelvLo);
    EXPECT_TRUE(peq.band[0].mGainChanging);  // an EQ4 type change glides
    EXPECT_TRUE(shows(find<QLabel>("labelEq4TypeShelf"), kParts + "TYPE-Shelf_on_disable.png"));
    EXPECT_TRUE(shows(find<QLabel>("labelEQ4TypePeak"), kParts + "TYPE-Peak_off_disable.png"));

    QTest::mousePress(find<eqtypesw>("labelEq4TypeLF"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(peq.band[0].mType, kEqLowPass);
    EXPECT_TRUE(shows(find<QLabel>("labelEq4TypeLF"), kParts + "TYPE-LF_on_disable.png"));
    // A low-pass at 4 kHz: well down at 15 kHz in the curve row of EQ4.
    const int at15k = 1930;
    ASSERT_EQ(graph()->mCurve[3][at15k].freq, 15000.0);
    EXPECT_LT(graph()->mCurve[3][at15k].dB, -20.0);
    QTest::mousePress(find<eqtypesw>("labelEQ4TypePeak"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(peq.band[0].mType, kEqPeak);

    // EQ1 shelf keeps the low side and does not glide by itself.
    peq.band[3].mGainChanging = false;
    QTest::mousePress(find<eqtypesw>("labelEqTypeShelf"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(peq.band[3].mType, kEqShelf);
    EXPECT_TRUE(peq.band[3].mShelvLo);
    EXPECT_FALSE(peq.band[3].mGainChanging);
    EXPECT_TRUE(shows(find<QLabel>("labelEqTypeShelf"), kParts + "TYPE-Shelf_on_disable.png"));
    EXPECT_TRUE(shows(find<QLabel>("labelEQ1Type"), kParts + "TYPE-Peak_off_disable.png"));
    QTest::mousePress(find<eqtypesw>("labelEQ1Type"), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(peq.band[3].mType, kEqPeak);
}

TEST_F(PeqWindow, GraphDragEditsFrequencyAndGainOnly) {
    widgetEq *g = graph();
    auto px = [&](double hz, double dB) {
        return QPoint(static_cast<int>((std::log10(hz) - kEqViewLeft) / (kEqAxisTopNormal - kEqViewLeft) * g->width()),
                      static_cast<int>((kEqViewTop - dB) / kEqViewHeight * g->height()));
    };
    enter(field("Q", 3), "2.5");
    QTest::mousePress(g, Qt::LeftButton, {}, px(1000, 0));  // EQ3's point
    QTest::mouseMove(g, px(2500, 9));
    QTest::mouseRelease(g, Qt::LeftButton, {}, px(2500, 9));
    EXPECT_NEAR(peq.band[1].mFreq, 2500, 35);
    EXPECT_NEAR(peq.band[1].mGain, 9, 0.2);
    EXPECT_EQ(field("Freq", 3)->text(), QString::number(peq.band[1].mFreq, 'f', 0));
    EXPECT_EQ(field("Gain", 3)->text(), QString::number(peq.band[1].mGain, 'f', 1));
    EXPECT_EQ(peq.band[1].mQ, 2.5);
    EXPECT_EQ(find<WidgetQbar>("widget_Q3")->value(), 2.5);
    EXPECT_EQ(field("Q", 3)->text(), "2.5");
    // The row holds the band's new response.
    const tEqCurvePoint &at2k5 = g->mCurve[2][1130];
    ASSERT_EQ(at2k5.freq, 2500.0);
    EXPECT_EQ(at2k5.dB, peq.band[1].calcDBatFreq(44100.0, 2500.0));
    EXPECT_NEAR(at2k5.dB, 9.0, 0.3);
}

TEST_F(PeqWindow, RateChangeMovesBandsAboveTheLimit) {
    bind(96000);
    enter(field("Freq", 4), "30000");
    EXPECT_EQ(peq.band[0].mFreq, 30000.0);
    QSignalSpy spy(graph(), &widgetEq::eqParamChanged);
    bind(44100);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 3);
    EXPECT_EQ(peq.band[0].mFreq, 20000.0);
    EXPECT_EQ(field("Freq", 4)->text(), "20000");
    EXPECT_EQ(peq.band[0].mFs, 44100.0);
}

TEST_F(PeqWindow, CurveOfATypedBandOnScreen) {
    enter(field("Freq", 2), "1000");
    enter(field("Gain", 2), "6");
    enter(field("Q", 2), "1");
    pressOnOff(2);
    pressLamp();
    const QImage img = graph()->grabFramebuffer();
    const int w = img.width(), h = img.height();
    auto col = [&](double hz) { return (std::log10(hz) - kEqViewLeft) / (kEqAxisTopNormal - kEqViewLeft) * w; };
    auto row = [&](double dB) { return (kEqViewTop - dB) / kEqViewHeight * h; };

    // Decade lines in the brighter grey.
    for (double hz : {100.0, 10000.0}) {
        const QRgb a = img.pixel(static_cast<int>(col(hz)), static_cast<int>(row(-15)));
        const QRgb b = img.pixel(static_cast<int>(col(hz)) + 1, static_cast<int>(row(-15)));
        EXPECT_TRUE(qRed(a) == 116 || qRed(b) == 116) << hz;
    }
    // The white total line follows the band's response either side of the
    // peak, where EQ2's picture does not cover it.
    for (int dx : {-24, -18, 18, 24}) {
        const int c = static_cast<int>(col(1000)) + dx;
        const double hz = std::pow(10.0, kEqViewLeft + (c + 0.5) / w * (kEqAxisTopNormal - kEqViewLeft));
        const double dB = peq.band[2].calcDBatFreq(44100.0, hz);
        int best = 0, bestRow = 0;
        for (int y = 0; y < h / 2; ++y) {
            const int v = qRed(img.pixel(c, y)) + qGreen(img.pixel(c, y)) + qBlue(img.pixel(c, y));
            if (v > best) best = v, bestRow = y;
        }
        EXPECT_GT(dB, 3.0) << dx;
        EXPECT_NEAR(bestRow, row(dB), 1.5) << dx;
    }
    // EQ2's picture, lit, on the +6 dB peak at 1 kHz.
    const QRgb point = img.pixel(static_cast<int>(col(1000)), static_cast<int>(row(6.0)) + 4);
    EXPECT_GT(qRed(point) + qGreen(point), 200);
    // EQ2's yellow area under the curve.
    const int c = static_cast<int>(col(1000)) + 18;
    const QRgb area = img.pixel(c, static_cast<int>(row(1.5)));
    EXPECT_GT(qRed(area), 80);
    EXPECT_GT(qGreen(area), 60);
    EXPECT_LT(qBlue(area), 10);
}

}  // namespace
