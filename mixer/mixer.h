// The mixer window: one channel strip per track (up to 32), the effect-return
// strip and the master strip side by side under two scroll bars. It turns
// what the strips report into the shared tMixParam that the engine reads on
// every buffer: each track's gain matrix (fader, pan law, mute and solo), its
// send matrix and switch, the effect return and the master gain. It owns the
// reverb, writes the output patch once, and relays equaliser, delay and name
// traffic between the strips and the main window.
//
// The main window owns tMixParam and sets mMixParam right after
// construction; until then the slots that compute gains write nothing. It
// adds and deletes strips with addDelTrack as tracks come and go. When it
// deletes a track it first calls addDelTrack, then moves the later tracks'
// records down one place, then calls calcMuteSoloVolume: the mixer moves its
// mute and solo flags with the strips but never moves the records itself, so
// the mute factors can only be rewritten once the records are in place.
//
// Threads: the GUI thread, except setStripFFTPeakFreq. The engine reads
// tMixParam without a lock while the slots write it with plain stores.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QStringList>

#include <atomic>
#include <cstdint>

#include "dsp/reverb.h"
#include "engine/mixerthread.h"
#include "engine/mixrecords.h"
#include "mixer/reverbpanelparam.h"

class QKeyEvent;
class QMouseEvent;
class QResizeEvent;
class chstrip;
class fxstrip;
class masterstrip;
namespace Ui {
class mixer;
}

// Where the layout puts the strips. Channel strips are all W × Hs (strip
// 0's size), the window is Ww × Hw, the scroll values run 0..99.
//   x0 = −(((n + 2)·W − Ww + 16)·H)/99 and y0 = −(((n − 1)/16 + 1)·V·Hs)/99
//   in integers; strip i goes to x0 + i·W, y0, except that a strip that
//   would cross the vertical bar (x < Ww − 16 ≤ x + W) goes to x = Ww and the
//   later ones after it, and one that would cross the horizontal bar
//   (y < Hw − 16 ≤ y + Hs) goes to y = Hw with every later one: a strip is
//   seen only where it lies wholly clear of the bars. The effect strip
//   follows the last channel strip at y 16, the master strip after it.
struct tMixerLayout {
    QPoint strip[kMaxTracks];
    QPoint fx;
    QPoint master;
};
tMixerLayout mixer_layout(int strips, int winW, int winH, int stripW, int stripH, int hScroll, int vScroll);

// The reverb's record built from the panel's: doubles narrowed to single
// precision, the early-reflection rows as they are, each comb filter's delay
// and pick-up, each all-pass stage's delay and its partner (the first stage
// 18 samples later, the second 14, as the reverb's own table pairs them),
// and the impulse response with its switch.
void mixer_reverbParam(const tReverbPanelParam &panel, tReverbParam *out);

class mixer : public QDialog, public tMixerStripAccess {
    Q_OBJECT

public:
    explicit mixer(QWidget *parent = nullptr);
    ~mixer() override;
    mixer(const mixer &) = delete;
    mixer &operator=(const mixer &) = delete;

    tMixParam *mMixParam = nullptr;      // the main window's record
    chstrip *mChStrip[kMaxTracks] = {};  // index = track; entries from stripCount() on are null
    masterstrip *mMasterStrip = nullptr;
    fxstrip *mFxStrip = nullptr;

    int stripCount() const { return mStripCount; }

    // add == 1 appends a strip for the next track; anything else deletes
    // strip `track` (the last one when `track` is the last index or beyond)
    // and moves the later strips and their mute and solo flags down. Then the
    // window is laid out and every strip shown. Refused (false, nothing
    // changes) for a 33rd strip, for the last remaining strip and for a
    // negative index.
    bool addDelTrack(int add, int track);
    // Asks every strip to put its meter back in place and repaint.
    void redrawWindow();
    // Rewrites track t's gain matrix from its record's gain, mute, pan and
    // channels (after the main window wrote them, as a project load does).
    void recalMixParam(int track);
    // masterGain = masterFader × masterMute.
    void recalMasterParam();
    // The device's input-channel count for every strip, and for later ones.
    void setInputChannels(int channels);
    // The device's output-channel count for the effect and master strips.
    void setOutputChannels(int channels);
    reverb *getReverbInstance() { return &mReverb; }
    // The strips' name fields in track order.
    QStringList getTrackNames();

