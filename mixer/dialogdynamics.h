// The control window of the master-bus compressor: five typed parameters,
// an enable box and three horizontal stereo meters (input, gain reduction,
// output). The window changes nothing itself: each entry is sent as an
// integer signal when the user presses Return in its field (or clicks the
// box), and the receiver sets the compressor. The fields keep what the user
// typed; nothing is range-checked here.
//
// The owner feeds the meters from its 45 ms timer with setMeterData, shown or
// not.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

#include "dsp/dynamics.h"

namespace Ui {
class DialogDynamics;
}

// Which meter a level pair is for.
enum tDynamicsMeterType : int {
    kDynamicsMeterIn = 0,
    kDynamicsMeterOut = 1,
    kDynamicsMeterReduction = 2,
};

class DialogDynamics : public QDialog {
    Q_OBJECT
public:
    explicit DialogDynamics(QWidget *parent = nullptr);
    ~DialogDynamics() override;

    // Places the three meters and their bars and lamps (15 pixels high, the
    // two channels' bars one above the other).
    void setMeterPosition();
    // setMeterPosition, then a repaint of the whole window at once.
    void redrawWindow();

    // One update of a meter with the compressor's linear amplitudes (1.0 is
    // full scale); then the three meters are repainted at once. A type that
    // names no meter feeds none, the repaint still happens.
    void setMeterData(tDynamicsMeterType type, tDynamicsPair levels);

signals:
    void dynamicsEnable(int iEnable);  // 1 checked, 0 cleared
    void thresholdLevelChanged(int iThresholdDB);
    void attackTimeChanged(int iAttackTime);    // ms
    void releaseTimeChanged(int iReleaseTime);  // ms
    void ratioChanged(int iRatio10);            // ratio × 10
    void makeupGainChanged(int iMakeup);        // dB

private slots:
    void on_checkBoxDynamics_clicked(bool checked);
    void on_lineEditThreshold_returnPressed();
    void on_lineEditAttack_returnPressed();
    void on_lineEditRelease_returnPressed();
    void on_lineEditRatio_returnPressed();
    void on_lineEditMakeup_returnPressed();

private:
    Ui::DialogDynamics *ui;
};

// The ratio field's text as the ratio × 10, cut toward zero ("1.99" → 19,
// "2.5" → 25, "0.05" → 0). Text that is not a number reads as 0. A typed
// decimal is taken at its face value: 2.3 gives 23, although 2.3 × 10 is a
// hair below 23 in binary. Values beyond the int range give its limits.
int dynamicsRatio10(const QString &text);
