// One track's column of the mixer window: fader and level field, pan control
// and pan field, stereo meter, input-pair list, record-arm, solo and mute
// buttons, equaliser lamp, effect-send lamp and level bar, delay field, name
// field and a small phase scope with its phase and peak-frequency labels.
//
// The strip keeps what the user sets and reports every change as a signal
// that carries its track number; the mixer reads the level and the pan back
// from mLevel and mPan. Level and pan reports are held back while the strip
// is unnumbered (−1); the other reports carry the number as it is.
//
// Threads: everything runs on the GUI thread except setFFTPeakFreq, which
// the mixer-analysis thread may call from its own thread.
#pragma once

#include <QStringList>
#include <QWidget>

#include <atomic>

class QKeyEvent;
namespace Ui {
class chstrip;
}

class chstrip : public QWidget {
    Q_OBJECT

public:
    explicit chstrip(QWidget *parent = nullptr);
    ~chstrip() override;
    chstrip(const chstrip &) = delete;
    chstrip &operator=(const chstrip &) = delete;

    int mPan = 0;         // −100 (left) .. +100 (right); read by the mixer after reportPanChanged
    float mLevel = 0.0f;  // fader level in dB; read by the mixer after reportVolumeChanged

    // The strip's index in the mixer: the channel picture and the meter bars
    // follow it, and every report carries it.
    void setTrackNumber(int track);
    int trackNumber() const { return mTrackNumber; }

    // Place the knob and show the value, storing and reporting nothing (the
    // main window after a project load).
    void setVolumeValueToWidget(float dB);
    void setPanValueToWidget(int pan);
    // The two field texts: level with one decimal within −120..+6, pan as
    // "L37", "C" or "R100".
    void setFaderValueToText(float dB);
    void setPanValue(int pan);

    // Lists one "Ch a-b" item per pair of the device's `channels` inputs and
    // keeps the selected pair while it is still listed (else the first).
    void setInputCh(unsigned channels);
    int selectedInputPair() const { return mSelectedPair; }

    // The mute button's lamp, which the mixer sets by its solo rule.
    void setMuteIndicatorOn(bool on);
    // Takes the focus from the pan and level fields.
    void unselectAll();
    QString getTrackName() const;

    bool soloOn() const { return mSoloOn; }
    bool muteOn() const { return mMuteOn; }
    bool sendOn() const { return mSendOn; }
    double delayMs() const { return mDelay; }

    // Meter feed: a level pair on the scale of the mode (0 PCM, 1 DSD) every
    // `intervalMs`; the owner then calls updateMeter.
    void setMeterData(const double *levels, int mode, int intervalMs);
    // Puts the meter, its parts and the send bar back at their places and
    // repaints.
    void redrawWindow();
    void setOverHoldTime(int ms);
    void clearPrevMeter();
    void repaintMeter();

    // The spectrum peak of the track, Hz, from any thread: the read-out shows
    // "f=" and the nearest multiple of 10 Hz. Off the GUI thread the value is
    // kept and the label is updated from the GUI thread's event loop (one
    // pending update at a time; the newest value wins).
    void setFFTPeakFreq(float hz);
    int peakFreq() const { return mPeakFreq.load(); }

    // Feeds the phase scope (see widgetLissajous::setLissajous) and shows its
    // phase estimate in the "θ=" label.
    void setLissajous(const double *frames, int count, int length, int start);
    void redrawLissajous();

    // The equaliser lamp's click; connected to the lamp rather than by name,
    // since the strip has no button of that name.
    void on_pushPEQ_clicked();

signals:
    void reportVolumeChanged(int track);
    void reportPanChanged(int track);
    void reportEqButtonClicked(int track);
    void recChannelChanged(int pairIndex);
    void soloButtonClicked(int track, bool on);
    void muteButtonClicked(int track, bool on);
    void fxSendLevelChanged(int track, int levelDb);
    void fxSendOnClicked(int track, bool on);
    void reportDelayValChanged(int track, double ms);

public slots:
    void volChanged(int position);
    void panChanged(int position);
    void volChangedFixed();
    void panChangedFixed();
    void on_lineEditPan_editingFinished();
    void on_lineEditVol_editingFinished();
    void on_comboBoxInputCh_currentIndexChanged(int index);
    void on_pushButtonRecArm_clicked();
    void on_pushButtonSolo_clicked();
    void on_pushButtonMute_clicked();
    void updateMeter();
    void fxSendValueChangeEvent(int levelDb);
    void fxSendOnOffClickEvent();
    void on_lineEditDelay_editingFinished();
    void delayTimeChangeEvent(int track, double ms);
    void on_lineEditName_editingFinished();
    void trackNameLoadEvent(const QStringList &names);
    void allEqOnOffEvent(bool on, int track);

protected:
    // Every key that reaches the strip stops here, so typing in its fields
    // never reaches the mixer window.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void placeMeter();
    void showPeakFreq();

    Ui::chstrip *ui;
    int mTrackNumber = -1;
    int mSelectedPair = 0;
    unsigned mInputChannels = 0;
    bool mSoloOn = false;
    bool mMuteOn = false;
    bool mSendOn = false;
    double mDelay = 0.0;
    std::atomic<int> mPeakFreq{0};
    std::atomic<bool> mPeakFreqPending{false};
};
