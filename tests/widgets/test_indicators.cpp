// Picture lamps, the switch label, the band on/off button and the gain
// read-out, driven with real mouse and key events.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "widgets/indicators.h"

namespace {

// Two small one-colour pictures, so that a test can tell which one a label
// shows.
class Pictures {
public:
    Pictures() {
        on = write("on.png", Qt::green);
        off = write("off.png", Qt::blue);
    }
    QString on, off;

private:
    QString write(const char *name, QColor colour) {
        QImage img(8, 8, QImage::Format_RGB32);
        img.fill(colour);
        const QString path = mDir.filePath(QString::fromLatin1(name));
        img.save(path);
        return path;
    }
    QTemporaryDir mDir;
};

// The colour of the label's picture, or an invalid colour when it shows none.
QColor shownColour(const QLabel &label) {
    const QPixmap pm = label.pixmap();
    if (pm.isNull()) return QColor();
    return QColor(pm.toImage().pixel(0, 0));
}

void press(QWidget &w) { QTest::mouseClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2)); }

}  // namespace

TEST(Indicator, ClickControlDecidesWhatAPressDoes) {
    struct Row {
        int control;
        QList<int> states;  // selOnOff values after two presses
        int clicks;         // indicatorClicked count after two presses
        QColor picture;     // shown after the presses
    };
    const Row rows[] = {
        {kIndicatorToggle, {1, 0}, 0, Qt::blue},  // on, then off again
        {kIndicatorClick, {}, 2, QColor()},       // the owner chooses the picture
        {kIndicatorIgnore, {}, 0, QColor()},
        {7, {}, 0, QColor()},  // unknown values ignore the press
    };
    Pictures pics;
    for (const Row &r : rows) {
        indicator lamp;
        lamp.setOnIndicatorFilePath(pics.on);
        lamp.setOffIndicatorFilePath(pics.off);
        lamp.selectClickControl(static_cast<tIndicatorClickControl>(r.control));
        QSignalSpy states(&lamp, &indicator::selOnOff);
        QSignalSpy clicks(&lamp, &indicator::indicatorClicked);

        press(lamp);
        if (r.control == kIndicatorToggle) {
            EXPECT_EQ(shownColour(lamp), QColor(Qt::green));
        }
        press(lamp);

        QList<int> got;
        for (const QList<QVariant> &args : states) got.append(args.at(0).toInt());
        EXPECT_EQ(got, r.states) << "control " << r.control;
        EXPECT_EQ(clicks.count(), r.clicks) << "control " << r.control;
        EXPECT_EQ(shownColour(lamp), r.picture) << "control " << r.control;

        // Whatever the click control, the owner can still set the lamp.
        lamp.changeIndicator(true);
        EXPECT_EQ(shownColour(lamp), QColor(Qt::green));
        EXPECT_EQ(states.count(), r.states.size());
    }
}

TEST(Indicator, ControlKeyTurnsClicksIntoToggles) {
    indicator lamp;  // starts reporting clicks only
    QSignalSpy states(&lamp, &indicator::selOnOff);
    QSignalSpy clicks(&lamp, &indicator::indicatorClicked);

    press(lamp);
    EXPECT_EQ(clicks.count(), 1);

    QTest::keyPress(&lamp, Qt::Key_Control);
    press(lamp);
    EXPECT_EQ(states.count(), 1);
    EXPECT_EQ(clicks.count(), 1);

    // Other keys leave the click control alone.
    QTest::keyClick(&lamp, Qt::Key_Shift);
    QTest::keyClick(&lamp, Qt::Key_A);
    press(lamp);
    ASSERT_EQ(states.count(), 2);
    EXPECT_EQ(states.at(1).at(0).toInt(), 0);

    QTest::keyRelease(&lamp, Qt::Key_Control);
    press(lamp);
    EXPECT_EQ(states.count(), 2);
    EXPECT_EQ(clicks.count(), 2);

    // The same through the calls a window forwards its modifier key with.
    lamp.contKeyPressed();
    press(lamp);
    EXPECT_EQ(states.count(), 3);
    lamp.contKeyReleased();
    press(lamp);
    EXPECT_EQ(clicks.count(), 3);
}

