// The real-time buffer switch: called once for every device buffer on the
// device's thread. It keeps the buffer bookkeeping, carries out a stop with
// its fade and time-out, opens the play gate once enough of the longest
// track waits, then takes exactly one of four branches (input monitor, test
// oscillator, playing, stopped) and finally ends playback when the longest
// track's material is through. Every write into a device buffer goes
// through the back-end's operations (engine/audiothreadfunc.h).
//
// Frames: PCM buffers count frames; DSD buffers (DoP and native) count DSD
// bits per channel, 16 to a 32-bit container frame. A buffer is played in
// chunks that never cross a track's ring block; chunks longer than 32 frames
// are multiples of 32, so that DSD bytes and DoP words stay whole.
//
// Threads: the device callbacks call bufferSwitchCoreAudioQueue, which lets
// one caller in at a time (the output and a separate input device call on
// two threads); nothing else on this path waits, allocates, prints or
// traces. A device buffer larger than the stream reserved goes out silent
// and asks the GUI thread (engine/rtdiag.h) to grow the buffers; what the
// path has to report goes the same way. The getters run on the GUI thread.
#pragma once

#include <cstdint>

#include "dsp/dspvolume.h"
#include "engine/audiothreadfunc.h"

struct tEngine;

enum : int {
    kCoreAudioMaxBuffers = 32,  // buffers per direction of one I/O cycle
};

// The buffer layout of one I/O cycle, built by the device layer's callback
// on its stack and handed over with every buffer.
struct tCoreAudioParams {
    int32_t outChannels = 0;  // output channels of the device
    int32_t outBuffers = 0;   // output buffers in the cycle
    int32_t outBufChannels[kCoreAudioMaxBuffers] = {};
    int32_t outBufFrames[kCoreAudioMaxBuffers] = {};
    int32_t outChannelOffset = 0;  // first output channel of the buffer handed over
    int32_t inChannels = 0;        // input channels of the device
    int32_t inBuffers = 0;
    int32_t inBufChannels[kCoreAudioMaxBuffers] = {};
    int32_t inBufFrames[kCoreAudioMaxBuffers] = {};
    int32_t inChannelOffset = 0;
    int32_t inFrames = 0;  // input frames handed over with this buffer; 0 = none
};

// The device callbacks' entry. e: the engine the stream was handed as its
// client. rate: ignored (the engine's own rate word is the one that counts;
// the device passes its own). type: the output's type code
// (audiothreadfunc.h). frames: output frames (DSD: bits per channel). out:
// the interleaved output buffer, or null; in: the interleaved input, or null,
// with inChannels channels and params->inFrames frames. outChannels: the
// output buffer's channels. recType: the input's type code. Both buffers are
// the device's single interleaved buffer of their direction, so every entry
// of the lists handed to bufferSwitchCommon names it.
void bufferSwitchCoreAudioQueue(tEngine &e, unsigned int rate, int type, int frames, unsigned char *out,
                                unsigned char *in, int inChannels, tCoreAudioParams *params, int outChannels,
                                unsigned int recType);

// One device buffer of engine `e` through back-end `backEnd` (bound to `e`
// for the buffer). outputs and inputs are lists
// of kSwitchListEntries pointers. The record's input channels, output
// channels, first channels and input frames are the caller's; the rest is
// filled here.
void bufferSwitchCommon(tEngine &e, CAudioThreadFunc *backEnd, int unused, int type, int frames,
                        unsigned char **outputs, unsigned char **inputs, tBufferSwitchParams *rec, int recType);

// Grows every buffer the real-time path needs for device buffers of up to
// `frames` frames (DSD: bits per channel) at the engine's current rate (the
// master, test-signal, DSD mute, mixing and the Core Audio writers'
// buffers), on the caller's thread, never the device's. The device layer
// calls it before it starts a stream, so that the stream's buffers allocate
// and first touch nothing; a device that then delivers larger buffers gets
// silence for them until the GUI thread's timer has grown the buffers
// (rtDiag_drain). Waits for a buffer switch in progress; a device buffer
// arriving meanwhile goes out silent instead of waiting.
void bufferSwitchReserve(int frames);

// Decides the Core Audio writers' layouts of the three type codes (two
// outputs and an input) ahead of the stream, on the caller's thread, as
// bufferSwitchReserve grows the buffers.
void bufferSwitchPrepareLayouts(int outType, int outType2, int inType);

// ---- Read by the GUI timer -------------------------------------------------------

int64_t gAudioThread_getCurrentOutSampleCount();  // frames of every buffer since set-up
int gAudioThread_getAudioBufferFrameSize();       // the last buffer's frames
int gAudioThread_getRecBufferFrameSize();
bool gAudioThread_getBufferSizeChangedFlag();
// Clears the flag and forgets the last size: the next buffer never sets it.
void gAudioThread_clearBufferSizeChanged();
int gAutioThread_getInputChannels();
// The first block of a play job sounds; reading clears it.
bool gAudioThread_getPlayStarted();
// A stop was forced by its time-out.
bool gAudioThread_getPlayTimeoutFlag();
void gAudioThread_clearPlayTimeoutFlag();
// Samples played since the play start, at the device rate.
uint64_t getPlayingSample();
int getNumBufBlks();

// The export window's view of track 0 (checkPlayStatusDo, in
// engine/playbackproducer.h, for any track).
int checkPlayStatusImmd();

// Automation level at output sample x from the first kRtVolItems items, and
// its segment (-1 before the first item). Exposed for the tests.
double bufferSwitch_automationLevel(const tDspVolItem *items, double x, int *segment);
