// The audio host: one process-wide view of the sound devices that the
// engine's device layer drives. It lists devices, sets their rate, formats,
// buffer size and use, and runs one stream per device that calls the
// engine's I/O callback once per cycle with the device's buffers.
//
// Behind it sit two back ends: the machine's ALSA devices, and a virtual
// device that needs no hardware and records what it is given (see
// virtualdevice.h). Which of them are listed is configuration: by default
// only the real devices; the virtual device only when enabled (tests always
// enable it). The configuration is read once, at the first call into the
// host, from:
//
//   SONVEX_AUDIO_CONFIG   path of a text file of settings, one per line
//   SONVEX_AUDIO          settings in one string, separated by ';' or
//                         newlines; applied after the file, so it wins
//
// A setting is `key = value`; blank lines and lines starting with '#' are
// ignored; a value may be put in double quotes (for names with ';').
//
//   virtual          on | off     list the virtual device (default off)
//   real             on | off     list the ALSA devices (default on)
//   name             text         the virtual device's name (default
//                                 "Sonvex Virtual Device"); any name works,
//                                 one that matches the DoP table included
//   uid              text         its unique id (default "sonvex-virtual")
//   rates            list         its rates in Hz, comma separated; rates of
//                                 2822400 and above make it play native DSD
//                                 (default 44100 to 768000, ten PCM rates)
//   dsd              on | off     add (on) or remove (off) the four DSD rates
//   outputs, inputs  0..64        its channels per direction (2 and 2)
//   buffer           min-max      its buffer frame range (16-262144)
//   frames           n            its buffer frames until set (512)
//   speed            x            1 = real time, N = N times faster,
//                                 0 = unpaced (default 1)
//   capture          off | memory | path
//                                 where its output buffers go (memory)
//   capture-limit    bytes        memory capture stops at this size (64 MiB)
//
// A bad setting prints one line on the standard error and is skipped.
//
// Ids. Every device gets an id of 1 and up when it is first listed and keeps
// it for the life of the process, also when it goes away and comes back
// (matched by uid); 0 means no device. The devices are first listed at the
// first call. The rate list counts DSD rates in bits per second per channel
// (2822400 and up); the nominal rate counts container frames per second (see
// tAudioHostFormat).
//
// Errors: 0 success, negative codes below; nothing throws.
//
// Threads. Every function here may be called from any thread except a
// stream's own callback thread (see the stream section); the host serialises
// them with one mutex, which the callbacks never take.
#pragma once

#include <cstdint>

#include "platform/audiohost/sampleconv.h"

enum : int {
    kAudioHostOK = 0,
    kAudioHostErrIO = -1,            // the device failed or went away
    kAudioHostErrNoDevice = -2,      // no listed device has this id
    kAudioHostErrState = -3,         // not in this state: no stream, stream not stopped,
                                     // or called from the stream's own callback
    kAudioHostErrNoMemory = -4,      // buffers could not be allocated
    kAudioHostErrBusy = -16,         // the stream runs, or another program holds the device
    kAudioHostErrUnsupported = -17,  // value out of range, or not offered by the device
    kAudioHostErrTimeout = -18,      // a wait ran out (virtual device)
};

enum tAudioHostDirection : int {
    kAudioHostOutput = 0,
    kAudioHostInput = 1,
};

// Stream directions for audiohost_openStream.
enum : unsigned {
    kAudioHostStreamOutput = 1u << kAudioHostOutput,
    kAudioHostStreamInput = 1u << kAudioHostInput,
};

enum : int {
    kAudioHostMaxDevices = 64,  // listed at once; further devices are left out
    kAudioHostMaxChannels = 64,
    kAudioHostMaxRates = 32,
    kAudioHostMinFrames = 16,  // buffer frame limits of every device
    kAudioHostMaxFrames = 262144,
    kAudioHostTextSize = 128,  // uid and name buffers, terminator included
};

