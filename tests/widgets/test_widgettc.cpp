// The time-counter field, typed into as a user would with the focus on it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

#include "widgets/widgettc.h"

namespace {

// The field in a window beside a second focusable widget, focused and empty.
struct Counter {
    QWidget window;
    widgetTc *field;
    QLineEdit *other;

    Counter() {
        auto *layout = new QVBoxLayout(&window);
        field = new widgetTc(&window);
        other = new QLineEdit(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
        field->setFocus();
    }
    bool ready() { return QTest::qWaitForWindowActive(&window) && field->hasFocus(); }
    void type(std::initializer_list<Qt::Key> keys, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        for (Qt::Key k : keys) QTest::keyClick(field, k, mods);
    }
};

}  // namespace

TEST(WidgetTc, TakesOnlyTheCharactersOfATimePosition) {
    struct Case {
        const char *what;
        std::vector<Qt::Key> keys;
        Qt::KeyboardModifiers mods;
        QString text;
    };
    const Case cases[] = {
        {"a position",
         {Qt::Key_0, Qt::Key_1, Qt::Key_Colon, Qt::Key_2, Qt::Key_3, Qt::Key_Period, Qt::Key_5},
         Qt::NoModifier,
         "01:23.5"},
        {"keypad digits", {Qt::Key_4, Qt::Key_2, Qt::Key_Period, Qt::Key_0}, Qt::KeypadModifier, "42.0"},
        {"letters, minus, space and the navigation keys",
         {Qt::Key_1, Qt::Key_A, Qt::Key_X, Qt::Key_Minus, Qt::Key_Space, Qt::Key_Home, Qt::Key_Up, Qt::Key_Down,
          Qt::Key_End, Qt::Key_PageUp, Qt::Key_2},
         Qt::NoModifier,
         "12"},
        {"editing keys",
         {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_Backspace, Qt::Key_Left, Qt::Key_Delete, Qt::Key_9},
         Qt::NoModifier,
         "19"},
        {"clipboard letters without Control", {Qt::Key_5, Qt::Key_A, Qt::Key_V, Qt::Key_Z}, Qt::NoModifier, "5"},
    };
    for (const Case &c : cases) {
        Counter k;
        ASSERT_TRUE(k.ready());
        for (Qt::Key key : c.keys) QTest::keyClick(k.field, key, c.mods);
        EXPECT_EQ(k.field->text(), c.text) << c.what;
        EXPECT_TRUE(k.field->hasFocus()) << c.what;
    }
}

TEST(WidgetTc, ControlShortcutsSelectCopyPasteAndUndo) {
    Counter k;
    ASSERT_TRUE(k.ready());
    k.field->setText("00:00:10.00");
    // select all, then a digit replaces the whole text
    k.type({Qt::Key_A}, Qt::ControlModifier);
    EXPECT_EQ(k.field->selectedText(), "00:00:10.00");
    k.type({Qt::Key_7});
    EXPECT_EQ(k.field->text(), "7");
    k.type({Qt::Key_Z}, Qt::ControlModifier);
    EXPECT_EQ(k.field->text(), "00:00:10.00");
    k.type({Qt::Key_Y}, Qt::ControlModifier);
    EXPECT_EQ(k.field->text(), "7");

    k.type({Qt::Key_A}, Qt::ControlModifier);
    k.type({Qt::Key_C}, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "7");
    k.type({Qt::Key_X}, Qt::ControlModifier);
    EXPECT_EQ(k.field->text(), "");

    // paste is not filtered
    QApplication::clipboard()->setText("1:2b");
    k.type({Qt::Key_V}, Qt::ControlModifier);
    EXPECT_EQ(k.field->text(), "1:2b");
}

TEST(WidgetTc, ShiftExtendsTheSelectionOnlyWhileHeld) {
    Counter k;
    ASSERT_TRUE(k.ready());
    k.type({Qt::Key_1, Qt::Key_2, Qt::Key_3});
    QTest::keyPress(k.field, Qt::Key_Shift);
    QTest::keyClick(k.field, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(k.field->selectedText(), "3");
    QTest::keyClick(k.field, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(k.field->selectedText(), "23");
    QTest::keyRelease(k.field, Qt::Key_Shift);
    k.type({Qt::Key_Left});
    EXPECT_FALSE(k.field->hasSelectedText());
    EXPECT_EQ(k.field->cursorPosition(), 0);
    k.type({Qt::Key_Right});
    EXPECT_EQ(k.field->cursorPosition(), 1);
    EXPECT_FALSE(k.field->hasSelectedText());
}

TEST(WidgetTc, ModifiersReleasedElsewhereDoNotStick) {
    Counter k;
    ASSERT_TRUE(k.ready());
    k.type({Qt::Key_1, Qt::Key_2});
    // Shift and Control go down in the field, the user clicks away and lets
    // them go there, then comes back
    QTest::keyPress(k.field, Qt::Key_Shift);
    QTest::keyPress(k.field, Qt::Key_Control);
    k.other->setFocus();
    ASSERT_TRUE(k.other->hasFocus());
    QTest::keyRelease(k.other, Qt::Key_Shift);
    QTest::keyRelease(k.other, Qt::Key_Control);
    k.field->setFocus();
    k.field->setCursorPosition(2);
    k.type({Qt::Key_Left});
    EXPECT_FALSE(k.field->hasSelectedText());
    k.type({Qt::Key_A});
    EXPECT_FALSE(k.field->hasSelectedText());
    EXPECT_EQ(k.field->text(), "12");
}

TEST(WidgetTc, ReturnAndEscapeReportOnceAndGiveUpTheFocus) {
    for (Qt::Key confirm : {Qt::Key_Return, Qt::Key_Enter}) {
        Counter k;
        ASSERT_TRUE(k.ready());
        QSignalSpy enter(k.field, &widgetTc::enterKeyPressed);
        QSignalSpy escape(k.field, &widgetTc::escapeKeyPressed);
        k.type({Qt::Key_1, Qt::Key_2});
        k.type({Qt::Key_A}, Qt::ControlModifier);
        bool focusedDuringSignal = true;
        QObject::connect(k.field, &widgetTc::enterKeyPressed, [&] { focusedDuringSignal = k.field->hasFocus(); });
        QTest::keyClick(k.field, confirm);
        EXPECT_EQ(enter.count(), 1);
        EXPECT_EQ(escape.count(), 0);
        EXPECT_FALSE(k.field->hasFocus());
        EXPECT_FALSE(focusedDuringSignal);  // the owner may rewrite the counter at once
        EXPECT_FALSE(k.field->hasSelectedText());
        EXPECT_EQ(k.field->text(), "12");
    }
    Counter k;
    ASSERT_TRUE(k.ready());
    QSignalSpy enter(k.field, &widgetTc::enterKeyPressed);
    QSignalSpy escape(k.field, &widgetTc::escapeKeyPressed);
    k.type({Qt::Key_3});
    k.type({Qt::Key_A}, Qt::ControlModifier);
    k.type({Qt::Key_Escape});
    EXPECT_EQ(escape.count(), 1);
    EXPECT_EQ(enter.count(), 0);
    EXPECT_FALSE(k.field->hasFocus());
    EXPECT_FALSE(k.field->hasSelectedText());
}
