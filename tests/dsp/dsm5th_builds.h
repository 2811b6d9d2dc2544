// What differs between the modulator's two builds (the program's
// classDsm5thApp and the library's classDsm5th), as the tests expect it.
#pragma once

#include <cstdint>

#include "dsp/dsm5th.h"

template <class Dut>
struct Build;
template <>
struct Build<classDsm5thApp> {
    static constexpr int32_t threshold = 31457280;
    static constexpr int cutShift = 0;
    static constexpr uint8_t muteByte = 0x2D;
    static constexpr int allowance = 4;
};
template <>
struct Build<classDsm5th> {
    static constexpr int32_t threshold = 25165824;
    static constexpr int cutShift = 1;
    static constexpr uint8_t muteByte = 0x96;
    static constexpr int allowance = 0;
};
