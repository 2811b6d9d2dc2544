// One track's feed job as the main window fills it, for the engine's tests
// and benchmarks that run real jobs.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

#include "dsp/dspvolume.h"
#include "dsp/peqrecord.h"
#include "engine/jobrecords.h"
#include "morphex/morphexrecords.h"

namespace engtest {

// A stereo source fed with unity pan, the equaliser off and an envelope at
// exactly 1.0 throughout. From rate index 16 on the output is 1-bit DSDIFF,
// below it 32-bit WAV. rate, bits and frames describe the source; a 1-bit
// source is a DSDIFF file whose frames are its samples per channel. The job
// points into itself (the equaliser), so it is neither copied nor moved.
struct FeedJob {
    FeedJob(const std::string &src, uint32_t rate, uint32_t bits, uint64_t frames, uint32_t rateIndex, int track = 0) {
        record.srcPath = QString::fromStdString(src).toStdU16String();
        record.rateIndex = rateIndex;
        record.bits = rateIndex >= 16 ? 1 : 32;
        record.fileType = rateIndex >= 16 ? 3 : 0;
        record.srcChannels = 2;
        record.outChannels = 2;
        record.fileCount = 1;
        record.panVol[0] = record.panVol[3] = 1.0;
        record.com.command = kMorphexComFeedOnly;
        record.com.startSample = 0;
        record.com.endSample = int64_t(frames);
        record.com.peq = &eq;
        record.com.track = uint32_t(track);
        eq.allOn = &eqOn;
        info.sampleRate = rate;
        info.channels = 2;
        info.bitsPerSample = bits;
        info.totalSamples = frames;
        if (bits == 1) info.fileType = 3;
        items[0].start = 0;
        items[0].level = 1.0;
        items[1].start = kDspVolEnd;
        items[1].level = 1.0;
    }
    FeedJob(const FeedJob &) = delete;
    FeedJob &operator=(const FeedJob &) = delete;

    tMorphexParam record;
    tAudioFileInfo info;
    tDspVolItem items[2];
    tPEQ eq;
    bool eqOn = false;
};

}  // namespace engtest