TEST(Indicator, NewPicturePathsShowFromTheNextChange) {
    Pictures pics;
    indicator lamp;
    lamp.setOffIndicatorFilePath(pics.off);
    lamp.changeIndicator(false);
    EXPECT_EQ(shownColour(lamp), QColor(Qt::blue));

    lamp.setOffIndicatorFilePath(pics.on);
    EXPECT_EQ(shownColour(lamp), QColor(Qt::blue));
    lamp.changeIndicator(false);
    EXPECT_EQ(shownColour(lamp), QColor(Qt::green));
}

TEST(Indicator, ShowsTheEqualiserLampUntilGivenOtherPictures) {
    indicator lamp;
    const QImage on = QPixmap(QStringLiteral(":/resources2/parts/EQ_button-on.png")).toImage();
    const QImage off = QPixmap(QStringLiteral(":/resources2/parts/EQ_button-off.png")).toImage();
    ASSERT_FALSE(on.isNull());
    ASSERT_FALSE(off.isNull());
    lamp.changeIndicator(true);
    EXPECT_EQ(lamp.pixmap().toImage(), on);
    lamp.changeIndicator(false);
    EXPECT_EQ(lamp.pixmap().toImage(), off);
}

TEST(MonIndicator, TogglesByDefaultAndFollowsItsClickControl) {
    monindicator lamp;
    QSignalSpy states(&lamp, &monindicator::monOnOff);
    QSignalSpy clicks(&lamp, &monindicator::monIndicatorClicked);

    press(lamp);
    press(lamp);
    ASSERT_EQ(states.count(), 2);
    EXPECT_EQ(states.at(0).at(0).toInt(), 1);
    EXPECT_EQ(states.at(1).at(0).toInt(), 0);
    EXPECT_EQ(clicks.count(), 0);

    lamp.selectClickControl(kIndicatorClick);
    press(lamp);
    EXPECT_EQ(clicks.count(), 1);
    lamp.selectClickControl(kIndicatorIgnore);
    press(lamp);
    EXPECT_EQ(states.count(), 2);
    EXPECT_EQ(clicks.count(), 1);

    // Its pictures are not in the bundle: the lamp stays without a picture
    // and does not fail.
    lamp.changeMonIndicator(true);
    EXPECT_EQ(states.count(), 2);
}

TEST(LabelSwitch, EveryPressFlipsPictureAndState) {
    labelSwitch sw;
    QSignalSpy spy(&sw, &labelSwitch::switchClicked);

    // Before the owner gives pictures a press shows none and still reports.
    press(sw);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(shownColour(sw).isValid());

    Pictures pics;
    sw.setSwitchPict(pics.off, pics.on);
    EXPECT_FALSE(shownColour(sw).isValid());
    press(sw);
    EXPECT_FALSE(spy.at(1).at(0).toBool());
    EXPECT_EQ(shownColour(sw), QColor(Qt::blue));
    press(sw);
    EXPECT_TRUE(spy.at(2).at(0).toBool());
    EXPECT_EQ(shownColour(sw), QColor(Qt::green));
}

TEST(EqOnOffButton, ReportsEveryPressWithZero) {
    eqOnOffButton button;
    QSignalSpy spy(&button, &eqOnOffButton::mousePressed);
    press(button);
    press(button);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
    EXPECT_FALSE(shownColour(button).isValid());
}

TEST(LabelGain, ReportsDoubleClicksOnly) {
    labelGain label;
    QSignalSpy spy(&label, &labelGain::doubleClicked);
    press(label);
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseDClick(&label, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(spy.count(), 1);
}

TEST(LabelGain, RedNumberOnlyAboveUnity) {
    const QString grey = QStringLiteral("<font color=#828282>Gain = ");
    const QString red = QStringLiteral("<font color=#828282>Gain = <font color=red>");
    struct Row {
        double gain;
        QString text;
    };
    const Row rows[] = {
        {1.0, grey + "0.0 dB"},
        {1.0001, red + "0.0 dB"},  // only the sign of the dB value counts
        {2.0, red + "6.0 dB"},
        {0.5, grey + "-6.0 dB"},
    };
    labelGain label;
    for (const Row &r : rows) {
        label.setValueAndColor(r.gain);
        EXPECT_EQ(label.text(), r.text) << r.gain;
    }
}
