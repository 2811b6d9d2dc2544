// The capture ring and the input monitor: while monitoring is on, every
// device buffer's input is converted to work frames into a ring of
// kCaptureBlocks blocks, and the ring is played back to the outputs through
// the programme writer, two blocks behind the capture. The recorder reads
// the same ring.
//
// The ring's contract with its readers (the recorder, the GUI):
//   - Only row 0 is written. Each block is a stereo work buffer (two doubles
//     per frame) and two DSD byte buffers, registered by the main window with
//     gAudioThread_setMonitorBuffer before monitoring starts.
//   - A block is complete when the capture moves past it. Then its entry of
//     samplesPerCaptureBlock holds captureBlockFrames, the write block
//     (tellCurrentCaptureBlockNumber) names the block now being filled, and
//     row 0's recordable count has gone up by one, with release, after the
//     block's samples: a reader loads the count with acquire (tellRecordableBlocks)
//     and may then read that many complete blocks ending just before the
//     write block.
//   - The count stops at kCaptureBlocks: a reader that falls a whole ring
//     behind finds its oldest blocks overwritten.
//   - The reader takes away what it wrote with subRecordableBlocks; both
//     sides change the count with atomic operations, so neither loses the
//     other's update.
//   - A stop of playback, the end of a job and clearBufferParameters put the
//     write and read positions back to 0; the recorder resets the count with
//     initRecordableBlocks before it starts.
//
// Threads: the setters and accessors run on the GUI thread or the
// recorder's thread; captureInput and playMonitor run on the device's
// real-time thread (inside the buffer switch) and allocate, lock and report
// nothing.
#pragma once

#include <cstdint>

#include "engine/audiothreadfunc.h"
#include "engine/enginestate.h"

enum : int {
    kDsdRecBuffers = 32,  // entries of sDsdRecBuffer
    kRecBufferWork = 0,   // getRecBuffer formats
    kRecBufferDsdLeft = 1,
    kRecBufferDsdRight = 2,
    kCaptureBadArgument = -17,
};

// The DSD buffers of gAudioThread_allocateDsdBuffer: entries 0 and 1 take
// the modulated test signal while the oscillator is captured, and are the
// DSD source of monitor playback. sDsdRecBufferBits is the bits each holds.
extern unsigned char *sDsdRecBuffer[kDsdRecBuffers];
extern int32_t sDsdRecBufferCount;
extern int32_t sDsdRecBufferBits;

// ---- Set-up (GUI thread) -------------------------------------------------------

// Registers block `block` (0..63) of row `row` (0..31). Null pointers are
// accepted (the block is then skipped). kCaptureBadArgument outside the ranges.
int gAudioThread_setMonitorBuffer(int row, int block, double *work, unsigned char *dsdLeft, unsigned char *dsdRight);
// Frames per capture block (captureBlockFrames). Nothing is captured while
// it is below 1.
void gAudioThread_setMonitorBufferSize(int frames);
// First input channel of the captured pair (the main window passes 2 x pair).
void gAudioThread_setInputMonitorChannel(int channel);
// First output channel and output count of the monitor output; counts below
// 5 keep kMaxOutputsDefault (4).
void gAudioThread_setOutputMonitorChannel(int first, int count);
// Monitoring on: the output fades in (a fade-in request, target 1), whatever
// fade the last stop left behind. Off: monitoring ends and, while the
// engine does not play, the output fades to 0.
void gAudioThread_setMonitorStatus(bool on);
// Copies the monitor peaks (positive and negative pairs) and asks for new
// ones. Either pointer may be null.
void gAudioThread_getMoniPeak(double positive[2], double negative[2]);
// Capture blocks written and monitor blocks played back to 0.
void gAudioThread_clearRecBufParam();
// Hand-over points of a driver model this system does not run: 0.
int gAudioThread_prepareRecBuffer(int frames);
int gAudioThread_changeAsioBufferSize(long frames);

// ---- The recorder's view (any thread) -----------------------------------------------

// Row `row`'s recordable count: to 0 / read (acquire) / minus n. Rows outside
// 0..31 read 0 and change nothing.
void initRecordableBlocks(int row);
int tellRecordableBlocks(int row);
void subRecordableBlocks(int row, int n);
// The block row `row` is writing now.
int tellCurrentCaptureBlockNumber(int row);
// The table of kCaptureBlocks samples per capture block.
std::atomic<int32_t> *getSamplesPerBlock();
// Row `row`'s kCaptureBlocks block pointers: kRecBufferWork the work buffers,
// kRecBufferDsdLeft / kRecBufferDsdRight the DSD buffers; null for other
// formats and rows.
void *getRecBuffer(int format, int row);

// ---- DSD buffers of the oscillator capture (GUI thread, device stopped or not monitoring) ----

// min(n, 32) buffers of (bits + 7) / 8 bytes each, in order, when n > 0. 0,
// or -i when the i-th allocation (from 1) failed: the buffers made before it
// stay and the count is unchanged.
[[nodiscard]] int gAudioThread_allocateDsdBuffer(int n, int bits);
void gAudioThread_freeDsdBuffer();
// Copies (bits + 7) / 8 bytes of each of the two buffers of src into dst.
void cpyAsioBufToRecBuf(unsigned char *const dst[2], const unsigned char *const src[2], int bits);

// ---- Real-time steps (called by the buffer switch) ----------------------------------

// Converts the record's inputFrames input frames into row 0 of the ring, a
// block at a time: the test signal while the oscillator is on (output type
// `type`), else the input pair inputs[0], inputs[1] of record type recType.
// rec->capturedFrames counts the frames of the completed blocks.
void captureInput(CAudioThreadFunc *backEnd, int type, int recType, unsigned char *in, unsigned char *in2,
                  tBufferSwitchParams *rec);
void captureInput(tEngine &e, CAudioThreadFunc *backEnd, int type, int recType, unsigned char *in, unsigned char *in2,
                  tBufferSwitchParams *rec);
// Plays `frames` frames of the ring to outputs[0] through the programme
// writer, from the monitor read position, while more than one block is
// ahead of it; the rest of the buffer becomes silence.
void playMonitor(CAudioThreadFunc *backEnd, int type, int frames, unsigned char **outputs, tBufferSwitchParams *rec);
void playMonitor(tEngine &e, CAudioThreadFunc *backEnd, int type, int frames, unsigned char **outputs,
                 tBufferSwitchParams *rec);
