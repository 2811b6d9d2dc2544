// The driver back-end interface: the real-time path never touches a device
// buffer itself but calls these operations, which know the device's sample
// format. Three back-ends exist, all created by the engine's set-up:
// gCAudioThreadCoreAudioFunc (the one the device callbacks use),
// gCAudioThreadAsioFunc and gCAudioThreadWasapiFunc (created, never driven).
//
// A device buffer's format travels as one int, the type code: the low 15
// bits are a sample-type number and three flag bits are added (below).
// PCM work data is interleaved stereo doubles at full scale +-1.0; a DSD
// signal is carried in the same doubles at +-2^55 per bit (the modulator's
// full scale) and the test tone at half of that.
//
// Threads: every buffer operation runs on the device's real-time thread
// only; nothing here allocates (except where a buffer must grow to the
// device's frame count), locks, traces or emits signals.
#pragma once

#include <atomic>
#include <cstdint>

#include "dsp/dsm5th.h"
#include "dsp/lpf.h"

struct tEngine;

// Type codes.
enum : int {
    kTypeSampleMask = 0x7FFF,           // the sample-type number
    kTypeFloatContainer = 0x8000,       // samples travel in 32-bit float containers
    kTypeNativeDsd = 0x10000,           // native DSD bytes (not DSD over PCM)
    kTypeNativeDsdStartMute = 0x20000,  // native DSD during the device's start-up mute
    // Sample-type numbers (the low bits).
    kSampleInt16MSB = 0,
    kSampleInt24MSB = 1,
    kSampleInt32MSB = 2,
    kSampleFloat32MSB = 3,
    kSampleFloat64MSB = 4,
    kSampleInt32MSB16 = 8,  // 8..11: 32-bit big-endian words carrying 16, 18, 20, 24 bits
    kSampleInt32MSB24 = 11,
    kSampleInt16 = 16,  // little-endian from here
    kSampleInt24 = 17,
    kSampleInt32 = 18,
    kSampleFloat32 = 19,
    kSampleFloat64 = 20,
    kSampleInt32LSB16 = 24,  // 24..27: 32-bit words carrying 16, 18, 20, 24 bits
    kSampleInt32LSB24 = 27,
    kSampleDsdLsb = 32,  // DSD, first sample in the least significant bit
    kSampleDsd = 33,     // DSD, first sample in the most significant bit
    kSampleDsd8 = 40,    // DSD in 8-bit containers
};

// DSD silence and the mute pattern, eight entries each so that a delay in
// bits (mod 8) picks the byte that lines up: gMuteDirectTable holds 0x96,
// gMutePatTable 0x2D (0x96 rotated left by one bit).
extern const uint8_t gMuteDirectTable[8];
extern const uint8_t gMutePatTable[8];

// The buffer switch hands the back-ends lists of buffer pointers, one entry
// per output (or input) of the device model, kSwitchListEntries of them,
// null where there is none. Entry 0 of the output list is the device output
// the buffer switch advances chunk by chunk.
enum : int { kSwitchListEntries = 4 };

// The buffer-switch record, one per device buffer, on the caller's stack.
struct tBufferSwitchParams {
    int32_t inputChannels = 0;                            // channels of the input buffer; 0 = none
    int32_t outputChannels = 0;                           // interleaved channels of the output buffer
    int32_t firstOutputChannel = 0;                       // first output column of the patch
    int32_t firstInputChannel = 0;                        // first channel of the captured input pair
    uint8_t flag = 0;                                     // cleared by the buffer switch for every buffer
    void *pointer = nullptr;                              // cleared by the buffer switch for every buffer
    int32_t blockIndex = 0;                               // track 0's ring block for the current chunk
    double **masterBuffer = nullptr;                      // the engine's masterBuf
    int32_t inputFrames = 0;                              // frames of the input buffer
    std::atomic<int32_t> *captureWriteOffsets = nullptr;  // the capture ring's write offsets, per row
    int32_t outputOffset = 0;                             // frames already written to the output (monitor playback)
    int32_t capturedFrames = 0;                           // frames captured from the input in this buffer
};

// The abstract back-end. Virtual operations in slot order after the
// destructor. Buffers are byte pointers; "outputs" is the buffer switch's
// list of output pointers (entry 0 the device output, advanced per chunk).
enum : int {
    kDsdTailBits = 32,  // the tail a pure DSD stream ends with: the splice's delay (17), whole words
    kDsdTailMaxBits = 64,
};

