// The widgets that only the type registry creates: the strip bar meter, the
// colour patch, the test picture, the drop field and the overwrite question.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDropEvent>
#include <QMetaType>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>

#include "widgets/chstripmeter.h"
#include "widgets/dialogoverwrite.h"
#include "widgets/glpatch.h"
#include "widgets/tracktext.h"
#include "widgets/widgettypes.h"

namespace {

constexpr double kPcmFullScale = 2147483648.0;  // 2^31

double pcmLevelAt(double dbFs) { return kPcmFullScale * std::pow(10.0, dbFs / 20.0); }

// A meter as every owner sets it up: 45 ms updates, the lamps cleared.
struct Meter {
    chStripMeter m;
    Meter() {
        m.setMeterUpdateTiming(45);
        const double zero[2] = {0.0, 0.0};
        m.setMeterData(zero, 0, 45);
        m.setOver(false);
    }
    void feed(double ch0, double ch1, int mode = 0) {
        const double lv[2] = {ch0, ch1};
        m.setMeterData(lv, mode, 45);
    }
};

// The framebuffer of a shown GL widget, and the colour at a point given as
// fractions from the bottom left.
QImage shot(QOpenGLWidget &w) {
    w.resize(100, 200);
    w.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    return w.grabFramebuffer();
}

QColor at(const QImage &img, double fx, double fy) {
    const int x = std::min(img.width() - 1, int(fx * img.width()));
    const int y = std::min(img.height() - 1, int((1.0 - fy) * img.height()));
    return QColor(img.pixel(x, y));
}

bool isBlack(QColor c) { return c.red() < 10 && c.green() < 10 && c.blue() < 10; }

}  // namespace

// ---- the registry ----

TEST(WidgetTypes, EveryRegisteredClassIsMadeByItsName) {
    registerWidgetTypes();
    const char *names[] = {"chStripMeter", "WidgetMark", "testGraphic", "trackText", "DialogOverWrite"};
    QWidget parent;
    for (const char *name : names) {
        const QMetaType type = QMetaType::fromName(QByteArray(name) + '*');
        ASSERT_TRUE(type.isValid()) << name;
        ASSERT_NE(type.metaObject(), nullptr) << name;
        QObject *obj = type.metaObject()->newInstance(Q_ARG(QWidget *, &parent));
        ASSERT_NE(obj, nullptr) << name;
        EXPECT_STREQ(obj->metaObject()->className(), name);
        EXPECT_EQ(obj->parent(), &parent);
    }
}

// ---- chStripMeter ----

TEST(ChStripMeter, ZonesAndFractionFollowTheLevel) {
    struct Row {
        double dbFs;
        int litZones;     // zones 0..litZones-1 lit, the rest dark
        double fraction;  // of the first dark zone
    };
    const Row rows[] = {
        {-60.0, 0, 0.0},        {-20.0, 1, 34.0 / 36.0},                       // zone 1 filled to 0.34 of the height
        {-10.0, 2, 8.0 / 14.0}, {-2.0, 3, 2.0 / 4.0},    {1.0, 4, 1.0 / 3.0},  // zone 5 (over threshold) is lit as well
        {6.0, 6, 0.0},
    };
    for (const Row &r : rows) {
        Meter meter;
        meter.feed(pcmLevelAt(r.dbFs), 0.0);
        for (int k = 0; k < 5; ++k) EXPECT_EQ(meter.m.zoneOn(0, k), k < r.litZones) << r.dbFs << " dB, zone " << k;
        EXPECT_NEAR(meter.m.fraction(0), r.fraction, 1e-9) << r.dbFs << " dB";
        EXPECT_FALSE(meter.m.zoneOn(1, 0));
    }
    // Zone 5 marks the over threshold, between zones 3 and 4.
    Meter meter;
    meter.feed(pcmLevelAt(1.0), pcmLevelAt(-0.1));
    EXPECT_TRUE(meter.m.zoneOn(0, 5));
    EXPECT_FALSE(meter.m.zoneOn(1, 5));
}

