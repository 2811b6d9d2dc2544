// The mixer's effect-return strip, between the last channel strip and the
// master strip: a lamp that opens the reverb panel on a plain click and
// switches the effect return on and off on a click with Control held, the
// return level fader, a stereo meter and the output-bus selector.
//
// The strip owns the reverb panel and relays its reports to the mixer with a
// pointer to its own copy of the panel's parameters, refreshed before every
// report. The meter is not fed: nothing in the engine supplies an
// effect-return level, so it shows its background only.
//
// GUI thread only.
#pragma once

#include <QWidget>

#include "dsp/reverb.h"
#include "mixer/reverbpanelparam.h"

class reverbPanel;
namespace Ui {
class fxstrip;
}

class fxstrip : public QWidget {
    Q_OBJECT

public:
    explicit fxstrip(QWidget *parent = nullptr);
    ~fxstrip() override;
    fxstrip(const fxstrip &) = delete;
    fxstrip &operator=(const fxstrip &) = delete;

    // The return level in dB last taken from the fader; the mixer reads it
    // right after reportVolumeChanged. Until the first move it is the level
    // at the knob's starting place.
    float mFaderDb = 0.0f;

    // The Control key went down or up in the mixer window: while it is down
    // a click on the lamp switches the effect return, otherwise a click
    // opens the reverb panel.
    void contKeyPressed();
    void contKeyReleased();

    // The device's output-channel count: the bus list becomes "(NO Out)"
    // and one "Ch a-b" item per whole pair of outputs.
    void setOutputChannels(int channels);
    // Selects bus b; the list reports the change as the user's choice would.
    void setCurrentOutputBus(int bus);

    // Loads the reverb's default tables into the panel; every control that
    // moves reports through reverbParamChanged.
    void setInitRefParams(const tReverbFilterParams *tables);

    // Puts the meter and its parts back at their places in the strip.
    void redrawWindow();

    reverbPanel *panel() const { return mReverbPanel; }
    int outputChannels() const { return mOutputChannels; }
    int outputBus() const { return mOutputBus; }
    // The record every reverbParamChanged points to; valid for the strip's life.
    const tReverbPanelParam *panelParam() const { return &mPanelParam; }

signals:
    void reportVolumeChanged(int strip);  // always 0; the level is in mFaderDb
    void fxSetToOnOff(int on);
    void currentOutputChanged(int bus);
    void reverbParamChanged(tReverbPanelParam *param);
    void ERclicked(bool on);
    void CombFilterClicked(bool on);
    void APFclicked(bool on);

public slots:
    void fxIndicatorClickEvent();
    void volChangeEvent(int position);
    void selOnOffEvent(int on);
    void reverbParamChangeEvent();
    void ERclickEvent(bool on);
    void CombFilterClickEvent(bool on);
    void APFclickEvent(bool on);
    void on_comboBoxOutBus_currentIndexChanged(int index);

private:
    bool levelAt(int position, float *dB) const;

    Ui::fxstrip *ui;
    reverbPanel *mReverbPanel;
    int mOutputChannels = 0;
    int mOutputBus = 0;
    tReverbPanelParam mPanelParam;
};
