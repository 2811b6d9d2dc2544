// The equaliser's type switch and numeric entry field, driven with real
// mouse and key events.
#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>

#include "mixer/eqcontrols.h"

namespace {

enum class Shown { None, On, Off };

Shown shownPicture(const QLabel &lamp) {
    const QImage img = lamp.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    if (img.isNull()) return Shown::None;
    auto picture = [](const char *path) {
        return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
    };
    if (img == picture(":/resources2/parts/EQ_button-on.png")) return Shown::On;
    if (img == picture(":/resources2/parts/EQ_button-off.png")) return Shown::Off;
    return Shown::None;
}

// A field in a shown dialog, holding the keyboard focus.
struct Field {
    QDialog dialog;
    widgetEqParamText *field;
    explicit Field(int decimals = 1) {
        dialog.resize(200, 80);
        field = new widgetEqParamText(&dialog);
        field->setGeometry(10, 10, 100, 22);
        field->mDecimals = decimals;
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        field->setFocus();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
};

}  // namespace

TEST(EqTypeSwitch, EveryPressReportsItsType) {
    eqtypesw sw;
    QSignalSpy spy(&sw, &eqtypesw::selEqType);
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton})
        QTest::mousePress(&sw, b, Qt::NoModifier, QPoint(2, 2));
    ASSERT_EQ(spy.size(), 3);
    for (const QList<QVariant> &args : spy) EXPECT_EQ(args.at(0).toInt(), 0);
    EXPECT_TRUE(sw.pixmap().isNull());  // the owner chooses the pictures
}