// The DSD rates a native-DSD device lists beside its PCM rates.
enum : uint32_t {
    kAudioHostDsd64 = 2822400,
    kAudioHostDsd128 = 5644800,
    kAudioHostDsd256 = 11289600,
    kAudioHostDsd512 = 22579200,
};

struct tAudioHostDeviceInfo {
    uint32_t mId;
    char mUid[kAudioHostTextSize];   // stable across runs: "hw:CARD=<id>,DEV=<n>" for ALSA
    char mName[kAudioHostTextSize];  // UTF-8; ALSA: the card's name
    int mOutChannels;                // most channels offered; 0 = no output
    int mInChannels;                 // 0 = no input
    bool mVirtual;
};

// What a device carries in one direction.
enum tAudioHostFormatKind : int {
    kAudioHostPcmInt = 0,    // integer PCM
    kAudioHostPcmFloat = 1,  // float PCM
    kAudioHostDop = 2,       // DSD over PCM: integer words of 24 or more bits that must
                             // reach the device unchanged (never resampled or narrowed)
    kAudioHostDsd = 3,       // native DSD, bit-exact
};

// The physical format of one direction. Rates and frames count container
// frames: for PCM and DoP one device frame; for native DSD 16 DSD bits per
// channel, so a device playing DSD at 11289600 runs at 705600. bits and
// bytesPerFrame are as asked when set; as granted when read (an ALSA device
// plays PCM through its widest format whatever width is asked). For native
// DSD bits is 16 and bytesPerFrame 2 x channels.
struct tAudioHostFormat {
    int mKind;       // tAudioHostFormatKind
    uint32_t mRate;  // read only: the nominal rate
    int mBits;
    int mChannels;
    int mBytesPerFrame;
    int mDeviceFormat;  // read only: tDevSampleFormat the device runs
};

// ---- Configuration -----------------------------------------------------

struct tAudioHostConfig;  // hostconfig.h

// Replaces the configuration the host read at start and lists the devices
// again. kAudioHostErrBusy while a stream runs on the virtual device and the
// new configuration changes it.
[[nodiscard]] int audiohost_configure(const tAudioHostConfig &config);

// ---- Devices -------------------------------------------------------------

// Enumerates the devices again. Returns the number listed (0 or more); never
// fails: a device that cannot be read is left out. ALSA's own error printing
// is silenced.
int audiohost_refresh();

// Ids of the listed devices, in listing order (the virtual device first),
// into ids[0..max-1]. Returns the number listed, which may exceed max.
int audiohost_getDevices(uint32_t *ids, int max);
[[nodiscard]] int audiohost_getDeviceInfo(uint32_t id, tAudioHostDeviceInfo *info);

// The device's rates in Hz, ascending, into rates[0..max-1]; returns how many
// it has (which may exceed max), or a negative code. A native-DSD device
// lists its DSD rates (2822400 and up) after its PCM rates.
int audiohost_getRates(uint32_t id, uint32_t *rates, int max);

// The nominal rate: a PCM rate of the list, or a sixteenth of one of its DSD
// rates (the container rate of DoP and native DSD). Setting validates only
// the rate; the format is checked against it when set and at stream start.
[[nodiscard]] int audiohost_getNominalRate(uint32_t id, uint32_t *rate);
[[nodiscard]] int audiohost_setNominalRate(uint32_t id, uint32_t rate);

// Physical format per direction. Setting checks the kind, bits, channels
// and bytes per frame and whether the device offers them at the nominal rate;
// kAudioHostErrUnsupported when it does not (a bit-exact kind is never
// granted in another format). The ALSA back end opens the device to ask, and
// gets kAudioHostErrBusy when another program holds it.
[[nodiscard]] int audiohost_getPhysicalFormat(uint32_t id, int direction, tAudioHostFormat *format);
[[nodiscard]] int audiohost_setPhysicalFormat(uint32_t id, int direction, const tAudioHostFormat &format);

