// Timecode: sample positions <-> timecodes in ten frame types, and the texts
// of the time counter.
//
// Drop-frame numbering follows the SMPTE rule: in every ten-minute block the
// first minute keeps all its frame numbers and each of the other nine skips
// frame numbers 0 and 1. The 23.976 and 29.97 types count frames at those
// real rates, so a timecode there is not wall-clock time.
//
// The conversions hold no state and run on any thread. The only state is the
// sub-frame switch of the counter texts.
#pragma once

#include <cstdint>
#include <string>

enum tTcFrameType : int {
    kTc23_976 = 0,
    kTc24 = 1,
    kTc25 = 2,
    kTc29_97Drop = 3,
    kTc29_97 = 4,
    kTc30Drop = 5,
    kTc30 = 6,
    kTcHundredth = 7,      // frame field counts 1/100 s
    kTcThousandth = 8,     // 1/1000 s
    kTcTenThousandth = 9,  // 1/10000 s
    // Any other value is taken as kTcHundredth.
};

struct tTimeCode {
    int32_t hour;  // 0..23 (wrapped)
    int32_t minute;
    int32_t second;
    int32_t frame;         // for types 7..9: the count of 1/100, 1/1000 or 1/10000 s units
    int32_t subFrame;      // hundredths of a frame, 0..99 (0 for types 7..9)
    int32_t sampleOffset;  // samples from the start of the frame (0 for types 7..9)
};

enum tCounterMode : int {
    kCounterTime = 0,  // hours:minutes:seconds.hundredths (any value but 1 and 2)
    kCounterSamples = 1,
    kCounterTimeCode = 2,
};

// Fills all six fields for the sample position at rateHz. A rate of 0 or
// below (no position can be converted) gives an all-zero timecode.
void gTc_convSampleToTimeCode(uint64_t samplePos, int rateHz, int frameType, tTimeCode *tc);

// Writes the sample position of the timecode's hour, minute, second and
// frame (sub-frame and sample offset are not read). Frames are counted
// within their second; drop-frame types subtract the skipped frame numbers.
// A position before 0 (negative fields) or a rate of 0 or below gives 0.
void gTc_convTimeCodeToSample(const tTimeCode *tc, uint64_t *samplePos, int rateHz, int frameType);

// Replaces *text with the counter form of position:
//   mode 1: the position in decimal;
//   mode 2: "hh:mm:ss;ff" of its timecode, then "." and the sub-frame when
//           the sub-frame switch is on;
//   other:  "hh:mm:ss.cc" with hundredths of a second, hours not wrapped.
// Fields of 0..9 get a leading "0"; the sub-frame does not.
void gTc_prepareTimeInfoDisp(std::string *text, int64_t position, int rateHz, int counterMode, int frameType);

// The sub-frame switch of timecode counter texts; off at start.
void gTc_setShowingSubFrame(bool on);
