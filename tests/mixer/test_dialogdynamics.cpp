// The compressor's window: what each field sends and when, the meters'
// wiring and placement, which meter a level pair feeds, and what the
// reduction meter shows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <climits>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"
#include "mixer/dialogdynamics.h"

namespace {

TEST(DynamicsRatio, TypedTextToTenths) {
    const struct {
        const char *text;
        int tenths;
    } rows[] = {
        {"32", 320}, {"1.99", 19}, {"2.5", 25},    {"0.05", 0},       {"32:1", 0},
        {"", 0},     {"abc", 0},   {"-1.55", -15}, {"2.3", 23},       {"4.35", 43},
        {"0.29", 2}, {"nan", 0},   {"inf", 0},     {"1e12", INT_MAX}, {"-1e12", INT_MIN},
    };
    for (const auto &r : rows) EXPECT_EQ(dynamicsRatio10(QString::fromLatin1(r.text)), r.tenths) << r.text;
}

// One window on screen for the whole suite: showing a dozen GL widgets is
// the slow part of these tests.
class DynamicsWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sDlg = new DialogDynamics; }
    static void TearDownTestSuite() {
        delete sDlg;
        sDlg = nullptr;
    }
    void SetUp() override {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
    QLineEdit *field(const char *name) { return dlg.findChild<QLineEdit *>(name); }
    meterGraphic *meter(const char *name) { return dlg.findChild<meterGraphic *>(name); }
    drawingMeterWidget *bar(const char *name) { return dlg.findChild<drawingMeterWidget *>(name); }
    // Replaces a field's text as the user would and presses Return.
    void enter(QLineEdit *f, const QString &text) {
        f->setFocus();
        f->selectAll();
        QTest::keyClicks(f, text);
        QTest::keyClick(f, Qt::Key_Return);
    }

    static DialogDynamics *sDlg;
    DialogDynamics &dlg = *sDlg;
};

DialogDynamics *DynamicsWindow::sDlg = nullptr;

TEST_F(DynamicsWindow, ReturnSendsEachFieldAsAnInteger) {
    const struct {
        const char *field;
        const char *signal;
        const char *text;
        int sent;
    } rows[] = {
        {"lineEditThreshold", SIGNAL(thresholdLevelChanged(int)), "-12", -12},
        {"lineEditThreshold", SIGNAL(thresholdLevelChanged(int)), "-12.5", 0},
        {"lineEditAttack", SIGNAL(attackTimeChanged(int)), "3", 3},
        {"lineEditAttack", SIGNAL(attackTimeChanged(int)), "2.5", 0},
        {"lineEditRelease", SIGNAL(releaseTimeChanged(int)), "150", 150},
        {"lineEditRelease", SIGNAL(releaseTimeChanged(int)), "99999999999", 0},
        {"lineEditRatio", SIGNAL(ratioChanged(int)), "1.99", 19},
        {"lineEditRatio", SIGNAL(ratioChanged(int)), "32:1", 0},
        {"lineEditMakeup", SIGNAL(makeupGainChanged(int)), "+6", 6},
        {"lineEditMakeup", SIGNAL(makeupGainChanged(int)), "six", 0},
    };
    for (const auto &r : rows) {
        QSignalSpy spy(&dlg, r.signal);
        enter(field(r.field), QString::fromLatin1(r.text));
        ASSERT_EQ(spy.count(), 1) << r.field << " " << r.text;
        EXPECT_EQ(spy.at(0).at(0).toInt(), r.sent) << r.field << " " << r.text;
        // The field keeps what was typed.
        EXPECT_EQ(field(r.field)->text(), QString::fromLatin1(r.text));
    }
}