// The callback's container per direction (tAudioHostContainer); float until set.
[[nodiscard]] int audiohost_getContainer(uint32_t id, int direction, int *container);
[[nodiscard]] int audiohost_setContainer(uint32_t id, int direction, int container);

// Buffer frames: the frames of every cycle. Setting outside the range fails.
[[nodiscard]] int audiohost_getBufferFrameRange(uint32_t id, uint32_t *minFrames, uint32_t *maxFrames);
[[nodiscard]] int audiohost_getBufferFrames(uint32_t id, uint32_t *frames);
[[nodiscard]] int audiohost_setBufferFrames(uint32_t id, uint32_t frames);

// Shared use. The host never mixes: a stream owns its device. Mixing can be
// switched off (always granted); switching it on is kAudioHostErrUnsupported.
[[nodiscard]] int audiohost_getMixing(uint32_t id, bool *on);
[[nodiscard]] int audiohost_setMixing(uint32_t id, bool on);

// Exclusive use (hog): holds the device for this process from now until
// released, so that no other program takes it between streams.
// kAudioHostErrBusy when another program holds it.
[[nodiscard]] int audiohost_getHog(uint32_t id, bool *held);
[[nodiscard]] int audiohost_setHog(uint32_t id, bool hold);

// Default device per direction: the host's own choice (the system's default
// is left alone); the first listed device of that direction until set.
// getDefault returns the id, or 0 when none is listed.
uint32_t audiohost_getDefaultDevice(int direction);
[[nodiscard]] int audiohost_setDefaultDevice(int direction, uint32_t id);

// Input mute: a muted input delivers silence. Clearing it on an ALSA device
// also switches the card's capture switches on.
[[nodiscard]] int audiohost_getInputMute(uint32_t id, bool *muted);
[[nodiscard]] int audiohost_setInputMute(uint32_t id, bool muted);

// ---- Streams ---------------------------------------------------------------

// One I/O cycle. Buffers are interleaved 32-bit containers; a direction that
// the stream does not run has a null pointer and zero counts. The output
// arrives zeroed; the callback writes mOutFrames frames. The input is
// valid during the call only.
struct tAudioHostCycle {
    void *mOutput;
    int mOutChannels;
    uint32_t mOutFrames;
    uint32_t mOutBytes;
    int mOutContainer;  // tAudioHostContainer
    const void *mInput;
    int mInChannels;
    uint32_t mInFrames;
    uint32_t mInBytes;
    int mInContainer;
    uint64_t mCycle;      // cycles of this device since it was listed or reconfigured
    uint64_t mFrameTime;  // frames handed over before this cycle
};

// Called on the stream's own thread. It must return promptly and must not
// call back into the host.
typedef void (*tAudioHostIoProc)(void *client, const tAudioHostCycle *cycle);

// One stream per device. openStream registers the callback for the given
// directions (kAudioHostStreamOutput, kAudioHostStreamInput or both; the
// device must have them). startStream takes the device's settings as they
// are and starts calling; it fails without calling when the device refuses
// the rate, format or buffer (a bit-exact format is never converted).
// stopStream returns once the callback in progress, if any, has returned;
// none follows. closeStream stops first. Settings cannot change while the
// stream runs (kAudioHostErrBusy).
//
// Guarantees: one callback at a time per stream; each stream calls on one
// thread of its own, so streams on two devices call concurrently. A device
// that goes away, or a virtual device taken offline, stops calling without
// an error; the stream stays started until stopped. Stopping and closing
// from the stream's own callback is refused (kAudioHostErrState).
[[nodiscard]] int audiohost_openStream(uint32_t id, unsigned directions, tAudioHostIoProc proc, void *client);
[[nodiscard]] int audiohost_startStream(uint32_t id);
[[nodiscard]] int audiohost_stopStream(uint32_t id);
[[nodiscard]] int audiohost_closeStream(uint32_t id);
bool audiohost_isRunning(uint32_t id);
