// The mixer window's master column: level fader and field, "EQ" button for
// the master equaliser window, an equaliser lamp that only shows, a mute
// button, a stereo meter and the output-bus list, under "MASTER".
//
// The strip keeps the master level (mLevel, dB) and its mute state and
// reports changes; the mixer turns them into the master gain.
//
// GUI thread only.
#pragma once

#include <QWidget>

namespace Ui {
class masterstrip;
}

class masterstrip : public QWidget {
    Q_OBJECT

public:
    explicit masterstrip(QWidget *parent = nullptr);
    ~masterstrip() override;
    masterstrip(const masterstrip &) = delete;
    masterstrip &operator=(const masterstrip &) = delete;

    float mLevel = 0.0f;  // master fader in dB; read by the mixer after reportVolumeChanged

    bool muteOn() const { return mMuteOn; }

    // Meter feed, as on the channel strips.
    void setMeterData(const double *levels, int mode, int intervalMs);
    // Puts the meter and its parts back at their places and repaints.
    void redrawWindow();
    // One "Ch a-b" item per whole pair of the device's outputs; empty below 2.
    void setOutputChannels(int channels);
    // Selects bus `bus` and reports it; choosing in the list reports nothing.
    void setCurrentOutputBus(int bus);

signals:
    void reportVolumeChanged();
    void eqButtonClicked();
    void muteButtonClicked(bool on);
    void currentOutputChanged(int bus);

public slots:
    void volChanged(int position);
    void volChangedFixed();
    void on_lineEditVol_editingFinished();
    void on_pushButtonMute_clicked();
    void on_pushPEQ_clicked();
    void updateMeter();

private:
    void placeMeter();

    Ui::masterstrip *ui;
    bool mMuteOn = false;
};
