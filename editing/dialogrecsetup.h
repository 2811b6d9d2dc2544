// The recording set-up window ("Device Setup"): driver, play device with its
// output pair and rate, record device with its input pair and rate, and the
// recording's folder, name, format and word length in one place.
//
// It holds no device logic. The main window fills the device, channel and
// rate lists, mirrors the window's choices into its own controls and the
// engine through the six index signals, and reads the folder, name, rate,
// format and word length when a recording starts. The window only keeps the
// record format and word length consistent with the chosen record rate.
//
// GUI thread only. Made once without a parent; OK and closing only hide it.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <functional>

#include "engine/recengine.h"

class QComboBox;
class QLineEdit;

namespace Ui {
class DialogRecSetup;
}

// Which device list(s) addDevice, clearDevice and setCurrentDevice act on.
// Any value not named here acts on the play list.
enum tDevTypeDriver : int {
    kDevTypeBoth = 0,           // play and record lists (add: play, then record)
    kDevTypeRecUnselected = 1,  // record list; add leaves it without a selection
    kDevTypePlayShown = 2,      // play list (when the window is shown or restored)
    kDevTypePlay = 3,           // play list
    kDevTypeRec = 4,            // record list
};

// The record format is the output format index shared with the export
// window and the recorder: kRecFormatWav, kRecFormatDsdiff, kRecFormatDsf
// (engine/recengine.h).

class DialogRecSetup : public QDialog {
    Q_OBJECT
public:
    explicit DialogRecSetup(QWidget *parent = nullptr);
    ~DialogRecSetup() override;

    void addDevice(tDevTypeDriver type, const QString &name);
    void clearDevice(tDevTypeDriver type);
    void setCurrentDevice(tDevTypeDriver type, int index);

    // Rebuilds the input-pair list for a device of `count` channels, keeping
    // the selected pair when the new list has it and otherwise the first.
    void setInputCh(unsigned count);
    // Rebuilds the output-pair list and selects its first pair.
    void setOutputCh(unsigned count);
    // Selects input pair `index` when the list has it; otherwise nothing.
    void setCurrentInputCh(int index);

    // Word length of the bit list's text: 1, 24, 32, else 16.
    int getRecBit() const;
    // ".wav", ".dff" or ".dsf" for the format list's entry; empty without one.
    QString getRecFileExt() const;

    // The record format (kRecFormat*), as the format list last set it.
    int recFormat() const { return mRecFormat; }
    unsigned inputChannels() const { return mInputChannels; }
    unsigned outputChannels() const { return mOutputChannels; }
    int selectedInputPair() const { return mSelectedInputPair; }

    // The form's widgets the main window works on directly: it refills the
    // two rate lists and the format list at every device boot, sets the rate
    // and driver indexes, and reads the folder, name and record rate when a
    // recording starts.
    QComboBox *comboBox_driver = nullptr;
    QComboBox *ComboboxPlayFreq = nullptr;
    QComboBox *comboboxRecFreq = nullptr;
    QComboBox *BounceFormat = nullptr;
    QComboBox *BounceBit = nullptr;
    QLineEdit *plainTextEditDir = nullptr;
    QLineEdit *plainTextEditFile = nullptr;

    // The folder dialog, replaceable by tests: (parent, caption, start folder,
    // options) -> the chosen folder, empty when cancelled.
    using tExistingDirectoryFunc =
        std::function<QString(QWidget *, const QString &, const QString &, QFileDialog::Options)>;
    static tExistingDirectoryFunc sGetExistingDirectory;

signals:
    // Each carries the list's new index (-1 while a list is empty).
    void audioDriverChanged(int index);
    void playDeviceChanged(int index);  // only when it differs from the last one reported
    void playFreqChanged(int index);
    void recChannelChanged(int index);
    void playChannelChanged(int index);  // never for -1
    void recDevice_changed(int index);

private slots:
    void on_comboBox_driver_currentIndexChanged(int index);
    void on_comboBoxPlayDevice_currentIndexChanged(int index);
    void on_ComboboxPlayFreq_currentIndexChanged(int index);
    void on_comboBoxInputCh_currentIndexChanged(int index);
    void on_comboBoxOutputCh_currentIndexChanged(int index);
    void on_comboBoxRecDevice_currentIndexChanged(int index);
    void on_BounceFormat_currentIndexChanged(int index);
    void on_comboboxRecFreq_currentIndexChanged(int index);
    void on_pushSelDir_clicked();

private:
    Ui::DialogRecSetup *ui;
    int mRecFormat = kRecFormatWav;
    unsigned mInputChannels = 0;
    unsigned mOutputChannels = 0;
    int mSelectedInputPair = 0;
    // -9 so that the first real selection, entry 0 included, is reported.
    int mLastPlayDevice = -9;
};

// Channel-pair entries for a device of `channels` channels: "Channel 1-2",
// "Channel 3-4", ...; an odd count gets a last pair whose second channel does
// not exist ("Channel 3-4" for 3). None for 0.
QStringList recSetupChannelPairs(unsigned channels);

// Word length of a bit-list text by its prefix (case-sensitive): "1bit" 1,
// "24bit" 24, "32bit" 32, anything else 16.
int recSetupBitsFromText(const QString &text);

// Extension of a record format index: 0 ".wav", 1 ".dff", 2 ".dsf", else "".
QString recSetupFileExt(int formatIndex);

// The format a record rate forces: WAV above 2822399 Hz becomes DSDIFF, DSDIFF
// or DSF at 2822399 Hz or less become WAV; otherwise the format stays.
int recSetupFormatForRate(int format, int rateHz);
