// Small controls of the equaliser window that other windows share: the band
// type switch, the equaliser on/off lamp and the numeric entry field.
//
// GUI thread only.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QString>

#include "widgets/indicators.h"

class QKeyEvent;
class QMouseEvent;

// A picture label that reports every press with its type number; the owner
// chooses its pictures and decides what a press means.
class eqtypesw : public QLabel {
    Q_OBJECT
public:
    explicit eqtypesw(QWidget *parent = nullptr);
    ~eqtypesw() override;

    int mType = 0;

signals:
    void selEqType(int type);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The equaliser on/off lamp: the equaliser window's master switch (toggle),
// a mixer strip's lamp (click: the owner opens the window and mirrors the
// state with changeEqIndicator) and the master strip's (ignores presses).
// Presses are ignored until the owner sets a click control. The owner's form
// gives the first picture.
class eqIndicator : public QLabel {
    Q_OBJECT
public:
    explicit eqIndicator(QWidget *parent = nullptr);
    ~eqIndicator() override;

    void selectClickControl(tIndicatorClickControl control);
    // Sets the state and shows its picture, without a signal.
    void changeEqIndicator(bool on);

signals:
    void selEqOnOff(int on);  // 1 on, 0 off
    void eqIndicatorClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void showState();

    bool mOnOff = false;
    int mClickControl = kIndicatorIgnore;
};

// The text a confirmed entry keeps: cut (not rounded) after `decimals`
// characters of the part after the first "."; parts after a second "." are
// dropped. Text with no "." is unchanged, and so is a trailing "." ("12."):
// the field checks no syntax, its owner reads the number.
QString eqParam_cutDecimals(const QString &text, int decimals);

// A value shown with `decimals` decimals, rounded half up on the magnitude
// (0.95 → "1.0", 16 → "16.0"); a negative value carries "-" unless it rounds
// to zero. decimals ≤ 0 shows the integer alone.
QString eqParam_valueText(double value, int decimals);

// A numeric entry field. It takes digits, "-" and "." anywhere (keypad keys
// too, whatever the modifiers), Backspace, Delete, Left and Right; every
// other key is swallowed, so a dialog never sees Escape or Return from it.
// Return or Enter gives up the focus and confirms. A click selects the whole
// text, so that typing replaces it.
class widgetEqParamText : public QLineEdit {
    Q_OBJECT
public:
    explicit widgetEqParamText(QWidget *parent = nullptr);
    ~widgetEqParamText() override;

    int mDecimals = 1;  // decimals kept by a confirmation and shown by setValue

    // Cuts the fraction to mDecimals and emits enterKeyPressed(). Owners
    // also call it when the field's editing finishes, so leaving a field
    // applies it.
    void valueConfirmed();
    void setValue(double value);

signals:
    void enterKeyPressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