TEST(ChStripMeter, OverLampOfTheLoudChannelOnly) {
    Meter meter;
    meter.feed(kPcmFullScale - 1.0, 0.0);
    EXPECT_TRUE(meter.m.over(0));
    EXPECT_FALSE(meter.m.over(1));
    EXPECT_NEAR(meter.m.peakPos(0), kChStripZonePos[3] + (kChStripZonePos[4] - kChStripZonePos[3]), 1e-6);

    // DSD full scale is 0.5: exactly full scale is not over, above it is.
    Meter dsd;
    dsd.feed(0.5, 0.6, 1);  // the change of mode drops this input
    EXPECT_FALSE(dsd.m.over(1));
    dsd.feed(0.5, 0.6, 1);
    EXPECT_FALSE(dsd.m.over(0));
    EXPECT_TRUE(dsd.m.over(1));

    // At +3 dB and above no peak line, the lamp lit.
    Meter loud;
    loud.feed(pcmLevelAt(3.5), 0.0);
    EXPECT_EQ(loud.m.peakPos(0), 0.0);
    EXPECT_TRUE(loud.m.over(0));

    // A click on the meter changes nothing; setOver(false) clears the lamp
    // until the next update that finds the held peak over again.
    QTest::mouseClick(&loud.m, Qt::LeftButton);
    EXPECT_TRUE(loud.m.over(0));
    loud.m.setOver(false);
    EXPECT_FALSE(loud.m.over(0));
    loud.feed(0.0, 0.0);
    EXPECT_TRUE(loud.m.over(0));
}

TEST(ChStripMeter, ReleaseHoldAndOverHoldAt45Ms) {
    Meter meter;
    meter.m.setOverHoldTime(2000);  // 22 updates at 45 ms
    meter.feed(kPcmFullScale, 0.0);
    EXPECT_TRUE(meter.m.over(0));

    // Silence: the bar falls 0.9 dB per update, the peak line holds for 23
    // updates and the over lamp for 23 updates after the last one that saw
    // the held peak over the threshold.
    const double line = meter.m.peakPos(0);
    ASSERT_GT(line, 0.0);
    int lastOver = 0;
    for (int n = 1; n <= 60; ++n) {
        meter.feed(0.0, 0.0);
        if (n <= 23) {
            EXPECT_EQ(meter.m.peakPos(0), line) << "update " << n;
        } else {
            EXPECT_EQ(meter.m.peakPos(0), 0.0) << "update " << n;
        }
        if (n <= 23) lastOver = n;  // the held peak is still the full-scale one
        EXPECT_EQ(meter.m.over(0), n <= lastOver + 23) << "update " << n;
    }

    // The shown level: 0 dB falling 0.9 dB per update shows -9 dB after ten.
    Meter fall;
    fall.feed(kPcmFullScale, 0.0);
    for (int n = 0; n < 10; ++n) fall.feed(0.0, 0.0);
    EXPECT_TRUE(fall.m.zoneOn(0, 1));
    EXPECT_NEAR(fall.m.fraction(0), (-9.0 + 18.0) / 14.0, 1e-9);
}

