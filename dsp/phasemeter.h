// Phase between two channels, read the way one reads it off a Lissajous
// figure: the measured channel's values where the reference crosses zero,
// against the measured channel's peak-to-peak swing.
#pragma once

class CPhase {
public:
    CPhase() = default;

    // ref and meas are stereo frames (left, right doubles), frames of each.
    // The reference is the left lane of ref; the measured value is the left
    // lane of meas for an even channel, the right lane for an odd one.
    // Returns the mean phase in degrees over the reference's rising zero
    // crossings after the first: 0 for in phase, +-180 for opposite phase;
    // the sign is negative when the measured channel leads. 0 when fewer than
    // two rising crossings are seen (or for null buffers, frames <= 0).
    double calcPhaseValue(const double *ref, const double *meas, int frames, int channel) const;

    // The same over rings of ringFrames frames: frames frames from frame
    // start, continuing at frame 0 after the last. start is taken modulo the
    // ring (a negative start counts back from its end); only frames
    // 0..ringFrames - 1 are read. 0 for ringFrames <= 0.
    double calcPhaseValue(const double *ref, const double *meas, int frames, int channel, int start,
                          int ringFrames) const;
};
