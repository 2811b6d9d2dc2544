// A stereo conversion job as the engine plans it when it writes a PCM file,
// and the down stage's filter designed for the plan. Shared by the rate
// converter's tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "morphex/decimfir.h"
#include "morphex/rateplan.h"

namespace sxtest {

// A WAV source is PCM of 24 bits, any other a DSD one.
inline tRatePlanJob stereoPcmJob(uint32_t inRate, uint32_t outRate, uint32_t srcType, uint32_t outBits, int64_t end,
                                 int64_t totalFrames) {
    tRatePlanJob j;
    j.inRate = inRate;
    j.outRate = outRate;
    j.srcType = static_cast<tAudioFileType>(srcType);
    j.outType = kAudioFileWAV;
    j.writing = true;
    j.srcBits = j.srcType == kAudioFileWAV ? 24 : 1;
    j.srcChannels = 2;
    j.outBits = outBits;
    j.outChannels = 2;
    j.end = end;
    j.totalFrames = totalFrames;
    return j;
}

// The plan's filter with the largest reserve, as the engine designs it.
inline std::vector<double> designFor(const tRatePlan &p) {
    std::vector<double> coef(2 * firDesignEntries(p.taps, kFirReserveMax));
    gAudio_setDecimFirParam(0, p.commonRate, p.cutoff, p.taps, coef.data(), p.up, p.gain, 0, kFirReserveMax);
    return coef;
}

}  // namespace sxtest
