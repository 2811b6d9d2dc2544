// The time-stretch window: the sliders and their fields, the band switches,
// the four numbers and the on/off switch, driven as a user drives them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <climits>

#include "mixer/dialogvsa.h"
#include "widgets/indicators.h"

namespace {

TEST(VsaSpeedText, NumberAndSliderPosition) {
    const struct {
        const char *text;
        float speed;
        int position;  // before the slider's own range applies
    } rows[] = {
        {"12.5", 12.5f, 12},
        {"150.9", 150.9f, 150},
        {"-7.9", -7.9f, -7},
        {"abc", 0.0f, 0},
        {"", 0.0f, 0},
        {"nan", 0.0f, 0},
        {"inf", 0.0f, 0},
        {"1e30", 1e30f, INT_MAX},
        {"-1e30", -1e30f, INT_MIN},
    };
    for (const auto &r : rows) {
        const float speed = vsaFieldSpeed(QString::fromLatin1(r.text));
        EXPECT_FLOAT_EQ(speed, r.speed) << r.text;
        EXPECT_EQ(vsaSpeedSliderPosition(speed), r.position) << r.text;
    }
}

class VsaWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }
    template <class T>
    T *child(const char *name) {
        T *w = dlg.findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void type(QLineEdit *f, const QString &text) {
        f->setFocus();
        f->selectAll();
        QTest::keyClicks(f, text);
    }
    // A drag of the slider's handle to a position.
    static void drag(QSlider *s, int position) {
        s->setSliderDown(true);
        s->setSliderPosition(position);
        s->setSliderDown(false);
    }

    DialogVsa dlg;
};

TEST_F(VsaWindow, StartsWithNothingSent) {
    EXPECT_EQ(dlg.windowTitle(), "VSA");
    EXPECT_EQ(child<QLineEdit>("lineEditKey")->text(), "0");
    EXPECT_EQ(child<QSlider>("sliderKey")->value(), 0);
    // The speed field reads 0 while its slider stands at 100.
    EXPECT_EQ(child<QLineEdit>("lineEditSpeed")->text(), "0");
    EXPECT_EQ(child<QSlider>("sliderSpeed")->value(), 100);
    EXPECT_EQ(child<QSlider>("sliderSpeed")->minimum(), 25);
    EXPECT_EQ(child<QSlider>("sliderSpeed")->maximum(), 300);
    const auto boxes = dlg.findChildren<QCheckBox *>();
    EXPECT_EQ(boxes.size(), 16);
    for (QCheckBox *b : boxes) EXPECT_TRUE(b->isChecked()) << b->objectName().toStdString();
}

TEST_F(VsaWindow, KeyFieldMovesTheSliderAndSendsWhatWasTyped) {
    QSignalSpy key(&dlg, &DialogVsa::vsaKeyChanged);
    QSlider *slider = child<QSlider>("sliderKey");
    QLineEdit *field = child<QLineEdit>("lineEditKey");

    const struct {
        const char *text;
        bool leaveWithTab;  // else Return
        int slider;
        int sent;
    } rows[] = {
        {"40", true, 24, 40}, {"-100", false, -24, -100}, {"7", true, 7, 7},
        {"2.5", false, 0, 0}, {"x", true, 0, 0},          {"99999999999", false, 0, 0},
    };
    for (const auto &r : rows) {
        key.clear();
        type(field, QString::fromLatin1(r.text));
        QTest::keyClick(field, r.leaveWithTab ? Qt::Key_Tab : Qt::Key_Return);
        ASSERT_EQ(key.count(), 1) << r.text;
        EXPECT_EQ(key.at(0).at(0).toInt(), r.sent) << r.text;
        EXPECT_EQ(slider->value(), r.slider) << r.text;
        EXPECT_EQ(field->text(), QString::fromLatin1(r.text));
    }
}

TEST_F(VsaWindow, SpeedFieldMovesTheSliderAndSendsTheNumber) {
    QSignalSpy speed(&dlg, &DialogVsa::vsaSpeedChanged);
    QSlider *slider = child<QSlider>("sliderSpeed");
    QLineEdit *field = child<QLineEdit>("lineEditSpeed");

    const struct {
        const char *text;
        int slider;
        float sent;
    } rows[] = {
        {"12.5", 25, 12.5f},
        {"150.9", 150, 150.9f},
        {"1e30", 300, 1e30f},
        {"fast", 25, 0.0f},
    };
    for (const auto &r : rows) {
        speed.clear();
        type(field, QString::fromLatin1(r.text));
        QTest::keyClick(field, Qt::Key_Return);
        ASSERT_EQ(speed.count(), 1) << r.text;
        EXPECT_FLOAT_EQ(speed.at(0).at(0).toFloat(), r.sent) << r.text;
        EXPECT_EQ(slider->value(), r.slider) << r.text;
    }
}