TEST(ChStripMeter, OverHoldTimeInUpdates) {
    chStripMeter fresh;  // no update period yet: hold until cleared
    fresh.setOverHoldTime(2000);
    const double loud[2] = {kPcmFullScale, kPcmFullScale};
    const double quiet[2] = {0.0, 0.0};
    fresh.setMeterData(loud, 0, 45);
    for (int n = 0; n < 100; ++n) fresh.setMeterData(quiet, 0, 45);
    EXPECT_TRUE(fresh.over(0));

    // The held peak expires at the first silent update, which still finds it
    // over; the lamp then holds for the hold time plus one update.
    struct Row {
        int ms;
        int litUpdates;
    };
    const Row rows[] = {{1000, 2}, {500, 2}, {1100, 4}, {-1, 1000}};
    for (const Row &r : rows) {
        Meter meter;
        meter.m.setOverHoldTime(r.ms);
        meter.feed(kPcmFullScale, 0.0);
        meter.m.setOver(true);  // lets the held peak expire at the next update
        int lit = 0;
        for (int n = 0; n < 1000 && meter.m.over(0); ++n) {
            meter.feed(0.0, 0.0);
            lit += meter.m.over(0) ? 1 : 0;
        }
        EXPECT_EQ(lit, r.litUpdates) << r.ms << " ms";
    }

    // A period that is not positive is refused.
    Meter meter;
    meter.m.setMeterUpdateTiming(0);
    meter.m.setMeterUpdateTiming(-45);
    meter.m.setOverHoldTime(2000);
    meter.feed(kPcmFullScale, 0.0);
    int lit = 0;
    for (int n = 0; n < 100 && meter.m.over(0); ++n) {
        meter.feed(0.0, 0.0);
        lit += meter.m.over(0) ? 1 : 0;
    }
    EXPECT_EQ(lit, 23 + 23);  // held peak, then the 2000 ms hold at 45 ms
}

TEST(ChStripMeter, ModeChangeStartsAgainFromZero) {
    Meter meter;
    meter.feed(pcmLevelAt(-1.0), pcmLevelAt(-1.0));
    ASSERT_TRUE(meter.m.zoneOn(0, 3) == false && meter.m.zoneOn(0, 2));

    meter.feed(0.5, 0.5, 1);
    for (int k = 0; k < chStripMeter::kZones; ++k) EXPECT_FALSE(meter.m.zoneOn(0, k)) << k;
    EXPECT_EQ(meter.m.peakPos(0), 0.0);
    EXPECT_TRUE(std::isinf(meter.m.peakDb(0)));

    meter.feed(0.25, 0.25, 1);  // -6 dB of DSD full scale
    EXPECT_TRUE(meter.m.zoneOn(0, 1));
    EXPECT_FALSE(meter.m.zoneOn(0, 2));
    EXPECT_NEAR(meter.m.peakDb(0), 20.0 * std::log10(0.25), 1e-12);

    meter.m.clearPrevMeter();  // the shown level goes, the held peak stays
    meter.feed(0.0, 0.0, 1);
    EXPECT_FALSE(meter.m.zoneOn(0, 0));
    EXPECT_GT(meter.m.peakPos(0), 0.0);
}

TEST(ChStripMeter, NotANumberReadsAsSilence) {
    // A damaged level must neither blank the bar nor reach the held peak.
    Meter meter;
    meter.feed(pcmLevelAt(-1.0), pcmLevelAt(-1.0));
    meter.feed(std::nan(""), pcmLevelAt(-1.0));
    EXPECT_TRUE(meter.m.zoneOn(0, 2)) << "the bar falls by the release, as for silence";
    EXPECT_FALSE(std::isnan(meter.m.peakDb(0)));
    EXPECT_NEAR(meter.m.peakDb(0), meter.m.peakDb(1), 1e-9);
}

TEST(ChStripMeter, DrawsEachChannelInItsColumn) {
    Meter meter;
    // Channel 0 (right column) at -20 dB, channel 1 (left column) over.
    meter.feed(pcmLevelAt(-20.0), kPcmFullScale);
    const QImage img = shot(meter.m);
    ASSERT_FALSE(img.isNull());

    // Right column: green up to 0.34 of the height, dark above; no lamp.
    EXPECT_EQ(at(img, 0.75, 0.30), QColor(0, 210, 30));
    EXPECT_TRUE(isBlack(at(img, 0.75, 0.40)));
    EXPECT_TRUE(isBlack(at(img, 0.75, 0.96)));
    // Left column: full up to zone 4's partial fill, the over area red.
    EXPECT_EQ(at(img, 0.25, 0.30), QColor(0, 210, 30));
    EXPECT_EQ(at(img, 0.25, 0.50), QColor(255, 245, 85));
    EXPECT_EQ(at(img, 0.25, 0.96), QColor(252, 42, 42));
    // The gap between the columns stays black.
    EXPECT_TRUE(isBlack(at(img, 0.50, 0.30)));
}