class CAudioThreadFunc {
public:
    // Bound to the current engine until bindEngine names another.
    CAudioThreadFunc();
    virtual ~CAudioThreadFunc() = default;
    CAudioThreadFunc(const CAudioThreadFunc &) = delete;
    CAudioThreadFunc &operator=(const CAudioThreadFunc &) = delete;

    // Bits per sample of a type code.
    virtual int getBitLength(int type) = 0;
    // Silence over frames frames of the output (channels interleaved).
    virtual void copy0DataToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                              int channels) = 0;
    // The test oscillator's signal into the output.
    virtual void sineWaveToAudioDriverBuffer(int type, int frames, unsigned char *out, unsigned char *out2,
                                             tBufferSwitchParams *rec) = 0;
    // One chunk of the programme: per track the block tables, block indices
    // and offsets in block; dsdBlocks is track 0's DSD table. 0, or -1 when
    // a work buffer cannot be grown.
    virtual int convertDataToAudioDriverBuffer(int type, int frames, const int *offsets, double **const *blocks,
                                               const int *blockIndices, unsigned char **outputs,
                                               unsigned char **dsdBlocks, tBufferSwitchParams *rec) = 0;
    // Captured input into work frames.
    virtual void convertAudioDriverToWorkBuffer(int type, int frames, double *work, const unsigned char *in,
                                                const unsigned char *in2, tBufferSwitchParams *rec) = 0;
    // The test signal into work frames (and DSD bytes).
    virtual void SineWaveToWorkBuffer(int type, int frames, double *work, unsigned char *dsdLeft,
                                      unsigned char *dsdRight, tBufferSwitchParams *rec) = 0;
    // Moves the output pointers past frames frames.
    virtual void incPlayBufferAddress(unsigned char **outputs, int frames, int bits, int channels, int mark) = 0;
    // DSD-over-PCM marker bytes per 16 DSD bits, as the last getBitLength set it.
    virtual int getDopMarkSize() { return 0; }
    virtual int getFFTorder() = 0;
    // Frames of a capture buffer for an input of frames frames.
    virtual int getCurrentBufferSize(int frames) = 0;
    // Measures the inputs (peaks, phase, analysis).
    virtual void measureInputSignals(int type, int frames, unsigned char **inputs, tBufferSwitchParams *rec) = 0;
    // Whether the back-end's own buffers hold a chunk of frames frames (the
    // device thread never grows them; the stream's set-up reserves them).
    virtual bool fits(int) const { return true; }
    // The end of a pure DSD stream: the source bits the splice still holds
    // (its delay), followed by the pattern that reads as the idle byte, as
    // `bits` DSD bits at outputs[0] (after the material's last chunk, or at
    // the start of the next buffer). `bits` at least the delay, a multiple
    // of 16. Bits written (0: this back-end leaves the tail alone).
    virtual int writeDsdTail(int, int, unsigned char **, tBufferSwitchParams *) { return 0; }

    // The engine this back-end works on: its modulator, fade smoother,
    // work buffers and words. The buffer switch binds the engine it was
    // handed with every device buffer, so a back-end never reaches the
    // engine any other way.
    void bindEngine(tEngine &e) { mEngine = &e; }
    tEngine *boundEngine() const { return mEngine; }

protected:
    tEngine *mEngine = nullptr;
};

// The three back-ends, created once by the engine's set-up and never
// deleted (the device thread may hold one until the process ends).
extern CAudioThreadFunc *pCAudioThreadAsioFunc;
extern CAudioThreadFunc *pCAudioThreadWasapiFunc;
extern CAudioThreadFunc *pCAudioThreadCoreAudioFunc;

// Creates the three back-ends (once; later calls do nothing) and gives each
// the engine's modulator and fade smoother. 0, or -3 when one cannot be
// made (the others stay).
[[nodiscard]] int audioThreadFunc_createBackEnds();
// Binds the back-ends that exist to engine `e` (the buffer switch binds the
// one it drives with every buffer; this is for callers that drive a
// back-end directly, and for a new current engine).
void audioThreadFunc_bindEngine(tEngine &e);

// The test signal into work frames: the oscillator writes frames frames into
// sineWaveBuffer (at most sineWaveBufSize); they are appended to track
// 0's analysis ring (every meterFirInterval-th frame for DSD); for DSD the
// work frames get the sine at half the modulator's full scale and the
// modulator writes frames bits into each DSD buffer, for PCM the work
// frames get the sine itself.
void gSineWaveToWorkBuffer(tEngine &e, bool dsd, int frames, double *work, unsigned char *dsdLeft,
                           unsigned char *dsdRight);
