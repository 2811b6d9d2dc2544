// The two lamps of the oscillator window: the generator's on/off lamp and
// the input-monitor lamp. Pictures are loaded from their resource path each
// time they are shown.
//
// GUI thread only.
#pragma once

#include <QLabel>

#include "widgets/indicators.h"

class QMouseEvent;

// The generator lamp. It follows the lamps' click rules; the oscillator
// window leaves it a toggle.
class oscIndicator : public QLabel {
    Q_OBJECT
public:
    explicit oscIndicator(QWidget *parent = nullptr);
    ~oscIndicator() override;

    void selectClickControl(tIndicatorClickControl control);
    // Sets the state without a signal. It shows the equaliser-style lamp
    // pictures of the same folder, not the generator's own.
    void changeoscIndicator(bool on);
    bool isOn() const { return mOnOff; }

signals:
    void selOscOnOff(int on);  // 1 on, 0 off
    void oscIndicatorClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool mOnOff = false;
    int mClickControl = kIndicatorToggle;
};

// The input-monitor lamp: every press toggles it and reports the new state.
class labelInMonitor : public QLabel {
    Q_OBJECT
public:
    explicit labelInMonitor(QWidget *parent = nullptr);
    ~labelInMonitor() override;

    bool isOn() const { return mOnOff; }

signals:
    void selectEnable(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool mOnOff = false;
};
