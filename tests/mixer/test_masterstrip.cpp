// The master strip: typed and dragged levels, the mute button, the EQ
// button, the lamp that only shows, and the output-bus list.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "mixer/eqcontrols.h"
#include "mixer/masterstrip.h"
#include "mixer/stripfader.h"

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

QStringList items(const QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

}  // namespace

TEST(MasterStrip, LevelTypedOrDragged) {
    masterstrip s;
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    QSignalSpy reports(&s, &masterstrip::reportVolumeChanged);
    QLineEdit *field = child<QLineEdit>(s, "lineEditVol");
    faderTopVol *knob = child<faderTopVol>(s, "label_FaderTopVol");
    EXPECT_EQ(field->text(), "0.0");
    EXPECT_EQ(knob->y(), 20);
    EXPECT_EQ(child<QWidget>(s, "widgetMeter")->geometry(), QRect(50, 297, 30, 160));

    struct Case {
        const char *text;
        float dB;
        const char *shown;
        int knobY;
    };
    // +3 dB is the sixth step from the top (pixel 10); −16 dB the 40th.
    for (const Case &c : {Case{"3", 3.0f, "3.0", 10}, Case{"abc", -16.0f, "-16.0", 66},
                          Case{"-500", -120.0f, "-120.0", 121}, Case{"99", 6.0f, "6.0", 0}}) {
        type(field, c.text);
        EXPECT_EQ(s.mLevel, c.dB) << c.text;
        EXPECT_EQ(field->text(), c.shown) << c.text;
        EXPECT_EQ(knob->y(), c.knobY) << c.text;
    }
    EXPECT_EQ(reports.count(), 4);

    // The track and the knob report like the channel strip's.
    WidgetMixvolBase *track = child<WidgetMixvolBase>(s, "widgetVolBase");
    QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(15, 15 + 60));
    EXPECT_EQ(s.mLevel, -12.0f);
    EXPECT_EQ(field->text(), "-12.0");
    QTest::mousePress(knob, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(knob, QPoint(10, 11));
    QTest::mouseRelease(knob, Qt::LeftButton, {}, QPoint(10, 11));
    EXPECT_EQ(s.mLevel, -13.0f);
    EXPECT_EQ(reports.count(), 6);
}

TEST(MasterStrip, MuteEqAndLamp) {
    masterstrip s;
    s.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s));
    QSignalSpy mute(&s, &masterstrip::muteButtonClicked);
    QSignalSpy eq(&s, &masterstrip::eqButtonClicked);
    QPushButton *button = child<QPushButton>(s, "pushButtonMute");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->isChecked());
    EXPECT_TRUE(s.muteOn());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isChecked());
    ASSERT_EQ(mute.count(), 2);
    EXPECT_TRUE(mute.at(0).at(0).toBool());
    EXPECT_FALSE(mute.at(1).at(0).toBool());

    QTest::mouseClick(child<QPushButton>(s, "pushPEQ"), Qt::LeftButton);
    EXPECT_EQ(eq.count(), 1);
    // The lamp ignores clicks and keeps its picture.
    eqIndicator *lamp = child<eqIndicator>(s, "labelEqIndicator");
    const QImage before = lamp->pixmap().toImage();
    QTest::mouseClick(lamp, Qt::LeftButton);
    EXPECT_EQ(lamp->pixmap().toImage(), before);
    EXPECT_EQ(before, QImage(":/resources2/parts/EQ_button-off.png").convertToFormat(before.format()));
    EXPECT_EQ(eq.count(), 1);
}

TEST(MasterStrip, OutputBuses) {
    masterstrip s;
    QComboBox *box = child<QComboBox>(s, "comboBoxOutBus");
    QSignalSpy bus(&s, &masterstrip::currentOutputChanged);
    s.setOutputChannels(1);
    EXPECT_EQ(items(box), QStringList());
    s.setOutputChannels(5);
    EXPECT_EQ(items(box), QStringList({"Ch 1-2", "Ch 3-4"}));
    s.setOutputChannels(8);
    EXPECT_EQ(items(box), QStringList({"Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}));
    EXPECT_EQ(bus.count(), 0);

    // Only the owner's choice reports; the user's choice in the list does not.
    s.setCurrentOutputBus(2);
    EXPECT_EQ(box->currentIndex(), 2);
    ASSERT_EQ(bus.count(), 1);
    EXPECT_EQ(bus.at(0).at(0).toInt(), 2);
    box->setCurrentIndex(3);
    EXPECT_EQ(bus.count(), 1);
}