TEST_F(VsaWindow, DraggingWritesTheFieldAndSends) {
    QSignalSpy key(&dlg, &DialogVsa::vsaKeyChanged);
    QSignalSpy speed(&dlg, &DialogVsa::vsaSpeedChanged);

    drag(child<QSlider>("sliderKey"), -5);
    drag(child<QSlider>("sliderSpeed"), 180);
    ASSERT_EQ(key.count(), 1);
    EXPECT_EQ(key.at(0).at(0).toInt(), -5);
    EXPECT_EQ(child<QLineEdit>("lineEditKey")->text(), "-5");
    ASSERT_EQ(speed.count(), 1);
    EXPECT_FLOAT_EQ(speed.at(0).at(0).toFloat(), 180.0f);
    EXPECT_EQ(child<QLineEdit>("lineEditSpeed")->text(), "180");

    // A slider moved by the program sends nothing and leaves the field.
    child<QSlider>("sliderKey")->setValue(3);
    child<QSlider>("sliderSpeed")->setValue(60);
    EXPECT_EQ(key.count(), 1);
    EXPECT_EQ(speed.count(), 1);
    EXPECT_EQ(child<QLineEdit>("lineEditKey")->text(), "-5");
}

TEST_F(VsaWindow, BandBoxesReportTheirStage) {
    QSignalSpy hiOn(&dlg, &DialogVsa::qmfHighON);
    QSignalSpy hiOff(&dlg, &DialogVsa::qmfHighOFF);
    QSignalSpy loOn(&dlg, &DialogVsa::qmfLoON);
    QSignalSpy loOff(&dlg, &DialogVsa::qmfLoOFF);

    for (int stage = 0; stage < 8; ++stage) {
        const QString suffix = stage == 0 ? QString() : QStringLiteral("_%1").arg(stage + 1);
        for (bool high : {true, false}) {
            QCheckBox *box = dlg.findChild<QCheckBox *>((high ? "checkBoxHi0" : "checkBoxLo0") + suffix);
            ASSERT_NE(box, nullptr) << stage << high;
            QSignalSpy &off = high ? hiOff : loOff;
            QSignalSpy &on = high ? hiOn : loOn;
            QSignalSpy &otherOff = high ? loOff : hiOff;
            QSignalSpy &otherOn = high ? loOn : hiOn;
            for (QSignalSpy *spy : {&hiOn, &hiOff, &loOn, &loOff}) spy->clear();
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
            ASSERT_EQ(off.count(), 1) << stage << high;
            EXPECT_EQ(off.at(0).at(0).toInt(), stage);
            EXPECT_EQ(on.count(), 0);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
            ASSERT_EQ(on.count(), 1) << stage << high;
            EXPECT_EQ(on.at(0).at(0).toInt(), stage);
            EXPECT_EQ(off.count(), 1);
            EXPECT_EQ(otherOff.count() + otherOn.count(), 0) << stage << high;
        }
    }
}

TEST_F(VsaWindow, NumbersAreSentOnReturnOnly) {
    const struct {
        const char *field;
        const char *signal;
    } rows[] = {
        {"lineEditVsaUnit", SIGNAL(vsaUnitChanged(int))},
        {"lineEditVsaFade", SIGNAL(vsaFadeChanged(int))},
        {"lineEditBankNum", SIGNAL(vsaBankNumChanged(int))},
        {"lineEditBankDelay", SIGNAL(vsaBankDelayChanged(int))},
    };
    for (const auto &r : rows) {
        QSignalSpy spy(&dlg, r.signal);
        QLineEdit *f = child<QLineEdit>(r.field);
        type(f, "512");
        QTest::keyClick(f, Qt::Key_Tab);
        EXPECT_EQ(spy.count(), 0) << r.field;
        type(f, "512");
        QTest::keyClick(f, Qt::Key_Return);
        type(f, "many");
        QTest::keyClick(f, Qt::Key_Return);
        ASSERT_EQ(spy.count(), 2) << r.field;
        EXPECT_EQ(spy.at(0).at(0).toInt(), 512);
        EXPECT_EQ(spy.at(1).at(0).toInt(), 0);
    }
}

TEST_F(VsaWindow, SwitchFlipsAndReportsItsState) {
    QSignalSpy sw(&dlg, &DialogVsa::vsaSwitchClocked);
    auto *label = child<labelSwitch>("labelVsaOn");
    const QImage off = label->pixmap().toImage();
    ASSERT_FALSE(off.isNull());  // the off picture from the start
    QTest::mouseClick(label, Qt::LeftButton);
    const QImage on = label->pixmap().toImage();
    QTest::mouseClick(label, Qt::LeftButton);
    ASSERT_EQ(sw.count(), 2);
    EXPECT_TRUE(sw.at(0).at(0).toBool());
    EXPECT_FALSE(sw.at(1).at(0).toBool());
    EXPECT_FALSE(on.isNull());
    EXPECT_NE(on, off);
    EXPECT_EQ(label->pixmap().toImage(), off);
}

}  // namespace