TEST(DynamicsDefaults, ReturnSendsTheStartingTexts) {
    // A new window's fields hold the compressor's own defaults; Return on each
    // sends them as they stand (the ratio as tenths).
    DialogDynamics fresh;
    const struct {
        const char *field;
        const char *signal;
        int sent;
    } rows[] = {
        {"lineEditThreshold", SIGNAL(thresholdLevelChanged(int)), -12},
        {"lineEditAttack", SIGNAL(attackTimeChanged(int)), 3},
        {"lineEditRelease", SIGNAL(releaseTimeChanged(int)), 150},
        {"lineEditRatio", SIGNAL(ratioChanged(int)), 320},
        {"lineEditMakeup", SIGNAL(makeupGainChanged(int)), 0},
    };
    for (const auto &r : rows) {
        QSignalSpy spy(&fresh, r.signal);
        QTest::keyClick(fresh.findChild<QLineEdit *>(r.field), Qt::Key_Return);
        ASSERT_EQ(spy.count(), 1) << r.field;
        EXPECT_EQ(spy.at(0).at(0).toInt(), r.sent) << r.field;
    }
    EXPECT_FALSE(fresh.findChild<QCheckBox *>("checkBoxDynamics")->isChecked());
}

TEST_F(DynamicsWindow, NothingIsSentWithoutReturn) {
    QSignalSpy threshold(&dlg, &DialogDynamics::thresholdLevelChanged);
    QSignalSpy attack(&dlg, &DialogDynamics::attackTimeChanged);
    QSignalSpy ratio(&dlg, &DialogDynamics::ratioChanged);
    QSignalSpy enable(&dlg, &DialogDynamics::dynamicsEnable);

    // Edit and leave with Tab, edit and leave with a click elsewhere.
    QLineEdit *t = field("lineEditThreshold");
    t->setFocus();
    t->selectAll();
    QTest::keyClicks(t, "-20");
    QTest::keyClick(t, Qt::Key_Tab);
    EXPECT_FALSE(t->hasFocus());
    QLineEdit *r = field("lineEditRatio");
    r->setFocus();
    r->selectAll();
    QTest::keyClicks(r, "4");
    QTest::mouseClick(field("lineEditAttack"), Qt::LeftButton);
    EXPECT_FALSE(r->hasFocus());

    EXPECT_EQ(threshold.count(), 0);
    EXPECT_EQ(attack.count(), 0);
    EXPECT_EQ(ratio.count(), 0);
    EXPECT_EQ(enable.count(), 0);
}

TEST_F(DynamicsWindow, EnableBoxSendsOneAndZero) {
    QSignalSpy enable(&dlg, &DialogDynamics::dynamicsEnable);
    auto *box = dlg.findChild<QCheckBox *>("checkBoxDynamics");
    ASSERT_FALSE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    ASSERT_EQ(enable.count(), 2);
    EXPECT_EQ(enable.at(0).at(0).toInt(), 1);
    EXPECT_EQ(enable.at(1).at(0).toInt(), 0);
}

TEST_F(DynamicsWindow, MetersArePlacedAndWired) {
    const struct {
        const char *meter;
        int y;
        const char *suffix;
        bool reverse;
    } meters[] = {
        {"widgetMeterIn", 10, "", false},
        {"widgetMeterIn_2", 30, "_3", true},
        {"widgetMeterIn_3", 50, "_4", false},
    };
    for (const auto &m : meters) {
        meterGraphic *g = meter(m.meter);
        ASSERT_NE(g, nullptr) << m.meter;
        EXPECT_EQ(g->geometry(), QRect(10, m.y, 220, 15)) << m.meter;
        EXPECT_EQ(g->palette().color(QPalette::Window).alpha(), 0);
        EXPECT_EQ(g->peakHoldUpdates(), 22);  // 45 ms updates
        const QString s = QString::fromLatin1(m.suffix);
        const QRect bars[2] = {QRect(21, 1, 150, 6), QRect(21, 8, 150, 6)};
        const QRect lamps[2] = {QRect(180, 1, 15, 6), QRect(180, 8, 15, 6)};
        const char *side[2] = {"Lch", "Rch"};
        for (int ch = 0; ch < 2; ++ch) {
            auto *b = g->findChild<drawingMeterWidget *>(QStringLiteral("widget%1MeterIn%2").arg(side[ch], s));
            auto *l = g->findChild<drawingOverWidget *>(QStringLiteral("widget%1OverIn%2").arg(side[ch], s));
            ASSERT_TRUE(b && l) << m.meter << " " << ch;
            EXPECT_EQ(b->geometry(), bars[ch]);
            EXPECT_EQ(l->geometry(), lamps[ch]);
            EXPECT_EQ(b->mChannel, ch);
            EXPECT_EQ(l->mChannel, ch);
            EXPECT_EQ(b->mReverse, m.reverse) << m.meter;
            EXPECT_EQ(g->mDrawWidget[ch], b);
            EXPECT_EQ(g->mDrawWidget[ch + 2], l);
        }
    }
}

