// The ballistics of a stereo peak meter, shared by the main window's meter
// and the strips' meters: inputs clipped 6 dB above full scale, a shown
// level that rises at once and falls 20 dB per second, a peak held for one
// second, over lamps held for a set time. Each meter lays its own scale
// (segments or zones, thresholds, peak lines) on top of what an update
// leaves.
//
// GUI thread only; nothing here allocates.
#pragma once

// Meter mode of an update: how the levels are scaled.
enum tMeterMode : int {
    kMeterModePcm = 0,  // 32-bit integer scale, full scale 2^31
    kMeterModeDsd = 1,  // normalised scale, full scale 0.5
};

// Inputs are clipped to these before they reach the shown level and the
// held peak: 2^32 in PCM mode, 2.0 in DSD mode (both 6 dB above full scale).
constexpr double kMeterClipPcm = 4294967296.0;
constexpr double kMeterClipDsd = 2.0;

// Updates a held peak stays before it expires, for an update period in ms
// (> 0): one second's worth, 1000 / period in integers.
int meterPeakHoldUpdates(int periodMs);

// Factor applied to the shown level at every update so that it falls by
// 20 dB per second: 10^(−period / 1000).
double meterReleaseFactor(int periodMs);

// Updates an over lamp stays lit after the last update that set it, less
// one: −1 (until cleared) for a negative time or when no positive period is
// known, 0 up to one second, else the time beyond one second in updates.
int meterOverHoldUpdates(int holdMs, int periodMs);

// What one update leaves for the meter's own scale.
struct tMeterStep {
    double shown[2] = {};       // the shown level of each channel, linear on the mode's scale
    bool renewed[2] = {};       // the held peak was renewed: its value in dB is due again
    bool restarted = false;     // the mode changed: levels and held peaks start from zero
};

class meterBallistics {
public:
    // The owner's update period in ms: the peak hold lasts one second's worth
    // of updates and the shown level falls 20 dB per second. The caller
    // passes positive periods only.
    void setUpdatePeriod(int periodMs);
    // How long an over lamp stays lit, in ms (meterOverHoldUpdates of the
    // period set before).
    void setOverHoldTime(int ms);
    // Both over lamps on or off; both held peaks expire at the next update
    // unless that update renews them.
    void setOver(bool on);
    // The over lamp of channel ch lights, and its hold starts again.
    void lightOver(int ch);
    // Drops the shown level of both channels; the held peaks stay.
    void clearLevel();

    // One update with the peak levels of both channels (linear, on the
    // mode's scale). A level that is not a number reads as silence: it would
    // otherwise stick in the held peak. A change of mode discards this
    // update's levels and starts the shown levels and held peaks from zero.
    tMeterStep update(const double levels[2], int mode);

    double level(int ch) const { return mLevel[ch]; }
    double peakHold(int ch) const { return mPeakHold[ch]; }
    double releaseFactor() const { return mDecay; }
    bool over(int ch) const { return mOver[ch]; }
    // The lamps' flags, for the drawing parts that read them (channel 0, 1).
    const bool *overLamps() const { return mOver; }
    int updatePeriod() const { return mUpdatePeriod; }
    int peakHoldUpdates() const { return mPeakHoldUpdates; }
    int overHoldUpdates() const { return mOverHoldUpdates; }

private:
    double mLevel[2] = {};      // shown level, falling by the release
    double mPeakHold[2] = {};   // held peak
    double mDecay = 0.0;        // release factor per update; 0 until a period is set
    int mPeakHoldCount[2] = {};  // updates since the held peak was renewed
    int mOverCount[2] = {};      // updates since an over lamp was last lit
    bool mOver[2] = {};
    int mUpdatePeriod = 0;      // ms
    int mPeakHoldUpdates = 0;
    int mOverHoldUpdates = 1;   // −1: until cleared
    int mMode = kMeterModePcm;  // mode of the previous update
};