// ---- WidgetMark and testGraphic ----

TEST(GlPatches, ColourPatchAndTestPicture) {
    WidgetMark mark;
    mark.setColor(1.0, 0.0, 0.0);
    QImage img = shot(mark);
    EXPECT_EQ(at(img, 0.5, 0.5), QColor(255, 0, 0));
    EXPECT_EQ(at(img, 0.02, 0.98), QColor(255, 0, 0));

    testGraphic pic;
    img = shot(pic);
    EXPECT_EQ(at(img, 0.05, 0.05), QColor(204, 204, 204));  // cleared grey
    EXPECT_EQ(at(img, 0.8, 0.2), QColor(128, 128, 128));    // the square
    EXPECT_EQ(at(img, 0.35, 0.5), QColor(26, 26, 26));      // the triangle
    QTest::mouseClick(&pic, Qt::LeftButton);
    img = pic.grabFramebuffer();
    EXPECT_EQ(at(img, 0.8, 0.2), QColor(0, 204, 51));
}

// ---- trackText ----

namespace {

bool dropOn(trackText &field, const QList<QUrl> &urls) {
    QMimeData data;
    data.setUrls(urls);
    QWidget *target = field.viewport();
    const QPoint pos(5, 5);
    QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    if (!move.isAccepted()) return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return true;
}

}  // namespace

TEST(TrackText, DroppedLocalFileShowsItsName) {
    trackText field;
    field.show();
    QSignalSpy spy(&field, &trackText::dragEventFinished);

    EXPECT_TRUE(dropOn(field, {QUrl::fromLocalFile(QStringLiteral("/music/take 1/mix.dsf")),
                               QUrl::fromLocalFile(QStringLiteral("/music/other.wav"))}));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(field.toPlainText(), QStringLiteral("mix.dsf"));
    EXPECT_EQ(field.droppedPath(), QStringLiteral("/music/take 1/mix.dsf"));

    // A URL that is no local file changes nothing.
    EXPECT_TRUE(dropOn(field, {QUrl(QStringLiteral("https://example.org/a.wav"))}));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(field.toPlainText(), QStringLiteral("mix.dsf"));
    EXPECT_EQ(field.droppedPath(), QStringLiteral("/music/take 1/mix.dsf"));

    // Plain text is not taken.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(field.viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

// ---- DialogOverWrite ----

TEST(DialogOverWrite, OnlyTheBoxButtonsAnswer) {
    struct Row {
        QDialogButtonBox::StandardButton button;
        int ok, cancel, result;
    };
    const Row rows[] = {
        {QDialogButtonBox::Ok, 1, 0, QDialog::Accepted},
        {QDialogButtonBox::Cancel, 0, 1, QDialog::Rejected},
        {QDialogButtonBox::NoButton, 0, 0, QDialog::Rejected},  // Escape
    };
    for (const Row &r : rows) {
        DialogOverWrite dlg;
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Confirmation"));
        EXPECT_FALSE(dlg.windowFlags() & Qt::WindowContextHelpButtonHint);
        QSignalSpy ok(&dlg, &DialogOverWrite::clickedOK);
        QSignalSpy cancel(&dlg, &DialogOverWrite::clickedCancel);
        QDialogButtonBox *box = dlg.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        ASSERT_NE(box, nullptr);
        QTimer::singleShot(0, &dlg, [&] {
            if (r.button == QDialogButtonBox::NoButton)
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                QTest::mouseClick(box->button(r.button), Qt::LeftButton);
        });
        EXPECT_EQ(dlg.exec(), r.result);
        EXPECT_EQ(ok.count(), r.ok);
        EXPECT_EQ(cancel.count(), r.cancel);
    }
}
