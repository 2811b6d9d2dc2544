// Stereo first-order smoother: the output pair y glides toward the target
// pair x by a fixed fraction per step and snaps onto it within 5e-5. It also
// keeps 1 - y ready for the modulator, which fades its mute pattern in as
// the programme fades out.
//
// Threads: one thread owns a smoother. The engine's fade level is the
// device thread's; other threads ask it for a new target or coefficient
// through request words (engine/enginestate.h).
#pragma once

#include <cstdint>

class lpf {
public:
    // Each pointer is one stereo pair (left, right) of doubles, 16-byte
    // aligned and owned by the object. They are null only when the
    // allocation failed; every operation then does nothing and the getters
    // read 0.
    double *mOneMinusY = nullptr;  // 1 - y, refreshed by every operation that moves y
                                   // except setY_1direct
    double *mCoefA = nullptr;      // fraction of the remaining distance kept per step
    double *mY = nullptr;          // output (the current level)
    double *mX = nullptr;          // target
    double *mSignMask = nullptr;   // two negative zeros (absolute values of differences)

    // x = y = {0, 0}, 1 - y = {1, 1}. The coefficient starts at 0 (y follows
    // x in one step) until a set_coefA_ operation gives the glide time.
    lpf();
    ~lpf();
    lpf(const lpf &) = delete;
    lpf &operator=(const lpf &) = delete;

    // Glide time t in seconds (the time in which the remaining distance falls
    // to one tenth) at fs steps per second, both lanes.
    void set_coefA_byFs(double t, double fs);
    // The same with a time per lane.
    void set_coefA_byFsStereo(const double t[2], double fs);
    // The same with v / 1000 steps per second.
    void set_coefA_byteTime(double t, double v);

    // One step of both lanes: y = (y - x) * a + x.
    void proc_1stIir();
    // Snaps each lane within 5e-5 (strictly) of its target onto it; true only
    // when both lanes were within.
    bool checkConsistent();
    // The snap of checkConsistent, then one step.
    void takeSeveralHundredMili();

    double getCoefY_1_ch(int ch) const;    // y of lane ch & 1
    double getCoefX_ch(int ch) const;      // x of lane ch & 1
    void setXdiret(const double x[2]);     // starts a glide
    void setY_1direct(const double y[2]);  // jumps; 1 - y waits for the next step
    // The pair y (left, right); valid for the object's life.
    const double *getY_1() const;

    // The coefficient for glide time t seconds at stepsPerSecond steps per
    // second: 1 - 2 / (2 t steps / ln 10 + 1).
    static double coefFor(double t, double stepsPerSecond);

    // The single-precision ln 10 the glide formula uses.
    static constexpr double kLn10 = 2.3025851249694824;
    static constexpr double kSnap = 5e-5;

private:
    void refreshOneMinusY();
    void snap(bool within[2]);
};
