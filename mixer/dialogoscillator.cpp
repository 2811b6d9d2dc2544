#include "mixer/dialogoscillator.h"

#include <QByteArray>
#include <QMessageBox>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "mixer/eqcontrols.h"
#include "mixer/osclamps.h"
#include "ui_dialogoscillator.h"

int osc_frequencyFromText(const QString &text) {
    bool ok = false;
    int hz = text.toInt(&ok, 10);
    if (!ok) hz = 0;
    if (hz < 2) return kOscFreqMin;
    return std::min(hz, static_cast<int>(kOscFreqMax));
}

double osc_levelFromText(const QString &text) {
    bool ok = false;
    double dB = text.toDouble(&ok);
    if (!ok || std::isnan(dB)) dB = 0.0;
    return std::clamp(dB, kOscLevelMinDb, kOscLevelMaxDb);
}

int osc_frameDigitsFromText(const QString &text) {
    bool ok = false;
    const int digits = text.toInt(&ok, 10);
    if (!ok) return kOscFrameDigitsDefault;
    if (digits == 3) return 3;
    return digits >= 4 ? 4 : kOscFrameDigitsDefault;
}

uint32_t osc_patternFromText(const QString &text) {
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    uint32_t pattern = 0;
    for (int i = 0; i < 4 && i < bytes.size(); ++i)
        pattern |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (24 - 8 * i);
    return pattern;
}

QStringList osc_inputPairItems(unsigned int n) {
    QStringList items;
    for (unsigned long long k = 1; k - 1 < n; k += 2) items << QStringLiteral("Ch %1-%2").arg(k).arg(k + 1);
    return items;
}

DialogOscillator::DialogOscillator(QWidget *parent) : QDialog(parent), ui(new Ui::DialogOscillator) {
    ui->setupUi(this);
    connect(ui->labelOscIndicator, &oscIndicator::selOscOnOff, this, &DialogOscillator::oscIndClicked);
    connect(ui->lineEditFreq, &widgetEqParamText::enterKeyPressed, this, &DialogOscillator::changeOscFreqAndLevel);
    connect(ui->lineEditLevel, &widgetEqParamText::enterKeyPressed, this, &DialogOscillator::changeOscFreqAndLevel);
    connect(ui->lineEditDigitFrame, &widgetEqParamText::enterKeyPressed, this, &DialogOscillator::changeDigitOfFrame);
    connect(ui->radioButtonSine, &QRadioButton::clicked, this, &DialogOscillator::radioSineClicked);
    connect(ui->radioButtonFixed, &QRadioButton::clicked, this, &DialogOscillator::radioFixedPatClicked);
    connect(ui->lineEditFixedPat, &QLineEdit::textChanged, this, &DialogOscillator::fixedPatChanged);
    connect(ui->labelInMoni, &labelInMonitor::selectEnable, this, &DialogOscillator::selectInMonitorEn);
    ui->lineEditLevel->mDecimals = 2;
    // clicked() comes only from the user, so this sends nothing: the
    // generator starts with a sine of its own.
    ui->radioButtonSine->setChecked(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogOscillator::~DialogOscillator() { delete ui; }

void DialogOscillator::oscIndClicked(int on) { emit selOscOnOff(on); }

void DialogOscillator::changeOscFreqAndLevel() {
    freqConfirmed();
    levelConfirmed();
}

void DialogOscillator::freqConfirmed() {
    const int hz = osc_frequencyFromText(ui->lineEditFreq->text());
    ui->lineEditFreq->setText(QString::number(hz));
    emit freqChanged(hz);
}

void DialogOscillator::levelConfirmed() {
    const double dB = osc_levelFromText(ui->lineEditLevel->text());
    ui->lineEditLevel->setText(QString::number(dB, 'f', 2));
    emit levelChanged(dB);
}

void DialogOscillator::changeDigitOfFrame() {
    const int digits = osc_frameDigitsFromText(ui->lineEditDigitFrame->text());
    ui->lineEditDigitFrame->setText(QString::number(digits));
    emit digitFrameChanged(digits);
}

void DialogOscillator::selectWave(bool checked, tOscWaveType type) {
    if (!checked) return;
    QRadioButton *const radios[] = {ui->radioButtonSine,     ui->radioButtonFixed, ui->radioButtonSaw,
                                    ui->radioButtonTriangle, ui->radioButtonWhite, ui->radioButtonPink};
    // Checking one radio unchecks the others of the window (auto-exclusive
    // siblings), so only the chosen one needs setting.
    radios[type]->setChecked(true);
    mOscType = type;
    emit oscParamChanged();
}

void DialogOscillator::radioSineClicked(bool checked) { selectWave(checked, kOscSine); }

void DialogOscillator::radioFixedPatClicked(bool checked) { selectWave(checked, kOscFixedPattern); }

void DialogOscillator::on_radioButtonSaw_clicked(bool checked) { selectWave(checked, kOscSawtooth); }

void DialogOscillator::on_radioButtonTriangle_clicked(bool checked) { selectWave(checked, kOscTriangle); }

void DialogOscillator::on_radioButtonWhite_clicked(bool checked) { selectWave(checked, kOscWhiteNoise); }

void DialogOscillator::on_radioButtonPink_clicked(bool checked) { selectWave(checked, kOscPinkNoise); }

void DialogOscillator::fixedPatChanged() {
    // Whatever wave is chosen: the owner copies type and pattern together.
    mFixedPattern = osc_patternFromText(ui->lineEditFixedPat->text());
    emit oscParamChanged();
}

void DialogOscillator::selectInMonitorEn(bool on) {
    if (mAsioInputCh != 0) {
        emit selectInMonitorEnToMain(on);
        return;
    }
    QMessageBox::warning(this, tr("Could not monitor."),
                         tr("No Recordable inputs in this device.\nPlease select recordable audio device."),
                         QMessageBox::Ok);
}

void DialogOscillator::setAsioInputCh(unsigned int channels) {
    mAsioInputCh = channels;
    ui->comboBoxInputCh->clear();
    if (channels == 0) return;
    ui->comboBoxInputCh->addItems(osc_inputPairItems(channels));
}

void DialogOscillator::on_comboBoxInputCh_currentIndexChanged(int index) { emit changeInputMoniCh(index); }

void DialogOscillator::on_checkBoxNcPhase_clicked(bool checked) { emit ncPhaseClicked(checked); }

void DialogOscillator::on_checkBoxShowSubFrame_clicked(bool checked) { emit showSubFrameCheckBoxClicked(checked); }

void DialogOscillator::mousePressEvent(QMouseEvent *) {
    freqConfirmed();
    levelConfirmed();
}