TEST_F(DynamicsWindow, EachTypeFeedsItsOwnMeter) {
    const struct {
        int type;
        const char *fed;  // null: none
    } rows[] = {
        {kDynamicsMeterIn, "widgetMeterIn"},
        {kDynamicsMeterOut, "widgetMeterIn_3"},
        {kDynamicsMeterReduction, "widgetMeterIn_2"},
        {7, nullptr},
    };
    const char *all[] = {"widgetMeterIn", "widgetMeterIn_2", "widgetMeterIn_3"};
    for (const auto &r : rows) {
        DialogDynamics fresh;
        fresh.setMeterData(static_cast<tDynamicsMeterType>(r.type), tDynamicsPair{0.5, 0.25});
        for (const char *name : all) {
            meterGraphic *g = fresh.findChild<meterGraphic *>(name);
            const bool fed = r.fed && qstrcmp(r.fed, name) == 0;
            // Linear 1.0 is the meter's 32-bit full scale.
            EXPECT_DOUBLE_EQ(g->meterLevel(0), fed ? 0.5 * 2147483647.0 : 0.0) << r.type << " " << name;
            EXPECT_DOUBLE_EQ(g->meterLevel(1), fed ? 0.25 * 2147483647.0 : 0.0) << r.type << " " << name;
        }
    }
}

bool near(const QImage &img, int x, const QColor &want) {
    const QColor got = img.pixelColor(x, img.height() / 2);
    return std::abs(got.red() - want.red()) <= 2 && std::abs(got.green() - want.green()) <= 2 &&
           std::abs(got.blue() - want.blue()) <= 2;
}

TEST_F(DynamicsWindow, ReductionMeterLightsTheScaleAboveTheLevel) {
    const QColor black(0, 0, 0), green(0, 210, 30), yellow(255, 245, 85), orange(243, 98, 1);
    // 6 dB below full scale on both meters: the input bar is lit up to
    // -6 dB (0.621 of its length); the reduction bar shows the rest.
    dlg.setMeterData(kDynamicsMeterIn, tDynamicsPair{0.5, 0.5});
    dlg.setMeterData(kDynamicsMeterReduction, tDynamicsPair{0.5, 0.5});

    const QImage in = bar("widgetLchMeterIn")->grabFramebuffer();
    const QImage red = bar("widgetLchMeterIn_3")->grabFramebuffer();
    ASSERT_EQ(in.width(), 150);
    ASSERT_EQ(red.width(), 150);
    EXPECT_TRUE(near(in, 45, green));
    EXPECT_TRUE(near(in, 105, black));
    EXPECT_TRUE(near(red, 45, black));
    EXPECT_TRUE(near(red, 105, yellow));
    EXPECT_TRUE(near(red, 146, orange));
    // The other channel's bar of the reduction meter draws the same.
    EXPECT_TRUE(near(bar("widgetRchMeterIn_3")->grabFramebuffer(), 105, yellow));
}

TEST_F(DynamicsWindow, FedMetersChangeOnScreen) {
    // What the window shows, not what a bar would draw if asked: each update
    // must redraw the bars themselves.
    const QColor black(0, 0, 0), green(0, 210, 30);
    auto screenAt = [&](int x, int y) {
        return QGuiApplication::primaryScreen()->grabWindow(dlg.winId()).toImage().pixelColor(x, y);
    };
    dlg.setMeterData(kDynamicsMeterOut, tDynamicsPair{0.0, 0.0});
    // Output meter at y = 50, its channel 0 bar at 21, 1 inside it.
    EXPECT_EQ(screenAt(10 + 21 + 45, 50 + 1 + 3), black);
    dlg.setMeterData(kDynamicsMeterOut, tDynamicsPair{0.5, 0.5});
    QTest::qWait(20);
    const QColor lit = screenAt(10 + 21 + 45, 50 + 1 + 3);
    EXPECT_TRUE(std::abs(lit.red() - green.red()) <= 2 && std::abs(lit.green() - green.green()) <= 2)
        << lit.name().toStdString();
}

}  // namespace
