// Four-lane shift-register noise source.
//
// The class name is the one the rest of the system uses. <cstdlib> also
// declares a function random(), which hides the class name wherever both are
// visible: name the type there as `class random`.
#pragma once

#include <cstdint>

class random {
public:
    // Allocates the 32-byte state block (16-byte aligned) and seeds it. If
    // the allocation fails the object stays usable: steps then leave no state
    // and the output is still written.
    random();
    ~random();
    random(const random &) = delete;
    random &operator=(const random &) = delete;

    // Sets the four lanes back to their seed and clears the second word.
    void seedInitValue();
    // Advances every lane one step and writes 0 x in to out (both stereo
    // double pairs). The noise itself is not used by any output.
    void calcRamdomValue(double *out, const double *in);

    // The four 32-bit lanes followed by the four words of the second word;
    // null when the state could not be allocated.
    const uint32_t *state() const { return mState; }

    static constexpr uint32_t kSeed[4] = {0xAB58CFC0u, 0x3B540961u, 0x72A5445Cu, 0x7FBC860Au};

private:
    uint32_t *mState;
};
