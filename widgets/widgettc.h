// widgetTc: the line edit of the time counter. It takes a typed position
// (digits, "." and ":"), the editing keys and the clipboard and undo
// shortcuts, and reports Return/Enter and Escape as signals; what the text
// means is the owner's business.
//
// Keys are handled by key code, not by the event's text. Shift and Control
// are tracked by this widget's own flags from their press and release events
// (on macOS the Command key arrives as Control).
#pragma once

#include <QLineEdit>

class QFocusEvent;
class QKeyEvent;

class widgetTc : public QLineEdit {
    Q_OBJECT
public:
    explicit widgetTc(QWidget *parent = nullptr);

signals:
    // Return or Enter; the field has already given up the focus.
    void enterKeyPressed();
    // Escape; the field has already given up the focus.
    void escapeKeyPressed();

protected:
    // 0-9 (main or keypad), "." and ":" insert at the cursor over any
    // selection; Backspace, Delete; Left/Right move, extending the selection
    // while Shift is held; Control+A/C/V/X/Y/Z select all, copy, paste (not
    // filtered), cut, redo, undo. Every other key is swallowed.
    void keyPressEvent(QKeyEvent *event) override;
    // Releasing Shift or Control clears its flag.
    void keyReleaseEvent(QKeyEvent *event) override;
    // A modifier released while the focus is elsewhere never reaches this
    // field: both flags are cleared when the focus leaves.
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool mShift = false;
    bool mControl = false;
};
