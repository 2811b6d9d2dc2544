#include "dsp/noisegen.h"

#include "audiofile/audiohelpers.h"

namespace {

// Right-shifting register with taps at bits 0, 1, 21 and 31; the same
// sequence as the test-signal generator's noise.
inline uint32_t lfsrStep(uint32_t s)
{
    const uint32_t b = s ^ (s >> 1) ^ (s >> 21) ^ (s >> 31);
    return (s >> 1) | ((b & 1u) << 31);
}

}  // namespace

constexpr uint32_t random::kSeed[4];

random::random()
    : mState(static_cast<uint32_t *>(_aligned_malloc(32, 16)))
{
    seedInitValue();
}

random::~random()
{
    _aligned_free(mState);
}

void random::seedInitValue()
{
    if (mState == nullptr) return;
    for (int i = 0; i < 4; ++i) mState[i] = kSeed[i];
    for (int i = 4; i < 8; ++i) mState[i] = 0;
}

void random::calcRamdomValue(double *out, const double *in)
{
    if (mState != nullptr)
        for (int i = 0; i < 4; ++i) mState[i] = lfsrStep(mState[i]);
    out[0] = 0.0 * in[0];
    out[1] = 0.0 * in[1];
}
