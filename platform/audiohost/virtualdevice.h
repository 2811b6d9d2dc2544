// The virtual device: an output and input device that needs no hardware.
// Its own clock thread calls the stream's callback at the nominal rate in
// real time, N times faster, or unpaced, and it appends every output buffer
// unchanged, with a record of the cycle's format, to memory or a file. Tests
// configure, pace and inspect it through the calls below; the program lists
// it only when the configuration enables it (audiohost.h).
//
// What it accepts: the rates of its configuration (a PCM rate, or a
// sixteenth of a DSD rate for DoP and native DSD), integer PCM of 16, 24 or
// 32 bits, float PCM, DoP in 24- or 32-bit words, native DSD when a DSD rate
// is configured, and any buffer frames within its range. It converts
// nothing: the capture holds the engine's 32-bit containers as written.
//
// Threads: the calls below may come from any thread except the device's
// clock thread, which is where the pacing hook and the input generator run;
// those two must not call into the host or this interface. The clock thread
// also appends the capture, between callbacks, growing it as it goes: a test
// device, not a model of a real-time one. vdev_enable must not run at the
// same time as the other calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audiohost/hostconfig.h"

// Asked before every cycle, on the clock thread: true runs the cycle now,
// false asks again about 0.1 ms later (sooner when the stream stops). Lets a
// test hold an unpaced device until the engine's producer is ready.
typedef bool (*tVirtualPaceHook)(void *client, uint64_t cycle);

// Fills the input buffer of one cycle (interleaved containers of the input
// direction), on the clock thread.
typedef void (*tVirtualInputGenerator)(void *client, uint64_t cycle, void *input, uint32_t frames, int channels,
                                       int container);

// One captured cycle. mOffset is where its bytes start in the capture's data.
struct tVirtualCycleRecord {
    uint64_t mCycle;  // the cycle number handed to the callback
    uint64_t mFrameTime;
    uint32_t mFrames;
    uint32_t mChannels;
    uint32_t mBytes;     // frames x channels x 4
    int32_t mContainer;  // tAudioHostContainer
    int32_t mKind;       // tAudioHostFormatKind of the output
    int32_t mBits;
    int32_t mBytesPerFrame;
    int32_t mDeviceFormat;
    uint32_t mRate;  // nominal rate
    uint64_t mOffset;
};

struct tVirtualCapture {
    std::vector<tVirtualCycleRecord> mCycles;
    std::vector<uint8_t> mData;
    uint64_t mDroppedCycles = 0;  // not kept because the memory limit was reached
};

// A capture file is the eight bytes "SXVCAP01", then per cycle a 56-byte
// record and the cycle's bytes. The record, little-endian: cycle (u64), frame
// time (u64), frames, channels, bytes (u32 each), container, kind, bits,
// bytes per frame, device format (i32 each), nominal rate (u32), 4 zero bytes.
enum : uint32_t { kVirtualCaptureRecordBytes = 56 };

// Enables the virtual device with `config` (real devices hidden unless
// showReal) and lists the devices again. The device starts afresh: settings
// at their defaults, capture empty, cycle count 0, no hook, no input source,
// online, not forced. Returns its id (1 and up), or a negative code:
// kAudioHostErrUnsupported for a configuration that does not fit,
// kAudioHostErrBusy while its stream is open.
int vdev_enable(const tVirtualDeviceConfig &config, bool showReal = false);

// Its id, or 0 while it is not listed.
uint32_t vdev_deviceId();

// Pacing: 1 real time, N N times faster, 0 unpaced. Takes effect from the
// next cycle; a negative or NaN speed is ignored.
void vdev_setSpeed(double speed);
void vdev_setPaceHook(tVirtualPaceHook hook, void *client);

// Offline: cycles stop (nothing is called or captured) while the device
// stays listed and its stream stays started; online again, they go on.
// Taking it offline returns once a cycle under way, if any, has ended.
void vdev_setOffline(bool offline);

// Forces the frames of the following cycles, as a device that changes its
// buffer size by itself; 0 returns to the set buffer frames. 0 or
// kAudioHostErrUnsupported beyond the configured maximum.
int vdev_forceBufferFrames(uint32_t frames);

// Input: a generator, or a byte loop repeated across cycles (copied here);
// setting one clears the other; neither gives silence.
void vdev_setInputGenerator(tVirtualInputGenerator generator, void *client);
int vdev_setInputLoop(const void *bytes, size_t length);

// Cycles called since the device was configured.
uint64_t vdev_cycles();
// Waits until that many cycles have been called: 0, or kAudioHostErrTimeout.
int vdev_waitCycles(uint64_t count, int timeoutMs);

// Copies the memory capture (and clears it when asked); a file capture is
// flushed and read back from its file. 0 or a negative code.
int vdev_takeCapture(tVirtualCapture *out, bool clear);
void vdev_clearCapture();

// Reads a capture file. 0, kAudioHostErrIO when it cannot be read,
// kAudioHostErrUnsupported when it is not a whole capture file.
int vdev_readCaptureFile(const char *path, tVirtualCapture *out);