TEST(EqLamp, ClickControlDecidesWhatAPressDoes) {
    // The two pictures must differ, or the checks below could not tell them
    // apart.
    ASSERT_NE(QImage(":/resources2/parts/EQ_button-on.png"), QImage(":/resources2/parts/EQ_button-off.png"));

    struct Row {
        int control;        // -1: the lamp as built, no control set
        QList<int> states;  // selEqOnOff values after two presses
        int clicks;         // eqIndicatorClicked after two presses
    };
    const Row rows[] = {
        {-1, {}, 0},  // ignores presses until the owner sets a control
        {kIndicatorToggle, {1, 0}, 0},
        {kIndicatorClick, {}, 2},
        {kIndicatorIgnore, {}, 0},
        {5, {}, 0},
    };
    for (const Row &r : rows) {
        eqIndicator lamp;
        if (r.control >= 0) lamp.selectClickControl(static_cast<tIndicatorClickControl>(r.control));
        QSignalSpy states(&lamp, &eqIndicator::selEqOnOff);
        QSignalSpy clicks(&lamp, &eqIndicator::eqIndicatorClicked);

        QTest::mousePress(&lamp, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
        EXPECT_EQ(shownPicture(lamp), r.control == kIndicatorToggle ? Shown::On : Shown::None) << r.control;
        QTest::mousePress(&lamp, Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
        EXPECT_EQ(shownPicture(lamp), r.control == kIndicatorToggle ? Shown::Off : Shown::None) << r.control;
        QList<int> got;
        for (const QList<QVariant> &args : states) got << args.at(0).toInt();
        EXPECT_EQ(got, r.states) << r.control;
        EXPECT_EQ(clicks.size(), r.clicks) << r.control;

        // The owner's mirror works whatever the control, without a signal.
        lamp.changeEqIndicator(true);
        EXPECT_EQ(shownPicture(lamp), Shown::On);
        lamp.changeEqIndicator(false);
        EXPECT_EQ(shownPicture(lamp), Shown::Off);
        EXPECT_EQ(states.size(), r.states.size());
    }
}

TEST(EqLamp, ToggleStartsFromTheMirroredState) {
    // The equaliser window mirrors the on switch first; the next press turns
    // it off.
    eqIndicator lamp;
    lamp.selectClickControl(kIndicatorToggle);
    lamp.changeEqIndicator(true);
    QSignalSpy states(&lamp, &eqIndicator::selEqOnOff);
    QTest::mousePress(&lamp, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    ASSERT_EQ(states.size(), 1);
    EXPECT_EQ(states.at(0).at(0).toInt(), 0);
    EXPECT_EQ(shownPicture(lamp), Shown::Off);
}

TEST(EqParamText, ConfirmationCutsTheFraction) {
    struct Row {
        const char *text;
        int decimals;
        const char *kept;
    };
    const Row rows[] = {
        {"12.345", 1, "12.3"}, {"1.2.3", 1, "1.2"},  {"12.", 1, "12."},        {".", 1, "."},
        {"5", 1, "5"},         {"-0.55", 1, "-0.5"}, {"-3.14159", 2, "-3.14"}, {"0.5", 2, "0.5"},
        {"", 1, ""},           {"..7", 1, "."},      {"-.-9", 1, "-.-"},
    };
    for (const Row &r : rows) {
        widgetEqParamText field;
        field.mDecimals = r.decimals;
        field.setText(QString::fromLatin1(r.text));
        QSignalSpy confirmed(&field, &widgetEqParamText::enterKeyPressed);
        field.valueConfirmed();
        EXPECT_EQ(field.text(), QString::fromLatin1(r.kept)) << r.text;
        EXPECT_EQ(confirmed.size(), 1);
    }
}

TEST(EqParamText, ValueShownRoundedHalfUp) {
    struct Row {
        double value;
        int decimals;
        const char *shown;
    };
    const Row rows[] = {
        {0.95, 1, "1.0"},
        {16.0, 1, "16.0"},
        {0.1, 1, "0.1"},
        {0.7, 1, "0.7"},
        {12.34, 1, "12.3"},
        {12.35, 1, "12.4"},
        {0.0, 1, "0.0"},
        // Beyond what the equaliser's Q fields pass: a zero-padded fraction,
        // negative values and no fraction at all.
        {1.05, 2, "1.05"},
        {-6.0, 2, "-6.00"},
        {-1.26, 1, "-1.3"},
        {-0.04, 1, "0.0"},
        {2.5, 0, "3"},
    };
    for (const Row &r : rows) {
        widgetEqParamText field;
        field.mDecimals = r.decimals;
        field.setValue(r.value);
        EXPECT_EQ(field.text(), QString::fromLatin1(r.shown)) << r.value;
    }
}

TEST(EqParamText, KeyFilter) {
    Field f;
    // Letters and spaces are dropped; "-" and "." go in anywhere.
    QTest::keyClicks(f.field, "1a2 .3-x");
    EXPECT_EQ(f.field->text(), "12.3-");
    // Left/Right move the cursor; a character goes in where it is.
    QTest::keyClick(f.field, Qt::Key_Left);
    QTest::keyClick(f.field, Qt::Key_Left);
    QTest::keyClick(f.field, Qt::Key_Minus);
    EXPECT_EQ(f.field->text(), "12.-3-");
    QTest::keyClick(f.field, Qt::Key_Backspace);
    QTest::keyClick(f.field, Qt::Key_Delete);
    EXPECT_EQ(f.field->text(), "12.-");
    QTest::keyClick(f.field, Qt::Key_Right);
    // Keypad digits and modifiers do not matter; the key code does.
    QTest::keyClick(f.field, Qt::Key_7, Qt::KeypadModifier);
    QTest::keyClick(f.field, Qt::Key_8, Qt::ControlModifier);
    EXPECT_EQ(f.field->text(), "12.-78");
    // No editing shortcuts: Home, select-all, undo and paste change nothing.
    QTest::keyClick(f.field, Qt::Key_Home);
    QTest::keyClick(f.field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(f.field, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(f.field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(f.field, Qt::Key_9);
    EXPECT_EQ(f.field->text(), "12.-789");
    // Escape stays in the field: the dialog is not closed.
    QTest::keyClick(f.field, Qt::Key_Escape);
    EXPECT_TRUE(f.dialog.isVisible());
    EXPECT_EQ(f.field->text(), "12.-789");
}

TEST(EqParamText, ReturnConfirmsOnceAndGivesUpTheFocus) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        Field f;
        ASSERT_TRUE(f.field->hasFocus());
        QSignalSpy confirmed(f.field, &widgetEqParamText::enterKeyPressed);
        QTest::keyClicks(f.field, "-0.55");
        QTest::keyClick(f.field, key);
        EXPECT_EQ(confirmed.size(), 1);
        EXPECT_EQ(f.field->text(), "-0.5");
        EXPECT_FALSE(f.field->hasFocus());
        EXPECT_TRUE(f.dialog.isVisible());  // no default button took the key
    }
}

TEST(EqParamText, ClickSelectsAllSoTypingReplaces) {
    Field f;
    f.field->setText("123.4");
    f.field->clearFocus();
    QTest::mouseClick(f.field, Qt::LeftButton, Qt::NoModifier, QPoint(8, 10));
    EXPECT_EQ(f.field->selectedText(), "123.4");
    QTest::keyClicks(f.field, "5");
    EXPECT_EQ(f.field->text(), "5");
}
