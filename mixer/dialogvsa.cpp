#include "mixer/dialogvsa.h"

#include <climits>
#include <cmath>

#include "ui_dialogvsa.h"
#include "widgets/indicators.h"

namespace {

// The integer fields: a whole base-10 number; text that is not one, or does
// not fit 32 bits, reads as 0.
int fieldValue(const QLineEdit *field) { return field->text().toInt(nullptr, 10); }

}  // namespace

float vsaFieldSpeed(const QString &text) {
    bool ok = false;
    const float speed = text.toFloat(&ok);
    return ok && std::isfinite(speed) ? speed : 0.0f;
}

int vsaSpeedSliderPosition(float speed) {
    // Converting a float beyond the int range is undefined: hold it first.
    if (!(speed == speed)) return 0;
    if (speed >= 2147483520.0f) return INT_MAX;  // the largest float below 2^31
    if (speed <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(speed);
}

DialogVsa::DialogVsa(QWidget *parent) : QDialog(parent), ui(new Ui::DialogVsa) {
    ui->setupUi(this);
    connect(ui->labelVsaOn, &labelSwitch::switchClicked, this, &DialogVsa::vsaSwitchMousePressed);
    ui->labelVsaOn->setSwitchPict(QStringLiteral(":/resources2/parts/vsaOff.png"),
                                  QStringLiteral(":/resources2/parts/vsaOn.png"));
    // The speed field starts at 0 while its slider stands at 100: the field
    // shows what was last sent, and nothing has been.
    ui->lineEditKey->setText(QStringLiteral("0"));
    ui->lineEditSpeed->setText(QStringLiteral("0"));
}

DialogVsa::~DialogVsa() { delete ui; }

void DialogVsa::vsaSwitchMousePressed(bool on) { emit vsaSwitchClocked(on); }

void DialogVsa::on_sliderKey_sliderMoved(int position) {
    ui->lineEditKey->setText(QString::number(position));
    emit vsaKeyChanged(position);
}

void DialogVsa::on_sliderSpeed_sliderMoved(int position) {
    ui->lineEditSpeed->setText(QString::number(position));
    emit vsaSpeedChanged(static_cast<float>(position));
}

void DialogVsa::on_lineEditKey_editingFinished() {
    const int key = fieldValue(ui->lineEditKey);
    // setValue clamps to the slider's range and is not a user move, so the
    // slider sends nothing of its own; the typed value goes out unclamped.
    ui->sliderKey->setValue(key);
    emit vsaKeyChanged(key);
}

void DialogVsa::on_lineEditSpeed_editingFinished() {
    const float speed = vsaFieldSpeed(ui->lineEditSpeed->text());
    ui->sliderSpeed->setValue(vsaSpeedSliderPosition(speed));
    emit vsaSpeedChanged(speed);
}

void DialogVsa::highBandClicked(int stage, bool checked) {
    if (checked)
        emit qmfHighON(stage);
    else
        emit qmfHighOFF(stage);
}

void DialogVsa::lowBandClicked(int stage, bool checked) {
    if (checked)
        emit qmfLoON(stage);
    else
        emit qmfLoOFF(stage);
}

void DialogVsa::on_checkBoxHi0_clicked(bool checked) { highBandClicked(0, checked); }
void DialogVsa::on_checkBoxHi0_2_clicked(bool checked) { highBandClicked(1, checked); }
void DialogVsa::on_checkBoxHi0_3_clicked(bool checked) { highBandClicked(2, checked); }
void DialogVsa::on_checkBoxHi0_4_clicked(bool checked) { highBandClicked(3, checked); }
void DialogVsa::on_checkBoxHi0_5_clicked(bool checked) { highBandClicked(4, checked); }
void DialogVsa::on_checkBoxHi0_6_clicked(bool checked) { highBandClicked(5, checked); }
void DialogVsa::on_checkBoxHi0_7_clicked(bool checked) { highBandClicked(6, checked); }
void DialogVsa::on_checkBoxHi0_8_clicked(bool checked) { highBandClicked(7, checked); }
void DialogVsa::on_checkBoxLo0_clicked(bool checked) { lowBandClicked(0, checked); }
void DialogVsa::on_checkBoxLo0_2_clicked(bool checked) { lowBandClicked(1, checked); }
void DialogVsa::on_checkBoxLo0_3_clicked(bool checked) { lowBandClicked(2, checked); }
void DialogVsa::on_checkBoxLo0_4_clicked(bool checked) { lowBandClicked(3, checked); }
void DialogVsa::on_checkBoxLo0_5_clicked(bool checked) { lowBandClicked(4, checked); }
void DialogVsa::on_checkBoxLo0_6_clicked(bool checked) { lowBandClicked(5, checked); }
void DialogVsa::on_checkBoxLo0_7_clicked(bool checked) { lowBandClicked(6, checked); }
void DialogVsa::on_checkBoxLo0_8_clicked(bool checked) { lowBandClicked(7, checked); }

void DialogVsa::on_lineEditVsaUnit_returnPressed() { emit vsaUnitChanged(fieldValue(ui->lineEditVsaUnit)); }

void DialogVsa::on_lineEditVsaFade_returnPressed() { emit vsaFadeChanged(fieldValue(ui->lineEditVsaFade)); }

void DialogVsa::on_lineEditBankNum_returnPressed() { emit vsaBankNumChanged(fieldValue(ui->lineEditBankNum)); }

void DialogVsa::on_lineEditBankDelay_returnPressed() { emit vsaBankDelayChanged(fieldValue(ui->lineEditBankDelay)); }
