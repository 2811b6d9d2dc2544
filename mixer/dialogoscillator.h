// DialogOscillator: the test-signal window ("Special Menu"). The user
// switches the generator on and off with a lamp and chooses its wave form,
// frequency, level and fixed pattern; the window also carries the counter's
// frame digits and sub-frame switch, input monitoring with its channel pair
// and the output polarity switch.
//
// The window keeps only the wave type, the pattern, the device's input
// channel count and rate; everything else goes out at once as signals. The
// owner copies mOscType and mFixedPattern into the generator (oscillatorMain
// in dsp/oscillator.h), as one pair or the type alone, stopping a running
// generator around the copy.
//
// Typed values are never refused: frequency, level and frame digits are
// turned into valid values, shown and sent.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "dsp/oscillator.h"

namespace Ui {
class DialogOscillator;
}

class QMouseEvent;

enum : int {
    kOscFreqMin = 1,  // Hz; also what unreadable text becomes
    kOscFreqMax = 1000000,
    kOscFrameDigitsDefault = 2,
};
constexpr double kOscLevelMinDb = -100.0;
constexpr double kOscLevelMaxDb = 18.0;

// The frequency a confirmed text stands for: a whole decimal number (text
// that is not one, a fraction such as "12.5", or a value beyond 32 bits,
// reads as 0), below 2 → 1, above 1,000,000 → 1,000,000.
int osc_frequencyFromText(const QString &text);
// The level in dB: the number limited to −100 .. +18 (not a number → 0).
double osc_levelFromText(const QString &text);
// The counter's frame digits: 3 stays 3, 4 and more give 4, anything else
// (text that is not a whole number included) gives 2.
int osc_frameDigitsFromText(const QString &text);
// The 32-bit pattern of a hexadecimal text: non-hex characters are skipped,
// an odd count of digits makes the first digit a byte of its own, and the
// first four bytes fill the word from the top (missing ones are zero).
uint32_t osc_patternFromText(const QString &text);
// The input-pair list for n device inputs: "Ch 1-2", "Ch 3-4", ... one item
// per started pair; empty for 0.
QStringList osc_inputPairItems(unsigned int n);

class DialogOscillator : public QDialog {
    Q_OBJECT
public:
    explicit DialogOscillator(QWidget *parent = nullptr);
    ~DialogOscillator() override;

    // Read (and copied as one pair) by the owner, so adjacent and in the
    // generator's order: wave type, then pattern.
    tOscWaveType mOscType = kOscSine;
    uint32_t mFixedPattern = 0xA53CA53Cu;

    // The device rate in Hz; nothing here depends on it.
    void setCurrentSampleRate(int rate) { mCurrentSampleRate = rate; }
    int currentSampleRate() const { return mCurrentSampleRate; }
    // The device's input channel count; rebuilds the input-pair list. The
    // index changes this causes are reported like the user's.
    void setAsioInputCh(unsigned int channels);

signals:
    void selOscOnOff(int on);
    void freqChanged(int hz);
    void levelChanged(double dB);
    void digitFrameChanged(int digits);
    void oscParamChanged();
    void selectInMonitorEnToMain(bool on);
    void changeInputMoniCh(int index);
    void ncPhaseClicked(bool on);
    void showSubFrameCheckBoxClicked(bool on);

public slots:
    void oscIndClicked(int on);
    void changeOscFreqAndLevel();
    void freqConfirmed();
    void levelConfirmed();
    void changeDigitOfFrame();
    void radioSineClicked(bool checked);
    void radioFixedPatClicked(bool checked);
    void fixedPatChanged();
    void selectInMonitorEn(bool on);

private slots:
    void on_comboBoxInputCh_currentIndexChanged(int index);
    void on_radioButtonSaw_clicked(bool checked);
    void on_radioButtonTriangle_clicked(bool checked);
    void on_radioButtonWhite_clicked(bool checked);
    void on_radioButtonPink_clicked(bool checked);
    void on_checkBoxNcPhase_clicked(bool checked);
    void on_checkBoxShowSubFrame_clicked(bool checked);

protected:
    // A press that no control takes confirms the frequency, then the level.
    void mousePressEvent(QMouseEvent *event) override;

private:
    void selectWave(bool checked, tOscWaveType type);

    Ui::DialogOscillator *ui;
    int32_t mCurrentSampleRate = 0;
    unsigned int mAsioInputCh = 0;
};
