// PCM-to-DSD step of a conversion job that writes a DSD file: one block of
// work frames at the output DSD rate becomes two 1-bit work streams (eight
// samples to a byte, first sample in the most significant bit). The step
// runs the job's modulator over the block and then decides per channel what
// the output carries: the modulated stream, the untouched source DSD of a
// DSD-to-DSD job at unity gain (a pure job), or the mute pattern. Every
// change between them goes through the modulator's splice search, so fades
// into and out of the modulated signal do not click.
//
// The decisions follow the engine's fade requests and the fade smoother,
// which the rate converter's down stage also drives. That shared state is
// one record, tConvFadeShared: the library keeps one instance for all jobs
// (gConvFadeShared, so one DSD-writing job at a time), and a step can be
// bound to a record of its own instead.
//
// Threads: the job's thread only, no locks.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dsp/dsm5th.h"
#include "dsp/lpf.h"

// Results of convertPcm2Dsd.
enum : int {
    kConvPcmDsdOk = 0,
    kConvPcmDsdNoMemory = -1,  // the mute streams could not be grown
};

// Request and acknowledgement bits of tConvFadeShared::fadeReq / fadeAck.
enum : uint32_t {
    kDsdFadeIn = 1,   // fade in from the mute pattern (first block below unity)
    kDsdFadeOut = 2,  // fade out to the mute pattern (level falls from unity)
};

enum : uint8_t { kDsdMutePatternByte = 0x2D };  // 0x96 rotated left by one bit
enum : int {
    kConvMuteSplice = 17,         // lag in bits against the mute streams
    kConvMuteStreamBytes = 2048,  // initial size of each mute stream
};

// What the PCM-to-DSD step shares with the rest of a conversion job.
// Reset by initParamsConverting at every job start.
struct tConvFadeShared {
    uint32_t fadeReq[2] = {0, 0};  // request bits per channel (left, right), set by the engine
    uint32_t fadeAck[2] = {0, 0};  // acknowledgement bits, set by the step
    lpf fadeLpf;                   // fade smoother: target x = envelope level, output y
    bool dsdPure = false;          // the job passes the source DSD through unchanged
};

// The library-wide record that jobs use unless given their own.
extern tConvFadeShared gConvFadeShared;

// Per-call parameters from the engine.
struct tConvPcmDsdParam {
    uint8_t firstExportBlock;  // 1 for an export job until its first block is converted
};

class cConvPcmDsd {
public:
    // Allocates the two 2048-byte mute streams (capacity 0 when that fails;
    // the first conversion then tries again). `shared` must outlive the
    // object.
    explicit cConvPcmDsd(tConvFadeShared *shared = &gConvFadeShared);
    ~cConvPcmDsd();
    cConvPcmDsd(const cConvPcmDsd &) = delete;
    cConvPcmDsd &operator=(const cConvPcmDsd &) = delete;

    // Job start: clears requests and acknowledgements, points both channels
    // of the modulator at the alternative stream (splice request and current
    // stream 1), keeps `rate` (hertz) and sets the smoother's target and
    // output to 0 with a 0.01 s glide at that rate.
    void initParamsConverting(classDsm5th *dsm, int rate);
    // Glide of the smoother: 0.06 s when slow, else 0.01 s, at the job's rate.
    void setFadeLPF(bool slow);
    // ORs bits (kDsdFadeIn, kDsdFadeOut) into channel ch's request word;
    // a channel outside 0..1 is ignored.
    void reqDsdConvertWithFading(int ch, int bits);

    // Converts one block.
    //   dsm         the job's modulator (a continuous stream across calls)
    //   out         the two output byte streams, (n + 7) / 8 bytes each
    //   in          n two-lane work frames at the output rate, full scale 2^55
    //   n           samples in the block; the splices need a multiple of 8 of
    //               at least 24 (shorter blocks are modulated only)
    //   phase       bit position where new bits start in the first byte
    //   sourceFile  ignored (kept for the converters' common argument list)
    //   srcDsd      the source DSD streams of the block (the engine's DSD work
    //               streams); read when the output splices toward the source
    //   taps        length of the rate-conversion filter: the source is
    //               spliced with a lag of (taps - 1) / 2 + 17 bits
    //   level       the block's envelope level (1.0 = unity)
    //   param       first-block flag, cleared on the first call
    // kConvPcmDsdOk, or kConvPcmDsdNoMemory (nothing converted).
    [[nodiscard]] int convertPcm2Dsd(classDsm5th *dsm, uint8_t *const out[2], const double *in, uint32_t n, int phase,
                                     FILE *sourceFile, uint8_t *const srcDsd[2], int taps, double level,
                                     tConvPcmDsdParam *param);

    int muteSplice() const { return mMuteSplice; }
    int sourceSplice() const { return mSourceSplice; }
    int muteCapacity() const { return mMuteCapacity; }
    const uint8_t *muteStream(int ch) const { return mMute[ch & 1]; }
    int rate() const { return mRate; }
    tConvFadeShared *shared() const { return mShared; }

private:
    enum class Action { Source, Mute, MuteOne };

    bool growMuteStreams(uint32_t bytes);
    void fillMute(int ch, uint32_t bytes);
    // The decision table for one channel; returns what to splice toward and
    // sets `sourceFlag` for a source splice and `shortFill` for the mute
    // fill of the idle row.
    Action decide(classDsm5th *dsm, int ch, bool &sourceFlag, bool &shortFill);

    int mMuteSplice;
    int mSourceSplice;
    uint8_t *mMute[2];
    int mMuteCapacity;
    int mRate;
    tConvFadeShared *mShared;
};