    // Every track's mute factor from the flags, and its matrix with it.
    void calcMuteSoloVolume();
    // Each strip's mute lamp: with a solo somewhere, lit on every strip that
    // is not soloed; otherwise each strip's own mute state.
    void controlMuteIndicator();
    // Takes the focus from every strip's pan and level fields.
    void unselectAll();

    bool muteFlag(int track) const { return validTrack(track) && mMute[track]; }
    bool soloFlag(int track) const { return validTrack(track) && mSolo[track]; }
    bool soloMutedFlag(int track) const { return validTrack(track) && mSoloMuted[track]; }
    // The record last handed to the reverb.
    const tReverbParam &reverbParam() const { return mReverbParam; }

    // The spectrum peak of track `strip`, Hz, from any thread (the
    // mixer-analysis thread): off the GUI thread the value waits and the
    // strip is looked up on the GUI thread, so a strip deleted meanwhile is
    // never touched.
    void setStripFFTPeakFreq(int strip, float hz) override;
    // The input channel count for every strip, from any thread: off the GUI
    // thread it is queued, so the strips are only touched where they live.
    void setStripInputCh(int channel) override;

signals:
    void reportEqButtonClicked(int track);
    void updateChMeter();
    void updateMasterMeter();
    void reportChDelayChanged(int track, double ms);
    void masterEQClicked();
    void selectAllEqOnOff(bool on, int track);
    void delayTimeChangedFromMain(int track, double ms);
    void trackNameLoaded(const QStringList &names);

public slots:
    void volumeChanged(int track);
    void panChanged(int track);
    void eqButtonClicked(int track);
    void muteButtonClickEvent(int track, bool on);
    void soloButtonClickEvent(int track, bool on);
    void fxSendLevelChangeEvent(int track, int levelDb);
    void fxSendOnClickEvent(int track, bool on);
    void chDelayValChangeEvent(int track, double ms);
    void masterVolumeChanged();
    void masterMuteButtonClickEvent(bool on);
    void masterEQClickedEvent();
    void fxVolumeChangeEvent(int strip);
    void setFxOnOffEvent(int on);
    void reverbParamChangeEvent(tReverbPanelParam *param);
    void reverbERClickEvent(bool on);
    void reverbCombFilterClickEvent(bool on);
    void reverbAPFClickEvent(bool on);
    void selectAllEqOnOffEvent(bool on, int track);
    void delayTimeChangeEvent(int track, double ms);
    void trackNameloadEvent(const QStringList &names);
    void on_verticalScrollBar_valueChanged(int value);
    void on_horizontalScrollBar_valueChanged(int value);

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Control goes to the effect strip's lamp; every other key is swallowed,
    // so Escape does not close the window.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool validTrack(int track) const { return track >= 0 && track < mStripCount; }
    void connectChStripSignalSlot(int track);
    void rebuildMixerWindow();
    void resolveSoloMuted();
    void applyGain(int track);
    void showStripPeaks();

    Ui::mixer *ui;
    int mStripCount = 0;
    uint8_t mMute[kMaxTracks] = {};
    uint8_t mSolo[kMaxTracks] = {};
    uint8_t mSoloMuted[kMaxTracks] = {};  // not soloed while another track is
    int mInputChannels = 0;
    reverb mReverb;
    tReverbFilterParams *mReverbTables = nullptr;
    tReverbParam mReverbParam = {};
    QStringList mTrackNames;
    int mVScroll = 0;
    int mHScroll = 0;
    // Peak frequencies handed over by the analysis thread, one bit per track
    // waiting to be shown.
    std::atomic<float> mPeakHz[kMaxTracks] = {};
    std::atomic<uint32_t> mPeakDirty{0};
};
