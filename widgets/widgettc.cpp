#include "widgets/widgettc.h"

#include <QKeyEvent>

widgetTc::widgetTc(QWidget *parent) : QLineEdit(parent) {}

void widgetTc::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Period || key == Qt::Key_Colon) {
        insert(QString(QChar(key)));  // these key codes are their Latin-1 characters
        return;
    }
    switch (key) {
    case Qt::Key_Backspace: backspace(); return;
    case Qt::Key_Delete: del(); return;
    case Qt::Key_Left: cursorBackward(mShift, 1); return;
    case Qt::Key_Right: cursorForward(mShift, 1); return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        deselect();
        clearFocus();
        emit enterKeyPressed();
        return;
    case Qt::Key_Escape:
        deselect();
        clearFocus();
        emit escapeKeyPressed();
        return;
    case Qt::Key_Shift: mShift = true; return;
    case Qt::Key_Control: mControl = true; return;
    default: break;
    }
    if (!mControl) return;
    switch (key) {
    case Qt::Key_A: selectAll(); break;
    case Qt::Key_C: copy(); break;
    case Qt::Key_V: paste(); break;
    case Qt::Key_X: cut(); break;
    case Qt::Key_Y: redo(); break;
    case Qt::Key_Z: undo(); break;
    default: break;
    }
}

void widgetTc::keyReleaseEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Control)
        mControl = false;
    else if (event->key() == Qt::Key_Shift)
        mShift = false;
}

void widgetTc::focusOutEvent(QFocusEvent *event) {
    mShift = false;
    mControl = false;
    QLineEdit::focusOutEvent(event);
}
