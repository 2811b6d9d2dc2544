// Time stretch of one band by overlap-add of fixed segments with smoothed
// crossfades, for the variable-speed job. Signals are stereo double frames.
//
// Segments of d frames are taken from the input every floor(a x speed)
// frames and laid into the output every a frames: a segment's first a frames
// are added under a rising ramp onto the previous segment's tail, and its
// remaining d - a frames, under the complementary falling ramp, become the
// tail that the next segment (possibly in the next call) is added onto.
// Input that is not yet used is carried over to the next call.
#pragma once

#include "dsp/lpf.h"

enum : int {
    kVsaWorkFrames = 0x10000,  // carry-over and tail capacity (1 MiB each)
};

// Result codes.
enum : int {
    kVsaOk = 0,
    kVsaErrRange = -17,   // bad argument, or more than the buffers can hold
    kVsaErrMemory = -12,  // the work buffers could not be allocated
};

// Where the stretch's two diagnostics go: the program points it at its trace
// client, which applies the trace level. Null (the default): not sent.
typedef void (*tVsaTraceFunc)(const char *message, const char *category, unsigned level, const char *sourcePath,
                              unsigned line, const char *function);

class ClassVsa {
public:
    // Speed 1.0, 44100 Hz, empty carry-over and tail, no output buffers.
    ClassVsa();
    ~ClassVsa();
    ClassVsa(const ClassVsa &) = delete;
    ClassVsa &operator=(const ClassVsa &) = delete;

    // percent of normal speed; stored as min(percent / 100, 2.0). Clears the
    // carry-over.
    void setSpeed(float percent);
    // Hz, above 0 (others are ignored); the crossfade ramps take 10 ms to
    // fall by 20 dB at this rate.
    void setSampleRate(int rate);
    void setKey();           // clears the carry-over
    void invalidateCache();  // clears the carry-over and the tail
    // The two output slots (stereo frames, frames each; caller-owned).
    void setVsaBuffer(double *output, double *second, int frames);

    // Stretches frames input frames into slot 0 (the first buffer) or any
    // other slot (the second) with output hop a and overlap b (frames) and
    // sets *produced to the output frames made. With speed <= 0 the input
    // is copied unchanged. kVsaErrRange (nothing changes) for a missing
    // buffer, a < 1, b < 0, a segment longer than the work buffers, or input
    // the slot and the carry-over cannot take.
    [[nodiscard]] int process(const double *input, int slot, int frames, int *produced, int a, int b);

    float getSpeed() const { return mSpeed; }
    int getSampleRate() const { return mRate; }
    int getCarryOver() const { return mCarry; }  // frames; negative: input still to skip
    int getTail() const { return mTail; }        // frames

    static tVsaTraceFunc sTraceFunc;

private:
    float mSpeed;
    double *mOutput;
    double *mSecond;
    int mOutFrames;
    int mRate;
    int mCarry;
    int mTail;
    double *mCarryBuf;  // carry-over input
    double *mTailBuf;   // crossfade tail
    // Ramps: the segment head's rising one and the output level, both towards
    // 1.0 (the level rests there), and the crossfade's falling one towards 0.0.
    lpf mRiseLpf;
    lpf mLevelLpf;
    lpf mFadeLpf;
};
