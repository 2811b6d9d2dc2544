// The header parameters a test hands to a handler's createHeader: the
// fields a recorder fills, with the stereo flag derived the way callers set
// it (channels != 1). bits is 1 for DSD.
#pragma once

#include <cstdint>

#include "audiofile/audiofileif.h"

namespace sxtest {

inline tBwfHdrParam hdrParam(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t rf64 = 0,
                             uint32_t integer32 = 0) {
    tBwfHdrParam p{};
    p.channels = channels;
    p.bits = bits;
    p.rate = rate;
    p.stereo = channels != 1 ? 1 : 0;
    p.rf64 = rf64;
    p.integer32 = integer32;
    return p;
}

}  // namespace sxtest
