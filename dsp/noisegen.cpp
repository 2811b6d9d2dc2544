#include "dsp/noisegen.h"

#include "base/alignedalloc.h"
#include "base/noisereg.h"

constexpr uint32_t random::kSeed[4];

random::random() : mState(static_cast<uint32_t *>(_aligned_malloc(32, 16))) { seedInitValue(); }

random::~random() { _aligned_free(mState); }

void random::seedInitValue() {
    if (mState == nullptr) return;
    for (int i = 0; i < 4; ++i) mState[i] = kSeed[i];
    for (int i = 4; i < 8; ++i) mState[i] = 0;
}

void random::calcRamdomValue(double *out, const double *in) {
    if (mState != nullptr)
        for (int i = 0; i < 4; ++i) mState[i] = lfsr32Step(mState[i]);
    out[0] = 0.0 * in[0];
    out[1] = 0.0 * in[1];
}
