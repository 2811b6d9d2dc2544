// The effect-return reverb and its default reflection tables.
//
// Its processing and parameter operations do nothing: the effect bus returns
// the dry send. The mixer's reverb panel reads the default tables through
// getReflectionParams.
#pragma once

#include <cstdint>

#include "dsp/dampingfilter.h"

// Stages of the reverb.
enum tRevFilterType : int {
    kRevFilterEarlyReflections = 0,
    kRevFilterComb = 1,
    kRevFilterAllPass = 2,
};

// The reflection kind; the reverb keeps none, so it needs only the name.
enum tEnumRefType : int;

// One early reflection. The panel shows level (x100), order and cut-off on
// that reflection's controls.
struct tEarlyReflectionRow {
    float level;
    float order;
    float cutOff;
    int32_t reserved[3];
    int32_t flag;
    float factor[2];  // per channel
};

// One comb filter; delays in samples.
struct tCombFilterRow {
    int32_t delay;
    float factor[2];
    int32_t reserved[4];
    int32_t pickUp;  // pick-up delay, the same as the delay in the defaults
    int32_t reserved2[2];
};

// One all-pass stage; delays in samples.
struct tAllPassRow {
    int32_t delay;   // left
    int32_t delayR;  // right
    float gain[2];   // 0.7, -0.7
    float factor;
    int32_t reserved[7];
};

static_assert(sizeof(tEarlyReflectionRow) == 36, "row of nine 32-bit fields");
static_assert(sizeof(tCombFilterRow) == 40, "row of ten 32-bit fields");
static_assert(sizeof(tAllPassRow) == 48, "row of twelve 32-bit fields");

enum : int {
    kReverbEarlyReflections = 10,
    kReverbCombFilters = 6,
    kReverbAllPassFilters = 2,
};

// The record the mixer fills from the reverb panel for setReverbParam, in
// single precision. The reverb keeps none of it.
struct tReverbParam {
    float preDelay;  // ms
    float erTime;
    float density;
    float highDamp;
    float reverbTime;
    float roomLong;  // metres
    float roomWide;  // metres
    float fixedValue;
    float sourceDepth;     // metres
    float listenerBehind;  // metres
    float erLevel;         // stage levels, 0 .. 1
    float combLevel;
    float apfLevel;
    float apfHighDamp;
    tEarlyReflectionRow erRows[kReverbEarlyReflections];
    struct {
        int32_t delay;   // samples
        int32_t pickUp;  // samples
    } comb[kReverbCombFilters];
    struct {
        int32_t delay;    // samples, left
        int32_t partner;  // samples, right
    } allPass[kReverbAllPassFilters];
    double *irBuffer;  // stereo double frames of the loaded response; null when none
    bool useIr;
};

extern const tEarlyReflectionRow gDefaultEarlyReflections[kReverbEarlyReflections];
extern const tCombFilterRow gDefaultCombFilters[kReverbCombFilters];
extern const tAllPassRow gDefaultAllPassFilters[kReverbAllPassFilters];

// Points at the default tables above.
struct tReverbFilterParams {
    const tEarlyReflectionRow *earlyReflections;  // kReverbEarlyReflections rows
    const tCombFilterRow *combFilters;            // kReverbCombFilters rows
    const tAllPassRow *allPassFilters;            // kReverbAllPassFilters rows
};

class reverb {
public:
    reverb();
    ~reverb() = default;
    reverb(const reverb &) = delete;
    reverb &operator=(const reverb &) = delete;

    // Valid as long as the object.
    tReverbFilterParams *getReflectionParams() { return &mFilterParams; }

    // These do nothing.
    void setReverbParam(tReverbParam *param);
    void setFxSampleRate(int rate, int rate2);
    void calcTransferFunction();
    void prepareTransferFunction(float time, tEnumRefType type);
    void process(double *out, const double *in, long frames);
    void calcCombFilter();
    void calcAPF();
    void calcFirParam();
    void setInputBufferSize(int frames);
    void setInputBufferStartPoint(int frame);
    void calcTotalFirPointTable();
    void clearReverbBuffer();
    void setFilter(tRevFilterType stage, bool on);

private:
    dampingFilter mDamp[2];
    tReverbFilterParams mFilterParams;
};
