// The control window of the variable-speed time stretch: an on/off switch,
// the key in semitones and the speed in percent (each a slider with a field
// beside it), the high and low band of each of the eight stages of the
// filter-bank tree, and four numbers of the stretch (unit size, fade length,
// bank number, bank delay). It only reports: every change is a signal to the
// main window.
//
// A slider and its field follow each other only through what the user does:
// dragging sends the slider's position and writes it into the field; a
// finished edit of the field moves the slider (within its range) and sends
// the number as typed. The four numbers are sent on Return alone. Nothing is
// range-checked here.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class DialogVsa;
}

class DialogVsa : public QDialog {
    Q_OBJECT
public:
    explicit DialogVsa(QWidget *parent = nullptr);
    ~DialogVsa() override;

signals:
    void vsaSwitchClocked(bool iEnable);
    void vsaKeyChanged(int iValue);      // semitones
    void vsaSpeedChanged(float iValue);  // percent
    void qmfHighON(int iFilterNum);      // stage 0..7
    void qmfHighOFF(int iFilterNum);
    void qmfLoON(int iFilterNum);
    void qmfLoOFF(int iFilterNum);
    void vsaUnitChanged(int iVsaUnitSize);
    void vsaFadeChanged(int iVsaFadeLength);
    void vsaBankNumChanged(int iVsaBankNum);
    void vsaBankDelayChanged(int iVsaBankDelay);

public slots:
    // The switch label's press, with the switch's new state.
    void vsaSwitchMousePressed(bool on);

private slots:
    void on_sliderKey_sliderMoved(int position);
    void on_sliderSpeed_sliderMoved(int position);
    void on_lineEditKey_editingFinished();
    void on_lineEditSpeed_editingFinished();

    void on_checkBoxHi0_clicked(bool checked);
    void on_checkBoxHi0_2_clicked(bool checked);
    void on_checkBoxHi0_3_clicked(bool checked);
    void on_checkBoxHi0_4_clicked(bool checked);
    void on_checkBoxHi0_5_clicked(bool checked);
    void on_checkBoxHi0_6_clicked(bool checked);
    void on_checkBoxHi0_7_clicked(bool checked);
    void on_checkBoxHi0_8_clicked(bool checked);
    void on_checkBoxLo0_clicked(bool checked);
    void on_checkBoxLo0_2_clicked(bool checked);
    void on_checkBoxLo0_3_clicked(bool checked);
    void on_checkBoxLo0_4_clicked(bool checked);
    void on_checkBoxLo0_5_clicked(bool checked);
    void on_checkBoxLo0_6_clicked(bool checked);
    void on_checkBoxLo0_7_clicked(bool checked);
    void on_checkBoxLo0_8_clicked(bool checked);

    void on_lineEditVsaUnit_returnPressed();
    void on_lineEditVsaFade_returnPressed();
    void on_lineEditBankNum_returnPressed();
    void on_lineEditBankDelay_returnPressed();

private:
    void highBandClicked(int stage, bool checked);
    void lowBandClicked(int stage, bool checked);

    Ui::DialogVsa *ui;
};

// The speed field's text as a single-precision number; text that is not a
// finite number reads as 0.
float vsaFieldSpeed(const QString &text);

// Where a typed speed puts the speed slider before the slider's own range
// applies: cut toward zero, held within the int range.
int vsaSpeedSliderPosition(float speed);
